#include "browsing/main_window.h"

#include "browsing/browser_pane.h"
#include "browsing/menu_bar.h"
#include "browsing/window_placement.h"
#include "shutdown/upkeep.h"

namespace wgs {

namespace {

// Configuration keys and their defaults.
const char* const kWidthKey = "宽度";
const char* const kHeightKey = "高度";
const char* const kLeftKey = "左边";
const char* const kTopKey = "顶边";
const char* const kAddressKey = "地址";
const char* const kNameKey = "名称";
const char* const kDefaultWidth = "900";
const char* const kDefaultHeight = "660";
const char* const kDefaultLeft = "50";
const char* const kDefaultTop = "50";
const char* const kDefaultAddress = "about:blank";
const char* const kDefaultName = "未设置名称";

constexpr int kMinimized = 2;  // window property 18

}  // namespace

WindowDescription MainWindow::describe(Application& app, std::shared_ptr<WorkingSetTrim> trim) {
    WindowDescription d;
    d.number = kWindow;

    d.self.number = kSelf;
    d.self.kind = ControlKind::Window;
    // Replaced at once by the created handler; centred until then.
    d.self.rect = Rect{50, 50, 1024, 770};
    d.self.events = {
        on(event::kCreated, [&app] { MainWindow(app).onCreated(); }),
        on(event::kSizeChanged, [&app] { MainWindow(app).onSizeChanged(); }),
        on(event::kWillBeDestroyed, [&app] { MainWindow(app).onWillBeDestroyed(); }),
    };

    WindowSettings& w = d.settings;
    w.caption = "";
    w.border = Border::Resizable;
    w.controlBox = true;
    w.maximizeButton = false;
    w.minimizeButton = true;
    w.startPosition = StartPosition::Centered;
    w.movable = true;
    w.enterMovesFocus = false;
    w.escCloses = false;
    w.showInTaskbar = true;
    w.alwaysOnTop = false;

    ControlDescription timer;
    timer.number = kTimer;
    timer.kind = ControlKind::Timer;
    timer.name = "时钟1";
    timer.rect = Rect{8, 8, 56, 56};
    timer.visible = false;
    timer.tabStop = false;
    timer.settings.periodMs = 1000;
    timer.events = {on(event::kPeriodic, [&app, trim] { upkeepTick(app, *trim); })};

    ControlDescription pane;
    pane.number = kBrowserPane;
    pane.kind = ControlKind::WebBrowser;
    pane.name = "超文本浏览框1";
    // The size handler makes it fill the client area.
    pane.rect = Rect{0, 0, 1019, 716};
    pane.visible = true;
    pane.tabStop = true;
    pane.settings.textSize = 2;
    pane.settings.offline = false;
    pane.settings.silent = true;

    d.controls = {timer, pane};
    d.menu = describeMenuBar(app);
    return d;
}

void MainWindow::onCreated() {
    applyVisualStyle(app_, 1);
    app_.schedule().armed = 0;
    // Each size write resizes the pane at once, through the size handler.
    setProperty(0, prop::kWidth, configInt(kWidthKey, kDefaultWidth));
    setProperty(0, prop::kHeight, configInt(kHeightKey, kDefaultHeight));
    // A place that would leave the whole caption bar outside every monitor (a
    // monitor unplugged since, a hand edit) is replaced by the centre of the
    // primary one: a window that cannot be seen cannot be moved back either.
    const Place saved{configInt(kLeftKey, kDefaultLeft), configInt(kTopKey, kDefaultTop)};
    const Size size{property(0, prop::kWidth), property(0, prop::kHeight)};
    const Place place = reachablePlace(saved, size, app_.platform().monitors());
    setProperty(0, prop::kLeft, place.left);
    setProperty(0, prop::kTop, place.top);
    loadAddress(app_.config().read(kAddressKey, kDefaultAddress));
    setCaption(captionFor(app_.config().read(kNameKey, kDefaultName)));
}

void MainWindow::onSizeChanged() {
    // The pane fills the client area exactly, whatever the frame around it;
    // while minimized it shrinks with it and the restore sizes it again.
    const Size client = app_.windows().clientSize(kWindow);
    setProperty(kBrowserPane, prop::kHeight, client.height);
    setProperty(kBrowserPane, prop::kWidth, client.width);
}

void MainWindow::onWillBeDestroyed() {
    // A minimized window's rectangle is its icon's; keep what was saved before.
    if (property(0, prop::kPosition) == kMinimized) return;
    saveInt(kHeightKey, property(0, prop::kHeight));
    saveInt(kWidthKey, property(0, prop::kWidth));
    saveInt(kLeftKey, property(0, prop::kLeft));
    saveInt(kTopKey, property(0, prop::kTop));
}

void MainWindow::setCaption(const Text& caption) {
    app_.windows().writeText(kWindow, 0, prop::kCaption, caption);
}

void MainWindow::loadAddress(const Text& address) {
    app_.windows().writeText(kWindow, kBrowserPane, BrowserPane::kAddressProperty, address);
}

Text MainWindow::shownAddress() {
    return app_.windows().readText(kWindow, kBrowserPane, BrowserPane::kAddressProperty);
}

void MainWindow::reloadPage() {
    BrowserPane::command(app_.platform(), app_.windows().handleOf(kWindow, kBrowserPane),
                         BrowserPane::kReloadCommand);
}

Handle MainWindow::handle() {
    return app_.windows().handleOf(kWindow);
}

int MainWindow::property(int entry, int number) {
    return app_.windows().readInt(kWindow, entry, number);
}

void MainWindow::setProperty(int entry, int number, int value) {
    app_.windows().writeInt(kWindow, entry, number, value);
}

int MainWindow::configInt(const Text& key, const Text& defaultValue) {
    return textToInt(app_.config().read(key, defaultValue));
}

void MainWindow::saveInt(const Text& key, int value) {
    app_.config().write(key, intToText(value));
}

}  // namespace wgs
