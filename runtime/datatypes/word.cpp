// The word family: makers, reading and writing through words, the shared slots and the five
// registration records.
#include "runtime/datatypes/word.h"

#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::word {

namespace {

Cell make_cell(TypeId type, NodeId ctx, SymId sym, int32_t index) {
    return Cell{static_cast<uint32_t>(type), ctx, sym, static_cast<uint32_t>(index)};
}

// The root copy rule: while the auto-root switch is on, the runtime keeps its words in the root
// block, where they never move.
Cell* rooted(Cell* word) {
    return roots::auto_root() ? keep(word) : word;
}

// The global slot of the symbol: found case-insensitively, appended when absent.
int32_t global_index(SymId sym) {
    int32_t index = context::find_word(context::global(), sym, true);
    if (index >= 0) return index;
    return index_of(context::add_word(sym, false, true));
}

// The symbol's name as a string! cell over its cached string. May allocate.
Cell name_string(SymId sym) {
    return Cell{static_cast<uint32_t>(TypeId::String), 0, symbol::cached_string(sym), 0};
}

int32_t append_name(SymId sym, Cell* buffer) {
    Cell name = name_string(sym);
    string::concatenate(buffer, &name, -1, 0, true, string::Concat::Append);
    return string::length(&name);
}

// The sigils that mold writes around a name, by type.
struct Affix {
    const char* before;
    const char* after;
};
struct AffixTable {
    Affix of[kTypeSlots]{};
};
consteval AffixTable make_affixes() {
    AffixTable t;
    for (auto& a : t.of) a = {"", ""};
    t.of[type_index(TypeId::LitWord)] = {"'", ""};
    t.of[type_index(TypeId::SetWord)] = {"", ":"};
    t.of[type_index(TypeId::GetWord)] = {":", ""};
    t.of[type_index(TypeId::Refinement)] = {"/", ""};
    t.of[type_index(TypeId::Issue)] = {"#", ""};
    return t;
}
constexpr AffixTable kAffixes = make_affixes();

int32_t append_text(Cell* buffer, const char* text) {
    if (*text) string::append_cstr(buffer, text);
    return static_cast<int32_t>(std::strlen(text));
}

bool same_name(SymId a, SymId b, bool case_sensitive) {
    return case_sensitive ? a == b : symbol::resolve(a) == symbol::resolve(b);
}

bool word_and_lit_word(TypeId a, TypeId b) {
    return (a == TypeId::Word && b == TypeId::LitWord) || (a == TypeId::LitWord && b == TypeId::Word);
}

[[noreturn]] void fire_bad_to(TypeId type, const Cell* spec) {
    Cell target{static_cast<uint32_t>(TypeId::Datatype), static_cast<uint32_t>(type), 0, 0};
    Cell value = *spec;
    fire(Err::BadToArg, &target, &value);
}

// What a text loads to: its first value (when it made any), the count of values made, and
// whether the lexer met a syntax error, which is declined rather than raised.
struct Loaded {
    Cell first;
    int32_t count;
    bool failed;
};

// Loads the text from its head. Allocates.
Loaded load_text(const Cell* text) {
    Loaded out{Cell{}, 0, false};
    Cell values;
    hooks::load_text(&values, text, &out.failed);
    out.count = block::rs_length(&values);
    if (out.count > 0) out.first = *block::rs_head(&values);
    return out;
}

// A name that loads into exactly one word, set-word, get-word or lit-word: the spec itself,
// bound to the global context's word of its symbol when there is one.
Cell from_name(const Cell* spec, TypeId type) {
    const Cell name = name_string(spec->w2);
    const Loaded loaded = load_text(&name);
    const TypeId t = cell::type_of(&loaded.first);
    if (loaded.failed || loaded.count != 1 || t < TypeId::Word || t > TypeId::GetWord)
        fire_bad_to(type, spec);
    Cell result = *spec;
    const int32_t index = context::find_word(context::global(), spec->w2, true);
    if (index >= 0) {
        result.w1 = context::global();
        result.w3 = static_cast<uint32_t>(index);
    }
    return result;
}

// A text that loads completely into exactly one value of a word type: that word.
Cell from_text(const Cell* text) {
    const Loaded loaded = load_text(text);
    if (loaded.failed || loaded.count != 1 || !is_any_word_type(cell::type_of(&loaded.first)))
        fire(Err::InvalidChars);
    return loaded.first;
}

}  // namespace

// ---- Making words ----

