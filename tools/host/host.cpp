// quorvel-host: the simulated mail client with real windows, as the mail
// client runs the product. It makes a top-level window for the explorer and
// one for the compose window, reaches Quorvel.dll by either door, opens the
// compose window with the message and clicks "Quorsend". A scripted user then
// works the real dialogs through their windows: it types into the list field,
// clicks the dialog's buttons and answers the message boxes, all by messages
// to the real controls. When the dialog is gone the client shuts down and
// lets go of the product.
//
// The door follows the client's version, as the real clients choose it:
// before 14.0 the library is loaded from this program's folder with
// LoadLibrary and the extension installed through the entry point at ordinal
// 1, its button on the compose window's Standard bar; from 14.0 on the
// client loads the COM add-ins registered for the user (regsvr32 /n
// /i:user), COM finding the library where the registration says, and the
// button is on the compose window's ribbon.
#include "mail_client.h"
#include "mailing_options.h"
#include "real_user_win.h"
#include "screenshot_win.h"
#include "base/dialog_ids.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

[[noreturn]] void Fail(const std::string& message) {
    std::fprintf(stderr, "quorvel-host: %s\n", message.c_str());
    std::exit(2);
}

namespace {

const char kUsage[] =
    "usage: quorvel-host [options]\n"
    "The simulated mail client with real windows: loads Quorvel.dll (from this\n"
    "program's folder, or as the COM add-in registered for the user), opens a\n"
    "compose window with the message, clicks \"Quorsend\" and lets a scripted\n"
    "user work the mailing dialog.\n"
    "  --list FILE          the mailing list (default: examples\\recipients.csv)\n"
    "  --subject TEXT       the subject (default: the first line of examples\\subject.txt)\n"
    "  --body FILE          the plain-text body (default: examples\\body.txt)\n"
    "  --html FILE          the HTML body (default: examples\\body.html unless --body)\n"
    "  --host-version TEXT  the client's version (default 11.0.0.8312); from 14.0 on\n"
    "                       the client loads the COM add-in registered for the user\n"
    "                       and the button is on the ribbon\n"
    "  --pause SECONDS      the option: pause between messages\n"
    "  --send-receive N     the option: Send/Receive every N messages\n"
    "  --save-original 0|1  the option: keep the composed message after the job (default 1)\n"
    "  --user SCRIPT        what the user does, steps separated by ';' or ','\n"
    "                       (default \"send\"):\n"
    "                         send        type the list's path into the field, click Send\n"
    "                         send-empty  clear the field, click Send\n"
    "                         pause@N     click Pause once N messages are sent\n"
    "                         resume@N    click Send again N seconds into the pause\n"
    "                         cancel@N    click Cancel once N messages are sent\n"
    "                         options     open the options and the logs, close them\n"
    "                         close       click Cancel (closes the idle dialog)\n"
    "                       N ending in 's' counts seconds after the step before\n"
    "  --no-explorer        (add-in) the client starts without its explorer window, as\n"
    "                       when another program starts it; the user opens it after\n"
    "                       the add-in's start-up\n"
    "  --connect-later      (add-in) the user ticks the add-in in the COM Add-ins\n"
    "                       dialog once the client runs, instead of a start-up load\n"
    "  --screenshots DIR    a PNG of every window state passed through\n"
    "  --out DIR            messages go to DIR\\outbox\\*.eml (earlier ones there are\n"
    "                       removed), the job's logs are copied to DIR\\appdata\\Quorvel\\\n"
    "  --help               this text\n";

// ---- Options --------------------------------------------------------------------------------

struct UserStep {
    std::string action; // send, send-empty, pause, resume, cancel, options, close
    int at = 0;         // messages sent, or seconds when `seconds`
    bool seconds = false;
};

struct Options : MailingOptions {
    std::string screenshots;
    bool noExplorer = false;
    bool connectLater = false;
    int saveOriginal = 1;
    std::vector<UserStep> user;
};

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<UserStep> ParseScript(const std::string& script) {
    std::vector<UserStep> steps;
    // Steps are separated by ';' or, where a shell or a build script would
    // split on ';', by ','.
    std::string separated = script;
    for (char& c : separated)
        if (c == ',')
            c = ';';
    std::istringstream parts(separated);
    std::string part;
    while (std::getline(parts, part, ';')) {
        part = Trim(part);
        if (part.empty())
            continue;
        UserStep step;
        const size_t at = part.find('@');
        step.action = part.substr(0, at);
        const bool timed =
            step.action == "pause" || step.action == "resume" || step.action == "cancel";
        const bool untimed = step.action == "send" || step.action == "send-empty" ||
                             step.action == "options" || step.action == "close";
        if (!timed && !untimed)
            Fail("--user: unknown step \"" + part + "\"");
        if (at != std::string::npos) {
            std::string when = part.substr(at + 1);
            if (!when.empty() && when.back() == 's') {
                step.seconds = true;
                when.pop_back();
            }
            step.at = NumberOrFail("--user " + step.action + "@", when, 0, 9999);
        } else if (timed && step.action != "resume") {
            Fail("--user: \"" + part + "\" needs @N (messages sent) or @Ns (seconds)");
        }
        // The paused job sends nothing: a resume counts seconds of the pause.
        if (step.action == "resume")
            step.seconds = true;
        steps.push_back(step);
    }
    if (steps.empty())
        Fail("--user: the script has no steps");
    return steps;
}

std::string ProgramFolder() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.rfind('\\') + 1);
}

