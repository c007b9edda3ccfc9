// The natives whose work goes to the host layers: checksums and digests (checksum), sleeping
// (wait) and opening a document or address on the desktop (browse). Each takes its arguments at
// arguments[0..] with the natives' calling convention and leaves its result in arguments[0].
#pragma once
#include <cstdint>

namespace nuv::natives_host {

// A string! counts as its UTF-8 from its index, a binary! from its index. crc32, adler32 and
// tcp give an integer! and refuse /with; md5, sha1, sha256, sha384 and sha512 give a binary!,
// their HMAC with a text or binary key; hash has no algorithm yet. A failing digest provider
// raises internal feature-na.
void checksum(bool check, const int32_t* refinements);
// Sleeps for the seconds of an integer!, float! or time! (nothing when not above 0), then
// answers none; no events can be pending without a GUI.
void wait(bool check, const int32_t* refinements);
// Hands the url! or the local form of the file! to the desktop's opener without waiting for
// it, and answers unset! whether or not there was one.
void browse(bool check, const int32_t* refinements);

}  // namespace nuv::natives_host
