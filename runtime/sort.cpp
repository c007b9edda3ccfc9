// The two record sorts. Every cursor is bounded by the range it walks, never by what the
// comparator answered before, so an inconsistent comparator yields some permutation and nothing
// worse. Records move by swaps, except in a merge, whose buffered records are written back
// into the gap by a guard on every exit, unwinding included.
#include "runtime/sort.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "runtime/errors.h"
#include "runtime/memory.h"

namespace nuv::sort {

namespace {

// Runs shorter than this are extended by insertion before merging.
constexpr size_t kMinRun = 24;
// Ranges of at most this many records are finished by insertion.
constexpr size_t kInsertionMax = 7;
// Without a usable ordered block, a range above kBigRange first sorts a scope of kFirstScope
// records, whose order then seeds the pivots of ever larger scopes (each 16 times the last).
constexpr size_t kBigRange = 511;
constexpr size_t kFirstScope = 63;
constexpr size_t kScopeGrowth = 16;
constexpr size_t kSampleDivisor = 256;
// The presortedness probe: one adjacent pair in kProbeStride is sampled, and the block pass
// steps kBlockStep records at a time looking for ordered stretches of kMinStretch or more.
constexpr size_t kProbeStride = 97;
constexpr size_t kOrderedDivisor = 512;
constexpr size_t kBlockStep = 10;
constexpr size_t kMinStretch = 4;

struct Records {
    uint8_t* base;
    size_t width;
    bool bytewise;
    intptr_t context1;
    intptr_t context2;
    CompareFn compare;

