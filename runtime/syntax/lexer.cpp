// The lexer's runs: the driver that walks tokens, keeps open blocks, parens, maps, paths and
// points as marker cells in the shared value buffer, and calls each kind's loader. A run is
// one record on the C++ stack, chained to the runs it nests in so the collector can find the
// values they hold. Loaders read token bytes from the run's stable text and return a failure
// code; the run turns it into the syntax error (or, in scan modes, into error!).
#include "runtime/syntax/lexer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "runtime/collector.h"
#include "runtime/datatypes/base_codecs.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/text_kin.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/float_text.h"
#include "runtime/memory.h"
#include "runtime/number_scan.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/unicode.h"
#include "runtime/syntax/date_scan.h"

namespace nuv::lexer {

namespace {

using tables::ByteClass;
using tables::kClassTable;
using tables::kTransitions;

// Token flags (upper bits of a class table entry).
constexpr uint32_t kFlagCont = 0x00000100;
constexpr uint32_t kFlagCaret = 0x20000000;
constexpr uint32_t kFlagLead3 = 0x40000000;
constexpr uint32_t kFlagLead4 = 0x80000000;
constexpr uint32_t kFlagsNonAscii = kFlagCont | kFlagLead3 | kFlagLead4;

// Automaton states the driver names (the rest only the tables know).
constexpr int kQuotedFileState = 8;    // inside %"..."
constexpr int kRawStringState = 10;    // inside a raw string's braces
constexpr int kHexWordState = 41;      // letters A-F and digits ending in "h"
constexpr int kHexDigitsState = 42;    // digits ending in "h"
constexpr int kLastSegmentState = 64;  // states 59-64 scan path segments

constexpr size_t kNone = ~size_t{0};
constexpr size_t kInitialCells = 1000;
constexpr size_t kUtf8Room = 100000;
constexpr size_t kErrorTextBytes = 30;

inline int class_of(uint8_t b) { return static_cast<int>(kClassTable[b] & 0xFF); }
inline bool is_digit(uint8_t b) { return b >= '0' && b <= '9'; }
inline bool is_upper_hex(uint8_t b) { return is_digit(b) || (b >= 'A' && b <= 'F'); }
inline int hex_value(uint8_t b) {
    if (is_digit(b)) return b - '0';
    if (b >= 'A' && b <= 'F') return b - 'A' + 10;
    if (b >= 'a' && b <= 'f') return b - 'a' + 10;
    return -1;
}
inline uint8_t lower(uint8_t b) {
    return (b >= 'A' && b <= 'Z') ? static_cast<uint8_t>(b | 0x20) : b;
}

// Case-insensitive ASCII comparison of n bytes.
bool same_letters(const uint8_t* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (lower(a[i]) != lower(static_cast<uint8_t>(b[i]))) return false;
    return true;
}

// Terminal states whose token includes the byte that ended it.
struct TerminalTable {
    bool includes_end[kStateCount]{};
};
consteval TerminalTable make_terminals() {
    TerminalTable t;
    for (Kind k : {Kind::BlockOpen, Kind::BlockClose, Kind::ParenOpen, Kind::ParenClose,
                   Kind::BraceOpen, Kind::BraceClose, Kind::MapOpen, Kind::Construct, Kind::Comma,
                   Kind::String, Kind::Char, Kind::Binary, Kind::Percent, Kind::Point, Kind::Tag})
        t.includes_end[static_cast<int>(k)] = true;
    return t;
}
constexpr TerminalTable kTerminals = make_terminals();

// The types reported for the structural terminals 66-78: items 0-12 of the exit-state list.
struct ExitTypes {
    TypeId types[system_object::kLexerExitItems];
};

// The type a token of the terminal state reports: its own, or the exit-state list's.
TypeId reported_type(int state, const ExitTypes& exits) {
    TypeId t = state_type(state);
    if (t != TypeId::Invalid) return t;
    const int item = state - kFirstTerminal;
    return item >= 0 && item < system_object::kLexerExitItems ? exits.types[item] : TypeId::Invalid;
}

// The non-ASCII code points that separate tokens like blanks.
constexpr char32_t kUnicodeSpaces[] = {0x85,   0xA0,   0x1680, 0x2000, 0x2001, 0x2002, 0x2003,
                                       0x2004, 0x2005, 0x2006, 0x2007, 0x2008, 0x2009, 0x200A,
                                       0x2028, 0x2029, 0x202F, 0x205F, 0x3000, 0x180E, 0x200B};
static_assert(std::size(kUnicodeSpaces) == 21);
bool is_unicode_space(int32_t cp) {
    for (char32_t s : kUnicodeSpaces)
        if (static_cast<int32_t>(s) == cp) return true;
    return false;
}

// The first non-ASCII space in the bytes: its offset and the offset after it.
bool find_unicode_space(const uint8_t* p, size_t n, size_t* at, size_t* after) {
    const uint8_t* end = p + n;
    for (const uint8_t* q = p; q < end;) {
        if (*q < 0x80) {
            q++;
            continue;
        }
        int32_t cp;
        const uint8_t* next = unicode::fast_decode_utf8_char(q, end, &cp);
        if (is_unicode_space(cp)) {
            *at = static_cast<size_t>(q - p);
            *after = static_cast<size_t>(next - p);
            return true;
        }
        q = next;
    }
    return false;
}

bool valid_utf8(const uint8_t* p, size_t n) { return unicode::utf8_well_formed(p, p + n); }

// ---- Shared buffers ----

struct ValueBuffer {
    Cell* cells = nullptr;
    size_t capacity = 0;
    size_t top = 0;
};
ValueBuffer g_values;

struct Utf8Buffer {
    uint8_t* bytes = nullptr;
    size_t capacity = 0;
    size_t used = 0;
};
Utf8Buffer g_utf8;

void ensure_init() {
    if (!g_values.cells) init();
}

size_t push_cell(const Cell& c) {
    if (g_values.top == g_values.capacity) {
        size_t grown = g_values.capacity * 2;
        auto* cells = static_cast<Cell*>(memory::tracked_alloc(grown * sizeof(Cell)));
        std::memcpy(cells, g_values.cells, g_values.top * sizeof(Cell));
        memory::tracked_free(g_values.cells);
        g_values.cells = cells;
        g_values.capacity = grown;
    }
    g_values.cells[g_values.top] = c;
    return g_values.top++;
}

// Room for a run's text: the shared UTF-8 buffer after the runs that hold it, or a buffer of
// its own when that lacks room. Given back (last taken, first given) when the run ends.
class TextRoom {
  public:
    explicit TextRoom(size_t size) : size_(size) {
        ensure_init();
        if (g_utf8.capacity - g_utf8.used >= size) {
            bytes_ = g_utf8.bytes + g_utf8.used;
            g_utf8.used += size;
        } else {
            own_ = std::make_unique<uint8_t[]>(size);
            bytes_ = own_.get();
        }
    }
    ~TextRoom() {
        if (!own_) g_utf8.used -= size_;
    }
    TextRoom(const TextRoom&) = delete;
    TextRoom& operator=(const TextRoom&) = delete;
    uint8_t* bytes() const { return bytes_; }

