// The life of one drawing: draw_begin opens it on a window's back buffer or on an image's pixels
// and paints a window's face, the walk draws, draw_end closes it, writes an image's pixels back
// or shows a window's buffer on its surface, and releases everything the drawing made. Also the
// hooks through which the backend reaches the engine.
#include <cstring>
#include <optional>

#include "gui/backend/colours.h"
#include "gui/backend/dpi.h"
#include "gui/backend/names.h"
#include "gui/backend/view_object.h"
#include "gui/draw/context.h"
#include "gui/draw/primitives.h"
#include "gui/draw/rich_text.h"
#include "gui/draw/walk.h"
#include "gui/draw/words.h"
#include "host/win/displays.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/frames.h"
#include "runtime/output.h"
#include "runtime/resource_slots.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::gui::draw {

namespace win = host::win;
using T = TypeId;

bool (*g_face_image)(DrawContext& ctx, const Cell& image, gfx::PointF size) = draw_face_image;

namespace {

// Face slots read by position.
constexpr int32_t kFaceType = 0, kFaceSize = 2, kFaceText = 3, kFaceImage = 4, kFaceColor = 5, kFaceFont = 19;
// A face's colour slot names a tuple!; without one the buffer is cleared to transparent white.
constexpr uint32_t kNoFaceColour = 0xFFFFFFFF;

// A copy of face slot #index, none for an object too small to have it.
Cell face_slot(const Cell& face, int32_t index) {
    Cell none{};
    if (!cell::is(&face, T::Object) || index >= object::word_count(&face)) return none;
    return *view_object::at(&face, index);
}

// The face a window shows (held in its resource slot), none for a window without one.
Cell window_face(win::HWND window) {
    const win::WindowExtra* extra = win::GetWindowExtra(window);
    const Cell* face = extra ? resource_slots::at(static_cast<int32_t>(extra->face_slot)) : nullptr;
    return face ? *face : Cell{};
}

bool is_window_face(const Cell& face) {
    const Cell type = face_slot(face, kFaceType);
    return word::is_any_word_type(cell::type_of(&type)) &&
           symbol::resolve(word::symbol_of(&type)) == symbol::resolve(names::sym::window);
}

void say(const char* line) { output::write_text(line, std::strlen(line)); }

// The face's own look under its draw block: its colour, its image stretched over it, and (but
// for a window) its text in its font's colour or the window-text colour. A face image that
// cannot become a bitmap is reported as internal no-memory and ends the drawing quietly.
void paint_face(DrawContext& ctx, const Cell& face) {
    const Cell colour = face_slot(face, kFaceColor);
    ctx.target->Clear(backend::color_f(cell::is(&colour, T::Tuple) ? backend::tuple_to_color(&colour) : kNoFaceColour));
    const Cell image = face_slot(face, kFaceImage);
    if (cell::is(&image, T::Image)) {
        const Cell size = face_slot(face, kFaceSize);
        const gfx::PointF corner = cell::is(&size, T::Pair) || cell::is(&size, T::Point2D) ? point_of(size) : gfx::PointF{};
        if (!g_face_image(ctx, image, corner)) {
            Walk reporting{};
            reporting.report = true;
            draw_no_memory(reporting);
        }
    }
    const Cell text = face_slot(face, kFaceText);
    if (is_window_face(face) || !cell::is(&text, T::String)) return;
    const Cell font = face_slot(face, kFaceFont);
    Cell font_colour{};
    if (cell::is(&font, T::Object))
        if (const Cell* c = view_object::field(&font, "color")) font_colour = *c;
    ctx.s.text_colour = cell::is(&font_colour, T::Tuple) ? backend::tuple_to_color(&font_colour)
                                                         : win::GetSysColor(win::COLOR_WINDOWTEXT);
    draw_face_text(ctx, {0, 0}, face, false);
    ctx.s.text_colour = 0;
}

// Opens the drawing on the window's back buffer, or on the image's pixels (also for a window
// whose face content goes to an image). Without a usable target the context keeps none and
// nothing is drawn.
void draw_begin(DrawContext& ctx, win::HWND window, const Cell* image, bool layered, bool face_content) {
    ctx.window = window;
    ctx.layered = layered;
    if (window && !(face_content && image)) {
        ctx.record = backend::get_window_render_target(window, nullptr);
        ctx.target = ctx.record->target.get();
    } else if (image) {
        hooks::PixelRecord* pixels = image::record_of(image);
        if (!pixels || !pixels->data) return;  // an empty image is left as it is
        ctx.image_target = gfx::RenderTarget::for_pixels(pixels->data, pixels->width, pixels->height, pixels->width * 4);
        if (!ctx.image_target) {
            say("CreateWicBitmapRenderTarget failed in draw-begin\n");
            return;
        }
        ctx.pixels = pixels;
        ctx.record = backend::make_render_target_record();
        ctx.target = ctx.image_target.get();
    }
    if (!ctx.target) return;
    ctx.target->BeginDraw();
    ctx.target->SetAntialiasMode(gfx::AntialiasMode::PerPrimitive);
    ctx.target->SetTransform(gfx::Matrix3x2{});
    ctx.s.pen = gfx::CreateSolidColorBrush(backend::color_f(0));
    ctx.s.fill = gfx::CreateSolidColorBrush(backend::color_f(0));
    if (window) {
        const Cell face = window_face(window);
        if (cell::is(&face, T::Object)) paint_face(ctx, face);
    }
}

// Shows the back buffer on the window's surface: the buffer's pixels replace the client's, its
// transparency included, for the window model to compose.
void present(const backend::RenderTargetRecord& record) {
    const gfx::Bitmap* buffer = record.target ? record.target->bitmap() : nullptr;
    cairo_t* dc = buffer ? win::GetDC(record.window) : nullptr;
    if (!dc) return;
    if (std::unique_ptr<gfx::RenderTarget> surface = gfx::RenderTarget::for_context(dc)) {
        surface->BeginDraw();
        surface->Clear({0, 0, 0, 0});
        surface->DrawImage(*buffer, {0, 0}, gfx::Interpolation::NearestNeighbor);
        surface->EndDraw();
    }
    win::ReleaseDC(record.window, dc);
}

// Closes the drawing: leaves the window's DPI, pops what is still pushed, ends drawing (an image
// gets back the pixels the drawing changed), releases the drawing's objects, then shows a
// window's buffer (a layered window's caller shows its bits itself). Raises nothing.
void draw_end(DrawContext& ctx) {
    if (ctx.saved_dpi != -1) dpi::leave_window(static_cast<uint32_t>(ctx.saved_dpi));
    ctx.saved_dpi = -1;
    if (ctx.target && ctx.target->is_drawing()) ctx.target->EndDraw();
    ctx.target = nullptr;
    ctx.s = DrawState{};
    ctx.shape = ShapeState{};
    ctx.shadows.clear();
    if (ctx.pixels) {
        ctx.image_target.reset();
        backend::free_render_target(ctx.record);
        ctx.record = nullptr;
        ctx.pixels = nullptr;
        return;
    }
    if (ctx.record && !ctx.layered) present(*ctx.record);
}

// Puts the drawing's context in the window's slot while the window is drawn, for actors that
// add commands to it; the slot gets back what it held.
class WindowSlot {
public:
    WindowSlot(win::HWND window, DrawContext* ctx) : extra_(window ? win::GetWindowExtra(window) : nullptr) {
        if (!extra_) return;
        before_ = extra_->draw_context;
        extra_->draw_context = ctx;
        window_ = window;
    }
    ~WindowSlot() {
        if (extra_ && win::GetWindowExtra(window_) == extra_) extra_->draw_context = before_;
    }
    WindowSlot(const WindowSlot&) = delete;
    WindowSlot& operator=(const WindowSlot&) = delete;

private:
    win::WindowExtra* extra_;
    win::HWND window_ = 0;
    void* before_ = nullptr;
};

void hook_text_box_metrics(const Cell* face, const Cell* arg0, int32_t type, Cell* result) {
    text_box_metrics(*face, *arg0, type, result);
}

}  // namespace

