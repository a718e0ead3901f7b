// Decoding the host's messages into slot calls, and the repeat rule.
#include "bridge/RoomEventWriter.h"
#include "bridge/RoomFrame.h"
#include "bridge/WebSocketWire.h"

#include <QTest>

#include <functional>
#include <utility>

namespace {

// Takes what the walk of each frame hands on, one line per value, with the
// last accepted message id after the repeat rule: "text|nick|line|lastId",
// "gift|nick|product|count", "auth|kivaid|roomid|token".
struct Recorder : RoomFrameReceiver
{
    QStringList calls;
    // Runs inside the first unit handed on, as a modal card would.
    std::function<void()> nested;

    QByteArray &lastId() { return lastMsgId; }

    void feed(const QByteArray &message)
    {
        RoomFrame frame;
        frame.decode(message.constData());
        applyRoomFrame(frame, *this);
    }

    void onLogin(const RoomFrame::Login &ids) override
    {
        calls << QStringLiteral("auth|%1|%2|%3")
                     .arg(QString::fromUtf8(ids.kivaid), QString::fromUtf8(ids.roomid),
                          QString::fromUtf8(ids.token));
    }
    void onChat(const char *nick, const char *text) override
    {
        calls << QStringLiteral("text|%1|%2|%3")
                     .arg(QString::fromUtf8(nick), QString::fromUtf8(text),
                          QString::fromUtf8(lastMsgId));
        runNested();
    }
    void onGift(const char *nick, const char *productId, int count) override
    {
        calls << QStringLiteral("gift|%1|%2|%3")
                     .arg(QString::fromUtf8(nick), QString::fromUtf8(productId))
                     .arg(count);
        runNested();
    }
    void runNested()
    {
        if (const std::function<void()> run = std::exchange(nested, nullptr))
            run();
    }
};

// One message through the walk, the last id kept by the caller.
QStringList read(const QByteArray &message, QByteArray &lastMsgId)
{
    Recorder recorder;
    recorder.lastId() = lastMsgId;
    recorder.feed(message);
    lastMsgId = recorder.lastId();
    return recorder.calls;
}

} // namespace

class TestDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decode_data();
    void decode();
    void repeatsAcrossMessages();
    void idTakenBeforeAnyUnitIsHandled();
    void writerRoundTrip();
    void nullAndReuse();
    void textFrameUtf8_data();
    void textFrameUtf8();
};

