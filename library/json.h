// The JSON decoder's routines: unescape, which rewrites the backslash escapes of a string in
// place, and decode-json, which reads JSON text as the decoder context's grammar does (the same
// values, the same mark, last line feed and line count on failure, the same errors raised).
#pragma once

namespace nuv::json {

// Puts unescape into the decoder context's field and binds load-json's body to decode-json,
// after the JSON unit has run; internal not-done when load-json is no function of that unit.
// Allocates.
void bind_routines();

}  // namespace nuv::json
