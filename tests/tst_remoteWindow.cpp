// The remote control through the real window: each command over the control
// API (or kiva-remote) does what its button does, a refusal opens no card,
// and commands in the middle of a flood leave totals the records add up to.
#include "PlatformApiServer.h"
#include "TestSupport.h"
#include "WidgetSupport.h"

#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "records/VoteRecorder.h"
#include "shell/CWndRemind.h"
#include "ui/PresetsDialog.h"
#include "ui/kivaPlugInVote.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QByteArray kToken = QByteArray(48, 'a');

void type(QLineEdit *edit, const QString &text)
{
    edit->clear();
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

// A vote window as the program builds it: records, presets and remote
// control in a data folder of its own, the results page on a free port.
struct RemoteVote
{
    explicit RemoteVote(const BridgeOptions &bridge = BridgeOptions::off())
    {
        window = std::make_unique<kivaPlugInVote>(nullptr, bridge, 0,
                                                  QDir(data.path()).filePath("votes"));
        window->setAttribute(Qt::WA_DontShowOnScreen);
        window->enablePresets(QDir(data.path()).filePath("presets.json"));
        window->enableRemoteControl(QDir(data.path()).filePath("remote.json"), kToken);
        window->show();
    }

    void name(const QString &first, const QString &second)
    {
        type(find<QLineEdit>(*window, "nameEdit1"), first);
        type(find<QLineEdit>(*window, "nameEdit2"), second);
    }

    quint16 port() const { return quint16(QUrl(window->overlayAddress()).port()); }

    // The journal's lines, without their times.
    QList<QJsonObject> journal() const
    {
        window->voteRecords()->flush();
        QList<QJsonObject> lines;
        const QString folder = window->voteRecords()->folder();
        const QStringList ids = VoteRecordFolder::ids(folder);
        for (auto id = ids.rbegin(); id != ids.rend(); ++id) {
            QFile file(VoteRecordFolder::journalPath(folder, *id));
            file.open(QIODevice::ReadOnly);
            for (const QByteArray &line : file.readAll().split('\n')) {
                QJsonObject object = QJsonDocument::fromJson(line).object();
                object.remove("time");
                if (!object.isEmpty())
                    lines << object;
            }
        }
        return lines;
    }

    QTemporaryDir data;
    std::unique_ptr<kivaPlugInVote> window;
};

struct Answer
{
    int status = 0;
    QJsonObject body;
};

Answer post(quint16 port, const QString &command, const QJsonObject &body = {},
            const QByteArray &token = kToken)
{
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/control/%2").arg(port).arg(command)));
    request.setRawHeader("Authorization", "Bearer " + token);
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    finished.wait(10000);
    Answer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = QJsonDocument::fromJson(reply->readAll()).object();
    reply->deleteLater();
    return answer;
}

// What the streamer and the audience see: the page's state and the window's texts.
QJsonObject shown(const kivaPlugInVote &window)
{
    QJsonObject seen =
        QJsonDocument::fromJson(overlayStateJson(window.overlayState())).object();
    for (const char *name : {"startButton", "startTimeButton"})
        seen.insert(QLatin1String(name), find<QPushButton>(window, name)->text());
    for (const char *name : {"votesLabel1", "votesLabel2", "countdownLabel", "leadLabel"})
        seen.insert(QLatin1String(name), find<QLabel>(window, name)->text());
    seen.insert("namesEnabled", find<QRadioButton>(window, "textRadio")->isEnabled());
    return seen;
}

// The reports once they stop arriving (they go out in the background).
QStringList settledButtons(const PlatformApiServer &api)
{
    int seen = -1;
    while (seen != int(api.reports().size())) {
        seen = int(api.reports().size());
        QTest::qWait(300);
    }
    QStringList pressed;
    for (const ApiReport &report : api.reports())
        pressed << QString::fromUtf8(report.params.value("button"));
    return pressed;
}

} // namespace

class TestRemoteWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void commandsDoWhatTheirButtonsDo_data();
    void commandsDoWhatTheirButtonsDo();
    void refusedStartOpensNoCard();
    void commandsInAFloodAddUp();

private:
    PlatformApiServer api;
};

void TestRemoteWindow::initTestCase()
{
    QVERIFY(api.start());
    qputenv("KIVA_API_BASE", api.baseUrl());
}

