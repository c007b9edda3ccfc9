// Render-target records over the window model, the brush cache, layered copies, text formats
// from font objects and text drawn on a context, and the matrices. Headless: the window model
// draws into Cairo surfaces of its own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "gui/backend/colours.h"
#include "gui/backend/render.h"
#include "host/win/cairo_lib.h"
#include "runtime/output.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::backend {
namespace {

namespace gfx = host::gfx;
namespace win = host::win;

win::HWND make_window(int32_t width, int32_t height) {
    win::WNDCLASS known;
    if (!win::GetClassInfo(u"GuiRenderTest", &known)) {
        win::WNDCLASS cls;
        cls.name = u"GuiRenderTest";
        cls.proc = win::DefWindowProc;
        win::RegisterClass(cls);
    }
    return win::CreateWindowEx(0, u"GuiRenderTest", u"", win::WS_POPUP, 0, 0, width, height, 0, 0, nullptr);
}

// Owns a window and frees its record at the end.
struct Window {
    win::HWND hwnd;
    Window(int32_t width, int32_t height) : hwnd(make_window(width, height)) {}
    ~Window() {
        free_render_target(window_render_target(hwnd));
        win::DestroyWindow(hwnd);
    }
};

uint32_t packed(int i) { return static_cast<uint32_t>(i * 3) | static_cast<uint32_t>(255 - i) << 8 | 0x40u << 16; }

TEST(GuiRender, SeventyColoursCacheSixtyFourBrushesAndDrawEachRight) {
    Window w(70, 2);
    ASSERT_NE(w.hwnd, 0u);
    RenderTargetRecord* record = get_window_render_target(w.hwnd, nullptr);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(get_window_render_target(w.hwnd, nullptr), record);
    ASSERT_TRUE(record->target);
    const uint64_t made = solid_brushes_made();
    std::unique_ptr<gfx::Brush> spare;
    for (int pass = 0; pass < 2; pass++) {
        record->target->BeginDraw();
        for (int i = 0; i < 70; i++) {
            gfx::Brush* brush = solid_brush(record, packed(i), &spare);
            ASSERT_NE(brush, nullptr);
            record->target->FillRectangle({float(i), 0, float(i + 1), 2}, *brush);
        }
        ASSERT_TRUE(record->target->EndDraw());
    }
    EXPECT_EQ(record->brush_count, kBrushCacheSize);
    EXPECT_EQ(solid_brushes_made() - made, 64u + 6u * 2);
    for (int i = 0; i < 70; i++) {
        const uint32_t c = packed(i);
        const uint32_t want = 0xFF000000 | (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
        EXPECT_EQ(record->target->bitmap()->pixel(i, 1), want) << "colour " << i;
    }
    // A full cache hands a brush back rather than dropping it.
    std::unique_ptr<gfx::Brush> extra = gfx::CreateSolidColorBrush({});
    gfx::Brush* raw = extra.get();
    EXPECT_EQ(brush_cache_add(record, 1, std::move(extra)).get(), raw);
    EXPECT_EQ(brush_cache_find(record, 1), nullptr);
    EXPECT_NE(brush_cache_find(record, packed(63)), nullptr);
    EXPECT_EQ(brush_cache_find(record, packed(64)), nullptr);
}

TEST(GuiRender, TheLayeredCopyFollowsTheClientAndAnEmptyClientHasNone) {
    Window w(40, 30);
    EXPECT_EQ(layered_window_dc(w.hwnd), nullptr);  // no record yet
    RenderTargetRecord* record = get_window_render_target(w.hwnd, nullptr);
    std::unique_ptr<gfx::Brush> spare;
    record->target->BeginDraw();
    record->target->Clear({1, 0, 0, 1});
    record->target->EndDraw();
    cairo_t* dc = layered_window_dc(w.hwnd);
    ASSERT_NE(dc, nullptr);
    EXPECT_EQ(record->width, 40);
    EXPECT_EQ(record->staging->pixel(39, 29), 0xFFFF0000u);
    EXPECT_EQ(layered_window_dc(w.hwnd), dc);  // same size: the copy is kept

    ASSERT_TRUE(win::MoveWindow(w.hwnd, 0, 0, 0, 30, false));
    resize_render_target(record, 0, 30);
    EXPECT_EQ(layered_window_dc(w.hwnd), nullptr);
    EXPECT_FALSE(record->staging);

    ASSERT_TRUE(win::MoveWindow(w.hwnd, 0, 0, 20, 10, false));
    resize_render_target(record, 20, 10);
    ASSERT_NE(layered_window_dc(w.hwnd), nullptr);
    EXPECT_EQ(record->staging->width(), 20);
    EXPECT_EQ(record->staging->pixel(0, 0), 0u);  // a fresh buffer is transparent

    // An image's record has no window buffer, so no layered copy either way.
    RenderTargetRecord* image = make_render_target_record();
    image->target = create_d2d_bitmap(8, 8);
    EXPECT_EQ(find_render_target(image->id), image);
    free_render_target(image);
}

TEST(GuiRender, AFailedResizeLeavesNoTargetAndSaysSo) {
    const test::Ended ended = test::in_child([] {
        Window w(10, 10);
        RenderTargetRecord* record = get_window_render_target(w.hwnd, nullptr);
        resize_render_target(record, gfx::kMaxSide + 1, 10);
        output::flush();
        std::printf(record->target ? "kept\n" : "none\n");
    });
    EXPECT_EQ(ended.out, "resizing failed\nnone\n");
}

TEST(GuiRender, FreeingWindowTargetsClearsTheirSlotsAndSparesImages) {
    const int32_t before = render_target_count();
    Window a(10, 10), b(12, 12);
    get_window_render_target(a.hwnd, nullptr);
    get_window_render_target(b.hwnd, nullptr);
    RenderTargetRecord* image = make_render_target_record();
    EXPECT_EQ(render_target_count(), before + 3);
    EXPECT_EQ(free_window_render_targets(), 2);
    EXPECT_EQ(window_render_target(a.hwnd), nullptr);
    EXPECT_EQ(window_render_target(b.hwnd), nullptr);
    EXPECT_TRUE(win::GetUpdateRect(a.hwnd, nullptr));
    EXPECT_EQ(render_target_count(), before + 1);
    free_render_target(image);
    EXPECT_EQ(render_target_count(), before);
}

TEST(GuiRender, AWindowThatIsGoneRaisesNoCreateWithTheFace) {
    test::eval_environment();
    const win::HWND gone = make_window(5, 5);
    win::DestroyWindow(gone);
    const Cell face = test::int_cell(42);
    try {
        get_window_render_target(gone, &face);
        ADD_FAILURE() << "nothing raised";
    } catch (const Unwind&) {
        EXPECT_EQ(raised().id, Err::NoCreate);
        ASSERT_EQ(raised().argc, 1);
        EXPECT_EQ(test::mold_value(raised().args[0]), "42");
    }
}

bool near(gfx::PointF p, float x, float y) { return std::abs(p.x - x) < 1e-4f && std::abs(p.y - y) < 1e-4f; }

TEST(GuiRender, MatricesKeepTheCentreComposeInOrderAndLeaveASingularOneAlone) {
    Matrix3x2 m;
    matrix_scale(matrix_identity(), 2, 2, &m, 50, 50, false);
    EXPECT_TRUE(near(m.transform({50, 50}), 50, 50));
    EXPECT_TRUE(near(m.transform({60, 50}), 70, 50));
    matrix_scale(matrix_identity(), 2, 3, &m, 0, 0, false);
    EXPECT_EQ(m, Matrix3x2::scale(2, 3));

    // With swap the new transformation acts first, in the current space.
    const Matrix3x2 doubled = Matrix3x2::scale(2, 2);
    matrix_translate(doubled, 10, 0, &m, true);
    EXPECT_TRUE(near(m.transform({0, 0}), 20, 0));
    matrix_translate(doubled, 10, 0, &m, false);
    EXPECT_TRUE(near(m.transform({0, 0}), 10, 0));
    matrix_rotate(matrix_identity(), 90, {10, 10}, &m, false);
    EXPECT_TRUE(near(m.transform({10, 10}), 10, 10));
    EXPECT_TRUE(near(m.transform({20, 10}), 10, 20));

    const Matrix3x2 singular{1, 2, 2, 4, 5, 6};
    Matrix3x2 out{9, 9, 9, 9, 9, 9};
    EXPECT_FALSE(matrix_invert(singular, &out));
    EXPECT_EQ(out, singular);
    Matrix3x2 in_place = singular;
    EXPECT_FALSE(matrix_invert(in_place, &in_place));
    EXPECT_EQ(in_place, singular);
    Matrix3x2 skewed;
    matrix_skew(Matrix3x2::translation(3, 4), 20, 10, {1, 1}, &skewed, false);
    ASSERT_TRUE(matrix_invert(skewed, &out));
    Matrix3x2 round;
    matrix_multiply(skewed, out, &round, false);
    EXPECT_TRUE(near(round.transform({7, -3}), 7, -3));

    Matrix4x4 a = matrix4_identity(), b;
    for (int i = 0; i < 16; i++) b.m[i] = float(i);
    Matrix4x4 p;
    matrix4_multiply(a, b, &p);
    for (int i = 0; i < 16; i++) EXPECT_EQ(p.m[i], float(i));
    matrix4_multiply(b, b, &b);
    EXPECT_EQ(b.m[0], 56.0f);   // row 0 . column 0: 0*0 + 1*4 + 2*8 + 3*12
    EXPECT_EQ(b.m[15], 506.0f);   // row 3 . column 3: 12*3 + 13*7 + 14*11 + 15*15
}

}  // namespace
}  // namespace nuv::gui::backend
