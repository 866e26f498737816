#include "platform/sim/sim_desktop.h"

#include <iconv.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <utility>

#include "platform/posix/files.h"

namespace wgs {

// ---------------------------------------------------------------------------
// FakeShutdownApi

bool FakeShutdownApi::getVersionEx(OsVersionInfo& info) {
    calls.push_back({"GetVersionExA", info.sizeOfStruct, 0});
    info.platformId = platformId;
    info.majorVersion = 6;
    info.minorVersion = 1;
    return true;
}

bool FakeShutdownApi::openProcessToken(std::uint32_t access, TokenHandle& token) {
    calls.push_back({"OpenProcessToken", access, 0});
    if (!openTokenSucceeds) {
        lastError_ = 5;  // access denied
        return false;
    }
    token = 0x44;
    return true;
}

bool FakeShutdownApi::lookupPrivilegeValue(const char* name, Luid& luid) {
    calls.push_back({std::string("LookupPrivilegeValueA:") + (name ? name : ""), 0, 0});
    luid.lowPart = 19;  // the shutdown privilege's usual value
    luid.highPart = 0;
    if (!lookupSucceeds) lastError_ = 1313;  // no such privilege
    return lookupSucceeds;
}

bool FakeShutdownApi::adjustTokenPrivileges(TokenHandle token, const Luid& luid, std::uint32_t attributes) {
    calls.push_back({"AdjustTokenPrivileges", static_cast<std::uint32_t>(token), attributes});
    (void)luid;
    lastError_ = adjustSucceeds ? lastErrorAfterAdjust : 6;
    return adjustSucceeds;
}

std::uint32_t FakeShutdownApi::getLastError() {
    return lastError_;
}

bool FakeShutdownApi::closeHandle(TokenHandle token) {
    calls.push_back({"CloseHandle", static_cast<std::uint32_t>(token), 0});
    return true;
}

bool FakeShutdownApi::exitWindowsEx(std::uint32_t flags, std::uint32_t reason) {
    calls.push_back({"ExitWindowsEx", flags, reason});
    return exitWindowsResult;
}

bool FakeShutdownApi::setSystemPowerState(bool suspend, bool force) {
    calls.push_back({"SetSystemPowerState", suspend ? 1u : 0u, force ? 1u : 0u});
    return powerStateResult;
}

std::vector<FakeShutdownApi::Call> FakeShutdownApi::shutdownCalls() const {
    std::vector<Call> out;
    for (const auto& c : calls) {
        if (c.function == "ExitWindowsEx" || c.function == "SetSystemPowerState") out.push_back(c);
    }
    return out;
}

// ---------------------------------------------------------------------------
// The desktop

struct SimDesktop::Node {
    Handle handle = 0;
    bool topLevel = false;
    bool browser = false;
    bool foreign = false;
    Handle parent = 0;
    TopLevelStyle style;
    ControlStyle control;
    Rect rect;
    Rect restoreRect;
    ShowState state = ShowState::Normal;
    bool visible = false;
    bool enabled = true;
    std::string text;  // caption or control text
    std::vector<MenuNode> menu;
    int selStart = 0;
    int selEnd = 0;
    BrowserSettings browserSettings;
    std::string location;
};

struct SimDesktop::Timer {
    Handle window = 0;
    int period = 0;
    std::int64_t due = 0;
};

namespace {

std::int64_t toEpoch(const CalendarFields& f) {
    std::tm tm{};
    tm.tm_year = f.year - 1900;
    tm.tm_mon = f.month - 1;
    tm.tm_mday = f.day;
    tm.tm_hour = f.hour;
    tm.tm_min = f.minute;
    tm.tm_sec = f.second;
    return static_cast<std::int64_t>(timegm(&tm));
}

// One GBK character (1 or 2 bytes) as a Unicode code point, for the char filter.
std::uint32_t codePointOf(const std::string& gbk) {
    if (gbk.size() == 1) return static_cast<unsigned char>(gbk[0]);
    iconv_t cd = iconv_open("UTF-32LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return 0xFFFD;
    char in[4] = {};
    std::memcpy(in, gbk.data(), std::min<std::size_t>(gbk.size(), 2));
    char out[8] = {};
    char* inp = in;
    char* outp = out;
    std::size_t inLeft = gbk.size();
    std::size_t outLeft = sizeof out;
    std::uint32_t cp = 0xFFFD;
    if (iconv(cd, &inp, &inLeft, &outp, &outLeft) != static_cast<std::size_t>(-1)) {
        cp = static_cast<unsigned char>(out[0]) | static_cast<unsigned char>(out[1]) << 8 |
             static_cast<unsigned char>(out[2]) << 16;
    }
    iconv_close(cd);
    return cp;
}

// Splits GBK text into characters (a lead byte takes the next byte with it).
std::vector<std::string> gbkChars(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char b = static_cast<unsigned char>(text[i]);
        const std::size_t n = (b >= 0x81 && b <= 0xFE && i + 1 < text.size()) ? 2 : 1;
        out.push_back(text.substr(i, n));
        i += n;
    }
    return out;
}

const MenuNode* findMenu(const std::vector<MenuNode>& nodes, const std::string& text) {
    for (const auto& n : nodes) {
        if (!n.separator && n.text == text) return &n;
    }
    return nullptr;
}

char trimSentinel;  // the address the sim hands out for SetProcessWorkingSetSize

}  // namespace

SimDesktop::SimDesktop() : SimDesktop(Options{}) {}

SimDesktop::SimDesktop(Options options) : options_(std::move(options)) {
    startEpoch_ = toEpoch(options_.startTime);
}

SimDesktop::~SimDesktop() = default;

void SimDesktop::report(const std::string& line) {
    log.push_back(line);
}

SimDesktop::Node* SimDesktop::node(Handle h) const {
    auto it = nodes_.find(h);
    return it == nodes_.end() ? nullptr : it->second.get();
}

SimDesktop::Node& SimDesktop::require(Handle h) const {
    Node* n = node(h);
    if (!n) throw SimStalled{"the program used a handle that does not exist: " + std::to_string(h)};
    return *n;
}

Handle SimDesktop::topOf(Handle h) const {
    Node* n = node(h);
    while (n && !n->topLevel) n = node(n->parent);
    return n ? n->handle : 0;
}

bool SimDesktop::acceptsInput(Handle window) const {
    Node* n = node(window);
    return n && n->topLevel && n->visible && n->enabled;
}

// ---- running ----

int SimDesktop::run(const std::function<int()>& program) {
    try {
        return program();
    } catch (const SimExit& e) {
        return e.code;
    }
}

void SimDesktop::then(std::function<void()> step) {
    if (inStep_) {
        stepsAddedInStep_.push_back(std::move(step));
    } else {
        steps_.push_back(std::move(step));
    }
}

void SimDesktop::advance(std::int64_t ms) {
    then([this, ms] { advanceTarget_ = nowMs_ + ms; });
}

void SimDesktop::advanceToLocal(const CalendarFields& when) {
    then([this, when] {
        const std::int64_t target = (toEpoch(when) - startEpoch_) * 1000;
        if (target > nowMs_) advanceTarget_ = target;
    });
}

void SimDesktop::runNextStep() {
    auto step = std::move(steps_.front());
    steps_.pop_front();
    inStep_ = true;
    stepsAddedInStep_.clear();
    try {
        step();
    } catch (...) {
        inStep_ = false;
        throw;
    }
    inStep_ = false;
    // Steps a step adds run next, in the order added.
    for (auto it = stepsAddedInStep_.rbegin(); it != stepsAddedInStep_.rend(); ++it) {
        steps_.push_front(std::move(*it));
    }
    stepsAddedInStep_.clear();
}

bool SimDesktop::runDueTimer() {
    Handle best = 0;
    std::int64_t bestDue = 0;
    for (auto& [h, t] : timers_) {
        if (t.due <= nowMs_ && (!best || t.due < bestDue)) {
            best = h;
            bestDue = t.due;
        }
    }
    if (!best) return false;
    Timer& t = timers_[best];
    // A late tick is not made up: the next one is one period after this one.
    t.due = std::max(t.due + t.period, nowMs_ + 1);
    if (t.due <= nowMs_) t.due = nowMs_ + t.period;
    if (sink_) sink_->onTimer(best);
    return true;
}

void SimDesktop::pumpOne() {
    for (;;) {
        if (!queue_.empty()) {
            auto input = std::move(queue_.front());
            queue_.pop_front();
            input();
            return;
        }
        if (runDueTimer()) return;
        if (advanceTarget_ >= 0) {
            std::int64_t next = advanceTarget_;
            for (auto& [h, t] : timers_) next = std::min(next, t.due);
            nowMs_ = std::max(nowMs_, next);
            if (nowMs_ >= advanceTarget_) advanceTarget_ = -1;
            continue;
        }
        if (steps_.empty()) {
            throw SimStalled{"the program waits for input and the script has no step left"};
        }
        runNextStep();
    }
}

void SimDesktop::pumpPending() {
    while (!queue_.empty()) {
        auto input = std::move(queue_.front());
        queue_.pop_front();
        input();
    }
    while (runDueTimer()) {
    }
}

void SimDesktop::post(std::function<void()> callback) {
    queue_.push_back(std::move(callback));
}

void SimDesktop::enqueue(std::function<void()> input) {
    queue_.push_back(std::move(input));
}

// ---- input ----

void SimDesktop::press(Key key, bool shift, bool ctrl, bool alt) {
    KeyStroke k;
    k.key = key;
    k.shift = shift;
    k.ctrl = ctrl;
    k.alt = alt;
    if (key == Key::Space) k.ch = ' ';
    enqueue([this, k] { deliverKey(k); });
}

void SimDesktop::pressChar(char ch, bool ctrl, bool alt) {
    KeyStroke k;
    k.key = Key::Char;
    k.ch = static_cast<unsigned char>(ch);
    k.ctrl = ctrl;
    k.alt = alt;
    enqueue([this, k] { deliverKey(k); });
}

void SimDesktop::type(const std::string& gbkText) {
    for (const auto& ch : gbkChars(gbkText)) {
        enqueue([this, ch] {
            KeyStroke k;
            k.key = Key::Char;
            k.ch = codePointOf(ch);
            if (prompt_.active) {
                promptInsert(ch);
                return;
            }
            const Handle window = active_;
            if (!acceptsInput(window)) return;
            if (sink_ && sink_->onKey(window, k)) return;
            Node* f = node(focus_);
            if (!f || f->control.type != ControlType::EditBox || f->browser || !f->enabled) return;
            if (sink_ && !sink_->onAcceptChar(focus_, k.ch)) return;
            insertIntoEdit(*f, ch, false);
            if (sink_) sink_->onTextChanged(f->handle);
        });
    }
}

void SimDesktop::promptInsert(const std::string& bytes) {
    if (prompt_.allSelected) {
        prompt_.text = bytes;
    } else {
        prompt_.text += bytes;
    }
    prompt_.allSelected = false;
}

void SimDesktop::insertIntoEdit(Node& edit, const std::string& bytes, bool replaceAll) {
    std::string& t = edit.text;
    int a = std::clamp(std::min(edit.selStart, edit.selEnd), 0, static_cast<int>(t.size()));
    int b = std::clamp(std::max(edit.selStart, edit.selEnd), 0, static_cast<int>(t.size()));
    if (replaceAll) {
        a = 0;
        b = static_cast<int>(t.size());
    }
    t = t.substr(0, a) + bytes + t.substr(b);
    edit.selStart = edit.selEnd = a + static_cast<int>(bytes.size());
}

void SimDesktop::paste(const std::string& gbkText) {
    enqueue([this, gbkText] {
        if (prompt_.active) {
            promptInsert(gbkText);
            return;
        }
        if (!acceptsInput(active_)) return;
        Node* f = node(focus_);
        if (!f || f->control.type != ControlType::EditBox || f->browser || !f->enabled) return;
        insertIntoEdit(*f, gbkText, false);
        if (sink_) sink_->onTextChanged(f->handle);
    });
}

void SimDesktop::selectAll() {
    enqueue([this] {
        if (prompt_.active) {
            prompt_.allSelected = true;
            return;
        }
        Node* f = node(focus_);
        if (!f || f->control.type != ControlType::EditBox || f->browser) return;
        f->selStart = 0;
        f->selEnd = static_cast<int>(f->text.size());
    });
}

void SimDesktop::deliverKey(const KeyStroke& k) {
    if (prompt_.active) {
        promptKey(k);
        return;
    }
    const Handle window = active_;
    if (!acceptsInput(window)) return;
    if (sink_ && sink_->onKey(window, k)) return;
    // What the platform does with a key the program left alone.
    if (k.key == Key::F4 && k.alt) {
        if (sink_) sink_->onCloseRequested(window);
        return;
    }
    Node* f = node(focus_);
    if (!f || topOf(focus_) != window || !f->enabled) return;
    if (k.key == Key::Space && !f->browser && f->control.type == ControlType::Button) {
        if (sink_) sink_->onClicked(f->handle);
        return;
    }
    if (k.key == Key::Backspace && !f->browser && f->control.type == ControlType::EditBox) {
        int a = std::min(f->selStart, f->selEnd);
        int b = std::max(f->selStart, f->selEnd);
        if (a == b && a > 0) a -= 1;  // one byte back is enough for the ASCII the tests type
        if (a == b) return;
        f->text.erase(static_cast<std::size_t>(a), static_cast<std::size_t>(b - a));
        f->selStart = f->selEnd = a;
        if (sink_) sink_->onTextChanged(f->handle);
        return;
    }
    if (k.key == Key::Space && !f->browser && f->control.type == ControlType::EditBox) {
        if (sink_ && !sink_->onAcceptChar(f->handle, ' ')) return;
        insertIntoEdit(*f, " ", false);
        if (sink_) sink_->onTextChanged(f->handle);
    }
}

void SimDesktop::promptKey(const KeyStroke& k) {
    if (k.key == Key::Enter || (k.alt && k.key == Key::Char && (k.ch == 'o' || k.ch == 'O'))) {
        prompt_.outcome = 1;
    } else if (k.key == Key::Escape || (k.alt && k.key == Key::Char && (k.ch == 'c' || k.ch == 'C')) ||
               (k.alt && k.key == Key::F4)) {
        prompt_.outcome = 2;
    } else if (k.key == Key::Backspace) {
        if (prompt_.allSelected) {
            prompt_.text.clear();
        } else if (!prompt_.text.empty()) {
            prompt_.text.pop_back();
        }
        prompt_.allSelected = false;
    } else if (k.key == Key::Space) {
        promptInsert(" ");
    }
}

void SimDesktop::promptButton(bool confirm) {
    enqueue([this, confirm] {
        if (prompt_.active) prompt_.outcome = confirm ? 1 : 2;
    });
}

void SimDesktop::promptCloseBox() {
    enqueue([this] {
        if (prompt_.active) prompt_.outcome = 2;
    });
}

void SimDesktop::click(Handle control) {
    enqueue([this, control] {
        if (prompt_.active) return;  // the prompt is modal
        Node* c = node(control);
        if (!c || !c->visible || !c->enabled) return;
        const Handle window = topOf(control);
        if (!acceptsInput(window)) return;
        if (active_ != window) activate(window);
        if (!node(control)) return;
        const bool focusable = c->browser || c->control.type != ControlType::Label;
        if (focusable) setFocus(control);
        Node* again = node(control);
        if (again && !again->browser && again->control.type == ControlType::Button && sink_) {
            sink_->onClicked(control);
        }
    });
}

void SimDesktop::closeBox(Handle window) {
    enqueue([this, window] {
        if (prompt_.active) return;
        Node* n = node(window);
        if (!n || !n->style.controlBox || !acceptsInput(window)) return;
        if (sink_) sink_->onCloseRequested(window);
    });
}

void SimDesktop::chooseMenu(Handle window, const std::vector<std::string>& path) {
    enqueue([this, window, path] {
        if (prompt_.active || !acceptsInput(window) || path.empty()) return;
        const std::vector<MenuNode>* level = &require(window).menu;
        const MenuNode* item = nullptr;
        for (const auto& text : path) {
            item = findMenu(*level, text);
            if (!item || item->grayed) return;
            level = &item->children;
        }
        report("menu " + path.back());
        if (!item->children.empty() || item->command == 0) return;  // a title only opens its menu
        if (sink_) sink_->onMenuCommand(window, item->command);
    });
}

void SimDesktop::minimize(Handle window) {
    enqueue([this, window] {
        Node* n = node(window);
        if (n && n->visible) showWindow(window, ShowCommand::ShowMinimized);
    });
}

void SimDesktop::restore(Handle window) {
    enqueue([this, window] {
        Node* n = node(window);
        if (n && n->visible) showWindow(window, ShowCommand::Restore);
    });
}

void SimDesktop::userResize(Handle window, int width, int height) {
    enqueue([this, window, width, height] {
        if (acceptsInput(window)) resizeWindow(window, width, height);
    });
}

void SimDesktop::userMove(Handle window, int left, int top) {
    enqueue([this, window, left, top] {
        if (acceptsInput(window)) moveWindow(window, left, top);
    });
}

Handle SimDesktop::addForeignWindow(const std::string& caption) {
    auto n = std::make_unique<Node>();
    n->handle = nextHandle_++;
    n->topLevel = true;
    n->foreign = true;
    n->visible = true;
    n->text = caption;
    const Handle h = n->handle;
    nodes_[h] = std::move(n);
    return h;
}

// ---- inspection ----

std::vector<Handle> SimDesktop::topLevelWindows() const {
    std::vector<Handle> out;
    for (Handle h : order_) {
        Node* n = node(h);
        if (n && n->topLevel && !n->foreign && !n->style.toolWindow) out.push_back(h);
    }
    return out;
}

Handle SimDesktop::windowByCaption(const std::string& caption) const {
    for (Handle h : order_) {
        Node* n = node(h);
        if (n && n->topLevel && !n->foreign && n->text == caption) return h;
    }
    return 0;
}

std::string SimDesktop::caption(Handle window) const {
    return require(window).text;
}

Rect SimDesktop::clientRect(Handle window) const {
    const Node& n = require(window);
    const Size s = const_cast<SimDesktop*>(this)->clientSize(window);
    if (n.style.toolWindow || n.style.border == Border::None)
        return Rect{n.rect.left, n.rect.top, s.width, s.height};
    const int top =
        options_.frame.border + options_.frame.caption + (n.menu.empty() ? 0 : options_.frame.menuBar);
    return Rect{n.rect.left + options_.frame.border, n.rect.top + top, s.width, s.height};
}

bool SimDesktop::exists(Handle h) const {
    return node(h) != nullptr;
}

bool SimDesktop::visible(Handle h) const {
    Node* n = node(h);
    return n && n->visible;
}

bool SimDesktop::enabled(Handle h) const {
    Node* n = node(h);
    return n && n->enabled;
}

std::vector<Handle> SimDesktop::controls(Handle window) const {
    std::vector<Handle> out;
    for (Handle h : order_) {
        Node* n = node(h);
        if (n && !n->topLevel && n->parent == window) out.push_back(h);
    }
    return out;
}

Handle SimDesktop::controlByText(Handle window, const std::string& text) const {
    for (Handle h : controls(window)) {
        if (node(h)->text == text) return h;
    }
    return 0;
}

std::string SimDesktop::text(Handle control) const {
    return require(control).text;
}

ControlType SimDesktop::controlType(Handle control) const {
    return require(control).control.type;
}

const std::vector<MenuNode>& SimDesktop::menuBar(Handle window) const {
    return require(window).menu;
}

Handle SimDesktop::browserOf(Handle window) const {
    for (Handle h : controls(window)) {
        if (node(h)->browser) return h;
    }
    return 0;
}

Rect SimDesktop::browserRect(Handle browser) const {
    return require(browser).rect;
}

BrowserSettings SimDesktop::browserSettings(Handle browser) const {
    return require(browser).browserSettings;
}

CalendarFields SimDesktop::localNow() const {
    CalendarFields f;
    const_cast<SimDesktop*>(this)->localFields(startEpoch_ + nowMs_ / 1000, f);
    return f;
}

// ---- Platform: process ----

void SimDesktop::setEventSink(PlatformEvents* sink) {
    sink_ = sink;
}

bool SimDesktop::initializeEngine() {
    report("initializeEngine");
    engineUp_ = true;
    return true;
}

void SimDesktop::shutdownEngine() {
    report("shutdownEngine");
    engineUp_ = false;
}

std::string SimDesktop::modulePath() {
    return options_.modulePath;
}

PathStyle SimDesktop::pathStyle() {
    return options_.pathStyle;
}

bool SimDesktop::setCurrentDirectory(const std::string& path) {
    currentDirectories.push_back(path);
    currentDirectory_ = path;
    report("setCurrentDirectory " + path);
    return true;
}

void SimDesktop::exitProcess(int code) {
    report("exitProcess " + std::to_string(code));
    throw SimExit{code};
}

std::string SimDesktop::hostPath(const std::string& platformPath) const {
    if (options_.pathStyle.separator != '\\') return platformPath;
    std::string path = platformPath;
    std::string drive;
    if (path.size() >= 2 && path[1] == ':') {
        drive = path.substr(0, 1);
        path = path.substr(2);
    } else if (!path.empty() && path[0] == '\\') {
        drive = (currentDirectory_.size() >= 2 && currentDirectory_[1] == ':')
                    ? currentDirectory_.substr(0, 1)
                    : "C";
    } else {
        if (currentDirectory_.empty()) return "";
        return hostPath(currentDirectory_ + "\\" + path);
    }
    // Components split at backslashes that are not trail bytes of GBK characters.
    std::string host = options_.hostRoot + "/" + drive;
    std::string component;
    auto flush = [&] {
        if (!component.empty()) host += "/" + component;
        component.clear();
    };
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(path[i]);
        if (options_.pathStyle.doubleByteAware && b >= 0x81 && b <= 0xFE && i + 1 < path.size()) {
            component += path.substr(i, 2);
            ++i;
        } else if (b == '\\') {
            flush();
        } else if (b == '/') {
            return "";  // not a valid file-name character on this desktop
        } else {
            component += static_cast<char>(b);
        }
    }
    flush();
    return host;
}

