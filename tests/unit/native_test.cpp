// native!, action! and op!: making by table index, operators from every callable, molding,
// forming, reflection and comparison.
#include "runtime/datatypes/native.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

std::string form_of(const std::string& source) {
    eval_environment();
    StackScope scope;
    Cell* code = load_text(source);
    Cell value = *interp::do_block(code);
    Cell* buffer = string::make_at(stack::reserve(), 16);
    registry::g_rows[static_cast<int>(cell::type_of(&value))].form(&value, buffer, nullptr, 1 << 30);
    return string::to_std_utf8(buffer);
}

TEST(Native, Making) {
    check_cases({
        {"make native! [[a b] 25]", "make native! [[a b]]"},
        {"make action! [[value] 14]", "make action! [[value]]"},
        {"make native! [[a b] 107]", "make native! [[a b]]"},
        {"make native! [[a b] 0]", "error bad-make-arg"},
        {"make native! [[a b] 108]", "error bad-make-arg"},
        {"make native! [[a b] 121]", "error bad-make-arg"},
        {"make action! [[a] 62]", "make action! [[a]]"},
        {"make action! [[a] 63]", "error bad-make-arg"},
        {"make native! [[a b]]", "error bad-make-arg"},
        {"make native! [[a b] 25 1]", "error bad-make-arg"},
        {"make native! [[a b] \"25\"]", "error bad-make-arg"},
        {"make native! 25", "error bad-make-arg"},
        {"n: make native! [[a b] 25] n 2 2", "true"},
        {"a: make action! [[v] 14] a 5", "-5"},
    });
}

TEST(Native, Operators) {
    check_cases({
        {"make op! make action! [[a b] 11]", "make op! [[a b]]"},
        {"p: make op! :multiply 3 p 4", "12"},
        {"make op! func [a b] [a - b]", "make op! func [a b][a - b]"},
        {"m: make op! func [a b /local c] [c: a * 10 c + b] 4 m 2", "42"},
        {"make op! func [a /r b] [a]", "error bad-op-spec"},
        {"make op! func [:a b] [a]", "error bad-op-spec"},
        {"make op! func [a :b] [a]", "make op! func [a :b][a]"},
        {"make op! func [a] [a]", "error bad-op-spec"},
        {"make op! 1", "error invalid-type"},
        {"o: make op! func [a b] [a] reflect :o 'body", "[a]"},
    });
}

TEST(Native, ReflectAndCompare) {
    check_cases({
        {"reflect make action! [[a b] 11] 'spec", "[a b]"},
        {"reflect :add 'body", "11"},
        {"reflect :equal? 'body", "25"},
        {"reflect :add 'words", "error not-done"},
        {"equal? :add :add", "true"},
        {"equal? :add :subtract", "false"},
        {"equal? make native! [[a b] 25] :equal?", "true"},
        {"equal? :add :equal?", "false"},
        {"lesser? :add :subtract", "error invalid-compare"},
    });
    struct Row {
        const char* source;
        const char* wanted;
    };
    for (const Row& r : {Row{":equal?", "?native?"}, {":add", "?action?"}, {":+", "?op?"}}) {
        EXPECT_EQ(form_of(r.source), r.wanted) << "source: " << r.source;
    }
}

}  // namespace
}  // namespace nuv::test
