// Compiled units. A unit is built from a block's cells as the interpreter would read them at that
// moment: each expression becomes a step (a constant, a word read, a set-word, a call of a global
// callable with its argument steps, if and either with their literal branches inline, a paren
// inline) followed by its operator steps. A step that the unit does not compile (paths, words
// whose value is not known to be plain, calls the interpreter makes specially) is the
// interpreter's own expression at that position.
//
// Every step leaves the stack, the frames, the code positions and the pending exit exactly as
// the interpreter's step does. After each step that may have run code the unit checks that it
// still holds (the epoch, the index reached): if not, the rest of the step's work and of its
// block goes to the interpreter's pieces (operators, argument fetching, the block loop), which
// read the cells as they now stand.
#include "runtime/evaluator/units.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/evaluator/interp_parts.h"
#include "runtime/evaluator/interpreter.h"
#include "runtime/evaluator/trace.h"
#include "runtime/evaluator/truth.h"
#include "runtime/frames.h"
#include "runtime/stack.h"
#include "runtime/watch.h"

namespace nuv::units {

bool g_on = true;
NodeId g_pure_hints[kPureHints];

namespace {

using T = TypeId;
namespace P = interp::parts;

Settings g_settings{};
Counters g_counters{};

bool env_on(const char* name) {
    const char* v = std::getenv(name);
    return v && std::strcmp(v, "1") == 0;
}

// ---- Units ----

enum class Kind : uint8_t {
    Const,    // the value pushed as it stands
    LitWord,  // pushed as a word!
    GetWord,  // the word's value pushed, unset allowed
    Word,     // the word's value read each time: pushed when plain, else the interpreter's expression
    Generic,  // the interpreter's expression
    Paren,    // a sequence run for its value
    SetWord,  // the value step, then the word set
    Call,     // a global callable called with its argument steps
    Branch,   // if or either with their branches
};

struct Step {
    Kind kind;
    bool prefix;       // no operators after the value
    bool check_after;  // a bound word at `end`: the interpreter applies it if it now refers to an op
    NodeId node;       // the series the step reads
    int32_t at;        // the value's index
    int32_t value_end; // the index after the value
    int32_t end;       // the index after the value and its operators
    Cell cell;         // Const: the value; the word kinds: the word
    int32_t child;     // SetWord: the value step; Paren: the sequence; Call, Branch: the call
    int32_t ops_from;  // operator steps, in `infixes`
    int32_t ops_count;
    // Only reads and computes: a constant or a word, then operators computed in place over
    // constants and words. Such a step runs with no frame when every value is of a type its
    // operators compute, which is when the interpreter makes no call either.
    bool pure = false;
    int32_t pure_from = 0;  // a pure step's operators, in `pure_ops`
    Cell after{};           // check_after: the word at `end`
};

// An operator of a pure step, with what it computes in place and its right operand.
struct PureOp {
    interp::parts::Fast fast;
    bool right_const;  // the right operand is `right` itself, else the word `right` is read
    uint64_t left;     // the number types computed on each side
    uint64_t right_types;
    Cell right;
};

// An argument step of a call, with what its spec entry takes.
struct Arg {
    int32_t step;
    uint64_t takes;  // bit t: type id t (ids below 64) is taken
    bool checked;    // a constant the argument takes: no check when it runs
};

struct Call {
    Cell callee;
    Cell name;  // the word that named it in the code
    T type;     // Function, Native or Action (an op: what it wraps)
    interp::parts::Fast fast;
    uint8_t flags;
    natives::Entry native_entry;
    actions::Entry action_entry;
    mutable NodeId compiled;  // the compiled spec, once the callee has one (0 before)
    uint32_t frame_header;    // the header of the frame the call pushes (0: the name does not fit one)
    uint32_t frame_flag;      // its interpreter flag: none in boot code
    std::vector<Cell> spec;   // what it holds: the spec word and typeset of each entry
    int32_t total;       // its entries, in cells
    int32_t refinements; // refinement entries
    int32_t args_from;   // leading arguments, in `args`
    int32_t arg_count;
    Cell body;           // a function's body
    NodeId ctx;          // a function's context
    NodeId words;        // its word block
    int32_t branches[2]; // Branch: the sequences of literal branch blocks, or -1
    uint64_t fast_left;  // operators computed in place: the number types each side takes
    uint64_t fast_right;
    bool quick_exit;     // return with a pure argument, or exit
    bool pure_branch;    // Branch: a pure condition, then literal blocks the native takes
    bool pure_args;      // every argument is pure (constants included)
};

struct Infix {
    int32_t at;   // the operator word's index
    int32_t end;  // the index after its right operand
    int32_t call; // the operator's call (one argument step: the right operand)
};

struct Sequence {
    NodeId node;
    int32_t head;
    int32_t end;                 // the block's tail index
    std::vector<int32_t> steps;  // the expressions in order; empty: the block is empty from head
    int32_t lone_pure = -1;      // the one step of a block that is a single pure expression
    bool all_pure = false;       // every step is pure, or a set-word of a pure value
    int32_t lone_exit = -1;      // the one step of a block that is `return` of a pure value, or `exit`
};

struct Watched {
    NodeId node;
    uint32_t stamp;
    std::vector<Cell> snapshot;  // verify mode
};

struct Speculation {
    int32_t index;  // global slot, or the slot of the library object's context `library`
    Cell value;
    NodeId library = 0;
};

// ---- Flat code ----

// The steps of a unit laid out in the order they run, so that function calls, branches and
// parens run in one loop with no C++ call of their own. A step the flat code does not lay out is
// the tree runner's (Tree), and any op that may run code is followed by the check that the unit
// still holds; where it does not, the open constructs are finished by the interpreter's pieces.
enum class Op : uint8_t {
    Code,        // a: step: its position written as the current code position
    Pure,        // a: step of a sequence, pure: computed in place, else the tree runner's
    SetPure,     // a: set-word step of a pure value: written in place, else the tree runner's
    Tree,        // a: step run by the tree runner
    Call,        // a: call step of a function with pure arguments: its body runs inline
    AfterCall,   // a: the call step: the check after the body
    Branch,      // a: branch step with a pure condition; b: the else branch's first op; c: the end
    BranchEnd,   // a: the branch step; c: the op after the branches
    SeqOpen,     // a: sequence (a paren's); b: the paren step
    StepDone,    // a: sequence; b: the step's place in it; c: 1 for its last step
    SeqClose,    // a: sequence
    Return,      // the unit's block is done: its body ends, or the run
    InPlace,     // a: step; b: operator: computed in place, else called
    InfixOpen,   // a: step; b: operator: its frame pushed before its right operand, a call
    InfixEnd,    // a: step; b: operator: checked and called once its right operand is there
    InfixTree,   // a: step; b: operator: the tree runner's
    CheckAfter,  // a: step: the word after it may now be an operator
};

struct Step;
struct Call;
struct Infix;
struct Sequence;
struct FlatOp {
    Op op;
    int32_t a;
    int32_t b;
    int32_t c;
    // What a, b name, resolved once the unit is built (its tables never change after).
    const Step* s = nullptr;
    const Call* call = nullptr;
    const Infix* in = nullptr;
    const Sequence* seq = nullptr;
};

struct Unit {
    NodeId node;
    int32_t head;
    std::vector<Step> steps;
    std::vector<Infix> infixes;
    std::vector<Call> calls;
    std::vector<Arg> args;
    std::vector<PureOp> pure_ops;
    std::vector<Sequence> sequences;  // [0]: the block itself
    std::vector<Watched> series;
    std::vector<Speculation> speculations;
    std::vector<NodeId> callees;  // the information nodes of the speculated values
    uint64_t epoch = 0;
    uint32_t boot = 0;   // 1 when the block is boot code (its parens and branches are too)
    int32_t active = 0;  // runs in progress
    bool dead = false;   // no longer holds: every run in progress hands back
    bool buried = false; // dropped from the table while running: freed when the last run ends
    std::vector<FlatOp> code;  // the flat code of sequence 0 and what it runs inline
    const FlatOp* flat = nullptr;  // its first op, or nullptr when the tree runner runs the unit
};

// ---- The table ----

struct Entry {
    uint32_t runs = 0;
    uint32_t failures = 0;  // units that went stale; past kMaxFailures the block stays interpreted
    Unit* unit = nullptr;
};
constexpr uint32_t kMaxFailures = 4;

std::unordered_map<NodeId, Entry> g_table;
std::vector<Unit*> g_buried;
void free_all();
// The units left when the process ends without ending the runtime go with the table.
struct FreeAtExit {
    ~FreeAtExit() { free_all(); }
} g_free_at_exit;

// A direct-mapped cache in front of the table.
constexpr uint32_t kCacheSlots = 1024;
struct CacheSlot {
    NodeId node;
    Entry* entry;
};
CacheSlot g_cache[kCacheSlots];

void clear_cache() { std::memset(g_cache, 0, sizeof g_cache); }

// Takes a unit out of use: freed now, or by its last run when runs are in progress.
void drop(Unit* u) {
    if (!u) return;
    g_counters.dropped++;
    u->dead = true;
    if (u->active > 0) {
        u->buried = true;
        g_buried.push_back(u);
    } else {
        delete u;
    }
}

[[gnu::noinline]] void free_buried(Unit* u) {
    g_buried.erase(std::find(g_buried.begin(), g_buried.end(), u));
    delete u;
}

inline void end_run(Unit* u) {
    if (--u->active == 0 && u->buried) [[unlikely]] free_buried(u);
}

// After marking: a unit whose block, covered series or speculated callees are about to be
// freed goes (their ids may be reused).
void purge() {
    clear_cache();
    for (auto it = g_table.begin(); it != g_table.end();) {
        if (!collector::is_marked(it->first)) {
            drop(it->second.unit);
            it = g_table.erase(it);
            continue;
        }
        Unit* u = it->second.unit;
        if (u) {
            bool alive = true;
            for (const Watched& w : u->series) alive = alive && collector::is_marked(w.node);
            for (NodeId n : u->callees) alive = alive && collector::is_marked(n);
            if (!alive) {
                drop(u);
                it->second.unit = nullptr;
            }
        }
        ++it;
    }
}

// ---- Building ----

constexpr uint64_t kNumbers = (uint64_t{1} << static_cast<uint32_t>(T::Integer)) |
                              (uint64_t{1} << static_cast<uint32_t>(T::Float));

bool callable_or_op(T t) { return native::is_callable(t) || t == T::Op; }

class Builder {
  public:
    explicit Builder(Unit& u) : u_(u) {}

