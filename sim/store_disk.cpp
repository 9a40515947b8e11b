// The store kept on disk (Config::storeFolder), so that a client whose
// process is killed comes back with what it held, as the real client's store
// does: what was submitted is still submitted (the spooler sends it after the
// restart), what was delivered sits in Sent Items, and nothing is sent twice.
//
// Under the store folder:
//   Outbox.log           the Outbox's journal, only ever appended to: each
//                        save in the Outbox and each submit appends the
//                        message whole (a "QVSIM-MESSAGE 1" line, key-tab-value
//                        lines, "end"; the last record of a number is the
//                        message), and a message that leaves the Outbox a line
//                        "gone<TAB>XXXXXXXX" (its number, the one in its entry
//                        ID, in hexadecimal); a submit that changes nothing
//                        else, the line "submitted<TAB>XXXXXXXX". Read back in
//                        order at the start;
//                        a record a kill cut short is cut off. Emptied when
//                        nothing in it is in the Outbox any more and it is past
//                        1 MiB; past 8 MiB with messages still there, it is
//                        rewritten with those alone as Outbox.tmp (last line
//                        "whole"), which then takes its place
//   Outbox\XXXXXXXX-N.att an attachment's data (N: its number), written whole
//                        before the record that names it, removed after the
//                        record that says its message is gone
//   Sent Items.txt       one line per delivered message, appended before the
//                        .eml is written
// Values are escaped: backslash, tab, line feed and carriage return as \\,
// \t, \n and \r.
//
// What outlives what. Each save, submit and delivery is one WriteFile of its
// whole record before the call returns, and nothing here asks for the disk
// (no FlushFileBuffers): once WriteFile has returned the bytes are the
// system's, in its file cache, which writes them out whether the process
// lives or not ("File Caching" in the Win32 file documentation: the cache
// manager's lazy writer; FlushFileBuffers is for a write that must be on
// the disk now, at the disk's cost). That is what the MAPI reference asks of
// IMAPIProp::SaveChanges and IMessage::SubmitMessage, changes made permanent
// when the call returns, which a killed process cannot undo; it asks no flush
// to the disk per message, which would cost milliseconds each, and a power
// cut may lose the last moments of a store as it may any cached file. A
// message delivered is written "gone" with the journal's next record: killed
// before that, it is in Outbox and Sent Items both, and the next process
// writes its .eml again whole under the recorded name and sends nothing.
#include "store_files.h"
#include "store_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

