#include "dialogs/startup_problems.h"

#include "base/messages.h"
#include "base/string_ids.h"
#include "dialogs/message_boxes.h"

void TellStartupProblems(const StartupProblems& problems) {
    if (problems.noLibraryDirectory)
        StringMessageBox(GetDesktopWindow(), IDS_DLL_DIRECTORY_NOT_FOUND, kProductName,
                         MB_ICONEXCLAMATION);
    if (problems.noAppData)
        StringMessageBox(GetDesktopWindow(), IDS_APPDATA_NOT_FOUND, kProductName,
                         MB_ICONEXCLAMATION);
}
