// The symmetry tables of the canonical-form test.
#pragma once

#include <cstdint>

#include "filter/canonical_rule.h"

// A map of the symmetry group: positions p, values m (filter/canonical_rule.h).
using SymmetryMap = DlsSymmetryMap;

inline constexpr int reflection_row_count = DLS_REFLECTION_ROWS;
inline constexpr int symmetry_map_count = 114;

// Row d (diagonal indices 0-55): the permutation that, applied to the
// row-reversed square and followed by renaming, gives back anti-diagonal d.
extern const std::int32_t reflection_table[reflection_row_count][10];

// For each diagonal index, start * 32 + count: the group of that index is the
// records start .. start + count - 1 of symmetry_map_table.  0 is an empty group.
extern const std::uint32_t symmetry_index_table[67];

// The non-identity maps that keep each anti-diagonal, shared between the groups
// whose record runs overlap.
extern const SymmetryMap symmetry_map_table[symmetry_map_count];
