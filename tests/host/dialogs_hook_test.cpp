// The dialogs under test: answers taken from NUV_TEST_ANSWERS, requests logged to
// NUV_TEST_REQUESTS, and every way a dialog answers at once instead of waiting for a person.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "host/dialogs/answers.h"
#include "host/dialogs/dialogs.h"
#include "host/utf.h"
#include "host/win/sdl.h"
#include "tests/temp_support.h"

namespace nuv::test::dialogs {
namespace {

using namespace nuv::host::dialogs;
namespace answers = nuv::host::dialogs::answers;
namespace gfx = nuv::host::gfx;
using nuv::host::utf16_of;

using nuv::test::temp_path;

std::vector<std::string> g_written;  // removed after each test

std::string write_file(const char* name, const std::string& text) {
    const std::string path = temp_path(name);
    g_written.push_back(path);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Each test starts with no hook, no replay and no display; what it sets is undone after it.
class DialogHook : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kVars) {
            const char* value = std::getenv(name);
            saved_.push_back(value ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const std::string& path : g_written) std::remove(path.c_str());
        g_written.clear();
        for (size_t i = 0; i < std::size(kVars); ++i)
            if (saved_[i]) setenv(kVars[i], saved_[i]->c_str(), 1);
            else unsetenv(kVars[i]);
    }
    // Answers the next dialogs from these lines (a new file each call).
    void answer(const std::string& lines) {
        setenv("NUV_TEST_ANSWERS", write_file(("answers" + std::to_string(++files_)).c_str(), lines).c_str(), 1);
    }
    static constexpr const char* kVars[] = {"NUV_TEST_ANSWERS", "NUV_TEST_REQUESTS", "NUV_TEST_INPUT", "DISPLAY",
                                            "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    std::vector<std::optional<std::string>> saved_;
    int files_ = 0;
};

// An open dialog over a buffer of `room` units that starts with `start`, and its answer.
struct FileCall {
    bool ok = false;
    std::u16string buffer;
    uint32_t error = 0;
};
FileCall open_file(uint32_t flags, std::u16string start = u"", size_t room = 512, bool save = false,
                   std::u16string_view filter = {}) {
    FileCall call;
    call.buffer.assign(room + 4, u'#');  // four units past the room show an overrun
    std::copy(start.begin(), start.end(), call.buffer.begin());
    call.buffer[start.size()] = u'\0';
    OPENFILENAME ofn;
    ofn.lpstrFile = call.buffer.data();
    ofn.nMaxFile = static_cast<uint32_t>(room);
    ofn.Flags = flags;
    ofn.lpstrFilter = filter;
    ofn.lpstrTitle = u"Pick";
    call.ok = save ? GetSaveFileName(&ofn) : GetOpenFileName(&ofn);
    call.error = CommDlgExtendedError();
    return call;
}

TEST_F(DialogHook, AnswerLinesReadOrAreRefused) {
    struct Row {
        const char* line;
        answers::Verb verb;
        const char* path;
        std::vector<std::string> names;
        const char* error;  // empty: the line reads
    };
    const Row rows[] = {
        {"file /home/u/a b.txt", answers::Verb::File, "/home/u/a b.txt", {}, ""},
        {"file \"/x/q\\\"uote\"", answers::Verb::File, "/x/q\"uote", {}, ""},
        {"dir /tmp/", answers::Verb::Dir, "/tmp/", {}, ""},
        {"files /d a.txt \"b c.txt\"", answers::Verb::Files, "/d", {"a.txt", "b c.txt"}, ""},
        {"cancel", answers::Verb::Cancel, "", {}, ""},
        {"button no", answers::Verb::Button, "", {}, ""},
        {"", answers::Verb::Cancel, "", {}, "an empty line answers nothing"},
        {"open /x", answers::Verb::Cancel, "", {}, "unknown answer \"open\""},
        {"file", answers::Verb::File, "", {}, "file needs a path"},
        {"file \"/a\" extra", answers::Verb::File, "", {}, "file takes one path"},
        {"files /d", answers::Verb::Files, "", {}, "files needs a folder and at least one name"},
        {"files /d sub/a.txt", answers::Verb::Files, "", {}, "a name of files is empty or holds a '/'"},
        {"cancel now", answers::Verb::Cancel, "", {}, "cancel takes nothing after it"},
        {"button maybe", answers::Verb::Button, "", {}, "button takes one of ok, cancel, yes, no"},
        {"file \"/open", answers::Verb::File, "", {}, "a quoted text is not closed"},
        {"file \"/a\"b", answers::Verb::File, "", {}, "a quoted text runs into the next"},
        {"font \"Mono\" 0", answers::Verb::Font, "", {}, "font size \"0\" is not a number of points from 1 to 1000"},
        {"font \"Mono\" 1001", answers::Verb::Font, "", {}, "font size \"1001\" is not a number of points from 1 to 1000"},
        {"font \"Mono\" 12pt", answers::Verb::Font, "", {}, "font size \"12pt\" is not a number of points from 1 to 1000"},
        {"font \"Mono\" 12 bold bold", answers::Verb::Font, "", {}, "font takes bold and italic once each, not \"bold\""},
        {"font \"Mono\" 12 heavy", answers::Verb::Font, "", {}, "font takes bold and italic once each, not \"heavy\""},
        {"font Mono", answers::Verb::Font, "", {}, "font needs a family and a size"},
    };
    for (const Row& row : rows) {
        answers::Answer a;
        std::string error;
        const bool read = answers::parse(row.line, &a, &error);
        EXPECT_EQ(read, !*row.error) << row.line;
        EXPECT_EQ(error, row.error) << row.line;
        if (!read) continue;
        EXPECT_EQ(a.verb, row.verb) << row.line;
        EXPECT_EQ(a.path, row.path) << row.line;
        EXPECT_EQ(a.names, row.names) << row.line;
    }
    answers::Answer font;
    std::string error;
    ASSERT_TRUE(answers::parse("font \"DejaVu Sans\" 10.5 italic bold", &font, &error));
    EXPECT_EQ(font.family, "DejaVu Sans");
    EXPECT_EQ(font.tenths, 105);
    EXPECT_TRUE(font.bold && font.italic);
    ASSERT_TRUE(answers::parse("button yes", &font, &error));
    EXPECT_EQ(font.button, IDYES);
}

TEST_F(DialogHook, FileAnswersFillTheBuffer) {
    struct Row {
        const char* line;
        uint32_t flags;
        std::u16string want;  // the buffer up to and with its last NUL; empty: cancelled
    };
    const Row rows[] = {
        {"files /data a.txt b.txt", OFN_ALLOWMULTISELECT, std::u16string(u"/data\0a.txt\0b.txt\0\0", 19)},
        {"files /data/ a.txt", OFN_ALLOWMULTISELECT, std::u16string(u"/data/a.txt\0\0", 13)},
        {"file /x/one.txt", OFN_ALLOWMULTISELECT, std::u16string(u"/x/one.txt\0\0", 12)},
        {"file /x/one.txt", 0, std::u16string(u"/x/one.txt\0", 11)},
        {"files /data a.txt", 0, std::u16string(u"/data/a.txt\0", 12)},
        {"files /data a.txt b.txt", 0, u""},  // one file asked, two given
        {"dir /data", 0, u""},
        {"font \"DejaVu Sans\" 12", 0, u""},
        {"cancel", OFN_ALLOWMULTISELECT, u""},
    };
    for (const Row& row : rows) {
        answer(std::string(row.line) + "\n");
        ::testing::internal::CaptureStderr();
        const FileCall call = open_file(row.flags, u"start.txt");
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(call.ok, !row.want.empty()) << row.line;
        EXPECT_EQ(call.error, 0u) << row.line;
        if (call.ok) {
            EXPECT_EQ(call.buffer.substr(0, row.want.size()), row.want) << row.line;
        } else {
            EXPECT_EQ(call.buffer.substr(0, 10), std::u16string(u"start.txt\0", 10)) << row.line;
        }
        // A line the dialog cannot take is said; cancel is said by nothing.
        const bool refused = !call.ok && std::string(row.line) != "cancel";
        EXPECT_EQ(err.find("does not answer a file dialog") != std::string::npos, refused) << row.line << err;
    }
}

TEST_F(DialogHook, AnswersRunOutIntoCancel) {
    answer("file /a\nfile /b\n");
    EXPECT_TRUE(open_file(0).ok);
    FileCall second = open_file(0);
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.buffer.substr(0, 3), std::u16string(u"/b\0", 3));
    ::testing::internal::CaptureStderr();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(open_file(0).ok);
    EXPECT_FALSE(SHBrowseForFolder(BROWSEINFO{}).has_value());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(dialog_counters().windows, 0);

