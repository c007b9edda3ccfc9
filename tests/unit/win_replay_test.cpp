// The test kit's input script: its steps, the report of a bad line, and the SDL events a step
// makes.
#include <gtest/gtest.h>

#include <cstring>

#include <cstdio>
#include <fstream>

#include "host/win/replay.h"
#include "tests/temp_support.h"

namespace nuv::host::win {
namespace {

TEST(WinReplay, StepsAreRead) {
    const Script script = parse_script(
        "key Left\nkey ctrl+shift+c\ntext \xC3\xA9 x\n\nmove -3 4\ndown right 1 2\nup left 3 4\nclick middle 5 6\n"
        "dblclick 7 8\nwheel -2 9 10\nresize 640 480\nclose\nwait 250\nsnapshot out dir/a.png\r\n",
        "s");
    ASSERT_EQ(script.error, "");
    ASSERT_EQ(script.steps.size(), 13u);
    const std::vector<Step>& s = script.steps;
    EXPECT_EQ(s[0].kind, StepKind::Key);
    EXPECT_EQ(s[0].key.scancode, SDL_SCANCODE_LEFT);
    EXPECT_EQ(s[0].mods, 0);
    EXPECT_EQ(s[1].key.vk, 'C');
    EXPECT_EQ(s[1].mods, KMOD_LCTRL | KMOD_LSHIFT);
    EXPECT_EQ(s[2].text, "\xC3\xA9 x");
    EXPECT_EQ(s[3].kind, StepKind::Move);
    EXPECT_EQ(s[3].line, 5);  // blank lines count
    EXPECT_EQ(s[3].x, -3);
    EXPECT_EQ(s[4].button, SDL_BUTTON_RIGHT);
    EXPECT_EQ(s[5].kind, StepKind::Up);
    EXPECT_EQ(s[6].button, SDL_BUTTON_MIDDLE);
    EXPECT_EQ(s[7].kind, StepKind::DoubleClick);
    EXPECT_EQ(s[7].y, 8);
    EXPECT_EQ(s[8].amount, -2);
    EXPECT_EQ(s[8].x, 9);
    EXPECT_EQ(s[9].x, 640);
    EXPECT_EQ(s[9].y, 480);
    EXPECT_EQ(s[10].kind, StepKind::Close);
    EXPECT_EQ(s[11].amount, 250);
    EXPECT_EQ(s[12].text, "out dir/a.png");
}

TEST(WinReplay, BadLineEndsTheScript) {
    struct Row {
        const char* line;
        const char* error;
    };
    const Row rows[] = {
        {"jump 1 2", "s:2: unknown step \"jump\""},
        {"move 10", "s:2: \"move 10\" should read: move X Y"},
        {"move 1 2 3", "s:2: \"move 1 2 3\" should read: move X Y"},
        {"move 1 y", "s:2: \"move 1 y\" should read: move X Y"},
        {"click leftish 1 2", "s:2: \"click leftish 1 2\" should read: click BUTTON X Y"},
        {"wheel 0 1 1", "s:2: \"wheel 0 1 1\" should read: wheel N X Y"},
        {"resize 0 5", "s:2: \"resize 0 5\" should read: resize W H"},
        {"wait -1", "s:2: \"wait -1\" should read: wait MS"},
        {"close now", "s:2: \"close now\" should read: close"},
        {"text", "s:2: \"text\" should read: text TEXT"},
        {"snapshot", "s:2: \"snapshot\" should read: snapshot FILE.png"},
        {"key Foo", "s:2: no key is named \"Foo\""},
        {"key ctrl+", "s:2: no key is named \"ctrl+\""},
        {"Move 1 2", "s:2: unknown step \"Move\""},
    };
    for (const Row& row : rows) {
        const Script script = parse_script("move 1 2\n" + std::string(row.line) + "\nmove 3 4\n", "s");
        EXPECT_EQ(script.error, row.error);
        EXPECT_EQ(script.steps.size(), 1u) << row.line;
    }
}

TEST(WinReplay, LoadReportsOnStderr) {
    const std::string path = nuv::test::temp_path("replay_test.txt");
    std::ofstream(path) << "click left 10 10\nbogus\n";
    testing::internal::CaptureStderr();
    const Script script = load_script(path.c_str());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "nuv: NUV_TEST_INPUT " + path + ":2: unknown step \"bogus\"; the replay ends there\n");
    EXPECT_EQ(script.steps.size(), 1u);
    std::remove(path.c_str());
    testing::internal::CaptureStderr();
    EXPECT_TRUE(load_script(path.c_str()).steps.empty());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "nuv: NUV_TEST_INPUT " + path + ": cannot be read; the replay ends there\n");
}

std::vector<SDL_Event> events_of(const char* line, uint32_t* buttons) {
    const Script script = parse_script(line, "s");
    EXPECT_EQ(script.error, "");
    std::vector<SDL_Event> events;
    step_events(script.steps.at(0), 3, 42, buttons, &events);
    return events;
}

TEST(WinReplay, StepsMakeSdlEvents) {
    uint32_t buttons = 0;
    std::vector<SDL_Event> e = events_of("key ctrl+c", &buttons);
    ASSERT_EQ(e.size(), 4u);  // Ctrl down, C down, C up, Ctrl up: no text under Ctrl
    EXPECT_EQ(e[1].type, SDL_KEYDOWN);
    EXPECT_EQ(e[1].key.keysym.sym, 'c');
    EXPECT_EQ(e[1].key.keysym.mod, KMOD_LCTRL);
    EXPECT_EQ(e[1].key.timestamp, 42u);
    EXPECT_EQ(e[1].key.windowID, 3u);
    EXPECT_EQ(e[3].key.keysym.scancode, SDL_SCANCODE_LCTRL);
    EXPECT_EQ(e[3].key.keysym.mod, 0);

    e = events_of("down left 1 2", &buttons);
    EXPECT_EQ(buttons, SDL_BUTTON_LMASK);
    e = events_of("move 5 6", &buttons);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].motion.state, SDL_BUTTON_LMASK);
    e = events_of("up left 5 6", &buttons);
    EXPECT_EQ(buttons, 0u);

    e = events_of("dblclick 7 8", &buttons);
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(e[2].type, SDL_MOUSEBUTTONDOWN);
    EXPECT_EQ(e[2].button.clicks, 2);
    EXPECT_EQ(e[3].button.x, 7);

    e = events_of("resize 300 200", &buttons);
    ASSERT_EQ(e.size(), 1u);
    EXPECT_EQ(e[0].window.event, SDL_WINDOWEVENT_RESIZED);
    EXPECT_EQ(e[0].window.data1, 300);
    EXPECT_TRUE(events_of("wait 5", &buttons).empty());

    // Long text is cut between characters into events SDL's size holds.
    std::string long_text;
    for (int i = 0; i < 40; ++i) long_text += "\xC3\xA9";
    e = events_of(("text " + long_text).c_str(), &buttons);
    std::string joined;
    for (const SDL_Event& t : e) {
        EXPECT_EQ(t.type, SDL_TEXTINPUT);
        EXPECT_EQ(std::strlen(t.text.text) % 2, 0u);
        joined += t.text.text;
    }
    EXPECT_EQ(joined, long_text);
    EXPECT_EQ(e.size(), 3u);
}

}  // namespace
}  // namespace nuv::host::win
