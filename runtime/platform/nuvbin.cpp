// NUVBIN compact documents. The encoder keys each series node to the reference path of its
// first record, so a series met again is written as a reference and reads back as the same
// series. The decoder puts each series into its container before reading the content, so a
// reference to a series still being read (a block that holds itself) reaches it.
#include "runtime/platform/nuvbin.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/character.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/hash_block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/frames.h"
#include "runtime/hashtable.h"
#include "runtime/lz77.h"
#include "runtime/memory.h"
#include "runtime/output.h"
#include "runtime/ownership.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::nuvbin {
namespace {

using T = TypeId;
constexpr uint8_t kMagic[6] = {'N', 'U', 'V', 'B', 'I', 'N'};
constexpr size_t kHeaderBytes = 8;  // magic, version, flags
constexpr uint8_t kFlagCompact = 1, kFlagPacked = 2, kFlagSymbols = 4;
constexpr uint8_t kNewLineByte = 0xC0, kSharedByte = 0xC1, kTrueByte = 0xC2, kFalseByte = 0xC3,
                  kDefinitionByte = 0xC4, kReferenceByte = 0xFF;
constexpr uint8_t kSmallInteger = 0x80;  // 0x80 + n for integer! 0..63
constexpr uint8_t kFlagF = 0x40;
constexpr uint32_t kMaxPath = 65536;
// Header-word bits of the standard form.
constexpr uint32_t kStdShared = 1u << 19, kStdGlobal = 1u << 25, kStdNewLine = 1u << 31;
constexpr uint32_t kStdMoneySign = 1u << 22, kStdComplemented = 1u << 23, kStdHandlers = 1u << 24;
constexpr uint32_t kStdSourceShift = 16;  // an op!'s underlying type
// Context flags as the compact form holds them; the standard header keeps them higher up.
constexpr uint8_t kContextKind = 3, kContextOnStack = 4, kContextSelf = 8, kContextValues = 16;
// The fields of an error! a document holds: arg1, arg2, arg3, near, where, stack.
constexpr int32_t kErrorFields = 6;
constexpr int32_t kNoClass = -1;  // the class of a decoded object: it shares no layout
constexpr uint32_t kStdReference = 255;

bool is_block_kind(T t) {
    return t == T::Block || t == T::Paren || t == T::Path || t == T::LitPath ||
           t == T::SetPath || t == T::GetPath;
}
bool is_text_kind(T t) {
    return t == T::String || t == T::File || t == T::Url || t == T::Tag || t == T::Email ||
           t == T::Ref;
}
// Types no document holds: writing one or reading its id raises no-codec.
bool is_refused(T t) {
    return t == T::Routine || t == T::Triple || t == T::Handle || t == T::Port || t == T::Event;
}

uint32_t zigzag(int32_t n) {
    return (static_cast<uint32_t>(n) << 1) ^ static_cast<uint32_t>(n >> 31);
}
int32_t unzigzag(uint32_t u) { return static_cast<int32_t>((u >> 1) ^ (0u - (u & 1))); }

void put_varint(std::vector<uint8_t>* out, size_t u) {
    while (u >= 0x80) {
        out->push_back(static_cast<uint8_t>(u | 0x80));
        u >>= 7;
    }
    out->push_back(static_cast<uint8_t>(u));
}
void put_u32(std::vector<uint8_t>* out, size_t u) {
    for (int i = 0; i < 4; i++) out->push_back(static_cast<uint8_t>(u >> (8 * i)));
}

// Values whose whole payload lives in the cell, written field by field in the documented
// layouts (never as our memory holds them).
bool is_immediate(T t) {
    return t == T::Datatype || t == T::Typeset || t == T::Tuple || t == T::Date ||
           t == T::Time || t == T::Money || t == T::Point2D || t == T::Point3D;
}

// The 12 payload bytes of a money! value: the currency index, then the 11 bytes of packed
// digits, most significant first.
constexpr size_t kMoneyBytes = 12;
void money_bytes(const Cell* v, uint8_t* out) {
    out[0] = static_cast<uint8_t>(money::currency_of(v));
    std::memcpy(out + 1, reinterpret_cast<const uint8_t*>(v) + 5, kMoneyBytes - 1);
}
// The 12 bytes of a typeset!'s bitmap: type t is bit 0x80 >> (t mod 8) of byte t div 8.
constexpr size_t kTypesetBytes = 12;
void typeset_bytes(const Cell* v, uint8_t* out) {
    std::memcpy(out, &v->w1, kTypesetBytes);
}
// The three little-endian words of a 12-byte payload.
void payload_words(const uint8_t* bytes, uint32_t* words) {
    for (int w = 0; w < 3; w++) {
        words[w] = 0;
        for (int i = 0; i < 4; i++) words[w] |= static_cast<uint32_t>(bytes[4 * w + i]) << (8 * i);
    }
}

// ---- Encoding ----

// The symbols a document names, in order of first use, and their NUL-ended names.
struct SymbolTable {
    std::vector<SymId> symbols;
    std::vector<uint8_t> names;
    std::vector<uint32_t> offsets;  // of each name within `names`
    std::unordered_map<SymId, uint32_t> indexes;  // of each symbol within `symbols`

    uint32_t index(SymId sym) {
        const auto [found, added] = indexes.emplace(sym, static_cast<uint32_t>(symbols.size()));
        if (!added) return found->second;
        symbols.push_back(sym);
        offsets.push_back(static_cast<uint32_t>(names.size()));
        const uint8_t* name = reinterpret_cast<const uint8_t*>(symbol::utf8_name(sym));
        names.insert(names.end(), name, name + symbol::name_length(sym));
        names.push_back(0);
        return static_cast<uint32_t>(symbols.size() - 1);
    }
};

bool is_global_word(const Cell* v) {
    return cell::is(v, T::Issue) || v->w1 == 0 || v->w1 == context::g_global_node;
}

// The owner a word carries in a document: object! or function!, or none! when the word is
// written by its symbol alone (no context, the global one, or a context whose owner is none!,
// unset!, block! or an error!, whose record holds no words). A word of a context owned by
// anything else has no codec.
T carried_owner(const Cell* v) {
    if (is_global_word(v)) return T::None;
    const T t = cell::type_of(context::owner(v->w1));
    if (t == T::Object || t == T::Function) return t;
    if (t == T::None || t == T::Unset || t == T::Block || t == T::Error) return T::None;
    fire(Err::NoCodec, v);
}

Cell block_of(NodeId node) { return Cell{static_cast<uint32_t>(T::Block), 0, node, 0}; }
// The cells a context's values series holds (none for one whose values live on the stack).
int32_t stored_values(NodeId ctx) {
    const NodeId values = context::cell_of(ctx)->w2;
    return context::values_on_stack(ctx) || values == 0 ? 0 : block::count(values);
}

// Raises for a value neither form writes in this build: the refused types, the rest not done.
void check_covered(const Cell* v) {
    const T t = cell::type_of(v);
    if (is_refused(t)) fire(Err::NoCodec, v);
    if (word::is_any_word_type(t)) return;
    switch (t) {
        case T::Unset: case T::None: case T::Logic: case T::Integer: case T::Char: case T::Pair:
        case T::Float: case T::Percent: case T::Binary: return;
        default:
            if (!is_block_kind(t) && !is_text_kind(t) && !is_immediate(t)) fire(Err::NotDone);
    }
}

// The standard form: every field a little-endian word, byte payloads padded to whole words.
// What both forms' encoders share: the reference path of the value being written, and the
// path of each series written so far, so a series met again is written as a reference to it.
template <typename Form>
class Walk {
protected:
    std::vector<uint32_t> path_ = {0};  // the position of each enclosing level, then the current
    std::unordered_map<NodeId, std::vector<uint32_t>> shared_;
    // Off while writing what no reference path reaches (a definition's value, a context's
    // values): a series first met there is not offered as a reference target.
    bool keep_paths_ = true;

    // The path of the series' first record, or nullptr when this is the first (whose path is
    // then the current one).
    const std::vector<uint32_t>* seen(NodeId node) {
        auto found = shared_.find(node);
        if (found != shared_.end()) return &found->second;
        if (keep_paths_) shared_.emplace(node, path_);
        return nullptr;
    }
    // Every cell of the block from the first, one level deeper.
    void cells(NodeId node, int32_t depth) {
        path_.push_back(0);
        for (int32_t i = 0; i < block::count(node); i++) {
            const Cell c = block::at(node, i);
            static_cast<Form*>(this)->value(&c, depth + 1);
            path_.back()++;
        }
        path_.pop_back();
    }

    // ---- Values with a context, and natives, actions and ops: both forms write the same
    // fields, each in its own encoding (the Form's head, uint, sint, context_head, reference) ----

    Form& form() { return *static_cast<Form*>(this); }
    static uint32_t new_line_bit(const Cell* v) { return v->header & cell::kNewLine ? kStdNewLine : 0; }

    // Writes a word that carries its owner, an object!, function!, error!, native!, action! or
    // op!; false for any other value.
    bool context_value(const Cell* v, int32_t depth) {
        const T t = cell::type_of(v);
        const uint32_t nl = new_line_bit(v);
        switch (t) {
            case T::Object:
            case T::Function:
                if (const std::vector<uint32_t>* path = seen(v->w1)) {
                    form().head(t, false, nl | kStdShared, true);
                    form().reference(*path);
                } else {
                    owner_record(v, nl, depth);
                }
                return true;
            case T::Error: error_record(v, nl, depth); return true;
            case T::Bitset:
            case T::Vector:
            case T::Hash:
            case T::Map:
            case T::Image: buffer_record(v, nl, depth); return true;
            case T::Native:
            case T::Action: {
                form().head(t, false, nl, false);
                form().uint(static_cast<uint32_t>(native::index_of(v)));
                // The spec stands at the native's own position.
                const Cell spec = block_of(native::spec_node(v));
                form().value(&spec, depth + 1);
                return true;
            }
            case T::Op: {
                const T source = native::op_source(v);
                if (source == T::Routine) fire(Err::NoCodec, v);
                form().head(t, false, nl | static_cast<uint32_t>(source) << kStdSourceShift, false);
                Cell inner = *v;
                inner.header = static_cast<uint32_t>(source);
                form().value(&inner, depth + 1);
                return true;
            }
            default:
                if (!word::is_any_word_type(t) || t == T::Issue || carried_owner(v) == T::None) return false;
                bound_word(v, nl, depth);
                return true;
        }
    }

