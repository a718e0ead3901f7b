// The vote session without widgets: starting with names, manual corrections,
// the lead line, clearing, the catalogue, the repeat rule and the countdown.
#include "bridge/RoomEventWriter.h"
#include "vote/VoteSession.h"

#include <QTest>

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void freshSession();
    void startNeedsShownTeamsNamed_data();
    void startNeedsShownTeamsNamed();
    void manualCorrections_data();
    void manualCorrections();
    void leadText_data();
    void leadText();
    void clearingKeepsTheOtherHalf();
    void catalogueKeepsFirstEntry();
    void repeatRule();
    void chosenGiftCountsAtItsPrice();
    void countdownReadsTheClock_data();
    void countdownReadsTheClock();
};

void TestSession::freshSession()
{
    VoteSession session;
    QCOMPARE(int(session.teams().size()), 4);
    QCOMPARE(session.voteType(), VoteType::Gift);
    QCOMPARE(session.voteMode(), 2);
    QVERIFY(!session.isCounting());
    QVERIFY(!session.countdownOn());
    QVERIFY(!session.moreSettingsShown());
    QCOMPARE(session.noteColor(), 0x181818);
    QCOMPARE(session.lastMessageId(), QByteArray("none"));
    QVERIFY(session.login().token.isEmpty());
    QCOMPARE(session.state().keys().size(), 8);
}

void TestSession::startNeedsShownTeamsNamed_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<QByteArray>>("names");
    QTest::addColumn<int>("unnamed");

    QTest::newRow("two named") << 2 << QList<QByteArray> {"A", "B"} << 0;
    QTest::newRow("second empty") << 2 << QList<QByteArray> {"A", ""} << 2;
    QTest::newRow("hidden third unnamed") << 2 << QList<QByteArray> {"A", "B", ""} << 0;
    QTest::newRow("shown third unnamed") << 3 << QList<QByteArray> {"A", "B", ""} << 3;
    QTest::newRow("a blank is a name") << 2 << QList<QByteArray> {" ", "B"} << 0;
    QTest::newRow("four teams, first empty") << 4 << QList<QByteArray> {"", "B", "C", "D"} << 1;
}

void TestSession::startNeedsShownTeamsNamed()
{
    QFETCH(int, mode);
    QFETCH(QList<QByteArray>, names);
    QFETCH(int, unnamed);

    VoteSession session;
    session.setVoteMode(mode);
    for (int i = 0; i < names.size(); ++i)
        session.setTeamName(i + 1, names.at(i));
    QCOMPARE(session.firstUnnamedShownTeam(), unnamed);
    QCOMPARE(session.startCounting(), unnamed == 0);
    QCOMPARE(session.isCounting(), unnamed == 0);
    session.stopCounting();
    QVERIFY(!session.isCounting());
}

void TestSession::manualCorrections_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<qint64>("before");
    QTest::addColumn<qint64>("add");
    QTest::addColumn<qint64>("subtract");
    QTest::addColumn<qint64>("after");
    QTest::addColumn<bool>("leadDue");

    QTest::newRow("add") << 2 << qint64(0) << qint64(3) << qint64(0) << qint64(3) << true;
    QTest::newRow("subtract below zero floors")
        << 2 << qint64(3) << qint64(0) << qint64(5) << qint64(0) << true;
    QTest::newRow("subtract to exactly zero")
        << 2 << qint64(5) << qint64(0) << qint64(5) << qint64(0) << true;
    QTest::newRow("three teams, no lead line")
        << 3 << qint64(1) << qint64(9999) << qint64(2) << qint64(9998) << false;
}

void TestSession::manualCorrections()
{
    QFETCH(int, mode);
    QFETCH(qint64, before);
    QFETCH(qint64, add);
    QFETCH(qint64, subtract);
    QFETCH(qint64, after);
    QFETCH(bool, leadDue);

    VoteSession session;
    session.setVoteMode(mode);
    session.addVotes(2, before);
    QCOMPARE(session.addVotes(2, add), leadDue);
    QCOMPARE(session.subtractVotes(2, subtract), leadDue);
    QCOMPARE(session.team(2).votes, after);
    QCOMPARE(session.team(1).votes, qint64(0));
    QVERIFY(session.team(2).voters.empty()); // corrections never touch the voters
}

void TestSession::leadText_data()
{
    QTest::addColumn<QString>("name1");
    QTest::addColumn<QString>("name2");
    QTest::addColumn<qint64>("first");
    QTest::addColumn<qint64>("second");
    QTest::addColumn<QString>("text");

    const QString a = QStringLiteral("A队");
    const QString b = QStringLiteral("B队");
    QTest::newRow("second leads") << a << b << qint64(5) << qint64(7)
                                  << QStringLiteral("【B队】领先【A队】2票");
    QTest::newRow("tie names the first")
        << a << b << qint64(7) << qint64(7) << QStringLiteral("【A队】领先【B队】0票");
    QTest::newRow("first leads") << a << b << qint64(10) << qint64(1)
                                 << QStringLiteral("【A队】领先【B队】9票");
    // Names are shown as typed, placeholders and all.
    QTest::newRow("names holding placeholders")
        << QStringLiteral("%1") << QStringLiteral("%3") << qint64(5) << qint64(7)
        << QStringLiteral("【%3】领先【%1】2票");
}

