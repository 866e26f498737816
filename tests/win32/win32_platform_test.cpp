// The Windows backend on a real desktop (Wine under Xvfb in the test suite),
// driven through the Platform interface as the window model drives it.
#include "platform/win32/win32_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "core/gbk_literals.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_text.h"

namespace wgs::win32 {
namespace {

// Records every event, in order, as one line each.
class RecordingSink : public PlatformEvents {
public:
    std::vector<std::string> events;
    bool consumeKeys = false;
    std::uint32_t refusedChar = 0;
    std::vector<KeyStroke> keys;

    void onCloseRequested(Handle w) override { add("close", w); }
    bool onQueryEndSession(Handle w) override {
        add("queryEnd", w);
        return true;
    }
    void onMoved(Handle w) override { add("moved", w); }
    void onResized(Handle w) override { add("resized", w); }
    void onActivated(Handle w) override { add("activated", w); }
    void onMenuCommand(Handle w, int command) override { add("menu " + std::to_string(command), w); }
    void onTimer(Handle t) override { add("timer", t); }
    void onClicked(Handle c) override { add("clicked", c); }
    void onTextChanged(Handle c) override { add("textChanged", c); }
    bool onAcceptChar(Handle c, std::uint32_t codePoint) override {
        add("char " + std::to_string(codePoint), c);
        return codePoint != refusedChar;
    }
    void onFocusGained(Handle c) override { add("focusGained", c); }
    void onFocusLost(Handle c) override { add("focusLost", c); }
    bool onKey(Handle w, const KeyStroke& key) override {
        keys.push_back(key);
        add("key " + std::to_string(static_cast<int>(key.key)), w);
        return consumeKeys;
    }

    int count(const std::string& what, Handle h) const {
        int n = 0;
        for (const auto& e : events) n += e == line(what, h) ? 1 : 0;
        return n;
    }
    static std::string line(const std::string& what, Handle h) { return what + " @" + std::to_string(h); }

private:
    void add(const std::string& what, Handle h) { events.push_back(line(what, h)); }
};

class Win32PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { platform.setEventSink(&sink); }
    void TearDown() override {
        for (Handle w : windows) platform.destroyWindow(w);
        platform.pumpPending();
        platform.setEventSink(nullptr);
    }

    Handle makeWindow(const std::string& caption = "测试窗口") {
        TopLevelStyle style;
        style.caption = caption;
        style.minimizeButton = true;
        style.outer = Rect{50, 60, 400, 300};
        const Handle w = platform.createTopLevel(style);
        if (w) windows.push_back(w);
        return w;
    }

    // Runs the loop until `done` holds or about two seconds have passed.
    template <typename Done>
    bool pumpUntil(Done done) {
        for (int i = 0; i < 200 && !done(); ++i) {
            platform.pumpPending();
            if (!done()) Sleep(10);
        }
        return done();
    }

    static HWND hwnd(Handle h) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(h)); }

    Win32Platform platform{GetModuleHandleW(nullptr)};
    RecordingSink sink;
    std::vector<Handle> windows;
};

TEST_F(Win32PlatformTest, TopLevelWindowIsCreatedHiddenWithItsCaptionInGbkAndUnicode) {
    const Handle w = makeWindow("未设置名称   V1.3");
    ASSERT_NE(w, 0u);
    EXPECT_FALSE(platform.isWindowVisible(w));
    wchar_t title[64] = {};
    GetWindowTextW(hwnd(w), title, 64);
    EXPECT_STREQ(title, L"未设置名称   V1.3");
    EXPECT_EQ(platform.findTopLevelWindow("未设置名称   V1.3"), w);

    platform.setWindowCaption(w, "设置");
    GetWindowTextW(hwnd(w), title, 64);
    EXPECT_STREQ(title, L"设置");
    EXPECT_EQ(platform.findTopLevelWindow("未设置名称   V1.3"), 0u);
}

