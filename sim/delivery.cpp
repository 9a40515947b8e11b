// Delivery: what the spooler does with a submitted message. It is written as
// an Internet message file (.eml) for its resolved recipients into the
// delivery folder and moves to its sent-items folder; the recipients that
// are not resolved get a non-delivery report in the Inbox. The text is UTF-8,
// quoted-printable in the body and RFC 2047 encoded words in the headers; an
// address with a non-ASCII local part is written as it is (RFC 6532).
#include "world_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace sim {

namespace {

const char* const kCrlf = "\r\n";
const char* const kCharset = "utf-8";

bool Printable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

std::string HexByte(unsigned char c) {
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string("=") + kDigits[c >> 4] + kDigits[c & 15];
}

// The bytes of the UTF-8 character that starts at `i`.
size_t CharacterLength(const std::string& text, size_t i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    size_t k = 1;
    while (k < n && i + k < text.size() && (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80)
        ++k;
    return k;
}

// RFC 2047 Q-encoded words, each at most 75 characters, folded apart; a
// word holds whole characters only, never part of one.
std::string EncodedWords(const std::string& text) {
    const std::string prefix = std::string("=?") + kCharset + "?Q?";
    const size_t room = 75 - prefix.size() - 2;
    std::string out, word;
    auto flush = [&] {
        if (!out.empty())
            out += "\r\n ";
        out += prefix + word + "?=";
        word.clear();
    };
    for (size_t i = 0; i < text.size();) {
        const size_t n = CharacterLength(text, i);
        std::string token;
        for (size_t k = 0; k < n; ++k) {
            const unsigned char c = static_cast<unsigned char>(text[i + k]);
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                c == '!' || c == '*' || c == '+' || c == '-' || c == '/')
                token += static_cast<char>(c);
            else if (c == ' ')
                token += "_";
            else
                token += HexByte(c);
        }
        if (word.size() + token.size() > room && !word.empty())
            flush();
        word += token;
        i += n;
    }
    if (!word.empty() || out.empty())
        flush();
    return out;
}

// Whether a reader could take some of the text for an encoded word. RFC 2047,
// section 7, has a composer make sure that a word of unstructured text that
// begins with "=?" and ends with "?=" is a valid encoded word: a reader
// decodes it, so "=?utf-8?b?...?=" typed as text would reach recipients as
// whatever it encodes. A transport writes such a subject as encoded words of
// its literal text. Readers are lenient about where an encoded word begins
// and ends, so any "=?" with a "?=" after it counts.
bool LooksEncoded(const std::string& text) {
    const size_t open = text.find("=?");
    return open != std::string::npos && text.find("?=", open + 2) != std::string::npos;
}

// Unstructured header text: as it is when plain ASCII that no reader would
// decode, else encoded words (a line break in the text too, so that it
// stays one header line). Long plain lines fold at a space.
std::string HeaderText(size_t used, const std::string& text) {
    if (!Printable(text) || LooksEncoded(text))
        return EncodedWords(text);
    std::string out;
    size_t lineLength = used;
    for (size_t i = 0; i < text.size();) {
        size_t end = text.find(' ', i + 1);
        if (end == std::string::npos)
            end = text.size();
        const size_t size = end - i; // each but the first starts with a space
        if (lineLength + size > 76 && text[i] == ' ' && !out.empty()) {
            out += "\r\n";
            lineLength = 0;
        }
        out.append(text, i, size);
        lineLength += size;
        i = end;
    }
    return out;
}

bool Atext(const std::string& text) {
    for (unsigned char c : text)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == ' ' || (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c))))
            return false;
    return true;
}

std::string Mailbox(const std::string& name, const std::string& address) {
    if (name.empty() || name == address)
        return address;
    std::string phrase;
    if (!Printable(name)) {
        phrase = EncodedWords(name);
    } else if (Atext(name)) {
        phrase = name;
    } else {
        phrase = "\"";
        for (char c : name) {
            if (c == '"' || c == '\\')
                phrase += '\\';
            phrase += c;
        }
        phrase += "\"";
    }
    return phrase + " <" + address + ">";
}

