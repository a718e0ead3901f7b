// What only the Windows program does, checked under Wine with the real
// programs: the data folder under %APPDATA% (not Qt's AppData\Local), the
// link and the results page on 127.0.0.1, the journal synced with _commit
// and whole after taskkill /F, the records folder's lock across processes,
// Chinese names in paths and on command lines, and Chinese text drawn by the
// fonts the system has (the windows platform plugin, not offscreen).
#include "PlatformApiServer.h"
#include "TestSupport.h"

#include "overlay/OverlayState.h"
#include "platform/Platform.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "ui/kivaPlugInVote.h"

#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QGlyphRun>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>

#include <memory>

namespace {

// The pilot counting the simulator's crowd by chat for two teams.
bool startPilot(PilotProcess &pilot, quint16 roomPort, const QStringList &more)
{
    return pilot.start(roomPort,
                       QStringList {"--teams", QStringLiteral("红队,蓝队"), "--text"} << more);
}

QByteArray records(const QStringList &arguments, int *status)
{
    return runProgram(qEnvironmentVariable("KIVA_RECORDS"), arguments, status);
}

QByteArray get(const QString &url)
{
    QNetworkAccessManager network;
    QNetworkReply *reply = network.get(QNetworkRequest(QUrl(url)));
    TestSupport::waitUntil([reply] { return reply->isFinished(); }, 10000);
    const QByteArray body =
        reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    delete reply;
    return body;
}

// The characters of `text` that `font` (with the fallbacks the system
// offers) draws as the missing-glyph box.
QString undrawn(const QFont &font, const QString &text)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QString missing;
    for (const QGlyphRun &run : layout.glyphRuns()) {
        const QVector<quint32> glyphs = run.glyphIndexes();
        for (int i = 0; i < glyphs.size(); ++i) {
            if (glyphs.at(i) == 0)
                missing += QStringLiteral("%1 (%2) ").arg(text).arg(run.rawFont().familyName());
        }
    }
    return missing;
}

} // namespace

class TestWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase() { api.reset(); }
    void theProgramKeepsItsDataUnderAppData();
    void killedVoteKeepsItsJournalAndLock();
    void syncReachesTheFile();
    void chineseTextIsDrawn();

private:
    std::unique_ptr<PlatformApiServer> api;
};

void TestWindows::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("KIVA_ROOM_SIM") || qEnvironmentVariableIsEmpty("KIVA_PILOT")
        || qEnvironmentVariableIsEmpty("KIVA_RECORDS"))
        QSKIP("KIVA_ROOM_SIM, KIVA_PILOT or KIVA_RECORDS is not set; run through CTest");
    // The gift list and pictures for the pilots, after the simulator's login.
    api = std::make_unique<PlatformApiServer>();
    QVERIFY(api->start());
    qputenv("KIVA_API_BASE", api->baseUrl());
}

void TestWindows::theProgramKeepsItsDataUnderAppData()
{
    // Windows sets %APPDATA% to the user's roaming folder; Qt's data
    // location is the local one, which must not be used.
    const QString roaming = QDir::toNativeSeparators(qEnvironmentVariable("APPDATA"));
    QVERIFY(!roaming.isEmpty());
    QCOMPARE(Platform::appDataFolder(), roaming);
    QVERIFY(QDir::toNativeSeparators(
                QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
            != roaming);
    const QString votes = roaming + QStringLiteral("\\kiva\\votes");
    const QString pictures = roaming + QStringLiteral("\\kiva\\head");
    const QStringList before = VoteRecordFolder::ids(votes);

    // The pilot as a streamer's run: no data folder of its own.
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--crowd", "--rate", "200", "--teams",
                             QStringLiteral("红队,蓝队"), "--mix", "100,0,0", "--seed", "5"}));
    PilotProcess pilot;
    QVERIFY2(startPilot(pilot, simulator.port, {"--quit-after-ms", "15000"}),
             pilot.output.constData());

    // The link brings votes in; the results page shows them, both on 127.0.0.1.
    const QString page = QStringLiteral("http://127.0.0.1:%1/overlay").arg(pilot.overlayPort);
    QVERIFY(get(page).contains("<html"));
    OverlayState state;
    QVERIFY(TestSupport::waitUntil(
        [&] {
            return overlayStateFromJson(get(page + QStringLiteral("/state")), &state)
                && state.teams.size() == 2 && state.teams.at(1).name == QStringLiteral("蓝队")
                && state.teams.at(0).votes > 0;
        },
        10000));
    QVERIFY(pilot.process.waitForFinished(60000));
    QCOMPARE(pilot.process.exitCode(), 0);

    QStringList added = VoteRecordFolder::ids(votes);
    for (const QString &id : before)
        added.removeAll(id);
    QCOMPARE(added.size(), 1);
    RecordedVote read;
    QVERIFY(VoteRecordReader::read(VoteRecordFolder::journalPath(votes, added.first()), read));
    QVERIFY(read.cleanEnd);
    QVERIFY(read.teams.at(1).votes + read.teams.at(2).votes > 0);
    QVERIFY2(!QDir(pictures).entryList({QStringLiteral("*.png")}, QDir::Files).isEmpty(),
             qPrintable(pictures));
}

