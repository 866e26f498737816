// Everything webgame-shell asks of an operating system, in one interface.
//
// The program above this folder decides; a backend below it (sim, gtk, win32)
// only does what it is told and reports what the platform did through
// PlatformEvents. Texts crossing this seam are GBK (code page 936) byte
// strings; a backend converts them to its own encoding, naming code page 936
// explicitly. File paths are the platform's own bytes and are never converted.
//
// Ordering contract (the window model relies on it):
//  - resizeWindow/moveWindow report onResized/onMoved synchronously, inside the
//    call, whenever the reported rectangle changes; a backend whose platform is
//    asynchronous reports the requested rectangle at once and reports again
//    later if the platform settles on something else.
//  - setControlText never reports onTextChanged; only the user's edits do.
//  - Posted callbacks run from pumpOne/pumpPending in the order posted, after
//    the input that was already waiting.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/shutdown_api.h"

namespace wgs {

// An opaque identity handed out by the backend; 0 is "none".
using Handle = std::uint64_t;

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && width == o.width && height == o.height;
    }
    bool operator!=(const Rect& o) const { return !(*this == o); }
};

struct Size {
    int width = 0;
    int height = 0;
    bool operator==(const Size& o) const { return width == o.width && height == o.height; }
};

enum class ShowState { Normal, Minimized, Maximized };
enum class ShowCommand { Hide, Show, ShowMinimized, ShowMaximized, Restore };

// Frame of a top-level window.
enum class Border {
    None = 0,
    Resizable = 1,
    Fixed = 2,
    SmallResizable = 3,
    SmallFixed = 4,
    SunkenResizable = 5,
    SunkenFixed = 6
};

struct TopLevelStyle {
    std::string caption;  // GBK
    Border border = Border::Resizable;
    bool controlBox = true;
    bool minimizeButton = false;
    bool maximizeButton = false;
    bool movable = true;
    bool topmost = false;
    bool toolWindow = false;                 // hidden owner window: no taskbar button, no frame
    std::uint32_t background = 0xff000000u;  // 0xff000000: the system's face colour
    Handle owner = 0;                        // 0: no owner (own taskbar button)
    Rect outer;                              // outer frame in screen pixels
};

enum class ControlType { EditBox, Label, Button };

enum class HAlign { Left, Center, Right };
enum class VAlign { Top, Center, Bottom };

struct ControlStyle {
    ControlType type = ControlType::Label;
    Rect rect;  // relative to the parent's client area
    bool visible = true;
    bool disabled = false;
    bool tabStop = false;
    std::string text;  // GBK: edit text, label or button caption
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Center;
    bool wordWrap = false;
    bool defaultButton = false;
};

struct BrowserSettings {
    int textSize = 2;  // 0 smallest .. 4 largest, 2 medium
    bool offline = false;
    bool silent = true;
};

// One node of a menu bar. A node with children is a drop-down or nested menu.
struct MenuNode {
    int command = 0;      // reported through onMenuCommand; 0 for titles and separators
    std::string text;     // GBK
    std::string keyName;  // shown after a tab, e.g. "F5"; empty for none
    bool separator = false;
    bool grayed = false;
    bool checked = false;
    std::vector<MenuNode> children;
};

enum class Key {
    None,
    Char,  // a typed character: KeyStroke::ch holds its Unicode code point
    Tab,
    Enter,
    Escape,
    Space,
    Backspace,
    Insert,
    Delete,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    F11,
    F12,
};

struct KeyStroke {
    Key key = Key::None;
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    std::uint32_t ch = 0;  // for Key::Char
};

struct CalendarFields {
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0;
};

// How the platform's own paths are split into directory and file name.
struct PathStyle {
    char separator = '/';
    // The separator search skips trail bytes of double-byte characters (ANSI code page 936 paths).
    bool doubleByteAware = false;
};

struct MessageBoxRequest {
    std::string text;     // GBK
    std::string caption;  // GBK
    unsigned flags = 0;   // Windows MB_* values; 0x10 is the stop icon
};

// What the platform reports to the program. Implemented by the window model.
class PlatformEvents {
public:
    virtual ~PlatformEvents() = default;
    // The close box, the system menu's Close or Alt+F4 of a top-level window.
    virtual void onCloseRequested(Handle window) = 0;
    // The session is ending; false refuses.
    virtual bool onQueryEndSession(Handle window) = 0;
    virtual void onMoved(Handle window) = 0;
    // Every size change, minimize and restore included.
    virtual void onResized(Handle window) = 0;
    // The top-level window became the active one and will give the focus to a control.
    virtual void onActivated(Handle window) = 0;
    virtual void onMenuCommand(Handle window, int command) = 0;
    virtual void onTimer(Handle timer) = 0;
    virtual void onClicked(Handle control) = 0;
    // The user changed an edit box's text (typing, pasting, deleting).
    virtual void onTextChanged(Handle control) = 0;
    // A character typed into an edit box: false drops it. Pasting is not asked.
    virtual bool onAcceptChar(Handle control, std::uint32_t codePoint) = 0;
    virtual void onFocusGained(Handle control) = 0;
    virtual void onFocusLost(Handle control) = 0;
    // A key pressed while `window` or one of its controls has the focus, before
    // the platform's own handling. True: the program consumed it.
    virtual bool onKey(Handle window, const KeyStroke& key) = 0;
};

