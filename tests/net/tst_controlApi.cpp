// The remote control on the page's server against real clients, with the
// command table running the real commands over a real vote: each command's
// effect and the state in its answer, the refusals that change nothing, the
// throttle on wrong tokens, a WebSocket control client, and kiva-remote's
// exit codes through the program itself.
#include "TestSupport.h"

#include "overlay/OverlayServer.h"
#include "platform/Platform.h"
#include "remote/ControlCommands.h"
#include "remote/RemoteSettings.h"
#include "vote/DefaultTeams.h"
#include "vote/VoteCommands.h"
#include "vote/VoteSession.h"

#include <QHostAddress>
#include <QJsonArray>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkRequest>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

#include <algorithm>
#include <memory>

namespace {

// Shown out with the close code that says why. Qt closes the connection
// right after its close frame; on Windows a reset from the client's bytes
// still in flight can discard the frame before the client reads it, so
// there only the disconnect itself is certain.
bool toldPolicyViolated(const QWebSocket &socket)
{
    const auto code = socket.closeCode();
#ifdef Q_OS_WIN
    if (code == QWebSocketProtocol::CloseCodeNormal)
        return true;
#endif
    return code == QWebSocketProtocol::CloseCodePolicyViolated;
}

const QByteArray kToken = RemoteSettings::newToken();

// The page's state as the window builds it, from the vote itself.
OverlayState stateOf(const VoteSession &vote, const VoteCommands &commands)
{
    OverlayState state;
    state.mode = vote.voteMode();
    for (int index = 1; index <= state.mode; ++index)
        state.teams.append({index, QString::fromUtf8(vote.team(index).name), vote.team(index).votes,
                            QString::fromLatin1(defaultTeam(index)->colour)});
    state.countdown = commands.countdownText();
    state.counting = vote.isCounting();
    state.rules = vote.rules();
    state.ruleLine = vote.ruleLine();
    return state;
}

struct Reply
{
    int status = 0;
    QByteArray head;
    QJsonObject json;
};

// Sends `request` ("%PORT%", "%TOKEN%" and "%LENGTH%", the length of what
// follows the head, filled in) and reads the answer until the server closes.
// With `continued`, the body goes only once the server has asked for it, in
// two pieces.
Reply exchange(quint16 port, QByteArray request, bool continued = false)
{
    request.replace("%PORT%", QByteArray::number(port)).replace("%TOKEN%", kToken);
    const int headEnd = request.indexOf("\r\n\r\n") + 4;
    request.replace("%LENGTH%", QByteArray::number(request.size() - headEnd));
    const int bodyAt = request.indexOf("\r\n\r\n") + 4;

    QTcpSocket socket;
    QByteArray received;
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { received += socket.readAll(); });
    QSignalSpy disconnected(&socket, &QTcpSocket::disconnected);
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!continued) {
        socket.write(request);
    } else {
        socket.write(request.left(bodyAt));
        if (!TestSupport::waitUntil([&] { return received.contains("100 Continue\r\n\r\n"); }))
            return {};
        received.clear();
        const QByteArray body = request.mid(bodyAt);
        socket.write(body.left(body.size() / 2));
        socket.flush();
        QTest::qWait(20); // most likely a read of its own
        socket.write(body.mid(body.size() / 2));
    }
    if (disconnected.isEmpty() && !disconnected.wait(15000))
        return {};
    received += socket.readAll();
    Reply reply;
    reply.status = received.startsWith("HTTP/1.1 ") ? received.mid(9, 3).toInt() : 0;
    const int end = received.indexOf("\r\n\r\n");
    reply.head = received.left(end + 2);
    reply.json = QJsonDocument::fromJson(received.mid(end + 4)).object();
    return reply;
}

QByteArray post(const QByteArray &command, const QByteArray &body = QByteArray())
{
    return "POST /control/" + command
        + " HTTP/1.1\r\nHost: 127.0.0.1:%PORT%\r\nAuthorization: Bearer %TOKEN%\r\n"
          "Content-Length: %LENGTH%\r\n\r\n"
        + body;
}