    // bitset!, vector!, hash!, map! and image!: keyed by their buffer as the series are, written
    // whole from the first unit.
    void buffer_record(const Cell* v, uint32_t nl, int32_t depth) {
        const T t = cell::type_of(v);
        const NodeId node = cell::node(v);  // an image's pixel slot, a map's body
        const bool has_head = t == T::Vector || t == T::Hash || t == T::Image;
        const bool complemented = t == T::Bitset && bitset::is_complemented(v);
        const uint32_t unit = t == T::Vector ? memory::buf(node)->unit() : 0;
        const std::vector<uint32_t>* path = node ? seen(node) : nullptr;
        form().head(t, has_head ? cell::head(v) != 0 : complemented,
                    nl | unit << 8 | (complemented ? kStdComplemented : 0) | (path ? kStdShared : 0), path != nullptr);
        if (has_head) form().head_index(static_cast<uint32_t>(cell::head(v)));
        if (path) {
            form().reference(*path);
            return;
        }
        switch (t) {
            case T::Bitset:
                form().uint(static_cast<uint32_t>(bitset::byte_count(v)));
                form().raw(memory::buf(node)->offset_ptr(), bitset::byte_count(v));
                return;
            case T::Vector:
                form().vector_head(vector::elem_type(v), unit, static_cast<uint32_t>(memory::buf(node)->used() / unit));
                form().raw(memory::buf(node)->offset_ptr(), memory::buf(node)->used());
                return;
            case T::Hash:
                form().uint(static_cast<uint32_t>(block::count(node)));
                cells(node, depth);
                return;
            case T::Image: {
                const image::Record* r = image::record_of(v);
                form().image_size(static_cast<uint32_t>(image::width_of(v)), static_cast<uint32_t>(image::height_of(v)));
                if (r) form().raw(r->data, static_cast<size_t>(image::count(r)) * 4);
                return;
            }
            default: {  // map!: the live entries, key then value, in slot order
                int32_t live = 0;
                for (int32_t i = 0; i + 1 < block::count(node); i += 2) live += block::raw_cells(node)[i + 1].header != 0;
                form().uint(static_cast<uint32_t>(2 * live));
                path_.push_back(0);
                for (int32_t i = 0; i + 1 < block::count(node); i += 2) {
                    if (block::raw_cells(node)[i + 1].header == 0) continue;
                    for (int32_t k = 0; k < 2; k++) {
                        const Cell c = block::at(node, i + k);
                        form().value(&c, depth + 1);
                        path_.back()++;
                    }
                }
                path_.pop_back();
                return;
            }
        }
    }

    // A word of an object's or function's context: its symbol, its index, then the owner, or a
    // reference to where the owner was written.
    void bound_word(const Cell* v, uint32_t nl, int32_t depth) {
        const NodeId ctx = v->w1;
        const std::vector<uint32_t>* path = seen(ctx);
        form().head(cell::type_of(v), true, nl | (path ? kStdShared : 0), path != nullptr);
        form().uint(form().table.index(word::symbol_of(v)));
        form().sint(static_cast<int32_t>(v->w3));
        if (path) {
            form().reference(*path);
            return;
        }
        const Cell owner = *context::owner(ctx);
        owner_record(&owner, 0, depth + 1);
    }

    void owner_record(const Cell* owner, uint32_t nl, int32_t depth) {
        if (depth > kMaxDepth) fire(Err::TooDeep);
        if (cell::is(owner, T::Object)) {
            const NodeId record = object::record_of(owner);
            form().head(T::Object, record != 0, nl | (record ? kStdHandlers : 0), false);
            form().sint(object::class_of(owner));
            for (int32_t which = 0; record && which < 2; which++)
                form().sint(static_cast<int16_t>(block::raw_cells(record)[which].w2 >> 16));
            context_record(object::context_of(owner), depth);
            return;
        }
        const Cell body = function::body_of(owner);
        if (!cell::is(&body, T::Block)) fire(Err::NoCodec, owner);
        const Cell spec = block_of(function::spec_node(owner));
        form().head(T::Function, false, nl, false);
        form().uint(static_cast<uint32_t>(block::count(function::spec_node(owner))));
        form().uint(static_cast<uint32_t>(block::count(cell::node(&body))));
        context_record(function::context_of(owner), depth);
        path_.push_back(0);
        form().value(&spec, depth + 1);
        path_.back() = 1;
        form().value(&body, depth + 1);
        path_.pop_back();
    }

    // The context's flags and words, then its values when any is set.
    void context_record(NodeId ctx, int32_t depth) {
        const int32_t n = context::word_count(ctx);
        const int32_t stored = std::min(n, stored_values(ctx));
        bool any = false;
        for (int32_t i = 0; i < stored && !any; i++) any = !cell::is(context::values_at(ctx, i), T::Unset);
        const uint32_t header = context::cell_of(ctx)->header;
        form().context_head(static_cast<uint8_t>(
            static_cast<uint32_t>(context::kind(ctx)) | (context::values_on_stack(ctx) ? kContextOnStack : 0) |
            (header & context::kHasSelf ? kContextSelf : 0) | (any ? kContextValues : 0)));
        form().uint(static_cast<uint32_t>(n));
        for (int32_t i = 0; i < n; i++) form().uint(form().table.index(word::symbol_of(context::word_at(ctx, i))));
        if (!any) return;
        path_.push_back(0);
        for (int32_t i = 0; i < n; i++) {
            const Cell c = i < stored ? *context::values_at(ctx, i) : Cell{static_cast<uint32_t>(T::Unset), 0, 0, 0};
            form().value(&c, depth + 1);
            path_.back()++;
        }
        path_.pop_back();
    }

    // The error's code, then its fields from arg1 on as one nested level. Its context is a
    // path target, though an error is always written whole.
    void error_record(const Cell* v, uint32_t nl, int32_t depth) {
        const Cell code = *error::field(v, error::kCode);
        if (!cell::is(&code, T::Integer)) fire(Err::NoCodec, v);
        seen(object::context_of(v));
        form().head(T::Error, false, nl, false);
        form().uint(code.w2);
        path_.push_back(0);
        for (int32_t f = 0; f < kErrorFields; f++) {
            const Cell c = *error::field(v, error::kArg1 + f);
            form().value(&c, depth + 1);
            path_.back()++;
        }
        path_.pop_back();
    }
};

class StandardEncoder : public Walk<StandardEncoder> {
public:
    std::vector<uint8_t> out;
    SymbolTable table;

    void value(const Cell* v, int32_t depth) {
        if (depth > kMaxDepth) fire(Err::TooDeep);
        if (context_value(v, depth)) return;
        check_covered(v);
        const T t = cell::type_of(v);
        const uint32_t new_line = v->header & cell::kNewLine ? kStdNewLine : 0;
        const uint32_t type = static_cast<uint32_t>(t);
        if (is_immediate(t) && t != T::Time) {
            immediate(v, type | new_line);
            return;
        }
        if (t == T::Float || t == T::Percent || t == T::Time) {
            if (out.size() % 8) u32(0);
            u32(type | new_line);
            u32(v->w3);
            u32(v->w2);
            return;
        }
        if (word::is_any_word_type(t)) {
            u32(type | new_line | (t == T::Issue ? 0 : kStdGlobal));
            u32(table.index(word::symbol_of(v)));
            if (t != T::Issue) u32(word::kNoIndex);  // a global word is looked up by its symbol
            return;
        }
        switch (t) {
            case T::Unset: case T::None: u32(type | new_line); return;
            case T::Logic: u32(type | new_line); u32(logic::get(v) ? 1 : 0); return;
            case T::Integer: case T::Char: u32(type | new_line); u32(v->w2); return;
            case T::Pair: u32(type | new_line); u32(v->w2); u32(v->w3); return;
            default: break;
        }
        const NodeId node = cell::node(v);
        const memory::SeriesBuf* b = memory::buf(node);
        const uint32_t unit = is_block_kind(t) ? 0 : b->unit();
        const std::vector<uint32_t>* path = seen(node);
        u32(type | new_line | unit << 8 | (path ? kStdShared : 0));
        u32(static_cast<uint32_t>(cell::head(v)));
        if (path) {
            reference(*path);
            return;
        }
        if (is_block_kind(t)) {
            u32(static_cast<uint32_t>(block::count(node)));
            cells(node, depth);
            return;
        }
        u32(static_cast<uint32_t>(b->used() / unit));
        out.insert(out.end(), memory::buf(node)->offset_ptr(), memory::buf(node)->tail_ptr());
        while (out.size() % 4) out.push_back(0);
    }

    // The fields as the walk writes them: every one a word.
    void head(T t, bool, uint32_t bits, bool) { u32(static_cast<uint32_t>(t) | bits); }
    void uint(uint32_t u) { u32(u); }
    void sint(int32_t n) { u32(static_cast<uint32_t>(n)); }
    void context_head(uint8_t flags) {
        u32(static_cast<uint32_t>(T::Context) | static_cast<uint32_t>(flags & kContextKind) << 26 |
            static_cast<uint32_t>((flags & kContextSelf) != 0) << 28 |
            static_cast<uint32_t>((flags & kContextOnStack) != 0) << 29 |
            static_cast<uint32_t>((flags & kContextValues) != 0) << 30);
    }
    void reference(const std::vector<uint32_t>& path) {
        u32(kStdReference);
        u32(static_cast<uint32_t>(path.size()));
        for (uint32_t index : path) u32(index);
    }
    void head_index(uint32_t head) { u32(head); }
    void raw(const uint8_t* p, size_t n) {
        out.insert(out.end(), p, p + n);
        while (out.size() % 4) out.push_back(0);
    }
    void vector_head(T elem, uint32_t, uint32_t count) {
        u32(count);
        u32(static_cast<uint32_t>(elem));
    }
    void image_size(uint32_t width, uint32_t height) { u32(width | height << 16); }

private:
    void u32(uint32_t u) { put_u32(&out, u); }
    void words3(const uint8_t* bytes) {
        uint32_t words[3];
        payload_words(bytes, words);
        for (uint32_t w : words) u32(w);
    }
    // The values kept whole in the cell; `header` is the record's header word so far.
    void immediate(const Cell* v, uint32_t header) {
        uint8_t bytes[12] = {};
        switch (cell::type_of(v)) {
            case T::Datatype: u32(header); u32(v->w1); return;
            case T::Typeset: typeset_bytes(v, bytes); u32(header); words3(bytes); return;
            case T::Tuple: {
                const int32_t size = tuple::size_of(v);
                for (int32_t i = 0; i < size; i++) bytes[i] = tuple::byte_at(v, i);
                u32(header | static_cast<uint32_t>(size) << 8);
                words3(bytes);
                return;
            }
            case T::Money:
                money_bytes(v, bytes);
                u32(header | (money::is_negative(v) ? kStdMoneySign : 0));
                words3(bytes);
                return;
            case T::Date: u32(header); u32(date::word_of(v)); u32(v->w3); u32(v->w2); return;
            case T::Point2D: u32(header); u32(v->w1); u32(v->w2); return;
            case T::Point3D: u32(header); u32(v->w1); u32(v->w2); u32(v->w3); return;
            default: return;
        }
    }
};

class Encoder : public Walk<Encoder> {
public:
    std::vector<uint8_t> out;
    SymbolTable table;
    // Boot mode: the top-level position of each context written as a top-level record.
    const std::unordered_map<NodeId, uint32_t>* boot_ = nullptr;

