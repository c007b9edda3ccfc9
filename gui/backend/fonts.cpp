// Fonts and paragraph flags: font! objects made into host fonts kept in their state blocks with
// registry slots, para! objects as alignment words, the changes of either carried to a face's
// window, native controls given their fonts, and the font chooser.
#include "gui/backend/fonts.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "gui/backend/colours.h"
#include "gui/backend/dpi.h"
#include "gui/backend/names.h"
#include "gui/backend/platform.h"
#include "gui/backend/startup.h"
#include "gui/backend/text_formats.h"
#include "gui/backend/view_object.h"
#include "host/controls/controls.h"
#include "host/controls/edit.h"
#include "host/dialogs/dialogs.h"
#include "host/win/window.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/handles.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/unicode.h"

namespace nuv::gui::fonts {

namespace gfx = host::gfx;
namespace ctl = host::controls;
using T = TypeId;

namespace {

constexpr int32_t kFaceNameUnits = 31;
constexpr int32_t kFontHeightPoints = 72;
constexpr int32_t kDefaultSize = 9;  // points, while system/view/fonts has no size

// ---- Reading objects by slot

bool is_object(const Cell* c) { return c && cell::is(c, T::Object); }

// A copy of slot `index` of the object, none when the object has fewer slots.
Cell slot_of(const Cell* object, int32_t index) {
    const NodeId ctx = object::context_of(object);
    if (index >= object::word_count(object)) return *none::shared();
    return *context::values_at(ctx, index);
}

void write_slot(const Cell* object, int32_t index, const Cell& value) {
    if (index < object::word_count(object)) *context::write_at(object::context_of(object), index) = value;
}

bool is_word(const Cell& c, SymId sym) {
    return word::is_any_word_type(cell::type_of(&c)) && symbol::resolve(word::symbol_of(&c)) == symbol::resolve(sym);
}

int32_t default_size() {
    const Cell* size = view_object::view_field("fonts", "size");
    return size && cell::is(size, T::Integer) && cell::get_int(size) > 0 ? cell::get_int(size) : kDefaultSize;
}

int32_t clamp32(int64_t v) { return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN + 1, INT32_MAX)); }

// ---- The font's record

// The first 31 characters of the name as UTF-16, never ending in half a pair; the default GUI
// font's name without a string.
std::u16string face_name(const Cell& name) {
    if (!cell::is(&name, T::String)) return gfx::message_font(96).lfFaceName;
    Cell text = name;
    int32_t count = kFaceNameUnits;
    const char16_t* units = unicode::string_to_utf16_part(&text, &count, false);
    if (!units) return gfx::message_font(96).lfFaceName;
    std::u16string out(units, static_cast<size_t>(count));
    if (out.size() > kFaceNameUnits) out.resize(kFaceNameUnits);
    if (!out.empty() && out.back() >= 0xD800 && out.back() < 0xDC00) out.pop_back();
    return out;
}

void apply_style_word(const Cell& word, gfx::LOGFONT* lf) {
    if (is_word(word, names::sym::bold)) lf->lfWeight = gfx::FW_BOLD;
    else if (is_word(word, names::sym::italic)) lf->lfItalic = 1;
    else if (is_word(word, names::sym::underline)) lf->lfUnderline = 1;
    else if (is_word(word, names::sym::strike)) lf->lfStrikeOut = 1;
}

