// The text kin: url! (and percent encoding), file!, tag!, email! and ref!. Each keeps the
// string! cell and buffer and reuses the string! actions; what differs is how it is written
// (mold and form), how url! and file! are built from a block and joined by a path, and the
// `user` and `host` fields of an email!. A file! is the operating system's path as it stands.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::text_kin {

// Byte sets of the encoder: the URL set (also the characters a file literal may hold
// unquoted) and the unreserved set. Bytes from 128 up are in neither.
enum class Escape : int { Url, Unreserved };
bool in_set(Escape set, uint32_t byte);

// Fills `out` (nullptr: only check) with a value of `type` holding the UTF-8 text [p, end)
// with its "%XX" escapes decoded: an escaped lead byte whose whole sequence is escaped gives
// that code point, another escaped byte gives itself as a code point, and an escaped lead
// byte missing part of its sequence stays as written. False when the text is not UTF-8.
bool load_escaped(const uint8_t* p, const uint8_t* end, TypeId type, Cell* out);

// The path as the platform names it, as a new string! in `out`: with `full`, a relative path
// gets the current directory (ending in "/") in front. May allocate.
void to_local(const Cell* path, bool full, Cell* out);

// The port of a url! whose scheme is registered, not opened: the library's parse-url splits
// the url and port! make takes the parts (script invalid-arg with the url when it declines
// the text or no parser is there; port! make's errors otherwise). A new argument-stack cell;
// may allocate and runs language code.
Cell* url_port(const Cell* url);

void init_url();
void init_file();
void init_tag();
void init_email();
void init_ref();

}  // namespace nuv::text_kin
