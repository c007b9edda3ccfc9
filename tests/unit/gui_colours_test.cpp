// The backend's conversions: colours, pairs and points, face flags, the font users' list and the
// stopwatch.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>

#include "gui/backend/colours.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::backend {
namespace {

using test::eval_text;

Cell colour(int32_t r, int32_t g, int32_t b, int32_t a = -1) {
    Cell c{};
    tuple::set_channels(&c, r, g, b, a);
    return c;
}

TEST(GuiColours, TuplesBecomePackedAndFloatColours) {
    struct Row {
        Cell tuple;
        uint32_t packed, argb;
        uint8_t alpha;
    };
    const Row rows[] = {
        {colour(255, 0, 0), 0x000000FF, 0xFEFF0000, 255},
        {colour(255, 0, 0, 128), 0x800000FF, 0x7FFF0000, 127},
        {colour(1, 2, 3), 0x00030201, 0xFE010203, 255},
        {colour(10, 20, 30, 255), 0xFF1E140A, 0x000A141E, 0},
        {test::int_cell(5), 0, 0xFE000000, 255},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(test::mold_value(row.tuple));
        EXPECT_EQ(tuple_to_color(&row.tuple), row.packed);
        EXPECT_EQ(color_to_argb(&row.tuple), row.argb);
        host::gfx::ColorF f;
        EXPECT_EQ(color_to_d2d(&row.tuple, &f), row.alpha);
        EXPECT_FLOAT_EQ(f.r, static_cast<float>(row.packed & 0xFF) / 255.0f);
        EXPECT_FLOAT_EQ(f.b, static_cast<float>(row.packed >> 16 & 0xFF) / 255.0f);
        EXPECT_FLOAT_EQ(f.a, static_cast<float>(row.alpha) / 255.0f);
    }
}

TEST(GuiColours, PairsAndPointsConvertInPlace) {
    Cell c{};
    pair::make_at(&c, 3, -4);
    pair_to_point2d(&c);
    ASSERT_TRUE(cell::is(&c, TypeId::Point2D));
    EXPECT_EQ(point::get(&c, 0), 3.0f);
    EXPECT_EQ(point::get(&c, 1), -4.0f);
    struct Row {
        float x, y;
        int32_t want_x, want_y;
    };
    const Row rows[] = {{2.7f, -2.7f, 2, -2}, {1e10f, -1e10f, INT32_MAX, INT32_MIN}, {NAN, 0.5f, 0, 0}};
    for (const Row& row : rows) {
        point::set2(&c, row.x, row.y);
        point2d_to_pair(&c);
        ASSERT_TRUE(cell::is(&c, TypeId::Pair));
        EXPECT_EQ(pair::x_of(&c), row.want_x) << row.x;
        EXPECT_EQ(pair::y_of(&c), row.want_y) << row.y;
    }
    Cell other = test::int_cell(7);
    pair_to_point2d(&other);
    point2d_to_pair(&other);
    EXPECT_TRUE(cell::is(&other, TypeId::Integer));
}

// The flags of the value the text loads to (its first value, or the whole block with `block`).
std::string flags_of(const char* text, bool block) {
    test::StackScope scope;
    Cell* loaded = test::load_text(text);
    return test::outcome([&] {
        const Cell value = block ? *loaded : block::at(cell::node(loaded), 0);
        char hex[16];
        std::snprintf(hex, sizeof hex, "%08X", get_flags(&value));
        return std::string(hex);
    });
}

TEST(GuiColours, FlagWordsGiveTheirBits) {
    test::eval_environment();
    struct Row {
        const char* text;
        bool block;
        const char* want;
    };
    const Row rows[] = {
        {"resize", false, "04000000"},
        {"all-over focusable", true, "00000003"},
        {"no-border no-title no-min no-max no-buttons modal popup", true, "FB000000"},
        {"tri-state scrollable password no-sync fullscreen RESIZE", true, "043E0000"},
        {"", true, "00000000"},
        {"\"resize\"", false, "00000000"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(flags_of(row.text, row.block), row.want) << row.text;
    }
}

TEST(GuiColours, UnknownFlagItemsRaiseInvalidArgWithTheItem) {
    test::eval_environment();
    const char* rows[][2] = {{"resize foo", "foo"}, {"modal 5", "5"}, {"modal 'popup", "'popup"}};
    for (const auto& row : rows) {
        test::StackScope scope;
        Cell* loaded = test::load_text(row[0]);
        try {
            get_flags(loaded);
            ADD_FAILURE() << row[0] << " raised nothing";
        } catch (const Unwind&) {
            const RaisedError& e = raised();
            EXPECT_EQ(e.id, Err::InvalidArg) << row[0];
            ASSERT_EQ(e.argc, 1) << row[0];
            EXPECT_EQ(test::mold_value(e.args[0]), row[1]);
        }
    }
}

const Cell* global(const char* name) { return context::global_slot(symbol::make_cstr(name)); }

TEST(GuiColours, AFontListsEachFaceOnceFromItsHead) {
    ASSERT_EQ(eval_text("gui-font: make object! [name: size: style: angle: color: anti-alias?: shadow: state: parent: none]"
                        " face-a: make object! [type: 'base] face-b: make object! [type: 'base] true"),
              "true");
    add_font_user(global("gui-font"), global("face-a"));
    add_font_user(global("gui-font"), global("face-a"));
    add_font_user(global("gui-font"), global("face-b"));
    add_font_user(global("gui-font"), global("face-a"));
    EXPECT_EQ(eval_text("p: gui-font/parent reduce [length? head p tail? p same? p/-2 face-a same? p/-1 face-b]"),
              "[2 true true true]");
    // A list left at its head is searched and left at its tail the same way; another value
    // in the slot gives way to a new block.
    EXPECT_EQ(eval_text("gui-font/parent: head gui-font/parent true"), "true");
    add_font_user(global("gui-font"), global("face-b"));
    EXPECT_EQ(eval_text("reduce [length? head gui-font/parent tail? gui-font/parent]"), "[2 true]");
    EXPECT_EQ(eval_text("gui-font/parent: \"x\" true"), "true");
    add_font_user(global("gui-font"), global("face-b"));
    EXPECT_EQ(eval_text("p: head gui-font/parent reduce [type? p length? p same? first p face-b]"),
              "[block! 1 true]");
    // Not a font (too few slots) or not a face: nothing changes.
    EXPECT_EQ(eval_text("small: make object! [parent: none] true"), "true");
    add_font_user(global("small"), global("face-a"));
    const Cell five = test::int_cell(5);
    add_font_user(global("gui-font"), &five);
    EXPECT_EQ(eval_text("reduce [small/parent length? head gui-font/parent]"), "[none 1]");
}

TEST(GuiColours, TheStopwatchCountsMillisecondsAndRestartsWhenAhead) {
    int64_t slot = 0;
    read_perf_counter(&slot);
    const double elapsed = stopwatch_elapsed(&slot);
    EXPECT_GE(elapsed, 0.0);
    EXPECT_LT(elapsed, 60000.0);
    const int64_t ahead = slot + 3600 * int64_t{1000000000};
    int64_t later = ahead;
    EXPECT_DOUBLE_EQ(stopwatch_elapsed(&later), 1000.0 * 0x7FFFFFFF / kPerfFrequency);
    EXPECT_LT(later, ahead);
    EXPECT_GE(later, slot);
}

}  // namespace
}  // namespace nuv::gui::backend
