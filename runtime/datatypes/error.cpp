// error!: making errors from catalogue entries, codes, blocks and strings; the report; the
// backtrace a catch frame asks for; and the registration record. An error is a copy of the
// prototype system/standard/error, so its fields sit at fixed indexes. Fields are read and
// written by (context, index): making strings, words and copies allocates.
#include "runtime/datatypes/error.h"

#include <algorithm>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/frames.h"
#include "runtime/hooks.h"
#include "runtime/stack.h"
#include "runtime/support.h"
#include "runtime/system.h"
#include "runtime/words.h"

namespace nuv::error {

namespace {

using T = TypeId;

const Cell* const* g_position = nullptr;

constexpr int32_t kFirstId = 2;  // ids follow a category's `code` and `type` fields
constexpr int32_t kInternal = static_cast<int32_t>(ErrCategory::Internal);
constexpr int32_t kInvalidErrorField = err_code(Err::InvalidError) % 100 + kFirstId;
constexpr int32_t kSyntax = static_cast<int32_t>(ErrCategory::Syntax);

Cell none_cell() { return Cell{static_cast<uint32_t>(T::None), 0, 0, 0}; }

// The calls kept for an error's Stack line sit in its context's series after the context and
// owner cells: they live and die with the error, and a copy of the error (a new context) has
// none.
constexpr int32_t kCallsCell = 2;

// The block of calls kept with the error whose context this is, or none!.
Cell kept_calls(NodeId ectx) {
    return block::count(ectx) > kCallsCell ? block::at(ectx, kCallsCell) : none_cell();
}

// Calls `each` with every call kept with the error that the stack-trace level names, as a word!.
template <class Each>
void each_kept_call(NodeId ectx, int32_t level, Each each) {
    const Cell calls = kept_calls(ectx);
    if (!cell::is(&calls, T::Block)) return;
    const NodeId node = cell::node(&calls);
    for (int32_t i = 0; i < block::count(node); i++) {
        Cell call = block::at(node, i);
        if (!frames::trace_shows(level, &call)) continue;
        cell::set_type(&call, T::Word);
        each(call);
    }
}

bool is_word(const Cell* c) {
    const T t = cell::type_of(c);
    return t == T::Word || t == T::SetWord || t == T::GetWord || t == T::LitWord;
}

// A copy of value #index of the context (unset beyond its values).
Cell value_at(NodeId ctx, int32_t index) {
    if (index < 0 || index >= block::count(context::cell_of(ctx)->w2)) return *unset::shared();
    return *context::values_at(ctx, index);
}

// The word of field #index of the context as a plain word! bound there.
Cell word_of(NodeId ctx, int32_t index) {
    Cell w = *context::word_at(ctx, index);
    cell::set_header(&w, T::Word);
    return w;
}


NodeId catalogue_or_fail() {
    const NodeId cat = system_object::catalog_errors();
    if (cat == 0) fire(Err::InvalidError);
    return cat;
}

// A fresh copy of the prototype in `out`: an error! of class 1 without a record.
Cell* new_error(Cell* out) {
    const Cell proto = system_object::standard_error();
    if (!cell::is(&proto, T::Object) || object::word_count(&proto) < kFieldCount)
        fire(Err::InvalidError);
    object::clone(&proto, out, false, nullptr, false);
    cell::set_header(out, T::Error);
    out->w2 = static_cast<uint32_t>(kClass);
    out->w3 = 0;
    *context::owner(object::context_of(out)) = *out;
    return out;
}

void set_near(const Cell* error) {
    Cell near = g_position && *g_position ? **g_position : *unset::shared();
    if (cell::is(&near, T::Block)) near.w3 = 0;  // the evaluator's own mark on its code position
    put_field(error, kNear, near);
}

void set_args(const Cell* error, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    const Cell* args[3] = {arg1, arg2, arg3};
    for (int32_t i = 0; i < 3; i++)
        if (args[i]) put_field(error, kArg1 + i, *args[i]);
}

// Fills code, type and id for category #c and id field #field of the catalogue.
void set_entry(const Cell* error, NodeId cat, int32_t c, NodeId category, int32_t field) {
    Cell code;
    integer::set(&code, c * 100 + field - kFirstId);
    put_field(error, kCode, code);
    put_field(error, kType, word_of(cat, c));
    put_field(error, kId, word_of(category, field));
}

// ---- The report ----

// The text written since `start` (units from the buffer's start) is cut to `width` units.
void cut(Cell* buffer, int32_t start, int32_t width) {
    if (string::length_abs(buffer) > start + width)
        string::trim_min(cell::node(buffer), static_cast<size_t>(start + width));
}

bool is_control(char32_t c) { return c < 32 || c == 127 || (c >= 128 && c <= 159); }

// The control characters written from `start` on take their caret escapes, as in molded text:
// a formed field cannot break the report's lines or send raw control bytes. Allocates.
void escape_controls(Cell* buffer, int32_t start) {
    Cell whole = *buffer;
    cell::set_head(&whole, 0);
    const int32_t end = string::length_abs(buffer);
    int32_t first = start;
    while (first < end && !is_control(string::char_at(&whole, first))) first++;
    if (first == end) return;
    stack::Mark mark;
    Cell* rest = string::make_at(stack::push(none::shared()), static_cast<size_t>(end - first) * 2);
    for (int32_t i = first; i < end; i++) {
        const char32_t c = string::char_at(&whole, i);
        if (is_control(c)) string::mold_char(rest, c, string::kEscapeControls, false);
        else string::append_char(cell::node(rest), c);
    }
    string::trim_min(cell::node(buffer), static_cast<size_t>(first));
    string::concatenate(buffer, rest, -1, 0, true, string::Concat::Append);
    mark.restore();
}

// Writes the value formed (or molded, with only and flat) cut to `width` characters. Allocates.
void emit_cut(Cell* buffer, Cell value, bool mold, bool only, int32_t width) {
    const int32_t start = string::length_abs(buffer);
    Cell part;
    integer::set(&part, width);
    if (mold)
        lookup<&ActionRow::mold>(&value, ActionId::Mold)(&value, buffer, only, false, true, &part,
                                                         width, 0);
    else
        lookup<&ActionRow::form>(&value, ActionId::Form)(&value, buffer, &part, width);
    cut(buffer, start, width);
    if (!mold) escape_controls(buffer, start);
}

void emit_form(Cell* buffer, Cell value) {
    const int32_t start = string::length_abs(buffer);
    lookup<&ActionRow::form>(&value, ActionId::Form)(&value, buffer, nullptr, kNoLimit);
    escape_controls(buffer, start);
}

// The category and message of the report. An unknown category, id or message rewrites the
// error to internal invalid-error (the old word in arg1) and looks again; answers the message,
// or unset when the catalogue cannot give one at all.
struct Entry {
    NodeId category;  // 0 when the catalogue has no usable category
    int32_t index;    // the category's index in the catalogue
    Cell message;
};

void rewrite_invalid(const Cell* error, NodeId cat, const Cell& offending) {
    const NodeId internal = system_object::category(kInternal);
    put_field(error, kArg1, offending);
    if (internal == 0 || context::word_count(internal) <= kInvalidErrorField) return;
    put_field(error, kType, word_of(cat, kInternal));
    put_field(error, kId, word_of(internal, kInvalidErrorField));
}

Entry find_entry(const Cell* error, NodeId cat) {
    const NodeId ectx = object::context_of(error);
    for (int attempt = 0; attempt < 2; attempt++) {
        const Cell type = value_at(ectx, kType);
        const Cell id = value_at(ectx, kId);
        const int32_t c = is_word(&type) ? context::find_word(cat, type.w2, true) : -1;
        const NodeId category = system_object::category(c);
        if (category == 0) {
            rewrite_invalid(error, cat, type);
            continue;
        }
        const int32_t field = is_word(&id) ? context::find_word(category, id.w2, true) : -1;
        if (field < 0) {
            rewrite_invalid(error, cat, id);
            continue;
        }
        return Entry{category, c, value_at(category, field)};
    }
    return Entry{0, -1, *unset::shared()};
}

void emit_message(Cell* buffer, const Cell* error, const Entry& entry, NodeId cat) {
    const NodeId ectx = object::context_of(error);
    Cell message = entry.message;
    if (cell::is(&message, T::Word)) {
        const int32_t field = context::find_word(ectx, message.w2, true);
        message = field >= 0 ? value_at(ectx, field) : none_cell();
    }
    if (cell::is(&message, T::String)) {
        emit_form(buffer, message);
        return;
    }
    if (!cell::is(&message, T::Block)) {
        rewrite_invalid(error, cat, value_at(ectx, kType));
        return;
    }
    const bool formed = entry.index == kSyntax;
    const NodeId node = cell::node(&message);
    const int32_t head = block::head_index(&message);
    for (int32_t i = head; i < block::count(node); i++) {
        const Cell item = block::at(node, i);
        const T t = cell::type_of(&item);
        if (t == T::String) {
            emit_form(buffer, item);
        } else if (t == T::Word || t == T::GetWord) {
            const int32_t field = context::find_word(ectx, item.w2, true);
            const Cell value = field >= 0 ? value_at(ectx, field) : none_cell();
            emit_cut(buffer, value, !formed, false, kArgWidth);
        }
        if (i + 1 < block::count(node)) string::emit(buffer, " ", 0);
    }
}

// The Stack line: from the block in `stack`, or, while `stack` holds a marker, from the calls kept
// at the raise (each name followed by a blank). No line when the level is 0 or none is named.
void emit_stack(Cell* buffer, NodeId ectx) {
    const int32_t level = system_object::stack_trace();
    if (level <= 0) return;
    const Cell stack_value = value_at(ectx, kStack);
    if (cell::is(&stack_value, T::Integer)) {
        bool any = false;
        each_kept_call(ectx, level, [&](const Cell& call) {
            if (!any) string::emit(buffer, "\n*** Stack: ", 0);
            any = true;
            emit_form(buffer, call);
            string::emit(buffer, " ", 0);
        });
    } else if (cell::is(&stack_value, T::Block) && block::rs_length(&stack_value) > 0) {
        // An error raised outside any function has no calls to show.
        string::emit(buffer, "\n*** Stack: ", 0);
        emit_form(buffer, stack_value);
    }
}

// A spec of set-words, bound to a new error in `out` and evaluated there; its type and id
// must then name a catalogue entry (else script invalid-spec-field), from which the code
// follows. Runs code.
void make_from_code(Cell* out, const Cell& spec) {
    new_error(out);
    const NodeId ectx = object::context_of(out);
    stack::Mark mark;
    stack::push(out);  // the error stays reachable while its spec runs
    Cell* body = stack::push(&spec);
    context::bind_block(body, ectx, false);
    hooks::do_block(body);
    mark.restore();
    const NodeId cat = catalogue_or_fail();
    const Cell type = value_at(ectx, kType);
    const int32_t c = cell::is(&type, T::Word) ? context::find_word(cat, type.w2, true) : -1;
    const NodeId category = system_object::category(c);
    if (category == 0) fire(Err::InvalidSpecField, &words::w::type);
    const Cell id = value_at(ectx, kId);
    const int32_t field = cell::is(&id, T::Word) ? context::find_word(category, id.w2, true) : -1;
    if (field < kFirstId) fire(Err::InvalidSpecField, &words::w::id);
    Cell code;
    integer::set(&code, c * 100 + field - kFirstId);
    put_field(out, kCode, code);
}

}  // namespace

// ---- Making ----

Cell* make_at(Cell* out, Err id, const Cell* arg1, const Cell* arg2, const Cell* arg3) {
    const Cell args[3] = {arg1 ? *arg1 : Cell{}, arg2 ? *arg2 : Cell{}, arg3 ? *arg3 : Cell{}};
    const int32_t c = err_code(id) / 100;
    const int32_t field = err_code(id) % 100 + kFirstId;
    const NodeId cat = catalogue_or_fail();
    const NodeId category = system_object::category(c);
    if (category == 0 || field >= context::word_count(category)) fire(Err::InvalidError);
    new_error(out);
    set_entry(out, cat, c, category, field);
    set_args(out, arg1 ? &args[0] : nullptr, arg2 ? &args[1] : nullptr, arg3 ? &args[2] : nullptr);
    set_near(out);
    return out;
}

Cell* make_from_words(Cell* out, const Cell* category_word, const Cell* id_word, const Cell* arg1,
                      const Cell* arg2, const Cell* arg3) {
    const Cell args[3] = {arg1 ? *arg1 : Cell{}, arg2 ? *arg2 : Cell{}, arg3 ? *arg3 : Cell{}};
    const Cell type = *category_word;
    const Cell id = *id_word;
    const NodeId cat = catalogue_or_fail();
    const int32_t c = is_word(&type) ? context::find_word(cat, type.w2, true) : -1;
    const NodeId category = system_object::category(c);
    if (category == 0) fire(Err::InvalidSpecField, &words::w::type);
    const int32_t field = is_word(&id) ? context::find_word(category, id.w2, true) : -1;
    if (field < kFirstId) fire(Err::InvalidSpecField, &words::w::id);
    new_error(out);
    set_entry(out, cat, c, category, field);
    set_args(out, arg1 ? &args[0] : nullptr, arg2 ? &args[1] : nullptr, arg3 ? &args[2] : nullptr);
    set_near(out);
    return out;
}

void make_raised(const RaisedError& record, Cell* out) {
    const Cell* args[3] = {nullptr, nullptr, nullptr};
    for (int32_t i = 0; i < record.argc && i < 3; i++) args[i] = &record.args[i];
    make_at(out, record.id, args[0], args[1], args[2]);
}

void set_position_source(Cell* const* position) { g_position = position; }

// ---- Reading and filling ----

const Cell* field(const Cell* error, int32_t index) {
    return context::values_at(object::context_of(error), index);
}

void put_field(const Cell* error, int32_t index, const Cell& value) {
    *context::write_at(object::context_of(error), index) = value;
}

SymId type_of(const Cell* error) {
    const Cell* type = field(error, kType);
    return is_word(type) ? type->w2 : 0;
}

SymId id_of(const Cell* error) {
    const Cell* id = field(error, kId);
    return is_word(id) ? id->w2 : 0;
}

void set_where(Cell* error, const Cell* value) {
    if (cell::is(field(error, kWhere), T::None)) put_field(error, kWhere, *value);
}

void keep_calls(const Cell* error, uint32_t marker, bool wanted) {
    const NodeId ectx = object::context_of(error);
    Cell held[2] = {*error, none_cell()};
    collector::Root root(held, 2);
    if (wanted) frames::trace_calls(&held[1], marker);
    if (block::count(ectx) > kCallsCell) {
        block::write_cells(ectx)[kCallsCell] = held[1];
    } else if (!cell::is(&held[1], T::None)) {
        const Cell series{static_cast<uint32_t>(T::Block), 0, ectx, 0};
        block::append_cell(&series, &held[1]);
    }
}

void set_stack(Cell* error) {
    if (!cell::is(error, T::Error)) return;
    const Cell self = *error;
    const Cell marker = *field(&self, kStack);
    if (!cell::is(&marker, T::Integer)) return;
    const int32_t level = std::max(system_object::stack_trace(), 1);
    stack::Mark mark;
    Cell* trace = block::push_new(20);
    each_kept_call(object::context_of(&self), level,
                   [trace](const Cell& call) { block::append_cell(trace, &call); });
    put_field(&self, kStack, *trace);
    const Cell files = system_object::source_files();
    if (cell::is(&files, T::Block) && block::rs_length(&files) > 0)
        put_field(&self, kFiles, *block::copy_deep(&files, false, false));
    mark.restore();
}

// ---- Slots ----

Cell* make(Cell* proto, Cell* spec, TypeId) {
    const Cell from = *spec;
    Cell* result = proto;
    switch (cell::type_of(&from)) {
    case T::Integer: {
        const int32_t code = integer::get(&from);
        const NodeId cat = catalogue_or_fail();
        const int32_t c = code / 100;
        if (code < 0 || c >= context::word_count(cat)) fire(Err::OutOfRange, &from);
        const NodeId category = system_object::category(c);
        const int32_t field = code % 100 + kFirstId;
        if (category == 0 || field >= context::word_count(category)) fire(Err::OutOfRange, &from);
        new_error(result);
        set_entry(result, cat, c, category, field);
        break;
    }
    case T::Block: {
        if (block::rs_length(&from) <= 0) fire(Err::InvalidError);
        const NodeId node = cell::node(&from);
        const int32_t head = block::head_index(&from);
        const Cell first = block::at(node, head);
        if (cell::is(&first, T::SetWord)) {
            make_from_code(result, from);
            break;
        }
        if (!cell::is(&first, T::Word)) fire(Err::InvalidError);
        const NodeId cat = catalogue_or_fail();
        const int32_t c = context::find_word(cat, first.w2, true);
        const NodeId category = system_object::category(c);
        if (category == 0) fire(Err::InvalidSpecField, &words::w::type);
        if (head + 1 >= block::count(node)) fire(Err::InvalidSpecField, &words::w::id);
        const Cell second = block::at(node, head + 1);
        if (!cell::is(&second, T::Word)) fire(Err::InvalidArg, &second);
        const int32_t field = context::find_word(category, second.w2, true);
        if (field < kFirstId) fire(Err::InvalidSpecField, &words::w::id);
        new_error(result);
        set_entry(result, cat, c, category, field);
        Cell type = first;
        Cell id = second;
        type.header &= ~cell::kNewLine;
        id.header &= ~cell::kNewLine;
        put_field(result, kType, type);
        put_field(result, kId, id);
        break;
    }
    case T::String: return make_at(result, Err::Message, &from);
    default: fire_bad_make(T::Error, &from);
    }
    set_near(result);
    return result;
}

int32_t form(Cell* value, Cell* buffer, Cell*, int32_t budget) {
    const Cell self = *value;
    const NodeId ectx = object::context_of(&self);
    const int32_t start = string::length_abs(buffer);
    string::emit(buffer, "*** ", 0);
    const NodeId cat = system_object::catalog_errors();
    if (cat != 0 && context::word_count(ectx) >= kFieldCount) {
        const Entry entry = find_entry(&self, cat);
        if (entry.category != 0) {
            emit_form(buffer, value_at(entry.category, 1));
            string::emit(buffer, ": ", 0);
            emit_message(buffer, &self, entry, cat);
        }
    }
    string::emit(buffer, "\n*** Where: ", 0);
    const Cell where = value_at(ectx, kWhere);
    if (cell::is(&where, T::Word) || cell::is(&where, T::String)) emit_form(buffer, where);
    else string::emit(buffer, "???", 0);
    string::emit(buffer, "\n*** Near : ", 0);
    emit_cut(buffer, value_at(ectx, kNear), true, true, kNearWidth);
    emit_stack(buffer, ectx);
    const Cell files = value_at(ectx, kFiles);
    if (cell::is(&files, T::Block)) {
        string::emit(buffer, "\n*** Files: ", 0);
        emit_cut(buffer, files, true, true, kNearWidth);
    }
    return budget - (string::length_abs(buffer) - start);
}

int32_t mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part,
             int32_t budget, int32_t indent) {
    const Cell self = *value;
    if (cycles::detect(&self, buffer, budget, true)) return budget;
    if (!only) {
        budget = string::emit(buffer, "make error! [", budget);
        if (!flat) budget = string::emit(buffer, "\n", budget);
    }
    budget = object::mold_fields(&self, buffer, all, flat, part, budget, indent + 1);
    if (indent > 0 && !flat) budget = mold_indent(buffer, indent, budget);
    if (!only) budget = string::emit(buffer, "]", budget);
    return budget;
}

const Cell* path_access(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grandparent,
                        Cell* element_cell, int32_t position, bool case_, bool get, bool last,
                        bool notify) {
    if (word::is_any_word_type(cell::type_of(element)) &&
        symbol::resolve(word::symbol_of(element)) == symbol::resolve(words::sym::stack)) {
        const Cell where = path ? *path : none_cell();
        fire(Err::InvalidPathSet, &where);
    }
    return object::path_access(parent, element, value, path, grandparent, element_cell, position,
                               case_, get, last, notify);
}

int32_t compare(Cell* a, Cell* b, CompareOp op) {
    if (!cell::is(b, T::Error)) return kNotComparable;
    Cell left = *a;
    Cell right = *b;
    cell::set_type(&left, T::Object);
    cell::set_type(&right, T::Object);
    return object::compare(&left, &right, op);
}

constexpr TypeRecord kRecord{
    .id = TypeId::Error,
    .parent = TypeId::Object,
    .name = "error!",
    .make = error::make,
    .reflect = kInherited,
    .form = error::form,
    .mold = error::mold,
    .path_access = error::path_access,
    .compare = error::compare,
    .copy = kInherited,
    .find = kInherited,
    .select = kInherited,
    .mark = object::mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::error
