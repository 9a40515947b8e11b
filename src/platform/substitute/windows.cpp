// Windows, the thread's message queue, timers, message boxes and the dialog
// manager of the substitute platform. One thread, as in the product:
// everything happens inside the calls the program makes, in virtual time.
//
// Modal dialogs are built from the library's own templates (kLibraryDialogs,
// the same source as the resource script): each control is a child window of
// its template's class, at its template's rectangle, and answers only the
// messages of its class. A program that asks for a control the template
// lacks, or sends a control a message its class does not know, gets what the
// real dialog manager would give it (nothing) and a recorded fault.
#include "internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>

namespace substitute {
namespace {

struct Tool {
    UINT cbSize;
    UINT flags;
    HWND window;
    UINT_PTR id;
    std::string text;
};

struct Window {
    std::string className; // "" for a test window, "#32770" for a dialog
    WNDPROC proc = nullptr;
    DLGPROC dialogProc = nullptr;
    LONG_PTR user = 0;
    LONG_PTR messageResult = 0;
    HWND parent = nullptr; // parent of a child, owner of a top-level window
    WORD id = 0;
    DWORD style = WS_VISIBLE;
    DWORD exStyle = 0;
    RECT rect{0, 0, 0, 0}; // a child's in its parent's client area, else the screen's
    std::string text;
    int textLimit = 30000;
    UINT checked = BST_UNCHECKED;
    int low = 0, high = 100, pos = 0;
    HWND buddy = nullptr;
    HFONT font = nullptr;
    std::map<std::string, HANDLE> props;
    std::vector<HWND> children; // in template order
    std::vector<Tool> tools;
    // Dialogs
    int templateId = 0;
    bool dialogEnded = false;
    INT_PTR dialogResult = 0;
    HFONT dialogFont = nullptr;
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
    HWND capture = nullptr;
    std::function<int(const MessageBoxCall&)> responder;
    std::vector<MessageBoxCall> boxes;
    bool boxesPump = true;
    // The dialog manager
    std::vector<HWND> modal;
    std::vector<std::string> faults;
    int screenWidth = 1024, screenHeight = 768;
    int desktopWidth = 1024, desktopHeight = 768;
    bool failNextCreation = false;
    std::vector<INITCOMMONCONTROLSEX> commonControls;
    // GDI
    std::map<HFONT, LOGFONTA> fonts;
    uintptr_t nextFont = 0x30000;
    std::map<HDC, COLORREF> textColors;
    HCURSOR cursor = nullptr;
    bool handCursor = true;
    // Activation contexts
    std::vector<std::string> manifestCalls;
    unsigned contextsCreated = 0;
    int activeContexts = 0;
    DWORD activationError = 0;
    // The common dialog and the shell
    std::function<std::string(const OpenFileCall&)> openFileResponder;
    std::vector<OpenFileCall> openFileCalls;
    std::function<INT_PTR(const ShellCall&)> shellResponder;
    std::vector<ShellCall> shellCalls;
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
const HCURSOR kArrowCursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x20010));
const HCURSOR kHandCursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x20020));
const HBRUSH kDialogBrush = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(0x20030));
const HANDLE kActivationContext = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(0x20040));
const uintptr_t kDcBase = 0x40000000;
// A dialog's frame: the border around it and its caption bar, in pixels.
constexpr int kFrame = 3;
constexpr int kCaption = 19;
// Dialog base units of 8-point "MS Sans Serif" on a 96 dpi screen.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

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

int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>(product >= 0 ? (product + denominator / 2) / denominator
                                         : (product - denominator / 2) / denominator);
}

bool HasFrame(const Window& w) {
    return (w.style & WS_CHILD) == 0 && (w.style & WS_CAPTION) == WS_CAPTION;
}

// The screen position of a window's top left corner and of its client area.
POINT ScreenOrigin(HWND handle);
POINT ClientOrigin(HWND handle) {
    Window* w = Find(handle);
    POINT p = ScreenOrigin(handle);
    if (w && HasFrame(*w)) {
        p.x += kFrame;
        p.y += kFrame + kCaption;
    }
    return p;
}
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

// ---- The controls' classes ----------------------------------------------------------------

const Tool* FindTool(const Window& tooltip, HWND window, UINT_PTR id) {
    for (const Tool& t : tooltip.tools)
        if (t.window == window && t.id == id)
            return &t;
    return nullptr;
}

