#include "settings/settings_window.h"

#include "browsing/main_window.h"

namespace wgs {

namespace {

const char* const kNameKey = "名称";
const char* const kAddressKey = "地址";
const char* const kDefaultName = "未设置名称";
const char* const kDefaultAddress = "about:blank";

ControlDescription editBox(int number, const Text& name, Rect rect, int tabOrder) {
    ControlDescription c;
    c.number = number;
    c.kind = ControlKind::EditBox;
    c.name = name;
    c.rect = rect;
    c.tabStop = true;
    c.tabOrder = tabOrder;
    return c;
}

}  // namespace

WindowDescription SettingsWindow::describe(Application& app) {
    WindowDescription d;
    d.number = kWindow;

    d.self.number = kSelf;
    d.self.kind = ControlKind::Window;
    d.self.rect = Rect{50, 50, 198, 124};
    d.self.events = {on(event::kCreated, [&app] { SettingsWindow(app).onCreated(); })};

    WindowSettings& w = d.settings;
    w.caption = "设置";
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

    // A plain push button: Enter in a box does not save.
    ControlDescription save;
    save.number = kSave;
    save.kind = ControlKind::Button;
    save.name = "按钮1";
    save.rect = Rect{57, 66, 74, 23};
    save.tabStop = true;
    save.tabOrder = 2;
    save.settings.text = "保存";
    save.settings.hasText = true;
    save.events = {on(event::kClicked, [&app] { SettingsWindow(app).onSave(); })};

    ControlDescription label;
    label.number = kLabel;
    label.kind = ControlKind::Label;
    label.name = "标签1";
    label.rect = Rect{1, 9, 96, 72};
    label.tabStop = false;
    label.settings.text = "游戏名称：\r\n\r\n\r\n游戏地址：";
    label.settings.hasText = true;
    label.settings.wordWrap = true;
    label.settings.hAlign = HAlign::Left;

    d.controls = {
        save,
        editBox(kAddressBox, "编辑框2", Rect{56, 37, 134, 24}, 1),
        editBox(kNameBox, "编辑框1", Rect{56, 4, 134, 24}, 0),
        label,
    };
    return d;
}

void SettingsWindow::onCreated() {
    applyVisualStyle(app_, 1);
    // Always what is saved, not what the main window happens to show.
    app_.windows().writeText(kWindow, kNameBox, prop::kText, app_.config().read(kNameKey, kDefaultName));
    app_.windows().writeText(kWindow, kAddressBox, prop::kText,
                             app_.config().read(kAddressKey, kDefaultAddress));
}

void SettingsWindow::onSave() {
    if (isEmptyText(nameText())) return;
    if (isEmptyText(addressText())) return;
    app_.config().write(kNameKey, nameText());
    app_.config().write(kAddressKey, addressText());
    MainWindow main(app_);
    main.setCaption(MainWindow::captionFor(nameText()));
    main.loadAddress(addressText());
    app_.windows().destroyWindow(kWindow);
}

Text SettingsWindow::nameText() {
    return app_.windows().readText(kWindow, kNameBox, prop::kText);
}

Text SettingsWindow::addressText() {
    return app_.windows().readText(kWindow, kAddressBox, prop::kText);
}

}  // namespace wgs
