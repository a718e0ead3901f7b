// The whole road of a chat vote in a big room, paint included: room messages
// through the real vote window (decoder, session, board), the window painted
// after every 100 messages. For boards already holding 100, 10,000 and
// 100,000 voters, 100,000 votes arrive (90% from viewers on the board, 10%
// from new ones). Prints votes per second, microseconds per vote, the ratio
// of the biggest board's cost to the smallest's, one vote with its repaint
// on the biggest board, and the memory 100,000 voters take.
//
//   kiva-bench-board [votes]
#include "PlatformApiServer.h"

#include "bridge/RoomEventWriter.h"
#include "bridge/RoomMessageDecoder.h"
#include "catalogue/HttpFetch.h"
#include "platform/FontSetup.h"
#include "vote/kivaPlugInVote.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <malloc.h>
#include <vector>

namespace {

const QByteArray kRed = QStringLiteral("红队").toUtf8();

// Bytes the heap holds now.
qint64 heapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return qint64(info.uordblks + info.hblkhd);
}

QByteArray nick(int viewer)
{
    return "观众" + QByteArray::number(viewer);
}

// A window as the streamer sets it up: teams named, chat voting, counting on,
// and the room's gift list loaded (so the board shows each viewer's count).
struct Board
{
    Board()
        : window(nullptr, BridgeOptions::off())
    {
        window.show();
        window.findChild<QLineEdit *>(QStringLiteral("nameEdit1"))->setText(QStringLiteral("红队"));
        window.findChild<QLineEdit *>(QStringLiteral("nameEdit2"))->setText(QStringLiteral("蓝队"));
        window.findChild<QRadioButton *>(QStringLiteral("textRadio"))->click();
        window.findChild<QPushButton *>(QStringLiteral("startButton"))->click();
        window.on_auth_message("10001", "20002", "bench");
        QCoreApplication::processEvents();
    }

    void fill(int voters)
    {
        for (int viewer = 0; viewer < voters; ++viewer) {
            window.on_text_message(nick(viewer).constData(), kRed.constData());
            if (viewer % 1000 == 0)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
    }

    kivaPlugInVote window;
};

struct Burst
{
    std::vector<QByteArray> frames;
};

// 90% of the votes from viewers on the board, 10% from new ones.
Burst makeBurst(int onBoard, int votes, quint32 seed)
{
    QRandomGenerator random(seed);
    Burst burst;
    burst.frames.reserve(std::size_t(votes));
    int newcomer = onBoard;
    for (int i = 0; i < votes; ++i) {
        const int viewer = random.bounded(10) == 0 ? newcomer++ : int(random.bounded(onBoard));
        burst.frames.push_back(
            RoomEventWriter::chatEvent("b" + QByteArray::number(i), nick(viewer), kRed));
    }
    return burst;
}

// Seconds for the burst, the window painted after every 100 messages.
double run(Board &board, const Burst &burst)
{
    QElapsedTimer clock;
    clock.start();
    int sincePaint = 0;
    for (const QByteArray &frame : burst.frames) {
        dispatchRoomMessage(frame.constData(), &board.window);
        if (++sincePaint == 100) {
            QCoreApplication::processEvents();
            sincePaint = 0;
        }
    }
    QCoreApplication::processEvents();
    return double(clock.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    httpGlobalInit();
    QApplication application(argc, argv);
    useWindowsGuiFontSize(installCjkFontSubstitutions());
    // The catalogue and the picture worker log each step; not what is measured.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false"));
    const int votes = argc > 1 ? std::max(1000, atoi(argv[1])) : 100000;

    PlatformApiServer api;
    if (!api.start())
        return 1;
    qputenv("KIVA_API_BASE", api.baseUrl());
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.path().toUtf8());

    std::printf("%d chat votes per board (90%% from viewers on it, 10%% new), the window painted "
                "after every 100\n",
                votes);
    std::printf("%10s %14s %12s %10s\n", "voters", "votes/s", "us/vote", "ratio");
    double smallest = 0;
    double biggest = 0;
    for (int voters : {100, 10000, 100000}) {
        Board board;
        board.fill(voters);
        const Burst burst = makeBurst(voters, votes, quint32(voters));
        run(board, makeBurst(voters, votes / 10, 7)); // warm up
        const double seconds = run(board, burst);
        const double perVote = seconds / votes * 1e6;
        if (voters == 100)
            smallest = perVote;
        biggest = perVote;
        std::printf("%10d %14.0f %12.2f %10.2f\n", voters, votes / seconds, perVote,
                    perVote / smallest);
    }

    // One vote with its repaint, on the biggest board.
    {
        Board board;
        board.fill(100000);
        std::vector<double> times;
        QRandomGenerator random(3);
        for (int i = 0; i < 500; ++i) {
            const QByteArray frame = RoomEventWriter::chatEvent(
                "one" + QByteArray::number(i), nick(int(random.bounded(100000))), kRed);
            QElapsedTimer clock;
            clock.start();
            dispatchRoomMessage(frame.constData(), &board.window);
            QCoreApplication::processEvents();
            times.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        std::sort(times.begin(), times.end());
        std::printf("one vote with its repaint, 100000 voters: median %.3f ms, 95th percentile "
                    "%.3f ms\n",
                    times[times.size() / 2], times[times.size() * 95 / 100]);
    }

    // Memory of 100,000 voters over an empty board.
    {
        Board board;
        malloc_trim(0);
        const qint64 before = heapInUse();
        board.fill(100000);
        const qint64 after = heapInUse();
        std::printf("100000 voters take %.1f MB (%.0f bytes each)\n", double(after - before) / 1e6,
                    double(after - before) / 100000);
    }
    std::printf("goals: at 100000 voters at least 100000 votes/s (floor 20000), ratio at most "
                "1.5, one vote with its repaint under 1 ms, 100000 voters under 50 MB\n");
    std::printf("ratio 100000 / 100 voters: %.2f\n", biggest / smallest);
    return 0;
}
