#include "tests/fuzz/program_writer.h"

#include <array>
#include <initializer_list>
#include <span>
#include <string_view>
#include <vector>

namespace nuv::fuzz {

namespace {

// The program's fixed start: the guard and its memory budget, then a value for every word the
// grammar uses, so that a program does not depend on what an earlier one left behind. Each
// statement starts with its own fuel.
constexpr std::string_view kPrelude = R"(fuel: 0 fuel-memory: stats + 1000000
tick: does [fuel: fuel - 1 if any [fuel < 0 stats > fuel-memory] [do make error! "out of fuel"]]
recycles: 5 gc: does [recycles: recycles - 1 if recycles >= 0 [recycle]]
a: copy [1 2 3 4 5 6 7 8] b: copy "hello world" c: copy [x "y" 3.5 #"z" [1 2] none 10%]
d: copy [3 1 2 5 4] e: 42 f: next copy "abcdef" g: copy [] h: copy/deep [[1 2] [3 4]] i: 0
x: y: z: w: l: none
fn1: func [x] [x] fn2: func [x y] [y] fn3: does [none]
o1: make object! [x: 1 y: "a" m: func [p] [p]] o2: make o1 [x: 2]
code1: copy [tick 1] code2: copy [tick 2]
)";
constexpr std::string_view kStatementFuel = "fuel: 60";

constexpr size_t kMaxText = 12000;  // past this no statement starts
constexpr int kMaxDepth = 4;        // nesting of blocks and expressions

constexpr std::array<std::string_view, 9> kVars = {"a", "b", "c", "d", "e", "f", "g", "h", "i"};
constexpr std::array<std::string_view, 3> kFns = {"fn1", "fn2", "fn3"};
constexpr std::array<std::string_view, 2> kObjects = {"o1", "o2"};
constexpr std::array<std::string_view, 2> kCode = {"code1", "code2"};

constexpr std::string_view kSmallInts[] = {"0", "1", "2", "3", "-1", "5"};
constexpr std::string_view kEdgeInts[] = {"2147483647", "-2147483648", "1000000", "-2",
                                          "100",        "-2147483647", "65536"};
constexpr std::string_view kFloats[] = {"1.5",    "0.0",   "-0.5", "2.0",  "1e10",
                                        "-1e300", "1e308", "0.1",  "-0.0", "2147483648.0"};
constexpr std::string_view kPercents[] = {"50%",  "0%",          "100%", "150%",
                                          "-10%", "1000000000%", "0.5%", "-100%"};
constexpr std::string_view kChars[] = {R"(#"a")", R"(#"Z")", R"(#"^@")",
                                       R"(#"é")", R"(#" ")", R"(#"1")"};
constexpr std::string_view kStrings[] = {R"("")",         R"("abc")",     R"("Hello World")",
                                         R"("a*b?c")",    R"("éü€")",     R"("b")",
                                         R"("  x  y  ")", R"("^/line^/")"};
constexpr std::string_view kLogic[] = {"none", "true", "false"};
constexpr std::string_view kLitWords[] = {"'x", "'a", "'y", "'none", "'b"};
constexpr std::string_view kDatatypes[] = {"integer!", "block!", "string!", "float!",
                                           "percent!", "char!",  "none!",   "word!",
                                           "object!",  "logic!", "paren!",  "error!"};
constexpr std::string_view kDataWords[] = {"x", "y", "a", "none", "true", "b"};
constexpr std::string_view kNativeComparators[] = {":lesser?",
                                                   ":greater?",
                                                   ":equal?",
                                                   ":lesser-or-equal?",
                                                   ":greater-or-equal?",
                                                   ":same?",
                                                   ":not-equal?",
                                                   ":strict-equal?",
                                                   ":add",
                                                   ":append",
                                                   ":fn1",
                                                   ":fn2",
                                                   ":fn3"};
constexpr std::string_view kOperators[] = {"+",  "-",  "*",   "/",  "=",  "<", ">",
                                           "<>", "==", "and", "or", "**", "%"};

// The kinds of argument an action takes.
enum class Arg : uint8_t { None, Series, Value, Part, Count, Index, Kind, Block, Logic, Wild };

struct Refinement {
    std::string_view name;
    Arg arg;
};

struct Action {
    std::string_view name;
    std::array<Arg, 3> args;
    std::array<Refinement, 10> refinements;
    bool grows;  // may insert: as a statement it is guarded by tick
};

constexpr Arg S = Arg::Series;
constexpr Arg V = Arg::Value;
constexpr Arg N = Arg::None;

// The refinements of find and select (select refuses /tail).
constexpr std::array<Refinement, 10> kSearch = {{{"part", Arg::Part},
                                                 {"only", N},
                                                 {"case", N},
                                                 {"same", N},
                                                 {"any", N},
                                                 {"with", Arg::Wild},
                                                 {"skip", Arg::Count},
                                                 {"last", N},
                                                 {"reverse", N},
                                                 {"tail", N}}};

// Series actions and natives with their refinements and what each argument takes.
constexpr Action kActions[] = {
    {"append", {S, V, N}, {{{"part", Arg::Part}, {"only", N}, {"dup", Arg::Count}}}, true},
    {"insert", {S, V, N}, {{{"part", Arg::Part}, {"only", N}, {"dup", Arg::Count}}}, true},
    {"change", {S, V, N}, {{{"part", Arg::Part}, {"only", N}, {"dup", Arg::Count}}}, true},
    {"copy", {S, N, N}, {{{"part", Arg::Part}, {"deep", N}, {"types", Arg::Kind}}}, false},
    {"take", {S, N, N}, {{{"part", Arg::Part}, {"deep", N}, {"last", N}}}, false},
    {"remove", {S, N, N}, {{{"part", Arg::Part}}}, false},
    {"clear", {S, N, N}, {}, false},
    {"find", {S, V, N}, kSearch, false},
    {"find", {S, V, N}, {{{"match", N}, {"part", Arg::Part}, {"tail", N}, {"case", N}}}, false},
    {"select", {S, V, N}, kSearch, false},
    {"reverse", {S, N, N}, {{{"part", Arg::Part}, {"skip", Arg::Count}}}, false},
    {"trim",
     {S, N, N},
     {{{"head", N}, {"tail", N}, {"auto", N}, {"lines", N}, {"all", N}, {"with", V}}},
     false},
    {"move", {S, S, N}, {{{"part", Arg::Count}}}, false},
    {"swap", {S, S, N}, {}, false},
    {"poke", {S, Arg::Index, V}, {}, false},
    {"pick", {S, Arg::Index, N}, {}, false},
    {"at", {S, Arg::Index, N}, {}, false},
    {"skip", {S, Arg::Index, N}, {}, false},
    {"put", {S, V, V}, {{{"case", N}}}, true},
    {"unique", {S, N, N}, {{{"case", N}, {"skip", Arg::Count}}}, false},
    {"union", {S, S, N}, {{{"case", N}, {"skip", Arg::Count}}}, false},
    {"intersect", {S, S, N}, {{{"case", N}, {"skip", Arg::Count}}}, false},
    {"difference", {S, S, N}, {{{"case", N}, {"skip", Arg::Count}}}, false},
    {"exclude", {S, S, N}, {{{"case", N}, {"skip", Arg::Count}}}, false},
    {"uppercase", {S, N, N}, {{{"part", Arg::Part}}}, false},
    {"lowercase", {S, N, N}, {{{"part", Arg::Part}}}, false},
    {"random", {S, N, N}, {{{"only", N}}}, false},
    {"form", {V, N, N}, {{{"part", Arg::Count}}}, false},
    {"mold", {V, N, N}, {{{"only", N}, {"all", N}, {"flat", N}, {"part", Arg::Count}}}, false},
    {"length?", {S, N, N}, {}, false},
    {"index?", {S, N, N}, {}, false},
    {"head?", {S, N, N}, {}, false},
    {"tail?", {S, N, N}, {}, false},
    {"head", {S, N, N}, {}, false},
    {"tail", {S, N, N}, {}, false},
    {"next", {S, N, N}, {}, false},
    {"back", {S, N, N}, {}, false},
    {"new-line", {S, Arg::Logic, N}, {{{"all", N}, {"skip", Arg::Count}}}, false},
    {"reduce", {Arg::Block, N, N}, {{{"into", S}}}, true},
    {"compose", {Arg::Block, N, N}, {{{"deep", N}, {"only", N}, {"into", S}}}, true},
    {"max", {V, V, N}, {}, false},
    {"min", {V, V, N}, {}, false},
    {"to", {Arg::Kind, V, N}, {}, false},
    {"make", {Arg::Kind, V, N}, {}, false},
    {"mold", {S, N, N}, {{{"all", N}, {"flat", N}}}, false},
    {"type?", {V, N, N}, {}, false},
    {"negate", {V, N, N}, {}, false},
    {"round",
     {V, N, N},
     {{{"to", V}, {"even", N}, {"down", N}, {"floor", N}, {"ceiling", N}}},
     false},
};

// Where the bytes steer: each choice takes one byte; once they are used up every choice is 0,
// the simplest, so the text ends soon after.
class Choices {
  public:
    Choices(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool done() const { return p_ == end_; }
    uint32_t below(uint32_t n) {
        if (n <= 1 || p_ == end_) return 0;
        return *p_++ % n;
    }
    std::string_view pick(std::span<const std::string_view> words) {
        return words[below(static_cast<uint32_t>(words.size()))];
    }
    std::string_view pick(std::initializer_list<std::string_view> words) {
        return pick(std::span<const std::string_view>(words.begin(), words.size()));
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

struct FunctionShape {
    int args = 1;
    bool has_option = false;  // /opt with one argument
};

// The grammar of the program target. A subclass widens it through the hooks, which take no
// choice here, so that the same bytes keep giving this grammar the same text.
class Writer {
  public:
    explicit Writer(Choices& in) : in_(in) {
        shapes_[0] = {1, false};
        shapes_[1] = {2, false};
        shapes_[2] = {0, false};
    }
    virtual ~Writer() = default;

    std::string program() {
        prelude();
        for (int n = 0; n < 64 && !in_.done() && out_.size() < kMaxText; n++) top_statement();
        last_statement();
        return std::move(out_);
    }

  protected:
    virtual void prelude() { out_ = kPrelude; }
    // Each statement runs under its own try/all, so that an error or a stray break, return or
    // throw ends only that statement.
    virtual void top_statement() {
        out_ += "try/all [";
        out_ += kStatementFuel;
        statement(0);
        out_ += "]\n";
    }
    virtual void last_statement() {}
    // A statement or an expression of the subclass's own; false when it wrote none.
    virtual bool own_statement(int) { return false; }
    virtual bool own_expression(int) { return false; }
    virtual void print_statement(int depth) {
        put(in_.pick({"print", "prin", "print mold", "prin form"}));
        expression(depth + 1);
    }

    Choices& in_;
    std::string out_;
    std::vector<std::string_view> locals_;  // words the enclosing function bodies bind
    FunctionShape shapes_[kFns.size()];
    int code_ = -1;  // the self-changing block being written, or -1

    void put(std::string_view text) {
        if (!out_.empty() && out_.back() != ' ' && out_.back() != '\n' && out_.back() != '[' &&
            out_.back() != '(')
            out_ += ' ';
        out_ += text;
    }
    void glue(std::string_view text) { out_ += text; }  // no space before

    bool room() const { return out_.size() < kMaxText; }

    // ---- Values ----

    void literal(int depth) {
        switch (in_.below(12)) {
        case 0: put(in_.pick(kSmallInts)); break;
        case 1: put(in_.pick(kEdgeInts)); break;
        case 2: put(in_.pick(kFloats)); break;
        case 3: put(in_.pick(kPercents)); break;
        case 4: put(in_.pick(kChars)); break;
        case 5: put(in_.pick(kStrings)); break;
        case 6: data_block(depth); break;
        case 7: put(in_.pick(kLogic)); break;
        case 8: put(in_.pick(kLitWords)); break;
        case 9: put(in_.pick(kDatatypes)); break;
        case 10: put(in_.pick(kNativeComparators)); break;
        default:
            put("copy");
            data_block(depth);
            break;
        }
    }

    // A block of plain values (no set-words: data never assigns when it is run).
    void data_block(int depth) {
        put("[");
        const uint32_t n = in_.below(6);
        for (uint32_t k = 0; k < n && room(); k++) {
            if (depth < kMaxDepth && in_.below(6) == 1)
                data_block(depth + 1);
            else if (in_.below(3) == 1)
                put(in_.pick(kDataWords));
            else
                literal(kMaxDepth);
        }
        glue("]");
    }

    void variable() {
        if (!locals_.empty() && in_.below(3) == 1) {
            put(locals_[in_.below(static_cast<uint32_t>(locals_.size()))]);
            return;
        }
        switch (in_.below(8)) {
        case 1: put(in_.pick(kCode)); break;
        case 2: put(in_.pick(kObjects)); break;
        default: put(in_.pick(kVars)); break;
        }
    }

    // A series position: the series itself or an index in it (maybe past either end).
    void position(std::string_view series) {
        struct Step {
            std::string_view before;  // the action that moves, if any
            bool counted;             // an offset follows the series
        };
        static constexpr Step kSteps[] = {
            {"", false},          {"next", false},      {"tail", false},
            {"back tail", false}, {"at", true},         {"skip", true},
            {"head", false},      {"next next", false}, {"", false}};
        const Step& step = kSteps[in_.below(static_cast<uint32_t>(std::size(kSteps)))];
        if (!step.before.empty()) put(step.before);
        put(series);
        if (step.counted) count();
    }

    std::string_view series_word() {
        if (!locals_.empty() && in_.below(4) == 1)
            return locals_[in_.below(static_cast<uint32_t>(locals_.size()))];
        if (in_.below(6) == 1) return in_.pick(kCode);
        return in_.pick(kVars);
    }

    // The series argument of an action; now and then a value of any type.
    std::string_view series(int depth) {
        if (in_.below(12) == 1) {
            expression(depth + 1);
            return {};
        }
        const std::string_view word = series_word();
        position(word);
        return word;
    }

    void count() {
        switch (in_.below(6)) {
        case 1: put(in_.pick(kEdgeInts)); break;
        case 2: put(in_.pick(kFloats)); break;
        case 3: put(in_.pick(kPercents)); break;
        case 4: literal(kMaxDepth); break;
        default: put(in_.pick(kSmallInts)); break;
        }
    }

    // Loop counts and recursion depths: small, now and then any count.
    void small_count() {
        if (in_.below(8) == 1)
            count();
        else
            put(in_.pick({"2", "3", "4", "5", "7", "1", "0"}));
    }

    // A /part argument: a number of each kind, or a position in the same or another series.
    void part(std::string_view same) {
        switch (in_.below(8)) {
        case 1: put(in_.pick(kEdgeInts)); break;
        case 2: put(in_.pick(kFloats)); break;
        case 3: put(in_.pick(kPercents)); break;
        case 4:
        case 5: position(same.empty() ? series_word() : same); break;
        case 6: position(series_word()); break;
        case 7: literal(kMaxDepth); break;
        default: put(in_.pick(kSmallInts)); break;
        }
    }

    void argument(Arg kind, std::string_view same, int depth) {
        if (in_.below(16) == 1) {  // a value of any type, wherever it goes
            expression(depth + 1);
            return;
        }
        switch (kind) {
        case Arg::None: break;
        case Arg::Series: series(depth); break;
        case Arg::Value: expression(depth + 1); break;
        case Arg::Part: part(same); break;
        case Arg::Count: count(); break;
        case Arg::Index: count(); break;
        case Arg::Kind: put(in_.pick(kDatatypes)); break;
        case Arg::Block: code_block(depth + 1, false); break;
        case Arg::Logic: put(in_.pick(kLogic)); break;
        case Arg::Wild: put(in_.pick({"\"*?\"", "\"\"", "\"ab\"", "\"?\""})); break;
        }
    }

    // ---- Expressions ----

    void expression(int depth) {
        if (depth >= kMaxDepth || !room()) {
            if (in_.below(2) == 1)
                variable();
            else
                literal(kMaxDepth);
            return;
        }
        if (own_expression(depth)) return;
        switch (in_.below(20)) {
        case 0: literal(depth); break;
        case 1:
        case 2: variable(); break;
        case 3: position(series_word()); break;
        case 4:
            expression(depth + 1);
            put(in_.pick(kOperators));
            expression(depth + 1);
            break;
        case 5:
        case 6: action(depth, false); break;
        case 7: call(depth); break;
        case 8:
            put("reduce");
            code_block(depth + 1, false);
            break;
        case 9:
            put("compose [");
            for (uint32_t n = in_.below(4), k = 0; k < n; k++) {
                if (in_.below(2) == 1) {
                    put("(");
                    expression(depth + 1);
                    glue(")");
                } else {
                    literal(depth + 1);
                }
            }
            glue("]");
            break;
        case 10:
            put("(");
            statements(depth + 1, 3);
            glue(")");
            break;
        case 11: catcher(depth); break;
        case 12: conditional(depth); break;
        case 13:
            put(in_.pick(kObjects));
            glue(in_.pick({"/x", "/y", "/m"}));
            break;
        case 14:
            put(in_.pick({"mold", "form", "type?", "length?", "pick"}));
            expression(depth + 1);
            break;
        case 15:
            put("to");
            put(in_.pick(kDatatypes));
            expression(depth + 1);
            break;
        case 16: sort(depth); break;
        case 17:
            put("get in");
            put(in_.pick(kObjects));
            put(in_.pick({"'x", "'y", "'z"}));
            break;
        default: put(in_.pick(kFns)); break;
        }
    }

    // An action call with some of its refinements.
    void action(int depth, bool statement) {
        const Action& a = kActions[in_.below(static_cast<uint32_t>(std::size(kActions)))];
        const bool paren = a.grows && !statement;
        if (a.grows) put(paren ? "(tick" : "tick");
        put(a.name);
        std::vector<const Refinement*> chosen;
        for (const Refinement& r : a.refinements) {
            if (r.name.empty()) break;
            if (in_.below(4) == 1) {
                glue("/");
                glue(r.name);
                chosen.push_back(&r);
            }
        }
        std::string_view same;
        for (Arg arg : a.args) {
            if (arg == Arg::None) break;
            if (arg == Arg::Series && same.empty() && in_.below(12) != 1) {
                same = series_word();
                position(same);
            } else {
                argument(arg, same, depth);
            }
        }
        for (const Refinement* r : chosen) argument(r->arg, same, depth);
        if (paren) glue(")");
    }

    // sort with every refinement, and comparators of every kind.
    void sort(int depth) {
        put("sort");
        std::vector<std::string_view> refinements;
        for (std::string_view r : {"case", "skip", "compare", "part", "all", "reverse", "stable"}) {
            if (in_.below(3) == 1) {
                glue("/");
                glue(r);
                refinements.push_back(r);
            }
        }
        const std::string_view same = series_word();
        position(same);
        for (std::string_view r : refinements) {
            if (r == "skip")
                count();
            else if (r == "part")
                part(same);
            else if (r == "compare")
                comparator(depth);
        }
    }

    void comparator(int depth) {
        switch (in_.below(6)) {
        case 1:
        case 2: {
            put(in_.below(2) ? "func [p q]" : "function [p q]");
            locals_.push_back("p");
            locals_.push_back("q");
            put("[tick");
            statements(depth + 1, 2);
            if (in_.below(3) != 1) {
                put(in_.pick({"p", "q"}));
                put(in_.pick({"<", ">", "<=", ">=", "=", "<>"}));
                put(in_.pick({"p", "q"}));
            } else {
                expression(depth + 1);
            }
            glue("]");
            locals_.resize(locals_.size() - 2);
            break;
        }
        case 3: put(in_.pick({"1", "2", "-1", "0", "100", "-2147483648"})); break;
        case 4: literal(depth + 1); break;
        case 5: code_block(depth + 1, false); break;
        default: put(in_.pick(kNativeComparators)); break;
        }
    }

    void call(int depth) {
        const uint32_t k = in_.below(kFns.size());
        const FunctionShape& shape = shapes_[k];
        const bool option = shape.has_option && in_.below(2) == 1;
        if (in_.below(8) == 1) {
            put("apply :");
            glue(kFns[k]);
            put("[");
            for (int n = 0; n < shape.args; n++) expression(depth + 1);
            glue("]");
            return;
        }
        put(kFns[k]);
        if (option) glue("/opt");
        // Now and then one argument too many or too few.
        const int args = shape.args + (in_.below(10) == 1 ? 1 : 0) + (option ? 1 : 0);
        for (int n = 0; n < args; n++) expression(depth + 1);
    }

    // ---- Statements ----

    void statements(int depth, uint32_t most) {
        const uint32_t n = in_.below(most + 1);
        for (uint32_t k = 0; k < n && room(); k++) statement(depth);
    }

    // A block of statements; a guarded one starts with tick.
    void code_block(int depth, bool guarded) {
        put("[");
        if (guarded) put("tick");
        statements(depth, depth >= kMaxDepth ? 0 : 4);
        if (in_.below(3) == 1) expression(depth + 1);
        glue("]");
    }

    void loop_body(int depth) { code_block(depth + 1, true); }

    void statement(int depth) {
        if (depth >= kMaxDepth || !room()) {
            expression(kMaxDepth);
            return;
        }
        if (code_ >= 0 && in_.below(4) == 1) {
            change_running(code_);
            return;
        }
        if (own_statement(depth)) return;
        switch (in_.below(26)) {
        case 0:
        case 1:
            put(in_.pick(kVars));
            glue(":");
            expression(depth + 1);
            break;
        case 2:
        case 3:
        case 4: action(depth, true); break;
        case 5: conditional(depth); break;
        case 6:
        case 7: loop(depth); break;
        case 8: define_function(depth); break;
        case 9: call(depth); break;
        case 10: object(depth); break;
        case 11: sort(depth); break;
        case 12: catcher(depth); break;
        case 13: define_code(depth); break;
        case 14:
        case 15: run_code(depth); break;
        case 16: put(depth == 0 ? "recycle" : "gc"); break;
        case 17: unwind(depth); break;
        case 18: print_statement(depth); break;
        case 19: self_running_branch(depth); break;
        case 20:
            put(in_.pick(kObjects));
            glue(in_.pick({"/x:", "/y:", "/z:"}));
            expression(depth + 1);
            break;
        case 21:
            put("set in");
            put(in_.pick(kObjects));
            put(in_.pick({"'x", "'y"}));
            expression(depth + 1);
            break;
        case 22:
            put("tick do");
            put(in_.pick({"\"1 + 2\"", "mold c", "form a", "\"[\"", "d"}));
            break;
        default: expression(depth + 1); break;
        }
    }

    void conditional(int depth) {
        switch (in_.below(7)) {
        case 1:
            put("either");
            expression(depth + 1);
            code_block(depth + 1, false);
            code_block(depth + 1, false);
            break;
        case 2:
            put("unless");
            expression(depth + 1);
            code_block(depth + 1, false);
            break;
        case 3: {
            const bool with_default = in_.below(2) == 1;
            put(with_default ? "switch/default" : "switch");
            expression(depth + 1);
            put("[");
            for (uint32_t n = in_.below(4), k = 0; k < n; k++) {
                literal(kMaxDepth);
                code_block(depth + 1, false);
            }
            glue("]");
            if (with_default) code_block(depth + 1, false);
            break;
        }
        case 4:
            put(in_.below(2) ? "case" : "case/all");
            put("[");
            for (uint32_t n = in_.below(4), k = 0; k < n; k++) {
                expression(depth + 1);
                code_block(depth + 1, false);
            }
            glue("]");
            break;
        case 5:
            put(in_.below(2) ? "any" : "all");
            code_block(depth + 1, false);
            break;
        default:
            put("if");
            expression(depth + 1);
            code_block(depth + 1, false);
            break;
        }
    }

    void loop(int depth) {
        switch (in_.below(9)) {
        case 1:
            put("repeat i");
            count();
            loop_body(depth);
            break;
        case 2:
            put("while [");
            expression(depth + 1);
            glue("]");
            loop_body(depth);
            break;
        case 3:
            put("until [tick");
            statements(depth + 1, 3);
            expression(depth + 1);
            glue("]");
            break;
        case 4:
            put(in_.pick({"foreach x", "foreach [x y]", "foreach [x]"}));
            series(depth);
            loop_body(depth);
            break;
        case 5:
            put("forall");
            put(series_word());
            loop_body(depth);
            break;
        case 6:
            put(in_.pick({"remove-each x", "remove-each [x y]"}));
            series(depth);
            loop_body(depth);
            break;
        case 7:
            put("forever");
            loop_body(depth);
            break;
        case 8:
            put("tick loop");
            put(in_.pick({"1", "2", "3"}));
            put(in_.pick(kCode));
            break;
        default:
            put("loop");
            count();
            loop_body(depth);
            break;
        }
    }

    void unwind(int depth) {
        static constexpr std::string_view kUnwinds[] = {
            "break",        "break/return ?",  "continue",         "exit",
            "return ?",     "throw ?",         "throw/name ? 'n1", "throw/name ? 'n2",
            "if ? [break]", "if ? [continue]", "unless ? [exit]",
        };
        fill(in_.pick(kUnwinds), {}, depth);
    }

    // Writes a pattern: % stands for the word given, @ for a self-changing block, ? for an
    // expression, # for a count, & for a small count and $ for a literal; the rest is copied.
    void fill(std::string_view pattern, std::string_view word, int depth) {
        put("");
        for (const char ch : pattern) {
            switch (ch) {
            case '%': glue(word); break;
            case '@': glue(in_.pick(kCode)); break;
            case '?': expression(depth + 1); break;
            case '#': count(); break;
            case '&': small_count(); break;
            case '$': literal(kMaxDepth); break;
            default: out_ += ch; break;
            }
        }
    }

    void catcher(int depth) {
        const std::string_view name = in_.pick({"try", "try/all", "catch", "catch/name", "e: try"});
        put(name);
        code_block(depth + 1, true);
        if (name == "catch/name") put(in_.pick({"'n1", "'n2", "['n1 'n2]", "[n1 n2]"}));
    }

    // A function body: tick first, then statements that may use the parameters.
    void function_body(int depth, std::initializer_list<std::string_view> words) {
        for (std::string_view w : words) locals_.push_back(w);
        code_block(depth + 1, true);
        locals_.resize(locals_.size() - words.size());
    }

    void define_function(int depth) {
        const uint32_t k = in_.below(kFns.size());
        put(kFns[k]);
        glue(":");
        FunctionShape& shape = shapes_[k];
        switch (in_.below(5)) {
        case 1:
            put("does");
            shape = {0, false};
            function_body(depth, {});
            break;
        case 2:
            put("has [l]");
            shape = {0, false};
            function_body(depth, {"l"});
            break;
        case 3:
            put("function [x]");
            shape = {1, false};
            function_body(depth, {"x"});
            break;
        case 4: {
            put("func [x y [integer! block! string!] /opt w /local l]");
            shape = {2, true};
            function_body(depth, {"x", "y", "w", "l"});
            break;
        }
        default:
            put(in_.pick({"func [x]", "func [x [any-type!]]", "func [x return: [integer!]]"}));
            shape = {1, false};
            function_body(depth, {"x"});
            break;
        }
    }

    void object(int depth) {
        const std::string_view name = in_.pick(kObjects);
        put(name);
        glue(":");
        switch (in_.below(4)) {
        case 1:
            put("make");
            put(in_.pick(kObjects));
            put("[x:");
            expression(depth + 1);
            glue("]");
            return;
        case 2:
            put("construct");
            data_block(depth + 1);
            return;
        case 3:
            put("copy");
            put(in_.pick(kObjects));
            return;
        default: break;
        }
        put("make object! [x:");
        expression(depth + 1);
        put("y:");
        expression(depth + 1);
        if (in_.below(2) == 1) {
            put("on-change*: func [word old new]");
            function_body(depth, {"word", "old", "new"});
        }
        if (in_.below(2) == 1) {
            put("m: func [p]");
            function_body(depth, {"p"});
        }
        glue("]");
    }

    // ---- Blocks that change while they run ----

    // A statement that changes the block being run through its word.
    virtual void change_running(int k) {
        static constexpr std::string_view kChanges[] = {
            "clear %",
            "clear next %",
            "remove %",
            "remove/part % #",
            "take/last %",
            "reverse %",
            "%: none gc",
            "clear % gc",
            "change % [tick 3]",
            "tick append % [tick gc 1]",
            "tick insert next % [tick 2]",
            "tick append % copy/part next % #",
        };
        fill(in_.pick(kChanges), kCode[k], kMaxDepth);
    }

    void define_code(int depth) {
        const int k = static_cast<int>(in_.below(kCode.size()));
        put(kCode[k]);
        glue(": copy");
        const int saved = code_;
        code_ = k;
        code_block(depth + 1, true);
        code_ = saved;
    }

    // Runs a self-changing block through one of the natives that run blocks, after a tick (the
    // block may have lost its own).
    void run_code(int depth) {
        static constexpr std::string_view kRuns[] = {
            "do %",
            "if ? %",
            "either ? % @",
            "unless ? %",
            "switch ? reduce [$ %]",
            "case reduce [? %]",
            "(do %)",
            "any %",
            "all %",
            "try %",
            "catch %",
            "reduce %",
            "compose %",
            "loop 2 %",
        };
        const std::string_view run = in_.pick(kRuns);  // the choices are taken in text order
        put("tick");
        fill(run, in_.pick(kCode), depth);
    }

    // A branch that is a fresh block, held only while it runs, that drops its own word.
    void self_running_branch(int depth) {
        const int k = static_cast<int>(in_.below(kCode.size()));
        const std::string_view code = kCode[k];
        struct Runner {
            std::string_view before;
            std::string_view after;
        };
        static constexpr Runner kRunners[] = {
            {"if true", ""},
            {"either true", "[]"},
            {"either false [] ", ""},
            {"unless false", ""},
            {"do", ""},
            {"case [true", "]"},
            {"loop 1", ""},
            {"switch 1 reduce [1", "]"},
            {"all [true (do", ")]"},
        };
        const Runner& runner = kRunners[in_.below(static_cast<uint32_t>(std::size(kRunners)))];
        put(runner.before);
        put(code);
        glue(": copy [tick");
        put(code);
        glue(": none gc");
        const int saved = code_;
        code_ = k;
        statements(depth + 1, 3);
        code_ = saved;
        glue("]");
        if (!runner.after.empty()) glue(runner.after);
    }
};

// ---- The differential grammar ----

// Saves the words a program may rebind, makes the guards immune to rebinding (tick and gc reach
// their natives through the values composed into them), and adds the helpers: `show` prints a
// value molded on one line (cut short; an error with its stack when kept), `calls` answers the frame names and argument-stack indexes, the
// `re-` functions rebind a word from inside a callee and answer their argument, `grow` and `cut`
// change code1 from inside one, `rec` recurses, and `deep` runs a block some calls deep.
constexpr std::string_view kDiffPrelude = R"(o-plus: :+ o-minus: :- o-times: :* o-either: :either o-if: :if
tick: does compose/deep [fuel: (:subtract) fuel 1 (:if) (:any) [(:lesser?) fuel 0 (:greater?) stats fuel-memory] [do make error! "out of fuel"]]
gc: does compose/deep [recycles: (:subtract) recycles 1 (:if) (:greater-or-equal?) recycles 0 [recycle]]
restore: does [set '+ :o-plus set '- :o-minus set 'either :o-either set 'if :o-if]
show: func [v [any-type!]] [print mold/all/flat/part :v 400]
calls: has [k] [collect-calls k: copy [] k]
re-plus: func [v] [set '+ :o-times v] re-minus: func [v] [set '- :o-plus v]
re-either: func [v] [set 'either func [c p q] [o-either c q p] v] re-if: func [v] [set 'if :unless v]
re-fn: func [v] [set 'fn1 :fn3 v] re-back: func [v] [restore v]
grow: func [v] [tick append code1 [tick prin "g"] v] cut: func [v] [clear next code1 v]
rec: func [n /opt w] [tick either n <= 0 [any [w 0]] [rec/opt n - 1 (any [w 0]) + n]]
deep: func [n b] [tick either n <= 0 [do b] [deep n - 1 b]]
)";
constexpr std::string_view kDiffStatementFuel = "fuel: 200";

constexpr std::string_view kRebinds[] = {
    "+: :-",
    "+: :*",
    "+: func [p q] [o-minus p q]",
    "-: :+",
    "set '+ :o-plus",
    "either: func [c p q] [o-either c q p]",
    "either: :if",
    "set 'either :o-either",
    "if: :unless",
    "if: func [c p] [o-if not c p]",
    "set 'if :o-if",
    "restore",
};
constexpr std::string_view kCalleeRebinds[] = {"re-plus", "re-minus", "re-either", "re-if",
                                               "re-fn",   "re-back",  "grow",      "cut"};
// Expressions that raise: math, type, missing values and arguments, made errors.
constexpr std::string_view kFaults[] = {
    "1 / 0",
    "2147483647 + 1",
    "-2147483648 - 1",
    "-2147483648 / -1",
    "100000 * 100000",
    "1 % 0",
    "1.0 / 0",
    R"(1 + "a")",
    R"("a" < 1)",
    R"(to integer! "x")",
    "append 1 2",
    "nowhere",
    "o1/nowhere",
    "fn2 1",
    "either",
    "rec 3 + none",
    R"(do make error! "boom")",
    "make object! [x: 1 / 0]",
};
// Runs a code block (%) as a loop body, a function body or a method, after a tick; ? is an
// expression.
constexpr std::string_view kDiffRuns[] = {
    "repeat i 3 %",
    "while [tick ?] %",
    "foreach x a %",
    "foreach [x y] d %",
    "until [tick do % ?]",
    "catch [loop 2 %]",
    "o1: make object! [x: 1 y: 2 m: func [p] %] o1/m ?",
};
// Changes the block being run (%); # is a count. A change that lengthens the block ahead of the
// running position puts the end of the statement that made it (all of it, in a paren) again just
// after itself, so such a change starts with tick.
constexpr std::string_view kDiffChanges[] = {
    "poke % 2 #",
    "poke % 2 [tick 7]",
    "tick change/part % [tick show 5] 2",
    "tick append % [show calls]",
    "remove back tail %",
    "tick change next % [tick re-plus 1]",
};

// The grammar of the differential target: the program target's, weighted towards what compiled
// code must get right (loops that run their bodies many times, calls, recursion, methods,
// rebinding, changes to the running block, errors and unwinding), and printing as it goes. Each
// top-level statement shows its outcome and puts the rebound words back; the last one runs
// bare, so that an uncaught error ends the program with its report.
class DiffWriter : public Writer {
  public:
    using Writer::Writer;

  protected:
    void prelude() override {
        out_ = kPrelude;
        out_ += kDiffPrelude;
    }
    void top_statement() override {
        out_ += "show try/all/keep [";
        out_ += kDiffStatementFuel;
        statement(0);
        out_ += "] restore\n";
    }
    void last_statement() override {
        out_ += kDiffStatementFuel;
        statement(0);
        out_ += "\n";
    }

    bool own_statement(int depth) override {
        if (in_.below(2) != 0) return false;
        switch (in_.below(12)) {
        case 0: put(in_.pick(kRebinds)); break;
        case 1: rebind_function(); break;
        case 2:
        case 3: counted_loop(depth); break;
        case 4: define_recursive(depth); break;
        case 5: define_methods(depth); break;
        case 6: {
            const std::string_view run = in_.pick(kDiffRuns);  // the choices in text order
            put("tick");
            fill(run, in_.pick(kCode), depth);
            break;
        }
        case 7:
            put("show try/keep [tick");
            fault();
            glue("]");
            break;
        case 8: put(in_.pick({"show calls", "show stack-size?", "show last-lf?"})); break;
        case 9:
            put(in_.pick(kVars));
            glue(":");
            arithmetic(depth + 1);
            break;
        default: print_statement(depth); break;
        }
        return true;
    }

    bool own_expression(int depth) override {
        if (in_.below(2) != 0) return false;
        switch (in_.below(9)) {
        case 0:
            put(in_.pick(kCalleeRebinds));
            expression(depth + 1);
            break;
        case 1: fault(); break;
        case 2:
            put("try [tick");
            fault();
            glue("]");
            break;
        case 3:
            put("rec");
            if (in_.below(2) == 1) {
                glue("/opt");
                small_count();
            }
            small_count();
            break;
        case 4: put(in_.pick({"calls", "stack-size?", "length? code1"})); break;
        case 5:
            put(in_.pick(kObjects));
            glue(in_.pick({"/m", "/n"}));
            expression(depth + 1);
            break;
        case 6:
            put("either");
            comparison(depth + 1);
            for (int k = 0; k < 2; k++) {
                put("[");
                arithmetic(depth + 1);
                glue("]");
            }
            break;
        default: arithmetic(depth); break;
        }
        return true;
    }

    void print_statement(int depth) override {
        switch (in_.below(4)) {
        case 1: put("show calls"); break;
        case 2:
            put("prin mold/part");
            expression(depth + 1);
            put("40 prin \" \"");
            break;
        default:
            put("show");
            expression(depth + 1);
            break;
        }
    }

    void change_running(int k) override {
        if (in_.below(2) == 0) {
            Writer::change_running(k);
            return;
        }
        fill(in_.pick(kDiffChanges), kCode[k], kMaxDepth);
    }

  private:
    // A term that is a number more often than not: the integer variables, the enclosing
    // function's words, a counter, a small call.
    void term(int depth) {
        switch (in_.below(8)) {
        case 1:
            put(in_.pick({"e", "i", "length? a", "length? code1", "o1/x", "stack-size?"}));
            break;
        case 2:
            if (locals_.empty())
                variable();
            else
                put(locals_[in_.below(static_cast<uint32_t>(locals_.size()))]);
            break;
        case 3:
            put("rec");
            small_count();
            break;
        case 4:
            put("(");
            arithmetic(depth + 1);
            glue(")");
            break;
        case 5: expression(depth + 1); break;
        case 6: put(in_.pick(kEdgeInts)); break;
        default: put(in_.pick(kSmallInts)); break;
        }
    }

    // Terms joined by operators: in place arithmetic and comparison, where a rebinding done by
    // one of the terms shows at the next operator.
    void arithmetic(int depth) {
        if (depth >= kMaxDepth) {
            put(in_.pick(kSmallInts));
            return;
        }
        term(depth);
        for (uint32_t n = in_.below(4), k = 0; k < n; k++) {
            put(in_.pick({"+", "-", "*", "+", "-", "/", "%", "<", "=", ">", "and"}));
            term(depth);
        }
    }

    void comparison(int depth) {
        term(depth);
        put(in_.pick({"<", ">", "=", "<>", "<=", ">="}));
        term(depth);
    }

    // A fault, now and then a few calls deep, so that the error's near, where and stack are
    // a callee's.
    void fault() {
        const bool deep = in_.below(3) == 1;
        if (deep) {
            put("deep");
            small_count();
            put("[");
        }
        put(in_.pick(kFaults));
        if (deep) glue("]");
    }

    // Binds a function word to another function, or to one that runs a code block as its body.
    void rebind_function() {
        const uint32_t k = in_.below(kFns.size());
        put(kFns[k]);
        glue(":");
        if (in_.below(2) == 1) {
            const uint32_t from = in_.below(kFns.size());
            put(":");
            glue(kFns[from]);
            shapes_[k] = shapes_[from];
            return;
        }
        put("func [x]");
        put(in_.pick(kCode));
        shapes_[k] = {1, false};
    }

    // A loop that counts in a variable (%) and shows it each round; & is the count. An empty
    // step is an expression.
    void counted_loop(int depth) {
        struct Counting {
            std::string_view head;
            std::string_view step;
        };
        static constexpr Counting kCountings[] = {
            {"loop &", ""}, {"while [% < &]", "1"}, {"repeat k &", "k"}};
        const std::string_view var = in_.pick(kVars);
        const Counting& counting = kCountings[in_.below(std::size(kCountings))];
        put(var);
        glue(": 0");
        fill(counting.head, var, depth);
        fill("[tick %: % +", var, depth);
        if (counting.step.empty())
            arithmetic(depth + 1);
        else
            put(counting.step);
        statements(depth + 1, 3);
        fill("show %]", var, depth);
    }

    // A function that calls itself with a smaller count and sums on the way back.
    void define_recursive(int depth) {
        const uint32_t k = in_.below(kFns.size());
        const std::string_view name = kFns[k];
        put(name);
        glue(": func [x /opt w] [tick either x <= 0 [any [w 0]] [");
        locals_.push_back("x");
        locals_.push_back("w");
        statements(depth + 1, 2);
        locals_.resize(locals_.size() - 2);
        if (in_.below(3) == 1) put("return");
        put(name);
        glue("/opt x - 1 (any [w 0]) + x]]");
        shapes_[k] = {1, true};
    }

    // An object whose methods read and write its fields and call each other.
    void define_methods(int depth) {
        put(in_.pick(kObjects));
        glue(": make object! [x:");
        expression(depth + 1);
        put("y:");
        expression(depth + 1);
        put("m: func [p] [tick");
        for (std::string_view w : {"p", "x", "y"}) locals_.push_back(w);
        statements(depth + 1, 3);
        locals_.resize(locals_.size() - 3);
        put(in_.pick({"x: x + p", "y: p", "x"}));
        glue("] n: func [p] [tick m p show calls]]");
    }
};

}  // namespace

std::string write_program(const uint8_t* data, size_t size) {
    Choices in(data, size);
    return Writer(in).program();
}

std::string write_diff_program(const uint8_t* data, size_t size) {
    Choices in(data, size);
    return DiffWriter(in).program();
}

}  // namespace nuv::fuzz
