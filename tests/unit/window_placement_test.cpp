// A window that cannot be seen cannot be used: the main window opens at its
// saved place while any part of its caption bar is on a monitor, and centred
// on the primary monitor with its saved size when none is.
#include "browsing/window_placement.h"

#include <climits>

#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

const Rect kPrimary{0, 0, 1024, 768};
const Rect kRightOfPrimary{1024, 0, 1280, 1024};
const Rect kLeftOfPrimary{-1280, -200, 1280, 1024};

TEST(ReachablePlace, KeepsAnyPlaceWithACaptionBarOnAMonitor) {
    struct Case {
        const char* what;
        Place saved;
        Size size;
        std::vector<Rect> monitors;
        Place expected;
    };
    const Size normal{900, 660};
    const Place centred{62, 54};  // (1024 - 900) / 2, (768 - 660) / 2
    const Case cases[] = {
        {"the defaults", {50, 50}, normal, {kPrimary}, {50, 50}},
        {"dragged partly off the left edge", {-8, 50}, normal, {kPrimary}, {-8, 50}},
        {"one column left on the screen", {-899, 50}, normal, {kPrimary}, {-899, 50}},
        {"no column left on the screen", {-900, 50}, normal, {kPrimary}, centred},
        {"right of the screen", {1024, 50}, normal, {kPrimary}, centred},
        {"one row of caption at the bottom", {50, 767}, normal, {kPrimary}, {50, 767}},
        {"below the screen", {50, 768}, normal, {kPrimary}, centred},
        {"the caption bar's last row at the top",
         {50, 1 - kCaptionBarHeight},
         normal,
         {kPrimary},
         {50, 1 - kCaptionBarHeight}},
        {"the caption bar above the screen, the rest on it",
         {50, -kCaptionBarHeight},
         normal,
         {kPrimary},
         centred},
        {"on the second monitor", {1500, 100}, normal, {kPrimary, kRightOfPrimary}, {1500, 100}},
        {"on a monitor that is gone", {1500, 100}, normal, {kPrimary}, centred},
        {"on a monitor left of the primary",
         {-1000, -150},
         normal,
         {kPrimary, kLeftOfPrimary},
         {-1000, -150}},
        {"between two monitors, on neither", {-1000, 900}, normal, {kPrimary, kLeftOfPrimary}, centred},
        {"a primary monitor away from the origin", {0, 0}, normal, {Rect{1920, 0, 1024, 768}}, {1982, 54}},
        {"taller than the screen: the caption stays on it", {50, 5000}, Size{900, 2000}, {kPrimary}, {62, 0}},
        {"wider than the screen: centred across it", {50, 5000}, Size{2024, 660}, {kPrimary}, {-500, 54}},
        {"hand-edited extremes", {INT_MAX, INT_MIN}, normal, {kPrimary}, centred},
        {"a window without size", {5000, 5000}, Size{0, 0}, {kPrimary}, {512, 384}},
        {"no monitor known: nothing to go by", {5000, 5000}, normal, {}, {5000, 5000}},
    };
    for (const Case& c : cases) {
        const Place got = reachablePlace(c.saved, c.size, c.monitors);
        EXPECT_EQ(got.left, c.expected.left) << c.what;
        EXPECT_EQ(got.top, c.expected.top) << c.what;
    }
}

// The whole program, started from a saved place on one or two monitors.
struct Start {
    const char* what;
    std::vector<Rect> extraMonitors;
    int left, top;
    Rect expected;
};

// Parameters are shown by name: gtest would otherwise print their bytes,
// padding and unused string buffers included.
void PrintTo(const Start& c, std::ostream* os) {
    *os << c.what;
}

class MainWindowPlace : public ::testing::TestWithParam<Start> {};

TEST_P(MainWindowPlace, OpensWhereItCanBeSeen) {
    const Start& s = GetParam();
    TempRoot root;
    writeIni(root, kSectionLine + "未知=留着\r\n高度=660\r\n宽度=900\r\n左边=" + std::to_string(s.left) +
                       "\r\n顶边=" + std::to_string(s.top) + "\r\n");
    SimDesktop::Options options = optionsFor(root);
    options.extraMonitors = s.extraMonitors;
    SimDesktop sim(options);
    sim.then([&] {
        const Handle main = mainWindow(sim);
        ASSERT_NE(main, 0u);
        EXPECT_EQ(sim.rect(main), s.expected);
        EXPECT_TRUE(sim.visible(main));
        sim.closeBox(main);
    });
    EXPECT_EQ(runProgramOn(sim), 0);
    // The place it was shown at is the one saved; nothing else changes.
    EXPECT_EQ(iniBytes(root),
              kSectionLine + "未知=留着\r\n高度=660\r\n宽度=900\r\n左边=" + std::to_string(s.expected.left) +
                  "\r\n顶边=" + std::to_string(s.expected.top) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    OneAndTwoMonitors, MainWindowPlace,
    ::testing::Values(Start{"partly off the left edge", {}, -8, 50, Rect{-8, 50, 900, 660}},
                      Start{"on the second monitor", {kRightOfPrimary}, 1500, 100, Rect{1500, 100, 900, 660}},
                      Start{"the second monitor unplugged", {}, 1500, 100, Rect{62, 54, 900, 660}},
                      Start{"a hand edit far above", {kRightOfPrimary}, 100, -5000, Rect{62, 54, 900, 660}}),
    [](const ::testing::TestParamInfo<Start>& info) { return "Case" + std::to_string(info.index); });

}  // namespace
}  // namespace wgs
