// The live-room simulator, run as its own process (KIVA_ROOM_SIM): the
// authentication handshake, sending the crowd and scripts over a real socket,
// link drops, and the summary matching what a client received.
#include "SendSummary.h"
#include "SimFrames.h"
#include "TestSupport.h"

#include "bridge/RoomProtocol.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>
#include <QTimer>
#include <QWebSocket>

#include <functional>

namespace {

// A client as the plug-in is one: authenticates with the first frame and
// keeps every frame; optionally reconnects after the link drops.
class RoomClient : public QObject
{
public:
    explicit RoomClient(QByteArray firstFrame = QByteArray(RoomProtocol::kAuthText),
                        bool binary = false)
        : first(std::move(firstFrame))
        , firstIsBinary(binary)
    {
        clock.start();
        connect(&socket, &QWebSocket::connected, this, [this] {
            linkUp = true;
            if (firstIsBinary)
                socket.sendBinaryMessage(first);
            else
                socket.sendTextMessage(QString::fromUtf8(first));
        });
        connect(&socket, &QWebSocket::textMessageReceived, this, [this](const QString &message) {
            frames.append(message.toUtf8());
            arrivals.append(clock.elapsed());
        });
        connect(&socket, &QWebSocket::disconnected, this, [this] {
            // A failed attempt to reconnect reports a disconnection too; only
            // the end of a link that was up counts as a drop.
            if (linkUp) {
                linkUp = false;
                ++disconnects;
                framesAtDisconnect.append(frames.size());
            }
            if (reconnect && reconnect())
                QTimer::singleShot(50, this, [this] { open(lastPort); });
        });
    }

    // The socket reports its own teardown; the lists it would touch go first.
    ~RoomClient() override { socket.disconnect(this); }

    void open(quint16 port)
    {
        lastPort = port;
        socket.open(QUrl(TestSupport::localAddress(port)));
    }

    bool isUp() const { return socket.state() == QAbstractSocket::ConnectedState; }

    QWebSocket socket;
    QList<QByteArray> frames;
    QList<qint64> arrivals;
    QList<int> framesAtDisconnect;
    int disconnects = 0; // links that were up and ended
    std::function<bool()> reconnect;

private:
    QByteArray first;
    bool firstIsBinary;
    bool linkUp = false;
    quint16 lastPort = 0;
    QElapsedTimer clock;
};

// A command line written as one string; no argument contains a blank.
QStringList args(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

QString text(const QJsonValue &value)
{
    return value.toString();
}

QJsonObject parse(const QByteArray &frame)
{
    return QJsonDocument::fromJson(frame).object();
}

QList<QByteArray> roomEvents(const QList<QByteArray> &frames)
{
    QList<QByteArray> events;
    for (const QByteArray &frame : frames) {
        if (text(parse(frame).value(QStringLiteral("type"))) == QLatin1String("group"))
            events.append(frame);
    }
    return events;
}

using TestSupport::waitUntil;

QString writeScript(QTemporaryFile &file, const QByteArray &content)
{
    if (!file.open())
        return QString();
    file.write(content);
    file.close();
    return file.fileName();
}

} // namespace

class TestRoomSim : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void authReplyCarriesConfiguredIds_data();
    void authReplyCarriesConfiguredIds();
    void wrongFirstFrameIsClosedWithoutEvents_data();
    void wrongFirstFrameIsClosedWithoutEvents();
    void framesAfterAuthAreIgnored();
    void summaryMatchesWhatArrived_data();
    void summaryMatchesWhatArrived();
    void scriptSendsVerbatimAndSleeps();
    void scriptDropClosesTheLink();
    void badCommandLineFails_data();
    void badCommandLineFails();
};

void TestRoomSim::initTestCase()
{
    if (SimProcess::program().isEmpty())
        QSKIP("KIVA_ROOM_SIM is not set; run through ctest");
}

