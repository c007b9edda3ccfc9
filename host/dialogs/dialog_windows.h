// The dialogs' windows, opened when a person answers: each builds its window from the controls,
// runs the modal loop (modal.h) and says what was chosen, or nothing on cancel.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "host/dialogs/dialogs.h"
#include "host/win/window.h"

namespace nuv::host::dialogs::windows {

using win::HWND;

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
std::optional<FileChoice> run_file(const FileRequest& request);

std::optional<std::u16string> run_folder(HWND owner, const std::u16string& title, const std::u16string& start);

struct FontChoice {
    std::u16string family;
    int32_t tenths = 100;  // the size in tenths of a point
    bool bold = false, italic = false;
};
std::optional<FontChoice> run_font(HWND owner, const FontChoice& start, bool fixed_only);

// The counters dialog_counters() answers.
DialogCounters& counters();

}  // namespace nuv::host::dialogs::windows
