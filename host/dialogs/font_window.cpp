// The font chooser's window: the families fontconfig lists (fixed pitch only when asked), a
// size field over the usual sizes, bold and italic boxes, a sample drawn in the font chosen so
// far, OK and Cancel.
#include <optional>
#include <string>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/utf.h"

namespace nuv::host::dialogs::windows {

using namespace win;
using namespace controls;

namespace {

enum : uint32_t { kIdFamily = 10, kIdSize = 11, kIdSizes = 12, kIdBold = 13, kIdItalic = 14, kIdSample = 15 };

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::u16string size_text(int32_t tenths) { return utf16_of(answers::tenths_text(tenths)); }

class FontDialog : public Dialog {
public:
    FontDialog(const FontChoice& start, bool fixed_only, FontChoice* choice)
        : start_(start), fixed_only_(fixed_only), choice_(choice) {}
    ~FontDialog() override {
        if (sample_font_) gfx::DeleteObject(sample_font_);
    }

    bool build() override {
        const bool made =
            control(u"STATIC", u"Family:", 0, 10, 10, 200, 20, 0) &&
            (families_ = control(u"ListBox", u"", kListStyle, 10, 32, 240, 220,
                                 kIdFamily)) &&
            control(u"STATIC", u"Size:", 0, 260, 10, 80, 20, 0) &&
            (size_ = control(u"EDIT", size_text(start_.tenths), kFieldStyle, 260, 32, 80,
                             22, kIdSize)) &&
            (sizes_ = control(u"ListBox", u"", kListStyle, 260, 58, 80, 194,
                              kIdSizes)) &&
            (bold_ = control(u"BUTTON", u"Bold", kCheckStyle, 350, 32, 90, 22, kIdBold)) &&
            (italic_ = control(u"BUTTON", u"Italic", kCheckStyle, 350, 58, 90, 22, kIdItalic)) &&
            control(u"BUTTON", u"OK", kOkStyle, 350, 196, 90, 24, kIdOk) &&
            control(u"BUTTON", u"Cancel", WS_TABSTOP, 350, 228, 90, 24, kIdCancel) &&
            (sample_ = control(u"STATIC", u"AaBbYyZz 0123", 0, 10, 262, 430, 44, kIdSample));
        if (!made) return false;
        intptr_t at = 0;
        for (const FontFamily& family : font_families()) {
            if (fixed_only_ && !family.fixed_pitch) continue;
            shown_.push_back(&family);
            SendMessage(families_, LB_ADDSTRING, 0, reinterpret_cast<intptr_t>(family.name.c_str()));
            if (family.name == start_.family) at = static_cast<intptr_t>(shown_.size() - 1);
        }
        SendMessage(families_, LB_SETCURSEL, at, 0);
        for (const int32_t points : kFontSizes) {
            const auto row = SendMessage(sizes_, LB_ADDSTRING, 0, reinterpret_cast<intptr_t>(size_text(points * 10).c_str()));
            if (points * 10 == start_.tenths) SendMessage(sizes_, LB_SETCURSEL, row, 0);  // the start size shown picked
        }
        SendMessage(bold_, BM_SETCHECK, start_.bold, 0);
        SendMessage(italic_, BM_SETCHECK, start_.italic, 0);
        first_focus = families_;
        show_sample();
        return true;
    }

    void command(uint32_t id, uint32_t code, HWND) override {
        if (id == kIdSizes && code == LBN_SELCHANGE) {
            const LRESULT at = SendMessage(sizes_, LB_GETCURSEL, 0, 0);
            if (at >= 0 && static_cast<size_t>(at) < std::size(kFontSizes))
                SetWindowText(size_, size_text(kFontSizes[at] * 10));
        }
        if ((id == kIdFamily && code == LBN_SELCHANGE) || (id == kIdSize && code == EN_CHANGE) ||
            ((id == kIdBold || id == kIdItalic) && code == BN_CLICKED))
            show_sample();
    }

    // OK needs a family chosen and a size in range; else the dialog stays, the size field focused.
    bool accept() override {
        const std::optional<FontChoice> chosen = read();
        if (!chosen) {
            SetFocus(size_);
            return false;
        }
        *choice_ = *chosen;
        return true;
    }

private:
    // What the controls say now; nothing without a family or a size in range.
    std::optional<FontChoice> read() const {
        const LRESULT at = SendMessage(families_, LB_GETCURSEL, 0, 0);
        const int32_t tenths = answers::parse_tenths(trimmed(utf8_of(GetWindowText(size_))));
        if (at < 0 || static_cast<size_t>(at) >= shown_.size() || !tenths) return std::nullopt;
        return FontChoice{shown_[at]->name, tenths, SendMessage(bold_, BM_GETCHECK, 0, 0) == BST_CHECKED,
                          SendMessage(italic_, BM_GETCHECK, 0, 0) == BST_CHECKED};
    }

    // The sample takes a font made anew; the one it had goes once it is let go.
    void show_sample() {
        const std::optional<FontChoice> chosen = read();
        if (!chosen) return;
        gfx::LOGFONT font;
        font.lfFaceName = chosen->family.substr(0, 31);
        font.lfHeight = font_height(chosen->tenths, dpi);
        font.lfWeight = chosen->bold ? gfx::FW_BOLD : gfx::FW_NORMAL;
        font.lfItalic = chosen->italic;
        const gfx::HFONT made = gfx::CreateFontIndirect(font);
        if (!made) return;
        SendMessage(sample_, WM_SETFONT, static_cast<intptr_t>(made), 1);
        if (sample_font_) gfx::DeleteObject(sample_font_);
        sample_font_ = made;
    }

    const FontChoice& start_;
    bool fixed_only_;
    FontChoice* choice_;
    std::vector<const FontFamily*> shown_;
    HWND families_ = 0, size_ = 0, sizes_ = 0, bold_ = 0, italic_ = 0, sample_ = 0;
    gfx::HFONT sample_font_ = 0;
};

}  // namespace

Outcome run_font(HWND owner, const FontChoice& start, bool fixed_only, FontChoice* choice) {
    FontDialog dialog(start, fixed_only, choice);
    return run_modal(dialog, owner, u"Font", 450, 316);
}

}  // namespace nuv::host::dialogs::windows
