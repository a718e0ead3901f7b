// Vote records without widgets: the journal a session's changes leave, read
// back into the same vote; the export's CSV re-tallied by Python's csv module;
// the rows the fair-vote rules leave; the folder's keeping and crash notice.
#include "records/JournalLine.h"
#include "records/VoteRecordExport.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "records/VoteRecorder.h"
#include "vote/VoteSession.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(VoteType)

namespace {

using Voters = QList<QPair<QByteArray, qint64>>;

Voters votersOf(const VoterRanking &ranking)
{
    Voters voters;
    for (const VoterRanking::Entry &entry : ranking)
        voters.append({entry.nick, entry.votes});
    return voters;
}

const QList<QByteArray> kNames = {"红队", "蓝队", "绿队", "黄队"};
const QList<QByteArray> kGifts = {"1450928358", "1477978817", "1522229009540", "1551153124818"};
// Nicks a spreadsheet or a CSV parser could trip on.
const QList<QByteArray> kOddNicks = {"a,b",    "say \"hi\"", "two\nlines", "=cmd|' /C calc'!A0",
                                     "+1",     "-2",         "@sum",       "'quoted",
                                     " 空格 ", "tab\there"};

// A session and its recorder, changed the way the window changes them.
struct RecordedVote_
{
    explicit RecordedVote_(const QString &folder)
        : recorder(folder)
    {
        for (int index = 1; index <= kTeamCount; ++index) {
            session.applyDefaultGift(index);
            session.setTeamName(index, kNames.at(index - 1));
        }
    }

    void start()
    {
        QVERIFY(session.startCounting());
        recorder.started(session, question);
    }
    void stop()
    {
        session.stopCounting();
        recorder.stopped(session, question);
    }
    void chat(const QByteArray &nick, const QByteArray &text)
    {
        const CountResult result = session.countChat(nick.constData(), text.constData());
        recorder.countedChat(session, nick.constData(), text.constData(), result);
    }
    void gift(const QByteArray &nick, const QByteArray &id, int pieces)
    {
        const CountResult result = session.countGift(nick.constData(), id.constData(), pieces);
        recorder.countedGift(session, nick.constData(), id.constData(), pieces, result);
    }
    void correct(int index, qint64 amount, bool add)
    {
        if (add)
            session.addVotes(index, amount);
        else
            session.subtractVotes(index, amount);
        recorder.corrected(session, index, amount, add);
    }
    void clearTotals()
    {
        session.clearTotals();
        recorder.totalsCleared(session, question);
    }
    void clearVoters()
    {
        session.clearVoters();
        recorder.votersCleared();
    }
    QString journal() const
    {
        return VoteRecordFolder::journalPath(recorder.folder(), recorder.recordId());
    }

    VoteSession session;
    VoteRecorder recorder;
    QString question = QStringLiteral("想看主播化妆还是卸妆？");
};

// `events` changes of every kind, drawn from `seed`.
void play(RecordedVote_ &vote, quint32 seed, int events)
{
    QRandomGenerator random(seed);
    const int mode = vote.session.voteMode();
    for (int i = 0; i < events; ++i) {
        const int roll = int(random.bounded(1000));
        const QByteArray nick = random.bounded(20) == 0
            ? kOddNicks.at(int(random.bounded(kOddNicks.size())))
            : "观众" + QByteArray::number(random.bounded(3000));
        if (roll < 960) {
            const int team = int(random.bounded(mode + 1)); // mode + 1: chatter, a gift of no team
            if (vote.session.voteType() == VoteType::Text)
                vote.chat(nick, team < mode ? kNames.at(team) : QByteArray("主播好"));
            else
                vote.gift(nick, team < mode ? kGifts.at(team) : QByteArray("20001"),
                          int(random.bounded(4)));
        } else if (roll < 990) {
            vote.correct(1 + int(random.bounded(mode)), 1 + random.bounded(40), roll < 975);
        } else if (roll < 993) {
            vote.clearVoters();
        } else if (roll < 996) {
            vote.recorder.countdownStarted(int(random.bounded(100)));
        } else {
            vote.recorder.countdownStopped();
        }
    }
}

void compareWithSession(const RecordedVote &read, const VoteSession &session)
{
    for (int index = 1; index <= kTeamCount; ++index) {
        const TeamRecord &team = session.team(index);
        QCOMPARE(read.teams.at(index).votes, team.votes);
        QCOMPARE(votersOf(read.teams.at(index).voters), votersOf(team.voters));
        QCOMPARE(read.settings.teams[index].name, team.name);
        QCOMPARE(read.settings.teams[index].giftId, team.giftId);
        QCOMPARE(read.settings.teams[index].price, team.gift.price);
    }
    QCOMPARE(read.settings.mode, session.voteMode());
    QCOMPARE(read.settings.voteType, session.voteType());
}

} // namespace

