#pragma once

// Looks shared by the frameless shell windows.
namespace ShellStyles {

// Title text of the reminder card and the gift selector.
inline constexpr char kCardTitle[] =
    "font-size:14px;font-family:微软雅黑;font-weight:600;color:rgba(51,51,51,1);"
    "line-height:24px;background-color:rgba(242,242,242,0);";

// The pink call-to-action button of the cards.
inline constexpr char kCardButton[] =
    "QPushButton { background-color:qlineargradient(spread:pad, x1:1, y1:0, x2:0, y2:0, "
    "stop:0 #FF45A6, stop:0.5 #FF1385); color: white; border-radius: 20px; border-width:0; "
    "border-style:outset; } "
    "QPushButton:hover { background-color:rgba(255,19,133,1); color: white; } "
    "QPushButton:pressed { background-color:rgb(85, 170, 255); border-style: inset; }";

// Drop shadow of every card: offset (0, 10), black at alpha 48, blur 40.
inline constexpr int kShadowOffsetY = 10;
inline constexpr int kShadowAlpha = 48;
inline constexpr int kShadowBlur = 40;

} // namespace ShellStyles
