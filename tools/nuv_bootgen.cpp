// nuv-bootgen MANIFEST SOURCE-DIR BUILD-DIR OUTPUT: writes the boot image of the units the
// manifest lists. It is the runtime built without an image, loading the boot sources as text:
//
//   define NAME FILE   definitions applied as they stand, before any statement runs: the action
//                      and native words with their specs, and the typesets every spec names
//   run    NAME FILE   a unit of statements, evaluated in the global context
//   step   NAME        a unit made by the runtime itself in C++ (boot_units.cpp names each)
//
// FILE is relative to SOURCE-DIR, or to BUILD-DIR when it starts with `build:`. The image holds,
// in order: a definition per datatype word, per action and native word (with its spec) and per
// typeset; the error catalogue made from the runtime's error list, its category objects then
// the catalogue itself; then one record per unit in manifest order, a run unit as the block
// its text lexes to and a step as an issue! of its name; start-up evaluates them. Only the
// definitions are applied here (their values are what the image holds); a definition or a text
// that fails fails the build: the unit's name, file and the line of the failing value, then the
// error's report, are printed and the status is 1. The image depends only on the sources, so
// the same sources and build facts give the same bytes.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "boot/boot_units.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/registry.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/frames.h"
#include "runtime/platform/nuvbin.h"
#include "runtime/runtime.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/syntax/start_texts.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv {
namespace {

using T = TypeId;

enum class Kind : uint8_t { Define, Run, Step };
struct Unit {
    Kind kind;
    std::string name;
    std::string path;  // of its text; empty for a step
};

[[noreturn]] void give_up(const std::string& what) {
    std::fprintf(stderr, "nuv-bootgen: %s\n", what.c_str());
    std::exit(1);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) give_up("cannot read " + path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<Unit> read_manifest(const std::string& manifest, const std::string& sources,
                                const std::string& build) {
    std::istringstream lines(read_file(manifest));
    std::vector<Unit> units;
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string kind, name, file;
        fields >> kind;
        if (kind.empty() || kind[0] == '#') continue;
        fields >> name >> file;
        if (kind == "step" && !name.empty()) {
            units.push_back({Kind::Step, name, ""});
            continue;
        }
        if ((kind != "define" && kind != "run") || name.empty() || file.empty())
            give_up("bad manifest line: " + line);
        const std::string path = file.rfind("build:", 0) == 0 ? build + "/" + file.substr(6)
                                                              : sources + "/" + file;
        units.push_back({kind == "define" ? Kind::Define : Kind::Run, name, path});
    }
    return units;
}

// Where the image has got to, for the report of a unit that fails: the unit being lexed or
// defined, and the index of its top-level value being defined (-1 while it is lexed).
struct Place {
    const Unit* unit = nullptr;
    int32_t index = -1;
};
Place g_place;

void enter(const Unit& unit) { g_place = Place{&unit, -1}; }

// The unit's text lexed, pushed.
Cell* lex(const Unit& unit) {
    const std::string text = read_file(unit.path);
    Cell* code = stack::push(none::shared());
    lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    return code;
}

// Applies `word: make type! [spec index]` (an action or native word) and `word: [types]` (a
// typeset: each listed word names a datatype or an earlier typeset), and writes each as a
// definition. Any other shape raises script invalid-data naming the value where the shape breaks.
void define_all(const Cell* code, nuvbin::BootWriter& writer) {
    const NodeId node = cell::node(code);
    for (int32_t i = block::head_index(code), n = block::count(node); i < n;) {
        g_place.index = i;
        const Cell name = block::at(node, i);
        if (!cell::is(&name, T::SetWord) || i + 1 >= n) fire(Err::InvalidData, &name);
        const Cell next = block::at(node, i + 1);
        const stack::Mark mark;
        Cell* value = stack::push(none::shared());
        if (cell::is(&next, T::Block)) {
            *value = Cell{static_cast<uint32_t>(T::Typeset), 0, 0, 0};
            const NodeId list = cell::node(&next);
            for (int32_t k = block::head_index(&next), m = block::count(list); k < m; k++) {
                const Cell item = block::at(list, k);
                typeset::add(value, &item);
            }
            i += 2;
        } else {
            if (i + 3 >= n) fire(Err::InvalidData, &name);
            *value = block::at(node, i + 2);
            if (cell::is(value, T::Word)) *value = *word::get(value);
            Cell* spec = stack::push(none::shared());
            *spec = block::at(node, i + 3);
            if (!cell::is(value, T::Datatype) || !cell::is(spec, T::Block))
                fire(Err::InvalidData, spec);
            native::define(value, spec, static_cast<TypeId>(value->w1));
            i += 4;
        }
        context::set_global(word::symbol_of(&name), value);
        writer.define(word::symbol_of(&name), value);
        mark.restore();
    }
}

// The catalogue fire uses: each category object, then the catalogue, as top-level contexts.
void write_catalogue(nuvbin::BootWriter& writer) {
    const Cell catalogue = *system_object::catalogue();
    const NodeId ctx = object::context_of(&catalogue);
    for (int32_t i = 0; i < context::word_count(ctx); i++) {
        const Cell category = *context::values_at(ctx, i);
        writer.context(&category);
    }
    writer.context(&catalogue);
}

// Runs the units as start-up will, so that every routine they make has its spec lexed here. A
// unit that raises ends the run (start-up then reports it); what the units made before counts.
void run_units(const std::vector<Unit>& units) {
    frames::Owner frame(&words::w::anon, frames::kTry);
    const stack::Mark mark;
    frame.run([&units] {
        for (const Unit& unit : units) {
            if (unit.kind == Kind::Step) boot_units::run_step(unit.name.c_str());
            else if (unit.kind == Kind::Run) interp::do_block(lex(unit));
        }
    });
    mark.restore();
}

// Every text the runtime lexed while it started and ran the units (routine specs, codec fields),
// as a paren! of text and block pairs, so that start-up lexes none.
void write_start_texts(nuvbin::BootWriter& writer) {
    const std::vector<std::string>& texts = start_texts::lexed();
    const stack::Mark mark;
    Cell* table = block::push_new(static_cast<int32_t>(2 * texts.size()));
    for (const std::string& text : texts) {
        const stack::Mark inner;
        string::load_at(reinterpret_cast<const uint8_t*>(text.data()), text.size(), table,
                        string::kUtf8);
        Cell* spec = stack::push(none::shared());
        lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, spec);
        block::append_cell(table, spec);
        inner.restore();
    }
    table->header = static_cast<uint32_t>(T::Paren);
    writer.value(table);
    mark.restore();
}

