// series!: the shared slots over every unit size. Each table runs on a block (letters stored as
// integers 1 = a, 2 = b, ...) and on strings of units 1, 2 and 4, so one row checks the same
// unit arithmetic for 16-, 1-, 2- and 4-byte units.
#include "runtime/datatypes/series.h"

#include <algorithm>
#include <string>
#include <vector>

#include "runtime/datatypes/block.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/hashtable.h"
#include "runtime/memory.h"
#include "runtime/ownership.h"
#include "runtime/random.h"
#include "runtime/roots.h"
#include "runtime/words.h"
#include "tests/unit/support.h"

namespace nuv {
namespace {

using test::int_cell;

enum class Kind { Cells, Text1, Text2, Text4 };
constexpr Kind kKinds[] = {Kind::Cells, Kind::Text1, Kind::Text2, Kind::Text4};
const char* kind_name(Kind k) {
    switch (k) {
    case Kind::Cells: return "block";
    case Kind::Text1: return "string unit 1";
    case Kind::Text2: return "string unit 2";
    default: return "string unit 4";
    }
}

// The letter as a value of the kind: an integer! for a block, a char! for text.
Cell letter_value(Kind kind, char c) {
    if (kind == Kind::Cells) return int_cell(c - 'a' + 1);
    return Cell{static_cast<uint32_t>(TypeId::Char), 0, static_cast<uint32_t>(c), 0};
}

// A new series of the kind on the argument stack holding the letters, head at `head`.
Cell* make(Kind kind, const std::string& letters, int32_t head = 0) {
    Cell* s;
    if (kind == Kind::Cells) {
        s = block::push_new(static_cast<int32_t>(letters.size()) + 1);
        for (char c : letters) {
            Cell v = letter_value(kind, c);
            block::append_cell(s, &v);
        }
    } else {
        const uint32_t unit = kind == Kind::Text1 ? 1 : kind == Kind::Text2 ? 2 : 4;
        s = string::make_at_unit(stack::reserve(), letters.size() + 1, unit);
        for (char c : letters) string::append_char(cell::node(s), static_cast<char32_t>(c));
    }
    cell::set_head(s, head);
    return s;
}

std::string letter(const Cell* c) {
    switch (cell::type_of(c)) {
    case TypeId::Integer: return std::string(1, static_cast<char>('a' + cell::get_int(c) - 1));
    case TypeId::Char: return std::string(1, static_cast<char>(c->w2));
    case TypeId::None: return "none";
    case TypeId::Unset: return "unset";
    default: return "?";
    }
}

// The letters of the whole buffer, whatever the head.
std::string all(const Cell* s) {
    Cell whole = *s;
    whole.w1 = 0;
    std::string out;
    for (int32_t i = 1; i <= series::buffer_length(&whole); i++)
        out += letter(series::pick(&whole, i, nullptr));
    return out;
}
// The letters from the head.
std::string rest(const Cell* s) {
    Cell from = *s;
    std::string out;
    for (int32_t i = 1; i <= series::is_length(&from); i++)
        out += letter(series::pick(&from, i, nullptr));
    return out;
}

// A /part argument as a row gives it.
struct Part {
    enum Mode { None, Int, Position, Foreign, Pair } mode = None;
    int32_t a = 0, b = 0;
};
// The part cell on the stack (nullptr when not given); a position is the series at head `a`.
Cell* part_cell(const Part& p, const Cell* series, Kind kind) {
    switch (p.mode) {
    case Part::None: return nullptr;
    case Part::Int: {
        Cell c = int_cell(p.a);
        return stack::push(&c);
    }
    case Part::Position: {
        Cell* c = stack::push(series);
        cell::set_head(c, p.a);
        return c;
    }
    case Part::Foreign: return make(kind, "abc", p.a);
    case Part::Pair: {
        Cell c{static_cast<uint32_t>(TypeId::Pair), 0, static_cast<uint32_t>(p.a),
               static_cast<uint32_t>(p.b)};
        return stack::push(&c);
    }
    }
    return nullptr;
}

// Runs a stack slot with arguments[0] = series and arguments[1] = arg; answers arguments[0].
Cell run_stack(void (*slot)(), const Cell* series, const Cell* arg) {
    test::StackScope scope;
    Cell* base = stack::push(series);
    stack::push(arg ? arg : none::shared());
    stack::g_args.base = base;
    slot();
    return *base;
}

#define ROW_CONTEXT(kind, row) "kind " << kind_name(kind) << ", row " << (row)

TEST(Series, NavigationMovesTheHeadWithinTheBuffer) {
    struct Row {
        void (*slot)();
        const char* name;
        int32_t head;
        int32_t arg;
        int32_t want_head;
    } rows[] = {
        {series::at, "at 0", 2, 0, 2},     {series::at, "at 1", 2, 1, 2},
        {series::at, "at 2", 2, 2, 3},     {series::at, "at -1", 2, -1, 1},
        {series::at, "at 99", 2, 99, 5},   {series::at, "at -99", 2, -99, 0},
        {series::skip, "skip 2", 1, 2, 3}, {series::skip, "skip -1", 0, -1, 0},
        {series::skip, "skip 9", 1, 9, 5}, {series::next, "next", 1, 0, 2},
        {series::next, "next at tail", 5, 0, 5}, {series::back, "back", 3, 0, 2},
        {series::back, "back at head", 0, 0, 0}, {series::head, "head", 4, 0, 0},
        {series::tail, "tail", 1, 0, 5},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcde", r.head);
            Cell n = int_cell(r.arg);
            Cell got = run_stack(r.slot, s, &n);
            EXPECT_EQ(cell::head(&got), r.want_head) << ROW_CONTEXT(kind, r.name);
        }
    }
}

TEST(Series, QueriesAnswerFromTheHead) {
    struct Row {
        int32_t head;
        bool is_head, is_tail;
        int32_t index, length;
    } rows[] = {{0, true, false, 1, 4}, {2, false, false, 3, 2}, {4, false, true, 5, 0}};
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcd", r.head);
            Cell got = run_stack(series::is_head, s, nullptr);
            EXPECT_EQ(got.w1 != 0, r.is_head) << ROW_CONTEXT(kind, r.head);
            got = run_stack(series::is_tail, s, nullptr);
            EXPECT_EQ(got.w1 != 0, r.is_tail) << ROW_CONTEXT(kind, r.head);
            got = run_stack(series::is_index, s, nullptr);
            EXPECT_EQ(cell::get_int(&got), r.index) << ROW_CONTEXT(kind, r.head);
            EXPECT_EQ(series::is_length(s), r.length) << ROW_CONTEXT(kind, r.head);
        }
    }
}