void TestSession::leadText()
{
    QFETCH(QString, name1);
    QFETCH(QString, name2);
    QFETCH(qint64, first);
    QFETCH(qint64, second);
    QFETCH(QString, text);

    VoteSession session;
    session.setTeamName(1, name1.toUtf8());
    session.setTeamName(2, name2.toUtf8());
    session.addVotes(1, first);
    session.addVotes(2, second);
    QCOMPARE(session.leadText(), text);
}

void TestSession::clearingKeepsTheOtherHalf()
{
    VoteSession session;
    session.setTeamName(1, "A");
    session.setTeamName(2, "B");
    session.setVoteType(VoteType::Text);
    QVERIFY(session.startCounting());
    for (int i = 0; i < 3; ++i)
        session.countChat("x", "A");
    session.countChat("y", "B");

    session.clearTotals();
    QCOMPARE(session.team(1).votes, qint64(0));
    QCOMPARE(session.team(1).voters.at("x"), qint64(3));
    QVERIFY(session.isCounting());
    session.countChat("x", "A");
    QCOMPARE(session.team(1).votes, qint64(1));
    QCOMPARE(session.team(1).voters.at("x"), qint64(4));

    session.clearVoters();
    QCOMPARE(session.team(1).votes, qint64(1));
    QVERIFY(session.team(1).voters.empty());
    QVERIFY(session.team(2).voters.empty());
}

void TestSession::catalogueKeepsFirstEntry()
{
    VoteSession session;
    ProductRecord ten;
    ten.price = 10;
    ProductRecord twenty;
    twenty.price = 20;
    QVERIFY(session.addProduct("x", ten));
    QVERIFY(!session.addProduct("x", twenty));
    QVERIFY(!session.addProduct("", ten));
    QCOMPARE(session.products().at("x").price, 10);
    QVERIFY(session.hasProduct("x"));
    QVERIFY(!session.hasProduct("y"));
}

void TestSession::repeatRule()
{
    VoteSession session;
    QVERIFY(!session.acceptRoomEvent("none")); // the session starts from "none"
    QVERIFY(session.acceptRoomEvent("a1"));
    QVERIFY(!session.acceptRoomEvent("a1"));
    QVERIFY(session.acceptRoomEvent(nullptr)); // no id: always taken, id kept
    QCOMPARE(session.lastMessageId(), QByteArray("a1"));
    QVERIFY(session.acceptRoomEvent("a2"));
    QVERIFY(session.acceptRoomEvent("a1"));
}

void TestSession::chosenGiftCountsAtItsPrice()
{
    VoteSession session;
    for (int index = 1; index <= kTeamCount; ++index)
        session.applyDefaultGift(index);
    ProductRecord nine;
    nine.name = QStringLiteral("棒棒糖");
    nine.price = 9;
    nine.imageDir = "/cache";
    nine.imageUrl = "http://img/9.png";
    ProductRecord nineteen;
    nineteen.price = 19;
    session.chooseGift(1, "9", nine);
    session.chooseGift(2, "19", nineteen);
    QCOMPARE(session.team(1).giftId, QByteArray("9"));
    QCOMPARE(session.team(1).gift.name, QStringLiteral("棒棒糖"));
    QCOMPARE(session.team(1).gift.imageDir, QByteArray("/cache"));
    QVERIFY(session.team(1).gift.imageUrl.isEmpty()); // the image URL is not copied
    session.setTeamName(1, "A");
    session.setTeamName(2, "B");
    QVERIFY(session.startCounting());
    const CountResult result = session.countGift("v", "19", 3);
    QVERIFY(result.changed(2));
    QCOMPARE(session.team(2).votes, qint64(6));
    QCOMPARE(session.team(2).voters.at("v"), qint64(6));
}

void TestSession::countdownReadsTheClock_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QList<qint64>>("times"); // ms after the start
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("three seconds, on time") << 3 << QList<qint64> {0, 1000, 2000, 3000, 4000, 5000}
                                            << QStringList {"3", "2", "1", "0", "end", "end"};
    QTest::newRow("ticks late and merged")
        << 3 << QList<qint64> {0, 1000, 3700, 4002} << QStringList {"3", "2", "0", "end"};
    QTest::newRow("just before a step")
        << 2 << QList<qint64> {999, 1999, 2999} << QStringList {"2", "1", "0"};
    QTest::newRow("zero seconds") << 0 << QList<qint64> {0, 999, 1000}
                                  << QStringList {"0", "0", "end"};
}

void TestSession::countdownReadsTheClock()
{
    QFETCH(int, seconds);
    QFETCH(QList<qint64>, times);
    QFETCH(QStringList, shown);

    constexpr qint64 kStart = 123456;
    VoteSession session;
    const Countdown::Reading first = session.startCountdown(seconds, kStart);
    QVERIFY(session.countdownOn());
    QCOMPARE(first.seconds, seconds);
    QStringList got;
    for (qint64 t : times) {
        const Countdown::Reading reading = session.countdown().read(kStart + t);
        got << (reading.expired ? QStringLiteral("end") : QString::number(reading.seconds));
        // The next step is at the next whole second after the start.
        QCOMPARE(t + session.countdown().msUntilNextStep(kStart + t), (t / 1000 + 1) * 1000);
    }
    QCOMPARE(got, shown);
    session.stopCountdown();
    QVERIFY(!session.countdownOn());
    QVERIFY(!session.countdown().isRunning());
}

QTEST_APPLESS_MAIN(TestSession)
#include "tst_session.moc"
