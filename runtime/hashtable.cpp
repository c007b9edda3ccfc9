// Hash tables: sizing, probing, the five kinds' insert/find/remove, resizing, index upkeep for
// hash! blocks, and the small word table. Every function re-reads the record and its arrays
// through their nodes after each allocation, and copies key cells into locals before comparing
// (a compare slot may allocate).
//
// The duplicate list store of a hash! index is a typed array of int32 items: item 0 heads a
// chain of free slots (0 = none); item n (n >= 1) holds the node of duplicate list n, or
// kFreeSlot | next free slot. A list holds block positions in insertion order.
#include "runtime/hashtable.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "runtime/compare.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/typed_array.h"
#include "runtime/watch.h"

namespace nuv::hashtable {

namespace {

using memory::SeriesBuf;

constexpr uint32_t kCellBytes = sizeof(Cell);
constexpr uint32_t kFreeSlot = 0x80000000;
constexpr uint32_t kLiveHeader = 2;       // kinds 3-4: header of a live entry's cells

Counters g_counters{};

// ---- Raw access (each pointer valid until the next allocation) ----

uint32_t* flags_of(const Record* r) { return words_of(r->flags); }
uint32_t* keys_of(const Record* r) { return words_of(r->keys); }
int32_t* ints_of(NodeId n) { return reinterpret_cast<int32_t*>(words_of(n)); }
Cell* cells_of(NodeId values) {
    return reinterpret_cast<Cell*>(memory::buf(values)->offset_ptr());
}
int32_t cell_count(NodeId values) {
    return static_cast<int32_t>(memory::buf(values)->used() / kCellBytes);
}
int32_t int_count(NodeId n) { return static_cast<int32_t>(memory::buf(n)->used() / 4); }
Kind kind_of(const Record* r) { return static_cast<Kind>(r->kind); }

void set_state(uint32_t* flags, uint32_t i, Bucket s) {
    const uint32_t shift = (i & 15) * 2;
    flags[i >> 4] = (flags[i >> 4] & ~(3u << shift)) | (static_cast<uint32_t>(s) << shift);
}

NodeId new_flags(uint32_t buckets) {
    NodeId n = memory::alloc_bytes_zeroed(buckets / 4, 0xAA);
    memory::buf(n)->tail = buckets / 4;
    return n;
}
NodeId new_keys(uint32_t buckets) {
    NodeId n = memory::alloc_bytes_zeroed(static_cast<size_t>(buckets) * 4, 0);
    memory::buf(n)->tail = static_cast<size_t>(buckets) * 4;
    return n;
}
void fill_bytes(NodeId n, uint8_t byte) {
    SeriesBuf* b = memory::buf(n);
    std::memset(b->offset_ptr(), byte, b->used());
}

uint32_t bound_rounded(uint32_t buckets) {
    return static_cast<uint32_t>(buckets * 0.77 + 0.5);
}

// True when a and b are equal under op. Vectors of two element types are two keys here: their
// compare raises, but an index only asks whether two keys are one.
bool equal(Cell a, Cell b, CompareOp op) {
    g_counters.compares++;
    if (cell::is(&a, TypeId::Vector) && cell::is(&b, TypeId::Vector) &&
        vector::elem_type(&a) != vector::elem_type(&b))
        return false;
    return compare::values_equal(a, b, op);
}

// The word types that find's equality takes as one (issue! stays apart).
bool is_word_kin(TypeId t) {
    return t == TypeId::Word || t == TypeId::SetWord || t == TypeId::GetWord ||
           t == TypeId::LitWord || t == TypeId::Refinement;
}

uint32_t hash_at(NodeId values, int32_t position) {
    return hash::value(cells_of(values) + position, false);
}

// Occupies an empty or deleted bucket with a key word.
void occupy(NodeId table, uint32_t bucket, uint32_t key) {
    Record* r = record(table);
    uint32_t* flags = flags_of(r);
    if (bucket_state(flags, bucket) == Bucket::Empty) r->used++;
    r->count++;
    set_state(flags, bucket, Bucket::Occupied);
    keys_of(r)[bucket] = key;
}

// The first deleted bucket on the probe, else the empty one that ends it; no allocation.
uint32_t free_bucket(const Record* r, uint32_t h) {
    const uint32_t* flags = flags_of(r);
    int64_t first_deleted = -1;
    for (Probe p(h, r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        Bucket s = bucket_state(flags, p.bucket);
        if (s == Bucket::Empty) return first_deleted >= 0 ? static_cast<uint32_t>(first_deleted) : p.bucket;
        if (s == Bucket::Deleted && first_deleted < 0) first_deleted = p.bucket;
    }
    if (first_deleted < 0) fire(Err::NotHere);  // every bucket occupied: the bound prevents it
    return static_cast<uint32_t>(first_deleted);
}

// ---- Kind 0: duplicate lists and the position array ----

NodeId list_node(NodeId store, int32_t n) { return static_cast<NodeId>(ints_of(store)[n]); }

// A new list holding two positions; returns its number. May allocate.
int32_t new_list(NodeId table, int32_t first, int32_t second) {
    NodeId store = record(table)->lists;
    int32_t n = ints_of(store)[0];
    if (n != 0) {
        ints_of(store)[0] = static_cast<int32_t>(static_cast<uint32_t>(ints_of(store)[n]) & ~kFreeSlot);
    } else {
        typed_array::append_int(store, 0);
        n = int_count(store) - 1;
    }
    NodeId list = typed_array::make(4, typed_array::kIntUnit);
    store = record(table)->lists;
    ints_of(store)[n] = static_cast<int32_t>(list);
    typed_array::append_int(list, first);
    typed_array::append_int(list, second);
    return n;
}

void free_list(NodeId store, int32_t n) {
    int32_t* items = ints_of(store);
    items[n] = static_cast<int32_t>(kFreeSlot | static_cast<uint32_t>(items[0]));
    items[0] = n;
}

void reset_lists(NodeId store) {
    SeriesBuf* b = memory::buf(store);
    b->tail = b->offset + 4;
    ints_of(store)[0] = 0;
}

// The first position of a kind-0 bucket's group.
int32_t group_first(const Record* r, uint32_t bucket) {
    int32_t k = static_cast<int32_t>(keys_of(r)[bucket]);
    if (k >= 0) return k;
    return ints_of(list_node(r->lists, -k))[0];
}

// Makes the position array at least n entries long (new entries -1). May allocate.
void ensure_positions(NodeId table, int32_t n) {
    NodeId pos = record(table)->positions;
    int32_t have = int_count(pos);
    if (have >= n) return;
    uint8_t* at = memory::series_alloc_tail_bytes(pos, static_cast<size_t>(n - have) * 4);
    std::memset(at, 0xFF, static_cast<size_t>(n - have) * 4);
}

void index_cell(NodeId table, int32_t position);
void rebuild_with(NodeId table, uint32_t buckets);

// Kind 0 resize: rebuilt over the block at 1.5 x the request, and at least the block's size.
void grow_hash(NodeId table) {
    Record* r = record(table);
    uint32_t request = (2 * r->count < r->buckets) ? r->buckets - 1 : r->buckets + 1;
    uint32_t buckets = hash::next_power_of_2(static_cast<uint32_t>(request * 1.5));
    buckets = std::max({buckets, 4u, sizing(cell_count(r->values)).buckets});
    rebuild_with(table, buckets);
}

// Indexes the cell at `position` into a kind-0 table that has room. May allocate.
void index_cell(NodeId table, int32_t position) {
    ensure_positions(table, position + 1);
    Record* r = record(table);
    const Cell key = cells_of(r->values)[position];
    const uint32_t h = hash::value(&key, false);
    int64_t first_deleted = -1;
    int64_t target = -1;
    for (Probe p(h, r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        r = record(table);
        Bucket s = bucket_state(flags_of(r), p.bucket);
        if (s == Bucket::Empty) {
            target = first_deleted >= 0 ? first_deleted : p.bucket;
            break;
        }
        if (s == Bucket::Deleted) {
            if (first_deleted < 0) first_deleted = p.bucket;
            continue;
        }
        const Cell other = cells_of(r->values)[group_first(r, p.bucket)];
        if (cell::type_of(&other) != cell::type_of(&key) || !equal(key, other, CompareOp::Equal))
            continue;
        // An equal value is indexed: the bucket's group takes the position.
        r = record(table);
        int32_t k = static_cast<int32_t>(keys_of(r)[p.bucket]);
        const uint32_t bucket = p.bucket;
        if (k >= 0) {
            int32_t n = new_list(table, k, position);
            r = record(table);
            keys_of(r)[bucket] = static_cast<uint32_t>(-n);
        } else {
            typed_array::append_int(list_node(r->lists, -k), position);
            r = record(table);
        }
        ints_of(r->positions)[position] = static_cast<int32_t>(bucket);
        return;
    }
    if (target < 0) target = first_deleted;
    if (target < 0) fire(Err::NotHere);
    occupy(table, static_cast<uint32_t>(target), static_cast<uint32_t>(position));
    ints_of(record(table)->positions)[position] = static_cast<int32_t>(target);
}

void rebuild_with(NodeId table, uint32_t buckets) {
    g_counters.rehashes++;
    for (;;) {
        NodeId flags = new_flags(buckets);
        record(table)->flags = flags;
        NodeId keys = new_keys(buckets);
        Record* r = record(table);
        r->keys = keys;
        r->buckets = buckets;
        r->bound = static_cast<uint32_t>(buckets * 0.77);
        r->count = r->used = 0;
        reset_lists(r->lists);
        const int32_t n = cell_count(r->values);
        // Entries past the block's tail are dropped: shifts that follow cost the block's length.
        SeriesBuf* pos = memory::buf(r->positions);
        pos->tail = pos->offset + std::min(pos->used(), static_cast<size_t>(n) * 4);
        fill_bytes(r->positions, 0xFF);
        bool fits = true;
        for (int32_t i = 0; i < n && fits; i++) {
            index_cell(table, i);
            fits = record(table)->used < buckets - 1;
        }
        if (fits) return;
        buckets *= 2;  // only when the block holds more distinct values than it can take
    }
}

// Removes the positions in [lo, hi) from a kind-0 index. Each duplicate list concerned is
// filtered once, so removing many duplicates stays linear.
void remove_hash_positions(NodeId table, int32_t lo, int32_t hi) {
    Record* r = record(table);
    lo = std::max(lo, 0);
    hi = std::min(hi, int_count(r->positions));
    int32_t* pos = ints_of(r->positions);
    uint32_t* keys = keys_of(r);
    uint32_t* flags = flags_of(r);
    struct Touched {
        int32_t list;
        uint32_t bucket;
    };
    // Sized before the first change: a failed C++ allocation must not leave the table half done.
    const size_t list_count = static_cast<size_t>(int_count(r->lists));
    std::vector<Touched> touched;
    touched.reserve(list_count);
    std::vector<bool> seen(list_count);
    for (int32_t q = lo; q < hi; q++) {
        const int32_t bucket = pos[q];
        if (bucket < 0) continue;
        pos[q] = -1;
        const int32_t k = static_cast<int32_t>(keys[bucket]);
        if (k >= 0) {
            set_state(flags, static_cast<uint32_t>(bucket), Bucket::Deleted);
            r->count--;
            continue;
        }
        if (seen[static_cast<size_t>(-k)]) continue;
        seen[static_cast<size_t>(-k)] = true;
        touched.push_back({-k, static_cast<uint32_t>(bucket)});
    }
    for (const Touched& t : touched) {
        const NodeId list = list_node(r->lists, t.list);
        SeriesBuf* b = memory::buf(list);
        int32_t* items = reinterpret_cast<int32_t*>(b->offset_ptr());
        int32_t kept = 0;
        for (int32_t i = 0, n = int_count(list); i < n; i++)
            if (items[i] < lo || items[i] >= hi) items[kept++] = items[i];
        b->tail = b->offset + static_cast<size_t>(kept) * 4;
        if (kept != 0) continue;
        free_list(r->lists, t.list);
        set_state(flags, t.bucket, Bucket::Deleted);
        r->count--;
    }
}

void remove_hash_position(NodeId table, int32_t position) {
    remove_hash_positions(table, position, position + 1);
}

// Rewrites every stored position q in [lo, hi) to map(q), single buckets and lists alike. The
// position array itself is the caller's.
// Only the array entries in [array_from, array_to) are read to find the buckets concerned.
template <class Map>
void remap_positions(NodeId table, int32_t lo, int32_t hi, int32_t array_from, int32_t array_to,
                     Map map) {
    Record* r = record(table);
    const int32_t* pos = ints_of(r->positions);
    uint32_t* keys = keys_of(r);
    const int32_t end = std::min(array_to, int_count(r->positions));
    // Lists already rewritten; sized before the first change.
    std::vector<bool> lists(static_cast<size_t>(int_count(r->lists)));
    for (int32_t q = std::max(array_from, 0); q < end; q++) {
        int32_t bucket = pos[q];
        if (bucket < 0) continue;
        int32_t k = static_cast<int32_t>(keys[bucket]);
        if (k >= 0) {
            if (k >= lo && k < hi) keys[bucket] = static_cast<uint32_t>(map(k));
            continue;
        }
        if (lists[static_cast<size_t>(-k)]) continue;
        lists[static_cast<size_t>(-k)] = true;
        NodeId list = list_node(r->lists, -k);
        int32_t* items = ints_of(list);
        for (int32_t i = 0, n = int_count(list); i < n; i++)
            if (items[i] >= lo && items[i] < hi) items[i] = map(items[i]);
    }
}

// ---- Kinds 1-2 ----

// A map's buckets keep their keys' hashes, so a probe passes other keys without reading them.
void insert_position(NodeId table, uint32_t h, int32_t position) {
    uint32_t bucket = free_bucket(record(table), h);
    occupy(table, bucket, static_cast<uint32_t>(position));
    Record* r = record(table);
    if (kind_of(r) == Kind::Map) words_of(r->hashes)[bucket] = h;
}

// Rehashes a kind 1-2 table in place into new arrays, re-entering the keys in block order (so
// earlier keys keep their earlier places on a shared probe sequence). A map's keys keep the
// hashes their buckets hold. Takes its C++ memory before the first change.
void rehash_in_place(NodeId table, uint32_t buckets) {
    g_counters.rehashes++;
    Record* r = record(table);
    const bool map = kind_of(r) == Kind::Map;
    std::vector<bool> present(static_cast<size_t>(cell_count(r->values)));
    std::vector<uint32_t> hashes(map ? present.size() : 0);
    const uint32_t* flags = flags_of(r);
    const uint32_t* keys = keys_of(r);
    for (uint32_t i = 0; i < r->buckets; i++) {
        if (bucket_state(flags, i) != Bucket::Occupied || keys[i] >= present.size()) continue;
        present[keys[i]] = true;
        if (map) hashes[keys[i]] = words_of(r->hashes)[i];
    }
    NodeId new_f = new_flags(buckets);
    record(table)->flags = new_f;
    NodeId new_k = new_keys(buckets);
    record(table)->keys = new_k;
    if (map) {
        NodeId new_h = new_keys(buckets);
        record(table)->hashes = new_h;
    }
    r = record(table);
    r->buckets = buckets;
    r->bound = bound_rounded(buckets);
    const uint32_t live = r->count;
    r->count = r->used = 0;
    for (size_t i = 0; i < present.size(); i++) {
        if (!present[i]) continue;
        const auto position = static_cast<int32_t>(i);
        insert_position(table, map ? hashes[i] : hash_at(r->values, position), position);
    }
    r = record(table);
    if (map) r->count = live;  // removed map entries keep their keys
}

// Resizing rule for kinds 1-2: a map always grows; symbol and word tables are rebuilt at the
// same size when at most half full of live keys, else doubled.
void grow_keyed(NodeId table) {
    Record* r = record(table);
    uint32_t request = r->buckets + 1;
    if (kind_of(r) != Kind::Map && 2 * r->count < r->buckets) request = r->buckets - 1;
    rehash_in_place(table, std::max(hash::next_power_of_2(request), 4u));
}

// The key as a table of this kind indexes it: a map matches the word types as set-word!.
Cell indexed_key(const Record* r, const Cell* key_in) {
    Cell key = *key_in;
    if (kind_of(r) == Kind::Map) {
        TypeId t = cell::type_of(&key);
        if (t == TypeId::Word || t == TypeId::LitWord || t == TypeId::GetWord)
            cell::set_type(&key, TypeId::SetWord);
    }
    return key;
}

// Hands `each` the position of every key on the probe of `key`'s type that is equal in `mode`,
// in probe order, until it answers true; answers that position, or -1. `h` is the key's hash.
// `each` may allocate.
template <class Each>
int32_t each_keyed(NodeId table, const Cell* key_in, uint32_t h, CompareOp mode, Each each) {
    Record* r = record(table);
    const Cell key = indexed_key(r, key_in);
    const bool map = kind_of(r) == Kind::Map;
    for (Probe p(h, r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        r = record(table);
        Bucket s = bucket_state(flags_of(r), p.bucket);
        if (s == Bucket::Empty) break;
        if (s == Bucket::Deleted) continue;
        if (map && words_of(r->hashes)[p.bucket] != h) continue;
        const int32_t position = static_cast<int32_t>(keys_of(r)[p.bucket]);
        const Cell other = cells_of(r->values)[position];
        if (cell::type_of(&other) != cell::type_of(&key)) continue;
        g_counters.key_compares++;
        if (equal(key, other, mode) && each(position)) return position;
    }
    return -1;
}

// The position of the first key on the probe of `key`'s type equal in `mode`, or -1.
int32_t find_keyed(NodeId table, const Cell* key, CompareOp mode) {
    return each_keyed(table, key, key_hash(table, key), mode, [](int32_t) { return true; });
}

// The bucket holding `position` in a kind 1-2 table, or -1.
int64_t bucket_of_position(NodeId table, int32_t position) {
    Record* r = record(table);
    if (position < 0 || position >= cell_count(r->values)) return -1;
    const uint32_t h = hash_at(r->values, position);
    const uint32_t* flags = flags_of(r);
    const uint32_t* keys = keys_of(r);
    for (Probe p(h, r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        Bucket s = bucket_state(flags, p.bucket);
        if (s == Bucket::Empty) break;
        if (s == Bucket::Occupied && keys[p.bucket] == static_cast<uint32_t>(position)) return p.bucket;
    }
    return -1;
}

// ---- Kinds 3-4 ----

Cell* entry_at(const Record* r, uint32_t offset) {
    return reinterpret_cast<Cell*>(memory::buf(r->values)->offset_ptr() + offset);
}

struct Found {
    int64_t bucket;  // the key's bucket, or -1
    int64_t free;    // where it would go: first deleted, else the empty one
};

Found probe_word(const Record* r, uint32_t key) {
    const uint32_t* flags = flags_of(r);
    const uint32_t* keys = keys_of(r);
    Found f{-1, -1};
    for (Probe p(hash::mix(key), r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        Bucket s = bucket_state(flags, p.bucket);
        if (s == Bucket::Empty) {
            if (f.free < 0) f.free = p.bucket;
            break;
        }
        if (s == Bucket::Deleted) {
            if (f.free < 0) f.free = p.bucket;
            continue;
        }
        if (entry_at(r, keys[p.bucket])->w1 == key) {
            f.bucket = p.bucket;
            break;
        }
    }
    return f;
}

// New flags, keys and entries; live entries are put again and their value cells copied.
void resize_generic(NodeId table) {
    g_counters.rehashes++;
    Record* r = record(table);
    uint32_t request = (2 * r->count < r->buckets) ? r->buckets - 1 : r->buckets + 1;
    const uint32_t buckets = std::max(hash::next_power_of_2(request), 4u);
    NodeId new_f = new_flags(buckets);
    record(table)->flags = new_f;
    NodeId new_k = new_keys(buckets);
    record(table)->keys = new_k;
    r = record(table);
    const uint32_t width = r->width;
    NodeId entries = memory::alloc_bytes(static_cast<size_t>(std::max(r->count, 1u)) * width);
    r = record(table);
    r->buckets = buckets;
    r->bound = bound_rounded(buckets);
    r->count = r->used = 0;
    SeriesBuf* old = memory::buf(r->values);
    SeriesBuf* fresh = memory::buf(entries);
    for (size_t at = 0; at + width <= old->used(); at += width) {
        const Cell* e = reinterpret_cast<const Cell*>(old->offset_ptr() + at);
        if (e->header != kLiveHeader) continue;
        const uint32_t offset = static_cast<uint32_t>(fresh->used());
        std::memcpy(fresh->tail_ptr(), e, width);
        fresh->tail += width;
        const uint32_t bucket = probe_word(r, e->w1).free;
        set_state(flags_of(r), bucket, Bucket::Occupied);
        keys_of(r)[bucket] = offset;
        r->count++;
        r->used++;
    }
    r->values = entries;
}

}  // namespace

Counters& counters() { return g_counters; }

Sizing sizing(int32_t size) {
    const int32_t n = std::max(size, 4);
    uint32_t buckets = hash::next_power_of_2(static_cast<uint32_t>(n / 0.77));
    return {buckets, static_cast<uint32_t>(buckets * 0.77)};
}

NodeId make(int32_t size, const Cell* block, Kind kind, int32_t entry_words) {
    if (size < 0) size = 0;
    if (kind == Kind::Symbols && size >= 4000) size *= 2;
    const Sizing s = sizing(size);
    NodeId table = memory::alloc_bytes(sizeof(Record));
    {
        SeriesBuf* b = memory::buf(table);
        std::memset(b->offset_ptr(), 0, sizeof(Record));
        b->tail = b->offset + sizeof(Record);
        Record* r = record(table);
        r->buckets = s.buckets;
        r->bound = s.bound;
        r->kind = static_cast<uint32_t>(kind);
    }
    NodeId flags = new_flags(s.buckets);
    record(table)->flags = flags;
    NodeId keys = new_keys(s.buckets);
    record(table)->keys = keys;
    const bool generic = kind == Kind::Generic || kind == Kind::Ownership;
    if (generic) {
        const uint32_t width = (static_cast<uint32_t>(std::max(entry_words, 0)) + 1) * kCellBytes;
        record(table)->width = width;
        NodeId entries = memory::alloc_bytes(static_cast<size_t>(std::max(size, 1)) * width);
        record(table)->values = entries;
        return table;
    }
    if (kind == Kind::Map) {
        NodeId hashes = new_keys(s.buckets);
        record(table)->hashes = hashes;
    }
    if (kind == Kind::Hash) {
        NodeId pos = memory::alloc_bytes_zeroed(static_cast<size_t>(size) * 4, 0xFF);
        record(table)->positions = pos;
        NodeId store = typed_array::make(4, typed_array::kIntUnit);
        record(table)->lists = store;
        typed_array::append_int(store, 0);
    }
    if (!block) {
        NodeId values = memory::alloc_cells(static_cast<size_t>(std::max(size, 1)));
        record(table)->values = values;
        return table;
    }
    record(table)->values = cell::node(block);
    const int32_t head = std::max(cell::head(block), 0);
    put_cell(table, head, kind == Kind::Map ? 2 : 1);
    return table;
}

NodeId copy(NodeId table, const Cell* new_block) {
    NodeId fresh = memory::alloc_bytes(sizeof(Record));
    {
        SeriesBuf* b = memory::buf(fresh);
        std::memcpy(b->offset_ptr(), record(table), sizeof(Record));
        b->tail = b->offset + sizeof(Record);
    }
    NodeId flags = memory::copy_series_buffer(record(table)->flags);
    record(fresh)->flags = flags;
    NodeId keys = memory::copy_series_buffer(record(table)->keys);
    record(fresh)->keys = keys;
    const Kind kind = kind_of(record(table));
    if (kind == Kind::Generic || kind == Kind::Ownership) {
        NodeId entries = memory::copy_series_buffer(record(table)->values);
        record(fresh)->values = entries;
        return fresh;
    }
    record(fresh)->values = new_block ? cell::node(new_block) : record(table)->values;
    if (kind == Kind::Map) {
        NodeId hashes = memory::copy_series_buffer(record(table)->hashes);
        record(fresh)->hashes = hashes;
    }
    if (kind == Kind::Hash) {
        NodeId pos = memory::copy_series_buffer(record(table)->positions);
        record(fresh)->positions = pos;
        NodeId store = memory::copy_series_buffer(record(table)->lists);
        record(fresh)->lists = store;
        for (int32_t n = 1, count = int_count(store); n < count; n++) {
            uint32_t item = static_cast<uint32_t>(ints_of(store)[n]);
            if (item & kFreeSlot) continue;
            NodeId list = memory::copy_series_buffer(item);
            ints_of(record(fresh)->lists)[n] = static_cast<int32_t>(list);
        }
    }
    return fresh;
}

void put_cell(NodeId table, int32_t from, int32_t step) {
    if (step < 1) step = 1;
    Record* r = record(table);
    if (kind_of(r) != Kind::Map) {
        for (int32_t i = std::max(from, 0); i < cell_count(record(table)->values); i += step)
            if (put_key(table, i)) return;
        return;
    }
    int32_t i = std::max(from, 0);
    while (i < cell_count(record(table)->values)) {
        r = record(table);
        const Cell* key = cells_of(r->values) + i;
        const uint32_t h = key_hash(table, key);
        const int32_t found = find_hashed(table, key, h, CompareOp::StrictEqual);
        r = record(table);
        if (found < 0) {
            map::normalise_key(r->values, i);
            put_key_hashed(table, i, h);
            i += 2;
            continue;
        }
        // A repeated key: the first occurrence keeps its place and takes the later value.
        watch::series_written(r->values);
        SeriesBuf* b = memory::buf(r->values);
        Cell* cells = reinterpret_cast<Cell*>(b->offset_ptr());
        const int32_t n = cell_count(r->values);
        Cell* old_value = cells + found + 1;
        if (old_value->header == 0) r->count++;
        *old_value = (i + 1 < n) ? cells[i + 1] : Cell{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
        const int32_t drop = std::min(2, n - i);
        std::memmove(cells + i, cells + i + drop, static_cast<size_t>(n - i - drop) * kCellBytes);
        b->tail -= static_cast<size_t>(drop) * kCellBytes;
    }
}

bool put_key(NodeId table, int32_t position) {
    Record* r = record(table);
    if (position < 0 || position >= cell_count(r->values)) fire(Err::NotHere);
    if (kind_of(r) == Kind::Hash) {
        remove_hash_position(table, position);
        r = record(table);
        if (r->used >= r->bound) {
            grow_hash(table);
            return true;
        }
        index_cell(table, position);
        return false;
    }
    put_key_hashed(table, position, hash_at(r->values, position));
    return false;
}

void put_key_hashed(NodeId table, int32_t position, uint32_t hash) {
    if (record(table)->used >= record(table)->bound) grow_keyed(table);
    insert_position(table, hash, position);
}

int32_t get_next(NodeId table, const Cell* key_in, int32_t from, int32_t skip, CompareOp mode,
                 bool last, bool reverse) {
    if (kind_of(record(table)) != Kind::Hash) return find_keyed(table, key_in, mode);
    const int32_t step = std::max(skip, 1);
    if (reverse) return find_in(table, key_in, mode, {INT32_MIN, from - 1, from, step, true});
    return find_in(table, key_in, mode, {from, INT32_MAX, from, step, last});
}

int32_t find_in(NodeId table, const Cell* key_in, CompareOp mode, const Window& window) {
    const Cell key = *key_in;
    const TypeId key_type = cell::type_of(&key);
    // Find's equality joins the word types, whose groups lie on one probe sequence (they hash
    // by symbol alone): every group is weighed. Otherwise the first equal group is the only one.
    const bool kin_groups = mode == CompareOp::FindEqual && is_word_kin(key_type);
    const int64_t step = std::max(window.step, 1);
    int32_t best = -1;
    Record* r = record(table);
    for (Probe p(hash::value(&key, false), r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        r = record(table);
        const Bucket s = bucket_state(flags_of(r), p.bucket);
        if (s == Bucket::Empty) break;
        if (s == Bucket::Deleted) continue;
        const Cell first = cells_of(r->values)[group_first(r, p.bucket)];
        const TypeId first_type = cell::type_of(&first);
        if (first_type != key_type && !(kin_groups && is_word_kin(first_type))) continue;
        if (!equal(key, first, CompareOp::Equal)) continue;
        // The group of values equal to the key: choose among its positions.
        const uint32_t bucket = p.bucket;
        const int32_t k = static_cast<int32_t>(keys_of(record(table))[bucket]);
        const int32_t size = k >= 0 ? 1 : int_count(list_node(record(table)->lists, -k));
        for (int32_t i = 0; i < size; i++) {
            r = record(table);  // a compare below may have moved every buffer
            const int32_t q = k >= 0 ? k : ints_of(list_node(r->lists, -k))[i];
            g_counters.positions++;
            if (q < window.lo || q > window.hi) continue;
            if ((static_cast<int64_t>(q) - window.anchor) % step != 0) continue;
            const bool better = best < 0 || (window.highest ? q > best : q < best);
            if (!better) continue;
            if (mode != CompareOp::Equal) {
                const Cell candidate = cells_of(r->values)[q];
                if (!equal(candidate, key, mode)) continue;
            }
            best = q;
        }
        if (!kin_groups) break;
    }
    return best;
}

int32_t find(NodeId table, const Cell* key, CompareOp mode) {
    return get_next(table, key, 0, 1, mode, false, false);
}

bool find_each(NodeId table, const Cell* key, CompareOp mode, bool (*each)(int32_t, void*),
               void* data) {
    const uint32_t h = key_hash(table, key);
    return each_keyed(table, key, h, mode, [each, data](int32_t q) { return each(q, data); }) >= 0;
}

uint32_t key_hash(NodeId table, const Cell* key) {
    const Cell indexed = indexed_key(record(table), key);
    return hash::value(&indexed, false);
}

int32_t find_hashed(NodeId table, const Cell* key, uint32_t hash, CompareOp mode) {
    return each_keyed(table, key, hash, mode, [](int32_t) { return true; });
}

int32_t find_symbol(NodeId table, SymId sym, bool case_insensitive) {
    const Record* r = record(table);
    const SymId canonical = symbol::resolve(sym);
    const uint32_t* flags = flags_of(r);
    const uint32_t* keys = keys_of(r);
    const Cell* words = cells_of(r->values);
    for (Probe p(hash::mix(canonical), r->buckets); p.more(); p.next()) {
        g_counters.probes++;
        Bucket s = bucket_state(flags, p.bucket);
        if (s == Bucket::Empty) break;
        if (s == Bucket::Deleted) continue;
        const int32_t position = static_cast<int32_t>(keys[p.bucket]);
        const SymId other = words[position].w2;
        if (other == sym || (case_insensitive && symbol::resolve(other) == canonical))
            return position;
    }
    return -1;
}

void remove_key(NodeId table, int32_t position) {
    Record* r = record(table);
    switch (kind_of(r)) {
    case Kind::Hash: remove_hash_position(table, position); return;
    case Kind::Map: {
        if (position < 0 || position + 1 >= cell_count(r->values)) return;
        Cell* value = cells_of(r->values) + position + 1;
        if (value->header == 0) return;
        watch::series_written(r->values);
        value->header = 0;
        r->count--;
        return;
    }
    case Kind::Symbols: {
        int64_t bucket = bucket_of_position(table, position);
        if (bucket < 0) return;
        set_state(flags_of(r), static_cast<uint32_t>(bucket), Bucket::Deleted);
        r->count--;
        return;
    }
    case Kind::Generic:
    case Kind::Ownership: return;
    }
}

void remove_range(NodeId table, int32_t position, int32_t n) {
    if (n <= 0) return;
    const int32_t end = position > INT32_MAX - n ? INT32_MAX : position + n;
    if (kind_of(record(table)) == Kind::Hash) remove_hash_positions(table, position, end);
    else for (int32_t i = position; i < end; i++) remove_key(table, i);
    if (record(table)->count == 0) clear(table);
}

void clear(NodeId table) {
    Record* r = record(table);
    r->count = r->used = 0;
    fill_bytes(r->flags, 0xAA);
    switch (kind_of(r)) {
    case Kind::Hash:
        fill_bytes(r->positions, 0xFF);
        reset_lists(r->lists);
        break;
    case Kind::Generic:
    case Kind::Ownership: {
        SeriesBuf* b = memory::buf(r->values);
        b->tail = b->offset;
        break;
    }
    default: break;
    }
}

void rebuild(NodeId table) {
    Record* r = record(table);
    rebuild_with(table, std::max(r->buckets, sizing(cell_count(r->values)).buckets));
}

// Adds delta to every stored position at or after `from`, whose position-array entries lie in
// [array_from, array_to). Few of them are reached through the array; many by one pass over
// every bucket and every duplicate list, which reads memory in order. That pass also shifts the
// keys of empty and deleted buckets, which are never read.
void shift_positions(NodeId table, int32_t from, int32_t delta, int32_t array_from,
                     int32_t array_to) {
    const Record* r = record(table);
    if (static_cast<int64_t>(array_to - array_from) * 8 < r->buckets) {
        remap_positions(table, from, INT32_MAX, array_from, array_to,
                        [delta](int32_t q) { return q + delta; });
        return;
    }
    const auto shift = [from, delta](uint32_t* items, size_t n) {
        for (size_t i = 0; i < n; i++) {
            const uint32_t q = items[i];
            items[i] = q + (static_cast<int32_t>(q) >= from ? static_cast<uint32_t>(delta) : 0u);
        }
    };
    shift(keys_of(r), r->buckets);
    const int32_t* store = ints_of(r->lists);
    for (int32_t n = 1, lists = int_count(r->lists); n < lists; n++) {
        if (store[n] < 0) continue;  // a free slot: kFreeSlot and the next one
        const NodeId list = static_cast<NodeId>(store[n]);
        shift(words_of(list), static_cast<size_t>(int_count(list)));
    }
}

void block_update(NodeId table, int32_t position, int32_t delta) {
    if (delta == 0) return;
    Record* r = record(table);
    const int32_t have = int_count(r->positions);
    if (position < 0) position = 0;
    if (position >= have) return;
    if (delta > 0) {
        ensure_positions(table, have + delta);
        r = record(table);
        int32_t* pos = ints_of(r->positions);
        std::memmove(pos + position + delta, pos + position,
                     static_cast<size_t>(have - position) * 4);
        std::fill(pos + position, pos + position + delta, -1);
        shift_positions(table, position, delta, position + delta, have + delta);
        return;
    }
    const int32_t removed = std::min(-delta, have - position);
    remove_hash_positions(table, position, position + removed);
    shift_positions(table, position + removed, -removed, position + removed, have);
    r = record(table);
    SeriesBuf* b = memory::buf(r->positions);
    int32_t* pos = ints_of(r->positions);
    std::memmove(pos + position, pos + position + removed,
                 static_cast<size_t>(have - position - removed) * 4);
    b->tail -= static_cast<size_t>(removed) * 4;
}

void cells_replaced(NodeId table, int32_t position, int32_t removed, int32_t added) {
    if (removed == added) {
        remove_range(table, position, removed);
    } else {
        block_update(table, position, -removed);
        block_update(table, position, added);
    }
    for (int32_t i = 0; i < added; i++)
        if (put_key(table, position + i)) return;
}

void block_move(NodeId table, int32_t to, int32_t from, int32_t count) {
    if (count <= 0 || from < 0 || to < 0) return;
    if (to >= from && to <= from + count) return;
    const int32_t lo = std::min(to, from);
    const int32_t hi = std::max(to, from + count);
    ensure_positions(table, hi);
    auto map = [=](int32_t q) {
        if (to > from) return q < from + count ? q + (to - from - count) : q - count;
        return q >= from ? q - (from - to) : q + count;
    };
    // The array of buckets by position turns the same way (copied before the first change).
    const int32_t* held = ints_of(record(table)->positions);
    std::vector<int32_t> moved(held + lo, held + hi);
    remap_positions(table, lo, hi, lo, hi, map);
    int32_t* pos = ints_of(record(table)->positions);
    for (int32_t q = lo; q < hi; q++) pos[map(q)] = moved[static_cast<size_t>(q - lo)];
}

Cell* put(NodeId table, uint32_t key) {
    Record* r = record(table);
    Found f = probe_word(r, key);
    if (f.bucket >= 0) return entry_at(r, keys_of(r)[f.bucket]) + 1;
    if (r->used >= r->bound) {
        resize_generic(table);
        r = record(table);
        f = probe_word(r, key);
    }
    if (f.free < 0) fire(Err::NotHere);
    const uint32_t bucket = static_cast<uint32_t>(f.free);
    const uint32_t width = r->width;
    uint32_t offset;
    if (bucket_state(flags_of(r), bucket) == Bucket::Deleted) {
        offset = keys_of(r)[bucket];  // the removed entry's place is taken again
    } else {
        offset = static_cast<uint32_t>(memory::buf(r->values)->used());
        memory::series_alloc_tail_bytes(r->values, width);
        r = record(table);
    }
    occupy(table, bucket, offset);
    r = record(table);
    Cell* e = entry_at(r, offset);
    for (uint32_t i = 0; i < width / kCellBytes; i++) e[i] = Cell{kLiveHeader, 0, 0, 0};
    e->w1 = key;
    return e + 1;
}

Cell* get(NodeId table, uint32_t key) {
    const Record* r = record(table);
    Found f = probe_word(r, key);
    return f.bucket >= 0 ? entry_at(r, keys_of(r)[f.bucket]) + 1 : nullptr;
}

bool remove_entry(NodeId table, uint32_t key) {
    Record* r = record(table);
    Found f = probe_word(r, key);
    if (f.bucket < 0) return false;
    entry_at(r, keys_of(r)[f.bucket])->header = 0;
    set_state(flags_of(r), static_cast<uint32_t>(f.bucket), Bucket::Deleted);
    r->count--;
    return true;
}

// ---- The small word table ----

namespace {

uint32_t* word_flags(uint32_t buckets) {
    const size_t bytes = std::max<size_t>(buckets / 4, 4);
    auto* f = static_cast<uint32_t*>(memory::tracked_alloc(bytes));
    std::memset(f, 0xAA, bytes);
    return f;
}

// The bucket of the key, or (when absent) -1 with *free set to where it would go.
int64_t word_probe(const WordTable* t, uint32_t key, int64_t* free) {
    int64_t first_free = -1;
    for (Probe p(hash::mix(key), t->buckets); p.more(); p.next()) {
        g_counters.probes++;
        Bucket s = bucket_state(t->flags, p.bucket);
        if (s == Bucket::Empty) {
            if (first_free < 0) first_free = p.bucket;
            break;
        }
        if (s == Bucket::Deleted) {
            if (first_free < 0) first_free = p.bucket;
            continue;
        }
        if (t->pairs[2 * p.bucket] == key) return p.bucket;
    }
    if (free) *free = first_free;
    return -1;
}

}  // namespace

WordTable* word_table_make(int32_t size) {
    const Sizing s = sizing(size);
    auto* t = static_cast<WordTable*>(memory::tracked_alloc(sizeof(WordTable)));
    *t = WordTable{0, nullptr, nullptr, 0, s.buckets, s.bound};
    t->flags = word_flags(s.buckets);
    t->pairs = static_cast<uint32_t*>(memory::tracked_alloc(static_cast<size_t>(s.buckets) * 8));
    return t;
}

void word_table_resize(WordTable* t, uint32_t request) {
    const uint32_t buckets = std::max(hash::next_power_of_2(request), 4u);
    if (buckets - 1 < t->count) return;  // too small for the live pairs: keep the table
    g_counters.rehashes++;
    uint32_t* flags = word_flags(buckets);
    uint32_t* pairs;
    try {
        pairs = static_cast<uint32_t*>(memory::tracked_alloc(static_cast<size_t>(buckets) * 8));
    } catch (...) {
        memory::tracked_free(flags);
        throw;
    }
    WordTable fresh{0, flags, pairs, 0, buckets, bound_rounded(buckets)};
    for (uint32_t i = 0; i < t->buckets; i++) {
        if (bucket_state(t->flags, i) != Bucket::Occupied) continue;
        int64_t free = -1;
        word_probe(&fresh, t->pairs[2 * i], &free);
        const uint32_t b = static_cast<uint32_t>(free);
        set_state(fresh.flags, b, Bucket::Occupied);
        fresh.pairs[2 * b] = t->pairs[2 * i];
        fresh.pairs[2 * b + 1] = t->pairs[2 * i + 1];
        fresh.count++;
    }
    memory::tracked_free(t->flags);
    memory::tracked_free(t->pairs);
    *t = fresh;
}

void word_table_put(WordTable* t, uint32_t key, uint32_t value) {
    int64_t free = -1;
    int64_t at = word_probe(t, key, &free);
    if (at >= 0) {
        t->pairs[2 * at + 1] = value;
        return;
    }
    if (t->count + t->deleted >= t->bound) {
        word_table_resize(t, (2 * t->count < t->buckets) ? t->buckets - 1 : t->buckets + 1);
        word_probe(t, key, &free);
    }
    if (free < 0) fire(Err::NotHere);
    const uint32_t b = static_cast<uint32_t>(free);
    if (bucket_state(t->flags, b) == Bucket::Deleted) t->deleted--;
    set_state(t->flags, b, Bucket::Occupied);
    t->pairs[2 * b] = key;
    t->pairs[2 * b + 1] = value;
    t->count++;
}

bool word_table_get(const WordTable* t, uint32_t key, uint32_t* value) {
    int64_t at = word_probe(t, key, nullptr);
    if (at < 0) return false;
    if (value) *value = t->pairs[2 * at + 1];
    return true;
}

bool word_table_delete(WordTable* t, uint32_t key) {
    int64_t at = word_probe(t, key, nullptr);
    if (at < 0) return false;
    set_state(t->flags, static_cast<uint32_t>(at), Bucket::Deleted);
    t->count--;
    t->deleted++;
    return true;
}

void word_table_clear(WordTable* t) {
    std::memset(t->flags, 0xAA, std::max<size_t>(t->buckets / 4, 4));
    t->count = 0;
    t->deleted = 0;
}

void word_table_free(WordTable* t) {
    if (!t) return;
    memory::tracked_free(t->flags);
    memory::tracked_free(t->pairs);
    memory::tracked_free(t);
}

}  // namespace nuv::hashtable
