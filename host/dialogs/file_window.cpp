// The file and folder dialogs' windows: a folder field over the folder's list, and for files a
// name field, the filter list and OK. Choosing a folder in the list and pressing Enter (or typing
// a folder's name or path) goes into it; Ctrl with a click adds a file to a multiple choice.
#include <filesystem>
#include <system_error>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/utf.h"
#include "host/win/keys.h"

namespace nuv::host::dialogs::windows {

using namespace win;
using namespace controls;

namespace {

enum : uint32_t { kIdFolder = 10, kIdList = 11, kIdName = 12, kIdType = 13 };

bool is_folder(const std::u16string& path) {
    std::error_code error;
    return std::filesystem::is_directory(utf8_of(path), error);
}

std::u16string current_folder() {
    std::error_code error;
    const std::filesystem::path here = std::filesystem::current_path(error);
    return error ? u"/" : utf16_of(here.string());
}

std::u16string list_text(HWND list, intptr_t index) {
    const LRESULT length = SendMessage(list, LB_GETTEXTLEN, index, 0);
    if (length < 0) return u"";
    std::u16string text(static_cast<size_t>(length) + 1, u'\0');
    SendMessage(list, LB_GETTEXT, index, reinterpret_cast<intptr_t>(text.data()));
    text.resize(static_cast<size_t>(length));
    return text;
}

// What the file and folder dialogs share: the folder shown in its field and listed below it.
class FolderView : public Dialog {
protected:
    // Lists `path` (resolved against the folder shown); false when it is no folder.
    bool go(const std::u16string& path) {
        const std::u16string target = resolve(folder_, path);
        if (!is_folder(target)) return false;
        folder_ = target;
        SetWindowText(folder_field_, folder_);
        refill();
        return true;
    }
    void refill() {
        SendMessage(list_, LB_RESETCONTENT, 0, 0);
        for (const std::u16string& entry : list_folder(folder_, patterns(), with_files()))
            SendMessage(list_, LB_ADDSTRING, 0, reinterpret_cast<intptr_t>(entry.c_str()));
    }
    std::u16string selected() const { return list_text(list_, SendMessage(list_, LB_GETCURSEL, 0, 0)); }
    virtual std::u16string patterns() const { return u""; }
    virtual bool with_files() const = 0;

    bool build_view(const std::u16string& start, int32_t width, int32_t list_height) {
        folder_ = start.empty() ? current_folder() : resolve(u"", start);
        if (!is_folder(folder_)) folder_ = current_folder();
        const HWND label = control(u"STATIC", u"Folder:", 0, 8, 12, 66, 20, 0);
        folder_field_ = control(u"EDIT", folder_, kFieldStyle, 75, 10, width - 85, 22,
                                kIdFolder);
        list_ = control(u"ListBox", u"", kListStyle, 10, 40, width - 20,
                        list_height, kIdList);
        if (!label || !folder_field_ || !list_) return false;
        refill();
        return true;
    }
    // Enter with the focus on the folder field or the list: go where it points. True when it did
    // (the dialog stays open).
    bool enter_view() {
        const HWND focus = GetFocus();
        if (focus == folder_field_) return go(GetWindowText(folder_field_)) || true;
        if (focus == list_) {
            const std::u16string entry = selected();
            return !entry.empty() && entry.back() == u'/' && go(entry);
        }
        return false;
    }

    std::u16string folder_;
    HWND folder_field_ = 0, list_ = 0;
};

class FileDialog : public FolderView {
public:
    FileDialog(const FileRequest& request, FileChoice* choice) : request_(request), choice_(choice) {}

    bool build() override {
        if (!build_view(request_.folder, 480, 220)) return false;
        const bool made = control(u"STATIC", u"File name:", 0, 8, 272, 66, 20, 0) &&
                          (name_ = control(u"EDIT", request_.name, kFieldStyle, 75, 270,
                                           280, 22, kIdName)) &&
                          control(u"STATIC", u"Type:", 0, 8, 302, 66, 20, 0) &&
                          (type_ = control(u"ComboBox", u"", kDropListStyle, 75, 300, 280,
                                           24, kIdType)) &&
                          control(u"BUTTON", request_.save ? u"Save" : u"Open", kOkStyle, 370,
                                  270, 100, 24, kIdOk) &&
                          control(u"BUTTON", u"Cancel", WS_TABSTOP, 370, 300, 100, 24, kIdCancel);
        if (!made) return false;
        for (const auto& [text, pattern] : filters_())
            SendMessage(type_, CB_ADDSTRING, 0, reinterpret_cast<intptr_t>(text.c_str()));
        SendMessage(type_, CB_SETCURSEL, 0, 0);
        refill();
        SendMessage(name_, EM_SETSEL, 0, -1);
        first_focus = name_;
        return true;
    }

