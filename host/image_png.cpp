// PNG through libpng's classic interface: no gamma transform, 16-bit samples cut to 8 bits,
// palette, grey and tRNS expanded to BGRA. libpng's error exit jumps back into the function
// that set it, whose frame holds nothing with a destructor.
#include <png.h>

#include <csetjmp>

#include "host/image_formats.h"

namespace nuv::host::images::detail {

namespace {

void read_bytes(png_structp png, png_bytep out, size_t n) {
    if (static_cast<Source*>(png_get_io_ptr(png))->read(out, n) != n) png_error(png, "truncated");
}

void write_bytes(png_structp png, png_bytep bytes, size_t n) {
    if (!static_cast<Sink*>(png_get_io_ptr(png))->write(bytes, n)) png_error(png, "no memory");
}

void flush(png_structp) {}
void fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quiet(png_structp, png_const_charp) {}

}  // namespace

Status decode_png(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, quiet);
    if (!png) return Status::NoMemory;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return Status::NoMemory;
    }
    Source source{bytes, size};
    uint8_t* volatile data = nullptr;
    png_bytep* volatile rows = nullptr;
    volatile Status status = Status::Bad;
    if (setjmp(png_jmpbuf(png))) {
        std::free(rows);
        std::free(data);
        png_destroy_read_struct(&png, &info, nullptr);
        return status;
    }
    png_set_read_fn(png, &source, read_bytes);
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colour = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colour, nullptr, nullptr, nullptr);
    status = check_size(width, height, max_pixels);
    if (status != Status::Ok) png_longjmp(png, 1);
    status = Status::Bad;
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    if (depth == 16) png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_bgr(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t{width} * 4) png_longjmp(png, 1);
    data = alloc_pixels(width, height);
    rows = static_cast<png_bytep*>(std::malloc(sizeof(png_bytep) * height));
    if (!data || !rows) {
        status = Status::NoMemory;
        png_longjmp(png, 1);
    }
    for (png_uint_32 y = 0; y < height; y++) rows[y] = data + size_t{y} * width * 4;
    png_read_image(png, rows);
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    *out = Pixels{static_cast<int32_t>(width), static_cast<int32_t>(height), data};
    return Status::Ok;
}

bool encode_png(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, quiet);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, sink, write_bytes, flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png);
    for (int32_t y = 0; y < height; y++) png_write_row(png, bgra + size_t(y) * size_t(width) * 4);
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace nuv::host::images::detail