gfx::LOGFONT font_record(const Cell* font, uint32_t dpi) {
    gfx::LOGFONT lf;
    const Cell size = slot_of(font, backend::kFontSize);
    const int64_t points =
        cell::is(&size, T::Integer) && cell::get_int(&size) > 0 ? cell::get_int(&size) : default_size();
    lf.lfHeight = clamp32(-(points * dpi / kFontHeightPoints));
    const Cell angle = slot_of(font, backend::kFontAngle);
    lf.lfOrientation = cell::is(&angle, T::Integer) ? clamp32(int64_t{cell::get_int(&angle)} * 10) : 0;
    const Cell smooth = slot_of(font, backend::kFontAntiAlias);
    if (cell::is(&smooth, T::Logic))
        lf.lfQuality = logic::get(&smooth) ? gfx::ANTIALIASED_QUALITY : gfx::DEFAULT_QUALITY;
    else if (is_word(smooth, names::sym::clear_type)) lf.lfQuality = gfx::CLEARTYPE_QUALITY;
    lf.lfWeight = 0;
    const Cell style = slot_of(font, backend::kFontStyle);
    if (cell::is(&style, T::Block)) {
        const NodeId node = cell::node(&style);
        for (int32_t i = block::head_index(&style), n = block::count(node); i < n; i++)
            apply_style_word(block::at(node, i), &lf);
    } else {
        apply_style_word(style, &lf);
    }
    lf.lfFaceName = face_name(slot_of(font, backend::kFontName));
    return lf;
}

// The cell holds a font handle with the font's registry slot; a font of 0 takes no slot.
void store_font(Cell* at, gfx::HFONT id) {
    handle::make_at(at, static_cast<int32_t>(id), handle::Kind::Font);
    if (!id) return;
    void* pointer = reinterpret_cast<void*>(uintptr_t{id});
    at->w3 = static_cast<uint32_t>(handles::alloc(pointer, static_cast<uint32_t>(g_backend.font_kind)));
}

// The font's state block with at least three cells from its head (made or filled out with none).
// Allocates.
Cell state_block(const Cell* font) {
    Cell state = slot_of(font, backend::kFontState);
    if (!cell::is(&state, T::Block)) {
        block::make_at(&state, kStateCells);
    }
    collector::Root keep(&state);
    while (block::count(cell::node(&state)) - block::head_index(&state) < kStateCells)
        none::set(block::alloc_tail(&state));
    write_slot(font, backend::kFontState, state);
    return state;
}

Cell* state_cell(const Cell& state, int32_t index) {
    return block::write_cells(cell::node(&state)) + block::head_index(&state) + index;
}

// Frees the registry slot of a handle cell, releasing its resource, when the slot is one of the
// kind that this handle made; a handle the backend did not make is left alone. Answers whether
// the cell held a handle.
bool release_handle(const Cell& h, int32_t kind) {
    if (!cell::is(&h, T::Handle) || handle::value_of(&h) == 0) return false;
    const handles::Slot* slot = handles::slot(handle::slot_of(&h));
    const bool owned = kind > 0 && slot && !(slot->value & handles::kFree) &&
                       static_cast<int32_t>(slot->value & handles::kKindMask) == kind;
    // A font's slot holds its id: a stale copy of a handle whose slot a newer font took differs.
    const bool same = owned && (kind != g_backend.font_kind || reinterpret_cast<uintptr_t>(slot->pointer) ==
                                                               static_cast<uint32_t>(handle::value_of(&h)));
    if (same) handles::release(handle::slot_of(&h), true);
    return true;
}

// ---- Paragraph flags by face type

enum class ParaKind : uint8_t { Custom, RichText, Button, Check, Edit, Static, Other };

struct TypeKind {
    const SymId& type;
    ParaKind kind;
};
const TypeKind kTypeKinds[] = {
    {names::sym::base, ParaKind::Custom},  {names::sym::rich_text, ParaKind::RichText},
    {names::sym::button, ParaKind::Button}, {names::sym::toggle, ParaKind::Button},
    {names::sym::check, ParaKind::Check},   {names::sym::radio, ParaKind::Check},
    {names::sym::field, ParaKind::Edit},    {names::sym::area, ParaKind::Edit},
    {names::sym::text, ParaKind::Static},
};

ParaKind para_kind(SymId type) {
    const SymId t = symbol::resolve(type);
    for (const TypeKind& row : kTypeKinds)
        if (symbol::resolve(row.type) == t) return row.kind;
    return ParaKind::Other;
}

