// Fonts and paragraph flags: font objects made into host fonts and kept in their state blocks,
// released on a change or by the collector, para objects as alignment words, a changed para
// carried to a window's style, and the font chooser answered by the test hook.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include <unistd.h>

#include "gui/backend/dpi.h"
#include "gui/backend/fonts.h"
#include "gui/backend/startup.h"
#include "host/controls/controls.h"
#include "host/win/window.h"
#include "runtime/collector.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "tests/temp_support.h"
#include "tests/unit/eval_support.h"

namespace nuv::gui::fonts {
namespace {

namespace gfx = host::gfx;
namespace ctl = host::controls;
using test::eval_text;

// The fixtures have the slots of font!, para! and face! in their order.
constexpr const char* kFixtures =
    "font-proto: make object! [name: size: style: angle: color: anti-alias?: shadow: state: parent: none] "
    "para-proto: make object! [origin: padding: scroll: align: v-align: wrap?: parent: none] "
    "face-proto: make object! [type: offset: size: text: image: color: menu: data: enabled?: visible?: "
    "selected: flags: options: parent: pane: state: rate: edge: para: font: actors: extra: draw: none]";

Cell global(const char* name) { return *context::global_slot(symbol::make_cstr(name)); }

// Evaluates the text (which sets the words it names) after the fixtures.
void run(const std::string& text) {
    ASSERT_EQ(eval_text(std::string(kFixtures) + " " + text + " true"), "true") << text;
}

void set_handle(const char* name, uint32_t value, handle::Kind kind) {
    test::StackScope scope;
    context::set_global(symbol::make_cstr(name), handle::push(static_cast<int32_t>(value), kind));
}

gfx::LOGFONT record_of(gfx::HFONT id) {
    gfx::LOGFONT lf;
    EXPECT_TRUE(gfx::GetObject(id, &lf));
    return lf;
}

bool alive(gfx::HFONT id) {
    gfx::LOGFONT lf;
    return gfx::GetObject(id, &lf);
}

TEST(GuiFonts, FontFieldsMakeTheHostFont) {
    const std::u16string kDefault = gfx::message_font(96).lfFaceName;
    struct Row {
        const char* fields;
        int32_t height, weight;
        uint8_t italic, underline, strike, quality;
        int32_t orientation;
        std::u16string face;
    };
    const Row rows[] = {
        {"size: 12", -16, 0, 0, 0, 0, 0, 0, kDefault},
        // sizes that are no integer above 0 take the default size, 9 points
        {"size: 0", -12, 0, 0, 0, 0, 0, 0, kDefault},
        {"size: -3", -12, 0, 0, 0, 0, 0, 0, kDefault},
        {"size: 12.5", -12, 0, 0, 0, 0, 0, 0, kDefault},
        {"style: 'bold", -12, 700, 0, 0, 0, 0, 0, kDefault},
        {"style: [italic underline strike]", -12, 0, 1, 1, 1, 0, 0, kDefault},
        {"style: [foo bold 7]", -12, 700, 0, 0, 0, 0, 0, kDefault},
        {"style: 'foo", -12, 0, 0, 0, 0, 0, 0, kDefault},
        {"anti-alias?: true", -12, 0, 0, 0, 0, gfx::ANTIALIASED_QUALITY, 0, kDefault},
        {"anti-alias?: false", -12, 0, 0, 0, 0, gfx::DEFAULT_QUALITY, 0, kDefault},
        {"anti-alias?: 'ClearType", -12, 0, 0, 0, 0, gfx::CLEARTYPE_QUALITY, 0, kDefault},
        {"anti-alias?: 1", -12, 0, 0, 0, 0, gfx::DEFAULT_QUALITY, 0, kDefault},
        {"angle: 90", -12, 0, 0, 0, 0, 0, 900, kDefault},
        {"angle: 1.5", -12, 0, 0, 0, 0, 0, 0, kDefault},
        {"name: \"DejaVu Serif\" size: 30", -40, 0, 0, 0, 0, 0, 0, u"DejaVu Serif"},
        // a name of 40 characters uses 31; a pair that the 31st unit would split is left out
        {"name: \"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN\"", -12, 0, 0, 0, 0, 0, 0,
         u"abcdefghijklmnopqrstuvwxyzABCDE"},
        {"name: \"abcdefghijklmnopqrstuvwxyzABCD\U0001F600xyz\"", -12, 0, 0, 0, 0, 0, 0,
         u"abcdefghijklmnopqrstuvwxyzABCD"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fields);
        run(std::string("f: make font-proto [") + row.fields + "]");
        const Cell f = global("f");
        const gfx::LOGFONT lf = record_of(make_font(nullptr, &f));
        EXPECT_EQ(lf.lfHeight, row.height);
        EXPECT_EQ(lf.lfWeight, row.weight);
        EXPECT_EQ(lf.lfItalic, row.italic);
        EXPECT_EQ(lf.lfUnderline, row.underline);
        EXPECT_EQ(lf.lfStrikeOut, row.strike);
        EXPECT_EQ(lf.lfQuality, row.quality);
        EXPECT_EQ(lf.lfOrientation, row.orientation);
        EXPECT_EQ(lf.lfEscapement, 0);
        EXPECT_EQ(lf.lfCharSet, gfx::DEFAULT_CHARSET);
        EXPECT_TRUE(lf.lfFaceName == row.face);
    }
    // The default size is system/view/fonts/size.
    run("f: make font-proto [size: 0] old: system/view/fonts/size system/view/fonts/size: 20");
    const Cell f = global("f");
    EXPECT_EQ(record_of(make_font(nullptr, &f)).lfHeight, -26);
    run("system/view/fonts/size: old");
    // A font the host cannot make leaves a null handle that holds no registry slot.
    run("f: make font-proto [size: 2147483647]");
    const Cell huge = global("f");
    EXPECT_EQ(make_font(nullptr, &huge), 0u);
    const Cell* h = font_state_handle(&huge, kCurrentFont);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(handle::value_of(h), 0);
    EXPECT_EQ(handle::slot_of(h), handle::kNoSlot);
    EXPECT_FALSE(free_font_handles(&huge));
}

TEST(GuiFonts, StateBlockKeepsTheFontsAtBothDpis) {
    run("f: make font-proto [size: 10] face: make face-proto [type: 'base]");
    Cell f = global("f");
    const Cell face = global("face");
    const gfx::HFONT first = get_font_handle(&face, &f);
    ASSERT_NE(first, 0u);
    EXPECT_EQ(eval_text("reduce [type? f/state/1 f/state/2 f/state/3 length? f/state]"), "[handle! none none 3]");
    EXPECT_EQ(font_handle(&f, kCurrentFont), first);
    EXPECT_EQ(get_font_handle(&face, &f), first);  // kept, not made again
    EXPECT_EQ(font_state_handle(&f, kFont96), nullptr);
    const Cell* h = font_state_handle(&f, kCurrentFont);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(handle::kind_of(h), static_cast<uint32_t>(handle::Kind::Font));
    EXPECT_GE(handle::slot_of(h), 0);

    // With a state block, a new font at 144 DPI also makes the one at 96 DPI.
    dpi::set_current(144);
    const gfx::HFONT scaled = make_font(&face, &f);
    dpi::set_current(96);
    EXPECT_EQ(record_of(scaled).lfHeight, -20);
    EXPECT_EQ(record_of(font_handle(&f, kFont96)).lfHeight, -13);
    EXPECT_EQ(font_handle(&f, kCurrentFont), scaled);
    // The face is the font's user once, however often it made the font.
    EXPECT_EQ(eval_text("reduce [length? head f/parent same? face first head f/parent tail? f/parent]"),
              "[1 true true]");
    EXPECT_EQ(get_font_handle(&face, &face), get_font_handle(&face, &face));  // a face has no font slots
    const Cell none_value = *none::shared();
    EXPECT_EQ(get_font_handle(&face, &none_value), 0u);
}

TEST(GuiFonts, ChangesMakeTheFontAgainOnlyWhereItShows) {
    struct Row {
        int32_t slot;
        bool remade;
    };
    const Row rows[] = {{0, true}, {1, true}, {2, true}, {3, true}, {4, false}, {5, true}, {6, false}, {9, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.slot);
        run("f: make font-proto [color: 255.0.0]");
        const Cell f = global("f");
        const gfx::HFONT before = make_font(nullptr, &f);
        run("state: f/state");
        update_font(&f, row.slot);
        const gfx::HFONT after = font_handle(&f, kCurrentFont);
        EXPECT_EQ(eval_text("same? state f/state"), row.remade ? "false" : "true");
        EXPECT_EQ(after == before, !row.remade);
        EXPECT_NE(after, 0u);
        EXPECT_EQ(alive(before), !row.remade);
    }
}

TEST(GuiFonts, FreeingReleasesOnlyTheBackendsOwnHandles) {
    run("f: make font-proto [] g: make font-proto [] h: make font-proto []");
    const Cell f = global("f");
    const Cell g = global("g");
    const Cell h = global("h");
    EXPECT_FALSE(free_font_handles(&f));  // no state yet
    const gfx::HFONT id = make_font(nullptr, &f);
    run("g/state: reduce [f/state/1 none none]");
    EXPECT_TRUE(free_font_handles(&f));
    EXPECT_FALSE(alive(id));
    EXPECT_EQ(eval_text("f/state"), "none");
    // g's stale copy of f's handle leaves the font that took the freed slot next.
    const gfx::HFONT next = make_font(nullptr, &h);
    EXPECT_TRUE(free_font_handles(&g));
    EXPECT_TRUE(alive(next));
    EXPECT_EQ(eval_text("g/state"), "none");
    // A handle the backend did not make is never released.
    const gfx::HFONT stray = gfx::CreateFont(-12, 0, 0, 0, 0, false, false, false, 1, 0, 0, 0, 0, u"DejaVu Sans");
    set_handle("stray", stray, handle::Kind::Font);
    run("g/state: reduce [stray none none]");
    EXPECT_TRUE(free_font_handles(&g));
    EXPECT_TRUE(alive(stray));
    gfx::DeleteObject(stray);
}

TEST(GuiFonts, CollectorDeletesFontsNoValueKeeps) {
    run("fonts: collect [loop 5 [keep make font-proto []]]");
    gfx::HFONT ids[5];
    for (int i = 0; i < 5; i++) {
        collector::FreshScope scope;  // the state blocks are reached through the fonts alone
        run("f: pick fonts " + std::to_string(i + 1));
        const Cell f = global("f");
        ids[i] = make_font(nullptr, &f);
    }
    run("f: none kept: fonts/5/state clear fonts");
    eval_text("recycle");
    int deleted = 0;
    for (gfx::HFONT id : ids) deleted += !alive(id);
    EXPECT_EQ(deleted, 4);
    EXPECT_TRUE(alive(ids[4]));
}

TEST(GuiFonts, ParaFlagsByFaceType) {
    struct Row {
        const char* type;
        const char* para;  // fields, or nullptr for none
        uint32_t flags;
    };
    const Row rows[] = {
        {"rich-text", "", 16},
        {"base", "", 21},
        {"base", "align: 'left v-align: 'top wrap?: false", 0},
        {"base", "align: 'right v-align: 'bottom", 26},
        {"base", "align: 'foo v-align: 'foo wrap?: true", 21},
        {"base", "wrap?: 1", 5},
        {"rich-text", "align: 'center v-align: 'middle wrap?: false", 5},
        {"rich-text", "align: 'foo v-align: 'foo", 16},
        {"button", "", 0xF00},
        {"toggle", "align: 'left v-align: 'top", 0x500},
        {"check", "", 0xD00},
        {"radio", "align: 'right v-align: 'bottom", 0xA00},
        {"field", "", 0},
        {"field", "align: 'center wrap?: false", 0xC1},
        {"area", "align: 'right v-align: 'middle wrap?: false", 0x2C2},
        {"text", "wrap?: false v-align: 'bottom", 0x4000},
        {"text", "align: 'center v-align: 'middle", 0x201},
        {"panel", "align: 'right v-align: 'bottom wrap?: false", 0},
        {"base", nullptr, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.type) + " [" + (row.para ? row.para : "none") + "]");
        run(row.para ? std::string("p: make para-proto [") + row.para + "]" : "p: none");
        const Cell p = global("p");
        EXPECT_EQ(para_flags(symbol::make_cstr(row.type), &p), row.flags);
    }
}

class GuiFontsWindow : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(host::controls::register_classes()); }
    void TearDown() override {
        if (hwnd_) host::win::DestroyWindow(hwnd_);
    }
    // A window of the class and style in the face's state block ([window bits none false]).
    void make(const char* face_fields, const char16_t* class_name, uint32_t style) {
        hwnd_ = host::win::CreateWindowEx(0, class_name, u"", style, 0, 0, 40, 20, 0, 0, nullptr);
        ASSERT_NE(hwnd_, 0u);
        set_handle("hwnd", hwnd_, handle::Kind::Window);
        run(std::string("face: make face-proto [") + face_fields + "] face/state: reduce [hwnd 8 none false]");
    }
    uint32_t style() const { return static_cast<uint32_t>(host::win::GetWindowLong(hwnd_, host::win::GWL_STYLE)); }
    host::win::HWND hwnd_ = 0;
};

