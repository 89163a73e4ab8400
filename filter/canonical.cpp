#include "filter/canonical.h"

#include "filter/tables.h"
#include "generator/state.h"
#include "generator/tables.h"

Square source_squares[2];
std::int32_t source_count;

namespace {

inline void assemble_square(const std::uint32_t* chosen_bits, const std::int32_t* anti, Square& q)
{
    for (int r = 0; r < 10; ++r) {
        q.cells[11 * r] = static_cast<std::uint8_t>(r);
        q.cells[9 * r + 9] = static_cast<std::uint8_t>(anti[r]);
    }
    const std::int32_t* const cells = cell_order_table;
    for (int i = 0; i < 80; ++i) {
        const std::int32_t e = cells[i];
        q.cells[square_offset(e)] = static_cast<std::uint8_t>(value_of(chosen_bits[i]));
    }
}

// Row-reverses q, permutes rows and columns by p and renames the symbols so that
// the main diagonal reads 0-9 again.
inline void reflect_square(const Square& q, const std::int32_t* p, Square& reflected)
{
    std::uint8_t* const out = reflected.cells;
    for (int j = 0; j < 10; ++j) {
        const std::uint8_t* const row = q.cells + 10 * p[j];
        for (int k = 0; k < 10; ++k)
            out[10 * j + k] = row[9 - p[k]];
    }
    std::uint8_t rename[10];
    for (int j = 0; j < 10; ++j)
        rename[out[11 * j]] = static_cast<std::uint8_t>(j);
    for (int n = 0; n < 100; ++n)
        out[n] = rename[out[n]];
}

} // namespace

bool is_canonical(const std::uint32_t* chosen_bits)
{
    const std::int32_t d = generator_state.diagonal_index;
    assemble_square(chosen_bits, anti_diagonal_table[d], assembled_square);

    if (d < reflection_row_count) {
        source_count = 2;
        reflect_square(assembled_square, reflection_table[d], reflected_square);
        if (compare_squares(reflected_square, assembled_square) < 0)
            return false;
    } else {
        source_count = 1;
    }

    const std::uint32_t word = symmetry_index_table[d];
    const std::uint32_t start = word >> 5;
    const std::uint32_t count = word & 31;
    for (std::uint32_t k = start; k < start + count; ++k) {
        if (!passes_symmetry_map(symmetry_map_table[k].positions, symmetry_map_table[k].values))
            return false;
    }
    return true;
}

bool passes_symmetry_map(const std::int32_t* positions, const std::int32_t* values)
{
    const std::uint8_t* const q = source_squares[0].cells;
    const std::uint8_t* const sources[2] = {source_squares[0].cells, source_squares[1].cells};

    // The slots whose images have equalled q on every compared cell so far.
    int live[2] = {0, 1};
    int live_count = source_count;

    for (int r = 0; r < 9; ++r) {
        const int source_row = 10 * positions[r];
        for (int c = 0; c < 9; ++c) {
            if (c == r || c == 9 - r)
                continue;
            const std::int32_t a = q[10 * r + c];
            const int source_cell = source_row + positions[c];
            int next[2] = {0, 0};
            int next_count = 0;
            for (int i = 0; i < live_count; ++i) {
                const std::int32_t v = values[sources[live[i]][source_cell]];
                if (a > v)
                    return false;
                if (a == v)
                    next[next_count++] = live[i];
            }
            if (next_count == 0)
                return true;
            live[0] = next[0];
            live[1] = next[1];
            live_count = next_count;
        }
    }
    return true;
}
