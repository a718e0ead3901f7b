// The 遥控 card: what a person does in it is applied at once, and the line
// apply gives for a hotkey shows beside its row.
#include "TestSupport.h"

#include "ui/RemoteControlDialog.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequenceEdit>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kAddress = QStringLiteral("http://127.0.0.1:4242/control");
const QString kToggle = QString::fromLatin1(RemoteSettings::kToggleCounting);
const QString kClear = QString::fromLatin1(RemoteSettings::kClearTotals);

void click(QAbstractButton *button)
{
    // A check box takes clicks on its box and text, at its left.
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(8, button->height() / 2));
}

} // namespace

class TestRemoteControlDialog : public QObject
{
    Q_OBJECT

private slots:
    // Switching on makes the token and applies; it shows only on request,
    // copies whole, and 换一个 replaces it; switching off keeps it.
    void switchAndToken()
    {
        QList<RemoteSettings> applied;
        RemoteControlDialog card(nullptr, RemoteSettings(), kAddress, [&](const RemoteSettings &s) {
            applied << s;
            return QMap<QString, QString>();
        });
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        QCOMPARE(card.addressControl()->text(), kAddress);

        click(card.switchControl());
        QCOMPARE(applied.size(), 1);
        QVERIFY(applied[0].enabled);
        const QByteArray token = applied[0].token;
        QCOMPARE(token.size(), 48);
        QVERIFY(!card.tokenControl()->text().contains(QString::fromLatin1(token.left(8))));

        click(card.showTokenControl());
        QCOMPARE(card.tokenControl()->text(), QString::fromLatin1(token));
        click(card.copyTokenControl());
        QCOMPARE(QGuiApplication::clipboard()->text(), QString::fromLatin1(token));

        click(card.newTokenControl());
        QCOMPARE(applied.size(), 2);
        QVERIFY(applied[1].enabled);
        QVERIFY(applied[1].token.size() == 48 && applied[1].token != token);
        QCOMPARE(card.tokenControl()->text(), QString::fromLatin1(applied[1].token));

        click(card.switchControl());
        QCOMPARE(applied.size(), 3);
        QVERIFY(!applied[2].enabled);
        QCOMPARE(applied[2].token, applied[1].token);
    }

    // Keys pressed in a row's field are applied; the line apply returns for
    // that action shows beside it and no other; 清除 lets go of them.
    void hotkeyRow()
    {
        const QString held = QStringLiteral("Ctrl+Alt+S 已被其他程序占用，请换一个");
        QList<RemoteSettings> applied;
        RemoteControlDialog card(nullptr, RemoteSettings(), kAddress, [&](const RemoteSettings &s) {
            applied << s;
            QMap<QString, QString> lines;
            if (s.hotkeys.contains(kToggle))
                lines.insert(kToggle, held);
            return lines;
        });
        card.show();
        QVERIFY(QTest::qWaitForWindowExposed(&card));
        // Offscreen there are none on X11 and the card says so at the top of
        // the rows; Windows has them whatever draws the windows.
#ifdef Q_OS_WIN
        QCOMPARE(card.hotkeysNoteControl()->text(), QStringLiteral("窗口不在前台时也有效"));
#else
        QCOMPARE(card.hotkeysNoteControl()->text(), QStringLiteral("此系统不支持全局快捷键"));
#endif

        QKeySequenceEdit *edit = card.hotkeyEdit(kToggle);
        QSignalSpy finished(edit, &QKeySequenceEdit::editingFinished);
        QTest::keyClick(edit, Qt::Key_S, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(finished.wait(5000));
        QCOMPARE(applied.size(), 1);
        QCOMPARE(applied[0].hotkeys, (QMap<QString, QString> {{kToggle, "Ctrl+Alt+S"}}));
        QCOMPARE(card.hotkeyLine(kToggle)->text(), held);
        QCOMPARE(card.hotkeyLine(kClear)->text(), QString());

        click(card.hotkeyClear(kToggle));
        QCOMPARE(applied.size(), 2);
        QVERIFY(applied[1].hotkeys.isEmpty());
        QVERIFY(edit->keySequence().isEmpty());
        QCOMPARE(card.hotkeyLine(kToggle)->text(), QString());
    }
};

QTEST_MAIN(TestRemoteControlDialog)
#include "tst_remoteControlDialog.moc"
