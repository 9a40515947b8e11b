// What the review tells of the copies beyond their message and To: the
// columns the job takes, the files attached and the Cc and Bcc addresses.
#include "base/utf8.h"
#include "data/review.h"
#include "data/review_internal.h"

#include <cstring>

namespace {

constexpr size_t kFirstSlots = 64;
constexpr int kAddressColumnsTold = 64;

const char* LastComponent(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\')
            name = p + 1;
    return name;
}

// "on 1 copy (line 4)", "on 3 copies (first on line 2)", "on every copy (5)".
void WriteCopies(ReviewWriter& out, const CarriedTally::Item& item, long checked) {
    if (item.copies == checked && checked > 1)
        out(" on every copy (%ld)", item.copies);
    else if (item.copies == 1)
        out(" on 1 copy (line %ld)", item.firstLine);
    else
        out(" on %ld copies (first on line %ld)", item.copies, item.firstLine);
}

void WriteNames(ReviewWriter& out, const ListRecord* header, const int* columns, int count) {
    for (int i = 0; i < count; ++i) {
        char name[128];
        CopyForLogLine(name, sizeof name, header->values[columns[i]]);
        out("%s\"%s\"", i == 0 ? "" : i + 1 == count ? " and " : ", ", name);
    }
}

} // namespace

bool CarriedTally::Add(uint64_t hash, long line, const char* text, uint64_t size, unsigned flags) {
    if ((used_ + 1) * 4 > slotCount_ * 3) {
        const size_t count = slotCount_ ? slotCount_ * 2 : kFirstSlots;
        auto* grown = static_cast<Item*>(MemAlloc(count * sizeof(Item)));
        if (!grown)
            return false;
        std::memset(grown, 0, count * sizeof(Item));
        for (size_t i = 0; i < slotCount_; ++i) {
            if (slots_[i].hash == 0)
                continue;
            size_t at = static_cast<size_t>(slots_[i].hash) & (count - 1);
            while (grown[at].hash != 0)
                at = (at + 1) & (count - 1);
            grown[at] = slots_[i];
        }
        MemFree(slots_);
        slots_ = grown;
        slotCount_ = count;
    }
    hash = hash ? hash : 1;
    size_t at = static_cast<size_t>(hash) & (slotCount_ - 1);
    while (slots_[at].hash != 0 && slots_[at].hash != hash)
        at = (at + 1) & (slotCount_ - 1);
    Item& item = slots_[at];
    if (item.hash == 0) {
        item = Item{hash, 0, line, 0, size, 0, -1};
        ++used_;
        if (shownCount_ < kShown) {
            CopyForLogLine(texts_[shownCount_], kTextSize, text);
            item.shown = shownCount_++;
        }
    }
    if (item.copies == 0 || item.lastLine != line) {
        ++item.copies;
        item.lastLine = line;
    }
    item.flags |= flags;
    if (size > item.size)
        item.size = size;
    return true;
}

const CarriedTally::Item* CarriedTally::Shown(int index) const {
    for (size_t i = 0; i < slotCount_; ++i)
        if (slots_[i].hash != 0 && slots_[i].shown == index)
            return &slots_[i];
    return nullptr;
}

void CarriedTally::Clear() {
    MemFree(slots_);
    slots_ = nullptr;
    slotCount_ = used_ = 0;
    shownCount_ = 0;
}

bool MailingReview::AddCarried(const ListRecord& record, const RecordExtras& extras) {
    ++checkedCopies_;
    if (extras.networkFiles > 0)
        ++networkCopies_;
    for (int i = 0; i < extras.count; ++i) {
        const RecordExtraItem& item = extras.items[i];
        const char* text = RecordExtraText(&extras, i);
        const bool file = item.kind == RecordExtraFile;
        const unsigned flags = file ? (item.outside ? CarriedTally::kOutside : 0) |
                                          (item.network ? CarriedTally::kNetwork : 0)
                               : item.kind == RecordExtraCc ? CarriedTally::kCc
                                                            : CarriedTally::kBcc;
        CarriedTally& tally = file ? files_ : copiesTo_;
        if (!tally.Add(ReviewTextHash(text), record.line, text, item.size, flags))
            incomplete_ = true;
    }
    return !incomplete_;
}

long MailingReview::ToLine(uint64_t hash) const {
    if (addressSlots_ == 0)
        return 0;
    size_t at = static_cast<size_t>(hash) & (addressSlots_ - 1);
    while (addresses_[at].hash != 0) {
        if (addresses_[at].hash == hash)
            return addresses_[at].line;
        at = (at + 1) & (addressSlots_ - 1);
    }
    return 0;
}

