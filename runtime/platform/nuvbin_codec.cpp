#include "runtime/platform/nuvbin_codec.h"

#include <string>
#include <string_view>

#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/platform/files.h"
#include "runtime/platform/http.h"
#include "runtime/platform/nuvbin.h"
#include "runtime/stack.h"
#include "runtime/syntax/start_texts.h"
#include "runtime/system.h"

namespace nuv::nuvbin_codec {

using T = TypeId;

namespace {

// A document of this many bytes or fewer holds no value.
constexpr size_t kLeastDocument = 10;

void encode_as(const Cell* data, bool compact, Cell* out) {
    const Cell held = *data;
    if (compact) {
        nuvbin::encode_compact(&held, out);
    } else {
        nuvbin::encode_standard(&held, out);
    }
}

// The values of a document: the one value when it holds exactly one, else the block of them.
// `payload` is the binary! holding it, or `bytes` holds it when `payload` is a file!.
void decode_document(const Cell* payload, const std::string* bytes, Cell* out) {
    const Cell held_payload = *payload;
    const size_t size = bytes ? bytes->size() : static_cast<size_t>(binary::rs_length(&held_payload));
    if (size <= kLeastDocument) fire(Err::InvalidData, &held_payload);
    const stack::Mark mark;
    Cell* values = block::make_at(stack::reserve(), 4);
    // Read after the block is made: making it may move the binary's bytes.
    const uint8_t* data = bytes ? reinterpret_cast<const uint8_t*>(bytes->data()) : binary::rs_head(&held_payload);
    nuvbin::decode(data, size, values);
    const Cell held = *values;
    if (block::count(cell::node(&held)) == 1) {
        *out = block::at(cell::node(&held), 0);
    } else {
        *out = held;
    }
    mark.restore();
}

// The compact? field of the codec that system/codecs holds: the compact form unless the field
// is none or false. May allocate.
bool compact_wanted() {
    const Cell* codecs = system_object::codecs();
    if (!codecs) return true;
    const stack::Mark mark;
    Cell* map = stack::push(codecs);
    Cell* key = stack::push(word::make_global("nuvbin"));
    const Cell codec = *map::select(map, key, nullptr, false, false, false, false, nullptr, nullptr,
                                    false, false);
    mark.restore();
    if (!cell::is(&codec, T::Object)) return true;
    const Cell field = *word::make_global("compact?");
    return logic::value_is_true(object::get_by_word(&codec, &field), false, nullptr);
}

// encode: data [any-type!] where [any-type!], the arguments last first.
uint64_t encode_entry(const uint64_t* args) {
    const bool compact = compact_wanted();
    encode_as(routines::arg_cell(args[1]), compact, stack::arg(0));
    return 0;
}

// encode*: data [any-type!] compact? [logic!].
uint64_t encode_star_entry(const uint64_t* args) {
    const bool compact = routines::arg_int(args[0]) != 0;
    encode_as(routines::arg_cell(args[1]), compact, stack::arg(0));
    return 0;
}

// decode: payload [any-type!].
uint64_t decode_entry(const uint64_t* args) {
    const Cell payload = *routines::arg_cell(args[0]);
    switch (cell::type_of(&payload)) {
    case T::Binary: {
        decode_document(&payload, nullptr, stack::arg(0));
        return 0;
    }
    case T::File: {
        const std::string bytes = files::read_bytes(&payload);
        decode_document(&payload, &bytes, stack::arg(0));
        return 0;
    }
    case T::Url: {
        const std::string bytes = http::read_bytes(&payload);
        decode_document(&payload, &bytes, stack::arg(0));
        return 0;
    }
    default: fire(Err::InvalidData, &payload);
    }
}

constexpr std::string_view kFields = "title: \"Nuvbin codec\" name: Nuvbin mime-type: [] suffixes: [%.nuvbin] compact?: true";

}  // namespace

void init() {
    if (!system_object::codecs()) return;  // a system object without codecs takes none
    const stack::Mark mark;
    Cell* spec = start_texts::push(kFields);
    Cell* codec = object::construct(stack::reserve(), spec, nullptr, false);
    object::add_field(codec, "encode",
                      routines::push("data [any-type!] where [any-type!] return: [binary!]", encode_entry,
                                     routines::kNoResult));
    object::add_field(codec, "encode*",
                      routines::push("data [any-type!] compact? [logic!] return: [binary!]", encode_star_entry,
                                     routines::kNoResult));
    object::add_field(codec, "decode",
                      routines::push("payload [any-type!] return: [any-type!]", decode_entry, routines::kNoResult));
    Cell* key = stack::push(word::make_global("nuvbin"));
    map::put(const_cast<Cell*>(system_object::codecs()), key, codec, false);
    mark.restore();
}

}  // namespace nuv::nuvbin_codec
