// Float and text conversion: digit generation, number-text layout, correctly rounded reading,
// the degree reduction; and the round trip against a known-good shortest printer.
#include "runtime/float_text.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "tests/unit/support.h"
#include "tests/temp_support.h"

namespace nuv {
namespace {

using float_text::decimal_to_float;
using float_text::float_form_text;
using float_text::float_to_digits;

constexpr double kInf = std::numeric_limits<double>::infinity();
uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }
std::string hex(double d) {
    char text[24];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(bits(d)));
    return text;
}

TEST(FloatText, FormText) {
    struct Case {
        double value;
        int digits;
        bool keep_point;
        const char* want;
    } cases[] = {
        {0.1 + 0.2, 0, true, "0.30000000000000004"},
        {1.0, 0, true, "1.0"},
        {1.0, 0, false, "1"},
        {1.5, 0, false, "1.5"},
        {1e20, 0, true, "1.0e20"},
        {1e17, 0, true, "1.0e17"},
        {1e16, 0, true, "10000000000000000.0"},
        {9007199254740993.0, 0, true, "9007199254740992.0"},
        {1e25, 0, true, "1.0e25"},
        {1e25, 0, false, "1e25"},
        {12345e20, 0, true, "1.2345e24"},
        {123456789012345680000.0, 0, true, "1.2345678901234568e20"},
        {100.0, 0, true, "100.0"},
        {100.0, 0, false, "100"},
        {123.45, 0, true, "123.45"},
        {0.001, 0, true, "0.001"},
        {1e-7, 0, true, "0.0000001"},
        {1.234e-7, 0, true, "0.0000001234"},
        {1e-8, 0, true, "1.0e-8"},
        {-1.5e-5, 0, true, "-0.000015"},
        {-1.5e-8, 0, false, "-1.5e-8"},
        {-123.45, 0, false, "-123.45"},
        {5e-324, 0, true, "5.0e-324"},
        {1.7976931348623157e308, 0, true, "1.7976931348623157e308"},
        {-0.0, 0, true, "-0.0"},
        {0.0, 0, true, "0.0"},
        {0.0, 0, false, "0"},
        {-0.0, 0, false, "-0"},
        {kInf, 0, true, "1.#INF"},
        {-kInf, 0, true, "-1.#INF"},
        {std::nan(""), 0, true, "1.#NaN"},
        {-std::nan(""), 0, false, "1.#NaN"},
        // A given digit count: correctly rounded, ties to even, trailing zeros dropped.
        {5.123456789, 6, false, "5.12346"},
        {5.0, 6, false, "5"},
        {0.1, 22, true, "0.1000000000000000055511"},
        {2.5, 1, false, "2"},
        {3.5, 1, false, "4"},
        {0.125, 2, false, "0.12"},
        {999.96, 4, true, "1000.0"},
        // Requests beyond the digit area are clamped to its 30 digits; the longest layout fits.
        {0.1, 100, true, "0.100000000000000005551115123126"},
        {-1.2345678901234566e-07, 1000, true, "-0.000000123456789012345657957585146926"},
        {1.2345678901234568e-300, 30, true, "1.2345678901234567567015816337e-300"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(float_form_text(c.value, c.digits, c.keep_point), c.want)
            << "value " << hex(c.value) << " digits " << c.digits << " keep " << c.keep_point;
    }
}

TEST(FloatText, Digits) {
    struct Case {
        double value;
        int digits;
        const char* text;
        int point;
        bool negative;
    } cases[] = {
        {0.1 + 0.2, 0, "30000000000000004", 0, false},
        {1e20, 0, "1", 21, false},
        {-123.45, 0, "12345", 3, true},
        {0.00123, 0, "123", -2, false},
        {2.0 / 3.0, 3, "667", 0, false},
        {kInf, 0, "1.#INF", float_text::kSpecialPoint, false},
        {-kInf, 0, "-1.#INF", float_text::kSpecialPoint, true},
        {-0.0, 0, "-0.0", float_text::kZeroPoint, true},
    };
    for (const Case& c : cases) {
        const float_text::Digits d = float_to_digits(c.value, c.digits, true);
        EXPECT_STREQ(d.text, c.text) << hex(c.value);
        EXPECT_EQ(d.point, c.point) << hex(c.value);
        EXPECT_EQ(d.negative, c.negative) << hex(c.value);
        EXPECT_EQ(d.length, static_cast<int>(std::strlen(c.text))) << hex(c.value);
    }
}

TEST(FloatText, DecimalToFloat) {
    const std::string long_tie = "9007199254740993." + std::string(1000, '0');
    const std::string long_above = long_tie + "1";
    struct Case {
        std::string text;
        int extra;
        double want;
        int left;
    } cases[] = {
        {"-0", 0, 0.0, 0},
        {"-0.0", 0, -0.0, 0},
        {"-", 0, 0.0, 0},
        {"+1.5", 0, 1.5, 0},
        {"000123", 0, 123.0, 0},
        {"0.1", 0, 0.1, 0},
        {".5", 0, 0.5, 0},
        {"5.", 0, 5.0, 0},
        {"1.5E3", 0, 1500.0, 0},
        {"0.30000000000000004", 0, 0.1 + 0.2, 0},
        {"1.7976931348623157e308", 0, 1.7976931348623157e308, 0},
        {"1e309", 0, kInf, 0},
        {"-1e309", 0, -kInf, 0},
        {"1e99999999999999999999", 0, kInf, 0},
        {"2.4703282292062328e-324", 0, 5e-324, 0},
        {"2.4703282292062327e-324", 0, 0.0, 0},
        {"-1e-400", 0, -0.0, 0},
        {"1e-99999999999999999999", 0, 0.0, 0},
        {"00.00e5", 0, 0.0, 0},
        {"-00e5", 0, -0.0, 0},
        // Digits beyond those kept still decide a tie.
        {long_tie, 0, 9007199254740992.0, 0},
        {long_above, 0, 9007199254740994.0, 0},
        // The extra exponent scales the text's own.
        {"1.5", 2, 150.0, 0},
        {"125", -2, 1.25, 0},
        {"1e308", 1, kInf, 0},
        // The count of characters after the last one used.
        {"12abc", 0, 12.0, 3},
        {"1e", 0, 1.0, 1},
        {"1e+", 0, 1.0, 2},
        {"1.5e3x", 0, 1500.0, 1},
        {"1.#", 0, 1.0, 1},
        {"abc", 0, 0.0, 3},
        {".", 0, 0.0, 1},
        {"", 0, 0.0, 0},
        // The special texts read back; nothing after the letter is examined.
        {"1.#INF", 0, kInf, 2},
        {"-1.#inf", 0, -kInf, 2},
        {"01.#Infinity", 0, kInf, 7},
    };
    for (const Case& c : cases) {
        int left = -1;
        const double got = decimal_to_float(c.text.data(), c.text.data() + c.text.size(), c.extra, &left);
        EXPECT_EQ(hex(got), hex(c.want)) << "text \"" << c.text.substr(0, 40) << "\" extra " << c.extra;
        EXPECT_EQ(left, c.left) << "text \"" << c.text.substr(0, 40) << "\"";
    }
    // NaN reads as the positive quiet NaN whatever its sign.
    for (std::string text : {"1.#NaN", "-1.#nan"}) {
        EXPECT_EQ(bits(decimal_to_float(text.data(), text.data() + text.size())), 0x7FF8000000000000u) << text;
    }
}

// What float_form_text writes reads back to the same bits, specials included.
TEST(FloatText, FormReadsBack) {
    const double values[] = {0.1 + 0.2, -0.0, 0.0, kInf, -kInf, 5e-324, 2.2250738585072009e-308,
                             2.2250738585072014e-308, 1.7976931348623157e308, 1e16, 1e17, 1e-7,
                             1e-8, -9007199254740991.0, 4.35, 1.0 / 3.0};
    for (double v : values) {
        const std::string text = float_form_text(v, 0, true);
        EXPECT_EQ(hex(decimal_to_float(text.data(), text.data() + text.size())), hex(v)) << text;
    }
}

// The 32-bit digits are the fewest that read back, through a double rounded to 32 bits, to the
// same float: a table of edge values, then every 4099th positive bit pattern, each checked
// against the float's own shortest digits (never longer) and read back.
TEST(FloatText, Float32DigitsReadBack) {
    struct Case {
        float value;
        const char* want;
    } cases[] = {
        {0.1f, "0.1"},
        {3.4028235e38f, "3.4028235e38"},
        {16777217.0f, "16777216.0"},
        {1e-45f, "1.0e-45"},
        {1.17549435e-38f, "1.1754944e-38"},
        {-2.5f, "-2.5"},
        {1.0f / 3.0f, "0.33333334"},
        // The one float whose own shortest digits, read as a double, round to its neighbour.
        {7.03853069e-26f, "7.0385307e-26"},
        {-0.0f, "-0.0"},
        {std::numeric_limits<float>::infinity(), "1.#INF"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(float_text::digits_form_text(float_text::float32_to_digits(c.value, true), true),
                     c.want)
            << c.want;
    }
    for (uint64_t pattern = 1; pattern < 0x7F800000u; pattern += 4099) {
        const float f = std::bit_cast<float>(static_cast<uint32_t>(pattern));
        const float_text::Digits d = float_text::float32_to_digits(f, true);
        char shortest[32];
        char* end = std::to_chars(shortest, shortest + sizeof shortest, f,
                                        std::chars_format::scientific).ptr;
        const int own = static_cast<int>(std::count_if(shortest, std::find(shortest, end, 'e'),
                                                       [](char c) { return c >= '0' && c <= '9'; }));
        ASSERT_LE(d.length, own) << std::string(shortest, end);
        const std::string text = float_text::digits_form_text(d, true);
        ASSERT_EQ(static_cast<float>(decimal_to_float(text.data(), text.data() + text.size())), f)
            << text;
    }
}

// A shift moves the point of the layout; positional never turns scientific, as percent text
// (the value times 100, which takes no exponent) needs.
TEST(FloatText, ShiftedAndPositionalLayout) {
    struct Case {
        double value;
        bool positional;
        const char* want;
    } cases[] = {
        {0.125, false, "12.5"},
        {1.0 / 300.0, false, "0.33333333333333335"},
        {1e-10, false, "1e-8"},
        {1e-10, true, "0.00000001"},
        {1e20, true, "10000000000000000000000"},
        {-2.5e-7, true, "-0.000025"},
        {0.0, true, "0"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(float_text::digits_form_text(float_to_digits(c.value, 0, false), false, 2,
                                                  c.positional),
                     c.want)
            << hex(c.value);
    }
}

TEST(FloatText, NormalizeDegrees) {
    using float_text::Trig;
    struct Case {
        double angle;
        Trig kind;
        double want_degrees;
    } cases[] = {
        {150, Trig::Sine, 30},     {-150, Trig::Sine, -30},     {400, Trig::Sine, 40},
        {720, Trig::Sine, 0},      {225, Trig::Tangent, 45},    {-100, Trig::Tangent, 80},
        {90, Trig::Tangent, 90},   {200, Trig::Cosine, -160},   {-200, Trig::Cosine, 160},
        {135, Trig::Cosine, 135},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(float_text::normalize_degrees(c.angle, c.kind)),
                  hex(c.want_degrees * std::numbers::pi / 180.0))
            << c.angle << " kind " << static_cast<int>(c.kind);
    }
}

// Python's repr as (significant digits, point position), in the layout of float_to_digits.
struct ReprDigits {
    std::string digits;
    int point;
    bool negative;
};
ReprDigits parse_repr(const std::string& repr) {
    ReprDigits r{"", 0, false};
    size_t i = 0;
    if (repr[i] == '-') {
        r.negative = true;
        i++;
    }
    int exponent = 0;
    const size_t e = repr.find('e');
    const std::string mantissa = repr.substr(i, e == std::string::npos ? std::string::npos : e - i);
    if (e != std::string::npos) exponent = std::stoi(repr.substr(e + 1));
    const size_t dot = mantissa.find('.');
    const std::string whole = mantissa.substr(0, dot);
    r.digits = whole + (dot == std::string::npos ? "" : mantissa.substr(dot + 1));
    r.point = static_cast<int>(whole.size()) + exponent;
    while (!r.digits.empty() && r.digits[0] == '0') {
        r.digits.erase(0, 1);
        r.point--;
    }
    while (!r.digits.empty() && r.digits.back() == '0') r.digits.pop_back();
    return r;
}

TEST(FloatTextScale, RandomBitsRoundTripLikePython) {
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "no python3";
    constexpr int kCount = 1000000;
    std::mt19937_64 source(20240601);
    std::vector<double> values;
    values.reserve(kCount);
    while (static_cast<int>(values.size()) < kCount) {
        const double v = std::bit_cast<double>(source());
        if (std::isfinite(v)) values.push_back(v);
    }
    // Named by process so that test runs side by side keep their own files.
    const std::string stem = nuv::test::temp_path("float");
    const std::string in_path = stem + "_bits.txt";
    const std::string out_path = stem + "_repr.txt";
    {
        std::ofstream in(in_path);
        for (double v : values) in << hex(v) << '\n';
    }
    const std::string command =
        "python3 -c 'import sys, struct\n"
        "out = sys.stdout\n"
        "for line in sys.stdin:\n"
        "    out.write(repr(struct.unpack(\"<d\", int(line, 16).to_bytes(8, \"little\"))[0]) + \"\\n\")' < " +
        in_path + " > " + out_path;
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::ifstream out(out_path);
    std::string repr;
    int failures = 0;
    for (double v : values) {
        ASSERT_TRUE(std::getline(out, repr));
        const ReprDigits want = parse_repr(repr);
        const float_text::Digits got = float_to_digits(v, 0, true);
        if (v != 0.0 && (got.text != want.digits || got.point != want.point || got.negative != want.negative)) {
            if (++failures <= 10) {
                ADD_FAILURE() << hex(v) << ": repr " << repr << ", digits " << got.text << " point " << got.point;
            }
        }
        const std::string text = float_form_text(v, 0, true);
        const double back = decimal_to_float(text.data(), text.data() + text.size());
        if (bits(back) != bits(v) && ++failures <= 10) {
            ADD_FAILURE() << hex(v) << ": formed " << text << ", read back " << hex(back);
        }
    }
    EXPECT_EQ(failures, 0);
    std::remove(in_path.c_str());
    std::remove(out_path.c_str());
}

}  // namespace
}  // namespace nuv
