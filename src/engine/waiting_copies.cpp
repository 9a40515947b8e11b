#include "engine/waiting_copies.h"

#include "base/crt_file.h"
#include "base/data_paths.h"
#include "base/utf8.h"
#include "client/client_call.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "data/job_progress.h"
#include "data/mailing_list.h"
#include "engine/mailing_stamp.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

namespace {

// A copy of the mailing found in the Outbox, still submitted.
struct WaitingCopy {
    ComRef<IDispatch> item;
    std::string entryId;
    std::string storeId;
    char address[kListAddressSize] = "";
};

std::string Folded(const char* address) {
    char key[kListAddressSize];
    FoldLetterCase(address, key, sizeof key);
    return key;
}

// The list lines the mailing's copies were made from, by address: the
// state file's "Sending" lines, in the order they were written.
struct MarkedLines {
    std::map<std::string, std::vector<long>> lines;
    static void Note(void* context, long line, const char* address) {
        static_cast<MarkedLines*>(context)->lines[Folded(address)].push_back(line);
    }
    // One line of this address for each of its copies; 0 when none is left.
    long Take(const char* address) {
        auto at = lines.find(Folded(address));
        if (at == lines.end() || at->second.empty())
            return 0;
        const long line = at->second.front();
        at->second.erase(at->second.begin());
        return line;
    }
};

bool BinaryProp(IMessage* message, ULONG tag, std::string* bytes) {
    SizedSPropTagArray(1, tags) = {1, {tag}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    const HRESULT hr =
        message->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.Out());
    if (FAILED(hr) || !values || count < 1 || values->ulPropTag != tag)
        return false;
    bytes->assign(reinterpret_cast<const char*>(values->Value.bin.lpb), values->Value.bin.cb);
    return !bytes->empty();
}

// The copy's recipient: its first To.
void CopyAddress(IDispatch* item, char* address, size_t size) {
    address[0] = '\0';
    ComRef<IDispatch> recipients = HostApplication::Recipients(item);
    if (HostApplication::RecipientsCount(recipients.Get()) < 1)
        return;
    ComRef<IDispatch> first = HostApplication::RecipientsItem(recipients.Get(), 1);
    Utf8Text to = HostApplication::RecipientAddress(first.Get());
    if (to)
        std::snprintf(address, size, "%s", to.Get());
}

// Raises when the Outbox cannot be read (called inside ClientCall). Visits
// each submitted copy that carries the mailing's id; `visit` returns false
// to stop.
template <class Visit> void ForEachWaitingCopy(const char* mailingId, Visit visit) {
    if (!ApplicationRef)
        RaiseHostError(E_POINTER);
    ComRef<IDispatch> nameSpace = HostApplication::Session(ApplicationRef.Get());
    ComRef<IDispatch> items = HostApplication::FolderItems(
        HostApplication::GetDefaultFolder(nameSpace.Get(), olFolderOutbox).Get());
    const LONG count = HostApplication::ItemsCount(items.Get());
    for (LONG i = 1; i <= count; ++i) {
        ComRef<IDispatch> item = HostApplication::ItemsItem(items.Get(), i);
        if (!item || HostApplication::Class(item.Get()) != olMail ||
            !HostApplication::Submitted(item.Get()))
            continue;
        ComRef<IUnknown> object = HostApplication::MapiObject(item.Get());
        char id[kMailingIdSize];
        ULONG tag = 0;
        if (!object || !ReadMailingStamp(object.Get(), id, sizeof id, &tag) ||
            std::strcmp(id, mailingId) != 0)
            continue;
        if (!visit(item, object.Get()))
            return;
    }
}

// The last mailing's id; false when there is none to know its copies by.
bool LastMailingId(LastJob* last) {
    return ReadLastJob(DataPaths.jobState, last) == LastJobFound && last->mailingId[0];
}

void LogBoth(CrtFile* current, CrtFile* history, const char* text) {
    for (CrtFile* file : {current, history})
        if (file) {
            CrtPrintf(file, "%s\n", text);
            CrtFlush(file);
        }
}

} // namespace

bool LastMailingHasWaitingCopies() {
    LastJob last;
    if (!LastMailingId(&last))
        return false;
    bool found = false;
    ClientCall("the look for waiting copies", [&] {
        ForEachWaitingCopy(last.mailingId, [&](const ComRef<IDispatch>&, IUnknown*) {
            found = true;
            return false;
        });
    });
    return found;
}

