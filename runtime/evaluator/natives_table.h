// The natives table: the 107 built-in functions that are not actions, by native index. A
// native! value names its entry by index; the caller leaves the arguments on the argument stack
// (arguments[0] the first and the result slot, refinement arguments included) and the native
// leaves its result in arguments[0].
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/native.h"

namespace nuv::natives {

// The entry of a native. With `check` set the native first checks each argument (and each used
// refinement's argument) against its spec's typeset, raising script expect-arg; otherwise the
// caller has. `refinements`: one per refinement of the spec, in order, as for actions: -1 when
// not used, else the stack position of its argument or any non-negative value for a flag.
// Natives that evaluate code reset the argument top to the base first, so the nested
// evaluation's result lands in the same slot.
using Entry = void (*)(bool check, const int32_t* refinements);

// X(index, Enumerator, "word", entry), in index order. An entry whose family is not built yet
// is not_done.
#define NUV_NATIVES(X) \
    X(1, If, "if", natives_core::if_)                                                       \
    X(2, Unless, "unless", natives_loops::unless)                                           \
    X(3, Either, "either", natives_core::either)                                            \
    X(4, Any, "any", natives_loops::any)                                                    \
    X(5, All, "all", natives_loops::all)                                                    \
    X(6, While, "while", natives_control::while_)                                           \
    X(7, Until, "until", natives_control::until)                                            \
    X(8, Loop, "loop", natives_control::loop)                                               \
    X(9, Repeat, "repeat", natives_control::repeat)                                         \
    X(10, Forever, "forever", natives_control::forever)                                     \
    X(11, Foreach, "foreach", natives_loops::foreach)                                       \
    X(12, Forall, "forall", natives_loops::forall)                                          \
    X(13, RemoveEach, "remove-each", natives_loops::remove_each)                            \
    X(14, Func, "func", natives_core::func)                                                 \
    X(15, Function, "function", natives_core::function)                                     \
    X(16, Does, "does", natives_core::does)                                                 \
    X(17, Has, "has", natives_core::has)                                                    \
    X(18, Switch, "switch", natives_loops::switch_)                                         \
    X(19, Case, "case", natives_loops::case_)                                               \
    X(20, Do, "do", natives_eval::do_)                                                      \
    X(21, Get, "get", natives_eval::get)                                                    \
    X(22, Set, "set", natives_eval::set)                                                    \
    X(23, Print, "print", natives_eval::print)                                              \
    X(24, Prin, "prin", natives_eval::prin)                                                 \
    X(25, IsEqual, "equal?", compare_native<CompareOp::Equal>)                              \
    X(26, IsNotEqual, "not-equal?", compare_native<CompareOp::NotEqual>)                    \
    X(27, IsStrictEqual, "strict-equal?", compare_native<CompareOp::StrictEqual>)           \
    X(28, IsLesser, "lesser?", compare_native<CompareOp::Lesser>)                           \
    X(29, IsGreater, "greater?", compare_native<CompareOp::Greater>)                        \
    X(30, IsLesserOrEqual, "lesser-or-equal?", compare_native<CompareOp::LesserOrEqual>)    \
    X(31, IsGreaterOrEqual, "greater-or-equal?", compare_native<CompareOp::GreaterOrEqual>) \
    X(32, IsSame, "same?", natives_logic::is_same)                                          \
    X(33, Not, "not", natives_logic::not_)                                                  \
    X(34, IsType, "type?", natives_logic::is_type)                                          \
    X(35, Reduce, "reduce", natives_eval::reduce)                                           \
    X(36, Compose, "compose", natives_eval::compose)                                        \
    X(37, Stats, "stats", natives_system::stats)                                            \
    X(38, Bind, "bind", natives_bind::bind)                                                 \
    X(39, In, "in", natives_bind::in)                                                       \
    X(40, Parse, "parse", parse::native)                                                    \
    X(41, Union, "union", natives_logic::union_)                                            \
    X(42, Intersect, "intersect", natives_logic::intersect)                                 \
    X(43, Unique, "unique", natives_logic::unique)                                          \
    X(44, Difference, "difference", natives_logic::difference)                              \
    X(45, Exclude, "exclude", natives_logic::exclude)                                       \
    X(46, IsComplement, "complement?", natives_logic::is_complement)                        \
    X(47, Dehex, "dehex", natives_text::dehex)                                              \
    X(48, Enhex, "enhex", natives_text::enhex)                                              \
    X(49, IsNegative, "negative?", natives_math::is_negative)                               \
    X(50, IsPositive, "positive?", natives_math::is_positive)                               \
    X(51, Max, "max", natives_math::max)                                                    \
    X(52, Min, "min", natives_math::min)                                                    \
    X(53, Shift, "shift", natives_math::shift)                                              \
    X(54, ToHex, "to-hex", natives_math::to_hex)                                            \
    X(55, Sine, "sine", natives_math::sine)                                                 \
    X(56, Cosine, "cosine", natives_math::cosine)                                           \
    X(57, Tangent, "tangent", natives_math::tangent)                                        \
    X(58, Arcsine, "arcsine", natives_math::arcsine)                                        \
    X(59, Arccosine, "arccosine", natives_math::arccosine)                                  \
    X(60, Arctangent, "arctangent", natives_math::arctangent)                               \
    X(61, Arctangent2, "arctangent2", natives_math::arctangent2)                            \
    X(62, IsNan, "NaN?", natives_math::is_nan)                                              \
    X(63, Log2, "log-2", natives_math::log_2)                                               \
    X(64, Log10, "log-10", natives_math::log_10)                                            \
    X(65, LogE, "log-e", natives_math::log_e)                                               \
    X(66, Exp, "exp", natives_math::exp)                                                    \
    X(67, SquareRoot, "square-root", natives_math::square_root)                             \
    X(68, Construct, "construct", natives_bind::construct)                                  \
    X(69, IsValue, "value?", natives_eval::is_value)                                        \
    X(70, Try, "try", natives_control::try_)                                                \
    X(71, Uppercase, "uppercase", natives_text::uppercase)                                  \
    X(72, Lowercase, "lowercase", natives_text::lowercase)                                  \
    X(73, AsPair, "as-pair", natives_text::as_pair)                                         \
    X(74, AsPoint2D, "as-point2D", natives_text::as_point2d)                                \
    X(75, AsPoint3D, "as-point3D", natives_text::as_point3d)                                \
    X(76, AsMoney, "as-money", natives_text::as_money)                                      \
    X(77, Break, "break", natives_control::break_)                                          \
    X(78, Continue, "continue", natives_control::continue_)                                 \
    X(79, Exit, "exit", natives_core::exit)                                                 \
    X(80, Return, "return", natives_core::return_)                                          \
    X(81, Throw, "throw", natives_control::throw_)                                          \
    X(82, Catch, "catch", natives_control::catch_)                                          \
    X(83, Extend, "extend", natives_bind::extend)                                           \
    X(84, Debase, "debase", natives_text::debase)                                           \
    X(85, ToLocalFile, "to-local-file", natives_text::to_local_file)                        \
    X(86, Wait, "wait", natives_host::wait)                                                  \
    X(87, Checksum, "checksum", natives_host::checksum)                                     \
    X(88, Unset, "unset", natives_eval::unset)                                              \
    X(89, NewLine, "new-line", natives_text::new_line)                                      \
    X(90, IsNewLine, "new-line?", natives_text::is_new_line)                                \
    X(91, Enbase, "enbase", natives_text::enbase)                                           \
    X(92, IsContext, "context?", natives_bind::is_context)                                  \
    X(93, SetEnv, "set-env", natives_system::set_env)                                       \
    X(94, GetEnv, "get-env", natives_system::get_env)                                       \
    X(95, ListEnv, "list-env", natives_system::list_env)                                    \
    X(96, Now, "now", natives_system::now)                                                   \
    X(97, IsSign, "sign?", natives_math::is_sign)                                           \
    X(98, As, "as", natives_text::as)                                                       \
    X(99, Call, "call", not_done)                                                           \
    X(100, IsZero, "zero?", natives_math::is_zero)                                          \
    X(101, IsSize, "size?", not_done)                                                       \
    X(102, Browse, "browse", natives_host::browse)                                          \
    X(103, Compress, "compress", not_done)                                                  \
    X(104, Decompress, "decompress", not_done)                                              \
    X(105, Recycle, "recycle", collector::recycle)                                          \
    X(106, Transcode, "transcode", natives_system::transcode)                               \
    X(107, Apply, "apply", natives_eval::apply)

enum class NativeId : uint8_t {
#define NUV_NATIVE_ENUM(n, name, word, entry) name = n,
    NUV_NATIVES(NUV_NATIVE_ENUM)
#undef NUV_NATIVE_ENUM
};

inline constexpr int32_t kNativeCount = 107;
inline constexpr int32_t kTableSlots = native::kNativeSlots;
#define NUV_NATIVE_COUNT(n, name, word, entry) +1
static_assert(0 NUV_NATIVES(NUV_NATIVE_COUNT) == kNativeCount);
#undef NUV_NATIVE_COUNT

const char* native_word(NativeId id);

// Makes the table and the scratch block, then registers the natives in index order. Runs once,
// after the actions table and before the boot image is loaded.
void init();
// Appends entries after the last registered one; a full table ends the process.
void register_entries(const Entry* list, int32_t count);
// Puts a higher layer's entry in the slot of a native (the platform layer installs its natives
// this way when it starts up, after init) and answers the entry it replaces, so a layer can
// extend one that is already there.
Entry install(NativeId id, Entry entry);
// Entries registered so far; a native! value may name only 1 .. count().
int32_t count();
// The entry of the 1-based index, nullptr outside 1 .. count().
Entry entry(int32_t index);
// The block of 32 cells, in the root block, that print and prin reduce a block into.
Cell* scratch();

// The entry of a native whose family is not built yet: raises internal not-done.
[[noreturn]] void not_done(bool check, const int32_t* refinements);

}  // namespace nuv::natives
