#include "counting_pass.h"

#include "data/mailing_list.h"

long CountingPass(const char* path, ListStopReason* stop) {
    ListFile* file = OpenListFile(path);
    if (!file)
        return -1;
    MailingList list;
    char address[kListAddressSize];
    char headerLine[kListRawSize] = "";
    long count = 0;
    while (ReadNextRecipient(&list, file, static_cast<int>(count), address,
                             count == 0 ? headerLine : nullptr, nullptr, &list.header,
                             &list.current))
        ++count;
    if (stop)
        *stop = ListFileStopReason(file);
    CloseListFile(file);
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
    return count;
}
