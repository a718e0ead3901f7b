#pragma once

#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>

class QWebSocket;

// Drives a headless Chromium over its DevTools protocol: one page, kept open
// across the plug-in's changes and restarts, read and photographed on demand.
// The browser's own --screenshot cannot wait for a pushed state; this can.
class PageShooter : public QObject
{
public:
    PageShooter(const QString &chromium, int width, int height);
    ~PageShooter() override;

    // Starts the browser and opens `url` with a transparent background.
    bool open(const QString &url);
    // The page's JS value of `expression`; invalid on failure.
    QJsonValue evaluate(const QString &expression);
    // Loads the page again, as a refresh of the browser source does; the old
    // document has window.kivaBeforeReload set, the new one does not.
    bool reload();
    // Goes to another address in the same page (marked like a reload).
    bool navigate(const QString &url);
    // A PNG of the page as it is now.
    bool capture(const QString &path);
    const QString &error() const { return lastError; }

private:
    QJsonObject call(const QString &method, const QJsonObject &params = QJsonObject(),
                     int timeoutMs = 15000);

    QString program;
    int width;
    int height;
    QProcess browser;
    QString profile;
    QWebSocket *devtools = nullptr;
    QString session; // of the page, once attached
    int nextId = 1;
    QString lastError;
};
