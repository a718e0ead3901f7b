#include "bridge/RoomFrame.h"
#include "ui/RoomMessageDecoder.h"
#include "ui/kivaPlugInVote.h"

#include <QMetaMethod>
#include <QMetaObject>

namespace {

// The window's three message slots, looked up by name once: the lookup cost
// as much as decoding a message.
struct RoomSlots
{
    QMetaMethod text;
    QMetaMethod gift;
    QMetaMethod auth;
};

const RoomSlots &roomSlots()
{
    static const RoomSlots found = [] {
        const QMetaObject &meta = kivaPlugInVote::staticMetaObject;
        RoomSlots methods;
        methods.text = meta.method(meta.indexOfMethod("on_text_message(const char*,const char*)"));
        methods.gift =
            meta.method(meta.indexOfMethod("on_gift_message(const char*,const char*,int)"));
        methods.auth =
            meta.method(meta.indexOfMethod("on_auth_message(const char*,const char*,const char*)"));
        return methods;
    }();
    return found;
}

// The window's three slots, called by name for each value of a frame.
class WindowSlots : public RoomFrameReceiver
{
public:
    explicit WindowSlots(kivaPlugInVote *window)
        : window(window)
        , methods(roomSlots())
    {}

    bool acceptRoomEvent(const char *msgId) override { return window->acceptRoomEvent(msgId); }

    void onLogin(const RoomFrame::Login &ids) override
    {
        methods.auth.invoke(window, Qt::AutoConnection, Q_ARG(const char *, ids.kivaid),
                            Q_ARG(const char *, ids.roomid), Q_ARG(const char *, ids.token));
    }

    void onChat(const char *nick, const char *text) override
    {
        methods.text.invoke(window, Qt::AutoConnection, Q_ARG(const char *, nick),
                            Q_ARG(const char *, text));
    }

    void onGift(const char *nick, const char *productId, int count) override
    {
        methods.gift.invoke(window, Qt::AutoConnection, Q_ARG(const char *, nick),
                            Q_ARG(const char *, productId), Q_ARG(int, count));
    }

private:
    kivaPlugInVote *const window;
    const RoomSlots &methods;
};

} // namespace

void dispatchRoomMessage(const char *message, kivaPlugInVote *window)
{
    if (!message || !window)
        return;
    // A frame of its own per message: a slot may open a modal card, inside
    // which the next message is decoded while this one's texts are in use.
    RoomFrame frame;
    frame.decode(message);
    WindowSlots receiver(window);
    applyRoomFrame(frame, receiver);
}
