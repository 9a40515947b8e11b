// The controls' classes: buttons, edits, statics, progress bars, up-down
// controls and tooltips, and the common controls' initialisation.
#include "windows_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace substitute::detail {
namespace {

const Tool* FindTool(const Window& tooltip, HWND window, UINT_PTR id) {
    for (const Tool& t : tooltip.tools)
        if (t.window == window && t.id == id)
            return &t;
    return nullptr;
}

// A drop-down list (CBS_DROPDOWNLIST) as the ComboBox documentation tells
// its messages: items appended in order (no CBS_SORT here), CB_SETCURSEL
// past the end or -1 clears the selection and answers CB_ERR, and the
// control's text is the selected item's. CBN_SELCHANGE comes only from the
// user ("not sent when the current selection is set using CB_SETCURSEL").
LRESULT ComboMessage(Window* w, UINT message, WPARAM wParam, LPARAM lParam, bool* known) {
    const int count = static_cast<int>(w->items.size());
    const int index = static_cast<int>(wParam);
    switch (message) {
    case CB_ADDSTRING:
        if (!lParam)
            return CB_ERR;
        w->items.emplace_back(reinterpret_cast<const char*>(lParam));
        return count;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return w->selected;
    case CB_SETCURSEL:
        w->selected = index >= 0 && index < count ? index : -1;
        w->text = w->selected >= 0 ? w->items[static_cast<size_t>(w->selected)] : "";
        return w->selected >= 0 ? w->selected : CB_ERR;
    case CB_GETLBTEXTLEN:
        return index >= 0 && index < count ? static_cast<LRESULT>(w->items[wParam].size()) : CB_ERR;
    case CB_GETLBTEXT:
        if (index < 0 || index >= count || !lParam)
            return CB_ERR;
        std::memcpy(reinterpret_cast<char*>(lParam), w->items[wParam].c_str(),
                    w->items[wParam].size() + 1);
        return static_cast<LRESULT>(w->items[wParam].size());
    case CB_RESETCONTENT:
        w->items.clear();
        w->selected = -1;
        w->text.clear();
        return 0;
    default:
        *known = false;
        return 0;
    }
}

LRESULT ClassMessage(HWND handle, Window* w, UINT message, WPARAM wParam, LPARAM lParam,
                     bool* known) {
    *known = true;
    if (IsClass(w, "ComboBox"))
        return ComboMessage(w, message, wParam, lParam, known);
    const DWORD type = w->style & BS_TYPEMASK;
    if (IsClass(w, "Button") && (message == BM_GETCHECK || message == BM_SETCHECK)) {
        // A plain radio button keeps the check its program sets, as an
        // automatic check box does; a click only tells the program.
        if (type != BS_AUTOCHECKBOX && type != BS_RADIOBUTTON) {
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

} // namespace

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
    const bool classRange = message >= WM_USER || (message >= 0x00B0 && message <= 0x00F7) ||
                            (message >= 0x0140 && message <= 0x0165); // the CB_ range
    if (!known && classRange) {
        char text[64];
        std::snprintf(text, sizeof text, " does not understand message 0x%X", message);
        Fault(Describe(handle) + text);
    }
    return result;
}

} // namespace substitute::detail

namespace substitute {

using namespace detail;

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

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

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

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) {
    RecordManifestCall("InitCommonControlsEx");
    if (!controls)
        return FALSE;
    State().commonControls.push_back(*controls);
    return TRUE;
}
