#include "ScriptPlayer.h"

#include "RoomSimulator.h"

#include <QFile>
#include <QTimer>

namespace {

// Frames sent before the event loop gets a turn, so a long script without
// sleeps neither freezes the window nor starves the sockets.
constexpr int kFramesPerTurn = 256;

} // namespace

ScriptPlayer::ScriptPlayer(RoomSimulator &sim, QObject *parent)
    : QObject(parent)
    , simulator(sim)
{
    connect(&simulator, &RoomSimulator::audienceArrived, this, [this] {
        if (!armed || done)
            return;
        begun = true;
        if (!sleeping)
            step();
    });
}

QString ScriptPlayer::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read script %1: %2").arg(path, file.errorString());
    const QString error = parse(file.readAll());
    return error.isEmpty() ? QString() : path + QStringLiteral(": ") + error;
}

QString ScriptPlayer::parse(const QByteArray &text)
{
    QList<Entry> entries;
    QByteArray body = text;
    if (body.startsWith("\xEF\xBB\xBF"))
        body.remove(0, 3);
    const QList<QByteArray> lines = body.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray word = line.trimmed();
        if (word.isEmpty() || word.startsWith('#'))
            continue;
        Entry entry;
        entry.line = i + 1;
        if (word == "drop") {
            entry.kind = Entry::Drop;
        } else if (word == "sleep" || word.startsWith("sleep ") || word.startsWith("sleep\t")) {
            bool ok = false;
            const int ms = word.mid(5).trimmed().toInt(&ok);
            if (!ok || ms < 0)
                return QStringLiteral("line %1: \"sleep\" needs a number of milliseconds")
                    .arg(i + 1);
            entry.kind = Entry::Sleep;
            entry.sleepMs = ms;
        } else {
            entry.kind = Entry::Send;
            entry.frame = line;
        }
        entries.append(entry);
    }
    script = entries;
    next = 0;
    done = false;
    return QString();
}

void ScriptPlayer::start()
{
    armed = true;
    if (simulator.hasAudience()) {
        begun = true;
        step();
    }
}

void ScriptPlayer::step()
{
    stepQueued = false;
    if (!begun || sleeping || done)
        return;
    int burst = 0;
    while (next < script.size()) {
        const Entry &entry = script.at(next);
        switch (entry.kind) {
        case Entry::Sleep:
            ++next;
            sleeping = true;
            QTimer::singleShot(entry.sleepMs, this, [this] {
                sleeping = false;
                step();
            });
            return;
        case Entry::Drop:
            ++next;
            simulator.dropClients();
            break;
        case Entry::Send:
            // Resumed by audienceArrived once a client is back.
            if (!simulator.sendEvent(entry.frame))
                return;
            ++next;
            if (++burst >= kFramesPerTurn) {
                if (!stepQueued) {
                    stepQueued = true;
                    QTimer::singleShot(0, this, &ScriptPlayer::step);
                }
                return;
            }
            break;
        }
    }
    done = true;
    emit finished();
}