    void value(const Cell* v, int32_t depth) {
        if (depth > kMaxDepth) fire(Err::TooDeep);
        if (v->header & cell::kNewLine) out.push_back(kNewLineByte);
        const T t = cell::type_of(v);
        switch (t) {
            case T::Unset:
            case T::None: type_byte(t, false); return;
            case T::Logic: out.push_back(logic::get(v) ? kTrueByte : kFalseByte); return;
            case T::Integer: {
                const int32_t n = cell::get_int(v);
                if (n >= 0 && n < 64) {
                    out.push_back(static_cast<uint8_t>(kSmallInteger + n));
                } else {
                    type_byte(t, false);
                    varint(zigzag(n));
                }
                return;
            }
            case T::Char: type_byte(t, false); varint(v->w2); return;
            case T::Pair: type_byte(t, false); varint(zigzag(static_cast<int32_t>(v->w2)));
                          varint(zigzag(static_cast<int32_t>(v->w3))); return;
            case T::Datatype: type_byte(t, false); varint(v->w1); return;
            case T::Typeset: {
                uint8_t bytes[kTypesetBytes];
                typeset_bytes(v, bytes);
                size_t n = kTypesetBytes;
                while (n > 0 && bytes[n - 1] == 0) n--;
                type_byte(t, false);
                out.push_back(static_cast<uint8_t>(n));
                this->bytes(bytes, n);
                return;
            }
            case T::Tuple: {
                const int32_t size = tuple::size_of(v);
                type_byte(t, size != 3);
                if (size != 3) out.push_back(static_cast<uint8_t>(size));
                for (int32_t i = 0; i < size; i++) out.push_back(tuple::byte_at(v, i));
                return;
            }
            case T::Money: {
                uint8_t bytes[kMoneyBytes];
                money_bytes(v, bytes);
                type_byte(t, money::is_negative(v));
                this->bytes(bytes, kMoneyBytes);
                return;
            }
            case T::Date: {
                const bool time = date::has_time(date::word_of(v));
                type_byte(t, time);
                u32(date::word_of(v));
                if (time) {
                    u32(v->w2);
                    u32(v->w3);
                }
                return;
            }
            case T::Point2D: type_byte(t, false); u32(v->w1); u32(v->w2); return;
            case T::Point3D: type_byte(t, false); u32(v->w1); u32(v->w2); u32(v->w3); return;
            case T::Time:
            case T::Float: {
                int32_t n = 0;
                const bool whole = whole_float(cell::get_double(v), &n);
                whole_or_double(v, whole, n);
                return;
            }
            case T::Percent: {
                int32_t n = 0;
                const bool whole = whole_percent(cell::get_double(v), &n);
                whole_or_double(v, whole, n);
                return;
            }
            default: break;
        }
        if (boot_ && boot_value(v)) return;
        if (context_value(v, depth)) return;
        check_covered(v);
        if (word::is_any_word_type(t)) {
            type_byte(t, false);
            varint(symbol_index(word::symbol_of(v)));
            return;
        }
        series(v, depth);
    }

    // ---- Boot mode ----

    // A top-level record at the position.
    void top_level(const Cell* v, uint32_t position) {
        path_ = {position};
        value(v, 0);
    }

    // A definition record: the set-word, then its value.
    void definition(SymId sym, const Cell* value) {
        out.push_back(kDefinitionByte);
        type_byte(T::SetWord, false);
        varint(symbol_index(sym));
        keep_paths_ = false;
        this->value(value, 1);
        keep_paths_ = true;
    }

    // A top-level record at the position: the object's context.
    void top_level_context(NodeId ctx, uint32_t position) {
        path_ = {position};
        context_record(ctx, 0);
    }

    // The fields as the walk writes them: varints, zigzags, a flags byte.
    void head(T t, bool f, uint32_t, bool shared) {
        if (shared) out.push_back(kSharedByte);
        type_byte(t, f);
    }
    void uint(uint32_t u) { varint(u); }
    void sint(int32_t n) { varint(zigzag(n)); }
    void context_head(uint8_t flags) {
        type_byte(T::Context, false);
        out.push_back(flags);
    }
    void reference(const std::vector<uint32_t>& path) {
        varint(static_cast<uint32_t>(path.size()));
        for (uint32_t index : path) varint(index);
    }
    void head_index(uint32_t head) {
        if (head != 0) varint(head);
    }
    void raw(const uint8_t* p, size_t n) { bytes(p, n); }
    void vector_head(T elem, uint32_t unit, uint32_t count) {
        out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(elem) << 2 | (unit == 1 ? 0 : unit == 2 ? 1 : unit == 4 ? 2 : 3)));
        varint(count);
    }
    void image_size(uint32_t width, uint32_t height) {
        varint(width);
        varint(height);
    }

private:
    // Words bound to a context written at the top level name it by its position; an object
    // over such a context is a reference to that record. False for any other value.
    bool boot_value(const Cell* v) {
        const T t = cell::type_of(v);
        if (word::is_any_word_type(t) && t != T::Issue && !is_global_word(v)) {
            auto found = boot_->find(v->w1);
            if (found == boot_->end()) fire(Err::NoCodec, v);
            type_byte(t, true);
            varint(symbol_index(word::symbol_of(v)));
            varint(found->second);
            varint(zigzag(static_cast<int32_t>(v->w3)));
            return true;
        }
        if (t != T::Object) return false;
        auto found = boot_->find(object::context_of(v));
        if (found == boot_->end()) return false;
        out.push_back(kReferenceByte);
        varint(1);
        varint(found->second);
        return true;
    }

    void type_byte(T t, bool f) {
        out.push_back(static_cast<uint8_t>(static_cast<uint8_t>(t) | (f ? kFlagF : 0)));
    }
    void varint(uint32_t u) { put_varint(&out, u); }
    void u32(uint32_t u) { put_u32(&out, u); }
    void bytes(const uint8_t* p, size_t n) { out.insert(out.end(), p, p + n); }

    uint32_t symbol_index(SymId sym) { return table.index(sym); }

    // The whole number a float or time stands for, when it is one that fits the short form.
    static bool whole_float(double d, int32_t* n) {
        if (!(d >= -2147483000.0 && d <= 2147483000.0) || (d == 0.0 && std::signbit(d)))
            return false;
        *n = static_cast<int32_t>(d);
        return static_cast<double>(*n) == d;
    }
    static bool whole_percent(double d, int32_t* n) {
        if (!(d >= -21474836.0 && d <= 21474836.0) || (d == 0.0 && std::signbit(d)))
            return false;
        *n = static_cast<int32_t>(std::round(d * 100.0));
        return static_cast<double>(*n) / 100.0 == d;
    }
    void whole_or_double(const Cell* v, bool whole, int32_t n) {
        type_byte(cell::type_of(v), whole);
        if (whole) {
            varint(zigzag(n));
        } else {
            u32(v->w2);
            u32(v->w3);
        }
    }

    void series(const Cell* v, int32_t depth) {
        const T t = cell::type_of(v);
        const int32_t head = cell::head(v);
        const NodeId node = cell::node(v);
        const std::vector<uint32_t>* path = seen(node);
        if (path) out.push_back(kSharedByte);
        type_byte(t, head != 0);
        if (head != 0) varint(static_cast<uint32_t>(head));
        if (path) {
            reference(*path);
            return;
        }
        const memory::SeriesBuf* b = memory::buf(node);
        if (is_block_kind(t)) {
            varint(static_cast<uint32_t>(block::count(node)));
            cells(node, depth);
            return;
        }
        if (t == T::Binary) {
            varint(static_cast<uint32_t>(b->used()));
            bytes(memory::buf(node)->offset_ptr(), memory::buf(node)->used());
            return;
        }
        const uint32_t unit = b->unit();
        const uint32_t shift = unit == 1 ? 0 : unit == 2 ? 1 : 2;
        varint(static_cast<uint32_t>(b->used() / unit) << 2 | shift);
        bytes(memory::buf(node)->offset_ptr(), memory::buf(node)->used());
    }
};

// ---- Decoding ----

class Decoder {
public:
    Decoder(const uint8_t* start, const uint8_t* end, size_t base, NodeId receiving,
            bool boot = false)
        : start_(start), p_(start), end_(end), base_(base), receiving_(receiving), boot_(boot) {}

    void header() {
        p_ += kHeaderBytes;
        const uint8_t flags = start_[7];
        standard_ = !(flags & kFlagCompact);
        if (boot_ && standard_) bad_at(start_ + 7);  // a boot image is compact
        if (flags & ~(kFlagCompact | kFlagSymbols)) bad();
        if (standard_) u32();  // root count: informative only
        else varint();
        const uint32_t records = standard_ ? u32() : varint();
        if (flags & kFlagSymbols) {
            symbol_count_ = static_cast<uint32_t>(standard_ ? signed_word() : count());
            names_size_ = static_cast<uint32_t>(standard_ ? signed_word() : count());
            if (4ull * symbol_count_ + names_size_ > left()) bad();
            offsets_ = p_;
            names_ = p_ + 4ull * symbol_count_;
            if (names_size_ > 0 && names_[names_size_ - 1] != 0) bad();
            p_ = names_ + names_size_;
        }
        if (static_cast<int32_t>(records) < 0 || records != static_cast<size_t>(end_ - p_)) bad();
    }

    void boot_scratch(NodeId scratch) { scratch_ = scratch; }
    const std::vector<int32_t>& tops() const { return top_; }

    void records() {
        while (p_ < end_) {
            last_top_ = -1;
            if (standard_) standard_record(receiving_, 0);
            else record(receiving_, 0);
            if (last_top_ >= 0) top_.push_back(last_top_);
        }
    }

private:
    const uint8_t* start_;
    const uint8_t* p_;
    const uint8_t* end_;
    size_t base_;
    NodeId receiving_;
    bool boot_;
    // Boot mode: where each top-level record's value stands in the receiving block (makers may
    // keep roots of their own there while the image is read), and a block that takes each
    // definition's value before it moves to its word.
    std::vector<int32_t> top_;
    int32_t last_top_ = -1;
    NodeId scratch_ = 0;
    bool standard_ = false;
    std::vector<uint32_t> path_;  // the indexes of the reference path being read
    uint32_t symbol_count_ = 0;
    uint32_t names_size_ = 0;
    const uint8_t* offsets_ = nullptr;
    const uint8_t* names_ = nullptr;

