// Start-up after runtime-init: the units of the boot image, in manifest order. runtime-init has
// decoded the image into the root block (its definitions applied); each run unit is a block
// there, evaluated in the global context, and each step unit an issue! naming the C++ that
// makes it.
#pragma once

namespace nuv::boot_units {

// What start-up makes before any unit: the empty handle `null-handle`, which no document holds.
void make_prelude();
// Runs the C++ step of the name; a name no step has ends the process (the manifest is wrong).
void run_step(const char* name);
// The prelude, then every unit of the loaded image in order, each run unit as boot code
// (runtime/boot_code.h), whose calls are bound to the library object at the end. Raises what a
// unit raises; the runtime is not usable when it does. Without an image nothing runs.
void run();

// Runs the units (run) under the entry frame, the outermost frame of the process, which takes
// every kind of unwinding: one that reaches it ends the process as runtime error 95. An error
// no frame of the units takes prints its report and ends the process with status 254.
void run_at_entry(void (*units)());

}  // namespace nuv::boot_units
