#include "dlx/transversals.h"

TransversalStore transversal_store;

void build_transversal_matrix(const Square& square)
{
    init_column_headers(32);
    DlxNode* next = node_pool;
    for (std::int32_t n = 0; n < 100; ++n) {
        const std::int32_t r = n / 10;
        const std::int32_t c = n % 10;
        const std::int32_t id = n << 7;
        DlxNode* const row = next;
        row[0].tag = id | (r + 1);
        row[1].tag = id | (c + 11);
        row[2].tag = id | (square.cells[n] + 21);
        int count = 3;
        if (r == c)
            row[count++].tag = id | 31;
        else if (r + c == 9)
            row[count++].tag = id | 32;
        append_matrix_row(row, count);
        next += count;
    }
}

std::int32_t enumerate_diagonal_transversals(const Square& square)
{
    build_transversal_matrix(square);
    std::int32_t count = 0;
    run_exact_cover([&count] {
        if (count < max_transversals) {
            Transversal& record = transversal_store[count];
            for (int k = 0; k < search_depth; ++k) {
                const std::int32_t n = solution_stack[k]->tag >> 7;
                record.columns[n / 10] = static_cast<std::uint8_t>(n % 10);
            }
        }
        ++count;
        return false;
    });
    return count;
}
