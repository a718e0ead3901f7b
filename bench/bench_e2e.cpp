// A vote's whole road under a flood: the room simulator, on a thread of its
// own, floods a real vote window over the loopback socket (the link's
// WebSocket framing, the decoder, the session, the records, the board and its paint,
// all on the GUI thread), first at a steady rate, then as fast as it can.
// Meanwhile a 10 ms heartbeat timer, the board's paints and posted clicks
// show how the window answers, a client on another thread times the remote
// control's commands during the steady phase, and every vote is checked
// against what the simulator wrote to the window's connection.
//
// The window is built as the program builds it: vote records kept (in a
// temporary data folder), the results page on a free port with the remote
// control on, the gift list from the simulated platform API. Before the
// clock starts, every viewer votes once for each team, so the board knows
// them all.
//
//   kiva-bench-e2e                    100,000 viewers, text then gift voting,
//                                     60 s at 50,000 messages/s, then 60 s flat out
//                                     and at least 1,000,000 messages
//   kiva-bench-e2e --mode gift --rate 20000 --seconds 10 --flat-seconds 10 --viewers 5000
//   kiva-bench-e2e --smoke            a short run that fails (exit 1) only on a
//                                     lost or doubled vote, a dropped link or a
//                                     control command not done, and (exit 2) on
//                                     a hang
#include "BenchApplication.h"
#include "CrowdGenerator.h"
#include "FloodMeasures.h"
#include "PlatformApiServer.h"
#include "RemoteProbe.h"
#include "RoomThread.h"

#include "bridge/CIMkiva.h"
#include "catalogue/GiftCatalogue.h"
#include "platform/Platform.h"
#include "ui/VoterListWidget.h"
#include "ui/kivaPlugInVote.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QFile>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

const QString kRed = QStringLiteral("红队");
const QString kBlue = QStringLiteral("蓝队");
const QByteArrayList kGifts = {"1450928358", "1477978817"}; // teams 1 and 2's default gifts
const QByteArray kRemoteToken(40, 'k');
// Control requests spread over the steady phase: enough for a p99, few
// enough to leave the phase's other figures as they were.
constexpr double kRemoteRequests = 600;

double residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? double(fields.at(1).toLongLong()) * 4096 / 1e6 : 0;
}

double heapMb()
{
    return double(heapBytesInUse()) / 1e6;
}

template<typename Widget> Widget *find(QWidget &window, const char *name)
{
    return window.findChild<Widget *>(QLatin1String(name));
}

// Chinese text reaches an edit as an input method commits it.
void type(QLineEdit *edit, const QString &text)
{
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QCoreApplication::sendEvent(edit, &commit);
}

