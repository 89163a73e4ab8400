// Where the generator walks: the start of a work unit's walk, and the prefixes
// of the free cells in the order in which the generator fills them.
#pragma once

#include <string>

#include "generator/square.h"
#include "generator/state.h"
#include "tools/lib/workunit_file.h"

// The start of the walk of a work unit, learnt from prime_generator itself.
// The worker's run examines exactly the squares of the space that are
//   - above `floor`, when every start value replays (replayed == 80): floor is
//     then the start square with the space's diagonals, and the start square
//     itself is never examined;
//   - not below `floor` otherwise: floor holds the replayed start values, the
//     space's diagonals and 0 in every later free cell, and the run examines
//     every square that keeps the replayed values, then every square after them.
struct WalkStart {
    bool can_start = false; // false: no square follows the start square ("Line end")
    int replayed = 0;       // start values that replay, from position 0
    Square floor{};
};
WalkStart walk_start(const WorkUnit& unit);

// Whether the walk of that work unit reaches the square.
bool lies_in_walk(const WalkStart& start, const Square& square);

// "after the start square" / "at the first square whose first 48 free cells are
// the start square's".
std::string walk_description(const WalkStart& start);

// The prefixes of one length of a space, in increasing order: every assignment
// of the first `length` free cells (in generator position order) that repeats
// no value in a row or column, diagonals included.  These are exactly the
// partial squares the generator passes through at that depth: the walk is the
// generator's own (generator/walk.h) on a state of its own, bounded to the
// prefix length.
class PrefixWalker {
public:
    // Prefixes of `length` cells (0-79) that keep the first `kept` cells as
    // placed by seek(); the walk never changes those.
    PrefixWalker(int diagonal_index, int length, int kept);

    // Places values at positions 0 .. count - 1.  False, with the position and
    // cell at fault, when one of them repeats a value of its row or column.
    bool seek(const int* values, int count, std::string& problem);

    // Completes the prefix from the current position with the smallest values,
    // backing up as the generator does.  False when no prefix is left.
    bool fill();

    // The next prefix after the current one.  False when none is left.
    bool next();

    const int* values() const { return values_; }
    int length() const { return length_; }

private:
    bool stand(int position);

    int length_;
    int kept_;
    int position_ = 0;
    GeneratorState state_{};
    int values_[80];
};

// The start square of a work unit whose run begins at the first square with
// the given prefix: the space's diagonals, the prefix, and in every later free
// cell its row number, which repeats the main-diagonal cell of that row, so
// that the replay stops right after the prefix.
Square prefix_start_square(int diagonal_index, const int* prefix, int length);

// The space's diagonals, the prefix, and 0 in every later free cell: the
// smallest square (as bytes) of all that keep the prefix.
Square prefix_floor_square(int diagonal_index, const int* prefix, int length);