void TestWindows::killedVoteKeepsItsJournalAndLock()
{
    QTemporaryDir base;
    const QString data = base.filePath(QStringLiteral("主播 数据"));
    QVERIFY(QDir().mkpath(data));
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--crowd", "--rate", "2000", "--viewers", "300", "--teams",
                             QStringLiteral("红队,蓝队"), "--mix", "100,0,0", "--seed", "9"}));
    PilotProcess pilot;
    QVERIFY2(startPilot(pilot, simulator.port, {"--data-dir", data}), pilot.output.constData());
    const QString votes = Platform::voteRecordsFolder(QDir::toNativeSeparators(data));
    const QStringList ids = VoteRecordFolder::ids(votes);
    QCOMPARE(ids.size(), 1);
    const QString journal = VoteRecordFolder::journalPath(votes, ids.first());

    // While the pilot writes, its lock keeps the record from everyone else.
    int status = -1;
    QVERIFY(TestSupport::waitUntil([&] { return QFile(journal).size() > 4096; }, 20000));
    QVERIFY(records({"--data-dir", data, "list"}, &status).contains("\topen\t"));
    QCOMPARE(status, 0);
    QVERIFY(VoteRecordFolder::inUse(votes, ids.first()));

    // Ended as Task Manager ends a process: nothing of what it handed over is lost.
    QProcess taskkill;
    taskkill.start(QStringLiteral("taskkill"),
                   {"/F", "/PID", QString::number(pilot.process.processId())});
    QVERIFY(taskkill.waitForFinished(20000));
    QCOMPARE(taskkill.exitCode(), 0);
    QVERIFY(pilot.process.waitForFinished(10000));

    RecordedVote read;
    QVERIFY(VoteRecordReader::read(journal, read));
    QVERIFY(!read.cleanEnd);
    QVERIFY(read.teams.at(1).votes + read.teams.at(2).votes > 0);
    QVERIFY(!VoteRecordFolder::inUse(votes, ids.first()));
    const QByteArray listed = records({"--data-dir", data, "list"}, &status);
    QCOMPARE(status, 0);
    QVERIFY2(listed.contains("\tunclean\t") && listed.contains("红队="), listed.constData());

    // Exported under a Chinese name, in a folder with one.
    const QString csv = QDir(data).filePath(QStringLiteral("投票 结果.csv"));
    records({"--data-dir", data, "export", ids.first(), "--csv", csv}, &status);
    QCOMPARE(status, 0);
    QFile exported(csv);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    QVERIFY(exported.readAll().contains("红队"));
}

void TestWindows::syncReachesTheFile()
{
    // The journal's worker syncs through the C runtime's descriptor of a
    // file Qt opened (QFile::handle()), which Windows has only on request.
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("记录.jsonl")));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered));
    QCOMPARE(file.write("{\"v\":1}\n"), qint64(8));
    QVERIFY(file.handle() >= 0);
    QVERIFY(Platform::syncFile(file.handle()));
}

void TestWindows::chineseTextIsDrawn()
{
    QTemporaryDir folder;
    kivaPlugInVote window(nullptr, BridgeOptions::off(), -1, folder.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QString missing;
    int chinese = 0;
    const auto check = [&](const QWidget *widget, const QString &text) {
        if (!widget->isVisible() || !text.contains(QRegularExpression(QStringLiteral("\\p{Han}"))))
            return;
        ++chinese;
        missing += undrawn(widget->font(), text);
    };
    for (const QLabel *label : window.findChildren<QLabel *>())
        check(label, label->text());
    for (const QAbstractButton *button : window.findChildren<QAbstractButton *>())
        check(button, button->text());
    QVERIFY(chinese >= 5);
    QVERIFY2(missing.isEmpty(), qPrintable(missing));
}

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
