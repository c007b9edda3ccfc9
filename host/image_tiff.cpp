// TIFF through libtiff: the first directory. 8-bit RGB and RGBA strips are read as they are
// (unassociated alpha stays straight); every other layout goes through the library's RGBA
// reader, whose premultiplied result is made straight again. Written as LZW-compressed RGBA
// strips with unassociated alpha.
#include <tiffio.h>

#include <algorithm>
#include <vector>

#include "host/dynamic.h"
#include "host/image_formats.h"

namespace nuv::host::images::detail {

namespace {

// libtiff is loaded on the first TIFF, not at start-up: with the libraries it needs it would
// be most of the program's loading time.
struct Library {
    decltype(&::TIFFOpenOptionsAlloc) OpenOptionsAlloc;
    decltype(&::TIFFOpenOptionsSetMaxSingleMemAlloc) OpenOptionsSetMaxSingleMemAlloc;
    decltype(&::TIFFOpenOptionsSetErrorHandlerExtR) OpenOptionsSetErrorHandlerExtR;
    decltype(&::TIFFOpenOptionsSetWarningHandlerExtR) OpenOptionsSetWarningHandlerExtR;
    decltype(&::TIFFClientOpenExt) ClientOpenExt;
    decltype(&::TIFFOpenOptionsFree) OpenOptionsFree;
    decltype(&::TIFFIsTiled) IsTiled;
    decltype(&::TIFFGetFieldDefaulted) GetFieldDefaulted;
    decltype(&::TIFFGetField) GetField;
    decltype(&::TIFFScanlineSize64) ScanlineSize64;
    decltype(&::TIFFReadScanline) ReadScanline;
    decltype(&::TIFFReadRGBAImageOriented) ReadRGBAImageOriented;
    decltype(&::TIFFClose) Close;
    decltype(&::TIFFSetField) SetField;
    decltype(&::TIFFDefaultStripSize) DefaultStripSize;
    decltype(&::TIFFWriteScanline) WriteScanline;
    decltype(&::TIFFFlush) Flush;
};
Library g_tiff{};
int g_state = 0;  // 0 not tried, 1 loaded, -1 unavailable

bool loaded() {
    if (g_state == 0) {
        g_state = load_library("libtiff.so.6",
                               Entry{"TIFFOpenOptionsAlloc", &g_tiff.OpenOptionsAlloc},
                               Entry{"TIFFOpenOptionsSetMaxSingleMemAlloc", &g_tiff.OpenOptionsSetMaxSingleMemAlloc},
                               Entry{"TIFFOpenOptionsSetErrorHandlerExtR", &g_tiff.OpenOptionsSetErrorHandlerExtR},
                               Entry{"TIFFOpenOptionsSetWarningHandlerExtR", &g_tiff.OpenOptionsSetWarningHandlerExtR},
                               Entry{"TIFFClientOpenExt", &g_tiff.ClientOpenExt},
                               Entry{"TIFFOpenOptionsFree", &g_tiff.OpenOptionsFree},
                               Entry{"TIFFIsTiled", &g_tiff.IsTiled},
                               Entry{"TIFFGetFieldDefaulted", &g_tiff.GetFieldDefaulted},
                               Entry{"TIFFGetField", &g_tiff.GetField},
                               Entry{"TIFFScanlineSize64", &g_tiff.ScanlineSize64},
                               Entry{"TIFFReadScanline", &g_tiff.ReadScanline},
                               Entry{"TIFFReadRGBAImageOriented", &g_tiff.ReadRGBAImageOriented},
                               Entry{"TIFFClose", &g_tiff.Close},
                               Entry{"TIFFSetField", &g_tiff.SetField},
                               Entry{"TIFFDefaultStripSize", &g_tiff.DefaultStripSize},
                               Entry{"TIFFWriteScanline", &g_tiff.WriteScanline},
                               Entry{"TIFFFlush", &g_tiff.Flush})
                              ? 1
                              : -1;
    }
    return g_state == 1;
}

tmsize_t read_source(thandle_t h, void* out, tmsize_t n) {
    return static_cast<tmsize_t>(static_cast<Source*>(h)->read(out, static_cast<size_t>(std::max<tmsize_t>(n, 0))));
}
tmsize_t write_none(thandle_t, void*, tmsize_t) { return -1; }
toff_t seek_in(size_t size, size_t* at, toff_t offset, int whence) {
    const uint64_t base = whence == SEEK_CUR ? *at : whence == SEEK_END ? size : 0;
    const uint64_t to = base + offset;  // toff_t is unsigned; a negative step wraps to a huge value
    if (to > (uint64_t{1} << 40)) return static_cast<toff_t>(-1);
    *at = static_cast<size_t>(to);
    return to;
}
toff_t seek_source(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<Source*>(h);
    const toff_t to = seek_in(s->size, &s->at, offset, whence);
    if (s->at > s->size) s->at = s->size;
    return to;
}
toff_t size_source(thandle_t h) { return static_cast<Source*>(h)->size; }

tmsize_t read_none(thandle_t, void*, tmsize_t) { return 0; }
tmsize_t write_sink(thandle_t h, void* bytes, tmsize_t n) {
    return static_cast<Sink*>(h)->write(bytes, static_cast<size_t>(n)) ? n : -1;
}
toff_t seek_sink(thandle_t h, toff_t offset, int whence) {
    auto* s = static_cast<Sink*>(h);
    return seek_in(s->size, &s->at, offset, whence);
}
toff_t size_sink(thandle_t h) { return static_cast<Sink*>(h)->size; }

int close_none(thandle_t) { return 0; }
int map_none(thandle_t, void**, toff_t*) { return 0; }
void unmap_none(thandle_t, void*, toff_t) {}
int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFF* open(const char* mode, thandle_t handle, TIFFReadWriteProc read, TIFFReadWriteProc write, TIFFSeekProc seek,
           TIFFSizeProc size) {
    TIFFOpenOptions* options = g_tiff.OpenOptionsAlloc();
    if (!options) return nullptr;
    g_tiff.OpenOptionsSetMaxSingleMemAlloc(options, tmsize_t{256} << 20);
    g_tiff.OpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    g_tiff.OpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    TIFF* tif = g_tiff.ClientOpenExt("memory", mode, handle, read, write, seek, close_none, size, map_none, unmap_none,
                                  options);
    g_tiff.OpenOptionsFree(options);
    return tif;
}

// 8-bit contiguous RGB or RGBA strips, row by row; false when the layout is another.
bool read_plain(TIFF* tif, uint32_t width, uint32_t height, uint8_t* data, bool* failed) {
    uint16_t bits = 0, samples = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, extra_count = 0;
    uint16_t* extra = nullptr;
    if (g_tiff.IsTiled(tif) || !g_tiff.GetField(tif, TIFFTAG_BITSPERSAMPLE, &bits) || bits != 8 ||
        !g_tiff.GetField(tif, TIFFTAG_PHOTOMETRIC, &photometric) || photometric != PHOTOMETRIC_RGB)
        return false;
    g_tiff.GetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    g_tiff.GetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    g_tiff.GetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
    const bool alpha = samples == 4 && extra_count == 1;
    if (planar != PLANARCONFIG_CONTIG || !(samples == 3 || alpha)) return false;
    const bool associated = alpha && extra[0] == EXTRASAMPLE_ASSOCALPHA;
    if (g_tiff.ScanlineSize64(tif) != uint64_t{width} * samples) return false;
    std::vector<uint8_t> row(size_t{width} * samples);
    for (uint32_t y = 0; y < height; y++) {
        if (g_tiff.ReadScanline(tif, row.data(), y, 0) < 0) {
            *failed = true;
            return true;
        }
        uint8_t* p = data + size_t{y} * width * 4;
        for (uint32_t x = 0; x < width; x++, p += 4) {
            const uint8_t* s = row.data() + size_t{x} * samples;
            const unsigned a = alpha ? s[3] : 255;
            const auto straight = [&](unsigned v) {
                return static_cast<uint8_t>(associated && a ? std::min(255u, (v * 255 + a / 2) / a) : v);
            };
            p[0] = straight(s[2]);
            p[1] = straight(s[1]);
            p[2] = straight(s[0]);
            p[3] = static_cast<uint8_t>(a);
        }
    }
    return true;
}

// The library's RGBA reader (memory order R, G, B, A, premultiplied) to straight BGRA.
bool read_rgba(TIFF* tif, uint32_t width, uint32_t height, uint8_t* data) {
    if (!g_tiff.ReadRGBAImageOriented(tif, width, height, reinterpret_cast<uint32_t*>(data), ORIENTATION_TOPLEFT, 0))
        return false;
    const size_t n = size_t{width} * height;
    for (uint8_t* p = data; p < data + n * 4; p += 4) {
        const unsigned a = p[3];
        std::swap(p[0], p[2]);
        if (a && a < 255)
            for (int c = 0; c < 3; c++) p[c] = static_cast<uint8_t>(std::min(255u, (p[c] * 255u + a / 2) / a));
    }
    return true;
}

}  // namespace

Status decode_tiff(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels) {
    if (!loaded()) return Status::Bad;
    Source source{bytes, size};
    TIFF* tif = open("rm", &source, read_source, write_none, seek_source, size_source);
    if (!tif) return Status::Bad;
    uint32_t width = 0, height = 0;
    g_tiff.GetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    g_tiff.GetField(tif, TIFFTAG_IMAGELENGTH, &height);
    Status status = check_size(width, height, max_pixels);
    uint8_t* data = status == Status::Ok ? alloc_pixels(width, height) : nullptr;
    if (status == Status::Ok && !data) status = Status::NoMemory;
    if (data) {
        bool failed = false;
        if (!read_plain(tif, width, height, data, &failed)) failed = !read_rgba(tif, width, height, data);
        if (failed) {
            std::free(data);
            status = Status::Bad;
        } else {
            *out = Pixels{static_cast<int32_t>(width), static_cast<int32_t>(height), data};
        }
    }
    g_tiff.Close(tif);
    return status;
}

bool encode_tiff(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink) {
    if (!loaded()) return false;
    TIFF* tif = open("wm", sink, read_none, write_sink, seek_sink, size_sink);
    if (!tif) return false;
    const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
    g_tiff.SetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(width));
    g_tiff.SetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(height));
    g_tiff.SetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    g_tiff.SetField(tif, TIFFTAG_SAMPLESPERPIXEL, 4);
    g_tiff.SetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    g_tiff.SetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    g_tiff.SetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    g_tiff.SetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    g_tiff.SetField(tif, TIFFTAG_ROWSPERSTRIP, g_tiff.DefaultStripSize(tif, 0));
    std::vector<uint8_t> row(size_t(width) * 4);
    bool ok = true;
    for (int32_t y = 0; ok && y < height; y++) {
        const uint8_t* s = bgra + size_t(y) * size_t(width) * 4;
        for (size_t x = 0; x < size_t(width); x++) {
            row[x * 4] = s[x * 4 + 2];
            row[x * 4 + 1] = s[x * 4 + 1];
            row[x * 4 + 2] = s[x * 4];
            row[x * 4 + 3] = s[x * 4 + 3];
        }
        ok = g_tiff.WriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) >= 0;
    }
    ok = g_tiff.Flush(tif) == 1 && ok;
    g_tiff.Close(tif);
    return ok;
}

}  // namespace nuv::host::images::detail
