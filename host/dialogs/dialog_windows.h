// The dialogs' windows, opened when a person answers: each builds its window from the controls,
// runs the modal loop (modal.cpp) and says what was chosen, or nothing on cancel.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/controls/combobox.h"
#include "host/controls/controls.h"
#include "host/controls/edit.h"
#include "host/controls/listbox.h"
#include "host/dialogs/dialogs.h"
#include "host/win/window.h"

namespace nuv::host::dialogs::windows {

using win::HWND;

// How a dialog window ended.
enum class Outcome : uint8_t { Ok, Cancel, Failed };

// A dialog window's content: it makes its controls, hears their notifications and decides what
// OK means. The frame (modal.cpp) runs it: Enter asks accept(), Escape and Cancel end it, Tab
// moves the focus through the controls listed in `tab_order`.
class Dialog {
public:
    virtual ~Dialog() = default;
    // Makes the controls in the client area; false when one cannot be made.
    virtual bool build() = 0;
    virtual void command(uint32_t /*id*/, uint32_t /*code*/, HWND /*control*/) {}
    // OK was asked for (the OK button, or Enter): true ends the dialog with Ok.
    virtual bool accept() = 0;

    HWND hwnd = 0;
    std::vector<HWND> tab_order;
    HWND first_focus = 0;  // 0: the first of the tab order
    // Makes a child control; 0 when its class is missing.
    HWND control(std::u16string_view cls, std::u16string_view text, uint32_t style, int32_t x, int32_t y, int32_t w,
                 int32_t h, uint32_t id);
    // A size at 96 DPI at the dialog's DPI.
    int32_t px(int32_t size) const;
    uint32_t dpi = 96;
};
enum : uint32_t { kIdOk = 1, kIdCancel = 2 };

// The styles the dialogs give their controls.
inline constexpr uint32_t kFieldStyle = win::WS_BORDER | win::WS_TABSTOP | uint32_t{controls::ES_AUTOHSCROLL};
inline constexpr uint32_t kListStyle =
    uint32_t{controls::LBS_NOTIFY} | win::WS_VSCROLL | win::WS_BORDER | win::WS_TABSTOP;
inline constexpr uint32_t kDropListStyle = uint32_t{controls::CBS_DROPDOWNLIST} | win::WS_VSCROLL | win::WS_TABSTOP;
inline constexpr uint32_t kOkStyle = uint32_t{controls::BS_DEFPUSHBUTTON} | win::WS_TABSTOP;
inline constexpr uint32_t kCheckStyle = uint32_t{controls::BS_AUTOCHECKBOX} | win::WS_TABSTOP;

// Opens the dialog owned by `owner`'s top-level window (disabled meanwhile), centred over it,
// and runs its loop until it is answered. A WM_QUIT taken meanwhile cancels it and is posted
// again for the caller's loop.
Outcome run_modal(Dialog& dialog, HWND owner, std::u16string_view title, int32_t width, int32_t height);

struct FileRequest {
    HWND owner = 0;
    std::u16string title;   // empty: "Open" or "Save As"
    std::u16string folder;  // where the dialog opens; empty: the current directory
    std::u16string name;    // the file name filled in
    std::vector<std::pair<std::u16string, std::u16string>> filters;  // display text, patterns
    bool save = false;
    bool multi = false;
};
// The files chosen: the folder and names in it (one name with save or without multi).
struct FileChoice {
    std::u16string folder;
    std::vector<std::u16string> names;
};
Outcome run_file(const FileRequest& request, FileChoice* choice);

Outcome run_folder(HWND owner, const std::u16string& title, const std::u16string& start, std::u16string* folder);

struct FontChoice {
    std::u16string family;
    int32_t tenths = 100;  // the size in tenths of a point
    bool bold = false, italic = false;
};
Outcome run_font(HWND owner, const FontChoice& start, bool fixed_only, FontChoice* choice);
// A LOGFONT's height for a size in tenths of a point at a DPI: the character height, negative.
inline int32_t font_height(int32_t tenths, uint32_t dpi) {
    return -static_cast<int32_t>((int64_t{tenths} * dpi + 360) / 720);
}

// The entries of a folder as the dialogs list them: "../" unless it is the root, then the
// folders (each ending in '/'), then with `files` the files matching one of the patterns
// ("*.txt;*.md"; empty: all), each group sorted; names starting with '.' are left out.
std::vector<std::u16string> list_folder(const std::u16string& folder, std::u16string_view patterns, bool files);
// Whether a name matches one of the ';'-separated patterns of * and ? (ASCII case aside; "*.*"
// matches every name).
bool matches(std::u16string_view name, std::u16string_view patterns);
// The names typed in a file name field: each "quoted" name, else the whole text trimmed.
std::vector<std::u16string> split_names(std::u16string_view text);
// A path made absolute against `base` and normalised ("a/../b" is "b"), without a trailing '/'
// except for the root.
std::u16string resolve(const std::u16string& base, const std::u16string& path);

// The counters dialog_counters() answers.
DialogCounters& counters();

}  // namespace nuv::host::dialogs::windows
