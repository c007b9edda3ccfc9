// stats, get-env, set-env and transcode: argument checks and preparation; the memory manager,
// the library's printer of its table, the C library's environment and the lexer do the work.
#include "runtime/evaluator/natives_system.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include <unistd.h>

#include "runtime/boot_code.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/truth.h"
#include "runtime/memory.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/syntax/lexer.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace nuv::natives_system {

namespace {

using T = TypeId;

bool is_flag(const int32_t* refinements, int32_t k) { return refinements[k] >= 0; }
Cell* refinement_arg(const int32_t* refinements, int32_t k) {
    return refinements[k] >= 0 ? stack::arg(refinements[k]) : nullptr;
}

constexpr bool is_any_word(T t) { return t >= T::Word && t <= T::GetWord; }

// Raises script expect-arg naming spec argument number `arg` when the value's type is not one
// the predicate takes.
template <class Accepts>
void expect(const Cell* value, int32_t arg, Accepts accepts) {
    if (value && !accepts(cell::type_of(value))) fire_expect_arg(cell::type_of(value), arg);
}

// The text from its head as UTF-8. No series allocation.
std::string text_utf8(const Cell* text) {
    const uint32_t unit = string::unit_of(text);
    const uint8_t* head = string::head_ptr(text);
    const auto n = static_cast<size_t>(string::length(text));
    std::string out(unicode::utf8_size_of_units(head, head + n * unit, unit), '\0');
    unicode::string_write_utf8(text, reinterpret_cast<uint8_t*>(out.data()), -1, false);
    return out;
}

// The variable name of a word (its spelling) or a text (from its head), as UTF-8.
std::string env_name(const Cell* var) {
    if (is_any_word(cell::type_of(var))) {
        const SymId sym = word::symbol_of(var);
        return std::string(symbol::utf8_name(sym), symbol::name_length(sym));
    }
    return text_utf8(var);
}

// The C library reads names up to a NUL and splits entries at the first '=': such a name
// would reach another variable.
bool is_valid_name(const std::string& name) {
    return !name.empty() && name.find_first_of(std::string_view("=\0", 2)) == std::string::npos;
}

void check_var(const Cell* var) {
    expect(var, 0, [](T t) { return is_any_word(t) || series::is_any_string(t); });
}

// The library's printer of the memory table: the value the start-up seal keeps, so a user's
// redefinition of the global word does not reach it; before any seal, the global word's.
Cell memory_stats_printer() {
    const SymId sym = symbol::make_cstr("show-memory-stats");
    const NodeId library = boot_code::library();
    const int32_t slot = library ? context::find_word(library, sym, true) : -1;
    const Cell* value = slot >= 0 ? context::values_at(library, slot) : context::global_slot(sym);
    if (!value || !cell::is(value, T::Function)) {
        Cell name;
        word::make_at(sym, &name);
        fire(Err::NoValue, &name);
    }
    return *value;
}

}  // namespace

void stats(bool, const int32_t* refinements) {
    if (is_flag(refinements, 0)) {
        const Cell printer = memory_stats_printer();
        memory::stats_info(stack::arg(0));
        const Cell info = *stack::arg(0);  // the call's pushes start at arguments[0]
        interp::call_function(&printer, hooks::Callback::Call, &info, 1);
        unset::set_result();
        return;
    }
    if (is_flag(refinements, 1)) {
        memory::stats_info(stack::arg(0));
        return;
    }
    memory::set_byte_count(stack::arg(0), memory::bytes_in_use());
}

void get_env(bool check, const int32_t*) {
    Cell* var = stack::arg(0);
    if (check) check_var(var);
    const std::string name = env_name(var);
    const char* value = is_valid_name(name) ? std::getenv(name.c_str()) : nullptr;
    if (!value) {
        none::set(var);
        return;
    }
    string::load(reinterpret_cast<const uint8_t*>(value), std::strlen(value), var, string::kUtf8);
}

void list_env(bool, const int32_t*) {
    int32_t count = 0;
    for (char** entry = environ; *entry; entry++) count++;
    Cell* pairs = block::push_new(2 * count);
    for (int32_t i = 0; i < count && environ[i]; i++) {
        // A name holds no '=' after its first character (names that start with one keep it).
        const char* entry = environ[i];
        const char* equals = entry[0] ? std::strchr(entry + 1, '=') : nullptr;
        const size_t length = std::strlen(entry);
        const size_t name_length = equals ? static_cast<size_t>(equals - entry) : length;
        const char* value = equals ? equals + 1 : entry + length;
        for (const auto& [text, bytes] : {std::pair{entry, name_length},
                                          std::pair{value, std::strlen(value)}}) {
            Cell* item = stack::reserve();
            cell::set_header(item, TypeId::Unset);
            string::load(reinterpret_cast<const uint8_t*>(text), bytes, item, string::kUtf8);
            block::append_cell(pairs, item);
            stack::drop(1);
        }
    }
    Cell* made = stack::push(none::shared());
    map::make_at(made, pairs, count);
    stack::set_result(made);
}

