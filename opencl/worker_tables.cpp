#include "opencl/worker_tables.h"

#include "filter/tables.h"
#include "generator/tables.h"

const WorkerTable worker_tables[worker_table_count] = {
    {cell_order_table, sizeof cell_order_table},
    {anti_diagonal_table, sizeof anti_diagonal_table},
    {reflection_table, sizeof reflection_table},
    {symmetry_index_table, sizeof symmetry_index_table},
    {symmetry_map_table, sizeof symmetry_map_table},
};
