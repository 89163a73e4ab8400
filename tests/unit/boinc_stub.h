#pragma once

#include <vector>

// Every fraction handed to boinc_fraction_done, in order.
extern std::vector<double> reported_fractions;
// What boinc_time_to_checkpoint answers (false unless a test sets it), and how
// often boinc_checkpoint_completed was called.
extern bool checkpoint_due;
extern int completed_checkpoints;
