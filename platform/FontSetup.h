#pragma once

#include <QString>

// The style sheets name the Windows Chinese families 微软雅黑 and 黑体. Where
// those are not installed, map them to an installed CJK family so Chinese
// text renders. Returns the family used, empty when none was needed or found.
QString installCjkFontSubstitutions();
