// The platform on Linux: GTK 3 windows, menus, dialogs and timers, WebKitGTK
// for the browser pane, GIO for the default browser, systemd-logind for power.
//
// Call gtk_init (on X11) before constructing it. Everything runs on the GTK
// main thread.
//
// How the Windows window model maps onto X11 here:
//  - A top-level window is a GtkWindow holding a vertical box: the menu bar,
//    then the client area (a container that places its children at exact
//    rectangles and asks for no size of its own, so controls never force the
//    window to grow).
//  - The program speaks of the outer frame. The frame's thickness comes from
//    the window manager (_NET_FRAME_EXTENTS, asked for before the first map
//    where the manager offers _NET_REQUEST_FRAME_EXTENTS); without a window
//    manager it is 0. A move or resize is a request to X: it is reported to the
//    program at once with the requested values, and reported again only if the
//    server or the window manager settles somewhere else.
//  - Minimized is X's iconic state; the rectangle keeps the normal frame.
#pragma once

#include <gtk/gtk.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/gtk/logind_shutdown.h"
#include "platform/platform.h"

namespace wgs {

// Whether the engine's accelerated compositing pays on this machine: only with
// a GPU render node the process may use. Under software GL (no node, or
// forced) compositing costs far more CPU and memory than it gives.
bool gpuCompositingPays();

class GtkPlatform : public Platform {
public:
    GtkPlatform();
    ~GtkPlatform() override;
    GtkPlatform(const GtkPlatform&) = delete;
    GtkPlatform& operator=(const GtkPlatform&) = delete;

    void setEventSink(PlatformEvents* sink) override { sink_ = sink; }

    bool initializeEngine() override;
    void shutdownEngine() override;
    std::string modulePath() override;
    PathStyle pathStyle() override { return PathStyle{'/', false}; }
    bool setCurrentDirectory(const std::string& path) override;
    [[noreturn]] void exitProcess(int code) override;

    bool readFile(const std::string& path, std::string& bytes) override;
    bool replaceFile(const std::string& path, const std::string& bytes) override;

    std::int64_t calendarSeconds() override;
    bool localFields(std::int64_t calendarSeconds, CalendarFields& out) override;

    Rect primaryScreen() override;
    std::vector<Rect> monitors() override;

    Handle createTopLevel(const TopLevelStyle& style) override;
    void destroyWindow(Handle windowOrControl) override;
    void showWindow(Handle window, ShowCommand command) override;
    ShowState showState(Handle window) override;
    bool isWindowVisible(Handle windowOrControl) override;
    void activateWindow(Handle window) override;
    void enableWindow(Handle window, bool enabled) override;
    bool isWindowEnabled(Handle window) override;
    void setWindowCaption(Handle window, const std::string& caption) override;
    void setMenuBar(Handle window, const std::vector<MenuNode>& menu) override;

    Rect windowRect(Handle windowOrControl) override;
    Size clientSize(Handle window) override;
    void moveWindow(Handle windowOrControl, int left, int top) override;
    void resizeWindow(Handle windowOrControl, int width, int height) override;

    Handle createControl(Handle window, const ControlStyle& style) override;
    void showControl(Handle control, bool visible) override;
    void setControlText(Handle control, const std::string& text) override;
    std::string controlText(Handle control) override;
    void setFocus(Handle control) override;
    Handle focusedControl() override;
    void editSelection(Handle edit, int& start, int& end) override;
    void setEditSelection(Handle edit, int start, int end) override;
    void clickButton(Handle button) override;

    Handle startTimer(Handle window, int periodMs) override;
    void stopTimer(Handle timer) override;

    void pumpOne() override;
    void pumpPending() override;
    void post(std::function<void()> callback) override;

    void messageBox(const MessageBoxRequest& request) override;
    bool promptText(Handle owner, const std::string& prompt, const std::string& initial,
                    std::string& result) override;
    bool setVisualStyle(int style) override;

    Handle createBrowser(Handle window, const Rect& rect, const BrowserSettings& settings) override;
    void browserNavigate(Handle browser, const std::string& address) override;
    std::string browserLocation(Handle browser) override;
    void browserReload(Handle browser) override;

    Handle findTopLevelWindow(const std::string& title) override;
    void shellOpen(Handle owner, const std::string& address) override;

    Handle loadLibrary(const std::string& name) override;
    void* libraryFunction(Handle library, const std::string& name) override;
    void freeLibrary(Handle library) override;
    void callWorkingSetTrim(void* function) override;

    ShutdownApi& shutdownApi() override { return shutdown_; }

    // For tests of the backend itself: the GTK widget behind a handle.
    GtkWidget* widgetOf(Handle handle) const;
    // True when the browser engine composites on the GPU (decided once).
    bool acceleratedCompositing() const { return accelerated_; }

    struct Window;
    struct Control;
    struct Timer;

private:
    friend struct GtkPlatformSignals;

    Window* window(Handle handle) const;
    Control* control(Handle handle) const;
    Handle newHandle() { return nextHandle_++; }

    // Geometry (outer frame) of a top-level window.
    void requestGeometry(Window& w, const Rect& outer);
    void applyTarget(Window& w);
    void settleGeometry(Window& w, bool final);
    void reportRect(Window& w, const Rect& actual);
    void learnFrameExtents(Window& w);
    void askFrameExtents(Window& w);
    Size minimumOuterSize(Window& w);
    void applyWmHints(Window& w);
    Window* lastShownEnabled(const Window* except) const;

    void destroyControl(Handle handle);
    void forgetTimersOf(Handle window);
    void reportFocus(Handle control, bool gained);
    void openExternally(const std::string& utf8Address);

    PlatformEvents* sink_ = nullptr;
    Handle nextHandle_ = 1;
    std::map<Handle, std::unique_ptr<Window>> windows_;
    std::map<Handle, std::unique_ptr<Control>> controls_;
    std::map<Handle, std::unique_ptr<Timer>> timers_;
    std::set<Handle> libraries_;
    std::vector<Handle> showOrder_;  // top-level windows, the most recently shown last
    Handle focused_ = 0;

    std::deque<std::function<void()>> posted_;
    GSource* postSource_ = nullptr;

    GtkCssProvider* baseCss_ = nullptr;
    GtkCssProvider* classicCss_ = nullptr;
    bool visualStyleOn_ = false;
    bool accelerated_ = false;
    bool engineReady_ = false;
    int offlinePanes_ = 0;

    gtkbackend::LogindShutdownApi shutdown_;
};

}  // namespace wgs
