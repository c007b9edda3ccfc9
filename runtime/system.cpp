// Building the system object and the error catalogue at start-up. The catalogue comes from the
// error list of errors.h: one category object per category (`code`, `type`, then its ids in
// code order), each id's message template made into a string! or a block! of strings and words.
#include "runtime/system.h"

#include <cstring>
#include <iterator>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
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

// ---- The system object's fields ----

constexpr const char* kSystemNames[] = {
    "version", "build", "words", "platform", "catalog", "state", "modules", "codecs", "schemes",
    "ports", "locale", "options", "script", "standard", "lexer", "console", "view",
    "reactivity", "tools",
};
constexpr const char* kCatalogNames[] = {"datatypes", "actions", "natives", "accessors", "errors"};
constexpr const char* kStateNames[] = {"interpreted?", "last-error", "stack-trace",
                                       "source-files", "callbacks", "GC"};
// Its on-change* guard, which keeps bits in step with the switches, is a library function and
// joins it with the library (an object refuses a guard field that holds no function).
constexpr const char* kCallbacksNames[] = {"lexer?", "parse?", "sort?", "change?", "deep?",
                                           "port?", "bits"};
constexpr const char* kStandardNames[] = {"header", "port", "error", "file-info", "url-parts",
                                          "scheme"};
constexpr const char* kOptionsNames[] = {
    "boot", "home", "path", "script", "cache", "thru-cache", "args", "do-arg", "debug", "secure",
    "quiet", "binary-base", "decimal-digits", "money-digits", "module-paths", "file-types",
    "float",
};
constexpr const char* kLocaleNames[] = {"language", "language*", "locale", "locale*",
                                        "months",   "days",      "currencies"};
constexpr const char* kMonthNames[] = {"January", "February", "March",     "April",
                                       "May",     "June",     "July",      "August",
                                       "September", "October", "November", "December"};
constexpr const char* kDayNames[] = {"Monday", "Tuesday", "Wednesday", "Thursday",
                                     "Friday", "Saturday", "Sunday"};
constexpr const char* kFloatNames[] = {"pretty?", "full?"};
// The guards on-change* and on-deep-change* join it with the library, as the options' do.
constexpr const char* kCurrenciesNames[] = {"list"};
constexpr const char* kCurrencyCodes[] = {
#include "runtime/datatypes/currency_table.inc"
};
constexpr const char* kScriptNames[] = {"title", "header", "parent", "path", "args"};
static_assert(std::size(kSystemNames) == kSystemFields);
static_assert(std::size(kOptionsNames) == kOptionsFields);
static_assert(std::size(kLocaleNames) == kLocaleFields);
static_assert(std::size(kScriptNames) == kScriptFields);
static_assert(std::size(kCatalogNames) == kCatalogFields);
static_assert(std::size(kStateNames) == kStateFields);
static_assert(std::size(kCallbacksNames) == kCallbacksFields);
static_assert(std::size(kStandardNames) == kStandardFields);

// The fields of each standard prototype, all none.
constexpr const char* kHeaderFields[] = {
    "Title", "Name", "Type", "Version", "Date", "File", "Home", "Author", "Tabs", "Needs",
    "License", "Note", "History", "Rights", "Usage", "Purpose", "Comment", "Language",
    "Content", "Owner",
};
constexpr const char* kPortFields[] = {"spec", "scheme", "actor", "awake",
                                       "state", "data", "extra"};
constexpr const char* kErrorFields[] = {"code", "type", "id", "arg1", "arg2", "arg3", "near",
                                        "where", "stack", "files"};
constexpr const char* kFileInfoFields[] = {"name", "size", "date", "type"};
constexpr const char* kUrlPartsFields[] = {"scheme", "user-info", "host", "port", "path",
                                           "target", "query", "fragment", "ref"};
constexpr const char* kSchemeFields[] = {"name", "title", "info", "actor", "awake"};
static_assert(std::size(kErrorFields) == error::kFieldCount);

Cell* g_system = nullptr;  // a root-block cell once init has run
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

// A block of new strings, pushed.
template <size_t N>
Cell* push_texts(const char* const (&texts)[N]) {
    Cell* block = block::push_new(static_cast<int32_t>(N));
    for (const char* text : texts) {
        stack::Mark mark;
        const Cell value = *push_text(text);
        mark.restore();
        block::append_cell(block, &value);
    }
    return block;
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

// The object in field #index of the object, or nullptr.
const Cell* object_field(const Cell* object, int32_t index) {
    if (!object || !cell::is(object, T::Object)) return nullptr;
    const NodeId ctx = object::context_of(object);
    if (index >= context::word_count(ctx) || index >= block::count(context::cell_of(ctx)->w2))
        return nullptr;
    return context::values_at(ctx, index);
}

const Cell* path2(int32_t first, int32_t second) {
    const Cell* inner = object_field(g_system, first);
    if (!inner || !cell::is(inner, T::Object)) return nullptr;
    return object_field(inner, second);
}

}  // namespace

