// The action entries and the table built from the one action list, each entry adapted to the
// table's calling form by the arity of its own signature.
#include "runtime/evaluator/actions_table.h"

#include <algorithm>
#include <utility>

#include "runtime/compare.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/frames.h"
#include "runtime/support.h"
#include "runtime/words.h"

namespace nuv::actions {

namespace {

using stack::arg;

inline bool flag(int32_t r) { return r >= 0; }
// A refinement argument always lies above arguments[0].
inline Cell* opt(int32_t r) { return r > 0 ? arg(r) : nullptr; }

// The slot's result cell (when it returns one) becomes the call's only cell.
inline void store(const Cell* result) {
    if (result) stack::set_last(result);
    stack::keep_one();
}

// The integer of argument number `arg` of the action's spec, else script expect-arg.
int32_t int_arg(const Cell* c, int32_t arg) {
    if (!cell::is(c, TypeId::Integer)) fire_expect_arg(cell::type_of(c), arg);
    return cell::get_int(c);
}

// Spec argument numbers of the arguments the entries check themselves.
constexpr int32_t kLimitArg = 1;  // form and mold: value /part limit
constexpr int32_t kFieldArg = 1;  // reflect: value field
constexpr int32_t kKindArg = 2;   // copy: value /part length /deep /types kind
// append, insert, change: series value /part length /only /dup count
constexpr int32_t kDupArg = 3;

// The datatype make and to work for: the one a datatype! names, else the example value's.
TypeId target_type(const Cell* c) {
    return cell::is(c, TypeId::Datatype) ? static_cast<TypeId>(c->w1) : cell::type_of(c);
}

void make_or_to(ActionId id) {
    Cell* proto = arg(0);
    TypeId t = target_type(proto);
    auto fn = id == ActionId::Make ? action_lookup<&ActionRow::make>(t, proto, id)
                                   : action_lookup<&ActionRow::to>(t, proto, id);
    store(fn(proto, arg(1), t));
}

// form and mold share the budget rule and the 16-unit output buffer.
void form_or_mold(bool mold, bool only, bool all, bool flat, int32_t part) {
    Cell* value = arg(0);
    Cell* part_cell = opt(part);
    int32_t limit = kNoLimit;
    if (part_cell) {
        limit = int_arg(part_cell, kLimitArg);
        if (limit < 1) {
            string::make_at(value, 16);
            stack::keep_one();
            return;
        }
    }
    ActionId id = mold ? ActionId::Mold : ActionId::Form;
    auto form_fn = mold ? nullptr : action_lookup_of<&ActionRow::form>(value, id);
    auto mold_fn = mold ? action_lookup_of<&ActionRow::mold>(value, id) : nullptr;
    Cell* buffer = stack::reserve();
    string::make_at(buffer, 16);
    if (mold) mold_fn(value, buffer, only, all, flat, part_cell, limit, 0);
    else form_fn(value, buffer, part_cell, limit);
    if (part_cell && string::length(buffer) > limit)
        string::trim_min(cell::node(buffer), static_cast<size_t>(cell::head(buffer) + limit));
    stack::set_result(buffer);
}

// Stack-only slots read arguments[0] and [1] and leave their result in arguments[0].
template <auto Field, ActionId Id>
void on_stack() {
    action_lookup_first<Field>(Id)();
    stack::keep_one();
}

// A series value with a buffer: what append and insert can take a /part of.
bool is_buffer_series(const Cell* c) {
    TypeId t = cell::type_of(c);
    bool series = series::is_any_block(t) || series::is_any_string(t) || t == TypeId::Binary ||
                  t == TypeId::Vector || t == TypeId::Image || t == TypeId::Map;
    return series && cell::node(c) != 0;
}

// The head pulled into 0 .. the buffer length, in the cell itself.
void clamp_head(Cell* c) {
    if (cell::head(c) < 0) cell::set_head(c, 0);
    series::length(c, false);
}

// The count of a /part argument measured on `measured` (whose head a negative count moves back
// to the start of the stretch). Answers false when the action leaves the series unchanged.
bool part_count(Cell* measured, Cell* part, int32_t* count) {
    clamp_head(measured);
    int32_t n = series::part_limit(measured, part);
    int32_t head = cell::head(measured);
    if (n == 0 || (n < 0 && head == 0)) return false;
    if (n < 0) {
        int32_t back = n < -head ? head : -n;
        cell::set_head(measured, head - back);
        n = back;
    }
    *count = n;
    return true;
}

// The /dup count (1 without /dup); false when it is below 1.
bool dup_count(int32_t dup, int32_t* count) {
    *count = dup > 0 ? int_arg(arg(dup), kDupArg) : 1;
    return *count >= 1;
}

void unchanged() { stack::keep_one(); }

void insert_or_append(bool append, int32_t part, int32_t only, int32_t dup) {
    Cell* series = arg(0);
    Cell* value = arg(1);
    int32_t count = -1;
    if (part > 0) {
        if (!is_buffer_series(value)) fire(Err::InvalidPart, arg(part));
        if (!part_count(value, arg(part), &count)) return unchanged();
    }
    int32_t times;
    if (!dup_count(dup, &times)) return unchanged();
    ActionId id = append ? ActionId::Append : ActionId::Insert;
    auto fn = append ? action_lookup_of<&ActionRow::append>(series, id)
                     : action_lookup_of<&ActionRow::insert>(series, id);
    store(fn(series, value, count, flag(only), times, append));
}

// The cut path of bad-path-type: the path's first `position` elements, on the stack.
Cell* cut_path(const Cell* path, int32_t position) {
    Cell source = *path;
    Cell* copy = block::copy_deep(&source, false, false);
    cell::set_type(copy, cell::type_of(&source));
    block::clear_from(copy, std::max(position, 0));
    return copy;
}

// Only completes the action list: the reserved action has no entry.
void reserved() {}

template <class F>
struct Arity;
template <class... A>
struct Arity<void (*)(A...)> {
    static constexpr int32_t value = sizeof...(A);
};

template <auto F, size_t... I>
void call_with(const int32_t* r, std::index_sequence<I...>) {
    F(r[I]...);
}
template <auto F>
void adapt(const int32_t* r) {
    call_with<F>(r, std::make_index_sequence<Arity<decltype(F)>::value>{});
}

struct EntryRecord {
    ActionId id;
    Entry entry;
    int32_t refinements;
};

constexpr EntryRecord kEntries[] = {
#define NUV_ACTION_ENTRY(n, name, field, word, type) \
    {ActionId::name, &adapt<&actions::field>, Arity<decltype(&actions::field)>::value},
    NUV_ACTIONS(NUV_ACTION_ENTRY)
#undef NUV_ACTION_ENTRY
};
static_assert(std::size(kEntries) == kActionCount);
constexpr bool in_action_order() {
    for (int i = 0; i < kActionCount; i++)
        if (static_cast<int>(kEntries[i].id) != i + 1) return false;
    return true;
}
static_assert(in_action_order());

Entry g_table[kActionCount];

// Stores the entries into consecutive slots from the action number of the first.
void register_entries(const EntryRecord* list, int32_t count) {
    for (int32_t i = 0; i < count; i++)
        g_table[static_cast<int>(list[i].id) - 1] = list[i].id == ActionId::Reserved ? nullptr : list[i].entry;
}

}  // namespace

const Entry* table() { return g_table; }
int32_t refinement_count(ActionId action) { return kEntries[static_cast<int>(action) - 1].refinements; }
void init() { register_entries(kEntries, kActionCount); }

// ---- Dispatch ----

// Every action dispatches on its first argument.
void fire_unsupported(TypeId type, ActionId) { fire_expect_arg(type, 0); }

slot::PathAccess path_action_lookup(const Cell* parent, const Cell* path, const Cell* element,
                                    int32_t position) {
    TypeId t = cell::type_of(parent);
    slot::PathAccess fn = registry::row(t).path_access;
    if (fn) return fn;
    Cell datatype{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(t), 0, 0};
    if (!path) {
        Cell el = *element;
        fire(Err::BadPathType2, &el, &datatype);
    }
    Cell whole = *path;
    Cell* cut = cut_path(&whole, position);
    fire(Err::BadPathType, &whole, &datatype, cut);
}

const Cell* path_access_dispatch(Cell* parent, Cell* element, Cell* value, Cell* path,
                                 Cell* grandparent, Cell* element_cell, int32_t position,
                                 bool case_, bool get, bool last, bool notify) {
    auto fn = path_action_lookup(parent, path, element, position);
    return fn(parent, element, value, path, grandparent, element_cell, position, case_, get, last,
              notify);
}

int32_t pick_index() {
    const Cell* index = arg(1);
    switch (cell::type_of(index)) {
    case TypeId::Integer:
    case TypeId::Char: return cell::get_int(index);
    case TypeId::Logic: return logic::get(index) ? 1 : 2;
    default: return 0;
    }
}

// ---- Entries ----

void make() { make_or_to(ActionId::Make); }

void random(int32_t seed, int32_t secure, int32_t only) {
    Cell* v = arg(0);
    store(action_lookup_of<&ActionRow::random>(v, ActionId::Random)(v, flag(seed), flag(secure), flag(only)));
}

void reflect() {
    Cell* v = arg(0);
    auto fn = action_lookup_of<&ActionRow::reflect>(v, ActionId::Reflect);
    const Cell* field = arg(1);
    if (!word::is_any_word_type(cell::type_of(field)))
        fire_expect_arg(cell::type_of(field), kFieldArg);
    fn(v, word::symbol_of(field));
    stack::keep_one();
}

void to() { make_or_to(ActionId::To); }
void form(int32_t part) { form_or_mold(false, false, false, false, part); }
void mold(int32_t only, int32_t all, int32_t flat, int32_t part) {
    form_or_mold(true, flag(only), flag(all), flag(flat), part);
}

void path_access(int32_t write) {
    store(path_access_dispatch(arg(0), arg(1), write ? arg(2) : nullptr, nullptr, nullptr,
                               nullptr, -1, false, false, true, false));
}

void compare(int32_t op) {
    nuv::compare::compare_to_logic(static_cast<CompareOp>(op));
    stack::keep_one();
}

void absolute() { on_stack<&ActionRow::absolute, ActionId::Absolute>(); }
void add() { on_stack<&ActionRow::add, ActionId::Add>(); }
void divide() { on_stack<&ActionRow::divide, ActionId::Divide>(); }
void multiply() { on_stack<&ActionRow::multiply, ActionId::Multiply>(); }

void negate() {
    action_lookup_first<&ActionRow::negate>(ActionId::Negate)(arg(0));
    stack::keep_one();
}

void power() { on_stack<&ActionRow::power, ActionId::Power>(); }
void remainder() { on_stack<&ActionRow::remainder, ActionId::Remainder>(); }

void round(int32_t to, int32_t even, int32_t down, int32_t half_down, int32_t floor,
           int32_t ceiling, int32_t half_ceiling) {
    action_lookup_first<&ActionRow::round>(ActionId::Round)(arg(0), opt(to), flag(even), flag(down),
                                                            flag(half_down), flag(floor),
                                                            flag(ceiling), flag(half_ceiling));
    stack::keep_one();
}

void subtract() { on_stack<&ActionRow::subtract, ActionId::Subtract>(); }

void even_q() {
    bool even = action_lookup_first<&ActionRow::even_q>(ActionId::EvenQ)(arg(0));
    logic::box(even);
    stack::keep_one();
}

void odd_q() {
    bool odd = action_lookup_first<&ActionRow::odd_q>(ActionId::OddQ)(arg(0));
    logic::box(odd);
    stack::keep_one();
}

void and_() { on_stack<&ActionRow::and_, ActionId::And>(); }

void complement() {
    action_lookup_first<&ActionRow::complement>(ActionId::Complement)(arg(0));
    stack::keep_one();
}

void or_() { on_stack<&ActionRow::or_, ActionId::Or>(); }
void xor_() { on_stack<&ActionRow::xor_, ActionId::Xor>(); }
void append(int32_t part, int32_t only, int32_t dup) { insert_or_append(true, part, only, dup); }
void at() { on_stack<&ActionRow::at, ActionId::At>(); }
void back() { on_stack<&ActionRow::back, ActionId::Back>(); }

void change(int32_t part, int32_t only, int32_t dup) {
    Cell* series = arg(0);
    int32_t times;
    if (!is_buffer_series(series) && cell::is(series, TypeId::Port)) {
        // A port has no buffer to measure: its actor takes the /part argument as given.
        if (!dup_count(dup, &times)) return unchanged();
        return store(port::change_part(series, arg(1), opt(part), flag(only), times));
    }
    int32_t count = -1;
    if (part > 0 && !part_count(series, arg(part), &count)) return unchanged();
    if (!dup_count(dup, &times)) return unchanged();
    store(action_lookup_of<&ActionRow::change>(series, ActionId::Change)(series, arg(1), count,
                                                                         flag(only), times));
}

void clear() {
    action_lookup_first<&ActionRow::clear>(ActionId::Clear)(arg(0));
    stack::keep_one();
}

void copy(int32_t part, int32_t deep, int32_t types) {
    Cell* series = arg(0);
    auto fn = action_lookup_of<&ActionRow::copy>(series, ActionId::Copy);
    Cell* kinds = opt(types);
    if (kinds && !cell::is(kinds, TypeId::Datatype) && !cell::is(kinds, TypeId::Typeset))
        fire_expect_arg(cell::type_of(kinds), kKindArg);
    Cell* result = unset::push();
    store(fn(series, result, opt(part), flag(deep), kinds));
}

void find(int32_t part, int32_t only, int32_t case_, int32_t same, int32_t any, int32_t with,
          int32_t skip, int32_t last, int32_t reverse, int32_t tail, int32_t match) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::find>(s, ActionId::Find)(
        s, arg(1), opt(part), flag(only), flag(case_), flag(same), flag(any), opt(with), opt(skip),
        flag(last), flag(reverse), flag(tail), flag(match)));
}

