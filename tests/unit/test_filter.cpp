// The symmetry filter: the canonical-form test against a brute-force class
// minimum, its tables against their defining properties, and the two-source
// comparison on hand-made squares.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "filter/canonical.h"
#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "reference/enumeration_reference.h"
#include "reference/symmetry_reference.h"
#include "support.h"

namespace sr = symmetry_reference;
using sr::Permutation;

namespace {

bool same_square(const Square& a, const Square& b)
{
    return compare_squares(a, b) == 0;
}

// Runs the canonical-form test on q as the search loop hands it over.
bool canonical_in_space(const Square& q, int d)
{
    generator_state.diagonal_index = d;
    const std::array<int, 80> values = reference::free_values(q);
    for (int k = 0; k < 80; ++k)
        generator_state.chosen_bits[k] = 1u << values[k];
    return is_canonical(generator_state.chosen_bits);
}

Permutation permutation_of(const std::int32_t* values)
{
    Permutation p{};
    std::copy(values, values + 10, p.begin());
    return p;
}

bool is_diagonal_preserving(const Permutation& p)
{
    const auto& all = sr::diagonal_preserving_permutations();
    return std::find(all.begin(), all.end(), p) != all.end();
}

std::vector<int> anti_diagonal(int d)
{
    return {anti_diagonal_table[d], anti_diagonal_table[d] + 10};
}

std::vector<int> anti_diagonal_of(const Square& q)
{
    std::vector<int> anti;
    for (int r = 0; r < 10; ++r)
        anti.push_back(q.cells[9 * r + 9]);
    return anti;
}

// The records that the index word of d names, cut off at the end of the table.
std::vector<SymmetryMap> group_records(int d)
{
    const std::uint32_t word = symmetry_index_table[d];
    const std::uint32_t start = std::min<std::uint32_t>(word >> 5, symmetry_map_count);
    return {symmetry_map_table + start, symmetry_map_table + std::min<std::uint32_t>(start + (word & 31), symmetry_map_count)};
}

// The ten rows of a square file, lines starting with # skipped.
Square read_square_file(const std::string& name)
{
    std::ifstream in(std::string(DLSMATE_TESTDATA_DIR) + "/" + name);
    std::string line, digits;
    while (std::getline(in, line))
        if (line.empty() || line[0] != '#')
            digits += line + " ";
    return square_from_digits(digits);
}

class CanonicalForm : public ::testing::Test {
protected:
    void SetUp() override { reset_state(); }
};

} // namespace

TEST_F(CanonicalForm, AcceptsExactlyTheBruteForceMinimumAmongTheMembersOfRandomClassesAndTheSmallestSquare)
{
    const std::set<int> big_groups = {0, 5, 14, 35, 37, 50};
    std::mt19937 rng(20240611);
    for (int d = 0; d < diagonal_count; ++d) {
        const Square first = reference::first_square(d);
        EXPECT_TRUE(canonical_in_space(first, d)) << "the smallest square of d = " << d;
        for (int n = 0; n < (big_groups.count(d) ? 100 : 10); ++n) {
            const std::vector<Square> members = sr::class_members(n == 0 ? first : sr::random_square(d, rng), d);
            for (const Square& member : members) {
                SCOPED_TRACE("d = " + std::to_string(d) + ", square\n" + square_numbers(member));
                EXPECT_EQ(canonical_in_space(member, d), same_square(member, members.front()));
                ASSERT_TRUE(same_square(assembled_square, member));
            }
        }
    }
}

TEST_F(CanonicalForm, AcceptsAClassMinimumThatItsReflectionOrARecordMapsOntoItself)
{
    std::mt19937 rng(31);
    for (const FixingSymmetry& c : fixing_symmetries()) {
        const bool reversed = c.reversed;
        const Permutation& p = c.p;
        SCOPED_TRACE(c.name);
        bool found = false;
        for (int attempt = 0; attempt < 200 && !found; ++attempt) {
            const std::optional<Square> q = sr::random_fixed_square(c.d, reversed, p, rng, 50);
            ASSERT_TRUE(q.has_value());
            ASSERT_TRUE(same_square(sr::class_member(*q, reversed, p), *q));
            found = same_square(sr::class_members(*q, c.d).front(), *q);
            EXPECT_EQ(canonical_in_space(*q, c.d), found) << square_numbers(*q);
        }
        EXPECT_TRUE(found) << "no fixed square is the minimum of its class";
    }
}

