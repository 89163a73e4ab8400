#include "reference/half_transversals.h"

#include <bit>
#include <cstring>

#include "dlx/core.h"
#include "dlx/row_index.h"
#include "dlx/transversals.h"

// A partial transversal of five square rows is described by one word (see
// dlx/row_index.h): its columns, the diagonals it meets, its values.  Each half meets
// each diagonal at most once; two halves join into a diagonal transversal when
// their columns and their values are complementary and they meet each diagonal
// once between them.
//
// The walk over a half never tries a cell that does not fit: for each square row
// it keeps, per set of free values, the columns that hold one of them, so the
// candidates of a row are two table lookups and a few masks away.

namespace {

// Number of five-element subsets of ten, and each subset's rank (0-251).
constexpr int half_set_count = 252;

struct HalfSetRanks {
    std::uint8_t rank[1024];
};

constexpr HalfSetRanks make_half_set_ranks()
{
    HalfSetRanks ranks{};
    int next = 0;
    for (int set = 0; set < 1024; ++set) {
        int bits = 0;
        for (int b = 0; b < 10; ++b)
            bits += (set >> b) & 1;
        ranks.rank[set] = bits == 5 ? static_cast<std::uint8_t>(next++) : 0;
    }
    return ranks;
}

constexpr HalfSetRanks half_set_ranks = make_half_set_ranks();

inline int join_key(std::uint32_t columns, std::uint32_t values)
{
    return half_set_ranks.rank[columns] * half_set_count + half_set_ranks.rank[values];
}

// At most 10 * 9 * 8 * 7 * 6 column choices for five rows.
constexpr int max_half_partials = 30240;

// Top-half partial transversals: their columns, four bits per row, and the
// diagonals they meet; chained by join key.
std::uint32_t top_columns[max_half_partials];
std::uint8_t top_diagonals[max_half_partials];
std::uint16_t top_next[max_half_partials];

// Join table: for each key, the first top partial (index + 1, 0 for none), valid
// only when its stamp is the current square's.
struct JoinSlot {
    std::uint16_t stamp;
    std::uint16_t head;
};
JoinSlot join_table[half_set_count * half_set_count];
std::uint16_t current_stamp;

RowIndex row_index[10];

void load_rows(const Square& square)
{
    for (int r = 0; r < 10; ++r)
        index_row(row_index[r], square.cells + 10 * r, r);
}

void next_stamp()
{
    if (++current_stamp == 0) {
        std::memset(join_table, 0, sizeof join_table);
        current_stamp = 1;
    }
}

// Visits every partial transversal of square rows first .. first + 4, calling
// leaf(word, packed) with the chosen column of each row four bits a row.
template <int depth, typename Leaf>
inline void walk_half(const RowIndex* rows, std::uint32_t word, std::uint32_t packed, Leaf& leaf)
{
    const RowIndex& row = rows[depth];
    for (std::uint32_t open = open_columns(row, word); open != 0; open &= open - 1) {
        const int c = std::countr_zero(open);
        const std::uint32_t next_word = word | row.cell_word[c];
        const std::uint32_t next_packed = packed | static_cast<std::uint32_t>(c) << (4 * depth);
        if constexpr (depth == 4)
            leaf(next_word, next_packed);
        else
            walk_half<depth + 1>(rows, next_word, next_packed, leaf);
    }
}

} // namespace

std::int32_t enumerate_transversals_by_halves(const Square& square)
{
    load_rows(square);
    next_stamp();
    const std::uint16_t stamp = current_stamp;

    int top_count = 0;
    auto add_top = [&](std::uint32_t word, std::uint32_t packed) {
        JoinSlot& slot = join_table[join_key(word & all_ten, (word >> value_shift) & all_ten)];
        top_columns[top_count] = packed;
        top_diagonals[top_count] = static_cast<std::uint8_t>(word >> diagonal_shift);
        top_next[top_count] = slot.stamp == stamp ? slot.head : 0;
        slot.stamp = stamp;
        slot.head = static_cast<std::uint16_t>(++top_count);
    };
    walk_half<0>(row_index, 0, 0, add_top);

    std::int32_t count = 0;
    auto join_bottom = [&](std::uint32_t word, std::uint32_t packed) {
        const JoinSlot slot = join_table[join_key(~word & all_ten, (~word >> value_shift) & all_ten)];
        if (slot.stamp != stamp)
            return;
        const std::uint32_t diagonals = (word >> diagonal_shift) & 3;
        for (int i = slot.head; i != 0; i = top_next[i - 1]) {
            if (((top_diagonals[i - 1] & 3) ^ diagonals) != 3)
                continue;
            if (count < max_transversals) {
                std::uint8_t* const columns = transversal_store[count].columns;
                const std::uint32_t top = top_columns[i - 1];
                for (int r = 0; r < 5; ++r) {
                    columns[r] = static_cast<std::uint8_t>((top >> (4 * r)) & 15);
                    columns[r + 5] = static_cast<std::uint8_t>((packed >> (4 * r)) & 15);
                }
            }
            ++count;
        }
    };
    walk_half<0>(row_index + 5, 0, 0, join_bottom);
    return count;
}