TEST(Series, AtRejectsANonIntegerIndex) {
    test::StackScope scope;
    Cell* s = make(Kind::Text1, "abc");
    Cell f{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    EXPECT_RAISES(run_stack(series::at, s, &f), Err::InvalidArg);
}

TEST(Series, LengthPullsAHeadBeyondTheTailBack) {
    for (Kind kind : kKinds) {
        test::StackScope scope;
        Cell* s = make(kind, "abcdef", 5);
        Cell other = *s;
        cell::set_head(&other, 2);
        series::clear(&other);  // the buffer shrinks under the first reference
        EXPECT_EQ(series::is_length(s), 0) << kind_name(kind);
        EXPECT_EQ(cell::head(s), 2) << kind_name(kind);
        EXPECT_TRUE(series::is_at_tail(s)) << kind_name(kind);
    }
}

TEST(Series, PickCountsFromTheHead) {
    struct Row {
        int32_t head, index;
        const char* want;
    } rows[] = {
        {0, 1, "a"}, {0, 6, "f"},  {0, 7, "none"}, {0, 0, "none"}, {3, -1, "c"},
        {3, -3, "a"}, {3, -4, "none"}, {3, 2, "e"}, {6, 1, "none"}, {6, -1, "f"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.head);
            EXPECT_EQ(letter(series::pick(s, r.index, nullptr)), r.want)
                << ROW_CONTEXT(kind, r.index) << " head " << r.head;
        }
    }
}

