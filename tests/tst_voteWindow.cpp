// The vote window: its state when fresh, its slot table and its name slots.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "shell/CTitleBar.h"
#include "shell/CardShadow.h"
#include "vote/DefaultTeams.h"
#include "vote/VoteStateRecord.h"
#include "ui/kivaPlugInVote.h"

#include <QComboBox>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

class TestVoteWindow : public QObject
{
    Q_OBJECT

private slots:
    void freshWindowState();
    void slotTableOrder();
    void teamNameSlotsStoreUtf8();
    void freshBoard();
    void editsRefuseWhatTheyMustNot_data();
    void editsRefuseWhatTheyMustNot();
    void cornersShowTheCardShadowWithoutAnEffect();
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

void TestVoteWindow::freshBoard()
{
    kivaPlugInVote window(nullptr, BridgeOptions::off());
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QCoreApplication::processEvents();

    // Two columns with one divider between them; columns 3 and 4 wait hidden.
    for (int team = 1; team <= 4; ++team) {
        const QString number = QString::number(team);
        QCOMPARE(find<QWidget>(window, QStringLiteral("column") + number)->isVisible(), team <= 2);
        QCOMPARE(find<QLabel>(window, QStringLiteral("votesLabel") + number)->text(),
                 QStringLiteral("0票"));
        auto *name = find<QLineEdit>(window, QStringLiteral("nameEdit") + number);
        QCOMPARE(name->placeholderText(), QStringLiteral("编辑"));
        QCOMPARE(name->maxLength(), team <= 2 ? 8 : 16);
        QCOMPARE(find<QPushButton>(window, QStringLiteral("giftButton") + number)->toolTip(),
                 QStringLiteral("点击更换礼物"));
    }
    QVERIFY(!find<QLabel>(window, QStringLiteral("divider23"))->isVisible());
    auto *question = find<QLineEdit>(window, QStringLiteral("questionEdit"));
    QCOMPARE(question->placeholderText(),
             QStringLiteral("此处填写投票问题（如：想看主播化妆还是卸妆？）"));
    QCOMPARE(question->maxLength(), 24);
    QCOMPARE(find<QLabel>(window, QStringLiteral("countdownLabel"))->text(), QStringLiteral(" "));
    QCOMPARE(find<QLabel>(window, QStringLiteral("leadLabel"))->text(), QString());
    QCOMPARE(find<QLineEdit>(window, QStringLiteral("secondsEdit"))->text(), QStringLiteral("100"));
    QVERIFY(!find<QWidget>(window, QStringLiteral("moreSettingPanel"))->isVisible());
    QVERIFY(find<QRadioButton>(window, QStringLiteral("giftRadio"))->isChecked());
    QVERIFY(find<QRadioButton>(window, QStringLiteral("mode2Radio"))->isChecked());
    auto *addTeam = find<QComboBox>(window, QStringLiteral("addTeamBox"));
    QCOMPARE(addTeam->count(), 2);
    QCOMPARE(addTeam->itemText(1), QStringLiteral("第二队"));
    QCOMPARE(find<QLineEdit>(window, QStringLiteral("subCountEdit"))->placeholderText(),
             QStringLiteral("手动减票"));
}

void TestVoteWindow::editsRefuseWhatTheyMustNot_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");

    QTest::newRow("seconds: letters")
        << QStringLiteral("secondsEdit") << QStringLiteral("1a2b") << QStringLiteral("12");
    QTest::newRow("seconds: a fifth digit")
        << QStringLiteral("secondsEdit") << QStringLiteral("123456") << QStringLiteral("1234");
    QTest::newRow("add count") << QStringLiteral("addCountEdit") << QStringLiteral("x9y9")
                               << QStringLiteral("99");
    QTest::newRow("question: 24 characters")
        << QStringLiteral("questionEdit") << QStringLiteral("abcdefghijklmnopqrstuvwxyz")
        << QStringLiteral("abcdefghijklmnopqrstuvwx");
    QTest::newRow("team 3: 16 characters")
        << QStringLiteral("nameEdit3") << QStringLiteral("0123456789abcdefgh")
        << QStringLiteral("0123456789abcdef");
}

void TestVoteWindow::editsRefuseWhatTheyMustNot()
{
    QFETCH(QString, edit);
    QFETCH(QString, typed);
    QFETCH(QString, kept);

    kivaPlugInVote window(nullptr, BridgeOptions::off());
    auto *line = find<QLineEdit>(window, edit);
    line->clear();
    QTest::keyClicks(line, typed);
    QCOMPARE(line->text(), kept);
    QCOMPARE(line->contextMenuPolicy(), Qt::NoContextMenu);
    if (edit.endsWith(QLatin1String("Edit")) && edit != QLatin1String("questionEdit"))
        QCOMPARE(line->toolTip(), QStringLiteral("请输入1~9999之间的数值"));
}

void TestVoteWindow::cornersShowTheCardShadowWithoutAnEffect()
{
    // The window carries no effect (it would re-render the whole window on
    // every update), yet looks as a window carrying the card shadow does.
    kivaPlugInVote window(nullptr, BridgeOptions::off());
    QVERIFY(!window.graphicsEffect());
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QCoreApplication::processEvents();
    const QImage built =
        window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);

    QDialog plain;
    plain.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    plain.setAttribute(Qt::WA_TranslucentBackground);
    auto *frame = new QFrame(&plain);
    frame->setStyleSheet(QStringLiteral("background-color:rgba(214,214,214,1);border-radius:6px;"));
    plain.resize(window.size());
    frame->setGeometry(plain.rect());
    plain.setGraphicsEffect(makeCardShadow(&plain));
    plain.setAttribute(Qt::WA_DontShowOnScreen);
    plain.show();
    QCoreApplication::processEvents();
    const QImage shadowed =
        plain.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);

    QCOMPARE(built.size(), shadowed.size());
    int shaded = 0;
    for (int y = 0; y < built.height(); ++y) {
        for (int x = 0; x < built.width(); ++x) {
            const bool corner =
                (x < 8 || x >= built.width() - 8) && (y < 8 || y >= built.height() - 8);
            if (!corner)
                continue;
            const QRgb mine = reinterpret_cast<const QRgb *>(built.constScanLine(y))[x];
            const QRgb effect = reinterpret_cast<const QRgb *>(shadowed.constScanLine(y))[x];
            QCOMPARE(mine, effect);
            shaded += qAlpha(mine) > 0 && qAlpha(mine) < 255;
        }
    }
    QVERIFY(shaded > 20); // the corners do show a shadow
}

QTEST_MAIN(TestVoteWindow)
#include "tst_voteWindow.moc"
