// UTF-16 and UTF-8 as the host layers pass text between the window model (UTF-16) and the
// libraries (UTF-8): unpaired surrogates and what is not UTF-8 become U+FFFD.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace nuv::host {

inline void put_utf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// The code point at text[*i], moving *i past its last unit.
inline char32_t next_utf16(std::u16string_view text, size_t* i) {
    char32_t c = text[*i];
    if (c >= 0xD800 && c < 0xDC00 && *i + 1 < text.size() && text[*i + 1] >= 0xDC00 && text[*i + 1] < 0xE000)
        c = 0x10000 + ((c - 0xD800) << 10) + (text[++*i] - 0xDC00);
    else if (c >= 0xD800 && c < 0xE000)
        c = 0xFFFD;
    ++*i;
    return c;
}

inline std::string utf8_of(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        put_utf8(out, next_utf16(text, &i));
    return out;
}

// UTF-8 from the libraries and files as UTF-16; a sequence that is not UTF-8 (cut short,
// overlong, a surrogate, past U+10FFFF) becomes U+FFFD.
inline std::u16string utf16_of(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int extra = lead < 0x80 ? 0 : lead >= 0xC2 && lead < 0xE0 ? 1 : lead >= 0xE0 && lead < 0xF0 ? 2
                                                                          : lead >= 0xF0 && lead < 0xF5 ? 3 : -1;
        char32_t c = extra <= 0 ? lead : lead & (0x3F >> extra);
        bool good = extra >= 0 && i + extra < text.size() + (extra == 0);
        for (int k = 1; good && k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            good = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
        if (good && extra > 0) good = c >= kLeast[extra] && c < 0x110000 && (c < 0xD800 || c >= 0xE000);
        if (!good) {
            out += u'\uFFFD';
            ++i;
            continue;
        }
        i += extra + 1;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

}  // namespace nuv::host
