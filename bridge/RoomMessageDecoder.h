#pragma once

#include <QByteArray>

class QObject;
class kivaPlugInVote;

// Decodes one JSON message of the host and calls the window's slots by name:
// on_auth_message(kivaid, roomid, token), on_text_message(nick, text) and
// on_gift_message(nick, product_id, buyTimes). Drops a repeated room event by
// its message id. Everything malformed is dropped silently.
void dispatchRoomMessage(const char *message, kivaPlugInVote *window);

// The same for any receiver that has those slots; `lastMsgId` is the
// receiver's record of the last accepted message id.
void dispatchRoomMessageTo(const char *message, QObject *receiver, QByteArray &lastMsgId);