void TestDecoder::decode_data()
{
    QTest::addColumn<QByteArray>("lastBefore");
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QByteArray>("lastAfter");

    const QByteArray doc =
        R"({"type":"group","groups":{"msgid":"a1","g":{"nick":"x","units":[{"type":"Message","Msg.Message.data":{"text":"1"}}]}}})";
    const QStringList textX1 = {"text|x|1|a1"};

    QTest::newRow("chat with message id")
        << QByteArray("none") << doc << textX1 << QByteArray("a1");
    QTest::newRow("same id again is dropped")
        << QByteArray("a1") << doc << QStringList() << QByteArray("a1");
    QTest::newRow("new id is processed") << QByteArray("a1") << QByteArray(doc).replace("a1", "a2")
                                         << QStringList {"text|x|1|a2"} << QByteArray("a2");
    QTest::newRow("none as first id is dropped")
        << QByteArray("none") << QByteArray(doc).replace("a1", "none") << QStringList()
        << QByteArray("none");
    QTest::newRow("array groups carry no id")
        << QByteArray("a1")
        << QByteArray(
               R"({"type":"group","groups":[{"msgid":"a1","nick":"x","units":[{"type":"Message","Msg.Message.data":{"text":"1"}}]}]})")
        << QStringList {"text|x|1|a1"} << QByteArray("a1");
    QTest::newRow("numeric msgid is no id")
        << QByteArray("7")
        << QByteArray(
               R"({"type":"group","groups":{"msgid":7,"g":{"nick":"x","units":[{"type":"Message","Msg.Message.data":{"text":"1"}}]}}})")
        << QStringList {"text|x|1|7"} << QByteArray("7");
    QTest::newRow("missing nick is empty")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"group","groups":[{"units":[{"type":"Message","Msg.Message.data":{"text":"hi"}}]}]})")
        << QStringList {"text||hi|none"} << QByteArray("none");
    QTest::newRow("non-string nick is empty")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"group","groups":[{"nick":12,"units":[{"type":"Message","Msg.Message.data":{"text":"hi"}}]}]})")
        << QStringList {"text||hi|none"} << QByteArray("none");
    QTest::newRow("group without units is skipped")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"group","groups":[{"nick":"a"},{"nick":"b","units":[{"type":"Message","Msg.Message.data":{"text":"t"}}]}]})")
        << QStringList {"text|b|t|none"} << QByteArray("none");
    QTest::newRow("three units in order")
        << QByteArray("none")
        << QByteArray(R"({"type":"group","groups":[{"nick":"n","units":[)"
                      R"({"type":"Message","Msg.Message.data":{"text":"m"}},)"
                      R"({"type":"Gift","Pay.Gift.data":{"product_id":"p","buyCount":2}},)"
                      R"({"type":"SuspendMessage","Msg.SuspendMessage.data":{"text":"s"}}]}]})")
        << QStringList {"text|n|m|none", "gift|n|p|2", "text|n|s|none"} << QByteArray("none");
    QTest::newRow("bad units skipped, others kept")
        << QByteArray("none")
        << QByteArray(R"({"type":"group","groups":[{"nick":"n","units":[)"
                      R"({"Msg.Message.data":{"text":"no type"}},)"
                      R"({"type":"Like","Msg.Message.data":{"text":"other type"}},)"
                      R"({"type":"Message"},)"
                      R"({"type":"Message","Msg.Message.data":"flat"},)"
                      R"({"type":"Message","Msg.Message.data":{"text":5}},)"
                      R"({"type":"Gift","Pay.Gift.data":{"buyCount":2}},)"
                      R"({"type":"Gift","Pay.Gift.data":{"product_id":3}},)"
                      R"({"type":"Message","Msg.Message.data":{"text":"kept"}}]}]})")
        << QStringList {"text|n|kept|none"} << QByteArray("none");

    const auto gift = [](const QByteArray &buyCount) {
        QByteArray json =
            R"({"type":"group","groups":[{"nick":"n","units":[{"type":"Gift","Pay.Gift.data":{"product_id":"p")";
        if (!buyCount.isNull())
            json += ",\"buyCount\":" + buyCount;
        return json + "}}]}]}";
    };
    QTest::newRow("gift without count is one") << QByteArray("none") << gift(QByteArray())
                                               << QStringList {"gift|n|p|1"} << QByteArray("none");
    QTest::newRow("gift count 3") << QByteArray("none") << gift("3") << QStringList {"gift|n|p|3"}
                                  << QByteArray("none");
    QTest::newRow("fraction cut toward zero")
        << QByteArray("none") << gift("2.9") << QStringList {"gift|n|p|2"} << QByteArray("none");
    QTest::newRow("negative passed on")
        << QByteArray("none") << gift("-2.5") << QStringList {"gift|n|p|-2"} << QByteArray("none");
    QTest::newRow("count true is one")
        << QByteArray("none") << gift("true") << QStringList {"gift|n|p|1"} << QByteArray("none");
    QTest::newRow("count text is zero")
        << QByteArray("none") << gift("\"5\"") << QStringList {"gift|n|p|0"} << QByteArray("none");
    QTest::newRow("count null is zero")
        << QByteArray("none") << gift("null") << QStringList {"gift|n|p|0"} << QByteArray("none");
    QTest::newRow("huge count saturates")
        << QByteArray("none") << gift("1e12") << QStringList {"gift|n|p|2147483647"}
        << QByteArray("none");

    QTest::newRow("keys in any case")
        << QByteArray("none")
        << QByteArray(
               R"({"TYPE":"group","Groups":{"MsgId":"k","g":{"Nick":"N","UNITS":[{"Type":"Message","msg.message.DATA":{"Text":"t"}}]}}})")
        << QStringList {"text|N|t|k"} << QByteArray("k");
    QTest::newRow("type value case matters")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"Group","groups":[{"nick":"n","units":[{"type":"Message","Msg.Message.data":{"text":"t"}}]}]})")
        << QStringList() << QByteArray("none");
    QTest::newRow("unit type value case matters")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"group","groups":[{"nick":"n","units":[{"type":"message","Msg.Message.data":{"text":"t"}}]}]})")
        << QStringList() << QByteArray("none");
    QTest::newRow("first of duplicate keys counts")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"group","groups":[{"nick":"first","NICK":"second","units":[{"type":"Message","Msg.Message.data":{"text":"t"}}]}]})")
        << QStringList {"text|first|t|none"} << QByteArray("none");
    QTest::newRow("escapes decoded")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"group","groups":[{"nick":"\u5c0f\u660e","units":[{"type":"Message","Msg.Message.data":{"text":"\u7ea2\u961f \"!\""}}]}]})")
        << QStringList {QStringLiteral("text|小明|红队 \"!\"|none")} << QByteArray("none");
    QTest::newRow("trailing text ignored")
        << QByteArray("none") << QByteArray(doc + " trailing {garbage") << textX1
        << QByteArray("a1");
    QTest::newRow("leading whitespace")
        << QByteArray("none") << QByteArray("\n\t " + doc) << textX1 << QByteArray("a1");

    // A NUL cut the text short on its way to the slots: "红队\u0000x" counted as 红队.
    const auto units = [](const QByteArray &nick, const QByteArray &units) {
        return R"({"type":"group","groups":{"msgid":"z1","g":{"nick":")" + nick + R"(","units":[)"
            + units + "]}}}";
    };
    const QByteArray chatRed = R"({"type":"Message","Msg.Message.data":{"text":"\u7ea2\u961f"}})";
    QTest::newRow("NUL inside a chat text")
        << QByteArray("none")
        << units("n",
                 R"({"type":"Message","Msg.Message.data":{"text":"\u7ea2\u961f\u0000x"}},)"
                     + chatRed)
        << QStringList {QStringLiteral("text|n|红队|z1")} << QByteArray("z1");
    QTest::newRow("NUL ending a suspended text")
        << QByteArray("none")
        << units("n", R"({"type":"SuspendMessage","Msg.SuspendMessage.data":{"text":"a\u0000"}})")
        << QStringList() << QByteArray("z1");
    QTest::newRow("NUL in the nick drops chat and gifts")
        << QByteArray("none")
        << units(R"(\u0000n)", chatRed + R"(,{"type":"Gift","Pay.Gift.data":{"product_id":"p"}})")
        << QStringList() << QByteArray("z1");
    QTest::newRow("NUL in a product id")
        << QByteArray("none")
        << units("n", R"({"type":"Gift","Pay.Gift.data":{"product_id":"p\u0000"}},)" + chatRed)
        << QStringList {QStringLiteral("text|n|红队|z1")} << QByteArray("z1");
    QTest::newRow("a backslash, then a NUL in the nick")
        << QByteArray("none")
        << units(R"(\\\u0000)", R"({"type":"Message","Msg.Message.data":{"text":"\\u0000"}})")
        << QStringList() << QByteArray("z1");
    QTest::newRow("escaped backslashes before u0000 are text")
        << QByteArray("none")
        << units("n", R"({"type":"Message","Msg.Message.data":{"text":"\\u0000 \\\\u0000"}})")
        << QStringList {R"(text|n|\u0000 \\u0000|z1)"} << QByteArray("z1");
    QTest::newRow("NUL in a login id")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"sauth_ret","data":{"ec":0,"kivaid":"k","roomid":"r","token":"t\u0000x"}})")
        << QStringList() << QByteArray("none");

    QTest::newRow("auth ok")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"sauth_ret","data":{"ec":0,"kivaid":"k1","roomid":"r1","token":"t1"}})")
        << QStringList {"auth|k1|r1|t1"} << QByteArray("none");
    QTest::newRow("auth ec fraction")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"sauth_ret","data":{"ec":0.7,"kivaid":"k","roomid":"r","token":"t"}})")
        << QStringList {"auth|k|r|t"} << QByteArray("none");
    QTest::newRow("auth ec text counts as 0")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"sauth_ret","data":{"ec":"1","kivaid":"k","roomid":"r","token":"t"}})")
        << QStringList {"auth|k|r|t"} << QByteArray("none");
    QTest::newRow("auth ec 1")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"sauth_ret","data":{"ec":1,"kivaid":"k","roomid":"r","token":"t"}})")
        << QStringList() << QByteArray("none");
    QTest::newRow("auth ec true")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"sauth_ret","data":{"ec":true,"kivaid":"k","roomid":"r","token":"t"}})")
        << QStringList() << QByteArray("none");
    QTest::newRow("auth without ec")
        << QByteArray("none")
        << QByteArray(R"({"type":"sauth_ret","data":{"kivaid":"k","roomid":"r","token":"t"}})")
        << QStringList() << QByteArray("none");
    QTest::newRow("auth without token")
        << QByteArray("none")
        << QByteArray(R"({"type":"sauth_ret","data":{"ec":0,"kivaid":"k","roomid":"r"}})")
        << QStringList() << QByteArray("none");
    QTest::newRow("auth numeric roomid")
        << QByteArray("none")
        << QByteArray(R"({"type":"sauth_ret","data":{"ec":0,"kivaid":"k","roomid":5,"token":"t"}})")
        << QStringList() << QByteArray("none");
    QTest::newRow("auth type case matters")
        << QByteArray("none")
        << QByteArray(
               R"({"type":"Sauth_ret","data":{"ec":0,"kivaid":"k","roomid":"r","token":"t"}})")
        << QStringList() << QByteArray("none");

    QTest::newRow("not json") << QByteArray("none") << QByteArray("hello") << QStringList()
                              << QByteArray("none");
    QTest::newRow("empty") << QByteArray("none") << QByteArray("") << QStringList()
                           << QByteArray("none");
    QTest::newRow("truncated") << QByteArray("none") << doc.left(doc.size() - 3) << QStringList()
                               << QByteArray("none");
    QTest::newRow("no type") << QByteArray("none") << QByteArray(R"({"groups":[]})")
                             << QStringList() << QByteArray("none");
    QTest::newRow("numeric type") << QByteArray("none") << QByteArray(R"({"type":3})")
                                  << QStringList() << QByteArray("none");
    QTest::newRow("array root") << QByteArray("none") << QByteArray(R"([{"type":"group"}])")
                                << QStringList() << QByteArray("none");
    QTest::newRow("group without groups") << QByteArray("none") << QByteArray(R"({"type":"group"})")
                                          << QStringList() << QByteArray("none");
    QTest::newRow("groups is a string")
        << QByteArray("none") << QByteArray(R"({"type":"group","groups":"x"})") << QStringList()
        << QByteArray("none");
}

