// The main window's menu bar and the commands behind its items.
#pragma once

#include <vector>

#include "core/application.h"

namespace wgs {

// The menu items in menu order, numbered from kFirstMenuItem on, each command
// bound to `application`.
constexpr int kFirstMenuItem = 1101;
std::vector<MenuItemDescription> describeMenuBar(Application& application);

// Opens the address in the system's default handler for it, not in the pane.
void shellOpenUrl(Platform& platform, const Text& address);

// The menu commands.
void openBookmark(Application& application, const Text& address);
void refreshPage(Application& application);
void openSettings(Application& application);
void openShutdownWindow(Application& application);
void quitProgram(Application& application);

}  // namespace wgs
