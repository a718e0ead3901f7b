#include "vote/kivaPlugInVote.h"

#include "bridge/CIMkiva.h"
#include "bridge/RoomMessageDecoder.h"
#include "shell/CWndRemind.h"

#include <QKeyEvent>
#include <QLoggingCategory>

// Each chat line and gift as it reaches the window (off unless asked for:
// QT_LOGGING_RULES="kiva.room.debug=true").
Q_LOGGING_CATEGORY(lcRoom, "kiva.room", QtWarningMsg)

kivaPlugInVote::kivaPlugInVote(QWidget *parent)
    : kivaPlugInVote(parent, BridgeOptions())
{}

kivaPlugInVote::kivaPlugInVote(QWidget *parent, const BridgeOptions &bridge)
    : QDialog(parent)
{
    buildWindow();

    imClient = new CIMkiva(this, bridge);
    if (bridge.enabled)
        imClient->startLink(dispatchRoomMessage, this);
}

kivaPlugInVote::~kivaPlugInVote() = default;

void kivaPlugInVote::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Ends the vote window's run; start-up then ends the process with status 0.
void kivaPlugInVote::on_cancel_clicked()
{
    done(QDialog::Rejected);
}

void kivaPlugInVote::on_start_clicked()
{
    if (vote.isCounting()) {
        vote.stopCounting();
        return;
    }
    if (!vote.startCounting())
        showRemind(QStringLiteral("提示"), QStringLiteral("无法开始计票，请先编辑投票内容!"), this);
}

void kivaPlugInVote::on_clear_ballot_clicked()
{
    vote.clearTotals();
}

void kivaPlugInVote::on_clear_team_clicked()
{
    vote.clearVoters();
}

void kivaPlugInVote::on_start_time_clicked() {}
void kivaPlugInVote::on_timer_event() {}
void kivaPlugInVote::on_moreSetting_clicked() {}

void kivaPlugInVote::on_gift_clicked()
{
    vote.setVoteType(VoteType::Gift);
}

void kivaPlugInVote::on_text_clicked()
{
    vote.setVoteType(VoteType::Text);
}

void kivaPlugInVote::setMode(int teams)
{
    vote.setVoteMode(teams);
}

void kivaPlugInVote::on_mode2_clicked()
{
    setMode(2);
}

void kivaPlugInVote::on_mode3_clicked()
{
    setMode(3);
}

void kivaPlugInVote::on_mode4_clicked()
{
    setMode(4);
}

void kivaPlugInVote::on_node_clicked() {}
void kivaPlugInVote::on_add_clicked() {}
void kivaPlugInVote::on_sub_clicked() {}
void kivaPlugInVote::on_products_clicked() {}

void kivaPlugInVote::on_team1_changed(const QString &text)
{
    vote.setTeamName(1, text.toUtf8());
}

void kivaPlugInVote::on_team2_changed(const QString &text)
{
    vote.setTeamName(2, text.toUtf8());
}

void kivaPlugInVote::on_team3_changed(const QString &text)
{
    vote.setTeamName(3, text.toUtf8());
}

void kivaPlugInVote::on_team4_changed(const QString &text)
{
    vote.setTeamName(4, text.toUtf8());
}

void kivaPlugInVote::on_text_message(const char *nick, const char *text)
{
    const CountResult result = vote.countChat(nick, text);
    qCDebug(lcRoom).noquote() << "chat" << QString::fromUtf8(nick) << ":" << QString::fromUtf8(text)
                              << (result.changedTeams ? "(counted)" : "");
}

void kivaPlugInVote::on_gift_message(const char *nick, const char *product_id, int buyTimes)
{
    const CountResult result = vote.countGift(nick, product_id, buyTimes);
    qCDebug(lcRoom).noquote() << "gift" << QString::fromUtf8(nick) << ":" << product_id << "x"
                              << buyTimes << (result.changedTeams ? "(counted)" : "");
}

void kivaPlugInVote::on_auth_message(const char *kivaid, const char *roomid, const char *token)
{
    if (!kivaid || !roomid || !token)
        return;
    vote.setLogin(kivaid, roomid, token);
}