    int32_t sequence(NodeId node, int32_t head) {
        cover(node);
        const auto s = static_cast<int32_t>(u_.sequences.size());
        const int32_t count = block::count(node);
        u_.sequences.push_back(Sequence{node, head, count, {}});
        std::vector<int32_t> steps;
        for (int32_t i = std::clamp(head, 0, count); i < count;) {
            const int32_t step = expression(node, i, false);
            steps.push_back(step);
            i = u_.steps[step].end;
        }
        if (steps.size() == 1 && u_.steps[steps[0]].pure) u_.sequences[s].lone_pure = steps[0];
        bool all_pure = !steps.empty();
        for (int32_t k : steps) {
            const Step& st = u_.steps[k];
            all_pure = all_pure && (st.pure || (st.kind == Kind::SetWord && u_.steps[st.child].pure &&
                                                st.ops_count == 0));
        }
        u_.sequences[s].all_pure = all_pure;
        if (steps.size() == 1 && u_.steps[steps[0]].kind == Kind::Call &&
            u_.calls[u_.steps[steps[0]].child].quick_exit)
            u_.sequences[s].lone_exit = steps[0];
        u_.sequences[s].steps = std::move(steps);
        return s;
    }

  private:
    Unit& u_;

    void cover(NodeId node) {
        for (const Watched& w : u_.series)
            if (w.node == node) return;
        watch::watch_series(node);
        Watched w{node, watch::stamp(node), {}};
        u_.series.push_back(w);
    }

    // The value of a global word, or of a word of boot code bound to the library object, when it
    // is a callable or an op (a global slot is then watched; every write into the library object
    // moves the epoch).
    const Cell* speculate(const Cell& word) {
        const NodeId library = word.w1 == context::g_library_node ? word.w1 : 0;
        if ((word.w1 != context::g_global_node && library == 0) || word.w1 == 0) return nullptr;
        const Cell* slot = context::plain_slot(&word);
        if (!slot || !callable_or_op(cell::type_of(slot))) return nullptr;
        const auto index = static_cast<int32_t>(word.w3);
        bool known = false;
        for (const Speculation& s : u_.speculations) known = known || (s.index == index && s.library == library);
        if (!known) {
            u_.speculations.push_back(Speculation{index, *slot, library});
            u_.callees.push_back(slot->w3);
            if (library == 0) watch::watch_slot(index);
        }
        return slot;
    }

    int32_t add_step(Step s) {
        u_.steps.push_back(s);
        return static_cast<int32_t>(u_.steps.size()) - 1;
    }

    // The call record of a callee and its leading argument count, or -1 when the unit does not
    // call it (the step is then the interpreter's). No allocation (the spec is read, not compiled).
    int32_t call_of(const Cell& callee, const Cell& name) {
        const T type = cell::is(&callee, T::Op) ? native::op_source(&callee) : cell::type_of(&callee);
        if (type != T::Function && type != T::Native && type != T::Action) return -1;
        Call c{};
        c.callee = callee;
        c.name = name;
        c.type = type;
        // The spec is read as the callee's compiled spec holds it, without making that: the
        // interpreter makes it at the first call, and so does the unit (the memory figures match).
        c.compiled = interp::compiled_spec_made(&callee);
        if (c.compiled) {
            const int32_t n = block::count(c.compiled);
            c.spec.assign(block::raw_cells(c.compiled), block::raw_cells(c.compiled) + n);
        } else {
            for (const native::SpecEntry& e : native::spec_entries(callee.w2, 0, true)) {
                Cell types = *none::shared();
                if (!cell::is(&e.word, T::Refinement)) {
                    if (e.typed) {
                        typeset::from_block(&e.types, &types);
                    } else {
                        typeset::set_all(&types);
                    }
                }
                c.spec.push_back(e.word);
                c.spec.push_back(types);
            }
        }
        c.total = static_cast<int32_t>(c.spec.size());
        const uint32_t kind = type == T::Function ? frames::kInterpFunction : frames::kInterpNative;
        c.frame_flag = u_.boot ? 0 : frames::kInterpFlag;
        c.frame_header = frames::header_for(&name, (kind & ~frames::kInterpFlag) | c.frame_flag);
        c.branches[0] = c.branches[1] = -1;
        const auto index = native::index_of(&callee);
        if (type == T::Native) {
            if (index < 0 || index > natives::kTableSlots) return -1;
            c.flags = P::native_flags(index);
            c.fast = P::native_fast(index);
            c.native_entry = natives::entry(index);
        } else if (type == T::Action) {
            if (index < 1 || index > kActionCount) return -1;
            c.fast = P::action_fast(index);
            c.action_entry = actions::table()[index - 1];
        } else {
            c.ctx = function::context_of(&callee);
            c.words = context::words_node(c.ctx);
            c.body = function::body_of(&callee);
            if (!cell::is(&c.body, T::Block)) return -1;
        }
        int32_t e = 0;
        for (; e < c.total && !cell::is(&c.spec[e], T::Refinement); e += 2) {}
        c.arg_count = e / 2;
        for (; e < c.total; e += 2) c.refinements += cell::is(&c.spec[e], T::Refinement);
        if (c.refinements > 64) return -1;
        u_.calls.push_back(c);
        return static_cast<int32_t>(u_.calls.size()) - 1;
    }

    // The argument steps of call `ci` from cell i; answers the index after them, or -1 when an
    // argument is fetched in a way the unit leaves to the interpreter (then the end is a guess).
    int32_t arguments(int32_t ci, NodeId node, int32_t i, bool infix, bool* generic) {
        const int32_t count = block::count(node);
        std::vector<Arg> args;  // nested calls add theirs meanwhile: these go in after
        const int32_t first = infix ? 1 : 0;
        const int32_t n = u_.calls[ci].arg_count;
        for (int32_t k = first; k < n; k++) {
            if (i >= count) {
                *generic = true;  // the interpreter raises no-arg (or takes an unset)
                break;
            }
            const Cell spec_word = u_.calls[ci].spec[2 * k];
            const Cell types = u_.calls[ci].spec[2 * k + 1];
            uint64_t takes = 0;
            for (uint32_t t = 0; t < 64; t++)
                if (typeset::has(&types, static_cast<T>(t))) takes |= uint64_t{1} << t;
            int32_t step = -1;
            switch (cell::type_of(&spec_word)) {
            case T::Word: step = expression(node, i, infix); break;
            case T::GetWord:
                step = add_step(Step{Kind::Const, true, false, node, i, i + 1, i + 1, block::at(node, i), -1, 0, 0});
                break;
            default:
                *generic = true;  // a literal argument: one cell
                step = add_step(Step{Kind::Generic, true, false, node, i, i + 1, i + 1, block::at(node, i), -1, 0, 0});
                break;
            }
            const Step& st = u_.steps[step];
            const auto ct = static_cast<uint32_t>(cell::type_of(&st.cell));
            const bool checked = st.kind == Kind::Const && st.ops_count == 0 && ct < 64 && ((takes >> ct) & 1);
            args.push_back(Arg{step, takes, checked});
            i = st.end;
        }
        u_.calls[ci].args_from = static_cast<int32_t>(u_.args.size());
        u_.calls[ci].arg_count = static_cast<int32_t>(args.size());
        u_.calls[ci].pure_args = !*generic;
        for (const Arg& a : args) u_.calls[ci].pure_args = u_.calls[ci].pure_args && u_.steps[a.step].pure;
        u_.args.insert(u_.args.end(), args.begin(), args.end());
        return i;
    }

    // One expression from cell i as a step; its `end` is where the next one starts (for a step
    // the interpreter takes, a guess checked when it runs).
    int32_t expression(NodeId node, int32_t i, bool prefix) {
        const int32_t count = block::count(node);
        const Cell v = block::at(node, i);
        Step s{Kind::Generic, prefix, false, node, i, i + 1, i + 1, v, -1, 0, 0};
        switch (cell::type_of(&v)) {
        case T::Word: {
            const Cell* slot = speculate(v);
            if (!slot) {
                s.kind = Kind::Word;
                break;
            }
            const Cell callee = *slot;
            if (cell::is(&callee, T::Op) || cell::is(&callee, T::Routine)) break;
            const int32_t ci = call_of(callee, v);
            if (ci < 0) break;
            bool generic = false;
            s.value_end = arguments(ci, node, i + 1, false, &generic);
            const Call& c = u_.calls[ci];
            const bool branch = (c.flags & P::kBranch) && c.arg_count == ((c.flags & P::kTwoWay) ? 3 : 2);
            if (c.flags & P::kExitWithValue)
                u_.calls[ci].quick_exit = c.arg_count == 1 && u_.steps[u_.args[c.args_from].step].pure && c.compiled;
            if (c.flags & P::kExitNoValue) u_.calls[ci].quick_exit = c.arg_count == 0 && c.compiled;
            s.kind = generic ? Kind::Generic : branch ? Kind::Branch : Kind::Call;
            s.child = ci;
            if (s.kind == Kind::Branch) {
                branches(ci);
                Call& b = u_.calls[ci];
                b.pure_branch = u_.steps[u_.args[b.args_from].step].pure;
                for (int32_t k = 1; k < b.arg_count; k++)
                    b.pure_branch = b.pure_branch && u_.args[b.args_from + k].checked && b.branches[k - 1] >= 0;
            }
            break;
        }
        case T::Paren:
            s.kind = Kind::Paren;
            s.child = sequence(cell::node(&v), cell::head(&v));
            break;
        case T::SetWord:
            if (i + 1 >= count) break;  // the interpreter raises need-value
            s.kind = Kind::SetWord;
            s.child = expression(node, i + 1, false);
            s.value_end = u_.steps[s.child].end;
            break;
        case T::SetPath:
            if (i + 1 < count) s.value_end = u_.steps[expression(node, i + 1, false)].end;
            break;
        case T::GetWord: s.kind = Kind::GetWord; break;
        case T::LitWord: s.kind = Kind::LitWord; break;
        case T::Native:
        case T::Action:
        case T::Function:
        case T::Routine:
        case T::Op:
        case T::Path:
        case T::LitPath:
        case T::GetPath:
        case T::Issue: break;
        default: s.kind = Kind::Const; break;
        }
        s.end = s.value_end;
        if (!prefix) operators(s, count);
        s.pure = s.kind == Kind::Const || s.kind == Kind::Word;
        for (int32_t k = 0; s.pure && k < s.ops_count; k++) {
            const Call& c = u_.calls[u_.infixes[s.ops_from + k].call];
            const Step& right = u_.steps[u_.args[c.args_from].step];
            s.pure = c.fast != P::Fast::None && c.compiled != 0 &&
                     (right.kind == Kind::Const || right.kind == Kind::Word);
        }
        if (s.pure) {
            s.pure_from = static_cast<int32_t>(u_.pure_ops.size());
            for (int32_t k = 0; k < s.ops_count; k++) {
                const Call& c = u_.calls[u_.infixes[s.ops_from + k].call];
                const Step& right = u_.steps[u_.args[c.args_from].step];
                u_.pure_ops.push_back(
                    PureOp{c.fast, right.kind == Kind::Const, c.fast_left, c.fast_right, right.cell});
            }
        }
        return add_step(s);
    }

