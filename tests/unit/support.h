// Small helpers shared by the module tests.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "dlx/transversals.h"
#include "filter/tables.h"
#include "generator/square.h"
#include "generator/state.h"
#include "io/workunit.h"
#include "test_squares.h"

// A symmetry of space d that maps some of its squares onto themselves: the row
// reversal with the space's reflection permutation, or a record of the symmetry
// map with its positions.
struct FixingSymmetry {
    int d;
    bool reversed;
    std::array<int, 10> p;
    std::string name;
};

// The ten such symmetries that the filter tests take their fixed squares from:
// five reflections and five records, spread over the table.
inline std::vector<FixingSymmetry> fixing_symmetries()
{
    std::vector<FixingSymmetry> all;
    const auto add = [&all](int d, bool reversed, const std::int32_t* positions, const std::string& name) {
        FixingSymmetry s{d, reversed, {}, "d = " + std::to_string(d) + ", " + name};
        std::copy(positions, positions + 10, s.p.begin());
        all.push_back(s);
    };
    for (int d : {53, 52, 31, 9, 0})
        add(d, true, reflection_table[d], "reflection");
    for (const auto& [d, record] : {std::pair{49, 57}, {50, 56}, {5, 27}, {14, 64}, {0, 0}})
        add(d, false, symmetry_map_table[record].positions, "record " + std::to_string(record));
    return all;
}

// Puts the process's state back to its start, as a fresh worker would find it.
inline void reset_state()
{
    generator_state = GeneratorState{};
}

// Puts the state back to its start and reads a work unit from `text`, as the
// worker reads its input file: true when the reader accepts it.
inline bool read_workunit_text(const std::string& text)
{
    reset_state();
    std::FILE* input = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
    const bool read = read_workunit(input);
    std::fclose(input);
    return read;
}

// A square from 100 digits, white space ignored ("0 2 3 ... / ..." style rows).
inline Square square_from_digits(const std::string& text)
{
    Square s{};
    int n = 0;
    for (char ch : text)
        if (ch >= '0' && ch <= '9' && n < 100)
            s.cells[n++] = static_cast<std::uint8_t>(ch - '0');
    return s;
}

#ifdef DLSMATE_TESTDATA_DIR
// The published self-orthogonal diagonal Latin square of tests/data.
inline Square published_square()
{
    std::ifstream in(std::string(DLSMATE_TESTDATA_DIR) + "/self-orthogonal-10.txt");
    std::string text, line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            text += line;
    return square_from_digits(text);
}
#endif

// A transversal as stored: byte r is the column of its cell in square row r.
using Record = std::array<std::uint8_t, 10>;

// Slots 0 .. count - 1 of transversal_store (at most the store's size), in
// store order.
inline std::vector<Record> stored(std::int32_t count)
{
    std::vector<Record> records;
    for (std::int32_t i = 0; i < std::min(count, max_transversals); ++i) {
        Record r;
        std::copy(transversal_store[i].columns, transversal_store[i].columns + 10, r.begin());
        records.push_back(r);
    }
    return records;
}

inline std::vector<Record> sorted(std::vector<Record> records)
{
    std::sort(records.begin(), records.end());
    return records;
}

// Everything written to a temporary stream, read back as bytes.
inline std::string contents_of(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    return bytes;
}
