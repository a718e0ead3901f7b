// The crowd in-process against a client that stops reading: however fast it
// is asked to send, the simulator's queue for that client stops at the
// high-water mark, and once the client reads again everything sent arrives;
// what is queued for a client that leaves is counted as undelivered.
#include "CrowdDriver.h"
#include "RoomSimulator.h"
#include "TestSupport.h"

#include "bridge/RoomProtocol.h"

#include <QTest>
#include <QThread>
#include <QWebSocket>

#include <atomic>
#include <memory>

namespace {

// A client on a thread of its own, so it can stop reading while the
// simulator, on the test's thread, goes on sending.
class StallingClient
{
public:
    explicit StallingClient(quint16 port)
    {
        thread.start();
        context.moveToThread(&thread);
        QMetaObject::invokeMethod(&context, [this, port] {
            socket = std::make_unique<QWebSocket>();
            QObject::connect(socket.get(), &QWebSocket::connected, socket.get(), [this] {
                socket->sendTextMessage(QString::fromUtf8(RoomProtocol::kAuthText));
            });
            QObject::connect(socket.get(), &QWebSocket::textMessageReceived, socket.get(),
                             [this](const QString &) { ++frames; });
            socket->open(QUrl(TestSupport::localAddress(port)));
        });
    }
    ~StallingClient()
    {
        reading = true;
        QMetaObject::invokeMethod(
            &context, [this] { socket.reset(); }, Qt::BlockingQueuedConnection);
        thread.quit();
        thread.wait();
    }

    // The client's thread stands still until `reading` is set again, or
    // until leave() ends its link without reading on.
    void stall()
    {
        reading = false;
        QMetaObject::invokeMethod(&context, [this] {
            while (!reading && !leaving)
                QThread::msleep(2);
            if (leaving)
                socket->abort();
        });
    }
    void leave() { leaving = true; }

    std::atomic<qint64> frames {0};
    std::atomic<bool> reading {true};
    std::atomic<bool> leaving {false};

private:
    QThread thread;
    QObject context;
    std::unique_ptr<QWebSocket> socket;
};

} // namespace

class TestCrowdDriver : public QObject
{
    Q_OBJECT

private slots:
    void queueStopsAtHighWater_data();
    void queueStopsAtHighWater();
    void queuedForAClientThatLeavesIsUndelivered();
};

void TestCrowdDriver::queueStopsAtHighWater_data()
{
    QTest::addColumn<double>("rate"); // 0: flat out

    QTest::newRow("flat out") << 0.0;
    QTest::newRow("a rate no tick keeps up with") << 1e6;
}

void TestCrowdDriver::queueStopsAtHighWater()
{
    QFETCH(double, rate);

    CrowdGenerator::Options crowd;
    crowd.repeatPercent = 10;
    RoomSimulator simulator(RoomSimulator::AuthReply(), SendSummary(crowd.teams, crowd.gifts));
    QVERIFY(simulator.listen(0));
    StallingClient client(simulator.port());
    QVERIFY(TestSupport::waitUntil([&] { return simulator.hasAudience(); }));

    CrowdDriver driver(simulator, crowd);
    driver.setFlatOut(rate == 0);
    if (rate > 0)
        driver.setRate(rate);
    client.stall();
    driver.setRunning(true);
    // Until the queue reaches the mark, and a while on: the crowd must wait there.
    qint64 peak = 0;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this,
            [&] { peak = std::max(peak, simulator.pendingBytes()); });
    sampler.start(1);
    QVERIFY2(TestSupport::waitUntil(
                 [&] { return simulator.pendingBytes() >= CrowdDriver::kHighWaterBytes; }, 60000),
             qPrintable(QString::number(simulator.pendingBytes())));
    QTest::qWait(300);
    driver.setRunning(false);
    sampler.stop();
    // One message (twice, when repeated) may pass the mark before the crowd waits.
    QVERIFY2(peak < CrowdDriver::kHighWaterBytes + 4096, qPrintable(QString::number(peak)));

    client.reading = true;
    const qint64 sent = simulator.summary().sent() + simulator.summary().repeats();
    QVERIFY(sent > 0);
    // The authentication result, then every frame sent.
    QVERIFY2(TestSupport::waitUntil([&] { return client.frames == sent + 1; }, 60000),
             qPrintable(QStringLiteral("%1 of %2").arg(client.frames.load()).arg(sent + 1)));
}

void TestCrowdDriver::queuedForAClientThatLeavesIsUndelivered()
{
    // What the simulator still held for a client that went away never
    // reached it: what was written leaves it out, and counts it as undelivered.
    CrowdGenerator::Options crowd;
    RoomSimulator simulator(RoomSimulator::AuthReply(), SendSummary(crowd.teams, crowd.gifts));
    QVERIFY(simulator.listen(0));
    StallingClient client(simulator.port());
    QVERIFY(TestSupport::waitUntil([&] { return simulator.hasAudience(); }));
    CrowdDriver driver(simulator, crowd);
    driver.setFlatOut(true);
    client.stall();
    driver.setRunning(true);
    QVERIFY(TestSupport::waitUntil(
        [&] { return simulator.pendingBytes() >= CrowdDriver::kHighWaterBytes; }, 60000));
    driver.setRunning(false);
    client.leave();
    QVERIFY(TestSupport::waitUntil([&] { return simulator.isSettled(); }, 30000));

    const SendSummary &written = simulator.delivered();
    QVERIFY(written.undelivered() > 0);
    QCOMPARE(written.sent() + written.undelivered(), simulator.summary().sent());
    // The client got no more than was written (the authentication result, then frames).
    QVERIFY(client.frames <= written.sent() + written.repeats() + 1);
}

QTEST_MAIN(TestCrowdDriver)
#include "tst_crowdDriver.moc"