    // The operators after the step's value, strictly left to right. An operator the unit does not
    // call inline makes the whole expression the interpreter's.
    void operators(Step& s, int32_t count) {
        std::vector<Infix> ops;  // nested expressions add theirs meanwhile: these go in after
        int32_t j = s.end;
        while (j < count) {
            const Cell w = block::at(s.node, j);
            if (!cell::is(&w, T::Word) || w.w1 == 0) break;
            const Cell* slot = speculate(w);
            if (!slot || !cell::is(slot, T::Op)) {
                s.check_after = true;
                s.after = w;
                break;
            }
            const Cell op = *slot;
            const int32_t ci = j + 1 < count ? call_of(op, w) : -1;
            const Call* c = ci >= 0 ? &u_.calls[ci] : nullptr;
            bool simple = c && c->type != T::Function && c->arg_count == 2 && c->refinements == 0;
            if (simple) {
                for (int32_t k = 0; k < 2; k++)
                    simple = simple && cell::is(&c->spec[2 * k], T::Word);
            }
            if (!simple) {
                s.kind = Kind::Generic;  // the interpreter's invoke; the end is a guess
                j = j + 1 < count ? u_.steps[expression(s.node, j + 1, true)].end : j + 1;
                continue;
            }
            bool generic = false;
            const int32_t end = arguments(ci, s.node, j + 1, true, &generic);
            Call& cc = u_.calls[ci];
            if (cc.fast != P::Fast::None) {
                const Cell t0 = cc.spec[1];
                const Cell t1 = cc.spec[3];
                for (uint32_t t = 0; t < 64; t++) {
                    if (typeset::has(&t0, static_cast<T>(t))) cc.fast_left |= uint64_t{1} << t;
                    if (typeset::has(&t1, static_cast<T>(t))) cc.fast_right |= uint64_t{1} << t;
                }
                cc.fast_left &= kNumbers;
                cc.fast_right &= kNumbers;
            }
            ops.push_back(Infix{j, end, ci});
            j = end;
        }
        s.end = j;
        s.ops_from = static_cast<int32_t>(u_.infixes.size());
        s.ops_count = static_cast<int32_t>(ops.size());
        u_.infixes.insert(u_.infixes.end(), ops.begin(), ops.end());
    }

    // if and either: a literal block argument runs inline.
    void branches(int32_t ci) {
        for (int32_t k = 1; k < u_.calls[ci].arg_count; k++) {
            const Step& a = u_.steps[u_.args[u_.calls[ci].args_from + k].step];
            if (a.kind != Kind::Const || !cell::is(&a.cell, T::Block)) continue;
            const Cell b = a.cell;
            const int32_t seq = sequence(cell::node(&b), cell::head(&b));
            u_.calls[ci].branches[k - 1] = seq;
        }
    }
};

// Lays a unit's steps out as flat code: sequence 0 with its calls, branches and parens inline.
class FlatBuilder {
  public:
    explicit FlatBuilder(Unit& u) : u_(u) {}

    void build() {
        if (u_.sequences[0].steps.empty()) return;  // the tree runner runs an empty block
        steps_of(0);
        emit(Op::SeqClose, 0);
        emit(Op::Return);
        // Flat code pays off where it runs a call, a branch or a paren inline; elsewhere the
        // tree runner's entry is the cheaper one.
        bool inline_work = false;
        for (const FlatOp& op : u_.code)
            inline_work = inline_work || op.op == Op::Call || op.op == Op::Branch || op.op == Op::SeqOpen;
        if (!inline_work) {
            u_.code.clear();
            return;
        }
        for (FlatOp& op : u_.code) resolve(op);
        u_.flat = u_.code.data();
    }

  private:
    Unit& u_;

    void resolve(FlatOp& op) const {
        switch (op.op) {
        case Op::SeqOpen:
        case Op::StepDone:
        case Op::SeqClose: op.seq = &u_.sequences[op.a]; return;
        case Op::Return: return;
        default: break;
        }
        op.s = &u_.steps[op.a];
        switch (op.op) {
        case Op::Call:
        case Op::Branch: op.call = &u_.calls[op.s->child]; return;
        case Op::InPlace:
        case Op::InfixOpen:
        case Op::InfixEnd:
        case Op::InfixTree:
            op.in = &u_.infixes[op.s->ops_from + op.b];
            op.call = &u_.calls[op.in->call];
            return;
        default: return;
        }
    }

    int32_t here() const { return static_cast<int32_t>(u_.code.size()); }
    int32_t emit(Op op, int32_t a = 0, int32_t b = 0, int32_t c = 0) {
        u_.code.push_back(FlatOp{op, a, b, c});
        return here() - 1;
    }

    void steps_of(int32_t si) {
        const std::vector<int32_t> steps = u_.sequences[si].steps;
        for (size_t k = 0; k < steps.size(); k++) {
            step(steps[k]);
            emit(Op::StepDone, si, static_cast<int32_t>(k), k + 1 == steps.size() ? 1 : 0);
        }
    }

    // A call whose body the flat code runs inline: a function whose arguments are pure.
    bool inline_call(const Step& s) const {
        if (s.kind != Kind::Call) return false;
        const Call& c = u_.calls[s.child];
        return c.type == T::Function && c.pure_args && !c.quick_exit && c.frame_header;
    }

    void step(int32_t k) {
        const Step& s = u_.steps[k];
        if (s.pure) {
            emit(Op::Pure, k);
            return;
        }
        if (s.kind == Kind::SetWord && s.ops_count == 0 && u_.steps[s.child].pure) {
            emit(Op::SetPure, k);
            return;
        }
        emit(Op::Code, k);
        if (inline_call(s)) {
            emit(Op::Call, k);
            emit(Op::AfterCall, k);
        } else if (s.kind == Kind::Branch && u_.calls[s.child].pure_branch && u_.calls[s.child].frame_header) {
            branch(k);
        } else if (s.kind == Kind::Paren) {
            emit(Op::SeqOpen, s.child, k);
            steps_of(s.child);
            emit(Op::SeqClose, s.child);
        } else {
            emit(Op::Tree, k);
            return;
        }
        operators(k);
    }

    // The branch op opens the chosen branch's sequence; each branch ends at the same op.
    void branch(int32_t k) {
        const Call& c = u_.calls[u_.steps[k].child];
        const int32_t at = emit(Op::Branch, k);
        std::vector<int32_t> ends;
        for (int32_t b = 0; b + 1 < c.arg_count; b++) {
            if (b == 1) u_.code[at].b = here();
            const int32_t si = c.branches[b];
            steps_of(si);
            emit(Op::SeqClose, si);
            ends.push_back(emit(Op::BranchEnd, k));
        }
        u_.code[at].c = here();
        for (const int32_t e : ends) u_.code[e].c = here();
    }

