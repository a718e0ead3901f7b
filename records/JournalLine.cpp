#include "records/JournalLine.h"

#include <charconv>
#include <cstring>

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

void skipSpace(const char *&p, const char *end)
{
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n'))
        ++p;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Four hex digits at `p` (which has them), or -1.
int codeUnit(const char *p)
{
    int unit = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hexValue(p[i]);
        if (digit < 0)
            return -1;
        unit = unit * 16 + digit;
    }
    return unit;
}

void appendUtf8(QByteArray &out, uint code)
{
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool unescape(const char *p, const char *end, QByteArray &out)
{
    out.clear();
    out.reserve(int(end - p));
    while (p < end) {
        if (*p != '\\') {
            out += *p++;
            continue;
        }
        if (++p == end)
            return false;
        const char c = *p++;
        switch (c) {
        case '"':
        case '\\':
        case '/':
            out += c;
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'u': {
            if (end - p < 4)
                return false;
            uint code = uint(codeUnit(p));
            if (int(code) < 0)
                return false;
            p += 4;
            // A surrogate pair stands for one character beyond the first plane.
            if (code >= 0xD800 && code <= 0xDBFF && end - p >= 6 && p[0] == '\\' && p[1] == 'u') {
                const int low = codeUnit(p + 2);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    code = 0x10000 + ((code - 0xD800) << 10) + uint(low - 0xDC00);
                    p += 6;
                }
            }
            appendUtf8(out, code);
            break;
        }
        default:
            return false;
        }
    }
    return true;
}

} // namespace

bool JournalLine::parse(const char *text, std::size_t length)
{
    const char *p = text;
    const char *end = text + length;
    count = 0;
    skipSpace(p, end);
    if (p == end || *p++ != '{')
        return false;
    skipSpace(p, end);
    if (p < end && *p == '}') {
        ++p;
        skipSpace(p, end);
        return p == end;
    }
    while (count < kMaxMembers) {
        Member &member = members[count];
        if (p == end || *p++ != '"')
            return false;
        member.key = p;
        while (p < end && *p != '"' && *p != '\\')
            ++p;
        if (p == end || *p != '"')
            return false;
        member.keyLength = int(p - member.key);
        ++p;
        skipSpace(p, end);
        if (p == end || *p++ != ':')
            return false;
        skipSpace(p, end);
        if (p == end)
            return false;
        member.string = *p == '"';
        member.escaped = false;
        if (member.string) {
            member.value = ++p;
            while (p < end && *p != '"') {
                if (static_cast<unsigned char>(*p) < 0x20)
                    return false;
                if (*p == '\\') {
                    member.escaped = true;
                    if (++p == end)
                        return false;
                }
                ++p;
            }
            if (p == end)
                return false;
            member.valueLength = int(p - member.value);
            ++p;
        } else {
            member.value = p;
            if (*p == '-' || isDigit(*p)) {
                ++p;
                while (p < end && isDigit(*p))
                    ++p;
            } else {
                while (p < end && *p >= 'a' && *p <= 'z')
                    ++p;
                const std::size_t word = std::size_t(p - member.value);
                if (!(word == 4
                      && (std::memcmp(member.value, "true", 4) == 0
                          || std::memcmp(member.value, "null", 4) == 0))
                    && !(word == 5 && std::memcmp(member.value, "false", 5) == 0))
                    return false;
            }
            member.valueLength = int(p - member.value);
        }
        ++count;
        skipSpace(p, end);
        if (p < end && *p == ',') {
            ++p;
            skipSpace(p, end);
            continue;
        }
        if (p == end || *p++ != '}')
            return false;
        skipSpace(p, end);
        return p == end;
    }
    return false;
}

const JournalLine::Member *JournalLine::find(const char *key) const
{
    const std::size_t length = std::strlen(key);
    for (int i = 0; i < count; ++i) {
        const Member &member = members[i];
        if (std::size_t(member.keyLength) == length && std::memcmp(member.key, key, length) == 0)
            return &member;
    }
    return nullptr;
}

bool JournalLine::text(const char *key, QByteArray &out) const
{
    const Member *member = find(key);
    if (!member || !member->string)
        return false;
    if (!member->escaped) {
        out = QByteArray(member->value, member->valueLength);
        return true;
    }
    return unescape(member->value, member->value + member->valueLength, out);
}

bool JournalLine::view(const char *key, const char *&data, int &length) const
{
    const Member *member = find(key);
    if (!member || !member->string || member->escaped)
        return false;
    data = member->value;
    length = member->valueLength;
    return true;
}

bool JournalLine::number(const char *key, qint64 &out) const
{
    const Member *member = find(key);
    if (!member || member->string)
        return false;
    const char *end = member->value + member->valueLength;
    const auto [stop, error] = std::from_chars(member->value, end, out);
    return error == std::errc() && stop == end;
}
