#include "runtime/datatypes/port.h"

#include <algorithm>
#include <initializer_list>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/errors.h"
#include "runtime/hooks.h"
#include "runtime/stack.h"
#include "runtime/system.h"

namespace nuv::port {

using T = TypeId;

namespace {

constexpr int32_t kMaxValues = 16;

Cell word_named(const char* name) {
    return Cell{static_cast<uint32_t>(T::Word), 0, symbol::make_cstr(name), word::kNoIndex};
}

Cell field(const Cell* port, int32_t index) { return *context::values_at(object::context_of(port), index); }

void set_field(const Cell* port, int32_t index, const Cell* value) {
    *context::write_at(object::context_of(port), index) = *value;
}

// The values an action hands its actor's function: the port, then the arguments in order.
class Call {
  public:
    explicit Call(const Cell* port) { add(port); }
    Call& add(const Cell* value) {
        values_[count_++] = value ? *value : *none::shared();
        return *this;
    }
    Call& flag(bool on) { return add(logic::shared(on)); }
    // A refinement: its flag, then its argument or none.
    Call& refine(const Cell* value) { return flag(value != nullptr).add(value); }
    Call& refine_count(int32_t n, bool given) {
        if (!given) return flag(false).add(nullptr);
        Cell number;
        integer::set(&number, n);
        return flag(true).add(&number);
    }
    // Calls the actor's function named `action`; the result is a new argument-stack cell.
    Cell* run(const char* action) {
        const collector::Root keep(values_, static_cast<size_t>(count_));
        const Cell actor = field(&values_[0], kActor);
        if (!cell::is(&actor, T::Object)) fire(Err::InvalidPort);
        const Cell name = word_named(action);
        const Cell function = *object::get_by_word(&actor, &name);
        if (!cell::is(&function, T::Function)) fire(Err::NoPortAction, &name);
        // Values past the function's own words are not handed on; the refinements it has
        // beyond them come unused.
        const int32_t room = context::word_count(function::context_of(&function));
        return hooks::call_function(&function, hooks::Callback::Port, values_, std::min(count_, room));
    }

