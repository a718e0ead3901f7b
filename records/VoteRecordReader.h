#pragma once

#include "records/VoteRecord.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

// Reads a vote's journal back: the one reader of records, for the window,
// the export and the kiva-records tool.
namespace VoteRecordReader {

// Called with each row as it is read and the vote as it stands after it.
using RowVisitor = std::function<void(const RecordRow &row, const RecordedVote &vote)>;

// Replays the journal at `path` into `vote`: the totals, the voters in the
// order the board showed them, the newest settings, the ignored votes. Lines
// that cannot be read (one cut off mid-write) are skipped and counted in
// tornLines; every other line still counts. False when the file cannot be
// opened, or once `cancel` is set (checked between blocks of lines).
bool read(const QString &path, RecordedVote &vote, const RowVisitor &visit = RowVisitor(),
          const std::atomic<bool> *cancel = nullptr);

// The first line's settings and time, without reading further.
bool readHead(const QString &path, RecordSettings &settings, QByteArray &time);

// The journal's last line is an "end" and nothing follows it.
bool endsCleanly(const QString &path);

} // namespace VoteRecordReader
