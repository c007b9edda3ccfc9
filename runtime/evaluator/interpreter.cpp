// The block evaluator. Positions are (node, index) pairs re-read after every call that may
// allocate; values in flight live in argument-stack cells, which never move. Each nested call
// runs under a call frame, and frame pushes check the frame limit, so deep recursion raises
// stack-overflow; a machine-stack guard backs that up.
#include "runtime/evaluator/interpreter.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdint>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/evaluator/actions_table.h"
#include "runtime/evaluator/frames.h"
#include "runtime/evaluator/natives_table.h"
#include "runtime/evaluator/routines.h"
#include "runtime/evaluator/stack.h"
#include "runtime/words.h"

namespace nuv::interp {

namespace {

using T = TypeId;

Cell* g_code = nullptr;             // the current code cell: the innermost block and position
uintptr_t g_stack_floor = 0;  // below this machine-stack address, stack-overflow

constexpr int32_t kMaxRefinements = 64;
constexpr int32_t kCompiledInfoCell = 1;  // the compiled spec's cell in the information block

bool is_callable(T t) { return t == T::Native || t == T::Action || t == T::Function || t == T::Routine; }

void check_machine_stack() {
    if (reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) < g_stack_floor) [[unlikely]]
        fire(Err::StackOverflow);
}

Cell block_cell(NodeId node, int32_t index, T type = T::Block) {
    return Cell{static_cast<uint32_t>(type), static_cast<uint32_t>(index), node, 0};
}

// Restores the current code cell on every exit from a block run.
struct CodeScope {
    Cell saved;
    CodeScope() : saved(*g_code) {}
    ~CodeScope() { *g_code = saved; }
    CodeScope(const CodeScope&) = delete;
    CodeScope& operator=(const CodeScope&) = delete;
};

int32_t eval_expression(NodeId node, int32_t i, bool prefix, bool sub, bool passive);
int32_t eval_path(const Cell* path, NodeId node, int32_t i, PathMode mode, const Cell* value,
                  bool case_ = false);
int32_t invoke(const Cell* callee, NodeId node, int32_t i, const Cell* name, const Cell* path,
               int32_t path_from, bool infix);

// A paren or block run for its value, left as the last pushed value.
void run_nested(const Cell* value) {
    Cell as_block = *value;
    cell::set_type(&as_block, T::Block);
    eval_block(&as_block, false);
}

// ---- Compiled specs ----

NodeId compile(const Cell* callee) {
    const NodeId spec = callee->w2;
    Cell* out = block::push_new(8);
    const SymId local = symbol::resolve(words::ref::local.w2);
    const SymId return_ = symbol::resolve(words::sym::return_);
    bool in_locals = false;
    for (int32_t i = 0; i < block::count(spec); i++) {
        const Cell item = block::at(spec, i);
        switch (cell::type_of(&item)) {
        case T::Word:
        case T::GetWord:
        case T::LitWord: {
            if (in_locals) break;
            block::append_cell(out, &item);
            if (i + 1 < block::count(spec) && cell::is(&block::raw_cells(spec)[i + 1], T::Block)) {
                const Cell types = block::at(spec, i + 1);
                typeset::make_from_block(&types, out);
                i++;
            } else {
                typeset::make_all(out);
            }
            break;
        }
        case T::SetWord:
            if (symbol::resolve(word::symbol_of(&item)) != return_) fire(Err::BadFuncDef, &item);
            in_locals = false;
            if (i + 1 < block::count(spec) && cell::is(&block::raw_cells(spec)[i + 1], T::Block)) i++;
            break;
        case T::Refinement:
            if (symbol::resolve(word::symbol_of(&item)) == local) {
                in_locals = true;
                break;
            }
            in_locals = false;
            block::append_cell(out, &item);
            block::append_cell(out, none::shared());
            break;
        default: break;
        }
    }
    const NodeId compiled = cell::node(out);
    block::raw_cells(callee->w3)[kCompiledInfoCell] = *out;
    stack::drop(1);
    return compiled;
}

// ---- Fetching arguments ----

// Fetches one argument by the mode its spec word gives and checks its type; the value is
// pushed. Answers the next index.
int32_t fetch_one(NodeId node, int32_t i, NodeId compiled, int32_t entry, const Cell* name, bool infix) {
    const Cell arg_word = block::at(compiled, entry);
    const Cell types = block::at(compiled, entry + 1);
    const T mode = cell::type_of(&arg_word);
    if (i >= block::count(node)) {
        if (mode == T::LitWord && typeset::has(&types, T::Unset)) {
            stack::push(unset::shared());
            return i;
        }
        Cell plain = arg_word;
        cell::set_type(&plain, T::Word);
        fire(Err::NoArg, name, &plain);
    }
    const Cell value = block::at(node, i);
    if (mode == T::Word) {
        i = eval_expression(node, i, infix, true, false);
    } else if (mode == T::GetWord) {
        stack::push(&value);
        i++;
    } else {
        i++;
        switch (cell::type_of(&value)) {
        case T::Paren: {
            frames::Owner owner(&words::w::anon, frames::kNative);
            run_nested(&value);
            Cell result = *stack::top();
            frames::pop();
            stack::push(&result);
            break;
        }
        case T::GetWord: word::push_value(&value); break;
        case T::GetPath: eval_path(&value, node, i, PathMode::Get, nullptr); break;
        default: stack::push(&value); break;
        }
    }
    const T got = stack::top_type();
    if (!typeset::has(&types, got)) {
        Cell type;
        datatype::set(&type, got);
        Cell plain = arg_word;
        cell::set_type(&plain, T::Word);
        fire(Err::ExpectArg, name, &type, &plain);
    }
    return i;
}

// Entries of the refinement starting at `entry`: the index after its last argument.
int32_t refinement_end(NodeId compiled, int32_t entry) {
    int32_t e = entry + 2;
    while (e < block::count(compiled) && !cell::is(&block::raw_cells(compiled)[e], T::Refinement)) e += 2;
    return e;
}

// The entry of the refinement named by the path element, with its ordinal.
int32_t find_refinement(NodeId compiled, const Cell* element, const Cell* name, int32_t* ordinal) {
    if (!cell::is(element, T::Word)) fire(Err::BadRefine, element);
    const SymId want = symbol::resolve(word::symbol_of(element));
    int32_t n = 0;
    for (int32_t e = 0; e < block::count(compiled); e += 2) {
        const Cell c = block::at(compiled, e);
        if (!cell::is(&c, T::Refinement)) continue;
        if (symbol::resolve(word::symbol_of(&c)) == want) {
            *ordinal = n;
            return e;
        }
        n++;
    }
    fire(Err::NoRefine, name, element);
}

// Natives and actions: the mandatory arguments, then the used refinements' arguments in path
// order; refinements[k] is the stack position of refinement k's first argument, or -1.
int32_t fetch_native_args(NodeId node, int32_t i, NodeId compiled, const Cell* name,
                          const Cell* path, int32_t path_from, bool infix, int32_t* refinements) {
    int32_t e = infix ? 2 : 0;  // an infix call has its left operand in place
    int32_t count = 0;
    for (; e < block::count(compiled); e += 2) {
        if (cell::is(&block::raw_cells(compiled)[e], T::Refinement)) break;
        i = fetch_one(node, i, compiled, e, name, infix);
    }
    for (int32_t k = e; k < block::count(compiled); k += 2)
        if (cell::is(&block::raw_cells(compiled)[k], T::Refinement)) {
            if (count == kMaxRefinements) fire(Err::LimitHit);
            refinements[count++] = -1;
        }
    if (!path) return i;
    const NodeId pn = cell::node(path);
    for (int32_t p = path_from; p < block::count(pn); p++) {
        const Cell element = block::at(pn, p);
        int32_t ordinal = 0;
        const int32_t r = find_refinement(compiled, &element, name, &ordinal);
        if (refinements[ordinal] >= 0) fire(Err::DupRefine, path);
        refinements[ordinal] = static_cast<int32_t>(stack::g_args.top - stack::g_args.base);
        const int32_t end = refinement_end(compiled, r);
        for (int32_t a = r + 2; a < end; a += 2) i = fetch_one(node, i, compiled, a, name, false);
    }
    return i;
}

// Functions: every spec slot in spec order, a refinement as a logic! followed by its arguments
// (none when unused), then /local and the locals.
int32_t fetch_function_args(NodeId node, int32_t i, NodeId compiled, const Cell* name,
                            const Cell* path, int32_t path_from, bool infix, NodeId ctx) {
    int32_t e = infix ? 2 : 0;
    for (; e < block::count(compiled); e += 2) {
        if (cell::is(&block::raw_cells(compiled)[e], T::Refinement)) break;
        i = fetch_one(node, i, compiled, e, name, infix);
    }
    for (int32_t k = e; k < block::count(compiled); k += 2)
        stack::push(cell::is(&block::raw_cells(compiled)[k], T::Refinement) ? logic::shared(false)
                                                                            : none::shared());
    const int32_t entries = block::count(compiled) / 2;
    for (int32_t k = entries; k < context::word_count(ctx); k++)
        stack::push(k == entries ? logic::shared(false) : none::shared());
    if (!path) return i;
    const NodeId pn = cell::node(path);
    for (int32_t p = path_from; p < block::count(pn); p++) {
        const Cell element = block::at(pn, p);
        int32_t ordinal = 0;
        const int32_t r = find_refinement(compiled, &element, name, &ordinal);
        Cell* flag = stack::arg(r / 2);
        if (cell::is(flag, T::Logic) && logic::get(flag)) fire(Err::DupRefine, path);
        *flag = *logic::shared(true);
        const int32_t end = refinement_end(compiled, r);
        for (int32_t a = r + 2; a < end; a += 2) {
            i = fetch_one(node, i, compiled, a, name, false);
            *stack::arg(a / 2) = *stack::top();
            stack::drop(1);
        }
    }
    return i;
}

// ---- Calling ----

void run_body(const Cell* fn, NodeId ctx) {
    frames::set_body_flag(frames::top(), true);
    context::enter_call(ctx, stack::arg(0));
    const uint32_t depth = frames::depth();
    const Cell body = function::body_of(fn);
    if (!cell::is(&body, T::Block)) fire(Err::NotDone);
    try {
        eval_block(&body, true);
    } catch (const Unwind& u) {
        if (u.target != depth || (u.kind != UnwindKind::Return && u.kind != UnwindKind::Exit)) throw;
    }
}

int32_t invoke(const Cell* callee_in, NodeId node, int32_t i, const Cell* name, const Cell* path,
               int32_t path_from, bool infix) {
    check_machine_stack();
    const Cell callee = *callee_in;
    const Cell* frame_name = name ? name : &words::w::anon;
    Cell* mark;
    if (infix) {
        mark = stack::g_args.top - 1;  // the left operand
    } else {
        mark = stack::push(&callee);
    }
    const T type = cell::is(&callee, T::Op) ? native::op_source(&callee) : cell::type_of(&callee);
    const Cell compiled_cell = block::raw_cells(callee.w3)[kCompiledInfoCell];
    const NodeId compiled = cell::is(&compiled_cell, T::Block) ? cell::node(&compiled_cell) : compile(&callee);
    if (infix) stack::g_args.top = mark;
    if (type == T::Function) {
        const NodeId ctx = function::context_of(&callee);
        frames::push_interp_function(frame_name, ctx);
        if (infix) stack::g_args.top = mark + 1;
        i = fetch_function_args(node, i, compiled, frame_name, path, path_from, infix, ctx);
        run_body(&callee, ctx);
    } else if (type == T::Routine) {
        frames::push_interp_native(frame_name);
        if (infix) stack::g_args.top = mark + 1;
        i = fetch_function_args(node, i, compiled, frame_name, path, path_from, infix,
                                function::context_of(&callee));
        routines::call(&callee, frame_name);
    } else {
        frames::push_interp_native(frame_name);
        if (infix) stack::g_args.top = mark + 1;
        int32_t refinements[kMaxRefinements];
        i = fetch_native_args(node, i, compiled, frame_name, path, path_from, infix, refinements);
        if (type == T::Action) {
            actions::table()[native::index_of(&callee) - 1](refinements);
        } else {
            natives::entry(native::index_of(&callee))(false, refinements);
        }
    }
    frames::pop_keep_result();
    if (!infix) {
        *mark = *(mark + 1);
        stack::g_args.top = mark + 1;
    }
    return i;
}

// ---- Paths ----

int32_t eval_path(const Cell* path_in, NodeId node, int32_t i, PathMode mode, const Cell* value,
                  bool case_) {
    Cell* path = stack::push(path_in);
    const NodeId pn = cell::node(path);
    const int32_t head = block::head_index(path);
    if (head >= block::count(pn)) fire(Err::EmptyPath);
    const Cell first = block::at(pn, head);
    if (!cell::is(&first, T::Word)) fire(Err::WordFirst, path);
    const Cell start = *word::slot(&first);
    if (cell::is(&start, T::Unset)) fire(Err::UnsetPath, path, &first);
    if (is_callable(cell::type_of(&start))) {
        if (mode == PathMode::Set) fire(Err::InvalidPathSet, path);
        if (mode == PathMode::Get) fire(Err::InvalidPathGet, path);
        stack::drop(1);
        Cell keep = *path_in;
        Cell* held = stack::push(&keep);  // the path stays reachable under the call
        i = invoke(&start, node, i, &first, held, head + 1, false);
        *held = *stack::top();
        stack::g_args.top = held + 1;
        return i;
    }
    Cell* current = stack::push(&start);
    Cell* element = stack::push(none::shared());
    for (int32_t k = head + 1; k < block::count(pn); k++) {
        const Cell raw = block::at(pn, k);
        if (cell::is(&raw, T::GetWord)) {
            *element = *word::slot(&raw);
        } else if (cell::is(&raw, T::Paren)) {
            run_nested(&raw);
            *element = *stack::top();
            stack::g_args.top = element + 1;
        } else {
            *element = raw;
        }
        if (cell::is(element, T::Unset)) fire(Err::InvalidPath, path, &raw);
        const bool last = k + 1 == block::count(pn);
        Cell* setting = mode == PathMode::Set && last ? const_cast<Cell*>(value) : nullptr;
        const Cell* got = actions::path_access_dispatch(current, element, setting, path, nullptr,
                                                        nullptr, k, case_, mode == PathMode::Get,
                                                        last, true);
        *current = got ? *got : *none::shared();
        stack::g_args.top = element + 1;
        // A function reached along the path (an object's method) is called, the elements after
        // it being its refinements.
        if (mode == PathMode::Normal && is_callable(cell::type_of(current))) {
            const Cell callee = *current;
            const Cell name = cell::is(&raw, T::Word) ? raw : words::w::anon;
            stack::g_args.top = path + 1;
            i = invoke(&callee, node, i, &name, path, k + 1, false);
            *path = *stack::top();
            stack::g_args.top = path + 1;
            return i;
        }
    }
    *path = *current;
    stack::g_args.top = path + 1;
    return i;
}

// ---- Expressions ----

int32_t eval_expression(NodeId node, int32_t i, bool prefix, bool sub, bool passive) {
    Cell* mark = stack::g_args.top;
    const Cell v = block::at(node, i++);
    switch (cell::type_of(&v)) {
    case T::Paren: run_nested(&v); break;
    case T::Word: {
        const Cell value = *word::slot(&v);
        switch (cell::type_of(&value)) {
        case T::Unset: fire(Err::NoValue, &v);
        case T::LitWord: cell::set_type(stack::push(&value), T::Word); break;
        case T::Native:
        case T::Action:
        case T::Function:
        case T::Routine: i = invoke(&value, node, i, &v, nullptr, 0, false); break;
        case T::Op: fire(Err::NoOpArg, &v);
        default: stack::push(&value); break;
        }
        break;
    }
    case T::SetWord: {
        if (i >= block::count(node)) fire(Err::NeedValue, &v);
        frames::push_native(&v);
        Cell* target = stack::push(&v);
        i = eval_expression(node, i, false, true, false);
        word::set(target, target + 1);
        *stack::arg(0) = *(target + 1);
        frames::pop_keep_result();
        break;
    }
    case T::GetWord: word::push_value(&v); break;
    case T::LitWord: cell::set_type(stack::push(&v), T::Word); break;
    case T::Native:
    case T::Action:
    case T::Function:
    case T::Routine:
        if (passive) {
            stack::push(&v);
        } else {
            i = invoke(&v, node, i, nullptr, nullptr, 0, false);
        }
        break;
    case T::Op: fire(Err::NotDone);
    case T::Path: i = eval_path(&v, node, i, PathMode::Normal, nullptr); break;
    case T::LitPath: {
        Cell* p = stack::push(&v);
        cell::set_type(p, T::Path);
        p->w3 = 0;
        break;
    }
    case T::SetPath: {
        if (i >= block::count(node)) fire(Err::NeedValue, &v);
        frames::push_native(&words::w::set_path);
        i = eval_expression(node, i, false, true, false);
        Cell* value = stack::arg(0);
        eval_path(&v, node, i, PathMode::Set, value);
        stack::keep_one();
        frames::pop_keep_result();
        break;
    }
    case T::GetPath: i = eval_path(&v, node, i, PathMode::Get, nullptr); break;
    case T::Issue:
        if (i < block::count(node) && cell::is(&block::raw_cells(node)[i], T::Block)) {
            const SymId s = symbol::resolve(word::symbol_of(&v));
            if (s == symbol::resolve(words::sym::system) || s == symbol::resolve(words::sym::system_global))
                fire(Err::NuvSystem);
        }
        stack::push(&v);
        break;
    default: stack::push(&v); break;
    }
    // The look-ahead costs one type test unless the next value is a word.
    while (!prefix && i < block::count(node)) {
        const Cell* next = block::raw_cells(node) + i;
        if (!cell::is(next, T::Word) || next->w1 == 0) break;
        const Cell op_word = *next;
        const Cell op = *word::slot(&op_word);
        if (!cell::is(&op, T::Op)) break;
        stack::g_args.top = mark + 1;
        i = invoke(&op, node, i + 1, &op_word, nullptr, 0, true);
    }
    if (!sub) stack::set_result(mark);
    return i;
}

}  // namespace