class TestVoteRecords : public QObject
{
    Q_OBJECT

private slots:
    void journalLinesReadExactly_data();
    void journalLinesReadExactly();
    void readBackIsTheVote_data();
    void readBackIsTheVote();
    void rulesLeaveRowsThatAddUp();
    void restoredRulesTurnAwayTheSame_data();
    void restoredRulesTurnAwayTheSame();
    void bigVoteRetallies();
    void folderKeepsTheNewestAndTellsOfACrash();
};

void TestVoteRecords::journalLinesReadExactly_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("plain"); // read by the plain reading at all
    QTest::addColumn<QByteArray>("viewer");
    QTest::addColumn<qint64>("votes");

    QTest::newRow("an event") << QByteArray(R"({"kind":"chat","viewer":"甲","votes":3})") << true
                              << QByteArray("甲") << qint64(3);
    QTest::newRow("escapes") << QByteArray(
        R"({"viewer":"a\"b\\c\n\u0001\u00e9\ud83d\ude00","votes":-1})")
                             << true << QByteArray("a\"b\\c\n\x01\xc3\xa9\xf0\x9f\x98\x80")
                             << qint64(-1);
    QTest::newRow("past 2^53, exact") << QByteArray(R"({"viewer":"x","votes":9007199254740993})")
                                      << true << QByteArray("x") << qint64(9007199254740993);
    QTest::newRow("spaces, true, null")
        << QByteArray(R"( { "viewer" : "x" , "ok":true, "no":null, "votes" : 0 } )") << true
        << QByteArray("x") << qint64(0);
    QTest::newRow("nested: a start") << QByteArray(R"({"kind":"start","teams":[{"index":1}]})")
                                     << false << QByteArray() << qint64(0);
    QTest::newRow("cut off") << QByteArray(R"({"kind":"chat","viewer":"甲","vo)") << false
                             << QByteArray() << qint64(0);
    QTest::newRow("a fraction") << QByteArray(R"({"votes":1.5})") << false << QByteArray()
                                << qint64(0);
    QTest::newRow("too big") << QByteArray(R"({"viewer":"x","votes":99999999999999999999})") << true
                             << QByteArray("x") << qint64(-7);
}

void TestVoteRecords::journalLinesReadExactly()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, plain);
    QFETCH(QByteArray, viewer);
    QFETCH(qint64, votes);

    JournalLine read;
    QCOMPARE(read.parse(line.constData(), std::size_t(line.size())), plain);
    if (!plain)
        return;
    QByteArray text;
    QVERIFY(read.text("viewer", text));
    QCOMPARE(text, viewer);
    qint64 number = -7;
    QCOMPARE(read.number("votes", number), votes != -7); // -7: a number no vote count can be
    if (votes != -7)
        QCOMPARE(number, votes);
}

void TestVoteRecords::readBackIsTheVote_data()
{
    QTest::addColumn<VoteType>("type");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("afterAClear"); // the record opens on a board already holding votes
    QTest::addColumn<bool>("torn"); // the process died mid-line

    QTest::newRow("chat, two teams") << VoteType::Text << 2 << false << false;
    QTest::newRow("gift, four teams") << VoteType::Gift << 4 << false << false;
    QTest::newRow("chat, three teams, after a clear") << VoteType::Text << 3 << true << false;
    QTest::newRow("gift, two teams, torn last line") << VoteType::Gift << 2 << false << true;
}

