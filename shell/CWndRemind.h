#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>

class CTitleBar;
class QLabel;
class QPushButton;

// The small modal card through which every failure or refusal is shown.
class CWndRemind : public QDialog
{
    Q_OBJECT

public:
    explicit CWndRemind(QWidget *parent);

    // Builds the card from two UTF-8 texts; called once, right after construction.
    void initRemind(const char *title, const char *text);

    CTitleBar *titleControl() const { return titleBar; }
    QLabel *textControl() const { return textLabel; }
    QPushButton *closeControl() const { return closeButton; }

public slots:
    void on_cancel_clicked();
    void on_ok_clicked();

private:
    CTitleBar *titleBar = nullptr;
    QLabel *textLabel = nullptr;
    QPushButton *closeButton = nullptr;
};

// Shows the card modally and returns once it is closed. `parent` may be null.
// While it is shown, `*shown` (when given) points at it, so that the caller
// can close it when what it says no longer holds.
void showRemind(const QString &title, const QString &text, QWidget *parent,
                QPointer<CWndRemind> *shown = nullptr);