    void operators(int32_t k) {
        const Step& s = u_.steps[k];
        for (int32_t o = 0; o < s.ops_count; o++) {
            const Call& c = u_.calls[u_.infixes[s.ops_from + o].call];
            const int32_t right = u_.args[c.args_from].step;
            const Kind kind = u_.steps[right].kind;
            if (kind == Kind::Const || kind == Kind::Word) {
                emit(Op::InPlace, k, o);
            } else if (inline_call(u_.steps[right]) && c.frame_header) {
                emit(Op::InfixOpen, k, o);
                emit(Op::Call, right);
                emit(Op::AfterCall, right);
                emit(Op::InfixEnd, k, o);
            } else {
                emit(Op::InfixTree, k, o);
            }
        }
        if (s.check_after) emit(Op::CheckAfter, k);
    }
};

// The epoch a unit takes once checked: in the stress modes one that never matches, so that every
// check takes the slow path (which fails it, or verifies the unit).
uint64_t checked_epoch() { return g_settings.deopt_stress || g_settings.verify ? 0 : watch::g_epoch; }

void snapshot(Unit& u) {
    for (Watched& w : u.series) {
        const int32_t n = block::count(w.node);
        w.snapshot.assign(block::raw_cells(w.node), block::raw_cells(w.node) + n);
    }
}

Unit* build(NodeId node, int32_t head) {
    auto u = std::make_unique<Unit>();
    u->node = node;
    u->head = head;
    u->boot = boot_code::is_marked(node) ? 1 : 0;
    Builder(*u).sequence(node, head);
    if (g_settings.flat) FlatBuilder(*u).build();
    u->epoch = checked_epoch();
    if (u->sequences[0].all_pure) g_pure_hints[node % kPureHints] = node;
    if (g_settings.verify) snapshot(*u);
    g_counters.built++;
    return u.release();
}

// ---- Checks ----


// The speculated slot's value now, or nullptr past its context's values or when a later library
// object has replaced the one it was read from (whose writes no longer move the epoch).
const Cell* speculated_value(const Speculation& s) {
    if (s.library != 0 && s.library != context::g_library_node) return nullptr;
    const NodeId node = s.library != 0 ? context::cell_of(s.library)->w2 : context::g_global_values;
    memory::SeriesBuf* values = memory::buf(node);
    if (s.index < 0 || static_cast<size_t>(s.index) >= values->used() / sizeof(Cell)) return nullptr;
    return reinterpret_cast<const Cell*>(values->offset_ptr()) + s.index;
}

[[noreturn]] void verify_failed(const char* what, NodeId node) {
    std::fprintf(stderr, "compiled code: %s changed without a barrier (node %u)\n", what, node);
    std::abort();
}

void verify(const Unit& u) {
    for (const Watched& w : u.series) {
        const auto n = static_cast<size_t>(block::count(w.node));
        if (n != w.snapshot.size() ||
            (n > 0 && std::memcmp(block::raw_cells(w.node), w.snapshot.data(), n * sizeof(Cell)) != 0))
            verify_failed("a covered series", w.node);
    }
    for (const Speculation& s : u.speculations) {
        const Cell* slot = speculated_value(s);
        if (!slot || std::memcmp(slot, &s.value, sizeof(Cell)) != 0)
            verify_failed("a speculated global", static_cast<NodeId>(s.index));
    }
}

// Whether the unit still holds after the epoch moved; takes the new epoch when it does.
[[gnu::noinline]] bool revalidate(Unit& u) {
    if (u.dead) return false;
    if (trace::active()) return false;  // traced runs are the interpreter's
    for (const Watched& w : u.series) {
        if (watch::stamp(w.node) != w.stamp) {
            u.dead = true;
            return false;
        }
    }
    for (const Speculation& s : u.speculations) {
        const Cell* slot = speculated_value(s);
        if (!slot || std::memcmp(slot, &s.value, sizeof(Cell)) != 0) {
            u.dead = true;
            return false;
        }
    }
    u.epoch = checked_epoch();
    g_counters.revalidated++;
    return true;
}

// ---- Running ----

struct Active {
    Unit* u;
    explicit Active(Unit* unit) : u(unit) { u->active++; }
    ~Active() { end_run(u); }
    Active(const Active&) = delete;
    Active& operator=(const Active&) = delete;
};

[[gnu::noinline]] Entry& entry_missed(NodeId node) {
    Entry& e = g_table[node];
    g_cache[node % kCacheSlots] = CacheSlot{node, &e};
    return e;
}

inline Entry& entry_of(NodeId node) {
    const CacheSlot& slot = g_cache[node % kCacheSlots];
    if (slot.node == node && slot.entry) [[likely]] return *slot.entry;
    return entry_missed(node);
}

class Flat;
// Runs the unit's block from its flat code, as Runner::sequence runs sequence 0.
void run_flat(Unit* u, bool sub, const collector::FreshScope& fresh);

class Runner {
    friend class Flat;

  public:
    explicit Runner(Unit& u)
        : u_(u), steps_(u.steps.data()) {}

    // The check after anything that may have run code: the unit still holds and the code reached
    // the index it expects. A unit checked by the stress modes keeps an epoch that never matches.
    [[gnu::always_inline]] bool live(int32_t i, int32_t want) const {
        if (i != want) [[unlikely]] return false;
        if (u_.epoch != watch::g_epoch) [[unlikely]] return slow_check();
        return true;
    }

    // The block loop over sequence `si` (see run).
    void sequence(int32_t si, bool sub, const collector::FreshScope& fresh) {
        const Sequence& seq = u_.sequences[si];
        const NodeId node = seq.node;
        Cell* const mark = stack::g_args.top;
        const int32_t* step = seq.steps.data();
        const int32_t* const last = step + seq.steps.size() - 1;
        int32_t i = 0;
        for (;; step++) {
            const Step& s = steps_[*step];
            // A pure step observes nothing: the code position is written only where it may be read.
            if (s.pure && room(1) && pure(s, stack::g_args.top)) {
                stack::g_args.top++;
                i = s.end;
            } else if (s.kind == Kind::SetWord && s.ops_count == 0 && set_word_pure(s)) {
                i = s.end;
            } else {
                P::set_code(node, s.at);
                i = full(s);
            }
            if (!sub) stack::set_result(mark);
            if (P::exit_pending()) [[unlikely]] return;
            if (!live(i, step == last ? seq.end : steps_[step[1]].at)) [[unlikely]] break;
            if (step == last) return;
            next(sub, mark, fresh);
        }
        // Where the unit no longer holds, the block's tail is read as it now stands.
        if (i < block::count(node)) hand_back(node, i, sub, mark, fresh);
    }

    // The rest of the block from cell i as the interpreter runs it.
    [[gnu::noinline]] static void hand_back(NodeId node, int32_t i, bool sub, Cell* mark,
                                            const collector::FreshScope& fresh) {
        g_counters.handed_back++;
        next(sub, mark, fresh);
        P::expressions(node, i, sub, fresh);
    }

  private:
    Unit& u_;
    const Step* steps_;

    // The frame of call `c`, from its header made at build time (a name that fits none raises).
    static void push_frame(const Call& c) {
        if (c.frame_header == 0) [[unlikely]] {
            frames::push(&c.name, c.frame_flag);
        } else if (c.type == T::Function) {
            frames::push_made(c.frame_header, c.name.w1, c.ctx, context::cell_of(c.ctx)->w2);
        } else {
            frames::push_made(c.frame_header, c.name.w1);
        }
    }
    const Call* calls() const { return u_.calls.data(); }
    const Arg* args() const { return u_.args.data(); }
    const Infix* infixes() const { return u_.infixes.data(); }
    const PureOp* pure_ops() const { return u_.pure_ops.data(); }

    [[gnu::noinline]] bool slow_check() const {
        if (g_settings.deopt_stress) return false;
        if (!revalidate(u_)) return false;
        if (g_settings.verify) verify(u_);
        return true;
    }

    static void next(bool sub, Cell* mark, const collector::FreshScope& fresh) {
        if (sub) {
            stack::g_args.top = mark;
        } else {
            stack::reset();
        }
        fresh.release();
    }

    // A word's value when reading it needs no lookup and it is pushed as it stands, else nullptr.
    [[gnu::always_inline]] static const Cell* plain_value(const Cell* word) {
        const Cell* slot = context::plain_slot(word);
        return slot && P::is_plain(cell::type_of(slot)) ? slot : nullptr;
    }

    [[gnu::always_inline]] bool pure(const Step& s, Cell* out) const { return pure_value(u_, s, out); }

    // Room for `n` more cells on the argument stack: a step that skips its code position may push
    // only when its push cannot raise stack-overflow.
    static bool room(int32_t n) { return stack::g_args.top + n < stack::g_args.end; }

  public:
    // A pure step's value into `out`, as the interpreter computes it when it makes no call;
    // false when some value needs the full path (nothing observable has happened then).
    [[gnu::always_inline]] static bool pure_value(const Unit& u, const Step& s, Cell* out) {
        const Cell* value = s.kind == Kind::Const ? &s.cell : plain_value(&s.cell);
        if (!value) return false;
        *out = *value;
        const PureOp* op = u.pure_ops.data() + s.pure_from;
        for (const PureOp* const end = op + s.ops_count; op != end; op++) {
            // The same test as an operator step's in infix(), written out: this loop is the hot
            // path of every pure step.
            const auto lt = static_cast<uint32_t>(cell::type_of(out));
            if (lt >= 64 || !((op->left >> lt) & 1)) return false;
            const Cell* r = op->right_const ? &op->right : context::plain_slot(&op->right);
            if (!r) return false;
            const auto rt = static_cast<uint32_t>(cell::type_of(r));
            if (rt >= 64 || !((op->right_types >> rt) & 1) || !P::compute(op->fast, out, r)) return false;
        }
        return !s.check_after || no_operator(s.after);
    }

    // The operator's result computed over `left`, as the interpreter computes it with no call:
    // the right operand a constant or a word read with no lookup, both values numbers of types
    // the operator computes; false, with nothing written, otherwise.
    [[gnu::always_inline]] static bool in_place(P::Fast fast, uint64_t left_types, uint64_t right_types,
                                                Cell* left, bool right_const, const Cell& right) {
        const auto lt = static_cast<uint32_t>(cell::type_of(left));
        if (lt >= 64 || !((left_types >> lt) & 1)) return false;
        const Cell* r = right_const ? &right : context::plain_slot(&right);
        if (!r) return false;
        const auto rt = static_cast<uint32_t>(cell::type_of(r));
        return rt < 64 && ((right_types >> rt) & 1) && P::compute(fast, left, r);
    }

    // The word after an expression does not refer to an operator now (read with no lookup).
    static bool no_operator(const Cell& word) {
        const Cell* slot = context::plain_slot(&word);
        return slot && !cell::is(slot, T::Op);
    }

  private:

    // One expression: its value pushed; answers the index after it.
    [[gnu::always_inline]] int32_t expression(const Step& s) {
        if (s.pure) {
            Cell* const out = stack::reserve();
            if (pure(s, out)) [[likely]] return s.end;
            stack::g_args.top = out;
        }
        return full(s);
    }

