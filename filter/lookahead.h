// Looking ahead from the complete rows of a prefix at the empty rows that the
// open images of the prefix judgement take their next undecided row from.
#pragma once

#include <cstdint>

struct GeneratorState;
struct PrefixImage;

// The rows after which the filter looks ahead, from the first.
constexpr int last_row_looked_ahead_from = 8;

// Whether every completion of the prefix of `filled` positions (a multiple of
// 8) fails because of what some empty source row, or all of them together,
// must do to the images in `open` (a set over `images`).  `first_unmatched[t]`
// is the first cell at which image t is not yet known to equal the square.
bool some_source_row_fails(const GeneratorState& state, int filled, std::uint64_t open, const PrefixImage* images,
                           const int* first_unmatched);
