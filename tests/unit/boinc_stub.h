#pragma once

#include <vector>

// Every fraction handed to boinc_fraction_done, in order.
extern std::vector<double> reported_fractions;
