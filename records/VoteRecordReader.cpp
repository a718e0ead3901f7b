#include "records/VoteRecordReader.h"

#include "records/JournalLine.h"

#include "vote/VoteCounting.h"

#include <QFile>
#include <QFileInfo>

#include <cjson/cJSON.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <vector>

namespace {

struct KindName
{
    RecordKind kind;
    const char *name;
};

const KindName kKindNames[] = {
    {RecordKind::Start, "start"},
    {RecordKind::Stop, "stop"},
    {RecordKind::Carry, "carry"},
    {RecordKind::Chat, "chat"},
    {RecordKind::Gift, "gift"},
    {RecordKind::Change, "change"},
    {RecordKind::Add, "add"},
    {RecordKind::Subtract, "subtract"},
    {RecordKind::ClearTotals, "clear_totals"},
    {RecordKind::ClearVoters, "clear_voters"},
    {RecordKind::CountdownStart, "countdown_start"},
    {RecordKind::CountdownStop, "countdown_stop"},
    {RecordKind::TimeUp, "time_up"},
    {RecordKind::Ignored, "ignored"},
    {RecordKind::End, "end"},
};

// Frees the parsed line however the reading of it ends.
struct ParsedLine
{
    explicit ParsedLine(const char *text, std::size_t length)
        : root(cJSON_ParseWithLength(text, length))
    {}
    ~ParsedLine() { cJSON_Delete(root); }
    ParsedLine(const ParsedLine &) = delete;
    ParsedLine &operator=(const ParsedLine &) = delete;

    cJSON *root;
};

// Keys are our own and exact: no case folding.
const cJSON *member(const cJSON *object, const char *key)
{
    return cJSON_GetObjectItemCaseSensitive(object, key);
}

bool textOf(const cJSON *object, const char *key, QByteArray &out)
{
    const cJSON *item = member(object, key);
    if (!cJSON_IsString(item) || !item->valuestring)
        return false;
    out = QByteArray(item->valuestring);
    return true;
}

bool numberOf(const cJSON *object, const char *key, qint64 &out)
{
    const cJSON *item = member(object, key);
    if (!cJSON_IsNumber(item) || !std::isfinite(item->valuedouble))
        return false;
    // Beyond 2^63 a number cannot be a vote count; it is held at the ends.
    constexpr double kLimit = 9.2e18;
    const double value = item->valuedouble;
    out = value >= kLimit  ? std::numeric_limits<qint64>::max()
        : value <= -kLimit ? std::numeric_limits<qint64>::min()
                           : qint64(value);
    return true;
}

bool flagOf(const cJSON *object, const char *key)
{
    return cJSON_IsTrue(member(object, key));
}

void readSettings(const cJSON *line, RecordSettings &settings)
{
    QByteArray text;
    qint64 number = 0;
    if (textOf(line, "question", text))
        settings.question = QString::fromUtf8(text);
    if (numberOf(line, "mode", number) && number >= 2 && number <= kTeamCount)
        settings.mode = int(number);
    if (textOf(line, "vote_type", text))
        settings.voteType = text == voteTypeName(VoteType::Text) ? VoteType::Text : VoteType::Gift;
    if (numberOf(line, "note_color", number))
        settings.noteColor = qint32(number & 0xffffff);
    if (const cJSON *rules = member(line, "rules"); cJSON_IsObject(rules)) {
        settings.rules.onePerViewer = flagOf(rules, "one_per_viewer");
        settings.rules.allowChange = flagOf(rules, "allow_change");
        settings.rules.stopAtTimeUp = flagOf(rules, "stop_at_time_up");
        settings.rules.voteByNumber = flagOf(rules, "vote_by_number");
        if (numberOf(rules, "cooldown_seconds", number) && number >= 0 && number <= VoteRules::kLongestCooldown)
            settings.rules.cooldownSeconds = int(number);
    }
    const cJSON *teams = member(line, "teams");
    if (!cJSON_IsArray(teams))
        return;
    const cJSON *team = nullptr;
    cJSON_ArrayForEach(team, teams)
    {
        if (!numberOf(team, "index", number) || number < 1 || number > kTeamCount)
            continue;
        RecordTeam &into = settings.teams[number];
        into = RecordTeam();
        textOf(team, "name", into.name);
        textOf(team, "gift_id", into.giftId);
        if (textOf(team, "gift_name", text))
            into.giftName = QString::fromUtf8(text);
        textOf(team, "price_text", into.priceText);
        textOf(team, "image_dir", into.imageDir);
        if (numberOf(team, "price", number))
            into.price = qint32(std::clamp<qint64>(number, std::numeric_limits<qint32>::min(),
                                                   std::numeric_limits<qint32>::max()));
    }
}

IgnoredReason reasonNamed(const QByteArray &name)
{
    for (int reason = 1; reason < kIgnoredReasonCount; ++reason) {
        if (name == ignoredReasonKey(IgnoredReason(reason)))
            return IgnoredReason(reason);
    }
    return IgnoredReason::None;
}

// A viewer's tally taken down (a vote moved to another team): the ranking is
// rebuilt with the viewer at the end of the tallies it now shares.
// The window's lead line after a change of the totals: counting refreshes it
// once either of teams 1 and 2 has votes, a manual change always.
bool leadAfterCount(const RecordedVote &vote)
{
    return vote.settings.mode == 2 && !(vote.teams.at(1).votes == 0 && vote.teams.at(2).votes == 0);
}

class Replay
{
public:
    Replay(RecordedVote &into, const VoteRecordReader::RowVisitor &visitor)
        : vote(into)
        , visit(visitor)
    {}

