// Commands the job gives the mail client itself rather than its message
// store: a Send/Receive of every account, and a flush of the outbound queue.
#pragma once

#include "platform.h"

// Runs the host's Send/Receive: on hosts of version 12 and above through the
// namespace, with its progress dialog off; before that through the
// Send/Receive control of the active explorer's command bars. False when it
// could not be started.
bool IssueSendReceive();

// Asks the store's spooler to send the queued messages now. False when there
// is no session or no spooler row, or a call fails; a status object that
// cannot be used raises.
bool FlushOutboundQueue();
