// One fuzz input through the NUVBIN decoder: it either raises an error in the system's terms or
// appends values that encode to a document which reads back and encodes to the same bytes
// again. A crash, a sanitizer report or a broken law is a finding (the laws abort). Shared by
// the libFuzzer target and the corpus replay of the unit tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/platform/nuvbin.h"
#include "runtime/stack.h"
#include "tests/fuzz/lexer_fuzz_body.h"

namespace nuv::fuzz {

inline void require_nuvbin(bool law) {
    if (!law) std::abort();
}

inline std::vector<uint8_t> nuvbin_bytes(const Cell* doc) {
    memory::SeriesBuf* b = memory::buf_of(doc);
    return std::vector<uint8_t>(b->offset_ptr(), b->tail_ptr());
}

inline void nuvbin_input(const uint8_t* data, size_t size) {
    auto input = std::make_unique<uint8_t[]>(size);  // exactly sized: a read past it is seen
    if (size) std::memcpy(input.get(), data, size);
    stack::Mark mark;
    collector::FreshScope fresh;
    Cell* into = block::make_at(stack::reserve(), 1);
    try {
        nuvbin::decode(input.get(), size, into);
    } catch (const Unwind&) {
        mark.restore();
        return;
    }
    for (int32_t i = 0; i < block::count(cell::node(into)); i++) {
        Cell* value = stack::push(&block::raw_cells(cell::node(into))[i]);
        Cell* doc = stack::reserve();
        try {
            nuvbin::encode_compact(value, doc);
            const std::vector<uint8_t> first = nuvbin_bytes(doc);
            Cell* back = block::make_at(stack::reserve(), 1);
            nuvbin::decode(first.data(), first.size(), back);
            require_nuvbin(block::count(cell::node(back)) == 1);
            Cell* again = stack::push(&block::raw_cells(cell::node(back))[0]);
            nuvbin::encode_compact(again, doc);
            require_nuvbin(nuvbin_bytes(doc) == first);
        } catch (const Unwind&) {
            // Only nesting past the limit may refuse a value the decoder made (a reference copies
            // a whole nest one level deeper).
            require_nuvbin(raised().id == Err::TooDeep);
        }
    }
    mark.restore();
}

}  // namespace nuv::fuzz
