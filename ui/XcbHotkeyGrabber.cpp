// The X11 grabs: a passive key grab on every root window, the presses
// read from Qt's own connection through the native event filter.
#include "ui/HotkeyGrabber.h"

#ifdef KIVA_XCB_HOTKEYS

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMap>

#include <xcb/xcb.h>
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
#include <qpa/qplatformnativeinterface.h>
#endif

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace HotkeyText;

namespace {

constexpr uint16_t kShift = XCB_MOD_MASK_SHIFT;
constexpr uint16_t kCapsLock = XCB_MOD_MASK_LOCK;
constexpr uint16_t kControl = XCB_MOD_MASK_CONTROL;
constexpr uint16_t kAlt = XCB_MOD_MASK_1;
constexpr uint16_t kSuper = XCB_MOD_MASK_4; // what Qt calls Meta on X11
// The modifiers a combination is told apart by; the locks are not among them.
constexpr uint16_t kChordModifiers = kShift | kControl | kAlt | kSuper;
constexpr xcb_keysym_t kNumLockKeysym = 0xff7f;
// Autorepeat sends a press while the keys are down; a press this long after
// the last one is taken as new even without a release seen in between.
constexpr xcb_timestamp_t kRepeatWindowMs = 1000;

template<typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_connection_t *qtConnection()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance())
        || QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
#else
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    return native ? static_cast<xcb_connection_t *>(
               native->nativeResourceForIntegration(QByteArrayLiteral("connection")))
                  : nullptr;
#endif
}

// The keysym a Qt key stands for; 0 when none.
xcb_keysym_t keysymOf(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9)
            return 0xffb0 + xcb_keysym_t(key - Qt::Key_0); // KP_0 ...
        if (key == Qt::Key_Enter)
            return 0xff8d;
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return xcb_keysym_t(key - Qt::Key_A + 'a');
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return 0xffbe + xcb_keysym_t(key - Qt::Key_F1);
    if (key >= 0x20 && key <= 0xff)
        return xcb_keysym_t(key); // Latin-1: Qt's codes are the keysyms
    static const struct
    {
        int key;
        xcb_keysym_t keysym;
    } named[] = {
        {Qt::Key_Escape, 0xff1b},
        {Qt::Key_Tab, 0xff09},
        {Qt::Key_Backspace, 0xff08},
        {Qt::Key_Return, 0xff0d},
        {Qt::Key_Enter, 0xff8d},
        {Qt::Key_Insert, 0xff63},
        {Qt::Key_Delete, 0xffff},
        {Qt::Key_Pause, 0xff13},
        {Qt::Key_Print, 0xff61},
        {Qt::Key_Home, 0xff50},
        {Qt::Key_End, 0xff57},
        {Qt::Key_Left, 0xff51},
        {Qt::Key_Up, 0xff52},
        {Qt::Key_Right, 0xff53},
        {Qt::Key_Down, 0xff54},
        {Qt::Key_PageUp, 0xff55},
        {Qt::Key_PageDown, 0xff56},
        {Qt::Key_ScrollLock, 0xff14},
        {Qt::Key_Menu, 0xff67},
        {Qt::Key_VolumeDown, 0x1008ff11},
        {Qt::Key_VolumeMute, 0x1008ff12},
        {Qt::Key_VolumeUp, 0x1008ff13},
        {Qt::Key_MediaPlay, 0x1008ff14},
        {Qt::Key_MediaTogglePlayPause, 0x1008ff14},
        {Qt::Key_MediaStop, 0x1008ff15},
        {Qt::Key_MediaPrevious, 0x1008ff16},
        {Qt::Key_MediaNext, 0x1008ff17},
    };
    for (const auto &entry : named) {
        if (entry.key == key)
            return entry.keysym;
    }
    return 0;
}

// The server's keyboard mapping, read fresh for each grab, so a layout
// changed since the start is the one used.
class KeyboardMap
{
public:
    explicit KeyboardMap(xcb_connection_t *connection)
    {
        const xcb_setup_t *setup = xcb_get_setup(connection);
        first = setup->min_keycode;
        const uint8_t count = uint8_t(setup->max_keycode - setup->min_keycode + 1);
        ReplyPtr<xcb_get_keyboard_mapping_reply_t> reply(
            xcb_get_keyboard_mapping_reply(
                connection, xcb_get_keyboard_mapping(connection, first, count), nullptr),
            &std::free);
        if (!reply)
            return;
        perKeycode = reply->keysyms_per_keycode;
        const xcb_keysym_t *syms = xcb_get_keyboard_mapping_keysyms(reply.get());
        keysyms.assign(syms, syms + xcb_get_keyboard_mapping_keysyms_length(reply.get()));
    }