Options Parse(int argc, char** argv) {
    Options o;
    o.user = ParseScript("send");
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (TakeMailingOption(argc, argv, &i, &o))
            continue;
        if (arg == "--save-original")
            o.saveOriginal = NumberOrFail(arg, OptionValue(arg, argc, argv, &i), 0, 1);
        else if (arg == "--user")
            o.user = ParseScript(OptionValue(arg, argc, argv, &i));
        else if (arg == "--screenshots")
            o.screenshots = OptionValue(arg, argc, argv, &i);
        else if (arg == "--no-explorer")
            o.noExplorer = true;
        else if (arg == "--connect-later")
            o.connectLater = true;
        else
            Fail("unknown option \"" + arg + "\" (see --help)");
    }
    UseExamplesWhereNotGiven(QV_EXAMPLES_DIR "\\", &o);
    return o;
}

bool ReadWhole(const std::string& path, std::string* text) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

std::string ReadOrFail(const std::string& what, const std::string& path) {
    std::string text;
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !ReadWhole(path, &text))
        Fail("cannot read the " + what + " " + path);
    return text;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    return n && n < sizeof full ? std::string(full, n) : path;
}

// The client keeps message bodies with CR LF line ends.
std::string WithCrLf(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            out += '\r';
        out += text[i];
    }
    return out;
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

// The extension's options, where it reads them at load: the user's key.
void WriteOption(const char* name, int value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER,
                        "Software\\Tamsor Software\\Quorvel\\CurrentVersion\\options", 0, nullptr,
                        0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        Fail("cannot write the options to the registry");
    const std::string text = std::to_string(value);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

// ---- Windows --------------------------------------------------------------------------------

const char kFrameClass[] = "QuorvelHostFrame";
constexpr int kQuorsendId = 100;
// The Standard bar's height, or the ribbon's: its tabs, then the band of
// the selected tab with its groups and, under them, the groups' labels.
constexpr int kBarHeight = 30, kTabsHeight = 24, kBandHeight = 92, kGroupLabelHeight = 18;

sim::MailClient* g_client = nullptr;
sim::Ptr<IDispatch> g_button;
HWND g_compose = nullptr, g_quorsendButton = nullptr;
std::vector<std::string> g_problems;
// The ribbon's door: the window's inspector and the add-in's button.
bool g_ribbon = false;
sim::Ptr<IDispatch> g_inspector;
sim::RibbonButton g_ribbonButton;

// The class factory as a current client reaches it: the class's in-process
// server as the user's registration names it, loaded and asked for the
// factory, as COM's in-process activation does. (Wine's COM reads the
// machine's classes alone, not the user's, so this program does the lookup
// itself, the user's classes first.)
HMODULE g_addInLibrary = nullptr;
std::string g_addInLibraryPath;

std::string ClassKeyValue(const std::string& clsid, const char* subkey, const char* value) {
    for (const char* root : {"Software\\Classes\\CLSID\\", ""}) {
        const HKEY hive = *root ? HKEY_CURRENT_USER : HKEY_CLASSES_ROOT;
        const std::string path =
            std::string(*root ? root : "CLSID\\") + clsid + (*subkey ? "\\" : "") + subkey;
        char data[MAX_PATH] = "";
        DWORD size = sizeof data, type = 0;
        HKEY key = nullptr;
        if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
            continue;
        const LONG read =
            RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        if (read == ERROR_SUCCESS && (type == REG_SZ || type == REG_EXPAND_SZ) && size)
            return std::string(data, strnlen(data, sizeof data));
    }
    return "";
}

HRESULT STDAPICALLTYPE ClassObjectFromRegistration(REFCLSID clsid, REFIID iid, void** object) {
    *object = nullptr;
    wchar_t wide[64] = L"";
    if (!StringFromGUID2(clsid, wide, 64))
        return E_INVALIDARG;
    std::string name;
    for (const wchar_t* c = wide; *c; ++c)
        name += static_cast<char>(*c);
    const std::string server = ClassKeyValue(name, "InprocServer32", nullptr);
    if (server.empty())
        return REGDB_E_CLASSNOTREG;
    if (ClassKeyValue(name, "InprocServer32", "ThreadingModel") != "Apartment")
        g_problems.push_back("the class's ThreadingModel is not Apartment");
    HMODULE library = LoadLibraryA(server.c_str());
    if (!library)
        return CO_E_DLLNOTFOUND;
    const auto getClassObject =
        reinterpret_cast<HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**)>(
            reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
    if (!getClassObject) {
        FreeLibrary(library);
        return CO_E_ERRORINDLL;
    }
    if (g_addInLibrary)
        FreeLibrary(g_addInLibrary); // one load kept, as COM keeps one
    g_addInLibrary = library;
    g_addInLibraryPath = server;
    return getClassObject(clsid, iid, object);
}

bool g_clicked = false, g_dialogDone = false;
HFONT g_font = nullptr;
sim::MailClient::FaceState g_face;

// The extension's button as the bar shows it: its face, then its caption.
// The face is what the extension gave: two pictures (drawn where the mask is
// black) or a bitmap pasted from the clipboard.
void DrawBarButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    const int x = r.left + 6 + (pushed ? 1 : 0), y = (r.top + r.bottom - 16) / 2 + (pushed ? 1 : 0);
    const sim::MailClient::FaceState& f = g_face;
    if (!f.picturePixels.empty() && f.maskPixels.size() == f.picturePixels.size() &&
        f.pictureWidth == f.maskWidth) {
        for (LONG row = 0; row < f.pictureHeight; ++row)
            for (LONG column = 0; column < f.pictureWidth; ++column) {
                const size_t at = (static_cast<size_t>(row) * f.pictureWidth + column) * 4;
                if (f.maskPixels[at] || f.maskPixels[at + 1] || f.maskPixels[at + 2])
                    continue;
                SetPixel(
                    dc, x + column, y + row,
                    RGB(f.picturePixels[at + 2], f.picturePixels[at + 1], f.picturePixels[at]));
            }
    } else if (f.dib.size() >= sizeof(BITMAPINFOHEADER)) {
        const auto* info = reinterpret_cast<const BITMAPINFO*>(f.dib.data());
        const BITMAPINFOHEADER& header = info->bmiHeader;
        const size_t colours = header.biBitCount <= 8
                                   ? (header.biClrUsed ? header.biClrUsed : 1u << header.biBitCount)
                                   : 0;
        const BYTE* bits = f.dib.data() + header.biSize + colours * 4;
        StretchDIBits(dc, x, y, 16, 16, 0, 0, header.biWidth, header.biHeight, bits, info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
    char caption[64] = "";
    GetWindowTextA(item.hwndItem, caption, sizeof caption);
    RECT text = r;
    text.left = x + 20;
    SelectObject(dc, g_font);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, caption, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (item.itemState & ODS_FOCUS) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

// The add-in's large ribbon button: the picture its getImage gave, drawn
// with its alpha over the band, the label under it.
void DrawRibbonButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH band = CreateSolidBrush(pushed ? RGB(0xC5, 0xD8, 0xF0) : RGB(0xF5, 0xF6, 0xF7));
    FillRect(dc, &r, band);
    DeleteObject(band);
    if (pushed)
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    const sim::RibbonButton& b = g_ribbonButton;
    const LONG w = b.imageWidth, h = b.imageHeight;
    if (w > 0 && h > 0 && b.imagePixels.size() == static_cast<size_t>(w) * h * 4) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP image = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (image && bits) {
            std::memcpy(bits, b.imagePixels.data(), b.imagePixels.size());
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(source, image);
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            const int x = (r.left + r.right - 32) / 2, y = r.top + 4;
            AlphaBlend(dc, x, y, 32, 32, source, 0, 0, w, h, blend);
            SelectObject(source, old);
            DeleteDC(source);
        }
        if (image)
            DeleteObject(image);
    }
    RECT text = r;
    text.top += 40;
    SelectObject(dc, g_font);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, b.label.c_str(), -1, &text, DT_CENTER | DT_TOP | DT_SINGLELINE);
}