void TestVoteRecords::readBackIsTheVote()
{
    QFETCH(VoteType, type);
    QFETCH(int, mode);
    QFETCH(bool, afterAClear);
    QFETCH(bool, torn);

    QTemporaryDir dir;
    RecordedVote_ vote(dir.path());
    vote.session.setVoteType(type);
    vote.session.setVoteMode(mode);
    if (afterAClear) {
        vote.start();
        play(vote, 1, 300);
        const QString first = vote.journal();
        QList<qint64> result;
        for (int index = 1; index <= kTeamCount; ++index)
            result << vote.session.team(index).votes;
        vote.clearTotals(); // ends the first record; the voters stay on the board
        // Counting goes on: what follows is in a new record from the clear on.
        QVERIFY(!vote.recorder.recordId().isEmpty());
        QVERIFY(vote.journal() != first);
        // Its rows add up to the cleared board; its result is what the clear took.
        RecordedVote cleared;
        QVERIFY(VoteRecordReader::read(first, cleared));
        QVERIFY(cleared.cleanEnd);
        for (int index = 1; index <= kTeamCount; ++index) {
            QCOMPARE(cleared.teams.at(index).votes, qint64(0));
            QCOMPARE(cleared.result(index), result.at(index - 1));
        }
        vote.correct(2, 7, true);
        vote.stop();
        RecordedVote next;
        QVERIFY(VoteRecordReader::read(vote.journal(), next));
        compareWithSession(next, vote.session);
    }
    vote.start();
    play(vote, 2, 600);
    vote.stop();
    vote.start();
    play(vote, 3, 600);
    vote.recorder.flush();

    const QString path = vote.journal();
    if (torn) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write("{\"v\":1,\"time\":\"2024-05-01T20:15:03.1");
    }
    RecordedVote read;
    QVERIFY(VoteRecordReader::read(path, read));
    compareWithSession(read, vote.session);
    QCOMPARE(read.tornLines, torn ? 1 : 0);
    QVERIFY(!read.cleanEnd);
    QCOMPARE(read.settings.question, vote.question);

    // Closing ends the record cleanly.
    if (!torn) {
        vote.recorder.closed();
        QVERIFY(VoteRecordReader::read(path, read));
        QVERIFY(read.cleanEnd);
        QVERIFY(VoteRecordReader::endsCleanly(path));
        compareWithSession(read, vote.session);
    }
}

void TestVoteRecords::rulesLeaveRowsThatAddUp()
{
    QTemporaryDir dir;
    RecordedVote_ vote(dir.path());
    qint64 now = 0;
    vote.session.setClock([&now] { return now; });
    vote.session.setVoteType(VoteType::Text);
    VoteRules rules;
    rules.onePerViewer = true;
    rules.allowChange = true;
    rules.cooldownSeconds = 5;
    rules.stopAtTimeUp = true;
    QVERIFY(vote.session.setRules(rules));
    vote.start();
    vote.session.startCountdown(30);
    vote.chat("甲", "红队");
    vote.chat("乙", "红队");
    now = 6000; // 甲 changes to 蓝队: team 1 down one, team 2 up one
    vote.chat("甲", "蓝队");
    now = 7000; // the same choice again
    vote.chat("甲", "蓝队");
    now = 9000; // a change within 甲's cooldown
    vote.chat("甲", "红队");
    now = 31000; // after 时间到
    vote.chat("乙", "蓝队");
    vote.stop();

    RecordedVote read;
    QStringList kinds;
    QVERIFY(VoteRecordReader::read(vote.journal(), read, [&](const RecordRow &row, const auto &) {
        kinds << QString::fromLatin1(recordKindName(row.kind));
        if (row.kind == RecordKind::Change) {
            QCOMPARE(row.team, 1);
            QCOMPARE(row.votes, qint64(-1));
            QCOMPARE(row.viewer, QByteArray("甲"));
        }
    }));
    QCOMPARE(kinds, QStringList({"start", "chat", "chat", "change", "chat", "ignored", "ignored",
                                 "ignored", "stop"}));
    compareWithSession(read, vote.session);
    QCOMPARE(votersOf(read.teams.at(1).voters), (Voters {{"乙", 1}}));
    QCOMPARE(votersOf(read.teams.at(2).voters), (Voters {{"甲", 1}}));
    QCOMPARE(read.settings.rules, rules);

    const QJsonObject summary =
        QJsonDocument::fromJson(VoteRecordExport::summaryJson(read)).object();
    QCOMPARE(summary.value("ignored").toObject(),
             QJsonObject({{"one_per_viewer", 1}, {"cooldown", 1}, {"after_time_up", 1}}));
    QCOMPARE(summary.value("rules").toObject().value("cooldown_seconds").toInt(), 5);
}

