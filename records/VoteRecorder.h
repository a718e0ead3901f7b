#pragma once

#include "records/VoteJournal.h"
#include "vote/TeamRecord.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

enum class RecordKind : int;
class VoteSession;
struct CountResult;

// Keeps the vote's record as it happens: the window tells it each change
// right after the session made it, and it appends one journal line per
// event. A record opens at the first start, stays open across stops and
// starts, and ends with a clear of the totals (or when the window closes).
//
// Lines are handed to the operating system before the window next paints or
// the results page next publishes: the owner calls flush() at both, and the
// first line of each batch queues a flush that runs before the event loop
// paints anything.
//
// A folder or disk that fails does not stop the vote: the records go off and
// recordsOff() says why, once.
class VoteRecorder : public QObject
{
    Q_OBJECT

public:
    explicit VoteRecorder(const QString &folder, QObject *parent = nullptr);
    ~VoteRecorder() override;

    const QString &folder() const { return recordsFolder; }
    bool isOff() const { return off; }
    // The open record's id; empty when none is open.
    QString recordId() const;

    void started(const VoteSession &session, const QString &question);
    void stopped(const VoteSession &session, const QString &question);
    // A chat line or a gift went through counting with `result`.
    void countedChat(const VoteSession &session, const char *nick, const char *text,
                     const CountResult &result);
    void countedGift(const VoteSession &session, const char *nick, const char *productId,
                     int buyTimes, const CountResult &result);
    // The streamer added (or subtracted) `amount` to team `index` by hand.
    void corrected(const VoteSession &session, int index, qint64 amount, bool add);
    // The last event of a record: the next start opens a new one, or at once
    // a new one opens when counting goes on.
    void totalsCleared(const VoteSession &session, const QString &question);
    void votersCleared();
    void countdownStarted(qint32 seconds);
    void countdownStopped();
    void timeUp();
    // The window closes: the record ends cleanly.
    void closed();

    // Goes on with record `id` (a restored vote): the open record, if another,
    // ends. False with `error` when the record cannot be opened.
    bool resume(const QString &id, QString *error);
    // The session now holds the restored vote.
    void resumed(const VoteSession &session);

    // Hands the buffered lines to the operating system.
    void flush();

signals:
    // The records went off (`reason` in Chinese); emitted once.
    void recordsOff(const QString &reason);

private:
    bool openNew();
    void end(const char *reason);
    void goOff(const QString &reason);
    // Starts a line of `kind` in the journal's buffer; false when no record takes lines.
    bool begin(RecordKind kind);
    void finish();
    void writeSettings(RecordKind kind, const VoteSession &session, const QString &question);
    void writeCarry(const VoteSession &session);
    void writeCounted(const VoteSession &session, const char *nick, const CountResult &result,
                      const char *productId, int buyTimes);
    void writeIgnored(const char *nick, int index, const CountResult &result);
    void learnTotals(const VoteSession &session);
    void appendTime();

    QString recordsFolder;
    std::unique_ptr<VoteJournal> journal;
    QByteArray *line = nullptr; // the journal's buffer while a line is built
    bool off = false;
    bool flushQueued = false;
    qint64 known[kTeamCount + 1] = {}; // each team's total as recorded so far

    // The time text of the current second, so a line costs no date arithmetic.
    qint64 clockSecond = -1;
    QByteArray clockPrefix; // "2024-05-01T20:15:03."
    QByteArray clockZone; // "+08:00"
};
