// The answer hook of the dialogs and what decides whether a dialog opens at all. With
// NUV_TEST_ANSWERS=FILE each dialog or message box takes the file's next line:
//   file P | files DIR NAME... | dir P | font "FAMILY" SIZE [bold] [italic] | cancel |
//   button ok|cancel|yes|no
// (a word, or a "quoted" text with \" \\ \n \r \t escapes). NUV_TEST_REQUESTS=FILE gets a line per
// dialog opened, its fields in the same quoting. Bad lines are reported on stderr and answered
// as cancel. The files are opened at the first dialog, anew when the variable's value changes.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nuv::host::dialogs::answers {

enum class Verb : uint8_t { Cancel, File, Files, Dir, Font, Button };

struct Answer {
    Verb verb = Verb::Cancel;
    std::string path;                // file, dir; files: the folder
    std::vector<std::string> names;  // files
    std::string family;              // font
    int32_t tenths = 0;              // font: the size in tenths of a point
    bool bold = false, italic = false;
    int32_t button = 0;  // IDOK, IDCANCEL, IDYES or IDNO
};

// Reads one answer line; false with a message saying what is wrong.
bool parse(std::string_view line, Answer* answer, std::string* error);

// What a dialog does now.
enum class Route : uint8_t {
    Answer,  // the hook gave the line read into *answer
    Cancel,  // answer at once: the hook ran dry or gave a bad line, a replay runs, or no display
    Window,  // open the dialog for a person
};
Route route(Answer* answer);

// Reports on stderr that the line just taken does not answer this kind of dialog (`what`, e.g.
// "a file dialog").
void reject(const char* what);

// "12" or "10.5" points as tenths of a point, 1 to kMaxFontPoints points; 0 for anything else.
int32_t parse_tenths(std::string_view text);
std::string tenths_text(int32_t tenths);

// Appends a request line (kind and fields, as written by `field`) to NUV_TEST_REQUESTS.
void log_request(const std::string& line);
// Appends ` "text"` quoted to a line.
void field(std::string* line, std::string_view text);

// Whether the dialogs have a screen to show on: a display is named and the video driver (chosen
// or running) is not an offscreen one.
bool has_display();

}  // namespace nuv::host::dialogs::answers
