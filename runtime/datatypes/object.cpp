// object!: making, cloning and merging objects, the change-notice record, setting many fields,
// the text forms, comparison, path access, reflection and the registration record. Values are
// read by (context, index) into locals: copies, binding of copies and change notices allocate
// and so move every buffer. Result cells are argument-stack or caller cells, never in a buffer.
#include "runtime/datatypes/object.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "runtime/boot_code.h"
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::object {

namespace {

using T = TypeId;

int32_t g_last_class = kFirstClass;

constexpr uint64_t bit(T t) { return uint64_t{1} << type_index(t); }
constexpr bool in(uint64_t set, T t) { return (set >> type_index(t)) & 1; }
constexpr uint64_t kBlocks = bit(T::Block) | bit(T::Paren) | bit(T::Hash) | bit(T::Path) |
                             bit(T::LitPath) | bit(T::SetPath) | bit(T::GetPath);
constexpr uint64_t kTexts = bit(T::String) | bit(T::File) | bit(T::Url) | bit(T::Tag) |
                            bit(T::Email) | bit(T::Ref);
// The values a clone copies (the others are shared, unless the clone is deep).
constexpr uint64_t kCloneCopied = (kBlocks & ~bit(T::Hash)) | kTexts;
// What a deep clone copies as well.
constexpr uint64_t kDeepCopied = kBlocks | kTexts | bit(T::Binary) | bit(T::Vector) |
                                 bit(T::Image) | bit(T::Bitset) | bit(T::Map);
constexpr uint64_t kWords = bit(T::Word) | bit(T::SetWord) | bit(T::LitWord) | bit(T::GetWord);
constexpr uint64_t kNumbers = bit(T::Integer) | bit(T::Float) | bit(T::Percent);

inline constexpr int32_t kNoHandler = -1;

Cell none_cell() { return Cell{static_cast<uint32_t>(T::None), 0, 0, 0}; }

// ---- Context access by (context, index) ----

NodeId values_node(NodeId ctx) { return context::cell_of(ctx)->w2; }
int32_t values_count(NodeId ctx) { return block::count(values_node(ctx)); }

// A copy of value #index; unset beyond the values written so far.
Cell value_at(NodeId ctx, int32_t index) {
    if (index < 0 || index >= values_count(ctx)) return *unset::shared();
    return *context::values_at(ctx, index);
}

// The values series grows to the word count (new cells unset). May allocate.
void fill_values(NodeId ctx) {
    const int32_t n = context::word_count(ctx);
    const Cell values{static_cast<uint32_t>(T::Block), 0, values_node(ctx), 0};
    while (values_count(ctx) < n) block::alloc_tail(&values);
}

// Writes value #index (the values series grown to hold it). May allocate.
void write_value(NodeId ctx, int32_t index, const Cell& value) {
    if (index >= values_count(ctx)) fill_values(ctx);
    *context::write_at(ctx, index) = value;
}

void check_field_count(int32_t count) {
    if (count > kMaxFields) fire_int(Err::LimitHit, kMaxFields);
}

bool same_name(SymId a, SymId b) { return symbol::resolve(a) == symbol::resolve(b); }

int32_t find_in(NodeId ctx, SymId sym) { return context::find_word(ctx, sym, true); }

bool is_handler_word(NodeId ctx, int32_t index) {
    const SymId sym = symbol::resolve(context::word_at(ctx, index)->w2);
    return sym == symbol::resolve(words::w::on_change_star.w2) ||
           sym == symbol::resolve(words::w::on_deep_change_star.w2);
}

// ---- The change-notice record ----

int32_t record_index(NodeId record, int32_t which) {
    return static_cast<int16_t>(block::raw_cells(record)[which].w2 >> 16);
}

Cell record_cell(int32_t index, int32_t locals, NodeId spec) {
    const uint32_t packed =
        (static_cast<uint32_t>(index) << 16) | (static_cast<uint32_t>(locals) & 0xFFFF);
    return Cell{static_cast<uint32_t>(T::Pair), 0, packed, spec};
}

// The stack cells a spec's /local part takes: 1 for /local and 1 per word after it; 0 without.
int32_t count_locals(NodeId spec) {
    if (spec == 0) return 0;
    const SymId local = symbol::resolve(words::ref::local.w2);
    const int32_t n = block::count(spec);
    for (int32_t i = 0; i < n; i++) {
        const Cell item = block::at(spec, i);
        if (!cell::is(&item, T::Refinement) || symbol::resolve(item.w2) != local) continue;
        int32_t cells = 1;
        for (int32_t j = i + 1; j < n; j++) cells += cell::is(block::raw_cells(spec) + j, T::Word);
        return cells;
    }
    return 0;
}

NodeId make_record(int32_t change_index, int32_t change_locals, NodeId change_spec,
                   int32_t deep_index, int32_t deep_locals, NodeId deep_spec) {
    const NodeId record = memory::alloc_cells(2);
    const Cell block{static_cast<uint32_t>(T::Block), 0, record, 0};
    const Cell change = record_cell(change_index, change_locals, change_spec);
    const Cell deep = record_cell(deep_index, deep_locals, deep_spec);
    block::append_cell(&block, &change);
    block::append_cell(&block, &deep);
    return record;
}

// Makes the object the owner of the series held in its fields.
void own_series(const Cell* object) {
    Cell self = *object;
    const Cell none = none_cell();
    ownership::bind_object(&self, &self, &none);
}

// A copy of the handler field named by the record at `which`; false when there is no such field.
bool handler_of(const Cell* object, int32_t which, Cell* handler) {
    const int32_t index = record_index(record_of(object), which);
    if (index == kNoHandler) return false;
    *handler = value_at(context_of(object), index);
    return true;
}

// A handler given a new spec since the record was made has its /local count taken again.
void refresh_record(const Cell* object, int32_t which, const Cell& handler) {
    const NodeId record = record_of(object);
    if (block::raw_cells(record)[which].w3 == handler.w2) return;
    block::write_cells(record)[which] =
        record_cell(record_index(record, which), count_locals(handler.w2), handler.w2);
}

// ---- Copies ----

// Value #index replaced by a new copy made by its type's copy slot; a type without one is
// shared. The replacement keeps the header (type, new-line marker). Allocates.
void copy_value(NodeId ctx, int32_t index, bool deep) {
    Cell item = value_at(ctx, index);
    auto copy_fn = registry::row(cell::type_of(&item)).copy;
    if (!copy_fn) return;
    Cell* fresh = stack::reserve();
    cell::set_header(fresh, T::Unset);
    copy_fn(&item, fresh, nullptr, deep, nullptr);
    *context::write_at(ctx, index) = Cell{item.header, fresh->w1, fresh->w2, fresh->w3};
    stack::drop(1);
}

// A new function over value #index (a function!): the same spec, a copy of its context and of
// its information block, its body deep-copied and bound to the object, then to its own context
// so that arguments and locals win. A function without a body raises script bad-func-def.
void copy_function(NodeId ctx, int32_t index) {
    const Cell fn = value_at(ctx, index);
    const NodeId info = fn.w3;
    if (info == 0 || block::count(info) == 0 || !cell::is(block::raw_cells(info), T::Block))
        fire(Err::BadFuncDef, &fn);
    stack::Mark mark;
    const NodeId fn_ctx = context::make(context::word_count(fn.w1), true, false, fn.w1,
                                        context::Kind::Function);
    const Cell holder{static_cast<uint32_t>(T::Block), 0, fn_ctx, 0};
    stack::push(&holder);  // keeps the new context reachable while the rest is made
    const NodeId fresh_info = memory::copy_series_buffer(info);
    const Cell info_holder{static_cast<uint32_t>(T::Block), 0, fresh_info, 0};
    stack::push(&info_holder);
    const Cell body = block::at(info, 0);
    Cell copy = *block::copy_deep(&body, true, true);
    boot_code::keep_mark(cell::node(&body), &copy);
    copy.header = body.header;
    context::bind_block(&copy, ctx, true);
    context::bind_block(&copy, fn_ctx, false);
    block::write_cells(fresh_info)[0] = copy;
    const Cell made{fn.header, fn_ctx, fn.w2, fresh_info};
    *context::owner(fn_ctx) = made;
    *context::write_at(ctx, index) = made;
    mark.restore();
}

// The copies a clone makes after the values are in place.
void copy_values(NodeId ctx, bool deep, const Cell* types) {
    const int32_t n = values_count(ctx);
    for (int32_t i = 0; i < n; i++) {
        const T t = cell::type_of(context::values_at(ctx, i));
        if (t == T::Function) copy_function(ctx, i);
        else if (!types && in(deep ? kDeepCopied : kCloneCopied, t)) copy_value(ctx, i, deep);
    }
    if (types) block::copy_types(values_node(ctx), 0, n, 1, deep, types);
}

// Binds every block-kind value of the object to it (the copies a derived object made).
void bind_block_values(NodeId ctx) {
    for (int32_t i = 0, n = values_count(ctx); i < n; i++) {
        Cell item = value_at(ctx, i);
        if (in(kBlocks, cell::type_of(&item))) context::bind_block(&item, ctx, true);
    }
}

// Evaluates the bound spec block; the new object and its spec stay reachable while it runs.
void run_spec(const Cell* object, const Cell* spec) {
    stack::Mark mark;
    stack::push(object);
    hooks::do_block(stack::push(spec));
    mark.restore();
}

// After make: no field counts as changed and no value keeps a new-line marker.
void clear_marks(NodeId ctx) {
    for (int32_t i = 0, n = context::word_count(ctx); i < n; i++)
        context::word_at(ctx, i)->header &= ~cell::kCompiledSet;
    for (int32_t i = 0, n = values_count(ctx); i < n; i++)
        context::write_at(ctx, i)->header &= ~cell::kNewLine;
}

// Writes field #index with the changed mark and, when the object has a record, the notice.
void set_field(const Cell* object, int32_t index, const Cell& value) {
    const NodeId ctx = context_of(object);
    const Cell old = value_at(ctx, index);
    write_value(ctx, index, value);
    context::word_at(ctx, index)->header |= cell::kCompiledSet;
    if (record_of(object)) {
        const Cell word = *context::word_at(ctx, index);
        fire_on_change(object, &word, &old, &value);
    }
}

// ---- Text ----

int32_t emit_name(Cell* buffer, NodeId ctx, int32_t index, int32_t budget) {
    Cell word = *context::word_at(ctx, index);
    return word::form(&word, buffer, nullptr, budget);
}

int32_t mold_value(Cell item, Cell* buffer, bool all, bool flat, Cell* part, int32_t budget,
                   int32_t indent) {
    return lookup<&ActionRow::mold>(&item, ActionId::Mold)(&item, buffer, false, all, flat, part,
                                                            budget, indent);
}

// ---- Comparison ----

int32_t compare_fields(NodeId a, NodeId b, CompareOp op) {
    if (a == b) return 0;
    if (op == CompareOp::Same) return -1;
    if (cycles::find(a)) return cycles::find(b) ? 0 : -1;
    const int32_t na = context::word_count(a);
    const int32_t nb = context::word_count(b);
    if (na != nb) return na > nb ? 1 : -1;
    cycles::Guard guard;
    cycles::push(a);
    cycles::push(b);
    for (int32_t i = 0; i < na; i++) {
        const SymId sa = symbol::resolve(context::word_at(a, i)->w2);
        const SymId sb = symbol::resolve(context::word_at(b, i)->w2);
        if (sa != sb) return sa < sb ? -1 : 1;
        Cell va = value_at(a, i);
        Cell vb = value_at(b, i);
        const T ta = cell::type_of(&va);
        const T tb = cell::type_of(&vb);
        const bool kin = (in(kWords, ta) && in(kWords, tb)) ||
                         (in(kNumbers, ta) && in(kNumbers, tb));
        if (ta != tb && !kin) return type_index(ta) < type_index(tb) ? -1 : 1;
        auto fn = registry::row(ta).compare;
        const bool same_payload = va.w1 == vb.w1 && va.w2 == vb.w2 && va.w3 == vb.w3;
        const int32_t r = fn ? fn(&va, &vb, op) : same_payload ? 0 : kNotComparable;
        if (r != 0) return r;
    }
    return 0;
}

// ---- Reflection ----

Cell* push_words(NodeId ctx, bool changed_only) {
    const int32_t n = context::word_count(ctx);
    Cell* out = block::push_new(n);
    for (int32_t i = 0; i < n; i++) {
        Cell word = *context::word_at(ctx, i);
        if (changed_only && !(word.header & cell::kCompiledSet)) continue;
        cell::set_header(&word, T::Word);
        block::append_cell(out, &word);
    }
    return out;
}

Cell* push_values(NodeId ctx) {
    const int32_t n = context::word_count(ctx);
    Cell* out = block::push_new(n);
    for (int32_t i = 0; i < n; i++) {
        const Cell item = value_at(ctx, i);
        block::append_cell(out, &item);
    }
    return out;
}

Cell* push_body(NodeId ctx) {
    const int32_t n = context::word_count(ctx);
    Cell* out = block::push_new(2 * n);
    for (int32_t i = 0; i < n; i++) {
        Cell word = *context::word_at(ctx, i);
        word.header = static_cast<uint32_t>(T::SetWord) | cell::kNewLine;
        block::append_cell(out, &word);
        Cell item = value_at(ctx, i);
        if (cell::is(&item, T::Word)) cell::set_type(&item, T::LitWord);
        else if (cell::is(&item, T::Path)) cell::set_type(&item, T::LitPath);
        block::append_cell(out, &item);
    }
    return out;
}

enum class Field : uint8_t { Changed, Class, Words, Values, Body, Owner, Events };
struct FieldName {
    const SymId* sym;
    Field field;
};

void deep_change_notice(const Cell* owner, const Cell* word, const Cell* target,
                        const Cell* action, const Cell* new_value, int32_t index, int32_t count) {
    fire_on_deep_change(owner, word, target, action, new_value, index, count);
}

}  // namespace

int32_t new_class() { return ++g_last_class; }
void forget_classes() { g_last_class = kFirstClass; }

// ---- Reading ----

Cell* word_at(NodeId ctx, int32_t index) { return context::word_at(ctx, index); }

const Cell* get_values(const Cell* object) { return context::values_at(context_of(object), 0); }

const Cell* get_by_word(const Cell* object, const Cell* word) {
    const NodeId ctx = context_of(object);
    const int32_t index = find_in(ctx, word::symbol_of(word));
    if (index < 0) return none::shared();
    if (index >= values_count(ctx)) return unset::shared();
    return context::values_at(ctx, index);
}

int32_t find_word(const Cell* object, const Cell* word) {
    return find_in(context_of(object), word::symbol_of(word));
}

int32_t find_symbol(const Cell* object, SymId sym) { return find_in(context_of(object), sym); }

int32_t word_count(const Cell* object) { return context::word_count(context_of(object)); }

bool is_word_object_of_class(const Cell* word, int32_t class_id) {
    const Cell* value = word::slot(word);
    return cell::is(value, T::Object) && class_of(value) == class_id;
}

bool is_field_object_of_class(NodeId ctx, int32_t index, int32_t class_id) {
    if (index < 0 || index >= values_count(ctx)) return false;
    const Cell* value = context::values_at(ctx, index);
    return cell::is(value, T::Object) && class_of(value) == class_id;
}

// ---- Making ----

Cell* make_empty(Cell* cell, int32_t slots) {
    check_field_count(slots);
    const NodeId ctx = context::make(slots, false, true, 0, context::Kind::Object);
    *cell = Cell{static_cast<uint32_t>(T::Object), ctx, 0, 0};
    *context::owner(ctx) = *cell;
    return cell;
}

int32_t add_field(Cell* object, SymId sym, const Cell* value) {
    const Cell v = *value;
    const NodeId ctx = context_of(object);
    int32_t index = find_in(ctx, sym);
    if (index < 0) {
        check_field_count(context::word_count(ctx) + 1);
        const Cell word{static_cast<uint32_t>(T::Word), 0, sym, word::kNoIndex};
        index = context::find_or_add(ctx, &word);
    }
    write_value(ctx, index, v);
    return index;
}

int32_t add_field(Cell* object, const char* name, const Cell* value) {
    const Cell v = *value;
    return add_field(object, symbol::make_cstr(name), &v);
}

Cell* push_with_owner(NodeId ctx, NodeId record, int32_t class_id) {
    if (values_count(ctx) == 0) fill_values(ctx);
    const Cell object{static_cast<uint32_t>(T::Object), ctx, static_cast<uint32_t>(class_id),
                      record};
    *context::owner(ctx) = object;
    return stack::push(&object);
}

Cell* push(NodeId ctx, int32_t class_id) { return push_with_owner(ctx, 0, class_id); }

void attach_record(NodeId ctx, int32_t change_index, int32_t change_locals, int32_t deep_index,
                   int32_t deep_locals) {
    const NodeId record = make_record(change_index, change_locals, 0, deep_index, deep_locals, 0);
    Cell* top = stack::top();
    top->w3 = record;
    *context::owner(ctx) = *top;
    if (deep_index != kNoHandler) own_series(top);
}

Cell* clone(const Cell* proto, Cell* cell, bool deep, const Cell* types, bool finalize_it) {
    const Cell from = *proto;
    const Cell named = types ? *types : Cell{};
    const NodeId source = context_of(&from);
    Cell holder{static_cast<uint32_t>(T::Context), source, 0, 0};
    const NodeId ctx = context::clone(&holder, context::Kind::Object);
    *cell = Cell{static_cast<uint32_t>(cell::type_of(&from)), ctx, from.w2, 0};
    *context::owner(ctx) = *cell;
    const int32_t n = std::min(context::word_count(ctx), values_count(source));
    block::ensure_room(values_node(ctx), n, false);
    std::memcpy(block::write_cells(values_node(ctx)), block::raw_cells(values_node(source)),
                static_cast<size_t>(n) * sizeof(Cell));
    memory::buf(values_node(ctx))->tail += static_cast<size_t>(n) * sizeof(Cell);
    fill_values(ctx);
    copy_values(ctx, deep, types ? &named : nullptr);
    if (finalize_it) finalize(cell, ctx);
    return cell;
}

void finalize(Cell* cell, NodeId ctx) {
    check_field_count(context::word_count(ctx));
    const int32_t indexes[2] = {find_in(ctx, words::w::on_change_star.w2),
                                find_in(ctx, words::w::on_deep_change_star.w2)};
    cell->w1 = ctx;
    cell->w3 = 0;
    if (indexes[kOnChange] == kNoHandler && indexes[kOnDeepChange] == kNoHandler) {
        *context::owner(ctx) = *cell;
        return;
    }
    int32_t locals[2] = {0, 0};
    NodeId specs[2] = {0, 0};
    for (int which : {kOnChange, kOnDeepChange}) {
        if (indexes[which] == kNoHandler) continue;
        const Cell handler = value_at(ctx, indexes[which]);
        const T t = cell::type_of(&handler);
        if (t != T::Function && t != T::Routine) {
            const Cell word = *context::word_at(ctx, indexes[which]);
            Cell type;
            datatype::set(&type, t);
            fire(Err::BadFieldSet, &word, &type);
        }
        specs[which] = handler.w2;
        locals[which] = count_locals(handler.w2);
    }
    cell->w3 = make_record(indexes[kOnChange], locals[kOnChange], specs[kOnChange],
                           indexes[kOnDeepChange], locals[kOnDeepChange], specs[kOnDeepChange]);
    *context::owner(ctx) = *cell;
    if (indexes[kOnDeepChange] != kNoHandler) own_series(cell);
}

Cell* construct(Cell* cell, const Cell* spec, const Cell* proto, bool only) {
    const Cell from = *spec;
    const bool derived = proto && cell::is(proto, T::Object);
    if (derived) clone(proto, cell, true, nullptr, false);
    else make_empty(cell, 4);
    const NodeId ctx = context_of(cell);
    const int32_t before = context::word_count(ctx);
    struct Conversion {
        const SymId* sym;
        Cell (*value)();
    };
    static const Conversion kConversions[] = {
        {&words::sym::true_, [] { return *logic::shared(true); }},
        {&words::sym::yes, [] { return *logic::shared(true); }},
        {&words::sym::on, [] { return *logic::shared(true); }},
        {&words::sym::false_, [] { return *logic::shared(false); }},
        {&words::sym::no, [] { return *logic::shared(false); }},
        {&words::sym::off, [] { return *logic::shared(false); }},
        {&words::sym::none, [] { return *none::shared(); }},
    };
    const NodeId node = cell::node(&from);
    int32_t run_start = -1;  // first set-word of the run waiting for its value
    const auto assign_run = [&](int32_t end, Cell value) {
        for (int32_t j = run_start; j < end; j++) {
            const Cell word = block::at(node, j);
            add_field(cell, word.w2, &value);
        }
        run_start = -1;
    };
    for (int32_t i = block::head_index(&from); i < block::count(node); i++) {
        Cell item = block::at(node, i);
        if (cell::is(&item, T::SetWord)) {
            if (run_start < 0) run_start = i;
            continue;
        }
        if (run_start < 0) continue;
        if (!only && cell::is(&item, T::Word)) {
            for (const Conversion& c : kConversions)
                if (same_name(item.w2, *c.sym)) item = c.value();
        }
        item.header &= ~cell::kNewLine;
        assign_run(i, item);
    }
    if (run_start >= 0) assign_run(block::count(node), none_cell());
    if (!derived || context::word_count(ctx) > before)
        cell->w2 = static_cast<uint32_t>(new_class());
    finalize(cell, ctx);
    return cell;
}

// ---- Setting fields ----

void set_many(Cell* object, const Cell* value, bool any, bool only, bool some) {
    const Cell self = *object;
    const Cell source = *value;
    const NodeId ctx = context_of(&self);
    const int32_t n = context::word_count(ctx);
    const T t = cell::type_of(&source);
    const auto take = [&](int32_t index, const Cell& item) {
        if (cell::is(&item, T::Unset) && !any) {
            const Cell word = *context::word_at(ctx, index);
            fire(Err::NeedValue, &word);
        }
        if (some && cell::is(&item, T::None)) return;
        set_field(&self, index, item);
    };
    if (t == T::Block && !only) {
        // A block shorter than the fields leaves none in the fields past its end.
        const NodeId node = cell::node(&source);
        const int32_t head = block::head_index(&source);
        for (int32_t i = 0; i < n; i++) {
            const bool inside = head + i < block::count(node);
            const Cell item = inside ? block::at(node, head + i) : none_cell();
            take(i, item);
        }
    } else if (has_object_layout(t) && !only) {
        for (int32_t i = 0; i < n; i++) {
            const int32_t from = find_in(context_of(&source), context::word_at(ctx, i)->w2);
            if (from >= 0) take(i, value_at(context_of(&source), from));
        }
    } else {
        for (int32_t i = 0; i < n; i++) take(i, source);
    }
}

// ---- Change notices ----

void fire_on_change(const Cell* object, const Cell* word, const Cell* old_value,
                    const Cell* new_value) {
    if (record_of(object) == 0) return;
    const Cell self = *object;
    Cell handler;
    if (!handler_of(&self, kOnChange, &handler)) return;
    if (!cell::is(&handler, T::Function)) fire(Err::InvalidObjEvt, &handler);
    refresh_record(&self, kOnChange, handler);
    Cell args[3] = {*word, *old_value, *new_value};
    const NodeId ctx = context_of(&self);
    if (args[0].w1 != ctx) {
        const int32_t index = find_in(ctx, args[0].w2);
        if (index >= 0) {
            args[0].w1 = ctx;
            args[0].w3 = static_cast<uint32_t>(index);
        }
    }
    stack::Mark mark;
    hooks::call_function(&handler, hooks::Callback::Change, args, 3);
    mark.restore();
}

void fire_on_change_top(const Cell* object, const Cell* word) {
    const Cell old = *stack::top();
    const Cell fresh = *(stack::top() - 1);
    fire_on_change(object, word, &old, &fresh);
}

void word_fire_on_change(const Cell* word, const Cell* field_word) {
    const Cell target = *word::slot(word);
    if (cell::is(&target, T::Object)) fire_on_change_top(&target, field_word);
}

void fire_on_deep_change(const Cell* object, const Cell* word, const Cell* target,
                         const Cell* action, const Cell* new_value, int32_t index,
                         int32_t count) {
    if (record_of(object) == 0) fire(Err::InvalidObjEvt, object);
    const Cell self = *object;
    Cell handler;
    if (!handler_of(&self, kOnDeepChange, &handler)) return;
    if (!cell::is(&handler, T::Function)) return;
    refresh_record(&self, kOnDeepChange, handler);
    Cell args[7] = {self, *word, *target, *action, new_value ? *new_value : none_cell()};
    integer::set(&args[5], index);
    integer::set(&args[6], count);
    stack::Mark mark;
    hooks::call_function(&handler, hooks::Callback::DeepChange, args, 7);
    mark.restore();
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) {
    const Cell prototype = *proto;
    Cell from = *spec;
    Cell* result = proto;
    const bool derived = cell::is(&prototype, T::Object);
    if (!cell::is(&from, T::Block) && !has_object_layout(cell::type_of(&from)))
        fire(Err::Malconstruct, &from);
    if (derived) clone(&prototype, result, true, nullptr, false);
    else make_empty(result, 4);
    const NodeId ctx = context_of(result);
    const int32_t before = context::word_count(ctx);
    if (cell::is(&from, T::Block)) {
        context::collect_set_words(ctx, &from);
        check_field_count(context::word_count(ctx));
        context::bind_block(&from, ctx, true);
        if (derived) bind_block_values(ctx);
        run_spec(result, &from);
        clear_marks(ctx);
    } else {
        const NodeId source = context_of(&from);
        for (int32_t i = 0, n = context::word_count(source); i < n; i++) {
            const SymId sym = context::word_at(source, i)->w2;
            const Cell item = value_at(source, i);
            const int32_t index = add_field(result, sym, &item);
            const T t = cell::type_of(&item);
            if (t == T::Function) copy_function(ctx, index);
            else if (in(kCloneCopied, t)) copy_value(ctx, index, false);
        }
    }
    const bool grew = context::word_count(ctx) > before;
    result->w2 = static_cast<uint32_t>(grew || !derived ? new_class() : class_of(&prototype));
    finalize(result, ctx);
    return result;
}

void reflect(Cell* value, SymId field) {
    static const FieldName kFields[] = {
        {&words::changed_symbol, Field::Changed}, {&words::sym::class_, Field::Class},
        {&words::sym::words, Field::Words},       {&words::sym::values, Field::Values},
        {&words::sym::body, Field::Body},         {&words::sym::owner, Field::Owner},
        {&words::sym::is_events, Field::Events},
    };
    const Cell self = *value;
    const NodeId ctx = context_of(&self);
    const auto named = [&](const FieldName& f) { return same_name(field, *f.sym); };
    const FieldName* found = std::find_if(std::begin(kFields), std::end(kFields), named);
    if (found == std::end(kFields)) fire(Err::NotDone);
    stack::Mark mark;
    Cell answer;
    switch (found->field) {
    case Field::Changed: answer = *push_words(ctx, true); break;
    case Field::Class: integer::set(&answer, class_of(&self)); break;
    case Field::Words: answer = *push_words(ctx, false); break;
    case Field::Values: answer = *push_values(ctx); break;
    case Field::Body: answer = *push_body(ctx); break;
    case Field::Owner:
        logic::set(&answer, (context::cell_of(ctx)->header & ownership::kContextOwner) != 0);
        break;
    case Field::Events: logic::set(&answer, record_of(&self) != 0); break;
    }
    mark.restore();
    stack::set_last(&answer);
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, false)) return budget;
    cycles::Guard guard;
    const NodeId ctx = context_of(&self);
    cycles::push(ctx);
    bool first = true;
    for (int32_t i = 0, n = context::word_count(ctx); i < n; i++) {
        if (part && budget <= 0) break;
        if (is_handler_word(ctx, i)) continue;
        if (!first) budget = string::emit(buffer, "\n", budget);
        first = false;
        budget = emit_name(buffer, ctx, i, budget);
        budget = string::emit(buffer, ": ", budget);
        const Cell item = value_at(ctx, i);
        if (cycles::detect(&item, buffer, budget, false)) continue;
        budget = mold_value(item, buffer, false, false, part, budget, 0);
    }
    return budget;
}

