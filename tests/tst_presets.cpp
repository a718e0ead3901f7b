// Prepared votes through the real window and its card: a setup saved, the
// window built anew over the same data folder, the preset loaded back; what
// a running vote and a damaged file do.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "shell/CWndRemind.h"
#include "ui/PresetsDialog.h"
#include "ui/kivaPlugInVote.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QCheckBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace {

void type(QLineEdit *edit, const QString &text)
{
    edit->clear();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

void click(const QWidget &window, const char *name)
{
    QTest::mouseClick(find<QAbstractButton>(window, name), Qt::LeftButton);
}

std::unique_ptr<kivaPlugInVote> windowOver(const QString &presetsPath)
{
    auto window = std::make_unique<kivaPlugInVote>(nullptr, BridgeOptions::off());
    window->setAttribute(Qt::WA_DontShowOnScreen);
    window->enablePresets(presetsPath);
    window->show();
    return window;
}

// Opens the presets card, lets `use` press its controls, and closes it.
QString inCard(kivaPlugInVote &window, const std::function<void(PresetsDialog &)> &use)
{
    QString status;
    QTimer::singleShot(0, &window, [&] {
        auto *card = qobject_cast<PresetsDialog *>(QApplication::activeModalWidget());
        QVERIFY(card);
        use(*card);
        status = card->statusText();
        card->reject();
    });
    click(window, "presetsButton");
    return status;
}

void saveAs(kivaPlugInVote &window, const QString &name, bool countdown)
{
    inCard(window, [&](PresetsDialog &card) {
        type(find<QLineEdit>(card, "presetNameEdit"), name);
        find<QCheckBox>(card, "presetCountdownCheck")->setChecked(countdown);
        click(card, "presetSaveButton");
    });
}

QString load(kivaPlugInVote &window, int row)
{
    return inCard(window, [&](PresetsDialog &card) {
        card.listControl()->setCurrentRow(row);
        click(card, "presetLoadButton");
    });
}

} // namespace

class TestPresets : public QObject
{
    Q_OBJECT

private slots:
    void savedPresetComesBackInANewWindow_data();
    void savedPresetComesBackInANewWindow();
    void giftsTheRoomDoesNotHaveAreKept();
    void loadRefusedWhileCounting();
    void damagedFileIsKeptAside_data();
    void damagedFileIsKeptAside();
    void fiftyAtMost();

private:
    QTemporaryDir home;
};

void TestPresets::savedPresetComesBackInANewWindow_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("chat");
    QTest::newRow("four teams, chat, every rule, a countdown") << 4 << true;
    QTest::newRow("two teams, gifts") << 2 << false;
}

void TestPresets::savedPresetComesBackInANewWindow()
{
    QFETCH(int, mode);
    QFETCH(bool, chat);
    const QString path = QDir(home.path()).filePath(QTest::currentDataTag() + QStringLiteral(".json"));
    VotePreset saved;
    {
        auto window = windowOver(path);
        click(*window, "moreSettingButton");
        if (mode == 4)
            click(*window, "mode4Radio");
        if (chat) {
            click(*window, "textRadio");
            click(*window, "onePerViewerCheck");
            click(*window, "allowChangeCheck");
            click(*window, "cooldownCheck");
            click(*window, "stopAtTimeUpCheck");
            click(*window, "voteByNumberCheck");
            find<QLineEdit>(*window, "secondsEdit")->setText(QStringLiteral("45"));
        }
        type(find<QLineEdit>(*window, "questionEdit"), QStringLiteral("下一局玩什么？"));
        const QStringList names = {"红", "蓝", "绿", "黄"};
        for (int index = 1; index <= mode; ++index)
            type(find<QLineEdit>(*window, QStringLiteral("nameEdit%1").arg(index)), names[index - 1]);
        saveAs(*window, QStringLiteral("常规"), chat);
        saved = VotePreset::of(window->session(), QStringLiteral("常规"), chat ? 45 : 0);
        QCOMPARE(window->presetList()->list().value(0), saved);
    }

    auto window = windowOver(path);
    QCOMPARE(window->presetList()->size(), 1);
    QCOMPARE(load(*window, 0), QStringLiteral("已载入「常规」"));
    QCOMPARE(VotePreset::of(window->session(), QStringLiteral("常规"),
                            window->voteCommands()->countdownSeconds() == 45 ? 45 : 0),
             saved);
    // What the controls show is what the session holds.
    QCOMPARE(find<QRadioButton>(*window, QStringLiteral("mode%1Radio").arg(mode))->isChecked(), true);
    QCOMPARE(find<QRadioButton>(*window, "textRadio")->isChecked(), chat);
    QCOMPARE(find<QCheckBox>(*window, "voteByNumberCheck")->isChecked(), chat);
    QCOMPARE(find<QLabel>(*window, "numberLabel1")->isVisible(), chat);
    QCOMPARE(find<QLineEdit>(*window, "questionEdit")->text(), QStringLiteral("下一局玩什么？"));
    QCOMPARE(find<QLineEdit>(*window, QStringLiteral("nameEdit%1").arg(mode))->text(),
             QString::fromUtf8(saved.setup.teams[mode].name));
    QCOMPARE(find<QWidget>(*window, "column4")->isVisible(), mode == 4);
    QCOMPARE(find<QLineEdit>(*window, "secondsEdit")->text(), chat ? QStringLiteral("45")
                                                                   : QStringLiteral("100"));
    QCOMPARE(window->overlayState().question, QStringLiteral("下一局玩什么？"));
}