  private:
    size_t size_;
    uint8_t* bytes_ = nullptr;
    std::unique_ptr<uint8_t[]> own_;
};

// ---- Text decoding of strings, chars and quoted files ----

struct TextShape {
    size_t count = 0;   // code points
    uint32_t unit = 1;  // the unit the text is stored with
};

// The "^(...)" forms after the "(": the code and the unit it asks for; the bytes read
// (through the ")"), or 0 when the form is invalid.
size_t decode_paren_escape(const uint8_t* p, const uint8_t* end, char32_t* cp, uint32_t* unit) {
    size_t room = static_cast<size_t>(end - p);
    // One or two hexadecimal digits.
    for (size_t n = 1; n <= 2 && n < room; n++) {
        if (hex_value(p[n - 1]) < 0) break;
        if (p[n] == ')') {
            *cp = 0;
            for (size_t i = 0; i < n; i++) *cp = *cp * 16 + static_cast<char32_t>(hex_value(p[i]));
            *unit = 1;
            return n + 1;
        }
    }
    struct Named {
        const char* name;
        char32_t code;
    };
    static constexpr Named kNames[] = {{"null", 0},  {"back", 8}, {"tab", 9},  {"line", 10},
                                       {"page", 12}, {"esc", 27}, {"del", 127}};
    for (const Named& n : kNames) {
        size_t len = std::strlen(n.name);
        if (len < room && same_letters(p, n.name, len) && p[len] == ')') {
            *cp = n.code;
            *unit = 1;
            return len + 1;
        }
    }
    char32_t value = 0;
    size_t n = 0;
    while (n < room && n < 7 && hex_value(p[n]) >= 0)
        value = value * 16 + static_cast<char32_t>(hex_value(p[n++]));
    if (n == 0 || n > 6 || n >= room || p[n] != ')' || value > unicode::kMaxCodePoint) return 0;
    *cp = value;
    *unit = n >= 5 ? 4 : n >= 3 ? 2 : 1;
    return n + 1;
}

// The code of "^" followed by the ASCII byte c (other than "(").
char32_t caret_code(uint8_t c) {
    switch (c) {
    case '/': return 10;
    case '-': return 9;
    case '~': return 127;
    case '@': return 0;
    case '[': return 27;
    case '\\': return 28;
    case ']': return 29;
    case '_': return 31;
    default:
        if (c >= 'a' && c <= 'z') return static_cast<char32_t>(c - 'a' + 1);
        if (c >= 'A' && c <= 'Z') return static_cast<char32_t>(c - 'A' + 1);
        return c;  // "^", the double quote, the braces and the rest stand for themselves
    }
}

// Walks UTF-8 text with (or without) "^" escapes. With `out` the code points are stored there
// in `shape.unit`; without, the shape is measured. False for a malformed sequence or escape.
bool decode_text(const uint8_t* p, const uint8_t* end, bool escapes, TextShape* shape,
                 uint8_t* out) {
    size_t count = 0;
    uint32_t unit = shape->unit;
    while (p < end) {
        char32_t c;
        if (*p == '^' && escapes) {
            if (++p == end) return false;
            if (*p == '(') {
                uint32_t wants = 1;
                size_t used = decode_paren_escape(p + 1, end, &c, &wants);
                if (!used) return false;
                p += 1 + used;
                unit = std::max(unit, wants);
            } else if (*p < 0x80) {
                c = caret_code(*p++);
            } else {
                int32_t cp;
                p = unicode::fast_decode_utf8_char(p, end, &cp);
                if (cp < 0) return false;
                c = static_cast<char32_t>(cp);
            }
        } else if (*p < 0x80) {
            c = *p++;
        } else {
            int32_t cp;
            p = unicode::fast_decode_utf8_char(p, end, &cp);
            if (cp < 0) return false;
            c = static_cast<char32_t>(cp);
        }
        if (out) {
            string::put_char(out, shape->unit, c);
            out += shape->unit;
        }
        count++;
    }
    if (!out) {
        shape->count = count;
        shape->unit = unit;
    }
    return true;
}

// The unit the token's raw characters need, from its flags.
uint32_t unit_from_flags(uint32_t flags) {
    if (flags & kFlagLead4) return 4;
    if (flags & kFlagLead3) return 2;
    return 1;
}

// A string! (or another text type) holding the decoded text; nullptr out: check only.
bool make_text(const uint8_t* p, const uint8_t* end, uint32_t flags, bool escapes, TypeId type,
               Cell* out) {
    const size_t n = static_cast<size_t>(end - p);
    const bool plain = !(flags & (kFlagsNonAscii | (escapes ? kFlagCaret : 0)));
    TextShape shape;
    shape.unit = unit_from_flags(flags);
    if (plain) {
        shape.count = n;
    } else if (!decode_text(p, end, escapes, &shape, nullptr)) {
        return false;
    }
    if (!out) return true;
    Cell text;
    string::make_at_unit(&text, shape.count, shape.unit);
    memory::SeriesBuf* b = memory::buf_of(&text);
    if (plain) std::memcpy(b->offset_ptr(), p, n);
    else decode_text(p, end, escapes, &shape, b->offset_ptr());
    b->tail = b->offset + shape.count * shape.unit;
    cell::set_type(&text, type);
    *out = text;
    return true;
}

// A string! of the text shown in an error report: at most `limit` bytes (a character that
// straddles the limit kept whole), stopping at a line feed; undecodable bytes show as U+FFFD.
void report_text(const uint8_t* p, const uint8_t* end, size_t limit, Cell* out) {
    char32_t chars[64];
    size_t n = 0;
    uint32_t unit = 1;
    const uint8_t* start = p;
    while (p < end && *p != '\n' && static_cast<size_t>(p - start) < limit &&
           n < std::size(chars)) {
        int32_t cp = *p;
        if (*p < 0x80) p++;
        else p = unicode::fast_decode_utf8_char(p, end, &cp);
        if (cp < 0) cp = static_cast<int32_t>(unicode::kReplacement);
        chars[n++] = static_cast<char32_t>(cp);
        unit = std::max(unit, unicode::unit_for(static_cast<char32_t>(cp)));
    }
    string::make_at_unit(out, n, unit);
    memory::SeriesBuf* b = memory::buf_of(out);
    for (size_t i = 0; i < n; i++) string::put_char(b->offset_ptr() + i * unit, unit, chars[i]);
    b->tail = b->offset + n * unit;
}

void ascii_text(const char* text, Cell* out) {
    report_text(reinterpret_cast<const uint8_t*>(text),
                reinterpret_cast<const uint8_t*>(text) + std::strlen(text), 64, out);
}

// ---- Words ----

// Recently loaded spellings with their symbols and global slots, so a word met again skips the
// symbol table and the global context. Both only ever grow (ids and slots never change), so an
// entry stays right until the runtime is made again (init clears the cache).
struct CachedWord {
    uint32_t hash;
    uint8_t length;
    uint8_t bytes[19];
    SymId sym;
    uint32_t slot;
};
static_assert(sizeof(CachedWord) == 32);
constexpr size_t kWordCacheSize = 4096;
// Zeroed by calloc, which takes a block this large fresh from the system without writing it: a
// start-up that meets few words touches few of its pages.
struct FreeCache {
    void operator()(CachedWord* p) const { std::free(p); }
};
std::unique_ptr<CachedWord[], FreeCache> g_word_cache;

uint32_t spelling_hash(const uint8_t* p, size_t n) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < n; i++) h = (h ^ p[i]) * 16777619u;
    return h;
}

// The word of the spelling, bound to the global context (appended there when absent).
void make_word(const uint8_t* p, size_t n, TypeId type, Cell* out) {
    if (n > sizeof(CachedWord::bytes)) {
        word::make_at(symbol::make_utf8(p, n), out, type);
        return;
    }
    const uint32_t h = spelling_hash(p, n);
    CachedWord& c = g_word_cache[h & (kWordCacheSize - 1)];
    if (c.hash == h && c.length == n && c.sym && std::memcmp(c.bytes, p, n) == 0) {
        *out = Cell{static_cast<uint32_t>(type), context::global(), c.sym, c.slot};
        return;
    }
    word::make_at(symbol::make_utf8(p, n), out, type);
    c.hash = h;
    c.length = static_cast<uint8_t>(n);
    std::memcpy(c.bytes, p, n);
    c.sym = out->w2;
    c.slot = out->w3;
}

// ---- Loaders ----

// What a loader answers: accepted, or why not. `type` is the datatype an invalid token is
// reported as when it differs from the token's own.
enum class Fail : uint8_t { None, Invalid, NotDone, Malconstruct };
struct Token {
    const uint8_t* p;
    size_t n;
    uint32_t flags;
    Kind kind;
    TypeId type;  // reported in errors; a loader may refine it
};

Fail load_word(Token& t, Cell* out) {
    const uint8_t* p = t.p;
    size_t n = t.n;
    TypeId type = TypeId::Word;
    if (n > 1 && p[0] == '\'') {
        type = TypeId::LitWord;
        p++, n--;
    } else if (n > 1 && p[0] == ':') {
        type = TypeId::GetWord;
        p++, n--;
    }
    if (n > 1 && p[n - 1] == ':') {
        if (type != TypeId::Word) {
            t.type = type;
            return Fail::Invalid;
        }
        type = TypeId::SetWord;
        n--;
    }
    t.type = type;
    if ((t.flags & kFlagsNonAscii) && !valid_utf8(p, n)) return Fail::Invalid;
    if (out) make_word(p, n, type, out);
    return Fail::None;
}

Fail load_refinement(Token& t, Cell* out) {
    if (t.n < 2 || ((t.flags & kFlagsNonAscii) && !valid_utf8(t.p + 1, t.n - 1)))
        return Fail::Invalid;
    if (out) make_word(t.p + 1, t.n - 1, TypeId::Refinement, out);
    return Fail::None;
}

Fail load_issue(Token& t, Cell* out) {
    if (t.n < 2 || ((t.flags & kFlagsNonAscii) && !valid_utf8(t.p + 1, t.n - 1)))
        return Fail::Invalid;
    if (out) {
        SymId sym = symbol::make_utf8(t.p + 1, t.n - 1);
        *out = Cell{static_cast<uint32_t>(TypeId::Issue), context::global(), sym, word::kNoIndex};
    }
    return Fail::None;
}

// Number text without its "'" separators, NUL-terminated, for the float conversion.
struct NumberText {
    char text[number_scan::kMaxFloatText + 1];
    size_t n = 0;
};
bool number_text(const uint8_t* p, size_t n, NumberText* out) {
    if (n > number_scan::kMaxFloatText ||
        !number_scan::float_syntax_check(reinterpret_cast<const char*>(p), n))
        return false;
    for (size_t i = 0; i < n; i++)
        if (p[i] != '\'') out->text[out->n++] = static_cast<char>(p[i]);
    out->text[out->n] = 0;
    return true;
}

