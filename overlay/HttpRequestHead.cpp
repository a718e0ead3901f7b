#include "overlay/HttpRequestHead.h"

namespace {

bool isToken(const QByteArray &text)
{
    if (text.isEmpty())
        return false;
    for (const char c : text) {
        const bool alnum =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!alnum && !QByteArray("!#$%&'*+-.^_`|~").contains(c))
            return false;
    }
    return true;
}

} // namespace

HttpRequestHead::Result HttpRequestHead::parse(const QByteArray &received)
{
    *this = HttpRequestHead();
    const int end = received.indexOf("\r\n\r\n");
    if (end < 0)
        return Result::Incomplete;

    // Lines end with CRLF; a bare CR or LF inside one is refused, since peers
    // that split on it would read other fields than we do.
    const QByteArray head = received.left(end);
    if (head.contains('\n') && head.count('\n') != head.count("\r\n"))
        return Result::Malformed;
    QList<QByteArray> lines;
    for (int from = 0;;) {
        const int next = head.indexOf("\r\n", from);
        lines.append(head.mid(from, next < 0 ? -1 : next - from));
        if (next < 0)
            break;
        from = next + 2;
    }
    for (const QByteArray &line : lines) {
        if (line.contains('\r'))
            return Result::Malformed;
    }

    const QList<QByteArray> request = lines.first().split(' ');
    if (request.size() != 3 || !isToken(request.at(0)) || !request.at(1).startsWith('/')
        || !request.at(2).startsWith("HTTP/1."))
        return Result::Malformed;

    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        const int colon = line.indexOf(':');
        // A folded line (leading space) or a name with spaces is refused, as
        // RFC 9112 asks: both have been used to make peers disagree on a field.
        const QByteArray name = line.left(colon);
        if (colon <= 0 || !isToken(name))
            return Result::Malformed;
        fields.append({name.toLower(), line.mid(colon + 1).trimmed()});
    }

    requestMethod = request.at(0);
    const QByteArray &target = request.at(1);
    const int query = target.indexOf('?');
    requestPath = query < 0 ? target : target.left(query);
    size = end + 4;
    return Result::Complete;
}

QByteArray HttpRequestHead::field(const QByteArray &name, bool *present) const
{
    const QByteArray wanted = name.toLower();
    for (const auto &entry : fields) {
        if (entry.first == wanted) {
            if (present)
                *present = true;
            return entry.second;
        }
    }
    if (present)
        *present = false;
    return QByteArray();
}

int HttpRequestHead::fieldCount(const QByteArray &name) const
{
    const QByteArray wanted = name.toLower();
    int count = 0;
    for (const auto &entry : fields)
        count += entry.first == wanted ? 1 : 0;
    return count;
}

bool HttpRequestHead::fieldHasToken(const QByteArray &name, const QByteArray &token) const
{
    const QByteArray wanted = name.toLower();
    for (const auto &entry : fields) {
        if (entry.first != wanted)
            continue;
        for (const QByteArray &part : entry.second.split(',')) {
            if (part.trimmed().toLower() == token.toLower())
                return true;
        }
    }
    return false;
}
