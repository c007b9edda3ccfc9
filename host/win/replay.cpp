#include "host/win/replay.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace nuv::host::win {

namespace {

// A step's word and what follows it: B a button, N a number, T the rest of the line (text, a
// key, a file); words are separated by spaces.
struct Form {
    const char* word;
    StepKind kind;
    const char* args;
    const char* usage;
};
constexpr Form kForms[] = {
    {"key", StepKind::Key, "T", "key [ctrl+][shift+][alt+]NAME"},
    {"text", StepKind::Text, "T", "text TEXT"},
    {"move", StepKind::Move, "NN", "move X Y"},
    {"down", StepKind::Down, "BNN", "down BUTTON X Y"},
    {"up", StepKind::Up, "BNN", "up BUTTON X Y"},
    {"click", StepKind::Click, "BNN", "click BUTTON X Y"},
    {"dblclick", StepKind::DoubleClick, "NN", "dblclick X Y"},
    {"wheel", StepKind::Wheel, "NNN", "wheel N X Y"},
    {"resize", StepKind::Resize, "NN", "resize W H"},
    {"close", StepKind::Close, "", "close"},
    {"wait", StepKind::Wait, "N", "wait MS"},
    {"snapshot", StepKind::Snapshot, "T", "snapshot FILE.png"},
};

struct ButtonName {
    const char* name;
    uint8_t button;
};
constexpr ButtonName kButtonNames[] = {{"left", SDL_BUTTON_LEFT}, {"middle", SDL_BUTTON_MIDDLE}, {"right", SDL_BUTTON_RIGHT}};

struct ModifierName {
    std::string_view prefix;
    uint16_t mod;
    SDL_Scancode key;
};
constexpr ModifierName kModifiers[] = {{"ctrl+", KMOD_LCTRL, SDL_SCANCODE_LCTRL},
                                       {"shift+", KMOD_LSHIFT, SDL_SCANCODE_LSHIFT},
                                       {"alt+", KMOD_LALT, SDL_SCANCODE_LALT}};

bool starts_with_folded(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

std::string_view next_word(std::string_view* rest) {
    while (!rest->empty() && rest->front() == ' ') rest->remove_prefix(1);
    const size_t end = std::min(rest->find(' '), rest->size());
    std::string_view word = rest->substr(0, end);
    rest->remove_prefix(end);
    return word;
}

// Reads the step's arguments by its form; false when they do not fit it.
bool read_args(const Form& form, std::string_view rest, Step* step) {
    int32_t numbers[3] = {};
    int count = 0;
    for (const char* a = form.args; *a; ++a) {
        if (*a == 'T') {
            // Text keeps its spaces but the one after the word; names and files lose them all.
            if (step->kind == StepKind::Text && !rest.empty()) rest.remove_prefix(1);
            else while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
            if (rest.empty()) return false;
            step->text = rest;
            return true;
        }
        std::string_view word = next_word(&rest);
        if (*a == 'B') {
            step->button = 0;
            for (const ButtonName& b : kButtonNames)
                if (word == b.name) step->button = b.button;
            if (!step->button) return false;
            continue;
        }
        auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), numbers[count]);
        if (word.empty() || ec != std::errc() || end != word.data() + word.size()) return false;
        ++count;
    }
    if (!next_word(&rest).empty()) return false;
    switch (step->kind) {
    case StepKind::Wheel:
        step->amount = numbers[0];
        step->x = numbers[1];
        step->y = numbers[2];
        return numbers[0] != 0;
    case StepKind::Wait: step->amount = numbers[0]; return numbers[0] >= 0;
    case StepKind::Resize:
        step->x = numbers[0];
        step->y = numbers[1];
        return numbers[0] > 0 && numbers[1] > 0;
    default:
        step->x = numbers[0];
        step->y = numbers[1];
        return true;
    }
}

// The key of a Key step: its modifiers, then the key's name.
bool read_key(Step* step, std::string* problem) {
    std::string_view spec = step->text;
    for (bool more = true; more;) {
        more = false;
        for (const ModifierName& m : kModifiers) {
            if (spec.size() > m.prefix.size() && starts_with_folded(spec, m.prefix)) {
                step->mods |= m.mod;
                spec.remove_prefix(m.prefix.size());
                more = true;
            }
        }
    }
    if (key_by_name(spec, &step->key)) return true;
    *problem = "no key is named \"" + std::string(spec) + "\"";
    return false;
}

SDL_Event key_event(uint32_t type, SDL_Scancode sc, SDL_Keycode sym, uint16_t mods, uint32_t window, uint32_t time) {
    SDL_Event e{};
    e.key.type = type;
    e.key.timestamp = time;
    e.key.windowID = window;
    e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
    e.key.keysym.scancode = sc;
    e.key.keysym.sym = sym;
    e.key.keysym.mod = mods;
    return e;
}

// Appends text events, each holding at most what SDL's event holds, cut between characters.
void text_events(std::string_view text, uint32_t window, uint32_t time, std::vector<SDL_Event>* out) {
    while (!text.empty()) {
        size_t size = std::min(text.size(), sizeof(SDL_TextInputEvent::text) - 1);
        while (size < text.size() && (static_cast<unsigned char>(text[size]) & 0xC0) == 0x80) --size;
        SDL_Event e{};
        e.text.type = SDL_TEXTINPUT;
        e.text.timestamp = time;
        e.text.windowID = window;
        text.copy(e.text.text, size);
        out->push_back(e);
        text.remove_prefix(size);
    }
}