void TestRemoteWindow::commandsDoWhatTheirButtonsDo_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QJsonObject>("body");
    QTest::addColumn<bool>("tool"); // through kiva-remote rather than HTTP
    QTest::newRow("start") << "start" << QJsonObject() << false;
    QTest::newRow("stop") << "stop" << QJsonObject() << false;
    QTest::newRow("toggle") << "toggle" << QJsonObject() << true;
    QTest::newRow("clear-totals") << "clear-totals" << QJsonObject() << false;
    QTest::newRow("clear-voters") << "clear-voters" << QJsonObject() << true;
    QTest::newRow("countdown-start") << "countdown-start" << QJsonObject() << false;
    QTest::newRow("countdown-stop") << "countdown-stop" << QJsonObject() << false;
    QTest::newRow("add") << "add" << QJsonObject {{"team", 2}, {"amount", 7}} << true;
    QTest::newRow("subtract") << "subtract" << QJsonObject {{"team", 1}, {"amount", 2}} << false;
    QTest::newRow("preset-start") << "preset-start" << QJsonObject {{"preset", 1}} << false;
    QTest::newRow("preset-start (kiva-remote)") << "preset-start" << QJsonObject {{"preset", 1}}
                                                << true;
}

void TestRemoteWindow::commandsDoWhatTheirButtonsDo()
{
    QFETCH(QString, command);
    QFETCH(QJsonObject, body);
    QFETCH(bool, tool);

    // Two windows set up alike, with votes on the board; one is clicked, the
    // other driven remotely.
    RemoteVote clicked;
    RemoteVote remote;
    for (RemoteVote *vote : {&clicked, &remote}) {
        vote->name(QStringLiteral("红队"), QStringLiteral("蓝队"));
        QTest::mouseClick(find<QPushButton>(*vote->window, "moreSettingButton"), Qt::LeftButton);
        QTest::mouseClick(find<QRadioButton>(*vote->window, "textRadio"), Qt::LeftButton);
        const bool keepCounting = command == "stop" || command == "toggle" || command == "clear-totals"
            || command == "clear-voters" || command == "add" || command == "subtract"
            || command.startsWith("countdown"); // a record is open: the countdown is in it
        if (keepCounting || command == "preset-start") {
            vote->window->voteCommands()->startCounting();
            for (int viewer = 0; viewer < 5; ++viewer)
                vote->window->on_text_message(QByteArray("v" + QByteArray::number(viewer)).constData(),
                                              viewer % 2 ? "蓝队" : "红队");
            if (!keepCounting)
                vote->window->voteCommands()->stopCounting();
        }
        if (command == "countdown-stop")
            vote->window->voteCommands()->startCountdown(100);
        if (command == "preset-start") {
            // A prepared vote with other names and four teams.
            VotePreset preset = VotePreset::of(vote->window->session(), QStringLiteral("四队"), 0);
            preset.setup.mode = 4;
            const char *names[] = {"", "甲", "乙", "丙", "丁"};
            for (int index = 1; index <= 4; ++index)
                preset.setup.teams[index].name = names[index];
            QVERIFY(vote->window->presetList()->saveAs(preset));
        }
    }
    const int reportsBefore = int(settledButtons(api).size());
    const QList<QJsonObject> journalBefore = clicked.journal();

    // By click.
    kivaPlugInVote &window = *clicked.window;
    if (command == "add" || command == "subtract") {
        const QString prefix = command == "add" ? "add" : "sub";
        find<QComboBox>(window, prefix + "TeamBox")->setCurrentIndex(body.value("team").toInt() - 1);
        find<QLineEdit>(window, prefix + "CountEdit")->setText(QString::number(body.value("amount").toInt()));
        QTest::mouseClick(find<QPushButton>(window, prefix + "Button"), Qt::LeftButton);
    } else if (command == "preset-start") {
        QTimer::singleShot(0, &window, [] {
            auto *card = qobject_cast<PresetsDialog *>(QApplication::activeModalWidget());
            QVERIFY(card);
            card->listControl()->setCurrentRow(0);
            QTest::mouseClick(find<QPushButton>(*card, "presetLoadButton"), Qt::LeftButton);
            card->reject();
        });
        QTest::mouseClick(find<QPushButton>(window, "presetsButton"), Qt::LeftButton);
        QTest::mouseClick(find<QPushButton>(window, "startButton"), Qt::LeftButton);
    } else {
        const char *button = command == "clear-totals"   ? "clearBallotButton"
            : command == "clear-voters"                  ? "clearTeamButton"
            : command.startsWith("countdown")            ? "startTimeButton"
                                                         : "startButton";
        QTest::mouseClick(find<QPushButton>(window, button), Qt::LeftButton);
    }
    const QStringList byClick = settledButtons(api).mid(reportsBefore);

    // Remotely.
    const int remoteReportsBefore = int(api.reports().size());
    QJsonObject answerState;
    if (tool) {
        QStringList arguments {"--port", QString::number(remote.port()), "--token", kToken, command};
        for (const char *key : {"preset", "team", "amount"}) {
            if (body.contains(QLatin1String(key)))
                arguments << QString::number(body.value(QLatin1String(key)).toInt());
        }
        QProcess process;
        process.start(qEnvironmentVariable("KIVA_REMOTE"), arguments);
        QVERIFY(process.waitForStarted());
        QVERIFY(TestSupport::waitUntil([&] { return process.state() == QProcess::NotRunning; }, 10000));
        QCOMPARE(process.exitCode(), 0);
    } else {
        const Answer answer = post(remote.port(), command, body);
        QCOMPARE(answer.status, 200);
        answerState = answer.body.value("state").toObject();
    }
    const QStringList byRemote = settledButtons(api).mid(remoteReportsBefore);

    QCOMPARE(shown(*remote.window), shown(window));
    if (!tool)
        QCOMPARE(answerState, QJsonDocument::fromJson(overlayStateJson(remote.window->overlayState())).object());
    QCOMPARE(byRemote, byClick);
    QCOMPARE(remote.journal(), clicked.journal());
    // Every command leaves its event in the record.
    QVERIFY(clicked.journal() != journalBefore);
}

