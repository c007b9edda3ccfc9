// The digest layer over the system's cryptographic library: the five digests, their HMAC and
// secure random bytes. Plain bytes in and out; nothing here knows the language's values.
// One process-wide set of algorithm handles, made by the first call that needs them (the
// library's set-up costs more than the rest of start-up) and kept for the process's life.
#pragma once

#include <cstddef>
#include <cstdint>

namespace nuv::host::crypto {

enum class Digest : uint8_t { Md5, Sha1, Sha256, Sha384, Sha512 };
inline constexpr int kDigestCount = 5;
inline constexpr size_t kMaxDigestSize = 64;

// Fetches the algorithms; true when all five and the random generator are there. Safe to call
// again: what a first call found is kept.
bool init();
bool is_up();  // init() succeeds (it is tried at this call when it has not been)

size_t digest_size(Digest d);  // 16, 20, 32, 48 or 64 bytes
size_t block_size(Digest d);   // 128 for SHA-384 and SHA-512, 64 for the others

// Writes digest_size(d) bytes to out. False when the layer cannot come up or the library fails;
// out is then unspecified.
bool digest(Digest d, const uint8_t* data, size_t length, uint8_t* out);

// The HMAC of RFC 2104 over the digest: a key longer than the block is hashed first.
bool hmac(Digest d, const uint8_t* key, size_t key_length, const uint8_t* data, size_t length,
          uint8_t* out);

// Fills the buffer from the library's generator; false when the layer is not up or it fails.
bool random_bytes(uint8_t* out, size_t length);

}  // namespace nuv::host::crypto