void TestRoomSim::authReplyCarriesConfiguredIds_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("pickPort");
    QTest::addColumn<QString>("kivaid");
    QTest::addColumn<QString>("roomid");
    QTest::addColumn<QString>("token");
    QTest::addColumn<int>("ec");

    QTest::newRow("defaults") << QStringList() << true << QStringLiteral("10001")
                              << QStringLiteral("20002") << QStringLiteral("demo-token") << 0;
    QTest::newRow("configured, port 0")
        << args("--port 0 --kivaid 77 --roomid room-9 --token t0k") << false << QStringLiteral("77")
        << QStringLiteral("room-9") << QStringLiteral("t0k") << 0;
    QTest::newRow("text needing escapes")
        << args(R"(--token 引号"与\反斜杠 --roomid 直播间)") << true << QStringLiteral("10001")
        << QStringLiteral("直播间") << QStringLiteral("引号\"与\\反斜杠") << 0;
    QTest::newRow("failed auth") << args("--auth-ec -5") << true << QStringLiteral("10001")
                                 << QStringLiteral("20002") << QStringLiteral("demo-token") << -5;
}

void TestRoomSim::authReplyCarriesConfiguredIds()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, pickPort);
    QFETCH(QString, kivaid);
    QFETCH(QString, roomid);
    QFETCH(QString, token);
    QFETCH(int, ec);

    SimProcess sim;
    QVERIFY(sim.start(arguments, pickPort));
    RoomClient client;
    client.open(sim.port);
    QVERIFY(waitUntil([&] { return !client.frames.isEmpty(); }, 5000));

    const QJsonObject reply = parse(client.frames.first());
    QCOMPARE(text(reply.value(QStringLiteral("type"))), QStringLiteral("sauth_ret"));
    const QJsonObject data = reply.value(QStringLiteral("data")).toObject();
    QCOMPARE(data.value(QStringLiteral("ec")).toInt(99), ec);
    QCOMPARE(text(data.value(QStringLiteral("kivaid"))), kivaid);
    QCOMPARE(text(data.value(QStringLiteral("roomid"))), roomid);
    QCOMPARE(text(data.value(QStringLiteral("token"))), token);
    QTest::qWait(100);
    QVERIFY(client.isUp());
    QCOMPARE(client.frames.size(), 1);
}

void TestRoomSim::wrongFirstFrameIsClosedWithoutEvents_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<bool>("binary");

    const QByteArray auth(RoomProtocol::kAuthText);
    QTest::newRow("compact spacing") << QByteArray(auth).replace(": ", ":") << false;
    QTest::newRow("other token") << QByteArray(auth).replace("5c7d", "0000") << false;
    QTest::newRow("trailing newline") << auth + '\n' << false;
    QTest::newRow("chat first") << kRedVote << false;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("auth text as binary") << auth << true;
}

void TestRoomSim::wrongFirstFrameIsClosedWithoutEvents()
{
    QFETCH(QByteArray, first);
    QFETCH(bool, binary);

    SimProcess sim;
    QVERIFY(sim.start(args("--crowd --rate 500")));
    RoomClient stranger(first, binary);
    stranger.open(sim.port);
    QVERIFY(waitUntil([&] { return stranger.disconnects > 0; }, 5000));
    QVERIFY(stranger.frames.isEmpty());
    QVERIFY(!sim.waitFor([](const QByteArray &line) { return line.contains("rejected"); }, 5000)
                 .isEmpty());

    // The crowd was there all along, for a client that authenticates.
    RoomClient plugIn;
    plugIn.open(sim.port);
    QVERIFY(waitUntil([&] { return roomEvents(plugIn.frames).size() >= 5; }, 5000));
    QVERIFY(stranger.frames.isEmpty());
}

