// event!: the message-record ring, the type and flag lookups, the facets, the actions and the
// registration record, and the routines event?, send-event-os and find-flag?. Facet names are
// symbols interned by the boot step; event-type and flag words are the GUI's name table, which
// the step `gui-names` fills after this one.
#include "gui/backend/event.h"

#include <iterator>

#include "gui/backend/names.h"
#include "gui/backend/platform.h"
#include "host/win/messages.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/stack.h"

namespace nuv::gui::event {

namespace {

namespace win = host::win;
using names::WordIndex;
using T = TypeId;

// ---- Tables ----

constexpr WordIndex kTypeWords[] = {
#define NUV_EVENT_WORD(name, word) WordIndex::word,
    NUV_EVENT_TYPES(NUV_EVENT_WORD)
#undef NUV_EVENT_WORD
};
static_assert(std::size(kTypeWords) == kTypeCount);

struct FlagName {
    uint32_t bit;
    WordIndex word;
};
// In the order the `flags` facet lists them; `command` last, as it is never listed.
constexpr FlagName kFlagNames[] = {
    {kAway, WordIndex::away},         {kDown, WordIndex::down},         {kMidDown, WordIndex::mid_down},
    {kAltDown, WordIndex::alt_down},  {kAuxDown, WordIndex::aux_down},  {kControl, WordIndex::control},
    {kShift, WordIndex::shift},       {kAlt, WordIndex::alt},           {kCommand, WordIndex::command},
};
constexpr int32_t kListedFlags = 8;

// The facet names by index - 1; the make spec's keys are among them.
constexpr const char* kFacetNames[kFacetCount] = {
    "type",   "face",       "window",     "offset",     "key",   "picked", "flags",       "away?",
    "down?", "mid-down?", "alt-down?", "aux-down?", "ctrl?", "shift?", "orientation",
};
SymId g_facet_syms[kFacetCount]{};  // canonical symbols, filled by init

// The bit a facet tests, by facet index from IsAway.
constexpr uint32_t kFacetBits[] = {kAway, kDown, kMidDown, kAltDown, kAuxDown, kControl, kShift};

// Cells of the made-event block.
enum BlockCell : int32_t { kFace = 0, kWindow, kOffset, kPicked, kBlockCells };

// ---- State kept for the process ----

win::MSG g_records[kRecordCount];
uint32_t g_next_record = 0;
NodeId g_flag_block = 0;

SymId canonical(const Cell* word) { return symbol::resolve(word::symbol_of(word)); }
bool is_word(const Cell* c) { return word::is_any_word_type(cell::type_of(c)); }

const Cell& name_word(WordIndex w) { return names::g_words[static_cast<int>(w)]; }
// Whether a name-table word (an empty cell until the names are interned) has the symbol.
bool is_name(const Cell& name, SymId sym) { return cell::is(&name, T::Word) && canonical(&name) == sym; }

// The facet a word names, 0 for none.
int32_t facet_index(const Cell* word) {
    const SymId sym = canonical(word);
    for (int32_t i = 0; i < kFacetCount; i++)
        if (g_facet_syms[i] == sym) return i + 1;
    return 0;
}

void mark_flag_block() {
    if (g_flag_block) collector::mark_series(g_flag_block);
}

// The shared flag block cleared, made on the first read.
NodeId fresh_flag_block() {
    keep_flag_block();
    if (!g_flag_block) {
        Cell made;
        block::make_at(&made, kListedFlags);
        g_flag_block = cell::node(&made);
    }
    Cell block{static_cast<uint32_t>(T::Block), 0, g_flag_block, 0};
    block::clear(&block);
    return g_flag_block;
}

const Cell* push_flags(uint32_t bits) {
    const NodeId node = fresh_flag_block();
    Cell block{static_cast<uint32_t>(T::Block), 0, node, 0};
    for (int32_t i = 0; i < kListedFlags; i++)
        if (bits & kFlagNames[i].bit) block::append_cell(&block, &name_word(kFlagNames[i].word));
    return stack::push(&block);
}

// A made event's block cell, or the default when it has none.
const Cell* push_block_cell(const Cell* e, BlockCell which) {
    if (const NodeId node = block_of(e)) {
        const Cell c = block::at(node, which);
        return stack::push(&c);
    }
    if (which == kOffset) return pair::push(0, 0);
    if (which == kPicked) return integer::push(0);
    return none::push();
}

const Cell* push_orientation(const Cell* e) {
    if (is_made(e) || type_of(e) != Type::Scroll) return none::push();
    const bool vertical = message(record_of(e)).message == win::WM_VSCROLL;
    return stack::push(&name_word(vertical ? WordIndex::vertical : WordIndex::horizontal));
}

const Cell* push_os_facet(const Cell* e, Facet f) {
    if (g_dispatch.os_facet) return g_dispatch.os_facet(e, f);
    return none::push();
}

// ---- make ----

// The value a spec gives for a key: a bound word! or get-word! stands for its value.
Cell spec_value(const Cell* value) {
    if ((cell::is(value, T::Word) || cell::is(value, T::GetWord)) && value->w1 != 0) return *word::slot(value);
    return *value;
}

uint32_t flag_bits_of(const Cell* block) {
    uint32_t bits = 0;
    Cell b = *block;
    const int32_t length = block::rs_length(&b);
    for (int32_t i = 0; i < length; i++) {
        const Cell* item = block::rs_head(&b) + i;
        if (cell::is(item, T::Word)) bits |= flag_bit(item);
    }
    return bits;
}

Cell* make(Cell* proto, Cell* spec, TypeId) {
    Cell parts[kBlockCells];
    none::set(&parts[kFace]);
    none::set(&parts[kWindow]);
    pair::make_at(&parts[kOffset], 0, 0);
    integer::set(&parts[kPicked], 0);
    collector::Root keep(parts, kBlockCells);
    uint32_t type = 0, bits = 0;
    bool has_block = false;
    if (cell::is(spec, T::Block)) {
        const int32_t length = block::rs_length(spec);
        for (int32_t i = 0; i + 1 < length; i++) {
            const Cell key = block::rs_head(spec)[i];
            if (!cell::is(&key, T::SetWord)) continue;
            const Cell value = spec_value(block::rs_head(spec) + i + 1);
            const T vt = cell::type_of(&value);
            i++;
            const auto which = static_cast<Facet>(facet_index(&key));
            switch (which) {
            case Facet::Type:
                if (vt == T::Word || vt == T::LitWord) type = static_cast<uint32_t>(type_of_word(&value));
                break;
            case Facet::Key:
                if (vt == T::Char) bits |= static_cast<uint32_t>(cell::get_int(&value)) & kKeyMask;
                break;
            case Facet::Flags:
                if (vt == T::Block) bits |= flag_bits_of(&value);
                break;
            case Facet::Face:
            case Facet::Window:
                if (vt == T::Object) {
                    parts[which == Facet::Face ? kFace : kWindow] = value;
                    has_block = true;
                }
                break;
            case Facet::Offset:
                if (vt == T::Pair || vt == T::Point2D) parts[kOffset] = value, has_block = true;
                break;
            case Facet::Picked:
                if (vt == T::Integer) parts[kPicked] = value, has_block = true;
                break;
            default: break;
            }
        }
    }
    NodeId node = 0;
    if (has_block) {
        Cell made;
        block::make_at(&made, kBlockCells);
        for (const Cell& part : parts) block::append_cell(&made, &part);
        node = cell::node(&made);
    }
    cell::put(proto, static_cast<uint32_t>(T::Event) | kMade, type, node, bits);
    return proto;
}

// ---- The other slots ----

int32_t form(Cell*, Cell* buffer, Cell*, int32_t budget) { return string::emit(buffer, "event", budget); }

int32_t mold(Cell*, Cell* buffer, bool, bool, bool, Cell*, int32_t budget, int32_t) {
    return string::emit(buffer, "event", budget);
}

// Any two events are equal; they have no order.
int32_t compare(Cell*, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Event)) return kNotComparable;
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Same:
    case CompareOp::SortCase:
    case CompareOp::SortStrict:
    case CompareOp::FindEqual: return 0;
    default: return kNotComparable;
    }
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool, bool, bool notify) {
    Cell where;
    if (path) where = *path;
    else none::set(&where);
    const int32_t index = is_word(element) ? facet_index(element) : 0;
    if (!value) {
        if (index == 0) fire(Err::InvalidPath, &where, element);
        return facet(parent, static_cast<Facet>(index));
    }
    if (index != static_cast<int32_t>(Facet::Type)) fire(Err::BadPathSet, &where, element);
    if (!cell::is(value, T::Word)) fire(Err::BadPathSet, &where, value);
    parent->w1 = static_cast<uint32_t>(type_of_word(value));
    if (grandparent) path::store_back(parent, path, grandparent, element_cell, position, case_, notify);
    return value;
}

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    if (index_arg && is_word(index_arg)) {
        index = facet_index(index_arg);
        if (index == 0) fire(Err::CannotUse, index_arg, series);
    }
    if (index < 1 || index > kFacetCount) {
        Cell shown;
        if (index_arg) shown = *index_arg;
        else integer::set(&shown, index);
        fire(Err::OutOfRange, &shown);
    }
    return facet(series, static_cast<Facet>(index));
}

