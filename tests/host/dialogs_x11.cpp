// The dialogs under a real X server (run under xvfb-run with NUV_TEST_ANSWERS an empty file):
// with a display there, a file dialog and a message box still answer at once, since the hook has
// nothing to give; without the hook the same display would open them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialogs.h"

namespace nuv::test::dialogs {
namespace {

using namespace nuv::host::dialogs;

TEST(DialogsX11, AnEmptyAnswerFileAnswersAtOnce) {
    ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
    ASSERT_NE(std::getenv("NUV_TEST_ANSWERS"), nullptr) << "run with NUV_TEST_ANSWERS an empty file";
    ASSERT_TRUE(answers::has_display());

    char16_t buffer[260] = u"start.txt";
    OPENFILENAME ofn;
    ofn.lpstrFile = buffer;
    ofn.nMaxFile = 260;
    ofn.Flags = OFN_ALLOWMULTISELECT;
    EXPECT_FALSE(GetOpenFileName(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), 0u);
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBox(0, u"Gone wrong", u"Nuv App Error", MB_OK | MB_ICONERROR | MB_TASKMODAL), IDOK);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Nuv App Error: Gone wrong\n");
    EXPECT_EQ(dialog_counters().windows, 0);
    EXPECT_EQ(dialog_counters().screen_boxes, 0);

    // The hook alone kept them from the screen.
    const std::string answers = std::getenv("NUV_TEST_ANSWERS");
    unsetenv("NUV_TEST_ANSWERS");
    answers::Answer answer;
    EXPECT_EQ(answers::route(&answer), answers::Route::Window);
    setenv("NUV_TEST_ANSWERS", answers.c_str(), 1);
}

}  // namespace
}  // namespace nuv::test::dialogs