// Per kind: the bits of left, center, right and any other align; of top, middle, bottom and any
// other v-align; the bits no wrap adds, the bits wrap adds; the style bits update-para replaces.
struct ParaRow {
    uint32_t h[4];
    uint32_t v[4];
    uint32_t no_wrap, wrap, mask;
};
constexpr uint32_t kCenter = backend::kAlignCenter, kRight = backend::kAlignRight, kMiddle = backend::kAlignMiddle,
                   kBottom = backend::kAlignBottom, kWrap16 = backend::kAlignWrap;
constexpr uint32_t kEditMiddle = 0x200, kEditNoWrap = ctl::ES_AUTOVSCROLL | ctl::ES_AUTOHSCROLL;
constexpr ParaRow kParaRows[] = {
    /* Custom */ {{0, kCenter, kRight, kCenter}, {0, kMiddle, kBottom, kMiddle}, 0, kWrap16, 0x2F},
    /* RichText */ {{0, kCenter, kRight, 0}, {0, kMiddle, kBottom, 0}, 0, kWrap16, 0x2F},
    /* Button */
    {{ctl::BS_LEFT, ctl::BS_CENTER, ctl::BS_RIGHT, ctl::BS_CENTER},
     {ctl::BS_TOP, ctl::BS_VCENTER, ctl::BS_BOTTOM, ctl::BS_VCENTER}, 0, 0, 0xF00},
    /* Check */
    {{ctl::BS_LEFT, ctl::BS_CENTER, ctl::BS_RIGHT, ctl::BS_LEFT},
     {ctl::BS_TOP, ctl::BS_VCENTER, ctl::BS_BOTTOM, ctl::BS_VCENTER}, 0, 0, 0xF00},
    /* Edit */ {{ctl::ES_LEFT, ctl::ES_CENTER, ctl::ES_RIGHT, 0}, {0, kEditMiddle, 0, 0}, kEditNoWrap, 0, 0x40C3},
    /* Static */
    {{ctl::SS_LEFT, ctl::SS_CENTER, ctl::SS_RIGHT, 0}, {0, ctl::SS_CENTERIMAGE, 0, 0}, ctl::SS_ENDELLIPSIS, 0, 0x40C3},
    /* Other */ {{0, 0, 0, 0}, {0, 0, 0, 0}, 0, 0, 0},
};

// 0 left (top), 1 center (middle), 2 right (bottom), 3 another value or none.
int32_t align_column(const Cell& value, SymId first, SymId second, SymId third) {
    if (is_word(value, first)) return 0;
    if (is_word(value, second)) return 1;
    if (is_word(value, third)) return 2;
    return 3;
}

uint32_t flags_of(ParaKind kind, const Cell* para) {
    if (!is_object(para)) return 0;
    const ParaRow& row = kParaRows[static_cast<int>(kind)];
    using namespace names;
    const Cell wrap = slot_of(para, kWrap);
    const bool wraps = cell::is(&wrap, T::None) || (cell::is(&wrap, T::Logic) && logic::get(&wrap));
    return row.h[align_column(slot_of(para, kAlign), sym::left, sym::center, sym::right)] |
           row.v[align_column(slot_of(para, kVAlign), sym::top, sym::middle, sym::bottom)] |
           (wraps ? row.wrap : row.no_wrap);
}

}  // namespace

// ---- Fonts

gfx::HFONT make_font_at_dpi(const Cell* face, const Cell* font_value, bool scaled) {
    if (!is_object(font_value)) return 0;
    // The arguments may lie in buffers that allocating moves.
    const Cell font = *font_value;
    const Cell user = is_object(face) ? *face : *none::shared();
    const collector::Root keep_font(&font), keep_user(&user);
    const Cell old_state = slot_of(&font, backend::kFontState);
    if (scaled && cell::is(&old_state, T::Block)) make_font_at_dpi(nullptr, &font, false);
    const Cell state = state_block(&font);  // allocates: before the font takes its slot
    const collector::Root keep(&state);
    backend::add_font_user(&font, &user);
    const gfx::LOGFONT lf = font_record(&font, scaled ? dpi::g_current.y : 96);
    const gfx::HFONT id = gfx::CreateFontIndirect(lf);
    store_font(state_cell(state, scaled ? kCurrentFont : kFont96), id);
    return id;
}

