#pragma once

// Looks of the vote window, each under one name. Templates carry %1..%n,
// filled with QString::arg in ascending order.
namespace VoteStyles {

// %1 font size in px, %2 font weight.
inline constexpr char kTitleText[] =
    "font-size:%1px; font-family:微软雅黑; font-weight:%2; color:rgba(51,51,51,0.8); "
    "line-height:24px; background-color:rgba(0,0,0,0);";

inline constexpr char kFrameBackground[] =
    "background-color:rgba(214,214,214,1);border-radius:6px;";

} // namespace VoteStyles
