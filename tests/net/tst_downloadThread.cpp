// The image download worker against a real local HTTP server: newest job
// first, each job once, only complete successful answers written (and
// written whole), a time limit for stalled servers, a prompt stop.
#include "HttpServerThread.h"
#include "catalogue/DownloadThread.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <condition_variable>
#include <memory>
#include <mutex>

namespace {

struct Finished
{
    QString filePath;
    bool written = false;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

class TestDownloadThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();
    void newestJobFirst();
    void outcomes_data();
    void outcomes();
    void stalledDownloadHitsTheTimeLimit();
    void destructionAbortsTheDownloadUnderWay();

private:
    QString url(const QByteArray &path) const { return QString::fromLatin1(http.baseUrl() + path); }
    // Records every finished job, on the test's (GUI) thread.
    void watch(DownloadThread &downloads);
    bool waitForFinished(int count, int timeoutMs = 20000);
    void release();
    QList<QByteArray> hitOrder();
    int hits(const QByteArray &name);

    HttpServerThread http;
    QTemporaryDir folder;
    QList<Finished> finished;
    bool finishedOnGuiThread = true;

    std::mutex lock;
    std::condition_variable releasedCondition;
    int releases = 0; // held answers wait for the next release
    QList<QByteArray> order; // names of every request, as they arrived
    quint16 refusedPort = 0;
};

void TestDownloadThread::initTestCase()
{
    QVERIFY(folder.isValid());
    httplib::Server &server = http.server();
    // Returns the release count at arrival, for handlers that wait for the next.
    auto record = [this](const httplib::Request &req) {
        std::lock_guard<std::mutex> guard(lock);
        order << QByteArray::fromStdString(req.matches[1].str());
        return releases;
    };
    server.Get(R"(/img/(\w+))", [record](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.set_content("image " + req.matches[1].str(), "image/png");
    });
    // Answers only once the test releases it.
    server.Get(R"(/hold/(\w+))",
               [this, record](const httplib::Request &req, httplib::Response &res) {
                   const int arrival = record(req);
                   std::unique_lock<std::mutex> guard(lock);
                   releasedCondition.wait_for(guard, std::chrono::seconds(30),
                                              [this, arrival] { return releases != arrival; });
                   res.set_content("held " + req.matches[1].str(), "image/png");
               });
    server.Get(R"(/status/(\d+))", [record](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.status = std::stoi(req.matches[1].str());
        res.set_content("<html>error page</html>", "text/html");
    });
    server.Get(R"(/(empty))", [record](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.set_content("", "image/png");
    });
    // Promises 1000 bytes, sends 500 and hangs up.
    server.Get(R"(/(half))", [record](const httplib::Request &req, httplib::Response &res) {
        record(req);
        res.set_content_provider(1000, "image/png", [](size_t, size_t, httplib::DataSink &sink) {
            const std::string half(500, 'h');
            sink.write(half.data(), half.size());
            return false;
        });
    });
    // Promises 1000 bytes, sends 100 and goes quiet until released.
    server.Get(R"(/(stall))", [this, record](const httplib::Request &req, httplib::Response &res) {
        const int arrival = record(req);
        res.set_content_provider(
            1000, "image/png", [this, arrival](size_t, size_t, httplib::DataSink &sink) {
                const std::string part(100, 's');
                sink.write(part.data(), part.size());
                std::unique_lock<std::mutex> guard(lock);
                releasedCondition.wait_for(guard, std::chrono::seconds(60),
                                           [this, arrival] { return releases != arrival; });
                return false;
            });
    });
    QVERIFY(http.start());

    HttpServerThread closed;
    QVERIFY(closed.start());
    refusedPort = closed.port();
}

void TestDownloadThread::init()
{
    finished.clear();
    std::lock_guard<std::mutex> guard(lock);
    order.clear();
}

void TestDownloadThread::cleanup()
{
    release();
}

void TestDownloadThread::cleanupTestCase()
{
    release();
    http.stop();
}

void TestDownloadThread::watch(DownloadThread &downloads)
{
    QThread *gui = QThread::currentThread();
    connect(&downloads, &DownloadThread::jobFinished, this,
            [this, gui](const QString &filePath, bool written) {
                finishedOnGuiThread = finishedOnGuiThread && QThread::currentThread() == gui;
                finished.append({filePath, written});
            });
}

bool TestDownloadThread::waitForFinished(int count, int timeoutMs)
{
    return TestSupport::waitUntil([&] { return finished.size() >= count; }, timeoutMs);
}

void TestDownloadThread::release()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        ++releases;
    }
    releasedCondition.notify_all();
}

QList<QByteArray> TestDownloadThread::hitOrder()
{
    std::lock_guard<std::mutex> guard(lock);
    return order;
}

int TestDownloadThread::hits(const QByteArray &name)
{
    return int(hitOrder().count(name));
}

void TestDownloadThread::newestJobFirst()
{
    DownloadThread downloads;
    watch(downloads);
    downloads.add_job({url("/hold/first"), folder.filePath(QStringLiteral("first.png"))});
    // A, B and C queue up while the worker is busy with the first job.
    QVERIFY(TestSupport::waitUntil([&] { return hits("first") == 1; }));
    for (const char *name : {"a", "b", "c"}) {
        downloads.add_job({url(QByteArray("/img/") + name),
                           folder.filePath(QString::fromLatin1(name) + QStringLiteral(".png"))});
    }
    release();
    QVERIFY(waitForFinished(4));
    // A last job, served after anything the worker might still hold: none
    // of the jobs before it was lost or fetched twice.
    downloads.add_job({url("/img/last"), folder.filePath(QStringLiteral("last.png"))});
    QVERIFY(waitForFinished(5));

    QCOMPARE(hitOrder(), (QList<QByteArray> {"first", "c", "b", "a", "last"}));
    QCOMPARE(finished.size(), 5);
    QCOMPARE(finished.at(1).filePath, folder.filePath(QStringLiteral("c.png")));
    for (const Finished &job : qAsConst(finished))
        QVERIFY2(job.written, qPrintable(job.filePath));
    QCOMPARE(readFile(folder.filePath(QStringLiteral("first.png"))), QByteArray("held first"));
    QCOMPARE(readFile(folder.filePath(QStringLiteral("b.png"))), QByteArray("image b"));
    QVERIFY(finishedOnGuiThread);
}

