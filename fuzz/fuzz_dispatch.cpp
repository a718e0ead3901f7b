// Feeds arbitrary bytes to the room message decoder and counts whatever it
// hands over, as the vote window would, in both vote types at once.
#include "bridge/RoomMessageDecoder.h"
#include "vote/DefaultTeams.h"
#include "vote/VoteCounting.h"

#include <QObject>

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

class FuzzSink : public QObject
{
    Q_OBJECT

public:
    FuzzSink()
    {
        for (int index = 1; index <= kTeamCount; ++index)
            applyDefaultGift(teams[index], index);
        teams[1].name = "A";
        teams[2].name = "B";
        teams[3].name = "A";
        teams[2].gift.price = 19;
        teams[3].gift.price = 0;
        text.voteType = kTextVotingType;
        text.counting = true;
        gift.voteType = kGiftVotingType;
        gift.counting = true;
        gift.voteMode = 3;
    }

    static constexpr int kTextVotingType = 2;
    static constexpr int kGiftVotingType = 1;
    TeamMap teams;
    CountingSettings text;
    CountingSettings gift;
    QByteArray lastMsgId = "none";

public slots:
    void on_text_message(const char *nick, const char *line)
    {
        VoteCounting::countText(teams, text, nick, line);
    }
    void on_gift_message(const char *nick, const char *productId, int buyTimes)
    {
        VoteCounting::countGift(teams, gift, nick, productId, buyTimes);
    }
    void on_auth_message(const char *kivaid, const char *roomid, const char *token)
    {
        // Touch every byte, so a bad pointer shows up here.
        volatile std::size_t length =
            std::string(kivaid).size() + std::string(roomid).size() + std::string(token).size();
        (void)length;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static FuzzSink sink;
    const std::string message(reinterpret_cast<const char *>(data), size);
    dispatchRoomMessageTo(message.c_str(), &sink, sink.lastMsgId);
    // Tallies stay in step with totals whatever arrives.
    for (auto &entry : sink.teams) {
        TeamRecord &team = entry.second;
        if (team.voters.size() > 10000) {
            team.voters.clear();
            team.votes = 0;
        }
        if (team.votes < 0)
            __builtin_trap();
    }
    return 0;
}

#include "fuzz_dispatch.moc"