TEST_F(CanonicalForm, AssemblesTheSquareAndReflectsItOnlyUpToIndex55WithoutChangingTheState)
{
    std::mt19937 rng(7);
    for (int d = 0; d < diagonal_count; ++d) {
        const Square q = sr::random_square(d, rng);
        canonical_in_space(q, d);
        unsigned char before[sizeof generator_state];
        std::memcpy(before, &generator_state, sizeof before);
        std::memset(reflected_square.cells, 0xA5, sizeof reflected_square.cells);
        source_count = 0;
        canonical_in_space(q, d);
        SCOPED_TRACE("d = " + std::to_string(d));
        EXPECT_TRUE(same_square(assembled_square, q));
        EXPECT_EQ(std::memcmp(before, &generator_state, sizeof before), 0) << "the state was changed";
        if (d < reflection_row_count) {
            EXPECT_EQ(source_count, 2);
            EXPECT_TRUE(same_square(reflected_square, sr::class_member(q, true, permutation_of(reflection_table[d]))));
        } else {
            EXPECT_EQ(source_count, 1);
            EXPECT_TRUE(same_square(reflected_square, filled_square(0xA5))) << "the reflected square was written";
        }
    }
}

TEST_F(CanonicalForm, DecodesEachOneHotBitToItsValueNumber)
{
    generator_state.diagonal_index = 60;
    for (int v = 0; v < 10; ++v) {
        std::array<std::uint32_t, 80> bits;
        bits.fill(1u << v);
        is_canonical(bits.data());
        const std::array<int, 80> decoded = reference::free_values(assembled_square);
        EXPECT_EQ(std::count(decoded.begin(), decoded.end(), v), 80) << "bit 0x" << std::hex << (1u << v);
    }
}

TEST_F(CanonicalForm, WorkedExampleIndex1PassesTheSmallestSquareAndRejectsItsReflection)
{
    const Square q = square_from_digits(
        "0 2 3 5 6 4 7 8 9 1 / 2 1 4 6 3 7 5 9 0 8 / 1 0 2 7 5 8 9 3 4 6 / 4 5 0 3 8 9 2 1 6 7 / "
        "3 7 1 9 4 6 8 0 2 5 / 6 4 9 8 7 5 1 2 3 0 / 8 3 7 4 9 0 6 5 1 2 / 9 6 8 0 1 2 3 7 5 4 / "
        "7 9 5 2 0 1 4 6 8 3 / 5 8 6 1 2 3 0 4 7 9");
    const Square l = square_from_digits(
        "1 9 8 7 4 6 5 3 2 0 / 8 0 9 5 7 3 6 4 1 2 / 6 4 3 9 8 5 7 2 0 1 / 7 6 1 2 9 8 3 0 5 4 / "
        "5 2 0 8 6 4 9 1 7 3 / 0 3 2 1 5 7 8 9 4 6 / 2 1 5 6 0 9 4 7 3 8 / 4 5 7 3 2 1 0 8 6 9 / "
        "3 8 6 4 1 0 2 5 9 7 / 9 7 4 0 3 2 1 6 8 5");
    const Square r = square_from_digits(
        "0 5 7 2 9 3 8 4 6 1 / 9 1 3 8 5 4 7 2 0 6 / 6 8 2 9 0 1 5 3 4 7 / 1 6 0 3 8 7 2 9 5 4 / "
        "3 2 5 7 4 6 9 8 1 0 / 8 3 6 0 7 5 4 1 9 2 / 2 7 9 4 1 0 6 5 3 8 / 4 0 8 5 6 9 1 7 2 3 / "
        "7 9 4 1 3 2 0 6 8 5 / 5 4 1 6 2 8 3 0 7 9");
    const Permutation p = {1, 0, 4, 6, 2, 7, 3, 5, 9, 8};
    ASSERT_EQ(permutation_of(reflection_table[1]), p);
    ASSERT_TRUE(same_square(reference::first_square(1), q));

    // The printed steps follow from the class operations: reversal, then permutation and renaming.
    for (int n = 0; n < 100; ++n)
        EXPECT_EQ(l.cells[n], q.cells[n - n % 10 + 9 - n % 10]);
    EXPECT_TRUE(same_square(sr::class_member(q, true, p), r));
    EXPECT_EQ(anti_diagonal_of(r), anti_diagonal(1));

    EXPECT_TRUE(canonical_in_space(q, 1));
    EXPECT_TRUE(same_square(reflected_square, r));
    EXPECT_FALSE(canonical_in_space(r, 1));
    EXPECT_TRUE(same_square(reflected_square, q));
}

