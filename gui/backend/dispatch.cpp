// Event creation and dispatch: the current event record, the key and mouse flags, the facets an
// operating-system event computes from its message record, and made events sent as messages.
#include "gui/backend/dispatch.h"

#include <array>
#include <optional>

#include "gui/backend/dpi.h"
#include "gui/backend/loop.h"
#include "gui/backend/names.h"
#include "gui/backend/view_object.h"
#include "gui/backend/window_proc.h"
#include "host/controls/listbox.h"
#include "host/win/keys.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/frames.h"
#include "runtime/hooks.h"
#include "runtime/resource_slots.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::gui::dispatch {

namespace {

namespace win = host::win;
using event::Facet;
using event::Type;
using T = TypeId;

// What an event needs of the input state when a facet is read later, kept beside its message
// record so that a kept event reads what its own message left, not what a later one did.
struct RecordState {
    int32_t special_key = -1;
    uint32_t pending_char = 0;
    uint32_t menu_symbol = kNoMenuItem;
};
std::array<RecordState, event::kRecordCount> g_record_states;

RecordState& state_of(uint32_t record) { return g_record_states[record & (event::kRecordCount - 1)]; }

Cell g_current{};

// The virtual keys that give a character message: bit 0x80 >> (k & 7) of byte k >> 3.
constexpr std::array<uint8_t, 32> kCharKeys = [] {
    std::array<uint8_t, 32> bits{};
    auto set = [&](int from, int to) {
        for (int k = from; k <= to; k++) bits[k >> 3] |= static_cast<uint8_t>(0x80 >> (k & 7));
    };
    set(0x08, 0x09), set(0x0D, 0x0D), set(0x1B, 0x1B), set(0x20, 0x20), set(0x30, 0x39), set(0x41, 0x5A);
    set(0x60, 0x6B), set(0x6D, 0x6F), set(0xBA, 0xC0), set(0xDB, 0xDF), set(0xE2, 0xE4), set(0xE9, 0xF5);
    return bits;
}();

bool gives_character(uint32_t vk) { return vk < 256 && (kCharKeys[vk >> 3] & (0x80 >> (vk & 7))); }

// Virtual key to the index of its word in the GUI words; Count: no word.
constexpr std::array<names::WordIndex, 256> kKeyWords = [] {
    using W = names::WordIndex;
    std::array<W, 256> table{};
    table.fill(W::Count);
    table[0x21] = W::page_up, table[0x22] = W::page_down, table[0x23] = W::end, table[0x24] = W::home;
    table[0x25] = W::left, table[0x26] = W::up_2, table[0x27] = W::right, table[0x28] = W::down_2;
    table[0x2D] = W::insert, table[0x2E] = W::delete_;
    constexpr W fkeys[12] = {W::f1, W::f2, W::f3, W::f4, W::f5, W::f6, W::f7, W::f8, W::f9, W::f10, W::f11, W::f12};
    for (int i = 0; i < 12; i++) table[0x70 + i] = fkeys[i];
    table[0xA0] = W::left_shift, table[0xA1] = W::right_shift, table[0xA2] = W::left_control;
    table[0xA3] = W::right_control, table[0xA4] = W::left_alt, table[0xA5] = W::right_alt;
    table[0x5B] = W::left_command, table[0x5C] = W::right_command;
    table[0x90] = W::num_lock, table[0x13] = W::pause, table[0x14] = W::caps_lock, table[0x91] = W::scroll_lock;
    return table;
}();

// A Shift, Ctrl or Alt key told left from right: Shift by its scan code, the others by the
// extended bit.
int32_t sided_key(uint32_t vk, intptr_t lparam) {
    const auto l = static_cast<uint32_t>(lparam);
    switch (vk) {
    case win::VK_SHIFT: {
        const uint32_t side = win::MapVirtualKey((l >> 16) & 0xFF, win::MAPVK_VSC_TO_VK_EX);
        return side ? static_cast<int32_t>(side) : win::VK_LSHIFT;
    }
    case win::VK_CONTROL: return l & win::kKeyExtended ? win::VK_RCONTROL : win::VK_LCONTROL;
    case win::VK_MENU: return l & win::kKeyExtended ? win::VK_RMENU : win::VK_LMENU;
    default: return static_cast<int32_t>(vk);
    }
}

bool is_word(const Cell* value, SymId name) {
    return word::is_any_word_type(cell::type_of(value)) && symbol::resolve(word::symbol_of(value)) == name;
}

// The face window of a message: its window when that belongs to a face, else the nearest parent
// that does, else the face window under the message's point; 0 when there is none.
HWND face_window_of(HWND hwnd, win::POINT screen) {
    for (HWND h = hwnd; h; h = win::GetParent(h))
        if (const win::WindowExtra* extra = win::GetWindowExtra(h); extra && extra->face_slot) return h;
    for (HWND h = win::WindowFromPoint(screen); h; h = win::GetParent(h))
        if (const win::WindowExtra* extra = win::GetWindowExtra(h); extra && extra->face_slot) return h;
    return 0;
}

Cell* push_none() { return stack::push(none::shared()); }

Cell* push_units(float x, float y) { return point::push2(dpi::to_units(x), dpi::to_units(y)); }

bool is_mouse_type(Type t) { return t >= Type::Down && t <= Type::Over; }

const Cell* offset_facet(const Cell* e, const win::MSG& m) {
    const Type type = event::type_of(e);
    if (type == Type::Wheel) {
        win::POINT p{win::lparam_x(m.lParam), win::lparam_y(m.lParam)};
        win::ScreenToClient(m.hwnd, &p);
        return push_units(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    if (is_mouse_type(type) || type == Type::Move || type == Type::Resize || type == Type::Moving ||
        type == Type::Resizing) {
        win::POINT p{win::lparam_x(m.lParam), win::lparam_y(m.lParam)};
        if (event::flags_of(e) & event::kAway) {
            win::POINT origin{};
            win::ClientToScreen(m.hwnd, &origin);
            p = {m.pt.x - origin.x, m.pt.y - origin.y};
        }
        Cell* out = push_units(static_cast<float>(p.x), static_cast<float>(p.y));
        const win::WindowExtra* extra = win::GetWindowExtra(m.hwnd);
        if ((type == Type::Resize || type == Type::Resizing) && extra && (extra->flag_word & backend::kFlagSizeIsPair))
            pair::make_at(out, static_cast<int32_t>(point::get(out, 0)), static_cast<int32_t>(point::get(out, 1)));
        return out;
    }
    if (type == Type::Key || type == Type::KeyDown || type == Type::KeyUp) {
        win::POINT p = m.pt;
        win::ScreenToClient(m.hwnd, &p);
        return push_units(static_cast<float>(p.x), static_cast<float>(p.y));
    }
    if (type == Type::Menu)
        return push_units(static_cast<float>(g_input.menu_point.x), static_cast<float>(g_input.menu_point.y));
    return push_none();
}

const Cell* key_facet(const Cell* e, const win::MSG& m, const RecordState& rs) {
    const Type type = event::type_of(e);
    const uint32_t word3 = event::flags_of(e);
    if (type == Type::Key || type == Type::KeyDown || type == Type::KeyUp) {
        if (rs.special_key == -1) {
            const uint32_t code =
                type == Type::Key && rs.pending_char >= 0x10000 ? word3 & event::kWideKeyMask : word3 & event::kKeyMask;
            Cell* out = push_none();
            character::set(out, code);
            return out;
        }
        if (const Cell* w = key_word(static_cast<uint32_t>(rs.special_key))) return stack::push(w);
        if (type == Type::Key) return push_none();
        Cell* out = push_none();
        character::set(out, word3 & event::kKeyMask);
        return out;
    }
    if (type == Type::Scroll) {
        using W = names::WordIndex;
        static constexpr W kVertical[] = {W::up_2, W::down_2, W::page_up, W::page_down};
        static constexpr W kHorizontal[] = {W::left, W::right, W::page_left, W::page_right};
        const uint32_t request = static_cast<uint32_t>(m.wParam) & 0xFFFF;
        W word = W::end;
        if (request < 4) word = m.message == win::WM_VSCROLL ? kVertical[request] : kHorizontal[request];
        else if (request == win::SB_THUMBTRACK) word = W::track;
        return stack::push(&names::g_words[static_cast<int>(word)]);
    }
    if (type == Type::Wheel) return stack::push(&names::w::wheel);
    return push_none();
}

const Cell* picked_facet(const Cell* e, const win::MSG& m, const RecordState& rs) {
    const Type type = event::type_of(e);
    Cell* out = push_none();
    switch (type) {
    case Type::Zoom:
    case Type::Pan:
    case Type::Rotate:
    case Type::TwoTap:
    case Type::PressTap: return out;  // no gestures here
    case Type::Menu:
        if (rs.menu_symbol != kNoMenuItem) word::make_at(rs.menu_symbol, out);
        return out;
    case Type::Scroll: {
        // A scroll-bar control names itself in lParam; a window's own bar is the window's.
        const HWND control = static_cast<HWND>(m.lParam);
        win::SCROLLINFO info;
        info.fMask = win::SIF_POS | win::SIF_TRACKPOS;
        const bool got = control && win::IsWindow(control)
                             ? win::GetScrollInfo(control, win::SB_CTL, &info)
                             : win::GetScrollInfo(m.hwnd, m.message == win::WM_VSCROLL ? win::SB_VERT : win::SB_HORZ, &info);
        const uint32_t request = static_cast<uint32_t>(m.wParam) & 0xFFFF;
        const bool tracking = request == win::SB_THUMBTRACK || request == win::SB_THUMBPOSITION;
        integer::set(out, got ? (tracking ? info.nTrackPos : info.nPos) : 0);
        return out;
    }
    case Type::Wheel: {
        int32_t delta = static_cast<int16_t>((static_cast<uint32_t>(m.wParam) >> 16) & 0xFFFF);
        if (delta > 24000) delta -= 30720;
        else if (delta < -24000) delta += 30720;
        floating::set(out, static_cast<double>(delta) / 120.0);
        return out;
    }
    case Type::Down:
    case Type::MidDown:
    case Type::AltDown:
    case Type::AuxDown:
    case Type::DblClick: {
        win::POINT p{win::lparam_x(m.lParam), win::lparam_y(m.lParam)};
        win::ClientToScreen(m.hwnd, &p);
        const int32_t item = host::controls::LBItemFromPt(m.hwnd, p, false);
        if (item >= 0) integer::set(out, item + 1);
        return out;
    }
    default: integer::set(out, static_cast<int16_t>(event::flags_of(e) & 0xFFFF)); return out;
    }
}

// The message and first parameter a made event of a mouse or key type is sent as.
struct Sent {
    uint32_t message;
    intptr_t wparam;
};
constexpr Sent kSent[] = {
    {0, 0},
    {win::WM_LBUTTONDOWN, win::MK_LBUTTON},   // down
    {win::WM_LBUTTONUP, 0},                   // up
    {win::WM_MBUTTONDOWN, win::MK_MBUTTON},   // mid-down
    {win::WM_MBUTTONUP, 0},                   // mid-up
    {win::WM_RBUTTONDOWN, win::MK_RBUTTON},   // alt-down
    {win::WM_RBUTTONUP, 0},                   // alt-up
    {win::WM_XBUTTONDOWN, 0x10020},           // aux-down
    {win::WM_XBUTTONUP, 0x10000},             // aux-up
    {0, 0},                                   // click
    {win::WM_LBUTTONDBLCLK, win::MK_LBUTTON}, // dbl-click
    {win::WM_MOUSEWHEEL, 0},                  // wheel
    {win::WM_MOUSEMOVE, 0},                   // over
    {win::WM_CHAR, 0},                        // key
    {win::WM_KEYDOWN, 0},                     // key-down
    {win::WM_KEYUP, 0},                       // key-up
};

// The made event's block cell (0 face, 1 window, 2 offset, 3 picked), or null.
const Cell* made_cell(const Cell* e, int32_t index) {
    const NodeId node = event::block_of(e);
    if (!node || index >= block::count(node)) return nullptr;
    return block::raw_cells(node) + index;
}

bool send_window_command(const Cell* e, HWND target, bool queued) {
    const Type type = event::type_of(e);
    const Cell* face = made_cell(e, 0);
    const Cell* face_type = face && cell::is(face, T::Object) && object::word_count(face) > 0
                                ? view_object::at(face, backend::kFacetType)
                                : nullptr;
    if (!face_type || !is_word(face_type, names::sym::window)) return false;
    const auto style = static_cast<uint32_t>(win::GetWindowLong(target, win::GWL_STYLE));
    if (type == Type::Minimize && !(style & win::WS_MINIMIZEBOX)) return false;
    if (type == Type::Maximize && !(style & win::WS_MAXIMIZEBOX)) return false;
    if (queued)
        return win::PostMessage(target, backend::WM_WINDOW_COMMAND, static_cast<intptr_t>(type), 0);
    backend::window_command(target, type);
    return true;
}

}  // namespace

void reset() {
    g_input = InputState{};
    g_record_states.fill(RecordState{});
    g_current = Cell{};
    event::set_os(&g_current, Type::None, 0, 0);
    event::g_dispatch.os_facet = os_facet;
    event::g_dispatch.send = send_event;
}

uint32_t key_state_flags(bool modifiers_only) {
    auto held = [](int vk) { return (win::GetKeyState(vk) & 0x8000) != 0; };
    uint32_t flags = 0;
    if (held(win::VK_CONTROL)) flags |= event::kControl;
    if (held(win::VK_SHIFT)) flags |= event::kShift;
    if (held(win::VK_MENU)) flags |= event::kAlt;
    if (modifiers_only) return flags;
    if (held(win::VK_LBUTTON)) flags |= event::kDown;
    if (held(win::VK_RBUTTON)) flags |= event::kAltDown;
    if (held(win::VK_MBUTTON)) flags |= event::kMidDown;
    if (held(win::VK_XBUTTON1)) flags |= event::kAuxDown;
    return flags;
}

uint32_t mouse_key_flags(intptr_t wparam) {
    struct Bit {
        uint32_t mk, flag;
    };
    static constexpr Bit kBits[] = {
        {win::MK_LBUTTON, event::kDown},     {win::MK_RBUTTON, event::kAltDown},  {win::MK_SHIFT, event::kShift},
        {win::MK_CONTROL, event::kControl},  {win::MK_MBUTTON, event::kMidDown},  {win::MK_XBUTTON1, event::kAuxDown},
        {win::MK_XBUTTON2, event::kAuxDown},
    };
    uint32_t flags = 0;
    for (const Bit& b : kBits)
        if (static_cast<uint32_t>(wparam) & b.mk) flags |= b.flag;
    return flags;
}

uint32_t key_flags() {
    return g_input.forced_key_flags != -1 ? static_cast<uint32_t>(g_input.forced_key_flags) : key_state_flags(false);
}

const Cell* current_event() { return &g_current; }

const Cell* window_face(HWND hwnd) {
    const win::WindowExtra* extra = hwnd ? win::GetWindowExtra(hwnd) : nullptr;
    const Cell* face = extra ? resource_slots::at(static_cast<int32_t>(extra->face_slot)) : nullptr;
    return face && cell::is(face, T::Object) ? face : nullptr;
}

const Cell* key_word(uint32_t vk) {
    if (vk > 255 || kKeyWords[vk] == names::WordIndex::Count) return nullptr;
    return &names::g_words[static_cast<int>(kKeyWords[vk])];
}

int32_t make_event(const MSG& msg, Type type, uint32_t flags) {
    uint32_t word3 = 0;
    InputState& in = g_input;
    switch (type) {
    case Type::Over: word3 = flags; break;
    case Type::KeyDown:
    case Type::KeyUp: {
        uint32_t key = static_cast<uint32_t>(msg.wParam) & 0xFFFF;
        if (type == Type::KeyDown && key == 0xE5) {  // the input method's processed key
            in.special_key = -1;
            return 1;
        }
        if ((type == Type::KeyDown && in.ime_composing) || gives_character(key)) in.special_key = -1;
        else in.special_key = sided_key(key, msg.lParam);
        if (in.special_key == -1)
            if (const uint32_t c = win::MapVirtualKey(key, win::MAPVK_VK_TO_CHAR)) key = c & 0xFFFF;
        word3 = key | key_flags();
        break;
    }
    case Type::Key: {
        uint32_t unit = static_cast<uint32_t>(msg.wParam);
        uint32_t key_bits = key_flags();
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            in.pending_char = unit;
            return 1;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            in.pending_char = (in.pending_char & 0x3FF) * 0x400 + 0x10000 + (unit & 0x3FF);
            unit = in.pending_char;
            key_bits = 0;
        } else {
            in.pending_char = 0;
        }
        // A lower-case letter with Ctrl (a sent message) reports the control character typing
        // the letter with Ctrl gives: c is 3.
        if ((key_bits & event::kControl) && unit >= 'a' && unit <= 'z') {
            unit = unit - 'a' + 1;
            in.special_key = -1;
        }
        if ((in.ime_composing && (key_bits & event::kShift)) || in.special_key == win::VK_LMENU ||
            in.special_key == win::VK_RMENU)
            in.special_key = -1;
        word3 = unit | key_bits;
        break;
    }
    case Type::Select: word3 = (flags + 1) & 0xFFFF; break;
    case Type::Change:
        if (const Cell* face = window_face(face_window_of(msg.hwnd, msg.pt));
            face && object::word_count(face) > 0 && is_word(view_object::at(face, backend::kFacetType), names::sym::tab_panel))
            word3 = flags & 0xFFFF;
        break;
    case Type::Down:
    case Type::Up:
    case Type::MidDown:
    case Type::MidUp:
    case Type::AltDown:
    case Type::AltUp:
    case Type::DblClick:
    case Type::Wheel: word3 = flags | key_state_flags(false); break;
    case Type::Click: word3 = key_state_flags(true); break;
    default: break;
    }
    const uint32_t record = event::keep_message(msg);
    RecordState& rs = state_of(record);
    rs = RecordState{in.special_key, in.pending_char, type == Type::Menu ? flags : kNoMenuItem};
    event::set_os(&g_current, type, record, word3);

    // The handlers run under a frame that takes every error and throw: an event never unwinds
    // the message loop.
    const int32_t depth = loop::g_loop.depth;
    const bool tracing = hooks::g_tracing;
    hooks::g_tracing = false;
    Cell answer{};
    none::set(&answer);
    {
        const stack::Mark mark;
        frames::Owner frame(&words::w::anon, frames::kTryAll);
        const std::optional<UnwindKind> failed = frame.run([&] {
            const Cell* awake = view_object::view_field("awake");
            if (!awake || !cell::is(awake, T::Function)) return;
            const Cell function = *awake;
            const Cell arg = g_current;
            answer = *hooks::call_function(&function, hooks::Callback::Call, &arg, 1);
        });
        if (failed) {
            frames::clear_throw_origin();
            none::set(&answer);
        }
        mark.restore();
    }
    hooks::g_tracing = tracing;
    if (loop::g_loop.depth < depth) win::PostQuitMessage(0);
    return is_word(&answer, names::sym::stop) ? 0 : 1;
}

int32_t make_event(HWND hwnd, uint32_t message, intptr_t wparam, intptr_t lparam, Type type, uint32_t flags) {
    const uint32_t pos = win::GetMessagePos();
    const MSG msg{hwnd, message, wparam, lparam, win::GetMessageTime(),
                  win::POINT{win::lparam_x(pos), win::lparam_y(pos)}};
    return make_event(msg, type, flags);
}

const Cell* os_facet(const Cell* e, Facet facet) {
    const uint32_t record = event::record_of(e);
    const MSG m = event::message(record);
    const RecordState rs = state_of(record);
    switch (facet) {
    case Facet::Face:
    case Facet::Window: {
        HWND hwnd = face_window_of(m.hwnd, m.pt);
        if (facet == Facet::Window && hwnd) hwnd = win::GetAncestor(hwnd, win::GA_ROOTOWNER);
        const Cell* face = window_face(hwnd);
        return face ? stack::push(face) : push_none();
    }
    case Facet::Offset: return offset_facet(e, m);
    case Facet::Key: return key_facet(e, m, rs);
    case Facet::Picked: return picked_facet(e, m, rs);
    default: return push_none();
    }
}

bool send_event(const Cell* e, bool queued) {
    if (!event::is_made(e)) return false;
    const HWND target = event::target_window(e);
    if (!target || !win::IsWindow(target)) return false;
    const Type type = event::type_of(e);
    if (type == Type::Minimize || type == Type::Maximize || type == Type::Restore)
        return send_window_command(e, target, queued);
    const auto index = static_cast<size_t>(type);
    if (index >= std::size(kSent) || !kSent[index].message) return false;
    const uint32_t flags = event::flags_of(e);
    MSG msg{target, kSent[index].message, kSent[index].wparam, 0, win::GetTickCount(), win::cursor_position()};
    const bool key = type == Type::Key || type == Type::KeyDown || type == Type::KeyUp;
    if (key) {
        const uint32_t code = flags & event::kKeyMask;
        msg.wParam = type == Type::Key ? code : win::VkKeyScan(static_cast<char16_t>(code)) & 0xFF;
    } else {
        if (flags & event::kControl) msg.wParam |= win::MK_CONTROL;
        if (flags & event::kShift) msg.wParam |= win::MK_SHIFT;
        if (flags & event::kDown) msg.wParam |= win::MK_LBUTTON;
        if (flags & event::kAltDown) msg.wParam |= win::MK_RBUTTON;
        if (flags & event::kMidDown) msg.wParam |= win::MK_MBUTTON;
        if (flags & event::kAuxDown) msg.wParam |= win::MK_XBUTTON1;
        win::POINT p{};
        if (const Cell* offset = made_cell(e, 2)) {
            if (cell::is(offset, T::Pair)) p = {pair::x_of(offset), pair::y_of(offset)};
            else if (cell::is(offset, T::Point2D)) p = {static_cast<int32_t>(point::get(offset, 0)), static_cast<int32_t>(point::get(offset, 1))};
        }
        p = {static_cast<int32_t>(dpi::to_pixels(static_cast<float>(p.x))), static_cast<int32_t>(dpi::to_pixels(static_cast<float>(p.y)))};
        if (type == Type::Wheel) {
            win::ClientToScreen(target, &p);
            if (const Cell* picked = made_cell(e, 3); picked && cell::is(picked, T::Integer))
                msg.wParam |= static_cast<intptr_t>(static_cast<uint32_t>(cell::get_int(picked) * 0x780000));
        }
        if (type == Type::Over && (flags & event::kAway)) {
            msg.message = win::WM_MOUSELEAVE;
            win::ClientToScreen(target, &p);
            msg.pt = p;
        }
        msg.lParam = win::point_lparam(p.x, p.y);
        if (msg.message == win::WM_MOUSEMOVE) loop::reset_move_filter();
    }
    if (queued) return win::PostMessage(target, msg.message, msg.wParam, msg.lParam);
    const int64_t forced = g_input.forced_key_flags;
    if (key) g_input.forced_key_flags = flags & event::kForcedKeyFlags;
    if (loop::pre_dispatch(msg) >= 1) {
        const MSG* saved = g_input.current_message;
        g_input.current_message = &msg;
        win::DispatchMessage(&msg);
        g_input.current_message = saved;
    }
    g_input.forced_key_flags = forced;
    return true;
}

}  // namespace nuv::gui::dispatch
