// The streamer's controls, driven as a streamer drives them (clicks and
// typing), read back from what the window shows.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "bridge/RoomEventWriter.h"
#include "shell/CWndRemind.h"
#include "ui/VoterListWidget.h"
#include "ui/kivaPlugInVote.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QThread>

namespace {

QString numbered(const char *name, int index)
{
    return QString::fromLatin1(name) + QString::number(index);
}

// The window shown as it would be on screen, ready for clicks.
class Window
{
public:
    explicit Window(const BridgeOptions &bridge = BridgeOptions::off())
        : window(nullptr, bridge)
    {
        window.setAttribute(Qt::WA_DontShowOnScreen);
        window.show();
        QCoreApplication::processEvents();
    }

    QPushButton *button(const char *name) { return find<QPushButton>(window, QLatin1String(name)); }
    QRadioButton *radio(const char *name)
    {
        return find<QRadioButton>(window, QLatin1String(name));
    }
    QLineEdit *edit(const char *name) { return find<QLineEdit>(window, QLatin1String(name)); }
    QLabel *label(const char *name) { return find<QLabel>(window, QLatin1String(name)); }
    QComboBox *box(const char *name) { return find<QComboBox>(window, QLatin1String(name)); }
    QCheckBox *check(const char *name) { return find<QCheckBox>(window, QLatin1String(name)); }
    QLineEdit *nameEdit(int team) { return find<QLineEdit>(window, numbered("nameEdit", team)); }
    QLabel *votes(int team) { return find<QLabel>(window, numbered("votesLabel", team)); }
    QPushButton *gift(int team) { return find<QPushButton>(window, numbered("giftButton", team)); }
    QWidget *column(int team) { return find<QWidget>(window, numbered("column", team)); }
    VoterListWidget *voters(int team)
    {
        return find<VoterListWidget>(window, numbered("voterList", team));
    }

    void click(QAbstractButton *control) { QTest::mouseClick(control, Qt::LeftButton); }
    // Typed: latin text key by key, Chinese as an input method commits it.
    void name(int team, const QString &text)
    {
        QLineEdit *edit = nameEdit(team);
        edit->clear();
        bool latin = true;
        for (const QChar c : text)
            latin = latin && c.unicode() < 128;
        if (latin) {
            QTest::keyClicks(edit, text);
            return;
        }
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QCoreApplication::sendEvent(edit, &commit);
    }
    void openPanel()
    {
        if (!find<QWidget>(window, QStringLiteral("moreSettingPanel"))->isVisible())
            click(button("moreSettingButton"));
    }
    // A manual correction through the panel's row.
    void adjust(bool add, int team, int votes)
    {
        openPanel();
        QComboBox *teamBox = box(add ? "addTeamBox" : "subTeamBox");
        teamBox->setCurrentIndex(team - 1);
        QLineEdit *count = edit(add ? "addCountEdit" : "subCountEdit");
        count->clear();
        QTest::keyClicks(count, QString::number(votes));
        click(button(add ? "addButton" : "subButton"));
    }
    void startTextVoting(const QString &first, const QString &second)
    {
        name(1, first);
        name(2, second);
        openPanel();
        click(radio("textRadio"));
        click(button("startButton"));
    }

    kivaPlugInVote window;
};

} // namespace

class TestVoteControls : public QObject
{
    Q_OBJECT

private slots:
    void startNeedsTheShownNames_data();
    void startNeedsTheShownNames();
    void controlsFrozenWhileCounting();
    void clearTotalsKeepsTalliesAndCounting();
    void clearRecordsKeepsTotals();
    void subtractStopsAtZero();
    void leadLine_data();
    void leadLine();
    void modeSwitches();
    void giftVoteForTeamFourKeepsItsBlank();
    void votersListedHighestFirst();
    void announcementColour_data();
    void announcementColour();
    void panelToggles();
    void countdown_data();
    void countdown();
    void timeUpStopsCounting_data();
    void timeUpStopsCounting();
    void ruleLine_data();
    void ruleLine();
    void changedVoteMovesOnTheBoard();
};

