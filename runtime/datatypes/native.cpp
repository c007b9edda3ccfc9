// native!, action! and op!: making from a table index, the operator wrapper, and the slots
// shared by the three. Calling them is the interpreter's work.
#include "runtime/datatypes/native.h"

#include <algorithm>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::native {

namespace {

using T = TypeId;

Cell block_cell(NodeId node) { return Cell{static_cast<uint32_t>(T::Block), 0, node, 0}; }

// The spec each table entry was defined with at start-up: cell index-1 of the actions' part,
// then kNativeSlots cells for the natives; none where no entry is defined. A block kept in the
// root block, made on the first definition of a runtime start.
Cell* g_entry_specs = nullptr;
constexpr int32_t kEntrySlots = kActionCount + kNativeSlots;

// The cell index in the specs block, or -1.
int32_t entry_spec_index(T type, int32_t index) {
    const int32_t limit = type == T::Action ? kActionCount : kNativeSlots;
    if (!g_entry_specs || index < 1 || index > limit) return -1;
    return (type == T::Action ? 0 : kActionCount) + index - 1;
}
const Cell* entry_spec_slot(T type, int32_t index) {
    const int32_t at = entry_spec_index(type, index);
    return at < 0 ? nullptr : block::raw_cells(cell::node(g_entry_specs)) + at;
}

// The types each argument of a spec takes, and a none cell for each refinement; an argument
// written without types takes every type code can hand over (the types no value in code has,
// the storage types and the abstract series! parent, are left out, as any-type! leaves them).
std::vector<Cell> types_of(const Cell* spec) {
    std::vector<Cell> types;
    for (const SpecEntry& e : spec_entries(cell::node(spec), block::head_index(spec), false)) {
        Cell set = *none::shared();
        if (e.typed) {
            typeset::from_block(&e.types, &set);
        } else if (!cell::is(&e.word, T::Refinement)) {
            typeset::set_all(&set);
            for (T none_in_code : {T::Symbol, T::Context, T::Triple, T::Series})
                typeset::remove(&set, none_in_code);
        }
        types.push_back(set);
    }
    return types;
}

// Whether a spec can stand for the entry's own: the same arguments and refinements in the same
// order, each argument taking no type the entry's does not take (the entry reads its arguments
// as the types its spec names, so a wider list would hand it values it cannot read).
bool fits_entry(const Cell* spec, const Cell* entry_spec) {
    const std::vector<Cell> given = types_of(spec);
    const std::vector<Cell> own = types_of(entry_spec);
    if (given.size() != own.size()) return false;
    for (size_t k = 0; k < given.size(); k++) {
        const bool refinement = cell::is(&given[k], T::None);
        if (refinement != cell::is(&own[k], T::None)) return false;
        if (!refinement && !typeset::is_subset(&given[k], &own[k])) return false;
    }
    return true;
}

// Two leading arguments, read up to the end, a set-word! or /local or /extern: a word! counts;
// a lit-word! or get-word! counts only after a word!; any other refinement disqualifies.
bool has_two_arguments(NodeId spec) {
    const SymId local = symbol::resolve(words::ref::local.w2);
    const SymId extern_ = symbol::resolve(words::ref::extern_.w2);
    int32_t count = 0;
    bool word_seen = false;
    const int32_t n = block::count(spec);
    for (int32_t i = 0; i < n; i++) {
        const Cell item = block::at(spec, i);
        const T t = cell::type_of(&item);
        if (t == T::SetWord) break;
        if (t == T::Refinement) {
            const SymId s = symbol::resolve(word::symbol_of(&item));
            if (s == local || s == extern_) break;
            return false;
        }
        if (t == T::Word) {
            word_seen = true;
            count++;
        } else if (t == T::LitWord || t == T::GetWord) {
            if (!word_seen) return false;
            count++;
        }
    }
    return count == 2;
}

}  // namespace