void TestRemoteWindow::refusedStartOpensNoCard()
{
    int cards = 0;
    ModalWatcher watcher([&cards](QWidget *modal) {
        if (auto *card = qobject_cast<CWndRemind *>(modal)) {
            ++cards;
            card->reject();
        }
    });
    RemoteVote vote;
    const Answer answer = post(vote.port(), "start");
    QCOMPARE(answer.status, 409);
    QCOMPARE(answer.body.value("error").toString(), QStringLiteral("无法开始计票，请先编辑投票内容!"));
    QTest::qWait(300);
    QCOMPARE(cards, 0);
    QVERIFY(!vote.window->session().isCounting());
    QCOMPARE(find<QPushButton>(*vote.window, "startButton")->text(), QStringLiteral("开始计票"));
}

void TestRemoteWindow::commandsInAFloodAddUp()
{
    // A crowd at 2,000 messages a second while 500 commands come in between.
    SimProcess simulator;
    QVERIFY(simulator.start({"--quiet", "--crowd", "--rate", "2000", "--count", "24000", "--teams",
                             "红队,蓝队", "--mix", "80,10,10", "--viewers", "300"}));
    // The simulator's end drops the link: its card is closed as a streamer would.
    ModalWatcher watcher([](QWidget *modal) {
        if (auto *card = qobject_cast<CWndRemind *>(modal))
            card->reject();
    });
    RemoteVote vote(TestSupport::bridgeTo(simulator.port, 100));
    vote.name(QStringLiteral("红队"), QStringLiteral("蓝队"));
    QTest::mouseClick(find<QPushButton>(*vote.window, "moreSettingButton"), Qt::LeftButton);
    QTest::mouseClick(find<QRadioButton>(*vote.window, "textRadio"), Qt::LeftButton);

    QNetworkAccessManager network;
    int answered = 0;
    int done = 0;
    const QStringList commands = {"start", "add", "stop", "add", "start", "subtract", "clear-totals",
                                  "toggle", "add", "start"};
    QElapsedTimer clock;
    clock.start();
    for (int sent = 0; sent < 500; ++sent) {
        const QString command = commands.at(sent % commands.size());
        QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/control/%2").arg(vote.port()).arg(command)));
        request.setRawHeader("Authorization", "Bearer " + kToken);
        const QJsonObject body = command == "add" || command == "subtract"
            ? QJsonObject {{"team", 1 + sent % 2}, {"amount", 1 + sent % 5}}
            : QJsonObject();
        QNetworkReply *reply = network.post(request, QJsonDocument(body).toJson());
        connect(reply, &QNetworkReply::finished, this, [&answered, &done, reply] {
            ++answered;
            done += reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
            reply->deleteLater();
        });
        // About 50 a second, spread through the flood.
        while (clock.elapsed() < sent * 20)
            QTest::qWait(5);
    }
    QVERIFY2(TestSupport::waitUntil([&] { return answered == 500; }, 60000),
             qPrintable(QStringLiteral("%1 of 500 answered").arg(answered)));
    QCOMPARE(done, 500);
    vote.window->voteCommands()->stopCounting();
    simulator.process.kill();
    simulator.process.waitForFinished();
    QTest::qWait(200);

    // The open record, re-tallied, holds what the board holds.
    vote.window->voteRecords()->flush();
    const QString folder = vote.window->voteRecords()->folder();
    RecordedVote recorded;
    QVERIFY(VoteRecordReader::read(VoteRecordFolder::journalPath(folder, vote.window->voteRecords()->recordId()),
                                   recorded));
    QVERIFY(vote.window->session().team(1).votes + vote.window->session().team(2).votes > 0);
    for (int index = 1; index <= 2; ++index)
        QCOMPARE(recorded.teams.at(index).votes, vote.window->session().team(index).votes);
}

QTEST_MAIN(TestRemoteWindow)
#include "tst_remoteWindow.moc"
