#include "host/win/keys.h"

#include <array>
#include <cctype>
#include <cstdlib>

#include "host/utf.h"

namespace nuv::host::win {

namespace {

// One key: its SDL scan code and name, its virtual key, its PC scan code (0xE0 in the high
// byte for the extended keys) and what it types on the US layout without and with Shift.
struct KeyRow {
    SDL_Scancode sc;
    uint8_t vk;
    uint16_t scan;
    char16_t plain, shifted;
    const char* name;
};

constexpr KeyRow kKeys[] = {
    {SDL_SCANCODE_A, 'A', 0x1E, 'a', 'A', "A"},
    {SDL_SCANCODE_B, 'B', 0x30, 'b', 'B', "B"},
    {SDL_SCANCODE_C, 'C', 0x2E, 'c', 'C', "C"},
    {SDL_SCANCODE_D, 'D', 0x20, 'd', 'D', "D"},
    {SDL_SCANCODE_E, 'E', 0x12, 'e', 'E', "E"},
    {SDL_SCANCODE_F, 'F', 0x21, 'f', 'F', "F"},
    {SDL_SCANCODE_G, 'G', 0x22, 'g', 'G', "G"},
    {SDL_SCANCODE_H, 'H', 0x23, 'h', 'H', "H"},
    {SDL_SCANCODE_I, 'I', 0x17, 'i', 'I', "I"},
    {SDL_SCANCODE_J, 'J', 0x24, 'j', 'J', "J"},
    {SDL_SCANCODE_K, 'K', 0x25, 'k', 'K', "K"},
    {SDL_SCANCODE_L, 'L', 0x26, 'l', 'L', "L"},
    {SDL_SCANCODE_M, 'M', 0x32, 'm', 'M', "M"},
    {SDL_SCANCODE_N, 'N', 0x31, 'n', 'N', "N"},
    {SDL_SCANCODE_O, 'O', 0x18, 'o', 'O', "O"},
    {SDL_SCANCODE_P, 'P', 0x19, 'p', 'P', "P"},
    {SDL_SCANCODE_Q, 'Q', 0x10, 'q', 'Q', "Q"},
    {SDL_SCANCODE_R, 'R', 0x13, 'r', 'R', "R"},
    {SDL_SCANCODE_S, 'S', 0x1F, 's', 'S', "S"},
    {SDL_SCANCODE_T, 'T', 0x14, 't', 'T', "T"},
    {SDL_SCANCODE_U, 'U', 0x16, 'u', 'U', "U"},
    {SDL_SCANCODE_V, 'V', 0x2F, 'v', 'V', "V"},
    {SDL_SCANCODE_W, 'W', 0x11, 'w', 'W', "W"},
    {SDL_SCANCODE_X, 'X', 0x2D, 'x', 'X', "X"},
    {SDL_SCANCODE_Y, 'Y', 0x15, 'y', 'Y', "Y"},
    {SDL_SCANCODE_Z, 'Z', 0x2C, 'z', 'Z', "Z"},
    {SDL_SCANCODE_1, '1', 0x02, '1', '!', "1"},
    {SDL_SCANCODE_2, '2', 0x03, '2', '@', "2"},
    {SDL_SCANCODE_3, '3', 0x04, '3', '#', "3"},
    {SDL_SCANCODE_4, '4', 0x05, '4', '$', "4"},
    {SDL_SCANCODE_5, '5', 0x06, '5', '%', "5"},
    {SDL_SCANCODE_6, '6', 0x07, '6', '^', "6"},
    {SDL_SCANCODE_7, '7', 0x08, '7', '&', "7"},
    {SDL_SCANCODE_8, '8', 0x09, '8', '*', "8"},
    {SDL_SCANCODE_9, '9', 0x0A, '9', '(', "9"},
    {SDL_SCANCODE_0, '0', 0x0B, '0', ')', "0"},
    {SDL_SCANCODE_RETURN, VK_RETURN, 0x1C, '\r', '\r', "Return"},
    {SDL_SCANCODE_ESCAPE, VK_ESCAPE, 0x01, 0x1B, 0x1B, "Escape"},
    {SDL_SCANCODE_BACKSPACE, VK_BACK, 0x0E, '\b', '\b', "Backspace"},
    {SDL_SCANCODE_TAB, VK_TAB, 0x0F, '\t', '\t', "Tab"},
    {SDL_SCANCODE_SPACE, VK_SPACE, 0x39, ' ', ' ', "Space"},
    {SDL_SCANCODE_MINUS, VK_OEM_MINUS, 0x0C, '-', '_', "-"},
    {SDL_SCANCODE_EQUALS, VK_OEM_PLUS, 0x0D, '=', '+', "="},
    {SDL_SCANCODE_LEFTBRACKET, VK_OEM_4, 0x1A, '[', '{', "["},
    {SDL_SCANCODE_RIGHTBRACKET, VK_OEM_6, 0x1B, ']', '}', "]"},
    {SDL_SCANCODE_BACKSLASH, VK_OEM_5, 0x2B, '\\', '|', "\\"},
    {SDL_SCANCODE_SEMICOLON, VK_OEM_1, 0x27, ';', ':', ";"},
    {SDL_SCANCODE_APOSTROPHE, VK_OEM_7, 0x28, '\'', '"', "'"},
    {SDL_SCANCODE_GRAVE, VK_OEM_3, 0x29, '`', '~', "`"},
    {SDL_SCANCODE_COMMA, VK_OEM_COMMA, 0x33, ',', '<', ","},
    {SDL_SCANCODE_PERIOD, VK_OEM_PERIOD, 0x34, '.', '>', "."},
    {SDL_SCANCODE_SLASH, VK_OEM_2, 0x35, '/', '?', "/"},
    {SDL_SCANCODE_NONUSBACKSLASH, VK_OEM_102, 0x56, 0, 0, "NonUSBackslash"},
    {SDL_SCANCODE_CAPSLOCK, VK_CAPITAL, 0x3A, 0, 0, "CapsLock"},
    {SDL_SCANCODE_F1, VK_F1 + 0, 0x3B, 0, 0, "F1"},
    {SDL_SCANCODE_F2, VK_F1 + 1, 0x3C, 0, 0, "F2"},
    {SDL_SCANCODE_F3, VK_F1 + 2, 0x3D, 0, 0, "F3"},
    {SDL_SCANCODE_F4, VK_F1 + 3, 0x3E, 0, 0, "F4"},
    {SDL_SCANCODE_F5, VK_F1 + 4, 0x3F, 0, 0, "F5"},
    {SDL_SCANCODE_F6, VK_F1 + 5, 0x40, 0, 0, "F6"},
    {SDL_SCANCODE_F7, VK_F1 + 6, 0x41, 0, 0, "F7"},
    {SDL_SCANCODE_F8, VK_F1 + 7, 0x42, 0, 0, "F8"},
    {SDL_SCANCODE_F9, VK_F1 + 8, 0x43, 0, 0, "F9"},
    {SDL_SCANCODE_F10, VK_F1 + 9, 0x44, 0, 0, "F10"},
    {SDL_SCANCODE_F11, VK_F1 + 10, 0x57, 0, 0, "F11"},
    {SDL_SCANCODE_F12, VK_F1 + 11, 0x58, 0, 0, "F12"},
    {SDL_SCANCODE_PRINTSCREEN, VK_SNAPSHOT, 0xE037, 0, 0, "PrintScreen"},
    {SDL_SCANCODE_SCROLLLOCK, VK_SCROLL, 0x46, 0, 0, "ScrollLock"},
    {SDL_SCANCODE_PAUSE, VK_PAUSE, 0x45, 0, 0, "Pause"},
    {SDL_SCANCODE_INSERT, VK_INSERT, 0xE052, 0, 0, "Insert"},
    {SDL_SCANCODE_HOME, VK_HOME, 0xE047, 0, 0, "Home"},
    {SDL_SCANCODE_PAGEUP, VK_PRIOR, 0xE049, 0, 0, "PageUp"},
    {SDL_SCANCODE_DELETE, VK_DELETE, 0xE053, 0, 0, "Delete"},
    {SDL_SCANCODE_END, VK_END, 0xE04F, 0, 0, "End"},
    {SDL_SCANCODE_PAGEDOWN, VK_NEXT, 0xE051, 0, 0, "PageDown"},
    {SDL_SCANCODE_RIGHT, VK_RIGHT, 0xE04D, 0, 0, "Right"},
    {SDL_SCANCODE_LEFT, VK_LEFT, 0xE04B, 0, 0, "Left"},
    {SDL_SCANCODE_DOWN, VK_DOWN, 0xE050, 0, 0, "Down"},
    {SDL_SCANCODE_UP, VK_UP, 0xE048, 0, 0, "Up"},
    {SDL_SCANCODE_NUMLOCKCLEAR, VK_NUMLOCK, 0xE045, 0, 0, "Numlock"},
    {SDL_SCANCODE_KP_DIVIDE, VK_DIVIDE, 0xE035, '/', '/', "Keypad /"},
    {SDL_SCANCODE_KP_MULTIPLY, VK_MULTIPLY, 0x37, '*', '*', "Keypad *"},
    {SDL_SCANCODE_KP_MINUS, VK_SUBTRACT, 0x4A, '-', '-', "Keypad -"},
    {SDL_SCANCODE_KP_PLUS, VK_ADD, 0x4E, '+', '+', "Keypad +"},
    {SDL_SCANCODE_KP_ENTER, VK_RETURN, 0xE01C, '\r', '\r', "Keypad Enter"},
    {SDL_SCANCODE_KP_1, VK_NUMPAD0 + 1, 0x4F, '1', 0, "Keypad 1"},
    {SDL_SCANCODE_KP_2, VK_NUMPAD0 + 2, 0x50, '2', 0, "Keypad 2"},
    {SDL_SCANCODE_KP_3, VK_NUMPAD0 + 3, 0x51, '3', 0, "Keypad 3"},
    {SDL_SCANCODE_KP_4, VK_NUMPAD0 + 4, 0x4B, '4', 0, "Keypad 4"},
    {SDL_SCANCODE_KP_5, VK_NUMPAD0 + 5, 0x4C, '5', 0, "Keypad 5"},
    {SDL_SCANCODE_KP_6, VK_NUMPAD0 + 6, 0x4D, '6', 0, "Keypad 6"},
    {SDL_SCANCODE_KP_7, VK_NUMPAD0 + 7, 0x47, '7', 0, "Keypad 7"},
    {SDL_SCANCODE_KP_8, VK_NUMPAD0 + 8, 0x48, '8', 0, "Keypad 8"},
    {SDL_SCANCODE_KP_9, VK_NUMPAD0 + 9, 0x49, '9', 0, "Keypad 9"},
    {SDL_SCANCODE_KP_0, VK_NUMPAD0, 0x52, '0', 0, "Keypad 0"},
    {SDL_SCANCODE_KP_PERIOD, VK_DECIMAL, 0x53, '.', 0, "Keypad ."},
    {SDL_SCANCODE_APPLICATION, VK_APPS, 0xE05D, 0, 0, "Application"},
    {SDL_SCANCODE_LCTRL, VK_CONTROL, 0x1D, 0, 0, "Left Ctrl"},
    {SDL_SCANCODE_LSHIFT, VK_SHIFT, 0x2A, 0, 0, "Left Shift"},
    {SDL_SCANCODE_LALT, VK_MENU, 0x38, 0, 0, "Left Alt"},
    {SDL_SCANCODE_LGUI, VK_LWIN, 0xE05B, 0, 0, "Left GUI"},
    {SDL_SCANCODE_RCTRL, VK_CONTROL, 0xE01D, 0, 0, "Right Ctrl"},
    {SDL_SCANCODE_RSHIFT, VK_SHIFT, 0x36, 0, 0, "Right Shift"},
    {SDL_SCANCODE_RALT, VK_MENU, 0xE038, 0, 0, "Right Alt"},
    {SDL_SCANCODE_RGUI, VK_RWIN, 0xE05C, 0, 0, "Right GUI"},
    {SDL_SCANCODE_MODE, VK_MENU, 0xE038, 0, 0, "ModeSwitch"},  // AltGr is the right Alt key
};
constexpr int kKeyCount = static_cast<int>(std::size(kKeys));

// For each SDL scan code, its row in kKeys + 1 (0: a key the model does not know).
constexpr auto kRowOf = [] {
    std::array<uint8_t, SDL_NUM_SCANCODES> rows{};
    for (int i = 0; i < kKeyCount; ++i) rows[kKeys[i].sc] = static_cast<uint8_t>(i + 1);
    return rows;
}();
static_assert(kKeyCount < 255);

const KeyRow* row_of(SDL_Scancode sc) {
    return sc >= 0 && sc < SDL_NUM_SCANCODES && kRowOf[sc] ? &kKeys[kRowOf[sc] - 1] : nullptr;
}

bool is_keypad(SDL_Scancode sc) { return sc >= SDL_SCANCODE_KP_DIVIDE && sc <= SDL_SCANCODE_KP_PERIOD; }

// The control characters the model makes itself, without and with Ctrl (0: none).
struct Control {
    char16_t plain, ctrl;
};
constexpr auto kControls = [] {
    std::array<Control, 256> table{};
    table[VK_BACK] = {8, 127};
    table[VK_TAB] = {9, 0};
    table[VK_RETURN] = {13, 10};
    table[VK_ESCAPE] = {27, 27};
    for (int letter = 'A'; letter <= 'Z'; ++letter) table[letter] = {0, static_cast<char16_t>(letter - 'A' + 1)};
    return table;
}();

// Shift, Ctrl and Alt, each with its left and right keys.
struct Sides {
    uint8_t vk, left, right;
};
constexpr Sides kSides[] = {{VK_SHIFT, VK_LSHIFT, VK_RSHIFT}, {VK_CONTROL, VK_LCONTROL, VK_RCONTROL}, {VK_MENU, VK_LMENU, VK_RMENU}};

const Sides* sides_of(uint8_t vk) {
    for (const Sides& s : kSides)
        if (s.vk == vk) return &s;
    return nullptr;
}

// The left or right key that a Shift, Ctrl or Alt key message stands for: the right Shift key
// is told by its scan code, the right Ctrl and Alt keys by the extended bit.
uint8_t sided(uint8_t vk, uint32_t scan, bool extended) {
    const Sides* s = sides_of(vk);
    if (!s) return vk;
    const bool right = vk == VK_SHIFT ? (scan & 0xFF) == 0x36 : extended;
    return right ? s->right : s->left;
}

// A mouse button: its messages, its MK_ flag, its XBUTTON number and its virtual key.
struct ButtonRow {
    uint32_t down, up;
    uint32_t mk;
    uint32_t xbutton;
    uint8_t vk;
};
constexpr ButtonRow kButtons[] = {
    {},
    {WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, 0, VK_LBUTTON},     // SDL_BUTTON_LEFT
    {WM_MBUTTONDOWN, WM_MBUTTONUP, MK_MBUTTON, 0, VK_MBUTTON},     // SDL_BUTTON_MIDDLE
    {WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON, 0, VK_RBUTTON},     // SDL_BUTTON_RIGHT
    {WM_XBUTTONDOWN, WM_XBUTTONUP, MK_XBUTTON1, 1, VK_XBUTTON1},   // SDL_BUTTON_X1
    {WM_XBUTTONDOWN, WM_XBUTTONUP, MK_XBUTTON2, 2, VK_XBUTTON2},   // SDL_BUTTON_X2
};

// The button row of a mouse message, or nullptr.
const ButtonRow* button_of(const InputMessage& m) {
    for (const ButtonRow& row : kButtons) {
        if (!row.down) continue;
        const bool down = m.message == row.down || m.message == row.down + 2;  // DOWN or DBLCLK
        if ((down || m.message == row.up) && (!row.xbutton || ((m.wParam >> 16) & 0xFFFF) == row.xbutton))
            return &row;
    }
    return nullptr;
}

// Key-downs whose text is kept until they leave the queue; older texts are dropped.
constexpr size_t kMostPending = 256;

intptr_t pack(int32_t low, int32_t high) {
    return static_cast<intptr_t>((static_cast<uint32_t>(low) & 0xFFFF) | (static_cast<uint32_t>(high) & 0xFFFF) << 16);
}

void append_chars(uint32_t message, const std::u16string& units, const InputMessage& from, std::vector<InputMessage>* out) {
    for (char16_t unit : units) out->push_back({message, unit, from.lParam, from.point, from.time, from.window, 0});
}

}  // namespace

uint32_t press_message(const Press& now, bool class_dblclks, Press* last) {
    const int half_x = 2, half_y = 2;  // the double-click rectangle is 4 by 4
    const bool again = class_dblclks && last->message == now.message && last->window == now.window &&
                       now.time - last->time <= kDoubleClickTime && std::abs(now.point.x - last->point.x) <= half_x &&
                       std::abs(now.point.y - last->point.y) <= half_y;
    *last = again ? Press{} : now;
    return again ? now.message + 2 : now.message;
}

void Input::set_down(uint8_t* table, int vk, bool down) {
    if (down && !(table[vk] & 0x80)) table[vk] ^= 1;
    table[vk] = static_cast<uint8_t>((table[vk] & 1) | (down ? 0x80 : 0));
}

void Input::set_key(uint8_t* table, uint8_t vk, uint8_t side, bool down) {
    set_down(table, side, down);
    // Shift, Ctrl and Alt are down while either of their keys is.
    if (const Sides* s = sides_of(vk); s && side != vk) set_down(table, vk, (table[s->left] | table[s->right]) & 0x80);
}

uint32_t Input::mouse_keys() const {
    return buttons_ | (async_down(VK_SHIFT) ? uint32_t{MK_SHIFT} : 0u) | (async_down(VK_CONTROL) ? uint32_t{MK_CONTROL} : 0u);
}

void Input::key_event(const SDL_KeyboardEvent& e, std::vector<InputMessage>* out) {
    const KeyRow* row = row_of(e.keysym.scancode);
    if (!row) return;
    const bool down = e.type == SDL_KEYDOWN;
    const SDL_Keycode sym = e.keysym.sym;
    // Letters and digits follow the layout; every other key is where it sits.
    const uint8_t vk = sym >= 'a' && sym <= 'z' ? static_cast<uint8_t>(sym - 'a' + 'A')
                       : sym >= '0' && sym <= '9' ? static_cast<uint8_t>(sym)
                                                  : row->vk;
    const bool extended = row->scan & 0xE000;
    const uint8_t side = sided(vk, row->scan, extended);
    if (side == VK_RMENU && down) altgr_ = (sym == SDLK_MODE || e.keysym.scancode == SDL_SCANCODE_MODE);
    // Alt counts with the key itself held, so that an Alt key's own release is a system key too;
    // AltGr types characters as Ctrl+Alt would.
    const bool alt = async_down(VK_LMENU) || (async_down(VK_RMENU) && !altgr_) || (vk == VK_MENU && !altgr_);
    const bool system = alt && !async_down(VK_CONTROL);
    set_key(async_, vk, side, down);
    if (side == VK_RMENU && !down) altgr_ = false;

    uint32_t lparam = 1 | (row->scan & 0xFFu) << 16 | (extended ? kKeyExtended : 0) | (system ? kKeyAltDown : 0);
    if (!down) lparam |= kKeyWasDown | kKeyReleased;
    else if (e.repeat) lparam |= kKeyWasDown;
    InputMessage m{down ? (system ? WM_SYSKEYDOWN : WM_KEYDOWN) : (system ? WM_SYSKEYUP : WM_KEYUP), vk,
                   static_cast<intptr_t>(lparam), {}, e.timestamp, e.windowID, 0};
    if (down) {
        if (pending_.size() == kMostPending) pending_.pop_front();
        m.text = last_key_down_ = ++serial_;
        pending_.push_back({serial_, {}});
    }
    out->push_back(m);
}

void Input::text_event(const SDL_TextInputEvent& e, std::vector<InputMessage>* out) {
    const std::u16string units = utf16_of(e.text);
    // While an input method composes, its text is its commit, whatever key ended it.
    if (composing_) last_key_down_ = 0;
    if (last_key_down_ && taken_text_.serial == last_key_down_) {
        taken_text_.units += units;
        return;
    }
    for (Held& held : pending_) {
        if (held.serial == last_key_down_) {
            held.units += units;
            return;
        }
    }
    // Text of its own (an input method's commit, or text whose key-down is gone).
    InputMessage from{WM_CHAR, 0, 1, {}, e.timestamp, e.windowID, 0};
    append_chars(WM_CHAR, units, from, out);
    if (composing_) {
        composing_ = false;
        out->push_back({WM_IME_ENDCOMPOSITION, 0, 0, {}, e.timestamp, e.windowID, 0});
    }
}

void Input::translate_event(const SDL_Event& event, std::vector<InputMessage>* out) {
    const uint32_t key_down = last_key_down_;
    last_key_down_ = 0;
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: key_event(event.key, out); return;
    case SDL_TEXTINPUT:
        last_key_down_ = key_down;
        text_event(event.text, out);
        return;
    case SDL_TEXTEDITING: {
        const bool text = event.edit.text[0] != 0;
        if (text == composing_) return;
        composing_ = text;
        out->push_back({text ? WM_IME_STARTCOMPOSITION : WM_IME_ENDCOMPOSITION, 0, 0, {}, event.edit.timestamp,
                        event.edit.windowID, 0});
        return;
    }
    case SDL_MOUSEMOTION: {
        const SDL_MouseMotionEvent& e = event.motion;
        out->push_back({WM_MOUSEMOVE, mouse_keys(), pack(e.x, e.y), {e.x, e.y}, e.timestamp, e.windowID, 0});
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        const SDL_MouseButtonEvent& e = event.button;
        if (e.button >= std::size(kButtons) || !kButtons[e.button].down) return;
        const ButtonRow& row = kButtons[e.button];
        const bool down = e.type == SDL_MOUSEBUTTONDOWN;
        buttons_ = down ? buttons_ | row.mk : buttons_ & ~row.mk;
        out->push_back({down ? row.down : row.up, static_cast<intptr_t>(mouse_keys() | row.xbutton << 16),
                        pack(e.x, e.y), {e.x, e.y}, e.timestamp, e.windowID, 0});
        return;
    }
    case SDL_MOUSEWHEEL: {
        const SDL_MouseWheelEvent& e = event.wheel;
        const int flip = e.direction == SDL_MOUSEWHEEL_FLIPPED ? -1 : 1;
        auto wheel = [&](uint32_t message, int32_t notches) {
            if (!notches) return;
            const uint32_t delta = static_cast<uint16_t>(notches * flip * WHEEL_DELTA);
            out->push_back({message, static_cast<intptr_t>(mouse_keys() | delta << 16), pack(e.mouseX, e.mouseY),
                            {e.mouseX, e.mouseY}, e.timestamp, e.windowID, 0});
        };
        wheel(WM_MOUSEWHEEL, e.y);
        wheel(WM_MOUSEHWHEEL, e.x);
        return;
    }
    default: last_key_down_ = key_down; return;  // not input: a key-down's text may still follow
    }
}

