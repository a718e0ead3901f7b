#include "Screens.h"

#include "PlatformApiServer.h"

#include "catalogue/GiftCatalogue.h"
#include "catalogue/HttpFetch.h"
#include "ui/productsSelector.h"
#include "platform/Platform.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "records/VoteRecorder.h"
#include "shell/CWndRemind.h"
#include "shell/kivaPlugMeng.h"
#include "ui/ResultPicture.h"
#include "ui/PresetsDialog.h"
#include "ui/VoteRecordsDialog.h"
#include "ui/kivaPlugInVote.h"
#include "vote/VoteCommands.h"
#include "vote/VotePresets.h"

#include <QCoreApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFrame>
#include <QHeaderView>
#include <QImage>
#include <QLayout>
#include <QLinearGradient>
#include <QListWidget>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadialGradient>
#include <QRadioButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// The windows are translucent outside their cards, so a bare grab reads as
// a hole in a README; composite onto a calm light backdrop instead.
QImage onBackdrop(const QPixmap &shot, int margin)
{
    QImage out(shot.width() + 2 * margin, shot.height() + 2 * margin, QImage::Format_RGB32);
    out.fill(QColor(0xEE, 0xF0, 0xF4));
    QPainter p(&out);
    p.drawPixmap(margin, margin, shot);
    return out;
}

// Lays the window out and lets it paint once, as it would when shown.
QPixmap shoot(QWidget &window)
{
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    if (window.layout())
        window.layout()->activate();
    QCoreApplication::processEvents();
    QPixmap shot = window.grab();
    shot.setDevicePixelRatio(1);
    window.hide();
    return shot;
}

bool save(const QImage &image, const QString &path)
{
    QTextStream out(stdout);
    if (!image.save(path, "PNG")) {
        out << "cannot write " << path << '\n';
        return false;
    }
    out << path << "  " << image.width() << 'x' << image.height() << '\n';
    return true;
}

template<typename Widget> Widget *control(QWidget &window, const char *name)
{
    return window.findChild<Widget *>(QString::fromLatin1(name));
}

void type(QWidget &window, const char *name, const QString &text)
{
    control<QLineEdit>(window, name)->setText(text);
}

// A dialog open over its window, the window dimmed behind it.
QImage dialogOver(QWidget &window, QWidget &dialog)
{
    QImage composite = onBackdrop(shoot(window), 0);
    const QPixmap shot = shoot(dialog);
    QPainter painter(&composite);
    painter.fillRect(composite.rect(), QColor(0, 0, 0, 60));
    painter.drawPixmap((composite.width() - shot.width()) / 2,
                       (composite.height() - shot.height()) / 2, shot);
    return composite;
}

