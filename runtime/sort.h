// Comparison sorts of fixed-width records in place: a stable natural merge sort and a faster
// unstable quicksort that exploits presorted stretches. Records are raw bytes of any positive
// width; the caller's compare callback orders them. An error raised by the callback unwinds
// through the sort and leaves every record present exactly once, in an unspecified order.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace nuv::sort {

// Negative when a sorts before b, 0 when they are equal, positive when a sorts after b.
// The context words reach the callback unchanged. It may raise; it must not move the records
// (so records in a collected series buffer need a callback that does not allocate).
using CompareFn = int32_t (*)(const void* a, const void* b, intptr_t context1, intptr_t context2);

// Stable: equal records keep their order. Takes a merge buffer of count / 2 records from the
// tracked allocations for the duration of the call: script too-long when it would exceed
// 32 bits of bytes, internal no-memory when it cannot be had.
void sort_records(void* base, size_t count, size_t width, intptr_t context1, intptr_t context2,
                  CompareFn compare);

// Unstable; allocates nothing.
void sort_records_unstable(void* base, size_t count, size_t width, intptr_t context1,
                           intptr_t context2, CompareFn compare);

// The numbers 0 .. count - 1 of records sorted by the callback, which gets pointers to two
// int32_t record numbers: so a comparator that runs code, allocates or edits the records' series
// sorts numbers that never move. Stable or not; allocates outside the collected heap only.
std::vector<int32_t> order_records(size_t count, bool stable, intptr_t context, CompareFn compare);

// Exchanges two records of `width` bytes: 32 bits at a time unless `bytewise`.
void swap_records(void* a, void* b, size_t width, bool bytewise);

}  // namespace nuv::sort
