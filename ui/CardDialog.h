#pragma once

#include <QSize>

class CTitleBar;
class QDialog;
class QFrame;
class QLayout;

// The frameless cards that hold a list to choose from (the gift selector, the
// vote records): a translucent dialog with a panel inside the margin where
// the panel's shadow shows.
namespace CardDialog {

// The transparent margin around the panel, in which its shadow shows.
constexpr int kShadowMargin = 40;

// Makes `dialog` such a card and returns its title bar (close button only).
CTitleBar *setUp(QDialog *dialog, const char *title);

// Lays `panel` out with `layout` at `size` inside the margin, with its
// shadow, and sizes the dialog around it.
void placePanel(QDialog *dialog, QFrame *panel, QLayout *layout, QSize size);

} // namespace CardDialog
