#include "dialogs/dialog_support.h"

#include "base/dialog_ids.h"
#include "base/messages.h"
#include "base/string_ids.h"
#include "data/settings.h"

#include <cstddef>
#include <cstdio>
#include <string>

HWND MainDialogTooltip = nullptr;

namespace {

// ---- The library's manifest ----------------------------------------------------------------

// Made on first use from the manifest resource; kept for the process.
HANDLE ActivationContext = INVALID_HANDLE_VALUE;
bool ActivationContextTried = false;
// The system has no activation contexts: calls are made without one.
bool NoActivationContexts = false;

// Activates the library's manifest for the calls made while it lives. A
// scope that failed to activate tells its caller to skip the call.
class ManifestScope {
public:
    ManifestScope() {
        if (NoActivationContexts)
            return;
        if (!ActivationContextTried) {
            ActivationContextTried = true;
            char path[MAX_PATH] = "";
            GetModuleFileNameA(DataPaths.module, path, sizeof path);
            ACTCTXA context = {};
            context.cbSize = sizeof context;
            context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
            context.lpSource = path;
            context.lpResourceName = MAKEINTRESOURCEA(2);
            context.hModule = DataPaths.module;
            ActivationContext = CreateActCtxA(&context);
        }
        // Without a context of our own the calls are made in the host's
        // context rather than never: the dialogs still work, only with the
        // host's common controls.
        if (ActivationContext == INVALID_HANDLE_VALUE)
            return;
        if (ActivateActCtx(ActivationContext, &cookie_)) {
            active_ = true;
            return;
        }
        const DWORD error = GetLastError();
        if (error == ERROR_PROC_NOT_FOUND || error == ERROR_CALL_NOT_IMPLEMENTED)
            NoActivationContexts = true;
        else
            failed_ = true;
    }
    ManifestScope(const ManifestScope&) = delete;
    ManifestScope& operator=(const ManifestScope&) = delete;
    ~ManifestScope() {
        if (active_)
            DeactivateActCtx(0, cookie_);
    }
    bool Failed() const { return failed_; }

private:
    ULONG_PTR cookie_ = 0;
    bool active_ = false;
    bool failed_ = false;
};

// ---- Hyperlinks ----------------------------------------------------------------------------

constexpr char kOriginalProc[] = "_Hyperlink_Original_Proc_";
constexpr char kOriginalFont[] = "_Hyperlink_Original_Font_";
constexpr char kUnderlineFont[] = "_Hyperlink_Underline_Font_";
constexpr char kFromStatic[] = "_Hyperlink_From_Static_";
constexpr COLORREF kLinkColor = RGB(0, 0, 192);

WNDPROC StoredProc(HWND window) {
    return reinterpret_cast<WNDPROC>(GetPropA(window, kOriginalProc));
}

void PutBackProc(HWND window, WNDPROC original) {
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropA(window, kOriginalProc);
}

LRESULT CALLBACK HyperlinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = StoredProc(window);
    if (message == WM_CTLCOLORSTATIC && GetPropA(reinterpret_cast<HWND>(lParam), kFromStatic)) {
        const LRESULT brush = CallWindowProcA(original, window, message, wParam, lParam);
        SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColor);
        return brush;
    }
    if (message == WM_DESTROY)
        PutBackProc(window, original);
    return CallWindowProcA(original, window, message, wParam, lParam);
}

void SetLinkFont(HWND control, const char* property) {
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetPropA(control, property)), FALSE);
}

LRESULT CALLBACK HyperlinkControlProc(HWND control, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC original = StoredProc(control);
    switch (message) {
    case WM_SETCURSOR: {
        HCURSOR cursor = LoadCursorA(nullptr, IDC_HAND);
        SetCursor(cursor ? cursor : LoadCursorA(nullptr, IDC_ARROW));
        return TRUE;
    }
    case WM_MOUSEMOVE:
        if (GetCapture() == control) {
            POINT at = {static_cast<LONG>(LOWORD(lParam)), static_cast<LONG>(HIWORD(lParam))};
            ClientToScreen(control, &at);
            RECT bounds;
            GetWindowRect(control, &bounds);
            if (!PtInRect(&bounds, at)) {
                SetLinkFont(control, kOriginalFont);
                InvalidateRect(control, nullptr, FALSE);
                ReleaseCapture();
            }
        } else {
            SetLinkFont(control, kUnderlineFont);
            InvalidateRect(control, nullptr, FALSE);
            SetCapture(control);
        }
        break;
    case WM_DESTROY: {
        PutBackProc(control, original);
        SetLinkFont(control, kOriginalFont);
        RemovePropA(control, kOriginalFont);
        DeleteObject(static_cast<HGDIOBJ>(GetPropA(control, kUnderlineFont)));
        RemovePropA(control, kUnderlineFont);
        RemovePropA(control, kFromStatic);
        break;
    }
    default:
        break;
    }
    return CallWindowProcA(original, control, message, wParam, lParam);
}