    // The first keycode giving `keysym`, unshifted positions first; 0 when none.
    xcb_keycode_t keycodeOf(xcb_keysym_t keysym) const
    {
        if (!keysym || !perKeycode)
            return 0;
        const size_t codes = keysyms.size() / perKeycode;
        for (size_t column = 0; column < perKeycode; ++column) {
            for (size_t code = 0; code < codes; ++code) {
                if (keysyms[code * perKeycode + column] == keysym)
                    return xcb_keycode_t(first + code);
            }
        }
        return 0;
    }

private:
    xcb_keycode_t first = 0;
    size_t perKeycode = 0;
    std::vector<xcb_keysym_t> keysyms;
};

// The modifier bit NumLock sets (Mod2 almost everywhere); 0 when none.
uint16_t numLockMask(xcb_connection_t *connection, const KeyboardMap &keyboard)
{
    const xcb_keycode_t numLock = keyboard.keycodeOf(kNumLockKeysym);
    if (!numLock)
        return 0;
    ReplyPtr<xcb_get_modifier_mapping_reply_t> reply(
        xcb_get_modifier_mapping_reply(connection, xcb_get_modifier_mapping(connection), nullptr),
        &std::free);
    if (!reply)
        return 0;
    const xcb_keycode_t *codes = xcb_get_modifier_mapping_keycodes(reply.get());
    const int perModifier = reply->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int index = 0; index < perModifier; ++index) {
            if (codes[modifier * perModifier + index] == numLock)
                return uint16_t(1u << modifier);
        }
    }
    return 0;
}

uint16_t xModifiers(Qt::KeyboardModifiers modifiers)
{
    uint16_t mask = 0;
    if (modifiers & Qt::ShiftModifier)
        mask |= kShift;
    if (modifiers & Qt::ControlModifier)
        mask |= kControl;
    if (modifiers & Qt::AltModifier)
        mask |= kAlt;
    if (modifiers & Qt::MetaModifier)
        mask |= kSuper;
    return mask;
}

} // namespace

class XcbHotkeyGrabber : public HotkeyGrabber
{
public:
    // `qt` is Qt's own connection, live.
    XcbHotkeyGrabber(xcb_connection_t *qt, Fire fired);
    ~XcbHotkeyGrabber() override;

    bool grab(const QString &action, int key, Qt::KeyboardModifiers modifiers, const QString &shown,
              QString *error) override;
    void release(const QString &action) override;
    bool nativeEventFilter(const QByteArray &eventType, void *message,
                           NativeResult *result) override;

private:
    struct Grab
    {
        xcb_keycode_t keycode = 0;
        uint16_t modifiers = 0;
        uint16_t numLock = 0; // the NumLock modifier when grabbed
        bool down = false;
        xcb_timestamp_t pressedAt = 0;
        xcb_timestamp_t releasedAt = 0;
    };
    std::vector<uint16_t> variants(const Grab &grab) const;
    void ungrab(const Grab &grab);

    Fire fire;
    xcb_connection_t *connection = nullptr;
    std::vector<xcb_window_t> roots;
    QMap<QString, Grab> grabs;
};

XcbHotkeyGrabber::XcbHotkeyGrabber(xcb_connection_t *qt, Fire fired)
    : fire(std::move(fired))
    , connection(qt)
{
    // Every screen's root: the keys work whichever screen has the pointer.
    for (xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection)); it.rem;
         xcb_screen_next(&it))
        roots.push_back(it.data->root);
    QCoreApplication::instance()->installNativeEventFilter(this);
}

