// The device's answers (OpenCL, or CUDA in dlsmate_cuda_device_tests) against
// the worker's own.  DLSMATE_GPU_SWEEP=1 (ctest -L gpu-sweep) checks 3000 kept
// squares of each live and mixed unit and 1000 squares with mates instead of
// 100 and 250, and 400 prefixes of each unit instead of 40.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "dlx/mate.h"
#include "dlx/reused_transversals.h"
#include "generator/state.h"
#include "opencl/device.h"
#include "opencl/host_kernel.h"
#include "opencl/self_test.h"
#include "test_squares.h"

namespace {

bool sweep()
{
    const char* value = std::getenv("DLSMATE_GPU_SWEEP");
    return value != nullptr && std::string(value) == "1";
}

// Opens the device once for the whole program, with the usual store.
class Device : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::string description, error;
        ASSERT_TRUE(choose_device(false, description, error)) << error;
        std::printf("device: %s\n", description.c_str());
        ASSERT_TRUE(open_mate_kernel(mate_store_capacity, mate_table_capacity, error)) << error;
    }
    static void TearDownTestSuite() { close_mate_kernel(); }
};

MateBatch batch;

// Checks the device's answers for `squares` against the worker's; returns the
// number of squares with a mate.  With `table_capacity` the device leaves to
// the host, uncounted, every square whose rows 0-4 have more partial
// transversals than that, and with `store_capacity` every square with more
// transversals than that, counted.
int check_answers(const std::vector<Square>& squares, int store_capacity, int table_capacity)
{
    int mates = 0;
    for (std::size_t from = 0; from < squares.size(); from += batch_capacity) {
        batch.size = static_cast<std::int32_t>(std::min<std::size_t>(batch_capacity, squares.size() - from));
        for (int i = 0; i < batch.size; ++i)
            batch.squares[i] = squares[from + i];
        const char* error = nullptr;
        EXPECT_TRUE(answer_batch_on_device(batch, error)) << error;
        for (int i = 0; i < batch.size; ++i) {
            const Square& square = batch.squares[i];
            if (table_capacity < mate_table_capacity && top_partial_count(square) > table_capacity) {
                EXPECT_EQ(batch.transversal_counts[i], -1) << "square " << from + i;
                EXPECT_EQ(batch.verdicts[i], DLS_VERDICT_OVERFLOW) << "square " << from + i;
                continue;
            }
            const std::int32_t count = enumerate_transversals_reusing_rows(square);
            EXPECT_EQ(batch.transversal_counts[i], count) << "square " << from + i;
            if (count > store_capacity) {
                EXPECT_EQ(batch.verdicts[i], DLS_VERDICT_OVERFLOW) << "square " << from + i;
                continue;
            }
            const bool mate = has_orthogonal_mate(square);
            EXPECT_EQ(batch.verdicts[i], mate ? DLS_VERDICT_MATE : DLS_VERDICT_NO_MATE) << "square " << from + i;
            mates += mate;
        }
    }
    return mates;
}

TEST_F(Device, AnswersAsTheWorkerDoesOnKeptSquaresOfLiveAndMixedUnits)
{
    const int per_unit = sweep() ? 3000 : 100;
    std::vector<Square> squares;
    for (const std::string& unit : live_and_mixed_units()) {
        const std::vector<Square> kept = kept_squares(read_text(unit), per_unit);
        ASSERT_EQ(static_cast<int>(kept.size()), per_unit) << unit;
        squares.insert(squares.end(), kept.begin(), kept.end());
    }
    check_answers(squares, mate_store_capacity, mate_table_capacity);
    std::printf("%zu kept squares checked\n", squares.size());
}

TEST_F(Device, FindsTheMateOfEveryImageOfTheKnownSquaresWithMates)
{
    const std::vector<Square> squares = squares_with_mates(sweep() ? 1000 : 250);
    EXPECT_EQ(check_answers(squares, mate_store_capacity, mate_table_capacity), static_cast<int>(squares.size()));
}

