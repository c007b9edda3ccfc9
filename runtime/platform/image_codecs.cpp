#include "runtime/platform/image_codecs.h"

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/platform/files.h"
#include "runtime/platform/http.h"
#include "runtime/platform/pixels.h"
#include "runtime/stack.h"
#include "runtime/syntax/start_texts.h"
#include "runtime/system.h"

namespace nuv::image_codecs {

using T = TypeId;

namespace {

// The image the bytes hold into `out`, none when no codec knows them; `slot` comes from
// image::reserve, made before a series' bytes are read as it may move them.
Cell* decode_into(NodeId slot, const uint8_t* bytes, size_t size, Cell* out) {
    pixels::Record* record = pixels::decode(bytes, size);
    if (!record) {
        none::set(out);
        return out;
    }
    return image::adopt(out, record, slot);
}

Cell* decode_bytes(const Cell* binary, Cell* out) {
    const Cell held = *binary;
    const NodeId slot = image::reserve(1);
    return decode_into(slot, binary::rs_head(&held), static_cast<size_t>(binary::rs_length(&held)), out);
}

// ---- The codec objects ----

struct Codec {
    const char* key;
    const char* fields;  // its constant fields as construct's spec
};

constexpr Codec kCodecs[] = {
    {"png", "title: \"\" name: PNG mime-type: [image/png] suffixes: [%.png]"},
    {"jpeg", "title: \"\" name: JPEG mime-type: [image/jpeg] suffixes: [%.jpg %.jpeg %.jpe %.jfif]"},
    {"bmp", "title: \"\" name: BMP mime-type: [image/bmp] suffixes: [%.bmp]"},
    {"gif", "title: \"\" name: GIF mime-type: [image/gif] suffixes: [%.gif]"},
    {"tiff", "title: \"\" name: TIFF mime-type: [image/tiff] suffixes: [%.tif %.tiff]"},
};

// Each codec's encode: img [image!] where [any-type!], the arguments last first.
template <int32_t Format>
uint64_t encode_entry(const uint64_t* args) {
    const Cell where = *routines::arg_cell(args[0]);
    const Cell image = *routines::arg_cell(args[1]);
    encode(&image, Format, &where, stack::arg(0));
    return 0;
}
// By the codecs' order: PNG 1, JPEG 3, BMP 0, GIF 2, TIFF 4.
constexpr routines::Entry kEncoders[] = {encode_entry<1>, encode_entry<3>, encode_entry<0>, encode_entry<2>,
                                         encode_entry<4>};

uint64_t decode_entry(const uint64_t* args) {
    const Cell data = *routines::arg_cell(args[0]);
    decode(&data, stack::arg(0));
    return 0;
}

static_assert(std::size(kEncoders) == std::size(kCodecs));

}  // namespace

Cell* decode(const Cell* data, Cell* out) {
    switch (cell::type_of(data)) {
    case T::Binary: return decode_bytes(data, out);
    case T::File:
    case T::Url: {
        const std::string bytes =
            cell::is(data, T::File) ? files::read_bytes(data) : http::read_bytes(data);
        decode_into(image::reserve(1), reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out);
        if (!cell::is(out, T::Image)) fire(Err::BadMedia);
        return out;
    }
    default: fire(Err::InvalidArg, data);
    }
}

// A file or url destination gets new bytes, as none does: save writes them there.
Cell* encode(const Cell* image, int32_t format, const Cell* where, Cell* out) {
    const bool named = cell::is(where, T::File) || cell::is(where, T::Url);
    if (!named && !cell::is(where, T::None) && !cell::is(where, T::Binary)) fire(Err::InvalidArg, where);
    host::images::Bytes bytes;
    pixels::encode(image::record_of(image), format, &bytes);
    const Cell target = *where;
    if (!cell::is(&target, T::Binary)) {
        binary::load(bytes.data, bytes.size, out);
    } else {
        *out = target;
        binary::append_bytes(out, bytes.data, bytes.size);
    }
    std::free(bytes.data);
    return out;
}

void init() {
    if (!system_object::codecs()) return;  // a system object without codecs takes none
    const stack::Mark mark;
    const Cell* decoder = routines::push("data [any-type!] return: [image! none!]", decode_entry, routines::kNoResult);
    for (size_t k = 0; k < std::size(kCodecs); k++) {
        const std::string_view fields = kCodecs[k].fields;
        Cell* spec = start_texts::push(fields);
        Cell* codec = object::construct(stack::reserve(), spec, nullptr, true);
        Cell* encoder = routines::push("img [image!] where [any-type!] return: [binary!]", kEncoders[k],
                                       routines::kNoResult);
        object::add_field(codec, "encode", encoder);
        object::add_field(codec, "decode", decoder);
        Cell* key = stack::push(word::make_global(kCodecs[k].key));
        map::put(const_cast<Cell*>(system_object::codecs()), key, codec, false);  // found again: put allocates
    }
    mark.restore();
}

}  // namespace nuv::image_codecs
