// The argument stack: natives, actions and functions receive their arguments as consecutive
// cells from the arguments base; arguments[0] is also the result slot. The stack lives in an
// external buffer that never moves, so pointers to its cells stay valid.
// Invariant: bottom <= base <= top < end.
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

// Raises internal stack-overflow after backing the top off by 5 cells and emptying the cycle
// stack.
[[noreturn]] void overflow();
// Takes the next free cell, as unset!: a value that died there would otherwise be marked as
// what its node held, though the node may since hold another series. Raises stack-overflow
// (see overflow) when the stack is full, so at most kArgCells - 1 cells are ever in use.
inline Cell* reserve() {
    Cell* c = g_args.top++;
    if (g_args.top >= g_args.end) [[unlikely]] overflow();
    c->header = static_cast<uint32_t>(TypeId::Unset);
    return c;
}
inline Cell* push(const Cell* value) {
    Cell* c = g_args.top++;
    if (g_args.top >= g_args.end) [[unlikely]] overflow();
    *c = *value;
    return c;
}
inline Cell* top() { return g_args.top == g_args.bottom ? g_args.bottom : g_args.top - 1; }
inline TypeId top_type() { return cell::type_of(top()); }
inline void drop(int32_t n) {
    g_args.top = (g_args.top - g_args.bottom < n) ? g_args.bottom : g_args.top - n;
}
inline Cell* reset() { g_args.top = g_args.base; return g_args.base; }
inline Cell* keep_one() { g_args.top = g_args.base + 1; return g_args.base; }
inline Cell* arg(int32_t i) { return g_args.base + i; }
// Copies the value into arguments[0] and returns that cell.
inline Cell* set_last(const Cell* value) { return cell::copy(value, g_args.base); }
// Copies the value into arguments[0] and drops everything above it.
inline Cell* set_result(const Cell* value) {
    cell::copy(value, g_args.base);
    return keep_one();
}
// An error! last pushed becomes arguments[0]; either way only arguments[0] stays.
inline Cell* keep_result() {
    if (g_args.top > g_args.base && cell::is(g_args.top - 1, TypeId::Error))
        cell::copy(g_args.top - 1, g_args.base);
    return keep_one();
}

// A position as a cell index from the bottom (what call frames and function contexts keep),
// and back.
inline uint32_t index_of(const Cell* c) { return static_cast<uint32_t>(c - g_args.bottom); }
inline Cell* at_index(uint32_t index) { return g_args.bottom + index; }

// Saves and restores the stack positions around a call made from runtime code or a test.
struct Mark {
    Cell* top;
    Cell* base;
    Mark() : top(g_args.top), base(g_args.base) {}
    void restore() const { g_args.top = top; g_args.base = base; }
};

}  // namespace nuv::stack
