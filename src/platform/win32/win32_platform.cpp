#include "platform/win32/win32_platform.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <algorithm>
#include <ctime>

#include "platform/win32/browser_host.h"
#include "platform/win32/resource_ids.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace wgs::win32 {
namespace {

const wchar_t kTopLevelClass[] = L"WgsWindow";
const wchar_t kLabelClass[] = L"WgsLabel";
const wchar_t kMessageClass[] = L"WgsMessages";
constexpr UINT kRunPosted = WM_APP + 1;
constexpr Handle kTimerTag = Handle(1) << 62;
constexpr UINT_PTR kSubclassId = 1;
constexpr DWORD kThemeNonClient = 1;   // STAP_ALLOW_NONCLIENT
constexpr DWORD kThemeControls = 2;    // STAP_ALLOW_CONTROLS
constexpr DWORD kThemeWebContent = 4;  // STAP_ALLOW_WEBCONTENT

HFONT guiFont() {
    return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

Rect rectOf(const RECT& r) {
    return Rect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// The length in GBK bytes of the first `wideCount` characters of `wide`.
int gbkOffset(const std::wstring& wide, int wideCount) {
    if (wideCount <= 0) return wideCount;
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(wideCount), wide.size());
    return static_cast<int>(wideToGbk(wide.substr(0, n)).size());
}

// The number of UTF-16 units in the first `gbkCount` bytes of `gbk`.
int wideOffset(const std::string& gbk, int gbkCount) {
    if (gbkCount <= 0) return gbkCount;
    const auto n = std::min<std::size_t>(static_cast<std::size_t>(gbkCount), gbk.size());
    return static_cast<int>(gbkToWide(gbk.substr(0, n)).size());
}

std::wstring windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) return std::wstring();
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, &text[0], length + 1);
    text.resize(static_cast<std::size_t>(std::max(got, 0)));
    return text;
}

HMENU buildMenu(const std::vector<MenuNode>& items, bool bar) {
    HMENU menu = bar ? CreateMenu() : CreatePopupMenu();
    for (const MenuNode& item : items) {
        if (item.separator) {
            AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
            continue;
        }
        std::wstring text = gbkToWide(item.text);
        if (!item.keyName.empty()) text += L"\t" + gbkToWide(item.keyName);
        UINT flags = MF_STRING;
        if (item.grayed) flags |= MF_GRAYED;
        if (item.checked) flags |= MF_CHECKED;
        if (!item.children.empty()) {
            HMENU sub = buildMenu(item.children, false);
            AppendMenuW(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), text.c_str());
        } else {
            AppendMenuW(menu, flags, static_cast<UINT_PTR>(item.command), text.c_str());
        }
    }
    return menu;
}

struct PromptRun {
    std::wstring prompt;
    std::wstring initial;
    std::wstring result;
};

INT_PTR CALLBACK promptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            auto* run = reinterpret_cast<PromptRun*>(lParam);
            ShowWindow(GetDlgItem(dialog, WGS_IDC_PROMPT_PASSWORD), SW_HIDE);
            SetDlgItemTextW(dialog, WGS_IDC_PROMPT_LABEL, run->prompt.c_str());
            HWND edit = GetDlgItem(dialog, WGS_IDC_PROMPT_EDIT);
            SetWindowTextW(edit, run->initial.c_str());
            SendMessageW(edit, EM_SETSEL, 0, -1);
            SendMessageW(edit, EM_SCROLLCARET, 0, 0);
            SetFocus(edit);
            return FALSE;  // the focus is set
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                auto* run = reinterpret_cast<PromptRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
                run->result = windowText(GetDlgItem(dialog, WGS_IDC_PROMPT_EDIT));
                EndDialog(dialog, IDOK);
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

BOOL CALLBACK themeChanged(HWND window, LPARAM) {
    SendMessageW(window, WM_THEMECHANGED, 0, 0);
    InvalidateRect(window, nullptr, TRUE);
    return TRUE;
}

BOOL CALLBACK themeChangedTree(HWND window, LPARAM lParam) {
    themeChanged(window, lParam);
    EnumChildWindows(window, &themeChanged, lParam);
    return TRUE;
}

BOOL CALLBACK collectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
    auto* out = reinterpret_cast<std::vector<Rect>*>(data);
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) return TRUE;
    if (info.dwFlags & MONITORINFOF_PRIMARY) {
        out->insert(out->begin(), rectOf(info.rcMonitor));
    } else {
        out->push_back(rectOf(info.rcMonitor));
    }
    return TRUE;
}

