// The main window as the user and yxq.ini see it: where it opens, what it
// shows, and what it leaves in the file when it goes.
#include <functional>

#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

// The pane covers the client area exactly.
void expectPaneFillsClientArea(const SimDesktop& sim, Handle main) {
    const Rect client = sim.clientRect(main);
    EXPECT_EQ(sim.browserRect(sim.browserOf(main)), (Rect{0, 0, client.width, client.height}));
}

TEST(MainWindow, FirstStartWithoutConfigurationUsesTheDefaultsAndWritesNothing) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] {
        const Handle main = mainWindow(sim);
        ASSERT_NE(main, 0u);
        EXPECT_EQ(sim.caption(main), "未设置名称   V1.3");
        EXPECT_EQ(sim.rect(main), (Rect{50, 50, 900, 660}));
        EXPECT_TRUE(sim.visible(main));
        expectPaneFillsClientArea(sim, main);
        EXPECT_EQ(navigatedAddresses(sim), std::vector<std::string>{"about:blank"});
        EXPECT_FALSE(iniExists(root));
        sim.closeBox(main);
    });
    EXPECT_EQ(runProgramOn(sim), 0);
    EXPECT_EQ(iniBytes(root), kSectionLine + "高度=660\r\n宽度=900\r\n左边=50\r\n顶边=50\r\n");
}

TEST(MainWindow, PaneFollowsEverySizeChange) {
    TempRoot root;
    SimDesktop::Options options = optionsFor(root);
    options.frame.border = 3;  // thin frames must not clip or uncover the page
    options.frame.caption = 22;
    options.screenWidth = 1600;
    options.screenHeight = 1200;
    SimDesktop sim(options);
    sim.then([&] { expectPaneFillsClientArea(sim, mainWindow(sim)); });
    sim.then([&] { sim.userResize(mainWindow(sim), 1200, 800); });
    sim.then([&] {
        const Handle main = mainWindow(sim);
        EXPECT_EQ(sim.rect(main), (Rect{50, 50, 1200, 800}));
        expectPaneFillsClientArea(sim, main);
        sim.minimize(main);
    });
    sim.then([&] { sim.restore(mainWindow(sim)); });
    sim.then([&] {
        expectPaneFillsClientArea(sim, mainWindow(sim));
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(MainWindow, OpensWhereTheFileSaysWithTheSavedGame) {
    TempRoot root;
    writeIni(root, kSectionLine +
                       "名称=造梦西游\r\n地址=http://game.example/play\r\n高度=700\r\n宽度=1000\r\n"
                       "左边=-10\r\n顶边=20\r\n");
    SimDesktop sim(optionsFor(root));
    sim.then([&] {
        const Handle main = mainWindow(sim);
        ASSERT_NE(main, 0u);
        EXPECT_EQ(sim.caption(main), "造梦西游   V1.3");
        EXPECT_EQ(sim.rect(main), (Rect{-10, 20, 1000, 700}));
        EXPECT_EQ(navigatedAddresses(sim), std::vector<std::string>{"http://game.example/play"});
        sim.closeBox(main);
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(MainWindow, EmptySavedNameLeavesOnlyTheVersion) {
    TempRoot root;
    writeIni(root, kSectionLine + "名称=\r\n");
    SimDesktop sim(optionsFor(root));
    sim.then([&] {
        EXPECT_NE(sim.windowByCaption("   V1.3"), 0u);
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

struct WayOut {
    const char* name;
    std::function<void(SimDesktop&, Handle)> close;
};

// Parameters are shown by name: gtest would otherwise print their bytes,
// padding and unused string buffers included.
void PrintTo(const WayOut& c, std::ostream* os) {
    *os << c.name;
}

class ClosingTheMainWindow : public testing::TestWithParam<WayOut> {};

// The window moved partly off the screen and resized by the user, then closed.
TEST_P(ClosingTheMainWindow, WritesTheGeometryHeightFirst) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] {
        sim.userMove(mainWindow(sim), -10, 20);
        sim.userResize(mainWindow(sim), 1000, 700);
    });
    sim.then([&] { GetParam().close(sim, mainWindow(sim)); });
    EXPECT_EQ(runProgramOn(sim), 0);
    EXPECT_EQ(iniBytes(root), kSectionLine + "高度=700\r\n宽度=1000\r\n左边=-10\r\n顶边=20\r\n");
}

TEST_P(ClosingTheMainWindow, WhileMinimizedKeepsWhatWasSaved) {
    TempRoot root;
    const std::string saved = kSectionLine + "高度=500\r\n宽度=600\r\n左边=70\r\n顶边=80\r\n";
    writeIni(root, saved);
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.minimize(mainWindow(sim)); });
    sim.then([&] { GetParam().close(sim, mainWindow(sim)); });
    EXPECT_EQ(runProgramOn(sim), 0);
    EXPECT_EQ(iniBytes(root), saved);
}

INSTANTIATE_TEST_SUITE_P(
    MainWindow, ClosingTheMainWindow,
    testing::Values(WayOut{"CloseBox", [](SimDesktop& sim, Handle main) { sim.closeBox(main); }},
                    WayOut{"QuitCommand",
                           [](SimDesktop& sim, Handle main) {
                               sim.chooseMenu(main, {"程序选项", "退出程序"});
                           }}),
    [](const testing::TestParamInfo<WayOut>& info) { return std::string(info.param.name); });

TEST(MainWindow, ClosingWhileMinimizedWithoutAFileLeavesNoFile) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.minimize(mainWindow(sim)); });
    sim.then([&] { sim.closeBox(mainWindow(sim)); });
    EXPECT_EQ(runProgramOn(sim), 0);
    EXPECT_FALSE(iniExists(root));
}

}  // namespace
}  // namespace wgs
