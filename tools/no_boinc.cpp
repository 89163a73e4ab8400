// The search loop in dlsmate_core reports progress through the BOINC library's
// boinc_fraction_done.  The operator tools run outside any BOINC client and do
// not link the BOINC libraries; none of them runs the search loop, and this
// definition keeps one that does (or a test that runs it in process) free of
// the BOINC libraries all the same.
#include <boinc_api.h>

int boinc_fraction_done(double)
{
    return 0;
}