void runFor(double ms)
{
    QEventLoop loop;
    QTimer::singleShot(int(ms), &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()> &condition, double timeoutMs)
{
    const double deadline = nowMs() + timeoutMs;
    while (!condition()) {
        if (nowMs() > deadline)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

// What one phase of a run saw.
struct Phase
{
    double seconds = 0;
    qint64 frames = 0;
    qint64 votes = 0;
    Histogram heartbeatLate; // ms past the 10 ms each beat came
    Histogram paintGaps; // ms between two paints of the board
    Histogram clicks; // ms from a posted click to its slot
    Histogram staleness; // ms from a frame leaving the simulator to its paint
    double memoryFirstMb = 0; // resident, 10 s into the phase (or at its start)
    double memoryLastMb = 0;
    double heapFirstMb = 0;
    double heapLastMb = 0;
    double peakBacklogMb = 0;
};

// Watches the window while a phase runs: heartbeat, paints, clicks, memory.
class Observer : public QObject
{
public:
    Observer(kivaPlugInVote &window, const SendStamps &stamps,
             const std::function<qint64()> &handledFrames)
        : window(window)
        , stamps(stamps)
        , handled(handledFrames)
    {
        for (const char *name : {"votesLabel1", "votesLabel2"})
            find<QLabel>(window, name)->installEventFilter(this);
        for (const char *name : {"voterList1", "voterList2"})
            find<VoterListWidget>(window, name)->viewport()->installEventFilter(this);
        // 更多设置 opens and closes the panel: harmless, and it reports nothing.
        clickTarget = find<QPushButton>(window, "moreSettingButton");
        QObject::connect(clickTarget, &QPushButton::clicked, this, [this] {
            if (clickPostedAt >= 0 && phase)
                phase->clicks.add(nowMs() - clickPostedAt);
            clickPostedAt = -1;
        });
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(10);
        QObject::connect(&heartbeat, &QTimer::timeout, this, [this] { beat(); });
        clicker.setInterval(250);
        QObject::connect(&clicker, &QTimer::timeout, this, [this] { click(); });
        sampler.setInterval(200);
        QObject::connect(&sampler, &QTimer::timeout, this, [this] { sample(); });
    }

    void begin(Phase &into, bool withStaleness)
    {
        phase = &into;
        staleness = withStaleness;
        startedMs = nowMs();
        lastBeatMs = startedMs;
        lastPaintMs = -1;
        shownFrames = handled();
        into.memoryFirstMb = residentMb();
        into.heapFirstMb = heapMb();
        firstTaken = false;
        heartbeat.start();
        clicker.start();
        sampler.start();
    }

    void end()
    {
        heartbeat.stop();
        clicker.stop();
        sampler.stop();
        sample();
        phase->memoryLastMb = residentMb();
        phase->heapLastMb = heapMb();
        phase->seconds = (nowMs() - startedMs) / 1000;
        phase = nullptr;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && phase)
            painted();
        return QObject::eventFilter(watched, event);
    }

private:
    void beat()
    {
        const double now = nowMs();
        phase->heartbeatLate.add(std::max(0.0, now - lastBeatMs - 10));
        lastBeatMs = now;
    }

    void painted()
    {
        const double now = nowMs();
        if (lastPaintMs >= 0 && now - lastPaintMs > 0.5)
            phase->paintGaps.add(now - lastPaintMs);
        lastPaintMs = now;
        // Every frame handled so far is on this board; those that were not
        // on the last one show for the first time.
        const qint64 frames = handled();
        if (staleness) {
            const double nowNs = double(benchClock.nsecsElapsed());
            for (qint64 frame = (shownFrames / SendStamps::kStride + 1) * SendStamps::kStride;
                 frame <= frames; frame += SendStamps::kStride) {
                const double age = stamps.ageMs(frame, nowNs);
                if (age >= 0)
                    phase->staleness.add(age);
            }
        }
        shownFrames = std::max(shownFrames, frames);
    }

    void click()
    {
        if (clickPostedAt >= 0)
            return; // the last one has not arrived yet
        const QPoint centre = clickTarget->rect().center();
        const QPoint global = clickTarget->mapToGlobal(centre);
        clickPostedAt = nowMs();
        // Posted, as the window system's input would queue behind the room's messages.
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(
                clickTarget,
                new QMouseEvent(type, QPointF(centre), QPointF(global), Qt::LeftButton,
                                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                Qt::NoModifier));
        }
    }

    void sample()
    {
        if (!phase)
            return;
        // Read once, 10 s in: reading the heap walks all its free chunks,
        // tens of milliseconds taken from the window on every call.
        if (!firstTaken && nowMs() - startedMs >= 10000) {
            firstTaken = true;
            phase->memoryFirstMb = residentMb();
            phase->heapFirstMb = heapMb();
        }
        phase->peakBacklogMb = std::max(
            phase->peakBacklogMb, double(window.roomClient()->peakBacklogBytes()) / (1024 * 1024));
    }

    kivaPlugInVote &window;
    const SendStamps &stamps;
    std::function<qint64()> handled;
    Phase *phase = nullptr;
    bool staleness = false;
    bool firstTaken = false;
    QPushButton *clickTarget = nullptr;
    QTimer heartbeat;
    QTimer clicker;
    QTimer sampler;
    double startedMs = 0;
    double lastBeatMs = 0;
    double lastPaintMs = -1;
    double clickPostedAt = -1;
    qint64 shownFrames = 0;
};

struct Settings
{
    double rate = 50000;
    double seconds = 60;
    double flatSeconds = 60;
    qint64 flatMessages = 1000000; // the flat-out phase lasts until this many are handled
    int viewers = 100000;
    bool gifts = false;
};

struct RunResult
{
    bool gifts = false;
    Phase steady;
    Phase flat;
    qint64 lost = 0;
    qint64 doubled = 0;
    qint64 drops = 0; // times the link broke
    bool hung = false;
    double memoryStartMb = 0;
    double memoryKnownMb = 0;
    double memoryEndMb = 0;
    Histogram remote; // ms from a control request to its whole answer, at the steady rate
    int remoteFailed = 0;
};

qint64 sessionVotes(const kivaPlugInVote &window)
{
    return window.session().team(1).votes + window.session().team(2).votes;
}

RunResult runOnce(const Settings &settings, PlatformApiServer &api)
{
    RunResult result;
    result.gifts = settings.gifts;
    const char *mode = settings.gifts ? "gift" : "text";

    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", QFile::encodeName(data.path()));
    qputenv("KIVA_API_BASE", api.baseUrl());

    CrowdGenerator::Options crowd;
    crowd.teams = QStringList {kRed, kBlue};
    crowd.gifts = kGifts;
    crowd.viewers = settings.viewers;
    crowd.repeatPercent = 5;
    crowd.seed = settings.gifts ? 2 : 1;
    auto stamps = std::make_unique<SendStamps>();
    RoomThread room(crowd, *stamps);

    result.memoryStartMb = residentMb();
    BridgeOptions bridge;
    bridge.address = QStringLiteral("ws://127.0.0.1:%1").arg(room.port());
    kivaPlugInVote window(nullptr, bridge, 0, Platform::voteRecordsFolder());
    window.enableRemoteControl(data.filePath(QStringLiteral("remote.json")), kRemoteToken);
    window.show();
    qint64 framesHandled = 0;
    QObject::connect(window.roomClient(), &CIMkiva::textFrame, &window,
                     [&framesHandled] { ++framesHandled; });
    // Each link after the first follows a break.
    int linksUp = 0;
    QObject::connect(window.roomClient(), &CIMkiva::linkUp, &window, [&linksUp] { ++linksUp; });

    // Set up as a streamer does: the names, the vote type, start.
    type(find<QLineEdit>(window, "nameEdit1"), kRed);
    type(find<QLineEdit>(window, "nameEdit2"), kBlue);
    find<QPushButton>(window, "moreSettingButton")->click();
    if (!settings.gifts)
        find<QRadioButton>(window, "textRadio")->click();
    find<QPushButton>(window, "moreSettingButton")->click();
    find<QPushButton>(window, "startButton")->click();
    if (!runUntil([&] { return room.hasAudience() && framesHandled >= 1; }, 20000)
        || !runUntil([&] { return window.giftCatalogue()->listsAnswered() > 0; }, 20000)) {
        std::printf("%s: the window did not log in to the room\n", mode);
        result.hung = true;
        return result;
    }
    // The login's frame is the one before the simulator's first.
    const qint64 loginFrames = framesHandled;
    const auto handled = [&] { return framesHandled - loginFrames; };

    std::atomic<bool> introduced {false};
    const double introStart = nowMs();
    room.introduceViewers(introduced);
    if (!runUntil([&] { return introduced && handled() == stamps->frames(); }, 300000)) {
        std::printf("%s: the viewers' first votes did not all arrive\n", mode);
        result.hung = true;
        return result;
    }
    result.memoryKnownMb = residentMb();
    std::printf("%s: %d viewers known (%lld frames in %.1f s), resident %.1f MB (%.1f MB at "
                "start)\n",
                mode, settings.viewers, handled(), (nowMs() - introStart) / 1000,
                result.memoryKnownMb, result.memoryStartMb);
    std::fflush(stdout);

    Observer observer(window, *stamps, handled);
    const auto measure = [&](Phase &phase, double rate, double seconds, qint64 atLeast) {
        const qint64 frames = handled();
        const qint64 votes = sessionVotes(window);
        observer.begin(phase, rate > 0);
        room.crowd(true, rate);
        runFor(seconds * 1000);
        if (atLeast > 0)
            runUntil([&] { return handled() - frames >= atLeast; }, 600000);
        observer.end();
        phase.frames = handled() - frames;
        phase.votes = sessionVotes(window) - votes;
    };
    // The remote control's round trip under the steady flood. The probe's
    // commands leave counting on and even out, so every tally stays exact (a
    // stop and start would lose the votes between them).
    RemoteProbe probe(quint16(QUrl(window.overlayAddress()).port()), kRemoteToken);
    probe.start(std::max(5.0, settings.seconds * 1000 / kRemoteRequests));
    measure(result.steady, settings.rate, settings.seconds, 0);
    const RemoteProbe::Result remote = probe.finish();
    for (double ms : remote.ms)
        result.remote.add(ms);
    result.remoteFailed = remote.failed;
    measure(result.flat, 0, settings.flatSeconds, settings.flatMessages);
    room.crowd(false, 0);

    // Whatever was sent arrives, once; after a break, what was written to the
    // window's connection does (the rest is counted as lost below).
    if (!runUntil([&] { return handled() == stamps->frames() || (linksUp > 1 && room.settled()); },
                  120000)) {
        std::printf("%s: %lld of %lld frames handled after 120 s: hung\n", mode, handled(),
                    stamps->frames());
        result.hung = true;
    }
    runFor(200);
    result.drops = std::max(0, linksUp - 1) + (window.roomClient()->isUp() ? 0 : 1);
    for (int team = 1; team <= 2; ++team) {
        const QMap<QString, qint64> expected = room.expected(settings.gifts, team);
        QMap<QString, qint64> counted;
        for (const VoterRanking::Entry &entry : window.session().team(team).voters)
            counted.insert(QString::fromUtf8(entry.nick), entry.votes);
        qint64 expectedTotal = 0;
        for (auto it = expected.begin(); it != expected.end(); ++it) {
            const qint64 got = counted.value(it.key());
            result.lost += std::max<qint64>(0, it.value() - got);
            result.doubled += std::max<qint64>(0, got - it.value());
            expectedTotal += it.value();
        }
        for (auto it = counted.begin(); it != counted.end(); ++it) {
            if (!expected.contains(it.key()))
                result.doubled += it.value();
        }
        // The total is what the board shows; it must add up as well.
        const qint64 total = window.session().team(team).votes;
        if (total != expectedTotal)
            std::printf("%s: team %d shows %lld votes, %lld were sent\n", mode, team,
                        (long long)total, (long long)expectedTotal);
        result.lost += std::max<qint64>(0, expectedTotal - total);
        result.doubled += std::max<qint64>(0, total - expectedTotal);
    }
    result.memoryEndMb = residentMb();

    const Phase &s = result.steady;
    const Phase &f = result.flat;
    const Histogram &r = result.remote;
    std::printf("%s: at %.0f/s for %.0f s: %.0f msg/s, %.0f votes/s; heartbeat late p50 %.1f "
                "p99 %.1f max %.1f ms; paint gap max %.1f ms (%lld paints); click p50 %.1f max "
                "%.1f ms; staleness p50 %.1f p99 %.1f ms; resident %.1f -> %.1f MB over the "
                "last %.0f s (heap in use %.1f -> %.1f MB)\n",
                mode, settings.rate, s.seconds, s.frames / s.seconds, s.votes / s.seconds,
                s.heartbeatLate.percentile(0.5), s.heartbeatLate.percentile(0.99),
                s.heartbeatLate.max(), s.paintGaps.max(), (long long)s.paintGaps.count() + 1,
                s.clicks.percentile(0.5), s.clicks.max(), s.staleness.percentile(0.5),
                s.staleness.percentile(0.99), s.memoryFirstMb, s.memoryLastMb,
                std::max(0.0, s.seconds - 10), s.heapFirstMb, s.heapLastMb);
    std::printf("%s: remote control at %.0f/s: %lld answers, p50 %.1f p99 %.1f max %.1f ms; "
                "%d failed%s%s\n",
                mode, settings.rate, (long long)r.count(), r.percentile(0.5), r.percentile(0.99),
                r.max(), result.remoteFailed, remote.failed ? ", the first: " : "",
                remote.firstFailure.constData());
    std::printf("%s: flat out for %.0f s: %.0f msg/s, %.0f votes/s; heartbeat late p50 %.1f p99 "
                "%.1f max %.1f ms; paint gap max %.1f ms; click p50 %.1f max %.1f ms; peak "
                "backlog %.2f MB; resident %.1f -> %.1f MB\n",
                mode, f.seconds, f.frames / f.seconds, f.votes / f.seconds,
                f.heartbeatLate.percentile(0.5), f.heartbeatLate.percentile(0.99),
                f.heartbeatLate.max(), f.paintGaps.max(), f.clicks.percentile(0.5), f.clicks.max(),
                f.peakBacklogMb, f.memoryFirstMb, f.memoryLastMb);
    std::printf("%s: %lld frames sent, every vote checked by viewer: lost %lld, doubled %lld; "
                "link drops %lld; resident %.1f MB at start, %.1f MB with the viewers known, "
                "%.1f MB at the end\n",
                mode, stamps->frames(), result.lost, result.doubled, result.drops,
                result.memoryStartMb, result.memoryKnownMb, result.memoryEndMb);
    std::fflush(stdout);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    BenchApplication application(argc, argv);
    benchClock.start();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Floods a real vote window from the room simulator and measures the "
                       "whole road of a vote."));
    parser.addHelpOption();
    const auto valued = [](const char *name, const char *description, const char *fallback) {
        return QCommandLineOption(QLatin1String(name), QString::fromUtf8(description),
                                  QStringLiteral("N"), QLatin1String(fallback));
    };
    const QCommandLineOption rate =
        valued("rate", "Messages per second of the steady phase.", "50000");
    const QCommandLineOption seconds = valued("seconds", "Seconds of the steady phase.", "60");
    const QCommandLineOption flatSeconds =
        valued("flat-seconds", "Seconds of the flat-out phase.", "60");
    const QCommandLineOption flatMessages =
        valued("flat-messages", "The flat-out phase goes on until this many messages are handled.",
               "1000000");
    const QCommandLineOption viewers = valued("viewers", "Distinct viewers in the room.", "100000");
    const QCommandLineOption mode =
        valued("mode", "text, gift or both (one run each, in that order).", "both");
    const QCommandLineOption smoke(
        QStringLiteral("smoke"),
        QStringLiteral("A short run (2,000 viewers, 3 s at 20,000/s, 3 s and at least 20,000 "
                       "messages flat out, both modes) unless the other options say otherwise."));
    parser.addOptions({rate, seconds, flatSeconds, flatMessages, viewers, mode, smoke});
    parser.process(application);

    Settings settings;
    const bool short_ = parser.isSet(smoke);
    const auto number = [&](const QCommandLineOption &option, double fallback) {
        bool ok = false;
        const double value = parser.value(option).toDouble(&ok);
        return parser.isSet(option) && ok ? value : fallback;
    };
    settings.rate = std::max(1.0, number(rate, short_ ? 20000 : 50000));
    settings.seconds = std::max(1.0, number(seconds, short_ ? 3 : 60));
    settings.flatSeconds = std::max(1.0, number(flatSeconds, short_ ? 3 : 60));
    settings.flatMessages = qint64(std::max(0.0, number(flatMessages, short_ ? 20000 : 1000000)));
    settings.viewers = std::max(1, int(number(viewers, short_ ? 2000 : 100000)));
    const QString modes = parser.value(mode);
    QList<bool> giftRuns;
    if (modes == QLatin1String("text") || modes == QLatin1String("both"))
        giftRuns << false;
    if (modes == QLatin1String("gift") || modes == QLatin1String("both"))
        giftRuns << true;
    if (giftRuns.isEmpty()) {
        std::fprintf(stderr, "kiva-bench-e2e: --mode: expected text, gift or both\n");
        return 2;
    }

    PlatformApiServer api;
    if (!api.start()) {
        std::fprintf(stderr, "kiva-bench-e2e: the simulated platform API cannot listen\n");
        return 2;
    }
    std::printf("%d viewers; %.0f s at %.0f messages/s, then %.0f s and at least %lld messages "
                "flat out; %s voting\n",
                settings.viewers, settings.seconds, settings.rate, settings.flatSeconds,
                settings.flatMessages, qPrintable(modes));

    // The final line takes the worse figure of the runs.
    double maxRate = 1e18;
    qint64 lost = 0;
    qint64 doubled = 0;
    qint64 drops = 0;
    bool hung = false;
    double heartbeatP99 = 0, heartbeatMax = 0, paintGap = 0, click = 0, staleP99 = 0, growth = 0;
    double flatHeartbeatMax = 0, backlog = 0;
    double remoteP99 = 0, remoteMax = 0;
    int remoteFailed = 0;
    for (bool gifts : giftRuns) {
        settings.gifts = gifts;
        const RunResult run = runOnce(settings, api);
        hung = hung || run.hung;
        lost += run.lost;
        doubled += run.doubled;
        drops += run.drops;
        remoteFailed += run.remoteFailed;
        if (run.hung)
            continue;
        const Phase &s = run.steady;
        maxRate = std::min(maxRate, run.flat.frames / run.flat.seconds);
        heartbeatP99 = std::max(heartbeatP99, s.heartbeatLate.percentile(0.99));
        heartbeatMax = std::max(heartbeatMax, s.heartbeatLate.max());
        paintGap = std::max(paintGap, s.paintGaps.max());
        click = std::max(click, s.clicks.max());
        staleP99 = std::max(staleP99, s.staleness.percentile(0.99));
        growth = std::max(growth, s.memoryLastMb - s.memoryFirstMb);
        flatHeartbeatMax = std::max(flatHeartbeatMax, run.flat.heartbeatLate.max());
        backlog = std::max(backlog, run.flat.peakBacklogMb);
        remoteP99 = std::max(remoteP99, run.remote.percentile(0.99));
        remoteMax = std::max(remoteMax, run.remote.max());
    }
    if (maxRate > 1e17)
        maxRate = 0;
    std::printf("e2e: max %.0f msg/s, lost %lld, doubled %lld, drops %lld; at %.0f/s heartbeat "
                "p99 %.1f ms "
                "max %.1f ms, paint gap max %.1f ms, click %.1f ms, staleness p99 %.1f ms, "
                "memory +%.1f MB in the last %.0f s; flat out heartbeat max %.1f ms, peak "
                "backlog %.2f MB; remote p99 %.1f ms max %.1f ms\n",
                maxRate, lost, doubled, drops, settings.rate, heartbeatP99, heartbeatMax, paintGap,
                click, staleP99, std::max(0.0, growth), std::max(0.0, settings.seconds - 10),
                flatHeartbeatMax, backlog, remoteP99, remoteMax);
    if (hung)
        return 2;
    return lost || doubled || drops || remoteFailed ? 1 : 0;
}
