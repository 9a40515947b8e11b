// The library's dialogs are not built in yet: until they are, the compose
// button's click and the Tools-menu entry reach these two entry points, which
// show nothing and return at once.
#include "ui/services/debug_trace.h"
#include "ui/dialogs/main_dialog.h"
#include "ui/dialogs/options_dialog.h"

void OpenMainDialog(ComposeContext*, HWND window) {
    DebugTrace("   OpenMainDialog %p: no dialog in this build\r\n", static_cast<void*>(window));
}

INT_PTR ShowOptionsDialog(HWND) {
    return -1;
}
