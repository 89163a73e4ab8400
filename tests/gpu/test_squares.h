// Squares for the GPU tests: kept squares of real work units, and distinct
// squares that have a mate.
#pragma once

#include <string>
#include <vector>

#include "generator/square.h"
#include "opencl/batch.h"

// The work units of bench/units whose walks keep squares: four live, three mixed.
std::vector<std::string> live_and_mixed_units();

// The text of a work unit file.
std::string read_text(const std::string& path);

// The first `count` squares that pass the filter in the walk of the work unit
// `text` (fewer when its walk ends first).
std::vector<Square> kept_squares(const std::string& text, int count);

// Reads the work unit of `text`, primes the walk and fills `prefixes` with the
// first `count` prefixes (at most prefix_batch_capacity) that the GPU worker's
// walk hands out past the one it starts in.
void handed_out_prefixes(const std::string& text, int count, PrefixBatch& prefixes);

// `count` distinct images of the published self-orthogonal square and of the
// sample's square under maps that keep a mate: one permutation p of rows and
// columns with p(9 - i) = 9 - p(i), transposition, reversal of the rows and a
// renaming of the symbols; drawn from a fixed pseudo-random sequence.
std::vector<Square> squares_with_mates(int count);

// The partial diagonal transversals of rows 0-4 of `square` (five cells, one a
// row, in different columns, with different values, at most one on each
// diagonal), counted by brute force over every choice of five columns.
int top_partial_count(const Square& square);
