// The text kin's own slots. They write through the string! writers and hand everything else to
// the string! actions; positions are re-read by index after each allocation.
#include "runtime/datatypes/text_kin.h"

#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/port.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/stack.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace nuv::text_kin {

using T = TypeId;

namespace {

using ByteSet = std::array<bool, 128>;

consteval ByteSet byte_set(const char* punctuation) {
    ByteSet set{};
    for (int c = 0; c < 128; c++)
        set[c] = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    for (const char* p = punctuation; *p; p++) set[static_cast<unsigned char>(*p)] = true;
    return set;
}
constexpr ByteSet kUrlSet = byte_set("!#$&'()*+,-./:=?@_~");
constexpr ByteSet kUnreserved = byte_set("-._~");
// Characters of the URL set that end the token when read back: a file's and a URL's.
constexpr ByteSet enders(const char* chars) {
    ByteSet set{};
    for (const char* p = chars; *p; p++) set[static_cast<unsigned char>(*p)] = true;
    return set;
}
constexpr ByteSet kFileEnders = enders(":@()");
constexpr ByteSet kUrlEnders = enders("()");

constexpr char kHexUpper[] = "0123456789ABCDEF";

int hex_value(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The byte of a "%XX" escape at p, or -1.
int escape_at(const uint8_t* p, const uint8_t* end) {
    if (end - p < 3 || p[0] != '%') return -1;
    const int high = hex_value(p[1]);
    const int low = hex_value(p[2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Walks the escaped text, handing each code point to `put`; false on text that is not UTF-8.
template <class Put>
bool walk_escaped(const uint8_t* p, const uint8_t* end, Put put) {
    while (p < end) {
        const int byte = escape_at(p, end);
        if (byte >= 0) {
            const int length = unicode::utf8_lead_length(static_cast<uint8_t>(byte));
            if (length < 2) {
                put(static_cast<char32_t>(byte));
                p += 3;
                continue;
            }
            uint8_t bytes[4] = {static_cast<uint8_t>(byte)};
            bool whole = length <= 4;
            for (int k = 1; whole && k < length; k++) {
                const int next = escape_at(p + 3 * k, end);
                whole = next >= 0;
                if (whole) bytes[k] = static_cast<uint8_t>(next);
            }
            int32_t cp = -1;
            if (whole && unicode::fast_decode_utf8_char(bytes, bytes + length, &cp) == bytes + length &&
                cp >= 0) {
                put(static_cast<char32_t>(cp));
                p += 3 * length;
                continue;
            }
        }
        if (*p < 0x80) {
            put(static_cast<char32_t>(*p++));
            continue;
        }
        int32_t cp;
        p = unicode::fast_decode_utf8_char(p, end, &cp);
        if (cp < 0) return false;
        put(static_cast<char32_t>(cp));
    }
    return true;
}

// Forms the value onto the end of `out`.
void form_onto(const Cell* value, Cell* out) {
    Cell* held = stack::push(value);
    lookup<&ActionRow::form>(held, ActionId::Form)(held, out, nullptr, kNoLimit);
    stack::drop(1);
}

// The mold budget of a text of `len` units: all of it, or what /part leaves.
int32_t molded_count(int32_t len, const Cell* part, int32_t budget) {
    if (!part) return len;
    return budget < 0 ? 0 : std::min(budget, len);
}

// ---- url! ----

// scheme "://" host [":" port] ["/" ["#"] item ("/" item | "#" issue)...]: an issue! that
// comes first stands after the "/" with its "#".
void build_url(Cell* block, Cell* out) {
    const NodeId node = cell::node(block);
    const int32_t first = block::head_index(block);
    const int32_t n = block::count(node) - first;
    if (n == 0) {
        Cell type;
        datatype::set(&type, T::Url);
        fire(Err::BadToArg, &type, block);
    }
    Cell item = block::at(node, first);
    form_onto(&item, out);
    string::append_cstr(out, "://");
    int32_t i = 1;
    if (i < n) {
        item = block::at(node, first + i++);
        form_onto(&item, out);
    }
    if (i < n && cell::is(&(item = block::at(node, first + i)), T::Integer)) {
        string::append_char(cell::node(out), U':');
        form_onto(&item, out);
        i++;
    }
    for (int32_t k = 0; i < n; i++, k++) {
        item = block::at(node, first + i);
        const bool fragment = cell::is(&item, T::Issue);
        if (k == 0 || !fragment) string::append_char(cell::node(out), U'/');
        if (fragment) string::append_char(cell::node(out), U'#');
        form_onto(&item, out);
    }
}

Cell* url_to(Cell* proto, Cell* spec, T type) {
    const T t = cell::type_of(spec);
    if (type != T::Url || (t != T::Block && t != T::Paren && t != T::Hash))
        return string::to(proto, spec, type);
    stack::Mark mark;
    Cell* block = stack::push(spec);
    Cell* out = string::make_at(stack::reserve(), 16);
    build_url(block, out);
    *proto = *out;
    cell::set_type(proto, type);
    mark.restore();
    return proto;
}

Cell* url_make(Cell* proto, Cell* spec, T type) {
    const T t = cell::type_of(spec);
    if (type == T::Url && (t == T::Block || t == T::Paren || t == T::Hash))
        return url_to(proto, spec, type);
    return string::make(proto, spec, type);
}

int32_t url_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget,
                 int32_t) {
    const int32_t len = string::length(value);
    const int32_t limit = part ? std::max(budget, 0) : kNoLimit;
    const NodeId out = cell::node(buffer);
    int32_t written = 0;
    for (int32_t i = 0; i < len && written < limit; i++) {
        uint8_t bytes[4];
        const int count = unicode::utf8_encode_char(string::char_at(value, i), bytes);
        for (int k = 0; k < count && written < limit; k++) {
            if (bytes[k] < 128 && kUrlSet[bytes[k]] && !kUrlEnders[bytes[k]]) {
                string::append_char(out, bytes[k]);
                written++;
                continue;
            }
            const char escape[] = {'%', kHexUpper[bytes[k] >> 4], kHexUpper[bytes[k] & 15], 0};
            string::append_cstr(buffer, escape);
            written += 3;
        }
    }
    return budget - written;
}

// open: the port made from the url, opened by its scheme's actor.
Cell* url_open(Cell* url, bool new_, bool read, bool write, bool seek, Cell* allow) {
    Cell* port = url_port(url);
    return lookup<&ActionRow::open>(port, ActionId::Open)(port, new_, read, write, seek, allow);
}

// url/element and file/element: the parent's text joined to the element's form by one "/".
const Cell* url_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell*, Cell*, int32_t,
                     bool, bool, bool, bool) {
    if (value) fire(Err::BadPathSet, path ? path : none::shared(), element);
    stack::Mark mark;
    Cell* held = stack::push(parent);
    const Cell* part = cell::is(element, T::GetWord) ? word::get(element) : stack::push(element);
    Cell* piece = string::make_at(stack::reserve(), 16);
    form_onto(part, piece);
    Cell* out = string::make_at_unit(stack::reserve(), static_cast<size_t>(string::length(held) +
                                                                          string::length(piece) + 1),
                                     string::unit_of(held));
    string::concatenate(out, held, -1, 0, true, string::Concat::Append);
    const int32_t have = string::length(out);
    const bool ends = have > 0 && string::char_at(out, have - 1) == U'/';
    const bool starts = string::length(piece) > 0 && string::char_at(piece, 0) == U'/';
    if (ends && starts) cell::set_head(piece, 1);
    else if (!ends && !starts) string::append_char(cell::node(out), U'/');
    string::concatenate(out, piece, -1, 0, true, string::Concat::Append);
    cell::set_head(piece, 0);
    cell::set_type(out, cell::type_of(parent));
    Cell result = *out;
    mark.restore();
    return stack::push(&result);
}

// ---- file! ----

int32_t file_mold(Cell* value, Cell* buffer, bool, bool all, bool, Cell* part, int32_t budget,
                  int32_t) {
    const int32_t n = molded_count(string::length(value), part, budget);
    const NodeId out = cell::node(buffer);
    string::append_char(out, U'%');
    bool quoted = n == 0;
    for (int32_t i = 0; i < n && !quoted; i++) {
        const char32_t c = string::char_at(value, i);
        quoted = c < 127 && (!kUrlSet[c] || kFileEnders[c]);
    }
    if (!quoted) {
        for (int32_t i = 0; i < n; i++) string::append_char(out, string::char_at(value, i));
        return budget - n - 1;
    }
    // Caret escapes, as the lexer reads them in a quoted file, so the mold loads back equal. A
    // double quote ends the token whatever stands before it: it is written by its code.
    string::append_char(out, U'"');
    for (int32_t i = 0; i < n; i++) {
        const char32_t c = string::char_at(value, i);
        if (c == U'"') string::append_cstr(buffer, "^(22)");
        else string::mold_char(buffer, c, string::kEscapeControls, all);
    }
    string::append_char(out, U'"');
    return budget - n - 1;
}

// ---- tag!, email!, ref! ----

// "<" text ">", no escapes: tag! form and mold alike.
int32_t tag_form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    const int32_t n = molded_count(string::length(value), part, budget - 1);
    string::append_char(cell::node(buffer), U'<');
    string::concatenate(buffer, value, n, 0, true, string::Concat::Append);
    if (!part || n + 1 < budget) string::append_char(cell::node(buffer), U'>');
    return budget - n - 2;
}

int32_t tag_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget,
                 int32_t) {
    return tag_form(value, buffer, part, budget);
}

int32_t email_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget,
                   int32_t) {
    const int32_t n = molded_count(string::length(value), part, budget);
    string::concatenate(buffer, value, n, 0, true, string::Concat::Append);
    return budget - n;
}

