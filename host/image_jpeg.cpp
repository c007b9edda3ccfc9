// JPEG through libjpeg-turbo, decoded straight to BGRA (CMYK by its inverted Adobe form) and
// encoded at quality 90 without alpha. The library's error exit jumps back into the function
// that set it, whose frame holds nothing with a destructor.
#include <cstdio>  // jpeglib.h needs FILE
#include <csetjmp>

#include <jpeglib.h>

#include "host/image_formats.h"

namespace nuv::host::images::detail {

namespace {

struct ErrorExit {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

void fail(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorExit*>(info->err)->jump, 1); }
void quiet(j_common_ptr, int) {}

void quiet_errors(ErrorExit* exit) {
    jpeg_std_error(&exit->manager);
    exit->manager.error_exit = fail;
    exit->manager.emit_message = quiet;
}

// Inverted CMYK (as Adobe writes it) in place to BGRA.
void cmyk_to_bgra(uint8_t* p, size_t pixels) {
    for (size_t i = 0; i < pixels; i++, p += 4) {
        const unsigned c = p[0], m = p[1], y = p[2], k = p[3];
        p[0] = static_cast<uint8_t>(y * k / 255);
        p[1] = static_cast<uint8_t>(m * k / 255);
        p[2] = static_cast<uint8_t>(c * k / 255);
        p[3] = 255;
    }
}

}  // namespace

Status decode_jpeg(const uint8_t* bytes, size_t size, Pixels* out, int64_t max_pixels) {
    jpeg_decompress_struct info;
    ErrorExit exit;
    info.err = &exit.manager;
    quiet_errors(&exit);
    uint8_t* volatile data = nullptr;
    volatile Status status = Status::Bad;
    if (setjmp(exit.jump)) {
        jpeg_destroy_decompress(&info);
        std::free(data);
        return status;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    status = check_size(info.image_width, info.image_height, max_pixels);
    if (status != Status::Ok) std::longjmp(exit.jump, 1);
    status = Status::Bad;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    const size_t width = info.output_width, height = info.output_height;
    if (info.output_components != 4 || width != info.image_width || height != info.image_height)
        std::longjmp(exit.jump, 1);
    data = alloc_pixels(int64_t(width), int64_t(height));
    if (!data) {
        status = Status::NoMemory;
        std::longjmp(exit.jump, 1);
    }
    while (info.output_scanline < height) {
        JSAMPROW row = data + size_t{info.output_scanline} * width * 4;
        if (jpeg_read_scanlines(&info, &row, 1) != 1) std::longjmp(exit.jump, 1);
    }
    if (cmyk) cmyk_to_bgra(data, width * height);
    jpeg_destroy_decompress(&info);
    *out = Pixels{static_cast<int32_t>(width), static_cast<int32_t>(height), data};
    return Status::Ok;
}

bool encode_jpeg(const uint8_t* bgra, int32_t width, int32_t height, Sink* sink) {
    jpeg_compress_struct info;
    ErrorExit exit;
    info.err = &exit.manager;
    quiet_errors(&exit);
    // The library's output buffer; its address escapes, so it lives in memory across the jump.
    unsigned char* target = nullptr;
    unsigned long length = 0;
    if (setjmp(exit.jump)) {
        jpeg_destroy_compress(&info);
        std::free(target);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &target, &length);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = 4;
    info.in_color_space = JCS_EXT_BGRA;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(bgra) + size_t{info.next_scanline} * size_t(width) * 4;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    const bool ok = sink->write(target, length);
    jpeg_destroy_compress(&info);
    std::free(target);
    return ok;
}

}  // namespace nuv::host::images::detail