    void line(const char *text, std::size_t length);

    QByteArray lastTime; // of the newest line read

private:
    // A line the plain reading cannot take: a start or a stop, or no event of ours.
    void nestedLine(const char *text, std::size_t length);
    bool teamChange(const JournalLine &line, RecordRow &row, bool needsViewer);
    void counted(const RecordRow &row);
    void emitRow(const RecordRow &row)
    {
        if (visit)
            visit(row, vote);
    }

    RecordedVote &vote;
    const VoteRecordReader::RowVisitor &visit;
    // The previous line was a counted chat vote of this viewer: a vote for
    // teams of the same name is one line per team.
    QByteArray lastChatViewer;
    bool lastWasChat = false;
};

bool Replay::teamChange(const JournalLine &line, RecordRow &row, bool needsViewer)
{
    qint64 team = 0;
    if (!line.number("team", team) || team < 1 || team > kTeamCount
        || !line.number("votes", row.votes))
        return false;
    row.hasViewer = line.text("viewer", row.viewer);
    if (needsViewer && !row.hasViewer)
        return false;
    row.team = int(team);
    row.hasVotes = true;
    vote.endedByClear = false;
    if (row.team == 4)
        vote.team4GiftLabel = row.kind == RecordKind::Gift;
    TeamRecord &record = vote.teams.at(row.team);
    record.votes = VoteCounting::addVotes(record.votes, row.votes);
    row.teamTotal = record.votes;
    if (row.hasViewer) {
        // A vote that left takes its viewer's row down as counting did.
        if (row.votes >= 0)
            record.voters.add(row.viewer, row.votes);
        else
            record.voters.take(row.viewer, -row.votes);
    }
    return true;
}

void Replay::counted(const RecordRow &row)
{
    ++vote.lines;
    if (vote.started.isEmpty())
        vote.started = QByteArray(row.time.constData(), row.time.size());
    if (!row.time.isEmpty())
        lastTime.replace(0, lastTime.size(), row.time);
    vote.cleanEnd = row.kind == RecordKind::End;
    if (row.kind != RecordKind::Unknown)
        emitRow(row);
}

void Replay::nestedLine(const char *text, std::size_t length)
{
    const ParsedLine parsed(text, length);
    const cJSON *line = parsed.root;
    const cJSON *kind = member(line, "kind");
    if (!cJSON_IsObject(line) || !cJSON_IsString(kind) || !kind->valuestring) {
        ++vote.tornLines;
        return;
    }
    RecordRow row;
    row.kind = recordKindFromName(kind->valuestring);
    if (row.kind == RecordKind::Unknown) {
        // A kind of a later version: read past it.
        ++vote.lines;
        return;
    }
    if (row.kind != RecordKind::Start && row.kind != RecordKind::Stop) {
        ++vote.tornLines;
        return;
    }
    textOf(line, "time", row.time);
    readSettings(line, vote.settings);
    vote.leadShown = false;
    counted(row);
}

void Replay::line(const char *text, std::size_t length)
{
    if (length == 0)
        return;
    JournalLine line;
    const char *kind = nullptr;
    int kindLength = 0;
    if (!line.parse(text, length) || !line.view("kind", kind, kindLength)) {
        nestedLine(text, length);
        return;
    }
    RecordRow row;
    row.kind = recordKindFromName(kind, kindLength);
    if (row.kind == RecordKind::Start || row.kind == RecordKind::Stop
        || row.kind == RecordKind::Unknown) {
        nestedLine(text, length);
        return;
    }
    // In place: only the first and the last time are kept.
    const char *time = nullptr;
    int timeLength = 0;
    if (line.view("time", time, timeLength))
        row.time = QByteArray::fromRawData(time, timeLength);

    bool good = true;
    switch (row.kind) {
    case RecordKind::Carry:
        good = teamChange(line, row, false);
        break;
    case RecordKind::Chat:
    case RecordKind::Gift:
        good = teamChange(line, row, true);
        if (good && row.kind == RecordKind::Chat && row.votes > 0
            && vote.settings.rules.onePerViewer) {
            // The viewer's standing vote, as the session keeps it.
            quint8 &standing = vote.standingVotes[row.viewer];
            const quint8 team = quint8(1u << row.team);
            standing = lastWasChat && lastChatViewer == row.viewer ? quint8(standing | team) : team;
        }
        if (good && row.kind == RecordKind::Gift) {
            line.text("product_id", row.productId);
            if (!line.number("pieces", row.pieces))
                row.pieces = 0;
        }
        if (good && leadAfterCount(vote))
            vote.leadShown = true;
        break;
    case RecordKind::Change:
        good = teamChange(line, row, true);
        break;
    case RecordKind::Add:
    case RecordKind::Subtract:
        good = teamChange(line, row, false);
        if (good && vote.settings.mode == 2)
            vote.leadShown = true;
        break;
    case RecordKind::ClearTotals: {
        // One row per team that loses votes, so the rows keep adding up.
        bool any = false;
        vote.team4GiftLabel = false;
        vote.endedByClear = true;
        for (auto &[index, team] : vote.teams) {
            vote.clearedTotals[index] = team.votes;
            if (team.votes == 0)
                continue;
            RecordRow cleared = row;
            cleared.team = index;
            cleared.hasVotes = true;
            cleared.votes = -team.votes;
            cleared.teamTotal = 0;
            team.votes = 0;
            any = true;
            emitRow(cleared);
        }
        // Every viewer may vote afresh, and the ignored votes start again.
        vote.standingVotes.clear();
        std::copy(std::begin(vote.ignored), std::end(vote.ignored),
                  std::begin(vote.clearedIgnored));
        std::fill(std::begin(vote.ignored), std::end(vote.ignored), 0);
        vote.leadShown = false;
        if (any)
            row.kind = RecordKind::Unknown; // its rows are out already
        break;
    }
    case RecordKind::ClearVoters:
        for (auto &entry : vote.teams)
            entry.second.voters.clear();
        break;
    case RecordKind::Ignored: {
        QByteArray reason;
        line.text("reason", reason);
        row.reason = reasonNamed(reason);
        row.hasViewer = line.text("viewer", row.viewer);
        qint64 team = 0;
        if (line.number("team", team) && team >= 1 && team <= kTeamCount)
            row.team = int(team);
        ++vote.ignored[int(row.reason)];
        break;
    }
    default:
        break;
    }
    if (!good) {
        ++vote.tornLines;
        return;
    }
    lastWasChat = row.kind == RecordKind::Chat;
    if (lastWasChat)
        lastChatViewer = row.viewer;
    counted(row);
}

QString idOf(const QString &path)
{
    QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(VoteRecordFormat::kJournalSuffix)))
        name.chop(int(std::strlen(VoteRecordFormat::kJournalSuffix)));
    return name;
}

} // namespace

