// The 62 polymorphic actions: their numbers, words and the calling convention of each slot.
// Slot functions receive cells on the argument stack (which never moves) and return either a
// result cell, a count, or nothing (the result is left in arguments[0]). An absent optional
// cell is passed as nullptr; counts use -1 for "not given".
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv {

using SymId = uint32_t;  // index in the symbol table

// Comparison operation codes passed to the compare slot.
enum class CompareOp : int32_t {
    Equal = 0,
    NotEqual = 1,
    StrictEqual = 2,
    Lesser = 3,
    LesserOrEqual = 4,
    Greater = 5,
    GreaterOrEqual = 6,
    SortCase = 7,       // sort order, case-insensitive
    SortStrict = 8,     // sort order, case-sensitive
    Same = 9,
    WordsCase = 10,     // word! and lit-word! as one kind, case-sensitive
    Words = 11,         // the same, case-insensitive
    FindEqual = 12,     // the equality of find, select and the block operations
};
inline constexpr int32_t kNotComparable = -2;

// Arithmetic operation codes shared by every numeric dispatcher (and logic!'s bitwise slots).
enum class ArithOp : int32_t {
    Add = 0,
    Subtract = 1,
    Multiply = 2,
    Divide = 3,
    Remainder = 4,
    Or = 5,
    And = 6,
    Xor = 7,
};
// Set operation codes the set natives pass to a series' set operation.
enum class SetOp : int32_t {
    Unique = 8,
    Union = 9,
    Intersect = 10,
    Exclude = 11,
    Difference = 12,
};
inline constexpr int32_t kNoLimit = 2147483647;  // form and mold budget without /part

namespace slot {
using Make = Cell* (*)(Cell* proto, Cell* spec, TypeId type);
using Random = Cell* (*)(Cell* value, bool seed, bool secure, bool only);
using Reflect = void (*)(Cell* value, SymId field);
using Form = int32_t (*)(Cell* value, Cell* buffer, Cell* part, int32_t budget);
using Mold = int32_t (*)(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
                         int32_t budget, int32_t indent);
using PathAccess = const Cell* (*)(Cell* parent, Cell* element, Cell* value, Cell* path,
                             Cell* grandparent, Cell* element_cell, int32_t position,
                             bool case_, bool get, bool last, bool notify);
using Reserved = void (*)();
using Compare = int32_t (*)(Cell* a, Cell* b, CompareOp op);
using Stack = void (*)();  // reads arguments[0..1], result in arguments[0]
using Unary = void (*)(Cell* value);
using Predicate = bool (*)(Cell* value);
using Round = void (*)(Cell* value, Cell* scale, bool even, bool down, bool half_down,
                       bool floor, bool ceiling, bool half_ceiling);
using Insert = Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup,
                         bool append);
using Change = Cell* (*)(Cell* series, Cell* value, int32_t part, bool only, int32_t dup);
using UnaryResult = Cell* (*)(Cell* value);
using Copy = Cell* (*)(Cell* series, Cell* result, Cell* part, bool deep, Cell* types);
using Find = Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same,
                       bool any, Cell* with, Cell* skip, bool last, bool reverse, bool tail,
                       bool match);
using Length = int32_t (*)(Cell* value);
using Move = void (*)(Cell* origin, Cell* target, Cell* part);
using Pick = const Cell* (*)(Cell* series, int32_t index, Cell* index_arg);
using Poke = Cell* (*)(Cell* series, int32_t index, Cell* value, Cell* index_arg);
using Put = Cell* (*)(Cell* target, Cell* key, Cell* value, bool case_);
using Remove = Cell* (*)(Cell* series, Cell* part, Cell* key);
using Reverse = Cell* (*)(Cell* series, Cell* part, Cell* skip);
using Select = const Cell* (*)(Cell* series, Cell* value, Cell* part, bool only, bool case_,
                         bool same, bool any, Cell* with, Cell* skip, bool last, bool reverse);
using Sort = Cell* (*)(Cell* series, bool case_, Cell* skip, Cell* compare, Cell* part, bool all,
                       bool reverse, bool stable);
using Swap = Cell* (*)(Cell* a, Cell* b);
using Take = Cell* (*)(Cell* series, Cell* part, bool deep, bool last);
using Trim = Cell* (*)(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all,
                       Cell* with);
using Open = Cell* (*)(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow);
using Read = Cell* (*)(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info,
                       Cell* as);
using Rename = Cell* (*)(Cell* from, Cell* to);
using Write = Cell* (*)(Cell* target, Cell* data, bool binary, bool lines, bool info,
                        bool append, Cell* part, Cell* seek, Cell* allow, Cell* as);
}  // namespace slot