void init() {
    if (g_system) return;
    stack::Mark mark;
    Cell* system = push_object(kSystemNames);
    Cell* catalog = push_object(kCatalogNames);
    set_field(catalog, kErrors, push_catalogue());
    set_field(system, kCatalog, catalog);

    Cell* state = push_object(kStateNames);
    Cell stack_trace;
    integer::set(&stack_trace, 1);
    set_field(state, kStackTrace, &stack_trace);
    set_field(state, kSourceFiles, block::push_new(4));
    Cell* callbacks = push_object(kCallbacksNames);
    for (int32_t i = 0; i < kCallbackBits; i++) set_field(callbacks, i, logic::shared(false));
    Cell no_bits;
    integer::set(&no_bits, 0);
    set_field(callbacks, kCallbackBits, &no_bits);
    set_field(state, kCallbacks, callbacks);
    set_field(system, kState, state);

    // The options as start-up leaves them. Its two guards, on-change* and on-deep-change*, are
    // library functions and join it with the library (an object refuses a guard field that
    // holds no function).
    Cell* options = push_object(kOptionsNames);
    set_field(options, 10, logic::shared(false));
    const int32_t numbers[][2] = {{11, 16}, {12, 15}, {13, 2}};
    for (const auto& [index, value] : numbers) {
        Cell number;
        integer::set(&number, value);
        set_field(options, index, &number);
    }
    set_field(options, 14, block::push_new(1));
    Cell* float_options = push_object(kFloatNames);
    set_field(float_options, 0, logic::shared(true));
    set_field(float_options, 1, logic::shared(false));
    set_field(options, kOptionsFloat, float_options);
    set_field(system, kOptions, options);
    set_field(system, kScript, push_object(kScriptNames));
    set_field(system, kSchemes, block::push_new(10));

    Cell* locale = push_object(kLocaleNames);
    Cell* currencies = push_object(kCurrenciesNames);
    Cell* list = block::push_new(static_cast<int32_t>(std::size(kCurrencyCodes)));
    for (const char* code : kCurrencyCodes) {
        Cell word;
        word::make_at(symbol::make_cstr(code), &word);
        block::append_cell(list, &word);
    }
    set_field(currencies, kCurrenciesList, list);
    set_field(locale, kLocaleCurrencies, currencies);
    set_field(locale, kMonths, push_texts(kMonthNames));
    set_field(locale, kDays, push_texts(kDayNames));
    set_field(system, kLocale, locale);

    Cell* standard = push_object(kStandardNames);
    const Cell* prototypes[] = {push_object(kHeaderFields), push_object(kPortFields),
                                push_object(kErrorFields),  push_object(kFileInfoFields),
                                push_object(kUrlPartsFields), push_object(kSchemeFields)};
    for (int32_t i = 0; i < kStandardFields; i++) set_field(standard, i, prototypes[i]);
    set_field(system, kStandard, standard);

    g_system = word::keep(system);
    context::set_global(words::sym::system, g_system);
    mark.restore();
    set_error_maker(error::make_raised, word::keep(&g_none));
}

void forget() {
    g_system = nullptr;
    set_error_maker(nullptr, nullptr);
}

const Cell* locale_months_or_none() {
    const Cell* months = path2(kLocale, kMonths);
    return months ? months : &g_none;
}

const Cell* get() { return g_system ? g_system : &g_none; }

NodeId catalog_errors() {
    const Cell* errors = path2(kCatalog, kErrors);
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
    const Cell* proto = path2(kStandard, kStandardError);
    return proto && cell::is(proto, T::Object) ? *proto : g_none;
}

Cell standard(StandardField field) {
    const Cell* proto = path2(kStandard, field);
    return proto && cell::is(proto, T::Object) ? *proto : g_none;
}

const Cell* codecs() {
    const NodeId ctx = object::context_of(g_system);
    if (cell::is(context::values_at(ctx, kCodecs), T::None)) {
        const stack::Mark mark;
        Cell* made = map::make_at(stack::reserve(), nullptr, 8);
        *context::write_at(object::context_of(g_system), kCodecs) = *made;
        mark.restore();
    }
    return context::values_at(object::context_of(g_system), kCodecs);
}

Cell schemes() {
    const Cell* value = object_field(g_system, kSchemes);
    return value && cell::is(value, T::Block) ? *value : g_none;
}

int32_t stack_trace() {
    const Cell* value = path2(kState, kStackTrace);
    return value && cell::is(value, T::Integer) ? integer::get(value) : 0;
}

void set_script_args(const Cell* args) {
    const Cell* script = object_field(g_system, kScript);
    if (!script || !cell::is(script, T::Object)) return;
    *context::write_at(object::context_of(script), kScriptArgs) = *args;
}

const Cell* currency_list() {
    const Cell* currencies = path2(kLocale, kLocaleCurrencies);
    const Cell* list = object_field(currencies, kCurrenciesList);
    return list && cell::is(list, T::Block) ? list : nullptr;
}

int32_t money_digits() {
    const Cell* value = object_field(g_system, kOptions);
    value = object_field(value, kOptionsMoneyDigits);
    return value && cell::is(value, T::Integer) ? integer::get(value) : -1;
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
