// The boot source: the action, native and constant definitions lex, the actions and natives
// appear once each in table order under the words the tables give them, and every type named in
// a spec is a datatype or a typeset the constants define.
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/actions.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/types.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

// One `word: make <maker> [[spec] index]` definition, reduced to what the checks read.
struct Definition {
    std::string word;
    std::string maker;
    int32_t index = 0;
    std::vector<std::string> types;  // the words of the spec's type blocks
};

// A file's top level: its definitions and every word it assigns (`word:` or `set 'word`).
struct Source {
    std::string error;  // the lexer's error id, when it raised one
    std::vector<Definition> definitions;
    std::set<std::string> assigned;
    std::vector<std::pair<std::string, std::string>> operators;  // word, source function
    int32_t set_paths = 0;  // assignments through a set-path
};

std::string read_file(const char* name) {
    std::ifstream in(std::string(NUV_SOURCE_DIR) + "/boot/" + name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const Cell* at(const Cell* block, int32_t i) {
    return block::rs_abs_at(block, cell::head(block) + i);
}

std::string spelling(const Cell* word) { return symbol::utf8_name(word::symbol_of(word)); }

bool is_word(const Cell* c, const char* name) {
    return cell::is(c, TypeId::Word) && spelling(c) == name;
}

// Reads the definition `make <maker> [[spec] index]` starting at `i`, or answers false.
bool read_definition(const Cell* top, int32_t i, int32_t n, Definition& d) {
    if (i + 2 >= n || !is_word(at(top, i), "make") || !cell::is(at(top, i + 1), TypeId::Word) ||
        !cell::is(at(top, i + 2), TypeId::Block))
        return false;
    const Cell* body = at(top, i + 2);
    if (block::rs_length(body) != 2 || !cell::is(at(body, 0), TypeId::Block) ||
        !cell::is(at(body, 1), TypeId::Integer))
        return false;
    d.maker = spelling(at(top, i + 1));
    d.index = integer::get(at(body, 1));
    const Cell* spec = at(body, 0);
    for (int32_t k = 0, m = block::rs_length(spec); k < m; k++) {
        const Cell* types = at(spec, k);
        if (!cell::is(types, TypeId::Block)) continue;
        for (int32_t t = 0, tn = block::rs_length(types); t < tn; t++)
            if (cell::is(at(types, t), TypeId::Word)) d.types.push_back(spelling(at(types, t)));
    }
    return true;
}

// Nothing here allocates after the load, so the cells read stay in place under relocation.
Source load(const char* name) {
    const std::string text = read_file(name);
    Source source;
    test::StackScope scope;
    Cell* top = stack::reserve();
    try {
        lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, top);
    } catch (const Unwind&) {
        source.error = err_word(raised().id);
        return source;
    }
    const int32_t n = block::rs_length(top);
    for (int32_t i = 0; i < n; i++) {
        const Cell* c = at(top, i);
        const Cell* target = nullptr;
        if (cell::is(c, TypeId::SetPath)) {
            source.set_paths++;
            continue;
        }
        if (cell::is(c, TypeId::SetWord)) {
            target = c;
        } else if (is_word(c, "set") && i + 1 < n && cell::is(at(top, i + 1), TypeId::LitWord)) {
            target = at(top, ++i);
        } else {
            continue;
        }
        source.assigned.insert(spelling(target));
        Definition d;
        if (read_definition(top, i + 1, n, d)) {
            d.word = spelling(target);
            source.definitions.push_back(d);
        } else if (i + 3 < n && is_word(at(top, i + 1), "make") && is_word(at(top, i + 2), "op!") &&
                   cell::is(at(top, i + 3), TypeId::GetWord)) {
            source.operators.emplace_back(spelling(target), spelling(at(top, i + 3)));
        }
    }
    return source;
}

std::string shown(const std::vector<Definition>& definitions) {
    std::string text;
    for (const Definition& d : definitions)
        text += std::to_string(d.index) + " " + d.word + " " + d.maker + "\n";
    return text;
}

// Path steps (7), the unused slot (8) and comparison (9) have no language word.
bool has_word(int32_t action) { return action < 7 || action > 9; }

// The units of the manifest, in order: kind, name and file ("" for a step).
struct Unit {
    std::string kind;
    std::string name;
    std::string file;
};
std::vector<Unit> manifest() {
    std::istringstream lines(read_file("manifest.txt"));
    std::vector<Unit> units;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Unit unit;
        fields >> unit.kind >> unit.name >> unit.file;
        units.push_back(unit);
    }
    return units;
}

