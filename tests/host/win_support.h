// The window model's test kit: a recording window class whose windows log every message they
// get (a test may answer some itself), a fixture that leaves the model empty after each test,
// the loop turns the tests run by hand, and the snapshot that reads a window's pixels.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

#include "host/win/cairo_lib.h"
#include "host/win/window.h"

namespace nuv::test::win {

using namespace nuv::host::win;

struct Logged {
    HWND hwnd;
    uint32_t message;
    intptr_t wParam, lParam;
};

inline std::vector<Logged> g_log;
// Answers a message in place of the default procedure; nullopt passes it on.
inline std::function<std::optional<LRESULT>(HWND, uint32_t, intptr_t, intptr_t)> g_answer;

inline LRESULT recording_proc(HWND h, uint32_t m, intptr_t w, intptr_t l) {
    g_log.push_back(Logged{h, m, w, l});
    if (g_answer)
        if (auto answer = g_answer(h, m, w, l)) return *answer;
    return DefWindowProc(h, m, w, l);
}

// Registers (once) a recording class with a background colour.
inline std::u16string recording_class(std::u16string name, std::optional<uint32_t> brush, uint32_t style = 0) {
    WNDCLASS known;
    if (!GetClassInfo(name, &known)) {
        WNDCLASS cls;
        cls.name = name;
        cls.proc = recording_proc;
        cls.background = brush;
        cls.style = style;
        cls.cursor = IDC_ARROW;
        RegisterClass(cls);
    }
    return name;
}

// The messages of one kind that a window got, in order.
inline std::vector<Logged> logged(uint32_t message, HWND hwnd = 0) {
    std::vector<Logged> out;
    for (const Logged& l : g_log)
        if (l.message == message && (!hwnd || l.hwnd == hwnd)) out.push_back(l);
    return out;
}

// Takes and dispatches every message waiting (paint included); answers how many.
inline int pump() {
    MSG msg;
    int n = 0;
    while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        DispatchMessage(&msg);
        ++n;
    }
    return n;
}

// The window composed with its children, as PrintWindow draws it.
class Snapshot {
public:
    Snapshot(HWND hwnd, int32_t width, int32_t height) {
        surface_ = c_->image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
        cairo_t* cr = c_->create(surface_);
        printed_ = PrintWindow(hwnd, cr, PW_RENDERFULLCONTENT);
        c_->destroy(cr);
        c_->surface_flush(surface_);
    }
    ~Snapshot() { c_->surface_destroy(surface_); }
    bool printed() const { return printed_; }
    // 0xAARRGGBB, premultiplied.
    uint32_t at(int32_t x, int32_t y) const {
        const unsigned char* data = c_->image_surface_get_data(surface_);
        return *reinterpret_cast<const uint32_t*>(data + y * c_->image_surface_get_stride(surface_) + x * 4);
    }

private:
    const CairoLib* c_ = cairo_lib();
    cairo_surface_t* surface_;
    bool printed_ = false;
};

class WinTest : public ::testing::Test {
protected:
    void SetUp() override {
        use_manual_clock(true);
        g_log.clear();
        g_answer = nullptr;
    }
    void TearDown() override {
        g_answer = nullptr;
        for (HWND h : made_) DestroyWindow(h);
        ReleaseCapture();
        MSG msg;
        while (PeekMessage(&msg, 0, 0, 0, PM_REMOVE)) {
        }
        g_log.clear();
    }
    // A top-level window (destroyed after the test) of the recording class "Recorder", white.
    HWND top(int32_t x, int32_t y, int32_t w, int32_t h, uint32_t style = WS_VISIBLE, uint32_t ex = 0,
             std::u16string cls = u"") {
        if (cls.empty()) cls = recording_class(u"Recorder", 0xFFFFFFFF, CS_DBLCLKS);
        HWND made = CreateWindowEx(ex, cls, u"top", style, x, y, w, h, 0, 0, nullptr);
        made_.push_back(made);
        return made;
    }
    HWND child(HWND parent, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t style = WS_VISIBLE, uint32_t ex = 0,
               std::u16string cls = u"") {
        if (cls.empty()) cls = recording_class(u"Recorder", 0xFFFFFFFF, CS_DBLCLKS);
        return CreateWindowEx(ex, cls, u"", WS_CHILD | style, x, y, w, h, parent, 0, nullptr);
    }
    std::vector<HWND> made_;
};

}  // namespace nuv::test::win