const Cell* font_state_handle(const Cell* font, int32_t index) {
    if (!is_object(font) || index < 0 || index >= kStateCells || backend::kFontState >= object::word_count(font))
        return nullptr;
    const Cell* state = context::values_at(object::context_of(font), backend::kFontState);
    if (!cell::is(state, T::Block)) return nullptr;
    const int32_t at = block::head_index(state) + index;
    if (at >= block::count(cell::node(state))) return nullptr;
    const Cell* h = block::raw_cells(cell::node(state)) + at;
    return cell::is(h, T::Handle) ? h : nullptr;
}

gfx::HFONT font_handle(const Cell* font, int32_t index) {
    const Cell* h = font_state_handle(font, index);
    return h ? static_cast<gfx::HFONT>(handle::value_of(h)) : 0;
}

gfx::HFONT get_font_handle(const Cell* face, const Cell* font) {
    if (!is_object(font)) return 0;
    const gfx::HFONT id = font_handle(font, kCurrentFont);
    return id ? id : make_font(face, font);
}

void set_control_font(const Cell* face_value, uint32_t hwnd) {
    const Cell face = *face_value;
    const collector::Root keep(&face);
    const Cell font = is_object(&face) ? slot_of(&face, kFaceFont) : *none::shared();
    const collector::Root keep_font(&font);
    gfx::HFONT id = g_backend.default_font;
    if (is_object(&font)) {
        id = font_handle(&font, kCurrentFont);
        if (id) backend::add_font_user(&font, &face);
        else id = make_font(&face, &font);
    }
    host::win::SendMessage(hwnd, ctl::WM_SETFONT, static_cast<intptr_t>(id), 0);
}

bool free_font_handles(const Cell* font) {
    if (!is_object(font)) return false;
    const Cell state = slot_of(font, backend::kFontState);
    if (!cell::is(&state, T::Block)) return false;
    const NodeId node = cell::node(&state);
    bool released = false;
    for (int32_t i = 0; i < kStateCells; i++) {
        const int32_t at = block::head_index(&state) + i;
        if (at >= block::count(node)) break;
        const Cell h = block::at(node, at);
        released |= release_handle(h, i == kTextFormat ? g_backend.com_kind : g_backend.font_kind);
    }
    if (released) write_slot(font, backend::kFontState, *none::shared());
    return released;
}

void update_font(const Cell* font, int32_t slot) {
    switch (slot) {
        case backend::kFontName:
        case backend::kFontSize:
        case backend::kFontStyle:
        case backend::kFontAngle:
        case backend::kFontAntiAlias:
            free_font_handles(font);
            make_font(nullptr, font);
            break;
        default: break;
    }
}

// ---- Paragraphs

uint32_t para_flags(SymId type, const Cell* para) { return flags_of(para_kind(type), para); }

void update_para(const Cell* face, int32_t) {
    if (!is_object(face)) return;
    const Cell state = slot_of(face, kFaceState);
    const Cell type = slot_of(face, kFaceType);
    if (!cell::is(&state, T::Block) || !cell::is(&type, T::Word)) return;
    const SymId sym = word::symbol_of(&type);
    if (symbol::resolve(sym) == symbol::resolve(names::sym::area)) fire(Err::NotDone);
    const NodeId node = cell::node(&state);
    const int32_t head = block::head_index(&state);
    const ParaKind kind = para_kind(sym);
    const uint32_t mask = kParaRows[static_cast<int>(kind)].mask;
    const host::win::HWND hwnd = platform::face_window(face);
    if (mask && hwnd) {
        const Cell para = slot_of(face, kFacePara);
        const auto style = static_cast<uint32_t>(host::win::GetWindowLong(hwnd, host::win::GWL_STYLE));
        host::win::SetWindowLong(hwnd, host::win::GWL_STYLE, (style & ~mask) | flags_of(kind, &para));
    }
    if (head + 1 < block::count(node) && cell::is(block::raw_cells(node) + head + 1, T::Integer)) {
        Cell* bits = block::write_cells(node) + head + 1;
        cell::set_int(bits, cell::get_int(bits) | kParaChanged);
    }
}

