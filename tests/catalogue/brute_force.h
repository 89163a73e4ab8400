// Independent methods that the catalogue's tests compare it with: they share
// no code with catalogue/ beyond the LatinSquare type.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "catalogue/latin_square.h"

// Every normalized diagonal Latin square of order n, in increasing order, each
// handed to visit; plain backtracking over the cells row by row.
void for_each_normalized_dls(int n, const std::function<void(const LatinSquare&)>& visit);

// A random diagonal Latin square of order n (backtracking with random value order).
LatinSquare random_dls(int n, std::mt19937& random);

// A random member of the square's main class: a random permutation p with
// p(n-1-i) = n-1-p(i) applied to rows and columns, transposed or not, rows
// reversed or not, symbols renamed at random.
LatinSquare random_image(const LatinSquare& square, std::mt19937& random);

// Every map of the group written out directly: for each p, transposition and
// reversal, the image's cells as indices of the square's cells.
std::vector<std::vector<int>> group_maps_brute_force(int n);

// The smallest normalized image and the number of distinct normalized images,
// by building every image.
LatinSquare smallest_image_brute_force(const LatinSquare& square, std::size_t& distinct_images);

// Every diagonal Latin mate whose first row reads 0 .. n-1 (one per set of n
// disjoint diagonal transversals), in increasing order; and the number of
// diagonal transversals.
std::vector<LatinSquare> mates_brute_force(const LatinSquare& square, std::size_t& transversals);
