// Start-up from the boot image: nothing is lexed, nuv-bootgen writes the same bytes from the same
// sources, an image a test builds from a manifest of its own runs its units in order, and a bad
// image ends the process with its line and status 1 before any statement runs.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "runtime/lz77.h"
#include "runtime/memory.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using test::Ended;

// Runs the program with its arguments, NUV_TEST_BOOT_IMAGE set to `image` when it is not empty;
// answers its standard output (with standard error after it) and exit status.
Ended run(const std::vector<std::string>& args, const std::string& image = "") {
    return test::in_child([&] {
        if (image.empty()) unsetenv("NUV_TEST_BOOT_IMAGE");
        else setenv("NUV_TEST_BOOT_IMAGE", image.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        std::_Exit(127);
    });
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A fresh folder for one test's files, removed with them when the test is done.
struct Scratch {
    std::string path;
    Scratch() {
        char name[] = "/tmp/nuv-boot-image-XXXXXX";
        const char* made = mkdtemp(name);
        EXPECT_NE(made, nullptr);
        path = made ? made : name;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

const std::string kManifest = std::string(NUV_SOURCE_DIR) + "/boot/manifest.txt";

// nuv-bootgen run on the project's manifest with the extra lines, writing into the folder (its
// build facts copied there, so `build:` names resolve) the image whose path it answers.
Ended bootgen(const std::string& folder, const std::string& extra_lines, std::string* image) {
    mkdir((folder + "/boot").c_str(), 0700);
    write_file(folder + "/boot/build_facts.nuv",
               read_file(std::string(NUV_GENERATED_DIR) + "/boot/build_facts.nuv"));
    write_file(folder + "/manifest.txt", read_file(kManifest) + extra_lines);
    *image = folder + "/image.nuvbin";
    return run({NUV_BOOTGEN_PATH, folder + "/manifest.txt", NUV_SOURCE_DIR, folder, *image});
}

std::string build_image(const std::string& folder, const std::string& extra_lines) {
    std::string image;
    const Ended made = bootgen(folder, extra_lines, &image);
    EXPECT_EQ(made.status, 0) << made.out;
    return image;
}

// The image of the project's manifest followed by run units of a test's own, each text written
// to NAME.nuv in the folder; answers its path.
std::string image_with_units(const std::string& folder,
                             const std::vector<std::pair<std::string, std::string>>& units) {
    std::string lines;
    for (const auto& [name, text] : units) {
        write_file(folder + "/" + name + ".nuv", text);
        lines += "run " + name + " build:" + name + ".nuv\n";
    }
    return build_image(folder, lines);
}

TEST(BootImage, StartUpLexesNothing) { EXPECT_EQ(test::g_boot_lexer_runs, 0u); }

TEST(BootImage, SameSourcesGiveTheSameBytes) {
    std::string folder;
    {
        const Scratch scratch;
        folder = scratch.path;
        const std::string first = build_image(folder, "");
        const std::string bytes = read_file(first);
        const std::string second = build_image(folder, "");
        EXPECT_EQ(read_file(second), bytes);
        EXPECT_EQ(read_file(NUV_BOOT_IMAGE_PATH), bytes);  // the build's own image
        EXPECT_GT(bytes.size(), 1000u);
    }
    EXPECT_FALSE(std::filesystem::exists(folder));  // the test leaves no files behind
}

TEST(BootImage, AnImageOfItsOwnRunsItsUnitsInOrder) {
    const Scratch folder;
    const std::string image = image_with_units(
        folder.path, {{"first", "probe: [first]\n"}, {"second", "append probe 'second\n"}});
    const Ended ended = run({NUV_RUN_PATH, "-e", "print mold probe"}, image);
    EXPECT_EQ(ended.out, "[first second]\n");
    EXPECT_EQ(ended.status, 0);
}

TEST(BootImage, ItsFunctionsRunAsTheRuntimesOwn) {
    const Scratch folder;
    const std::string image = image_with_units(folder.path, {{"f", "f: func [b] [append b 1]\n"}});
    // They keep calling what start-up defined.
    Ended ended = run({NUV_RUN_PATH, "-e", "append: none print mold f []"}, image);
    EXPECT_EQ(ended.out, "[1]\n");
    EXPECT_EQ(ended.status, 0);
    // A trace run hears no event from inside them, and every event of a user's function.
    ended = run({NUV_RUN_PATH, "-e",
                 "g: func [b] [append b 2] log: copy [] "
                 "do/trace [f [] g []] func [e c o v r x] [append/only log c] n: 0 m: 0 "
                 "foreach c log [if block? c [if same? head c head reflect :f 'body [n: n + 1] "
                 "if same? head c head reflect :g 'body [m: m + 1]]] print [n m > 0]"},
                image);
    EXPECT_EQ(ended.out, "0 true\n");
    EXPECT_EQ(ended.status, 0);
}

TEST(BootImage, AUnitThatRaisesEndsStartUp) {
    const Scratch folder;
    const std::string image = image_with_units(folder.path, {{"bad", "1 / 0\n"}});
    const Ended ended = run({NUV_RUN_PATH, "-e", "print {ran}"}, image);
    EXPECT_EQ(ended.out.find("ran"), std::string::npos);
    EXPECT_NE(ended.out.find("*** Math Error: attempt to divide by zero"), std::string::npos)
        << ended.out;
    EXPECT_EQ(ended.status, 254);
}

TEST(BootImage, AUnitThatFailsTheImageIsNamedWithItsFileAndLine) {
    struct Case {
        const char* kind;
        const char* text;
        const char* want;  // after the file's name
    } cases[] = {
        {"define", "t1: [integer!]\n\n; a note\n\nt2: 5\n",
         " (line 5)\n*** Script Error: data not in correct format: t2:\n"},
        {"run", "x: 1\n\ny: [2\n", " (line 4)\n*** Syntax Error: (line 4) missing ] at [2\n"},
    };
    for (const Case& c : cases) {
        const Scratch scratch;
        const std::string& folder = scratch.path;
        write_file(folder + "/bad.nuv", c.text);
        std::string image;
        const Ended made = bootgen(folder, std::string(c.kind) + " bad build:bad.nuv\n", &image);
        EXPECT_EQ(made.status, 1) << c.kind;
        EXPECT_NE(made.out.find("nuv-bootgen: boot unit bad failed at " + folder + "/bad.nuv" + c.want),
                  std::string::npos)
            << made.out;
    }
}

TEST(BootImage, ItsCodeIsNotInterpreted) {
    // Whether the code that calls system/state/interpreted? is user code: a unit's statements and
    // functions are not, a block or function the user gives them is.
    const Scratch folder;
    const std::string image = image_with_units(
        folder.path,
        {{"asks", "asks: func [] [system/state/interpreted?]\n"
                  "at-start: reduce [system/state/interpreted? asks]\n"
                  "runs: func [code] [do code]\n"
                  "calls: func [f] [f]\n"}});
    const Ended ended =
        run({NUV_RUN_PATH, "-e",
             "print [at-start asks runs [system/state/interpreted?] "
             "calls func [] [system/state/interpreted?] system/state/interpreted?]"},
            image);
    EXPECT_EQ(ended.out, "false false false true true true\n");
    EXPECT_EQ(ended.status, 0);
}

TEST(BootImage, AnImageBehindTheWordOneIsUnpacked) {
    const std::string image = read_file(NUV_BOOT_IMAGE_PATH);
    std::string stored(4 + image.size(), '\0');
    stored[0] = 1;
    const int64_t packed = lz77::compress_data(reinterpret_cast<const uint8_t*>(image.data()),
                                               image.size(), reinterpret_cast<uint8_t*>(&stored[4]));
    ASSERT_GT(packed, 0);
    stored.resize(4 + static_cast<size_t>(packed));
    const auto* start = reinterpret_cast<const uint8_t*>(stored.data());
    size_t length = 0;
    const uint8_t* unpacked = memory::image_behind_word(start, start + stored.size(), &length);
    ASSERT_NE(unpacked, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(unpacked), length), image);
    memory::tracked_free(const_cast<uint8_t*>(unpacked));
    // The word 0: the bytes behind it as they are.
    stored[0] = 0;
    EXPECT_EQ(memory::image_behind_word(start, start + stored.size(), &length), start + 4);
    EXPECT_EQ(length, stored.size() - 4);
    // A container that does not unpack ends the process.
    stored[0] = 1;
    stored[6] = static_cast<char>(stored[6] ^ 0x40);  // its payload size
    const Ended ended = test::in_child([&] { memory::image_behind_word(start, start + stored.size(), &length); });
    EXPECT_EQ(ended.out, "Error: Nuvbin compressed data corrupted!\n");
    EXPECT_EQ(ended.status, 1);
}

TEST(BootImage, ABadImageEndsTheProcessBeforeAnyStatement) {
    const std::string good = read_file(NUV_BOOT_IMAGE_PATH);
    ASSERT_GT(good.size(), 100u);
    std::string magic = good;
    magic[5] = 'X';  // NUVBIX
    std::string packed = good;
    packed[7] = static_cast<char>(packed[7] | 2);  // the records are no LZ77 container
    const std::string cut = good.substr(0, good.size() / 2);
    struct Row {
        const std::string* bytes;
        const char* out;  // the whole output, or its start for the nb-invalid-record report
    };
    const Row rows[] = {
        {&magic, "Error: Not a Nuvbin file!\n"},
        {&packed, "Error: Nuvbin compressed data corrupted!\n"},
        {&cut, "*** Script Error: NUVBIN - invalid record at index "},
    };
    const Scratch scratch;
    const std::string& folder = scratch.path;
    for (const Row& row : rows) {
        const std::string path = folder + "/bad.nuvbin";
        write_file(path, *row.bytes);
        const Ended ended = run({NUV_RUN_PATH, "-e", "print {ran}"}, path);
        EXPECT_EQ(ended.out.substr(0, std::string(row.out).size()), row.out);
        EXPECT_EQ(ended.out.find("ran"), std::string::npos) << ended.out;
        EXPECT_EQ(ended.status, 1) << ended.out;
    }
    // The unchanged image, named the same way, starts as the program's own.
    write_file(folder + "/good.nuvbin", good);
    const Ended ended = run({NUV_RUN_PATH, "-e", "print {ran}"}, folder + "/good.nuvbin");
    EXPECT_EQ(ended.out, "ran\n");
    EXPECT_EQ(ended.status, 0);
}

}  // namespace
}  // namespace nuv