int32_t ref_mold(Cell* value, Cell* buffer, bool, bool, bool, Cell* part, int32_t budget,
                 int32_t) {
    const int32_t n = molded_count(string::length(value), part, budget - 1);
    string::append_char(cell::node(buffer), U'@');
    string::concatenate(buffer, value, n, 0, true, string::Concat::Append);
    return budget - n - 1;
}

// email/user and email/host: the text before and after the first "@".
const Cell* email_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                       Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                       bool notify) {
    if (cell::is(element, T::Integer))
        return string::path_access(parent, element, value, path, grandparent, element_cell,
                                   position, case_, get, last, notify);
    const SymId sym =
        cell::is(element, T::Word) ? symbol::resolve(word::symbol_of(element)) : 0;
    const bool user = sym && sym == symbol::resolve(words::sym::user);
    const bool host = sym && sym == symbol::resolve(words::sym::host);
    if (!user && !host) {
        Cell where = path ? *path : *none::shared();
        Cell at = *element;
        fire(Err::InvalidPath, &where, &at);
    }
    const int32_t len = string::length(parent);
    const int32_t found = string::find_codepoint(parent, U'@');
    const int32_t split = found < 0 ? len : found;
    const int32_t head = cell::head(parent) < 0 ? 0 : std::min(cell::head(parent),
                                                                string::length_abs(parent));
    if (!value) {
        const int32_t from = user ? 0 : std::min(split + 1, len);
        const int32_t count = user ? split : len - from;
        Cell* out = string::make_at_unit(stack::reserve(), static_cast<size_t>(count),
                                         string::unit_of(parent));
        Cell source = *parent;
        cell::set_head(&source, head + from);
        string::concatenate(out, &source, count, 0, true, string::Concat::Append);
        return out;
    }
    stack::Mark mark;
    Cell* at = stack::push(parent);
    Cell* fresh = stack::push(value);
    if (user) {
        cell::set_head(at, head);
        string::change(at, fresh, split, false, 1);
    } else if (found < 0) {
        // No "@" yet: the host comes after a new one.
        Cell* sign = string::load(reinterpret_cast<const uint8_t*>("@"), 1, nullptr,
                                  string::kUtf8);
        string::insert(at, sign, -1, false, 1, true);
        string::insert(at, fresh, -1, false, 1, true);
    } else {
        cell::set_head(at, head + split + 1);
        string::change(at, fresh, len - split - 1, false, 1);
    }
    mark.restore();
    return value;
}

}  // namespace

