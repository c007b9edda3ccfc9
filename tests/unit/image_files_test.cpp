// The image file formats: the PNG suite, round trips through every encoder, BMP against a
// reader and a writer of a few lines of Python, files, and the platform's scale and flip.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "host/images.h"
#include "runtime/platform/pixels.h"
#include "tests/fuzz/image_fuzz_body.h"
#include "tests/unit/support.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

namespace fs = std::filesystem;
namespace images = host::images;

std::vector<uint8_t> read_all(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Decoded pixels, freed on scope exit.
struct Decoded {
    images::Pixels pixels;
    images::Status status;
    explicit Decoded(const std::vector<uint8_t>& bytes) : status(images::decode(bytes.data(), bytes.size(), &pixels)) {}
    ~Decoded() { std::free(pixels.data); }
    std::vector<uint8_t> bytes() const {
        return {pixels.data, pixels.data + size_t(pixels.width) * size_t(pixels.height) * 4};
    }
    // R.G.B.T of pixel 0 as the language shows it.
    std::string first() const {
        const uint8_t* p = pixels.data;
        return std::to_string(p[2]) + "." + std::to_string(p[1]) + "." + std::to_string(p[0]) + "." +
               std::to_string(255 - p[3]);
    }
};

fs::path suite() { return fs::path(NUV_CORPORA_DIR) / "pngsuite" / "png"; }
#define NEEDS_SUITE() \
    if (!fs::exists(suite())) GTEST_SKIP() << "no PNG suite at " << suite()

TEST(ImageFilesScale, PngSuite) {
    NEEDS_SUITE();
    int valid = 0, twins = 0;
    for (const auto& entry : fs::directory_iterator(suite())) {
        const std::string name = entry.path().stem().string();
        if (name[0] == 'x') continue;
        const std::vector<uint8_t> bytes = read_all(entry.path());
        Decoded d(bytes);
        ASSERT_EQ(d.status, images::Status::Ok) << name;
        valid++;
        const auto be32 = [&](size_t at) {
            return int32_t(bytes[at]) << 24 | int32_t(bytes[at + 1]) << 16 | int32_t(bytes[at + 2]) << 8 | bytes[at + 3];
        };
        EXPECT_EQ(d.pixels.width, be32(16)) << name;
        EXPECT_EQ(d.pixels.height, be32(20)) << name;
        // Each survives PNG encode and decode.
        images::Bytes png;
        ASSERT_TRUE(images::encode(images::Format::Png, d.pixels.data, d.pixels.width, d.pixels.height, &png));
        Decoded again(std::vector<uint8_t>(png.data, png.data + png.size));
        std::free(png.data);
        EXPECT_EQ(again.bytes(), d.bytes()) << name;
        // The interlaced twin of a plain file gives the same image.
        if (name[3] == 'n') {
            std::string interlaced = name;
            interlaced[3] = 'i';
            const fs::path other = suite() / (interlaced + ".png");
            if (fs::exists(other)) {
                twins++;
                EXPECT_EQ(Decoded(read_all(other)).bytes(), d.bytes()) << name;
            }
        }
    }
    EXPECT_EQ(valid, 161);
    EXPECT_EQ(twins, 33);
}

TEST(ImageFilesScale, PngSuiteFirstPixelsAndBrokenFiles) {
    NEEDS_SUITE();
    const std::map<std::string, std::string> first = {
        {"basn2c08", "255.255.255.0"}, {"basn6a08", "255.0.8.255"},   {"basn3p08", "1.0.0.0"},
        {"tbbn3p08", "255.255.255.255"}, {"basn0g16", "0.0.0.0"},     {"s01n3p01", "0.0.255.0"},
    };
    for (const auto& [name, wanted] : first) {
        Decoded d(read_all(suite() / (name + ".png")));
        ASSERT_EQ(d.status, images::Status::Ok) << name;
        EXPECT_EQ(d.first(), wanted) << name;
    }
    int broken = 0;
    for (const auto& entry : fs::directory_iterator(suite())) {
        const std::string name = entry.path().stem().string();
        if (name[0] != 'x') continue;
        const bool no_signature = name == "xs1n0g01" || name == "xs2n0g01" || name == "xs4n0g01";
        EXPECT_EQ(Decoded(read_all(entry.path())).status, no_signature ? images::Status::NotImage : images::Status::Bad)
            << name;
        broken += !no_signature;
    }
    EXPECT_EQ(broken, 11);
}

// Runs Python over the script; false when it fails.
bool python(const std::string& script) {
    const fs::path file = fs::temp_directory_path() / ("nuv-bmp-" + std::to_string(::getpid()) + ".py");
    std::ofstream(file) << script;
    const int status = std::system(("python3 " + file.string()).c_str());
    fs::remove(file);
    return status == 0;
}

TEST(ImageFilesScale, BmpAgainstPython) {
    const fs::path made = fs::temp_directory_path() / ("nuv-python-" + std::to_string(::getpid()) + ".bmp");
    const fs::path ours = fs::temp_directory_path() / ("nuv-ours-" + std::to_string(::getpid()) + ".bmp");
    // A 2x2 24-bit bottom-up BMP: red, green over blue, white; rows padded to 4 bytes.
    ASSERT_TRUE(python("import struct\n"
                       "rows = bytes([255,0,0, 255,255,255, 0,0]) + bytes([0,0,255, 0,255,0, 0,0])\n"
                       "head = struct.pack('<2sIHHI', b'BM', 54 + len(rows), 0, 0, 54)\n"
                       "info = struct.pack('<IiiHHIIiiII', 40, 2, 2, 1, 24, 0, len(rows), 2835, 2835, 0, 0)\n"
                       "open('" + made.string() + "', 'wb').write(head + info + rows)\n"));
    Decoded d(read_all(made));
    ASSERT_EQ(d.status, images::Status::Ok);
    const std::vector<uint8_t> wanted = {0, 0, 255, 255, 0, 255, 0, 255, 255, 0, 0, 255, 255, 255, 255, 255};
    EXPECT_EQ(d.bytes(), wanted);
    // Ours, read by Python: 32 bits with an alpha mask, bottom-up.
    const uint8_t pixels[16] = {0, 0, 255, 255, 0, 255, 0, 128, 255, 0, 0, 0, 1, 2, 3, 4};
    images::Bytes bmp;
    ASSERT_TRUE(images::encode(images::Format::Bmp, pixels, 2, 2, &bmp));
    std::ofstream(ours, std::ios::binary).write(reinterpret_cast<const char*>(bmp.data), std::streamsize(bmp.size));
    std::free(bmp.data);
    EXPECT_TRUE(python("import struct\n"
                       "b = open('" + ours.string() + "', 'rb').read()\n"
                       "off, = struct.unpack_from('<I', b, 10)\n"
                       "size, w, h, planes, bits, comp = struct.unpack_from('<IiiHHI', b, 14)\n"
                       "masks = struct.unpack_from('<4I', b, 54)\n"
                       "assert (w, h, bits, comp) == (2, 2, 32, 3), (w, h, bits, comp)\n"
                       "assert masks == (0xFF0000, 0xFF00, 0xFF, 0xFF000000), masks\n"
                       "px = lambda x, y: tuple(b[off + ((h - 1 - y) * w + x) * 4 + i] for i in (2, 1, 0, 3))\n"
                       "got = [px(0, 0), px(1, 0), px(0, 1), px(1, 1)]\n"
                       "assert got == [(255, 0, 0, 255), (0, 255, 0, 128), (0, 0, 255, 0), (3, 2, 1, 4)], got\n"));
    fs::remove(made);
    fs::remove(ours);
}

TEST(ImageFiles, BmpRejectsWhatLiesOutsideItsData) {
    // Headers, palettes and pixel offsets past the end; a run-length image whose runs and moves
    // point outside it still decodes within its own pixels.
    std::vector<uint8_t> bmp(54 + 8, 0);
    const auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; i++) bmp[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put(10, 54, 4), put(14, 40, 4), put(18, 2, 4), put(22, 1, 4), put(26, 1, 2), put(28, 24, 2);
    EXPECT_EQ(Decoded(bmp).status, images::Status::Ok);
    put(10, 1000, 4);
    EXPECT_EQ(Decoded(bmp).status, images::Status::Bad) << "pixel offset past the end";
    put(10, 54, 4), put(14, 4000, 4);
    EXPECT_EQ(Decoded(bmp).status, images::Status::Bad) << "header past the end";
    put(14, 40, 4), put(28, 8, 2), put(46, 200, 4);
    EXPECT_EQ(Decoded(bmp).status, images::Status::Bad) << "palette past the end";
    put(46, 1, 4), put(30, 1, 4), put(10, 58, 4), put(22, 2, 4);  // RLE8, one palette entry
    const uint8_t runs[4] = {255, 0, 0, 2};  // a run of 255 on a 2-wide row, then a move
    std::copy(runs, runs + 4, bmp.begin() + 58);
    Decoded rle(bmp);
    ASSERT_EQ(rle.status, images::Status::Ok);
    EXPECT_EQ(rle.pixels.width, 2);
    put(18, 70000, 4);
    EXPECT_EQ(Decoded(bmp).status, images::Status::Bad) << "wider than 65,535";
    put(18, 65535, 4), put(22, 65535, 4);
    images::Pixels none;
    EXPECT_EQ(images::decode(bmp.data(), bmp.size(), &none, 1000), images::Status::TooMany);
    EXPECT_EQ(none.data, nullptr);
}

TEST(ImageFiles, BmpBitFieldsScaleEachMaskToEightBits) {
    // 32 bits: red over all 32 bits, green over 5, blue over none (0), alpha absent (opaque).
    std::vector<uint8_t> bmp(54 + 12 + 8, 0);
    const auto put = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; i++) bmp[at + size_t(i)] = uint8_t(v >> (8 * i));
    };
    bmp[0] = 'B', bmp[1] = 'M';
    put(10, 66), put(14, 40), put(18, 2), put(22, 1), put(26, 1 | 32 << 16), put(30, 3);
    put(54, 0xFFFFFFFF), put(58, 0x1F), put(62, 0);
    put(66, 0xFFFFFFFF), put(70, 0x80000010);
    Decoded d(bmp);
    ASSERT_EQ(d.status, images::Status::Ok);
    const std::vector<uint8_t> wanted = {0, 255, 255, 255, 0, 131, 127, 255};
    EXPECT_EQ(d.bytes(), wanted);
}

