// hash!: lookups through the index cost a bounded number of compares however long the hash, the
// index follows long runs of mixed edits (every cell found at its place, finds answering as on
// a block of the same values), and it stays sized to the block after large removals. The large
// ones are scale tests.
#include <string>

#include "runtime/datatypes/block.h"
#include "runtime/hashtable.h"
#include "tests/unit/eval_support.h"

namespace nuv::test {

namespace {

class HashBlock : public ::testing::Test {
  protected:
    void SetUp() override { eval_environment(); }
};

// Evaluates the text and expects its molded value.
void expect_eval(const std::string& text, const std::string& want) {
    EXPECT_EQ(eval_text(text), want) << text;
}

// Evaluates the text and expects its molded value, found through the index: a few compares and
// probes, and no cell scanned. The text is lexed first, so the counts are the evaluation's
// alone (interning its words probes the symbol table, whatever symbols it holds).
void expect_indexed(const std::string& text, const std::string& want) {
    StackScope scope;
    Cell* code = load_text(text);
    const hashtable::Counters before = hashtable::counters();
    const uint64_t scanned = block::counters().scanned;
    std::string got;
    frames::Owner guard(&words::w::anon, frames::kTry);
    const auto kind = guard.run([&] { got = mold_value(*interp::do_block(code)); });
    EXPECT_FALSE(kind) << text;
    EXPECT_EQ(got, want) << text;
    EXPECT_LE(hashtable::counters().compares - before.compares, 4u) << text;
    EXPECT_LE(hashtable::counters().probes - before.probes, 16u) << text;
    EXPECT_EQ(block::counters().scanned, scanned) << text;
}

TEST_F(HashBlock, ScaleSelectOnAHundredThousandKeysComparesABoundedNumberOfCells) {
    expect_eval("big-h: make hash! [] repeat i 100000 [append big-h i] "
                "big-s: make hash! [] repeat i 100000 [append big-s form i] length? big-h",
                "100000");
    expect_indexed("select big-h 77777", "77778");
    expect_indexed("select big-h 1", "2");
    expect_indexed("select big-h 100001", "none");
    expect_indexed("index? find/last big-h 99999", "99999");
    expect_indexed("select big-s \"54321\"", "\"54322\"");
    expect_indexed("select big-h 'a", "none");
    // The same lookup on a block of the same values scans: the counts above are the index's.
    const uint64_t scanned = block::counters().scanned;
    expect_eval("select to block! big-h 77777", "77778");
    EXPECT_EQ(block::counters().scanned - scanned, 77777u);
    // An insertion at the head shifts every stored position; lookups stay bounded.
    expect_eval("insert big-h 0 index? find big-h 50000", "50001");
    expect_indexed("select big-h 99999", "100000");
    expect_eval("big-h: big-s: none", "none");
}

TEST_F(HashBlock, ScaleAClearedLargeHashIsNotRebuiltByEachAppend) {
    expect_eval("h: make hash! [] repeat i 50000 [append h i] clear h length? h", "0");
    const uint64_t rehashes = hashtable::counters().rehashes;
    expect_eval("repeat i 1000 [append h i] index? find h 700", "700");
    EXPECT_LE(hashtable::counters().rehashes - rehashes, 2u);
    expect_eval("h: none", "none");
}

// Edits at the head and in the middle of a long hash shift the index's positions and never
// rehash it: a thousand of them leave find and select answering as on a block.
TEST_F(HashBlock, ScaleEditsOfALongHashShiftTheIndexWithoutRebuilding) {
    expect_eval("random/seed 5 b: copy [] repeat i 200000 [append b i] h: to hash! b length? h",
                "200000");
    const uint64_t rehashes = hashtable::counters().rehashes;
    expect_eval("insert b 0 insert h 0 index? find h 100000", "100001");
    EXPECT_EQ(hashtable::counters().rehashes, rehashes) << "one insertion at the head";
    expect_eval(R"(
        added: copy []
        repeat step 1000 [
            v: random 300000  n: random length? b
            switch random 4 [
                1 [insert b v insert h v append added v]
                2 [remove b remove h]
                3 [insert at b n v insert at h n v append added v]
                4 [remove at b n remove at h n]
            ]
        ]
        fault: none
        repeat k 200 [
            v: either odd? k [random 300000] [pick added k / 2]
            unless all [
                equal? index? any [find b v tail b] index? any [find h v tail h]
                equal? index? any [find/last b v tail b] index? any [find/last h v tail h]
                equal? select b v select h v
            ] [fault: v]
        ]
        reduce [fault equal? b to block! h]
    )",
                "[none true]");
    EXPECT_EQ(hashtable::counters().rehashes, rehashes) << "a thousand edits";
    expect_eval("b: h: none", "none");
}

// A long random run of edits over a hash and a block holding the same values (small values, so
// most are repeated): after every step each value is found, from the head and from the tail, at
// the same place in both.
TEST_F(HashBlock, TheIndexFollowsLongRunsOfMixedEdits) {
    const std::string program = R"(
        random/seed 11
        b: copy [] h: make hash! []
        both: func [code] [s: b do code s: h do code]
        fault: none
        repeat step 1500 [
            v: random 12  w: random 12
            n: random (length? b) + 1
            k: random 4
            switch random 11 [
                1 [both [append s v]]
                2 [both [insert at s n reduce [v w]]]
                3 [both [remove/part at s n k]]
                4 [if n <= length? b [both [poke s n w]]]
                5 [both [change/part at s n reduce [w v w] k]]
                6 [both [reverse/part at s n k]]
                7 [both [take/part at s n k]]
                8 [both [move/part at s n at s k 2]]
                9 [both [sort/part at s k n]]
                10 [both [put s v w]]
                11 [if 40 < length? b [both [clear at s 20]]]
            ]
            unless equal? b to block! h [fault: reduce ['values step] break]
            repeat x 12 [
                unless all [
                    equal? index? any [find b x tail b] index? any [find h x tail h]
                    equal? index? any [find/last b x tail b] index? any [find/last h x tail h]
                    equal? index? any [find/skip next b x 2 tail b] index? any [find/skip next h x 2 tail h]
                ] [fault: reduce ['find step x]]
            ]
            if fault [break]
        ]
        reduce [fault length? b]
    )";
    const std::string got = eval_text(program);
    EXPECT_EQ(got.substr(0, 6), "[none ") << got;
}

}  // namespace
}  // namespace nuv::test