TEST_F(GuiFontsWindow, UpdateParaReplacesTheAlignmentBits) {
    struct Row {
        const char* face;
        const char16_t* class_name;
        uint32_t style, wanted;
    };
    const Row rows[] = {
        {"type: 'button para: make para-proto [align: 'right v-align: 'bottom]", u"BUTTON", 0x1 | 0x500, 0x1 | 0xA00},
        {"type: 'check para: make para-proto []", u"BUTTON", 0x3 | 0xF00, 0x3 | 0xD00},
        {"type: 'base para: make para-proto []", u"STATIC", 0x40 | 0x2A, 0x40 | 21},
        {"type: 'field para: make para-proto [align: 'center wrap?: false]", u"EDIT", 0x100 | 0x4002, 0x100 | 0xC1},
        {"type: 'panel para: make para-proto [align: 'right]", u"STATIC", 0x5, 0x5},
        {"type: 'button para: none", u"BUTTON", 0x300, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.face);
        make(row.face, row.class_name, row.style);
        const Cell face = global("face");
        update_para(&face, 0);
        EXPECT_EQ(style() & 0xFFFF, row.wanted);
        EXPECT_EQ(eval_text("face/state/2"), std::to_string(8 | kParaChanged));
        host::win::DestroyWindow(hwnd_);
        hwnd_ = 0;
    }
}

