#pragma once

#include <QImage>
#include <QRectF>
#include <QSize>
#include <QStringList>

// The guide picture: a dimmed mock-up of the vote window with labelled
// callouts on its controls. It is painted in the coordinates of the 774 x 550
// window and stretched to `size`.
struct GuidePicture
{
    QImage image;
    // Callouts that came closer to the kept-clear area than the margin allows.
    QStringList clashes;
};

// `keepClear` is where the overlay's own button sits (window coordinates):
// nothing of the callouts may come near it.
GuidePicture paintGuidePicture(const QSize &size, const QRectF &keepClear);

// Logical size of the window the picture is drawn for.
inline constexpr int kGuideWidth = 774;
inline constexpr int kGuideHeight = 550;