TEST(SymmetryTables, EveryRecordIsADiagonalPreservingPermutationWhoseInverseKeepsTheAntiDiagonal)
{
    for (int d = 0; d < diagonal_count; ++d) {
        const std::vector<int> anti = anti_diagonal(d);
        for (const SymmetryMap& map : group_records(d)) {
            EXPECT_TRUE(is_diagonal_preserving(permutation_of(map.positions))) << "d = " << d;
            for (int i = 0; i < 10; ++i) {
                EXPECT_EQ(map.values[map.positions[i]], i) << "d = " << d;
                EXPECT_EQ(map.values[anti[map.positions[i]]], anti[i]) << "d = " << d;
            }
        }
    }
}

TEST(SymmetryTables, EachGroupIsExactlyTheBruteForceGroupOfItsIndex)
{
    ASSERT_EQ(sr::diagonal_preserving_permutations().size(), 3840u);
    std::set<std::size_t> sizes;
    for (int d = 0; d < diagonal_count; ++d) {
        std::vector<Permutation> listed;
        for (const SymmetryMap& map : group_records(d))
            listed.push_back(permutation_of(map.positions));
        std::vector<Permutation> expected = sr::symmetry_group(d);
        std::sort(listed.begin(), listed.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listed, expected) << "d = " << d;
        sizes.insert(expected.size());
    }
    EXPECT_EQ(sizes, (std::set<std::size_t>{0, 1, 4, 7, 9, 23}));
}

TEST(SymmetryTables, ReflectionRowsExistExactlyUpToIndex55AndRestoreTheAntiDiagonal)
{
    for (int d = 0; d < diagonal_count; ++d) {
        const Square q = reference::first_square(d);
        if (d < reflection_row_count) {
            const Permutation p = permutation_of(reflection_table[d]);
            EXPECT_TRUE(is_diagonal_preserving(p)) << "d = " << d;
            EXPECT_EQ(anti_diagonal_of(sr::class_member(q, true, p)), anti_diagonal(d)) << "d = " << d;
        } else {
            for (const Permutation& p : sr::diagonal_preserving_permutations())
                ASSERT_NE(anti_diagonal_of(sr::class_member(q, true, p)), anti_diagonal(d)) << "d = " << d;
        }
    }
}

namespace {

// Hand-made sources: every cell 5 except the listed ones.  The map keeps every
// position and swaps the symbols 3 and 7, so the image of slot 0 is above the
// square where it holds 3, below where it holds 7 and equal elsewhere; slot 1
// is stored so that its image holds the listed values.
struct CellValue {
    int r, c, value;
};

Square fives_with(const std::vector<CellValue>& cells, bool as_image)
{
    Square s = filled_square(5);
    for (const CellValue& cell : cells)
        s.cells[10 * cell.r + cell.c] =
            static_cast<std::uint8_t>(as_image && (cell.value == 3 || cell.value == 7) ? 10 - cell.value : cell.value);
    return s;
}

} // namespace

