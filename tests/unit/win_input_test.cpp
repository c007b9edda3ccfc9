// Input translation: SDL events (made by the replay script's steps) to key, character and mouse
// messages, taken and translated as a message loop takes them; the key-state table, double
// clicks and the US layout's maps.
#include <gtest/gtest.h>

#include <cstring>

#include "host/win/keys.h"
#include "host/win/replay.h"

namespace nuv::host::win {
namespace {

std::vector<SDL_Event> events_of(const char* script) {
    Script parsed = parse_script(script, "test");
    EXPECT_EQ(parsed.error, "") << script;
    std::vector<SDL_Event> events;
    uint32_t buttons = 0;
    for (const Step& step : parsed.steps) step_events(step, 7, 1000, &buttons, &events);
    return events;
}

// Translates the events, then takes the messages as a message loop does: each leaves the queue
// and, when `translate`, goes through translate_message, whose characters are taken next.
std::vector<InputMessage> run(Input& in, const std::vector<SDL_Event>& events, bool translate = true) {
    std::vector<InputMessage> queued, got;
    for (const SDL_Event& e : events) in.translate_event(e, &queued);
    for (const InputMessage& m : queued) {
        in.taken(m);
        got.push_back(m);
        std::vector<InputMessage> chars;
        if (translate) in.translate_message(m, &chars);
        for (const InputMessage& c : chars) {
            in.taken(c);
            got.push_back(c);
        }
    }
    return got;
}

bool is_key(uint32_t message) { return message >= WM_KEYDOWN && message <= WM_SYSKEYUP && message != WM_CHAR && message != WM_SYSCHAR; }

// A message as expected: for key messages also the scan code with 0x100 for the extended bit.
struct Want {
    uint32_t message;
    intptr_t wParam;
    int scan = -1;
};

std::string show(const std::vector<InputMessage>& got) {
    std::string out;
    char item[64];
    for (const InputMessage& m : got) {
        std::snprintf(item, sizeof item, " %#x/%#lx/%#lx", m.message, static_cast<long>(m.wParam), static_cast<long>(m.lParam));
        out += item;
    }
    return out;
}

TEST(WinInput, KeysGiveKeyAndCharacterMessages) {
    struct Row {
        const char* script;
        std::vector<Want> want;
    };
    const Row rows[] = {
        {"key a", {{WM_KEYDOWN, 0x41, 0x1E}, {WM_CHAR, 'a'}, {WM_KEYUP, 0x41, 0x1E}}},
        {"key shift+a", {{WM_KEYDOWN, VK_SHIFT, 0x2A}, {WM_KEYDOWN, 'A'}, {WM_CHAR, 'A'}, {WM_KEYUP, 'A'}, {WM_KEYUP, VK_SHIFT}}},
        {"key ctrl+c", {{WM_KEYDOWN, VK_CONTROL, 0x1D}, {WM_KEYDOWN, 'C', 0x2E}, {WM_CHAR, 3}, {WM_KEYUP, 'C'}, {WM_KEYUP, VK_CONTROL}}},
        {"key ctrl+Backspace", {{WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, VK_BACK, 0x0E}, {WM_CHAR, 127}, {WM_KEYUP, VK_BACK}, {WM_KEYUP, VK_CONTROL}}},
        {"key ctrl+Return", {{WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, VK_RETURN, 0x1C}, {WM_CHAR, 10}, {WM_KEYUP, VK_RETURN}, {WM_KEYUP, VK_CONTROL}}},
        {"key Backspace", {{WM_KEYDOWN, VK_BACK}, {WM_CHAR, 8}, {WM_KEYUP, VK_BACK}}},
        {"key Tab", {{WM_KEYDOWN, VK_TAB, 0x0F}, {WM_CHAR, 9}, {WM_KEYUP, VK_TAB}}},
        {"key Return", {{WM_KEYDOWN, VK_RETURN}, {WM_CHAR, 13}, {WM_KEYUP, VK_RETURN}}},
        {"key Escape", {{WM_KEYDOWN, VK_ESCAPE, 0x01}, {WM_CHAR, 27}, {WM_KEYUP, VK_ESCAPE}}},
        {"key Left", {{WM_KEYDOWN, VK_LEFT, 0x14B}, {WM_KEYUP, VK_LEFT, 0x14B}}},
        {"key Delete", {{WM_KEYDOWN, VK_DELETE, 0x153}, {WM_KEYUP, VK_DELETE, 0x153}}},
        {"key Right Ctrl", {{WM_KEYDOWN, VK_CONTROL, 0x11D}, {WM_KEYUP, VK_CONTROL, 0x11D}}},
        {"key Right Shift", {{WM_KEYDOWN, VK_SHIFT, 0x36}, {WM_KEYUP, VK_SHIFT, 0x36}}},
        {"key Keypad Enter", {{WM_KEYDOWN, VK_RETURN, 0x11C}, {WM_CHAR, 13}, {WM_KEYUP, VK_RETURN}}},
        {"key Keypad /", {{WM_KEYDOWN, VK_DIVIDE, 0x135}, {WM_CHAR, '/'}, {WM_KEYUP, VK_DIVIDE}}},
        {"key alt+f", {{WM_SYSKEYDOWN, VK_MENU, 0x38}, {WM_SYSKEYDOWN, 'F', 0x21}, {WM_SYSCHAR, 'f'}, {WM_SYSKEYUP, 'F'}, {WM_SYSKEYUP, VK_MENU}}},
        {"text \xC3\xA9", {{WM_CHAR, 0xE9}}},
        {"text \xF0\x9F\x98\x80", {{WM_CHAR, 0xD83D}, {WM_CHAR, 0xDE00}}},
        {"text  a", {{WM_CHAR, ' '}, {WM_CHAR, 'a'}}},
    };
    for (const Row& row : rows) {
        Input in;
        const std::vector<InputMessage> got = run(in, events_of(row.script));
        bool same = got.size() == row.want.size();
        for (size_t i = 0; same && i < got.size(); ++i) {
            const auto lparam = static_cast<uint32_t>(got[i].lParam);
            same = got[i].message == row.want[i].message && got[i].wParam == row.want[i].wParam &&
                   (row.want[i].scan < 0 || static_cast<int>((lparam >> 16) & 0x1FF) == row.want[i].scan);
            // Key-downs are first presses with a repeat count of 1; key-ups carry bits 30 and 31.
            if (is_key(got[i].message)) {
                const bool up = got[i].message == WM_KEYUP || got[i].message == WM_SYSKEYUP;
                same = same && (lparam & 0xFFFF) == 1 && ((lparam & kKeyWasDown) != 0) == up &&
                       ((lparam & kKeyReleased) != 0) == up;
            }
        }
        EXPECT_TRUE(same) << row.script << " gave" << show(got);
    }
}

SDL_Event key_event(bool down, SDL_Scancode sc, SDL_Keycode sym) {
    SDL_Event e{};
    e.key.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    e.key.keysym.scancode = sc;
    e.key.keysym.sym = sym;
    return e;
}

// The right Alt key is Alt; as AltGr (SDL's mode key) it is the right Alt key too, but the
// characters typed under it are plain characters, as they are under Ctrl+Alt.
TEST(WinInput, RightAltAndAltGr) {
    struct Row {
        SDL_Scancode sc;
        SDL_Keycode sym;
        const char* text;
        std::vector<Want> want;
    };
    const Row rows[] = {
        {SDL_SCANCODE_RALT, SDLK_RALT, "f",
         {{WM_SYSKEYDOWN, VK_MENU, 0x138}, {WM_SYSKEYDOWN, 'F'}, {WM_SYSCHAR, 'f'}, {WM_SYSKEYUP, 'F'}, {WM_SYSKEYUP, VK_MENU, 0x138}}},
        {SDL_SCANCODE_RALT, SDLK_MODE, "@",
         {{WM_KEYDOWN, VK_MENU, 0x138}, {WM_KEYDOWN, 'F'}, {WM_CHAR, '@'}, {WM_KEYUP, 'F'}, {WM_KEYUP, VK_MENU, 0x138}}},
        {SDL_SCANCODE_MODE, SDLK_MODE, "@",
         {{WM_KEYDOWN, VK_MENU, 0x138}, {WM_KEYDOWN, 'F'}, {WM_CHAR, '@'}, {WM_KEYUP, 'F'}, {WM_KEYUP, VK_MENU, 0x138}}},
    };
    for (const Row& row : rows) {
        Input in;
        SDL_Event text{};
        text.text.type = SDL_TEXTINPUT;
        std::strcpy(text.text.text, row.text);
        const std::vector<InputMessage> got =
            run(in, {key_event(true, row.sc, row.sym), key_event(true, SDL_SCANCODE_F, 'f'), text,
                     key_event(false, SDL_SCANCODE_F, 'f'), key_event(false, row.sc, row.sym)});
        bool same = got.size() == row.want.size();
        for (size_t i = 0; same && i < got.size(); ++i)
            same = got[i].message == row.want[i].message && got[i].wParam == row.want[i].wParam &&
                   (row.want[i].scan < 0 || static_cast<int>((got[i].lParam >> 16) & 0x1FF) == row.want[i].scan);
        EXPECT_TRUE(same) << row.sc << "/" << row.sym << " gave" << show(got);
        EXPECT_FALSE(in.key_state(VK_MENU) & 0x8000);
    }
}

TEST(WinInput, RepeatedKeyDownCarriesBit30) {
    Input in;
    std::vector<SDL_Event> events = events_of("key a");  // down, text, up
    SDL_Event repeat = events[0];
    repeat.key.repeat = 1;
    events.insert(events.begin() + 2, {repeat, events[1]});
    const std::vector<InputMessage> got = run(in, events);
    ASSERT_EQ(got.size(), 5u) << show(got);
    EXPECT_EQ(got[3].wParam, 'a');
    EXPECT_EQ(got[2].message, WM_KEYDOWN);
    EXPECT_EQ(static_cast<uint32_t>(got[2].lParam) & (kKeyWasDown | kKeyReleased), kKeyWasDown);
}

TEST(WinInput, UntranslatedKeyDownDropsItsText) {
    Input in;
    std::vector<InputMessage> got = run(in, events_of("key a"), false);
    got = run(in, events_of("key b"));
    ASSERT_EQ(got.size(), 3u) << show(got);
    EXPECT_EQ(got[1].message, WM_CHAR);
    EXPECT_EQ(got[1].wParam, 'b');
    // The first key-down, translated late, finds its text gone.
    std::vector<InputMessage> chars;
    InputMessage late{WM_KEYDOWN, 'A', 0x1E0001, {}, 1000, 7, 0};
    EXPECT_TRUE(in.translate_message(late, &chars));
    EXPECT_TRUE(chars.empty());
}

TEST(WinInput, InputMethodCompositionAndCommit) {
    Input in;
    SDL_Event editing{};
    editing.edit.type = SDL_TEXTEDITING;
    std::strcpy(editing.edit.text, "ka");
    SDL_Event cleared = editing;
    cleared.edit.text[0] = 0;
    std::vector<SDL_Event> events = {editing, editing};
    std::vector<SDL_Event> commit = events_of("text \xE3\x81\x8B");
    events.insert(events.end(), commit.begin(), commit.end());
    events.push_back(editing);
    events.push_back(cleared);
    const std::vector<InputMessage> got = run(in, events);
    ASSERT_EQ(got.size(), 5u) << show(got);
    EXPECT_EQ(got[0].message, WM_IME_STARTCOMPOSITION);
    EXPECT_EQ(got[1].message, WM_CHAR);
    EXPECT_EQ(got[1].wParam, 0x304B);
    EXPECT_EQ(got[2].message, WM_IME_ENDCOMPOSITION);
    EXPECT_EQ(got[3].message, WM_IME_STARTCOMPOSITION);
    EXPECT_EQ(got[4].message, WM_IME_ENDCOMPOSITION);
}

TEST(WinInput, KeyStateFollowsTheMessagesTaken) {
    Input& in = input();
    std::vector<InputMessage> queued;
    const std::vector<SDL_Event> events = events_of("key Right Shift");
    in.translate_event(events[0], &queued);
    ASSERT_EQ(queued.size(), 1u);
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);  // not before the message leaves the queue
    in.taken(queued[0]);
    EXPECT_TRUE(GetKeyState(VK_SHIFT) & 0x8000);
    EXPECT_TRUE(GetKeyState(VK_RSHIFT) & 0x8000);
    EXPECT_FALSE(GetKeyState(VK_LSHIFT) & 0x8000);
    in.translate_event(events[1], &queued);
    in.taken(queued[1]);
    EXPECT_FALSE(GetKeyState(VK_SHIFT) & 0x8000);
    EXPECT_FALSE(GetKeyState(VK_RSHIFT) & 0x8000);
}

TEST(WinInput, MouseMessagesCarryButtonsAndKeys) {
    Input in;
    std::vector<SDL_Event> events = events_of("down left 3 4\nmove -5 6\nup left 7 8\nclick right 1 2\nwheel 1 5 6\nwheel -2 5 6");
    const std::vector<SDL_Event> shift = events_of("key Left Shift");
    events.insert(events.begin() + 1, shift[0]);
    const std::vector<InputMessage> got = run(in, events);
    const Want want[] = {{WM_LBUTTONDOWN, MK_LBUTTON},
                         {WM_KEYDOWN, VK_SHIFT},
                         {WM_MOUSEMOVE, MK_LBUTTON | MK_SHIFT},
                         {WM_LBUTTONUP, MK_SHIFT},
                         {WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT},
                         {WM_RBUTTONUP, MK_SHIFT},
                         {WM_MOUSEWHEEL, MK_SHIFT | 120 << 16},
                         {WM_MOUSEWHEEL, MK_SHIFT | static_cast<uint16_t>(-240) << 16}};
    ASSERT_EQ(got.size(), std::size(want)) << show(got);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].message, want[i].message) << i;
        EXPECT_EQ(got[i].wParam, want[i].wParam) << i;
    }
    EXPECT_EQ(static_cast<int16_t>(got[2].lParam), -5);  // packed as the signed words it unpacks to
    EXPECT_EQ(static_cast<int16_t>(got[2].lParam >> 16), 6);
    EXPECT_EQ(got[6].point.x, 5);
    EXPECT_EQ(got[6].point.y, 6);
    EXPECT_EQ(got[6].window, 7u);
    EXPECT_FALSE(in.key_state(VK_LBUTTON) & 0x8000);
    in.taken({WM_LBUTTONDOWN, MK_LBUTTON});
    EXPECT_TRUE(in.key_state(VK_LBUTTON) & 0x8000);
}

