// The store kept on disk (Config::storeFolder), so that a client whose
// process is killed comes back with what it held, as the real client's store
// does: what was submitted is still submitted (the spooler sends it after the
// restart), what was delivered sits in Sent Items, and nothing is sent twice.
//
// Under the store folder:
//   Outbox\XXXXXXXX.msg  one message saved in or submitted from the Outbox
//                        (XXXXXXXX: its number, the one in its entry ID),
//                        key-tab-value lines ending in "end"; written whole as
//                        XXXXXXXX.tmp first, then put in place, so that a kill
//                        leaves the old file or the new one, never half of one
//   Outbox\XXXXXXXX-N.att an attachment's data (N: its number), written whole
//                        before the message file that names it, removed with it
//   Outbox.txt           the numbers of the Outbox files ever written, one a
//                        line: the folder is never listed, so the store needs
//                        no more of the platform than whole files
//   Sent Items.txt       one line per delivered message, appended and on its
//                        way to the disk before the Outbox file goes
// Values are escaped: backslash, tab, line feed and carriage return as \\,
// \t, \n and \r.
#include "store_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>

namespace sim {

namespace {

const char* const kMessageMagic = "QVSIM-MESSAGE 1";
const char* const kRecordMagic = "R1";

std::string Escape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string Unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        const char c = text[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c == 'r' ? '\r' : c;
    }
    return out;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        const size_t tab = line.find('\t', start);
        out.push_back(
            line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return out;
        start = tab + 1;
    }
}

// Each line of a file, without its CR LF; a last line without its line end
// (a write cut short) is left out.
template <class Visit> void ForEachLine(const std::string& bytes, Visit visit) {
    for (size_t start = 0;;) {
        const size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            return;
        size_t stop = end;
        if (stop > start && bytes[stop - 1] == '\r')
            --stop;
        visit(bytes.substr(start, stop - start));
        start = end + 1;
    }
}

std::vector<std::string> Lines(const std::string& bytes) {
    std::vector<std::string> out;
    ForEachLine(bytes, [&](std::string line) { out.push_back(std::move(line)); });
    return out;
}

std::string FromHex(const std::string& hex) {
    auto digit = [](char c) {
        return c >= '0' && c <= '9'   ? c - '0'
               : c >= 'A' && c <= 'F' ? c - 'A' + 10
               : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                      : 0;
    };
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
    return out;
}

LONG Number(const std::string& text) {
    return static_cast<LONG>(std::strtol(text.c_str(), nullptr, 10));
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

bool WriteNewFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = WriteAll(file, bytes);
    CloseHandle(file);
    return ok;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes->append(buffer, got);
    CloseHandle(file);
    return ok;
}

// Opens a log for appending, others may read it meanwhile (and must let it
// be written: FILE_SHARE_WRITE); a last line cut short by a kill is cut off
// first, so that the next line starts on a line of its own.
HANDLE OpenLog(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return file;
    LARGE_INTEGER at;
    at.QuadPart = 0;
    if (!bytes.empty() && bytes.back() != '\n') {
        const size_t lastEnd = bytes.rfind('\n');
        at.QuadPart = static_cast<LONGLONG>(lastEnd == std::string::npos ? 0 : lastEnd + 1);
        SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
    }
    at.QuadPart = 0;
    SetFilePointerEx(file, at, nullptr, FILE_END);
    return file;
}

bool EnsureFolders(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string NumberText(uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(number));
    return text;
}

std::string StoreFolder(const Config& config) {
    std::string folder = config.storeFolder;
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

std::string OutboxFile(const Config& config, uint32_t number, const char* suffix) {
    return StoreFolder(config) + "\\Outbox\\" + NumberText(number) + suffix;
}

std::string AttachmentFile(const Config& config, uint32_t message, ULONG attachment) {
    return OutboxFile(config, message, ("-" + std::to_string(attachment) + ".att").c_str());
}

// An attachment's bytes copied to the store's own file, a piece at a time.
bool StoreAttachment(const SpillFile& data, const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool written = true;
    const bool read = ReadSpill(data, [&](const char* p, size_t n) {
        written = WriteAll(file, std::string(p, n));
        return written;
    });
    CloseHandle(file);
    return read && written;
}

uint64_t FileSize(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 0;
    if (file != INVALID_HANDLE_VALUE) {
        GetFileSizeEx(file, &size);
        CloseHandle(file);
    }
    return static_cast<uint64_t>(size.QuadPart);
}

std::string SentLogPath(const Config& config) {
    return StoreFolder(config) + "\\Sent Items.txt";
}

std::string IndexPath(const Config& config) {
    return StoreFolder(config) + "\\Outbox.txt";
}

// A whole message file: its first line the magic, its last "end".
bool WholeMessage(const std::vector<std::string>& lines) {
    return lines.size() >= 2 && lines.front() == kMessageMagic && lines.back() == "end";
}

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
    std::string out = std::string(kMessageMagic) + "\r\n";
    auto line = [&](const char* key, const std::string& value) {
        out += key;
        out += '\t';
        out += value;
        out += "\r\n";
    };
    line("number", std::to_string(d.number));
    line("submitted", d.submitted ? "1" : "0");
    if (d.hasSubject)
        line("subject", Escape(d.subject));
    if (d.hasBody)
        line("body", Escape(d.body));
    line("html", Escape(d.html));
    line("htmlCodePage", std::to_string(d.htmlCodePage));
    line("internetCodePageKnown", d.internetCodePageKnown ? "1" : "0");
    line("editorFormat", std::to_string(d.editorFormat));
    line("mail", d.mail ? "1" : "0");
    line("sentFolder", std::to_string(static_cast<int>(d.sentFolder)));
    line("useTnef", std::to_string(world.UseTnef(d)));
    // Properties by tag; named ones are numbered per process, so only the
    // one delivery reads (PidLidUseTnef, above) is kept of those.
    for (const auto& [id, prop] : d.extra)
        if (id < 0x8000)
            line("prop", NumberText(prop.tag) + "\t" + std::to_string(prop.number) + "\t" +
                             HexBytes(prop.bytes));
    for (const auto& a : d.attachments)
        line("attachment", std::to_string(a->number) + "\t" + std::to_string(a->method) + "\t" +
                               Escape(a->longFileName) + "\t" + Escape(a->fileName) + "\t" +
                               Escape(a->displayName) + "\t" + Escape(a->mimeTag) + "\t" +
                               (a->data ? "1" : "0"));
    for (const RecipientRow& row : d.recipients) {
        const Recipient& r = row.recipient;
        line("recipient", std::to_string(r.type) + "\t" + Escape(r.addressType) + "\t" +
                              (r.sendRichInfo ? "1" : "0") + "\t" + Escape(r.address) + "\t" +
                              Escape(r.displayName) + "\t" + HexBytes(r.entryId));
    }
    out += "end\r\n";
    return out;
}

} // namespace

