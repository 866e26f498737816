// The timed power-off as the user sets it and as the operating system sees
// it: requests on the virtual clock, through the fake shutdown functions.
#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

struct ShutdownControls {
    Handle window = 0;
    Handle hour = 0;    // 编辑框1
    Handle minute = 0;  // 编辑框2
    Handle confirm = 0;
    Handle clockLine = 0;  // 标签1
};

ShutdownControls shutdownWindow(const SimDesktop& sim) {
    ShutdownControls s;
    s.window = sim.windowByCaption("定时关机");
    if (s.window == 0) return s;
    const std::vector<Handle> edits = controlsOfType(sim, s.window, ControlType::EditBox);
    if (edits.size() == 2) {
        s.minute = edits[0];  // described before the hour box
        s.hour = edits[1];
    }
    const std::vector<Handle> labels = controlsOfType(sim, s.window, ControlType::Label);
    if (!labels.empty()) s.clockLine = labels.back();
    s.confirm = sim.controlByText(s.window, "确定");
    return s;
}

void openShutdownWindow(SimDesktop& sim) {
    sim.then([&sim] { sim.chooseMenu(mainWindow(sim), {"实用工具", "定时关机（挂机专用）"}); });
}

// Types the hour, tabs to the minute box, types the minute and clicks 确定.
void enterTime(SimDesktop& sim, const std::string& hour, const std::string& minute) {
    openShutdownWindow(sim);
    sim.then([&sim, hour] {
        const ShutdownControls s = shutdownWindow(sim);
        ASSERT_NE(s.window, 0u);
        EXPECT_EQ(sim.focus(), s.hour);
        sim.type(hour);
        sim.press(Key::Tab);
    });
    sim.then([&sim, minute] {
        EXPECT_EQ(sim.focus(), shutdownWindow(sim).minute);
        sim.type(minute);
    });
    sim.then([&sim] { sim.click(shutdownWindow(sim).confirm); });
}

void armAndExpectClosed(SimDesktop& sim, const std::string& hour, const std::string& minute) {
    enterTime(sim, hour, minute);
    sim.then([&sim] {
        EXPECT_EQ(shutdownWindow(sim).window, 0u);
        EXPECT_TRUE(sim.enabled(mainWindow(sim)));
    });
}

CalendarFields at(int day, int hour, int minute, int second) {
    return CalendarFields{2012, 12, day, hour, minute, second};
}

std::size_t powerOffs(const SimDesktop& sim) {
    std::size_t n = 0;
    for (const auto& call : sim.shutdown.shutdownCalls()) {
        EXPECT_EQ(call.function, "ExitWindowsEx");
        EXPECT_EQ(call.a, 0xCu);  // power off, forced
        EXPECT_EQ(call.b, 0u);    // reason
        ++n;
    }
    return n;
}

void finish(SimDesktop& sim) {
    sim.then([&sim] { sim.closeBox(mainWindow(sim)); });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(TimedShutdown, ArmedMinuteRequestsOnEveryTickAndAgainTheNextDay) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));  // starts 30 December 2012, 14:05:07
    armAndExpectClosed(sim, "23", "59");
    sim.advanceToLocal(at(30, 23, 58, 59));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 0u); });
    sim.advanceToLocal(at(30, 23, 59, 0));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 1u); });
    sim.advanceToLocal(at(30, 23, 59, 59));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 60u); });
    sim.advanceToLocal(at(31, 0, 0, 0));
    sim.advanceToLocal(at(31, 23, 58, 59));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 60u); });
    sim.advanceToLocal(at(31, 23, 59, 9));
    sim.then([&] {
        EXPECT_EQ(powerOffs(sim), 70u);
        // Each request enabled the privilege with a token of its own and closed it.
        int opened = 0, closed = 0;
        for (const auto& call : sim.shutdown.calls) {
            opened += call.function == "OpenProcessToken";
            closed += call.function == "CloseHandle";
        }
        EXPECT_EQ(opened, 70);
        EXPECT_EQ(closed, 70);
        // The program is still running: the fake took the requests.
        EXPECT_NE(mainWindow(sim), 0u);
    });
    finish(sim);
}

