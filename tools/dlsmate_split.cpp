// dlsmate-split: partitions the space of one diagonal index, or of all of them,
// into work units, one per prefix of the first K free cells that the generator
// can reach, in increasing order; with --live-only, without the prefixes on
// which the symmetry filter rejects every completion.

#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <vector>

#include "filter/prefix.h"
#include "generator/tables.h"
#include "tools/lib/cli.h"
#include "tools/lib/squares.h"
#include "tools/lib/walk.h"
#include "tools/lib/workunit_file.h"

namespace {

const char* const tool = "dlsmate-split";

const char* const help_text =
    "Usage: dlsmate-split [--prefix VALUES] [--live-only] [--stem STEM] [--quiet]\n"
    "                     DIAGONAL K LIMIT DIRECTORY\n"
    "\n"
    "Writes one work unit per prefix of the first K free cells (in row-major order)\n"
    "that the generator can reach, in increasing order, into DIRECTORY, and prints\n"
    "each file's path on standard output.  A unit's run begins at the first square\n"
    "with its prefix and stops at the first passing square of the next unit, which\n"
    "the next unit examines again (the one square two neighbouring units share);\n"
    "the last unit runs to the end of the space.\n"
    "\n"
    "  DIAGONAL   diagonal index 1-67, or \"all\" for every one of them\n"
    "  K          free cells fixed per unit, 0-79 (0: one unit for the whole space)\n"
    "  LIMIT      square limit of every unit, 1 or more\n"
    "  DIRECTORY  created when missing; must be empty\n"
    "\n"
    "  --prefix VALUES  split only the squares whose first free cells hold VALUES\n"
    "                   (digits separated by commas or spaces, at most K of them);\n"
    "                   the last unit then ends where the next prefix of that\n"
    "                   length begins.  Refines one unit of a coarser split.\n"
    "  --live-only      leave out every dead prefix: one on which every completion\n"
    "                   fails the symmetry filter, so that its unit holds no\n"
    "                   passing square.  The other units keep their start and end\n"
    "                   squares: a unit before a dead prefix still ends where that\n"
    "                   prefix begins, and its run goes on through the dead\n"
    "                   prefixes, which hold no passing square, and stops at the\n"
    "                   first passing square of the next unit written, which that\n"
    "                   unit examines again.  The files are numbered consecutively.\n"
    "  --stem STEM      name the files STEM-000001.wu, ... (default dNN-kK); with\n"
    "                   \"all\" the numbers run on from one space to the next\n"
    "  --quiet          no progress messages\n"
    "  --help           this text\n"
    "\n"
    "Exit status: 0 when every unit was written, 1 on bad arguments or a write failure\n"
    "(bad arguments write nothing).\n"
    "\n"
    "Example:\n"
    "  dlsmate-split --live-only 5 8 100000000 units-05    # diagonal index 5, first row\n"
    "                                                      # fixed per unit, dead rows left out\n";

bool parse_prefix(const std::string& text, std::vector<int>& values)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == ',' || ch == ' ')
            continue;
        if (ch < '0' || ch > '9')
            return false;
        if (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9')
            return false;
        values.push_back(ch - '0');
    }
    return true;
}

// Creates the directory when missing; refuses one that is not empty.
bool prepare_directory(const std::string& path, std::string& error)
{
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        if (mkdir(path.c_str(), 0777) != 0) {
            error = "cannot create directory " + path + ": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    if (!S_ISDIR(info.st_mode)) {
        error = path + " is not a directory";
        return false;
    }
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        error = "cannot read directory " + path + ": " + std::strerror(errno);
        return false;
    }
    bool empty = true;
    while (const dirent* entry = readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            empty = false;
    }
    closedir(dir);
    if (!empty) {
        error = "directory " + path + " is not empty; the work units go into an empty or new directory";
        return false;
    }
    return true;
}

std::string sequence_number(std::uint64_t n)
{
    char text[32];
    std::snprintf(text, sizeof text, "%06llu", static_cast<unsigned long long>(n));
    return text;
}

