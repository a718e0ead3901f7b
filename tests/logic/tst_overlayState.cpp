// The state the on-stream page draws: shares, the leader, the message's JSON
// and reading it back.
#include "overlay/OverlayState.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include <limits>

namespace {

OverlayState stateWith(const QList<qint64> &votes)
{
    static const char *const colours[] = {"98,54,255,1", "255,43,100,1", "0,145,255,1",
                                          "10,185,135,1"};
    OverlayState state;
    state.mode = int(votes.size());
    for (int i = 0; i < votes.size(); ++i) {
        OverlayTeam team;
        team.index = i + 1;
        team.name = QStringLiteral("队%1").arg(i + 1);
        team.votes = votes.at(i);
        team.colour = QString::fromLatin1(colours[i]);
        state.teams.append(team);
    }
    return state;
}

} // namespace

class TestOverlayState : public QObject
{
    Q_OBJECT

private slots:
    void shares_data();
    void shares();
    void leader_data();
    void leader();
    void messageShape();
    void roundTrip();
    void rejectsOtherMessages_data();
    void rejectsOtherMessages();
    void equalityCoversEveryField_data();
    void equalityCoversEveryField();
};

void TestOverlayState::shares_data()
{
    QTest::addColumn<QList<qint64>>("votes");
    QTest::addColumn<QList<double>>("shares");

    const qint64 huge = std::numeric_limits<qint64>::max();
    QTest::newRow("no votes yet") << QList<qint64> {0, 0} << QList<double> {0, 0};
    QTest::newRow("three to one") << QList<qint64> {30, 10} << QList<double> {0.75, 0.25};
    QTest::newRow("one team has all") << QList<qint64> {0, 7} << QList<double> {0, 1};
    QTest::newRow("three teams") << QList<qint64> {1, 1, 2} << QList<double> {0.25, 0.25, 0.5};
    QTest::newRow("four teams") << QList<qint64> {10, 20, 30, 40}
                                << QList<double> {0.1, 0.2, 0.3, 0.4};
    QTest::newRow("negative counts as none") << QList<qint64> {-5, 5} << QList<double> {0, 1};
    QTest::newRow("totals near the limit do not overflow")
        << QList<qint64> {huge, huge} << QList<double> {0.5, 0.5};
}

void TestOverlayState::shares()
{
    QFETCH(QList<qint64>, votes);
    QFETCH(QList<double>, shares);

    const QList<double> got = overlayShares(stateWith(votes));
    QCOMPARE(got.size(), shares.size());
    double sum = 0;
    for (int i = 0; i < got.size(); ++i) {
        QVERIFY2(qAbs(got.at(i) - shares.at(i)) < 1e-9,
                 qPrintable(QStringLiteral("team %1: %2").arg(i + 1).arg(got.at(i))));
        sum += got.at(i);
    }
    QVERIFY(sum == 0 || qAbs(sum - 1) < 1e-9);
}

void TestOverlayState::leader_data()
{
    QTest::addColumn<QList<qint64>>("votes");
    QTest::addColumn<int>("leader");

    QTest::newRow("nobody has votes") << QList<qint64> {0, 0} << 0;
    QTest::newRow("first leads") << QList<qint64> {3, 1} << 1;
    QTest::newRow("second leads") << QList<qint64> {1, 3} << 2;
    QTest::newRow("tie at the top crowns nobody") << QList<qint64> {4, 4} << 0;
    QTest::newRow("tie below the top") << QList<qint64> {2, 2, 5} << 3;
    QTest::newRow("tie at the top of four") << QList<qint64> {1, 9, 3, 9} << 0;
    QTest::newRow("one vote is a lead") << QList<qint64> {0, 0, 0, 1} << 4;
}

void TestOverlayState::leader()
{
    QFETCH(QList<qint64>, votes);
    QFETCH(int, leader);
    QCOMPARE(overlayLeader(stateWith(votes)), leader);
}

void TestOverlayState::messageShape()
{
    OverlayState state = stateWith({30, 10});
    state.question = QStringLiteral("今晚\"吃\"什么？</script>");
    state.questionColour = QStringLiteral("#ff8800");
    state.lead = QStringLiteral("【队1】领先【队2】20票");
    state.countdown = QStringLiteral("时间到");
    state.counting = true;

    const QByteArray json = overlayStateJson(state);
    QVERIFY2(!json.contains('\n'), json.constData());
    QJsonParseError error;
    const QJsonObject message = QJsonDocument::fromJson(json, &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);

    QCOMPARE(message.value(QStringLiteral("question")).toString(), state.question);
    QCOMPARE(message.value(QStringLiteral("questionColour")).toString(), state.questionColour);
    QCOMPARE(message.value(QStringLiteral("mode")).toInt(), 2);
    QCOMPARE(message.value(QStringLiteral("counting")).toBool(), true);
    QCOMPARE(message.value(QStringLiteral("countdown")).toString(), state.countdown);
    QCOMPARE(message.value(QStringLiteral("lead")).toString(), state.lead);
    QCOMPARE(message.value(QStringLiteral("leader")).toInt(), 1);
    QCOMPARE(message.value(QStringLiteral("total")).toDouble(), 40.0);

    const QJsonArray teams = message.value(QStringLiteral("teams")).toArray();
    QCOMPARE(teams.size(), 2);
    const QJsonObject second = teams.at(1).toObject();
    QCOMPARE(second.value(QStringLiteral("index")).toInt(), 2);
    QCOMPARE(second.value(QStringLiteral("name")).toString(), QStringLiteral("队2"));
    QCOMPARE(second.value(QStringLiteral("votes")).toDouble(), 10.0);
    QCOMPARE(second.value(QStringLiteral("share")).toDouble(), 0.25);
    QCOMPARE(second.value(QStringLiteral("colour")).toString(), QStringLiteral("255,43,100,1"));
}