Cell* make_global(const char* name) {
    SymId sym = symbol::make_cstr(name);
    return rooted(context::add_word(sym, true, true));
}

Cell* make_global_id(SymId sym) { return rooted(context::add_word(sym, false, true)); }

Cell make_global_as(const char* name, TypeId type) {
    SymId sym = symbol::make_cstr(name);
    return make_cell(type, context::global(), sym, global_index(sym));
}

Cell* make_at(SymId sym, Cell* cell, TypeId type) {
    *cell = make_cell(type, context::global(), sym, global_index(sym));
    return cell;
}

Cell* make_in_block(const char* name, Cell* block, TypeId type) {
    Cell owner = *block;
    Cell word;
    make_at(symbol::make_cstr(name), &word, type);
    return block::append_cell(&owner, &word);
}

Cell* make_result(SymId sym) {
    Cell word;
    make_at(sym, &word);
    return stack::set_last(&word);
}

Cell* push_global(SymId sym, TypeId type) {
    Cell word;
    make_at(sym, &word, type);
    return stack::push(&word);
}

Cell* push(const Cell* word, TypeId type) {
    Cell* c = stack::push(word);
    if (type != TypeId::Invalid) cell::set_type(c, type);
    return c;
}

Cell* push_at(NodeId ctx, int32_t index, TypeId type) {
    return push(context::word_at(ctx, index), type);
}

Cell* keep(const Cell* cell) { return block::append_cell(roots::root(), cell); }

Cell word_or_global(NodeId ctx, SymId sym) {
    int32_t index = context::find_word(ctx, sym, false);
    if (index >= 0) return make_cell(TypeId::Word, ctx, sym, index);
    return make_cell(TypeId::Word, context::global(), sym, global_index(sym));
}

Cell* refinement_make_cstr(const char* name) {
    Cell refinement = make_cell(TypeId::Refinement, 0, symbol::make_cstr(name), -1);
    return keep(&refinement);
}

// ---- Reading and writing through words ----

Cell* get(const Cell* word) {
    const Cell* value = slot(word);
    if (cell::is(value, TypeId::Unset)) fire(Err::NoValue, word);
    return stack::push(value);
}

Cell* push_value(const Cell* word) { return stack::push(slot(word)); }

const Cell* set(Cell* word, const Cell* value) {
    return context::set_in(word, value, word->w1, true);
}

void set_from_stack() {
    Cell* word = stack::arg(0);
    Cell* value = stack::arg(1);
    if (cell::is(value, TypeId::Unset)) fire(Err::NeedValue, word);
    set(word, value);
    stack::set_last(value);
}

Cell* get_local(NodeId ctx, int32_t index) {
    if (context::cell_of(ctx)->w2 == 0) {
        Cell named = *context::word_at(ctx, index);
        fire(Err::NotDefined, &named);
    }
    return stack::push(context::values_at(ctx, index));
}

Cell* symbol_push_string(const Cell* word) {
    Cell name = name_string(word->w2);
    return stack::push(&name);
}

Cell* symbol_entry(const Cell* word) {
    SymId sym = word->w2;
    symbol::cached_string(sym);
    return symbol::entry(sym);
}

bool is_any_type(const Cell* word) {
    SymId any_type = words::sym::any_type_type;
    return any_type != 0 && symbol::resolve(word->w2) == symbol::resolve(any_type);
}

void slot_set_from_result(Cell* slot) {
    if (cell::is(stack::arg(0), TypeId::Unset)) fire(Err::NeedValue, slot);
    *slot = *stack::arg(0);
}

void set_arg_from_arg1() {
    set(stack::arg(0), stack::arg(1));
    stack::set_last(stack::arg(1));
}

void get_arg_value() { stack::set_last(slot(stack::arg(0))); }

// ---- Slots ----

