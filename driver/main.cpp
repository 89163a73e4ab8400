// dlsmate: the BOINC worker.  Started with the logical names of one work-unit
// file and one result file; everything else comes from the work unit.

#include "driver/run.h"
#include "generator/search.h"

int main(int argc, char** argv)
{
    const SearchRoom cpu = {
        nullptr,
        [](std::FILE* result, const char* checkpoint_path, std::uint64_t result_length) {
            run_search(result, checkpoint_path, result_length);
            return true;
        },
    };
    return run_work_unit(argc, argv, cpu);
}
