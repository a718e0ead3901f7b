#include "WidgetSupport.h"

#include <QApplication>
#include <QDialog>

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
