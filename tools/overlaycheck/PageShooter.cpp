#include "PageShooter.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTimer>
#include <QUuid>
#include <QWebSocket>

PageShooter::PageShooter(const QString &chromium, int width, int height)
    : program(chromium)
    , width(width)
    , height(height)
    , devtools(new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this))
{}

PageShooter::~PageShooter()
{
    devtools->abort();
    if (browser.state() != QProcess::NotRunning) {
        browser.terminate();
        if (!browser.waitForFinished(5000)) {
            browser.kill();
            browser.waitForFinished(5000);
        }
    }
    if (!profile.isEmpty())
        QDir(profile).removeRecursively();
}

bool PageShooter::open(const QString &url)
{
    // A fresh profile each run: nothing cached from an earlier page.
    profile = QDir::temp().filePath(QStringLiteral("kiva-overlay-check-")
                                    + QUuid::createUuid().toString(QUuid::WithoutBraces));
    browser.setProcessChannelMode(QProcess::SeparateChannels);
    browser.start(program,
                  {QStringLiteral("--headless=new"), QStringLiteral("--no-sandbox"),
                   QStringLiteral("--disable-gpu"), QStringLiteral("--disable-quic"),
                   QStringLiteral("--no-first-run"),
                   QStringLiteral("--disable-background-networking"),
                   QStringLiteral("--disable-component-update"), QStringLiteral("--disable-sync"),
                   QStringLiteral("--hide-scrollbars"),
                   QStringLiteral("--window-size=%1,%2").arg(width).arg(height),
                   QStringLiteral("--user-data-dir=") + profile,
                   QStringLiteral("--remote-debugging-port=0"), url});
    if (!browser.waitForStarted(15000)) {
        lastError = QStringLiteral("cannot start %1").arg(program);
        return false;
    }

    // The browser names its DevTools address on stderr.
    static const QRegularExpression listening(QStringLiteral("DevTools listening on (ws://\\S+)"));
    QByteArray said;
    QElapsedTimer clock;
    clock.start();
    QString address;
    while (address.isEmpty() && clock.elapsed() < 30000) {
        if (!browser.waitForReadyRead(500) && browser.state() == QProcess::NotRunning)
            break;
        said += browser.readAllStandardError();
        const QRegularExpressionMatch match = listening.match(QString::fromUtf8(said));
        if (match.hasMatch())
            address = match.captured(1);
    }
    if (address.isEmpty()) {
        lastError = QStringLiteral("no DevTools address from the browser: ")
            + QString::fromUtf8(said.right(500));
        return false;
    }

    QEventLoop wait;
    connect(devtools, &QWebSocket::connected, &wait, &QEventLoop::quit);
    connect(devtools, &QWebSocket::disconnected, &wait, &QEventLoop::quit);
    QTimer::singleShot(15000, &wait, &QEventLoop::quit);
    devtools->open(QUrl(address));
    wait.exec();
    if (devtools->state() != QAbstractSocket::ConnectedState) {
        lastError = QStringLiteral("cannot reach DevTools at ") + address;
        return false;
    }

    // The page opens with the browser and is attached to afterwards: this
    // browser ends a DevTools session when its page moves to another site.
    QString targetId;
    while (targetId.isEmpty() && clock.elapsed() < 30000) {
        const QJsonArray targets = call(QStringLiteral("Target.getTargets"))
                                       .value(QStringLiteral("targetInfos"))
                                       .toArray();
        for (const QJsonValue &target : targets) {
            const QJsonObject info = target.toObject();
            if (info.value(QStringLiteral("type")).toString() == QLatin1String("page")
                && info.value(QStringLiteral("url")).toString().startsWith(url))
                targetId = info.value(QStringLiteral("targetId")).toString();
        }
        if (targetId.isEmpty()) {
            QEventLoop pause;
            QTimer::singleShot(100, &pause, &QEventLoop::quit);
            pause.exec();
        }
    }
    session = call(QStringLiteral("Target.attachToTarget"),
                   {{QStringLiteral("targetId"), targetId}, {QStringLiteral("flatten"), true}})
                  .value(QStringLiteral("sessionId"))
                  .toString();
    if (targetId.isEmpty() || session.isEmpty()) {
        lastError = QStringLiteral("the page did not open in the browser: ") + lastError;
        return false;
    }
    lastError.clear();

    // The browser source's size, whatever the headless window's frame takes.
    call(QStringLiteral("Emulation.setDeviceMetricsOverride"),
         {{QStringLiteral("width"), width},
          {QStringLiteral("height"), height},
          {QStringLiteral("deviceScaleFactor"), 1},
          {QStringLiteral("mobile"), false}});
    // Transparent through DevTools: this browser's renderer does not survive
    // --default-background-color=00000000 together with remote debugging.
    call(QStringLiteral("Emulation.setDefaultBackgroundColorOverride"),
         {{QStringLiteral("color"),
           QJsonObject {{QStringLiteral("r"), 0},
                        {QStringLiteral("g"), 0},
                        {QStringLiteral("b"), 0},
                        {QStringLiteral("a"), 0}}}});
    return lastError.isEmpty();
}

