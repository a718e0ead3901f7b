// The vote window: its state when fresh, its slot table and its name slots.
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

class TestVoteWindow : public QObject
{
    Q_OBJECT

private slots:
    void freshWindowState();
    void slotTableOrder();
    void teamNameSlotsStoreUtf8();
};

void TestVoteWindow::freshWindowState()
{
    kivaPlugInVote window(nullptr, BridgeOptions::off());

    const TeamMap &teams = window.session().teams();
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
    QVERIFY(window.session().products().empty());
    QCOMPARE(window.session().lastMessageId(), QByteArray("none"));
    QCOMPARE(window.session().state().keys().size(), 8);
    QCOMPARE(window.session().state().keys().first(), QByteArray("more_setting"));
    QCOMPARE(window.session().state().value("voteType"), 1);

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

void TestVoteWindow::slotTableOrder()
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

void TestVoteWindow::teamNameSlotsStoreUtf8()
{
    kivaPlugInVote window(nullptr, BridgeOptions::off());

    QVERIFY(QMetaObject::invokeMethod(&window, "on_team1_changed",
                                      Q_ARG(QString, QStringLiteral("红队"))));
    QVERIFY(QMetaObject::invokeMethod(&window, "on_team4_changed",
                                      Q_ARG(QString, QStringLiteral("Blue "))));
    QCOMPARE(window.session().teams().at(1).name, QStringLiteral("红队").toUtf8());
    QCOMPARE(window.session().teams().at(4).name, QByteArray("Blue "));
    QVERIFY(QMetaObject::invokeMethod(&window, "on_team1_changed", Q_ARG(QString, QString())));
    QVERIFY(window.session().teams().at(1).name.isEmpty());
    QVERIFY(window.session().teams().at(2).name.isEmpty());
}

QTEST_MAIN(TestVoteWindow)
#include "tst_voteWindow.moc"