std::vector<uint8_t> write_image(const std::vector<Unit>& units) {
    nuvbin::BootWriter writer;
    // The datatype words come first: the definitions name their types by them.
    for (int id = 1; id <= kTypeCount; id++) {
        const TypeId t = static_cast<TypeId>(id);
        Cell type;
        datatype::set(&type, t);
        const SymId sym = symbol::make_cstr(type_name(t));
        context::set_global(sym, &type);
        writer.define(sym, &type);
    }
    boot_units::make_prelude();
    for (const Unit& unit : units) {
        if (unit.kind != Kind::Define) continue;
        const stack::Mark mark;
        enter(unit);
        define_all(lex(unit), writer);
        mark.restore();
    }
    g_place = Place{};
    write_catalogue(writer);
    run_units(units);
    write_start_texts(writer);
    for (const Unit& unit : units) {
        if (unit.kind == Kind::Define) continue;
        const stack::Mark mark;
        enter(unit);
        if (unit.kind == Kind::Step) {
            Cell name{static_cast<uint32_t>(T::Issue), context::global(),
                      symbol::make_cstr(unit.name.c_str()), word::kNoIndex};
            writer.value(&name);
        } else {
            writer.value(lex(unit));
        }
        mark.restore();
    }
    g_place = Place{};
    return writer.document();
}

std::string report(const Cell& error) {
    Cell v = error;
    Cell* buffer = string::make_at(stack::push(none::shared()), 128);
    registry::g_rows[static_cast<int>(T::Error)].form(&v, buffer, nullptr, 1 << 30);
    return string::to_std_utf8(buffer);
}

// The 1-based line on which the top-level value at `index` of the text starts.
int32_t line_of_value(const std::string& text, int32_t index) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const size_t length = text.size();
    const stack::Mark mark;
    size_t at = 0;
    for (int32_t k = 0;; k++) {
        for (;;) {  // blanks and comments before the value
            const lexer::Step step = lexer::scan_token(bytes, length, at, 0);
            at = std::min(step.start, length);
            if (step.state != static_cast<int>(lexer::Kind::Comment) || step.end <= at) break;
            at = step.end;
        }
        if (k == index || at >= length) break;
        lexer::Options one;
        one.one = true;
        at += lexer::transcode(bytes + at, length - at, one, stack::push(none::shared()));
    }
    mark.restore();
    return 1 + static_cast<int32_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

// Which unit failed: its name, its file and the line of the value being defined (the lexer's
// own line for text that does not lex).
std::string failing_unit(const Cell& error) {
    const Unit* unit = g_place.unit;
    if (!unit) return "a boot unit failed";
    std::string text = "boot unit " + unit->name + " failed";
    if (unit->kind == Kind::Step) return text;
    text += " at " + unit->path;
    if (g_place.index >= 0) {
        text += " (line " + std::to_string(line_of_value(read_file(unit->path), g_place.index)) + ")";
    } else if (cell::is(&error, T::Error) &&
               symbol::resolve(error::type_of(&error)) ==
                   symbol::resolve(word::symbol_of(&words::w::syntax))) {
        const Cell* line = error::field(&error, error::kArg1);
        if (line && cell::is(line, T::String)) text += " " + string::to_std_utf8(line);
    }
    return text;
}

struct Args {
    std::vector<Unit> units;
    std::string output;
    std::vector<uint8_t> image;
};

int generate(void* data) {
    auto* args = static_cast<Args*>(data);
    runtime::init();
    frames::Owner frame(&words::w::anon, frames::kTry);
    if (frame.run([args] { args->image = write_image(args->units); })) {
        const Cell error = cell::is(stack::top(), T::Error) ? *stack::top() : *raised_value();
        give_up(failing_unit(error) + "\n" + report(error));
    }
    runtime::exit();
    return 0;
}

}  // namespace
}  // namespace nuv

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: nuv-bootgen MANIFEST SOURCE-DIR BUILD-DIR OUTPUT\n");
        return 2;
    }
    // The image is made from the sources alone, whatever image a test names.
    unsetenv("NUV_TEST_BOOT_IMAGE");
    nuv::Args args{nuv::read_manifest(argv[1], argv[2], argv[3]), argv[4], {}};
    nuv::runtime::run_with_deep_stack(nuv::generate, &args);
    std::ofstream out(args.output, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(args.image.data()),
              static_cast<std::streamsize>(args.image.size()));
    if (!out) nuv::give_up("cannot write " + args.output);
    return 0;
}