// The compose window's ribbon: the tabs with the new message's selected,
// then its band with the client's Send group and the add-in's group.
void PaintRibbon(HDC dc, const RECT& client) {
    RECT tabs = client;
    tabs.bottom = kTabsHeight;
    HBRUSH frame = CreateSolidBrush(RGB(0x2B, 0x57, 0x9A));
    FillRect(dc, &tabs, frame);
    RECT band = client;
    band.top = kTabsHeight;
    band.bottom = kTabsHeight + kBandHeight;
    HBRUSH light = CreateSolidBrush(RGB(0xF5, 0xF6, 0xF7));
    FillRect(dc, &band, light);
    SelectObject(dc, g_font);
    SetBkMode(dc, TRANSPARENT);
    int x = 8;
    for (const char* name : {"File", "Message", "Insert", "Options", "Format Text", "Review"}) {
        SIZE size;
        GetTextExtentPoint32A(dc, name, static_cast<int>(std::strlen(name)), &size);
        RECT tab = {x, 3, x + size.cx + 20, kTabsHeight};
        const bool selected = std::strcmp(name, "Message") == 0;
        if (selected)
            FillRect(dc, &tab, light);
        SetTextColor(dc, selected ? RGB(0x2B, 0x57, 0x9A) : RGB(0xFF, 0xFF, 0xFF));
        DrawTextA(dc, name, -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        x = tab.right + 2;
    }
    SetTextColor(dc, RGB(0x44, 0x44, 0x44));
    // Group labels and the separators after each group.
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xD0, 0xD0, 0xD0));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const struct {
        int left, right;
        const char* label;
    } groups[] = {{4, 78, "Send"}, {80, 160, g_ribbonButton.groupLabel.c_str()}};
    for (const auto& g : groups) {
        RECT label = {g.left, band.bottom - kGroupLabelHeight, g.right, band.bottom - 2};
        DrawTextA(dc, g.label, -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        MoveToEx(dc, g.right, band.top + 6, nullptr);
        LineTo(dc, g.right, band.bottom - 6);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    RECT edge = band;
    edge.top = band.bottom - 1;
    FillRect(dc, &edge, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DeleteObject(light);
    DeleteObject(frame);
}

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // "Quorsend": the client delivers the click to the extension's sinks,
        // or invokes the add-in's onAction with the window as its context;
        // the mailing dialog runs inside it.
        if (LOWORD(wParam) == kQuorsendId && HIWORD(wParam) == BN_CLICKED && !g_clicked) {
            if (g_ribbon && g_inspector) {
                g_clicked = true;
                const HRESULT hr =
                    g_client->ClickRibbonButton(g_inspector.Get(), g_ribbonButton.id);
                if (FAILED(hr))
                    g_problems.push_back("the ribbon button's onAction failed (" +
                                         std::to_string(static_cast<long>(hr)) + ")");
                g_dialogDone = true;
            } else if (g_button) {
                g_clicked = true;
                g_client->Click(g_button.Get());
                g_dialogDone = true;
            }
        }
        return 0;
    case WM_DRAWITEM:
        if (wParam == kQuorsendId) {
            const DRAWITEMSTRUCT& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (g_ribbon)
                DrawRibbonButton(item);
            else
                DrawBarButton(item);
            return TRUE;
        }
        break;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        RECT client;
        GetClientRect(window, &client);
        const bool ribbon = g_ribbon && window == g_compose;
        const int top = ribbon ? kTabsHeight + kBandHeight : kBarHeight;
        if (ribbon) {
            PaintRibbon(dc, client);
        } else {
            RECT bar = client;
            bar.bottom = kBarHeight;
            FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
        }
        RECT body = client;
        body.top = top;
        FillRect(dc, &body, GetSysColorBrush(COLOR_WINDOW));
        if (const char* text = static_cast<const char*>(GetPropA(window, "QvBody"))) {
            SelectObject(dc, g_font);
            SetBkMode(dc, TRANSPARENT);
            InflateRect(&body, -8, -8);
            DrawTextA(dc, text, -1, &body, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
        }
        EndPaint(window, &paint);
        return 0;
    }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeFrame(const std::string& caption, int x, int y, int width, int height) {
    HWND window =
        CreateWindowExA(0, kFrameClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x,
                        y, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        Fail("cannot create the window \"" + caption + "\"");
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

HWND BarButton(HWND frame, const std::string& caption, int id, int x, int width,
               DWORD style = BS_PUSHBUTTON) {
    HWND button = CreateWindowExA(
        0, "BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | style, x, 3, width, 24, frame,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), TRUE);
    return button;
}

// ---- The scripted user ----------------------------------------------------------------------

const char kMainCaption[] = "Quorvel 2.1";

Options g_options;
std::string g_listPath;
size_t g_nextStep = 0;
DWORD g_stepSince = 0;
std::string g_lastLine;
std::set<HWND> g_answered;
int g_result = -1; // 1 completed, 0 not complete, -1 no summary
std::string g_summary;
int g_shots = 0;
int g_optionsStage = 0;
constexpr DWORD kPatience = 30000;

// A message box: a system dialog with a text and none of the extension's
// controls (the extension's dialogs have captionless labels too).
bool IsMessageBox(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return std::strcmp(className, "#32770") == 0 && GetDlgItem(window, 0xFFFF) &&
           !GetDlgItem(window, IDC_STATUS) && !GetDlgItem(window, IDC_PAUSE) &&
           !GetDlgItem(window, IDC_JOB_HISTORY);
}

struct Found {
    std::string caption;
    HWND window;
};
BOOL CALLBACK MatchDialog(HWND window, LPARAM lParam) {
    auto* request = reinterpret_cast<Found*>(lParam);
    char className[16] = "", caption[128] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window) && !IsMessageBox(window) &&
        request->caption == caption) {
        request->window = window;
        return FALSE;
    }
    return TRUE;
}
HWND FindDialog(const std::string& caption) {
    Found request{caption, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchDialog, reinterpret_cast<LPARAM>(&request));
    return request.window;
}

BOOL CALLBACK CollectBoxes(HWND window, LPARAM lParam) {
    if (IsWindowVisible(window) && IsMessageBox(window))
        reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
    return TRUE;
}

void Shoot(HWND window, const std::string& name) {
    if (g_options.screenshots.empty() || !window)
        return;
    const std::string path = g_options.screenshots + "\\" + name + ".png";
    if (SaveWindowPng(window, path))
        ++g_shots;
    else
        g_problems.push_back("could not save the screenshot " + path);
}

void PrintLine(const std::string& line, int progress) {
    std::string bar(static_cast<size_t>(progress / 5), '#');
    bar.resize(20, '.');
    std::printf("  [%s] %3d%%  %s\n", bar.c_str(), progress, line.c_str());
    std::fflush(stdout);
}

int ProgressOf(HWND main) {
    return static_cast<int>(SendDlgItemMessageA(main, IDC_PROGRESS, PBM_GETPOS, 0, 0));
}

// Messages the extension has handed the client so far.
size_t MessagesSent() {
    return g_client->Calls("SubmitMessage").size();
}

void ShowStatus(HWND main) {
    const std::string line = Text(main, IDC_STATUS);
    if (line.empty() || line == g_lastLine)
        return;
    g_lastLine = line;
    PrintLine(line, ProgressOf(main));
}

// Whether a window has been on the screen long enough to be painted.
bool Painted(HWND window) {
    if (!window)
        return false;
    const DWORD seen = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(GetPropA(window, "QvSeen")));
    if (!seen) {
        SetPropA(window, "QvSeen",
                 reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(GetTickCount() | 1)));
        return false;
    }
    return GetTickCount() - seen >= 300;
}

// The message boxes on the screen: each is printed, photographed once it has
// been painted, and answered as a user would (No to a question, else OK).
void AnswerBoxes() {
    std::vector<HWND> boxes;
    EnumThreadWindows(GetCurrentThreadId(), CollectBoxes, reinterpret_cast<LPARAM>(&boxes));
    for (HWND box : boxes) {
        if (g_answered.count(box))
            continue;
        // Let it paint before it is read and photographed.
        if (!Painted(box))
            continue;
        g_answered.insert(box);
        const std::string caption = Text(box), text = Text(box, 0xFFFF);
        const bool question = GetDlgItem(box, IDNO) != nullptr;
        if (text.rfind("Job ", 0) == 0) {
            HWND main = GetWindow(box, GW_OWNER);
            if (main) {
                ShowStatus(main);
                Shoot(main, "main-finished");
            }
            g_summary = text;
            g_result = text.rfind("Job Completed Successfully", 0) == 0 ? 1 : 0;
            Shoot(box, "summary");
        } else {
            Shoot(box, "message-box-" + std::to_string(g_answered.size()));
        }
        std::printf("\n  +-- message box \"%s\"%s\n", caption.c_str(),
                    question ? " (Yes/No, answered No)" : "");
        std::istringstream lines(text);
        std::string line;
        while (std::getline(lines, line))
            std::printf("  | %s\n", line.c_str());
        std::printf("  +--\n\n");
        std::fflush(stdout);
        Click(box, question ? IDNO : IDOK);
    }
}

BOOL CALLBACK EndEveryDialog(HWND window, LPARAM) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0)
        EndDialog(window, 0);
    return TRUE;
}

