#pragma once

#include <QAbstractNativeEventFilter>
#include <QString>
#include <Qt>

#include <functional>
#include <memory>

// The platform's side of GlobalHotkeys: holds the system's grabs of key
// combinations and watches the native events for them. One implementation a
// platform (X11, Windows); where there is none, makeHotkeyGrabber gives null.
class HotkeyGrabber : public QAbstractNativeEventFilter
{
public:
    // Called for each press of a held combination, from the native event's
    // dispatch (the caller passes it on queued).
    using Fire = std::function<void(const QString &action)>;

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    using NativeResult = qintptr;
#else
    using NativeResult = long;
#endif

    ~HotkeyGrabber() override = default;

    // Holds `key` with `modifiers` for `action` (which holds nothing now).
    // False with `error`, one line naming the combination as `shown`.
    virtual bool grab(const QString &action, int key, Qt::KeyboardModifiers modifiers,
                      const QString &shown, QString *error) = 0;
    virtual void release(const QString &action) = 0;
};

// Whether this session, which has a QGuiApplication, can grab keys; `why`
// (Chinese, one line) when not.
bool hotkeysAvailable(QString *why);
// This session's grabber, installed as a native event filter; null where
// hotkeysAvailable is false.
std::unique_ptr<HotkeyGrabber> makeHotkeyGrabber(HotkeyGrabber::Fire fire);

// The lines the grabbers give, the same on every platform.
namespace HotkeyText {

QString notHere();
QString heldElsewhere(const QString &shown);
QString noSuchKey(const QString &shown);
QString takenByAnother(const QString &shown);
// Sets `error` (when given) to `line`; false.
bool refuse(QString *error, const QString &line);

} // namespace HotkeyText
