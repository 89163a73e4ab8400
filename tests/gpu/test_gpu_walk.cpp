// The GPU worker's pieces that need no device: the kernel's source compiled as
// C++ and run on the host, the batched walk, the self-test.
#include <gtest/gtest.h>

#include <cstdio>
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
    // Every row 0 1 ... 9: a cell's value is its column, so every permutation
    // meeting each diagonal once is a diagonal transversal (far beyond the gate).
    Square constant_columns;
    for (int n = 0; n < 100; ++n)
        constant_columns.cells[n] = static_cast<std::uint8_t>(n % 10);
    std::vector<Square> squares = kept_squares(read_text(live_and_mixed_units()[4]), 60);
    squares.push_back(constant_columns);
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
    EXPECT_GT(usual[squares.size() - 2].first, max_transversals);
    EXPECT_EQ(usual[squares.size() - 2].second, DLS_VERDICT_OVERFLOW);
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
    reset_state();
    forget_kept_rows();
    reported_fractions.clear();
    std::FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    EXPECT_TRUE(read_workunit(input));
    std::fclose(input);
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
        const Walk batched = walk(text, answer_batch_on_host_small_store);
        EXPECT_EQ(batched.result, cpu.result) << name;
        EXPECT_EQ(batched.fractions, cpu.fractions) << name;
    }
}

TEST(BatchedSearch, AFailingOrNonsensicalDeviceEndsTheWalkWithItsReason)
{
    const std::string text = workunit_of(57, 100, Square{}, filled_square(9));
    reset_state();
    std::FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    ASSERT_TRUE(read_workunit(input));
    std::fclose(input);
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
    reset_state();
    forget_kept_rows();
    std::FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    ASSERT_TRUE(read_workunit(input));
    std::fclose(input);
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
