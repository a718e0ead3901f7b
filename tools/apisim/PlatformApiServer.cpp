#include "PlatformApiServer.h"

#include "HttpServerThread.h"
#include "SimGifts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>

namespace {

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

const char *const kJson = "application/json; charset=utf-8";

} // namespace

PlatformApiServer::PlatformApiServer() = default;

PlatformApiServer::~PlatformApiServer()
{
    stop();
}

bool PlatformApiServer::start(quint16 port)
{
    if (http)
        return false;
    const QList<SimGift> gifts = simGifts() + simPrivateGifts();
    for (int i = 0; i < gifts.size(); ++i)
        images[gifts.at(i).productId] = paintGiftPng(gifts.at(i), i, int(gifts.size()));

    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = false;
    }
    http = std::make_unique<HttpServerThread>();
    httplib::Server &server = http->server();

    server.Get("/obs/pay/lists", [this](const httplib::Request &, httplib::Response &res) {
        ++listRequests;
        const ListMode mode = listMode;
        if (mode == ListMode::Slow && !pause(delayMs))
            return;
        switch (mode) {
        case ListMode::ServerError:
            res.status = 500;
            res.set_content("{\"ec\":500,\"msg\":\"internal error\"}", kJson);
            return;
        case ListMode::NotJson:
            res.set_content("<html><body>maintenance</body></html>", "text/html");
            return;
        case ListMode::Ec1:
            res.set_content("{\"ec\":1,\"msg\":\"session expired\",\"data\":{}}", kJson);
            return;
        case ListMode::Ok:
        case ListMode::Slow:
            break;
        }
        const QByteArray body = listBody();
        res.set_content(body.constData(), size_t(body.size()), kJson);
    });

    server.Get(R"(/img/([^/]+)\.png)", [this](const httplib::Request &req, httplib::Response &res) {
        ++imageRequests;
        const auto found = images.find(QByteArray::fromStdString(req.matches[1].str()));
        if (found == images.end() || imageMode == ImageMode::NotFound) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        const QByteArray png = found->second;
        if (imageMode == ImageMode::Stall) {
            // Half the promised bytes, then silence until the server stops.
            res.set_content_provider(size_t(png.size()), "image/png",
                                     [this, png](size_t, size_t, httplib::DataSink &sink) {
                                         sink.write(png.constData(), size_t(png.size() / 2));
                                         pause(24 * 3600 * 1000);
                                         return false;
                                     });
            return;
        }
        res.set_content(png.constData(), size_t(png.size()), "image/png");
    });

    server.Get("/obs/log/dot", [this](const httplib::Request &req, httplib::Response &res) {
        ApiReport report;
        report.receivedMs = steadyMs();
        for (const auto &param : req.params) {
            report.params.insert(QByteArray::fromStdString(param.first),
                                 QByteArray::fromStdString(param.second));
        }
        std::function<void(const ApiReport &)> observer;
        {
            std::lock_guard<std::mutex> guard(lock);
            received.append(report);
            observer = reportObserver;
        }
        if (observer)
            observer(report);
        if (slowReports && !pause(delayMs))
            return;
        res.set_content("{\"ec\":0}", kJson);
    });

    if (!http->start(port)) {
        http.reset();
        return false;
    }
    boundPort = http->port();
    return true;
}

void PlatformApiServer::stop()
{
    if (!http)
        return;
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    stopped.notify_all();
    http.reset();
    boundPort = 0;
}

QByteArray PlatformApiServer::baseUrl() const
{
    return "http://127.0.0.1:" + QByteArray::number(port());
}

void PlatformApiServer::setReportObserver(std::function<void(const ApiReport &)> observer)
{
    std::lock_guard<std::mutex> guard(lock);
    reportObserver = std::move(observer);
}

QList<ApiReport> PlatformApiServer::reports() const
{
    std::lock_guard<std::mutex> guard(lock);
    return received;
}

bool PlatformApiServer::pause(int ms)
{
    std::unique_lock<std::mutex> guard(lock);
    return !stopped.wait_for(guard, std::chrono::milliseconds(ms), [this] { return stopping; });
}

QByteArray PlatformApiServer::listBody() const
{
    const QString imageBase = QString::fromLatin1(baseUrl()) + QLatin1String("/img/");
    QJsonArray products;
    for (const SimGift &gift : simGifts()) {
        const QString id = QString::fromLatin1(gift.productId);
        products.append(QJsonObject {
            {QStringLiteral("productid"), id},
            {QStringLiteral("name"), gift.name},
            {QStringLiteral("simage"), QString(imageBase + id + QLatin1String(".png"))},
            {QStringLiteral("descs"), QString(gift.name + QStringLiteral("，送给主播"))},
            {QStringLiteral("price"), gift.price},
        });
    }
    QJsonArray privateProducts;
    for (const SimGift &gift : simPrivateGifts()) {
        const QString id = QString::fromLatin1(gift.productId);
        privateProducts.append(QJsonObject {
            {QStringLiteral("product_id"), id},
            {QStringLiteral("name"), gift.name},
            {QStringLiteral("image"), QString(imageBase + id + QLatin1String(".png"))},
            {QStringLiteral("descs"), QStringLiteral("粉丝专属")},
            {QStringLiteral("price"), gift.price},
        });
    }
    const QJsonObject data {{QStringLiteral("products"), products},
                            {QStringLiteral("private_products"), privateProducts}};
    const QJsonObject root {{QStringLiteral("ec"), 0}, {QStringLiteral("data"), data}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

bool PlatformApiServer::parseListMode(const QString &name, ListMode &mode)
{
    static const QMap<QString, ListMode> kNames {
        {QStringLiteral("ok"), ListMode::Ok},     {QStringLiteral("500"), ListMode::ServerError},
        {QStringLiteral("slow"), ListMode::Slow}, {QStringLiteral("notjson"), ListMode::NotJson},
        {QStringLiteral("ec1"), ListMode::Ec1},
    };
    const auto found = kNames.constFind(name);
    if (found == kNames.constEnd())
        return false;
    mode = found.value();
    return true;
}

bool PlatformApiServer::parseImageMode(const QString &name, ImageMode &mode)
{
    static const QMap<QString, ImageMode> kNames {
        {QStringLiteral("ok"), ImageMode::Ok},
        {QStringLiteral("404"), ImageMode::NotFound},
        {QStringLiteral("stall"), ImageMode::Stall},
    };
    const auto found = kNames.constFind(name);
    if (found == kNames.constEnd())
        return false;
    mode = found.value();
    return true;
}
