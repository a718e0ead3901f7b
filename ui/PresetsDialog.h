#pragma once

#include <QDialog>

class CTitleBar;
class QCheckBox;
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
    PresetsDialog(QWidget *parent, VoteCommands *commands, VotePresets *presets);

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

    VoteCommands *commands = nullptr;
    VotePresets *presets = nullptr;
    CTitleBar *titleBar = nullptr;
    QListWidget *list = nullptr;
    QLineEdit *nameEdit = nullptr;
    QCheckBox *countdownCheck = nullptr;
    QLabel *status = nullptr;
    QPushButton *saveButton = nullptr;
    QPushButton *loadButton = nullptr;
    QPushButton *removeButton = nullptr;
    QPushButton *upButton = nullptr;
    QPushButton *downButton = nullptr;
};
