// The boot source: the Nuv text that defines the action and native words with their specs, the
// boot values, constants, typesets and operators. It is built into the runtime and evaluated at
// start-up, after runtime::init, until a boot image carries the same definitions.
#pragma once

namespace nuv::boot_source {

// Lexes and evaluates every text in the global context, in order. Raises what they raise; the
// runtime is not usable when it does.
void load();

}  // namespace nuv::boot_source