void Input::taken(const InputMessage& m) {
    switch (m.message) {
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        const bool down = m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN;
        const auto vk = static_cast<uint8_t>(m.wParam);
        const auto lparam = static_cast<uint32_t>(m.lParam);
        const uint8_t side = sided(vk, lparam >> 16, lparam & kKeyExtended);
        set_key(state_, vk, side, down);
        if (!down) return;
        taken_key_ = m;
        taken_text_ = {};
        while (!pending_.empty() && pending_.front().serial <= m.text) {
            if (pending_.front().serial == m.text) taken_text_ = std::move(pending_.front());
            pending_.pop_front();
        }
        return;
    }
    default:
        if (const ButtonRow* row = button_of(m))
            set_down(state_, row->vk, m.message != row->up);
        return;
    }
}

bool Input::translate_message(const InputMessage& key, std::vector<InputMessage>* chars) {
    const bool down = key.message == WM_KEYDOWN || key.message == WM_SYSKEYDOWN;
    if (!down) return key.message == WM_KEYUP || key.message == WM_SYSKEYUP;
    const bool same = key.message == taken_key_.message && key.wParam == taken_key_.wParam &&
                      key.lParam == taken_key_.lParam && key.time == taken_key_.time;
    const uint32_t message = key.message == WM_SYSKEYDOWN ? WM_SYSCHAR : WM_CHAR;
    const Control control = kControls[static_cast<uint8_t>(key.wParam)];
    const bool ctrl = (key_state(VK_CONTROL) & 0x8000) && !(key_state(VK_MENU) & 0x8000);
    const char16_t c = ctrl ? control.ctrl : control.plain;
    if (c) append_chars(message, std::u16string(1, c), key, chars);
    else if (same && taken_text_.serial) append_chars(message, taken_text_.units, key, chars);
    if (same) taken_text_ = {};
    return true;
}

