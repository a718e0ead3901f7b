// Usage reports from their own thread, against the simulated platform API:
// the order they were asked for, no wait for the caller, a prompt end.
#include "PlatformApiServer.h"
#include "catalogue/ApiUrls.h"
#include "catalogue/HttpFetch.h"
#include "report/ReportSender.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

// The report URL of `button` for a fixed login, on the simulator.
QByteArray reportOn(const PlatformApiServer &api, const QByteArray &button)
{
    qputenv("KIVA_API_BASE", api.baseUrl());
    return reportUrl(button, LoginIds {"31337", "8080", "token"});
}

QList<QByteArray> buttons(const QList<ApiReport> &reports)
{
    QList<QByteArray> result;
    for (const ApiReport &report : reports)
        result << report.params.value("button");
    return result;
}

} // namespace

class TestReportSender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keepsTheOrderAsked();
    void sendReturnsAtOnceWhileTheServerIsSlow();
    void destructionDropsPendingReportsPromptly();
    void waitingReportsAreBounded();
};

void TestReportSender::initTestCase()
{
    httpGlobalInit();
}

void TestReportSender::keepsTheOrderAsked()
{
    PlatformApiServer api;
    QVERIFY(api.start());
    std::mutex lock;
    QList<long> statuses;
    ReportSender sender([&](const QByteArray &, long status) {
        std::lock_guard<std::mutex> guard(lock);
        statuses << status;
    });

    QList<QByteArray> asked;
    for (int button = 1; button <= 13; ++button) {
        asked << QByteArray::number(button);
        sender.send(reportOn(api, asked.last()));
    }
    QVERIFY(sender.waitUntilIdle(60000));

    QCOMPARE(buttons(api.reports()), asked);
    const ApiReport first = api.reports().first();
    QCOMPARE(first.params.value("action_name"), QByteArray("live_obs_interactive_gameplay"));
    QCOMPARE(first.params.value("kiva_id"), QByteArray("31337"));
    QCOMPARE(first.params.value("room_id"), QByteArray("8080"));
    QCOMPARE(first.params.value("sessionid"), QByteArray("token"));
    std::lock_guard<std::mutex> guard(lock);
    QCOMPARE(statuses.size(), 13);
    QCOMPARE(statuses.count(200L), 13);
}

void TestReportSender::sendReturnsAtOnceWhileTheServerIsSlow()
{
    PlatformApiServer api;
    api.setSlowReports(true);
    api.setDelayMs(2000);
    QVERIFY(api.start());
    std::atomic<int> finished {0};
    std::atomic<long> lastStatus {-1};
    ReportSender sender([&](const QByteArray &, long status) {
        lastStatus = status;
        ++finished;
    });

    QElapsedTimer clock;
    clock.start();
    sender.send(reportOn(api, "1"));
    sender.send(reportOn(api, "2"));
    // Two answers of 2 s each are under way; the caller must not wait for them.
    QVERIFY2(clock.elapsed() < 1000, QByteArray::number(clock.elapsed()));
    QCOMPARE(finished.load(), 0);

    QVERIFY(sender.waitUntilIdle(20000));
    QCOMPARE(finished.load(), 2);
    QCOMPARE(lastStatus.load(), 200L);
    QCOMPARE(buttons(api.reports()), (QList<QByteArray> {"1", "2"}));
    // One after the other: the second arrived only once the first was answered.
    const QList<ApiReport> reports = api.reports();
    QVERIFY(reports.at(1).receivedMs - reports.at(0).receivedMs >= 1900);
}

void TestReportSender::destructionDropsPendingReportsPromptly()
{
    PlatformApiServer api;
    api.setSlowReports(true);
    api.setDelayMs(2000);
    QVERIFY(api.start());

    auto sender = std::make_unique<ReportSender>();
    for (int button = 1; button <= 5; ++button)
        sender->send(reportOn(api, QByteArray::number(button)));
    QVERIFY(TestSupport::waitUntil([&] { return api.reports().size() == 1; }, 10000));

    // Four more would take 8 s; only the one under way may be waited for.
    QElapsedTimer clock;
    clock.start();
    sender.reset();
    QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()));
    QCOMPARE(buttons(api.reports()), (QList<QByteArray> {"1"}));
}

// A platform that stops answering while presses keep coming: the reports
// waiting are bounded, and the one over the bound is dropped.
void TestReportSender::waitingReportsAreBounded()
{
    PlatformApiServer api;
    api.setSlowReports(true);
    api.setDelayMs(2000);
    QVERIFY(api.start());

    ReportSender sender;
    QVERIFY(sender.send(reportOn(api, "0")));
    QVERIFY(TestSupport::waitUntil([&] { return api.reports().size() == 1; }, 10000));
    const QByteArray url = reportOn(api, "1");
    for (std::size_t i = 0; i < ReportSender::kMaxWaiting; ++i)
        QVERIFY(sender.send(url));
    QTest::ignoreMessage(QtWarningMsg, "Usage reports dropped: 1000 wait for the platform");
    QVERIFY(!sender.send(url));
    QVERIFY(!sender.send(url)); // still full
}

QTEST_GUILESS_MAIN(TestReportSender)
#include "tst_reportSender.moc"
