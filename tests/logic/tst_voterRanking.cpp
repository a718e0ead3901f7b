// The voter ranking: highest tally first after every vote, every viewer
// found at its row, and the change it reports covering every row that moved.
#include "vote/VoterRanking.h"

#include <QMap>
#include <QRandomGenerator>
#include <QTest>

#include <limits>

namespace {

QList<VoterRanking::Entry> rowsOf(const VoterRanking &ranking)
{
    return QList<VoterRanking::Entry>(ranking.begin(), ranking.end());
}

QString describe(const QList<VoterRanking::Entry> &rows)
{
    QStringList parts;
    for (const VoterRanking::Entry &entry : rows)
        parts << QStringLiteral("%1:%2").arg(QString::fromUtf8(entry.nick)).arg(entry.votes);
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestVoterRanking : public QObject
{
    Q_OBJECT

private slots:
    void highestFirst();
    void randomVotes_data();
    void randomVotes();
    void oneVoteMovesTwoRows();
    void zeroVotesEnterAtTheEnd();
    void tallyStopsAtTheLargestValue();
    void clearForgetsEveryone();
};

void TestVoterRanking::highestFirst()
{
    VoterRanking ranking;
    for (const char *nick : {"x", "y", "x", "x"})
        ranking.add(nick, 1);
    QCOMPARE(describe(rowsOf(ranking)), QStringLiteral("x:3 y:1"));
    QCOMPARE(ranking.at(QByteArray("x")), qint64(3));
    QCOMPARE(ranking.find("y").value_or(-1), qint64(1));
    QVERIFY(!ranking.find("z"));
}

void TestVoterRanking::randomVotes_data()
{
    QTest::addColumn<int>("viewers");
    QTest::addColumn<int>("largestStep");
    QTest::addColumn<int>("votes");
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("takePercent"); // steps that take votes away instead

    QTest::newRow("chat votes, few viewers") << 5 << 1 << 2000 << 1u << 0;
    QTest::newRow("chat votes, many viewers") << 300 << 1 << 5000 << 2u << 0;
    QTest::newRow("gifts of several pieces") << 50 << 7 << 3000 << 3u << 0;
    QTest::newRow("gifts with zero pieces") << 40 << 3 << 3000 << 4u << 0; // steps 0..3
    QTest::newRow("one viewer") << 1 << 2 << 200 << 5u << 0;
    QTest::newRow("changed votes, few viewers") << 6 << 1 << 3000 << 6u << 40;
    QTest::newRow("changed votes, many viewers") << 200 << 1 << 6000 << 7u << 30;
    QTest::newRow("takes of several votes") << 30 << 4 << 4000 << 8u << 35;
    QTest::newRow("one viewer, in and out") << 1 << 1 << 300 << 9u << 50;
}

void TestVoterRanking::randomVotes()
{
    QFETCH(int, viewers);
    QFETCH(int, largestStep);
    QFETCH(int, votes);
    QFETCH(quint32, seed);
    QFETCH(int, takePercent);

    QRandomGenerator random(seed);
    VoterRanking ranking;
    QMap<QByteArray, qint64> expected;
    for (int i = 0; i < votes; ++i) {
        const QByteArray nick = "v" + QByteArray::number(random.bounded(viewers));
        const bool taking = int(random.bounded(100)) < takePercent;
        const qint64 step = random.bounded(largestStep + 1) + (taking ? 1 : 0);
        const QList<VoterRanking::Entry> before = rowsOf(ranking);
        const bool isNew = !taking && !expected.contains(nick);
        // Taking leaves a viewer with nothing out of the ranking.
        const bool leaves = taking && expected.contains(nick) && expected.value(nick) <= step;
        if (leaves)
            expected.remove(nick);
        else if (taking && expected.contains(nick))
            expected[nick] -= step;
        else if (!taking)
            expected[nick] += step;
        const VoterRanking::Change change =
            taking ? ranking.take(nick, step) : ranking.add(nick, step);
        const QList<VoterRanking::Entry> after = rowsOf(ranking);

        QCOMPARE(change.added, isNew);
        QCOMPARE(change.removed, leaves);
        if (leaves)
            QCOMPARE(change.last, after.size()); // the row that went is repainted too
        QCOMPARE(after.size(), expected.size());
        for (int row = 0; row < after.size(); ++row) {
            // Highest first, and each viewer's tally right and found at its row.
            if (row > 0 && after[row - 1].votes < after[row].votes)
                QFAIL(qPrintable(QStringLiteral("out of order: ") + describe(after)));
            QCOMPARE(after[row].votes, expected.value(after[row].nick));
            // Every row that differs lies in the reported change.
            const bool same = row < before.size() && before[row].nick == after[row].nick
                && before[row].votes == after[row].votes;
            if (!same && (row < change.first || row > change.last))
                QFAIL(qPrintable(QStringLiteral("row %1 outside %2..%3")
                                     .arg(row)
                                     .arg(change.first)
                                     .arg(change.last)));
        }
        QCOMPARE(ranking.find(nick).value_or(-1), expected.value(nick, -1));
    }
}

void TestVoterRanking::oneVoteMovesTwoRows()
{
    // 1000 viewers at 1 vote, then 1000 at 2: the last viewer of the 1-block
    // overtakes the whole block by trading places with its head.
    VoterRanking ranking;
    for (int i = 0; i < 1000; ++i)
        ranking.add("a" + QByteArray::number(i), 2);
    for (int i = 0; i < 1000; ++i)
        ranking.add("b" + QByteArray::number(i), 1);
    const QList<VoterRanking::Entry> before = rowsOf(ranking);
    ranking.add("b999", 1);
    const QList<VoterRanking::Entry> after = rowsOf(ranking);
    int moved = 0;
    for (int row = 0; row < after.size(); ++row)
        moved += before[row].nick != after[row].nick || before[row].votes != after[row].votes;
    QCOMPARE(moved, 2);
    QCOMPARE(after[1000].nick, QByteArray("b999"));
    QCOMPARE(after[1000].votes, qint64(2));
}

void TestVoterRanking::zeroVotesEnterAtTheEnd()
{
    VoterRanking ranking;
    ranking.add("x", 2);
    const VoterRanking::Change change = ranking.add("nothing", 0);
    QVERIFY(change.added);
    QCOMPARE(change.first, 1);
    QCOMPARE(describe(rowsOf(ranking)), QStringLiteral("x:2 nothing:0"));
    const VoterRanking::Change none = ranking.add("nothing", 0);
    QVERIFY(!none.any());
    ranking.add("nothing", 3);
    QCOMPARE(describe(rowsOf(ranking)), QStringLiteral("nothing:3 x:2"));
}

void TestVoterRanking::tallyStopsAtTheLargestValue()
{
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    VoterRanking ranking;
    ranking.add("x", kMax - 1);
    ranking.add("y", 5);
    ranking.add("x", 10);
    ranking.add("y", kMax);
    QCOMPARE(ranking.at(QByteArray("x")), kMax);
    QCOMPARE(ranking.at(QByteArray("y")), kMax);
    QVERIFY(!ranking.add("x", 1).any()); // nothing left to add
}

void TestVoterRanking::clearForgetsEveryone()
{
    VoterRanking ranking;
    ranking.add("x", 3);
    ranking.add("y", 1);
    ranking.clear();
    QVERIFY(ranking.empty());
    QVERIFY(!ranking.find("x"));
    ranking.add("y", 1);
    ranking.add("x", 1);
    ranking.add("x", 1);
    QCOMPARE(describe(rowsOf(ranking)), QStringLiteral("x:2 y:1"));
}

QTEST_APPLESS_MAIN(TestVoterRanking)
#include "tst_voterRanking.moc"
