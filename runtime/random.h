// The process-wide pseudo-random generator (a 624-word Mersenne Twister whose right shifts are
// arithmetic, so every draw is a non-negative 31-bit value) and the secure source, which reads
// the digest layer's generator (the kernel's while that layer is not up). One generator serves
// the whole process; it is not guarded.
#pragma once
#include <cstdint>

namespace nuv::random {

inline constexpr uint32_t kStartSeed = 19650218;

void init();  // seeds the generator with kStartSeed; once at start-up

// Reseeds; the next 624 draws come from the seeded words themselves, before any twist.
void mt_seed(uint32_t seed);
int32_t mt_next();  // 0 .. 2147483647

// 0 .. 2147483647 from the secure source; raises internal feature-na when it is unavailable.
int32_t secure_random_int();

// limit > 0: uniform in 1..limit; limit < 0: uniform in limit..-1; 0 gives 0. The secure
// flag takes the draws from the secure source.
int32_t random_in_range(bool secure, int32_t limit);

}  // namespace nuv::random
