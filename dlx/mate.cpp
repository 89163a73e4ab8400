#include "dlx/mate.h"

#include <cstdlib>
#include <iostream>

#include "dlx/bitset_mate.h"
#include "dlx/core.h"
#include "dlx/reused_transversals.h"
#include "dlx/transversals.h"

namespace {

constexpr std::int32_t min_transversals = 10;

[[noreturn]] void exit_over_transversal_limit(std::int32_t count)
{
    // "The number of transversals <count> exceeds the maximum <limit>".
    std::cerr << "Число трансверсалей " << count << " превышает максимум " << max_transversals << "\n\n";
    std::exit(1);
}

} // namespace

bool has_orthogonal_mate(const Square& square)
{
    const std::int32_t count = enumerate_transversals_reusing_rows(square);
    if (count < min_transversals)
        return false;
    if (count > max_transversals)
        exit_over_transversal_limit(count);
    return find_mate_by_bitsets(count);
}

void build_mate_matrix(std::int32_t count)
{
    init_column_headers(max_columns);
    for (std::int32_t i = 0; i < count; ++i) {
        const Transversal& t = transversal_store[i];
        DlxNode* const row = node_pool + 10 * i;
        for (int k = 0; k < 10; ++k)
            row[k].tag = (i << 7) | (10 * k + t.columns[k] + 1);
        append_matrix_row(row, 10);
    }
}

bool find_mate_cover()
{
    return run_exact_cover([] { return true; });
}
