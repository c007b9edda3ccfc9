// Argument checks and checked conversions shared by the datatypes and compiled code.
#include "runtime/support.h"

#include <cmath>
#include <cstring>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/frames.h"
#include "runtime/memory.h"
#include "runtime/stack.h"

namespace nuv {

void fire_expect_arg(TypeId type, int32_t arg) {
    Cell word;
    Cell caller = frames::caller_word(arg, &word);
    Cell datatype{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(type), 0, 0};
    fire(Err::ExpectArg, &caller, &datatype, &word);
}

bool typeset_has(const Cell* typeset, int type) {
    uint8_t bytes[12];
    std::memcpy(bytes, &typeset->w1, sizeof bytes);
    if (type < 0 || type >= 96) return false;
    return (bytes[type >> 3] & (0x80 >> (type & 7))) != 0;
}

Cell* type_check(const Cell* typeset, int32_t spec_index, Cell* value) {
    if (!typeset_has(typeset, static_cast<int>(cell::type_of(value))))
        fire_expect_arg(cell::type_of(value), spec_index);
    return value;
}

Cell* type_check_arg(int32_t slot, const Cell* typeset, int32_t spec_index) {
    Cell* value = stack::arg(slot < 0 ? 0 : slot);
    if (slot < 0) return value;
    return type_check(typeset, spec_index, value);
}

Cell* type_check_opt(const Cell* refinement, const Cell* typeset, int32_t spec_index, Cell* value) {
    if (refinement->w1 == 0) return value;
    return type_check(typeset, spec_index, value);
}

Cell* check_not_unset(int32_t spec_index, Cell* value) {
    if (cell::is(value, TypeId::Unset)) fire_expect_arg(TypeId::Unset, spec_index);
    return value;
}

int32_t float_to_int_checked(const Cell* value) {
    if (!cell::is(value, TypeId::Float)) return cell::get_int(value);
    double d = cell::get_double(value);
    if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0) {
        Cell copy = *value;
        fire(Err::OutOfRange, &copy);
    }
    return static_cast<int32_t>(d);  // in range: truncation toward zero is defined
}

void fire_bad_make(TypeId type, const Cell* spec) {
    Cell datatype{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(type), 0, 0};
    Cell copy = *spec;
    fire(Err::BadMakeArg, &datatype, &copy);
}

ByteOp byte_op_of(int32_t code) {
    switch (code) {
    case static_cast<int32_t>(ArithOp::Or):
    case static_cast<int32_t>(SetOp::Union): return ByteOp::Or;
    case static_cast<int32_t>(ArithOp::And):
    case static_cast<int32_t>(SetOp::Intersect): return ByteOp::And;
    case static_cast<int32_t>(ArithOp::Xor):
    case static_cast<int32_t>(SetOp::Difference): return ByteOp::Xor;
    case static_cast<int32_t>(SetOp::Exclude): return ByteOp::AndNot;
    default: fire_int(Err::InvalidArg, code);
    }
}

uint8_t* fill_pattern(uint8_t* target, size_t total, size_t pattern) {
    if (pattern == 0 || total <= pattern) return target + total;
    size_t filled = pattern;
    while (filled < total) {
        size_t run = filled < total - filled ? filled : total - filled;
        std::memcpy(target + filled, target, run);
        filled += run;
    }
    return target + total;
}

void refinement_args_init(const Cell* refinement, int32_t slot, int32_t count) {
    if (logic::value_is_true(refinement, false, nullptr)) {
        stack::arg(slot)->w1 = 1;
        return;
    }
    for (int32_t i = 1; i <= count; i++) cell::set_header(stack::arg(slot + i), TypeId::None);
}

Cell* block_select_stack(bool step, bool to_block) {
    Cell key = *stack::arg(0);
    Cell blk = *stack::arg(1);
    auto answer = [&](const Cell* value) {
        Cell* slot = step ? stack::reserve() : stack::arg(0);
        *slot = *value;
        return slot;
    };
    auto no_match = [&] { return step ? none::push() : none::set_result(); };
    if (cell::is(&key, TypeId::Block)) return no_match();
    NodeId node = cell::node(&blk);
    int32_t tail = static_cast<int32_t>(memory::buf(node)->used() / sizeof(Cell));
    int32_t stride = step ? 1 : 2;
    for (int32_t i = cell::head(&blk); i < tail; i += stride) {
        Cell candidate = memory::buf(node)->cells()[memory::buf(node)->offset / sizeof(Cell) + i];
        if (cell::type_of(&candidate) != cell::type_of(&key)) continue;
        if (!compare::value_compare(&candidate, &key, CompareOp::Equal)) continue;
        // The compare may have allocated: positions are re-read through the node.
        memory::SeriesBuf* b = memory::buf(node);
        Cell* cells = b->cells() + b->offset / sizeof(Cell);
        tail = static_cast<int32_t>(b->used() / sizeof(Cell));
        if (to_block) {
            for (int32_t j = i + 1; j < tail; j++)
                if (cell::is(&cells[j], TypeId::Block)) return answer(&cells[j]);
            Cell at_tail = blk;
            cell::set_head(&at_tail, tail);
            return answer(&at_tail);
        }
        return answer(i + 1 < tail ? &cells[i + 1] : &cells[i]);
    }
    return no_match();
}

Cell* form_value_push(const Cell* value, int32_t limit) {
    Cell copy = *value;
    Cell* held = stack::push(&copy);  // the stack never moves: the pointer stays valid
    Cell* out = stack::reserve();
    string::make_at(out, 16);
    auto form = lookup<&ActionRow::form>(held, ActionId::Form);
    form(held, out, nullptr, limit > 0 ? limit : kNoLimit);
    if (limit > 0 && string::length(out) > limit)
        string::trim_min(cell::node(out), static_cast<size_t>(cell::head(out) + limit));
    *held = *out;
    stack::drop(1);
    return held;
}

int32_t mold_indent(Cell* buffer, int32_t level, int32_t limit) {
    for (int32_t i = 0; i < level; i++) string::append_cstr(buffer, "    ");
    return limit - 4 * level;
}

const Cell* word_get_checked(const Cell* word) {
    const Cell* value = word::slot(word);
    if (cell::is(value, TypeId::Unset)) fire(Err::NoValue, word);
    return value;
}

void word_set_checked(Cell* word) {
    Cell value = *stack::top();
    if (cell::is(&value, TypeId::Unset)) fire(Err::NeedValue, word);
    word::set(word, &value);
}

void word_set_checked_drop(Cell* word) {
    word_set_checked(word);
    stack::reset();
}

void context_set_checked(NodeId ctx, int32_t index) {
    if (cell::is(stack::top(), TypeId::Unset)) {
        Cell word = *context::word_at(ctx, index);
        fire(Err::NeedValue, &word);
    }
    context::set_from_top(ctx, index);
}

void context_set_checked_drop(NodeId ctx, int32_t index) {
    context_set_checked(ctx, index);
    stack::reset();
}

void context_set_drop(NodeId ctx, int32_t index) {
    context::set_from_top(ctx, index);
    stack::reset();
}

const Cell* context_value_ptr(NodeId ctx, int32_t index) {
    if (!context::values_on_stack(ctx) && context::cell_of(ctx)->w2 == 0) {
        Cell word = *context::word_at(ctx, index);
        fire(Err::NotDefined, &word);
    }
    return context::values_at(ctx, index);
}

}  // namespace nuv
