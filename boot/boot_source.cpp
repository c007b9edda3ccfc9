// The boot texts are assembled into the read-only data of the runtime itself (the build names
// their folder in NUV_BOOT_DIR), so a program needs no file beside it to start.
#include "boot/boot_source.h"

#include <cstring>

#include "runtime/boot_code.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/frames.h"
#include "runtime/os.h"
#include "runtime/platform/image_codecs.h"
#include "runtime/platform/nuvbin_codec.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/routines.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"
#include "runtime/system.h"
#include "runtime/words.h"

// Each file unit becomes the bytes between two symbols.
#define NUV_BOOT_FILE(kind, name, symbol, path)                                                 \
    __asm__(".section .rodata\n.global " #symbol "\n" #symbol ":\n.incbin \"" path "\"\n.global " \
            #symbol "_end\n" #symbol "_end:\n.previous\n");                                    \
    extern "C" const uint8_t symbol[];                                                           \
    extern "C" const uint8_t symbol##_end[];
#define NUV_BOOT_STEP(name)
#include "boot_manifest.inc"
#undef NUV_BOOT_FILE
#undef NUV_BOOT_STEP

namespace nuv::boot_source {

namespace {

using T = TypeId;

// The action and native words and the typesets are applied as definitions, without evaluation,
// since the words that evaluation would use (`make` first, and the typesets every spec names)
// are among them. The other units run in manifest order: statements are evaluated, steps are
// the C++ of the runtime that makes them.
enum class Kind : uint8_t { Define, Run, Step };
struct Entry {
    Kind kind;
    const char* name;
    const uint8_t* begin;
    const uint8_t* end;
};

constexpr int kNoCatch = 95;  // the runtime error of an unwinding that reaches the entry frame

constexpr Kind define = Kind::Define;
constexpr Kind run = Kind::Run;

const Entry kEntries[] = {
#define NUV_BOOT_FILE(kind, name, symbol, path) {kind, name, symbol, symbol##_end},
#define NUV_BOOT_STEP(name) {Kind::Step, name, nullptr, nullptr},
#include "boot_manifest.inc"
#undef NUV_BOOT_FILE
#undef NUV_BOOT_STEP
};

// Applies `word: make type! [spec index]` (an action or native word) and `word: [types]` (a
// typeset: each listed word names a datatype or an earlier typeset). Any other shape raises
// script invalid-data naming the value where the shape breaks.
void define_all(const Cell* code) {
    const NodeId node = cell::node(code);
    for (int32_t i = block::head_index(code), n = block::count(node); i < n;) {
        const Cell name = block::at(node, i);
        if (!cell::is(&name, T::SetWord) || i + 1 >= n) fire(Err::InvalidData, &name);
        const Cell next = block::at(node, i + 1);
        if (cell::is(&next, T::Block)) {
            Cell* set = stack::push(none::shared());
            *set = Cell{static_cast<uint32_t>(T::Typeset), 0, 0, 0};
            const NodeId list = cell::node(&next);
            for (int32_t k = block::head_index(&next), m = block::count(list); k < m; k++) {
                const Cell item = block::at(list, k);
                typeset::add(set, &item);
            }
            context::set_global(word::symbol_of(&name), set);
            stack::drop(1);
            i += 2;
            continue;
        }
        if (i + 3 >= n) fire(Err::InvalidData, &name);
        Cell* type = stack::push(none::shared());
        *type = block::at(node, i + 2);
        if (cell::is(type, T::Word)) *type = *word::get(type);
        Cell* spec = stack::push(none::shared());
        *spec = block::at(node, i + 3);
        if (!cell::is(type, T::Datatype) || !cell::is(spec, T::Block)) fire(Err::InvalidData, spec);
        native::define(type, spec, static_cast<TypeId>(type->w1));
        context::set_global(word::symbol_of(&name), type);
        stack::drop(2);
        i += 4;
    }
}

// The units the runtime makes itself, by their manifest names.
struct Step {
    const char* name;
    void (*make)();
};

void system_tables() {
    system_object::fill_tables();
    routines::bind_collector(system_object::collector_object());
}

// Each codec module puts its object into system/codecs, keyed by its format word, in the order
// load and save try them.
void put_codecs() {
    image_codecs::init();
    nuvbin_codec::init();
}

constexpr Step kSteps[] = {
    {"routines", routines::bind_runtime},
    {"type-predicates", routines::bind_predicates},
    {"system-tables", system_tables},
    {"codecs", put_codecs},
};

void run_step(const char* name) {
    for (const Step& step : kSteps)
        if (std::strcmp(step.name, name) == 0) return step.make();
    fatal("boot manifest names an unknown step", 1);
}

void lex(const Entry& entry, Cell* code) {
    lexer::transcode(entry.begin, static_cast<size_t>(entry.end - entry.begin), {}, code);
}

}  // namespace

void load() {
    // The datatype words come first: the definitions name their types by them.
    for (int id = 1; id <= kTypeCount; id++) {
        const TypeId t = static_cast<TypeId>(id);
        Cell type;
        datatype::set(&type, t);
        context::set_global(symbol::make_cstr(type_name(t)), &type);
    }
    // No maker makes handles, so the empty one is made here.
    const Cell empty = *handle::push(0, handle::Kind::Null);
    stack::drop(1);
    context::set_global(symbol::make_cstr("null-handle"), &empty);
    // Every definition first (evaluation needs them), then the units in order.
    for (const Entry& entry : kEntries) {
        if (entry.kind != Kind::Define) continue;
        Cell* const top = stack::g_args.top;
        Cell* code = stack::push(none::shared());
        lex(entry, code);
        define_all(code);
        stack::g_args.top = top;
    }
    for (const Entry& entry : kEntries) {
        if (entry.kind == Kind::Define) continue;
        if (entry.kind == Kind::Step) {
            run_step(entry.name);
            continue;
        }
        Cell* const top = stack::g_args.top;
        Cell* code = stack::push(none::shared());
        lex(entry, code);
        boot_code::mark(code);
        interp::do_block(code);
        stack::g_args.top = top;
    }
    boot_code::seal();
}

void run_at_entry(void (*units)()) {
    frames::Owner entry(&words::w::anon, frames::kCatch);
    if (entry.run(units)) os::quit_with_status(kNoCatch, reinterpret_cast<uintptr_t>(&run_at_entry));
}

}  // namespace nuv::boot_source
