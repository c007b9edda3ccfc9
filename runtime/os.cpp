// The platform layer over Linux. The fatal-signal handlers run on an alternate stack, so that a
// language thread whose stack ran over can still report; they only write and exit.
#include "runtime/os.h"

#include <fenv.h>
#include <pthread.h>
#include <signal.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/output.h"

namespace nuv::os {

namespace {

bool g_console = false;
bool g_started = false;
bool g_handles_faults = false;
void (*g_on_quit)() = nullptr;
// The language thread's stack: a fault just below its lowest address is the stack running over.
uintptr_t g_stack_low = 0;
constexpr size_t kAltStack = 64 * 1024;

struct RuntimeError {
    int code;
    const char* text;
};
// The texts stay as written: they are what a report of the fault has always said.
constexpr RuntimeError kRuntimeErrors[] = {
    {1, "access violation"},          {2, "invalid alignment"},
    {3, "breakpoint"},                {4, "single step"},
    {5, "bounds exceeded"},           {6, "float denormal operan"},
    {7, "float divide by zero"},      {8, "float inexact result"},
    {9, "float invalid operation"},   {10, "float overflow"},
    {11, "float stack check"},        {12, "float underflow"},
    {13, "integer divide by zero"},   {14, "integer overflow"},
    {15, "privileged instruction"},   {16, "invalid virtual address"},
    {17, "illegal instruction"},      {18, "non-continuable exception"},
    {19, "stack error or overflow"},  {20, "invalid disposition"},
    {21, "guard page"},               {22, "invalid handle"},
    {23, "illegal operand"},          {24, "illegal addressing mode"},
    {25, "illegal trap"},             {26, "coprocessor error"},
    {27, "non-existent physical address"},
    {28, "object specific hardware error"},
    {29, "hardware memory error consumed AR"},
    {30, "hardware memory error consumed AO"},
    {31, "privileged register"},      {32, "segmentation fault"},
    {33, "FPU error"},                {34, "Bus error"},
    {94, "out of memory"},            {95, "no CATCH for THROW"},
    {98, "assertion failed"},         {99, "unknown error"},
    {100, "no value matched in CASE"}, {101, "no value matched in SWITCH"},
};

// Appends the text at `at` of the buffer (async-signal-safe).
size_t put(char* buffer, size_t at, const char* text) {
    while (*text && at < 255) buffer[at++] = *text++;
    return at;
}

size_t put_decimal(char* buffer, size_t at, int value) {
    char digits[12];
    int n = 0;
    unsigned v = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do digits[n++] = static_cast<char>('0' + v % 10);
    while ((v /= 10) != 0);
    if (value < 0 && at < 255) buffer[at++] = '-';
    while (n > 0 && at < 255) buffer[at++] = digits[--n];
    return at;
}

[[noreturn]] void finish(int code, uintptr_t at, bool from_signal);

int fpe_code(int si_code) {
    switch (si_code) {
    case FPE_INTDIV: return 13;
    case FPE_INTOVF: return 14;
    case FPE_FLTDIV: return 7;
    case FPE_FLTRES: return 8;
    case FPE_FLTINV: return 9;
    case FPE_FLTOVF: return 10;
    case FPE_FLTUND: return 12;
    default: return 33;
    }
}

void on_fatal_signal(int signal, siginfo_t* info, void* context) {
    int code = 33;
    const auto fault = reinterpret_cast<uintptr_t>(info->si_addr);
    switch (signal) {
    case SIGSEGV:
        // A fault in the guard area below the language thread's stack is that stack running over.
        code = g_stack_low && fault < g_stack_low + 4096 && fault + (1u << 20) >= g_stack_low ? 19 : 32;
        break;
    case SIGBUS: code = 34; break;
    case SIGILL: code = 17; break;
    case SIGFPE: code = fpe_code(info->si_code); break;
    default: break;
    }
    uintptr_t at = 0;
#if defined(__x86_64__)
    at = static_cast<uintptr_t>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#else
    (void)context;
#endif
    finish(code, at, true);
}

}  // namespace

void enter_language_thread() {
    // The alternate stack lives as long as the thread may fault: it is never freed.
    static thread_local void* alt = nullptr;
    if (!alt && !kAddressSanitizer) {  // a sanitized build keeps the sanitizer's own stack
        alt = std::malloc(kAltStack);
        if (alt) {
            stack_t ss{};
            ss.ss_sp = alt;
            ss.ss_size = kAltStack;
            sigaltstack(&ss, nullptr);
        }
    }
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) == 0) {
        void* low = nullptr;
        size_t size = 0;
        if (pthread_attr_getstack(&attr, &low, &size) == 0) {
            g_stack_low = reinterpret_cast<uintptr_t>(low);
        }
        pthread_attr_destroy(&attr);
    }
}