    [[gnu::noinline]] int32_t full(const Step& s) {
        Cell* const mark = stack::g_args.top;
        int32_t i = s.value_end;
        switch (s.kind) {
        case Kind::Const: stack::push(&s.cell); break;
        case Kind::LitWord: cell::set_type(stack::push(&s.cell), T::Word); break;
        case Kind::GetWord: word::push_value(&s.cell); break;
        case Kind::Word: {
            const Cell* slot = word::slot(&s.cell);
            if (!P::is_plain(cell::type_of(slot))) [[unlikely]] return P::expression(s.node, s.at, s.prefix);
            stack::push(slot);
            break;
        }
        case Kind::Generic: return P::expression(s.node, s.at, s.prefix);
        case Kind::Paren:
            paren(s);
            i = s.at + 1;
            break;
        case Kind::SetWord: i = set_word(s); break;
        case Kind::Call: i = call(s, calls()[s.child]); break;
        case Kind::Branch: i = branch(s, calls()[s.child]); break;
        }
        if (s.prefix) return i;
        if (s.kind >= Kind::Paren) {
            if (P::exit_pending()) [[unlikely]] return i;
            if (!live(i, s.value_end)) [[unlikely]] return P::operators(s.node, i, mark);
        }
        if (s.ops_count == 0 && !s.check_after) return i;
        return operators(s, i, mark);
    }

    [[gnu::noinline]] int32_t operators(const Step& s, int32_t i, Cell* mark) {
        for (int32_t k = 0; k < s.ops_count; k++) {
            const Infix& op = infixes()[s.ops_from + k];
            stack::g_args.top = mark + 1;
            i = infix(s.node, op, calls()[op.call], mark);
            if (P::exit_pending()) [[unlikely]] return i;
            if (!live(i, op.end)) [[unlikely]] return P::operators(s.node, i, mark);
        }
        if (s.check_after) {
            const Cell word = block::raw_cells(s.node)[i];
            if (cell::is(word::slot(&word), T::Op)) return P::operators(s.node, i, mark);
        }
        return i;
    }

    [[gnu::noinline]] void paren(const Step& s) {
        P::check_machine_stack();
        const Sequence& seq = u_.sequences[s.child];
        P::CodeScope scope(seq.node, seq.head, u_.boot);
        collector::FreshScope fresh;
        if (seq.steps.empty()) {
            stack::push(unset::shared());
            return;
        }
        sequence(s.child, true, fresh);
    }

    // A set-word of a pure value needs no frame: nothing can observe it, and the frame and the
    // two cells the interpreter would push are known to fit. The value is pushed; false, with
    // nothing done, when the full path must run.
    [[gnu::always_inline]] bool set_word_pure(const Step& s) {
        const Step& value = steps_[s.child];
        if (!value.pure || frames::g_frames.top == frames::g_frames.end || !room(2)) return false;
        Cell* const out = stack::g_args.top;
        if (!set_word_value(u_, s, out)) return false;
        stack::g_args.top = out + 1;
        return true;
    }

  public:
    // A set-word's pure value into `out` and written to its word; false, with nothing done,
    // when the value or the write needs the full path.
    [[gnu::always_inline]] static bool set_word_value(const Unit& u, const Step& s, Cell* out) {
        if (s.check_after && !no_operator(s.after)) return false;
        Cell* const slot = pure_value(u, u.steps[s.child], out) ? context::plain_write_slot(&s.cell) : nullptr;
        if (!slot) return false;
        *slot = *out;
        return true;
    }

  private:

    [[gnu::noinline]] int32_t set_word(const Step& s) {
        const Step& value = steps_[s.child];
        if (set_word_pure(s)) [[likely]] return value.end;
        frames::push_native(&s.cell);
        Cell* target = stack::push(&s.cell);
        int32_t i = expression(value);
        if (!P::exit_pending()) [[likely]] P::set_word(target);
        *stack::arg(0) = *(target + 1);
        frames::pop_keep_result();
        return i;
    }

    // The leading arguments from cell i under the callee's frame; answers the next index. Once
    // the unit no longer holds, the interpreter fetches the rest. A pending exit ends it early.
    // `*all_compiled`: every argument came from the unit's steps.
    // Pure arguments pushed and checked; false (the stack as it was) when one needs the full path.
    [[gnu::always_inline]] bool pure_arguments(const Call& c) {
        if (!room(c.arg_count + 1)) return false;
        Cell* const mark = stack::g_args.top;
        Cell* out = mark;
        const Arg* a = args() + c.args_from;
        for (const Arg* const end = a + c.arg_count; a != end; a++, out++) {
            if (!pure(steps_[a->step], out)) {
                stack::g_args.top = mark;
                return false;
            }
            const auto id = static_cast<uint32_t>(cell::type_of(out));
            if (!a->checked && (id >= 64 || !((a->takes >> id) & 1))) {
                stack::g_args.top = mark;
                return false;  // the full path raises expect-arg as the interpreter does
            }
        }
        stack::g_args.top = out;
        return true;
    }

    int32_t arguments(const Call& c, NodeId node, int32_t i, int32_t entry0, bool* all_compiled = nullptr) {
        bool compiled = true;
        const Arg* a = args() + c.args_from;
        for (int32_t k = 0; k < c.arg_count; k++, a++) {
            const int32_t entry = entry0 + 2 * k;
            if (compiled) [[likely]] {
                const Step& s = steps_[a->step];
                if (s.pure) {
                    Cell* const out = stack::reserve();
                    if (pure(s, out)) [[likely]] {
                        i = s.end;
                        if (a->checked) continue;
                    } else {
                        stack::g_args.top = out;
                        i = full(s);
                        if (P::exit_pending()) [[unlikely]] return i;
                        compiled = live(i, s.end);
                    }
                } else {
                    i = full(s);
                    if (P::exit_pending()) [[unlikely]] return i;
                    compiled = live(i, s.end);
                }
                const T got = stack::top_type();
                const auto id = static_cast<uint32_t>(got);
                const bool taken = id < 64 ? ((a->takes >> id) & 1)
                                           : typeset::has(&c.spec[entry + 1], got);
                if (!taken) [[unlikely]] P::fire_arg_type(c.compiled, entry, &c.name, got);
            } else {
                i = P::fetch_one(node, i, c.compiled, entry, &c.name, entry0 != 0);
                if (P::exit_pending()) [[unlikely]] return i;
            }
        }
        if (all_compiled) *all_compiled = compiled;
        return i;
    }

    // return or exit with a pure argument (or none), recorded as the pending exit the
    // interpreter records, with no frame: nothing observes the frame between its push and pop.
    // False, with nothing done, when the exit must go the interpreter's way (it throws).
    bool quick_exit(const Call& c) {
        if (frames::g_frames.top == frames::g_frames.end || !room(2))
            return false;  // the interpreter's pushes would overflow: it raises
        const uint32_t target = P::pending_exit_target(frames::depth());
        if (target == 0 || !exit_value(u_, c)) return false;
        *P::g_exit_value = *stack::top();
        P::g_exit_target = target;
        return true;
    }

    // The callee's compiled spec, made now when it has none: the interpreter makes it when it
    // first calls the callee, at the same point. May allocate.
    static void ensure_spec(const Call& c) {
        if (!c.compiled) [[unlikely]] c.compiled = interp::compiled_spec(&c.callee);
    }

    [[gnu::noinline]] int32_t call(const Step& s, const Call& c) {
        if (c.quick_exit && quick_exit(c)) return s.value_end;
        P::check_machine_stack();
        Cell* const mark = stack::push(&c.callee);
        ensure_spec(c);
        int32_t i;
        if (c.type == T::Function) {
            push_frame(c);
            const bool fetched = c.pure_args && pure_arguments(c);
            return function_call(s, c, mark, fetched);
        } else {
            push_frame(c);
            if (c.pure_args && pure_arguments(c)) {
                native(c);
                i = s.value_end;
            } else {
                i = arguments(c, s.node, s.at + 1, 0);
                if (!P::exit_pending()) [[likely]] native(c);
            }
        }
        frames::pop_keep_result();
        *mark = *(mark + 1);
        stack::g_args.top = mark + 1;
        return i;
    }

  public:
    // A function call from the point where its frame is pushed over the callee at `mark`, its
    // leading arguments pushed already when `fetched`: the rest of the arguments, the body, the
    // frame popped and the result left at `mark`. Answers the index after the arguments.
    [[gnu::always_inline]] int32_t function_call(const Step& s, const Call& c, Cell* mark, bool fetched) {
        const int32_t i = fetched ? s.value_end : arguments(c, s.node, s.at + 1, 0);
        if (!P::exit_pending()) [[likely]] {
            push_locals(c);
            P::run_body_with(c.ctx, [&]() __attribute__((always_inline)) { body(c.body); }, [] {});
        }
        frames::pop_keep_result();
        *mark = *(mark + 1);
        stack::g_args.top = mark + 1;
        return i;
    }

    // The cells a function's frame holds after its leading arguments: each refinement false
    // with its arguments none, then /local false and the locals none.
    static void push_locals(const Call& c) {
        for (int32_t k = 2 * c.arg_count; k < c.total; k += 2)
            stack::push(cell::is(&c.spec[k], T::Refinement) ? logic::shared(false) : none::shared());
        const int32_t entries = c.total / 2;
        const auto words = static_cast<int32_t>(memory::buf(c.words)->used() / sizeof(Cell));
        for (int32_t k = entries; k < words; k++) stack::push(k == entries ? logic::shared(false) : none::shared());
    }