    // The symbol of a varint index: within the table, its name inside the names area, NUL-ended
    // there and UTF-8.
    SymId symbol() {
        const uint8_t* at = p_;
        return symbol_at(varint(), at);
    }
    SymId symbol_at(uint32_t index, const uint8_t* at) {
        if (index >= symbol_count_) bad_at(at);
        uint32_t offset = 0;
        for (int i = 0; i < 4; i++) offset |= static_cast<uint32_t>(offsets_[4 * index + i]) << (8 * i);
        if (offset >= names_size_) bad_at(at);
        const uint8_t* name = names_ + offset;
        const size_t length = std::strlen(reinterpret_cast<const char*>(name));
        if (length == 0 || !valid_utf8(name, name + length)) bad_at(at);
        return symbol::make_utf8(name, length);
    }
    static bool valid_utf8(const uint8_t* p, const uint8_t* end) {
        while (p < end) {
            const uint8_t lead = *p;
            const int n = lead < 0x80 ? 1 : lead < 0xC2 ? 0 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3
                                                            : lead < 0xF5 ? 4 : 0;
            if (n == 0 || end - p < n) return false;
            uint32_t cp = n == 1 ? lead : lead & (0x3F >> (n - 1));
            for (int i = 1; i < n; i++) {
                if ((p[i] & 0xC0) != 0x80) return false;
                cp = cp << 6 | (p[i] & 0x3F);
            }
            if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
                (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
                return false;
            p += n;
        }
        return true;
    }

    [[noreturn]] void bad() {
        fire_int(Err::NbInvalidRecord, static_cast<int32_t>(p_ - start_) + 1);
    }
    // A bad record at `at`, where the error names it rather than where reading stands.
    [[noreturn]] void bad_at(const uint8_t* at) {
        p_ = at;
        bad();
    }
    uint8_t byte() {
        if (p_ >= end_) bad();
        return *p_++;
    }
    uint32_t varint() {
        uint32_t u = 0;
        for (int shift = 0;; shift += 7) {
            const uint8_t b = byte();
            if (shift == 28 && (b & 0xF0)) bad();
            u |= static_cast<uint32_t>(b & 0x7F) << shift;
            if (!(b & 0x80)) return u;
        }
    }
    // A varint that must not be negative read as signed.
    int32_t count() {
        const int32_t n = static_cast<int32_t>(varint());
        if (n < 0) bad();
        return n;
    }
    uint32_t u32() {
        if (end_ - p_ < 4) bad();
        uint32_t u = 0;
        for (int i = 0; i < 4; i++) u |= static_cast<uint32_t>(p_[i]) << (8 * i);
        p_ += 4;
        return u;
    }
    size_t left() const { return static_cast<size_t>(end_ - p_); }

    void append(NodeId target, const Cell* value) {
        const Cell block{static_cast<uint32_t>(T::Block), 0, target, 0};
        if (target == receiving_) last_top_ = block::count(target);
        block::append_cell(&block, value);
    }

    // The cell a compact reference path leads to.
    Cell reference() {
        const uint32_t k = varint();
        if (k == 0 || k > kMaxPath || k > left()) bad();  // each index takes a byte at least
        path_.resize(k);
        for (uint32_t i = 0; i < k; i++) path_[i] = varint();
        return resolve(p_);
    }

    // The cell the path in path_ leads to, from the first value of this document; a path that
    // leaves its containers is a bad record at `at`.
    Cell resolve(const uint8_t* at) {
        Cell reached{static_cast<uint32_t>(T::Block), 0, receiving_, 0};
        for (size_t i = 0; i < path_.size(); i++) {
            uint64_t index = path_[i];
            if (i == 0 && boot_) index = index < top_.size() ? top_[index] : ~uint64_t{0};
            else if (i == 0) index += base_;
            if (!step(&reached, index)) {
                bad_at(at);
            }
        }
        return reached;
    }

    // The type of a record's id: an id with no datatype is a bad record at `at`; the types no
    // document holds raise no-codec with the datatype.
    T record_type(uint32_t id, const uint8_t* at) {
        if (id == 0 || id > static_cast<uint32_t>(kTypeCount) ||
            id == static_cast<uint32_t>(T::Symbol) || id == static_cast<uint32_t>(T::Series)) {
            bad_at(at);
        }
        const T t = static_cast<T>(id);
        if (is_refused(t)) {
            Cell type;
            datatype::set(&type, t);
            fire(Err::NoCodec, &type);
        }
        return t;
    }

    void record(NodeId target, int32_t depth) {
        if (depth > kMaxDepth) fire(Err::TooDeep);
        bool new_line = false, shared = false, definition = false;
        uint8_t b = byte();
        for (;; b = byte()) {
            if (b == kNewLineByte) new_line = true;
            else if (b == kSharedByte) shared = true;
            else if (b == kDefinitionByte && boot_) definition = true;
            else if (b == kDefinitionByte) bad_at(p_ - 1);
            else break;
        }
        Cell v{};
        if (b >= 0x80) {
            if (shared || definition) bad_at(p_ - 1);
            if (b < 0xC0) integer::set(&v, b - kSmallInteger);
            else if (b == kTrueByte || b == kFalseByte) logic::set(&v, b == kTrueByte);
            else if (b == kReferenceByte) v = reference();
            else bad_at(p_ - 1);
            finish(target, &v, new_line);
            return;
        }
        const uint8_t* type_at = p_ - 1;
        const bool f = b & kFlagF;
        uint32_t id = b & 0x3F;
        if (id == 63) id = varint();
        if (id == static_cast<uint32_t>(T::Logic)) bad_at(type_at);  // 0xC2 and 0xC3 only
        const T t = record_type(id, type_at);
        if (boot_ && boot_record(target, t, f, shared, definition, new_line, type_at, depth)) return;
        if (definition) bad_at(type_at);
        if (with_context(target, t, f, shared, new_line, 0, depth, type_at)) return;
        if (is_block_kind(t) || is_text_kind(t) || t == T::Binary) {
            series(target, t, f, shared, new_line, depth);
            return;
        }
        if (shared) bad_at(type_at);
        if (is_immediate(t) && t != T::Time) {
            v = compact_immediate(t, f, type_at);
            finish(target, &v, new_line);
            return;
        }
        switch (t) {
            case T::Unset:
            case T::None: v = Cell{static_cast<uint32_t>(t), 0, 0, 0}; break;
            case T::Integer: integer::set(&v, unzigzag(varint())); break;
            case T::Char: {
                const uint32_t cp = varint();
                if (cp > 0x10FFFF) bad_at(type_at);
                character::set(&v, cp);
                break;
            }
            case T::Word:
            case T::SetWord:
            case T::LitWord:
            case T::GetWord:
            case T::Refinement:
            case T::Issue: {
                if (f) bad_at(type_at);  // an issue! has no context
                const SymId sym = symbol();
                if (t == T::Issue) v = Cell{static_cast<uint32_t>(t), context::global(), sym, word::kNoIndex};
                else word::make_at(sym, &v, t);
                break;
            }
            case T::Pair: {
                const uint32_t x = zigzag_word();
                v = Cell{static_cast<uint32_t>(t), 0, x, zigzag_word()};
                break;
            }
            case T::Float:
            case T::Time:
            case T::Percent: {
                double d = 0;
                if (f) {
                    const int32_t n = unzigzag(varint());
                    d = t == T::Percent ? n / 100.0 : n;
                    v = Cell{static_cast<uint32_t>(t), 0, 0, 0};
                    cell::set_double(&v, d);
                } else {
                    const uint32_t low = u32();
                    v = Cell{static_cast<uint32_t>(t), 0, low, u32()};
                }
                break;
            }
            default: bad_at(type_at);  // a context record stands only at the top of a boot image
        }
        finish(target, &v, new_line);
    }
    // ---- Boot mode ----

    // The records boot mode reads its own way: words (a definition's word among them), context
    // records, natives and actions (each the definition of its table entry) and datatypes (any
    // type id); false for any other record.
    bool boot_record(NodeId target, T t, bool f, bool shared, bool definition, bool new_line,
                     const uint8_t* type_at, int32_t depth) {
        const bool word_kind = word::is_any_word_type(t) && t != T::Issue;
        if (definition && !word_kind) bad_at(type_at);
        if (t == T::Context) {
            if (shared) bad_at(type_at);
            context_record(target, new_line, type_at, depth);
            return true;
        }
        if (t == T::Native || t == T::Action) {
            if (shared) bad_at(type_at);
            entry_record(target, t, new_line, type_at, depth);
            return true;
        }
        if (t == T::Datatype) {
            // The image defines a word for every datatype, the storage types among them.
            const uint32_t id = varint();
            if (shared || id < 1 || id > static_cast<uint32_t>(kTypeCount)) bad_at(type_at);
            Cell v;
            datatype::set(&v, static_cast<T>(id));
            finish(target, &v, new_line);
            return true;
        }
        if (!word_kind) return false;
        if (shared) bad_at(type_at);
        Cell v{};
        const SymId sym = symbol();
        if (f) {
            const uint8_t* at = p_;
            const uint32_t position = varint();
            const int32_t index = unzigzag(varint());
            const NodeId ctx = context_at(position, at);
            const int32_t slot = index == -1 ? context::find_word(ctx, sym, false) : index;
            if (slot < 0 || slot >= context::word_count(ctx) ||
                context::word_at(ctx, slot)->w2 != sym) {
                bad_at(at);
            }
            v = Cell{static_cast<uint32_t>(t), ctx, sym, static_cast<uint32_t>(slot)};
        } else {
            word::make_at(sym, &v, t);
        }
        if (!definition) {
            finish(target, &v, new_line);
            return true;
        }
        // The value lands in the scratch block, then moves to the word's slot (the word holds
        // it already), so nothing allocates between the two.
        const NodeId ctx = v.w1;
        const int32_t slot = static_cast<int32_t>(v.w3);
        const Cell value = scratch_value(type_at, depth);
        if (context::values_on_stack(ctx)) bad_at(type_at);
        *context::write_at(ctx, slot) = value;
        return true;
    }

    // The value of the next record, read through the scratch block (a definition is no value);
    // the block is used as a stack, since a value read there may hold another such record.
    Cell scratch_value(const uint8_t* at, int32_t depth) {
        const int32_t before = block::count(scratch_);
        record(scratch_, depth + 1);
        if (block::count(scratch_) != before + 1) bad_at(at);
        const Cell value = block::at(scratch_, before);
        memory::buf(scratch_)->tail -= sizeof(Cell);
        return value;
    }

    // A native! or action! of the image: its 1-based table position, then its spec block, which
    // becomes the table entry's spec (as the entry's definition) and the value's.
    void entry_record(NodeId target, T t, bool new_line, const uint8_t* type_at, int32_t depth) {
        const uint32_t index = varint();
        const uint32_t limit = t == T::Action ? kActionCount : static_cast<uint32_t>(natives::count());
        if (index < 1 || index > limit) bad_at(type_at);
        stack::Mark mark;
        Cell* held = stack::push(none::shared());
        *held = scratch_value(type_at, depth);
        if (!cell::is(held, T::Block)) bad_at(type_at);
        native::define_entry(t, held, static_cast<int32_t>(index));
        Cell* value = native::make_unchecked(stack::reserve(), t, held, static_cast<int32_t>(index));
        finish(target, value, new_line);
        mark.restore();
    }

    // The context of the object at the top-level position (counted from this document's first
    // record); anything else there is a bad record at `at`.
    NodeId context_at(uint32_t position, const uint8_t* at) {
        if (position >= top_.size()) bad_at(at);
        const Cell c = block::at(receiving_, top_[position]);
        if (!cell::is(&c, T::Object)) bad_at(at);
        return object::context_of(&c);
    }

    // A context record: flags (kind 1 or 2, values on the stack, self, values present), its
    // words, then its values when present. It reads back as an object over the context, which
    // is in the target before its values are read, so they may name it.
    void context_record(NodeId target, bool new_line, const uint8_t* type_at, int32_t depth) {
        p_ = type_at;
        std::vector<SymId> words;
        const uint8_t flags = context_head(type_at, &words);
        const uint32_t kind = flags & kContextKind;
        const bool on_stack = flags & kContextOnStack;
        if (kind == 0 || kind == 3 || (on_stack && (flags & kContextValues))) {
            bad_at(type_at);
        }
        const auto n = static_cast<int32_t>(words.size());
        stack::Mark mark;
        Cell* holder = stack::reserve();
        *holder = Cell{static_cast<uint32_t>(T::Object), 0, 0, 0};
        holder->w1 = context::make(n, on_stack, flags & kContextSelf, 0,
                                   static_cast<context::Kind>(kind));
        for (const SymId sym : words) {
            int32_t slot = 0;
            if (context::find_word_ex(holder->w1, sym, false, &slot) != -1) bad_at(type_at);
        }
        const NodeId ctx = holder->w1;
        Cell* object = object::push(ctx, object::new_class());
        if (new_line) object->header |= cell::kNewLine;
        append(target, object);
        if (flags & kContextValues) context_values(ctx, 0, n, depth, type_at);
        mark.restore();
    }

    // ---- Values with a context, and natives, actions and ops, in either form: each is made by
    // the maker `make` uses, and reaches the target before its content is read, so a reference
    // back to it from inside reaches it ----

    // Fields read alike in both forms: a varint or zigzag in the compact form, a word in the
    // standard one. Errors name `at`, the record's start.
    uint32_t field(const uint8_t* at) { return standard_ ? word_at(at) : varint(); }
    int32_t signed_field(const uint8_t* at) {
        return standard_ ? static_cast<int32_t>(word_at(at)) : unzigzag(varint());
    }
    // A count of items that take at least `least` bytes each in what is left.
    int32_t count_field(const uint8_t* at, size_t least) {
        const uint32_t n = field(at);
        if (static_cast<int32_t>(n) < 0 || static_cast<uint64_t>(n) * least > left()) bad_at(at);
        return static_cast<int32_t>(n);
    }
    SymId symbol_field(const uint8_t* at) { return symbol_at(field(at), at); }
    void any_record(NodeId target, int32_t depth) {
        if (standard_) standard_record(target, depth);
        else record(target, depth);
    }
    Cell reference_field(const uint8_t* at) { return standard_ ? standard_reference(at) : reference(); }

    // The head of a nested record (a word's owner, a function's body).
    struct Head {
        T t;
        bool f;  // compact: the F bit; standard: handler indexes follow (bit 24)
        bool shared;
        bool new_line;
    };
    Head head_of(const uint8_t* at) {
        Head h{};
        uint32_t id = 0;
        if (standard_) {
            const uint32_t w = word_at(at);
            id = w & 0xFF;
            h = Head{T::Unset, (w & kStdHandlers) != 0, (w & kStdShared) != 0, (w & kStdNewLine) != 0};
        } else {
            uint8_t b = byte();
            for (;; b = byte()) {
                if (b == kNewLineByte) h.new_line = true;
                else if (b == kSharedByte) h.shared = true;
                else break;
            }
            if (b >= 0x80) bad_at(at);
            id = b & 0x3F;
            h.f = (b & kFlagF) != 0;
        }
        if (id == 0 || id > static_cast<uint32_t>(kTypeCount)) bad_at(at);
        h.t = static_cast<T>(id);
        return h;
    }

    // A new argument-stack cell, unset: the collector may look at it before it is filled.
    static Cell* fresh_cell() {
        Cell* c = stack::reserve();
        *c = Cell{static_cast<uint32_t>(T::Unset), 0, 0, 0};
        return c;
    }

    // Runs a maker as `make` runs it; an error it raises becomes a bad record at `at`. The
    // argument stack comes back to where it stood.
    template <class Body>
    void made(const uint8_t* at, Body&& body) {
        Cell* const top = stack::g_args.top;
        std::optional<UnwindKind> failed;
        {
            frames::Owner frame(&words::w::anon, frames::kTry);
            failed = frame.run(body);
        }
        stack::g_args.top = top;
        if (failed) bad_at(at);
    }

    static bool in_cells(NodeId node, uint64_t index, Cell* reached) {
        if (node == 0 || index >= static_cast<uint64_t>(block::count(node))) return false;
        *reached = block::at(node, static_cast<int32_t>(index));
        return true;
    }
    static bool bound_elsewhere(const Cell* word) {
        return word->w1 != 0 && word->w1 != context::g_global_node;
    }
    // One step of a reference path: what `index` selects inside the value reached, or false.
    static bool step(Cell* reached, uint64_t index) {
        Cell c = *reached;
        T t = cell::type_of(&c);
        if (word::is_any_word_type(t) && t != T::Issue) {
            if (!bound_elsewhere(&c)) return false;
            if (!context::values_on_stack(c.w1)) return in_cells(context::cell_of(c.w1)->w2, index, reached);
            c = *context::owner(c.w1);  // a function's local context: the word stands for its function
            t = cell::type_of(&c);
            if (t != T::Function) return false;
        }
        switch (t) {
            case T::Native:
            case T::Action: return in_cells(native::spec_node(&c), index, reached);
            case T::Function:
            case T::Op:
                if (index == 0) {
                    *reached = block_of(native::spec_node(&c));
                    return true;
                }
                if (index != 1 || t != T::Function) return false;
                *reached = function::body_of(&c);
                return cell::is(reached, T::Block);
            case T::Object: return in_cells(context::cell_of(object::context_of(&c))->w2, index, reached);
            case T::Error:
                if (index >= static_cast<uint64_t>(kErrorFields)) return false;
                *reached = *error::field(&c, error::kArg1 + static_cast<int32_t>(index));
                return true;
            default:
                if (!is_block_kind(t) && t != T::Hash && t != T::Map) return false;
                return in_cells(cell::node(&c), index, reached);
        }
    }
    // A native's, action's, op's or function's cell, reached where a block record shares its
    // spec, becomes that spec block.
    static void as_spec(Cell* v) {
        if (native::is_any_function(cell::type_of(v))) *v = block_of(native::spec_node(v));
    }
    // The object! or function! (`t`, or either for T::Unset) owning the context of what a
    // reference reached: the value itself, an op! of the function, or a word of its context.
    Cell owner_of(const Cell& reached, T t, const uint8_t* at) {
        Cell c = reached;
        const T r = cell::type_of(&c);
        if (r == T::Op && native::op_source(&c) == T::Function) {
            c.header = static_cast<uint32_t>(T::Function);
        } else if (word::is_any_word_type(r) && r != T::Issue) {
            if (!bound_elsewhere(&c)) bad_at(at);
            c = *context::owner(c.w1);
        }
        const T o = cell::type_of(&c);
        if (t == T::Unset ? o != T::Object && o != T::Function : o != t) bad_at(at);
        c.header = static_cast<uint32_t>(o);
        return c;
    }
    // Binds the word to the context: its index lies in the context and names its symbol (-1:
    // no index, as `self` has).
    void bind_to(Cell* w, NodeId ctx, const uint8_t* at) {
        const auto index = static_cast<int32_t>(w->w3);
        if (index != -1 &&
            (index < 0 || index >= context::word_count(ctx) ||
             symbol::resolve(word::symbol_of(context::word_at(ctx, index))) != symbol::resolve(w->w2))) {
            bad_at(at);
        }
        w->w1 = ctx;
    }

    bool with_context(NodeId target, T t, bool f, bool shared, bool new_line, uint32_t h, int32_t depth,
                      const uint8_t* at) {
        if (depth > kMaxDepth) fire(Err::TooDeep);
        const auto place = [&](const Cell& made_value) {
            Cell v = made_value;
            finish(target, &v, new_line);
        };
        switch (t) {
            case T::Object:
            case T::Function:
                if (shared) place(owner_of(reference_field(at), t, at));
                else if (t == T::Object) object_body(f, place, depth, at);
                else function_body(place, depth, at);
                return true;
            case T::Error: if (shared) bad_at(at); error_body(target, new_line, depth, at); return true;
            case T::Bitset:
            case T::Vector:
            case T::Hash:
            case T::Map:
            case T::Image: buffer_body(target, t, f, shared, new_line, h, depth, at); return true;
            case T::Native:
            case T::Action:
            case T::Op: {
                if (shared) bad_at(at);
                const int32_t index = t == T::Op ? 0 : count_field(at, 0);
                // The spec (or the op's source) is read where the value will stand.
                const int32_t position = block::count(target);
                any_record(target, depth + 1);
                Cell inner = block::at(target, position);
                const T it = cell::type_of(&inner);
                if (t == T::Op ? (it != T::Native && it != T::Action && it != T::Function) ||
                                     (standard_ && (h >> kStdSourceShift & 0xFF) != static_cast<uint32_t>(it))
                               : it != T::Block) {
                    bad_at(at);
                }
                stack::Mark mark;
                Cell* out = fresh_cell();
                made(at, [&] {
                    if (t == T::Op) native::op_make(out, &inner, t);
                    else native::make_value(out, t, &inner, index, &inner);
                });
                if (new_line) out->header |= cell::kNewLine;
                block::write_cells(target)[position] = *out;
                mark.restore();
                return true;
            }
            default:
                if (!word::is_any_word_type(t) || t == T::Issue || !f) return false;
                bound_word(target, t, shared, new_line, depth, at);
                return true;
        }
    }

    void bound_word(NodeId target, T t, bool shared, bool new_line, int32_t depth, const uint8_t* at) {
        const SymId sym = symbol_field(at);
        const int32_t index = signed_field(at);
        Cell w{static_cast<uint32_t>(t) | (new_line ? cell::kNewLine : 0), 0, sym, static_cast<uint32_t>(index)};
        if (shared) {
            bind_to(&w, owner_of(reference_field(at), T::Unset, at).w1, at);
            append(target, &w);
            return;
        }
        // The word stands in the target before its owner's content is read: references to the
        // owner lead to the word.
        const Head h = head_of(at);
        if (h.shared || h.new_line || (h.t != T::Object && h.t != T::Function)) bad_at(at);
        const auto place = [&](const Cell& owner) {
            bind_to(&w, owner.w1, at);
            append(target, &w);
        };
        if (h.t == T::Object) object_body(h.f, place, depth + 1, at);
        else function_body(place, depth + 1, at);
    }

    // A context record's flags (as the compact form holds them) and the symbol of each word.
    uint8_t context_head(const uint8_t* at, std::vector<SymId>* words) {
        uint8_t flags = 0;
        if (standard_) {
            const uint32_t h = word_at(at);
            if ((h & 0xFF) != static_cast<uint32_t>(T::Context) || (h & 0x00FFFF00)) bad_at(at);
            flags = static_cast<uint8_t>((h >> 26 & 3) | (h >> 29 & 1) << 2 | (h >> 28 & 1) << 3 | (h >> 30 & 1) << 4);
        } else {
            if (byte() != static_cast<uint8_t>(T::Context)) bad_at(at);
            flags = byte();
            if (flags & ~(kContextKind | kContextOnStack | kContextSelf | kContextValues)) bad_at(at);
        }
        const int32_t n = count_field(at, 1);
        if (n > object::kMaxFields) bad_at(at);
        for (int32_t i = 0; i < n; i++) words->push_back(symbol_field(at));
        return flags;
    }

    template <class Place>
    void object_body(bool f, const Place& place, int32_t depth, const uint8_t* at) {
        signed_field(at);  // the writer's class, which names nothing here: the object gets none
        int32_t handlers[2] = {-1, -1};
        for (int32_t which = 0; f && which < 2; which++) handlers[which] = signed_field(at);
        std::vector<SymId> words;
        const uint8_t flags = context_head(at, &words);
        if ((flags & kContextKind) != static_cast<uint8_t>(context::Kind::Object) || (flags & kContextOnStack)) {
            bad_at(at);
        }
        const auto n = static_cast<int32_t>(words.size());
        stack::Mark mark;
        Cell* object = object::make_empty(fresh_cell(), n);
        const Cell unset{static_cast<uint32_t>(T::Unset), 0, 0, 0};
        for (int32_t i = 0; i < n; i++)
            if (object::add_field(object, words[i], &unset) != i) bad_at(at);  // a word twice
        const NodeId ctx = object::context_of(object);
        object->w2 = static_cast<uint32_t>(kNoClass);
        *context::owner(ctx) = *object;
        if (f) {
            // The handler indexes name the handler fields; the record takes their /local counts
            // when they first run.
            const SymId names[2] = {words::w::on_change_star.w2, words::w::on_deep_change_star.w2};
            for (int32_t which = 0; which < 2; which++)
                if (handlers[which] != object::find_symbol(object, names[which])) bad_at(at);
            if (handlers[0] < 0 && handlers[1] < 0) bad_at(at);
            object::attach_record(ctx, handlers[0], 0, handlers[1], 0);
        }
        place(*object);
        if (flags & kContextValues) context_values(ctx, 0, n, depth, at);
        for (int32_t which = 0; f && which < 2; which++)
            if (handlers[which] >= 0 && !cell::is(context::values_at(ctx, handlers[which]), T::Function)) {
                bad_at(at);
            }
        // The record made the object an owner while its fields were empty: it now owns their series.
        for (int32_t i = 0; f && handlers[1] >= 0 && i < n; i++) {
            Cell value = *context::values_at(ctx, i);
            const Cell word = *context::word_at(ctx, i);
            ownership::bind(&value, object, &word);
        }
        mark.restore();
    }

    // Values `from` .. from + n - 1 of the context, each read straight into its slot, so a
    // reference to an earlier value, or to a series of this value still being read, reaches it.
    // The values after them are kept; a failure leaves every slot filled.
    void context_values(NodeId ctx, int32_t from, int32_t n, int32_t depth, const uint8_t* at) {
        const NodeId values = context::cell_of(ctx)->w2;
        const int32_t total = block::count(values);
        if (total < from + n) bad_at(at);
        const std::vector<Cell> kept(block::raw_cells(values) + from + n, block::raw_cells(values) + total);
        const Cell unset{static_cast<uint32_t>(T::Unset), 0, 0, 0};
        watch::series_written(values);
        memory::buf(values)->tail = memory::buf(values)->offset + static_cast<size_t>(from) * sizeof(Cell);
        try {
            for (int32_t i = 0; i < n; i++) any_record(values, depth + 1);
        } catch (...) {
            while (block::count(values) < from + n) append(values, &unset);
            for (const Cell& c : kept) append(values, &c);
            throw;
        }
        for (const Cell& c : kept) append(values, &c);
        if (block::count(values) != total) bad_at(at);
    }

    template <class Place>
    void function_body(const Place& place, int32_t depth, const uint8_t* at) {
        const int32_t spec_cells = count_field(at, 0);
        const int32_t body_cells = count_field(at, 0);
        std::vector<SymId> words;
        const uint8_t flags = context_head(at, &words);
        if ((flags & kContextKind) != static_cast<uint8_t>(context::Kind::Function) ||
            !(flags & kContextOnStack) || (flags & kContextValues)) {
            bad_at(at);
        }
        stack::Mark mark;
        Cell* scratch = block::make_at(fresh_cell(), 1);
        any_record(cell::node(scratch), depth + 1);
        const Cell spec = block::at(cell::node(scratch), 0);
        if (!cell::is(&spec, T::Block) || block::count(cell::node(&spec)) != spec_cells) bad_at(at);
        Cell* fn = fresh_cell();
        made(at, [&] {
            Cell* empty = block::push_new(1);
            const uint32_t attributes = function::validate_spec(&spec);
            function::make_value(&spec, empty, 0, 0, 0, attributes);
            *fn = *stack::top();
        });
        // The context the spec makes must be the one written.
        const NodeId ctx = function::context_of(fn);
        if (context::word_count(ctx) != static_cast<int32_t>(words.size())) bad_at(at);
        for (size_t i = 0; i < words.size(); i++)
            if (word::symbol_of(context::word_at(ctx, static_cast<int32_t>(i))) != words[i]) bad_at(at);
        place(*fn);
        // The body: a block record, read into the function's own body block.
        const Head h = head_of(at);
        if (h.t != T::Block) bad_at(at);
        const int32_t head = standard_ || h.f ? count_field(at, 0) : 0;
        Cell body{static_cast<uint32_t>(T::Block) | (h.new_line ? cell::kNewLine : 0), static_cast<uint32_t>(head),
                  cell::node(function::info(fn, function::Info::Body)), 0};
        if (h.shared) {
            Cell reached = reference_field(at);
            as_spec(&reached);
            if (!is_block_kind(cell::type_of(&reached))) bad_at(at);
            body.w2 = cell::node(&reached);
        }
        block::write_cells(function::info_node(fn))[static_cast<int32_t>(function::Info::Body)] = body;
        if (!h.shared) {
            const int32_t n = count_field(at, standard_ ? 4 : 1);
            if (n != body_cells) bad_at(at);
            for (int32_t i = 0; i < n; i++) any_record(body.w2, depth + 1);
        }
        mark.restore();
    }

    // The bytes of a payload of `size` bytes, taking `span` bytes of the input.
    const uint8_t* payload(uint64_t size, const uint8_t* at) {
        const uint64_t span = standard_ ? (size + 3) & ~uint64_t{3} : size;
        if (span > left()) bad_at(at);
        const uint8_t* bytes = p_;
        p_ += span;
        return bytes;
    }
    // An element type and size a vector! holds.
    static bool vector_kind(uint32_t elem, uint32_t unit) {
        switch (static_cast<T>(elem)) {
            case T::Char:
            case T::Integer: return unit == 1 || unit == 2 || unit == 4;
            case T::Float: return unit == 4 || unit == 8;
            case T::Percent: return unit == 8;
            default: return false;
        }
    }

    void buffer_body(NodeId target, T t, bool f, bool shared, bool new_line, uint32_t h, int32_t depth,
                     const uint8_t* at) {
        const bool has_head = t == T::Vector || t == T::Hash || t == T::Image;
        const int32_t head = has_head && (standard_ || f) ? count_field(at, 0) : 0;
        const uint32_t nl = new_line ? cell::kNewLine : 0;
        stack::Mark mark;
        Cell* v = fresh_cell();
        if (shared) {
            *v = reference_field(at);
            if (!cell::is(v, t)) bad_at(at);
            v->header = static_cast<uint32_t>(t) | nl;
            if (has_head) cell::set_head(v, head);
            append(target, v);
            mark.restore();
            return;
        }
        switch (t) {
            case T::Bitset: {
                const int32_t n = count_field(at, 1);
                if (static_cast<size_t>(n) > bitset::kMaxBytes) bad_at(at);
                const uint8_t* bytes = payload(static_cast<uint64_t>(n), at);
                bitset::make_at(v, static_cast<size_t>(n), 0, standard_ ? (h & kStdComplemented) != 0 : f);
                if (n) std::memcpy(bitset::bits(v), bytes, static_cast<size_t>(n));
                break;
            }
            case T::Vector: {
                uint32_t elem = 0, unit = 0, count = 0;
                if (standard_) {
                    count = field(at);
                    elem = field(at);
                    unit = h >> 8 & 0xFF;
                } else {
                    const uint8_t kind = byte();
                    elem = kind >> 2;
                    unit = 1u << (kind & 3);
                    count = field(at);
                }
                if (!vector_kind(elem, unit)) bad_at(at);
                const uint64_t size = uint64_t{count} * unit;
                const uint8_t* bytes = payload(size, at);
                vector::make_at(v, count, static_cast<T>(elem), unit);
                memory::SeriesBuf* buf = memory::buf_of(v);
                if (size) std::memcpy(buf->offset_ptr(), bytes, size);
                buf->tail = buf->offset + size;
                cell::set_head(v, head);
                break;
            }
            case T::Image: {
                uint32_t width = 0, height = 0;
                if (standard_) {
                    const uint32_t size = field(at);
                    width = size & 0xFFFF;
                    height = size >> 16;
                } else {
                    width = field(at);
                    height = field(at);
                }
                const uint64_t pixels = uint64_t{width} * height;
                if (width > static_cast<uint32_t>(image::kMaxSide) || height > static_cast<uint32_t>(image::kMaxSide) ||
                    static_cast<uint64_t>(head) > pixels) {
                    bad_at(at);
                }
                const uint8_t* bytes = payload(pixels * 4, at);
                image::make_filled(v, static_cast<int32_t>(width), static_cast<int32_t>(height), 0);
                if (image::Record* r = image::record_of(v)) std::memcpy(r->data, bytes, pixels * 4);
                cell::set_head(v, head);
                break;
            }
            case T::Hash: {
                // Made indexed and empty, the cells read into it, then indexed whole.
                const int32_t n = count_field(at, standard_ ? 4 : 1);
                block::make_at(v, n);
                hash_block::index(v, n);
                v->header |= nl;
                cell::set_head(v, head);
                append(target, v);
                const Cell hash = *v;
                mark.restore();
                for (int32_t i = 0; i < n; i++) any_record(cell::node(&hash), depth + 1);
                hashtable::rebuild(hash_block::index_of(&hash));
                return;
            }
            default: {  // map!: the pairs read into its body, then indexed
                const int32_t n = count_field(at, standard_ ? 4 : 1);
                if (n % 2) bad_at(at);
                map::make_at(v, nullptr, n / 2);
                v->header |= nl;
                append(target, v);
                const Cell made_map = *v;
                mark.restore();
                const NodeId body = map::body_of(&made_map);
                for (int32_t i = 0; i < n; i++) {
                    const uint8_t* key_at = p_;
                    any_record(body, depth + 1);
                    if (i % 2 == 0 && !map::is_key_type(cell::type_of(block::raw_cells(body) + i))) {
                        bad_at(key_at);
                    }
                }
                hashtable::put_cell(map::table_of(&made_map), 0, 2);
                return;
            }
        }
        v->header |= nl;
        append(target, v);
        mark.restore();
    }

    void error_body(NodeId target, bool new_line, int32_t depth, const uint8_t* at) {
        const uint32_t code = field(at);
        if (code > 0xFFFF) bad_at(at);
        stack::Mark mark;
        Cell* error = fresh_cell();
        made(at, [&] { error::make_at(error, static_cast<Err>(code)); });
        Cell v = *error;
        finish(target, &v, new_line);
        context_values(object::context_of(error), error::kArg1, kErrorFields, depth, at);
        mark.restore();
    }

    // ---- Values kept whole in the cell: each is checked as its makers would build it ----

    // An id a datatype! may name: every datatype word names one, `symbol!` and `series!` too,
    // though no record is of those types.
    static bool is_type_id(uint32_t id) { return id >= 1 && id <= static_cast<uint32_t>(kTypeCount); }
    // A money! of the 12 payload bytes: a currency of the list (or none) and decimal digits.
    bool money_at(const uint8_t* bytes, bool negative, Cell* v) {
        if (bytes[0] != 0 && money::currency_symbol(bytes[0]) == 0) return false;
        for (size_t i = 1; i < kMoneyBytes; i++)
            if ((bytes[i] >> 4) > 9 || (bytes[i] & 0xF) > 9) return false;
        *v = Cell{static_cast<uint32_t>(T::Money) | (negative ? money::kSignBit : 0), 0, 0, 0};
        std::memcpy(reinterpret_cast<uint8_t*>(v) + 4, bytes, kMoneyBytes);
        return true;
    }
    // A date! of the word and stored time: a calendar day, the time present as the flag says,
    // and the local time of day within the day.
    static bool date_at(uint32_t word, double time, Cell* v) {
        const int32_t month = date::month_of(word), day = date::day_of(word);
        if (month < 1 || month > 12 || day < 1 || day > date::month_length(date::year_of(word), month))
            return false;
        if (date::has_time(word)) {
            const double local = time + date::zone_seconds(word);
            if (!(local >= 0.0 && local < date::kSecondsPerDay)) return false;
        } else if (time != 0.0) {
            return false;
        }
        date::init_cell(word, time, v);
        return true;
    }
    // A tuple! of `size` bytes (3..12), none set past the size.
    static bool tuple_at(int32_t size, const uint8_t* bytes, Cell* v) {
        if (size < tuple::kMinSize || size > tuple::kMaxSize) return false;
        for (int32_t i = size; i < tuple::kMaxSize; i++)
            if (bytes[i] != 0) return false;
        uint32_t words[3];
        payload_words(bytes, words);
        tuple::set(v, size, words[0], words[1], words[2]);
        return true;
    }
    void read_bytes(uint8_t* out, size_t n) {
        if (left() < n) bad();
        std::memcpy(out, p_, n);
        p_ += n;
    }
    // The compact payload of a value kept in the cell.
    Cell compact_immediate(T t, bool f, const uint8_t* type_at) {
        Cell v{};
        uint8_t bytes[12] = {};
        bool valid = true;
        switch (t) {
            case T::Datatype: {
                const uint32_t id = varint();
                valid = is_type_id(id);
                if (valid) datatype::set(&v, static_cast<T>(id));
                break;
            }
            case T::Typeset: {
                const uint8_t n = byte();
                if (n > kTypesetBytes) bad_at(type_at);
                read_bytes(bytes, n);
                uint32_t words[3];
                payload_words(bytes, words);
                v = Cell{static_cast<uint32_t>(t), words[0], words[1], words[2]};
                break;
            }
            case T::Tuple: {
                const int32_t size = f ? byte() : 3;
                if (size < tuple::kMinSize || size > tuple::kMaxSize) bad_at(type_at);
                read_bytes(bytes, static_cast<size_t>(size));
                valid = tuple_at(size, bytes, &v);
                break;
            }
            case T::Money:
                read_bytes(bytes, kMoneyBytes);
                valid = money_at(bytes, f, &v);
                break;
            case T::Date: {
                const uint32_t word = u32();
                double time = 0;
                if (date::has_time(word) != f) bad_at(type_at);
                if (f) {
                    const uint32_t low = u32();
                    const Cell halves{0, 0, low, u32()};
                    time = cell::get_double(&halves);
                }
                valid = date_at(word, time, &v);
                break;
            }
            case T::Point2D: {
                const uint32_t x = u32();
                v = Cell{static_cast<uint32_t>(t), x, u32(), 0};
                break;
            }
            default: {  // point3D!
                const uint32_t x = u32();
                const uint32_t y = u32();
                v = Cell{static_cast<uint32_t>(t), x, y, u32()};
                break;
            }
        }
        if (!valid) bad_at(type_at);
        return v;
    }
    // The standard payload of a value kept in the cell, after its header word `h`.
    Cell standard_immediate(T t, uint32_t h, const uint8_t* record_at) {
        Cell v{};
        uint8_t bytes[12];
        bool valid = true;
        auto words3 = [&] {
            for (int w = 0; w < 3; w++) {
                const uint32_t word = word_at(record_at);
                for (int i = 0; i < 4; i++) bytes[4 * w + i] = static_cast<uint8_t>(word >> (8 * i));
            }
        };
        switch (t) {
            case T::Datatype: {
                const uint32_t id = word_at(record_at);
                valid = is_type_id(id);
                if (valid) datatype::set(&v, static_cast<T>(id));
                break;
            }
            case T::Typeset: {
                const uint32_t w1 = word_at(record_at);
                const uint32_t w2 = word_at(record_at);
                v = Cell{static_cast<uint32_t>(t), w1, w2, word_at(record_at)};
                break;
            }
            case T::Tuple: words3(); valid = tuple_at(static_cast<int32_t>(h >> 8 & 0xFF), bytes, &v); break;
            case T::Money: words3(); valid = money_at(bytes, h & kStdMoneySign, &v); break;
            case T::Date: {
                const uint32_t word = word_at(record_at);
                const uint32_t high = word_at(record_at);
                const Cell halves{0, 0, word_at(record_at), high};
                valid = date_at(word, cell::get_double(&halves), &v);
                break;
            }
            case T::Point2D: {
                const uint32_t x = word_at(record_at);
                v = Cell{static_cast<uint32_t>(t), x, word_at(record_at), 0};
                break;
            }
            default: {  // point3D!
                const uint32_t x = word_at(record_at);
                const uint32_t y = word_at(record_at);
                v = Cell{static_cast<uint32_t>(t), x, y, word_at(record_at)};
                break;
            }
        }
        if (!valid) bad_at(record_at);
        return v;
    }

    // ---- The standard form: errors name the record's first byte ----

    int32_t signed_word() {
        const int32_t n = static_cast<int32_t>(u32());
        if (n < 0) bad();
        return n;
    }
    uint32_t word_at(const uint8_t* record_at) {
        if (end_ - p_ < 4) bad_at(record_at);
        return u32();
    }
    // A reference record: header word 255, count, the indexes.
    Cell standard_reference(const uint8_t* record_at) {
        if (word_at(record_at) != kStdReference) bad_at(record_at);
        return standard_path(record_at);
    }
    Cell standard_path(const uint8_t* record_at) {
        const uint32_t k = word_at(record_at);
        if (k == 0 || k > kMaxPath || 4ull * k > left()) bad_at(record_at);
        path_.resize(k);
        for (uint32_t i = 0; i < k; i++) path_[i] = u32();
        return resolve(record_at);
    }

    void standard_record(NodeId target, int32_t depth) {
        if (depth > kMaxDepth) fire(Err::TooDeep);
        const uint8_t* record_at = p_;
        uint32_t h = word_at(record_at);
        while ((h & 0xFF) == 0) {  // padding words
            if (p_ == end_) bad_at(record_at);
            h = word_at(p_);
        }
        const uint32_t id = h & 0xFF;
        const bool new_line = h & kStdNewLine;
        const bool shared = h & kStdShared;
        Cell v{};
        if (id == kStdReference) {
            v = standard_path(record_at);
            finish(target, &v, new_line);
            return;
        }
        const T t = record_type(id, record_at);
        const bool f = word::is_any_word_type(t) ? !(h & kStdGlobal) : (h & kStdHandlers) != 0;
        if (with_context(target, t, f, shared && t != T::Op, new_line, h, depth, record_at)) return;
        if (is_block_kind(t) || is_text_kind(t) || t == T::Binary) {
            standard_series(target, t, h, record_at, depth);
            return;
        }
        if (shared) bad_at(record_at);
        if (is_immediate(t) && t != T::Time) {
            v = standard_immediate(t, h, record_at);
            finish(target, &v, new_line);
            return;
        }
        switch (t) {
            case T::Unset:
            case T::None: v = Cell{id, 0, 0, 0}; break;
            case T::Logic: logic::set(&v, word_at(record_at) != 0); break;
            case T::Integer: integer::set(&v, static_cast<int32_t>(word_at(record_at))); break;
            case T::Char: {
                const uint32_t cp = word_at(record_at);
                if (cp > 0x10FFFF) bad_at(record_at);
                character::set(&v, cp);
                break;
            }
            case T::Pair: {
                const uint32_t x = word_at(record_at);
                v = Cell{id, 0, x, word_at(record_at)};
                break;
            }
            case T::Float:
            case T::Time:
            case T::Percent: {
                const uint32_t high = word_at(record_at);
                v = Cell{id, 0, word_at(record_at), high};
                break;
            }
            case T::Word:
            case T::SetWord:
            case T::LitWord:
            case T::GetWord:
            case T::Refinement: {
                const uint32_t index = word_at(record_at);
                word_at(record_at);  // the word's slot: a global word is looked up by its symbol
                if (!(h & kStdGlobal)) bad_at(record_at);
                word::make_at(symbol_at(index, record_at), &v, t);
                break;
            }
            case T::Issue: {
                const SymId sym = symbol_at(word_at(record_at), record_at);
                v = Cell{id, context::global(), sym, word::kNoIndex};
                break;
            }
            default: bad_at(record_at);  // a context record stands only at the top of a boot image
        }
        finish(target, &v, new_line);
    }

    void standard_series(NodeId target, T t, uint32_t h, const uint8_t* record_at, int32_t depth) {
        const bool new_line = h & kStdNewLine;
        const int32_t head = static_cast<int32_t>(word_at(record_at));
        if (head < 0) bad_at(record_at);
        stack::Mark mark;
        Cell* v = fresh_cell();
        if (h & kStdShared) {
            *v = standard_reference(record_at);
            shared_record(target, v, t, head, new_line, record_at);
            mark.restore();
            return;
        }
        const uint32_t n = word_at(record_at);
        if (is_block_kind(t)) {
            if (4ull * n > left()) bad_at(record_at);  // a record is a word at least
            block::make_at(v, static_cast<int32_t>(n));
            v->header = static_cast<uint32_t>(t) | (new_line ? cell::kNewLine : 0);
            cell::set_head(v, head);
            append(target, v);
            const NodeId node = cell::node(v);
            mark.restore();
            for (uint32_t i = 0; i < n; i++) standard_record(node, depth + 1);
            return;
        }
        const uint32_t unit = (h >> 8) & 0xFF;
        if (t == T::Binary ? unit != 1 : unit != 1 && unit != 2 && unit != 4) bad_at(record_at);
        const uint64_t size = static_cast<uint64_t>(n) * unit;
        text_record(target, v, t, size, (size + 3) & ~uint64_t{3}, unit, head, new_line, record_at);
        mark.restore();
    }

    // The text or binary of `size` bytes at the reading position, which moves on `span` bytes:
    // `v` becomes it and is appended to the target. Code points above U+10FFFF are refused.
    void text_record(NodeId target, Cell* v, T t, uint64_t size, uint64_t span, uint32_t unit,
                     int32_t head, bool new_line, const uint8_t* record_at) {
        if (span > left()) bad_at(record_at);
        if (unit == 4) {
            for (uint64_t i = 0; i < size; i += 4) {
                uint32_t cp;
                std::memcpy(&cp, p_ + i, 4);
                if (cp > 0x10FFFF) bad_at(record_at);
            }
        }
        const uint8_t* bytes = p_;
        p_ += span;
        // The input is a private copy, so the bytes stay put while the series is made.
        if (t == T::Binary) binary::make_at(v, size);
        else string::make_at_unit(v, size / unit, unit);
        memory::SeriesBuf* buf = memory::buf_of(v);
        if (size) std::memcpy(buf->offset_ptr(), bytes, size);
        buf->tail = buf->offset + size;
        v->header = static_cast<uint32_t>(t) | (new_line ? cell::kNewLine : 0);
        cell::set_head(v, head);
        append(target, v);
    }

    // `v` holds the cell a shared record's path reached: it must be of the record's storage kind
    // (a text record never takes a block's node); retyped and at the record's head, it is
    // appended to the target.
    void shared_record(NodeId target, Cell* v, T t, int32_t head, bool new_line,
                       const uint8_t* record_at) {
        if (is_block_kind(t)) as_spec(v);
        const T reached = cell::type_of(v);
        const bool fits = is_block_kind(t)  ? is_block_kind(reached)
                          : is_text_kind(t) ? is_text_kind(reached)
                                            : reached == T::Binary;
        if (!fits) bad_at(record_at);
        v->header = static_cast<uint32_t>(t) | (new_line ? cell::kNewLine : 0);
        cell::set_head(v, head);
        append(target, v);
    }

    uint32_t zigzag_word() { return static_cast<uint32_t>(unzigzag(varint())); }

    void finish(NodeId target, Cell* v, bool new_line) {
        if (new_line) v->header |= cell::kNewLine;
        append(target, v);
    }

    void series(NodeId target, T t, bool f, bool shared, bool new_line, int32_t depth) {
        const uint8_t* record_at = p_;
        const int32_t head = f ? count() : 0;
        stack::Mark mark;
        Cell* v = fresh_cell();
        if (shared) {
            *v = reference();
            shared_record(target, v, t, head, new_line, record_at);
            mark.restore();
            return;
        }
        if (is_block_kind(t)) {
            const int32_t n = count();
            if (static_cast<size_t>(n) > left()) bad_at(record_at);  // a record is a byte at least
            block::make_at(v, n);
            v->header = static_cast<uint32_t>(t) | (new_line ? cell::kNewLine : 0);
            cell::set_head(v, head);
            append(target, v);
            const NodeId node = cell::node(v);
            mark.restore();
            for (int32_t i = 0; i < n; i++) record(node, depth + 1);
            return;
        }
        uint64_t size = 0;
        uint32_t unit = 1;
        if (t == T::Binary) {
            size = varint();
        } else {
            const uint32_t field = varint();
            if ((field & 3) == 3) bad_at(record_at);
            unit = 1u << (field & 3);
            size = static_cast<uint64_t>(field >> 2) * unit;
        }
        text_record(target, v, t, size, size, unit, head, new_line, record_at);
        mark.restore();
    }
};

// A document whose rest is an LZ77 container, unpacked: the rest unpacked into a tracked buffer
// with 8 bytes to spare, which then takes the header in front (its packed flag cleared) and is
// freed with this. `bytes` stays null when the container does not unpack.
struct Unpacked {
    uint8_t* bytes = nullptr;
    size_t size = 0;

