#pragma once

#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;

// Builders of the vote window's standard controls. Each makes the widget
// without a parent and applies exactly the settings named; texts and style
// sheets are applied unchanged.
namespace WidgetFactory {

// Fixed size 80 x 16.
QRadioButton *radioButton(const QString &style, const QString &text);
QPushButton *sizedButton(const QString &style, const QString &text, int width, int height);
// What the team boxes call team `index` (1..4): "第一队" … "第四队".
QString teamBoxText(int index);

// Fixed size 80 x 20, items "第一队" and "第二队".
QComboBox *teamBox(const QString &style);
// Number edits take 1 to 9999, open no context menu and say so in a tool tip.
QLineEdit *numberEdit(const QString &style, const QString &placeholder, int width, int height);
QLineEdit *valuedNumberEdit(const QString &style, const QString &text, int width, int height);
// Fixed size 80 x 20.
QLabel *smallLabel(const QString &style, const QString &text);
QLabel *sizedLabel(const QString &style, const QString &text, int width, int height);
// Fixed size 20 x 20, no text.
QPushButton *iconButton(const QString &style);

// From now on the widget looks dimmed whenever it is disabled (its style
// sheets draw both states alike), in the same place and size.
void dimWhenDisabled(QWidget *widget);
// How much of a dimmed widget shows.
inline constexpr double kDimmedOpacity = 0.4;

} // namespace WidgetFactory
