// Edit boxes (normal and integer input), buttons, the keyboard rules and the
// visual-style switch, driven as a user would on the simulated desktop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "core/application.h"
#include "sim_harness.h"

namespace wgs {
namespace {

using testing::TempDir;

constexpr int kWin = 1;
constexpr int kSelf = 10;
constexpr int kFirstButton = 11;  // description order: button, edit2, edit1, second button
constexpr int kEdit2 = 12;
constexpr int kEdit1 = 13;
constexpr int kSecondButton = 14;

struct Form {
    InputMode mode = InputMode::Normal;
    bool escCloses = false;
    bool enterMovesFocus = false;
    bool secondIsDefault = false;
    std::vector<std::string> events;

    int describe(Application& a) {
        WindowDescription w;
        w.number = kWin;
        w.self.number = kSelf;
        w.self.rect = Rect{0, 0, 300, 200};
        w.settings.caption = "form";
        w.settings.escCloses = escCloses;
        w.settings.enterMovesFocus = enterMovesFocus;
        w.self.events = {{event::kCreated, [&a] { applyVisualStyle(a, 1); }, {}}};
        auto edit = [&](int number, const char* name) {
            ControlDescription c;
            c.number = number;
            c.kind = ControlKind::EditBox;
            c.name = name;
            c.tabStop = true;
            c.settings.inputMode = mode;
            c.events = {{event::kTextChanged,
                         [this, &a, number, name] {
                             events.push_back(std::string(name) + "=" +
                                              a.windows().readText(kWin, number, prop::kText));
                         },
                         {}}};
            return c;
        };
        auto button = [&](int number, const char* caption, bool isDefault) {
            ControlDescription c;
            c.number = number;
            c.kind = ControlKind::Button;
            c.tabStop = true;
            c.settings.text = caption;
            c.settings.hasText = true;
            c.settings.defaultButton = isDefault;
            c.events = {{event::kClicked,
                         [this, caption] { events.push_back(std::string("clicked ") + caption); },
                         {}}};
            return c;
        };
        w.controls = {button(kFirstButton, "one", false), edit(kEdit2, "edit2"), edit(kEdit1, "edit1"),
                      button(kSecondButton, "two", secondIsDefault)};
        // The second button comes last in description order but has a higher tab order.
        w.controls[3].tabOrder = 1;
        a.windows().addDescription(w);
        return kWin;
    }
};

struct FormRun {
    TempDir dir;
    SimDesktop sim{testing::simOptions(dir.path())};
    Form form;
    Application* app = nullptr;

    Handle window() { return sim.windowByCaption("form"); }
    Handle control(int number) { return app->windows().handleOf(kWin, number); }
    std::string text(int number) { return sim.text(control(number)); }

