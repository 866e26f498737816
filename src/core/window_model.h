// Windows as data: descriptions built into live windows by WindowManager,
// which delivers the platform's events to the handlers bound in them.
//
// Ordering rules every handler may rely on:
//  - the created event comes once per load, after all controls exist, while
//    the window is still hidden; then position changed and size changed;
//  - writing a window's width or height raises size changed inside the write;
//  - writing an edit box's text raises text changed exactly once, inside the write;
//  - destroying a window only marks it and posts a request; it goes when the
//    loop next runs;
//  - a modal load runs a nested loop and returns after its window has gone;
//  - when the last window has gone, the quit is posted.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "core/text.h"
#include "platform/platform.h"

namespace wgs {

class Application;

using Handler = std::function<void()>;

enum class ControlKind { Window, EditBox, Label, Button, Timer, WebBrowser };

// Event numbers, by kind.
namespace event {
constexpr int kCreated = 0;          // window
constexpr int kCanBeClosed = 1;      // window
constexpr int kWillBeDestroyed = 2;  // window
constexpr int kPositionChanged = 3;  // window
constexpr int kSizeChanged = 4;      // window
constexpr int kTextChanged = 0;      // edit box
constexpr int kClicked = 0;          // button
constexpr int kPeriodic = 0;         // timer
}  // namespace event

// Property numbers. 0..7 are common to every window and control.
namespace prop {
constexpr int kLeft = 0;
constexpr int kTop = 1;
constexpr int kWidth = 2;
constexpr int kHeight = 3;
constexpr int kTag = 4;
constexpr int kVisible = 5;
constexpr int kDisabled = 6;
constexpr int kMousePointer = 7;
constexpr int kCaption = 8;    // window, label, button
constexpr int kText = 8;       // edit box
constexpr int kPosition = 18;  // window: 2 minimized, 3 maximized, 0 otherwise
}  // namespace prop

constexpr int kMaxCoordinate = 32627;

enum class InputMode {
    Normal,
    Integer,          // input mode 7: only '-' and digits typed; normalised on focus loss, 0 empties
    IntegerKeepZero,  // as Integer, but a typed 0 stays "0"
};

// Position at creation.
enum class StartPosition { AsDescribed = 0, Centered = 1, Minimized = 2, Maximized = 3 };

struct WindowSettings {
    Text caption;
    Border border = Border::Resizable;
    std::uint32_t background = 0xff000000u;
    bool controlBox = true;
    bool maximizeButton = false;
    bool minimizeButton = true;
    StartPosition startPosition = StartPosition::Centered;
    bool movable = true;
    bool enterMovesFocus = false;
    bool escCloses = false;
    bool showInTaskbar = true;
    bool alwaysOnTop = false;
};

// The kind's own settings; fields that do not apply to a kind are ignored.
struct KindSettings {
    // edit box
    InputMode inputMode = InputMode::Normal;
    // label and button caption, edit box text
    Text text;
    bool hasText = false;  // false: the kind's default caption ("标签", "按钮")
    HAlign hAlign = HAlign::Left;
    VAlign vAlign = VAlign::Center;
    bool wordWrap = false;
    bool defaultButton = false;
    // timer
    int periodMs = 0;
    // web browser
    int textSize = 2;
    bool offline = false;
    bool silent = true;
    Text address;
};

struct EventBinding {
    int event = 0;
    Handler handler;
    // For the can-be-closed event: the answer; false refuses. Empty means yes.
    std::function<bool()> decide;
};

// A binding of `handler` to the event numbered `event`, for descriptions.
inline EventBinding on(int event, Handler handler) {
    EventBinding binding;
    binding.event = event;
    binding.handler = std::move(handler);
    return binding;
}

struct ControlDescription {
    int number = 0;
    ControlKind kind = ControlKind::Label;
    Text name;
    Rect rect;
    int parent = 0;  // a container control, or 0
    bool visible = true;
    bool disabled = false;
    bool tabStop = false;
    int tabOrder = 0;
    std::vector<EventBinding> events;
    KindSettings settings;
};

struct MenuItemDescription {
    int number = 0;
    int level = 0;
    Text text;         // "-" is a separator
    KeyStroke hotkey;  // Key::None for none
    bool hidden = false;
    bool disabled = false;
    bool checked = false;
    Handler handler;  // the selected event, or empty
};

struct WindowDescription {
    int number = 0;
    ControlDescription self;  // kind Window; rect is the outer frame on the screen
    WindowSettings settings;
    std::vector<ControlDescription> controls;
    std::vector<MenuItemDescription> menu;
};

using PropertyValue = std::variant<std::int32_t, bool, Text>;

// A control kind that lives outside the core (the web browser pane).
class ControlKindOps {
public:
    virtual ~ControlKindOps() = default;
    // 0 on failure, with nothing left behind.
    virtual Handle create(Platform& platform, Handle window, const ControlDescription& description) = 0;
    virtual void destroy(Platform& platform, Handle control) = 0;
    virtual PropertyValue read(Platform& platform, Handle control, int property) = 0;
    virtual void write(Platform& platform, Handle control, int property, const PropertyValue& value) = 0;
};

class WindowManager : private PlatformEvents {
public:
    WindowManager(Application& application, Platform& platform);
    ~WindowManager() override;
    WindowManager(const WindowManager&) = delete;
    WindowManager& operator=(const WindowManager&) = delete;