void TestVoteControls::startNeedsTheShownNames_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<bool>("refused");

    QTest::newRow("second name empty") << 2 << QStringList {"A", ""} << true;
    QTest::newRow("hidden third unnamed") << 2 << QStringList {"A", "B", ""} << false;
    QTest::newRow("shown third unnamed") << 3 << QStringList {"A", "B", ""} << true;
    QTest::newRow("a blank is a name") << 2 << QStringList {" ", "B"} << false;
}

void TestVoteControls::startNeedsTheShownNames()
{
    QFETCH(int, mode);
    QFETCH(QStringList, names);
    QFETCH(bool, refused);

    Window w;
    w.openPanel();
    if (mode == 3)
        w.click(w.radio("mode3Radio"));
    for (int i = 0; i < names.size(); ++i)
        w.name(i + 1, names.at(i));

    QStringList shown;
    ModalWatcher watcher([&](QWidget *modal) {
        if (auto *card = qobject_cast<CWndRemind *>(modal)) {
            shown << card->windowTitle() + card->textControl()->text();
            QCOMPARE(card->parentWidget(), &w.window);
            QTest::mouseClick(card->closeControl(), Qt::LeftButton);
        }
    });
    w.click(w.button("startButton"));
    QCOMPARE(shown.size(), refused ? 1 : 0);
    if (refused)
        QVERIFY(shown.first().endsWith(QStringLiteral("无法开始计票，请先编辑投票内容!")));
    QCOMPARE(w.window.session().isCounting(), !refused);
    QCOMPARE(w.button("startButton")->text(),
             refused ? QStringLiteral("开始计票") : QStringLiteral("停止计票"));
}

void TestVoteControls::controlsFrozenWhileCounting()
{
    Window w;
    const QList<QWidget *> frozen = {w.radio("giftRadio"),
                                     w.radio("textRadio"),
                                     w.radio("mode2Radio"),
                                     w.radio("mode3Radio"),
                                     w.radio("mode4Radio"),
                                     w.gift(1),
                                     w.gift(2),
                                     w.gift(3),
                                     w.gift(4),
                                     w.check("onePerViewerCheck"),
                                     w.check("allowChangeCheck"),
                                     w.check("cooldownCheck"),
                                     w.edit("cooldownEdit"),
                                     w.check("stopAtTimeUpCheck")};
    // How each looks where it stands (painted by its parent, effects and all).
    const auto looks = [&] {
        QList<QImage> pictures;
        for (QWidget *control : frozen)
            pictures << control->parentWidget()->grab(control->geometry()).toImage();
        return pictures;
    };
    w.name(1, QStringLiteral("A"));
    w.name(2, QStringLiteral("B"));
    w.openPanel();
    w.click(w.check("onePerViewerCheck"));
    QVERIFY(w.check("allowChangeCheck")->isEnabled());
    w.click(w.radio("mode4Radio"));
    w.click(w.radio("mode2Radio"));
    const QList<QImage> unlocked = looks(); // gift voting: the gift pictures show
    QList<QRect> places;
    for (QWidget *control : frozen)
        places << control->geometry();

    w.click(w.button("startButton"));
    w.click(w.radio("textRadio"));
    const QList<QImage> locked = looks();
    for (int i = 0; i < frozen.size(); ++i) {
        QWidget *control = frozen.at(i);
        QVERIFY2(!control->isEnabled(), qPrintable(control->objectName()));
        // Dimmed, in the same place.
        QVERIFY2(locked.at(i) != unlocked.at(i), qPrintable(control->objectName()));
        QCOMPARE(control->geometry(), places.at(i));
    }
    // The rest stays usable while counting.
    const QList<QWidget *> usable = {w.nameEdit(1),         w.edit("questionEdit"),
                                     w.edit("secondsEdit"), w.button("startTimeButton"),
                                     w.button("addButton"), w.button("clearBallotButton")};
    for (QWidget *control : usable)
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    // A click on a disabled radio changes nothing, nor on a locked rule.
    QCOMPARE(w.window.session().voteType(), VoteType::Gift);
    w.click(w.check("stopAtTimeUpCheck"));
    QVERIFY(!w.window.session().rules().stopAtTimeUp);

    w.click(w.button("startButton"));
    QVERIFY(!w.window.session().isCounting());
    QCOMPARE(w.button("startButton")->text(), QStringLiteral("开始计票"));
    for (QWidget *control : frozen)
        QVERIFY2(control->isEnabled(), qPrintable(control->objectName()));
    QCOMPARE(looks(), unlocked);
}

