// A fast mate search over the stored diagonal transversals: the exact cover of
// the 100 cells by ten transversals, with sets of transversals held as bitsets.
#pragma once

#include <cstdint>

// Whether ten of the records 0..count-1 of transversal_store (10 <= count <=
// max_transversals) are pairwise disjoint: the answer of build_mate_matrix
// followed by find_mate_cover.  Runs the fastest variant this processor has.
bool find_mate_by_bitsets(std::int32_t count);

// The two variants of the same search: one for any processor, one that counts
// bits with the POPCNT instruction, which may be called only when
// cpu_has_popcnt() is true.
bool find_mate_by_bitsets_baseline(std::int32_t count);
bool find_mate_by_bitsets_popcnt(std::int32_t count);
bool cpu_has_popcnt();

// Calls visit once for every set of ten pairwise disjoint records among
// 0..count-1 of transversal_store (0 <= count <= max_transversals), with their
// ten indices, in the order the search chose them, and context; returns the
// number of such sets.  visit must not start another mate search.
std::int64_t for_each_mate_cover_by_bitsets(std::int32_t count,
                                            void (*visit)(const std::int32_t* transversal_indices, void* context),
                                            void* context);