bool SimDesktop::readFile(const std::string& path, std::string& bytes) {
    report("readFile " + path);
    const std::string host = hostPath(path);
    bytes.clear();
    if (host.empty()) return false;
    return posix::readWholeFile(host, bytes);
}

bool SimDesktop::replaceFile(const std::string& path, const std::string& bytes) {
    report("replaceFile " + path);
    const std::string host = hostPath(path);
    if (host.empty()) return false;
    for (const auto& dir : readOnlyHostDirs) {
        if (host.compare(0, dir.size(), dir) == 0) return false;
    }
    return posix::replaceWholeFile(host, bytes);
}

// ---- clock and screen ----

std::int64_t SimDesktop::calendarSeconds() {
    return startEpoch_ + nowMs_ / 1000;
}

bool SimDesktop::localFields(std::int64_t seconds, CalendarFields& out) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm tm{};
    if (!gmtime_r(&t, &tm)) return false;
    out = CalendarFields{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    return true;
}

Rect SimDesktop::primaryScreen() {
    return Rect{0, 0, options_.screenWidth, options_.screenHeight};
}

std::vector<Rect> SimDesktop::monitors() {
    std::vector<Rect> all{primaryScreen()};
    all.insert(all.end(), options_.extraMonitors.begin(), options_.extraMonitors.end());
    return all;
}

