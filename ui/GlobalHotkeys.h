#pragma once

#include <QKeySequence>
#include <QMap>
#include <QObject>
#include <QString>

#include <memory>

class HotkeyGrabber;

// Keys that reach the program while another window has the focus: on X11 a
// key grab on the root window, on Windows RegisterHotKey; elsewhere (Wayland,
// offscreen) none. Each action holds at most one key combination. Needs the
// QGuiApplication and lives in its thread.
class GlobalHotkeys : public QObject
{
    Q_OBJECT

public:
    explicit GlobalHotkeys(QObject *parent = nullptr);
    ~GlobalHotkeys() override;

    // Whether this session can have global hotkeys; `why` (Chinese, one line
    // for the card) when not.
    static bool available(QString *why = nullptr);

    // Holds `sequence` (its first key combination) for `action`, replacing
    // what the action held: afterwards the action holds the new combination
    // or, on failure, nothing. False with `error` (Chinese, one line) when
    // another program or action holds it, it has no key besides modifiers,
    // the keyboard has no such key, or hotkeys are not available here.
    bool set(const QString &action, const QKeySequence &sequence, QString *error = nullptr);
    // Lets go of what `action` holds, if anything.
    void clear(const QString &action);

    // The combination `action` holds; empty when none.
    QKeySequence sequence(const QString &action) const;

signals:
    // The action's keys were pressed (once per press: holding them down does
    // not repeat it).
    void triggered(const QString &action);

private:
    std::unique_ptr<HotkeyGrabber> grabber; // null where hotkeys are not available
    QMap<QString, QKeySequence> held;
};