TEST(ImageFiles, ScaleAndFlip) {
    eval_environment();
    pixels::Record* r = pixels::create(2, 2, 0xFF000000);
    for (int i = 0; i < 4; i++) r->data[i * 4] = uint8_t(i + 1);  // blue 1 2 / 3 4
    pixels::Record* big = pixels::scale(r, 4, 4);
    const uint8_t wanted[16] = {1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4};
    for (int i = 0; i < 16; i++) EXPECT_EQ(big->data[i * 4], wanted[i]) << i;
    pixels::Record* flipped = pixels::flip_vertical(r);
    EXPECT_EQ(flipped->data[0], 3);
    EXPECT_EQ(flipped->data[12], 2);
    for (auto* each : {r, big, flipped}) pixels::destroy(each);
}

TEST(ImageFiles, DecodingAFileAndTheEncoderErrors) {
    const fs::path file = fs::temp_directory_path() / ("nuv-img-" + std::to_string(::getpid()) + ".png");
    std::vector<uint8_t> white(32 * 32 * 4, 255);
    images::Bytes png;
    ASSERT_TRUE(images::encode(images::Format::Png, white.data(), 32, 32, &png));
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(png.data), std::streamsize(png.size));
    std::free(png.data);
    check_cases({
        {("system/codecs/png/decode %" + file.string() + " 0").c_str(), "0"},
        {("i: system/codecs/gif/decode %" + file.string() + " i/size").c_str(), "32x32"},
        {"e: try [system/codecs/png/decode %/no/such/file.png] reduce [e/id e/arg1]", "[cannot-open %/no/such/file.png]"},
        {"e: try [system/codecs/png/decode %/proc/self/status] reduce [e/id e/arg1]", "[bad-media none]"},
    });
    fs::remove(file);
    try {
        images::Bytes out;
        pixels::Record* r = pixels::create(1, 1, 0);
        struct Free {
            pixels::Record* r;
            ~Free() { pixels::destroy(r); }
        } owner{r};
        pixels::encode(r, 5, &out);
        ADD_FAILURE() << "an unknown format encoded";
    } catch (const Unwind&) {
        EXPECT_EQ(raised().id, Err::NoCodec);
        ASSERT_EQ(raised().argc, 1);
        EXPECT_EQ(cell::get_int(&raised().args[0]), 5);
    }
}

TEST(ImageFiles, FuzzCorpusReplays) {
    const auto inputs = fuzz_corpus("image");
    for (const std::vector<uint8_t>& bytes : inputs) fuzz::image_input(bytes.data(), bytes.size());
    EXPECT_GT(inputs.size(), 20u);
}

}  // namespace
}  // namespace nuv::test
