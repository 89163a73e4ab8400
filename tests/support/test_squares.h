// Squares, records and work units as text, built here independently of the
// worker's reader and writer: the one set that every test suite uses.
#pragma once

#include <cstdint>
#include <string>

#include "generator/square.h"

// Every cell holding `value`.
inline Square filled_square(int value)
{
    Square s;
    for (auto& cell : s.cells)
        cell = static_cast<std::uint8_t>(value);
    return s;
}

// Ten lines of ten numbers separated by spaces.
inline std::string square_numbers(const Square& s)
{
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += std::to_string(s.cells[i]) + (i % 10 == 9 ? "\n" : " ");
    return text;
}

// The text of a work unit: header line, start square, end square.
inline std::string workunit_of(int diagonal_number, std::uint64_t limit, const Square& start, const Square& end)
{
    return std::to_string(diagonal_number) + " " + std::to_string(limit) + "\n" + square_numbers(start) +
           square_numbers(end);
}

// The 212-byte result record of a square: each cell's value + '0' (modulo 256),
// spaces between, CR LF after each row and once more after the square.
inline std::string record_of(const Square& s)
{
    std::string text;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            text += static_cast<char>(s.cells[10 * r + c] + '0');
            text += c < 9 ? " " : "\r\n";
        }
    }
    return text + "\r\n";
}
