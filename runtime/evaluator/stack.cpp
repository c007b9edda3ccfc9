// The argument stack over its external block.
#include "runtime/evaluator/stack.h"

#include "runtime/cycles.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

namespace nuv::stack {

ArgStack g_args{};

void init(NodeId args_node) {
    memory::SeriesBuf* b = memory::buf(args_node);
    g_args.bottom = b->cells();
    g_args.top = g_args.bottom;
    g_args.base = g_args.bottom;
    g_args.end = g_args.bottom + b->size / sizeof(Cell);
}

Cell* reserve() {
    Cell* c = g_args.top++;
    if (g_args.top >= g_args.end) {
        drop(5);
        cycles::reset();
        fire(Err::StackOverflow);
    }
    return c;
}

Cell* push(const Cell* value) {
    Cell* c = reserve();
    *c = *value;
    return c;
}

}  // namespace nuv::stack
