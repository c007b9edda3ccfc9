// The dialogs' windows: the modal frame driven by keys posted from inside its loop (a timer of
// the manual clock fires while the loop waits), and the folder listing and name reading the file
// dialogs stand on.
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/win/keys.h"
#include "tests/host/win_support.h"

namespace nuv::test::win {
namespace {

namespace windows = nuv::host::dialogs::windows;
using windows::Outcome;

// Two recording fields in the tab order; OK answers as told.
struct Probe : windows::Dialog {
    bool build() override {
        const std::u16string cls = recording_class(u"Recorder", 0xFFFFFFFF);
        first = control(cls, u"", WS_TABSTOP, 10, 10, 100, 20, 10);
        second = control(cls, u"", WS_TABSTOP, 10, 40, 100, 20, 11);
        return first && second && make;
    }
    bool accept() override {
        ++accepts;
        return accept_answer;
    }
    HWND first = 0, second = 0;
    bool make = true, accept_answer = true;
    int accepts = 0;
};

// What each turn of the timer does inside the loop, in order.
std::vector<std::function<void()>> g_steps;
size_t g_step = 0;
void run_step(HWND, uint32_t, uintptr_t id, uint32_t) {
    if (g_step < g_steps.size()) g_steps[g_step++]();
    else KillTimer(0, id);
}

void press(uint32_t vk) {
    post_input(MSG{GetFocus(), WM_KEYDOWN, static_cast<intptr_t>(vk), 1});
    post_input(MSG{GetFocus(), WM_KEYUP, static_cast<intptr_t>(vk), static_cast<intptr_t>(1u | kKeyReleased)});
}

class DialogWindow : public WinTest {
protected:
    Outcome run(Probe& probe, std::vector<std::function<void()>> steps, HWND owner = 0) {
        g_steps = std::move(steps);
        g_step = 0;
        const uintptr_t timer = SetTimer(0, 0, 10, run_step);
        const Outcome outcome = windows::run_modal(probe, owner, u"Probe", 200, 100);
        KillTimer(0, timer);
        return outcome;
    }
};

TEST_F(DialogWindow, EnterAsksOkAndEscapeOrCloseCancels) {
    struct Row {
        const char* what;
        bool accept_answer;
        std::vector<std::function<void()>> steps;
        Outcome want;
        int accepts;
    };
    HWND dialog = 0;
    auto note = [&dialog] { dialog = GetActiveWindow(); };
    const Row rows[] = {
        {"Enter", true, {[] { press(VK_RETURN); }}, Outcome::Ok, 1},
        {"Enter refused, then Escape", false, {[] { press(VK_RETURN); }, [] { press(VK_ESCAPE); }}, Outcome::Cancel, 1},
        {"Escape", true, {[] { press(VK_ESCAPE); }}, Outcome::Cancel, 0},
        {"close", true, {[&] { note(); PostMessage(dialog, WM_CLOSE, 0, 0); }}, Outcome::Cancel, 0},
        {"the OK button", true,
         {[&] { note(); SendMessage(dialog, WM_COMMAND, windows::kIdOk, 0); }}, Outcome::Ok, 1},
        {"the Cancel button", true,
         {[&] { note(); SendMessage(dialog, WM_COMMAND, windows::kIdCancel, 0); }}, Outcome::Cancel, 0},
        {"destroyed from outside", true, {[&] { note(); DestroyWindow(dialog); }}, Outcome::Cancel, 0},
    };
    for (const Row& row : rows) {
        Probe probe;
        probe.accept_answer = row.accept_answer;
        EXPECT_EQ(run(probe, row.steps), row.want) << row.what;
        EXPECT_EQ(probe.accepts, row.accepts) << row.what;
        EXPECT_FALSE(IsWindow(probe.hwnd)) << row.what;
    }
    EXPECT_EQ(nuv::host::dialogs::dialog_counters().windows, static_cast<int>(std::size(rows)));
}

TEST_F(DialogWindow, TheOwnerWaitsDisabledAndAQuitIsPassedOn) {
    const HWND owner = top(100, 100, 400, 300);
    SetActiveWindow(owner);
    Probe probe;
    bool owner_enabled = true;
    HWND parent = 0;
    const Outcome outcome = run(probe, {[&] {
                                    owner_enabled = IsWindowEnabled(owner);
                                    parent = GetParent(GetActiveWindow());
                                    PostQuitMessage(7);
                                }},
                                owner);
    EXPECT_EQ(outcome, Outcome::Cancel);
    EXPECT_FALSE(owner_enabled);
    EXPECT_EQ(parent, owner);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_EQ(GetActiveWindow(), owner);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 7);
}

TEST_F(DialogWindow, TabWalksTheControlsBothWays) {
    Probe probe;
    std::vector<HWND> focus;
    auto seen = [&] { focus.push_back(GetFocus()); };
    run(probe, {seen, [] { press(VK_TAB); }, seen, [] { press(VK_TAB); }, seen,
                [] {
                    post_input(MSG{GetFocus(), WM_KEYDOWN, VK_SHIFT, 1});
                    press(VK_TAB);
                    post_input(MSG{GetFocus(), WM_KEYUP, VK_SHIFT, static_cast<intptr_t>(1u | kKeyReleased)});
                },
                seen, [] { press(VK_ESCAPE); }});
    EXPECT_EQ(focus, (std::vector<HWND>{probe.first, probe.second, probe.first, probe.second}));
}

TEST_F(DialogWindow, ADialogThatCannotBeBuiltLeavesNothing) {
    const HWND owner = top(0, 0, 300, 200);
    Probe probe;
    probe.make = false;
    EXPECT_EQ(run(probe, {}, owner), Outcome::Failed);
    EXPECT_FALSE(IsWindow(probe.hwnd));
    EXPECT_TRUE(IsWindowEnabled(owner));
}

TEST(DialogFolders, ListingMatchingAndNames) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(::testing::TempDir()) / ("dialogs_list_" + std::to_string(::getpid()));
    fs::create_directories(root / "sub");
    fs::create_directories(root / "Alpha");
    fs::create_directories(root / ".cache");
    for (const char* name : {"b.txt", "A.TXT", "c.md", ".hidden.txt", "readme"}) std::ofstream(root / name) << "x";
    const std::u16string folder = nuv::host::dialogs::answers::utf16_of(root.string());
    struct Row {
        const char16_t* patterns;
        bool files;
        std::vector<std::u16string> want;
    };
    const Row rows[] = {
        {u"*.txt", true, {u"../", u"Alpha/", u"sub/", u"A.TXT", u"b.txt"}},
        {u"*.md; *.TXT", true, {u"../", u"Alpha/", u"sub/", u"A.TXT", u"b.txt", u"c.md"}},
        {u"*.*", true, {u"../", u"Alpha/", u"sub/", u"A.TXT", u"b.txt", u"c.md", u"readme"}},
        {u"", false, {u"../", u"Alpha/", u"sub/"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(windows::list_folder(folder, row.patterns, row.files), row.want);
    EXPECT_NE(windows::list_folder(u"/", u"", false).front(), u"../");  // the root has no parent
    EXPECT_EQ(windows::list_folder(folder + u"/missing", u"", true), std::vector<std::u16string>{u"../"});
    fs::remove_all(root);

    struct Match {
        const char16_t* name;
        const char16_t* patterns;
        bool want;
    };
    for (const Match& m : std::initializer_list<Match>{{u"notes.TXT", u"*.txt", true},
                                                      {u"readme", u"*.*", true},
                                                      {u"abc", u"a?c", true},
                                                      {u"ac", u"a?c", false},
                                                      {u"aXbXc", u"a*b*c", true},
                                                      {u"aXbXd", u"a*b*c", false},
                                                      {u"x.png", u"*.jpg;*.png", true},
                                                      {u"x.png", u";", false}})
        EXPECT_EQ(windows::matches(m.name, m.patterns), m.want);

    EXPECT_EQ(windows::split_names(u"  one file.txt "), std::vector<std::u16string>{u"one file.txt"});
    EXPECT_EQ(windows::split_names(u"\"a.txt\" \"b c.txt\""), (std::vector<std::u16string>{u"a.txt", u"b c.txt"}));
    EXPECT_EQ(windows::split_names(u"\"a.txt\" \"open"), (std::vector<std::u16string>{u"a.txt", u"open"}));
    EXPECT_TRUE(windows::split_names(u"   ").empty());

    EXPECT_EQ(windows::resolve(u"/home/u", u"../v/./w/"), u"/home/v/w");
    EXPECT_EQ(windows::resolve(u"/home/u", u"/etc"), u"/etc");
    EXPECT_EQ(windows::resolve(u"/home", u".."), u"/");
}

}  // namespace
}  // namespace nuv::test::win
