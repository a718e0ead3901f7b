// The road of a vote, end to end: the simulator as a separate process sends a
// generated crowd over a real socket to a real vote window, and the window's
// totals and tallies equal what the simulator says it sent, repeats dropped.
#include "PlatformApiServer.h"
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "bridge/RoomEventWriter.h"
#include "catalogue/HttpFetch.h"
#include "platform/Platform.h"
#include "shell/CWndRemind.h"
#include "ui/VoterListWidget.h"
#include "ui/kivaPlugInVote.h"

#include <QCheckBox>
#include <QInputMethodEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

Q_DECLARE_METATYPE(VoteType)

namespace {

const QString kRed = QStringLiteral("红队");
const QString kBlue = QStringLiteral("蓝队");
const QByteArray kGift1 = "1450928358";
const QByteArray kGift2 = "1477978817";

// Chinese text arrives in an edit as an input method commits it.
void type(QLineEdit *edit, const QString &text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

QMap<QByteArray, qint64> tallies(const QJsonObject &byNick)
{
    QMap<QByteArray, qint64> result;
    for (auto it = byNick.begin(); it != byNick.end(); ++it)
        result.insert(it.key().toUtf8(), qint64(it.value().toDouble()));
    return result;
}

QMap<QByteArray, qint64> tallies(const VoterRanking &voters)
{
    QMap<QByteArray, qint64> result;
    for (const VoterRanking::Entry &entry : voters)
        result.insert(entry.nick, entry.votes);
    return result;
}

// The vote window on the simulator's room, set up by the streamer: the teams
// named, the vote type and the rules (check boxes) picked and start pressed,
// before the event loop can bring the first message in. The platform's API
// stands in, so the gift list after login shows the vote counts; a reminder
// of a link drop (or of the simulator's exit) is closed like a streamer would.
struct RoomWindow
{
    RoomWindow(quint16 port, VoteType voteType, const QStringList &rules = {})
        : watcher([](QWidget *modal) {
            if (auto *card = qobject_cast<CWndRemind *>(modal))
                card->reject();
        })
    {
        if (!api.start())
            return;
        qputenv("KIVA_API_BASE", api.baseUrl());
        Platform::setAppDataFolder(home.path());
        window = std::make_unique<kivaPlugInVote>(nullptr, TestSupport::bridgeTo(port, 100));
        window->setAttribute(Qt::WA_DontShowOnScreen);
        window->show();
        type(find<QLineEdit>(*window, "nameEdit1"), kRed);
        type(find<QLineEdit>(*window, "nameEdit2"), kBlue);
        QTest::mouseClick(find<QPushButton>(*window, "moreSettingButton"), Qt::LeftButton);
        if (voteType == VoteType::Text)
            QTest::mouseClick(find<QRadioButton>(*window, "textRadio"), Qt::LeftButton);
        for (const QString &rule : rules)
            QTest::mouseClick(find<QCheckBox>(*window, rule), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>(*window, "startButton"), Qt::LeftButton);
    }

    bool counting() const { return window && window->session().isCounting(); }

    ModalWatcher watcher;
    PlatformApiServer api;
    QTemporaryDir home;
    std::unique_ptr<kivaPlugInVote> window;
};

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void crowdCountedOnce_data();
    void crowdCountedOnce();
    void oneVotePerViewer_data();
    void oneVotePerViewer();
    void voteByNumber_data();
    void voteByNumber();
};

void TestEndToEnd::initTestCase()
{
    httpGlobalInit();
    if (qEnvironmentVariableIsEmpty("KIVA_ROOM_SIM"))
        QSKIP("KIVA_ROOM_SIM is not set; run through CTest");
}

void TestEndToEnd::crowdCountedOnce_data()
{
    QTest::addColumn<VoteType>("voteType");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("dropEvery");

    QTest::newRow("chat votes") << VoteType::Text << 3000 << 0;
    QTest::newRow("gift votes") << VoteType::Gift << 3000 << 0;
    QTest::newRow("chat votes across link drops") << VoteType::Text << 1500 << 250;
    QTest::newRow("gift votes across link drops") << VoteType::Gift << 1500 << 250;
}

void TestEndToEnd::crowdCountedOnce()
{
    QFETCH(VoteType, voteType);
    QFETCH(int, count);
    QFETCH(int, dropEvery);

    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet",      "--crowd",
                             "--rate",       "3000",
                             "--count",      QString::number(count),
                             "--teams",      kRed + "," + kBlue,
                             "--gifts",      QString::fromLatin1(kGift1 + "," + kGift2 + ",999"),
                             "--mix",        "45,30,25",
                             "--repeat",     "10",
                             "--seed",       "11",
                             "--drop-every", QString::number(dropEvery),
                             "--summary",    "--exit-when-done"}));

    RoomWindow room(simulator.port, voteType);
    QVERIFY(room.counting());
    kivaPlugInVote &window = *room.window;

    const QByteArray line = simulator.waitForLine("summary ", 120000);
    QVERIFY2(!line.isEmpty(), "the simulator printed no summary");
    const QJsonObject summary = QJsonDocument::fromJson(line.mid(8)).object();
    QCOMPARE(qint64(summary.value("sent").toDouble()), qint64(count));
    QVERIFY(summary.value("repeats").toDouble() > 0);
    QTRY_COMPARE_WITH_TIMEOUT(simulator.process.state(), QProcess::NotRunning, 30000);
    QCOMPARE(simulator.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(simulator.process.exitCode(), 0);

    const TeamMap &teams = window.session().teams();
    qint64 expected1 = 0;
    qint64 expected2 = 0;
    QMap<QByteArray, qint64> byNick1;
    QMap<QByteArray, qint64> byNick2;
    if (voteType == VoteType::Text) {
        const QJsonObject chat = summary.value("chat").toObject();
        expected1 = qint64(chat.value(kRed).toDouble());
        expected2 = qint64(chat.value(kBlue).toDouble());
        const QJsonObject byNick = summary.value("votesByNick").toObject();
        byNick1 = tallies(byNick.value(kRed).toObject());
        byNick2 = tallies(byNick.value(kBlue).toObject());
    } else {
        // Every default gift costs 99, so each piece is one vote.
        const QJsonObject gifts = summary.value("gifts").toObject();
        expected1 = qint64(gifts.value(QString::fromLatin1(kGift1)).toDouble());
        expected2 = qint64(gifts.value(QString::fromLatin1(kGift2)).toDouble());
        const QJsonObject byNick = summary.value("piecesByNick").toObject();
        byNick1 = tallies(byNick.value(QString::fromLatin1(kGift1)).toObject());
        byNick2 = tallies(byNick.value(QString::fromLatin1(kGift2)).toObject());
    }
    QVERIFY(expected1 > 0 && expected2 > 0);

    // The last frames may still sit in the window's socket when the simulator exits.
    QTRY_COMPARE_WITH_TIMEOUT(teams.at(1).votes + teams.at(2).votes, expected1 + expected2, 20000);
    QTest::qWait(200); // nothing arrives twice later on
    QCOMPARE(teams.at(1).votes, expected1);
    QCOMPARE(teams.at(2).votes, expected2);
    QCOMPARE(tallies(teams.at(1).voters), byNick1);
    QCOMPARE(tallies(teams.at(2).voters), byNick2);
    QCOMPARE(teams.at(3).votes, qint64(0));
    QCOMPARE(teams.at(4).votes, qint64(0));

    // And what the streamer reads: each label, and each voter row on screen
    // with the viewer's count, highest first.
    QCOMPARE(find<QLabel>(window, "votesLabel1")->text(), QStringLiteral("%1票").arg(expected1));
    QCOMPARE(find<QLabel>(window, "votesLabel2")->text(), QStringLiteral("%1票").arg(expected2));
    for (int team = 1; team <= 2; ++team) {
        auto *list =
            find<VoterListWidget>(window, ("voterList" + QByteArray::number(team)).constData());
        const QMap<QByteArray, qint64> &byNick = team == 1 ? byNick1 : byNick2;
        QCOMPARE(list->voterRows(), byNick.size());
        // Scrolled page by page, the rows show every viewer once.
        QMap<QByteArray, qint64> read;
        qint64 previous = std::numeric_limits<qint64>::max();
        for (int first = 0; first < list->voterRows();
             first += list->verticalScrollBar()->pageStep()) {
            list->verticalScrollBar()->setValue(first);
            const QStringList rows = list->visibleRows();
            QVERIFY(!rows.isEmpty());
            for (const QString &row : rows) {
                const QStringList parts = row.split(QLatin1Char('|'));
                QCOMPARE(parts.size(), 2);
                QVERIFY(parts.at(1).endsWith(QStringLiteral("票")));
                const qint64 votes = parts.at(1).chopped(1).toLongLong();
                QVERIFY(votes <= previous);
                previous = votes;
                read.insert(parts.at(0).toUtf8(), votes);
            }
        }
        QCOMPARE(read, byNick);
    }
}

