// The vote window's records: a vote restored from its record into another
// window shows what the first showed; the records dialog; a folder or disk
// that fails stops the records, never the vote; a vote cut off is told of once.
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "records/VoteRecorder.h"
#include "shell/CWndRemind.h"
#include "ui/VoteRecordsDialog.h"
#include "ui/VoterListWidget.h"
#include "ui/kivaPlugInVote.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

Q_DECLARE_METATYPE(VoteType)

namespace {

const QStringList kNames = {QStringLiteral("红队"), QStringLiteral("蓝队"), QStringLiteral("绿队"),
                            QStringLiteral("黄队")};
const char *const kGifts[] = {"1450928358", "1477978817", "1522229009540", "1551153124818"};

void click(const QWidget &window, const char *name)
{
    QTest::mouseClick(find<QAbstractButton>(window, name), Qt::LeftButton);
}

// Everything the streamer reads off the window, one line each.
QStringList board(const kivaPlugInVote &window)
{
    QStringList shown;
    const VoteSession &vote = window.session();
    for (int index = 1; index <= kTeamCount; ++index) {
        const QString n = QString::number(index);
        QStringList voters;
        for (const VoterRanking::Entry &entry : vote.team(index).voters)
            voters << QString::fromUtf8(entry.nick) + QLatin1Char(':')
                    + QString::number(entry.votes);
        shown << "name" + n + "=" + find<QLineEdit>(window, "nameEdit" + n)->text()
              << "label" + n + "=" + find<QLabel>(window, "votesLabel" + n)->text()
              << "rows" + n + "="
                + find<VoterListWidget>(window, "voterList" + n)->visibleRows().join('/')
              << "voters" + n + "=" + voters.join(',')
              << "gift" + n + "=" + QString::fromUtf8(vote.team(index).giftId)
              << "column" + n
                + (find<QWidget>(window, "column" + n)->isVisible() ? "shown" : "hidden");
    }
    shown << "lead=" + find<QLabel>(window, "leadLabel")->text()
          << "question=" + find<QLineEdit>(window, "questionEdit")->text();
    for (const char *radio : {"giftRadio", "textRadio", "mode2Radio", "mode3Radio", "mode4Radio"})
        shown << QString::fromLatin1(radio)
                + (find<QRadioButton>(window, radio)->isChecked() ? "=on" : "=off");
    return shown;
}

// A window set up as a streamer does: the mode, the vote type, names, question.
void setUp(kivaPlugInVote &window, int mode, VoteType type)
{
    click(window, "moreSettingButton");
    click(window, qPrintable(QStringLiteral("mode%1Radio").arg(mode)));
    click(window, type == VoteType::Text ? "textRadio" : "giftRadio");
    for (int index = 1; index <= mode; ++index)
        find<QLineEdit>(window, "nameEdit" + QString::number(index))->setText(kNames.at(index - 1));
    find<QLineEdit>(window, "questionEdit")->setText(QStringLiteral("今晚吃什么，\"大家\"说了算"));
}

void vote(kivaPlugInVote &window, int from, int count)
{
    const int mode = window.session().voteMode();
    for (int i = from; i < from + count; ++i) {
        const QByteArray nick = "观众" + QByteArray::number(i % 7);
        const int team = i % (mode + 1);
        window.on_text_message(nick.constData(),
                               team < mode ? kNames.at(team).toUtf8().constData() : "主播好");
        window.on_gift_message(nick.constData(), team < mode ? kGifts[team] : "20001", 1 + i % 3);
    }
}

void correct(kivaPlugInVote &window, const char *box, const char *edit, const char *button,
             int team, int amount)
{
    find<QComboBox>(window, box)->setCurrentIndex(team - 1);
    find<QLineEdit>(window, edit)->setText(QString::number(amount));
    click(window, button);
}

struct Reminders
{
    Reminders()
        : watcher([this](QWidget *modal) {
            if (auto *card = qobject_cast<CWndRemind *>(modal)) {
                texts << card->textControl()->text();
                card->reject();
            }
        })
    {}
    QStringList texts;
    ModalWatcher watcher;
};

} // namespace

class TestVoteRecordsWindow : public QObject
{
    Q_OBJECT

private slots:
    void restoredWindowIsTheOriginal_data();
    void restoredWindowIsTheOriginal();
    void dialogListsExportsAndLocks();
    void badFolderStopsRecordsNotTheVote_data();
    void badFolderStopsRecordsNotTheVote();
    void cutOffVoteIsToldOnce();
};

void TestVoteRecordsWindow::restoredWindowIsTheOriginal_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<VoteType>("type");
    QTest::addColumn<bool>("stopped"); // the original was stopped before it closed

    QTest::newRow("chat, two teams, counting") << 2 << VoteType::Text << false;
    QTest::newRow("gift, four teams, stopped") << 4 << VoteType::Gift << true;
    QTest::newRow("gift, two teams, stopped") << 2 << VoteType::Gift << true;
    QTest::newRow("chat, three teams, counting") << 3 << VoteType::Text << false;
}