TEST(TimedShutdown, ArmedWithinTheMinuteFiresOnTheNextTick) {
    TempRoot root;
    SimDesktop::Options options = optionsFor(root);
    options.startTime = at(30, 10, 30, 45);
    SimDesktop sim(options);
    armAndExpectClosed(sim, "10", "30");
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 0u); });
    sim.advance(1000);
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 1u); });
    finish(sim);
}

struct ArmCase {
    const char* name;
    std::string hour, minute;
    CalendarFields before, during;
};

// Parameters are shown by name: gtest would otherwise print their bytes,
// padding and unused string buffers included.
void PrintTo(const ArmCase& c, std::ostream* os) {
    *os << c.name;
}

class ArmingFullHours : public testing::TestWithParam<ArmCase> {};

// A typed 0 stays in the box, so the full hour and midnight can be armed.
TEST_P(ArmingFullHours, FiresInThatMinute) {
    const ArmCase& c = GetParam();
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    armAndExpectClosed(sim, c.hour, c.minute);
    sim.advanceToLocal(c.before);
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 0u); });
    sim.advanceToLocal(c.during);
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 1u); });
    finish(sim);
}

INSTANTIATE_TEST_SUITE_P(
    TimedShutdown, ArmingFullHours,
    testing::Values(ArmCase{"TwentyThreeHundred", "23", "0", at(30, 22, 59, 59), at(30, 23, 0, 0)},
                    ArmCase{"Midnight", "0", "0", at(30, 23, 59, 59), at(31, 0, 0, 0)},
                    ArmCase{"DoubleZero", "00", "00", at(30, 23, 59, 59), at(31, 0, 0, 0)},
                    ArmCase{"MinuteAboveFiftyNine", "15", "75", at(30, 15, 58, 59), at(30, 15, 59, 0)}),
    [](const testing::TestParamInfo<ArmCase>& info) { return std::string(info.param.name); });

TEST(TimedShutdown, BoxesCapHourAndMinuteAsTheyAreTyped) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    openShutdownWindow(sim);
    sim.then([&] { sim.type("7"); });
    sim.then([&] {
        EXPECT_EQ(sim.text(shutdownWindow(sim).hour), "7");
        sim.type("5");
    });
    sim.then([&] {
        EXPECT_EQ(sim.text(shutdownWindow(sim).hour), "23");
        sim.press(Key::Tab);
        sim.type("75");
    });
    sim.then([&] {
        EXPECT_EQ(sim.text(shutdownWindow(sim).minute), "59");
        sim.press(Key::Tab);
    });
    sim.then([&] {
        const ShutdownControls s = shutdownWindow(sim);
        EXPECT_EQ(sim.text(s.hour), "23");
        EXPECT_EQ(sim.text(s.minute), "59");
        // Pasted text is not filtered; it reads as 0 until the box is left.
        sim.click(s.minute);
        sim.selectAll();
        sim.paste("4294967296");
    });
    sim.then([&] {
        EXPECT_EQ(sim.text(shutdownWindow(sim).minute), "4294967296");
        sim.press(Key::Tab);
    });
    sim.then([&] {
        EXPECT_EQ(sim.text(shutdownWindow(sim).minute), "59");
        sim.press(Key::Escape);
    });
    finish(sim);
}

struct NotArmed {
    const char* name;
    std::string hour, minute;
};

void PrintTo(const NotArmed& c, std::ostream* os) {
    *os << c.name;
}

class ConfirmingWithoutAValidTime : public testing::TestWithParam<NotArmed> {};

TEST_P(ConfirmingWithoutAValidTime, KeepsTheWindowOpenAndArmsNothing) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    enterTime(sim, GetParam().hour, GetParam().minute);
    sim.then([&] {
        const ShutdownControls s = shutdownWindow(sim);
        ASSERT_NE(s.window, 0u);
        EXPECT_FALSE(sim.enabled(mainWindow(sim)));
        sim.press(Key::Escape);
    });
    // A whole day passes without a request.
    sim.advanceToLocal(at(31, 14, 5, 7));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 0u); });
    finish(sim);
}

