#pragma once

#include "records/VoteRecord.h"

#include <QByteArray>
#include <QString>

#include <atomic>

// A vote's record for people and scripts: a CSV of every row and a JSON summary.
namespace VoteRecordExport {

inline constexpr char kCsvHeader[] =
    "time,kind,viewer,team,team_name,product_id,pieces,votes,team_total";

// "vote-<id>.<extension>": exported files are named after the vote's start.
QString fileName(const QString &id, const QString &extension);

// Reads the journal at `journalPath` into `vote` and writes its rows to
// `csvPath`: UTF-8 with a byte-order mark (spreadsheet programs on Windows
// need it to read Chinese), RFC 4180 quoting, and a text cell that a
// spreadsheet would take for a formula (starting with = + - @, a tab or a
// carriage return) led by an apostrophe, as is one starting with an
// apostrophe, so that dropping one leading apostrophe gives the text back.
// Nothing is written when `cancel` is set before the end.
bool writeCsv(const QString &journalPath, const QString &csvPath, RecordedVote &vote,
              QString *error, const std::atomic<bool> *cancel = nullptr);

// The summary: question, settings, rules, start and end, each team (the
// highest result first) with its total at the end of the record (what the
// CSV's rows add up to), its result (the total before a closing 清空票数)
// and its voters (highest first), ignored votes by reason, torn lines.
QByteArray summaryJson(const RecordedVote &vote);
bool writeSummary(const RecordedVote &vote, const QString &jsonPath, QString *error);

} // namespace VoteRecordExport
