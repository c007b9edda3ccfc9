// UTF-16 and UTF-8 as the host layers pass text between the window model (UTF-16) and the
// libraries (UTF-8): unpaired surrogates become U+FFFD.
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

}  // namespace nuv::host
