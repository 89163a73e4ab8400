// The catalogue of a dlsmate project: every canonical result, every square
// found with a mate, and per main class (named by its CF) its first finding,
// diagonal transversals, mates and how often it was found; the orthogonality
// graph over CFs and every triangle (three mutually orthogonal squares).
// Tables:
//   unit      one row per work unit (name, chain, link, space, start_square,
//             end_square, square_limit, stop, stop_square, records, passing,
//             own_records, own_passing, continuation, error_mask, cpu_seconds,
//             assimilated)
//   square    one row per square with a mate in a result (unit, position,
//             square, shared, cf)
//   class     one row per CF of a square found or of one of its mates (cf,
//             class_size, transversals, mates, searched, first_unit,
//             first_square, origin: "found" or "mate")
//   edge      the orthogonality graph: cf_a <= cf_b, two classes with
//             orthogonal members (cf_a = cf_b: mates within one class)
//   triangle  three mutually orthogonal squares (unit, square, mate_a, mate_b)
//   known     CFs loaded from a researcher's list (cf, source)
// Squares and CFs are their digits, row by row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/database.h"
#include "generator/square.h"

// The project's unit names: dlsmate-split's STEM-NNNNNN and continuations
// NAME-cL; letters, digits, '.', '_' and '-', starting with a letter or a
// digit, at most 100 characters (the work
// generator's valid_unit_name in deploy/dlsmate_project.sh is the same rule).
bool valid_unit_name(const std::string& name);

// Creates the tables, or adds the columns and tables an older catalogue lacks.
void init_catalogue(Database& db);

struct UnitResult {
    std::string name;
    int space = 0;
    std::string start_square;
    std::string end_square;
    std::int64_t square_limit = 0;
    std::string stop; // end, limit or exhausted
    std::optional<std::string> stop_square;
    std::int64_t records = 0;
    std::optional<std::int64_t> passing;
    std::int64_t own_records = 0;
    std::optional<std::int64_t> own_passing;
    std::optional<std::string> continuation;
    std::optional<double> cpu_seconds;
    std::vector<Square> found; // the records before the status line
};

// What recording a unit found beyond its rows.
struct AddReport {
    int new_classes = 0;
    std::vector<std::string> triangles; // one line each
};

// Records a unit's result, replacing what was recorded for it before; one transaction.
AddReport add_unit(Database& db, const UnitResult& unit);
void add_error(Database& db, const std::string& name, std::int64_t mask);

// Loads CFs (their digits) as known classes; the number new to the list.
int import_known(Database& db, const std::vector<std::string>& forms, const std::string& source);

// Per space: "space 65: 18 results of 14 units, 26202 squares passed the
// filter, 1 with a mate", one line each.
std::vector<std::string> space_totals(Database& db);

// Each square found with a mate once: (unit, square digits), in square order.
std::vector<std::pair<std::string, std::string>> found_squares(Database& db, std::optional<int> space);

struct ClassRow {
    std::string cf;
    std::int64_t class_size = 0;
    std::int64_t transversals = 0;
    std::int64_t mates = 0;
    bool searched = true;
    std::string first_unit;
    std::string first_square;
    std::string origin;
    std::int64_t found = 0; // squares found in results
    bool known = false;     // in an imported list
};
std::vector<ClassRow> class_rows(Database& db);
std::vector<std::pair<std::string, std::string>> graph_edges(Database& db);

struct ResearchTotals {
    std::int64_t results = 0;
    std::int64_t failed = 0;
    std::int64_t kept_squares = 0;
    std::int64_t squares_with_mate = 0;
    std::int64_t classes = 0;       // distinct CFs
    std::int64_t found_classes = 0; // with a square found in a result (the others: only as mates)
    std::int64_t new_classes = 0;   // not in the imported lists
    std::int64_t known_classes = 0; // in the imported lists
    double cpu_seconds = 0;         // of the results that have a CPU time
    std::int64_t timed_results = 0;
    std::int64_t most_mates = 0;
    std::int64_t edges = 0;
    std::int64_t components = 0;
    std::int64_t triangles = 0;
};
ResearchTotals research_totals(Database& db);
std::vector<std::string> triangle_lines(Database& db);