// A value in a JSON object by its path, "teams/1/votes".
QJsonValue valueAt(QJsonValue value, const QString &path)
{
    for (const QString &key : path.split(QLatin1Char('/')))
        value = value.isArray() ? value.toArray().at(key.toInt()) : value.toObject().value(key);
    return value;
}

// A control client's WebSocket that records what it is sent.
struct Remote
{
    Remote(quint16 port, const QByteArray &authorization = QByteArray(),
           const QString &origin = QString())
        : socket(origin)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString &text) {
            messages << QJsonDocument::fromJson(text.toUtf8()).object();
        });
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/control/ws").arg(port)));
        if (!authorization.isEmpty())
            request.setRawHeader("Authorization", authorization);
        QSignalSpy connected(&socket, &QWebSocket::connected);
        QSignalSpy ended(&socket, &QWebSocket::disconnected);
        socket.open(request);
        TestSupport::waitUntil([&] { return !connected.isEmpty() || !ended.isEmpty(); }, 10000);
        opened = !connected.isEmpty() && ended.isEmpty();
    }

    void send(const QJsonObject &message)
    {
        socket.sendTextMessage(QString::fromUtf8(QJsonDocument(message).toJson()));
    }
    // The first message from `from` on that `wanted` takes; empty when none comes.
    QJsonObject waitFor(const std::function<bool(const QJsonObject &)> &wanted, int from = 0)
    {
        const auto found = [&] {
            return std::find_if(messages.begin() + from, messages.end(), wanted);
        };
        TestSupport::waitUntil([&] { return found() != messages.end(); }, 10000);
        return found() == messages.end() ? QJsonObject() : *found();
    }

    QWebSocket socket;
    QList<QJsonObject> messages;
    bool opened = false;
};

} // namespace

class TestControlApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void commandsAnswerWithTheStateAfter_data();
    void commandsAnswerWithTheStateAfter();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void wrongTokensAreThrottled();
    void webSocketClient_data();
    void webSocketClient();
    void webSocketRefusals_data();
    void webSocketRefusals();
    void remoteToolExitCodes_data();
    void remoteToolExitCodes();

private:
    QByteArray stateNow() const { return overlayStateJson(stateOf(*vote, *commands)); }

    std::unique_ptr<VoteSession> vote;
    std::unique_ptr<VoteCommands> commands;
    std::unique_ptr<OverlayServer> server;
    QStringList reports; // the usage reports' buttons
};

void TestControlApi::init()
{
    vote = std::make_unique<VoteSession>();
    reports.clear();
    commands = std::make_unique<VoteCommands>(*vote, nullptr,
                                              [this](const char *button) { reports << button; });
    vote->setTeamName(1, "红队");
    vote->setTeamName(2, "蓝队");
    // A voter of team 1 from the chat, then 10 votes by hand: 11.
    vote->setVoteType(VoteType::Text);
    vote->startCounting();
    vote->countChat("观众", "红队");
    vote->stopCounting();
    vote->addVotes(1, 10);
    commands->setCountdownSeconds(45);
    // A countdown stands still, so that a state read later is the one answered.
    vote->setClock([] { return qint64(1000000); });

    server = std::make_unique<OverlayServer>([this] { return stateOf(*vote, *commands); });
    server->setControlHandler([this](const QByteArray &command, const QByteArray &body) {
        return runControlCommand(*commands, command, body);
    });
    server->setControlToken(kToken);
    QVERIFY2(server->listen(0), qPrintable(server->errorString()));
}

void TestControlApi::cleanup()
{
    server.reset();
    commands.reset();
    vote.reset();
}

