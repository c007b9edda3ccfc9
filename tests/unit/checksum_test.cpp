#include "runtime/checksum.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nuv {
namespace {

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(Checksum, KnownValues) {
    struct Case {
        std::string in;
        uint32_t crc, adler;
    } cases[] = {
        {"", 0, 1},
        {"123456789", 0xCBF43926u, 0x091E01DEu},
        {"abc", 0x352441C2u, 0x024D0127u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checksum::crc32(bytes(c.in), c.in.size()), c.crc) << c.in;
        EXPECT_EQ(checksum::adler32(bytes(c.in), c.in.size()), c.adler) << c.in;
    }
}

// Summing in pieces gives the value of the whole, across the eight-byte steps and the Adler
// blocks; a long run of 0xFF bytes is the one that would overflow a block too long.
TEST(Checksum, PiecesSumLikeTheWhole) {
    std::vector<uint8_t> data(20000, 0xFF);
    for (size_t i = 0; i < data.size(); i += 7) data[i] = uint8_t(i * 31);
    uint32_t crc = checksum::crc32(data.data(), data.size());
    uint32_t adler = checksum::adler32(data.data(), data.size());
    // Bytewise reference for both.
    uint32_t c = 0xFFFFFFFFu;
    uint64_t a = 1, b = 0;
    for (uint8_t byte : data) {
        c ^= byte;
        for (int k = 0; k < 8; k++) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    EXPECT_EQ(crc, ~c);
    EXPECT_EQ(adler, uint32_t(b << 16 | a));
    for (size_t cut : {size_t(1), size_t(7), size_t(3854), size_t(9999)}) {
        EXPECT_EQ(checksum::crc32_update(checksum::crc32(data.data(), cut), data.data() + cut,
                                         data.size() - cut),
                  crc);
        EXPECT_EQ(checksum::adler32_update(checksum::adler32(data.data(), cut), data.data() + cut,
                                           data.size() - cut),
                  adler);
    }
}

TEST(Checksum, Internet) {
    const uint8_t even[] = {0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7};
    const uint8_t odd[] = {0x01};
    EXPECT_EQ(checksum::internet(even, sizeof even), 0x220D);
    EXPECT_EQ(checksum::internet(odd, 1), 0xFFFE);  // the odd byte counts as 0x0001
    EXPECT_EQ(checksum::internet(nullptr, 0), 0xFFFF);
}

// Past 128 KB the word sum passes 32 bits; its carries still count (end-around), so words of
// all ones sum to all ones and the checksum is 0 at any length.
TEST(Checksum, InternetKeepsEveryCarry) {
    for (size_t n : {size_t{131072}, size_t{131074}, size_t{200000}, size_t{1} << 24}) {
        const std::vector<uint8_t> ones(n, 0xFF);
        EXPECT_EQ(checksum::internet(ones.data(), n), 0) << n;
    }
    std::vector<uint8_t> data(300000, 0xFF);
    data[0] = 0xFE;  // one word of 0xFEFF: the one's complement sum is 0xFEFF
    EXPECT_EQ(checksum::internet(data.data(), data.size()), 0x0100);
}

}  // namespace
}  // namespace nuv
