// UTF-8 read into UTF-16 as the host layers take text from the libraries and the clipboard: each
// malformed start gives U+FFFD (one for each longest start that could have become a character)
// and the text after it reads on.
#include <gtest/gtest.h>

#include <string>

#include "host/utf.h"

namespace nuv::host {
namespace {

TEST(Utf, Utf8ReadsIntoUtf16) {
    struct Row {
        const char* name;
        std::string in;
        std::u16string want;
    };
    const Row rows[] = {
        {"ascii", "abc", u"abc"},
        {"two bytes", "\xC3\xA9", u"\u00E9"},
        {"three bytes", "\xE2\x82\xAC", u"\u20AC"},
        {"four bytes, a pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"the last code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"cut short at the end", "x\xE2\x82", u"x\uFFFD"},
        {"cut short by the next character", "\xE2\x82" "a", u"\uFFFDa"},
        {"a stray continuation byte", "\x80" "a", u"\uFFFDa"},
        {"an overlong two-byte form", "\xC0\xAF", u"\uFFFD\uFFFD"},
        {"an overlong three-byte form", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
        {"an overlong four-byte form", "\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"a surrogate", "\xED\xA0\x80" "a", u"\uFFFD\uFFFD\uFFFDa"},
        {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"a lead byte no sequence has", "\xF8\x88\x80", u"\uFFFD\uFFFD\uFFFD"},
        {"the byte FF", "\xFF" "a", u"\uFFFDa"},
        {"a NUL inside", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
    };
    for (const Row& r : rows) EXPECT_EQ(utf16_of(r.in), r.want) << r.name;
    // Well-formed text goes there and back unchanged.
    const std::string text = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    EXPECT_EQ(utf8_of(utf16_of(text)), text);
}

}  // namespace
}  // namespace nuv::host
