// libFuzzer target: arbitrary bytes as a result file, checked by dlsmate-check
// (its own main, built in) against one of five fixed work units of the sample's
// space.  Whenever the check accepts, an oracle that shares no code with it says
// whether the file is one a run of the unit could have written, as far as the
// check promises: every record a diagonal Latin square of the space, the
// smallest of its class and with an orthogonal mate (brute force), increasing,
// in the walk and below the stop square; a sound closing block; and a stop at
// the end square exactly where every run stops, found by plain enumeration.
// A disagreement aborts, and the fuzzer reports the input.
//
// The first byte picks the unit, the rest is the result file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "filter/canonical.h"
#include "generator/generator.h"
#include "generator/state.h"
#include "reference/enumeration_reference.h"
#include "reference/mate_reference.h"
#include "reference/symmetry_reference.h"

int dlsmate_check_main(int argc, char** argv);

namespace {

constexpr int space = 64; // diagonal index 65, as the sample's
constexpr int floor_length = 48;

void require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_check: %s\n", what);
        std::abort();
    }
}

int compare(const Square& a, const Square& b)
{
    return std::memcmp(a.cells, b.cells, 100);
}

// --- The oracle's own reading of a result file --------------------------------

std::string record_text(const Square& s)
{
    std::string text;
    for (int r = 0; r < 10; ++r) {
        for (int c = 0; c < 10; ++c) {
            text += static_cast<char>('0' + s.cells[10 * r + c]);
            text += c < 9 ? " " : "\r\n";
        }
    }
    return text + "\r\n";
}

bool parse_record(const std::string& bytes, std::size_t at, Square& s)
{
    if (at + 212 > bytes.size())
        return false;
    for (int i = 0; i < 100; ++i) {
        const char ch = bytes[at + 21 * (i / 10) + 2 * (i % 10)];
        if (ch < '0' || ch > '9')
            return false;
        s.cells[i] = static_cast<std::uint8_t>(ch - '0');
    }
    return bytes.compare(at, 212, record_text(s)) == 0;
}

struct Parsed {
    std::vector<Square> found;
    bool closed = false;
    unsigned long long count = 0;
    int diagonal = 0;
    Square stop{};
    std::string end_record;
};

// False when the file is not laid out as records, a status line and two records.
bool parse(const std::string& bytes, Parsed& p)
{
    std::size_t at = 0;
    while (at < bytes.size() && bytes[at] != 'X') {
        Square s;
        if (!parse_record(bytes, at, s))
            return false;
        p.found.push_back(s);
        at += 212;
    }
    if (at == bytes.size())
        return true;
    // "X\r\n<diagonal> <count>\r\n", plain decimal numbers.
    const std::size_t line_end = bytes.find("\r\n", at + 3);
    if (bytes.compare(at, 3, "X\r\n") != 0 || line_end == std::string::npos)
        return false;
    const std::string line = bytes.substr(at + 3, line_end - at - 3);
    char diagonal_text[8];
    char count_text[24];
    if (std::sscanf(line.c_str(), "%7[0-9] %23[0-9]", diagonal_text, count_text) != 2 ||
        line != std::string(diagonal_text) + " " + count_text)
        return false;
    p.diagonal = std::atoi(diagonal_text);
    p.count = std::strtoull(count_text, nullptr, 10);
    if (std::to_string(p.diagonal) != diagonal_text || std::to_string(p.count) != count_text)
        return false;
    at = line_end + 2;
    if (!parse_record(bytes, at, p.stop) || bytes.size() != at + 424)
        return false;
    p.end_record = bytes.substr(at + 212);
    p.closed = true;
    return true;
}

// --- The oracle's own view of the space ------------------------------------------

bool in_space(const Square& s)
{
    const Square empty = reference::empty_square(space);
    for (int r = 0; r < 10; ++r)
        if (s.cells[11 * r] != empty.cells[11 * r] || s.cells[9 * r + 9] != empty.cells[9 * r + 9])
            return false;
    return reference::is_diagonal_latin(s);
}

