#pragma once

#include "bridge/BridgeOptions.h"

#include <string>
#include <vector>

class kivaPlugInVote;
class kivaPlugMeng;

// Process-wide: the guide overlay and the one vote window, null until created.
// Both are set once and never cleared: `voteWindow` records that the window was
// made and is only compared with null (the window deletes itself when its run ends).
extern kivaPlugMeng *guideOverlay;
extern kivaPlugInVote *voteWindow;

// The fixed launch arguments: the program path (first entry of the real
// command line, empty when there is none), "11111" and "vote".
std::vector<std::string> launchArguments(int argc, char **argv);

// Shows the guide overlay, then creates and runs the vote window modally.
// Returns 0 once the vote window's run ends, -1 when the plug-in cannot start.
int startPlugin(const char *game);
int startPlugin(const char *game, const BridgeOptions &bridge);

// Everything after the application object exists: runs the plug-in and
// returns the process exit status (0 when the vote window's run ends, 2 after
// the refusal reminder).
int runPlugin(const char *game);
int runPlugin(const char *game, const BridgeOptions &bridge);
