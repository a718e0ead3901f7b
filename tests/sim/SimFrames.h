#pragma once

#include <QByteArray>

// Room events the simulator's tests send and tally: a chat vote for each
// team and a gift of three pieces, each with its own message id.
inline const QByteArray kRedVote =
    R"({"type":"group","groups":{"msgid":"s1","g0":{"nick":"小明","units":[{"type":"Message","Msg.Message.data":{"text":"红队"}}]}}})";
inline const QByteArray kGift =
    R"({"type":"group","groups":{"msgid":"s2","g0":{"nick":"阿花","units":[{"type":"Gift","Pay.Gift.data":{"product_id":"1450928358","buyCount":3}}]}}})";
inline const QByteArray kBlueVote =
    R"({"type":"group","groups":{"msgid":"s3","g0":{"nick":"Tom","units":[{"type":"Message","Msg.Message.data":{"text":"蓝队"}}]}}})";