void TestDownloadThread::outcomes_data()
{
    QTest::addColumn<QByteArray>("path"); // empty: a port nobody listens on; "file:" a local file
    QTest::addColumn<QString>("name"); // of the target, under a fresh folder
    QTest::addColumn<QByteArray>("before"); // the file's content first; null: no file
    QTest::addColumn<bool>("written");
    QTest::addColumn<QByteArray>("after"); // null: no file

    const QByteArray none;
    const QString id = QStringLiteral("1450928358.png");
    QTest::newRow("new file") << QByteArray("/img/n") << id << none << true
                              << QByteArray("image n");
    QTest::newRow("existing file replaced")
        << QByteArray("/img/n") << id << QByteArray("an older, longer image") << true
        << QByteArray("image n");
    // Such a file would stand for the picture for good.
    QTest::newRow("empty answer leaves no file")
        << QByteArray("/empty") << id << none << false << none;
    QTest::newRow("missing folder created")
        << QByteArray("/img/n") << QStringLiteral("kiva/head/1450928358.png") << none << true
        << QByteArray("image n");
    QTest::newRow("404 leaves no file") << QByteArray("/status/404") << id << none << false << none;
    QTest::newRow("500 error page not written")
        << QByteArray("/status/500") << id << none << false << none;
    QTest::newRow("redirect not taken for the image")
        << QByteArray("/status/302") << id << none << false << none;
    QTest::newRow("404 keeps the cached file")
        << QByteArray("/status/404") << id << QByteArray("old") << false << QByteArray("old");
    QTest::newRow("connection refused") << QByteArray() << id << none << false << none;
    QTest::newRow("half a body, then hung up")
        << QByteArray("/half") << id << none << false << none;
    // A list must not be able to copy local files into the cache.
    QTest::newRow("local file URL not copied")
        << QByteArray("file:") << id << none << false << none;
}

void TestDownloadThread::outcomes()
{
    QFETCH(QByteArray, path);
    QFETCH(QString, name);
    QFETCH(QByteArray, before);
    QFETCH(bool, written);
    QFETCH(QByteArray, after);

    QTemporaryDir cache;
    QVERIFY(cache.isValid());
    const QString target = cache.filePath(name);
    if (!before.isNull()) {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(before);
    }
    QString source = url(path);
    if (path.isEmpty()) {
        source = QStringLiteral("http://127.0.0.1:%1/img/n").arg(refusedPort);
    } else if (path == "file:") {
        const QString local = folder.filePath(QStringLiteral("local.txt"));
        QFile file(local);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("private");
        source = QUrl::fromLocalFile(local).toString();
    }

    DownloadThread downloads;
    watch(downloads);
    downloads.add_job({source, target});
    QVERIFY(waitForFinished(1));
    QCOMPARE(finished.at(0).written, written);
    QCOMPARE(QFile::exists(target), !after.isNull());
    if (!after.isNull())
        QCOMPARE(readFile(target), after);
    // Nothing but the target was left behind (no temporary file).
    QCOMPARE(QFileInfo(target).dir().entryList(QDir::Files | QDir::Hidden).size(),
             after.isNull() ? 0 : 1);

    // The worker goes on with the next job.
    const QString next = cache.filePath(QStringLiteral("next.png"));
    downloads.add_job({url("/img/next"), next});
    QVERIFY(waitForFinished(2));
    QVERIFY(finished.at(1).written);
    QCOMPARE(readFile(next), QByteArray("image next"));
}

void TestDownloadThread::stalledDownloadHitsTheTimeLimit()
{
    const QString stalled = folder.filePath(QStringLiteral("stalled.png"));
    DownloadThread downloads(1000);
    watch(downloads);
    QElapsedTimer clock;
    clock.start();
    downloads.add_job({url("/stall"), stalled});
    QVERIFY(waitForFinished(1, 30000));
    QVERIFY(!finished.at(0).written);
    QVERIFY(!QFile::exists(stalled));
    // Well before the server would give up (60 s).
    QVERIFY2(clock.elapsed() < 20000, QByteArray::number(clock.elapsed()));
}

void TestDownloadThread::destructionAbortsTheDownloadUnderWay()
{
    const QString stalled = folder.filePath(QStringLiteral("abandoned.png"));
    auto downloads = std::make_unique<DownloadThread>();
    watch(*downloads);
    downloads->add_job({url("/stall"), stalled});
    QVERIFY(TestSupport::waitUntil([&] { return hits("stall") == 1; }));
    downloads->add_job({url("/img/never"), folder.filePath(QStringLiteral("never.png"))});

    // The 30 s limit must not be waited for, nor the job behind.
    QElapsedTimer clock;
    clock.start();
    downloads.reset();
    QVERIFY2(clock.elapsed() < 5000, QByteArray::number(clock.elapsed()));
    QVERIFY(!QFile::exists(stalled));
    QCOMPARE(hits("never"), 0);
}

QTEST_MAIN(TestDownloadThread)
#include "tst_downloadThread.moc"
