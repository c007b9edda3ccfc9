// percent!: makers and the text form; the rest is inherited from float! at registration.
#include "runtime/datatypes/percent.h"

#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/string.h"
#include "runtime/evaluator/stack.h"

namespace nuv::percent {

Cell* push(double d) {
    Cell* c = stack::reserve();
    set(c, d);
    return c;
}

Cell* push_halves(uint32_t low, uint32_t high) {
    Cell* c = stack::reserve();
    *c = Cell{static_cast<uint32_t>(TypeId::Percent), 0, low, high};
    return c;
}

Cell* make_in_halves(Cell* block, uint32_t low, uint32_t high) {
    Cell* c = block::alloc_tail(block);
    *c = Cell{static_cast<uint32_t>(TypeId::Percent), 0, low, high};
    return c;
}

Cell* set_result(double d) {
    set(stack::arg(0), d);
    return stack::arg(0);
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const char* text = floating::to_text(get(value) * 100.0, floating::TextKind::Percent);
    string::append_cstr(buffer, text);
    return budget - static_cast<int32_t>(std::strlen(text));
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget, int32_t) {
    return form(value, buffer, part, budget);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Percent,
    .parent = TypeId::Float,
    .name = "percent!",
    .make = kInherited,
    .random = kInherited,
    .to = kInherited,
    .form = percent::form,
    .mold = percent::mold,
    .compare = kInherited,
    .absolute = kInherited,
    .add = kInherited,
    .divide = kInherited,
    .multiply = kInherited,
    .negate = kInherited,
    .power = kInherited,
    .remainder = kInherited,
    .round = kInherited,
    .subtract = kInherited,
    .even_q = kInherited,
    .odd_q = kInherited,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::percent
