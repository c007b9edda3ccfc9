// The console program. It starts as every program of the runtime starts: runtime init, then the
// boot units in manifest order under the entry frame (a unit that fails prints its report and
// ends the process with status 254). Until the graphical console is built it then says so and
// exits.
#include <cstdio>

#include "boot/boot_units.h"
#include "runtime/roots.h"
#include "runtime/runtime.h"

namespace {

int start(void*) {
    nuv::runtime::init();
    nuv::roots::set_collector_on(true);
    nuv::boot_units::run_at_entry(nuv::boot_units::run);
    std::puts("Nuv: the runtime starts, but the console is not built yet.");
    nuv::runtime::exit();
    return 0;
}

}  // namespace

int main() { return nuv::runtime::run_with_deep_stack(start, nullptr); }
