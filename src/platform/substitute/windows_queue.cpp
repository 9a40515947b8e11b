// The thread's message queue and its timers: posting, sending, peeking,
// waiting (in virtual time) and dispatching.
#include "windows_internal.h"

#include <cstdio>
#include <cstdlib>

namespace substitute::detail {
namespace {

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

bool WaitForMessageWhile(MSG* msg, const std::function<bool()>& waiting) {
    while (!Retrieve(msg, nullptr, 0, 0, true)) {
        if (!waiting())
            return false;
        if (!WaitForSomething()) {
            std::fprintf(stderr, "substitute: GetMessageA would wait forever: no message, "
                                 "timer or scheduled action is left\n");
            std::abort();
        }
    }
    return true;
}

} // namespace substitute::detail

namespace substitute {

using namespace detail;

size_t PendingMessages() {
    return State().queue.size();
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (window && !Find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    State().queue.push_back(MSG{window, message, wParam, lParam, GetTickCount(), {0, 0}});
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
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
