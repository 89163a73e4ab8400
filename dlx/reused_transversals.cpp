#include "dlx/reused_transversals.h"

#include <bit>
#include <cassert>
#include <cstring>

#include "dlx/core.h"
#include "dlx/row_index.h"
#include "dlx/transversals.h"

// A diagonal transversal is a partial transversal of rows 0-5 joined with one of
// rows 6-9: their columns and their values are complementary, and they meet each
// diagonal once between them.  Which partial transversals rows 0-4 have depends
// on nothing but the cells of those rows; a partial transversal of rows 0-5 is
// one of rows 0-4 extended by one cell of row 5, so it depends on nothing but
// rows 0-4 and that one cell (its column and its value).  So:
//   - the list of rows 0-4 partial transversals is kept while rows 0-4 stay;
//   - the table of rows 0-5 ones is kept while rows 0-4 stay, and grows: it
//     holds the extensions by every row 5 cell seen since rows 0-4 last
//     changed, each tagged with its row 5 cell.  A new row 5 adds only the
//     extensions by cells not seen before (a change of row 5 alters a few of
//     its cells, and a rows 0-4 stretch meets some 25 distinct row 5 cells);
//   - the join walks rows 6-9 of each square and takes from the table only the
//     entries whose row 5 cell is a cell of the square's row 5.
// An entry of the table is thus exactly a rows 0-5 partial transversal of the
// square when its tag matches the square's row 5, and every such partial
// transversal is in the table, since all ten cells of the square's row 5 have
// been seen.  The tables follow the square through one function,
// `rows_changed`, told the first row that differs from the kept rows.
//
// The table is filed by join key: the columns and values a part leaves free
// and the diagonals it meets, so that a rows 6-9 part finds under its key only
// rows 0-5 parts that complete it, less those whose row 5 cell is stale.
//
// A partial transversal is described by one word (see dlx/row_index.h): its
// columns, the diagonals it meets, its values; and by its columns, four bits a
// square row (row r at bits 4r .. 4r + 3).
// The walk over rows never tries a cell that does not fit: for each square row
// it keeps, per set of free values, the columns that hold one of them.

