// 定时关机: the window in which the user picks the hour and minute of local
// time at which the computer is powered off.
#pragma once

#include "core/application.h"

namespace wgs {

class ShutdownWindow {
public:
    static constexpr int kWindow = 3000;
    static constexpr int kSelf = 3001;
    static constexpr int kTimer = 3002;        // 时钟1
    static constexpr int kConfirm = 3003;      // 按钮1, 确定
    static constexpr int kMinuteLabel = 3004;  // 标签3, 分
    static constexpr int kMinuteBox = 3005;    // 编辑框2
    static constexpr int kHourBox = 3006;      // 编辑框1
    static constexpr int kHourLabel = 3007;    // 标签2, 时
    static constexpr int kClockLine = 3008;    // 标签1

    static constexpr int kLatestHour = 23;
    static constexpr int kLatestMinute = 59;

    static WindowDescription describe(Application& application);

    explicit ShutdownWindow(Application& application) : app_(application) {}

    void onCreated();
    void onClockTick();
    void onHourChanged();
    void onMinuteChanged();
    void onConfirm();

private:
    Text hourText();
    Text minuteText();
    void showCurrentTime();
    // Replaces a value above `latest` by `latest` at once.
    void capBox(int box, int latest);

    Application& app_;
};

}  // namespace wgs