namespace sim {

using namespace disk;

namespace {

const char* const kMessageMagic = "QVSIM-MESSAGE 1";
const char* const kRecordMagic = "R1";
// The Outbox journal's record of a message that left the Outbox, and the
// last line of a rewritten journal written whole.
const char* const kGone = "gone\t";
const char* const kWholeMark = "whole";
// The journal's record of a submit that changed nothing but that: the
// message's last record, submitted.
const char* const kSubmitted = "submitted\t";
// Where a record says whether it is submitted (its second line, after its
// number: values are escaped, so no value holds a line feed).
const char* const kSubmittedLine = "\nsubmitted\t1";
// Nothing in the Outbox and the journal past this: it is emptied. Messages
// still in the Outbox and the journal past the larger one (or twice what
// its last rewrite left): it is rewritten with those alone.
constexpr uint64_t kEmptiedJournalBytes = uint64_t{1} << 20;
constexpr uint64_t kCompactJournalBytes = uint64_t{8} << 20;

} // namespace

// ---- Light Sent Items ---------------------------------------------------------------------

SentRecord SentRecord::Make(uint32_t number, const std::string& subject,
                            const std::vector<Recipient>& recipients) {
    SentRecord r;
    r.number = number;
    r.subjectLength = static_cast<uint32_t>(subject.size());
    size_t size = subject.size();
    for (const Recipient& p : recipients)
        size += 3 + p.address.size() + p.displayName.size();
    r.text.reserve(size);
    r.text = subject;
    for (const Recipient& p : recipients) {
        r.text += static_cast<char>('0' + p.type);
        r.text += p.address;
        r.text += '\0';
        r.text += p.displayName;
        r.text += '\0';
    }
    return r;
}

std::vector<Recipient> SentRecord::Recipients() const {
    std::vector<Recipient> out;
    size_t i = subjectLength;
    while (i < text.size()) {
        Recipient r;
        r.type = text[i++] - '0';
        size_t end = text.find('\0', i);
        r.address = text.substr(i, end - i);
        i = end + 1;
        end = text.find('\0', i);
        r.displayName = text.substr(i, end - i);
        i = end + 1;
        out.push_back(std::move(r));
    }
    return out;
}

// ---- Writing ----------------------------------------------------------------------------------

namespace {

std::string Serialize(const World& world, const MessageData& d) {
    std::string out;
    out.reserve(d.subject.size() + d.body.size() + d.html.size() + 512);
    out = kMessageMagic;
    out += "\r\n";
    // Each line is appended where it goes: a message is serialized at each
    // save and submit, and its body is kilobytes.
    auto key = [&](const char* name) {
        out += name;
        out += '\t';
    };
    auto number = [&](const char* name, long long value) {
        key(name);
        if (value < 0)
            out += '-';
        AppendDecimal(&out, value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                      : static_cast<unsigned long long>(value));
        out += "\r\n";
    };
    auto escapedLine = [&](const char* name, const std::string& value) {
        key(name);
        AppendEscaped(&out, value);
        out += "\r\n";
    };
    auto field = [&](const std::string& value) {
        out += '\t';
        AppendEscaped(&out, value);
    };
    number("number", d.number);
    number("submitted", d.submitted ? 1 : 0);
    if (d.hasSubject)
        escapedLine("subject", d.subject);
    if (d.hasBody)
        escapedLine("body", d.body);
    escapedLine("html", d.html);
    number("htmlCodePage", d.htmlCodePage);
    number("internetCodePageKnown", d.internetCodePageKnown ? 1 : 0);
    number("editorFormat", d.editorFormat);
    number("mail", d.mail ? 1 : 0);
    number("sentFolder", static_cast<int>(d.sentFolder));
    number("useTnef", world.UseTnef(d));
    // Properties by tag; named ones are numbered per process, so only the
    // one delivery reads (PidLidUseTnef, above) is kept of those.
    for (const auto& [id, prop] : d.extra) {
        if (id >= 0x8000)
            continue;
        key("prop");
        AppendHex(&out, prop.tag, 8);
        out += '\t';
        out += std::to_string(prop.number);
        out += '\t';
        AppendHexBytes(&out, prop.bytes);
        out += "\r\n";
    }
    for (const auto& a : d.attachments) {
        key("attachment");
        AppendDecimal(&out, a->number);
        out += '\t';
        out += std::to_string(a->method);
        field(a->longFileName);
        field(a->fileName);
        field(a->displayName);
        field(a->mimeTag);
        out += a->data ? "\t1\r\n" : "\t0\r\n";
    }
    for (const RecipientRow& row : d.recipients) {
        const Recipient& r = row.recipient;
        key("recipient");
        out += std::to_string(r.type);
        field(r.addressType);
        out += r.sendRichInfo ? "\t1" : "\t0";
        field(r.address);
        field(r.displayName);
        out += '\t';
        AppendHexBytes(&out, r.entryId);
        out += "\r\n";
    }
    out += "end\r\n";
    return out;
}

// Whether the record differs from the one last written for the message in
// its submitted line alone, "0" then and "1" now: a message saved in the
// Outbox and then submitted, as a mailing's copies are.
bool OnlySubmitted(const MessageData& data, const std::string& record) {
    if (!data.persisted || !data.submitted || data.journaled.size() != record.size())
        return false;
    const size_t at = record.find(kSubmittedLine);
    if (at == std::string::npos)
        return false;
    const size_t flag = at + std::strlen(kSubmittedLine) - 1;
    return data.journaled[flag] == '0' && data.journaled.compare(0, flag, record, 0, flag) == 0 &&
           data.journaled.compare(flag + 1, std::string::npos, record, flag + 1,
                                  std::string::npos) == 0;
}

} // namespace

bool World::PersistOutbox(MessageData& data) {
    if (!Persistent())
        return true;
    // The attachments' data first: a record never names a missing file.
    for (const auto& a : data.attachments) {
        if (!a->data || data.storedAttachments[a->number] == a->data.get())
            continue;
        if (!journal.foldersMade &&
            !(journal.foldersMade = EnsureFolders(StoreFolder(config) + "\\Outbox")))
            return false;
        if (!StoreAttachment(*a->data, AttachmentFile(config, data.number, a->number)))
            return false;
        data.storedAttachments[a->number] = a->data.get();
    }
    std::string record = Serialize(*this, data);
    if (!AppendJournal(OnlySubmitted(data, record)
                           ? std::string(kSubmitted) + NumberText(data.number) + "\r\n"
                           : record))
        return false;
    data.journaled = std::move(record);
    if (!data.persisted) {
        data.persisted = true;
        ++journal.live;
    }
    return true;
}

void World::ForgetOutbox(MessageData& data, bool delivered) {
    if (!data.persisted)
        return;
    data.persisted = false;
    data.journaled.clear();
    if (journal.live > 0)
        --journal.live;
    const std::string gone = std::string(kGone) + NumberText(data.number) + "\r\n";
    if (delivered && data.storedAttachments.empty()) {
        journal.pending += gone;
        return;
    }
    // A message deleted or moved out must not come back after a kill, and
    // its attachments' files go only once no live record names them.
    AppendJournal(gone);
    for (const auto& [number, written] : data.storedAttachments)
        DeleteFileA(AttachmentFile(config, data.number, number).c_str());
    data.storedAttachments.clear();
}

void World::RecordDelivered(MessageData& data, const std::string& emlName, bool light) {
    if (!Persistent())
        return;
    // Its number in Sent Items: a light item's own, or the one the move to
    // Sent Items that follows takes.
    const uint32_t number = light ? nextMessageNumber++ : nextMessageNumber;
    std::string line = kRecordMagic;
    line += '\t';
    AppendHexBytes(&line, MakeEntryId(kMessageEntry, number));
    line += '\t';
    AppendHex(&line, data.number, 8);
    line += '\t';
    AppendEscaped(&line, emlName);
    line += '\t';
    AppendEscaped(&line, data.subject);
    line += '\t';
    AppendDecimal(&line, data.recipients.size());
    for (const RecipientRow& row : data.recipients) {
        const Recipient& r = row.recipient;
        line += '\t';
        line += std::to_string(r.type);
        line += '\t';
        AppendEscaped(&line, r.address);
        line += '\t';
        AppendEscaped(&line, r.displayName);
    }
    line += "\r\n";
    if (sentLog == INVALID_HANDLE_VALUE && EnsureFolders(StoreFolder(config)))
        sentLog = OpenLog(SentLogPath(config), std::string());
    // Written straight through the handle: the line is the system's once
    // WriteFile returns, before the .eml is written.
    if (sentLog != INVALID_HANDLE_VALUE)
        WriteAll(sentLog, line);
    if (light) {
        std::vector<Recipient> recipients;
        for (const RecipientRow& row : data.recipients)
            recipients.push_back(row.recipient);
        sentRecords.push_back(SentRecord::Make(number, data.subject, recipients));
    }
}

void World::CloseStore() {
    if (sentLog != INVALID_HANDLE_VALUE)
        CloseHandle(sentLog);
    if (journal.file != INVALID_HANDLE_VALUE) {
        if (!journal.pending.empty())
            WriteAll(journal.file, journal.pending);
        CloseHandle(journal.file);
    }
    sentLog = journal.file = INVALID_HANDLE_VALUE;
    journal.pending.clear();
}

// ---- Reading ----------------------------------------------------------------------------------

namespace {

MessageRef Parse(World& world, const std::vector<std::string>& lines) {
    auto d = std::make_shared<MessageData>();
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i]);
        const std::string& key = f[0];
        const std::string value = f.size() > 1 ? f[1] : std::string();
        if (key == "number") {
            d->number = static_cast<uint32_t>(Number(value));
        } else if (key == "submitted") {
            d->submitted = value == "1";
        } else if (key == "subject") {
            d->hasSubject = true;
            d->subject = Unescape(value);
        } else if (key == "body") {
            d->hasBody = true;
            d->body = Unescape(value);
        } else if (key == "html") {
            d->html = Unescape(value);
        } else if (key == "htmlCodePage") {
            d->htmlCodePage = static_cast<UINT>(Number(value));
        } else if (key == "internetCodePageKnown") {
            d->internetCodePageKnown = value == "1";
        } else if (key == "editorFormat") {
            d->editorFormat = Number(value);
        } else if (key == "mail") {
            d->mail = value == "1";
        } else if (key == "sentFolder") {
            d->sentFolder = static_cast<FolderId>(Number(value));
        } else if (key == "useTnef" && value != "-1") {
            const ULONG id =
                world.NamedId(PSETID_Common, MNID_ID, PidLidUseTnef, OleString(), true);
            d->extra[id] = ExtraProp{PROP_TAG(PT_BOOLEAN, id), value == "1" ? 1 : 0, std::string()};
        } else if (key == "prop" && f.size() == 4) {
            const ULONG tag = static_cast<ULONG>(std::strtoul(f[1].c_str(), nullptr, 16));
            d->extra[PROP_ID(tag)] = ExtraProp{tag, Number(f[2]), FromHex(f[3])};
        } else if (key == "attachment" && f.size() == 8) {
            auto a = std::make_shared<AttachmentData>();
            a->number = static_cast<ULONG>(Number(f[1]));
            a->method = Number(f[2]);
            a->longFileName = Unescape(f[3]);
            a->fileName = Unescape(f[4]);
            a->displayName = Unescape(f[5]);
            a->mimeTag = Unescape(f[6]);
            if (f[7] == "1") {
                auto data = std::make_shared<SpillFile>();
                data->path = AttachmentFile(world.config, d->number, a->number);
                data->size = FileSize(data->path);
                data->owned = false;
                d->storedAttachments[a->number] = data.get();
                a->data = data;
            }
            d->nextAttachNumber = std::max(d->nextAttachNumber, a->number + 1);
            d->attachments.push_back(a);
        } else if (key == "recipient" && f.size() == 7) {
            Recipient r;
            r.type = Number(f[1]);
            r.addressType = Unescape(f[2]);
            r.sendRichInfo = f[3] == "1";
            r.address = Unescape(f[4]);
            r.displayName = Unescape(f[5]);
            r.entryId = FromHex(f[6]);
            d->recipients.push_back(RecipientRow{r, d->nextRowId++});
        }
    }
    d->wasSubmitted = d->submitted;
    return d;
}

} // namespace