    Unpacked() = default;
    Unpacked(const Unpacked&) = delete;
    Unpacked& operator=(const Unpacked&) = delete;
    ~Unpacked() {
        if (bytes) memory::tracked_free(bytes);
    }
    bool unpack(const uint8_t* doc, size_t length) {
        uint32_t produced = 0;
        bytes = lz77::decompress_data(doc + kHeaderBytes, length - kHeaderBytes, &produced);
        if (!bytes) return false;
        std::memmove(bytes + kHeaderBytes, bytes, produced);
        std::memcpy(bytes, doc, kHeaderBytes);
        bytes[7] &= static_cast<uint8_t>(~kFlagPacked);
        size = kHeaderBytes + produced;
        return true;
    }
};

// The compact header, the symbol table and the encoder's records.
std::vector<uint8_t> compact_document(const Encoder& encoder, size_t roots) {
    std::vector<uint8_t> doc(kMagic, kMagic + 6);
    doc.push_back(1);
    const bool with_symbols = !encoder.table.symbols.empty();
    doc.push_back(with_symbols ? kFlagCompact | kFlagSymbols : kFlagCompact);
    put_varint(&doc, roots);
    put_varint(&doc, encoder.out.size());
    if (with_symbols) {
        put_varint(&doc, encoder.table.symbols.size());
        put_varint(&doc, encoder.table.names.size());
        for (uint32_t offset : encoder.table.offsets) put_u32(&doc, offset);
        doc.insert(doc.end(), encoder.table.names.begin(), encoder.table.names.end());
    }
    doc.insert(doc.end(), encoder.out.begin(), encoder.out.end());
    return doc;
}


}  // namespace

