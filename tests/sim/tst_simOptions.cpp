// The simulator's command line, parsed in-process.
#include "SimOptions.h"

#include <QTest>

namespace {

QStringList args(const char *line)
{
    return QString::fromUtf8(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

SimOptions::Parsed parse(const QStringList &arguments)
{
    return SimOptions::parse(QStringList {QStringLiteral("kiva-room-sim")} + arguments);
}

} // namespace

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void defaults();
    void everyOptionReachesItsField();
    void badCommandLine_data();
    void badCommandLine();
    void helpAndHeadlessNeedNoWindow_data();
    void helpAndHeadlessNeedNoWindow();
};

void TestSimOptions::defaults()
{
    const SimOptions::Parsed parsed = parse({});
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    const SimOptions &o = parsed.options;
    QCOMPARE(o.port, quint16(11111));
    QCOMPARE(o.auth.kivaid, QByteArray("10001"));
    QCOMPARE(o.auth.roomid, QByteArray("20002"));
    QCOMPARE(o.auth.token, QByteArray("demo-token"));
    QCOMPARE(o.auth.ec, 0);
    QVERIFY(!o.crowd && !o.headless && !o.summary && !o.exitWhenDone && !o.quiet);
    QCOMPARE(o.rate, 20.0);
    QCOMPARE(o.count, qint64(0));
    QCOMPARE(o.crowdOptions.teams, (QStringList {QStringLiteral("红队"), QStringLiteral("蓝队")}));
    QCOMPARE(o.crowdOptions.gifts, (QByteArrayList {"1450928358", "1477978817"}));
    QCOMPARE(o.crowdOptions.votePercent, 50);
    QCOMPARE(o.crowdOptions.chatterPercent, 30);
    QCOMPARE(o.crowdOptions.giftPercent, 20);
}

void TestSimOptions::everyOptionReachesItsField()
{
    const SimOptions::Parsed parsed =
        parse(args("--headless --port 0 --kivaid 77 --roomid room-9 --token t0k --auth-ec -5 "
                   "--script /tmp/room.txt --crowd --rate 2.5 --count 40 --teams 甲，乙,丙 "
                   "--gifts 1,22 --mix 10,0,90 --viewers 5 --max-buy 9 --repeat 30 --seed 42 "
                   "--drop-every 97 --summary --exit-when-done --quiet"));
    QVERIFY2(parsed.error.isEmpty(), qPrintable(parsed.error));
    const SimOptions &o = parsed.options;
    QVERIFY(o.headless && o.crowd && o.summary && o.exitWhenDone && o.quiet);
    QCOMPARE(o.port, quint16(0));
    QCOMPARE(o.auth.kivaid, QByteArray("77"));
    QCOMPARE(o.auth.roomid, QByteArray("room-9"));
    QCOMPARE(o.auth.token, QByteArray("t0k"));
    QCOMPARE(o.auth.ec, -5);
    QCOMPARE(o.scriptPath, QStringLiteral("/tmp/room.txt"));
    QCOMPARE(o.rate, 2.5);
    QCOMPARE(o.count, qint64(40));
    // The full-width comma separates team names too.
    QCOMPARE(o.crowdOptions.teams,
             (QStringList {QStringLiteral("甲"), QStringLiteral("乙"), QStringLiteral("丙")}));
    QCOMPARE(o.crowdOptions.gifts, (QByteArrayList {"1", "22"}));
    QCOMPARE(o.crowdOptions.votePercent, 10);
    QCOMPARE(o.crowdOptions.chatterPercent, 0);
    QCOMPARE(o.crowdOptions.giftPercent, 90);
    QCOMPARE(o.crowdOptions.viewers, 5);
    QCOMPARE(o.crowdOptions.maxBuy, 9);
    QCOMPARE(o.crowdOptions.repeatPercent, 30);
    QCOMPARE(o.crowdOptions.seed, quint64(42));
    QCOMPARE(o.dropEvery, qint64(97));
}

void TestSimOptions::badCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("mix of two") << args("--mix 1,2") << QStringLiteral("--mix");
    QTest::newRow("mix all zero") << args("--mix 0,0,0") << QStringLiteral("--mix");
    QTest::newRow("port too big") << args("--port 70000") << QStringLiteral("--port");
    QTest::newRow("rate zero") << args("--rate 0") << QStringLiteral("--rate");
    QTest::newRow("rate not a number") << args("--rate fast") << QStringLiteral("--rate");
    QTest::newRow("repeat over 100") << args("--repeat 101") << QStringLiteral("--repeat");
    QTest::newRow("no team") << args("--teams ,，,") << QStringLiteral("--teams");
    QTest::newRow("no gift") << args("--gifts ,") << QStringLiteral("--gifts");
    QTest::newRow("no viewers") << args("--viewers 0") << QStringLiteral("--viewers");
    QTest::newRow("negative seed") << args("--seed -1") << QStringLiteral("--seed");
    QTest::newRow("unknown option") << args("--loud") << QStringLiteral("loud");
    QTest::newRow("stray argument") << args("extra") << QStringLiteral("extra");
}

void TestSimOptions::badCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const SimOptions::Parsed parsed = parse(arguments);
    QVERIFY2(parsed.error.contains(message), qPrintable(parsed.error));
    QVERIFY(parsed.helpText.isEmpty());
}

void TestSimOptions::helpAndHeadlessNeedNoWindow_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("noWindow");
    QTest::addColumn<bool>("help");

    QTest::newRow("window") << args("--crowd") << false << false;
    QTest::newRow("headless") << args("--crowd --headless") << true << false;
    QTest::newRow("help") << args("--help") << true << true;
    QTest::newRow("after --") << args("-- --headless") << false << false;
}

void TestSimOptions::helpAndHeadlessNeedNoWindow()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, noWindow);
    QFETCH(bool, help);

    QList<QByteArray> storage = {"kiva-room-sim"};
    for (const QString &argument : arguments)
        storage.append(argument.toUtf8());
    QVector<char *> argv;
    for (QByteArray &argument : storage)
        argv.append(argument.data());
    QCOMPARE(SimOptions::needsNoWindow(int(argv.size()), argv.data()), noWindow);
    if (help)
        QVERIFY(parse(arguments).helpText.contains(QStringLiteral("--drop-every")));
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simOptions.moc"