void now(bool, const int32_t* refinements) {
    // Refinements 0-7 pick a field (pick's number for each); 8 is /precise, 9 /utc.
    static constexpr int32_t kFields[] = {2, 3, 4, 6, 5, 1, 10, 11};
    int32_t chosen = 0;
    int32_t count = 0;
    for (int32_t i = 0; i < 9; i++) {
        if (refinements[i] < 0) continue;
        count++;
        if (i < 8) chosen = kFields[i];
    }
    const bool precise = refinements[8] >= 0;
    if (count > 1 && !(count == 2 && precise && refinements[3] >= 0)) fire(Err::BadRefines);
    Cell current;
    date::now(&current, refinements[9] >= 0, precise);
    if (chosen == 0) {
        stack::set_result(&current);
        return;
    }
    Cell part;
    date::field(&current, chosen, &part);
    stack::set_result(&part);
}

void set_env(bool check, const int32_t*) {
    Cell* var = stack::arg(0);
    Cell* value = stack::arg(1);
    if (check) {
        check_var(var);
        expect(value, 1, [](T t) { return t == T::String || t == T::None; });
    }
    const std::string name = env_name(var);
    if (!is_valid_name(name)) fire(Err::InvalidArg, var);
    int status;
    if (cell::is(value, T::None)) {
        status = unsetenv(name.c_str());
    } else {
        const std::string text = text_utf8(value);
        if (text.find('\0') != std::string::npos) fire(Err::InvalidArg, value);
        status = setenv(name.c_str(), text.c_str(), 1);
    }
    if (status != 0) fire(errno == ENOMEM ? Err::NoMemory : Err::InvalidArg, var);
    stack::set_last(value);
}

// ---- Lexer events for a callback written in the language ----

