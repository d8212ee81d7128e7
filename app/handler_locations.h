// The location texts the "Application Error" report names for the window's trapped handlers.
// The trailing space belongs to each text.
#pragma once

#include <string_view>

namespace quarrytab::locations {

inline constexpr std::string_view kFormLoad = "in Quarrytab2021/08/31.Form1.Form_Load ";
inline constexpr std::string_view kPushButton1 = "in Quarrytab2021/08/31.Form1.PushButton1_Click ";
inline constexpr std::string_view kPushButton2 = "in Quarrytab2021/08/31.Form1.PushButton2_Click ";
inline constexpr std::string_view kPushButton3 = "in Quarrytab2021/08/31.Form1.PushButton3_Click ";
inline constexpr std::string_view kPushButton4 = "in Quarrytab2021/08/31.Form1.PushButton4_Click ";
inline constexpr std::string_view kPushButton5 = "in Quarrytab2021/08/31.Form1.PushButton5_Click ";
inline constexpr std::string_view kPushButton6 = "in Quarrytab2021/08/31.Form1.PushButton6_Click ";
inline constexpr std::string_view kPushButton7 = "in Quarrytab2021/08/31.Form1.PushButton7_Click ";
inline constexpr std::string_view kPushButton8 = "in Quarrytab2021/08/31.Form1.PushButton8_Click ";
inline constexpr std::string_view kPushButton9 = "in Quarrytab2021/08/31.Form1.PushButton9_Click ";
inline constexpr std::string_view kPushButton10 =
    "in Quarrytab2021/08/31.Form1.PushButton10_Click ";

}  // namespace quarrytab::locations