void TestDecoder::decode()
{
    QFETCH(QByteArray, lastBefore);
    QFETCH(QByteArray, message);
    QFETCH(QStringList, calls);
    QFETCH(QByteArray, lastAfter);

    QByteArray lastMsgId = lastBefore;
    QCOMPARE(read(message, lastMsgId), calls);
    QCOMPARE(lastMsgId, lastAfter);
}

void TestDecoder::repeatsAcrossMessages()
{
    using namespace RoomEventWriter;
    Recorder recorder;
    const QList<QByteArray> stream = {
        chatEvent("m1", "a", "A"),
        chatEvent("m1", "a", "A"), // repeat right after: dropped
        chatEvent("m2", "b", "A"),
        chatEvent("m1", "a", "A"), // an older id that is not the last: kept
        giftEvent("m3", "c", "p", 2),
        giftEvent("m3", "c", "p", 2),
    };
    for (const QByteArray &message : stream)
        recorder.feed(message);
    QCOMPARE(recorder.calls,
             (QStringList {"text|a|A|m1", "text|b|A|m2", "text|a|A|m1", "gift|c|p|2"}));
    QCOMPARE(recorder.lastId(), QByteArray("m3"));
}

void TestDecoder::idTakenBeforeAnyUnitIsHandled()
{
    // A slot may open a modal card and so decode the next message before the
    // units of this one are all handed on; the id is taken when the frame is
    // accepted, so the same message arriving meanwhile is already a repeat.
    using namespace RoomEventWriter;
    const QByteArray message = roomEvent("r1", {Group {"a", {chat("A"), chat("B")}}});
    Recorder recorder;
    recorder.nested = [&] {
        recorder.feed(message); // nested: dropped
        recorder.feed(chatEvent("r2", "b", "C"));
    };
    recorder.feed(message);
    // The outer frame's units go on after the nested ones, untouched by them.
    QCOMPARE(recorder.calls, (QStringList {"text|a|A|r1", "text|b|C|r2", "text|a|B|r2"}));
    QCOMPARE(recorder.lastId(), QByteArray("r2"));
}