    // Another file named: read from its start.
    answer("dir /tmp/x\n");
    EXPECT_EQ(SHBrowseForFolder(BROWSEINFO{}), std::u16string(u"/tmp/x"));

    setenv("NUV_TEST_ANSWERS", temp_path("missing").c_str(), 1);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(open_file(0).ok);
    EXPECT_FALSE(open_file(0).ok);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "nuv: NUV_TEST_ANSWERS " + temp_path("missing") + ": cannot be read; every dialog is cancelled\n");
}

TEST_F(DialogHook, ABadLineIsReportedWithItsPlaceAndCancels) {
    answer("file /a\nplease cancel\nfile /c\n");
    EXPECT_TRUE(open_file(0).ok);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(open_file(0).ok);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("answers1:2: unknown answer \"please\"; taken as no answer\n"), std::string::npos) << err;
    EXPECT_TRUE(open_file(0).ok);  // the next line is the next dialog's
}

// Nothing waits for a person: a replay without answers, or no display, cancels at once, and no
// window or screen is made for it even where a display is named.
TEST_F(DialogHook, WithoutAPersonEveryDialogAnswersAtOnce) {
    struct Row {
        const char* input;    // NUV_TEST_INPUT
        const char* display;  // DISPLAY
        const char* driver;   // SDL_VIDEODRIVER
    };
    const std::string input = write_file("input", "wait 10\n");
    const Row rows[] = {
        {input.c_str(), ":97", nullptr},  // a replay without answers, a display named
        {nullptr, nullptr, nullptr},      // no display
        {nullptr, ":97", "offscreen"},    // a display, but video drawn off screen
    };
    for (const Row& row : rows) {
        for (const auto& [name, value] : {std::pair{"NUV_TEST_INPUT", row.input}, std::pair{"DISPLAY", row.display},
                                          std::pair{"SDL_VIDEODRIVER", row.driver}})
            if (value) setenv(name, value, 1);
            else unsetenv(name);
        EXPECT_FALSE(open_file(OFN_ALLOWMULTISELECT).ok);
        EXPECT_FALSE(open_file(0, u"", 512, true).ok);
        EXPECT_FALSE(SHBrowseForFolder(BROWSEINFO{}).has_value());
        gfx::LOGFONT font;
        CHOOSEFONT cf;
        cf.lpLogFont = &font;
        EXPECT_FALSE(ChooseFont(&cf));
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBox(0, u"It broke", u"Nuv App Error", MB_OK | MB_ICONERROR | MB_TASKMODAL), IDOK);
        EXPECT_EQ(MessageBox(0, u"Sure?", u"Ask", MB_YESNO), IDYES);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Nuv App Error: It broke\nAsk: Sure?\n");
    }
    EXPECT_EQ(dialog_counters().windows, 0);
    EXPECT_EQ(dialog_counters().screen_boxes, 0);
    EXPECT_EQ(nuv::host::sdl::video_starts(), 0);
}

