#include "engine/sending_account.h"

#include "client/client_call.h"
#include "client/host_application.h"
#include "data/merge_text.h"

#include <cstring>
#include <string>

namespace {

// More accounts than this in one profile are not looked through.
constexpr LONG kMostAccounts = 64;

bool SameAddress(const char* a, const char* b) {
    if (!a || !b || !*a)
        return false;
    const size_t length = std::strlen(a);
    return length == std::strlen(b) && merge_text::EqualNoCase(a, b, length);
}

// With no account named by the item, the default one sends it: the only
// one, or among several the one whose address is the profile's own.
ComRef<IDispatch> DefaultAccount(IDispatch* application) {
    ComRef<IDispatch> nameSpace = HostApplication::Session(application);
    ComRef<IDispatch> accounts;
    if (FAILED(HostApplication::TryAccounts(nameSpace.Get(), &accounts)) || !accounts)
        return {};
    const LONG count = HostApplication::AccountsCount(accounts.Get());
    if (count == 1)
        return HostApplication::AccountsItem(accounts.Get(), 1);
    if (count < 1 || count > kMostAccounts)
        return {};
    Utf8Text me =
        HostApplication::RecipientAddress(HostApplication::CurrentUser(nameSpace.Get()).Get());
    for (LONG i = 1; i <= count; ++i) {
        ComRef<IDispatch> account = HostApplication::AccountsItem(accounts.Get(), i);
        Utf8Text smtp = HostApplication::AccountSmtpAddress(account.Get());
        if (me && smtp && SameAddress(smtp.Get(), me.Get()))
            return account;
    }
    return {};
}

} // namespace

AccountKind AccountKindOf(LONG accountType) {
    switch (accountType) {
    case olExchange:
        return AccountKind::Exchange;
    case olImap:
        return AccountKind::Imap;
    case olPop3:
        return AccountKind::Pop3;
    default:
        return AccountKind::Other;
    }
}

SendingAccount ReadSendingAccount(IDispatch* application, IDispatch* item) {
    SendingAccount found;
    ClientCall("SendingAccount", [&] {
        if (!application || !item)
            return;
        ComRef<IDispatch> account;
        // A client before version 12 has no such member: it tells no account.
        if (FAILED(HostApplication::TrySendUsingAccount(item, &account)))
            return;
        if (!account)
            account = DefaultAccount(application);
        if (!account)
            return;
        const AccountKind kind = AccountKindOf(HostApplication::AccountType(account.Get()));
        Utf8Text smtp = HostApplication::AccountSmtpAddress(account.Get());
        found.address = smtp ? smtp.Get() : "";
        found.kind = kind;
    });
    return found;
}
