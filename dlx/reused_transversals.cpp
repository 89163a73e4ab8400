#include "dlx/reused_transversals.h"

#include <bit>
#include <cassert>
#include <cstring>

#include "dlx/core.h"
#include "dlx/row_index.h"
#include "dlx/transversals.h"

// A diagonal transversal is a partial transversal of rows 0-5 joined with one of
// rows 6-9: their columns and their values are complementary, and they meet each
// diagonal once between them.  Which partial transversals rows 0-5 have depends
// on nothing but the cells of those rows, and those of rows 0-4 on nothing but
// rows 0-4.  So the tables built for one square are exactly the tables of any
// later square whose rows 0-4, or 0-5, are the same bytes.  Every call compares
// the square's rows with the rows the tables were built from and rebuilds only
// what a changed row touches:
//   - rows 0-4 changed: the list of partial transversals of rows 0-4;
//   - rows 0-5 changed: the table of those of rows 0-5, each a listed rows 0-4
//     one extended by a cell of row 5, chained by join key;
// and then walks rows 6-9 against the rows 0-5 table.
//
// The squares of a search come in increasing order: they keep rows 0-4 for
// dozens or hundreds of squares and rows 0-5 for a few: each square walks rows
// 6-9 (some 2,000 partial transversals), the rows 0-5 table (some 15,000) is
// built every few squares, the rows 0-4 list (some 7,000) seldom.  Walking rows 5-9 against a table of
// rows 0-4 for a square whose row 5 is new, and building the rows 0-5 table only
// when a second square keeps it, saved at most 7 per cent, and only where rows
// 0-5 rarely repeat.
//
// A partial transversal is described by one word (see dlx/row_index.h): its
// columns, the diagonals it meets, its values; and by its columns, four bits a
// square row (row r at bits 4r .. 4r + 3).
// The walk over rows never tries a cell that does not fit: for each square row
// it keeps, per set of free values, the columns that hold one of them.

