// Typed arrays over series buffers: appends go through the memory manager's tail reservation,
// insertion and removal are one block move, finds are linear scans.
#include "runtime/typed_array.h"

#include <cstring>

#include "runtime/memory.h"

namespace nuv::typed_array {

namespace {

using memory::buf;

// Reserves n bytes at the tail (growing the buffer) and copies the value there.
void append_raw(NodeId array, const void* value, size_t n) {
    uint8_t* at = memory::series_alloc_tail_bytes(array, n);
    std::memcpy(at, value, n);
}

template <class T>
T read_item(NodeId array, size_t index) {
    T value;
    std::memcpy(&value, buf(array)->offset_ptr() + (index - 1) * sizeof(T), sizeof(T));
    return value;
}

template <class T>
ptrdiff_t find_item(NodeId array, T value) {
    memory::SeriesBuf* b = buf(array);
    const uint8_t* first = b->offset_ptr();
    const size_t used = b->used() - b->used() % sizeof(T);
    for (size_t at = 0; at < used; at += sizeof(T)) {
        T item;
        std::memcpy(&item, first + at, sizeof(T));
        if (item == value) return static_cast<ptrdiff_t>(at);
    }
    return -1;
}

uintptr_t address(const void* p) { return reinterpret_cast<uintptr_t>(p); }

}  // namespace

NodeId make(size_t count, uint32_t unit) { return memory::alloc_units(count, unit); }

size_t length(NodeId array) {
    const memory::SeriesBuf* b = buf(array);
    return b->used() / b->unit();
}

void clear(NodeId array) {
    memory::SeriesBuf* b = buf(array);
    b->tail = b->offset;
}

void truncate(NodeId array, size_t n) {
    memory::SeriesBuf* b = buf(array);
    b->tail = b->offset + (n - 1) * b->unit();
}

NodeId copy(NodeId array) { return memory::copy_series_buffer(array); }

void append_byte(NodeId array, uint8_t value) { append_raw(array, &value, 1); }
void append_int(NodeId array, int32_t value) { append_raw(array, &value, 4); }
void append_int_node(NodeId array, NodeId value) { append_raw(array, &value, 4); }
void append_ptr(NodeId array, const void* value) {
    uintptr_t a = address(value);
    append_raw(array, &a, sizeof a);
}
void append_bytes(NodeId array, const void* bytes, size_t length) {
    if (length) append_raw(array, bytes, length);
}

uint8_t pick_byte(NodeId array, size_t index) { return read_item<uint8_t>(array, index); }
int32_t pick_int(NodeId array, size_t index) { return read_item<int32_t>(array, index); }
void* pick_ptr(NodeId array, size_t index) {
    return reinterpret_cast<void*>(read_item<uintptr_t>(array, index));
}

void poke_ptr(NodeId array, size_t index, const void* value) {
    uintptr_t a = address(value);
    std::memcpy(buf(array)->offset_ptr() + (index - 1) * sizeof a, &a, sizeof a);
}

void insert_int(NodeId array, size_t index, int32_t value) {
    memory::SeriesBuf* b = buf(array);
    if (b->size - b->tail < sizeof value) b = memory::expand_series(array, 0);
    uint8_t* at = b->offset_ptr() + index * sizeof value;
    std::memmove(at + sizeof value, at, static_cast<size_t>(b->tail_ptr() - at));
    std::memcpy(at, &value, sizeof value);
    b->tail += sizeof value;
}

ptrdiff_t find_int(NodeId array, int32_t value) { return find_item(array, value); }
ptrdiff_t find_ptr(NodeId array, const void* value) { return find_item(array, address(value)); }

void remove_bytes(NodeId array, size_t offset, size_t length) {
    memory::SeriesBuf* b = buf(array);
    uint8_t* at = b->offset_ptr() + offset;
    std::memmove(at, at + length, static_cast<size_t>(b->tail_ptr() - (at + length)));
    b->tail -= length;
}

void remove_ptr(NodeId array, const void* value) {
    ptrdiff_t at = find_ptr(array, value);
    if (at >= 0) remove_bytes(array, static_cast<size_t>(at), kPtrUnit);
}

}  // namespace nuv::typed_array
