#include "browsing/browser_pane.h"

namespace wgs {

Handle BrowserPane::create(Platform& platform, Handle window, const ControlDescription& description) {
    const KindSettings& s = description.settings;
    BrowserSettings settings;
    settings.textSize = s.textSize;
    settings.offline = s.offline;
    settings.silent = s.silent;
    const Handle pane = platform.createBrowser(window, description.rect, settings);
    if (pane != 0 && !isEmptyText(s.address)) setAddress(platform, pane, s.address);
    return pane;
}

void BrowserPane::destroy(Platform& platform, Handle control) {
    platform.destroyWindow(control);
}

PropertyValue BrowserPane::read(Platform& platform, Handle control, int property) {
    if (property == kAddressProperty) return address(platform, control);
    // Text size, offline and silent go to the engine when it is created; the
    // engine reports none of them back.
    return std::int32_t{0};
}

void BrowserPane::write(Platform& platform, Handle control, int property, const PropertyValue& value) {
    if (property != kAddressProperty) return;
    if (const Text* text = std::get_if<Text>(&value)) {
        setAddress(platform, control, *text);
    } else {
        setAddress(platform, control, Text());
    }
}

void BrowserPane::setAddress(Platform& platform, Handle pane, const Text& address) {
    platform.browserNavigate(pane, address);
}

Text BrowserPane::address(Platform& platform, Handle pane) {
    return platform.browserLocation(pane);
}

void BrowserPane::command(Platform& platform, Handle pane, int selector) {
    if (selector == kReloadCommand) platform.browserReload(pane);
}

}  // namespace wgs
