#include "TestSupport.h"

#include <QApplication>
#include <QHostAddress>
#include <QTcpServer>

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

ModalWatcher::ModalWatcher(Callback onModal, int intervalMs)
    : callback(std::move(onModal))
{
    connect(&timer, &QTimer::timeout, this, &ModalWatcher::poll);
    timer.start(intervalMs);
}

void ModalWatcher::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal)
        return;
    for (const QPointer<QWidget> &known : modals) {
        if (known == modal)
            return;
    }
    modals.append(modal);
    if (callback)
        callback(modal);
}
