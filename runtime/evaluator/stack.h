// The argument stack: natives, actions and functions receive their arguments as consecutive
// cells from the arguments base; arguments[0] is also the result slot. The stack lives in an
// external buffer that never moves, so pointers to its cells stay valid.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::stack {

inline constexpr int32_t kArgCells = 20000;
inline constexpr int32_t kFrameCells = 15000;

struct ArgStack {
    Cell* bottom;
    Cell* top;   // next free cell
    Cell* end;
    Cell* base;  // arguments[0] of the current call
};
extern ArgStack g_args;

// Sets the stack up over the cells of the arguments block.
void init(NodeId args_node);

// Takes the next free cell; its content is whatever was there. Raises internal
// stack-overflow (after backing the top off by 5 cells) when the stack is full.
Cell* reserve();
Cell* push(const Cell* value);
inline Cell* top() { return g_args.top == g_args.bottom ? g_args.bottom : g_args.top - 1; }
inline void drop(int32_t n) {
    g_args.top = (g_args.top - g_args.bottom < n) ? g_args.bottom : g_args.top - n;
}
inline Cell* reset() { g_args.top = g_args.base; return g_args.base; }
inline Cell* keep_one() { g_args.top = g_args.base + 1; return g_args.base; }
inline Cell* arg(int32_t i) { return g_args.base + i; }
// Copies the value into arguments[0] and returns that cell.
inline Cell* set_last(const Cell* value) { return cell::copy(value, g_args.base); }

// Saves and restores the stack positions around a call made from runtime code or a test.
struct Mark {
    Cell* top;
    Cell* base;
    Mark() : top(g_args.top), base(g_args.base) {}
    void restore() const { g_args.top = top; g_args.base = base; }
};

}  // namespace nuv::stack
