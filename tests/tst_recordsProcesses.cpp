// Vote records with real processes: the pilot counts a flood from the room
// simulator and is killed with SIGKILL at a random moment; its journal then
// holds at least what the results page had published, and adds up. Then
// kiva-records reads the records back.
#include "PlatformApiServer.h"
#include "TestSupport.h"

#include "overlay/OverlayState.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <signal.h>
#endif
#include <memory>

namespace {

// The pilot with its records in `dataDir`, set up for a vote and counting.
bool startPilot(PilotProcess &pilot, quint16 roomPort, const QString &dataDir, bool text,
                int quitAfterMs)
{
    QStringList arguments = {"--data-dir",      dataDir,
                             "--teams",         QStringLiteral("红队,蓝队"),
                             "--question",      QStringLiteral("谁赢？"),
                             "--quit-after-ms", QString::number(quitAfterMs)};
    if (text)
        arguments << "--text";
    return pilot.start(roomPort, arguments);
}

// The journal's lines summed by a plain JSON parser of their own.
QMap<int, qint64> retallied(const QString &journal, QMap<QString, qint64> *voters)
{
    QMap<int, qint64> totals;
    QFile file(journal);
    file.open(QIODevice::ReadOnly);
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        const QString kind = event.value("kind").toString();
        const int team = event.value("team").toInt();
        if (kind == "clear_totals")
            totals.clear();
        if (!event.contains("votes"))
            continue;
        totals[team] += qint64(event.value("votes").toDouble());
        if (event.contains("viewer"))
            (*voters)[QString::number(team) + '|' + event.value("viewer").toString()] +=
                qint64(event.value("votes").toDouble());
    }
    return totals;
}

QString theJournal(const QString &dataDir)
{
    const QString folder = QDir(dataDir).filePath("kiva/votes");
    const QStringList ids = VoteRecordFolder::ids(folder);
    return ids.size() == 1 ? VoteRecordFolder::journalPath(folder, ids.first()) : QString();
}

QByteArray run(const QStringList &arguments, int *status, QByteArray *errors = nullptr)
{
    return runProgram(qEnvironmentVariable("KIVA_RECORDS"), arguments, status, errors);
}

} // namespace

class TestRecordsProcesses : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { api.reset(); }
    void killedPilotLosesNothingShown_data();
    void killedPilotLosesNothingShown();
    void recordsToolReadsTheRecords();
    void stoppedPilotEndsTheRecordCleanly_data();
    void stoppedPilotEndsTheRecordCleanly();

private:
    // The platform's API for the pilots: with the gift list loaded, no card
    // about a failed one holds the pilot's event loop.
    std::unique_ptr<PlatformApiServer> api;
};

void TestRecordsProcesses::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("KIVA_ROOM_SIM") || qEnvironmentVariableIsEmpty("KIVA_PILOT")
        || qEnvironmentVariableIsEmpty("KIVA_RECORDS"))
        QSKIP("KIVA_ROOM_SIM, KIVA_PILOT or KIVA_RECORDS is not set; run through CTest");
    api = std::make_unique<PlatformApiServer>();
    QVERIFY(api->start());
    qputenv("KIVA_API_BASE", api->baseUrl());
}

void TestRecordsProcesses::killedPilotLosesNothingShown_data()
{
    QTest::addColumn<bool>("text");
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 4; ++seed)
        QTest::addRow("%s, run %u", seed % 2 ? "chat" : "gifts", seed) << bool(seed % 2) << seed;
}