    // A function's body, its value pushed, as the interpreter runs one: its own unit (this one,
    // for a recursive call) when it has one that holds, else the block loop.
    [[gnu::always_inline]] void body(const Cell& block) {
        const NodeId node = cell::node(&block);
        const int32_t head = cell::head(&block);
        Unit* const u = entry_of(node).unit;
        // A unit that holds covers the block as it stands: no need to read its length.
        if (u && u->epoch == watch::g_epoch && u->head == head) [[likely]] {
            const int32_t lone = u->sequences[0].lone_pure;
            if (lone >= 0 && room(1) && pure_value(*u, u->steps[lone], stack::g_args.top)) {
                stack::g_args.top++;
                return;
            }
            // A body that is `return` of a pure value (or `exit`) ends with that value, as the
            // exit recorded at the body's own frame would end it.
            if (u->sequences[0].lone_exit >= 0 && room(2) && frames::g_frames.top != frames::g_frames.end &&
                exit_value(*u, u->calls[u->steps[u->sequences[0].lone_exit].child]))
                return;
            P::CodeScope scope(node, head, u->boot);
            collector::FreshScope fresh;
            g_counters.runs++;
            if (u->flat) {
                run_flat(u, true, fresh);
                return;
            }
            Active active(u);
            if (u == &u_) {
                sequence(0, true, fresh);
            } else {
                Runner(*u).sequence(0, true, fresh);
            }
            return;
        }
        P::CodeScope scope(node, head);
        collector::FreshScope fresh;
        const int32_t count = block::count(node);
        const int32_t i = std::clamp(head, 0, count);
        if (i >= count) {
            stack::push(unset::shared());
            return;
        }
        if (!units::run(node, i, true, fresh)) P::expressions(node, i, true, fresh);
    }

    // The value of `return` (a pure value of a type it takes) or `exit` (unset) pushed; false,
    // with nothing done, when the call must be made.
    static bool exit_value(const Unit& u, const Call& c) {
        Cell* const out = stack::g_args.top;
        if (c.flags & P::kExitWithValue) {
            const Arg& a = u.args[c.args_from];
            if (!pure_value(u, u.steps[a.step], out)) return false;
            const auto id = static_cast<uint32_t>(cell::type_of(out));
            if (id >= 64 || !((a.takes >> id) & 1)) return false;
        } else {
            *out = *unset::shared();
        }
        stack::g_args.top = out + 1;
        return true;
    }

    static void native(const Call& c) {
        if (c.fast != P::Fast::None && P::compute(c.fast, stack::arg(0), stack::arg(1))) {
            stack::keep_one();
            return;
        }
        int32_t refinements[64];
        for (int32_t k = 0; k < c.refinements; k++) refinements[k] = -1;
        // An action, or a native with no part in exits or branches, ignores a pending exit.
        if (c.type == T::Action) {
            P::DepthScope opaque(&P::g_opaque_depth, frames::depth());
            c.action_entry(refinements);
        } else if (c.flags == 0) {
            P::DepthScope opaque(&P::g_opaque_depth, frames::depth());
            c.native_entry(false, refinements);
        } else {
            P::call_native(c.type, c.flags, c.native_entry, c.action_entry, refinements);
        }
    }

    // An operator after the value at `mark`, its right operand from op.at + 1.
    int32_t infix(NodeId node, const Infix& op, const Call& c, Cell* mark) {
        const Step& right = steps_[args()[c.args_from].step];
        // A number operand read as it stands needs no call when the result is computed here.
        if (c.fast != P::Fast::None && c.compiled && (right.kind == Kind::Const || right.kind == Kind::Word)) {
            if (in_place(c.fast, c.fast_left, c.fast_right, mark, right.kind == Kind::Const, right.cell))
                return op.end;
        }
        return infix_call(node, op, c, mark);
    }

    [[gnu::noinline]] int32_t infix_call(NodeId node, const Infix& op, const Call& c, Cell* mark) {
        ensure_spec(c);
        P::check_machine_stack();
        stack::g_args.top = mark;
        push_frame(c);
        stack::g_args.top = mark + 1;
        int32_t i = arguments(c, node, op.at + 1, 2);
        if (!P::exit_pending()) [[likely]] native(c);
        frames::pop_keep_result();
        return i;
    }

    // if and either with a pure condition and literal blocks: the arguments computed before the
    // frame is pushed under them (nothing observes the order), and when the chosen branch is pure
    // too, no frame at all. False, with nothing done, when the arguments need the full path.
    bool pure_branch(const Call& c) {
        if (frames::g_frames.top == frames::g_frames.end) return false;
        Cell* const mark = stack::g_args.top;
        if (!pure_arguments(c)) return false;
        const bool two_way = c.flags & P::kTwoWay;
        const bool on = two_way ? truth::holds_strict(mark) : truth::holds(mark);
        if (!on && !two_way) {
            *mark = *none::shared();
            stack::g_args.top = mark + 1;
            return true;
        }
        const int32_t seq = c.branches[on ? 0 : 1];
        const int32_t lone = u_.sequences[seq].lone_pure;
        if (lone >= 0 && pure(steps_[lone], mark)) {
            stack::g_args.top = mark + 1;
            return true;
        }
        P::check_machine_stack();
        stack::g_args.top = mark;
        push_frame(c);
        stack::g_args.top = mark + c.arg_count;
        run_branch(seq);
        frames::pop_keep_result();
        return true;
    }

    [[gnu::noinline]] int32_t branch(const Step& s, const Call& c) {
        ensure_spec(c);
        if (c.pure_branch && pure_branch(c)) return s.value_end;
        P::check_machine_stack();
        push_frame(c);
        bool compiled = false;
        const int32_t i = arguments(c, s.node, s.at + 1, 0, &compiled);
        if (!P::exit_pending()) [[likely]] {
            const bool two_way = c.flags & P::kTwoWay;
            const Cell* condition = stack::arg(0);
            const bool on = two_way ? truth::holds_strict(condition) : truth::holds(condition);
            if (!on && !two_way) {
                stack::set_result(none::shared());
            } else {
                const int32_t k = on ? 0 : 1;
                if (c.branches[k] >= 0 && compiled) {
                    run_branch(c.branches[k]);
                } else {
                    const Cell chosen = *stack::arg(k + 1);
                    P::run_in_frame(&chosen);
                }
            }
        }
        frames::pop_keep_result();
        return i;
    }

    // A literal branch run in the top frame, as the interpreter runs a block there.
    void run_branch(int32_t si) {
        P::check_machine_stack();
        const Sequence& seq = u_.sequences[si];
        if (seq.lone_pure >= 0 && room(1)) {
            Cell* const out = stack::reset();
            if (pure(steps_[seq.lone_pure], out)) {
                stack::g_args.top = out + 1;
                return;
            }
        }
        P::CodeScope scope(seq.node, seq.head, u_.boot);
        collector::FreshScope fresh;
        stack::reset();
        if (seq.steps.empty()) {
            stack::push(unset::shared());
            return;
        }
        sequence(si, false, fresh);
    }
};

// ---- Running flat code ----

// A construct open in flat code, with what finishing it needs when the code hands back or an
// error unwinds through it. Records of every flat run in progress share one stack; a run's own
// lie above the top it found.
enum class Open : uint8_t { Seq, Branch, Infix, Body };

struct OpenRec {
    Open kind;
    bool sub;          // Seq: its values pushed, else each made the only cell of the current call
    bool owns;         // Seq: it pushed its code position and keeps its fresh nodes
    int32_t item;      // Seq: sequence; Branch, Infix: step; Body: the call step, in the caller's unit
    int32_t extra;     // Seq: the paren step it is the value of, or -1; Infix: operator
    Cell* mark;        // Seq: where its values go; Infix: the left value; Body: the callee cell
    size_t fresh;      // the fresh-node count when it opened
    int32_t code_level;  // the code stack's level before it opened
    const collector::FreshScope* scope;  // Seq of a run's block: the caller's fresh scope
    // Body:
    Unit* caller;
    Unit* callee;
    const FlatOp* ret;
    uint32_t depth;             // the function frame's depth
    uint32_t saved_body_depth;  // the innermost body's depth before this one
};

std::vector<OpenRec> g_open;
OpenRec* g_open_end = nullptr;  // g_open's end: records are pushed with no size read
size_t g_open_top = 0;

[[gnu::noinline]] void grow_open() {
    g_open.resize(std::max<size_t>(256, 2 * g_open.size()));
    g_open_end = g_open.data() + g_open.size();
}
inline OpenRec& push_open() {
    if (g_open.data() + g_open_top == g_open_end) [[unlikely]] grow_open();
    return g_open[g_open_top++];
}
inline OpenRec& top_open() { return g_open[g_open_top - 1]; }

inline int32_t code_level() { return static_cast<int32_t>(P::g_code - P::g_codes.base); }
inline void set_code_level(int32_t level) { P::g_code = P::g_codes.base + level; }
using P::push_code;

// The check after anything that may have run code: the unit still holds.
[[gnu::noinline]] bool holds_slow(Unit& u) {
    if (g_settings.deopt_stress) return false;
    if (!revalidate(u)) return false;
    if (g_settings.verify) verify(u);
    return true;
}
[[gnu::always_inline]] inline bool holds(Unit& u) { return u.epoch == watch::g_epoch || holds_slow(u); }

class Flat {
  public:
    // Runs the unit's block from its flat code as Runner::sequence runs it from sequence 0.
    static void run(Unit* entry, bool sub, const collector::FreshScope& fresh) {
        const size_t base = g_open_top;
        OpenRec& e = push_open();
        e = OpenRec{};
        e.kind = Open::Seq;
        e.sub = sub;
        e.extra = -1;
        e.mark = stack::g_args.top;
        e.fresh = memory::fresh_count();
        e.code_level = code_level();
        e.scope = &fresh;
        Active active(entry);
        Unit* u = entry;
        const FlatOp* pc = entry->flat;
        int32_t i = 0;
        for (;;) {
            try {
                if (loop(u, pc, i, base)) return;
            } catch (const Unwind& unwind) {
                if (take(unwind, base, u, pc, i)) continue;
                cleanup(base);
                throw;
            } catch (...) {
                cleanup(base);
                throw;
            }
        }
    }

  private:
    // The body of the function called at the step, when its unit holds and has flat code.
    static Unit* body_unit(const Cell& block) {
        Unit* const u = entry_of(cell::node(&block)).unit;
        if (u && u->epoch == watch::g_epoch && u->head == cell::head(&block) && u->flat) [[likely]]
            return u;
        return nullptr;
    }

