// Rich text: a face's text laid out with its format, paragraph flags, font colour and line
// styles and the runs of its `data`; the layout kept in `handles` for a rich-text face; backdrops
// painted under a drawn layout; and the metric questions. Positions are characters.
#include "gui/draw/rich_text.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "gui/backend/colours.h"
#include "gui/backend/fonts.h"
#include "gui/backend/names.h"
#include "gui/backend/platform.h"
#include "gui/backend/text_formats.h"
#include "gui/backend/view_object.h"
#include "gui/draw/text_styles.h"
#include "gui/draw/walk.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/handles.h"

namespace nuv::gui::draw {

namespace {

using T = TypeId;
using fonts::kFaceFont;
using fonts::kFaceType;
using fonts::kFacePara;
constexpr int32_t kFaceSize = 2, kFaceText = 3, kFaceData = 7;

// Paragraph flags of a face without a para object.
constexpr uint32_t kRichTextFlags = backend::kAlignWrap;

uint32_t g_next_layout_id = 1;
int32_t g_layouts = 0;
// The record faces without a window are laid out for, freed when the process ends.
struct SharedRecord {
    uint32_t id = 0;
    ~SharedRecord() { backend::free_render_target(backend::find_render_target(id)); }
};
// The metric and backdrop answers: grown on demand, never shrunk, so a question allocates only
// when a layout has more lines than any before it.
std::vector<gfx::LineMetrics> g_lines;
std::vector<gfx::HitRect> g_rects;

// Face slot #index, none for a value that is no object or an object too small to have it.
Cell face_slot(const Cell& face, int32_t index) {
    return cell::is(&face, T::Object) && index < object::word_count(&face) ? *view_object::at(&face, index)
                                                                             : *none::shared();
}

SymId face_type(const Cell& face) { return word_symbol(face_slot(face, kFaceType)); }

bool is_rich_text(const Cell& face) {
    return cell::is(&face, T::Object) && face_type(face) == symbol::resolve(names::sym::rich_text);
}

// The face's layout box side: the size rounded to whole pixels, 0 (unbounded) when not above 0.
float box_side(double value) {
    const double rounded = std::trunc(value + 0.5);
    return rounded >= 1 ? static_cast<float>(std::min(rounded, 1e9)) : 0;
}

// The layout object a handle! of the handles block holds, or null.
TextLayoutObject* held_layout(const Cell& held) {
    if (!cell::is(&held, T::Handle) || handle::slot_of(&held) == handle::kNoSlot) return nullptr;
    const handles::Slot* slot = handles::slot(handle::slot_of(&held));
    if (!slot || (slot->value & handles::kFree) ||
        static_cast<int32_t>(slot->value & handles::kKindMask) != g_backend.com_kind)
        return nullptr;
    return dynamic_cast<TextLayoutObject*>(static_cast<ComObject*>(slot->pointer));
}

// The face's handles block when it is one of four cells or more, else none.
Cell handles_block(const Cell& face) {
    const Cell h = face_slot(face, kFaceHandles);
    return cell::is(&h, T::Block) && block::rs_length(&h) >= kHandlesCells ? h : *none::shared();
}

Cell handles_cell(const Cell& h, int32_t index) {
    return block::at(cell::node(&h), block::head_index(&h) + index);
}
void set_handles_cell(const Cell& h, int32_t index, const Cell& value) {
    block::write_cells(cell::node(&h))[block::head_index(&h) + index] = value;
}

// The kept layout of a rich-text face when it is there and not stale.
gfx::TextLayout* kept_layout(const Cell& face) {
    const Cell h = handles_block(face);
    if (!cell::is(&h, T::Block)) return nullptr;
    const Cell stale = handles_cell(h, kHandlesStale);
    if (!cell::is(&stale, T::Logic) || logic::get(&stale)) return nullptr;
    TextLayoutObject* held = held_layout(handles_cell(h, kHandlesLayout));
    return held ? held->layout.get() : nullptr;
}

// The record a face is laid out for: its window's, or the shared one. May allocate.
backend::RenderTargetRecord* face_record(const Cell& face) {
    if (const host::win::HWND window = platform::face_window(&face))
        return backend::get_window_render_target(window, &face);
    return shared_text_record();
}

}  // namespace

TextLayoutObject::TextLayoutObject(std::unique_ptr<gfx::TextLayout> held)
    : id(g_next_layout_id++), layout(std::move(held)) {
    g_layouts++;
}
TextLayoutObject::~TextLayoutObject() { g_layouts--; }

int32_t text_layout_count() { return g_layouts; }

backend::RenderTargetRecord* shared_text_record() {
    // The records' table is made first, so that it outlasts the shared record at exit.
    (void)backend::render_target_count();
    static SharedRecord shared;
    if (backend::RenderTargetRecord* record = backend::find_render_target(shared.id)) return record;
    backend::RenderTargetRecord* record = backend::make_render_target_record();
    shared.id = record->id;
    return record;
}

uint32_t font_line_style_bits(const Cell& font) {
    if (!cell::is(&font, T::Object) || object::word_count(&font) < backend::kFontSlots) return 0;
    const Cell style = *view_object::at(&font, backend::kFontStyle);
    const auto bit = [](const Cell& c) -> uint32_t {
        if (!cell::is(&c, T::Word)) return 0;
        const SymId sym = word_symbol(c);
        return sym == symbol::resolve(names::sym::underline) ? uint32_t{kUnderline}
               : sym == symbol::resolve(names::sym::strike)  ? uint32_t{kStrike}
                                                             : 0;
    };
    if (!cell::is(&style, T::Block)) return bit(style);
    uint32_t bits = 0;
    const NodeId node = cell::node(&style);
    for (int32_t i = block::head_index(&style), n = block::count(node); i < n; i++) bits |= bit(block::at(node, i));
    return bits;
}

gfx::TextLayout* text_box_layout(const Cell& face_value, backend::RenderTargetRecord* record, bool report,
                                 std::unique_ptr<gfx::TextLayout>* temporary) {
    enum { kFace, kFont, kText, kHandles, kKept };
    Cell kept[kKept] = {face_value, face_slot(face_value, kFaceFont), face_slot(face_value, kFaceText),
                        *none::shared()};
    const collector::Root root(kept, kKept);
    const Cell& face = kept[kFace];
    const SymId type = face_type(face);
    const bool rich = type == symbol::resolve(names::sym::rich_text);

    bool default_used = false;
    gfx::TextFormat format = *backend::make_text_format(&kept[kFont], &default_used);
    if (!record) record = face_record(face);

    // A rich-text face keeps its layout in `handles`: the block there, or a new one.
    const bool keeps = rich && object::word_count(&face) > kFaceHandles && g_backend.com_kind;
    if (keeps) {
        kept[kHandles] = handles_block(face);
        if (!cell::is(&kept[kHandles], T::Block)) {
            Cell cells[kHandlesCells];
            none::set(&cells[kHandlesLayout]);
            handle::make_at(&cells[kHandlesRecord], 0, handle::Kind::RichText);
            none::set(&cells[kHandlesText]);
            logic::set(&cells[kHandlesStale], false);
            block::make_at(&kept[kHandles], kHandlesCells);
            for (const Cell& c : cells) block::append_cell(&kept[kHandles], &c);
            *view_object::at(&face, kFaceHandles) = kept[kHandles];
        }
        Cell flag, target;
        logic::set(&flag, false);
        handle::make_at(&target, static_cast<int32_t>(record->id), handle::Kind::RichText);
        set_handles_cell(kept[kHandles], kHandlesStale, flag);
        set_handles_cell(kept[kHandles], kHandlesRecord, target);
        set_handles_cell(kept[kHandles], kHandlesText, kept[kText]);
    }
    record->backdrops.clear();

    // Paragraph flags, tabs and line spacing, then the box and the layout.
    const Cell para = face_slot(face, kFacePara);
    const uint32_t flags = cell::is(&para, T::Object) ? fonts::para_flags(type, &para)
                           : rich                     ? kRichTextFlags
                                                      : backend::kCenteredFlags;
    backend::set_text_alignment(&format, flags);
    if (rich) {
        const Cell tabs = face_slot(face, kFaceTabs);
        backend::set_tab_stop(&format, &tabs);
        const Cell spacing = face_slot(face, kFaceLineSpacing);
        backend::set_text_line_spacing(&format, &spacing);
    }
    const Cell size = face_slot(face, kFaceSize);
    float width = 0, height = 0;
    if (cell::is(&size, T::Pair)) {
        width = box_side(pair::x_of(&size));
        height = box_side(pair::y_of(&size));
    } else if (cell::is(&size, T::Point2D)) {
        width = box_side(point::get(&size, 0));
        height = box_side(point::get(&size, 1));
    }
    const std::string text = cell::is(&kept[kText], T::String) ? string::to_std_utf8(&kept[kText]) : std::string();
    auto made = std::make_unique<gfx::TextLayout>(text, format, width, height);
    gfx::TextLayout* layout = made.get();

    // The layout goes into the old registry slot (which releases the layout it held) or a new one.
    if (keeps) {
        const Cell old = handles_cell(kept[kHandles], kHandlesLayout);
        auto* object = new TextLayoutObject(std::move(made));
        Cell held;
        handle::make_at(&held, static_cast<int32_t>(object->id), handle::Kind::RichText);
        if (held_layout(old)) {
            held.w3 = old.w3;
            handles::set_pointer(handle::slot_of(&old), static_cast<ComObject*>(object));
        } else {
            held.w3 = static_cast<uint32_t>(
                handles::alloc(static_cast<ComObject*>(object), static_cast<uint32_t>(g_backend.com_kind)));
        }
        set_handles_cell(kept[kHandles], kHandlesLayout, held);
    } else {
        *temporary = std::move(made);
    }

    // The font's colour and line styles over the whole text, then the runs of `data`.
    const Cell& font = kept[kFont];
    if (cell::is(&font, T::Object) && object::word_count(&font) >= backend::kFontSlots) {
        const Cell colour = *view_object::at(&font, backend::kFontColor);
        if (cell::is(&colour, T::Tuple)) {
            layout->set_colour(0, layout->length(), rgba_of(backend::tuple_to_color(&colour)));
        }
        const uint32_t bits = font_line_style_bits(font);
        if (bits & kUnderline) layout->set_underline(0, 0x7FFFFFFF, true);
        if (bits & kStrike) layout->set_strikethrough(0, 0x7FFFFFFF, true);
    }
    const Cell data = face_slot(face, kFaceData);
    if (cell::is(&data, T::Block) && block::rs_length(&data) > 1) {
        try {
            parse_text_styles(record, *layout, data, report);
        } catch (...) {
            record->backdrops.clear();
            if (keeps) {
                Cell flag;
                logic::set(&flag, true);
                set_handles_cell(kept[kHandles], kHandlesStale, flag);
            } else {
                temporary->reset();
            }
            throw;
        }
    }
    return layout;
}

void draw_text_backdrops(backend::RenderTargetRecord* record, gfx::RenderTarget& target, gfx::PointF origin,
                         gfx::TextLayout& layout) {
    if (!record || record->backdrops.empty()) return;
    std::unique_ptr<gfx::Brush> spare;
    const std::vector<uint32_t>& list = record->backdrops;
    for (size_t i = 0; i + 2 < list.size(); i += 3) {
        layout.hit_test_range(list[i], list[i + 1], &g_rects);
        gfx::Brush* brush = backend::solid_brush(record, list[i + 2], &spare);
        if (!brush) continue;
        for (const gfx::HitRect& r : g_rects) {
            const float left = std::trunc(r.x + origin.x + 0.5f), top = std::trunc(r.y + origin.y + 0.5f);
            const float right = left + std::trunc(r.width + 0.5f), bottom = top + std::trunc(r.height + 0.99f);
            target.FillRectangle({left, top, right, bottom}, *brush);
        }
    }
    record->backdrops.clear();
}

void text_box_metrics(const Cell& face_value, const Cell& arg0, int32_t type, Cell* result) {
    const Cell face = face_value;
    const collector::Root root(&face);
    if (!cell::is(&face, T::Object)) fire(Err::FaceType, &face);
    if (!is_rich_text(face)) {
        const Cell type_word = face_slot(face, kFaceType);
        fire(Err::FaceType, &type_word);
    }
    const Cell text = face_slot(face, kFaceText);
    if (!cell::is(&text, T::String)) {
        none::set(result);
        return;
    }
    const bool by_point = type == 1 || type == 5;
    const bool by_position = type == 0 || type == 6 || type == 2;
    if ((by_point && !is_point(arg0)) || (by_position && !cell::is(&arg0, T::Integer))) fire(Err::InvalidArg, &arg0);

    std::unique_ptr<gfx::TextLayout> temporary;
    gfx::TextLayout* layout = kept_layout(face);
    if (!layout) layout = text_box_layout(face, nullptr, false, &temporary);

    const int32_t position = by_position ? cell::get_int(&arg0) : 0;
    switch (type) {
    case 0:
    case 6: {
        const uint32_t at = position > 1 ? static_cast<uint32_t>(position - 1) : 0;
        const gfx::PositionHit hit = layout->hit_test_position(at, false);
        if (type == 0) point::set2(result, hit.x, std::max(hit.y, 0.0f));
        else point::set2(result, hit.x + hit.width, hit.y + hit.height);
        return;
    }
    case 1:
    case 5: {
        const gfx::PointF p = point_of(arg0);
        const gfx::PointHit hit = layout->hit_test_point(p.x, p.y);
        integer::set(result, static_cast<int32_t>(hit.position) + (type == 1 && hit.trailing ? 2 : 1));
        return;
    }
    case 2: {
        layout->line_metrics(&g_lines);
        float line_height = 0;
        int64_t left = position;
        for (const gfx::LineMetrics& line : g_lines) {
            line_height = line.height;
            left -= line.length;
            if (left < 1) break;
        }
        floating::set(result, line_height);
        return;
    }
    case 3: {
        const gfx::LayoutMetrics m = layout->metrics();
        point::set2(result, m.width, m.height);
        return;
    }
    default:
        integer::set(result, static_cast<int32_t>(layout->metrics().line_count));
    }
}

}  // namespace nuv::gui::draw
