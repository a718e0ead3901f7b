#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

#include <atomic>

struct RecordedVote;

// A recorded vote's result as a picture for posting after the stream, in
// the results page's look: the question, a bar per shown team with its
// total and share, the lead line with two teams, the start and the length.
QImage resultPicture(const RecordedVote &vote);

// The files an export writes: the CSV of every row, the JSON summary and
// the picture; an empty path is not written.
struct ExportFiles
{
    QString csv;
    QString json;
    QString png;
};

// The three files in `folder`, named after the vote's start.
ExportFiles exportFilesIn(const QString &folder, const QString &journalPath);

// Writes the record at `journalPath` into `files`. False with `error` on a
// failure, and false with nothing written once `cancel` is set while the
// record is read. Callable from any thread.
bool exportVoteRecord(const QString &journalPath, const ExportFiles &files, QString *error,
                      const std::atomic<bool> *cancel = nullptr);
