#include "HttpServerThread.h"

#include <chrono>

HttpServerThread::HttpServerThread()
    : HttpServerThread(std::make_unique<httplib::Server>())
{}

HttpServerThread::HttpServerThread(std::unique_ptr<httplib::Server> server)
    : http(std::move(server))
{
    // A short keep-alive, so that stopping never waits long for an idle client.
    http->set_keep_alive_timeout(1);
}

HttpServerThread::~HttpServerThread()
{
    stop();
}

bool HttpServerThread::start(quint16 port)
{
    if (serving.joinable())
        return false;
    const int bound = port == 0 ? http->bind_to_any_port("127.0.0.1")
                                : (http->bind_to_port("127.0.0.1", port) ? int(port) : -1);
    if (bound <= 0)
        return false;
    boundPort = quint16(bound);
    listenEnded = false;
    serving = std::thread([this] {
        http->listen_after_bind();
        listenEnded = true;
    });
    // stop() takes effect only once the server runs.
    while (!http->is_running() && !listenEnded)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (listenEnded) {
        serving.join();
        boundPort = 0;
        return false;
    }
    return true;
}

void HttpServerThread::stop()
{
    if (!serving.joinable())
        return;
    http->stop();
    serving.join();
    boundPort = 0;
}

QByteArray HttpServerThread::baseUrl(const QByteArray &scheme) const
{
    QByteArray url = scheme;
    url += "://127.0.0.1:";
    url += QByteArray::number(boundPort);
    return url;
}
