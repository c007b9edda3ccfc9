// The boot texts are assembled into the read-only data of the runtime itself (the build names
// their folder in NUV_BOOT_DIR), so a program needs no file beside it to start.
#include "boot/boot_source.h"

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
#include "runtime/evaluator/interpreter.h"
#include "runtime/stack.h"
#include "runtime/syntax/lexer.h"

#ifndef NUV_BOOT_DIR
#error "NUV_BOOT_DIR must name the folder of the boot texts"
#endif

// Each text becomes the bytes between two symbols.
#define NUV_BOOT_TEXT(symbol, file)                                                      \
    __asm__(".section .rodata\n.global " #symbol "\n" #symbol ":\n.incbin \"" NUV_BOOT_DIR \
            "/" file "\"\n.global " #symbol "_end\n" #symbol "_end:\n.previous\n");        \
    extern "C" const uint8_t symbol[];                                                   \
    extern "C" const uint8_t symbol##_end[];

NUV_BOOT_TEXT(nuv_boot_actions, "actions.nuv")
NUV_BOOT_TEXT(nuv_boot_natives, "natives.nuv")
NUV_BOOT_TEXT(nuv_boot_typesets, "typesets.nuv")
NUV_BOOT_TEXT(nuv_boot_constants, "constants.nuv")

namespace nuv::boot_source {

namespace {

using T = TypeId;

// The action and native words and the typesets are applied as definitions, without evaluation,
// since the words that evaluation would use (`make` first, and the typesets every spec names)
// are among them. The rest is evaluated.
enum class Kind : uint8_t { Functions, Typesets, Code };
struct Entry {
    const uint8_t* begin;
    const uint8_t* end;
    Kind kind;
};

const Entry kEntries[] = {
    {nuv_boot_actions, nuv_boot_actions_end, Kind::Functions},
    {nuv_boot_natives, nuv_boot_natives_end, Kind::Functions},
    {nuv_boot_typesets, nuv_boot_typesets_end, Kind::Typesets},
    {nuv_boot_constants, nuv_boot_constants_end, Kind::Code},
};

// Applies `word: make type! [spec index]` definitions; any other shape raises script
// invalid-data naming the value where the shape breaks.
void define_functions(const Cell* code) {
    const NodeId node = cell::node(code);
    for (int32_t i = block::head_index(code), n = block::count(node); i < n; i += 4) {
        const Cell name = block::at(node, i);
        if (!cell::is(&name, T::SetWord) || i + 3 >= n) fire(Err::InvalidData, &name);
        Cell* type = stack::push(none::shared());
        *type = block::at(node, i + 2);
        if (cell::is(type, T::Word)) *type = *word::get(type);
        Cell* spec = stack::push(none::shared());
        *spec = block::at(node, i + 3);
        if (!cell::is(type, T::Datatype) || !cell::is(spec, T::Block)) fire(Err::InvalidData, spec);
        native::define(type, spec, static_cast<TypeId>(type->w1));
        context::set_global(word::symbol_of(&name), type);
        stack::drop(2);
    }
}

// Applies `word: [types]` definitions: each listed word names a datatype or an earlier typeset.
void define_typesets(const Cell* code) {
    const NodeId node = cell::node(code);
    for (int32_t i = block::head_index(code), n = block::count(node); i < n; i += 2) {
        const Cell name = block::at(node, i);
        if (!cell::is(&name, T::SetWord) || i + 1 >= n) fire(Err::InvalidData, &name);
        Cell* types = stack::push(none::shared());
        *types = block::at(node, i + 1);
        if (!cell::is(types, T::Block)) fire(Err::InvalidData, types);
        Cell* set = stack::push(none::shared());
        *set = Cell{static_cast<uint32_t>(T::Typeset), 0, 0, 0};
        const NodeId list = cell::node(types);
        for (int32_t k = block::head_index(types), m = block::count(list); k < m; k++) {
            const Cell item = block::at(list, k);
            typeset::add(set, &item);
        }
        context::set_global(word::symbol_of(&name), set);
        stack::drop(2);
    }
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
    for (const Entry& entry : kEntries) {
        Cell* const top = stack::g_args.top;
        Cell* code = stack::push(none::shared());
        lexer::transcode(entry.begin, static_cast<size_t>(entry.end - entry.begin), {}, code);
        switch (entry.kind) {
        case Kind::Functions: define_functions(code); break;
        case Kind::Typesets: define_typesets(code); break;
        case Kind::Code: interp::do_block(code); break;
        }
        stack::g_args.top = top;
    }
}

}  // namespace nuv::boot_source
