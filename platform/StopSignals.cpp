#include "platform/StopSignals.h"

#include <QSocketNotifier>

#ifndef Q_OS_WIN
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A handler may only write to a descriptor: the signal's number goes through
// a socket pair to the event loop.
int pipeEnds[2] = {-1, -1};
const int kStopSignals[] = {SIGTERM, SIGINT};
struct sigaction earlier[2];

void onStopSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{
    if (pipeEnds[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, pipeEnds) != 0)
        return;
    for (int end : pipeEnds) {
        ::fcntl(end, F_SETFL, ::fcntl(end, F_GETFL) | O_NONBLOCK);
        ::fcntl(end, F_SETFD, FD_CLOEXEC);
    }
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this] {
        char byte = 0;
        while (::read(pipeEnds[0], &byte, 1) == 1)
            emit stopRequested(int(byte));
    });
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 2; ++i)
        ::sigaction(kStopSignals[i], &action, &earlier[i]);
}

StopSignals::~StopSignals()
{
    if (!notifier)
        return;
    for (int i = 0; i < 2; ++i)
        ::sigaction(kStopSignals[i], &earlier[i], nullptr);
    delete notifier;
    for (int &end : pipeEnds) {
        ::close(end);
        end = -1;
    }
}

#else

// Windows programs without a console get no such signals; nothing to watch.
StopSignals::StopSignals(QObject *parent)
    : QObject(parent)
{}

StopSignals::~StopSignals() = default;

#endif