TEST_F(GuiFontsWindow, UpdateParaLeavesWhatItCannotChange) {
    make("type: 'area para: make para-proto [align: 'right]", u"EDIT", 0x4);
    Cell face = global("face");
    EXPECT_EQ(test::outcome([&] {
                  update_para(&face, 0);
                  return std::string("none");
              }),
              "error not-done");
    EXPECT_EQ(raised().argc, 0);
    EXPECT_EQ(style() & 0xFFFF, 0x4u);
    EXPECT_EQ(eval_text("face/state/2"), "8");
    struct Row {
        const char* change;
        uint32_t wanted;
    };
    const Row rows[] = {
        {"face/type: 'button face/state: none", 0x4},
        // a state block without the changed-facet bits: the style alone
        {"face/state: reduce [hwnd]", 0xE04},
        {"face/para/align: 'left face/type: \"button\"", 0xE04},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.change);
        run(row.change);
        face = global("face");
        update_para(&face, 0);
        EXPECT_EQ(style() & 0xFFFF, row.wanted);
    }
}

TEST_F(GuiFontsWindow, ControlsTakeTheFaceFontOrTheDefault) {
    make("type: 'button font: make font-proto [size: 14]", u"BUTTON", 0);
    const auto font_of_control = [&] {
        return static_cast<gfx::HFONT>(host::win::SendMessage(hwnd_, ctl::WM_GETFONT, 0, 0));
    };
    Cell face = global("face");
    set_control_font(&face, hwnd_);
    const gfx::HFONT made = font_of_control();
    EXPECT_EQ(record_of(made).lfHeight, -18);
    run("face/font/state/2: 'kept");  // a font that has its handle is not made again
    face = global("face");
    set_control_font(&face, hwnd_);
    EXPECT_EQ(font_of_control(), made);
    EXPECT_EQ(eval_text("reduce [length? head face/font/parent face/font/state/2]"), "[1 kept]");
    run("face/font: none");
    face = global("face");
    set_control_font(&face, hwnd_);
    EXPECT_NE(g_backend.default_font, 0u);
    EXPECT_EQ(font_of_control(), g_backend.default_font);
}