Cell* to(Cell*, Cell* spec, TypeId type) {
    Cell result;
    switch (cell::type_of(spec)) {
    case TypeId::Word:
    case TypeId::SetWord:
    case TypeId::GetWord:
    case TypeId::LitWord: result = *spec; break;
    case TypeId::Issue:
    case TypeId::Refinement: result = from_name(spec, type); break;
    case TypeId::String: result = from_text(spec); break;
    case TypeId::Char: {
        stack::Mark keep;
        Cell* text = string::make_at(stack::reserve(), 4);
        string::append_char(cell::node(text), static_cast<char32_t>(cell::get_int(spec)));
        result = from_text(text);
        keep.restore();
        break;
    }
    case TypeId::Datatype: {
        auto named = static_cast<TypeId>(spec->w1);
        if (spec->w1 == 0 || spec->w1 > static_cast<uint32_t>(kTypeCount)) fire_bad_to(type, spec);
        const TypeNameEntry& entry = registry::name_entry(named);
        if (entry.word.header != 0) result = entry.word;
        else make_at(symbol::make_cstr(type_name(named)), &result);
        break;
    }
    case TypeId::Logic: make_at(symbol::make_cstr(spec->w1 ? "true" : "false"), &result); break;
    default: fire_bad_to(type, spec);
    }
    cell::set_header(&result, type);
    *spec = result;
    return spec;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    return budget - append_name(value->w2, buffer);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t budget, int32_t) {
    SymId sym = value->w2;
    int t = type_index(cell::type_of(value));
    const Affix& affix = kAffixes.of[t < kTypeSlots ? t : 0];
    budget -= append_text(buffer, affix.before);
    budget -= append_name(sym, buffer);
    return budget - append_text(buffer, affix.after);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    TypeId ta = cell::type_of(a);
    TypeId tb = cell::type_of(b);
    if (!is_any_word_type(tb) || (tb == TypeId::Issue && ta != TypeId::Issue))
        return kNotComparable;
    SymId sa = a->w2;
    SymId sb = b->w2;
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::FindEqual: return same_name(sa, sb, false) ? 0 : 1;
    case CompareOp::StrictEqual: return ta == tb && sa == sb ? 0 : 1;
    case CompareOp::Same: return ta == tb && sa == sb && a->w1 == b->w1 ? 0 : 1;
    case CompareOp::WordsCase:
    case CompareOp::Words: {
        bool equal = same_name(sa, sb, op == CompareOp::WordsCase);
        return equal && (ta == tb || word_and_lit_word(ta, tb)) ? 0 : 1;
    }
    default: {
        Cell na = name_string(sa);
        Cell nb = name_string(sb);
        return string::compare_raw(&na, &nb, op, false);
    }
    }
}

void index_q() {
    Cell* value = stack::arg(0);
    int32_t index = index_of(value);
    if (index < 0) {
        none::set(value);
        return;
    }
    *value = Cell{static_cast<uint32_t>(TypeId::Integer), 0, static_cast<uint32_t>(index + 1), 0};
}

void bind_datatype_names() {
    for (int id = 1; id <= registry::highest_type(); id++) {
        auto t = static_cast<TypeId>(id);
        const TypeNameEntry& entry = registry::name_entry(t);
        const char* name = entry.name ? entry.name : type_name(t);
        if (!*name) continue;
        Cell word;
        make_at(symbol::make_cstr(name), &word);
        // The registry hands its entries out read-only; this is the one writer after start-up.
        const_cast<TypeNameEntry&>(entry).word = word;
    }
}

namespace {
// The context the word is bound to: its series holds the context cell and the owner value.
void mark(const Cell* value) { collector::mark_series(value->w1); }
}  // namespace

constexpr TypeRecord kRecord{
    .id = TypeId::Word,
    .parent = TypeId::Symbol,
    .name = "word!",
    .make = word::to,
    .to = word::to,
    .form = word::form,
    .mold = word::mold,
    .compare = word::compare,
    .index_q = word::index_q,
    .mark = mark,
};

// The children share every slot of word! but mold, which reads the sigil from the type.
constexpr TypeRecord child_record(TypeId id, const char* name, bool has_index) {
    TypeRecord r{.id = id,
                 .parent = TypeId::Word,
                 .name = name,
                 .make = kInherited,
                 .to = kInherited,
                 .form = kInherited,
                 .mold = word::mold,
                 .compare = kInherited,
                 .mark = mark};
    if (has_index) r.index_q = kInherited;
    return r;
}

constexpr TypeRecord kLitWordRecord = child_record(TypeId::LitWord, "lit-word!", true);
constexpr TypeRecord kSetWordRecord = child_record(TypeId::SetWord, "set-word!", true);
constexpr TypeRecord kGetWordRecord = child_record(TypeId::GetWord, "get-word!", true);
constexpr TypeRecord kRefinementRecord = child_record(TypeId::Refinement, "refinement!", false);

void init() {
    registry::register_type(kRecord);
    registry::register_type(kLitWordRecord);
    registry::register_type(kSetWordRecord);
    registry::register_type(kGetWordRecord);
    registry::register_type(kRefinementRecord);
}

}  // namespace nuv::word
