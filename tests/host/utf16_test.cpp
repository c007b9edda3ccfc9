// UTF-16 texts to UTF-8 and back, invalid sequences replaced.
#include <gtest/gtest.h>

#include "host/utf16.h"

namespace nuv::test {
namespace {

using namespace nuv::host;

TEST(Utf16, TextsConvertBothWays) {
    const std::u16string text = u"a\u00e9\u20ac\U0001F600";
    EXPECT_EQ(utf16::to_utf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(utf16::from_utf8(utf16::to_utf8(text)), text);
    EXPECT_EQ(utf16::from_utf8("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(utf16::from_utf8("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // an encoded surrogate
    EXPECT_EQ(utf16::to_utf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace nuv::test
