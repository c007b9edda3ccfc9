// Fonts and the text of a device context: font objects made from a record of their fields and
// read back, the stock GUI font and the message font, solid brushes, and drawing and measuring
// text on a cairo_t with the font, colours and background mode selected into it. A font object
// is only its record: making one loads neither Cairo nor Pango and starts no font map; the first
// measurement or drawing of text does. The text is the one engine of host/gfx/text.h, so what is
// measured here is what is drawn. Texts are UTF-16 as the window model keeps them; invalid units
// are replaced. No language values.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "host/win/messages.h"

typedef struct _cairo cairo_t;

namespace nuv::host::gfx {

using win::POINT;
using win::RECT;

// Fonts and brushes share one id space; 0 is none and ids are never reused.
using HGDIOBJ = uint32_t;
using HFONT = HGDIOBJ;
using HBRUSH = HGDIOBJ;
using COLORREF = uint32_t;  // 0x00BBGGRR

struct SIZE {
    int32_t cx = 0, cy = 0;
};

enum : int32_t { FW_NORMAL = 400, FW_BOLD = 700 };
enum : uint8_t { DEFAULT_CHARSET = 1 };
enum : uint8_t {
    DEFAULT_QUALITY = 0,
    DRAFT_QUALITY = 1,
    PROOF_QUALITY = 2,
    NONANTIALIASED_QUALITY = 3,
    ANTIALIASED_QUALITY = 4,
    CLEARTYPE_QUALITY = 5
};

// A font's fields. A negative height is the character height in pixels, a positive one the cell
// height; the face name holds at most 31 units.
struct LOGFONT {
    int32_t lfHeight = 0;
    int32_t lfWidth = 0;
    int32_t lfEscapement = 0;
    int32_t lfOrientation = 0;
    int32_t lfWeight = FW_NORMAL;
    uint8_t lfItalic = 0;
    uint8_t lfUnderline = 0;
    uint8_t lfStrikeOut = 0;
    uint8_t lfCharSet = DEFAULT_CHARSET;
    uint8_t lfOutPrecision = 0;
    uint8_t lfClipPrecision = 0;
    uint8_t lfQuality = DEFAULT_QUALITY;
    uint8_t lfPitchAndFamily = 0;
    std::u16string lfFaceName;
};
bool operator==(const LOGFONT& a, const LOGFONT& b);

// 0 when the record cannot make a font (an empty face name takes the default family).
HFONT CreateFontIndirect(const LOGFONT& font);
HFONT CreateFont(int32_t height, int32_t width, int32_t escapement, int32_t orientation, int32_t weight,
                 bool italic, bool underline, bool strike_out, uint8_t charset, uint8_t out_precision,
                 uint8_t clip_precision, uint8_t quality, uint8_t pitch_and_family, std::u16string_view face);
// The font's record as it was made; false for a brush, a deleted or an unknown id.
bool GetObject(HFONT font, LOGFONT* out);
// Frees a font or a brush; stock objects stay. False for an unknown id.
bool DeleteObject(HGDIOBJ object);

enum : int32_t { DEFAULT_GUI_FONT = 17, DC_BRUSH = 18 };
// A stock object: DEFAULT_GUI_FONT, or DC_BRUSH, the brush whose colour each device context sets
// for itself (SetDCBrushColor); 0 for others.
HGDIOBJ GetStockObject(int32_t which);
// The non-client metrics' message font at a DPI: "DejaVu Sans" 9 points, height −(9 × DPI ÷ 72)
// (the division truncating).
LOGFONT message_font(uint32_t dpi);

HBRUSH CreateSolidBrush(COLORREF colour);
// The system colour's brush (host/win/displays.h's indexes), a stock object.
HBRUSH GetSysColorBrush(int32_t index);
// The brush's colour; false when the id is no brush. The DC brush is white here: its colour on a
// device context is dc_brush_colour's.
bool brush_colour(HBRUSH brush, COLORREF* out);
// The brush's colour as it fills on the device context (the DC brush takes the context's colour).
bool dc_brush_colour(cairo_t* dc, HBRUSH brush, COLORREF* out);

// ---- A device context's text state, kept with the cairo_t until it is destroyed

// Answers the object selected before (the stock GUI font at first); 0 for an id that is no font.
HFONT SelectObject(cairo_t* dc, HFONT font);
HFONT current_font(cairo_t* dc);
COLORREF SetTextColor(cairo_t* dc, COLORREF colour);  // answers the colour before (black at first)
COLORREF GetTextColor(cairo_t* dc);
COLORREF SetDCBrushColor(cairo_t* dc, COLORREF colour);  // answers the colour before (white at first)
COLORREF GetDCBrushColor(cairo_t* dc);
COLORREF SetBkColor(cairo_t* dc, COLORREF colour);  // white at first
COLORREF GetBkColor(cairo_t* dc);
enum : int32_t { TRANSPARENT = 1, OPAQUE = 2 };
int32_t SetBkMode(cairo_t* dc, int32_t mode);  // answers the mode before (OPAQUE at first)
int32_t GetBkMode(cairo_t* dc);

// Fills the rectangle with the brush; false for an id that is no brush.
bool FillRect(cairo_t* dc, const RECT& rect, HBRUSH brush);

enum : uint32_t {
    DT_TOP = 0x0,
    DT_LEFT = 0x0,
    DT_CENTER = 0x1,
    DT_RIGHT = 0x2,
    DT_VCENTER = 0x4,
    DT_BOTTOM = 0x8,
    DT_WORDBREAK = 0x10,
    DT_SINGLELINE = 0x20,
    DT_EXPANDTABS = 0x40,
    DT_NOCLIP = 0x100,
    DT_CALCRECT = 0x400,
    DT_NOPREFIX = 0x800,
    DT_END_ELLIPSIS = 0x8000,
};
// Draws the text in the rectangle with the selected font and text colour (the background filled
// with the background colour when the mode is OPAQUE), a & marking the next character's underline
// unless DT_NOPREFIX ("&&" is one &). Tabs expand to multiples of 8 average character widths with
// DT_EXPANDTABS. With DT_CALCRECT nothing is drawn: the rectangle's right and bottom are set to
// what the text needs, its widest line (wrapped at the rectangle's width with DT_WORDBREAK).
// Answers the text's height.
int32_t DrawText(cairo_t* dc, std::u16string_view text, RECT* rect, uint32_t format);
// The width and height of the text on one line with the selected font.
bool GetTextExtentPoint32(cairo_t* dc, std::u16string_view text, SIZE* size);
// The text's width in the low 16 bits and the line height in the high 16, tabs at the stops given
// (none: every 8 average character widths; one: that interval).
uint32_t GetTabbedTextExtent(cairo_t* dc, std::u16string_view text, int32_t stop_count, const int32_t* stops);

struct TEXTMETRIC {
    int32_t tmHeight = 0, tmAscent = 0, tmDescent = 0;
    int32_t tmInternalLeading = 0, tmExternalLeading = 0;
    int32_t tmAveCharWidth = 0, tmMaxCharWidth = 0;
};
bool GetTextMetrics(cairo_t* dc, TEXTMETRIC* metrics);

// Counters that tests read: how often the font map was started (at most once a process) and
// whether Pango is loaded.
struct FontCounters {
    int font_map_starts = 0;
    bool pango_loaded = false;
};
FontCounters font_counters();

}  // namespace nuv::host::gfx
