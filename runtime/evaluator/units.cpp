#include "runtime/evaluator/units.h"

#include <cstdlib>
#include <cstring>

namespace nuv::units {

namespace {

Settings g_settings{};
Counters g_counters{};

bool env_on(const char* name) {
    const char* v = std::getenv(name);
    return v && std::strcmp(v, "1") == 0;
}

}  // namespace

Settings& settings() { return g_settings; }
const Counters& counters() { return g_counters; }

void init() {
    static bool read = false;  // the environment is read once per process
    if (read) return;
    read = true;
    if (const char* mode = std::getenv("NUV_EVAL")) {
        if (std::strcmp(mode, "interp") == 0) g_settings.mode = Mode::Interp;
        if (std::strcmp(mode, "eager") == 0) g_settings.mode = Mode::Eager;
    }
    g_settings.deopt_stress = env_on("NUV_DEOPT_STRESS");
    g_settings.verify = env_on("NUV_CODE_VERIFY");
}

}  // namespace nuv::units