namespace {

constexpr std::uint32_t word_bits = (1u << (value_shift + 10)) - 1;

// The join key of a set of four columns and a set of four values: the rank of
// the columns among the 210 sets of four, times 210, plus the rank of the
// values.  A set of six takes the key of the four it leaves free, so a rows 0-5
// part and the rows 6-9 parts that complete it have the same key.
constexpr int four_set_count = 210;
constexpr int key_count = four_set_count * four_set_count;

struct JoinKeyTable {
    std::uint16_t columns[1024]; // rank * 210
    std::uint8_t values[1024];   // rank
};

constexpr JoinKeyTable make_join_key_table()
{
    JoinKeyTable keys{};
    int rank = 0;
    for (unsigned set = 0; set < 1024; ++set) {
        if (std::popcount(set) == 4) {
            keys.columns[set] = static_cast<std::uint16_t>(rank * four_set_count);
            keys.values[set] = static_cast<std::uint8_t>(rank);
            keys.columns[all_ten ^ set] = keys.columns[set];
            keys.values[all_ten ^ set] = keys.values[set];
            ++rank;
        }
    }
    return keys;
}

constexpr JoinKeyTable join_keys = make_join_key_table();

inline std::uint32_t join_key(std::uint32_t word)
{
    assert(word <= word_bits);
    return std::uint32_t{join_keys.columns[word & all_ten]} + join_keys.values[word >> value_shift];
}

constexpr int max_five_row_partials = 10 * 9 * 8 * 7 * 6;
constexpr int max_six_row_partials = max_five_row_partials * 5;

// An entry holds a top part's columns (bits 0-23, four a row) and the
// diagonals it meets (bits 24-25).
constexpr int entry_diagonal_shift = 24;
constexpr std::uint32_t entry_columns = 0xFFFFFF;

// The partial transversals of rows 0-4.  Besides its entry, each has its word
// and what row 5 needs to extend it: the columns row 5 may not use (bits 0-9:
// its own, and column 5 or 4 for a diagonal it meets) and its free values
// (bits 10-14 the low five, bits 15-19 the high five).
struct FiveRowList {
    std::uint32_t word[max_five_row_partials];
    std::uint32_t extension[max_five_row_partials];
    std::uint32_t entry[max_five_row_partials];
    std::uint32_t count;
};

// The partial transversals of rows 0-5 chained by join key: a link is an entry
// and the slot of its key as it was before the entry was filed.  A key's slot
// is stamp + head, head being the index + 1 of the first link filed under it.  A slot or a
// next less stamp that is head_limit or more ends the chain: stamps are
// multiples of head_limit, so whatever an earlier stamp filed counts as empty,
// and the table is emptied by taking the next stamp.
constexpr int head_bits = 18;
constexpr std::uint32_t head_limit = 1u << head_bits;
static_assert(max_six_row_partials < head_limit);

struct SixRowLink {
    std::uint32_t entry;
    std::uint32_t next;
};

struct SixRowTable {
    SixRowLink link[max_six_row_partials];
    std::uint32_t slot[key_count];
    std::uint32_t stamp;
};

// Everything kept from one call to the next: the last square listed, the index
// of its rows, the partial transversals of its rows 0-4 and those of its rows
// 0-5.  Nothing here counts while `valid` is false.
struct KeptRowTables {
    bool valid;
    Square source;
    RowIndex row_index[10];
    FiveRowList five;
    SixRowTable six;
};

KeptRowTables kept_row_tables;

// The first row of the square that differs from the kept rows, 10 when none
// does; 0 when nothing is kept.
int first_changed_row(const KeptRowTables& kept, const Square& square)
{
    if (!kept.valid)
        return 0;
    for (int r = 0; r < 10; ++r)
        if (std::memcmp(kept.source.cells + 10 * r, square.cells + 10 * r, 10) != 0)
            return r;
    return 10;
}

// Copies the square's rows from `first` on into the kept rows and indexes them.
void take_rows(KeptRowTables& kept, const Square& square, int first)
{
    for (int r = first; r < 10; ++r) {
        std::memcpy(kept.source.cells + 10 * r, square.cells + 10 * r, 10);
        index_row(kept.row_index[r], kept.source.cells + 10 * r, r);
    }
    kept.valid = true;
}

// Visits every partial transversal of square rows `row` .. last that extends
// (word, columns), calling leaf(word, columns) for each.
template <int row, int last, typename Leaf>
inline void walk_rows(const RowIndex* rows, std::uint32_t word, std::uint64_t columns, Leaf& leaf)
{
    const RowIndex& index = rows[row];
    for (std::uint32_t open = open_columns(index, word); open != 0; open &= open - 1) {
        const std::uint32_t c = static_cast<std::uint32_t>(std::countr_zero(open));
        const std::uint32_t next_word = word | index.cell_word[c];
        const std::uint64_t next_columns = columns | std::uint64_t{c} << (4 * row);
        if constexpr (row == last)
            leaf(next_word, next_columns);
        else
            walk_rows<row + 1, last>(rows, next_word, next_columns, leaf);
    }
}

// Writes the transversal whose column in square row r is bits 4r .. 4r + 3.
static inline void store_transversal(std::int32_t slot, std::uint64_t columns)
{
    // Spread the first eight four-bit columns into eight bytes.
    std::uint64_t bytes = columns & 0xFFFFFFFF;
    bytes = (bytes | bytes << 16) & 0x0000FFFF0000FFFF;
    bytes = (bytes | bytes << 8) & 0x00FF00FF00FF00FF;
    bytes = (bytes | bytes << 4) & 0x0F0F0F0F0F0F0F0F;
    std::uint8_t* const out = transversal_store[slot].columns;
    for (int r = 0; r < 8; ++r)
        out[r] = static_cast<std::uint8_t>(bytes >> (8 * r));
    out[8] = static_cast<std::uint8_t>((columns >> 32) & 15);
    out[9] = static_cast<std::uint8_t>((columns >> 36) & 15);
}

void list_five_rows(KeptRowTables& kept)
{
    FiveRowList& five = kept.five;
    std::uint32_t* const words = five.word;
    std::uint32_t* const entries = five.entry;
    std::uint32_t count = 0;
    auto add = [&](std::uint32_t word, std::uint64_t columns) {
        words[count] = word;
        entries[count] = static_cast<std::uint32_t>(columns);
        ++count;
    };
    walk_rows<0, 4>(kept.row_index, 0, 0, add);
    assert(count <= max_five_row_partials);
    five.count = count;

    std::uint32_t* const extensions = five.extension;
    const std::uint32_t* const row_five_block = kept.row_index[5].diagonal_block;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t word = words[i];
        const std::uint32_t diagonals = (word >> diagonal_shift) & 3;
        entries[i] |= diagonals << entry_diagonal_shift;
        extensions[i] = ((word | row_five_block[diagonals]) & all_ten) | ((~word >> value_shift) & all_ten) << 10;
    }
}