LRESULT ClassMessage(HWND handle, Window* w, UINT message, WPARAM wParam, LPARAM lParam,
                     bool* known) {
    *known = true;
    const DWORD type = w->style & BS_TYPEMASK;
    if (IsClass(w, "Button") && (message == BM_GETCHECK || message == BM_SETCHECK)) {
        if (type != BS_AUTOCHECKBOX) {
            *known = false;
            return 0;
        }
        if (message == BM_GETCHECK)
            return w->checked;
        w->checked = static_cast<UINT>(wParam);
        return 0;
    }
    if (IsClass(w, "Edit")) {
        if (message == EM_LIMITTEXT) {
            w->textLimit = wParam ? static_cast<int>(wParam) : 0x7FFFFFFE;
            return 0;
        }
        if (message == EM_GETLIMITTEXT)
            return w->textLimit;
    }
    if (IsClass(w, PROGRESS_CLASSA)) {
        switch (message) {
        case PBM_SETRANGE: {
            const LRESULT old = MAKELONG(w->low, w->high);
            w->low = LOWORD(lParam);
            w->high = HIWORD(lParam);
            return old;
        }
        case PBM_SETPOS: {
            const LRESULT old = w->pos;
            w->pos = std::clamp(static_cast<int>(wParam), w->low, w->high);
            return old;
        }
        case PBM_GETPOS:
            return w->pos;
        case PBM_GETRANGE:
            return wParam ? w->low : w->high;
        default:
            break;
        }
    }
    if (IsClass(w, UPDOWN_CLASSA)) {
        switch (message) {
        case UDM_SETRANGE:
            w->high = static_cast<short>(LOWORD(lParam));
            w->low = static_cast<short>(HIWORD(lParam));
            return 0;
        case UDM_GETRANGE:
            return MAKELONG(w->high, w->low);
        case UDM_GETBUDDY:
            return reinterpret_cast<LRESULT>(w->buddy);
        default:
            break;
        }
    }
    if (IsClass(w, TOOLTIPS_CLASSA)) {
        auto* info = reinterpret_cast<TOOLINFOA*>(lParam);
        const UINT smallest = offsetof(TOOLINFOA, lpszText) + sizeof(LPSTR);
        switch (message) {
        case TTM_ADDTOOLA:
        case TTM_UPDATETIPTEXTA: {
            if (!info || info->cbSize < smallest) {
                Fault(Describe(handle) + " got a tool structure of a wrong size");
                return FALSE;
            }
            const std::string text = info->lpszText ? info->lpszText : "";
            if (message == TTM_ADDTOOLA) {
                w->tools.push_back(Tool{info->cbSize, info->uFlags, info->hwnd, info->uId, text});
                return TRUE;
            }
            for (Tool& t : w->tools)
                if (t.window == info->hwnd && t.id == info->uId)
                    t.text = text;
            return 0;
        }
        case TTM_GETTEXTA: {
            const Tool* t = info ? FindTool(*w, info->hwnd, info->uId) : nullptr;
            if (info && info->lpszText) {
                const size_t size = wParam ? wParam : 80;
                std::snprintf(info->lpszText, size, "%s", t ? t->text.c_str() : "");
            }
            return t ? static_cast<LRESULT>(t->text.size()) : 0;
        }
        case TTM_GETTOOLCOUNT:
            return static_cast<LRESULT>(w->tools.size());
        default:
            break;
        }
    }
    *known = false;
    (void)handle;
    return 0;
}

// The window procedure of every built-in control class.
LRESULT CALLBACK ControlProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(handle);
    if (!w)
        return 0;
    switch (message) {
    case WM_SETTEXT:
        w->text = lParam ? reinterpret_cast<const char*>(lParam) : "";
        if (IsClass(w, "Edit"))
            Notify(handle, EN_CHANGE);
        return TRUE;
    case WM_GETTEXT: {
        if (wParam == 0)
            return 0;
        const size_t n = std::min(w->text.size(), static_cast<size_t>(wParam - 1));
        char* out = reinterpret_cast<char*>(lParam);
        std::memcpy(out, w->text.data(), n);
        out[n] = '\0';
        return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH:
        return static_cast<LRESULT>(w->text.size());
    case WM_SETFONT:
        w->font = reinterpret_cast<HFONT>(wParam);
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(w->font);
    default:
        break;
    }
    bool known = false;
    const LRESULT result = ClassMessage(handle, w, message, wParam, lParam, &known);
    const bool classRange = message >= WM_USER || (message >= 0x00B0 && message <= 0x00F7);
    if (!known && classRange) {
        char text[64];
        std::snprintf(text, sizeof text, " does not understand message 0x%X", message);
        Fault(Describe(handle) + text);
    }
    return result;
}