    // Answers true when the run's block is done.
    static bool loop(Unit*& u, const FlatOp*& pc, int32_t& i, size_t base) {
        // Each op ends with its own jump to the next one's code: a jump site per op predicts
        // better than one shared switch.
        static void* const kOps[] = {&&op_Code, &&op_Pure, &&op_SetPure, &&op_Tree, &&op_Call, &&op_AfterCall, &&op_Branch, &&op_BranchEnd, &&op_SeqOpen, &&op_StepDone, &&op_SeqClose, &&op_Return, &&op_InPlace, &&op_InfixOpen, &&op_InfixEnd, &&op_InfixTree, &&op_CheckAfter};
#define NEXT_OP() goto* kOps[static_cast<uint8_t>(pc->op)]
// After anything that may have run code: on to the next op, or the body handed back.
#define CHECK_OR_HAND_BACK(want, value_only)                                    \
    if (P::exit_pending() || i != (want) || !holds(*u)) [[unlikely]] {          \
        if (hand_back(u, pc, i, base, value_only)) return true;                 \
        NEXT_OP();                                                             \
    }
        NEXT_OP();
        {
            op_Code: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                P::set_code(s.node, s.at);
                pc++;
                NEXT_OP();
            }
            op_Pure: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                if (Runner::room(1) && Runner::pure_value(*u, s, stack::g_args.top)) [[likely]] {
                    stack::g_args.top++;
                    pc++;
                    NEXT_OP();
                }
                P::set_code(s.node, s.at);
                i = Runner(*u).full(s);
                CHECK_OR_HAND_BACK(s.end, false);
                pc++;
                NEXT_OP();
            }
            op_SetPure: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                Runner r(*u);
                if (r.set_word_pure(s)) [[likely]] {
                    pc++;
                    NEXT_OP();
                }
                P::set_code(s.node, s.at);
                i = r.full(s);
                CHECK_OR_HAND_BACK(s.end, false);
                pc++;
                NEXT_OP();
            }
            op_Tree: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                i = Runner(*u).full(s);
                CHECK_OR_HAND_BACK(s.end, false);
                pc++;
                NEXT_OP();
            }
            op_Call: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                const Call& c = *op.call;
                Cell* const mark = stack::push(&c.callee);
                Runner::ensure_spec(c);
                frames::push_made(c.frame_header, c.name.w1, c.ctx, context::cell_of(c.ctx)->w2);
                Runner r(*u);
                if (!r.pure_arguments(c)) [[unlikely]] {
                    i = r.function_call(s, c, mark, false);
                    pc++;
                    NEXT_OP();
                }
                i = s.value_end;
                Runner::push_locals(c);
                Unit* const callee = body_unit(c.body);
                if (!callee) [[unlikely]] {
                    P::run_body_with(c.ctx, [&] { r.body(c.body); }, [] {});
                    frames::pop_keep_result();
                    *mark = *(mark + 1);
                    stack::g_args.top = mark + 1;
                    pc++;
                    NEXT_OP();
                }
                frames::set_body_flag(frames::top(), true);
                context::enter_call(c.ctx, stack::arg(0));
                const uint32_t depth = frames::depth();
                // A body that is one pure expression, or return of one (or exit): its value is
                // the result, as the body's own run gives it.
                const Sequence& body = callee->sequences[0];
                const bool quick =
                    (body.lone_pure >= 0 && Runner::room(1) &&
                     Runner::pure_value(*callee, callee->steps[body.lone_pure], stack::g_args.top) &&
                     (stack::g_args.top++, true)) ||
                    (body.lone_exit >= 0 && Runner::room(2) && frames::g_frames.top != frames::g_frames.end &&
                     Runner::exit_value(*callee, callee->calls[callee->steps[body.lone_exit].child]));
                if (quick) {
                    *stack::arg(0) = *stack::top();
                    frames::pop_keep_result();
                    *mark = *(mark + 1);
                    stack::g_args.top = mark + 1;
                    pc++;
                    NEXT_OP();
                }
                OpenRec& b = push_open();
                b.kind = Open::Body;
                b.item = op.a;
                b.mark = mark;
                b.fresh = memory::fresh_count();
                b.code_level = code_level();
                b.caller = u;
                b.callee = callee;
                b.ret = pc + 1;
                b.depth = depth;
                b.saved_body_depth = P::g_body_depth;
                P::g_body_depth = depth;
                push_code(callee->node, callee->head, callee->boot);
                g_counters.runs++;
                g_counters.inline_bodies++;
                callee->active++;
                OpenRec& q = push_open();
                q.kind = Open::Seq;
                q.sub = true;
                q.owns = false;
                q.item = 0;
                q.extra = -1;
                q.mark = stack::g_args.top;
                q.fresh = memory::fresh_count();
                q.code_level = code_level();
                q.scope = nullptr;
                u = callee;
                pc = callee->flat;
                NEXT_OP();
            }
            op_AfterCall: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                CHECK_OR_HAND_BACK(s.value_end, true);
                pc++;
                NEXT_OP();
            }
            op_Branch: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                const Call& c = *op.call;
                Runner r(*u);
                Runner::ensure_spec(c);
                Cell* const mark = stack::g_args.top;
                if (frames::g_frames.top == frames::g_frames.end || !r.pure_arguments(c)) [[unlikely]] {
                    i = r.branch(s, c);
                    CHECK_OR_HAND_BACK(s.value_end, true);
                    pc = u->flat + op.c;
                    NEXT_OP();
                }
                i = s.value_end;
                const bool two_way = c.flags & P::kTwoWay;
                const bool on = two_way ? truth::holds_strict(mark) : truth::holds(mark);
                if (!on && !two_way) {
                    *mark = *none::shared();
                    stack::g_args.top = mark + 1;
                    pc = u->flat + op.c;
                    NEXT_OP();
                }
                const int32_t si = c.branches[on ? 0 : 1];
                const Sequence& seq = u->sequences[si];
                if (seq.lone_pure >= 0 && r.pure(u->steps[seq.lone_pure], mark)) {
                    stack::g_args.top = mark + 1;
                    pc = u->flat + op.c;
                    NEXT_OP();
                }
                stack::g_args.top = mark;
                frames::push_made(c.frame_header, c.name.w1);
                stack::g_args.top = mark + c.arg_count;
                OpenRec& b = push_open();
                b.kind = Open::Branch;
                b.item = op.a;
                OpenRec& q = push_open();
                q.kind = Open::Seq;
                q.sub = false;
                q.owns = true;
                q.item = si;
                q.extra = -1;
                q.fresh = memory::fresh_count();
                q.code_level = code_level();
                q.scope = nullptr;
                push_code(seq.node, seq.head, u->boot);
                q.mark = stack::reset();
                if (seq.steps.empty()) stack::push(unset::shared());
                pc = on ? pc + 1 : u->flat + op.b;
                NEXT_OP();
            }
            op_BranchEnd: {
                const FlatOp& op = *pc;
                frames::pop_keep_result();
                g_open_top--;
                i = op.s->value_end;
                pc = u->flat + op.c;
                NEXT_OP();
            }
            op_SeqOpen: {
                const FlatOp& op = *pc;
                const Sequence& seq = *op.seq;
                OpenRec& q = push_open();
                q.kind = Open::Seq;
                q.sub = true;
                q.owns = true;
                q.item = op.a;
                q.extra = op.b;
                q.mark = stack::g_args.top;
                q.fresh = memory::fresh_count();
                q.code_level = code_level();
                q.scope = nullptr;
                push_code(seq.node, seq.head, u->boot);
                if (seq.steps.empty()) stack::push(unset::shared());
                pc++;
                NEXT_OP();
            }
            op_StepDone: {
                const FlatOp& op = *pc;
                const OpenRec& q = top_open();
                if (!q.sub) stack::set_result(q.mark);
                if (!op.c) next(q);
                pc++;
                NEXT_OP();
            }
            op_SeqClose: {
                const OpenRec& q = top_open();
                if (q.owns) {
                    set_code_level(q.code_level);
                    memory::drop_fresh(q.fresh);
                }
                if (q.extra >= 0) i = u->steps[q.extra].at + 1;
                g_open_top--;
                pc++;
                NEXT_OP();
            }
            op_Return: {
                if (g_open_top == base) return true;
                end_body(u, pc, i);
                NEXT_OP();
            }
            op_InPlace: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                const Infix& in = *op.in;
                const Call& c = *op.call;
                Cell* const mark = top_open().mark;
                stack::g_args.top = mark + 1;
                const Step& right = u->steps[u->args[c.args_from].step];
                if (c.fast != P::Fast::None && c.compiled &&
                    Runner::in_place(c.fast, c.fast_left, c.fast_right, mark, right.kind == Kind::Const, right.cell))
                    [[likely]] {
                    i = in.end;
                    pc++;
                    NEXT_OP();
                }
                i = Runner(*u).infix_call(s.node, in, c, mark);
                CHECK_OR_HAND_BACK(in.end, true);
                pc++;
                NEXT_OP();
            }
            op_InfixOpen: {
                const FlatOp& op = *pc;
                const Call& c = *op.call;
                Cell* const mark = top_open().mark;
                Runner::ensure_spec(c);
                stack::g_args.top = mark;
                frames::push_made(c.frame_header, c.name.w1);
                stack::g_args.top = mark + 1;
                OpenRec& q = push_open();
                q.kind = Open::Infix;
                q.item = op.a;
                q.extra = op.b;
                q.mark = mark;
                pc++;
                NEXT_OP();
            }
            op_InfixEnd: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                const Infix& in = *op.in;
                finish_infix(*u, s, in);
                g_open_top--;
                i = in.end;
                CHECK_OR_HAND_BACK(i, true);
                pc++;
                NEXT_OP();
            }
            op_InfixTree: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                const Infix& in = *op.in;
                Cell* const mark = top_open().mark;
                stack::g_args.top = mark + 1;
                i = Runner(*u).infix(s.node, in, *op.call, mark);
                CHECK_OR_HAND_BACK(in.end, true);
                pc++;
                NEXT_OP();
            }
            op_CheckAfter: {
                const FlatOp& op = *pc;
                const Step& s = *op.s;
                const Cell word = block::raw_cells(s.node)[s.end];
                i = s.end;
                if (cell::is(word::slot(&word), T::Op)) {
                    i = P::operators(s.node, s.end, top_open().mark);
                    CHECK_OR_HAND_BACK(s.end, false);
                }
                pc++;
                NEXT_OP();
            }
        }
