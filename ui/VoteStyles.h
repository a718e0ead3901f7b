#pragma once

#include "shell/ShellStyles.h"

// Looks of the vote window and the gift selector, each under one name.
// Templates carry %1..%n, filled with QString::arg in ascending order.
// 微软雅黑 and 黑体 are the Chinese names of Microsoft YaHei and SimHei;
// the platform layer maps them to an installed CJK font where they are missing.
namespace VoteStyles {

// %1 font size in px, %2 font weight.
inline constexpr char kTitleText[] =
    "font-size:%1px; font-family:微软雅黑; font-weight:%2; color:rgba(51,51,51,0.8); "
    "line-height:24px; background-color:rgba(0,0,0,0);";

// %1 font size in px, %2 font weight, %3 colour "r,g,b,a".
inline constexpr char kCaption[] =
    "font-size:%1px; font-family:微软雅黑; font-weight:%2; color:rgba(%3); line-height:24px; "
    "background-color:rgba(0,0,0,0);";

inline constexpr char kOutlineButton[] =
    "QPushButton { color:rgba(0,0,0,0.6); background-color:rgba(255,255,255,1); "
    "border-style:outset; border-width:1px; border-color:rgba(51,51,51,0.1); border-radius:12px; "
    "font:微软雅黑 10px; padding:4px; } "
    "QPushButton:hover { background-color:rgba(200,200,200,0.2); color:rgba(0,0,0,0.8); } "
    "QPushButton:pressed { background-color:rgba(51,51,51,0.4); border-style: inset; }";

inline constexpr char kTextButton[] =
    "QPushButton { color:rgba(0,0,0,0.5); background-color:rgba(0,0,0,0); border-style:outset; "
    "border-radius:12px; font:微软雅黑 10px; padding:4px; } "
    "QPushButton:hover { background-color:rgba(0,0,0,0); color:rgba(0,0,0,0.8); } "
    "QPushButton:pressed { background-color:rgba(0,0,0,0); border-style: inset; }";

inline constexpr char kNumberEdit[] =
    "background-color:rgba(255,255,255,1); font-size:12px; font-family:微软雅黑; "
    "font-weight:400; line-height:17px; border-radius: 8px; padding-left:10px";

inline constexpr char kAreaBackground[] = "background-color:rgba(245,245,245,1);border-radius:2px;";

inline constexpr char kFrameBackground[] =
    "background-color:rgba(214,214,214,1);border-radius:6px;";

inline constexpr char kTransparentBackground[] = "background-color:rgba(0,0,0,0);";

inline constexpr char kDivider[] = "background-color:rgba(214,214,214,1);";

// %1 image path.
inline constexpr char kIconLabel[] = "border-image: url(%1); background-color:rgba(0,0,0,0);";

inline constexpr char kQuestion[] =
    "background-color:rgba(0,0,0,0); font-family:黑体; font-size:20px; font-weight:440; "
    "color:rgba(24,24,24,1); line-height:17px; border-radius: 8px; padding-left:10px";

// %1, %2, %3: red, green, blue (0-255) of the announcement colour.
inline constexpr char kQuestionColour[] =
    "background-color:rgba(0,0,0,0); font-family:黑体; font-size:20px; font-weight:460; "
    "color:rgba(%1,%2,%3); line-height:17px; border-radius: 8px; padding-left:10px";

inline constexpr char kCountdownDisplay[] =
    "background-color:rgba(0,0,0,0); font-family:黑体; font-size:24px; font-weight:500; "
    "color:rgba(231,22,106,1); line-height:17px; border-radius: 8px; padding-left:10px";

inline constexpr char kLeadLine[] =
    "background-color:rgba(0,0,0,0); font-family:黑体; font-size:20px; font-weight:440; "
    "color:rgba(231,22,106,1); line-height:17px; border-radius: 8px; padding-left:10px";

// %1 the gift's image path.
inline constexpr char kGiftButton[] =
    "QPushButton { background-color:rgba(245,245,245,1); border-style:outset; border-radius:8px; "
    "padding:4px; border-image: url(%1); color:rgba(255,0,0,1); } "
    "QPushButton:hover { background-color:rgba(51,51,51,0.1); } "
    "QPushButton:pressed { background-color:rgba(51,51,51,0.15); }";

// %1 the chosen gift's image file. The second background-color wins: the
// normal background is transparent.
inline constexpr char kChosenGift[] =
    "QPushButton { background-color:rgba(255,255,255,1); border-style:outset; "
    "border-radius:8px; padding:4px; border-image: url(%1); background-color:rgba(0,0,0,0); } "
    "QPushButton:hover { background-color:rgba(51,51,51,0.1); } "
    "QPushButton:pressed { background-color:rgba(51,51,51,0.15); }";

// %1 team colour.
inline constexpr char kTeamName[] =
    "background-color:rgba(0,0,0,0); font-family:黑体; font-size:20px; font-weight:440; "
    "color:rgba(%1); line-height:18px;";

// %1 team colour: the team's number before its name, under vote by number.
inline constexpr char kTeamNumber[] =
    "background-color:rgba(0,0,0,0); font-family:微软雅黑; font-size:20px; font-weight:600; "
    "color:rgba(%1);";

// %1 team colour.
inline constexpr char kTeamVotes[] =
    "color:rgba(%1); font-family:微软雅黑; font-size:18px; font-weight:500; border-radius:10px";

inline constexpr char kColumnBackground[] = "background-color:rgba(245,245,245,1);";

inline constexpr char kVoterList[] =
    "QListWidget { font-size:20px; font-family:微软雅黑; font-weight:460; color:rgba(51,51,51,1); "
    "line-height:18px; background-color:rgba(245,245,245,1); } "
    "QListWidget::Item:hover { font-size:20px; font-family:微软雅黑; font-weight:460; "
    "color:rgba(51,51,51,1); line-height:18px; } "
    "QListWidget::item:selected { font-size:20px; font-family:微软雅黑; font-weight:460; "
    "color:rgba(51,51,51,1); line-height:18px; } "
    "QListWidget::item:selected:!active { font-size:20px; font-family:微软雅黑; "
    "font-weight:460; color:rgba(51,51,51,1); line-height:18px; }";

inline constexpr char kScrollBar[] =
    "QScrollBar:vertical { width: 4px; background: #ACB2B9; padding-bottom: 8px; } "
    "QScrollBar:horizontal { height: 8px; background: #DDD; } "
    "QScrollBar::handle:vertical, QScrollBar::handle:horizontal { background: #AAA; } "
    "QScrollBar::handle:vertical:hover, QScrollBar::handle:horizontal:hover { background: #888; } "
    "QScrollBar::sub-line:vertical, QScrollBar::add-line:vertical, "
    "QScrollBar::sub-line:horizontal, QScrollBar::add-line:horizontal { width: 0; height: 0; }";

// %1 team colour of the row's team.
inline constexpr char kVoterRow[] =
    "background-color:rgba(0,0,0,0); font-family:黑体; font-size:18px; font-weight:460; "
    "color:rgba(%1); line-height:18px;";

// %1 size, %2 weight, %3 colour.
inline constexpr char kSectionCaption[] =
    "font-size:%1px; font-family:bold; font-weight:%2; color:rgba(%3); line-height:24px; "
    "background-color:rgba(0,0,0,0);";

inline constexpr char kRadio[] =
    "QRadioButton { background:rgba(0,0,0,0); font-size:13px; color:rgba(52,52,52,1); "
    "line-height:18px; } "
    "QRadioButton::indicator { width: 16px; height: 16px; } "
    "QRadioButton::indicator:checked { image: url(:/res/resource/checkBox@check.png); } "
    "QRadioButton::indicator:unchecked { image: url(:/res/resource/checkBox@uncheck.png); }";

inline constexpr char kSwatch[] =
    "QPushButton { background-color:rgba(24,24,24,0.8); border-radius:8px; } "
    "QPushButton:hover { background-color:rgba(24,24,24,0.9); } "
    "QPushButton:pressed { background-color:rgba(24,24,24,1); }";

// %1-%9: red, green, blue of the chosen colour, three times over.
inline constexpr char kSwatchTemplate[] =
    "QPushButton { background-color:rgba(%1,%2,%3,0.8); border-radius:8px; } "
    "QPushButton:hover { background-color:rgba(%4,%5,%6,0.9); } "
    "QPushButton:pressed { background-color:rgba(%7,%8,%9,1); }";

// %1 the scroll bar style, whose vertical rule comes last and wins.
inline constexpr char kTeamBox[] =
    "QComboBox { border: 1px solid rgb(255, 255, 255); border-radius: 10px; background: white; "
    "padding: 1px 2px 1px 2px; padding-left : 16px } "
    "QComboBox::drop-down { subcontrol-origin:padding; subcontrol-position:top right; "
    "width: 20px; border-left-width:1px; border-left-color:white; border-left-style: solid; "
    "border-top-right-radius: 3px; border-bottom-right-radius: 3px; } "
    "QComboBox::down-arrow { image: url(:/res/resource/triangle.png) } "
    "QComboBox QAbstractItemView { border: 0px; outline:0px; "
    "selection-background-color: rgba(255,19,133,1); height:100px; "
    "background: rgb(255,255,255); font:32px; color:black; } "
    "QScrollBar:vertical { border: 0px solid grey; width: 1px; } "
    "QComboBox QAbstractItemView::item { min-height: 60px; min-width: 60px; } %1";

// %1 image path.
inline constexpr char kImageButton[] =
    "QPushButton { border-image: url(%1); background-color:rgba(0,0,0,0); border-radius: 10px; } "
    "QPushButton:hover { background-color:rgba(76,155,255,1); font-size:14px; "
    "font-family:微软雅黑; font-weight:400; color:rgba(255,255,255,1); line-height:18px; } "
    "QPushButton:pressed { background-color:rgb(85, 170, 255); border-style: inset; }";

// The toggle look of the start button (pressed text alpha 0.8) and of the
// start countdown button (alpha 1). %1 text colour, %2 and %3 the gradient's
// left and right stops, %4 border colour, %5 hover background, %6 hover text
// colour, %7 pressed background.
inline constexpr char kToggleStartButton[] =
    "QPushButton { color:rgba(%1); background-color:qlineargradient(spread:pad, x1:0, y1:0, "
    "x2:1, y2:0, stop:0 rgba(%2), stop:1 rgba(%3)); border-style:outset; border-width:1px; "
    "border-color:rgba(%4); border-radius:12px; font:微软雅黑 10px; padding:4px; } "
    "QPushButton:hover { background-color:rgba(%5); color:rgba(%6); } "
    "QPushButton:pressed { background-color:rgba(%7); color:rgba(255,255,255,0.8); "
    "border-style: inset; }";

inline constexpr char kToggleCountdownButton[] =
    "QPushButton { color:rgba(%1); background-color:qlineargradient(spread:pad, x1:0, y1:0, "
    "x2:1, y2:0, stop:0 rgba(%2), stop:1 rgba(%3)); border-style:outset; border-width:1px; "
    "border-color:rgba(%4); border-radius:12px; font:微软雅黑 10px; padding:4px; } "
    "QPushButton:hover { background-color:rgba(%5); color:rgba(%6); } "
    "QPushButton:pressed { background-color:rgba(%7); color:rgba(255,255,255,1); "
    "border-style: inset; }";

// The seven fills of the toggle template, in placeholder order.
struct ToggleFill
{
    const char *values[7];
};

// Counting on, countdown running: a pink gradient with white text.
inline constexpr ToggleFill kRunningFill = {{"255,255,255,1", "255,15,126,1", "255,80,215,1",
                                             "0,0,0,0", "255,15,126,1", "255,255,255,1",
                                             "255,255,255,1"}};
// Stopped: white with a faint grey border.
inline constexpr ToggleFill kStoppedFill = {{"0,0,0,0.8", "255,255,255,1", "255,255,255,1",
                                             "51,51,51,0.1", "200,200,200,0.2", "0,0,0,1",
                                             "51,51,51,0.4"}};

// The gift selector.

// %1 font size, %2 weight, %3 text colour, %4 background colour, %5 corner radius.
inline constexpr char kSelectorLabel[] =
    "font-size:%1px;\t\t\t\t\t\tfont-family:微软雅黑;\t\t\t\t\t\tfont-weight:%2;\t\t\t\t\t\t"
    "color:rgba(%3);\t\t\t\t\t\tbackground-color:rgba(%4);\t\t\t\t\t\tborder-radius:%5px;";

// %1 background colour, %2 corner radius, %3 image path.
inline constexpr char kSelectorImage[] =
    "background-color:rgba(%1);\t\t\t\t\t\tborder-radius:%2px;\t\t\t\t\t\timage:url(%3);";

// The gift selector's confirm button: the cards' pink button.
inline constexpr const char *kConfirmButton = ShellStyles::kCardButton;

inline constexpr char kSelectorPanel[] = "background-color:rgba(239,239,239,1);border-radius:6px;";

// The counting rules' check boxes: the radio buttons' look, their pictures
// included; a locked rule fades.
inline constexpr char kRuleCheck[] =
    "QCheckBox { background:rgba(0,0,0,0); font-size:13px; color:rgba(52,52,52,1); "
    "line-height:18px; } QCheckBox:disabled { color:rgba(52,52,52,0.4); } "
    "QCheckBox::indicator { width: 16px; height: 16px; } "
    "QCheckBox::indicator:checked { image: url(:/res/resource/checkBox@check.png); } "
    "QCheckBox::indicator:unchecked { image: url(:/res/resource/checkBox@uncheck.png); }";

// The records dialog: the selector's card, a white list of past votes.

inline constexpr char kRecordsList[] =
    "QListWidget { background-color:rgba(255,255,255,1); border:0px; border-radius:16px; "
    "padding:6px; outline:0px; font-size:13px; font-family:微软雅黑; color:rgba(51,51,51,1); } "
    "QListWidget::item { padding:6px 8px; border-radius:10px; } "
    "QListWidget::item:hover:!selected { background-color:rgba(51,51,51,0.06); } "
    "QListWidget::item:selected { background-color:rgba(255,19,133,1); color:white; }";

// The selector's confirm button, greyed while it cannot be used.
inline constexpr char kRecordsDisabledButton[] =
    "QPushButton:disabled{background-color:rgba(200,200,200,1); color:rgba(255,255,255,0.9);}";

// Where the records are and what the list shows of a vote: %1 colour.
inline constexpr char kRecordsNote[] =
    "font-size:12px; font-family:微软雅黑; font-weight:400; color:rgba(%1); "
    "background-color:rgba(0,0,0,0);";

// The remote control card: the selector's panel with white sections.

inline constexpr char kRemoteSection[] = "background-color:rgba(255,255,255,1); border-radius:16px;";

// The token and the address: %1 font family.
inline constexpr char kRemoteValue[] =
    "font-size:12px; font-family:%1; color:rgba(51,51,51,1); "
    "background-color:rgba(245,245,245,1); border-radius:8px; padding:0px 8px;";

// The hotkey fields (the line edit inside QKeySequenceEdit).
inline constexpr char kHotkeyEdit[] =
    "QLineEdit { background-color:rgba(245,245,245,1); border:1px solid rgba(51,51,51,0.1); "
    "border-radius:8px; padding-left:8px; font-size:13px; font-family:微软雅黑; "
    "color:rgba(51,51,51,1); } "
    "QLineEdit:focus { border:1px solid rgba(255,19,133,1); }";

// The small white buttons of the card (显示, 复制, 换一个, 清除), dimmed when unusable.
inline constexpr char kRemoteButton[] =
    "QPushButton { color:rgba(0,0,0,0.7); background-color:rgba(255,255,255,1); "
    "border:1px solid rgba(51,51,51,0.15); border-radius:12px; font-size:12px; "
    "font-family:微软雅黑; } "
    "QPushButton:hover { background-color:rgba(200,200,200,0.2); color:rgba(0,0,0,0.9); } "
    "QPushButton:pressed { background-color:rgba(51,51,51,0.2); } "
    "QPushButton:disabled { color:rgba(0,0,0,0.25); border-color:rgba(51,51,51,0.08); }";

} // namespace VoteStyles
