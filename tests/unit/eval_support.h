// Support for tests that evaluate source text: the words start-up defines, and one helper that
// lexes a text, evaluates it under a try frame and answers the molded value or "error <id>".
#pragma once
#include <string>

#include "boot/boot_units.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/registry.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/frames.h"
#include "runtime/syntax/lexer.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv::test {

inline Cell* load_text(const std::string& text) {
    Cell* code = stack::push(none::shared());
    lexer::transcode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), {}, code);
    return code;
}

inline std::string mold_value(const Cell& value) {
    StackScope scope;
    Cell v = value;
    Cell* buffer = string::make_at(stack::reserve(), 16);
    registry::g_rows[static_cast<int>(cell::type_of(&v))].mold(&v, buffer, false, false, false,
                                                               nullptr, 1 << 30, 0);
    return string::to_std_utf8(buffer);
}

// The raised error as "error <id>", then its first argument molded when it has arguments.
inline std::string error_text(const RaisedError& e) {
    std::string out = std::string("error ") + err_word(e.id);
    if (e.argc > 0) out += " " + mold_value(e.args[0]);
    return out;
}

// Binds the global word to a native! or action! whose spec block holds the text's values.
inline void define_native(const char* name, const char* spec, int32_t index, TypeId type) {
    StackScope scope;
    Cell* block = load_text(spec);
    Cell* value = stack::push(none::shared());
    native::make_value(value, type, block, index, block);
    context::set_global(symbol::make_cstr(name), value);
}

inline void define_op(const char* name, const char* source) {
    StackScope scope;
    Cell* value = stack::push(context::global_slot(symbol::make_cstr(source)));
    native::op_make(value, value, TypeId::Op);
    context::set_global(symbol::make_cstr(name), value);
}

// Once per process: the words start-up defines (datatypes, actions, natives, typesets,
// constants, operators, the system object). The test program's start-up (main_env.cpp) has
// loaded the boot units already.
inline void define_all();
inline void eval_environment() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    try {
        define_all();
    } catch (const Unwind&) {
        ADD_FAILURE() << "setting up the evaluation words raised " << err_word(raised().id);
    }
}
inline void define_all() {}

// The molded value of the text's evaluation, or "error <id>".
inline std::string eval_text(const std::string& text) {
    eval_environment();
    StackScope scope;
    Cell* code = load_text(text);
    std::string out;
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto kind = guard.run([&] { out = mold_value(*interp::do_block(code)); });
    if (!kind) return out;
    if (*kind != UnwindKind::Error) return "unwound";
    return std::string("error ") + err_word(raised().id);
}

struct EvalCase {
    const char* source;
    const char* wanted;
};

inline void check_cases(std::initializer_list<EvalCase> cases) {
    for (const EvalCase& c : cases) {
        std::string got;
        try {
            got = eval_text(c.source);
        } catch (const Unwind& u) {
            got = "escaped unwind " + std::to_string(static_cast<int>(u.kind)) + " to " + std::to_string(u.target);
        }
        EXPECT_EQ(got, c.wanted) << "source: " << c.source;
    }
}

}  // namespace nuv::test