TEST(Series, PokeStoresAtPicksPosition) {
    struct Row {
        int32_t head, index;
        const char* want;  // the whole buffer, or the error id
    } rows[] = {
        {0, 1, "zbcdef"}, {2, 1, "abzdef"}, {2, -1, "azcdef"}, {0, 6, "abcdez"},
        {0, 0, "out-of-range"}, {0, 7, "out-of-range"}, {2, -3, "out-of-range"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.head);
            Cell z = letter_value(kind, 'z');
            std::string got;
            try {
                Cell* back = series::poke(s, r.index, &z, nullptr);
                got = all(s);
                EXPECT_EQ(back, &z);
            } catch (const Unwind&) {
                got = err_word(raised().id);
            }
            EXPECT_EQ(got, r.want) << ROW_CONTEXT(kind, r.index) << " head " << r.head;
        }
    }
}

TEST(Series, PokeChecksTheValueTypeOfText) {
    test::StackScope scope;
    Cell* s = make(Kind::Text1, "abc");
    Cell n = int_cell(65);
    EXPECT_RAISES(series::poke(s, 1, &n, nullptr), Err::InvalidArg);
    EXPECT_EQ(all(s), "abc");
    // A code point beyond the unit widens the buffer.
    Cell wide{static_cast<uint32_t>(TypeId::Char), 0, 0x1F600, 0};
    series::poke(s, 2, &wide, nullptr);
    EXPECT_EQ(string::unit_of(s), 4u);
    EXPECT_EQ(string::to_std_utf8(s), "a\xF0\x9F\x98\x80" "c");
}

TEST(Series, PickAndPokeOnBinaryUseBytes) {
    test::StackScope scope;
    Cell* b = string::make_at_unit(stack::reserve(), 4, 1);
    cell::set_type(b, TypeId::Binary);
    for (uint8_t byte : {10, 20, 30}) string::append_char(cell::node(b), byte);
    const Cell* got = series::pick(b, 2, nullptr);
    EXPECT_EQ(cell::type_of(got), TypeId::Integer);
    EXPECT_EQ(cell::get_int(got), 20);
    Cell v = int_cell(0x1FF);
    series::poke(b, 3, &v, nullptr);
    EXPECT_EQ(cell::get_int(series::pick(b, 3, nullptr)), 0xFF);
    Cell none{static_cast<uint32_t>(TypeId::None), 0, 0, 0};
    EXPECT_RAISES(series::poke(b, 1, &none, nullptr), Err::InvalidArg);
}

TEST(Series, RemoveTakesUnitsAtTheHead) {
    struct Row {
        int32_t head;
        Part part;
        const char* want;  // whole buffer, or the error id
    } rows[] = {
        {0, {}, "bcdef"},
        {2, {}, "abdef"},
        {6, {}, "abcdef"},
        {1, {Part::Int, 2}, "adef"},
        {1, {Part::Int, 99}, "a"},
        {1, {Part::Int, 0}, "abcdef"},
        {1, {Part::Int, -2}, "abcdef"},
        {1, {Part::Position, 4}, "aef"},
        {3, {Part::Position, 1}, "abcdef"},
        {1, {Part::Foreign, 2}, "invalid-refine-arg"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.head);
            std::string got;
            try {
                Cell* back = series::remove(s, part_cell(r.part, s, kind), nullptr);
                got = all(s);
                EXPECT_EQ(back, s);
                EXPECT_EQ(cell::head(s), r.head);
            } catch (const Unwind&) {
                got = err_word(raised().id);
            }
            EXPECT_EQ(got, r.want) << ROW_CONTEXT(kind, r.head) << " part " << r.part.a;
        }
    }
}

