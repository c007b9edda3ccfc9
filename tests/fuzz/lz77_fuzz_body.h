// One fuzz input through the LZ77 codec: read as a container, it either fails or unpacks to
// exactly the header's unpacked size; read as plain data, it packs to a container no larger
// than itself that unpacks to the same bytes, unless the packer refuses it. A crash, a
// sanitizer report or a broken law is a finding (the laws abort). Shared by the libFuzzer
// target and the corpus replay of the unit tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "runtime/lz77.h"
#include "runtime/memory.h"

namespace nuv::fuzz {

inline void require_lz77(bool law) {
    if (!law) std::abort();
}

// Copied to an exactly sized buffer, so that the sanitizer sees a read past the input.
inline void lz77_input(const uint8_t* data, size_t size) {
    auto input = std::make_unique<uint8_t[]>(size);
    if (size) std::memcpy(input.get(), data, size);
    uint32_t produced = 1;
    if (uint8_t* out = lz77::decompress_data(input.get(), size, &produced)) {
        uint32_t unpacked = 0;
        std::memcpy(&unpacked, input.get() + 4, 4);
        require_lz77(produced == unpacked);
        memory::tracked_free(out);
    } else {
        require_lz77(produced == 0);
    }
    auto packed = std::make_unique<uint8_t[]>(size);
    const int64_t n = lz77::compress_data(input.get(), size, packed.get());
    require_lz77(n == -1 || (n >= 8 && static_cast<size_t>(n) <= size));
    if (n < 0) return;
    uint8_t* back = lz77::decompress_data(packed.get(), static_cast<size_t>(n), &produced);
    require_lz77(back && produced == size && std::memcmp(back, input.get(), size) == 0);
    memory::tracked_free(back);
}

}  // namespace nuv::fuzz
