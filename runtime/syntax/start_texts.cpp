// The image's table is found by text through a hash map made once at start-up; a text lexed
// twice is listed once, so the image holds one block per text.
#include "runtime/syntax/start_texts.h"

#include <unordered_map>
#include <unordered_set>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/roots.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"

namespace nuv::start_texts {

namespace {

std::unordered_map<std::string, int32_t> g_image;  // text -> index of its block in the table
int32_t g_image_root = -1;
std::vector<std::string> g_lexed;
std::unordered_set<std::string> g_listed;

}  // namespace

void reset() {
    g_image.clear();
    g_image_root = -1;
    g_lexed.clear();
    g_listed.clear();
}

void use_image(int32_t root_index) {
    g_image.clear();
    g_image_root = root_index;
    const Cell table = *roots::root_cell(root_index);
    const NodeId node = cell::node(&table);
    for (int32_t i = 0; i + 1 < block::count(node); i += 2) {
        const Cell text = block::at(node, i);
        const Cell code = block::at(node, i + 1);
        if (cell::is(&text, TypeId::String) && cell::is(&code, TypeId::Block))
            g_image.emplace(string::to_std_utf8(&text), i + 1);
    }
}

Cell* push(std::string_view text) {
    const auto found = g_image.find(std::string(text));
    if (found != g_image.end()) {
        const Cell code = block::at(cell::node(roots::root_cell(g_image_root)), found->second);
        return block::copy_deep(&code, true, true);
    }
    Cell* code = stack::push(none::shared());
    lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    if (g_listed.emplace(text).second) g_lexed.emplace_back(text);
    return code;
}

const std::vector<std::string>& lexed() { return g_lexed; }

}  // namespace nuv::start_texts