// X(number, Enumerator, field, "word", slot type), in action order.
#define NUV_ACTIONS(X)                                                        \
    X(1, Make, make, "make", slot::Make)                                      \
    X(2, Random, random, "random", slot::Random)                              \
    X(3, Reflect, reflect, "reflect", slot::Reflect)                          \
    X(4, To, to, "to", slot::Make)                                            \
    X(5, Form, form, "form", slot::Form)                                      \
    X(6, Mold, mold, "mold", slot::Mold)                                      \
    X(7, PathAccess, path_access, "path-access", slot::PathAccess)            \
    X(8, Reserved, reserved, "", slot::Reserved)                              \
    X(9, Compare, compare, "value-compare", slot::Compare)                    \
    X(10, Absolute, absolute, "absolute", slot::Stack)                        \
    X(11, Add, add, "add", slot::Stack)                                       \
    X(12, Divide, divide, "divide", slot::Stack)                              \
    X(13, Multiply, multiply, "multiply", slot::Stack)                        \
    X(14, Negate, negate, "negate", slot::Unary)                              \
    X(15, Power, power, "power", slot::Stack)                                 \
    X(16, Remainder, remainder, "remainder", slot::Stack)                     \
    X(17, Round, round, "round", slot::Round)                                 \
    X(18, Subtract, subtract, "subtract", slot::Stack)                        \
    X(19, EvenQ, even_q, "even?", slot::Predicate)                            \
    X(20, OddQ, odd_q, "odd?", slot::Predicate)                               \
    X(21, And, and_, "and~", slot::Stack)                                     \
    X(22, Complement, complement, "complement", slot::Unary)                  \
    X(23, Or, or_, "or~", slot::Stack)                                        \
    X(24, Xor, xor_, "xor~", slot::Stack)                                     \
    X(25, Append, append, "append", slot::Insert)                             \
    X(26, At, at, "at", slot::Stack)                                          \
    X(27, Back, back, "back", slot::Stack)                                    \
    X(28, Change, change, "change", slot::Change)                             \
    X(29, Clear, clear, "clear", slot::Unary)                                 \
    X(30, Copy, copy, "copy", slot::Copy)                                     \
    X(31, Find, find, "find", slot::Find)                                     \
    X(32, Head, head, "head", slot::Stack)                                    \
    X(33, HeadQ, head_q, "head?", slot::Stack)                                \
    X(34, IndexQ, index_q, "index?", slot::Stack)                             \
    X(35, Insert, insert, "insert", slot::Insert)                             \
    X(36, LengthQ, length_q, "length?", slot::Length)                         \
    X(37, Move, move, "move", slot::Move)                                     \
    X(38, Next, next, "next", slot::Stack)                                    \
    X(39, Pick, pick, "pick", slot::Pick)                                     \
    X(40, Poke, poke, "poke", slot::Poke)                                     \
    X(41, Put, put, "put", slot::Put)                                         \
    X(42, Remove, remove, "remove", slot::Remove)                             \
    X(43, Reverse, reverse, "reverse", slot::Reverse)                         \
    X(44, Select, select, "select", slot::Select)                             \
    X(45, Sort, sort, "sort", slot::Sort)                                     \
    X(46, Skip, skip, "skip", slot::Stack)                                    \
    X(47, Swap, swap, "swap", slot::Swap)                                     \
    X(48, Tail, tail, "tail", slot::Stack)                                    \
    X(49, TailQ, tail_q, "tail?", slot::Stack)                                \
    X(50, Take, take, "take", slot::Take)                                     \
    X(51, Trim, trim, "trim", slot::Trim)                                     \
    X(52, Create, create, "create", slot::UnaryResult)                        \
    X(53, Close, close, "close", slot::UnaryResult)                           \
    X(54, Delete, delete_, "delete", slot::UnaryResult)                       \
    X(55, Modify, modify, "modify", slot::Put)                                \
    X(56, Open, open, "open", slot::Open)                                     \
    X(57, OpenQ, open_q, "open?", slot::UnaryResult)                          \
    X(58, Query, query, "query", slot::UnaryResult)                           \
    X(59, Read, read, "read", slot::Read)                                     \
    X(60, Rename, rename, "rename", slot::Rename)                             \
    X(61, Update, update, "update", slot::UnaryResult)                        \
    X(62, Write, write, "write", slot::Write)

enum class ActionId : uint8_t {
#define NUV_ACTION_ENUM(n, name, field, word, type) name = n,
    NUV_ACTIONS(NUV_ACTION_ENUM)
#undef NUV_ACTION_ENUM
};

inline constexpr int kActionCount = 62;
#define NUV_ACTION_COUNT(n, name, field, word, type) +1
static_assert(0 NUV_ACTIONS(NUV_ACTION_COUNT) == kActionCount);
#undef NUV_ACTION_COUNT

const char* action_word(ActionId a);

}  // namespace nuv
