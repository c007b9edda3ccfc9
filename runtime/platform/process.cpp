#include "runtime/platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/platform/files.h"
#include "runtime/stack.h"
#include "runtime/support.h"

extern char** environ;

namespace nuv::process {

namespace {

using T = TypeId;

// The words of a command: split at blanks and tabs, a pair of double or single quotes grouping
// what lies between them (the quotes dropped); no other shell syntax.
std::vector<std::string> split(const std::string& command) {
    std::vector<std::string> words;
    std::string word;
    bool in_word = false;
    char quote = 0;
    for (char c : command) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == ' ' || c == '\t') {
            if (in_word) words.push_back(word);
            word.clear();
            in_word = false;
        } else if (c == '"' || c == '\'') {
            quote = c;
            in_word = true;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word) words.push_back(word);
    return words;
}

// Children started without waiting; each call reaps those that have ended.
std::vector<pid_t> g_unwaited;

void reap_ended() {
    for (size_t i = 0; i < g_unwaited.size();) {
        if (waitpid(g_unwaited[i], nullptr, WNOHANG) != 0) {
            g_unwaited[i] = g_unwaited.back();
            g_unwaited.pop_back();
        } else {
            i++;
        }
    }
}

void close_fd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// One of the child's three standard streams: the descriptor the child gets, and for a pipe
// the parent's end.
struct Stream {
    int child = -1;
    int parent = -1;
};

bool open_null(Stream& s, int flags) {
    s.child = ::open("/dev/null", flags | O_CLOEXEC);
    return s.child >= 0;
}

// A pipe; `parent_reads` picks which end stays with us.
bool open_pipe(Stream& s, bool parent_reads) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    s.child = parent_reads ? fds[1] : fds[0];
    s.parent = parent_reads ? fds[0] : fds[1];
    fcntl(s.parent, F_SETFL, fcntl(s.parent, F_GETFL) | O_NONBLOCK);
    return true;
}

// The child's output or error: a file appended to (created when missing; a file that cannot
// be opened leaves the stream on the null device), a pipe for a string! or binary!, else the
// null device.
bool open_output(Stream& s, const Cell* target) {
    if (!target) return open_null(s, O_WRONLY);
    if (cell::is(target, T::File)) {
        s.child =
            ::open(files::path_of(target).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
        return s.child >= 0 || open_null(s, O_WRONLY);
    }
    return open_pipe(s, true);
}

// Starts the command with the streams; the child's pid, or -1. A program that is not found
// runs once through /bin/sh -c, as does every command with `shell`. A command holding a NUL
// starts nothing: every argument would be cut at it.
pid_t spawn(const std::string& command, bool shell, Stream* streams) {
    if (command.find('\0') != std::string::npos) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int i = 0; i < 3; i++) posix_spawn_file_actions_adddup2(&actions, streams[i].child, i);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, pipe_default;
    sigemptyset(&none);
    sigemptyset(&pipe_default);
    sigaddset(&pipe_default, SIGPIPE);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &pipe_default);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    auto run = [&](std::vector<std::string> words) {
        std::vector<char*> argv;
        for (std::string& w : words) argv.push_back(w.data());
        argv.push_back(nullptr);
        pid_t pid;
        int rc = posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), environ);
        return rc == 0 ? pid : -rc;
    };
    std::vector<std::string> words = shell ? std::vector<std::string>{} : split(command);
    pid_t pid = -ENOENT;
    if (!shell && !words.empty()) pid = run(words);
    if (pid == -ENOENT) pid = run({"/bin/sh", "-c", command});
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return pid > 0 ? pid : -1;
}

