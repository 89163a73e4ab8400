// The mate search over bitsets: the question that find_mate_cover answers over
// the dancing-links mate matrix, whether ten of the stored transversals are
// pairwise disjoint (and so cover all 100 cells), answered with sets of
// transversals held as bitsets, one bit per index into transversal_store.
//
// For each cell, transversals_through holds the set of transversals through
// it.  A search level holds the live set, the transversals that share no cell
// with any chosen above it, and the cells still open, those that no chosen
// transversal covers.  The level branches on the open cell with the fewest
// live transversals and tries each of them in turn; the level below keeps the
// live transversals that miss the ten cells of the one tried: per word, the
// live word AND NOT the OR of those ten cells' words.
//
// Why the answer is exact.  Every cover that extends the chosen transversals
// holds exactly one transversal through the cell the level branches on, and
// that transversal is live there, since it is disjoint from the chosen ones,
// which belong to the same cover.  So trying each live transversal through
// that cell meets every such cover, each exactly once, and an open cell with
// no live transversal shows that there is none.  Ten transversals chosen one
// below the other are pairwise disjoint and so cover the 100 cells.  The two
// short cuts are consequences of the same facts: fewer live transversals than
// levels still to fill cannot complete a cover, and on the last level every
// live transversal misses the 90 covered cells, so it covers the ten open ones
// and completes the cover.
//
// A call rebuilds the cell sets on the words that its count needs, and a live
// set lists the indices of its non-zero words, so the search reads only words
// written by the same call.  The counts that choose a cell come from popcounts
// of live & cell set, or, once few transversals are live, from walking the live
// ones and adding up their cells.  The search is compiled twice: for any
// processor and for one with the POPCNT instruction, chosen once at run time.

#include "dlx/bitset_mate.h"

#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>

#include "dlx/core.h"
#include "dlx/transversals.h"

namespace {

constexpr int cell_count = 100;
constexpr int max_words = (max_transversals + 63) / 64;

// Bit i % 64 of transversals_through[i / 64][c] is set when transversal i passes
// through cell c.
std::uint64_t transversals_through[max_words][cell_count];

// A cell's key packs its number of live transversals above its number, so that
// the least key is the cell of least count, the lowest cell on ties.  A covered
// cell holds the largest key of its type, above every open cell's key; counting
// never adds to it, since no live transversal passes through a covered cell.
// Short keys hold counts up to max_short_count, long keys any count.
constexpr int key_shift = 7;
constexpr std::int32_t key_cell_mask = (1 << key_shift) - 1;
constexpr std::int16_t covered_short_key = INT16_MAX;
constexpr std::int32_t covered_long_key = INT32_MAX;
constexpr int max_short_count = (covered_short_key - cell_count) >> key_shift;

struct ShortKeys {
    std::int16_t key[cell_count];
};

struct LongKeys {
    std::int32_t key[cell_count];
};

constexpr ShortKeys make_open_keys()
{
    ShortKeys keys{};
    for (int c = 0; c < cell_count; ++c)
        keys.key[c] = static_cast<std::int16_t>(c);
    return keys;
}

constexpr ShortKeys all_open = make_open_keys();

struct SearchLevel {
    std::uint64_t live[max_words];  // valid only at the indices listed in words
    std::uint16_t words[max_words]; // the indices of the non-zero words of live, increasing
    std::int32_t word_count;
    std::int32_t live_count;        // bits in live
    ShortKeys open;                 // the open cells' keys at count 0, covered_short_key for the others
    std::int32_t cell;              // the cell the level branches on
    std::int32_t position;          // index in words of the word being tried
    std::uint64_t untried;          // that word's transversals through cell still to try
};

SearchLevel levels[search_depth + 1];
std::int32_t chosen[search_depth]; // per level, the index of the transversal tried

// Every helper that counts bits is forced inline, so that each variant of the
// search compiles its own copy with its own instructions.
#define DLSMATE_ALWAYS_INLINE [[gnu::always_inline]] static inline

DLSMATE_ALWAYS_INLINE void build_cell_sets(std::int32_t count)
{
    assert(count >= 0 && count <= max_transversals);
    const int word_count = (count + 63) / 64;
    std::memset(transversals_through, 0, sizeof transversals_through[0] * word_count);
    const Transversal* const store = transversal_store;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint8_t* const columns = store[i].columns;
        std::uint64_t* const sets = transversals_through[i / 64];
        const std::uint64_t bit = std::uint64_t{1} << (i % 64);
        for (int r = 0; r < 10; ++r) {
            assert(columns[r] < 10);
            sets[10 * r + columns[r]] |= bit;
        }
    }

