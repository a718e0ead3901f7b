#include "RoomThread.h"

#include "CrowdDriver.h"
#include "FloodMeasures.h"
#include "RoomSimulator.h"

#include "bridge/RoomEventWriter.h"

#include <QTimer>

RoomThread::RoomThread(const CrowdGenerator::Options &crowd, SendStamps &stamps)
    : options(crowd)
{
    thread.start();
    context.moveToThread(&thread);
    run([&] {
        simulator = std::make_unique<RoomSimulator>(RoomSimulator::AuthReply(),
                                                    SendSummary(crowd.teams, crowd.gifts));
        simulator->listen(0);
        simulator->setFrameObserver([&stamps](qint64 frames) { stamps.written(frames); });
        driver = std::make_unique<CrowdDriver>(*simulator, crowd);
        introTimer = std::make_unique<QTimer>();
    });
}

RoomThread::~RoomThread()
{
    run([this] {
        introTimer.reset();
        driver.reset();
        simulator.reset();
    });
    thread.quit();
    thread.wait();
}

void RoomThread::run(const std::function<void()> &work)
{
    QMetaObject::invokeMethod(&context, work, Qt::BlockingQueuedConnection);
}

quint16 RoomThread::port()
{
    quint16 port = 0;
    run([&] { port = simulator->port(); });
    return port;
}

bool RoomThread::hasAudience()
{
    bool audience = false;
    run([&] { audience = simulator->hasAudience(); });
    return audience;
}

void RoomThread::introduceViewers(std::atomic<bool> &done)
{
    run([this, &done] {
        const QByteArrayList nicks = CrowdGenerator(options).nicks();
        auto next = std::make_shared<int>(0);
        const int total = int(nicks.size()) * 4;
        QObject::connect(introTimer.get(), &QTimer::timeout, introTimer.get(),
                         [this, nicks, next, total, &done] {
                             for (int burst = 0; burst < 2000 && *next < total; ++burst) {
                                 if (simulator->pendingBytes() > CrowdDriver::kHighWaterBytes)
                                     return;
                                 const QByteArray &nick = nicks.at(*next / 4);
                                 const int team = *next % 2;
                                 const QByteArray id = simulator->nextMessageId();
                                 simulator->sendEvent(
                                     *next % 4 >= 2 ? RoomEventWriter::giftEvent(
                                         id, nick, options.gifts.at(team), 1)
                                                    : RoomEventWriter::chatEvent(
                                                        id, nick, options.teams.at(team).toUtf8()));
                                 ++*next;
                             }
                             if (*next >= total) {
                                 introTimer->stop();
                                 done = true;
                             }
                         });
        introTimer->start(1);
    });
}

void RoomThread::crowd(bool running, double rate)
{
    run([=] {
        driver->setFlatOut(rate <= 0);
        if (rate > 0)
            driver->setRate(rate);
        driver->setRunning(running);
    });
}

bool RoomThread::settled()
{
    bool done = false;
    run([&] { done = simulator->isSettled(); });
    return done;
}

QMap<QString, qint64> RoomThread::expected(bool gifts, int team)
{
    QMap<QString, qint64> byNick;
    run([&] {
        const SendSummary &summary = simulator->delivered();
        byNick = gifts ? summary.giftPiecesByNick(options.gifts.at(team - 1))
                       : summary.chatVotesByNick(options.teams.at(team - 1));
    });
    return byNick;
}
