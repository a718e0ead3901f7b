#pragma once

#include <QObject>

class QSocketNotifier;

// The system's requests to stop (SIGTERM at logout or from `kill`, SIGINT
// from Ctrl-C) as a Qt signal on the thread that made this object, so that a
// program ends as when its window is closed: the vote record gets its clean
// end. One at a time; the earlier handlers come back when it goes.
class StopSignals : public QObject
{
    Q_OBJECT

public:
    explicit StopSignals(QObject *parent = nullptr);
    ~StopSignals() override;

signals:
    void stopRequested(int signalNumber);

private:
    QSocketNotifier *notifier = nullptr;
};
