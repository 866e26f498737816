// The settings window (F1): what it shows, what saving stores in yxq.ini and
// shows at once, and what leaving it without saving keeps.
#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

struct SettingsBoxes {
    Handle window = 0;
    Handle name = 0;     // 编辑框1
    Handle address = 0;  // 编辑框2
    Handle save = 0;
};

SettingsBoxes settingsWindow(const SimDesktop& sim) {
    SettingsBoxes s;
    s.window = sim.windowByCaption("设置");
    if (s.window == 0) return s;
    const std::vector<Handle> edits = controlsOfType(sim, s.window, ControlType::EditBox);
    if (edits.size() == 2) {
        s.address = edits[0];  // described before the name box
        s.name = edits[1];
    }
    s.save = sim.controlByText(s.window, "保存");
    return s;
}

// Opens the window with F1, replaces what the two boxes hold and presses 保存.
void editAndSave(SimDesktop& sim, const std::string& name, const std::string& address) {
    sim.then([&sim] { sim.press(Key::F1); });
    sim.then([&sim, name] {
        const SettingsBoxes s = settingsWindow(sim);
        ASSERT_NE(s.window, 0u);
        EXPECT_EQ(sim.focus(), s.name);
        replaceFocusedText(sim, name);
        sim.press(Key::Tab);
    });
    sim.then([&sim, address] {
        EXPECT_EQ(sim.focus(), settingsWindow(sim).address);
        replaceFocusedText(sim, address);
    });
    sim.then([&sim] { sim.click(settingsWindow(sim).save); });
}

TEST(SettingsWindow, ShowsTheDefaultsWithoutAFile) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"程序选项", "设置程序"}); });
    sim.then([&] {
        const SettingsBoxes s = settingsWindow(sim);
        ASSERT_NE(s.window, 0u);
        EXPECT_EQ(sim.text(s.name), "未设置名称");
        EXPECT_EQ(sim.text(s.address), "about:blank");
        EXPECT_EQ(sim.rect(s.window), (Rect{413, 322, 198, 124}));  // centred on the screen
        EXPECT_FALSE(sim.enabled(mainWindow(sim)));
        sim.press(Key::Escape);
    });
    sim.then([&] {
        EXPECT_EQ(sim.windowByCaption("设置"), 0u);
        EXPECT_TRUE(sim.enabled(mainWindow(sim)));
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(SettingsWindow, SavingStoresNameThenAddressAndShowsThemAtOnce) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    editAndSave(sim, "赛尔号", "http://seer.example/");
    sim.then([&] {
        EXPECT_EQ(sim.windowByCaption("设置"), 0u);
        const Handle main = mainWindow(sim);
        EXPECT_EQ(sim.caption(main), "赛尔号   V1.3");
        EXPECT_TRUE(sim.enabled(main));
        EXPECT_EQ(navigatedAddresses(sim), (std::vector<std::string>{"about:blank", "http://seer.example/"}));
        EXPECT_EQ(iniBytes(root), kSectionLine + "名称=赛尔号\r\n地址=http://seer.example/\r\n");
        sim.closeBox(main);
    });
    EXPECT_EQ(runProgramOn(sim), 0);
    EXPECT_EQ(iniBytes(root), kSectionLine +
                                  "名称=赛尔号\r\n地址=http://seer.example/\r\n高度=660\r\n宽度=900\r\n"
                                  "左边=50\r\n顶边=50\r\n");
}

TEST(SettingsWindow, SavedValuesComeBackAtTheNextStart) {
    TempRoot root;
    {
        SimDesktop first(optionsFor(root));
        editAndSave(first, "洛克王国", "roco.example");
        first.then([&] { first.closeBox(mainWindow(first)); });
        EXPECT_EQ(runProgramOn(first), 0);
    }
    SimDesktop second(optionsFor(root));
    second.then([&] {
        EXPECT_EQ(second.caption(mainWindow(second)), "洛克王国   V1.3");
        EXPECT_EQ(navigatedAddresses(second), std::vector<std::string>{"roco.example"});
        second.press(Key::F1);
    });
    second.then([&] {
        const SettingsBoxes s = settingsWindow(second);
        EXPECT_EQ(second.text(s.name), "洛克王国");
        EXPECT_EQ(second.text(s.address), "roco.example");
        second.closeBox(s.window);
    });
    second.then([&] { second.closeBox(mainWindow(second)); });
    EXPECT_EQ(runProgramOn(second), 0);
}

struct EmptyField {
    const char* name;
    std::string gameName;
    std::string address;
};

// Parameters are shown by name: gtest would otherwise print their bytes,
// padding and unused string buffers included.
void PrintTo(const EmptyField& c, std::ostream* os) {
    *os << c.name;
}

class SavingWithAnEmptyField : public testing::TestWithParam<EmptyField> {};

TEST_P(SavingWithAnEmptyField, DoesNothingAndKeepsTheWindowOpen) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    editAndSave(sim, GetParam().gameName, GetParam().address);
    sim.then([&] {
        const SettingsBoxes s = settingsWindow(sim);
        EXPECT_NE(s.window, 0u);
        EXPECT_FALSE(iniExists(root));
        EXPECT_EQ(sim.caption(mainWindow(sim)), "未设置名称   V1.3");
        EXPECT_EQ(navigatedAddresses(sim), std::vector<std::string>{"about:blank"});
        sim.closeBox(s.window);
    });
    sim.then([&] { sim.closeBox(mainWindow(sim)); });
    EXPECT_EQ(runProgramOn(sim), 0);
}

