#include "runtime/platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

#include "runtime/actions.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/unset.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/unicode.h"
#include "runtime/words.h"

namespace nuv::files {

namespace {

using T = TypeId;

// Series positions are 32-bit, so no series holds more bytes than this.
constexpr size_t kMaxSeriesBytes = INT32_MAX;
constexpr size_t kChunk = 64 * 1024;

// A directory path: ends in "/", or is "." or "..", or ends in "/." or "/..".
bool names_dir(const std::string& p) {
    if (p.empty()) return false;
    if (p.back() == '/' || p == "." || p == "..") return true;
    auto ends = [&](const char* s) {
        size_t n = std::strlen(s);
        return p.size() >= n && p.compare(p.size() - n, n, s) == 0;
    };
    return ends("/.") || ends("/..");
}

// The integer of a /part or /seek number, a float! cut toward zero.
int64_t number_of(const Cell* c) {
    if (cell::is(c, T::Integer)) return cell::get_int(c);
    double d = cell::get_double(c);
    if (!(d > -9.0e18 && d < 9.0e18)) return d < 0 ? INT64_MIN : INT64_MAX;
    return static_cast<int64_t>(d);
}

// The path of a file!, false when a NUL in it means it can name nothing.
bool usable_path(const Cell* file, std::string& path) {
    path = string::to_std_utf8(file);
    return path.find('\0') == std::string::npos;
}

void close_quietly(int fd) {
    int saved = errno;
    ::close(fd);
    errno = saved;
}

// Reads from the descriptor to end of file, at most `limit` bytes (-1: all).
// Answers false on a read failure; a file growing or shrinking meanwhile gives
// exactly the bytes read.
bool read_to_end(int fd, int64_t limit, std::string& out) {
    for (;;) {
        size_t want = kChunk;
        if (limit >= 0) {
            size_t left = static_cast<size_t>(limit) - out.size();
            if (left == 0) return true;
            if (left < want) want = left;
        }
        if (out.size() + want > kMaxSeriesBytes) {
            if (out.size() >= kMaxSeriesBytes) {
                char probe;
                ssize_t n;
                do n = ::read(fd, &probe, 1);
                while (n < 0 && errno == EINTR);
                if (n == 0) return true;
                close_quietly(fd);
                fire(Err::NoMemory);
            }
            want = kMaxSeriesBytes - out.size();
        }
        size_t at = out.size();
        out.resize(at + want);
        ssize_t n;
        do n = ::read(fd, out.data() + at, want);
        while (n < 0 && errno == EINTR);
        if (n < 0) return false;
        out.resize(at + static_cast<size_t>(n));
        if (n == 0) return true;
    }
}

// Opens for reading; a directory answers -1. `flags` adds to the open's own.
int open_for_read(const std::string& path, int flags = 0) {
    int fd;
    do fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat st;
    if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        close_quietly(fd);
        return -1;
    }
    return fd;
}

// The bytes of the file from `seek` (-1: the start), at most `part` of them
// (-1: all); access cannot-open on the file when it cannot be read.
std::string read_range(const Cell* file, const std::string& path, int64_t part, int64_t seek) {
    int fd = open_for_read(path);
    if (fd < 0) fire(Err::CannotOpen, file);
    std::string bytes;
    if (seek > 0 && lseek(fd, static_cast<off_t>(seek), SEEK_SET) < 0) {
        close_quietly(fd);
        return bytes;  // a seek past what the file can address reads as empty
    }
    // Room for what the file holds now, so that a large file is not copied as it grows.
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        int64_t expected = static_cast<int64_t>(st.st_size) - (seek > 0 ? seek : 0);
        if (part >= 0 && part < expected) expected = part;
        if (expected > 0 && static_cast<uint64_t>(expected) < kMaxSeriesBytes)
            bytes.reserve(static_cast<size_t>(expected) + kChunk);
    }
    bool ok = read_to_end(fd, part, bytes);
    ::close(fd);
    if (!ok) fire(Err::CannotOpen, file);
    return bytes;
}

// An open descriptor, closed on every way out, a raised error included.
struct Descriptor {
    int fd;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) close_quietly(fd);
    }
};

