#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>

// The head of one HTTP/1.x request, as the overlay server needs it: request
// line and header fields, nothing of a body.
class HttpRequestHead
{
public:
    enum class Result {
        Complete, // parsed; the head ends at headSize()
        Incomplete, // no blank line yet: read more
        Malformed, // not an HTTP/1.x request head
    };

    // Parses the bytes received so far (which may go on past the head).
    Result parse(const QByteArray &received);

    const QByteArray &method() const { return requestMethod; }
    // The target without its query, e.g. "/overlay".
    const QByteArray &path() const { return requestPath; }
    // Bytes up to and with the blank line that ends the head.
    int headSize() const { return size; }

    // The value of a field (name case-insensitive, value trimmed); empty when
    // absent. `present` tells an empty field from a missing one.
    QByteArray field(const QByteArray &name, bool *present = nullptr) const;
    // How many times a field occurs: a second Host is a way to smuggle one.
    int fieldCount(const QByteArray &name) const;
    // True when a comma-separated field holds `token` (case-insensitive), as
    // "Connection: keep-alive, Upgrade" holds "upgrade".
    bool fieldHasToken(const QByteArray &name, const QByteArray &token) const;

private:
    QByteArray requestMethod;
    QByteArray requestPath;
    QList<QPair<QByteArray, QByteArray>> fields; // lower-case name, trimmed value
    int size = 0;
};
