#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

class RoomSimulator;

// Plays a script of room events: one entry per line, empty lines and lines
// starting with '#' skipped, "sleep <ms>" pauses, "drop" closes the client
// links, anything else is sent verbatim as one text frame. Playing starts
// once a client is authenticated; a frame waits while none is.
class ScriptPlayer : public QObject
{
    Q_OBJECT

public:
    struct Entry
    {
        enum Kind { Send, Sleep, Drop } kind = Send;
        QByteArray frame;
        int sleepMs = 0;
        int line = 0;
    };

    explicit ScriptPlayer(RoomSimulator &simulator, QObject *parent = nullptr);

    // Reads the script; an error message, empty on success.
    QString load(const QString &path);
    QString parse(const QByteArray &text);

    const QList<Entry> &entries() const { return script; }

    void start();
    bool isFinished() const { return done; }

signals:
    void finished();

private:
    void step();

    RoomSimulator &simulator;
    QList<Entry> script;
    int next = 0;
    bool armed = false;
    bool begun = false;
    bool sleeping = false;
    bool stepQueued = false;
    bool done = false;
};
