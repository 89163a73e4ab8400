#include "opencl/host_kernel.h"

#include <vector>

#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "opencl/kernel_macros.h"
#include "opencl/launch.h"

namespace prefix_kernels {
#include "opencl/prefix_kernel.cl"
static_assert(DLS_PREFIX_LENGTH == prefix_length);
} // namespace prefix_kernels

// Each build of the kernels below, with the capacities it was compiled for.
#define DLS_HOST_KERNELS \
    struct Kernels { \
        static constexpr int store_capacity = DLS_STORE_CAPACITY; \
        static constexpr int table_capacity = DLS_TABLE_CAPACITY; \
        static constexpr auto build = build_top_tables; \
        static constexpr auto answer = answer_mate_questions; \
    };

namespace usual_buffers {
#include "opencl/mate_kernel.cl"
DLS_HOST_KERNELS
} // namespace usual_buffers

#pragma push_macro("DLS_STORE_CAPACITY")
#undef DLS_STORE_CAPACITY
#define DLS_STORE_CAPACITY 16
namespace small_store {
#include "opencl/mate_kernel.cl"
DLS_HOST_KERNELS
static_assert(Kernels::store_capacity == host_small_store_capacity);
} // namespace small_store
#pragma pop_macro("DLS_STORE_CAPACITY")

#pragma push_macro("DLS_TABLE_CAPACITY")
#undef DLS_TABLE_CAPACITY
#define DLS_TABLE_CAPACITY 6720
namespace tight_table {
#include "opencl/mate_kernel.cl"
DLS_HOST_KERNELS
static_assert(Kernels::table_capacity == host_tight_table_capacity);
} // namespace tight_table
#pragma pop_macro("DLS_TABLE_CAPACITY")

namespace {

// One launch played on the host: the table builder over the launch's blocks,
// then the answerer over its squares, one work item after the other.
template <typename Kernels>
bool run_launch_on_host(MateBatch& batch, const MateLaunch& launch, const char*&)
{
    static std::vector<dls_u64> tables;
    static std::vector<int> bucket_starts;
    static std::vector<int> table_sizes;
    tables.resize(static_cast<std::size_t>(launch.block_count) * Kernels::table_capacity);
    bucket_starts.resize(static_cast<std::size_t>(launch.block_count) * (DLS_TOP_BUCKETS + 2));
    table_sizes.resize(launch.block_count);
    const dls_u8* const squares = batch.squares[launch.first_square].cells;
    for (int block = 0; block < launch.block_count; ++block) {
        dls_host_work_item = block;
        Kernels::build(squares, launch.block_squares, launch.block_count, tables.data(), bucket_starts.data(),
                       table_sizes.data());
    }
    // A store for one work item at a time, each playing work item 0 on its own
    // square: each uses only its own slice.
    static std::vector<dls_u64> store(2 * Kernels::store_capacity);
    dls_host_work_item = 0;
    for (int i = 0; i < launch.square_count; ++i) {
        const int n = launch.first_square + i;
        Kernels::answer(squares + 100 * i, launch.square_blocks + i, 1, tables.data(), bucket_starts.data(),
                        table_sizes.data(), store.data(), &batch.transversal_counts[n], &batch.verdicts[n]);
    }
    return true;
}

} // namespace

bool answer_batch_on_host(MateBatch& batch, const char*& error)
{
    return answer_in_launches(batch, launch_block_capacity, run_launch_on_host<usual_buffers::Kernels>, error);
}

bool answer_batch_on_host_small_store(MateBatch& batch, const char*& error)
{
    return answer_in_launches(batch, launch_block_capacity, run_launch_on_host<small_store::Kernels>, error);
}

bool answer_batch_on_host_tight_table(MateBatch& batch, const char*& error)
{
    return answer_in_launches(batch, launch_block_capacity, run_launch_on_host<tight_table::Kernels>, error);
}

bool answer_batch_on_host_few_tables(MateBatch& batch, const char*& error)
{
    return answer_in_launches(batch, host_few_tables, run_launch_on_host<usual_buffers::Kernels>, error);
}

bool count_kept_on_host(PrefixBatch& prefixes, const char*&)
{
    for (int i = 0; i < prefixes.size; ++i) {
        dls_host_work_item = i;
        prefix_kernels::count_kept_completions(prefixes.values[0], prefixes.size, generator_state.diagonal_index,
                                               cell_order_table, anti_diagonal_table[0], reflection_table[0],
                                               symmetry_index_table, symmetry_map_table, prefixes.kept_counts);
    }
    return true;
}

bool list_kept_on_host(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, MateBatch& squares,
                       const char*&)
{
    for (int i = 0; i < count; ++i) {
        dls_host_work_item = i;
        prefix_kernels::list_kept_completions(prefixes.values[first], count, generator_state.diagonal_index,
                                              cell_order_table, anti_diagonal_table[0], reflection_table[0],
                                              symmetry_index_table, symmetry_map_table,
                                              prefixes.first_squares + first, squares.squares[0].cells);
    }
    return true;
}
