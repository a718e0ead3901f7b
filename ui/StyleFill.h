#pragma once

#include "ui/VoteStyles.h"

#include <QString>

namespace VoteStyles {

// A template with its placeholders filled, one QString::arg call each, in
// ascending order (%1 first).
template<typename... Values> QString fill(const char *style, const Values &...values)
{
    QString text = QString::fromUtf8(style);
    ((text = text.arg(values)), ...);
    return text;
}

// The toggle template with one of its two fills.
inline QString toggle(const char *style, const ToggleFill &with)
{
    QString text = QString::fromUtf8(style);
    for (const char *value : with.values)
        text = text.arg(QString::fromLatin1(value));
    return text;
}

// The gift selector's drop-downs: the team box template with rounder corners.
inline QString giftBoxTemplate()
{
    return QString::fromUtf8(kTeamBox).replace(QStringLiteral("border-radius: 10px"),
                                               QStringLiteral("border-radius: 16px"));
}

// A file path for a template's url(%n), quoted: a path holding an apostrophe
// or a brace (as user folders may) would otherwise break the whole sheet.
inline QString quotedUrl(const QString &path)
{
    QString escaped = path;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    escaped.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

} // namespace VoteStyles