std::string AddressHeader(const std::string& field, const std::vector<std::string>& mailboxes) {
    std::string out = field + ": ";
    size_t lineLength = out.size();
    for (size_t i = 0; i < mailboxes.size(); ++i) {
        const std::string& m = mailboxes[i];
        if (i > 0) {
            if (lineLength + 2 + m.size() > 76) {
                out += ",\r\n ";
                lineLength = 1;
            } else {
                out += ", ";
                lineLength += 2;
            }
        }
        out += m;
        size_t lastBreak = m.rfind('\n');
        lineLength = lastBreak == std::string::npos ? lineLength + m.size() : m.size() - lastBreak;
    }
    return out + kCrlf;
}

std::string DateText(const SYSTEMTIME& t) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // "%s, %02u %s %04u %02u:%02u:%02u -0000"
    std::string text = kDays[t.wDayOfWeek % 7];
    text += ", ";
    AppendDecimal(&text, t.wDay, 2);
    text += ' ';
    text += kMonths[(t.wMonth + 11) % 12];
    text += ' ';
    AppendDecimal(&text, t.wYear, 4);
    text += ' ';
    AppendDecimal(&text, t.wHour, 2);
    text += ':';
    AppendDecimal(&text, t.wMinute, 2);
    text += ':';
    AppendDecimal(&text, t.wSecond, 2);
    text += " -0000";
    return text;
}

// How many of the sixteen bytes from `p` on are written as they stand
// inside a line, one after another: 0x20 to 0x7E and not '='. (A blank is,
// unless a line end follows it: the caller looks at the run's last byte.)
size_t PlainRun16(const char* p) {
    Bytes16 bytes;
    std::memcpy(&bytes, p, sizeof bytes);
    const Bytes16 hits = (bytes < 0x20) | (bytes > 0x7E) | (bytes == '=');
    return FirstOf16(hits);
}

// Quoted-printable with CR LF line breaks: lines of at most 76 characters,
// white space before a line end encoded, a lone CR encoded. Appends to
// `out` through a buffer on the stack: a body is kilobytes, its runs of plain
// text are found sixteen bytes at a time and copied whole.
void AppendQuotedPrintable(std::string* out, const std::string& text) {
    static const char kDigits[] = "0123456789ABCDEF";
    const size_t n = text.size();
    const char* const t = text.data();
    char chunk[1024];
    char* w = chunk;
    // Room for what one step writes: a run of a line's 75 characters at most,
    // or a soft break and an encoded byte.
    auto room = [&] {
        if (w > chunk + sizeof chunk - 96) {
            out->append(chunk, static_cast<size_t>(w - chunk));
            w = chunk;
        }
    };
    auto plain = [](unsigned char c) { return c >= 33 && c <= 126 && c != '='; };
    // A blank is written as it is unless it ends a line of the text.
    auto blankInside = [&](size_t i) {
        return (t[i] == ' ' || t[i] == '\t') && i + 1 < n && t[i + 1] != '\n' &&
               !(t[i + 1] == '\r' && i + 2 < n && t[i + 2] == '\n');
    };
    size_t lineLength = 0;
    bool lineEnded = false;
    for (size_t i = 0; i < n; ++i) {
        room();
        const unsigned char c = static_cast<unsigned char>(t[i]);
        const bool crlf = c == '\r' && i + 1 < n && t[i + 1] == '\n';
        if (crlf || c == '\n') {
            *w++ = '\r';
            *w++ = '\n';
            lineLength = 0;
            lineEnded = true;
            if (crlf)
                ++i;
            continue;
        }
        lineEnded = false;
        const bool literal = plain(c) || blankInside(i);
        if (literal && lineLength < 75) {
            // A run of literal characters goes in whole, up to the line's end.
            size_t end = i + 1;
            const size_t limit = std::min(n, i + (75 - lineLength));
            // Each byte of a run but its last is followed by a plain one, so
            // a blank among them is written as it stands; the last is left
            // to the loop after this one.
            while (end < limit && end + 16 <= n) {
                const size_t run = std::min(PlainRun16(t + end), limit - end);
                if (run < 2)
                    break;
                end += run - 1;
                if (run < 16)
                    break;
            }
            while (end < limit && (plain(static_cast<unsigned char>(t[end])) || blankInside(end)))
                ++end;
            std::memcpy(w, t + i, end - i);
            w += end - i;
            lineLength += end - i;
            i = end - 1;
            continue;
        }
        const size_t width = literal ? 1 : 3;
        if (lineLength + width > 75) {
            *w++ = '=';
            *w++ = '\r';
            *w++ = '\n';
            lineLength = 0;
        }
        if (literal) {
            *w++ = static_cast<char>(c);
        } else {
            *w++ = '=';
            *w++ = kDigits[c >> 4];
            *w++ = kDigits[c & 15];
        }
        lineLength += width;
    }
    if (!lineEnded) {
        *w++ = '\r';
        *w++ = '\n';
    }
    out->append(chunk, static_cast<size_t>(w - chunk));
}

