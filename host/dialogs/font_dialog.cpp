// The font chooser: fontconfig's scalable families (the library loaded at the first listing,
// never linked), the start font read from the caller's LOGFONT, the request logged, the answer
// taken from the hook or the chooser's window and written back.
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialog_windows.h"
#include "host/dialogs/dialogs.h"
#include "host/utf.h"
#include "host/dynamic.h"
#include "host/win/displays.h"

namespace nuv::host::dialogs {

namespace {

struct Fontconfig {
    decltype(&::FcPatternCreate) pattern_create;
    decltype(&::FcPatternAddBool) pattern_add_bool;
    decltype(&::FcPatternGetString) pattern_get_string;
    decltype(&::FcPatternGetInteger) pattern_get_integer;
    decltype(&::FcPatternDestroy) pattern_destroy;
    decltype(&::FcObjectSetCreate) object_set_create;
    decltype(&::FcObjectSetAdd) object_set_add;
    decltype(&::FcObjectSetDestroy) object_set_destroy;
    decltype(&::FcFontList) font_list;
    decltype(&::FcFontSetDestroy) font_set_destroy;
};

bool load(Fontconfig* fc) {
    return load_library("libfontconfig.so.1", Entry{"FcPatternCreate", &fc->pattern_create},
                        Entry{"FcPatternAddBool", &fc->pattern_add_bool},
                        Entry{"FcPatternGetString", &fc->pattern_get_string},
                        Entry{"FcPatternGetInteger", &fc->pattern_get_integer},
                        Entry{"FcPatternDestroy", &fc->pattern_destroy},
                        Entry{"FcObjectSetCreate", &fc->object_set_create},
                        Entry{"FcObjectSetAdd", &fc->object_set_add},
                        Entry{"FcObjectSetDestroy", &fc->object_set_destroy}, Entry{"FcFontList", &fc->font_list},
                        Entry{"FcFontSetDestroy", &fc->font_set_destroy});
}

char16_t fold(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool same_name(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::vector<FontFamily> list_families() {
    std::vector<FontFamily> out;
    Fontconfig fc;
    if (!load(&fc)) return out;
    FcPattern* pattern = fc.pattern_create();
    FcObjectSet* objects = fc.object_set_create();
    fc.pattern_add_bool(pattern, FC_SCALABLE, FcTrue);
    fc.object_set_add(objects, FC_FAMILY);
    fc.object_set_add(objects, FC_SPACING);
    FcFontSet* fonts = fc.font_list(nullptr, pattern, objects);
    // A family is fixed pitch when every face of it is monospaced (or a character cell).
    std::map<std::string, bool> families;
    for (int i = 0; fonts && i < fonts->nfont; ++i) {
        FcChar8* family = nullptr;
        int spacing = FC_PROPORTIONAL;
        if (fc.pattern_get_string(fonts->fonts[i], FC_FAMILY, 0, &family) != FcResultMatch || !family || !*family)
            continue;
        fc.pattern_get_integer(fonts->fonts[i], FC_SPACING, 0, &spacing);
        const bool mono = spacing == FC_MONO || spacing == FC_CHARCELL;
        auto [at, added] = families.emplace(reinterpret_cast<const char*>(family), mono);
        if (!added) at->second = at->second && mono;
    }
    if (fonts) fc.font_set_destroy(fonts);
    fc.object_set_destroy(objects);
    fc.pattern_destroy(pattern);
    for (const auto& [name, mono] : families) out.push_back(FontFamily{utf16_of(name), mono});
    std::stable_sort(out.begin(), out.end(), [](const FontFamily& a, const FontFamily& b) {
        return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                            [](char16_t x, char16_t y) { return fold(x) < fold(y); });
    });
    return out;
}

// The listed family of that name (case aside), offered with the flags; null when there is none.
const FontFamily* find_family(std::u16string_view name, bool fixed_only) {
    for (const FontFamily& family : font_families())
        if (same_name(family.name, name)) return fixed_only && !family.fixed_pitch ? nullptr : &family;
    return nullptr;
}

uint32_t owner_dpi(HWND owner) {
    const uint32_t dpi = owner ? win::GetDpiForWindow(owner) : 0;
    return dpi ? dpi : 96;
}

}  // namespace

const std::vector<FontFamily>& font_families() {
    static const std::vector<FontFamily>* families = new std::vector<FontFamily>(list_families());
    return *families;
}

bool ChooseFont(CHOOSEFONT* cf) {
    if (!cf || !cf->lpLogFont) return false;
    gfx::LOGFONT& font = *cf->lpLogFont;
    const bool fixed_only = cf->Flags & CF_FIXEDPITCHONLY;
    const uint32_t dpi = owner_dpi(cf->hwndOwner);
    windows::FontChoice start;
    if (cf->Flags & CF_INITTOLOGFONTSTRUCT) {
        start.family = font.lfFaceName;
        const int64_t pixels = font.lfHeight < 0 ? -int64_t{font.lfHeight} : font.lfHeight;
        const int64_t tenths = (pixels * 720 + dpi / 2) / dpi;
        if (pixels) start.tenths = static_cast<int32_t>(std::clamp<int64_t>(tenths, 10, kMaxFontPoints * 10));
        start.bold = font.lfWeight >= gfx::FW_BOLD;
        start.italic = font.lfItalic;
    }

    std::string line = "font";
    answers::field(&line, utf8_of(start.family));
    line += ' ' + answers::tenths_text(start.tenths);
    if (start.bold) line += " bold";
    if (start.italic) line += " italic";
    if (fixed_only) line += " fixed-pitch";
    answers::log_request(line);

    answers::Answer answer;
    std::optional<windows::FontChoice> choice;
    switch (answers::route(&answer)) {
        case answers::Route::Cancel: return false;
        case answers::Route::Window: {
            windows::FontChoice chosen;
            if (windows::run_font(cf->hwndOwner, start, fixed_only, &chosen) == windows::Outcome::Ok) choice = chosen;
            break;
        }
        case answers::Route::Answer:
            if (answer.verb == answers::Verb::Font) {
                const std::u16string family = utf16_of(answer.family);
                // The chooser offers only what fontconfig lists (when it can be asked).
                const FontFamily* listed = find_family(family, fixed_only);
                if (listed || font_families().empty())
                    choice = windows::FontChoice{listed ? listed->name : family, answer.tenths, answer.bold,
                                                 answer.italic};
                else
                    std::fprintf(stderr,
                                 "nuv: NUV_TEST_ANSWERS: the font chooser offers no %sfamily \"%s\"; "
                                 "taken as no answer\n",
                                 fixed_only ? "fixed-pitch " : "", answer.family.c_str());
            } else if (answer.verb != answers::Verb::Cancel) {
                answers::reject("a font chooser");
            }
            break;
    }
    if (!choice) return false;
    font.lfFaceName = choice->family.substr(0, 31);
    font.lfWeight = choice->bold ? gfx::FW_BOLD : gfx::FW_NORMAL;
    font.lfItalic = choice->italic;
    font.lfHeight = windows::font_height(choice->tenths, dpi);
    cf->iPointSize = choice->tenths;
    return true;
}

}  // namespace nuv::host::dialogs
