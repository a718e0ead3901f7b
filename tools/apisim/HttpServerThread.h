#pragma once

#include <QByteArray>

#include <httplib.h>

#include <atomic>
#include <memory>
#include <thread>

// An httplib server on 127.0.0.1 serving from a thread of its own: the
// simulated API's and the tests' HTTP(S) peer. Install the handlers on
// server() before start().
class HttpServerThread
{
public:
    // Plain HTTP, or the given server (an httplib::SSLServer for HTTPS).
    HttpServerThread();
    explicit HttpServerThread(std::unique_ptr<httplib::Server> server);
    // Stops; handlers still running must return for that to end.
    ~HttpServerThread();

    HttpServerThread(const HttpServerThread &) = delete;
    HttpServerThread &operator=(const HttpServerThread &) = delete;

    httplib::Server &server() { return *http; }

    // Port 0 takes a free one. False when the port cannot be had.
    bool start(quint16 port = 0);
    void stop();

    quint16 port() const { return boundPort; }
    // "<scheme>://127.0.0.1:<port>"
    QByteArray baseUrl(const QByteArray &scheme = "http") const;

private:
    std::unique_ptr<httplib::Server> http;
    std::thread serving;
    std::atomic<bool> listenEnded {false};
    quint16 boundPort = 0;
};