void TestDecoder::writerRoundTrip()
{
    using namespace RoomEventWriter;
    Recorder recorder;
    Unit noCount = gift("g1", 9);
    noCount.withBuyCount = false;
    Unit suspend = chat("s");
    suspend.kind = Unit::SuspendMessage;
    const QByteArray nasty = "q\"uo\\te\n\x01";
    const QByteArray message =
        roomEvent("w1", {Group {nasty, {noCount, suspend}}, Group {"b", {gift("g2", -3)}}});
    recorder.feed(message);
    recorder.feed(authResult(0, "k", "r", "t"));
    const QString nick = QString::fromUtf8(nasty);
    QCOMPARE(recorder.calls,
             (QStringList {"gift|" + nick + "|g1|1", "text|" + nick + "|s|w1", "gift|b|g2|-3",
                           "auth|k|r|t"}));
}

void TestDecoder::nullAndReuse()
{
    RoomFrame frame;
    QVERIFY(!frame.decode(nullptr));
    QCOMPARE(frame.kind(), RoomFrame::Kind::Ignored);
    QVERIFY(frame.units().isEmpty());

    // A frame decoding a second message forgets the first entirely.
    QVERIFY(frame.decode(RoomEventWriter::chatEvent("m1", "x", "A").constData()));
    QCOMPARE(frame.units().size(), 1);
    QVERIFY(frame.decode(RoomEventWriter::authResult(0, "k", "r", "t").constData()));
    QCOMPARE(frame.kind(), RoomFrame::Kind::Login);
    QVERIFY(frame.units().isEmpty());
    QVERIFY(!frame.messageId());
    QVERIFY(!frame.decode("{\"type\":\"group\"}"));
    QCOMPARE(frame.kind(), RoomFrame::Kind::Ignored);
    QVERIFY(!frame.login().token);
}

