// Input from SDL in the window model's terms: key and mouse messages, the characters that
// TranslateMessage makes of key-downs, the key-state table GetKeyState reads, and the US
// layout's key and character maps. Translation only: which window a message goes to (capture,
// focus, the window under the pointer) is the queue's business.
#pragma once
#include <SDL2/SDL_events.h>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "host/win/window.h"

namespace nuv::host::win {

enum VirtualKey : uint8_t {
    VK_LBUTTON = 0x01,
    VK_RBUTTON = 0x02,
    VK_MBUTTON = 0x04,
    VK_XBUTTON1 = 0x05,
    VK_XBUTTON2 = 0x06,
    VK_BACK = 0x08,
    VK_TAB = 0x09,
    VK_RETURN = 0x0D,
    VK_SHIFT = 0x10,
    VK_CONTROL = 0x11,
    VK_MENU = 0x12,
    VK_PAUSE = 0x13,
    VK_CAPITAL = 0x14,
    VK_ESCAPE = 0x1B,
    VK_SPACE = 0x20,
    VK_PRIOR = 0x21,
    VK_NEXT = 0x22,
    VK_END = 0x23,
    VK_HOME = 0x24,
    VK_LEFT = 0x25,
    VK_UP = 0x26,
    VK_RIGHT = 0x27,
    VK_DOWN = 0x28,
    VK_SNAPSHOT = 0x2C,
    VK_INSERT = 0x2D,
    VK_DELETE = 0x2E,
    VK_LWIN = 0x5B,
    VK_RWIN = 0x5C,
    VK_APPS = 0x5D,
    VK_NUMPAD0 = 0x60,
    VK_MULTIPLY = 0x6A,
    VK_ADD = 0x6B,
    VK_SUBTRACT = 0x6D,
    VK_DECIMAL = 0x6E,
    VK_DIVIDE = 0x6F,
    VK_F1 = 0x70,
    VK_NUMLOCK = 0x90,
    VK_SCROLL = 0x91,
    VK_LSHIFT = 0xA0,
    VK_RSHIFT = 0xA1,
    VK_LCONTROL = 0xA2,
    VK_RCONTROL = 0xA3,
    VK_LMENU = 0xA4,
    VK_RMENU = 0xA5,
    VK_OEM_1 = 0xBA,
    VK_OEM_PLUS = 0xBB,
    VK_OEM_COMMA = 0xBC,
    VK_OEM_MINUS = 0xBD,
    VK_OEM_PERIOD = 0xBE,
    VK_OEM_2 = 0xBF,
    VK_OEM_3 = 0xC0,
    VK_OEM_4 = 0xDB,
    VK_OEM_5 = 0xDC,
    VK_OEM_6 = 0xDD,
    VK_OEM_7 = 0xDE,
    VK_OEM_102 = 0xE2,
};

// The longest pause between the presses of a double click, in milliseconds.
inline constexpr uint32_t kDoubleClickTime = 500;

// One input message as the queue takes it, from the SDL window `window` (0: none named). A
// mouse message's `point` is the pointer in that window's coordinates (its client area:
// decorations count as none), packed into lParam too: the queue repacks lParam for the window it
// picks (screen coordinates for the wheel). `text` ties a key-down to the text SDL reported
// after it (0: none); `time` is SDL's, and TranslateMessage is given it back unchanged.
struct InputMessage {
    uint32_t message = 0;
    intptr_t wParam = 0;
    intptr_t lParam = 0;
    POINT point{};
    uint32_t time = 0;
    uint32_t window = 0;
    uint32_t text = 0;
};

// A button press, as double clicks are told from it.
struct Press {
    uint32_t message = 0;  // the button's DOWN message; 0 for none
    uint32_t window = 0;
    POINT point{};
    uint32_t time = 0;
};

// What the press `now` (a DOWN message, on the window the queue picked) becomes: its DBLCLK
// message when the window's class has CS_DBLCLKS and it repeats *last (same button and window,
// within kDoubleClickTime and the double-click rectangle), else itself. *last becomes the press
// the next one is compared with (none after a double click, so a third press starts anew).
uint32_t press_message(const Press& now, bool class_dblclks, Press* last);

// The translation state of one input queue: the keys and buttons as the events left them, the
// text held with key-downs, and the key-state table as the messages leave the queue.
class Input {
public:
    // Appends the messages an SDL event makes (none for events that are not input).
    void translate_event(const SDL_Event& event, std::vector<InputMessage>* out);
    // Called as each input message leaves the queue: the key-state table follows it, and a
    // key-down's text becomes the one translate_message may use; the text of any key-down
    // taken before it and never translated is dropped.
    void taken(const InputMessage& message);
    // TranslateMessage: for the key-down taken last, appends its WM_CHAR (WM_SYSCHAR after
    // WM_SYSKEYDOWN) messages: its control character, else its text, one per UTF-16 unit.
    // True for any key message.
    bool translate_message(const InputMessage& key, std::vector<InputMessage>* chars);
    // Bit 15 while the key is down, bit 0 toggled by each press.
    int16_t key_state(int vk) const;

private:
    struct Held {
        uint32_t serial;
        std::u16string units;
    };
    void key_event(const SDL_KeyboardEvent& event, std::vector<InputMessage>* out);
    void text_event(const SDL_TextInputEvent& event, std::vector<InputMessage>* out);
    static void set_down(uint8_t* table, int vk, bool down);
    // Sets a key and, for a left or right Shift, Ctrl or Alt (`side`), the key both stand for.
    static void set_key(uint8_t* table, uint8_t vk, uint8_t side, bool down);
    bool async_down(int vk) const { return async_[vk] & 0x80; }
    uint32_t mouse_keys() const;

    uint8_t async_[256] = {};  // as the events left the keys
    uint8_t state_[256] = {};  // as the messages left the queue
    bool altgr_ = false;       // the right Alt key is AltGr
    uint32_t buttons_ = 0;     // MK_ flags of the buttons held
    bool composing_ = false;
    uint32_t serial_ = 0;
    uint32_t last_key_down_ = 0;  // the serial of a key-down that was the last event, else 0
    std::deque<Held> pending_;    // texts of key-downs not yet taken, oldest first
    InputMessage taken_key_{};    // the key-down taken last
    Held taken_text_{};           // its text, while not yet translated
};

// The process's input queue state.
Input& input();
// The key-state table: bit 15 while the key is down, bit 0 toggled by each press.
int16_t GetKeyState(int vk);

enum MapType : uint32_t {
    MAPVK_VK_TO_CHAR = 2,
    MAPVK_VSC_TO_VK_EX = 3,
};
// MAPVK_VK_TO_CHAR: the key's unshifted character (letters in capitals); MAPVK_VSC_TO_VK_EX:
// the key of a scan code (0xE0 in the high byte for extended ones), left and right told apart.
// 0 when there is none.
uint32_t MapVirtualKey(uint32_t code, uint32_t type);
// The key that types `c` on the US layout in the low byte, with the shift state in the high
// one (1 Shift, 2 Ctrl); -1 when no key does.
int16_t VkKeyScan(char16_t c);

// An SDL scan code's key on the US layout, for the test kit: its virtual key, the keycode SDL
// would give and the character it types with and without Shift (0 when none).
struct KeyFacts {
    SDL_Scancode scancode;
    uint8_t vk;
    SDL_Keycode keycode;
    char16_t plain, shifted;
};
// The key whose SDL name is `name` (case ignored); false when no key has it.
bool key_by_name(std::string_view name, KeyFacts* facts);

}  // namespace nuv::host::win
