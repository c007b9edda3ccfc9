// The dialogs' windows: the modal frame driven by keys posted from inside its loop (a timer of
// the manual clock fires while the loop waits), and the folder listing and name reading the file
// dialogs stand on.
#include <filesystem>
#include <fstream>
#include <functional>

#include <unistd.h>

#include "host/controls/combobox.h"
#include "host/controls/edit.h"
#include "host/controls/listbox.h"
#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/dialogs/dialogs.h"
#include "host/utf.h"
#include "host/win/keys.h"
#include "tests/host/win_support.h"
#include "tests/temp_support.h"

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

// The dialog's own face, light, then dark once its window is told so.
TEST_F(DialogWindow, TheDialogIsPaintedInItsPalette) {
    auto face_at = [](HWND dialog) {
        Frame frame;
        if (!compose_frame(dialog, &frame)) return 0u;
        const auto* row = reinterpret_cast<const uint32_t*>(frame.pixels + 80 * frame.stride);
        return row[150] & 0xFFFFFF;
    };
    auto argb = [](uint32_t colorref) {
        return (colorref & 0xFF) << 16 | (colorref & 0xFF00) | (colorref >> 16 & 0xFF);
    };
    uint32_t light = 0, dark = 0;
    Probe probe;
    run(probe, {[&] { light = face_at(GetActiveWindow()); },
                [&] { nuv::host::controls::set_dark(GetActiveWindow(), true); },
                [&] {
                    dark = face_at(GetActiveWindow());
                    press(VK_ESCAPE);
                }});
    EXPECT_EQ(light, argb(nuv::host::controls::light_palette().face));
    EXPECT_EQ(dark, argb(nuv::host::controls::dark_palette().face));
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
    const fs::path root = fs::path(nuv::test::temp_path("dialogs_list"));
    fs::create_directories(root / "sub");
    fs::create_directories(root / "Alpha");
    fs::create_directories(root / ".cache");
    for (const char* name : {"b.txt", "A.TXT", "c.md", ".hidden.txt", "readme"}) std::ofstream(root / name) << "x";
    const std::u16string folder = nuv::host::utf16_of(root.string());
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


// ---- The dialogs with their controls, worked as a person would

namespace fs = std::filesystem;
namespace controls = nuv::host::controls;
using nuv::host::utf16_of;

// A folder of a.txt, b.txt, notes.md and sub/c.txt, removed after the test.
class DialogWithControls : public DialogWindow {
protected:
    void SetUp() override {
        DialogWindow::SetUp();
        root_ = fs::path(nuv::test::temp_path("dialogs_work"));
        fs::create_directories(root_ / "sub");
        for (const char* name : {"a.txt", "b.txt", "notes.md", "sub/c.txt"}) std::ofstream(root_ / name) << "x";
        folder_ = utf16_of(root_.string());
    }
    void TearDown() override {
        fs::remove_all(root_);
        DialogWindow::TearDown();
    }
    fs::path root_;
    std::u16string folder_;
};

// The dialog's control of that id.
HWND item(uint32_t id) {
    const HWND dialog = GetActiveWindow();
    for (HWND h = GetWindow(dialog, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT))
        if (GetWindowLong(h, GWLP_ID) == static_cast<intptr_t>(id)) return h;
    return 0;
}

std::vector<std::u16string> items(HWND list) {
    std::vector<std::u16string> out;
    const LRESULT count = SendMessage(list, controls::LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::u16string text(static_cast<size_t>(SendMessage(list, controls::LB_GETTEXTLEN, i, 0)) + 1, u'\0');
        const LRESULT length = SendMessage(list, controls::LB_GETTEXT, i, reinterpret_cast<intptr_t>(text.data()));
        text.resize(static_cast<size_t>(length));
        out.push_back(text);
    }
    return out;
}

void type(std::u16string_view text) {
    for (const char16_t c : text) post_input(MSG{GetFocus(), WM_CHAR, c, 1});
}

// A click on the list's item, with Ctrl held when asked.
void click_item(HWND list, int32_t index, bool ctrl = false) {
    RECT r;
    SendMessage(list, controls::LB_GETITEMRECT, index, reinterpret_cast<intptr_t>(&r));
    POINT p{r.left + 5, r.top + r.height() / 2};
    ClientToScreen(list, &p);
    if (ctrl) post_input(MSG{GetFocus(), WM_KEYDOWN, VK_CONTROL, 1});
    const intptr_t held = ctrl ? intptr_t{MK_CONTROL} : 0;
    mouse_input(WM_LBUTTONDOWN, p, MK_LBUTTON | held);
    mouse_input(WM_LBUTTONUP, p, held);
    if (ctrl) post_input(MSG{GetFocus(), WM_KEYUP, VK_CONTROL, static_cast<intptr_t>(1u | kKeyReleased)});
}

enum : uint32_t { kFolderField = 10, kList = 11, kNameField = 12, kTypeList = 13 };

TEST_F(DialogWithControls, AFileDialogListsNavigatesAndAnswers) {
    windows::FileRequest request;
    request.folder = folder_;
    request.name = u"start.txt";
    request.filters = {{u"Text files", u"*.txt"}, {u"Notes", u"*.md"}};
    request.multi = true;
    std::vector<std::u16string> listed, filtered, inside;
    std::u16string name_after_click, name_after_ctrl_click, start_name;
    windows::FileChoice choice;
    g_steps = {
        [&] {
            listed = items(item(kList));
            start_name = GetWindowText(item(kNameField));
        },
        // Another filter picked: the list follows.
        [&] {
            SendMessage(item(kTypeList), controls::CB_SETCURSEL, 1, 0);
            SendMessage(GetActiveWindow(), WM_COMMAND, (controls::CBN_SELCHANGE << 16) | kTypeList, item(kTypeList));
            filtered = items(item(kList));
            SendMessage(item(kTypeList), controls::CB_SETCURSEL, 0, 0);
            SendMessage(GetActiveWindow(), WM_COMMAND, (controls::CBN_SELCHANGE << 16) | kTypeList, item(kTypeList));
        },
        [&] { click_item(item(kList), 2); },
        [&] { name_after_click = GetWindowText(item(kNameField)); },
        [&] { click_item(item(kList), 3, true); },
        [&] { name_after_ctrl_click = GetWindowText(item(kNameField)); },
        // Into sub by its name and Enter, then a file chosen there.
        [&] {
            SetFocus(item(kNameField));
            SendMessage(item(kNameField), controls::EM_SETSEL, 0, -1);
            type(u"sub");
            press(VK_RETURN);
        },
        [&] {
            inside = items(item(kList));
            type(u"c.txt");
            press(VK_RETURN);
        },
    };
    g_step = 0;
    const uintptr_t timer = SetTimer(0, 0, 10, run_step);
    const Outcome outcome = windows::run_file(request, &choice);
    KillTimer(0, timer);
    ASSERT_EQ(outcome, Outcome::Ok);
    EXPECT_EQ(listed, (std::vector<std::u16string>{u"../", u"sub/", u"a.txt", u"b.txt"}));
    EXPECT_EQ(start_name, u"start.txt");
    EXPECT_EQ(filtered, (std::vector<std::u16string>{u"../", u"sub/", u"notes.md"}));
    EXPECT_EQ(name_after_click, u"a.txt");
    EXPECT_EQ(name_after_ctrl_click, u"\"a.txt\" \"b.txt\"");
    EXPECT_EQ(inside, (std::vector<std::u16string>{u"../", u"c.txt"}));
    EXPECT_EQ(choice.folder, folder_ + u"/sub");
    EXPECT_EQ(choice.names, std::vector<std::u16string>{u"c.txt"});
}

// Enter and Escape close a dropped list first; Enter on the Cancel button cancels.
TEST_F(DialogWithControls, KeysGoToADroppedListAndTheFocusedCancel) {
    struct Row {
        std::vector<std::function<void()>> steps;
        Outcome want;
    };
    bool open_after_escape = false, dropped_after_escape = true;
    const Row rows[] = {
        {{[] {
              SetFocus(item(kTypeList));
              SendMessage(item(kTypeList), controls::CB_SHOWDROPDOWN, 1, 0);
              press(VK_ESCAPE);
          },
          [&] {
              open_after_escape = IsWindow(GetActiveWindow()) && item(kTypeList) != 0;
              dropped_after_escape = SendMessage(item(kTypeList), controls::CB_GETDROPPEDSTATE, 0, 0) != 0;
              press(VK_ESCAPE);
          }},
         Outcome::Cancel},
        {{[] {
              SetFocus(item(windows::kIdCancel));
              type(u"");
              press(VK_RETURN);
          }},
         Outcome::Cancel},
    };
    for (const Row& row : rows) {
        windows::FileRequest request;
        request.folder = folder_;
        request.name = u"a.txt";  // Enter anywhere else would answer it
        windows::FileChoice choice;
        g_steps = row.steps;
        g_step = 0;
        const uintptr_t timer = SetTimer(0, 0, 10, run_step);
        EXPECT_EQ(windows::run_file(request, &choice), row.want);
        KillTimer(0, timer);
        EXPECT_EQ(g_step, row.steps.size());
    }
    EXPECT_TRUE(open_after_escape);
    EXPECT_FALSE(dropped_after_escape);
}

// With a display and no hook the call opens the dialog, and the person's choice reaches the
// caller's buffer: the folder, then the names.
TEST_F(DialogWithControls, GetOpenFileNameWithAPersonFillsTheBuffer) {
    const char* driver = std::getenv("SDL_VIDEODRIVER");
    const std::optional<std::string> saved_driver = driver ? std::optional<std::string>(driver) : std::nullopt;
    unsetenv("SDL_VIDEODRIVER");
    unsetenv("NUV_TEST_ANSWERS");
    unsetenv("NUV_TEST_INPUT");
    setenv("DISPLAY", ":97", 1);  // no server there: video falls back to drawing off screen
    std::u16string buffer(256, u'#');
    const std::u16string start = folder_ + u"/x.txt";
    std::copy(start.begin(), start.end(), buffer.begin());
    buffer[start.size()] = u'\0';
    nuv::host::dialogs::OPENFILENAME ofn;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = 256;
    ofn.Flags = nuv::host::dialogs::OFN_ALLOWMULTISELECT;
    g_steps = {[] {
        SendMessage(item(kNameField), controls::EM_SETSEL, 0, -1);
        type(u"\"b.txt\" \"a.txt\"");
        press(VK_RETURN);
    }};
    g_step = 0;
    const uintptr_t timer = SetTimer(0, 0, 10, run_step);
    const bool chosen = nuv::host::dialogs::GetOpenFileName(&ofn);
    KillTimer(0, timer);
    if (saved_driver) setenv("SDL_VIDEODRIVER", saved_driver->c_str(), 1);
    unsetenv("DISPLAY");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(buffer.substr(0, folder_.size() + 14), folder_ + std::u16string(u"\0b.txt\0a.txt\0\0", 14));
    EXPECT_EQ(nuv::host::dialogs::dialog_counters().windows, 1);
}

TEST_F(DialogWithControls, SeveralNamesAnswerOnlyAMultipleChoice) {
    for (const bool multi : {true, false}) {
        windows::FileRequest request;
        request.folder = folder_;
        request.multi = multi;
        windows::FileChoice choice;
        g_steps = {[] { type(u"\"a.txt\" \"b.txt\""); }, [] { press(VK_RETURN); }, [] { press(VK_ESCAPE); }};
        g_step = 0;
        const uintptr_t timer = SetTimer(0, 0, 10, run_step);
        const Outcome outcome = windows::run_file(request, &choice);
        KillTimer(0, timer);
        EXPECT_EQ(outcome, multi ? Outcome::Ok : Outcome::Cancel);
        if (multi) {
            EXPECT_EQ(choice.folder, folder_);
            EXPECT_EQ(choice.names, (std::vector<std::u16string>{u"a.txt", u"b.txt"}));
        }
    }
}

TEST_F(DialogWithControls, AFolderPickerGoesInAndAnswersItsField) {
    std::vector<std::u16string> listed, inside;
    std::u16string field_after_click;
    std::u16string answer;
    g_steps = {
        [&] { listed = items(item(kList)); },
        [&] { click_item(item(kList), 1); },
        [&] {
            field_after_click = GetWindowText(item(kFolderField));
            press(VK_RETURN);  // the list has the focus: into sub
        },
        [&] {
            inside = items(item(kList));
            SendMessage(GetActiveWindow(), WM_COMMAND, windows::kIdOk, 0);
        },
    };
    g_step = 0;
    const uintptr_t timer = SetTimer(0, 0, 10, run_step);
    const Outcome outcome = windows::run_folder(0, u"Pick one", folder_, &answer);
    KillTimer(0, timer);
    ASSERT_EQ(outcome, Outcome::Ok);
    EXPECT_EQ(listed, (std::vector<std::u16string>{u"../", u"sub/"}));
    EXPECT_EQ(field_after_click, folder_ + u"/sub");
    EXPECT_EQ(inside, std::vector<std::u16string>{u"../"});
    EXPECT_EQ(answer, folder_ + u"/sub");
}

TEST_F(DialogWindow, TheFontChooserOffersFixedPitchAndTakesASize) {
    enum : uint32_t { kFamilies = 10, kSize = 11, kSizes = 12, kBold = 13, kSample = 15 };
    windows::FontChoice start{u"DejaVu Sans Mono", 100, false, true};
    windows::FontChoice choice;
    std::vector<std::u16string> families;
    std::u16string start_size;
    LRESULT start_pick = -2;
    int accepted_bad_size = -1;
    nuv::host::gfx::LOGFONT sample;
    g_steps = {
        [&] {
            families = items(item(kFamilies));
            start_size = GetWindowText(item(kSize));
            start_pick = SendMessage(item(kSizes), controls::LB_GETCURSEL, 0, 0);
            SetWindowText(item(kSize), u"0");
            press(VK_RETURN);  // no such size: the chooser stays
        },
        [&] {
            accepted_bad_size = IsWindow(GetActiveWindow()) && GetFocus() == item(kSize);
            SetWindowText(item(kSize), u"12");
            SendMessage(item(kBold), controls::BM_CLICK, 0, 0);
            nuv::host::gfx::GetObject(static_cast<uint32_t>(SendMessage(item(kSample), controls::WM_GETFONT, 0, 0)),
                                      &sample);
            press(VK_RETURN);
        },
    };
    g_step = 0;
    const uintptr_t timer = SetTimer(0, 0, 10, run_step);
    const Outcome outcome = windows::run_font(0, start, true, &choice);
    KillTimer(0, timer);
    ASSERT_EQ(outcome, Outcome::Ok);
    EXPECT_NE(std::find(families.begin(), families.end(), u"DejaVu Sans Mono"), families.end());
    EXPECT_EQ(std::find(families.begin(), families.end(), u"DejaVu Sans"), families.end());
    EXPECT_EQ(start_size, u"10");
    EXPECT_EQ(start_pick, 2);  // 8, 9, 10: the start size is picked in the list
    EXPECT_EQ(accepted_bad_size, 1);
    EXPECT_EQ(choice.family, u"DejaVu Sans Mono");
    EXPECT_EQ(choice.tenths, 120);
    EXPECT_TRUE(choice.bold);
    EXPECT_TRUE(choice.italic);
    // The sample shows the font as chosen so far.
    EXPECT_EQ(sample.lfFaceName, u"DejaVu Sans Mono");
    EXPECT_EQ(sample.lfHeight, -16);
    EXPECT_EQ(sample.lfWeight, 700);
    EXPECT_EQ(sample.lfItalic, 1);
}

}  // namespace
}  // namespace nuv::test::win