// A text frame that is not UTF-8 carries no message. Lengths around the
// eight bytes read at once, a character across their edge, a bad byte after them.
void TestDecoder::textFrameUtf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("utf8");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("7 ascii") << QByteArray("{\"a\":1}") << true;
    QTest::newRow("16 ascii") << QByteArray("{\"type\":\"group\"}") << true;
    QTest::newRow("han across 8") << QByteArray("1234567\xe7\xba\xa2\xe9\x98\x9f") << true;
    QTest::newRow("4-byte at end") << QByteArray("12345678\xf0\x9f\x98\x80") << true;
    QTest::newRow("bad after 8") << QByteArray("12345678\xff") << false;
    QTest::newRow("bad after 16") << QByteArray("1234567812345678\x80" "abc") << false;
    QTest::newRow("cut at end") << QByteArray("12345678\xe7\xba") << false;
    QTest::newRow("overlong") << QByteArray("\xc0\xaf" "abcdefgh") << false;
    QTest::newRow("surrogate") << QByteArray("abcdefgh\xed\xa0\x80") << false;
    QTest::newRow("above max") << QByteArray("\xf4\x90\x80\x80") << false;
}

void TestDecoder::textFrameUtf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, utf8);
    QCOMPARE(WebSocketWire::isUtf8(bytes.constData(), bytes.size()), utf8);
}

QTEST_APPLESS_MAIN(TestDecoder)
#include "tst_decoder.moc"
