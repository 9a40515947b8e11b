#include "list_helpers.h"

#include "test_support.h"

Record::Record(std::initializer_list<std::string> values) {
    for (const std::string& v : values)
        AddListValue(&record_, v.data(), v.size());
}

Record::Record(const std::vector<std::string>& values) {
    for (const std::string& v : values)
        AddListValue(&record_, v.data(), v.size());
}

std::vector<std::string> Record::Values() const {
    return ValuesOf(record_);
}

std::vector<std::string> ValuesOf(const ListRecord& record) {
    std::vector<std::string> values;
    for (int i = 0; i < record.count; ++i)
        values.emplace_back(record.values[i]);
    return values;
}

std::string WriteList(const std::string& name, const std::string& bytes) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string path = std::string(folder) + "qv-list-" + name;
    WriteFileBytes(path, bytes);
    return path;
}

std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

std::vector<std::vector<std::string>> ReadAllRecords(const std::string& path, int delimiter) {
    ListDelimiter = delimiter;
    std::vector<std::vector<std::string>> records;
    OpenList file(path);
    Record record;
    while (ReadListRecord(file.get(), record.get()))
        records.push_back(record.Values());
    return records;
}

void CollectSkips(MailingList* list, std::vector<SkippedRecord>* skips) {
    list->skipContext = skips;
    list->onSkipped = [](void* context, const ListRecord& record, ListSkipReason reason,
                         const char* value) {
        static_cast<std::vector<SkippedRecord>*>(context)->push_back({record.line, reason, value});
    };
}

CountingPass RunCountingPass(const std::string& path) {
    CountingPass pass;
    MailingList list;
    CollectSkips(&list, &pass.skips);
    OpenList file(path);
    char address[kListAddressSize];
    char headerRaw[kListRawSize] = "";
    int calls = 0;
    while (ReadNextRecipient(&list, file.get(), calls, address, calls == 0 ? headerRaw : nullptr,
                             nullptr, &list.header, &list.current)) {
        ++calls;
        pass.addresses.emplace_back(address);
        pass.records.push_back(ValuesOf(list.current));
    }
    pass.emailColumn = list.emailColumn;
    pass.headerRaw = headerRaw;
    pass.header = ValuesOf(list.header);
    pass.stop = ListFileStopReason(file.get());
    pass.stopLine = ListFileStopLine(file.get());
    FreeListRecord(&list.header);
    FreeListRecord(&list.current);
    return pass;
}

SendingPass RunSendingPass(const std::string& path, int emailColumn) {
    SendingPass pass;
    MailingList list;
    list.emailColumn = emailColumn;
    CollectSkips(&list, &pass.skips);
    OpenList file(path);
    char address[kListAddressSize];
    char recordRaw[kListRawSize];
    for (int n = 0; ReadNextRecipient(&list, file.get(), n, address, nullptr, recordRaw, nullptr,
                                      &list.current);
         ++n) {
        pass.addresses.emplace_back(address);
        pass.raws.emplace_back(recordRaw);
    }
    pass.stop = ListFileStopReason(file.get());
    pass.stopLine = ListFileStopLine(file.get());
    FreeListRecord(&list.current);
    return pass;
}
