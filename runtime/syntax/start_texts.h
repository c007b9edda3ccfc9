// The constant texts the runtime lexes while it starts (routine specs, the fields of the codec
// objects). The boot image carries each one lexed, so start-up lexes none of them; a runtime
// without an image (nuv-bootgen) lexes them and lists them for the image.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/cell.h"

namespace nuv::start_texts {

// Forgets the image's table and the texts lexed, for a runtime that starts.
void reset();
// The boot image's table: root value #root_index is a paren! of text and block pairs. No
// allocation of values.
void use_image(int32_t root_index);
// Pushes the block of the text: a copy of the image's block for it, else the text lexed (and
// listed). Raises what lexing the text raises. Returns the pushed cell.
Cell* push(std::string_view text);
// The texts lexed since reset, in order, each once.
const std::vector<std::string>& lexed();

}  // namespace nuv::start_texts
