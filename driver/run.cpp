#include "driver/run.h"

#include <cstdint>
#include <cstdio>
#include <string>

#include <boinc_api.h>
#include <filesys.h>

#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "io/checkpoint.h"
#include "io/workunit.h"

int run_work_unit(int argc, char** argv, const SearchRoom& room)
{
    if (argc != 3)
        return 1;

    char prefix[256];
    std::string input_name;
    std::string output_name;

    int status = boinc_init();
    if (status != 0) {
        std::fprintf(stderr, "%s boinc_init returned %d\n", boinc_msg_prefix(prefix, sizeof prefix), status);
        return status;
    }

    status = boinc_resolve_filename_s(argv[1], input_name);
    if (status != 0) {
        std::fprintf(stderr, "%s boinc_resolve_filename_s returned %d\n", boinc_msg_prefix(prefix, sizeof prefix), status);
        return status;
    }
    status = boinc_resolve_filename_s(argv[2], output_name);
    if (status != 0) {
        std::fprintf(stderr, "%s boinc_resolve_filename_s returned %d\n", boinc_msg_prefix(prefix, sizeof prefix), status);
        return status;
    }

    std::FILE* input = boinc_fopen(input_name.c_str(), "rb");
    if (input == nullptr) {
        std::fprintf(stderr, "%s Couldn't find input file, resolved name %s.\n", boinc_msg_prefix(prefix, sizeof prefix),
                     input_name.c_str());
        return 1;
    }
    if (!read_workunit(input)) {
        std::fprintf(stderr, "Invalid input format\n");
        std::fclose(input);
        return 1;
    }
    std::fclose(input);

    if (!prime_generator()) {
        std::fprintf(stderr, "Line end\n");
        return 1;
    }

    if (room.prepare != nullptr) {
        status = room.prepare(argc, argv);
        if (status != 0)
            return status;
    }

    // A run of this work unit that was stopped goes on from its checkpoint.
    std::uint64_t result_length = 0;
    const char* reason = nullptr;
    const Resumption resumption = resume_search(checkpoint_name, output_name.c_str(), result_length, reason);
    if (resumption == Resumption::resumed)
        std::fprintf(stderr, "%s Resuming from checkpoint: %llu squares passed\n", boinc_msg_prefix(prefix, sizeof prefix),
                     static_cast<unsigned long long>(generator_state.passing_count));
    else if (resumption == Resumption::ignored)
        std::fprintf(stderr, "%s Ignoring checkpoint: %s\n", boinc_msg_prefix(prefix, sizeof prefix), reason);

    std::FILE* result = boinc_fopen(output_name.c_str(), resumption == Resumption::resumed ? "ab" : "wb");
    if (result == nullptr) {
        std::fprintf(stderr, "%s Couldn't find output file, resolved name %s.\n", boinc_msg_prefix(prefix, sizeof prefix),
                     output_name.c_str());
        return 1;
    }

    if (!room.search(result, checkpoint_name, result_length)) {
        std::fclose(result);
        return 1;
    }

    // A result that did not reach the disk in full must not be reported as done.
    const bool write_failed = std::ferror(result) != 0;
    if (std::fclose(result) != 0 || write_failed) {
        std::fprintf(stderr, "%s Couldn't write output file, resolved name %s.\n", boinc_msg_prefix(prefix, sizeof prefix),
                     output_name.c_str());
        return 1;
    }

    // The finished result needs no place to go on from.
    remove_checkpoint(checkpoint_name);
    boinc_finish(0);
    return 0;
}
