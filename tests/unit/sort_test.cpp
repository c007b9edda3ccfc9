// The record sorts: agreement with std::stable_sort over input shapes and record widths,
// comparison counts, and what a raising or inconsistent comparator leaves behind.
#include "runtime/sort.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "tests/unit/support.h"

namespace nuv {
namespace {

using Bytes = std::vector<uint8_t>;
using SortFn = void (*)(void*, size_t, size_t, intptr_t, intptr_t, sort::CompareFn);

struct Sorter {
    const char* name;
    SortFn fn;
    bool stable;
};
const Sorter kSorters[] = {
    {"stable", sort::sort_records, true},
    {"unstable", sort::sort_records_unstable, false},
};

// What the test comparator counts and when it raises (0: never).
struct Probe {
    uint64_t comparisons = 0;
    uint64_t raise_at = 0;
};

// Records start with a big-endian key of `key_bytes` (context1); the rest is a payload that
// tells equal keys apart. context2 is a Probe.
int32_t compare_keys(const void* a, const void* b, intptr_t key_bytes, intptr_t probe) {
    auto* p = reinterpret_cast<Probe*>(probe);
    if (++p->comparisons == p->raise_at) fire(Err::InvalidCompare);
    return std::memcmp(a, b, static_cast<size_t>(key_bytes));
}

enum class Shape {
    Random, Sorted, Reversed, AllEqual, FewDistinct, MostlySorted, MostlyReversed,
    SortedThenRandom, RandomThenSorted, OrganPipe, Sawtooth,
};
const char* shape_name(Shape s) {
    static const char* const kNames[] = {
        "random", "sorted", "reversed", "all-equal", "few-distinct", "mostly-sorted",
        "mostly-reversed", "sorted-then-random", "random-then-sorted", "organ-pipe", "sawtooth",
    };
    return kNames[static_cast<int>(s)];
}
constexpr Shape kShapes[] = {
    Shape::Random, Shape::Sorted, Shape::Reversed, Shape::AllEqual, Shape::FewDistinct,
    Shape::MostlySorted, Shape::MostlyReversed, Shape::SortedThenRandom,
    Shape::RandomThenSorted, Shape::OrganPipe, Shape::Sawtooth,
};

// n values in [0, 2^32) with the given shape.
std::vector<uint32_t> shaped(Shape shape, size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> v(n);
    auto rising = [&](size_t i, size_t count) {
        return static_cast<uint32_t>((static_cast<uint64_t>(i) << 32) / std::max<size_t>(count, 1));
    };
    for (size_t i = 0; i < n; i++) {
        switch (shape) {
        case Shape::Random: v[i] = rng(); break;
        case Shape::Sorted:
        case Shape::MostlySorted: v[i] = rising(i, n); break;
        case Shape::Reversed:
        case Shape::MostlyReversed: v[i] = rising(n - 1 - i, n); break;
        case Shape::AllEqual: v[i] = 0x12345678; break;
        case Shape::FewDistinct: v[i] = (rng() % 4) << 30; break;
        case Shape::SortedThenRandom: v[i] = i < n * 3 / 4 ? rising(i, n) : rng(); break;
        case Shape::RandomThenSorted: v[i] = i < n / 4 ? rng() : rising(i, n); break;
        case Shape::OrganPipe: v[i] = rising(i < n / 2 ? i : n - 1 - i, n); break;
        case Shape::Sawtooth: v[i] = rising(i % 1000, 1000); break;
        }
    }
    if (shape == Shape::MostlySorted || shape == Shape::MostlyReversed)
        for (size_t s = 0; n > 1 && s < n / 100 + 1; s++) std::swap(v[rng() % n], v[rng() % n]);
    return v;
}

// Records of `width` bytes: the top `key_bytes` bytes of each value (big-endian), then the
// record's original index (big-endian, cut to the room left).
Bytes make_records(const std::vector<uint32_t>& values, size_t width, size_t key_bytes) {
    Bytes out(values.size() * width, 0);
    for (size_t i = 0; i < values.size(); i++) {
        uint8_t* r = out.data() + i * width;
        for (size_t b = 0; b < key_bytes; b++) r[b] = static_cast<uint8_t>(values[i] >> (24 - 8 * b));
        for (size_t b = key_bytes; b < width; b++) {
            const size_t shift = 8 * (width - 1 - b);  // bytes beyond the index's eight are 0
            r[b] = shift < 64 ? static_cast<uint8_t>(static_cast<uint64_t>(i) >> shift) : 0;
        }
    }
    return out;
}

// The reference: std::stable_sort on the keys.
Bytes reference_sort(const Bytes& records, size_t width, size_t key_bytes) {
    size_t n = records.size() / width;
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return std::memcmp(&records[a * width], &records[b * width], key_bytes) < 0;
    });
    Bytes out(records.size());
    for (size_t i = 0; i < n; i++) std::memcpy(&out[i * width], &records[order[i] * width], width);
    return out;
}

// The records as a multiset: sorted byte-wise whole.
std::vector<Bytes> as_multiset(const Bytes& records, size_t width) {
    std::vector<Bytes> set;
    for (size_t i = 0; i + width <= records.size(); i += width)
        set.emplace_back(records.begin() + i, records.begin() + i + width);
    std::sort(set.begin(), set.end());
    return set;
}

