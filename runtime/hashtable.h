// Hash tables: one open-addressing design for five uses, every part of it in collected series
// reached through nodes. For the block-backed kinds (hash!, map!, symbols and context words) the
// buckets hold 0-based cell positions in the owner's block (counted from the buffer's first
// used cell), so the block keeps its order and the table only finds things; a map!'s buckets
// also keep their keys' hashes. Keys are hashed by value or node id, never by address, so
// compaction never forces a rehash: the stamp stays 0.
// Every operation that may allocate says so; raw pointers returned are valid until the next
// allocation.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace nuv::hashtable {

enum class Kind : uint32_t {
    Hash = 0,       // index of a hash! block; equal values share a bucket (duplicate lists)
    Map = 1,        // key index of a map! block (keys at every other cell)
    Symbols = 2,    // the symbol table and context word tables
    Generic = 3,    // keyed by a 32-bit word (a node id), entries held by the table
    Ownership = 4,  // generic, the entries naming an owner
};

// The table record: a 44-byte byte series.
struct Record {
    uint32_t count;  // live entries
    union {
        NodeId positions;  // kind 0: block position -> bucket, one int32 each (-1 = none)
        NodeId hashes;     // kind 1: the hash of each bucket's key, one word per bucket
        uint32_t width;    // kinds 3-4: entry width in bytes, (entry words + 1) x 16
    };
    NodeId lists;     // kind 0: the duplicate list store (see hashtable.cpp)
    NodeId flags;     // 2 bits per bucket: 10 empty, 01 deleted, 00 occupied
    NodeId keys;      // one word per bucket: a position, -n for duplicate list n, or an offset
    NodeId values;    // the block's own series, or (kinds 3-4) the entries series
    uint32_t used;    // buckets occupied or deleted
    uint32_t buckets; // a power of two, at least 4
    uint32_t bound;   // resize bound on `used`
    uint32_t kind;
    uint32_t stamp;   // always 0: no table depends on buffer addresses
};
static_assert(sizeof(Record) == 44);

inline Record* record(NodeId table) {
    return reinterpret_cast<Record*>(memory::buf(table)->offset_ptr());
}
inline uint32_t* words_of(NodeId node) {
    return reinterpret_cast<uint32_t*>(memory::buf(node)->offset_ptr());
}

// Bucket states as the flags array stores them.
enum class Bucket : uint32_t { Occupied = 0, Deleted = 1, Empty = 2 };
inline Bucket bucket_state(const uint32_t* flags, uint32_t i) {
    return static_cast<Bucket>((flags[i >> 4] >> ((i & 15) * 2)) & 3);
}

// The probe sequence of every table: start, start + 1, start + 3, start + 6, ... modulo the
// bucket count; over a power-of-two count it visits every bucket once in `buckets` probes and
// stops there.
struct Probe {
    uint32_t mask;
    uint32_t bucket;
    uint32_t step = 0;
    uint32_t left;
    Probe(uint32_t hash, uint32_t buckets) : mask(buckets - 1), bucket(hash & mask), left(buckets) {}
    bool more() const { return left != 0; }
    void next() {
        ++step;
        bucket = (bucket + step) & mask;
        --left;
    }
};

// Bucket count and resize bound for a requested size: count = next power of 2 of
// truncate(max(size, 4) / 0.77), bound = truncate(count x 0.77).
struct Sizing {
    uint32_t buckets;
    uint32_t bound;
};
Sizing sizing(int32_t size);

// ---- Making (each allocates) ----

// A new table for `size` keys. Kinds 0-2 with a block: the block's series is the values and its
// cells from the block's head are indexed at once (every other cell for map!). Kinds 3-4, or no
// block: a new cell series of `size` cells. `block` must not lie in a collected buffer. Returns
// the record's node. A context copy uses copy().
NodeId make(int32_t size, const Cell* block, Kind kind, int32_t entry_words);
// A new record over `new_block` (kinds 0-2) with copies of the flags, keys and, for kind 0, the
// position array and duplicate lists; kinds 3-4 copy their entries and ignore the block.
NodeId copy(NodeId table, const Cell* new_block);

// ---- Kinds 0-2: positions of the owner's block ----

// Indexes the block's cells from `from` to the tail, every `step`-th cell. Kind 1 looks each key
// up case-sensitively first: a key already present takes the value that follows the new
// occurrence and the new pair leaves the block; a new key takes its stored form by the map!
// key rule (which may raise). May allocate.
void put_cell(NodeId table, int32_t from, int32_t step);
// Adds the key at `position`. Kind 0: an equal value already indexed turns its bucket into a
// duplicate list. Kinds 1-2 add without looking for the key (callers look first). Grows first
// when used has reached the bound; returns true when that rebuilt a kind-0 index over the whole
// block (the key is then already in). May allocate.
bool put_key(NodeId table, int32_t position);
// Kinds 1-2: put_key with the key's hash (key_hash) already known. May allocate.
void put_key_hashed(NodeId table, int32_t position, uint32_t hash);
// The lookup behind find and select: `mode` is CompareOp::Equal (0), StrictEqual (2) or Same (9).
// Kinds 1-2: the position of the first key on the probe of the key's type that compares equal
// (a map! word key of any word type is matched as a set-word!). Kind 0: among the positions equal
// to the key whose distance from `from` is a multiple of `skip`, the lowest at or after `from`
// (the highest with `last`; with `reverse`, the highest before `from`). -1 when none. The key may
// lie anywhere (it is copied first).
int32_t get_next(NodeId table, const Cell* key, int32_t from, int32_t skip, CompareOp mode,
                 bool last, bool reverse);
