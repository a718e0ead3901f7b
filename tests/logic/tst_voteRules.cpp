// The fair-vote rules in the session, on a fake clock: one scripted room
// replayed under each rule set gives the expected totals, tallies and
// ignored votes.
#include "vote/VoteSession.h"

#include <QMap>
#include <QTest>

Q_DECLARE_METATYPE(VoteRules)

namespace {

const char kGiftA[] = "1450928358"; // the default gifts of teams 1 and 2
const char kGiftB[] = "1477978817";

VoteRules rules(bool onePerViewer, bool allowChange, int cooldown, bool stopAtTimeUp)
{
    VoteRules set;
    set.onePerViewer = onePerViewer;
    set.allowChange = allowChange;
    set.cooldownSeconds = cooldown;
    set.stopAtTimeUp = stopAtTimeUp;
    return set;
}

// "nick:votes …" in nick order.
QString tallies(const VoterRanking &voters)
{
    QMap<QByteArray, qint64> sorted;
    for (const VoterRanking::Entry &entry : voters)
        sorted.insert(entry.nick, entry.votes);
    QStringList parts;
    for (auto it = sorted.begin(); it != sorted.end(); ++it)
        parts << QStringLiteral("%1:%2").arg(QString::fromUtf8(it.key())).arg(it.value());
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestVoteRules : public QObject
{
    Q_OBJECT

private slots:
    void scriptedRoom_data();
    void scriptedRoom();
    void rulesChangeOnlyWhileStopped();
};

void TestVoteRules::scriptedRoom_data()
{
    QTest::addColumn<VoteRules>("set");
    QTest::addColumn<bool>("countdownStoppedByHand");
    QTest::addColumn<qint64>("totalA");
    QTest::addColumn<qint64>("totalB");
    QTest::addColumn<QString>("talliesA");
    QTest::addColumn<QString>("talliesB");
    QTest::addColumn<QList<qint64>>("ignored"); // one per viewer, cooldown, after time-up
    QTest::addColumn<int>("moved");

    QTest::newRow("none") << rules(false, false, 0, false) << false << qint64(10) << qint64(8)
                          << "v:1 x:3 y:2 z:1"
                          << "u:1 v:1 x:2 y:3 z:1" << QList<qint64> {0, 0, 0} << 0;
    QTest::newRow("one per viewer")
        << rules(true, false, 0, false) << false << qint64(6) << qint64(5) << "v:1 x:1 y:1"
        << "u:1 v:1 y:2 z:1" << QList<qint64> {7, 0, 0} << 0;
    QTest::newRow("one per viewer, changing")
        << rules(true, true, 0, false) << false << qint64(7) << qint64(4) << "v:1 x:1 y:1 z:1"
        << "u:1 v:1 y:2" << QList<qint64> {2, 0, 0} << 5;
    QTest::newRow("cooldown 5 s") << rules(false, false, 5, false) << false << qint64(8)
                                  << qint64(7) << "v:1 x:1 y:2 z:1"
                                  << "u:1 v:1 x:1 y:3 z:1" << QList<qint64> {0, 3, 0} << 0;
    QTest::newRow("stop at time-up")
        << rules(false, false, 0, true) << false << qint64(8) << qint64(7) << "x:3 y:1 z:1"
        << "u:1 x:2 y:3 z:1" << QList<qint64> {0, 0, 2} << 0;
    QTest::newRow("stop at time-up, countdown stopped by hand")
        << rules(false, false, 0, true) << true << qint64(10) << qint64(8) << "v:1 x:3 y:2 z:1"
        << "u:1 v:1 x:2 y:3 z:1" << QList<qint64> {0, 0, 0} << 0;
    QTest::newRow("all together") << rules(true, true, 5, true) << false << qint64(4) << qint64(5)
                                  << "z:1"
                                  << "u:1 x:1 y:3" << QList<qint64> {1, 2, 2} << 3;
}

void TestVoteRules::scriptedRoom()
{
    QFETCH(VoteRules, set);
    QFETCH(bool, countdownStoppedByHand);
    QFETCH(qint64, totalA);
    QFETCH(qint64, totalB);
    QFETCH(QString, talliesA);
    QFETCH(QString, talliesB);
    QFETCH(QList<qint64>, ignored);
    QFETCH(int, moved);

    qint64 now = 0;
    VoteSession session;
    session.setClock([&now] { return now; });
    session.setTeamName(1, "A");
    session.setTeamName(2, "B");
    session.applyDefaultGift(1);
    session.applyDefaultGift(2);
    session.setVoteType(VoteType::Text);
    QVERIFY(session.setRules(set));
    QVERIFY(session.startCounting());
    session.startCountdown(10); // time is up 11 s on

    // ms on the clock; a chat line, or a gift (pieces > 0), or a manual add.
    struct Event
    {
        qint64 at;
        const char *nick;
        const char *text;
        const char *gift = nullptr;
        int pieces = 0;
    };
    const Event script[] = {
        {0, "x", "A"},
        {1000, "y", "A"},
        {2000, "x", "A"}, // the same team again
        {3000, "z", "B"},
        {4000, "x", "B"}, // a change
        {4500, "y", nullptr, kGiftB, 2}, // gifts count whatever the rules
        {5000, nullptr, nullptr}, // the countdown stopped by hand, when the row says so
        {6000, "y", "B"},
        {7000, nullptr, "+3"}, // manual correction
        {8000, "x", "B"},
        {9000, "z", "A"},
        {9500, "w", "A!"}, // chatter
        {10500, "x", "A"},
        {11500, "y", "A"}, // after time-up
        {12000, "v", "B"},
        {12000, "v", nullptr, kGiftA, 1},
    };
    int movedSeen = 0;
    qint64 ignoredSeen = 0;
    bool stopped = false;
    for (const Event &event : script) {
        now = event.at;
        CountResult result;
        if (event.gift) {
            // A gift in gift voting, chat voting before and after it.
            session.setVoteType(VoteType::Gift);
            result = session.countGift(event.nick, event.gift, event.pieces);
            session.setVoteType(VoteType::Text);
        } else if (!event.nick && !event.text) {
            if (countdownStoppedByHand)
                session.stopCountdown();
            continue;
        } else if (!event.nick) {
            session.addVotes(1, 3);
            continue;
        } else {
            result = session.countChat(event.nick, event.text);
        }
        stopped = stopped || result.stoppedAtTimeUp;
        ignoredSeen += result.ignored != IgnoredReason::None;
        if (result.movedFrom) {
            ++movedSeen;
            // A change shows on both teams in one step.
            QVERIFY(result.changed(1) && result.changed(2));
            QCOMPARE(result.movedFrom, QByteArray(event.text) == "A" ? 2 : 1);
        }
        if (result.ignored != IgnoredReason::None)
            QCOMPARE(result.changedTeams, 0u);
    }
    QCOMPARE(stopped, set.stopAtTimeUp && !countdownStoppedByHand);
    QCOMPARE(session.isCounting(), !stopped);
    QCOMPARE(session.stoppedAtTimeUp(), stopped);

    // Started again after time-up, counting goes on: time-up stops it once.
    now = 13000;
    QVERIFY(session.startCounting());
    QVERIFY(session.countChat("u", "B").changed(2));
    QVERIFY(session.isCounting());

    QCOMPARE(session.team(1).votes, totalA);
    QCOMPARE(session.team(2).votes, totalB);
    QCOMPARE(tallies(session.team(1).voters), talliesA);
    QCOMPARE(tallies(session.team(2).voters), talliesB);
    const QList<qint64> ignoredCounts = {session.ignoredCount(IgnoredReason::OnePerViewer),
                                         session.ignoredCount(IgnoredReason::Cooldown),
                                         session.ignoredCount(IgnoredReason::AfterTimeUp)};
    QCOMPARE(ignoredCounts, ignored);
    QCOMPARE(session.ignoredTotal(), ignoredSeen);
    QCOMPARE(movedSeen, moved);

    // Clearing the totals lets every viewer vote afresh.
    session.clearTotals();
    QCOMPARE(session.ignoredTotal(), qint64(0));
    QVERIFY(session.countChat("x", "B").changed(2));
}

void TestVoteRules::rulesChangeOnlyWhileStopped()
{
    VoteSession session;
    QVERIFY(!session.rules().anyOn());
    QVERIFY(session.ruleLine().isEmpty());
    session.setTeamName(1, "A");
    session.setTeamName(2, "B");
    QVERIFY(session.startCounting());
    QVERIFY(!session.setRules(rules(true, false, 0, false)));
    QVERIFY(!session.rules().anyOn());

    session.stopCounting();
    // Changing needs one vote per viewer; the cooldown stops at an hour.
    QVERIFY(session.setRules(rules(false, true, 99999, true)));
    QCOMPARE(session.rules(), rules(false, false, 3600, true));
    QCOMPARE(session.ruleLine(), QStringLiteral("冷却 3600 秒 · 倒计时结束停止计票 · 已忽略 0 票"));
    QVERIFY(session.setRules(rules(true, true, 0, false)));
    QCOMPARE(session.ruleLine(), QStringLiteral("每人一票 · 允许改票 · 已忽略 0 票"));
}

QTEST_APPLESS_MAIN(TestVoteRules)
#include "tst_voteRules.moc"
