// Image files as values: decoding a binary! or a file! into an image!, encoding an image! into
// a binary!, and the image entries of system/codecs (png, jpeg, bmp, gif, tiff), each an
// object whose encode and decode are routines.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::image_codecs {

// `out` (not in a series buffer) becomes the image in `data`: a binary! from its head (none!
// when no known signature starts it), or a file! read whole (access cannot-open with the file
// when it cannot be read; its bytes must hold an image). Undecodable data raises access
// bad-media; any other value script invalid-arg; a url! internal not-done.
Cell* decode(const Cell* data, Cell* out);
// The whole image as a file of the format (0 BMP, 1 PNG, 2 GIF, 3 JPEG, 4 TIFF) appended to the
// binary! `where` (a new binary! for none!), which lands in `out`. An image of no pixels raises
// access bad-media, an unknown format access no-codec, a `where` of another type script
// invalid-arg.
Cell* encode(const Cell* image, int32_t format, const Cell* where, Cell* out);

// Puts the five codec objects into system/codecs, in that order. After the system object.
void init();

}  // namespace nuv::image_codecs