void TestControlApi::commandsAnswerWithTheStateAfter_data()
{
    QTest::addColumn<QByteArrayList>("before"); // commands sent first
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<bool>("continued");
    QTest::addColumn<QString>("path"); // in the state
    QTest::addColumn<QJsonValue>("expected");
    QTest::addColumn<QString>("report"); // of the command itself
    QTest::addColumn<int>("voters"); // team 1's afterwards

    const QByteArrayList none;
    QTest::newRow("start") << none << post("start") << false << "counting" << QJsonValue(true)
                           << "1" << 1;
    QTest::newRow("stop") << QByteArrayList {"start"} << post("stop") << false << "counting"
                          << QJsonValue(false) << "" << 1;
    QTest::newRow("toggle") << none << post("toggle") << false << "counting" << QJsonValue(true)
                            << "1" << 1;
    QTest::newRow("clear-totals") << none << post("clear-totals") << false << "teams/0/votes"
                                  << QJsonValue(0) << "2" << 1;
    QTest::newRow("clear-voters") << none << post("clear-voters") << false << "teams/0/votes"
                                  << QJsonValue(11) << "3" << 0;
    QTest::newRow("countdown-start") << none << post("countdown-start", R"({"seconds":30})")
                                     << false << "countdown" << QJsonValue("30") << "4" << 1;
    QTest::newRow("countdown-start, the window's length")
        << none << post("countdown-start") << false << "countdown" << QJsonValue("45") << "4" << 1;
    QTest::newRow("countdown-stop") << QByteArrayList {"countdown-start"} << post("countdown-stop")
                                    << false << "countdown" << QJsonValue("") << "" << 1;
    QTest::newRow("add") << none << post("add", R"({"team":2,"amount":5})") << false
                         << "teams/1/votes" << QJsonValue(5) << "11" << 1;
    QTest::newRow("subtract") << none << post("subtract", R"({"team":1,"amount":3})") << false
                              << "teams/0/votes" << QJsonValue(8) << "12" << 1;
    QTest::newRow("add, the body asked for and in pieces")
        << none
        << post("add", R"({"team": 2, "amount": 7})")
               .replace("\r\n\r\n", "\r\nExpect: 100-continue\r\n\r\n")
        << true << "teams/1/votes" << QJsonValue(7) << "11" << 1;
    QTest::newRow("state") << QByteArrayList {"start"}
                           << QByteArray("GET /control/state HTTP/1.1\r\nHost: localhost:%PORT%\r\n"
                                         "Authorization: bearer %TOKEN%\r\n\r\n")
                           << false << "counting" << QJsonValue(true) << "" << 1;
}

void TestControlApi::commandsAnswerWithTheStateAfter()
{
    QFETCH(QByteArrayList, before);
    QFETCH(QByteArray, request);
    QFETCH(bool, continued);
    QFETCH(QString, path);
    QFETCH(QJsonValue, expected);
    QFETCH(QString, report);
    QFETCH(int, voters);

    for (const QByteArray &command : before)
        QCOMPARE(exchange(server->port(), post(command)).status, 200);
    const int reportsBefore = reports.size();
    const Reply reply = exchange(server->port(), request, continued);
    QVERIFY2(reply.status == 200, reply.head.constData());
    QVERIFY(reply.head.contains("Content-Type: application/json\r\n"));
    QCOMPARE(reply.json.value(QStringLiteral("ok")), QJsonValue(true));
    const QJsonObject state = reply.json.value(QStringLiteral("state")).toObject();
    QCOMPARE(state, QJsonDocument::fromJson(stateNow()).object());
    QCOMPARE(valueAt(state, path), expected);
    QCOMPARE(reports.mid(reportsBefore).join(QLatin1Char(',')), report);
    QCOMPARE(vote->team(1).voters.size(), voters);
}