bool isKeyboardMessage(UINT message) {
    return message >= WM_KEYFIRST && message <= WM_KEYLAST;
}

}  // namespace

Win32Platform* Win32Platform::current_ = nullptr;

Win32Platform::Win32Platform(HINSTANCE instance) : instance_(instance) {
    current_ = this;
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);

    WNDCLASSEXW top{};
    top.cbSize = sizeof top;
    top.style = CS_DBLCLKS;
    top.lpfnWndProc = &Win32Platform::topLevelProc;
    top.hInstance = instance_;
    top.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
    if (!top.hIcon) top.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
    top.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    top.lpszClassName = kTopLevelClass;
    RegisterClassExW(&top);

    WNDCLASSEXW label{};
    label.cbSize = sizeof label;
    label.lpfnWndProc = &Win32Platform::labelProc;
    label.hInstance = instance_;
    label.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    label.lpszClassName = kLabelClass;
    RegisterClassExW(&label);

    WNDCLASSEXW messages{};
    messages.cbSize = sizeof messages;
    messages.lpfnWndProc = &Win32Platform::messageProc;
    messages.hInstance = instance_;
    messages.lpszClassName = kMessageClass;
    RegisterClassExW(&messages);
    messageWindow_ =
        CreateWindowExW(0, kMessageClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance_, nullptr);

    BrowserPane::registerClasses(instance_);
}

Win32Platform::~Win32Platform() {
    sink_ = nullptr;
    if (messageWindow_) DestroyWindow(messageWindow_);
    if (uxtheme_) FreeLibrary(uxtheme_);
    if (current_ == this) current_ = nullptr;
}

// ---- process ----

bool Win32Platform::initializeEngine() {
    if (oleInitialized_) return true;
    oleInitialized_ = SUCCEEDED(OleInitialize(nullptr));
    return oleInitialized_;
}

void Win32Platform::shutdownEngine() {
    if (!oleInitialized_) return;
    OleUninitialize();
    oleInitialized_ = false;
}

std::string Win32Platform::modulePath() {
    std::wstring path(32768, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (n == 0 || n >= path.size()) return std::string();
    path.resize(n);
    return wideToUtf8(path);
}

bool Win32Platform::setCurrentDirectory(const std::string& path) {
    const std::wstring wide = utf8ToWide(path);
    return !wide.empty() && SetCurrentDirectoryW(wide.c_str()) != FALSE;
}

void Win32Platform::exitProcess(int code) {
    ExitProcess(static_cast<UINT>(code));
}

bool Win32Platform::readFile(const std::string& path, std::string& bytes) {
    return readWholeFile(path, bytes);
}

bool Win32Platform::replaceFile(const std::string& path, const std::string& bytes) {
    return replaceWholeFile(path, bytes);
}

// ---- clock ----

std::int64_t Win32Platform::calendarSeconds() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

bool Win32Platform::localFields(std::int64_t seconds, CalendarFields& out) {
    // 100-ns intervals since 1601, the epoch of FILETIME.
    constexpr std::int64_t kEpochDifference = 11644473600LL;
    constexpr std::int64_t kMaxSeconds = 910692730085LL;  // 30827, the last year SYSTEMTIME holds
    if (seconds < -kEpochDifference || seconds > kMaxSeconds) return false;
    const auto ticks = static_cast<std::uint64_t>(seconds + kEpochDifference) * 10000000ULL;
    FILETIME utcFile;
    utcFile.dwLowDateTime = static_cast<DWORD>(ticks & 0xffffffffULL);
    utcFile.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    SYSTEMTIME utc, local;
    if (!FileTimeToSystemTime(&utcFile, &utc)) return false;
    // Uses the daylight-saving rule in force on that date, not today's.
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) return false;
    out.year = local.wYear;
    out.month = local.wMonth;
    out.day = local.wDay;
    out.hour = local.wHour;
    out.minute = local.wMinute;
    out.second = local.wSecond;
    return true;
}

// ---- screen ----

Rect Win32Platform::primaryScreen() {
    return Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

std::vector<Rect> Win32Platform::monitors() {
    std::vector<Rect> all;
    EnumDisplayMonitors(nullptr, nullptr, &collectMonitor, reinterpret_cast<LPARAM>(&all));
    if (all.empty()) all.push_back(primaryScreen());
    return all;
}

// ---- windows ----

Win32Platform::Node* Win32Platform::nodeOf(HWND window) const {
    auto it = nodes_.find(window);
    return it == nodes_.end() ? nullptr : it->second.get();
}

Win32Platform::Node* Win32Platform::readyNode(HWND window) const {
    Node* n = nodeOf(window);
    return n && n->ready ? n : nullptr;
}

Win32Platform::Node* Win32Platform::node(Handle handle) const {
    if (handle == 0 || (handle & kTimerTag)) return nullptr;
    return nodeOf(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(handle)));
}