// Whole-file access, the only file operations the program needs.
class FileAccess {
public:
    virtual ~FileAccess() = default;
    // False when the file is missing or cannot be read; `bytes` is then empty.
    virtual bool readFile(const std::string& path, std::string& bytes) = 0;
    // Replaces the file's whole content so that a crash at any moment leaves
    // either the old or the new content. False when it could not be written;
    // the old file is then untouched.
    virtual bool replaceFile(const std::string& path, const std::string& bytes) = 0;
};

class Platform : public FileAccess {
public:
    ~Platform() override = default;

    virtual void setEventSink(PlatformEvents* sink) = 0;

    // ---- process ----
    // Prepares what the browser engine needs on this thread (OLE on Windows).
    virtual bool initializeEngine() = 0;
    virtual void shutdownEngine() = 0;
    // Full path of the program file, in the platform's own bytes.
    virtual std::string modulePath() = 0;
    virtual PathStyle pathStyle() = 0;
    virtual bool setCurrentDirectory(const std::string& path) = 0;
    // Ends the process at once with this exit code.
    [[noreturn]] virtual void exitProcess(int code) = 0;

    // ---- files: readFile and replaceFile of FileAccess (paths in the platform's own bytes) ----

    // ---- clock ----
    virtual std::int64_t calendarSeconds() = 0;  // seconds since 1 January 1970
    virtual bool localFields(std::int64_t calendarSeconds, CalendarFields& out) = 0;

    // ---- screen ----
    virtual Rect primaryScreen() = 0;          // the primary monitor
    virtual std::vector<Rect> monitors() = 0;  // every monitor, the primary first

    // ---- top-level windows ----
    // Created hidden. 0 on failure.
    virtual Handle createTopLevel(const TopLevelStyle& style) = 0;
    virtual void destroyWindow(Handle windowOrControl) = 0;
    virtual void showWindow(Handle window, ShowCommand command) = 0;
    virtual ShowState showState(Handle window) = 0;
    virtual bool isWindowVisible(Handle windowOrControl) = 0;
    virtual void activateWindow(Handle window) = 0;
    virtual void enableWindow(Handle window, bool enabled) = 0;
    virtual bool isWindowEnabled(Handle window) = 0;
    virtual void setWindowCaption(Handle window, const std::string& caption) = 0;
    virtual void setMenuBar(Handle window, const std::vector<MenuNode>& menu) = 0;

    // ---- geometry (windows: outer frame in screen pixels; controls: relative to the parent's client area)
    // ----
    virtual Rect windowRect(Handle windowOrControl) = 0;
    virtual Size clientSize(Handle window) = 0;
    virtual void moveWindow(Handle windowOrControl, int left, int top) = 0;
    virtual void resizeWindow(Handle windowOrControl, int width, int height) = 0;

    // ---- controls ----
    virtual Handle createControl(Handle window, const ControlStyle& style) = 0;
    virtual void showControl(Handle control, bool visible) = 0;
    virtual void setControlText(Handle control, const std::string& text) = 0;
    virtual std::string controlText(Handle control) = 0;
    virtual void setFocus(Handle control) = 0;
    virtual Handle focusedControl() = 0;  // 0 when none of the program's controls has it
    virtual void editSelection(Handle edit, int& start, int& end) = 0;
    virtual void setEditSelection(Handle edit, int start, int end) = 0;
    // A button is clicked as if by the user (the default push button on Enter).
    virtual void clickButton(Handle button) = 0;

    // ---- timers ----
    // The first tick comes one period after the start. 0 on failure.
    virtual Handle startTimer(Handle window, int periodMs) = 0;
    virtual void stopTimer(Handle timer) = 0;

    // ---- message loop ----
    // Waits for one piece of input, a posted callback or a timer, and dispatches it.
    virtual void pumpOne() = 0;
    // Dispatches everything already waiting, without waiting.
    virtual void pumpPending() = 0;
    virtual void post(std::function<void()> callback) = 0;

    // ---- dialogs ----
    // Blocking; no owner window.
    virtual void messageBox(const MessageBoxRequest& request) = 0;
    // The address prompt: a modal dialog owned by `owner` with a prompt, one edit
    // box holding `initial` (all selected) and confirm/cancel buttons. True and the
    // edit box's text when confirmed; false when cancelled or closed.
    virtual bool promptText(Handle owner, const std::string& prompt, const std::string& initial,
                            std::string& result) = 0;
    // Switches the themed look of buttons and edit boxes on (style 1..3) or off.
    virtual bool setVisualStyle(int style) = 0;

    // ---- browser engine ----
    // A web view filling `rect` of the window's client area. 0 on failure, nothing left behind.
    virtual Handle createBrowser(Handle window, const Rect& rect, const BrowserSettings& settings) = 0;
    virtual void browserNavigate(Handle browser, const std::string& address) = 0;
    virtual std::string browserLocation(Handle browser) = 0;
    virtual void browserReload(Handle browser) = 0;

    // ---- shell ----
    // A top-level window of any program with exactly this title, or 0.
    virtual Handle findTopLevelWindow(const std::string& title) = 0;
    // Opens the address in the system's default handler for it.
    virtual void shellOpen(Handle owner, const std::string& address) = 0;

    // ---- system libraries bound by name ----
    virtual Handle loadLibrary(const std::string& name) = 0;
    virtual void* libraryFunction(Handle library, const std::string& name) = 0;
    virtual void freeLibrary(Handle library) = 0;
    // Calls a bound SetProcessWorkingSetSize with the current process and (SIZE_T)-1 twice.
    virtual void callWorkingSetTrim(void* function) = 0;

    // ---- power ----
    virtual ShutdownApi& shutdownApi() = 0;
};

}  // namespace wgs
