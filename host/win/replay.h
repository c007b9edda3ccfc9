// The test kit's input script (NUV_TEST_INPUT): one step a line, read into steps that each make
// the SDL events a user's action would. Coordinates are client coordinates of the active
// top-level window. A bad line ends the script: the steps before it stand.
#pragma once
#include <SDL2/SDL_events.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/win/keys.h"

namespace nuv::host::win {

enum class StepKind : uint8_t { Key, Text, Move, Down, Up, Click, DoubleClick, Wheel, Resize, Close, Wait, Snapshot };

struct Step {
    StepKind kind;
    int line;
    KeyFacts key{};        // Key
    uint16_t mods = 0;     // Key: KMOD_LCTRL, KMOD_LSHIFT, KMOD_LALT held with it
    uint8_t button = 0;    // Down, Up, Click: SDL_BUTTON_LEFT, _MIDDLE or _RIGHT
    int32_t x = 0, y = 0;  // the pointer; Resize: width and height
    int32_t amount = 0;    // Wheel: notches; Wait: milliseconds
    std::string text;      // Text: UTF-8; Snapshot: the PNG file
};

struct Script {
    std::vector<Step> steps;
    std::string error;  // "NAME:LINE: ..." for the bad line that ended the script, else empty
};

// Reads a script's text; `name` names it in the error.
Script parse_script(std::string_view text, std::string_view name);
// Reads the script file `path`; an unreadable file or a bad line is reported on stderr.
Script load_script(const char* path);

// Appends the SDL events of a step, stamped with `time` and the SDL window `window`. *buttons
// is the SDL button mask the steps so far left held. Wait and Snapshot make none (they are the
// runner's); Resize and Close make window events.
void step_events(const Step& step, uint32_t window, uint32_t time, uint32_t* buttons, std::vector<SDL_Event>* out);

}  // namespace nuv::host::win