WORD DefaultButton(const Window& dialog) {
    for (HWND child : dialog.children) {
        const Window* c = Find(child);
        if (IsClass(c, "Button") && (c->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            return c->id;
    }
    return 0;
}

// The dialog manager's window procedure: the dialog procedure first, then
// what the manager does by default.
LRESULT CALLBACK DialogWindowProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = Find(handle);
    if (!w)
        return 0;
    const INT_PTR handled = w->dialogProc ? w->dialogProc(handle, message, wParam, lParam) : FALSE;
    if (handled)
        return message == WM_CTLCOLORSTATIC || message == WM_INITDIALOG
                   ? handled
                   : (Find(handle) ? Find(handle)->messageResult : 0);
    w = Find(handle);
    if (!w)
        return 0;
    switch (message) {
    case DM_GETDEFID: {
        const WORD id = DefaultButton(*w);
        return id ? MAKELONG(id, DC_HASDEFID) : 0;
    }
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(kDialogBrush);
    default:
        return 0;
    }
}

HWND FindChild(HWND dialog, int id) {
    Window* w = Find(dialog);
    if (!w)
        return nullptr;
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (c && c->id == static_cast<WORD>(id))
            return child;
    }
    return nullptr;
}

HWND Control(HWND dialog, int id, const char* what) {
    HWND control = FindChild(dialog, id);
    if (!control) {
        Window* w = Find(dialog);
        char text[160];
        std::snprintf(text, sizeof text, "%s: dialog %d has no control %d", what,
                      w ? w->templateId : 0, id);
        Fault(text);
    }
    return control;
}

const DialogResource* FindTemplate(HINSTANCE instance, LPCSTR name) {
    if (instance != LibraryModule() || reinterpret_cast<uintptr_t>(name) > 0xFFFF)
        return nullptr;
    const WORD id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    for (size_t i = 0; i < kLibraryDialogCount; ++i)
        if (kLibraryDialogs[i].id == id)
            return &kLibraryDialogs[i];
    return nullptr;
}

// As the real manager places a template's control: its position and its
// size are each mapped, so that its far edge may lie a pixel beyond the
// mapped far edge of the same rectangle.
RECT DialogUnits(short x, short y, short cx, short cy) {
    const int left = MulDivRound(x, kBaseX, 4), top = MulDivRound(y, kBaseY, 8);
    return RECT{left, top, left + MulDivRound(cx, kBaseX, 4), top + MulDivRound(cy, kBaseY, 8)};
}

HWND BuildDialog(const DialogResource& t, HWND owner, DLGPROC dialogProc) {
    WindowState& s = State();
    Window d;
    d.className = "#32770";
    d.proc = DialogWindowProc;
    d.dialogProc = dialogProc;
    d.parent = owner;
    d.style = t.style & ~WS_VISIBLE;
    d.text = t.caption;
    d.templateId = t.id;
    const RECT client = DialogUnits(t.x, t.y, t.cx, t.cy);
    d.rect = RECT{client.left, client.top, client.right + 2 * kFrame,
                  client.bottom + 2 * kFrame + kCaption};
    LOGFONTA font{};
    font.lfHeight = -MulDivRound(t.pointSize, 96, 72);
    font.lfWeight = 400;
    std::snprintf(font.lfFaceName, sizeof font.lfFaceName, "%s", t.font);
    d.dialogFont = CreateFontIndirectA(&font);
    HWND dialog = NewWindow(std::move(d));
    HWND previous = nullptr;
    for (size_t i = 0; i < t.controlCount; ++i) {
        const DialogControlResource& c = t.controls[i];
        Window w;
        w.className = c.className;
        w.proc = ControlProc;
        w.parent = dialog;
        w.id = c.id;
        w.style = c.style;
        w.text = c.text;
        w.rect = DialogUnits(c.x, c.y, c.cx, c.cy);
        if (IsClass(&w, UPDOWN_CLASSA)) {
            w.low = 100; // the class's own range until one is set
            w.high = 0;
            if (c.style & UDS_AUTOBUDDY)
                w.buddy = previous;
        }
        HWND child = NewWindow(std::move(w));
        Find(dialog)->children.push_back(child);
        Deliver(child, WM_SETFONT, reinterpret_cast<WPARAM>(Find(dialog)->dialogFont), FALSE);
        previous = child;
    }
    (void)s;
    return dialog;
}