Fail load_float_as(Token& t, const uint8_t* p, size_t n, TypeId type, int exponent, Cell* out) {
    NumberText number;
    if (!number_text(p, n, &number)) {
        t.type = type;
        return Fail::Invalid;
    }
    if (out)
        floating::set_typed(
            out, type, float_text::decimal_to_float(number.text, number.text + number.n, exponent));
    return Fail::None;
}

Fail load_integer(Token& t, Cell* out) {
    const uint8_t* p = t.p;
    size_t i = 0;
    bool negative = false;
    if (t.n > 0 && (p[0] == '+' || p[0] == '-')) negative = p[i++] == '-';
    int digits = 0;
    int64_t value = 0;
    bool quote_before = true;  // no separator may start the digits or follow another
    for (; i < t.n; i++) {
        if (p[i] == '\'') {
            if (quote_before) return Fail::Invalid;
            quote_before = true;
            continue;
        }
        if (!is_digit(p[i])) return Fail::Invalid;
        quote_before = false;
        if (++digits <= 10) value = value * 10 + (p[i] - '0');
    }
    if (digits == 0) return Fail::Invalid;
    if (negative) value = -value;
    if (digits > 10 || value > INT32_MAX || value < INT32_MIN)
        return load_float_as(t, t.p, t.n, TypeId::Float, 0, out);
    if (out) integer::set(out, static_cast<int32_t>(value));
    return Fail::None;
}

Fail load_hex(Token& t, Cell* out) {
    const size_t digits = t.n - 1;  // the token ends with "h"
    bool shape = digits >= 2 && digits <= 8;
    for (size_t i = 0; i < digits && shape; i++) shape = is_upper_hex(t.p[i]);
    if (!shape) {
        if (digits == 1 && t.p[0] >= 'A' && t.p[0] <= 'F') t.type = TypeId::Word;
        return Fail::Invalid;
    }
    uint32_t value = 0;
    for (size_t i = 0; i < digits; i++)
        value = value * 16 + static_cast<uint32_t>(hex_value(t.p[i]));
    if (out) integer::set(out, static_cast<int32_t>(value));
    return Fail::None;
}

Fail load_float(Token& t, Cell* out) { return load_float_as(t, t.p, t.n, TypeId::Float, 0, out); }

Fail load_percent(Token& t, Cell* out) {
    return load_float_as(t, t.p, t.n - 1, TypeId::Percent, -2, out);
}

// An optional sign, "1.#", then NAN or INF in any case (letters after them not examined).
Fail load_special_float(Token& t, Cell* out) {
    const uint8_t* p = t.p;
    size_t n = t.n;
    bool negative = false;
    if (n > 0 && (p[0] == '+' || p[0] == '-')) {
        negative = p[0] == '-';
        p++, n--;
    }
    if (n < 6 || p[0] != '1' || p[1] != '.' || p[2] != '#') return Fail::Invalid;
    double value;
    if (same_letters(p + 3, "nan", 3)) value = floating::kQuietNaN;
    else if (same_letters(p + 3, "inf", 3))
        value = negative ? -floating::kInfinity : floating::kInfinity;
    else return Fail::Invalid;
    if (out) floating::set(out, value);
    return Fail::None;
}

// [sign] hours ":" minutes [":" seconds] or [sign] minutes ":" seconds "." fraction.
Fail load_time(Token& t, Cell* out) {
    const uint8_t* p = t.p;
    const uint8_t* end = t.p + t.n;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) negative = *p++ == '-';
    const uint8_t* fields[3];
    size_t lengths[3];
    int count = 0;
    for (const uint8_t* f = p; f <= end; count++) {
        if (count == 3) return Fail::Invalid;
        const uint8_t* q = f;
        while (q < end && *q != ':') q++;
        fields[count] = f;
        lengths[count] = static_cast<size_t>(q - f);
        if (lengths[count] == 0) return Fail::Invalid;
        f = q + 1;
    }
    if (count < 2) return Fail::Invalid;
    // Only the last field may hold a fraction; every other character is a digit.
    for (int i = 0; i < count; i++) {
        int dots = 0;
        for (size_t k = 0; k < lengths[i]; k++) {
            uint8_t c = fields[i][k];
            if (c == '.' && i == count - 1 && k > 0 && ++dots == 1) continue;
            if (!is_digit(c)) return Fail::Invalid;
        }
    }
    auto whole = [](const uint8_t* f, size_t n) {
        double v = 0;
        for (size_t k = 0; k < n; k++) v = v * 10 + (f[k] - '0');
        return v;
    };
    const bool fraction = std::memchr(fields[count - 1], '.', lengths[count - 1]) != nullptr;
    double hours = 0, minutes, seconds = 0;
    if (count == 3) {
        hours = whole(fields[0], lengths[0]);
        minutes = whole(fields[1], lengths[1]);
    } else if (fraction) {
        minutes = whole(fields[0], lengths[0]);
    } else {
        hours = whole(fields[0], lengths[0]);
        minutes = whole(fields[1], lengths[1]);
    }
    if (count == 3 || fraction) {
        const char* s = reinterpret_cast<const char*>(fields[count - 1]);
        seconds = float_text::decimal_to_float(s, s + lengths[count - 1]);
    }
    double total = hours * 3600.0 + minutes * 60.0 + seconds;
    if (out) floating::set_typed(out, TypeId::Time, negative ? -total : total);
    return Fail::None;
}

Fail load_char(Token& t, Cell* out) {
    // #"x": the text between the quotes is one character or one escape.
    const uint8_t* p = t.p + 2;
    const uint8_t* end = t.p + t.n - 1;
    TextShape shape;
    if (!decode_text(p, end, true, &shape, nullptr) || shape.count != 1) return Fail::Invalid;
    if (out) {
        uint8_t unit4[4];
        shape.unit = 4;
        decode_text(p, end, true, &shape, unit4);
        character::set(out, string::get_char(unit4, 4));
    }
    return Fail::None;
}

Fail load_quoted(Token& t, Cell* out) {
    return make_text(t.p + 1, t.p + t.n - 1, t.flags, true, TypeId::String, out) ? Fail::None
                                                                                 : Fail::Invalid;
}

// "#(" keyword or datatype name ")".
Fail load_construct(Token& t, Cell* out) {
    const uint8_t* p = t.p + 2;
    const uint8_t* end = t.p + t.n - 1;
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n')) p++;
    while (end > p && (end[-1] == ' ' || end[-1] == '\t' || end[-1] == '\r' || end[-1] == '\n'))
        end--;
    const size_t n = static_cast<size_t>(end - p);
    if (n == 0) return Fail::Malconstruct;
    struct Keyword {
        const char* name;
        TypeId type;
        bool truth;
    };
    static constexpr Keyword kKeywords[] = {{"true", TypeId::Logic, true},
                                            {"false", TypeId::Logic, false},
                                            {"none", TypeId::None, false},
                                            {"unset", TypeId::Unset, false}};
    for (const Keyword& k : kKeywords) {
        if (std::strlen(k.name) != n || !same_letters(p, k.name, n)) continue;
        if (out) {
            *out = Cell{};
            if (k.type == TypeId::Logic) logic::set(out, k.truth);
            else if (k.type == TypeId::None) none::set(out);
            else unset::set(out);
        }
        return Fail::None;
    }
    for (int id = 1; id <= kTypeCount; id++) {
        const char* name = type_name(static_cast<TypeId>(id));
        if (std::strlen(name) < n || !same_letters(p, name, n)) continue;
        if (out) datatype::set(out, static_cast<TypeId>(id));
        return Fail::None;
    }
    return Fail::Malconstruct;
}

// "%{" text "}%" with as many "%" around as needed; the run has matched the two runs.
Fail load_raw_string(Token& t, Cell* out) {
    size_t open = 0;
    while (open < t.n && t.p[open] == '%') open++;
    const uint8_t* p = t.p + open + 1;
    const uint8_t* end = t.p + t.n - open - 1;
    return make_text(p, end, t.flags, false, TypeId::String, out) ? Fail::None : Fail::Invalid;
}

// [base] "#{" digits "}": base 16 without a prefix, else 2, 16 or 64 written before the "#". In
// base 64 the last group must be padded.
Fail load_binary(Token& t, Cell* out) {
    const uint8_t* hash = static_cast<const uint8_t*>(std::memchr(t.p, '#', t.n));
    const size_t prefix = static_cast<size_t>(hash - t.p);
    int32_t base = 16;
    if (prefix > 0) {
        const std::string_view written(reinterpret_cast<const char*>(t.p), prefix);
        if (written == "2") base = 2;
        else if (written == "64") base = 64;
        else if (written != "16") return Fail::Invalid;
    }
    const uint8_t* digits = hash + 2;
    const size_t count = t.n - prefix - 3;
    const size_t room = std::max<size_t>(base_codecs::decoded_room(base, count), 1);
    Cell bytes;
    std::unique_ptr<uint8_t[]> checked;
    uint8_t* into;
    if (out) {
        binary::make_at(&bytes, room);
        into = memory::buf_of(&bytes)->offset_ptr();
    } else {
        checked = std::make_unique<uint8_t[]>(room);
        into = checked.get();
    }
    const int64_t n =
        base_codecs::decode_in(base, digits, count, 1, into, base_codecs::Tail::Refused);
    if (n == base_codecs::kInvalid) return Fail::Invalid;
    if (out) {
        memory::buf_of(&bytes)->tail += static_cast<size_t>(n);
        *out = bytes;
    }
    return Fail::None;
}

