// The month calendar: one month of days under a title with buttons to the months before and
// after; a click or a key picks a day and tells the parent (MCN_SELCHANGE). Dates are of the
// Gregorian calendar in the years 1601 to 9999: a year outside is brought to the nearer end,
// other fields out of range are refused. No language values.
#pragma once
#include <cstdint>

#include "host/controls/controls.h"

namespace nuv::host::controls {

enum : uint32_t {
    MCM_GETCURSEL = 0x1001,  // lParam: SYSTEMTIME* to fill; answers TRUE
    MCM_SETCURSEL = 0x1002,  // lParam: const SYSTEMTIME*; answers FALSE for a date it refuses
    MCM_SETCOLOR = 0x100A,   // wParam: MCSC_*; lParam: COLORREF; answers the colour before, -1 for a bad part
    MCM_GETCOLOR = 0x100B,
};

// The parts MCM_SETCOLOR colours.
enum : int32_t {
    MCSC_BACKGROUND = 0,    // around the month
    MCSC_TEXT = 1,          // the days
    MCSC_TITLEBK = 2,       // the title strip
    MCSC_TITLETEXT = 3,     // the title and its buttons
    MCSC_MONTHBK = 4,       // behind the days
    MCSC_TRAILINGTEXT = 5,  // days of the months before and after
};

enum : uint32_t {
    MCS_NOTODAY = 0x0010,           // the calendar never shows today; taken and changes nothing
    MCS_SHORTDAYSOFWEEK = 0x0080,   // the day names have two letters (else three)
    MCS_NOSELCHANGEONNAV = 0x0100,  // the month buttons leave the selection where it is
};

struct SYSTEMTIME {
    uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;  // day of the week: 0 Sunday
    uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

// MCN_SELCHANGE's record: the day picked, as the start and end of the selection.
struct NMSELCHANGE {
    NMHDR nmhdr;
    SYSTEMTIME stSelStart, stSelEnd;
};


}  // namespace nuv::host::controls
