// The search loop in dlsmate_core reports progress through the BOINC API
// (boinc_fraction_done) and asks it when to checkpoint.  The operator tools run
// outside any BOINC client and do not link the BOINC API library; none of them
// runs the search loop, and these definitions keep one that does (or a test
// that runs it in process) free of it all the same: never a checkpoint.
#include <boinc_api.h>

int boinc_fraction_done(double)
{
    return 0;
}

int boinc_time_to_checkpoint()
{
    return 0;
}

int boinc_checkpoint_completed()
{
    return 0;
}
