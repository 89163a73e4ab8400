// The answers of the mate kernels and the sizes of their buffers, read by the
// kernels and the host alike.
#ifndef DLS_VERDICTS
#define DLS_VERDICTS

// The transversals a square's store holds; a square with more goes back to the
// host.  The worker builds the kernels with this value.
#ifndef DLS_STORE_CAPACITY
#define DLS_STORE_CAPACITY 512
#endif

// The rows 0-4 partial diagonal transversals a block's table holds (some 6,700
// for a diagonal Latin square); the squares of a block with more go back to the
// host.  The worker builds the kernels with this value.
#ifndef DLS_TABLE_CAPACITY
#define DLS_TABLE_CAPACITY 8192
#endif

// The buckets a table is filed in (the join key's thirteen bits).
#define DLS_TOP_BUCKETS 8192

#define DLS_VERDICT_NO_MATE 0
#define DLS_VERDICT_MATE 1
// Beyond the kernels' buffers: the host decides.
#define DLS_VERDICT_OVERFLOW 2

#endif
