// Output hooks: where the runtime's printed output goes. Text written by the runtime goes to
// standard output (a failed write ends the process), then to every registered text hook; the printing natives hand the values
// they print to every registered value hook. Hooks run in registration order. The two lists
// are tracked tables made at start-up that grow by five entries at a time.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::output {

// Called with the printed value and whether a line end follows it.
using ValueHook = void (*)(const Cell* value, bool new_line);
// Called with the text written, its length in bytes and its encoding (string::kUtf8 for the
// runtime's own text).
using TextHook = void (*)(const char* text, size_t length, int32_t encoding);

// Makes both lists empty with room for five hooks each; from then on the hooks are ready. The
// last print counts as ended.
void init();
bool is_ready();

// Appends each hook that is not null to its list (making the lists first if need be).
void add(ValueHook value_hook, TextHook text_hook);
// Removes the first occurrence of each hook that is not null from its list.
void remove(ValueHook value_hook, TextHook text_hook);

void call_value(const Cell* value, bool new_line);
void call_text(const char* text, size_t length, int32_t encoding);

// The runtime's text writer: the UTF-8 bytes to standard output, then to the text hooks.
void write_text(const char* text, size_t length);
// The bytes to standard output alone. Standard output that cannot be written ends the process
// (fail_write): no language code runs after a failed write, so none can lose output unseen.
void write_stdout(const char* bytes, size_t length);
// Writes out what standard output holds buffered; a failure ends the process (fail_write).
void flush();
// Ends the process at once with status 1 after a write to standard output failed with the
// errno `error`: silently when the reader closed the pipe, else with one line on standard
// error, "PROGRAM: cannot write standard output: " and the system's reason.
[[noreturn]] void fail_write(int error);

// Whether the last printed value ended its line (print) or not (prin); true before any print.
bool last_new_line();
void set_last_new_line(bool new_line);

// The build date of the runtime, as "19-Nov-2026/8:18:49".
const char* build_date();

// Hooks in a list, and its room, for inspection.
struct ListState {
    int32_t count;
    int32_t capacity;
};
ListState value_hooks();
ListState text_hooks();

}  // namespace nuv::output
