// The console program. Until the graphical console is built it says so and exits.
#include <cstdio>

#include "runtime/runtime.h"

int main() {
    return nuv::runtime::run_with_deep_stack(
        [](void*) {
            nuv::runtime::init();
            std::puts("Nuv: the runtime starts, but the console is not built yet.");
            nuv::runtime::exit();
            return 0;
        },
        nullptr);
}
