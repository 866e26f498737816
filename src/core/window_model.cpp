#include "core/window_model.h"

#include <algorithm>
#include <utility>

#include "core/application.h"

namespace wgs {

namespace {

constexpr const char* kNotLoadedMessage = "未载入欲访问窗口组件所在的窗口";
constexpr const char* kWindowGoneMessage = "指定窗口尚未载入";
constexpr const char* kNoSuchWindowMessage = "指定窗口或窗口组件不存在或尚未载入";

int clampCoordinate(int v) {
    return std::clamp(v, -kMaxCoordinate, kMaxCoordinate);
}
int clampExtent(int v) {
    return std::clamp(v, 0, kMaxCoordinate);
}

bool takesFocus(ControlKind kind) {
    return kind == ControlKind::EditBox || kind == ControlKind::Button || kind == ControlKind::WebBrowser;
}

bool isIntegerBox(const ControlDescription& d) {
    return d.kind == ControlKind::EditBox && d.settings.inputMode != InputMode::Normal;
}

std::string keyName(const KeyStroke& k) {
    std::string name;
    if (k.ctrl) name += "Ctrl+";
    if (k.shift) name += "Shift+";
    if (k.alt) name += "Alt+";
    if (k.key >= Key::F1 && k.key <= Key::F12) {
        name += "F" + std::to_string(static_cast<int>(k.key) - static_cast<int>(Key::F1) + 1);
    } else if (k.key == Key::Insert) {
        name += "Ins";
    } else if (k.key == Key::Delete) {
        name += "Del";
    } else if (k.key == Key::Char) {
        name += static_cast<char>(k.ch);
    }
    return name;
}

bool sameKey(const KeyStroke& a, const KeyStroke& b) {
    if (a.key != b.key || a.shift != b.shift || a.ctrl != b.ctrl || a.alt != b.alt) return false;
    if (a.key != Key::Char) return true;
    auto upper = [](std::uint32_t c) { return (c >= 'a' && c <= 'z') ? c - 32 : c; };
    return upper(a.ch) == upper(b.ch);
}

}  // namespace

struct WindowManager::LiveControl {
    ControlDescription desc;
    Handle handle = 0;  // the platform window (0 for a timer)
    Handle timer = 0;   // a running platform timer
    Text caption;       // label and button captions as stored
    std::size_t index = 0;
};

struct WindowManager::LiveWindow {
    WindowDescription desc;
    Handle handle = 0;
    std::vector<LiveControl> controls;
    Text caption;
    bool marked = false;
    bool modal = false;
    std::uint64_t generation = 0;
    // Windows disabled while this one is modal, with whether each was enabled.
    std::vector<std::pair<int, bool>> disabledForModal;
    Handle lastFocus = 0;
};

WindowManager::WindowManager(Application& application, Platform& platform)
    : app_(application), platform_(platform) {
    platform_.setEventSink(this);
}

WindowManager::~WindowManager() {
    platform_.setEventSink(nullptr);
}

void WindowManager::addDescription(WindowDescription description) {
    const int number = description.number;
    description.self.kind = ControlKind::Window;
    descriptions_[number] = std::move(description);
}

bool WindowManager::hasDescription(int window) const {
    return descriptions_.count(window) != 0;
}

void WindowManager::registerKind(ControlKind kind, ControlKindOps* ops) {
    kinds_[kind] = ops;
}

bool WindowManager::isLoaded(int window) const {
    return loaded_.count(window) != 0;
}

std::size_t WindowManager::loadedCount() const {
    return loaded_.size();
}

void WindowManager::createModalOwner() {
    if (modalOwner_) return;
    TopLevelStyle style;
    style.border = Border::None;
    style.controlBox = false;
    style.toolWindow = true;
    style.outer = Rect{0, 0, 0, 0};
    modalOwner_ = platform_.createTopLevel(style);
}

WindowManager::LiveWindow* WindowManager::live(int window) const {
    auto it = loaded_.find(window);
    return it == loaded_.end() ? nullptr : it->second.get();
}

WindowManager::LiveWindow* WindowManager::liveByHandle(Handle window) const {
    if (!window) return nullptr;
    for (auto& [number, w] : loaded_) {
        if (w->handle == window) return w.get();
    }
    return nullptr;
}

WindowManager::LiveControl* WindowManager::findControl(Handle LiveControl::*field, Handle value,
                                                       LiveWindow** owner) const {
    if (!value) return nullptr;
    for (auto& [number, w] : loaded_) {
        for (auto& c : w->controls) {
            if (c.*field == value) {
                if (owner) *owner = w.get();
                return &c;
            }
        }
    }
    return nullptr;
}

WindowManager::LiveControl* WindowManager::controlByHandle(Handle control, LiveWindow** owner) const {
    return findControl(&LiveControl::handle, control, owner);
}

WindowManager::LiveControl* WindowManager::controlByTimer(Handle timer, LiveWindow** owner) const {
    return findControl(&LiveControl::timer, timer, owner);
}

WindowManager::LiveWindow& WindowManager::requireLoaded(int window) {
    LiveWindow* w = live(window);
    if (!w) app_.fatalError(kNotLoadedMessage);
    return *w;
}

WindowManager::LiveControl* WindowManager::findEntry(LiveWindow& w, int entry) const {
    if (entry == 0 || entry == w.desc.self.number) return nullptr;
    for (auto& c : w.controls) {
        if (c.desc.number == entry) return &c;
    }
    return nullptr;
}

Handle WindowManager::handleOf(int window, int entry) const {
    LiveWindow* w = live(window);
    if (!w) return 0;
    if (entry == 0 || entry == w->desc.self.number) return w->handle;
    for (auto& c : w->controls) {
        if (c.desc.number == entry) return c.handle;
    }
    return 0;
}

void WindowManager::raise(int window, const ControlDescription& entry, int eventNumber) {
    if (!deliveryOn()) return;
    for (const auto& binding : entry.events) {
        if (binding.event == eventNumber && binding.handler) {
            // Copy: the handler may unload the window that holds the binding.
            Handler handler = binding.handler;
            handler();
            return;
        }
    }
    (void)window;
}

bool WindowManager::raiseCanBeClosed(LiveWindow& w) {
    if (!deliveryOn()) return true;
    for (const auto& binding : w.desc.self.events) {
        if (binding.event != event::kCanBeClosed) continue;
        if (binding.decide) {
            auto decide = binding.decide;
            return decide();
        }
        if (binding.handler) {
            auto handler = binding.handler;
            handler();
        }
    }
    return true;
}

bool WindowManager::loadWindow(int window, int parentWindow, bool modal) {
    if (LiveWindow* existing = live(window)) {
        if (!existing->marked) {
            if (platform_.showState(existing->handle) == ShowState::Minimized) {
                platform_.showWindow(existing->handle, ShowCommand::Restore);
            } else {
                platform_.activateWindow(existing->handle);
            }
            return true;
        }
        finishDestruction(window);
    }
    auto described = descriptions_.find(window);
    if (described == descriptions_.end()) return false;

    platform_.pumpPending();
    ++suspension_;
    auto w = std::make_unique<LiveWindow>();
    w->desc = described->second;
    static std::uint64_t generations = 0;
    w->generation = ++generations;
    LiveWindow& lw = *w;
    loaded_[window] = std::move(w);
    const bool built = build(lw, parentWindow, modal);
    if (!built) {
        tearDown(lw, false);
        loaded_.erase(window);
        --suspension_;
        return false;
    }
    platform_.pumpPending();
    --suspension_;

    const std::uint64_t generation = lw.generation;
    auto stillThere = [&] {
        LiveWindow* again = live(window);
        return again && again->generation == generation;
    };
    raise(window, lw.desc.self, event::kCreated);
    if (stillThere()) raise(window, lw.desc.self, event::kPositionChanged);
    if (stillThere()) raise(window, lw.desc.self, event::kSizeChanged);
    if (!stillThere()) return true;

    if (lw.desc.self.visible) {
        switch (lw.desc.settings.startPosition) {
            case StartPosition::Minimized:
                platform_.showWindow(lw.handle, ShowCommand::ShowMinimized);
                break;
            case StartPosition::Maximized:
                platform_.showWindow(lw.handle, ShowCommand::ShowMaximized);
                break;
            default:
                platform_.showWindow(lw.handle, ShowCommand::Show);
                break;
        }
        if (stillThere() && !platform_.focusedControl()) focusFirst(lw);
    }
    if (!modal || !stillThere()) return true;

    lw.modal = true;
    const int previousModal = modalWindow_;
    modalWindow_ = window;
    for (auto& [number, other] : loaded_) {
        if (number == window || !other->desc.settings.showInTaskbar) continue;
        if (other->modal) continue;
        const bool wasEnabled = platform_.isWindowEnabled(other->handle);
        lw.disabledForModal.emplace_back(number, wasEnabled);
        platform_.enableWindow(other->handle, false);
    }
    app_.runNestedLoop([&] { return !stillThere(); });
    modalWindow_ = previousModal;
    return true;
}

bool WindowManager::build(LiveWindow& w, int parentWindow, bool modal) {
    const WindowSettings& s = w.desc.settings;
    TopLevelStyle style;
    style.caption = s.caption;
    style.border = s.border;
    style.controlBox = s.controlBox;
    style.minimizeButton = s.minimizeButton;
    style.maximizeButton = s.maximizeButton;
    style.movable = s.movable;
    style.topmost = s.alwaysOnTop;
    style.background = s.background;
    style.outer = w.desc.self.rect;
    if (s.startPosition == StartPosition::Centered) {
        const Rect screen = platform_.primaryScreen();
        style.outer.left = screen.left + (screen.width - style.outer.width) / 2;
        style.outer.top = screen.top + (screen.height - style.outer.height) / 2;
    }
    if (modal) {
        style.owner = modalOwner_;
    } else if (parentWindow && live(parentWindow)) {
        style.owner = live(parentWindow)->handle;
    } else if (!s.showInTaskbar) {
        style.owner = modalOwner_;
    }
    w.caption = s.caption;
    w.handle = platform_.createTopLevel(style);
    if (!w.handle) return false;
    buildMenu(w);

    w.controls.reserve(w.desc.controls.size());
    for (std::size_t i = 0; i < w.desc.controls.size(); ++i) {
        LiveControl c;
        c.desc = w.desc.controls[i];
        c.index = i;
        const ControlDescription& d = c.desc;
        switch (d.kind) {
            case ControlKind::Timer:
                if (d.settings.periodMs > 0) c.timer = platform_.startTimer(w.handle, d.settings.periodMs);
                break;
            case ControlKind::WebBrowser: {
                auto kind = kinds_.find(d.kind);
                if (kind == kinds_.end() || !kind->second) return false;
                c.handle = kind->second->create(platform_, w.handle, d);
                if (!c.handle) return false;
                break;
            }
            case ControlKind::EditBox:
            case ControlKind::Label:
            case ControlKind::Button: {
                ControlStyle cs;
                cs.type = d.kind == ControlKind::EditBox ? ControlType::EditBox
                          : d.kind == ControlKind::Label ? ControlType::Label
                                                         : ControlType::Button;
                cs.rect = d.rect;
                cs.visible = false;
                cs.disabled = d.disabled;
                cs.tabStop = d.tabStop;
                if (d.settings.hasText) {
                    cs.text = d.settings.text;
                } else if (d.kind == ControlKind::Label) {
                    cs.text = "标签";
                } else if (d.kind == ControlKind::Button) {
                    cs.text = "按钮";
                }
                c.caption = cs.text;
                cs.hAlign = d.settings.hAlign;
                cs.vAlign = d.settings.vAlign;
                cs.wordWrap = d.settings.wordWrap;
                cs.defaultButton = d.settings.defaultButton;
                c.handle = platform_.createControl(w.handle, cs);
                if (!c.handle) return false;
                break;
            }
            case ControlKind::Window:
                break;
        }
        w.controls.push_back(std::move(c));
    }
    for (auto& c : w.controls) {
        if (c.handle && c.desc.visible && c.desc.kind != ControlKind::WebBrowser) {
            platform_.showControl(c.handle, true);
        }
    }
    return true;
}

void WindowManager::buildMenu(LiveWindow& w) {
    const auto& items = w.desc.menu;
    if (items.empty()) return;
    std::vector<MenuNode> bar;
    // Parents by level while walking the flat list.
    std::vector<std::vector<MenuNode>*> stack{&bar};
    std::size_t i = 0;
    while (i < items.size()) {
        const MenuItemDescription& item = items[i];
        const bool hasChildren = i + 1 < items.size() && items[i + 1].level > item.level;
        if (item.hidden) {
            // A hidden title takes its items with it.
            std::size_t j = i + 1;
            while (j < items.size() && items[j].level > item.level) ++j;
            i = j;
            continue;
        }
        const std::size_t depth = static_cast<std::size_t>(std::max(0, item.level));
        while (stack.size() > depth + 1) stack.pop_back();
        std::vector<MenuNode>& into = *stack.back();
        MenuNode node;
        node.text = item.text;
        node.separator = item.text == "-";
        node.grayed = item.disabled;
        node.checked = item.checked;
        if (item.hotkey.key != Key::None) node.keyName = keyName(item.hotkey);
        if (!hasChildren && !node.separator) node.command = item.number;
        into.push_back(std::move(node));
        if (hasChildren) stack.push_back(&into.back().children);
        ++i;
    }
    platform_.setMenuBar(w.handle, bar);
}

void WindowManager::destroyWindow(int window) {
    LiveWindow* w = live(window);
    if (!w) app_.fatalError(kNoSuchWindowMessage);
    if (w->marked) return;
    w->marked = true;
    const std::uint64_t generation = w->generation;
    platform_.post([this, window, generation] {
        LiveWindow* again = live(window);
        if (again && again->generation == generation && again->marked) finishDestruction(window);
    });
}

void WindowManager::finishDestruction(int window) {
    LiveWindow* w = live(window);
    if (!w) return;
    w->marked = false;
    for (auto& [number, wasEnabled] : w->disabledForModal) {
        if (LiveWindow* other = live(number)) platform_.enableWindow(other->handle, wasEnabled);
    }
    w->disabledForModal.clear();
    const std::uint64_t generation = w->generation;
    raise(window, w->desc.self, event::kWillBeDestroyed);
    w = live(window);
    if (!w || w->generation != generation) return;
    tearDown(*w, true);
    loaded_.erase(window);
    if (loaded_.empty() && app_.loopStarted()) app_.postQuit(0);
}

void WindowManager::tearDown(LiveWindow& w, bool /*withEvents*/) {
    for (auto& c : w.controls) {
        if (c.timer) {
            platform_.stopTimer(c.timer);
            c.timer = 0;
        }
        if (c.desc.kind == ControlKind::WebBrowser && c.handle) {
            auto kind = kinds_.find(c.desc.kind);
            if (kind != kinds_.end() && kind->second) kind->second->destroy(platform_, c.handle);
            c.handle = 0;
        }
    }
    if (w.handle) {
        platform_.destroyWindow(w.handle);
        w.handle = 0;
    }
    for (auto& c : w.controls) c.handle = 0;
}

void WindowManager::discardAll() {
    deliveryOff_ = true;
    while (!loaded_.empty()) {
        auto it = loaded_.begin();
        tearDown(*it->second, false);
        loaded_.erase(it);
    }
    if (modalOwner_) {
        platform_.destroyWindow(modalOwner_);
        modalOwner_ = 0;
    }
}

// ---- properties ----

PropertyValue WindowManager::readProperty(int window, int entry, int property) {
    LiveWindow& w = requireLoaded(window);
    LiveControl* c = findEntry(w, entry);
    if (!c && entry != 0 && entry != w.desc.self.number) app_.fatalError(kNoSuchWindowMessage);
    const Handle h = c ? c->handle : w.handle;
    const ControlKind kind = c ? c->desc.kind : ControlKind::Window;

    if (property >= prop::kLeft && property <= prop::kHeight) {
        Rect r = (kind == ControlKind::Timer || !h) ? (c ? c->desc.rect : w.desc.self.rect)
                                                    : platform_.windowRect(h);
        const int values[] = {r.left, r.top, r.width, r.height};
        return values[property];
    }
    if (property == prop::kVisible) return c ? c->desc.visible : w.desc.self.visible;
    if (property == prop::kDisabled) return c ? c->desc.disabled : w.desc.self.disabled;
    if (property < 8) return 0;
    if (kind != ControlKind::Timer && !h) app_.fatalError(kWindowGoneMessage);
    switch (kind) {
        case ControlKind::Window:
            if (property == prop::kCaption) return w.caption;
            if (property == prop::kPosition) {
                switch (platform_.showState(h)) {
                    case ShowState::Minimized:
                        return 2;
                    case ShowState::Maximized:
                        return 3;
                    case ShowState::Normal:
                        return 0;
                }
            }
            return 0;
        case ControlKind::EditBox:
            if (property == prop::kText) return platform_.controlText(h);
            return 0;
        case ControlKind::Label:
        case ControlKind::Button:
            if (property == prop::kCaption) return c->caption;
            return 0;
        case ControlKind::Timer:
            if (property == 8) return c->desc.settings.periodMs;
            return 0;
        case ControlKind::WebBrowser: {
            auto ops = kinds_.find(kind);
            if (ops == kinds_.end() || !ops->second) return 0;
            return ops->second->read(platform_, h, property);
        }
    }
    return 0;
}

namespace {
int asInt(const PropertyValue& v) {
    if (auto i = std::get_if<std::int32_t>(&v)) return *i;
    if (auto b = std::get_if<bool>(&v)) return *b ? 1 : 0;
    return textToInt(std::get<Text>(v));
}
Text asText(const PropertyValue& v) {
    if (auto t = std::get_if<Text>(&v)) return *t;
    if (auto i = std::get_if<std::int32_t>(&v)) return intToText(*i);
    return std::get<bool>(v) ? "1" : "0";
}
}  // namespace

void WindowManager::writeProperty(int window, int entry, int property, const PropertyValue& value) {
    LiveWindow& w = requireLoaded(window);
    LiveControl* c = findEntry(w, entry);
    if (!c && entry != 0 && entry != w.desc.self.number) app_.fatalError(kNoSuchWindowMessage);
    const Handle h = c ? c->handle : w.handle;
    const ControlKind kind = c ? c->desc.kind : ControlKind::Window;

    if (property >= prop::kLeft && property <= prop::kHeight) {
        if (kind == ControlKind::Timer || !h) {
            Rect& r = c ? c->desc.rect : w.desc.self.rect;
            int* fields[] = {&r.left, &r.top, &r.width, &r.height};
            *fields[property] = property < 2 ? clampCoordinate(asInt(value)) : clampExtent(asInt(value));
            return;
        }
        const Rect r = platform_.windowRect(h);
        switch (property) {
            case prop::kLeft:
                platform_.moveWindow(h, clampCoordinate(asInt(value)), r.top);
                break;
            case prop::kTop:
                platform_.moveWindow(h, r.left, clampCoordinate(asInt(value)));
                break;
            case prop::kWidth:
                platform_.resizeWindow(h, clampExtent(asInt(value)), r.height);
                break;
            case prop::kHeight:
                platform_.resizeWindow(h, r.width, clampExtent(asInt(value)));
                break;
        }
        return;
    }
    if (property == prop::kVisible) {
        const bool visible = asInt(value) != 0;
        if (c) {
            c->desc.visible = visible;
            if (h) platform_.showControl(h, visible);
        } else {
            w.desc.self.visible = visible;
            platform_.showWindow(h, visible ? ShowCommand::Show : ShowCommand::Hide);
        }
        return;
    }
    if (property == prop::kDisabled) {
        const bool disabled = asInt(value) != 0;
        (c ? c->desc.disabled : w.desc.self.disabled) = disabled;
        if (h) platform_.enableWindow(h, !disabled);
        return;
    }
    if (property < 8) return;
    if (kind != ControlKind::Timer && !h) app_.fatalError(kWindowGoneMessage);
    switch (kind) {
        case ControlKind::Window:
            if (property == prop::kCaption) {
                w.caption = asText(value);
                platform_.setWindowCaption(h, w.caption);
            }
            return;
        case ControlKind::EditBox:
            if (property == prop::kText) writeEditText(w, *c, asText(value));
            return;
        case ControlKind::Label:
        case ControlKind::Button:
            if (property == prop::kCaption) {
                c->caption = asText(value);
                platform_.setControlText(h, c->caption);
            }
            return;
        case ControlKind::Timer:
            if (property == 8) {
                const int period = asInt(value);
                if (period == c->desc.settings.periodMs) return;
                c->desc.settings.periodMs = period;
                if (c->timer) platform_.stopTimer(c->timer);
                c->timer = period > 0 ? platform_.startTimer(w.handle, period) : 0;
            }
            return;
        case ControlKind::WebBrowser: {
            auto ops = kinds_.find(kind);
            if (ops != kinds_.end() && ops->second) ops->second->write(platform_, h, property, value);
            return;
        }
    }
}

void WindowManager::writeEditText(LiveWindow& w, LiveControl& c, const Text& text) {
    const int window = w.desc.number;
    platform_.setControlText(c.handle, text);
    // Exactly one change notice per write, even for the same text.
    raise(window, c.desc, event::kTextChanged);
}

int WindowManager::readInt(int window, int entry, int property) {
    return asInt(readProperty(window, entry, property));
}

Text WindowManager::readText(int window, int entry, int property) {
    return asText(readProperty(window, entry, property));
}

void WindowManager::writeInt(int window, int entry, int property, int value) {
    writeProperty(window, entry, property, PropertyValue{static_cast<std::int32_t>(value)});
}

void WindowManager::writeText(int window, int entry, int property, const Text& text) {
    writeProperty(window, entry, property, PropertyValue{text});
}

Size WindowManager::clientSize(int window) {
    LiveWindow& w = requireLoaded(window);
    return platform_.clientSize(w.handle);
}

// ---- focus and keyboard ----

std::vector<WindowManager::LiveControl*> WindowManager::tabChain(LiveWindow& w) {
    std::vector<LiveControl*> chain;
    for (auto& c : w.controls) {
        if (!c.handle || !takesFocus(c.desc.kind) || !c.desc.tabStop) continue;
        if (!c.desc.visible || c.desc.disabled) continue;
        chain.push_back(&c);
    }
    // Ascending tab order; equal tab orders in reverse description order.
    std::stable_sort(chain.begin(), chain.end(), [](const LiveControl* a, const LiveControl* b) {
        if (a->desc.tabOrder != b->desc.tabOrder) return a->desc.tabOrder < b->desc.tabOrder;
        return a->index > b->index;
    });
    return chain;
}

void WindowManager::focusFirst(LiveWindow& w) {
    auto chain = tabChain(w);
    if (!chain.empty()) platform_.setFocus(chain.front()->handle);
}

void WindowManager::moveFocus(LiveWindow& w, bool forward) {
    auto chain = tabChain(w);
    if (chain.empty()) return;
    const Handle current = platform_.focusedControl();
    auto it = std::find_if(chain.begin(), chain.end(), [&](LiveControl* c) { return c->handle == current; });
    std::size_t next = 0;
    if (it == chain.end()) {
        next = forward ? 0 : chain.size() - 1;
    } else {
        const std::size_t at = static_cast<std::size_t>(it - chain.begin());
        next = forward ? (at + 1) % chain.size() : (at + chain.size() - 1) % chain.size();
    }
    platform_.setFocus(chain[next]->handle);
}

bool WindowManager::onKey(Handle window, const KeyStroke& key) {
    LiveWindow* w = liveByHandle(window);
    if (!w) return false;
    const int number = w->desc.number;
    // The accelerators come first, whatever control has the focus.
    for (const auto& item : w->desc.menu) {
        if (item.hotkey.key == Key::None || item.hidden || item.disabled) continue;
        if (!sameKey(item.hotkey, key)) continue;
        if (item.handler && deliveryOn()) {
            Handler handler = item.handler;
            handler();
        }
        return true;
    }
    if (key.alt || key.ctrl) return false;
    switch (key.key) {
        case Key::Tab:
            moveFocus(*w, !key.shift);
            return true;
        case Key::Enter: {
            if (w->desc.settings.enterMovesFocus) {
                moveFocus(*w, true);
                return true;
            }
            for (auto& c : w->controls) {
                if (c.desc.kind == ControlKind::Button && c.desc.settings.defaultButton && c.handle) {
                    platform_.clickButton(c.handle);
                    return true;
                }
            }
            return false;
        }
        case Key::Escape:
            if (w->desc.settings.escCloses) {
                onCloseRequested(window);
                return true;
            }
            return false;
        default:
            break;
    }
    (void)number;
    return false;
}

void WindowManager::onActivated(Handle window) {
    LiveWindow* w = liveByHandle(window);
    if (!w) return;
    LiveControl* last = controlByHandle(w->lastFocus);
    if (last && last->desc.visible && !last->desc.disabled) {
        platform_.setFocus(last->handle);
    } else {
        focusFirst(*w);
    }
}

void WindowManager::onFocusGained(Handle control) {
    LiveWindow* w = nullptr;
    if (controlByHandle(control, &w)) w->lastFocus = control;
}

void WindowManager::onFocusLost(Handle control) {
    LiveWindow* w = nullptr;
    LiveControl* c = controlByHandle(control, &w);
    if (c && isIntegerBox(c->desc)) normalizeOnFocusLoss(*w, *c);
}

void WindowManager::normalizeOnFocusLoss(LiveWindow& w, LiveControl& c) {
    const Text current = platform_.controlText(c.handle);
    const Text normalized =
        normalizeIntegerBox(current, c.desc.settings.inputMode == InputMode::IntegerKeepZero);
    if (normalized == current) return;
    int start = 0;
    int end = 0;
    platform_.editSelection(c.handle, start, end);
    const Handle handle = c.handle;
    writeEditText(w, c, normalized);
    if (controlByHandle(handle)) {
        const int caret = std::min<int>(start, static_cast<int>(normalized.size()));
        platform_.setEditSelection(handle, caret, caret);
    }
}

bool WindowManager::onAcceptChar(Handle control, std::uint32_t codePoint) {
    LiveControl* c = controlByHandle(control);
    if (!c || !isIntegerBox(c->desc)) return true;
    return codePoint < 0x20 || codePoint == '-' || (codePoint >= '0' && codePoint <= '9');
}

// ---- events from the platform ----

void WindowManager::onCloseRequested(Handle window) {
    LiveWindow* w = liveByHandle(window);
    if (!w || w->marked) return;
    if (!raiseCanBeClosed(*w)) return;
    finishDestruction(w->desc.number);
}

bool WindowManager::onQueryEndSession(Handle window) {
    LiveWindow* w = liveByHandle(window);
    if (!w) return true;
    return raiseCanBeClosed(*w);
}

void WindowManager::onMoved(Handle window) {
    if (LiveWindow* w = liveByHandle(window)) raise(w->desc.number, w->desc.self, event::kPositionChanged);
}

void WindowManager::onResized(Handle window) {
    if (LiveWindow* w = liveByHandle(window)) raise(w->desc.number, w->desc.self, event::kSizeChanged);
}

void WindowManager::onMenuCommand(Handle window, int command) {
    LiveWindow* w = liveByHandle(window);
    if (!w) return;
    for (const auto& item : w->desc.menu) {
        if (item.number != command) continue;
        if (item.disabled || item.hidden || !item.handler || !deliveryOn()) return;
        Handler handler = item.handler;
        handler();
        return;
    }
}

void WindowManager::onTimer(Handle timer) {
    LiveWindow* w = nullptr;
    if (LiveControl* c = controlByTimer(timer, &w)) raise(w->desc.number, c->desc, event::kPeriodic);
}

void WindowManager::onClicked(Handle control) {
    LiveWindow* w = nullptr;
    LiveControl* c = controlByHandle(control, &w);
    if (c && c->desc.kind == ControlKind::Button) raise(w->desc.number, c->desc, event::kClicked);
}

void WindowManager::onTextChanged(Handle control) {
    LiveWindow* w = nullptr;
    LiveControl* c = controlByHandle(control, &w);
    if (c && c->desc.kind == ControlKind::EditBox) raise(w->desc.number, c->desc, event::kTextChanged);
}

}  // namespace wgs
