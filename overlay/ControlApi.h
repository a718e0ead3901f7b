#pragma once

#include "remote/ControlCommands.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class HttpRequestHead;
class QJsonObject;
class QTcpSocket;
class QWebSocket;
class WebSocketClients;

// What the page's server is to do with a request.
struct HttpAnswer
{
    enum class Action {
        Respond, // status, a JSON body and extra header fields
        Wait, // for the rest of the body
        Upgrade, // to a WebSocket
    };
    Action action = Action::Respond;
    int status = 500;
    QByteArray body;
    QByteArray extraFields; // whole lines, each ending with CRLF
};

// The vote driven from other programs on this machine (a Stream Deck key,
// Companion, a script), on the page's server; off until a token is set. The
// protocol is in docs/remote-control.md:
//   POST /control/<command>   a command of runControlCommand's table, JSON body
//   GET  /control/state       the page's state
//   GET  /control/ws          WebSocket: the page's pushes, commands as JSON
// Every request needs the token ("Authorization: Bearer <token>", or on the
// WebSocket a first message {"token": "…"}), and one carrying Origin comes
// from a web page, which must never drive the vote: refused whatever it holds.
// kMaxFailedTokens wrong tokens within the failure window shut the door on
// every request (429) for as long again, with one warning in the log.
class ControlApi : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<ControlAnswer(const QByteArray &command, const QByteArray &body)>;
    // The state as the page gets it; `joining` for a client's first one.
    using StateJson = std::function<QByteArray(bool joining)>;

    static constexpr int kMaxBodyBytes = 4096;
    static constexpr int kMaxFailedTokens = 5;
    static constexpr int kFailureWindowMs = 10000;
    // A WebSocket without the token in its upgrade has this long to send it.
    static constexpr int kSignInMs = 5000;
    static constexpr int kMaxClients = 16;

    // `changed` is called after every command done, so that the pages follow.
    ControlApi(StateJson state, std::function<void()> changed, QObject *parent = nullptr);
    ~ControlApi() override;

    // "/control" and below.
    static bool isControlPath(const QByteArray &path);
    static bool isSocketPath(const QByteArray &path);
    // The answer to a request whose body never came in full.
    static HttpAnswer bodyTimedOut();

    void setHandler(Handler handler) { run = std::move(handler); }
    // The presets for GET /control/presets, a JSON array.
    void setPresetList(std::function<QByteArray()> list) { presets = std::move(list); }
    // An empty token turns remote control off. Either way, WebSocket clients
    // signed in with the old one are closed.
    void setToken(const QByteArray &token);
    void setFailureWindowMs(int ms) { failureWindowMs = ms; }

    // For a request to a control path with its head complete. Reads the body
    // from `socket`, never past its end nor past kMaxBodyBytes.
    HttpAnswer answer(QTcpSocket *socket, const HttpRequestHead &head);
    // A WebSocket upgraded on isSocketPath(); `raw` as WebSocketClients::add.
    void acceptClient(QWebSocket *client, QTcpSocket *raw);
    // Signed-in WebSocket clients, who get the pushes. O(1).
    bool hasListeners() const { return listeners > 0; }
    void push(const QString &state);
    WebSocketClients *socketClients() const { return clients; }

private:
    // Of a control client: waiting for the token, signed in, or being closed by us.
    enum class Standing { Waiting, SignedIn, Closing };

    bool refused(const HttpRequestHead &head, bool tokenOptional, HttpAnswer *refusal);
    bool readBody(QTcpSocket *socket, const HttpRequestHead &head, QByteArray *body,
                  HttpAnswer *otherwise) const;
    HttpAnswer upgradeAnswer(const HttpRequestHead &head) const;
    ControlAnswer command(const QByteArray &name, const QByteArray &body);
    bool throttled();
    void failedToken();
    void received(QWebSocket *client, const QByteArray &message);
    void signIn(QWebSocket *client, const QJsonObject &message);
    void setStanding(QWebSocket *client, Standing standing);
    void closeClient(QWebSocket *client, const QString &reason);
    void forget(QWebSocket *client);

    StateJson state;
    std::function<void()> changed;
    Handler run;
    std::function<QByteArray()> presets;
    QByteArray token;
    WebSocketClients *clients = nullptr;
    QHash<QWebSocket *, Standing> standings; // of every control client
    int listeners = 0; // clients signed in
    QElapsedTimer clock;
    int failureWindowMs = kFailureWindowMs;
    QList<qint64> failureTimes; // the last wrong tokens' times, oldest first
    qint64 lockedUntilMs = -1;
};