void do_draw(win::HWND window, const Cell* image, const Cell* commands, bool layered, bool face_content,
             bool report) {
    const bool drawn = commands && cell::is(commands, T::Block);
    if (!window && (!drawn || cell::head(commands) >= block::count(cell::node(commands)))) return;
    DrawContext ctx;
    ctx.report = report;
    if (window) ctx.saved_dpi = dpi::enter_window(window);
    const WindowSlot slot(window, &ctx);
    std::optional<UnwindKind> failed;
    {
        frames::Owner frame(&nuv::words::w::anon, frames::kTry);
        Cell* const top = stack::g_args.top;
        try {
            failed = frame.run([&] {
                draw_begin(ctx, window, image, layered, face_content);
                if (drawn && ctx.target) parse_draw(ctx, *commands);
            });
        } catch (const Stopped&) {
        } catch (...) {
            draw_end(ctx);
            throw;
        }
        stack::g_args.top = top;
    }
    draw_end(ctx);
    if (!failed || report) return;
    const RaisedError record = raised();
    const Cell error = *raised_value();
    fire_value(record, &error);
}

void register_hooks() {
    words::init();
    hooks::g_drawing.draw = do_draw;
    hooks::g_drawing.text_box_metrics = hook_text_box_metrics;
}

}  // namespace nuv::gui::draw
