// The desktop's text clipboard through SDL2, loaded and started (video only, the one start
// that host/win/sdl.h keeps for the whole host) on the first call, so that programs that never
// use the clipboard never pay for it. Without a display SDL's offscreen driver keeps the text
// inside the process. No language values.
#pragma once
#include <string>

namespace nuv::host::clipboard {

// Whether SDL could be loaded and its video started (tried once).
bool available();
// The clipboard's text (UTF-8), empty when it holds none; false when SDL is unavailable.
bool read_text(std::string* text);
// Replaces the clipboard's text; an empty text empties it. False when SDL is unavailable or
// refuses.
bool write_text(const std::string& text);

}  // namespace nuv::host::clipboard