// ---- windows ----

Handle SimDesktop::createTopLevel(const TopLevelStyle& style) {
    auto n = std::make_unique<Node>();
    n->handle = nextHandle_++;
    n->topLevel = true;
    n->style = style;
    n->text = style.caption;
    n->rect = style.outer;
    n->parent = 0;
    const Handle h = n->handle;
    nodes_[h] = std::move(n);
    order_.push_back(h);
    report("createTopLevel " + style.caption);
    return h;
}

void SimDesktop::destroyWindow(Handle h) {
    Node* n = node(h);
    if (!n) return;
    const bool top = n->topLevel;
    report(std::string("destroyWindow ") + (top ? n->text : "control"));
    for (Handle child : controls(h)) destroyWindow(child);
    for (auto it = timers_.begin(); it != timers_.end();) {
        it = it->second.window == h ? timers_.erase(it) : std::next(it);
    }
    if (focus_ == h) focus_ = 0;
    nodes_.erase(h);
    order_.erase(std::remove(order_.begin(), order_.end(), h), order_.end());
    activationHistory_.erase(std::remove(activationHistory_.begin(), activationHistory_.end(), h),
                             activationHistory_.end());
    if (top && active_ == h) {
        active_ = 0;
        // The system activates the most recently active window that can take it.
        for (auto it = activationHistory_.rbegin(); it != activationHistory_.rend(); ++it) {
            if (acceptsInput(*it)) {
                activate(*it);
                break;
            }
        }
    }
}

