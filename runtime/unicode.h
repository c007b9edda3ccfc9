// Unicode text: the codecs between text buffers (one code point per unit of 1, 2 or 4 bytes:
// Latin-1, UCS-2, UCS-4; never surrogate pairs) and UTF-8, UTF-16LE and Windows-1251, and the
// in-place widening of a text buffer. Nothing narrows a buffer. Both UTF-8 decoders accept
// exactly the well-formed sequences (no overlong forms, no surrogates, nothing above 0x10FFFF);
// the lenient loader replaces the others.
// Functions that allocate may move every buffer: they take nodes or cells and return the buffer.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "runtime/cell.h"
#include "runtime/memory.h"

namespace nuv::unicode {

inline constexpr char32_t kMaxCodePoint = 0x10FFFF;
inline constexpr char32_t kReplacement = 0xFFFD;

// ---- UTF-8 ----

// Decodes one sequence starting at p (p < end). Stores the code point, or -1 for a sequence
// that is malformed or cut by `end`; returns the position after the bytes consumed (a
// rejecting byte is consumed with the sequence it broke, see the unicode Part).
const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp);
// Code points in [start, end), each undecodable sequence counting as one.
size_t utf8_length(const uint8_t* start, const uint8_t* end);
// True when [start, end) is all well-formed sequences.
bool utf8_well_formed(const uint8_t* start, const uint8_t* end);
// Position after n code points, never beyond end.
const uint8_t* utf8_skip_chars(const uint8_t* start, const uint8_t* end, size_t n);
// 4, 3 or 2 for a lead byte by its high bits; 0 for ASCII and continuation bytes.
int utf8_lead_length(uint8_t lead);
// 1-4; above 0x10FFFF raises script invalid-char.
int utf8_encoded_size(char32_t cp);
// The UTF-8 size of the units in [start, end); a unit above 0x10FFFF raises invalid-char.
size_t utf8_size_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit);
// Writes 1-4 bytes; above 0x10FFFF raises invalid-char.
int utf8_encode_char(char32_t cp, uint8_t* dest);
// Writes byte k of the sequence only while room > k; returns the bytes written. Never fails
// (a code point above 0x10FFFF writes nothing).
int utf8_encode_char_bounded(char32_t cp, uint8_t* dest, size_t room);
// Decodes one sequence from p, with *length bytes available. Returns the code point and
// stores the sequence length; returns -1 when the available bytes are a correct but
// incomplete start of a sequence. A malformed sequence raises access invalid-utf8 (argument a
// binary! of up to 4 bytes from p). Allocates only to raise.
int32_t utf8_decode_char_checked(const uint8_t* p, size_t* length);
// Raises access invalid-utf8 with a binary! of the (up to 4) bytes from p.
[[noreturn]] void fire_invalid_utf8(const uint8_t* p, size_t available);
// The bytes as well-formed UTF-8, for text from outside that must not fail (command-line
// arguments, header fields): each ill-formed part becomes U+FFFD, one per maximal part that
// begins a well-formed sequence (a lead byte and the continuation bytes it accepted), or one
// per byte that begins none. No allocation of language values.
std::string lenient_utf8(const uint8_t* p, size_t length);

// ---- Widening (allocates when the buffer lacks room; returns the possibly moved buffer) ----