TEST(SymmetryMap, DecidesAtTheFirstCompareCellWhereALiveImageIsBelowOrAllDropOut)
{
    constexpr std::int32_t positions[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    constexpr std::int32_t swap_three_seven[10] = {0, 1, 2, 7, 4, 5, 6, 3, 8, 9};
    const struct {
        const char* behaviour;
        std::vector<CellValue> square, slot_1_image;
        int count;
        bool passes;
    } cases[] = {
        {"slot 0 drops out at (0, 1), slot 1 equal there, below at (0, 2)", {{0, 1, 3}}, {{0, 1, 3}, {0, 2, 4}}, 2, false},
        {"slot 1 drops out at (0, 1), slot 0 equal there, below at (0, 2)", {{0, 2, 7}}, {{0, 1, 6}}, 2, false},
        {"both images above at (0, 1) end the comparison", {{0, 1, 3}, {0, 2, 7}}, {{0, 1, 6}, {0, 2, 0}}, 2, true},
        {"slot 0 below where slot 1 is above", {{0, 1, 7}}, {{0, 1, 9}}, 2, false},
        {"slot 1 below where slot 0 is above", {{0, 1, 3}}, {{0, 1, 0}}, 2, false},
        {"slot 1 below at the last compared cell (8, 7)", {}, {{8, 7, 4}}, 2, false},
        {"slot 0 below at the last compared cell (8, 7)", {{8, 7, 7}}, {}, 2, false},
        {"both images equal on every compared cell", {}, {}, 2, true},
        {"images below only in row 9, column 9 and on the diagonals",
         {{9, 0, 7}, {0, 9, 7}, {2, 2, 7}, {2, 7, 7}, {9, 9, 7}},
         {{9, 4, 0}, {4, 9, 0}, {4, 4, 0}, {3, 6, 0}, {0, 0, 0}}, 2, true},
        {"one source: slot 1 is not read", {}, {{0, 1, 0}}, 1, true},
        {"one source: slot 0 still decides", {{3, 5, 7}}, {}, 1, false},
    };
    for (const auto& c : cases) {
        source_squares[0] = fives_with(c.square, false);
        source_squares[1] = fives_with(c.slot_1_image, true);
        source_count = c.count;
        EXPECT_EQ(passes_symmetry_map(positions, swap_three_seven), c.passes) << c.behaviour;
    }
}

TEST(SymmetryMap, WorkedExampleIndex3ComparesBothSourcesUnderItsOneRecord)
{
    const Square smallest = square_from_digits(
        "0 2 3 4 5 7 8 6 9 1 / 2 1 4 5 3 8 7 9 0 6 / 1 0 2 6 8 4 9 3 5 7 / 4 5 0 3 6 9 2 1 7 8 / "
        "3 7 1 9 4 6 0 8 2 5 / 6 9 8 0 7 5 1 2 3 4 / 7 3 5 8 9 0 6 4 1 2 / 8 6 9 1 0 2 5 7 4 3 / "
        "9 4 6 7 2 1 3 5 8 0 / 5 8 7 2 1 3 4 0 6 9");
    const Square reflected = square_from_digits(
        "0 9 5 7 6 8 3 2 4 1 / 2 1 8 5 9 4 7 6 0 3 / 4 8 2 9 5 7 1 3 6 0 / 9 5 4 3 8 0 2 1 7 6 / "
        "8 3 7 1 4 6 5 0 9 2 / 1 2 6 0 7 5 9 4 3 8 / 7 0 3 8 2 1 6 9 5 4 / 3 6 9 4 0 2 8 7 1 5 / "
        "6 4 1 2 3 9 0 5 8 7 / 5 7 0 6 1 3 4 8 2 9");
    const Square image = square_from_digits(
        "0 3 4 5 9 2 8 6 7 1 / 3 1 5 2 6 4 7 9 0 8 / 4 5 2 1 8 7 0 3 9 6 / 1 0 7 3 5 9 2 8 6 4 / "
        "8 7 1 9 4 6 3 0 5 2 / 6 2 8 0 7 5 9 1 4 3 / 7 9 0 8 3 1 6 4 2 5 / 2 6 9 4 1 8 5 7 3 0 / "
        "9 4 3 6 2 0 1 5 8 7 / 5 8 6 7 0 3 4 2 1 9");
    const Permutation p = {1, 0, 3, 2, 5, 4, 7, 6, 9, 8};
    const std::vector<SymmetryMap> group = group_records(3);
    ASSERT_EQ(group.size(), 1u);
    ASSERT_EQ(permutation_of(group[0].positions), p);
    ASSERT_EQ(permutation_of(group[0].values), p);

    ASSERT_TRUE(same_square(reference::first_square(3), smallest));
    EXPECT_TRUE(canonical_in_space(smallest, 3));
    EXPECT_TRUE(same_square(reflected_square, reflected));
    EXPECT_TRUE(same_square(sr::class_member(smallest, false, p), image));
    EXPECT_FALSE(canonical_in_space(image, 3));

    source_squares[0] = smallest;
    source_squares[1] = reflected;
    source_count = 2;
    EXPECT_TRUE(passes_symmetry_map(group[0].positions, group[0].values));
    source_squares[0] = image;
    for (int count : {1, 2}) {
        source_count = count;
        EXPECT_FALSE(passes_symmetry_map(group[0].positions, group[0].values)) << count << " sources";
    }
}

TEST(SampleSquare, IsTheCanonicalMemberOfTheSelfOrthogonalSquaresClass)
{
    const Square sample = read_square_file("sample-square.txt");
    const Square self_orthogonal = read_square_file("self-orthogonal-10.txt");
    ASSERT_TRUE(reference::is_diagonal_latin(sample));
    int d = 0;
    while (d < diagonal_count - 1 && anti_diagonal_of(sample) != anti_diagonal(d))
        ++d;
    ASSERT_EQ(anti_diagonal_of(sample), anti_diagonal(d)) << "the anti-diagonal is none of the table's rows";

    bool in_class = false;
    for (bool reversed : {false, true})
        for (const Permutation& p : sr::diagonal_preserving_permutations())
            in_class = in_class || same_square(sr::class_member(self_orthogonal, reversed, p), sample);
    EXPECT_TRUE(in_class);
    EXPECT_TRUE(same_square(sr::class_members(sample, d).front(), sample));
    reset_state();
    EXPECT_TRUE(canonical_in_space(sample, d));
}
