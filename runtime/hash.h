// Hashing: one family of 32-bit hashes (MurmurHash3, x86 32-bit) with one process-wide seed,
// serving every hash table of the runtime. Values that are equal under case-insensitive
// comparison hash equally; series hash by node id and index, which compaction never changes.
// Nothing here allocates.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::hash {

// The seed until the random generator's start-up sets its own; never zero.
inline constexpr uint32_t kDefaultSeed = 0x9E3779B9;

// Set once at start-up, before any table exists: tables hashed under another seed would no
// longer find their keys. A zero seed is taken as kDefaultSeed.
void set_seed(uint32_t seed);
uint32_t seed();

// MurmurHash3 x86 32-bit of `length` bytes with the seed.
uint32_t murmur3(const void* data, size_t length);

// The MurmurHash3 finaliser alone: a seedless mix of one word (mix(0) is 0).
inline constexpr uint32_t mix(uint32_t x) {
    x ^= x >> 16;
    x *= 0x85ebca6bu;
    x ^= x >> 13;
    x *= 0xc2b2ae35u;
    x ^= x >> 16;
    return x;
}

// The units of a text value from its head to its tail (or `count` units when count >= 0, kept
// within the tail), each widened to a code point and folded to upper case unless
// `case_sensitive`, fed as 4-byte blocks: equal texts hash equally whatever their unit size.
uint32_t string(const Cell* text, bool case_sensitive, int32_t count = -1);

// MurmurHash3 of UTF-8 bytes with A-Z read as a-z (no other byte is folded): the hash of every
// spelling of a symbol that differs only in ASCII case. `text` may point into a series buffer.
uint32_t name(const uint8_t* text, size_t length);

// The smallest power of two that is at least n (0 and 1 give 1); n above 2^31 gives 2^31.
uint32_t next_power_of_2(uint32_t n);

// name() of a symbol entry's spelling.
uint32_t symbol(const Cell* entry);

// True for the types whose hash would follow a buffer address. Node ids are stable across
// compaction, so no table has to rehash for them; the answer is kept for callers that ask.
bool needs_rehash_type(const Cell* value);

// The hash of any value by its type. Word types hash their canonical symbol, so words that
// differ only in case hash equally; -0.0 hashes as 0.0; money! hashes its amount alone (zero
// whatever its sign, no currency), as its equality asks.
uint32_t value(const Cell* value, bool case_sensitive);

}  // namespace nuv::hash