void TestVoteControls::clearTotalsKeepsTalliesAndCounting()
{
    Window w;
    w.startTextVoting(QStringLiteral("A"), QStringLiteral("B"));
    for (const char *nick : {"x", "x", "y"})
        w.window.on_text_message(nick, "A");
    w.window.on_text_message("y", "B");
    QCOMPARE(w.votes(1)->text(), QStringLiteral("3票"));
    QCOMPARE(w.label("leadLabel")->text(), QStringLiteral("【A】领先【B】2票"));

    w.click(w.button("clearBallotButton"));
    for (int team = 1; team <= kTeamCount; ++team)
        QCOMPARE(w.votes(team)->text(), QStringLiteral("0票"));
    QCOMPARE(w.label("leadLabel")->text(), QString());
    QVERIFY(w.window.session().isCounting());
    QCOMPARE(w.voters(1)->visibleRows(), (QStringList {"x", "y"}));

    w.window.on_text_message("y", "A");
    QCOMPARE(w.votes(1)->text(), QStringLiteral("1票"));
    QCOMPARE(w.window.session().team(1).voters.at(QByteArray("y")), qint64(2));
}

void TestVoteControls::clearRecordsKeepsTotals()
{
    Window w;
    w.startTextVoting(QStringLiteral("A"), QStringLiteral("B"));
    w.window.on_text_message("x", "A");
    w.window.on_text_message("z", "B");
    w.click(w.button("clearTeamButton"));
    QVERIFY(w.voters(1)->visibleRows().isEmpty());
    QVERIFY(w.voters(2)->visibleRows().isEmpty());
    QCOMPARE(w.votes(1)->text(), QStringLiteral("1票"));
    QCOMPARE(w.window.session().team(1).votes, qint64(1));
    w.window.on_text_message("z", "A");
    QCOMPARE(w.voters(1)->visibleRows(), QStringList {"z"});
}

void TestVoteControls::subtractStopsAtZero()
{
    Window w;
    w.adjust(true, 1, 3);
    QCOMPARE(w.votes(1)->text(), QStringLiteral("3票"));
    w.adjust(false, 1, 5);
    QCOMPARE(w.votes(1)->text(), QStringLiteral("0票"));
    QCOMPARE(w.window.session().team(1).votes, qint64(0));
    // An empty count changes nothing.
    w.edit("addCountEdit")->clear();
    w.click(w.button("addButton"));
    QCOMPARE(w.window.session().team(1).votes, qint64(0));
    // The count edits take digits only, up to 9999.
    QTest::keyClicks(w.edit("addCountEdit"), QStringLiteral("12a345"));
    QCOMPARE(w.edit("addCountEdit")->text(), QStringLiteral("1234"));
}

void TestVoteControls::leadLine_data()
{
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("second");
    QTest::addColumn<QString>("lead");

    QTest::newRow("second ahead") << 5 << 7 << QStringLiteral("【B】领先【A】2票");
    QTest::newRow("tie names the first") << 7 << 7 << QStringLiteral("【A】领先【B】0票");
    QTest::newRow("first manual add") << 0 << 3 << QStringLiteral("【B】领先【A】3票");
}

void TestVoteControls::leadLine()
{
    QFETCH(int, first);
    QFETCH(int, second);
    QFETCH(QString, lead);

    Window w;
    w.name(1, QStringLiteral("A"));
    w.name(2, QStringLiteral("B"));
    QCOMPARE(w.label("leadLabel")->text(), QString());
    if (first)
        w.adjust(true, 1, first);
    w.adjust(true, 2, second);
    QCOMPARE(w.label("leadLabel")->text(), lead);
    QVERIFY(w.label("leadLabel")->isVisible());
}