HWND Win32Platform::windowOf(Handle handle) const {
    Node* n = node(handle);
    return n ? n->window : nullptr;
}

void Win32Platform::forget(HWND window) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        it = it->second.window == window ? timers_.erase(it) : std::next(it);
    }
    auto it = nodes_.find(window);
    if (it == nodes_.end()) return;
    if (it->second->ownBrush) DeleteObject(it->second->background);
    nodes_.erase(it);
}

Handle Win32Platform::createTopLevel(const TopLevelStyle& style) {
    DWORD ws = WS_CLIPCHILDREN;
    DWORD ex = 0;
    if (style.toolWindow) {
        ws |= WS_POPUP;
        ex |= WS_EX_TOOLWINDOW;
    } else {
        const bool captionBar = !style.caption.empty() || style.controlBox;
        ws |= captionBar ? WS_CAPTION : WS_POPUP;
        switch (style.border) {
            case Border::None:
                break;
            case Border::Resizable:
                ws |= WS_THICKFRAME;
                break;
            case Border::Fixed:
                ws |= WS_BORDER;
                ex |= WS_EX_DLGMODALFRAME;
                break;
            case Border::SmallResizable:
                ws |= WS_THICKFRAME;
                ex |= WS_EX_TOOLWINDOW;
                break;
            case Border::SmallFixed:
                ws |= WS_BORDER;
                ex |= WS_EX_TOOLWINDOW;
                break;
            case Border::SunkenResizable:
                ws |= WS_THICKFRAME;
                ex |= WS_EX_CLIENTEDGE;
                break;
            case Border::SunkenFixed:
                ws |= WS_BORDER;
                ex |= WS_EX_CLIENTEDGE;
                break;
        }
        if (style.controlBox && captionBar) ws |= WS_SYSMENU;
        if (style.minimizeButton) ws |= WS_MINIMIZEBOX;
        if (style.maximizeButton) ws |= WS_MAXIMIZEBOX;
        if (style.topmost) ex |= WS_EX_TOPMOST;
    }
    auto n = std::make_unique<Node>();
    n->kind = Kind::TopLevel;
    if (style.background == 0xff000000u) {
        n->background = GetSysColorBrush(COLOR_BTNFACE);
    } else {
        n->background = CreateSolidBrush(static_cast<COLORREF>(style.background & 0x00ffffffu));
        n->ownBrush = true;
    }
    Node* raw = n.get();
    HWND window = CreateWindowExW(ex, kTopLevelClass, gbkToWide(style.caption).c_str(), ws, style.outer.left,
                                  style.outer.top, style.outer.width, style.outer.height,
                                  reinterpret_cast<HWND>(static_cast<std::uintptr_t>(style.owner)), nullptr,
                                  instance_, raw);
    if (!window) {
        if (raw->ownBrush) DeleteObject(raw->background);
        return 0;
    }
    raw->window = window;
    nodes_[window] = std::move(n);
    if (!style.movable && !style.toolWindow) {
        if (HMENU system = GetSystemMenu(window, FALSE)) DeleteMenu(system, SC_MOVE, MF_BYCOMMAND);
    }
    raw->ready = true;
    return handleOf(window);
}

void Win32Platform::destroyWindow(Handle windowOrControl) {
    if (HWND window = windowOf(windowOrControl)) DestroyWindow(window);
}

void Win32Platform::showWindow(Handle window, ShowCommand command) {
    HWND w = windowOf(window);
    if (!w) return;
    int show = SW_SHOW;
    switch (command) {
        case ShowCommand::Hide:
            show = SW_HIDE;
            break;
        case ShowCommand::Show:
            show = SW_SHOW;
            break;
        case ShowCommand::ShowMinimized:
            show = SW_SHOWMINIMIZED;
            break;
        case ShowCommand::ShowMaximized:
            show = SW_SHOWMAXIMIZED;
            break;
        case ShowCommand::Restore:
            show = SW_RESTORE;
            break;
    }
    ShowWindow(w, show);
}

