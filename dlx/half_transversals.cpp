#include "dlx/half_transversals.h"

#include <cstring>

#include "dlx/core.h"
#include "dlx/transversals.h"

// A partial transversal of five square rows is described by one word:
//   bits 0-9    the columns it uses,
//   bit 10      it meets the main diagonal, bit 11 the anti-diagonal,
//   bits 12-21  the values it uses.
// A cell's own word has one bit in each group it belongs to.  Each half meets
// each diagonal at most once; two halves join into a diagonal transversal when
// their columns and their values are complementary and they meet each diagonal
// once between them.
//
// The walk over a half never tries a cell that does not fit: for each square row
// it keeps, per set of free values, the columns that hold one of them, so the
// candidates of a row are two table lookups and a few masks away.

namespace {

constexpr std::uint32_t all_ten = 0x3FF;
constexpr int diagonal_shift = 10;
constexpr int value_shift = 12;

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

// Per square row: the columns holding a value of a set of free values, looked
// up by the low five and the high five bits of the set; the columns a row may
// not use for each pair of diagonal bits; and each cell's word.
struct RowIndex {
    std::uint32_t columns_low[32];
    std::uint32_t columns_high[32];
    std::uint32_t diagonal_block[4];
    std::uint32_t cell_word[10];
};
RowIndex row_index[10];

void load_rows(const Square& square)
{
    for (int r = 0; r < 10; ++r) {
        RowIndex& row = row_index[r];
        std::uint32_t columns_of_value[10] = {};
        for (int c = 0; c < 10; ++c) {
            const int v = square.cells[10 * r + c];
            std::uint32_t word = (1u << c) | (1u << (value_shift + v));
            if (c == r)
                word |= 1u << diagonal_shift;
            else if (c == 9 - r)
                word |= 2u << diagonal_shift;
            row.cell_word[c] = word;
            columns_of_value[v] |= 1u << c;
        }
        row.columns_low[0] = row.columns_high[0] = 0;
        for (int set = 1; set < 32; ++set) {
            const int lowest = __builtin_ctz(set);
            row.columns_low[set] = row.columns_low[set & (set - 1)] | columns_of_value[lowest];
            row.columns_high[set] = row.columns_high[set & (set - 1)] | columns_of_value[lowest + 5];
        }
        const std::uint32_t main_cell = 1u << r;
        const std::uint32_t anti_cell = 1u << (9 - r);
        row.diagonal_block[0] = 0;
        row.diagonal_block[1] = main_cell;
        row.diagonal_block[2] = anti_cell;
        row.diagonal_block[3] = main_cell | anti_cell;
    }
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
    const std::uint32_t free_values = (~word >> value_shift) & all_ten;
    const std::uint32_t blocked = word | row.diagonal_block[(word >> diagonal_shift) & 3];
    std::uint32_t open = (row.columns_low[free_values & 31] | row.columns_high[free_values >> 5]) & ~blocked;
    for (; open != 0; open &= open - 1) {
        const int c = __builtin_ctz(open);
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
