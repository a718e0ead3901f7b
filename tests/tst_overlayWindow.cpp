// The vote window's results page: an open page hears of every change the
// streamer or the room makes, and a taken port is said once.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "overlay/OverlayServer.h"
#include "overlay/OverlayState.h"
#include "shell/CWndRemind.h"
#include "ui/kivaPlugInVote.h"

#include <QComboBox>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>
#include <QTest>
#include <QUrl>
#include <QWebSocket>

namespace {

// An open results page: the pushes it has received.
class Page : public QObject
{
public:
    explicit Page(const QString &address)
        : socket(QUrl(address).adjusted(QUrl::RemovePath).toString())
    {
        connect(&socket, &QWebSocket::textMessageReceived, this,
                [this](const QString &message) { pushes << message.toUtf8(); });
        QUrl url(address);
        url.setScheme(QStringLiteral("ws"));
        url.setPath(QStringLiteral("/overlay/ws"));
        socket.open(url);
    }

    QWebSocket socket;
    QByteArrayList pushes;
};

} // namespace

class TestOverlayWindow : public QObject
{
    Q_OBJECT

private slots:
    void pageHearsEveryChange();
    void takenPortIsSaidOnce();
    void noPageNoServer();
};

void TestOverlayWindow::pageHearsEveryChange()
{
    kivaPlugInVote window(nullptr, BridgeOptions::off(), 0);
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QVERIFY(window.overlayAddress().startsWith(QStringLiteral("http://127.0.0.1:")));
    Page page(window.overlayAddress());

    // Each step changes what the page shows; the page ends up with exactly
    // the window's state after it.
    const auto settles = [&]() {
        return TestSupport::waitUntil(
            [&] {
                return !page.pushes.isEmpty()
                    && page.pushes.last() == overlayStateJson(window.overlayState());
            },
            5000);
    };
    QVERIFY(settles()); // the snapshot on connection

    find<QLineEdit>(window, "questionEdit")->setText(QStringLiteral("谁赢？"));
    QVERIFY(settles());
    QVERIFY(page.pushes.last().contains("谁赢？"));

    find<QLineEdit>(window, "nameEdit1")->setText(QStringLiteral("红队"));
    find<QLineEdit>(window, "nameEdit2")->setText(QStringLiteral("蓝队"));
    find<QRadioButton>(window, "textRadio")->click();
    find<QPushButton>(window, "startButton")->click();
    QVERIFY(settles());
    QVERIFY(window.overlayState().counting);

    const QByteArray red = QStringLiteral("红队").toUtf8();
    for (int i = 0; i < 2000; ++i)
        window.on_text_message(("v" + QByteArray::number(i % 37)).constData(), red.constData());
    QVERIFY(settles());
    QCOMPARE(window.overlayState().teams.at(0).votes, qint64(2000));
    // A burst is coalesced: far fewer pushes than votes.
    QVERIFY2(page.pushes.size() < 50, qPrintable(QString::number(page.pushes.size())));

    find<QPushButton>(window, "moreSettingButton")->click();
    find<QComboBox>(window, "addTeamBox")->setCurrentIndex(1);
    find<QLineEdit>(window, "addCountEdit")->setText(QStringLiteral("5"));
    find<QPushButton>(window, "addButton")->click();
    QVERIFY(settles());
    QCOMPARE(window.overlayState().teams.at(1).votes, qint64(5));

    find<QPushButton>(window, "startButton")->click(); // stopped: the modes can change
    find<QRadioButton>(window, "mode3Radio")->click();
    QVERIFY(settles());
    QCOMPARE(window.overlayState().teams.size(), 3);
    QVERIFY(window.overlayState().lead.isEmpty());

    find<QLineEdit>(window, "secondsEdit")->setText(QStringLiteral("1"));
    find<QPushButton>(window, "startTimeButton")->click();
    QVERIFY(settles());
    QCOMPARE(window.overlayState().countdown, QStringLiteral("1"));
    QVERIFY(TestSupport::waitUntil(
        [&] { return page.pushes.last().contains(QStringLiteral("时间到").toUtf8()); }, 5000));
}

void TestOverlayWindow::takenPortIsSaidOnce()
{
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    QStringList shown;
    ModalWatcher watcher([&](QWidget *modal) {
        if (auto *card = qobject_cast<CWndRemind *>(modal)) {
            shown << card->textControl()->text();
            card->reject();
        }
    });
    kivaPlugInVote window(nullptr, BridgeOptions::off(), taken.serverPort());
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    QVERIFY(TestSupport::waitUntil([&] { return !shown.isEmpty(); }, 5000));
    QTest::qWait(200);
    QCOMPARE(shown.size(), 1);
    QVERIFY(shown.first().contains(QString::number(taken.serverPort())));
    QVERIFY(window.overlayAddress().isEmpty());
    // The vote runs as before.
    find<QLineEdit>(window, "nameEdit1")->setText(QStringLiteral("A"));
    find<QLineEdit>(window, "nameEdit2")->setText(QStringLiteral("B"));
    find<QRadioButton>(window, "textRadio")->click();
    find<QPushButton>(window, "startButton")->click();
    window.on_text_message("x", "A");
    QCOMPARE(find<QLabel>(window, "votesLabel1")->text(), QStringLiteral("1票"));
}

void TestOverlayWindow::noPageNoServer()
{
    kivaPlugInVote window(nullptr, BridgeOptions::off());
    QVERIFY(window.overlayAddress().isEmpty());
    QVERIFY(!window.findChild<OverlayServer *>());
}

QTEST_MAIN(TestOverlayWindow)
#include "tst_overlayWindow.moc"