ShowState Win32Platform::showState(Handle window) {
    HWND w = windowOf(window);
    if (w && IsIconic(w)) return ShowState::Minimized;
    if (w && IsZoomed(w)) return ShowState::Maximized;
    return ShowState::Normal;
}

bool Win32Platform::isWindowVisible(Handle windowOrControl) {
    HWND w = windowOf(windowOrControl);
    return w && IsWindowVisible(w);
}

void Win32Platform::activateWindow(Handle window) {
    if (HWND w = windowOf(window)) {
        SetForegroundWindow(w);
        SetActiveWindow(w);
    }
}

void Win32Platform::enableWindow(Handle window, bool enabled) {
    if (HWND w = windowOf(window)) EnableWindow(w, enabled ? TRUE : FALSE);
}

bool Win32Platform::isWindowEnabled(Handle window) {
    HWND w = windowOf(window);
    return w && IsWindowEnabled(w);
}

void Win32Platform::setWindowCaption(Handle window, const std::string& caption) {
    if (HWND w = windowOf(window)) SetWindowTextW(w, gbkToWide(caption).c_str());
}

void Win32Platform::setMenuBar(Handle window, const std::vector<MenuNode>& menu) {
    HWND w = windowOf(window);
    if (!w) return;
    HMENU old = GetMenu(w);
    SetMenu(w, menu.empty() ? nullptr : buildMenu(menu, true));
    if (old) DestroyMenu(old);
    DrawMenuBar(w);
}

// ---- geometry ----

Rect Win32Platform::windowRect(Handle windowOrControl) {
    Node* n = node(windowOrControl);
    if (!n) return Rect{};
    RECT r{};
    GetWindowRect(n->window, &r);
    if (n->kind != Kind::TopLevel)
        MapWindowPoints(HWND_DESKTOP, GetParent(n->window), reinterpret_cast<POINT*>(&r), 2);
    return rectOf(r);
}

Size Win32Platform::clientSize(Handle window) {
    RECT r{};
    if (HWND w = windowOf(window)) GetClientRect(w, &r);
    return Size{r.right - r.left, r.bottom - r.top};
}

void Win32Platform::moveWindow(Handle windowOrControl, int left, int top) {
    Node* n = node(windowOrControl);
    if (!n) return;
    const Rect before = windowRect(windowOrControl);
    // A top-level window reports through WM_MOVE, sent inside this call.
    MoveWindow(n->window, left, top, before.width, before.height, TRUE);
    if (n->kind != Kind::TopLevel && sink_) {
        const Rect after = windowRect(windowOrControl);
        if (after.left != before.left || after.top != before.top) sink_->onMoved(windowOrControl);
    }
}

void Win32Platform::resizeWindow(Handle windowOrControl, int width, int height) {
    Node* n = node(windowOrControl);
    if (!n) return;
    const Rect before = windowRect(windowOrControl);
    // A top-level window reports through WM_SIZE, sent inside this call.
    SetWindowPos(n->window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (n->kind != Kind::TopLevel && sink_) {
        const Rect after = windowRect(windowOrControl);
        if (after.width != before.width || after.height != before.height) sink_->onResized(windowOrControl);
    }
}

// ---- controls ----

void Win32Platform::registerControl(std::unique_ptr<Node> n) {
    HWND window = n->window;
    SetWindowSubclass(window, &Win32Platform::controlSubclass, kSubclassId, 0);
    n->ready = true;
    nodes_[window] = std::move(n);
}

Handle Win32Platform::createControl(Handle window, const ControlStyle& style) {
    HWND parent = windowOf(window);
    if (!parent) return 0;
    auto n = std::make_unique<Node>();
    n->id = nextControlId_++;
    DWORD ws = WS_CHILD;
    DWORD ex = 0;
    if (style.visible) ws |= WS_VISIBLE;
    if (style.disabled) ws |= WS_DISABLED;
    if (style.tabStop) ws |= WS_TABSTOP;
    const wchar_t* className = kLabelClass;
    switch (style.type) {
        case ControlType::EditBox:
            n->kind = Kind::Edit;
            className = L"EDIT";
            ex |= WS_EX_CLIENTEDGE;
            ws |= ES_AUTOHSCROLL | ES_LEFT;
            break;
        case ControlType::Button:
            n->kind = Kind::Button;
            className = L"BUTTON";
            ws |= (style.defaultButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | BS_MULTILINE | BS_CENTER |
                  BS_VCENTER;
            break;
        case ControlType::Label: {
            n->kind = Kind::Label;
            DWORD align = style.hAlign == HAlign::Center  ? DT_CENTER
                          : style.hAlign == HAlign::Right ? DT_RIGHT
                                                          : 0;
            if (style.wordWrap) {
                align |= DT_WORDBREAK;
            } else {
                align |= DT_SINGLELINE;
                align |= style.vAlign == VAlign::Top      ? DT_TOP
                         : style.vAlign == VAlign::Bottom ? DT_BOTTOM
                                                          : DT_VCENTER;
            }
            // A label never takes the focus; it keeps its DrawText flags in GWLP_USERDATA.
            ws &= ~static_cast<DWORD>(WS_TABSTOP);
            HWND label = CreateWindowExW(0, kLabelClass, gbkToWide(style.text).c_str(), ws, style.rect.left,
                                         style.rect.top, style.rect.width, style.rect.height, parent,
                                         reinterpret_cast<HMENU>(n->id), instance_, nullptr);
            if (!label) return 0;
            SetWindowLongPtrW(label, GWLP_USERDATA, static_cast<LONG_PTR>(align | DT_NOPREFIX));
            SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont()), FALSE);
            n->window = label;
            registerControl(std::move(n));
            return handleOf(label);
        }
    }
    HWND control = CreateWindowExW(ex, className, gbkToWide(style.text).c_str(), ws, style.rect.left,
                                   style.rect.top, style.rect.width, style.rect.height, parent,
                                   reinterpret_cast<HMENU>(n->id), instance_, nullptr);
    if (!control) return 0;
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(guiFont()), FALSE);
    if (n->kind == Kind::Edit) SendMessageW(control, EM_SETLIMITTEXT, 0, 0);  // no limit of our own
    n->window = control;
    registerControl(std::move(n));
    return handleOf(control);
}