// Empty when `got` matches `want` on the first `compare_bytes` of each record, else the first
// differing record.
std::string first_difference(const Bytes& got, const Bytes& want, size_t width, size_t compare_bytes) {
    for (size_t i = 0; i < want.size(); i += width)
        if (std::memcmp(&got[i], &want[i], compare_bytes) != 0)
            return "record " + std::to_string(i / width) + " differs";
    return "";
}

struct Case {
    Shape shape;
    size_t count;
    size_t width;
    size_t key_bytes;
};
std::string describe(const Sorter& s, const Case& c) {
    return std::string(s.name) + " " + shape_name(c.shape) + " n=" + std::to_string(c.count) +
           " width=" + std::to_string(c.width) + " key=" + std::to_string(c.key_bytes);
}

// Sorts one case and compares it with the reference: exactly for the stable sort, by keys
// plus a permutation check for the unstable one.
void check_case(const Sorter& s, const Case& c) {
    Bytes input = make_records(shaped(c.shape, c.count, static_cast<uint32_t>(c.count * 31 + c.width)),
                               c.width, c.key_bytes);
    Bytes want = reference_sort(input, c.width, c.key_bytes);
    Bytes got = input;
    Probe probe;
    s.fn(got.data(), c.count, c.width, static_cast<intptr_t>(c.key_bytes),
         reinterpret_cast<intptr_t>(&probe), compare_keys);
    EXPECT_EQ(first_difference(got, want, c.width, s.stable ? c.width : c.key_bytes), "")
        << describe(s, c);
    if (!s.stable) {
        EXPECT_TRUE(as_multiset(got, c.width) == as_multiset(input, c.width)) << describe(s, c);
    }
}

TEST(Sort, BothSortsAgreeWithTheStandardStableSort) {
    const size_t kCounts[] = {0, 1, 2, 3, 7, 8, 9, 23, 24, 25, 64, 100, 511, 512, 600, 1000, 5000, 20000};
    // Widths: 3-byte records with a 1-byte key (many ties), 8-byte with a 4-byte key, 16-byte
    // (a cell) with a 2-byte key.
    const size_t kLayouts[][2] = {{3, 1}, {8, 4}, {16, 2}};
    for (const Sorter& s : kSorters)
        for (Shape shape : kShapes)
            for (const auto& layout : kLayouts)
                for (size_t n : kCounts) check_case(s, {shape, n, layout[0], layout[1]});
}

TEST(Sort, BothSortsAgreeWithTheStandardStableSortOnAHundredThousandRecords) {
    for (const Sorter& s : kSorters)
        for (Shape shape : kShapes) {
            check_case(s, {shape, 100000, 3, 1});
            check_case(s, {shape, 100000, 8, 4});
        }
}

int32_t compare_ints(const void* a, const void* b, intptr_t, intptr_t probe) {
    reinterpret_cast<Probe*>(probe)->comparisons++;
    int32_t x;
    int32_t y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return (x > y) - (x < y);
}

// A million integers: every shape takes O(n log n) comparisons, and ordered input O(n).
TEST(Sort, ScaleAMillionIntegersTakeNLogNComparisons) {
    const size_t n = 1000000;
    const double n_log_n = n * std::log2(static_cast<double>(n));
    struct Row {
        Shape shape;
        double limit;  // comparisons allowed
    } rows[] = {
        {Shape::Random, 1.3 * n_log_n},
        {Shape::FewDistinct, 1.3 * n_log_n},
        {Shape::MostlySorted, 1.3 * n_log_n},
        {Shape::MostlyReversed, 1.3 * n_log_n},
        {Shape::SortedThenRandom, 1.3 * n_log_n},
        {Shape::OrganPipe, 1.3 * n_log_n},
        {Shape::Sawtooth, 1.3 * n_log_n},
        {Shape::Sorted, 2.0 * n},
        {Shape::Reversed, 2.0 * n},
        {Shape::AllEqual, 2.0 * n},
    };
    for (const Sorter& s : kSorters)
        for (const Row& r : rows) {
            std::vector<uint32_t> v = shaped(r.shape, n, 7);
            std::vector<int32_t> data(n);
            for (size_t i = 0; i < n; i++) data[i] = static_cast<int32_t>(v[i] >> 1);
            Probe probe;
            s.fn(data.data(), n, 4, 0, reinterpret_cast<intptr_t>(&probe), compare_ints);
            EXPECT_TRUE(std::is_sorted(data.begin(), data.end())) << s.name << " " << shape_name(r.shape);
            EXPECT_LE(static_cast<double>(probe.comparisons), r.limit)
                << s.name << " " << shape_name(r.shape) << " made " << probe.comparisons;
        }
}