void TestPresets::giftsTheRoomDoesNotHaveAreKept()
{
    // Team 1 is given team 2's compiled-in gift (there in every room), team 2
    // a gift this room's list does not hold.
    const QString path = QDir(home.path()).filePath(QStringLiteral("gifts.json"));
    VotePresets presets(path);
    VotePreset preset;
    preset.name = QStringLiteral("换礼物");
    preset.setup.teams[1].giftId = "1477978817";
    preset.setup.teams[2].giftId = "404";
    preset.setup.teams[2].giftName = QStringLiteral("失传礼物");
    QVERIFY(presets.saveAs(preset));

    auto window = windowOver(path);
    const QString status = load(*window, 0);
    QVERIFY2(status.contains(QStringLiteral("队伍2的礼物「失传礼物」")), qPrintable(status));
    QCOMPARE(window->session().team(1).giftId, QByteArray("1477978817"));
    QVERIFY(find<QPushButton>(*window, "giftButton1")->styleSheet().contains("1477978817.png"));
    QCOMPARE(window->session().team(2).giftId, QByteArray("1477978817"));
}

void TestPresets::loadRefusedWhileCounting()
{
    const QString path = QDir(home.path()).filePath(QStringLiteral("counting.json"));
    auto window = windowOver(path);
    type(find<QLineEdit>(*window, "nameEdit1"), QStringLiteral("甲"));
    type(find<QLineEdit>(*window, "nameEdit2"), QStringLiteral("乙"));
    saveAs(*window, QStringLiteral("甲乙"), false);
    type(find<QLineEdit>(*window, "nameEdit1"), QStringLiteral("丙"));
    click(*window, "startButton");
    QVERIFY(window->session().isCounting());

    QCOMPARE(load(*window, 0), QStringLiteral("请先停止计票"));
    QCOMPARE(window->session().team(1).name, QByteArray("丙"));
    QCOMPARE(find<QLineEdit>(*window, "nameEdit1")->text(), QStringLiteral("丙"));
}

void TestPresets::damagedFileIsKeptAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not JSON") << QByteArray("{\"version\":1,\"presets\":[");
    QTest::newRow("a wrong type") << QByteArray(
        "{\"version\":1,\"presets\":[{\"name\":\"x\",\"mode\":\"two\"}]}");
    QTest::newRow("a huge file") << QByteArray(VotePresets::kMaxFileBytes + 1, ' ');
}

void TestPresets::damagedFileIsKeptAside()
{
    QFETCH(QByteArray, content);
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("presets.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();

    int reminders = 0;
    ModalWatcher watcher([&reminders](QWidget *modal) {
        if (auto *card = qobject_cast<CWndRemind *>(modal)) {
            ++reminders;
            card->reject();
        }
    });
    auto window = windowOver(path);
    QVERIFY(TestSupport::waitUntil([&] { return reminders == 1; }));
    QTest::qWait(100); // and only one
    QCOMPARE(reminders, 1);
    QCOMPARE(window->presetList()->size(), 0);
    QVERIFY(!QFile::exists(path));
    const QStringList aside = QDir(folder.path()).entryList({"presets.json.damaged-*"});
    QCOMPARE(aside.size(), 1);
    QFile kept(folder.filePath(aside.first()));
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), content);
}

void TestPresets::fiftyAtMost()
{
    VotePresets presets(QDir(home.path()).filePath(QStringLiteral("fifty.json")));
    VotePreset preset;
    for (int made = 1; made <= VotePresets::kMaxPresets; ++made) {
        preset.name = QStringLiteral("预设%1").arg(made);
        QVERIFY(presets.saveAs(preset));
    }
    QString error;
    preset.name = QStringLiteral("再来一个");
    QVERIFY(!presets.saveAs(preset, &error));
    QCOMPARE(error, QStringLiteral("预设已满（最多50个）"));
    QCOMPARE(presets.size(), VotePresets::kMaxPresets);
    VotePresets reread(presets.path());
    QVERIFY(reread.load());
    QCOMPARE(reread.list(), presets.list());
}

QTEST_MAIN(TestPresets)
#include "tst_presets.moc"
