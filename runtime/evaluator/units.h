// Compiled units: a block that runs more than once gets a unit, a tree of resolved steps over its
// cells (and over its literal parens and the literal branches of if, either and unless), which
// runs in place of the interpreter's walk. Units push the interpreter's frames, write its code
// positions and give the same values and errors; they rest on speculation about global words
// holding callables and on the block's cells, both guarded by the change epoch (watch.h), and
// hand the rest of a run back to the interpreter the moment either no longer holds. Units live
// on the C++ heap, keyed by block node, and hold node ids and cell copies only.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/collector.h"

namespace nuv::units {

// Interp: units are never made. Lazy: a block gets its unit on its second run. Eager: on its
// first.
enum class Mode : uint8_t { Interp, Lazy, Eager };

struct Settings {
    Mode mode = Mode::Lazy;
    bool deopt_stress = false;  // every check after a call out fails: every hand-back runs
    bool verify = false;        // every trusted use compares the unit's series and slots; abort on a difference
    bool flat = true;           // units get flat code: calls, branches and parens run in one loop
};
// Read from NUV_EVAL (interp, lazy, eager), NUV_DEOPT_STRESS=1 and NUV_CODE_VERIFY=1 at start-up;
// C++ callers (tests, the differential fuzzer) may change them, to take effect from the next
// runtime start (init).
Settings& settings();
// Reads the settings (once per process) and forgets every unit (a runtime made again).
void init();

// Frees every unit (the runtime ends).
void release();

// A block whose unit holds and whose every expression is pure (it reads words and computes
// operators in place, or sets a word to such a value) run from `head` with nothing the
// interpreter would show (no frame, no code position): its value pushed. Answers -1 when done,
// else the index from which the block must run as usual (the expressions before it done; the
// stack as it was). No allocation.
int32_t run_pure(NodeId node, int32_t head, bool framed);
// A quick test before run_pure: false when the block has no unit that is all pure (a slot per
// node id modulo its size holds the last such block there). No allocation.
inline constexpr uint32_t kPureHints = 1024;
extern NodeId g_pure_hints[kPureHints];
inline bool may_be_pure(NodeId node) { return g_pure_hints[node % kPureHints] == node; }

// Whether units may run: the mode is not Interp.
extern bool g_on;

// Runs the block `node` from `head` (before its tail) with its unit, as the interpreter's block
// loop would: each expression's value pushed above the stack top (`sub`) or made the only cell
// of the current call, `fresh` released between expressions; answers false, having done
// nothing, when the block has no unit to run (the interpreter then runs it). May allocate;
// raises what the code raises.
bool run(NodeId node, int32_t head, bool sub, const collector::FreshScope& fresh);

// Counters for tests.
struct Counters {
    uint64_t built;        // units made
    uint64_t runs;         // unit runs begun
    uint64_t handed_back;  // runs that gave the rest of their block to the interpreter
    uint64_t revalidated;  // epoch checks that re-validated a unit and went on
    uint64_t dropped;      // units dropped (a covered node died, or a unit went stale)
    uint64_t inline_bodies;  // function bodies flat code ran in its own loop
};
const Counters& counters();

}  // namespace nuv::units
