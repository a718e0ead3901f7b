#include "records/VoteRecorder.h"

#include "bridge/RoomEventWriter.h"
#include "records/VoteRecord.h"
#include "records/VoteRecordFolder.h"
#include "vote/VoteSession.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <charconv>
#include <cstring>

namespace {

// ,"key":
void appendKey(QByteArray &out, const char *key)
{
    out += ",\"";
    out += key;
    out += "\":";
}

void appendText(QByteArray &out, const char *key, const char *bytes)
{
    appendKey(out, key);
    RoomEventWriter::appendQuoted(out, bytes ? bytes : "", bytes ? qsizetype(std::strlen(bytes)) : 0);
}

void appendText(QByteArray &out, const char *key, const QByteArray &bytes)
{
    appendKey(out, key);
    RoomEventWriter::appendQuoted(out, bytes.constData(), bytes.size());
}

void appendNumber(QByteArray &out, qint64 value)
{
    // Straight into the line: a vote's line must not cost an allocation per number.
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, int(end - digits));
}

void appendNumber(QByteArray &out, const char *key, qint64 value)
{
    appendKey(out, key);
    appendNumber(out, value);
}

void appendBool(QByteArray &out, const char *key, bool value)
{
    appendKey(out, key);
    out += value ? "true" : "false";
}

void appendThreeDigits(QByteArray &out, int value)
{
    const char digits[] = {char('0' + value / 100), char('0' + value / 10 % 10),
                           char('0' + value % 10)};
    out.append(digits, 3);
}

// The team a turned-away vote was for: the team the line names, or whose gift it is.
int teamNamed(const VoteSession &session, const char *text, bool gift)
{
    if (!text)
        return 0;
    const qsizetype length = qsizetype(std::strlen(text));
    for (int index = 1; index <= kTeamCount; ++index) {
        const QByteArray &key = gift ? session.team(index).giftId : session.team(index).name;
        if (!key.isEmpty() && key.size() == length
            && std::memcmp(key.constData(), text, length) == 0)
            return index;
    }
    return 0;
}

} // namespace

VoteRecorder::VoteRecorder(const QString &folder, QObject *parent)
    : QObject(parent)
    , recordsFolder(folder)
    , journal(std::make_unique<VoteJournal>())
{}

VoteRecorder::~VoteRecorder()
{
    closed();
}

QString VoteRecorder::recordId() const
{
    if (!journal->isOpen())
        return QString();
    QString name = QFileInfo(journal->path()).fileName();
    name.chop(int(std::strlen(VoteRecordFormat::kJournalSuffix)));
    return name;
}

void VoteRecorder::goOff(const QString &reason)
{
    if (off)
        return;
    off = true;
    journal->close();
    emit recordsOff(reason);
}

bool VoteRecorder::openNew()
{
    if (!QDir().mkpath(recordsFolder)) {
        goOff(QStringLiteral("无法创建记录文件夹"));
        return false;
    }
    const QString id = VoteRecordFolder::newId(recordsFolder);
    if (!journal->open(VoteRecordFolder::journalPath(recordsFolder, id), true)) {
        goOff(QStringLiteral("无法写入记录文件夹（%1）").arg(journal->errorString()));
        return false;
    }
    VoteRecordFolder::prune(recordsFolder, VoteRecordFormat::kKeptVotes, id);
    return true;
}

void VoteRecorder::flush()
{
    flushQueued = false;
    // A hand-over that failed with a full buffer has nothing pending left,
    // and turns the records off all the same.
    if (off || (!journal->hasPending() && !journal->failed()))
        return;
    if (!journal->flush())
        goOff(QStringLiteral("写入失败，磁盘可能已满（%1）").arg(journal->errorString()));
}

void VoteRecorder::appendTime()
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 second = now / 1000;
    if (second != clockSecond) {
        clockSecond = second;
        const QDateTime local = QDateTime::fromMSecsSinceEpoch(second * 1000);
        clockPrefix = local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.")).toLatin1();
        const int offset = local.offsetFromUtc();
        const int minutes = (offset < 0 ? -offset : offset) / 60;
        clockZone = QStringLiteral("%1%2:%3")
                        .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                        .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                        .arg(minutes % 60, 2, 10, QLatin1Char('0'))
                        .toLatin1();
    }
    *line += clockPrefix;
    appendThreeDigits(*line, int(now % 1000));
    *line += clockZone;
}