// ---- The Outbox journal -----------------------------------------------------------------------

namespace {

std::string JournalPath(const Config& config) {
    return StoreFolder(config) + "\\Outbox.log";
}

std::string CompactedPath(const Config& config) {
    return StoreFolder(config) + "\\Outbox.tmp";
}

// What a journal's bytes come to: the last record of each message still in
// the Outbox, in the order the messages first came, and where the last
// whole record ends (what follows was cut short by a kill).
struct Replayed {
    std::vector<uint32_t> order;
    std::map<uint32_t, std::string> records;
    size_t end = 0;
    uint32_t highest = 0;
};

Replayed Replay(const std::string& bytes) {
    Replayed r;
    size_t record = std::string::npos; // where the record being read starts
    for (size_t start = 0;;) {
        const size_t lf = bytes.find('\n', start);
        if (lf == std::string::npos)
            return r;
        const size_t next = lf + 1;
        const size_t length = (lf > start && bytes[lf - 1] == '\r' ? lf - 1 : lf) - start;
        const std::string line = bytes.substr(start, length);
        if (line == kMessageMagic) {
            record = start; // one begun before and never ended was cut short
        } else if (record != std::string::npos && line == "end") {
            const size_t at = bytes.find("\nnumber\t", record);
            const auto number =
                static_cast<uint32_t>(std::strtoul(bytes.c_str() + at + 8, nullptr, 10));
            if (!r.records.count(number))
                r.order.push_back(number);
            r.records[number] = bytes.substr(record, next - record);
            r.highest = std::max(r.highest, number);
            record = std::string::npos;
            r.end = next;
        } else if (record == std::string::npos) {
            if (line.compare(0, std::strlen(kGone), kGone) == 0) {
                r.records.erase(static_cast<uint32_t>(std::strtoul(line.c_str() + 5, nullptr, 16)));
            } else if (line.compare(0, std::strlen(kSubmitted), kSubmitted) == 0) {
                const auto number = static_cast<uint32_t>(
                    std::strtoul(line.c_str() + std::strlen(kSubmitted), nullptr, 16));
                auto at = r.records.find(number);
                const std::string key(kSubmittedLine, std::strlen(kSubmittedLine) - 1);
                const size_t flag =
                    at == r.records.end() ? std::string::npos : at->second.find(key);
                if (flag != std::string::npos)
                    at->second[flag + key.size()] = '1';
            }
            r.end = next;
        }
        start = next;
    }
}

// The live records, each once, in their order.
std::string LiveRecords(const Replayed& r) {
    std::string out;
    std::set<uint32_t> seen;
    for (uint32_t number : r.order) {
        auto at = r.records.find(number);
        if (at != r.records.end() && seen.insert(number).second)
            out += at->second;
    }
    return out;
}

bool Truncate(HANDLE file, uint64_t length) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(length);
    return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
}

