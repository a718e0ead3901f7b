#include "bridge/RoomMessageDecoder.h"

#include "vote/kivaPlugInVote.h"

#include <QMetaMethod>
#include <QMetaObject>

#include <cjson/cJSON.h>

#include <cstring>
#include <memory>

namespace {

struct JsonDeleter
{
    void operator()(cJSON *item) const { cJSON_Delete(item); }
};
using JsonDocument = std::unique_ptr<cJSON, JsonDeleter>;

// Member lookup ignores the ASCII case of the key; the first match counts.
const cJSON *member(const cJSON *object, const char *key)
{
    return object ? cJSON_GetObjectItem(object, key) : nullptr;
}

const char *stringMember(const cJSON *object, const char *key)
{
    const cJSON *item = member(object, key);
    return cJSON_IsString(item) ? item->valuestring : nullptr;
}

// The window's three message slots, looked up by name once per class rather
// than once per call: the lookup cost as much as decoding a message.
struct RoomSlots
{
    const QMetaObject *meta = nullptr;
    QMetaMethod text;
    QMetaMethod gift;
    QMetaMethod auth;
};

const RoomSlots &slotsOf(const QObject *receiver)
{
    static thread_local RoomSlots cache;
    const QMetaObject *meta = receiver->metaObject();
    if (cache.meta != meta) {
        cache.meta = meta;
        cache.text = meta->method(meta->indexOfMethod("on_text_message(const char*,const char*)"));
        cache.gift =
            meta->method(meta->indexOfMethod("on_gift_message(const char*,const char*,int)"));
        cache.auth = meta->method(
            meta->indexOfMethod("on_auth_message(const char*,const char*,const char*)"));
    }
    return cache;
}

// Type values, unlike keys, are compared case-sensitively.
bool typeIs(const char *type, const char *expected)
{
    return std::strcmp(type, expected) == 0;
}

void handleAuthResult(const cJSON *root, QObject *receiver)
{
    const cJSON *data = member(root, "data");
    const cJSON *ec = member(data, "ec");
    // valueint is the number cut toward zero; true gives 1, other non-numbers 0.
    if (!ec || ec->valueint != 0)
        return;
    const char *kivaid = stringMember(data, "kivaid");
    const char *roomid = stringMember(data, "roomid");
    const char *token = stringMember(data, "token");
    if (!kivaid || !roomid || !token)
        return;
    slotsOf(receiver).auth.invoke(receiver, Qt::AutoConnection, Q_ARG(const char *, kivaid),
                                  Q_ARG(const char *, roomid), Q_ARG(const char *, token));
}

void handleUnit(const cJSON *unit, const char *nick, QObject *receiver)
{
    const char *type = stringMember(unit, "type");
    if (!type)
        return;
    const char *dataKey = nullptr;
    if (typeIs(type, "Message"))
        dataKey = "Msg.Message.data";
    else if (typeIs(type, "SuspendMessage"))
        dataKey = "Msg.SuspendMessage.data";
    else if (typeIs(type, "Gift"))
        dataKey = "Pay.Gift.data";
    else
        return;

    const cJSON *data = member(unit, dataKey);
    if (!cJSON_IsObject(data))
        return;

    if (dataKey[0] == 'M') {
        const char *text = stringMember(data, "text");
        if (!text)
            return;
        slotsOf(receiver).text.invoke(receiver, Qt::AutoConnection, Q_ARG(const char *, nick),
                                      Q_ARG(const char *, text));
        return;
    }

    const char *productId = stringMember(data, "product_id");
    if (!productId)
        return;
    const cJSON *buyCount = member(data, "buyCount");
    const int count = buyCount ? buyCount->valueint : 1;
    slotsOf(receiver).gift.invoke(receiver, Qt::AutoConnection, Q_ARG(const char *, nick),
                                  Q_ARG(const char *, productId), Q_ARG(int, count));
}

void handleRoomEvents(const cJSON *root, QObject *receiver, QByteArray &lastMsgId)
{
    const cJSON *groups = member(root, "groups");
    if (!groups)
        return;

    // Updated before any slot runs: a slot may open a modal card, and the next
    // message is then decoded inside it.
    if (const char *msgId = stringMember(groups, "msgid")) {
        if (lastMsgId == msgId)
            return;
        lastMsgId = msgId;
    }

    // Elements are array items or object members alike; walking the child
    // list keeps this linear however many there are.
    for (const cJSON *group = groups->child; group; group = group->next) {
        const char *nick = stringMember(group, "nick");
        if (!nick)
            nick = "";
        const cJSON *units = member(group, "units");
        if (!units)
            continue;
        for (const cJSON *unit = units->child; unit; unit = unit->next)
            handleUnit(unit, nick, receiver);
    }
}

} // namespace

void dispatchRoomMessageTo(const char *message, QObject *receiver, QByteArray &lastMsgId)
{
    if (!message || !receiver)
        return;
    const JsonDocument root(cJSON_Parse(message));
    if (!root)
        return;
    const char *type = stringMember(root.get(), "type");
    if (!type)
        return;
    if (typeIs(type, "sauth_ret"))
        handleAuthResult(root.get(), receiver);
    else if (typeIs(type, "group"))
        handleRoomEvents(root.get(), receiver, lastMsgId);
}

void dispatchRoomMessage(const char *message, kivaPlugInVote *window)
{
    if (!window)
        return;
    dispatchRoomMessageTo(message, window, window->lastMessageId());
}