bool EnsureFolder(const std::string& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

constexpr DWORD kWriteFailed = 0xFFFFFFFF;

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return bytes.empty() ||
           (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size());
}

void AppendBase64(std::string* out, const unsigned char* p, size_t n) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < n; i += 3) {
        const unsigned a = p[i], b = i + 1 < n ? p[i + 1] : 0, c = i + 2 < n ? p[i + 2] : 0;
        *out += kAlphabet[a >> 2];
        *out += kAlphabet[((a & 3) << 4) | (b >> 4)];
        *out += i + 1 < n ? kAlphabet[((b & 15) << 2) | (c >> 6)] : '=';
        *out += i + 2 < n ? kAlphabet[c & 63] : '=';
    }
}

// An attachment's bytes as base64 lines of 76 characters, read from the
// store's file and written a piece at a time: a large file is never held
// whole.
bool WriteBase64(HANDLE file, const SpillFile& spill) {
    constexpr size_t kLineBytes = 57;
    std::string carry, out;
    bool written = true;
    const bool read = ReadSpill(spill, [&](const char* p, size_t n) {
        carry.append(p, n);
        const size_t whole = carry.size() / kLineBytes * kLineBytes;
        out.clear();
        for (size_t i = 0; i < whole; i += kLineBytes) {
            AppendBase64(&out, reinterpret_cast<const unsigned char*>(carry.data()) + i,
                         kLineBytes);
            out += kCrlf;
        }
        carry.erase(0, whole);
        written = WriteAll(file, out);
        return written;
    });
    out.clear();
    if (!carry.empty()) {
        AppendBase64(&out, reinterpret_cast<const unsigned char*>(carry.data()), carry.size());
        out += kCrlf;
    }
    return read && written && WriteAll(file, out);
}

// A file name as a Content-Disposition parameter: a quoted string when it is
// plain ASCII, else RFC 2231's charset-tagged, percent-encoded form.
std::string FileNameParameter(const std::string& name) {
    if (Printable(name)) {
        std::string quoted = "filename=\"";
        for (char c : name) {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return quoted + "\"";
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string encoded = std::string("filename*=") + kCharset + "''";
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
            std::strchr("!#$&+-.^_`|~", c))
            encoded += static_cast<char>(c);
        else
            encoded += std::string("%") + kDigits[c >> 4] + kDigits[c & 15];
    }
    return encoded;
}

// The attachments that go with a delivery: saved, by value, with data.
std::vector<std::shared_ptr<const AttachmentData>> ByValue(const MessageData& data) {
    std::vector<std::shared_ptr<const AttachmentData>> out;
    for (const auto& a : data.attachments)
        if (a->method == static_cast<LONG>(ATTACH_BY_VALUE) && a->data)
            out.push_back(a);
    return out;
}

