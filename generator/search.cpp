#include "generator/search.h"

#include <boinc_api.h>

#include "dlx/mate.h"
#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "io/result_file.h"

void run_search(std::FILE* result)
{
    GeneratorState& s = generator_state;
    Square current_square;

    while (next_live_square()) {
        if (!is_canonical(s.chosen_bits))
            continue;
        current_square = assembled_square;
        ++s.passing_count;

        if (has_orthogonal_mate(current_square))
            write_square_record(result, current_square);

        if (s.passing_count % 1000 == 0)
            boinc_fraction_done(static_cast<double>(s.passing_count) / static_cast<double>(s.square_limit));

        if (compare_squares(current_square, s.end_square) >= 0 || s.passing_count >= s.square_limit) {
            write_closing_records(result, current_square);
            return;
        }
    }
}
