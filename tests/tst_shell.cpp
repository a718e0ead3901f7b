// The shell windows: reminder card, title bar and guide overlay.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "ui/productsSelector.h"
#include "shell/CTitleBar.h"
#include "shell/CWndRemind.h"
#include "shell/kivaPlugMeng.h"
#include "ui/kivaPlugInVote.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QFrame>
#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolButton>

#include <memory>

namespace {

void sendMouse(QWidget *target, QEvent::Type type, QPoint global, Qt::MouseButton button,
               Qt::MouseButtons buttons)
{
    QMouseEvent event(type, QPointF(target->mapFromGlobal(global)), QPointF(global), button,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

// Lines the label's rich text breaks into at the label's width and font.
QStringList renderedLines(const QLabel *label)
{
    QTextDocument document;
    document.setDefaultFont(label->font());
    document.setHtml(label->text());
    document.setTextWidth(label->width());
    document.documentLayout()->documentSize(); // lays the text out
    QStringList lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout *layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            lines << block.text().mid(line.textStart(), line.textLength()).trimmed();
        }
    }
    return lines;
}

} // namespace

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void remindCardLayout_data();
    void remindCardLayout();
    void remindCloses_data();
    void remindCloses();
    void showRemindWithoutParentReturns();
    void everyStyleSheetParses();

    void titleBarMakesParentFrameless();
    void titleBarDragsByCursorDisplacement();
    void titleBarDoubleClickEmitsOnMax();
    void titleBarButtonsEmit();
    void titleBarHiddenButtonsLeaveCloseAtEdge();

    void cardsCastTheSameShadow_data();
    void cardsCastTheSameShadow();
    void guideOverlayGeometry();
    void guideOverlayButtonCloses();
    void guideOverlayEscapeCloses();
};

void TestShell::everyStyleSheetParses()
{
    // Qt drops a sheet it cannot parse, with a warning, and the control is
    // left with Qt's own look instead of the one designed for it.
    static QStringList rejected;
    rejected.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
            if (text.contains(QLatin1String("Could not parse stylesheet")))
                rejected << text;
        });
    const auto shown = [](QWidget &window) {
        window.setAttribute(Qt::WA_DontShowOnScreen);
        window.show();
        return window.grab().toImage(); // every sheet applied and painted
    };

    kivaPlugInVote vote(nullptr, BridgeOptions::off());
    shown(vote);
    for (const char *control : {"moreSettingButton", "mode4Radio", "textRadio"})
        find<QAbstractButton>(vote, control)->click();
    for (QLineEdit *name :
         vote.findChildren<QLineEdit *>(QRegularExpression(QStringLiteral("^nameEdit"))))
        name->setText(QStringLiteral("A"));
    for (const char *control : {"startButton", "startTimeButton"})
        find<QAbstractButton>(vote, control)->click();
    vote.grab();
    kivaPlugMeng guide(nullptr);
    shown(guide);
    productsSelector selector(&vote, vote.session());
    shown(selector);
    CWndRemind card(nullptr);
    card.initRemind("错误", "连接失败<br>请开启KIVA开播!");
    const QImage picture = shown(card);
    qInstallMessageHandler(previous);
    QVERIFY2(rejected.isEmpty(), qPrintable(rejected.join(QLatin1Char('\n'))));

    // The title bar's buttons are transparent and borderless: the corners of
    // the close button show the card behind it.
    const QRect close(card.titleControl()->closeControl()->mapTo(&card, QPoint()),
                      card.titleControl()->closeControl()->size());
    const QColor behind = picture.pixelColor(close.left() - 3, close.center().y());
    for (const QPoint corner :
         {close.topLeft(), close.topRight(), close.bottomLeft(), close.bottomRight()})
        QCOMPARE(picture.pixelColor(corner), behind);
}

