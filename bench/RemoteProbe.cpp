#include "RemoteProbe.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QThread>

namespace {

// Far past any goal: only a request never answered takes this long.
constexpr int kTimeoutMs = 10000;

// The whole answer is in: its head, and the body's Content-Length bytes.
bool complete(const QByteArray &answer)
{
    const auto headEnd = answer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QByteArray head = answer.left(headEnd + 2).toLower();
    const QByteArray field = "\r\ncontent-length:";
    const auto at = head.indexOf(field);
    if (at < 0)
        return true; // no body
    const auto value = at + field.size();
    return answer.size() >= headEnd + 4
        + head.mid(value, head.indexOf("\r\n", value) - value).trimmed().toLongLong();
}

} // namespace

RemoteProbe::RemoteProbe(quint16 port, const QByteArray &token)
    : port(port)
    , token(token)
{}

RemoteProbe::~RemoteProbe()
{
    if (thread)
        finish();
}

void RemoteProbe::start(double gapMs)
{
    thread.reset(QThread::create([this, gapMs] { loop(gapMs); }));
    thread->start();
}

RemoteProbe::Result RemoteProbe::finish()
{
    stopping = true;
    QEventLoop waiting;
    QObject::connect(thread.get(), &QThread::finished, &waiting, &QEventLoop::quit);
    if (!thread->isFinished())
        waiting.exec();
    thread->wait();
    thread.reset();
    return result;
}

void RemoteProbe::loop(double gapMs)
{
    const QByteArray one = R"({"team":1,"amount":1})";
    const QByteArrayList cycle[] = {
        {"POST", "add", one}, {"GET", "state", ""}, {"POST", "subtract", one}};
    do {
        for (const QByteArrayList &request : cycle) {
            QThread::usleep((unsigned long)(gapMs * 1000));
            if (!send(request.at(0), request.at(1), request.at(2)))
                return;
        }
    } while (!stopping);
}

bool RemoteProbe::send(const QByteArray &method, const QByteArray &command, const QByteArray &body)
{
    const QByteArray requestLine = method + " /control/" + command + " HTTP/1.1";
    QByteArray request = requestLine + "\r\nHost: 127.0.0.1:" + QByteArray::number(port)
        + "\r\nAuthorization: Bearer " + token + "\r\n";
    if (method == "POST")
        request += "Content-Type: application/json\r\nContent-Length: "
            + QByteArray::number(body.size()) + "\r\n";
    request += "\r\n" + body;

    QElapsedTimer clock;
    clock.start();
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    QByteArray answer;
    if (socket.waitForConnected(kTimeoutMs)) {
        socket.write(request);
        for (;;) {
            answer += socket.readAll();
            if (complete(answer))
                break;
            const int left = kTimeoutMs - int(clock.elapsed());
            if (left <= 0 || !socket.waitForReadyRead(left)) {
                answer += socket.readAll();
                break;
            }
        }
    }
    const double ms = double(clock.nsecsElapsed()) / 1e6;

    const QByteArray statusLine = answer.left(answer.indexOf("\r\n"));
    const QByteArray answerBody = answer.mid(answer.indexOf("\r\n\r\n") + 4);
    const bool ok = complete(answer) && statusLine.startsWith("HTTP/1.1 200 ")
        && answerBody.startsWith("{\"ok\":true,") && answerBody.contains("\"state\":");
    if (ok)
        result.ms.push_back(ms);
    else if (result.failed++ == 0)
        result.firstFailure = requestLine + " -> "
            + (answer.isEmpty() ? "no answer: " + socket.errorString().toUtf8()
                                : statusLine + ' ' + answerBody.left(200));
    return ok;
}
