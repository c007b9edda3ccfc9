// The edit control's test kit: the controls' fixture with edits made in its recording parent,
// keys and characters posted as input (the key-state table follows them as they leave the queue,
// so Shift and Ctrl count), the EN_* codes the parent got, and the edit's pixels.
#pragma once
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "host/controls/edit.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"
#include "tests/host/controls_support.h"

namespace nuv::test::win {

enum Mods : uint32_t { kPlain = 0, kShift = 1, kCtrl = 2 };
struct Stroke {
    uint32_t vk;
    uint32_t mods = kPlain;
    char16_t ch = 0;  // the character TranslateMessage makes of it, 0: none
};

class EditTest : public ControlTest {
protected:
    static constexpr intptr_t kId = 7;

    void SetUp() override {
        ControlTest::SetUp();
        set_input_observer([](const MSG& m) { input().taken(InputMessage{m.message, m.wParam, m.lParam}); });
    }
    void TearDown() override {
        set_input_observer(nullptr);
        ControlTest::TearDown();
    }

    HWND parent() const { return parent_; }
    HWND edit(std::u16string_view text, uint32_t style = 0, int32_t width = 200, int32_t height = 24) {
        return control(u"edit", style, 10, 10, width, height, text);
    }

    // The selection as EM_GETSEL answers it through its pointers.
    static std::pair<uint32_t, uint32_t> selection(HWND h) {
        uint32_t lo = 99, hi = 99;
        SendMessage(h, EM_GETSEL, reinterpret_cast<intptr_t>(&lo), reinterpret_cast<intptr_t>(&hi));
        return {lo, hi};
    }
    static void set_selection(HWND h, int32_t anchor, int32_t caret) { SendMessage(h, EM_SETSEL, anchor, caret); }

    // Posts the strokes as input, with Shift and Ctrl held around each as it asks, and takes them.
    static void press(HWND h, std::initializer_list<Stroke> strokes) { press(h, std::vector<Stroke>(strokes)); }
    static void press(HWND h, const std::vector<Stroke>& strokes) {
        auto key = [h](uint32_t message, uint32_t vk) { post_input(MSG{h, message, vk, 0}); };
        for (const Stroke& s : strokes) {
            if (s.mods & kShift) key(WM_KEYDOWN, VK_SHIFT);
            if (s.mods & kCtrl) key(WM_KEYDOWN, VK_CONTROL);
            key(WM_KEYDOWN, s.vk);
            if (s.ch) key(WM_CHAR, s.ch);
            key(WM_KEYUP, s.vk);
            if (s.mods & kCtrl) key(WM_KEYUP, VK_CONTROL);
            if (s.mods & kShift) key(WM_KEYUP, VK_SHIFT);
        }
        pump();
    }
    // Posts each unit as WM_CHAR and takes them.
    static void type(HWND h, std::u16string_view text) {
        for (char16_t c : text) post_input(MSG{h, WM_CHAR, c, 0});
        pump();
    }

    // The notification codes the parent got from the control, in order.
    static std::vector<uint32_t> codes(HWND h) {
        std::vector<uint32_t> out;
        for (const Logged& l : logged(WM_COMMAND))
            if (l.lParam == static_cast<intptr_t>(h) && (l.wParam & 0xFFFF) == kId)
                out.push_back(static_cast<uint32_t>(l.wParam >> 16));
        return out;
    }
    static size_t count_of(HWND h, uint32_t code) {
        std::vector<uint32_t> all = codes(h);
        return static_cast<size_t>(std::count(all.begin(), all.end(), code));
    }

    // The control's pixels as it paints them (0xAARRGGBB, row by row).
    static std::vector<uint32_t> pixels(HWND h) {
        UpdateWindow(h);
        RECT rc;
        GetWindowRect(h, &rc);
        const Snapshot shot(h, rc.width(), rc.height());
        std::vector<uint32_t> out;
        out.reserve(static_cast<size_t>(rc.width()) * rc.height());
        for (int32_t y = 0; y < rc.height(); ++y)
            for (int32_t x = 0; x < rc.width(); ++x) out.push_back(shot.at(x, y));
        return out;
    }

    // The width of a text in the control's font.
    static int32_t text_width(HWND h, std::u16string_view text) {
        cairo_t* dc = GetDC(h);
        gfx::SelectObject(dc, static_cast<gfx::HFONT>(SendMessage(h, WM_GETFONT, 0, 0)));
        gfx::SIZE size;
        gfx::GetTextExtentPoint32(dc, text, &size);
        ReleaseDC(h, dc);
        return size.cx;
    }

};

}  // namespace nuv::test::win
