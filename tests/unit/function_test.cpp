// function!: spec validation, making, molding, reflection and identity.
#include "runtime/datatypes/function.h"

#include "tests/unit/eval_support.h"

namespace nuv::test {
namespace {

TEST(Function, SpecValidation) {
    check_cases({
        {"f: func [a [integer!] \"doc\" /r b] [a] f 1", "1"},
        {"f: func [[trace] a] [a] f 2", "2"},
        {"f: func [a return: [integer!] /local b] [b: a b] f 3", "3"},
        {"func [[1] a] [a]", "error bad-func-def"},
        {"func [return: [integer!] a] [a]", "error bad-func-def"},
        {"func [return: [integer!] return: [integer!]] []", "error bad-func-def"},
        {"func [x:] []", "error bad-func-def"},
        {"func [return: 1] []", "error bad-func-def"},
        {"func [a \"doc\" [integer!]] [a]", "error bad-func-def"},
        {"func [/local :b] []", "error bad-func-def"},
        {"func [/local b /r] []", "error bad-func-def"},
        {"func [a 1] []", "error bad-func-def"},
        {"func [a /local A] []", "error dup-vars"},
        {"func [a /b c 'a] []", "error dup-vars"},
        {"func [a [1]] []", "error invalid-type-spec"},
        {"func [a [undefined-type-word!]] []", "error no-value"},
    });
}

TEST(Function, ValuesAndReflection) {
    check_cases({
        {"func [x] [x + 1]", "func [x][x + 1]"},
        {"f: make function! [[x] [x * 2]] f 21", "42"},
        {"make function! [[x]]", "error bad-func-def"},
        {"make function! [x [x]]", "error bad-func-def"},
        {"f: func [a /t b] [a] reflect :f 'spec", "[a /t b]"},
        {"f: func [a /t b] [a] reflect :f 'body", "[a]"},
        {"f: func [a /t b /local c] [a] reflect :f 'words", "[a t b local c]"},
        {"f: func [a] [a] reflect :f 'title", "error not-done"},
        {"f: func [] [1] g: :f equal? :f :g", "true"},
        {"equal? func [] [1] func [] [1]", "false"},
        {"b: [x] f: func [x] b b/1: 10 f 5", "5"},
    });
}

TEST(Function, CollectedLocals) {
    check_cases({
        {"f: function [a] [x: a * 2 foreach [p :q x] [] [] x] reflect :f 'spec", "[a /local x p q]"},
        {"f: function [a] [(y: 1) [z: [y: 2]] repeat i 3 [] remove-each w [] []] reflect :f 'spec",
         "[a /local y z i w]"},
        {"f: function [a /local b] [b: 1 c: 2 local: 3] reflect :f 'spec", "[a /local b c]"},
        {"f: function [a /extern y] [x: 1 y: 2] reflect :f 'spec", "[a /local x]"},
        {"f: function [a /extern y /local z] [x: 1] reflect :f 'spec", "[a /local z x]"},
        {"f: function [a] [a] reflect :f 'spec", "[a]"},
        {"function [a 1 /extern y] []", "error bad-func-extern"},
        {"f: function [n] [acc: n * 2 acc] f 4", "8"},
        {"f: function [n] [acc2: n acc2] f 4 acc2", "error no-value"},
        {"s: [n] f: function s [m: n] reflect :f 'spec s", "[n]"},
    });
}

}  // namespace
}  // namespace nuv::test
