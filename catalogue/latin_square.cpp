#include "catalogue/latin_square.h"

#include <cstring>

bool operator==(const LatinSquare& a, const LatinSquare& b)
{
    return a.order == b.order && std::memcmp(a.cells, b.cells, sizeof a.cells) == 0;
}

bool operator<(const LatinSquare& a, const LatinSquare& b)
{
    if (a.order != b.order)
        return a.order < b.order;
    return std::memcmp(a.cells, b.cells, sizeof a.cells) < 0;
}

LatinSquare from_square(const Square& square)
{
    LatinSquare s;
    s.order = 10;
    std::memcpy(s.cells, square.cells, sizeof s.cells);
    return s;
}

Square to_square(const LatinSquare& square)
{
    Square s;
    std::memcpy(s.cells, square.cells, sizeof s.cells);
    return s;
}

bool is_diagonal_latin(const LatinSquare& square)
{
    const int n = square.order;
    if (n < 1 || n > max_order)
        return false;
    const unsigned all = (1u << n) - 1;
    unsigned main_diagonal = 0;
    unsigned anti_diagonal = 0;
    for (int i = 0; i < n; ++i) {
        unsigned row = 0;
        unsigned column = 0;
        for (int j = 0; j < n; ++j) {
            if (square.cells[n * i + j] >= n)
                return false;
            row |= 1u << square.cells[n * i + j];
            column |= 1u << square.cells[n * j + i];
        }
        if (row != all || column != all)
            return false;
        main_diagonal |= 1u << square.cells[n * i + i];
        anti_diagonal |= 1u << square.cells[n * i + n - 1 - i];
    }
    return main_diagonal == all && anti_diagonal == all;
}

bool are_orthogonal(const LatinSquare& a, const LatinSquare& b)
{
    if (a.order != b.order)
        return false;
    bool seen[max_order * max_order] = {};
    for (int i = 0; i < a.order * a.order; ++i) {
        const int pair = max_order * a.cells[i] + b.cells[i];
        if (seen[pair])
            return false;
        seen[pair] = true;
    }
    return true;
}

std::string square_digits(const LatinSquare& square)
{
    std::string digits;
    for (int i = 0; i < square.order * square.order; ++i)
        digits += static_cast<char>('0' + square.cells[i]);
    return digits;
}

bool square_from_digits(const std::string& digits, LatinSquare& square)
{
    int n = 1;
    while (n < max_order && n * n < static_cast<int>(digits.size()))
        ++n;
    if (n * n != static_cast<int>(digits.size()))
        return false;
    LatinSquare s;
    s.order = n;
    for (int i = 0; i < n * n; ++i) {
        if (digits[i] < '0' || digits[i] >= '0' + n)
            return false;
        s.cells[i] = static_cast<std::uint8_t>(digits[i] - '0');
    }
    square = s;
    return true;
}