void TestEndToEnd::oneVotePerViewer_data()
{
    QTest::addColumn<bool>("allowChange");
    QTest::newRow("the first choice stands") << false;
    QTest::newRow("the last choice stands (changing allowed)") << true;
}

void TestEndToEnd::oneVotePerViewer()
{
    QFETCH(bool, allowChange);

    // 40 viewers and about 1,000 chat votes: every viewer votes many times.
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--crowd", "--rate", "3000", "--count", "1500", "--teams",
                             kRed + "," + kBlue, "--mix", "70,20,10", "--viewers", "40", "--repeat",
                             "10", "--seed", "23", "--summary", "--exit-when-done"}));
    QStringList rules = {"onePerViewerCheck"};
    if (allowChange)
        rules << "allowChangeCheck";
    RoomWindow room(simulator.port, VoteType::Text, rules);
    QVERIFY(room.counting());
    kivaPlugInVote &window = *room.window;
    QCOMPARE(window.session().rules().allowChange, allowChange);

    const QByteArray line = simulator.waitForLine("summary ", 120000);
    QVERIFY2(!line.isEmpty(), "the simulator printed no summary");
    const QJsonObject summary = QJsonDocument::fromJson(line.mid(8)).object();
    QTRY_COMPARE_WITH_TIMEOUT(simulator.process.state(), QProcess::NotRunning, 30000);
    const QJsonObject chat = summary.value("chat").toObject();
    const qint64 chatVotes = qint64(chat.value(kRed).toDouble() + chat.value(kBlue).toDouble());

    // Each voter holds one vote, with the team of their first (or last) chat vote.
    const QJsonObject choice = summary.value(allowChange ? "lastChoice" : "firstChoice").toObject();
    QMap<QByteArray, qint64> expected[3];
    for (auto it = choice.begin(); it != choice.end(); ++it)
        expected[it.value().toString() == kRed ? 1 : 2].insert(it.key().toUtf8(), 1);
    QVERIFY(!expected[1].isEmpty() && !expected[2].isEmpty());
    QVERIFY(chatVotes > 10 * choice.size());

    const VoteSession &session = window.session();
    const auto settled = [&] {
        return tallies(session.team(1).voters) == expected[1]
            && tallies(session.team(2).voters) == expected[2];
    };
    QVERIFY(TestSupport::waitUntil(settled, 20000));
    QTest::qWait(200); // nothing arrives twice later on
    QVERIFY(settled());
    QCOMPARE(session.team(1).votes, qint64(expected[1].size()));
    QCOMPARE(session.team(2).votes, qint64(expected[2].size()));
    QCOMPARE(find<QLabel>(window, "votesLabel1")->text(),
             QStringLiteral("%1票").arg(expected[1].size()));
    QCOMPARE(find<QLabel>(window, "votesLabel2")->text(),
             QStringLiteral("%1票").arg(expected[2].size()));
    if (!allowChange)
        QCOMPARE(session.ignoredCount(IgnoredReason::OnePerViewer), chatVotes - choice.size());
    const QString ruleLine = find<QLabel>(window, "ruleLabel")->text();
    QVERIFY2(ruleLine.endsWith(QStringLiteral("已忽略 %1 票").arg(session.ignoredTotal())),
             qPrintable(ruleLine));
}

