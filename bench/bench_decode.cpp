// Decode + count throughput over a realistic mix of room messages, against a
// bare cJSON parse of the same messages. Prints messages per second and the
// ratio, and the window's rate with its vote records kept against without.
//
//   kiva-bench-decode [messages] [rounds]
#include "BenchApplication.h"
#include "bridge/RoomEventWriter.h"
#include "bridge/RoomFrame.h"
#include "ui/RoomMessageDecoder.h"
#include "vote/VoteSession.h"
#include "ui/kivaPlugInVote.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cjson/cJSON.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The vote window's counting path without its widgets: each decoded frame
// walks to a vote session, as the window's slots hand it on.
class SessionCounter : public RoomFrameReceiver
{
public:
    explicit SessionCounter(VoteSession &session)
        : session(session)
    {}
    bool acceptRoomEvent(const char *msgId) override { return session.acceptRoomEvent(msgId); }
    void onLogin(const RoomFrame::Login &) override {}
    void onChat(const char *nick, const char *text) override { session.countChat(nick, text); }
    void onGift(const char *nick, const char *productId, int count) override
    {
        session.countGift(nick, productId, count);
    }

private:
    VoteSession &session;
};

std::vector<QByteArray> makeMix(int count)
{
    using namespace RoomEventWriter;
    QRandomGenerator random(7);
    const QList<QByteArray> votes = {QStringLiteral("红队").toUtf8(),
                                     QStringLiteral("蓝队").toUtf8()};
    const QList<QByteArray> chatter = {QStringLiteral("主播好").toUtf8(), "666",
                                       QStringLiteral("哈哈哈哈").toUtf8(),
                                       QStringLiteral(" 红队").toUtf8()};
    const QList<QByteArray> gifts = {"1450928358", "1477978817", "20001"};
    std::vector<QByteArray> messages;
    messages.reserve(std::size_t(count));
    int id = 0;
    while (int(messages.size()) < count) {
        const int roll = int(random.bounded(100));
        if (roll < 10 && !messages.empty()) { // a repeat of the last message
            messages.push_back(messages.back());
            continue;
        }
        const QByteArray msgId = "m" + QByteArray::number(++id);
        const QByteArray nick =
            QStringLiteral("观众%1").arg(random.bounded(2000), 4, 10, QLatin1Char('0')).toUtf8();
        if (roll < 50)
            messages.push_back(chatEvent(msgId, nick, votes[int(random.bounded(2))]));
        else if (roll < 80)
            messages.push_back(
                chatEvent(msgId, nick, chatter[int(random.bounded(chatter.size()))]));
        else
            messages.push_back(giftEvent(msgId, nick, gifts[int(random.bounded(gifts.size()))],
                                         1 + int(random.bounded(3))));
    }
    return messages;
}

template<typename Work>
double bestRate(const std::vector<QByteArray> &messages, int rounds, Work work)
{
    double best = 0;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray &message : messages)
            work(message.constData());
        const double seconds = std::max(1e-9, double(timer.nsecsElapsed()) / 1e9);
        best = std::max(best, double(messages.size()) / seconds);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    BenchApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, atoi(argv[1])) : 200000;
    const int rounds = argc > 2 ? std::max(1, atoi(argv[2])) : 5;

    const std::vector<QByteArray> messages = makeMix(count);
    qint64 bytes = 0;
    for (const QByteArray &message : messages)
        bytes += message.size();

    const double bare =
        bestRate(messages, rounds, [](const char *message) { cJSON_Delete(cJSON_Parse(message)); });

    VoteSession session;
    for (int index = 1; index <= kTeamCount; ++index)
        session.applyDefaultGift(index);
    session.setTeamName(1, QStringLiteral("红队").toUtf8());
    session.setTeamName(2, QStringLiteral("蓝队").toUtf8());
    session.startCounting();
    RoomFrame frame;
    SessionCounter counter(session);
    const double engine = bestRate(messages, rounds, [&](const char *message) {
        frame.decode(message);
        applyRoomFrame(frame, counter);
    });

    // The real window with its link off; messages go through the link's handler.
    kivaPlugInVote window(nullptr, BridgeOptions::off());
    window.on_team1_changed(QStringLiteral("红队"));
    window.on_team2_changed(QStringLiteral("蓝队"));
    window.on_start_clicked();
    const double full = bestRate(messages, rounds, [&window](const char *message) {
        dispatchRoomMessage(message, &window);
    });

    // The same window keeping its vote records: every counted vote is a
    // journal line, handed to the system in 64 KB batches here (the event
    // loop, which hands each batch over sooner, does not run).
    QTemporaryDir records;
    kivaPlugInVote recording(nullptr, BridgeOptions::off(), -1, records.path());
    recording.on_team1_changed(QStringLiteral("红队"));
    recording.on_team2_changed(QStringLiteral("蓝队"));
    recording.on_start_clicked();
    const double recorded = bestRate(messages, rounds, [&recording](const char *message) {
        dispatchRoomMessage(message, &recording);
    });

    std::printf("messages: %d (average %.0f bytes), best of %d rounds\n", count,
                double(bytes) / count, rounds);
    std::printf("bare cJSON parse        : %10.0f messages/s\n", bare);
    std::printf("decode + count (engine) : %10.0f messages/s  ratio %.2f of bare parse\n", engine,
                engine / bare);
    std::printf("decode + count (window) : %10.0f messages/s  ratio %.2f of bare parse\n", full,
                full / bare);
    std::printf("  with vote records     : %10.0f messages/s  ratio %.2f of the window without\n",
                recorded, recorded / full);
    std::printf("goal: decode + count at least 0.6 of the bare parse rate; with records at least "
                "0.8 of the rate without\n");
    return 0;
}
