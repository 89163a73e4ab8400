// libFuzzer target: arbitrary bytes as a short sequence of 10x10 arrays of
// values 0-9, each listed by the three transversal listings and, where it has
// enough transversals, searched for a mate by every mate search.  The
// dancing-links listing and mate search are the references; any disagreement
// aborts with a message, which the fuzzer reports with the input.
//
// Input layout.  Byte 0 chooses the first array:
//   even: raw, the next 100 bytes modulo 10 (missing bytes read as 0);
//   odd:  a known diagonal Latin square (bit 1 picks which), with its symbols
//         renamed by the order of the next 10 bytes, rows and columns permuted
//         together by a permutation that keeps both diagonals (the next two
//         bytes: the order of the five pairs {i, 9 - i} and which pairs are
//         flipped), and transposed when bit 5 of the second of them is set;
//         the result is again a diagonal Latin square.
// Every further step edits the previous array, so the row-reusing listing
// sees both rows it has kept and rows that changed, over sequences long enough
// for its rows 0-5 table to grow through many changes of row 5.  A step is an op byte and
// its operands; op modulo 4:
//   0: set 1 + (op >> 2) % 4 cells, two bytes each: cell (mod 100), value (mod 10);
//   1: rewrite row (op >> 2) % 10 from the next 10 bytes (mod 10); when
//      op >> 2 is 30 or more, copy that row instead from the array that came
//      1 + (next byte) % 8 steps before (a row back to an earlier filling);
//   2: swap the symbols (b % 10) and (b / 10 % 10) of the next byte b in rows
//      (op >> 2) % 10 to 9 (from row 0 it keeps a diagonal Latin square one);
//   3: swap rows (b % 10) and (b / 10 % 10); with bit 2 of op set the kept
//      rows of the row-reusing listing are dropped first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dlx/bitset_mate.h"
#include "dlx/core.h"
#include "reference/half_transversals.h"
#include "dlx/mate.h"
#include "dlx/reused_transversals.h"
#include "dlx/transversals.h"
#include "generator/square.h"

namespace {

// At most this many arrays per input.
constexpr int max_arrays_per_input = 24;

// The arrays of the current input, the last one at (count - 1) % 8.
constexpr int kept_arrays = 8;
Square earlier_arrays[kept_arrays];
int array_count;

// The dancing-links listing and mate searches run only on arrays with at most
// this many transversals: beyond it they take too long for a fuzzer's input.
constexpr std::int32_t reference_limit = 3000;

// The covers of the two exhaustive mate searches are compared as sets when
// there are at most this many.
constexpr int max_kept_covers = 64;

// Two diagonal Latin squares of order 10 that have orthogonal diagonal mates:
// tests/data/self-orthogonal-10.txt and tests/data/sample-square.txt.
constexpr Square known_squares[2] = {
    {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 5, 2, 0, 9, 7, 8, 1, 4, 6, 3, 9, 5, 7, 1, 8, 6, 4, 3, 0, 2,
      7, 8, 6, 4, 9, 2, 5, 1, 3, 0, 8, 9, 5, 0, 3, 4, 2, 6, 7, 1, 3, 6, 9, 5, 2, 1, 7, 0, 4, 8,
      4, 3, 1, 7, 6, 0, 8, 2, 9, 5, 6, 7, 8, 2, 5, 3, 0, 9, 1, 4, 2, 0, 4, 6, 1, 9, 3, 8, 5, 7,
      1, 4, 3, 8, 0, 7, 9, 5, 2, 6}},
    {{0, 6, 5, 7, 3, 4, 8, 2, 9, 1, 4, 1, 0, 9, 6, 7, 3, 5, 2, 8, 8, 4, 2, 5, 1, 3, 9, 0, 6, 7,
      5, 8, 6, 3, 9, 2, 4, 1, 7, 0, 7, 9, 8, 2, 4, 6, 1, 3, 0, 5, 9, 2, 4, 1, 7, 5, 0, 8, 3, 6,
      2, 0, 7, 8, 5, 1, 6, 9, 4, 3, 6, 3, 9, 4, 8, 0, 5, 7, 1, 2, 1, 5, 3, 0, 2, 9, 7, 6, 8, 4,
      3, 7, 1, 6, 0, 8, 2, 4, 5, 9}},
};