// One step of the script, when its moment has come; true when done.
bool RunStep(const UserStep& step, HWND main) {
    const DWORD waited = GetTickCount() - g_stepSince;
    if (step.seconds && waited < static_cast<DWORD>(step.at) * 1000)
        return false;
    if (!step.seconds && MessagesSent() < static_cast<size_t>(step.at))
        return false;
    const std::string running = Text(main, IDC_SEND_PAUSE);
    if (step.action == "send" || step.action == "send-empty") {
        Type(main, IDC_LIST_PATH, step.action == "send" ? g_listPath : "");
        Shoot(main, step.action == "send" ? "main-idle" : "main-empty-field");
        std::printf("  the user %s and clicks Send\n",
                    step.action == "send" ? "types the list's path" : "clears the field");
        Click(main, IDC_SEND_PAUSE);
    } else if (step.action == "pause") {
        if (running != "&Pause")
            return false;
        Shoot(main, "main-running");
        std::printf("  the user clicks Pause\n");
        Click(main, IDC_SEND_PAUSE);
    } else if (step.action == "resume") {
        if (running != "&Send")
            return false;
        Shoot(main, "main-paused");
        std::printf("  the user clicks Send to resume\n");
        Click(main, IDC_SEND_PAUSE);
    } else if (step.action == "cancel" || step.action == "close") {
        if (step.action == "cancel")
            Shoot(main, running == "&Pause" ? "main-running" : "main-paused");
        std::printf("  the user clicks Cancel\n");
        Click(main, IDCANCEL);
    } else if (step.action == "options") {
        // Options, then Logs from there, each photographed once painted,
        // then both closed.
        HWND options = FindDialog("Quorvel 2.1 Options");
        HWND logs = FindDialog("Quorvel Logs");
        switch (g_optionsStage) {
        case 0:
            std::printf("  the user opens the options and the logs\n");
            Click(main, IDC_OPTIONS);
            break;
        case 1:
            if (!Painted(options))
                return false;
            Shoot(options, "options");
            Click(options, IDC_LOGS);
            break;
        case 2:
            if (!Painted(logs))
                return false;
            Shoot(logs, "logs");
            Click(logs, IDOK);
            break;
        case 3:
            if (logs || !options)
                return false;
            Click(options, IDCANCEL);
            break;
        default:
            if (options)
                return false;
            g_optionsStage = 0;
            return true;
        }
        ++g_optionsStage;
        return false;
    }
    return true;
}

