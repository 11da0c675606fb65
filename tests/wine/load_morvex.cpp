// Load program for morvex, not a test: bursts of volume arrivals separated
// by quiet periods, with the scans and the program's figures printed. Run by
// scripts/soak.sh:
//   load_morvex PROGRAM_DIR HELPER_DIR [BURSTS] [ARRIVALS_PER_BURST]
// The exit code is 1 only when a functional outcome fails (a scan count
// other than one per quiet period, a broadcast not answered, an exit code
// other than 0); never because of a time.
#include "harness.h"
#include "soak.h"
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char **argv)
{
    StartTests(argc, argv);
    int bursts = argc > 3 ? atoi(argv[3]) : 3;
    int arrivals = argc > 4 ? atoi(argv[4]) : 100;
    if (bursts <= 0)
        bursts = 3;
    if (arrivals <= 0)
        arrivals = 100;
    MorvexSoakResult result = RunMorvexSoak(bursts, arrivals, true);
    PrintMorvexSoak(result);
    bool good = result.started && result.startupScans == 1 && result.unanswered == 0 &&
                result.lateScans == 0 && result.exitCode == 0;
    for (size_t i = 0; i < result.quietScans.size(); i++)
        good = good && result.burstScans[i] == 0 && result.quietScans[i] == 1;
    if (!good)
        printf("morvex soak: FAILED (see above)\n");
    return good ? 0 : 1;
}