void TestVoteRecordsWindow::restoredWindowIsTheOriginal()
{
    QFETCH(int, mode);
    QFETCH(VoteType, type);
    QFETCH(bool, stopped);

    QTemporaryDir folder;
    QStringList original;
    QString id;
    {
        kivaPlugInVote window(nullptr, BridgeOptions::off(), -1, folder.path());
        window.setAttribute(Qt::WA_DontShowOnScreen);
        window.show();
        setUp(window, mode, type);
        click(window, "startButton");
        id = window.voteRecords()->recordId();
        vote(window, 0, 40);
        correct(window, "addTeamBox", "addCountEdit", "addButton", 2, 9);
        click(window, "clearTeamButton");
        vote(window, 40, 30);
        correct(window, "subTeamBox", "subCountEdit", "subButton", 1, 5000);
        find<QLineEdit>(window, "secondsEdit")->setText(QStringLiteral("0"));
        click(window, "startTimeButton");
        QVERIFY(TestSupport::waitUntil([&] {
            return find<QLabel>(window, "countdownLabel")->text() == QStringLiteral("时间到");
        }));
        click(window, "startButton"); // stop
        click(window, "startButton"); // and on again, in the same record
        vote(window, 70, 25);
        if (stopped)
            click(window, "startButton");
        QCOMPARE(window.voteRecords()->recordId(), id);
        original = board(window);
    }

    // The record holds every kind of event the window wrote.
    QStringList kinds;
    RecordedVote read;
    QVERIFY(VoteRecordReader::read(VoteRecordFolder::journalPath(folder.path(), id), read,
                                   [&](const RecordRow &row, const RecordedVote &) {
                                       kinds << QString::fromLatin1(recordKindName(row.kind));
                                   }));
    for (const char *kind : {"start", "stop", type == VoteType::Text ? "chat" : "gift", "add",
                             "subtract", "clear_voters", "countdown_start", "time_up", "end"})
        QVERIFY2(kinds.contains(QLatin1String(kind)), kind);
    QVERIFY(read.cleanEnd);

    // Another window restores it through the records dialog.
    kivaPlugInVote restored(nullptr, BridgeOptions::off(), -1, folder.path());
    restored.setAttribute(Qt::WA_DontShowOnScreen);
    restored.show();
    QStringList listed;
    ModalWatcher watcher([&](QWidget *modal) {
        if (auto *dialog = qobject_cast<VoteRecordsDialog *>(modal)) {
            listed = dialog->listedIds();
            QVERIFY(dialog->restoreControl()->isEnabled());
            QTimer::singleShot(0, dialog->restoreControl(), &QPushButton::click);
        }
    });
    click(restored, "recordsButton");
    QCOMPARE(listed, QStringList {id});
    QVERIFY(!restored.session().isCounting());
    QCOMPARE(find<QPushButton>(restored, "startButton")->text(), QStringLiteral("开始计票"));
    // The rows show once the restored columns are laid out.
    TestSupport::waitUntil([&] { return board(restored) == original; }, 2000);
    QCOMPARE(board(restored), original);

    // Counting goes on in the same record, and the record follows.
    click(restored, "startButton");
    vote(restored, 95, 10);
    QCOMPARE(restored.voteRecords()->recordId(), id);
    restored.voteRecords()->flush();
    QVERIFY(VoteRecordReader::read(VoteRecordFolder::journalPath(folder.path(), id), read));
    for (int index = 1; index <= kTeamCount; ++index)
        QCOMPARE(read.teams.at(index).votes, restored.session().team(index).votes);
}

