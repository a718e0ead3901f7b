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

// The JSON parser writes "\u0000" into the text as a NUL, and every reader
// stops there: "红队\u0000x" would read as 红队. Such an escape is made a byte
// that UTF-8 never holds before the parse, so a text that had one can be told.
constexpr char kNulMark = '\xff';
const char kNulEscape[] = "\\u0000";

bool holdsNulEscape(const char *message)
{
    for (const char *at = std::strstr(message, kNulEscape); at;
         at = std::strstr(at + 1, kNulEscape)) {
        // After an odd run of backslashes this one is itself escaped.
        const char *run = at;
        while (run > message && run[-1] == '\\')
            --run;
        if ((at - run) % 2 == 0)
            return true;
    }
    return false;
}

QByteArray markNuls(const char *message)
{
    const size_t escapeLength = sizeof kNulEscape - 1;
    QByteArray marked;
    marked.reserve(int(std::strlen(message)));
    for (const char *at = message; *at;) {
        if (*at != '\\') {
            marked += *at++;
        } else if (std::strncmp(at, kNulEscape, escapeLength) == 0) {
            marked += kNulMark;
            at += escapeLength;
        } else {
            // Any other escape goes as it is, so that an escaped backslash
            // does not start one.
            marked += *at++;
            if (*at)
                marked += *at++;
        }
    }
    return marked;
}

bool holdsNul(const char *text)
{
    return text && std::strchr(text, kNulMark);
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
    // Rare and hostile: the copy is made only for a message that needs it.
    nulsMarked = message && holdsNulEscape(message);
    document.reset(!message ? nullptr
                            : cJSON_Parse(nulsMarked ? markNuls(message).constData() : message));
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
    if (nulsMarked && (holdsNul(ids.kivaid) || holdsNul(ids.roomid) || holdsNul(ids.token)))
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
    // A text cut short at a NUL would count as another; none of them counts.
    if (nulsMarked
        && (holdsNul(decoded.nick) || holdsNul(decoded.text) || holdsNul(decoded.productId)))
        return;
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
