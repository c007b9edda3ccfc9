// The dialogs' frame: the "NuvDialog" window class that carries a Dialog, the modal loop with
// its keys (Enter, Escape, Tab), and what the file and folder dialogs share about folders.
#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "host/controls/combobox.h"
#include "host/controls/controls.h"
#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/utf.h"
#include "host/win/displays.h"
#include "host/win/keys.h"
#include "host/win/sdl_source.h"

namespace nuv::host::dialogs {

namespace windows {

using namespace win;

namespace {

constexpr std::u16string_view kDialogClass = u"NuvDialog";

// The dialogs open now, by window, with how each ended (none while it runs).
struct Open {
    Dialog* dialog = nullptr;
    std::optional<Outcome> outcome;
};
std::unordered_map<HWND, Open>& open_dialogs() {
    static auto* map = new std::unordered_map<HWND, Open>;
    return *map;
}

Open* open_of(HWND hwnd) {
    auto it = open_dialogs().find(hwnd);
    return it == open_dialogs().end() ? nullptr : &it->second;
}

void ask_accept(HWND hwnd) {
    Open* open = open_of(hwnd);
    if (open && !open->outcome && open->dialog->accept())
        if ((open = open_of(hwnd))) open->outcome = Outcome::Ok;
}

void end(HWND hwnd, Outcome outcome) {
    if (Open* open = open_of(hwnd); open && !open->outcome) open->outcome = outcome;
}

LRESULT dialog_proc(HWND hwnd, uint32_t message, intptr_t wParam, intptr_t lParam) {
    switch (message) {
        case WM_NCCREATE: {
            const auto* create = reinterpret_cast<const CREATESTRUCT*>(lParam);
            open_dialogs()[hwnd].dialog = static_cast<Dialog*>(create->lpCreateParams);
            break;
        }
        case WM_NCDESTROY: open_dialogs().erase(hwnd); break;
        case WM_CLOSE: end(hwnd, Outcome::Cancel); return 0;
        case WM_ERASEBKGND: {
            // The face colour of the window's palette, light or dark.
            RECT client;
            GetClientRect(hwnd, &client);
            controls::fill_rect(reinterpret_cast<cairo_t*>(wParam), client, controls::palette(hwnd).face);
            return 1;
        }
        case WM_COMMAND: {
            const auto id = static_cast<uint32_t>(wParam & 0xFFFF);
            const auto code = static_cast<uint32_t>((wParam >> 16) & 0xFFFF);
            if (code == controls::BN_CLICKED && id == kIdOk) {
                ask_accept(hwnd);
                return 0;
            }
            if (code == controls::BN_CLICKED && id == kIdCancel) {
                end(hwnd, Outcome::Cancel);
                return 0;
            }
            if (Open* open = open_of(hwnd); open && !open->outcome)
                open->dialog->command(id, code, static_cast<HWND>(lParam));
            return 0;
        }
        default: break;
    }
    return DefWindowProc(hwnd, message, wParam, lParam);
}

// Moves the focus to the next (or previous) enabled control of the tab order.
void tab(Dialog& dialog, bool back) {
    const std::vector<HWND>& order = dialog.tab_order;
    if (order.empty()) return;
    const auto at = std::find(order.begin(), order.end(), GetFocus());
    const size_t n = order.size();
    size_t i = at == order.end() ? (back ? 0 : n - 1) : static_cast<size_t>(at - order.begin());
    for (size_t step = 0; step < n; ++step) {
        i = back ? (i + n - 1) % n : (i + 1) % n;
        if (IsWindowEnabled(order[i]) && IsWindowVisible(order[i])) {
            SetFocus(order[i]);
            return;
        }
    }
}

char16_t fold(char16_t c);

// Whether the focused control takes Enter and Escape itself: a combo box with its list dropped
// (the focus may be its edit).
bool takes_enter(HWND focus) {
    for (HWND h = focus; h; h = GetParent(h)) {
        std::u16string cls;
        if (GetClassName(h, &cls) && cls.size() == controls::kComboBoxClass.size() &&
            std::equal(cls.begin(), cls.end(), controls::kComboBoxClass.begin(),
                       [](char16_t a, char16_t b) { return fold(a) == fold(b); }))
            return SendMessage(h, controls::CB_GETDROPPEDSTATE, 0, 0) != 0;
        if (!(GetWindowLong(h, GWL_STYLE) & WS_CHILD)) break;
    }
    return false;
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

// * and ? over a name, the last star's place kept so that a mismatch retries from it alone.
bool glob(std::u16string_view name, std::u16string_view pattern) {
    size_t n = 0, p = 0, star = std::u16string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || fold(pattern[p]) == fold(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            star = p++;
            resume = n;
        } else if (star != std::u16string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') ++p;
    return p == pattern.size();
}

bool before(const std::u16string& a, const std::u16string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char16_t x, char16_t y) { return fold(x) < fold(y); });
}

}  // namespace

HWND Dialog::control(std::u16string_view cls, std::u16string_view text, uint32_t style, int32_t x, int32_t y,
                     int32_t w, int32_t h, uint32_t id) {
    const HWND made = CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, px(x), px(y), px(w), px(h), hwnd,
                                     id, nullptr);
    if (made && (style & WS_TABSTOP)) tab_order.push_back(made);
    return made;
}

int32_t Dialog::px(int32_t size) const { return static_cast<int32_t>(int64_t{size} * dpi / 96); }

Outcome run_modal(Dialog& dialog, HWND owner, std::u16string_view title, int32_t width, int32_t height) {
    if (!controls::register_control(kDialogClass, dialog_proc, IDC_ARROW, 0) || !controls::register_classes())
        return Outcome::Failed;
    const HWND top = owner && IsWindow(owner) ? GetAncestor(owner, GA_ROOT) : 0;
    dialog.dpi = top ? GetDpiForWindow(top) : 96;
    if (!dialog.dpi) dialog.dpi = 96;
    width = dialog.px(width);
    height = dialog.px(height);
    RECT over{0, 0, 0, 0};
    if (!top || !GetWindowRect(top, &over))
        over = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    const int32_t x = std::max(over.left + (over.width() - width) / 2, 0);
    const int32_t y = std::max(over.top + (over.height() - height) / 2, 0);
    const HWND hwnd = CreateWindowEx(0, kDialogClass, title, WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, width, height,
                                     top, 0, &dialog);
    if (!hwnd) return Outcome::Failed;
    ++counters().windows;
    dialog.hwnd = hwnd;
    if (!dialog.build()) {
        DestroyWindow(hwnd);
        return Outcome::Failed;
    }
    const bool disabled = top && !EnableWindow(top, false);
    ShowWindow(hwnd, SW_SHOW);
    SetActiveWindow(hwnd);
    if (dialog.first_focus) SetFocus(dialog.first_focus);
    else if (!dialog.tab_order.empty()) SetFocus(dialog.tab_order.front());

    Outcome outcome = Outcome::Cancel;
    MSG msg;
    while (true) {
        const Open* open = open_of(hwnd);
        if (!open) break;  // destroyed from outside: cancelled
        if (open->outcome) {
            outcome = *open->outcome;
            break;
        }
        if (!GetMessage(&msg, 0, 0, 0)) {
            PostQuitMessage(static_cast<int32_t>(msg.wParam));
            break;
        }
        if (msg.message == WM_KEYDOWN && (msg.hwnd == hwnd || IsChild(hwnd, msg.hwnd)) &&
            !((msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) && takes_enter(msg.hwnd))) {
            // Enter presses the Cancel button when it has the focus, else asks for OK.
            if (msg.wParam == VK_RETURN && GetWindowLong(msg.hwnd, GWLP_ID) == kIdCancel && msg.hwnd != hwnd) {
                end(hwnd, Outcome::Cancel);
                continue;
            }
            if (msg.wParam == VK_RETURN) {
                ask_accept(hwnd);
                continue;
            }
            if (msg.wParam == VK_ESCAPE) {
                end(hwnd, Outcome::Cancel);
                continue;
            }
            if (msg.wParam == VK_TAB) {
                tab(dialog, GetKeyState(VK_SHIFT) < 0);
                continue;
            }
        }
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    if (disabled) EnableWindow(top, true);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
    if (top && IsWindow(top)) SetActiveWindow(top);
    return outcome;
}

std::vector<std::u16string> list_folder(const std::u16string& folder, std::u16string_view patterns, bool files) {
    namespace fs = std::filesystem;
    std::vector<std::u16string> folders, matched;
    std::error_code error;
    for (fs::directory_iterator it(utf8_of(folder), error), end; !error && it != end; it.increment(error)) {
        const std::u16string name = utf16_of(it->path().filename().string());
        if (name.empty() || name[0] == u'.') continue;
        std::error_code kind_error;
        if (it->is_directory(kind_error)) folders.push_back(name + u'/');
        else if (files && matches(name, patterns)) matched.push_back(name);
    }
    std::sort(folders.begin(), folders.end(), before);
    std::sort(matched.begin(), matched.end(), before);
    std::vector<std::u16string> out;
    out.reserve(folders.size() + matched.size() + 1);
    if (folder != u"/") out.push_back(u"../");
    out.insert(out.end(), folders.begin(), folders.end());
    out.insert(out.end(), matched.begin(), matched.end());
    return out;
}

bool matches(std::u16string_view name, std::u16string_view patterns) {
    if (patterns.empty()) return true;
    while (true) {
        const size_t end = std::min(patterns.find(u';'), patterns.size());
        std::u16string_view pattern = patterns.substr(0, end);
        while (!pattern.empty() && pattern.front() == u' ') pattern.remove_prefix(1);
        while (!pattern.empty() && pattern.back() == u' ') pattern.remove_suffix(1);
        if (pattern == u"*.*" || (!pattern.empty() && glob(name, pattern))) return true;
        if (end == patterns.size()) return false;
        patterns.remove_prefix(end + 1);
    }
}

std::vector<std::u16string> split_names(std::u16string_view text) {
    std::vector<std::u16string> names;
    if (text.find(u'"') == std::u16string_view::npos) {
        while (!text.empty() && text.front() == u' ') text.remove_prefix(1);
        while (!text.empty() && text.back() == u' ') text.remove_suffix(1);
        if (!text.empty()) names.emplace_back(text);
        return names;
    }
    for (size_t at = text.find(u'"'); at != std::u16string_view::npos; at = text.find(u'"', at)) {
        const size_t close = text.find(u'"', at + 1);
        const size_t end = close == std::u16string_view::npos ? text.size() : close;
        if (end > at + 1) names.emplace_back(text.substr(at + 1, end - at - 1));
        if (close == std::u16string_view::npos) break;
        at = close + 1;
    }
    return names;
}

std::u16string resolve(const std::u16string& base, const std::u16string& path) {
    namespace fs = std::filesystem;
    fs::path p(utf8_of(path));
    if (p.is_relative()) {
        std::error_code error;
        const fs::path from = base.empty() ? fs::current_path(error) : fs::path(utf8_of(base));
        p = from / p;
    }
    std::string out = p.lexically_normal().string();
    while (out.size() > 1 && out.back() == '/') out.pop_back();
    return utf16_of(out);
}

DialogCounters& counters() {
    static DialogCounters c;
    return c;
}

}  // namespace windows

DialogCounters dialog_counters() { return windows::counters(); }

}  // namespace nuv::host::dialogs
