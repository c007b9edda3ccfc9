// The console program. It starts as every program of the runtime starts: runtime init, then the
// boot units in manifest order; a unit that fails prints its report and ends the process with
// status 254. Until the graphical console is built it then says so and exits.
#include <cstdio>

#include "boot/boot_units.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/frames.h"
#include "runtime/os.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace {

constexpr int kBootFailed = 254;

// Prints the report of the error that stopped the boot units.
void print_boot_error() {
    using nuv::TypeId;
    nuv::Cell error = nuv::cell::is(nuv::stack::top(), TypeId::Error) ? *nuv::stack::top()
                                                                       : *nuv::raised_value();
    nuv::Cell* buffer = nuv::string::make_at(nuv::stack::push(nuv::none::shared()), 128);
    nuv::registry::g_rows[static_cast<int>(TypeId::Error)].form(&error, buffer, nullptr, 1 << 30);
    std::printf("%s\n", nuv::string::to_std_utf8(buffer).c_str());
}

int start(void*) {
    nuv::runtime::init();
    nuv::runtime::set_collector_on(true);
    nuv::frames::Owner frame(&nuv::words::w::anon, nuv::frames::kTry);
    if (frame.run([] { nuv::boot_units::run(); })) {
        print_boot_error();
        nuv::os::quit(kBootFailed);
    }
    std::puts("Nuv: the runtime starts, but the console is not built yet.");
    nuv::runtime::exit();
    return 0;
}

}  // namespace

int main() { return nuv::runtime::run_with_deep_stack(start, nullptr); }