void head() { on_stack<&ActionRow::head, ActionId::Head>(); }
void head_q() { on_stack<&ActionRow::head_q, ActionId::HeadQ>(); }
void index_q() { on_stack<&ActionRow::index_q, ActionId::IndexQ>(); }
void insert(int32_t part, int32_t only, int32_t dup) { insert_or_append(false, part, only, dup); }

void length_q() {
    int32_t n = action_lookup_first<&ActionRow::length_q>(ActionId::LengthQ)(arg(0));
    Cell result{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    if (n != -1) result = Cell{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(n), 0};
    store(&result);
}

void move(int32_t part) {
    action_lookup_first<&ActionRow::move>(ActionId::Move)(arg(0), arg(1), opt(part));
    stack::keep_one();
}

void next() { on_stack<&ActionRow::next, ActionId::Next>(); }

void pick() {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::pick>(s, ActionId::Pick)(s, pick_index(), arg(1)));
}

void poke() {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::poke>(s, ActionId::Poke)(s, pick_index(), arg(2), arg(1)));
}

void put(int32_t case_) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::put>(s, ActionId::Put)(s, arg(1), arg(2), flag(case_)));
}

void remove(int32_t part, int32_t key) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::remove>(s, ActionId::Remove)(s, opt(part), opt(key)));
}

