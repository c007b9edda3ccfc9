// The compact and three-field layouts name a real date and clock; the ISO week and ordinal
// layouts take week, day of the year and clock as written and let them roll over. A zone must
// fit the date's zone field (hours up to 15, minutes on the quarter hour) in every layout.
#include "runtime/syntax/date_scan.h"

#include <cmath>

#include "runtime/datatypes/date.h"
#include "runtime/float_text.h"

namespace nuv::date_scan {

namespace {

struct Reader {
    const uint8_t* p;
    const uint8_t* end;

    bool at_end() const { return p >= end; }
    bool peek(uint8_t c) const { return p < end && *p == c; }
    bool take(uint8_t c) {
        if (!peek(c)) return false;
        p++;
        return true;
    }
    bool digit_next() const { return p < end && *p >= '0' && *p <= '9'; }
    // From `least` to `most` digits; -1 when fewer than `least` stand there.
    int32_t digits(int32_t least, int32_t most, int32_t* count = nullptr) {
        int32_t v = 0;
        int32_t n = 0;
        while (n < most && digit_next()) v = v * 10 + (*p++ - '0'), n++;
        if (count) *count = n;
        return n >= least ? v : -1;
    }
};

struct Clock {
    bool present = false;
    double seconds = 0.0;  // hours x 3600 + minutes x 60 + seconds, as written
    int32_t hours = 0;
    int32_t minutes = 0;
    double second = 0.0;
    bool west = false;
    int32_t zone_hours = 0;
    int32_t zone_minutes = 0;
};

// Seconds: digits with an optional "." fraction.
bool read_seconds(Reader& r, double* out) {
    const uint8_t* start = r.p;
    while (r.digit_next()) r.p++;
    if (r.p == start) return false;
    if (r.take('.')) {
        const uint8_t* fraction = r.p;
        while (r.digit_next()) r.p++;
        if (r.p == fraction) return false;
    }
    *out = float_text::decimal_to_float(reinterpret_cast<const char*>(start),
                                        reinterpret_cast<const char*>(r.p));
    return true;
}

// hh:mm[:ss[.f]] then "Z" or a zone [+-]h[h][[:]m[m]], to the end of the text.
bool read_clock(Reader& r, Clock* c) {
    c->present = true;
    c->hours = r.digits(1, 2);
    if (c->hours < 0 || !r.take(':')) return false;
    c->minutes = r.digits(1, 2);
    if (c->minutes < 0) return false;
    if (r.take(':') && !read_seconds(r, &c->second)) return false;
    if (r.take('Z')) return r.at_end();
    if (r.peek('+') || r.peek('-')) {
        c->west = *r.p++ == '-';
        c->zone_hours = r.digits(1, 2);
        if (c->zone_hours < 0) return false;
        if (!r.at_end()) {
            r.take(':');
            c->zone_minutes = r.digits(1, 2);
            if (c->zone_minutes < 0) return false;
        }
    }
    return r.at_end();
}

bool zone_fits(const Clock& c) {
    return c.zone_hours <= date::kMaxZoneHours &&
           c.zone_minutes % 15 == 0 && c.zone_minutes < 60;
}

// The compact and three-field layouts' range checks.
bool real(int32_t year, int32_t month, int32_t day, const Clock& c) {
    if (year < date::kMinYear || year > date::kMaxYear || month < 1 || month > 12) return false;
    if (day < 1 || day > date::month_length(year, month)) return false;
    if (!c.present) return true;
    return c.hours <= 23 && c.minutes <= 59 && c.second < 60.0;
}

// The month of a name of 3 to 9 letters that starts one of the month names.
int32_t month_by_name(Reader& r) {
    static constexpr const char* kNames[] = {"january", "february", "march",     "april",
                                             "may",     "june",     "july",      "august",
                                             "september", "october", "november", "december"};
    const uint8_t* start = r.p;
    while (r.p < r.end && ((*r.p | 0x20) >= 'a' && (*r.p | 0x20) <= 'z')) r.p++;
    const auto n = static_cast<size_t>(r.p - start);
    if (n < 3 || n > 9) return -1;
    for (int32_t m = 0; m < 12; m++) {
        const char* name = kNames[m];
        size_t i = 0;
        while (i < n && name[i] && (start[i] | 0x20) == name[i]) i++;
        if (i == n) return m + 1;
    }
    return -1;
}

void build(Cell* out, int32_t year, int32_t month, int32_t day, const Clock& c) {
    const double local = c.hours * 3600.0 + c.minutes * 60.0 + c.second;
    const int32_t zone = c.zone_hours * 60 + c.zone_minutes;
    date::make_at(out, year, month, day, local, c.west ? -zone : zone, c.present);
}

// yyyymmddThhmm, then "Z", or seconds followed by nothing, "Z" or [+-]hhmm.
bool compact(Reader& r, int32_t year, Cell* out) {
    const int32_t month = r.digits(2, 2);
    const int32_t day = r.digits(2, 2);
    if (month < 0 || day < 0 || !r.take('T')) return false;
    Clock c;
    c.present = true;
    c.hours = r.digits(2, 2);
    c.minutes = r.digits(2, 2);
    if (c.hours < 0 || c.minutes < 0) return false;
    if (r.digit_next() && !read_seconds(r, &c.second)) return false;
    if (r.peek('+') || r.peek('-')) {
        c.west = *r.p++ == '-';
        c.zone_hours = r.digits(2, 2);
        c.zone_minutes = r.digits(2, 2);
        if (c.zone_hours < 0 || c.zone_minutes < 0) return false;
    } else {
        r.take('Z');
    }
    if (!r.at_end() || !zone_fits(c) || !real(year, month, day, c)) return false;
    if (out) build(out, year, month, day, c);
    return true;
}

// An optional "T" and clock, to the end of the text.
bool optional_clock(Reader& r, Clock* c) {
    if (r.at_end()) return true;
    return r.take('T') && read_clock(r, c) && zone_fits(*c);
}

bool iso_week(Reader& r, int32_t year, Cell* out) {
    const int32_t week = r.digits(2, 2);
    if (week < 0) return false;
    int32_t weekday = 1;
    if (r.take('-')) {
        weekday = r.digits(1, 1);
        if (weekday < 1 || weekday > 7) return false;
    }
    Clock c;
    if (!optional_clock(r, &c)) return false;
    if (out) {
        build(out, year, 1, 1, c);
        date::set_week(out, week, weekday);
    }
    return true;
}

bool ordinal(Reader& r, int32_t year, int32_t day, Cell* out) {
    Clock c;
    if (day == 0 || !optional_clock(r, &c)) return false;
    if (out) {
        build(out, year, 1, 1, c);
        date::set_yearday(out, day);
    }
    return true;
}

// A year of one or two digits reads as 1950-2049.
int32_t widen(int32_t value, int32_t written_digits) {
    if (written_digits > 2 || value < 0) return value;
    return value < 50 ? 2000 + value : 1900 + value;
}

bool three_fields(Reader& r, int32_t first, int32_t first_digits, Cell* out) {
    const uint8_t separator = *r.p++;
    int32_t month;
    if (r.digit_next()) month = r.digits(1, 2);
    else month = month_by_name(r);
    if (month < 0 || !r.take(separator)) return false;
    const bool negative = r.take('-');
    int32_t third_digits = 0;
    int32_t third = r.digits(1, 5, &third_digits);
    if (third < 0) return false;
    if (negative) third = -third;
    int32_t day;
    int32_t year;
    if (first <= 99 || third < 0 || third > 31) {
        day = first;
        year = widen(third, third_digits);
    } else {
        year = widen(first, first_digits);
        day = third;
    }
    Clock c;
    if (!r.at_end()) {
        if (!r.take('/') && !r.take('T')) return false;
        if (!read_clock(r, &c) || !zone_fits(c)) return false;
    }
    if (!real(year, month, day, c)) return false;
    if (out) build(out, year, month, day, c);
    return true;
}

}  // namespace

bool scan(const uint8_t* text, size_t length, Cell* out) {
    Reader r{text, text + length};
    const bool negative = r.take('-');
    int32_t digits = 0;
    int32_t first = r.digits(1, 4, &digits);
    if (first < 0) return false;
    if (negative) first = -first;
    if (r.digit_next()) return !negative && digits == 4 && compact(r, first, out);
    if (digits == 4 && r.peek('-') && r.p + 1 < r.end && r.p[1] == 'W') {
        r.p += 2;
        return iso_week(r, first, out);
    }
    if (r.peek('-')) {
        Reader ahead{r.p + 1, r.end};
        int32_t count = 0;
        const int32_t day = ahead.digits(3, 3, &count);
        if (day >= 0 && !ahead.digit_next() && (ahead.at_end() || ahead.peek('T')))
            return ordinal(ahead, first, day, out);
    }
    if (!r.peek('-') && !r.peek('/')) return false;
    return three_fields(r, first, digits, out);
}

}  // namespace nuv::date_scan