SDL_Event button_event(bool down, uint8_t button, uint8_t clicks, const Step& step, uint32_t window, uint32_t time) {
    SDL_Event e{};
    e.button.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    e.button.timestamp = time;
    e.button.windowID = window;
    e.button.button = button;
    e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
    e.button.clicks = clicks;
    e.button.x = step.x;
    e.button.y = step.y;
    return e;
}

SDL_Event window_event(SDL_WindowEventID id, int32_t w, int32_t h, uint32_t window, uint32_t time) {
    SDL_Event e{};
    e.window.type = SDL_WINDOWEVENT;
    e.window.timestamp = time;
    e.window.windowID = window;
    e.window.event = static_cast<uint8_t>(id);
    e.window.data1 = w;
    e.window.data2 = h;
    return e;
}

}  // namespace

Script parse_script(std::string_view text, std::string_view name) {
    Script script;
    int line = 0;
    while (!text.empty()) {
        ++line;
        const size_t end = std::min(text.find('\n'), text.size());
        std::string_view row = text.substr(0, end);
        text.remove_prefix(std::min(end + 1, text.size()));
        if (!row.empty() && row.back() == '\r') row.remove_suffix(1);
        std::string_view rest = row;
        const std::string_view word = next_word(&rest);
        if (word.empty()) continue;
        const Form* form = nullptr;
        for (const Form& f : kForms)
            if (word == f.word) form = &f;
        Step step{form ? form->kind : StepKind::Close, line};
        std::string problem;
        if (!form) problem = "unknown step \"" + std::string(word) + "\"";
        else if (!read_args(*form, rest, &step)) problem = "\"" + std::string(row) + "\" should read: " + form->usage;
        else if (step.kind == StepKind::Key) read_key(&step, &problem);
        if (!problem.empty()) {
            script.error = std::string(name) + ":" + std::to_string(line) + ": " + problem;
            break;
        }
        script.steps.push_back(std::move(step));
    }
    return script;
}

Script load_script(const char* path) {
    std::ifstream file(path, std::ios::binary);
    Script script;
    if (!file) {
        script.error = std::string(path) + ": cannot be read";
    } else {
        std::ostringstream text;
        text << file.rdbuf();
        script = parse_script(text.str(), path);
    }
    if (!script.error.empty()) std::fprintf(stderr, "nuv: NUV_TEST_INPUT %s; the replay ends there\n", script.error.c_str());
    return script;
}

void step_events(const Step& step, uint32_t window, uint32_t time, uint32_t* buttons, std::vector<SDL_Event>* out) {
    switch (step.kind) {
    case StepKind::Key: {
        uint16_t mods = 0;
        for (const ModifierName& m : kModifiers) {
            if (!(step.mods & m.mod)) continue;
            mods |= m.mod;
            out->push_back(key_event(SDL_KEYDOWN, m.key, SDL_SCANCODE_TO_KEYCODE(m.key), mods, window, time));
        }
        out->push_back(key_event(SDL_KEYDOWN, step.key.scancode, step.key.keycode, mods, window, time));
        const char16_t typed = mods & KMOD_SHIFT ? step.key.shifted : step.key.plain;
        if (!(mods & KMOD_CTRL) && typed >= ' ' && typed < 0x7F) {
            const char text[2] = {static_cast<char>(typed), 0};
            text_events(text, window, time, out);
        }
        out->push_back(key_event(SDL_KEYUP, step.key.scancode, step.key.keycode, mods, window, time));
        for (auto m = std::rbegin(kModifiers); m != std::rend(kModifiers); ++m) {
            if (!(step.mods & m->mod)) continue;
            mods &= ~m->mod;
            out->push_back(key_event(SDL_KEYUP, m->key, SDL_SCANCODE_TO_KEYCODE(m->key), mods, window, time));
        }
        return;
    }
    case StepKind::Text: text_events(step.text, window, time, out); return;
    case StepKind::Move: {
        SDL_Event e{};
        e.motion.type = SDL_MOUSEMOTION;
        e.motion.timestamp = time;
        e.motion.windowID = window;
        e.motion.state = *buttons;
        e.motion.x = step.x;
        e.motion.y = step.y;
        out->push_back(e);
        return;
    }
    case StepKind::Down:
    case StepKind::Up:
    case StepKind::Click:
        if (step.kind != StepKind::Up) {
            *buttons |= SDL_BUTTON(step.button);
            out->push_back(button_event(true, step.button, 1, step, window, time));
        }
        if (step.kind != StepKind::Down) {
            *buttons &= ~SDL_BUTTON(step.button);
            out->push_back(button_event(false, step.button, 1, step, window, time));
        }
        return;
    case StepKind::DoubleClick:
        for (uint8_t clicks : {1, 2}) {
            out->push_back(button_event(true, SDL_BUTTON_LEFT, clicks, step, window, time));
            out->push_back(button_event(false, SDL_BUTTON_LEFT, clicks, step, window, time));
        }
        return;
    case StepKind::Wheel: {
        SDL_Event e{};
        e.wheel.type = SDL_MOUSEWHEEL;
        e.wheel.timestamp = time;
        e.wheel.windowID = window;
        e.wheel.y = step.amount;
        e.wheel.preciseY = static_cast<float>(step.amount);
        e.wheel.direction = SDL_MOUSEWHEEL_NORMAL;
        e.wheel.mouseX = step.x;
        e.wheel.mouseY = step.y;
        out->push_back(e);
        return;
    }
    case StepKind::Resize: out->push_back(window_event(SDL_WINDOWEVENT_RESIZED, step.x, step.y, window, time)); return;
    case StepKind::Close: out->push_back(window_event(SDL_WINDOWEVENT_CLOSE, 0, 0, window, time)); return;
    case StepKind::Wait:
    case StepKind::Snapshot: return;
    }
}

}  // namespace nuv::host::win
