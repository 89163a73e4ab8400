#include "test_squares.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "generator/tables.h"
#include "io/workunit.h"

std::vector<std::string> live_and_mixed_units()
{
    std::vector<std::string> units;
    for (const char* name : {"live-01-start", "live-36-start", "live-57-start", "live-57-random", "mixed-01-random",
                             "mixed-36-random-a", "mixed-36-random-b"})
        units.push_back(std::string(DLSMATE_BENCH_UNITS_DIR) + "/" + name + ".wu");
    return units;
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<Square> kept_squares(const std::string& text, int count)
{
    generator_state = GeneratorState{};
    std::FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    const bool read = read_workunit(input);
    std::fclose(input);
    std::vector<Square> squares;
    if (!read || !prime_generator())
        return squares;
    while (static_cast<int>(squares.size()) < count && next_live_square()) {
        is_canonical(generator_state.chosen_bits);
        squares.push_back(assembled_square);
    }
    return squares;
}

void handed_out_prefixes(const std::string& text, int count, PrefixBatch& prefixes)
{
    kept_squares(text, 0);
    prefixes.size = 0;
    if (generator_state.position > prefix_length && !leave_prefix())
        return;
    std::uint32_t prefix[prefix_length];
    for (LiveStep step; prefixes.size < count && (step = next_live_prefix_step(64, prefix)) != LiveStep::exhausted;) {
        if (step != LiveStep::square)
            continue;
        for (int k = 0; k < prefix_length; ++k)
            prefixes.values[prefixes.size][k] = static_cast<std::uint8_t>(value_of(prefix[k]));
        ++prefixes.size;
    }
}

namespace {

Square square_from_file(const std::string& path)
{
    std::istringstream in(read_text(path));
    Square square{};
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            for (char ch : line)
                if (ch >= '0' && ch <= '9' && n < 100)
                    square.cells[n++] = static_cast<std::uint8_t>(ch - '0');
    return square;
}

} // namespace

std::vector<Square> squares_with_mates(int count)
{
    const std::array<Square, 2> seeds = {square_from_file(std::string(DLSMATE_TESTDATA_DIR) + "/self-orthogonal-10.txt"),
                                         square_from_file(std::string(DLSMATE_TESTDATA_DIR) + "/sample-square.txt")};
    std::mt19937 random(20261210);
    auto below = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    std::set<std::array<std::uint8_t, 100>> seen;
    std::vector<Square> squares;
    while (static_cast<int>(squares.size()) < count) {
        const Square& seed = seeds[squares.size() % 2];
        // p on 0-4 is any permutation with any of its images mirrored; p(9 - i) = 9 - p(i).
        std::array<int, 10> p;
        std::array<int, 5> half = {0, 1, 2, 3, 4};
        for (int i = 4; i > 0; --i)
            std::swap(half[i], half[below(i + 1)]);
        for (int i = 0; i < 5; ++i) {
            p[i] = below(2) ? 9 - half[i] : half[i];
            p[9 - i] = 9 - p[i];
        }
        std::array<int, 10> rename = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
        for (int i = 9; i > 0; --i)
            std::swap(rename[i], rename[below(i + 1)]);
        const bool transpose = below(2);
        const bool reverse = below(2);
        Square image{};
        for (int r = 0; r < 10; ++r)
            for (int c = 0; c < 10; ++c) {
                int row = p[r], column = p[c];
                if (transpose)
                    std::swap(row, column);
                if (reverse)
                    row = 9 - row;
                image.cells[10 * row + column] = static_cast<std::uint8_t>(rename[seed.cells[10 * r + c]]);
            }
        std::array<std::uint8_t, 100> bytes;
        std::copy(image.cells, image.cells + 100, bytes.begin());
        if (seen.insert(bytes).second)
            squares.push_back(image);
    }
    return squares;
}

int top_partial_count(const Square& square)
{
    int count = 0;
    int columns[5];
    for (int n = 0; n < 100000; ++n) {
        for (int r = 0, rest = n; r < 5; ++r, rest /= 10)
            columns[r] = rest % 10;
        unsigned used_columns = 0, used_values = 0;
        int main_cells = 0, anti_cells = 0;
        for (int r = 0; r < 5; ++r) {
            used_columns |= 1u << columns[r];
            used_values |= 1u << square.cells[10 * r + columns[r]];
            main_cells += columns[r] == r;
            anti_cells += columns[r] == 9 - r;
        }
        count += std::popcount(used_columns) == 5 && std::popcount(used_values) == 5 && main_cells <= 1 &&
                 anti_cells <= 1;
    }
    return count;
}