void TestControlApi::refusalsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::addColumn<bool>("remoteOn");
    QTest::addColumn<bool>("teamsNamed");

    const QByteArray host = "Host: 127.0.0.1:%PORT%\r\n";
    QTest::newRow("no token") << QByteArray("POST /control/start HTTP/1.1\r\n" + host + "\r\n")
                              << 401 << "no token" << true << true;
    QTest::newRow("wrong token") << QByteArray(post("start")).replace("%TOKEN%", "0" + kToken)
                                 << 401 << "wrong token" << true << true;
    QTest::newRow("another scheme") << QByteArray(post("start")).replace("Bearer", "Basic") << 401
                                    << "no token" << true << true;
    QTest::newRow("from a web page, even our own")
        << QByteArray(post("start")).replace(host, host + "Origin: http://127.0.0.1:%PORT%\r\n")
        << 403 << "web pages" << true << true;
    QTest::newRow("remote control off") << post("start") << 403 << "off" << false << true;
    QTest::newRow("another host") << QByteArray(post("start")).replace("127.0.0.1", "evil.example")
                                  << 403 << "" << true << true;
    QTest::newRow("body over 4 KiB")
        << post("add", R"({"team":1,"amount":1,"x":")" + QByteArray(4096, 'x') + "\"}") << 413
        << "4096" << true << true;
    QTest::newRow("a length no body has")
        << QByteArray(post("add")).replace("%LENGTH%", "99999999999999999999") << 413 << "4096"
        << true << true;
    QTest::newRow("unknown command") << post("launch") << 404 << "launch" << true << true;
    QTest::newRow("start with an unnamed team")
        << post("start") << 409 << "无法开始计票，请先编辑投票内容!" << true << false;
    QTest::newRow("a team not shown")
        << post("add", R"({"team":3,"amount":1})") << 409 << "队伍3未显示" << true << true;
    QTest::newRow("not JSON") << post("add", "{team:1") << 400 << "JSON" << true << true;
    QTest::newRow("no length: no body") << QByteArray(post("add", R"({"team":1,"amount":5})"))
                                               .replace("Content-Length: %LENGTH%\r\n", "")
                                        << 400 << "team" << true << true;
    QTest::newRow("a length short of the body")
        << QByteArray(post("add", R"({"team":1,"amount":5})")).replace("%LENGTH%", "12") << 400
        << "JSON" << true << true;
    QTest::newRow("a length past the body, never completed")
        << QByteArray(post("add", R"({"team":1,"amount":5})")).replace("%LENGTH%", "100") << 408
        << "Content-Length" << true << true;
    QTest::newRow("chunked") << QByteArray(
                                    post("add", "1a\r\n{\"team\":1,\"amount\":5}  \r\n0\r\n\r\n"))
                                    .replace("Content-Length: %LENGTH%",
                                             "Transfer-Encoding: chunked")
                             << 411 << "Content-Length" << true << true;
    QTest::newRow("two lengths")
        << QByteArray(post("add", "{}")).replace(host, host + "Content-Length: 0\r\n") << 400
        << "Content-Length" << true << true;
    QTest::newRow("a command by GET")
        << QByteArray(post("start")).replace("POST", "GET") << 405 << "POST" << true << true;
    QTest::newRow("the state by POST") << post("state") << 405 << "GET" << true << true;
}

void TestControlApi::refusalsChangeNothing()
{
    QFETCH(QByteArray, request);
    QFETCH(int, status);
    QFETCH(QString, error);
    QFETCH(bool, remoteOn);
    QFETCH(bool, teamsNamed);

    if (!remoteOn)
        server->setControlToken(QByteArray());
    if (!teamsNamed)
        vote->setTeamName(2, QByteArray());
    const QByteArray before = stateNow();
    const int reportsBefore = reports.size();
    const Reply reply = exchange(server->port(), request);
    QVERIFY2(reply.status == status, reply.head.constData());
    QVERIFY(reply.head.contains("\r\nConnection: close\r\n"));
    if (!error.isEmpty()) {
        QCOMPARE(reply.json.value(QStringLiteral("ok")), QJsonValue(false));
        const QString said = reply.json.value(QStringLiteral("error")).toString();
        QVERIFY2(said.contains(error), qPrintable(said));
    }
    QCOMPARE(stateNow(), before);
    QCOMPARE(reports.size(), reportsBefore);
}

