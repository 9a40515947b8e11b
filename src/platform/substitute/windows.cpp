// Windows, the thread's message queue, timers, message boxes and modal dialog
// boxes of the substitute platform. One thread, as in the product: everything
// happens inside the calls the program makes, in virtual time.
#include "internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

namespace substitute {
namespace {

struct Window {
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    HWND parent = nullptr;
    int id = 0;
    bool enabled = true;
    bool visible = true;
    UINT checked = BST_UNCHECKED;
    int textLimit = 0;
    std::string text;
    std::map<int, HWND> items; // dialog controls by id
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
};

struct Timer {
    HWND window;
    UINT_PTR id;
    UINT period;
    DWORD due;
    TIMERPROC proc;
};

struct WindowState {
    std::map<HWND, Window> windows;
    std::deque<MSG> queue;
    std::vector<Timer> timers;
    uintptr_t nextHandle = 0x10100;
    UINT_PTR nextTimerId = 0x7F00;
    HWND focus = nullptr;
    std::function<int(const MessageBoxCall&)> responder;
    std::vector<MessageBoxCall> boxes;
    bool boxesPump = true;
    // PostQuitMessage sets a flag rather than queueing a message: WM_QUIT
    // comes only once no posted message is left.
    bool quitPosted = false;
    int quitCode = 0;
};

WindowState& State() {
    static WindowState state;
    return state;
}

const HWND kDesktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));

Window* Find(HWND handle) {
    auto it = State().windows.find(handle);
    return it == State().windows.end() ? nullptr : &it->second;
}

HWND NewWindow(WNDPROC proc, DLGPROC dialogProc, HWND parent, int id) {
    WindowState& s = State();
    HWND handle = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += 4;
    Window w;
    w.proc = proc;
    w.dialogProc = dialogProc;
    w.parent = parent;
    w.id = id;
    s.windows.emplace(handle, std::move(w));
    return handle;
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    if (!w)
        return 0;
    if (w->dialogProc)
        return w->dialogProc(window, message, wParam, lParam);
    if (w->proc)
        return w->proc(window, message, wParam, lParam);
    return 0;
}

bool Matches(const MSG& m, HWND filter, UINT first, UINT last) {
    if (filter && m.hwnd != filter)
        return false;
    if (first == 0 && last == 0)
        return true;
    return m.message >= first && m.message <= last;
}

bool IsDue(DWORD due, DWORD now) {
    return static_cast<int32_t>(now - due) >= 0;
}

// The next message for the thread, without waiting.
bool Retrieve(MSG* msg, HWND filter, UINT first, UINT last, bool remove) {
    detail::RunPumpActions();
    WindowState& s = State();
    for (auto it = s.queue.begin(); it != s.queue.end(); ++it) {
        if (!Matches(*it, filter, first, last))
            continue;
        *msg = *it;
        if (remove)
            s.queue.erase(it);
        return true;
    }
    // WM_QUIT whatever the message range asked for, as the system gives it.
    if (s.quitPosted && !filter) {
        *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(s.quitCode), 0, GetTickCount(), {0, 0}};
        if (remove)
            s.quitPosted = false;
        return true;
    }
    // Timer messages are made only when nothing else is waiting.
    const DWORD now = GetTickCount();
    for (Timer& t : s.timers) {
        MSG m{t.window, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), now, {0, 0}};
        if (!IsDue(t.due, now) || !Matches(m, filter, first, last))
            continue;
        *msg = m;
        if (remove)
            t.due = now + t.period;
        return true;
    }
    return false;
}

// Lets virtual time pass up to the next thing that can happen; false when
// nothing ever will (a program waiting forever is a test fault).
bool WaitForSomething() {
    WindowState& s = State();
    const DWORD now = GetTickCount();
    bool found = false;
    DWORD next = 0;
    for (const Timer& t : s.timers) {
        if (!found || static_cast<int32_t>(t.due - next) < 0) {
            next = t.due;
            found = true;
        }
    }
    DWORD scheduled;
    if (detail::NextScheduledTick(&scheduled) &&
        (!found || static_cast<int32_t>(scheduled - next) < 0)) {
        next = scheduled;
        found = true;
    }
    if (!found)
        return false;
    if (static_cast<int32_t>(next - now) > 0)
        AdvanceClock(next - now);
    return true;
}

} // namespace

HWND CreateTestWindow(WNDPROC proc, HWND parent) {
    return NewWindow(proc, nullptr, parent, 0);
}

size_t PendingMessages() {
    return State().queue.size();
}

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

namespace detail {
void ResetWindows() {
    State() = WindowState{};
}
} // namespace detail

} // namespace substitute

using namespace substitute;

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !Find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    State().queue.push_back(MSG{window, message, wParam, lParam, GetTickCount(), {0, 0}});
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    if (!w)
        return 0;
    switch (message) {
    case BM_GETCHECK:
        if (!w->proc && !w->dialogProc)
            return w->checked;
        break;
    case BM_SETCHECK:
        if (!w->proc && !w->dialogProc) {
            w->checked = static_cast<UINT>(wParam);
            return 0;
        }
        break;
    case EM_LIMITTEXT:
        if (!w->proc && !w->dialogProc) {
            w->textLimit = static_cast<int>(wParam);
            return 0;
        }
        break;
    default:
        break;
    }
    return Deliver(window, message, wParam, lParam);
}

