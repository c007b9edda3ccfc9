// Building the system object and the error catalogue at start-up. The catalogue comes from the
// error list of errors.h: one category object per category (`code`, `type`, then its ids in
// code order), each id's message template made into a string! or a block! of strings and words.
#include "runtime/system.h"

#include <cstring>
#include <string>
#include <iterator>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/ownership.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::system_object {

namespace {

using T = TypeId;

// ---- The catalogue table ----

// One item of a message as errors.h writes it (see NUV_ERROR_IDS).
struct Part {
    enum Kind : uint8_t { Text, Block, GetArg, WordArg, End } kind;
    uint8_t arg;
    const char* text;
    constexpr Part(const char* t) : kind(Text), arg(0), text(t) {}
    constexpr Part(Kind k, uint8_t a) : kind(k), arg(a), text(nullptr) {}
};
constexpr Part Blk{Part::Block, 0};
constexpr Part Arg1{Part::GetArg, 1};
constexpr Part Arg2{Part::GetArg, 2};
constexpr Part Arg3{Part::GetArg, 3};
constexpr Part Word1{Part::WordArg, 1};
constexpr Part Word2{Part::WordArg, 2};
constexpr Part kEnd{Part::End, 0};

// Every message, each closed by kEnd, in id order.
#define NUV_CATALOG_PARTS(code, cat, name, word, ...) __VA_ARGS__, kEnd,
constexpr Part kParts[] = {NUV_ERROR_IDS(NUV_CATALOG_PARTS)};
#undef NUV_CATALOG_PARTS

struct IdEntry {
    int32_t code;
    const char* word;
};
#define NUV_CATALOG_ID(code, cat, name, word, ...) {code, word},
constexpr IdEntry kIds[] = {NUV_ERROR_IDS(NUV_CATALOG_ID)};
#undef NUV_CATALOG_ID

struct CategoryEntry {
    const char* word;
    const char* title;
};
#define NUV_CATALOG_CATEGORY(index, name, word, title) {word, title},
constexpr CategoryEntry kCategories[] = {NUV_ERROR_CATEGORIES(NUV_CATALOG_CATEGORY)};
#undef NUV_CATALOG_CATEGORY
constexpr int32_t kCategoryCount = static_cast<int32_t>(std::size(kCategories));
static_assert(kCategoryCount == 10);
static_assert(std::size(kIds) == 140);

// An id's field in its category object is its code's position in the category plus 2, so the
// codes of a category must run from category x 100 without a gap; every message is a text, a
// lone Word1 or a block of items.
consteval bool catalogue_is_sound() {
    int32_t expected = 0;
    for (const IdEntry& e : kIds) {
        if (e.code / 100 >= kCategoryCount) return false;
        if (e.code % 100 != 0 && e.code != expected) return false;
        expected = e.code + 1;
    }
    size_t ids = 0;
    for (size_t i = 0; i < std::size(kParts); i++) {
        const bool first = i == 0 || kParts[i - 1].kind == Part::End;
        if (!first || kParts[i].kind == Part::End) continue;
        ids++;
        size_t n = 0;
        while (kParts[i + n].kind != Part::End) n++;
        const Part::Kind k = kParts[i].kind;
        if (k != Part::Block && n != 1) return false;
        if (k == Part::GetArg || (k == Part::WordArg && kParts[i].arg != 1)) return false;
        for (size_t j = 1; j < n; j++)
            if (kParts[i + j].kind == Part::Block) return false;
    }
    return ids == std::size(kIds);
}
static_assert(catalogue_is_sound());

// ---- The lists the system object takes from the runtime's own tables ----

}  // namespace

const char* const kExitStateNames[kExitStateCount] = {
    "eof",     "error!",   "block!",  "block!",    "paren!",  "paren!",   "string!", "string!",
    "map!",    "path!",    "datatype!", "comment", "string!", "word!",    "issue!",  "integer!",
    "refinement!", "char!", "file!",  "binary!",   "percent!", "float!",  "float!",  "tuple!",
    "date!",   "pair!",    "time!",   "money!",    "tag!",    "url!",     "email!",  "hex",
    "rawstring", "ref!",
};

