// The vote window's state: team records, catalogue and the settings record.
#include "TestSupport.h"

#include "shell/CTitleBar.h"
#include "vote/DefaultTeams.h"
#include "vote/VoteStateRecord.h"
#include "vote/kivaPlugInVote.h"

#include <QLabel>
#include <QLayout>
#include <QMetaMethod>
#include <QTest>
#include <QToolButton>

class TestVoteState : public QObject
{
    Q_OBJECT

private slots:
    void defaultsInOrder();
    void missingKeyReadsZero_data();
    void missingKeyReadsZero();
    void replacingMovesKeyLast();
    void valueIsIntegerPart_data();
    void valueIsIntegerPart();
    void freshWindowState();
    void slotTableOrder();
    void teamNameSlotsStoreUtf8();
};

void TestVoteState::defaultsInOrder()
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

void TestVoteState::missingKeyReadsZero_data()
{
    QTest::addColumn<bool>("withDefaults");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("empty record") << false << QByteArray("voteMode");
    QTest::newRow("never set") << true << QByteArray("answer");
    QTest::newRow("empty key") << true << QByteArray("");
}

void TestVoteState::missingKeyReadsZero()
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

void TestVoteState::replacingMovesKeyLast()
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

void TestVoteState::valueIsIntegerPart_data()
{
    QTest::addColumn<qint64>("stored");
    QTest::addColumn<qint32>("read");
    QTest::newRow("packed colour") << qint64(255 * 65536) << qint32(255 * 65536);
    QTest::newRow("negative") << qint64(-5) << qint32(-5);
    QTest::newRow("largest 32-bit") << qint64(2147483647) << qint32(2147483647);
    QTest::newRow("above 32-bit") << qint64(5000000000) << qint32(2147483647);
    QTest::newRow("below 32-bit") << qint64(-5000000000) << qint32(-2147483647 - 1);
}

void TestVoteState::valueIsIntegerPart()
{
    QFETCH(qint64, stored);
    QFETCH(qint32, read);
    VoteStateRecord record;
    record.setValue("noteColor", stored);
    QCOMPARE(record.value("noteColor"), read);
}

void TestVoteState::freshWindowState()
{
    QuietHost host;
    QVERIFY(host.isListening());
    kivaPlugInVote window(nullptr, host.options());

    const TeamMap &teams = window.teamRecords();
    QCOMPARE(int(teams.size()), 4);
    int expectedIndex = 1;
    for (const auto &[index, team] : teams) {
        QCOMPARE(index, expectedIndex++);
        QVERIFY(team.name.isEmpty());
        QCOMPARE(team.votes, qint64(0));
        QVERIFY(team.voters.empty());
        QCOMPARE(team.giftId, QByteArray(defaultTeam(index)->giftId));
        QCOMPARE(team.gift.price, 99);
        QCOMPARE(team.gift.priceText, QByteArray("99瓦瓦币"));
    }
    QCOMPARE(teams.at(1).giftId, QByteArray("1450928358"));
    QCOMPARE(teams.at(1).gift.name, QStringLiteral("金话筒"));
    QCOMPARE(teams.at(3).giftId, QByteArray("1522229009540"));
    QCOMPARE(teams.at(4).gift.name, QStringLiteral("瞌睡虫"));
    QVERIFY(window.productRecords().empty());
    QCOMPARE(window.lastMessageId(), QByteArray("none"));
    QCOMPARE(window.state().keys().size(), 8);
    QCOMPARE(window.state().keys().first(), QByteArray("more_setting"));
    QCOMPARE(window.state().value("voteType"), 1);

    QCOMPARE(window.size(), QSize(774, 550));
    QCOMPARE(window.pos(), QPoint(5, 40));
    QCOMPARE(window.windowType(), Qt::Tool);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window.testAttribute(Qt::WA_TranslucentBackground));

    // Its title bar: the title, only a close control, and the frame's insets.
    CTitleBar *bar = window.titleControl();
    QCOMPARE(bar->titleControl()->text(), QStringLiteral("计数器窗口"));
    QVERIFY(bar->titleControl()->styleSheet().startsWith(
        QStringLiteral("font-size:14px; font-family:微软雅黑; font-weight:600;")));
    QCOMPARE(bar->height(), 61);
    QVERIFY(bar->minimiseControl()->isHidden());
    QVERIFY(bar->maximiseControl()->isHidden());
    QVERIFY(!bar->closeControl()->isHidden());
    QVERIFY(!bar->closeControl()->icon().isNull());
    QCOMPARE(bar->parentWidget()->layout()->contentsMargins(), QMargins(23, 0, 21, 0));
}

void TestVoteState::slotTableOrder()
{
    const QStringList expected = {"on_cancel_clicked()",
                                  "on_start_clicked()",
                                  "on_clear_ballot_clicked()",
                                  "on_clear_team_clicked()",
                                  "on_start_time_clicked()",
                                  "on_timer_event()",
                                  "on_moreSetting_clicked()",
                                  "on_gift_clicked()",
                                  "on_text_clicked()",
                                  "on_mode2_clicked()",
                                  "on_mode3_clicked()",
                                  "on_mode4_clicked()",
                                  "on_node_clicked()",
                                  "on_add_clicked()",
                                  "on_sub_clicked()",
                                  "on_products_clicked()",
                                  "on_team1_changed(QString)",
                                  "on_team2_changed(QString)",
                                  "on_team3_changed(QString)",
                                  "on_team4_changed(QString)",
                                  "on_text_message(const char*,const char*)",
                                  "on_gift_message(const char*,const char*,int)",
                                  "on_auth_message(const char*,const char*,const char*)"};
    const QMetaObject &meta = kivaPlugInVote::staticMetaObject;
    QStringList names;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Slot)
            names << QString::fromLatin1(meta.method(i).methodSignature());
    }
    QCOMPARE(names, expected);
}

void TestVoteState::teamNameSlotsStoreUtf8()
{
    QuietHost host;
    QVERIFY(host.isListening());
    kivaPlugInVote window(nullptr, host.options());

    QVERIFY(QMetaObject::invokeMethod(&window, "on_team1_changed",
                                      Q_ARG(QString, QStringLiteral("红队"))));
    QVERIFY(QMetaObject::invokeMethod(&window, "on_team4_changed",
                                      Q_ARG(QString, QStringLiteral("Blue "))));
    QCOMPARE(window.teamRecords().at(1).name, QStringLiteral("红队").toUtf8());
    QCOMPARE(window.teamRecords().at(4).name, QByteArray("Blue "));
    QVERIFY(QMetaObject::invokeMethod(&window, "on_team1_changed", Q_ARG(QString, QString())));
    QVERIFY(window.teamRecords().at(1).name.isEmpty());
    QVERIFY(window.teamRecords().at(2).name.isEmpty());
}

QTEST_MAIN(TestVoteState)
#include "tst_voteState.moc"