std::string AttachmentName(const AttachmentData& a) {
    return !a.longFileName.empty()  ? a.longFileName
           : !a.fileName.empty()    ? a.fileName
           : !a.displayName.empty() ? a.displayName
                                    : "attachment.bin";
}

// A new file: ERROR_SUCCESS, ERROR_FILE_EXISTS when one is there already,
// another code when the write fails. `more` writes what follows the bytes.
DWORD WriteNewFile(const std::string& path, const std::string& bytes, bool replace = false,
                   const std::function<bool(HANDLE)>& more = nullptr) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr,
                              replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? ERROR_FILE_EXISTS
                                                                           : error;
    }
    const bool ok = WriteAll(file, bytes) && (!more || more(file));
    CloseHandle(file);
    return ok ? ERROR_SUCCESS : kWriteFailed;
}

std::string EmlName(unsigned number) {
    std::string name;
    AppendDecimal(&name, number, 6);
    return name += ".eml";
}

// The number after the last .eml of the folder, found without listing it:
// doubling to a number not there, then halving between, as the files of
// earlier runs are numbered from 1 without gaps. A gap made by hand only
// makes the writer step over the files after it.
unsigned FirstFreeNumber(const std::string& folder) {
    auto exists = [&](unsigned n) {
        return GetFileAttributesA((folder + "\\" + EmlName(n)).c_str()) != INVALID_FILE_ATTRIBUTES;
    };
    if (!exists(1))
        return 1;
    unsigned low = 1, high = 2;
    while (exists(high) && high < 0x40000000u) {
        low = high;
        high *= 2;
    }
    while (high - low > 1) {
        const unsigned middle = low + (high - low) / 2;
        (exists(middle) ? low : high) = middle;
    }
    return high;
}

} // namespace

std::string World::DeliveryFolder() const {
    std::string folder = config.deliveryFolder;
    if (folder.empty()) {
        char temp[MAX_PATH] = "";
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "SimMail";
    }
    while (folder.size() > 3 && folder.back() == '\\')
        folder.pop_back();
    return folder;
}

unsigned long long World::Now() const {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) +
           clockAhead;
}

