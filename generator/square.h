// Square: one candidate or diagonal Latin square of order 10.
#pragma once

#include <cstdint>
#include <cstring>

// 100 bytes, one value per cell, row-major: cell (r, c) is cells[10 * r + c].
struct Square {
    std::uint8_t cells[100];
};

// Squares are ordered as 100 unsigned bytes from cell 0 on, the first differing
// byte deciding: the order of the generator, the symmetry filter and the stop test.
inline int compare_squares(const Square& a, const Square& b)
{
    return std::memcmp(a.cells, b.cells, sizeof a.cells);
}