void TestRecordsProcesses::killedPilotLosesNothingShown()
{
    QFETCH(bool, text);
    QFETCH(quint32, seed);

    SimProcess simulator;
    QVERIFY(
        simulator.start({"--quiet", "--crowd", "--rate", "4000", "--viewers", "800", "--teams",
                         QStringLiteral("红队,蓝队"), "--gifts", "1450928358,1477978817,999",
                         "--mix", "45,30,25", "--repeat", "5", "--seed", QString::number(seed)}));
    QTemporaryDir data;
    PilotProcess pilot;
    QVERIFY(startPilot(pilot, simulator.port, data.path(), text, 0));

    // Read the page's state over and over; kill at a random moment while the
    // flood goes on. Only a state whose answer came whole before the kill counts.
    QNetworkAccessManager network;
    const QUrl stateUrl(QStringLiteral("http://127.0.0.1:%1/overlay/state").arg(pilot.overlayPort));
    OverlayState published;
    int answers = 0;
    QPointer<QNetworkReply> pending;
    const auto ask = [&] {
        pending = network.get(QNetworkRequest(stateUrl));
        QObject::connect(pending, &QNetworkReply::finished, pending.data(), [&, reply = pending] {
            OverlayState state;
            if (reply->error() == QNetworkReply::NoError
                && overlayStateFromJson(reply->readAll(), &state)) {
                published = state;
                ++answers;
            }
            reply->deleteLater();
        });
    };
    QVERIFY(TestSupport::waitUntil(
        [&] {
            if (!pending)
                ask();
            return !published.teams.isEmpty()
                && published.teams.at(0).votes + published.teams.at(1).votes > 0;
        },
        60000));
    const int killAfterMs = 200 + int(QRandomGenerator::global()->bounded(1300));
    QElapsedTimer clock;
    clock.start();
    // At the moment drawn, and with a page read since the first one: on a
    // loaded machine a read can take longer than the shortest draw.
    const int answersBefore = answers;
    TestSupport::waitUntil(
        [&] {
            if (!pending)
                ask();
            return clock.elapsed() >= killAfterMs && answers > answersBefore;
        },
        60000);
    pilot.process.kill();
    const OverlayState shown = published;
    if (pending)
        pending->abort();
    QVERIFY(pilot.process.waitForFinished(10000));
    QCOMPARE(pilot.process.exitStatus(), QProcess::CrashExit);
    QVERIFY(answers > 1);

    const QString journal = theJournal(data.path());
    QVERIFY(!journal.isEmpty());
    RecordedVote read;
    QVERIFY(VoteRecordReader::read(journal, read));
    QMap<QString, qint64> voters;
    const QMap<int, qint64> totals = retallied(journal, &voters);
    for (int index = 1; index <= 2; ++index) {
        const qint64 recorded = read.teams.at(index).votes;
        QVERIFY2(recorded >= shown.teams.at(index - 1).votes,
                 qPrintable(QStringLiteral("team %1: %2 recorded, %3 shown")
                                .arg(index)
                                .arg(recorded)
                                .arg(shown.teams.at(index - 1).votes)));
        QCOMPARE(recorded, totals.value(index));
        for (const VoterRanking::Entry &entry : read.teams.at(index).voters)
            QCOMPARE(entry.votes,
                     voters.value(QString::number(index) + '|' + QString::fromUtf8(entry.nick)));
    }
    QVERIFY(!read.cleanEnd);
    qInfo("killed after %d ms: shown %lld + %lld, recorded %lld + %lld in %lld lines", killAfterMs,
          shown.teams.at(0).votes, shown.teams.at(1).votes, read.teams.at(1).votes,
          read.teams.at(2).votes, read.lines);

    // A power cut mid-line: the line is skipped and counted, nothing else changes.
    QFile file(journal);
    QVERIFY(file.open(QIODevice::Append));
    file.write("{\"v\":1,\"time\":\"2024-05-01T20:15:03.1");
    file.close();
    RecordedVote torn;
    QVERIFY(VoteRecordReader::read(journal, torn));
    QCOMPARE(torn.tornLines, read.tornLines + 1);
    QCOMPARE(torn.teams.at(1).votes, read.teams.at(1).votes);
    QCOMPARE(torn.teams.at(2).votes, read.teams.at(2).votes);
    // Nobody writes it any more: the next start tells of it.
    QCOMPARE(VoteRecordFolder::takeUncleanNewest(QFileInfo(journal).absolutePath()), read.id);
}