// ---- The font chooser

void request_font(const Cell* font_value, const Cell* selected, bool mono, Cell* out) {
    const Cell font = *font_value;
    gfx::LOGFONT lf;
    const gfx::HFONT chosen_before = is_object(selected) ? font_handle(selected, kCurrentFont) : 0;
    if (!chosen_before || !gfx::GetObject(chosen_before, &lf)) {
        lf = gfx::LOGFONT{};
        lf.lfFaceName = u"Courier New";
        lf.lfHeight = -static_cast<int32_t>(dpi::g_current.y * 11 / kFontHeightPoints);
        lf.lfCharSet = gfx::DEFAULT_CHARSET;
    }
    host::dialogs::CHOOSEFONT cf;
    cf.hwndOwner = host::win::GetForegroundWindow();
    cf.lpLogFont = &lf;
    cf.Flags = host::dialogs::CF_SCREENFONTS | host::dialogs::CF_PRINTERFONTS | host::dialogs::CF_INITTOLOGFONTSTRUCT |
               host::dialogs::CF_NOVERTFONTS | (mono ? uint32_t{host::dialogs::CF_FIXEDPITCHONLY} : 0u);
    if (!host::dialogs::ChooseFont(&cf) || !is_object(&font)) {
        none::set(out);
        return;
    }
    const Cell target = font;
    collector::Root keep(&target);
    // The old host fonts were made from the fields that change now.
    free_font_handles(&target);
    const std::u16string& name = lf.lfFaceName;
    Cell text;
    string::load(reinterpret_cast<const uint8_t*>(name.data()), name.size() * 2, &text, string::kUtf16le);
    write_slot(&target, backend::kFontName, text);
    Cell size;
    integer::set(&size, cf.iPointSize / 10);
    write_slot(&target, backend::kFontSize, size);
    const bool bold = lf.lfWeight == gfx::FW_BOLD;
    const bool italic = lf.lfItalic;
    Cell bold_word, italic_word;
    word::make_at(names::sym::bold, &bold_word);
    word::make_at(names::sym::italic, &italic_word);
    Cell style = *none::shared();
    if (bold && italic) {
        block::make_at(&style, 2);
        collector::Root keep_style(&style);
        block::append_cell(&style, &bold_word);
        block::append_cell(&style, &italic_word);
    } else if (bold || italic) {
        style = bold ? bold_word : italic_word;
    }
    write_slot(&target, backend::kFontStyle, style);
    *out = target;
}

// ---- Platform routines

uint64_t update_font_routine(const uint64_t* args) {
    const Cell font = *routines::arg_cell(args[1]);
    update_font(&font, routines::arg_int(args[0]));
    none::set(stack::arg(0));
    return 0;
}

uint64_t update_para_routine(const uint64_t* args) {
    const Cell face = *routines::arg_cell(args[1]);
    update_para(&face, routines::arg_int(args[0]));
    none::set(stack::arg(0));
    return 0;
}

uint64_t request_font_routine(const uint64_t* args) {
    const Cell font = *routines::arg_cell(args[2]);
    const Cell selected = *routines::arg_cell(args[1]);
    request_font(&font, &selected, routines::arg_int(args[0]) != 0, stack::arg(0));
    return 0;
}

}  // namespace nuv::gui::fonts