TEST(Series, RemoveWithAKeyTakesTheKeyAndTheCountAfterIt) {
    if (!registry::row(TypeId::String).find) GTEST_SKIP() << "string! find is not registered";
    struct Row {
        int32_t head;
        char32_t key;
        int32_t part;  // 0: not given
        const char* want;  // whole buffer, or "none" when the key is absent
    } rows[] = {
        {0, 'c', 0, "abef"}, {0, 'c', 2, "abf"}, {0, 'C', 0, "none"},
        {3, 'b', 0, "none"},  {0, 'f', 5, "abcde"}, {0, 'c', -1, "abcdef"},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* s = make(Kind::Text1, "abcdef", r.head);
        Cell key{static_cast<uint32_t>(TypeId::Char), 0, static_cast<uint32_t>(r.key), 0};
        Cell n = int_cell(r.part);
        Cell* got = series::remove(s, r.part ? &n : nullptr, &key);
        EXPECT_EQ(cell::is(got, TypeId::None) ? "none" : all(s), r.want)
            << "key " << static_cast<char>(r.key) << " part " << r.part;
        if (!cell::is(got, TypeId::None)) {
            EXPECT_EQ(cell::head(s), r.head);
        }
    }
}

TEST(Series, ReverseSwapsRecordsFromBothEnds) {
    struct Row {
        int32_t head;
        Part part;
        int32_t skip;  // 0: not given; -100: a non-integer skip
        const char* want;
    } rows[] = {
        {0, {}, 0, "fedcba"},
        {2, {}, 0, "abfedc"},
        {6, {}, 0, "abcdef"},
        {1, {Part::Int, 3}, 0, "adcbef"},
        {1, {Part::Int, 0}, 0, "abcdef"},
        {0, {Part::Position, 2}, 0, "bacdef"},
        {0, {}, 2, "efcdab"},
        {0, {}, 3, "defabc"},
        {0, {}, 6, "abcdef"},
        {0, {}, 4, "invalid-refine-arg"},
        {2, {}, 3, "invalid-refine-arg"},
        {0, {}, -1, "out-of-range"},
        {0, {}, -100, "invalid-refine-arg"},
        {0, {Part::Foreign, 1}, 0, "invalid-refine-arg"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.head);
            Cell* part = part_cell(r.part, s, kind);
            Cell skip = r.skip == -100 ? *none::shared() : int_cell(r.skip == -1 ? 0 : r.skip);
            std::string got;
            try {
                series::reverse(s, part, r.skip ? &skip : nullptr);
                got = all(s);
            } catch (const Unwind&) {
                got = err_word(raised().id);
            }
            EXPECT_EQ(got, r.want) << ROW_CONTEXT(kind, r.head) << " skip " << r.skip;
        }
    }
}

TEST(Series, CopyTakesTheRangeTheRefinementsSay) {
    struct Row {
        int32_t head;
        Part part;
        const char* want;
    } rows[] = {
        {0, {}, "abcdef"},
        {2, {}, "cdef"},
        {6, {}, ""},
        {8, {}, ""},
        {1, {Part::Int, 2}, "bc"},
        {1, {Part::Int, 99}, "bcdef"},
        {3, {Part::Int, -2}, "bc"},
        {3, {Part::Int, -9}, "abc"},
        {1, {Part::Position, 4}, "bcd"},
        {4, {Part::Position, 1}, "bcd"},
        {1, {Part::Pair, 2, 4}, "cd"},
        {1, {Part::Pair, -1, 2}, "abc"},
        {1, {Part::Pair, 4, 2}, ""},
        {0, {Part::Pair, 5, 99}, "ef"},
        {1, {Part::Foreign, 0}, "invalid-refine-arg"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.head);
            Cell* part = part_cell(r.part, s, kind);
            Cell* result = stack::push(none::shared());
            std::string got;
            try {
                Cell* back = series::copy(s, result, part, false, nullptr);
                EXPECT_EQ(back, result);
                EXPECT_EQ(cell::type_of(result), cell::type_of(s));
                EXPECT_EQ(cell::head(result), 0);
                EXPECT_NE(cell::node(result), cell::node(s));
                got = all(result);
                EXPECT_EQ(all(s), "abcdef");
            } catch (const Unwind&) {
                got = err_word(raised().id);
            }
            EXPECT_EQ(got, r.want) << ROW_CONTEXT(kind, r.head) << " part " << r.part.a;
        }
    }
}

