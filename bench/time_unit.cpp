// dlsmate_time_unit UNIT RESULT: runs the search loop over one work unit, as the
// worker does less the BOINC library's start and finish, writing the result to
// RESULT, and prints the number of passing squares and the CPU seconds of the
// process spent in run_search (std::clock).  The same file compiled with the
// io/, generator/, filter/ and dlx/ sources of another commit (and
// tools/no_boinc.cpp) times that commit on the same terms; under
// valgrind --tool=callgrind it gives instructions per passing square.
#include <cstdio>
#include <ctime>

#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "io/workunit.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: dlsmate_time_unit UNIT RESULT\n");
        return 2;
    }
    std::FILE* const in = std::fopen(argv[1], "rb");
    if (in == nullptr || !read_workunit(in) || !prime_generator()) {
        std::fprintf(stderr, "dlsmate_time_unit: cannot read or prime %s\n", argv[1]);
        return 1;
    }
    std::fclose(in);
    std::FILE* const out = std::fopen(argv[2], "wb");
    if (out == nullptr) {
        std::fprintf(stderr, "dlsmate_time_unit: cannot open %s\n", argv[2]);
        return 1;
    }
    const std::clock_t start = std::clock();
    run_search(out);
    const std::clock_t end = std::clock();
    if (std::fclose(out) != 0)
        return 1;
    std::printf("%llu %.3f\n", static_cast<unsigned long long>(generator_state.passing_count),
                static_cast<double>(end - start) / CLOCKS_PER_SEC);
    return 0;
}
