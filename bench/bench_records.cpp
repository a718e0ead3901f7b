// The vote records: reading back a journal of 1,000,000 events, and opening
// the records dialog on a folder of 200 votes (with their summaries kept, and
// right after they were written, before any summary exists).
//
//   kiva-bench-records [events]
#include "BenchApplication.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "records/VoteRecorder.h"
#include "ui/VoteRecordsDialog.h"
#include "vote/VoteSession.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

const QByteArray kRed = QStringLiteral("红队").toUtf8();
const QByteArray kBlue = QStringLiteral("蓝队").toUtf8();

// A chat vote of `events` votes (some gifts between them), as the window records it.
QString recordVote(const QString &folder, int events, quint32 seed)
{
    VoteSession session;
    VoteRecorder recorder(folder);
    for (int index = 1; index <= kTeamCount; ++index)
        session.applyDefaultGift(index);
    session.setTeamName(1, kRed);
    session.setTeamName(2, kBlue);
    session.setVoteType(VoteType::Text);
    session.startCounting();
    recorder.started(session, QStringLiteral("想看主播化妆还是卸妆？"));
    const QString id = recorder.recordId();
    QRandomGenerator random(seed);
    for (int i = 0; i < events; ++i) {
        const QByteArray nick = "观众" + QByteArray::number(random.bounded(100000));
        const QByteArray &team = random.bounded(2) ? kRed : kBlue;
        const CountResult result = session.countChat(nick.constData(), team.constData());
        recorder.countedChat(session, nick.constData(), team.constData(), result);
    }
    session.stopCounting();
    recorder.stopped(session, QString());
    return id;
}

double msSince(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

// Opens the dialog and lets it paint once; milliseconds to that, and until
// every vote's totals are in.
void openDialog(const QString &folder, const char *what)
{
    QElapsedTimer clock;
    clock.start();
    VoteRecordsDialog dialog(nullptr, folder, false, nullptr);
    dialog.setAttribute(Qt::WA_DontShowOnScreen);
    dialog.show();
    QCoreApplication::processEvents();
    const double shown = msSince(clock);
    const int rows = dialog.listControl()->count();
    while (!dialog.allCounted())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    std::printf("records dialog, %s: %d votes listed in %.1f ms; every total in after %.1f ms\n",
                what, rows, shown, msSince(clock));
}

} // namespace

int main(int argc, char **argv)
{
    BenchApplication application(argc, argv);
    const int events = argc > 1 ? std::max(1000, atoi(argv[1])) : 1000000;

    // One long vote, read back as the window and kiva-records read it.
    {
        QTemporaryDir folder;
        QElapsedTimer clock;
        clock.start();
        const QString id = recordVote(folder.path(), events, 1);
        const double writing = msSince(clock);
        const QString journal = VoteRecordFolder::journalPath(folder.path(), id);
        double best = 1e12;
        RecordedVote vote;
        for (int round = 0; round < 3; ++round) {
            clock.start();
            VoteRecordReader::read(journal, vote);
            best = std::min(best, msSince(clock));
        }
        std::printf("a journal of %lld lines (%.1f MB, %d voters; written in %.0f ms): read back "
                    "in %.0f ms (best of 3), %.2f us a line\n",
                    vote.lines, double(QFileInfo(journal).size()) / 1e6,
                    vote.teams.at(1).voters.size() + vote.teams.at(2).voters.size(), writing, best,
                    best * 1000 / double(vote.lines));
    }

    // 200 votes of 5,000 events each.
    {
        QTemporaryDir folder;
        for (int vote = 0; vote < 200; ++vote)
            recordVote(folder.path(), 5000, quint32(vote));
        openDialog(folder.path(), "no summaries yet");
        openDialog(folder.path(), "summaries kept");
    }
    std::printf("goals: a 1,000,000-line journal read in under 2 s; the dialog lists 200 votes in "
                "under 200 ms\n");
    return 0;
}
