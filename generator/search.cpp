#include "generator/search.h"

#include <boinc_api.h>
#include <filesys.h>

#include "dlx/mate.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "io/checkpoint.h"
#include "io/result_file.h"

// A failed write leaves the previous checkpoint, which is still a place to go
// on from; BOINC is told the checkpoint is done either way.
void save_place(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length)
{
    const GeneratorState& s = generator_state;
    if (std::fflush(result) == 0) {
        WalkPlace place;
        place.passing_count = s.passing_count;
        place.result_length = result_length;
        place.filled = s.position;
        for (int k = 0; k < s.position; ++k)
            place.values[k] = value_of(s.chosen_bits[k]);
        write_checkpoint(checkpoint_path, place);
    }
    boinc_checkpoint_completed();
}

namespace {

// Whether a run of the unit can stand on the place: every run starts where
// prime_generator left the walk, on the prefix in chosen_bits, and from there
// either extends that prefix or backs up to a larger value, so a place that
// stops short of it or turns below it lies before the unit's start.  Reads the
// primed state only.
bool follows_primed_start(const WalkPlace& place)
{
    const GeneratorState& s = generator_state;
    const int common = place.filled < s.position ? place.filled : s.position;
    for (int k = 0; k < common; ++k) {
        const int primed = value_of(s.chosen_bits[k]);
        if (place.values[k] != primed)
            return place.values[k] > primed;
    }
    return place.filled >= s.position;
}

} // namespace

bool take_passing_square(std::FILE* result, const Square& square, bool has_mate, std::uint64_t& result_length)
{
    GeneratorState& s = generator_state;
    ++s.passing_count;
    if (has_mate) {
        write_square_record(result, square);
        result_length += square_record_size;
    }

    if (s.passing_count % 1000 == 0)
        boinc_fraction_done(static_cast<double>(s.passing_count) / static_cast<double>(s.square_limit));

    if (run_stops_at(square, s.passing_count, s.end_square, s.square_limit) != RunStop::goes_on) {
        write_closing_records(result, square);
        return true;
    }
    return false;
}

void run_search(std::FILE* result, const char* checkpoint_path, std::uint64_t result_length)
{
    Square current_square;

    for (;;) {
        const LiveStep step = next_live_step(judgements_between_pauses);
        if (step == LiveStep::exhausted)
            return;
        if (step == LiveStep::square) {
            if (!is_canonical(generator_state.chosen_bits))
                continue;
            current_square = assembled_square;
            if (take_passing_square(result, current_square, has_orthogonal_mate(current_square), result_length))
                return;
        }
        if (checkpoint_path != nullptr && boinc_time_to_checkpoint())
            save_place(result, checkpoint_path, result_length);
    }
}

Resumption resume_search(const char* checkpoint_path, const char* result_path, std::uint64_t& result_length,
                         const char*& reason)
{
    GeneratorState& s = generator_state;
    WalkPlace place;
    switch (read_checkpoint(checkpoint_path, place, reason)) {
    case CheckpointRead::absent:
        return Resumption::fresh;
    case CheckpointRead::ignored:
        break;
    case CheckpointRead::matches:
        double size = 0;
        if (!follows_primed_start(place)) {
            reason = "it is damaged";
            break;
        }
        if (!resume_generator(place.values, place.filled)) {
            reason = "it is damaged";
        } else if (file_size(result_path, size) != 0 || size < static_cast<double>(place.result_length)) {
            reason = "the result file is shorter than it records";
        } else if (boinc_truncate(result_path, static_cast<double>(place.result_length)) != 0) {
            reason = "the result file cannot be cut back to it";
        } else {
            s.passing_count = place.passing_count;
            result_length = place.result_length;
            boinc_fraction_done(static_cast<double>(s.passing_count) / static_cast<double>(s.square_limit));
            return Resumption::resumed;
        }
        prime_generator();
        break;
    }
    remove_checkpoint(checkpoint_path);
    return Resumption::ignored;
}
