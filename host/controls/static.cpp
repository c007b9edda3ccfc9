// "STATIC": a text on the background and in the colours the parent answers to
// WM_CTLCOLORSTATIC, aligned and wrapped by its style. The mouse passes through it to what is
// below (HTTRANSPARENT) unless a superclass answers the hit test itself.
#include "host/controls/controls.h"

namespace nuv::host::controls {

using namespace win;

namespace {

struct Static {
    FontSlot font;
};

StateTable<Static>& statics() {
    static StateTable<Static> table;
    return table;
}

uint32_t text_format(uint32_t style) {
    uint32_t format = gfx::DT_EXPANDTABS;
    switch (style & SS_TYPEMASK) {
    case SS_CENTER: format |= gfx::DT_CENTER | gfx::DT_WORDBREAK; break;
    case SS_RIGHT: format |= gfx::DT_RIGHT | gfx::DT_WORDBREAK; break;
    case SS_SIMPLE: format |= gfx::DT_SINGLELINE; break;
    case SS_LEFTNOWORDWRAP: break;
    default: format |= gfx::DT_WORDBREAK; break;
    }
    if (style & SS_NOPREFIX) format |= gfx::DT_NOPREFIX;
    if (style & SS_CENTERIMAGE) format = (format & ~gfx::DT_WORDBREAK) | gfx::DT_SINGLELINE | gfx::DT_VCENTER;
    if (style & SS_ENDELLIPSIS) format |= gfx::DT_END_ELLIPSIS;
    return format;
}

void paint(HWND hwnd, const Static& s) {
    paint_control(hwnd, s.font.get(), WM_CTLCOLORSTATIC, &Palette::text, &Palette::face,
                  [hwnd](cairo_t* dc, HBRUSH, const Palette& p, RECT client) {
                      if (!IsWindowEnabled(hwnd)) gfx::SetTextColor(dc, p.text_disabled);
                      const std::u16string text = GetWindowText(hwnd);
                      const auto style = static_cast<uint32_t>(GetWindowLong(hwnd, GWL_STYLE));
                      if (!text.empty()) gfx::DrawText(dc, text, &client, text_format(style));
                  });
}

LRESULT static_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    LRESULT answer = 0;
    Static* s = control_state(statics(), hwnd, message, wParam, lParam, &answer);
    if (!s) return answer;
    switch (message) {
    case WM_NCHITTEST: return HTTRANSPARENT;
    case WM_PAINT: paint(hwnd, *s); return 0;
    case WM_ENABLE: InvalidateRect(hwnd, nullptr, false); return 0;
    default: return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

}  // namespace

bool register_static() { return register_control(kStaticClass, static_proc, IDC_ARROW, 0); }

}  // namespace nuv::host::controls