void TestRoomSim::framesAfterAuthAreIgnored()
{
    SimProcess sim;
    QVERIFY(sim.start(args("--crowd --rate 200 --count 60 --exit-when-done --summary")));
    RoomClient client;
    client.open(sim.port);
    QVERIFY(waitUntil([&] { return !client.frames.isEmpty(); }, 5000));
    client.socket.sendTextMessage(QString::fromUtf8(RoomProtocol::kAuthText));
    client.socket.sendTextMessage(QStringLiteral("hello"));
    client.socket.sendBinaryMessage("\x01\x02");
    QVERIFY(sim.waitForExit(20000));
    QCOMPARE(sim.process.exitCode(), 0);
#ifdef Q_OS_WIN
    // The close resets the connection on Windows (see summaryMatchesWhatArrived),
    // which may take the last frames with it: the flow went on, that is all.
    QVERIFY(!roomEvents(client.frames).isEmpty());
#else
    QCOMPARE(roomEvents(client.frames).size(), 60);
#endif
}

void TestRoomSim::summaryMatchesWhatArrived_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("teams");
    QTest::addColumn<QStringList>("gifts");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("reconnect");
    QTest::addColumn<int>("connectDelayMs");

    const QStringList redBlue = args("红队 蓝队");
    const QStringList twoGifts = args("1450928358 1477978817");
    const QStringList fourGifts = args("1450928358 1477978817 1522229009540 1551153124818");

    QTest::newRow("defaults") << args("--rate 2000") << redBlue << twoGifts << 400 << false << 0;
    QTest::newRow("repeats") << args("--rate 2000 --repeat 25 --seed 9") << redBlue << twoGifts
                             << 400 << false << 0;
    QTest::newRow("gifts only, big buys")
        << args("--rate 2000 --mix 0,0,100 --max-buy 50 "
                "--gifts 1450928358,1477978817,1522229009540,1551153124818")
        << redBlue << fourGifts << 300 << false << 0;
    // The full-width comma separates team names too.
    QTest::newRow("four teams, mostly chatter")
        << args("--rate 2000 --teams 红队，蓝队,绿队,黄队 --mix 30,70,0")
        << args("红队 蓝队 绿队 黄队") << twoGifts << 400 << false << 0;
    QTest::newRow("high rate") << args("--rate 5000 --repeat 5") << redBlue << twoGifts << 5000
                               << false << 0;
    QTest::newRow("link drops") << args("--rate 3000 --drop-every 97 --repeat 10") << redBlue
                                << twoGifts << 600 << true << 0;
    QTest::newRow("client comes late")
        << args("--rate 1000") << redBlue << twoGifts << 100 << false << 700;
}

void TestRoomSim::summaryMatchesWhatArrived()
{
#ifdef Q_OS_WIN
    // Qt's WebSocket closes the connection right after its close frame; with
    // the client's own bytes still unread there, Windows resets it, and the
    // reset discards the last frames waiting in the client's queue. The
    // simulator is a tool run as the Linux program; these count its frames.
    QSKIP("a close with unread bytes resets the connection on Windows");
#endif
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, teams);
    QFETCH(QStringList, gifts);
    QFETCH(int, count);
    QFETCH(bool, reconnect);
    QFETCH(int, connectDelayMs);

    SimProcess sim;
    QVERIFY(sim.start(arguments + args("--crowd --summary --exit-when-done --quiet --count")
                      + QStringList {QString::number(count)}));
    RoomClient client;
    if (reconnect)
        client.reconnect = [&sim] { return sim.process.state() == QProcess::Running; };
    QTest::qWait(connectDelayMs);
    client.open(sim.port);

    const QJsonObject summary = sim.summary();
    QVERIFY(sim.waitForExit(60000));
    QCOMPARE(sim.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.process.exitCode(), 0);
    QVERIFY(waitUntil([&] { return !client.isUp(); }, 5000));
    QVERIFY(!summary.isEmpty());

    // What the client received, tallied as the simulator tallies what it sent.
    QByteArrayList giftIds;
    for (const QString &id : gifts)
        giftIds.append(id.toUtf8());
    SendSummary arrived(teams, giftIds);
    QList<QByteArray> msgIds;
    for (const QByteArray &frame : roomEvents(client.frames)) {
        if (arrived.record(frame) == SendSummary::Outcome::Counted)
            msgIds.append(text(parse(frame)
                                   .value(QStringLiteral("groups"))
                                   .toObject()
                                   .value(QStringLiteral("msgid")))
                              .toUtf8());
    }
    QCOMPARE(arrived.sent(), qint64(count));
    QCOMPARE(QJsonDocument(summary).toJson(QJsonDocument::Compact), arrived.toJson());

    // Ids run m1, m2, … with nothing lost or sent twice across pauses and drops.
    for (int i = 0; i < msgIds.size(); ++i)
        QCOMPARE(msgIds.at(i), "m" + QByteArray::number(i + 1));
    if (reconnect)
        QCOMPARE(client.disconnects, count / 97 + 1);
}