void SimDesktop::activate(Handle window) {
    if (!acceptsInput(window)) return;
    active_ = window;
    activationHistory_.erase(std::remove(activationHistory_.begin(), activationHistory_.end(), window),
                             activationHistory_.end());
    activationHistory_.push_back(window);
    if (topOf(focus_) != window) {
        const Handle old = focus_;
        focus_ = 0;
        if (old && sink_) sink_->onFocusLost(old);
    }
    if (sink_) sink_->onActivated(window);
}

void SimDesktop::setShowState(Node& n, ShowState s) {
    const Rect before = n.rect;
    if (s == n.state) return;
    if (s == ShowState::Minimized) {
        if (n.state == ShowState::Normal) n.restoreRect = n.rect;
        n.rect = Rect{-32000, -32000, 160, 28};
    } else if (s == ShowState::Maximized) {
        if (n.state == ShowState::Normal) n.restoreRect = n.rect;
        const int b = options_.frame.border;
        n.rect = Rect{-b, -b, options_.screenWidth + 2 * b, options_.screenHeight + 2 * b};
    } else {
        n.rect = n.restoreRect;
    }
    n.state = s;
    notifyGeometry(n, before);
}

void SimDesktop::showWindow(Handle window, ShowCommand command) {
    Node& n = require(window);
    report("showWindow " + n.text + " " + std::to_string(static_cast<int>(command)));
    switch (command) {
        case ShowCommand::Hide:
            n.visible = false;
            if (active_ == window) active_ = 0;
            return;
        case ShowCommand::Show:
            n.visible = true;
            break;
        case ShowCommand::ShowMinimized:
            n.visible = true;
            setShowState(n, ShowState::Minimized);
            return;
        case ShowCommand::ShowMaximized:
            n.visible = true;
            setShowState(n, ShowState::Maximized);
            break;
        case ShowCommand::Restore:
            n.visible = true;
            setShowState(n, ShowState::Normal);
            break;
    }
    if (n.topLevel && !n.style.toolWindow && node(window)) activate(window);
}

