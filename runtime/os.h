// What the runtime asks of the operating system beyond memory: the platform step of start-up
// (the floating-point environment, the fatal-signal handlers, the console test, SIGPIPE), the
// process's current directory, sleeping, and the one way the process ends with a runtime error.
#pragma once
#include <cstdint>
#include <string>

namespace nuv::os {

// Whether this build runs under the address sanitizer.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kAddressSanitizer = true;
#else
inline constexpr bool kAddressSanitizer = false;
#endif
#else
inline constexpr bool kAddressSanitizer = false;
#endif

// Runs once per process before anything else of the runtime: the default floating-point
// environment (every exception masked, round to nearest), SIGPIPE ignored (a closed pipe is a
// failed write, which the writer answers, see output::fail_write), whether standard output is a terminal, and the
// handlers that turn SIGSEGV, SIGBUS, SIGILL and SIGFPE into runtime errors (below). Calling it
// again only gives the calling thread its alternate signal stack.
void init();
// Gives the calling thread an alternate stack for the fatal-signal handlers, and records it as
// the language thread, whose stack running over is runtime error 19.
void enter_language_thread();
bool console();  // standard output is a terminal
// Whether the runtime's handlers take every fault signal: in a sanitized build only when the
// sanitizer was told to leave them (it keeps its own, which report more).
bool handles_faults();

// The runtime errors of a fault or an unrecoverable state, and their texts.
const char* runtime_error_text(int code);
// Ends the process with the status, output flushed and the on-quit hook run first; output
// that cannot be written ends it with status 1 instead (output::fail_write).
[[noreturn]] void quit(int status);
// Ends the process with the status. A non-zero status first writes "*** Runtime Error N: text"
// and "*** at: " with the address in 16 hexadecimal digits to standard error. Output is flushed
// and the on-quit hook runs first. Safe to call from a signal handler.
[[noreturn]] void quit_with_status(int code, uintptr_t at = 0);
// The code that runs before the process ends through quit_with_status (nothing when null).
void set_on_quit(void (*hook)());

// The process's current directory, ending in "/"; empty when the system cannot tell it.
std::string current_dir();
// Changes the process's current directory; false when the system refuses.
bool set_current_dir(const char* path);

// The clock: the instant in whole seconds since 1970-01-01 UTC and the nanoseconds past it, and
// the local zone's offset from UTC in seconds at that instant.
struct Clock {
    int64_t seconds;
    int32_t nanoseconds;
    int32_t zone_offset;
};
Clock clock_now();

// Sleeps the seconds: times 1,000 in milliseconds, at least 1, truncated toward zero.
void sleep_seconds(double seconds);

}  // namespace nuv::os