std::string default_stem(int diagonal_number, int k)
{
    char text[32];
    std::snprintf(text, sizeof text, "d%02d-k%d", diagonal_number, k);
    return text;
}

struct Options {
    std::vector<int> diagonal_numbers;
    int k = 0;
    std::uint64_t limit = 0;
    std::string directory;
    std::vector<int> prefix;
    std::string stem;
    bool live_only = false;
    bool quiet = false;
};

// What the split of one diagonal index wrote.
struct SplitCount {
    bool write_failed = false;
    long long written = 0; // units written
    long long dead = 0;    // dead prefixes left out (--live-only)
};

// Whether every completion of the prefix fails the symmetry filter.  The empty
// prefix, the whole space, never is dead.
bool prefix_is_dead(int diagonal_index, const int* prefix, int length)
{
    if (length == 0)
        return false;
    std::uint32_t chosen_bits[80];
    for (int k = 0; k < length; ++k)
        chosen_bits[k] = 1u << prefix[k];
    return judge_prefix(chosen_bits, length, diagonal_index) == PrefixVerdict::fails;
}

std::string units_written_text(const Options& options, const SplitCount& count)
{
    std::string text = std::to_string(count.written) + " units written";
    if (options.live_only)
        text += ", " + std::to_string(count.dead) + " dead prefixes left out";
    return text;
}

// The end square of the last unit: where the next prefix of the refined
// length begins, or beyond every square when there is none.
Square final_end_square(int diagonal_index, const std::vector<int>& prefix)
{
    if (prefix.empty())
        return all_nines();
    PrefixWalker after(diagonal_index, static_cast<int>(prefix.size()), 0);
    std::string unused;
    after.seek(prefix.data(), static_cast<int>(prefix.size()), unused);
    if (!after.next())
        return all_nines();
    return prefix_floor_square(diagonal_index, after.values(), after.length());
}