ShowState SimDesktop::showState(Handle window) {
    return require(window).state;
}

bool SimDesktop::isWindowVisible(Handle h) {
    return visible(h);
}

void SimDesktop::activateWindow(Handle window) {
    report("activateWindow");
    activate(window);
}

void SimDesktop::enableWindow(Handle window, bool enable) {
    Node& n = require(window);
    report(std::string(enable ? "enableWindow " : "disableWindow ") + n.text);
    n.enabled = enable;
    if (!enable && n.topLevel && active_ == window) active_ = 0;
}

bool SimDesktop::isWindowEnabled(Handle window) {
    return require(window).enabled;
}

void SimDesktop::setWindowCaption(Handle window, const std::string& caption) {
    require(window).text = caption;
    report("setWindowCaption " + caption);
}

void SimDesktop::setMenuBar(Handle window, const std::vector<MenuNode>& menu) {
    require(window).menu = menu;
    report("setMenuBar");
}

// ---- geometry ----

Rect SimDesktop::windowRect(Handle h) {
    return require(h).rect;
}

Size SimDesktop::clientSize(Handle window) {
    const Node& n = require(window);
    if (!n.topLevel) return Size{n.rect.width, n.rect.height};
    if (n.state == ShowState::Minimized) return Size{0, 0};
    if (n.style.toolWindow || n.style.border == Border::None) return Size{n.rect.width, n.rect.height};
    const auto& f = options_.frame;
    const int w = n.rect.width - 2 * f.border;
    const int h = n.rect.height - 2 * f.border - f.caption - (n.menu.empty() ? 0 : f.menuBar);
    return Size{std::max(0, w), std::max(0, h)};
}