void init() {
    g_code = word::keep(unset::shared());
    error::set_position_source(g_code);
    rlimit limit{};
    size_t budget = 8u << 20;
    if (getrlimit(RLIMIT_STACK, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        budget = static_cast<size_t>(limit.rlim_cur);
    budget = std::min<size_t>(budget, 1u << 30);
    const size_t reserve = std::min<size_t>(budget / 4, 1u << 20);  // room to raise and report
    g_stack_floor = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - (budget - reserve);
}

void eval_block(const Cell* block, bool return_result) {
    check_machine_stack();
    CodeScope scope;
    const NodeId node = cell::node(block);
    int32_t i = block::head_index(block);
    frames::push_eval(&words::w::body);
    if (i >= block::count(node)) {
        stack::push(unset::shared());
    } else {
        *g_code = block_cell(node, i);
        for (;;) {
            g_code->w1 = static_cast<uint32_t>(i);
            i = eval_expression(node, i, false, false, false);
            if (i >= block::count(node)) break;
            stack::reset();
        }
    }
    if (return_result) {
        frames::pop_return_result();
    } else {
        frames::pop_keep_result();
    }
}

Cell* do_block(const Cell* block) {
    const Cell held = *block;
    eval_block(&held, false);
    return stack::top();
}

int32_t eval_at(const Cell* block, int32_t index) {
    const NodeId node = cell::node(block);
    if (index >= block::count(node)) {
        stack::push(unset::shared());
        return index;
    }
    CodeScope scope;
    *g_code = block_cell(node, index);
    frames::Owner owner(&words::w::body, frames::kNative);
    index = eval_expression(node, index, false, true, false);
    Cell result = *stack::top();
    frames::pop();
    stack::push(&result);
    return index;
}

void apply_function(const Cell* fn) {
    const Cell held = *fn;
    run_body(&held, function::context_of(&held));
}

Cell* call_function(const Cell* function, Callback kind, const Cell* values, int32_t count) {
    check_machine_stack();
    const Cell* name = &words::w::anon;
    switch (kind) {
    case Callback::Lexer: name = &words::w::lexer_callback; break;
    case Callback::Parse: name = &words::w::parse_callback; break;
    case Callback::Compare: name = &words::w::compare_callback; break;
    case Callback::Change: name = &words::w::on_change_star; break;
    case Callback::DeepChange: name = &words::w::on_deep_change_star; break;
    case Callback::Call:
    case Callback::Port: break;
    }
    Cell* mark = stack::push(function);  // the function stays reachable during its call
    const NodeId ctx = function::context_of(mark);
    frames::push_function(name, ctx);
    for (int32_t k = 0; k < count; k++) stack::push(values + k);
    const NodeId compiled = compiled_spec(mark);
    const int32_t entries = block::count(compiled) / 2;
    for (int32_t k = count; k < context::word_count(ctx); k++) {
        const bool flag = k < entries ? cell::is(&block::raw_cells(compiled)[2 * k], T::Refinement)
                                      : k == entries;
        stack::push(flag ? logic::shared(false) : none::shared());
    }
    run_body(mark, ctx);
    frames::pop_keep_result();
    *mark = *(mark + 1);
    stack::g_args.top = mark + 1;
    return mark;
}

int32_t compare_order(const Cell* answer) {
    switch (cell::type_of(answer)) {
    case T::Logic: return logic::get(answer) ? 1 : -1;
    case T::Integer: return cell::get_int(answer);
    case T::Float: {
        const double d = cell::get_double(answer);
        return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
    }
    case T::None: return -1;
    default: return 1;
    }
}

Cell* eval_path_alone(const Cell* path, PathMode mode, const Cell* value, bool case_) {
    const Cell held = *path;
    const NodeId node = cell::node(&held);
    // The path's own cells serve as the code, read from their end: a callee finds no argument.
    eval_path(&held, node, block::count(node), mode, value, case_);
    return stack::top();
}

NodeId compiled_spec(const Cell* callee) {
    const Cell compiled = block::raw_cells(callee->w3)[kCompiledInfoCell];
    return cell::is(&compiled, T::Block) ? cell::node(&compiled) : compile(callee);
}

}  // namespace nuv::interp