namespace {

constexpr std::uint32_t word_bits = (1u << (value_shift + 10)) - 1;

// The join key of a rows 6-9 part: the rank of its columns among the 210 sets
// of four, times 210, plus the rank of its values, times 4, plus the diagonals
// it meets (its word's two diagonal bits).  A set of six takes the rank of the
// four it leaves free, and a rows 0-5 part is filed under the key of its word
// with both diagonal bits flipped, so that it is filed under the key of the
// rows 6-9 parts that complete it.  The columns and the diagonals are looked
// up together: the word's low twelve bits.
constexpr int four_set_count = 210;
constexpr int key_count = four_set_count * four_set_count * 4;
constexpr std::uint32_t both_diagonals = 3u << diagonal_shift;

struct JoinKeyTable {
    std::uint32_t columns[4096]; // rank * 210 * 4 + diagonals
    std::uint16_t values[1024];  // rank * 4
};

constexpr JoinKeyTable make_join_key_table()
{
    JoinKeyTable keys{};
    int rank = 0;
    for (unsigned set = 0; set < 1024; ++set) {
        if (std::popcount(set) == 4) {
            for (unsigned diagonals = 0; diagonals < 4; ++diagonals) {
                const auto key = static_cast<std::uint32_t>(rank * four_set_count * 4) + diagonals;
                keys.columns[diagonals << diagonal_shift | set] = key;
                keys.columns[diagonals << diagonal_shift | (all_ten ^ set)] = key;
            }
            keys.values[set] = static_cast<std::uint16_t>(rank * 4);
            keys.values[all_ten ^ set] = keys.values[set];
            ++rank;
        }
    }
    return keys;
}

constexpr JoinKeyTable join_keys = make_join_key_table();

// A word's two parts that its key is looked up by: its columns and diagonals,
// and its values.
constexpr std::uint32_t columns_part = (1u << value_shift) - 1;

inline std::uint32_t join_key_of_parts(std::uint32_t columns, std::uint32_t values)
{
    return join_keys.columns[columns] + join_keys.values[values];
}

inline std::uint32_t join_key(std::uint32_t word)
{
    assert(word <= word_bits);
    return join_key_of_parts(word & columns_part, word >> value_shift);
}

constexpr int max_five_row_partials = 10 * 9 * 8 * 7 * 6;
// A rows 0-4 part leaves five columns and five values to row 5: at most 25
// row 5 cells, however many rows 5 follow, extend it.
constexpr int max_six_row_partials = max_five_row_partials * 25;

// An entry holds a top part's columns (bits 0-23, four a row) and the value
// of its row 5 cell (bits 24-27); bits 20-27 are its row 5 cell's tag.
constexpr int entry_value_shift = 24;
constexpr int entry_cell_shift = 20;
constexpr std::uint32_t entry_columns = 0xFFFFFF;

// The partial transversals of rows 0-4.  Besides its entry (its columns), each
// has its word and what row 5 needs to extend it: the columns row 5 may not
// use (bits 0-9: its own, and column 5 or 4 for a diagonal it meets) and its
// free values (bits 10-14 the low five, bits 15-19 the high five).
struct FiveRowList {
    std::uint32_t word[max_five_row_partials];
    std::uint32_t extension[max_five_row_partials];
    std::uint32_t entry[max_five_row_partials];
    std::uint32_t count;
};

// The partial transversals of rows 0-5 met since rows 0-4 last changed,
// chained by join key: a link is an entry and the slot of its key as it was
// before the entry was filed.  A key's slot is stamp + head, head being the
// index + 1 of the first link filed under it.  A slot or a next less stamp
// that is head_limit or more ends the chain: stamps are multiples of
// head_limit, so whatever an earlier stamp filed counts as empty, and the
// table is emptied by taking the next stamp.  So a slot is in use exactly when
// it is above the stamp: an earlier stamp's slots lie below it.
//
// seen_values[c] holds the values that row 5 has had in column c since the
// table was emptied; current_cell[tag] is 1 when the square's row 5 holds the
// cell of that entry tag (column | value << 4).
constexpr int head_bits = 20;
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
    std::uint32_t count;
    std::uint32_t seen_values[10];
    std::uint8_t current_cell[160];
};

// For each cell of rows 6-8, the columns it closes in the rows below it: its
// own column, the columns that hold its value and, when it lies on a diagonal,
// that diagonal's cell of each lower row.  Ten bits a lower row: row 7 at bits
// 0-9, row 8 at bits 10-19, row 9 at bits 20-29.  The columns of a row that
// extend a rows 6-9 part are those that none of its cells closes, which is
// what open_columns finds from the part's word, for one OR a cell.
struct LowerRowsClosed {
    std::uint32_t by_cell[3][10]; // [row - 6][column]
};

// Everything kept from one call to the next: the last square listed, the index
// of its rows, the partial transversals of its rows 0-4 and those of rows 0-5
// met since its rows 0-4 last changed, and what the cells of rows 6-8 close
// below them.  Nothing here counts while `valid` is false.  `rows_changed` is
// the one function that brings it up to a square.
struct KeptRowTables {
    bool valid;
    Square source;
    RowIndex row_index[10];
    FiveRowList five;
    SixRowTable six;
    LowerRowsClosed closed;
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
        extensions[i] = ((word | row_five_block[diagonals]) & all_ten) | ((~word >> value_shift) & all_ten) << 10;
    }
}

// Empties the table: takes the next stamp and forgets the row 5 cells seen.
void empty_six_row_table(SixRowTable& table)
{
    table.stamp += head_limit;
    if (table.stamp == 0) {
        std::memset(table.slot, 0, sizeof table.slot);
        table.stamp = head_limit;
    }
    table.count = 0;
    std::memset(table.seen_values, 0, sizeof table.seen_values);
}

