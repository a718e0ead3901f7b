#pragma once

class kivaPlugInVote;

// Receives each text message of the host, as NUL-terminated UTF-8 valid only during the call.
using RoomMessageHandler = void (*)(const char *message, kivaPlugInVote *context);

// The handler of the room link's messages: decodes one message of the host
// (RoomFrame) and calls the window's slots by name, nick first:
// on_auth_message(kivaid, roomid, token), on_text_message(nick, text) and
// on_gift_message(nick, product_id, buyTimes). A room event repeating the
// last message id is dropped; everything malformed is dropped silently.
void dispatchRoomMessage(const char *message, kivaPlugInVote *window);