void TestControlApi::wrongTokensAreThrottled()
{
    static int warnings = 0;
    warnings = 0;
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &context, const QString &message) {
            if (type == QtWarningMsg && message.contains(QLatin1String("wrong tokens")))
                ++warnings;
            if (previous)
                previous(type, context, message);
        });
    server->setControlFailureWindowMs(3000);
    const QByteArray wrong = QByteArray(post("start")).replace("%TOKEN%", "wrong");

    for (int i = 0; i < 5; ++i)
        QCOMPARE(exchange(server->port(), wrong).status, 401);
    // Locked for everybody, the right token too, and more guesses change nothing.
    const Reply locked = exchange(server->port(), post("start"));
    QCOMPARE(locked.status, 429);
    QVERIFY(locked.head.contains("\r\nRetry-After: "));
    QCOMPARE(exchange(server->port(), wrong).status, 429);
    QVERIFY(!vote->isCounting());
    // Until the burst has passed.
    QVERIFY(TestSupport::waitUntil(
        [&] { return exchange(server->port(), post("start")).status == 200; }, 20000));
    QVERIFY(vote->isCounting());
    qInstallMessageHandler(previous);
    QCOMPARE(warnings, 1);
}

void TestControlApi::webSocketClient_data()
{
    QTest::addColumn<bool>("tokenInUpgrade");
    QTest::newRow("token in the first message") << false;
    QTest::newRow("token in the upgrade") << true;
}

void TestControlApi::webSocketClient()
{
    QFETCH(bool, tokenInUpgrade);

    Remote remote(server->port(), tokenInUpgrade ? "Bearer " + kToken : QByteArray());
    QVERIFY(remote.opened);
    if (!tokenInUpgrade) {
        remote.send({{QStringLiteral("token"), QString::fromLatin1(kToken)}});
        QCOMPARE(
            remote.waitFor([](const QJsonObject &m) { return m.contains(QLatin1String("ok")); }),
            QJsonObject({{QStringLiteral("ok"), true}}));
    }
    // Signed in, the whole state first, as a page gets it.
    const QJsonObject first =
        remote.waitFor([](const QJsonObject &m) { return m.contains(QLatin1String("teams")); });
    QCOMPARE(first, QJsonDocument::fromJson(stateNow()).object());

    remote.send({{QStringLiteral("command"), QStringLiteral("start")}, {QStringLiteral("id"), 7}});
    const QJsonObject started =
        remote.waitFor([](const QJsonObject &m) { return m.value(QLatin1String("id")) == 7; });
    QCOMPARE(started.value(QStringLiteral("ok")), QJsonValue(true));
    QCOMPARE(valueAt(started, QStringLiteral("state/counting")), QJsonValue(true));
    QVERIFY(vote->isCounting());

    remote.send({{QStringLiteral("command"), QStringLiteral("add")},
                 {QStringLiteral("team"), 3},
                 {QStringLiteral("amount"), 1},
                 {QStringLiteral("id"), QStringLiteral("hidden")}});
    const QJsonObject refused = remote.waitFor([](const QJsonObject &m) {
        return m.value(QLatin1String("id")) == QLatin1String("hidden");
    });
    QCOMPARE(refused.value(QStringLiteral("ok")), QJsonValue(false));
    QCOMPARE(refused.value(QStringLiteral("status")), QJsonValue(409));
    QCOMPARE(refused.value(QStringLiteral("error")), QJsonValue(QStringLiteral("队伍3未显示")));

    // A change made elsewhere is pushed, as to the page.
    const int seen = remote.messages.size();
    QCOMPARE(exchange(server->port(), post("add", R"({"team":2,"amount":3})")).status, 200);
    const QJsonObject pushed = remote.waitFor(
        [](const QJsonObject &m) { return valueAt(m, QStringLiteral("teams/1/votes")) == 3; },
        seen);
    QCOMPARE(pushed, QJsonDocument::fromJson(stateNow()).object());

    // A new token: whoever signed in with the old one is shown out.
    QSignalSpy disconnected(&remote.socket, &QWebSocket::disconnected);
    server->setControlToken(RemoteSettings::newToken());
    QVERIFY(disconnected.wait(10000));
    QVERIFY(toldPolicyViolated(remote.socket));
}