namespace {

constexpr const char* kCurrencyCodes[] = {
#include "runtime/datatypes/currency_table.inc"
};

// The fields of the error prototype, which every error! copies.
constexpr const char* kErrorFields[] = {"code", "type", "id", "arg1", "arg2", "arg3", "near",
                                        "where", "stack", "files"};
static_assert(std::size(kErrorFields) == error::kFieldCount);

// Root-block cells once init has run: the catalogue and the error prototype, which errors are
// made from before the system object exists.
Cell* g_catalogue = nullptr;
Cell* g_error_prototype = nullptr;
Cell g_none{static_cast<uint32_t>(T::None), 0, 0, 0};

// ---- Building (values are kept on the argument stack until they are stored) ----

// A new object of a new class with the fields, all none, pushed.
Cell* push_object(const char* const* names, size_t count) {
    Cell* object = object::make_empty(stack::reserve(), static_cast<int32_t>(count));
    for (size_t i = 0; i < count; i++) object::add_field(object, names[i], &g_none);
    object->w2 = static_cast<uint32_t>(object::new_class());
    object::finalize(object, object::context_of(object));
    return object;
}

template <size_t N>
Cell* push_object(const char* const (&names)[N]) {
    return push_object(names, N);
}

void set_field(Cell* object, int32_t index, const Cell* value) {
    *context::write_at(object::context_of(object), index) = *value;
}

Cell* push_text(const char* text) {
    Cell* s = string::make_at(stack::reserve(), std::strlen(text));
    string::append_cstr(s, text);
    return s;
}

Cell arg_word(const Part& part) {
    const char* names[] = {"", "arg1", "arg2", "arg3"};
    const TypeId t = part.kind == Part::GetArg ? T::GetWord : T::Word;
    return Cell{static_cast<uint32_t>(t), 0, symbol::make_cstr(names[part.arg]), word::kNoIndex};
}

// The message whose items start at kParts[at], pushed; `at` moves past its kEnd.
Cell* push_message(size_t& at) {
    const Part& first = kParts[at];
    if (first.kind == Part::Text) {
        at += 2;
        return push_text(first.text);
    }
    if (first.kind == Part::WordArg) {
        at += 2;
        const Cell word = arg_word(first);
        return stack::push(&word);
    }
    size_t n = 0;
    while (kParts[at + 1 + n].kind != Part::End) n++;
    Cell* block = block::push_new(static_cast<int32_t>(n));
    for (size_t i = 0; i < n; i++) {
        const Part& item = kParts[at + 1 + i];
        stack::Mark mark;
        const Cell value = item.kind == Part::Text ? *push_text(item.text) : arg_word(item);
        mark.restore();
        block::append_cell(block, &value);
    }
    at += n + 2;
    return block;
}

Cell* push_catalogue() {
    Cell* catalogue = object::make_empty(stack::reserve(), kCategoryCount);
    size_t id = 0;
    size_t part = 0;
    for (int32_t c = 0; c < kCategoryCount; c++) {
        stack::Mark mark;
        size_t ids = 0;
        while (id + ids < std::size(kIds) && kIds[id + ids].code / 100 == c) ids++;
        Cell* category = object::make_empty(stack::reserve(), static_cast<int32_t>(ids + 2));
        Cell code;
        integer::set(&code, c * 100);
        object::add_field(category, "code", &code);
        object::add_field(category, "type", push_text(kCategories[c].title));
        for (; ids > 0; ids--, id++) object::add_field(category, kIds[id].word, push_message(part));
        category->w2 = static_cast<uint32_t>(object::new_class());
        object::finalize(category, object::context_of(category));
        object::add_field(catalogue, kCategories[c].word, category);
        mark.restore();
    }
    catalogue->w2 = static_cast<uint32_t>(object::new_class());
    object::finalize(catalogue, object::context_of(catalogue));
    return catalogue;
}

// The value of the global word `system` when it is an object, else nullptr. No allocation.
const Cell* system_cell() {
    const Cell* value = context::global() ? context::global_slot(words::sym::system) : nullptr;
    return value && cell::is(value, T::Object) ? value : nullptr;
}

// The object in field #index of the object, or nullptr.
const Cell* object_field(const Cell* object, int32_t index) {
    if (!object || !cell::is(object, T::Object)) return nullptr;
    const NodeId ctx = object::context_of(object);
    if (index >= context::word_count(ctx) || index >= block::count(context::cell_of(ctx)->w2))
        return nullptr;
    return context::values_at(ctx, index);
}

const Cell* path2(int32_t first, int32_t second) {
    const Cell* inner = object_field(system_cell(), first);
    if (!inner || !cell::is(inner, T::Object)) return nullptr;
    return object_field(inner, second);
}

}  // namespace

