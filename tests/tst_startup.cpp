// Start-up: fixed launch arguments, the guide first, the vote window's run,
// the refusals and their exit status.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "app/Startup.h"
#include "shell/CTitleBar.h"
#include "shell/CWndRemind.h"
#include "shell/kivaPlugMeng.h"
#include "ui/kivaPlugInVote.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {

struct Shown
{
    QString type;
    QString text; // reminder text
};

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void launchArgumentsAreFixed_data();
    void launchArgumentsAreFixed();
    void wrongGameShowsReminderAndExitsWithTwo_data();
    void wrongGameShowsReminderAndExitsWithTwo();
    void guideFirstThenVoteWindow();
    void secondVoteWindowIsRefused();
    void refusalsAreDistinct();

private:
};

void TestStartup::init()
{
    voteWindow = nullptr;
    guideOverlay = nullptr;
}

void TestStartup::launchArgumentsAreFixed_data()
{
    QTest::addColumn<QStringList>("commandLine");
    QTest::addColumn<QString>("program");

    QTest::newRow("no arguments") << QStringList {QStringLiteral("/opt/kiva/kivaPlugInVote")}
                                  << QStringLiteral("/opt/kiva/kivaPlugInVote");
    QTest::newRow("other arguments")
        << QStringList {QStringLiteral("plugin.exe"), QStringLiteral("22222"),
                        QStringLiteral("quiz"), QStringLiteral("--extra")}
        << QStringLiteral("plugin.exe");
    QTest::newRow("empty command line") << QStringList {} << QString();
}

void TestStartup::launchArgumentsAreFixed()
{
    QFETCH(QStringList, commandLine);
    QFETCH(QString, program);

    std::vector<QByteArray> storage;
    for (const QString &argument : commandLine)
        storage.push_back(argument.toUtf8());
    std::vector<char *> argv;
    for (QByteArray &argument : storage)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    const std::vector<std::string> arguments = launchArguments(int(storage.size()), argv.data());
    QCOMPARE(arguments.size(), std::size_t(3));
    QCOMPARE(QString::fromStdString(arguments[0]), program);
    QCOMPARE(QString::fromStdString(arguments[1]), QStringLiteral("11111"));
    QCOMPARE(QString::fromStdString(arguments[2]), QStringLiteral("vote"));
}

void TestStartup::wrongGameShowsReminderAndExitsWithTwo_data()
{
    QTest::addColumn<QByteArray>("game");
    QTest::newRow("other game") << QByteArray("quiz");
    QTest::newRow("case differs") << QByteArray("Vote");
    QTest::newRow("trailing blank") << QByteArray("vote ");
}

void TestStartup::wrongGameShowsReminderAndExitsWithTwo()
{
    QFETCH(QByteArray, game);
    QList<Shown> shown;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *card = qobject_cast<CWndRemind *>(modal);
        shown.append({QString::fromLatin1(modal->metaObject()->className()),
                      card ? card->textControl()->text() : QString()});
        if (card)
            QTest::mouseClick(card->closeControl(), Qt::LeftButton);
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    });

    QCOMPARE(runPlugin(game.constData(), BridgeOptions::off()), 2);
    // Refused at once: no guide, no vote window, just the reminder.
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown[0].type, QStringLiteral("CWndRemind"));
    QCOMPARE(shown[0].text, QStringLiteral("启动插件失败<br>游戏选择错误"));
    QVERIFY(!voteWindow);
    QVERIFY(!guideOverlay);
}

