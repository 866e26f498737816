// The window model on the simulated desktop: ordering of events, properties
// and their clamps, modal loads, posted destruction, the quit, fatal errors.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/application.h"
#include "sim_harness.h"

namespace wgs {
namespace {

using testing::TempDir;

constexpr int kWin = 1;
constexpr int kDialog = 2;
constexpr int kWinSelf = 100;
constexpr int kDialogSelf = 200;
constexpr int kTimer = 101;
constexpr int kEdit = 102;
constexpr int kLabel = 103;
constexpr int kButton = 104;
constexpr int kDialogButton = 201;
constexpr int kDialogEdit = 202;

// A small program of two windows whose handlers record what happens.
struct Program {
    SimDesktop& sim;
    std::vector<std::string> events;
    std::function<void(Application&)> onCreated;
    std::function<void(Application&)> onButton;
    std::function<void(Application&)> onDialogButton;
    std::function<void(Application&)> onDialogCreated;
    std::unique_ptr<Application> app;

    explicit Program(SimDesktop& s) : sim(s) {}

    int run() {
        app = std::make_unique<Application>(sim, [this](Application& a) { return describe(a); });
        return sim.run([&] { return app->start(); });
    }

    void record(const std::string& what) { events.push_back(what); }

    int describe(Application& a) {
        WindowDescription main;
        main.number = kWin;
        main.self.number = kWinSelf;
        main.self.rect = Rect{50, 50, 400, 300};
        main.settings.caption = "main";
        main.settings.startPosition = StartPosition::AsDescribed;
        main.self.events = {
            {event::kCreated,
             [this, &a] {
                 record("created visible=" + std::to_string(sim.visible(a.windows().handleOf(kWin))) +
                        " controls=" + std::to_string(sim.controls(a.windows().handleOf(kWin)).size()));
                 if (onCreated) onCreated(a);
                 record("created end");
             },
             {}},
            {event::kPositionChanged, [this] { record("moved"); }, {}},
            {event::kSizeChanged,
             [this, &a] { record("sized " + std::to_string(a.windows().readInt(kWin, 0, prop::kWidth))); },
             {}},
            {event::kWillBeDestroyed, [this] { record("destroying"); }, {}},
        };
        ControlDescription timer;
        timer.number = kTimer;
        timer.kind = ControlKind::Timer;
        timer.visible = false;
        timer.settings.periodMs = 1000;
        timer.events = {{event::kPeriodic, [this] { record("tick"); }, {}}};
        ControlDescription edit;
        edit.number = kEdit;
        edit.kind = ControlKind::EditBox;
        edit.rect = Rect{10, 10, 100, 24};
        edit.tabStop = true;
        edit.events = {{event::kTextChanged,
                        [this, &a] { record("text " + a.windows().readText(kWin, kEdit, prop::kText)); },
                        {}}};
        ControlDescription label;
        label.number = kLabel;
        label.kind = ControlKind::Label;
        label.rect = Rect{10, 40, 100, 24};
        ControlDescription button;
        button.number = kButton;
        button.kind = ControlKind::Button;
        button.rect = Rect{10, 70, 80, 24};
        button.tabStop = true;
        button.settings.text = "open";
        button.settings.hasText = true;
        button.events = {{event::kClicked,
                          [this, &a] {
                              record("click");
                              if (onButton) onButton(a);
                              record("click end");
                          },
                          {}}};
        main.controls = {timer, edit, label, button};
        a.windows().addDescription(main);

        WindowDescription dialog;
        dialog.number = kDialog;
        dialog.self.number = kDialogSelf;
        dialog.self.rect = Rect{0, 0, 200, 120};
        dialog.settings.caption = "dialog";
        dialog.settings.border = Border::Fixed;
        dialog.settings.minimizeButton = false;
        dialog.settings.escCloses = true;
        dialog.self.events = {
            {event::kCreated,
             [this, &a] {
                 record("dialog created");
                 if (onDialogCreated) onDialogCreated(a);
             },
             {}},
            {event::kWillBeDestroyed, [this] { record("dialog destroying"); }, {}},
        };
        ControlDescription dialogButton;
        dialogButton.number = kDialogButton;
        dialogButton.kind = ControlKind::Button;
        dialogButton.rect = Rect{10, 50, 80, 24};
        dialogButton.tabStop = true;
        dialogButton.events = {{event::kClicked,
                                [this, &a] {
                                    record("dialog click");
                                    if (onDialogButton) onDialogButton(a);
                                    record("dialog click end");
                                },
                                {}}};
        ControlDescription dialogEdit;
        dialogEdit.number = kDialogEdit;
        dialogEdit.kind = ControlKind::EditBox;
        dialogEdit.rect = Rect{10, 10, 100, 24};
        dialogEdit.tabStop = true;
        dialog.controls = {dialogButton, dialogEdit};
        a.windows().addDescription(dialog);
        return kWin;
    }
};

class WindowModelTest : public ::testing::Test {
protected:
    TempDir dir;
    SimDesktop sim{testing::simOptions(dir.path())};
    Program program{sim};
    Handle mainWindow() { return sim.windowByCaption("main"); }
};

TEST_F(WindowModelTest, CreatedRunsHiddenWithAllControlsThenMovedSizedAndShown) {
    sim.then([&] {
        EXPECT_TRUE(sim.visible(mainWindow()));
        sim.closeBox(mainWindow());
    });
    EXPECT_EQ(program.run(), 0);
    ASSERT_GE(program.events.size(), 4u);
    // The timer is no platform window: edit, label and button exist.
    EXPECT_EQ(program.events[0], "created visible=0 controls=3");
    EXPECT_EQ(program.events[1], "created end");
    EXPECT_EQ(program.events[2], "moved");
    EXPECT_EQ(program.events[3], "sized 400");
    EXPECT_EQ(program.events.back(), "destroying");
}

TEST_F(WindowModelTest, SizeWritesInCreatedRaiseSizeChangedInsideEachWriteAndOnceAfter) {
    program.onCreated = [&](Application& a) {
        a.windows().writeInt(kWin, 0, prop::kWidth, 500);
        program.record("after width");
        a.windows().writeInt(kWin, 0, prop::kHeight, 350);
        program.record("after height");
        a.windows().writeInt(kWin, 0, prop::kHeight, 350);  // no change, no event
    };
    sim.then([&] { sim.closeBox(mainWindow()); });
    program.run();
    const std::vector<std::string> expected{"created visible=0 controls=3",
                                            "sized 500",
                                            "after width",
                                            "sized 500",
                                            "after height",
                                            "created end",
                                            "moved",
                                            "sized 500",
                                            "destroying"};
    EXPECT_EQ(program.events, expected);
}

TEST_F(WindowModelTest, GeometryWritesAreClamped) {
    struct Case {
        int property;
        int written;
        int read;
    };
    const Case cases[] = {
        {prop::kWidth, 40000, 32627},  {prop::kWidth, -5, 0},      {prop::kHeight, 40000, 32627},
        {prop::kLeft, -40000, -32627}, {prop::kTop, 40000, 32627}, {prop::kLeft, -8, -8},
    };
    std::vector<int> read;
    program.onCreated = [&](Application& a) {
        for (const auto& c : cases) {
            a.windows().writeInt(kWin, kLabel, c.property, c.written);
            read.push_back(a.windows().readInt(kWin, kLabel, c.property));
        }
    };
    sim.then([&] { sim.closeBox(mainWindow()); });
    program.run();
    ASSERT_EQ(read.size(), std::size(cases));
    for (std::size_t i = 0; i < read.size(); ++i) EXPECT_EQ(read[i], cases[i].read) << "case " << i;
}

TEST_F(WindowModelTest, PositionPropertyIsTwoWhileMinimizedAndZeroOtherwise) {
    std::vector<int> positions;
    auto readPosition = [&] {
        positions.push_back(program.app->windows().readInt(kWin, 0, prop::kPosition));
    };
    sim.then(readPosition);
    sim.then([&] { sim.minimize(mainWindow()); });
    sim.then(readPosition);
    sim.then([&] { sim.restore(mainWindow()); });
    sim.then(readPosition);
    sim.then([&] { sim.closeBox(mainWindow()); });
    program.run();
    EXPECT_EQ(positions, (std::vector<int>{0, 2, 0}));
}

TEST_F(WindowModelTest, CentredWindowReadsPositionZeroAndSitsInTheMiddle) {
    int position = -1;
    Rect rect;
    program.onButton = [&](Application& a) { a.windows().loadWindow(kDialog, 0, true); };
    program.onDialogCreated = [&](Application& a) {
        position = a.windows().readInt(kDialog, 0, prop::kPosition);
    };
    sim.then([&] { sim.click(sim.controlByText(mainWindow(), "open")); });
    sim.then([&] {
        rect = sim.rect(sim.windowByCaption("dialog"));
        sim.closeBox(sim.windowByCaption("dialog"));
    });
    sim.then([&] { sim.closeBox(mainWindow()); });
    program.run();
    EXPECT_EQ(position, 0);
    EXPECT_EQ(rect, (Rect{(1024 - 200) / 2, (768 - 120) / 2, 200, 120}));
}

TEST_F(WindowModelTest, DestroyFromAButtonFinishesTheHandlerAndModalLoadReturnsAfterTheWindowIsGone) {
    program.onButton = [&](Application& a) {
        a.windows().loadWindow(kDialog, 0, true);
        program.record("modal returned enabled=" + std::to_string(sim.enabled(mainWindow())) +
                       " dialog=" + std::to_string(sim.windowByCaption("dialog") != 0));
    };
    program.onDialogButton = [&](Application& a) {
        a.windows().destroyWindow(kDialog);
        program.record("dialog still there=" + std::to_string(sim.windowByCaption("dialog") != 0));
    };
    sim.then([&] { sim.click(sim.controlByText(mainWindow(), "open")); });
    sim.then([&] {
        EXPECT_FALSE(sim.enabled(mainWindow()));
        // A disabled window ignores its close box.
        sim.closeBox(mainWindow());
    });
    sim.then([&] {
        EXPECT_TRUE(sim.exists(mainWindow()));
        sim.click(sim.controlByText(sim.windowByCaption("dialog"), "按钮"));
    });
    sim.then([&] { sim.closeBox(mainWindow()); });
    EXPECT_EQ(program.run(), 0);
    const std::vector<std::string> expected{"created visible=0 controls=3",
                                            "created end",
                                            "moved",
                                            "sized 400",
                                            "click",
                                            "dialog created",
                                            "dialog click",
                                            "dialog still there=1",
                                            "dialog click end",
                                            "dialog destroying",
                                            "modal returned enabled=1 dialog=0",
                                            "click end",
                                            "destroying"};
    EXPECT_EQ(program.events, expected);
}

TEST_F(WindowModelTest, ModalWindowClosedByEscOrCloseBoxReEnablesTheOwner) {
    for (const bool viaEsc : {true, false}) {
        TempDir d;
        SimDesktop s{testing::simOptions(d.path())};
        Program p{s};
        bool enabledAfter = false;
        p.onButton = [&](Application& a) {
            a.windows().loadWindow(kDialog, 0, true);
            enabledAfter = s.enabled(s.windowByCaption("main"));
        };
        s.then([&] { s.click(s.controlByText(s.windowByCaption("main"), "open")); });
        s.then([&] {
            if (viaEsc) {
                s.press(Key::Escape);
            } else {
                s.closeBox(s.windowByCaption("dialog"));
            }
        });
        s.then([&] {
            EXPECT_EQ(s.windowByCaption("dialog"), 0u);
            s.closeBox(s.windowByCaption("main"));
        });
        EXPECT_EQ(p.run(), 0);
        EXPECT_TRUE(enabledAfter) << (viaEsc ? "Esc" : "close box");
    }
}

TEST_F(WindowModelTest, EscDoesNotCloseAWindowThatDoesNotAllowIt) {
    sim.then([&] { sim.press(Key::Escape); });
    sim.then([&] {
        EXPECT_TRUE(sim.exists(mainWindow()));
        sim.closeBox(mainWindow());
    });
    EXPECT_EQ(program.run(), 0);
}

TEST_F(WindowModelTest, LoadingAnOpenWindowRaisesNoCreatedEvent) {
    program.onButton = [&](Application& a) { EXPECT_TRUE(a.windows().loadWindow(kWin, 0, false)); };
    sim.then([&] { sim.click(sim.controlByText(mainWindow(), "open")); });
    sim.then([&] { sim.closeBox(mainWindow()); });
    program.run();
    int created = 0;
    for (const auto& e : program.events) created += e.rfind("created visible", 0) == 0;
    EXPECT_EQ(created, 1);
}

TEST_F(WindowModelTest, QuitComesWhenTheLastWindowGoes) {
    // A non-modal second window keeps the process alive after the first goes.
    program.onButton = [&](Application& a) { a.windows().loadWindow(kDialog, 0, false); };
    sim.then([&] { sim.click(sim.controlByText(mainWindow(), "open")); });
    sim.then([&] { sim.closeBox(mainWindow()); });
    sim.then([&] {
        EXPECT_FALSE(program.app->quitPosted());
        EXPECT_EQ(program.app->windows().loadedCount(), 1u);
        sim.closeBox(sim.windowByCaption("dialog"));
    });
    EXPECT_EQ(program.run(), 0);
    EXPECT_TRUE(program.app->quitPosted());
    EXPECT_EQ(sim.pendingSteps(), 0u);
}

TEST_F(WindowModelTest, TimerTicksOnePeriodAfterCreationAndStopsWithItsWindow) {
    sim.advance(999);
    sim.then([&] { EXPECT_EQ(std::count(program.events.begin(), program.events.end(), "tick"), 0); });
    sim.advance(1);
    sim.then([&] { EXPECT_EQ(std::count(program.events.begin(), program.events.end(), "tick"), 1); });
    sim.advance(3000);
    sim.then([&] { sim.closeBox(mainWindow()); });
    sim.advance(5000);
    sim.then([] {});
    // The last step ran after the window was gone: the quit had already ended the loop,
    // so the remaining steps are never reached.
    program.run();
    EXPECT_EQ(std::count(program.events.begin(), program.events.end(), "tick"), 4);
}

TEST_F(WindowModelTest, FatalErrorShowsItsTextAndExitsMinusOne) {
    program.onButton = [&](Application& a) { a.windows().readInt(99, 0, prop::kLeft); };
    sim.then([&] { sim.click(sim.controlByText(mainWindow(), "open")); });
    EXPECT_EQ(program.run(), -1);
    ASSERT_EQ(sim.messageBoxes.size(), 1u);
    EXPECT_EQ(sim.messageBoxes[0].text, "运行时出错!\r\n\r\n错误信息：未载入欲访问窗口组件所在的窗口\r\n");
    EXPECT_EQ(sim.messageBoxes[0].caption, "错误");
    EXPECT_EQ(sim.messageBoxes[0].flags, 0x10u);
    // The clean-up ran: the window is gone without its will-be-destroyed event.
    EXPECT_EQ(mainWindow(), 0u);
    EXPECT_EQ(std::count(program.events.begin(), program.events.end(), "destroying"), 0);
}

TEST(FatalErrorText, ComposesCodeAndMessage) {
    struct Case {
        const char* message;
        int code;
        const char* text;
    };
    const Case cases[] = {
        {"", 0, "运行时出错!\r\n\r\n"},
        {"m", 0, "运行时出错!\r\n\r\n错误信息：m\r\n"},
        {"", 7, "运行时出错!\r\n\r\n错误代码：7\r\n\r\n"},
        {"m", -3, "运行时出错!\r\n\r\n错误代码：-3\r\n\r\n错误信息：m\r\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Application::fatalErrorText(c.message, c.code), c.text);
}

TEST_F(WindowModelTest, DestroyingAWindowThatIsNotLoadedIsFatal) {
    program.onButton = [&](Application& a) { a.windows().destroyWindow(kDialog); };
    sim.then([&] { sim.click(sim.controlByText(mainWindow(), "open")); });
    EXPECT_EQ(program.run(), -1);
    ASSERT_EQ(sim.messageBoxes.size(), 1u);
    EXPECT_NE(sim.messageBoxes[0].text.find("指定窗口或窗口组件不存在或尚未载入"), std::string::npos);
}

TEST_F(WindowModelTest, StartWindowThatCannotBeBuiltIsFatal) {
    sim.failBrowserCreation = true;
    Application application(sim, [](Application& a) {
        WindowDescription w;
        w.number = 5;
        w.self.number = 500;
        ControlDescription pane;
        pane.number = 501;
        pane.kind = ControlKind::WebBrowser;  // no kind registered: cannot be created
        w.controls = {pane};
        a.windows().addDescription(w);
        return 5;
    });
    EXPECT_EQ(sim.run([&] { return application.start(); }), -1);
    ASSERT_EQ(sim.messageBoxes.size(), 1u);
    EXPECT_EQ(sim.messageBoxes[0].text, "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n");
}

TEST_F(WindowModelTest, RunDirectoryIsTheProgramFolderAndBecomesTheCurrentDirectory) {
    sim.then([&] { sim.closeBox(mainWindow()); });
    program.run();
    EXPECT_EQ(program.app->runDirectory(), "C:\\Games");
    EXPECT_EQ(program.app->startFileName(), "webgame-shell.exe");
    EXPECT_EQ(sim.currentDirectories, (std::vector<std::string>{"C:\\Games"}));
    EXPECT_EQ(program.app->config().path(), "C:\\Games\\yxq.ini");
}

}  // namespace
}  // namespace wgs
