// The profile's accounts in the object model, as Outlook 2007 added them
// ("Accounts object (Outlook)", "Account object (Outlook)"): NameSpace.Accounts
// lists them, each with its AccountType (OlAccountType) and SmtpAddress, and
// MailItem.SendUsingAccount names the one an item goes from (Nothing when
// the item names none and the default account sends it). Clients before
// version 12 have none of these members.
#include "model_internal.h"

namespace sim {

namespace {

// OlObjectClass.
constexpr LONG olAccount = 105;
constexpr LONG olAccounts = 106;

enum AccountsMember { kAccsApplication, kAccsClass, kAccsCount, kAccsItem };
const Member kAccountsMembers[] = {
    {"Application", Access::Get, 0, 0},
    {"Class", Access::Get, 0, 0},
    {"Count", Access::Get, 0, 0},
    {"Item", Access::Method, 1, 1},
};

enum AccountMember { kAccApplication, kAccClass, kAccType, kAccSmtpAddress, kAccDisplayName };
const Member kAccountMembers[] = {
    {"Application", Access::Get, 0, 0}, {"Class", Access::Get, 0, 0},
    {"AccountType", Access::Get, 0, 0}, {"SmtpAddress", Access::Get, 0, 0},
    {"DisplayName", Access::Get, 0, 0},
};

} // namespace

size_t AccountCount(const World* world) {
    return 1 + world->config.otherAccounts.size();
}

HRESULT ReturnAccount(World* world, int index, Call& call) {
    if (index < 0 || static_cast<size_t>(index) >= AccountCount(world))
        return call.ReturnObject(nullptr);
    Ptr<AccountObject> account =
        Ptr<AccountObject>::Adopt(new AccountObject(world, static_cast<size_t>(index)));
    return call.ReturnObject(account.Get());
}

AccountsObject::AccountsObject(World* world)
    : DispatchObject(world, "Accounts", kAccountsMembers, {}) {}

HRESULT AccountsObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kAccsApplication:
        return call.ReturnObject(world_->app.Get());
    case kAccsClass:
        return call.ReturnLong(olAccounts);
    case kAccsCount:
        return call.ReturnLong(static_cast<LONG>(AccountCount(world_)));
    case kAccsItem: {
        // The collection is indexed from 1, as every one of the object model.
        LONG n;
        if (HRESULT hr = call.ArgLong(0, &n); FAILED(hr))
            return hr;
        if (n < 1 || static_cast<size_t>(n) > AccountCount(world_))
            return call.Raise(E_INVALIDARG, "Array index out of bounds.");
        return ReturnAccount(world_, static_cast<int>(n - 1), call);
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

AccountObject::AccountObject(World* world, size_t index)
    : DispatchObject(world, "Account", kAccountMembers, {}), account_(index) {}

HRESULT AccountObject::Dispatch(size_t index, Call& call) {
    const Config& config = world_->config;
    const bool first = account_ == 0;
    const Config::Account* other = first ? nullptr : &config.otherAccounts[account_ - 1];
    const std::string& smtp =
        first ? (config.accountAddress.empty() ? config.senderAddress : config.accountAddress)
              : other->smtpAddress;
    switch (index) {
    case kAccApplication:
        return call.ReturnObject(world_->app.Get());
    case kAccClass:
        return call.ReturnLong(olAccount);
    case kAccType:
        return call.ReturnLong(first ? config.accountType : other->type);
    case kAccSmtpAddress:
    case kAccDisplayName:
        return call.ReturnString(smtp);
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
