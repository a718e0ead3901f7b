#pragma once

#include "records/VoteRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>

// The records folder: one journal per vote named after its start time
// ("20240501-201503-123.jsonl"), a small summary beside each one that was read
// whole ("….summary.json"), a lock file while a program writes it.
namespace VoteRecordFolder {

QString journalPath(const QString &folder, const QString &id);

// The ids of the records in the folder, newest first.
QStringList ids(const QString &folder);

// An id for a record starting now (local time, milliseconds), unused in the folder.
QString newId(const QString &folder);

// Deletes the oldest records past the newest `keep`; never `except` nor one in use.
void prune(const QString &folder, int keep, const QString &except);

// A running program writes the record.
bool inUse(const QString &folder, const QString &id);

// A record as the list of past votes shows it.
struct Listing
{
    struct Team
    {
        int index = 0;
        QString name;
        qint64 total = 0; // when the vote ended (before a closing 清空票数)
    };

    QString id;
    QByteArray started; // local time text of the first line
    QByteArray ended; // of the last line; empty until counted
    QString question;
    int mode = 2;
    QList<Team> teams; // the shown teams
    bool cleanEnd = false;
    bool inUse = false;
    bool counted = false; // totals are known (else only the head and the end were read)
    int tornLines = 0;

    // Milliseconds from start to end; -1 when unknown.
    qint64 durationMs() const;
    // "12分05秒", "1小时02分"; empty when unknown.
    QString durationText() const;
};

Listing listingOf(const RecordedVote &vote);

// Every record, newest first, from the summaries kept beside the journals.
// A record without a summary, or with one its journal has outgrown, comes
// from its first line only (`counted` false): summarise() reads it whole.
QList<Listing> list(const QString &folder);

// Reads record `id` whole, keeps its summary beside it and returns it (and
// the vote itself when asked). False when the journal cannot be read or
// `cancel` was set meanwhile.
bool summarise(const QString &folder, const QString &id, Listing &listing,
               RecordedVote *vote = nullptr, const std::atomic<bool> *cancel = nullptr);

// The newest record when it ended without a clean end, nobody writes it and
// nobody was told of it yet; it counts as told from now on. Empty otherwise.
QString takeUncleanNewest(const QString &folder);

} // namespace VoteRecordFolder