Cell* url_port(const Cell* url) {
    Cell* held = stack::push(url);
    // The library's parser is read at each call: a script that replaces it is heard.
    const Cell parser_word = word::make_global_as("url-parser", T::Word);
    Cell* parser = word::push_value(&parser_word);
    const Cell parse_word = word::make_global_as("parse-url", T::Word);
    Cell* function = stack::push(cell::is(parser, T::Object) ? object::get_by_word(parser, &parse_word)
                                                             : none::shared());
    if (!cell::is(function, T::Function)) fire(Err::InvalidArg, held);
    Cell* parts = hooks::call_function(function, hooks::Callback::Call, held, 1);
    if (!cell::is(parts, T::Object)) fire(Err::InvalidArg, held);
    return port::make(parts, parts, T::Port);
}

bool in_set(Escape set, uint32_t byte) {
    if (byte >= 128) return false;
    return set == Escape::Url ? kUrlSet[byte] : kUnreserved[byte];
}

bool load_escaped(const uint8_t* p, const uint8_t* end, T type, Cell* out) {
    size_t count = 0;
    uint32_t unit = 1;
    const bool ok = walk_escaped(p, end, [&](char32_t cp) {
        count++;
        unit = std::max(unit, unicode::unit_for(cp));
    });
    if (!ok || !out) return ok;
    Cell text;
    string::make_at_unit(&text, count, unit);
    memory::SeriesBuf* b = memory::buf_of(&text);
    uint8_t* at = b->offset_ptr();
    walk_escaped(p, end, [&](char32_t cp) {
        string::put_char(at, unit, cp);
        at += unit;
    });
    b->tail = b->offset + count * unit;
    cell::set_type(&text, type);
    *out = text;
    return true;
}

