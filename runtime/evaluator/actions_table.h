// The actions table: one entry operation per action, reached from action! values and from
// compiled code. An entry finds the action's arguments on the argument stack (arguments[0] the
// first, refinement arguments included), works out what the datatype's slot needs (counts,
// flags, output buffers), dispatches on the first argument's datatype and leaves the result in
// arguments[0] as the only cell of the call.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"
#include "runtime/stack.h"

namespace nuv::actions {

// An entry's machine arguments: one per refinement of the action's spec, in spec order: -1 when
// the refinement is not used, else the stack position of its argument (a refinement with an
// argument) or any non-negative value (a flag). value-compare takes its operation code there and
// path-access a write switch (non-zero: store arguments[2]).
using Entry = void (*)(const int32_t* refinements);

// The entries by action number - 1; the reserved action has none (nullptr). Filled by init().
const Entry* table();
// How many machine arguments the entry of the action takes.
int32_t refinement_count(ActionId action);
void init();  // after every datatype is registered, before the natives table

// ---- Dispatch ----

// Script expect-arg: the calling frame's word, the datatype, the argument (none until action
// specs name it).
[[noreturn]] void fire_unsupported(TypeId type, ActionId action);

// The slot function of the datatype for the action. Usage: action_lookup_of<&ActionRow::copy>(v,
// ActionId::Copy)(...).
template <auto Field>
inline auto action_lookup(TypeId type, const Cell*, ActionId action) {
    auto fn = registry::g_rows[static_cast<int>(type)].*Field;
    if (!fn) [[unlikely]] fire_unsupported(type, action);
    return fn;
}
template <auto Field>
inline auto action_lookup_of(const Cell* value, ActionId action) {
    return action_lookup<Field>(cell::type_of(value), value, action);
}
template <auto Field>
inline auto action_lookup_first(ActionId action) {
    return action_lookup_of<Field>(stack::arg(0), action);
}

// The path-access slot of the parent's datatype. Without it: script bad-path-type with the path,
// the datatype and the path cut before the element, or bad-path-type2 (element, datatype) when
// no path is given. May allocate (the cut path).
slot::PathAccess path_action_lookup(const Cell* parent, const Cell* path, const Cell* element,
                                    int32_t position);
// One path step, passed on unchanged to the slot. Returns the value read or set.
const Cell* path_access_dispatch(Cell* parent, Cell* element, Cell* value, Cell* path,
                                 Cell* grandparent, Cell* element_cell, int32_t position,
                                 bool case_, bool get, bool last, bool notify);

// The 1-based index of pick and poke from arguments[1]: an integer!'s value, a char!'s code
// point, 1 for true and 2 for false, else 0 (the slot reads the index cell itself).
int32_t pick_index();

// ---- Entries, in action order (arguments and refinements as the action's spec gives them) ----

void make();
void random(int32_t seed, int32_t secure, int32_t only);
void reflect();
void to();
// A /part limit below 1 answers "" without calling the slot; a given limit cuts the text to it.
void form(int32_t part);
void mold(int32_t only, int32_t all, int32_t flat, int32_t part);
void path_access(int32_t write);
void compare(int32_t op);  // value-compare: logic! in arguments[0]
void absolute();
void add();
void divide();
void multiply();
void negate();
void power();
void remainder();
void round(int32_t to, int32_t even, int32_t down, int32_t half_down, int32_t floor,
           int32_t ceiling, int32_t half_ceiling);
void subtract();
void even_q();
void odd_q();
void and_();
void complement();
void or_();
void xor_();
// /part: an integer! count, or a position in the value's own series (script invalid-refine-arg
// otherwise); the value must be a series (script invalid-part). A count of 0, a negative count
// at the value's head or a /dup count below 1 answers the series unchanged; a negative count
// inserts the stretch before the value's position.
void append(int32_t part, int32_t only, int32_t dup);
void at();
void back();
// /part is the range of the series to replace, counted as append counts the value.
void change(int32_t part, int32_t only, int32_t dup);
void clear();
void copy(int32_t part, int32_t deep, int32_t types);
void find(int32_t part, int32_t only, int32_t case_, int32_t same, int32_t any, int32_t with,
          int32_t skip, int32_t last, int32_t reverse, int32_t tail, int32_t match);
void head();
void head_q();
void index_q();
void insert(int32_t part, int32_t only, int32_t dup);
void length_q();  // none! when the slot answers -1
void move(int32_t part);
void next();
void pick();
void poke();  // the result is the value poked
void put(int32_t case_);
void remove(int32_t part, int32_t key);
void reverse(int32_t part, int32_t skip);
void select(int32_t part, int32_t only, int32_t case_, int32_t same, int32_t any, int32_t with,
            int32_t skip, int32_t last, int32_t reverse);
void sort(int32_t case_, int32_t skip, int32_t compare, int32_t part, int32_t all,
          int32_t reverse, int32_t stable);
void skip();
void swap();
void tail();
void tail_q();
void take(int32_t part, int32_t deep, int32_t last);
void trim(int32_t head, int32_t tail, int32_t auto_, int32_t lines, int32_t all, int32_t with);
void create();
void close();
void delete_();
void modify(int32_t case_);
void open(int32_t new_, int32_t read, int32_t write, int32_t seek, int32_t allow);
void open_q();
void query();
void read(int32_t part, int32_t seek, int32_t binary, int32_t lines, int32_t info, int32_t as);
void rename();
void update();
void write(int32_t binary, int32_t lines, int32_t info, int32_t append, int32_t part,
           int32_t seek, int32_t allow, int32_t as);

}  // namespace nuv::actions
