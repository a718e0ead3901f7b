#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstddef>

// One journal line whose members are all plain (strings, integers, true,
// false, null), as every event but a start or a stop is. Read in place, with
// integers exact to 64 bits: a journal of a million lines is read in well
// under the time a general JSON parser takes to allocate its nodes.
class JournalLine
{
public:
    // False when the text is not one such object (nested members, a number
    // with a fraction, a line cut off).
    bool parse(const char *text, std::size_t length);

    // A string member, unescaped.
    bool text(const char *key, QByteArray &out) const;
    // A string member without escapes, in place (valid while the text is).
    bool view(const char *key, const char *&data, int &length) const;
    bool number(const char *key, qint64 &out) const;

private:
    struct Member
    {
        const char *key;
        int keyLength;
        const char *value;
        int valueLength;
        bool string;
        bool escaped;
    };
    static constexpr int kMaxMembers = 16;

    const Member *find(const char *key) const;

    Member members[kMaxMembers];
    int count = 0;
};