void TestVoteControls::modeSwitches()
{
    Window w;
    w.name(1, QStringLiteral("ABCDEFGHIJ"));
    QCOMPARE(w.nameEdit(1)->text(), QStringLiteral("ABCDEFGH")); // 8 in two-team mode
    w.openPanel();
    QVERIFY(!w.column(3)->isVisible());
    QVERIFY(!w.column(4)->isVisible());

    w.click(w.radio("mode4Radio"));
    for (int team = 3; team <= 4; ++team)
        QVERIFY(w.column(team)->isVisible());
    QVERIFY(w.label("divider23")->isVisible());
    QVERIFY(w.label("divider34")->isVisible());
    QVERIFY(!w.label("leadLabel")->isVisible());
    QCOMPARE(w.nameEdit(1)->text(), QStringLiteral("AB"));
    QCOMPARE(w.window.session().team(1).name, QByteArray("AB"));
    QCOMPARE(w.box("addTeamBox")->count(), 4);
    QCOMPARE(w.box("subTeamBox")->itemText(3), QStringLiteral("第四队"));
    QCOMPARE(w.window.session().voteMode(), 4);
    // Checking a mode leaves the vote type alone.
    QVERIFY(w.radio("giftRadio")->isChecked());

    w.adjust(true, 4, 6);
    w.click(w.radio("mode3Radio"));
    QVERIFY(w.column(3)->isVisible());
    QVERIFY(!w.column(4)->isVisible());
    QVERIFY(!w.label("divider34")->isVisible());
    QCOMPARE(w.box("addTeamBox")->count(), 3);

    w.click(w.radio("mode2Radio"));
    QVERIFY(!w.column(3)->isVisible());
    QVERIFY(!w.label("divider23")->isVisible());
    QVERIFY(w.label("leadLabel")->isVisible());
    QCOMPARE(w.window.session().team(4).votes, qint64(6)); // hidden teams keep their totals
    w.click(w.radio("mode4Radio"));
    QCOMPARE(w.votes(4)->text(), QStringLiteral("6票"));
}

void TestVoteControls::giftVoteForTeamFourKeepsItsBlank()
{
    Window w;
    w.name(1, QStringLiteral("A"));
    w.name(2, QStringLiteral("B"));
    w.name(4, QStringLiteral("D"));
    w.click(w.button("startButton"));
    w.window.on_gift_message("x", "1551153124818", 2);
    QCOMPARE(w.votes(4)->text(), QStringLiteral("2票 "));
    w.window.on_gift_message("x", "1450928358", 1);
    QCOMPARE(w.votes(1)->text(), QStringLiteral("1票"));

    w.click(w.button("startButton"));
    w.openPanel();
    w.click(w.radio("textRadio"));
    w.click(w.button("startButton"));
    w.window.on_text_message("x", "D");
    QCOMPARE(w.votes(4)->text(), QStringLiteral("3票"));
}

void TestVoteControls::votersListedHighestFirst()
{
    Window w;
    w.startTextVoting(QStringLiteral("红队"), QStringLiteral("蓝队"));
    const QByteArray red = QStringLiteral("红队").toUtf8();
    // Viewer k votes k times, interleaved as a room would send them.
    for (int round = 1; round <= 6; ++round) {
        for (int k = round; k <= 6; ++k)
            w.window.on_text_message(("v" + QByteArray::number(k)).constData(), red.constData());
    }
    QCOMPARE(w.votes(1)->text(), QStringLiteral("21票"));
    const QStringList rows = w.voters(1)->visibleRows();
    QVERIFY(rows.size() >= 4);
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(rows.at(i), QStringLiteral("v%1").arg(6 - i)); // no counts: no catalogue yet
    QCOMPARE(w.voters(1)->voterRows(), 6);
    QVERIFY(w.voters(2)->visibleRows().isEmpty());
}

void TestVoteControls::announcementColour_data()
{
    QTest::addColumn<bool>("choose");
    QTest::newRow("red chosen") << true;
    QTest::newRow("cancelled") << false;
}

