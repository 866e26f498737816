// The start window: a resizable frame filled by the browser pane, with the
// upkeep timer and the menu bar. It takes its place, size, game address and
// name from yxq.ini when created and writes its place and size back when it
// goes, unless it is minimized then.
#pragma once

#include <memory>

#include "core/application.h"

namespace wgs {

class WorkingSetTrim;

class MainWindow {
public:
    // Identities in the window model.
    static constexpr int kWindow = 1000;
    static constexpr int kSelf = 1001;
    static constexpr int kTimer = 1002;        // 时钟1
    static constexpr int kBrowserPane = 1003;  // 超文本浏览框1

    // Follows the game's name in the caption.
    static constexpr const char* kVersionSuffix = "   V1.3";
    static Text captionFor(const Text& gameName) { return joinTexts(gameName, kVersionSuffix); }

    // The description, with every handler bound to `application`; `trim` is the
    // upkeep tick's binding of the working-set function, kept for the whole run.
    static WindowDescription describe(Application& application, std::shared_ptr<WorkingSetTrim> trim);

    explicit MainWindow(Application& application) : app_(application) {}

    void onCreated();
    void onSizeChanged();
    void onWillBeDestroyed();

    // Readable accessors for the handlers of this window and of the other windows.
    void setCaption(const Text& caption);
    void loadAddress(const Text& address);
    Text shownAddress();
    void reloadPage();
    Handle handle();

private:
    int property(int entry, int number);
    void setProperty(int entry, int number, int value);
    int configInt(const Text& key, const Text& defaultValue);
    void saveInt(const Text& key, int value);

    Application& app_;
};

}  // namespace wgs
