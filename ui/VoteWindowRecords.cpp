// The vote window's records: the notices at start, restoring a recorded vote
// and the records dialog.
#include "ui/kivaPlugInVote.h"

#include "ui/productsSelector.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "records/VoteRecorder.h"
#include "shell/CWndRemind.h"
#include "ui/StyleFill.h"
#include "ui/VoteRecordsDialog.h"
#include "ui/VoterListWidget.h"
#include "vote/DefaultTeams.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

void kivaPlugInVote::startRecords()
{
    if (!records)
        return;
    // A folder or disk that fails stops the records, never the vote.
    connect(records.get(), &VoteRecorder::recordsOff, this, [this](const QString &reason) {
        QTimer::singleShot(0, this, [this, reason] {
            showRemind(QStringLiteral("提示"),
                       QStringLiteral("投票记录已关闭：%1。计票照常进行。").arg(reason), this);
        });
    });
    if (!VoteRecordFolder::takeUncleanNewest(records->folder()).isEmpty()) {
        QTimer::singleShot(0, this, [this] {
            showRemind(QStringLiteral("提示"),
                       QStringLiteral("上次投票没有正常结束，已计的票都有记录。<br>"
                                      "可在「投票记录」中恢复。"),
                       this);
        });
    }
}

void kivaPlugInVote::showRecords()
{
    if (!records)
        return;
    // The open vote is listed with every line it has been given.
    records->flush();
    VoteRecordsDialog dialog(
        this, records->folder(), vote.isCounting(),
        [this](const QString &id, QString *error) { return restoreRecord(id, error); });
    dialog.exec();
}

bool kivaPlugInVote::restoreRecord(const QString &id, QString *error)
{
    if (!records || vote.isCounting()) {
        if (error)
            *error = QStringLiteral("请先停止计票");
        return false;
    }
    // The open record is read with every line it has been given.
    records->flush();
    RecordedVote recorded;
    if (!VoteRecordReader::read(VoteRecordFolder::journalPath(records->folder(), id), recorded)) {
        if (error)
            *error = QStringLiteral("无法读取这次投票的记录");
        return false;
    }
    if (!records->resume(id, error))
        return false;
    showRecordedVote(recorded);
    records->resumed(vote);
    return true;
}

void kivaPlugInVote::showRecordedVote(const RecordedVote &recorded)
{
    const RecordSettings &settings = recorded.settings;
    // The mode first: it sets how long the names may be.
    (settings.mode == 4       ? mode4Radio
         : settings.mode == 3 ? mode3Radio
                              : mode2Radio)
        ->setChecked(true);
    setMode(settings.mode, false);
    showVoteType(settings.voteType);
    for (int index = 1; index <= kTeamCount; ++index) {
        const RecordTeam &team = settings.teams[index];
        teamWidgets[index].nameEdit->setText(QString::fromUtf8(team.name));
        if (team.giftId.isEmpty())
            continue;
        ProductRecord gift;
        gift.name = team.giftName;
        gift.imageDir = team.imageDir;
        gift.priceText = team.priceText;
        gift.price = team.price;
        vote.chooseGift(index, team.giftId, gift);
        if (!team.imageDir.isEmpty())
            showChosenGift(index);
        else if (const DefaultTeam *fallback = defaultTeam(index); team.giftId == fallback->giftId)
            teamWidgets[index].giftButton->setStyleSheet(
                VoteStyles::fill(VoteStyles::kGiftButton, QString::fromLatin1(fallback->image)));
    }
    questionEdit->setText(settings.question);
    if (settings.noteColor != vote.noteColor())
        showNoteColor((settings.noteColor >> 16) & 0xff, (settings.noteColor >> 8) & 0xff,
                      settings.noteColor & 0xff);
    showRules(settings.rules);

    for (int index = 1; index <= kTeamCount; ++index) {
        const TeamRecord &team = recorded.teams.at(index);
        vote.restoreCount(index, team.votes, team.voters);
        showVotes(index, index == 4 && recorded.team4GiftLabel);
        teamWidgets[index].voterList->setVoters(&vote.team(index).voters,
                                                QString::fromLatin1(defaultTeam(index)->colour));
    }
    // After the voters: one vote per viewer goes on from the votes that stand.
    vote.restoreRuleState(recorded.ignored, recorded.standingVotes);
    refreshVoterCounts();
    // The rule line follows the lead either way.
    if (settings.mode == 2 && recorded.leadShown)
        refreshLead();
    else
        showLead(QString());
    overlayChanged();
}