    SearchLevel& top = levels[0];
    for (int w = 0; w < word_count; ++w) {
        top.live[w] = ~std::uint64_t{0};
        top.words[w] = static_cast<std::uint16_t>(w);
    }
    if (count % 64 != 0)
        top.live[word_count - 1] = (std::uint64_t{1} << (count % 64)) - 1;
    top.word_count = word_count;
    top.live_count = count;
    top.open = all_open;
}

// The cell of the least key, and its count.
template <typename Keys>
static inline int take_least_key(const Keys& keys, int& fewest)
{
    const auto* const key = keys.key;
    auto least = key[0];
    for (int c = 1; c < cell_count; ++c)
        least = key[c] < least ? key[c] : least;
    fewest = least >> key_shift;
    return least & key_cell_mask;
}

// The open cell of least count, counted by a popcount of live & cell set for
// every live word and cell.
DLSMATE_ALWAYS_INLINE int least_open_cell_by_popcounts(const SearchLevel& level, int& fewest)
{
    LongKeys keys;
    std::int32_t* const key = keys.key;
    const std::int16_t* const open = level.open.key;
    for (int c = 0; c < cell_count; ++c)
        key[c] = open[c] == covered_short_key ? covered_long_key : open[c];
    const std::uint64_t* const live = level.live;
    const std::uint16_t* const words = level.words;
    const int word_count = level.word_count;
    for (int p = 0; p < word_count; ++p) {
        const int w = words[p];
        const std::uint64_t live_word = live[w];
        const std::uint64_t* const sets = transversals_through[w];
        for (int c = 0; c < cell_count; ++c)
            key[c] += std::popcount(live_word & sets[c]) << key_shift;
    }
    return take_least_key(keys, fewest);
}

// The open cell of least count, counted by walking the live transversals and
// adding to the keys of their cells.  For at most max_short_count of them.
static inline int least_open_cell_by_listing(const SearchLevel& level, int& fewest)
{
    assert(level.live_count <= max_short_count);
    ShortKeys keys = level.open;
    std::int16_t* const key = keys.key;
    const Transversal* const store = transversal_store;
    const std::uint64_t* const live = level.live;
    const std::uint16_t* const words = level.words;
    const int word_count = level.word_count;
    for (int p = 0; p < word_count; ++p) {
        const int w = words[p];
        for (std::uint64_t bits = live[w]; bits; bits &= bits - 1) {
            const std::uint8_t* const columns = store[64 * w + std::countr_zero(bits)].columns;
            for (int r = 0; r < 10; ++r) {
                assert(key[10 * r + columns[r]] != covered_short_key);
                key[10 * r + columns[r]] += 1 << key_shift;
            }
        }
    }
    return take_least_key(keys, fewest);
}

// Weights of the two ways of counting, tuned on the instruction counts of the
// worker's squares: adding one live transversal to the keys of its ten cells,
// and the popcounts of one live word over the 100 cells, by the instruction or
// by the compiler's library call.  Both give the same cell.
constexpr int listing_cost = 25;
constexpr int popcount_cost_by_instruction = 1000;
constexpr int popcount_cost_by_library = 2000;

// The cell the level at depth k branches on, and its number of live transversals.
template <int popcount_cost>
DLSMATE_ALWAYS_INLINE int choose_cell(const SearchLevel& level, int k, int& fewest)
{
    if (k == search_depth - 1) {
        // Every live transversal covers the ten open cells: take the first one's
        // cell in row 0.
        const int w = level.words[0];
        fewest = level.live_count;
        return transversal_store[64 * w + std::countr_zero(level.live[w])].columns[0];
    }
    if (level.live_count <= max_short_count && listing_cost * level.live_count <= popcount_cost * level.word_count)
        return least_open_cell_by_listing(level, fewest);
    return least_open_cell_by_popcounts(level, fewest);
}

// The level below after choosing transversal t: the live transversals that
// share no cell with t, and the open cells less t's.
DLSMATE_ALWAYS_INLINE void descend(const SearchLevel& level, SearchLevel& below, std::int32_t t)
{
    const std::uint8_t* const columns = transversal_store[t].columns;
    const int c0 = columns[0], c1 = 10 + columns[1], c2 = 20 + columns[2], c3 = 30 + columns[3],
              c4 = 40 + columns[4], c5 = 50 + columns[5], c6 = 60 + columns[6], c7 = 70 + columns[7],
              c8 = 80 + columns[8], c9 = 90 + columns[9];
    const std::uint64_t* const live = level.live;
    const std::uint16_t* const words = level.words;
    const int word_count = level.word_count;
    std::uint64_t* const live_below = below.live;
    std::uint16_t* const words_below = below.words;
    int n = 0;
    int live_count = 0;
    for (int p = 0; p < word_count; ++p) {
        const int w = words[p];
        const std::uint64_t* const sets = transversals_through[w];
        const std::uint64_t meets = sets[c0] | sets[c1] | sets[c2] | sets[c3] | sets[c4] | sets[c5] | sets[c6] |
                                    sets[c7] | sets[c8] | sets[c9];
        const std::uint64_t kept = live[w] & ~meets;
        if (kept) {
            live_below[w] = kept;
            words_below[n++] = static_cast<std::uint16_t>(w);
            live_count += std::popcount(kept);
        }
    }
    below.word_count = n;
    below.live_count = live_count;

    below.open = level.open;
    std::int16_t* const open = below.open.key;
    for (int r = 0; r < 10; ++r) {
        assert(open[10 * r + columns[r]] != covered_short_key);
        open[10 * r + columns[r]] = covered_short_key;
    }
}

