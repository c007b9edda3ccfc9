// typeset!: the mask operations, the makers, the set operations and the slots. Masks are
// handled as 12 bytes copied out of the cell and back, so no code depends on word order.
#include "runtime/datatypes/typeset.h"

#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::typeset {

namespace {

constexpr int kMaskBytes = 12;
constexpr int kMaskBits = kMaskBytes * 8;

struct Mask {
    uint8_t bytes[kMaskBytes]{};

    static Mask of(const Cell* c) {
        Mask m;
        std::memcpy(m.bytes, &c->w1, kMaskBytes);
        return m;
    }
    static Mask one(TypeId t) {
        Mask m;
        m.set(static_cast<int>(t));
        return m;
    }
    bool has(int t) const { return (bytes[t >> 3] & (0x80 >> (t & 7))) != 0; }
    void set(int t) { bytes[t >> 3] |= static_cast<uint8_t>(0x80 >> (t & 7)); }
    void clear(int t) { bytes[t >> 3] &= static_cast<uint8_t>(~(0x80 >> (t & 7))); }
    void store(Cell* c) const { std::memcpy(&c->w1, bytes, kMaskBytes); }
    bool operator==(const Mask&) const = default;
};

void set_cell(Cell* c, const Mask& m) {
    c->header = static_cast<uint32_t>(TypeId::Typeset);
    m.store(c);
}

// The mask bits of ids 1..highest registered.
int32_t count_mask(const Mask& m) {
    const int highest = registry::highest_type();
    int32_t n = 0;
    for (int t = 1; t <= highest && t < kMaskBits; t++) n += m.has(t);
    return n;
}

const char* name_of(int t) {
    const char* name = registry::name_entry(static_cast<TypeId>(t)).name;
    return name ? name : type_name(static_cast<TypeId>(t));
}

// Adds one item (a datatype! or a typeset!) to the mask; answers false for any other value.
bool merge(Mask& m, const Cell* item) {
    switch (cell::type_of(item)) {
    case TypeId::Datatype:
        if (item->w1 < static_cast<uint32_t>(kMaskBits)) m.set(static_cast<int>(item->w1));
        return true;
    case TypeId::Typeset: {
        const Mask other = Mask::of(item);
        for (int i = 0; i < kMaskBytes; i++) m.bytes[i] |= other.bytes[i];
        return true;
    }
    default: return false;
    }
}

// A word's value (script no-value when unset), copied out of the stack cell that word::get
// pushes.
Cell value_of_word(const Cell* word) {
    const Cell value = *word::get(word);
    stack::drop(1);
    return value;
}

void add_to(Mask& m, const Cell* item) {
    Cell value = *item;
    if (cell::is(item, TypeId::Word)) value = value_of_word(item);
    if (!merge(m, &value)) fire(Err::InvalidArg, item);
}

// The names of the types in the mask, each followed by a blank, while the budget lasts.
// Answers the budget left and whether a name was written.
int32_t write_names(const Mask& m, Cell* buffer, int32_t budget, bool& wrote) {
    const int highest = registry::highest_type();
    wrote = false;
    for (int t = 1; t <= highest && t < kMaskBits && budget > 0; t++) {
        if (!m.has(t)) continue;
        budget = string::emit(buffer, name_of(t), budget);
        budget = string::emit(buffer, " ", budget);
        wrote = true;
    }
    return budget;
}


void drop_last_unit(Cell* buffer) {
    string::trim_min(cell::node(buffer), static_cast<size_t>(string::length_abs(buffer) - 1));
}

}  // namespace

void clear(Cell* typeset) { Mask{}.store(typeset); }

void add(Cell* typeset, const Cell* value) {
    Mask m = Mask::of(typeset);
    add_to(m, value);
    m.store(typeset);
}

int32_t count(const Cell* typeset) { return count_mask(Mask::of(typeset)); }

// ---- Makers ----

Cell* make_at(Cell* block, uint32_t w1, uint32_t w2, uint32_t w3) {
    Cell* c = block::alloc_tail(block);
    *c = Cell{static_cast<uint32_t>(TypeId::Typeset), w1, w2, w3};
    return c;
}

void set_all(Cell* out) {
    Mask m;
    std::memset(m.bytes, 0xFF, kMaskBytes);
    m.clear(static_cast<int>(TypeId::Unset));
    set_cell(out, m);
}

Cell* make_all(Cell* block) {
    Cell set;
    set_all(&set);
    Cell* c = block::alloc_tail(block);
    *c = set;
    return c;
}