int32_t mold_fields(const Cell* value, Cell* buffer, bool all, bool flat, Cell* part,
                    int32_t budget, int32_t indent) {
    const Cell self = *value;
    cycles::Guard guard;
    const NodeId ctx = context_of(&self);
    cycles::push(ctx);
    bool first = true;
    for (int32_t i = 0, n = context::word_count(ctx); i < n; i++) {
        if (part && budget <= 0) break;
        if (!all && is_handler_word(ctx, i)) continue;
        if (flat && !first) budget = string::emit(buffer, " ", budget);
        first = false;
        if (!flat) budget = mold_indent(buffer, indent, budget);
        budget = emit_name(buffer, ctx, i, budget);
        budget = string::emit(buffer, ": ", budget);
        const Cell item = value_at(ctx, i);
        if (cell::is(&item, T::Word)) budget = string::emit(buffer, "'", budget);
        budget = mold_value(item, buffer, all, flat, part, budget, indent);
        if (!flat) budget = string::emit(buffer, "\n", budget);
    }
    return budget;
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, true)) return budget;
    if (!only) {
        budget = string::emit(buffer, "make object! [", budget);
        if (!flat) budget = string::emit(buffer, "\n", budget);
    }
    budget = mold_fields(&self, buffer, all, flat, part, budget, indent + 1);
    if (!only) {
        if (!flat) budget = mold_indent(buffer, indent, budget);
        budget = string::emit(buffer, "]", budget);
    }
    return budget;
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                        bool, bool get, bool last, bool) {
    const Cell self = *parent;
    const Cell named = *element;
    const Cell where = path ? *path : none_cell();
    const T t = cell::type_of(&named);
    if (!in(kWords, t)) fire(Err::InvalidPath, &where, &named);
    const NodeId ctx = context_of(&self);
    int32_t index = word::index_of(&named);
    if (named.w1 != ctx || index < 0) {
        index = find_in(ctx, named.w2);
        if (index >= 0) {
            element->w1 = ctx;
            element->w3 = static_cast<uint32_t>(index);
        }
    }
    const auto missing = [&]() -> Cell* {
        if (get && last) return unset::shared();
        fire(last ? Err::InvalidPath : Err::UnsetPath, &where, &named);
    };
    if (value && same_name(named.w2, words::sym::self)) fire(Err::InvalidPath, &where, &named);
    if (index < 0) return missing();
    if (value) {
        const Cell fresh = *value;
        const Cell old = value_at(ctx, index);
        Cell bound{static_cast<uint32_t>(T::Word), ctx, named.w2, static_cast<uint32_t>(index)};
        context::set_in(&bound, &fresh, ctx, false);
        if (record_of(&self)) fire_on_change(&self, &bound, &old, &fresh);
        return value;
    }
    if (index >= values_count(ctx) || cell::is(context::values_at(ctx, index), T::Unset))
        return missing();
    return context::values_at(ctx, index);
}

