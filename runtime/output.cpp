// The two hook lists and the runtime's text writer.
#include "runtime/output.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "runtime/datatypes/string.h"
#include "runtime/memory.h"

namespace nuv::output {

namespace {

constexpr int32_t kRoomStep = 5;  // the initial room, and what a full list grows by

template <class F>
struct HookList {
    F* items = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    void init() {
        items = static_cast<F*>(memory::tracked_alloc(kRoomStep * sizeof(F)));
        count = 0;
        capacity = kRoomStep;
    }
    void add(F hook) {
        if (!hook) return;
        if (count == capacity) {
            auto* grown = static_cast<F*>(memory::tracked_alloc((capacity + kRoomStep) * sizeof(F)));
            std::memcpy(grown, items, count * sizeof(F));
            memory::tracked_free(items);
            items = grown;
            capacity += kRoomStep;
        }
        items[count++] = hook;
    }
    void remove(F hook) {
        if (!hook) return;
        for (int32_t i = 0; i < count; i++) {
            if (items[i] != hook) continue;
            std::memmove(items + i, items + i + 1, (count - i - 1) * sizeof(F));
            count--;
            return;
        }
    }
    // A hook may add or remove hooks while it runs: the list is re-read at every step.
    template <class... Args>
    void call(Args... args) const {
        for (int32_t i = 0; i < count; i++) items[i](args...);
    }
    ListState state() const { return {count, capacity}; }
};

HookList<ValueHook> g_value_hooks;
HookList<TextHook> g_text_hooks;
bool g_ready = false;
bool g_last_new_line = true;

}  // namespace

void init() {
    g_value_hooks.init();
    g_text_hooks.init();
    g_ready = true;
    g_last_new_line = true;
}

bool is_ready() { return g_ready; }

void add(ValueHook value_hook, TextHook text_hook) {
    if (!g_ready) init();
    g_value_hooks.add(value_hook);
    g_text_hooks.add(text_hook);
}

void remove(ValueHook value_hook, TextHook text_hook) {
    if (!g_ready) return;
    g_value_hooks.remove(value_hook);
    g_text_hooks.remove(text_hook);
}

void call_value(const Cell* value, bool new_line) {
    if (g_ready) g_value_hooks.call(value, new_line);
}

void call_text(const char* text, size_t length, int32_t encoding) {
    if (g_ready) g_text_hooks.call(text, length, encoding);
}

void write_text(const char* text, size_t length) {
    write_stdout(text, length);
    call_text(text, length, string::kUtf8);
}

void write_stdout(const char* bytes, size_t length) {
    if (std::fwrite(bytes, 1, length, stdout) != length) fail_write(errno);
}

void flush() {
    if (std::fflush(stdout) != 0) fail_write(errno);
}

void fail_write(int error) {
    if (error != EPIPE) {
        std::fprintf(stderr, "%s: cannot write standard output: %s\n", program_invocation_short_name,
                     std::strerror(error));
        std::fflush(stderr);
    }
    _exit(1);
}

bool last_new_line() { return g_last_new_line; }
void set_last_new_line(bool new_line) { g_last_new_line = new_line; }

const char* build_date() {
    // From the compiler's "Nov 19 2026" and "08:18:49": day, month, year, then the hour
    // without its leading zero.
    static char text[32];
    if (!text[0]) {
        const char* date = __DATE__;
        const char* time = __TIME__;
        int day = (date[4] == ' ' ? 0 : date[4] - '0') * 10 + (date[5] - '0');
        int hour = (time[0] - '0') * 10 + (time[1] - '0');
        std::snprintf(text, sizeof text, "%d-%.3s-%.4s/%d:%.5s", day, date, date + 7, hour,
                      time + 3);
    }
    return text;
}

ListState value_hooks() { return g_value_hooks.state(); }
ListState text_hooks() { return g_text_hooks.state(); }

}  // namespace nuv::output
