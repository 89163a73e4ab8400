#include "opencl/batched_search.h"

#include <boinc_api.h>

#include "dlx/mate.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "generator/walk.h"

namespace {

// The batches on their way to the device, and the walk the host completes a
// prefix with: owned here.
PrefixBatch pending_prefixes;
MateBatch pending_squares;
GeneratorState host_walk;

enum class BatchEnd { go_on, stopped, failed };

// Has the squares of pending_squares answered and takes them in order with the
// loop's rule.
BatchEnd settle_squares(std::FILE* result, std::uint64_t& result_length, BatchAnswerer answer, const char*& error)
{
    MateBatch& batch = pending_squares;
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

// Whether the run stops at square i of pending_squares (none before it does).
bool stops_at(std::int32_t i)
{
    const GeneratorState& s = generator_state;
    return run_stops_at(pending_squares.squares[i], s.passing_count + static_cast<std::uint64_t>(i) + 1, s.end_square,
                        s.square_limit) != RunStop::goes_on;
}

// Completes on the host the prefix of prefix_length positions that host_walk
// stands in: its squares from position k on, the kept ones answered
// `batch_size` at a time.
BatchEnd complete_on_host(int k, std::FILE* result, std::uint64_t& result_length, BatchAnswerer answer,
                          std::int32_t batch_size, const char*& error)
{
    GeneratorState& walk = host_walk;
    MateBatch& batch = pending_squares;
    batch.size = 0;
    for (k = fill_to(walk, k, 80, prefix_length); k == 80;
         k = fill_to(walk, back_up(walk, 80, prefix_length), 80, prefix_length)) {
        if (!is_canonical(walk.chosen_bits))
            continue;
        batch.squares[batch.size++] = assembled_square;
        if (batch.size == batch_size || stops_at(batch.size - 1)) {
            const BatchEnd end = settle_squares(result, result_length, answer, error);
            if (end != BatchEnd::go_on)
                return end;
        }
    }
    return settle_squares(result, result_length, answer, error);
}

// Whether the squares listed for prefixes first .. first + count - 1 each begin
// with their prefix, in increasing order.
bool listed_in_order(const PrefixBatch& prefixes, std::int32_t first, std::int32_t count, const MateBatch& squares)
{
    std::int32_t n = 0;
    for (std::int32_t i = first; i < first + count; ++i) {
        for (std::int32_t j = 0; j < prefixes.kept_counts[i]; ++j, ++n) {
            for (int k = 0; k < prefix_length; ++k) {
                if (squares.squares[n].cells[square_offset(cell_order_table[k])] != prefixes.values[i][k])
                    return false;
            }
            if (n > 0 && compare_squares(squares.squares[n - 1], squares.squares[n]) >= 0)
                return false;
        }
    }
    return true;
}

// Has the prefixes of pending_prefixes completed and their squares answered,
// and takes those in order with the loop's rule.
BatchEnd settle_prefixes(std::FILE* result, std::uint64_t& result_length, const DeviceCalls& device,
                         std::int32_t batch_size, const char*& error)
{
    PrefixBatch& prefixes = pending_prefixes;
    MateBatch& squares = pending_squares;
    const std::int32_t size = prefixes.size;
    if (size == 0)
        return BatchEnd::go_on;
    const bool counted = device.count(prefixes, error);
    prefixes.size = 0;
    if (!counted)
        return BatchEnd::failed;
    for (std::int32_t first = 0; first < size;) {
        const std::int32_t kept = prefixes.kept_counts[first];
        if (kept < 0) {
            error = "the device gave a count that is none";
            return BatchEnd::failed;
        }
        if (kept > batch_size) {
            // More squares than a batch holds: the host completes this one.
            host_walk.diagonal_index = generator_state.diagonal_index;
            std::int32_t values[prefix_length];
            for (int k = 0; k < prefix_length; ++k)
                values[k] = prefixes.values[first][k];
            replay_values(host_walk, values, prefix_length);
            const BatchEnd end = complete_on_host(prefix_length, result, result_length, device.answer, batch_size, error);
            if (end != BatchEnd::go_on)
                return end;
            ++first;
            continue;
        }
        // As many whole prefixes as a batch of squares holds.
        std::int32_t count = 0;
        std::int32_t total = 0;
        while (first + count < size && prefixes.kept_counts[first + count] >= 0 &&
               prefixes.kept_counts[first + count] <= batch_size - total) {
            prefixes.first_squares[first + count] = total;
            total += prefixes.kept_counts[first + count];
            ++count;
        }
        squares.size = total;
        if (total > 0) {
            if (!device.list(prefixes, first, count, squares, error))
                return squares.size = 0, BatchEnd::failed;
            if (!listed_in_order(prefixes, first, count, squares)) {
                squares.size = 0;
                error = "the device listed squares that do not complete their prefixes in order";
                return BatchEnd::failed;
            }
        }
        // No square past the one the run stops at is answered.
        for (std::int32_t i = 0; i < squares.size; ++i) {
            if (stops_at(i)) {
                squares.size = i + 1;
                break;
            }
        }
        const BatchEnd end = settle_squares(result, result_length, device.answer, error);
        if (end != BatchEnd::go_on)
            return end;
        first += count;
    }
    return BatchEnd::go_on;
}

} // namespace

bool run_batched_search(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length,
                        const DeviceCalls& device, BatchSizes sizes, const char*& error)
{
    GeneratorState& s = generator_state;
    pending_prefixes.size = 0;
    pending_squares.size = 0;
    if (s.position > prefix_length) {
        // A run that starts inside a prefix: the host completes it.
        host_walk = s;
        const BatchEnd end = complete_on_host(s.position, result, result_length, device.answer, sizes.squares, error);
        if (end != BatchEnd::go_on)
            return end == BatchEnd::stopped;
        if (!leave_prefix())
            return true;
    }

    PrefixBatch& prefixes = pending_prefixes;
    for (;;) {
        std::uint32_t prefix[prefix_length];
        const LiveStep step = next_live_prefix_step(judgements_between_pauses, prefix);
        if (step == LiveStep::square) {
            for (int k = 0; k < prefix_length; ++k)
                prefixes.values[prefixes.size][k] = static_cast<std::uint8_t>(value_of(prefix[k]));
            if (++prefixes.size < sizes.prefixes)
                continue;
        } else if (step == LiveStep::pause && (checkpoint_path == nullptr || !boinc_time_to_checkpoint())) {
            continue;
        }
        // A full batch, the end of the space, or a pause at which BOINC asks
        // for a checkpoint: every prefix the walk has handed out is settled,
        // and the walk stands where a checkpoint may record it.
        const BatchEnd end = settle_prefixes(result, result_length, device, sizes.squares, error);
        if (end != BatchEnd::go_on)
            return end == BatchEnd::stopped;
        if (step == LiveStep::exhausted)
            return true;
        if (checkpoint_path != nullptr && s.position >= 0 && (step == LiveStep::pause || boinc_time_to_checkpoint()))
            save_place(result, checkpoint_path, result_length);
    }
}