TEST(Series, TakeMovesUnitsIntoANewSeries) {
    struct Row {
        int32_t head;
        Part part;
        bool last;
        const char* taken;  // letters of the new series, "none", or the error id
        const char* left;
    } rows[] = {
        {0, {}, false, "a", "bcdef"},
        {2, {}, false, "c", "abdef"},
        {2, {}, true, "f", "abcde"},
        {6, {}, false, "none", "abcdef"},
        {1, {Part::Int, 2}, false, "bc", "adef"},
        {1, {Part::Int, 99}, false, "bcdef", "a"},
        {1, {Part::Int, 2}, true, "ef", "abcd"},
        {1, {Part::Int, 0}, false, "b", "acdef"},
        {3, {Part::Int, -2}, false, "bc", "adef"},
        {3, {Part::Int, -2}, true, "f", "abcde"},
        {1, {Part::Position, 3}, false, "bc", "adef"},
        {3, {Part::Position, 1}, false, "d", "abcef"},
        {1, {Part::Position, 4}, true, "ef", "abcd"},
        {1, {Part::Foreign, 0}, false, "invalid-refine-arg", "abcdef"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.head);
            Cell* part = part_cell(r.part, s, kind);
            Cell* result = stack::push(s);
            std::string got;
            try {
                series::take(result, part, false, r.last);
                got = cell::is(result, TypeId::None) ? "none" : all(result);
                if (!cell::is(result, TypeId::None)) {
                    EXPECT_EQ(cell::type_of(result), cell::type_of(s));
                    EXPECT_EQ(cell::head(result), 0);
                }
            } catch (const Unwind&) {
                got = err_word(raised().id);
            }
            EXPECT_EQ(got, r.taken) << ROW_CONTEXT(kind, r.head) << " part " << r.part.a;
            EXPECT_EQ(all(s), r.left) << ROW_CONTEXT(kind, r.head) << " part " << r.part.a;
        }
    }
}

TEST(Series, MoveWithinOneSeries) {
    struct Row {
        int32_t from, to;
        int32_t part;  // 0: not given
        const char* want;
    } rows[] = {
        {0, 2, 0, "bcadef"}, {0, 4, 2, "cdefab"}, {4, 1, 0, "aebcdf"}, {3, 0, 3, "defabc"},
        {2, 2, 0, "abcdef"}, {0, 5, 2, "abcdef"}, {0, 9, 0, "abcdef"}, {6, 0, 0, "abcdef"},
        {1, 3, -1, "abcdef"},
    };
    for (Kind kind : kKinds) {
        for (const Row& r : rows) {
            test::StackScope scope;
            Cell* s = make(kind, "abcdef", r.from);
            Cell* target = stack::push(s);
            cell::set_head(target, r.to);
            Cell n = int_cell(r.part);
            series::move(s, target, r.part ? &n : nullptr);
            EXPECT_EQ(all(s), r.want) << ROW_CONTEXT(kind, r.from) << " to " << r.to;
        }
    }
}

TEST(Series, MoveBetweenSeriesOfOneFamily) {
    struct Row {
        Kind origin, target;
    } rows[] = {
        {Kind::Cells, Kind::Cells}, {Kind::Text1, Kind::Text1}, {Kind::Text1, Kind::Text4},
        {Kind::Text4, Kind::Text1}, {Kind::Text2, Kind::Text4},
    };
    for (const Row& r : rows) {
        test::StackScope scope;
        Cell* from = make(r.origin, "abcdef", 1);
        Cell* to = make(r.target, "xyz", 1);
        Cell n = int_cell(3);
        series::move(from, to, &n);
        EXPECT_EQ(all(from), "aef") << kind_name(r.origin) << " -> " << kind_name(r.target);
        EXPECT_EQ(all(to), "xbcdyz") << kind_name(r.origin) << " -> " << kind_name(r.target);
    }
    test::StackScope scope;
    EXPECT_RAISES(series::move(make(Kind::Cells, "ab"), make(Kind::Text1, "cd"), nullptr),
                  Err::MoveBad);
}

