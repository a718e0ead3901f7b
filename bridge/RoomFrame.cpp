#include "bridge/RoomFrame.h"

#include <cjson/cJSON.h>

#include <cstring>

namespace {

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

// Type values, unlike keys, are compared case-sensitively.
bool typeIs(const char *type, const char *expected)
{
    return std::strcmp(type, expected) == 0;
}

} // namespace

void RoomFrame::JsonDeleter::operator()(cJSON *item) const
{
    cJSON_Delete(item);
}

RoomFrame::RoomFrame() = default;
RoomFrame::~RoomFrame() = default;

bool RoomFrame::decode(const char *message)
{
    frameKind = Kind::Ignored;
    loginIds = Login();
    msgId = nullptr;
    unitList.clear();
    document.reset(message ? cJSON_Parse(message) : nullptr);
    if (!document)
        return false;

    const char *type = stringMember(document.get(), "type");
    if (!type)
        return false;
    if (typeIs(type, "sauth_ret"))
        decodeLogin(document.get());
    else if (typeIs(type, "group"))
        decodeRoomEvents(document.get());
    return frameKind != Kind::Ignored;
}

void RoomFrame::decodeLogin(const cJSON *root)
{
    const cJSON *data = member(root, "data");
    const cJSON *ec = member(data, "ec");
    // valueint is the number cut toward zero; true gives 1, other non-numbers 0.
    if (!ec || ec->valueint != 0)
        return;
    Login ids;
    ids.kivaid = stringMember(data, "kivaid");
    ids.roomid = stringMember(data, "roomid");
    ids.token = stringMember(data, "token");
    if (!ids.kivaid || !ids.roomid || !ids.token)
        return;
    loginIds = ids;
    frameKind = Kind::Login;
}

void RoomFrame::decodeRoomEvents(const cJSON *root)
{
    const cJSON *groups = member(root, "groups");
    if (!groups)
        return;
    frameKind = Kind::RoomEvents;
    msgId = stringMember(groups, "msgid");

    // Elements are array items or object members alike; walking the child
    // list keeps this linear however many there are.
    for (const cJSON *group = groups->child; group; group = group->next) {
        const char *nick = stringMember(group, "nick");
        const cJSON *units = member(group, "units");
        if (!units)
            continue;
        for (const cJSON *unit = units->child; unit; unit = unit->next)
            decodeUnit(unit, nick ? nick : "");
    }
}

void RoomFrame::decodeUnit(const cJSON *unit, const char *nick)
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

    Unit decoded;
    decoded.nick = nick;
    if (dataKey[0] == 'M') {
        decoded.type = Unit::Type::Chat;
        decoded.text = stringMember(data, "text");
        if (!decoded.text)
            return;
    } else {
        decoded.type = Unit::Type::Gift;
        decoded.productId = stringMember(data, "product_id");
        if (!decoded.productId)
            return;
        const cJSON *buyCount = member(data, "buyCount");
        decoded.count = buyCount ? buyCount->valueint : 1;
    }
    unitList.append(decoded);
}

bool takeMessageId(const char *msgId, QByteArray &lastMsgId)
{
    if (!msgId)
        return true;
    if (lastMsgId == msgId)
        return false;
    lastMsgId = msgId;
    return true;
}

RoomWalk applyRoomFrame(const RoomFrame &frame, RoomFrameReceiver &receiver)
{
    switch (frame.kind()) {
    case RoomFrame::Kind::Ignored:
        return RoomWalk::Ignored;
    case RoomFrame::Kind::Login:
        receiver.onLogin(frame.login());
        return RoomWalk::Login;
    case RoomFrame::Kind::RoomEvents:
        break;
    }
    // Taken before any unit is handed on: a receiver may open a modal card,
    // and the next message is then decoded inside it.
    if (!receiver.acceptRoomEvent(frame.messageId()))
        return RoomWalk::Repeat;
    for (const RoomFrame::Unit &unit : frame.units()) {
        if (unit.type == RoomFrame::Unit::Type::Chat)
            receiver.onChat(unit.nick, unit.text);
        else
            receiver.onGift(unit.nick, unit.productId, unit.count);
    }
    return RoomWalk::Units;
}
