// symbol!: interning over the symbol block and its kind-2 hash table, aliases for case variants,
// names and their cached strings, and the compare slot. Lookups of known spellings allocate
// nothing; a new spelling is copied out of the caller's buffer before anything allocates.
#include "runtime/datatypes/symbol.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/case_fold.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/hash.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/support.h"
#include "runtime/unicode.h"

namespace nuv::symbol {

namespace {

using memory::SeriesBuf;

constexpr int32_t kSymbolBlockCell = 2;  // the symbol block's cell in the root block
constexpr int32_t kTableSize = 4000;

NodeId g_table = 0;

// The root block's cell holding the symbol block: external, so the pointer is stable.
const Cell* block_cell() { return block::rs_abs_at(roots::root(), kSymbolBlockCell); }
NodeId block_node() { return cell::node(block_cell()); }
Cell* entries() { return reinterpret_cast<Cell*>(memory::buf(block_node())->offset_ptr()); }

NodeId table_node() {
    if (!g_table) fire(Err::NotHere);
    return g_table;
}

bool same_bytes(const Cell* e, const uint8_t* text, size_t length) {
    SeriesBuf* name = memory::buf(e->w3);
    return name->used() == length && std::memcmp(name->offset_ptr(), text, length) == 0;
}

bool same_bytes_ascii_fold(const Cell* e, const uint8_t* text, size_t length) {
    SeriesBuf* name = memory::buf(e->w3);
    if (name->used() != length) return false;
    const uint8_t* a = name->offset_ptr();
    for (size_t i = 0; i < length; i++) {
        uint8_t x = a[i], y = text[i];
        if (x == y) continue;
        if ((x | 0x20) != (y | 0x20)) return false;
        uint8_t lower = x | 0x20;
        if (lower < 'a' || lower > 'z') return false;
    }
    return true;
}

enum class Pass { Exact, Folded };

// The id of the first entry on the spelling's probe that matches in the pass, or 0.
SymId probe(const uint8_t* text, size_t length, uint32_t h, Pass pass) {
    const hashtable::Record* r = hashtable::record(table_node());
    const uint32_t* flags = hashtable::words_of(r->flags);
    const uint32_t* keys = hashtable::words_of(r->keys);
    const Cell* all = entries();
    for (hashtable::Probe p(h, r->buckets); p.more(); p.next()) {
        hashtable::counters().probes++;
        hashtable::Bucket s = hashtable::bucket_state(flags, p.bucket);
        if (s == hashtable::Bucket::Empty) break;
        if (s == hashtable::Bucket::Deleted) continue;
        const Cell* e = all + keys[p.bucket];
        const bool match = pass == Pass::Exact ? same_bytes(e, text, length)
                                               : same_bytes_ascii_fold(e, text, length);
        if (match) return keys[p.bucket] + 1;
    }
    return 0;
}

// Appends the entry and indexes it. The spelling is already out of any series buffer.
SymId add_entry(const std::string& spelling, int32_t alias) {
    Cell* e = block::alloc_tail(block_cell());
    *e = Cell{static_cast<uint32_t>(TypeId::Symbol), static_cast<uint32_t>(alias), 0, 0};
    const SymId id = static_cast<SymId>(memory::buf(block_node())->used() / sizeof(Cell));
    const size_t n = spelling.size();
    NodeId name = memory::alloc_bytes(n + 1);
    SeriesBuf* b = memory::buf(name);
    std::memcpy(b->offset_ptr(), spelling.data(), n);
    b->offset_ptr()[n] = 0;
    b->tail = b->offset + n;
    entries()[id - 1].w3 = name;
    hashtable::put_key(table_node(), static_cast<int32_t>(id - 1));
    return id;
}

SymId intern(const uint8_t* text, size_t length, bool boot) {
    const uint32_t h = hash::name(text, length);
    if (!boot) {
        if (SymId id = probe(text, length, h, Pass::Exact)) return id;
    }
    const SymId match = probe(text, length, h, Pass::Folded);
    if (boot && match) return match;
    const int32_t alias = match ? static_cast<int32_t>(resolve(match)) : kNoAlias;
    return add_entry(std::string(reinterpret_cast<const char*>(text), length), alias);
}

// Code points of a UTF-8 name, one per undecodable sequence.
char32_t next_char(const uint8_t*& p, const uint8_t* end) {
    int32_t cp;
    p = unicode::fast_decode_utf8_char(p, end, &cp);
    return cp < 0 ? unicode::kReplacement : static_cast<char32_t>(cp);
}

}  // namespace

SymId make_utf8(const uint8_t* text, size_t length) { return intern(text, length, false); }

SymId make_cstr(const char* name) {
    return intern(reinterpret_cast<const uint8_t*>(name), std::strlen(name), false);
}

SymId make_cstr_boot(const char* name) {
    return intern(reinterpret_cast<const uint8_t*>(name), std::strlen(name), true);
}

SymId make_string(const Cell* text) {
    switch (cell::type_of(text)) {
    case TypeId::String:
    case TypeId::File:
    case TypeId::Url:
    case TypeId::Tag:
    case TypeId::Email:
    case TypeId::Ref: break;
    default: fire_expect_arg(cell::type_of(text), 0);
    }
    const uint8_t* head = string::head_ptr(text);
    const uint32_t unit = string::unit_of(text);
    const size_t size = unicode::utf8_size_of_units(head, head + string::length(text) * unit, unit);
    std::string utf8(size + 1, '\0');
    unicode::string_write_utf8(text, reinterpret_cast<uint8_t*>(utf8.data()), -1, false);
    return intern(reinterpret_cast<const uint8_t*>(utf8.data()), size, false);
}

uint32_t count() {
    if (!roots::root()->w2) return 0;
    return static_cast<uint32_t>(memory::buf(block_node())->used() / sizeof(Cell));
}

SymId resolve(SymId id) {
    if (id == 0 || id > count()) return id;
    const int32_t alias = static_cast<int32_t>(entries()[id - 1].w1);
    return alias > 0 ? static_cast<SymId>(alias) : id;
}

int32_t get_alias(SymId id) {
    if (id == 0 || id > count()) return kNoAlias;
    return static_cast<int32_t>(entries()[id - 1].w1);
}

Cell* entry(SymId id) {
    if (id == 0 || id > count()) fire_int(Err::OutOfRange, static_cast<int32_t>(id));
    return entries() + (id - 1);
}

const char* utf8_name(SymId id) {
    return reinterpret_cast<const char*>(memory::buf(entry(id)->w3)->offset_ptr());
}

size_t name_length(SymId id) { return memory::buf(entry(id)->w3)->used(); }

NodeId cached_string(SymId id) {
    if (NodeId cached = entry(id)->w2) return cached;
    SeriesBuf* name = memory::buf(entry(id)->w3);
    const std::string utf8(reinterpret_cast<const char*>(name->offset_ptr()), name->used());
    Cell made{};
    string::load(reinterpret_cast<const uint8_t*>(utf8.data()), utf8.size(), &made,
                 string::kUtf8);
    entry(id)->w2 = cell::node(&made);
    return cell::node(&made);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, TypeId::Symbol)) return kNotComparable;
    const bool same = a->w3 == b->w3;
    if (op == CompareOp::Same) return same ? 0 : -1;
    const bool equality = op == CompareOp::Equal || op == CompareOp::NotEqual ||
                          op == CompareOp::StrictEqual || op == CompareOp::FindEqual;
    if (same && equality) return 0;
    SeriesBuf* na = memory::buf(a->w3);
    SeriesBuf* nb = memory::buf(b->w3);
    const uint8_t *pa = na->offset_ptr(), *ea = pa + na->used();
    const uint8_t *pb = nb->offset_ptr(), *eb = pb + nb->used();
    const size_t la = unicode::utf8_length(pa, ea), lb = unicode::utf8_length(pb, eb);
    if (la != lb && (equality || la == 0 || lb == 0)) return la < lb ? -1 : 1;
    const bool fold = op != CompareOp::StrictEqual && op != CompareOp::SortStrict;
    for (size_t i = 0, n = std::min(la, lb); i < n; i++) {
        char32_t ca = next_char(pa, ea), cb = next_char(pb, eb);
        if (fold) {
            ca = case_fold::to_upper(ca);
            cb = case_fold::to_upper(cb);
        }
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return la == lb ? 0 : (la < lb ? -1 : 1);
}

NodeId table() { return g_table; }

void table_init() {
    g_table = 0;
    g_table = hashtable::make(kTableSize, block_cell(), hashtable::Kind::Symbols, 1);
}

namespace {
// The name's bytes and the cached string! of the name.
void mark(const Cell* value) {
    collector::mark_bytes(value->w3);
    collector::mark_bytes(value->w2);
}
}  // namespace

constexpr TypeRecord kRecord{
    .id = TypeId::Symbol,
    .parent = TypeId::Invalid,
    .name = "symbol!",
    .compare = symbol::compare,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::symbol
