// A deterministic simulated desktop: the platform the tests drive the whole
// program on.
//
// A 1024 x 768 screen; top-level frames whose outer rectangle is larger than
// the client area; a message queue with posted callbacks; timers on a virtual
// clock; keyboard and mouse input that follows the window model's focus rules;
// a Windows-style file system mapped onto a host folder; and a record of
// everything the program asked of the platform.
//
// The user is a script: steps queued with then()/advance() run one at a time
// whenever the program waits for input with nothing left to dispatch. A step
// injects input (which is queued like real input) or checks what is on screen.
// A program that waits with no step left has stalled: the sim throws SimStalled.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace wgs {

struct SimExit {
    int code;
};
struct SimStalled {
    std::string what;
};

// Records every call of the shutdown table; answers as configured.
class FakeShutdownApi : public ShutdownApi {
public:
    struct Call {
        std::string function;
        std::uint32_t a = 0;
        std::uint32_t b = 0;
    };
    std::uint32_t platformId = kVerPlatformWin32Nt;
    bool openTokenSucceeds = true;
    bool lookupSucceeds = true;
    bool adjustSucceeds = true;
    std::uint32_t lastErrorAfterAdjust = 0;
    bool exitWindowsResult = true;
    bool powerStateResult = true;
    std::vector<Call> calls;

    bool getVersionEx(OsVersionInfo& info) override;
    bool openProcessToken(std::uint32_t access, TokenHandle& token) override;
    bool lookupPrivilegeValue(const char* name, Luid& luid) override;
    bool adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) override;
    std::uint32_t getLastError() override;
    bool closeHandle(TokenHandle token) override;
    bool exitWindowsEx(std::uint32_t flags, std::uint32_t reason) override;
    bool setSystemPowerState(bool suspend, bool force) override;

    // Only the calls that would end the session or power the machine down.
    std::vector<Call> shutdownCalls() const;

private:
    std::uint32_t lastError_ = 0;
};

struct SimFrameMetrics {
    int border = 8;           // each side, resizable and fixed frames alike
    int caption = 31;         // caption bar
    int menuBar = 20;         // one line of menu bar
    int minTrackWidth = 136;  // smallest outer size of a resizable captioned window
    int minTrackHeight = 39;
};

class SimDesktop : public Platform {
public:
    struct Options {
        int screenWidth = 1024;
        int screenHeight = 768;
        std::vector<Rect> extraMonitors;
        SimFrameMetrics frame;
        // Drive letters map to host folders: "C:" -> hostRoot + "/C".
        std::string hostRoot;
        // The program file's path as the platform gives it (GBK bytes, backslashes).
        std::string modulePath = "C:\\Games\\webgame-shell.exe";
        PathStyle pathStyle{'\\', true};
        // Local wall-clock time at virtual time 0.
        CalendarFields startTime{2012, 12, 30, 14, 5, 7};
        // Working-set trim: the libraries that export SetProcessWorkingSetSize.
        std::vector<std::string> librariesWithTrim{"Kernel32.dll"};
    };

    SimDesktop();
    explicit SimDesktop(Options options);
    ~SimDesktop() override;

    // ---- running the program ----
    // Runs `program` (usually the whole process) and returns its exit code,
    // whether it returned or ended the process through exitProcess.
    int run(const std::function<int()>& program);

    // ---- the scripted user ----
    void then(std::function<void()> step);
    // Lets `ms` of virtual time pass, dispatching every timer tick that falls due.
    void advance(std::int64_t ms);
    // Lets virtual time pass until the local wall clock shows this time.
    void advanceToLocal(const CalendarFields& when);
    std::size_t pendingSteps() const { return steps_.size(); }

    // ---- input (queued like real input; call from steps) ----
    void press(Key key, bool shift = false, bool ctrl = false, bool alt = false);
    // A character key with modifiers, such as Alt+O (a mnemonic) or Ctrl+A.
    void pressChar(char ch, bool ctrl, bool alt);
    // Types GBK text into the focused control, character by character.
    void type(const std::string& gbkText);
    // Replaces the focused edit box's selection with text, unfiltered.
    void paste(const std::string& gbkText);
    void click(Handle control);  // focuses it and, for a button, clicks it
    void closeBox(Handle window);
    void chooseMenu(Handle window, const std::vector<std::string>& path);  // GBK texts, title first
    void minimize(Handle window);
    void restore(Handle window);
    void userResize(Handle window, int width, int height);
    void userMove(Handle window, int left, int top);
    // Selects the whole text of the focused edit box (or of the prompt's box).
    void selectAll();
    // The address prompt (while promptText runs): keys typed go to its edit box;
    // Enter or Alt+O confirm, Esc or Alt+C cancel.
    bool promptOpen() const { return prompt_.active; }
    void promptButton(bool confirm);
    void promptCloseBox();
    // A window of another program (for the shell's owner look-up).
    Handle addForeignWindow(const std::string& caption);