void init() {
    enter_language_thread();
    if (g_started) return;
    g_started = true;
    fesetenv(FE_DFL_ENV);
    signal(SIGPIPE, SIG_IGN);
    g_console = isatty(STDOUT_FILENO) == 1;
    struct sigaction action {};
    action.sa_sigaction = on_fatal_signal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    g_handles_faults = true;
    for (int s : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) {
        // A sanitized build keeps the sanitizer's own handler of a signal, whose report says more;
        // the signals it was told to leave alone are the runtime's.
        struct sigaction current {};
        if (kAddressSanitizer && sigaction(s, nullptr, &current) == 0 &&
            ((current.sa_flags & SA_SIGINFO) || current.sa_handler != SIG_DFL)) {
            g_handles_faults = false;
            continue;
        }
        sigaction(s, &action, nullptr);
    }
}

bool console() { return g_console; }
bool handles_faults() { return g_handles_faults; }

const char* runtime_error_text(int code) {
    for (const RuntimeError& e : kRuntimeErrors)
        if (e.code == code) return e.text;
    return "unknown error code!";
}

void set_on_quit(void (*hook)()) { g_on_quit = hook; }

void quit_with_status(int code, uintptr_t at) { finish(code, at, false); }

void quit(int status) {
    output::flush();
    std::fflush(stderr);
    if (g_on_quit) g_on_quit();
    _exit(status);
}

namespace {

// A signal may have stopped the program inside the output library, so from a handler only the
// system's own write is used.
void finish(int code, uintptr_t at, bool from_signal) {
    if (!from_signal) {
        // A runtime error's own report matters more than output that cannot be written.
        if (code == 0) output::flush();
        else std::fflush(stdout);
        std::fflush(stderr);
    }
    if (code != 0) {
        char line[256];
        size_t n = put(line, 0, "*** Runtime Error ");
        n = put_decimal(line, n, code);
        n = put(line, n, ": ");
        n = put(line, n, runtime_error_text(code));
        n = put(line, n, "\n*** at: ");
        for (int shift = 60; shift >= 0; shift -= 4) line[n++] = "0123456789ABCDEF"[(at >> shift) & 15];
        n = put(line, n, "h\n");
        ssize_t written = write(STDERR_FILENO, line, n);
        (void)written;
    }
    if (g_on_quit) g_on_quit();
    _exit(code);
}

}  // namespace

std::string current_dir() {
    std::string path(256, '\0');
    while (!getcwd(path.data(), path.size())) {
        if (errno != ERANGE || path.size() > (1u << 20)) return {};
        path.resize(path.size() * 2);
    }
    path.resize(std::strlen(path.c_str()));
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

bool set_current_dir(const char* path) { return chdir(path) == 0; }

Clock clock_now() {
    timespec clock{};
    clock_gettime(CLOCK_REALTIME, &clock);
    tm local{};
    localtime_r(&clock.tv_sec, &local);
    return {static_cast<int64_t>(clock.tv_sec), static_cast<int32_t>(clock.tv_nsec),
            static_cast<int32_t>(local.tm_gmtoff)};
}

void sleep_seconds(double seconds) {
    double ms = seconds * 1000.0;
    if (!(ms >= 1.0)) ms = 1.0;
    if (ms > 9.0e15) ms = 9.0e15;
    const auto whole = static_cast<long long>(ms);
    timespec wait{static_cast<time_t>(whole / 1000), static_cast<long>((whole % 1000) * 1000000)};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

}  // namespace nuv::os
