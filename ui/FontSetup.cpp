#include "ui/FontSetup.h"

#include "platform/QtCompat.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QStringList>

QString installCjkFontSubstitutions()
{
#ifdef Q_OS_WIN
    return QString();
#else
    const QStringList installed = QtCompat::fontFamilies();
    const QStringList preferred = {
        QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
        QStringLiteral("Noto Sans SC"),        QStringLiteral("Source Han Sans SC"),
        QStringLiteral("WenQuanYi Zen Hei"),   QStringLiteral("Droid Sans Fallback"),
    };
    QString family;
    for (const QString &candidate : preferred) {
        if (installed.contains(candidate, Qt::CaseInsensitive)) {
            family = candidate;
            break;
        }
    }
    if (family.isEmpty()) {
        const QStringList chinese = QtCompat::fontFamilies(QFontDatabase::SimplifiedChinese);
        if (!chinese.isEmpty())
            family = chinese.first();
    }
    if (family.isEmpty())
        return QString();
    const QStringList windowsNames = {
        QStringLiteral("微软雅黑"),
        QStringLiteral("黑体"),
        QStringLiteral("Microsoft YaHei"),
        QStringLiteral("SimHei"),
    };
    for (const QString &name : windowsNames) {
        if (!installed.contains(name, Qt::CaseInsensitive))
            QFont::insertSubstitution(name, family);
    }
    return family;
#endif
}

void useWindowsGuiFontSize(const QString &family)
{
#ifdef Q_OS_WIN
    Q_UNUSED(family);
#else
    QFont font = QApplication::font();
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPixelSize(12);
    QApplication::setFont(font);
#endif
}