// Numbers 0-255 separated by single dots, 3 to 12 of them; a trailing dot adds a 0.
Fail load_tuple(Token& t, Cell* out) {
    int32_t parts[tuple::kMaxSize];
    int32_t count = 0;
    for (size_t i = 0; i < t.n;) {
        if (count == tuple::kMaxSize || !is_digit(t.p[i])) return Fail::Invalid;
        int32_t v = 0;
        for (; i < t.n && is_digit(t.p[i]); i++) {
            v = v * 10 + (t.p[i] - '0');
            if (v > 255) return Fail::Invalid;
        }
        parts[count++] = v;
        if (i < t.n && t.p[i++] != '.') return Fail::Invalid;
        if (i == t.n && t.p[i - 1] == '.') {
            if (count == tuple::kMaxSize) return Fail::Invalid;
            parts[count++] = 0;
        }
    }
    if (count < tuple::kMinSize) return Fail::Invalid;
    if (out) tuple::set_list(out, count, parts);
    return Fail::None;
}

// An optional sign and digits with "'" separators (none first, none doubled) that fit in 32
// bits.
bool scan_int32(const uint8_t* p, size_t n, int32_t* value) {
    size_t i = 0;
    bool negative = false;
    if (n > 0 && (p[0] == '+' || p[0] == '-')) negative = p[i++] == '-';
    int64_t v = 0;
    bool quote_before = true;
    int digits = 0;
    for (; i < n; i++) {
        if (p[i] == '\'') {
            if (quote_before) return false;
            quote_before = true;
            continue;
        }
        if (!is_digit(p[i])) return false;
        quote_before = false;
        digits++;
        v = v * 10 + (p[i] - '0');
        if (v > int64_t{INT32_MAX} + 1) return false;
    }
    if (digits == 0 || quote_before) return false;
    if (negative) v = -v;
    if (v > INT32_MAX || v < INT32_MIN) return false;
    *value = static_cast<int32_t>(v);
    return true;
}

// Two integers joined by "x" or "X".
Fail load_pair(Token& t, Cell* out) {
    const uint8_t* x = t.p;
    const uint8_t* end = t.p + t.n;
    const uint8_t* sep = x + 1;  // a sign may come first
    while (sep < end && *sep != 'x' && *sep != 'X') sep++;
    int32_t a, b;
    if (sep == end || !scan_int32(x, static_cast<size_t>(sep - x), &a) ||
        !scan_int32(sep + 1, static_cast<size_t>(end - sep - 1), &b))
        return Fail::Invalid;
    if (out) {
        *out = Cell{};
        pair::make_at(out, a, b);
    }
    return Fail::None;
}

// "(" x "," y ["," z] ")": each coordinate a float or a special float.
Fail load_point(Token& t, Cell* out) {
    const uint8_t* p = t.p + 1;
    const uint8_t* end = t.p + t.n - 1;
    int count = 0;
    double coordinates[3];
    for (;;) {
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        const uint8_t* c = p;
        while (p < end && *p != ',' && *p != ' ' && *p != '\t') p++;
        if (p == c || ++count > 3) {
            t.type = TypeId::Point2D;
            return Fail::Invalid;
        }
        Token coordinate{c, static_cast<size_t>(p - c), 0, Kind::Float, TypeId::Float};
        Cell number{};
        Fail f = std::memchr(c, '#', coordinate.n) ? load_special_float(coordinate, &number)
                                                   : load_float(coordinate, &number);
        if (f != Fail::None) {
            t.type = TypeId::Float;
            return f;
        }
        coordinates[count - 1] = floating::get(&number);
        while (p < end && (*p == ' ' || *p == '\t')) p++;
        if (p == end) break;
        if (*p++ != ',') {
            t.type = TypeId::Point2D;
            return Fail::Invalid;
        }
    }
    if (count < 2) {
        t.type = TypeId::Point2D;
        return Fail::Invalid;
    }
    if (out) {
        *out = Cell{};
        const auto x = static_cast<float>(coordinates[0]);
        const auto y = static_cast<float>(coordinates[1]);
        if (count == 2) point::set2(out, x, y);
        else point::set3(out, x, y, static_cast<float>(coordinates[2]));
    }
    return Fail::None;
}

// A URL-shaped token written with a get-word or lit-word prefix is that word, invalid.
Fail load_url(Token& t, Cell* out) {
    if (t.p[0] == ':' || t.p[0] == '\'') {
        t.type = t.p[0] == ':' ? TypeId::GetWord : TypeId::LitWord;
        return Fail::Invalid;
    }
    return text_kin::load_escaped(t.p, t.p + t.n, TypeId::Url, out) ? Fail::None : Fail::Invalid;
}

// %name with "%XX" escapes, or %"name" with caret escapes and its closing quote.
Fail load_file(Token& t, Cell* out) {
    if (t.n >= 2 && t.p[1] == '"') {
        if (t.n < 3 || t.p[t.n - 1] != '"') return Fail::Invalid;
        return make_text(t.p + 2, t.p + t.n - 1, t.flags, true, TypeId::File, out) ? Fail::None
                                                                                   : Fail::Invalid;
    }
    return text_kin::load_escaped(t.p + 1, t.p + t.n, TypeId::File, out) ? Fail::None
                                                                         : Fail::Invalid;
}

// Tags, e-mails and refs keep their text as written: no escapes of either kind.
Fail load_tag(Token& t, Cell* out) {
    return make_text(t.p + 1, t.p + t.n - 1, t.flags, false, TypeId::Tag, out) ? Fail::None
                                                                               : Fail::Invalid;
}
Fail load_email(Token& t, Cell* out) {
    return make_text(t.p, t.p + t.n, t.flags, false, TypeId::Email, out) ? Fail::None
                                                                        : Fail::Invalid;
}
Fail load_ref(Token& t, Cell* out) {
    return make_text(t.p + 1, t.p + t.n, t.flags, false, TypeId::Ref, out) ? Fail::None
                                                                          : Fail::Invalid;
}

// [sign] [code] "$" digits ["." digits]: the money! scanner's own rules decide.
Fail load_money(Token& t, Cell* out) {
    Cell value{};
    if (!money::scan(reinterpret_cast<const char*>(t.p), t.n, &value)) return Fail::Invalid;
    if (out) *out = value;
    return Fail::None;
}

Fail load_date(Token& t, Cell* out) { return date_scan::scan(t.p, t.n, out) ? Fail::None : Fail::Invalid; }

using Loader = Fail (*)(Token&, Cell*);
struct LoaderTable {
    Loader of[kStateCount]{};
};
consteval LoaderTable make_loaders() {
    LoaderTable t;
    auto set = [&t](Kind k, Loader f) { t.of[static_cast<int>(k)] = f; };
    set(Kind::Construct, load_construct);
    set(Kind::String, load_quoted);
    set(Kind::Word, load_word);
    set(Kind::Issue, load_issue);
    set(Kind::Integer, load_integer);
    set(Kind::Refinement, load_refinement);
    set(Kind::Char, load_char);
    set(Kind::File, load_file);
    set(Kind::Binary, load_binary);
    set(Kind::Percent, load_percent);
    set(Kind::Float, load_float);
    set(Kind::SpecialFloat, load_special_float);
    set(Kind::Tuple, load_tuple);
    set(Kind::Date, load_date);
    set(Kind::Pair, load_pair);
    set(Kind::Point, load_point);
    set(Kind::Time, load_time);
    set(Kind::Money, load_money);
    set(Kind::Tag, load_tag);
    set(Kind::Url, load_url);
    set(Kind::Email, load_email);
    set(Kind::Hex, load_hex);
    set(Kind::RawString, load_raw_string);
    set(Kind::Ref, load_ref);
    return t;
}
constexpr LoaderTable kLoaders = make_loaders();

// ---- Runs ----

// Marker cells: type 0 in the header (no value has it), word 1 the previous marker + 1 (0:
// none), word 2 the kind (low byte) and the commas of a point (bits 16 up), word 3 the byte
// offset of the opening character. The header's new-line bit is the opening token's; its bits
// 8-29 count the cells a point held at its last comma, so no coordinate is left empty.
constexpr int kCommaShift = 16;
constexpr int kCountShift = 8;
constexpr uint32_t kCountMask = 0x3FFFFF;
Cell make_marker(TypeId kind, size_t previous, size_t offset, bool new_line) {
    return Cell{new_line ? cell::kNewLine : 0u,
                previous == kNone ? 0u : static_cast<uint32_t>(previous + 1),
                static_cast<uint32_t>(kind), static_cast<uint32_t>(offset)};
}
inline TypeId marker_kind(const Cell& m) { return static_cast<TypeId>(m.w2 & 0xFF); }
inline uint32_t marker_commas(const Cell& m) { return m.w2 >> kCommaShift; }
inline size_t marker_previous(const Cell& m) { return m.w1 == 0 ? kNone : m.w1 - 1; }
inline size_t marker_count(const Cell& m) { return (m.header >> kCountShift) & kCountMask; }
inline bool is_path_kind(TypeId t) { return t >= TypeId::Path && t <= TypeId::GetPath; }