std::vector<SpecEntry> spec_entries(NodeId spec, int32_t from, bool check) {
    const SymId local = symbol::resolve(words::ref::local.w2);
    const SymId return_ = symbol::resolve(words::sym::return_);
    std::vector<SpecEntry> entries;
    bool in_locals = false;
    const int32_t n = block::count(spec);
    for (int32_t i = std::max(from, 0); i < n; i++) {
        const Cell item = block::at(spec, i);
        const bool types_follow = i + 1 < n && cell::is(&block::raw_cells(spec)[i + 1], T::Block);
        switch (cell::type_of(&item)) {
        case T::Word:
        case T::GetWord:
        case T::LitWord:
            if (in_locals) break;
            entries.push_back(SpecEntry{item, types_follow, types_follow ? block::at(spec, i + 1) : Cell{}});
            i += types_follow;
            break;
        case T::SetWord:
            if (check && symbol::resolve(word::symbol_of(&item)) != return_) fire(Err::BadFuncDef, &item);
            in_locals = false;
            i += types_follow;
            break;
        case T::Refinement:
            in_locals = symbol::resolve(word::symbol_of(&item)) == local;
            if (!in_locals) entries.push_back(SpecEntry{item, false, Cell{}});
            break;
        default: break;
        }
    }
    return entries;
}

Cell* make_value(Cell* out, T type, const Cell* spec, int32_t index, const Cell* arg) {
    const Cell* entry = entry_spec_slot(type, index);
    if (!entry || !cell::is(entry, T::Block) || !fits_entry(spec, entry)) {
        Cell proto;
        datatype::set(&proto, type);
        fire(Err::BadMakeArg, &proto, arg);
    }
    return make_unchecked(out, type, spec, index);
}

void define_entry(T type, const Cell* spec, int32_t index) {
    if (!g_entry_specs) {
        Cell* specs = block::push_new(kEntrySlots);
        for (int32_t k = 0; k < kEntrySlots; k++) block::append_cell(specs, none::shared());
        g_entry_specs = word::keep(specs);
        stack::drop(1);
    }
    const int32_t at = entry_spec_index(type, index);
    if (at < 0) fatal("a native table entry out of range", 1);
    Cell head = *spec;
    cell::set_type(&head, T::Block);
    block::write_cells(cell::node(g_entry_specs))[at] = head;
}

Cell* make_unchecked(Cell* out, T type, const Cell* spec, int32_t index) {
    Cell spec_head = block_cell(cell::node(spec));
    cell::set_head(&spec_head, block::head_index(spec));
    Cell* info = block::push_new(2);  // keeps the new block reachable while the context is made
    const NodeId ctx = context::make_from_spec(&spec_head, true, false, context::Kind::Function);
    block::append_cell(info, context::cell_of(ctx));
    block::append_cell(info, none::shared());
    *out = Cell{static_cast<uint32_t>(type), static_cast<uint32_t>(index), cell::node(spec),
                cell::node(info)};
    stack::drop(1);
    return out;
}

namespace {
// The spec block and the index of a `[spec index]` make argument.
struct MakeSpec {
    T type;
    Cell spec;
    int32_t index;
};
MakeSpec read_make_spec(Cell* proto, Cell* spec, T type) {
    const T made = cell::is(proto, T::Datatype) ? static_cast<T>(proto->w1) : type;
    if (!cell::is(spec, T::Block) || block::rs_length(spec) != 2) fire(Err::BadMakeArg, proto, spec);
    const int32_t head = block::head_index(spec);
    const Cell first = block::at(cell::node(spec), head);
    const Cell second = block::at(cell::node(spec), head + 1);
    if (!cell::is(&first, T::Block) || !cell::is(&second, T::Integer)) fire(Err::BadMakeArg, proto, spec);
    return MakeSpec{made, first, cell::get_int(&second)};
}
}  // namespace

Cell* make(Cell* proto, Cell* spec, T type) {
    const MakeSpec m = read_make_spec(proto, spec, type);
    Cell argument = *spec;
    return make_value(proto, m.type, &m.spec, m.index, &argument);
}

Cell* define(Cell* proto, Cell* spec, T type) {
    const MakeSpec m = read_make_spec(proto, spec, type);
    define_entry(m.type, &m.spec, m.index);
    return make_unchecked(proto, m.type, &m.spec, m.index);
}