void TestVoteRecords::restoredRulesTurnAwayTheSame_data()
{
    QTest::addColumn<bool>("clearTotals"); // else a clear of the voter lists
    QTest::newRow("after 清空投票纪录") << false;
    QTest::newRow("after 清空票数") << true;
}

void TestVoteRecords::restoredRulesTurnAwayTheSame()
{
    // One vote per viewer, and a clear in the middle: a session restored from
    // the record then takes and turns away exactly the votes the one that
    // wrote it does.
    QFETCH(bool, clearTotals);
    QTemporaryDir dir;
    RecordedVote_ vote(dir.path());
    vote.session.setVoteType(VoteType::Text);
    VoteRules rules;
    rules.onePerViewer = true;
    QVERIFY(vote.session.setRules(rules));
    vote.start();
    vote.chat("甲", "红队");
    vote.chat("乙", "蓝队");
    vote.chat("甲", "蓝队"); // turned away
    if (clearTotals)
        vote.clearTotals(); // counting goes on in a new record
    else
        vote.clearVoters();
    vote.chat("丙", "红队");
    vote.stop();

    RecordedVote read;
    QVERIFY(VoteRecordReader::read(vote.journal(), read));
    VoteSession restored;
    restored.setVoteType(VoteType::Text);
    for (int index = 1; index <= kTeamCount; ++index) {
        restored.setTeamName(index, kNames.at(index - 1));
        restored.restoreCount(index, read.teams.at(index).votes, read.teams.at(index).voters);
    }
    QVERIFY(restored.setRules(read.settings.rules));
    restored.restoreRuleState(read.ignored, read.standingVotes);
    QCOMPARE(restored.ignoredTotal(), vote.session.ignoredTotal());

    vote.start();
    QVERIFY(restored.startCounting());
    for (const char *viewer : {"甲", "乙", "丙", "丁"}) {
        const CountResult wrote = vote.session.countChat(viewer, "红队");
        const CountResult again = restored.countChat(viewer, "红队");
        QCOMPARE(int(again.ignored), int(wrote.ignored));
        QCOMPARE(again.changedTeams, wrote.changedTeams);
    }
    QCOMPARE(restored.team(1).votes, vote.session.team(1).votes);
    QCOMPARE(restored.ignoredTotal(), vote.session.ignoredTotal());
}

