// The step of a message the job is at, set as each step begins. A client
// call that raises where no step handles it names the step in its message
// ("... at line %d"), so the values are what users and the help see and stay
// as they are.
#pragma once

enum class JobStep : int {
    None = 0,
    ListReopened = 1,
    ReadingRecord = 2,    // merged buffers allocated, reading the next record
    Pausing = 3,          // the pause between mails
    SendReceiveCheck = 4, // Send/Receive every N messages
    Merging = 5,
    MakingCopy = 6,
    SavingCopy = 7,
    GettingStoreMessage = 8,
    SettingSubject = 9,
    SettingBody = 10,
    SavingCopyAgain = 11,
    BuildingRecipient = 12,
    AddingRecipient = 13,   // the last recipient values, then ModifyRecipients
    FormatTnefAndMove = 14, // editor format, TNEF flag, move to the Outbox
    Submitting = 15,
    Flushing = 16,
    CountingAndLogging = 17,
    FinalSendReceive = 18,
    AttachingFiles = 19, // the record's own files, after the copy's texts
};
