// qv-count-list <path>: one counting pass over a mailing list, as the job
// runs it, in a process of its own so that its peak memory can be measured.
// Prints the number of recipients and the process's peak resident set
// (VmHWM, in kB: the high-water mark of this program's own memory, unlike
// a child's ru_maxrss, which also counts the parent it was forked from).
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
    ListFile* file = OpenListFile(argv[1]);
    if (!file) {
        std::fprintf(stderr, "qv-count-list: cannot open %s\n", argv[1]);
        return 1;
    }
    MailingList list;
    char address[kListAddressSize];
    char headerLine[kListRawSize] = "";
    long count = 0;
    while (ReadNextRecipient(&list, file, static_cast<int>(count), address,
                             count == 0 ? headerLine : nullptr, nullptr, &list.header,
                             &list.current))
        ++count;
    const ListStopReason stop = ListFileStopReason(file);
    CloseListFile(file);
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
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