void SimDesktop::notifyGeometry(Node& n, const Rect& before) {
    if (!n.topLevel || !sink_) return;
    const Handle h = n.handle;
    if (before.left != n.rect.left || before.top != n.rect.top) sink_->onMoved(h);
    Node* again = node(h);
    if (again && (before.width != again->rect.width || before.height != again->rect.height))
        sink_->onResized(h);
}

void SimDesktop::moveWindow(Handle h, int left, int top) {
    Node& n = require(h);
    report("moveWindow " + std::to_string(left) + " " + std::to_string(top));
    const Rect before = n.rect;
    if (n.topLevel && n.state != ShowState::Normal) {
        n.restoreRect.left = left;
        n.restoreRect.top = top;
        return;
    }
    n.rect.left = left;
    n.rect.top = top;
    notifyGeometry(n, before);
}

void SimDesktop::resizeWindow(Handle h, int width, int height) {
    Node& n = require(h);
    report("resizeWindow " + std::to_string(width) + " " + std::to_string(height));
    const Rect before = n.rect;
    if (n.topLevel && !n.style.toolWindow && n.style.border != Border::None) {
        // The system's tracking limits of a captioned window.
        const auto& f = options_.frame;
        width = std::clamp(width, f.minTrackWidth, options_.screenWidth + 2 * f.border + 4);
        height = std::clamp(height, f.minTrackHeight, options_.screenHeight + 2 * f.border + 4);
    }
    if (n.topLevel && n.state != ShowState::Normal) {
        n.restoreRect.width = width;
        n.restoreRect.height = height;
        return;
    }
    n.rect.width = width;
    n.rect.height = height;
    notifyGeometry(n, before);
}

