// Conditionals over blocks, the function makers and the function exits.
#include "runtime/evaluator/natives_core.h"

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/native_support.h"
#include "runtime/evaluator/truth.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::natives_core {

namespace {

using T = TypeId;

void need_block(int32_t index) { natives::need_type(index, T::Block); }

// Runs the block so that its value lands in arguments[0].
void run_into_result(const Cell* block) {
    const Cell held = *block;
    interp::eval_in_frame(&held);
}

// Makes the function from the spec and body cells (stable stack cells) into arguments[0].
void make_function(const Cell* spec, const Cell* body) {
    const uint32_t flags = function::validate_spec(spec);
    function::make_value(spec, body, 0, 0, 0, flags);
    stack::set_result(stack::top());
}

}  // namespace

void if_(bool, const int32_t*) {
    need_block(1);
    if (truth::holds(stack::arg(0))) {
        run_into_result(stack::arg(1));
    } else {
        stack::set_result(none::shared());
    }
}

void either(bool, const int32_t*) {
    need_block(1);
    need_block(2);
    run_into_result(stack::arg(truth::holds_strict(stack::arg(0)) ? 1 : 2));
}

void func(bool, const int32_t*) {
    need_block(0);
    need_block(1);
    make_function(stack::arg(0), stack::arg(1));
}

void function(bool, const int32_t*) {
    need_block(0);
    need_block(1);
    Cell* spec = block::copy_deep(stack::arg(0), false, false);  // the source spec stays as written
    function::collect_locals(spec, stack::arg(1));
    make_function(spec, stack::arg(1));
}

void does(bool, const int32_t*) {
    need_block(0);
    Cell* spec = block::push_new(0);
    make_function(spec, stack::arg(0));
}

void has(bool, const int32_t*) {
    need_block(0);
    need_block(1);
    Cell* spec = block::push_new(block::rs_length(stack::arg(0)) + 1);
    block::append_cell(spec, &words::ref::local);
    block::append_all(spec, stack::arg(0));
    make_function(spec, stack::arg(1));
}

void exit(bool, const int32_t*) { frames::return_unwind(false); }
void return_(bool, const int32_t*) { frames::return_unwind(true); }

}  // namespace nuv::natives_core
