#include "opencl/self_test.h"

#include "filter/canonical.h"
#include "generator/state.h"
#include "generator/walk.h"

namespace {

// Batches and a walk of its own: the run's are never touched.
MateBatch self_test_batch;
PrefixBatch self_test_prefixes;
GeneratorState self_test_walk;

// The worker's own kept completions of the prefix that self_test_walk stands
// on (prefix_length positions): how many there are, the first `capacity` of
// them into `squares`.
int kept_completions(Square* squares, int capacity)
{
    GeneratorState& walk = self_test_walk;
    int kept = 0;
    for (int k = fill_to(walk, prefix_length, 80, prefix_length); k == 80;
         k = fill_to(walk, back_up(walk, 80, prefix_length), 80, prefix_length)) {
        if (!is_canonical(walk.chosen_bits))
            continue;
        if (kept < capacity)
            squares[kept] = assembled_square;
        ++kept;
    }
    return kept;
}

// Adds the prefix that self_test_walk stands on to the test's batch, with its
// kept completions from squares[first] on (as many as batch_capacity squares
// hold); returns their number.
int add_prefix(Square* squares, int first)
{
    GeneratorState& walk = self_test_walk;
    PrefixBatch& prefixes = self_test_prefixes;
    for (int k = 0; k < prefix_length; ++k)
        prefixes.values[prefixes.size][k] = static_cast<std::uint8_t>(value_of(walk.chosen_bits[k]));
    ++prefixes.size;
    // The walk ends on the prefix again, its completions taken off.
    const int from = first < batch_capacity ? first : batch_capacity;
    return kept_completions(squares + from, batch_capacity - from);
}

Square square_from_rows(const char* rows)
{
    Square square{};
    int n = 0;
    for (const char* p = rows; *p != '\0' && n < 100; ++p)
        if (*p >= '0' && *p <= '9')
            square.cells[n++] = static_cast<std::uint8_t>(*p - '0');
    return square;
}

} // namespace

bool passes_self_test(BatchAnswerer answer, const KnownAnswer* cases, int count, std::string& failure)
{
    MateBatch& batch = self_test_batch;
    batch.size = count;
    for (int i = 0; i < count; ++i) {
        batch.squares[i] = square_from_rows(cases[i].rows);
        batch.transversal_counts[i] = -1;
        batch.verdicts[i] = -1;
    }
    const char* error = nullptr;
    if (!answer(batch, error)) {
        failure = error;
        return false;
    }
    for (int i = 0; i < count; ++i) {
        if (batch.transversal_counts[i] != cases[i].transversal_count || batch.verdicts[i] != cases[i].verdict) {
            failure = "square " + std::to_string(i + 1) + " of " + std::to_string(count) + ": " +
                      std::to_string(batch.transversal_counts[i]) + " transversals, verdict " +
                      std::to_string(batch.verdicts[i]) + "; known: " + std::to_string(cases[i].transversal_count) +
                      ", " + std::to_string(cases[i].verdict);
            return false;
        }
    }
    return true;
}

bool passes_prefix_self_test(const DeviceCalls& device, std::string& failure)
{
    static Square known[batch_capacity];
    static std::int32_t known_counts[4];
    GeneratorState& walk = self_test_walk;
    PrefixBatch& prefixes = self_test_prefixes;
    prefixes.size = 0;
    int total = 0;

    walk.diagonal_index = generator_state.diagonal_index;
    set_diagonal_masks(walk);
    for (int k = fill_to(walk, 0, prefix_length); k == prefix_length && prefixes.size < 3;
         k = fill_to(walk, back_up(walk, prefix_length), prefix_length)) {
        known_counts[prefixes.size] = add_prefix(known, total);
        total += known_counts[prefixes.size - 1];
    }
    walk = generator_state;
    const int position = walk.position < prefix_length ? walk.position : prefix_length;
    if (position >= 0) {
        if (walk.position > prefix_length) {
            // Only the first prefix_length positions stay.
            std::int32_t values[prefix_length];
            for (int k = 0; k < prefix_length; ++k)
                values[k] = value_of(walk.chosen_bits[k]);
            replay_values(walk, values, prefix_length);
        }
        if (fill_to(walk, position, prefix_length) == prefix_length) {
            known_counts[prefixes.size] = add_prefix(known, total);
            total += known_counts[prefixes.size - 1];
        }
    }

    const char* error = nullptr;
    if (!device.count(prefixes, error))
        return failure = error, false;
    MateBatch& listed = self_test_batch;
    listed.size = 0;
    int listable = 0; // the prefixes whose squares a batch holds, from the first
    for (int i = 0; i < prefixes.size; ++i) {
        if (prefixes.kept_counts[i] != known_counts[i]) {
            failure = "prefix " + std::to_string(i + 1) + " of " + std::to_string(prefixes.size) + ": " +
                      std::to_string(prefixes.kept_counts[i]) + " kept squares; known: " +
                      std::to_string(known_counts[i]);
            return false;
        }
        if (listable == i && known_counts[i] <= batch_capacity - listed.size) {
            prefixes.first_squares[i] = listed.size;
            listed.size += known_counts[i];
            ++listable;
        }
    }
    if (listed.size > 0 && !device.list(prefixes, 0, listable, listed, error))
        return failure = error, false;
    for (int n = 0; n < listed.size; ++n) {
        if (compare_squares(listed.squares[n], known[n]) != 0) {
            failure = "kept square " + std::to_string(n + 1) + " of " + std::to_string(listed.size) +
                      " differs from the worker's";
            return false;
        }
    }
    return true;
}
