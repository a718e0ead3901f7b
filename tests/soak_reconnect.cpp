// Soak: a thousand link drops and reconnections, with room messages before
// and after every drop; every vote must be counted exactly once. Prints its
// figures. Run by scripts/soak.sh (CTest label "soak").
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "bridge/CIMkiva.h"
#include "bridge/RoomEventWriter.h"
#include "shell/CWndRemind.h"
#include "ui/kivaPlugInVote.h"

#include <QElapsedTimer>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

namespace {

// Polls every millisecond: QTRY's 50 ms steps would dominate a cycle.
template<typename Condition> bool waitFor(Condition condition, int timeoutMs = 10000)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(1);
    }
    return true;
}

} // namespace

class SoakReconnect : public QObject
{
    Q_OBJECT

private slots:
    void dropsAndReconnects();
};

void SoakReconnect::dropsAndReconnects()
{
    using namespace RoomEventWriter;
    const int cycles = qEnvironmentVariableIntValue("KIVA_SOAK_CYCLES") > 0
        ? qEnvironmentVariableIntValue("KIVA_SOAK_CYCLES")
        : 1000;
    constexpr int kBeforeDrop = 3;

    QWebSocketServer host(QStringLiteral("host"), QWebSocketServer::NonSecureMode);
    QVERIFY(host.listen(QHostAddress::LocalHost, 0));
    QPointer<QWebSocket> client;
    int connections = 0;
    int authFrames = 0;
    int otherFrames = 0;
    connect(&host, &QWebSocketServer::newConnection, this, [&] {
        while (QWebSocket *socket = host.nextPendingConnection()) {
            socket->setParent(&host);
            connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QWebSocket::textMessageReceived, this,
                    [&, socket](const QString &text) {
                        if (text == QString::fromUtf8(RoomProtocol::kAuthText)) {
                            ++authFrames;
                            client = socket;
                        } else {
                            ++otherFrames;
                        }
                    });
            ++connections;
        }
    });

    ModalWatcher watcher([](QWidget *modal) {
        if (auto *card = qobject_cast<CWndRemind *>(modal))
            card->reject();
    });

    BridgeOptions bridge;
    bridge.address = TestSupport::localAddress(host.serverPort());
    bridge.retryIntervalMs = 5;
    kivaPlugInVote window(nullptr, bridge);
    window.on_team1_changed(QStringLiteral("红队"));
    window.on_team2_changed(QStringLiteral("蓝队"));
    window.on_text_clicked();
    window.on_start_clicked();
    QVERIFY(window.session().isCounting());
    const TeamMap &teams = window.session().teams();

    QElapsedTimer clock;
    clock.start();
    qint64 sent = 0;
    qint64 waitingForLink = 0;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        QElapsedTimer linkClock;
        linkClock.start();
        QVERIFY(
            waitFor([&] { return client && client->state() == QAbstractSocket::ConnectedState; }));
        waitingForLink += linkClock.elapsed();
        QWebSocket *socket = client;
        client = nullptr;

        // Votes for both teams; the message ids keep changing, and every third
        // message carries none, so a message handed over twice would count twice.
        for (int i = 0; i < kBeforeDrop; ++i) {
            const QByteArray id = i == 2
                ? QByteArray()
                : "c" + QByteArray::number(cycle) + "-" + QByteArray::number(i);
            const QByteArray team =
                (cycle + i) % 2 ? QStringLiteral("蓝队").toUtf8() : QStringLiteral("红队").toUtf8();
            socket->sendTextMessage(
                QString::fromUtf8(chatEvent(id, "v" + QByteArray::number(cycle % 50), team)));
            ++sent;
        }
        if (cycle % 2) {
            // Closed right after sending: the frames go out before the close.
            socket->close();
        } else {
            // Cut off without a closing handshake once the votes are in.
            QVERIFY(waitFor([&] { return teams.at(1).votes + teams.at(2).votes == sent; }));
            socket->abort();
        }
    }
    // Messages after the last drop.
    QTRY_VERIFY_WITH_TIMEOUT(client && client->state() == QAbstractSocket::ConnectedState, 10000);
    for (int i = 0; i < 10; ++i, ++sent)
        client->sendTextMessage(
            QString::fromUtf8(chatEvent("after" + QByteArray::number(i), "last", "红队")));

    QTRY_COMPARE_WITH_TIMEOUT(teams.at(1).votes + teams.at(2).votes, sent, 10000);
    QTest::qWait(300);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(teams.at(1).votes + teams.at(2).votes, sent);
    qint64 tallied = 0;
    for (int index : {1, 2})
        for (const VoterRanking::Entry &entry : teams.at(index).voters)
            tallied += entry.votes;
    QCOMPARE(tallied, sent);
    QCOMPARE(teams.at(2).votes, qint64(cycles * kBeforeDrop / 2));
    // With so short a retry interval a slow handshake may be overtaken by the
    // next attempt, so there can be more connections than drops; what counts
    // is that every vote arrived once and the plug-in sent only its auth text.
    QVERIFY(connections >= cycles + 1);
    QVERIFY(authFrames >= cycles + 1 && authFrames <= connections);
    QCOMPARE(otherFrames, 0);

    qInfo("soak: %d drop/reconnect cycles, %lld votes sent and counted once, %lld link attempts, "
          "%d connections, %lld ms in all, %.1f ms per cycle, %.1f ms average wait for the link "
          "to return",
          cycles, sent, qint64(window.roomClient()->attempts()), connections, elapsed,
          double(elapsed) / cycles, double(waitingForLink) / cycles);
}

QTEST_MAIN(SoakReconnect)
#include "soak_reconnect.moc"