void mark(const Cell* value) {
    if (const NodeId node = block_of(value)) collector::mark_series(node);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Event,
    .parent = TypeId::Invalid,
    .name = "event!",
    .make = event::make,
    .form = event::form,
    .mold = event::mold,
    .path_access = event::path_access,
    .compare = event::compare,
    .pick = event::pick,
    .mark = event::mark,
};

// ---- Routines ----

uint64_t is_event(const uint64_t* args) { return cell::is(routines::arg_cell(args[0]), T::Event); }

uint64_t send_event_os(const uint64_t* args) {
    const Cell* e = routines::arg_cell(args[1]);
    if (!target_window(e) || !g_dispatch.send) return 0;
    return g_dispatch.send(e, args[0] != 0);
}

uint64_t find_flag(const uint64_t* args) {
    const Cell* facet_value = routines::arg_cell(args[1]);
    const SymId flag = canonical(routines::arg_cell(args[0]));
    if (cell::is(facet_value, T::Word)) return canonical(facet_value) == flag;
    if (!cell::is(facet_value, T::Block)) return 0;
    Cell b = *facet_value;
    const int32_t length = block::rs_length(&b);
    for (int32_t i = 0; i < length; i++) {
        const Cell* item = block::rs_head(&b) + i;
        if ((cell::is(item, T::Word) || cell::is(item, T::LitWord)) && canonical(item) == flag) return 1;
    }
    return 0;
}

}  // namespace