void TestRecordsProcesses::recordsToolReadsTheRecords()
{
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--crowd", "--rate", "2000", "--count", "400", "--teams",
                             QStringLiteral("红队,蓝队"), "--mix", "70,30,0", "--seed", "3"}));
    QTemporaryDir data;
    PilotProcess pilot;
    QVERIFY(startPilot(pilot, simulator.port, data.path(), true, 3000));
    QVERIFY(pilot.process.waitForFinished(60000));
    const QString journal = theJournal(data.path());
    RecordedVote read;
    QVERIFY(VoteRecordReader::read(journal, read));
    QVERIFY(read.cleanEnd);

    int status = -1;
    const QByteArray listed = run({"--data-dir", data.path(), "list"}, &status);
    QCOMPARE(status, 0);
    QCOMPARE(QString::fromUtf8(listed).trimmed().split('\t'),
             QStringList({read.id, QString::fromUtf8(read.started), "clean",
                          QStringLiteral("红队=%1").arg(read.teams.at(1).votes),
                          QStringLiteral("蓝队=%1").arg(read.teams.at(2).votes)}));

    const QJsonObject shown =
        QJsonDocument::fromJson(run({"--data-dir", data.path(), "show", read.id}, &status))
            .object();
    QCOMPARE(status, 0);
    QCOMPARE(shown.value("id").toString(), read.id);
    QCOMPARE(shown.value("question").toString(), QStringLiteral("谁赢？"));

    QTemporaryDir out;
    run({"--data-dir", data.path(), "export", read.id, "--csv", out.filePath("v.csv"), "--json",
         out.filePath("v.json"), "--png", out.filePath("v.png")},
        &status);
    QCOMPARE(status, 0);
    QVERIFY(QFile::exists(out.filePath("v.json")));
    QVERIFY(!QImage(out.filePath("v.png")).isNull());
    QFile csv(out.filePath("v.csv"));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().startsWith("\xEF\xBB\xBFtime,kind,"));

    QByteArray errors;
    run({"--data-dir", data.path(), "show", "20000101-000000-000"}, &status, &errors);
    QCOMPARE(status, 2);
    QVERIFY(errors.contains("no vote 20000101-000000-000"));
}

void TestRecordsProcesses::stoppedPilotEndsTheRecordCleanly_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestRecordsProcesses::stoppedPilotEndsTheRecordCleanly()
{
    // Told to stop by the system while votes come in: it ends as when the
    // window closes, and the next start has no crash to tell of.
#ifdef Q_OS_WIN
    QSKIP("no signals to send on Windows");
#endif
    QFETCH(int, signalNumber);
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--crowd", "--rate", "2000", "--teams",
                             QStringLiteral("红队,蓝队"), "--mix", "70,30,0", "--seed", "5"}));
    QTemporaryDir data;
    PilotProcess pilot;
    QVERIFY(startPilot(pilot, simulator.port, data.path(), true, 0));
    QString journal;
    QVERIFY(TestSupport::waitUntil(
        [&] {
            journal = theJournal(data.path());
            return !journal.isEmpty() && QFileInfo(journal).size() > 4096;
        },
        60000));
#ifdef Q_OS_WIN
    Q_UNUSED(signalNumber);
#else
    QCOMPARE(::kill(pid_t(pilot.process.processId()), signalNumber), 0);
#endif
    QVERIFY(pilot.process.waitForFinished(30000));
    QCOMPARE(pilot.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(pilot.process.exitCode(), 0);
    RecordedVote read;
    QVERIFY(VoteRecordReader::read(journal, read));
    QVERIFY(read.cleanEnd);
    QVERIFY(read.teams.at(1).votes + read.teams.at(2).votes > 0);
    QCOMPARE(VoteRecordFolder::takeUncleanNewest(QFileInfo(journal).absolutePath()), QString());
}

QTEST_GUILESS_MAIN(TestRecordsProcesses)
#include "tst_recordsProcesses.moc"