bool World::PersistOutbox(MessageData& data) {
    if (!Persistent())
        return true;
    if (!EnsureFolders(StoreFolder(config) + "\\Outbox"))
        return false;
    // The number goes in the index before its file exists, so that no file
    // is ever written that a later process would not look for.
    if (!data.persisted) {
        if (outboxIndex == INVALID_HANDLE_VALUE)
            outboxIndex = OpenLog(IndexPath(config), std::string());
        if (outboxIndex == INVALID_HANDLE_VALUE ||
            !WriteAll(outboxIndex, NumberText(data.number) + "\r\n"))
            return false;
    }
    // The attachments' data first: a message file never names a missing one.
    for (const auto& a : data.attachments) {
        if (!a->data || data.storedAttachments[a->number] == a->data.get())
            continue;
        if (!StoreAttachment(*a->data, AttachmentFile(config, data.number, a->number)))
            return false;
        data.storedAttachments[a->number] = a->data.get();
    }
    const std::string temp = OutboxFile(config, data.number, ".tmp");
    if (!WriteNewFile(temp, Serialize(*this, data)) ||
        !ReplaceFileWith(temp, OutboxFile(config, data.number, ".msg")))
        return false;
    data.persisted = true;
    return true;
}

void World::ForgetOutbox(MessageData& data) {
    if (!data.persisted)
        return;
    DeleteFileA(OutboxFile(config, data.number, ".msg").c_str());
    DeleteFileA(OutboxFile(config, data.number, ".tmp").c_str());
    for (const auto& [number, written] : data.storedAttachments)
        DeleteFileA(AttachmentFile(config, data.number, number).c_str());
    data.storedAttachments.clear();
    data.persisted = false;
}