// Feeds the input and drains output and error together until the child has closed all three,
// with SIGPIPE held off so a child that stops reading cannot end us.
void exchange(Stream* streams, const std::string& input, std::string* collected) {
    sigset_t pipe_set, old;
    sigemptyset(&pipe_set);
    sigaddset(&pipe_set, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_set, &old);
    size_t fed = 0;
    if (streams[0].parent >= 0 && input.empty()) close_fd(streams[0].parent);
    char chunk[65536];
    for (;;) {
        pollfd polls[3];
        int n = 0;
        int which[3];
        if (streams[0].parent >= 0) {
            polls[n] = {streams[0].parent, POLLOUT, 0};
            which[n++] = 0;
        }
        for (int i = 1; i < 3; i++) {
            if (streams[i].parent < 0) continue;
            polls[n] = {streams[i].parent, POLLIN, 0};
            which[n++] = i;
        }
        if (n == 0) break;
        if (poll(polls, static_cast<nfds_t>(n), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int k = 0; k < n; k++) {
            if (!polls[k].revents) continue;
            Stream& s = streams[which[k]];
            if (which[k] == 0) {
                ssize_t w = ::write(s.parent, input.data() + fed, input.size() - fed);
                if (w > 0) fed += static_cast<size_t>(w);
                if ((w < 0 && errno != EAGAIN && errno != EINTR) || fed == input.size())
                    close_fd(s.parent);
                continue;
            }
            ssize_t r = ::read(s.parent, chunk, sizeof chunk);
            if (r > 0)
                collected[which[k]].append(chunk, static_cast<size_t>(r));
            else if (r == 0 || (errno != EAGAIN && errno != EINTR))
                close_fd(s.parent);
        }
    }
    // A SIGPIPE raised while held is taken off before the old mask comes back.
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE)) {
        timespec zero{0, 0};
        sigtimedwait(&pipe_set, nullptr, &zero);
    }
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

// Adds what the child wrote to the string! (decoded as UTF-8, line ends made LF) or binary!
// (at its position).
void collect(Cell* target, std::string bytes) {
    if (bytes.empty()) return;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(bytes.data());
    if (cell::is(target, T::Binary)) {
        binary::insert_bytes(target, 0, p, bytes.size());
        return;
    }
    stack::Mark mark;
    Cell* text = files::text_to_string(std::move(bytes), nullptr);
    string::concatenate(target, text, -1, 0, true, string::Concat::Append);
    mark.restore();
}

int wait_for(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

// call: refinements /wait /show /console /shell /input in /output out /error err.
void call(bool check, const int32_t* refinements) {
    Cell* cmd = stack::arg(0);
    auto is_io = [](const Cell* c) {
        return cell::is(c, T::String) || cell::is(c, T::File) || cell::is(c, T::Binary);
    };
    if (check && !cell::is(cmd, T::String) && !cell::is(cmd, T::File))
        fire_expect_arg(cell::type_of(cmd), 0);
    Cell* io[3] = {};
    for (int i = 0; i < 3; i++) {
        int32_t r = refinements[4 + i];
        if (r < 0) continue;
        io[i] = stack::arg(r);
        if (check && !is_io(io[i])) fire_expect_arg(cell::type_of(io[i]), 1 + i);
    }
    if (refinements[2] >= 0) fire(Err::NotDone);  // a console of our own: not built
    reap_ended();
    std::string command = string::to_std_utf8(cmd);
    if (command.empty()) {
        integer::set(cmd, 0);
        stack::keep_one();
        return;
    }
    bool wait = refinements[0] >= 0 || io[0] || io[1] || io[2];
    std::string input;
    Stream streams[3];
    bool ok = true;
    if (!io[0]) {
        ok = open_null(streams[0], O_RDONLY);
    } else if (cell::is(io[0], T::File)) {
        streams[0].child = ::open(files::path_of(io[0]).c_str(), O_RDONLY | O_CLOEXEC);
        ok = streams[0].child >= 0;
    } else {
        if (cell::is(io[0], T::Binary)) {
            input.assign(reinterpret_cast<const char*>(binary::rs_head(io[0])),
                         static_cast<size_t>(binary::rs_length(io[0])));
        } else {
            input = string::to_std_utf8(io[0]);
        }
        ok = open_pipe(streams[0], false);
    }
    ok = ok && open_output(streams[1], io[1]) && open_output(streams[2], io[2]);
    pid_t pid = ok ? spawn(command, refinements[3] >= 0, streams) : -1;
    for (Stream& s : streams) close_fd(s.child);
    std::string collected[3];
    if (pid > 0) exchange(streams, input, collected);
    for (Stream& s : streams) close_fd(s.parent);
    int32_t result = -1;
    if (pid > 0 && wait) {
        result = wait_for(pid);
    } else if (pid > 0) {
        g_unwaited.push_back(pid);
        result = pid;
    }
    for (int i = 1; i < 3; i++) {
        if (io[i] && !cell::is(io[i], T::File)) collect(io[i], std::move(collected[i]));
    }
    integer::set(stack::arg(0), result);
    stack::keep_one();
}

}  // namespace

void init() { natives::install(natives::NativeId::Call, call); }

}  // namespace nuv::process