void from_block(const Cell* type_block, Cell* out) {
    Cell items = *type_block;
    const int32_t length = block::rs_length(&items);
    Mask m;
    for (int32_t i = 0; i < length; i++) {
        // Re-read each item: a word's lookup pushes on the stack (no allocation, but no item
        // pointer is kept across it either).
        Cell value = block::rs_head(&items)[i];
        if (cell::is(&value, TypeId::Word)) value = value_of_word(&value);
        if (merge(m, &value)) continue;
        if (cell::is(&value, TypeId::Word)) m.set(static_cast<int>(TypeId::Object));
        else if (!cell::is(&value, TypeId::Block)) fire(Err::InvalidTypeSpec, &value);
    }
    set_cell(out, m);
}

Cell* make_from_block(const Cell* type_block, Cell* block) {
    Cell set;
    from_block(type_block, &set);
    Cell* c = block::alloc_tail(block);
    *c = set;
    return c;
}

bool is_subset(const Cell* inner, const Cell* outer) {
    const Mask a = Mask::of(inner);
    const Mask b = Mask::of(outer);
    const int highest = registry::highest_type();
    for (int t = 1; t <= highest && t < kMaskBits; t++)
        if (a.has(t) && !b.has(t)) return false;
    return true;
}

void to_block(const Cell* typeset, Cell* block) {
    const Mask m = Mask::of(typeset);
    const int highest = registry::highest_type();
    for (int t = 1; t <= highest && t < kMaskBits; t++) {
        if (m.has(t)) block::append_cell(block, &registry::name_entry(static_cast<TypeId>(t)).word);
    }
}

void set_op(int32_t code) {
    Cell* b = stack::arg(1);
    Mask second;
    if (!merge(second, b)) fire(Err::InvalidArg, b);
    if (code == static_cast<int32_t>(SetOp::Unique)) return;
    const ByteOp how = byte_op_of(code);
    const Mask first = Mask::of(stack::arg(0));
    Mask result;
    for (int i = 0; i < kMaskBytes; i++)
        result.bytes[i] = apply_byte_op(how, first.bytes[i], second.bytes[i]);
    Cell* pushed = stack::reserve();
    set_cell(pushed, result);
    stack::set_last(pushed);
}

// ---- Slots ----

Cell* to(Cell* proto, Cell* spec, TypeId) {
    if (cell::is(spec, TypeId::Typeset)) return cell::copy(spec, proto);
    if (!cell::is(spec, TypeId::Block)) {
        Cell type;
        datatype::set(&type, TypeId::Typeset);
        fire(Err::BadToArg, &type, spec);
    }
    Cell items = *spec;
    const int32_t length = block::rs_length(&items);
    Mask m;
    for (int32_t i = 0; i < length; i++) {
        const Cell item = block::rs_head(&items)[i];
        add_to(m, &item);
    }
    set_cell(proto, m);
    return proto;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return mold(value, buffer, true, false, false, nullptr, budget, 0);
}

// The value is read before the first append, which may move the buffer holding it.
int32_t mold(Cell* value, Cell* buffer, bool only, bool, bool, Cell*, int32_t budget, int32_t) {
    const Mask m = Mask::of(value);
    if (!only) budget = string::emit(buffer, "make typeset! [", budget);
    bool wrote = false;
    budget = write_names(m, buffer, budget, wrote);
    if (only) {
        if (!wrote) return budget;
        drop_last_unit(buffer);
        return budget + 1;
    }
    if (!wrote) return string::emit(buffer, "]", budget);
    string::write_char(cell::node(buffer), string::length_abs(buffer) - 1, U']');
    return budget;
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, TypeId::Typeset)) return kNotComparable;
    const Mask x = Mask::of(a), y = Mask::of(b);
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::StrictEqual:
    case CompareOp::Same:
    case CompareOp::FindEqual: return x == y ? 0 : 1;
    case CompareOp::SortCase:
    case CompareOp::SortStrict: {
        const int32_t n = count_mask(x), m = count_mask(y);
        return (n > m) - (n < m);
    }
    default: return kNotComparable;
    }
}

void complement(Cell* value) {
    value->w1 = ~value->w1;
    value->w2 = ~value->w2;
    value->w3 = ~value->w3;
}

Cell* find(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool, bool,
           bool, bool) {
    if (!cell::is(value, TypeId::Datatype)) fire(Err::InvalidArg, value);
    return logic::shared(value->w1 < static_cast<uint32_t>(kMaskBits) &&
                         Mask::of(series).has(static_cast<int>(value->w1)));
}

constexpr TypeRecord kRecord{
    .id = TypeId::Typeset,
    .parent = TypeId::Invalid,
    .name = "typeset!",
    .make = typeset::to,
    .to = typeset::to,
    .form = typeset::form,
    .mold = typeset::mold,
    .compare = typeset::compare,
    .and_ = typeset::set_op_slot<static_cast<int32_t>(ArithOp::And)>,
    .complement = typeset::complement,
    .or_ = typeset::set_op_slot<static_cast<int32_t>(ArithOp::Or)>,
    .xor_ = typeset::set_op_slot<static_cast<int32_t>(ArithOp::Xor)>,
    .find = typeset::find,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::typeset
