// The GPU worker's pieces that need no device: the kernel's source compiled as
// C++ and run on the host, the batched walk, the self-test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/no_boinc.h"
#include "dlx/mate.h"
#include "dlx/reused_transversals.h"
#include "generator/generator.h"
#include "generator/search.h"
#include "io/checkpoint.h"
#include "io/workunit.h"
#include "opencl/batched_search.h"
#include "opencl/host_kernel.h"
#include "opencl/launch.h"
#include "opencl/self_test.h"
#include "reference/enumeration_reference.h"
#include "support.h"
#include "temporary_files.h"
#include "test_squares.h"

namespace {

// Batches small enough that a few hundred squares make several.
constexpr std::int32_t batch_size = 64;

// Answers of `answer` for the squares, a batch at a time.
std::vector<std::pair<std::int32_t, std::int32_t>> answers_of(BatchAnswerer answer, const std::vector<Square>& squares)
{
    static MateBatch batch;
    std::vector<std::pair<std::int32_t, std::int32_t>> answers;
    for (std::size_t from = 0; from < squares.size(); from += batch_capacity) {
        batch.size = static_cast<std::int32_t>(std::min<std::size_t>(batch_capacity, squares.size() - from));
        for (int i = 0; i < batch.size; ++i)
            batch.squares[i] = squares[from + i];
        const char* error = nullptr;
        EXPECT_TRUE(answer(batch, error));
        for (int i = 0; i < batch.size; ++i)
            answers.emplace_back(batch.transversal_counts[i], batch.verdicts[i]);
    }
    return answers;
}

// The worker's own answers: the number of diagonal transversals and the mate test.
std::pair<std::int32_t, std::int32_t> worker_answer(const Square& square)
{
    const std::int32_t count = enumerate_transversals_reusing_rows(square);
    return {count, has_orthogonal_mate(square) ? DLS_VERDICT_MATE : DLS_VERDICT_NO_MATE};
}

TEST(KernelOnHost, AnswersAsTheWorkerDoesOnKeptSquaresOfLiveAndMixedUnits)
{
    int mates = 0;
    for (const std::string& unit : live_and_mixed_units()) {
        const std::vector<Square> squares = kept_squares(read_text(unit), 100);
        ASSERT_EQ(squares.size(), 100u) << unit;
        const auto answers = answers_of(answer_batch_on_host, squares);
        for (std::size_t i = 0; i < squares.size(); ++i) {
            ASSERT_EQ(answers[i], worker_answer(squares[i])) << unit << ", square " << i;
            mates += answers[i].second == DLS_VERDICT_MATE;
        }
    }
    EXPECT_EQ(mates, 0); // kept squares with a mate are rare: the next test brings them
}

TEST(KernelOnHost, FindsTheMateOfEveryImageOfTheKnownSquaresWithMates)
{
    const std::vector<Square> squares = squares_with_mates(250);
    const auto answers = answers_of(answer_batch_on_host, squares);
    for (std::size_t i = 0; i < squares.size(); ++i) {
        ASSERT_EQ(answers[i].second, DLS_VERDICT_MATE) << square_numbers(squares[i]);
        ASSERT_EQ(answers[i], worker_answer(squares[i])) << square_numbers(squares[i]);
    }
}

TEST(KernelOnHost, ASquareBeyondItsStoreIsLeftToTheHostWithItsFullCount)
{
    std::vector<Square> squares = kept_squares(read_text(live_and_mixed_units()[4]), 60);
    squares.push_back(published_square());

    const auto usual = answers_of(answer_batch_on_host, squares);
    const auto small = answers_of(answer_batch_on_host_small_store, squares);
    int overflowed = 0;
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const std::int32_t count = enumerate_transversals_reusing_rows(squares[i]);
        EXPECT_EQ(usual[i].first, count);
        EXPECT_EQ(small[i].first, count);
        EXPECT_EQ(small[i].second == DLS_VERDICT_OVERFLOW, count > host_small_store_capacity);
        EXPECT_EQ(usual[i].second == DLS_VERDICT_OVERFLOW, count > mate_store_capacity);
        if (small[i].second != DLS_VERDICT_OVERFLOW) {
            EXPECT_EQ(small[i], usual[i]);
        }
        overflowed += small[i].second == DLS_VERDICT_OVERFLOW;
    }
    EXPECT_GT(overflowed, 30);
}