HANDLE OpenJournal(const Config& config, uint64_t* length) {
    HANDLE file = CreateFileA(JournalPath(config).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (file != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(file, &size);
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    }
    *length = static_cast<uint64_t>(size.QuadPart);
    return file;
}

} // namespace

bool World::AppendJournal(const std::string& record) {
    if (journal.file == INVALID_HANDLE_VALUE) {
        if (!EnsureFolders(StoreFolder(config)))
            return false;
        journal.file = OpenJournal(config, &journal.bytes);
        if (journal.file == INVALID_HANDLE_VALUE)
            return false;
        journal.compactAt = std::max(kCompactJournalBytes, 2 * journal.bytes);
    }
    if (journal.live == 0 && journal.bytes + journal.pending.size() > kEmptiedJournalBytes) {
        // Nothing it holds is in the Outbox any more: emptied in one step,
        // which a kill leaves done or undone, either way an empty Outbox.
        if (Truncate(journal.file, 0)) {
            journal.bytes = 0;
            journal.pending.clear();
        }
    } else if (journal.bytes > journal.compactAt && !CompactJournal()) {
        return false;
    }
    const size_t pending = journal.pending.size();
    journal.pending += record;
    if (!WriteAll(journal.file, journal.pending)) {
        // Cut back to the last whole record, for the next to follow it.
        Truncate(journal.file, journal.bytes);
        journal.pending.resize(pending);
        return false;
    }
    journal.bytes += journal.pending.size();
    journal.pending.clear();
    return true;
}