void MailingReview::FindColumns(const ListRecord* header, int emailColumn) {
    ReviewWriter out(columns_, sizeof columns_);
    if (!header || emailColumn < 0 || emailColumn >= header->count)
        return;
    int named[kAddressColumnsTold];
    addressColumns_ = AddressColumns(header, named, kAddressColumnsTold);
    out("The addresses are taken from the column ");
    WriteNames(out, header, &emailColumn, 1);
    if (addressColumns_ >= 2) {
        int passed[kAddressColumnsTold];
        int count = 0;
        for (int i = 0; i < addressColumns_; ++i)
            if (named[i] != emailColumn)
                passed[count++] = named[i];
        out(", of the %d named for an address the one that holds the most addresses; passed "
            "over: ",
            addressColumns_);
        WriteNames(out, header, passed, count);
    }
    out(".");
    // A list of one column mails its values, whatever it is called.
    if (header->count < 2)
        return;
    RecordExtraColumns extra;
    FindRecordExtraColumns(header, &extra);
    if (extra.attachmentCount > 0) {
        out(" Files to attach are taken from ");
        WriteNames(out, header, extra.attachment, extra.attachmentCount);
        out(".");
    }
    if (extra.ccCount > 0) {
        out(" Cc addresses from ");
        WriteNames(out, header, extra.cc, extra.ccCount);
        out(".");
    }
    if (extra.bccCount > 0) {
        out(" Bcc addresses from ");
        WriteNames(out, header, extra.bcc, extra.bccCount);
        out(".");
    }
    // Beyond eight of a kind a column is an ordinary field: its files or
    // addresses go nowhere, which the user must know before sending.
    if (extra.passedOverCount > 0) {
        const int shown =
            extra.passedOverCount < kMaxExtraColumns ? extra.passedOverCount : kMaxExtraColumns;
        out(" Passed over, as more than %d of their kind: ", kMaxExtraColumns);
        WriteNames(out, header, extra.passedOver, shown);
        if (extra.passedOverCount > shown)
            out(" and %d more", extra.passedOverCount - shown);
        out(".");
    }
}

void MailingReview::DescribeCarried(char* text, size_t size) const {
    ReviewWriter out(text, size);
    if (columns_[0])
        out("%s", columns_);
    if (files_.Distinct() > 0) {
        const long n = static_cast<long>(files_.Distinct());
        out("%sThe copies carry %ld file%s besides the message:", out.Used() ? "\r\n\r\n" : "", n,
            n == 1 ? "" : "s");
        for (int i = 0; i < files_.ShownCount(); ++i) {
            const CarriedTally::Item* item = files_.Shown(i);
            if (!item)
                continue;
            const char* path = files_.Text(i);
            char bytes[32] = "";
            FormatFileSize(item->size, bytes, sizeof bytes);
            out("\r\n- %s", LastComponent(path));
            if (!(item->flags & CarriedTally::kNetwork))
                out(" (%s)", bytes);
            WriteCopies(out, *item, checkedCopies_);
            out(": %s", path);
            if (item->flags & CarriedTally::kNetwork)
                out(", on another computer");
            else if (item->flags & CarriedTally::kOutside)
                out(", outside the list's folder");
        }
        if (n > files_.ShownCount())
            out("\r\n- and %ld more", n - files_.ShownCount());
    }
    if (networkCopies_ > 0)
        out("%s%ld cop%s carr%s files on another computer. Opening such a file hands your network "
            "sign-in to that computer, so none is opened unless you tick \"Attach the files on "
            "other computers\" below; without it, those records are not mailed.",
            out.Used() ? "\r\n\r\n" : "", networkCopies_, networkCopies_ == 1 ? "y" : "ies",
            networkCopies_ == 1 ? "ies" : "y");
    if (copiesTo_.Distinct() > 0) {
        const long n = static_cast<long>(copiesTo_.Distinct());
        out("%sCopies also go to %ld address%s by Cc or Bcc:", out.Used() ? "\r\n\r\n" : "", n,
            n == 1 ? "" : "es");
        for (int i = 0; i < copiesTo_.ShownCount(); ++i) {
            const CarriedTally::Item* item = copiesTo_.Shown(i);
            if (!item)
                continue;
            const unsigned both = CarriedTally::kCc | CarriedTally::kBcc;
            out("\r\n- %s %s",
                (item->flags & both) == both      ? "Cc and Bcc"
                : item->flags & CarriedTally::kCc ? "Cc"
                                                  : "Bcc",
                copiesTo_.Text(i));
            WriteCopies(out, *item, checkedCopies_);
            if (item->copies > 1)
                out(": whoever reads it gets %s", item->copies == checkedCopies_
                                                      ? "every recipient's message"
                                                      : "each of those messages");
            if (const long line = ToLine(item->hash); line > 0)
                out("%s it is the To of line %ld too, so that address gets more than one copy",
                    item->copies > 1 ? ";" : ":", line);
        }
        if (n > copiesTo_.ShownCount())
            out("\r\n- and %ld more", n - copiesTo_.ShownCount());
    }
}