unsigned long long World::ReleaseTime(const MessageData& data) {
    auto at = data.extra.find(PROP_ID(PR_DEFERRED_DELIVERY_TIME));
    if (at == data.extra.end() || at->second.tag != PR_DEFERRED_DELIVERY_TIME ||
        at->second.bytes.size() != sizeof(FILETIME))
        return 0;
    FILETIME ft;
    std::memcpy(&ft, at->second.bytes.data(), sizeof ft);
    return (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

// PidTagDeferredDeliveryTime ([MS-OXPROPS]; "Deferring message delivery",
// MAPI reference): the message stays in the Outbox until that time; one
// whose time has passed leaves at once.
bool World::Held(const MessageData& data) const {
    return ReleaseTime(data) > Now();
}

// The clock is read once: a mailing handed over with release times keeps
// thousands waiting in the queue, looked over at every flush.
void World::DeliverQueue(bool sendReceive) {
    if (sendReceive)
        ++sendReceives;
    const unsigned long long now = Now();
    std::vector<MessageRef> due;
    for (const MessageRef& data : queue)
        if (!data->gone && data->submitted && ReleaseTime(*data) <= now)
            due.push_back(data);
    for (const MessageRef& data : due)
        if (!data->gone && data->submitted)
            Deliver(data);
}

namespace {
// IMessage::ModifyRecipients and IMessage::SubmitMessage (MAPI reference):
// recipients must be resolved, hold a PR_ENTRYID, by the time the message is
// submitted; the transport answers the others with a non-delivery report.
// This client's address book knows only one-off entries.
bool Resolved(const Recipient& recipient) {
    OneOffEntry entry;
    return !recipient.entryId.empty() && DecodeOneOffEntryId(recipient.entryId, &entry);
}

const char* const kUnresolved =
    "The recipient was not resolved: it holds no entry ID of the address book.";

using Attachments = std::vector<std::shared_ptr<const AttachmentData>>;

// The message leaves the queue, delivered or answered with a report.
void Dequeue(World& world, const MessageRef& data) {
    world.queue.erase(std::remove(world.queue.begin(), world.queue.end(), data), world.queue.end());
    data->submitted = false;
}

// What the client keeps of a message it has delivered: with `keep`, the
// message in its sent-items folder; else nothing in memory.
void KeepAsSent(World& world, const MessageRef& data, bool keep) {
    if (!keep) {
        world.Remove(data);
        return;
    }
    MessageRef sent =
        world.Move(data, data->sentFolder != kNoFolder ? data->sentFolder : kSentItems);
    sent->sent = true;
}

// A message none of whose recipients is resolved: the report is all that
// comes of it.
void DeliverToNobody(World& world, const MessageRef& data,
                     const std::vector<Recipient>& unreached) {
    world.ReportNonDelivery(*data, unreached, kUnresolved);
    Dequeue(world, data);
    const bool keep = world.config.keepDelivered;
    world.RecordDelivered(*data, std::string(), !keep);
    world.ForgetOutbox(*data, true);
    KeepAsSent(world, data, keep);
}

// Whether the delivery folder is there to write into; the first delivery
// also finds the number its file takes.
bool ReadyDeliveryFolder(World& world, const std::string& folder) {
    // The folder is made once; should it vanish later, the write fails and
    // the next delivery makes it again.
    if (world.madeFolder != folder) {
        if (!EnsureFolder(folder))
            return false;
        world.madeFolder = folder;
    }
    if (world.nextEmlNumber == 0)
        world.nextEmlNumber = FirstFreeNumber(folder);
    return true;
}

// The message as it goes to `reached`, its file to be numbered `number`.
void Describe(const World& world, const MessageData& data, const std::vector<Recipient>& reached,
              unsigned number, const Attachments& files, Delivery* out) {
    // "%06u.%08lX@mailclient.invalid"
    out->messageId.clear();
    AppendDecimal(&out->messageId, number, 6);
    out->messageId += '.';
    AppendHex(&out->messageId, GetTickCount(), 8);
    out->messageId += "@mailclient.invalid";
    out->from = world.config.senderAddress;
    out->recipients = reached;
    out->subject = data.subject;
    out->isHtml =
        !data.html.empty() && data.editorFormat != static_cast<LONG>(EDITOR_FORMAT_PLAINTEXT);
    out->body = out->isHtml ? data.html : BodyOf(data);
    out->useTnef = world.UseTnef(data);
    for (const auto& a : files)
        out->attachments.push_back(DeliveredAttachment{AttachmentName(*a), a->data->size});
}

// The file's headers and its text part; with attachments, the text is the
// first part of a multipart/mixed message whose parts `boundary` separates.
std::string EmlText(const Delivery& out, const std::string& from, const std::string& boundary) {
    std::vector<std::string> to, cc, bcc;
    for (const Recipient& r : out.recipients) {
        if (r.type == MAPI_TO)
            to.push_back(Mailbox(r.displayName, r.address));
        else if (r.type == MAPI_CC)
            cc.push_back(Mailbox(r.displayName, r.address));
        else if (r.type == MAPI_BCC)
            bcc.push_back(Mailbox(r.displayName, r.address));
    }
    // Each header is appended where it goes: a file is written per message.
    std::string eml;
    eml.reserve(out.body.size() + out.body.size() / 16 + 512);
    eml += "From: ";
    eml += from;
    eml += kCrlf;
    if (to.empty() && cc.empty())
        eml += "To: undisclosed-recipients:;\r\n";
    else if (!to.empty())
        eml += AddressHeader("To", to);
    if (!cc.empty())
        eml += AddressHeader("Cc", cc);
    // The sender's own copy keeps its Bcc line, as a sent item does.
    if (!bcc.empty())
        eml += AddressHeader("Bcc", bcc);
    eml += "Subject: ";
    eml += HeaderText(9, out.subject);
    eml += "\r\nDate: ";
    eml += DateText(out.date);
    eml += "\r\nMessage-ID: <";
    eml += out.messageId;
    eml += ">\r\n";
    eml += "MIME-Version: 1.0\r\n";
    if (!out.attachments.empty()) {
        eml += "Content-Type: multipart/mixed; boundary=\"";
        eml += boundary;
        eml += "\"\r\n\r\n--";
        eml += boundary;
        eml += kCrlf;
    }
    eml +=
        out.isHtml ? "Content-Type: text/html; charset=\"" : "Content-Type: text/plain; charset=\"";
    eml += kCharset;
    eml += "\"\r\n";
    eml += "Content-Transfer-Encoding: quoted-printable\r\n";
    eml += kCrlf;
    AppendQuotedPrintable(&eml, out.body);
    return eml;
}

// Writes each file's part after the text, its bytes streamed from the store.
bool WriteAttachmentParts(HANDLE file, const Attachments& files, const std::string& boundary) {
    for (const auto& a : files) {
        const std::string head =
            "--" + boundary + kCrlf + "Content-Type: application/octet-stream" + kCrlf +
            "Content-Disposition: attachment; " + FileNameParameter(AttachmentName(*a)) + kCrlf +
            "Content-Transfer-Encoding: base64" + kCrlf + kCrlf;
        if (!WriteAll(file, head) || !WriteBase64(file, *a->data))
            return false;
    }
    return WriteAll(file, "--" + boundary + "--" + kCrlf);
}

// Records the delivery and writes its file into `folder` as `*number`, or as
// the first number after it that no file holds: false when it cannot be
// written, the message staying queued with its record.
//
// A file of that number already there (left by another process, or put
// there by hand) is never written over: the next number is taken. The
// delivery is recorded before its file is written, as a server takes a
// message before the recipient can read it: a process killed in between
// writes the file when it starts again (redeliverAs), and never delivers the
// message a second time.
bool WriteDelivery(World& world, MessageData& data, const std::string& folder,
                   const std::string& eml, const std::function<bool(HANDLE)>& parts,
                   std::string* path, unsigned* number) {
    std::string name = data.redeliverAs;
    bool recorded = !name.empty();
    for (int tries = 0;; ++tries) {
        if (!recorded) {
            name = EmlName(*number);
            world.RecordDelivered(data, name, !world.config.keepDelivered && tries == 0);
            recorded = true;
        }
        *path = folder + "\\" + name;
        // A recorded delivery whose process died is written again whole:
        // its file may have been cut short by the kill.
        const DWORD written = WriteNewFile(*path, eml, !data.redeliverAs.empty(), parts);
        if (written == ERROR_SUCCESS)
            return true;
        if (written != ERROR_FILE_EXISTS || tries == 1000) {
            world.madeFolder.clear();
            data.redeliverAs = name; // recorded: this name, and no second record
            return false;
        }
        // A file of that number put there meanwhile: the next number, and
        // a record that names it instead (the last record of a message is
        // the one a new process reads).
        ++*number;
        recorded = false;
    }
}

// The file is written: the message leaves the Outbox and the queue, the
// recipients not reached get their report.
void FinishDelivery(World& world, const MessageRef& data, Delivery out,
                    const std::vector<Recipient>& unreached, unsigned number) {
    if (data->redeliverAs.empty())
        world.nextEmlNumber = number + 1;
    // A delivery finished for a process that died has its Sent Items item
    // already, made from its record when the store was loaded.
    const bool finishing = !data->redeliverAs.empty();
    data->redeliverAs.clear();
    world.ForgetOutbox(*data, true);
    ++world.deliveredCount;
    if (world.config.onDelivered)
        world.config.onDelivered(out);
    if (!unreached.empty())
        world.ReportNonDelivery(*data, unreached, kUnresolved);

    Dequeue(world, data);
    const bool keep = world.config.keepDelivered && !finishing;
    if (keep)
        world.deliveries.push_back(std::move(out));
    KeepAsSent(world, data, keep);
}
} // namespace

void World::ReportNonDelivery(const MessageData& data, const std::vector<Recipient>& unreached,
                              const std::string& reason) {
    auto report = std::make_shared<MessageData>();
    report->number = nextMessageNumber++;
    report->hasSubject = true;
    report->subject = "Undeliverable: " + data.subject;
    report->hasBody = true;
    report->body = "Your message did not reach some or all of the intended recipients.\r\n\r\n"
                   "      Subject:\t" +
                   data.subject +
                   "\r\n\r\nThe following recipient(s) could not be reached:\r\n\r\n";
    for (const Recipient& r : unreached)
        report->body += "      " + r.address + "\r\n            " + reason + "\r\n\r\n";
    report->editorFormat = EDITOR_FORMAT_PLAINTEXT;
    report->sent = true; // a received message
    report->extra[PROP_ID(PR_MESSAGE_CLASS)] =
        ExtraProp{PR_MESSAGE_CLASS, 0, std::string("REPORT.IPM.Note.NDR")};
    Recipient sender(config.senderAddress, config.senderName);
    OneOffEntry entry;
    entry.displayName = config.senderName;
    entry.addressType = sender.addressType;
    entry.address = config.senderAddress;
    sender.entryId = MakeOneOffEntryId(entry);
    report->recipients.push_back(RecipientRow{sender, report->nextRowId++});
    Place(report, kInbox);
    nonDeliveries.push_back(
        NonDelivery{data.subject, unreached, reason, HexBytes(EntryIdOf(*report))});
}

namespace {
// A message that waited leaves dated by its release time (the clock was run
// to it), in UTC as its Date says; others as they always were.
void DeliveryDate(const World& world, const MessageData& data, SYSTEMTIME* date) {
    const unsigned long long release = World::ReleaseTime(data);
    if (release == 0 && world.clockAhead == 0) {
        GetSystemTime(date); // "-0000": UTC, the zone not told
        return;
    }
    const unsigned long long now = world.Now();
    const unsigned long long at = release > now ? release : now;
    const FILETIME ft{static_cast<DWORD>(at), static_cast<DWORD>(at >> 32)};
    FileTimeToSystemTime(&ft, date);
}
} // namespace

bool World::Deliver(const MessageRef& data) {
    std::vector<Recipient> reached, unreached;
    for (const RecipientRow& r : data->recipients)
        (Resolved(r.recipient) ? reached : unreached).push_back(r.recipient);
    if (reached.empty()) {
        DeliverToNobody(*this, data, unreached);
        return true;
    }

    Delivery out;
    DeliveryDate(*this, *data, &out.date);
    const std::string folder = DeliveryFolder();
    if (!ReadyDeliveryFolder(*this, folder))
        return false; // it stays queued, as with a server that cannot be reached
    unsigned number = nextEmlNumber;
    const Attachments files = ByValue(*data);
    Describe(*this, *data, reached, number, files, &out);
    const std::string boundary = "=_sim_" + out.messageId.substr(0, out.messageId.find('@'));
    const std::string eml =
        EmlText(out, Mailbox(config.senderName, config.senderAddress), boundary);
    std::function<bool(HANDLE)> parts;
    if (!files.empty())
        parts = [&files, &boundary](HANDLE file) {
            return WriteAttachmentParts(file, files, boundary);
        };
    if (!WriteDelivery(*this, *data, folder, eml, parts, &out.path, &number))
        return false;
    FinishDelivery(*this, data, std::move(out), unreached, number);
    return true;
}

} // namespace sim
