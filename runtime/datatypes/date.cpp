// date!: the day-number calendar, makers, the text form, instant comparison, day and second
// arithmetic, the 14 fields of path access and pick, and random.
#include "runtime/datatypes/date.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/path.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/os.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::date {

namespace {

int64_t floor_div(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
int64_t floor_mod(int64_t a, int64_t b) { return a - floor_div(a, b) * b; }

int64_t days_before_year(int64_t f) {
    return 365 * f + floor_div(f, 4) - floor_div(f, 100) + floor_div(f, 400);
}

[[noreturn]] void fire_bad_to(const Cell* value) {
    integer::fire_with_type(Err::BadToArg, TypeId::Date, value);
}

// The fields, numbered as pick and integer path elements number them.
enum Field : int32_t {
    kDate = 1, kYear, kMonth, kDay, kZone, kTime, kHour, kMinute, kSecond, kWeekday, kYearday,
    kTimezone, kWeek, kIsoweek, kFieldCount = kIsoweek
};

int32_t field_of_word(const Cell* element) {
    const SymId sym = symbol::resolve(word::symbol_of(element));
    const struct {
        SymId name;
        Field field;
    } names[] = {
        {words::sym::date, kDate},       {words::sym::year, kYear},
        {words::sym::month, kMonth},     {words::sym::day, kDay},
        {words::sym::zone, kZone},       {words::sym::time, kTime},
        {words::sym::hour, kHour},       {words::sym::minute, kMinute},
        {words::sym::second, kSecond},   {words::sym::weekday, kWeekday},
        {words::sym::yearday, kYearday}, {words::sym::julian, kYearday},
        {words::sym::timezone, kTimezone}, {words::sym::week, kWeek},
        {words::sym::isoweek, kIsoweek},
    };
    // The runtime's spellings are nearly always the canonical ones: one pass without resolving
    // them, then one that resolves.
    for (const auto& n : names)
        if (n.name == sym) return n.field;
    for (const auto& n : names)
        if (symbol::resolve(n.name) == sym) return n.field;
    return -1;
}

int32_t field_of(const Cell* element) {
    if (cell::is(element, TypeId::Word)) return field_of_word(element);
    if (cell::is(element, TypeId::Integer)) {
        const int32_t n = cell::get_int(element);
        return n >= 1 && n <= kFieldCount ? n : -1;
    }
    return -1;
}

// The local time of day of a time-present date, in [0, 86400).
double local_time(const Cell* c) {
    return has_time(word_of(c)) ? time_of(c) + zone_seconds(word_of(c)) : 0.0;
}

// The zone field of a time! offset (hours toward zero, the minute field), or of integer hours
// and minutes; -1 when the 7-bit field cannot hold it.
int32_t zone_from(double seconds) {
    const bool west = seconds < 0.0;
    const double magnitude = std::fabs(seconds);
    const double hours = std::trunc(magnitude / 3600.0);
    const double minutes = std::trunc(std::fmod(magnitude, 3600.0) / 60.0);
    if (hours > kMaxZoneHours || std::fmod(minutes, 15.0) != 0.0) return -1;
    return static_cast<int32_t>(
        zone_bits(static_cast<int32_t>(hours), static_cast<int32_t>(minutes), west));
}

int32_t zone_from_numbers(int64_t hours, int64_t minutes) {
    if (hours < -kMaxZoneHours || hours > kMaxZoneHours || minutes < 0 || minutes > 45 ||
        minutes % 15 != 0)
        return -1;
    return static_cast<int32_t>(zone_bits(static_cast<int32_t>(hours < 0 ? -hours : hours),
                                          static_cast<int32_t>(minutes), hours < 0));
}

double number_of(const Cell* c) {
    return cell::is(c, TypeId::Integer) ? cell::get_int(c) : cell::get_double(c);
}

// make and to from a block: [day month year] or [year month day], then a time! or hour, minute
// and second, then a zone as a time! or hours and minutes. `check` refuses values that roll.
Cell* from_block(Cell* proto, Cell* spec, bool check) {
    const int32_t length = block::rs_length(spec);
    const Cell* items = block::rs_head(spec);
    if (length < 3) fire_bad_to(spec);
    for (int32_t i = 0; i < length; i++) {
        const TypeId t = cell::type_of(items + i);
        const bool number = t == TypeId::Integer || t == TypeId::Time || t == TypeId::Float;
        if (!number || (i < 3 && t != TypeId::Integer)) fire_bad_to(spec);
    }
    int64_t day = cell::get_int(items);
    const int64_t month = cell::get_int(items + 1);
    int64_t year = cell::get_int(items + 2);
    if (day > 99 && year < day) std::swap(day, year);

    enum State { kClock, kMinute, kSecond, kZoneStart, kZoneMinutes, kEnd };
    State state = kClock;
    double clock[3] = {0.0, 0.0, 0.0};
    int64_t zone_h = 0;
    int64_t zone_m = 0;
    double zone_time = 0.0;
    bool zone_is_time = false;
    for (int32_t i = 3; i < length; i++) {
        const Cell* item = items + i;
        const TypeId t = cell::type_of(item);
        switch (state) {
        case kClock:
            if (t == TypeId::Time) {
                clock[0] = cell::get_double(item);
                state = kZoneStart;
            } else if (t == TypeId::Integer) {
                clock[0] = cell::get_int(item) * 3600.0;
                state = kMinute;
            } else fire_bad_to(spec);
            break;
        case kMinute:
            if (t != TypeId::Integer) fire_bad_to(spec);
            clock[1] = cell::get_int(item) * 60.0;
            state = kSecond;
            break;
        case kSecond:
            if (t == TypeId::Time) fire_bad_to(spec);
            clock[2] = number_of(item);
            state = kZoneStart;
            break;
        case kZoneStart:
            if (t == TypeId::Time) {
                zone_time = cell::get_double(item);
                zone_is_time = true;
                state = kEnd;
            } else if (t == TypeId::Integer) {
                zone_h = cell::get_int(item);
                state = kZoneMinutes;
            } else fire_bad_to(spec);
            break;
        case kZoneMinutes:
            if (t != TypeId::Integer) fire_bad_to(spec);
            zone_m = cell::get_int(item);
            state = kEnd;
            break;
        case kEnd: fire_bad_to(spec);
        }
    }
    const int32_t zone = zone_is_time ? zone_from(zone_time) : zone_from_numbers(zone_h, zone_m);
    if (zone < 0) fire_bad_to(spec);
    const bool timed = length > 3;
    const double time = clock[0] + clock[1] + clock[2];
    // The month rolls into the year first, so 13 is January of the next year.
    const int64_t month_index = month - 1;
    const int64_t days = to_days(year + floor_div(month_index, 12), floor_mod(month_index, 12) + 1, 1) - 1 + day;
    const uint32_t base = timed ? kTimeFlag | static_cast<uint32_t>(zone) : 0;
    set_normalized(proto, base, days, timed ? time : 0.0, true);
    if (check) {
        const uint32_t w = word_of(proto);
        const double local = local_time(proto);
        const bool same_day = year_of(w) == year && month_of(w) == month && day_of(w) == day;
        const bool clock_kept = !timed || (time >= 0.0 && std::fabs(local - time) < 1e-6 &&
                                           clock[1] < 3600.0 && clock[2] < 60.0 &&
                                           clock[1] >= 0.0 && clock[2] >= 0.0);
        if (!same_day || !clock_kept) fire_bad_to(spec);
    }
    return proto;
}

// The first three characters of the month's name, or script invalid-months.
std::string month_abbreviation(int32_t month) {
    Cell months = *system_object::locale_months_or_none();
    if (!cell::is(&months, TypeId::Block) || block::rs_length(&months) < month) fire(Err::InvalidMonths);
    const Cell* name = block::rs_head(&months) + month - 1;
    if (!cell::is(name, TypeId::String)) fire(Err::InvalidMonths);
    const std::string spelled = string::to_std_utf8(name);
    size_t end = 0;
    for (int32_t characters = 0; end < spelled.size() && characters < 3; characters++) {
        end++;
        while (end < spelled.size() && (static_cast<uint8_t>(spelled[end]) & 0xC0) == 0x80) end++;
    }
    return spelled.substr(0, end);
}

// The month's name is found before anything is written: a date that cannot be formed writes
// nothing.
int32_t form_date(const Cell* value, Cell* buffer, int32_t budget) {
    uint32_t w = word_of(value);
    double local = time_of(value) + zone_seconds(w);
    if (has_time(w) && time_value::shown(local) >= kSecondsPerDay) {
        // A clock that would show as 24:00:00 shows the next day's midnight; on the last day
        // the field holds, it shows the last instant the text can.
        if (year_of(w) == kMaxYear && month_of(w) == 12 && day_of(w) == 31) {
            local = kSecondsPerDay - 1e-3;
        } else {
            w = days_to_word(word_days(w) + 1, w, true);
            local = 0.0;
        }
    }
    const int32_t year = year_of(w);
    const std::string month = month_abbreviation(month_of(w));
    const char* separator = year < 0 ? "/" : "-";
    char text[64];
    std::snprintf(text, sizeof text, "%d%s", day_of(w), separator);
    budget = string::emit(buffer, text, budget);
    budget = string::emit(buffer, month.c_str(), budget);
    const int32_t magnitude = year < 0 ? -year : year;
    std::snprintf(text, sizeof text, magnitude < 100 ? "%s%s%04d" : "%s%s%d", separator,
                  year < 0 ? "-" : "", magnitude);
    budget = string::emit(buffer, text, budget);
    if (!has_time(w)) return budget;
    budget = string::emit(buffer, "/", budget);
    budget = time_value::form_part(local, buffer, budget);
    const uint32_t zone = w & kZoneMask;
    if ((zone & ~kZoneWest) == 0) return budget;
    std::snprintf(text, sizeof text, "%c%02u:%02u", (zone & kZoneWest) ? '-' : '+', zone >> 2 & 0xF,
                  (zone & 3) * 15);
    return string::emit(buffer, text, budget);
}

// The ISO week of a day number.
int32_t isoweek_of(uint32_t w) {
    const int64_t days = word_days(w);
    const int64_t start = isoweek1_start(w);
    if (days < start) {
        const int64_t jan1 = jan1_days(w);
        const int32_t jan1_weekday = weekday_of_days(jan1);
        const bool after_leap = is_leap(year_of(w) - 1);
        return jan1_weekday == 5 || (jan1_weekday == 6 && after_leap) ? 53 : 52;
    }
    const uint32_t next_year = days_to_word(to_days(year_of(w) + 1, 1, 1), 0, false);
    if (days >= isoweek1_start(next_year)) return 1;
    return static_cast<int32_t>((days - start) / 7 + 1);
}

// Weeks counted from Sunday; week 1 runs to the first Saturday.
int32_t week_of(uint32_t w) {
    const int32_t sunday_based = weekday_of_days(jan1_days(w)) % 7;
    const int32_t day = yearday(w);
    if (day <= 7 - sunday_based) return 1;
    return (day + sunday_based - 1) / 7 + 1;
}

Cell* field_get(const Cell* value, int32_t field, Cell* out) {
    const uint32_t w = word_of(value);
    const bool timed = has_time(w);
    const double local = local_time(value);
    switch (field) {
    case kDate: return init_cell(w & ~(kTimeFlag | kZoneMask), 0.0, out);
    case kYear: integer::set(out, year_of(w)); return out;
    case kMonth: integer::set(out, month_of(w)); return out;
    case kDay: integer::set(out, day_of(w)); return out;
    case kZone:
    case kTimezone:
        if (!timed) {
            none::set(out);
            return out;
        }
        return time_value::init_cell(zone_seconds(w), out);
    case kTime:
        if (!timed) {
            none::set(out);
            return out;
        }
        return time_value::init_cell(local, out);
    case kHour:
    case kMinute:
    case kSecond: {
        Cell clock;
        time_value::init_cell(local, &clock);
        return time_value::field_get(&clock, field - kHour + 1, out);
    }
    case kWeekday: integer::set(out, weekday_of_days(word_days(w))); return out;
    case kYearday: integer::set(out, yearday(w)); return out;
    case kWeek: integer::set(out, week_of(w)); return out;
    default: integer::set(out, isoweek_of(w)); return out;
    }
}

// A zone field from a path value: integer! hours taken modulo 16, or a time! modulo 16 hours
// (hours toward zero, the minute field rounded down to the quarter hour).
uint32_t zone_of_value(const Cell* value) {
    if (cell::is(value, TypeId::Integer)) {
        const int32_t h = cell::get_int(value);
        return zone_bits((h < 0 ? -h : h) % 16, 0, h < 0);
    }
    const double s = std::fmod(cell::get_double(value), 57600.0);
    const double magnitude = std::fabs(s);
    const int32_t hours = static_cast<int32_t>(magnitude / 3600.0);
    const int32_t minutes = static_cast<int32_t>(std::fmod(magnitude, 3600.0) / 60.0);
    return zone_bits(hours, minutes / 15 * 15, s < 0.0);
}

void field_set(Cell* date, int32_t field, const Cell* value) {
    const TypeId vt = cell::type_of(value);
    bool accepted;
    switch (field) {
    case kDate: accepted = vt == TypeId::Date; break;
    case kTime: accepted = vt == TypeId::None || vt == TypeId::Time; break;
    case kZone:
    case kTimezone: accepted = vt == TypeId::Integer || vt == TypeId::Time; break;
    case kHour:
    case kMinute: accepted = vt == TypeId::Integer; break;
    case kSecond: accepted = vt == TypeId::Integer || vt == TypeId::Float || vt == TypeId::Time; break;
    default: accepted = vt == TypeId::Integer;
    }
    if (!accepted) fire(Err::InvalidArg, value);

    const uint32_t w = word_of(date);
    const int64_t days = word_days(w);
    const double time = time_of(date);
    const int64_t n = vt == TypeId::Integer ? cell::get_int(value) : 0;
    const uint32_t timed = w | kTimeFlag;
    switch (field) {
    case kDate: {
        const uint32_t other = word_of(value);
        if (!has_time(other)) set_normalized(date, 0, word_days(other), 0.0, false);
        else set_normalized(date, w, word_days(other), time, false);
        return;
    }
    case kYear: set_normalized(date, w, to_days(n, month_of(w), 1) - 1 + day_of(w), time, false); return;
    case kMonth: {
        const int64_t index = n - 1;
        const int64_t first = to_days(year_of(w) + floor_div(index, 12), floor_mod(index, 12) + 1, 1);
        set_normalized(date, w, first - 1 + day_of(w), time, false);
        return;
    }
    case kDay: set_normalized(date, w, to_days(year_of(w), month_of(w), 1) - 1 + n, time, false); return;
    case kZone:
    case kTimezone: {
        const uint32_t zoned = (timed & ~kZoneMask) | zone_of_value(value);
        // zone keeps the local clock; timezone keeps the instant.
        if (field == kZone) set_normalized(date, zoned, days, local_time(date), true);
        else set_normalized(date, zoned, days, time, false);
        return;
    }
    case kTime:
        if (vt == TypeId::None) set_normalized(date, 0, days, 0.0, false);
        else set_normalized(date, timed, days, cell::get_double(value), true);
        return;
    case kHour:
    case kMinute:
    case kSecond: {
        // The field is set on the local clock, whole-day carries included.
        Cell clock;
        time_value::init_cell(local_time(date), &clock);
        const double old_local = time_value::get(&clock);
        const double wanted = vt == TypeId::Integer ? static_cast<double>(n) : cell::get_double(value);
        double unit = field == kHour ? 3600.0 : field == kMinute ? 60.0 : 1.0;
        Cell current;
        time_value::field_get(&clock, field - kHour + 1, &current);
        const double had = cell::is(&current, TypeId::Integer) ? cell::get_int(&current) : cell::get_double(&current);
        set_normalized(date, timed, days, old_local + (wanted - had) * unit, true);
        return;
    }
    case kWeekday: set_normalized(date, w, days + n - weekday_of_days(days), time, false); return;
    case kYearday: set_normalized(date, w, jan1_days(w) + n - 1, time, false); return;
    case kWeek: {
        const int64_t jan1 = jan1_days(w);
        const int64_t sunday_based = weekday_of_days(jan1) % 7;
        set_normalized(date, w, n > 1 ? jan1 + 7 * n - sunday_based - 7 : jan1, time, false);
        return;
    }
    default: set_normalized(date, w, isoweek1_start(w) + (n - 1) * 7, time, false); return;
    }
}

// Adds days and seconds to the date in arguments[0] in its own zone.
void shift(Cell* date, int64_t days, double seconds, bool timed) {
    const uint32_t w = word_of(date) | (timed ? kTimeFlag : 0);
    set_normalized(date, w, word_days(w) + days, time_of(date) + seconds, false);
}

}  // namespace

// ---- Calendar ----

uint32_t zone_bits(int32_t hours, int32_t minutes, bool west) {
    const uint32_t bits = static_cast<uint32_t>(hours) << 2 | static_cast<uint32_t>(minutes / 15);
    return bits == 0 ? 0 : (west ? kZoneWest : 0) | bits;
}

int32_t zone_seconds(uint32_t w) {
    const int32_t s = static_cast<int32_t>(w >> 2 & 0xF) * 3600 + static_cast<int32_t>(w & 3) * 900;
    return (w & kZoneWest) ? -s : s;
}

int64_t to_days(int64_t year, int64_t month, int64_t day) {
    const int64_t b = (month + 9) % 12;
    const int64_t c = year - b / 10;
    return days_before_year(c) + (306 * b + 5) / 10 + day - 1;
}

uint32_t days_to_word(int64_t days, uint32_t zone, bool time) {
    int64_t f = floor_div(10000 * days + 14780, 3652425);
    int64_t g = days - days_before_year(f);
    if (g < 0) {
        f -= 1;
        g = days - days_before_year(f);
    }
    const int64_t m = (100 * g + 52) / 3060;
    const int64_t month = (m + 2) % 12 + 1;
    const int64_t year = f + (m + 2) / 12;
    const int64_t day = g - (306 * m + 5) / 10 + 1;
    if (year < kMinYear || year > kMaxYear) integer::fire_with_type(Err::TypeLimit, TypeId::Date);
    return static_cast<uint32_t>(year) << 17 | static_cast<uint32_t>(month) << 12 |
           (time ? kTimeFlag : 0) | static_cast<uint32_t>(day) << 7 | (zone & kZoneMask);
}

int64_t jan1_days(uint32_t w) { return to_days(year_of(w), 1, 1); }
int32_t yearday(uint32_t w) { return static_cast<int32_t>(word_days(w) - jan1_days(w) + 1); }
int32_t weekday_of_days(int64_t days) { return static_cast<int32_t>(floor_mod(days + 2, 7)) + 1; }

int64_t isoweek1_start(uint32_t w) {
    const int64_t a = jan1_days(w);
    const int64_t b = floor_mod(a + 2, 7);
    return a - b + (b >= 4 ? 7 : 0);
}

bool is_leap(int64_t year) {
    return floor_mod(year, 4) == 0 && (floor_mod(year, 100) != 0 || floor_mod(year, 400) == 0);
}

int32_t month_length(int64_t year, int32_t month) {
    static constexpr int32_t kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : kLengths[month - 1];
}

double instant(const Cell* c) {
    return static_cast<double>(word_days(word_of(c))) * kSecondsPerDay + time_of(c);
}

// ---- Makers ----

Cell* init_cell(uint32_t word, double time, Cell* c) {
    c->header = static_cast<uint32_t>(TypeId::Date);
    c->w1 = word;
    cell::set_double(c, time);
    return c;
}

Cell* push(uint32_t word, double time) { return init_cell(word, time, stack::reserve()); }

Cell* make_in(Cell* block, uint32_t word, uint32_t low, uint32_t high) {
    Cell* c = floating::make_in_halves_typed(block, TypeId::Date, low, high);
    c->w1 = word;
    return c;
}

Cell* set_normalized(Cell* c, uint32_t word, int64_t days, double time, bool from_local) {
    const bool timed = has_time(word);
    const uint32_t zone = timed ? word & kZoneMask : 0;
    const int32_t offset = zone_seconds(zone);
    if (!timed) time = 0.0;
    if (from_local) time -= offset;
    const double carry = std::floor((time + offset) / kSecondsPerDay);
    if (std::isfinite(carry) && std::fabs(carry) < 1e12) {
        days += static_cast<int64_t>(carry);
        time -= carry * kSecondsPerDay;
    } else {
        integer::fire_with_type(Err::TypeLimit, TypeId::Date);
    }
    const bool keep_header = cell::is(c, TypeId::Date);
    const uint32_t header = c->header;
    init_cell(days_to_word(days, zone, timed), time, c);
    if (keep_header) c->header = header;
    return c;
}

Cell* make_at(Cell* c, int32_t year, int32_t month, int32_t day, double local_time_of_day,
              int32_t zone_minutes, bool time) {
    const int32_t magnitude = zone_minutes < 0 ? -zone_minutes : zone_minutes;
    const uint32_t zone = zone_bits(magnitude / 60, magnitude % 60, zone_minutes < 0);
    return set_normalized(c, time ? kTimeFlag | zone : 0, to_days(year, month, day),
                          time ? local_time_of_day : 0.0, true);
}

Cell* make_at_ymd_hms(Cell* c, int32_t year, int32_t month, int32_t day, int32_t hour,
                      int32_t minute, int32_t second, int32_t nanoseconds) {
    const double time = hour * 3600.0 + minute * 60.0 + second + nanoseconds * 1e-9;
    return set_normalized(c, kTimeFlag, to_days(year, month, day), time, false);
}

void set_week(Cell* c, int32_t week, int32_t weekday) {
    const uint32_t w = word_of(c);
    set_normalized(c, w, isoweek1_start(w) + (week - 1) * 7 + (weekday - 1), time_of(c), false);
}

void set_yearday(Cell* c, int32_t day) {
    const uint32_t w = word_of(c);
    set_normalized(c, w, jan1_days(w) + day - 1, time_of(c), false);
}

Cell* now(Cell* out, bool utc, bool precise) {
    const os::Clock clock = os::clock_now();
    // The zone field holds whole quarter hours up to 15:45; the instant is kept either way.
    const long offset = utc ? 0 : clock.zone_offset;
    const long magnitude = std::min<long>(offset < 0 ? -offset : offset, 15 * 3600 + 45 * 60);
    const auto hours = static_cast<int32_t>(magnitude / 3600);
    const auto minutes = static_cast<int32_t>(magnitude % 3600 / 60 / 15 * 15);
    const int64_t seconds = clock.seconds;
    const double time = static_cast<double>(floor_mod(seconds, kSecondsPerDay)) +
                        (precise ? clock.nanoseconds * 1e-9 : 0.0);
    const int64_t days = kUnixEpochDays + floor_div(seconds, kSecondsPerDay);
    return set_normalized(out, kTimeFlag | zone_bits(hours, minutes, offset < 0), days, time, false);
}

Cell* field(const Cell* value, int32_t index, Cell* out) { return field_get(value, index, out); }

int32_t to_unix_time(const Cell* c) {
    const double seconds = std::floor((static_cast<double>(word_days(word_of(c)) - kUnixEpochDays)) *
                                          kSecondsPerDay + time_of(c) + 0.5);
    if (!(seconds >= -2147483648.0 && seconds <= 2147483647.0))
        integer::fire_with_type(Err::TypeLimit, TypeId::Integer);
    return static_cast<int32_t>(seconds);
}

double difference(const Cell* a, const Cell* b) {
    return static_cast<double>(word_days(word_of(a)) - word_days(word_of(b))) * kSecondsPerDay +
           (time_of(a) - time_of(b));
}

// ---- Slots ----

Cell* to(Cell* proto, Cell* spec, TypeId) {
    switch (cell::type_of(spec)) {
    case TypeId::Date: *proto = *spec; return proto;
    case TypeId::Integer: {
        const int32_t n = cell::get_int(spec);
        return set_normalized(proto, kTimeFlag, kUnixEpochDays, static_cast<double>(n), false);
    }
    case TypeId::Block:
    case TypeId::Paren:
    case TypeId::Hash: return from_block(proto, spec, false);
    default: fire_bad_to(spec);
    }
}

Cell* make(Cell* proto, Cell* spec, TypeId type) {
    const TypeId t = cell::type_of(spec);
    if (t == TypeId::Block || t == TypeId::Paren || t == TypeId::Hash) return from_block(proto, spec, true);
    return to(proto, spec, type);
}

Cell* random(Cell* value, bool seed, bool secure, bool) {
    const uint32_t w = word_of(value);
    if (seed) {
        random::mt_seed(w + static_cast<uint32_t>(static_cast<int64_t>(time_of(value))));
        unset::set(value);
        return value;
    }
    // A day from day 0 (1 March of year 0) up to the day before the value's; below day 0 the
    // draw mirrors, as random of a negative integer does: after the value's day, up to day 0.
    const auto top = static_cast<int32_t>(word_days(w));
    const int32_t day = random::random_in_range(secure, top);
    const int64_t drawn = top > 0 ? day - 1 : top < 0 ? day + 1 : 0;
    if (!has_time(w)) return set_normalized(value, 0, drawn, 0.0, false);
    const uint32_t zone = static_cast<uint32_t>(random::random_in_range(secure, 128) - 1);
    double r;
    if (secure) {
        const double r1 = random::secure_random_int();
        const double r2 = random::secure_random_int();
        r = (r2 + r1 / 2147483647.0) / 2147483648.0;
    } else {
        r = random::mt_next() / 2147483647.0;
    }
    const double time = std::floor(r * 3600.0) * 24.0;
    return set_normalized(value, kTimeFlag | (zone_bits((zone >> 2) & 0xF, (zone & 3) * 15, zone & kZoneWest) ), drawn, time, true);
}

// The value cell may lie in the buffer: its payload is read before anything is appended.
int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const Cell copy = *value;
    return form_date(&copy, buffer, budget);
}