void encode_compact(const Cell* value, Cell* result) {
    Encoder encoder;
    encoder.value(value, 0);
    const std::vector<uint8_t> doc = compact_document(encoder, 1);
    binary::load(doc.data(), doc.size(), result);
}

void encode_standard(const Cell* value, Cell* result) {
    StandardEncoder encoder;
    encoder.value(value, 0);
    std::vector<uint8_t> doc(kMagic, kMagic + 6);
    const SymbolTable& table = encoder.table;
    const bool with_symbols = !table.symbols.empty();
    auto u32 = [&doc](size_t u) { put_u32(&doc, u); };
    doc.push_back(1);
    doc.push_back(with_symbols ? kFlagSymbols : 0);
    u32(1);  // root count
    u32(encoder.out.size());
    if (with_symbols) {
        // Each name is padded with zero bytes to a multiple of 8 within the names area.
        std::vector<uint8_t> names;
        std::vector<uint32_t> offsets;
        for (size_t i = 0; i < table.symbols.size(); i++) {
            offsets.push_back(static_cast<uint32_t>(names.size()));
            const uint8_t* name = table.names.data() + table.offsets[i];
            names.insert(names.end(), name, name + std::strlen(reinterpret_cast<const char*>(name)) + 1);
            while (names.size() % 8) names.push_back(0);
        }
        u32(table.symbols.size());
        u32(names.size());
        for (uint32_t offset : offsets) u32(offset);
        doc.insert(doc.end(), names.begin(), names.end());
    }
    doc.insert(doc.end(), encoder.out.begin(), encoder.out.end());
    binary::load(doc.data(), doc.size(), result);
}

