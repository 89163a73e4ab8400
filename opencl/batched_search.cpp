#include "opencl/batched_search.h"

#include <boinc_api.h>

#include "dlx/mate.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"

namespace {

// The squares on their way to the device: one batch, owned here.
MateBatch pending_batch;

enum class BatchEnd { go_on, stopped, failed };

// Has the batch answered and takes its squares in order with the loop's rule.
BatchEnd settle_batch(std::FILE* result, std::uint64_t& result_length, BatchAnswerer answer, const char*& error)
{
    MateBatch& batch = pending_batch;
    if (batch.size == 0)
        return BatchEnd::go_on;
    if (!answer(batch, error))
        return BatchEnd::failed;
    const std::int32_t size = batch.size;
    batch.size = 0;
    for (std::int32_t i = 0; i < size; ++i) {
        bool has_mate = false;
        switch (batch.verdicts[i]) {
        case DLS_VERDICT_NO_MATE:
            break;
        case DLS_VERDICT_MATE:
            has_mate = true;
            break;
        case DLS_VERDICT_OVERFLOW:
            has_mate = has_orthogonal_mate(batch.squares[i]);
            break;
        default:
            error = "the device gave an answer that is no verdict";
            return BatchEnd::failed;
        }
        if (take_passing_square(result, batch.squares[i], has_mate, result_length))
            return BatchEnd::stopped;
    }
    return BatchEnd::go_on;
}

} // namespace

bool run_batched_search(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length,
                        BatchAnswerer answer, std::int32_t batch_size, const char*& error)
{
    MateBatch& batch = pending_batch;
    batch.size = 0;
    for (;;) {
        const LiveStep step = next_live_step(judgements_between_pauses);
        if (step == LiveStep::exhausted)
            return settle_batch(result, result_length, answer, error) != BatchEnd::failed;
        if (step == LiveStep::square) {
            if (!is_canonical(generator_state.chosen_bits))
                continue;
            batch.squares[batch.size++] = assembled_square;
            // No square is walked past the one the run stops at.
            const GeneratorState& s = generator_state;
            if (batch.size < batch_size && run_stops_at(assembled_square, s.passing_count + batch.size, s.end_square,
                                                        s.square_limit) == RunStop::goes_on)
                continue;
        } else if (checkpoint_path == nullptr || !boinc_time_to_checkpoint()) {
            continue;
        }
        // A full batch, the square the run stops at, or a pause at which BOINC
        // asks for a checkpoint: every square the walk has handed out is
        // settled, and the walk stands where a checkpoint may record it.
        const BatchEnd end = settle_batch(result, result_length, answer, error);
        if (end != BatchEnd::go_on)
            return end == BatchEnd::stopped;
        if (checkpoint_path != nullptr && (step == LiveStep::pause || boinc_time_to_checkpoint()))
            save_place(result, checkpoint_path, result_length);
    }
}
