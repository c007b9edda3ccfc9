// The callback and handle registry: OS resources that language values refer to (fonts, images,
// COM objects) live in numbered slots with their kind, and the kind names the callback that
// releases the resource. Values keep only the slot number. The collector marks the slots of
// live values and sweeps the rest, releasing each resource exactly once.
#pragma once
#include <cstdint>

namespace nuv::handles {

using ReleaseFn = void (*)(void* pointer);
using VisitFn = void (*)(void* pointer);

inline constexpr int32_t kMaxKinds = 20;
inline constexpr int32_t kInitialSlots = 1000;
inline constexpr int32_t kEnd = -1;  // ends a chain

// Slot value word: the kind index, and two flags.
inline constexpr uint32_t kKindMask = 0xFF;
inline constexpr uint32_t kFree = 0x40000000;
inline constexpr uint32_t kMark = 0x80000000;  // the collector's mark

struct Slot {
    uint32_t value;
    void* pointer;
    int32_t next;  // the free chain, or the used chain (newest first)
    int32_t prev;  // the used chain only: the newer neighbour
};

// Makes the kind table and 1,000 free slots.
void init();

// Appends a kind and returns its index (1-based). The table never grows: a 21st kind is a
// build fault that ends the process.
int32_t register_kind(const char* name, ReleaseFn release);
int32_t kind_count();
const char* kind_name(int32_t kind);

// Stores the pointer in a free slot (doubling the slot array when none is left) and returns
// the slot number; numbers stay valid across growth. Only bits 0-7 of `kind` are kept.
int32_t alloc(void* pointer, uint32_t kind);
// Frees a used slot, then releases its resource when `release_resource` is set. A free slot
// or a number out of range is ignored.
void release(int32_t index, bool release_resource);
// Replaces a used slot's pointer; a different pointer releases the old one.
void set_pointer(int32_t index, void* pointer);
// Sets a used slot's mark, and its pointer when one is given. Answers whether the slot was
// unmarked before (false for a free slot or a number out of range).
bool mark(int32_t index, void* pointer);
// Calls `visit` with the pointer of every used slot of the kind; `visit` must not free slots.
void invoke_matching(int32_t kind, VisitFn visit);
// Releases a pointer with the kind's callback, when the kind has one.
void call_release(int32_t kind, void* pointer);
// The collector's last step: marked slots lose their mark; every unmarked used slot is freed,
// then its resource released.
void sweep();

// For inspection: the slot (nullptr out of range) and the size of the slot array.
const Slot* slot(int32_t index);
int32_t capacity();

}  // namespace nuv::handles
