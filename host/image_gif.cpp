// GIF through giflib: frame 0 placed on the logical screen (what it leaves uncovered is
// transparent); the transparent index keeps its palette colour at alpha 0. Writing keeps up to
// 256 colours exactly and maps more onto a fixed 6 x 7 x 6 palette; alpha below 128 is the
// transparent index.
#include <gif_lib.h>

#include <algorithm>
#include <unordered_map>
#include <vector>

#include "host/image_formats.h"

namespace nuv::host::images::detail {

namespace {

int read_bytes(GifFileType* gif, GifByteType* out, int n) {
    return static_cast<int>(static_cast<Source*>(gif->UserData)->read(out, static_cast<size_t>(std::max(n, 0))));
}

int write_bytes(GifFileType* gif, const GifByteType* bytes, int n) {
    return static_cast<Sink*>(gif->UserData)->write(bytes, static_cast<size_t>(n)) ? n : 0;
}

// Frame 0's rows into the canvas; its extension blocks before it give the transparent index.
Status read_first_frame(GifFileType* gif, Pixels* out, int64_t max_pixels) {
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) return Status::Bad;
        if (type == TERMINATE_RECORD_TYPE) return Status::Bad;
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) return Status::Bad;
            if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4 && (block[1] & 1)) transparent = block[4];
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return Status::Bad;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE) continue;
        if (DGifGetImageDesc(gif) == GIF_ERROR) return Status::Bad;
        const GifImageDesc& frame = gif->Image;
        const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
        if (!map || frame.Width <= 0 || frame.Height <= 0 || frame.Left < 0 || frame.Top < 0) return Status::Bad;
        const int64_t width = std::max<int64_t>(gif->SWidth, int64_t{frame.Left} + frame.Width);
        const int64_t height = std::max<int64_t>(gif->SHeight, int64_t{frame.Top} + frame.Height);
        const Status fits = check_size(width, height, max_pixels);
        if (fits != Status::Ok) return fits;
        uint8_t* data = alloc_pixels(width, height);
        std::vector<GifPixelType> line(static_cast<size_t>(frame.Width));
        if (!data) return Status::NoMemory;
        // Interlaced rows come in four passes.
        constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        const int passes = frame.Interlace ? 4 : 1;
        for (int pass = 0; pass < passes; pass++) {
            const int start = frame.Interlace ? kStart[pass] : 0, step = frame.Interlace ? kStep[pass] : 1;
            for (int row = start; row < frame.Height; row += step) {
                if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR) {
                    std::free(data);
                    return Status::Bad;
                }
                uint8_t* p = data + ((frame.Top + row) * width + frame.Left) * 4;
                for (int x = 0; x < frame.Width; x++, p += 4) {
                    const int index = line[static_cast<size_t>(x)];
                    if (index >= map->ColorCount) {
                        p[3] = 255;  // black
                        continue;
                    }
                    const GifColorType& c = map->Colors[index];
                    p[0] = c.Blue;
                    p[1] = c.Green;
                    p[2] = c.Red;
                    p[3] = index == transparent ? 0 : 255;
                }
            }
        }
        *out = Pixels{static_cast<int32_t>(width), static_cast<int32_t>(height), data};
        return Status::Ok;
    }
}

uint32_t rgb_of(const uint8_t* p) { return uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0]; }

// Each pixel's palette index, and the palette: exact when the colours (and the transparent
// entry) fit 256, else the fixed palette. Answers the transparent index or -1.
int index_pixels(const uint8_t* bgra, size_t pixels, std::vector<uint8_t>* indices, std::vector<GifColorType>* palette) {
    std::unordered_map<uint32_t, int> seen;
    int transparent = -1;
    bool exact = true;
    for (size_t i = 0; i < pixels && exact; i++) {
        const uint8_t* p = bgra + i * 4;
        const bool clear = p[3] < 128;
        if (clear && transparent >= 0) continue;
        const uint32_t key = rgb_of(p);
        if (!clear && seen.count(key)) continue;
        if (palette->size() == 256) {
            exact = false;
            break;
        }
        const int index = static_cast<int>(palette->size());
        palette->push_back(GifColorType{p[2], p[1], p[0]});
        if (clear) transparent = index;
        else seen.emplace(key, index);
    }
    if (!exact) {
        palette->clear();
        for (int r = 0; r < 6; r++)
            for (int g = 0; g < 7; g++)
                for (int b = 0; b < 6; b++)
                    palette->push_back(GifColorType{static_cast<GifByteType>(r * 51), static_cast<GifByteType>(g * 255 / 6),
                                                    static_cast<GifByteType>(b * 51)});
        transparent = static_cast<int>(palette->size());
        palette->push_back(GifColorType{0, 0, 0});
    }
    bool any_clear = false;
    for (size_t i = 0; i < pixels; i++) {
        const uint8_t* p = bgra + i * 4;
        int index;
        if (p[3] < 128) {
            index = transparent;
            any_clear = true;
        } else if (exact) {
            index = seen.at(rgb_of(p));
        } else {
            index = ((p[2] * 5 + 127) / 255 * 7 + (p[1] * 6 + 127) / 255) * 6 + (p[0] * 5 + 127) / 255;
        }
        (*indices)[i] = static_cast<uint8_t>(index);
    }
    return any_clear ? transparent : -1;
}

}  // namespace

Status decode_gif(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels) {
    Source source{bytes, size};
    int error = 0;
    GifFileType* gif = DGifOpen(&source, read_bytes, &error);
    if (!gif) return error == D_GIF_ERR_NOT_ENOUGH_MEM ? Status::NoMemory : Status::Bad;
    const Status status = read_first_frame(gif, out, max_pixels);
    DGifCloseFile(gif, &error);
    return status;
}

bool encode_gif(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink) {
    const size_t pixels = size_t(width) * size_t(height);
    std::vector<uint8_t> indices(pixels);
    std::vector<GifColorType> palette;
    const int transparent = index_pixels(bgra, pixels, &indices, &palette);
    int entries = 2;
    while (entries < static_cast<int>(palette.size())) entries *= 2;
    palette.resize(static_cast<size_t>(entries), GifColorType{0, 0, 0});
    int error = 0;
    GifFileType* gif = EGifOpen(sink, write_bytes, &error);
    if (!gif) return false;
    ColorMapObject* map = GifMakeMapObject(entries, palette.data());
    bool ok = map != nullptr;
    EGifSetGifVersion(gif, true);
    ok = ok && EGifPutScreenDesc(gif, width, height, 8, 0, map) != GIF_ERROR;
    if (ok && transparent >= 0) {
        const GifByteType control[4] = {1, 0, 0, static_cast<GifByteType>(transparent)};
        ok = EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, control) != GIF_ERROR;
    }
    ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_ERROR;
    for (int32_t y = 0; ok && y < height; y++)
        ok = EGifPutLine(gif, indices.data() + size_t(y) * size_t(width), width) != GIF_ERROR;
    ok = EGifCloseFile(gif, &error) != GIF_ERROR && ok;
    GifFreeMapObject(map);
    return ok;
}

}  // namespace nuv::host::images::detail
