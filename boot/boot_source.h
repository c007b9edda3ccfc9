// The boot source: the Nuv text that defines the action and native words with their specs, the
// boot values, constants, typesets and operators. It is built into the runtime and evaluated at
// start-up, after runtime::init, until a boot image carries the same definitions.
#pragma once

namespace nuv::boot_source {

// Lexes and evaluates every text in the global context, in order, each `run` unit as boot code
// (runtime/boot_code.h), whose calls are bound to the library object at the end. Raises what
// they raise; the runtime is not usable when it does.
void load();

// Runs the units (load) under the entry frame, the outermost frame of the process, which takes
// every kind of unwinding: one that reaches it ends the process as runtime error 95. An error
// no frame of the units takes prints its report and ends the process with status 254.
void run_at_entry(void (*units)());

}  // namespace nuv::boot_source
