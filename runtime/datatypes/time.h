// time!: a duration or time of day, a signed number of seconds in float!'s layout (the double
// in words 2-3). Arithmetic, comparison and round are float!'s with time! results; this module
// adds the hours:minutes:seconds text, [hours minutes seconds] construction and the fields
// hour, minute and second. A negative time is its sign over a magnitude: the text, the field
// getters and the field setters all split it that way, so a field set to its own value changes
// nothing.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::time_value {

inline constexpr double kSecondsPerHour = 3600.0;
inline constexpr double kSecondsPerMinute = 60.0;
// Seconds below this show as "00"; also the margin by which even? and odd? move the value.
inline constexpr double kSecondsEpsilon = 1e-6;

// The fields, numbered as pick and integer path elements number them.
enum class Field : int32_t { Hour = 1, Minute = 2, Second = 3 };

inline double get(const Cell* c) { return cell::get_double(c); }
// The cell becomes a time! holding the seconds; returns it.
Cell* init_cell(double seconds, Cell* c);
Cell* push(double seconds);  // a new argument-stack cell
// A new time! at the block's tail from the double's halves; valid until the next allocation.
Cell* make_in(Cell* block, uint32_t low, uint32_t high);

// The hour count: seconds / 3600 rounded toward zero.
double floor_div(double seconds);
// The minute count within the hour, taken from the magnitude (0..59 for a finite value).
double mod(double seconds);
// 1, 2 or 3 for a word! spelling hour, minute or second in any case. Another word raises
// script cannot-use (word, value) when the value is a time!, else answers -1.
int32_t field_index(const Cell* word, const Cell* value);
// Field 1..3 of the time into `out`: hour and minute as integer! (script type-limit when the
// hour count does not fit), second as float! with the time's sign.
Cell* field_get(const Cell* time, int32_t field, Cell* out);

// Appends the text form of the seconds; returns the budget less the characters written.
// Seconds show at most six significant digits, rounded before the fields are written, so a
// rounding up carries into minutes and hours.
int32_t form_part(double seconds, Cell* buffer, int32_t budget);
// The seconds as form_part shows them: a time whose seconds show as 60 comes back as the next
// whole minute, any other as it is.
double shown(double seconds);

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);  // make and to
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
// Reads field `element` of the time in `parent` into a new argument-stack cell, or with `value`
// sets it in place in `parent` and answers the value. A set moves the time by the difference
// between the new and the current field value, then sends the set-path ownership notice for the
// grandparent (the value holding the time); the notice may run code.
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
void add();
void divide();    // by a time!: the float! ratio
void multiply();
void subtract();
void round(Cell* value, Cell* scale, bool even, bool down, bool half_down, bool floor,
           bool ceiling, bool half_ceiling);
// Parity of the whole seconds within the minute.
bool is_even(Cell* value);
bool is_odd(Cell* value);
// The field as a new argument-stack cell.
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);

extern const TypeRecord kRecord;
void init();  // after float!'s, whose slots it takes

}  // namespace nuv::time_value
