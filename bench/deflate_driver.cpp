// The deflate workload's C++ side: compress a file in raw DEFLATE with zlib framing, decompress
// it, and sum it with CRC-32 and Adler-32, timing each step in-process. Prints one line per
// step, "step seconds bytes", for deflate_ratios.py to set beside Python's zlib.
//
// usage: nuv-deflate-bench FILE
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "runtime/checksum.h"
#include "runtime/platform/deflate.h"

namespace {

template <class Work>
double seconds(Work work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nuv-deflate-bench FILE\n");
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    using namespace nuv;
    std::vector<uint8_t> packed(deflate::compress_bound(data.size()) + deflate::kZlibOverhead);
    uint64_t packed_length = packed.size();
    int code = 0;
    const double compress = seconds(
        [&] { code = deflate::zlib_compress(packed.data(), &packed_length, data.data(), data.size()); });
    if (code != deflate::kOk) return std::fprintf(stderr, "compress failed: %d\n", code), 1;
    std::vector<uint8_t> back(data.size());
    uint64_t back_length = back.size();
    const double decompress = seconds(
        [&] { code = deflate::zlib_decompress(back.data(), &back_length, packed.data(), packed_length); });
    if (code != deflate::kOk || back != data) return std::fprintf(stderr, "decompress failed: %d\n", code), 1;
    uint32_t crc = 0, adler = 0;
    const double crc_time = seconds([&] { crc = checksum::crc32(data.data(), data.size()); });
    const double adler_time = seconds([&] { adler = checksum::adler32(data.data(), data.size()); });
    std::printf("input 0 %zu\ncompress %.4f %llu\ndecompress %.4f %llu\ncrc32 %.4f %u\nadler32 %.4f %u\n",
                data.size(), compress, static_cast<unsigned long long>(packed_length), decompress,
                static_cast<unsigned long long>(back_length), crc_time, crc, adler_time, adler);
    return 0;
}