memory::SeriesBuf* widen(NodeId node, uint32_t new_unit);
inline memory::SeriesBuf* widen_1_2(NodeId node) { return widen(node, 2); }
inline memory::SeriesBuf* widen_1_4(NodeId node) { return widen(node, 4); }
inline memory::SeriesBuf* widen_2_4(NodeId node) { return widen(node, 4); }
// The unit that holds cp: 1 (0-255), 2 (to 0xFFFF) or 4.
inline uint32_t unit_for(char32_t cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

// ---- Loading text into buffers ----
// Sources are external memory (not a series buffer), unless the name says otherwise.

// Decodes UTF-8 into `dest` (0: a new unit-1 buffer), replacing its content from its offset.
// A leading byte-order mark is skipped; an incomplete sequence at the end stops the load and
// its byte count goes to *remainder (when given). With line_breaks, CR LF and lone CR become
// LF. Returns the text buffer's node.
NodeId load_utf8(const uint8_t* src, size_t length, NodeId dest, size_t* remainder,
                 bool line_breaks);
// The same reading from a series: `length` bytes at byte `start` from the series' offset.
NodeId load_utf8_series(NodeId src, size_t start, size_t length, NodeId dest, size_t* remainder,
                        bool line_breaks);
// load_utf8 into the text cell's own buffer, no line-break conversion.
NodeId load_utf8_into(const uint8_t* src, size_t length, Cell* text, size_t* remainder);
// load_utf8 into a new buffer, no line-break conversion.
NodeId load_utf8_new(const uint8_t* src, size_t length);
// load_utf8_new for bytes that need not be UTF-8 (header lines, arguments): never raises;
// each malformed sequence, and one cut off by the end, becomes one U+FFFD.
NodeId decode_utf8_lenient(const uint8_t* src, size_t length);

// The unit to load UTF-16 units with: 4 when a surrogate is met, else 2 when a high byte is
// not zero, else 1.
uint32_t utf16_unit_scan(const char16_t* src, size_t units);
// Decodes UTF-16LE (src nullptr: the dest cell's conversion cache) into the dest cell's buffer
// or, with dest nullptr, a new one. A high surrogate not followed by a low one stores U+FFFD;
// a lone low surrogate is stored as itself. With line_breaks every CR is dropped.
NodeId load_utf16le(const char16_t* src, size_t units, Cell* dest, bool line_breaks);
// Windows-1251 bytes into the dest cell's buffer (nullptr: a new one), widening as needed,
// with the CR rule of load_utf8.
NodeId load_cp1251(const uint8_t* src, size_t length, Cell* dest, bool line_breaks);
// The code point of a Windows-1251 byte.
char32_t cp1251_to_unicode(uint8_t byte);

// ---- Converting text out (into the cell's conversion cache, word 3) ----
// The pointers returned live in the cache: valid until the next allocation, and the text
// until the next conversion of the same cell.

// The cache's data, at least `size` bytes (allocates when it is absent or smaller).
uint8_t* scratch_buffer_reserve(Cell* text, size_t size);
// UTF-8 of the characters from the head (*length: -1 or a character limit; on return the
// byte count without the NUL). With line_breaks a CR is written before every LF. Returns the
// cache node.
NodeId string_to_utf8_part(Cell* text, int32_t* length, bool line_breaks);
const char* string_to_utf8_ptr(Cell* text, int32_t* length, bool line_breaks);
const char* string_to_utf8(Cell* text, int32_t* length);
// Encodes the first `limit` characters (-1: all) to dest without a bound; a NUL follows when
// `terminate`. Returns the bytes written without the NUL.
size_t string_write_utf8(const Cell* text, uint8_t* dest, int32_t limit, bool terminate);
// The same within `room` bytes: characters that no longer fit write nothing (a sequence may be
// cut at the end of the room). limit <= 0 or >= the length: all.
size_t string_write_utf8_bounded(const Cell* text, uint8_t* dest, size_t room, int32_t limit,
                                 bool terminate);

// Extra UTF-16 bytes the units in [start, end) need: 2 per LF and per code point above 0xFFFF.
size_t utf16_extra_size(const uint8_t* start, const uint8_t* end, uint32_t unit);
// NUL-terminated UTF-16LE of the characters from the head (*count: -1 or a character limit;
// on return the UTF-16 units written). nullptr when a code point of 0x110000 or more is met.
const char16_t* string_to_utf16_part(Cell* text, int32_t* count, bool line_breaks);
// The whole text from the head with CR LF line breaks.
const char16_t* string_to_utf16(Cell* text);
// Copies each byte as one UTF-16 unit and ends with a NUL unit.
void ascii_to_utf16(const char* text, char16_t* dest);
// 1 or 2 units written; 0 above 0x10FFFF.
int utf16_encode_char(char32_t cp, char16_t* dest);

}  // namespace nuv::unicode
