// Diagonal Latin squares of any order from 1 to 10, as the catalogue handles
// them: the worker's order-10 Square widened by its order.
#pragma once

#include <cstdint>
#include <string>

#include "generator/square.h"

constexpr int max_order = 10;

// Cell (r, c) is cells[order * r + c]; cells from order * order on are 0.
struct LatinSquare {
    int order = 0;
    std::uint8_t cells[max_order * max_order] = {};
};

bool operator==(const LatinSquare& a, const LatinSquare& b);
// Row by row, cell by cell (squares of one order).
bool operator<(const LatinSquare& a, const LatinSquare& b);

LatinSquare from_square(const Square& square);
Square to_square(const LatinSquare& square); // order 10 only

// Every row, column and both diagonals hold each of 0 .. order-1 once.
bool is_diagonal_latin(const LatinSquare& square);

// The pairs of values (a, b) over all cells are all different.
bool are_orthogonal(const LatinSquare& a, const LatinSquare& b);

// The values, row by row, as order * order digits ("0123...").
std::string square_digits(const LatinSquare& square);
// The inverse of square_digits: false unless the text is n * n digits
// 0 .. n-1 for some n from 1 to 10.
bool square_from_digits(const std::string& digits, LatinSquare& square);
