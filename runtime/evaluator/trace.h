// Trace runs: while one is open the interpreter, fire, throw and catch report each step to a
// callback written in the language, as an event word with five more arguments. The run's state
// is process-wide: the run-active switch (the interpreter takes its traced path while it is
// on), the tracing switch (hooks::g_tracing, off inside the callback and in no-trace bodies),
// the callback (kept in the root block) and its event mask. Runs do not nest.
#pragma once
#include <cstdint>

#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace nuv::trace {

// The events, one bit each.
enum class Event : uint32_t {
    Init = 0x0001,
    End = 0x0002,
    Prolog = 0x0004,
    Epilog = 0x0008,
    Enter = 0x0010,
    Exit = 0x0020,
    Open = 0x0040,
    Return = 0x0080,
    Fetch = 0x0100,
    Push = 0x0200,
    Set = 0x0400,
    Call = 0x0800,
    Error = 0x1000,
    Throw = 0x2000,
    Catch = 0x4000,
    Expr = 0x8000,
};
inline constexpr uint32_t kEveryEvent = 0x1FFFF;

// The run-active switch: on from the opening of a run to its close.
extern bool g_active;
inline bool active() { return g_active; }
inline bool tracing() { return hooks::g_tracing; }

// Sets the tracing switch for a scope and puts the old setting back on every exit from it.
class Switch {
  public:
    explicit Switch(bool on) : saved_(hooks::g_tracing) { hooks::g_tracing = on; }
    ~Switch() { hooks::g_tracing = saved_; }
    Switch(const Switch&) = delete;
    Switch& operator=(const Switch&) = delete;

  private:
    bool saved_;
};

// The tracing switch a function body runs with, by its function! header: on for `trace`
// (except while the callback itself runs, which would otherwise report to itself), off for
// `no-trace`, else as it stands.
bool body_tracing(uint32_t function_header);

// The events a callback takes: the OR of the event words in the block that starts its spec
// (other words add nothing, other values are skipped), every event when its spec starts with
// anything else. No allocation.
uint32_t mask_of(const Cell* callback);

// Reports one event when tracing is on and the mask has its bit: the callback gets the event
// word, the code (a block, or none for nullptr), the position's index from the code's index
// (`at` is absolute; -1 when negative, or when code is nullptr or it lies outside the block),
// the value and the reference (none for nullptr), and the argument base and top as a pair!.
// Tracing is off while the callback runs and the argument and frame tops are put back after
// it; an exit from it goes on through the traced code. May allocate.
void event(Event e, const Cell* code, int32_t at, const Cell* ref, const Cell* value);

// Opens a run for the callback (a function!) unless one is open; answers whether it did. The
// init event is not sent yet: see send_init.
bool open(const Cell* callback);
void send_init();
// Sends the end event and closes the run, whatever the callback does; a pending exit is kept
// aside meanwhile. Raises what the callback raises, the run closed all the same.
void close();

// Sets the hook fire reports errors through and the root cell that keeps the callback. Once
// per runtime start, after the runtime words.
void init();

}  // namespace nuv::trace