void TestVoteRecordsWindow::dialogListsExportsAndLocks()
{
    QTemporaryDir folder;
    QTemporaryDir out;
    QStringList notices;
    kivaPlugInVote window(nullptr, BridgeOptions::off(), -1, folder.path());
    setUp(window, 2, VoteType::Text);
    QStringList made;
    for (int round = 0; round < 3; ++round) {
        click(window, "startButton");
        made.prepend(window.voteRecords()->recordId());
        vote(window, round * 10, 10);
        click(window, "clearBallotButton"); // ends the record
        click(window, "startButton"); // stop
    }
    click(window, "startButton"); // counting again, in a fourth record
    made.prepend(window.voteRecords()->recordId());

    QStringList listed;
    bool restoreEnabled = true;
    QString exported;
    ModalWatcher watcher([&](QWidget *modal) {
        if (auto *dialog = qobject_cast<VoteRecordsDialog *>(modal)) {
            listed = dialog->listedIds();
            restoreEnabled = dialog->restoreControl()->isEnabled();
            dialog->listControl()->setCurrentRow(1); // the newest finished vote
            exported = listed.value(1);
            QTimer::singleShot(0, dialog->exportControl(), &QPushButton::click);
        } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
            // The streamer types the folder's path.
            find<QLineEdit>(*files, "fileNameEdit")->setText(out.path());
            QTimer::singleShot(0, files, &QDialog::accept);
        } else if (auto *card = qobject_cast<CWndRemind *>(modal)) {
            // The export's notice; then the dialog closes.
            notices << card->textControl()->text();
            card->reject();
            for (QWidget *top : QApplication::topLevelWidgets())
                if (auto *dialog = qobject_cast<VoteRecordsDialog *>(top))
                    QTimer::singleShot(0, dialog, &QDialog::reject);
        }
    });
    click(window, "recordsButton");
    QCOMPARE(listed, made); // newest first
    QVERIFY(!restoreEnabled); // counting
    QStringList files = QDir(out.path()).entryList(QDir::Files);
    files.sort();
    QCOMPARE(files,
             QStringList({"vote-" + exported + ".csv", "vote-" + exported + ".json",
                          "vote-" + exported + ".png"}));
    QFile csv(QDir(out.path()).filePath(files.first()));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readLine().startsWith("\xEF\xBB\xBFtime,kind,viewer,team,team_name"));
    QVERIFY(!QImage(QDir(out.path()).filePath(files.last())).isNull());
    QCOMPARE(notices.size(), 1);
    QVERIFY(notices.first().startsWith(QStringLiteral("已导出")));
}

void TestVoteRecordsWindow::badFolderStopsRecordsNotTheVote_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("the folder is a file") << "file";
    QTest::newRow("the folder is under a file") << "under a file";
#ifdef Q_OS_UNIX
    QTest::newRow("the disk fills up") << "full";
#endif
}

void TestVoteRecordsWindow::badFolderStopsRecordsNotTheVote()
{
    QFETCH(QString, kind);
    QTemporaryDir home;
    QString folder = home.filePath("votes");
    if (kind != "full") {
        // Fails as root too: no permission bit stands in the way, the path does.
        QFile file(home.filePath("votes"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == "under a file")
            folder = home.filePath("votes/kiva/votes");
    }
#ifdef Q_OS_UNIX
    // A small file-size limit stands in for a full disk: writes past it fail.
    rlimit saved = {};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto restoreLimit = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &saved); });
    if (kind == "full") {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 4096;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
    }
#endif

    Reminders reminders;
    kivaPlugInVote window(nullptr, BridgeOptions::off(), -1, folder);
    setUp(window, 2, VoteType::Text);
    click(window, "startButton");
    for (int round = 0; round < 5; ++round) {
        vote(window, round * 30, 30);
        window.voteRecords()->flush();
        QCoreApplication::processEvents();
    }
    QVERIFY(TestSupport::waitUntil([&] { return !reminders.texts.isEmpty(); }));
    click(window, "startButton");
    click(window, "startButton");
    vote(window, 150, 30);
    QTest::qWait(100);

    QVERIFY(window.voteRecords()->isOff());
    QCOMPARE(reminders.texts.size(), 1);
    QVERIFY2(reminders.texts.first().startsWith(QStringLiteral("投票记录已关闭：")),
             qPrintable(reminders.texts.first()));
    // 180 rounds of one line per team 1, 2 and chatter: two thirds counted.
    QCOMPARE(window.session().team(1).votes + window.session().team(2).votes, qint64(120));
    QCOMPARE(find<QLabel>(window, "votesLabel1")->text(),
             QStringLiteral("%1票").arg(window.session().team(1).votes));
}

void TestVoteRecordsWindow::cutOffVoteIsToldOnce()
{
    QTemporaryDir folder;
    // A vote whose program died: its record has no end and nobody writes it.
    const QString journal = VoteRecordFolder::journalPath(folder.path(), "20240501-201503-123");
    QFile file(journal);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(
        R"({"v":1,"time":"2024-05-01T20:15:03.123+08:00","kind":"start","mode":2,"teams":[{"index":1,"name":"红队"},{"index":2,"name":"蓝队"}]})"
        "\n"
        R"({"v":1,"time":"2024-05-01T20:15:04.001+08:00","kind":"chat","viewer":"甲","team":1,"votes":1})"
        "\n");
    file.close();

    for (int start = 0; start < 2; ++start) {
        Reminders reminders;
        kivaPlugInVote window(nullptr, BridgeOptions::off(), -1, folder.path());
        window.show();
        QTest::qWait(200);
        QCOMPARE(reminders.texts.size(), start == 0 ? 1 : 0);
        if (start == 0)
            QVERIFY(reminders.texts.first().contains(QStringLiteral("投票记录")));
    }
}

QTEST_MAIN(TestVoteRecordsWindow)
#include "tst_voteRecordsWindow.moc"