void TestVoteRecords::bigVoteRetallies()
{
    QTemporaryDir dir;
    RecordedVote_ vote(dir.path());
    vote.session.setVoteMode(4);
    vote.session.setVoteType(VoteType::Text);
    vote.start();
    play(vote, 5, 200);
    vote.clearTotals();
    vote.correct(3, 11, true);
    // The record under test opens on a board that holds voters and a total.
    vote.start();
    play(vote, 6, 65000);
    vote.stop();
    vote.session.setVoteType(VoteType::Gift);
    vote.start();
    play(vote, 7, 65000);
    vote.stop();
    const QString id = vote.recorder.recordId();

    RecordedVote read;
    const QString csv = dir.filePath(VoteRecordExport::fileName(id, "csv"));
    const QString json = dir.filePath(VoteRecordExport::fileName(id, "json"));
    QString error;
    QVERIFY2(VoteRecordExport::writeCsv(vote.journal(), csv, read, &error), qPrintable(error));
    QVERIFY2(VoteRecordExport::writeSummary(read, json, &error), qPrintable(error));
    QVERIFY2(read.lines >= 100000, qPrintable(QString::number(read.lines)));
    compareWithSession(read, vote.session);
    QCOMPARE(read.tornLines, 0);

    // The summary holds what the board holds.
    const QJsonObject summary = QJsonDocument::fromJson([&] {
                                    QFile file(json);
                                    file.open(QIODevice::ReadOnly);
                                    return file.readAll();
                                }())
                                    .object();
    QCOMPARE(summary.value("id").toString(), id);
    for (const QJsonValue &value : summary.value("teams").toArray()) {
        const QJsonObject team = value.toObject();
        const TeamRecord &board = vote.session.team(team.value("index").toInt());
        QCOMPARE(qint64(team.value("total").toDouble()), board.votes);
        QCOMPARE(team.value("voters").toArray().size(), board.voters.size());
    }

    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty())
        QSKIP("python3 is not installed: the CSV was not re-tallied by Python's csv module");
    QProcess retally;
    retally.start(python, {QStringLiteral(KIVA_RETALLY_SCRIPT), csv, json});
    QVERIFY(retally.waitForFinished(120000));
    QVERIFY2(retally.exitCode() == 0, retally.readAllStandardError().constData());
    QVERIFY(retally.readAllStandardOutput().startsWith("ok "));
}

void TestVoteRecords::folderKeepsTheNewestAndTellsOfACrash()
{
    QTemporaryDir dir;
    RecordedVote_ vote(dir.path());
    QStringList made;
    for (int i = 0; i < VoteRecordFormat::kKeptVotes + 3; ++i) {
        vote.start();
        made.prepend(vote.recorder.recordId());
        vote.chat("甲", "红队");
        vote.stop();
        vote.clearTotals();
    }
    QCOMPARE(VoteRecordFolder::ids(dir.path()), made.mid(0, VoteRecordFormat::kKeptVotes));
    QCOMPARE(VoteRecordFolder::takeUncleanNewest(dir.path()), QString());

    // A vote cut off: its journal without the end, and no program writing it.
    vote.session.setVoteType(VoteType::Text);
    vote.start();
    vote.chat("甲", "红队");
    vote.recorder.flush();
    const QString id = vote.recorder.recordId();
    const QString journal = vote.journal();
    QCOMPARE(VoteRecordFolder::takeUncleanNewest(dir.path()), QString()); // still being written
    QFile::copy(journal, journal + ".cut");
    vote.recorder.closed();
    QFile::remove(journal);
    QFile::rename(journal + ".cut", journal);

    QCOMPARE(VoteRecordFolder::takeUncleanNewest(dir.path()), id);
    QCOMPARE(VoteRecordFolder::takeUncleanNewest(dir.path()), QString()); // told once

    const QList<VoteRecordFolder::Listing> listed = VoteRecordFolder::list(dir.path());
    QCOMPARE(listed.size(), VoteRecordFormat::kKeptVotes); // the cut one pushed the oldest out
    QCOMPARE(listed.first().id, id);
    QVERIFY(!listed.first().counted);
    VoteRecordFolder::Listing counted;
    QVERIFY(VoteRecordFolder::summarise(dir.path(), id, counted));
    QVERIFY(!counted.cleanEnd);
    QCOMPARE(counted.teams.first().total, qint64(1));
    // Its summary is kept: the list shows it counted now.
    QVERIFY(VoteRecordFolder::list(dir.path()).first().counted);
}

QTEST_GUILESS_MAIN(TestVoteRecords)
#include "tst_voteRecords.moc"