BOOL WINAPI PeekMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    return Retrieve(msg, window, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE
                                                                                       : FALSE;
}

BOOL WINAPI GetMessageA(LPMSG msg, HWND window, UINT filterMin, UINT filterMax) {
    while (!Retrieve(msg, window, filterMin, filterMax, true)) {
        if (!WaitForSomething()) {
            std::fprintf(stderr, "substitute: GetMessageA would wait forever: no message, "
                                 "timer or scheduled action is left\n");
            std::abort();
        }
    }
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

void WINAPI PostQuitMessage(int exitCode) {
    State().quitPosted = true;
    State().quitCode = exitCode;
}

BOOL WINAPI TranslateMessage(const MSG*) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg) {
    if (!msg->hwnd)
        return 0;
    if (msg->message == WM_TIMER && msg->lParam) {
        reinterpret_cast<TIMERPROC>(msg->lParam)(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
        return 0;
    }
    return Deliver(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    WindowState& s = State();
    if (window && !Find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    if (elapse < 10)
        elapse = 10; // USER_TIMER_MINIMUM
    if (!window)
        id = s.nextTimerId++;
    for (Timer& t : s.timers) {
        if (t.window == window && t.id == id) {
            t.period = elapse;
            t.due = GetTickCount() + elapse;
            t.proc = proc;
            return window ? 1 : id;
        }
    }
    s.timers.push_back(Timer{window, id, elapse, GetTickCount() + elapse, proc});
    return window ? 1 : id;
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id) {
    auto& timers = State().timers;
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->window == window && it->id == id) {
            timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

HWND WINAPI GetDesktopWindow() {
    return kDesktop;
}

BOOL WINAPI IsWindow(HWND window) {
    return window == kDesktop || Find(window) ? TRUE : FALSE;
}

HWND WINAPI GetParent(HWND window) {
    Window* w = Find(window);
    return w ? w->parent : nullptr;
}

BOOL WINAPI DestroyWindow(HWND window) {
    Window* w = Find(window);
    if (!w) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Deliver(window, WM_DESTROY, 0, 0);
    w = Find(window); // the handler may have changed the map
    if (!w)
        return TRUE;
    std::map<int, HWND> items = w->items;
    WindowState& s = State();
    s.windows.erase(window);
    for (auto& item : items)
        s.windows.erase(item.second);
    for (auto it = s.timers.begin(); it != s.timers.end();)
        it = it->window == window ? s.timers.erase(it) : it + 1;
    if (s.focus == window)
        s.focus = nullptr;
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
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
    s.boxes.push_back(call);
    // A real message box runs a modal loop until the user answers; the
    // messages already waiting are dispatched inside it.
    if (s.boxesPump) {
        MSG msg;
        size_t pending = s.queue.size();
        while (pending-- > 0 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
    }
    return call.answer;
}

// ---- Dialog boxes ---------------------------------------------------------------

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR, HWND owner, DLGPROC dialogProc,
                               LPARAM initParam) {
    if (!dialogProc)
        return -1;
    HWND dialog = NewWindow(nullptr, dialogProc, owner, 0);
    dialogProc(dialog, WM_INITDIALOG, 0, initParam);
    MSG msg;
    for (;;) {
        Window* w = Find(dialog);
        if (!w)
            return -1;
        if (w->dialogEnded)
            break;
        GetMessageA(&msg, nullptr, 0, 0);
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    INT_PTR result = Find(dialog)->dialogResult;
    DestroyWindow(dialog);
    return result;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Window* w = Find(dialog);
    if (!w || !w->dialogProc)
        return FALSE;
    w->dialogEnded = true;
    w->dialogResult = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    Window* w = Find(dialog);
    if (!w)
        return nullptr;
    auto it = w->items.find(id);
    if (it != w->items.end())
        return it->second;
    HWND item = NewWindow(nullptr, nullptr, dialog, id);
    Find(dialog)->items[id] = item;
    return item;
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    w->text = text ? text : "";
    return TRUE;
}

int WINAPI GetWindowTextA(HWND window, LPSTR text, int maxCount) {
    Window* w = Find(window);
    if (!w || maxCount <= 0)
        return 0;
    int n = static_cast<int>(w->text.size());
    if (n > maxCount - 1)
        n = maxCount - 1;
    std::memcpy(text, w->text.data(), static_cast<size_t>(n));
    text[n] = '\0';
    return n;
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    return SetWindowTextA(GetDlgItem(dialog, id), text);
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
    return static_cast<UINT>(GetWindowTextA(GetDlgItem(dialog, id), text, maxCount));
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
}

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    BOOL wasDisabled = w->enabled ? FALSE : TRUE;
    w->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
    Window* w = Find(window);
    return w && w->enabled ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    BOOL wasVisible = w->visible ? TRUE : FALSE;
    w->visible = command != SW_HIDE;
    return wasVisible;
}

BOOL WINAPI IsWindowVisible(HWND window) {
    Window* w = Find(window);
    return w && w->visible ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND window) {
    HWND previous = State().focus;
    State().focus = window;
    return previous;
}

HWND WINAPI GetFocus() {
    return State().focus;
}