INSTANTIATE_TEST_SUITE_P(TimedShutdown, ConfirmingWithoutAValidTime,
                         testing::Values(NotArmed{"NegativeHour", "-5", "30"},
                                         NotArmed{"NegativeMinute", "14", "-6"},
                                         NotArmed{"EmptyHour", "", "30"}, NotArmed{"EmptyMinute", "14", ""},
                                         NotArmed{"LoneMinus", "-", "30"}),
                         [](const testing::TestParamInfo<NotArmed>& info) {
                             return std::string(info.param.name);
                         });

TEST(TimedShutdown, ArmingAgainReplacesTheTime) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    armAndExpectClosed(sim, "15", "0");
    armAndExpectClosed(sim, "15", "1");
    sim.advanceToLocal(at(30, 15, 0, 59));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 0u); });
    sim.advanceToLocal(at(30, 15, 1, 0));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 1u); });
    finish(sim);
}

struct Dismiss {
    const char* name;
    bool useCloseBox;
};

void PrintTo(const Dismiss& c, std::ostream* os) {
    *os << c.name;
}

class LeavingTheShutdownWindow : public testing::TestWithParam<Dismiss> {};

TEST_P(LeavingTheShutdownWindow, KeepsTheEarlierSchedule) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    armAndExpectClosed(sim, "15", "0");
    openShutdownWindow(sim);
    sim.then([&] {
        // The armed time is not shown; the boxes start empty.
        const ShutdownControls s = shutdownWindow(sim);
        EXPECT_EQ(sim.text(s.hour), "");
        EXPECT_EQ(sim.text(s.minute), "");
        sim.type("16");
        sim.press(Key::Tab);
        sim.type("10");
    });
    sim.then([&] {
        if (GetParam().useCloseBox) {
            sim.closeBox(shutdownWindow(sim).window);
        } else {
            sim.press(Key::Escape);
        }
    });
    sim.then([&] { EXPECT_EQ(shutdownWindow(sim).window, 0u); });
    sim.advanceToLocal(at(30, 15, 0, 0));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 1u); });
    sim.advanceToLocal(at(30, 16, 11, 0));
    sim.then([&] { EXPECT_EQ(powerOffs(sim), 60u); });
    finish(sim);
}

INSTANTIATE_TEST_SUITE_P(TimedShutdown, LeavingTheShutdownWindow,
                         testing::Values(Dismiss{"Esc", false}, Dismiss{"CloseBox", true}),
                         [](const testing::TestParamInfo<Dismiss>& info) {
                             return std::string(info.param.name);
                         });

TEST(TimedShutdown, ClockLineShowsTheShortestForm) {
    TempRoot root;
    SimDesktop::Options options = optionsFor(root);
    options.startTime = at(30, 13, 59, 59);
    SimDesktop sim(options);
    openShutdownWindow(sim);
    sim.then([&] {
        const ShutdownControls s = shutdownWindow(sim);
        EXPECT_EQ(sim.rect(s.window), (Rect{425, 318, 174, 131}));  // centred on the screen
        EXPECT_EQ(sim.text(s.clockLine), "2012年12月30日13时59分59秒");
    });
    sim.advance(1000);
    sim.then([&] { EXPECT_EQ(sim.text(shutdownWindow(sim).clockLine), "2012年12月30日14时"); });
    sim.advance(1000);
    sim.then([&] {
        EXPECT_EQ(sim.text(shutdownWindow(sim).clockLine), "2012年12月30日14时0分1秒");
        sim.press(Key::Escape);
    });
    finish(sim);
}

TEST(TimedShutdown, ArmedScheduleFiresWhileAModalWindowIsOpen) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    armAndExpectClosed(sim, "14", "6");
    openShutdownWindow(sim);
    sim.then([&] { EXPECT_NE(shutdownWindow(sim).window, 0u); });
    sim.advanceToLocal(at(30, 14, 6, 2));
    sim.then([&] {
        EXPECT_EQ(powerOffs(sim), 3u);  // 14:06:00, :01 and :02
        EXPECT_FALSE(sim.enabled(mainWindow(sim)));
        sim.press(Key::Escape);
    });
    finish(sim);
}

}  // namespace
}  // namespace wgs
