#pragma once

#include "bridge/BridgeOptions.h"
#include "overlay/OverlayState.h"
#include "remote/RemoteSettings.h"
#include "vote/VoteSession.h"

#include <QDialog>
#include <QImage>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>
#include <string>

class CIMkiva;
class CWndRemind;
class GiftCatalogue;
class OverlayServer;
class ReportSender;
class CTitleBar;
class GlobalHotkeys;
class VoteCommands;
class VotePresets;
class VoteRecorder;
class QHBoxLayout;
struct RecordedVote;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class VoterListWidget;
class productsSelector;
struct GiftListEntry;

// The vote window: the streamer's view of one vote session and its controls.
// The session holds the data; the slots delegate to it and repaint what changed.
class kivaPlugInVote : public QDialog
{
    Q_OBJECT

public:
    // The program's window: the live room at its fixed address, the results
    // page on KIVA_OVERLAY_PORT (default 11112), the vote records in the
    // user's data folder.
    explicit kivaPlugInVote(QWidget *parent = nullptr);
    // The same window with its live-room link pointed elsewhere, or off, the
    // results page on `overlayPort` (0: a free port; -1: none) and the vote
    // records in `recordsFolder` (empty: none kept) (tests, tools).
    kivaPlugInVote(QWidget *parent, const BridgeOptions &bridge, int overlayPort = -1,
                   const QString &recordsFolder = QString());
    ~kivaPlugInVote() override;

    const VoteSession &session() const { return vote; }
    // The repeat rule of the room link's decoder: false for a room event that
    // carries the id of the last one accepted.
    bool acceptRoomEvent(const char *msgId) { return vote.acceptRoomEvent(msgId); }

    CIMkiva *roomClient() const { return imClient; }
    GiftCatalogue *giftCatalogue() const { return catalogue; }
    // Whether the streamer has been told that the room link failed.
    bool linkFailureShown() const { return linkReminderShown; }
    CTitleBar *titleControl() const { return titleBar; }
    // The controls of the vote, as the buttons, the control API and the hotkeys give them.
    VoteCommands *voteCommands() const { return commands; }

    // Tells the platform which control was used (button codes "1" to "13").
    void reportInteraction(const std::string &button);

    // What the on-stream results page shows now.
    OverlayState overlayState() const;
    // The results page's address; empty when it is not served.
    QString overlayAddress() const;

    // The vote records; null when the window keeps none.
    VoteRecorder *voteRecords() const { return records.get(); }
    // Puts the recorded vote `id` back into the session and the window, not
    // counting; its record goes on. False with `error` while counting or when
    // the record cannot be read or taken.
    bool restoreRecord(const QString &id, QString *error);
    // The records dialog, modal.
    void showRecords();

    // Prepared votes kept in `path` (kiva/presets.json): the 预设 button
    // shows in the row of 开始计票. A damaged file is kept aside and the
    // streamer told once.
    void enablePresets(const QString &path);
    VotePresets *presetList() const { return presets.get(); }
    // The presets card, modal.
    void showPresets();

    // Remote control (the control API, the hotkeys, the 遥控 card) with its
    // settings in `settingsPath` (kiva/remote.json); the 遥控 button shows in
    // the row of 开始计票. A `token` switches it on for this run only.
    void enableRemoteControl(const QString &settingsPath, const QByteArray &token = QByteArray());
    // "http://127.0.0.1:<port>/control"; empty without the results page's server.
    QString remoteAddress() const;
    const RemoteSettings &remoteSettings() const { return remote; }
    // The remote control card, modal.
    void showRemoteControl();

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
    void paintEvent(QPaintEvent *event) override;

private:
    // The widgets of one team column.
    struct TeamWidgets
    {
        QWidget *column = nullptr;
        QPushButton *giftButton = nullptr;
        QLabel *numberLabel = nullptr; // shown under vote by number
        QLineEdit *nameEdit = nullptr;
        QLabel *votesLabel = nullptr;
        VoterListWidget *voterList = nullptr;
    };

    // The window build.
    void buildWindow();
    void buildTeamArea();
    QWidget *buildTeamColumn(int index);
    void buildMoreSettings();

    // What the slots show.
    void setMode(int teams, bool report = true);
    void showVoteType(VoteType type);
    void showNoteColor(int red, int green, int blue);
    void showVotes(int index, bool trailingBlank = false);
    void showCountResult(const CountResult &result, bool giftVote);
    void refreshLead();
    void showLead(const QString &text);
    void refreshRuleLine();
    void ruleLineDue();
    void layOutRuleLine(const QString &count);
    void refreshVoterCounts();
    void setVoteControlsEnabled(bool enabled);
    // What the commands changed.
    void connectCommands();
    void showCounting(bool counting);
    void showTotalsCleared();
    void showCorrected(int index);
    void showCountdown();
    // The rules section showing `rules`, which the session then applies.
    void showRules(const VoteRules &rules);
    void adjustManualVotes(QLineEdit *countEdit, QComboBox *teamBox, bool add);
    // The counting rules as the panel's controls set them.
    void applyRules();

