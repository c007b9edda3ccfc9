// percent!: the text form; the makers are float!'s with the type, and the other slots are
// inherited from float! at registration.
#include "runtime/datatypes/percent.h"

#include "runtime/datatypes/string.h"

namespace nuv::percent {

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return string::emit(buffer, floating::to_text(get(value) * 100.0, floating::TextKind::Percent),
                        budget);
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
