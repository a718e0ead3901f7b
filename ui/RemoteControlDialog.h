#pragma once

#include "remote/RemoteSettings.h"

#include <QDialog>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

class CTitleBar;
class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QPushButton;

// The 遥控 card, like the gift selector's: the 允许遥控 switch, the control
// API's address, its token (hidden until 显示; 复制, 换一个) and one row per
// global hotkey with its key field, a clear button and the line saying why
// it does not hold. Every change is put in force at once through `apply`.
class RemoteControlDialog : public QDialog
{
    Q_OBJECT

public:
    // Puts the settings in force (saves them, switches the API, grabs the
    // hotkeys) and returns, per hotkey action, the line to show beside it
    // (empty when it holds).
    using Apply = std::function<QMap<QString, QString>(const RemoteSettings &settings)>;

    // The hotkeys' actions in the order of their rows.
    static const QStringList &actions();

    RemoteControlDialog(QWidget *parent, const RemoteSettings &settings, const QString &address,
                        Apply apply);

    // The settings as last applied.
    const RemoteSettings &settings() const { return current; }
    // Shows the lines of an apply made elsewhere (the hotkeys grabbed at start-up).
    void showHotkeyLines(const QMap<QString, QString> &lines);

    QCheckBox *switchControl() const { return enabledBox; }
    QLabel *addressControl() const { return addressLabel; }
    QLabel *tokenControl() const { return tokenLabel; }
    QPushButton *showTokenControl() const { return showButton; }
    QPushButton *copyTokenControl() const { return copyButton; }
    QPushButton *newTokenControl() const { return newTokenButton; }
    QLabel *hotkeysNoteControl() const { return hotkeysNote; }
    QKeySequenceEdit *hotkeyEdit(const QString &action) const { return rows.value(action).edit; }
    QPushButton *hotkeyClear(const QString &action) const { return rows.value(action).clear; }
    QLabel *hotkeyLine(const QString &action) const { return rows.value(action).line; }
    CTitleBar *titleControl() const { return titleBar; }

private:
    struct Row
    {
        QKeySequenceEdit *edit = nullptr;
        QPushButton *clear = nullptr;
        QLabel *line = nullptr;
    };

    QWidget *buildRemoteSection();
    QWidget *buildHotkeySection();
    void switched(bool on);
    void showToken();
    void copyToken();
    void replaceToken();
    void hotkeyEdited(const QString &action);
    void hotkeyCleared(const QString &action);
    void applyNow();

    RemoteSettings current;
    QString address;
    Apply apply;
    bool tokenShown = false;

    CTitleBar *titleBar = nullptr;
    QCheckBox *enabledBox = nullptr;
    QLabel *addressLabel = nullptr;
    QLabel *tokenLabel = nullptr;
    QPushButton *showButton = nullptr;
    QPushButton *copyButton = nullptr;
    QPushButton *newTokenButton = nullptr;
    QLabel *hotkeysNote = nullptr;
    QMap<QString, Row> rows;
};