TEST_F(Win32PlatformTest, GeometryWritesReportInsideTheCall) {
    const Handle w = makeWindow();
    ASSERT_NE(w, 0u);
    EXPECT_EQ(platform.windowRect(w), (Rect{50, 60, 400, 300}));
    const Size client = platform.clientSize(w);
    EXPECT_LT(client.width, 400);
    EXPECT_LT(client.height, 300);

    sink.events.clear();
    platform.resizeWindow(w, 500, 350);
    EXPECT_EQ(sink.count("resized", w), 1);
    EXPECT_EQ(platform.windowRect(w), (Rect{50, 60, 500, 350}));

    sink.events.clear();
    platform.moveWindow(w, -8, 20);
    EXPECT_EQ(sink.count("moved", w), 1);
    EXPECT_EQ(platform.windowRect(w), (Rect{-8, 20, 500, 350}));

    // The same rectangle again changes nothing and reports nothing.
    sink.events.clear();
    platform.resizeWindow(w, 500, 350);
    platform.moveWindow(w, -8, 20);
    EXPECT_EQ(sink.count("resized", w), 0);
    EXPECT_EQ(sink.count("moved", w), 0);
}

TEST_F(Win32PlatformTest, ShowStatesAndEnabling) {
    const Handle w = makeWindow();
    platform.showWindow(w, ShowCommand::Show);
    EXPECT_TRUE(platform.isWindowVisible(w));
    EXPECT_EQ(platform.showState(w), ShowState::Normal);

    sink.events.clear();
    platform.showWindow(w, ShowCommand::ShowMinimized);
    EXPECT_EQ(platform.showState(w), ShowState::Minimized);
    EXPECT_GE(sink.count("resized", w), 1);  // minimizing is a size change too
    platform.showWindow(w, ShowCommand::Restore);
    EXPECT_EQ(platform.showState(w), ShowState::Normal);
    EXPECT_EQ(platform.windowRect(w), (Rect{50, 60, 400, 300}));

    platform.enableWindow(w, false);
    EXPECT_FALSE(platform.isWindowEnabled(w));
    platform.enableWindow(w, true);
    EXPECT_TRUE(platform.isWindowEnabled(w));
}

