// DEFLATE streams (one fixed-Huffman block out; stored, fixed and dynamic blocks in) with the
// zlib and gzip wrappers. Every routine works on the caller's memory: `length` holds the output
// capacity on entry and, on return, the bytes produced or the bytes the output needs. Nothing is
// read or written outside the two ranges; failures are result codes, never raised.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nuv::deflate {

enum Result : int {
    kOk = 0,
    kNoRoom = 1,         // `length` holds the size the output needs
    kCorrupt = 2,        // bad header, check value, size or code; a cut stream; or (compressors)
                         // a capacity below the wrapper's overhead, `length` = input + overhead
    kStoredPastInput = 3,
    kBlockType3 = 4,
    kDistanceTooFar = 5,  // `length` holds the bytes produced before the bad match
};

// Fixed bytes the wrappers add around the DEFLATE data.
inline constexpr size_t kZlibOverhead = 6;
inline constexpr size_t kGzipOverhead = 18;

// The encoder's worst case for `n` input bytes: 9 bits a byte plus the block header and end.
inline constexpr uint64_t compress_bound(uint64_t n) { return n + n / 8 + 3; }

int deflate_compress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length);
int inflate_decompress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length);
int zlib_compress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length);
int zlib_decompress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length);
// Input that is already a whole valid gzip stream is copied as it stands (when it fits).
int gzip_compress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length);
// Reads one member or several in a row; their data is concatenated.
int gzip_decompress(uint8_t* out, uint64_t* length, const uint8_t* in, uint64_t in_length);

// The largest ratio of output to input a DEFLATE stream can reach (a 258-byte match in one
// bit of a dynamic block, with some room): a gzip size field above it is forged.
inline constexpr uint64_t kMaxRatio = 1032;

// compress-init: makes the method words and installs the `compress` and `decompress` natives.
void init();

}  // namespace nuv::deflate