bool VoteRecorder::begin(RecordKind kind)
{
    if (off || !journal->isOpen())
        return false;
    line = &journal->pendingLines();
    *line += "{\"v\":";
    appendNumber(*line, VoteRecordFormat::kVersion);
    *line += ",\"time\":\"";
    appendTime();
    *line += "\",\"kind\":\"";
    *line += recordKindName(kind);
    *line += '"';
    // Handed over before the event loop gets to paint what this line records.
    if (!flushQueued) {
        flushQueued = true;
        QMetaObject::invokeMethod(this, &VoteRecorder::flush, Qt::QueuedConnection);
    }
    return true;
}

void VoteRecorder::finish()
{
    *line += "}\n";
    line = nullptr;
    journal->lineDone();
    if (journal->failed())
        flush();
}

void VoteRecorder::learnTotals(const VoteSession &session)
{
    for (int index = 1; index <= kTeamCount; ++index)
        known[index] = session.team(index).votes;
}

void VoteRecorder::writeSettings(RecordKind kind, const VoteSession &session,
                                 const QString &question)
{
    if (!begin(kind))
        return;
    QByteArray &out = *line;
    appendText(out, "question", question.toUtf8());
    appendNumber(out, "mode", session.voteMode());
    appendText(out, "vote_type", voteTypeName(session.voteType()));
    appendNumber(out, "note_color", session.noteColor());
    const VoteRules &rules = session.rules();
    appendKey(out, "rules");
    out += '{';
    out += "\"one_per_viewer\":";
    out += rules.onePerViewer ? "true" : "false";
    appendBool(out, "allow_change", rules.allowChange);
    appendNumber(out, "cooldown_seconds", rules.cooldownSeconds);
    appendBool(out, "stop_at_time_up", rules.stopAtTimeUp);
    // Only when on: a record of a vote without it reads as it always has.
    if (rules.voteByNumber)
        appendBool(out, "vote_by_number", true);
    out += '}';
    appendKey(out, "teams");
    out += '[';
    for (int index = 1; index <= kTeamCount; ++index) {
        const TeamRecord &team = session.team(index);
        out += index == 1 ? "{\"index\":" : ",{\"index\":";
        appendNumber(out, index);
        appendText(out, "name", team.name);
        appendText(out, "gift_id", team.giftId);
        appendText(out, "gift_name", team.gift.name.toUtf8());
        appendText(out, "price_text", team.gift.priceText);
        appendText(out, "image_dir", team.gift.imageDir);
        appendNumber(out, "price", team.gift.price);
        out += '}';
    }
    out += ']';
    finish();
}

void VoteRecorder::writeCarry(const VoteSession &session)
{
    // The board as it stands becomes the record's first rows, so that the
    // rows always add up to what the board shows.
    for (int index = 1; index <= kTeamCount; ++index) {
        const TeamRecord &team = session.team(index);
        qint64 carried = 0;
        for (const VoterRanking::Entry &voter : team.voters) {
            if (!begin(RecordKind::Carry))
                return;
            appendText(*line, "viewer", voter.nick);
            appendNumber(*line, "team", index);
            appendNumber(*line, "votes", voter.votes);
            finish();
            carried += voter.votes;
        }
        if (team.votes != carried && begin(RecordKind::Carry)) {
            appendNumber(*line, "team", index);
            appendNumber(*line, "votes", team.votes - carried);
            finish();
        }
    }
}

void VoteRecorder::started(const VoteSession &session, const QString &question)
{
    if (off)
        return;
    const bool opening = !journal->isOpen();
    if (opening && !openNew())
        return;
    writeSettings(RecordKind::Start, session, question);
    if (opening)
        writeCarry(session);
    learnTotals(session);
}

void VoteRecorder::stopped(const VoteSession &session, const QString &question)
{
    writeSettings(RecordKind::Stop, session, question);
    flush();
    if (journal->isOpen())
        journal->syncSoon();
}

void VoteRecorder::writeIgnored(const char *nick, int index, const CountResult &result)
{
    if (!begin(RecordKind::Ignored))
        return;
    appendText(*line, "viewer", nick);
    if (index != 0)
        appendNumber(*line, "team", index);
    appendText(*line, "reason", ignoredReasonKey(result.ignored));
    finish();
}

