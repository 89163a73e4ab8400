// What the catalogue records about a square with an orthogonal diagonal mate:
// its CF, its diagonal transversals, every mate (as dlsmate-mates finds them)
// with the mate's CF, and every triangle it lies in.
#pragma once

#include <cstdint>
#include <vector>

#include "catalogue/canonical_form.h"
#include "generator/square.h"

// Three mutually orthogonal squares: the square and two of its mates.
struct Triangle {
    int first = 0;  // indices into the mate list
    int second = 0;
};

// The pairs of mates that are orthogonal to each other, in increasing order.
// Squares of any order.
std::vector<Triangle> find_triangles(const std::vector<LatinSquare>& mates);

struct ClassStatistics {
    CanonicalForm form;                // of the square
    bool too_many_transversals = false; // mates not searched
    std::int32_t transversals = 0;
    std::vector<LatinSquare> mates;     // normalized, increasing
    std::vector<LatinSquare> mate_forms; // the CF of each mate
    std::vector<Triangle> triangles;
};

// One pass over a diagonal Latin square of order 10.
ClassStatistics class_statistics(const Square& square);
