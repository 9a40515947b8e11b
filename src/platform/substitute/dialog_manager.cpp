// The dialog manager of the substitute platform.
//
// Modal dialogs are built from the library's own templates (kLibraryDialogs,
// the same source as the resource script): each control is a child window of
// its template's class, at its template's rectangle, and answers only the
// messages of its class. A program that asks for a control the template
// lacks, or sends a control a message its class does not know, gets what the
// real dialog manager would give it (nothing) and a recorded fault.
#include "windows_internal.h"

#include <algorithm>
#include <cstdio>

namespace substitute::detail {
namespace {

const HBRUSH kDialogBrush = reinterpret_cast<HBRUSH>(static_cast<uintptr_t>(0x20030));

// Dialog base units of 8-point "MS Sans Serif" on a 96 dpi screen.
constexpr int kBaseX = 6;
constexpr int kBaseY = 13;

int MulDivRound(int value, int numerator, int denominator) {
    const long long product = static_cast<long long>(value) * numerator;
    return static_cast<int>(product >= 0 ? (product + denominator / 2) / denominator
                                         : (product - denominator / 2) / denominator);
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
        // A combo box gives its scroll bars to its list: its own window has
        // none (Windows' and Wine's ComboBox drop WS_VSCROLL and WS_HSCROLL).
        if (IsClass(&w, "ComboBox"))
            w.style &= ~static_cast<DWORD>(WS_VSCROLL | WS_HSCROLL);
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

} // namespace

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

} // namespace substitute::detail

namespace substitute {

using namespace detail;

const std::vector<std::string>& DialogFaults() {
    return State().faults;
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

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
    if (State().onDialogShown && Find(dialog))
        State().onDialogShown(dialog, static_cast<int>(reinterpret_cast<uintptr_t>(templateName)));
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
        // The user's actions run inside the wait; one may end or destroy the
        // dialog with no message left to wake the loop.
        if (!WaitForMessageWhile(&msg, [dialog] {
                Window* d = Find(dialog);
                return d && !d->dialogEnded;
            }))
            continue;
        if (msg.message == WM_QUIT) {
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

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    HWND control = Control(dialog, id, "SetDlgItemTextA");
    return control ? SetWindowTextA(control, text) : FALSE;
}

BOOL WINAPI SetDlgItemTextW(HWND dialog, int id, LPCWSTR text) {
    HWND control = Control(dialog, id, "SetDlgItemTextW");
    if (!control)
        return FALSE;
    if (!text)
        return SetWindowTextA(control, "");
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return FALSE;
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], bytes, nullptr, nullptr);
    return SetWindowTextA(control, ansi.c_str());
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

// Wide only where the library sends wide text: a combo box's new item,
// kept in the ANSI code page as every window text here is (items a code
// page cannot hold come out as "?", as on Windows).
LRESULT WINAPI SendDlgItemMessageW(HWND dialog, int id, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
    HWND control = Control(dialog, id, "SendDlgItemMessageW");
    if (!control)
        return 0;
    if (message != CB_ADDSTRING || !lParam)
        return SendMessageA(control, message, wParam, lParam);
    const auto* text = reinterpret_cast<LPCWSTR>(lParam);
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return CB_ERR;
    std::string ansi(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], bytes, nullptr, nullptr);
    return SendMessageA(control, message, wParam, reinterpret_cast<LPARAM>(ansi.c_str()));
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, check, 0);
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    return static_cast<UINT>(SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0));
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
