// The simulator's send summary, in-process: what it tallies from the frames
// it sends, the way the plug-in reads them.
#include "SendSummary.h"
#include "SimFrames.h"

#include "bridge/RoomEventWriter.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace {

QByteArray compact(const QJsonValue &value)
{
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return QByteArray::number(value.toDouble());
}

} // namespace

class TestSendSummary : public QObject
{
    Q_OBJECT

private slots:
    void tallies_data();
    void tallies();
    void outcomeOfEachFrame();
};

void TestSendSummary::tallies_data()
{
    QTest::addColumn<QList<QByteArray>>("frames");
    QTest::addColumn<QByteArray>("expected"); // the members of the summary to compare

    QTest::newRow("plain frames")
        << QList<QByteArray> {kRedVote, kGift, kBlueVote}
        << QByteArray(
               R"({"sent":3,"repeats":0,"chatter":0,"chat":{"红队":1,"蓝队":1},"gifts":{"1450928358":3,"1477978817":0},"votesByNick":{"红队":{"小明":1},"蓝队":{"Tom":1}},"piecesByNick":{"1450928358":{"阿花":3}}})");
    QTest::newRow("repeat right after its original")
        << QList<QByteArray> {kRedVote, kRedVote, kGift, kRedVote}
        << QByteArray(
               R"({"sent":3,"repeats":1,"chatter":0,"chat":{"红队":2,"蓝队":0},"gifts":{"1450928358":3,"1477978817":0}})");
    QTest::newRow("keys in any case, values exact")
        << QList<
               QByteArray> {R"({"TYPE":"group","Groups":{"MsgID":"k1","g0":{"Nick":"阿花","UNITS":[{"Type":"Gift","pay.gift.DATA":{"Product_Id":"1477978817","BUYCOUNT":4}},{"type":"message","Msg.Message.data":{"text":"红队"}}]}}})",
                            R"({"type":"Group","groups":{"msgid":"k2","g0":{"nick":"x","units":[{"type":"Message","Msg.Message.data":{"text":"红队"}}]}}})"}
        << QByteArray(
               R"({"sent":2,"repeats":0,"chatter":0,"chat":{"红队":0,"蓝队":0},"gifts":{"1450928358":0,"1477978817":4}})");
    QTest::newRow("suspend lines, near misses, gift without count")
        << QList<
               QByteArray> {R"({"type":"group","groups":{"msgid":"n1","g0":{"nick":"a","units":[{"type":"SuspendMessage","Msg.SuspendMessage.data":{"text":"蓝队"}},{"type":"Message","Msg.Message.data":{"text":" 红队"}},{"type":"Message","Msg.Message.data":{"text":"红队!"}}]},"g1":{"nick":"b","units":[{"type":"Gift","Pay.Gift.data":{"product_id":"1450928358"}}]}}})"}
        << QByteArray(
               R"({"sent":1,"repeats":0,"chatter":2,"chat":{"红队":0,"蓝队":1},"gifts":{"1450928358":1,"1477978817":0}})");
    QTest::newRow("counts as the plug-in reads them")
        << QList<
               QByteArray> {R"({"type":"group","groups":[{"nick":"c","units":[{"type":"Gift","Pay.Gift.data":{"product_id":"1477978817","buyCount":2.9}},{"type":"Gift","Pay.Gift.data":{"product_id":"1477978817","buyCount":"5"}},{"type":"Gift","Pay.Gift.data":{"product_id":"1477978817","buyCount":true}}]}]})"}
        << QByteArray(R"({"sent":1,"gifts":{"1450928358":0,"1477978817":3}})");
    QTest::newRow("a message id first seen as none is a repeat")
        << QList<QByteArray> {RoomEventWriter::chatEvent("none", "x",
                                                         QStringLiteral("红队").toUtf8()),
                              RoomEventWriter::chatEvent("", "y", QStringLiteral("红队").toUtf8()),
                              RoomEventWriter::chatEvent("", "y", QStringLiteral("红队").toUtf8())}
        << QByteArray(R"({"sent":2,"repeats":1,"chat":{"红队":2,"蓝队":0}})");
    QTest::newRow("other messages count as sent")
        << QList<QByteArray> {RoomEventWriter::authResult(0, "k", "r", "t"), "not json", kBlueVote}
        << QByteArray(R"({"sent":3,"repeats":0,"chat":{"红队":0,"蓝队":1}})");
}

void TestSendSummary::tallies()
{
    QFETCH(QList<QByteArray>, frames);
    QFETCH(QByteArray, expected);

    SendSummary summary({QStringLiteral("红队"), QStringLiteral("蓝队")},
                        {"1450928358", "1477978817"});
    for (const QByteArray &frame : frames)
        summary.record(frame);
    const QJsonObject got = QJsonDocument::fromJson(summary.toJson()).object();
    const QJsonObject want = QJsonDocument::fromJson(expected).object();
    QVERIFY(!want.isEmpty());
    for (auto it = want.begin(); it != want.end(); ++it)
        QCOMPARE(compact(got.value(it.key())), compact(it.value()));
}

void TestSendSummary::outcomeOfEachFrame()
{
    SendSummary summary({QStringLiteral("红队")}, {"1"});
    QCOMPARE(summary.record(kRedVote), SendSummary::Outcome::Counted);
    QCOMPARE(summary.record(kRedVote), SendSummary::Outcome::Repeat);
    QCOMPARE(summary.record(kGift), SendSummary::Outcome::Counted);
    // An older id that is not the last one is no repeat.
    QCOMPARE(summary.record(kRedVote), SendSummary::Outcome::Counted);
    QCOMPARE(summary.sent(), qint64(3));
    QCOMPARE(summary.repeats(), qint64(1));
    QCOMPARE(summary.chatVotes(QStringLiteral("红队")), qint64(2));
    QCOMPARE(summary.giftPieces("1450928358"), qint64(3));
}

QTEST_APPLESS_MAIN(TestSendSummary)
#include "tst_sendSummary.moc"