// Where a kind-0 lookup may answer: positions from `lo` to `hi` (both included) whose distance
// from `anchor` is a multiple of `step`; the lowest such match, or the highest with `highest`.
struct Window {
    int32_t lo;
    int32_t hi;
    int32_t anchor;
    int32_t step;
    bool highest;
};
// Kind 0: the position in the window of a value equal to the key under `mode` (Equal,
// StrictEqual, Same or FindEqual), each candidate compared as find compares, the block's cell
// first; -1 when none. Under FindEqual a word of any of the types word!, set-word!, get-word!,
// lit-word! and refinement! finds the others, as find does. May allocate (compare slots).
int32_t find_in(NodeId table, const Cell* key, CompareOp mode, const Window& window);
// get_next from position 0, step 1, forward.
int32_t find(NodeId table, const Cell* key, CompareOp mode);
// Kinds 1-2: the hash the table indexes the key under (a map! word key of any word type is
// hashed as a set-word!), and find with that hash already known. No allocation.
uint32_t key_hash(NodeId table, const Cell* key);
int32_t find_hashed(NodeId table, const Cell* key, uint32_t hash, CompareOp mode);
// Kinds 1-2: hands `each` the position of every key on the probe of `key`'s type that is equal
// in `mode`, in probe order, until it answers true; answers whether it did. `each` may allocate.
bool find_each(NodeId table, const Cell* key, CompareOp mode, bool (*each)(int32_t, void*),
               void* data);
// Kind 2 over word cells: the position of the word whose symbol is `sym` (case_insensitive:
// whose symbol resolves to the same canonical symbol), or -1. No allocation.
int32_t find_symbol(NodeId table, SymId sym, bool case_insensitive);
// Removes the entry of one block position. Kind 0: from its duplicate list first; the bucket
// becomes deleted only when the list empties. Kind 1: the entry's value cell gets header 0 and
// the live count drops; the key stays findable so a later set can revive it (count + 1).
// Kind 2: the bucket becomes deleted. No allocation.
void remove_key(NodeId table, int32_t position);
// remove_key for n positions from `position` (kind 0: each duplicate list filtered once); a
// table left with no live key is cleared. No allocation.
void remove_range(NodeId table, int32_t position, int32_t n);
// Count and used to 0, every bucket empty, duplicate lists and positions dropped.
void clear(NodeId table);
// Kind 0: empties the index and indexes every cell of the block again. May allocate.
void rebuild(NodeId table);

// Kind 0, after the block changed. delta > 0: delta cells were inserted at `position` (the
// stored positions at or beyond it move up; the new cells are not indexed: put_cell them).
// delta < 0: -delta cells at `position` were removed (their entries go; later positions move
// down). Costs the positions shifted, or at most one pass over the buckets and duplicate
// lists; never a rehash. May allocate.
void block_update(NodeId table, int32_t position, int32_t delta);
// Kind 0, after the `removed` cells at `position` were replaced by the `added` cells that now
// stand there (the cells after them moved by added - removed): the index follows, through
// block_update and put_key (whose growth may rebuild it). With removed and added equal the
// cells only took other values. May allocate.
void cells_replaced(NodeId table, int32_t position, int32_t removed, int32_t added);
// Kind 0, after `count` cells moved from `from` to before the cell that was at `to` (positions
// before the move): the moved and passed-over cells keep their entries at their new positions.
// A destination inside [from, from + count] changes nothing. May allocate.
void block_move(NodeId table, int32_t to, int32_t from, int32_t count);

// ---- Kinds 3-4: keyed by a 32-bit word ----

// The first value cell of the key's entry, the entry made when absent (its cells get header 2,
// the value cells thereby reading as unset!). May allocate; valid until the next allocation.
Cell* put(NodeId table, uint32_t key);
// The first value cell of the key's entry, or nullptr. Valid until the next allocation.
Cell* get(NodeId table, uint32_t key);
// Removes the key's entry (its key cell gets header 0); false when absent. No allocation.
bool remove_entry(NodeId table, uint32_t key);

// ---- Counters for complexity tests ----

struct Counters {
    uint64_t probes;     // buckets visited by every lookup and insertion
    uint64_t rehashes;   // in-place rehashes and rebuilds
    uint64_t positions;  // positions of equal values a kind-0 lookup weighed
    uint64_t compares;   // cells compared with a key by lookups and insertions
    uint64_t key_compares;  // key cells a kind 1-2 lookup compared with the key
};
Counters& counters();

// ---- The small word table: a 32-bit word -> word map outside collected memory ----

struct WordTable {
    uint32_t count;
    uint32_t* flags;
    uint32_t* pairs;  // (key, value) per bucket
    uint32_t deleted;
    uint32_t buckets;
    uint32_t bound;
};
WordTable* word_table_make(int32_t size);
// Adds or replaces; may grow (a failed growth leaves the table as it was and raises).
void word_table_put(WordTable* t, uint32_t key, uint32_t value);
// True and the value in *value when the key is present.
bool word_table_get(const WordTable* t, uint32_t key, uint32_t* value);
bool word_table_delete(WordTable* t, uint32_t key);
void word_table_resize(WordTable* t, uint32_t request);
void word_table_clear(WordTable* t);
void word_table_free(WordTable* t);

}  // namespace nuv::hashtable