// Rewritten with only what is still in the Outbox: written whole beside the
// journal (its last line says so) and then put in its place, so that a kill
// leaves the old journal or the new one.
bool World::CompactJournal() {
    std::string bytes;
    if (!ReadWholeFile(JournalPath(config), &bytes))
        return false;
    bytes += journal.pending;
    const std::string compacted = LiveRecords(Replay(bytes)) + kWholeMark + "\r\n";
    CloseHandle(journal.file);
    const bool replaced = WriteNewFile(CompactedPath(config), compacted) &&
                          ReplaceFileWith(CompactedPath(config), JournalPath(config));
    if (replaced)
        journal.pending.clear();
    journal.file = OpenJournal(config, &journal.bytes);
    journal.compactAt = std::max(kCompactJournalBytes, 2 * journal.bytes);
    return journal.file != INVALID_HANDLE_VALUE;
}

void World::LoadOutbox(const std::vector<uint32_t>& delivered,
                       std::map<uint32_t, std::string>& emlOf, uint32_t* highest) {
    // A rewrite the process did not live to finish counts when it was
    // written whole; else the journal in place does.
    std::string bytes;
    if (ReadWholeFile(CompactedPath(config), &bytes)) {
        const size_t mark = bytes.rfind(std::string("\n") + kWholeMark + "\r\n");
        if (mark == std::string::npos || mark + std::strlen(kWholeMark) + 3 != bytes.size() ||
            !ReplaceFileWith(CompactedPath(config), JournalPath(config)))
            DeleteFileA(CompactedPath(config).c_str());
    }
    if (!ReadWholeFile(JournalPath(config), &bytes))
        return;
    const Replayed r = Replay(bytes);
    *highest = std::max(*highest, r.highest);
    std::set<uint32_t> seen;
    for (uint32_t number : r.order) {
        auto record = r.records.find(number);
        if (record == r.records.end() || !seen.insert(number).second)
            continue;
        std::string redeliverAs;
        if (std::binary_search(delivered.begin(), delivered.end(), number)) {
            // Recorded as delivered by a process killed before the journal
            // said it was gone: its .eml may be missing or cut short by the
            // kill, so it is written again, whole, under the recorded name
            // (a message that reached nobody has none, and just goes).
            redeliverAs = emlOf[number];
            if (redeliverAs.empty()) {
                journal.pending += std::string(kGone) + NumberText(number) + "\r\n";
                continue;
            }
        }
        MessageRef data = Parse(*this, Lines(record->second));
        data->number = number;
        data->persisted = true;
        data->redeliverAs = redeliverAs;
        Place(data, kOutbox);
        if (data->submitted)
            queue.push_back(data);
        ++journal.live;
    }
    // Appends go after the last whole record; nothing left in the Outbox:
    // the journal starts again empty.
    journal.file = OpenJournal(config, &journal.bytes);
    if (journal.file != INVALID_HANDLE_VALUE) {
        const uint64_t keep = journal.live ? r.end : 0;
        if (keep != journal.bytes && Truncate(journal.file, keep))
            journal.bytes = keep;
        if (!journal.live)
            journal.pending.clear();
    }
    journal.compactAt = std::max(kCompactJournalBytes, 2 * journal.bytes);
}