  private:
    Cell values_[kMaxValues];
    int32_t count_ = 0;
};

// The stubs whose answer replaces the port in arguments[0].
template <const char* Name>
void on_stack() {
    Cell* port = stack::arg(0);
    Call call(port);
    if constexpr (Name[0] == 'a' || Name[0] == 's' || (Name[0] == 'p' && Name[1] == 'i')) call.add(stack::arg(1));
    *stack::arg(0) = *call.run(Name);
}

constexpr char kAt[] = "at";
constexpr char kSkip[] = "skip";
constexpr char kBack[] = "back";
constexpr char kHead[] = "head";
constexpr char kHeadQ[] = "head?";
constexpr char kIndexQ[] = "index?";
constexpr char kNext[] = "next";
constexpr char kTail[] = "tail";
constexpr char kTailQ[] = "tail?";

template <const char* Name>
Cell* unary_result(Cell* port) {
    return Call(port).run(Name);
}
constexpr char kCreate[] = "create";
constexpr char kClose[] = "close";
constexpr char kDelete[] = "delete";
constexpr char kQuery[] = "query";
constexpr char kUpdate[] = "update";

// Closes the port whatever the body raised, then lets the error go on.
template <class Body>
Cell* closing(Cell* port, Body body) {
    const Cell held = *port;
    Cell* result;
    try {
        result = body();
    } catch (...) {
        Cell again = held;
        Call(&again).run("close");
        throw;
    }
    Cell* kept = stack::push(result);
    Cell again = held;
    Call(&again).run("close");
    return kept;
}

Cell* open_for(Cell* port, bool read, bool write, bool seek) {
    return Call(port).flag(false).flag(read).flag(write).flag(seek).add(nullptr).run("open");
}

}  // namespace

// ---- make, form and mold ----

Cell* make(Cell* proto, Cell* spec, TypeId) {
    Cell* given = stack::push(spec);
    Cell* spec_object = stack::push(given);
    if (!cell::is(given, T::Object)) {
        *spec_object = system_object::standard(system_object::kStandardUrlParts);
        object::make(spec_object, given, T::Object);
    }
    const Cell scheme_word = *object::get_by_word(spec_object, &(const Cell&)word_named("scheme"));
    if (!cell::is(&scheme_word, T::Word)) fire(Err::NoScheme, given);
    const Cell schemes = system_object::schemes();
    Cell scheme = *none::shared();
    if (cell::is(&schemes, T::Block)) {
        const NodeId node = cell::node(&schemes);
        for (int32_t i = block::head_index(&schemes); i + 1 < block::count(node); i += 2) {
            const Cell name = block::at(node, i);
            const T t = cell::type_of(&name);
            if ((t == T::Word || t == T::LitWord || t == T::SetWord || t == T::GetWord) &&
                symbol::resolve(name.w2) == symbol::resolve(scheme_word.w2)) {
                scheme = block::at(node, i + 1);
                break;
            }
        }
    }
    if (!cell::is(&scheme, T::Object)) fire(Err::UnknownScheme, given);
    const Cell actor = *object::get_by_word(&scheme, &(const Cell&)word_named("actor"));
    if (!cell::is(&actor, T::Object) && !cell::is(&actor, T::Handle)) fire(Err::InvalidActor, given);
    Cell* made = stack::push(none::shared());
    const Cell prototype = system_object::standard(system_object::kStandardPort);
    if (!cell::is(&prototype, T::Object)) fire(Err::InvalidPort);
    object::clone(&prototype, made, false, nullptr, true);
    cell::set_type(made, T::Port);
    set_field(made, kSpec, spec_object);
    set_field(made, kScheme, &scheme_word);
    set_field(made, kActor, &actor);
    *proto = *made;
    return proto;
}

int32_t mold(Cell* value, Cell* buffer, bool, bool all, bool flat, Cell* part, int32_t budget,
             int32_t indent) {
    const Cell port = *value;
    if (cycles::detect(&port, buffer, budget, true)) return budget;
    budget = string::emit(buffer, "make port! [", budget);
    if (!flat) budget = string::emit(buffer, "\n", budget);
    budget = object::mold_fields(&port, buffer, all, flat, part, budget, indent + 1);
    for (int32_t i = 0; i < indent && !flat; i++) budget = string::emit(buffer, "    ", budget);
    return string::emit(buffer, "]", budget);
}

int32_t form(Cell* value, Cell* buffer, Cell* part, int32_t budget) {
    return mold(value, buffer, false, false, false, part, budget, 0);
}

Cell* change_part(Cell* port, Cell* value, const Cell* part, bool only, int32_t dup) {
    return Call(port).add(value).refine(part).flag(only).refine_count(dup, dup > 1).run("change");
}

// ---- The forwarding stubs ----

namespace {

Cell* insert(Cell* port, Cell* value, int32_t part, bool only, int32_t dup, bool append) {
    return Call(port).add(value).refine_count(part, part >= 0).flag(only).refine_count(dup, dup > 1)
        .run(append ? "append" : "insert");
}

Cell* change(Cell* port, Cell* value, int32_t part, bool only, int32_t dup) {
    Cell count;
    integer::set(&count, part);
    return change_part(port, value, part >= 0 ? &count : nullptr, only, dup);
}

void clear(Cell* port) { *port = *Call(port).run("clear"); }

Cell* copy(Cell* port, Cell* result, Cell* part, bool deep, Cell* types) {
    *result = *Call(port).refine(part).flag(deep).refine(types).run("copy");
    return result;
}

Cell* find(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match) {
    return Call(port).add(value).refine(part).flag(only).flag(case_).flag(same).flag(any)
        .refine(with).refine(skip).flag(last).flag(reverse).flag(tail).flag(match).run("find");
}

const Cell* select(Cell* port, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
                   Cell* with, Cell* skip, bool last, bool reverse) {
    return Call(port).add(value).refine(part).flag(only).flag(case_).flag(same).flag(any)
        .refine(with).refine(skip).flag(last).flag(reverse).run("select");
}

int32_t length(Cell* port) {
    const Cell* answer = Call(port).run("length?");
    return cell::is(answer, T::Integer) ? cell::get_int(answer) : -1;
}

void move(Cell* port, Cell* target, Cell* part) { Call(port).add(target).refine(part).run("move"); }

Cell* put(Cell* port, Cell* key, Cell* value, bool case_) {
    return Call(port).add(key).add(value).flag(case_).run("put");
}

Cell* modify(Cell* port, Cell* field, Cell* value, bool case_) {
    return Call(port).add(field).add(value).flag(case_).run("modify");
}

Cell* open(Cell* port, bool new_, bool read, bool write, bool seek, Cell* allow) {
    return Call(port).flag(new_).flag(read).flag(write).flag(seek).add(allow).run("open");
}

const Cell* pick(Cell* port, int32_t, Cell* index) { return Call(port).add(index).run("pick"); }

Cell* poke(Cell* port, int32_t, Cell* value, Cell* index) {
    return Call(port).add(index).add(value).run("poke");
}

Cell* remove(Cell* port, Cell* part, Cell* key) {
    return Call(port).refine(part).refine(key).run("remove");
}

Cell* reverse(Cell* port, Cell* part, Cell*) { return Call(port).refine(part).run("reverse"); }

Cell* rename(Cell* port, Cell* to) { return Call(port).add(to).run("rename"); }

Cell* sort(Cell* port, bool case_, Cell* skip, Cell* compare, Cell* part, bool all, bool reverse,
           bool stable) {
    return Call(port).flag(case_).refine(skip).refine(compare).refine(part).flag(all).flag(reverse)
        .flag(stable).run("sort");
}

Cell* swap(Cell* port, Cell* other) { return Call(port).add(other).run("swap"); }

Cell* take(Cell* port, Cell* part, bool deep, bool last) {
    return Call(port).refine(part).flag(deep).flag(last).run("take");
}

Cell* trim(Cell* port, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with) {
    return Call(port).flag(head).flag(tail).flag(auto_).flag(lines).flag(all).refine(with).run("trim");
}

Cell* read(Cell* port, Cell* part, Cell* seek, bool, bool, bool, Cell*) {
    open_for(port, true, false, seek != nullptr);
    const Cell limit = part ? *part : *none::shared();
    return closing(port, [port, part, &limit] {
        return Call(port).refine(part ? &limit : nullptr).flag(false).refine(nullptr).run("copy");
    });
}

Cell* write(Cell* port, Cell* data, bool, bool, bool, bool, Cell* part, Cell* seek, Cell*, Cell*) {
    open_for(port, false, true, seek != nullptr);
    const Cell value = *data;
    const bool counted = part && cell::is(part, T::Integer);
    const int32_t n = counted ? cell::get_int(part) : 0;
    return closing(port, [port, &value, counted, n] {
        Call(port).add(&value).refine_count(n, counted).flag(false).refine_count(0, false).run("insert");
        return Call(port).refine(nullptr).flag(false).refine(nullptr).run("copy");
    });
}

}  // namespace

constexpr TypeRecord kRecord{
    .id = TypeId::Port,
    .parent = TypeId::Object,
    .name = "port!",
    .make = port::make,
    .reflect = kInherited,
    .form = port::form,
    .mold = port::mold,
    .path_access = kInherited,
    .compare = kInherited,
    .append = port::insert,
    .at = on_stack<kAt>,
    .back = on_stack<kBack>,
    .change = port::change,
    .clear = port::clear,
    .copy = port::copy,
    .find = port::find,
    .head = on_stack<kHead>,
    .head_q = on_stack<kHeadQ>,
    .index_q = on_stack<kIndexQ>,
    .insert = port::insert,
    .length_q = port::length,
    .move = port::move,
    .next = on_stack<kNext>,
    .pick = port::pick,
    .poke = port::poke,
    .put = port::put,
    .remove = port::remove,
    .reverse = port::reverse,
    .select = port::select,
    .sort = port::sort,
    .skip = on_stack<kSkip>,
    .swap = port::swap,
    .tail = on_stack<kTail>,
    .tail_q = on_stack<kTailQ>,
    .take = port::take,
    .trim = port::trim,
    .create = unary_result<kCreate>,
    .close = unary_result<kClose>,
    .delete_ = unary_result<kDelete>,
    .modify = port::modify,
    .open = port::open,
    .query = unary_result<kQuery>,
    .read = port::read,
    .rename = port::rename,
    .update = unary_result<kUpdate>,
    .write = port::write,
    .mark = object::mark,
};

void init() { registry::register_type(kRecord); }

}  // namespace nuv::port
