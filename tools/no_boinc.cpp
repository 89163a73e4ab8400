#include "tools/no_boinc.h"

#include <boinc_api.h>

std::vector<double> reported_fractions;
bool checkpoint_due = false;
int completed_checkpoints = 0;

int boinc_fraction_done(double fraction)
{
    reported_fractions.push_back(fraction);
    return 0;
}

int boinc_time_to_checkpoint()
{
    return checkpoint_due ? 1 : 0;
}

int boinc_checkpoint_completed()
{
    ++completed_checkpoints;
    return 0;
}