    uint8_t* at(size_t i) const { return base + i * width; }
    int32_t cmp(size_t i, size_t j) const { return compare(at(i), at(j), context1, context2); }
    int32_t cmp_ptr(const void* a, const void* b) const {
        return compare(a, b, context1, context2);
    }
    void swap(size_t i, size_t j) const { swap_records(at(i), at(j), width, bytewise); }
    void copy(uint8_t* to, const uint8_t* from, size_t count) const {
        std::memcpy(to, from, count * width);
    }
    // The records from index i on, as a range of their own.
    Records from(size_t i) const {
        Records r = *this;
        r.base = at(i);
        return r;
    }
    void reverse(size_t lo, size_t hi) const {
        while (lo + 1 < hi) swap(lo++, --hi);
    }
    // Brings [mid, hi) before [lo, mid), keeping the order inside each.
    void rotate(size_t lo, size_t mid, size_t hi) const {
        reverse(lo, mid);
        reverse(mid, hi);
        reverse(lo, hi);
    }
    // Moves `count` records from `source` to `target`, keeping their order; the records they
    // displace land somewhere in the vacated places (in any order).
    void move_block(size_t source, size_t count, size_t target) const {
        if (source == target || count == 0) return;
        if (source + count <= target || target + count <= source) {
            for (size_t i = 0; i < count; i++) swap(source + i, target + i);
        } else if (target < source) {
            rotate(target, source, source + count);
        } else {
            rotate(source, source + count, target + count);
        }
    }
};

// "In order" for a direction: +1 ascending, -1 descending.
bool in_order(int32_t c, int dir) { return dir > 0 ? c <= 0 : c >= 0; }

// ---- Stable sort ----

// The merge buffer, tracked for the duration of one sort.
struct Scratch {
    uint8_t* bytes;
    explicit Scratch(size_t size) : bytes(static_cast<uint8_t*>(memory::tracked_alloc(size))) {}
    ~Scratch() { memory::tracked_free(bytes); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};

// Writes the `count` buffered records still pending into the gap at `gap`, however the merge
// ends: the gap is always exactly as long as what the buffer still holds.
struct PendingCopy {
    const Records& r;
    const uint8_t* const& pending;
    const size_t& count;
    const size_t& gap;
    ~PendingCopy() { r.copy(r.at(gap), pending, count); }
};

// The natural run starting at `start`: a strictly descending run is reversed, so equal records
// never change order; a short run is extended by insertion. Returns its end.
size_t next_run(const Records& r, size_t start, size_t n) {
    size_t end = start + 1;
    if (end == n) return end;
    if (r.cmp(start, end) > 0) {
        for (end++; end < n && r.cmp(end - 1, end) > 0; end++) {}
        r.reverse(start, end);
    } else {
        for (end++; end < n && r.cmp(end - 1, end) <= 0; end++) {}
    }
    size_t want = std::min(n, start + kMinRun);
    for (; end < want; end++)
        for (size_t j = end; j > start && r.cmp(j - 1, j) > 0; j--) r.swap(j - 1, j);
    return end;
}

// The merge power of the boundary between runs [l, m) and [m, r) of n records: the depth of
// the first level of binary subdivision of [0, n) that separates the two runs' midpoints.
int merge_power(size_t l, size_t m, size_t r, size_t n) {
    size_t a = l + m;
    size_t b = m + r;
    int power = 0;
    while ((a < n) == (b < n)) {
        power++;
        if (a >= n) {
            a -= n;
            b -= n;
        }
        a <<= 1;
        b <<= 1;
    }
    return power + 1;
}

// Merges the adjacent runs [lo, mid) and [mid, hi), buffering the shorter one (the left on a
// tie). Equal records keep their order in both directions.
void merge_runs(const Records& r, uint8_t* buffer, size_t lo, size_t mid, size_t hi) {
    size_t left = mid - lo;
    size_t right = hi - mid;
    size_t w = r.width;
    if (left <= right) {
        r.copy(buffer, r.at(lo), left);
        const uint8_t* pending = buffer;  // next buffered record
        size_t count = left;              // buffered records still pending
        size_t out = lo;                  // the gap: [out, next)
        size_t next = mid;
        PendingCopy flush{r, pending, count, out};
        while (count > 0 && next < hi) {
            if (r.cmp_ptr(pending, r.at(next)) <= 0) {
                r.copy(r.at(out), pending, 1);
                pending += w;
                count--;
            } else {
                r.copy(r.at(out), r.at(next), 1);
                next++;
            }
            out++;
        }
    } else {
        r.copy(buffer, r.at(mid), right);
        const uint8_t* pending = buffer;  // buffered records [0, count) are still pending
        size_t count = right;
        size_t left_end = mid;  // the gap: [left_end, out_end)
        size_t out_end = hi;
        PendingCopy flush{r, pending, count, left_end};
        while (count > 0 && left_end > lo) {
            const uint8_t* last = buffer + (count - 1) * w;
            if (r.cmp_ptr(r.at(left_end - 1), last) <= 0) {
                r.copy(r.at(out_end - 1), last, 1);
                count--;
            } else {
                r.copy(r.at(out_end - 1), r.at(left_end - 1), 1);
                left_end--;
            }
            out_end--;
        }
    }
}

// ---- Unstable sort ----

// Sorts R[0, n) where R[0, k) (k > 0) or R[n + k, n) (k < 0) is already in order.
void quicksort_records(Records r, ptrdiff_t k, size_t n) {
    while (n > kInsertionMax) {
        size_t h = static_cast<size_t>(k < 0 ? -k : k);
        if (h >= n) return;
        size_t m = n;       // the scope: the records this round partitions
        size_t pivot;       // its records before it are ordered and not greater
        size_t upper;       // ordered records, not less than the pivot, ending the scope
        if (h < 3) {
            if (n > kBigRange) m = kFirstScope;
            r.swap(1, m / 2);
            if (r.cmp(0, 1) > 0) r.swap(0, 1);
            if (r.cmp(1, m - 1) > 0) {
                r.swap(1, m - 1);
                if (r.cmp(0, 1) > 0) r.swap(0, 1);
            }
            pivot = 1;
            upper = 1;
        } else {
            if (h <= n / kSampleDivisor) m = kScopeGrowth * h - 1;
            if (k < 0 && m < n) {
                r.move_block(n - h, h, 0);
                k = static_cast<ptrdiff_t>(h);
            }
            if (k < 0) {
                size_t low = (h + 1) / 2;
                r.move_block(n - h, low, 0);
                pivot = low - 1;
                upper = h / 2;
            } else {
                if (m < n) {
                    // An evenly spread sample of the whole range joins the prefix in the scope.
                    size_t stride = n / m;
                    for (size_t j = 0; h + j < m; j++) r.swap(h + j, std::min(h + j * stride, n - 1));
                }
                upper = h / 2;
                r.move_block(h - upper, upper, m - upper);
                pivot = (h - 1) / 2;
            }
        }

        // Three-way partition of [pivot + 1, m - upper): equal records gather just after the
        // pivot in [pivot + 1, equal_end), lesser ones follow up to i, greater ones start at j.
        const uint8_t* p = r.at(pivot);
        size_t equal_end = pivot + 1;
        size_t i = pivot + 1;
        size_t j = m - upper;
        for (;;) {
            while (i < j) {
                int32_t c = r.cmp_ptr(r.at(i), p);
                if (c > 0) break;
                if (c == 0) r.swap(i, equal_end++);
                i++;
            }
            if (i == j) break;
            int32_t c = 1;
            while (j - 1 > i && (c = r.cmp_ptr(r.at(j - 1), p)) > 0) j--;
            if (j - 1 == i) {
                j = i;
                break;
            }
            r.swap(i, --j);
            if (c == 0) r.swap(i, equal_end++);
            i++;
        }
        // The pivot and its equals go to the end of the lesser part.
        size_t equals = equal_end - pivot;
        size_t lesser = i - equal_end;
        size_t moved = std::min(equals, lesser);
        for (size_t s = 0; s < moved; s++) r.swap(pivot + s, i - moved + s);
        size_t less_end = pivot + lesser;  // [0, less_end), its first `pivot` records ordered

        if (m - i > upper) quicksort_records(r.from(i), -static_cast<ptrdiff_t>(upper), m - i);
        if (m < n) {
            if (less_end > pivot) quicksort_records(r, static_cast<ptrdiff_t>(pivot), less_end);
            k = static_cast<ptrdiff_t>(m);
            continue;
        }
        if (less_end <= pivot) return;
        k = static_cast<ptrdiff_t>(pivot);
        n = less_end;
    }
    for (size_t e = 1; e < n; e++)
        for (size_t j = e; j > 0 && r.cmp(j - 1, j) > 0; j--) r.swap(j - 1, j);
}

// Grows the ordered prefix [0, prefix) by gathering the ordered stretches found every
// kBlockStep records behind it. A stretch that does not continue the prefix trades records
// with it until the two fit together, or is left where it is.
void grow_prefix(const Records& r, size_t n, int dir, size_t& prefix) {
    size_t hi = prefix == 0 ? 0 : prefix - 1;
    for (;;) {
        hi += kBlockStep;
        if (hi >= n) return;
        size_t lo = hi - 1;
        size_t floor = prefix == 0 ? 0 : prefix - 1;
        while (hi < n && in_order(r.cmp(hi - 1, hi), dir)) hi++;
        while (lo > floor && in_order(r.cmp(lo - 1, lo), dir)) lo--;
        if (hi - lo < kMinStretch) continue;
        if (lo == floor) {
            prefix = hi;
            continue;
        }
        size_t give = 0;
        if (prefix > 0) {
            size_t limit = std::min((hi - lo) / 2, (prefix - 1) / 4);
            while (give < limit && !in_order(r.cmp(prefix - 1 - give, lo + give), dir)) give++;
            if (give == limit) continue;
        }
        prefix -= give;
        for (size_t s = lo + give; s < hi; s++) r.swap(prefix++, s);
    }
}

}  // namespace

void swap_records(void* a, void* b, size_t width, bool bytewise) {
    auto* p = static_cast<uint8_t*>(a);
    auto* q = static_cast<uint8_t*>(b);
    if (!bytewise && width % 4 == 0) {
        for (size_t i = 0; i < width; i += 4) {
            uint32_t x;
            uint32_t y;
            std::memcpy(&x, p + i, 4);
            std::memcpy(&y, q + i, 4);
            std::memcpy(p + i, &y, 4);
            std::memcpy(q + i, &x, 4);
        }
        return;
    }
    for (size_t i = 0; i < width; i++) std::swap(p[i], q[i]);
}

void sort_records(void* base, size_t count, size_t width, intptr_t context1, intptr_t context2,
                  CompareFn compare) {
    if (count < 2 || width == 0) return;
    size_t bytes;
    if (__builtin_mul_overflow(count / 2, width, &bytes) || bytes > UINT32_MAX) fire(Err::TooLong);
    Scratch scratch(bytes);
    Records r{static_cast<uint8_t*>(base), width, width % 4 != 0, context1, context2, compare};

    // Pending runs, each with the merge power of the boundary at its end. Powers rise strictly
    // from the bottom and never exceed the bit length of count plus one; entry 0 is a sentinel.
    struct Pending {
        size_t start;
        int power;
    };
    Pending runs[2 + 8 * sizeof(size_t)] = {};
    int top = 0;

    size_t a_start = 0;
    size_t a_end = next_run(r, 0, count);
    while (a_end < count) {
        size_t b_end = next_run(r, a_end, count);
        int power = merge_power(a_start, a_end, b_end, count);
        while (top > 0 && runs[top].power > power) {
            merge_runs(r, scratch.bytes, runs[top].start, a_start, a_end);
            a_start = runs[top--].start;
        }
        runs[++top] = {a_start, power};
        a_start = a_end;
        a_end = b_end;
    }
    for (; top > 0; top--) {
        merge_runs(r, scratch.bytes, runs[top].start, a_start, a_end);
        a_start = runs[top].start;
    }
}

void sort_records_unstable(void* base, size_t count, size_t width, intptr_t context1,
                           intptr_t context2, CompareFn compare) {
    if (count < 2 || width == 0) return;
    Records r{static_cast<uint8_t*>(base), width, width % 4 != 0, context1, context2, compare};
    size_t n = count;

    // The leading run: its direction is fixed by the first pair that is not equal.
    size_t i = 1;
    int32_t c = 0;
    while (i < n && (c = r.cmp(i - 1, i)) == 0) i++;
    if (i == n) return;
    int dir = c < 0 ? 1 : -1;
    for (i++; i < n && in_order(r.cmp(i - 1, i), dir); i++) {}
    size_t prefix = i;

    // Sampled trend beyond the run: a clearly ordered input grows its prefix block by block.
    if (i < n) {
        int64_t score = dir * static_cast<int64_t>(i);
        for (size_t j = i + 1; j < n; j += kProbeStride) {
            int32_t s = r.cmp(j - 1, j);
            score += (s < 0) - (s > 0);
        }
        if (static_cast<uint64_t>(score < 0 ? -score : score) > n / kOrderedDivisor) {
            if (dir * score < 0) {
                dir = -dir;
                prefix = 0;
            }
            grow_prefix(r, n, dir, prefix);
        }
    }
    if (dir < 0) r.reverse(0, prefix);
    if (prefix < n) quicksort_records(r, static_cast<ptrdiff_t>(prefix), n);
}

std::vector<int32_t> order_records(size_t count, bool stable, intptr_t context, CompareFn compare) {
    std::vector<int32_t> order(count);
    for (size_t r = 0; r < count; r++) order[r] = static_cast<int32_t>(r);
    const auto engine = stable ? sort_records : sort_records_unstable;
    engine(order.data(), order.size(), sizeof(int32_t), context, 0, compare);
    return order;
}

}  // namespace nuv::sort