    void command(uint32_t id, uint32_t code, HWND) override {
        if (id == kIdType && code == CBN_SELCHANGE) refill();
        if (id != kIdList || code != LBN_SELCHANGE) return;
        const std::u16string entry = selected();
        if (entry.empty()) return;
        // Ctrl adds a file to the names chosen; a plain click chooses it alone.
        const bool add = request_.multi && entry.back() != u'/' && GetKeyState(VK_CONTROL) < 0;
        std::vector<std::u16string> names = add ? split_names(GetWindowText(name_)) : std::vector<std::u16string>{};
        names.push_back(entry);
        std::u16string text = names.size() == 1 ? names[0] : u"";
        if (names.size() > 1)
            for (const std::u16string& name : names) text += (text.empty() ? u"\"" : u" \"") + name + u"\"";
        SetWindowText(name_, text);
    }

    bool accept() override {
        if (enter_view()) return false;
        std::vector<std::u16string> names = split_names(GetWindowText(name_));
        if (names.empty()) return false;
        // One name that is a folder: go into it.
        if (names.size() == 1 && (names[0].back() == u'/' || is_folder(resolve(folder_, names[0])))) {
            if (go(names[0])) SetWindowText(name_, u"");
            return false;
        }
        if (names.size() > 1 && !request_.multi) return false;
        choice_->folder = folder_;
        choice_->names.clear();
        for (const std::u16string& name : names) {
            // A path typed in: its own folder (one name only).
            if (name.find(u'/') != std::u16string::npos) {
                if (names.size() > 1) return false;
                const std::u16string path = resolve(folder_, name);
                const size_t slash = path.rfind(u'/');
                choice_->folder = slash == 0 ? u"/" : path.substr(0, slash);
                choice_->names.push_back(path.substr(slash + 1));
            } else {
                choice_->names.push_back(name);
            }
        }
        return true;
    }

private:
    std::vector<std::pair<std::u16string, std::u16string>> filters_() const {
        if (!request_.filters.empty()) return request_.filters;
        return {{u"All files", u"*"}};
    }
    std::u16string patterns() const override {
        const auto filters = filters_();
        const LRESULT at = type_ ? SendMessage(type_, CB_GETCURSEL, 0, 0) : 0;
        return at >= 0 && static_cast<size_t>(at) < filters.size() ? filters[at].second : filters[0].second;
    }
    bool with_files() const override { return true; }

    const FileRequest& request_;
    FileChoice* choice_;
    HWND name_ = 0, type_ = 0;
};

class FolderDialog : public FolderView {
public:
    FolderDialog(const std::u16string& title, const std::u16string& start, std::u16string* folder)
        : title_(title), start_(start), answer_(folder) {}

    bool build() override {
        if (!build_view(start_, 400, 230)) return false;
        const bool made = control(u"STATIC", title_, 0, 10, 282, 200, 20, 0) &&
                          control(u"BUTTON", u"OK", kOkStyle, 190, 280, 95, 24, kIdOk) &&
                          control(u"BUTTON", u"Cancel", WS_TABSTOP, 295, 280, 95, 24, kIdCancel);
        first_focus = list_;
        return made;
    }

    void command(uint32_t id, uint32_t code, HWND) override {
        if (id != kIdList || code != LBN_SELCHANGE) return;
        const std::u16string entry = selected();
        if (!entry.empty()) SetWindowText(folder_field_, resolve(folder_, entry));
    }

    // Enter in the list goes into the folder chosen; OK (or Enter elsewhere) answers the folder
    // the field names.
    bool accept() override {
        if (GetFocus() == list_) {
            const std::u16string entry = selected();
            if (!entry.empty() && go(entry)) return false;
        }
        const std::u16string path = resolve(folder_, GetWindowText(folder_field_));
        if (!is_folder(path)) return false;
        *answer_ = path;
        return true;
    }

private:
    bool with_files() const override { return false; }

    const std::u16string& title_;
    const std::u16string& start_;
    std::u16string* answer_;
};

}  // namespace

Outcome run_file(const FileRequest& request, FileChoice* choice) {
    FileDialog dialog(request, choice);
    const std::u16string title = !request.title.empty() ? request.title : request.save ? u"Save As" : u"Open";
    return run_modal(dialog, request.owner, title, 480, 336);
}

Outcome run_folder(HWND owner, const std::u16string& title, const std::u16string& start, std::u16string* folder) {
    FolderDialog dialog(title, start, folder);
    return run_modal(dialog, owner, u"Choose a folder", 400, 314);
}

}  // namespace nuv::host::dialogs::windows
