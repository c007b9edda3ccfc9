// Reading files: a binary! is read straight into its own buffer, sized from what the file holds,
// with no copy between, and a text of one-byte characters becomes the string in that buffer; a
// source whose size is not known is read whole all the same.
#include "runtime/platform/files.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>

#include "runtime/actions.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/memory.h"
#include "tests/temp_support.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using T = TypeId;

Cell* file_cell(const std::string& path) {
    Cell* file = test::text(path);
    cell::set_type(file, T::File);
    return file;
}

Cell* read_binary(Cell* file, Cell* part = nullptr) {
    return registry::row(T::File).read(file, part, nullptr, true, false, false, nullptr);
}

// Reads the file as a binary!, checking that it took one buffer: no expansion, and no bytes
// copied by the memory manager.
Cell* read_in_one_buffer(Cell* file) {
    const memory::Counters before = memory::counters();
    Cell* bin = read_binary(file);
    const memory::Counters after = memory::counters();
    EXPECT_EQ(after.allocations - before.allocations, 1u);
    EXPECT_EQ(after.expansions - before.expansions, 0u);
    EXPECT_EQ(after.bytes_copied - before.bytes_copied, 0u);
    return bin;
}

std::string bytes_of(const Cell* bin) {
    return std::string(reinterpret_cast<const char*>(binary::rs_head(bin)),
                       static_cast<size_t>(binary::rs_length(bin)));
}

// A regular file becomes one buffer of its own size, at most a byte (rounded to 16) over what
// it holds.
TEST(FilesRead, BinaryTakesOneBufferSizedFromTheFile) {
    test::StackScope scope;
    const std::string path = test::temp_path("files_read.bin");
    std::string content(1000003, '\0');
    for (size_t i = 0; i < content.size(); i++) content[i] = static_cast<char>(i * 7 + i / 251);
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    ASSERT_EQ(std::fwrite(content.data(), 1, content.size(), f), content.size());
    std::fclose(f);

    Cell* bin = read_in_one_buffer(file_cell(path));
    EXPECT_LE(memory::buf_of(bin)->size, content.size() + 16);
    EXPECT_EQ(bytes_of(bin), content);

    // A part below the size takes a buffer of the part alone.
    Cell part;
    integer::set(&part, 10);
    Cell* cut = read_binary(file_cell(path), &part);
    EXPECT_EQ(bytes_of(cut), content.substr(0, 10));
    EXPECT_LE(memory::buf_of(cut)->size, 16u);
    std::remove(path.c_str());
}

// procfs gives no size: the file is read whole into one buffer made to fit what came.
TEST(FilesRead, SourceOfUnknownSizeReadsWhole) {
    test::StackScope scope;
    Cell* bin = read_in_one_buffer(file_cell("/proc/self/status"));
    const std::string text = bytes_of(bin);
    EXPECT_EQ(text.compare(0, 5, "Name:"), 0);
    EXPECT_NE(text.find("\nnonvoluntary_ctxt_switches:"), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(memory::buf_of(bin)->size, (text.size() + 15) & ~size_t{15});
}

// Text whose characters all fit a byte is decoded where it was read, its line ends folded there:
// one buffer. Wider text is decoded into a buffer of its width, a second one.
TEST(FilesRead, TextOfOneByteCharactersKeepsItsBuffer) {
    struct Case {
        const char* bytes;
        const char* text;
        uint64_t buffers;
    };
    const Case cases[] = {
        {"ab\r\ncaf\xC3\xA9\r\xC3\xBF", "ab\ncaf\xC3\xA9\n\xC3\xBF", 1},
        {"", "", 1},
        {"x\xE2\x82\xAC\r\ny", "x\xE2\x82\xAC\ny", 2},
    };
    const std::string path = test::temp_path("files_text.txt");
    for (const Case& c : cases) {
        test::StackScope scope;
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(c.bytes, f);
        std::fclose(f);
        Cell* file = file_cell(path);
        const memory::Counters before = memory::counters();
        Cell* text = registry::row(T::File).read(file, nullptr, nullptr, false, false, false,
                                                 nullptr);
        const memory::Counters after = memory::counters();
        ASSERT_TRUE(cell::is(text, T::String)) << c.bytes;
        EXPECT_EQ(string::to_std_utf8(text), c.text);
        EXPECT_EQ(after.allocations - before.allocations, c.buffers) << c.bytes;
    }
    std::remove(path.c_str());
}

// A pipe neither has a size nor gives its bytes in one read: its buffer doubles as it fills, so
// the expansions stay logarithmic and the bytes they copy below twice the bytes read.
TEST(FilesRead, PipeReadsWholeThroughDoublingBuffers) {
    test::StackScope scope;
    std::string content(300001, '\0');
    for (size_t i = 0; i < content.size(); i++) content[i] = static_cast<char>(i % 253);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::thread writer([&] {
        for (size_t at = 0; at < content.size();) {
            const size_t piece = std::min<size_t>(10000, content.size() - at);
            const ssize_t n = ::write(fds[1], content.data() + at, piece);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
        ::close(fds[1]);
    });
    Cell* file = file_cell("/proc/self/fd/" + std::to_string(fds[0]));
    const memory::Counters before = memory::counters();
    Cell* bin = read_binary(file);
    const memory::Counters after = memory::counters();
    writer.join();
    ::close(fds[0]);
    EXPECT_EQ(bytes_of(bin), content);
    EXPECT_EQ(after.allocations - before.allocations, after.expansions - before.expansions + 1);
    EXPECT_LE(after.expansions - before.expansions, 6u);
    EXPECT_LT(after.bytes_copied - before.bytes_copied, 2 * content.size());
}

}  // namespace
}  // namespace nuv