bool smallest_of_class(const Square& s)
{
    return compare(symmetry_reference::class_members(s, space).front(), s) == 0;
}

// The first square of the space not below `bound` (above it, `strictly`), a
// square of the space, that is the smallest of its class: among the squares not
// below it, those that keep more of its first free cells come first.
Square first_kept_from(const Square& bound, bool strictly)
{
    for (int keep = 80; keep >= floor_length; --keep) {
        for (const Square& s : reference::completions(space, bound, keep, 200000)) {
            const int order = compare(s, bound);
            if ((strictly ? order > 0 : order >= 0) && smallest_of_class(s))
                return s;
        }
    }
    std::fprintf(stderr, "no kept square after the bound within the enumeration's reach\n");
    std::abort();
}

struct Unit {
    unsigned long long limit;
    Square end;
    bool ends_in_space;  // the walk reaches the end square: the stop there is known
    Square true_stop;    // then: the first kept square not below it
    std::string text;
};

Square start_square;  // the sample's start: its first 48 free cells, then zeros
std::vector<Unit> units;
std::string directory;

std::string unit_text(unsigned long long limit, const Square& start, const Square& end)
{
    std::string text = "65 " + std::to_string(limit) + "\n";
    for (const Square* s : {&start, &end})
        for (int i = 0; i < 100; ++i)
            text += std::to_string(s->cells[i]) + (i % 10 == 9 ? "\n" : " ");
    return text;
}

// The n-th square the worker's walk of the sample keeps: only to pick end
// squares, never to judge a result.
Square worker_kept(int n)
{
    generator_state = GeneratorState{};
    GeneratorState& s = generator_state;
    s.diagonal_index = space;
    s.square_limit = 1000;
    s.start_count = 80;
    const std::array<int, 80> values = reference::free_values(start_square);
    for (int k = 0; k < 80; ++k)
        s.start_values[k] = k < floor_length ? values[k] : 0;
    require(prime_generator(), "the sample's start primes");
    for (int seen = 0;;) {
        require(next_live_square(), "the sample's walk has squares");
        if (is_canonical(s.chosen_bits) && ++seen == n)
            break;
    }
    const Square kept = assembled_square;
    generator_state = GeneratorState{};
    return kept;
}

void set_up()
{
    // The sample's start rows (its first 48 free cells), then zeros.
    const int sample_rows[6][10] = {{0, 6, 5, 7, 3, 4, 8, 2, 9, 1}, {4, 1, 0, 9, 6, 7, 3, 5, 2, 8},
                                    {8, 4, 2, 5, 1, 3, 9, 0, 6, 7}, {5, 8, 6, 3, 9, 2, 4, 1, 7, 0},
                                    {7, 9, 8, 2, 4, 6, 1, 3, 0, 5}, {9, 2, 4, 1, 7, 5, 0, 8, 3, 6}};
    start_square = reference::empty_square(space);
    for (int r = 0; r < 6; ++r)
        for (int c = 0; c < 10; ++c)
            if (c != r && c != 9 - r)
                start_square.cells[10 * r + c] = static_cast<std::uint8_t>(sample_rows[r][c]);

    Square nines;
    std::memset(nines.cells, 9, 100);
    // A kept square with a mate, one without, and the all-nines square (a stop
    // at the limit).
    const Square thirteenth = worker_kept(13);
    const Square fifth = worker_kept(5);
    // End squares off the space: the seventh with a smaller and with a larger
    // last diagonal cell ((9, 9) holds 9 in every square of the space), at
    // which runs stop on the seventh and on the first kept square above it.
    const Square seventh = worker_kept(7);
    Square below_seventh = seventh;
    below_seventh.cells[99] = 8;
    Square above_seventh = seventh;
    above_seventh.cells[99] = 10;
    units.push_back(Unit{100, thirteenth, true, first_kept_from(thirteenth, false), ""});
    units.push_back(Unit{100, fifth, true, first_kept_from(fifth, false), ""});
    units.push_back(Unit{100, below_seventh, true, first_kept_from(seventh, false), ""});
    units.push_back(Unit{100, above_seventh, true, first_kept_from(seventh, true), ""});
    units.push_back(Unit{20, nines, false, Square{}, ""});
    for (Unit& u : units)
        u.text = unit_text(u.limit, start_square, u.end);

    char pattern[] = "/tmp/dlsmate-fuzz-check-XXXXXX";
    require(mkdtemp(pattern) != nullptr, "a temporary folder is made");
    directory = pattern;
    for (std::size_t i = 0; i < units.size(); ++i) {
        std::FILE* f = std::fopen((directory + "/unit" + std::to_string(i) + ".wu").c_str(), "wb");
        std::fwrite(units[i].text.data(), 1, units[i].text.size(), f);
        std::fclose(f);
    }
    // The check's lines are of no interest here.
    require(std::freopen("/dev/null", "w", stdout) != nullptr, "stdout goes to /dev/null");
}

