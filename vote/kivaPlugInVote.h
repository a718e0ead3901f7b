#pragma once

#include "bridge/BridgeOptions.h"
#include "vote/VoteSession.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>

class CIMkiva;
class CTitleBar;
class QFrame;

// The vote window: the streamer's view of one vote session and its controls.
// The session holds the data; the slots delegate to it and repaint what changed.
class kivaPlugInVote : public QDialog
{
    Q_OBJECT

public:
    explicit kivaPlugInVote(QWidget *parent = nullptr);
    // The same window with its live-room link pointed elsewhere, or off (tests, tools).
    kivaPlugInVote(QWidget *parent, const BridgeOptions &bridge);
    ~kivaPlugInVote() override;

    const VoteSession &session() const { return vote; }
    // The repeat rule of the room link's decoder: false for a room event that
    // carries the id of the last one accepted.
    bool acceptRoomEvent(const char *msgId) { return vote.acceptRoomEvent(msgId); }

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
    void setMode(int teams);

    VoteSession vote;
    QTimer countdownTimer;
    QElapsedTimer countdownClock;
    CIMkiva *imClient = nullptr;

    CTitleBar *titleBar = nullptr;
    QFrame *backgroundFrame = nullptr;
};
