#pragma once
// The preview's control numbers. Each widget is named "c" and its number, which is how the main
// dialog, the skin's tests and the screen pictures find it.
namespace ctl {
constexpr int kPictureArea = 1105;
constexpr int kViewFirst = 1106;
constexpr int kViewReverse = 1107;
constexpr int kViewLast = 1108;
constexpr int kViewNext = 1109;
constexpr int kViewStop = 1110;
constexpr int kViewPrevious = 1111;
constexpr int kViewForward = 1112;
constexpr int kPlayHourCaption = 1113;
constexpr int kPlayMinuteCaption = 1114;
constexpr int kPlayCamera = 1115;
constexpr int kDayList = 1116;
constexpr int kSpeedSlider = 1122;
constexpr int kSpeedCaption = 1125;
constexpr int kDayListCaption = 1126;
constexpr int kPlayCameraCaption = 1127;
constexpr int kSpeedSlow = 1130;
constexpr int kSpeedFast = 1131;
constexpr int kPlayHour = 1132;
constexpr int kPlayMinute = 1133;
}  // namespace ctl