// The DOWN messages of a script's presses, each as press_message makes it for a class with or
// without double clicks.
std::vector<uint32_t> presses(const char* script, bool dblclks, uint32_t pause = 0) {
    Input in;
    std::vector<InputMessage> queued;
    for (const SDL_Event& e : events_of(script)) in.translate_event(e, &queued);
    std::vector<uint32_t> got;
    Press last;
    uint32_t time = 0;
    for (const InputMessage& m : queued) {
        if (m.message == WM_LBUTTONUP) {
            got.push_back(m.message);
            continue;
        }
        got.push_back(press_message({m.message, 1, m.point, time}, dblclks, &last));
        time += pause;
    }
    return got;
}

TEST(WinInput, DoubleClicks) {
    const uint32_t D = WM_LBUTTONDOWN, U = WM_LBUTTONUP, DBL = WM_LBUTTONDBLCLK;
    EXPECT_EQ(presses("dblclick 10 10", true), (std::vector{D, U, DBL, U}));
    EXPECT_EQ(presses("dblclick 10 10", false), (std::vector{D, U, D, U}));
    EXPECT_EQ(presses("dblclick 10 10\nclick left 10 10", true), (std::vector{D, U, DBL, U, D, U}));
    EXPECT_EQ(presses("click left 10 10\nclick left 12 8", true), (std::vector{D, U, DBL, U}));
    EXPECT_EQ(presses("click left 10 10\nclick left 13 10", true), (std::vector{D, U, D, U}));
    EXPECT_EQ(presses("dblclick 10 10", true, kDoubleClickTime), (std::vector{D, U, DBL, U}));
    EXPECT_EQ(presses("dblclick 10 10", true, kDoubleClickTime + 1), (std::vector{D, U, D, U}));
    Press last{WM_LBUTTONDOWN, 1, {10, 10}, 0};
    EXPECT_EQ(press_message({WM_LBUTTONDOWN, 2, {10, 10}, 10}, true, &last), WM_LBUTTONDOWN);  // another window
    EXPECT_EQ(press_message({WM_RBUTTONDOWN, 2, {10, 10}, 20}, true, &last), WM_RBUTTONDOWN);  // another button
}

