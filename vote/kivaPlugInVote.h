#pragma once

#include "bridge/BridgeOptions.h"
#include "vote/TeamRecord.h"
#include "vote/VoteStateRecord.h"

#include <QByteArray>
#include <QDialog>
#include <QString>
#include <QTimer>

class CIMkiva;
class CTitleBar;
class QFrame;

// The vote window: owns every piece of vote data for the life of the process.
class kivaPlugInVote : public QDialog
{
    Q_OBJECT

public:
    explicit kivaPlugInVote(QWidget *parent = nullptr);
    // The same window with its live-room link pointed elsewhere (tests, tools).
    kivaPlugInVote(QWidget *parent, const BridgeOptions &bridge);
    ~kivaPlugInVote() override;

    const TeamMap &teamRecords() const { return teams; }
    const ProductMap &productRecords() const { return products; }
    VoteStateRecord &state() { return stateRecord; }
    const VoteStateRecord &state() const { return stateRecord; }
    // Id of the last room message accepted; only the room message decoder writes it.
    QByteArray &lastMessageId() { return lastMsgId; }
    CIMkiva *roomClient() const { return imClient; }
    CTitleBar *titleControl() const { return titleBar; }

public slots:
    void on_cancel_clicked();
    void on_start_clicked();
    void on_clear_ballot_clicked();
    void on_clear_team_clicked();
    void on_start_time_clicked();
    void on_timer_event();
    void on_moreSetting_clicked();
    void on_gift_clicked();
    void on_text_clicked();
    void on_mode2_clicked();
    void on_mode3_clicked();
    void on_mode4_clicked();
    void on_node_clicked();
    void on_add_clicked();
    void on_sub_clicked();
    void on_products_clicked();
    void on_team1_changed(const QString &text);
    void on_team2_changed(const QString &text);
    void on_team3_changed(const QString &text);
    void on_team4_changed(const QString &text);
    void on_text_message(const char *nick, const char *text);
    void on_gift_message(const char *nick, const char *product_id, int buyTimes);
    void on_auth_message(const char *kivaid, const char *roomid, const char *token);

protected:
    // One key press must not throw away a running vote: Escape does not close
    // this window, only its close control does.
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildWindow();
    void setTeamName(int index, const QString &text);

    QTimer countdownTimer;
    qint32 remainingSeconds = 0;
    CIMkiva *imClient = nullptr;
    QByteArray kivaid;
    QByteArray roomid;
    QByteArray token;
    VoteStateRecord stateRecord;
    TeamMap teams;
    ProductMap products;
    QByteArray lastMsgId;

    CTitleBar *titleBar = nullptr;
    QFrame *backgroundFrame = nullptr;
};