void Win32Platform::showControl(Handle control, bool visible) {
    if (HWND w = windowOf(control)) ShowWindow(w, visible ? SW_SHOW : SW_HIDE);
}

void Win32Platform::setControlText(Handle control, const std::string& text) {
    Node* n = node(control);
    if (!n) return;
    ++n->suppressChange;
    SetWindowTextW(n->window, gbkToWide(text).c_str());
    --n->suppressChange;
    if (n->kind == Kind::Label) InvalidateRect(n->window, nullptr, TRUE);
}

std::string Win32Platform::controlText(Handle control) {
    HWND w = windowOf(control);
    return w ? wideToGbk(windowText(w)) : std::string();
}

void Win32Platform::setFocus(Handle control) {
    if (HWND w = windowOf(control)) SetFocus(w);
}

Handle Win32Platform::focusedControl() {
    HWND focus = GetFocus();
    if (!focus) return 0;
    if (Node* n = nodeOf(focus)) return n->kind == Kind::TopLevel ? 0 : handleOf(focus);
    if (BrowserPane* pane = BrowserPane::fromWindow(focus)) {
        if (nodeOf(pane->window())) return handleOf(pane->window());
    }
    return 0;
}

void Win32Platform::editSelection(Handle edit, int& start, int& end) {
    start = end = 0;
    Node* n = node(edit);
    if (!n || n->kind != Kind::Edit) return;
    DWORD from = 0, to = 0;
    SendMessageW(n->window, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    const std::wstring text = windowText(n->window);
    start = gbkOffset(text, static_cast<int>(from));
    end = gbkOffset(text, static_cast<int>(to));
}

void Win32Platform::setEditSelection(Handle edit, int start, int end) {
    Node* n = node(edit);
    if (!n || n->kind != Kind::Edit) return;
    const std::string text = wideToGbk(windowText(n->window));
    SendMessageW(n->window, EM_SETSEL, static_cast<WPARAM>(wideOffset(text, start)),
                 static_cast<LPARAM>(wideOffset(text, end)));
}

void Win32Platform::clickButton(Handle button) {
    Node* n = node(button);
    if (!n || n->kind != Kind::Button || !IsWindowEnabled(n->window)) return;
    SendMessageW(GetParent(n->window), WM_COMMAND, MAKEWPARAM(n->id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(n->window));
}

// ---- timers ----

Handle Win32Platform::startTimer(Handle window, int periodMs) {
    HWND w = windowOf(window);
    if (!w || periodMs <= 0) return 0;
    const UINT_PTR id = nextTimerId_++;
    if (!SetTimer(w, id, static_cast<UINT>(periodMs), nullptr)) return 0;
    const Handle handle = kTimerTag | static_cast<Handle>(id);
    timers_[handle] = Timer{w, id};
    return handle;
}

void Win32Platform::stopTimer(Handle timer) {
    auto it = timers_.find(timer);
    if (it == timers_.end()) return;
    KillTimer(it->second.window, it->second.id);
    timers_.erase(it);
}

// ---- message loop ----

KeyStroke Win32Platform::keyStrokeOf(const MSG& message) {
    KeyStroke stroke;
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return stroke;
    stroke.shift = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    stroke.ctrl = (GetKeyState(VK_CONTROL) & 0x8000) != 0;
    stroke.alt = (message.lParam & (1 << 29)) != 0;
    const auto vk = static_cast<UINT>(message.wParam);
    switch (vk) {
        case VK_TAB:
            stroke.key = Key::Tab;
            break;
        case VK_RETURN:
            stroke.key = Key::Enter;
            break;
        case VK_ESCAPE:
            stroke.key = Key::Escape;
            break;
        case VK_SPACE:
            stroke.key = Key::Space;
            break;
        case VK_BACK:
            stroke.key = Key::Backspace;
            break;
        case VK_INSERT:
            stroke.key = Key::Insert;
            break;
        case VK_DELETE:
            stroke.key = Key::Delete;
            break;
        default:
            if (vk >= VK_F1 && vk <= VK_F12) {
                stroke.key = static_cast<Key>(static_cast<int>(Key::F1) + static_cast<int>(vk - VK_F1));
            } else if (stroke.ctrl && vk >= 'A' && vk <= 'Z') {
                // Ctrl with a letter; typed text reaches edit boxes as characters instead.
                stroke.key = Key::Char;
                stroke.ch = vk;
            }
            break;
    }
    return stroke;
}

void Win32Platform::dispatch(MSG& message) {
    if (isKeyboardMessage(message.message)) {
        HWND root = GetAncestor(message.hwnd, GA_ROOT);
        Node* top = readyNode(root);
        if (top && top->kind == Kind::TopLevel) {
            const KeyStroke stroke = keyStrokeOf(message);
            if (stroke.key != Key::None && sink_ && sink_->onKey(handleOf(root), stroke)) return;
            // The hosted control gets its turn at its own keys (Tab inside
            // the page, Ctrl+C, ...), as in-place active objects expect.
            if (BrowserPane* pane = BrowserPane::fromWindow(message.hwnd)) {
                if (message.hwnd != pane->window() && pane->translateAccelerator(message)) return;
            }
        }
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

void Win32Platform::pumpOne() {
    MSG message;
    // Input already waiting goes first, then posted callbacks.
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_INPUT)) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == -1) return;
        if (got == 0) return;  // WM_QUIT: the program ends through its own quit, not the platform's
    }
    dispatch(message);
}