// Makes `cells` the table's row 5 and files the extensions of every rows 0-4
// partial transversal by those of its cells that the table has not seen yet.
void grow_six_row_table(SixRowTable& six, const FiveRowList& five, const RowIndex& row, const std::uint8_t* cells)
{
    std::memset(six.current_cell, 0, sizeof six.current_cell);
    std::uint32_t new_columns = 0;
    // Each cell's word, and what it adds to an entry: its column and value.
    std::uint32_t cell_word[10];
    std::uint32_t cell_entry[10];
    for (std::uint32_t c = 0; c < 10; ++c) {
        const std::uint32_t v = cells[c];
        six.current_cell[c | v << 4] = 1;
        if ((six.seen_values[c] >> v & 1) == 0) {
            six.seen_values[c] |= 1u << v;
            new_columns |= 1u << c;
        }
        cell_word[c] = row.cell_word[c];
        cell_entry[c] = c << entry_cell_shift | v << entry_value_shift;
    }
    if (new_columns == 0)
        return;

    const std::uint32_t* const columns_low = row.columns_low;
    const std::uint32_t* const columns_high = row.columns_high;
    const std::uint32_t* const five_words = five.word;
    const std::uint32_t* const five_extensions = five.extension;
    const std::uint32_t* const five_entries = five.entry;
    const std::uint32_t five_count = five.count;
    SixRowLink* const links = six.link;
    std::uint32_t* const slots = six.slot;
    const std::uint32_t stamp = six.stamp;
    const std::uint32_t closed = ~new_columns;

    std::uint32_t count = six.count;
    for (std::uint32_t i = 0; i < five_count; ++i) {
        const std::uint32_t extension = five_extensions[i];
        std::uint32_t open = (columns_low[(extension >> 10) & 31] | columns_high[extension >> 15]) & ~(extension | closed);
        if (open == 0)
            continue;
        const std::uint32_t word = five_words[i];
        const std::uint32_t entry = five_entries[i];
        for (; open != 0; open &= open - 1) {
            const std::uint32_t c = static_cast<std::uint32_t>(std::countr_zero(open));
            std::uint32_t& slot = slots[join_key((word | cell_word[c]) ^ both_diagonals)];
            links[count] = {entry | cell_entry[c], slot};
            slot = stamp + ++count;
        }
    }
    assert(count <= max_six_row_partials);
    six.count = count;
}

// The columns of a row that hold value v.
inline std::uint32_t columns_holding(const RowIndex& row, std::uint32_t v)
{
    return v < 5 ? row.columns_low[1u << v] : row.columns_high[1u << (v - 5)];
}

// What each cell of rows 6-8 closes in rows 7-9, from those rows' cells and indexes.
void close_lower_rows(LowerRowsClosed& closed, const RowIndex* rows, const std::uint8_t* cells)
{
    for (std::uint32_t k = 6; k < 9; ++k) {
        for (std::uint32_t c = 0; c < 10; ++c) {
            const std::uint32_t v = cells[10 * k + c];
            std::uint32_t by_cell = 0;
            for (std::uint32_t r = k + 1; r < 10; ++r) {
                std::uint32_t in_row = 1u << c | columns_holding(rows[r], v);
                if (c == k)
                    in_row |= 1u << r;
                else if (c == 9 - k)
                    in_row |= 1u << (9 - r);
                by_cell |= in_row << (10 * (r - 7));
            }
            closed.by_cell[k - 6][c] = by_cell;
        }
    }
}

// Brings the tables up to `square`, whose rows from `first` on differ from the
// kept rows (10: none does).
void rows_changed(KeptRowTables& kept, const Square& square, int first)
{
    for (int r = first; r < 10; ++r) {
        std::memcpy(kept.source.cells + 10 * r, square.cells + 10 * r, 10);
        index_row(kept.row_index[r], kept.source.cells + 10 * r, r);
    }
    kept.valid = true;
    if (first < 5) {
        list_five_rows(kept);
        empty_six_row_table(kept.six);
    }
    if (first < 6)
        grow_six_row_table(kept.six, kept.five, kept.row_index[5], kept.source.cells + 50);
    if (first < 10)
        close_lower_rows(kept.closed, kept.row_index, kept.source.cells);
}

// Files the rows 0-5 entries of the chain that starts at link i - 1 whose
// row 5 cell is one of the square's, joined with the rows 6-9 part whose
// columns are `columns`; returns the new count.  Kept out of the walk below:
// only about one leaf in ten finds a chain.
[[gnu::noinline]] std::int32_t join_chain(const SixRowTable& six, std::uint32_t i, std::uint64_t columns,
                                          std::int32_t count)
{
    const SixRowLink* const links = six.link;
    const std::uint8_t* const current_cell = six.current_cell;
    const std::uint32_t stamp = six.stamp;
    do {
        const std::uint32_t entry = links[i - 1].entry;
        if (current_cell[entry >> entry_cell_shift]) {
            if (count < max_transversals)
                store_transversal(count, columns | (entry & entry_columns));
            ++count;
        }
        i = links[i - 1].next - stamp;
    } while (i < head_limit);
    return count;
}

