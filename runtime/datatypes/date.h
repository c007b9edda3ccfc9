// date!: a proleptic Gregorian date, optionally with a time of day and a zone. Word 1 packs,
// from the top, the signed year (bits 17-31), the month (12-15), the time-present flag (16),
// the day (7-11) and the zone (0-6: bit 6 set west of UTC, bits 2-5 whole hours, bits 0-1
// quarter hours); words 2-3 hold the time as a double. The day fields are the local calendar
// date; the stored time is the local time of day less the zone offset, so day number x 86400
// plus the stored time is the instant in UTC seconds, whatever the zone. Equality, ordering
// and hashing use that instant; strict equality also asks for the same zone.
// Day numbers count days from 1 March of year 0 (1970-01-01 is 719468) in 64 bits: the
// arithmetic multiplies them by 10,000 and by 86,400.
#pragma once
#include <cstdint>

#include "runtime/actions.h"
#include "runtime/cell.h"
#include "runtime/datatypes/registry.h"

namespace nuv::date {

inline constexpr uint32_t kTimeFlag = 1u << 16;
inline constexpr uint32_t kZoneMask = 0x7F;
inline constexpr uint32_t kZoneWest = 0x40;
inline constexpr int64_t kUnixEpochDays = 719468;
inline constexpr int32_t kSecondsPerDay = 86400;
inline constexpr int32_t kMaxZoneHours = 15;
// The years the 15-bit year field holds.
inline constexpr int32_t kMinYear = -16384;
inline constexpr int32_t kMaxYear = 16383;

inline uint32_t word_of(const Cell* c) { return c->w1; }
inline int32_t year_of(uint32_t w) { return static_cast<int32_t>(w) >> 17; }
inline int32_t month_of(uint32_t w) { return static_cast<int32_t>(w >> 12 & 0xF); }
inline int32_t day_of(uint32_t w) { return static_cast<int32_t>(w >> 7 & 0x1F); }
inline bool has_time(uint32_t w) { return (w & kTimeFlag) != 0; }
inline double time_of(const Cell* c) { return cell::get_double(c); }

// The zone field of an offset of `hours` (its sign is the zone's) and `minutes` (0, 15, 30 or
// 45); callers check the range.
uint32_t zone_bits(int32_t hours, int32_t minutes, bool west);
// The zone's offset from UTC in seconds.
int32_t zone_seconds(uint32_t word);

// The day number of year, month (1..12) and day (any value: it counts from the month's start).
int64_t to_days(int64_t year, int64_t month, int64_t day);
inline int64_t word_days(uint32_t w) { return to_days(year_of(w), month_of(w), day_of(w)); }
// The date word of a day number with the zone field and the time flag given; script
// type-limit (date!) when the year leaves the 15-bit field.
uint32_t days_to_word(int64_t days, uint32_t zone, bool time);
int64_t jan1_days(uint32_t w);
int32_t yearday(uint32_t w);
int32_t weekday_of_days(int64_t days);  // 1 = Monday .. 7 = Sunday
// The Monday that starts ISO week 1 of the word's year.
int64_t isoweek1_start(uint32_t w);
bool is_leap(int64_t year);
int32_t month_length(int64_t year, int32_t month);

// The instant in UTC seconds.
double instant(const Cell* c);
// The cell becomes a date! of the word and stored time; returns it.
Cell* init_cell(uint32_t word, double time, Cell* c);
Cell* push(uint32_t word, double time);  // a new argument-stack cell
// A new date! at the block's tail, the time given by its double's halves; valid until the next
// allocation.
Cell* make_in(Cell* block, uint32_t word, uint32_t low, uint32_t high);
// The cell becomes the date of local day number `days` and stored time `time` (either may lie
// outside its range: the local time of day is brought into [0, 86400) by moving whole days),
// keeping the zone and time flag of `word`; with from_local, `time` is the local time and the
// zone offset is taken off first.
Cell* set_normalized(Cell* c, uint32_t word, int64_t days, double time, bool from_local);
// A date from a local time, in the zone of that many minutes east of UTC (west when negative)
// when `time` is set; without, the date alone.
Cell* make_at(Cell* c, int32_t year, int32_t month, int32_t day, double local_time,
              int32_t zone_minutes, bool time);
// A time-present UTC date.
Cell* make_at_ymd_hms(Cell* c, int32_t year, int32_t month, int32_t day, int32_t hour,
                      int32_t minute, int32_t second, int32_t nanoseconds);
// The lexer's ISO week and ordinal forms on a date of the year wanted.
void set_week(Cell* c, int32_t week, int32_t weekday);
void set_yearday(Cell* c, int32_t day);

// The current date from the system clock: local time and zone, or with utc UTC and no zone;
// whole seconds unless precise.
Cell* now(Cell* out, bool utc, bool precise);
// Field 1..14 (as pick numbers them) of the date into `out`.
Cell* field(const Cell* value, int32_t index, Cell* out);

// Unix seconds rounded half up: script type-limit (integer!) outside 32 bits.
int32_t to_unix_time(const Cell* c);
// a - b as seconds, for the time! of `difference`.
double difference(const Cell* a, const Cell* b);

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId type);
Cell* to(Cell* proto, Cell* spec, TypeId type);
Cell* random(Cell* value, bool seed, bool secure, bool only);
int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget);
int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent);
int32_t compare(Cell* a, Cell* b, CompareOp op);
// Reads field `element` into a new argument-stack cell, or sets it in `parent` and stores the
// date back into the grandparent (may allocate and run code).
const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify);
void add();       // date + integer! days or time! seconds; a number or time on the left swaps
void subtract();  // date - integer!, time!, or date! (the integer! of days)
const Cell* pick(Cell* series, int32_t index, Cell* index_arg);

extern const TypeRecord kRecord;
void init();

}  // namespace nuv::date
