// The settings record: keys, defaults, the read-as-integer rule, replacing.
#include "vote/VoteStateRecord.h"

#include <QTest>

class TestStateRecord : public QObject
{
    Q_OBJECT

private slots:
    void defaultsInOrder();
    void missingKeyReadsZero_data();
    void missingKeyReadsZero();
    void replacingMovesKeyLast();
    void valueIsIntegerPart_data();
    void valueIsIntegerPart();
};

void TestStateRecord::defaultsInOrder()
{
    VoteStateRecord record;
    QVERIFY(record.keys().isEmpty());
    record.setDefaults();
    const QList<QByteArray> expected = {"more_setting",     "start_game", "times",
                                        "start_time_meter", "voteType",   "voteMode",
                                        "noteColor",        "noteInfo"};
    QCOMPARE(record.keys(), expected);
    QCOMPARE(record.value("more_setting"), 0);
    QCOMPARE(record.value("start_game"), 0);
    QCOMPARE(record.value("times"), 100);
    QCOMPARE(record.value("start_time_meter"), 0);
    QCOMPARE(record.value("voteType"), 1);
    QCOMPARE(record.value("voteMode"), 2);
    QCOMPARE(record.value("noteColor"), 1579032);
    QCOMPARE(QString::fromUtf8(record.text("noteInfo")), QStringLiteral("请输入投票信息"));
    QCOMPARE(record.value("noteInfo"), 0); // a text reads as 0
}

void TestStateRecord::missingKeyReadsZero_data()
{
    QTest::addColumn<bool>("withDefaults");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("empty record") << false << QByteArray("voteMode");
    QTest::newRow("never set") << true << QByteArray("answer");
    QTest::newRow("empty key") << true << QByteArray("");
}

void TestStateRecord::missingKeyReadsZero()
{
    QFETCH(bool, withDefaults);
    QFETCH(QByteArray, key);
    VoteStateRecord record;
    if (withDefaults)
        record.setDefaults();
    QCOMPARE(record.value(key.constData()), 0);
    QCOMPARE(record.value(nullptr), 0);
    QVERIFY(record.text(key.constData()).isEmpty());
}

void TestStateRecord::replacingMovesKeyLast()
{
    VoteStateRecord record;
    record.setDefaults();
    record.setValue("start_game", 1);
    QList<QByteArray> keys = record.keys();
    QCOMPARE(keys.count("start_game"), 1);
    QCOMPARE(keys.last(), QByteArray("start_game"));
    QCOMPARE(record.value("start_game"), 1);
    QCOMPARE(keys.size(), 8);

    // A text replaced by a number, and a key spelled in another case, stay one member.
    record.setValue("noteInfo", 7);
    record.setValue("VOTEMODE", 4);
    keys = record.keys();
    QCOMPARE(keys.size(), 8);
    QCOMPARE(keys.mid(6), (QList<QByteArray> {"noteInfo", "VOTEMODE"}));
    QCOMPARE(record.value("voteMode"), 4);
    QCOMPARE(record.value("noteInfo"), 7);
}

void TestStateRecord::valueIsIntegerPart_data()
{
    QTest::addColumn<qint64>("stored");
    QTest::addColumn<qint32>("read");
    QTest::newRow("packed colour") << qint64(255 * 65536) << qint32(255 * 65536);
    QTest::newRow("negative") << qint64(-5) << qint32(-5);
    QTest::newRow("largest 32-bit") << qint64(2147483647) << qint32(2147483647);
    QTest::newRow("above 32-bit") << qint64(5000000000) << qint32(2147483647);
    QTest::newRow("below 32-bit") << qint64(-5000000000) << qint32(-2147483647 - 1);
}

void TestStateRecord::valueIsIntegerPart()
{
    QFETCH(qint64, stored);
    QFETCH(qint32, read);
    VoteStateRecord record;
    record.setValue("noteColor", stored);
    QCOMPARE(record.value("noteColor"), read);
}

QTEST_APPLESS_MAIN(TestStateRecord)
#include "tst_stateRecord.moc"
