// Turns fuzz bytes into a small Nuv program that draws on a 16x16 image: random nested command
// blocks with set-words, `push`, `shape`, `pattern` and `bitmap` brushes, clips, gradients,
// transformations, shadows, text of a rich-text face whose style runs the bytes also write, and
// arguments of the wrong kind. Each `draw` runs under `try`. The text always lexes, and the same
// bytes always give the same text.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace nuv::fuzz {

std::string write_draw_program(const uint8_t* data, size_t size);

}  // namespace nuv::fuzz
