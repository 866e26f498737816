// webgame-shell's platform on Windows: the Win32 user interface, the
// WebBrowser control hosted by our own OLE container, and the system
// functions the program binds by name.
//
// Texts crossing the seam are GBK and are converted naming code page 936,
// then passed to the W functions, so the program looks the same on every
// Windows locale. Paths are UTF-8 inside the program (PathStyle '\\', not
// double-byte aware) and converted to UTF-16 at every file call, so the
// program runs from a folder of any name.
//
// Handles are window handles (top-level windows and controls; a browser is
// its pane's window), or tagged numbers for timers. One Win32Platform per
// process, used on the thread that created it.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/platform.h"
#include "platform/win32/win32_shutdown.h"

namespace wgs::win32 {

class BrowserPane;

class Win32Platform : public Platform {
public:
    explicit Win32Platform(HINSTANCE instance);
    ~Win32Platform() override;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;

    void setEventSink(PlatformEvents* sink) override { sink_ = sink; }

    bool initializeEngine() override;
    void shutdownEngine() override;
    std::string modulePath() override;
    PathStyle pathStyle() override { return PathStyle{'\\', false}; }
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

    // The keystroke a key-down message stands for (Key::None for keys the
    // program does not handle). Public for the tests.
    static KeyStroke keyStrokeOf(const MSG& message);

private:
    enum class Kind { TopLevel, Edit, Label, Button, Browser };
    struct Node {
        Kind kind = Kind::TopLevel;
        HWND window = nullptr;
        bool ready = false;           // events flow once the creation call has returned
        HBRUSH background = nullptr;  // top-level: the client area's brush
        bool ownBrush = false;
        int suppressChange = 0;     // edit: the program is writing the text
        wchar_t highSurrogate = 0;  // edit: first half of a typed character
        BrowserPane* browser = nullptr;
        UINT_PTR id = 0;  // control id
    };
    struct Timer {
        HWND window = nullptr;
        UINT_PTR id = 0;
    };

    static LRESULT CALLBACK topLevelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK labelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK messageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK controlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR id, DWORD_PTR data);

    LRESULT handleTopLevel(Node& node, UINT message, WPARAM wParam, LPARAM lParam);
    void dispatch(MSG& message);
    void runOnePosted();
    Node* node(Handle handle) const;
    Node* nodeOf(HWND window) const;
    Node* readyNode(HWND window) const;
    Handle handleOf(HWND window) const {
        return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(window));
    }
    HWND windowOf(Handle handle) const;
    void registerControl(std::unique_ptr<Node> node);
    void forget(HWND window);

    static Win32Platform* current_;

    HINSTANCE instance_;
    PlatformEvents* sink_ = nullptr;
    Win32ShutdownApi shutdown_;
    bool oleInitialized_ = false;
    HWND messageWindow_ = nullptr;
    std::deque<std::function<void()>> posted_;
    std::unordered_map<HWND, std::unique_ptr<Node>> nodes_;
    std::map<Handle, Timer> timers_;
    UINT_PTR nextTimerId_ = 1;
    UINT_PTR nextControlId_ = 1000;
    HMODULE uxtheme_ = nullptr;
    int visualStyle_ = -1;  // unknown until first set
};

}  // namespace wgs::win32