TEST(Series, ClearCutsTheTailAtTheHead) {
    for (Kind kind : kKinds) {
        test::StackScope scope;
        Cell* s = make(kind, "abcdef", 2);
        series::clear(s);
        EXPECT_EQ(all(s), "ab") << kind_name(kind);
        Cell* past = make(kind, "abc", 5);
        series::clear(past);
        EXPECT_EQ(all(past), "abc") << kind_name(kind);
    }
}

TEST(Series, RandomShufflesInPlaceAndSeedsFromTheUnits) {
    for (Kind kind : kKinds) {
        test::StackScope scope;
        Cell* s = make(kind, "abcdefghijklmnop", 2);
        Cell* seeded = stack::push(s);
        series::random(seeded, true, false, false);
        EXPECT_EQ(cell::type_of(seeded), TypeId::Unset) << kind_name(kind);
        const int32_t first = random::mt_next();
        series::random(stack::push(s), true, false, false);
        EXPECT_EQ(random::mt_next(), first) << "the same units give the same seed";

        series::random(s, false, false, false);
        std::string got = all(s);
        EXPECT_EQ(got.substr(0, 2), "ab") << kind_name(kind);
        std::string sorted = got;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(sorted, "abcdefghijklmnop") << kind_name(kind);

        Cell* one = stack::push(s);
        series::random(one, false, false, true);
        EXPECT_NE(rest(s).find(letter(one)), std::string::npos) << kind_name(kind);
        Cell* empty = make(kind, "ab", 2);
        series::random(empty, false, false, true);
        EXPECT_EQ(cell::type_of(empty), TypeId::None) << kind_name(kind);
    }
}

TEST(Series, CopyAndTakeMakeBuffersOfTheirOwn) {
    test::StackScope scope;
    // An external block (the kind the stacks use) never lends its location to a copy.
    Cell* outside = block::make_external(roots::root(), 8);
    Cell v = int_cell(1);
    block::append_cell(outside, &v);
    block::append_cell(outside, &v);
    Cell* source = stack::push(outside);
    Cell* owner = stack::push(none::shared());
    *owner = Cell{static_cast<uint32_t>(TypeId::Object), 0, 0, 0};
    Cell word = test::loose_word("field");
    ownership::bind(source, owner, &word);
    ASSERT_TRUE(memory::buf_of(source)->flags & memory::kOwned);

    Cell* copied = stack::push(none::shared());
    series::copy(source, copied, nullptr, false, nullptr);
    Cell* taken = stack::push(source);
    series::take(taken, nullptr, false, false);
    for (const Cell* c : {copied, taken}) {
        const uint32_t flags = memory::buf_of(c)->flags;
        EXPECT_FALSE(flags & memory::kExternal);
        EXPECT_FALSE(flags & memory::kOwned);
        EXPECT_EQ(flags & memory::kUnitMask, sizeof(Cell));
        // The copy grows like any collected series.
        block::append_cell(c, &v);
    }
    ownership::unbind(source);
}

TEST(Series, InPlaceActionsAllocateNothing) {
    for (Kind kind : kKinds) {
        test::StackScope scope;
        Cell* s = make(kind, "abcdefghij", 1);
        Cell* target = stack::push(s);
        cell::set_head(target, 6);
        Cell two = int_cell(2);
        Cell skip = int_cell(3);
        Cell z = letter_value(kind, 'z');
        const uint64_t before = memory::counters().allocations;
        series::reverse(s, nullptr, &skip);
        series::random(s, false, false, false);
        series::move(s, target, &two);
        series::poke(s, 1, &z, nullptr);
        series::remove(s, &two, nullptr);
        series::clear(target);
        EXPECT_EQ(memory::counters().allocations, before) << kind_name(kind);
    }
}

