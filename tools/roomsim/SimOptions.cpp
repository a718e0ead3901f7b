#include "SimOptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <climits>
#include <cstring>
#include <limits>

namespace {

const char kDescription[] =
    "Stands in for the host application's live room: serves it over a WebSocket on 127.0.0.1,\n"
    "authenticates the plug-in by its first frame and sends it chat lines and gifts.\n"
    "Events are only sent while a client is authenticated; the crowd and the script wait\n"
    "for one (and start with the first). Without --headless a window shows the link and\n"
    "sends chat lines and gifts by hand.\n"
    "\n"
    "Script file (--script): one entry per line. Empty lines and lines starting with '#'\n"
    "are skipped; \"sleep <ms>\" pauses; \"drop\" closes the client links (the plug-in\n"
    "reconnects by itself); any other line is sent verbatim as one text frame.\n"
    "\n"
    "On stdout: \"listening <port>\" once listening, one line per frame unless --quiet\n"
    "(thinned out at high rates), and with --summary, once the run has ended and every\n"
    "message is written, one line \"summary {json}\" with sent, undelivered, repeats, chat\n"
    "(votes per team), gifts (pieces per product id), chatter, votesByNick, piecesByNick,\n"
    "and firstChoice and lastChoice (each chat voter's team of their first and last vote),\n"
    "counting what was written to a client (undelivered: messages queued only for clients\n"
    "that went away first).\n"
    "The run ends when the script has played and the crowd has sent --count messages.";

QStringList splitList(const QString &text)
{
    // Accept the full-width comma too: team names are typed in Chinese.
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("[,，]")));
    QStringList out;
    for (const QString &part : parts) {
        const QString item = part.trimmed();
        if (!item.isEmpty())
            out.append(item);
    }
    return out;
}

bool toInt(const QString &text, qint64 low, qint64 high, qint64 &out)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

} // namespace

bool SimOptions::needsNoWindow(int argc, char **argv)
{
    // Help goes to stdout; it must not need a display either.
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (std::strcmp(argument, "--") == 0)
            return false;
        for (const char *option : {"--headless", "-h", "--help", "--help-all"}) {
            if (std::strcmp(argument, option) == 0)
                return true;
        }
    }
    return false;
}

