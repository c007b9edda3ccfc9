// The GUI's names: the facet, paragraph, alignment, widget-type, flag and cursor names the
// backend only compares (bare symbol ids), and the names it also hands to the language as values
// (global word! cells: event types, modifiers, scroll actions, key names). Interned once per
// runtime by the boot step `gui-names`, symbols first, then words, each list in its own order.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::gui::names {


// X(variable, "spelling"), spelt as in runtime/words.h: "?" becomes is_, a second occurrence _2.
#define NUV_GUI_SYMBOLS(X)                                                                        \
    X(type, "type") X(offset, "offset") X(size, "size") X(text, "text") X(image, "image")         \
    X(color, "color") X(menu, "menu") X(data, "data") X(is_enabled, "enabled?")                   \
    X(is_visible, "visible?") X(selected, "selected") X(flags, "flags") X(parent, "parent")       \
    X(pane, "pane") X(state, "state") X(rate, "rate") X(edge, "edge") X(actors, "actors")         \
    X(extra, "extra") X(draw, "draw") X(origin, "origin") X(padding, "padding")                   \
    X(scroll, "scroll") X(align, "align") X(v_align, "v-align") X(is_wrap, "wrap?")               \
    X(left, "left") X(center, "center") X(right, "right") X(top, "top") X(middle, "middle")       \
    X(bottom, "bottom") X(screen, "screen") X(window, "window") X(button, "button")               \
    X(toggle, "toggle") X(check, "check") X(radio, "radio") X(field, "field") X(area, "area")     \
    X(text_2, "text") X(text_list, "text-list") X(progress, "progress") X(slider, "slider")       \
    X(drop_down, "drop-down") X(drop_list, "drop-list") X(image_2, "image") X(base, "base")       \
    X(panel, "panel") X(tab_panel, "tab-panel") X(group_box, "group-box") X(camera, "camera")     \
    X(caret, "caret") X(scroller, "scroller") X(rich_text, "rich-text") X(calendar, "calendar")   \
    X(dashes, "---") X(done, "done") X(continue_, "continue") X(stop, "stop")                     \
    X(clear_type, "ClearType") X(bold, "bold") X(italic, "italic") X(underline, "underline")      \
    X(strike, "strike") X(border, "border") X(backdrop, "backdrop") X(font_name, "font-name")     \
    X(font_size, "font-size") X(class_, "class") X(regular, "regular") X(small, "small")          \
    X(mini, "mini") X(all_over, "all-over") X(focusable, "focusable") X(over, "over")             \
    X(draggable, "draggable") X(resize, "resize") X(no_title, "no-title")                         \
    X(no_border, "no-border") X(no_min, "no-min") X(no_max, "no-max")                             \
    X(no_buttons, "no-buttons") X(modal, "modal") X(popup, "popup") X(tri_state, "tri-state")     \
    X(scrollable, "scrollable") X(password, "password") X(no_sync, "no-sync")                     \
    X(fullscreen, "fullscreen") X(accelerated, "accelerated") X(cursor, "cursor")                 \
    X(arrow, "arrow") X(hand, "hand") X(i_beam, "I-beam") X(cross, "cross")                       \
    X(resize_ns, "resize-ns") X(resize_we, "resize-we") X(resize_ew, "resize-ew")                 \
    X(drag_on, "drag-on")

#define NUV_GUI_WORDS(X)                                                                          \
    X(actors, "actors") X(scroller, "scroller") X(window, "window") X(panel, "panel")             \
    X(text, "text") X(data, "data") X(control, "control") X(shift, "shift")                       \
    X(command, "command") X(alt, "alt") X(away, "away") X(down, "down") X(up, "up")               \
    X(mid_down, "mid-down") X(mid_up, "mid-up") X(alt_down, "alt-down") X(alt_up, "alt-up")       \
    X(aux_down, "aux-down") X(aux_up, "aux-up") X(wheel, "wheel") X(click, "click")               \
    X(dbl_click, "dbl-click") X(over, "over") X(key, "key") X(key_down, "key-down")               \
    X(key_up, "key-up") X(ime, "ime") X(focus, "focus") X(unfocus, "unfocus")                     \
    X(select, "select") X(change, "change") X(enter, "enter") X(menu, "menu") X(close, "close")   \
    X(move, "move") X(resize, "resize") X(moving, "moving") X(resizing, "resizing")               \
    X(zoom, "zoom") X(pan, "pan") X(rotate, "rotate") X(two_tap, "two-tap")                       \
    X(press_tap, "press-tap") X(time, "time") X(drawing, "drawing") X(scroll, "scroll")           \
    X(minimize, "minimize") X(maximize, "maximize") X(restore, "restore") X(ratio, "ratio")       \
    X(vertical, "vertical") X(horizontal, "horizontal") X(track, "track")                         \
    X(page_left, "page-left") X(page_right, "page-right") X(page_up, "page-up")                   \
    X(page_down, "page-down") X(end, "end") X(home, "home") X(left, "left") X(up_2, "up")         \
    X(right, "right") X(down_2, "down") X(insert, "insert") X(delete_, "delete") X(f1, "F1")      \
    X(f2, "F2") X(f3, "F3") X(f4, "F4") X(f5, "F5") X(f6, "F6") X(f7, "F7") X(f8, "F8")           \
    X(f9, "F9") X(f10, "F10") X(f11, "F11") X(f12, "F12") X(left_shift, "left-shift")             \
    X(right_shift, "right-shift") X(left_control, "left-control")                                 \
    X(right_control, "right-control") X(left_alt, "left-alt") X(right_alt, "right-alt")           \
    X(left_menu, "left-menu") X(right_menu, "right-menu") X(left_command, "left-command")          \
    X(right_command, "right-command") X(caps_lock, "caps-lock") X(num_lock, "num-lock")           \
    X(scroll_lock, "scroll-lock") X(pause, "pause")

enum class SymIndex : uint16_t {
#define NUV_GUI_ENUM(name, text) name,
    NUV_GUI_SYMBOLS(NUV_GUI_ENUM) Count
};
enum class WordIndex : uint16_t { NUV_GUI_WORDS(NUV_GUI_ENUM) Count };
#undef NUV_GUI_ENUM

inline constexpr int kSymbolCount = static_cast<int>(SymIndex::Count);
inline constexpr int kWordCount = static_cast<int>(WordIndex::Count);
static_assert(kSymbolCount == 100);
static_assert(kWordCount == 91);

// Filled by init(); 0 and empty cells before it.
inline SymId g_symbols[kSymbolCount]{};
inline Cell g_words[kWordCount]{};

// names::sym::rich_text, names::w::down: read-only views of the tables.
namespace sym {
#define NUV_GUI_VIEW(name, text) inline const SymId& name = g_symbols[static_cast<int>(SymIndex::name)];
NUV_GUI_SYMBOLS(NUV_GUI_VIEW)
#undef NUV_GUI_VIEW
}  // namespace sym
namespace w {
#define NUV_GUI_VIEW(name, text) inline const Cell& name = g_words[static_cast<int>(WordIndex::name)];
NUV_GUI_WORDS(NUV_GUI_VIEW)
#undef NUV_GUI_VIEW
}  // namespace w

const char* symbol_text(SymIndex i);
const char* word_text(WordIndex i);

// Interns both lists in order. Allocates.
void init();

}  // namespace nuv::gui::names
