#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <memory>
#include <vector>

class QThread;

// The remote control's round trip as a client on this machine sees it. On a
// thread of its own (on the window's thread it would time itself), it sends
// control commands to the results page's server over HTTP, one at a time as
// a key pad does, each on a connection of its own (the server closes after
// every answer), and times each from connecting to the answer's last byte.
//
// It cycles through POST add {"team":1,"amount":1}, GET state and POST
// subtract of the same, and stops only at a cycle's end: counting stays on
// and team 1's total comes back to what the room's votes made it.
class RemoteProbe
{
public:
    struct Result
    {
        std::vector<double> ms; // each OK answer's round trip
        int failed = 0; // requests answered other than 200 with the state, or not at all
        QByteArray firstFailure; // its request line and what came back
    };

    RemoteProbe(quint16 port, const QByteArray &token);
    ~RemoteProbe();

    // Starts sending, a request `gapMs` after each answer.
    void start(double gapMs);
    // Ends after the cycle under way, or at the first failure (the rest of its
    // cycle could not even it out). The calling thread's events are served
    // meanwhile, since the window's answers may depend on them.
    Result finish();

private:
    void loop(double gapMs);
    bool send(const QByteArray &method, const QByteArray &command, const QByteArray &body);

    quint16 port;
    QByteArray token;
    std::atomic<bool> stopping {false};
    std::unique_ptr<QThread> thread;
    Result result; // the probe's thread's until it ends
};
