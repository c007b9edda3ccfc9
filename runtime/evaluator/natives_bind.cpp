// bind, in, context?, construct and extend. Contexts are read from the values that own them:
// an object's word 1, a function's word 1, a word's binding.
#include "runtime/evaluator/natives_bind.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::natives_bind {

namespace {

using T = TypeId;

bool is_flag(const int32_t* refinements, int32_t k) { return refinements[k] >= 0; }

// The word types binding applies to.
bool is_bindable_word(T t) { return t >= T::Word && t <= T::Refinement; }

// The context of a function value (an op! through what it wraps), or 0 for natives and actions,
// whose spec context no word can reach.
NodeId function_context(const Cell* value) {
    const T t = cell::is(value, T::Op) ? native::op_source(value) : cell::type_of(value);
    return t == T::Function || t == T::Routine ? function::context_of(value) : 0;
}

bool has_self(NodeId ctx) { return (context::cell_of(ctx)->header & context::kHasSelf) != 0; }

}  // namespace

void bind(bool, const int32_t* refinements) {
    Cell* target = stack::arg(0);
    const Cell* source = stack::arg(1);
    NodeId ctx = 0;
    const T from = cell::type_of(source);
    if (is_bindable_word(from)) {
        ctx = source->w1;
        if (ctx == 0) fire(Err::NotDefined, source);
    } else if (object::has_object_layout(from)) {
        ctx = object::context_of(source);
    } else if (from == T::Function) {
        ctx = function::context_of(source);
    } else {
        fire_expect_arg(from, 1);
    }
    const bool self = has_self(ctx);
    const T type = cell::type_of(target);
    if (type == T::Block) {
        Cell* bound = is_flag(refinements, 0) ? block::copy_deep(target, true, true) : target;
        context::bind_block(bound, ctx, self);
        stack::set_result(bound);
        return;
    }
    if (!is_bindable_word(type)) fire_expect_arg(type, 0);
    // As inside a bound block: a word! spelled exactly `self` reads the object itself.
    if (self && type == T::Word && target->w2 == words::sym::self) {
        target->w1 = ctx;
        target->w3 = word::kNoIndex;
    } else {
        context::bind_word(ctx, target);
    }
    stack::keep_one();
}

void in(bool, const int32_t*) {
    const Cell* holder = stack::arg(0);
    Cell* word = stack::arg(1);
    const T from = cell::type_of(holder);
    const NodeId ctx = object::has_object_layout(from) ? object::context_of(holder) : function_context(holder);
    if (!is_bindable_word(cell::type_of(word))) fire_expect_arg(cell::type_of(word), 1);
    const int32_t slot = ctx ? context::find_word(ctx, word->w2, true) : -1;
    if (slot < 0) {
        stack::set_result(none::shared());
        return;
    }
    Cell bound = *word;
    if (cell::is(&bound, T::Refinement)) cell::set_type(&bound, T::Word);
    bound.w1 = ctx;
    bound.w3 = static_cast<uint32_t>(slot);
    stack::set_result(&bound);
}

void is_context(bool, const int32_t*) {
    const Cell* word = stack::arg(0);
    const NodeId ctx = word->w1;
    if (ctx == 0) {
        stack::set_result(none::shared());
        return;
    }
    const Cell owner = *context::owner(ctx);
    // The global context's owner is the object view of it that the system object provides.
    if (ctx == context::global() && !cell::is(&owner, T::Object)) fire(Err::NotDone);
    stack::set_result(cell::is(&owner, T::Unset) ? none::shared() : &owner);
}

void construct(bool, const int32_t* refinements) {
    const Cell* spec = stack::arg(0);
    if (!cell::is(spec, T::Block)) fire_expect_arg(cell::type_of(spec), 0);
    const Cell* proto = is_flag(refinements, 0) ? stack::arg(refinements[0]) : nullptr;
    if (proto && !cell::is(proto, T::Object)) fire_expect_arg(cell::type_of(proto), 1);
    Cell* made = stack::push(none::shared());
    object::construct(made, spec, proto, is_flag(refinements, 1));
    stack::set_result(made);
}

// Objects do not grow in place. A map! spec gives its live entries.
void extend(bool, const int32_t* refinements) {
    const T type = cell::type_of(stack::arg(0));
    if (type != T::Object && type != T::Map) fire_expect_arg(type, 0);
    if (type == T::Object) fire(Err::NotDone);
    const Cell* spec = stack::arg(1);
    if (cell::is(spec, T::Map)) spec = map::push_body(spec, false);
    map::extend_block(stack::arg(0), spec, is_flag(refinements, 0));
    stack::keep_one();
}

}  // namespace nuv::natives_bind
