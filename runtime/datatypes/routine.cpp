// routine!: making the value and its slots. Calling it belongs to the routine table
// (runtime/evaluator/routines).
#include "runtime/datatypes/routine.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/stack.h"

namespace nuv::routine {

namespace {

using T = TypeId;

Cell int_cell(int32_t v) { return Cell{static_cast<uint32_t>(T::Integer), 0, static_cast<uint32_t>(v), 0}; }

}  // namespace

int32_t entry_of(const Cell* routine) { return cell::get_int(function::info(routine, function::Info::Entry)); }

int32_t second_of(const Cell* routine) { return cell::get_int(function::info(routine, function::Info::Second)); }

Cell* make_value(const Cell* spec_in, const Cell* body_in, int32_t entry, int32_t second, bool flag) {
    const Cell whole = *spec_in;
    const NodeId sn = cell::node(&whole);
    int32_t words = 0;
    for (int32_t i = block::head_index(&whole); i < block::count(sn); i++)
        if (cell::is(&block::raw_cells(sn)[i], T::Word)) words++;
    // The count has five header bits; a longer spec would spill into the new-line marker.
    if (words > kMaxArgs) fire(Err::BadFuncDef, &whole);
    Cell* result = stack::push(none::shared());
    Cell* spec = stack::push(&whole);
    Cell* body = stack::push(body_in ? body_in : none::shared());
    cell::set_head(spec, block::head_index(spec));
    if (cell::head(spec) != 0) {
        Cell* copied = block::copy_deep(spec, false, false);
        *spec = *copied;
        spec->header = static_cast<uint32_t>(T::Block);
    }
    Cell* info = block::push_new(5);
    block::append_cell(info, body);
    block::append_cell(info, unset::shared());
    const Cell entry_cell = int_cell(entry);
    block::append_cell(info, &entry_cell);
    block::append_cell(info, unset::shared());
    const Cell second_cell = int_cell(second);
    block::append_cell(info, &second_cell);
    const NodeId ctx = context::make_from_spec(spec, true, false, context::Kind::Function);
    const uint32_t header = static_cast<uint32_t>(T::Routine) | (flag ? kMakerFlag : 0) |
                            (static_cast<uint32_t>(words) << kArgCountShift);
    *result = Cell{header, ctx, cell::node(spec), cell::node(info)};
    *context::owner(ctx) = *result;
    stack::g_args.top = result + 1;
    return result;
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t budget) { return string::emit(buffer, "?routine?", budget); }

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t budget,
             int32_t indent) {
    Cell spec{static_cast<uint32_t>(T::Block), 0, function::spec_node(value), 0};
    budget = string::emit(buffer, "routine ", budget);
    budget = block::mold(&spec, buffer, false, all, flat, part, budget, indent);
    Cell body = function::body_of(value);
    if (cell::is(&body, T::Block)) return block::mold(&body, buffer, false, all, flat, part, budget, indent);
    budget = string::emit(buffer, " ", budget);
    return lookup<&ActionRow::mold>(&body, ActionId::Mold)(&body, buffer, false, all, flat, part, budget,
                                                          indent);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Routine)) return kNotComparable;
    switch (static_cast<int32_t>(op)) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12: break;
    default: return kNotComparable;
    }
    const int32_t x = static_cast<int32_t>(a->w3);
    const int32_t y = static_cast<int32_t>(b->w3);
    return x < y ? -1 : x > y ? 1 : 0;
}


constexpr TypeRecord kRecord{
    .id = TypeId::Routine,
    .parent = TypeId::Function,
    .name = "routine!",
    .reflect = kInherited,
    .form = routine::form,
    .mold = routine::mold,
    .compare = routine::compare,
    .mark = function::mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::routine
