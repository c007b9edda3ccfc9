// The GUI backend at start-up: nothing loaded or started, and the DPI model's conversions and
// changes over the test displays.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/maps_support.h"
#include "gui/backend/dpi.h"
#include "gui/backend/startup.h"
#include "host/gfx/text.h"
#include "host/win/sdl.h"

namespace nuv::gui {
namespace {

// In a fresh process of this binary, started with `display` as DISPLAY (none when null): what
// start-up must not have done, one bit each.
void expect_lazy_start(const char* display) {
    if (display) setenv("DISPLAY", display, 1);
    else unsetenv("DISPLAY");
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit((host::sdl::video_starts() != 0) | (host::gfx::font_map_starts() != 0) << 1 |
                          host::gfx::pango_loaded() << 2 | test::mapped("libSDL2") << 3 | test::mapped("libcairo") << 4 |
                          test::mapped("libpango") << 5 | !g_backend.started << 6 | (g_backend.default_font == 0) << 7),
                testing::ExitedWithCode(0), "")
        << "DISPLAY " << (display ? display : "unset");
}

TEST(GuiStartup, LoadsAndStartsNothing) {
    const char* kept = std::getenv("DISPLAY");
    const std::string saved = kept ? kept : "";
    expect_lazy_start(nullptr);
    expect_lazy_start(":0");
    if (kept) setenv("DISPLAY", saved.c_str(), 1);
    else unsetenv("DISPLAY");
}

TEST(GuiStartup, VersionFlagsTakeTheNewestPaths) {
    EXPECT_TRUE(g_backend.flags.win10);
    EXPECT_TRUE(g_backend.flags.win8);
    EXPECT_FALSE(g_backend.flags.pre_vista);
    EXPECT_TRUE(g_backend.flags.composition);
    EXPECT_FALSE(g_backend.system_dark);
    EXPECT_TRUE(support_dark_mode());
    host::gfx::LOGFONT font;
    ASSERT_TRUE(host::gfx::GetObject(g_backend.default_font, &font));
    EXPECT_EQ(font.lfFaceName, u"DejaVu Sans");
}

// The test displays as the environment gives them, put back afterwards.
struct Displays {
    explicit Displays(const char* screens, const char* dpi = nullptr) {
        set("NUV_TEST_SCREENS", screens);
        set("NUV_TEST_DPI", dpi);
        dpi::init_from_cursor();
    }
    ~Displays() {
        unsetenv("NUV_TEST_SCREENS");
        unsetenv("NUV_TEST_DPI");
        dpi::reset();
        dpi::init_from_cursor();
    }
    static void set(const char* name, const char* value) {
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
};

TEST(GuiDpi, ConversionsAtTheCurrentDpi) {
    const Displays displays(nullptr, "144");
    EXPECT_EQ(dpi::g_current.x, 144u);
    EXPECT_FLOAT_EQ(dpi::g_current.scale, 1.5f);
    const struct {
        float units, pixels;
    } rows[] = {{10, 15}, {10.5f, 16}, {0, 0}, {1, 2}, {0.3f, 0}, {-10, -14}};
    for (const auto& row : rows) EXPECT_EQ(dpi::to_pixels(row.units), row.pixels) << row.units;
    EXPECT_FLOAT_EQ(dpi::to_units(15), 10.0f);
    EXPECT_FLOAT_EQ(dpi::to_units(16), 10.666667f);
}

TEST(GuiDpi, TheDisplayUnderThePointerAndUnderARectangle) {
    const Displays displays("1000x800@96,1000x800@192+1000+0");
    EXPECT_EQ(dpi::g_current.x, 96u);  // the pointer is at the first display's corner
    // Mostly on the second display: its DPI, and the rectangle converted again at it still is.
    dpi::for_rectangle(900, 10, 400, 100);
    EXPECT_EQ(dpi::g_current.x, 192u);
    dpi::for_rectangle(10, 10, 100, 100);
    EXPECT_EQ(dpi::g_current.x, 96u);
}

TEST(GuiDpi, TheFourthChangeFallsBackToThePointersDisplay) {
    // At 96 and 144 the rectangle lies on the 192 display, at 192 on the 144 one: no round settles.
    const Displays displays("600x400@96,600x400@192+600+0,4000x400@144+1200+0");
    dpi::for_rectangle(700, 0, 10, 10);
    EXPECT_EQ(dpi::g_current.x, 96u);
    EXPECT_EQ(dpi::g_current.nesting, 0);
}

TEST(GuiDpi, NestedWindowDpisRestoreTheSavedOne) {
    const Displays displays(nullptr, "120");
    const uint32_t outer = dpi::enter_window(0);
    dpi::set_current(144);
    const uint32_t inner = dpi::enter_window(0);
    dpi::set_current(192);
    EXPECT_EQ(dpi::g_current.nesting, 2);
    dpi::leave_window(inner);
    EXPECT_EQ(dpi::g_current.x, 144u);
    dpi::leave_window(outer);
    EXPECT_EQ(dpi::g_current.x, 120u);
    EXPECT_EQ(dpi::g_current.nesting, 0);
}

}  // namespace
}  // namespace nuv::gui
