#include "SimSession.h"

#include "CrowdDriver.h"
#include "RoomSimulator.h"
#include "ScriptPlayer.h"

#include "bridge/RoomEventWriter.h"

SimSession::SimSession(const SimOptions &options, LineWriter writeLine, QObject *parent)
    : QObject(parent)
    , settings(options)
    , out(std::move(writeLine))
{
    room = std::make_unique<RoomSimulator>(
        settings.auth, SendSummary(settings.crowdOptions.teams, settings.crowdOptions.gifts));
    room->setDropEvery(settings.dropEvery);
    connect(room.get(), &RoomSimulator::eventLog, this,
            [this](const QString &line) { out(line.toUtf8()); });
    if (!settings.quiet) {
        connect(room.get(), &RoomSimulator::frameLog, this,
                [this](const QString &line) { out(line.toUtf8()); });
    }
    connect(room.get(), &RoomSimulator::shutDownComplete, this, [this] { emit finished(0); });
    connect(room.get(), &RoomSimulator::settled, this, &SimSession::checkRunEnd);

    crowdDriver = std::make_unique<CrowdDriver>(*room, settings.crowdOptions);
    crowdDriver->setRate(settings.rate);
    crowdDriver->setLimit(settings.count);
    connect(crowdDriver.get(), &CrowdDriver::finished, this, &SimSession::checkRunEnd);
}

SimSession::~SimSession()
{
    // The players hold a reference to the simulator; they go first.
    script.reset();
    crowdDriver.reset();
    room.reset();
}

QString SimSession::start()
{
    if (!settings.scriptPath.isEmpty()) {
        script = std::make_unique<ScriptPlayer>(*room);
        const QString error = script->load(settings.scriptPath);
        if (!error.isEmpty())
            return error;
        connect(script.get(), &ScriptPlayer::finished, this, &SimSession::checkRunEnd);
    }
    if (!room->listen(settings.port))
        return QStringLiteral("cannot listen on 127.0.0.1:%1: %2")
            .arg(settings.port)
            .arg(room->errorString());
    out("listening " + QByteArray::number(room->port()));

    if (script)
        script->start();
    if (settings.crowd)
        crowdDriver->setRunning(true);
    return QString();
}

bool SimSession::sendChat(const QByteArray &nick, const QByteArray &text)
{
    if (!room->hasAudience())
        return false;
    return room->sendEvent(RoomEventWriter::chatEvent(room->nextMessageId(), nick, text));
}

bool SimSession::sendGift(const QByteArray &nick, const QByteArray &productId, int buyCount)
{
    if (!room->hasAudience())
        return false;
    return room->sendEvent(
        RoomEventWriter::giftEvent(room->nextMessageId(), nick, productId, buyCount));
}

void SimSession::checkRunEnd()
{
    // The run is what the command line started; an endless crowd never ends it.
    const bool hasScript = script != nullptr;
    if (summed || (!hasScript && !settings.crowd))
        return;
    if (hasScript && !script->isFinished())
        return;
    if (settings.crowd && !crowdDriver->isFinished())
        return;
    if (!ended) {
        ended = true;
        out("run ended: " + QByteArray::number(room->summary().sent()) + " message(s) sent");
        emit runEnded();
    }
    // The summary is what reached the clients: it waits until every message
    // sent is written, or given up with the client it was queued for.
    if (summed || !room->isSettled())
        return;
    summed = true;
    if (settings.summary)
        out("summary " + room->delivered().toJson());
    if (settings.exitWhenDone)
        room->shutDown();
}
