#include "dlx/core.h"

#include <cassert>

DlxNode column_headers[max_columns + 1];
NodePool node_pool;
DlxNode* solution_stack[search_depth];

void init_column_headers(int column_count)
{
    assert(column_count >= 1 && column_count <= max_columns);
    for (int h = 0; h <= column_count; ++h) {
        DlxNode& header = column_headers[h];
        header.up = header.down = &header;
        header.tag = 0;
        header.right = &column_headers[h + 1];
        header.left = &column_headers[h == 0 ? 0 : h - 1];
    }
    root.left = &column_headers[column_count];
    column_headers[column_count].right = &root;
}

void append_matrix_row(DlxNode* nodes, int count)
{
    for (int i = 0; i < count; ++i) {
        DlxNode* const node = &nodes[i];
        node->right = &nodes[i + 1 == count ? 0 : i + 1];
        node->left = &nodes[i == 0 ? count - 1 : i - 1];
        DlxNode* const c = column_of(node);
        node->down = c;
        node->up = c->up;
        c->up->down = node;
        c->up = node;
        ++c->tag;
    }
}