// ---- Tooltips ----------------------------------------------------------------------------------

// The tool structure without its last field, as the common controls of every
// version take it: 44 bytes on x86.
constexpr UINT kToolInfoSize = offsetof(TOOLINFOA, lParam) + sizeof(LPARAM);
static_assert(sizeof(void*) != 4 || kToolInfoSize == 44, "the 32-bit tool structure is 44 bytes");

void SendTool(HWND dialog, int id, const char* text, UINT message) {
    char buffer[80];
    std::snprintf(buffer, sizeof buffer, "%s", text);
    TOOLINFOA tool = {};
    tool.cbSize = kToolInfoSize;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = dialog;
    tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
    tool.hinst = DataPaths.module;
    tool.lpszText = buffer;
    SendMessageA(MainDialogTooltip, message, 0, reinterpret_cast<LPARAM>(&tool));
}

constexpr char kStartTip[] = "Start Sending Emails";
constexpr char kPauseTip[] = "Pause Sending";

} // namespace

int ShellOpenFile(HWND owner, const char* path) {
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ShellExecuteA(owner, "open", path, nullptr, "c:\\", SW_SHOWMAXIMIZED));
    if (result > 32)
        return 1;
    char text[MAX_PATH + 64];
    char loaded[200] = "";
    UINT stringId = IDS_SHELL_OTHER_ERROR;
    switch (result) {
    case SE_ERR_FNF:
        std::snprintf(text, sizeof text, "The specified file was not found:\n%s", path);
        stringId = 0;
        break;
    case SE_ERR_OOM:
        stringId = IDS_SHELL_OUT_OF_MEMORY;
        break;
    case SE_ERR_ASSOCINCOMPLETE:
        stringId = IDS_ASSOCIATION_INCOMPLETE;
        break;
    case SE_ERR_NOASSOC:
        stringId = IDS_NO_ASSOCIATION;
        break;
    default:
        break;
    }
    if (stringId) {
        LoadStringA(DataPaths.module, stringId, loaded, sizeof loaded);
        std::snprintf(text, sizeof text, "%s", loaded);
    }
    MessageBoxA(owner, text, kProductName, MB_OK);
    return 0;
}

void OpenProductWebAddress(HWND owner) {
    ShellExecuteA(owner, "open", QV_WEB_ADDRESS, nullptr, nullptr, SW_SHOWNORMAL);
}

void CenterWindow(HWND window, int verticalOffset) {
    HWND desktop = GetDesktopWindow();
    RECT area;
    GetClientRect(desktop, &area);
    POINT centre = {(area.right - area.left) / 2, (area.bottom - area.top) / 2};
    ClientToScreen(desktop, &centre);
    RECT bounds;
    GetWindowRect(window, &bounds);
    const int width = bounds.right - bounds.left, height = bounds.bottom - bounds.top;
    int x = centre.x - width / 2;
    int y = centre.y - height / 2;
    if (verticalOffset != 0)
        y += verticalOffset;
    HDC dc = GetDC(window);
    const int screenWidth = GetDeviceCaps(dc, HORZRES);
    const int screenHeight = GetDeviceCaps(dc, VERTRES);
    if (x > screenWidth)
        x = screenWidth - width;
    if (x < -0.5 * width)
        x = 0;
    if (y > screenHeight)
        y = screenHeight - height;
    if (y < -0.5 * height)
        y = 0;
    ReleaseDC(window, dc);
    MoveWindow(window, x, y, width, height, FALSE);
}

