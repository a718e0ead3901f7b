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

    bool ok() const { return status == 200; }
};

// The control API's one table from a command's name and JSON body to the
// vote's commands (see docs/remote-control.md):
//   start, stop, toggle, clear-totals, clear-voters,
//   countdown-start {"seconds": N}  (N optional: the window's duration),
//   countdown-stop, add / subtract {"team": 1-4, "amount": N}.
// An empty body is an empty object.
ControlAnswer runControlCommand(VoteCommands &commands, const QByteArray &name,
                                const QByteArray &body);

// The names the table knows, in the order the documentation lists them.
QStringList controlCommandNames();
