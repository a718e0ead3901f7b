#include "Screens.h"

#include "shell/CWndRemind.h"
#include "shell/kivaPlugMeng.h"

#include <QCoreApplication>
#include <QDir>
#include <QFrame>
#include <QImage>
#include <QLayout>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTextStream>

namespace {

// The windows are translucent outside their cards, so a bare grab reads as
// a hole in a README; composite onto a calm light backdrop instead.
QImage onBackdrop(const QPixmap &shot, int margin)
{
    QImage out(shot.width() + 2 * margin, shot.height() + 2 * margin, QImage::Format_RGB32);
    out.fill(QColor(0xEE, 0xF0, 0xF4));
    QPainter p(&out);
    p.drawPixmap(margin, margin, shot);
    return out;
}

// Lays the window out and lets it paint once, as it would when shown.
QPixmap shoot(QWidget &window)
{
    window.setAttribute(Qt::WA_DontShowOnScreen);
    window.show();
    if (window.layout())
        window.layout()->activate();
    QCoreApplication::processEvents();
    QPixmap shot = window.grab();
    shot.setDevicePixelRatio(1);
    window.hide();
    return shot;
}

bool save(const QImage &image, const QString &path)
{
    QTextStream out(stdout);
    if (!image.save(path, "PNG")) {
        out << "cannot write " << path << '\n';
        return false;
    }
    out << path << "  " << image.width() << 'x' << image.height() << '\n';
    return true;
}

} // namespace

bool renderScreens(const QString &outDir)
{
    if (!QDir().mkpath(outDir)) {
        QTextStream(stdout) << "cannot create " << outDir << '\n';
        return false;
    }
    const QDir dir(outDir);
    bool ok = true;

    {
        kivaPlugMeng guide(nullptr);
        ok = save(onBackdrop(shoot(guide), 0), dir.filePath(QStringLiteral("guide-overlay.png")))
            && ok;
    }
    {
        CWndRemind card(nullptr);
        card.initRemind("错误", "连接失败<br>请开启KIVA开播!");
        ok = save(onBackdrop(shoot(card), 0), dir.filePath(QStringLiteral("reminder-card.png")))
            && ok;
    }
    return ok;
}