// Unwinding inside a run: an error event answered false (scanning resumes), or the end of a
// scan-mode run.
struct Resumed {};
struct Stopped {};

class Run;
Run* g_innermost = nullptr;
int g_run_count = 0;
uint64_t g_runs_started = 0;

class Run {
  public:
    Run(const uint8_t* text, size_t length, const Options& options, const Cell* input,
        size_t skipped = 0)
        : text_(text), length_(length), skipped_(skipped), options_(options) {
        ensure_init();
        if (input) input_ = *input;
        if (options.into) into_ = *options.into;
        base_ = g_values.top;
        outer_ = g_innermost;
        g_innermost = this;
        g_run_count++;
        g_runs_started++;
    }
    ~Run() {
        g_values.top = base_;
        g_innermost = outer_;
        g_run_count--;
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    size_t go(Cell* result);
    const Run* outer() const { return outer_; }
    size_t base() const { return base_; }
    const Cell& input() const { return input_; }
    const Cell& into() const { return into_; }

  private:
    bool loading() const { return options_.mode == Mode::Load; }
    bool notify(Event event, TypeId type, int exit_state, size_t start, size_t end,
                const Cell* value = nullptr);
    // The syntax error: raised, or (when a hook declines it) scanning resumes further on.
    [[noreturn]] void fail(Err id, TypeId type, size_t at, const char* missing = nullptr);
    [[noreturn]] void raise(Err id, TypeId type, size_t at, const char* missing);
    bool declined(TypeId type, size_t at);
    void first_token(TypeId type, int exit_state);
    void step();
    // `prescanned`: the token's prescan event has been sent (a braced string at its first brace).
    void value_token(Kind kind, size_t start, size_t end, uint32_t flags, bool prescanned = false);
    void emit(Cell value, bool new_line);
    void append_into(size_t end);
    void close_point(const Cell& mark, size_t n);
    void after_value();
    void after_segment();
    void open(TypeId kind, size_t offset);
    void close(uint8_t closer, size_t at);
    void close_marker(TypeId as);
    void braced_string(size_t start);
    void raw_string(const Step& first);
    void paren(size_t at);
    void comma(size_t at);
    void path_open(const Step& s);
    TypeId innermost_kind() const {
        return marker_ == kNone ? TypeId::Invalid : marker_kind(g_values.cells[marker_]);
    }
    bool take_new_line() {
        bool nl = new_line_;
        new_line_ = false;
        return nl;
    }

    const uint8_t* text_;
    size_t length_;
    size_t skipped_;
    Options options_;
    Cell input_{};
    ExitTypes exits_{};  // read from the system object at the first token that needs them
    bool exits_read_ = false;
    Cell into_{};
    Run* outer_;
    size_t base_;
    size_t marker_ = kNone;
    size_t pos_ = 0;
    size_t last_resume_ = kNone;
    int start_state_ = 0;
    int32_t line_ = 1;
    bool new_line_ = false;
    bool stop_ = false;
    bool have_first_ = false;
    Cell first_{};  // scan modes: the first token's type
};

bool Run::notify(Event event, TypeId type, int exit_state, size_t start, size_t end,
                 const Cell* value) {
    if (!options_.hook || !(options_.events & static_cast<uint32_t>(event))) return true;
    EventInfo info{event, type,  exit_state, line_,   start, end,
                   value, pos_, text_,      length_, skipped_};
    bool go_on = options_.hook(options_.hook_data, info);
    if (info.resume != pos_) {
        pos_ = std::min(info.resume, length_);
        start_state_ = 0;
    }
    return go_on;
}

bool Run::declined(TypeId type, size_t at) {
    pos_ = at;
    if (notify(Event::Error, type == TypeId::Invalid ? TypeId::Error : type, 0, at, at))
        return false;
    // Scanning resumes where the hook left it, but always past the failing byte and past the
    // previous resumption, so declined errors cannot repeat for ever.
    const size_t floor = last_resume_ == kNone ? at : std::max(at, last_resume_);
    if (pos_ <= floor) {
        pos_ = floor < length_
                   ? static_cast<size_t>(
                         unicode::utf8_skip_chars(text_ + floor, text_ + length_, 1) - text_)
                   : length_;
    }
    last_resume_ = pos_;
    start_state_ = 0;
    return true;
}

void Run::fail(Err id, TypeId type, size_t at, const char* missing) {
    if (declined(type, at)) throw Resumed{};
    raise(id, type, at, missing);
}

void Run::raise(Err id, TypeId type, size_t at, const char* missing) {
    if (!loading()) {
        datatype::set(&first_, TypeId::Error);
        have_first_ = true;
        throw Stopped{};
    }
    // The values made before the error, those outside any open block, go to the `into` block,
    // so a caller that takes the error keeps them.
    if (options_.into) {
        size_t outside = g_values.top;
        for (size_t m = marker_; m != kNone; m = marker_previous(g_values.cells[m])) outside = m;
        append_into(outside);
    }
    stack::Mark keep;  // the argument cells survive the allocations that make the others
    Cell* arg1 = stack::reserve();
    char line[32];
    std::snprintf(line, sizeof line, "(line %d)", line_);
    ascii_text(line, arg1);
    Cell* arg2 = stack::reserve();
    Cell* arg3 = stack::reserve();
    const uint8_t* end = text_ + length_;
    if (id == Err::Missing) {
        ascii_text(missing, arg2);
        report_text(text_ + at, end, kErrorTextBytes, arg3);
        fire(id, arg1, arg2, arg3);
    }
    if (id == Err::Invalid) {
        datatype::set(arg2, type);
        report_text(text_ + at, end, kErrorTextBytes, arg3);
        fire(id, arg1, arg2, arg3);
    }
    report_text(text_ + at, end, kErrorTextBytes, arg2);
    fire(id, arg1, arg2);
}

void Run::first_token(TypeId type, int exit_state) {
    if (have_first_) return;
    have_first_ = true;
    if (type != TypeId::Invalid) {
        datatype::set(&first_, type);
    } else if (exit_state == static_cast<int>(Kind::Comment)) {
        word::make_at(symbol::make_cstr("comment"), &first_, TypeId::Word);
    } else {
        none::set(&first_);
    }
    throw Stopped{};
}

void Run::emit(Cell value, bool new_line) {
    if (new_line) value.header |= cell::kNewLine;
    else value.header &= ~cell::kNewLine;
    push_cell(value);
    after_value();
}

void Run::after_value() {
    if (marker_ == kNone) {
        if (options_.one) stop_ = true;
        return;
    }
    if (is_path_kind(innermost_kind())) after_segment();
}

bool is_delimiter(uint8_t b) {
    switch (static_cast<ByteClass>(class_of(b))) {
    case ByteClass::Blank:
    case ByteClass::Newline:
    case ByteClass::LBracket:
    case ByteClass::RBracket:
    case ByteClass::LParen:
    case ByteClass::RParen:
    case ByteClass::LBrace:
    case ByteClass::RBrace:
    case ByteClass::Dquote:
    case ByteClass::Semicolon:
    case ByteClass::Control:
    case ByteClass::Nul: return true;
    default: return false;
    }
}

// A path goes on at "/", becomes a set-path at ":", and ends at anything else. Its close event
// covers the ":" of a set-path, else the empty text where the path ends; a callback that
// declines it leaves the path open, so the next value joins it.
void Run::after_segment() {
    const Cell& m = g_values.cells[marker_];
    const TypeId kind = marker_kind(m);
    if (pos_ < length_ && text_[pos_] == '/') {
        pos_++;
        start_state_ = kSegmentState;
        return;
    }
    if (pos_ < length_ && text_[pos_] == ':') {
        const size_t opened = m.w3;
        const size_t at = pos_;
        const size_t next = pos_ + 1;
        if (next < length_ && text_[next] == '/') fail(Err::Invalid, TypeId::Path, opened);
        if (kind != TypeId::Path) fail(Err::BadChar, TypeId::Invalid, opened);
        if (next < length_ && !is_delimiter(text_[next])) fail(Err::Invalid, TypeId::Path, opened);
        pos_ = next;
        if (!notify(Event::Close, TypeId::SetPath, 0, at, next)) {
            pos_ = at;
            return;
        }
        close_marker(TypeId::SetPath);
        return;
    }
    if (!notify(Event::Close, kind, 0, pos_, pos_)) return;
    close_marker(kind);
}

void Run::open(TypeId kind, size_t offset) {
    if (innermost_kind() == TypeId::Point2D) fail(Err::Invalid, TypeId::Point2D, offset);
    if (!notify(Event::Open, kind, 0, offset, pos_)) return;
    marker_ = push_cell(make_marker(kind, marker_, offset, take_new_line()));
}

// A map literal's collected cells become its body, without their new-line marks. The pairs
// whose key is no key, and a last key without its value, are dropped: only a hook that declined
// their errors lets them this far. May allocate.
void load_map(Cell* series) {
    const NodeId node = cell::node(series);
    const int32_t n = block::count(node);
    Cell* cells = block::write_cells(node);
    int32_t kept = 0;
    for (int32_t i = 0; i + 1 < n; i += 2) {
        if (!map::is_key_type(cell::type_of(&cells[i]))) continue;
        cells[kept] = cells[i];
        cells[kept++].header &= ~cell::kNewLine;
        cells[kept] = cells[i + 1];
        cells[kept++].header &= ~cell::kNewLine;
    }
    block::clear_from(series, kept);
    map::make_at(series, series, kept / 2);
}

// Whether the cells a paren that commas made a point holds are its coordinates: one number
// (integer! or float!) per coordinate.
bool is_point_body(const Cell& mark, const Cell* held, size_t n) {
    if (n != marker_commas(mark) + 1) return false;
    for (size_t i = 0; i < n; i++)
        if (!cell::is(held + i, TypeId::Integer) && !cell::is(held + i, TypeId::Float)) return false;
    return true;
}

// Collects the cells above the innermost marker into a series of the given type, which
// replaces the marker.
void Run::close_marker(TypeId as) {
    const size_t m = marker_;
    const Cell mark = g_values.cells[m];
    const size_t n = g_values.top - m - 1;
    if (as == TypeId::Point2D) {
        if (is_point_body(mark, g_values.cells + m + 1, n)) {
            close_point(mark, n);
            return;
        }
        as = TypeId::Paren;  // only when its error was declined: the values are kept
    }
    Cell series;
    block::make_at(&series, static_cast<int32_t>(n));
    memory::SeriesBuf* b = memory::buf_of(&series);
    std::memcpy(b->offset_ptr(), g_values.cells + m + 1, n * sizeof(Cell));
    b->tail = b->offset + n * sizeof(Cell);
    if (as == TypeId::Map) load_map(&series);
    else cell::set_type(&series, as);
    g_values.top = m;
    marker_ = marker_previous(mark);
    emit(series, (mark.header & cell::kNewLine) != 0);
}

// The point of a paren that commas made a point, whose body is_point_body accepted.
void Run::close_point(const Cell& mark, size_t n) {
    const Cell* held = g_values.cells + marker_ + 1;
    float c[3] = {0.0f, 0.0f, 0.0f};
    for (size_t i = 0; i < n; i++) c[i] = point::float_of(held + i);
    Cell value{};
    if (n == 2) point::set2(&value, c[0], c[1]);
    else point::set3(&value, c[0], c[1], c[2]);
    g_values.top = marker_;
    marker_ = marker_previous(mark);
    emit(value, (mark.header & cell::kNewLine) != 0);
}

void Run::close(uint8_t closer, size_t at) {
    const TypeId kind = innermost_kind();
    const bool block_like = kind == TypeId::Block || kind == TypeId::Map;
    const bool paren_like = kind == TypeId::Paren || kind == TypeId::Point2D;
    const TypeId reported = closer == ']' ? TypeId::Block : TypeId::Paren;
    if (closer == ']' ? !block_like : !paren_like)
        fail(Err::Missing, reported, at, closer == ']' ? "[" : "(");
    if (!notify(Event::Close, reported, 0, at, pos_)) return;
    const Cell& m = g_values.cells[marker_];
    const size_t held = g_values.top - marker_ - 1;
    if (kind == TypeId::Map && held % 2 != 0) fail(Err::Invalid, TypeId::Map, m.w3);
    if (kind == TypeId::Map) {
        for (size_t k = marker_ + 1; k < g_values.top; k += 2)
            if (!map::is_key_type(cell::type_of(&g_values.cells[k])))
                fail(Err::Invalid, TypeId::Map, m.w3);
    }
    if (kind == TypeId::Point2D && (held == marker_count(m) ||
                                    (loading() && !is_point_body(m, &m + 1, held))))
        fail(Err::Invalid, TypeId::Point2D, at);
    close_marker(kind);
}

// A "(" that starts a point is scanned as one token; any other opens a paren.
void Run::paren(size_t at) {
    size_t j = at + 1;
    if (length_ - j >= 4) {
        auto in_number_set = [](uint8_t b) {
            return is_digit(b) || b == ' ' || b == '\t' || b == '+' || b == '-' || b == '.' ||
                   b == '#' || b == 'e' || b == 'E' || b == 'A' || b == 'F' || b == 'I' ||
                   b == 'N' || b == 'a' || b == 'f' || b == 'i' || b == 'n';
        };
        while (j < length_ && in_number_set(text_[j])) j++;
        if (j == length_ || text_[j] == ',') {
            Step s = scan_token(text_, length_, at + 1, kPointState);
            line_ += s.lines;
            if (s.state != static_cast<int>(Kind::Point)) fail(Err::Invalid, TypeId::Point2D, at);
            value_token(Kind::Point, at, s.end + 1, s.flags);
            return;
        }
    }
    pos_ = at + 1;
    if (!notify(Event::Prescan, TypeId::Paren, static_cast<int>(Kind::ParenOpen), at, at + 1))
        return;
    if (!loading()) first_token(TypeId::Paren, 0);
    open(TypeId::Paren, at);
}

void Run::comma(size_t at) {
    pos_ = at + 1;
    if (!notify(Event::Prescan, TypeId::String, static_cast<int>(Kind::Comma), at, at + 1)) return;
    if (!loading()) first_token(TypeId::String, 0);
    const TypeId kind = innermost_kind();
    if (kind != TypeId::Paren && kind != TypeId::Point2D) fail(Err::Invalid, TypeId::Point2D, at);
    Cell& m = g_values.cells[marker_];
    const uint32_t commas = marker_commas(m) + 1;
    const size_t held = g_values.top - marker_ - 1;
    if (commas > 2 || held == marker_count(m) || held > kCountMask)
        fail(Err::Invalid, TypeId::Point2D, at);
    m.w2 = static_cast<uint32_t>(TypeId::Point2D) | (commas << kCommaShift);
    m.header = (m.header & cell::kNewLine) | static_cast<uint32_t>(held << kCountShift);
}

// The word before a path's first "/" opens the path and is its first segment.
void Run::path_open(const Step& s) {
    const uint8_t first = text_[s.start];
    const TypeId kind = first == '\''  ? TypeId::LitPath
                        : first == ':' ? TypeId::GetPath
                                       : TypeId::Path;
    pos_ = s.end;
    if (!notify(Event::Prescan, TypeId::Path, static_cast<int>(Kind::PathOpen), s.end, s.end + 1))
        return;
    if (!loading()) first_token(TypeId::Path, 0);
    open(kind, s.start);
    const size_t head = kind == TypeId::Path ? s.start : s.start + 1;
    // A head written as digits and letters ending in "h" is a hexadecimal integer.
    const bool hex = s.last == kHexWordState || s.last == kHexDigitsState;
    value_token(hex ? Kind::Hex : Kind::Word, head, s.end, s.flags);
}

// A braced string: "{" and "}" nest; the whole text between the outer braces is one token.
void Run::braced_string(size_t start) {
    pos_ = start + 1;
    if (!notify(Event::Prescan, TypeId::String, static_cast<int>(Kind::BraceOpen), start,
                start + 1))
        return;
    if (options_.mode == Mode::Prescan) first_token(TypeId::String, 0);
    notify(Event::Open, TypeId::String, 0, start, start + 1);
    int depth = 1;
    size_t p = start + 1;
    uint32_t flags = 0;
    for (;;) {
        Step s = scan_token(text_, length_, p, kBracedState);
        line_ += s.lines;
        flags |= s.flags;
        if (s.state == static_cast<int>(Kind::BraceOpen)) {
            depth++;
        } else if (s.state == static_cast<int>(Kind::BraceClose)) {
            if (--depth == 0) {
                pos_ = s.end + 1;
                notify(Event::Close, TypeId::String, 0, s.end, s.end + 1);
                value_token(Kind::String, start, s.end + 1, flags, true);
                return;
            }
        } else {
            pos_ = s.end;
            fail(Err::Invalid, TypeId::String, start);
        }
        p = s.end + 1;
    }
}

// A raw string ends at a "}" followed by exactly as many "%" as opened it; a shorter run
// followed by a delimiter is text.
void Run::raw_string(const Step& first) {
    size_t open = 0;
    while (text_[first.start + open] == '%') open++;
    Step s = first;
    uint32_t flags = first.flags;
    for (;;) {
        size_t close = 0;
        while (text_[s.end - 1 - close] == '%') close++;
        if (close == open) break;
        if (close > open) {
            pos_ = s.end;
            fail(Err::Invalid, TypeId::String, first.start);
        }
        s = scan_token(text_, length_, s.end, kRawStringState);
        line_ += s.lines;
        flags |= s.flags;
        if (s.state != static_cast<int>(Kind::RawString)) {
            pos_ = s.end;
            fail(Err::Invalid, TypeId::String, first.start);
        }
    }
    value_token(Kind::RawString, first.start, s.end, flags);
}

void Run::value_token(Kind kind, size_t start, size_t end, uint32_t flags, bool prescanned) {
    const int state = static_cast<int>(kind);
    if (!exits_read_) {
        system_object::lexer_exit_types(exits_.types);
        exits_read_ = true;
    }
    Token t{text_ + start, end - start, flags, kind, reported_type(state, exits_)};
    pos_ = end;
    const bool new_line = take_new_line();
    if (!prescanned && !notify(Event::Prescan, t.type, state, start, end)) return;
    if (options_.mode == Mode::Prescan) first_token(t.type, state);
    Loader loader = kLoaders.of[state];
    const bool check_first =
        !loading() || (options_.hook && (options_.events & static_cast<uint32_t>(Event::Scan)));
    if (check_first) {
        Fail f = loader(t, nullptr);
        if (f == Fail::Malconstruct) fail(Err::Malconstruct, TypeId::Invalid, start);
        if (f == Fail::Invalid) fail(Err::Invalid, t.type, start);
        if (kind != Kind::Construct && !notify(Event::Scan, t.type, state, start, end)) return;
        if (!loading()) first_token(t.type, state);
    }
    Cell value{};
    Fail f = loader(t, &value);
    switch (f) {
    case Fail::None: break;
    case Fail::Malconstruct: fail(Err::Malconstruct, TypeId::Invalid, start);
    case Fail::Invalid: fail(Err::Invalid, t.type, start);
    case Fail::NotDone: {
        Cell* token = stack::reserve();
        report_text(t.p, t.p + t.n, t.n, token);
        fire(Err::NotDone, token);
    }
    }
    if (!notify(Event::Load, t.type, state, start, end, &value)) return;
    emit(value, new_line);
}

// One token: scanned from the run's start state, then handled by its kind.
void Run::step() {
    const int from = start_state_;
    start_state_ = 0;
    Step s = scan_token(text_, length_, pos_, from);
    if (s.lines_before) {
        line_ += s.lines_before;
        new_line_ = true;
    }
    line_ += s.lines;
    Kind kind = static_cast<Kind>(s.state);
    if ((kind == Kind::Word || kind == Kind::PathOpen) && (s.flags & (kFlagLead3 | kFlagLead4))) {
        size_t at, after;
        if (find_unicode_space(text_ + s.start, s.end - s.start, &at, &after)) {
            if (at == 0) {
                if (from == kSegmentState) fail(Err::BadChar, TypeId::Invalid, s.start);
                pos_ = s.start + after;
                start_state_ = from;
                return;
            }
            value_token(Kind::Word, s.start, s.start + at, s.flags);
            if (!stop_) pos_ = s.start + after;
            return;
        }
    }
    // A quoted file ends with its closing double quote, an unquoted one before its delimiter.
    const bool included =
        kTerminals.includes_end[s.state] || (kind == Kind::File && s.last == kQuotedFileState);
    const size_t end = included ? s.end + 1 : s.end;
    switch (kind) {
    case Kind::Eof: {
        pos_ = s.start;
        if (s.start < length_) fail(Err::BadChar, TypeId::Invalid, s.start);  // an embedded NUL
        notify(Event::Prescan, TypeId::Invalid, s.state, s.start, s.start);
        if (!loading()) first_token(TypeId::Invalid, s.state);
        // Each value still open is missing its closer; one whose error a hook declines
        // closes here.
        while (marker_ != kNone && !stop_) {
            const Cell& m = g_values.cells[marker_];
            const TypeId open = marker_kind(m);
            const bool block_like = open == TypeId::Block || open == TypeId::Map;
            const size_t at = m.w3;
            // A path needs no closer: one left open by a declined close ends here.
            if (!is_path_kind(open) && !declined(open, at))
                raise(Err::Missing, open, at, block_like ? "]" : ")");
            pos_ = length_;
            close_marker(open);
        }
        pos_ = length_;
        stop_ = true;
        return;
    }
    case Kind::Error: {
        pos_ = s.end;
        const bool at_start = s.last == 0 || s.end == s.start;
        const bool in_path = s.last >= kSegmentState && s.last <= kLastSegmentState;
        const TypeId type = state_type(s.last);
        if (at_start || in_path || type == TypeId::Invalid)
            fail(Err::BadChar, TypeId::Invalid, s.start);
        fail(Err::Invalid, type, s.start);
    }
    case Kind::BlockOpen:
    case Kind::MapOpen: {
        const TypeId type = kind == Kind::MapOpen ? TypeId::Map : TypeId::Block;
        pos_ = end;
        if (!notify(Event::Prescan, type, s.state, s.start, end)) return;
        if (!loading()) first_token(type, 0);
        open(type, s.start);
        return;
    }
    case Kind::BlockClose:
    case Kind::ParenClose: {
        const TypeId type = kind == Kind::BlockClose ? TypeId::Block : TypeId::Paren;
        pos_ = end;
        if (!notify(Event::Prescan, type, s.state, s.start, end)) return;
        if (!loading()) first_token(type, 0);
        close(text_[s.start], s.start);
        return;
    }
    case Kind::ParenOpen: paren(s.start); return;
    case Kind::BraceOpen: braced_string(s.start); return;
    case Kind::PathOpen: path_open(s); return;
    case Kind::Comma: comma(s.start); return;
    case Kind::Comment:
        pos_ = end;
        if (!notify(Event::Prescan, TypeId::Invalid, s.state, s.start, end)) return;
        if (!loading()) first_token(TypeId::Invalid, s.state);
        notify(Event::Scan, TypeId::Invalid, s.state, s.start, end);
        return;
    case Kind::RawString: raw_string(s); return;
    default: value_token(kind, s.start, end, s.flags); return;
    }
}

size_t Run::go(Cell* result) {
    if (length_ > UINT32_MAX) fire(Err::TooLong);
    while (!stop_) {
        try {
            while (!stop_) step();
        } catch (const Resumed&) {
            // An error the hook declined: scanning goes on where it left the run.
        } catch (const Stopped&) {
            stop_ = true;
        }
    }
    if (!loading()) {
        if (!have_first_) none::set(&first_);
        *result = first_;
        return pos_;
    }
    const size_t n = g_values.top - base_;
    if (options_.one) {
        Cell value{};
        if (n > 0) value = g_values.cells[base_];
        else none::set(&value);
        *result = value;
        return pos_;
    }
    if (options_.into) {
        append_into(g_values.top);
        *result = into_;
        return pos_;
    }
    Cell values;
    block::make_at(&values, static_cast<int32_t>(n));
    memory::SeriesBuf* b = memory::buf_of(&values);
    std::memcpy(b->offset_ptr(), g_values.cells + base_, n * sizeof(Cell));
    b->tail = b->offset + n * sizeof(Cell);
    *result = values;
    return pos_;
}

// Appends the run's values below `end` to the `into` block. Allocates.
void Run::append_into(size_t end) {
    for (size_t i = base_; i < end; i++) {
        Cell item = g_values.cells[i];
        block::append_cell(&into_, &item);
    }
}

// The text of a string (any text type) or the bytes of a binary, from its head.
struct Source {
    bool binary;
    int32_t available;  // units from the head
};
Source source_of(const Cell* input) {
    if (cell::is(input, TypeId::Binary)) {
        memory::SeriesBuf* b = memory::buf_of(input);
        const int64_t used = static_cast<int64_t>(b->used());
        return {true, static_cast<int32_t>(std::clamp<int64_t>(used - cell::head(input), 0, used))};
    }
    return {false, string::length(input)};
}

// Per state, the bytes that keep the automaton in it: runs of them are crossed in a tight loop
// whose steps do not wait on one another.
struct SelfLoops {
    bool stays[tables::kRowCount][256]{};
};
consteval SelfLoops make_self_loops() {
    SelfLoops t;
    for (int state = 0; state < tables::kRowCount; state++)
        for (int b = 0; b < 256; b++)
            t.stays[state][b] = kTransitions[state][kClassTable[b] & 0xFF] == state;
    return t;
}
constexpr SelfLoops kSelfLoops = make_self_loops();

}  // namespace

