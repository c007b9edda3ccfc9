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

// The rich-text face the programs draw as text (`rt`, its font `fnt`): a face object with every
// field the backend reads by position.
inline constexpr const char* kRichTextFace =
    "fnt: make object! [name: \"DejaVu Sans Mono\" size: 11 style: angle: color: anti-alias?: shadow: state: "
    "parent: none]\n"
    "rt: make object! [type: 'rich-text offset: 0x0 size: 16x16 text: \"Hello world\" image: color: menu: data: "
    "enabled?: visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: "
    "draw: changed: deep-changed: tabs: line-spacing: handles: none]\n"
    "rt/font: fnt\n";

std::string write_draw_program(const uint8_t* data, size_t size);

}  // namespace nuv::fuzz
