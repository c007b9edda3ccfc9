#include "runtime/checksum.h"

#include <array>

namespace nuv::checksum {

namespace {

// Sixteen tables, so the loop takes sixteen bytes per step: table k gives the effect of a byte
// followed by k zero bytes. Table 0 is the classic byte-at-a-time table.
constexpr int kCrcSlices = 16;
struct CrcTables {
    uint32_t t[kCrcSlices][256];
    constexpr CrcTables() : t{} {
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[0][i] = c;
        }
        for (uint32_t i = 0; i < 256; i++)
            for (int k = 1; k < kCrcSlices; k++)
                t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    }
};

constexpr CrcTables kCrc;

inline uint32_t load_le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The four bytes of a little-endian word through tables base+3 .. base.
inline uint32_t crc_word(uint32_t w, int base) {
    return kCrc.t[base + 3][w & 0xFF] ^ kCrc.t[base + 2][(w >> 8) & 0xFF] ^
           kCrc.t[base + 1][(w >> 16) & 0xFF] ^ kCrc.t[base][w >> 24];
}

// Sums of up to this many bytes cannot overflow b in 32 bits before the reduction (the
// language's block; any block up to 5,552 gives the same value).
constexpr size_t kAdlerBlock = 3854;
constexpr uint32_t kAdlerBase = 65521;

}  // namespace

uint32_t crc32_update(uint32_t crc, const uint8_t* data, size_t length) {
    uint32_t c = ~crc;
    while (length >= 16) {
        c = crc_word(load_le32(data) ^ c, 12) ^ crc_word(load_le32(data + 4), 8) ^
            crc_word(load_le32(data + 8), 4) ^ crc_word(load_le32(data + 12), 0);
        data += 16;
        length -= 16;
    }
    while (length-- > 0) c = (c >> 8) ^ kCrc.t[0][(c ^ *data++) & 0xFF];
    return ~c;
}

uint32_t adler32_update(uint32_t adler, const uint8_t* data, size_t length) {
    uint32_t a = adler & 0xFFFF;
    uint32_t b = adler >> 16;
    while (length > 0) {
        size_t n = length < kAdlerBlock ? length : kAdlerBlock;
        length -= n;
        // Sixteen bytes at a time without the byte-to-byte chain: b gains 16 a plus each
        // byte weighted by how many sums of a it enters.
        while (n >= 16) {
            uint32_t sum = 0;
            uint32_t weighted = 0;
            for (uint32_t k = 0; k < 16; k++) {
                sum += data[k];
                weighted += (16 - k) * data[k];
            }
            b += 16 * a + weighted;
            a += sum;
            data += 16;
            n -= 16;
        }
        while (n-- > 0) {
            a += *data++;
            b += a;
        }
        a %= kAdlerBase;
        b %= kAdlerBase;
    }
    return b << 16 | a;
}

uint16_t internet(const uint8_t* data, size_t length) {
    // 64 bits keep every carry of any input a process can hold; the folds then add them back
    // in, end-around, as the one's complement sum wants.
    uint64_t sum = 0;
    size_t i = 0;
    for (; i + 1 < length; i += 2) sum += uint32_t(data[i]) << 8 | data[i + 1];
    if (i < length) sum += data[i];
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return uint16_t(~sum & 0xFFFF);
}

}  // namespace nuv::checksum
