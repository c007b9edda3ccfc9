// The argument stack over its external block.
#include "runtime/stack.h"

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

void overflow() {
    drop(5);
    cycles::reset();
    fire(Err::StackOverflow);
}

}  // namespace nuv::stack