// The search over search_depth levels, iterative, with levels[] and chosen[] as
// its record of the path.  At each complete cover it counts it and calls
// on_cover(chosen); a true answer ends the search.  Returns the covers counted.
template <int popcount_cost, typename CompletionAction>
DLSMATE_ALWAYS_INLINE std::int64_t run_bitset_cover(std::int32_t count, CompletionAction on_cover)
{
    build_cell_sets(count);
    std::int64_t covers = 0;
    int k = 0;
    int fewest;

enter_level:
    if (k == search_depth) {
        ++covers;
        if (on_cover(static_cast<const std::int32_t*>(chosen)))
            return covers;
        goto backtrack;
    }
    if (levels[k].live_count < search_depth - k) // too few to fill the levels left
        goto backtrack;
    levels[k].cell = choose_cell<popcount_cost>(levels[k], k, fewest);
    assert(levels[k].cell >= 0 && levels[k].cell < cell_count);
    assert(levels[k].open.key[levels[k].cell] != covered_short_key);
    if (fewest == 0)
        goto backtrack;
    levels[k].position = -1;
    levels[k].untried = 0;

try_next:
    {
        SearchLevel& level = levels[k];
        const int cell = level.cell;
        while (level.untried == 0) {
            if (++level.position == level.word_count)
                goto backtrack;
            const int w = level.words[level.position];
            level.untried = level.live[w] & transversals_through[w][cell];
        }
        const std::int32_t t = 64 * level.words[level.position] + std::countr_zero(level.untried);
        level.untried &= level.untried - 1;
        chosen[k] = t;
        if (k + 1 < search_depth)
            descend(level, levels[k + 1], t);
        ++k;
        goto enter_level;
    }

backtrack:
    if (--k < 0)
        return covers;
    goto try_next;
}

struct VisitAction {
    void (*visit)(const std::int32_t*, void*);
    void* context;
    bool operator()(const std::int32_t* indices) const
    {
        visit(indices, context);
        return false;
    }
};

bool stop_at_first_cover(const std::int32_t*)
{
    return true;
}

#if defined(__x86_64__) || defined(__i386__)
#define DLSMATE_POPCNT_TARGET __attribute__((target("popcnt")))
#else
#define DLSMATE_POPCNT_TARGET
#endif

std::int64_t visit_covers_baseline(std::int32_t count, VisitAction action)
{
    return run_bitset_cover<popcount_cost_by_library>(count, action);
}

DLSMATE_POPCNT_TARGET std::int64_t visit_covers_popcnt(std::int32_t count, VisitAction action)
{
    return run_bitset_cover<popcount_cost_by_instruction>(count, action);
}

} // namespace

bool find_mate_by_bitsets_baseline(std::int32_t count)
{
    return run_bitset_cover<popcount_cost_by_library>(count, stop_at_first_cover) != 0;
}

DLSMATE_POPCNT_TARGET bool find_mate_by_bitsets_popcnt(std::int32_t count)
{
    return run_bitset_cover<popcount_cost_by_instruction>(count, stop_at_first_cover) != 0;
}

bool cpu_has_popcnt()
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool has_popcnt = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("popcnt") != 0;
    }();
    return has_popcnt;
#else
    return false;
#endif
}

bool find_mate_by_bitsets(std::int32_t count)
{
    static bool (*const search)(std::int32_t) =
        cpu_has_popcnt() ? find_mate_by_bitsets_popcnt : find_mate_by_bitsets_baseline;
    return search(count);
}

std::int64_t for_each_mate_cover_by_bitsets(std::int32_t count,
                                            void (*visit)(const std::int32_t* transversal_indices, void* context),
                                            void* context)
{
    const VisitAction action{visit, context};
    return cpu_has_popcnt() ? visit_covers_popcnt(count, action) : visit_covers_baseline(count, action);
}
