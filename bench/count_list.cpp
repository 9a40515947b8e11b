// qv-count-list <path>: one counting pass over a mailing list, as the job
// runs it, in a process of its own so that its peak memory can be measured.
// Prints the number of recipients and the process's peak resident set
// (VmHWM, in kB: the high-water mark of this program's own memory, unlike
// a child's ru_maxrss, which also counts the parent it was forked from).
#include "counting_pass.h"

#include "data/mailing_list.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv-count-list <path>\n");
        return 2;
    }
    SelectListDelimiter(argv[1]);
    ListStopReason stop = ListStopNone;
    const long count = CountingPass(argv[1], &stop);
    if (count < 0) {
        std::fprintf(stderr, "qv-count-list: cannot open %s\n", argv[1]);
        return 1;
    }
    long peakKb = -1;
    if (FILE* status = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, status))
            if (std::strncmp(line, "VmHWM:", 6) == 0)
                peakKb = std::atol(line + 6);
        std::fclose(status);
    }
    std::printf("%ld %ld\n", count, peakKb);
    return stop == ListStopNone ? 0 : 1;
}