QJsonValue PageShooter::evaluate(const QString &expression)
{
    const QJsonObject result =
        call(QStringLiteral("Runtime.evaluate"),
             {{QStringLiteral("expression"), expression}, {QStringLiteral("returnByValue"), true}});
    if (result.contains(QStringLiteral("exceptionDetails")))
        return QJsonValue(QJsonValue::Undefined);
    return result.value(QStringLiteral("result")).toObject().value(QStringLiteral("value"));
}

bool PageShooter::reload()
{
    lastError.clear();
    // Marks the old document, so that the new one can be told from it.
    evaluate(QStringLiteral("window.kivaBeforeReload = true"));
    call(QStringLiteral("Page.reload"), {{QStringLiteral("ignoreCache"), true}});
    return lastError.isEmpty();
}

bool PageShooter::navigate(const QString &url)
{
    lastError.clear();
    evaluate(QStringLiteral("window.kivaBeforeReload = true"));
    call(QStringLiteral("Page.navigate"), {{QStringLiteral("url"), url}});
    return lastError.isEmpty();
}

bool PageShooter::capture(const QString &path)
{
    const QJsonObject shot = call(QStringLiteral("Page.captureScreenshot"),
                                  {{QStringLiteral("format"), QStringLiteral("png")}});
    const QByteArray png =
        QByteArray::fromBase64(shot.value(QStringLiteral("data")).toString().toLatin1());
    QFile file(path);
    if (png.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(png) != png.size()) {
        lastError = QStringLiteral("no screenshot written to ") + path;
        return false;
    }
    return true;
}

QJsonObject PageShooter::call(const QString &method, const QJsonObject &params, int timeoutMs)
{
    const int id = nextId++;
    QJsonObject message {{QStringLiteral("id"), id},
                         {QStringLiteral("method"), method},
                         {QStringLiteral("params"), params}};
    if (!session.isEmpty())
        message.insert(QStringLiteral("sessionId"), session);

    QJsonObject answer;
    bool answered = false;
    QEventLoop wait;
    const QMetaObject::Connection reading =
        connect(devtools, &QWebSocket::textMessageReceived, &wait, [&](const QString &text) {
            const QJsonObject received = QJsonDocument::fromJson(text.toUtf8()).object();
            if (received.value(QStringLiteral("id")).toInt() != id)
                return; // events and other answers
            answered = true;
            answer = received;
            wait.quit();
        });
    connect(devtools, &QWebSocket::disconnected, &wait, &QEventLoop::quit);
    QTimer::singleShot(timeoutMs, &wait, &QEventLoop::quit);
    devtools->sendTextMessage(
        QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact)));
    wait.exec();
    disconnect(reading);

    if (!answered) {
        lastError = method + QStringLiteral(": no answer from the browser");
        return QJsonObject();
    }
    if (answer.contains(QStringLiteral("error"))) {
        lastError = method + QStringLiteral(": ")
            + answer.value(QStringLiteral("error"))
                  .toObject()
                  .value(QStringLiteral("message"))
                  .toString();
        return QJsonObject();
    }
    return answer.value(QStringLiteral("result")).toObject();
}