void World::RecordDelivered(MessageData& data, const std::string& emlName, bool light) {
    if (!Persistent())
        return;
    // Its number in Sent Items: a light item's own, or the one the move to
    // Sent Items that follows takes.
    const uint32_t number = light ? nextMessageNumber++ : nextMessageNumber;
    std::string line = std::string(kRecordMagic) + "\t" +
                       HexBytes(MakeEntryId(kMessageEntry, number)) + "\t" +
                       NumberText(data.number) + "\t" + Escape(emlName) + "\t" +
                       Escape(data.subject) + "\t" + std::to_string(data.recipients.size());
    std::vector<Recipient> recipients;
    for (const RecipientRow& row : data.recipients) {
        const Recipient& r = row.recipient;
        line +=
            "\t" + std::to_string(r.type) + "\t" + Escape(r.address) + "\t" + Escape(r.displayName);
        recipients.push_back(r);
    }
    line += "\r\n";
    if (sentLog == INVALID_HANDLE_VALUE && EnsureFolders(StoreFolder(config)))
        sentLog = OpenLog(SentLogPath(config), std::string());
    // Written straight through the handle: the line is the system's once
    // WriteFile returns, before the Outbox file goes.
    if (sentLog != INVALID_HANDLE_VALUE)
        WriteAll(sentLog, line);
    if (light)
        sentRecords.push_back(SentRecord::Make(number, data.subject, recipients));
}

void World::CloseStore() {
    if (sentLog != INVALID_HANDLE_VALUE)
        CloseHandle(sentLog);
    if (outboxIndex != INVALID_HANDLE_VALUE)
        CloseHandle(outboxIndex);
    sentLog = outboxIndex = INVALID_HANDLE_VALUE;
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

    // Then the Outbox, by its index: each file, the new one (.tmp) when it
    // is whole, else the one in place.
    std::string index;
    if (ReadWholeFile(IndexPath(config), &index)) {
        std::set<uint32_t> seen;
        size_t live = 0;
        for (const std::string& line : Lines(index)) {
            const uint32_t number = static_cast<uint32_t>(std::strtoul(line.c_str(), nullptr, 16));
            if (number == 0 || !seen.insert(number).second)
                continue;
            highest = std::max(highest, number);
            const std::string temp = OutboxFile(config, number, ".tmp");
            const std::string path = OutboxFile(config, number, ".msg");
            std::string redeliverAs;
            if (std::binary_search(delivered.begin(), delivered.end(), number)) {
                // Recorded as delivered, and killed before its Outbox file
                // went: its .eml may be missing or cut short by the kill, so
                // it is written again, whole, under the recorded name (a
                // message that reached nobody has none, and just goes).
                const std::string& eml = emlOf[number];
                if (eml.empty()) {
                    DeleteFileA(path.c_str());
                    DeleteFileA(temp.c_str());
                    continue;
                }
                redeliverAs = eml;
            }
            std::vector<std::string> lines;
            std::string text;
            if (ReadWholeFile(temp, &text))
                lines = Lines(text);
            if (!WholeMessage(lines) && ReadWholeFile(path, &text))
                lines = Lines(text);
            DeleteFileA(temp.c_str());
            if (!WholeMessage(lines))
                continue;
            if (!Exists(path))
                WriteNewFile(path, text);
            MessageRef data = Parse(*this, lines);
            data->number = number;
            data->persisted = true;
            data->redeliverAs = redeliverAs;
            Place(data, kOutbox);
            if (data->submitted)
                queue.push_back(data);
            ++live;
        }
        // Nothing left in the Outbox: the index starts again empty.
        outboxIndex = OpenLog(IndexPath(config), live ? index : std::string());
        if (!live && outboxIndex != INVALID_HANDLE_VALUE) {
            LARGE_INTEGER start;
            start.QuadPart = 0;
            SetFilePointerEx(outboxIndex, start, nullptr, FILE_BEGIN);
            SetEndOfFile(outboxIndex);
        }
    }
    nextMessageNumber = std::max(nextMessageNumber, highest + 1);
}

} // namespace sim