void TestControlApi::webSocketRefusals_data()
{
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<QString>("origin");
    QTest::addColumn<bool>("remoteOn");
    QTest::addColumn<bool>("opens"); // then closed at its first message
    QTest::addColumn<QJsonObject>("first");

    const QJsonObject command {{QStringLiteral("command"), QStringLiteral("start")}};
    const QByteArray bearer = "Bearer " + kToken;
    QTest::newRow("wrong token in the first message")
        << QByteArray() << QString() << true << true
        << QJsonObject {{QStringLiteral("token"), QStringLiteral("x")}};
    QTest::newRow("a command before the token")
        << QByteArray() << QString() << true << true << command;
    QTest::newRow("wrong token in the upgrade")
        << QByteArray("Bearer 0" + kToken) << QString() << true << false << command;
    QTest::newRow("from a web page")
        << bearer << QStringLiteral("http://127.0.0.1") << true << false << command;
    QTest::newRow("remote control off") << bearer << QString() << false << false << command;
}

void TestControlApi::webSocketRefusals()
{
    QFETCH(QByteArray, authorization);
    QFETCH(QString, origin);
    QFETCH(bool, remoteOn);
    QFETCH(bool, opens);
    QFETCH(QJsonObject, first);

    if (!remoteOn)
        server->setControlToken(QByteArray());
    const QByteArray before = stateNow();
    Remote remote(server->port(), authorization, origin);
    QCOMPARE(remote.opened, opens);
    if (remote.opened) {
        QSignalSpy disconnected(&remote.socket, &QWebSocket::disconnected);
        remote.send(first);
        QVERIFY(disconnected.wait(10000));
        QVERIFY(toldPolicyViolated(remote.socket));
        QVERIFY(remote.messages.isEmpty());
    }
    QCOMPARE(stateNow(), before);
    QVERIFY(reports.isEmpty());
}

void TestControlApi::remoteToolExitCodes_data()
{
    // Words apart by spaces. "%PORT%" and "%TOKEN%" are filled in; "%SILENT%"
    // is a port that takes connections and never answers, "%NONE%" one without a server.
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("tokenIn"); // "", "environment", "data folder" or "--data-dir"
    QTest::addColumn<bool>("remoteOn");
    QTest::addColumn<bool>("teamsNamed");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("said"); // on standard output (0) or error
    QTest::addColumn<bool>("countingAfter");

    QTest::newRow("state") << "--port %PORT% --token %TOKEN% state"
                           << "" << true << true << 0 << "\"counting\":false" << false;
    QTest::newRow("start, the token from the user's data folder")
        << "--port %PORT% start"
        << "data folder" << true << true << 0 << "" << true;
    QTest::newRow("toggle, the port and token from the environment")
        << "toggle"
        << "environment" << true << true << 0 << "" << true;
    QTest::newRow("add, the token from --data-dir")
        << "--port %PORT% add 2 5"
        << "--data-dir" << true << true << 0 << "" << false;
    QTest::newRow("start refused") << "--port %PORT% --token %TOKEN% start"
                                   << "" << true << false << 1 << "无法开始计票" << false;
    QTest::newRow("wrong token") << "--port %PORT% --token x start"
                                 << "" << true << true << 1 << "wrong token" << false;
    QTest::newRow("unknown command") << "--port %PORT% --token %TOKEN% launch"
                                     << "" << true << true << 2 << "launch" << false;
    QTest::newRow("add without its count") << "--port %PORT% --token %TOKEN% add 1"
                                           << "" << true << true << 2 << "add" << false;
    QTest::newRow("unknown option") << "--port %PORT% --token %TOKEN% --colour start"
                                    << "" << true << true << 2 << "colour" << false;
    QTest::newRow("remote control off") << "--port %PORT% --token %TOKEN% start"
                                        << "" << false << true << 3 << "off" << false;
    QTest::newRow("no plug-in") << "--port %NONE% --token %TOKEN% start"
                                << "" << true << true << 3 << "no vote plug-in" << false;
    QTest::newRow("no answer") << "--port %SILENT% --token %TOKEN% start"
                               << "" << true << true << 3 << "within 3 s" << false;
}

