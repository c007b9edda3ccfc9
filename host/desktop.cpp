#include "host/desktop.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace nuv::host::desktop {

namespace {

constexpr char kOpener[] = "xdg-open";

// The first executable regular file named kOpener in a PATH directory (an empty entry is the
// current directory); empty when there is none.
std::string find_opener() {
    const char* path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        std::string candidate = end == start ? "." : dirs.substr(start, end - start);
        candidate += '/';
        candidate += kOpener;
        struct stat info;
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

}  // namespace

bool open(const char* target) {
    const std::string program = find_opener();
    if (program.empty()) return false;
    char* const argv[] = {const_cast<char*>(kOpener), const_cast<char*>(target), nullptr};
    // Between fork and exec only async-signal-safe calls: the strings are made above.
    const pid_t child = fork();
    if (child < 0) return false;
    if (child == 0) {
        setsid();
        const pid_t opener = fork();
        if (opener != 0) _exit(opener < 0 ? 127 : 0);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
        }
        syscall(SYS_close_range, 3u, ~0u, 0u);  // the caller's other files stay the caller's
        execve(program.c_str(), argv, environ);
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return true;  // children are reaped elsewhere (SIGCHLD ignored)
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace nuv::host::desktop
