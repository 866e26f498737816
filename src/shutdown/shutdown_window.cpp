#include "shutdown/shutdown_window.h"

#include "shutdown/upkeep.h"

namespace wgs {

namespace {

ControlDescription control(int number, ControlKind kind, const Text& name, Rect rect) {
    ControlDescription c;
    c.number = number;
    c.kind = kind;
    c.name = name;
    c.rect = rect;
    return c;
}

ControlDescription label(int number, const Text& name, Rect rect, const Text& caption) {
    ControlDescription c = control(number, ControlKind::Label, name, rect);
    c.settings.text = caption;
    c.settings.hasText = true;
    return c;
}

// Hour and minute boxes take only '-' and digits. A typed 0 stays "0", so that
// 0 o'clock and the full hour can be armed.
ControlDescription numberBox(int number, const Text& name, Rect rect, int tabOrder) {
    ControlDescription c = control(number, ControlKind::EditBox, name, rect);
    c.tabStop = true;
    c.tabOrder = tabOrder;
    c.settings.inputMode = InputMode::IntegerKeepZero;
    return c;
}

}  // namespace

WindowDescription ShutdownWindow::describe(Application& app) {
    WindowDescription d;
    d.number = kWindow;

    d.self.number = kSelf;
    d.self.kind = ControlKind::Window;
    d.self.rect = Rect{50, 50, 174, 131};
    d.self.events = {on(event::kCreated, [&app] { ShutdownWindow(app).onCreated(); })};

    WindowSettings& w = d.settings;
    w.caption = "定时关机";
    w.border = Border::Fixed;
    w.controlBox = true;
    w.maximizeButton = false;
    w.minimizeButton = false;
    w.startPosition = StartPosition::Centered;
    w.movable = true;
    w.enterMovesFocus = false;
    w.escCloses = true;
    w.showInTaskbar = true;
    w.alwaysOnTop = false;

    ControlDescription timer = control(kTimer, ControlKind::Timer, "时钟1", Rect{80, 0, 32, 32});
    timer.visible = false;
    timer.settings.periodMs = 1000;
    timer.events = {on(event::kPeriodic, [&app] { ShutdownWindow(app).onClockTick(); })};

    ControlDescription confirm = control(kConfirm, ControlKind::Button, "按钮1", Rect{45, 71, 74, 23});
    confirm.tabStop = true;
    confirm.tabOrder = 2;
    confirm.settings.text = "确定";
    confirm.settings.hasText = true;
    confirm.events = {on(event::kClicked, [&app] { ShutdownWindow(app).onConfirm(); })};

    ControlDescription minuteBox = numberBox(kMinuteBox, "编辑框2", Rect{86, 40, 56, 24}, 1);
    minuteBox.events = {on(event::kTextChanged, [&app] { ShutdownWindow(app).onMinuteChanged(); })};
    ControlDescription hourBox = numberBox(kHourBox, "编辑框1", Rect{10, 40, 56, 24}, 0);
    hourBox.events = {on(event::kTextChanged, [&app] { ShutdownWindow(app).onHourChanged(); })};

    // The clock line keeps the kind's default caption until the created handler sets the time.
    ControlDescription clockLine = control(kClockLine, ControlKind::Label, "标签1", Rect{4, 8, 160, 24});

    d.controls = {
        timer,     confirm, label(kMinuteLabel, "标签3", Rect{147, 40, 10, 24}, "分"),
        minuteBox, hourBox, label(kHourLabel, "标签2", Rect{69, 40, 10, 24}, "时"),
        clockLine,
    };
    return d;
}

void ShutdownWindow::onCreated() {
    applyVisualStyle(app_, 1);
    showCurrentTime();
}

void ShutdownWindow::onClockTick() {
    showCurrentTime();
}

void ShutdownWindow::onHourChanged() {
    capBox(kHourBox, kLatestHour);
}

void ShutdownWindow::onMinuteChanged() {
    capBox(kMinuteBox, kLatestMinute);
}

void ShutdownWindow::onConfirm() {
    if (isEmptyText(hourText())) return;
    if (isEmptyText(minuteText())) return;
    const std::int32_t hour = textToInt(hourText());
    const std::int32_t minute = textToInt(minuteText());
    // A time that can never come must not look armed.
    if (hour < 0 || hour > kLatestHour || minute < 0 || minute > kLatestMinute) return;
    ShutdownSchedule& schedule = app_.schedule();
    schedule.hour = hour;
    schedule.minute = minute;
    schedule.armed = 1;
    app_.windows().destroyWindow(kWindow);
}

Text ShutdownWindow::hourText() {
    return app_.windows().readText(kWindow, kHourBox, prop::kText);
}

Text ShutdownWindow::minuteText() {
    return app_.windows().readText(kWindow, kMinuteBox, prop::kText);
}

void ShutdownWindow::showCurrentTime() {
    app_.windows().writeText(kWindow, kClockLine, prop::kCaption,
                             dateTimeToText(currentDateTime(app_.platform())));
}

void ShutdownWindow::capBox(int box, int latest) {
    // The write raises text changed once more; that run finds the cap and stops.
    if (textToInt(app_.windows().readText(kWindow, box, prop::kText)) > latest) {
        app_.windows().writeText(kWindow, box, prop::kText, intToText(latest));
    }
}

}  // namespace wgs
