// The mate search over bitsets against the dancing-links mate search, which stays
// the reference: the same answer on generated squares of every space, on the
// images of an orthogonal pair, and on stores built to probe the edges (word
// boundaries, a full store, stale records of a larger call); and the same covers
// when every one of them is listed.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <fstream>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "dlx/bitset_mate.h"
#include "dlx/core.h"
#include "reference/half_transversals.h"
#include "dlx/mate.h"
#include "dlx/transversals.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "reference/mate_reference.h"
#include "support.h"

namespace {

using Cover = std::array<std::int32_t, 10>; // transversal indices, increasing

#ifdef DLSMATE_SANITIZE_BUILD
constexpr int scale = 20; // the listings are slow under the sanitizers
#else
constexpr int scale = 1;
#endif

void store_records(const std::vector<Record>& records)
{
    ASSERT_LE(records.size(), static_cast<std::size_t>(max_transversals));
    for (std::size_t i = 0; i < records.size(); ++i)
        std::copy(records[i].begin(), records[i].end(), transversal_store[i].columns);
}

bool mate_by_dancing_links(std::int32_t count)
{
    build_mate_matrix(count);
    return find_mate_cover();
}

std::vector<Cover> covers_by_dancing_links(std::int32_t count)
{
    std::vector<Cover> covers;
    build_mate_matrix(count);
    run_exact_cover([&covers] {
        Cover c;
        for (int k = 0; k < search_depth; ++k)
            c[k] = solution_stack[k]->tag >> 7;
        std::sort(c.begin(), c.end());
        covers.push_back(c);
        return false;
    });
    std::sort(covers.begin(), covers.end());
    return covers;
}

struct Visits {
    std::vector<Cover> covers;
};

void record_cover(const std::int32_t* indices, void* context)
{
    Cover c;
    std::copy(indices, indices + 10, c.begin());
    std::sort(c.begin(), c.end());
    static_cast<Visits*>(context)->covers.push_back(c);
}

// The covers listed by for_each_mate_cover_by_bitsets, sorted; the count it
// returns must be the number of visits.
std::vector<Cover> covers_by_bitsets(std::int32_t count)
{
    Visits visits;
    const std::int64_t returned = for_each_mate_cover_by_bitsets(count, record_cover, &visits);
    EXPECT_EQ(returned, static_cast<std::int64_t>(visits.covers.size()));
    std::sort(visits.covers.begin(), visits.covers.end());
    return visits.covers;
}

// Each variant, and the dispatcher, gives the expected answer on the first count
// records of the store.
void expect_answer_of_every_variant(std::int32_t count, bool expected, const std::string& name)
{
    EXPECT_EQ(find_mate_by_bitsets_baseline(count), expected) << name << ", baseline, " << count << " records";
    if (cpu_has_popcnt()) {
        EXPECT_EQ(find_mate_by_bitsets_popcnt(count), expected) << name << ", popcnt, " << count << " records";
    }
    EXPECT_EQ(find_mate_by_bitsets(count), expected) << name << ", dispatcher, " << count << " records";
}

// Lists the square's transversals into the store; false (and nothing to
// search) outside the gate of 10 to max_transversals.
bool list_transversals(const Square& square, std::int32_t& count)
{
    count = enumerate_transversals_by_halves(square);
    return count >= 10 && count <= max_transversals;
}

// The ten value classes of a Latin square: record v holds, in byte r, the column
// of value v in row r.  They are pairwise disjoint and cover every cell.
std::vector<Record> value_classes(const Square& square)
{
    std::vector<Record> classes(10);
    for (int n = 0; n < 100; ++n)
        classes[square.cells[n]][n / 10] = static_cast<std::uint8_t>(n % 10);
    return classes;
}

// A random permutation of the columns with one cell on each diagonal; with
// through_corner, its cell in row 0 is (0, 0).
Record random_diagonal_permutation(std::mt19937& random, bool through_corner)
{
    Record p;
    for (;;) {
        std::iota(p.begin(), p.end(), 0);
        std::shuffle(p.begin() + (through_corner ? 1 : 0), p.end(), random);
        int main_cells = 0, anti_cells = 0;
        for (int r = 0; r < 10; ++r) {
            main_cells += p[r] == r;
            anti_cells += p[r] == 9 - r;
        }
        if (main_cells == 1 && anti_cells == 1)
            return p;
    }
}

// The square whose free cells the generator has chosen, diagonals included.
Square generator_square(int diagonal_index)
{
    Square s;
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[10 * r + 9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    for (int k = 0; k < free_cell_count; ++k) {
        const int cell = cell_order_table[k];
        s.cells[10 * (cell >> 4) + (cell & 15)] =
            static_cast<std::uint8_t>(std::countr_zero(generator_state.chosen_bits[k]));
    }
    return s;
}

// The first squares of a space, walked by the generator from the all-zero start.
std::vector<Square> first_squares_of_space(int diagonal_index, int count)
{
    reset_state();
    generator_state.diagonal_index = diagonal_index;
    generator_state.start_count = 80;
    std::vector<Square> squares;
    if (prime_generator())
        while (static_cast<int>(squares.size()) < count && next_square())
            squares.push_back(generator_square(diagonal_index));
    reset_state();
    return squares;
}

// ---------------------------------------------------------------------------

TEST(BitsetMate, AnswersAsDancingLinksOnGeneratedSquaresOfEverySpace)
{
    std::vector<Square> squares;
    for (int d = 0; d < diagonal_count; ++d) {
        const auto random_points = mate_reference::generated_squares(d, 200 / scale, 4000u + d);
        const auto from_start = first_squares_of_space(d, 100 / scale);
        squares.insert(squares.end(), random_points.begin(), random_points.end());
        squares.insert(squares.end(), from_start.begin(), from_start.end());
    }
    ASSERT_GE(squares.size(), std::size_t{20000} / scale);

    int searched = 0;
    for (const Square& square : squares) {
        ASSERT_TRUE(mate_reference::is_diagonal_latin_square(square)) << square_numbers(square);
        std::int32_t count;
        if (!list_transversals(square, count))
            continue;
        ++searched;
        expect_answer_of_every_variant(count, mate_by_dancing_links(count), square_numbers(square));
        if (HasFailure())
            return;
    }
    EXPECT_GE(searched, static_cast<int>(squares.size()) * 9 / 10);
}

// ---------------------------------------------------------------------------

// Images of an orthogonal pair that are orthogonal pairs of diagonal Latin
// squares again: rows and columns permuted alike by p with p[9 - i] = 9 - p[i]
// (each diagonal onto itself), transposition, symbols renamed.
std::vector<Square> images_of(const Square& s, int count, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<Square> images{s};
    while (static_cast<int>(images.size()) < count) {
        const int i = static_cast<int>(images.size());
        std::array<int, 10> p;
        std::array<int, 5> half = {0, 1, 2, 3, 4};
        std::shuffle(half.begin(), half.end(), random);
        for (int j = 0; j < 5; ++j) {
            p[j] = random() % 2 ? half[j] : 9 - half[j];
            p[9 - j] = 9 - p[j];
        }
        std::array<std::uint8_t, 10> rename;
        std::iota(rename.begin(), rename.end(), 0);
        std::shuffle(rename.begin(), rename.end(), random);
        const bool transpose = i % 2 == 1;
        const bool permute = i % 4 >= 2;
        const bool renamed = i % 8 >= 4 || i >= 8;
        Square image;
        for (int r = 0; r < 10; ++r) {
            for (int c = 0; c < 10; ++c) {
                const int from_r = transpose ? c : r, from_c = transpose ? r : c;
                const int to_r = permute ? p[r] : r, to_c = permute ? p[c] : c;
                const std::uint8_t value = s.cells[10 * from_r + from_c];
                image.cells[10 * to_r + to_c] = renamed ? rename[value] : value;
            }
        }
        images.push_back(image);
    }
    return images;
}

TEST(BitsetMate, EveryImageOfThePublishedOrthogonalPairHasAMateAndItsCoversProveIt)
{
    const auto images = images_of(published_square(), 200 / scale, 99);
    ASSERT_TRUE(mate_reference::is_diagonal_latin_square(images[0]));
    std::size_t published_covers = 0;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const Square& image = images[i];
        const std::string name = "image " + std::to_string(i) + "\n" + square_numbers(image);
        ASSERT_TRUE(mate_reference::is_diagonal_latin_square(image)) << name;
        std::int32_t count;
        ASSERT_TRUE(list_transversals(image, count)) << name;
        expect_answer_of_every_variant(count, true, name);

        // The symmetries map the sets of ten disjoint transversals one to one.
        const auto covers = covers_by_bitsets(count);
        EXPECT_EQ(covers, covers_by_dancing_links(count)) << name;
        if (i == 0)
            published_covers = covers.size();
        EXPECT_EQ(covers.size(), published_covers) << name;
        // Value k in the cells of the cover's k-th transversal: an orthogonal mate.
        for (const Cover& cover : covers) {
            Square mate = filled_square(0xFF);
            for (int k = 0; k < 10; ++k)
                for (int r = 0; r < 10; ++r)
                    mate.cells[10 * r + transversal_store[cover[k]].columns[r]] = static_cast<std::uint8_t>(k);
            EXPECT_TRUE(mate_reference::is_diagonal_latin_square(mate)) << name;
            EXPECT_TRUE(mate_reference::are_orthogonal(image, mate)) << name;
        }
    }
    EXPECT_GE(published_covers, 1u);
}

// ---------------------------------------------------------------------------

// Decoys all through cell (0, 0) and ten records that partition the cells (the
// value classes of the published square) at the given places: class 0 also
// passes through (0, 0), so a cover takes it and the other nine, and no decoy.
struct PlantedStore {
    const char* name;
    std::int32_t count;
    std::int32_t first;  // class v at first + v * spacing
    std::int32_t spacing;
    int missing_class;   // replaced by a decoy (-1: all ten planted)
};

std::vector<Record> planted_store(const PlantedStore& plan, std::mt19937& random)
{
    const std::vector<Record> classes = value_classes(published_square());
    std::vector<Record> records;
    while (static_cast<std::int32_t>(records.size()) < plan.count) {
        Record decoy = random_diagonal_permutation(random, true);
        if (decoy != classes[0])
            records.push_back(decoy);
    }
    for (int v = 0; v < 10; ++v)
        if (v != plan.missing_class)
            records[plan.first + v * plan.spacing] = classes[v];
    return records;
}

TEST(BitsetMate, FindsTheOnlyCoverAmongDecoysAtWordBoundariesAndInAFullStore)
{
    const PlantedStore plans[] = {
        {"ten records, nothing else", 10, 0, 1, -1},
        {"ten records, one replaced", 10, 0, 1, 7},
        {"63 records, cover at the end", 63, 53, 1, -1},
        {"63 records, last class missing", 63, 53, 1, 9},
        {"64 records, cover at the end", 64, 54, 1, -1},
        {"64 records, class at slot 63 missing", 64, 54, 1, 9},
        {"65 records, one class beyond the first word", 65, 55, 1, -1},
        {"65 records, the class beyond the first word missing", 65, 55, 1, 9},
        {"65 records, spread, the last class beyond the first word", 65, 1, 7, -1},
        {"128 records, cover across the word boundary", 128, 59, 1, -1},
        {"128 records, spread to the last slot", 128, 1, 14, -1},
        {"128 records, spread, last class missing", 128, 1, 14, 9},
        {"129 records, last class in the third word", 129, 2, 14, -1},
        {"192 records, one class per 21", 192, 2, 21, -1},
        {"255 records", 255, 245, 1, -1},
        {"256 records, cover at the end", 256, 246, 1, -1},
        {"257 records", 257, 0, 28, -1},
        {"257 records, class 0 missing", 257, 0, 28, 0},
        {"640 records, one class per word", 640, 63, 64, -1},
        {"4096 records, cover in the last word", 4096, 4086, 1, -1},
        {"full store, cover at the end", max_transversals, max_transversals - 10, 1, -1},
        {"full store, spread", max_transversals, 9, 1110, -1},
        {"full store, one class missing", max_transversals, 9, 1110, 4},
    };
    std::mt19937 random(7);
    for (const PlantedStore& plan : plans) {
        const std::vector<Record> records = planted_store(plan, random);
        store_records(records);
        const bool complete = plan.missing_class < 0;
        ASSERT_EQ(mate_by_dancing_links(plan.count), complete) << plan.name;
        expect_answer_of_every_variant(plan.count, complete, plan.name);

        std::vector<Cover> expected;
        if (complete) {
            Cover only;
            for (int v = 0; v < 10; ++v)
                only[v] = plan.first + v * plan.spacing;
            expected.push_back(only);
        }
        EXPECT_EQ(covers_by_bitsets(plan.count), expected) << plan.name;
    }
}

TEST(BitsetMate, ASmallCallAfterALargeOneSeesNoRecordOrBitOfTheLargeOne)
{
    // The large store holds a cover whose class 0 sits at slot 70; the small
    // stores hold the other nine classes and decoys, so only a record or a bit
    // left over from the large call could complete a cover.
    const std::vector<Record> classes = value_classes(published_square());
    std::mt19937 random(11);
    struct SmallStore {
        const char* name;
        std::int32_t count;
    };
    const SmallStore smalls[] = {
        {"stale slot in the same word", 70},
        {"stale slot in the next word", 64},
        {"stale slot two words on", 10},
        {"stale slot in the same word, one record short", 69},
    };
    for (const SmallStore& small : smalls) {
        std::vector<Record> large;
        while (large.size() < static_cast<std::size_t>(max_transversals))
            large.push_back(random_diagonal_permutation(random, true));
        for (int v = 0; v < 10; ++v)
            large[70 + v] = classes[v];
        store_records(large);
        expect_answer_of_every_variant(max_transversals, true, std::string(small.name) + ", large call");

        std::vector<Record> records(large.begin(), large.begin() + small.count);
        for (int v = 1; v < 10; ++v)
            records[small.count - 10 + v] = classes[v];
        records[small.count - 10] = random_diagonal_permutation(random, true);
        store_records(records);
        ASSERT_EQ(transversal_store[70].columns[0], classes[0][0]);
        ASSERT_FALSE(mate_by_dancing_links(small.count)) << small.name;
        expect_answer_of_every_variant(small.count, false, small.name);

        // The same nine classes with class 0 in the small store: found.
        transversal_store[small.count - 10] = transversal_store[70];
        expect_answer_of_every_variant(small.count, true, std::string(small.name) + ", completed");
        if (HasFailure())
            return;
    }
}

// ---------------------------------------------------------------------------

// Stores of the value classes of a few generated squares, with decoys, with
// some records dropped and shuffled: many covers, partial ones, none.
struct MixedStore {
    std::vector<Record> records;
    std::string name;
};

std::vector<MixedStore> mixed_stores(int count, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<MixedStore> stores;
    for (int i = 0; i < count; ++i) {
        const int diagonal = static_cast<int>(random() % diagonal_count);
        const int square_count = 1 + static_cast<int>(random() % 12);
        const int decoy_count = static_cast<int>(random() % 5) * 60;
        const int drop_percent = static_cast<int>(random() % 4) * 15;
        MixedStore store;
        store.name = "mixed store " + std::to_string(i) + ": " + std::to_string(square_count) +
                     " squares of space " + std::to_string(diagonal) + ", " + std::to_string(decoy_count) +
                     " decoys, " + std::to_string(drop_percent) + "% dropped";
        for (const Square& s : mate_reference::generated_squares(diagonal, square_count, seed + i)) {
            for (const Record& r : value_classes(s))
                if (static_cast<int>(random() % 100) >= drop_percent)
                    store.records.push_back(r);
        }
        for (int d = 0; d < decoy_count; ++d)
            store.records.push_back(random_diagonal_permutation(random, false));
        std::shuffle(store.records.begin(), store.records.end(), random);
        if (store.records.size() >= 10)
            stores.push_back(store);
    }
    return stores;
}

TEST(BitsetMate, AnswersAsDancingLinksOnStoresOfValueClassesWithDecoys)
{
    int with_cover = 0, without = 0;
    for (const MixedStore& store : mixed_stores(600 / scale, 500)) {
        store_records(store.records);
        const auto count = static_cast<std::int32_t>(store.records.size());
        const bool expected = mate_by_dancing_links(count);
        (expected ? with_cover : without) += 1;
        expect_answer_of_every_variant(count, expected, store.name);
        if (HasFailure())
            return;
    }
    EXPECT_GT(with_cover, 0);
    EXPECT_GT(without, 0);
}

TEST(BitsetMate, AnswersAsDancingLinksOnLargeStoresOfValueClasses)
{
    // Up to a thousand squares of one space, all their classes or a part: levels
    // with hundreds of live transversals, counted by popcounts.
    std::mt19937 random(3);
    for (int i = 0; i < 6; ++i) {
        const int diagonal = static_cast<int>(random() % diagonal_count);
        const int keep_percent = 100 - 15 * i;
        std::vector<Record> records;
        for (const Square& s : mate_reference::generated_squares(diagonal, 1000 / scale, 60u + i))
            for (const Record& r : value_classes(s))
                if (static_cast<int>(random() % 100) < keep_percent)
                    records.push_back(r);
        std::shuffle(records.begin(), records.end(), random);
        store_records(records);
        const auto count = static_cast<std::int32_t>(records.size());
        expect_answer_of_every_variant(count, mate_by_dancing_links(count),
                                       "large store " + std::to_string(i) + ", " + std::to_string(count) + " records");
    }
}

TEST(BitsetMate, AnswersAsDancingLinksOnAFullStoreOfRandomDiagonalPermutations)
{
    // Every open cell keeps hundreds of live transversals on the levels below
    // the top one.  Under the sanitizers too, for the assertions on the cell
    // each level branches on.
    std::mt19937 random(3);
    std::vector<Record> records;
    while (records.size() < static_cast<std::size_t>(max_transversals))
        records.push_back(random_diagonal_permutation(random, false));
    store_records(records);
    expect_answer_of_every_variant(max_transversals, mate_by_dancing_links(max_transversals),
                                   "random diagonal permutations");
}

// ---------------------------------------------------------------------------

TEST(BitsetMateCovers, ListsExactlyTheCoversOfTheDancingLinksSearch)
{
    int stores = 0;
    std::size_t covers_seen = 0;
    for (const Square& square : mate_reference::generated_squares(37, 2000 / scale, 321)) {
        std::int32_t count;
        if (!list_transversals(square, count))
            continue;
        ++stores;
        ASSERT_EQ(covers_by_bitsets(count), covers_by_dancing_links(count)) << square_numbers(square);
    }
    for (const MixedStore& store : mixed_stores(400 / scale, 900)) {
        store_records(store.records);
        const auto count = static_cast<std::int32_t>(store.records.size());
        const auto covers = covers_by_bitsets(count);
        ++stores;
        covers_seen += covers.size();
        ASSERT_EQ(covers, covers_by_dancing_links(count)) << store.name;
    }
    EXPECT_GE(stores, 2000 / scale);
    EXPECT_GT(covers_seen, static_cast<std::size_t>(400 / scale));
}

TEST(BitsetMateCovers, ARepeatedRecordMakesASecondCoverAndBelowTenRecordsThereIsNone)
{
    const std::vector<Record> classes = value_classes(published_square());
    struct Case {
        const char* name;
        std::vector<int> classes; // class number per slot
        std::vector<Cover> covers;
    };
    const std::vector<Case> cases = {
        {"the ten classes", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}}},
        {"class 3 twice",
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 3},
         {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 1, 2, 4, 5, 6, 7, 8, 9, 10}}},
        {"classes 0 and 9 twice",
         {9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0},
         {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {0, 2, 3, 4, 5, 6, 7, 8, 9, 11},
          {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {2, 3, 4, 5, 6, 7, 8, 9, 10, 11}}},
        {"nine classes", {0, 1, 2, 3, 4, 5, 6, 7, 8}, {}},
        {"no record", {}, {}},
    };
    for (const Case& test : cases) {
        std::vector<Record> records;
        for (int v : test.classes)
            records.push_back(classes[v]);
        store_records(records);
        const auto count = static_cast<std::int32_t>(records.size());
        EXPECT_EQ(covers_by_bitsets(count), test.covers) << test.name;
        EXPECT_EQ(covers_by_dancing_links(count), test.covers) << test.name;
    }
}

} // namespace