void reverse(int32_t part, int32_t skip) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::reverse>(s, ActionId::Reverse)(s, opt(part), opt(skip)));
}

void select(int32_t part, int32_t only, int32_t case_, int32_t same, int32_t any, int32_t with,
            int32_t skip, int32_t last, int32_t reverse) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::select>(s, ActionId::Select)(
        s, arg(1), opt(part), flag(only), flag(case_), flag(same), flag(any), opt(with), opt(skip),
        flag(last), flag(reverse)));
}

void sort(int32_t case_, int32_t skip, int32_t compare, int32_t part, int32_t all,
          int32_t reverse, int32_t stable) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::sort>(s, ActionId::Sort)(s, flag(case_), opt(skip),
                                                                opt(compare), opt(part), flag(all),
                                                                flag(reverse), flag(stable)));
}

void skip() { on_stack<&ActionRow::skip, ActionId::Skip>(); }

void swap() {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::swap>(s, ActionId::Swap)(s, arg(1)));
}

void tail() { on_stack<&ActionRow::tail, ActionId::Tail>(); }
void tail_q() { on_stack<&ActionRow::tail_q, ActionId::TailQ>(); }

void take(int32_t part, int32_t deep, int32_t last) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::take>(s, ActionId::Take)(s, opt(part), flag(deep), flag(last)));
}

