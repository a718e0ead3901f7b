#include "bridge/RoomFrame.h"
#include "bridge/RoomMessageDecoder.h"
#include "vote/kivaPlugInVote.h"

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

} // namespace

void dispatchRoomMessage(const char *message, kivaPlugInVote *window)
{
    if (!message || !window)
        return;
    RoomFrame frame;
    if (!frame.decode(message))
        return;

    const RoomSlots &methods = roomSlots();
    if (frame.kind() == RoomFrame::Kind::Login) {
        const RoomFrame::Login &ids = frame.login();
        methods.auth.invoke(window, Qt::AutoConnection, Q_ARG(const char *, ids.kivaid),
                            Q_ARG(const char *, ids.roomid), Q_ARG(const char *, ids.token));
        return;
    }

    // Taken before any slot runs: a slot may open a modal card, and the next
    // message is then decoded inside it.
    if (!window->acceptRoomEvent(frame.messageId()))
        return;
    for (const RoomFrame::Unit &unit : frame.units()) {
        if (unit.type == RoomFrame::Unit::Type::Chat)
            methods.text.invoke(window, Qt::AutoConnection, Q_ARG(const char *, unit.nick),
                                Q_ARG(const char *, unit.text));
        else
            methods.gift.invoke(window, Qt::AutoConnection, Q_ARG(const char *, unit.nick),
                                Q_ARG(const char *, unit.productId), Q_ARG(int, unit.count));
    }
}
