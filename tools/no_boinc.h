// Substitutes for the BOINC calls the search loop in dlsmate_core makes
// (boinc_fraction_done, boinc_time_to_checkpoint, boinc_checkpoint_completed),
// for the programs that link the core without the BOINC API library: the
// operator tools, the benchmarks and the module tests.  None of the tools runs
// the loop; a test that runs it in process sees every progress report here and
// decides when a checkpoint is due.  Left alone, no checkpoint is ever due.
#pragma once

#include <vector>

// Every fraction handed to boinc_fraction_done, in order.
extern std::vector<double> reported_fractions;
// What boinc_time_to_checkpoint answers (false unless a test sets it), and how
// often boinc_checkpoint_completed was called.
extern bool checkpoint_due;
extern int completed_checkpoints;
