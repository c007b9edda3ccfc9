// The path family and paren!: make and to, form and mold, and the five registration records.
// Everything else is the block! slot the record inherits.
#include "runtime/datatypes/path.h"

#include <algorithm>
#include <iterator>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::path {

namespace {

using T = TypeId;

struct Sigils {
    const char* prefix;
    const char* suffix;
};
// By type id from path! on: path!, lit-path!, set-path!, get-path!.
constexpr Sigils kSigils[] = {{"", ""}, {"'", ""}, {"", ":"}, {":", ""}};
static_assert(type_index(T::GetPath) - type_index(T::Path) + 1 == std::size(kSigils));

// The elements from the head, formed or molded, separated by "/"; the path is on the cycle
// stack meanwhile.
int32_t each(const Cell& self, Cell* buffer, bool mold, bool only, bool all, bool flat,
             Cell* part, int32_t budget) {
    cycles::Guard guard;
    const NodeId node = cell::node(&self);
    cycles::push(node);
    const int32_t head = block::head_index(&self);
    for (int32_t i = head; i < block::count(node); i++) {
        if (part && budget <= 0) break;
        if (i > head) budget = string::emit(buffer, "/", budget);
        Cell item = block::at(node, i);
        budget = mold ? lookup<&ActionRow::mold>(&item, ActionId::Mold)(&item, buffer, only, all,
                                                                         flat, part, budget, 0)
                      : lookup<&ActionRow::form>(&item, ActionId::Form)(&item, buffer, part, budget);
    }
    return budget;
}

// Where the cell lies among the cells of the block, counted like heads; -1 when it lies
// elsewhere. No allocation.
int32_t index_in(const Cell* block, const Cell* c) {
    const Cell* first = block::rs_abs_at(block, 0);
    return c >= first && c < block::rs_tail(block) ? static_cast<int32_t>(c - first) : -1;
}

}  // namespace

void store_back(Cell* value, Cell* path, Cell* holder, Cell* element, int32_t position,
                bool case_, bool notify, const Cell* notice_value, int32_t notice_index) {
    if (!element) {
        if (cell::is(holder, TypeId::Word)) word::set(holder, value);
        return;
    }
    const TypeId t = cell::type_of(holder);
    const slot::PathAccess access = registry::row(t).path_access;
    if (!access) return;
    if (series::is_any_block(t) && t != TypeId::Hash) {
        const Cell* at = access(holder, element, nullptr, path, nullptr, nullptr, position - 1,
                                case_, false, false, false);
        const int32_t index = index_in(holder, at);
        if (index >= 0) {
            block::write_cells(cell::node(holder))[index] = *value;
            if (notify)
                ownership::check(holder, words::w::set_path, notice_value ? notice_value : value,
                                 notice_index >= 0 ? notice_index : index, 1);
            return;
        }
    }
    access(holder, element, value, path, nullptr, nullptr, position - 1, case_, false, true, notify);
}

Cell* push_copy(const Cell* value, TypeId type) {
    Cell* copy = stack::push(value);
    cell::set_header(copy, type);
    return copy;
}

Cell* make_at(Cell* cell, int32_t size) {
    block::make_at(cell, size);
    cell::set_header(cell, T::Path);
    return cell;
}

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    const Cell given = *spec;
    const TypeId t = cell::type_of(&given);
    if (series::is_any_block(t)) return block::make(proto, spec, type);
    if (t != T::Integer && t != T::Float && t != T::Percent) fire_bad_make(type, &given);
    Cell size = given;
    if (t == T::Percent) cell::set_type(&size, T::Float);  // truncated as a float
    block::make_at(proto, std::max(float_to_int_checked(&size), 1));
    cell::set_header(proto, type);
    return proto;
}

Cell* to(Cell* proto, Cell* spec, TypeId type) {
    const Cell given = *spec;
    const TypeId t = cell::type_of(&given);
    if (t != T::Map && t != T::Object && t != T::Typeset) return block::to(proto, spec, type);
    block::make_at(proto, 1);
    block::append_cell(proto, &given);
    cell::set_header(proto, type);
    return proto;
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, false)) return budget;
    return each(self, buffer, false, false, false, false, part, budget);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, true)) return budget;
    const Sigils& sigils = kSigils[type_index(cell::type_of(&self)) - type_index(T::Path)];
    if (*sigils.prefix) budget = string::emit(buffer, sigils.prefix, budget);
    budget = each(self, buffer, true, only, all, flat, part, budget);
    if (*sigils.suffix) budget = string::emit(buffer, sigils.suffix, budget);
    return budget;
}