namespace {

WithdrawalReport Withdraw() {
    WithdrawalReport report;
    MarkedLines marked;
    LastJob last;
    last.onSending = &MarkedLines::Note;
    last.onSendingContext = &marked;
    if (!LastMailingId(&last))
        return report;

    // Every copy is found before any is touched: deleting changes the
    // folder's positions under the loop.
    std::vector<WaitingCopy> copies;
    const HRESULT read = ClientCall("the look for waiting copies", [&] {
        ForEachWaitingCopy(last.mailingId, [&](const ComRef<IDispatch>& item, IUnknown* object) {
            WaitingCopy copy;
            ComRef<IMessage> message = QueryAs<IMessage>(object, IID_IMessage);
            if (!message || !BinaryProp(message.Get(), PR_ENTRYID, &copy.entryId) ||
                !BinaryProp(message.Get(), PR_STORE_ENTRYID, &copy.storeId))
                RaiseHostError(MAPI_E_NOT_FOUND);
            copy.item = item;
            CopyAddress(item.Get(), copy.address, sizeof copy.address);
            copies.push_back(std::move(copy));
            return true;
        });
    });
    if (FAILED(read) || !MapiSessionRef) {
        report.outcome = WithdrawalOutcome::NoOutbox;
        return report;
    }
    if (copies.empty()) {
        report.outcome = WithdrawalOutcome::NoneWaiting;
        return report;
    }
    ComRef<IMsgStore> store;
    {
        std::string& id = copies.front().storeId;
        if (FAILED(MapiSessionRef->OpenMsgStore(0, static_cast<ULONG>(id.size()),
                                                reinterpret_cast<LPENTRYID>(&id[0]), nullptr,
                                                MAPI_BEST_ACCESS, store.Out())) ||
            !store) {
            report.outcome = WithdrawalOutcome::NoOutbox;
            return report;
        }
    }
    CrtFileRef state(CrtOpen(DataPaths.jobState, "a"));
    if (!state) {
        report.outcome = WithdrawalOutcome::NoState;
        return report;
    }
    CrtFileRef current(CrtOpen(DataPaths.currentJobLog, "a"));
    CrtFileRef history(CrtOpen(DataPaths.jobHistory, "a+"));

    report.outcome = WithdrawalOutcome::Done;
    char text[1024];
    for (WaitingCopy& copy : copies) {
        // A copy no record of the mailing was marked for (the test copy
        // sent to the user from the review) is not the mailing's to take back.
        const long line = marked.Take(copy.address);
        if (line <= 0)
            continue;
        // Noted before the client is asked: a kill from here on leaves this
        // copy in doubt, its record no longer counted as sent.
        if (!WriteJobStateWithdrawing(state.Get(), line, copy.address)) {
            report.outcome = WithdrawalOutcome::NoState;
            break;
        }
        const HRESULT aborted =
            store->AbortSubmit(static_cast<ULONG>(copy.entryId.size()),
                               reinterpret_cast<LPENTRYID>(&copy.entryId[0]), 0);
        if (FAILED(aborted)) {
            const bool left = aborted == MAPI_E_NOT_IN_QUEUE;
            ++(left ? report.alreadyLeft : report.kept);
            WriteJobStateNotWithdrawn(state.Get(), line, copy.address);
            std::snprintf(text, sizeof text, "Not withdrawn: line %ld, To: %s. %s", line,
                          copy.address,
                          left ? "It had already left"
                               : "The mail client could not take it back; it still waits");
            LogBoth(current.Get(), history.Get(), text);
            continue;
        }
        if (FAILED(ClientCall("the delete of a waiting copy",
                              [&] { HostApplication::Delete(copy.item.Get()); }))) {
            // Out of the queue, it will not leave; the continuing run finds
            // it in the Outbox unsubmitted, deletes it and sends the record.
            report.outcome = WithdrawalOutcome::DeleteRefused;
            std::snprintf(report.stoppedAddress, sizeof report.stoppedAddress, "%s", copy.address);
            report.stoppedLine = line;
            std::snprintf(text, sizeof text,
                          "Withdrawn: line %ld, To: %s. Stopped, but not deleted from the Outbox",
                          line, copy.address);
            LogBoth(current.Get(), history.Get(), text);
            break;
        }
        ++report.withdrawn;
        WriteJobStateWithdrawn(state.Get(), line, copy.address);
        std::snprintf(text, sizeof text, "Withdrawn: line %ld, To: %s", line, copy.address);
        LogBoth(current.Get(), history.Get(), text);
    }
    std::snprintf(text, sizeof text,
                  "%d waiting copies withdrawn from the Outbox, %d had already left, %d still "
                  "wait",
                  report.withdrawn, report.alreadyLeft, report.kept);
    LogBoth(current.Get(), history.Get(), text);
    return report;
}

} // namespace

WithdrawalReport WithdrawWaitingCopies() {
    // The bookkeeping of a large mailing's copies may run out of memory: a
    // copy whose mark was written and whose end was not stays in doubt, as
    // after a kill, and the user is told.
    try {
        return Withdraw();
    } catch (const std::bad_alloc&) {
        WithdrawalReport report;
        report.outcome = WithdrawalOutcome::NoMemory;
        return report;
    }
}