void trim(int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all, int32_t with) {
    Cell* s = arg(0);
    store(action_lookup_of<&ActionRow::trim>(s, ActionId::Trim)(
        s, flag(head), flag(tail), flag(auto_), flag(lines), flag(all), opt(with)));
}

namespace {
// create, close, delete, open?, query, update: the port or file alone.
template <auto Field, ActionId Id>
void on_target() {
    Cell* target = arg(0);
    store(action_lookup_of<Field>(target, Id)(target));
}
}  // namespace

void create() { on_target<&ActionRow::create, ActionId::Create>(); }
void close() { on_target<&ActionRow::close, ActionId::Close>(); }
void delete_() { on_target<&ActionRow::delete_, ActionId::Delete>(); }

void modify(int32_t case_) {
    Cell* t = arg(0);
    store(action_lookup_of<&ActionRow::modify>(t, ActionId::Modify)(t, arg(1), arg(2), flag(case_)));
}

void open(int32_t new_, int32_t read, int32_t write, int32_t seek, int32_t allow) {
    Cell* port = arg(0);
    store(action_lookup_of<&ActionRow::open>(port, ActionId::Open)(
        port, flag(new_), flag(read), flag(write), flag(seek), opt(allow)));
}

void open_q() { on_target<&ActionRow::open_q, ActionId::OpenQ>(); }
void query() { on_target<&ActionRow::query, ActionId::Query>(); }

void read(int32_t part, int32_t seek, int32_t binary, int32_t lines, int32_t info, int32_t as) {
    Cell* source = arg(0);
    store(action_lookup_of<&ActionRow::read>(source, ActionId::Read)(
        source, opt(part), opt(seek), flag(binary), flag(lines), flag(info), opt(as)));
}

void rename() {
    Cell* from = arg(0);
    store(action_lookup_of<&ActionRow::rename>(from, ActionId::Rename)(from, arg(1)));
}

void update() { on_target<&ActionRow::update, ActionId::Update>(); }

void write(int32_t binary, int32_t lines, int32_t info, int32_t append, int32_t part,
           int32_t seek, int32_t allow, int32_t as) {
    Cell* target = arg(0);
    store(action_lookup_of<&ActionRow::write>(target, ActionId::Write)(
        target, arg(1), flag(binary), flag(lines), flag(info), flag(append), opt(part), opt(seek),
        opt(allow), opt(as)));
}

}  // namespace nuv::actions
