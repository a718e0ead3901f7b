#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class VoteCommands;

// What the control API answers a command: 200 when done; otherwise the
// status (400 a bad body, 404 an unknown command, 409 refused now) and the
// sentence that says why.
struct ControlAnswer
{
    int status = 200;
    QString error;
    QString note; // done, with something to know (a preset's gift kept)

    bool ok() const { return status == 200; }
};

// The control API's one table from a command's name and JSON body to the
// vote's commands (see docs/remote-control.md):
//   start, stop, toggle, clear-totals, clear-voters,
//   countdown-start {"seconds": N}  (N optional: the window's duration),
//   countdown-stop, add / subtract {"team": 1-4, "amount": N},
//   preset-save {"name": "…", "countdown": N}  (N optional: no countdown),
//   preset-load / preset-start {"preset": N or "name"}  (404 when there is none).
// An empty body is an empty object.
ControlAnswer runControlCommand(VoteCommands &commands, const QByteArray &name,
                                const QByteArray &body);

// The names the table knows, in the order the documentation lists them.
QStringList controlCommandNames();

// The presets for GET /control/presets: [{"number": 1, "name": "…",
// "question": "…", "mode": 2, "vote_type": "chat", "countdown_seconds": 0}, …].
QByteArray controlPresetsJson(const VoteCommands &commands);
