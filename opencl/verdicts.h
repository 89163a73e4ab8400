// The answers of the mate kernel, read by the kernel and the host alike.
#ifndef DLS_VERDICTS
#define DLS_VERDICTS

// The transversals a work item can hold; a square with more goes back to the
// host.  The worker builds the kernel with this value.
#ifndef DLS_STORE_CAPACITY
#define DLS_STORE_CAPACITY 512
#endif

#define DLS_VERDICT_NO_MATE 0
#define DLS_VERDICT_MATE 1
// More transversals than the kernel's store holds: the host decides.
#define DLS_VERDICT_OVERFLOW 2

#endif