// Also port!'s: values of one object-layout type compare by their fields.
int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (cell::type_of(b) != cell::type_of(a)) return kNotComparable;
    return compare_fields(context_of(a), context_of(b), op);
}

Cell* copy(Cell* series, Cell* result, Cell* part, bool deep, Cell* types) {
    if (part) {
        const Cell word = words::w::part;
        fire(Err::InvalidRefineArg, &word, part);
    }
    return clone(series, result, deep, types, true);
}

Cell* put(Cell* target, Cell* key, Cell* value, bool case_) {
    if (!cell::is(key, T::Word)) integer::fire_with_type(Err::InvalidKeyType, cell::type_of(key));
    Cell none = none_cell();
    path_access(target, key, value, &none, nullptr, nullptr, 0, case_, false, true, false);
    return value;
}

const Cell* select(Cell* series, Cell* value, Cell*, bool, bool, bool, bool, Cell*, Cell*, bool,
                   bool) {
    if (!in(kWords, cell::type_of(value)))
        integer::fire_with_type(Err::InvalidType, cell::type_of(value));
    const NodeId ctx = context_of(series);
    const int32_t index = find_in(ctx, word::symbol_of(value));
    if (index < 0) return none::shared();
    if (index >= values_count(ctx)) return unset::shared();
    return context::values_at(ctx, index);
}

