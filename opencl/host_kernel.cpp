#include "opencl/host_kernel.h"

#include <vector>

#include "opencl/kernel_macros.h"

namespace usual_store {
#include "opencl/mate_kernel.cl"
constexpr int capacity = DLS_STORE_CAPACITY;
} // namespace usual_store

#undef DLS_STORE_CAPACITY
#define DLS_STORE_CAPACITY 16
namespace small_store {
#include "opencl/mate_kernel.cl"
constexpr int capacity = DLS_STORE_CAPACITY;
static_assert(capacity == host_small_store_capacity);
} // namespace small_store

namespace {

template <void (*kernel)(const dls_u8*, int, dls_u64*, int*, int*), int capacity>
bool run_on_host(MateBatch& batch)
{
    // Sized for one work item at a time: each uses only its own slice.
    std::vector<dls_u64> store(2 * capacity);
    for (int item = 0; item < batch.size; ++item) {
        dls_host_work_item = 0;
        kernel(batch.squares[item].cells, 1, store.data(), &batch.transversal_counts[item], &batch.verdicts[item]);
    }
    return true;
}

} // namespace

bool answer_batch_on_host(MateBatch& batch, const char*&)
{
    return run_on_host<usual_store::answer_mate_questions, usual_store::capacity>(batch);
}

bool answer_batch_on_host_small_store(MateBatch& batch, const char*&)
{
    return run_on_host<small_store::answer_mate_questions, small_store::capacity>(batch);
}