SimOptions::Parsed SimOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(kDescription));
    const QCommandLineOption help = parser.addHelpOption();

    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("No window; needs no display."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("Port on 127.0.0.1 (0 picks a free one)."),
                                  QStringLiteral("N"), QStringLiteral("11111"));
    const QCommandLineOption kivaid(QStringLiteral("kivaid"),
                                    QStringLiteral("kivaid of the auth result."),
                                    QStringLiteral("S"), QStringLiteral("10001"));
    const QCommandLineOption roomid(QStringLiteral("roomid"),
                                    QStringLiteral("roomid of the auth result."),
                                    QStringLiteral("S"), QStringLiteral("20002"));
    const QCommandLineOption token(QStringLiteral("token"),
                                   QStringLiteral("token of the auth result."), QStringLiteral("S"),
                                   QStringLiteral("demo-token"));
    const QCommandLineOption authEc(QStringLiteral("auth-ec"),
                                    QStringLiteral("ec of the auth result."), QStringLiteral("N"),
                                    QStringLiteral("0"));
    const QCommandLineOption script(
        QStringLiteral("script"),
        QStringLiteral("Play this script once a client is authenticated."), QStringLiteral("FILE"));
    const QCommandLineOption crowd(QStringLiteral("crowd"),
                                   QStringLiteral("Send a generated crowd of viewers."));
    const QCommandLineOption rate(QStringLiteral("rate"),
                                  QStringLiteral("Crowd messages per second."), QStringLiteral("R"),
                                  QStringLiteral("20"));
    const QCommandLineOption count(
        QStringLiteral("count"),
        QStringLiteral("Stop the crowd after N messages, repeats not counted (0: endless)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption teams(QStringLiteral("teams"),
                                   QStringLiteral("Team names the crowd's chat votes name."),
                                   QStringLiteral("A,B,…"), QStringLiteral("红队,蓝队"));
    const QCommandLineOption gifts(
        QStringLiteral("gifts"), QStringLiteral("Product ids of the crowd's gifts."),
        QStringLiteral("ID,ID,…"), QStringLiteral("1450928358,1477978817"));
    const QCommandLineOption mix(
        QStringLiteral("mix"),
        QStringLiteral("Shares of chat votes, chatter and gifts in percent."),
        QStringLiteral("V,C,G"), QStringLiteral("50,30,20"));
    const QCommandLineOption viewers(QStringLiteral("viewers"),
                                     QStringLiteral("Distinct viewer nicks."), QStringLiteral("N"),
                                     QStringLiteral("200"));
    const QCommandLineOption maxBuy(QStringLiteral("max-buy"),
                                    QStringLiteral("A gift's buyCount is uniform in 1..N."),
                                    QStringLiteral("N"), QStringLiteral("3"));
    const QCommandLineOption repeat(
        QStringLiteral("repeat"),
        QStringLiteral("Percent of messages sent again right after themselves (same msgid)."),
        QStringLiteral("P"), QStringLiteral("0"));
    const QCommandLineOption seed(
        QStringLiteral("seed"),
        QStringLiteral("Seed of the crowd; the same seed gives the same messages."),
        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption dropEvery(
        QStringLiteral("drop-every"),
        QStringLiteral("Drop the client links after every N messages (0: never)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption summary(QStringLiteral("summary"),
                                     QStringLiteral("Print \"summary {json}\" when the run ends."));
    const QCommandLineOption exitWhenDone(
        QStringLiteral("exit-when-done"),
        QStringLiteral("Quit once the run has ended and every frame is written."));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   QStringLiteral("No line per frame on stdout."));

    QList<QCommandLineOption> all = {headless, port,         kivaid, roomid, token, authEc,
                                     script,   crowd,        rate,   count,  teams, gifts,
                                     mix,      viewers,      maxBuy, repeat, seed,  dropEvery,
                                     summary,  exitWhenDone, quiet};
    for (QCommandLineOption &option : all) {
        if (!option.defaultValues().isEmpty())
            option.setDescription(option.description() + QStringLiteral(" Default: ")
                                  + option.defaultValues().join(QLatin1Char(','))
                                  + QLatin1Char('.'));
    }
    parser.addOptions(all);

    Parsed parsed;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        parsed.helpText = parser.helpText();
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.error =
            QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().first());
        return parsed;
    }

    SimOptions &o = parsed.options;
    auto fail = [&parsed](const QString &option, const QString &what) {
        parsed.error = QStringLiteral("--%1: %2").arg(option, what);
        return parsed;
    };
    qint64 number = 0;

    o.headless = parser.isSet(headless);
    if (!toInt(parser.value(port), 0, 65535, number))
        return fail(port.names().first(), QStringLiteral("expected a port number 0..65535"));
    o.port = quint16(number);
    o.auth.kivaid = parser.value(kivaid).toUtf8();
    o.auth.roomid = parser.value(roomid).toUtf8();
    o.auth.token = parser.value(token).toUtf8();
    if (!toInt(parser.value(authEc), INT_MIN, INT_MAX, number))
        return fail(authEc.names().first(), QStringLiteral("expected an integer"));
    o.auth.ec = int(number);
    o.scriptPath = parser.value(script);

    o.crowd = parser.isSet(crowd);
    bool ok = false;
    o.rate = parser.value(rate).toDouble(&ok);
    if (!ok || !(o.rate > 0) || o.rate > 1e6)
        return fail(rate.names().first(), QStringLiteral("expected messages per second above 0"));
    if (!toInt(parser.value(count), 0, std::numeric_limits<qint64>::max(), o.count))
        return fail(count.names().first(), QStringLiteral("expected a count of 0 or more"));

    CrowdGenerator::Options &c = o.crowdOptions;
    c.teams = splitList(parser.value(teams));
    if (c.teams.isEmpty())
        return fail(teams.names().first(), QStringLiteral("expected at least one team name"));
    c.gifts.clear();
    for (const QString &id : splitList(parser.value(gifts)))
        c.gifts.append(id.toUtf8());
    if (c.gifts.isEmpty())
        return fail(gifts.names().first(), QStringLiteral("expected at least one product id"));

    const QStringList shares = parser.value(mix).split(QLatin1Char(','));
    qint64 vote = 0, chatter = 0, gift = 0;
    if (shares.size() != 3 || !toInt(shares.at(0), 0, 100000, vote)
        || !toInt(shares.at(1), 0, 100000, chatter) || !toInt(shares.at(2), 0, 100000, gift)
        || vote + chatter + gift == 0)
        return fail(mix.names().first(), QStringLiteral("expected three shares V,C,G, not all 0"));
    c.votePercent = int(vote);
    c.chatterPercent = int(chatter);
    c.giftPercent = int(gift);

    if (!toInt(parser.value(viewers), 1, 1000000, number))
        return fail(viewers.names().first(), QStringLiteral("expected 1..1000000 viewers"));
    c.viewers = int(number);
    if (!toInt(parser.value(maxBuy), 1, 1000000, number))
        return fail(maxBuy.names().first(), QStringLiteral("expected 1..1000000"));
    c.maxBuy = int(number);
    if (!toInt(parser.value(repeat), 0, 100, number))
        return fail(repeat.names().first(), QStringLiteral("expected a percentage 0..100"));
    c.repeatPercent = int(number);
    c.seed = parser.value(seed).trimmed().toULongLong(&ok);
    if (!ok)
        return fail(seed.names().first(), QStringLiteral("expected a non-negative integer"));

    if (!toInt(parser.value(dropEvery), 0, std::numeric_limits<qint64>::max(), o.dropEvery))
        return fail(dropEvery.names().first(), QStringLiteral("expected a count of 0 or more"));
    o.summary = parser.isSet(summary);
    o.exitWhenDone = parser.isSet(exitWhenDone);
    o.quiet = parser.isSet(quiet);
    return parsed;
}