// ---- Public ----

Step scan_token(const uint8_t* text, size_t length, size_t from, int state) {
    Step s{0, from, from, 0, 0, 0, state};
    size_t i = from;
    if (state == 0) {
        int32_t skipped = 0;
        while (i < length) {
            const uint32_t e = kClassTable[text[i]];
            if (kTransitions[0][e & 0xFF] != 0) break;
            skipped += (e & 0xFF) == static_cast<uint32_t>(ByteClass::Newline);
            i++;
        }
        s.start = i;
        s.lines_before = skipped;
    }
    uint32_t flags = 0;
    int32_t lines = 0;
    while (i < length) {
        const uint32_t e = kClassTable[text[i]];
        const int next = kTransitions[state][e & 0xFF];
        if (next >= kFirstTerminal) {
            s.state = next;
            s.end = i;
            s.last = state;
            s.flags = flags & ~0xFFu;
            s.lines = lines;
            return s;
        }
        flags |= e;
        lines += (e & 0xFF) == static_cast<uint32_t>(ByteClass::Newline);
        state = next;
        i++;
        const bool* stays = kSelfLoops.stays[state];
        while (i < length && stays[text[i]]) {
            const uint32_t more = kClassTable[text[i++]];
            flags |= more;
            lines += (more & 0xFF) == static_cast<uint32_t>(ByteClass::Newline);
        }
    }
    flags &= ~0xFFu;
    s.state = kTransitions[state][static_cast<int>(ByteClass::Nul)];
    s.end = length;
    s.last = state;
    s.flags = flags;
    s.lines = lines;
    return s;
}

