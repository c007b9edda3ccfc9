// A bare draw context over an offscreen target, for the units that run one command at a time.
#pragma once
#include <cstdint>
#include <memory>

#include "gui/draw/context.h"
#include "gui/draw/walk.h"
#include "gui/draw/words.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::draw {

// An offscreen target being drawn on, a black solid pen and no fill, as a drawing starts.
struct DrawCanvas {
    std::unique_ptr<gfx::RenderTarget> target;
    DrawContext ctx;

    explicit DrawCanvas(int32_t side) : target(gfx::RenderTarget::offscreen(side, side)) {
        if (!words::line) words::init();
        target->BeginDraw();
        ctx.target = target.get();
        ctx.s.pen = gfx::CreateSolidColorBrush({0, 0, 0, 1});
    }
    ~DrawCanvas() { target->EndDraw(); }
    DrawCanvas(const DrawCanvas&) = delete;
    DrawCanvas& operator=(const DrawCanvas&) = delete;

    uint32_t pixel(int x, int y) const { return target->bitmap()->pixel(x, y); }

    // Runs `command` on the text loaded as a block, the walk at its first word; answers where the
    // walk stopped.
    template <class Command>
    int32_t run(const char* text, Command&& command) {
        test::StackScope scope;
        Cell* code = test::load_text(text);
        Walk w = walk_of(*code, false);
        command(ctx, w);
        return w.at;
    }
};

}  // namespace nuv::gui::draw