void TestVoteControls::announcementColour()
{
    QFETCH(bool, choose);

    Window w;
    w.openPanel();
    const QString questionStyle = w.edit("questionEdit")->styleSheet();
    QColor opened;
    ModalWatcher watcher([&](QWidget *modal) {
        auto *dialog = qobject_cast<QColorDialog *>(modal);
        if (!dialog)
            return;
        opened = dialog->currentColor();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("选择颜色"));
        dialog->setCurrentColor(QColor(255, 0, 0));
        if (choose)
            dialog->accept();
        else
            dialog->reject();
    });
    w.click(w.button("swatchButton"));
    QCOMPARE(opened, QColor(24, 24, 24)); // the default announcement colour
    if (!choose) {
        QCOMPARE(w.window.session().noteColor(), 0x181818);
        QCOMPARE(w.edit("questionEdit")->styleSheet(), questionStyle);
        return;
    }
    QCOMPARE(w.window.session().noteColor(), 255 * 65536);
    const QString style = w.edit("questionEdit")->styleSheet();
    QVERIFY(style.contains(QStringLiteral("color:rgba(255,0,0);")));
    QVERIFY(style.contains(QStringLiteral("font-weight:460;")));
    QVERIFY(w.button("swatchButton")
                ->styleSheet()
                .contains(QStringLiteral("background-color:rgba(255,0,0,0.9)")));
    // The next dialog opens on red.
    w.click(w.button("swatchButton"));
    QCOMPARE(opened, QColor(255, 0, 0));
}

void TestVoteControls::panelToggles()
{
    Window w;
    QCOMPARE(w.window.size(), QSize(774, 550));
    QCOMPARE(w.button("moreSettingButton")->text(), QStringLiteral("更多设置 ﹀"));
    w.click(w.button("moreSettingButton"));
    QCOMPARE(w.window.size(), QSize(774, 785));
    QVERIFY(find<QWidget>(w.window, QStringLiteral("moreSettingPanel"))->isVisible());
    QCOMPARE(find<QWidget>(w.window, QStringLiteral("moreSettingPanel"))->size(), QSize(710, 300));
    QCOMPARE(w.button("moreSettingButton")->text(), QStringLiteral("更多设置 ︿"));
    w.click(w.button("moreSettingButton"));
    QCOMPARE(w.window.size(), QSize(774, 550));
    QVERIFY(!find<QWidget>(w.window, QStringLiteral("moreSettingPanel"))->isVisible());
}

void TestVoteControls::countdown_data()
{
    QTest::addColumn<int>("stallAtMs"); // 0: no stall
    QTest::newRow("on time") << 0;
    QTest::newRow("GUI thread stalled for 2.5 s") << 1200;
}

void TestVoteControls::countdown()
{
    QFETCH(int, stallAtMs);

    Window w;
    w.edit("secondsEdit")->clear();
    QTest::keyClicks(w.edit("secondsEdit"), QStringLiteral("3"));
    QLabel *display = w.label("countdownLabel");

    // Each text the display takes, with when it was first seen.
    struct Seen
    {
        qint64 ms;
        QString text;
    };
    QList<Seen> seen;
    QElapsedTimer clock;
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    connect(&sampler, &QTimer::timeout, this, [&] {
        if (seen.isEmpty() || seen.last().text != display->text())
            seen.append({clock.elapsed(), display->text()});
    });
    if (stallAtMs)
        QTimer::singleShot(stallAtMs, this, [] { QThread::msleep(2500); });

    clock.start();
    w.click(w.button("startTimeButton"));
    sampler.start(5);
    QVERIFY(
        TestSupport::waitUntil([&] { return display->text() == QStringLiteral("时间到"); }, 10000));
    const qint64 endedAt = clock.elapsed();
    QTest::qWait(1300); // it stays: the countdown timer has stopped
    QCOMPARE(display->text(), QStringLiteral("时间到"));

    const QStringList expected = {"3", "2", "1", "0", "时间到"};
    QStringList texts;
    for (const Seen &s : seen) {
        texts << s.text;
        const int step = expected.indexOf(s.text);
        QVERIFY2(step >= 0, qPrintable(s.text));
        // Never early, and what the clock says when it shows.
        QVERIFY2(s.ms >= step * 1000 - 30,
                 qPrintable(QStringLiteral("%1 at %2 ms").arg(s.text).arg(s.ms)));
    }
    // Time is up after 4 s however the ticks came, not a second later per lost tick.
    QVERIFY2(endedAt >= 3970 && endedAt < 4900, qPrintable(QString::number(endedAt)));
    if (stallAtMs) {
        // Each value seen comes after the one before it; the stalled ones are skipped.
        for (int i = 1; i < texts.size(); ++i)
            QVERIFY(expected.indexOf(texts.at(i)) > expected.indexOf(texts.at(i - 1)));
        QVERIFY(!texts.contains(QStringLiteral("1")));
    } else {
        QCOMPARE(texts, expected);
    }
    QCOMPARE(w.button("startTimeButton")->text(), QStringLiteral("停止显示倒计时"));
    QVERIFY(!w.edit("secondsEdit")->isEnabled());

    w.click(w.button("startTimeButton"));
    QCOMPARE(display->text(), QString());
    QVERIFY(w.edit("secondsEdit")->isEnabled());
    QCOMPARE(w.button("startTimeButton")->text(), QStringLiteral("开始显示倒计时"));
}