XcbHotkeyGrabber::~XcbHotkeyGrabber()
{
    // After the application's end the connection is closed, and the server
    // has let go of the grabs already.
    if (qtConnection() == connection) {
        for (const Grab &grab : grabs)
            ungrab(grab);
        xcb_flush(connection);
    }
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

std::vector<uint16_t> XcbHotkeyGrabber::variants(const Grab &grab) const
{
    // A grab matches its modifiers exactly: the same keys with CapsLock or
    // NumLock on are other combinations to the server.
    std::vector<uint16_t> masks {grab.modifiers, uint16_t(grab.modifiers | kCapsLock)};
    if (grab.numLock) {
        masks.push_back(uint16_t(grab.modifiers | grab.numLock));
        masks.push_back(uint16_t(grab.modifiers | grab.numLock | kCapsLock));
    }
    return masks;
}

void XcbHotkeyGrabber::ungrab(const Grab &grab)
{
    // Lets go of this client's grabs only; another program's stay.
    for (xcb_window_t root : roots) {
        for (uint16_t mask : variants(grab))
            xcb_ungrab_key(connection, grab.keycode, root, mask);
    }
}

bool XcbHotkeyGrabber::grab(const QString &action, int key, Qt::KeyboardModifiers modifiers,
                            const QString &shown, QString *error)
{
    const KeyboardMap keyboard(connection);
    Grab grab;
    grab.keycode = keyboard.keycodeOf(keysymOf(key, modifiers));
    if (!grab.keycode)
        return refuse(error, noSuchKey(shown));
    grab.modifiers = xModifiers(modifiers);
    grab.numLock = numLockMask(connection, keyboard);
    for (const Grab &other : grabs) {
        if (other.keycode == grab.keycode && other.modifiers == grab.modifiers)
            return refuse(error, takenByAnother(shown));
    }

    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_window_t root : roots) {
        // Not owner events: the release must come to the root too, even when
        // one of our windows has the focus, or the next press looks like a repeat.
        for (uint16_t mask : variants(grab))
            cookies.push_back(xcb_grab_key_checked(connection, 0, root, mask, grab.keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    uint8_t failure = 0;
    for (const xcb_void_cookie_t &cookie : cookies) {
        ReplyPtr<xcb_generic_error_t> checked(xcb_request_check(connection, cookie), &std::free);
        if (checked && !failure)
            failure = checked->error_code;
    }
    if (failure) {
        ungrab(grab);
        xcb_flush(connection);
        if (failure == XCB_ACCESS)
            return refuse(error, heldElsewhere(shown));
        return refuse(error,
                      QStringLiteral("无法设置快捷键 %1（X 错误 %2）").arg(shown).arg(failure));
    }
    grabs.insert(action, grab);
    return true;
}

void XcbHotkeyGrabber::release(const QString &action)
{
    const auto found = grabs.find(action);
    if (found == grabs.end())
        return;
    ungrab(*found);
    xcb_flush(connection);
    grabs.erase(found);
}

bool XcbHotkeyGrabber::nativeEventFilter(const QByteArray &eventType, void *message, NativeResult *)
{
    if (grabs.isEmpty() || eventType != "xcb_generic_event_t")
        return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const uint8_t kind = event->response_type & 0x7f;
    if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE)
        return false;
    // A release has the press's layout.
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    if (std::find(roots.begin(), roots.end(), key->event) == roots.end())
        return false;

    bool ours = false;
    for (auto it = grabs.begin(); it != grabs.end(); ++it) {
        Grab &grab = *it;
        if (grab.keycode != key->detail)
            continue;
        if (kind == XCB_KEY_RELEASE) {
            // The modifiers may be up already: the key alone ends the press.
            grab.down = false;
            grab.releasedAt = key->time;
            ours = true;
            continue;
        }
        if ((key->state & kChordModifiers) != grab.modifiers)
            continue;
        ours = true;
        // Autorepeat: presses while the keys are down, or (where the server
        // does not tell repeats apart) a release and a press at the same time.
        const bool repeat = (grab.down && key->time - grab.pressedAt < kRepeatWindowMs)
            || (!grab.down && grab.releasedAt == key->time);
        grab.down = true;
        grab.pressedAt = key->time;
        if (!repeat)
            fire(it.key());
    }
    return ours;
}

bool hotkeysAvailable(QString *why)
{
    if (qtConnection())
        return true;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
        return refuse(why, QStringLiteral("Wayland 桌面不支持全局快捷键"));
    return refuse(why, notHere());
}

std::unique_ptr<HotkeyGrabber> makeHotkeyGrabber(HotkeyGrabber::Fire fire)
{
    xcb_connection_t *connection = qtConnection();
    if (!connection)
        return nullptr;
    return std::make_unique<XcbHotkeyGrabber>(connection, std::move(fire));
}

#endif
