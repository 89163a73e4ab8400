// dlsmate-next: after a run, says whether its work unit is done or writes the
// continuation work unit that carries on from the square at which it stopped.

#include <cstdio>
#include <string>
#include <vector>

#include "generator/generator.h"
#include "generator/search.h"
#include "generator/state.h"
#include "tools/lib/cli.h"
#include "tools/lib/result_reader.h"
#include "tools/lib/squares.h"
#include "tools/lib/walk.h"
#include "tools/lib/workunit_file.h"

namespace {

const char* const tool = "dlsmate-next";

const char* const help_text =
    "Usage: dlsmate-next WORKUNIT RESULT CONTINUATION\n"
    "\n"
    "Reads a work unit and the result file of its run.  When the run reached its end\n"
    "square or the end of the space, prints \"done\" and writes nothing.  When it\n"
    "stopped at its square limit, writes the continuation work unit to CONTINUATION\n"
    "(same diagonal index, end square and limit; its start square is the square at\n"
    "which the run stopped, which the worker never examines again) and prints\n"
    "\"continue CONTINUATION\".  CONTINUATION may be WORKUNIT itself.\n"
    "\n"
    "Exit status: 0 on \"done\" or \"continue\"; 2 when the arguments, the work unit or\n"
    "the result are wrong, and then nothing is written.  Check results with\n"
    "dlsmate-check first: this tool reads only what it needs.\n"
    "\n"
    "Example:\n"
    "  dlsmate-next d05-k8-000001.wu d05-k8-000001.out d05-k8-000001.wu\n";

int fail(const std::string& message)
{
    tool_message(tool, message);
    return 2;
}

// Whether the worker, started at `start`, would find any square at all.
bool has_square_after(const WorkUnit& unit, const Square& start)
{
    WorkUnit continuation = unit;
    const std::array<int, 80> values = free_values(start);
    for (int k = 0; k < 80; ++k)
        continuation.start_values[k] = values[k];
    install_workunit(continuation);
    const bool found = prime_generator() && next_square();
    generator_state = GeneratorState{};
    return found;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments;
    if (const std::optional<int> status = read_command_line(tool, argc, argv, help_text, {}, 2, arguments))
        return *status;
    if (arguments.size() != 3)
        return fail("expected WORKUNIT RESULT CONTINUATION; see --help");
    const std::string& workunit_path = arguments[0];
    const std::string& result_path = arguments[1];
    const std::string& continuation_path = arguments[2];

    WorkUnit unit;
    std::string error;
    if (!load_workunit(workunit_path, unit, error))
        return fail(error);
    std::string bytes;
    if (!read_whole_file(result_path, bytes, error))
        return fail(error);
    const ResultFile result = read_result(bytes);
    if (!result.problems.empty())
        return fail("result " + result_path + " is malformed: " + result.problems.front());

    if (!result.closed) {
        std::printf("done\n");
        tool_message(tool, "the run reached the end of the space");
        return 0;
    }

    const int d = unit.diagonal_number - 1;
    const Square& stop = result.stop.square;
    if (result.status_diagonal != unit.diagonal_number)
        return fail("result " + result_path + " is of diagonal index " + std::to_string(result.status_diagonal) +
                    ", the work unit of " + std::to_string(unit.diagonal_number));
    if (result.end_record != square_record(unit.end_square))
        return fail("result " + result_path + ": its end square is not the work unit's");
    std::string problem = diagonal_latin_problem(stop);
    if (problem.empty())
        problem = diagonals_problem(stop, d);
    if (!problem.empty())
        return fail("result " + result_path + ": the stop square is not a square of the work unit's space: " + problem);
    if (result.status_count > unit.square_limit)
        return fail("result " + result_path + ": count " + std::to_string(result.status_count) +
                    " is above the work unit's limit " + std::to_string(unit.square_limit));

    const RunStop why = run_stops_at(stop, result.status_count, unit.end_square, unit.square_limit);
    if (why == RunStop::end_square) {
        std::printf("done\n");
        tool_message(tool, "the run reached its end square");
        return 0;
    }
    if (why != RunStop::limit)
        return fail("result " + result_path + " stopped below its end square after " +
                    std::to_string(result.status_count) + " squares, short of the limit " +
                    std::to_string(unit.square_limit) + ": it is not a result of this work unit");
    if (!has_square_after(unit, stop)) {
        std::printf("done\n");
        tool_message(tool, "the run stopped at the last square of the space");
        return 0;
    }

    if (!write_file_replacing(continuation_path,
                              workunit_text(unit.diagonal_number, unit.square_limit, stop, unit.end_square), error))
        return fail(error);
    std::printf("continue %s\n", continuation_path.c_str());
    return 0;
}