TEST_F(DialogHook, MessageBoxTakesItsButtonLine) {
    struct Row {
        uint32_t type;
        const char* line;  // null: the answers have run out
        int32_t want;
        bool refused;
    };
    const Row rows[] = {
        {MB_YESNO, "button no", IDNO, false},
        {MB_YESNOCANCEL, "button cancel", IDCANCEL, false},
        {MB_OKCANCEL, "cancel", IDCANCEL, false},
        {MB_OK, "cancel", IDOK, false},
        {MB_OKCANCEL, "button yes", IDOK, true},  // not one of its buttons: the first
        {MB_YESNO, "cancel", IDYES, true},        // it cannot be closed
        {MB_YESNO, "file /x", IDYES, true},
        {MB_YESNOCANCEL, nullptr, IDYES, false},
    };
    for (const Row& row : rows) {
        answer(row.line ? std::string(row.line) + "\n" : "");
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(MessageBox(0, u"Text", u"Title", row.type), row.want) << row.line;
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(err.rfind("Title: Text\n", 0), 0u) << err;
        EXPECT_EQ(err.find("does not answer this message box") != std::string::npos, row.refused) << err;
    }
    EXPECT_EQ(MessageBox(0, u"Text", u"Title", 2), 0);  // abort, retry, ignore: not offered
}

TEST_F(DialogHook, RequestsAreLoggedWithTheirFields) {
    const std::string log = write_file("requests", "");
    setenv("NUV_TEST_REQUESTS", log.c_str(), 1);
    answer("");
    const std::u16string filter(u"Text files\0*.txt\0All files\0*.*\0\0", 31);
    open_file(0, u"/home/u/notes \"a\".txt", 512, false, filter);
    open_file(OFN_ALLOWMULTISELECT, u"b.txt");
    open_file(0, u"/c.txt", 512, true);
    BROWSEINFO info;
    info.lpszTitle = u"Where?";
    info.lpszStartFolder = u"/srv";
    SHBrowseForFolder(info);
    gfx::LOGFONT font;
    font.lfFaceName = u"DejaVu Sans";
    font.lfHeight = -16;
    font.lfWeight = gfx::FW_BOLD;
    CHOOSEFONT cf;
    cf.lpLogFont = &font;
    cf.Flags = CF_INITTOLOGFONTSTRUCT | CF_FIXEDPITCHONLY;
    ChooseFont(&cf);
    ::testing::internal::CaptureStderr();
    MessageBox(0, u"line 1\nline 2", u"Q", MB_YESNOCANCEL);
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_file(log),
              "open \"Pick\" \"/home/u\" \"notes \\\"a\\\".txt\" \"Text files\" \"*.txt\" \"All files\" \"*.*\"\n"
              "open-multi \"Pick\" \"\" \"b.txt\"\n"
              "save \"Pick\" \"/\" \"c.txt\"\n"
              "dir \"Where?\" \"/srv\"\n"
              "font \"DejaVu Sans\" 12 bold fixed-pitch\n"
              "message \"Q\" \"line 1\\nline 2\" yes-no-cancel\n");
}