// ---- The cell and the ring ----

void set_os(Cell* c, Type type, uint32_t record, uint32_t word3) {
    cell::put(c, static_cast<uint32_t>(T::Event), static_cast<uint32_t>(type), record, word3);
}

uint32_t keep_message(const win::MSG& m) {
    const uint32_t record = g_next_record;
    g_next_record = (g_next_record + 1) & (kRecordCount - 1);
    g_records[record] = m;
    return record;
}

win::MSG& message(uint32_t record) { return g_records[record & (kRecordCount - 1)]; }

// ---- Lookups ----

const Cell* type_word(Type type) {
    const uint32_t id = static_cast<uint32_t>(type);
    if (id == 0 || id > static_cast<uint32_t>(kTypeCount)) return none::shared();
    return &name_word(kTypeWords[id - 1]);
}

Type type_of_word(const Cell* word) {
    const SymId sym = canonical(word);
    for (int32_t i = 0; i < kTypeCount; i++)
        if (is_name(name_word(kTypeWords[i]), sym)) return static_cast<Type>(i + 1);
    Cell named = *word;
    cell::set_header(&named, T::Word);
    fire(Err::NotEventType, &named);
}

uint32_t flag_bit(const Cell* word) {
    const SymId sym = canonical(word);
    for (const FlagName& f : kFlagNames)
        if (is_name(name_word(f.word), sym)) return f.bit;
    return 0;
}

// ---- Facets ----

const Cell* facet(const Cell* e, Facet f) {
    const uint32_t bits = flags_of(e);
    switch (f) {
    case Facet::Type: return stack::push(type_word(type_of(e)));
    case Facet::Face:
    case Facet::Window:
    case Facet::Offset:
    case Facet::Picked:
        if (!is_made(e)) return push_os_facet(e, f);
        return push_block_cell(e, f == Facet::Face ? kFace : f == Facet::Window ? kWindow
                                  : f == Facet::Offset                   ? kOffset
                                                                         : kPicked);
    case Facet::Key:
        if (!is_made(e)) return push_os_facet(e, f);
        return (bits & kKeyMask) ? character::push(bits & kKeyMask) : none::push();
    case Facet::Flags: return push_flags(bits);
    case Facet::Orientation: return push_orientation(e);
    default: break;
    }
    const int32_t test = static_cast<int32_t>(f) - static_cast<int32_t>(Facet::IsAway);
    return logic::push((bits & kFacetBits[test]) != 0);
}

void keep_flag_block() {
    static bool hooked = false;
    if (!hooked) collector::add_mark_hook(mark_flag_block);
    hooked = true;
}

uint32_t target_window(const Cell* e) {
    const NodeId node = cell::is(e, T::Event) ? block_of(e) : 0;
    if (!node) return 0;
    const Cell face = block::at(node, kFace);
    return cell::is(&face, T::Object) ? platform::face_window(&face) : 0;
}

// ---- Start-up ----

void init() {
    for (int32_t i = 0; i < kFacetCount; i++) g_facet_syms[i] = symbol::resolve(symbol::make_cstr(kFacetNames[i]));
    g_next_record = 0;
    for (win::MSG& m : g_records) m = win::MSG{};
    g_flag_block = 0;
    registry::register_type(kRecord);
    routines::bind("event?", "\"Returns true if the value is this type\" value [any-type!] return: [logic!]",
                   is_event, routines::kLogicResult);
    routines::bind("send-event-os",
                   "\"Sends a made event to its face's window as a message\" event [event!] queued? [logic!] "
                   "return: [logic!]",
                   send_event_os, routines::kLogicResult);
    routines::bind("find-flag?",
                   "\"Checks a flag in a face object\" facet [any-type!] flag [word!] return: [logic!]", find_flag,
                   routines::kLogicResult);
}

}  // namespace nuv::gui::event
