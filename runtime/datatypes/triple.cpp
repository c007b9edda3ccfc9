// triple!: the text form and the registration record.
#include "runtime/datatypes/triple.h"

#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"

namespace nuv::triple {

// The words are read before the first append, which may move the buffer holding the value.
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const int32_t numbers[] = {static_cast<int32_t>(value->w1), static_cast<int32_t>(value->w2),
                               static_cast<int32_t>(value->w3)};
    budget = string::emit(buffer, "make triple! [", budget);
    for (int i = 0; i < 3; i++) {
        if (i > 0) budget = string::emit(buffer, " ", budget);
        budget = string::emit(buffer, integer::to_cstr(numbers[i]), budget);
    }
    return string::emit(buffer, "]", budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget, int32_t) {
    return form(value, buffer, part, budget);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Triple,
    .parent = TypeId::Invalid,
    .name = "triple!",
    .form = triple::form,
    .mold = triple::mold,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::triple
