// Feeds arbitrary bytes to the room message decoder and counts whatever it
// yields in two vote sessions, one for each vote type.
#include "bridge/RoomFrame.h"
#include "vote/VoteSession.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

struct FuzzSessions
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

    VoteSession text;
    VoteSession gift;
    RoomFrame frame;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static FuzzSessions fuzz;
    const std::string message(reinterpret_cast<const char *>(data), size);
    if (!fuzz.frame.decode(message.c_str()))
        return 0;
    if (fuzz.frame.kind() == RoomFrame::Kind::Login) {
        // Touch every byte, so a bad pointer shows up here.
        const RoomFrame::Login &ids = fuzz.frame.login();
        volatile std::size_t length = std::string(ids.kivaid).size()
            + std::string(ids.roomid).size() + std::string(ids.token).size();
        (void)length;
        return 0;
    }
    if (!fuzz.text.acceptRoomEvent(fuzz.frame.messageId()))
        return 0;
    for (const RoomFrame::Unit &unit : fuzz.frame.units()) {
        for (VoteSession *session : {&fuzz.text, &fuzz.gift}) {
            if (unit.type == RoomFrame::Unit::Type::Chat)
                session->countChat(unit.nick, unit.text);
            else
                session->countGift(unit.nick, unit.productId, unit.count);
        }
    }
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