void Win32Platform::pumpPending() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) continue;
        dispatch(message);
    }
}

void Win32Platform::post(std::function<void()> callback) {
    posted_.push_back(std::move(callback));
    PostMessageW(messageWindow_, kRunPosted, 0, 0);
}

void Win32Platform::runOnePosted() {
    if (posted_.empty()) return;
    std::function<void()> callback = std::move(posted_.front());
    posted_.pop_front();
    if (callback) callback();
}

// ---- dialogs ----

void Win32Platform::messageBox(const MessageBoxRequest& request) {
    MessageBoxW(nullptr, gbkToWide(request.text).c_str(), gbkToWide(request.caption).c_str(), request.flags);
}

bool Win32Platform::promptText(Handle owner, const std::string& prompt, const std::string& initial,
                               std::string& result) {
    PromptRun run;
    run.prompt = gbkToWide(prompt);
    run.initial = gbkToWide(initial);
    const INT_PTR outcome = DialogBoxParamW(instance_, MAKEINTRESOURCEW(WGS_IDD_ADDRESS_PROMPT),
                                            windowOf(owner), &promptProc, reinterpret_cast<LPARAM>(&run));
    if (outcome != IDOK) return false;
    result = wideToGbk(run.result);
    return true;
}

bool Win32Platform::setVisualStyle(int style) {
    if (!uxtheme_) uxtheme_ = LoadLibraryW(L"uxtheme.dll");
    if (!uxtheme_) return false;
    FARPROC proc = GetProcAddress(uxtheme_, "SetThemeAppProperties");
    if (!proc) return false;
    auto setProperties = reinterpret_cast<void(WINAPI*)(DWORD)>(reinterpret_cast<void*>(proc));
    const int on = style >= 1 && style <= 3 ? 1 : 0;
    if (on == visualStyle_) return true;
    setProperties(on ? (kThemeNonClient | kThemeControls | kThemeWebContent) : kThemeNonClient);
    visualStyle_ = on;
    // Controls that exist already take the new look at once; later ones at creation.
    EnumThreadWindows(GetCurrentThreadId(), &themeChangedTree, 0);
    return true;
}

