// kiva-records: the vote records for scripts and support, read through the
// same reader as the vote window.
//
//   kiva-records [--data-dir DIR] list
//   kiva-records [--data-dir DIR] show ID
//   kiva-records [--data-dir DIR] export ID [--csv FILE] [--json FILE] [--png FILE]
//
// Exit status 0 on success, 2 for an unknown id, 1 for anything else.
#include "ui/FontSetup.h"
#include "platform/Platform.h"
#include "records/VoteRecordExport.h"
#include "records/VoteRecordFolder.h"
#include "records/VoteRecordReader.h"
#include "ui/ResultPicture.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

void out(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
}

int fail(int status, const QString &why)
{
    std::fprintf(stderr, "kiva-records: %s\n", why.toUtf8().constData());
    return status;
}

// Only the picture needs fonts and a painter.
bool wantsPicture(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--png") == 0 || std::strncmp(argv[i], "--png=", 6) == 0)
            return true;
    }
    return false;
}

QString listLine(const VoteRecordFolder::Listing &listing)
{
    QStringList cells = {listing.id, QString::fromUtf8(listing.started),
                         listing.inUse          ? QStringLiteral("open")
                             : listing.cleanEnd ? QStringLiteral("clean")
                                                : QStringLiteral("unclean")};
    for (const VoteRecordFolder::Listing::Team &team : listing.teams)
        cells << team.name + QLatin1Char('=') + QString::number(team.total);
    return cells.join(QLatin1Char('\t'));
}

} // namespace

int main(int argc, char **argv)
{
    std::unique_ptr<QCoreApplication> application;
    if (wantsPicture(argc, argv)) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY")
            && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QGuiApplication>(argc, argv);
        installCjkFontSubstitutions();
    } else {
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("kiva-records"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "The vote records of the vote plug-in.\n\n"
        "  list                 one line per vote, newest first: id, start, clean|unclean|open,\n"
        "                       name=total for each shown team (tab-separated)\n"
        "  show ID              the vote's summary as JSON\n"
        "  export ID --csv F --json F [--png F]\n"
        "                       every row as CSV, the summary, a picture of the result"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption dataDir(
        QStringLiteral("data-dir"),
        QStringLiteral("The user's data folder (the records are in kiva/votes under it)."),
        QStringLiteral("DIR"));
    const QCommandLineOption csv(QStringLiteral("csv"), QStringLiteral("Write the CSV here."),
                                 QStringLiteral("FILE"));
    const QCommandLineOption json(QStringLiteral("json"),
                                  QStringLiteral("Write the JSON summary here."),
                                  QStringLiteral("FILE"));
    const QCommandLineOption png(QStringLiteral("png"),
                                 QStringLiteral("Write a picture of the result here."),
                                 QStringLiteral("FILE"));
    parser.addOptions({dataDir, csv, json, png});
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("list, show or export"));
    // Parsed here rather than by process(): on Windows that shows help and
    // errors in a message box when the tool has no console, which waits for
    // a click no script gives.
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(1, parser.errorText());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return 0;
    }

    const QString folder = parser.isSet(dataDir)
        ? Platform::voteRecordsFolder(
            QDir::toNativeSeparators(QDir(parser.value(dataDir)).absolutePath()))
        : Platform::voteRecordsFolder();
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);

    if (command == QLatin1String("list") && args.size() == 1) {
        for (VoteRecordFolder::Listing listing : VoteRecordFolder::list(folder)) {
            if (!listing.counted)
                VoteRecordFolder::summarise(folder, listing.id, listing);
            out(listLine(listing));
        }
        return 0;
    }
    if ((command != QLatin1String("show") || args.size() != 2)
        && (command != QLatin1String("export") || args.size() != 2
            || !(parser.isSet(csv) || parser.isSet(json) || parser.isSet(png))))
        return fail(1,
                    QStringLiteral("usage: kiva-records list | show ID | export ID --csv F "
                                   "--json F [--png F] (--help)"));

    const QString id = args.at(1);
    const QString journal = VoteRecordFolder::journalPath(folder, id);
    if (!VoteRecordFolder::ids(folder).contains(id))
        return fail(2,
                    QStringLiteral("no vote %1 in %2").arg(id, QDir::toNativeSeparators(folder)));

    RecordedVote vote;
    QString error;
    if (command == QLatin1String("show")) {
        if (!VoteRecordReader::read(journal, vote))
            return fail(1, QStringLiteral("cannot read %1").arg(journal));
        std::fputs(VoteRecordExport::summaryJson(vote).constData(), stdout);
        return 0;
    }
    if (!exportVoteRecord(journal, {parser.value(csv), parser.value(json), parser.value(png)},
                          &error))
        return fail(1, error);
    return 0;
}