void init(const Cell* catalogue) {
    if (g_catalogue) return;
    stack::Mark mark;
    g_catalogue = catalogue ? const_cast<Cell*>(catalogue) : word::keep(push_catalogue());
    g_error_prototype = word::keep(push_object(kErrorFields));
    mark.restore();
    set_error_maker(error::make_raised, word::keep(&g_none));
}

std::string list_report(const RaisedError& error) {
    size_t id = 0, at = 0;
    while (id < std::size(kIds) && kIds[id].code != err_code(error.id)) {
        while (kParts[at].kind != Part::End) at++;
        at++;
        id++;
    }
    std::string out = "*** ";
    out += kCategories[err_code(error.id) / 100].title;
    out += ": ";
    if (id == std::size(kIds)) return out + err_word(error.id);
    const auto arg = [&error](int n) -> std::string {
        if (n > error.argc) return "none";
        const Cell& value = error.args[n - 1];
        if (cell::is(&value, T::Integer)) return std::to_string(cell::get_int(&value));
        if (cell::is(&value, T::Datatype)) return type_name(static_cast<TypeId>(value.w1));
        if (word::is_any_word_type(cell::type_of(&value))) return symbol::utf8_name(value.w2);
        return type_name(cell::type_of(&value));
    };
    if (kParts[at].kind == Part::Block) at++;
    for (bool first = true; kParts[at].kind != Part::End; at++, first = false) {
        if (!first) out += ' ';
        out += kParts[at].kind == Part::Text ? kParts[at].text : arg(kParts[at].arg);
    }
    return out;
}

const Cell* catalogue() { return g_catalogue; }

void forget() {
    g_catalogue = nullptr;
    g_error_prototype = nullptr;
    set_error_maker(nullptr, nullptr);
}

void fill_tables() {
    const Cell* system = system_cell();
    if (!system) fire(Err::NotDone);
    stack::Mark mark;
    Cell* held = stack::push(system);
    const auto object_at = [&](int32_t outer, int32_t inner) -> Cell* {
        const Cell* object = object_field(held, outer);
        if (inner >= 0) object = object_field(object, inner);
        if (!object || !cell::is(object, T::Object)) fire(Err::NotDone);
        return stack::push(object);
    };
    set_field(object_at(kCatalog, -1), kErrors, g_catalogue);
    set_field(object_at(kStandard, -1), kStandardError, g_error_prototype);

    Cell* currencies = object_at(kLocale, kLocaleCurrencies);
    Cell* list = block::push_new(static_cast<int32_t>(std::size(kCurrencyCodes)));
    for (const char* code : kCurrencyCodes) {
        Cell word;
        word::make_at(symbol::make_cstr(code), &word);
        block::append_cell(list, &word);
    }
    set_field(currencies, kCurrenciesList, list);
    if (object::record_of(currencies) != 0) {
        const Cell word = *object::word_at(object::context_of(currencies), kCurrenciesList);
        ownership::bind(list, currencies, &word);
    }

    Cell* lexer = object_at(kLexer, -1);
    Cell* states = block::push_new(kExitStateCount);
    for (const char* name : kExitStateNames) {
        Cell word;
        word::make_at(symbol::make_cstr(name), &word);
        block::append_cell(states, &word);
    }
    set_field(lexer, kExitStates, states);

    // The global context seen as an object, stored as its own owner too, so that `context?` of
    // a global word answers it.
    const Cell words{static_cast<uint32_t>(T::Object), context::global(), kGlobalClass, 0};
    *context::owner(context::global()) = words;
    set_field(held, kWords, &words);
    mark.restore();
}

namespace {

const Cell* function_or_null(const Cell* value) {
    return value && cell::is(value, T::Function) ? value : nullptr;
}

}  // namespace

const Cell* interpreted_method() { return function_or_null(path2(kState, kInterpreted)); }

const Cell* float_guard() {
    return function_or_null(object_field(path2(kOptions, kOptionsFloat), kFloatOnChange));
}

const Cell* collector_object() {
    const Cell* gc = path2(kState, kStateGC);
    return gc && cell::is(gc, T::Object) ? gc : nullptr;
}