    // The room link and the gift catalogue, as they report.
    void connectServices(const BridgeOptions &bridge);
    void linkFailed();
    void linkUp();
    void listReady(const QList<GiftListEntry> &entries);
    void listFailed();
    void imageReady(const QByteArray &productId);

    // Adds a gift of the room's list to the catalogue and queues its picture.
    void addProduct(const QByteArray &productId, const QString &name, const QByteArray &imageUrl,
                    const QString &imageFolder, qint32 price);
    void showChosenGift(int index);
    // Something the results page shows has changed.
    void overlayChanged();

    QMap<QString, QString> holdRemote();
    // Holds `sequence` (empty: none) for `action` and keeps it; the line to show when it cannot.
    QString setHotkey(const QString &action, const QKeySequence &sequence);
    void hotkeyPressed(const QString &action);

    // A preset (or a restored vote) replaced the setup: every control shows the session's.
    void showSetup();
    void showTeamGift(int index);
    // Adds a text button to the end of the row of 开始计票, moving nothing.
    QPushButton *addCountingRowButton(const QString &text, const char *name);

    // The vote records.
    void startRecords();
    void showRecordedVote(const RecordedVote &recorded);

    VoteSession vote;
    GiftCatalogue *catalogue = nullptr;
    std::unique_ptr<ReportSender> reports;
    CIMkiva *imClient = nullptr;
    OverlayServer *overlay = nullptr;
    std::unique_ptr<VoteRecorder> records;
    VoteCommands *commands = nullptr;
    std::unique_ptr<VotePresets> presets;
    RemoteSettings remote;
    QString remotePath;
    GlobalHotkeys *hotkeys = nullptr;
    bool remoteCardOpen = false;
    QMap<QString, QString> hotkeyLines; // of the hotkeys that could not be held
    qint32 noteColorShown = 0x181818; // the question's colour as the window shows it
    // Cards that close by themselves, and the one link reminder of the process.
    QPointer<CWndRemind> linkCard;
    QPointer<CWndRemind> listCard;
    bool linkReminderShown = false;
    // The gift selector while it is open, told of pictures that arrive.
    QPointer<productsSelector> openSelector;

    CTitleBar *titleBar = nullptr;
    QFrame *backgroundFrame = nullptr;
    QWidget *teamArea = nullptr;
    QPushButton *startButton = nullptr;
    QPushButton *clearBallotButton = nullptr;
    QPushButton *clearTeamButton = nullptr;
    QPushButton *recordsButton = nullptr;
    QHBoxLayout *countingRow = nullptr;
    QLineEdit *secondsEdit = nullptr;
    QPushButton *startTimeButton = nullptr;
    QPushButton *moreSettingButton = nullptr;
    QWidget *moreSettingPanel = nullptr;

    QLineEdit *questionEdit = nullptr;
    QLabel *countdownLabel = nullptr;
    QLabel *leadLabel = nullptr;
    QLabel *ruleLabel = nullptr; // the rules in force, beside the lead or under the board
    QString ruleNames; // of the rules in force
    QString ruleNamesShown; // as the rule line shows them (cut in a narrow row)
    // What the rule line was laid out for: the lengths of the lead and of the
    // count (-1: lay out again) and the count it shows.
    int ruleLineLeadLength = -1;
    int ruleLineCountLength = -1;
    qint64 ruleLineIgnored = -1;
    bool ruleLineQueued = false;
    QLabel *divider23 = nullptr;
    QLabel *divider34 = nullptr;
    TeamWidgets teamWidgets[kTeamCount + 1]; // by team index 1..4

    QRadioButton *giftRadio = nullptr;
    QRadioButton *textRadio = nullptr;
    QRadioButton *mode2Radio = nullptr;
    QRadioButton *mode3Radio = nullptr;
    QRadioButton *mode4Radio = nullptr;
    QButtonGroup *voteTypeGroup = nullptr;
    QButtonGroup *modeGroup = nullptr;
    QPushButton *swatchButton = nullptr;
    QComboBox *addTeamBox = nullptr;
    QLineEdit *addCountEdit = nullptr;
    QPushButton *addButton = nullptr;
    QComboBox *subTeamBox = nullptr;
    QLineEdit *subCountEdit = nullptr;
    QPushButton *subButton = nullptr;
    QCheckBox *onePerViewerCheck = nullptr;
    QCheckBox *allowChangeCheck = nullptr;
    QCheckBox *cooldownCheck = nullptr;
    QLineEdit *cooldownEdit = nullptr;
    QCheckBox *stopAtTimeUpCheck = nullptr;
    QCheckBox *voteByNumberCheck = nullptr;

    // The drop shadow showing at the window's rounded corners, drawn once per
    // size; the other size's is kept, as 更多设置 switches between the two.
    QImage cornerShadow;
    QImage otherCornerShadow;
};