int32_t mold(Cell* value, Cell* buffer, bool, bool, bool, Cell*, int32_t budget, int32_t) {
    const Cell copy = *value;
    return form_date(&copy, buffer, budget);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, TypeId::Date)) return kNotComparable;
    if (op == CompareOp::Same)
        return a->w1 == b->w1 && a->w2 == b->w2 && a->w3 == b->w3 ? 0 : 1;
    const double x = instant(a);
    const double y = instant(b);
    const bool equal = floating::almost_equal(x, y);
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual:
    case CompareOp::FindEqual: return equal ? 0 : 1;
    case CompareOp::StrictEqual:
        return equal && (a->w1 & kZoneMask) == (b->w1 & kZoneMask) ? 0 : 1;
    default:
        if (equal) return 0;
        return x < y ? -1 : 1;
    }
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool, bool, bool notify) {
    const int32_t field = field_of(element);
    if (field < 0) {
        Cell where;
        if (path) where = *path;
        else none::set(&where);
        fire(Err::InvalidPath, &where, element);
    }
    if (!value) return field_get(parent, field, stack::reserve());
    field_set(parent, field, value);
    if (grandparent) path::store_back(parent, path, grandparent, element_cell, position, case_, notify);
    return value;
}

void add() {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    if (!cell::is(a, TypeId::Date)) std::swap(*a, *b);
    switch (cell::type_of(b)) {
    case TypeId::Integer: shift(a, cell::get_int(b), 0.0, false); return;
    case TypeId::Time: shift(a, 0, cell::get_double(b), true); return;
    case TypeId::Date: integer::fire_word_type(Err::NotRelated, &words::w::add, TypeId::Date);
    default: integer::fire_with_type(Err::InvalidType, cell::type_of(b));
    }
}

