// The gift list answer read into entries, and the check that keeps a product
// id from naming a file outside the image cache.
#include "catalogue/GiftList.h"

#include <QTest>

namespace {

// "id|name|image|price" per entry, for readable comparisons.
QStringList describe(const QList<GiftListEntry> &entries)
{
    QStringList lines;
    for (const GiftListEntry &e : entries) {
        lines << QString::fromUtf8(e.productId + '|') + e.name
                + QString::fromUtf8('|' + e.imageUrl + '|' + QByteArray::number(e.price));
    }
    return lines;
}

QByteArray answer(const QByteArray &products)
{
    return "{\"ec\":0,\"data\":{\"products\":[" + products + "]}}";
}

} // namespace

class TestGiftList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void takesTenThousandAtMost();
    void stopsSilently_data();
    void stopsSilently();
    void plainFileNames_data();
    void plainFileNames();
};

void TestGiftList::takesTenThousandAtMost()
{
    // A skipped element does not count; two beyond the limit are left, said once.
    QByteArrayList elements = {R"({"productid":"no price","name":"n","simage":"u"})"};
    for (int i = 0; i < kMaxGiftListEntries + 2; ++i)
        elements << R"({"productid":"p)" + QByteArray::number(i)
                + R"(","name":"n","simage":"u","price":1})";
    QTest::ignoreMessage(QtWarningMsg,
                         "gift list: 2 elements beyond the first 10000 entries ignored");
    QList<GiftListEntry> entries;
    QVERIFY(parseGiftList(answer(elements.join(',')), entries));
    QCOMPARE(entries.size(), 10000);
    QCOMPARE(entries.first().productId, QByteArray("p0"));
    QCOMPARE(entries.last().productId, QByteArray("p9999"));
}

void TestGiftList::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("two products, in order") << answer(
        R"({"productid":"a","name":"棒棒糖","simage":"http://x/a.png","descs":"","price":9},)"
        R"({"productid":"b","name":"么么哒","simage":"http://x/b.png","price":19})")
                                            << QStringList {
                                                   QStringLiteral("a|棒棒糖|http://x/a.png|9"),
                                                   QStringLiteral("b|么么哒|http://x/b.png|19")};
    QTest::newRow("repeated and empty ids passed on in order")
        << answer(R"({"productid":"x","name":"n","simage":"i","price":10},)"
                  R"({"productid":"x","name":"n","simage":"i","price":20},)"
                  R"({"productid":"","name":"n","simage":"i","price":1})")
        << QStringList {QStringLiteral("x|n|i|10"), QStringLiteral("x|n|i|20"),
                        QStringLiteral("|n|i|1")};
    QTest::newRow("missing price, name or image skipped; missing descs not")
        << answer(R"({"productid":"p","name":"n","simage":"i","descs":"d"},)"
                  R"({"productid":"q","simage":"i","price":1},)"
                  R"({"productid":"r","name":"n","price":1},)"
                  R"({"productid":"s","name":"n","simage":"i","price":5})")
        << QStringList {QStringLiteral("s|n|i|5")};
    QTest::newRow("id or image not text skipped, name not text empty")
        << answer(R"({"productid":12,"name":"n","simage":"i","price":1},)"
                  R"({"productid":"p","name":"n","simage":["i"],"price":1},)"
                  R"({"productid":"q","name":42,"simage":"i","price":1},)"
                  R"(1,null,{"productid":"r","name":null,"simage":"i","price":1})")
        << QStringList {QStringLiteral("q||i|1"), QStringLiteral("r||i|1")};
    QTest::newRow("prices read as integers")
        << answer(R"({"productid":"a","name":"","simage":"i","price":9.9},)"
                  R"({"productid":"b","name":"","simage":"i","price":-9.9},)"
                  R"({"productid":"c","name":"","simage":"i","price":true},)"
                  R"({"productid":"d","name":"","simage":"i","price":"99"},)"
                  R"({"productid":"e","name":"","simage":"i","price":1e12})")
        << QStringList {QStringLiteral("a||i|9"), QStringLiteral("b||i|-9"),
                        QStringLiteral("c||i|1"), QStringLiteral("d||i|0"),
                        QStringLiteral("e||i|2147483647")};
    QTest::newRow("keys in any letter case, first of a repeated key")
        << answer(R"({"ProductId":"a","productid":"b","NAME":"n","SImage":"i","Price":3})")
        << QStringList {QStringLiteral("a|n|i|3")};
    QTest::newRow("private products not offered")
        << QByteArray(R"({"ec":"0 reads as text","data":{"products":[],"private_products":[)"
                      R"({"product_id":"p","name":"n","image":"i","descs":"","price":1}]}})")
        << QStringList {};
}

void TestGiftList::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, entries);

    QList<GiftListEntry> got {GiftListEntry {"stale", QString(), "", 0}};
    QVERIFY(parseGiftList(body, got));
    QCOMPARE(describe(got), entries);
}

void TestGiftList::stopsSilently_data()
{
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("not JSON") << QByteArray("<html>maintenance</html>");
    QTest::newRow("truncated") << QByteArray(R"({"ec":0,"data":{"products":[)");
    QTest::newRow("ec 1") << QByteArray(R"({"ec":1,"data":{"products":[]}})");
    QTest::newRow("ec true") << QByteArray(R"({"ec":true,"data":{}})");
    QTest::newRow("ec missing") << QByteArray(R"({"data":{"products":[]}})");
    QTest::newRow("data missing") << QByteArray(R"({"ec":0})");
}

void TestGiftList::stopsSilently()
{
    QFETCH(QByteArray, body);

    QList<GiftListEntry> got {GiftListEntry {"stale", QString(), "", 0}};
    QVERIFY(!parseGiftList(body, got));
    QVERIFY(got.isEmpty());
}

void TestGiftList::plainFileNames_data()
{
    QTest::addColumn<QByteArray>("productId");
    QTest::addColumn<bool>("plain");

    QTest::newRow("digits") << QByteArray("1450928358") << true;
    QTest::newRow("UTF-8, dots inside") << QByteArray("礼物-1.b") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("parent") << QByteArray("..") << false;
    QTest::newRow("climbs out") << QByteArray("../x") << false;
    QTest::newRow("slash") << QByteArray("a/b") << false;
    QTest::newRow("backslash") << QByteArray("a\\b") << false;
    QTest::newRow("hidden") << QByteArray(".hidden") << false;
    QTest::newRow("control character") << QByteArray("x\x01") << false;
    QTest::newRow("drive or stream colon") << QByteArray("C:x") << false;
}

void TestGiftList::plainFileNames()
{
    QFETCH(QByteArray, productId);
    QFETCH(bool, plain);
    QCOMPARE(isPlainFileName(productId), plain);
}

QTEST_GUILESS_MAIN(TestGiftList)
#include "tst_giftList.moc"
