// Message boxes: the scripted answer, and the modal loop a real box runs.
#include "windows_internal.h"

namespace substitute {

using namespace detail;

void SetMessageBoxResponder(std::function<int(const MessageBoxCall&)> responder) {
    State().responder = std::move(responder);
}

const std::vector<MessageBoxCall>& MessageBoxes() {
    return State().boxes;
}

void ClearMessageBoxes() {
    State().boxes.clear();
}

void SetMessageBoxesPump(bool pump) {
    State().boxesPump = pump;
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    WindowState& s = State();
    MessageBoxCall call{owner, text ? text : "", caption ? caption : "", type, IDOK};
    if (s.responder) {
        call.answer = s.responder(call);
    } else {
        switch (type & 0xF) {
        case MB_YESNO:
        case MB_YESNOCANCEL:
            call.answer = IDNO;
            break;
        case MB_OKCANCEL:
            call.answer = IDCANCEL;
            break;
        default:
            call.answer = IDOK;
            break;
        }
    }
    State().boxes.push_back(call);
    // A real message box runs a modal loop until the user answers; the
    // messages already waiting are dispatched inside it.
    if (State().boxesPump) {
        MSG msg;
        size_t pending = State().queue.size();
        while (pending-- > 0 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return call.answer;
}