// Walks the partial transversals of rows 6-9 and joins each with the rows 0-5
// entries filed under its key.  The four rows are written out so that the
// innermost loop keeps its few values in registers; the columns open in the
// rows below are the OR of what the part's cells close there; a part's columns
// are put together only for a chain that is not empty.
std::int32_t join_rows_six_to_nine(const KeptRowTables& kept)
{
    // Local copies, addressed from the stack pointer, so that no register
    // holds their addresses.  Row 9's cell words, and below the part of rows
    // 6-8, are split into the two parts of the join key, so that the leaf only
    // ORs and looks up.
    std::uint32_t word6_of[10], word7_of[10], word8_of[10];
    std::uint32_t closed6[10], closed7[10], closed8[10];
    std::uint32_t columns9_of[10];
    std::uint32_t values9_of[10];
    for (int c = 0; c < 10; ++c) {
        word6_of[c] = kept.row_index[6].cell_word[c];
        word7_of[c] = kept.row_index[7].cell_word[c];
        word8_of[c] = kept.row_index[8].cell_word[c];
        closed6[c] = kept.closed.by_cell[0][c];
        closed7[c] = kept.closed.by_cell[1][c];
        closed8[c] = kept.closed.by_cell[2][c];
        columns9_of[c] = kept.row_index[9].cell_word[c] & columns_part;
        values9_of[c] = kept.row_index[9].cell_word[c] >> value_shift;
    }
    const std::uint32_t* const slots = kept.six.slot;
    const std::uint32_t stamp = kept.six.stamp;
    std::int32_t count = 0;
    for (std::uint32_t open6 = all_ten; open6 != 0; open6 &= open6 - 1) {
        const std::uint32_t c6 = static_cast<std::uint32_t>(std::countr_zero(open6));
        const std::uint32_t word6 = word6_of[c6];
        const std::uint32_t below6 = closed6[c6];
        for (std::uint32_t open7 = ~below6 & all_ten; open7 != 0; open7 &= open7 - 1) {
            const std::uint32_t c7 = static_cast<std::uint32_t>(std::countr_zero(open7));
            const std::uint32_t word7 = word6 | word7_of[c7];
            const std::uint32_t below7 = below6 | closed7[c7];
            for (std::uint32_t open8 = ~(below7 >> 10) & all_ten; open8 != 0; open8 &= open8 - 1) {
                const std::uint32_t c8 = static_cast<std::uint32_t>(std::countr_zero(open8));
                const std::uint32_t word8 = word7 | word8_of[c8];
                const std::uint32_t below8 = below7 | closed8[c8];
                const std::uint32_t columns8 = word8 & columns_part;
                const std::uint32_t values8 = word8 >> value_shift;
                for (std::uint32_t open9 = ~(below8 >> 20) & all_ten; open9 != 0; open9 &= open9 - 1) {
                    const std::uint32_t c9 = static_cast<std::uint32_t>(std::countr_zero(open9));
                    const std::uint32_t slot =
                        slots[join_key_of_parts(columns8 | columns9_of[c9], values8 | values9_of[c9])];
                    if (slot > stamp) [[unlikely]] {
                        const std::uint64_t columns = std::uint64_t{c6} << 24 | std::uint64_t{c7} << 28 |
                                                      std::uint64_t{c8} << 32 | std::uint64_t{c9} << 36;
                        count = join_chain(kept.six, slot - stamp, columns, count);
                    }
                }
            }
        }
    }
    return count;
}

} // namespace

std::int32_t enumerate_transversals_reusing_rows(const Square& square)
{
    KeptRowTables& kept = kept_row_tables;
    rows_changed(kept, square, first_changed_row(kept, square));
    return join_rows_six_to_nine(kept);
}

void forget_kept_rows()
{
    kept_row_tables.valid = false;
}
