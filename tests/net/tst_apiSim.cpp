// The simulated platform API that the demo and the window tests rely on,
// read through the plug-in's own fetch, URLs and list parsing.
#include "PlatformApiServer.h"
#include "catalogue/ApiUrls.h"
#include "catalogue/GiftList.h"
#include "catalogue/HttpFetch.h"

#include "TestSupport.h"

#include <QImage>
#include <QProcess>
#include <QTest>

Q_DECLARE_METATYPE(PlatformApiServer::ListMode)

namespace {

const LoginIds kLogin {"31337", "8080", "token"};

QByteArray fetch(const QByteArray &url, long &status)
{
    QByteArray body;
    status = 0;
    http_get(body, url.toStdString(), status);
    return body;
}

} // namespace

class TestApiSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { httpGlobalInit(); }
    void listModes_data();
    void listModes();
    void programServesAndPrintsReports();
};

void TestApiSim::listModes_data()
{
    QTest::addColumn<PlatformApiServer::ListMode>("mode");
    QTest::addColumn<long>("status");
    QTest::addColumn<int>("gifts"); // -1: the list does not parse

    QTest::newRow("ok") << PlatformApiServer::ListMode::Ok << 200L << 14;
    QTest::newRow("500") << PlatformApiServer::ListMode::ServerError << 0L << -1;
    QTest::newRow("not JSON") << PlatformApiServer::ListMode::NotJson << 200L << -1;
    QTest::newRow("ec 1") << PlatformApiServer::ListMode::Ec1 << 200L << -1;
    QTest::newRow("slower than 3 s") << PlatformApiServer::ListMode::Slow << 0L << -1;
}

void TestApiSim::listModes()
{
    QFETCH(PlatformApiServer::ListMode, mode);
    QFETCH(long, status);
    QFETCH(int, gifts);

    PlatformApiServer api;
    QVERIFY(api.start());
    api.setListMode(mode);
    qputenv("KIVA_API_BASE", api.baseUrl());
    long got = 0;
    QList<GiftListEntry> entries;
    QCOMPARE(parseGiftList(fetch(giftListUrl(kLogin), got), entries) ? int(entries.size()) : -1,
             gifts);
    QCOMPARE(got, status);
    if (gifts < 0)
        return;

    // The plug-in's default gifts come first, each with an image of its own.
    const QList<QByteArray> defaults {"1450928358", "1477978817", "1522229009540", "1551153124818"};
    QByteArray previous;
    for (int i = 0; i < defaults.size(); ++i) {
        QCOMPARE(entries.at(i).productId, defaults.at(i));
        QCOMPARE(entries.at(i).imageUrl, api.baseUrl() + "/img/" + defaults.at(i) + ".png");
        const QByteArray png = fetch(entries.at(i).imageUrl, got);
        QCOMPARE(QImage::fromData(png, "PNG").size(), QSize(150, 150));
        QVERIFY(png != previous);
        previous = png;
    }
    api.setImageMode(PlatformApiServer::ImageMode::NotFound);
    fetch(entries.at(0).imageUrl, got);
    QCOMPARE(got, 0L);
}

void TestApiSim::programServesAndPrintsReports()
{
    const QString program = qEnvironmentVariable("KIVA_API_SIM");
    if (program.isEmpty())
        QSKIP("KIVA_API_SIM names no program (run through CTest)");
    QProcess sim;
    sim.start(program,
              {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--mode"),
               QStringLiteral("ec1")});
    QByteArray out;
    auto printed = [&](const QByteArray &text) {
        return TestSupport::waitUntil(
            [&] { return (out += sim.readAllStandardOutput().replace("\r\n", "\n")).contains(text); }, 15000);
    };
    QVERIFY(printed("\n"));
    QVERIFY2(out.startsWith("listening "), out.constData());
    qputenv("KIVA_API_BASE", "http://127.0.0.1:" + out.mid(10).trimmed());

    long status = 0;
    QList<GiftListEntry> entries;
    QVERIFY(!parseGiftList(fetch(giftListUrl(kLogin), status), entries));
    QCOMPARE(status, 200L);
    fetch(reportUrl("7", kLogin), status);
    QCOMPARE(status, 200L);
    QVERIFY(printed("report button=7 kiva_id=31337 room_id=8080 sessionid=token\n"));
    sim.kill();
    sim.waitForFinished(10000);
}

QTEST_GUILESS_MAIN(TestApiSim)
#include "tst_apiSim.moc"