void World::LoadStore() {
    if (!Persistent())
        return;
    uint32_t highest = 0;

    // Sent Items first: an Outbox message it names was delivered already.
    std::vector<uint32_t> delivered;       // sorted once read
    std::map<uint32_t, std::string> emlOf; // the .eml each record names
    std::string bytes;
    if (ReadWholeFile(SentLogPath(config), &bytes)) {
        sentRecords.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')));
        ForEachLine(bytes, [&](const std::string& line) {
            const std::vector<std::string> f = Fields(line);
            if (f.size() < 6 || f[0] != kRecordMagic)
                return;
            const size_t count = static_cast<size_t>(Number(f[5]));
            if (f.size() != 6 + 3 * count)
                return;
            BYTE kind = 0;
            uint32_t number = 0;
            ParseEntryId(FromHex(f[1]), &kind, &number);
            const uint32_t outboxNumber =
                static_cast<uint32_t>(std::strtoul(f[2].c_str(), nullptr, 16));
            // A later record of the same message names the file it went to
            // in the end; its Sent Items item is the first record's.
            const bool again = emlOf.count(outboxNumber) != 0;
            delivered.push_back(outboxNumber);
            emlOf[outboxNumber] = Unescape(f[3]);
            highest = std::max({highest, number, outboxNumber});
            if (again)
                return;
            std::vector<Recipient> recipients;
            for (size_t i = 0; i < count; ++i) {
                Recipient r;
                r.type = Number(f[6 + 3 * i]);
                r.address = Unescape(f[7 + 3 * i]);
                r.displayName = Unescape(f[8 + 3 * i]);
                recipients.push_back(std::move(r));
            }
            sentRecords.push_back(SentRecord::Make(number, Unescape(f[4]), recipients));
        });
        sentRecords.shrink_to_fit();
        std::sort(delivered.begin(), delivered.end());
        sentLog = OpenLog(SentLogPath(config), bytes);
    }

    // Then the Outbox, from its journal.
    LoadOutbox(delivered, emlOf, &highest);
    nextMessageNumber = std::max(nextMessageNumber, highest + 1);
}

} // namespace sim
