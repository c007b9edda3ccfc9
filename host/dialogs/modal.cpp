// The dialogs' windows and their modal loop.
#include "host/dialogs/dialog_windows.h"

namespace nuv::host::dialogs {

namespace windows {

DialogCounters& counters() {
    static DialogCounters c;
    return c;
}

std::optional<FileChoice> run_file(const FileRequest&) { return std::nullopt; }
std::optional<std::u16string> run_folder(HWND, const std::u16string&, const std::u16string&) { return std::nullopt; }
std::optional<FontChoice> run_font(HWND, const FontChoice&, bool) { return std::nullopt; }

}  // namespace windows

DialogCounters dialog_counters() { return windows::counters(); }

}  // namespace nuv::host::dialogs