// ---- controls ----

Handle SimDesktop::createControl(Handle window, const ControlStyle& style) {
    require(window);
    auto n = std::make_unique<Node>();
    n->handle = nextHandle_++;
    n->parent = window;
    n->control = style;
    n->rect = style.rect;
    n->visible = style.visible;
    n->enabled = !style.disabled;
    n->text = style.text;
    const Handle h = n->handle;
    nodes_[h] = std::move(n);
    order_.push_back(h);
    return h;
}

void SimDesktop::showControl(Handle control, bool show) {
    require(control).visible = show;
}

void SimDesktop::setControlText(Handle control, const std::string& text) {
    Node& n = require(control);
    n.text = text;
    n.selStart = n.selEnd = 0;
}

std::string SimDesktop::controlText(Handle control) {
    return require(control).text;
}

void SimDesktop::setFocus(Handle control) {
    if (focus_ == control) return;
    Node* n = node(control);
    if (!n || !n->enabled) return;
    const Handle old = focus_;
    focus_ = control;
    if (old && node(old) && sink_) sink_->onFocusLost(old);
    if (focus_ == control && node(control) && sink_) sink_->onFocusGained(control);
}

Handle SimDesktop::focusedControl() {
    return focus_;
}

void SimDesktop::editSelection(Handle edit, int& start, int& end) {
    const Node& n = require(edit);
    start = n.selStart;
    end = n.selEnd;
}

