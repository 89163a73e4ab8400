// The GPU worker's pieces that need no device: the kernels' source compiled as
// C++ and run on the host, the batched walk, the self-test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "tools/no_boinc.h"
#include "dlx/mate.h"
#include "dlx/reused_transversals.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "generator/tables.h"
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

// Batches of 3 prefixes and 64 squares: the host completes every prefix with
// more kept squares than that (most in live regions).
constexpr BatchSizes small_batches{3, batch_size};
// Batches of squares that hold any prefix's: the device lists them all.
constexpr BatchSizes roomy_batches{5, batch_capacity};

// The device played by the kernels compiled as C++, with `answer` for the mates.
DeviceCalls on_host(BatchAnswerer answer)
{
    return {count_kept_on_host, list_kept_on_host, answer};
}

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

Walk walk(const std::string& text, const DeviceCalls* device, BatchSizes sizes = small_batches)
{
    forget_kept_rows();
    reported_fractions.clear();
    EXPECT_TRUE(read_workunit_text(text));
    EXPECT_TRUE(prime_generator());
    std::FILE* result = std::tmpfile();
    Walk w;
    const char* error = nullptr;
    if (device == nullptr) {
        run_search(result);
        w.finished = true;
    } else {
        w.finished = run_batched_search(result, nullptr, 0, *device, sizes, error);
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
    // Every square the run takes is answered once, and none past its stop.
    static std::uint64_t answered;
    const DeviceCalls device = on_host([](MateBatch& batch, const char*& error) {
        answered += static_cast<std::uint64_t>(batch.size);
        return answer_batch_on_host(batch, error);
    });
    for (const auto& [name, text] : batch_edge_units()) {
        const Walk cpu = walk(text, nullptr);
        for (const BatchSizes sizes : {small_batches, roomy_batches}) {
            answered = 0;
            const Walk batched = walk(text, &device, sizes);
            EXPECT_TRUE(batched.finished) << name;
            EXPECT_EQ(batched.result, cpu.result) << name;
            EXPECT_EQ(batched.fractions, cpu.fractions) << name;
            EXPECT_EQ(batched.passing_count, cpu.passing_count) << name;
            EXPECT_EQ(answered, cpu.passing_count) << name;
        }
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
            const DeviceCalls device = on_host(answer);
            const Walk batched = walk(text, &device);
            EXPECT_EQ(batched.result, cpu.result) << name;
            EXPECT_EQ(batched.fractions, cpu.fractions) << name;
        }
    }
}

TEST(BatchedSearch, ARunResumedFromTheCpuWorkersPauseInsideAPrefixGoesOnExactly)
{
    // dlsmate's checkpoints record pauses of its walk, some deeper than a
    // prefix: the GPU walk completes the rest of that prefix on the host.
    std::string text = read_text(live_and_mixed_units()[5]);
    text.replace(0, text.find('\n'), "36 2000");
    forget_kept_rows();
    ASSERT_TRUE(read_workunit_text(text));
    ASSERT_TRUE(prime_generator());
    std::vector<std::int32_t> values;
    std::uint64_t passed = 0;
    for (LiveStep step; (step = next_live_step(3)) != LiveStep::exhausted;) {
        passed += step == LiveStep::square && is_canonical(generator_state.chosen_bits);
        if (step == LiveStep::pause && generator_state.position > prefix_length && passed > 100) {
            for (int k = 0; k < generator_state.position; ++k)
                values.push_back(value_of(generator_state.chosen_bits[k]));
            break;
        }
    }
    ASSERT_FALSE(values.empty());

    const DeviceCalls device = on_host(answer_batch_on_host);
    std::string results[2];
    for (int run = 0; run < 2; ++run) {
        forget_kept_rows();
        ASSERT_TRUE(read_workunit_text(text));
        ASSERT_TRUE(resume_generator(values.data(), static_cast<int>(values.size())));
        ASSERT_GT(generator_state.position, prefix_length);
        generator_state.passing_count = passed;
        std::FILE* result = std::tmpfile();
        const char* error = nullptr;
        if (run == 0)
            run_search(result);
        else
            EXPECT_TRUE(run_batched_search(result, nullptr, 0, device, small_batches, error));
        results[run] = contents_of(result);
        std::fclose(result);
    }
    EXPECT_EQ(results[1], results[0]);
    EXPECT_NE(results[0].find("X\r\n36 2000\r\n"), std::string::npos); // the limit's closing records
}

