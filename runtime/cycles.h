// The cycle stack: the series and contexts a recursive walk (mold, form, compare, deep copy,
// ownership binding) is currently inside, so that a value containing itself is met with a
// marker instead of endless recursion. It is empty between top-level operations; a walk that
// is unwound by an error leaves it to a Guard or to reset().
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::cycles {

inline constexpr int32_t kCapacity = 1000;

// Raises internal too-deep, after emptying the stack, when the push fills it.
void push(NodeId node);
void pop();
void drop(int32_t n);  // removes up to n entries
void reset();
int32_t depth();
bool find(NodeId node);

// For the collector: every node on the stack.
void gc_mark(void (*mark)(NodeId));

// When the value's series (the context for object!, error! and port!) is on the stack, appends
// its marker to the output string, lowers the budget by the marker's length and answers true;
// otherwise appends nothing. May allocate (the output string grows).
bool detect(const Cell* value, Cell* buffer, int32_t& budget, bool mold);

// Restores the depth found at construction when the walk that made it ends or is unwound.
class Guard {
  public:
    Guard() : depth_(depth()) {}
    ~Guard() {
        if (depth() > depth_) drop(depth() - depth_);
    }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

  private:
    int32_t depth_;
};

}  // namespace nuv::cycles