    void addDescription(WindowDescription description);
    bool hasDescription(int window) const;
    void registerKind(ControlKind kind, ControlKindOps* ops);

    // Returns after the window is shown; a modal load only after it has gone.
    bool loadWindow(int window, int parentWindow, bool modal);
    void destroyWindow(int window);
    bool isLoaded(int window) const;

    PropertyValue readProperty(int window, int entry, int property);
    void writeProperty(int window, int entry, int property, const PropertyValue& value);

    // Typed accessors over the numbered properties. `entry` 0 means the window itself.
    int readInt(int window, int entry, int property);
    Text readText(int window, int entry, int property);
    void writeInt(int window, int entry, int property, int value);
    void writeText(int window, int entry, int property, const Text& text);

    // The client area of a loaded window, in pixels.
    Size clientSize(int window);
    // The platform handle of a loaded window or control (0 if none).
    Handle handleOf(int window, int entry = 0) const;

    // The invisible owner of modal windows and of windows without a taskbar button.
    void createModalOwner();
    // While a fatal error's message box is open no event is delivered.
    void suspendEvents() { ++suspension_; }
    // Switches event delivery off for good and discards every loaded window without any event.
    void discardAll();
    // Number of windows that are loaded now.
    std::size_t loadedCount() const;

private:
    struct LiveControl;
    struct LiveWindow;

    // PlatformEvents
    void onCloseRequested(Handle window) override;
    bool onQueryEndSession(Handle window) override;
    void onMoved(Handle window) override;
    void onResized(Handle window) override;
    void onActivated(Handle window) override;
    void onMenuCommand(Handle window, int command) override;
    void onTimer(Handle timer) override;
    void onClicked(Handle control) override;
    void onTextChanged(Handle control) override;
    bool onAcceptChar(Handle control, std::uint32_t codePoint) override;
    void onFocusGained(Handle control) override;
    void onFocusLost(Handle control) override;
    bool onKey(Handle window, const KeyStroke& key) override;

    LiveWindow* live(int window) const;
    LiveWindow* liveByHandle(Handle window) const;
    LiveControl* controlByHandle(Handle control, LiveWindow** owner = nullptr) const;
    LiveControl* controlByTimer(Handle timer, LiveWindow** owner = nullptr) const;
    LiveControl* findControl(Handle LiveControl::*field, Handle value, LiveWindow** owner) const;
    LiveWindow& requireLoaded(int window);
    LiveControl* findEntry(LiveWindow& w, int entry) const;
    void raise(int window, const ControlDescription& entry, int eventNumber);
    bool raiseCanBeClosed(LiveWindow& w);
    void finishDestruction(int window);
    void tearDown(LiveWindow& w, bool withEvents);
    bool build(LiveWindow& w, int parentWindow, bool modal);
    void buildMenu(LiveWindow& w);
    void focusFirst(LiveWindow& w);
    void moveFocus(LiveWindow& w, bool forward);
    std::vector<LiveControl*> tabChain(LiveWindow& w);
    void normalizeOnFocusLoss(LiveWindow& w, LiveControl& c);
    void writeEditText(LiveWindow& w, LiveControl& c, const Text& text);
    bool deliveryOn() const { return suspension_ == 0 && !deliveryOff_; }

    Application& app_;
    Platform& platform_;
    std::map<int, WindowDescription> descriptions_;
    std::map<int, std::unique_ptr<LiveWindow>> loaded_;
    std::map<ControlKind, ControlKindOps*> kinds_;
    int suspension_ = 0;
    bool deliveryOff_ = false;
    int modalWindow_ = 0;
    Handle modalOwner_ = 0;
};

}  // namespace wgs
