// What the natives that evaluate blocks share: the argument type check and the frame their
// blocks run under.
#pragma once
#include <cstdint>
#include <optional>

#include "runtime/cell.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::natives {

// Raises script expect-arg unless arguments[index] is of the type; the index is the argument's
// number in the spec too (a leading argument, or the arguments of a lone refinement).
inline void need_type(int32_t index, TypeId type) {
    if (!cell::is(stack::arg(index), type)) fire_expect_arg(cell::type_of(stack::arg(index)), index);
}

// arguments[index], the argument top raised above it when it lies there or higher.
inline Cell* arg_slot(int32_t index) {
    Cell* cell = stack::arg(index);
    if (stack::g_args.top <= cell) stack::g_args.top = cell + 1;
    return cell;
}

// A frame pushed above the native's first `count` arguments, which stay where they are: its
// arguments[0] receives each block's value and the value an exit aimed at it leaves.
class BlockFrame {
  public:
    BlockFrame(int32_t count, const Cell* name, uint32_t header)
        : owner_((arg_slot(count - 1), name), header) {}
    // Evaluates the block (a stable stack cell) into the frame's arguments[0]; answers the kind
    // of an exit aimed at this frame, if one ended it.
    std::optional<UnwindKind> run(const Cell* block) const {
        return owner_.run([block] {
            stack::reset();
            interp::eval_block(block, false);
        });
    }
    const Cell* value() const { return stack::arg(0); }

  private:
    frames::Owner owner_;
};

}  // namespace nuv::natives
