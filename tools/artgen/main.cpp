// kiva-artgen: paints the compiled-in image set and the application icon,
// and renders the README screenshots.
//
//   kiva-artgen <repo-root>            rewrite res/resource/*.png and the icons
//   kiva-artgen --scene <shot> <out>   the results page's shot over a sample scene
//   kiva-artgen --screens <out-dir>    shoot the shell windows (uses the
//                                      compiled-in images: rebuild first)

#include "ArtPainters.h"
#include "GuidePicture.h"
#include "IcoFile.h"
#include "Screens.h"

#include "ui/FontSetup.h"
#include "platform/QtCompat.h"
#include "shell/kivaPlugMeng.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImageReader>
#include <QLayout>
#include <QPushButton>
#include <QTextStream>

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

bool writePng(const QDir &root, const QString &relative, const QImage &image)
{
    const QString path = root.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path, "PNG")) {
        out() << "cannot write " << path << '\n';
        return false;
    }
    // Read the header back: a wrong size would quietly break a style sheet.
    const QSize written = QImageReader(path).size();
    if (written != image.size()) {
        out() << path << ": wrote " << written.width() << 'x' << written.height() << '\n';
        return false;
    }
    out() << relative << "  " << written.width() << 'x' << written.height() << '\n';
    return true;
}

// Where the guide overlay's button sits, in the coordinates of its picture
// frame (which fills the whole overlay).
QRectF knowButtonArea()
{
    kivaPlugMeng guide(nullptr);
    guide.setAttribute(Qt::WA_DontShowOnScreen);
    guide.show();
    guide.layout()->activate();
    guide.pictureControl()->layout()->activate();
    const QRect button = guide.knowControl()->geometry();
    const QSize frame = guide.pictureControl()->size();
    guide.hide();
    out() << "guide frame " << frame.width() << 'x' << frame.height() << ", button at "
          << button.x() << ',' << button.y() << ' ' << button.width() << 'x' << button.height()
          << '\n';
    return QRectF(button);
}

bool writeArtwork(const QDir &root)
{
    using namespace Art;
    // Each image is painted in a box of its own pixel size.
    struct Picture
    {
        const char *path;
        QSize size;
        Painter paint;
    };
    const QSize gift(150, 150);
    const Picture pictures[] = {
        {"res/resource/1450928358.png", gift, paintMicrophone},
        {"res/resource/1477978817.png", gift, paintClover},
        {"res/resource/1522229009540.png", gift, paintPiggySpray},
        {"res/resource/1551153124818.png", gift, paintSleepyBug},
        {"res/resource/closebtn.png", QSize(12, 12),
         [](QPainter &p) { paintCloseGlyph(p, QRectF(0, 0, 12, 12), QColor(51, 51, 51, 204)); }},
        {"res/resource/note.png", QSize(19, 19), paintNote},
        {"res/resource/addBtn.png", QSize(50, 50), [](QPainter &p) { paintRoundButton(p, true); }},
        {"res/resource/subtractBtn.png", QSize(50, 50),
         [](QPainter &p) { paintRoundButton(p, false); }},
        {"res/resource/triangle.png", QSize(10, 11), paintTriangle},
        {"res/resource/checkBox@check.png", QSize(16, 16),
         [](QPainter &p) { paintRadio(p, true); }},
        {"res/resource/checkBox@uncheck.png", QSize(16, 16),
         [](QPainter &p) { paintRadio(p, false); }},
        {"res/resource/know3.png", QSize(88, 36), paintKnowBackground},
    };
    bool ok = true;
    for (const Picture &picture : pictures) {
        const QImage image = render(picture.size, QSizeF(picture.size), picture.paint);
        ok = writePng(root, QString::fromLatin1(picture.path), image) && ok;
    }

    // The guide picture is drawn at 2x of the overlay and must keep the
    // overlay's button free.
    const QSize guideSize(1550, 1100);
    const QRectF button = knowButtonArea();
    const qreal sx = qreal(guideSize.width()) / kGuideWidth;
    const qreal sy = qreal(guideSize.height()) / kGuideHeight;
    out() << "button in mengban.png: " << button.x() * sx << ',' << button.y() * sy << ' '
          << button.width() * sx << 'x' << button.height() * sy << '\n';
    const GuidePicture guide = paintGuidePicture(guideSize, button);
    for (const QString &clash : guide.clashes)
        out() << "too close to the guide button: " << clash << '\n';
    ok = guide.clashes.isEmpty() && ok;
    ok = writePng(root, QStringLiteral("res/resource/mengban.png"), guide.image) && ok;

    // Application icon: the 256 px picture and the Windows container.
    const QSizeF iconBox(256, 256);
    ok = writePng(root, QStringLiteral("res/appicon.png"),
                  render(QSize(256, 256), iconBox, [](QPainter &p) { paintAppIcon(p, false); }))
        && ok;
    QList<QImage> sizes;
    for (int edge : {16, 24, 32, 48, 256}) {
        const bool compact = edge <= 24;
        sizes << render(QSize(edge, edge), iconBox,
                        [compact](QPainter &p) { paintAppIcon(p, compact); });
    }
    const QByteArray ico = encodeIco(sizes);
    QFile icoFile(root.filePath(QStringLiteral("app/kivaPlugInVote.ico")));
    if (ico.isEmpty() || !icoFile.open(QIODevice::WriteOnly) || icoFile.write(ico) != ico.size()) {
        out() << "cannot write app/kivaPlugInVote.ico\n";
        ok = false;
    } else {
        out() << "app/kivaPlugInVote.ico  16 24 32 48 256\n";
    }
    return ok;
}

int usage()
{
    out() << "usage: kiva-artgen <repo-root>\n"
             "       kiva-artgen --screens <out-dir>\n"
             "       kiva-artgen --scene <page-shot.png> <out.png>\n";
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // Screenshots and artwork at exactly their pixel sizes.
    QtCompat::keepPixelsOneToOne();
    QApplication app(argc, argv);
    useWindowsGuiFontSize(installCjkFontSubstitutions());

    const QStringList args = app.arguments().mid(1);
    bool ok = false;
    if (args.size() == 2 && args[0] == QStringLiteral("--screens")) {
        ok = renderScreens(args[1]);
    } else if (args.size() == 3 && args[0] == QStringLiteral("--scene")) {
        ok = renderOverlayOnScene(args[1], args[2]);
    } else if (args.size() == 1 && !args[0].startsWith(QLatin1Char('-'))) {
        const QDir root(args[0]);
        if (!root.exists(QStringLiteral("res/resource"))) {
            out() << args[0] << " is not the repository root\n";
            return 2;
        }
        ok = writeArtwork(root);
    } else {
        return usage();
    }
    out().flush();
    return ok ? 0 : 1;
}