Cell* modify(Cell* target, Cell* field, Cell* value, bool) {
    if (!word::is_any_word_type(cell::type_of(field))) return value;
    const SymId name = word::symbol_of(field);
    const NodeId ctx = context_of(target);
    if (same_name(name, words::changed_symbol)) {
        if (!cell::is(value, T::None)) fire(Err::InvalidArg, value);
        for (int32_t i = 0, n = context::word_count(ctx); i < n; i++)
            context::word_at(ctx, i)->header &= ~cell::kCompiledSet;
    } else if (same_name(name, words::sym::owner)) {
        own_series(target);
    } else if (same_name(name, words::sym::owned)) {
        Cell self = *target;
        if (cell::is(value, T::None)) {
            context::cell_of(ctx)->header &= ~ownership::kContextOwner;
            ownership::unbind(&self);
        } else {
            // The owner and its field word are the block's first two values.
            if (!cell::is(value, T::Block) || block::rs_length(value) < 2)
                fire(Err::InvalidArg, value);
            const Cell owner = *block::rs_head(value);
            const Cell word = *(block::rs_head(value) + 1);
            if (!cell::is(&owner, T::Object) || !cell::is(&word, T::Word))
                fire(Err::InvalidArg, value);
            ownership::bind(&self, &owner, &word);
        }
    }
    return value;
}

void mark(const Cell* value) {
    collector::mark_series(context_of(value));
    const NodeId record = record_of(value);
    collector::mark_series(record);
    if (record == 0 || !memory::is_linked(record)) return;
    // The record keeps each handler's spec node to tell a changed handler: the node must not
    // be reused while the record names it.
    memory::SeriesBuf* b = memory::buf(record);
    const auto* cells = reinterpret_cast<const Cell*>(b->offset_ptr());
    for (size_t i = 0, n = b->used() / sizeof(Cell); i < n; i++) collector::mark_series(cells[i].w3);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Object,
    .parent = TypeId::Invalid,
    .name = "object!",
    .make = object::make,
    .reflect = object::reflect,
    .form = object::form,
    .mold = object::mold,
    .path_access = object::path_access,
    .compare = object::compare,
    .copy = object::copy,
    .put = object::put,
    .select = object::select,
    .modify = object::modify,
    .mark = object::mark,
};

void init() {
    registry::register_type(kRecord);
    ownership::set_deep_change_handler(deep_change_notice);
}

}  // namespace nuv::object
