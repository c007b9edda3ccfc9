// File open and save and the folder picker: what the caller's records ask for, the request
// logged, the answer taken from the hook or the dialog's window, and the answer written back.
#include <algorithm>
#include <cstring>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/dialogs/dialogs.h"
#include "host/utf.h"

namespace nuv::host::dialogs {

namespace {

uint32_t g_last_error = 0;

// Splits the NUL-separated pairs of display text and patterns; an empty text ends the list.
// False for a text without its pattern.
bool read_filters(std::u16string_view text, std::vector<std::pair<std::u16string, std::u16string>>* out) {
    std::vector<std::u16string> parts;
    while (!text.empty()) {
        const size_t end = std::min(text.find(u'\0'), text.size());
        if (end == 0) break;
        parts.emplace_back(text.substr(0, end));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    if (parts.size() % 2) return false;
    for (size_t i = 0; i < parts.size(); i += 2) out->emplace_back(parts[i], parts[i + 1]);
    return true;
}

std::u16string join(const std::u16string& folder, const std::u16string& name) {
    if (folder.empty()) return name;
    return folder.back() == u'/' ? folder + name : folder + u'/' + name;
}

// Writes the choice into the caller's buffer: one path, or with multi-select the folder and the
// names; false (the buffer untouched) when it does not fit.
bool write_choice(OPENFILENAME* ofn, const windows::FileChoice& choice) {
    const bool multi = ofn->Flags & OFN_ALLOWMULTISELECT;
    std::u16string out;
    if (choice.names.size() == 1) {
        out = join(choice.folder, choice.names[0]);
        out += u'\0';
    } else {
        out = choice.folder + u'\0';
        for (const std::u16string& name : choice.names) out += name + u'\0';
    }
    if (multi) out += u'\0';
    if (out.size() > ofn->nMaxFile) {
        g_last_error = FNERR_BUFFERTOOSMALL;
        return false;
    }
    std::memcpy(ofn->lpstrFile, out.data(), out.size() * sizeof(char16_t));
    return true;
}

bool file_dialog(OPENFILENAME* ofn, bool save) {
    g_last_error = 0;
    windows::FileRequest request;
    if (!ofn->lpstrFile || ofn->nMaxFile == 0 ||
        std::char_traits<char16_t>::find(ofn->lpstrFile, ofn->nMaxFile, u'\0') == nullptr) {
        g_last_error = FNERR_INVALIDFILENAME;
        return false;
    }
    if (!read_filters(ofn->lpstrFilter, &request.filters)) {
        g_last_error = CDERR_INITIALIZATION;
        return false;
    }
    request.owner = ofn->hwndOwner;
    request.save = save;
    request.multi = !save && (ofn->Flags & OFN_ALLOWMULTISELECT);
    request.title = ofn->lpstrTitle;
    request.folder = ofn->lpstrInitialDir;
    // A name with a folder in front opens the dialog in that folder.
    const std::u16string start(ofn->lpstrFile);
    const size_t slash = start.rfind(u'/');
    if (slash == std::u16string::npos) {
        request.name = start;
    } else {
        request.folder = slash == 0 ? u"/" : start.substr(0, slash);
        request.name = start.substr(slash + 1);
    }

    std::string line = save ? "save" : request.multi ? "open-multi" : "open";
    answers::field(&line, utf8_of(request.title));
    answers::field(&line, utf8_of(request.folder));
    answers::field(&line, utf8_of(request.name));
    for (const auto& [text, patterns] : request.filters) {
        answers::field(&line, utf8_of(text));
        answers::field(&line, utf8_of(patterns));
    }
    answers::log_request(line);

    answers::Answer answer;
    std::optional<windows::FileChoice> choice;
    switch (answers::route(&answer)) {
        case answers::Route::Cancel: return false;
        case answers::Route::Window: {
            windows::FileChoice chosen;
            const windows::Outcome outcome = windows::run_file(request, &chosen);
            if (outcome == windows::Outcome::Failed) g_last_error = CDERR_INITIALIZATION;
            if (outcome == windows::Outcome::Ok) choice = chosen;
            break;
        }
        case answers::Route::Answer:
            if (answer.verb == answers::Verb::File) {
                choice = windows::FileChoice{u"", {utf16_of(answer.path)}};
            } else if (answer.verb == answers::Verb::Files && (request.multi || answer.names.size() == 1)) {
                choice = windows::FileChoice{utf16_of(answer.path), {}};
                for (const std::string& name : answer.names) choice->names.push_back(utf16_of(name));
            } else if (answer.verb != answers::Verb::Cancel) {
                answers::reject(request.multi ? "a file dialog of several files" : "a file dialog");
            }
            break;
    }
    return choice && write_choice(ofn, *choice);
}

}  // namespace

bool GetOpenFileName(OPENFILENAME* ofn) { return ofn && file_dialog(ofn, false); }
bool GetSaveFileName(OPENFILENAME* ofn) { return ofn && file_dialog(ofn, true); }
uint32_t CommDlgExtendedError() { return g_last_error; }

std::optional<std::u16string> SHBrowseForFolder(const BROWSEINFO& info) {
    g_last_error = 0;
    const std::u16string title(info.lpszTitle), start(info.lpszStartFolder);
    std::string line = "dir";
    answers::field(&line, utf8_of(title));
    answers::field(&line, utf8_of(start));
    answers::log_request(line);

    answers::Answer answer;
    switch (answers::route(&answer)) {
        case answers::Route::Cancel: return std::nullopt;
        case answers::Route::Window: {
            std::u16string folder;
            const windows::Outcome outcome = windows::run_folder(info.hwndOwner, title, start, &folder);
            if (outcome == windows::Outcome::Failed) g_last_error = CDERR_INITIALIZATION;
            if (outcome != windows::Outcome::Ok) return std::nullopt;
            return folder;
        }
        case answers::Route::Answer:
            if (answer.verb == answers::Verb::Dir) return utf16_of(answer.path);
            if (answer.verb != answers::Verb::Cancel) answers::reject("a folder dialog");
            return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace nuv::host::dialogs