size_t transcode(const uint8_t* text, size_t length, const Options& options, Cell* result) {
    Run run(text, length, options, nullptr);
    return run.go(result);
}

size_t byte_order_mark_length(const uint8_t* text, size_t length) {
    static constexpr uint8_t kMark[] = {0xEF, 0xBB, 0xBF};
    return length >= 3 && std::memcmp(text, kMark, 3) == 0 ? 3 : 0;
}

int32_t load_string(Cell* result, const Cell* input, int32_t length, const Options& options) {
    ensure_init();
    const Cell source = *input;
    const Source src = source_of(&source);
    const int32_t n = length < 0 ? src.available : std::min(length, src.available);
    if (src.binary) {
        TextRoom room(static_cast<size_t>(n) + 1);
        memory::SeriesBuf* b = memory::buf_of(&source);
        std::memcpy(room.bytes(), b->data() + b->offset + static_cast<size_t>(cell::head(&source)),
                    static_cast<size_t>(n));
        const size_t skip = byte_order_mark_length(room.bytes(), static_cast<size_t>(n));
        Run run(room.bytes() + skip, static_cast<size_t>(n) - skip, options, &source, skip);
        return static_cast<int32_t>(run.go(result) + skip);
    }
    const uint32_t unit = string::unit_of(&source);
    const size_t per_char = unit == 1 ? 2 : unit == 2 ? 3 : 4;
    TextRoom room(static_cast<size_t>(n) * per_char + 1);
    const size_t bytes = unicode::string_write_utf8(&source, room.bytes(), n, false);
    Run run(room.bytes(), bytes, options, &source);
    const size_t used = run.go(result);
    return static_cast<int32_t>(unicode::utf8_length(room.bytes(), room.bytes() + used));
}

