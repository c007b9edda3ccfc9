// The generator keeps its 624 state words and the index of the next word to hand out. Every
// right shift is arithmetic on the signed word (the sign bit is copied in); the last tempering
// step therefore always clears the sign bit of a draw.
#include "runtime/random.h"

#include <sys/random.h>

#include <cerrno>
#include <climits>

#include "host/crypto.h"
#include "runtime/errors.h"

namespace nuv::random {

namespace {

constexpr int kWords = 624;
constexpr int kMiddle = 397;
constexpr uint32_t kMatrix = 0x9908B0DF;
constexpr uint32_t kUpper = 0x80000000;
constexpr uint32_t kLower = 0x7FFFFFFF;

uint32_t g_state[kWords];
int g_index = 0;

uint32_t shift_right(uint32_t x, int n) {
    return static_cast<uint32_t>(static_cast<int32_t>(x) >> n);
}

uint32_t twisted(uint32_t high_from, uint32_t low_from, uint32_t far) {
    const uint32_t y = (high_from & kUpper) | (low_from & kLower);
    return far ^ shift_right(y, 1) ^ ((y & 1) ? kMatrix : 0);
}

void twist() {
    for (int k = 0; k < kWords - 1; k++) {
        g_state[k] = twisted(g_state[k], g_state[k + 1], g_state[(k + kMiddle) % kWords]);
    }
    g_state[kWords - 1] =
        twisted(g_state[kWords - 1], g_state[0], g_state[(kWords - 1 + kMiddle) % kWords]);
    g_index = 0;
}

// The kernel's generator stands in while the digest layer is not up.
void kernel_random_bytes(uint8_t* out, size_t length) {
    size_t got = 0;
    while (got < length) {
        const ssize_t n = getrandom(out + got, length - got, 0);
        if (n > 0) got += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR) fire(Err::FeatureNa);
    }
}

}  // namespace

void init() { mt_seed(kStartSeed); }

void mt_seed(uint32_t seed) {
    g_state[0] = seed;
    for (uint32_t i = 1; i < kWords; i++) {
        const uint32_t prev = g_state[i - 1];
        g_state[i] = i + 1812433253u * (prev ^ shift_right(prev, 30));
    }
    g_index = 0;
}

int32_t mt_next() {
    if (g_index == kWords) twist();
    uint32_t y = g_state[g_index++];
    y ^= shift_right(y, 11);
    y ^= (y << 7) & 0x9D2C5680;
    y ^= (y << 15) & 0xEFC60000;
    y ^= shift_right(y, 18);
    return static_cast<int32_t>(y);
}

int32_t secure_random_int() {
    uint8_t bytes[4];
    if (!host::crypto::random_bytes(bytes, sizeof bytes)) kernel_random_bytes(bytes, sizeof bytes);
    const uint32_t word = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                          (static_cast<uint32_t>(bytes[3]) << 24);
    return static_cast<int32_t>(word & kLower);
}

int32_t random_in_range(bool secure, int32_t limit) {
    auto draw = [secure] { return secure ? secure_random_int() : mt_next(); };
    if (limit == 0) return 0;
    if (limit == INT32_MIN) return -1 - draw();
    const bool negative = limit < 0;
    if (negative) limit = -limit;
    // The largest multiple of limit not above INT32_MAX: draws at or above it are refused so
    // that every residue is equally likely.
    const int32_t bound = limit * (INT32_MAX / limit);
    int32_t value = draw();
    while (value >= bound) value = draw();
    const int32_t result = value % limit + 1;
    return negative ? -result : result;
}

}  // namespace nuv::random
