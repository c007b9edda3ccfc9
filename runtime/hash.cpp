// Hashing: MurmurHash3 (x86, 32-bit) over bytes, folded names and text units, and the hash of a
// value chosen by one table indexed by type id.
#include "runtime/hash.h"

#include <bit>
#include <cmath>
#include <initializer_list>
#include <cstring>

#include "runtime/case_fold.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/vector.h"
#include "runtime/errors.h"
#include "runtime/memory.h"
#include "runtime/types.h"

namespace nuv::hash {

namespace {

uint32_t g_seed = kDefaultSeed;

constexpr uint32_t kC1 = 0xcc9e2d51;
constexpr uint32_t kC2 = 0x1b873593;

inline uint32_t scramble(uint32_t k) {
    k *= kC1;
    k = std::rotl(k, 15);
    return k * kC2;
}
inline uint32_t add_block(uint32_t h, uint32_t k) {
    h ^= scramble(k);
    h = std::rotl(h, 13);
    return h * 5 + 0xe6546b64;
}
inline uint32_t finish(uint32_t h, size_t length) { return mix(h ^ static_cast<uint32_t>(length)); }

inline uint8_t fold_ascii(uint8_t b) { return (b >= 'A' && b <= 'Z') ? (b | 0x20) : b; }

// MurmurHash3 of bytes, each optionally read through the ASCII fold.
template <bool kFold>
uint32_t murmur_bytes(const uint8_t* p, size_t length) {
    auto at = [](uint8_t b) -> uint32_t { return kFold ? fold_ascii(b) : b; };
    uint32_t h = g_seed;
    const size_t blocks = length / 4;
    for (size_t i = 0; i < blocks; i++, p += 4) {
        uint32_t k;
        if constexpr (kFold) {
            k = at(p[0]) | (at(p[1]) << 8) | (at(p[2]) << 16) | (at(p[3]) << 24);
        } else {
            std::memcpy(&k, p, 4);  // the published hash reads little-endian words
        }
        h = add_block(h, k);
    }
    uint32_t k = 0;
    switch (length & 3) {
    case 3: k ^= at(p[2]) << 16; [[fallthrough]];
    case 2: k ^= at(p[1]) << 8; [[fallthrough]];
    case 1:
        k ^= at(p[0]);
        h ^= scramble(k);
    }
    return finish(h, length);
}

// How a type hashes; one row per type id.
enum class Rule : uint8_t {
    Zero, Unset, None, MixW1, MixW2, MixW3, Words12, Words23, Float23, Words123, Tuple, Text,
    Symbol, Word, Binary, Money, Vector, Date
};

struct RuleTable {
    Rule of[kTypeSlots]{};
};

consteval RuleTable make_rules() {
    RuleTable t;
    using T = TypeId;
    auto set = [&t](std::initializer_list<T> ids, Rule r) {
        for (T id : ids) t.of[type_index(id)] = r;
    };
    set({T::Unset}, Rule::Unset);
    set({T::None}, Rule::None);
    set({T::Datatype, T::Logic, T::Object, T::Error, T::Port}, Rule::MixW1);
    set({T::Char, T::Integer, T::Map, T::Handle, T::Event}, Rule::MixW2);
    set({T::Native, T::Action}, Rule::MixW3);
    set({T::Block, T::Paren, T::Path, T::LitPath, T::SetPath, T::GetPath, T::Hash, T::Point2D,
         T::Image},
        Rule::Words12);
    set({T::Pair}, Rule::Words23);
    set({T::Float, T::Percent, T::Time}, Rule::Float23);
    set({T::Op, T::Function, T::Triple, T::Typeset, T::Point3D}, Rule::Words123);
    set({T::Date}, Rule::Date);
    set({T::Tuple}, Rule::Tuple);
    set({T::String, T::File, T::Url, T::Tag, T::Email, T::Ref}, Rule::Text);
    set({T::Symbol}, Rule::Symbol);
    set({T::Word, T::SetWord, T::LitWord, T::GetWord, T::Refinement, T::Issue}, Rule::Word);
    set({T::Binary}, Rule::Binary);
    set({T::Money}, Rule::Money);
    set({T::Vector}, Rule::Vector);
    return t;
}
constexpr RuleTable kRules = make_rules();

struct TypeSet {
    bool has[kTypeSlots]{};
};
consteval TypeSet make_rehash_set() {
    TypeSet s;
    using T = TypeId;
    for (T id : {T::Block, T::Paren, T::Native, T::Action, T::Op, T::Function, T::Path,
                 T::LitPath, T::SetPath, T::GetPath, T::Object, T::Error, T::Hash, T::Map,
                 T::Port, T::Image, T::Vector, T::Event})
        s.has[type_index(id)] = true;
    return s;
}
constexpr TypeSet kRehashTypes = make_rehash_set();

constexpr uint32_t kTupleLengthShift = 19;
constexpr uint32_t kTupleLengthMask = 0xF;

}  // namespace

void set_seed(uint32_t seed) { g_seed = seed ? seed : kDefaultSeed; }
uint32_t seed() { return g_seed; }

uint32_t murmur3(const void* data, size_t length) {
    return murmur_bytes<false>(static_cast<const uint8_t*>(data), length);
}

uint32_t name(const uint8_t* text, size_t length) { return murmur_bytes<true>(text, length); }

uint32_t string(const Cell* text, bool case_sensitive, int32_t count) {
    int32_t n = ::nuv::string::length(text);
    if (count >= 0 && count < n) n = count;
    const uint32_t unit = ::nuv::string::unit_of(text);
    const uint8_t* p = ::nuv::string::head_ptr(text);
    uint32_t h = g_seed;
    for (int32_t i = 0; i < n; i++, p += unit) {
        char32_t cp = ::nuv::string::get_char(p, unit);
        if (!case_sensitive) cp = case_fold::to_upper(cp);
        h = add_block(h, static_cast<uint32_t>(cp));
    }
    return finish(h, 4 * static_cast<size_t>(n));
}

uint32_t next_power_of_2(uint32_t n) {
    if (n <= 1) return 1;
    if (n > 0x80000000u) return 0x80000000u;
    return std::bit_ceil(n);
}

uint32_t symbol(const Cell* entry) {
    memory::SeriesBuf* b = memory::buf(entry->w3);
    return name(b->offset_ptr(), b->used());
}

bool needs_rehash_type(const Cell* value) {
    return kRehashTypes.has[value->header & cell::kTypeMask];
}

uint32_t value(const Cell* v, bool case_sensitive) {
    const uint32_t t = v->header & cell::kTypeMask;
    const Rule rule = t < static_cast<uint32_t>(kTypeSlots) ? kRules.of[t] : Rule::Zero;
    switch (rule) {
    case Rule::Zero: return 0;
    case Rule::Unset: return static_cast<uint32_t>(-2);
    case Rule::None: return static_cast<uint32_t>(-1);
    case Rule::MixW1: return mix(v->w1);
    case Rule::MixW2: return mix(v->w2);
    case Rule::MixW3: return mix(v->w3);
    case Rule::Words12: return murmur3(&v->w1, 8);
    case Rule::Words23: return murmur3(&v->w2, 8);
    case Rule::Float23: {
        // -0.0 equals 0.0, so both must land in one bucket.
        Cell c = *v;
        if (cell::get_double(&c) == 0.0) cell::set_double(&c, 0.0);
        return murmur3(&c.w2, 8);
    }
    case Rule::Words123: return murmur3(&v->w1, 12);
    case Rule::Date: {
        // By instant, so one moment written in two zones lands in one bucket.
        const int64_t seconds = static_cast<int64_t>(std::floor(date::instant(v)));
        return murmur3(&seconds, sizeof seconds);
    }
    case Rule::Tuple: {
        // Trailing zero bytes are left out: 1.2.3 equals 1.2.3.0, so both must land in one
        // bucket.
        uint32_t n = (v->header >> kTupleLengthShift) & kTupleLengthMask;
        if (n > 12) n = 12;
        const auto* bytes = reinterpret_cast<const uint8_t*>(&v->w1);
        while (n > 0 && bytes[n - 1] == 0) n--;
        return murmur3(&v->w1, n);
    }
    case Rule::Text: return string(v, case_sensitive);
    case Rule::Symbol: return symbol(v);
    case Rule::Word: return mix(::nuv::symbol::resolve(v->w2));
    case Rule::Binary: {
        memory::SeriesBuf* b = memory::buf(cell::node(v));
        size_t head = static_cast<size_t>(cell::head(v) < 0 ? 0 : cell::head(v));
        size_t used = b->used();
        if (head > used) head = used;
        return murmur3(b->offset_ptr() + head, used - head);
    }
    case Rule::Money: return money::hash(v);
    case Rule::Vector: {
        // By element values, as vectors compare: sizes aside, -0.0 as 0.0.
        const int32_t n = ::nuv::vector::length(v);
        const TypeId elem = ::nuv::vector::elem_type(v);
        memory::SeriesBuf* b = memory::buf(cell::node(v));
        const uint32_t unit = b->unit();
        const int32_t start = static_cast<int32_t>(b->used() / unit) - n;
        const uint8_t* p = b->offset_ptr() + static_cast<size_t>(start) * unit;
        uint32_t h = g_seed;
        for (int32_t i = 0; i < n; i++, p += unit) {
            Cell e;
            ::nuv::vector::read_elem(p, unit, elem, &e);
            if (elem == TypeId::Float || elem == TypeId::Percent) {
                const double d = cell::get_double(&e) + 0.0;
                uint64_t bits;
                std::memcpy(&bits, &d, 8);
                h = add_block(add_block(h, static_cast<uint32_t>(bits)),
                              static_cast<uint32_t>(bits >> 32));
            } else {
                h = add_block(h, static_cast<uint32_t>(cell::get_int(&e)));
            }
        }
        return finish(h, 8 * static_cast<size_t>(n));
    }
    }
    return 0;
}

}  // namespace nuv::hash
