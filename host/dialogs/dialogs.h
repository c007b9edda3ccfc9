// The common dialogs the GUI backend opens: file open and save, the folder picker, the font
// chooser and the message box. Each is modal: it runs its own loop with its owner disabled and
// returns when it is answered. Under test none ever waits for a person: the answer hook
// (NUV_TEST_ANSWERS) answers in its place, and a dialog answers cancel at once when the hook has
// run dry, when a replay (NUV_TEST_INPUT) runs without answers, or when there is no display.
// Every dialog opened is logged to NUV_TEST_REQUESTS. No language values.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/gfx/fonts.h"
#include "host/win/window.h"

namespace nuv::host::dialogs {

using win::HWND;

// ---- File open and save

enum : uint32_t {
    OFN_HIDEREADONLY = 0x00000004,  // accepted: the dialog has no read-only box
    OFN_NOCHANGEDIR = 0x00000008,   // accepted: the dialog never changes the current directory
    OFN_ALLOWMULTISELECT = 0x00000200,
    OFN_EXPLORER = 0x00080000,  // accepted: the only style there is
};

struct OPENFILENAME {
    HWND hwndOwner = 0;
    // Pairs of a display text and a pattern list ("*.txt;*.md"), each text ended by a NUL; empty:
    // every file is shown.
    std::u16string_view lpstrFilter;
    // In: the file name to start with, NUL-ended (a name with a '/' also gives the folder).
    // Out: the path chosen, NUL-ended; with OFN_ALLOWMULTISELECT and several files, the folder
    // and then each name, each ended by a NUL, the whole ended by a second NUL.
    char16_t* lpstrFile = nullptr;
    uint32_t nMaxFile = 0;  // the room of lpstrFile in units, NULs included
    std::u16string_view lpstrInitialDir;
    std::u16string_view lpstrTitle;  // empty: "Open" or "Save As"
    uint32_t Flags = 0;
};

// True when files were chosen; false on cancel or failure (CommDlgExtendedError tells which),
// the buffer then left as it was.
bool GetOpenFileName(OPENFILENAME* ofn);
bool GetSaveFileName(OPENFILENAME* ofn);

// Why the last dialog failed; 0 after a cancel or a success.
enum : uint32_t {
    CDERR_INITIALIZATION = 0x0002,  // the dialog could not be made
    FNERR_BUFFERTOOSMALL = 0x3003,  // the answer does not fit nMaxFile
    FNERR_INVALIDFILENAME = 0x3002, // no buffer, or one without a NUL
};
uint32_t CommDlgExtendedError();

// ---- Folder picker

enum : uint32_t { BIF_RETURNONLYFSDIRS = 0x0001, BIF_EDITBOX = 0x0010, BIF_NEWDIALOGSTYLE = 0x0040 };

struct BROWSEINFO {
    HWND hwndOwner = 0;
    std::u16string_view lpszTitle;
    uint32_t ulFlags = 0;  // accepted: the picker always lists folders and has a path field
    std::u16string_view lpszStartFolder;  // empty: the current directory
};

// The folder chosen, as a path; nullopt on cancel.
std::optional<std::u16string> SHBrowseForFolder(const BROWSEINFO& info);

// ---- Font chooser

enum : uint32_t {
    CF_SCREENFONTS = 0x00000001,
    CF_PRINTERFONTS = 0x00000002,
    CF_INITTOLOGFONTSTRUCT = 0x00000040,
    CF_FIXEDPITCHONLY = 0x00004000,
    CF_NOVERTFONTS = 0x01000000,
};

struct CHOOSEFONT {
    HWND hwndOwner = 0;
    // In, with CF_INITTOLOGFONTSTRUCT: the font to start at. Out: the family, weight (FW_BOLD or
    // FW_NORMAL), italic flag and height (−(points × DPI ÷ 72) at the owner's DPI) chosen.
    gfx::LOGFONT* lpLogFont = nullptr;
    int32_t iPointSize = 0;  // out: the size chosen in tenths of a point
    uint32_t Flags = 0;      // with CF_FIXEDPITCHONLY only fixed-pitch families are offered
};

// True when a font was chosen; false on cancel or without a LOGFONT to fill.
bool ChooseFont(CHOOSEFONT* cf);

// A scalable family fontconfig knows, by its first name.
struct FontFamily {
    std::u16string name;
    bool fixed_pitch = false;  // every face of it is monospaced
};
// The families sorted by name without regard to case, read once (fontconfig is loaded then);
// empty when fontconfig cannot be loaded.
const std::vector<FontFamily>& font_families();
// The sizes the chooser offers, in points.
inline constexpr int32_t kFontSizes[] = {8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 26, 28, 36, 48, 72};
inline constexpr int32_t kMaxFontPoints = 1000;

// ---- Message box

enum : uint32_t {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_TYPEMASK = 0xF,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_ICONMASK = 0xF0,
    MB_TASKMODAL = 0x2000,
};
enum : int32_t { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

// The button pressed; 0 for a button set other than OK, OK-Cancel, Yes-No and Yes-No-Cancel.
int32_t MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, uint32_t type);

// Counters that tests read: dialog windows made and message boxes handed to SDL.
struct DialogCounters {
    int windows = 0;
    int screen_boxes = 0;
};
DialogCounters dialog_counters();

}  // namespace nuv::host::dialogs
