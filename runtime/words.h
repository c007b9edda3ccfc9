// The runtime's own names, interned once at start-up in a fixed order (symbols first, then
// words, so their symbol ids follow this order): bare symbol ids for names native code only
// compares, global word! cells for names it also passes as values (action and notice words,
// frame names, error categories), unbound refinement! cells and one issue! value.
// Each list below is written once; its enum, its variables and the interning order derive
// from it. A name that occurs twice in a list keeps a variable per occurrence (same id).
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"

namespace nuv::words {

// X(variable, "spelling"). "!" becomes _type, "?" becomes is_, "*" becomes _star, brackets are
// dropped, names that are C++ keywords take a trailing _ and a name's second occurrence _2.
#define NUV_RUNTIME_SYMBOLS(X)                                                                  \
    X(spec, "spec") X(body, "body") X(words, "words") X(class_, "class")                        \
    X(logic_type, "logic!") X(integer_type, "integer!") X(char_type, "char!")                   \
    X(float_type, "float!") X(percent_type, "percent!") X(any_type_type, "any-type!")           \
    X(exit, "exit") X(return_, "return") X(os_windows, "Windows") X(os_syllable, "Syllable")    \
    X(os_macos, "macOS") X(os_linux, "Linux") X(os_netbsd, "NetBSD") X(repeat, "repeat")        \
    X(foreach, "foreach") X(map_each, "map-each") X(remove_each, "remove-each") X(any, "any")   \
    X(break_, "break") X(copy, "copy") X(end, "end") X(fail, "fail") X(into, "into")            \
    X(opt, "opt") X(not_, "not") X(quote, "quote") X(case_, "case") X(reject, "reject")         \
    X(set, "set") X(skip, "skip") X(some, "some") X(thru, "thru") X(to, "to") X(none, "none")   \
    X(if_, "if") X(remove, "remove") X(while_, "while") X(insert, "insert") X(only, "only")     \
    X(collect, "collect") X(keep, "keep") X(pick, "pick") X(ahead, "ahead") X(after, "after")   \
    X(self, "self") X(values, "values") X(owner, "owner") X(owned, "owned")                     \
    X(is_events, "events?") X(true_, "true") X(false_, "false") X(yes, "yes") X(no, "no")       \
    X(on, "on") X(off, "off") X(type, "type") X(face, "face") X(window, "window")               \
    X(offset, "offset") X(key, "key") X(flag, "flag") X(code, "code") X(picked, "picked")       \
    X(flags, "flags") X(is_away, "away?") X(is_ctrl, "ctrl?") X(is_shift, "shift?")             \
    X(is_down, "down?") X(is_mid_down, "mid-down?") X(is_alt_down, "alt-down?")                 \
    X(is_aux_down, "aux-down?") X(orientation, "orientation") X(get, "get") X(put, "put")       \
    X(post, "post") X(head, "head") X(size, "size") X(rgb, "rgb") X(alpha, "alpha")             \
    X(argb, "argb") X(date, "date") X(year, "year") X(month, "month") X(day, "day")             \
    X(zone, "zone") X(isoweek, "isoweek") X(week, "week") X(weekday, "weekday")                 \
    X(yearday, "yearday") X(julian, "julian") X(time, "time") X(hour, "hour")                   \
    X(minute, "minute") X(second, "second") X(timezone, "timezone") X(code_2, "code")           \
    X(amount, "amount") X(user, "user") X(host, "host") X(system, "system")                     \
    X(system_global, "system-global") X(stack, "stack") X(trace, "trace")                       \
    X(no_trace, "no-trace") X(x, "x") X(y, "y") X(z, "z")

#define NUV_RUNTIME_WORDS(X)                                                                    \
    X(at, "at") X(back, "back") X(find, "find") X(head, "head") X(is_head, "head?")             \
    X(is_index, "index?") X(is_length, "length?") X(next, "next") X(pick, "pick")               \
    X(skip, "skip") X(select, "select") X(tail, "tail") X(is_tail, "tail?")                     \
    X(part, "part") X(compare, "compare")                                                        \
    X(change, "change") X(changed, "changed") X(clear, "clear") X(cleared, "cleared")           \
    X(set_path, "set-path") X(append, "append") X(appended, "appended") X(move, "move")         \
    X(moved, "moved") X(poke, "poke") X(poked, "poked") X(put, "put") X(put_ed, "put-ed")       \
    X(removed, "removed") X(random, "random") X(randomized, "randomized")                       \
    X(reverse, "reverse") X(reversed, "reversed") X(sort, "sort") X(sorted, "sorted")           \
    X(swap, "swap") X(swaped, "swaped") X(take, "take") X(taken, "taken") X(trim, "trim")       \
    X(trimmed, "trimmed") X(inserted, "inserted") X(uppercase, "uppercase")                     \
    X(lowercase, "lowercase") X(checksum, "checksum") X(push, "push") X(pop, "pop")             \
    X(fetch, "fetch") X(match, "match") X(iterate, "iterate") X(paren, "paren")                 \
    X(anon, "<anon>") X(body, "<body>") X(not_found, "<not-found>") X(add, "add")               \
    X(subtract, "subtract") X(divide, "divide") X(on_parse_event, "on-parse-event")             \
    X(on_change_star, "on-change*") X(on_deep_change_star, "on-deep-change*")                   \
    X(type, "type") X(id, "id") X(try_, "try") X(catch_, "catch") X(name, "name")               \
    X(multiply, "multiply") X(browse, "browse") X(open, "open") X(create, "create")             \
    X(close, "close") X(delete_, "delete") X(modify, "modify") X(query, "query")                \
    X(read, "read") X(rename, "rename") X(update, "update") X(write, "write")                   \
    X(prescan, "prescan") X(scan, "scan") X(load, "load") X(error, "error")                     \
    X(comment, "comment") X(init, "init") X(exec, "exec") X(call, "call")                       \
    X(return_, "return") X(enter, "enter") X(exit, "exit") X(prolog, "prolog")                  \
    X(epilog, "epilog") X(throw_, "throw") X(expr, "expr")                                      \
    X(interp_callback, "<interp-callback>") X(lexer_callback, "<lexer-callback>")               \
    X(parse_callback, "<parse-callback>") X(compare_callback, "<compare-callback>")             \
    X(throw_2, "throw") X(note, "note") X(syntax, "syntax") X(script, "script")                 \
    X(math, "math") X(access, "access") X(user, "user") X(internal, "internal")                 \
    X(invalid_error, "invalid-error") X(local, "local") X(applied, "<applied>")

// Words made after the listed ones, so that no listed word's slot moves: the action words of
// the before-change notices of insert and remove (their past-tense words are listed).
#define NUV_NOTICE_WORDS(X) X(insert, "insert") X(remove, "remove")

// The trace events the lists above do not already name, made after them for the same reason.
#define NUV_EVENT_WORDS(X) X(end, "end") X(set, "set")

// Action words that errors name, made after the lists above for the same reason.
#define NUV_ERROR_WORDS(X) X(round, "round")

// Unbound refinement! cells.
#define NUV_RUNTIME_REFINEMENTS(X) \
    X(local, "local") X(extern_, "extern") X(compare, "compare") X(part, "part") \
    X(skip, "skip") X(with, "with")

enum class SymIndex : uint16_t {
#define NUV_WORDS_ENUM(name, text) name,
    NUV_RUNTIME_SYMBOLS(NUV_WORDS_ENUM) Count
};
enum class WordIndex : uint16_t {
    NUV_RUNTIME_WORDS(NUV_WORDS_ENUM) NUV_NOTICE_WORDS(NUV_WORDS_ENUM) NUV_EVENT_WORDS(NUV_WORDS_ENUM)
    NUV_ERROR_WORDS(NUV_WORDS_ENUM)
    Count
};
enum class RefinementIndex : uint16_t { NUV_RUNTIME_REFINEMENTS(NUV_WORDS_ENUM) Count };
#undef NUV_WORDS_ENUM

inline constexpr int kSymbolCount = static_cast<int>(SymIndex::Count);
inline constexpr int kListedWordCount = 107;
inline constexpr int kWordCount = static_cast<int>(WordIndex::Count);
inline constexpr int kRefinementCount = static_cast<int>(RefinementIndex::Count);
static_assert(kSymbolCount == 111);
static_assert(kWordCount == kListedWordCount + 5);
static_assert(kRefinementCount == 6);

// Filled by init(); 0 and empty cells before it.
inline SymId g_symbols[kSymbolCount]{};
inline Cell g_words[kWordCount]{};
inline Cell g_refinements[kRefinementCount]{};
inline Cell g_issue{};            // the issue! value "ooo"
inline SymId g_changed_symbol{};  // the symbol of the word `changed`

// words::sym::spec, words::w::append, words::ref::part: read-only views of the tables.
namespace sym {
#define NUV_WORDS_VIEW(name, text) \
    inline const SymId& name = g_symbols[static_cast<int>(SymIndex::name)];
NUV_RUNTIME_SYMBOLS(NUV_WORDS_VIEW)
#undef NUV_WORDS_VIEW
}  // namespace sym
namespace w {
#define NUV_WORDS_VIEW(name, text) \
    inline const Cell& name = g_words[static_cast<int>(WordIndex::name)];
NUV_RUNTIME_WORDS(NUV_WORDS_VIEW)
NUV_NOTICE_WORDS(NUV_WORDS_VIEW)
NUV_EVENT_WORDS(NUV_WORDS_VIEW)
NUV_ERROR_WORDS(NUV_WORDS_VIEW)
#undef NUV_WORDS_VIEW
}  // namespace w
namespace ref {
#define NUV_WORDS_VIEW(name, text) \
    inline const Cell& name = g_refinements[static_cast<int>(RefinementIndex::name)];
NUV_RUNTIME_REFINEMENTS(NUV_WORDS_VIEW)
#undef NUV_WORDS_VIEW
}  // namespace ref
inline const Cell& issue_value = g_issue;
inline const SymId& changed_symbol = g_changed_symbol;

// The spellings in interning order, for tests and diagnostics.
const char* symbol_text(SymIndex i);
const char* word_text(WordIndex i);

// Interns the symbols, then makes the words (each a copy of the global word, which lives in
// the root block while the auto-root switch is on), the refinements and the issue. Needs the
// symbol table and the global context; runs once.
void init();

}  // namespace nuv::words