// Writes the units of one diagonal index.  Every unit ends where the next
// prefix begins, whether or not that prefix is written.  `numbered` counts the
// files named with this stem so far, so that one --stem over several spaces
// numbers on instead of writing over the files of the space before.
SplitCount split_space(const Options& options, int diagonal_number, std::uint64_t& numbered, Progress& progress)
{
    const int d = diagonal_number - 1;
    const int kept = static_cast<int>(options.prefix.size());
    const std::string stem = options.stem.empty() ? default_stem(diagonal_number, options.k) : options.stem;
    PrefixWalker walker(d, options.k, kept);
    std::string problem;
    walker.seek(options.prefix.data(), kept, problem);
    const Square last_end = final_end_square(d, options.prefix);

    SplitCount count;
    bool have = walker.fill();
    std::vector<int> current(options.k);
    while (have) {
        std::copy(walker.values(), walker.values() + options.k, current.begin());
        have = walker.next();
        const Square start = prefix_start_square(d, current.data(), options.k);
        const Square end = have ? prefix_floor_square(d, walker.values(), options.k) : last_end;
        if (options.live_only && prefix_is_dead(d, current.data(), options.k)) {
            ++count.dead;
        } else {
            const std::string path =
                options.directory + "/" + stem + "-" + sequence_number(numbered + 1) + ".wu";
            std::string error;
            if (!write_file_replacing(path, workunit_text(diagonal_number, options.limit, start, end), error)) {
                tool_message(tool, error + " (" + std::to_string(count.written) + " units of diagonal index " +
                                       std::to_string(diagonal_number) + " written before)");
                count.write_failed = true;
                return count;
            }
            std::printf("%s\n", path.c_str());
            ++numbered;
            ++count.written;
        }
        if (!options.quiet && progress.due())
            progress.report("diagonal index " + std::to_string(diagonal_number) + ": " +
                            units_written_text(options, count));
    }
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    std::vector<std::string> positional;
    std::optional<std::string> stem, prefix;
    if (const std::optional<int> status = read_command_line(tool, argc, argv, help_text,
                                                            {{"--quiet", &options.quiet},
                                                             {"--live-only", &options.live_only},
                                                             {"--prefix", nullptr, &prefix},
                                                             {"--stem", nullptr, &stem}},
                                                            1, positional))
        return *status;
    if (stem) {
        options.stem = *stem;
        if (stem->empty() || stem->find('/') != std::string::npos) {
            tool_message(tool, "--stem must be a non-empty file name without '/'");
            return 1;
        }
    }
    const bool prefix_given = prefix.has_value();
    if (prefix && !parse_prefix(*prefix, options.prefix)) {
        tool_message(tool, "--prefix takes single digits 0-9 separated by commas or spaces, not \"" + *prefix + "\"");
        return 1;
    }
    if (positional.size() != 4) {
        tool_message(tool, "expected DIAGONAL K LIMIT DIRECTORY; see --help");
        return 1;
    }

    std::uint64_t number = 0;
    if (positional[0] == "all") {
        for (int n = 1; n <= diagonal_count; ++n)
            options.diagonal_numbers.push_back(n);
    } else if (parse_unsigned(positional[0], number) && number >= 1 && number <= diagonal_count) {
        options.diagonal_numbers.push_back(static_cast<int>(number));
    } else {
        tool_message(tool, "diagonal index \"" + positional[0] + "\" is not 1-67 or \"all\"");
        return 1;
    }
    if (!parse_unsigned(positional[1], number) || number > 79) {
        tool_message(tool, "K \"" + positional[1] + "\" is not 0-79");
        return 1;
    }
    options.k = static_cast<int>(number);
    if (!parse_unsigned(positional[2], options.limit) || options.limit == 0) {
        tool_message(tool, "square limit \"" + positional[2] + "\" is not a number from 1 to 2^64 - 1");
        return 1;
    }
    options.directory = positional[3];

    if (prefix_given) {
        if (options.diagonal_numbers.size() != 1) {
            tool_message(tool, "--prefix needs one diagonal index, not \"all\"");
            return 1;
        }
        if (static_cast<int>(options.prefix.size()) > options.k) {
            tool_message(tool, "--prefix has " + std::to_string(options.prefix.size()) +
                                   " values, more than K = " + std::to_string(options.k));
            return 1;
        }
        PrefixWalker check(options.diagonal_numbers[0] - 1, options.k, 0);
        std::string problem;
        if (!check.seek(options.prefix.data(), static_cast<int>(options.prefix.size()), problem)) {
            tool_message(tool, "--prefix cannot occur in diagonal index " + std::to_string(options.diagonal_numbers[0]) +
                                   ": " + problem);
            return 1;
        }
    }

    std::string error;
    if (!prepare_directory(options.directory, error)) {
        tool_message(tool, error);
        return 1;
    }

    Progress progress(tool);
    std::uint64_t numbered = 0;
    for (int diagonal_number : options.diagonal_numbers) {
        if (options.stem.empty())
            numbered = 0; // each space has a stem of its own
        const SplitCount count = split_space(options, diagonal_number, numbered, progress);
        if (count.write_failed)
            return 1;
        const std::string space = "diagonal index " + std::to_string(diagonal_number) + ": ";
        if (count.written == 0 && count.dead == 0)
            tool_message(tool, space + "no prefix of " + std::to_string(options.k) +
                                   " cells extends --prefix; no unit written");
        else if (count.written == 0)
            tool_message(tool, space + "all " + std::to_string(count.dead) + " prefixes of " +
                                   std::to_string(options.k) + " cells are dead; no unit written");
        else if (!options.quiet)
            tool_message(tool, space + std::to_string(count.written) + " work units, K = " +
                                   std::to_string(options.k) + ", square limit " + std::to_string(options.limit) +
                                   (options.live_only ? ", " + std::to_string(count.dead) + " dead prefixes left out"
                                                      : std::string()));
    }
    if (std::fflush(stdout) != 0) {
        tool_message(tool, "cannot write the list of units to standard output");
        return 1;
    }
    return 0;
}