const Cell* locale_months_or_none() {
    const Cell* months = path2(kLocale, kMonths);
    return months ? months : &g_none;
}

const Cell* get() {
    const Cell* system = system_cell();
    return system ? system : &g_none;
}

NodeId catalog_errors() {
    const Cell* errors = path2(kCatalog, kErrors);
    if (!errors || !cell::is(errors, T::Object)) errors = g_catalogue;
    return errors && cell::is(errors, T::Object) ? object::context_of(errors) : 0;
}

NodeId category(int32_t index) {
    const NodeId errors = catalog_errors();
    if (errors == 0 || index < 0) return 0;
    const Cell holder{static_cast<uint32_t>(T::Object), errors, 0, 0};
    const Cell* value = object_field(&holder, index);
    return value && cell::is(value, T::Object) ? object::context_of(value) : 0;
}

Cell standard_error() {
    const Cell* proto = system_cell() ? path2(kStandard, kStandardError) : g_error_prototype;
    return proto && cell::is(proto, T::Object) ? *proto : g_none;
}

Cell standard(StandardField field) {
    const Cell* proto = path2(kStandard, field);
    return proto && cell::is(proto, T::Object) ? *proto : g_none;
}

const Cell* codecs() {
    const Cell* value = object_field(system_cell(), kCodecs);
    return value && cell::is(value, T::Map) ? value : nullptr;
}

Cell schemes() {
    const Cell* value = object_field(system_cell(), kSchemes);
    return value && cell::is(value, T::Block) ? *value : g_none;
}

int32_t stack_trace() {
    const Cell* value = path2(kState, kStackTrace);
    return value && cell::is(value, T::Integer) ? integer::get(value) : 0;
}

void lexer_exit_types(TypeId* types) {
    static TypeId own[kLexerExitItems];
    static bool made = false;
    if (!made) {
        for (int32_t i = 0; i < kLexerExitItems; i++) {
            own[i] = T::Invalid;
            for (int t = 1; t <= kTypeCount; t++)
                if (std::strcmp(type_name(static_cast<T>(t)), kExitStateNames[i]) == 0)
                    own[i] = static_cast<T>(t);
        }
        made = true;
    }
    for (int32_t i = 0; i < kLexerExitItems; i++) types[i] = own[i];
    const Cell* states = path2(kLexer, kExitStates);
    if (!states || !cell::is(states, T::Block) || block::rs_length(states) != kExitStateCount) return;
    const Cell* items = block::rs_abs_at(states, cell::head(states));
    for (int32_t i = 0; i < kExitStateCount; i++)
        if (!cell::is(&items[i], T::Word)) return;
    SymId syms[kLexerExitItems];
    for (int32_t i = 0; i < kLexerExitItems; i++) {
        syms[i] = symbol::resolve(word::symbol_of(&items[i]));
        types[i] = T::Invalid;
    }
    for (int t = 1; t <= kTypeCount; t++) {
        const Cell& name = registry::name_entry(static_cast<T>(t)).word;
        if (!cell::is(&name, T::Word)) continue;
        const SymId sym = symbol::resolve(word::symbol_of(&name));
        for (int32_t i = 0; i < kLexerExitItems; i++)
            if (syms[i] == sym) types[i] = static_cast<T>(t);
    }
}

const Cell* currency_list() {
    const Cell* currencies = path2(kLocale, kLocaleCurrencies);
    const Cell* list = object_field(currencies, kCurrenciesList);
    return list && cell::is(list, T::Block) ? list : nullptr;
}

int32_t money_digits(int32_t otherwise) {
    const Cell* value = object_field(system_cell(), kOptions);
    value = object_field(value, kOptionsMoneyDigits);
    return value && cell::is(value, T::Integer) ? integer::get(value) : otherwise;
}

uint32_t callback_bits() {
    const Cell* callbacks = path2(kState, kCallbacks);
    const Cell* bits = object_field(callbacks, kCallbackBits);
    return bits && cell::is(bits, T::Integer) ? static_cast<uint32_t>(integer::get(bits)) : 0;
}

Cell source_files() {
    const Cell* value = path2(kState, kSourceFiles);
    return value && cell::is(value, T::Block) ? *value : g_none;
}

}  // namespace nuv::system_object