// Every unit's file in boot/ lexes and assigns words or fields; the action and native definitions come
// first, and each step is one the loader knows.
TEST(BootSourceTest, FilesLex) {
    const std::vector<Unit> units = manifest();
    ASSERT_GE(units.size(), 4u);
    EXPECT_EQ(units[0].file, "boot/actions.nuv");
    EXPECT_EQ(units[1].file, "boot/natives.nuv");
    const std::set<std::string> steps = {"routines", "type-predicates", "system-tables", "codecs",
                                         "tool-routines", "event-datatype", "json-routines", "gui-names",
                                         "view-platform", "draw-words"};
    for (const Unit& unit : units) {
        if (unit.kind == "step") {
            EXPECT_TRUE(steps.count(unit.name)) << unit.name;
            continue;
        }
        EXPECT_TRUE(unit.kind == "define" || unit.kind == "run") << unit.name;
        if (unit.file.rfind("boot/", 0) != 0) continue;
        const Source source = load(unit.file.substr(5).c_str());
        EXPECT_EQ(source.error, "") << unit.file;
        EXPECT_TRUE(!source.assigned.empty() || source.set_paths > 0) << unit.file;
    }
}

TEST(BootSourceTest, ActionsInTableOrder) {
    std::vector<Definition> want;
#define NUV_WANT_ACTION(n, name, field, word, type) \
    if (has_word(n)) want.push_back({word, "action!", n, {}});
    NUV_ACTIONS(NUV_WANT_ACTION)
#undef NUV_WANT_ACTION
    for (Definition& d : want) EXPECT_EQ(d.word, action_word(static_cast<ActionId>(d.index)));
    EXPECT_EQ(shown(load("actions.nuv").definitions), shown(want));
}

TEST(BootSourceTest, NativesInIndexOrder) {
    std::vector<Definition> want;
#define NUV_WANT_NATIVE(n, name, word, entry) want.push_back({word, "native!", n, {}});
    NUV_NATIVES(NUV_WANT_NATIVE)
#undef NUV_WANT_NATIVE
    ASSERT_EQ(static_cast<int32_t>(want.size()), natives::kNativeCount);
    EXPECT_EQ(shown(load("natives.nuv").definitions), shown(want));
}

TEST(BootSourceTest, SpecTypesAreKnown) {
    std::set<std::string> known = load("typesets.nuv").assigned;
    for (int t = 1; t <= kTypeCount; t++) known.insert(type_name(static_cast<TypeId>(t)));
    for (const char* name : {"actions.nuv", "natives.nuv"})
        for (const Definition& d : load(name).definitions)
            for (const std::string& type : d.types)
                EXPECT_TRUE(known.count(type)) << name << ": " << d.word << " names " << type;
}

// The operators are all there (start-up checks that each is made from a function), and the
// typesets and logic words the specs lean on are defined.
TEST(BootSourceTest, ConstantsUseDefinedWords) {
    EXPECT_EQ(load("operators.nuv").operators.size(), 21u);
    const Source constants = load("boot_values.nuv");
    for (const char* word : {"none", "true", "false", "datatype!"})
        EXPECT_TRUE(constants.assigned.count(word)) << word;
    const Source typesets = load("typesets.nuv");
    for (const char* word : {"any-type!", "number!", "series!", "scalar!", "any-function!", "default!"})
        EXPECT_TRUE(typesets.assigned.count(word)) << word;
}

}  // namespace
}  // namespace nuv
