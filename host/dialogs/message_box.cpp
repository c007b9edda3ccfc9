// The message box: SDL's with a display and no hook; otherwise its caption and text as a line
// on stderr, answered by the hook's `button` line or by its first button.
#include <cstdio>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/dialogs/dialogs.h"
#include "host/utf.h"
#include "host/win/sdl.h"

namespace nuv::host::dialogs {

namespace {

struct ButtonSet {
    const char* name;  // in the request log
    int32_t ids[3];    // 0 past the last
    int32_t closed;    // what closing the box without a button answers (0: it cannot be)
};
// By the low nibble of the type; a null name is a set the box does not offer.
constexpr ButtonSet kSets[] = {
    {"ok", {IDOK}, IDOK},
    {"ok-cancel", {IDOK, IDCANCEL}, IDCANCEL},
    {nullptr, {}, 0},
    {"yes-no-cancel", {IDYES, IDNO, IDCANCEL}, IDCANCEL},
    {"yes-no", {IDYES, IDNO}, 0},
};

bool has(const ButtonSet& set, int32_t id) {
    for (const int32_t b : set.ids)
        if (b == id) return true;
    return false;
}

const char* button_text(int32_t id) {
    switch (id) {
        case IDOK: return "OK";
        case IDCANCEL: return "Cancel";
        case IDYES: return "Yes";
        default: return "No";
    }
}

// SDL's box, the owner's window disabled meanwhile; 0 when SDL cannot show it.
int32_t screen_box(HWND owner, const ButtonSet& set, const std::string& caption, const std::string& text,
                   uint32_t type) {
    const sdl::Library* sdl = sdl::library();
    if (!sdl) return 0;
    SDL_MessageBoxButtonData buttons[3];
    int count = 0;
    for (const int32_t id : set.ids) {
        if (!id) break;
        uint32_t flags = 0;
        if (count == 0) flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
        if (id == set.closed) flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
        buttons[count++] = SDL_MessageBoxButtonData{flags, id, button_text(id)};
    }
    const uint32_t icon = type & MB_ICONMASK;
    SDL_MessageBoxData data{};
    data.flags = icon == MB_ICONERROR     ? SDL_MESSAGEBOX_ERROR
                 : icon == MB_ICONWARNING ? SDL_MESSAGEBOX_WARNING
                                          : SDL_MESSAGEBOX_INFORMATION;
    data.title = caption.c_str();
    data.message = text.c_str();
    data.numbuttons = count;
    data.buttons = buttons;
    const HWND top = owner ? win::GetAncestor(owner, win::GA_ROOT) : 0;
    const bool disabled = top && !win::EnableWindow(top, false);
    int pressed = -1;
    const int shown = sdl->show_message_box(&data, &pressed);
    if (disabled) win::EnableWindow(top, true);
    if (shown != 0) return 0;
    ++windows::counters().screen_boxes;
    // Closed by the window manager: what Escape would answer, else the last button.
    return pressed > 0 ? pressed : set.closed ? set.closed : set.ids[count - 1];
}

}  // namespace

int32_t MessageBox(HWND owner, std::u16string_view text, std::u16string_view caption, uint32_t type) {
    const uint32_t kind = type & MB_TYPEMASK;
    if (kind >= std::size(kSets) || !kSets[kind].name) return 0;
    const ButtonSet& set = kSets[kind];
    const std::string caption8 = utf8_of(caption), text8 = utf8_of(text);
    std::string line = "message";
    answers::field(&line, caption8);
    answers::field(&line, text8);
    line += ' ';
    line += set.name;
    answers::log_request(line);

    answers::Answer answer;
    const answers::Route route = answers::route(&answer);
    if (route == answers::Route::Window)
        if (const int32_t pressed = screen_box(owner, set, caption8, text8, type)) return pressed;
    std::fprintf(stderr, "%s: %s\n", caption8.c_str(), text8.c_str());
    if (route != answers::Route::Answer) return set.ids[0];
    if (answer.verb == answers::Verb::Button && has(set, answer.button)) return answer.button;
    if (answer.verb == answers::Verb::Cancel && set.closed) return set.closed;
    answers::reject("this message box");
    return set.ids[0];
}

}  // namespace nuv::host::dialogs