void TestControlApi::remoteToolExitCodes()
{
    QFETCH(QString, arguments);
    QFETCH(QString, tokenIn);
    QFETCH(bool, remoteOn);
    QFETCH(bool, teamsNamed);
    QFETCH(int, exitCode);
    QFETCH(QString, said);
    QFETCH(bool, countingAfter);

    const QString program = qEnvironmentVariable("KIVA_REMOTE");
    if (program.isEmpty())
        QSKIP("KIVA_REMOTE is not set (CTest sets it)");
    if (!remoteOn)
        server->setControlToken(QByteArray());
    if (!teamsNamed)
        vote->setTeamName(2, QByteArray());

    // Never the user's own data folder, nor a port or token of theirs.
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_DATA_HOME"), home.path());
    environment.insert(QStringLiteral("APPDATA"), QDir::toNativeSeparators(home.path()));
    environment.remove(QStringLiteral("KIVA_OVERLAY_PORT"));
    environment.remove(QStringLiteral("KIVA_REMOTE_TOKEN"));
    RemoteSettings settings;
    settings.enabled = true;
    settings.token = kToken;
    if (tokenIn == QLatin1String("environment")) {
        environment.insert(QStringLiteral("KIVA_OVERLAY_PORT"), QString::number(server->port()));
        environment.insert(QStringLiteral("KIVA_REMOTE_TOKEN"), QString::fromLatin1(kToken));
    } else if (tokenIn == QLatin1String("data folder")) {
#ifdef Q_OS_WIN
        // Windows gives the roaming folder from the shell, which no
        // environment points elsewhere: the user's own remote.json is never
        // written by a test (tst_windows checks where the data lives).
        QSKIP("the user's data folder on Windows cannot be pointed at a test's folder");
#endif
        QVERIFY(settings.save(Platform::kivaFile(home.path(), QStringLiteral("remote.json"))));
    } else if (tokenIn == QLatin1String("--data-dir")) {
        QVERIFY(settings.save(Platform::kivaFile(home.filePath(QStringLiteral("other")),
                                                 QStringLiteral("remote.json"))));
        arguments += QStringLiteral(" --data-dir ") + home.filePath(QStringLiteral("other"));
    }
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    arguments.replace(QStringLiteral("%SILENT%"), QString::number(silent.serverPort()))
        .replace(QStringLiteral("%NONE%"), QString::number(TestSupport::freePort()))
        .replace(QStringLiteral("%PORT%"), QString::number(server->port()))
        .replace(QStringLiteral("%TOKEN%"), QString::fromLatin1(kToken));

    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments.split(QLatin1Char(' ')));
    // The server answers from this event loop, so it must keep turning.
    QVERIFY(TestSupport::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString error = QString::fromUtf8(process.readAllStandardError());
    QVERIFY2(process.exitCode() == exitCode, qPrintable(out + error));
    QVERIFY2((exitCode == 0 ? out : error).contains(said), qPrintable(out + error));
    QCOMPARE(vote->isCounting(), countingAfter);
    if (tokenIn == QLatin1String("--data-dir"))
        QCOMPARE(vote->team(2).votes, qint64(5));
}

QTEST_MAIN(TestControlApi)
#include "tst_controlApi.moc"
