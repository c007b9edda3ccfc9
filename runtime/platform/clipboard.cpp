#include "runtime/platform/clipboard.h"

#include <string>
#include <vector>

#include "host/clipboard.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/errors.h"
#include "runtime/evaluator/routines.h"
#include "runtime/platform/pixels.h"
#include "runtime/stack.h"

namespace nuv::clipboard {

using T = TypeId;

namespace {

// What the process keeps beside the desktop's text.
struct Kept {
    enum class Kind { Nothing, Files, Image } kind = Kind::Nothing;
    std::vector<std::string> files;  // UTF-8 paths
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;  // BGRA
};
Kept g_kept;

void read_kept(Cell* out) {
    switch (g_kept.kind) {
    case Kept::Kind::Nothing: none::set(out); return;
    case Kept::Kind::Files: {
        block::make_at(out, static_cast<int32_t>(g_kept.files.size()));
        for (const std::string& path : g_kept.files) {
            Cell* file = string::load_at(reinterpret_cast<const uint8_t*>(path.data()), path.size(), out, string::kUtf8);
            cell::set_type(file, T::File);
        }
        return;
    }
    case Kept::Kind::Image: {
        const NodeId slot = image::reserve(1);
        image::adopt(out, pixels::copy_pixels(g_kept.width, g_kept.height, 0, g_kept.pixels.data()), slot);
        return;
    }
    }
}

uint64_t read_entry(const uint64_t*) {
    Cell* out = stack::arg(0);
    std::string text;
    if (!host::clipboard::read_text(&text)) {
        logic::set(out, false);
        return 0;
    }
    if (text.empty()) {
        read_kept(out);
        return 0;
    }
    std::erase(text, '\r');
    string::load(reinterpret_cast<const uint8_t*>(text.data()), text.size(), out, string::kUtf8);
    return 0;
}

// The value as what to keep (the text stays as it is); raises script invalid-arg for a value
// the clipboard does not take.
Kept kept_of(const Cell* value) {
    Kept kept;
    switch (cell::type_of(value)) {
    case T::None:
    case T::String: break;
    case T::Block: {
        kept.kind = Kept::Kind::Files;
        const int32_t n = block::rs_length(value);
        for (int32_t i = 0; i < n; i++) {
            const Cell item = block::rs_head(const_cast<Cell*>(value))[i];
            if (!cell::is(&item, T::File) && !cell::is(&item, T::String)) fire(Err::InvalidArg, &item);
            kept.files.push_back(string::to_std_utf8(&item));
        }
        break;
    }
    case T::Image: {
        const image::Record* record = image::record_of(value);
        if (!record) break;  // no pixels: it empties the clipboard
        kept.kind = Kept::Kind::Image;
        kept.width = record->width;
        kept.height = record->height;
        kept.pixels.assign(record->data, record->data + image::count(record) * 4);
        break;
    }
    default: fire(Err::InvalidArg, value);
    }
    return kept;
}

uint64_t write_entry(const uint64_t* args) {
    const Cell* value = routines::arg_cell(args[0]);
    Kept kept = kept_of(value);
    const std::string text = cell::is(value, T::String) ? string::to_std_utf8(value) : std::string();
    if (!host::clipboard::write_text(text)) return 0;
    g_kept = std::move(kept);
    return 1;
}

}  // namespace

void init() {
    routines::bind("read-clipboard",
                   "\"Return the contents of the system clipboard\" "
                   "return: [logic! none! string! block! image!] "
                   "\"false on failure, none if empty, otherwise: string!, block! of files!, or an image!\"",
                   read_entry, routines::kNoResult);
    routines::bind("write-clipboard",
                   "\"Write content to the system clipboard\" "
                   "data [any-type!] \"string!, block! of files!, an image! or none!\" "
                   "return: [logic!] \"indicates success\"",
                   write_entry, routines::kLogicResult);
}

}  // namespace nuv::clipboard
