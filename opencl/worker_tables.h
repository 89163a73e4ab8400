// The worker's fixed tables that the prefix kernels read, in the order of their
// arguments (after the prefixes, their count and the diagonal index), for a
// device to upload once as they are.
#pragma once

#include <cstddef>

struct WorkerTable {
    const void* data;
    std::size_t bytes;
};

inline constexpr int worker_table_count = 5;

// cell_order_table, anti_diagonal_table, reflection_table,
// symmetry_index_table, symmetry_map_table.
extern const WorkerTable worker_tables[worker_table_count];
