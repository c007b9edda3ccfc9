// Unicode codecs and text-buffer widening. The UTF-8 automaton's tables are built at compile
// time from the byte classes and states of the well-formed UTF-8 grammar (RFC 3629), in the
// layout of the classic 364-byte table: 256 byte classes, then 9 states x 12 classes.
#include "runtime/unicode.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "runtime/datatypes/string.h"
#include "runtime/errors.h"

namespace nuv::unicode {

using memory::SeriesBuf;

namespace {

// ---- The UTF-8 automaton ----

// Byte classes: what a byte may be in a well-formed sequence.
enum ByteClass : uint8_t {
    kAscii = 0,
    kCont80 = 1,    // 80..8F
    kLead2 = 2,     // C2..DF
    kLead3 = 3,     // E1..EC, EE..EF
    kLeadED = 4,    // ED: second byte 80..9F (no surrogates)
    kLeadF4 = 5,    // F4: second byte 80..8F (nothing above 10FFFF)
    kLead4 = 6,     // F1..F3
    kContA0 = 7,    // A0..BF
    kInvalid = 8,   // C0, C1, F5..FF
    kCont90 = 9,    // 90..9F
    kLeadE0 = 10,   // E0: second byte A0..BF (no overlong forms)
    kLeadF0 = 11,   // F0: second byte 90..BF (no overlong forms)
};
constexpr int kClasses = 12;

// States are multiples of the class count so that state + class indexes the transitions.
enum State : uint8_t {
    kAccept = 0,
    kReject = 12,
    kNeed1 = 24,        // one continuation byte to go
    kNeed2 = 36,        // two to go
    kNeed2AfterE0 = 48,
    kNeed2AfterED = 60,
    kNeed3AfterF0 = 72,
    kNeed3 = 84,
    kNeed3AfterF4 = 96,
};
constexpr int kStates = 9;

consteval uint8_t class_of(int b) {
    if (b < 0x80) return kAscii;
    if (b < 0x90) return kCont80;
    if (b < 0xA0) return kCont90;
    if (b < 0xC0) return kContA0;
    if (b < 0xC2) return kInvalid;
    if (b < 0xE0) return kLead2;
    if (b == 0xE0) return kLeadE0;
    if (b == 0xED) return kLeadED;
    if (b < 0xF0) return kLead3;
    if (b == 0xF0) return kLeadF0;
    if (b < 0xF4) return kLead4;
    if (b == 0xF4) return kLeadF4;
    return kInvalid;
}

consteval uint8_t transition(int state, int cls) {
    const bool cont = cls == kCont80 || cls == kCont90 || cls == kContA0;
    switch (state) {
    case kAccept:
        switch (cls) {
        case kAscii: return kAccept;
        case kLead2: return kNeed1;
        case kLead3: return kNeed2;
        case kLeadE0: return kNeed2AfterE0;
        case kLeadED: return kNeed2AfterED;
        case kLeadF0: return kNeed3AfterF0;
        case kLead4: return kNeed3;
        case kLeadF4: return kNeed3AfterF4;
        default: return kReject;
        }
    case kNeed1: return cont ? kAccept : kReject;
    case kNeed2: return cont ? kNeed1 : kReject;
    case kNeed2AfterE0: return cls == kContA0 ? kNeed1 : kReject;
    case kNeed2AfterED: return cls == kCont80 || cls == kCont90 ? kNeed1 : kReject;
    case kNeed3AfterF0: return cls == kCont90 || cls == kContA0 ? kNeed2 : kReject;
    case kNeed3: return cont ? kNeed2 : kReject;
    case kNeed3AfterF4: return cls == kCont80 ? kNeed2 : kReject;
    default: return kReject;
    }
}

consteval std::array<uint8_t, 256 + kStates * kClasses> build_utf8_table() {
    std::array<uint8_t, 256 + kStates * kClasses> t{};
    for (int b = 0; b < 256; b++) t[b] = class_of(b);
    for (int s = 0; s < kStates; s++)
        for (int c = 0; c < kClasses; c++) t[256 + s * kClasses + c] = transition(s * kClasses, c);
    return t;
}
constexpr auto kUtf8Table = build_utf8_table();
static_assert(kUtf8Table.size() == 364);
constexpr const uint8_t* kTransitions = kUtf8Table.data() + 256;

// Windows-1251: bytes 0xC0..0xFF are U+0410..U+044F in order; bytes 0x80..0xBF follow the
// published mapping, with the byte it leaves unassigned (0x98) kept as U+0098.
constexpr char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

constexpr size_t round16(size_t n) { return (n + 15) & ~size_t{15}; }

[[noreturn]] void check_unit_fatal() { fatal("invalid text unit", 101); }

inline void put_unit(uint8_t* p, uint32_t unit, char32_t cp) {
    switch (unit) {
    case 1: p[0] = static_cast<uint8_t>(cp); break;
    case 2:
        p[0] = static_cast<uint8_t>(cp);
        p[1] = static_cast<uint8_t>(cp >> 8);
        break;
    case 4: {
        uint32_t v = cp;
        std::memcpy(p, &v, 4);
        break;
    }
    default: check_unit_fatal();
    }
}

// Where a loader reads its bytes: external memory, or a range of a series re-read through its
// node after every allocation.
struct PtrSource {
    const uint8_t* p;
    const uint8_t* get() const { return p; }
};
struct SeriesSource {
    NodeId node;
    size_t start;
    const uint8_t* get() const { return memory::buf(node)->offset_ptr() + start; }
};

// Makes room for one more unit at byte position `w`: grows a full buffer by `growth` bytes.
SeriesBuf* reserve_unit(NodeId node, SeriesBuf* b, size_t w, size_t growth) {
    uint32_t unit = b->unit();
    if (w + unit <= b->size) return b;
    b->tail = w;
    if (growth < 16) growth = 16;
    return memory::expand_series(node, round16(b->size + growth));
}

// Gives a buffer that a loader will fill from its offset room for `units` units of `unit`.
SeriesBuf* prepare_dest(NodeId node, size_t units, uint32_t unit) {
    SeriesBuf* b = memory::buf(node);
    b->tail = b->offset;  // the old content is replaced
    if ((b->size - b->offset) < units * b->unit() || (b->size - b->offset) < units * unit)
        b = memory::expand_series(node, round16(units * (unit > b->unit() ? unit : b->unit())));
    return b;
}

// One sequence at p (available > 0 bytes): its code point and length, or U+FFFD for the
// longest start of a sequence that is malformed or cut by the end (at least one byte), so that
// the byte which broke it begins the next.
char32_t decode_char_lenient(const uint8_t* p, size_t available, size_t* length) {
    uint32_t cls = kUtf8Table[p[0]];
    uint32_t code = (0xFFu >> cls) & p[0];
    uint32_t state = kTransitions[cls];
    size_t k = 1;
    while (state != kAccept && state != kReject && k < available) {
        uint32_t next = kTransitions[state + kUtf8Table[p[k]]];
        if (next == kReject) break;
        code = (code << 6) | (p[k] & 0x3F);
        state = next;
        k++;
    }
    *length = k;
    return state == kAccept ? static_cast<char32_t>(code) : kReplacement;
}

// With `lenient` nothing raises and nothing remains: a bad or cut sequence loads as U+FFFD.
template <class Source>
NodeId load_utf8_from(Source src, size_t length, NodeId dest, size_t* remainder,
                      bool line_breaks, bool lenient = false) {
    SeriesBuf* b;
    if (!dest) {
        dest = memory::alloc_series(length ? length : 1, 1, 0);
        b = memory::buf(dest);
    } else {
        b = prepare_dest(dest, length, 1);
    }
    uint32_t unit = b->unit();
    if (unit != 1 && unit != 2 && unit != 4) check_unit_fatal();
    if (remainder) *remainder = 0;
    size_t w = b->offset;  // write position, bytes from the data start
    const uint8_t* s = src.get();
    size_t i = 0;
    if (length >= 3 && s[0] == 0xEF && s[1] == 0xBB && s[2] == 0xBF) i = 3;
    while (i < length) {
        char32_t cp = s[i];
        size_t seq = 1;
        if (cp < 0x80 && !(cp == '\r' && line_breaks)) {
            // A run of ASCII: no decoding, no widening; one room check for the run.
            size_t run = i + 1;
            while (run < length && s[run] < 0x80 && !(s[run] == '\r' && line_breaks)) run++;
            const size_t n = run - i;
            if (w + n * unit > b->size) {
                const size_t growth = unit == 2 ? length / 4 : length;
                b->tail = w;
                b = memory::expand_series(dest, round16(b->size + std::max(growth, n * unit)));
                w = b->tail;
                s = src.get();
            }
            uint8_t* out = b->data() + w;
            if (unit == 1) {
                std::memcpy(out, s + i, n);
            } else {
                for (size_t k = 0; k < n; k++) put_unit(out + k * unit, unit, s[i + k]);
            }
            w += n * unit;
            i = run;
            continue;
        }
        if (cp >= 0x80 && lenient) {
            cp = decode_char_lenient(s + i, length - i, &seq);
        } else if (cp >= 0x80) {
            seq = length - i;
            int32_t got = utf8_decode_char_checked(s + i, &seq);
            if (got < 0) {
                if (remainder) *remainder = length - i;
                break;
            }
            cp = static_cast<char32_t>(got);
        } else if (cp == '\r' && line_breaks) {
            if (i + 1 < length && s[i + 1] == '\n') {
                i++;
                continue;
            }
            cp = '\n';
        }
        i += seq;
        if (cp > 0xFF && unit_for(cp) > unit) {
            b->tail = w;
            b = widen(dest, unit_for(cp));
            unit = b->unit();
            w = b->tail;
            s = src.get();
        }
        if (w + unit > b->size) {
            b = reserve_unit(dest, b, w, unit == 2 ? length / 4 : length);
            w = b->tail;
            s = src.get();
        }
        put_unit(b->data() + w, unit, cp);
        w += unit;
    }
    b->tail = w;
    return dest;
}

}  // namespace

// ---- UTF-8 ----

// Raises access invalid-utf8 with a binary! of the (up to 4) bytes from p.
void fire_invalid_utf8(const uint8_t* p, size_t available) {
    uint8_t bytes[4];
    size_t n = available < 4 ? available : 4;
    std::memcpy(bytes, p, n);  // p may lie in a buffer that the allocation below moves
    NodeId node = memory::alloc_bytes(n);
    SeriesBuf* b = memory::buf(node);
    std::memcpy(b->data(), bytes, n);
    b->tail = b->offset + n;
    Cell arg{static_cast<uint32_t>(TypeId::Binary), 0, node, 0};
    fire(Err::InvalidUtf8, &arg);
}

const uint8_t* fast_decode_utf8_char(const uint8_t* p, const uint8_t* end, int32_t* cp) {
    uint32_t byte = *p++;
    uint32_t cls = kUtf8Table[byte];
    uint32_t code = (0xFFu >> cls) & byte;
    uint32_t state = kTransitions[cls];
    while (state != kAccept) {
        if (state == kReject || p == end) {
            *cp = -1;
            return p;
        }
        byte = *p++;
        code = (code << 6) | (byte & 0x3F);
        state = kTransitions[state + kUtf8Table[byte]];
    }
    *cp = static_cast<int32_t>(code);
    return p;
}

std::string lenient_utf8(const uint8_t* p, size_t length) {
    std::string out;
    out.reserve(length);
    const uint8_t* const end = p + length;
    while (p < end) {
        size_t seq = 1;
        if (*p >= 0x80 && decode_char_lenient(p, end - p, &seq) == kReplacement) {
            out += "\xEF\xBF\xBD";  // U+FFFD
        } else {
            out.append(reinterpret_cast<const char*>(p), seq);
        }
        p += seq;
    }
    return out;
}

size_t utf8_length(const uint8_t* start, const uint8_t* end) {
    size_t n = 0;
    int32_t cp;
    for (const uint8_t* p = start; p < end; n++)
        p = *p < 0x80 ? p + 1 : fast_decode_utf8_char(p, end, &cp);
    return n;
}

bool utf8_well_formed(const uint8_t* start, const uint8_t* end) {
    int32_t cp = 0;
    for (const uint8_t* p = start; p < end && cp >= 0;)
        p = *p < 0x80 ? p + 1 : fast_decode_utf8_char(p, end, &cp);
    return cp >= 0;
}

const uint8_t* utf8_skip_chars(const uint8_t* start, const uint8_t* end, size_t n) {
    const uint8_t* p = start;
    int32_t cp;
    for (; n > 0 && p < end; n--) p = *p < 0x80 ? p + 1 : fast_decode_utf8_char(p, end, &cp);
    return p;
}

int utf8_lead_length(uint8_t lead) {
    if ((lead & 0xF0) == 0xF0) return 4;
    if ((lead & 0xE0) == 0xE0) return 3;
    if ((lead & 0xC0) == 0xC0) return 2;
    return 0;
}

int utf8_encoded_size(char32_t cp) {
    if (cp <= 0x7F) return 1;
    if (cp <= 0x7FF) return 2;
    if (cp <= 0xFFFF) return 3;
    if (cp <= kMaxCodePoint) return 4;
    fire_int(Err::InvalidChar, static_cast<int32_t>(cp));
}

size_t utf8_size_of_units(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    size_t size = 0;
    switch (unit) {
    case 1:
        for (const uint8_t* p = start; p < end; p++) size += *p < 0x80 ? 1 : 2;
        return size;
    case 2:
    case 4:
        for (const uint8_t* p = start; p < end; p += unit)
            size += utf8_encoded_size(string::get_char(p, unit));
        return size;
    default: check_unit_fatal();
    }
}

int utf8_encode_char(char32_t cp, uint8_t* dest) {
    if (cp <= 0x7F) {
        dest[0] = static_cast<uint8_t>(cp);
        return 1;
    }
    if (cp <= 0x7FF) {
        dest[0] = static_cast<uint8_t>(0xC0 | (cp >> 6));
        dest[1] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp <= 0xFFFF) {
        dest[0] = static_cast<uint8_t>(0xE0 | (cp >> 12));
        dest[1] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        dest[2] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 3;
    }
    if (cp <= kMaxCodePoint) {
        dest[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
        dest[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
        dest[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
        dest[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
        return 4;
    }
    fire_int(Err::InvalidChar, static_cast<int32_t>(cp));
}

int utf8_encode_char_bounded(char32_t cp, uint8_t* dest, size_t room) {
    if (cp > kMaxCodePoint) return 0;
    uint8_t bytes[4];
    int n = utf8_encode_char(cp, bytes);
    int written = 0;
    for (int k = 0; k < n && room > static_cast<size_t>(k); k++) dest[written++] = bytes[k];
    return written;
}

int32_t utf8_decode_char_checked(const uint8_t* p, size_t* length) {
    const size_t available = *length;
    uint32_t byte = p[0];
    if (byte < 0x80) {
        *length = 1;
        return static_cast<int32_t>(byte);
    }
    uint32_t cls = kUtf8Table[byte];
    uint32_t code = (0xFFu >> cls) & byte;
    uint32_t state = kTransitions[cls];
    if (state == kReject) fire_invalid_utf8(p, available);
    size_t k = 1;
    while (state != kAccept) {
        if (k == available) {  // a correct start of a sequence that the input cuts off
            *length = static_cast<size_t>(utf8_lead_length(static_cast<uint8_t>(p[0])));
            return -1;
        }
        byte = p[k++];
        state = kTransitions[state + kUtf8Table[byte]];
        if (state == kReject) fire_invalid_utf8(p, available);
        code = (code << 6) | (byte & 0x3F);
    }
    *length = k;
    return static_cast<int32_t>(code);
}

// ---- Widening ----

SeriesBuf* widen(NodeId node, uint32_t new_unit) {
    SeriesBuf* b = memory::buf(node);
    const uint32_t unit = b->unit();
    if (unit != 1 && unit != 2 && unit != 4) check_unit_fatal();
    if (new_unit != 2 && new_unit != 4) check_unit_fatal();
    if (new_unit <= unit) return b;
    const size_t used = b->used();
    const size_t count = used / unit;
    const size_t needed = count * new_unit + new_unit;  // room for one more unit
    if (b->size - b->offset < needed) b = memory::expand_series(node, round16(needed));
    uint8_t* base = b->offset_ptr();
    for (size_t i = count; i-- > 0;)  // from the back: a unit never overwrites one unread
        put_unit(base + i * new_unit, new_unit, string::get_char(base + i * unit, unit));
    b->tail = b->offset + count * new_unit;
    b->flags = (b->flags & ~memory::kUnitMask) | new_unit;
    return b;
}

// ---- Loading ----

NodeId load_utf8(const uint8_t* src, size_t length, NodeId dest, size_t* remainder,
                 bool line_breaks) {
    return load_utf8_from(PtrSource{src}, length, dest, remainder, line_breaks);
}

NodeId load_utf8_series(NodeId src, size_t start, size_t length, NodeId dest, size_t* remainder,
                        bool line_breaks) {
    return load_utf8_from(SeriesSource{src, start}, length, dest, remainder, line_breaks);
}

NodeId load_utf8_into(const uint8_t* src, size_t length, Cell* text, size_t* remainder) {
    return load_utf8(src, length, cell::node(text), remainder, false);
}

NodeId load_utf8_new(const uint8_t* src, size_t length) {
    return load_utf8(src, length, 0, nullptr, false);
}

NodeId decode_utf8_lenient(const uint8_t* src, size_t length) {
    return load_utf8_from(PtrSource{src}, length, 0, nullptr, false, true);
}

uint32_t utf16_unit_scan(const char16_t* src, size_t units) {
    uint32_t unit = 1;
    for (size_t i = 0; i < units; i++) {
        uint32_t high = static_cast<uint32_t>(src[i]) >> 8;
        if (high >= 0xD8 && high <= 0xDF) return 4;
        if (high) unit = 2;
    }
    return unit;
}

NodeId load_utf16le(const char16_t* src, size_t units, Cell* dest, bool line_breaks) {
    // With no source, the text is in the destination cell's conversion cache: hold its node.
    const NodeId cache = (src || !dest) ? 0 : dest->w3;
    auto source = [&]() -> const char16_t* {
        return cache ? reinterpret_cast<const char16_t*>(memory::buf(cache)->data()) : src;
    };
    if (!src && !cache) units = 0;
    const uint32_t unit = units ? utf16_unit_scan(source(), units) : 1;
    NodeId node;
    SeriesBuf* b;
    if (!dest) {
        node = memory::alloc_series(units, unit, 0);
        b = memory::buf(node);
    } else {
        node = cell::node(dest);
        b = prepare_dest(node, units, unit);
        b->flags = (b->flags & ~memory::kUnitMask) | unit;
    }
    b->flags |= memory::kUtf16Loaded;
    const char16_t* s = source();
    uint8_t* out = b->offset_ptr();
    size_t w = 0;
    for (size_t i = 0; i < units; i++) {
        char32_t cp = s[i];
        if (cp == '\r' && line_breaks) continue;
        if (unit == 4 && cp >= 0xD800 && cp <= 0xDBFF) {
            if (i + 1 < units && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
                cp = (((cp & 0x3FF) << 10) | (s[i + 1] & 0x3FF)) + 0x10000;
                i++;
            } else {
                cp = kReplacement;
            }
        }
        put_unit(out + w, unit, cp);
        w += unit;
    }
    b->tail = b->offset + w;
    return node;
}

char32_t cp1251_to_unicode(uint8_t byte) {
    if (byte < 0x80) return byte;
    if (byte >= 0xC0) return 0x410 + (byte - 0xC0);
    return kCp1251High[byte - 0x80];
}

NodeId load_cp1251(const uint8_t* src, size_t length, Cell* dest, bool line_breaks) {
    NodeId node;
    SeriesBuf* b;
    if (!dest) {
        node = memory::alloc_series(length ? length : 1, 1, 0);
        b = memory::buf(node);
    } else {
        node = cell::node(dest);
        b = prepare_dest(node, length, 1);
    }
    uint32_t unit = b->unit();
    if (unit != 1 && unit != 2 && unit != 4) check_unit_fatal();
    size_t w = b->offset;
    for (size_t i = 0; i < length; i++) {
        char32_t cp = cp1251_to_unicode(src[i]);
        if (cp == '\r' && line_breaks) {
            if (i + 1 < length && src[i + 1] == '\n') continue;
            cp = '\n';
        }
        if (unit_for(cp) > unit) {
            b->tail = w;
            b = widen(node, unit_for(cp));
            unit = b->unit();
            w = b->tail;
        }
        if (w + unit > b->size) {
            b = reserve_unit(node, b, w, unit == 2 ? length / 4 : length);
            w = b->tail;
        }
        put_unit(b->data() + w, unit, cp);
        w += unit;
    }
    b->tail = w;
    return node;
}

// ---- Converting out ----

uint8_t* scratch_buffer_reserve(Cell* text, size_t size) {
    NodeId cache = text->w3;
    if (!cache) {
        cache = memory::alloc_bytes(round16(size ? size : 1));
        text->w3 = cache;  // text is not in a series buffer: it stays where it is
    } else if (memory::buf(cache)->size < size) {
        memory::buf(cache)->tail = memory::buf(cache)->offset;  // nothing to carry over
        memory::expand_series(cache, round16(size));
    }
    SeriesBuf* b = memory::buf(cache);
    b->offset = 0;
    b->tail = 0;
    return b->data();
}

NodeId string_to_utf8_part(Cell* text, int32_t* length, bool line_breaks) {
    int32_t n = string::length(text);
    if (*length >= 0 && *length < n) n = *length;
    uint32_t unit = string::unit_of(text);
    size_t reserve = (unit == 4 ? 4 : unit + 1) * (static_cast<size_t>(n) + 1);
    uint8_t* out = scratch_buffer_reserve(text, reserve);
    const uint8_t* p = string::rs_head(text);  // after the last allocation
    size_t w = 0;
    for (int32_t i = 0; i < n; i++, p += unit) {
        char32_t cp = string::get_char(p, unit);
        if (cp == '\n' && line_breaks) out[w++] = '\r';
        w += static_cast<size_t>(utf8_encode_char(cp, out + w));
    }
    out[w] = 0;
    NodeId cache = text->w3;
    memory::buf(cache)->tail = w;
    *length = static_cast<int32_t>(w);
    return cache;
}

const char* string_to_utf8_ptr(Cell* text, int32_t* length, bool line_breaks) {
    NodeId cache = string_to_utf8_part(text, length, line_breaks);
    return reinterpret_cast<const char*>(memory::buf(cache)->data());
}

const char* string_to_utf8(Cell* text, int32_t* length) {
    return string_to_utf8_ptr(text, length, false);
}

size_t string_write_utf8(const Cell* text, uint8_t* dest, int32_t limit, bool terminate) {
    int32_t n = string::length(text);
    if (limit >= 0 && limit < n) n = limit;
    uint32_t unit = string::unit_of(text);
    const uint8_t* p = string::head_ptr(text);
    size_t w = 0;
    for (int32_t i = 0; i < n; i++, p += unit)
        w += static_cast<size_t>(utf8_encode_char(string::get_char(p, unit), dest + w));
    if (terminate) dest[w] = 0;
    return w;
}

size_t string_write_utf8_bounded(const Cell* text, uint8_t* dest, size_t room, int32_t limit,
                                 bool terminate) {
    int32_t n = string::length(text);
    if (limit > 0 && limit < n) n = limit;
    uint32_t unit = string::unit_of(text);
    const uint8_t* p = string::head_ptr(text);
    size_t w = 0;
    for (int32_t i = 0; i < n; i++, p += unit) {
        int k = utf8_encode_char_bounded(string::get_char(p, unit), dest + w, room);
        w += static_cast<size_t>(k);
        room -= static_cast<size_t>(k);
    }
    if (terminate) dest[w] = 0;
    return w;
}

size_t utf16_extra_size(const uint8_t* start, const uint8_t* end, uint32_t unit) {
    size_t extra = 0;
    for (const uint8_t* p = start; p < end; p += unit) {
        char32_t cp = string::get_char(p, unit);
        if (cp == '\n' || cp > 0xFFFF) extra += 2;
    }
    return extra;
}

const char16_t* string_to_utf16_part(Cell* text, int32_t* count, bool line_breaks) {
    int32_t n = string::length(text);
    if (*count >= 0 && *count < n) n = *count;
    uint32_t unit = string::unit_of(text);
    const uint8_t* head = string::rs_head(text);
    const size_t used = static_cast<size_t>(n) << string::unit_shift(unit);
    size_t extra = utf16_extra_size(head, head + used, unit);
    uint8_t* bytes = scratch_buffer_reserve(text, 2 * static_cast<size_t>(n) + 2 + extra);
    auto* out = reinterpret_cast<char16_t*>(bytes);
    const uint8_t* p = string::rs_head(text);  // after the last allocation
    size_t w = 0;
    for (int32_t i = 0; i < n; i++, p += unit) {
        char32_t cp = string::get_char(p, unit);
        if (cp == '\n' && line_breaks) out[w++] = u'\r';
        if (cp > kMaxCodePoint) return nullptr;
        w += static_cast<size_t>(utf16_encode_char(cp, out + w));
    }
    out[w] = 0;
    memory::buf(text->w3)->tail = 2 * w;
    *count = static_cast<int32_t>(w);
    return out;
}

const char16_t* string_to_utf16(Cell* text) {
    int32_t count = -1;
    return string_to_utf16_part(text, &count, true);
}

void ascii_to_utf16(const char* text, char16_t* dest) {
    while (*text) *dest++ = static_cast<char16_t>(static_cast<uint8_t>(*text++));
    *dest = 0;
}

int utf16_encode_char(char32_t cp, char16_t* dest) {
    if (cp <= 0xFFFF) {
        dest[0] = static_cast<char16_t>(cp);
        return 1;
    }
    if (cp <= kMaxCodePoint) {
        char32_t v = cp - 0x10000;
        dest[0] = static_cast<char16_t>(0xD800 + (v >> 10));
        dest[1] = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        return 2;
    }
    return 0;
}

}  // namespace nuv::unicode
