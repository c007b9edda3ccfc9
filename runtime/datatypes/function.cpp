// function!: spec validation, making the value, and its slots. Calling belongs to the
// interpreter.
#include "runtime/datatypes/function.h"

#include <algorithm>
#include <unordered_set>
#include <utility>
#include <vector>

#include "runtime/boot_code.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/stack.h"
#include "runtime/words.h"

namespace nuv::function {

namespace {

using T = TypeId;

Cell block_cell(NodeId node, int32_t head = 0) {
    return Cell{static_cast<uint32_t>(T::Block), static_cast<uint32_t>(head), node, 0};
}

bool is_arg_word(T t) { return t == T::Word || t == T::LitWord || t == T::GetWord; }

// Item i of the spec, by value (the spec may move under any allocation).
Cell item(NodeId spec, int32_t i) { return block::at(spec, i); }

void check_type_block(const Cell* types) {
    const NodeId node = cell::node(types);
    for (int32_t i = block::head_index(types); i < block::count(node); i++) {
        const Cell entry = item(node, i);
        Cell value = entry;
        if (cell::is(&entry, T::Word)) {
            value = *word::get(&entry);
            stack::drop(1);
        }
        const T t = cell::type_of(&value);
        if (t != T::Datatype && t != T::Typeset && t != T::Word) fire(Err::InvalidTypeSpec, &entry);
    }
}

// A later argument, refinement or local named like an earlier one (any letter case): sorting
// (symbol, position) pairs finds them without comparing every pair.
void check_duplicates(NodeId spec, int32_t from) {
    std::vector<std::pair<SymId, int32_t>> names;
    for (int32_t i = from; i < block::count(spec); i++) {
        const Cell c = item(spec, i);
        if (is_arg_word(cell::type_of(&c)) || cell::is(&c, T::Refinement))
            names.emplace_back(symbol::resolve(word::symbol_of(&c)), i);
    }
    std::sort(names.begin(), names.end());
    int32_t first_repeat = -1;
    for (size_t k = 1; k < names.size(); k++)
        if (names[k].first == names[k - 1].first && (first_repeat < 0 || names[k].second < first_repeat))
            first_repeat = names[k].second;
    if (first_repeat >= 0) {
        const Cell repeated = item(spec, first_repeat);
        fire(Err::DupVars, &repeated);
    }
}

}  // namespace

const Cell* info(const Cell* fn, Info which) {
    return block::raw_cells(info_node(fn)) + static_cast<int32_t>(which);
}

Cell body_of(const Cell* fn) { return *info(fn, Info::Body); }

void set_op_source(const Cell* fn) {
    Cell copy = *fn;
    block::write_cells(info_node(fn))[static_cast<int32_t>(Info::Op)] = copy;
}

uint32_t validate_spec(const Cell* spec_value) {
    const Cell whole = *spec_value;
    const NodeId spec = cell::node(&whole);
    const SymId local = symbol::resolve(words::ref::local.w2);
    const SymId return_ = symbol::resolve(words::sym::return_);
    const SymId trace = symbol::resolve(words::sym::trace);
    const SymId no_trace = symbol::resolve(words::sym::no_trace);
    auto bad = [&whole]() { fire(Err::BadFuncDef, &whole); };
    uint32_t flags = 0;
    int32_t i = block::head_index(&whole);
    const int32_t start = i;
    if (i < block::count(spec) && cell::is(&block::raw_cells(spec)[i], T::Block)) {
        const Cell attrs = item(spec, i);
        const NodeId an = cell::node(&attrs);
        for (int32_t k = block::head_index(&attrs); k < block::count(an); k++) {
            const Cell a = item(an, k);
            if (!cell::is(&a, T::Word)) bad();
            const SymId s = symbol::resolve(word::symbol_of(&a));
            if (s == trace) flags |= kTraceFlag;
            if (s == no_trace) flags |= kNoTraceFlag;
        }
        i++;
    }
    bool return_seen = false;
    bool in_locals = false;
    while (i < block::count(spec)) {
        const Cell c = item(spec, i);
        const int32_t n = block::count(spec);
        const T t = cell::type_of(&c);
        if (is_arg_word(t)) {
            if (in_locals && t != T::Word) bad();
            if (i + 2 < n && cell::is(&(block::raw_cells(spec)[i + 1]), T::String) &&
                cell::is(&(block::raw_cells(spec)[i + 2]), T::Block))
                bad();
            if (return_seen && !in_locals) bad();
            i++;
            if (i < n && cell::is(&block::raw_cells(spec)[i], T::Block)) {
                const Cell types = item(spec, i);
                check_type_block(&types);
                i++;
            }
        } else if (t == T::SetWord) {
            if (symbol::resolve(word::symbol_of(&c)) != return_ || return_seen || in_locals) bad();
            if (i + 1 >= n || !cell::is(&(block::raw_cells(spec)[i + 1]), T::Block)) bad();
            if (i + 2 < n) {
                const T after = cell::type_of(&(block::raw_cells(spec)[i + 2]));
                if (after != T::Refinement && after != T::String) bad();
            }
            return_seen = true;
            i += 2;
        } else if (t == T::Refinement) {
            if (symbol::resolve(word::symbol_of(&c)) == local) {
                in_locals = true;
            } else if (in_locals || return_seen) {
                bad();
            }
            i++;
            if (i < n) {
                const T next = cell::type_of(&(block::raw_cells(spec)[i]));
                if (!is_arg_word(next) && next != T::Refinement && next != T::SetWord && next != T::String)
                    bad();
            }
        } else if (t == T::String) {
            i++;
        } else {
            bad();
        }
    }
    check_duplicates(spec, start);
    return flags;
}

NodeId make_value(const Cell* spec_in, const Cell* body_in, NodeId ctx, int32_t entry,
                  int32_t second, uint32_t flags) {
    Cell* result = stack::push(none::shared());
    Cell* spec = stack::push(spec_in);
    Cell* body = stack::push(body_in);
    cell::set_head(spec, block::head_index(spec));
    if (cell::head(spec) != 0) {
        Cell* copied = block::copy_deep(spec, false, false);
        *spec = *copied;
        spec->header = static_cast<uint32_t>(T::Block);
    }
    Cell* info = block::push_new(5);
    if (cell::is(body, T::Block)) {
        cell::set_head(body, block::head_index(body));
        Cell* copied = block::copy_deep(body, true, true);
        boot_code::keep_mark(cell::node(body), copied);
        *body = *copied;
        body->header = static_cast<uint32_t>(T::Block);
    } else {
        *body = *none::shared();
    }
    block::append_cell(info, body);
    block::append_cell(info, unset::shared());
    const Cell entry_cell{static_cast<uint32_t>(T::Integer), 0, static_cast<uint32_t>(entry), 0};
    block::append_cell(info, entry ? &entry_cell : unset::shared());
    block::append_cell(info, unset::shared());
    const Cell second_cell{static_cast<uint32_t>(T::Integer), 0, static_cast<uint32_t>(second), 0};
    block::append_cell(info, second ? &second_cell : unset::shared());
    const bool own_context = ctx == 0;
    if (own_context) ctx = context::make_from_spec(spec, true, false, context::Kind::Function);
    *result = Cell{static_cast<uint32_t>(T::Function) | flags, ctx, cell::node(spec), cell::node(info)};
    *context::owner(ctx) = *result;
    if (own_context && cell::is(body, T::Block)) context::bind_block(body, ctx, false);
    stack::g_args.top = result + 1;
    return ctx;
}

void collect_locals(Cell* spec, const Cell* body_in) {
    const NodeId sn = cell::node(spec);
    const int32_t head = block::head_index(spec);
    const SymId local = symbol::resolve(words::ref::local.w2);
    const SymId extern_ = symbol::resolve(words::ref::extern_.w2);
    std::unordered_set<SymId> excluded;
    std::vector<Cell> collected;
    int32_t extern_at = -1;
    bool has_local = false;
    for (int32_t i = head; i < block::count(sn); i++) {
        const Cell c = item(sn, i);
        const T t = cell::type_of(&c);
        if (word::is_any_word_type(t) && t != T::Issue) excluded.insert(symbol::resolve(word::symbol_of(&c)));
        if (t != T::Refinement) continue;
        const SymId s = symbol::resolve(word::symbol_of(&c));
        if (s == extern_ && extern_at < 0) extern_at = i;
        if (s == local && extern_at < 0) has_local = true;
    }
    if (extern_at >= 0) {
        bool after_local = false;
        for (int32_t i = head; i < block::count(sn); i++) {
            const Cell c = item(sn, i);
            const T t = cell::type_of(&c);
            if (t != T::Word && t != T::Block && t != T::String && t != T::SetWord && t != T::LitWord &&
                t != T::GetWord && t != T::Refinement)
                fire(Err::BadFuncExtern, &c);
            if (i <= extern_at) continue;
            if (t == T::Refinement) after_local = symbol::resolve(word::symbol_of(&c)) == local;
            else if (after_local && t == T::Word) collected.push_back(c);
        }
        block::clear_from(spec, extern_at);
    }
    auto collect = [&](const Cell& c) {
        const SymId s = symbol::resolve(word::symbol_of(&c));
        if (!excluded.insert(s).second) return;
        Cell w = c;
        cell::set_type(&w, T::Word);
        collected.push_back(w);
    };
    const SymId foreach = symbol::make_cstr("foreach");
    const SymId remove_each = symbol::make_cstr("remove-each");
    const SymId repeat = symbol::make_cstr("repeat");
    // Depth first in body order with an explicit stack of positions; each block or paren is
    // entered once (a block may hold itself).
    std::vector<std::pair<NodeId, int32_t>> work{{cell::node(body_in), block::head_index(body_in)}};
    std::unordered_set<NodeId> seen{cell::node(body_in)};
    while (!work.empty()) {
        const NodeId n = work.back().first;
        const int32_t i = work.back().second++;
        if (i >= block::count(n)) {
            work.pop_back();
            continue;
        }
        const Cell c = item(n, i);
        const T t = cell::type_of(&c);
        if (t == T::Block || t == T::Paren) {
            if (seen.insert(cell::node(&c)).second) work.emplace_back(cell::node(&c), 0);
        } else if (t == T::SetWord) {
            collect(c);
        } else if (t == T::Word && i + 1 < block::count(n)) {
            const SymId s = symbol::resolve(word::symbol_of(&c));
            const bool loop = s == symbol::resolve(foreach) || s == symbol::resolve(remove_each);
            if (!loop && s != symbol::resolve(repeat)) continue;
            const Cell next = item(n, i + 1);
            const T nt = cell::type_of(&next);
            if (nt == T::Word || nt == T::SetWord) {
                collect(next);
            } else if (loop && nt == T::Block) {
                for (int32_t k = block::head_index(&next); k < block::count(cell::node(&next)); k++) {
                    const Cell v = item(cell::node(&next), k);
                    const T vt = cell::type_of(&v);
                    if (vt == T::Word || vt == T::GetWord || vt == T::LitWord) collect(v);
                }
            }
        }
    }
    if (collected.empty()) return;
    if (!has_local) block::append_cell(spec, &words::ref::local);
    for (const Cell& c : collected)
        if (symbol::resolve(word::symbol_of(&c)) != local) block::append_cell(spec, &c);
}

Cell* make(Cell* proto, Cell* spec, TypeId) {
    if (!cell::is(spec, T::Block) || block::rs_length(spec) < 2) fire(Err::BadFuncDef, spec);
    const int32_t head = block::head_index(spec);
    const Cell first = block::at(cell::node(spec), head);
    const Cell second = block::at(cell::node(spec), head + 1);
    if (!cell::is(&first, T::Block) || !cell::is(&second, T::Block)) fire(Err::BadFuncDef, spec);
    const uint32_t flags = validate_spec(&first);
    make_value(&first, &second, 0, 0, 0, flags);
    *proto = *stack::top();
    stack::drop(1);
    return proto;
}

void reflect(Cell* value, SymId field) {
    const SymId f = symbol::resolve(field);
    if (f == symbol::resolve(words::sym::spec)) {
        const Cell spec = block_cell(spec_node(value));
        stack::set_last(&spec);
    } else if (f == symbol::resolve(words::sym::body)) {
        const Cell body = body_of(value);
        stack::set_last(&body);
    } else if (f == symbol::resolve(words::sym::words)) {
        const NodeId ctx = context_of(value);
        Cell* out = block::push_new(context::word_count(ctx));
        for (int32_t i = 0; i < context::word_count(ctx); i++) {
            Cell w = *context::word_at(ctx, i);
            block::append_cell(out, &w);
        }
        stack::set_last(out);
    } else {
        fire(Err::NotDone);
    }
}

int32_t form(Cell*, Cell* buffer, Cell*, int32_t budget) { return string::emit(buffer, "?function?", budget); }

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    Cell spec = block_cell(spec_node(value));
    budget = string::emit(buffer, "func ", budget);
    budget = block::mold(&spec, buffer, false, all, flat, part, budget, indent);
    Cell body = body_of(value);
    if (!cell::is(&body, T::Block)) return string::emit(buffer, " none", budget);
    return block::mold(&body, buffer, false, all, flat, part, budget, indent);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Function)) return kNotComparable;
    switch (static_cast<int32_t>(op)) {
    case 0: case 1: case 2: case 7: case 8: case 9: case 12: break;
    default: return kNotComparable;
    }
    return a->w3 < b->w3 ? -1 : a->w3 > b->w3 ? 1 : 0;
}

void mark(const Cell* value) {
    collector::mark_series(value->w1);
    collector::mark_series(value->w2);
    collector::mark_series(value->w3);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Function,
    .parent = TypeId::Context,
    .name = "function!",
    .make = function::make,
    .reflect = function::reflect,
    .form = function::form,
    .mold = function::mold,
    .compare = function::compare,
    .mark = mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::function
