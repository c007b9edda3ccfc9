// The byte-oriented LZ77 codec of compressed boot images and NUVBIN documents, with its
// container: payload size and unpacked size (32-bit little-endian), then blocks of a 32-bit
// length and a bit stream each. Blocks are self-contained: no match reaches before its block.
// The decoder trusts nothing in its input: it reads only the bytes it is given, refuses an
// unpacked size that its payload could not produce, and checks every count it writes.
#pragma once
#include <cstddef>
#include <cstdint>

namespace nuv::lz77 {

inline constexpr size_t kHeaderSize = 8;
inline constexpr uint32_t kBlockSize = 0x100000;  // the largest block; the compressor's cut
inline constexpr uint32_t kMinLength = 3;
inline constexpr uint32_t kMaxLength = 566;
inline constexpr uint32_t kMaxDistance = 0x40000;
inline constexpr size_t kMinInput = 128;  // shorter inputs are never compressed
// The largest unpacked size accepted, and the most bytes one payload byte can unpack to: the
// longest match (566 bytes) at distance 1 costs 22 bits.
inline constexpr uint32_t kMaxUnpacked = 0x40000000;
inline constexpr uint64_t kMaxRatio = 206;

// Unpacks the container held in `input[0, length)`. Answers a tracked allocation (free it with
// memory::tracked_free) of unpacked size + 8 bytes holding exactly the header's unpacked size
// of bytes, stored in `produced`; null for any fault, and then nothing is allocated. Only the
// allocation may raise (internal no-memory).
uint8_t* decompress_data(const uint8_t* input, size_t length, uint32_t* produced);

// Packs `source` as a container into `destination`, which has room for `length` bytes, and
// answers its size (payload + 8). Answers -1, with `destination` in an unspecified state, when
// the input is shorter than 128 bytes, longer than kMaxUnpacked, or would not pack smaller.
// Its tables (7 MB, made at the first call) are the process's: not re-entrant.
int64_t compress_data(const uint8_t* source, size_t length, uint8_t* destination);

// The bit stream: bits least significant first, a value's low bit first, bytes in order.
class BitWriter {
public:
    BitWriter(uint8_t* out, size_t capacity) : out_(out), capacity_(capacity) {}
    void write(uint32_t n, uint32_t value);  // n <= 24
    // Pads the last partial byte with zero bits; the next bits start on a byte boundary.
    void flush();
    // Whole bytes written so far, and whether a byte fell past the capacity (then dropped).
    size_t used() const { return used_; }
    bool overflowed() const { return overflow_; }
    // Reserves n bytes at the current byte boundary, for a field written directly.
    uint8_t* reserve(size_t n);

private:
    uint8_t* out_;
    size_t capacity_;
    size_t used_ = 0;
    uint64_t bits_ = 0;
    uint32_t count_ = 0;
    bool overflow_ = false;
};

class BitReader {
public:
    BitReader(const uint8_t* in, size_t length) : in_(in), length_(length) {}
    // Reading past the end answers 0 and sets the fault flag.
    uint32_t read(uint32_t n);  // n <= 24
    // Bytes consumed: a block's stream ends with the byte holding its last bit.
    size_t position() const { return position_; }
    bool failed() const { return failed_; }

private:
    const uint8_t* in_;
    size_t length_;
    size_t position_ = 0;
    uint64_t bits_ = 0;
    uint32_t count_ = 0;
    bool failed_ = false;
};

// Symbol codes: a length is 3..566 and a distance 1..262,144, which every code read also
// lies in; a read past the end answers a value in range and leaves the fault to the reader.
void write_length(BitWriter& out, uint32_t length);
void write_distance(BitWriter& out, uint32_t distance);
uint32_t read_length(BitReader& in);
uint32_t read_distance(BitReader& in);

}  // namespace nuv::lz77
