// The web view control kind (超文本浏览框1 of the main window): a window model
// control whose page address is its property 11.
#pragma once

#include "core/window_model.h"

namespace wgs {

// Holds no state of its own: the engine behind each pane keeps its page, so
// one object serves every pane of every run.
class BrowserPane final : public ControlKindOps {
public:
    // Kind properties, after the eight every control has.
    static constexpr int kTextSizeProperty = 8;
    static constexpr int kOfflineProperty = 9;
    static constexpr int kSilentProperty = 10;
    static constexpr int kAddressProperty = 11;
    // BrowserPane::command selectors.
    static constexpr int kReloadCommand = 4;

    Handle create(Platform& platform, Handle window, const ControlDescription& description) override;
    void destroy(Platform& platform, Handle control) override;
    PropertyValue read(Platform& platform, Handle control, int property) override;
    void write(Platform& platform, Handle control, int property, const PropertyValue& value) override;

    // Loads the address exactly as given; an empty address is passed on too.
    static void setAddress(Platform& platform, Handle pane, const Text& address);
    // What the engine reports as its location now, not necessarily the text last set.
    static Text address(Platform& platform, Handle pane);
    // kReloadCommand reloads the page; any other selector does nothing.
    static void command(Platform& platform, Handle pane, int selector);
};

}  // namespace wgs
