// The "EDIT" control: a single- or multi-line text box over the window model. The text is kept
// as the program gives it in UTF-16, line breaks as CR LF (Enter and pasted text store CR LF);
// every offset and count a message takes or answers is in characters (a surrogate pair is one,
// a CR LF two), but for WM_GETTEXT and WM_GETTEXTLENGTH, which size a buffer of UTF-16 units.
// Drawn with the control's font in its parent's colours, with the caret drawn by the control
// and the model's caret placed for the input method. Notifications go to the parent as
// WM_COMMAND (id and code in wParam, the control in lParam).
#pragma once
#include <cstdint>

namespace nuv::host::controls {

// Styles of an edit control (the low 16 bits of its window style).
enum : uint32_t {
    ES_LEFT = 0x0000,
    ES_CENTER = 0x0001,
    ES_RIGHT = 0x0002,
    ES_MULTILINE = 0x0004,
    ES_PASSWORD = 0x0020,
    ES_AUTOVSCROLL = 0x0040,
    ES_AUTOHSCROLL = 0x0080,  // a multi-line control without it wraps its lines at its width
    ES_NOHIDESEL = 0x0100,    // the selection stays drawn without the focus
};

// Messages of an edit control.
enum : uint32_t {
    // wParam, lParam: uint32_t* (either may be null) for the start and end of the selection;
    // answers both packed (start low, end high, each 0xFFFF when above it).
    EM_GETSEL = 0x00B0,
    // wParam: anchor, lParam: caret; -1 as the anchor drops the selection, -1 as the caret (or
    // any offset past the end) is the end.
    EM_SETSEL = 0x00B1,
    EM_SCROLLCARET = 0x00B7,
    EM_GETLINECOUNT = 0x00BA,
    // wParam: a line, -1 the caret's; answers its first offset, -1 past the last line.
    EM_LINEINDEX = 0x00BB,
    // wParam: an offset; answers the characters of its line. -1: the characters on the
    // selection's lines that lie outside it.
    EM_LINELENGTH = 0x00C1,
    // lParam: a NUL-ended const char16_t*, cut to the text limit.
    EM_REPLACESEL = 0x00C2,
    // wParam: the limit in characters; 0: the largest. It holds for typing, pasting and
    // EM_REPLACESEL; WM_SETTEXT keeps the program's text whole.
    EM_SETLIMITTEXT = 0x00C5,
    EM_LIMITTEXT = 0x00C5,
    // wParam: an offset, -1 the selection's start; answers its line.
    EM_LINEFROMCHAR = 0x00C9,
    // wParam: the count, lParam: const int32_t* stops in dialog units (a quarter of the font's
    // average character width); 0 stops: every 32, one stop: that interval.
    EM_SETTABSTOPS = 0x00CB,
    // wParam: the character shown for each one of the text; 0 shows the text.
    EM_SETPASSWORDCHAR = 0x00CC,
    EM_GETLIMITTEXT = 0x00D5,
    // wParam: shown while focused too, lParam: a NUL-ended const char16_t* (null: none); the hint
    // is drawn greyed while the text is empty.
    EM_SETCUEBANNER = 0x1501,
};

// Notification codes (the high word of WM_COMMAND's wParam).
enum : uint32_t {
    EN_SETFOCUS = 0x0100,
    EN_KILLFOCUS = 0x0200,
    EN_CHANGE = 0x0300,  // after every change of the text, made by the user or the program
};

// The text limit a control starts with, and the largest one.
inline constexpr int32_t kEditDefaultLimit = 32767;
inline constexpr int32_t kEditMaxLimit = 0x7FFFFFFE;
// The shown character of a control made with ES_PASSWORD.
inline constexpr char16_t kPasswordChar = u'\u25CF';

// Counters that tests read: the lines laid out, the units measured and the units looked through
// for surrogate pairs since the process began, which show that a change lays out, measures and
// looks through what it touched, not the whole text, and that an offset converts without either.
struct EditCounters {
    uint64_t lines_laid = 0;
    uint64_t units_measured = 0;
    uint64_t units_scanned = 0;
};
EditCounters edit_counters();

}  // namespace nuv::host::controls