    // ---- what is on screen ----
    std::vector<Handle> topLevelWindows() const;  // existing, in creation order
    Handle windowByCaption(const std::string& caption) const;
    std::string caption(Handle window) const;
    Rect rect(Handle windowOrControl) const {
        return const_cast<SimDesktop*>(this)->windowRect(windowOrControl);
    }
    Rect clientRect(Handle window) const;  // client area in screen pixels
    bool exists(Handle h) const;
    bool visible(Handle h) const;
    bool enabled(Handle h) const;
    Handle activeWindow() const { return active_; }
    Handle focus() const { return focus_; }
    std::vector<Handle> controls(Handle window) const;  // in creation order
    Handle controlByText(Handle window, const std::string& text) const;
    std::string text(Handle control) const;
    ControlType controlType(Handle control) const;
    const std::vector<MenuNode>& menuBar(Handle window) const;
    Handle browserOf(Handle window) const;
    Rect browserRect(Handle browser) const;
    // The prompt's state while it is open.
    std::string promptText() const { return prompt_.text; }
    bool promptAllSelected() const { return prompt_.allSelected; }
    std::string promptCaption() const { return prompt_.prompt; }
    std::int64_t now() const { return nowMs_; }
    CalendarFields localNow() const;
    bool visualStyleOn() const { return visualStyle_; }

    // ---- records ----
    struct Navigation {
        Handle browser;
        std::string address;
    };
    std::vector<Navigation> navigations;
    std::vector<std::string> shellOpens;  // addresses given to shellOpen
    std::vector<Handle> shellOwners;
    std::vector<MessageBoxRequest> messageBoxes;
    int reloads = 0;
    int trims = 0;
    std::vector<std::string> libraryLoads;  // names given to loadLibrary, in order
    std::vector<std::string> libraryFrees;
    std::vector<std::string> currentDirectories;
    std::vector<std::string> log;  // every request, one line each
    FakeShutdownApi shutdown;
    // What the browser reports as its location: by default the last address
    // navigated to; a mapping from an address to what the engine shows instead.
    std::map<std::string, std::string> browserRedirects;
    // Host paths under which writes fail (a read-only medium).
    std::vector<std::string> readOnlyHostDirs;

    // Maps a platform path onto the host file system ("" when unmappable).
    std::string hostPath(const std::string& platformPath) const;

    // ---- Platform ----
    void setEventSink(PlatformEvents* sink) override;
    bool initializeEngine() override;
    void shutdownEngine() override;
    std::string modulePath() override;
    PathStyle pathStyle() override;
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
    ShutdownApi& shutdownApi() override { return shutdown; }

    // Browser creation fails from now on (for failure tests).
    bool failBrowserCreation = false;
    // Sets the engine's settings as last applied, for inspection.
    BrowserSettings browserSettings(Handle browser) const;

private:
    struct Node;
    struct Timer;
    struct PromptState {
        bool active = false;
        Handle owner = 0;
        std::string prompt;
        std::string text;
        bool allSelected = false;
        int outcome = 0;  // 0 open, 1 confirmed, 2 cancelled
    };

    Node* node(Handle h) const;
    Node& require(Handle h) const;
    Handle topOf(Handle h) const;
    void enqueue(std::function<void()> input);
    bool runDueTimer();
    void runNextStep();
    void deliverKey(const KeyStroke& key);
    void promptKey(const KeyStroke& key);
    void report(const std::string& line);
    void activate(Handle window);
    void insertIntoEdit(Node& edit, const std::string& bytes, bool replaceAll);
    void promptInsert(const std::string& bytes);
    void setShowState(Node& n, ShowState s);
    void notifyGeometry(Node& n, const Rect& before);
    bool acceptsInput(Handle window) const;

    Options options_;
    PlatformEvents* sink_ = nullptr;
    std::map<Handle, std::unique_ptr<Node>> nodes_;
    std::vector<Handle> order_;
    std::map<Handle, Timer> timers_;
    std::deque<std::function<void()>> queue_;
    std::deque<std::function<void()>> steps_;
    std::int64_t nowMs_ = 0;
    std::int64_t advanceTarget_ = -1;
    Handle nextHandle_ = 0x100;
    Handle active_ = 0;
    Handle focus_ = 0;
    bool visualStyle_ = false;
    bool engineUp_ = false;
    PromptState prompt_;
    std::int64_t startEpoch_ = 0;
    std::string currentDirectory_;
    std::map<Handle, std::string> libraries_;
    std::vector<Handle> activationHistory_;
    bool inStep_ = false;
    std::vector<std::function<void()>> stepsAddedInStep_;
};

}  // namespace wgs