void reflect(Cell* value, SymId field) {
    const SymId f = symbol::resolve(field);
    if (f == symbol::resolve(words::sym::spec)) {
        const Cell spec = block_cell(spec_node(value));
        stack::set_last(&spec);
        return;
    }
    if (f != symbol::resolve(words::sym::body)) fire(Err::NotDone);
    const T source = cell::is(value, T::Op) ? op_source(value) : cell::type_of(value);
    if (source == T::Function || source == T::Routine) {
        const Cell body = function::body_of(value);
        stack::set_last(&body);
        return;
    }
    Cell index{static_cast<uint32_t>(T::Integer), 0, value->w1, 0};
    stack::set_last(&index);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    switch (cell::type_of(value)) {
    case T::Action: return string::emit(buffer, "?action?", budget);
    case T::Op: return string::emit(buffer, "?op?", budget);
    default: return string::emit(buffer, "?native?", budget);
    }
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    const T type = cell::type_of(value);
    Cell spec = block_cell(spec_node(value));
    if (type == T::Op) {
        const bool func = op_source(value) == T::Function;
        budget = string::emit(buffer, func ? "make op! func " : "make op! [", budget);
        budget = block::mold(&spec, buffer, only, all, flat, part, budget, indent);
        if (!func) return string::emit(buffer, "]", budget);
        Cell body = function::body_of(value);
        if (!cell::is(&body, T::Block)) return budget;
        return block::mold(&body, buffer, only, all, flat, part, budget, indent);
    }
    budget = string::emit(buffer, type == T::Action ? "make action! [" : "make native! [", budget);
    budget = block::mold(&spec, buffer, only, all, flat, part, budget, indent);
    return string::emit(buffer, "]", budget);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (cell::type_of(a) != cell::type_of(b)) return kNotComparable;
    switch (static_cast<int32_t>(op)) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12: break;
    default: return kNotComparable;
    }
    // Natives and actions are equal when they run the same entry; functions and ops made from
    // them when they share the information block.
    const bool by_entry = cell::is(a, T::Native) || cell::is(a, T::Action) ||
                          (cell::is(a, T::Op) && (op_source(a) == T::Native || op_source(a) == T::Action));
    const int32_t x = static_cast<int32_t>(by_entry ? a->w1 : a->w3);
    const int32_t y = static_cast<int32_t>(by_entry ? b->w1 : b->w3);
    if (by_entry && op_source(a) != op_source(b)) return kNotComparable;
    return x < y ? -1 : x > y ? 1 : 0;
}

Cell* op_make(Cell* proto, Cell* source, T) {
    const T t = cell::type_of(source);
    if (!is_callable(t)) {
        Cell type;
        datatype::set(&type, t);
        fire(Err::InvalidType, &type);
    }
    if (!has_two_arguments(spec_node(source))) fire(Err::BadOpSpec);
    if (t == T::Function || t == T::Routine) function::set_op_source(source);
    Cell op = *source;
    op.header = static_cast<uint32_t>(T::Op) | (static_cast<uint32_t>(t) << kSourceShift);
    *proto = op;
    return proto;
}

namespace {
// The spec block and the information block (word 1 is a table index).
void mark(const Cell* value) {
    collector::mark_series(spec_node(value));
    collector::mark_series(info_node(value));
}
// An op! has its source's layout: a function's or routine's also names its context.
void op_mark(const Cell* value) {
    const TypeId source = op_source(value);
    if (source == T::Function || source == T::Routine) collector::mark_series(value->w1);
    mark(value);
}
}  // namespace

constexpr TypeRecord kNativeRecord{
    .id = TypeId::Native,
    .parent = TypeId::Invalid,
    .name = "native!",
    .make = native::make,
    .reflect = native::reflect,
    .form = native::form,
    .mold = native::mold,
    .compare = native::compare,
    .mark = mark,
};

constexpr TypeRecord kActionRecord{
    .id = TypeId::Action,
    .parent = TypeId::Native,
    .name = "action!",
    .make = native::make,
    .reflect = kInherited,
    .form = native::form,
    .mold = native::mold,
    .compare = native::compare,
    .mark = mark,
};

constexpr TypeRecord kOpRecord{
    .id = TypeId::Op,
    .parent = TypeId::Native,
    .name = "op!",
    .make = native::op_make,
    .reflect = kInherited,
    .form = native::form,
    .mold = native::mold,
    .compare = native::compare,
    .mark = op_mark,
};

void init() {
    g_entry_specs = nullptr;
    registry::register_type(kNativeRecord);
    registry::register_type(kActionRecord);
    registry::register_type(kOpRecord);
}

}  // namespace nuv::native