// ---- browser ----

Handle Win32Platform::createBrowser(Handle window, const Rect& rect, const BrowserSettings& settings) {
    HWND parent = windowOf(window);
    if (!parent) return 0;
    BrowserPane* pane = BrowserPane::create(instance_, parent, rect, WS_VISIBLE | WS_TABSTOP, settings);
    if (!pane) return 0;
    auto n = std::make_unique<Node>();
    n->kind = Kind::Browser;
    n->window = pane->window();
    n->browser = pane;
    registerControl(std::move(n));
    return handleOf(pane->window());
}

void Win32Platform::browserNavigate(Handle browser, const std::string& address) {
    Node* n = node(browser);
    if (n && n->browser) n->browser->navigate(gbkToWide(address));
}

std::string Win32Platform::browserLocation(Handle browser) {
    Node* n = node(browser);
    return n && n->browser ? wideToGbk(n->browser->location()) : std::string();
}

void Win32Platform::browserReload(Handle browser) {
    Node* n = node(browser);
    if (n && n->browser) n->browser->refresh();
}

// ---- shell ----

Handle Win32Platform::findTopLevelWindow(const std::string& title) {
    HWND found = FindWindowExW(nullptr, nullptr, nullptr, gbkToWide(title).c_str());
    return handleOf(found);
}

void Win32Platform::shellOpen(Handle owner, const std::string& address) {
    ShellExecuteW(reinterpret_cast<HWND>(static_cast<std::uintptr_t>(owner)), L"open",
                  gbkToWide(address).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// ---- libraries ----

Handle Win32Platform::loadLibrary(const std::string& name) {
    return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(LoadLibraryA(name.c_str())));
}

void* Win32Platform::libraryFunction(Handle library, const std::string& name) {
    if (library == 0) return nullptr;
    FARPROC proc =
        GetProcAddress(reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(library)), name.c_str());
    return reinterpret_cast<void*>(proc);
}

void Win32Platform::freeLibrary(Handle library) {
    if (library != 0) FreeLibrary(reinterpret_cast<HMODULE>(static_cast<std::uintptr_t>(library)));
}