// Logs in as the room would and waits for the gift list's answer.
void logIn(kivaPlugInVote &window)
{
    window.on_auth_message("10001", "20002", "screens");
    QElapsedTimer clock;
    clock.start();
    while (window.giftCatalogue()->listsAnswered() == 0 && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// Waits until the download worker has cached every gift's picture.
void waitForPictures(const kivaPlugInVote &window)
{
    QElapsedTimer clock;
    clock.start();
    for (const auto &entry : window.session().products()) {
        const QString path =
            Platform::joinPath(Platform::imageCacheFolder(),
                               QString::fromUtf8(entry.first + ".png"));
        while (!QFile::exists(path) && clock.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

// A vote in progress, set up through the window's controls as a streamer
// would: names, question, chat voting, start; then a crowd votes.
void runVote(kivaPlugInVote &window, int teams, bool panel, const char *const *rules = nullptr)
{
    // The room's gift list, as after login: the board then shows each viewer's votes.
    logIn(window);
    static const QString names[] = {QStringLiteral("化妆"), QStringLiteral("卸妆"),
                                    QStringLiteral("素颜"), QStringLiteral("戴帽")};
    if (teams == 3)
        control<QRadioButton>(window, "mode3Radio")->click();
    else if (teams == 4)
        control<QRadioButton>(window, "mode4Radio")->click();
    type(window, "questionEdit", QStringLiteral("想看主播化妆还是卸妆？"));
    for (int index = 1; index <= teams; ++index)
        type(window, QByteArray("nameEdit" + QByteArray::number(index)).constData(),
             names[index - 1]);
    control<QRadioButton>(window, "textRadio")->click();
    for (const char *const *rule = rules; rule && *rule; ++rule)
        control<QAbstractButton>(window, *rule)->click();
    control<QPushButton>(window, "startButton")->click();
    static const char *const nicks[] = {"小明",   "阿花", "Lucky_6", "观众017", "kiki",
                                        "路人甲", "Tom",  "星星",    "mika",    "大熊"};
    for (int i = 0; i < 140; ++i) {
        const int team = 1 + (i * 7 + i / 3) % teams;
        const QByteArray nick = QByteArray(nicks[(i * i + team) % 10]);
        window.on_text_message(nick.constData(), names[team - 1].toUtf8().constData());
    }
    if (rules)
        QCoreApplication::processEvents(); // the rule line follows the votes once per pass
    if (panel)
        control<QPushButton>(window, "moreSettingButton")->click();
}

// A few past votes in the records folder, as a streamer's evening leaves them:
// votes ended by 清空票数, one cut off by a crash, one still counting.
void recordVotes(kivaPlugInVote &window, const QString &folder)
{
    struct Past
    {
        const char *question;
        QStringList names;
        int votes;
        bool cut;
    };
    const Past votes[] = {
        {"今晚吃火锅还是烧烤？", {QStringLiteral("火锅"), QStringLiteral("烧烤")}, 90, false},
        {"下一首唱什么？",
         {QStringLiteral("晴天"), QStringLiteral("稻香"), QStringLiteral("七里")},
         120,
         true},
        {"想看主播化妆还是卸妆？", {QStringLiteral("化妆"), QStringLiteral("卸妆")}, 140, false},
    };
    static const char *const nicks[] = {"小明",   "阿花", "Lucky_6", "观众017", "kiki",
                                        "路人甲", "Tom",  "星星",    "mika",    "大熊"};
    control<QRadioButton>(window, "textRadio")->click();
    for (const Past &past : votes) {
        const int teams = int(past.names.size());
        control<QRadioButton>(window, teams == 3 ? "mode3Radio" : "mode2Radio")->click();
        type(window, "questionEdit", QString::fromUtf8(past.question));
        for (int index = 1; index <= teams; ++index)
            type(window, QByteArray("nameEdit" + QByteArray::number(index)).constData(),
                 past.names.at(index - 1));
        control<QPushButton>(window, "startButton")->click();
        const QString id = window.voteRecords()->recordId();
        for (int i = 0; i < past.votes; ++i) {
            const int team = 1 + (i * 7 + i / 3) % teams;
            window.on_text_message(nicks[(i * i + team) % 10],
                                   past.names.at(team - 1).toUtf8().constData());
        }
        window.voteRecords()->flush();
        if (past.cut) {
            // The program died here: its journal has no end.
            QFile::copy(VoteRecordFolder::journalPath(folder, id),
                        VoteRecordFolder::journalPath(folder, id + QStringLiteral("-cut")));
        }
        control<QPushButton>(window, "startButton")->click();
        control<QPushButton>(window, "clearBallotButton")->click();
        control<QPushButton>(window, "clearTeamButton")->click();
        if (past.cut) {
            QFile::remove(VoteRecordFolder::journalPath(folder, id));
            QFile::rename(VoteRecordFolder::journalPath(folder, id + QStringLiteral("-cut")),
                          VoteRecordFolder::journalPath(folder, id));
        }
    }
    control<QPushButton>(window, "startButton")->click();
    for (int i = 0; i < 20; ++i)
        window.on_text_message(nicks[i % 10], "化妆");
}

// The first rows of an exported CSV as a spreadsheet program shows them.
QImage csvAsTable(const QString &csvPath, int rows)
{
    QFile file(csvPath);
    file.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = file.readAll().mid(3).split('\n');
    QTableWidget table(rows, 9);
    table.setStyleSheet(QStringLiteral(
        "QTableWidget { background: white; gridline-color: #d4d4d4; font-size: 13px; } "
        "QHeaderView::section { background: #f3f3f3; border: 0px; border-right: 1px solid "
        "#d4d4d4; border-bottom: 1px solid #d4d4d4; padding: 3px; font-size: 13px; }"));
    QStringList letters;
    for (char c = 'A'; c <= 'I'; ++c)
        letters << QString(QLatin1Char(c));
    table.setHorizontalHeaderLabels(letters);
    for (int row = 0; row < rows && row < lines.size(); ++row) {
        // Plain cells only in these rows: no quoting to undo.
        const QList<QByteArray> cells = lines.at(row).trimmed().split(',');
        for (int column = 0; column < cells.size() && column < 9; ++column) {
            auto *item = new QTableWidgetItem(QString::fromUtf8(cells.at(column)));
            if (row == 0) {
                QFont bold = item->font();
                bold.setBold(true);
                item->setFont(bold);
            }
            table.setItem(row, column, item);
        }
    }
    table.resizeColumnsToContents();
    table.verticalHeader()->setDefaultSectionSize(24);
    int width = table.verticalHeader()->sizeHint().width() + 4;
    for (int column = 0; column < 9; ++column)
        width += table.columnWidth(column);
    table.resize(width, table.horizontalHeader()->sizeHint().height() + rows * 24 + 4);
    return shoot(table).toImage();
}

} // namespace

bool renderScreens(const QString &outDir)
{
    if (!QDir().mkpath(outDir)) {
        QTextStream(stdout) << "cannot create " << outDir << '\n';
        return false;
    }
    const QDir dir(outDir);
    bool ok = true;

    {
        kivaPlugMeng guide(nullptr);
        ok = save(onBackdrop(shoot(guide), 0), dir.filePath(QStringLiteral("guide-overlay.png")))
            && ok;
    }
    {
        CWndRemind card(nullptr);
        card.initRemind("错误", "连接失败<br>请开启KIVA开播!");
        ok = save(onBackdrop(shoot(card), 0), dir.filePath(QStringLiteral("reminder-card.png")))
            && ok;
    }
    struct VoteShot
    {
        const char *file;
        int teams;
        bool panel;
        bool voting;
        const char *const *rules = nullptr; // the rules' check boxes to tick
    };
    static const char *const onePerViewer[] = {"onePerViewerCheck", "allowChangeCheck",
                                               "stopAtTimeUpCheck", nullptr};
    static const char *const cooldown[] = {"cooldownCheck", nullptr};
    const VoteShot voteShots[] = {
        {"vote-window.png", 2, false, false},
        {"vote-window-counting.png", 2, false, true},
        {"vote-window-three.png", 3, false, true},
        {"vote-window-four.png", 4, false, true},
        {"vote-window-panel.png", 2, true, true},
        {"vote-window-rules.png", 2, true, true, onePerViewer},
        {"vote-window-rules-four.png", 4, false, true, cooldown},
    };
    // The platform's API stands in-process, with a cache folder of its own.
    httpGlobalInit();
    PlatformApiServer api;
    QTemporaryDir home;
    if (!api.start() || !home.isValid()) {
        QTextStream(stdout) << "cannot start the simulated platform API\n";
        return false;
    }
    qputenv("KIVA_API_BASE", api.baseUrl());
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));

    for (const VoteShot &shot : voteShots) {
        kivaPlugInVote window(nullptr, BridgeOptions::off());
        if (shot.voting)
            runVote(window, shot.teams, shot.panel, shot.rules);
        ok = save(onBackdrop(shoot(window), 0), dir.filePath(QString::fromLatin1(shot.file))) && ok;
    }

    // The gift selector open over the vote window, gifts picked for both teams.
    {
        kivaPlugInVote window(nullptr, BridgeOptions::off());
        logIn(window);
        waitForPictures(window);
        productsSelector selector(&window, window.session());
        selector.giftBox(1)->setCurrentIndex(2);
        selector.giftBox(2)->setCurrentIndex(4);
        ok = save(dialogOver(window, selector), dir.filePath(QStringLiteral("gift-selector.png")))
            && ok;
    }

    // The records dialog over the vote window; an exported vote's CSV as a
    // table and its picture.
    {
        QTemporaryDir records;
        kivaPlugInVote window(nullptr, BridgeOptions::off(), -1, records.path());
        control<QPushButton>(window, "moreSettingButton")->click();
        recordVotes(window, records.path());
        control<QPushButton>(window, "moreSettingButton")->click();
        window.voteRecords()->flush(); // as the window does before it lists
        VoteRecordsDialog dialog(&window, records.path(), true, nullptr);
        while (!dialog.allCounted())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        dialog.listControl()->setCurrentRow(1);
        ok = save(dialogOver(window, dialog), dir.filePath(QStringLiteral("records-dialog.png")))
            && ok;

        const QStringList ids = VoteRecordFolder::ids(records.path());
        const QString journal =
            VoteRecordFolder::journalPath(records.path(), ids.value(1, QStringLiteral("none")));
        const ExportFiles written = exportFilesIn(records.path(), journal);
        QString error;
        if (ids.size() < 2 || !exportVoteRecord(journal, written, &error)) {
            QTextStream(stdout) << "cannot export a vote: " << error << '\n';
            return false;
        }
        ok = save(csvAsTable(written.csv, 16), dir.filePath(QStringLiteral("records-csv.png")))
            && ok;
        ok = save(QImage(written.png), dir.filePath(QStringLiteral("records-result.png"))) && ok;
    }

    // The presets card with a few prepared votes.
    {
        QTemporaryDir data;
        kivaPlugInVote window(nullptr, BridgeOptions::off());
        window.enablePresets(QDir(data.path()).filePath(QStringLiteral("presets.json")));
        VoteCommands &commands = *window.voteCommands();
        const auto prepare = [&](const char *name, const char *question, const char *first,
                                 const char *second, bool chat, int seconds) {
            control<QLineEdit>(window, "questionEdit")->setText(QString::fromUtf8(question));
            control<QLineEdit>(window, "nameEdit1")->setText(QString::fromUtf8(first));
            control<QLineEdit>(window, "nameEdit2")->setText(QString::fromUtf8(second));
            control<QRadioButton>(window, chat ? "textRadio" : "giftRadio")->click();
            commands.savePreset(QString::fromUtf8(name), seconds);
        };
        prepare("下一局", "下一局玩什么？", "吃鸡", "王者", true, 60);
        prepare("谁会赢", "这局谁会赢？", "红方", "蓝方", false, 0);
        prepare("唱哪首", "下一首唱哪首？", "晴天", "稻香", true, 30);
        PresetsDialog dialog(&window, &commands, window.presetList());
        dialog.listControl()->setCurrentRow(0);
        ok = save(dialogOver(window, dialog), dir.filePath(QStringLiteral("presets-card.png")))
            && ok;
    }
    return ok;
}

bool renderOverlayOnScene(const QString &overlayShot, const QString &outPath)
{
    const QImage page(overlayShot);
    if (page.isNull()) {
        QTextStream(stdout) << "cannot read " << overlayShot << '\n';
        return false;
    }
    // A sample broadcast scene: an evening sky over a stage with its lights,
    // so the page's transparency and legibility show.
    QImage scene(1280, 720, QImage::Format_RGB32);
    QPainter p(&scene);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, 720);
    sky.setColorAt(0, QColor(38, 52, 110));
    sky.setColorAt(0.6, QColor(190, 96, 120));
    sky.setColorAt(1, QColor(242, 170, 110));
    p.fillRect(scene.rect(), sky);
    for (int i = 0; i < 6; ++i) {
        QRadialGradient light(QPointF(140 + i * 200, 520), 160);
        light.setColorAt(0, QColor(255, 240, 200, 90));
        light.setColorAt(1, QColor(255, 240, 200, 0));
        p.fillRect(scene.rect(), light);
    }
    p.setBrush(QColor(30, 26, 40));
    p.setPen(Qt::NoPen);
    p.drawRect(QRectF(0, 600, 1280, 120));
    p.drawEllipse(QPointF(960, 420), 70, 80); // a streamer at the microphone
    p.drawRoundedRect(QRectF(860, 490, 200, 140), 60, 60);
    p.drawImage(QPointF(40, 40), page);
    p.end();
    return save(scene, outPath);
}
