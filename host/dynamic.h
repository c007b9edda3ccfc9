// Libraries loaded on first use rather than at start-up: looking up their entries by name.
#pragma once
#include <dlfcn.h>

namespace nuv::host {

// Sets *entry to the library's function `name`; false when it has none.
template <typename F>
bool find_entry(void* library, const char* name, F* entry) {
    *entry = reinterpret_cast<F>(dlsym(library, name));
    return *entry != nullptr;
}

}  // namespace nuv::host