int16_t Input::key_state(int vk) const {
    if (vk < 0 || vk > 255) return 0;
    return static_cast<int16_t>((state_[vk] & 0x80 ? 0x8000 : 0) | (state_[vk] & 1));
}

Input& input() {
    static Input the_input;
    return the_input;
}

int16_t GetKeyState(int vk) { return input().key_state(vk); }

uint32_t MapVirtualKey(uint32_t code, uint32_t type) {
    for (const KeyRow& row : kKeys) {
        if (type == MAPVK_VK_TO_CHAR && row.vk == code && row.plain)
            return row.plain >= 'a' && row.plain <= 'z' ? row.plain - 'a' + 'A' : row.plain;
        if (type == MAPVK_VSC_TO_VK_EX && row.scan == code) return sided(row.vk, row.scan, row.scan & 0xE000);
    }
    return 0;
}

int16_t VkKeyScan(char16_t c) {
    for (const KeyRow& row : kKeys) {
        if (row.plain == c) return row.vk;
        if (row.shifted == c) return static_cast<int16_t>(0x100 | row.vk);
    }
    for (int vk = 0; vk < 256; ++vk)
        if (kControls[vk].ctrl == c) return static_cast<int16_t>(0x200 | vk);
    return -1;
}

bool key_by_name(std::string_view name, KeyFacts* facts) {
    auto same = [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
                return false;
        return true;
    };
    for (const KeyRow& row : kKeys) {
        if (!same(name, row.name)) continue;
        const SDL_Keycode keycode =
            row.plain && !is_keypad(row.sc) ? static_cast<SDL_Keycode>(row.plain) : SDL_SCANCODE_TO_KEYCODE(row.sc);
        *facts = {row.sc, row.vk, keycode, row.plain, row.shifted};
        return true;
    }
    return false;
}

}  // namespace nuv::host::win