void TestVoteControls::timeUpStopsCounting_data()
{
    QTest::addColumn<int>("stallMs"); // 0: the votes come over the room link after 时间到
    QTest::newRow("votes 100 ms after time-up, over the link") << 0;
    QTest::newRow("a vote after time-up before the late tick") << 2300;
}

void TestVoteControls::timeUpStopsCounting()
{
    QFETCH(int, stallMs);

    TestHost host;
    Window w(host.bridge(100));
    QVERIFY(TestSupport::waitUntil([&] { return host.authenticated(); }, 20000));
    w.edit("secondsEdit")->clear();
    QTest::keyClicks(w.edit("secondsEdit"), QStringLiteral("1")); // time is up 2 s on
    w.openPanel();
    w.click(w.check("stopAtTimeUpCheck"));
    w.startTextVoting(QStringLiteral("A"), QStringLiteral("B"));
    host.send(RoomEventWriter::chatEvent("m1", "x", "A"));
    QVERIFY(TestSupport::waitUntil([&] { return w.window.session().team(1).votes == 1; }, 20000));

    const VoteSession &session = w.window.session();
    w.click(w.button("startTimeButton"));
    if (stallMs) {
        // No tick can come while the GUI thread is stalled: the vote itself sees the clock.
        QThread::msleep(stallMs);
        w.window.on_text_message("late", "A");
        QVERIFY(w.label("countdownLabel")->text() != QStringLiteral("时间到"));
    } else {
        QVERIFY(TestSupport::waitUntil(
            [&] { return w.label("countdownLabel")->text() == QStringLiteral("时间到"); }, 20000));
        QCOMPARE(w.button("startButton")->text(), QStringLiteral("开始计票")); // with the same tick
        QTest::qWait(100);
        int id = 2;
        for (const char *nick : {"y", "z", "x"})
            host.send(RoomEventWriter::chatEvent("m" + QByteArray::number(id++), nick, "A"));
        QVERIFY(TestSupport::waitUntil(
            [&] { return session.ignoredCount(IgnoredReason::AfterTimeUp) == 3; }, 20000));
    }
    QVERIFY(!session.isCounting());
    QCOMPARE(w.button("startButton")->text(), QStringLiteral("开始计票"));
    QVERIFY(w.radio("textRadio")->isEnabled());
    QCOMPARE(session.team(1).votes, qint64(1));
    QCOMPARE(w.votes(1)->text(), QStringLiteral("1票"));
    const qint64 ignored = stallMs ? 1 : 3;
    QCoreApplication::processEvents(); // the rule line follows once per pass
    QCOMPARE(w.label("ruleLabel")->text(),
             QStringLiteral("倒计时结束停止计票 · 已忽略 %1 票").arg(ignored));
    QVERIFY(!w.window.overlayState().counting);

    // Started again, counting goes on: time-up stopped it once.
    w.click(w.button("startButton"));
    w.window.on_text_message("again", "A");
    QCOMPARE(w.votes(1)->text(), QStringLiteral("2票"));
}

