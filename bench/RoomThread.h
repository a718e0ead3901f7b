#pragma once

#include "CrowdGenerator.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>
#include <memory>

class CrowdDriver;
class RoomSimulator;
class SendStamps;
class QTimer;

// The room simulator and its crowd, living on a thread of their own. Team
// n (1, 2) is the crowd's n-th team name and n-th gift.
class RoomThread
{
public:
    RoomThread(const CrowdGenerator::Options &crowd, SendStamps &stamps);
    ~RoomThread();

    // Runs `work` on the simulator's thread and waits for it.
    void run(const std::function<void()> &work);

    quint16 port();
    bool hasAudience();

    // Every viewer votes once for each team, by chat and by gift, as fast as
    // the link takes it; `done` once all are sent. Both the board and the
    // simulator's tally then know every viewer, whatever the vote type.
    void introduceViewers(std::atomic<bool> &done);

    // The crowd on or off; a rate of 0 or less is flat out.
    void crowd(bool running, double rate);

    // Nothing the simulator sent is still waiting to be written or given up.
    bool settled();

    // Each team's expected tallies by viewer: what the simulator wrote to the
    // window's connection (a message queued for a link that broke is not in it).
    QMap<QString, qint64> expected(bool gifts, int team);

private:
    CrowdGenerator::Options options;
    QThread thread;
    QObject context;
    std::unique_ptr<RoomSimulator> simulator;
    std::unique_ptr<CrowdDriver> driver;
    std::unique_ptr<QTimer> introTimer;
};
