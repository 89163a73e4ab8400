#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "generator/generator.h"
#include "generator/search.h"
#include "io/workunit.h"
#include "reference/enumeration_reference.h"
#include "support.h"
#include "tools/no_boinc.h"

namespace {

// Reads a work unit, primes the generator and runs the loop into a temporary
// file, as the worker does; returns the file's bytes.
std::string run_workunit(const std::string& text)
{
    reported_fractions.clear();
    EXPECT_TRUE(read_workunit_text(text));
    EXPECT_TRUE(prime_generator());
    std::FILE* result = std::tmpfile();
    run_search(result);
    const std::string bytes = contents_of(result);
    std::fclose(result);
    return bytes;
}

const Square nines = filled_square(9);

TEST(RunSearch, TheFirstSquareOfASpaceStoppedAtALimitOfOne)
{
    const std::string bytes = run_workunit(workunit_of(1, 1, Square{}, nines));
    ASSERT_EQ(bytes.size(), 432u);
    EXPECT_EQ(bytes, "X\r\n1 1\r\n" + record_of(reference::first_square(0)) + record_of(nines));
    EXPECT_TRUE(reported_fractions.empty());
}

TEST(RunSearch, AnEndSquareNotAboveTheFirstPassingSquareStopsAfterIt)
{
    for (int number : {2, 38, 57, 67}) {
        const std::string bytes = run_workunit(workunit_of(number, 1000000, Square{}, Square{}));
        EXPECT_EQ(bytes, "X\r\n" + std::to_string(number) + " 1\r\n" + record_of(reference::first_square(number - 1)) +
                             record_of(Square{}));
    }
}

TEST(RunSearch, ReportsProgressAtEveryThousandPassingSquaresOnly)
{
    const std::string bytes = run_workunit(workunit_of(57, 2000, Square{}, nines));
    ASSERT_EQ(reported_fractions.size(), 2u);
    EXPECT_EQ(reported_fractions[0], 0.5);
    EXPECT_EQ(reported_fractions[1], 1.0);
    EXPECT_EQ(bytes.substr(bytes.size() - 436, 12), "X\r\n57 2000\r\n");
    EXPECT_EQ(generator_state.passing_count, 2000u);

    run_workunit(workunit_of(57, 2999, Square{}, nines));
    ASSERT_EQ(reported_fractions.size(), 2u);
    EXPECT_EQ(reported_fractions[0], 1000.0 / 2999.0);
    EXPECT_EQ(reported_fractions[1], 2000.0 / 2999.0);
}

TEST(RunSearch, StopsAtTheFirstPassingSquareNotBelowTheEndSquare)
{
    // Index 57 has no symmetry group and no reflection: every square passes, so
    // the stop square is the first generated square not below the end square.
    const Square thirtieth = reference::completions(57, Square{}, 0, 30).back();
    const std::string bytes = run_workunit(workunit_of(58, 1000, Square{}, thirtieth));
    EXPECT_EQ(bytes.substr(bytes.size() - 434), "X\r\n58 30\r\n" + record_of(thirtieth) + record_of(thirtieth));
}

TEST(RunSearch, ARunThatExhaustsTheSpaceWritesNoClosingBlock)
{
    // Start inside the last block of index 57, where every square passes: the greatest square's first seven
    // rows, the replay stopping at cell (7, 0), where 7 would repeat the row's
    // diagonal value.
    Square start = reference::last_square(57);
    start.cells[70] = 7;
    const std::string bytes = run_workunit(workunit_of(58, 1000000, start, nines));
    EXPECT_EQ(bytes.find('X'), std::string::npos);
    EXPECT_EQ(bytes.size() % 212, 0u);
    EXPECT_EQ(generator_state.position, -1);
    EXPECT_GT(generator_state.passing_count, 0u);
}

} // namespace