// The records of one listing, in its own order and sorted.
struct ListedRecords {
    std::int32_t count;
    Transversal in_order[max_transversals];
    Transversal sorted[max_transversals];
};

ListedRecords by_halves;
ListedRecords reusing_rows;
ListedRecords by_dancing_links;

// The covers one exhaustive mate search met: how many, and the first
// max_kept_covers of them, each as its ten indices in increasing order.
struct MateCovers {
    std::int64_t count;
    std::int32_t kept[max_kept_covers][10];
};

MateCovers bitset_covers;
MateCovers dancing_links_covers;

// The transversal count of the array the cover checks run on.
std::int32_t current_count;

// Reads the input byte by byte; past its end every byte reads as 0.
struct ByteReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t next;
};

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "disagreement: %s\n", what);
        std::abort();
    }
}

static inline bool at_end(const ByteReader& in)
{
    return in.next >= in.size;
}

static inline std::uint8_t take_byte(ByteReader& in)
{
    return at_end(in) ? 0 : in.data[in.next++];
}

static inline bool record_less(const Transversal& a, const Transversal& b)
{
    return std::lexicographical_compare(a.columns, a.columns + 10, b.columns, b.columns + 10);
}

static inline bool records_equal(const Transversal* a, const Transversal* b, std::int32_t count)
{
    return std::memcmp(a, b, sizeof(Transversal) * static_cast<std::size_t>(count)) == 0;
}

// The permutation that sorts ten keys, ties by position: a permutation of 0-9
// from any ten bytes.
static inline void order_keys(const std::uint8_t* keys, int* permutation)
{
    for (int i = 0; i < 10; ++i)
        permutation[i] = i;
    std::stable_sort(permutation, permutation + 10, [keys](int a, int b) { return keys[a] < keys[b]; });
}

Square read_first_array(ByteReader& in)
{
    const std::uint8_t kind = take_byte(in);
    Square square{};
    if ((kind & 1) == 0) {
        for (int n = 0; n < 100; ++n)
            square.cells[n] = take_byte(in) % 10;
        return square;
    }
    const Square& base = known_squares[(kind >> 1) & 1];
    std::uint8_t keys[10];
    for (int i = 0; i < 10; ++i)
        keys[i] = take_byte(in);
    int symbol_map[10];
    order_keys(keys, symbol_map);

    // Pair j of the five pairs {i, 9 - i} goes to pair pair_order[j], flipped
    // when its bit is set: a permutation p with p(9 - i) = 9 - p(i).
    int pair_order[5] = {0, 1, 2, 3, 4};
    int rank = take_byte(in) % 120;
    for (int j = 0; j < 5; ++j) {
        const int pick = j + rank % (5 - j);
        rank /= 5 - j;
        std::swap(pair_order[j], pair_order[pick]);
    }
    const std::uint8_t flips = take_byte(in);
    int p[10];
    for (int j = 0; j < 5; ++j) {
        const bool flipped = (flips >> j) & 1;
        p[j] = flipped ? 9 - pair_order[j] : pair_order[j];
        p[9 - j] = 9 - p[j];
    }
    const bool transposed = (flips >> 5) & 1;
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 10; ++c) {
            const std::uint8_t v = base.cells[10 * r + c];
            const int target = transposed ? 10 * p[c] + p[r] : 10 * p[r] + p[c];
            square.cells[target] = static_cast<std::uint8_t>(symbol_map[v]);
        }
    return square;
}

void apply_edit(ByteReader& in, Square& square)
{
    const std::uint8_t op = take_byte(in);
    const int argument = op >> 2;
    switch (op % 4) {
    case 0:
        for (int k = 0; k < 1 + argument % 4; ++k) {
            const int cell = take_byte(in) % 100;
            square.cells[cell] = take_byte(in) % 10;
        }
        break;
    case 1: {
        std::uint8_t* const row = square.cells + 10 * (argument % 10);
        if (argument >= 30) {
            const int back = 1 + take_byte(in) % kept_arrays;
            if (back <= array_count) {
                const Square& earlier = earlier_arrays[(array_count - back) % kept_arrays];
                std::memcpy(row, earlier.cells + 10 * (argument % 10), 10);
            }
            break;
        }
        for (int c = 0; c < 10; ++c)
            row[c] = take_byte(in) % 10;
        break;
    }
    case 2: {
        const std::uint8_t b = take_byte(in);
        const std::uint8_t s = b % 10;
        const std::uint8_t t = b / 10 % 10;
        for (int n = 10 * (argument % 10); n < 100; ++n) {
            if (square.cells[n] == s)
                square.cells[n] = t;
            else if (square.cells[n] == t)
                square.cells[n] = s;
        }
        break;
    }
    default: {
        const std::uint8_t b = take_byte(in);
        std::uint8_t* const a = square.cells + 10 * (b % 10);
        std::uint8_t* const z = square.cells + 10 * (b / 10 % 10);
        std::swap_ranges(a, a + 10, z);
        if (argument & 1)
            forget_kept_rows();
        break;
    }
    }
}

