#include "host/dialogs/answers.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "host/dialogs/dialogs.h"
#include "host/win/sdl.h"

namespace nuv::host::dialogs::answers {

namespace {

// The answer file being read and the request log being written, each with the variable's value
// it was opened for.
struct Hook {
    std::string answers_path;
    std::ifstream answers;
    int line_number = 0;
    std::string line;  // the line taken last
    std::string requests_path;
    std::FILE* requests = nullptr;
};

Hook& hook() {
    static Hook* h = new Hook;
    return *h;
}

const char* env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Splits a line into words and "quoted" texts. `rest_at` (when not null) gets where the second
// token starts, for the verbs whose one argument is the rest of the line.
bool tokens(std::string_view line, std::vector<std::string>* out, size_t* rest_at, std::string* error) {
    size_t i = 0;
    while (true) {
        while (i < line.size() && is_blank(line[i])) ++i;
        if (i == line.size()) return true;
        if (out->size() == 1 && rest_at) *rest_at = i;
        std::string token;
        if (line[i] != '"') {
            while (i < line.size() && !is_blank(line[i])) token += line[i++];
            out->push_back(std::move(token));
            continue;
        }
        for (++i;; ++i) {
            if (i == line.size()) {
                *error = "a quoted text is not closed";
                return false;
            }
            const char c = line[i];
            if (c == '"') break;
            if (c != '\\') {
                token += c;
                continue;
            }
            if (++i == line.size()) {
                *error = "a quoted text is not closed";
                return false;
            }
            switch (line[i]) {
                case 'n': token += '\n'; break;
                case 'r': token += '\r'; break;
                case 't': token += '\t'; break;
                case '"':
                case '\\': token += line[i]; break;
                default: *error = std::string("unknown escape \\") + line[i]; return false;
            }
        }
        ++i;
        if (i < line.size() && !is_blank(line[i])) {
            *error = "a quoted text runs into the next";
            return false;
        }
        out->push_back(std::move(token));
    }
}

struct ButtonName {
    const char* word;
    int32_t id;
};
constexpr ButtonName kButtons[] = {{"ok", IDOK}, {"cancel", IDCANCEL}, {"yes", IDYES}, {"no", IDNO}};

bool is_offscreen_driver(const char* driver) {
    return driver && (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0);
}

}  // namespace

bool parse(std::string_view line, Answer* answer, std::string* error) {
    *answer = Answer{};
    std::vector<std::string> words;
    size_t rest_at = 0;
    if (!tokens(line, &words, &rest_at, error)) return false;
    if (words.empty()) {
        *error = "an empty line answers nothing";
        return false;
    }
    const std::string& verb = words[0];
    const size_t count = words.size() - 1;
    if (verb == "cancel") {
        if (count != 0) *error = "cancel takes nothing after it";
        return count == 0;
    }
    if (verb == "file" || verb == "dir") {
        answer->verb = verb == "file" ? Verb::File : Verb::Dir;
        if (count == 0) {
            *error = verb + " needs a path";
            return false;
        }
        // A path unquoted is the rest of the line, blanks inside it included.
        if (line[rest_at] == '"') {
            if (count != 1) {
                *error = verb + " takes one path";
                return false;
            }
            answer->path = words[1];
        } else {
            std::string_view rest = line.substr(rest_at);
            while (!rest.empty() && is_blank(rest.back())) rest.remove_suffix(1);
            answer->path = rest;
        }
        if (answer->path.empty()) *error = verb + " needs a path";
        return !answer->path.empty();
    }
    if (verb == "files") {
        answer->verb = Verb::Files;
        if (count < 2) {
            *error = "files needs a folder and at least one name";
            return false;
        }
        answer->path = words[1];
        answer->names.assign(words.begin() + 2, words.end());
        for (const std::string& name : answer->names)
            if (name.empty() || name.find('/') != std::string::npos) {
                *error = "a name of files is empty or holds a '/'";
                return false;
            }
        return true;
    }
    if (verb == "font") {
        answer->verb = Verb::Font;
        if (count < 2 || words[1].empty()) {
            *error = "font needs a family and a size";
            return false;
        }
        answer->family = words[1];
        if (!(answer->tenths = parse_tenths(words[2]))) {
            *error = "font size \"" + words[2] + "\" is not a number of points from 1 to 1000";
            return false;
        }
        for (size_t i = 3; i < words.size(); ++i) {
            bool& flag = words[i] == "bold" ? answer->bold : answer->italic;
            if ((words[i] != "bold" && words[i] != "italic") || flag) {
                *error = "font takes bold and italic once each, not \"" + words[i] + "\"";
                return false;
            }
            flag = true;
        }
        return true;
    }
    if (verb == "button") {
        answer->verb = Verb::Button;
        if (count == 1)
            for (const ButtonName& b : kButtons)
                if (words[1] == b.word) {
                    answer->button = b.id;
                    return true;
                }
        *error = "button takes one of ok, cancel, yes, no";
        return false;
    }
    *error = "unknown answer \"" + verb + "\"";
    return false;
}

bool has_display() {
    if (is_offscreen_driver(std::getenv("SDL_VIDEODRIVER"))) return false;
    if (sdl::video_running()) {
        const sdl::Library* sdl = sdl::library();
        if (is_offscreen_driver(sdl->current_video_driver())) return false;
    }
    return env("DISPLAY") || env("WAYLAND_DISPLAY");
}

Route route(Answer* answer) {
    if (const char* path = env("NUV_TEST_ANSWERS")) {
        Hook& h = hook();
        if (h.answers_path != path) {
            h.answers.close();
            h.answers.clear();
            h.answers.open(path);
            h.answers_path = path;
            h.line_number = 0;
            if (!h.answers)
                std::fprintf(stderr, "nuv: NUV_TEST_ANSWERS %s: cannot be read; every dialog is cancelled\n", path);
        }
        if (!h.answers.is_open()) return Route::Cancel;
        h.answers.clear();  // a file written to while we run is read on
        if (!std::getline(h.answers, h.line)) return Route::Cancel;
        ++h.line_number;
        if (!h.line.empty() && h.line.back() == '\r') h.line.pop_back();
        std::string error;
        if (parse(h.line, answer, &error)) return Route::Answer;
        std::fprintf(stderr, "nuv: NUV_TEST_ANSWERS %s:%d: %s; taken as no answer\n", path, h.line_number,
                     error.c_str());
        return Route::Cancel;
    }
    if (env("NUV_TEST_INPUT") || !has_display()) return Route::Cancel;
    return Route::Window;
}

void reject(const char* what) {
    const Hook& h = hook();
    std::fprintf(stderr, "nuv: NUV_TEST_ANSWERS %s:%d: \"%s\" does not answer %s; taken as no answer\n",
                 h.answers_path.c_str(), h.line_number, h.line.c_str(), what);
}

int32_t parse_tenths(std::string_view text) {
    int32_t whole = 0, tenth = 0;
    size_t i = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        whole = whole * 10 + (text[i] - '0');
        if (whole > kMaxFontPoints) return 0;
    }
    if (i == 0) return 0;
    if (i < text.size()) {
        if (text[i] != '.' || i + 2 != text.size() || text[i + 1] < '0' || text[i + 1] > '9') return 0;
        tenth = text[i + 1] - '0';
    }
    const int32_t tenths = whole * 10 + tenth;
    return tenths >= 10 && tenths <= kMaxFontPoints * 10 ? tenths : 0;
}

std::string tenths_text(int32_t tenths) {
    std::string text = std::to_string(tenths / 10);
    if (tenths % 10) text += "." + std::to_string(tenths % 10);
    return text;
}

void field(std::string* line, std::string_view text) {
    *line += " \"";
    for (const char c : text) {
        switch (c) {
            case '"': *line += "\\\""; break;
            case '\\': *line += "\\\\"; break;
            case '\n': *line += "\\n"; break;
            case '\r': *line += "\\r"; break;
            case '\t': *line += "\\t"; break;
            default: *line += c;
        }
    }
    *line += '"';
}

void log_request(const std::string& line) {
    const char* path = env("NUV_TEST_REQUESTS");
    if (!path) return;
    Hook& h = hook();
    if (h.requests_path != path) {
        if (h.requests) std::fclose(h.requests);
        h.requests = std::fopen(path, "a");
        h.requests_path = path;
        if (!h.requests) std::fprintf(stderr, "nuv: NUV_TEST_REQUESTS %s: cannot be written\n", path);
    }
    if (!h.requests) return;
    std::fputs(line.c_str(), h.requests);
    std::fputc('\n', h.requests);
    std::fflush(h.requests);
}

}  // namespace nuv::host::dialogs::answers
