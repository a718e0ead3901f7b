// Feeds arbitrary bytes to the room message decoder and hands whatever it
// yields through the real walk of a frame (applyRoomFrame) to two vote
// sessions, one for each vote type. The walk is checked against the frame
// itself: every unit handed on once, in order, with its own values, unless
// the repeat rule dropped the event.
#include "bridge/RoomFrame.h"
#include "vote/VoteSession.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct FuzzSessions : RoomFrameReceiver
{
    FuzzSessions()
    {
        for (VoteSession *session : {&text, &gift}) {
            for (int index = 1; index <= kTeamCount; ++index)
                session->applyDefaultGift(index);
            session->setTeamName(1, "A");
            session->setTeamName(2, "B");
            session->setTeamName(3, "A");
        }
        text.setVoteType(VoteType::Text);
        gift.setVoteType(VoteType::Gift);
        gift.setVoteMode(3);
        ProductRecord cheap;
        cheap.price = 19;
        gift.chooseGift(2, "1477978817", cheap);
        ProductRecord free;
        gift.chooseGift(3, "1522229009540", free);
        text.startCounting();
        gift.startCounting();
    }

    bool acceptRoomEvent(const char *msgId) override { return text.acceptRoomEvent(msgId); }

    void onLogin(const RoomFrame::Login &ids) override
    {
        // Touch every byte, so a bad pointer shows up here.
        volatile std::size_t length =
            std::strlen(ids.kivaid) + std::strlen(ids.roomid) + std::strlen(ids.token);
        (void)length;
        ++logins;
    }

    void onChat(const char *nick, const char *text) override
    {
        expect(RoomFrame::Unit::Type::Chat, nick, text, nullptr, 0);
        for (VoteSession *session : {&this->text, &gift})
            session->countChat(nick, text);
    }

    void onGift(const char *nick, const char *productId, int count) override
    {
        expect(RoomFrame::Unit::Type::Gift, nick, nullptr, productId, count);
        for (VoteSession *session : {&text, &gift})
            session->countGift(nick, productId, count);
    }

    // The next unit of the frame must be the one handed on.
    void expect(RoomFrame::Unit::Type type, const char *nick, const char *line,
                const char *productId, int count)
    {
        if (next >= int(frame.units().size()))
            __builtin_trap();
        const RoomFrame::Unit &unit = frame.units().at(next++);
        if (unit.type != type || unit.nick != nick || unit.text != line
            || unit.productId != productId || unit.count != count)
            __builtin_trap();
    }

    VoteSession text;
    VoteSession gift;
    RoomFrame frame;
    int next = 0;
    int logins = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static FuzzSessions fuzz;
    const std::string message(reinterpret_cast<const char *>(data), size);
    const bool decoded = fuzz.frame.decode(message.c_str());
    const QByteArray lastBefore = fuzz.text.lastMessageId();
    const int loginsBefore = fuzz.logins;
    fuzz.next = 0;
    const RoomWalk walk = applyRoomFrame(fuzz.frame, fuzz);

    // What the walk must have done with this frame.
    const char *id = fuzz.frame.messageId();
    const bool events = fuzz.frame.kind() == RoomFrame::Kind::RoomEvents;
    const bool repeat = events && id && lastBefore == id;
    const RoomWalk expected = !decoded ? RoomWalk::Ignored
        : !events                      ? RoomWalk::Login
        : repeat                       ? RoomWalk::Repeat
                                       : RoomWalk::Units;
    const int handed = walk == RoomWalk::Units ? int(fuzz.frame.units().size()) : 0;
    if (walk != expected || fuzz.next != handed
        || fuzz.logins != loginsBefore + (expected == RoomWalk::Login ? 1 : 0)
        || fuzz.text.lastMessageId() != (events && id ? QByteArray(id) : lastBefore))
        __builtin_trap();

    for (VoteSession *session : {&fuzz.text, &fuzz.gift}) {
        for (const auto &entry : session->teams()) {
            // Totals never go negative whatever arrives.
            if (entry.second.votes < 0)
                __builtin_trap();
        }
        if (session->team(1).voters.size() > 10000)
            session->clearVoters();
    }
    return 0;
}