TEST(BatchedSearch, AFailingOrNonsensicalDeviceEndsTheWalkWithItsReason)
{
    const std::string text = workunit_of(57, 100, Square{}, filled_square(9));
    std::FILE* result = std::tmpfile();
    const auto expect_failure = [&](const DeviceCalls& device, const char* reason) {
        ASSERT_TRUE(read_workunit_text(text));
        ASSERT_TRUE(prime_generator());
        generator_state.passing_count = 0;
        const char* error = nullptr;
        EXPECT_FALSE(run_batched_search(result, nullptr, 0, device, roomy_batches, error));
        EXPECT_STREQ(error, reason);
        EXPECT_EQ(contents_of(result), "");
    };
    expect_failure(on_host([](MateBatch&, const char*& why) { return why = "lost", false; }), "lost");
    expect_failure(on_host([](MateBatch& batch, const char*&) {
                       for (int i = 0; i < batch.size; ++i)
                           batch.verdicts[i] = 7;
                       return true;
                   }),
                   "the device gave an answer that is no verdict");
    expect_failure({[](PrefixBatch&, const char*& why) { return why = "no count", false; }, list_kept_on_host,
                    answer_batch_on_host},
                   "no count");
    expect_failure({[](PrefixBatch& prefixes, const char*&) {
                        for (int i = 0; i < prefixes.size; ++i)
                            prefixes.kept_counts[i] = -1;
                        return true;
                    },
                    list_kept_on_host, answer_batch_on_host},
                   "the device gave a count that is none");
    expect_failure({count_kept_on_host,
                    [](const PrefixBatch&, std::int32_t, std::int32_t, MateBatch&, const char*& why) {
                        return why = "no list", false;
                    },
                    answer_batch_on_host},
                   "no list");
    // Listed squares out of order, or of another prefix.
    const char* const disorder = "the device listed squares that do not complete their prefixes in order";
    expect_failure({count_kept_on_host,
                    [](const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                       const char*& why) {
                        list_kept_on_host(prefixes, first, count, squares, why);
                        std::swap(squares.squares[0], squares.squares[1]);
                        return true;
                    },
                    answer_batch_on_host},
                   disorder);
    expect_failure({count_kept_on_host,
                    [](const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                       const char*& why) {
                        list_kept_on_host(prefixes, first, count, squares, why);
                        squares.squares[0].cells[1] ^= 1;
                        return true;
                    },
                    answer_batch_on_host},
                   disorder);
    std::fclose(result);
}

TEST(BatchedSearch, CheckpointsBetweenBatchesFromWhichTheCpuWorkerGoesOnExactly)
{
    const std::string text = workunit_of(36, 2000, Square{}, filled_square(9));
    const Walk cpu = walk(text, nullptr);

    const std::string checkpoint = make_temporary_directory() + "/checkpoint";
    forget_kept_rows();
    ASSERT_TRUE(read_workunit_text(text));
    ASSERT_TRUE(prime_generator());
    std::FILE* result = std::tmpfile();
    checkpoint_due = true;
    completed_checkpoints = 0;
    const char* error = nullptr;
    // A device that fails at its third batch of prefixes leaves the checkpoint
    // taken after the second.
    static int batches;
    batches = 0;
    const DeviceCalls device{
        [](PrefixBatch& prefixes, const char*& why) { return ++batches <= 2 ? count_kept_on_host(prefixes, why) : false; },
        list_kept_on_host, answer_batch_on_host};
    EXPECT_FALSE(run_batched_search(result, checkpoint.c_str(), 0, device, small_batches, error));
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
    EXPECT_LT(place.passing_count, cpu.passing_count);
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

TEST(SelfTest, TheKernelsOnTheHostCompleteThePrefixesOfEverySpaceAsTheWorkerDoes)
{
    std::vector<std::string> units = live_and_mixed_units();
    units.push_back(std::string(DLSMATE_BENCH_UNITS_DIR) + "/dead-50-random.wu");
    units.push_back(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu");
    for (const std::string& unit : units) {
        ASSERT_TRUE(read_workunit_text(read_text(unit)));
        ASSERT_TRUE(prime_generator());
        std::string failure;
        EXPECT_TRUE(passes_prefix_self_test(on_host(answer_batch_on_host), failure)) << unit << ": " << failure;
    }
    // Every space: from its first square, and from inside a prefix.
    for (int d = 1; d <= 67; d += 11) {
        ASSERT_TRUE(read_workunit_text(workunit_of(d, 10, Square{}, filled_square(9))));
        ASSERT_TRUE(prime_generator());
        std::string failure;
        EXPECT_TRUE(passes_prefix_self_test(on_host(answer_batch_on_host), failure)) << d << ": " << failure;
    }
}

TEST(SelfTest, ADeviceThatCompletesAPrefixWronglyIsRefused)
{
    ASSERT_TRUE(read_workunit_text(read_text(live_and_mixed_units()[2])));
    ASSERT_TRUE(prime_generator());
    static std::int32_t known[4];
    std::string failure;
    const KeptCounter recording = [](PrefixBatch& prefixes, const char*& error) {
        count_kept_on_host(prefixes, error);
        for (int i = 0; i < prefixes.size; ++i)
            known[i] = prefixes.kept_counts[i];
        return true;
    };
    ASSERT_TRUE(passes_prefix_self_test({recording, list_kept_on_host, answer_batch_on_host}, failure)) << failure;
    const std::int32_t total = known[0] + known[1] + known[2] + known[3];
    ASSERT_GT(known[1], 0);

    const KeptCounter one_more = [](PrefixBatch& prefixes, const char*& error) {
        count_kept_on_host(prefixes, error);
        ++prefixes.kept_counts[1];
        return true;
    };
    EXPECT_FALSE(passes_prefix_self_test({one_more, list_kept_on_host, answer_batch_on_host}, failure));
    EXPECT_EQ(failure, "prefix 2 of 4: " + std::to_string(known[1] + 1) + " kept squares; known: " +
                           std::to_string(known[1]));

    const KeptLister one_cell_off = [](const PrefixBatch& prefixes, std::int32_t first, std::int32_t count,
                                       MateBatch& squares, const char*& error) {
        list_kept_on_host(prefixes, first, count, squares, error);
        squares.squares[2].cells[99] ^= 1;
        return true;
    };
    EXPECT_FALSE(passes_prefix_self_test({count_kept_on_host, one_cell_off, answer_batch_on_host}, failure));
    EXPECT_EQ(failure, "kept square 3 of " + std::to_string(total) + " differs from the worker's");

    const KeptCounter none = [](PrefixBatch&, const char*& error) { return error = "no device", false; };
    EXPECT_FALSE(passes_prefix_self_test({none, list_kept_on_host, answer_batch_on_host}, failure));
    EXPECT_EQ(failure, "no device");
}

} // namespace