void TestEndToEnd::voteByNumber_data()
{
    QTest::addColumn<bool>("byNumber");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("team"); // 0: no vote
    QTest::newRow("1") << true << QByteArray("1") << 1;
    QTest::newRow("full-width 1") << true << QByteArray("１") << 1;
    QTest::newRow("2 of two") << true << QByteArray("2") << 2;
    QTest::newRow("full-width 2 of two") << true << QByteArray("２") << 2;
    QTest::newRow("3 of two (hidden)") << true << QByteArray("3") << 0;
    QTest::newRow("full-width 3 of two") << true << QByteArray("３") << 0;
    QTest::newRow("leading blank") << true << QByteArray(" 1") << 0;
    QTest::newRow("trailing blank") << true << QByteArray("1 ") << 0;
    QTest::newRow("01") << true << QByteArray("01") << 0;
    QTest::newRow("0") << true << QByteArray("0") << 0;
    QTest::newRow("Chinese numeral") << true << QByteArray("一") << 0;
    QTest::newRow("a name still counts") << true << kBlue.toUtf8() << 2;
    QTest::newRow("rule off: 1 is no vote") << false << QByteArray("1") << 0;
}

void TestEndToEnd::voteByNumber()
{
    QFETCH(bool, byNumber);
    QFETCH(QByteArray, line);
    QFETCH(int, team);

    // The line, then a vote for team 1 by name that tells when the line has been handled.
    QTemporaryDir folder;
    const QString path = folder.filePath("room.txt");
    QFile script(path);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(RoomEventWriter::chatEvent("m1", "viewer", line) + "\n");
    script.write(RoomEventWriter::chatEvent("m2", "marker", kRed.toUtf8()) + "\n");
    script.close();
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--script", path}));
    RoomWindow room(simulator.port, VoteType::Text,
                    byNumber ? QStringList {"voteByNumberCheck"} : QStringList {});
    QVERIFY(room.counting());
    const VoteSession &session = room.window->session();
    QCOMPARE(session.rules().voteByNumber, byNumber);
    QVERIFY(find<QLabel>(*room.window, "numberLabel1")->isVisible() == byNumber);

    QVERIFY(TestSupport::waitUntil([&] { return session.team(1).voters.find("marker").has_value(); }, 20000));
    QCOMPARE(session.team(1).votes, qint64(team == 1 ? 2 : 1));
    QCOMPARE(session.team(2).votes, qint64(team == 2 ? 1 : 0));
    QCOMPARE(session.team(3).votes, qint64(0));
    QCOMPARE(room.window->overlayState().rules.voteByNumber, byNumber);
}

QTEST_MAIN(TestEndToEnd)
#include "tst_endToEnd.moc"