// A record of the square's: ten cells, one per row and per column, ten
// different values, exactly one on each diagonal.
bool is_diagonal_transversal(const Square& square, const Transversal& t)
{
    unsigned columns = 0;
    unsigned values = 0;
    int on_main = 0;
    int on_anti = 0;
    for (int r = 0; r < 10; ++r) {
        const int c = t.columns[r];
        if (c > 9)
            return false;
        columns |= 1u << c;
        values |= 1u << square.cells[10 * r + c];
        on_main += c == r;
        on_anti += c == 9 - r;
    }
    return columns == 0x3FF && values == 0x3FF && on_main == 1 && on_anti == 1;
}

// Copies the store's records of a listing that returned count, checks each one
// and that none repeats, and sorts them.
void keep_listing(const Square& square, std::int32_t count, ListedRecords& listed)
{
    require(count >= 0, "a listing returned a negative count");
    listed.count = count;
    if (count > max_transversals)
        return;
    std::memcpy(listed.in_order, transversal_store, sizeof(Transversal) * static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i)
        require(is_diagonal_transversal(square, listed.in_order[i]), "a listed record is no diagonal transversal");
    std::memcpy(listed.sorted, listed.in_order, sizeof(Transversal) * static_cast<std::size_t>(count));
    std::sort(listed.sorted, listed.sorted + count, record_less);
    for (std::int32_t i = 1; i < count; ++i)
        require(record_less(listed.sorted[i - 1], listed.sorted[i]), "a listing stored a record twice");
}

void require_same_listing(const ListedRecords& a, const ListedRecords& b, const char* count_message,
                          const char* records_message)
{
    require(a.count == b.count, count_message);
    if (a.count <= max_transversals)
        require(records_equal(a.sorted, b.sorted, a.count), records_message);
}

// Checks that a cover's ten indices name records in range that share no cell,
// and keeps it, its indices sorted, among the first max_kept_covers.
void note_cover(MateCovers& covers, const std::int32_t* indices)
{
    bool covered[100] = {};
    std::int32_t sorted[10];
    for (int k = 0; k < 10; ++k) {
        const std::int32_t i = indices[k];
        require(i >= 0 && i < current_count, "a mate cover names a record out of range");
        const Transversal& t = transversal_store[i];
        for (int r = 0; r < 10; ++r) {
            const int cell = 10 * r + t.columns[r];
            require(!covered[cell], "a mate cover holds two records through one cell");
            covered[cell] = true;
        }
        sorted[k] = i;
    }
    if (covers.count < max_kept_covers) {
        std::sort(sorted, sorted + 10);
        std::memcpy(covers.kept[covers.count], sorted, sizeof sorted);
    }
    ++covers.count;
}

void visit_bitset_cover(const std::int32_t* transversal_indices, void* context)
{
    note_cover(*static_cast<MateCovers*>(context), transversal_indices);
}

// Every cover of the dancing-links mate matrix, by running the search to
// exhaustion.
void count_dancing_links_covers(std::int32_t count)
{
    build_mate_matrix(count);
    dancing_links_covers.count = 0;
    run_exact_cover([] {
        std::int32_t indices[10];
        for (int k = 0; k < search_depth; ++k)
            indices[k] = solution_stack[k]->tag >> 7;
        note_cover(dancing_links_covers, indices);
        return false;
    });
}

static inline bool cover_less(const std::int32_t* a, const std::int32_t* b)
{
    return std::lexicographical_compare(a, a + 10, b, b + 10);
}

