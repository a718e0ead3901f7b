// The generated crowd, in-process: the same seed gives the same room, and the
// room looks like a real one (regulars and latin nicks, several units and
// viewers per message, near misses, repeats).
#include "CrowdGenerator.h"

#include <QSet>
#include <QTest>

#include <algorithm>

Q_DECLARE_METATYPE(CrowdGenerator::Options)

namespace {

QList<QByteArray> frames(const CrowdGenerator::Options &options, int count)
{
    CrowdGenerator generator(options);
    QList<QByteArray> out;
    for (int i = 0; i < count; ++i) {
        const CrowdGenerator::Message message = generator.next("m" + QByteArray::number(i + 1));
        out.append(message.frame + (message.repeat ? "+repeat" : ""));
    }
    return out;
}

} // namespace

class TestCrowdGenerator : public QObject
{
    Q_OBJECT

private slots:
    void sameSeedSameRoom_data();
    void sameSeedSameRoom();
    void looksLikeARoom();
};

void TestCrowdGenerator::sameSeedSameRoom_data()
{
    QTest::addColumn<CrowdGenerator::Options>("options");

    CrowdGenerator::Options defaults;
    defaults.seed = 7;
    QTest::newRow("defaults") << defaults;

    CrowdGenerator::Options gifts;
    gifts.seed = 42;
    gifts.votePercent = 10;
    gifts.chatterPercent = 10;
    gifts.giftPercent = 80;
    gifts.maxBuy = 9;
    gifts.repeatPercent = 30;
    QTest::newRow("gifts and repeats") << gifts;

    CrowdGenerator::Options many;
    many.seed = 3;
    many.teams = QStringList {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙"),
                              QStringLiteral("丁")};
    many.viewers = 5;
    QTest::newRow("many teams, few viewers") << many;
}

void TestCrowdGenerator::sameSeedSameRoom()
{
    QFETCH(CrowdGenerator::Options, options);
    const QList<QByteArray> first = frames(options, 300);
    QCOMPARE(frames(options, 300), first);
    options.seed += 1;
    QVERIFY(frames(options, 300) != first);
}

void TestCrowdGenerator::looksLikeARoom()
{
    CrowdGenerator::Options options;
    options.viewers = 50;
    options.repeatPercent = 10;
    CrowdGenerator generator(options);

    const QList<QByteArray> teams = {QStringLiteral("红队").toUtf8(),
                                     QStringLiteral("蓝队").toUtf8()};
    QSet<QByteArray> nicks;
    QSet<QByteArray> chatterLines;
    int severalUnits = 0, severalGroups = 0, suspended = 0, repeats = 0, gifts = 0;
    for (int i = 0; i < 3000; ++i) {
        const CrowdGenerator::Message message = generator.next("m" + QByteArray::number(i));
        repeats += message.repeat;
        severalGroups += message.groups.size() > 1;
        for (const RoomEventWriter::Group &group : message.groups) {
            nicks.insert(group.nick);
            severalUnits += group.units.size() > 1;
            for (const RoomEventWriter::Unit &unit : group.units) {
                if (unit.kind == RoomEventWriter::Unit::Gift) {
                    ++gifts;
                    QVERIFY(unit.buyCount >= 1 && unit.buyCount <= 3);
                    QVERIFY(options.gifts.contains(unit.productId));
                    continue;
                }
                suspended += unit.kind == RoomEventWriter::Unit::SuspendMessage;
                if (!teams.contains(unit.text))
                    chatterLines.insert(unit.text);
            }
        }
    }
    QVERIFY(nicks.size() <= 50);
    QVERIFY(nicks.size() >= 40);
    QVERIFY(nicks.contains(QStringLiteral("观众001").toUtf8()));
    QVERIFY(std::any_of(nicks.begin(), nicks.end(),
                        [](const QByteArray &nick) { return uchar(nick.at(0)) < 128; }));
    QVERIFY(severalUnits > 0);
    QVERIFY(severalGroups > 0);
    QVERIFY(suspended > 0);
    QVERIFY(gifts > 300);
    QVERIFY(repeats > 150 && repeats < 450);
    // Near misses that look like votes but must not count.
    QVERIFY(chatterLines.contains(QStringLiteral(" 红队").toUtf8()));
    QVERIFY(chatterLines.contains(QStringLiteral("红队!").toUtf8()));
    QVERIFY(chatterLines.contains(QStringLiteral("哈哈哈").toUtf8()));
    for (const QByteArray &team : teams)
        QVERIFY(!chatterLines.contains(team));
}

QTEST_APPLESS_MAIN(TestCrowdGenerator)
#include "tst_crowdGenerator.moc"
