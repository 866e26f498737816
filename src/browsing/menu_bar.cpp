#include "browsing/menu_bar.h"

#include "browsing/address_prompt.h"
#include "browsing/main_window.h"
#include "browsing/web_addresses.h"
#include "settings/settings_window.h"
#include "shutdown/shutdown_window.h"

namespace wgs {

namespace {

// Owner of anything the shell shows while opening an address, when it is there.
const char* const kShellOwnerTitle = "Microsoft Internet Explorer";

MenuItemDescription item(int level, const Text& text, Handler handler = nullptr) {
    MenuItemDescription m;
    m.level = level;
    m.text = text;
    m.handler = std::move(handler);
    return m;
}

MenuItemDescription bookmark(Application& app, int level, const Text& text, const Text& address) {
    return item(level, text, [&app, address] { openBookmark(app, address); });
}

}  // namespace

std::vector<MenuItemDescription> describeMenuBar(Application& app) {
    using web::httpAddress;
    const char* const portal = web::kPortalHost;

    MenuItemDescription refresh = item(1, "刷新网页", [&app] { refreshPage(app); });
    refresh.hotkey = KeyStroke{Key::F5};
    MenuItemDescription settings = item(1, "设置程序", [&app] { openSettings(app); });
    settings.hotkey = KeyStroke{Key::F1};
    // Only announces the trim that every upkeep tick does.
    MenuItemDescription trimNotice = item(1, "自动优化内存已启动");
    trimNotice.disabled = true;

    std::vector<MenuItemDescription> menu = {
        item(0, "程序选项"),
        refresh,
        item(1, "检查更新", [&app] { shellOpenUrl(app.platform(), web::forumUpdateThread()); }),
        item(1, "Quento论坛", [&app] { shellOpenUrl(app.platform(), web::forumFrontPage()); }),
        item(1, "-"),
        item(1, "跳转至网页", [&app] { jumpToAddress(app); }),
        item(1, "-"),
        settings,
        item(1, "-"),
        item(1, "退出程序", [&app] { quitProgram(app); }),
        item(0, "实用工具"),
        item(1, "定时关机（挂机专用）", [&app] { openShutdownWindow(app); }),
        trimNotice,
        item(0, "热门游戏"),
        item(1, "造梦西游"),
        bookmark(app, 2, "造梦西游1", httpAddress(portal, "/flash/55549.htm")),
        bookmark(app, 2, "造梦西游2", httpAddress(portal, "/flash/64162.htm")),
        bookmark(app, 2, "造梦西游3", httpAddress(portal, "/flash/78072.htm")),
        item(1, "赛尔号"),
        bookmark(app, 2, "赛尔号1", httpAddress(portal, "/flash/seer.htm")),
        bookmark(app, 2, "赛尔号2", httpAddress(web::kPortalNewsHost, "/seer2/")),
        bookmark(app, 1, "洛克王国", httpAddress(portal, "/flash/32979.htm")),
        bookmark(app, 1, "勇士的信仰", httpAddress(portal, "/flash/80727.htm")),
        bookmark(app, 1, "卡布西游", httpAddress(portal, "/flash/48399.htm")),
        bookmark(app, 1, "西普大陆", httpAddress(web::kPortalXipuHost, "/")),
    };
    int number = kFirstMenuItem;
    for (MenuItemDescription& m : menu) m.number = number++;
    return menu;
}

void shellOpenUrl(Platform& platform, const Text& address) {
    const Handle owner = platform.findTopLevelWindow(kShellOwnerTitle);
    platform.shellOpen(owner, address);
}

void openBookmark(Application& app, const Text& address) {
    MainWindow(app).loadAddress(address);
}

void refreshPage(Application& app) {
    MainWindow(app).reloadPage();
}

void openSettings(Application& app) {
    app.windows().loadWindow(SettingsWindow::kWindow, 0, true);
}

void openShutdownWindow(Application& app) {
    app.windows().loadWindow(ShutdownWindow::kWindow, 0, true);
}

void quitProgram(Application& app) {
    app.windows().destroyWindow(MainWindow::kWindow);
}

}  // namespace wgs
