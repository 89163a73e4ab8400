// A recording substitute for the one BOINC call the search loop makes, so that
// module tests need no BOINC client and can see every progress report.
#include "boinc_stub.h"

#include <boinc_api.h>

std::vector<double> reported_fractions;

int boinc_fraction_done(double fraction)
{
    reported_fractions.push_back(fraction);
    return 0;
}