void TestShell::remindCardLayout_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("link failure") << QStringLiteral("错误")
                                  << QStringLiteral("连接失败<br>请开启KIVA开播!")
                                  << QStringList {QStringLiteral("连接失败"),
                                                  QStringLiteral("请开启KIVA开播!")};
    QTest::newRow("wrong game") << QStringLiteral("错误")
                                << QStringLiteral("启动插件失败<br>游戏选择错误")
                                << QStringList {QStringLiteral("启动插件失败"),
                                                QStringLiteral("游戏选择错误")};
    QTest::newRow("empty team name")
        << QStringLiteral("提示") << QStringLiteral("无法开始计票，请先编辑投票内容!")
        << QStringList {QStringLiteral("无法开始计票，请先编辑投票内容!")};
}

void TestShell::remindCardLayout()
{
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QStringList, lines);

    CWndRemind card(nullptr);
    card.initRemind(title.toUtf8().constData(), text.toUtf8().constData());
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));

    QCOMPARE(card.windowFlags() & ~Qt::WindowType_Mask, Qt::FramelessWindowHint);
    QCOMPARE(card.windowType(), Qt::Tool);
    QVERIFY(card.testAttribute(Qt::WA_TranslucentBackground));
    QCOMPARE(card.size(), QSize(380, 250));

    auto *frame = card.findChild<QFrame *>(QString(), Qt::FindDirectChildrenOnly);
    QVERIFY(frame);
    QCOMPARE(frame->geometry(), QRect(40, 40, 300, 170));
    QVERIFY(frame->graphicsEffect());

    QCOMPARE(card.titleControl()->titleControl()->text(), title);
    QVERIFY(card.titleControl()->minimiseControl()->isHidden());
    QVERIFY(card.titleControl()->maximiseControl()->isHidden());
    QVERIFY(card.titleControl()->closeControl()->isVisible());

    QCOMPARE(card.textControl()->size(), QSize(250, 50));
    QCOMPARE(card.textControl()->text(), text);
    QCOMPARE(renderedLines(card.textControl()), lines);

    QCOMPARE(card.closeControl()->text(), QStringLiteral("关闭"));
    QCOMPARE(card.closeControl()->size(), QSize(120, 40));
}

void TestShell::remindCloses_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("button") << QStringLiteral("button");
    QTest::newRow("title bar close") << QStringLiteral("title");
    QTest::newRow("escape") << QStringLiteral("escape");
}

void TestShell::remindCloses()
{
    QFETCH(QString, how);
    CWndRemind card(nullptr);
    card.initRemind("错误", "连接失败<br>请开启KIVA开播!");
    QTimer::singleShot(50, &card, [&] {
        if (how == QLatin1String("button"))
            QTest::mouseClick(card.closeControl(), Qt::LeftButton);
        else if (how == QLatin1String("title"))
            QTest::mouseClick(card.titleControl()->closeControl(), Qt::LeftButton);
        else
            QTest::keyClick(&card, Qt::Key_Escape);
    });
    // A watchdog so a card that refuses to close fails instead of hanging.
    QTimer::singleShot(5000, &card, [&] { card.done(42); });
    QCOMPARE(card.exec(), int(QDialog::Rejected));
}

void TestShell::showRemindWithoutParentReturns()
{
    QString seenTitle;
    QString seenText;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *card = qobject_cast<CWndRemind *>(modal);
        if (!card)
            return;
        QVERIFY(!card->parentWidget());
        seenTitle = card->titleControl()->titleControl()->text();
        seenText = card->textControl()->text();
        QTest::mouseClick(card->closeControl(), Qt::LeftButton);
    });
    showRemind(QStringLiteral("错误"), QStringLiteral("启动插件失败<br>游戏选择错误"), nullptr);
    QCOMPARE(watcher.count(), 1);
    QCOMPARE(seenTitle, QStringLiteral("错误"));
    QCOMPARE(seenText, QStringLiteral("启动插件失败<br>游戏选择错误"));
    QVERIFY(!QApplication::activeModalWidget());
}