TEST_F(Win32PlatformTest, CloseBoxIsReportedAndLeavesTheWindowToTheProgram) {
    const Handle w = makeWindow();
    SendMessageW(hwnd(w), WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(sink.count("close", w), 1);
    EXPECT_TRUE(IsWindow(hwnd(w)));
}

TEST_F(Win32PlatformTest, ControlsKeepTheirPlaceRelativeToTheClientArea) {
    const Handle w = makeWindow();
    ControlStyle style;
    style.type = ControlType::EditBox;
    style.rect = Rect{10, 20, 120, 22};
    const Handle edit = platform.createControl(w, style);
    ASSERT_NE(edit, 0u);
    EXPECT_EQ(platform.windowRect(edit), (Rect{10, 20, 120, 22}));

    sink.events.clear();
    platform.moveWindow(edit, 30, 40);
    platform.resizeWindow(edit, 200, 24);
    EXPECT_EQ(platform.windowRect(edit), (Rect{30, 40, 200, 24}));
    EXPECT_EQ(sink.count("moved", edit), 1);
    EXPECT_EQ(sink.count("resized", edit), 1);
}

TEST_F(Win32PlatformTest, EditBoxTextChangesAreReportedOnlyForTheUsersEdits) {
    const Handle w = makeWindow();
    ControlStyle style;
    style.type = ControlType::EditBox;
    style.rect = Rect{10, 10, 200, 22};
    style.text = "名称";
    const Handle edit = platform.createControl(w, style);
    ASSERT_NE(edit, 0u);
    EXPECT_EQ(platform.controlText(edit), "名称");

    sink.events.clear();
    platform.setControlText(edit, "地址");
    EXPECT_EQ(platform.controlText(edit), "地址");
    EXPECT_EQ(sink.count("textChanged", edit), 0);

    // Typed characters are asked for first; a refused one is dropped.
    platform.setEditSelection(edit, 4, 4);
    sink.refusedChar = 'x';
    SendMessageW(hwnd(edit), WM_CHAR, L'x', 1);
    EXPECT_EQ(platform.controlText(edit), "地址");
    EXPECT_EQ(sink.count("textChanged", edit), 0);
    SendMessageW(hwnd(edit), WM_CHAR, L'7', 1);
    EXPECT_EQ(platform.controlText(edit), "地址7");
    EXPECT_EQ(sink.count("char 120", edit), 1);
    EXPECT_EQ(sink.count("char 55", edit), 1);
    EXPECT_EQ(sink.count("textChanged", edit), 1);
}

TEST_F(Win32PlatformTest, EditSelectionCountsGbkBytes) {
    const Handle w = makeWindow();
    ControlStyle style;
    style.type = ControlType::EditBox;
    style.text = "游戏ab";
    style.rect = Rect{10, 10, 200, 22};
    const Handle edit = platform.createControl(w, style);
    platform.setEditSelection(edit, 0, -1);
    int start = -1, end = -1;
    platform.editSelection(edit, start, end);
    EXPECT_EQ(start, 0);
    EXPECT_EQ(end, 6);  // two double-byte characters and two letters
    platform.setEditSelection(edit, 4, 5);
    DWORD from = 0, to = 0;
    SendMessageW(hwnd(edit), EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 2u);
    EXPECT_EQ(to, 3u);
    platform.editSelection(edit, start, end);
    EXPECT_EQ(start, 4);
    EXPECT_EQ(end, 5);
}

TEST_F(Win32PlatformTest, ButtonsLabelsAndFocus) {
    const Handle w = makeWindow();
    ControlStyle button;
    button.type = ControlType::Button;
    button.text = "保存";
    button.rect = Rect{10, 50, 80, 24};
    button.tabStop = true;
    const Handle save = platform.createControl(w, button);
    ControlStyle label;
    label.type = ControlType::Label;
    label.text = "A & B";
    label.rect = Rect{10, 10, 120, 20};
    const Handle caption = platform.createControl(w, label);
    ControlStyle edit;
    edit.type = ControlType::EditBox;
    edit.rect = Rect{10, 90, 120, 20};
    const Handle box = platform.createControl(w, edit);
    ASSERT_NE(save, 0u);
    ASSERT_NE(caption, 0u);
    ASSERT_NE(box, 0u);
    EXPECT_EQ(platform.controlText(caption), "A & B");
    platform.setControlText(caption, "小时");
    EXPECT_EQ(platform.controlText(caption), "小时");

    sink.events.clear();
    platform.clickButton(save);
    EXPECT_EQ(sink.count("clicked", save), 1);
    EnableWindow(hwnd(save), FALSE);
    platform.clickButton(save);
    EXPECT_EQ(sink.count("clicked", save), 1);

    platform.showWindow(w, ShowCommand::Show);
    platform.activateWindow(w);
    platform.setFocus(box);
    EXPECT_EQ(platform.focusedControl(), box);
    EXPECT_GE(sink.count("focusGained", box), 1);
    platform.showControl(box, false);
    EXPECT_FALSE(platform.isWindowVisible(box));
}

TEST_F(Win32PlatformTest, MenuCommandsAndKeysReachTheProgram) {
    const Handle w = makeWindow();
    std::vector<MenuNode> bar(1);
    bar[0].text = "程序选项";
    MenuNode refresh;
    refresh.command = 102;
    refresh.text = "刷新网页";
    refresh.keyName = "F5";
    MenuNode separator;
    separator.separator = true;
    MenuNode grayed;
    grayed.command = 113;
    grayed.text = "自动优化内存已启动";
    grayed.grayed = true;
    bar[0].children = {refresh, separator, grayed};
    platform.setMenuBar(w, bar);

    HMENU menu = GetMenu(hwnd(w));
    ASSERT_NE(menu, nullptr);
    HMENU drop = GetSubMenu(menu, 0);
    ASSERT_NE(drop, nullptr);
    wchar_t text[64] = {};
    GetMenuStringW(drop, 102, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"刷新网页\tF5");
    EXPECT_EQ(GetMenuItemCount(drop), 3);
    EXPECT_TRUE(GetMenuState(drop, 113, MF_BYCOMMAND) & MF_GRAYED);

    sink.events.clear();
    SendMessageW(hwnd(w), WM_COMMAND, MAKEWPARAM(102, 0), 0);
    EXPECT_EQ(sink.count("menu 102", w), 1);

    // A key pressed in a control goes to the program for its top-level window first.
    ControlStyle edit;
    edit.type = ControlType::EditBox;
    edit.rect = Rect{10, 10, 120, 20};
    const Handle box = platform.createControl(w, edit);
    sink.events.clear();
    sink.consumeKeys = true;
    PostMessageW(hwnd(box), WM_KEYDOWN, VK_F5, 0);
    ASSERT_TRUE(pumpUntil([&] { return !sink.keys.empty(); }));
    EXPECT_EQ(sink.keys.back().key, Key::F5);
    EXPECT_EQ(sink.count("key " + std::to_string(static_cast<int>(Key::F5)), w), 1);
}

TEST(Win32KeyStrokes, VirtualKeysMapToTheProgramsKeys) {
    struct Case {
        UINT message;
        WPARAM vk;
        LPARAM lParam;
        Key key;
        bool alt;
    };
    const Case cases[] = {
        {WM_KEYDOWN, VK_F1, 0, Key::F1, false},         {WM_KEYDOWN, VK_F5, 0, Key::F5, false},
        {WM_KEYDOWN, VK_F12, 0, Key::F12, false},       {WM_KEYDOWN, VK_TAB, 0, Key::Tab, false},
        {WM_KEYDOWN, VK_RETURN, 0, Key::Enter, false},  {WM_KEYDOWN, VK_ESCAPE, 0, Key::Escape, false},
        {WM_KEYDOWN, VK_SPACE, 0, Key::Space, false},   {WM_KEYDOWN, VK_BACK, 0, Key::Backspace, false},
        {WM_KEYDOWN, VK_INSERT, 0, Key::Insert, false}, {WM_KEYDOWN, VK_DELETE, 0, Key::Delete, false},
        {WM_SYSKEYDOWN, VK_F4, 1 << 29, Key::F4, true}, {WM_KEYDOWN, 'A', 0, Key::None, false},
        {WM_KEYUP, VK_F5, 0, Key::None, false},
    };
    for (const Case& c : cases) {
        MSG message{};
        message.message = c.message;
        message.wParam = c.vk;
        message.lParam = c.lParam;
        const KeyStroke stroke = Win32Platform::keyStrokeOf(message);
        EXPECT_EQ(stroke.key, c.key) << "virtual key " << c.vk;
        EXPECT_EQ(stroke.alt, c.alt) << "virtual key " << c.vk;
    }
}

TEST_F(Win32PlatformTest, PostedCallbacksRunInOrderFromTheLoop) {
    std::vector<int> order;
    platform.post([&] { order.push_back(1); });
    platform.post([&] {
        order.push_back(2);
        platform.post([&] { order.push_back(4); });
    });
    platform.post([&] { order.push_back(3); });
    EXPECT_TRUE(order.empty());
    platform.pumpOne();
    EXPECT_EQ(order, (std::vector<int>{1}));
    platform.pumpPending();
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(Win32PlatformTest, TimersTickWithTheirOwnHandleUntilStopped) {
    const Handle w = makeWindow();
    const Handle timer = platform.startTimer(w, 20);
    ASSERT_NE(timer, 0u);
    EXPECT_NE(timer, w);
    ASSERT_TRUE(pumpUntil([&] { return sink.count("timer", timer) >= 2; }));
    platform.stopTimer(timer);
    platform.pumpPending();
    const int ticks = sink.count("timer", timer);
    Sleep(80);
    platform.pumpPending();
    EXPECT_EQ(sink.count("timer", timer), ticks);
}

TEST_F(Win32PlatformTest, AddressPromptConfirmsTheEditedTextAndCancelsWithNothing) {
    const Handle w = makeWindow();
    struct Step {
        bool confirm;
        const wchar_t* typed;
    };
    for (const Step step : {Step{true, L"  http://例子.cn/ "}, Step{false, L"ignored"}, Step{true, L""}}) {
        std::wstring shownPrompt, shownText;
        DWORD selStart = 99, selEnd = 0;
        BOOL passwordVisible = TRUE;
        std::wstring caption;
        // The dialog runs its own loop, which also runs posted callbacks.
        platform.post([&] {
            HWND dialog = GetActiveWindow();
            wchar_t buffer[256] = {};
            GetWindowTextW(dialog, buffer, 256);
            caption = buffer;
            GetDlgItemTextW(dialog, 1128, buffer, 256);
            shownPrompt = buffer;
            GetDlgItemTextW(dialog, 1001, buffer, 256);
            shownText = buffer;
            SendDlgItemMessageW(dialog, 1001, EM_GETSEL, reinterpret_cast<WPARAM>(&selStart),
                                reinterpret_cast<LPARAM>(&selEnd));
            passwordVisible = IsWindowVisible(GetDlgItem(dialog, 1002));
            SetDlgItemTextW(dialog, 1001, step.typed);
            SendMessageW(dialog, WM_COMMAND, step.confirm ? IDOK : IDCANCEL, 0);
        });
        std::string result = "unchanged";
        const bool confirmed = platform.promptText(w, "请输入欲跳转的网页网址：", "about:blank", result);
        EXPECT_EQ(caption, L"请输入：");
        EXPECT_EQ(shownPrompt, L"请输入欲跳转的网页网址：");
        EXPECT_EQ(shownText, L"about:blank");
        EXPECT_EQ(selStart, 0u);
        EXPECT_EQ(selEnd, 11u);
        EXPECT_FALSE(passwordVisible);
        EXPECT_EQ(confirmed, step.confirm);
        if (step.confirm) {
            EXPECT_EQ(result, wideToGbk(step.typed));
        } else {
            EXPECT_EQ(result, "unchanged");
        }
    }
}

TEST_F(Win32PlatformTest, VisualStyleSwitchesAndRepeats) {
    EXPECT_TRUE(platform.setVisualStyle(1));
    EXPECT_TRUE(platform.setVisualStyle(1));
    EXPECT_TRUE(platform.setVisualStyle(0));
    EXPECT_TRUE(platform.setVisualStyle(3));
}

TEST_F(Win32PlatformTest, WebBrowserControlIsHostedAndNavigates) {
    ASSERT_TRUE(platform.initializeEngine());
    const Handle w = makeWindow();
    BrowserSettings settings;
    const Handle browser = platform.createBrowser(w, Rect{-1, 0, 300, 200}, settings);
    ASSERT_NE(browser, 0u) << "the WebBrowser control could not be created";
    EXPECT_EQ(platform.windowRect(browser), (Rect{-1, 0, 300, 200}));
    // The control window fills the pane and follows its size.
    HWND control = GetDlgItem(hwnd(browser), 0xE900);
    ASSERT_NE(control, nullptr);
    platform.resizeWindow(browser, 250, 150);
    RECT r{};
    GetWindowRect(control, &r);
    EXPECT_EQ(r.right - r.left, 250);
    EXPECT_EQ(r.bottom - r.top, 150);

    platform.browserNavigate(browser, "about:blank");
    EXPECT_TRUE(pumpUntil([&] { return platform.browserLocation(browser) == "about:blank"; }))
        << "location: " << platform.browserLocation(browser);
    platform.browserReload(browser);  // no page engine: must simply not fail loudly

    // The focus passes from the pane to the control window.
    platform.showWindow(w, ShowCommand::Show);
    platform.activateWindow(w);
    platform.setFocus(browser);
    EXPECT_EQ(platform.focusedControl(), browser);
    HWND focus = GetFocus();
    EXPECT_TRUE(focus == control || IsChild(control, focus));

    // Keys pressed inside the control still reach the program's hotkeys first.
    sink.keys.clear();
    sink.consumeKeys = true;
    PostMessageW(focus, WM_KEYDOWN, VK_F1, 0);
    ASSERT_TRUE(pumpUntil([&] { return !sink.keys.empty(); }));
    EXPECT_EQ(sink.keys.back().key, Key::F1);
    EXPECT_EQ(sink.count("key " + std::to_string(static_cast<int>(Key::F1)), w), 1);

    platform.destroyWindow(browser);
    EXPECT_FALSE(IsWindow(hwnd(browser)));
    EXPECT_FALSE(IsWindow(control));
    platform.shutdownEngine();
}

TEST_F(Win32PlatformTest, WorkingSetTrimIsBoundByName) {
    const Handle kernel = platform.loadLibrary("Kernel32.dll");
    ASSERT_NE(kernel, 0u);
    void* trim = platform.libraryFunction(kernel, "SetProcessWorkingSetSize");
    EXPECT_NE(trim, nullptr);
    EXPECT_EQ(platform.libraryFunction(kernel, "NoSuchFunctionAnywhere"), nullptr);
    const Handle mpr = platform.loadLibrary("Mpr.dll");
    EXPECT_EQ(platform.libraryFunction(mpr, "SetProcessWorkingSetSize"), nullptr);
    platform.freeLibrary(mpr);
    platform.callWorkingSetTrim(trim);
    platform.freeLibrary(kernel);
}

TEST_F(Win32PlatformTest, ClockAndScreen) {
    const std::int64_t now = platform.calendarSeconds();
    CalendarFields fields;
    ASSERT_TRUE(platform.localFields(now, fields));
    SYSTEMTIME local;
    GetLocalTime(&local);
    EXPECT_EQ(fields.year, local.wYear);
    EXPECT_EQ(fields.month, local.wMonth);
    EXPECT_EQ(fields.day, local.wDay);
    EXPECT_EQ(fields.hour * 60 + fields.minute, local.wHour * 60 + local.wMinute);

    const Rect screen = platform.primaryScreen();
    EXPECT_GT(screen.width, 0);
    EXPECT_GT(screen.height, 0);
    const std::vector<Rect> all = platform.monitors();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), screen);
}

