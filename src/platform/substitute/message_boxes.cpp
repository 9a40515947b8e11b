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

namespace {
// The box as the user reads it: its texts are kept in UTF-8.
int ShowBox(HWND owner, const std::string& text, const std::string& caption, UINT type) {
    WindowState& s = State();
    MessageBoxCall call{owner, text, caption, type, IDOK};
    // An application-modal box disables its owner until it is answered: the
    // user cannot work the owner's controls or close it meanwhile
    // (MessageBox, "MB_APPLMODAL ... The user must respond to the message
    // box before continuing work in the window identified by the hWnd
    // parameter"). The responder is the user looking at the box.
    Window* o = owner && owner != GetDesktopWindow() ? Find(owner) : nullptr;
    const bool disableOwner = o && !(o->style & WS_DISABLED);
    if (disableOwner)
        o->style |= WS_DISABLED;
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
    if (disableOwner && Find(owner))
        Find(owner)->style &= ~WS_DISABLED;
    return call.answer;
}

// The 8-bit box reads its texts in the ANSI code page: UTF-8 given to it
// shows as the code page's characters, as on Windows.
std::string FromAnsi(LPCSTR text) {
    if (!text || !*text)
        return std::string();
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (units <= 1)
        return std::string();
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], units);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(bytes > 1 ? bytes : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), -1, &out[0], bytes, nullptr, nullptr);
    out.resize(out.size() - 1);
    return out;
}
} // namespace

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return ShowBox(owner, FromAnsi(text), FromAnsi(caption), type);
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    return ShowBox(owner, Utf8Of(text), Utf8Of(caption), type);
}
