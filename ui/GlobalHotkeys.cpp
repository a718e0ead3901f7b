#include "ui/GlobalHotkeys.h"

#include "ui/HotkeyGrabber.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>

namespace {

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
int firstCombination(const QKeySequence &sequence)
{
    return sequence[0].toCombined();
}
#else
int firstCombination(const QKeySequence &sequence)
{
    return sequence[0];
}
#endif

bool isModifierOnly(int key)
{
    switch (key) {
    case 0:
    case Qt::Key_unknown:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}

} // namespace

namespace HotkeyText {

QString notHere()
{
    return QStringLiteral("此系统不支持全局快捷键");
}

QString heldElsewhere(const QString &shown)
{
    return QStringLiteral("%1 已被其他程序占用，请换一个").arg(shown);
}

QString noSuchKey(const QString &shown)
{
    return QStringLiteral("键盘上没有 %1 这个键").arg(shown);
}

QString takenByAnother(const QString &shown)
{
    return QStringLiteral("%1 已用于另一项").arg(shown);
}

bool refuse(QString *error, const QString &line)
{
    if (error)
        *error = line;
    return false;
}

} // namespace HotkeyText

#if !defined(Q_OS_WIN) && !defined(KIVA_XCB_HOTKEYS)
// No grabber for this system.
bool hotkeysAvailable(QString *why)
{
    return HotkeyText::refuse(why, HotkeyText::notHere());
}

std::unique_ptr<HotkeyGrabber> makeHotkeyGrabber(HotkeyGrabber::Fire)
{
    return nullptr;
}
#endif

GlobalHotkeys::GlobalHotkeys(QObject *parent)
    : QObject(parent)
{
    if (!available())
        return;
    // Passed on queued: whatever the action does runs outside the native
    // event's dispatch.
    grabber = makeHotkeyGrabber([this](const QString &action) {
        QMetaObject::invokeMethod(
            this, [this, action] { emit triggered(action); }, Qt::QueuedConnection);
    });
}

GlobalHotkeys::~GlobalHotkeys() = default;

bool GlobalHotkeys::available(QString *why)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return HotkeyText::refuse(why, HotkeyText::notHere());
    return hotkeysAvailable(why);
}

bool GlobalHotkeys::set(const QString &action, const QKeySequence &sequence, QString *error)
{
    const QKeySequence chord = sequence.isEmpty() ? QKeySequence() : QKeySequence(sequence[0]);
    if (!chord.isEmpty() && held.value(action) == chord)
        return true;
    clear(action);
    QString why;
    if (!grabber) {
        available(&why);
        return HotkeyText::refuse(error, why.isEmpty() ? HotkeyText::notHere() : why);
    }
    const int combined = chord.isEmpty() ? 0 : firstCombination(chord);
    const int key = combined & ~int(Qt::KeyboardModifierMask);
    const auto modifiers = Qt::KeyboardModifiers(combined & int(Qt::KeyboardModifierMask));
    if (isModifierOnly(key))
        return HotkeyText::refuse(error,
                                  QStringLiteral("快捷键还要一个 Ctrl、Alt、Shift 以外的键"));
    // A letter or digit grabbed OS-wide would be taken from the streamer's
    // typing everywhere (the game, the chat); keys like F9 may stand alone.
    const auto commanding = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
    if (key < Qt::Key_Escape && !(modifiers & commanding))
        return HotkeyText::refuse(error,
                                  QStringLiteral("字母、数字键要和 Ctrl 或 Alt 一起按"));
    const QString shown = chord.toString(QKeySequence::NativeText);
    for (auto it = held.cbegin(); it != held.cend(); ++it) {
        if (it.value() == chord)
            return HotkeyText::refuse(error, HotkeyText::takenByAnother(shown));
    }
    if (!grabber->grab(action, key, modifiers, shown, error))
        return false;
    held.insert(action, chord);
    return true;
}

void GlobalHotkeys::clear(const QString &action)
{
    if (held.remove(action) && grabber)
        grabber->release(action);
}

QKeySequence GlobalHotkeys::sequence(const QString &action) const
{
    return held.value(action);
}
