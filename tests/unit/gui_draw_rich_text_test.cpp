// Rich text: a face's layout kept in its handles and released with it, the metric questions,
// the style runs of `data` (their errors, their clamped ranges) and the backdrops drawn under a
// layout. The fixture face is a rich-text face in "DejaVu Sans Mono" 11, its two handler slots
// stood in for by plain fields.
#include <gtest/gtest.h>

#include <string>

#include "gui/backend/render.h"
#include "gui/draw/rich_text.h"
#include "host/gfx/bitmap.h"
#include "host/gfx/target.h"
#include "runtime/collector.h"
#include "runtime/datatypes/point.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::draw {
namespace {

std::string eval(const std::string& source) {
    const collector::FreshScope fresh;
    return test::eval_text(source);
}

Cell global(const char* name) { return *context::global_slot(symbol::make_cstr(name)); }

// Makes rt-face from the fixture with the fields given (the text "Hello world" unless given).
void make_face(const std::string& fields) {
    const std::string fixture =
        "rt-font: make object! [name: \"DejaVu Sans Mono\" size: 11 style: angle: color: anti-alias?: shadow: "
        "state: parent: none] "
        "rt-proto: object [type: 'rich-text offset: 0x0 size: 100x100 text: \"Hello world\" image: color: menu: "
        "data: enabled?: visible?: selected: flags: options: parent: pane: state: rate: edge: para: font: actors: "
        "extra: draw: changed: deep-changed: tabs: line-spacing: handles: none] "
        "rt-face: make rt-proto [font: rt-font " +
        fields + "] true";
    ASSERT_EQ(eval(fixture), "true") << fields;
}

Cell g_answer;  // the last answer of ask

// The answer of the question `type` about rt-face with the argument's source, molded, or
// "error <id> <arg1 molded>".
std::string ask(const std::string& arg, int32_t type) {
    EXPECT_EQ(eval("rt-arg: " + arg + " true"), "true");
    const collector::FreshScope fresh;
    test::StackScope scope;
    Cell* result = stack::push(none::shared());
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto kind = guard.run([&] { text_box_metrics(global("rt-face"), global("rt-arg"), type, result); });
    if (!kind) {
        g_answer = *result;
        return test::mold_value(*result);
    }
    return *kind == UnwindKind::Error ? test::error_text(raised()) : "unwound";
}

// A point2D! source.
std::string at(float x, float y) { return "(" + std::to_string(x) + ", " + std::to_string(y) + ")"; }

float ask_float(const std::string& arg, int32_t type, int coordinate = 0) {
    none::set(&g_answer);
    ask(arg, type);
    const Cell value = g_answer;
    if (cell::is(&value, TypeId::Point2D)) return point::get(&value, coordinate);
    if (cell::is(&value, TypeId::Integer)) return static_cast<float>(cell::get_int(&value));
    return static_cast<float>(cell::get_double(&value));
}

TEST(GuiDrawRichText, PositionsAndPointsAnswerInCharacters) {
    make_face("");
    EXPECT_EQ(ask("1", 0), "(0, 0)");
    const float advance = ask_float("2", 0);
    EXPECT_GT(advance, 5.0f);
    EXPECT_FLOAT_EQ(ask_float("11", 0), advance * 10);
    // The lower end of the caret: the character's right edge and its line's bottom.
    EXPECT_FLOAT_EQ(ask_float("1", 6), advance);
    const float line = ask_float("1", 6, 1);
    EXPECT_GT(line, 10.0f);
    EXPECT_FLOAT_EQ(ask_float("1", 2), line);
    // Caret index (type 1) by the half of the character hit; character index (type 5).
    const float last = advance * 10;
    struct Row {
        float x;
        int32_t type;
        const char* wanted;
    };
    const Row rows[] = {
        {last + advance * 0.75f, 1, "12"}, {last + advance * 0.25f, 1, "11"}, {advance * 0.25f, 1, "1"},
        {advance * 1.5f, 5, "2"},          {last + advance * 0.75f, 5, "11"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ask(at(row.x, 5), row.type), row.wanted) << row.x << " type " << row.type;
    EXPECT_EQ(ask(std::to_string(static_cast<int>(advance * 1.5f)) + "x5", 5), "2");  // a pair! as well
    EXPECT_FLOAT_EQ(ask_float("0", 3), advance * 11);
    EXPECT_FLOAT_EQ(ask_float("0", 3, 1), line);
    EXPECT_EQ(ask("0", 4), "1");
}

TEST(GuiDrawRichText, AnAstralCharacterIsOnePosition) {
    make_face("text: \"^(1F600)ab\"");
    const float emoji = ask_float("2", 0);
    EXPECT_GT(emoji, 0.0f);
    EXPECT_GT(ask_float("3", 0), emoji);
    EXPECT_EQ(ask(at(emoji + 1, 5), 5), "2");
    EXPECT_EQ(ask("4", 0), ask("100", 0));  // past the end is the end
}

TEST(GuiDrawRichText, LineHeightsAndLineCounts) {
    // A second line in a larger size: past the text is the last line's height.
    make_face("text: \"ab^/cd\" data: [4x2 30]");
    const float first = ask_float("1", 2), second = ask_float("5", 2);
    EXPECT_GT(second, first);
    EXPECT_FLOAT_EQ(ask_float("3", 2), first);  // the line break belongs to its line
    EXPECT_FLOAT_EQ(ask_float("4", 2), second);
    EXPECT_FLOAT_EQ(ask_float("1000", 2), second);
    EXPECT_EQ(ask("0", 4), "2");
    // No size: unbounded, 1,000 characters on one line; a narrow box wraps at words.
    make_face("size: 0x0 text: append/dup copy \"\" \"a \" 500");
    EXPECT_EQ(ask("0", 4), "1");
    make_face("size: 40x0 text: \"aa bb cc dd\"");
    EXPECT_EQ(ask("0", 4), "4");
}

TEST(GuiDrawRichText, TheLayoutIsKeptUntilStaleAndReleasedWithTheFace) {
    EXPECT_EQ(eval("rt-face: none recycle true"), "true");
    const int32_t before = text_layout_count();
    make_face("");
    EXPECT_EQ(ask("0", 4), "1");
    EXPECT_EQ(eval("h: rt-face/handles reduce [length? h type? h/1 type? h/2 h/3 h/4]"),
              "[4 handle! handle! \"Hello world\" false]");
    EXPECT_EQ(text_layout_count(), before + 1);
    // Asked again, the same layout answers; a new text waits for the stale flag.
    EXPECT_EQ(eval("first-layout: rt-face/handles/1 rt-face/text: \"a^/b\" true"), "true");
    EXPECT_EQ(ask("0", 4), "1");
    EXPECT_EQ(eval("rt-face/handles/1 = first-layout"), "true");
    EXPECT_EQ(eval("rt-face/handles/4: true"), "true");
    EXPECT_EQ(ask("0", 4), "2");
    EXPECT_EQ(text_layout_count(), before + 1);  // the slot's old layout was released
    EXPECT_EQ(eval("rt-face/handles/3"), "\"a^/b\"");
    EXPECT_EQ(eval("rt-face: h: first-layout: none recycle true"), "true");
    EXPECT_EQ(text_layout_count(), before);
}

TEST(GuiDrawRichText, OnlyRichTextFacesWithTextAreAsked) {
    make_face("type: 'base");
    EXPECT_EQ(ask("1", 0), "error face-type base");
    make_face("text: none");
    EXPECT_EQ(ask("1", 0), "none");
    make_face("");
    EXPECT_EQ(ask("\"x\"", 0), "error invalid-arg \"x\"");
    EXPECT_EQ(ask("3", 1), "error invalid-arg 3");
}

TEST(GuiDrawRichText, StyleErrorsRaiseDrawInvalidAndLeaveTheLayoutStale) {
    struct Row {
        const char* data;
        const char* wanted;  // the error and the data block from the offending cell
    };
    const Row rows[] = {
        {"[1x5 backdrop]", "error draw-invalid []"},
        {"[1x5 backdrop bold]", "error draw-invalid [bold]"},
        {"[1x5 bold red 2x2 italic]", "error draw-invalid [red 2x2 italic]"},
        {"[1x5 bold (1, 2)]", "error draw-invalid [(1, 2)]"},
        {"[1x5 'bold]", "error draw-invalid ['bold]"},
        {"[1x5 bold: 1]", "error draw-invalid [bold: 1]"},
    };
    for (const Row& row : rows) {
        make_face(std::string("data: ") + row.data);
        EXPECT_EQ(ask("0", 4), row.wanted) << row.data;
        EXPECT_EQ(eval("rt-face/handles/4"), "true") << row.data;
    }
    // Silenced, the walk stops there and the runs before it stay.
    EXPECT_EQ(eval("system/view/silent?: true"), "true");
    make_face("data: [1x5 backdrop]");
    EXPECT_EQ(ask("0", 4), "1");
    EXPECT_EQ(eval("system/view/silent?: false"), "false");
}

TEST(GuiDrawRichText, StylesOverRangesAreAccepted) {
    const char* accepted[] = {
        "[1x5 bold 255.0.0]", "[1x100 italic]", "[20x5 bold]", "[0x3 italic]", "[-5x-3 bold]",
        "[1x5 underline 0.0.255 bold]", "[1x5 strike 'dashed italic]", "[1x5 border 1.2.3 'x bold]",
        "[1x5 \"DejaVu Serif\" 12 12.0]", "[1x5 backdrop 0.255.0]", "[1x5 backdrop blue]", "[bold]", "[1x5]",
        "[bogus]",  // a single value applies no run
    };
    for (const char* data : accepted) {
        make_face(std::string("data: ") + data);
        EXPECT_EQ(ask("0", 4), "1") << data;
        EXPECT_EQ(eval("rt-face/handles/4"), "false") << data;
    }
    // Sizes in points: 12 and 12.0 give the same run.
    make_face("data: [1x11 12]");
    const float integer_size = ask_float("0", 3);
    make_face("data: [1x11 12.0]");
    EXPECT_FLOAT_EQ(ask_float("0", 3), integer_size);
    make_face("data: [1x11 24]");
    EXPECT_GT(ask_float("0", 3), integer_size);
}

TEST(GuiDrawRichText, OtherFacesAreLaidOutCentredAndKeepNoLayout) {
    make_face("type: 'base");
    std::unique_ptr<host::gfx::TextLayout> temporary;
    const int32_t before = text_layout_count();
    host::gfx::PositionHit first;
    {
        const collector::FreshScope fresh;
        host::gfx::TextLayout* layout = text_box_layout(global("rt-face"), nullptr, false, &temporary);
        ASSERT_EQ(layout, temporary.get());
        first = layout->hit_test_position(0, false);
    }
    EXPECT_EQ(text_layout_count(), before);
    EXPECT_EQ(eval("rt-face/handles"), "none");
    const float advance = 100 - 2 * first.x;  // centred in the 100x100 box, both ways
    EXPECT_GT(first.x, 0.0f);
    EXPECT_NEAR(advance / 11, first.width, 0.5f);
    EXPECT_NEAR(first.y * 2 + first.height, 100.0f, 1.0f);
    // A para object's flags stand in for the defaults; tabs widen a tab.
    make_face("para: make object! [origin: padding: scroll: none align: 'right v-align: wrap?: parent: none]");
    EXPECT_NEAR(ask_float("12", 0), 100.0f, 1.0f);
    make_face("text: \"^-x\" tabs: 40");
    EXPECT_FLOAT_EQ(ask_float("2", 0), 40.0f);
}

// The count of pixels of the colour channel mostly `channel` (0 blue, 1 green, 2 red) in the
// bitmap's columns [x0, x1).
int coloured(const host::gfx::Bitmap& b, int channel, int x0, int x1) {
    int n = 0;
    for (int y = 0; y < b.height(); y++)
        for (int x = x0; x < x1; x++) {
            const uint32_t p = b.pixel(x, y);
            const int c[3] = {static_cast<int>(p & 0xFF), static_cast<int>(p >> 8 & 0xFF),
                              static_cast<int>(p >> 16 & 0xFF)};
            if (c[channel] > 160 && c[(channel + 1) % 3] < 90 && c[(channel + 2) % 3] < 90) n++;
        }
    return n;
}

// Lays out rt-face for a new record and draws its backdrops and text on a white 100x40 bitmap.
std::unique_ptr<host::gfx::RenderTarget> draw_face(int32_t* cached_brushes = nullptr) {
    backend::RenderTargetRecord* record = backend::make_render_target_record();
    auto target = host::gfx::RenderTarget::offscreen(100, 40);
    std::unique_ptr<host::gfx::TextLayout> temporary;
    {
        const collector::FreshScope fresh;
        host::gfx::TextLayout* layout = text_box_layout(global("rt-face"), record, false, &temporary);
        target->BeginDraw();
        target->Clear({1, 1, 1, 1});
        draw_text_backdrops(record, *target, {0, 0}, *layout);
        EXPECT_TRUE(record->backdrops.empty());
        layout->draw(target->context(), 0, 0);
        target->EndDraw();
    }
    if (cached_brushes) *cached_brushes = record->brush_count;
    backend::free_render_target(record);
    return target;
}

TEST(GuiDrawRichText, ColourRunsAndBackdropsPaintTheirCharactersOnly) {
    make_face("size: 100x40 data: [1x5 bold 255.0.0]");
    EXPECT_EQ(ask("0", 4), "1");
    const int five = static_cast<int>(ask_float("6", 0));
    auto red = draw_face();
    EXPECT_GT(coloured(*red->bitmap(), 2, 0, five), 10);
    EXPECT_EQ(coloured(*red->bitmap(), 2, five, 100), 0);
    // Underline with a colour draws no colour; a backdrop fills the range's box.
    make_face("size: 100x40 data: [1x5 underline 0.0.255 bold]");
    auto plain = draw_face();
    EXPECT_EQ(coloured(*plain->bitmap(), 0, 0, 100), 0);
    make_face("size: 100x40 data: [7x2 backdrop 0.255.0]");
    const int seven = static_cast<int>(ask_float("7", 0)), nine = static_cast<int>(ask_float("9", 0));
    auto green = draw_face();
    EXPECT_EQ(green->bitmap()->pixel(seven + 1, 2), 0xFF00FF00u);
    EXPECT_EQ(green->bitmap()->pixel(nine - 2, 2), 0xFF00FF00u);
    EXPECT_EQ(green->bitmap()->pixel(seven - 2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(green->bitmap()->pixel(nine + 2, 2), 0xFFFFFFFFu);
}

TEST(GuiDrawRichText, ASixtyFifthColourStillDraws) {
    // 64 backdrops of distinct colours fill the brush cache; the 65th colour is a run of red.
    std::string data = "size: 100x40 text: \"x\" data: [1x1";
    for (int i = 0; i < 64; i++) data += " backdrop " + std::to_string(i) + ".255.255";
    make_face(data + " 255.0.0]");
    int32_t cached = 0;
    auto red = draw_face(&cached);
    EXPECT_EQ(cached, backend::kBrushCacheSize);
    EXPECT_GT(coloured(*red->bitmap(), 2, 0, 20), 3);
}

}  // namespace
}  // namespace nuv::gui::draw