static inline void empty_table(SixRowTable& table)
{
    table.stamp += head_limit;
    if (table.stamp == 0) {
        std::memset(table.slot, 0, sizeof table.slot);
        table.stamp = head_limit;
    }
}

// Extends every rows 0-4 partial transversal by each cell of row 5 that fits,
// and files the results by join key.
void build_six_row_table(KeptRowTables& kept)
{
    SixRowTable& six = kept.six;
    empty_table(six);
    const RowIndex& row = kept.row_index[5];
    const std::uint32_t* const columns_low = row.columns_low;
    const std::uint32_t* const columns_high = row.columns_high;
    const std::uint32_t* const five_words = kept.five.word;
    const std::uint32_t* const five_extensions = kept.five.extension;
    const std::uint32_t* const five_entries = kept.five.entry;
    const std::uint32_t five_count = kept.five.count;
    SixRowLink* const links = six.link;
    std::uint32_t* const slots = six.slot;
    const std::uint32_t stamp = six.stamp;

    // Each cell's word, and what it adds to an entry: its column and diagonal.
    std::uint32_t cell_word[10];
    std::uint32_t cell_entry[10];
    for (std::uint32_t c = 0; c < 10; ++c) {
        cell_word[c] = row.cell_word[c];
        cell_entry[c] = c << 20 | ((cell_word[c] >> diagonal_shift) & 3) << entry_diagonal_shift;
    }

    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < five_count; ++i) {
        const std::uint32_t extension = five_extensions[i];
        std::uint32_t open = (columns_low[(extension >> 10) & 31] | columns_high[extension >> 15]) & ~extension;
        if (open == 0)
            continue;
        const std::uint32_t word = five_words[i];
        const std::uint32_t entry = five_entries[i];
        for (; open != 0; open &= open - 1) {
            const std::uint32_t c = static_cast<std::uint32_t>(std::countr_zero(open));
            std::uint32_t& slot = slots[join_key(word | cell_word[c])];
            links[count] = {entry | cell_entry[c], slot};
            slot = stamp + ++count;
        }
    }
    assert(count <= max_six_row_partials);
}

// Walks the partial transversals of rows 6-9 and joins each with the rows 0-5
// entries filed under its key that meet the other diagonals.
std::int32_t join_rows_six_to_nine(const KeptRowTables& kept)
{
    const std::uint32_t* const slots = kept.six.slot;
    const SixRowLink* const links = kept.six.link;
    const std::uint32_t stamp = kept.six.stamp;
    std::int32_t count = 0;
    auto join = [&](std::uint32_t word, std::uint64_t columns) {
        std::uint32_t i = slots[join_key(word)] - stamp;
        if (i >= head_limit)
            return;
        const std::uint32_t top_diagonals = ((word >> diagonal_shift) & 3) ^ 3;
        do {
            const std::uint32_t entry = links[i - 1].entry;
            if (entry >> entry_diagonal_shift == top_diagonals) {
                if (count < max_transversals)
                    store_transversal(count, columns | (entry & entry_columns));
                ++count;
            }
            i = links[i - 1].next - stamp;
        } while (i < head_limit);
    };
    walk_rows<6, 9>(kept.row_index, 0, 0, join);
    return count;
}

} // namespace

std::int32_t enumerate_transversals_reusing_rows(const Square& square)
{
    KeptRowTables& kept = kept_row_tables;
    const int changed = first_changed_row(kept, square);
    take_rows(kept, square, changed);
    if (changed < 5)
        list_five_rows(kept);
    if (changed < 6)
        build_six_row_table(kept);
    return join_rows_six_to_nine(kept);
}

void forget_kept_rows()
{
    kept_row_tables.valid = false;
}
