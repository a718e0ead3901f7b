#pragma once

#include <QDialog>
#include <QKeySequence>

#include <functional>

class CTitleBar;
class QCheckBox;
class QKeySequenceEdit;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class VoteCommands;
class VotePresets;

// The prepared votes, in their order, in a card like the records': the
// window's setup saved as a new preset or over the chosen one (the name is
// typed here), a preset put into the window (not while counting), deleted,
// or moved up and down. Saving and loading go through the vote's commands,
// as the control API's do.
class PresetsDialog : public QDialog
{
    Q_OBJECT

public:
    // The hotkey that loads and starts the preset in place `number` (1 to 9):
    // `set` holds `sequence` (empty: none) and returns the line to show (empty
    // when it holds); `of` tells the one held. Without them the card has no
    // hotkey row.
    struct Hotkeys
    {
        std::function<QString(int number, const QKeySequence &sequence)> set;
        std::function<QKeySequence(int number)> of;
    };

    PresetsDialog(QWidget *parent, VoteCommands *commands, VotePresets *presets,
                  Hotkeys hotkeys = Hotkeys());

    QListWidget *listControl() const { return list; }
    CTitleBar *titleControl() const { return titleBar; }
    // The last outcome shown under the list (a refusal, a gift kept, …).
    QString statusText() const;

private:
    void fill(int current);
    void choiceChanged();
    void saveCurrent();
    void loadChosen();
    void removeChosen();
    void moveChosen(int by);
    void say(const QString &text, bool error);
    void hotkeyChanged();

    VoteCommands *commands = nullptr;
    VotePresets *presets = nullptr;
    CTitleBar *titleBar = nullptr;
    QListWidget *list = nullptr;
    QLineEdit *nameEdit = nullptr;
    QCheckBox *countdownCheck = nullptr;
    QLabel *status = nullptr;
    Hotkeys hotkeys;
    QKeySequenceEdit *hotkeyEdit = nullptr;
    QLabel *hotkeyCaption = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *loadButton = nullptr;
    QPushButton *removeButton = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;
};
