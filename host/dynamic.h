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

// One entry to look up: its name and where its address goes.
template <typename F>
struct Entry {
    const char* name;
    F* to;
};
template <typename F>
Entry(const char*, F*) -> Entry<F>;

// Loads the shared library `soname` and sets every entry; false when the library or any
// entry is missing.
template <typename... F>
bool load_library(const char* soname, Entry<F>... entries) {
    void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    return library && (find_entry(library, entries.name, entries.to) && ...);
}

}  // namespace nuv::host
