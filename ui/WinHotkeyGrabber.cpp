// The Windows hotkeys: RegisterHotKey for the GUI thread, whose WM_HOTKEY
// messages arrive through the native event filter.
#include "ui/HotkeyGrabber.h"

#ifdef Q_OS_WIN

#include <QCoreApplication>
#include <QMap>

#include <windows.h>

using namespace HotkeyText;

#ifndef MOD_NOREPEAT
#define MOD_NOREPEAT 0x4000
#endif

namespace {

UINT virtualKeyOf(int key, Qt::KeyboardModifiers modifiers)
{
    if ((modifiers & Qt::KeypadModifier) && key >= Qt::Key_0 && key <= Qt::Key_9)
        return UINT(VK_NUMPAD0 + (key - Qt::Key_0));
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9))
        return UINT(key); // the virtual keys of letters and digits are their ASCII codes
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return UINT(VK_F1 + (key - Qt::Key_F1));
    static const struct
    {
        int key;
        UINT virtualKey;
    } named[] = {
        {Qt::Key_Space, VK_SPACE},
        {Qt::Key_Escape, VK_ESCAPE},
        {Qt::Key_Tab, VK_TAB},
        {Qt::Key_Backspace, VK_BACK},
        {Qt::Key_Return, VK_RETURN},
        {Qt::Key_Enter, VK_RETURN},
        {Qt::Key_Insert, VK_INSERT},
        {Qt::Key_Delete, VK_DELETE},
        {Qt::Key_Pause, VK_PAUSE},
        {Qt::Key_Print, VK_SNAPSHOT},
        {Qt::Key_Home, VK_HOME},
        {Qt::Key_End, VK_END},
        {Qt::Key_Left, VK_LEFT},
        {Qt::Key_Up, VK_UP},
        {Qt::Key_Right, VK_RIGHT},
        {Qt::Key_Down, VK_DOWN},
        {Qt::Key_PageUp, VK_PRIOR},
        {Qt::Key_PageDown, VK_NEXT},
        {Qt::Key_ScrollLock, VK_SCROLL},
        {Qt::Key_VolumeUp, VK_VOLUME_UP},
        {Qt::Key_VolumeDown, VK_VOLUME_DOWN},
        {Qt::Key_VolumeMute, VK_VOLUME_MUTE},
        {Qt::Key_MediaPlay, VK_MEDIA_PLAY_PAUSE},
        {Qt::Key_MediaTogglePlayPause, VK_MEDIA_PLAY_PAUSE},
        {Qt::Key_MediaStop, VK_MEDIA_STOP},
        {Qt::Key_MediaNext, VK_MEDIA_NEXT_TRACK},
        {Qt::Key_MediaPrevious, VK_MEDIA_PREV_TRACK},
    };
    for (const auto &entry : named) {
        if (entry.key == key)
            return entry.virtualKey;
    }
    if (key > 0x20 && key <= 0xff) {
        // Punctuation sits where the keyboard layout puts it.
        const SHORT scan = VkKeyScanW(WCHAR(key));
        if (scan != -1)
            return UINT(scan & 0xff);
    }
    return 0;
}

} // namespace

class WinHotkeyGrabber : public HotkeyGrabber
{
public:
    explicit WinHotkeyGrabber(Fire fired);
    ~WinHotkeyGrabber() override;

    bool grab(const QString &action, int key, Qt::KeyboardModifiers modifiers, const QString &shown,
              QString *error) override;
    void release(const QString &action) override;
    bool nativeEventFilter(const QByteArray &eventType, void *message,
                           NativeResult *result) override;

private:
    struct Grab
    {
        int id = 0;
        UINT modifiers = 0;
        UINT virtualKey = 0;
    };

    Fire fire;
    QMap<QString, Grab> grabs;
    int lastId = 0;
};

WinHotkeyGrabber::WinHotkeyGrabber(Fire fired)
    : fire(std::move(fired))
{
    QCoreApplication::instance()->installNativeEventFilter(this);
}

WinHotkeyGrabber::~WinHotkeyGrabber()
{
    for (const Grab &grab : grabs)
        UnregisterHotKey(nullptr, grab.id);
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool WinHotkeyGrabber::grab(const QString &action, int key, Qt::KeyboardModifiers modifiers,
                            const QString &shown, QString *error)
{
    const UINT virtualKey = virtualKeyOf(key, modifiers);
    if (!virtualKey)
        return refuse(error, noSuchKey(shown));
    UINT held = MOD_NOREPEAT; // holding the keys down fires once
    if (modifiers & Qt::ShiftModifier)
        held |= MOD_SHIFT;
    if (modifiers & Qt::ControlModifier)
        held |= MOD_CONTROL;
    if (modifiers & Qt::AltModifier)
        held |= MOD_ALT;
    if (modifiers & Qt::MetaModifier)
        held |= MOD_WIN;
    for (const Grab &other : grabs) {
        if (other.virtualKey == virtualKey && other.modifiers == held)
            return refuse(error, takenByAnother(shown));
    }
    // Application hotkeys take ids 0x0000 to 0xBFFF.
    lastId = lastId % 0xBFFF + 1;
    if (!RegisterHotKey(nullptr, lastId, held, virtualKey)) {
        const DWORD code = GetLastError();
        if (code == ERROR_HOTKEY_ALREADY_REGISTERED)
            return refuse(error, heldElsewhere(shown));
        return refuse(error, QStringLiteral("无法设置快捷键 %1（错误 %2）").arg(shown).arg(code));
    }
    grabs.insert(action, Grab {lastId, held, virtualKey});
    return true;
}

void WinHotkeyGrabber::release(const QString &action)
{
    const auto found = grabs.find(action);
    if (found == grabs.end())
        return;
    UnregisterHotKey(nullptr, found->id);
    grabs.erase(found);
}

bool WinHotkeyGrabber::nativeEventFilter(const QByteArray &eventType, void *message, NativeResult *)
{
    if (eventType != "windows_generic_MSG" || grabs.isEmpty())
        return false;
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_HOTKEY)
        return false;
    for (auto it = grabs.cbegin(); it != grabs.cend(); ++it) {
        if (WPARAM(it->id) == msg->wParam) {
            fire(it.key());
            return true;
        }
    }
    return false;
}

bool hotkeysAvailable(QString *)
{
    return true;
}

std::unique_ptr<HotkeyGrabber> makeHotkeyGrabber(HotkeyGrabber::Fire fire)
{
    return std::make_unique<WinHotkeyGrabber>(std::move(fire));
}

#endif
