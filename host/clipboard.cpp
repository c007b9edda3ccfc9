#include "host/clipboard.h"

#include "host/win/sdl.h"

namespace nuv::host::clipboard {

bool available() { return sdl::start_video(); }

bool read_text(std::string* text) {
    text->clear();
    if (!available()) return false;
    const sdl::Library& sdl = *sdl::library();
    char* held = sdl.get_clipboard_text();
    if (held) {
        *text = held;
        sdl.free(held);
    }
    return true;
}

bool write_text(const std::string& text) {
    return available() && sdl::library()->set_clipboard_text(text.c_str()) == 0;
}

}  // namespace nuv::host::clipboard