TEST_F(Device, PassesTheSelfTest)
{
    std::string failure;
    EXPECT_TRUE(passes_self_test(answer_batch_on_device, self_test_answers, self_test_answer_count, failure)) << failure;
    kept_squares(read_text(live_and_mixed_units()[0]), 0);
    EXPECT_TRUE(passes_prefix_self_test({count_kept_on_device, list_kept_on_device, answer_batch_on_device}, failure))
        << failure;
}

TEST_F(Device, CompletesPrefixesAsTheKernelsOnTheHostDo)
{
    static PrefixBatch prefixes;
    static MateBatch listed[2];
    std::vector<std::string> units = live_and_mixed_units();
    units.push_back(std::string(DLSMATE_SAMPLES_DIR) + "/sample.wu");
    std::int64_t squares = 0;
    for (const std::string& unit : units) {
        handed_out_prefixes(read_text(unit), sweep() ? 400 : 40, prefixes);
        ASSERT_GT(prefixes.size, 0) << unit;
        const char* error = nullptr;
        ASSERT_TRUE(count_kept_on_host(prefixes, error));
        const std::vector<std::int32_t> host_counts(prefixes.kept_counts, prefixes.kept_counts + prefixes.size);
        ASSERT_TRUE(count_kept_on_device(prefixes, error)) << error;
        ASSERT_EQ(std::vector<std::int32_t>(prefixes.kept_counts, prefixes.kept_counts + prefixes.size), host_counts)
            << unit;
        // A batch of squares at a time, as the walk lists them.
        for (std::int32_t first = 0, count = 0; first < prefixes.size; first += count) {
            std::int32_t total = 0;
            for (count = 0; first + count < prefixes.size && total + host_counts[first + count] <= batch_capacity;
                 ++count) {
                prefixes.first_squares[first + count] = total;
                total += host_counts[first + count];
            }
            listed[0].size = listed[1].size = total;
            ASSERT_TRUE(list_kept_on_host(prefixes, first, count, listed[0], error));
            ASSERT_TRUE(list_kept_on_device(prefixes, first, count, listed[1], error)) << error;
            ASSERT_EQ(std::memcmp(listed[0].squares, listed[1].squares, sizeof(Square) * total), 0) << unit;
            squares += total;
        }
    }
    EXPECT_GT(squares, 5000);
}

// Reopens the kernels with a store of `store_capacity` and tables of
// `table_capacity`; false (and the usual kernels) where this device's kernels
// are built with fixed buffers.
bool reopen_with(int store_capacity, int table_capacity, std::string& error)
{
    close_mate_kernel();
    if (open_mate_kernel(store_capacity, table_capacity, error))
        return true;
    std::string usual_error;
    EXPECT_TRUE(open_mate_kernel(mate_store_capacity, mate_table_capacity, usual_error)) << usual_error;
    return false;
}

TEST_F(Device, LeavesSquaresBeyondASmallStoreOrATightTableToTheHost)
{
    std::vector<Square> squares = kept_squares(read_text(live_and_mixed_units()[4]), 60);
    // Rows 0-4 of the first live unit have more partial transversals (6,746)
    // than the tight table of the host tests holds, those of the mixed unit
    // fewer (6,696-6,706).
    const std::vector<Square> live = kept_squares(read_text(live_and_mixed_units()[0]), 20);
    const std::vector<Square> mates = squares_with_mates(20);
    squares.insert(squares.end(), live.begin(), live.end());
    squares.insert(squares.end(), mates.begin(), mates.end());
    std::string error;
    if (!reopen_with(16, mate_table_capacity, error))
        GTEST_SKIP() << "this device's kernels have fixed buffers: " << error;
    check_answers(squares, 16, mate_table_capacity);
    ASSERT_TRUE(reopen_with(mate_store_capacity, host_tight_table_capacity, error)) << error;
    check_answers(squares, mate_store_capacity, host_tight_table_capacity);
    ASSERT_TRUE(reopen_with(mate_store_capacity, mate_table_capacity, error)) << error;
}

} // namespace