void TestVoteControls::ruleLine_data()
{
    QTest::addColumn<int>("teams");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("checks");

    QTest::newRow("every rule off") << 2 << QStringList {"A", "B"} << QStringList();
    QTest::newRow("one per viewer, beside the lead")
        << 2 << QStringList {"A", "B"} << QStringList {"onePerViewerCheck"};
    QTest::newRow("every rule, the longest names")
        << 2 << QStringList {"红队红队红队红队", "蓝队蓝队蓝队蓝队"}
        << QStringList {"onePerViewerCheck", "allowChangeCheck", "cooldownCheck",
                        "stopAtTimeUpCheck"};
    QTest::newRow("four teams, under the board")
        << 4 << QStringList {"A", "B", "C", "D"} << QStringList {"cooldownCheck"};
}

void TestVoteControls::ruleLine()
{
    QFETCH(int, teams);
    QFETCH(QStringList, names);
    QFETCH(QStringList, checks);

    Window w;
    w.openPanel();
    if (teams == 4)
        w.click(w.radio("mode4Radio"));
    for (const QString &name : checks)
        w.click(w.check(name.toLatin1().constData()));
    for (int team = 1; team <= teams; ++team)
        w.name(team, names.at(team - 1));
    w.click(w.radio("textRadio"));
    w.click(w.button("startButton"));
    const QByteArray first = names.first().toUtf8();
    for (int i = 0; i < 3; ++i)
        w.window.on_text_message("x", first.constData());
    w.click(w.button("moreSettingButton"));
    QCoreApplication::processEvents();

    QLabel *lead = w.label("leadLabel");
    QLabel *rules = w.label("ruleLabel");
    const qint64 ignored = w.window.session().ignoredTotal();
    QCOMPARE(ignored, checks.isEmpty() ? 0 : 2);
    QCOMPARE(rules->isVisible(), !checks.isEmpty());
    if (checks.isEmpty()) {
        // As without the rules: the lead line alone, as wide as ever.
        QCOMPARE(lead->geometry(), QRect(0, 218, 706, 40));
        return;
    }
    const QString count = QStringLiteral("已忽略 %1 票").arg(ignored);
    QVERIFY2(rules->text().endsWith(count), qPrintable(rules->text()));
    QCOMPARE(lead->isVisible(), teams == 2);
    if (teams == 2) {
        // Beside the lead in its row, and the lead keeps all of its text.
        QCOMPARE(rules->y(), lead->y());
        QCOMPARE(rules->x(), lead->geometry().right() + 1);
        QVERIFY(lead->fontMetrics().horizontalAdvance(lead->text()) <= lead->width() - 10);
        QVERIFY(rules->fontMetrics().horizontalAdvance(rules->text()) <= rules->width());
    } else {
        QCOMPARE(rules->width(), 706);
        QCOMPARE(rules->text(), w.window.session().ruleLine());
    }
    QCOMPARE(w.window.size(), QSize(774, 550));
}

void TestVoteControls::changedVoteMovesOnTheBoard()
{
    Window w;
    w.openPanel();
    w.click(w.check("onePerViewerCheck"));
    w.click(w.check("allowChangeCheck"));
    w.startTextVoting(QStringLiteral("A"), QStringLiteral("B"));
    for (const char *vote : {"x:A", "y:A", "z:B", "x:A", "x:B"}) {
        const QByteArrayList parts = QByteArray(vote).split(':');
        w.window.on_text_message(parts.at(0).constData(), parts.at(1).constData());
    }
    QCoreApplication::processEvents(); // the rule line follows once per pass
    // x's one vote left A for B in one step: totals, lists, lead and page agree.
    QCOMPARE(w.votes(1)->text(), QStringLiteral("1票"));
    QCOMPARE(w.votes(2)->text(), QStringLiteral("2票"));
    QCOMPARE(w.voters(1)->visibleRows(), QStringList {"y"});
    QCOMPARE(w.voters(2)->visibleRows().size(), 2);
    QCOMPARE(w.label("leadLabel")->text(), QStringLiteral("【B】领先【A】1票"));
    QCOMPARE(w.window.overlayState().teams.at(1).votes, qint64(2));
    QCOMPARE(w.label("ruleLabel")->text(), QStringLiteral("每人一票 · 允许改票 · 已忽略 1 票"));
}

QTEST_MAIN(TestVoteControls)
#include "tst_voteControls.moc"