class GuiFontsChooser : public ::testing::Test {
protected:
    void SetUp() override {
        answers_ = nuv::test::temp_path("fonts_answers_");
        // A path of its own each test: the hook keeps the log open while the path stays the same.
        requests_ = nuv::test::temp_path(std::string("fonts_requests_") +
                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::remove(requests_.c_str());
    }
    void TearDown() override {
        unsetenv("NUV_TEST_ANSWERS");
        unsetenv("NUV_TEST_REQUESTS");
    }
    // Each call takes a file of its own so that the hook opens it anew.
    void answer(const std::string& line) {
        const std::string path = answers_ + std::to_string(count_++);
        std::ofstream(path) << line << "\n";
        setenv("NUV_TEST_ANSWERS", path.c_str(), 1);
        setenv("NUV_TEST_REQUESTS", requests_.c_str(), 1);
    }
    std::string request_log() {
        std::ifstream in(requests_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string answers_, requests_;
    int count_ = 0;
};

TEST_F(GuiFontsChooser, AnswersFillTheFont) {
    struct Row {
        const char* answer;
        bool mono;
        const char* wanted;  // [name size style] of the font after the call, or the answer none
    };
    const Row rows[] = {
        {"font \"DejaVu Sans Mono\" 11", false, "[\"DejaVu Sans Mono\" 11 none]"},
        {"font \"DejaVu Sans Mono\" 11", true, "[\"DejaVu Sans Mono\" 11 none]"},
        {"font \"DejaVu Sans\" 12 bold italic", false, "[\"DejaVu Sans\" 12 [bold italic]]"},
        {"font \"DejaVu Sans\" 10.5 italic", false, "[\"DejaVu Sans\" 10 italic]"},
        {"font \"DejaVu Serif\" 14 bold", false, "[\"DejaVu Serif\" 14 bold]"},
        {"cancel", false, "none"},
        // only fixed-pitch families are offered with mono
        {"font \"DejaVu Sans\" 12", true, "none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.answer);
        run("f: make font-proto [name: \"old\" size: 5 style: 'bold]");
        const Cell f = global("f");
        const Cell none_value = *none::shared();
        answer(row.answer);
        Cell out;
        request_font(&f, &none_value, row.mono, &out);
        if (cell::is(&out, TypeId::None)) {
            EXPECT_EQ("none", std::string(row.wanted));
            EXPECT_EQ(eval_text("reduce [f/name f/size f/style]"), "[\"old\" 5 bold]");
        } else {
            EXPECT_EQ(object::context_of(&out), object::context_of(&f));
            EXPECT_EQ(eval_text("reduce [f/name f/size f/style]"), row.wanted);
        }
    }
}

TEST_F(GuiFontsChooser, StartsAtTheSelectedFontAndDropsStaleFonts) {
    run("f: make font-proto [] sel: make font-proto [name: \"DejaVu Serif\" size: 14 style: 'bold]");
    const Cell f = global("f");
    const Cell sel = global("sel");
    const gfx::HFONT stale = make_font(nullptr, &f);
    make_font(nullptr, &sel);
    answer("font \"DejaVu Sans Mono\" 12");
    Cell out;
    request_font(&f, &sel, true, &out);
    answer("cancel");
    const Cell none_value = *none::shared();
    request_font(&f, &none_value, false, &out);
    // The chooser starts at the font's pixel height (14 and 11 points truncate to 18 and 14 pixels).
    EXPECT_EQ(request_log(), "font \"DejaVu Serif\" 13.5 bold fixed-pitch\nfont \"Courier New\" 10.5\n");
    EXPECT_EQ(eval_text("f/state"), "none");
    EXPECT_FALSE(alive(stale));
}

}  // namespace
}  // namespace nuv::gui::fonts