namespace {

// The run's link to the callback. Positions cross between the lexer's byte offsets and the
// input's units; for a string those are characters, converted from the last conversion on (forward
// or backward), so a trace over a long text never recounts it from its start.
struct LexerCallback {
    Cell callback;  // kept reachable as the native's argument
    Cell input;     // the series as given; the run keeps it reachable
    bool chars;     // string input: indexes count characters
    Cell eof;       // the word eof, the type of the end of the input
    size_t byte = 0;     // the last conversion: a byte offset into the run's text
    int32_t units = 0;   // and the units before it
};

int32_t index_of(LexerCallback& lc, const lexer::EventInfo& info, size_t offset) {
    const int32_t base = cell::head(&lc.input) + static_cast<int32_t>(info.skipped);
    if (!lc.chars) return base + static_cast<int32_t>(offset);
    if (offset >= lc.byte) {
        lc.units += static_cast<int32_t>(
            unicode::utf8_length(info.text + lc.byte, info.text + offset));
    } else {
        lc.units -= static_cast<int32_t>(
            unicode::utf8_length(info.text + offset, info.text + lc.byte));
    }
    lc.byte = offset;
    return base + lc.units;
}

// The byte offset of an input index, clamped to the run's text.
size_t offset_of(LexerCallback& lc, const lexer::EventInfo& info, int32_t index) {
    const int32_t base = cell::head(&lc.input) + static_cast<int32_t>(info.skipped);
    if (index <= base) index = base;
    const int32_t units = index - base;
    const size_t length = info.length;
    if (!lc.chars) return std::min(static_cast<size_t>(units), length);
    const uint8_t* text = info.text;
    if (units >= lc.units) {
        const uint8_t* at = unicode::utf8_skip_chars(text + lc.byte, text + length,
                                                     static_cast<size_t>(units - lc.units));
        lc.units += static_cast<int32_t>(unicode::utf8_length(text + lc.byte, at));
        lc.byte = static_cast<size_t>(at - text);
    } else {
        while (lc.units > units) {
            do lc.byte--;
            while (lc.byte > 0 && (text[lc.byte] & 0xC0) == 0x80);
            lc.units--;
        }
    }
    return lc.byte;
}

const Cell& lexer_event_word(lexer::Event e) {
    switch (e) {
    case lexer::Event::Prescan: return words::w::prescan;
    case lexer::Event::Scan: return words::w::scan;
    case lexer::Event::Load: return words::w::load;
    case lexer::Event::Open: return words::w::open;
    case lexer::Event::Close: return words::w::close;
    case lexer::Event::Error: break;
    }
    return words::w::error;
}

// Tokens whose prescan reports their start: the delimiters and structural tokens.
bool reports_start(const lexer::EventInfo& info) {
    using K = lexer::Kind;
    if (info.event == lexer::Event::Open || info.event == lexer::Event::Error) return true;
    if (info.event != lexer::Event::Prescan) return false;
    switch (static_cast<K>(info.exit_state)) {
    case K::Eof: case K::BlockOpen: case K::BlockClose: case K::ParenOpen: case K::ParenClose:
    case K::BraceOpen: case K::BraceClose: case K::MapOpen: case K::PathOpen: case K::Construct:
    case K::Comma: return true;
    default: return false;
    }
}

// The token's type argument: its datatype, else what its terminal state stands for.
Cell type_argument(const LexerCallback& lc, const lexer::EventInfo& info) {
    Cell type{};
    if (info.type != T::Invalid) {
        datatype::set(&type, info.type);
    } else if (info.exit_state == static_cast<int>(lexer::Kind::Eof)) {
        type = lc.eof;
    } else if (info.exit_state == static_cast<int>(lexer::Kind::Comment)) {
        type = words::w::comment;
    } else if (info.exit_state == static_cast<int>(lexer::Kind::Construct)) {
        datatype::set(&type, T::Datatype);
    } else {
        type = *none::shared();
    }
    return type;
}

// Calls the callback with the event, the input at the event's position, the type, the line
// and the token; an input the callback moved moves the run.
bool call_lexer_callback(void* data, lexer::EventInfo& info) {
    auto& lc = *static_cast<LexerCallback*>(data);
    Cell args[5];
    args[0] = lexer_event_word(info.event);
    const int32_t start = index_of(lc, info, info.start);
    const int32_t end = index_of(lc, info, info.end);
    const int32_t at = reports_start(info) ? start : end;
    args[1] = lc.input;
    cell::set_head(&args[1], at);
    args[2] = type_argument(lc, info);
    integer::set(&args[3], info.line);
    if (info.value) args[4] = *info.value;
    else args[4] = Cell{static_cast<uint32_t>(T::Pair), 0, static_cast<uint32_t>(start),
                        static_cast<uint32_t>(end)};
    stack::Mark keep;
    const bool answer =
        truth::is_true(interp::call_callback(&lc.callback, hooks::Callback::Lexer, args, 5));
    keep.restore();
    const Cell& moved = args[1];  // `input` as the callback left it
    if (cell::type_of(&moved) == cell::type_of(&lc.input) &&
        cell::node(&moved) == cell::node(&lc.input) && cell::head(&moved) != at)
        info.resume = offset_of(lc, info, cell::head(&moved));
    return answer;
}

// The events a callback takes: the event words of the block its body starts with, else all.
uint32_t lexer_event_mask(const Cell* callback) {
    const Cell body = function::body_of(callback);
    if (!cell::is(&body, T::Block) || cell::head(&body) >= block::count(cell::node(&body)))
        return lexer::kAllEvents;
    const Cell* first = block::raw_cells(cell::node(&body)) + cell::head(&body);
    if (!cell::is(first, T::Block)) return lexer::kAllEvents;
    uint32_t mask = 0;
    const NodeId events = cell::node(first);
    for (int32_t i = cell::head(first), n = block::count(events); i < n; i++) {
        const Cell* item = block::raw_cells(events) + i;
        if (!cell::is(item, T::Word)) continue;
        const SymId sym = symbol::resolve(word::symbol_of(item));
        for (uint32_t bit = 1; bit <= 32; bit <<= 1) {
            const Cell& w = lexer_event_word(static_cast<lexer::Event>(bit));
            if (symbol::resolve(word::symbol_of(&w)) == sym) mask |= bit;
        }
    }
    return mask;
}

}  // namespace

void transcode(bool check, const int32_t* refinements) {
    Cell* source = stack::arg(0);
    const Cell* part = refinement_arg(refinements, 4);
    const Cell* into = refinement_arg(refinements, 5);
    const Cell* callback = refinement_arg(refinements, 6);
    if (check) {
        expect(source, 0, [](T t) { return t == T::String || t == T::Binary; });
        expect(part, 1, [](T t) { return t == T::Integer || t == T::Binary || t == T::String; });
        expect(into, 2, [](T t) { return t == T::Block; });
        expect(callback, 3, [](T t) { return t == T::Function || t == T::Routine; });
    }
    Cell input = *source;
    cell::set_head(&input, std::clamp(cell::head(&input), 0, string::length_abs(&input)));
    lexer::Refinements r{.next = is_flag(refinements, 0),
                               .one = is_flag(refinements, 1),
                               .prescan = is_flag(refinements, 2),
                               .scan = is_flag(refinements, 3),
                               .part = part,
                               .into = into};
    if (!callback) {
        lexer::run_transcode(&input, r, source);
        return;
    }
    LexerCallback lc{*callback, input, !cell::is(&input, T::Binary),
                     word::make_global_as("eof", T::Word)};
    r.hook = call_lexer_callback;
    r.hook_data = &lc;
    r.events = lexer_event_mask(callback);
    lexer::run_transcode(&input, r, source);
}

}  // namespace nuv::natives_system
