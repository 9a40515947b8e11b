// Where the library and its data live, fixed when the library is attached to
// the host process (AttachLibrary fills them). They sit this low because
// layers all the way up need them: the version and the string table read the
// module, the logs and options the paths, the help the directory.
#pragma once

#include "platform.h"

struct DataPathsState {
    HMODULE module;             // the library's module: string table, version resource
    char libraryDirectory[260]; // ends in a backslash; empty when it was not found
    char sentList[260];         // ...\Quorvel\tosent.txt
    char jobHistory[260];       // ...\Quorvel\JobHistory.txt
    char currentJobLog[260];    // ...\Quorvel\CurrentJob.txt
    char jobState[260];         // ...\Quorvel\JobState.txt: what a continued mailing needs
};

extern DataPathsState DataPaths;
