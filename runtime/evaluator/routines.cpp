// The routine table and the routine call. The runtime's routines are listed once, each with its
// word, spec text, entry and return kind; the type predicates are one entry family generated
// from their tables.
#include "runtime/evaluator/routines.h"

#include <algorithm>
#include <array>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/routine.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/trace.h"
#include "runtime/frames.h"
#include "runtime/os.h"
#include "runtime/output.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/syntax/start_texts.h"
#include "runtime/system.h"
#include "runtime/unicode.h"

namespace nuv::routines {

namespace {

using T = TypeId;

constexpr int32_t kTableSlots = 512;
Entry g_table[kTableSlots];
int32_t g_filled = 0;

// ---- Calling ----

// Whether what the type word holds accepts the type: a typeset by membership, a datatype by
// equality. An unset word raises script no-value, any other value invalid-type-spec.
bool accepts(const Cell* type_word, T t) {
    const Cell* held = word::slot(type_word);
    switch (cell::type_of(held)) {
    case T::Typeset: return typeset::has(held, t);
    case T::Datatype: return static_cast<T>(held->w1) == t;
    case T::Unset: fire(Err::NoValue, type_word);
    default: fire(Err::InvalidTypeSpec, type_word);
    }
}

uint64_t by_address(const Cell* value) { return reinterpret_cast<uintptr_t>(value); }

// The machine argument of the word! at spec index `at`, whose value is `value`.
uint64_t convert(NodeId spec, int32_t at, const Cell* value, const Cell* name) {
    if (at + 1 >= block::count(spec) || !cell::is(&block::raw_cells(spec)[at + 1], T::Block))
        return by_address(value);  // untyped (a local): any value, by its cell
    const Cell types = block::at(spec, at + 1);
    if (block::rs_length(&types) < 1) fire(Err::InvalidTypeSpec, &types);
    const Cell type_word = block::at(cell::node(&types), block::head_index(&types));
    if (!cell::is(&type_word, T::Word)) fire(Err::InvalidTypeSpec, &type_word);
    const T t = cell::type_of(value);
    if (!accepts(&type_word, t)) {
        Cell type;
        datatype::set(&type, t);
        Cell arg = block::at(spec, at);
        fire(Err::ExpectArg, name, &type, &arg);
    }
    if (cell::is(word::slot(&type_word), T::Typeset)) return by_address(value);
    switch (t) {
    case T::Integer:
    case T::Char: return value->w2;
    case T::Logic: return value->w1;
    case T::Float: return std::bit_cast<uint64_t>(cell::get_double(value));
    default: return by_address(value);
    }
}

// ---- The runtime's routines ----

// The shift native's core: a negative count counts as 0, a count of 32 or more shifts every
// bit out (an arithmetic right shift keeps the sign).
int32_t shift_count(uint64_t slot) {
    const int32_t bits = arg_int(slot);
    return bits < 0 ? 0 : bits;
}

uint64_t shift_right(const uint64_t* args) {
    const int32_t bits = shift_count(args[0]);
    const int32_t data = arg_int(args[1]);
    return static_cast<uint32_t>(bits >= 32 ? (data < 0 ? -1 : 0) : data >> bits);
}

uint64_t shift_left(const uint64_t* args) {
    const int32_t bits = shift_count(args[0]);
    return bits >= 32 ? 0 : static_cast<uint32_t>(args[1]) << bits;
}

uint64_t shift_logical(const uint64_t* args) {
    const int32_t bits = shift_count(args[0]);
    return bits >= 32 ? 0 : static_cast<uint32_t>(args[1]) >> bits;
}

// Whether the last printed output ended a line (true before any output).
uint64_t is_last_lf(const uint64_t*) { return output::last_new_line() ? 1 : 0; }

uint64_t stack_size(const uint64_t*) { return static_cast<uint64_t>(stack::g_args.top - stack::g_args.bottom); }

// The block argument is a stack cell, and the call's result.
uint64_t collect_calls(const uint64_t* args) {
    frames::collect_calls(arg_cell(args[0]));
    return 0;
}

uint64_t is_tracing(const uint64_t*) { return trace::tracing() ? 1 : 0; }

// Switches tracing on or off inside an open trace run; outside one it stays off.
uint64_t set_tracing(const uint64_t* args) {
    hooks::g_tracing = args[0] != 0 && trace::active();
    return 0;
}

// The UTF-8 sequences from start's head to pos's index in start's buffer, each step as long as
// its lead byte says. A sequence that pos or the tail cuts counts as one, and no byte at or past
// either is read.
uint64_t count_chars(const uint64_t* args) {
    const Cell* pos = arg_cell(args[0]);
    const Cell* start = arg_cell(args[1]);
    memory::SeriesBuf* b = memory::buf_of(start);
    const int64_t used = static_cast<int64_t>(b->used());
    const int64_t end = std::clamp<int64_t>(cell::head(pos), 0, used);
    const uint8_t* bytes = b->offset_ptr();
    uint32_t count = 0;
    for (int64_t i = std::clamp<int64_t>(cell::head(start), 0, used); i < end; count++)
        i += std::max(1, unicode::utf8_lead_length(bytes[i]));
    return count;
}

// The components (last first in args) as a tuple in arguments[0]: the first negative one
// raises script invalid-arg with it; each is taken modulo 256.
uint64_t components_tuple(const uint64_t* args, int32_t count) {
    int32_t values[4];
    for (int32_t i = 0; i < count; i++) values[i] = arg_int(args[count - 1 - i]);
    for (int32_t i = 0; i < count; i++)
        if (values[i] < 0) fire_int(Err::InvalidArg, values[i]);
    tuple::set_list(stack::arg(0), count, values);
    return 0;
}

uint64_t as_color(const uint64_t* args) { return components_tuple(args, 3); }
uint64_t as_ipv4(const uint64_t* args) { return components_tuple(args, 4); }

// Script expect-arg naming the routine, the value's type and the argument.
[[noreturn]] void fire_expect(const char* routine, const char* argument, const Cell* value) {
    Cell type;
    datatype::set(&type, cell::type_of(value));
    Cell name;
    word::make_at(symbol::make_cstr(routine), &name);
    Cell arg;
    word::make_at(symbol::make_cstr(argument), &arg);
    fire(Err::ExpectArg, &name, &type, &arg);
}

uint64_t quit_return(const uint64_t* args) { os::quit(arg_int(args[0])); }

// Sets the word in its own context with no change notice; the value is the result.
uint64_t set_quiet(const uint64_t* args) {
    Cell* word = arg_cell(args[1]);
    const Cell* value = arg_cell(args[0]);
    if (!word::is_any_word_type(cell::type_of(word))) fire_expect("set-quiet", "word", word);
    context::set_in(word, value, word->w1, false);
    *stack::arg(0) = *value;
    return 0;
}

// Copies the value into the series' head cell, with no owner notice; a series at its tail
// stays as it was.
uint64_t set_slot_quiet(const uint64_t* args) {
    Cell* series = arg_cell(args[1]);
    const Cell* value = arg_cell(args[0]);
    const T t = cell::type_of(series);
    if (t != T::Block && t != T::Paren && !(t >= T::Path && t <= T::GetPath))
        fire_expect("set-slot-quiet", "series", series);
    const NodeId node = cell::node(series);
    const int32_t at = cell::head(series);
    if (at >= 0 && at < block::count(node)) {
        const Cell copy = *value;
        block::write_cells(node)[at] = copy;
    }
    *stack::arg(0) = *value;
    return 0;
}

uint64_t get_current_dir(const uint64_t*) {
    const std::string path = os::current_dir();
    Cell* out = stack::arg(0);
    string::load(reinterpret_cast<const uint8_t*>(path.data()), path.size(), out, string::kUtf8);
    cell::set_header(out, T::File);
    return 0;
}

uint64_t set_current_dir(const uint64_t* args) {
    const Cell* path = arg_cell(args[0]);
    if (!os::set_current_dir(string::to_std_utf8(path).c_str())) fire(Err::CannotOpen, path);
    *stack::arg(0) = *path;
    return 0;
}

// The cell at 1-based position idx from the stack bottom, or none.
uint64_t pick_stack(const uint64_t* args) {
    const int32_t idx = arg_int(args[0]);
    const auto size = stack::g_args.top - stack::g_args.bottom;
    *stack::arg(0) = idx > 0 && idx < size ? stack::g_args.bottom[idx - 1] : *none::shared();
    return 0;
}

uint64_t frame_index(const uint64_t*) {
    return static_cast<uint64_t>(stack::g_args.base - stack::g_args.bottom);
}

uint64_t collector_active(const uint64_t*) { return roots::collector_on() ? 1 : 0; }
uint64_t collector_cycles(const uint64_t*) {
    return static_cast<uint32_t>(collector::stats().collections);
}

// Whether the frame below the routine's own carries the interpreter flag: called from the body
// of a function, whether that function was called by user code rather than boot code.
uint64_t is_interpreted_call(const uint64_t*) {
    return frames::depth() >= 2 && frames::is_eval(frames::depth() - 1, true) ? 1 : 0;
}

// Sets the float formatter's switch that the word names (pretty? or full?); any other word
// changes nothing.
uint64_t set_float_switch(const uint64_t* args) {
    const bool on = args[0] != 0;
    const SymId name = symbol::resolve(word::symbol_of(arg_cell(args[1])));
    if (name == symbol::resolve(symbol::make_cstr("pretty?"))) floating::set_pretty(on);
    else if (name == symbol::resolve(symbol::make_cstr("full?"))) floating::set_full(on);
    return 0;
}

struct RuntimeRoutine {
    const char* word;
    const char* spec;
    Entry entry;
    int32_t kind;
};

// In the order they are bound.
constexpr RuntimeRoutine kRuntimeRoutines[] = {
    {"quit-return",
     "\"Stops evaluation and exits the program with a given status\" status [integer!]",
     quit_return, kNoResult},
    {"set-quiet",
     "\"Set an object's field to a value without triggering eventual object's events\" word value",
     set_quiet, kNoResult},
    {"set-slot-quiet",
     "\"Set a value in series without triggering eventual owner's events\" series value",
     set_slot_quiet, kNoResult},
    {"shift-right", "\"Shift bits to the right\" data [integer!] bits [integer!] return: [integer!]",
     shift_right, kIntegerResult},
    {"shift-left", "\"Shift bits to the left\" data [integer!] bits [integer!] return: [integer!]",
     shift_left, kIntegerResult},
    {"shift-logical",
     "\"Shift bits to the right (unsigned)\" data [integer!] bits [integer!] return: [integer!]",
     shift_logical, kIntegerResult},
    {"last-lf?", "\"Internal Use Only\" return: [logic!]", is_last_lf, kLogicResult},
    {"get-current-dir", "\"Returns the platform's current directory for the process\" return: [file!]",
     get_current_dir, kNoResult},
    {"set-current-dir", "\"Sets the platform's current process directory\" path [file!]",
     set_current_dir, kNoResult},
    {"as-color",
     "\"Combine R, G and B values into a tuple\" r [integer!] g [integer!] b [integer!] return: [tuple!]",
     as_color, kNoResult},
    {"as-ipv4",
     "\"Combine a, b, c and d values into a tuple\" a [integer!] b [integer!] c [integer!] d [integer!] return: [tuple!]",
     as_ipv4, kNoResult},
    {"as-rgba",
     "\"Combine R, G, B and A color components into a tuple\" r [integer!] g [integer!] b [integer!] a [integer!] return: [tuple!]",
     as_ipv4, kNoResult},
    {"count-chars",
     "\"Count UTF-8 encoded characters between two positions in a binary series\" "
     "start [binary!] pos [binary!] return: [integer!]",
     count_chars, kIntegerResult},
    {"stack-size?", "return: [integer!]", stack_size, kIntegerResult},
    {"pick-stack", "idx [integer!]", pick_stack, kNoResult},
    {"frame-index?", "return: [integer!]", frame_index, kIntegerResult},
    {"collect-calls", "blk [block!]", collect_calls, kNoResult},
    {"tracing?", "return: [logic!]", is_tracing, kLogicResult},
};

// The fields of system/state/GC, in order.
constexpr RuntimeRoutine kCollectorRoutines[] = {
    {"active?", "return: [logic!]", collector_active, kLogicResult},
    {"series-cycles", "return: [integer!]", collector_cycles, kIntegerResult},
    {"nodes-cycles", "return: [integer!]", collector_cycles, kIntegerResult},
};

// The routines the system object's methods call, kept out of the global context: the fields of
// an object of their own, to which the methods' bodies are bound.
constexpr RuntimeRoutine kMethodRoutines[] = {
    {"interpreted-call?", "\"Internal Use Only\" return: [logic!]", is_interpreted_call, kLogicResult},
    {"set-float-switch", "\"Internal Use Only\" switch [word!] value [logic!]", set_float_switch, kNoResult},
};

// The routines the tools' `trace` calls, kept out of the global context like the methods'.
constexpr RuntimeRoutine kToolRoutines[] = {
    {"set-tracing", "\"Internal Use Only\" on [logic!]", set_tracing, kNoResult},
};

// ---- Type predicates ----

struct TypePredicate {
    const char* word;
    T type;
};

constexpr TypePredicate kTypePredicates[] = {
    {"bitset?", T::Bitset},     {"binary?", T::Binary},     {"block?", T::Block},
    {"char?", T::Char},         {"email?", T::Email},       {"file?", T::File},
    {"float?", T::Float},       {"get-path?", T::GetPath},  {"get-word?", T::GetWord},
    {"hash?", T::Hash},         {"integer?", T::Integer},   {"issue?", T::Issue},
    {"lit-path?", T::LitPath},  {"lit-word?", T::LitWord},  {"logic?", T::Logic},
    {"map?", T::Map},           {"none?", T::None},         {"pair?", T::Pair},
    {"paren?", T::Paren},       {"path?", T::Path},         {"percent?", T::Percent},
    {"refinement?", T::Refinement}, {"set-path?", T::SetPath}, {"set-word?", T::SetWord},
    {"string?", T::String},     {"tag?", T::Tag},           {"time?", T::Time},
    {"typeset?", T::Typeset},   {"tuple?", T::Tuple},       {"unset?", T::Unset},
    {"url?", T::Url},           {"word?", T::Word},         {"image?", T::Image},
    {"date?", T::Date},         {"money?", T::Money},       {"ref?", T::Ref},
    {"point2D?", T::Point2D},   {"point3D?", T::Point3D},   {"handle?", T::Handle},
    {"error?", T::Error},       {"action?", T::Action},     {"native?", T::Native},
    {"datatype?", T::Datatype}, {"function?", T::Function}, {"object?", T::Object},
    {"op?", T::Op},             {"routine?", T::Routine},   {"vector?", T::Vector},
};
static_assert(std::size(kTypePredicates) == 48);

// Each tests the value's type in the typeset its global word (the name with "!" for "?")
// holds at the time of the call.
constexpr const char* kTypesetPredicates[] = {
    "any-list?", "any-block?", "any-function?", "any-object?", "any-path?", "any-string?", "any-word?",
    "series?",   "number?",    "immediate?",    "scalar?",     "all-word?", "any-point?",  "planar?",
};
constexpr size_t kTypesetCount = std::size(kTypesetPredicates);
static_assert(std::size(kTypePredicates) + kTypesetCount == 62);

Cell g_typeset_words[kTypesetCount];  // the global words the typeset predicates read

template <size_t K>
uint64_t is_type(const uint64_t* args) {
    return cell::is(arg_cell(args[0]), kTypePredicates[K].type);
}

template <size_t K>
uint64_t in_typeset(const uint64_t* args) {
    return accepts(&g_typeset_words[K], cell::type_of(arg_cell(args[0])));
}

template <size_t... K>
constexpr std::array<Entry, sizeof...(K)> type_entries(std::index_sequence<K...>) {
    return {is_type<K>...};
}
template <size_t... K>
constexpr std::array<Entry, sizeof...(K)> typeset_entries(std::index_sequence<K...>) {
    return {in_typeset<K>...};
}
constexpr auto kTypeEntries = type_entries(std::make_index_sequence<std::size(kTypePredicates)>());
constexpr auto kTypesetEntries = typeset_entries(std::make_index_sequence<kTypesetCount>());

}  // namespace

// ---- Binding ----

Cell* push(std::string_view spec_text, Entry fn, int32_t kind) {
    Cell* spec = start_texts::push(spec_text);
    return routine::make_value(spec, nullptr, add(fn), kind, false);
}

void bind(const char* name, std::string_view spec_text, Entry fn, int32_t kind, const Cell* object,
          int32_t field) {
    const stack::Mark mark;
    const Cell* value = push(spec_text, fn, kind);
    if (object) *context::write_at(object::context_of(object), field) = *value;
    else context::set_global(symbol::make_cstr(name), value);
    mark.restore();
}

int32_t add(Entry fn) {
    if (g_filled == kTableSlots) fatal("routine table full", 1);
    g_table[g_filled++] = fn;
    return g_filled;
}

int32_t count() { return g_filled; }

Entry entry(int32_t index) { return index >= 1 && index <= g_filled ? g_table[index - 1] : nullptr; }

void call(const Cell* callee, const Cell* name) {
    const Cell routine = cell::is(callee, T::Op) ? *function::info(callee, function::Info::Op) : *callee;
    const Entry fn = cell::is(&routine, T::Routine) ? entry(routine::entry_of(&routine)) : nullptr;
    if (!fn) fire(Err::NotDone);
    if (stack::g_args.top == stack::g_args.base) stack::push(unset::shared());  // the result slot
    // The stack slot of each word!: every word!, get-word!, lit-word! and refinement! of the
    // spec has one, in spec order, as the call's arguments are laid out.
    const NodeId spec = function::spec_node(&routine);
    const int32_t slots = static_cast<int32_t>(stack::g_args.top - stack::g_args.base);
    int32_t at[routine::kMaxArgs];
    int32_t slot[routine::kMaxArgs];
    int32_t n = 0;
    int32_t s = 0;
    for (int32_t i = 0; i < block::count(spec) && n < routine::kMaxArgs; i++) {
        const T t = cell::type_of(&block::raw_cells(spec)[i]);
        if (t == T::Word) {
            at[n] = i;
            slot[n++] = s;
        }
        if (t == T::Word || t == T::GetWord || t == T::LitWord || t == T::Refinement) s++;
    }
    if (n > 0 && slot[n - 1] >= slots) fire(Err::NotDone);  // a spec the call did not lay out
    uint64_t machine[routine::kMaxArgs];
    for (int32_t k = n - 1; k >= 0; k--) machine[n - 1 - k] = convert(spec, at[k], stack::arg(slot[k]), name);
    const uint64_t result = fn(machine);
    switch (routine::second_of(&routine)) {
    case kLogicResult: logic::set(stack::arg(0), result != 0); break;
    case kIntegerResult:
        *stack::arg(0) = Cell{static_cast<uint32_t>(T::Integer), 0, static_cast<uint32_t>(result), 0};
        break;
    default: break;
    }
}

void init() { g_filled = 0; }

void bind_runtime() {
    for (const RuntimeRoutine& r : kRuntimeRoutines) bind(r.word, r.spec, r.entry, r.kind);
}

void bind_predicates() {
    const std::string is_type_doc = "\"Returns true if the value is this type\"";
    const std::string tail = " value [any-type!] return: [logic!]";
    for (size_t k = 0; k < std::size(kTypePredicates); k++)
        bind(kTypePredicates[k].word, is_type_doc + tail, kTypeEntries[k], kLogicResult);
    for (size_t k = 0; k < kTypesetCount; k++) {
        std::string name = kTypesetPredicates[k];
        name.pop_back();
        g_typeset_words[k] = *word::make_global((name + "!").c_str());
        bind(kTypesetPredicates[k], "\"Returns true if the value is any type of " + name + "\"" + tail,
             kTypesetEntries[k], kLogicResult);
    }
}

void bind_collector(const Cell* gc) {
    if (!gc || object::word_count(gc) < static_cast<int32_t>(std::size(kCollectorRoutines)))
        fire(Err::NotDone);
    const Cell object = *gc;
    collector::Root keep(&object);
    for (size_t k = 0; k < std::size(kCollectorRoutines); k++) {
        const RuntimeRoutine& r = kCollectorRoutines[k];
        bind(r.word, r.spec, r.entry, r.kind, &object, static_cast<int32_t>(k));
    }
}

namespace {

// Binds the bodies of the functions the getters find (looked up again after anything allocates:
// their cells lie in buffers) to a new object whose fields are the routines.
template <size_t N, size_t M>
void bind_bodies(const RuntimeRoutine (&table)[N], const std::array<const Cell* (*)(), M>& functions) {
    for (const auto function : functions)
        if (!function()) fire(Err::NotDone);
    const stack::Mark mark;
    Cell* holder = object::make_empty(stack::reserve(), static_cast<int32_t>(N));
    for (const RuntimeRoutine& r : table) object::add_field(holder, r.word, push(r.spec, r.entry, r.kind));
    holder->w2 = static_cast<uint32_t>(object::new_class());
    const NodeId ctx = object::context_of(holder);
    object::finalize(holder, ctx);
    for (const auto function : functions) {
        Cell body = function::body_of(function());
        context::bind_block(&body, ctx, false);
    }
    mark.restore();
}

const Cell* global_trace() {
    const Cell* held = word::slot(word::make_global("trace"));
    return held && cell::is(held, T::Function) ? held : nullptr;
}

}  // namespace

void bind_methods() {
    bind_bodies(kMethodRoutines, std::array{system_object::interpreted_method, system_object::float_guard});
}

void bind_tools() { bind_bodies(kToolRoutines, std::array{global_trace}); }

}  // namespace nuv::routines