TEST(KernelOnHost, TheSquaresOfRowsZeroToFourBeyondATableAreLeftToTheHostUncounted)
{
    // Kept squares of every unit (rows 0-4 of live units with more partial
    // transversals than the tight table holds, of mixed ones with fewer),
    // squares with mates, and a square whose rows 0-4 overflow any table: every
    // row 0 1 ... 9 (a cell's value is its column).
    std::vector<Square> squares;
    for (const std::string& unit : live_and_mixed_units()) {
        const std::vector<Square> kept = kept_squares(read_text(unit), 20);
        squares.insert(squares.end(), kept.begin(), kept.end());
    }
    const std::vector<Square> mates = squares_with_mates(30);
    squares.insert(squares.end(), mates.begin(), mates.end());
    Square constant_columns;
    for (int n = 0; n < 100; ++n)
        constant_columns.cells[n] = static_cast<std::uint8_t>(n % 10);
    squares.push_back(constant_columns);

    const auto usual = answers_of(answer_batch_on_host, squares);
    const auto tight = answers_of(answer_batch_on_host_tight_table, squares);
    int overflowed = 0;
    for (std::size_t i = 0; i < squares.size(); ++i) {
        const int top = top_partial_count(squares[i]);
        const std::pair<std::int32_t, std::int32_t> overflow{-1, DLS_VERDICT_OVERFLOW};
        if (top > mate_table_capacity) {
            EXPECT_EQ(usual[i], overflow) << "square " << i;
        } else {
            EXPECT_EQ(usual[i], worker_answer(squares[i])) << "square " << i;
        }
        if (top > host_tight_table_capacity) {
            EXPECT_EQ(tight[i], overflow) << "square " << i;
            ++overflowed;
        } else {
            EXPECT_EQ(tight[i], usual[i]) << "square " << i;
        }
    }
    EXPECT_GT(top_partial_count(constant_columns), mate_table_capacity);
    EXPECT_GE(overflowed, 40);
    EXPECT_GE(static_cast<int>(squares.size()) - overflowed, 40);
}

TEST(KernelOnHost, ABatchWithMoreBlocksThanTablesGoesInSeveralLaunchesWithTheSameAnswers)
{
    // Kept squares of a mixed unit: some blocks of equal rows 0-4, many squares each.
    const std::vector<Square> squares = kept_squares(read_text(live_and_mixed_units()[5]), 400);
    int blocks = 1;
    for (std::size_t i = 1; i < squares.size(); ++i)
        blocks += std::memcmp(squares[i].cells, squares[i - 1].cells, 50) != 0;
    EXPECT_GT(blocks, 3 * host_few_tables);
    EXPECT_EQ(answers_of(answer_batch_on_host_few_tables, squares), answers_of(answer_batch_on_host, squares));
}

TEST(Launch, TakesWholeBlocksOfNeighboursWithEqualRowsZeroToFour)
{
    // Rows 0-4 of a, b, c: squares a a b b b a c make blocks a | b | a | c.
    static MateBatch batch;
    const char tops[] = "aabbbac";
    batch.size = 7;
    for (int i = 0; i < batch.size; ++i) {
        batch.squares[i] = filled_square(i); // rows 5-9 differ
        std::memset(batch.squares[i].cells, tops[i], 50);
    }
    static std::vector<std::string> launches;
    launches.clear();
    const auto record = [](MateBatch&, const MateLaunch& launch, const char*&) {
        std::string text = std::to_string(launch.first_square) + ":";
        for (int i = 0; i < launch.square_count; ++i)
            text += std::to_string(launch.square_blocks[i]);
        text += "/";
        for (int b = 0; b < launch.block_count; ++b)
            text += std::to_string(launch.block_squares[b]);
        launches.push_back(text);
        return true;
    };
    const char* error = nullptr;
    EXPECT_TRUE(answer_in_launches(batch, 2, record, error));
    EXPECT_EQ(launches, (std::vector<std::string>{"0:00111/02", "5:01/01"}));
    launches.clear();
    EXPECT_TRUE(answer_in_launches(batch, 1, record, error));
    EXPECT_EQ(launches, (std::vector<std::string>{"0:00/0", "2:000/0", "5:0/0", "6:0/0"}));
    launches.clear();
    EXPECT_TRUE(answer_in_launches(batch, launch_block_capacity, record, error));
    EXPECT_EQ(launches, (std::vector<std::string>{"0:0011123/0256"}));

    // A failing launch ends the batch with its reason.
    EXPECT_FALSE(answer_in_launches(
        batch, 2, [](MateBatch&, const MateLaunch&, const char*& why) { return why = "lost", false; }, error));
    EXPECT_STREQ(error, "lost");
}