TEST_F(Win32PlatformTest, ModulePathIsUtf8WithBackslashes) {
    const std::string path = platform.modulePath();
    ASSERT_FALSE(path.empty());
    EXPECT_NE(path.find('\\'), std::string::npos);
    EXPECT_EQ(path.substr(path.size() - 4), ".exe");
    EXPECT_EQ(platform.pathStyle().separator, '\\');
    EXPECT_FALSE(platform.pathStyle().doubleByteAware);
}

// ---- files ----

class Win32FilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir = std::wstring(temp) + L"wgs 文件测试 " + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(dir.c_str(), nullptr);
        path = wideToUtf8(dir + L"\\yxq.ini");
    }
    void TearDown() override {
        SetFileAttributesW(utf8ToWide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(utf8ToWide(path).c_str());
        RemoveDirectoryW((dir + L"\\sub").c_str());
        RemoveDirectoryW(dir.c_str());
    }
    int filesInDir() const {
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((dir + L"\\*").c_str(), &data);
        int n = 0;
        if (find == INVALID_HANDLE_VALUE) return 0;
        do {
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++n;
        } while (FindNextFileW(find, &data));
        FindClose(find);
        return n;
    }
    std::wstring dir;
    std::string path;
};

TEST_F(Win32FilesTest, ReplaceWritesTheWholeFileInAFolderWithAChineseName) {
    std::string bytes;
    EXPECT_FALSE(readWholeFile(path, bytes));
    const std::string content = "[请勿随便修改此配置文件]\r\n名称=未设置名称\r\n";
    ASSERT_TRUE(replaceWholeFile(path, content));
    ASSERT_TRUE(readWholeFile(path, bytes));
    EXPECT_EQ(bytes, content);
    ASSERT_TRUE(replaceWholeFile(path, "x"));
    ASSERT_TRUE(readWholeFile(path, bytes));
    EXPECT_EQ(bytes, "x");
    std::string zeros(100000, '\0');
    ASSERT_TRUE(replaceWholeFile(path, zeros));
    ASSERT_TRUE(readWholeFile(path, bytes));
    EXPECT_EQ(bytes, zeros);
    EXPECT_EQ(filesInDir(), 1);  // no temporary file left behind
}

