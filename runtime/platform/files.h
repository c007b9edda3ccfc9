// The file system under the file! actions read, write, delete, query and
// rename, the natives size? and checksum of a file!, and the routines exists?,
// create-dir and write-stdout. A file! is its UTF-8 path as it stands; every
// operation opens and closes its own descriptor.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.h"

namespace nuv::files {

// Puts the file! actions into file!'s dispatch row; runs after the datatypes
// are registered.
void init();

// The path text of a file! from its index, as UTF-8; a NUL in it raises access
// cannot-open. The actions and routines that only ask about a path (exists?,
// size?, query, delete, rename) answer none or false for such a path instead.
std::string path_of(const Cell* file);

// The whole content of the file as bytes: access cannot-open when it cannot be
// read, internal no-memory when it is too large for a series.
std::string read_bytes(const Cell* file);

// The bytes a value writes: a string! its UTF-8 from its index, a binary! its bytes, anything
// else its mold. `part` cuts a string to that many characters (0: nothing) and a binary to
// that many bytes (0: all); -1 takes everything.
std::string value_bytes(Cell* value, int64_t part);

// The lines of text bytes as a new block! of string! on the argument stack: split at LF, one
// CR before the LF dropped, no empty last line after a final LF.
Cell* split_lines(const std::string& bytes);

// Text bytes as a string! in `out` (nullptr: a new argument-stack cell), CR LF
// and lone CR made LF.
Cell* text_to_string(std::string text, Cell* out);

// size? of a file!: none for a directory path or a file that cannot be opened
// for reading, else its size as an integer!, or a float! above the integer
// range; it never waits (a FIFO answers at once).
void size_of(Cell* file, Cell* out);

// exists?: true when the path names anything. create-dir: one directory, access
// no-create when it cannot be made.
bool exists(const Cell* file);
void create_dir(const Cell* file);

// Writes all the bytes to the descriptor, retrying short writes; false on a
// failure.
bool write_all(int fd, const uint8_t* bytes, size_t size);

}  // namespace nuv::files
