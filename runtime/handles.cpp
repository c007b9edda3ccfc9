// The kind table and the slot array with its two chains. The used chain is linked both ways
// so that freeing any slot is constant time. A slot leaves the chains before its release
// callback runs, so a callback that allocates or releases slots finds the registry whole.
#include "runtime/handles.h"

#include <cstring>

#include "runtime/errors.h"
#include "runtime/memory.h"

namespace nuv::handles {

namespace {

struct Kind {
    const char* name;
    ReleaseFn release;
};

Kind* g_kinds = nullptr;
int32_t g_kind_count = 0;
Slot* g_slots = nullptr;
int32_t g_capacity = 0;
int32_t g_free_head = kEnd;
int32_t g_used_head = kEnd;

// Chains the slots [from, to) as free, in order, ending the chain with the last.
void chain_free(int32_t from, int32_t to) {
    for (int32_t i = from; i < to; i++) g_slots[i] = Slot{kFree, nullptr, i + 1 < to ? i + 1 : kEnd, kEnd};
    g_free_head = from < to ? from : kEnd;
}

void grow() {
    if (g_capacity > INT32_MAX / 2) fire(Err::NoMemory);
    int32_t doubled = g_capacity * 2;
    auto* slots = static_cast<Slot*>(memory::tracked_alloc(sizeof(Slot) * static_cast<size_t>(doubled)));
    std::memcpy(slots, g_slots, sizeof(Slot) * static_cast<size_t>(g_capacity));
    memory::tracked_free(g_slots);
    g_slots = slots;
    int32_t old = g_capacity;
    g_capacity = doubled;
    chain_free(old, doubled);
}

bool is_used(int32_t index) {
    return index >= 0 && index < g_capacity && !(g_slots[index].value & kFree);
}

void unlink_used(int32_t index) {
    Slot& s = g_slots[index];
    if (s.prev != kEnd) g_slots[s.prev].next = s.next;
    else g_used_head = s.next;
    if (s.next != kEnd) g_slots[s.next].prev = s.prev;
}

void push_free(int32_t index) {
    g_slots[index] = Slot{kFree, nullptr, g_free_head, kEnd};
    g_free_head = index;
}

}  // namespace

void init() {
    g_kinds = static_cast<Kind*>(memory::tracked_alloc(sizeof(Kind) * kMaxKinds));
    std::memset(g_kinds, 0, sizeof(Kind) * kMaxKinds);
    g_kind_count = 0;
    g_slots = static_cast<Slot*>(memory::tracked_alloc(sizeof(Slot) * kInitialSlots));
    g_capacity = kInitialSlots;
    chain_free(0, kInitialSlots);
    g_used_head = kEnd;
}

int32_t register_kind(const char* name, ReleaseFn release) {
    if (g_kind_count == kMaxKinds) fatal("the callback registry holds 20 kinds", 1);
    g_kinds[g_kind_count++] = Kind{name, release};
    return g_kind_count;
}

int32_t kind_count() { return g_kind_count; }

const char* kind_name(int32_t kind) {
    return kind >= 1 && kind <= g_kind_count ? g_kinds[kind - 1].name : nullptr;
}

int32_t alloc(void* pointer, uint32_t kind) {
    if (g_free_head == kEnd) grow();
    int32_t index = g_free_head;
    g_free_head = g_slots[index].next;
    g_slots[index] = Slot{kind & kKindMask, pointer, g_used_head, kEnd};
    if (g_used_head != kEnd) g_slots[g_used_head].prev = index;
    g_used_head = index;
    return index;
}

void release(int32_t index, bool release_resource) {
    if (!is_used(index)) return;
    Slot s = g_slots[index];
    unlink_used(index);
    push_free(index);
    if (release_resource) call_release(static_cast<int32_t>(s.value & kKindMask), s.pointer);
}

void set_pointer(int32_t index, void* pointer) {
    if (!is_used(index)) return;
    void* old = g_slots[index].pointer;
    if (old == pointer) return;
    g_slots[index].pointer = pointer;
    call_release(static_cast<int32_t>(g_slots[index].value & kKindMask), old);
}

bool mark(int32_t index, void* pointer) {
    if (!is_used(index)) return false;
    Slot& s = g_slots[index];
    bool first = !(s.value & kMark);
    s.value |= kMark;
    if (pointer) s.pointer = pointer;
    return first;
}

void invoke_matching(int32_t kind, VisitFn visit) {
    for (int32_t i = g_used_head; i != kEnd;) {
        int32_t next = g_slots[i].next;
        if (static_cast<int32_t>(g_slots[i].value & kKindMask) == kind) visit(g_slots[i].pointer);
        i = next;
    }
}

void call_release(int32_t kind, void* pointer) {
    if (kind >= 1 && kind <= g_kind_count && g_kinds[kind - 1].release)
        g_kinds[kind - 1].release(pointer);
}

void sweep() {
    // First every unmarked slot leaves the used chain for a chain of its own, marked free so
    // that a callback's release of it is ignored; then each is freed and released.
    int32_t dead = kEnd;
    for (int32_t i = g_used_head; i != kEnd;) {
        Slot& s = g_slots[i];
        int32_t next = s.next;
        if (s.value & kMark) {
            s.value &= ~kMark;
        } else {
            unlink_used(i);
            s.value |= kFree;
            s.next = dead;
            dead = i;
        }
        i = next;
    }
    while (dead != kEnd) {
        Slot s = g_slots[dead];
        push_free(dead);
        dead = s.next;
        call_release(static_cast<int32_t>(s.value & kKindMask), s.pointer);
    }
}

const Slot* slot(int32_t index) {
    return index >= 0 && index < g_capacity ? &g_slots[index] : nullptr;
}

int32_t capacity() { return g_capacity; }

}  // namespace nuv::handles
