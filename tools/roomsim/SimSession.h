#pragma once

#include "SimOptions.h"

#include <QObject>

#include <functional>
#include <memory>

class CrowdDriver;
class RoomSimulator;
class ScriptPlayer;

// One run of the simulator as the command line describes it: the server,
// the crowd, the script, the stdout lines, and the end of the run (summary,
// then quitting when asked). The window drives the same session.
class SimSession : public QObject
{
    Q_OBJECT

public:
    // Receives each stdout line, without its newline.
    using LineWriter = std::function<void(const QByteArray &line)>;

    SimSession(const SimOptions &options, LineWriter writeLine, QObject *parent = nullptr);
    ~SimSession() override;

    // Loads the script and starts listening; an error message, empty on success.
    QString start();

    RoomSimulator &simulator() { return *room; }
    CrowdDriver &crowd() { return *crowdDriver; }
    const SimOptions &options() const { return settings; }

    // One viewer's chat line or gift, sent by hand; false when no client is authenticated.
    bool sendChat(const QByteArray &nick, const QByteArray &text);
    bool sendGift(const QByteArray &nick, const QByteArray &productId, int buyCount);

signals:
    void runEnded();
    // The run ended with --exit-when-done and every client link is closed.
    void finished(int exitCode);

private:
    void checkRunEnd();

    SimOptions settings;
    LineWriter out;
    std::unique_ptr<RoomSimulator> room;
    std::unique_ptr<CrowdDriver> crowdDriver;
    std::unique_ptr<ScriptPlayer> script;
    bool ended = false;
    bool summed = false; // the summary is written (or would be)
};
