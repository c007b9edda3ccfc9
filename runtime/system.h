// The `system` object as far as the runtime itself needs it before the boot image carries it:
// the 19 fields in their order, `catalog/errors` (the error catalogue, built from the one
// list of error ids and messages), `standard` (the prototypes, `error` among them) and `state`.
// Fields nothing fills yet are none. Readers find the objects by field position, which never
// changes, and answer 0 when user code has put something else there.
#pragma once
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::system_object {

// Field positions.
enum SystemField : int32_t {
    kCatalog = 4,
    kState = 5,
    kCodecs = 7,
    kSchemes = 8,
    kLocale = 10,
    kOptions = 11,
    kScript = 12,
    kStandard = 13,
    kSystemFields = 19,
};
enum CatalogField : int32_t { kErrors = 4, kCatalogFields = 5 };
enum StateField : int32_t { kStackTrace = 2, kSourceFiles = 3, kCallbacks = 4, kStateFields = 6 };
enum CallbacksField : int32_t { kCallbackBits = 6, kCallbacksFields = 7 };
enum OptionsField : int32_t { kOptionsMoneyDigits = 13, kOptionsFloat = 16, kOptionsFields = 17 };
enum LocaleField : int32_t { kMonths = 4, kDays = 5, kLocaleCurrencies = 6, kLocaleFields = 7 };
enum CurrenciesField : int32_t { kCurrenciesList = 0 };
enum ScriptField : int32_t { kScriptHeader = 1, kScriptArgs = 4, kScriptFields = 5 };
enum StandardField : int32_t {
    kStandardPort = 1,
    kStandardError = 2,
    kStandardUrlParts = 4,
    kStandardFields = 6,
};

// Builds the catalogue and the system object, binds the global word `system` to it and makes
// fire raise error! values from then on. Needs the runtime words; runs once a runtime.
void init();
// Drops the system object and the error maker of a runtime that exits, so that one made again
// builds its own.
void forget();

// The system object (none! before init). No allocation.
const Cell* get();
// The context of system/catalog/errors, and of category #index of it; 0 when missing.
NodeId catalog_errors();
NodeId category(int32_t index);
// A copy of system/standard/error (none! when missing).
Cell standard_error();
// A copy of the prototype at `field` of system/standard (none! when it is no object).
Cell standard(StandardField field);
// system/codecs, made an empty map! first when it holds none. May allocate.
const Cell* codecs();
// A copy of system/schemes (none! when it is no block!).
Cell schemes();
// system/state/stack-trace when it is an integer!, else 0; a copy of system/state/source-files
// (none! when it is not a block!).
int32_t stack_trace();
// Sets system/script/args (a program's arguments); ignored when system/script is no object.
void set_script_args(const Cell* args);
Cell source_files();
// system/locale/currencies/list when it is a block!, else nullptr. No allocation.
const Cell* currency_list();
// system/options/money-digits when it is an integer!, else -1. No allocation.
int32_t money_digits();
// system/state/callbacks/bits when it is an integer!, else 0: the kinds of runtime callback a
// trace run reports (one bit per kind, as hooks::Callback numbers them). No allocation.
uint32_t callback_bits();
// system/locale/months (none! when system/locale is no object). No allocation.
const Cell* locale_months_or_none();

}  // namespace nuv::system_object
