// The `system` object as the runtime reads it. The object itself is made by the boot units in
// Nuv; the runtime makes what comes from its own tables: the error catalogue (from the one list
// of error ids and messages) and the error prototype, which errors are made from before the
// object exists, the currency codes and the lexer's exit states, and the global words' object.
// Readers find the objects by field position, which never changes, and answer 0 (or none) when
// the word `system` or a field holds something else.
#pragma once
#include <cstdint>
#include <string>

#include "runtime/cell.h"
#include "runtime/errors.h"

namespace nuv::system_object {

// Field positions.
enum SystemField : int32_t {
    kWords = 2,
    kCatalog = 4,
    kState = 5,
    kCodecs = 7,
    kSchemes = 8,
    kLocale = 10,
    kOptions = 11,
    kScript = 12,
    kStandard = 13,
    kLexer = 14,
    kSystemFields = 19,
};
enum CatalogField : int32_t { kErrors = 4, kCatalogFields = 5 };
enum StateField : int32_t {
    kInterpreted = 0,
    kStackTrace = 2,
    kSourceFiles = 3,
    kCallbacks = 4,
    kStateGC = 5,
    kStateFields = 6,
};
enum LexerField : int32_t { kExitStates = 2 };
enum CallbacksField : int32_t { kCallbackBits = 6, kCallbacksFields = 7 };
enum OptionsField : int32_t { kOptionsMoneyDigits = 13, kOptionsFloat = 16, kOptionsFields = 17 };
enum FloatField : int32_t { kFloatOnChange = 2 };
enum LocaleField : int32_t { kMonths = 4, kDays = 5, kLocaleCurrencies = 6, kLocaleFields = 7 };
enum CurrenciesField : int32_t { kCurrenciesList = 0 };
enum StandardField : int32_t {
    kStandardPort = 1,
    kStandardError = 2,
    kStandardUrlParts = 4,
    kStandardFields = 6,
};

// The class of the global words' object (system/words).
inline constexpr uint32_t kGlobalClass = 0xFFFFFFFFu;

// What each lexer exit state produces, in state order: system/lexer/exit-states is made from it.
inline constexpr int32_t kExitStateCount = 34;
extern const char* const kExitStateNames[kExitStateCount];
// The types the lexer reports for the structural exit states 0-12: what items 0-12 of
// system/lexer/exit-states name when it is a block of 34 words, else its own table's (a name
// that is no datatype gives TypeId::Invalid). No allocation.
inline constexpr int32_t kLexerExitItems = 13;
void lexer_exit_types(TypeId* types);

// Builds the catalogue and the error prototype and makes fire raise error! values from then
// on. Needs the runtime words; runs once a runtime. With `catalogue` (a root cell: the boot
// image's catalogue object) that one is used instead of one built from the error list.
void init(const Cell* catalogue = nullptr);
// The catalogue object fire uses (a root cell), or nullptr before init.
const Cell* catalogue();
// Fills the fields of the system object (made by its boot unit) that come from the runtime's
// tables: catalog/errors, standard/error, locale/currencies/list, lexer/exit-states and words.
// The currency list is written without a change notice and, when the currencies object has
// change handlers, made its owned series, so that a later change to it reaches them.
// Raises internal not-done when the word `system` holds no object of that shape. May allocate.
void fill_tables();
// The methods of the system object that call the runtime's internal routines:
// system/state/interpreted? and system/options/float/on-change*, each nullptr when it is no
// function!. No allocation.
const Cell* interpreted_method();
const Cell* float_guard();
// system/state/GC, or nullptr when it is no object. No allocation.
const Cell* collector_object();
// The report line of the raise made from the runtime's own error list ("*** Script Error: "
// and the message with its arguments), for failures before any catalogue can be trusted. An
// argument is given by its number, word or datatype, else by its type. No allocation of values.
std::string list_report(const RaisedError& error);
// Drops the system object and the error maker of a runtime that exits, so that one made again
// builds its own.
void forget();

// The system object (none! before init). No allocation.
const Cell* get();
// The context of system/catalog/errors, or of the runtime's own catalogue while system, its
// catalog or their errors is no object; and of category #index of it, 0 when missing.
NodeId catalog_errors();
NodeId category(int32_t index);
// A copy of system/standard/error (none! when missing).
Cell standard_error();
// A copy of the prototype at `field` of system/standard (none! when it is no object).
Cell standard(StandardField field);
// The map! system/codecs, or nullptr when the system object holds none.
const Cell* codecs();
// A copy of system/schemes (none! when it is no block!).
Cell schemes();
// system/state/stack-trace when it is an integer!, else 0; a copy of system/state/source-files
// (none! when it is not a block!).
int32_t stack_trace();
Cell source_files();
// system/locale/currencies/list when it is a block!, else nullptr. No allocation.
const Cell* currency_list();
// system/options/money-digits when it is an integer!, else `otherwise`. No allocation.
int32_t money_digits(int32_t otherwise);
// system/state/callbacks/bits when it is an integer!, else 0: the kinds of runtime callback a
// trace run reports (one bit per kind, as hooks::Callback numbers them). No allocation.
uint32_t callback_bits();
// system/locale/months (none! when system/locale is no object). No allocation.
const Cell* locale_months_or_none();

}  // namespace nuv::system_object
