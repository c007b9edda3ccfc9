// compress and decompress: argument checks, output sizing and the retry when a codec asks for
// more room; the codecs of deflate.cpp do the work.
#include <cstdint>
#include <limits>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/memory.h"
#include "runtime/platform/deflate.h"
#include "runtime/stack.h"
#include "runtime/support.h"

namespace nuv::deflate {

namespace {

using T = TypeId;
using Codec = int (*)(uint8_t*, uint64_t*, const uint8_t*, uint64_t);

enum Method { kZlib, kDeflate, kGzip };
constexpr const char* kMethodNames[] = {"zlib", "deflate", "gzip"};
constexpr Codec kCompressors[] = {zlib_compress, deflate_compress, gzip_compress};
constexpr Codec kDecompressors[] = {zlib_decompress, inflate_decompress, gzip_decompress};
SymId g_methods[3];

void expect(const Cell* value, int32_t arg, bool accepted) {
    if (!accepted) fire_expect_arg(cell::type_of(value), arg);
}

// The method word, compared without regard to case.
Method method_of(const Cell* method) {
    const SymId wanted = symbol::resolve(word::symbol_of(method));
    for (int m = 0; m < 3; m++)
        if (symbol::resolve(g_methods[m]) == wanted) return static_cast<Method>(m);
    fire(Err::InvalidArg, method);
}

// Runs the codec from the bytes of `source` into a new binary of `room` bytes in `result`,
// once more with the room it asks for when that was too little. Raises script invalid-data
// when the codec fails, internal no-memory when the output cannot be a binary!.
void run(Codec codec, const Cell* source, uint64_t room, Cell* result, const Cell* method) {
    for (int attempt = 0;; attempt++) {
        if (room > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) fire(Err::NoMemory);
        binary::make_at(result, room);
        memory::SeriesBuf* out = memory::buf_of(result);
        uint64_t length = room;
        const int code = codec(out->offset_ptr(), &length, binary::rs_head(source),
                               static_cast<uint64_t>(binary::rs_length(source)));
        if (code == kOk) {
            out->tail = out->offset + length;
            stack::set_result(result);
            return;
        }
        if (code != kNoRoom || attempt > 0) fire(Err::InvalidData, method);
        room = length;
    }
}

void compress(bool check, const int32_t*) {
    Cell* data = stack::arg(0);
    Cell* method = stack::arg(1);
    if (check) {
        expect(data, 0, cell::is(data, T::Binary) || series::is_any_string(cell::type_of(data)));
        expect(method, 1, cell::is(method, T::Word));
    }
    const Method m = method_of(method);
    const Cell* source = data;
    if (!cell::is(data, T::Binary)) {
        Cell* bytes = stack::reserve();
        binary::make_at(bytes, 0);
        binary::value_to_bytes(bytes, data, -1, binary::Mode::Insert);
        source = bytes;
    }
    const auto n = static_cast<uint64_t>(binary::rs_length(source));
    run(kCompressors[m], source, n + 32, stack::reserve(), method);
}

void decompress(bool check, const int32_t* refinements) {
    Cell* data = stack::arg(0);
    Cell* method = stack::arg(1);
    const Cell* size = refinements[0] >= 0 ? stack::arg(refinements[0]) : nullptr;
    if (check) {
        expect(data, 0, cell::is(data, T::Binary));
        expect(method, 1, cell::is(method, T::Word));
        if (size) expect(size, 2, cell::is(size, T::Integer));
    }
    const Method m = method_of(method);
    const auto n = static_cast<uint64_t>(binary::rs_length(data));
    uint64_t room;
    if (m == kGzip) {
        // The last member's size field; a forged one must not make a huge buffer.
        if (n < kGzipOverhead) fire(Err::InvalidData, method);
        const uint8_t* t = binary::rs_head(data) + n - 4;
        room = static_cast<uint64_t>(t[0]) | t[1] << 8 | t[2] << 16 | static_cast<uint64_t>(t[3]) << 24;
        if (room > kMaxRatio * n) fire(Err::InvalidData, method);
    } else if (size && cell::get_int(size) > 0 && static_cast<uint64_t>(cell::get_int(size)) > n) {
        room = static_cast<uint64_t>(cell::get_int(size));
    } else {
        room = 0;  // a dry run counts the size
        const int code = kDecompressors[m](nullptr, &room, binary::rs_head(data), n);
        if (code != kOk && code != kNoRoom) fire(Err::InvalidData, method);
    }
    run(kDecompressors[m], data, room, stack::reserve(), method);
}

}  // namespace

void init() {
    for (int m = 0; m < 3; m++) g_methods[m] = symbol::make_cstr(kMethodNames[m]);
    natives::install(natives::NativeId::Compress, compress);
    natives::install(natives::NativeId::Decompress, decompress);
}

}  // namespace nuv::deflate
