// The window objects: the table of every window, their procedures, their
// text, styles, positions, window values and properties, focus, and their
// destruction.
#include "windows_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace substitute::detail {
namespace {

const HWND kDesktop = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x10010));

bool HasFrame(const Window& w) {
    return (w.style & WS_CHILD) == 0 && (w.style & WS_CAPTION) == WS_CAPTION;
}

// The screen position of a window's top left corner.
POINT ScreenOrigin(HWND handle) {
    Window* w = Find(handle);
    if (!w)
        return POINT{0, 0};
    POINT p{w->rect.left, w->rect.top};
    if (w->style & WS_CHILD) {
        POINT parent = ClientOrigin(w->parent);
        p.x += parent.x;
        p.y += parent.y;
    }
    return p;
}

} // namespace

WindowState& State() {
    static WindowState state;
    return state;
}

Window* Find(HWND handle) {
    auto it = State().windows.find(handle);
    return it == State().windows.end() ? nullptr : &it->second;
}

void Fault(const std::string& text) {
    State().faults.push_back(text);
}

std::string Describe(HWND handle) {
    Window* w = Find(handle);
    if (!w)
        return "a destroyed window";
    char text[160];
    Window* parent = Find(w->parent);
    if (parent && parent->templateId)
        std::snprintf(text, sizeof text, "control %d (%s) of dialog %d",
                      static_cast<int>(static_cast<short>(w->id)), w->className.c_str(),
                      parent->templateId);
    else
        std::snprintf(text, sizeof text, "window %s", w->className.c_str());
    return text;
}

HWND NewWindow(Window w) {
    WindowState& s = State();
    HWND handle = reinterpret_cast<HWND>(s.nextHandle);
    s.nextHandle += 4;
    s.windows.emplace(handle, std::move(w));
    return handle;
}

LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(window);
    if (!w || !w->proc)
        return 0;
    WNDPROC proc = w->proc; // the handler may change the map
    return proc(window, message, wParam, lParam);
}

bool IsClass(const Window* w, const char* name) {
    return w && w->className == name;
}

void Notify(HWND control, WORD code) {
    Window* w = Find(control);
    if (!w || !w->parent)
        return;
    Deliver(w->parent, WM_COMMAND, MAKEWPARAM(w->id, code), reinterpret_cast<LPARAM>(control));
}

POINT ClientOrigin(HWND handle) {
    Window* w = Find(handle);
    POINT p = ScreenOrigin(handle);
    if (w && HasFrame(*w)) {
        p.x += kFrame;
        p.y += kFrame + kCaption;
    }
    return p;
}

void Destroy(HWND window) {
    if (!Find(window))
        return;
    Deliver(window, WM_DESTROY, 0, 0);
    // Children and owned windows go with their parent.
    std::vector<HWND> dependants;
    for (auto& entry : State().windows)
        if (entry.second.parent == window)
            dependants.push_back(entry.first);
    for (HWND d : dependants)
        Destroy(d);
    Deliver(window, WM_NCDESTROY, 0, 0);
    WindowState& s = State();
    Window* w = Find(window);
    if (!w)
        return;
    if (w->dialogFont)
        DeleteObject(w->dialogFont);
    s.windows.erase(window);
    for (auto it = s.timers.begin(); it != s.timers.end();)
        it = it->window == window ? s.timers.erase(it) : it + 1;
    for (auto it = s.queue.begin(); it != s.queue.end();)
        it = it->hwnd == window ? s.queue.erase(it) : it + 1;
    if (s.focus == window)
        s.focus = nullptr;
    if (s.capture == window)
        s.capture = nullptr;
}

void ResetWindows() {
    State() = WindowState{};
}

} // namespace substitute::detail