HWND FirstTabStop(HWND dialog) {
    Window* w = Find(dialog);
    if (!w)
        return nullptr;
    for (HWND child : w->children) {
        Window* c = Find(child);
        if (c && (c->style & WS_TABSTOP) && (c->style & WS_VISIBLE) && !(c->style & WS_DISABLED))
            return child;
    }
    return nullptr;
}

void RecordManifestCall(const char* call) {
    State().manifestCalls.push_back(std::string(call) +
                                    (State().activeContexts > 0 ? " (active)" : " (none)"));
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

} // namespace

HWND CreateTestWindow(WNDPROC proc, HWND parent) {
    Window w;
    w.proc = proc;
    w.parent = parent;
    w.rect = RECT{100, 100, 700, 500};
    return NewWindow(std::move(w));
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

// ---- The scripted user ----------------------------------------------------------------------

const std::vector<std::string>& DialogFaults() {
    return State().faults;
}

HWND ActiveDialog() {
    auto& modal = State().modal;
    for (auto it = modal.rbegin(); it != modal.rend(); ++it)
        if (Find(*it) && !Find(*it)->dialogEnded)
            return *it;
    return nullptr;
}

void SetScreenSize(int width, int height, int desktopWidth, int desktopHeight) {
    State().screenWidth = width;
    State().screenHeight = height;
    State().desktopWidth = desktopWidth ? desktopWidth : width;
    State().desktopHeight = desktopHeight ? desktopHeight : height;
}

namespace {
HWND Clickable(HWND dialog, int id) {
    HWND control = Control(dialog, id, "the user clicked");
    Window* c = Find(control);
    if (!c || !(c->style & WS_VISIBLE) || (c->style & WS_DISABLED))
        return nullptr;
    return control;
}
} // namespace

bool Click(HWND dialog, int id) {
    HWND control = Clickable(dialog, id);
    Window* c = Find(control);
    if (!c)
        return false;
    if (IsClass(c, "Button")) {
        const DWORD type = c->style & BS_TYPEMASK;
        if (type == BS_GROUPBOX)
            return false;
        State().focus = control;
        if (type == BS_AUTOCHECKBOX)
            c->checked = c->checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        Notify(control, BN_CLICKED);
        return true;
    }
    if (IsClass(c, "Static")) {
        if (!(c->style & SS_NOTIFY))
            return false;
        Notify(control, STN_CLICKED);
        return true;
    }
    State().focus = control;
    return true;
}

bool DoubleClick(HWND dialog, int id) {
    if (!Click(dialog, id))
        return false;
    Window* c = Find(FindChild(dialog, id));
    if (c && IsClass(c, "Static"))
        Notify(FindChild(dialog, id), STN_DBLCLK);
    return true;
}

bool Type(HWND dialog, int id, const std::string& text) {
    HWND control = Clickable(dialog, id);
    Window* c = Find(control);
    if (!c || !IsClass(c, "Edit"))
        return false;
    State().focus = control;
    if (!c->text.empty()) {
        c->text.clear();
        Notify(control, EN_CHANGE);
    }
    for (char ch : text) {
        c = Find(control);
        if (!c)
            return false;
        if ((c->style & ES_NUMBER) && (ch < '0' || ch > '9'))
            continue;
        if (static_cast<int>(c->text.size()) >= c->textLimit)
            break;
        c->text += ch;
        Notify(control, EN_CHANGE);
    }
    return true;
}

void PressKey(int virtualKey) {
    HWND target = State().focus && Find(State().focus) ? State().focus : ActiveDialog();
    if (target)
        PostMessageA(target, WM_KEYDOWN, static_cast<WPARAM>(virtualKey), 0);
}

void CloseBox(HWND dialog) {
    Deliver(dialog, WM_CLOSE, 0, 0);
}

void MoveMouse(HWND control, int x, int y) {
    WindowState& s = State();
    HWND target = control;
    POINT at{x, y};
    if (s.capture && Find(s.capture) && s.capture != control) {
        const POINT from = ClientOrigin(control), to = ClientOrigin(s.capture);
        at.x += from.x - to.x;
        at.y += from.y - to.y;
        target = s.capture;
    } else if (!s.capture) {
        Deliver(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                MAKELPARAM(1, WM_MOUSEMOVE));
    }
    Deliver(target, WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
}

HCURSOR CurrentCursor() {
    return State().cursor;
}

void SetHandCursorAvailable(bool available) {
    State().handCursor = available;
}

COLORREF PaintControl(HWND control) {
    Window* c = Find(control);
    if (!c)
        return 0;
    HDC dc = GetDC(control);
    State().textColors[dc] = 0;
    Deliver(c->parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
            reinterpret_cast<LPARAM>(control));
    const COLORREF color = State().textColors[dc];
    ReleaseDC(control, dc);
    return color;
}

size_t LiveFonts() {
    return State().fonts.size();
}

std::vector<ToolTip> ToolTips() {
    std::vector<ToolTip> all;
    for (auto& entry : State().windows)
        for (const Tool& t : entry.second.tools)
            all.push_back(ToolTip{entry.first, t.cbSize, t.flags, t.window, t.id, t.text});
    return all;
}

void FailNextWindowCreation() {
    State().failNextCreation = true;
}

const std::vector<INITCOMMONCONTROLSEX>& CommonControlsCalls() {
    return State().commonControls;
}

const std::vector<std::string>& ManifestCalls() {
    return State().manifestCalls;
}

unsigned ActivationContextsCreated() {
    return State().contextsCreated;
}

void FailActivation(DWORD error) {
    State().activationError = error;
}

void SetOpenFileResponder(std::function<std::string(const OpenFileCall&)> responder) {
    State().openFileResponder = std::move(responder);
}

const std::vector<OpenFileCall>& OpenFileCalls() {
    return State().openFileCalls;
}

void SetShellResponder(std::function<INT_PTR(const ShellCall&)> responder) {
    State().shellResponder = std::move(responder);
}

const std::vector<ShellCall>& ShellCalls() {
    return State().shellCalls;
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

// ---- Dialog boxes ---------------------------------------------------------------

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND owner,
                               DLGPROC dialogProc, LPARAM initParam) {
    RecordManifestCall("DialogBoxParamA");
    const DialogResource* t = FindTemplate(instance, templateName);
    if (!t) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (!dialogProc)
        return -1;
    HWND dialog = BuildDialog(*t, owner, dialogProc);
    // The owner takes no input while its modal dialog is open.
    Window* o = Find(owner);
    const bool disableOwner = o && !(o->style & WS_DISABLED);
    if (disableOwner)
        o->style |= WS_DISABLED;
    State().modal.push_back(dialog);
    HWND first = FirstTabStop(dialog);
    if (Deliver(dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(first), initParam) &&
        Find(dialog)) {
        first = FirstTabStop(dialog);
        if (first)
            State().focus = first;
    }
    if (Window* d = Find(dialog))
        d->style |= WS_VISIBLE;
    MSG msg;
    INT_PTR result = -1;
    for (;;) {
        Window* w = Find(dialog);
        if (!w)
            break;
        if (w->dialogEnded) {
            result = w->dialogResult;
            break;
        }
        if (!GetMessageA(&msg, nullptr, 0, 0)) {
            // As the real manager does: the quit request is left for the loop
            // that owns the thread, and the dialog ends with what it had.
            PostQuitMessage(static_cast<int>(msg.wParam));
            if (Window* d = Find(dialog))
                result = d->dialogResult;
            break;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    auto& modal = State().modal;
    modal.erase(std::remove(modal.begin(), modal.end(), dialog), modal.end());
    if (disableOwner && Find(owner))
        Find(owner)->style &= ~WS_DISABLED;
    if (Find(dialog))
        Destroy(dialog);
    return result;
}

BOOL WINAPI IsDialogMessageA(HWND dialog, LPMSG msg) {
    Window* d = Find(dialog);
    if (!d || msg->message != WM_KEYDOWN)
        return FALSE;
    if (msg->hwnd != dialog && GetParent(msg->hwnd) != dialog)
        return FALSE;
    if (msg->wParam == VK_ESCAPE) {
        Deliver(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                reinterpret_cast<LPARAM>(FindChild(dialog, IDCANCEL)));
        return TRUE;
    }
    if (msg->wParam == VK_RETURN) {
        // The focused push button, else the default button, else IDOK.
        WORD id = 0;
        Window* f = Find(State().focus);
        if (f && f->parent == dialog && IsClass(f, "Button") &&
            (f->style & BS_TYPEMASK) <= BS_DEFPUSHBUTTON)
            id = f->id;
        if (!id) {
            const LRESULT defId = Deliver(dialog, DM_GETDEFID, 0, 0);
            id = HIWORD(defId) == DC_HASDEFID ? LOWORD(defId) : static_cast<WORD>(IDOK);
        }
        HWND button = FindChild(dialog, id);
        Window* b = Find(button);
        if (b && (b->style & WS_DISABLED))
            return TRUE;
        Deliver(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
        return TRUE;
    }
    return FALSE;
}

BOOL WINAPI EndDialog(HWND dialog, INT_PTR result) {
    Window* w = Find(dialog);
    if (!w || !w->templateId)
        return FALSE;
    w->dialogEnded = true;
    w->dialogResult = result;
    w->style &= ~WS_VISIBLE;
    // Wakes the modal loop when the end came from outside a message (a
    // scripted user's action runs while the thread looks at its queue).
    PostMessageA(dialog, WM_NULL, 0, 0);
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    HWND control = Control(dialog, id, "GetDlgItem");
    if (!control)
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return control;
}

int WINAPI GetDlgCtrlID(HWND window) {
    Window* w = Find(window);
    return w ? w->id : 0;
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

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND control = Control(dialog, id, "SetDlgItemTextA");
    return control ? SetWindowTextA(control, text) : FALSE;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
    HWND control = Control(dialog, id, "GetDlgItemTextA");
    if (!control) {
        if (text && maxCount > 0)
            text[0] = '\0';
        return 0;
    }
    return static_cast<UINT>(GetWindowTextA(control, text, maxCount));
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    HWND control = Control(dialog, id, "SendDlgItemMessageA");
    return control ? SendMessageA(control, message, wParam, lParam) : 0;
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

HWND WINAPI CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    RecordManifestCall("CreateWindowExA");
    if (State().failNextCreation) {
        State().failNextCreation = false;
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (!className || std::strcmp(className, TOOLTIPS_CLASSA) != 0) {
        Fault(std::string("CreateWindowExA of an unknown class ") + (className ? className : ""));
        return nullptr;
    }
    Window w;
    w.className = className;
    w.proc = ControlProc;
    w.parent = parent;
    w.style = style;
    w.exStyle = exStyle;
    w.text = windowName ? windowName : "";
    if (x != CW_USEDEFAULT)
        w.rect = RECT{x, y, x + width, y + height};
    return NewWindow(std::move(w));
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

BOOL WINAPI MapDialogRect(HWND dialog, LPRECT rect) {
    if (!Find(dialog) || !Find(dialog)->templateId)
        return FALSE;
    rect->left = MulDivRound(rect->left, kBaseX, 4);
    rect->right = MulDivRound(rect->right, kBaseX, 4);
    rect->top = MulDivRound(rect->top, kBaseY, 8);
    rect->bottom = MulDivRound(rect->bottom, kBaseY, 8);
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

HCURSOR WINAPI LoadCursorA(HINSTANCE, LPCSTR name) {
    if (name == IDC_HAND)
        return State().handCursor ? kHandCursor : nullptr;
    if (name == IDC_ARROW)
        return kArrowCursor;
    return nullptr;
}

HCURSOR WINAPI SetCursor(HCURSOR cursor) {
    HCURSOR previous = State().cursor;
    State().cursor = cursor;
    return previous;
}

HWND WINAPI SetCapture(HWND window) {
    HWND previous = State().capture;
    State().capture = window;
    return previous;
}

HWND WINAPI GetCapture() {
    return State().capture;
}

BOOL WINAPI ReleaseCapture() {
    State().capture = nullptr;
    return TRUE;
}

HDC WINAPI GetDC(HWND window) {
    return reinterpret_cast<HDC>(kDcBase + reinterpret_cast<uintptr_t>(window));
}

int WINAPI ReleaseDC(HWND, HDC) {
    return 1;
}

int WINAPI GetDeviceCaps(HDC, int index) {
    if (index == HORZRES)
        return State().screenWidth;
    if (index == VERTRES)
        return State().screenHeight;
    return 0;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    COLORREF& current = State().textColors[dc];
    const COLORREF previous = current;
    current = color;
    return previous;
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* font) {
    if (!font)
        return nullptr;
    HFONT handle = reinterpret_cast<HFONT>(State().nextFont);
    State().nextFont += 4;
    State().fonts[handle] = *font;
    return handle;
}

int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer) {
    auto it = State().fonts.find(static_cast<HFONT>(object));
    if (it == State().fonts.end())
        return 0;
    if (!buffer)
        return sizeof(LOGFONTA);
    const int n = std::min(size, static_cast<int>(sizeof(LOGFONTA)));
    std::memcpy(buffer, &it->second, static_cast<size_t>(n));
    return n;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    return State().fonts.erase(static_cast<HFONT>(object)) ? TRUE : FALSE;
}

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    RecordManifestCall("InitCommonControlsEx");
    if (!controls)
        return FALSE;
    State().commonControls.push_back(*controls);
    return TRUE;
}

BOOL WINAPI GetOpenFileNameA(LPOPENFILENAMEA openFile) {
    RecordManifestCall("GetOpenFileNameA");
    OpenFileCall call{};
    call.owner = openFile->hwndOwner;
    call.structSize = openFile->lStructSize;
    for (const char* p = openFile->lpstrFilter; p && *p; p += std::strlen(p) + 1)
        call.filter.push_back(p);
    call.filterIndex = openFile->nFilterIndex;
    call.fileSize = openFile->nMaxFile;
    call.initialFile = openFile->lpstrFile ? openFile->lpstrFile : "";
    call.initialDir = openFile->lpstrInitialDir ? openFile->lpstrInitialDir : "";
    call.title = openFile->lpstrTitle ? openFile->lpstrTitle : "";
    call.flags = openFile->Flags;
    call.customFilter = openFile->lpstrCustomFilter != nullptr;
    call.fileTitle = openFile->lpstrFileTitle != nullptr;
    call.defaultExtension = openFile->lpstrDefExt != nullptr;
    call.hook = openFile->lpfnHook != nullptr;
    if (openFile->lStructSize != OPENFILENAME_SIZE_VERSION_400A &&
        openFile->lStructSize != sizeof(OPENFILENAMEA))
        Fault("GetOpenFileNameA with a structure of a wrong size");
    State().openFileCalls.push_back(call);
    const std::string chosen = State().openFileResponder ? State().openFileResponder(call) : "";
    if (chosen.empty() || !openFile->lpstrFile || openFile->nMaxFile <= chosen.size())
        return FALSE;
    std::memcpy(openFile->lpstrFile, chosen.c_str(), chosen.size() + 1);
    const size_t slash = chosen.rfind('\\');
    openFile->nFileOffset = static_cast<WORD>(slash == std::string::npos ? 0 : slash + 1);
    return TRUE;
}

HINSTANCE WINAPI ShellExecuteA(HWND owner, LPCSTR verb, LPCSTR file, LPCSTR parameters,
                               LPCSTR directory, INT showCommand) {
    ShellCall call{owner,
                   verb ? verb : "",
                   file ? file : "",
                   parameters ? parameters : "",
                   directory ? directory : "",
                   showCommand,
                   parameters == nullptr,
                   directory == nullptr};
    State().shellCalls.push_back(call);
    const INT_PTR result = State().shellResponder ? State().shellResponder(call) : 42;
    return reinterpret_cast<HINSTANCE>(result);
}

HANDLE WINAPI CreateActCtxA(const ACTCTXA* context) {
    const DWORD wanted = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
    if (!context || context->cbSize != sizeof(ACTCTXA) || (context->dwFlags & wanted) != wanted ||
        context->lpResourceName != MAKEINTRESOURCEA(2) || context->hModule != LibraryModule()) {
        Fault("CreateActCtxA not from the library's manifest resource 2");
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    ++State().contextsCreated;
    return kActivationContext;
}

BOOL WINAPI ActivateActCtx(HANDLE context, ULONG_PTR* cookie) {
    if (State().activationError) {
        SetLastError(State().activationError);
        return FALSE;
    }
    if (context != kActivationContext) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *cookie = static_cast<ULONG_PTR>(++State().activeContexts);
    return TRUE;
}

BOOL WINAPI DeactivateActCtx(DWORD, ULONG_PTR cookie) {
    if (cookie != static_cast<ULONG_PTR>(State().activeContexts)) {
        Fault("DeactivateActCtx out of order");
        return FALSE;
    }
    --State().activeContexts;
    return TRUE;
}
