// The search loop: walks the work unit's slice of the space.
#pragma once

#include <cstdio>

// Takes squares from the generator, keeps those that pass the symmetry filter,
// writes those with an orthogonal diagonal mate, reports progress every 1000
// passing squares, and stops at the end square, at the square limit (writing
// the closing records) or when the space is exhausted.
void run_search(std::FILE* result);