void subtract() {
    Cell* a = stack::arg(0);
    Cell* b = stack::arg(1);
    switch (cell::type_of(b)) {
    case TypeId::Integer: shift(a, -static_cast<int64_t>(cell::get_int(b)), 0.0, false); return;
    case TypeId::Time: shift(a, 0, -cell::get_double(b), true); return;
    case TypeId::Date: {
        // The whole days between them once the left's zone has carried the time difference.
        const uint32_t w = word_of(a);
        const double local = time_of(a) - time_of(b) + zone_seconds(has_time(w) ? w : 0);
        const int64_t days = word_days(w) - word_days(word_of(b)) +
                             static_cast<int64_t>(std::floor(local / kSecondsPerDay));
        if (days < INT32_MIN || days > INT32_MAX) integer::fire_with_type(Err::TypeLimit, TypeId::Integer);
        integer::set(a, static_cast<int32_t>(days));
        return;
    }
    default: integer::fire_with_type(Err::InvalidType, cell::type_of(b));
    }
}

const Cell* pick(Cell* series, int32_t index, Cell* index_arg) {
    Cell by_count;
    if (!index_arg) {
        integer::set(&by_count, index);
        index_arg = &by_count;
    }
    const int32_t field = field_of(index_arg);
    if (field < 0) fire(Err::OutOfRange, index_arg);
    return field_get(series, field, stack::reserve());
}

constexpr TypeRecord kRecord{
    .id = TypeId::Date,
    .parent = TypeId::Invalid,
    .name = "date!",
    .make = date::make,
    .random = date::random,
    .to = date::to,
    .form = date::form,
    .mold = date::mold,
    .path_access = date::path_access,
    .compare = date::compare,
    .add = date::add,
    .subtract = date::subtract,
    .pick = date::pick,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::date