void to_local(const Cell* path, bool full, Cell* out) {
    stack::Mark mark;
    Cell* held = stack::push(path);
    Cell* text = string::make_at_unit(stack::reserve(), static_cast<size_t>(string::length(held)),
                                      string::unit_of(held));
    const bool relative = string::length(held) == 0 || string::char_at(held, 0) != U'/';
    if (full && relative) {
        char directory[PATH_MAX + 1];
        if (!getcwd(directory, sizeof directory)) fire(Err::CannotOpen, held);
        size_t n = std::strlen(directory);
        if (n == 0 || directory[n - 1] != '/') directory[n++] = '/';
        Cell* cwd = string::load(reinterpret_cast<const uint8_t*>(directory), n, nullptr,
                                 string::kUtf8);
        string::concatenate(text, cwd, -1, 0, true, string::Concat::Append);
    }
    string::concatenate(text, held, -1, 0, true, string::Concat::Append);
    *out = *text;
    mark.restore();
}

namespace {

// The series slots every kind takes from its parent as they stand.
#define NUV_TEXT_SERIES_SLOTS                                                                 \
    .at = kInherited, .back = kInherited, .change = kInherited, .clear = kInherited,          \
    .copy = kInherited, .find = kInherited, .head = kInherited, .head_q = kInherited,         \
    .index_q = kInherited, .insert = kInherited, .length_q = kInherited, .move = kInherited,  \
    .next = kInherited, .pick = kInherited, .poke = kInherited, .remove = kInherited,         \
    .reverse = kInherited, .select = kInherited, .skip = kInherited, .swap = kInherited,      \
    .tail = kInherited, .tail_q = kInherited, .take = kInherited

constexpr TypeRecord kUrlRecord{
    .id = T::Url, .parent = T::String, .name = "url!",
    .make = url_make, .to = url_to, .form = kInherited, .mold = url_mold,
    .path_access = url_path, .compare = kInherited, .append = kInherited,
    NUV_TEXT_SERIES_SLOTS, .modify = kInherited, .open = url_open, .mark = string::mark,
};
constexpr TypeRecord kFileRecord{
    .id = T::File, .parent = T::Url, .name = "file!",
    .make = kInherited, .to = kInherited, .form = kInherited, .mold = file_mold,
    .path_access = kInherited, .compare = kInherited, .append = kInherited,
    NUV_TEXT_SERIES_SLOTS, .modify = kInherited, .mark = string::mark,
};
constexpr TypeRecord kTagRecord{
    .id = T::Tag, .parent = T::String, .name = "tag!",
    .make = kInherited, .reflect = kInherited, .to = kInherited, .form = tag_form,
    .mold = tag_mold, .path_access = kInherited, .compare = kInherited, .append = kInherited,
    NUV_TEXT_SERIES_SLOTS, .modify = kInherited, .mark = string::mark,
};
constexpr TypeRecord kEmailRecord{
    .id = T::Email, .parent = T::String, .name = "email!",
    .make = kInherited, .reflect = kInherited, .to = kInherited, .form = kInherited,
    .mold = email_mold, .path_access = email_path, .compare = kInherited,
    .append = kInherited, NUV_TEXT_SERIES_SLOTS, .modify = kInherited, .mark = string::mark,
};
constexpr TypeRecord kRefRecord{
    .id = T::Ref, .parent = T::String, .name = "ref!",
    .make = kInherited, .reflect = kInherited, .to = kInherited, .form = kInherited,
    .mold = ref_mold, .compare = kInherited, NUV_TEXT_SERIES_SLOTS, .modify = kInherited,
    .mark = string::mark,
};
#undef NUV_TEXT_SERIES_SLOTS

}  // namespace

void init_url() { registry::register_type(kUrlRecord); }
void init_file() { registry::register_type(kFileRecord); }
void init_tag() { registry::register_type(kTagRecord); }
void init_email() { registry::register_type(kEmailRecord); }
void init_ref() { registry::register_type(kRefRecord); }

}  // namespace nuv::text_kin