void judge(const Unit& unit, const std::string& bytes)
{
    Parsed p;
    require(parse(bytes, p), "an accepted file is not laid out as a result file");
    Square floor = start_square;
    const Square* previous = nullptr;
    for (const Square& s : p.found) {
        require(in_space(s), "a record is not a diagonal Latin square of the space");
        require(smallest_of_class(s), "a record is not the smallest of its class");
        require(mate_reference::has_mate_by_backtracking(s), "an accepted record has no orthogonal mate");
        require(compare(s, floor) >= 0, "a record lies before the walk");
        require(previous == nullptr || compare(s, *previous) > 0, "the records do not increase");
        require(!p.closed || compare(s, p.stop) <= 0, "a record lies above the stop square");
        require(compare(s, unit.end) < 0 || (p.closed && compare(s, p.stop) == 0),
                "a record other than the stop square is not below the end square");
        previous = &s;
    }
    if (!p.closed) {
        require(p.found.size() < unit.limit, "a result without a closing block has the limit's records");
        require(!unit.ends_in_space, "a result without a closing block for a unit whose walk reaches its end square");
        return;
    }
    require(p.diagonal == 65, "the status line names another diagonal index");
    require(p.count >= 1 && p.count <= unit.limit, "the count is 0 or above the limit");
    require(p.end_record == record_text(unit.end), "the last record is not the end square");
    require(in_space(p.stop) && smallest_of_class(p.stop), "the stop square is not a kept square of the space");
    require(compare(p.stop, floor) >= 0, "the stop square lies before the walk");
    if (mate_reference::has_mate_by_backtracking(p.stop))
        require(!p.found.empty() && compare(p.found.back(), p.stop) == 0,
                "the stop square has a mate but is not the last record");
    if (compare(p.stop, unit.end) < 0)
        require(p.count == unit.limit, "a stop below the end square with a count short of the limit");
    else
        require(unit.ends_in_space && compare(p.stop, unit.true_stop) == 0,
                "a stop at the end square other than the one every run stops on");
    require(p.count >= p.found.size() + (p.found.empty() || compare(p.found.back(), p.stop) != 0 ? 1 : 0),
            "the count is below the squares the file shows");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (units.empty())
        set_up();
    if (size == 0)
        return 0;
    const std::size_t which = data[0] % units.size();
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const std::string unit_path = directory + "/unit" + std::to_string(which) + ".wu";
    const std::string result_path = directory + "/result";
    std::FILE* f = std::fopen(result_path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);

    std::string args[] = {"dlsmate-check", "--quiet", "--strict", unit_path, result_path};
    char* argv[] = {args[0].data(), args[1].data(), args[2].data(), args[3].data(), args[4].data(), nullptr};
    const int status = dlsmate_check_main(5, argv);
    generator_state = GeneratorState{};
    require(status == 0 || status == 1, "the check could not be made");
    if (status == 0)
        judge(units[which], bytes);
    return 0;
}
