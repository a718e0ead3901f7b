#include "overlay/ControlApi.h"

#include "overlay/HttpRequestHead.h"
#include "overlay/WebSocketClients.h"
#include "remote/RemoteSettings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>

namespace {

const QByteArray kControlPath = QByteArrayLiteral("/control");
const QByteArray kControlPrefix = QByteArrayLiteral("/control/");
const QByteArray kSocketPath = QByteArrayLiteral("/control/ws");
const QByteArray kStatePath = QByteArrayLiteral("/control/state");
const QByteArray kPresetsPath = QByteArrayLiteral("/control/presets");

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

HttpAnswer refusal(int status, const QString &why, const QByteArray &extraFields = QByteArray())
{
    HttpAnswer answer;
    answer.status = status;
    answer.body =
        compact(QJsonObject {{QStringLiteral("ok"), false}, {QStringLiteral("error"), why}});
    answer.extraFields = extraFields;
    return answer;
}

// "note" only when the command left something to know (a preset's gift kept).
QByteArray noteField(const QString &note)
{
    if (note.isEmpty())
        return QByteArray();
    return ",\"note\":" + compact(QJsonObject {{QStringLiteral("n"), note}}).mid(5).chopped(1);
}

HttpAnswer withState(const QByteArray &state, const QString &note = QString())
{
    HttpAnswer answer;
    answer.status = 200;
    answer.body = "{\"ok\":true" + noteField(note) + ",\"state\":" + state + '}';
    return answer;
}

HttpAnswer waiting()
{
    HttpAnswer answer;
    answer.action = HttpAnswer::Action::Wait;
    return answer;
}

// The token of "Bearer <token>" (the scheme's case is free); empty otherwise.
QByteArray bearerToken(const QByteArray &field)
{
    const QByteArray value = field.trimmed();
    if (value.size() <= 7 || value.left(7).toLower() != "bearer ")
        return QByteArray();
    return value.mid(7).trimmed();
}

bool allDigits(const QByteArray &text)
{
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return !text.isEmpty();
}

// A JSON value as it stands in a message.
QByteArray jsonText(const QJsonValue &value)
{
    const QByteArray array = QJsonDocument(QJsonArray {value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

ControlApi::ControlApi(StateJson stateJson, std::function<void()> onChange, QObject *parent)
    : QObject(parent)
    , state(std::move(stateJson))
    , changed(std::move(onChange))
    , clients(new WebSocketClients(kMaxClients, kMaxBodyBytes, this))
{
    connect(clients, &WebSocketClients::dropped, this, &ControlApi::forget);
    clock.start();
}

ControlApi::~ControlApi()
{
    // The clients go first, while what they report to is whole.
    clients->disconnect(this);
    delete clients;
    clients = nullptr;
}

bool ControlApi::isControlPath(const QByteArray &path)
{
    return path == kControlPath || path.startsWith(kControlPrefix);
}

bool ControlApi::isSocketPath(const QByteArray &path)
{
    return path == kSocketPath;
}

HttpAnswer ControlApi::bodyTimedOut()
{
    return refusal(408, QStringLiteral("the body did not come in full: check Content-Length"));
}

void ControlApi::setToken(const QByteArray &newToken)
{
    if (newToken == token)
        return;
    token = newToken;
    // Whoever signed in with the old token has no right left.
    const QList<QWebSocket *> all = clients->list();
    for (QWebSocket *client : all)
        closeClient(client,
                    token.isEmpty() ? QStringLiteral("remote control is off")
                                    : QStringLiteral("the token changed"));
}

bool ControlApi::throttled()
{
    return lockedUntilMs >= 0 && clock.elapsed() < lockedUntilMs;
}

void ControlApi::failedToken()
{
    const qint64 now = clock.elapsed();
    failureTimes.append(now);
    if (failureTimes.size() > kMaxFailedTokens)
        failureTimes.removeFirst();
    if (failureTimes.size() < kMaxFailedTokens || now - failureTimes.first() >= failureWindowMs)
        return;
    // One line per burst: a flood of guesses must not flood the log too.
    qWarning("Remote control: %d wrong tokens within %d s; every control request is refused "
             "for the next %d s",
             kMaxFailedTokens, failureWindowMs / 1000, failureWindowMs / 1000);
    lockedUntilMs = now + failureWindowMs;
    failureTimes.clear();
}

bool ControlApi::refused(const HttpRequestHead &head, bool tokenOptional, HttpAnswer *refusalOut)
{
    const auto refuse = [refusalOut](const HttpAnswer &answer) {
        *refusalOut = answer;
        return true;
    };
    bool fromPage = false;
    head.field("Origin", &fromPage);
    if (fromPage)
        return refuse(refusal(403, QStringLiteral("requests from web pages are refused")));
    if (token.isEmpty())
        return refuse(refusal(403, QStringLiteral("remote control is off")));
    if (throttled()) {
        const qint64 seconds = (lockedUntilMs - clock.elapsed()) / 1000 + 1;
        return refuse(refusal(429, QStringLiteral("too many wrong tokens: try again later"),
                              "Retry-After: " + QByteArray::number(seconds) + "\r\n"));
    }
    const int fields = head.fieldCount("Authorization");
    if (fields > 1)
        return refuse(refusal(400, QStringLiteral("more than one Authorization field")));
    if (fields == 0 && tokenOptional)
        return false;
    const QByteArray given = bearerToken(head.field("Authorization"));
    if (given.isEmpty())
        return refuse(refusal(401, QStringLiteral("no token: send Authorization: Bearer <token>"),
                              "WWW-Authenticate: Bearer\r\n"));
    if (!RemoteSettings::tokenMatches(token, given)) {
        failedToken();
        return refuse(refusal(401, QStringLiteral("wrong token"), "WWW-Authenticate: Bearer\r\n"));
    }
    return false;
}

HttpAnswer ControlApi::answer(QTcpSocket *socket, const HttpRequestHead &head)
{
    const QByteArray &path = head.path();
    HttpAnswer refusedAnswer;
    if (refused(head, isSocketPath(path), &refusedAnswer))
        return refusedAnswer;
    if (isSocketPath(path))
        return upgradeAnswer(head);
    if (path == kStatePath) {
        if (head.method() != "GET")
            return refusal(405, QStringLiteral("use GET"), "Allow: GET\r\n");
        return withState(state(false));
    }
    if (path == kPresetsPath) {
        if (head.method() != "GET")
            return refusal(405, QStringLiteral("use GET"), "Allow: GET\r\n");
        HttpAnswer list;
        list.status = 200;
        list.body = "{\"ok\":true,\"presets\":" + (presets ? presets() : QByteArray("[]")) + '}';
        return list;
    }
    const QByteArray name = path.mid(kControlPrefix.size());
    if (name.isEmpty())
        return refusal(404, QStringLiteral("no such path: use /control/<command>"));
    if (head.method() != "POST")
        return refusal(405, QStringLiteral("use POST"), "Allow: POST\r\n");
    QByteArray body;
    HttpAnswer otherwise;
    if (!readBody(socket, head, &body, &otherwise))
        return otherwise;
    const ControlAnswer result = command(name, body);
    return result.ok() ? withState(state(false), result.note)
                       : refusal(result.status, result.error);
}

bool ControlApi::readBody(QTcpSocket *socket, const HttpRequestHead &head, QByteArray *body,
                          HttpAnswer *otherwise) const
{
    // A length up front or no body: a chunked body has no bound until its end.
    if (head.fieldCount("Transfer-Encoding") > 0) {
        *otherwise = refusal(411, QStringLiteral("send the body with a Content-Length"));
        return false;
    }
    qint64 length = 0;
    if (head.fieldCount("Content-Length") > 1) {
        *otherwise = refusal(400, QStringLiteral("more than one Content-Length field"));
        return false;
    }
    if (head.fieldCount("Content-Length") == 1) {
        const QByteArray text = head.field("Content-Length");
        if (!allDigits(text) || text.size() > 9) {
            // Nine digits already say far more than we take.
            *otherwise = text.size() > 9 && allDigits(text)
                ? refusal(413, QStringLiteral("the body is over %1 bytes").arg(kMaxBodyBytes))
                : refusal(400, QStringLiteral("bad Content-Length"));
            return false;
        }
        length = text.toLongLong();
    }
    if (length > kMaxBodyBytes) {
        *otherwise = refusal(413, QStringLiteral("the body is over %1 bytes").arg(kMaxBodyBytes));
        return false;
    }
    const qint64 end = head.headSize() + length;
    if (socket->bytesAvailable() < end) {
        // Reading stops where the body ends, however it is cut into pieces.
        socket->setReadBufferSize(end);
        if (head.fieldHasToken("Expect", "100-continue")
            && socket->bytesAvailable() == head.headSize())
            socket->write("HTTP/1.1 100 Continue\r\n\r\n");
        *otherwise = waiting();
        return false;
    }
    *body = socket->peek(end).mid(head.headSize());
    return true;
}

HttpAnswer ControlApi::upgradeAnswer(const HttpRequestHead &head) const
{
    if (head.method() != "GET")
        return refusal(405, QStringLiteral("use GET"), "Allow: GET\r\n");
    if (!head.fieldHasToken("Upgrade", "websocket") || !head.fieldHasToken("Connection", "upgrade"))
        return refusal(426, QStringLiteral("WebSocket only"), "Upgrade: websocket\r\n");
    if (!clients->hasRoom())
        return refusal(503, QStringLiteral("too many remote controls"));
    HttpAnswer upgrade;
    upgrade.action = HttpAnswer::Action::Upgrade;
    return upgrade;
}

ControlAnswer ControlApi::command(const QByteArray &name, const QByteArray &body)
{
    if (!run)
        return {503, QStringLiteral("the vote does not take commands yet"), QString()};
    const ControlAnswer result = run(name, body);
    if (result.ok() && changed)
        changed();
    return result;
}

void ControlApi::acceptClient(QWebSocket *client, QTcpSocket *raw)
{
    // Checked again: the token may have changed since the upgrade's head was read.
    const QByteArray given = bearerToken(client->request().rawHeader("Authorization"));
    const bool withToken = !given.isEmpty();
    if (token.isEmpty() || (withToken && !RemoteSettings::tokenMatches(token, given))
        || !clients->makeRoom()) {
        client->setParent(this);
        client->close(QWebSocketProtocol::CloseCodePolicyViolated);
        client->deleteLater();
        return;
    }
    setStanding(client, withToken ? Standing::SignedIn : Standing::Waiting);
    connect(client, &QWebSocket::textMessageReceived, this,
            [this, client](const QString &message) { received(client, message.toUtf8()); });
    connect(client, &QWebSocket::binaryMessageReceived, this,
            [this, client](const QByteArray &message) { received(client, message); });
    if (!withToken) {
        QTimer::singleShot(kSignInMs, client, [this, client] {
            if (standings.value(client, Standing::Closing) == Standing::Waiting)
                closeClient(client, QStringLiteral("no token within %1 s").arg(kSignInMs / 1000));
        });
    }
    clients->add(client, raw, withToken ? QString::fromUtf8(state(true)) : QString());
}

void ControlApi::push(const QString &stateMessage)
{
    const QList<QWebSocket *> receivers = clients->list();
    for (QWebSocket *client : receivers) {
        if (standings.value(client) == Standing::SignedIn)
            clients->send(client, stateMessage);
    }
}

void ControlApi::received(QWebSocket *client, const QByteArray &message)
{
    const Standing standing = standings.value(client, Standing::Closing);
    if (standing == Standing::Closing)
        return;
    const QJsonDocument document = QJsonDocument::fromJson(message);
    QJsonObject object = document.object(); // empty unless an object
    if (standing == Standing::Waiting) {
        signIn(client, object);
        return;
    }
    const QJsonValue id = object.value(QStringLiteral("id"));
    const QJsonValue name = object.value(QStringLiteral("command"));
    ControlAnswer result;
    if (!document.isObject())
        result = {400, QStringLiteral("a message must be a JSON object"), QString()};
    else if (!name.isString())
        result = {400, QStringLiteral("\"command\" must name a command"), QString()};
    else {
        object.remove(QStringLiteral("command"));
        object.remove(QStringLiteral("id"));
        result = command(name.toString().toUtf8(), compact(object));
    }
    if (standings.value(client, Standing::Closing) != Standing::SignedIn) // closed meanwhile
        return;
    const QByteArray idField = id.isUndefined() ? QByteArray() : "\"id\":" + jsonText(id) + ',';
    if (result.ok()) {
        clients->send(
            client,
            QString::fromUtf8('{' + idField + "\"ok\":true" + noteField(result.note)
                              + ",\"state\":" + state(false) + '}'));
        return;
    }
    QJsonObject reply {{QStringLiteral("ok"), false},
                       {QStringLiteral("status"), result.status},
                       {QStringLiteral("error"), result.error}};
    if (!id.isUndefined())
        reply.insert(QStringLiteral("id"), id);
    clients->send(client, QString::fromUtf8(compact(reply)));
}

void ControlApi::signIn(QWebSocket *client, const QJsonObject &message)
{
    const QJsonValue given = message.value(QStringLiteral("token"));
    if (throttled()) {
        closeClient(client, QStringLiteral("too many wrong tokens: try again later"));
    } else if (!given.isString()) {
        closeClient(client, QStringLiteral("send {\"token\": \"…\"} first"));
    } else if (!RemoteSettings::tokenMatches(token, given.toString().toUtf8())) {
        failedToken();
        closeClient(client, QStringLiteral("wrong token"));
    } else {
        setStanding(client, Standing::SignedIn);
        clients->send(client, QStringLiteral("{\"ok\":true}"));
        clients->send(client, QString::fromUtf8(state(true)));
    }
}

void ControlApi::setStanding(QWebSocket *client, Standing standing)
{
    const auto found = standings.find(client);
    if (found != standings.end() && *found == Standing::SignedIn)
        --listeners;
    if (standing == Standing::SignedIn)
        ++listeners;
    standings.insert(client, standing);
}

void ControlApi::closeClient(QWebSocket *client, const QString &reason)
{
    if (standings.value(client, Standing::Closing) == Standing::Closing)
        return;
    // Nothing more reaches it; the closing handshake tells it why, and a
    // client that does not answer it is cut a second later.
    setStanding(client, Standing::Closing);
    client->close(QWebSocketProtocol::CloseCodePolicyViolated, reason);
    QTimer::singleShot(1000, client, [this, client] { clients->drop(client); });
}

void ControlApi::forget(QWebSocket *client)
{
    const auto found = standings.find(client);
    if (found == standings.end())
        return;
    if (*found == Standing::SignedIn)
        --listeners;
    standings.erase(found);
    client->disconnect(this);
}
