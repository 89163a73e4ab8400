// Dancing links: the exact-cover machinery shared by the transversal listing and
// the mate search.  All storage is static and rebuilt in place for every matrix.
#pragma once

#include <cstdint>

// A node is four links and one word.
//   Matrix node: left/right link the nodes of its matrix row (a ring in building
//   order), up/down the nodes of its column (a ring headed by the column header,
//   top to bottom in building order).  tag = row id << 7 | column number (1-100);
//   the node's column is column_headers[tag & 0x7F].
//   Column header: up/down head the column's ring, left/right link the active
//   columns in increasing number; tag holds the column's size, the number of
//   nodes currently in its ring.
//   Root (column_headers[0]): left/right head the ring of active columns, up and
//   down point to itself, size 0.
struct DlxNode {
    DlxNode* left;
    DlxNode* right;
    DlxNode* up;
    DlxNode* down;
    std::int32_t tag;
};

inline constexpr int max_columns = 100;
inline constexpr int max_transversals = 10000;
inline constexpr int node_pool_capacity = max_transversals * 10;
inline constexpr int search_depth = 10;

using NodePool = DlxNode[node_pool_capacity];

extern DlxNode column_headers[max_columns + 1];
extern NodePool node_pool;                   // matrix nodes, handed out from node 0 in building order
extern DlxNode* solution_stack[search_depth]; // per level, the node through which its row was chosen

inline DlxNode& root = column_headers[0];

inline DlxNode* column_of(const DlxNode* node)
{
    return &column_headers[node->tag & 0x7F];
}

// Building: start a matrix of column_count columns, all active and empty.
void init_column_headers(int column_count);

// Building: link count nodes, whose tags are set, into one matrix row in the
// given order and append each at the bottom of its column.
void append_matrix_row(DlxNode* nodes, int count);

// Takes c out of the active columns and every row through c out of the other
// columns: rows top-down, each row rightwards.
inline void cover_column(DlxNode* c)
{
    c->right->left = c->left;
    c->left->right = c->right;
    for (DlxNode* i = c->down; i != c; i = i->down) {
        for (DlxNode* j = i->right; j != i; j = j->right) {
            j->down->up = j->up;
            j->up->down = j->down;
            --column_of(j)->tag;
        }
    }
}

// The exact reverse of cover_column: rows bottom-up, each row leftwards.
inline void uncover_column(DlxNode* c)
{
    for (DlxNode* i = c->up; i != c; i = i->up) {
        for (DlxNode* j = i->left; j != i; j = j->left) {
            ++column_of(j)->tag;
            j->up->down = j;
            j->down->up = j;
        }
    }
    c->left->right = c;
    c->right->left = c;
}

// The active column of least size, the lowest number on ties; the first empty
// column met ends the walk.
inline DlxNode* choose_column()
{
    DlxNode* c = root.right;
    std::int32_t best = c->tag;
    if (best == 0)
        return c;
    for (DlxNode* h = c->right; h != &root; h = h->right) {
        if (h->tag < best) {
            if (h->tag == 0)
                return h;
            c = h;
            best = h->tag;
        }
    }
    return c;
}

// Algorithm X over exactly search_depth levels, iterative, with solution_stack as
// the only record of the path.  At each complete cover it calls on_cover(); a
// true answer ends the search with true.  Exhausting the search returns false.
template <typename CompletionAction>
bool run_exact_cover(CompletionAction on_cover)
{
    int k = 0;
    DlxNode* c;
    DlxNode* r;

enter_level:
    if (k == search_depth) {
        if (on_cover())
            return true;
        goto backtrack;
    }
    c = choose_column();
    if (c->down == c)
        goto backtrack;
    cover_column(c);
    r = c->down;

try_row:
    for (DlxNode* j = r->right; j != r; j = j->right)
        cover_column(column_of(j));
    solution_stack[k++] = r;
    goto enter_level;

backtrack:
    if (--k < 0)
        return false;
    r = solution_stack[k];
    c = column_of(r);
    for (DlxNode* j = r->left; j != r; j = j->left)
        uncover_column(column_of(j));
    uncover_column(c);
    if (r->down == c)
        goto backtrack;
    cover_column(c);
    r = r->down;
    goto try_row;
}
