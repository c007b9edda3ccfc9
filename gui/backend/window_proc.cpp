// The window procedure of face windows: events from window messages, and the painting, colours,
// cursors, size limits and DPI changes of faces.
#include "gui/backend/window_proc.h"

#include <string>
#include <unordered_set>

#include "gui/backend/colours.h"
#include "gui/backend/dispatch.h"
#include "gui/backend/dpi.h"
#include "gui/backend/fonts.h"
#include "gui/backend/platform.h"
#include "gui/backend/render.h"
#include "gui/backend/startup.h"
#include "gui/backend/view_object.h"
#include "host/controls/controls.h"
#include "host/gfx/fonts.h"
#include "host/utf.h"
#include "host/win/displays.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/hooks.h"
#include "runtime/resource_slots.h"

namespace nuv::gui::backend {

namespace {

namespace win = host::win;
namespace gfx = host::gfx;
namespace ctl = host::controls;
using T = TypeId;
using dispatch::window_face;
using event::Type;

// Messages and codes the window model does not name.
constexpr uint32_t WM_SIZING = 0x0214;
constexpr uint32_t WM_DISPLAYCHANGE = 0x007E;
constexpr intptr_t SC_MINIMIZE = 0xF020, SC_MAXIMIZE = 0xF030;
constexpr int kColor3DFace = 15;
// A minimised window's position lies below this in both coordinates.
constexpr int32_t kMinimisedBelow = -9999;
// Room of the set of fonts one relayout has made again.
constexpr size_t kSeenFonts = 128;

// Facet #index of a face, null when the object is too small to have it.
Cell* facet(const Cell* face, int32_t index) {
    return face && index < object::word_count(face) ? view_object::at(face, index) : nullptr;
}

// The symbol of a face's `type`, 0 when it has none.
SymId type_of(const Cell* face) {
    const Cell* type = facet(face, kFacetType);
    return type && word::is_any_word_type(cell::type_of(type)) ? symbol::resolve(word::symbol_of(type)) : 0;
}

bool is_window_face(const Cell* face) { return type_of(face) == names::sym::window; }

bool state_is_block(const Cell* face) {
    const Cell* state = facet(face, kFacetState);
    return state && cell::is(state, T::Block);
}

// A pair! or point2D! as two floats.
bool xy_of(const Cell* value, float* x, float* y) {
    if (!value) return false;
    if (cell::is(value, T::Pair)) {
        *x = static_cast<float>(pair::x_of(value)), *y = static_cast<float>(pair::y_of(value));
        return true;
    }
    if (cell::is(value, T::Point2D)) {
        *x = point::get(value, 0), *y = point::get(value, 1);
        return true;
    }
    return false;
}

// The face's font object, or null.
const Cell* font_of(const Cell* face) {
    const Cell* font = facet(face, kFacetFont);
    return font && cell::is(font, T::Object) && object::word_count(font) >= kFontSlots ? font : nullptr;
}

// The colour of a face's font as a COLORREF, when it has one.
bool font_colour(const Cell* face, gfx::COLORREF* out) {
    const Cell* font = font_of(face);
    const Cell* colour = font ? view_object::at(font, kFontColor) : nullptr;
    if (!colour || !cell::is(colour, T::Tuple)) return false;
    *out = tuple_to_color(colour) & 0xFFFFFF;
    return true;
}

// Raises the event on the window for the message; answers 1 to go on, 0 for `stop`.
int32_t raise(HWND window, uint32_t message, intptr_t wParam, intptr_t lParam, Type type) {
    return dispatch::make_event(window, message, wParam, lParam, type, 0);
}

// The client origin of the window (its top-left corner in client coordinates), computed and
// kept when not yet known.
win::POINT client_origin(HWND window, win::WindowExtra* extra) {
    if (extra->client_origin == 0) {
        win::RECT outer;
        win::GetWindowRect(window, &outer);
        win::POINT corner{outer.left, outer.top};
        win::ScreenToClient(window, &corner);
        extra->client_origin = (static_cast<uint32_t>(corner.x & 0xFFFF) << 16) | static_cast<uint32_t>(corner.y & 0xFFFF);
    }
    return {static_cast<int16_t>(extra->client_origin >> 16), static_cast<int16_t>(extra->client_origin & 0xFFFF)};
}

// The face's `offset` or `size` := the pixel point in units, a size as a pair! when given as one.
void store_point(HWND window, const Cell* face, int32_t index, int32_t x, int32_t y) {
    Cell* slot = facet(face, index);
    if (!slot) return;
    const float ux = dpi::to_units(static_cast<float>(x)), uy = dpi::to_units(static_cast<float>(y));
    point::set2(slot, ux, uy);
    const win::WindowExtra* extra = win::GetWindowExtra(window);
    if (index == kFacetSize && extra && (extra->flag_word & kFlagSizeIsPair)) point2d_to_pair(slot);
}

// A button face's text drawn in its font's colour, with the paragraph's alignment.
LRESULT custom_draw_button(ctl::NMCUSTOMDRAW* draw, const Cell* face) {
    if (draw->dwDrawStage != ctl::CDDS_PREPAINT || (draw->uItemState & ctl::CDIS_DISABLED) || !font_of(face))
        return 0;
    const SymId type = type_of(face);
    cairo_t* dc = draw->hdc;
    const int32_t mode = gfx::SetBkMode(dc, gfx::TRANSPARENT);
    gfx::COLORREF colour = 0;
    if (font_colour(face, &colour) && colour != 0) gfx::SetTextColor(dc, colour);
    win::RECT rect = draw->rc;
    if (type == names::sym::check || type == names::sym::radio)
        rect.left += static_cast<int32_t>(dpi::to_pixels(16.0f));
    const Cell* text = facet(face, kFacetText);
    if (text && cell::is(text, T::String)) {
        const Cell* para = facet(face, kFacetPara);
        uint32_t format = para ? fonts::para_flags(type, para) : 0;
        if (!para || !cell::is(para, T::Object)) format = gfx::DT_CENTER | gfx::DT_VCENTER;
        gfx::DrawText(dc, host::utf16_of(string::to_std_utf8(text)), &rect, format | gfx::DT_SINGLELINE);
    }
    gfx::SetBkMode(dc, mode);
    return ctl::CDRF_SKIPDEFAULT;
}

bool is_button_type(SymId type) {
    return type == names::sym::check || type == names::sym::radio || type == names::sym::button ||
           type == names::sym::toggle;
}

// The colours of a face's control: its font's colour for the text, its `color` behind.
LRESULT control_colours(uint32_t message, cairo_t* dc, HWND control, bool* handled) {
    *handled = false;
    const Cell* face = window_face(control);
    if (!face || !dc) return 0;
    gfx::COLORREF text = 0;
    const bool has_text = font_colour(face, &text);
    if (has_text) gfx::SetTextColor(dc, text);
    const Cell* colour = facet(face, kFacetColor);
    if (colour && cell::is(colour, T::Tuple)) {
        const gfx::COLORREF back = tuple_to_color(colour) & 0xFFFFFF;
        gfx::SetBkColor(dc, back);
        if (!has_text) gfx::SetTextColor(dc, win::GetSysColor(win::COLOR_WINDOWTEXT));
        gfx::SetDCBrushColor(dc, back);
        *handled = true;
        return static_cast<LRESULT>(gfx::GetStockObject(gfx::DC_BRUSH));
    }
    if (!has_text) return 0;
    *handled = true;
    if (message == win::WM_CTLCOLORSTATIC) {
        gfx::SetBkMode(dc, gfx::TRANSPARENT);
        return static_cast<LRESULT>(gfx::GetSysColorBrush(kColor3DFace));
    }
    return static_cast<LRESULT>(gfx::GetStockObject(gfx::DC_BRUSH));
}

// Raises the maximum and tracking sizes to the face's size with the frame when they are smaller.
bool fit_min_max(HWND window, const Cell* face, win::MINMAXINFO* info) {
    float w = 0, h = 0;
    if (!info || !xy_of(facet(face, kFacetSize), &w, &h)) return false;
    win::RECT rect{0, 0, static_cast<int32_t>(dpi::to_pixels(w)), static_cast<int32_t>(dpi::to_pixels(h))};
    win::AdjustWindowRectEx(&rect, static_cast<uint32_t>(win::GetWindowLong(window, win::GWL_STYLE)),
                            win::GetMenu(window) != 0,
                            static_cast<uint32_t>(win::GetWindowLong(window, win::GWL_EXSTYLE)));
    bool changed = false;
    for (win::POINT* p : {&info->ptMaxSize, &info->ptMaxTrackSize}) {
        if (p->x < rect.width()) p->x = rect.width(), changed = true;
        if (p->y < rect.height()) p->y = rect.height(), changed = true;
    }
    return changed;
}

// WM_SIZE and WM_MOVE.
LRESULT move_or_size(HWND window, uint32_t message, intptr_t wParam, intptr_t lParam) {
    win::WindowExtra* extra = win::GetWindowExtra(window);
    if (message == win::WM_SIZE && extra->render_target) {
        auto* record = static_cast<RenderTargetRecord*>(extra->render_target);
        resize_render_target(record, win::lparam_x(lParam), win::lparam_y(lParam));
        win::InvalidateRect(window, nullptr, true);
    }
    const Cell* face = window_face(window);
    if (!is_window_face(face)) return 0;
    if (message == win::WM_SIZE && wParam == win::SIZE_MINIMIZED)
        return win::DefWindowProc(window, message, wParam, lParam);
    if (message == win::WM_MOVE && win::lparam_x(lParam) < kMinimisedBelow && win::lparam_y(lParam) < kMinimisedBelow)
        return 0;
    const intptr_t point = store_move_or_size(window, face, message, lParam);
    const Type type = message == win::WM_MOVE ? Type::Move : Type::Resize;
    raise(window, message, wParam, point, type);
    if (type == Type::Resize && state_is_block(window_face(window)) &&
        (g_in_size_move == 0 || wParam == win::SIZE_MAXIMIZED))
        raise(window, message, wParam, point, type);
    return 0;
}

// WM_SIZING and WM_MOVING of a window face: the face follows the frame while it is dragged.
LRESULT sizing_or_moving(HWND window, const Cell* face, uint32_t message, intptr_t wParam, intptr_t lParam) {
    const auto* rect = reinterpret_cast<const win::RECT*>(lParam);
    win::WindowExtra* extra = win::GetWindowExtra(window);
    if (!rect) return win::DefWindowProc(window, message, wParam, lParam);
    const win::POINT o = client_origin(window, extra);
    intptr_t packed = 0;
    Type type = Type::Moving;
    if (message == WM_SIZING) {
        const int32_t w = rect->width() + 2 * o.x, h = rect->height() + o.x + o.y;
        store_point(window, face, kFacetSize, w, h);
        packed = win::point_lparam(w, h);
        type = Type::Resizing;
    } else {
        store_point(window, face, kFacetOffset, rect->left, rect->top);
        extra->client_position = static_cast<uint32_t>(win::point_lparam(rect->left - o.x, rect->top - o.y));
        packed = win::point_lparam(rect->left, rect->top);
    }
    extra->last_event = static_cast<intptr_t>(type);
    raise(window, message, wParam, packed, type);
    return 1;
}

// WM_WINDOWPOSCHANGED of a window face whose state changed: minimised, maximised or restored.
void state_changed(HWND window, const Cell* face) {
    Type type = Type::Minimize;
    if (!win::IsIconic(window)) {
        win::RECT outer, client;
        win::GetWindowRect(window, &outer);
        win::GetClientRect(window, &client);
        win::POINT at{0, 0};
        win::ClientToScreen(window, &at);
        store_move_or_size(window, face, win::WM_SIZE, win::point_lparam(client.width(), client.height()));
        store_move_or_size(window, face, win::WM_MOVE, win::point_lparam(at.x, at.y));
        type = (win::GetWindowLong(window, win::GWL_STYLE) & win::WS_MAXIMIZE) ? Type::Maximize : Type::Restore;
    }
    raise(window, win::WM_WINDOWPOSCHANGED, 0, 0, type);
}

// WM_CLOSE.
LRESULT close(HWND window, const Cell* face, intptr_t wParam, intptr_t lParam) {
    const win::WindowExtra* extra = win::GetWindowExtra(window);
    if (extra->companion == kCloseWithoutEvent) {
        dispatch::g_input.current_message = nullptr;
        return win::DefWindowProc(window, win::WM_CLOSE, wParam, lParam);
    }
    if (!is_window_face(face)) return win::DefWindowProc(window, win::WM_CLOSE, wParam, lParam);
    win::SetFocus(window);
    if (raise(window, win::WM_CLOSE, wParam, lParam, Type::Close) == 0) {
        dispatch::g_input.current_message = nullptr;
        win::PostQuitMessage(0);
    }
    return 0;
}

// WM_DPICHANGED: the window takes the new DPI and the suggested rectangle, and its faces are
// placed again.
LRESULT dpi_changed(HWND window, intptr_t wParam, intptr_t lParam) {
    const Cell* face = window_face(window);
    if (!state_is_block(face)) return 0;
    dpi::set_current(static_cast<uint32_t>(wParam & 0xFFFF));
    if (const auto* rect = reinterpret_cast<const win::RECT*>(lParam))
        win::SetWindowPos(window, 0, rect->left, rect->top, rect->width(), rect->height(),
                          win::SWP_NOZORDER | win::SWP_NOACTIVATE);
    face = window_face(window);
    if (is_window_face(face)) {
        win::WindowExtra* extra = win::GetWindowExtra(window);
        gfx::HFONT font = static_cast<gfx::HFONT>(extra->gui_font);
        make_default_font(&font);
        if ((extra = win::GetWindowExtra(window))) extra->gui_font = static_cast<intptr_t>(font);
        face = window_face(window);
        if (const Cell* pane = facet(face, kFacetPane)) {
            const Cell copy = *pane;
            relayout_pane(&copy);
        }
    }
    win::RedrawWindow(window, nullptr, win::RDW_INVALIDATE | win::RDW_ERASE);
    return 0;
}

// WM_PAINT of a face with a draw block: the engine draws the face and the block into the window's
// back buffer and shows it.
void paint_draw_face(HWND window) {
    win::PAINTSTRUCT ps;
    if (win::BeginPaint(window, &ps)) win::EndPaint(window, &ps);
    const Cell* face = window_face(window);
    const Cell* draw = facet(face, kFacetDraw);
    if (!draw) return;
    const Cell commands = *draw;
    hooks::g_drawing.draw(window, nullptr, &commands, false, true, true);
}

// The faces of one relayout pass: the fonts already made again.
void relayout(const Cell* pane, std::unordered_set<gfx::HFONT>* seen) {
    if (!pane || !cell::is(pane, T::Block)) return;
    const NodeId node = cell::node(pane);
    win::HDWP batch = win::BeginDeferWindowPos(32);
    for (int32_t i = cell::head(pane); i < block::count(node); i++) {
        Cell face = block::at(node, i);
        if (!cell::is(&face, T::Object)) continue;
        const HWND window = platform::face_window(&face);
        if (!window || !win::IsWindow(window)) continue;
        if (Cell* offset = facet(&face, kFacetOffset); offset && cell::is(offset, T::Pair)) pair_to_point2d(offset);
        if (type_of(&face) == names::sym::rich_text) free_render_target(window_render_target(window));
        float x = 0, y = 0, w = 0, h = 0;
        xy_of(facet(&face, kFacetOffset), &x, &y);
        xy_of(facet(&face, kFacetSize), &w, &h);
        const auto px = [](float v) { return static_cast<int32_t>(dpi::to_pixels(v)); };
        batch = win::DeferWindowPos(batch, window, 0, px(x), px(y), px(w), px(h), win::SWP_NOZORDER | win::SWP_NOACTIVATE);
        if (type_of(&face) == names::sym::group_box) {
            const win::WindowExtra* extra = win::GetWindowExtra(window);
            if (extra && extra->companion > 0)
                win::SetWindowPos(static_cast<HWND>(extra->companion), 0, px(x), px(y), px(w), px(h),
                                  win::SWP_NOZORDER | win::SWP_NOACTIVATE);
        }
        if (const Cell* inner = facet(&face, kFacetPane); inner && cell::is(inner, T::Block)) {
            win::EndDeferWindowPos(batch);
            const Cell copy = *inner;
            relayout(&copy, seen);
            batch = win::BeginDeferWindowPos(32);
        }
        if (const Cell* font = font_of(&face)) {
            const gfx::HFONT before = fonts::font_handle(font, fonts::kCurrentFont);
            if (!before || !seen->count(before)) {
                const Cell kept = *font;
                fonts::free_font_handles(&kept);
                if (const gfx::HFONT made = fonts::make_font(&face, &kept)) seen->insert(made);
            }
            fonts::set_control_font(&face, window);
        }
    }
    win::EndDeferWindowPos(batch);
}

}  // namespace

intptr_t store_move_or_size(HWND window, const Cell* face, uint32_t message, intptr_t packed) {
    win::WindowExtra* extra = win::GetWindowExtra(window);
    if (!extra) return packed;
    int32_t x = win::lparam_x(packed), y = win::lparam_y(packed);
    if (message == win::WM_MOVE) {
        extra->client_position = static_cast<uint32_t>(packed);
        const win::POINT o = client_origin(window, extra);
        x += o.x, y += o.y;
    }
    store_point(window, face, message == win::WM_MOVE ? kFacetOffset : kFacetSize, x, y);
    return win::point_lparam(x, y);
}

void window_command(HWND window, Type type) {
    switch (type) {
    case Type::Minimize: win::SendMessage(window, win::WM_SYSCOMMAND, SC_MINIMIZE, 0); break;
    case Type::Maximize: win::SendMessage(window, win::WM_SYSCOMMAND, SC_MAXIMIZE, 0); break;
    case Type::Restore:
        if (win::IsIconic(window) || win::IsZoomed(window)) win::ShowWindow(window, win::SW_SHOWNORMAL);
        if (window_face(window)) win::SetForegroundWindow(window);
        break;
    default: break;
    }
}

bool paint_background(HWND window, cairo_t* dc) {
    const Cell* colour = facet(window_face(window), kFacetColor);
    const bool has_colour = colour && cell::is(colour, T::Tuple);
    if (!has_colour && (win::GetWindowLong(window, win::GWL_STYLE) & win::WS_CHILD)) return false;
    win::RECT client;
    win::GetClientRect(window, &client);
    if (!has_colour) return gfx::FillRect(dc, client, gfx::GetSysColorBrush(win::COLOR_BTNFACE));
    const gfx::HBRUSH brush = gfx::CreateSolidBrush(tuple_to_color(colour) & 0xFFFFFF);
    const bool filled = gfx::FillRect(dc, client, brush);
    gfx::DeleteObject(brush);
    return filled;
}

void timer_procedure(HWND window, uint32_t message, uintptr_t id, uint32_t) {
    if (window_face(window)) raise(window, message, static_cast<intptr_t>(id), 0, Type::Time);
}

void relayout_pane(const Cell* pane) {
    fill_view_metrics();
    std::unordered_set<gfx::HFONT> seen;
    seen.reserve(kSeenFonts);
    relayout(pane, &seen);
}

LRESULT window_procedure(HWND window, uint32_t message, intptr_t wParam, intptr_t lParam) {
    win::WindowExtra* extra = win::GetWindowExtra(window);
    if (message == win::WM_NCCREATE) {
        const auto* create = reinterpret_cast<const win::CREATESTRUCT*>(lParam);
        if (extra && create) extra->face_slot = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(create->lpCreateParams));
        return win::DefWindowProc(window, message, wParam, lParam);
    }
    const Cell* face = window_face(window);
    if (!face) return win::DefWindowProc(window, message, wParam, lParam);
    switch (message) {
    case win::WM_WINDOWPOSCHANGED: {
        const auto* pos = reinterpret_cast<const win::WINDOWPOS*>(lParam);
        if (pos && (pos->flags & win::SWP_STATECHANGED) && is_window_face(face)) {
            state_changed(window, face);
            if (!win::IsWindow(window)) return 0;
        }
        break;
    }
    case WM_WINDOW_COMMAND: window_command(window, static_cast<Type>(wParam)); return 0;
    case win::WM_SIZE:
    case win::WM_MOVE: return move_or_size(window, message, wParam, lParam);
    case WM_SIZING:
    case win::WM_MOVING:
        if (is_window_face(face)) return sizing_or_moving(window, face, message, wParam, lParam);
        break;
    case win::WM_ENTERSIZEMOVE:
        if (is_window_face(face)) g_in_size_move = 1;
        break;
    case win::WM_EXITSIZEMOVE:
        if (!is_window_face(face)) break;
        g_in_size_move = 0;
        raise(window, message, wParam, lParam,
              extra->last_event == static_cast<intptr_t>(Type::Moving) ? Type::Move : Type::Resize);
        return 0;
    case win::WM_ACTIVATE:
        if (!is_window_face(face)) break;
        if (wParam & 0xFFFF) {
            dpi::use_window(window);
            if (dispatch::g_input.current_message) raise(window, message, wParam, lParam, Type::Focus);
            // The focus goes into the window, as long as no selected face takes it.
            if (win::IsWindow(window)) win::DefWindowProc(window, message, wParam, lParam);
            return 0;
        }
        if (dispatch::g_input.current_message) raise(window, message, wParam, lParam, Type::Unfocus);
        break;
    case ctl::WM_NOTIFY: {
        auto* header = reinterpret_cast<ctl::NMHDR*>(lParam);
        const Cell* from = header ? window_face(header->hwndFrom) : nullptr;
        if (!from) return 0;
        if (header->code == ctl::NM_CUSTOMDRAW && is_button_type(type_of(from)))
            if (const LRESULT r = custom_draw_button(reinterpret_cast<ctl::NMCUSTOMDRAW*>(header), from)) return r;
        break;
    }
    case win::WM_HSCROLL:
    case win::WM_VSCROLL:
        if (lParam != 0) break;
        raise(window, message, wParam, lParam, Type::Scroll);
        return 0;
    case win::WM_ERASEBKGND: {
        const Cell* draw = facet(face, kFacetDraw);
        if (draw && cell::is(draw, T::Block)) return 1;
        auto* dc = reinterpret_cast<cairo_t*>(wParam);
        if (paint_background(window, dc)) return 1;
        const Cell* parent = facet(face, kFacetParent);
        if (parent && cell::is(parent, T::Object) && type_of(parent) == names::sym::tab_panel) {
            win::RECT client;
            win::GetClientRect(window, &client);
            gfx::FillRect(dc, client, gfx::GetSysColorBrush(win::COLOR_WINDOW));
            return 1;
        }
        break;
    }
    case win::WM_PAINT: {
        const Cell* draw = facet(face, kFacetDraw);
        if (!draw || !cell::is(draw, T::Block)) break;
        paint_draw_face(window);
        return 0;
    }
    case win::WM_CTLCOLOREDIT:
    case win::WM_CTLCOLORLISTBOX:
    case win::WM_CTLCOLORSTATIC: {
        bool handled = false;
        const LRESULT brush =
            control_colours(message, reinterpret_cast<cairo_t*>(wParam), static_cast<HWND>(lParam), &handled);
        if (handled) return brush;
        break;
    }
    case win::WM_SETCURSOR: {
        const HWND under = static_cast<HWND>(wParam);
        const win::WindowExtra* at = win::GetWindowExtra(under);
        if (!at || !at->cursor_word) break;
        const SymId type = type_of(window_face(under));
        if ((type == names::sym::base || type == names::sym::rich_text) && !(at->cursor_word & 0x80000000u))
            return 0;
        win::SetCursor(at->cursor_word & 0x7FFFFFFFu);
        return 1;
    }
    case win::WM_LBUTTONDOWN: win::SetCapture(window); return 0;
    case win::WM_LBUTTONUP: win::ReleaseCapture(); return 0;
    case win::WM_GETMINMAXINFO:
        if (is_window_face(face) && fit_min_max(window, face, reinterpret_cast<win::MINMAXINFO*>(lParam))) return 0;
        break;
    case win::WM_CLOSE: return close(window, face, wParam, lParam);
    case win::WM_DESTROY: free_render_target(window_render_target(window)); break;
    case win::WM_DPICHANGED: return dpi_changed(window, wParam, lParam);
    case WM_DISPLAYCHANGE:
        win::RedrawWindow(window, nullptr, win::RDW_INVALIDATE | win::RDW_ALLCHILDREN);
        return 0;
    default: break;
    }
    return win::DefWindowProc(window, message, wParam, lParam);
}

}  // namespace nuv::gui::backend