TEST_F(DialogHook, BadCallsFailWithTheirReason) {
    answer("file /a/very/long/path.txt\nfile /x\nfile /y\n");
    // The answer does not fit: nothing written past the room, the buffer as it was.
    const FileCall small = open_file(0, u"n", 8);
    EXPECT_FALSE(small.ok);
    EXPECT_EQ(small.error, FNERR_BUFFERTOOSMALL);
    EXPECT_EQ(small.buffer.substr(0, 2), std::u16string(u"n\0", 2));
    EXPECT_EQ(small.buffer.substr(8), u"####");

    const FileCall odd = open_file(0, u"", 64, false, std::u16string_view(u"Text\0*.txt\0Lonely\0", 18));
    EXPECT_FALSE(odd.ok);
    EXPECT_EQ(odd.error, CDERR_INITIALIZATION);

    char16_t unended[4] = {u'a', u'b', u'c', u'd'};
    OPENFILENAME ofn;
    ofn.lpstrFile = unended;
    ofn.nMaxFile = 4;
    EXPECT_FALSE(GetOpenFileName(&ofn));
    EXPECT_EQ(CommDlgExtendedError(), FNERR_INVALIDFILENAME);
    EXPECT_FALSE(GetOpenFileName(nullptr));
    CHOOSEFONT no_font;
    EXPECT_FALSE(ChooseFont(&no_font));
    // Refused calls took no answer: the next dialog gets /x.
    EXPECT_TRUE(open_file(0).ok);
}

TEST_F(DialogHook, FixedPitchOnlyOffersMonospacedFamilies) {
    const std::vector<FontFamily>& families = font_families();
    auto find = [&](std::u16string_view name) -> const FontFamily* {
        for (const FontFamily& f : families)
            if (f.name == name) return &f;
        return nullptr;
    };
    ASSERT_NE(find(u"DejaVu Sans Mono"), nullptr);
    ASSERT_NE(find(u"DejaVu Sans"), nullptr);
    EXPECT_TRUE(find(u"DejaVu Sans Mono")->fixed_pitch);
    EXPECT_FALSE(find(u"DejaVu Sans")->fixed_pitch);

    struct Row {
        const char* line;
        uint32_t flags;
        const char16_t* face;  // null: cancelled
    };
    const Row rows[] = {
        {"font \"dejavu sans mono\" 12 bold italic", CF_FIXEDPITCHONLY, u"DejaVu Sans Mono"},
        {"font \"DejaVu Sans\" 12", CF_FIXEDPITCHONLY, nullptr},
        {"font \"DejaVu Sans\" 12", 0, u"DejaVu Sans"},
        {"font \"No Such Family\" 12", 0, nullptr},
    };
    for (const Row& row : rows) {
        answer(std::string(row.line) + "\n");
        gfx::LOGFONT font;
        font.lfUnderline = 1;
        CHOOSEFONT cf;
        cf.lpLogFont = &font;
        cf.Flags = row.flags;
        ::testing::internal::CaptureStderr();
        const bool chosen = ChooseFont(&cf);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(chosen, row.face != nullptr) << row.line;
        EXPECT_EQ(err.empty(), chosen) << err;
        if (!chosen) continue;
        EXPECT_EQ(font.lfFaceName, row.face);
        EXPECT_EQ(cf.iPointSize, 120);
        EXPECT_EQ(font.lfHeight, -16);  // 12 points at 96 DPI
        EXPECT_EQ(font.lfUnderline, 1);  // fields the chooser does not offer stay
    }
    EXPECT_EQ(font_families().size(), families.size());
}

// Paths and families read as UTF-8 reach the dialogs' UTF-16 whole, or with U+FFFD in place of
// what is not UTF-8.
TEST(DialogTexts, Utf8ReadsAsUtf16) {
    EXPECT_EQ(utf16_of("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), u"a\u00e9\u20ac\U0001F600");
    EXPECT_EQ(utf16_of("a\xC3"), u"a\uFFFD");
    EXPECT_EQ(utf16_of("\xED\xA0\x80x"), u"\uFFFD\uFFFD\uFFFDx");  // an encoded surrogate
    EXPECT_EQ(utf16_of("\xC0\xAF"), u"\uFFFD\uFFFD");              // an overlong '/'
}

}  // namespace
}  // namespace nuv::test::dialogs