// The result file, progress reports and count of a walk, by run_search or by
// the batched walk with `answer`.
struct Walk {
    std::string result;
    std::vector<double> fractions;
    std::uint64_t passing_count = 0;
    bool finished = false;
};

Walk walk(const std::string& text, BatchAnswerer answer)
{
    forget_kept_rows();
    reported_fractions.clear();
    EXPECT_TRUE(read_workunit_text(text));
    EXPECT_TRUE(prime_generator());
    std::FILE* result = std::tmpfile();
    Walk w;
    const char* error = nullptr;
    if (answer == nullptr) {
        run_search(result);
        w.finished = true;
    } else {
        w.finished = run_batched_search(result, nullptr, 0, answer, batch_size, error);
    }
    w.result = contents_of(result);
    std::fclose(result);
    w.fractions = reported_fractions;
    w.passing_count = generator_state.passing_count;
    return w;
}

// Work units whose stops fall inside a batch, after several batches, at the
// first square, and at the end of the space.
std::vector<std::pair<std::string, std::string>> batch_edge_units()
{
    const Square nines = filled_square(9);
    const std::vector<Square> first = kept_squares(workunit_of(58, 1000, Square{}, nines), 400);
    // The greatest square of index 57 (every square passes) up to cell (5, 0),
    // where 5 would repeat the row's diagonal value: the walk goes on from there
    // to the end of the space.
    Square exhausting_start = reference::last_square(57);
    exhausting_start.cells[50] = 5;
    std::string mixed_unit = read_text(live_and_mixed_units()[5]);
    mixed_unit.replace(0, mixed_unit.find('\n'), "36 300");
    std::vector<std::pair<std::string, std::string>> units = {
        {"a limit inside the second batch", workunit_of(57, batch_size + 17, Square{}, nines)},
        {"a limit at a batch's end", workunit_of(36, 2 * batch_size, Square{}, nines)},
        {"a limit of one", workunit_of(1, 1, Square{}, nines)},
        {"an end square inside the third batch", workunit_of(58, 100000, Square{}, first[2 * batch_size + 17])},
        {"an end square below the first", workunit_of(2, 1000, Square{}, Square{})},
        {"a continuation", workunit_of(58, 150, first[321], nines)},
        {"the sample", read_text(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu")},
        {"a mixed unit", mixed_unit},
    };
    units.emplace_back("the end of the space", workunit_of(58, 1000000, exhausting_start, nines));
    return units;
}

TEST(BatchedSearch, WritesWhatRunSearchWritesWhereverTheRunStops)
{
    for (const auto& [name, text] : batch_edge_units()) {
        const Walk cpu = walk(text, nullptr);
        const Walk batched = walk(text, answer_batch_on_host);
        EXPECT_TRUE(batched.finished) << name;
        EXPECT_EQ(batched.result, cpu.result) << name;
        EXPECT_EQ(batched.fractions, cpu.fractions) << name;
        EXPECT_EQ(batched.passing_count, cpu.passing_count) << name;
    }
    EXPECT_EQ(generator_state.position, -1);
    EXPECT_GT(generator_state.passing_count, 100u);
}

TEST(BatchedSearch, SquaresTheDeviceCannotHoldAreDecidedOnTheHost)
{
    for (const auto& [name, text] : batch_edge_units()) {
        const Walk cpu = walk(text, nullptr);
        for (BatchAnswerer answer : {answer_batch_on_host_small_store, answer_batch_on_host_tight_table,
                                     answer_batch_on_host_few_tables}) {
            const Walk batched = walk(text, answer);
            EXPECT_EQ(batched.result, cpu.result) << name;
            EXPECT_EQ(batched.fractions, cpu.fractions) << name;
        }
    }
}

TEST(BatchedSearch, AFailingOrNonsensicalDeviceEndsTheWalkWithItsReason)
{
    const std::string text = workunit_of(57, 100, Square{}, filled_square(9));
    ASSERT_TRUE(read_workunit_text(text));
    ASSERT_TRUE(prime_generator());
    std::FILE* result = std::tmpfile();
    const char* error = nullptr;
    EXPECT_FALSE(run_batched_search(
        result, nullptr, 0, [](MateBatch&, const char*& why) { return why = "lost", false; }, batch_size, error));
    EXPECT_STREQ(error, "lost");
    EXPECT_EQ(contents_of(result), "");

    ASSERT_TRUE(prime_generator());
    generator_state.passing_count = 0;
    EXPECT_FALSE(run_batched_search(
        result, nullptr, 0,
        [](MateBatch& batch, const char*&) {
            for (int i = 0; i < batch.size; ++i)
                batch.verdicts[i] = 7;
            return true;
        },
        batch_size, error));
    EXPECT_STREQ(error, "the device gave an answer that is no verdict");
    EXPECT_EQ(contents_of(result), "");
    std::fclose(result);
}

TEST(BatchedSearch, CheckpointsBetweenBatchesFromWhichTheCpuWorkerGoesOnExactly)
{
    const std::string text = workunit_of(36, 3 * batch_size + 100, Square{}, filled_square(9));
    const Walk cpu = walk(text, nullptr);

    const std::string checkpoint = make_temporary_directory() + "/checkpoint";
    forget_kept_rows();
    ASSERT_TRUE(read_workunit_text(text));
    ASSERT_TRUE(prime_generator());
    std::FILE* result = std::tmpfile();
    checkpoint_due = true;
    completed_checkpoints = 0;
    const char* error = nullptr;
    // A device that fails at its third batch leaves the checkpoint taken after
    // the second.
    static int batches;
    batches = 0;
    EXPECT_FALSE(run_batched_search(
        result, checkpoint.c_str(), 0,
        [](MateBatch& batch, const char*& why) { return ++batches <= 2 ? answer_batch_on_host(batch, why) : false; },
        batch_size, error));
    checkpoint_due = false;
    // BOINC asks at every chance: at both batch ends and at every pause of the
    // walk, the batch in hand settled first.
    EXPECT_GE(completed_checkpoints, 2);
    const std::string written = contents_of(result);
    std::fclose(result);

    WalkPlace place;
    const char* reason = nullptr;
    ASSERT_EQ(read_checkpoint(checkpoint.c_str(), place, reason), CheckpointRead::matches);
    EXPECT_GT(place.passing_count, 0u);
    EXPECT_LE(place.passing_count, 2u * batch_size);
    ASSERT_EQ(place.result_length, written.size());

    // The CPU loop goes on from it.
    reported_fractions.clear();
    ASSERT_TRUE(resume_generator(place.values, place.filled));
    generator_state.passing_count = place.passing_count;
    result = std::tmpfile();
    std::fwrite(written.data(), 1, written.size(), result);
    run_search(result, nullptr, place.result_length);
    EXPECT_EQ(contents_of(result), cpu.result);
    std::fclose(result);
}

TEST(SelfTest, TheKnownAnswersAreTheWorkersAndTheKernelOnTheHostGivesThem)
{
    int mates = 0;
    for (int i = 0; i < self_test_answer_count; ++i) {
        const Square square = square_from_digits(self_test_answers[i].rows);
        EXPECT_EQ(worker_answer(square), std::make_pair(self_test_answers[i].transversal_count, self_test_answers[i].verdict));
        mates += self_test_answers[i].verdict == DLS_VERDICT_MATE;
    }
    EXPECT_GE(mates, 2);
    EXPECT_GE(self_test_answer_count - mates, 2);
    std::string failure;
    EXPECT_TRUE(passes_self_test(answer_batch_on_host, self_test_answers, self_test_answer_count, failure)) << failure;
}

TEST(SelfTest, ADeviceThatAnswersOneSquareWronglyIsRefused)
{
    std::vector<KnownAnswer> planted(self_test_answers, self_test_answers + self_test_answer_count);
    std::string failure;
    planted[1].verdict = DLS_VERDICT_NO_MATE;
    EXPECT_FALSE(passes_self_test(answer_batch_on_host, planted.data(), self_test_answer_count, failure));
    EXPECT_EQ(failure, "square 2 of 11: 116 transversals, verdict 1; known: 116, 0");

    planted[1] = self_test_answers[1];
    planted[6].transversal_count += 1;
    EXPECT_FALSE(passes_self_test(answer_batch_on_host, planted.data(), self_test_answer_count, failure));
    EXPECT_EQ(failure, "square 7 of 11: 111 transversals, verdict 0; known: 112, 0");

    // A device that answers every square with a mate.
    EXPECT_FALSE(passes_self_test(
        [](MateBatch& batch, const char*& error) {
            answer_batch_on_host(batch, error);
            for (int i = 0; i < batch.size; ++i)
                batch.verdicts[i] = DLS_VERDICT_MATE;
            return true;
        },
        self_test_answers, self_test_answer_count, failure));
    EXPECT_EQ(failure.substr(0, 12), "square 4 of ");

    EXPECT_FALSE(passes_self_test([](MateBatch&, const char*& why) { return why = "no device", false; },
                                  self_test_answers, self_test_answer_count, failure));
    EXPECT_EQ(failure, "no device");
}

} // namespace