// An error raised by the comparator at any point, a merge included, unwinds with its id and
// leaves every record present exactly once.
TEST(Sort, ARaisingComparatorLeavesAPermutation) {
    const Case cases[] = {
        {Shape::Random, 10000, 8, 4},
        {Shape::FewDistinct, 3000, 3, 1},
        {Shape::MostlySorted, 10000, 16, 2},
    };
    for (const Sorter& s : kSorters)
        for (const Case& c : cases) {
            Bytes input = make_records(shaped(c.shape, c.count, 3), c.width, c.key_bytes);
            Bytes scratch = input;
            Probe full;
            s.fn(scratch.data(), c.count, c.width, static_cast<intptr_t>(c.key_bytes),
                 reinterpret_cast<intptr_t>(&full), compare_keys);
            const uint64_t total = full.comparisons;
            // The last comparison of a merge sort lies in its final merge.
            for (uint64_t at : {uint64_t{1}, total / 3, total / 2, total * 9 / 10, total}) {
                Bytes got = input;
                Probe probe;
                probe.raise_at = at;
                EXPECT_RAISES(s.fn(got.data(), c.count, c.width, static_cast<intptr_t>(c.key_bytes),
                                   reinterpret_cast<intptr_t>(&probe), compare_keys),
                              Err::InvalidCompare)
                    << describe(s, c) << " at " << at;
                EXPECT_TRUE(as_multiset(got, c.width) == as_multiset(input, c.width))
                    << describe(s, c) << " raised at comparison " << at << " of " << total;
            }
        }
}

// A comparator that answers at random: every record the sort touches lies inside the range
// (guard records around it are never compared nor written), and the result is a permutation.
struct Chaos {
    std::mt19937 rng;
    const uint8_t* guard_low;   // [guard_low, range) and [range_end, guard_high) are guards
    const uint8_t* range;
    const uint8_t* range_end;
    const uint8_t* guard_high;
    bool strayed = false;
};

int32_t compare_chaos(const void* a, const void* b, intptr_t, intptr_t context) {
    auto* c = reinterpret_cast<Chaos*>(context);
    for (const void* p : {a, b}) {
        auto* q = static_cast<const uint8_t*>(p);
        if ((q >= c->guard_low && q < c->range) || (q >= c->range_end && q < c->guard_high))
            c->strayed = true;
    }
    return static_cast<int32_t>(c->rng() % 3) - 1;
}

TEST(Sort, AnInconsistentComparatorStaysInsideTheRange) {
    const size_t kGuard = 64;
    const size_t kCounts[] = {2, 5, 8, 24, 25, 100, 512, 513, 3000, 20000};
    for (const Sorter& s : kSorters)
        for (size_t width : {size_t{3}, size_t{4}, size_t{16}})
            for (size_t n : kCounts)
                for (uint32_t seed = 1; seed <= 3; seed++) {
                    std::string what = std::string(s.name) + " n=" + std::to_string(n) +
                                       " width=" + std::to_string(width) + " seed=" + std::to_string(seed);
                    std::vector<uint32_t> values = shaped(Shape::Random, n + 2 * kGuard, seed);
                    Bytes all = make_records(values, width, std::min<size_t>(width, 2));
                    std::fill(all.begin(), all.begin() + kGuard * width, 0xEE);
                    std::fill(all.end() - kGuard * width, all.end(), 0xEE);
                    const Bytes before = all;
                    uint8_t* range = all.data() + kGuard * width;
                    Chaos chaos{std::mt19937(seed), all.data(), range, range + n * width,
                                all.data() + all.size()};
                    s.fn(range, n, width, 0, reinterpret_cast<intptr_t>(&chaos), compare_chaos);
                    EXPECT_FALSE(chaos.strayed) << what;
                    EXPECT_TRUE(std::equal(all.begin(), all.begin() + kGuard * width, before.begin())) << what;
                    EXPECT_TRUE(std::equal(all.end() - kGuard * width, all.end(), before.end() - kGuard * width))
                        << what;
                    EXPECT_TRUE(as_multiset(all, width) == as_multiset(before, width)) << what;
                }
}

// The merge buffer's size is checked before anything is read or allocated.
TEST(Sort, AMergeBufferBeyondThirtyTwoBitsRaisesTooLong) {
    uint8_t dummy[16] = {};
    Probe probe;
    EXPECT_RAISES(sort::sort_records(dummy, size_t{1} << 33, 1, 1, reinterpret_cast<intptr_t>(&probe),
                                     compare_keys),
                  Err::TooLong);
    EXPECT_EQ(probe.comparisons, 0u);
}

TEST(Sort, SwapRecordsByWordsOrBytes) {
    struct Row {
        size_t width;
        bool bytewise;
    } rows[] = {{4, false}, {16, false}, {3, true}, {5, true}, {8, true}, {6, false}};
    for (const Row& r : rows) {
        Bytes a(r.width), b(r.width);
        std::iota(a.begin(), a.end(), 1);
        std::iota(b.begin(), b.end(), 101);
        Bytes a0 = a, b0 = b;
        sort::swap_records(a.data(), b.data(), r.width, r.bytewise);
        EXPECT_EQ(a, b0) << "width " << r.width << " bytewise " << r.bytewise;
        EXPECT_EQ(b, a0) << "width " << r.width << " bytewise " << r.bytewise;
    }
}

}  // namespace
}  // namespace nuv
