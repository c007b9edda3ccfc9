#include "host/crypto.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstring>
#include <limits>

#include "host/dynamic.h"

namespace nuv::host::crypto {

namespace {

struct Algorithm {
    const char* name;
    size_t size;
    size_t block;
};

constexpr Algorithm kAlgorithms[kDigestCount] = {
    {"MD5", 16, 64}, {"SHA1", 20, 64}, {"SHA256", 32, 64}, {"SHA384", 48, 128}, {"SHA512", 64, 128},
};

// libcrypto is loaded at the first digest rather than linked: relocating it was a large part of
// every process's start. Only its headers are used here, for the entries' types.
struct Library {
    decltype(&EVP_MD_fetch) md_fetch;
    decltype(&EVP_MD_get_size) md_get_size;
    decltype(&EVP_MD_CTX_new) ctx_new;
    decltype(&EVP_MD_CTX_free) ctx_free;
    decltype(&EVP_DigestInit_ex) init;
    decltype(&EVP_DigestUpdate) update;
    decltype(&EVP_DigestFinal_ex) final;
    decltype(&RAND_status) rand_status;
    decltype(&RAND_bytes) rand_bytes;
    decltype(&OPENSSL_cleanse) cleanse;
};
Library g_lib = {};
int g_loaded = 0;  // 0 not tried, 1 loaded, -1 missing

bool load() {
    if (g_loaded == 0) {
        const bool found = load_library(
            "libcrypto.so.3", Entry{"EVP_MD_fetch", &g_lib.md_fetch},
            Entry{"EVP_MD_get_size", &g_lib.md_get_size}, Entry{"EVP_MD_CTX_new", &g_lib.ctx_new},
            Entry{"EVP_MD_CTX_free", &g_lib.ctx_free}, Entry{"EVP_DigestInit_ex", &g_lib.init},
            Entry{"EVP_DigestUpdate", &g_lib.update}, Entry{"EVP_DigestFinal_ex", &g_lib.final},
            Entry{"RAND_status", &g_lib.rand_status}, Entry{"RAND_bytes", &g_lib.rand_bytes},
            Entry{"OPENSSL_cleanse", &g_lib.cleanse});
        g_loaded = found ? 1 : -1;
    }
    return g_loaded == 1;
}

EVP_MD* g_md[kDigestCount] = {};
bool g_up = false;

const Algorithm& algorithm(Digest d) { return kAlgorithms[static_cast<int>(d)]; }

// One context per digest run, freed on every path.
class Context {
public:
    Context() : ctx_(g_lib.ctx_new()) {}
    ~Context() { g_lib.ctx_free(ctx_); }
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    bool start(Digest d) {
        return ctx_ && g_lib.init(ctx_, g_md[static_cast<int>(d)], nullptr) == 1;
    }
    bool add(const uint8_t* data, size_t length) {
        return length == 0 || g_lib.update(ctx_, data, length) == 1;
    }
    bool finish(uint8_t* out, size_t expected) {
        unsigned int written = 0;
        return g_lib.final(ctx_, out, &written) == 1 && written == expected;
    }

private:
    EVP_MD_CTX* ctx_;
};

// Wipes the key material on every path.
struct Pad {
    uint8_t bytes[128];
    ~Pad() { g_lib.cleanse(bytes, sizeof bytes); }
};

}  // namespace

bool init() {
    if (g_up) return true;
    if (!load()) return false;
    bool all = true;
    for (int i = 0; i < kDigestCount; i++) {
        if (!g_md[i]) g_md[i] = g_lib.md_fetch(nullptr, kAlgorithms[i].name, nullptr);
        all = all && g_md[i] && static_cast<size_t>(g_lib.md_get_size(g_md[i])) == kAlgorithms[i].size;
    }
    g_up = all && g_lib.rand_status() == 1;
    return g_up;
}

bool is_up() { return init(); }

size_t digest_size(Digest d) { return algorithm(d).size; }
size_t block_size(Digest d) { return algorithm(d).block; }

bool digest(Digest d, const uint8_t* data, size_t length, uint8_t* out) {
    if (!init()) return false;
    Context ctx;
    return ctx.start(d) && ctx.add(data, length) && ctx.finish(out, algorithm(d).size);
}

bool hmac(Digest d, const uint8_t* key, size_t key_length, const uint8_t* data, size_t length,
          uint8_t* out) {
    if (!init()) return false;
    const size_t block = algorithm(d).block;
    const size_t size = algorithm(d).size;
    Pad inner;
    Pad outer;
    std::memset(inner.bytes, 0, block);
    if (key_length > block) {
        if (!digest(d, key, key_length, inner.bytes)) return false;
    } else if (key_length > 0) {
        std::memcpy(inner.bytes, key, key_length);
    }
    for (size_t i = 0; i < block; i++) {
        outer.bytes[i] = inner.bytes[i] ^ 0x5C;
        inner.bytes[i] ^= 0x36;
    }
    Pad inner_sum;
    Context first;
    if (!(first.start(d) && first.add(inner.bytes, block) && first.add(data, length) &&
          first.finish(inner_sum.bytes, size)))
        return false;
    Context second;
    return second.start(d) && second.add(outer.bytes, block) && second.add(inner_sum.bytes, size) &&
           second.finish(out, size);
}

bool random_bytes(uint8_t* out, size_t length) {
    if (!init()) return false;
    // The generator takes an int count: large requests go in pieces.
    constexpr size_t kPiece = std::numeric_limits<int>::max();
    while (length > 0) {
        const size_t n = length < kPiece ? length : kPiece;
        if (g_lib.rand_bytes(out, static_cast<int>(n)) != 1) return false;
        out += n;
        length -= n;
    }
    return true;
}

}  // namespace nuv::host::crypto
