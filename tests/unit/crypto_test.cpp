#include "host/crypto.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace nuv {
namespace {

using host::crypto::Digest;

std::string hex(const uint8_t* bytes, size_t length) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < length; i++) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

const uint8_t* bytes(const std::string& s) { return reinterpret_cast<const uint8_t*>(s.data()); }

TEST(Crypto, StartsOnceAndStaysUp) {
    ASSERT_TRUE(host::crypto::init());
    EXPECT_TRUE(host::crypto::init());
    EXPECT_TRUE(host::crypto::is_up());
}

TEST(Crypto, SizesAndDigestsOfAbc) {
    ASSERT_TRUE(host::crypto::init());
    struct Case {
        Digest digest;
        size_t size, block;
        const char* abc;  // the digest of "abc", leading hex digits
    } cases[] = {
        {Digest::Md5, 16, 64, "900150983cd24fb0"},
        {Digest::Sha1, 20, 64, "a9993e364706816a"},
        {Digest::Sha256, 32, 64, "ba7816bf8f01cfea"},
        {Digest::Sha384, 48, 128, "cb00753f45a35e8b"},
        {Digest::Sha512, 64, 128, "ddaf35a193617aba"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(host::crypto::digest_size(c.digest), c.size);
        EXPECT_EQ(host::crypto::block_size(c.digest), c.block);
        uint8_t out[host::crypto::kMaxDigestSize];
        ASSERT_TRUE(host::crypto::digest(c.digest, bytes("abc"), 3, out));
        EXPECT_EQ(hex(out, c.size).substr(0, 16), c.abc);
    }
}

// A key longer than the block counts as its digest (RFC 2104).
TEST(Crypto, HmacHashesALongKeyFirst) {
    ASSERT_TRUE(host::crypto::init());
    const std::vector<uint8_t> key(100, 0x42);
    uint8_t hashed[host::crypto::kMaxDigestSize];
    ASSERT_TRUE(host::crypto::digest(Digest::Sha256, key.data(), key.size(), hashed));
    uint8_t long_key[host::crypto::kMaxDigestSize];
    uint8_t short_key[host::crypto::kMaxDigestSize];
    ASSERT_TRUE(host::crypto::hmac(Digest::Sha256, key.data(), key.size(), bytes("m"), 1, long_key));
    ASSERT_TRUE(host::crypto::hmac(Digest::Sha256, hashed, 32, bytes("m"), 1, short_key));
    EXPECT_EQ(hex(long_key, 32), hex(short_key, 32));
}

TEST(Crypto, RandomBytesFillTheBuffer) {
    ASSERT_TRUE(host::crypto::init());
    std::vector<uint8_t> a(16384, 0);
    std::vector<uint8_t> b(4096, 0);
    ASSERT_TRUE(host::crypto::random_bytes(a.data(), a.size()));
    ASSERT_TRUE(host::crypto::random_bytes(b.data(), b.size()));
    EXPECT_NE(a, b);
    // Every byte value is met in 16 KB of uniform bytes but for a chance below 1e-25.
    std::vector<bool> seen(256, false);
    for (uint8_t x : a) seen[x] = true;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
    EXPECT_TRUE(host::crypto::random_bytes(nullptr, 0));
}

}  // namespace
}  // namespace nuv
