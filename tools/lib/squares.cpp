#include "tools/lib/squares.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "dlx/bitset_mate.h"
#include "dlx/core.h"
#include "dlx/reused_transversals.h"
#include "dlx/transversals.h"
#include "filter/canonical.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "io/result_file.h"

Square space_diagonals(int diagonal_index)
{
    Square s{};
    for (int r = 0; r < 10; ++r) {
        s.cells[11 * r] = static_cast<std::uint8_t>(r);
        s.cells[10 * r + 9 - r] = static_cast<std::uint8_t>(anti_diagonal_table[diagonal_index][r]);
    }
    return s;
}

Square all_nines()
{
    Square s;
    std::fill(std::begin(s.cells), std::end(s.cells), std::uint8_t{9});
    return s;
}

std::array<int, 80> free_values(const Square& square)
{
    std::array<int, 80> values{};
    for (int k = 0; k < free_cell_count; ++k) {
        const int cell = cell_order_table[k];
        values[k] = square.cells[square_offset(cell)];
    }
    return values;
}

std::string diagonal_latin_problem(const Square& square)
{
    for (int i = 0; i < 100; ++i) {
        if (square.cells[i] > 9)
            return "cell (" + std::to_string(i / 10) + ", " + std::to_string(i % 10) + ") holds " +
                   std::to_string(square.cells[i]) + ", not a value 0-9";
    }
    // Lines: rows 0-9, columns 0-9, the main diagonal, the anti-diagonal.
    for (int line = 0; line < 22; ++line) {
        int seen = 0;
        for (int i = 0; i < 10; ++i) {
            int cell;
            if (line < 10)
                cell = 10 * line + i;
            else if (line < 20)
                cell = 10 * i + (line - 10);
            else if (line == 20)
                cell = 11 * i;
            else
                cell = 10 * i + 9 - i;
            const int value = square.cells[cell];
            if (seen & (1 << value)) {
                const std::string name = line < 10   ? "row " + std::to_string(line)
                                         : line < 20 ? "column " + std::to_string(line - 10)
                                         : line == 20 ? std::string("the main diagonal")
                                                      : std::string("the anti-diagonal");
                return name + " holds " + std::to_string(value) + " twice";
            }
            seen |= 1 << value;
        }
    }
    return "";
}

namespace {

std::string ten_values(const int* values)
{
    std::string text;
    for (int i = 0; i < 10; ++i) {
        if (i > 0)
            text += ' ';
        text += std::to_string(values[i]);
    }
    return text;
}

} // namespace

std::string diagonals_problem(const Square& square, int diagonal_index)
{
    int main_diagonal[10];
    int anti_diagonal[10];
    bool main_ok = true;
    bool anti_ok = true;
    for (int r = 0; r < 10; ++r) {
        main_diagonal[r] = square.cells[11 * r];
        anti_diagonal[r] = square.cells[10 * r + 9 - r];
        main_ok = main_ok && main_diagonal[r] == r;
        anti_ok = anti_ok && anti_diagonal[r] == anti_diagonal_table[diagonal_index][r];
    }
    if (!main_ok)
        return "main diagonal reads " + ten_values(main_diagonal) + ", not 0 1 2 3 4 5 6 7 8 9";
    if (!anti_ok)
        return "anti-diagonal reads " + ten_values(anti_diagonal) + ", not " +
               ten_values(anti_diagonal_table[diagonal_index]) + " of diagonal index " +
               std::to_string(diagonal_index + 1);
    return "";
}

bool is_smallest_of_class(const Square& square, int diagonal_index)
{
    std::uint32_t chosen_bits[80];
    const std::array<int, 80> values = free_values(square);
    for (int k = 0; k < free_cell_count; ++k)
        chosen_bits[k] = 1u << values[k];
    // is_canonical reads the diagonal index from the run's state and nothing else of it.
    const std::int32_t saved = generator_state.diagonal_index;
    generator_state.diagonal_index = diagonal_index;
    const bool smallest = is_canonical(chosen_bits);
    generator_state.diagonal_index = saved;
    return smallest;
}

std::string square_record(const Square& square)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr)
        std::abort();
    write_square_record(stream, square);
    std::fclose(stream);
    std::string record(buffer, size);
    std::free(buffer);
    return record;
}

std::string square_lines(const Square& square)
{
    std::string text;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            text += std::to_string(square.cells[10 * r + c]);
            text += c < 9 ? ' ' : '\n';
        }
    }
    return text;
}

std::string square_one_line(const Square& square)
{
    std::string text = square_lines(square);
    text.pop_back();
    std::string joined;
    for (char ch : text) {
        if (ch == '\n')
            joined += " / ";
        else
            joined += ch;
    }
    return joined;
}

MateAnswer check_mate(const Square& square)
{
    MateAnswer answer;
    // The worker's own mate test, with the transversals listed once; a square
    // over the store's limit is reported instead of ending the process.
    answer.transversals = enumerate_transversals_reusing_rows(square);
    if (answer.transversals > max_transversals) {
        answer.too_many_transversals = true;
        return answer;
    }
    if (answer.transversals >= 10)
        answer.has_mate = find_mate_by_bitsets(answer.transversals);
    return answer;
}

MateList all_mates(const Square& square)
{
    MateList list;
    list.transversals = enumerate_transversals_reusing_rows(square);
    if (list.transversals > max_transversals) {
        list.too_many_transversals = true;
        return list;
    }
    if (list.transversals < 10)
        return list;
    for_each_mate_cover_by_bitsets(
        list.transversals,
        [](const std::int32_t* indices, void* context) {
            // The ten transversals of a cover partition the cells; the one through
            // cell (0, c) takes the value c, so the first row reads 0 1 ... 9.
            Square mate{};
            for (int k = 0; k < 10; ++k) {
                const Transversal& t = transversal_store[indices[k]];
                for (int r = 0; r < 10; ++r)
                    mate.cells[10 * r + t.columns[r]] = t.columns[0];
            }
            static_cast<std::vector<Square>*>(context)->push_back(mate);
        },
        &list.mates);
    std::sort(list.mates.begin(), list.mates.end(),
              [](const Square& a, const Square& b) { return compare_squares(a, b) < 0; });
    return list;
}
