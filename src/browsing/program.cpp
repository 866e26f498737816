#include "browsing/program.h"

#include <memory>

#include "browsing/browser_pane.h"
#include "browsing/main_window.h"
#include "core/application.h"
#include "settings/settings_window.h"
#include "shutdown/shutdown_window.h"
#include "shutdown/upkeep.h"

namespace wgs {

int describeProgram(Application& app) {
    // Stateless: the engine behind each pane holds its page.
    static BrowserPane browserPane;
    WindowManager& windows = app.windows();
    windows.registerKind(ControlKind::WebBrowser, &browserPane);
    windows.addDescription(MainWindow::describe(app, std::make_shared<WorkingSetTrim>()));
    windows.addDescription(SettingsWindow::describe(app));
    windows.addDescription(ShutdownWindow::describe(app));
    return MainWindow::kWindow;
}

int runProgram(Platform& platform) {
    Application app(platform, describeProgram);
    return app.start();
}

}  // namespace wgs
