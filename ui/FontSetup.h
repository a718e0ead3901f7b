#pragma once

#include <QString>

// The style sheets name the Windows Chinese families 微软雅黑 and 黑体. Where
// those are not installed, map them to an installed CJK family so Chinese
// text renders. Returns the family used, empty when none was needed or found.
QString installCjkFontSubstitutions();

// The windows were laid out for the Windows GUI font (9 pt, 12 px at 96 dpi):
// controls whose style names no usable font draw in it, and their texts fit.
// Elsewhere the application font becomes that size in `family` (or the
// default family when empty). Needs the application object.
void useWindowsGuiFontSize(const QString &family);