void TestRoomSim::scriptSendsVerbatimAndSleeps()
{
#ifdef Q_OS_WIN
    QSKIP("a close with unread bytes resets the connection on Windows (see above)");
#endif
    const QByteArray odd = R"({"type":"group","groups":{"msgid":"v1"}}   )";
    QTemporaryFile file;
    const QString path =
        writeScript(file,
                    "\xEF\xBB\xBF# comment\n" + kRedVote + "\r\n  # indented comment\nsleep 400\n"
                        + odd + "\n\n" + kGift);
    QVERIFY(!path.isEmpty());
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--script"), path, QStringLiteral("--exit-when-done")}));
    RoomClient client;
    client.open(sim.port);
    QVERIFY(sim.waitForExit(10000));
    QCOMPARE(sim.process.exitCode(), 0);

    QCOMPARE(client.frames.size(), 4);
    QCOMPARE(client.frames.mid(1), (QList<QByteArray> {kRedVote, odd, kGift}));
    QVERIFY2(client.arrivals.at(2) - client.arrivals.at(1) >= 380,
             QByteArray::number(client.arrivals.at(2) - client.arrivals.at(1)).constData());
}

void TestRoomSim::scriptDropClosesTheLink()
{
#ifdef Q_OS_WIN
    // Qt's WebSocket closes the connection right after its close frame; with
    // the client's own bytes still unread there, Windows resets it, and the
    // reset discards the last frames waiting in the client's queue. The
    // simulator is a tool run as the Linux program; these count its frames.
    QSKIP("a close with unread bytes resets the connection on Windows");
#endif
    QTemporaryFile file;
    const QString path =
        writeScript(file, kRedVote + "\ndrop\n" + kGift + "\ndrop\n" + kBlueVote + "\n");
    QVERIFY(!path.isEmpty());
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--script"), path, QStringLiteral("--summary"),
                       QStringLiteral("--exit-when-done"), QStringLiteral("--quiet")}));
    RoomClient client;
    client.reconnect = [&sim] { return sim.process.state() == QProcess::Running; };
    client.open(sim.port);
    const QJsonObject summary = sim.summary();
    QVERIFY(sim.waitForExit(10000));

    // Each drop ends a link right after the frame before it; the next frame comes after the
    // reconnect.
    QCOMPARE(roomEvents(client.frames), (QList<QByteArray> {kRedVote, kGift, kBlueVote}));
    QCOMPARE(client.framesAtDisconnect.mid(0, 2), (QList<int> {2, 4}));
    QCOMPARE(summary.value(QStringLiteral("sent")).toInt(), 3);
}

void TestRoomSim::badCommandLineFails_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("message");

    QTest::newRow("bad option value") << args("--mix 1,2") << 2 << QByteArray("--mix");
    QTest::newRow("unknown option") << args("--loud") << 2 << QByteArray("loud");
    QTest::newRow("missing script")
        << args("--script /nonexistent/room.txt") << 1 << QByteArray("room.txt");
}

void TestRoomSim::badCommandLineFails()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, message);

    QProcess process;
    process.start(SimProcess::program(),
                  args("--headless --port") + QStringList {QString::number(TestSupport::freePort())}
                      + arguments);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitCode(), exitCode);
    const QByteArray error = process.readAllStandardError();
    QVERIFY2(error.contains(message), error.constData());
    QVERIFY(!process.readAllStandardOutput().contains("listening"));
}

QTEST_MAIN(TestRoomSim)
#include "tst_roomsim.moc"