#undef CHECK_OR_HAND_BACK
#undef NEXT_OP
    }

    // Between two expressions of a sequence, as the block loop does.
    static void next(const OpenRec& q) {
        if (q.sub) {
            stack::g_args.top = q.mark;
        } else {
            stack::reset();
        }
        if (q.scope) {
            q.scope->release();
        } else {
            memory::drop_fresh(q.fresh);
        }
    }

    // An operator's right operand is there: checked against its spec and the operator called
    // under its frame, which is popped.
    static void finish_infix(const Unit& u, const Step& s, const Infix& in) {
        (void)s;
        const Call& c = u.calls[in.call];
        if (!P::exit_pending()) [[likely]] {
            const T got = stack::top_type();
            const auto id = static_cast<uint32_t>(got);
            const Arg& a = u.args[c.args_from];
            const bool taken = id < 64 ? ((a.takes >> id) & 1) : typeset::has(&c.spec[3], got);
            if (!taken) [[unlikely]] P::fire_arg_type(c.compiled, 2, &c.name, got);
            Runner::native(c);
        }
        frames::pop_keep_result();
    }

    // The body on top has run (its value last pushed): its result, its frame popped, and the
    // caller's unit and op after the call.
    static void end_body(Unit*& u, const FlatOp*& pc, int32_t& i) {
        const OpenRec& b = g_open[--g_open_top];  // nothing below pushes a record
        *stack::arg(0) = *stack::top();
        if (P::g_exit_target == b.depth) [[unlikely]] {
            P::g_exit_target = 0;
            *stack::arg(0) = *P::g_exit_value;
            stack::keep_one();
        }
        leave_body(b, u, pc, i);
    }

    // The body of record b (already off the record stack) has its result in its frame: the
    // frame goes, the result takes the call's place, and the caller goes on after the call.
    [[gnu::always_inline]] static void leave_body(const OpenRec& b, Unit*& u, const FlatOp*& pc, int32_t& i) {
        P::g_body_depth = b.saved_body_depth;
        set_code_level(b.code_level);
        memory::drop_fresh(b.fresh);
        end_run(b.callee);
        frames::pop_keep_result();
        *b.mark = *(b.mark + 1);
        stack::g_args.top = b.mark + 1;
        u = b.caller;
        pc = b.ret;
        i = u->steps[b.item].value_end;
    }

    // The unit no longer holds, or an exit is pending, at index i: the open constructs of the
    // current body (or of the run's block) are finished by the interpreter's pieces, innermost
    // first (`value_only`: the innermost expression has its value; its operators may follow).
    // Answers true when the run's block is done; else the body has ended and u, pc and i are
    // the caller's, at its check after the call.
    [[gnu::noinline]] static bool hand_back(Unit*& u, const FlatOp*& pc, int32_t& i, size_t base, bool value_only) {
        for (;;) {
            const OpenRec o = top_open();  // a copy: the interpreter's pieces may grow the stack
            switch (o.kind) {
            case Open::Seq: {
                const Sequence& seq = u->sequences[o.item];
                if (value_only && !P::exit_pending()) i = P::operators(seq.node, i, o.mark);
                if (!o.sub) stack::set_result(o.mark);
                if (!P::exit_pending() && i < block::count(seq.node)) {
                    g_counters.handed_back++;
                    const collector::FreshScope own(o.fresh);
                    const collector::FreshScope& scope = o.scope ? *o.scope : own;
                    next(o);
                    P::expressions(seq.node, i, o.sub, scope);
                }
                if (o.owns) {
                    set_code_level(o.code_level);
                    memory::drop_fresh(o.fresh);
                }
                g_open_top--;
                if (g_open_top == base) return true;
                if (o.extra >= 0) {
                    i = u->steps[o.extra].at + 1;
                    value_only = true;
                } else {
                    value_only = false;
                }
                break;
            }
            case Open::Branch:
                frames::pop_keep_result();
                g_open_top--;
                i = u->steps[o.item].value_end;
                value_only = true;
                break;
            case Open::Infix: {
                const Step& s = u->steps[o.item];
                finish_infix(*u, s, u->infixes[s.ops_from + o.extra]);
                g_open_top--;
                value_only = true;
                break;
            }
            case Open::Body:
                end_body(u, pc, i);
                return false;
            }
        }
    }

    // An exit thrown at a body of this run ends that body as the body's own run would take it:
    // the records above it are closed and the caller goes on after the call.
    static bool take(const Unwind& unwind, size_t base, Unit*& u, const FlatOp*& pc, int32_t& i) {
        if (unwind.kind != UnwindKind::Return && unwind.kind != UnwindKind::Exit) return false;
        size_t t = g_open_top;
        while (t > base && !(g_open[t - 1].kind == Open::Body && g_open[t - 1].depth == unwind.target)) t--;
        if (t == base) return false;
        const OpenRec b = g_open[t - 1];
        for (size_t k = g_open_top; k > t; k--)
            if (g_open[k - 1].kind == Open::Body) end_run(g_open[k - 1].callee);
        g_open_top = t - 1;
        leave_body(b, u, pc, i);
        return true;
    }

    // An unwinding leaves the run: every record it opened is closed.
    static void cleanup(size_t base) {
        for (size_t k = g_open_top; k > base; k--) {
            const OpenRec& o = g_open[k - 1];
            if (o.kind == Open::Body) {
                P::g_body_depth = o.saved_body_depth;
                end_run(o.callee);
            }
        }
        set_code_level(g_open[base].code_level);
        g_open_top = base;
    }
};

void run_flat(Unit* u, bool sub, const collector::FreshScope& fresh) { Flat::run(u, sub, fresh); }

}  // namespace

Settings& settings() { return g_settings; }
const Counters& counters() { return g_counters; }

void init() {
    static bool read = false;  // the environment is read once per process
    if (!read) {
        read = true;
        if (const char* mode = std::getenv("NUV_EVAL")) {
            if (std::strcmp(mode, "interp") == 0) g_settings.mode = Mode::Interp;
            if (std::strcmp(mode, "eager") == 0) g_settings.mode = Mode::Eager;
        }
        g_settings.deopt_stress = env_on("NUV_DEOPT_STRESS");
        g_settings.verify = env_on("NUV_CODE_VERIFY");
        collector::add_purge_hook(purge);
    }
    release();
    g_on = g_settings.mode != Mode::Interp;
}

void release() { free_all(); }

namespace {

void free_all() {
    for (auto& [node, e] : g_table) drop(e.unit);
    g_table.clear();
    for (Unit* u : g_buried) delete u;  // no run is in progress once the runtime ends
    g_buried.clear();
    clear_cache();
    std::memset(g_pure_hints, 0, sizeof g_pure_hints);
}

}  // namespace

namespace {

// The block's unit when it may run now: made when the block's runs call for it, re-validated
// when the epoch moved; nullptr when the interpreter runs the block.
[[gnu::noinline]] Unit* unit_slow(NodeId node, int32_t head) {
    if (trace::active()) return nullptr;
    Entry& e = entry_of(node);
    Unit* u = e.unit;
    if (!u) {
        if (e.failures >= kMaxFailures) return nullptr;
        if (++e.runs < (g_settings.mode == Mode::Eager ? 1u : 2u)) return nullptr;
        u = build(node, head);  // allocates no series: the entry still stands
        e.unit = u;
    }
    if (u->head != head) return nullptr;
    if (u->epoch != watch::g_epoch || u->dead) {
        if (!revalidate(*u)) {
            Entry& again = entry_of(node);
            again.failures++;
            again.unit = nullptr;
            drop(u);
            return nullptr;
        }
    }
    if (g_settings.verify) verify(*u);
    return u;
}

}  // namespace

int32_t run_pure(NodeId node, int32_t head, bool framed) {
    Unit* const u = entry_of(node).unit;
    if (!u || u->epoch != watch::g_epoch || u->head != head || !u->sequences[0].all_pure) return head;
    // The frames the interpreter pushes (the run's own, a set-word's) must fit, or it raises.
    if (frames::g_frames.end - frames::g_frames.top < (framed ? 2 : 1)) return head;
    Cell* const out = stack::g_args.top;
    for (const int32_t k : u->sequences[0].steps) {
        const Step& s = u->steps[k];
        const bool done = stack::g_args.top + 3 < stack::g_args.end &&
                          (s.pure ? Runner::pure_value(*u, s, out) : Runner::set_word_value(*u, s, out));
        if (!done) {
            stack::g_args.top = out;
            return s.at;
        }
    }
    g_counters.runs++;
    stack::g_args.top = out + 1;
    return -1;
}

bool run(NodeId node, int32_t head, bool sub, const collector::FreshScope& fresh) {
    Unit* u = entry_of(node).unit;
    // A unit whose epoch matches was checked since the last change (and no trace run opened).
    if (!u || u->epoch != watch::g_epoch || u->head != head) [[unlikely]] {
        u = unit_slow(node, head);
        if (!u) return false;
    }
    g_counters.runs++;
    // A block that is one pure expression: its value where the block loop leaves it (the top,
    // which is the call's arguments[0] when the value is to be the only cell), and no more.
    const int32_t lone = u->sequences[0].lone_pure;
    if (lone >= 0 && stack::g_args.top + 1 < stack::g_args.end &&
        Runner::pure_value(*u, u->steps[lone], stack::g_args.top)) {
        stack::g_args.top++;
        return true;
    }
    if (u->flat) {
        run_flat(u, sub, fresh);
        return true;
    }
    Active active(u);
    Runner(*u).sequence(0, sub, fresh);
    return true;
}

}  // namespace nuv::units
