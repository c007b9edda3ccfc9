// Drawing a face's window through the engine's hook, as the window's paint does: the face's
// colour, text and draw block on the window's back buffer, shown on its surface and composed
// over its parent; a face drawn into an image; and a face image that fails while the drawing
// opens, which leaves nothing open. Headless: the window model draws into Cairo surfaces.
#include <gtest/gtest.h>

#include <string>

#include "gui/backend/dpi.h"
#include "gui/backend/render.h"
#include "gui/draw/context.h"
#include "gui/draw/primitives.h"
#include "host/win/cairo_lib.h"
#include "host/win/window.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/hooks.h"
#include "runtime/output.h"
#include "runtime/resource_slots.h"
#include "tests/host/win_support.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::draw {
namespace {

namespace win = host::win;
using test::eval_text;
using test::win::Snapshot;

constexpr uint32_t kRed = 0xFFFF0000, kBlue = 0xFF0000FF, kGreen = 0xFF00FF00;
constexpr int32_t kX = 10, kY = 10, kW = 60, kH = 30;  // the child's place in its parent

constexpr const char* kFaceProto =
    "face-proto: make object! [type: offset: size: text: image: color: menu: data: enabled?: visible?: "
    "selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: draw: none] "
    "top-left: make object! [origin: padding: scroll: align: v-align: wrap?: parent: none] "
    "top-left/align: 'left top-left/v-align: 'top ";

Cell global(const char* name) { return *context::global_slot(symbol::make_cstr(name)); }

void run(const std::string& text) { ASSERT_EQ(eval_text(std::string(kFaceProto) + text + " true"), "true") << text; }

win::HWND window_of(const char16_t* cls, std::optional<uint32_t> background, uint32_t style, win::HWND parent,
                    int32_t x, int32_t y, int32_t w, int32_t h) {
    win::WNDCLASS known;
    if (!win::GetClassInfo(cls, &known)) {
        win::WNDCLASS c;
        c.name = cls;
        c.proc = win::DefWindowProc;
        c.background = background;
        win::RegisterClass(c);
    }
    return win::CreateWindowEx(0, cls, u"", style, x, y, w, h, parent, 0, nullptr);
}

std::string g_printed;
void capture(const char* text, size_t length, int32_t) { g_printed.append(text, length); }

// A parent window of one background colour and a child bound to the face `face` (set by the
// test's text), drawn through the hook as a face window's paint draws it.
class GuiDrawWindow : public ::testing::Test {
protected:
    void make(const char16_t* parent_class, uint32_t background, const std::string& face) {
        parent_ = window_of(parent_class, background, win::WS_POPUP, 0, 0, 0, 100, 60);
        child_ = window_of(u"GuiDrawFace", std::nullopt, win::WS_CHILD | win::WS_VISIBLE, parent_, kX, kY, kW, kH);
        ASSERT_NE(child_, 0u);
        run(face);
        const Cell f = global("face");
        slot_ = resource_slots::store(&f);
        win::GetWindowExtra(child_)->face_slot = static_cast<uint32_t>(slot_);
        win::InvalidateRect(parent_, nullptr, true);
        win::UpdateWindow(parent_);
        win::UpdateWindow(child_);
    }
    void TearDown() override {
        g_face_image = draw_face_image;
        if (child_) backend::free_render_target(backend::window_render_target(child_));
        if (parent_) win::DestroyWindow(parent_);
        resource_slots::free(slot_);
    }
    // Runs the block named `commands` on the child (and the image named `image` when given)
    // with the paint's flags: face content, errors reported.
    void paint(const char* commands, const char* image = nullptr) {
        test::StackScope scope;
        Cell* cmds = stack::push(context::global_slot(symbol::make_cstr(commands)));
        Cell* img = image ? stack::push(context::global_slot(symbol::make_cstr(image))) : nullptr;
        hooks::g_drawing.draw(child_, img, cmds, false, true, true);
    }
    uint32_t at(int32_t x, int32_t y) const { return Snapshot(parent_, 100, 60).at(x, y); }
    // Pixels of the child's rectangle, in the parent's picture, that are dark.
    int dark_in(int32_t x0, int32_t y0, int32_t x1, int32_t y1) const {
        const Snapshot shot(parent_, 100, 60);
        int n = 0;
        for (int32_t y = y0; y < y1; y++)
            for (int32_t x = x0; x < x1; x++) {
                const uint32_t p = shot.at(kX + x, kY + y);
                if ((p >> 16 & 0xFF) < 100 && (p >> 8 & 0xFF) < 100) n++;
            }
        return n;
    }
    win::HWND parent_ = 0, child_ = 0;
    int32_t slot_ = 0;
};

TEST_F(GuiDrawWindow, FaceColourThenItsTextThenTheDrawBlock) {
    make(u"GuiDrawWhite", 0xFFFFFFFF,
         "face: make face-proto [type: 'base size: 60x30 color: 255.0.0 text: \"Hi\" para: top-left] "
         "cmds: [pen off fill-pen 0.0.255 box 0x0 6x30 box 50x0 60x30]");
    paint("cmds");
    EXPECT_EQ(at(kX + 40, kY + 25), kRed);
    EXPECT_EQ(at(kX + 55, kY + 15), kBlue);
    // The block is drawn over the text: the first letter's stem, under the first box, is blue.
    const Snapshot shot(parent_, 100, 60);
    int blue = 0;
    for (int32_t y = 0; y < 18; y++)
        for (int32_t x = 0; x < 6; x++) blue += shot.at(kX + x, kY + y) == kBlue;
    EXPECT_EQ(blue, 6 * 18);
    EXPECT_GT(dark_in(6, 0, 30, 18), 5);
    EXPECT_EQ(dark_in(30, 0, 50, 30), 0);
    // Outside the child the parent is as it was.
    EXPECT_EQ(at(5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(win::GetWindowExtra(child_)->draw_context, nullptr);
}

TEST_F(GuiDrawWindow, FaceWithoutColourShowsItsParentThrough) {
    make(u"GuiDrawRed", kRed, "face: make face-proto [type: 'base size: 60x30] cmds: [pen off fill-pen 0.0.255 box 50x0 60x30]");
    paint("cmds");
    EXPECT_EQ(at(kX + 40, kY + 25), kRed);
    EXPECT_EQ(at(kX + 55, kY + 15), kBlue);
    // The child's own pixels there are transparent.
    EXPECT_EQ(Snapshot(child_, kW, kH).at(40, 25), 0u);
}

TEST_F(GuiDrawWindow, FaceContentIntoAnImageLeavesTheWindowAlone) {
    make(u"GuiDrawWhite", 0xFFFFFFFF,
         "face: make face-proto [type: 'base size: 60x30 color: 0.255.0] img: make image! 60x30 "
         "cmds: [pen off fill-pen 0.0.255 box 50x0 60x30]");
    const int32_t records = backend::render_target_count();
    paint("cmds", "img");
    EXPECT_EQ(eval_text("reduce [pick img 1 pick img 60 pick img 1800]"), "[0.255.0.0 0.0.255.0 0.0.255.0]");
    EXPECT_EQ(backend::render_target_count(), records);
    EXPECT_EQ(backend::window_render_target(child_), nullptr);
}

// The face image cannot become a bitmap: the error is reported, and the drawing is closed and
// released before anything of the block is drawn; the next drawing opens as usual.
TEST_F(GuiDrawWindow, FailingFaceImageLeavesNoDrawingOpen) {
    make(u"GuiDrawWhite", 0xFFFFFFFF,
         "face: make face-proto [type: 'base size: 60x30 color: 0.255.0 image: make image! 4x4] "
         "img: make image! 60x30 cmds: [pen off fill-pen 0.0.255 box 0x0 60x30]");
    static bool slot_held;
    static int32_t nesting;
    struct Restore {
        ~Restore() { g_face_image = draw_face_image; }
    } restore;  // later tests draw face images for real
    g_face_image = [](DrawContext& ctx, const Cell&, gfx::PointF) {
        slot_held = win::GetWindowExtra(ctx.window)->draw_context == &ctx;
        nesting = dpi::g_current.nesting;
        return false;
    };
    const int32_t nesting_before = dpi::g_current.nesting;
    const int32_t records = backend::render_target_count();
    g_printed.clear();
    output::add(nullptr, capture);
    paint("cmds");
    paint("cmds", "img");
    output::remove(nullptr, capture);
    EXPECT_TRUE(slot_held);
    EXPECT_EQ(nesting, nesting_before + 1);
    EXPECT_EQ(dpi::g_current.nesting, nesting_before);
    EXPECT_EQ(win::GetWindowExtra(child_)->draw_context, nullptr);
    const backend::RenderTargetRecord* record = backend::window_render_target(child_);
    ASSERT_NE(record, nullptr);
    ASSERT_TRUE(record->target);
    EXPECT_FALSE(record->target->is_drawing());
    EXPECT_EQ(backend::render_target_count(), records + 1);  // the window's own; the image's is gone
    EXPECT_EQ(at(kX + 30, kY + 15), kGreen);
    EXPECT_EQ(eval_text("pick img 900"), "0.255.0.0");
    const std::string report = "*** Internal Error: not enough memory";
    const size_t first = g_printed.find(report);
    ASSERT_EQ(first, 0u) << g_printed;
    EXPECT_NE(g_printed.find(report, first + 1), std::string::npos) << g_printed;

    g_face_image = [](DrawContext&, const Cell&, gfx::PointF) { return true; };
    paint("cmds");
    paint("cmds", "img");
    EXPECT_EQ(at(kX + 30, kY + 15), kBlue);
    EXPECT_EQ(eval_text("pick img 900"), "0.0.255.0");
}

}  // namespace
}  // namespace nuv::gui::draw