void TestShell::titleBarMakesParentFrameless()
{
    QWidget window(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint);
    QVERIFY(!(window.windowFlags() & Qt::FramelessWindowHint));
    CTitleBar bar("标题", &window);
    QVERIFY(window.windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(window.windowFlags() & Qt::WindowTitleHint); // other flags are kept
    QCOMPARE(bar.titleControl()->text(), QStringLiteral("标题"));
    QCOMPARE(bar.titleText(), QStringLiteral("标题"));

    CTitleBar untitled(nullptr, &window);
    QCOMPARE(untitled.titleText(), QString());
}

void TestShell::titleBarDragsByCursorDisplacement()
{
    QWidget window;
    auto *bar = new CTitleBar("拖动", &window);
    bar->setGeometry(0, 0, 300, 40);
    window.setGeometry(200, 150, 300, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    // Moving without a left press does nothing.
    sendMouse(bar, QEvent::MouseMove, QPoint(260, 170), Qt::NoButton, Qt::RightButton);
    QCOMPARE(window.pos(), start);

    sendMouse(bar, QEvent::MouseButtonPress, QPoint(250, 160), Qt::LeftButton, Qt::LeftButton);
    QVERIFY(bar->isDragging());
    sendMouse(bar, QEvent::MouseMove, QPoint(283, 149), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(window.pos(), start + QPoint(33, -11));
    sendMouse(bar, QEvent::MouseMove, QPoint(270, 200), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(window.pos(), start + QPoint(20, 40));

    // Releasing another button does not end the drag; the held buttons are not examined.
    sendMouse(bar, QEvent::MouseButtonRelease, QPoint(270, 200), Qt::RightButton, Qt::LeftButton);
    QVERIFY(bar->isDragging());
    sendMouse(bar, QEvent::MouseMove, QPoint(275, 195), Qt::NoButton, Qt::LeftButton);
    QCOMPARE(window.pos(), start + QPoint(25, 35));

    sendMouse(bar, QEvent::MouseButtonRelease, QPoint(275, 195), Qt::LeftButton, Qt::NoButton);
    QVERIFY(!bar->isDragging());
    sendMouse(bar, QEvent::MouseMove, QPoint(400, 400), Qt::NoButton, Qt::RightButton);
    QCOMPARE(window.pos(), start + QPoint(25, 35));

    // A right-button press does not start a drag.
    sendMouse(bar, QEvent::MouseButtonPress, QPoint(10, 10), Qt::RightButton, Qt::RightButton);
    QVERIFY(!bar->isDragging());
}

void TestShell::titleBarDoubleClickEmitsOnMax()
{
    QWidget window;
    CTitleBar bar("", &window);
    QSignalSpy max(&bar, &CTitleBar::OnMax);
    QSignalSpy close(&bar, &CTitleBar::OnClose);
    QTest::mouseDClick(bar.titleControl(), Qt::LeftButton);
    QCOMPARE(max.count(), 1);
    QTest::mouseDClick(&bar, Qt::RightButton);
    QCOMPARE(max.count(), 2);
    QCOMPARE(close.count(), 0);
}

void TestShell::titleBarButtonsEmit()
{
    QWidget window;
    CTitleBar bar("", &window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy close(&bar, &CTitleBar::OnClose);
    QSignalSpy max(&bar, &CTitleBar::OnMax);
    QSignalSpy min(&bar, &CTitleBar::OnMin);
    QTest::mouseClick(bar.closeControl(), Qt::LeftButton);
    QTest::mouseClick(bar.maximiseControl(), Qt::LeftButton);
    QTest::mouseClick(bar.minimiseControl(), Qt::LeftButton);
    QCOMPARE(close.count(), 1);
    QCOMPARE(max.count(), 1);
    QCOMPARE(min.count(), 1);
    QVERIFY(!bar.isDragging()); // presses on the buttons start no drag
}

void TestShell::titleBarHiddenButtonsLeaveCloseAtEdge()
{
    QWidget window;
    auto *bar = new CTitleBar("", &window);
    bar->hideMaxButton(true);
    bar->hideMinButton(true);
    bar->setGeometry(0, 0, 400, 40);
    window.resize(400, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!bar->minimiseControl()->isVisible());
    QVERIFY(!bar->maximiseControl()->isVisible());
    QCOMPARE(bar->closeControl()->size(), QSize(20, 20));
    QCOMPARE(bar->closeControl()->geometry().right() + 1, bar->width() - 15);

    bar->hideMaxButton(false);
    QVERIFY(bar->maximiseControl()->isVisible());
}

void TestShell::cardsCastTheSameShadow_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("reminder card") << QStringLiteral("card");
    QTest::newRow("guide overlay") << QStringLiteral("guide");
}

void TestShell::cardsCastTheSameShadow()
{
    QFETCH(QString, window);
    std::unique_ptr<QWidget> owner;
    QGraphicsEffect *effect = nullptr;
    if (window == QLatin1String("card")) {
        auto *card = new CWndRemind(nullptr);
        card->initRemind("提示", "x");
        owner.reset(card);
        effect = card->findChild<QFrame *>(QString(), Qt::FindDirectChildrenOnly)->graphicsEffect();
    } else {
        owner = std::make_unique<kivaPlugMeng>(nullptr);
        effect = owner->graphicsEffect();
    }
    auto *shadow = qobject_cast<QGraphicsDropShadowEffect *>(effect);
    QVERIFY(shadow);
    QCOMPARE(shadow->offset(), QPointF(0, 10));
    QCOMPARE(shadow->color(), QColor(0, 0, 0, 48));
    QCOMPARE(shadow->blurRadius(), 40.0);
}

void TestShell::guideOverlayGeometry()
{
    kivaPlugMeng overlay(nullptr);
    overlay.show();
    QVERIFY(QTest::qWaitForWindowExposed(&overlay));
    QCOMPARE(overlay.windowType(), Qt::Tool);
    QCOMPARE(overlay.windowFlags() & ~Qt::WindowType_Mask, Qt::FramelessWindowHint);
    QCOMPARE(overlay.geometry(), QRect(5, 40, 774, 550));
    QVERIFY(overlay.graphicsEffect());
    QCOMPARE(overlay.pictureControl()->geometry(), QRect(0, 0, 774, 550));
    QCOMPARE(overlay.knowControl()->text(), QStringLiteral("我知道了"));
    QCOMPARE(overlay.knowControl()->size(), QSize(86, 36));
    QCOMPARE(overlay.knowControl()->parentWidget(), overlay.pictureControl());
    QCOMPARE(overlay.pictureControl()->layout()->contentsMargins(), QMargins(340, 308, 348, 130));
    // No title bar and no close control of its own: the button is its only control.
    QCOMPARE(overlay.findChildren<QAbstractButton *>().size(), 1);
    QVERIFY(overlay.findChildren<CTitleBar *>().isEmpty());
}

void TestShell::guideOverlayButtonCloses()
{
    kivaPlugMeng overlay(nullptr);
    QTimer::singleShot(50, &overlay,
                       [&] { QTest::mouseClick(overlay.knowControl(), Qt::LeftButton); });
    QTimer::singleShot(5000, &overlay, [&] { overlay.done(42); });
    QCOMPARE(overlay.exec(), int(QDialog::Rejected));
    QVERIFY(overlay.isHidden());
}

void TestShell::guideOverlayEscapeCloses()
{
    kivaPlugMeng overlay(nullptr);
    QTimer::singleShot(50, &overlay, [&] { QTest::keyClick(&overlay, Qt::Key_Escape); });
    QTimer::singleShot(5000, &overlay, [&] { overlay.done(42); });
    QCOMPARE(overlay.exec(), int(QDialog::Rejected));
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
