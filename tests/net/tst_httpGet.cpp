// The blocking GET against real local servers: every kind of answer,
// redirects, the 3 s limit, buffer reuse and certificate verification.
#include "HttpServerThread.h"
#include "catalogue/HttpFetch.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>

namespace {

QByteArray chunkedBody()
{
    QByteArray body;
    for (int i = 0; i < 500; ++i)
        body += "chunk " + QByteArray::number(i) + ";";
    return body;
}

} // namespace

class TestHttpGet : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void answers_data();
    void answers();
    void slowServerTimesOutAfterThreeSeconds();
    void selfSignedCertificateIsRefused();

private:
    // A path on the server; one not starting with "/" on a closed port.
    std::string url(const QByteArray &path) const
    {
        return (path.startsWith('/') ? server.baseUrl() + path : closedBase + "/").toStdString();
    }
    void serve(const char *path, int status, const std::string &body = std::string());

    HttpServerThread server;
    QByteArray closedBase;
    std::mutex lock;
    std::condition_variable released;
    bool releasing = false;
};

void TestHttpGet::serve(const char *path, int status, const std::string &body)
{
    server.server().Get(path, [status, body](const httplib::Request &, httplib::Response &res) {
        res.status = status;
        if (status / 100 == 3 && status != 304)
            res.set_header("Location", body);
        else if (status != 304)
            res.set_content(body, "text/plain");
    });
}

void TestHttpGet::initTestCase()
{
    httpGlobalInit();
    serve("/ok", 200, "hello");
    serve("/empty", 200);
    serve("/not-modified", 304);
    serve("/missing", 404, "no such thing");
    serve("/broken", 500, "{\"ec\":500}");
    serve("/moved", 301, "/ok");
    serve("/found", 302, "/ok");
    serve("/twice", 302, "/found");
    serve("/to-missing", 302, "/missing");
    // A chain of redirects: /hop<n> takes n of them to reach /ok.
    serve("/hop1", 302, "/ok");
    for (int hop = 2; hop <= 6; ++hop)
        serve(("/hop" + std::to_string(hop)).c_str(), 302, "/hop" + std::to_string(hop - 1));
    httplib::Server &http = server.server();
    http.Get("/chunked", [](const httplib::Request &, httplib::Response &res) {
        res.set_chunked_content_provider("text/plain", [](size_t, httplib::DataSink &sink) {
            for (int i = 0; i < 500; ++i) {
                const QByteArray piece = "chunk " + QByteArray::number(i) + ";";
                sink.write(piece.constData(), size_t(piece.size()));
            }
            sink.done();
            return true;
        });
    });
    http.Get("/slow", [this](const httplib::Request &, httplib::Response &res) {
        std::unique_lock<std::mutex> guard(lock);
        released.wait_for(guard, std::chrono::seconds(4), [this] { return releasing; });
        res.set_content("late", "text/plain");
    });
    QVERIFY(server.start());

    HttpServerThread closed;
    QVERIFY(closed.start());
    closedBase = closed.baseUrl();
}

void TestHttpGet::cleanupTestCase()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        releasing = true;
    }
    released.notify_all();
    server.stop();
}

void TestHttpGet::answers_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("result");
    QTest::addColumn<long>("status"); // -1: left as it was
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("200") << QByteArray("/ok") << true << 200L << QByteArray("hello");
    QTest::newRow("200, empty body") << QByteArray("/empty") << true << 200L << QByteArray();
    QTest::newRow("304, empty body") << QByteArray("/not-modified") << true << 304L << QByteArray();
    QTest::newRow("404") << QByteArray("/missing") << false << -1L << QByteArray();
    QTest::newRow("500") << QByteArray("/broken") << false << -1L << QByteArray();
    QTest::newRow("301 followed") << QByteArray("/moved") << true << 200L << QByteArray("hello");
    QTest::newRow("302 followed") << QByteArray("/found") << true << 200L << QByteArray("hello");
    QTest::newRow("two redirects") << QByteArray("/twice") << true << 200L << QByteArray("hello");
    QTest::newRow("redirect to 404") << QByteArray("/to-missing") << false << -1L << QByteArray();
    QTest::newRow("five redirects") << QByteArray("/hop5") << true << 200L << QByteArray("hello");
    QTest::newRow("six redirects are too many")
        << QByteArray("/hop6") << false << -1L << QByteArray();
    QTest::newRow("chunked, whole and in order")
        << QByteArray("/chunked") << true << 200L << chunkedBody();
    QTest::newRow("connection refused") << QByteArray("closed") << false << -1L << QByteArray();
}

void TestHttpGet::answers()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, result);
    QFETCH(long, status);
    QFETCH(QByteArray, body);

    // A reused buffer: only the new body may be left in it.
    QByteArray response = "an earlier, longer body";
    long got = -1;
    QCOMPARE(http_get(response, url(path), got), result);
    QCOMPARE(got, status);
    QCOMPARE(response, body);
}

void TestHttpGet::slowServerTimesOutAfterThreeSeconds()
{
    // The server answers after 4 s; the fetch gives up at its 3 s limit.
    QByteArray response;
    long status = 0;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!http_get(response, url("/slow"), status));
    QCOMPARE(status, 0L);
    QVERIFY2(clock.elapsed() >= 2900, QByteArray::number(clock.elapsed()));
}

void TestHttpGet::selfSignedCertificateIsRefused()
{
#ifndef CPPHTTPLIB_OPENSSL_SUPPORT
    QSKIP("this build's cpp-httplib serves no HTTPS (the Windows build has no OpenSSL)");
#else
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString cert = folder.filePath(QStringLiteral("cert.pem"));
    const QString key = folder.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(
        QStringLiteral("openssl"),
        QStringList {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                     QStringLiteral("rsa:2048"), QStringLiteral("-nodes"), QStringLiteral("-days"),
                     QStringLiteral("2"), QStringLiteral("-subj"), QStringLiteral("/CN=127.0.0.1"),
                     QStringLiteral("-addext"), QStringLiteral("subjectAltName=IP:127.0.0.1")}
            << QStringLiteral("-keyout") << key << QStringLiteral("-out") << cert);
    if (!openssl.waitForStarted(10000))
        QSKIP("the openssl command is not available");
    QVERIFY(openssl.waitForFinished(60000));
    QCOMPARE(openssl.exitCode(), 0);

    auto tls = std::make_unique<httplib::SSLServer>(cert.toLocal8Bit().constData(),
                                                    key.toLocal8Bit().constData());
    QVERIFY(tls->is_valid());
    tls->Get("/ok", [](const httplib::Request &, httplib::Response &res) {
        res.set_content("secret", "text/plain");
    });
    HttpServerThread secure(std::move(tls));
    QVERIFY(secure.start());

    // The server does speak TLS: a client that skips verification is served.
    httplib::SSLClient unchecked("127.0.0.1", secure.port());
    unchecked.enable_server_certificate_verification(false);
    const httplib::Result answer = unchecked.Get("/ok");
    QVERIFY(answer && answer->status == 200);

    QByteArray response;
    long status = 0;
    QVERIFY(!http_get(response, (secure.baseUrl("https") + "/ok").toStdString(), status));
    QCOMPARE(status, 0L);
#endif
}

QTEST_GUILESS_MAIN(TestHttpGet)
#include "tst_httpGet.moc"