namespace {

// What a first_value run learns through its hook: an error was met (the run then ends), and
// whether the run had read to the window's end by then, so that a longer window may read the
// value otherwise. Strings and points that fail have been read to the window's end.
struct Probe {
    bool failed = false;
    bool reached_end = false;
};

bool probe(void* data, EventInfo& info) {
    Probe& p = *static_cast<Probe*>(data);
    if (!p.failed && info.event == Event::Prescan) {
        if (info.end >= info.length) p.reached_end = true;
        return true;
    }
    if (!p.failed) {
        p.failed = true;
        const Step s = scan_token(info.text, info.length, info.start, 0);
        if (s.end >= info.length || info.type == TypeId::String || info.type == TypeId::Point2D)
            p.reached_end = true;
    }
    info.resume = info.length;
    return false;
}

constexpr size_t kFirstWindow = 256;

}  // namespace

FirstValue first_value(const Cell* binary, int32_t length) {
    const int32_t room = std::min(length, source_of(binary).available);
    if (room <= 0) return {TypeId::Invalid, 0};
    memory::SeriesBuf* b = memory::buf_of(binary);
    const Step step = scan_token(b->offset_ptr() + cell::head(binary), static_cast<size_t>(room), 0, 0);
    const Kind kind = static_cast<Kind>(step.state);
    if (kind == Kind::BlockClose || kind == Kind::ParenClose) return {TypeId::Invalid, 0};
    const bool series = kind == Kind::BlockOpen || kind == Kind::MapOpen ||
                        kind == Kind::ParenOpen || kind == Kind::PathOpen;
    const bool long_token = series || kind == Kind::BraceOpen || kind == Kind::RawString;
    size_t window = std::max(step.end + 1, long_token ? kFirstWindow : 0);
    Options options;
    options.mode = series ? Mode::Load : Mode::Scan;
    options.one = true;
    options.hook = probe;
    options.events = static_cast<uint32_t>(Event::Prescan) | static_cast<uint32_t>(Event::Error);
    stack::Mark keep;
    Cell* found = stack::reserve();
    for (;;) {
        window = std::min(window, static_cast<size_t>(room));
        Probe p;
        options.hook_data = &p;
        none::set(found);
        const int32_t used = load_string(found, binary, static_cast<int32_t>(window), options);
        // Any other token is read whole with the byte after it, as the first window holds.
        const bool whole = !long_token || window == static_cast<size_t>(room) ||
                           (p.failed ? !p.reached_end : static_cast<size_t>(used) < window);
        if (!whole) {
            window *= 2;
            continue;
        }
        TypeId type = TypeId::Invalid;
        if (series) type = cell::type_of(found);
        else if (cell::is(found, TypeId::Datatype)) type = static_cast<TypeId>(found->w1);
        keep.restore();
        if (p.failed || used <= 0 || type == TypeId::Error) return {TypeId::Invalid, 0};
        return {type, used};
    }
}

Cell* run_transcode(const Cell* input, const Refinements& refinements, Cell* result) {
    const Cell source = *input;
    const Source src = source_of(&source);
    int32_t length = -1;
    if (const Cell* part = refinements.part) {
        if (cell::is(part, TypeId::Integer)) {
            length = std::max(0, cell::get_int(part));
        } else {
            if (cell::is(part, TypeId::Binary) != src.binary) fire(Err::NotSameType);
            length = std::max(0, cell::head(part) - cell::head(&source));
        }
    }
    Options options;
    options.mode = refinements.scan ? Mode::Scan : refinements.prescan ? Mode::Prescan : Mode::Load;
    options.one = refinements.next || refinements.one;
    if (!options.one) options.into = refinements.into;
    options.hook = refinements.hook;
    options.hook_data = refinements.hook_data;
    options.events = refinements.events;
    stack::Mark keep;
    Cell* value = stack::reserve();
    const int32_t used = load_string(value, &source, length, options);
    if (!refinements.next) {
        *result = *value;
        keep.restore();
        return result;
    }
    Cell pair;
    block::make_at(&pair, 2);
    memory::SeriesBuf* b = memory::buf_of(&pair);
    Cell* cells = reinterpret_cast<Cell*>(b->offset_ptr());
    cells[0] = *value;
    cells[1] = source;
    cell::set_head(&cells[1], cell::head(&source) + used);
    b->tail = b->offset + 2 * sizeof(Cell);
    *result = pair;
    keep.restore();
    return result;
}

namespace {

// The collector's hook: every value that active runs hold.
void mark_runs() {
    size_t top = g_values.top;
    for (const Run* run = g_innermost; run; run = run->outer()) {
        for (size_t i = run->base(); i < top; i++)
            if (cell::type_of(&g_values.cells[i]) != TypeId::Invalid) collector::mark_cell(&g_values.cells[i]);
        if (cell::type_of(&run->input()) != TypeId::Invalid) collector::mark_cell(&run->input());
        if (cell::type_of(&run->into()) != TypeId::Invalid) collector::mark_cell(&run->into());
        top = run->base();
    }
}

bool note_failure(void* failed, EventInfo&) {
    *static_cast<bool*>(failed) = true;
    return false;
}

void load_text(Cell* result, const Cell* text, bool* failed) {
    Options options;
    if (failed) {
        options.hook = note_failure;
        options.hook_data = failed;
        options.events = static_cast<uint32_t>(Event::Error);
    }
    load_string(result, text, -1, options);
}

}  // namespace

void init() {
    static bool hooked = false;  // hooks outlive a runtime made again
    if (!hooked) collector::add_mark_hook(mark_runs);
    hooked = true;
    hooks::g_syntax = hooks::Syntax{load_text};
    g_word_cache.reset(static_cast<CachedWord*>(std::calloc(kWordCacheSize, sizeof(CachedWord))));
    if (!g_word_cache) fire(Err::NoMemory);
    g_values = {static_cast<Cell*>(memory::tracked_alloc(kInitialCells * sizeof(Cell))),
                kInitialCells, 0};
    g_utf8 = {static_cast<uint8_t*>(memory::tracked_alloc(kUtf8Room)), kUtf8Room, 0};
}

int active_runs() { return g_run_count; }
uint64_t runs_started() { return g_runs_started; }
size_t value_buffer_capacity() { return g_values.capacity; }

}  // namespace nuv::lexer