TEST(WinInput, UsLayoutMaps) {
    struct Map {
        uint32_t code, type, want;
    };
    const Map maps[] = {
        {'A', MAPVK_VK_TO_CHAR, 'A'},         {VK_OEM_1, MAPVK_VK_TO_CHAR, ';'},
        {VK_NUMPAD0 + 3, MAPVK_VK_TO_CHAR, '3'}, {VK_LEFT, MAPVK_VK_TO_CHAR, 0},
        {0x2A, MAPVK_VSC_TO_VK_EX, VK_LSHIFT}, {0x36, MAPVK_VSC_TO_VK_EX, VK_RSHIFT},
        {0x1D, MAPVK_VSC_TO_VK_EX, VK_LCONTROL}, {0xE01D, MAPVK_VSC_TO_VK_EX, VK_RCONTROL},
        {0xE038, MAPVK_VSC_TO_VK_EX, VK_RMENU}, {0x1E, MAPVK_VSC_TO_VK_EX, 'A'},
        {0xE04B, MAPVK_VSC_TO_VK_EX, VK_LEFT}, {0x4B, MAPVK_VSC_TO_VK_EX, VK_NUMPAD0 + 4},
        {0x1E, 1, 0},
    };
    for (const Map& m : maps) EXPECT_EQ(MapVirtualKey(m.code, m.type), m.want) << std::hex << m.code << " mode " << m.type;
    struct Scan {
        char16_t c;
        int16_t want;
    };
    const Scan scans[] = {{'a', 0x41},   {'A', 0x141},   {'!', 0x131}, {' ', 0x20},   {'\r', 0x0D}, {'~', 0x1C0},
                          {'*', 0x138},  {3, 0x243},     {127, 0x208}, {10, 0x20D},   {0xE9, -1}};
    for (const Scan& s : scans) EXPECT_EQ(VkKeyScan(s.c), s.want) << static_cast<int>(s.c);
}

}  // namespace
}  // namespace nuv::host::win