const char *recordKindName(RecordKind kind)
{
    for (const KindName &entry : kKindNames) {
        if (entry.kind == kind)
            return entry.name;
    }
    return "";
}

RecordKind recordKindFromName(const char *name, int length)
{
    const std::size_t size = length < 0 ? std::strlen(name) : std::size_t(length);
    for (const KindName &entry : kKindNames) {
        if (std::strlen(entry.name) == size && std::memcmp(entry.name, name, size) == 0)
            return entry.kind;
    }
    return RecordKind::Unknown;
}

namespace VoteRecordReader {

bool read(const QString &path, RecordedVote &vote, const RowVisitor &visit,
          const std::atomic<bool> *cancel)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    vote = RecordedVote();
    vote.id = idOf(path);
    for (int index = 1; index <= kTeamCount; ++index)
        vote.teams.emplace(index, TeamRecord());

    Replay replay(vote, visit);
    constexpr qint64 kChunk = 4 * 1024 * 1024;
    QByteArray data;
    while (true) {
        if (cancel && cancel->load())
            return false;
        const QByteArray chunk = file.read(kChunk);
        if (chunk.isEmpty())
            break;
        data += chunk;
        const char *begin = data.constData();
        const char *end = begin + data.size();
        const char *start = begin;
        while (const char *newline =
                   static_cast<const char *>(std::memchr(start, '\n', std::size_t(end - start)))) {
            replay.line(start, std::size_t(newline - start));
            start = newline + 1;
        }
        data.remove(0, int(start - begin));
    }
    // A last line without its newline: read if whole, counted as torn if cut.
    replay.line(data.constData(), std::size_t(data.size()));
    vote.ended = replay.lastTime;
    if (!data.isEmpty())
        vote.cleanEnd = false;
    return true;
}

bool readHead(const QString &path, RecordSettings &settings, QByteArray &time)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray first = file.readLine(1024 * 1024);
    const ParsedLine parsed(first.constData(), std::size_t(first.size()));
    QByteArray kind;
    if (!cJSON_IsObject(parsed.root) || !textOf(parsed.root, "kind", kind) || kind != "start")
        return false;
    readSettings(parsed.root, settings);
    textOf(parsed.root, "time", time);
    return true;
}

bool endsCleanly(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() == 0)
        return false;
    const qint64 tail = std::min<qint64>(file.size(), 64 * 1024);
    file.seek(file.size() - tail);
    QByteArray bytes = file.read(tail);
    if (!bytes.endsWith('\n'))
        return false;
    bytes.chop(1);
    const QByteArray last = bytes.mid(bytes.lastIndexOf('\n') + 1);
    const ParsedLine parsed(last.constData(), std::size_t(last.size()));
    QByteArray kind;
    return cJSON_IsObject(parsed.root) && textOf(parsed.root, "kind", kind) && kind == "end";
}

} // namespace VoteRecordReader