void Win32Platform::callWorkingSetTrim(void* function) {
    if (!function) return;
    using Trim = BOOL(WINAPI*)(HANDLE, SIZE_T, SIZE_T);
    reinterpret_cast<Trim>(function)(GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
}

// ---- window procedures ----

LRESULT CALLBACK Win32Platform::messageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kRunPosted && current_) {
        current_->runOnePosted();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32Platform::topLevelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Win32Platform* self = current_;
    if (message == WM_NCDESTROY) {
        if (self) self->forget(window);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    Node* n = self ? self->nodeOf(window) : nullptr;
    if (!n && message == WM_NCCREATE) {
        // The node is registered only after CreateWindowExW returns; the
        // background is needed before that.
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (!n && message == WM_ERASEBKGND) {
        auto* pending = reinterpret_cast<Node*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (pending) {
            RECT r;
            GetClientRect(window, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, pending->background);
            return 1;
        }
    }
    if (!n || !n->ready) return DefWindowProcW(window, message, wParam, lParam);
    return self->handleTopLevel(*n, message, wParam, lParam);
}

LRESULT Win32Platform::handleTopLevel(Node& n, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND window = n.window;
    const Handle handle = handleOf(window);
    switch (message) {
        case WM_CLOSE:
            if (sink_) sink_->onCloseRequested(handle);
            return 0;
        case WM_QUERYENDSESSION:
            return sink_ ? (sink_->onQueryEndSession(handle) ? TRUE : FALSE) : TRUE;
        case WM_MOVE:
            if (sink_) sink_->onMoved(handle);
            return 0;
        case WM_SIZE:
            if (sink_) sink_->onResized(handle);
            return 0;
        case WM_ACTIVATE: {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && sink_) sink_->onActivated(handle);
            return result;
        }
        case WM_COMMAND: {
            if (lParam == 0) {
                // A menu item or an accelerator.
                if (sink_) sink_->onMenuCommand(handle, LOWORD(wParam));
                return 0;
            }
            Node* control = readyNode(reinterpret_cast<HWND>(lParam));
            if (!control || !sink_) return 0;
            const Handle controlHandle = handleOf(control->window);
            if (control->kind == Kind::Button && HIWORD(wParam) == BN_CLICKED) {
                sink_->onClicked(controlHandle);
            } else if (control->kind == Kind::Edit && HIWORD(wParam) == EN_CHANGE &&
                       control->suppressChange == 0) {
                sink_->onTextChanged(controlHandle);
            }
            return 0;
        }
        case WM_TIMER: {
            const Handle timer = kTimerTag | static_cast<Handle>(wParam);
            auto it = timers_.find(timer);
            if (it != timers_.end() && it->second.window == window && sink_) sink_->onTimer(timer);
            return 0;
        }
        case WM_ERASEBKGND: {
            RECT r;
            GetClientRect(window, &r);
            FillRect(reinterpret_cast<HDC>(wParam), &r, n.background);
            return 1;
        }
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32Platform::labelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETFONT:
            SetPropW(window, L"WgsFont", reinterpret_cast<HANDLE>(wParam));
            if (LOWORD(lParam)) InvalidateRect(window, nullptr, TRUE);
            return 0;
        case WM_GETFONT:
            return reinterpret_cast<LRESULT>(GetPropW(window, L"WgsFont"));
        case WM_SETTEXT: {
            const LRESULT result = DefWindowProcW(window, message, wParam, lParam);
            InvalidateRect(window, nullptr, TRUE);
            return result;
        }
        case WM_NCHITTEST:
            return HTTRANSPARENT;
        case WM_ERASEBKGND:
            return 1;  // painted with the text, over the parent's background
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            RECT r;
            GetClientRect(window, &r);
            HWND parent = GetParent(window);
            Node* owner = current_ ? current_->nodeOf(parent) : nullptr;
            FillRect(dc, &r, owner ? owner->background : GetSysColorBrush(COLOR_BTNFACE));
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, IsWindowEnabled(window) ? RGB(0, 0, 0) : GetSysColor(COLOR_GRAYTEXT));
            HGDIOBJ font =
                SelectObject(dc, GetPropW(window, L"WgsFont") ? GetPropW(window, L"WgsFont") : guiFont());
            const std::wstring text = windowText(window);
            DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                      static_cast<UINT>(GetWindowLongPtrW(window, GWLP_USERDATA)));
            SelectObject(dc, font);
            EndPaint(window, &paint);
            return 0;
        }
        case WM_NCDESTROY:
            RemovePropW(window, L"WgsFont");
            break;
        default:
            break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK Win32Platform::controlSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                                UINT_PTR, DWORD_PTR) {
    Win32Platform* self = current_;
    Node* n = self ? self->readyNode(window) : nullptr;
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, &Win32Platform::controlSubclass, kSubclassId);
        if (self) self->forget(window);
        return DefSubclassProc(window, message, wParam, lParam);
    }
    if (!n || !self->sink_) return DefSubclassProc(window, message, wParam, lParam);
    const Handle handle = self->handleOf(window);
    switch (message) {
        case WM_CHAR:
            if (n->kind == Kind::Edit) {
                const auto unit = static_cast<wchar_t>(wParam);
                if (unit >= 0xD800 && unit <= 0xDBFF) {
                    n->highSurrogate = unit;
                    return 0;
                }
                std::uint32_t codePoint = unit;
                if (unit >= 0xDC00 && unit <= 0xDFFF && n->highSurrogate) {
                    codePoint = 0x10000 + ((static_cast<std::uint32_t>(n->highSurrogate) - 0xD800) << 10) +
                                (static_cast<std::uint32_t>(unit) - 0xDC00);
                }
                const wchar_t high = n->highSurrogate;
                n->highSurrogate = 0;
                if (!self->sink_->onAcceptChar(handle, codePoint)) return 0;
                if (codePoint >= 0x10000) DefSubclassProc(window, message, static_cast<WPARAM>(high), lParam);
            }
            break;
        case WM_SETFOCUS: {
            const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            if (self->sink_) self->sink_->onFocusGained(handle);
            return result;
        }
        case WM_KILLFOCUS: {
            const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
            // The pane hands its focus on to the control inside it; that is
            // not the focus leaving the pane.
            if (n->kind == Kind::Browser && wParam && IsChild(window, reinterpret_cast<HWND>(wParam)))
                return result;
            if (self->sink_) self->sink_->onFocusLost(handle);
            return result;
        }
        default:
            break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace wgs::win32
