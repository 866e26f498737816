// The main window's menu bar: what it shows and what each command does, as
// the pane, the shell and yxq.ini see it.
#include <functional>

#include "program_fixture.h"

namespace wgs {
namespace {

using namespace testing_support;

struct Bookmark {
    std::vector<std::string> path;
    std::string address;
};

const std::vector<Bookmark> kBookmarks = {
    {{"热门游戏", "造梦西游", "造梦西游1"}, "http://www.youxiportal.example/flash/55549.htm"},
    {{"热门游戏", "造梦西游", "造梦西游2"}, "http://www.youxiportal.example/flash/64162.htm"},
    {{"热门游戏", "造梦西游", "造梦西游3"}, "http://www.youxiportal.example/flash/78072.htm"},
    {{"热门游戏", "赛尔号", "赛尔号1"}, "http://www.youxiportal.example/flash/seer.htm"},
    {{"热门游戏", "赛尔号", "赛尔号2"}, "http://news.youxiportal.example/seer2/"},
    {{"热门游戏", "洛克王国"}, "http://www.youxiportal.example/flash/32979.htm"},
    {{"热门游戏", "勇士的信仰"}, "http://www.youxiportal.example/flash/80727.htm"},
    {{"热门游戏", "卡布西游"}, "http://www.youxiportal.example/flash/48399.htm"},
    {{"热门游戏", "西普大陆"}, "http://xipu.youxiportal.example/"},
};

TEST(MenuBar, EveryBookmarkLoadsItsPageAndStoresNothing) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    for (const Bookmark& b : kBookmarks) {
        sim.then([&sim, &b] { sim.chooseMenu(mainWindow(sim), b.path); });
        sim.then([&sim, &b] {
            EXPECT_EQ(navigatedAddresses(sim).back(), b.address) << b.path.back();
            EXPECT_EQ(sim.browserOf(mainWindow(sim)), sim.navigations.back().browser);
        });
    }
    sim.then([&] {
        EXPECT_EQ(sim.navigations.size(), kBookmarks.size() + 1);
        EXPECT_FALSE(iniExists(root));
        EXPECT_TRUE(sim.shellOpens.empty());
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
    // Only the geometry: the page chosen last is not the saved game.
    EXPECT_EQ(iniBytes(root), kSectionLine + "高度=660\r\n宽度=900\r\n左边=50\r\n顶边=50\r\n");
}

TEST(MenuBar, RefreshReloadsFromTheMenuAndWithF5) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.press(Key::F5); });
    sim.then([&] {
        EXPECT_EQ(sim.reloads, 1);
        sim.chooseMenu(mainWindow(sim), {"程序选项", "刷新网页"});
    });
    sim.then([&] {
        EXPECT_EQ(sim.reloads, 2);
        EXPECT_EQ(sim.navigations.size(), 1u);
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(MenuBar, ForumLinksOpenOutsideAndThePageStays) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    Handle browserWindow = 0;
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"程序选项", "检查更新"}); });
    sim.then([&] {
        // With the system browser's window open, it owns what the shell shows.
        browserWindow = sim.addForeignWindow("Microsoft Internet Explorer");
        sim.chooseMenu(mainWindow(sim), {"程序选项", "Quento论坛"});
    });
    sim.then([&] {
        EXPECT_EQ(sim.shellOpens, (std::vector<std::string>{"http://bbs.quento.example/thread-78603-1-1.html",
                                                            "http://bbs.quento.example/?fromuid=20417"}));
        EXPECT_EQ(sim.shellOwners, (std::vector<Handle>{0, browserWindow}));
        EXPECT_EQ(navigatedAddresses(sim), std::vector<std::string>{"about:blank"});
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

const MenuNode* findNode(const std::vector<MenuNode>& nodes, const std::string& text) {
    for (const MenuNode& n : nodes) {
        if (n.text == text) return &n;
    }
    return nullptr;
}

TEST(MenuBar, ShowsTheMenusTheirKeysAndTheGrayedNotice) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] {
        const std::vector<MenuNode>& bar = sim.menuBar(mainWindow(sim));
        std::vector<std::string> titles;
        for (const MenuNode& n : bar) titles.push_back(n.text);
        EXPECT_EQ(titles, (std::vector<std::string>{"程序选项", "实用工具", "热门游戏"}));

        const MenuNode* options = findNode(bar, "程序选项");
        ASSERT_NE(options, nullptr);
        std::vector<std::string> lines;
        for (const MenuNode& n : options->children) {
            lines.push_back(n.separator ? "-" : n.text + (n.keyName.empty() ? "" : "\t" + n.keyName));
        }
        EXPECT_EQ(lines, (std::vector<std::string>{"刷新网页\tF5", "检查更新", "Quento论坛", "-",
                                                   "跳转至网页", "-", "设置程序\tF1", "-", "退出程序"}));

        const MenuNode* tools = findNode(bar, "实用工具");
        ASSERT_NE(tools, nullptr);
        const MenuNode* notice = findNode(tools->children, "自动优化内存已启动");
        ASSERT_NE(notice, nullptr);
        EXPECT_TRUE(notice->grayed);

        const MenuNode* games = findNode(bar, "热门游戏");
        ASSERT_NE(games, nullptr);
        for (const char* title : {"造梦西游", "赛尔号"}) {
            const MenuNode* sub = findNode(games->children, title);
            ASSERT_NE(sub, nullptr) << title;
            EXPECT_FALSE(sub->children.empty()) << title;
        }
        sim.chooseMenu(mainWindow(sim), {"实用工具", "自动优化内存已启动"});
    });
    sim.then([&] {
        // The grayed line does nothing: no page, no window, no link.
        EXPECT_EQ(sim.navigations.size(), 1u);
        EXPECT_TRUE(sim.shellOpens.empty());
        EXPECT_TRUE(sim.enabled(mainWindow(sim)));
        EXPECT_EQ(sim.windowByCaption("定时关机"), 0u);
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

TEST(MenuBar, SubMenuTitlesIssueNothing) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"热门游戏", "造梦西游"}); });
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"热门游戏", "赛尔号"}); });
    sim.then([&] {
        EXPECT_EQ(sim.navigations.size(), 1u);
        EXPECT_TRUE(sim.shellOpens.empty());
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

// The jump prompt, from the menu item 跳转至网页.
void openJumpPrompt(SimDesktop& sim) {
    sim.then([&sim] { sim.chooseMenu(mainWindow(sim), {"程序选项", "跳转至网页"}); });
}

TEST(JumpPrompt, OpensWithTheShownAddressSelected) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    // What the engine shows after following a bookmark, not what was asked for.
    sim.browserRedirects["http://xipu.youxiportal.example/"] = "http://xipu.youxiportal.example/home.html";
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"热门游戏", "西普大陆"}); });
    openJumpPrompt(sim);
    sim.then([&] {
        ASSERT_TRUE(sim.promptOpen());
        EXPECT_EQ(sim.promptCaption(), "请输入欲跳转的网页网址：");
        EXPECT_EQ(sim.promptText(), "http://xipu.youxiportal.example/home.html");
        EXPECT_TRUE(sim.promptAllSelected());
        EXPECT_FALSE(sim.enabled(mainWindow(sim)));
        sim.press(Key::Enter);
    });
    sim.then([&] {
        // Confirmed unchanged: the page on show is loaded again.
        EXPECT_EQ(navigatedAddresses(sim).back(), "http://xipu.youxiportal.example/home.html");
        EXPECT_TRUE(sim.enabled(mainWindow(sim)));
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

struct Typed {
    const char* name;
    std::string text;
    bool viaMnemonic = false;  // Alt+O instead of Enter
};

// Parameters are shown by name: gtest would otherwise print their bytes,
// padding and unused string buffers included.
void PrintTo(const Typed& c, std::ostream* os) {
    *os << c.name;
}

class JumpPromptConfirming : public testing::TestWithParam<Typed> {};

TEST_P(JumpPromptConfirming, LoadsExactlyWhatWasTyped) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    openJumpPrompt(sim);
    sim.then([&] {
        sim.paste(GetParam().text);  // replaces the selected address
        if (GetParam().viaMnemonic) {
            sim.pressChar('O', false, true);
        } else {
            sim.press(Key::Enter);
        }
    });
    sim.then([&] {
        EXPECT_FALSE(sim.promptOpen());
        EXPECT_EQ(navigatedAddresses(sim), (std::vector<std::string>{"about:blank", GetParam().text}));
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

INSTANTIATE_TEST_SUITE_P(JumpPrompt, JumpPromptConfirming,
                         testing::Values(Typed{"FullAddress", "http://h5.example/game?id=7"},
                                         Typed{"NoSchemeAdded", "www.example.com"},
                                         Typed{"BlanksKept", "  http://spaced.example/  "},
                                         Typed{"NotAnAddress", "随便 写的"},
                                         Typed{"ByAltO", "http://alt.example/", true}),
                         [](const testing::TestParamInfo<Typed>& info) {
                             return std::string(info.param.name);
                         });

struct Leaving {
    const char* name;
    std::function<void(SimDesktop&)> leave;
};

void PrintTo(const Leaving& c, std::ostream* os) {
    *os << c.name;
}

class JumpPromptWithoutAnAddress : public testing::TestWithParam<Leaving> {};

// Cancelling, or confirming nothing, must not throw the running game away.
TEST_P(JumpPromptWithoutAnAddress, LeavesThePageAsItIs) {
    TempRoot root;
    SimDesktop sim(optionsFor(root));
    sim.then([&] { sim.chooseMenu(mainWindow(sim), {"热门游戏", "洛克王国"}); });
    openJumpPrompt(sim);
    sim.then([&] {
        sim.paste("http://typed.example/");
        GetParam().leave(sim);
    });
    sim.then([&] {
        EXPECT_FALSE(sim.promptOpen());
        EXPECT_EQ(
            navigatedAddresses(sim),
            (std::vector<std::string>{"about:blank", "http://www.youxiportal.example/flash/32979.htm"}));
        EXPECT_TRUE(sim.enabled(mainWindow(sim)));
        sim.closeBox(mainWindow(sim));
    });
    EXPECT_EQ(runProgramOn(sim), 0);
}

INSTANTIATE_TEST_SUITE_P(
    JumpPrompt, JumpPromptWithoutAnAddress,
    testing::Values(Leaving{"Esc", [](SimDesktop& sim) { sim.press(Key::Escape); }},
                    Leaving{"CancelButton", [](SimDesktop& sim) { sim.promptButton(false); }},
                    Leaving{"AltC", [](SimDesktop& sim) { sim.pressChar('c', false, true); }},
                    Leaving{"CloseBox", [](SimDesktop& sim) { sim.promptCloseBox(); }},
                    Leaving{"ConfirmEmptied",
                            [](SimDesktop& sim) {
                                sim.selectAll();
                                sim.press(Key::Backspace);
                                sim.promptButton(true);
                            }}),
    [](const testing::TestParamInfo<Leaving>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wgs