INSTANTIATE_TEST_SUITE_P(SettingsWindow, SavingWithAnEmptyField,
                         testing::Values(EmptyField{"EmptyName", "", "http://a.example/"},
                                         EmptyField{"EmptyAddress", "游戏", ""},
                                         EmptyField{"BothEmpty", "", ""}),
                         [](const testing::TestParamInfo<EmptyField>& info) {
                             return std::string(info.param.name);
                         });

TEST(SettingsWindow, EscAfterEditingSavesNothing) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.press(Key::F1); });
    sim.then([&] {
        replaceFocusedText(sim, "别的游戏");
        sim.press(Key::Enter);  // 保存 is not the default button
    });
    sim.then([&] {
        EXPECT_NE(sim.windowByCaption("设置"), 0u);
        sim.press(Key::Escape);
    });
    sim.then([&] {
        EXPECT_EQ(sim.windowByCaption("设置"), 0u);
        EXPECT_FALSE(iniExists(root));
        EXPECT_EQ(sim.caption(mainWindow(sim)), "未设置名称   V1.3");
        EXPECT_EQ(navigatedAddresses(sim), std::vector<std::string>{"about:blank"});
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(SettingsWindow, NameOfOneBlankIsSavedAndComesBackEmpty) {
    TempRoot root;
    {
        SimDesktop first(optionsFor(root));
        editAndSave(first, " ", "about:blank");
        first.then([&] {
            EXPECT_EQ(first.windowByCaption("设置"), 0u);
            EXPECT_EQ(first.caption(mainWindow(first)), "    V1.3");
            first.closeBox(mainWindow(first));
        });
        EXPECT_EQ(runProgramOn(first), 0);
    }
    SimDesktop second(optionsFor(root));
    second.then([&] {
        EXPECT_EQ(second.caption(mainWindow(second)), "   V1.3");
        second.press(Key::F1);
    });
    second.then([&] {
        const SettingsBoxes s = settingsWindow(second);
        EXPECT_EQ(second.text(s.name), "");
        second.press(Key::Escape);
    });
    second.then([&] { second.closeBox(mainWindow(second)); });
    EXPECT_EQ(runProgramOn(second), 0);
}

}  // namespace
}  // namespace wgs
