// The look-ahead of the prefix judgement as first built: each empty source row
// filled column by column from left to right.  The faster look-ahead must give
// the same verdict on every input.
#pragma once

#include <cstdint>

struct GeneratorState;
struct PrefixImage;

namespace lookahead_reference {

// What some_source_row_fails answers, with the same arguments.
bool source_row_fails_column_by_column(const GeneratorState& state, int filled, std::uint64_t open,
                                       const PrefixImage* images, const int* first_unmatched);

} // namespace lookahead_reference
