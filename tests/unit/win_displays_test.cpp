// Displays, metrics and colours, with the test hooks standing in for SDL's displays; and SDL2's
// one video start, shared with the clipboard (in child processes, whose libraries and starts are
// their own).
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/maps_support.h"
#include "host/clipboard.h"
#include "host/win/displays.h"
#include "host/win/sdl.h"

namespace nuv::host::win {
namespace {

// Sets (or with nullptr unsets) an environment variable for the scope.
class Env {
public:
    Env(const char* name, const char* value) : name_(name) {
        const char* old = std::getenv(name);
        had_ = old != nullptr;
        if (had_) old_ = old;
        value ? setenv(name, value, 1) : unsetenv(name);
    }
    ~Env() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    bool had_;
    std::string old_;
};

uint32_t dpi_of(HMONITOR monitor) {
    uint32_t x = 0, y = 0;
    if (!GetDpiForMonitor(monitor, &x, &y)) return 0;
    EXPECT_EQ(x, y);
    return x;
}

std::vector<RECT> monitors() {
    std::vector<RECT> found;
    EnumDisplayMonitors(
        [](HMONITOR, const RECT& r, intptr_t data) {
            reinterpret_cast<std::vector<RECT>*>(data)->push_back(r);
            return true;
        },
        reinterpret_cast<intptr_t>(&found));
    return found;
}

TEST(WinDisplays, TestScreensStandInForSdls) {
    Env screens("NUV_TEST_SCREENS", "1920x1080@144,1280x1024@96+1920+0");
    Env dpi("NUV_TEST_DPI", nullptr);
    const int starts = sdl::video_starts();
    struct Row {
        POINT point;
        HMONITOR want;
    };
    const Row rows[] = {{{10, 10}, 1}, {{1919, 1079}, 1}, {{1920, 0}, 2}, {{5000, 500}, 2}, {{-100, -100}, 1}, {{2500, 1050}, 2}};
    for (const Row& row : rows) EXPECT_EQ(MonitorFromPoint(row.point), row.want) << row.point.x << "," << row.point.y;
    EXPECT_EQ(dpi_of(1), 144u);
    EXPECT_EQ(dpi_of(2), 96u);
    EXPECT_EQ(dpi_of(3), 0u);
    EXPECT_EQ(MonitorFromRect({1900, 0, 2100, 100}), 2u);
    EXPECT_EQ(MonitorFromRect({1800, 0, 1930, 100}), 1u);
    EXPECT_EQ(MonitorFromRect({3300, 2000, 3400, 2100}), 2u);
    const std::vector<RECT> found = monitors();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].left, 1920);
    EXPECT_EQ(found[1].bottom, 1024);
    EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), 1920);
    EXPECT_EQ(GetSystemMetrics(SM_CYSCREEN), 1080);
    EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), 24);  // 16 at the first display's 144
    EXPECT_EQ(sdl::video_starts(), starts);         // no display query started video
}

TEST(WinDisplays, BadTestScreensAreReportedAndIgnored) {
    Env dpi("NUV_TEST_DPI", "120");
    const char* bad[] = {"0x100", "100x", "100x100@", "100x100@0", "100x100+5", "100x100@96+1+2junk", "1920x1080,", "x"};
    for (const char* value : bad) {
        Env screens("NUV_TEST_SCREENS", value);
        testing::internal::CaptureStderr();
        EXPECT_EQ(dpi_of(MonitorFromPoint({0, 0})), 120u) << value;
        EXPECT_EQ(dpi_of(MonitorFromPoint({0, 0})), 120u) << value;  // reported once
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "nuv: NUV_TEST_SCREENS \"" + std::string(value) + "\" is not a list of WxH@DPI+X+Y; ignored\n");
    }
    Env screens("NUV_TEST_SCREENS", "800x600,640x480-640+0");  // each display's DPI from NUV_TEST_DPI
    EXPECT_EQ(MonitorFromPoint({-1, 0}), 2u);
    EXPECT_EQ(dpi_of(2), 120u);
    EXPECT_EQ(GetSystemMetrics(SM_CYHSCROLL), 20);
    Env bad_dpi("NUV_TEST_DPI", "12x");
    testing::internal::CaptureStderr();
    EXPECT_EQ(dpi_of(2), 96u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "nuv: NUV_TEST_DPI \"12x\" is not a number of dots per inch; 96 is used\n");
}

TEST(WinDisplays, SystemColors) {
    EXPECT_EQ(GetSysColor(COLOR_WINDOWTEXT), 0x000000u);
    EXPECT_EQ(GetSysColor(COLOR_WINDOW), 0xFFFFFFu);
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), 0xF0F0F0u);
}

// Runs `check` in a fresh process (this binary run again for this one test) and expects it to
// end with status 0.
template <typename F>
void in_child(F check) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(std::exit(check()), testing::ExitedWithCode(0), "");
}

TEST(WinDisplays, WithNoHookNothingIsLoaded) {
    in_child([] {
        unsetenv("NUV_TEST_SCREENS");
        unsetenv("NUV_TEST_DPI");
        const HMONITOR monitor = MonitorFromPoint({0, 0});
        POINT cursor{-1, -1};
        GetCursorPos(&cursor);
        const bool ok = monitor == 1 && dpi_of(monitor) == 96 && GetSystemMetrics(SM_CXVSCROLL) == 16 &&
                        cursor.x == 0 && cursor.y == 0 && !test::mapped("libSDL2") && !test::mapped("libcairo") &&
                        sdl::video_starts() == 0;
        return ok ? 0 : 1;
    });
}

TEST(WinDisplays, ClipboardAndDisplaysShareOneVideoStart) {
    in_child([] {
        setenv("SDL_VIDEODRIVER", "offscreen", 1);
        unsetenv("NUV_TEST_SCREENS");
        int failures = sdl::video_starts() != 0;
        failures += !clipboard::write_text("shared");
        failures += sdl::video_starts() != 1;
        failures += monitors().empty();
        failures += GetSystemMetrics(SM_CXSCREEN) <= 0;
        std::string text;
        failures += !clipboard::read_text(&text) || text != "shared";
        failures += sdl::video_starts() != 1;
        return failures;
    });
}

}  // namespace
}  // namespace nuv::host::win