void SimDesktop::setEditSelection(Handle edit, int start, int end) {
    Node& n = require(edit);
    n.selStart = start;
    n.selEnd = end;
}

void SimDesktop::clickButton(Handle button) {
    if (sink_ && node(button)) sink_->onClicked(button);
}

// ---- timers ----

Handle SimDesktop::startTimer(Handle window, int periodMs) {
    require(window);
    if (periodMs <= 0) return 0;
    const Handle h = nextHandle_++;
    timers_[h] = Timer{window, periodMs, nowMs_ + periodMs};
    report("startTimer " + std::to_string(periodMs));
    return h;
}

void SimDesktop::stopTimer(Handle timer) {
    timers_.erase(timer);
}

// ---- dialogs ----

void SimDesktop::messageBox(const MessageBoxRequest& request) {
    messageBoxes.push_back(request);
    report("messageBox " + request.caption);
}

bool SimDesktop::promptText(Handle owner, const std::string& prompt, const std::string& initial,
                            std::string& result) {
    if (prompt_.active) return false;
    report("promptText " + initial);
    prompt_ = PromptState{};
    prompt_.active = true;
    prompt_.owner = owner;
    prompt_.prompt = prompt;
    prompt_.text = initial;
    prompt_.allSelected = true;
    Node* o = node(owner);
    const bool ownerWasEnabled = o && o->enabled;
    if (o) o->enabled = false;
    while (prompt_.outcome == 0) pumpOne();
    const bool confirmed = prompt_.outcome == 1;
    if (confirmed) result = prompt_.text;
    prompt_.active = false;
    if (Node* again = node(owner)) {
        again->enabled = ownerWasEnabled;
        if (ownerWasEnabled) activate(owner);
    }
    return confirmed;
}

bool SimDesktop::setVisualStyle(int style) {
    report("setVisualStyle " + std::to_string(style));
    visualStyle_ = style >= 1 && style <= 3;
    return true;
}

// ---- browser ----

Handle SimDesktop::createBrowser(Handle window, const Rect& rect, const BrowserSettings& settings) {
    require(window);
    if (failBrowserCreation) return 0;
    auto n = std::make_unique<Node>();
    n->handle = nextHandle_++;
    n->parent = window;
    n->browser = true;
    n->rect = rect;
    n->visible = true;
    n->browserSettings = settings;
    const Handle h = n->handle;
    nodes_[h] = std::move(n);
    order_.push_back(h);
    report("createBrowser");
    return h;
}

void SimDesktop::browserNavigate(Handle browser, const std::string& address) {
    Node& n = require(browser);
    navigations.push_back({browser, address});
    auto redirect = browserRedirects.find(address);
    n.location = redirect == browserRedirects.end() ? address : redirect->second;
    report("navigate " + address);
}

std::string SimDesktop::browserLocation(Handle browser) {
    return require(browser).location;
}

void SimDesktop::browserReload(Handle browser) {
    require(browser);
    ++reloads;
    report("reload");
}

// ---- shell ----

Handle SimDesktop::findTopLevelWindow(const std::string& title) {
    for (auto& [h, n] : nodes_) {
        if (n->topLevel && n->text == title) return h;
    }
    return 0;
}

void SimDesktop::shellOpen(Handle owner, const std::string& address) {
    shellOpens.push_back(address);
    shellOwners.push_back(owner);
    report("shellOpen " + address);
}

// ---- libraries ----

Handle SimDesktop::loadLibrary(const std::string& name) {
    libraryLoads.push_back(name);
    const Handle h = nextHandle_++;
    libraries_[h] = name;
    return h;
}

void* SimDesktop::libraryFunction(Handle library, const std::string& name) {
    auto it = libraries_.find(library);
    if (it == libraries_.end() || name != "SetProcessWorkingSetSize") return nullptr;
    const auto& with = options_.librariesWithTrim;
    return std::find(with.begin(), with.end(), it->second) != with.end() ? &trimSentinel : nullptr;
}

void SimDesktop::freeLibrary(Handle library) {
    auto it = libraries_.find(library);
    if (it == libraries_.end()) return;
    libraryFrees.push_back(it->second);
    libraries_.erase(it);
}

void SimDesktop::callWorkingSetTrim(void* function) {
    if (function == &trimSentinel) ++trims;
}

}  // namespace wgs
