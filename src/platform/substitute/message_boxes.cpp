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

namespace {
// The box's wide text as the UTF-8 the test reads it in.
std::string Utf8Of(LPCWSTR text) {
    if (!text || !*text)
        return std::string();
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1)
        return std::string();
    std::string out(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], bytes, nullptr, nullptr);
    out.resize(static_cast<size_t>(bytes) - 1);
    return out;
}
} // namespace

// The wide box is recorded as the 8-bit one is, its texts as UTF-8.
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    const std::string narrowText = Utf8Of(text), narrowCaption = Utf8Of(caption);
    return MessageBoxA(owner, narrowText.c_str(), narrowCaption.c_str(), type);
}

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
