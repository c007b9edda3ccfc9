// The in-process checksums: CRC-32 (the gzip and zlib one), Adler-32 and the internet checksum.
// Each runs over a byte range; the update forms carry a running value across ranges, so a
// stream can be summed in pieces and give the value of the whole.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nuv::checksum {

// CRC-32 of ISO-HDLC, reflected polynomial 0xEDB88320. `crc32_update(0, ...)` starts a sum;
// the value passed in and handed back is the finished (inverted) one.
uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length);
inline uint32_t crc32(const uint8_t* data, size_t length) { return crc32_update(0, data, length); }

// Adler-32 (RFC 1950); `adler32_update(1, ...)` starts a sum.
uint32_t adler32_update(uint32_t adler, const uint8_t* data, size_t length);
inline uint32_t adler32(const uint8_t* data, size_t length) { return adler32_update(1, data, length); }

// The internet checksum over 16-bit big-endian words; an odd last byte is added as it stands
// (as the low byte), which is the language's rule, not RFC 1071's.
uint16_t internet(const uint8_t* data, size_t length);

}  // namespace nuv::checksum
