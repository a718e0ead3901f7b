#pragma once

#include "catalogue/DownloadThread.h"
#include "catalogue/GiftList.h"
#include "platform/WorkQueue.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

struct LoginIds;

// The room's gift list and the gifts' pictures, fetched in the background:
// nothing here makes its caller wait for the network. Answers arrive as
// signals on the thread the catalogue lives on.
class GiftCatalogue : public QObject
{
    Q_OBJECT

public:
    explicit GiftCatalogue(QObject *parent = nullptr);
    // Abandons the fetch and the downloads under way.
    ~GiftCatalogue() override = default;

    // Fetches the gift list for the login. One answer per call, in the order
    // asked: listReady, listFailed, or nothing when the body is not a usable
    // list (not JSON, "ec" not 0, no "data").
    void fetchList(const LoginIds &login);
    // Lists fetched and answered (or found unusable) so far.
    int listsAnswered() const { return answered; }

    // Queues the picture of a listed gift into `folder`, unless it is cached
    // already or the id cannot name a file there. True when queued.
    bool cachePicture(const QByteArray &productId, const QByteArray &imageUrl,
                      const QString &folder);

signals:
    void listReady(const QList<GiftListEntry> &entries);
    // The request failed: no answer, or a status other than 200 and 304.
    void listFailed();
    // A gift's picture is now in the cache at `path`.
    void imageReady(const QByteArray &productId, const QString &path);

private:
    struct Answer
    {
        bool received = false;
        bool parsed = false;
        QList<GiftListEntry> entries;
    };
    void deliver(const Answer &answer);

    QHash<QString, QByteArray> pictureOwners; // file path -> product id, while queued
    int answered = 0;
    // Stopped first (declared last), while the members above are whole.
    DownloadThread pictures;
    WorkQueue lists {WorkQueue::Order::OldestFirst};
};