int MakeHyperlink(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const WNDPROC dialogProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(dialog, GWLP_WNDPROC));
    if (dialogProc != HyperlinkParentProc) {
        SetPropA(dialog, kOriginalProc, reinterpret_cast<HANDLE>(dialogProc));
        SetWindowLongPtrA(dialog, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HyperlinkParentProc));
    }
    SetWindowLongPtrA(control, GWL_STYLE, GetWindowLongPtrA(control, GWL_STYLE) | SS_NOTIFY);
    const LONG_PTR controlProc =
        SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(HyperlinkControlProc));
    SetPropA(control, kOriginalProc, reinterpret_cast<HANDLE>(controlProc));

    HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
    SetPropA(control, kOriginalFont, font);
    LOGFONTA description = {};
    GetObjectA(font, sizeof description, &description);
    description.lfUnderline = 1;
    SetPropA(control, kUnderlineFont, CreateFontIndirectA(&description));
    SetPropA(control, kFromStatic, reinterpret_cast<HANDLE>(static_cast<INT_PTR>(1)));
    return 1;
}

void AddMainDialogTooltips(HWND dialog) {
    {
        ManifestScope manifest;
        if (!manifest.Failed()) {
            INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
            InitCommonControlsEx(&controls);
        }
    }
    MainDialogTooltip = nullptr;
    {
        ManifestScope manifest;
        if (!manifest.Failed())
            MainDialogTooltip = CreateWindowExA(
                WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                DataPaths.module, nullptr);
    }
    if (!MainDialogTooltip)
        return;
    SetWindowPos(MainDialogTooltip, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const struct {
        int id;
        const char* text;
    } tips[] = {{IDC_OPEN, "Open File For Viewing"},
                {IDC_BROWSE, "Browse For File"},
                {IDC_SEND_PAUSE, kStartTip},
                {IDCANCEL, "Cancel and Return to Message"},
                {IDC_HELP_BUTTON, "Display the Online Help"},
                {IDC_OPTIONS, "Adjust Quorvel Options"}};
    for (const auto& tip : tips)
        SendTool(dialog, tip.id, tip.text, TTM_ADDTOOLA);
}

void SetSendTooltip(HWND dialog, bool start) {
    if (MainDialogTooltip)
        SendTool(dialog, IDC_SEND_PAUSE, start ? kStartTip : kPauseTip, TTM_UPDATETIPTEXTA);
}

INT_PTR ShowLibraryDialog(int templateId, HWND owner, DLGPROC procedure, LPARAM initParam) {
    ManifestScope manifest;
    if (manifest.Failed())
        return -1;
    return DialogBoxParamA(DataPaths.module, MAKEINTRESOURCEA(templateId), owner, procedure,
                           initParam);
}

BOOL ShowOpenFileDialog(OPENFILENAMEA* openFile) {
    ManifestScope manifest;
    if (manifest.Failed())
        return FALSE;
    return GetOpenFileNameA(openFile);
}

void ForgetActivationContext() {
    ActivationContext = INVALID_HANDLE_VALUE;
    ActivationContextTried = false;
    NoActivationContexts = false;
    MainDialogTooltip = nullptr;
}

namespace {
// The wide form of a UTF-8 text; empty when it cannot be had.
using WideText = std::basic_string<WCHAR>;
WideText Wide(const char* text) {
    const int units = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    if (units <= 0)
        return WideText();
    WideText wide(static_cast<size_t>(units), WCHAR{0});
    MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], units);
    return wide;
}
} // namespace

void SetUtf8DialogText(HWND dialog, int id, const char* text) {
    const WideText wide = Wide(text);
    if (wide.empty() && text[0])
        SetDlgItemTextA(dialog, id, text);
    else
        SetDlgItemTextW(dialog, id, wide.c_str());
}

int AddUtf8ComboItem(HWND dialog, int id, const char* text) {
    const WideText wide = Wide(text);
    if (wide.empty() && text[0])
        return static_cast<int>(
            SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    return static_cast<int>(
        SendDlgItemMessageW(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str())));
}

int ShowUtf8Message(HWND owner, const char* text, UINT flags) {
    const WideText wide = Wide(text);
    const WideText caption = Wide(kProductName);
    if (wide.empty() || caption.empty())
        return MessageBoxA(owner, text, kProductName, flags);
    return MessageBoxW(owner, wide.c_str(), caption.c_str(), flags);
}