    int go() {
        Application application(sim, [this](Application& a) { return form.describe(a); });
        app = &application;
        sim.then([&] { sim.closeBox(window()); });
        return sim.run([&] { return application.start(); });
    }
};

TEST(EditBox, WritingTheTextRaisesTextChangedOnceEvenForTheSameText) {
    FormRun run;
    run.sim.then([&] {
        run.app->windows().writeText(kWin, kEdit1, prop::kText, "abc");
        run.app->windows().writeText(kWin, kEdit1, prop::kText, "abc");
        run.app->windows().writeText(kWin, kEdit1, prop::kText, "");
    });
    run.go();
    EXPECT_EQ(run.form.events, (std::vector<std::string>{"edit1=abc", "edit1=abc", "edit1="}));
}

TEST(EditBox, TypingIntoANormalBoxRaisesTextChangedPerCharacter) {
    FormRun run;
    run.sim.then([&] { run.sim.type("a1"); });
    run.sim.then([&] { EXPECT_EQ(run.text(kEdit1), "a1"); });
    run.go();
    EXPECT_EQ(run.form.events, (std::vector<std::string>{"edit1=a", "edit1=a1"}));
}

TEST(IntegerBox, NormalisesWhenTheFocusLeaves) {
    struct Case {
        const char* typed;   // typed character by character (filtered)
        const char* pasted;  // pasted (unfiltered)
        InputMode mode;
        const char* shown;
    };
    const Case cases[] = {
        {"0", "", InputMode::Integer, ""},
        {"00", "", InputMode::Integer, ""},
        {"-0", "", InputMode::Integer, ""},
        {"-", "", InputMode::Integer, ""},
        {"", "abc", InputMode::Integer, ""},
        {"007", "", InputMode::Integer, "7"},
        {"", "4294967296", InputMode::Integer, "2147483647"},
        {"", "-99999999999", InputMode::Integer, "-2147483648"},
        {"", " 12abc", InputMode::Integer, "12"},
        {"1a2b", "", InputMode::Integer, "12"},  // letters are not typed at all
        {"-5", "", InputMode::Integer, "-5"},
        {"0", "", InputMode::IntegerKeepZero, "0"},
        {"00", "", InputMode::IntegerKeepZero, "0"},
        {"-", "", InputMode::IntegerKeepZero, ""},
        {"", "abc", InputMode::IntegerKeepZero, ""},
        {"023", "", InputMode::IntegerKeepZero, "23"},
    };
    for (const auto& c : cases) {
        FormRun run;
        run.form.mode = c.mode;
        run.sim.then([&] {
            if (*c.typed) run.sim.type(c.typed);
            if (*c.pasted) run.sim.paste(c.pasted);
        });
        run.sim.then([&] { run.sim.press(Key::Tab); });
        std::string shown;
        run.sim.then([&] { shown = run.text(kEdit1); });
        run.go();
        EXPECT_EQ(shown, c.shown) << "typed '" << c.typed << "' pasted '" << c.pasted << "'";
    }
}

TEST(IntegerBox, LettersTypedChangeNothingAndBackspaceWorks) {
    FormRun run;
    run.form.mode = InputMode::Integer;
    run.sim.then([&] { run.sim.type("12x"); });
    run.sim.then([&] {
        EXPECT_EQ(run.text(kEdit1), "12");
        run.sim.press(Key::Backspace);
    });
    run.sim.then([&] { EXPECT_EQ(run.text(kEdit1), "1"); });
    run.go();
    EXPECT_EQ(run.form.events, (std::vector<std::string>{"edit1=1", "edit1=12", "edit1=1"}));
}

TEST(IntegerBox, NormalisationRaisesTextChangedOnlyWhenTheTextChanges) {
    FormRun run;
    run.form.mode = InputMode::Integer;
    run.sim.then([&] { run.sim.type("7"); });
    run.sim.then([&] { run.sim.press(Key::Tab); });
    run.sim.then([&] { run.sim.press(Key::Tab, true); });  // back into edit1
    run.sim.then([&] { run.sim.type("0"); });              // "70"
    run.sim.then([&] { run.sim.click(run.control(kFirstButton)); });
    run.go();
    EXPECT_EQ(run.form.events, (std::vector<std::string>{"edit1=7", "edit1=70", "clicked one"}));
}

// Tab goes through ascending tab orders, equal ones in reverse description
// order; the first focus is the smallest tab order, ties to the last described.
TEST(Keyboard, TabAndShiftTabFollowTheTabOrder) {
    FormRun run;
    std::vector<std::string> names;
    auto note = [&] {
        const Handle f = run.sim.focus();
        for (int n : {kFirstButton, kEdit2, kEdit1, kSecondButton}) {
            if (run.control(n) == f) names.push_back(std::to_string(n));
        }
    };
    run.sim.then(note);
    for (int i = 0; i < 4; ++i) {
        run.sim.then([&] { run.sim.press(Key::Tab); });
        run.sim.then(note);
    }
    run.sim.then([&] { run.sim.press(Key::Tab, true); });
    run.sim.then(note);
    run.go();
    EXPECT_EQ(names, (std::vector<std::string>{"13", "12", "11", "14", "13", "14"}));
}

TEST(Keyboard, EnterClicksTheDefaultButtonOnlyIfThereIsOne) {
    for (const bool hasDefault : {false, true}) {
        FormRun run;
        run.form.secondIsDefault = hasDefault;
        run.sim.then([&] { run.sim.press(Key::Enter); });
        run.go();
        const bool clicked = !run.form.events.empty() && run.form.events[0] == "clicked two";
        EXPECT_EQ(clicked, hasDefault);
        if (!hasDefault) {
            EXPECT_TRUE(run.form.events.empty());
        }
    }
}

TEST(Keyboard, EnterMovesTheFocusWhereTheWindowSaysSo) {
    FormRun run;
    run.form.enterMovesFocus = true;
    Handle before = 0;
    Handle after = 0;
    run.sim.then([&] {
        before = run.sim.focus();
        run.sim.press(Key::Enter);
    });
    run.sim.then([&] { after = run.sim.focus(); });
    run.go();
    EXPECT_NE(before, after);
    EXPECT_TRUE(run.form.events.empty());
}

TEST(Keyboard, SpaceClicksTheFocusedButton) {
    FormRun run;
    run.sim.then([&] {
        run.sim.press(Key::Tab);
        run.sim.press(Key::Tab);
        run.sim.press(Key::Space);
    });
    run.go();
    EXPECT_EQ(run.form.events, (std::vector<std::string>{"clicked one"}));
}

TEST(Keyboard, EscClosesOnlyWhereAllowedAndAltF4AlwaysCloses) {
    struct Case {
        bool escCloses;
        Key key;
        bool alt;
        bool closed;
    };
    const Case cases[] = {
        {false, Key::Escape, false, false}, {true, Key::Escape, false, true}, {false, Key::F4, true, true}};
    for (const auto& c : cases) {
        TempDir dir;
        SimDesktop sim{testing::simOptions(dir.path())};
        Form form;
        form.escCloses = c.escCloses;
        Application application(sim, [&](Application& a) { return form.describe(a); });
        // When the key closes the window the program ends before the next step.
        bool stillOpen = false;
        sim.then([&] { sim.press(c.key, false, false, c.alt); });
        sim.then([&] {
            stillOpen = true;
            sim.closeBox(sim.windowByCaption("form"));
        });
        EXPECT_EQ(sim.run([&] { return application.start(); }), 0);
        const bool closed = !stillOpen;
        EXPECT_EQ(closed, c.closed) << "esc closes " << c.escCloses;
    }
}

TEST(VisualStyle, EveryCreatedWindowSwitchesItOn) {
    FormRun run;
    run.sim.then([&] { EXPECT_TRUE(run.sim.visualStyleOn()); });
    run.go();
}

}  // namespace
}  // namespace wgs