TEST_F(Win32FilesTest, AFailedReplaceLeavesTheOldFileAndNoTemporary) {
    ASSERT_TRUE(replaceWholeFile(path, "old"));
    ASSERT_TRUE(SetFileAttributesW(utf8ToWide(path).c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(replaceWholeFile(path, "new"));
    std::string bytes;
    ASSERT_TRUE(readWholeFile(path, bytes));
    EXPECT_EQ(bytes, "old");
    EXPECT_EQ(filesInDir(), 1);

    // A directory in the file's place, and a folder that does not exist.
    const std::string sub = wideToUtf8(dir + L"\\sub");
    CreateDirectoryW(utf8ToWide(sub).c_str(), nullptr);
    EXPECT_FALSE(replaceWholeFile(sub, "new"));
    EXPECT_FALSE(readWholeFile(sub, bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(replaceWholeFile(wideToUtf8(dir + L"\\missing\\yxq.ini"), "new"));
    EXPECT_EQ(filesInDir(), 1);
}

TEST(Win32Text, Gbk936IsUsedWhateverTheSystemCodePage) {
    EXPECT_EQ(gbkToWide("名称"), L"名称");
    EXPECT_EQ(wideToGbk(L"名称"), "名称");
    EXPECT_EQ(wideToGbk(L"\u20AC"), "\x80");  // the euro sign of code page 936
    EXPECT_EQ(utf8ToWide(u8"\u6e38\u620f"), L"游戏");
    EXPECT_EQ(wideToUtf8(L"游戏"), std::string(u8"\u6e38\u620f"));
    EXPECT_EQ(gbkToWide(""), L"");
    EXPECT_EQ(gbkToWide(std::string("a\0b", 3)), std::wstring(L"a\0b", 3));
}

}  // namespace
}  // namespace wgs::win32
