// The account the composed message will leave from, as far as the client
// tells it (clients of version 12 on): who keeps the copies waiting for
// their release time, and whose provider's limits to propose.
#pragma once

#include "data/send_schedule.h"
#include "platform.h"

// The item's own account (SendUsingAccount), else the profile's only one,
// else the one whose address is the profile's own mailbox's; Unknown when
// the client tells none, or a call fails (nothing is raised).
SendingAccount ReadSendingAccount(IDispatch* application, IDispatch* item);

// OlAccountType as the kind the review tells apart.
AccountKind AccountKindOf(LONG accountType);
