#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

class HttpServerThread;

// One usage report as the simulated platform received it.
struct ApiReport
{
    QMap<QByteArray, QByteArray> params; // the query, decoded
    qint64 receivedMs = 0; // steady clock, the one QElapsedTimer reads
};

// The platform's HTTP API as the plug-in uses it, on 127.0.0.1: the gift list
// (/obs/pay/lists), the gift images (/img/<productid>.png) and the usage
// reports (/obs/log/dot). Serves from a thread of its own; every setter and
// accessor may be called from any thread while it runs.
class PlatformApiServer
{
public:
    enum class ListMode { Ok, ServerError, Slow, NotJson, Ec1 };
    enum class ImageMode { Ok, NotFound, Stall };

    PlatformApiServer();
    ~PlatformApiServer();

    PlatformApiServer(const PlatformApiServer &) = delete;
    PlatformApiServer &operator=(const PlatformApiServer &) = delete;

    // Listens on 127.0.0.1:`port` (0: a free port). False when the port
    // cannot be had or it runs already.
    bool start(quint16 port = 0);
    // Ends the requests held back and the serving thread.
    void stop();

    quint16 port() const { return boundPort; }
    // "http://127.0.0.1:<port>"
    QByteArray baseUrl() const;

    // Slow: the list answers normally after the delay.
    void setListMode(ListMode mode) { listMode = mode; }
    // Reports answered only after the delay.
    void setSlowReports(bool slow) { slowReports = slow; }
    // The delay of slow answers; past the plug-in's 3 s limit by default.
    void setDelayMs(int ms) { delayMs = ms; }
    // NotFound: 404. Stall: half the image, then nothing until stop().
    void setImageMode(ImageMode mode) { imageMode = mode; }
    // Called on a serving thread for every report, as it arrives.
    void setReportObserver(std::function<void(const ApiReport &)> observer);

    QList<ApiReport> reports() const;
    int listRequestCount() const { return listRequests; }
    int imageRequestCount() const { return imageRequests; }

    // The command line's names of the list modes: ok, 500, slow, notjson, ec1.
    static bool parseListMode(const QString &name, ListMode &mode);
    static bool parseImageMode(const QString &name, ImageMode &mode);

private:
    QByteArray listBody() const;
    // Waits `ms` or until stop(); false when stopped.
    bool pause(int ms);

    std::unique_ptr<HttpServerThread> http;
    std::atomic<quint16> boundPort {0};
    std::map<QByteArray, QByteArray> images; // product id -> PNG, made at start

    std::atomic<ListMode> listMode {ListMode::Ok};
    std::atomic<ImageMode> imageMode {ImageMode::Ok};
    std::atomic<bool> slowReports {false};
    std::atomic<int> delayMs {4000};
    std::atomic<int> listRequests {0};
    std::atomic<int> imageRequests {0};

    mutable std::mutex lock;
    std::condition_variable stopped;
    bool stopping = false;
    QList<ApiReport> received;
    std::function<void(const ApiReport &)> reportObserver;
};