// One read, retried when a signal interrupts it: the count read, 0 at end of file, -1 on a
// failure.
ssize_t read_some(int fd, uint8_t* into, size_t want) {
    ssize_t n;
    do n = ::read(fd, into, want);
    while (n < 0 && errno == EINTR);
    return n;
}

// How much a source whose size fstat does not give (procfs, a pipe, a character device) is
// first read into, before its binary is made: most such files hold less.
constexpr size_t kFirstRead = 4096;

// The bytes of the file from `seek` (-1: the start), at most `part` of them (-1: all), read
// straight into the buffer of a new binary! in a new argument-stack cell, with no copy between.
// A regular file's buffer is what fstat says is left to read, one byte over so that the read
// meeting the end of the file finds room; a source of unknown size is first read into a page
// on the stack and its binary made to fit what came. A buffer that fills before the end doubles,
// so a file growing or shrinking meanwhile gives exactly the bytes read. Access cannot-open on
// the file when it cannot be read, internal no-memory when it is too large for a series.
Cell* read_binary(const Cell* file, const std::string& path, int64_t part, int64_t seek) {
    Descriptor d(open_for_read(path));
    if (d.fd < 0) fire(Err::CannotOpen, file);
    Cell* out = stack::reserve();
    if (seek > 0 && lseek(d.fd, static_cast<off_t>(seek), SEEK_SET) < 0)
        return binary::make_at(out, 0);  // a seek past what the file can address reads as empty
    const size_t limit = part < 0 ? SIZE_MAX : static_cast<size_t>(part);
    uint8_t first[kFirstRead];
    size_t got = 0;
    bool at_end = false;
    size_t room;
    struct stat st;
    if (fstat(d.fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0) {
        const int64_t left = static_cast<int64_t>(st.st_size) - (seek > 0 ? seek : 0);
        const size_t wanted = std::min(limit, left > 0 ? static_cast<size_t>(left) : 0);
        if (wanted > kMaxSeriesBytes) fire(Err::NoMemory);
        // A series' worth exactly leaves no room for the last read: the end is probed below.
        room = std::min(wanted == limit ? wanted : wanted + 1, kMaxSeriesBytes);
    } else {
        const size_t cap = std::min(limit, kFirstRead);
        while (got < cap) {
            const ssize_t n = read_some(d.fd, first + got, cap - got);
            if (n < 0) fire(Err::CannotOpen, file);
            if (n == 0) {
                at_end = true;
                break;
            }
            got += static_cast<size_t>(n);
        }
        room = at_end || got == limit ? got : 2 * kFirstRead;
    }
    binary::make_at(out, room);
    memory::SeriesBuf* b = memory::buf_of(out);
    if (got) std::memcpy(b->tail_ptr(), first, got);
    b->tail += got;
    while (!at_end) {
        const size_t have = b->used();
        if (have >= limit) break;
        // Buffers round up to 16 bytes, so a full series need not fill its buffer: the end is
        // probed whenever the series is full.
        if (have >= kMaxSeriesBytes) {
            uint8_t probe;
            const ssize_t n = read_some(d.fd, &probe, 1);
            if (n == 0) break;
            if (n < 0) fire(Err::CannotOpen, file);
            fire(Err::NoMemory);
        }
        if (b->tail == b->size) {
            const size_t grown = std::min(2 * b->size, kMaxSeriesBytes);
            b = memory::expand_series(cell::node(out), (grown + 15) & ~size_t{15});
        }
        const size_t want =
            std::min<size_t>({b->size - b->tail, limit - have, kMaxSeriesBytes - have});
        const ssize_t n = read_some(d.fd, b->tail_ptr(), want);
        if (n < 0) fire(Err::CannotOpen, file);
        if (n == 0) break;
        b->tail += static_cast<size_t>(n);
    }
    return out;
}

// Text bytes with CR LF and lone CR made LF, in place; answers how many remain.
size_t fold_line_ends(uint8_t* s, size_t n) {
    size_t w = 0;
    for (size_t r = 0; r < n; r++) {
        uint8_t c = s[r];
        if (c == '\r') {
            if (r + 1 < n && s[r + 1] == '\n') continue;
            c = '\n';
        }
        s[w++] = c;
    }
    return w;
}

void fold_line_ends(std::string& s) {
    s.resize(fold_line_ends(reinterpret_cast<uint8_t*>(s.data()), s.size()));
}

// Where the UTF-8 bytes first hold a character that is not ASCII, or n when none does.
size_t first_wide(const uint8_t* s, size_t n) {
    size_t i = 0;
    while (i < n && s[i] < 0x80) i++;
    return i;
}

// Whether the UTF-8 bytes from `from` hold only well-formed characters below 256: ASCII, or a
// lead byte C2 or C3 and one continuation byte.
bool fits_a_byte(const uint8_t* s, size_t from, size_t n) {
    for (size_t i = from; i < n; i++) {
        if (s[i] < 0x80) continue;
        if ((s[i] != 0xC2 && s[i] != 0xC3) || i + 1 == n || (s[i + 1] & 0xC0) != 0x80)
            return false;
        i++;
    }
    return true;
}

// The text of the file from `seek` (-1: the start), at most `part` bytes (-1: all), as a
// string! in a new argument-stack cell, CR LF and lone CR made LF. The bytes are read into one
// buffer and their line ends folded there; a text whose characters all fit a byte is decoded in
// place, so that buffer becomes the string's own. Any other text is decoded into a buffer of
// its width (access invalid-utf8 on a bad sequence).
Cell* read_text(const Cell* file, const std::string& path, int64_t part, int64_t seek) {
    Cell* text = read_binary(file, path, part, seek);
    memory::SeriesBuf* b = memory::buf_of(text);
    uint8_t* s = b->offset_ptr();
    const size_t n = fold_line_ends(s, b->used());
    b->tail = b->offset + n;
    const size_t wide = first_wide(s, n);
    if (!fits_a_byte(s, wide, n)) {
        const NodeId bytes = cell::node(text);
        size_t rest = 0;
        const NodeId node = unicode::load_utf8_series(bytes, 0, n, 0, &rest, false);
        if (rest) unicode::fire_invalid_utf8(memory::buf(bytes)->offset_ptr() + n - rest, rest);
        *text = Cell{static_cast<uint32_t>(T::String), 0, node, 0};
        return text;
    }
    size_t w = wide;
    for (size_t r = wide; r < n; r++) {
        uint8_t c = s[r];
        if (c >= 0x80) c = static_cast<uint8_t>(((c & 0x1F) << 6) | (s[++r] & 0x3F));
        s[w++] = c;
    }
    b->tail = b->offset + w;
    cell::set_type(text, T::String);
    return text;
}

// An open directory, closed on every way out.
struct DirHandle {
    DIR* dir;
    explicit DirHandle(const std::string& path) : dir(opendir(path.c_str())) {}
    DirHandle(const DirHandle&) = delete;
    DirHandle& operator=(const DirHandle&) = delete;
    ~DirHandle() {
        if (dir) closedir(dir);
    }
};

// The entries of a directory as file! values, a subdirectory with its "/", "."
// and ".." left out, in the order the file system gives them. A name that is
// not UTF-8 is left out too: no file! could name it.
Cell* list_dir(const Cell* file, std::string path) {
    if (path.back() == '.') path += '/';
    DirHandle dir(path);
    if (!dir.dir) fire(Err::CannotOpen, file);
    Cell* block = block::make_at(stack::reserve(), 16);
    std::string name;
    while (dirent* e = readdir(dir.dir)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        name = e->d_name;
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(name.data());
        if (!unicode::utf8_well_formed(bytes, bytes + name.size())) continue;
        bool is_dir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st;
            is_dir = stat((path + name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        if (is_dir) name += '/';
        Cell* item = string::load_at(reinterpret_cast<const uint8_t*>(name.data()), name.size(),
                                     block, string::kUtf8);
        cell::set_type(item, T::File);
    }
    return block;
}

Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool, Cell* as) {
    if (as) fire(Err::NotDone);
    std::string path = path_of(source);
    if (names_dir(path)) return list_dir(source, path);
    int64_t part_n = part ? number_of(part) : -1;
    int64_t seek_n = seek ? number_of(seek) : -1;
    // A part of 0 still needs a readable file.
    if (binary) return read_binary(source, path, part_n < 0 ? -1 : part_n, seek_n);
    if (!lines) return read_text(source, path, part_n < 0 ? -1 : part_n, seek_n);
    return split_lines(read_range(source, path, part_n < 0 ? -1 : part_n, seek_n));
}

// The UTF-8 of the string's first `chars` characters (-1: all).
std::string utf8_prefix(const Cell* str, int64_t chars) {
    std::string s = string::to_std_utf8(str);
    if (chars < 0) return s;
    size_t i = 0;
    for (int64_t n = 0; i < s.size() && n < chars; n++) {
        i++;
        while (i < s.size() && (static_cast<uint8_t>(s[i]) & 0xC0) == 0x80) i++;
    }
    s.resize(i);
    return s;
}

// Opens the target for writing: created when missing, emptied unless appending
// or seeking.
int open_for_write(const std::string& path, bool keep) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (keep ? 0 : O_TRUNC);
    int fd;
    do fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    return fd;
}

Cell* write(Cell* target, Cell* data, bool, bool lines, bool, bool append, Cell* part, Cell* seek,
            Cell* allow, Cell* as) {
    if (allow || as) fire(Err::NotDone);
    int64_t part_n = -1;
    if (part) {
        if (!cell::is(part, T::Integer)) fire(Err::InvalidRefineArg, &words::w::part, part);
        part_n = cell::get_int(part);
        if (part_n < 0) return unset::push();
    }
    int64_t seek_n = seek ? number_of(seek) : -1;
    std::string bytes;
    if (lines && cell::is(data, T::Block)) {
        stack::Mark mark;
        Cell* held = stack::push(data);
        for (int32_t i = block::head_index(held); i < block::count(cell::node(held)); i++) {
            Cell item = block::at(cell::node(held), i);
            bytes += value_bytes(&item, -1);
            bytes += '\n';
        }
        mark.restore();
    } else {
        bytes = value_bytes(data, part_n);
        if (lines) bytes += '\n';
    }
    std::string path = path_of(target);
    int fd = open_for_write(path, append || seek_n >= 0);
    if (fd < 0) fire(Err::CannotOpen, target);
    bool placed = true;
    if (seek_n > 0) placed = lseek(fd, static_cast<off_t>(seek_n), SEEK_SET) >= 0;
    if (append) placed = lseek(fd, 0, SEEK_END) >= 0;
    if (!placed || !write_all(fd, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())) {
        close_quietly(fd);
        fire(Err::CannotOpen, target);
    }
    if (::close(fd) != 0) fire(Err::CannotClose, target);
    return unset::push();
}

Cell* delete_(Cell* file) {
    std::string path;
    bool ok = usable_path(file, path) &&
              (names_dir(path) ? ::rmdir(path.c_str()) == 0 : ::unlink(path.c_str()) == 0);
    return logic::push(ok);
}

// Fails when the target exists. Where the kernel or the file system lacks the
// no-replace rename, a target found just before renaming still fails it.
bool rename_no_replace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    struct stat st;
    if (::lstat(to.c_str(), &st) == 0) return false;
    return ::rename(from.c_str(), to.c_str()) == 0;
}