void CALLBACK UserTimer(HWND, UINT, UINT_PTR, DWORD) {
    static bool inside = false;
    if (inside)
        return;
    inside = true;
    AnswerBoxes();
    HWND main = FindDialog(kMainCaption);
    if (main)
        ShowStatus(main);
    if (!g_clicked) {
        // The compose window has been painted: the user clicks its button.
        if (GetTickCount() - g_stepSince > 500) {
            Shoot(g_compose, "compose");
            std::printf("  the user clicks \"Quorsend\"\n");
            g_stepSince = GetTickCount();
            PostMessageA(g_quorsendButton, BM_CLICK, 0, 0);
        }
    } else if (main && g_nextStep < g_options.user.size()) {
        static DWORD mainSince = 0;
        if (!mainSince)
            mainSince = GetTickCount();
        // Painted before the first step acts.
        if (GetTickCount() - mainSince > 300 && RunStep(g_options.user[g_nextStep], main)) {
            ++g_nextStep;
            g_stepSince = GetTickCount();
        }
    }
    if (!g_dialogDone && GetTickCount() - g_stepSince > kPatience) {
        g_problems.push_back(g_nextStep < g_options.user.size()
                                 ? "the step \"" + g_options.user[g_nextStep].action +
                                       "\" waited in vain"
                                 : "the dialog stayed open after the script's last step");
        g_nextStep = g_options.user.size();
        EnumThreadWindows(GetCurrentThreadId(), EndEveryDialog, 0);
        g_stepSince = GetTickCount();
    }
    inside = false;
}

