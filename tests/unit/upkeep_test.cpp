// The once-a-second upkeep: the working set is trimmed on every tick through
// a function bound by name once, and a system without it is a fatal error.
#include "core/application.h"
#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

const std::vector<std::string> kSearchOrder = {"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                               "Advapi32.dll", "Mpr.dll",   "Shell32.dll"};

TEST(Upkeep, EveryTickTrimsWithAFunctionBoundOnce) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { EXPECT_EQ(sim.trims, 0); });  // the first tick comes a period after the start
    sim.advance(5000);
    sim.then([&] {
        EXPECT_EQ(sim.trims, 5);
        EXPECT_EQ(sim.libraryLoads, std::vector<std::string>{"Kernel32.dll"});
        EXPECT_TRUE(sim.libraryFrees.empty());
        // Also while a modal window is open.
        sim.press(Key::F1);
    });
    sim.advance(3000);
    sim.then([&] {
        EXPECT_NE(sim.windowByCaption("设置"), 0u);
        EXPECT_EQ(sim.trims, 8);
        EXPECT_TRUE(sim.shutdown.calls.empty());
        sim.press(Key::Escape);
    });
    sim.then([&] { sim.closeBox(mainWindow(sim)); });
    EXPECT_EQ(runProgramOn(sim), 0);
    // The library that had the function stays loaded until the very end.
    EXPECT_EQ(sim.libraryFrees, std::vector<std::string>{"Kernel32.dll"});
}

TEST(Upkeep, SearchesTheLibrariesInOrderAndKeepsTheFirstThatHasTheFunction) {
    TempRoot root;
    SimDesktop::Options options = optionsFor(root);
    options.librariesWithTrim = {"Shell32.dll", "Mpr.dll"};
    SimDesktop sim(options);
    sim.advance(3000);
    sim.then([&] {
        EXPECT_EQ(sim.trims, 3);
        EXPECT_EQ(sim.libraryLoads, (std::vector<std::string>{"Kernel32.dll", "Gdi32.dll", "User32.dll",
                                                              "Advapi32.dll", "Mpr.dll"}));
        EXPECT_EQ(sim.libraryFrees,
                  (std::vector<std::string>{"Kernel32.dll", "Gdi32.dll", "User32.dll", "Advapi32.dll"}));
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(Upkeep, NoLibraryWithTheFunctionIsAFatalErrorBeforeTheShutdownCheck) {
    TempRoot root;
    SimDesktop::Options options = optionsFor(root);
    options.librariesWithTrim.clear();
    SimDesktop sim(options);
    // Armed for the current minute: the first tick would power off, were the
    // trim not first.
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"实用工具", "定时关机（挂机专用）"}); });
    sim.then([&] {
        sim.type("14");
        sim.press(Key::Tab);
        sim.type("5");
    });
    sim.then([&] { sim.click(sim.controlByText(sim.windowByCaption("定时关机"), "确定")); });
    sim.advance(1000);
    EXPECT_EQ(runProgramOn(sim), -1);
    ASSERT_EQ(sim.messageBoxes.size(), 1u);
    EXPECT_EQ(sim.messageBoxes[0].text,
              Application::fatalErrorText("无法找到指定DLL库文件中的输出命令“SetProcessWorkingSetSize”", 0));
    EXPECT_EQ(sim.messageBoxes[0].caption, "错误");
    EXPECT_EQ(sim.messageBoxes[0].flags, 0x10u);
    EXPECT_EQ(sim.libraryLoads, kSearchOrder);
    EXPECT_EQ(sim.libraryFrees, kSearchOrder);
    EXPECT_EQ(sim.trims, 0);
    EXPECT_TRUE(sim.shutdown.shutdownCalls().empty());
    // Nothing is saved on the way out.
    EXPECT_FALSE(iniExists(root));
}

}  // namespace
}  // namespace wgs
