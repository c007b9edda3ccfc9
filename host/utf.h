// UTF-16 and UTF-8 as the host layers pass text between the window model (UTF-16) and the
// libraries (UTF-8): unpaired surrogates become U+FFFD, and so does each malformed UTF-8
// sequence (a bad lead byte, a sequence cut short, an overlong form, a surrogate or a code
// point past U+10FFFF), one for each longest start that could have become a character.
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

// The UTF-8 sequence at text[*i], moving *i past it. A malformed one gives U+FFFD for its longest
// start that could still have become a character: the second byte's range narrows after E0, ED,
// F0 and F4, so overlong forms, surrogates and code points past U+10FFFF end at that byte.
inline char32_t next_utf8(std::string_view text, size_t* i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b = byte(*i);
    const int extra = b < 0x80 ? 0 : b < 0xC2 ? -1 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : b < 0xF5 ? 3 : -1;
    if (extra <= 0) {
        ++*i;
        return extra == 0 ? b : 0xFFFD;
    }
    const unsigned char low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const unsigned char high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    char32_t c = b & (0x3F >> extra);
    size_t k = 1;
    for (; k <= static_cast<size_t>(extra) && *i + k < text.size(); ++k) {
        const unsigned char next = byte(*i + k);
        if (k == 1 ? next < low || next > high : (next & 0xC0) != 0x80) break;
        c = c << 6 | (next & 0x3F);
    }
    *i += k;
    return k == static_cast<size_t>(extra) + 1 ? c : 0xFFFD;
}

inline void put_utf16(std::u16string& out, char32_t c) {
    if (c >= 0x10000) {
        out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        out += static_cast<char16_t>(c);
    }
}

inline std::u16string utf16_of(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        put_utf16(out, next_utf8(text, &i));
    return out;
}

}  // namespace nuv::host