Cell* rename(Cell* from, Cell* to) {
    if (!cell::is(to, T::File)) fire_expect_arg(cell::type_of(to), 1);
    std::string from_path, to_path;
    bool ok = usable_path(from, from_path) && usable_path(to, to_path) &&
              rename_no_replace(from_path, to_path);
    return logic::push(ok);
}

// The time of the last change, in UTC; none when the path names nothing, or
// ends in "/" without naming a directory.
Cell* query(Cell* file) {
    std::string path;
    struct stat st;
    struct tm t;
    if (!usable_path(file, path) || ::stat(path.c_str(), &st) != 0 || (path.back() == '/' && !S_ISDIR(st.st_mode)) ||
        !gmtime_r(&st.st_mtim.tv_sec, &t))
        return none::push();
    return date::make_at_ymd_hms(stack::reserve(), t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                                 t.tm_hour, t.tm_min, t.tm_sec,
                                 static_cast<int32_t>(st.st_mtim.tv_nsec));
}

// size?: the argument's type is checked here when the caller has not.
void size_native(bool check, const int32_t*) {
    Cell* file = stack::arg(0);
    if (check && !cell::is(file, T::File)) fire_expect_arg(cell::type_of(file), 0);
    size_of(file, file);
    stack::keep_one();
}

// The checksum native as the natives table had it before the file services came.
natives::Entry g_checksum_bytes = nullptr;

