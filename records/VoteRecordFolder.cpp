#include "records/VoteRecordFolder.h"

#include "records/VoteRecordReader.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>

namespace VoteRecordFolder {

namespace {

const char kSummarySuffix[] = ".summary.json";
const char kToldSuffix[] = ".told";

QString besideJournal(const QString &folder, const QString &id, const char *suffix)
{
    return QDir(folder).filePath(id + QLatin1String(suffix));
}

QString lockPath(const QString &folder, const QString &id)
{
    return journalPath(folder, id) + QStringLiteral(".lock");
}

QJsonObject summaryObject(const Listing &listing, qint64 journalSize)
{
    QJsonArray teams;
    for (const Listing::Team &team : listing.teams)
        teams.append(QJsonObject {{QStringLiteral("index"), team.index},
                                  {QStringLiteral("name"), team.name},
                                  {QStringLiteral("total"), double(team.total)}});
    return QJsonObject {
        {QStringLiteral("journal_size"), double(journalSize)},
        {QStringLiteral("started"), QString::fromUtf8(listing.started)},
        {QStringLiteral("ended"), QString::fromUtf8(listing.ended)},
        {QStringLiteral("question"), listing.question},
        {QStringLiteral("mode"), listing.mode},
        {QStringLiteral("clean_end"), listing.cleanEnd},
        {QStringLiteral("torn_lines"), listing.tornLines},
        {QStringLiteral("teams"), teams},
    };
}

// The summary kept beside the journal, if it still describes all of it.
bool cachedListing(const QString &folder, const QString &id, Listing &listing)
{
    QFile file(besideJournal(folder, id, kSummarySuffix));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QJsonObject summary = QJsonDocument::fromJson(file.readAll()).object();
    const qint64 journalSize = QFileInfo(journalPath(folder, id)).size();
    if (summary.isEmpty()
        || qint64(summary.value(QStringLiteral("journal_size")).toDouble(-1)) != journalSize)
        return false;
    listing.started = summary.value(QStringLiteral("started")).toString().toUtf8();
    listing.ended = summary.value(QStringLiteral("ended")).toString().toUtf8();
    listing.question = summary.value(QStringLiteral("question")).toString();
    listing.mode = summary.value(QStringLiteral("mode")).toInt(2);
    listing.cleanEnd = summary.value(QStringLiteral("clean_end")).toBool();
    listing.tornLines = summary.value(QStringLiteral("torn_lines")).toInt();
    for (const QJsonValue &value : summary.value(QStringLiteral("teams")).toArray()) {
        const QJsonObject team = value.toObject();
        listing.teams.append(
            Listing::Team {team.value(QStringLiteral("index")).toInt(),
                           team.value(QStringLiteral("name")).toString(),
                           qint64(team.value(QStringLiteral("total")).toDouble())});
    }
    listing.counted = true;
    return true;
}

QList<Listing::Team> shownTeams(const RecordSettings &settings, const RecordedVote *counted)
{
    QList<Listing::Team> teams;
    for (int index = 1; index <= settings.mode; ++index)
        teams.append(Listing::Team {index, QString::fromUtf8(settings.teams[index].name),
                                    counted ? counted->result(index) : 0});
    return teams;
}

} // namespace

QString journalPath(const QString &folder, const QString &id)
{
    return besideJournal(folder, id, VoteRecordFormat::kJournalSuffix);
}

QStringList ids(const QString &folder)
{
    const QString suffix = QLatin1String(VoteRecordFormat::kJournalSuffix);
    QStringList found;
    for (QString name : QDir(folder).entryList({QLatin1Char('*') + suffix}, QDir::Files)) {
        name.chop(suffix.size());
        found.append(name);
    }
    // Ids are start times: the greatest is the newest.
    std::sort(found.begin(), found.end(), std::greater<QString>());
    return found;
}

QString newId(const QString &folder)
{
    const QString base =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    QString id = base;
    for (int n = 2; QFile::exists(journalPath(folder, id)); ++n)
        id = base + QLatin1Char('-') + QString::number(n);
    return id;
}

bool inUse(const QString &folder, const QString &id)
{
    QLockFile lock(lockPath(folder, id));
    lock.setStaleLockTime(0);
    if (lock.tryLock(0)) {
        lock.unlock();
        return false;
    }
    return lock.error() == QLockFile::LockFailedError;
}

void prune(const QString &folder, int keep, const QString &except)
{
    const QStringList all = ids(folder);
    for (int i = keep; i < all.size(); ++i) {
        const QString &id = all.at(i);
        if (id == except || inUse(folder, id))
            continue;
        QFile::remove(journalPath(folder, id));
        QFile::remove(besideJournal(folder, id, kSummarySuffix));
        QFile::remove(besideJournal(folder, id, kToldSuffix));
    }
}

qint64 Listing::durationMs() const
{
    const QDateTime from = QDateTime::fromString(QString::fromUtf8(started), Qt::ISODateWithMs);
    const QDateTime to = QDateTime::fromString(QString::fromUtf8(ended), Qt::ISODateWithMs);
    if (!from.isValid() || !to.isValid())
        return -1;
    return std::max<qint64>(0, from.msecsTo(to));
}

QString Listing::durationText() const
{
    const qint64 ms = durationMs();
    if (ms < 0)
        return QString();
    const qint64 seconds = ms / 1000;
    if (seconds >= 3600)
        return QStringLiteral("%1小时%2分")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

Listing listingOf(const RecordedVote &vote)
{
    Listing listing;
    listing.id = vote.id;
    listing.started = vote.started;
    listing.ended = vote.ended;
    listing.question = vote.settings.question;
    listing.mode = vote.settings.mode;
    listing.teams = shownTeams(vote.settings, &vote);
    listing.cleanEnd = vote.cleanEnd;
    listing.tornLines = vote.tornLines;
    listing.counted = true;
    return listing;
}

QList<Listing> list(const QString &folder)
{
    QList<Listing> listings;
    for (const QString &id : ids(folder)) {
        Listing listing;
        listing.id = id;
        if (!cachedListing(folder, id, listing)) {
            RecordSettings settings;
            VoteRecordReader::readHead(journalPath(folder, id), settings, listing.started);
            listing.question = settings.question;
            listing.mode = settings.mode;
            listing.teams = shownTeams(settings, nullptr);
            listing.cleanEnd = VoteRecordReader::endsCleanly(journalPath(folder, id));
        }
        // Only a record without a clean end may still be written.
        listing.inUse = !listing.cleanEnd && inUse(folder, id);
        listings.append(listing);
    }
    return listings;
}

bool summarise(const QString &folder, const QString &id, Listing &listing, RecordedVote *vote,
               const std::atomic<bool> *cancel)
{
    const QString path = journalPath(folder, id);
    const qint64 size = QFileInfo(path).size();
    RecordedVote read;
    if (!VoteRecordReader::read(path, read, VoteRecordReader::RowVisitor(), cancel))
        return false;
    listing = listingOf(read);
    listing.inUse = !listing.cleanEnd && inUse(folder, id);
    // Kept only when it describes the whole journal as it was found.
    if (QFileInfo(path).size() == size) {
        QSaveFile summary(besideJournal(folder, id, kSummarySuffix));
        if (summary.open(QIODevice::WriteOnly)) {
            summary.write(
                QJsonDocument(summaryObject(listing, size)).toJson(QJsonDocument::Compact));
            summary.commit();
        }
    }
    if (vote)
        *vote = std::move(read);
    return true;
}

QString takeUncleanNewest(const QString &folder)
{
    const QStringList all = ids(folder);
    if (all.isEmpty())
        return QString();
    const QString &id = all.first();
    const QString path = journalPath(folder, id);
    // The marker holds the journal's size when told: a record restored and cut
    // off again is told of again.
    const QByteArray size = QByteArray::number(QFileInfo(path).size());
    QFile marker(besideJournal(folder, id, kToldSuffix));
    if (marker.open(QIODevice::ReadOnly) && marker.readAll() == size)
        return QString();
    marker.close();
    if (VoteRecordReader::endsCleanly(path) || inUse(folder, id))
        return QString();
    if (marker.open(QIODevice::WriteOnly | QIODevice::Truncate))
        marker.write(size);
    return id;
}

} // namespace VoteRecordFolder