namespace substitute {

using namespace detail;

HWND CreateTestWindow(WNDPROC proc, HWND parent) {
    Window w;
    w.proc = proc;
    w.parent = parent;
    w.rect = RECT{100, 100, 700, 500};
    return NewWindow(std::move(w));
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

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

HWND WINAPI GetWindow(HWND window, UINT command) {
    Window* w = Find(window);
    if (!w)
        return nullptr;
    switch (command) {
    case GW_OWNER:
        return (w->style & WS_CHILD) ? nullptr : w->parent;
    case GW_CHILD:
        return w->children.empty() ? nullptr : w->children.front();
    case GW_HWNDNEXT: {
        Window* parent = Find(w->parent);
        if (!parent || !(w->style & WS_CHILD))
            return nullptr;
        auto it = std::find(parent->children.begin(), parent->children.end(), window);
        return it == parent->children.end() || it + 1 == parent->children.end() ? nullptr
                                                                                : *(it + 1);
    }
    default:
        return nullptr;
    }
}

BOOL WINAPI DestroyWindow(HWND window) {
    if (!Find(window)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    Destroy(window);
    return TRUE;
}

LRESULT WINAPI DefWindowProcA(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

int WINAPI GetClassNameA(HWND window, LPSTR className, int maxCount) {
    Window* w = Find(window);
    if (!w || maxCount <= 0)
        return 0;
    std::snprintf(className, static_cast<size_t>(maxCount), "%s", w->className.c_str());
    return static_cast<int>(std::strlen(className));
}

BOOL WINAPI SetWindowTextA(HWND window, LPCSTR text) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    // A control takes its text through its (perhaps subclassed) procedure.
    if (!w->className.empty() && w->className != "#32770")
        return static_cast<BOOL>(
            Deliver(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : "")));
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

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
    if (enable)
        w->style &= ~WS_DISABLED;
    else
        w->style |= WS_DISABLED;
    return wasDisabled;
}

BOOL WINAPI IsWindowEnabled(HWND window) {
    Window* w = Find(window);
    return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND window, int command) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    BOOL wasVisible = (w->style & WS_VISIBLE) ? TRUE : FALSE;
    if (command == SW_HIDE)
        w->style &= ~WS_VISIBLE;
    else
        w->style |= WS_VISIBLE;
    return wasVisible;
}

BOOL WINAPI IsWindowVisible(HWND window) {
    Window* w = Find(window);
    return w && (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

HWND WINAPI SetFocus(HWND window) {
    HWND previous = State().focus;
    State().focus = window;
    return previous;
}

HWND WINAPI GetFocus() {
    return State().focus;
}

BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    if (insertAfter == HWND_TOPMOST)
        w->exStyle |= WS_EX_TOPMOST;
    if (!(flags & SWP_NOMOVE)) {
        const int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
        w->rect = RECT{x, y, x + width, y + height};
    }
    if (!(flags & SWP_NOSIZE)) {
        w->rect.right = w->rect.left + cx;
        w->rect.bottom = w->rect.top + cy;
    }
    return TRUE;
}

BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL) {
    Window* w = Find(window);
    if (!w)
        return FALSE;
    w->rect = RECT{x, y, x + width, y + height};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND window, LPRECT rect) {
    WindowState& s = State();
    if (window == kDesktop) {
        *rect = RECT{0, 0, s.desktopWidth, s.desktopHeight};
        return TRUE;
    }
    Window* w = Find(window);
    if (!w)
        return FALSE;
    const POINT origin = ScreenOrigin(window);
    *rect = RECT{origin.x, origin.y, origin.x + w->rect.right - w->rect.left,
                 origin.y + w->rect.bottom - w->rect.top};
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    WindowState& s = State();
    if (window == kDesktop) {
        *rect = RECT{0, 0, s.desktopWidth, s.desktopHeight};
        return TRUE;
    }
    Window* w = Find(window);
    if (!w)
        return FALSE;
    int width = w->rect.right - w->rect.left, height = w->rect.bottom - w->rect.top;
    if (HasFrame(*w)) {
        width -= 2 * kFrame;
        height -= 2 * kFrame + kCaption;
    }
    *rect = RECT{0, 0, width, height};
    return TRUE;
}

BOOL WINAPI ClientToScreen(HWND window, POINT* point) {
    if (window == kDesktop)
        return TRUE;
    if (!Find(window))
        return FALSE;
    const POINT origin = ClientOrigin(window);
    point->x += origin.x;
    point->y += origin.y;
    return TRUE;
}

BOOL WINAPI ScreenToClient(HWND window, POINT* point) {
    if (window == kDesktop)
        return TRUE;
    if (!Find(window))
        return FALSE;
    const POINT origin = ClientOrigin(window);
    point->x -= origin.x;
    point->y -= origin.y;
    return TRUE;
}

BOOL WINAPI PtInRect(const RECT* rect, POINT point) {
    return point.x >= rect->left && point.x < rect->right && point.y >= rect->top &&
                   point.y < rect->bottom
               ? TRUE
               : FALSE;
}

BOOL WINAPI InvalidateRect(HWND window, const RECT*, BOOL) {
    return Find(window) ? TRUE : FALSE;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND window, int index) {
    Window* w = Find(window);
    if (!w)
        return 0;
    switch (index) {
    case GWLP_WNDPROC:
        return reinterpret_cast<LONG_PTR>(w->proc);
    case GWL_STYLE:
        return static_cast<LONG_PTR>(static_cast<LONG>(w->style));
    case GWL_EXSTYLE:
        return static_cast<LONG_PTR>(w->exStyle);
    case GWLP_ID:
        return w->id;
    default:
        break;
    }
    if (w->templateId && index == static_cast<int>(DWLP_USER))
        return w->user;
    if (w->templateId && index == static_cast<int>(DWLP_MSGRESULT))
        return w->messageResult;
    Fault(Describe(window) + " has no window value at that index");
    return 0;
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    Window* w = Find(window);
    if (!w)
        return 0;
    LONG_PTR old = GetWindowLongPtrA(window, index);
    switch (index) {
    case GWLP_WNDPROC:
        w->proc = reinterpret_cast<WNDPROC>(value);
        return old;
    case GWL_STYLE:
        w->style = static_cast<DWORD>(value);
        return old;
    case GWL_EXSTYLE:
        w->exStyle = static_cast<DWORD>(value);
        return old;
    default:
        break;
    }
    if (w->templateId && index == static_cast<int>(DWLP_USER))
        w->user = value;
    else if (w->templateId && index == static_cast<int>(DWLP_MSGRESULT))
        w->messageResult = value;
    return old;
}

LONG WINAPI GetWindowLongA(HWND window, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(window, index));
}

LONG WINAPI SetWindowLongA(HWND window, int index, LONG value) {
    return static_cast<LONG>(SetWindowLongPtrA(window, index, value));
}

LRESULT WINAPI CallWindowProcA(WNDPROC proc, HWND window, UINT message, WPARAM wParam,
                               LPARAM lParam) {
    return proc ? proc(window, message, wParam, lParam) : 0;
}

BOOL WINAPI SetPropA(HWND window, LPCSTR name, HANDLE data) {
    Window* w = Find(window);
    if (!w || !name)
        return FALSE;
    w->props[name] = data;
    return TRUE;
}

HANDLE WINAPI GetPropA(HWND window, LPCSTR name) {
    Window* w = Find(window);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(name);
    return it == w->props.end() ? nullptr : it->second;
}

HANDLE WINAPI RemovePropA(HWND window, LPCSTR name) {
    Window* w = Find(window);
    if (!w || !name)
        return nullptr;
    auto it = w->props.find(name);
    if (it == w->props.end())
        return nullptr;
    HANDLE data = it->second;
    w->props.erase(it);
    return data;
}