// A hash! keeps its index in step: every cell is found at its own position.
void expect_index_matches(const Cell* h, const char* what) {
    const NodeId table = h->w3;
    Cell whole = *h;
    whole.w1 = 0;
    for (int32_t i = 0; i < series::buffer_length(&whole); i++) {
        const Cell c = *series::pick(&whole, i + 1, nullptr);
        EXPECT_EQ(hashtable::find(table, &c, CompareOp::StrictEqual), i)
            << what << ": cell " << i << " = " << letter(&c);
    }
}

TEST(Series, HashBlocksKeepTheirIndex) {
    test::StackScope scope;
    Cell* h = make(Kind::Cells, "abcdefgh");
    cell::set_type(h, TypeId::Hash);
    h->w3 = hashtable::make(8, h, hashtable::Kind::Hash, 0);
    Cell two = int_cell(2);
    cell::set_head(h, 1);
    series::remove(h, &two, nullptr);
    expect_index_matches(h, "remove");
    series::reverse(h, nullptr, nullptr);
    expect_index_matches(h, "reverse");
    Cell z = int_cell(26);
    series::poke(h, 2, &z, nullptr);
    expect_index_matches(h, "poke");
    Cell* target = stack::push(h);
    cell::set_head(target, 3);
    series::move(h, target, &two);
    expect_index_matches(h, "move");
    Cell* taken = stack::push(h);
    series::take(taken, &two, false, true);
    expect_index_matches(h, "take (source)");
    expect_index_matches(taken, "take (new hash)");
    cell::set_head(h, 2);
    series::clear(h);
    expect_index_matches(h, "clear");
    EXPECT_EQ(all(h), "af");
}

TEST(Series, ReflectAndModifyOwned) {
    test::StackScope scope;
    Cell* s = make(Kind::Text2, "abc");
    Cell* owner = stack::push(none::shared());
    *owner = Cell{static_cast<uint32_t>(TypeId::Object), 0, 0, 0};
    Cell field = test::loose_word("owned");
    Cell other = test::loose_word("other");
    Cell* spec = test::block_of({*owner, other});

    auto reflect_owned = [&] {
        Cell* base = stack::push(s);
        stack::g_args.base = base;
        series::reflect(base, words::sym::owned);
        return *base;
    };
    {
        test::StackScope inner;
        const Cell got = reflect_owned();
        EXPECT_EQ(cell::type_of(&got), TypeId::None);
    }
    EXPECT_EQ(series::modify(s, &field, spec, false), spec);
    {
        test::StackScope inner;
        const Cell got = reflect_owned();
        EXPECT_EQ(cell::type_of(&got), TypeId::Object);
    }
    ASSERT_NE(ownership::owner_of(s), nullptr);
    EXPECT_EQ(word::symbol_of(ownership::owner_of(s) + 2), word::symbol_of(&other));
    Cell none = *none::shared();
    series::modify(s, &field, &none, false);
    EXPECT_EQ(ownership::owner_of(s), nullptr);
    // Any other field changes nothing; a field other than owned cannot be reflected.
    EXPECT_EQ(series::modify(s, &other, spec, false), spec);
    EXPECT_EQ(ownership::owner_of(s), nullptr);
    {
        test::StackScope inner;
        Cell* base = stack::push(s);
        stack::g_args.base = base;
        EXPECT_RAISES(series::reflect(base, word::symbol_of(&other)), Err::NotDone);
    }

    struct Row {
        const char* what;
        Cell first, second;
    } bad[] = {
        {"integer owner", int_cell(1), other},
        {"owner without a word", *owner, int_cell(2)},
    };
    for (const Row& r : bad) {
        test::StackScope inner;
        Cell* b = test::block_of({r.first, r.second});
        EXPECT_RAISES(series::modify(s, &field, b, false), Err::InvalidArg) << r.what;
    }
    Cell* short_spec = test::block_of({*owner});
    EXPECT_RAISES(series::modify(s, &field, short_spec, false), Err::InvalidArg);
    Cell n = int_cell(3);
    EXPECT_RAISES(series::modify(s, &field, &n, false), Err::InvalidArg);
    EXPECT_EQ(ownership::owner_of(s), nullptr);
}

}  // namespace
}  // namespace nuv
