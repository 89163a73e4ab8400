// Symmetry classes of diagonal Latin squares of order 10 by brute force over all
// diagonal-preserving permutations, with and without the row reversal.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

#include "generator/square.h"

namespace symmetry_reference {

using Permutation = std::array<int, 10>;

// Every permutation p of 0-9 with p[9 - i] = 9 - p[i], the identity first.
const std::vector<Permutation>& diagonal_preserving_permutations();

// The square with cell (r, c) = X[p[r]][p[c]], X being q or, when `reversed`, q
// with every row reversed, its symbols renamed so that the main diagonal reads
// 0-9.  q's main diagonal and anti-diagonal must each hold 0-9 once.
Square class_member(const Square& q, bool reversed, const Permutation& p);

// The distinct members of q's class whose anti-diagonal is row d of the
// anti-diagonal table, in increasing order: the first is the class minimum.
std::vector<Square> class_members(const Square& q, int d);

// The minimum of the class of q among the members with q's own anti-diagonal
// (q itself when that anti-diagonal is none of the table's).
Square class_minimum(const Square& q);

// The non-identity diagonal-preserving permutations p that keep anti-diagonal d
// under the renaming m = p^-1: m[D[p[r]]] = D[r] for every r.
std::vector<Permutation> symmetry_group(int d);

// A diagonal Latin square with main diagonal 0-9 and anti-diagonal d, by
// randomised backtracking that restarts when a walk runs too long.
Square random_square(int d, std::mt19937& rng);

// The same for a square equal to its own class_member(q, reversed, p), where
// (reversed, p) keeps both diagonals of space d; none after `attempts` walks.
std::optional<Square> random_fixed_square(int d, bool reversed, const Permutation& p, std::mt19937& rng,
                                          int attempts);

} // namespace symmetry_reference
