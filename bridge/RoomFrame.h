#pragma once

#include <QByteArray>
#include <QVarLengthArray>

#include <memory>

struct cJSON;

// One JSON message of the host application, decoded into plain values. It
// calls nobody: whoever wants slots called reads the values and calls them.
//
// Texts point into the parsed document the frame owns, so they are valid
// while the frame lives and until it decodes the next message.
class RoomFrame
{
public:
    enum class Kind {
        Ignored, // not JSON, no "type", an unknown type or an incomplete message
        Login, // the authentication result, with "ec" 0 and all three ids
        RoomEvents, // viewers' chat lines and gifts
    };

    struct Login
    {
        const char *kivaid = nullptr;
        const char *roomid = nullptr;
        const char *token = nullptr;
    };

    // One chat line or one gift of a viewer, in the order the message holds them.
    struct Unit
    {
        enum class Type { Chat, Gift } type = Type::Chat;
        const char *nick = ""; // empty when the group names nobody
        const char *text = nullptr; // Chat: the line
        const char *productId = nullptr; // Gift: the gift's product id
        int count = 0; // Gift: pieces ("buyCount" cut toward zero, 1 when absent)
    };

    using Units = QVarLengthArray<Unit, 8>;

    RoomFrame();
    ~RoomFrame();
    RoomFrame(const RoomFrame &) = delete;
    RoomFrame &operator=(const RoomFrame &) = delete;

    // Decodes one message. False when it carries nothing for the plug-in
    // (kind() is then Ignored); every malformed part is dropped silently, and
    // so is a unit or login whose texts hold a NUL.
    bool decode(const char *message);

    Kind kind() const { return frameKind; }
    const Login &login() const { return loginIds; }
    // The room event's "msgid", null when it carries none.
    const char *messageId() const { return msgId; }
    const Units &units() const { return unitList; }

private:
    struct JsonDeleter
    {
        void operator()(cJSON *item) const;
    };

    void decodeLogin(const cJSON *root);
    void decodeRoomEvents(const cJSON *root);
    void decodeUnit(const cJSON *unit, const char *nick);

    std::unique_ptr<cJSON, JsonDeleter> document;
    Kind frameKind = Kind::Ignored;
    Login loginIds;
    const char *msgId = nullptr;
    Units unitList;
    bool nulsMarked = false; // the message held NUL escapes, marked before the parse
};

// The repeat rule of room events: one whose message id equals the last id
// accepted is dropped (false); any other id becomes the last one. A room
// event without an id (null) is always accepted and leaves `lastMsgId` alone.
bool takeMessageId(const char *msgId, QByteArray &lastMsgId);

// Whoever takes the values of decoded frames: the vote window's slots, a vote
// session, a tally of what was sent. Texts are valid during the call only.
class RoomFrameReceiver
{
public:
    virtual ~RoomFrameReceiver() = default;

    // The repeat rule, asked once per room event before any of its units is
    // handed on; false drops the event. By default the receiver's own last id.
    virtual bool acceptRoomEvent(const char *msgId) { return takeMessageId(msgId, lastMsgId); }
    virtual void onLogin(const RoomFrame::Login &ids) = 0;
    virtual void onChat(const char *nick, const char *text) = 0;
    virtual void onGift(const char *nick, const char *productId, int count) = 0;

protected:
    // A literal: a receiver made per message costs no allocation.
    QByteArray lastMsgId = QByteArrayLiteral("none");
};

// What became of a frame handed to a receiver.
enum class RoomWalk {
    Ignored, // nothing for the plug-in
    Login, // onLogin was called
    Repeat, // a room event dropped by the repeat rule
    Units, // a room event whose units were handed on, in order (maybe none)
};

// Hands a decoded frame's values to the receiver: the login, or the room
// event's units in order, nick first, after the repeat rule took its id.
RoomWalk applyRoomFrame(const RoomFrame &frame, RoomFrameReceiver &receiver);