void decode_boot(const uint8_t* data, size_t length, Cell* receiving, std::vector<int32_t>* tops) {
    if (length < kHeaderBytes || std::memcmp(data, kMagic, sizeof kMagic) != 0) {
        fire(Err::InvalidData, binary::load(data, std::min(length, kHeaderBytes), stack::reserve()));
    }
    Unpacked unpacked;
    if (data[7] & kFlagPacked) {
        if (!unpacked.unpack(data, length))
            fire(Err::InvalidData, binary::load(data, kHeaderBytes, stack::reserve()));
        data = unpacked.bytes;
        length = unpacked.size;
    }
    Decoder decoder(data, data + length, static_cast<size_t>(block::count(cell::node(receiving))),
                    cell::node(receiving), true);
    const stack::Mark mark;
    decoder.boot_scratch(cell::node(block::make_at(stack::reserve(), 1)));
    decoder.header();
    decoder.records();
    if (tops) *tops = decoder.tops();
    mark.restore();
}

namespace {

[[noreturn]] void boot_failed(const std::string& line) {
    output::write_text(line.data(), line.size());
    output::write_text("\n", 1);
    std::fflush(stdout);
    std::_Exit(1);
}

}  // namespace

void load_boot(const uint8_t* image, size_t length, std::vector<int32_t>* tops) {
    if (length < kHeaderBytes || std::memcmp(image, kMagic, sizeof kMagic) != 0)
        boot_failed("Error: Not a Nuvbin file!");
    const bool auto_root = roots::auto_root();
    roots::set_auto_root(false);
    frames::Owner frame(&words::w::anon, frames::kTry);
    const stack::Mark mark;
    const auto failed = frame.run([&] { decode_boot(image, length, roots::root(), tops); });
    mark.restore();
    roots::set_auto_root(auto_root);
    if (!failed) return;
    // The container is the one part that may fail with invalid-data once the magic is right.
    if (raised().id == Err::InvalidData) boot_failed("Error: Nuvbin compressed data corrupted!");
    boot_failed(system_object::list_report(raised()));
}

