// The lexer: UTF-8 source text to values. A byte class table and a transition table find each
// token's extent and kind; a per-kind scanner checks the token and a per-kind loader makes its
// value in one value buffer shared by nested runs. Input is read from memory that no
// allocation moves (text given as a series is first copied or encoded into the lexer's own
// buffer), and every scan stops at the input's end: arbitrary bytes give a syntax error.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::lexer {

namespace tables {
#include "runtime/syntax/lexer_tables.inc"
}  // namespace tables

// Terminal states: the token kind a scan ends with. Below kEof are the automaton's states.
enum class Kind : uint8_t {
    Eof = 66,
    Error = 67,
    BlockOpen = 68,
    BlockClose = 69,
    ParenOpen = 70,
    ParenClose = 71,
    BraceOpen = 72,
    BraceClose = 73,
    MapOpen = 74,
    PathOpen = 75,
    Construct = 76,
    Comment = 77,
    Comma = 78,
    String = 79,
    Word = 80,
    Issue = 81,
    Integer = 82,
    Refinement = 83,
    Char = 84,
    File = 85,
    Binary = 86,
    Percent = 87,
    Float = 88,
    SpecialFloat = 89,
    Tuple = 90,
    Date = 91,
    Pair = 92,
    Point = 93,
    Time = 94,
    Money = 95,
    Tag = 96,
    Url = 97,
    Email = 98,
    Hex = 99,
    RawString = 100,
    Ref = 101,
};
inline constexpr int kFirstTerminal = 66;
inline constexpr int kStateCount = 102;
static_assert(tables::kRowCount == kFirstTerminal - 1);

// Start states a token may be scanned from besides 0.
inline constexpr int kBracedState = 4;    // inside a braced string
inline constexpr int kPointState = 35;    // inside a point's parentheses
inline constexpr int kSegmentState = 59;  // after a path separator

// One run of the automaton over text[from, length) from `state`: the terminal state reached,
// where the token starts (leading blanks skipped in state 0) and ends (the byte that ended it
// is not included), the line feeds skipped before it and crossed inside it, and the token flags
// (the class table's upper bits) ORed over its bytes. No allocation.
struct Step {
    int state;
    size_t start;
    size_t end;
    int32_t lines_before;
    int32_t lines;
    uint32_t flags;
    int last;  // the state before the terminal one
};
Step scan_token(const uint8_t* text, size_t length, size_t from, int state);

// The datatype the state stands for (Invalid: none); the automaton's guess for a token.
inline TypeId state_type(int state) { return tables::kStateTypes[state]; }

// ---- Runs ----

enum class Mode : uint8_t {
    Load,     // make values
    Scan,     // check the first token, make nothing; the result is its type
    Prescan,  // classify the first token only
};

// Events of a run, one bit each in an event mask.
enum class Event : uint8_t { Prescan = 1, Scan = 2, Load = 4, Open = 8, Close = 16, Error = 32 };
inline constexpr uint32_t kAllEvents = 63;

// What a hook is told. Offsets are 0-based byte offsets into the run's UTF-8 text, the end
// exclusive. `type` is the token's datatype; for tokens without one it is Invalid and
// `exit_state` names the terminal state (eof, comment, the structural tokens).
struct EventInfo {
    Event event;
    TypeId type;
    int exit_state;
    int32_t line;
    size_t start;
    size_t end;
    const Cell* value;  // the value just made (load), else nullptr
    size_t resume;      // where scanning goes on; a hook that changes it moves the run (clamped
                        // to the text)
    const uint8_t* text;  // the run's text, which no allocation moves, and its length
    size_t length;
    size_t skipped;       // input units before the text (a byte-order mark skipped)
};
// Answers false to skip the step: prescan skips the token, scan leaves it unloaded, load drops
// the value, open and close are not recorded, error is not raised (scanning resumes at
// `resume`, always past the failing byte). May raise.
using Hook = bool (*)(void* data, EventInfo& info);

struct Options {
    Mode mode = Mode::Load;
    bool one = false;            // stop after the first complete value
    const Cell* into = nullptr;  // append the values at this block's tail instead
    Hook hook = nullptr;
    void* hook_data = nullptr;
    uint32_t events = kAllEvents;
};

// Scans `length` bytes of UTF-8 at `text`, which must not lie in a series buffer. The result
// lands in *result (not in a collected buffer): the block of values (a new one, or the `into`
// block), with `one` the first value alone (none when there is none), in scan and prescan modes
// the first token's datatype (none for no token, error! for an invalid one). Returns the byte
// offset reached: after the last token used, blanks and comments after it not consumed.
// Raises the syntax errors of the text (not in scan and prescan modes); the `into` block then
// holds the values made before the error that lie outside any open block. Allocates.
size_t transcode(const uint8_t* text, size_t length, const Options& options, Cell* result);

// 3 when the bytes begin with the UTF-8 byte-order mark, else 0: the bytes a source read as
// bytes (a binary!, a script file) starts after.
size_t byte_order_mark_length(const uint8_t* text, size_t length);

// The same over a string (any text type, characters from its head) or a binary (bytes from
// its head, a byte-order mark skipped); `length` limits the units read (-1: all). Returns the
// units consumed, counted from the head (a skipped byte-order mark included).
int32_t load_string(Cell* result, const Cell* input, int32_t length, const Options& options);

// The first value of a binary from its head, as a matcher that steps over values sees it: its
// datatype and the bytes it takes, blanks before it included; type Invalid for no value, an
// invalid one or a comment. Each token is checked by its scanner; a block, paren, map, path or
// point is loaded whole. At most `length` bytes are read, in windows that double until the value
// ends inside one, so the cost follows the value's length rather than the binary's. Allocates.
struct FirstValue {
    TypeId type;
    int32_t used;
};
FirstValue first_value(const Cell* binary, int32_t length);

// `transcode` as the language offers it. `part` is an integer! length or a position in the
// input's series; `into` a block. /next answers a block of the value (or type) and the input
// after it; /one the value alone. Raises script not-same-type for a part position of another
// series type and the text's syntax errors. The result lands in *result.
struct Refinements {
    bool next = false;
    bool one = false;
    bool prescan = false;
    bool scan = false;
    const Cell* part = nullptr;
    const Cell* into = nullptr;
    Hook hook = nullptr;  // with its data and event mask, as in Options
    void* hook_data = nullptr;
    uint32_t events = kAllEvents;
};
Cell* run_transcode(const Cell* input, const Refinements& refinements, Cell* result);

// Start-up, once per runtime start (after memory-init): the value buffer (1,000 cells), the
// shared UTF-8 buffer (100,000 bytes) and an empty word cache. A run before init calls it.
void init();
// Runs active now (nested runs count each).
int active_runs();
// Runs started since the process began (start-up, which reads the boot image, starts none).
uint64_t runs_started();
// Cells the value buffer has room for (it doubles when full).
size_t value_buffer_capacity();

}  // namespace nuv::lexer