// checksum of a file! is the checksum of its whole content as a binary!.
void checksum_native(bool check, const int32_t* refinements) {
    Cell* data = stack::arg(0);
    if (cell::is(data, T::File)) {
        // The file stays in its argument until its bytes are read, so an error can name it.
        std::string path = path_of(data);
        if (names_dir(path)) fire(Err::CannotOpen, data);
        stack::Mark mark;
        *data = *read_binary(data, path, -1, -1);
        mark.restore();
    }
    g_checksum_bytes(check, refinements);
}

}  // namespace

std::string path_of(const Cell* file) {
    std::string path;
    if (!usable_path(file, path)) fire(Err::CannotOpen, file);
    return path;
}

// The bytes a value writes: a string! its UTF-8, a binary! its bytes, anything
// else its mold. `part` cuts a string to that many characters (0: nothing) and
// a binary to that many bytes (0: all); -1 takes everything.
std::string value_bytes(Cell* value, int64_t part) {
    if (cell::is(value, T::String)) return utf8_prefix(value, part);
    if (cell::is(value, T::Binary)) {
        const uint8_t* head = binary::rs_head(value);
        size_t n = static_cast<size_t>(binary::rs_length(value));
        if (part > 0 && static_cast<size_t>(part) < n) n = static_cast<size_t>(part);
        return std::string(reinterpret_cast<const char*>(head), n);
    }
    stack::Mark mark;
    Cell* held = stack::push(value);
    Cell* buffer = string::make_at(stack::reserve(), 64);
    lookup<&ActionRow::mold>(held, ActionId::Mold)(held, buffer, false, false, false, nullptr,
                                                   kNoLimit, 0);
    std::string s = string::to_std_utf8(buffer);
    mark.restore();
    return s;
}

