// Shared test support: the runtime is started once per test process (as the program does),
// with the collector switch on so the relocation stress mode applies to every test.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "runtime/errors.h"
#include "runtime/evaluator/stack.h"
#include "runtime/runtime.h"

namespace nuv::test {

// Runs `body` and returns the id of the error it raised; fails the test when nothing was raised.
template <class F>
Err raised_by(F&& body) {
    try {
        body();
    } catch (const Unwind& u) {
        if (u.kind == UnwindKind::Error) return raised().id;
        ADD_FAILURE() << "unwound with a non-error kind";
        return Err::NotDone;
    }
    ADD_FAILURE() << "no error was raised";
    return Err::NotDone;
}

#define EXPECT_RAISES(expr, id)                                                       \
    EXPECT_EQ(::nuv::err_word(::nuv::test::raised_by([&] { (void)(expr); })),          \
              ::nuv::err_word(id))

// Keeps the argument stack as it was at construction; every test that pushes uses one.
struct StackScope {
    stack::Mark mark;
    ~StackScope() { mark.restore(); }
};

}  // namespace nuv::test
