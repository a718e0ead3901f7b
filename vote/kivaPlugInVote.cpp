#include "vote/kivaPlugInVote.h"

#include "bridge/CIMkiva.h"
#include "bridge/RoomMessageDecoder.h"
#include "vote/VoteCounting.h"

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
    for (int index = 1; index <= kTeamCount; ++index)
        teams.emplace(index, TeamRecord());

    buildWindow();

    imClient = new CIMkiva(this, bridge);
    imClient->startLink(dispatchRoomMessage, this);

    stateRecord.setDefaults();
    lastMsgId = "none";
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

void kivaPlugInVote::on_start_clicked() {}
void kivaPlugInVote::on_clear_ballot_clicked() {}
void kivaPlugInVote::on_clear_team_clicked() {}
void kivaPlugInVote::on_start_time_clicked() {}
void kivaPlugInVote::on_timer_event() {}
void kivaPlugInVote::on_moreSetting_clicked() {}
void kivaPlugInVote::on_gift_clicked() {}
void kivaPlugInVote::on_text_clicked() {}
void kivaPlugInVote::on_mode2_clicked() {}
void kivaPlugInVote::on_mode3_clicked() {}
void kivaPlugInVote::on_mode4_clicked() {}
void kivaPlugInVote::on_node_clicked() {}
void kivaPlugInVote::on_add_clicked() {}
void kivaPlugInVote::on_sub_clicked() {}
void kivaPlugInVote::on_products_clicked() {}

void kivaPlugInVote::setTeamName(int index, const QString &text)
{
    teams[index].name = text.toUtf8();
}

void kivaPlugInVote::on_team1_changed(const QString &text)
{
    setTeamName(1, text);
}

void kivaPlugInVote::on_team2_changed(const QString &text)
{
    setTeamName(2, text);
}

void kivaPlugInVote::on_team3_changed(const QString &text)
{
    setTeamName(3, text);
}

void kivaPlugInVote::on_team4_changed(const QString &text)
{
    setTeamName(4, text);
}

void kivaPlugInVote::on_text_message(const char *nick, const char *text)
{
    const CountResult result =
        VoteCounting::countText(teams, CountingSettings::read(stateRecord), nick, text);
    qCDebug(lcRoom).noquote() << "chat" << QString::fromUtf8(nick) << ":" << QString::fromUtf8(text)
                              << (result.changedTeams ? "(counted)" : "");
}

void kivaPlugInVote::on_gift_message(const char *nick, const char *product_id, int buyTimes)
{
    const CountResult result = VoteCounting::countGift(teams, CountingSettings::read(stateRecord),
                                                       nick, product_id, buyTimes);
    qCDebug(lcRoom).noquote() << "gift" << QString::fromUtf8(nick) << ":" << product_id << "x"
                              << buyTimes << (result.changedTeams ? "(counted)" : "");
}

void kivaPlugInVote::on_auth_message(const char *, const char *, const char *) {}