std::string read_bytes(const Cell* file) {
    std::string path = path_of(file);
    if (names_dir(path)) fire(Err::CannotOpen, file);
    return read_range(file, path, -1, -1);
}

// A block of the lines: split at LF, one CR before the LF dropped, no empty
// last line after a final LF; a CR ending the last unterminated line stays.
Cell* split_lines(const std::string& s) {
    Cell* block = block::make_at(stack::reserve(), 8);
    const uint8_t* p = reinterpret_cast<const uint8_t*>(s.data());
    size_t start = 0;
    for (size_t i = 0; i < s.size(); i++) {
        if (s[i] != '\n') continue;
        size_t end = i;
        if (end > start && s[end - 1] == '\r') end--;
        string::load_at(p + start, end - start, block, string::kUtf8);
        start = i + 1;
    }
    if (start < s.size()) string::load_at(p + start, s.size() - start, block, string::kUtf8);
    return block;
}

Cell* text_to_string(std::string text, Cell* out) {
    fold_line_ends(text);
    return string::load(reinterpret_cast<const uint8_t*>(text.data()), text.size(),
                        out ? out : stack::reserve(), string::kUtf8);
}

void size_of(Cell* file, Cell* out) {
    std::string path;
    // Without O_NONBLOCK a FIFO would wait here for a writer.
    int fd = !usable_path(file, path) || names_dir(path) ? -1 : open_for_read(path, O_NONBLOCK);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
        if (fd >= 0) ::close(fd);
        none::set(out);
        return;
    }
    ::close(fd);
    if (st.st_size <= INT32_MAX)
        integer::set(out, static_cast<int32_t>(st.st_size));
    else
        floating::set(out, static_cast<double>(st.st_size));
}

bool exists(const Cell* file) {
    std::string path;
    struct stat st;
    return usable_path(file, path) && ::stat(path.c_str(), &st) == 0;
}

void create_dir(const Cell* file) {
    if (::mkdir(path_of(file).c_str(), 0777) != 0) fire(Err::NoCreate, file);
}

bool write_all(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void init() {
    ActionRow& row = registry::g_rows[static_cast<int>(T::File)];
    row.read = read;
    row.write = write;
    row.delete_ = delete_;
    row.rename = rename;
    row.query = query;
    natives::install(natives::NativeId::IsSize, size_native);
    g_checksum_bytes = natives::install(natives::NativeId::Checksum, checksum_native);
}

}  // namespace nuv::files
