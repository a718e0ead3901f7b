#include "catalogue/GiftList.h"

#include "platform/Platform.h"

#include <QDebug>

#include <cjson/cJSON.h>

#include <memory>

namespace {

using JsonTree = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

bool isText(const cJSON *item)
{
    return cJSON_IsString(item) && item->valuestring != nullptr;
}

} // namespace

bool parseGiftList(const QByteArray &body, QList<GiftListEntry> &entries)
{
    entries.clear();
    const JsonTree root(cJSON_Parse(body.constData()), &cJSON_Delete);
    if (!root)
        return false;

    // cJSON's integer reading: fractions cut toward zero, true is 1, text,
    // false and null are 0. The lookups ignore the letter case of keys.
    const cJSON *ec = cJSON_GetObjectItem(root.get(), "ec");
    if (!ec || ec->valueint != 0)
        return false;
    const cJSON *data = cJSON_GetObjectItem(root.get(), "data");
    if (!data)
        return false;

    // "private_products" is not offered; only "products" is read.
    const cJSON *products = cJSON_GetObjectItem(data, "products");
    qint64 ignored = 0;
    // Walked along the links: indexing each element anew is quadratic.
    for (const cJSON *element = products ? products->child : nullptr; element;
         element = element->next) {
        if (entries.size() >= kMaxGiftListEntries) {
            ++ignored;
            continue;
        }
        const cJSON *productId = cJSON_GetObjectItem(element, "productid");
        const cJSON *name = cJSON_GetObjectItem(element, "name");
        const cJSON *image = cJSON_GetObjectItem(element, "simage");
        // "descs" may be anything or absent; nothing of it is kept.
        const cJSON *price = cJSON_GetObjectItem(element, "price");
        if (!productId || !name || !image || !price || !isText(productId) || !isText(image))
            continue;

        GiftListEntry entry;
        entry.productId = QByteArray(productId->valuestring);
        entry.name = isText(name) ? QString::fromUtf8(name->valuestring) : QString();
        entry.imageUrl = QByteArray(image->valuestring);
        entry.price = price->valueint;
        entries.append(entry);
    }
    if (ignored)
        qWarning().noquote() << "gift list:" << ignored << "elements beyond the first"
                             << kMaxGiftListEntries << "entries ignored";
    return true;
}

bool isPlainFileName(const QByteArray &productId)
{
    if (productId.isEmpty() || productId.startsWith('.'))
        return false;
    for (const char c : productId) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '/' || c == '\\' || c == ':')
            return false;
    }
    return true;
}

QString cachedImagePath(const QString &folder, const QByteArray &productId)
{
    return Platform::joinPath(folder, QString::fromUtf8(productId) + QLatin1String(".png"));
}
