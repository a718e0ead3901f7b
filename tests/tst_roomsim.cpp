// The live-room simulator, run as its own process (KIVA_ROOM_SIM): the
// authentication handshake, the generated crowd, scripts, link drops and the
// summary the end-to-end runs compare the plug-in against.
#include "TestSupport.h"

#include "bridge/CIMkiva.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryFile>
#include <QTest>
#include <QWebSocket>

#include <functional>
#include <memory>

namespace {

QString simulatorPath()
{
    return QString::fromLocal8Bit(qgetenv("KIVA_ROOM_SIM"));
}

// The simulator process and its stdout, line by line.
class SimProcess
{
public:
    ~SimProcess()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    // Starts it headless on a free port and waits for "listening <port>".
    bool start(const QStringList &arguments, bool pickPort = true)
    {
        QStringList all = {QStringLiteral("--headless")};
        if (pickPort)
            all << QStringLiteral("--port") << QString::number(TestSupport::freePort());
        all << arguments;
        process.start(simulatorPath(), all);
        if (!process.waitForStarted(5000))
            return false;
        const QByteArray line = waitForLine("listening ", 10000);
        port = quint16(line.mid(10).toUInt());
        return port != 0;
    }

    QList<QByteArray> lines()
    {
        pending += process.readAllStandardOutput();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            received.append(pending.left(end));
            pending.remove(0, end + 1);
        }
        return received;
    }

    QByteArray waitForLine(const QByteArray &prefix, int timeoutMs)
    {
        return waitFor([&prefix](const QByteArray &line) { return line.startsWith(prefix); },
                       timeoutMs);
    }

    QByteArray waitFor(const std::function<bool(const QByteArray &)> &wanted, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            for (const QByteArray &line : lines()) {
                if (wanted(line))
                    return line;
            }
            if (process.state() == QProcess::NotRunning && process.bytesAvailable() == 0)
                break;
            QTest::qWait(10);
        }
        return QByteArray();
    }

    // Keeps the event loop running (clients must read) until the process ends.
    bool waitForExit(int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (process.state() != QProcess::NotRunning && clock.elapsed() < timeoutMs)
            QTest::qWait(10);
        lines();
        return process.state() == QProcess::NotRunning;
    }

    QJsonObject summary()
    {
        const QByteArray line = waitForLine("summary ", 30000);
        return QJsonDocument::fromJson(line.mid(8)).object();
    }

    QProcess process;
    quint16 port = 0;

private:
    QByteArray pending;
    QList<QByteArray> received;
};