int32_t paren_mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                   int32_t budget, int32_t indent) {
    Cell self = *value;
    if (cycles::detect(&self, buffer, budget, true)) return budget;
    if (!only) budget = string::emit(buffer, "(", budget);
    budget = block::mold_each(&self, buffer, only, all, flat, part, budget, indent);
    if (!only) budget = string::emit(buffer, ")", budget);
    return budget;
}

namespace {
// A block's cells, and so everything they refer to.
void mark(const Cell* value) { collector::mark_series(cell::node(value)); }
}  // namespace

// ---- Registration ----

constexpr TypeRecord kParenRecord{
    .id = T::Paren,
    .parent = T::Block,
    .name = "paren!",
    .make = kInherited,
    .random = kInherited,
    .reflect = kInherited,
    .to = kInherited,
    .form = kInherited,
    .mold = path::paren_mold,
    .path_access = kInherited,
    .compare = kInherited,
    .append = kInherited,
    .at = kInherited,
    .back = kInherited,
    .change = kInherited,
    .clear = kInherited,
    .copy = kInherited,
    .find = kInherited,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = kInherited,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .put = kInherited,
    .remove = kInherited,
    .reverse = kInherited,
    .select = kInherited,
    .sort = kInherited,
    .skip = kInherited,
    .swap = kInherited,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = kInherited,
    .trim = kInherited,
    .modify = kInherited,
    .mark = mark,
};

// random, sort and trim are left out: a path is not reordered.
constexpr TypeRecord kRecord{
    .id = T::Path,
    .parent = T::Block,
    .name = "path!",
    .make = path::make,
    .reflect = kInherited,
    .to = path::to,
    .form = path::form,
    .mold = path::mold,
    .path_access = kInherited,
    .compare = kInherited,
    .append = kInherited,
    .at = kInherited,
    .back = kInherited,
    .change = kInherited,
    .clear = kInherited,
    .copy = block::copy,  // the copy keeps the path's type
    .find = kInherited,
    .head = kInherited,
    .head_q = kInherited,
    .index_q = kInherited,
    .insert = kInherited,
    .length_q = kInherited,
    .move = kInherited,
    .next = kInherited,
    .pick = kInherited,
    .poke = kInherited,
    .put = kInherited,
    .remove = kInherited,
    .reverse = kInherited,
    .select = kInherited,
    .skip = kInherited,
    .swap = kInherited,
    .tail = kInherited,
    .tail_q = kInherited,
    .take = kInherited,
    .modify = kInherited,
    .mark = mark,
};

// The path! children: every slot of path! but mold.
consteval TypeRecord child_of_path(TypeId id, const char* name) {
    return TypeRecord{
        .id = id,
        .parent = T::Path,
        .name = name,
        .make = kInherited,
        .reflect = kInherited,
        .to = kInherited,
        .form = kInherited,
        .mold = path::mold,
        .path_access = kInherited,
        .compare = kInherited,
        .append = kInherited,
        .at = kInherited,
        .back = kInherited,
        .change = kInherited,
        .clear = kInherited,
        .copy = kInherited,
        .find = kInherited,
        .head = kInherited,
        .head_q = kInherited,
        .index_q = kInherited,
        .insert = kInherited,
        .length_q = kInherited,
        .move = kInherited,
        .next = kInherited,
        .pick = kInherited,
        .poke = kInherited,
        .put = kInherited,
        .remove = kInherited,
        .reverse = kInherited,
        .select = kInherited,
        .skip = kInherited,
        .swap = kInherited,
        .tail = kInherited,
        .tail_q = kInherited,
        .take = kInherited,
        .modify = kInherited,
        .mark = mark,
    };
}
constexpr TypeRecord kLitPathRecord = child_of_path(T::LitPath, "lit-path!");
constexpr TypeRecord kSetPathRecord = child_of_path(T::SetPath, "set-path!");
constexpr TypeRecord kGetPathRecord = child_of_path(T::GetPath, "get-path!");

void init() {
    registry::register_type(kRecord);
    registry::register_type(kLitPathRecord);
    registry::register_type(kSetPathRecord);
    registry::register_type(kGetPathRecord);
}

void init_paren() { registry::register_type(kParenRecord); }

}  // namespace nuv::path
