#pragma once

#include <QPoint>
#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QToolButton;

// The strip that replaces the native title bar of the frameless windows: a
// title, minimise / maximise / close buttons, and dragging of its window.
class CTitleBar : public QWidget
{
    Q_OBJECT

public:
    // `title` is UTF-8 (null gives an empty title); `parent` is the window the
    // bar belongs to and moves. Creating the bar makes that window frameless.
    CTitleBar(const char *title, QWidget *parent);

    void setTitle(const QString &text, const char *style);
    void setCloseIcon(const char *path);
    void hideMaxButton(bool hidden);
    void hideMinButton(bool hidden);

    QToolButton *closeControl() const { return closeButton; }
    QToolButton *minimiseControl() const { return minButton; }
    QToolButton *maximiseControl() const { return maxButton; }
    QLabel *titleControl() const { return titleLabel; }
    QString titleText() const { return title; }
    bool isDragging() const { return dragging; }

signals:
    void OnClose();
    void OnMin();
    void OnMax();
    void OnMini();
    void OnSetting();
    void OnSkin();
    void OnDbClicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QString title;
    QToolButton *closeButton = nullptr;
    QToolButton *minButton = nullptr;
    QToolButton *maxButton = nullptr;
    QLabel *titleLabel = nullptr;
    QWidget *window = nullptr;
    QPoint lastPos {0, 0};
    bool dragging = false;
    QHBoxLayout *layout = nullptr;
};