void TestStartup::guideFirstThenVoteWindow()
{
    const BridgeOptions options = BridgeOptions::off();
    QStringList order;
    bool checkedGuide = false;
    bool checkedWindow = false;
    bool escapeKept = false;

    ModalWatcher watcher([&](QWidget *modal) {
        order << QString::fromLatin1(modal->metaObject()->className());
        if (auto *overlay = qobject_cast<kivaPlugMeng *>(modal)) {
            QTimer::singleShot(0, overlay, [overlay] {
                QTest::mouseClick(overlay->knowControl(), Qt::LeftButton);
            });
            // The overlay is alone: the vote window does not exist yet.
            QVERIFY(!voteWindow);
            QCOMPARE(overlay, guideOverlay);
            QCOMPARE(overlay->geometry(), QRect(5, 40, 774, 550));
            checkedGuide = true;
        } else if (auto *window = qobject_cast<kivaPlugInVote *>(modal)) {
            // Escape while typing must not end the running vote; the close control does.
            QTest::keyClick(window, Qt::Key_Escape);
            QTimer::singleShot(100, window, [&escapeKept, window] {
                escapeKept = window->isVisible();
                QTest::mouseClick(window->titleControl()->closeControl(), Qt::LeftButton);
            });
            QCOMPARE(window, voteWindow);
            QVERIFY(guideOverlay->isHidden());
            QCOMPARE(window->geometry(), QRect(5, 40, 774, 550));
            QVERIFY(window->windowFlags() & Qt::WindowStaysOnTopHint);
            QVERIFY(window->windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(window->windowType(), Qt::Tool);
            QVERIFY(!window->windowIcon().isNull());
            QCOMPARE(
                window->windowIcon().pixmap(150, 150).toImage(),
                QIcon(QStringLiteral(":/res/resource/1477978817.png")).pixmap(150, 150).toImage());
            checkedWindow = true;
        } else if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        }
    });

    QCOMPARE(runPlugin("vote", options), 0);
    QCOMPARE(order,
             (QStringList {QStringLiteral("kivaPlugMeng"), QStringLiteral("kivaPlugInVote")}));
    QVERIFY(checkedGuide);
    QVERIFY(checkedWindow);
    QVERIFY(escapeKept);
    // The run deleted the window; the pointer to it went with it and nothing is left open.
    QVERIFY(voteWindow.isNull());
    for (QWidget *widget : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<kivaPlugInVote *>(widget));
}

void TestStartup::secondVoteWindowIsRefused()
{
    const BridgeOptions options = BridgeOptions::off();
    kivaPlugInVote existing(nullptr, options);
    voteWindow = &existing;
    QList<Shown> shown;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *card = qobject_cast<CWndRemind *>(modal);
        shown.append({QString::fromLatin1(modal->metaObject()->className()),
                      card ? card->textControl()->text() : QString()});
        if (auto *overlay = qobject_cast<kivaPlugMeng *>(modal))
            QTest::mouseClick(overlay->knowControl(), Qt::LeftButton);
        else if (card)
            QTest::mouseClick(card->closeControl(), Qt::LeftButton);
        else if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    });

    QCOMPARE(runPlugin("vote", options), 2);
    QCOMPARE(shown.size(), 3);
    QCOMPARE(shown[0].type, QStringLiteral("kivaPlugMeng"));
    QCOMPARE(shown[1].text, QStringLiteral("启动插件失败<br>投票软件重复启动"));
    QCOMPARE(shown[2].text, QStringLiteral("启动插件失败<br>游戏选择错误"));
    QCOMPARE(voteWindow.data(), &existing); // the refusal left the running window alone
}

void TestStartup::refusalsAreDistinct()
{
    QCOMPARE(int(startPlugin("quiz", BridgeOptions::off())), int(StartResult::WrongGame));
    QVERIFY(!guideOverlay); // refused before the guide

    kivaPlugInVote existing(nullptr, BridgeOptions::off());
    voteWindow = &existing;
    ModalWatcher watcher([](QWidget *modal) {
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
    });
    QCOMPARE(int(startPlugin("vote", BridgeOptions::off())), int(StartResult::AlreadyRunning));
    QVERIFY(guideOverlay);
    QCOMPARE(watcher.count(), 2); // the guide, then the refusal
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
