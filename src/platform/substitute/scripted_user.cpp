// The scripted user: what a test's user does to the dialogs (clicks, types,
// presses keys, moves the mouse, looks at a control's colour), and the
// cursor and mouse capture those actions meet.
#include "windows_internal.h"

namespace substitute {

using namespace detail;

namespace {

const HCURSOR kArrowCursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x20010));
const HCURSOR kHandCursor = reinterpret_cast<HCURSOR>(static_cast<uintptr_t>(0x20020));

// A disabled window takes no input from the user, nor do its children: the
// owner of an open modal dialog or message box cannot be worked (EnableWindow:
// "A disabled window ... cannot receive input from the user").
bool TakesInput(HWND dialog) {
    Window* d = Find(dialog);
    return d && !(d->style & WS_DISABLED);
}

HWND Clickable(HWND dialog, int id) {
    HWND control = Control(dialog, id, "the user clicked");
    Window* c = Find(control);
    if (!c || !(c->style & WS_VISIBLE) || (c->style & WS_DISABLED) || !TakesInput(dialog))
        return nullptr;
    return control;
}

} // namespace

void OnDialogShown(std::function<void(HWND dialog, int templateId)> action) {
    State().onDialogShown = std::move(action);
}

HWND ActiveDialog() {
    auto& modal = State().modal;
    for (auto it = modal.rbegin(); it != modal.rend(); ++it)
        if (Find(*it) && !Find(*it)->dialogEnded)
            return *it;
    return nullptr;
}

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

bool ChooseItem(HWND dialog, int id, int index) {
    HWND control = Clickable(dialog, id);
    Window* c = Find(control);
    if (!c || !IsClass(c, "ComboBox") || index < 0 || index >= static_cast<int>(c->items.size()))
        return false;
    State().focus = control;
    if (c->selected == index)
        return true;
    c->selected = index;
    c->text = c->items[static_cast<size_t>(index)];
    Notify(control, CBN_SELCHANGE);
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
    if (TakesInput(dialog))
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

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

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
