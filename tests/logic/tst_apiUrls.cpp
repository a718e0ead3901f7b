// The API addresses: exact URLs, escaping of every query value, and the base
// taken from the environment.
#include "catalogue/ApiUrls.h"

#include <QTest>
#include <QUrlQuery>

Q_DECLARE_METATYPE(LoginIds)

class TestApiUrls : public QObject
{
    Q_OBJECT

private slots:
    void init() { qputenv("KIVA_API_BASE", "https://api.test/"); }
    void cleanup() { qunsetenv("KIVA_API_BASE"); }
    void exactUrls_data();
    void exactUrls();
    void percentEncoding_data();
    void percentEncoding();
    void valuesCannotAddOrCutParameters();
    void builtInBaseWhenUnset();
};

void TestApiUrls::exactUrls_data()
{
    QTest::addColumn<LoginIds>("login");
    QTest::addColumn<QByteArray>("giftList");
    QTest::addColumn<QByteArray>("report"); // of button "2"

    QTest::newRow("ordinary login")
        << LoginIds {"31337", "8080", "aB3-x_y.z~9"}
        << QByteArray("https://api.test/obs/pay/lists?sessionid=aB3-x_y.z~9&kivaid=31337"
                      "&roomid=8080&selectList=1")
        << QByteArray("https://api.test/obs/log/dot?sessionid=aB3-x_y.z~9"
                      "&action_name=live_obs_interactive_gameplay&button=2&kiva_id=31337"
                      "&room_id=8080");
    // Before the first login each key is followed directly by the next piece.
    QTest::newRow("before login")
        << LoginIds {}
        << QByteArray("https://api.test/obs/pay/lists?sessionid=&kivaid=&roomid=&selectList=1")
        << QByteArray("https://api.test/obs/log/dot?sessionid="
                      "&action_name=live_obs_interactive_gameplay&button=2&kiva_id=&room_id=");
}

void TestApiUrls::exactUrls()
{
    QFETCH(LoginIds, login);
    QFETCH(QByteArray, giftList);
    QFETCH(QByteArray, report);

    QCOMPARE(giftListUrl(login), giftList);
    QCOMPARE(reportUrl("2", login), report);
}

void TestApiUrls::percentEncoding_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("unreserved stay") << QByteArray("AZaz09-._~") << QByteArray("AZaz09-._~");
    QTest::newRow("delimiters") << QByteArray("a&b=c#d?e/f") << QByteArray("a%26b%3Dc%23d%3Fe%2Ff");
    QTest::newRow("space, plus, percent") << QByteArray("a b+c%") << QByteArray("a%20b%2Bc%25");
    QTest::newRow("UTF-8, upper-case hex") << QByteArray("金") << QByteArray("%E9%87%91");
    QTest::newRow("control, NUL and high bytes")
        << QByteArray("\x01\x7f\0\xff", 4) << QByteArray("%01%7F%00%FF");
}

void TestApiUrls::percentEncoding()
{
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, encoded);
    QCOMPARE(percentEncoded(value), encoded);
}

void TestApiUrls::valuesCannotAddOrCutParameters()
{
    const LoginIds login {"1&roomid=666", "2#frag", "t&button=99"};
    const QUrl report(QString::fromLatin1(reportUrl("5", login)));
    QVERIFY(!report.hasFragment());
    const QUrlQuery query(report);
    QCOMPARE(query.queryItems().size(), 5);
    QCOMPARE(query.queryItemValue(QStringLiteral("sessionid"), QUrl::FullyDecoded),
             QStringLiteral("t&button=99"));
    QCOMPARE(query.queryItemValue(QStringLiteral("button")), QStringLiteral("5"));
    QCOMPARE(query.queryItemValue(QStringLiteral("kiva_id"), QUrl::FullyDecoded),
             QStringLiteral("1&roomid=666"));
    QCOMPARE(query.queryItemValue(QStringLiteral("room_id"), QUrl::FullyDecoded),
             QStringLiteral("2#frag"));

    const QUrl list(QString::fromLatin1(giftListUrl(login)));
    QVERIFY(!list.hasFragment());
    QCOMPARE(QUrlQuery(list).queryItemValue(QStringLiteral("selectList")), QStringLiteral("1"));
}

void TestApiUrls::builtInBaseWhenUnset()
{
    qunsetenv("KIVA_API_BASE");
    const QByteArray builtIn = apiBase();
    QVERIFY2(builtIn.contains("://") && !builtIn.endsWith('/'), builtIn.constData());
    qputenv("KIVA_API_BASE", "");
    QCOMPARE(apiBase(), builtIn);
}

QTEST_GUILESS_MAIN(TestApiUrls)
#include "tst_apiUrls.moc"
