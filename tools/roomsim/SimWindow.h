#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class SimSession;

// The simulator's window for the demo: the link's state, a viewer's chat
// line or gift sent by hand, the crowd switch and the frames going by.
class SimWindow : public QWidget
{
    Q_OBJECT

public:
    explicit SimWindow(SimSession &session, QWidget *parent = nullptr);

private:
    void appendLog(const QString &line);
    void refreshStatus();
    void sendChat();
    void sendGift();

    SimSession &session;
    QLabel *statusLabel = nullptr;
    QLabel *portLabel = nullptr;
    QLabel *countersLabel = nullptr;
    QPushButton *dropButton = nullptr;
    QPushButton *resumeButton = nullptr;
    QLineEdit *nickEdit = nullptr;
    QLineEdit *textEdit = nullptr;
    QComboBox *giftCombo = nullptr;
    QSpinBox *giftCount = nullptr;
    QCheckBox *crowdSwitch = nullptr;
    QSpinBox *rateSpin = nullptr;
    QPlainTextEdit *logView = nullptr;
    QTimer refreshTimer;
};