struct BootWriter::State {
    Encoder encoder;
    std::unordered_map<NodeId, uint32_t> contexts;
    uint32_t records = 0;
};

BootWriter::BootWriter() : state_(new State) { state_->encoder.boot_ = &state_->contexts; }
BootWriter::~BootWriter() = default;

void BootWriter::define(uint32_t sym, const Cell* value) {
    state_->encoder.definition(sym, value);
}

uint32_t BootWriter::context(const Cell* object) {
    const NodeId ctx = object::context_of(object);
    state_->contexts.emplace(ctx, state_->records);
    state_->encoder.top_level_context(ctx, state_->records);
    return state_->records++;
}

uint32_t BootWriter::value(const Cell* value) {
    state_->encoder.top_level(value, state_->records);
    return state_->records++;
}

std::vector<uint8_t> BootWriter::document() const {
    return compact_document(state_->encoder, state_->records);
}


void decode(const uint8_t* data, size_t length, Cell* receiving) {
    // Copied once, before anything allocates: the bytes may lie in a series buffer, which moves.
    std::vector<uint8_t> input(data, data + length);
    auto invalid = [&input] { fire(Err::InvalidData, binary::load(input.data(), input.size(), stack::reserve())); };
    const size_t least = length > 7 && !(input[7] & kFlagCompact) ? kHeaderBytes + 8 : kHeaderBytes + 2;
    if (length < least || std::memcmp(input.data(), kMagic, sizeof kMagic) != 0) invalid();
    const uint8_t* start = input.data();
    size_t size = length;
    // The rest may be an LZ77 container; error offsets then count in the unpacked document.
    Unpacked unpacked;
    if (input[7] & kFlagPacked) {
        if (!unpacked.unpack(start, length) || unpacked.size < least) invalid();
        start = unpacked.bytes;
        size = unpacked.size;
    }
    Decoder decoder(start, start + size, static_cast<size_t>(block::count(cell::node(receiving))),
                    cell::node(receiving));
    decoder.header();
    decoder.records();
}

}  // namespace nuv::nuvbin
