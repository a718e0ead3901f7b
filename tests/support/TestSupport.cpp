#include "TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QHostAddress>
#include <QTcpServer>
#include <QWebSocketServer>

namespace TestSupport {

quint16 freePort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QString localAddress(quint16 port)
{
    return QStringLiteral("ws://127.0.0.1:%1").arg(port);
}

} // namespace TestSupport

QuietHost::QuietHost()
    : server(new QWebSocketServer(QStringLiteral("host"), QWebSocketServer::NonSecureMode))
{
    server->listen(QHostAddress::LocalHost, 0);
}

QuietHost::~QuietHost()
{
    delete server;
}

bool QuietHost::isListening() const
{
    return server->isListening();
}

BridgeOptions QuietHost::options() const
{
    BridgeOptions options;
    options.address = TestSupport::localAddress(server->serverPort());
    return options;
}

ModalWatcher::ModalWatcher(Callback onModal, int intervalMs)
    : callback(std::move(onModal))
{
    connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
    timer.start(intervalMs);
}

void ModalWatcher::poll()
{
    // The vote window runs a local loop without being modal (it is shown before
    // its run starts), so visible top-level dialogs count as well.
    QList<QWidget *> candidates;
    if (QWidget *modal = QApplication::activeModalWidget())
        candidates.append(modal);
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && qobject_cast<QDialog *>(widget))
            candidates.append(widget);
    }
    for (QWidget *candidate : candidates) {
        bool known = false;
        for (const QPointer<QWidget> &seenWidget : modals)
            known = known || seenWidget == candidate;
        if (known)
            continue;
        modals.append(candidate);
        if (callback)
            callback(candidate);
    }
}
