#include "vote/VoteStateRecord.h"

#include "vote/VoteType.h"

#include <cjson/cJSON.h>

namespace {
const char kSeed[] = "{\"data\": {}}";
}

VoteStateRecord::VoteStateRecord()
    : document(cJSON_Parse(kSeed))
{}

VoteStateRecord::~VoteStateRecord()
{
    cJSON_Delete(document);
}

cJSON *VoteStateRecord::data() const
{
    return document ? cJSON_GetObjectItem(document, "data") : nullptr;
}

qint32 VoteStateRecord::value(const char *key) const
{
    const cJSON *object = data();
    const cJSON *item = object && key ? cJSON_GetObjectItem(object, key) : nullptr;
    return item ? item->valueint : 0;
}

void VoteStateRecord::setValue(const char *key, qint64 value)
{
    cJSON *object = data();
    if (!object || !key)
        return;
    cJSON_DeleteItemFromObject(object, key);
    cJSON_AddItemToObject(object, key, cJSON_CreateNumber(double(value)));
}

void VoteStateRecord::setText(const char *key, const char *text)
{
    cJSON *object = data();
    if (!object || !key)
        return;
    cJSON_DeleteItemFromObject(object, key);
    cJSON_AddItemToObject(object, key, cJSON_CreateString(text ? text : ""));
}

QByteArray VoteStateRecord::text(const char *key) const
{
    const cJSON *object = data();
    const cJSON *item = object && key ? cJSON_GetObjectItem(object, key) : nullptr;
    return cJSON_IsString(item) ? QByteArray(item->valuestring) : QByteArray();
}

QList<QByteArray> VoteStateRecord::keys() const
{
    QList<QByteArray> names;
    const cJSON *object = data();
    for (const cJSON *item = object ? object->child : nullptr; item; item = item->next)
        names.append(QByteArray(item->string));
    return names;
}

void VoteStateRecord::setDefaults()
{
    setValue(StateKey::kMoreSetting, 0);
    setValue(StateKey::kStartGame, 0);
    setValue(StateKey::kTimes, 100);
    setValue(StateKey::kStartTimeMeter, 0);
    setValue(StateKey::kVoteType, int(VoteType::Gift));
    setValue(StateKey::kVoteMode, 2);
    setValue(StateKey::kNoteColor, 0x181818);
    setText(StateKey::kNoteInfo, "请输入投票信息");
}
