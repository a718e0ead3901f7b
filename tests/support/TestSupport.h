#pragma once

#include "bridge/BridgeOptions.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace TestSupport {

// A TCP port on 127.0.0.1 that was free a moment ago.
quint16 freePort();

// "ws://127.0.0.1:<port>"
QString localAddress(quint16 port);

} // namespace TestSupport

class QWebSocketServer;

// A host that accepts the window's link and sends nothing, so a test's window
// has a live link and never shows the link failure reminder.
class QuietHost
{
public:
    QuietHost();
    ~QuietHost();
    bool isListening() const;
    BridgeOptions options() const;

private:
    QWebSocketServer *server;
};

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
