#pragma once

#include "bridge/BridgeOptions.h"

#include <QPointer>
#include <QString>

#include <string>
#include <vector>

class kivaPlugInVote;
class kivaPlugMeng;

// Process-wide: the guide overlay (null until created) and the one vote
// window, which goes back to null when the window deletes itself.
extern kivaPlugMeng *guideOverlay;
extern QPointer<kivaPlugInVote> voteWindow;

// The fixed launch arguments: the program path (first entry of the real
// command line, empty when there is none), "11111" and "vote".
std::vector<std::string> launchArguments(int argc, char **argv);

enum class StartResult {
    Ran, // the vote window ran and its run has ended
    WrongGame, // the game name is not "vote"
    AlreadyRunning, // a vote window already exists in this process
};

// Shows the guide overlay, then creates and runs the vote window modally.
// The program's window serves the results page on KIVA_OVERLAY_PORT and keeps
// the vote records in the user's data folder; with other bridge options
// (tests) it serves the page on `overlayPort` (-1: none) and keeps records in
// `recordsFolder` (empty: none). With `userSettings` (the program's) it also
// offers the presets and the remote control kept in the user's data folder.
StartResult startPlugin(const char *game);
StartResult startPlugin(const char *game, const BridgeOptions &bridge, int overlayPort = -1,
                        const QString &recordsFolder = QString(), bool userSettings = false);

// The system asks the program to stop (logout, `kill`, Ctrl-C): the run ends
// as when the streamer closes the window, so the vote record ends cleanly;
// during the guide, the vote window does not open at all.
void stopPlugin();

// Everything after the application object exists: runs the plug-in and
// returns the process exit status (0 when the vote window's run ends, 2
// after a refusal, which shows the start failure reminder).
int runPlugin(const char *game);
int runPlugin(const char *game, const BridgeOptions &bridge, int overlayPort = -1,
              const QString &recordsFolder = QString(), bool userSettings = false);