void CopyLog(const std::string& from, const std::string& to) {
    DeleteFileA(to.c_str());
    CopyFileA(from.c_str(), to.c_str(), FALSE);
}

// The ProgID the add-in registers (regsvr32 /i:user or /i:machine).
const char kAddInProgId[] = "Quorvel.Connect";

size_t OptionsEntries(sim::MailClient& client) {
    return client.ControlsTagged(client.Explorer().Get(), "QuorvelOptions").size();
}

} // namespace

int main(int argc, char** argv) {
    g_options = Parse(argc, argv);
    const Options& o = g_options;
    const std::string subject =
        o.subjectGiven ? o.subject
                       : FirstLine(ReadOrFail("subject", QV_EXAMPLES_DIR "\\subject.txt"));
    const std::string body = WithCrLf(ReadOrFail("body", o.body));
    const std::string html = o.html.empty() ? "" : ReadOrFail("HTML body", o.html);
    ReadOrFail("mailing list", o.list);
    g_listPath = FullPath(o.list);

    const std::string out = FullPath(o.out);
    const std::string outbox = out + "\\outbox", logsOut = out + "\\appdata\\Quorvel";
    CreateDirectoryA(out.c_str(), nullptr);
    CreateDirectoryA(outbox.c_str(), nullptr);
    CreateDirectoryA((out + "\\appdata").c_str(), nullptr);
    CreateDirectoryA(logsOut.c_str(), nullptr);
    if (!(GetFileAttributesA(logsOut.c_str()) & FILE_ATTRIBUTE_DIRECTORY) ||
        GetFileAttributesA(outbox.c_str()) == INVALID_FILE_ATTRIBUTES)
        Fail("cannot create the folders in " + out);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((outbox + "\\*.eml").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((outbox + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    if (!o.screenshots.empty()) {
        g_options.screenshots = FullPath(o.screenshots);
        CreateDirectoryA(g_options.screenshots.c_str(), nullptr);
    }

    // The options the extension reads when it loads.
    WriteOption("Pause", o.pause);
    WriteOption("SaveOrig", o.saveOriginal);
    WriteOption("DoSendRecv", o.sendReceive > 0 ? 1 : 0);
    WriteOption("SendRecvCount", o.sendReceive > 0 ? o.sendReceive : 100);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    g_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = GetModuleHandleA(nullptr);
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.lpszClassName = kFrameClass;
    RegisterClassA(&frameClass);

    // A client from 14.0 on loads COM add-ins, never client extensions.
    g_ribbon = std::atoi(o.version.c_str()) >= 14;
    if ((o.noExplorer || o.connectLater) && !g_ribbon)
        Fail("--no-explorer and --connect-later are for the COM add-in (--host-version 14.0 "
             "or later)");
    HMODULE library = nullptr;
    LPEXCHEXT(CALLBACK * entry)() = nullptr;
    if (g_ribbon) {
        if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
            Fail("cannot start COM");
    } else {
        // The library, from the program's folder, as the client loads it.
        const std::string libraryPath = ProgramFolder() + "Quorvel.dll";
        library = LoadLibraryA(libraryPath.c_str());
        if (!library)
            Fail("cannot load " + libraryPath + " (error " + std::to_string(GetLastError()) + ")");
        entry = reinterpret_cast<LPEXCHEXT(CALLBACK*)()>(
            reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
        if (!entry)
            Fail("Quorvel.dll has no entry point at ordinal 1");
    }

    bool released = false;
    size_t delivered = 0;
    bool saved = false, deleted = false, closed = false;
    {
        HWND explorer = MakeFrame("Inbox - Simulated Mail", 40, 40, 900, 640);
        sim::Config config;
        config.version = o.version;
        config.deliveryFolder = outbox;
        config.explorerWindow = explorer;
        config.explorer = !o.noExplorer;
        // Each message takes a moment to hand over, so the dialog's status
        // can be watched and the user's clicks land between messages.
        config.submitMilliseconds = 150;
        sim::MailClient client(config);
        g_client = &client;

        std::printf("Quorvel host: mailing with the real Quorvel.dll in the simulated mail "
                    "client (version %s, %s)\n",
                    o.version.c_str(), sizeof(void*) == 8 ? "x64" : "x86");
        std::printf("  list:    %s\n  subject: %s\n  body:    %s%s\n\n", g_listPath.c_str(),
                    subject.c_str(), html.empty() ? "plain text" : "HTML and plain text",
                    o.pause ? (", " + std::to_string(o.pause) + " s between messages").c_str()
                            : "");
        if (g_ribbon) {
            std::vector<std::string> connected;
            if (o.connectLater) {
                // Registered, and ticked by the user only once the client runs.
                if (client.ConnectComAddIn(&ClassObjectFromRegistration, kAddInProgId))
                    connected.push_back(kAddInProgId);
            } else {
                connected = client.LoadComAddIns(&ClassObjectFromRegistration);
            }
            std::string errors;
            for (const std::string& error : client.LoadErrors()) {
                g_problems.push_back("add-in load: " + error);
                errors += "\n  " + error;
            }
            if (connected.empty())
                Fail("no COM add-in was connected (is Quorvel.dll registered with regsvr32 /n "
                     "/i:user?)" +
                     errors);
            std::printf("  COM add-in connected: %s (library %s)%s\n", connected[0].c_str(),
                        g_addInLibraryPath.c_str(), o.connectLater ? ", after start-up" : "");
            std::string timings;
            for (const sim::AddInTiming& t : client.AddInTimings())
                timings += " " + t.call + " " + std::to_string(t.milliseconds) + " ms";
            std::printf("  add-in start-up:%s\n", timings.c_str());
            // The Tools entry: at once on the explorer there is, else with
            // the explorer the user opens later.
            if (o.noExplorer) {
                if (OptionsEntries(client) != 0)
                    g_problems.push_back("a Tools entry before there was an explorer");
                client.OpenExplorer();
                std::printf("  explorer opened after the add-in's start-up\n");
            }
            const size_t entries = OptionsEntries(client);
            std::printf("  Tools entries of the add-in on the explorer: %zu\n", entries);
            if (entries != 1)
                g_problems.push_back("the explorer's Tools menu has " + std::to_string(entries) +
                                     " \"Quorvel &Options...\" entries, not one");
        } else {
            LPEXCHEXT extension = entry();
            if (!extension)
                Fail("the entry point gave no extension");
            const std::vector<HRESULT> installed = client.InstallExtension(extension);
            extension->Release();
            std::printf("  extension installed: session %s, explorer %s\n",
                        installed.size() > 0 && installed[0] == S_OK ? "S_OK" : "declined",
                        installed.size() > 1 && installed[1] == S_OK ? "S_OK" : "declined");
        }

        // The compose window: its bar gets the button when NewInspector fires.
        g_compose = MakeFrame(subject + " - Message", 120, 90, 760, 520);
        SetPropA(g_compose, "QvBody", const_cast<char*>(body.c_str()));
        sim::Draft draft;
        draft.subject = subject;
        draft.body = body;
        draft.html = html;
        draft.bodyFormat = html.empty() ? olFormatPlain : olFormatHTML;
        draft.window = g_compose;
        sim::Ptr<IDispatch> inspector = client.OpenCompose(draft);
        g_button = client.FindControl(inspector.Get(), "Standard", "Quorsend");
        if (g_ribbon) {
            // The ribbon's button, and none on the bar beside it.
            if (g_button)
                g_problems.push_back("a \"Quorsend\" button on the Standard bar beside the "
                                     "ribbon's");
            const std::vector<sim::RibbonButton> buttons = client.RibbonButtons(inspector.Get());
            if (buttons.size() != 1)
                Fail("the compose ribbon has " + std::to_string(buttons.size()) +
                     " button(s) of the add-in, not one");
            g_ribbonButton = buttons[0];
            g_inspector = inspector;
            const sim::RibbonButton& b = g_ribbonButton;
            if (b.imageWidth != 32 || b.imageHeight != 32 || b.imageBitsPixel != 32)
                g_problems.push_back("the ribbon's image is " + std::to_string(b.imageWidth) +
                                     " x " + std::to_string(b.imageHeight) + " at " +
                                     std::to_string(b.imageBitsPixel) + " bits, not 32 x 32 at 32");
            size_t transparent = 0;
            for (size_t at = 3; at < b.imagePixels.size(); at += 4)
                transparent += b.imagePixels[at] == 0 ? 1 : 0;
            // The ribbon's large button, with the client's own Send before it.
            HWND send = CreateWindowExA(0, "BUTTON", "&Send", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                        10, kTabsHeight + 6, 62, 64, g_compose, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
            SendMessageA(send, WM_SETFONT, reinterpret_cast<WPARAM>(g_font), TRUE);
            g_quorsendButton = CreateWindowExA(
                0, "BUTTON", b.label.c_str(), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 88,
                kTabsHeight + 4, 64, kBandHeight - kGroupLabelHeight - 8, g_compose,
                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kQuorsendId)),
                GetModuleHandleA(nullptr), nullptr);
            InvalidateRect(g_compose, nullptr, TRUE);
            std::printf("  compose window opened: \"%s\" button (%s) in the group \"%s\" of "
                        "the tab %s\n    supertip: %s\n    image: %ld x %ld, %u bits, %zu of "
                        "%zu pixels transparent\n",
                        b.label.c_str(), b.size.c_str(), b.groupLabel.c_str(), b.tab.c_str(),
                        b.supertip.c_str(), static_cast<long>(b.imageWidth),
                        static_cast<long>(b.imageHeight), static_cast<unsigned>(b.imageBitsPixel),
                        transparent, b.imagePixels.size() / 4);
        } else {
            if (!g_button)
                Fail("the compose window got no \"Quorsend\" button");
            const sim::MailClient::ControlState state = client.Inspect(g_button.Get());
            // The Standard bar as the user sees it: the client's own buttons,
            // then the extension's, with the caption and tooltip it was given.
            BarButton(g_compose, "&Send", 101, 4, 60);
            BarButton(g_compose, "Save", 102, 68, 56);
            g_face = state.face;
            g_quorsendButton =
                BarButton(g_compose, state.caption, kQuorsendId, 140, 96, BS_OWNERDRAW);
            InvalidateRect(g_compose, nullptr, TRUE);
            std::printf("  compose window opened: \"%s\" button on its Standard bar (%s)\n",
                        state.caption.c_str(),
                        state.facePastes
                            ? "face pasted from the clipboard"
                            : (state.hasPicture ? "face given as pictures" : "no face"));
        }

        g_stepSince = GetTickCount();
        const UINT_PTR timer = SetTimer(nullptr, 0, 40, UserTimer);
        MSG msg;
        while (!g_dialogDone && GetMessageA(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        KillTimer(nullptr, timer);

        const std::vector<sim::Ptr<IDispatch>> open = client.OpenInspectors();
        closed = open.empty();
        deleted = !client.Calls("Delete").empty();
        saved = !client.Calls("Save").empty() && !deleted;
        if (g_result == 1)
            std::printf("The composed message was %s; its window is %s.\n",
                        deleted ? "deleted" : "saved", closed ? "closed" : "still open");
        for (const sim::Ptr<IDispatch>& window : open)
            client.CloseInspector(window.Get(), 1); // discarded
        g_button = sim::Ptr<IDispatch>();
        g_inspector = sim::Ptr<IDispatch>();
        inspector = sim::Ptr<IDispatch>();

        if (client.SendReceiveCount())
            std::printf("Send/Receive: %u pass(es), %zu through the session's SendAndReceive\n",
                        client.SendReceiveCount(), client.Calls("SendAndReceive").size());
        delivered = client.Deliveries().size();
        std::printf("Delivered %zu message(s) to %s\\\n", delivered, outbox.c_str());
        for (const sim::Delivery& d : client.Deliveries()) {
            const std::string name = d.path.substr(d.path.rfind('\\') + 1);
            std::printf("  %-36s %s\n", d.recipients.empty() ? "" : d.recipients[0].address.c_str(),
                        name.c_str());
        }
        g_client = nullptr;
        DestroyWindow(g_compose);
        DestroyWindow(explorer);
    }
    // The client is gone: nothing of it may be left alive in the extension.
    released = sim::LiveObjectCount() == 0;
    if (!released)
        g_problems.push_back(std::to_string(sim::LiveObjectCount()) +
                             " object(s) of the client still held after shutdown");
    if (g_ribbon) {
        // As the client's COM does it: the library goes once it says it can.
        if (g_addInLibrary) {
            const auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                reinterpret_cast<void*>(GetProcAddress(g_addInLibrary, "DllCanUnloadNow")));
            if (!canUnload || canUnload() != S_OK)
                g_problems.push_back("DllCanUnloadNow does not say S_OK after shutdown");
            else if (!FreeLibrary(g_addInLibrary))
                g_problems.push_back("FreeLibrary failed");
        }
        CoUninitialize();
    } else if (!FreeLibrary(library)) {
        g_problems.push_back("FreeLibrary failed");
    }

    // The job's logs, from the user's data folder to the output folder.
    char appData[MAX_PATH] = "";
    SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE);
    const std::string logs = std::string(appData) + "\\Quorvel\\";
    for (const char* name : {"CurrentJob.txt", "JobHistory.txt", "tosent.txt"})
        CopyLog(logs + name, logsOut + "\\" + name);
    std::printf("Logs in %s\\:\n  CurrentJob.txt (this job), JobHistory.txt (every job), "
                "tosent.txt (the records sent to)\n",
                logsOut.c_str());
    if (!o.screenshots.empty())
        std::printf("Screenshots (%d) in %s\\\n", g_shots, g_options.screenshots.c_str());
    std::printf("Client shut down: %s %s\n", g_ribbon ? "add-in" : "extension",
                released ? "released" : "still holding the client's objects");
    (void)saved;
    for (const std::string& problem : g_problems)
        std::fprintf(stderr, "quorvel-host: %s\n", problem.c_str());
    if (!g_problems.empty())
        return 3;
    return g_result == 1 ? 0 : 1;
}
