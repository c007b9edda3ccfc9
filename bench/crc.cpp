// nuv-bench-crc FILE: the CRC-32 and Adler-32 of the file's bytes, printed unsigned as
// "CRC ADLER", the peer deflate workload's `crc` line, so the two can be timed side by side
// (the whole process each, reading the file included). Until the language reads files the
// runtime's checksums are driven from here.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "runtime/checksum.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: nuv-bench-crc FILE\n");
        return 2;
    }
    std::FILE* in = std::fopen(argv[1], "rb");
    std::vector<uint8_t> data;
    bool read = in && std::fseek(in, 0, SEEK_END) == 0;
    const long size = read ? std::ftell(in) : -1;
    read = size >= 0 && std::fseek(in, 0, SEEK_SET) == 0;
    if (read) {
        data.resize(static_cast<size_t>(size));
        read = std::fread(data.data(), 1, data.size(), in) == data.size();
    }
    if (in) std::fclose(in);
    if (!read) {
        std::fprintf(stderr, "nuv-bench-crc: cannot read %s\n", argv[1]);
        return 1;
    }
    const uint32_t crc = nuv::checksum::crc32(data.data(), data.size());
    const uint32_t adler = nuv::checksum::adler32(data.data(), data.size());
    std::printf("%u %u\n", crc, adler);
    return 0;
}