void VoteRecorder::writeCounted(const VoteSession &session, const char *nick,
                                const CountResult &result, const char *productId, int buyTimes)
{
    // The vote that moved away first, so the old team's rows never run ahead.
    const int from = result.movedFrom;
    if (from >= 1 && from <= kTeamCount && begin(RecordKind::Change)) {
        const qint64 total = session.team(from).votes;
        appendText(*line, "viewer", nick);
        appendNumber(*line, "team", from);
        appendNumber(*line, "votes", total - known[from]);
        known[from] = total;
        finish();
    }
    for (int index = 1; index <= kTeamCount; ++index) {
        if (!result.changed(index) || index == from || !begin(productId ? RecordKind::Gift : RecordKind::Chat))
            continue;
        const qint64 total = session.team(index).votes;
        appendText(*line, "viewer", nick);
        appendNumber(*line, "team", index);
        if (productId) {
            appendText(*line, "product_id", productId);
            // Counting takes a negative count as none.
            appendNumber(*line, "pieces", buyTimes > 0 ? buyTimes : 0);
        }
        appendNumber(*line, "votes", total - known[index]);
        known[index] = total;
        finish();
    }
}

void VoteRecorder::countedChat(const VoteSession &session, const char *nick, const char *text,
                               const CountResult &result)
{
    if (result.ignored != IgnoredReason::None)
        writeIgnored(nick, teamNamed(session, text, false), result);
    if (result.changedTeams || result.movedFrom)
        writeCounted(session, nick, result, nullptr, 0);
}

void VoteRecorder::countedGift(const VoteSession &session, const char *nick, const char *productId,
                               int buyTimes, const CountResult &result)
{
    if (result.ignored != IgnoredReason::None)
        writeIgnored(nick, teamNamed(session, productId, true), result);
    if (result.changedTeams || result.movedFrom)
        writeCounted(session, nick, result, productId ? productId : "", buyTimes);
}

void VoteRecorder::corrected(const VoteSession &session, int index, qint64 amount, bool add)
{
    if (index < 1 || index > kTeamCount || !begin(add ? RecordKind::Add : RecordKind::Subtract))
        return;
    const qint64 total = session.team(index).votes;
    appendNumber(*line, "team", index);
    appendNumber(*line, "amount", amount);
    // What the total really moved by: a subtraction stops at 0.
    appendNumber(*line, "votes", total - known[index]);
    appendNumber(*line, "total", total);
    known[index] = total;
    finish();
}

void VoteRecorder::end(const char *reason)
{
    if (begin(RecordKind::End)) {
        appendText(*line, "reason", reason);
        finish();
    }
    flush();
    journal->close();
}

void VoteRecorder::totalsCleared(const VoteSession &session, const QString &question)
{
    if (begin(RecordKind::ClearTotals)) {
        finish();
        for (qint64 &total : known)
            total = 0;
        end("clear_totals");
    }
    // Cleared while counting: the votes that come next are a new vote's, and
    // are recorded from now, not from the next press of the start button.
    if (session.isCounting())
        started(session, question);
}

void VoteRecorder::votersCleared()
{
    if (begin(RecordKind::ClearVoters))
        finish();
}

void VoteRecorder::countdownStarted(qint32 seconds)
{
    if (!begin(RecordKind::CountdownStart))
        return;
    appendNumber(*line, "seconds", seconds);
    finish();
}

void VoteRecorder::countdownStopped()
{
    if (begin(RecordKind::CountdownStop))
        finish();
}

void VoteRecorder::timeUp()
{
    if (begin(RecordKind::TimeUp))
        finish();
}

void VoteRecorder::closed()
{
    if (journal->isOpen())
        end("close");
}

bool VoteRecorder::resume(const QString &id, QString *error)
{
    if (off) {
        if (error)
            *error = QStringLiteral("投票记录已关闭");
        return false;
    }
    if (id == recordId())
        return true;
    // The new record is taken before the open one ends, so a failure changes nothing.
    auto next = std::make_unique<VoteJournal>();
    if (!next->open(VoteRecordFolder::journalPath(recordsFolder, id), false)) {
        if (error)
            *error = next->errorString();
        return false;
    }
    if (journal->isOpen())
        end("replaced");
    journal = std::move(next);
    return true;
}

void VoteRecorder::resumed(const VoteSession &session)
{
    learnTotals(session);
}