void sort_kept_covers(MateCovers& covers)
{
    const int kept = static_cast<int>(std::min<std::int64_t>(covers.count, max_kept_covers));
    int order[max_kept_covers];
    for (int i = 0; i < kept; ++i)
        order[i] = i;
    std::sort(order, order + kept, [&covers](int a, int b) { return cover_less(covers.kept[a], covers.kept[b]); });
    std::int32_t sorted[max_kept_covers][10];
    for (int i = 0; i < kept; ++i)
        std::memcpy(sorted[i], covers.kept[order[i]], sizeof sorted[i]);
    std::memcpy(covers.kept, sorted, sizeof(sorted[0]) * static_cast<std::size_t>(kept));
}

// The mate searches over the records of one listing, in that listing's order.
void check_mate_searches(const ListedRecords& order, bool with_references)
{
    const std::int32_t count = order.count;
    std::memcpy(transversal_store, order.in_order, sizeof(Transversal) * static_cast<std::size_t>(count));
    current_count = count;

    const bool baseline = find_mate_by_bitsets_baseline(count);
    if (cpu_has_popcnt())
        require(find_mate_by_bitsets_popcnt(count) == baseline, "popcnt bitset search differs from the baseline");
    require(find_mate_by_bitsets(count) == baseline, "find_mate_by_bitsets differs from the baseline");

    bitset_covers.count = 0;
    const std::int64_t visited = for_each_mate_cover_by_bitsets(count, visit_bitset_cover, &bitset_covers);
    require(visited == bitset_covers.count, "for_each_mate_cover_by_bitsets returned another number than it visited");
    require((visited > 0) == baseline, "for_each_mate_cover_by_bitsets finds a cover against the answer");
    require(records_equal(transversal_store, order.in_order, count), "a bitset mate search changed the store");

    if (!with_references)
        return;
    build_mate_matrix(count);
    require(find_mate_cover() == baseline, "bitset mate search differs from the dancing-links search");
    count_dancing_links_covers(count);
    require(dancing_links_covers.count == bitset_covers.count,
            "for_each_mate_cover_by_bitsets and the dancing-links search count different covers");
    if (visited <= max_kept_covers) {
        sort_kept_covers(bitset_covers);
        sort_kept_covers(dancing_links_covers);
        require(std::memcmp(bitset_covers.kept, dancing_links_covers.kept,
                            sizeof(bitset_covers.kept[0]) * static_cast<std::size_t>(visited)) == 0,
                "for_each_mate_cover_by_bitsets and the dancing-links search find different covers");
    }
}

void check_array(const Square& square, std::uint8_t order_choice)
{
    keep_listing(square, enumerate_transversals_by_halves(square), by_halves);
    keep_listing(square, enumerate_transversals_reusing_rows(square), reusing_rows);
    require_same_listing(by_halves, reusing_rows, "row-reusing listing counts differently from the halves listing",
                         "row-reusing listing stores other records than the halves listing");

    const bool with_references = by_halves.count <= reference_limit;
    if (with_references) {
        keep_listing(square, enumerate_diagonal_transversals(square), by_dancing_links);
        require_same_listing(by_dancing_links, by_halves,
                             "halves listing counts differently from the dancing-links listing",
                             "halves listing stores other records than the dancing-links listing");
    }

    const std::int32_t count = by_halves.count;
    if (count < 10 || count > max_transversals)
        return;
    // The answer must not depend on the order of the records: search them in
    // the order one of the listings found them, or sorted.
    ListedRecords* const orders[3] = {&by_halves, &reusing_rows, with_references ? &by_dancing_links : &by_halves};
    ListedRecords& chosen = *orders[order_choice % 3];
    if (order_choice & 0x80)
        std::memcpy(chosen.in_order, chosen.sorted, sizeof(Transversal) * static_cast<std::size_t>(count));
    check_mate_searches(chosen, with_references);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every input starts from nothing kept.
    forget_kept_rows();
    ByteReader in{data, size, 0};
    Square square = read_first_array(in);
    std::uint8_t order_choice = static_cast<std::uint8_t>(size);
    array_count = 0;
    check_array(square, order_choice);
    earlier_arrays[array_count++ % kept_arrays] = square;
    for (int n = 1; n < max_arrays_per_input && !at_end(in); ++n) {
        order_choice = static_cast<std::uint8_t>(order_choice * 5 + in.next);
        apply_edit(in, square);
        check_array(square, order_choice);
        earlier_arrays[array_count++ % kept_arrays] = square;
    }
    return 0;
}