void TestOverlayState::roundTrip()
{
    OverlayState state = stateWith({5, 0, 12});
    state.question = QStringLiteral("选哪个？");
    state.questionColour = QStringLiteral("#181818");
    state.countdown = QStringLiteral("9");
    state.teams[1].name.clear();
    state.rules.onePerViewer = true;
    state.rules.cooldownSeconds = 30;
    state.ignored[int(IgnoredReason::Cooldown)] = 7;
    state.ignored[int(IgnoredReason::AfterTimeUp)] = 2;
    state.ruleLine = QStringLiteral("每人一票 · 冷却 30 秒 · 已忽略 9 票");

    OverlayState read;
    const QByteArray json = overlayStateJson(state);
    QVERIFY(overlayStateFromJson(json, &read));
    QCOMPARE(read, state);
    // The reasons go by the names the records use.
    QVERIFY2(json.contains("\"ignored\":{\"after_time_up\":2,\"cooldown\":7,\"one_per_viewer\":0}"),
             json.constData());
}

void TestOverlayState::rejectsOtherMessages_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("not JSON") << QByteArray("{\"teams\":[");
    QTest::newRow("an array") << QByteArray("[1,2]");
    QTest::newRow("no teams") << QByteArray("{\"question\":\"x\"}");
    QTest::newRow("teams not a list") << QByteArray("{\"teams\":{}}");
    QTest::newRow("a team not an object") << QByteArray("{\"teams\":[3]}");
}

void TestOverlayState::rejectsOtherMessages()
{
    QFETCH(QByteArray, json);
    OverlayState state = stateWith({1, 2});
    const OverlayState before = state;
    QVERIFY(!overlayStateFromJson(json, &state));
    QCOMPARE(state, before);
}

void TestOverlayState::equalityCoversEveryField_data()
{
    // A push is skipped when the state compares equal: every field that the
    // page shows must take part.
    QTest::addColumn<int>("field");
    QTest::newRow("question") << 0;
    QTest::newRow("question colour") << 1;
    QTest::newRow("mode") << 2;
    QTest::newRow("lead") << 3;
    QTest::newRow("countdown") << 4;
    QTest::newRow("counting") << 5;
    QTest::newRow("team votes") << 6;
    QTest::newRow("team name") << 7;
    QTest::newRow("team colour") << 8;
    QTest::newRow("team index") << 9;
    QTest::newRow("one team fewer") << 10;
    QTest::newRow("rules") << 11;
    QTest::newRow("ignored votes") << 12;
    QTest::newRow("rule line") << 13;
}

void TestOverlayState::equalityCoversEveryField()
{
    QFETCH(int, field);
    const OverlayState base = stateWith({3, 4});
    OverlayState changed = base;
    switch (field) {
    case 0:
        changed.question = QStringLiteral("?");
        break;
    case 1:
        changed.questionColour = QStringLiteral("#000001");
        break;
    case 2:
        changed.mode = 3;
        break;
    case 3:
        changed.lead = QStringLiteral("x");
        break;
    case 4:
        changed.countdown = QStringLiteral("0");
        break;
    case 5:
        changed.counting = true;
        break;
    case 6:
        changed.teams[1].votes += 1;
        break;
    case 7:
        changed.teams[1].name += QLatin1Char(' ');
        break;
    case 8:
        changed.teams[1].colour = QStringLiteral("0,0,0,1");
        break;
    case 9:
        changed.teams[1].index = 3;
        break;
    case 10:
        changed.teams.removeLast();
        break;
    case 11:
        changed.rules.stopAtTimeUp = true;
        break;
    case 12:
        changed.ignored[int(IgnoredReason::OnePerViewer)] = 1;
        break;
    case 13:
        changed.ruleLine = QStringLiteral("x");
        break;
    }
    QVERIFY(changed != base);
    QVERIFY(!(changed == base));
    QCOMPARE(base, stateWith({3, 4}));
}

QTEST_APPLESS_MAIN(TestOverlayState)
#include "tst_overlayState.moc"
