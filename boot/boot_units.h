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
// The prelude, then every unit of the loaded image in order. Raises what a unit raises; the
// runtime is not usable when it does. Without an image nothing runs.
void run();

}  // namespace nuv::boot_units