// A client as the plug-in is one: authenticates with the first frame and
// keeps every frame; optionally reconnects after the link drops.
class RoomClient : public QObject
{
public:
    explicit RoomClient(QByteArray firstFrame = QByteArray(CIMkiva::kAuthText), bool binary = false)
        : first(std::move(firstFrame))
        , firstIsBinary(binary)
    {
        clock.start();
        connect(&socket, &QWebSocket::connected, this, [this] {
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
            ++disconnects;
            framesAtDisconnect.append(frames.size());
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
    int disconnects = 0;
    std::function<bool()> reconnect;

private:
    QByteArray first;
    bool firstIsBinary;
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

// What the plug-in would make of the frames, tallied independently of the
// simulator: a frame identical to the previous one with the same msgid is
// dropped; a chat line votes when it equals a team's name.
struct Tally
{
    qint64 sent = 0;
    qint64 repeats = 0;
    qint64 chatter = 0;
    QJsonObject chat;
    QJsonObject gifts;
    QJsonObject votesByNick;
    QJsonObject piecesByNick;
    QList<QString> msgIds;
};

void add(QJsonObject &object, const QString &key, qint64 amount)
{
    object.insert(key, object.value(key).toDouble() + double(amount));
}

void addByNick(QJsonObject &object, const QString &key, const QString &nick, qint64 amount)
{
    QJsonObject inner = object.value(key).toObject();
    add(inner, nick, amount);
    object.insert(key, inner);
}

Tally tally(const QList<QByteArray> &frames, const QStringList &teams, const QStringList &giftIds)
{
    Tally t;
    for (const QString &team : teams)
        t.chat.insert(team, 0);
    for (const QString &id : giftIds)
        t.gifts.insert(id, 0);
    QByteArray previous;
    for (const QByteArray &frame : roomEvents(frames)) {
        if (frame == previous) {
            ++t.repeats;
            continue;
        }
        previous = frame;
        ++t.sent;
        const QJsonObject groups = parse(frame).value(QStringLiteral("groups")).toObject();
        t.msgIds.append(text(groups.value(QStringLiteral("msgid"))));
        for (auto group = groups.begin(); group != groups.end(); ++group) {
            if (!group.value().isObject())
                continue;
            const QJsonObject viewer = group.value().toObject();
            const QString nick = text(viewer.value(QStringLiteral("nick")));
            for (const QJsonValue &unitValue : viewer.value(QStringLiteral("units")).toArray()) {
                const QJsonObject unit = unitValue.toObject();
                const QString type = text(unit.value(QStringLiteral("type")));
                if (type == QLatin1String("Gift")) {
                    const QJsonObject data = unit.value(QStringLiteral("Pay.Gift.data")).toObject();
                    const QString id = text(data.value(QStringLiteral("product_id")));
                    const qint64 pieces = data.value(QStringLiteral("buyCount")).toInt(1);
                    add(t.gifts, id, pieces);
                    addByNick(t.piecesByNick, id, nick, pieces);
                    continue;
                }
                const QJsonObject data =
                    unit.value(QStringLiteral("Msg.%1.data").arg(type)).toObject();
                const QString line = text(data.value(QStringLiteral("text")));
                if (teams.contains(line)) {
                    add(t.chat, line, 1);
                    addByNick(t.votesByNick, line, nick, 1);
                } else {
                    ++t.chatter;
                }
            }
        }
    }
    return t;
}

QByteArray compact(const QJsonValue &value)
{
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return QByteArray::number(value.toDouble());
}

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

QString writeScript(QTemporaryFile &file, const QByteArray &content)
{
    if (!file.open())
        return QString();
    file.write(content);
    file.close();
    return file.fileName();
}

const QByteArray kRedVote =
    R"({"type":"group","groups":{"msgid":"s1","g0":{"nick":"小明","units":[{"type":"Message","Msg.Message.data":{"text":"红队"}}]}}})";
const QByteArray kGift =
    R"({"type":"group","groups":{"msgid":"s2","g0":{"nick":"阿花","units":[{"type":"Gift","Pay.Gift.data":{"product_id":"1450928358","buyCount":3}}]}}})";
const QByteArray kBlueVote =
    R"({"type":"group","groups":{"msgid":"s3","g0":{"nick":"Tom","units":[{"type":"Message","Msg.Message.data":{"text":"蓝队"}}]}}})";

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
    void crowdIsDeterministic_data();
    void crowdIsDeterministic();
    void crowdLooksLikeARoom();
    void summaryMatchesWhatArrived_data();
    void summaryMatchesWhatArrived();
    void scriptSummaryReadsFramesAsThePlugInDoes_data();
    void scriptSummaryReadsFramesAsThePlugInDoes();
    void scriptSendsVerbatimAndSleeps();
    void scriptDropClosesTheLink();
    void badCommandLineFails_data();
    void badCommandLineFails();
};

void TestRoomSim::initTestCase()
{
    if (simulatorPath().isEmpty())
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

    const QByteArray auth(CIMkiva::kAuthText);
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
    client.socket.sendTextMessage(QString::fromUtf8(CIMkiva::kAuthText));
    client.socket.sendTextMessage(QStringLiteral("hello"));
    client.socket.sendBinaryMessage("\x01\x02");
    QVERIFY(sim.waitForExit(20000));
    QCOMPARE(sim.process.exitCode(), 0);
    QCOMPARE(roomEvents(client.frames).size(), 60);
}

void TestRoomSim::crowdIsDeterministic_data()
{
    QTest::addColumn<QStringList>("arguments");

    QTest::newRow("defaults") << args("--seed 7");
    QTest::newRow("gifts and repeats") << args("--seed 42 --mix 10,10,80 --max-buy 9 --repeat 30");
    QTest::newRow("many teams, few viewers") << args("--seed 3 --teams 甲,乙,丙,丁 --viewers 5");
}

void TestRoomSim::crowdIsDeterministic()
{
    QFETCH(QStringList, arguments);

    auto run = [](const QStringList &extra) {
        SimProcess sim;
        RoomClient client;
        if (!sim.start(args("--crowd --rate 5000 --count 300 --exit-when-done --quiet") + extra))
            return QList<QByteArray>();
        client.open(sim.port);
        sim.waitForExit(20000);
        waitUntil([&] { return client.disconnects > 0; }, 5000);
        return roomEvents(client.frames);
    };

    const QList<QByteArray> first = run(arguments);
    QVERIFY(first.size() >= 300);
    QCOMPARE(run(arguments), first);

    QStringList otherSeed = arguments;
    otherSeed[otherSeed.indexOf(QStringLiteral("--seed")) + 1] += QStringLiteral("1");
    QVERIFY(run(otherSeed) != first);
}

void TestRoomSim::crowdLooksLikeARoom()
{
    SimProcess sim;
    QVERIFY(sim.start(args(
        "--crowd --rate 5000 --count 3000 --repeat 10 --viewers 50 --exit-when-done --quiet")));
    RoomClient client;
    client.open(sim.port);
    QVERIFY(sim.waitForExit(30000));

    const QStringList teams = {QStringLiteral("红队"), QStringLiteral("蓝队")};
    QSet<QString> nicks;
    QSet<QString> chatterLines;
    int severalUnits = 0, severalGroups = 0, suspended = 0, repeats = 0;
    QByteArray previous;
    for (const QByteArray &frame : roomEvents(client.frames)) {
        repeats += frame == previous;
        previous = frame;
        const QJsonObject groups = parse(frame).value(QStringLiteral("groups")).toObject();
        severalGroups += groups.size() > 2;
        for (auto group = groups.begin(); group != groups.end(); ++group) {
            if (!group.value().isObject())
                continue;
            const QJsonObject viewer = group.value().toObject();
            nicks.insert(text(viewer.value(QStringLiteral("nick"))));
            const QJsonArray units = viewer.value(QStringLiteral("units")).toArray();
            severalUnits += units.size() > 1;
            for (const QJsonValue &unit : units) {
                const QJsonObject u = unit.toObject();
                const QString type = text(u.value(QStringLiteral("type")));
                if (type == QLatin1String("Gift")) {
                    const QJsonObject data = u.value(QStringLiteral("Pay.Gift.data")).toObject();
                    const int buy = data.value(QStringLiteral("buyCount")).toInt();
                    QVERIFY2(buy >= 1 && buy <= 3, frame.constData());
                    QVERIFY(
                        QStringList({QStringLiteral("1450928358"), QStringLiteral("1477978817")})
                            .contains(text(data.value(QStringLiteral("product_id")))));
                    continue;
                }
                suspended += type == QLatin1String("SuspendMessage");
                const QString line = text(u.value(QStringLiteral("Msg.%1.data").arg(type))
                                              .toObject()
                                              .value(QStringLiteral("text")));
                if (!teams.contains(line))
                    chatterLines.insert(line);
            }
        }
    }
    QVERIFY(nicks.size() <= 50);
    QVERIFY(nicks.size() >= 40);
    QVERIFY(nicks.contains(QStringLiteral("观众001")));
    QVERIFY(std::any_of(nicks.begin(), nicks.end(),
                        [](const QString &nick) { return nick.at(0).unicode() < 128; }));
    QVERIFY(severalUnits > 0);
    QVERIFY(severalGroups > 0);
    QVERIFY(suspended > 0);
    QVERIFY(repeats > 150 && repeats < 450);
    // Near misses that look like votes but must not count.
    QVERIFY(chatterLines.contains(QStringLiteral(" 红队")));
    QVERIFY(chatterLines.contains(QStringLiteral("红队!")));
    QVERIFY(chatterLines.contains(QStringLiteral("哈哈哈")));
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

    const Tally arrived = tally(client.frames, teams, gifts);
    QCOMPARE(arrived.sent, qint64(count));
    QCOMPARE(summary.value(QStringLiteral("sent")).toDouble(), double(arrived.sent));
    QCOMPARE(summary.value(QStringLiteral("repeats")).toDouble(), double(arrived.repeats));
    QCOMPARE(summary.value(QStringLiteral("chatter")).toDouble(), double(arrived.chatter));
    QCOMPARE(compact(summary.value(QStringLiteral("chat"))), compact(arrived.chat));
    QCOMPARE(compact(summary.value(QStringLiteral("gifts"))), compact(arrived.gifts));
    QCOMPARE(compact(summary.value(QStringLiteral("votesByNick"))), compact(arrived.votesByNick));
    QCOMPARE(compact(summary.value(QStringLiteral("piecesByNick"))), compact(arrived.piecesByNick));

    // Ids run m1, m2, … with nothing lost or sent twice across pauses and drops.
    for (int i = 0; i < arrived.msgIds.size(); ++i)
        QCOMPARE(arrived.msgIds.at(i), QStringLiteral("m%1").arg(i + 1));
    if (reconnect)
        QCOMPARE(client.disconnects, count / 97 + 1);
}

void TestRoomSim::scriptSummaryReadsFramesAsThePlugInDoes_data()
{
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QByteArray>("expected"); // sent, repeats, chatter, chat, gifts

    const QByteArray header = "# one frame per line\n\n";
    QTest::newRow("plain frames")
        << header + kRedVote + '\n' + kGift + '\n' + kBlueVote + '\n'
        << QByteArray(
               R"({"sent":3,"repeats":0,"chatter":0,"chat":{"红队":1,"蓝队":1},"gifts":{"1450928358":3,"1477978817":0}})");
    QTest::newRow("repeat right after its original")
        << kRedVote + '\n' + kRedVote + '\n' + kGift + '\n' + kRedVote + '\n'
        << QByteArray(
               R"({"sent":3,"repeats":1,"chatter":0,"chat":{"红队":2,"蓝队":0},"gifts":{"1450928358":3,"1477978817":0}})");
    QTest::newRow("keys in any case, values exact")
        << QByteArray(
               R"({"TYPE":"group","Groups":{"MsgID":"k1","g0":{"Nick":"阿花","UNITS":[{"Type":"Gift","pay.gift.DATA":{"Product_Id":"1477978817","BUYCOUNT":4}},{"type":"message","Msg.Message.data":{"text":"红队"}}]}}})"
               "\n"
               R"({"type":"Group","groups":{"msgid":"k2","g0":{"nick":"x","units":[{"type":"Message","Msg.Message.data":{"text":"红队"}}]}}})"
               "\n")
        << QByteArray(
               R"({"sent":2,"repeats":0,"chatter":0,"chat":{"红队":0,"蓝队":0},"gifts":{"1450928358":0,"1477978817":4}})");
    QTest::newRow("suspend lines, near misses, gift without count")
        << QByteArray(
               R"({"type":"group","groups":{"msgid":"n1","g0":{"nick":"a","units":[{"type":"SuspendMessage","Msg.SuspendMessage.data":{"text":"蓝队"}},{"type":"Message","Msg.Message.data":{"text":" 红队"}},{"type":"Message","Msg.Message.data":{"text":"红队!"}}]},"g1":{"nick":"b","units":[{"type":"Gift","Pay.Gift.data":{"product_id":"1450928358"}}]}}})"
               "\n")
        << QByteArray(
               R"({"sent":1,"repeats":0,"chatter":2,"chat":{"红队":0,"蓝队":1},"gifts":{"1450928358":1,"1477978817":0}})");
}

void TestRoomSim::scriptSummaryReadsFramesAsThePlugInDoes()
{
    QFETCH(QByteArray, script);
    QFETCH(QByteArray, expected);

    QTemporaryFile file;
    const QString path = writeScript(file, script);
    QVERIFY(!path.isEmpty());
    SimProcess sim;
    QVERIFY(sim.start({QStringLiteral("--script"), path, QStringLiteral("--summary"),
                       QStringLiteral("--exit-when-done")}));
    RoomClient client;
    client.open(sim.port);
    const QJsonObject summary = sim.summary();
    QVERIFY(sim.waitForExit(10000));
    QCOMPARE(sim.process.exitCode(), 0);

    const QJsonObject want = QJsonDocument::fromJson(expected).object();
    QVERIFY(!want.isEmpty());
    for (auto it = want.begin(); it != want.end(); ++it)
        QCOMPARE(compact(summary.value(it.key())), compact(it.value()));
}

void TestRoomSim::scriptSendsVerbatimAndSleeps()
{
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

    QTest::newRow("mix of two") << args("--mix 1,2") << 2 << QByteArray("--mix");
    QTest::newRow("mix all zero") << args("--mix 0,0,0") << 2 << QByteArray("--mix");
    QTest::newRow("port too big") << args("--port 70000") << 2 << QByteArray("--port");
    QTest::newRow("rate zero") << args("--rate 0") << 2 << QByteArray("--rate");
    QTest::newRow("repeat over 100") << args("--repeat 101") << 2 << QByteArray("--repeat");
    QTest::newRow("no team") << args("--teams ,，,") << 2 << QByteArray("--teams");
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
    process.start(simulatorPath(),
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
