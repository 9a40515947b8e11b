#include "engine/doubt_lookup.h"

#include "base/utf8.h"
#include "client/client_call.h"
#include "client/host_application.h"
#include "client/host_state.h"
#include "data/merged_texts.h"

#include <cstdio>
#include <cstring>

namespace {

bool AddressedTo(IDispatch* item, const char* address) {
    ComRef<IDispatch> recipients = HostApplication::Recipients(item);
    const LONG count = HostApplication::RecipientsCount(recipients.Get());
    for (LONG i = 1; i <= count; ++i) {
        ComRef<IDispatch> recipient = HostApplication::RecipientsItem(recipients.Get(), i);
        Utf8Text to = HostApplication::RecipientAddress(recipient.Get());
        if (to && SameFoldingCase(to.Get(), address))
            return true;
    }
    return false;
}

// Raises when the client cannot be searched (called inside ClientCall).
bool FoundInFolder(IDispatch* nameSpace, LONG folder, const char* subject, const char* address,
                   long line, JobJournal* journal) {
    // The client's filter syntax: the value in quotes, a quote in it doubled.
    const size_t length = std::strlen(subject);
    MergeBuffer filter;
    if (!filter.Resize(2 * length + 32))
        RaiseHostError(E_OUTOFMEMORY);
    char* out = filter.Get();
    out += std::snprintf(out, 16, "[Subject] = '");
    for (const char* p = subject; *p; ++p) {
        if (*p == '\'')
            *out++ = '\'';
        *out++ = *p;
    }
    std::strcpy(out, "'");

    ComRef<IDispatch> items =
        HostApplication::FolderItems(HostApplication::GetDefaultFolder(nameSpace, folder).Get());
    for (ComRef<IDispatch> item = HostApplication::FindItem(items.Get(), filter.Get()); item;
         item = HostApplication::FindNextItem(items.Get())) {
        if (HostApplication::Class(item.Get()) != olMail || !AddressedTo(item.Get(), address))
            continue;
        if (folder == olFolderOutbox && !HostApplication::Submitted(item.Get())) {
            HostApplication::Delete(item.Get());
            char text[1024];
            std::snprintf(text, sizeof text,
                          "In doubt: line %ld, To: %s. A copy never submitted was deleted from "
                          "the Outbox",
                          line, address);
            journal->Log(text);
            continue;
        }
        return true;
    }
    return false;
}

} // namespace

DoubtFound LookUpInDoubt(const char* subject, const char* address, long line, JobJournal* journal) {
    DoubtFound found = DoubtFound::Nowhere;
    const HRESULT searched = ClientCall("the lookup of the copy in doubt", [&] {
        if (!ApplicationRef)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> nameSpace = HostApplication::Session(ApplicationRef.Get());
        if (FoundInFolder(nameSpace.Get(), olFolderOutbox, subject, address, line, journal))
            found = DoubtFound::InOutbox;
        else if (FoundInFolder(nameSpace.Get(), olFolderSentMail, subject, address, line, journal))
            found = DoubtFound::InSentItems;
    });
    return FAILED(searched) ? DoubtFound::NotLookedUp : found;
}
