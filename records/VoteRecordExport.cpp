#include "records/VoteRecordExport.h"

#include "records/VoteRecordReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

#include <algorithm>
#include <cstring>
#include <vector>

namespace VoteRecordExport {

namespace {

constexpr int kWriteChunk = 1024 * 1024;

void appendTextCell(QByteArray &out, const QByteArray &bytes)
{
    // Whatever the room sent, the file stays UTF-8.
    QByteArray cell = QString::fromUtf8(bytes).toUtf8();
    if (!cell.isEmpty() && cell.at(0) != '\0' && std::strchr("=+-@\t\r'", cell.at(0)))
        cell.prepend('\'');
    if (cell.contains(',') || cell.contains('"') || cell.contains('\n') || cell.contains('\r')) {
        cell.replace('"', "\"\"");
        out += '"';
        out += cell;
        out += '"';
    } else {
        out += cell;
    }
}

void appendRow(QByteArray &out, const RecordRow &row, const RecordedVote &vote)
{
    out += row.time;
    out += ',';
    out += recordKindName(row.kind);
    out += ',';
    if (row.hasViewer)
        appendTextCell(out, row.viewer);
    out += ',';
    if (row.team != 0) {
        out += QByteArray::number(row.team);
        out += ',';
        appendTextCell(out, vote.settings.teams[row.team].name);
    } else {
        out += ',';
    }
    out += ',';
    if (row.kind == RecordKind::Gift)
        appendTextCell(out, row.productId);
    out += ',';
    if (row.pieces >= 0)
        out += QByteArray::number(row.pieces);
    out += ',';
    if (row.hasVotes) {
        out += QByteArray::number(row.votes);
        out += ',';
        out += QByteArray::number(row.teamTotal);
    } else {
        out += ',';
    }
    out += "\r\n";
}

QJsonObject teamObject(int index, const TeamRecord &team, const RecordTeam &settings,
                       qint64 result)
{
    QJsonArray voters;
    for (const VoterRanking::Entry &voter : team.voters)
        voters.append(QJsonObject {{QStringLiteral("viewer"), QString::fromUtf8(voter.nick)},
                                   {QStringLiteral("votes"), double(voter.votes)}});
    return QJsonObject {
        {QStringLiteral("index"), index},
        {QStringLiteral("name"), QString::fromUtf8(settings.name)},
        {QStringLiteral("gift_id"), QString::fromUtf8(settings.giftId)},
        {QStringLiteral("gift_name"), settings.giftName},
        {QStringLiteral("price"), settings.price},
        {QStringLiteral("total"), double(team.votes)},
        {QStringLiteral("result"), double(result)},
        {QStringLiteral("voters"), voters},
    };
}

bool failed(QString *error, const QString &why)
{
    if (error)
        *error = why;
    return false;
}

} // namespace

QString fileName(const QString &id, const QString &extension)
{
    return QStringLiteral("vote-") + id + QLatin1Char('.') + extension;
}

bool writeCsv(const QString &journalPath, const QString &csvPath, RecordedVote &vote,
              QString *error, const std::atomic<bool> *cancel)
{
    QSaveFile file(csvPath);
    if (!file.open(QIODevice::WriteOnly))
        return failed(error, file.errorString());
    QByteArray out("\xEF\xBB\xBF");
    out += kCsvHeader;
    out += "\r\n";
    bool writeOk = true;
    const bool read = VoteRecordReader::read(
        journalPath, vote, [&](const RecordRow &row, const RecordedVote &soFar) {
            appendRow(out, row, soFar);
            if (out.size() > kWriteChunk) {
                writeOk = writeOk && file.write(out) == out.size();
                out.clear();
            }
        },
        cancel);
    if (!read) {
        file.cancelWriting();
        return failed(error, QStringLiteral("无法读取记录"));
    }
    writeOk = writeOk && file.write(out) == out.size();
    if (!writeOk || !file.commit())
        return failed(error, file.errorString());
    return true;
}

QByteArray summaryJson(const RecordedVote &vote)
{
    const RecordSettings &settings = vote.settings;
    // The shown teams, and a hidden one that still holds votes.
    std::vector<int> indices;
    for (const auto &[index, team] : vote.teams) {
        if (index <= settings.mode || team.votes != 0 || !team.voters.empty())
            indices.push_back(index);
    }
    std::stable_sort(indices.begin(), indices.end(),
                     [&vote](int a, int b) { return vote.result(a) > vote.result(b); });
    QJsonArray teams;
    for (int index : indices)
        teams.append(
            teamObject(index, vote.teams.at(index), settings.teams[index], vote.result(index)));

    QJsonObject ignored;
    for (int reason = 1; reason < kIgnoredReasonCount; ++reason)
        ignored.insert(QString::fromLatin1(ignoredReasonKey(IgnoredReason(reason))),
                       double(vote.ignoredResult(IgnoredReason(reason))));

    QJsonObject rules {{QStringLiteral("one_per_viewer"), settings.rules.onePerViewer},
                       {QStringLiteral("allow_change"), settings.rules.allowChange},
                       {QStringLiteral("cooldown_seconds"), settings.rules.cooldownSeconds},
                       {QStringLiteral("stop_at_time_up"), settings.rules.stopAtTimeUp}};
    // As in the journal: only a vote that had it says so.
    if (settings.rules.voteByNumber)
        rules.insert(QStringLiteral("vote_by_number"), true);

    const QJsonObject summary {
        {QStringLiteral("id"), vote.id},
        {QStringLiteral("question"), settings.question},
        {QStringLiteral("started"), QString::fromUtf8(vote.started)},
        {QStringLiteral("ended"), QString::fromUtf8(vote.ended)},
        {QStringLiteral("clean_end"), vote.cleanEnd},
        {QStringLiteral("mode"), settings.mode},
        {QStringLiteral("vote_type"), QString::fromLatin1(voteTypeName(settings.voteType))},
        {QStringLiteral("note_color"),
         QStringLiteral("#%1").arg(settings.noteColor & 0xffffff, 6, 16, QLatin1Char('0'))},
        {QStringLiteral("rules"), rules},
        {QStringLiteral("teams"), teams},
        {QStringLiteral("ignored"), ignored},
        {QStringLiteral("torn_lines"), vote.tornLines},
        {QStringLiteral("lines"), double(vote.lines)},
    };
    return QJsonDocument(summary).toJson(QJsonDocument::Indented);
}

bool writeSummary(const RecordedVote &vote, const QString &jsonPath, QString *error)
{
    QSaveFile file(jsonPath);
    if (!file.open(QIODevice::WriteOnly))
        return failed(error, file.errorString());
    const QByteArray json = summaryJson(vote);
    if (file.write(json) != json.size() || !file.commit())
        return failed(error, file.errorString());
    return true;
}

} // namespace VoteRecordExport
