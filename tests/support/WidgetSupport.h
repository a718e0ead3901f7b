#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// The window's widget of that object name; a test cannot go on without it.
template<typename Widget> Widget *find(const QWidget &window, const QString &name)
{
    Widget *widget = window.findChild<Widget *>(name);
    if (!widget)
        qFatal("no widget named %s", qPrintable(name));
    return widget;
}

template<typename Widget> Widget *find(const QWidget &window, const char *name)
{
    return find<Widget>(window, QString::fromLatin1(name));
}

// Watches for dialogs while a test runs a dialog's loop: every new active
// modal widget or visible top-level dialog is handed once to the callback
// (which may close it).
class ModalWatcher : public QObject
{
    Q_OBJECT

public:
    using Callback = std::function<void(QWidget *modal)>;

    explicit ModalWatcher(Callback callback, int intervalMs = 20);

    // Modal widgets seen so far, in order; entries go null once deleted.
    QList<QPointer<QWidget>> seen() const { return modals; }
    int count() const { return int(modals.size()); }

private:
    void poll();

    Callback callback;
    QTimer timer;
    QList<QPointer<QWidget>> modals;
};
