// Test support of the Windows build, over the real system (under Wine).
#include "test_support.h"

#include "recorded_help_call.h"

#include "base/dialog_ids.h"

#include <shlwapi.h>

#include <cstdio>
#include <cstring>
#include <set>

namespace {

// ---- The user's profile --------------------------------------------------------------

const char kProductKey[] = "Software\\Tamsor Software\\Quorvel";

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = entry.cFileName;
            if (name == "." || name == "..")
                continue;
            const std::string path = folder + "\\" + name;
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &entry));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

void RemoveProductState() {
    SHDeleteKeyA(HKEY_CURRENT_USER, kProductKey);
    char appData[MAX_PATH];
    if (SHGetSpecialFolderPathA(nullptr, appData, CSIDL_APPDATA, FALSE))
        RemoveTree(std::string(appData) + "\\Quorvel");
}

// ---- Message boxes -------------------------------------------------------------------------

HHOOK BoxHook = nullptr;
std::function<int(const ShownMessageBox&)> BoxResponder;
// Who takes the reviews of mailings; null: Start Mailing is pressed.
std::function<void(HWND)> ReviewHandler;
std::vector<ShownMessageBox> ShownBoxes;
std::set<HWND> AnsweredBoxWindows;

constexpr int kBoxTextId = 0xFFFF; // the static control that holds a message box's text
constexpr int kBoxIconId = 0x0440; // the static control that holds its icon

// The box itself is not shown yet when it is activated: look at the buttons'
// own style.
bool Visible(HWND box, int id) {
    HWND item = GetDlgItem(box, id);
    return item && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE);
}

UINT BoxButtons(HWND box) {
    const bool yes = Visible(box, IDYES), no = Visible(box, IDNO);
    const bool cancel = Visible(box, IDCANCEL), ok = Visible(box, IDOK);
    if (yes && no)
        return cancel ? MB_YESNOCANCEL : MB_YESNO;
    if (ok && cancel)
        return MB_OKCANCEL;
    return MB_OK;
}

UINT BoxIcon(HWND box) {
    HICON icon = reinterpret_cast<HICON>(SendDlgItemMessageA(box, kBoxIconId, STM_GETICON, 0, 0));
    if (!icon)
        return 0;
    const struct {
        LPCSTR id;
        UINT flag;
    } icons[] = {{IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                 {IDI_QUESTION, MB_ICONQUESTION},
                 {IDI_HAND, MB_ICONHAND},
                 {IDI_ASTERISK, MB_ICONINFORMATION}};
    for (const auto& known : icons)
        if (icon == LoadIconA(nullptr, known.id))
            return known.flag;
    return 0;
}

int DefaultAnswer(UINT flags) {
    switch (flags & 0xF) {
    case MB_YESNO:
    case MB_YESNOCANCEL:
        return IDNO;
    case MB_OKCANCEL:
        return IDCANCEL;
    default:
        return IDOK;
    }
}

// A message box holds its text, its icon and buttons of the standard ids
// (IDOK to IDCONTINUE) and nothing else: the library's own dialogs, which
// have labels of id -1 too, are left alone.
BOOL CALLBACK FindOtherControl(HWND control, LPARAM lParam) {
    const int id = GetDlgCtrlID(control);
    if (id > IDCONTINUE && id != kBoxTextId && id != kBoxIconId && id != 20) {
        *reinterpret_cast<bool*>(lParam) = true;
        return FALSE;
    }
    return TRUE;
}

bool IsMessageBox(HWND window) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") != 0 || !GetDlgItem(window, kBoxTextId))
        return false;
    bool other = false;
    EnumChildWindows(window, FindOtherControl, reinterpret_cast<LPARAM>(&other));
    return !other;
}

// A message box is activated once its controls are set up: that is when it is
// read and answered.
LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_DESTROYWND)
        AnsweredBoxWindows.erase(reinterpret_cast<HWND>(wParam));
    if (code == HCBT_ACTIVATE) {
        HWND box = reinterpret_cast<HWND>(wParam);
        if (GetDlgItem(box, IDC_REVIEW_FINDINGS) && AnsweredBoxWindows.insert(box).second) {
            if (ReviewHandler)
                ReviewHandler(box);
            else
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
        if (IsMessageBox(box) && AnsweredBoxWindows.insert(box).second) {
            char text[1024] = "", caption[256] = "";
            GetDlgItemTextA(box, kBoxTextId, text, sizeof text);
            GetWindowTextA(box, caption, sizeof caption);
            HWND owner = GetWindow(box, GW_OWNER);
            ShownMessageBox shown{owner ? owner : GetDesktopWindow(), text, caption,
                                  BoxButtons(box) | BoxIcon(box)};
            ShownBoxes.push_back(shown);
            // Pressing the answer's button, once the box runs its modal loop.
            const int answer = BoxResponder ? BoxResponder(shown) : DefaultAnswer(shown.flags);
            if (answer != 0)
                PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(BoxHook, code, wParam, lParam);
}

// ---- The HTML Help viewer --------------------------------------------------------------------

const char kViewerServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

struct SavedRegistration {
    bool saved = false;
    bool present = false;
    DWORD type = REG_SZ;
    std::vector<BYTE> data;
};
SavedRegistration SavedHelpRegistration;

std::string ProgramFolder() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.rfind('\\') + 1);
}

void RegisterViewer(const std::string& file) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CLASSES_ROOT, kViewerServerKey, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot open the HTML Help viewer's registration";
        return;
    }
    if (!SavedHelpRegistration.saved) {
        SavedHelpRegistration.saved = true;
        BYTE data[1024];
        DWORD size = sizeof data;
        SavedHelpRegistration.present =
            RegQueryValueExA(key, nullptr, nullptr, &SavedHelpRegistration.type, data, &size) ==
            ERROR_SUCCESS;
        if (SavedHelpRegistration.present)
            SavedHelpRegistration.data.assign(data, data + size);
    }
    RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(file.c_str()),
                   static_cast<DWORD>(file.size() + 1));
    RegCloseKey(key);
}

void RestoreViewerRegistration() {
    if (!SavedHelpRegistration.saved)
        return;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kViewerServerKey, 0, KEY_WRITE, &key) == ERROR_SUCCESS) {
        if (SavedHelpRegistration.present)
            RegSetValueExA(key, nullptr, 0, SavedHelpRegistration.type,
                           SavedHelpRegistration.data.data(),
                           static_cast<DWORD>(SavedHelpRegistration.data.size()));
        else
            RegDeleteValueA(key, nullptr);
        RegCloseKey(key);
    }
    SavedHelpRegistration = SavedRegistration{};
}

} // namespace

HMODULE TestModule() {
    return GetModuleHandleA(nullptr);
}

HMODULE ProductLibrary() {
    static HMODULE library = LoadLibraryA((ProgramFolder() + "Quorvel.dll").c_str());
    return library;
}

HMODULE ModuleWithoutVersionResource() {
    return LoadLibraryA((ProgramFolder() + "fake_html_help_without_entry.dll").c_str());
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

void TakeReviews(const std::function<void(HWND review)>& handler) {
    ReviewHandler = handler;
}

void PlatformTest::SetUp() {
    ReviewHandler = nullptr;
    RemoveProductState();
    ResetHtmlHelpViewer();
    BoxResponder = nullptr;
    ShownBoxes.clear();
    AnsweredBoxWindows.clear();
    BoxHook = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
    ASSERT_NE(BoxHook, nullptr) << "cannot hook the thread's message boxes";
}

void PlatformTest::TearDown() {
    if (BoxHook)
        UnhookWindowsHookEx(BoxHook);
    BoxHook = nullptr;
    ResetHtmlHelpViewer();
    RestoreViewerRegistration();
}

std::string ReadFileBytes(const std::string& windowsPath) {
    std::string bytes;
    if (FILE* f = std::fopen(windowsPath.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

void WriteFileBytes(const std::string& windowsPath, const std::string& bytes) {
    if (FILE* f = std::fopen(windowsPath.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

void WriteFileBytesKeepingTime(const std::string& windowsPath, const std::string& bytes) {
    FILETIME written = {};
    HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    WriteFileBytes(windowsPath, bytes);
    file = CreateFileA(windowsPath.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                       OPEN_EXISTING, 0, nullptr);
    SetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
}

void AnswerMessageBoxes(const std::function<int(const ShownMessageBox&)>& responder) {
    BoxResponder = responder;
}

std::vector<ShownMessageBox> ShownMessageBoxes() {
    return ShownBoxes;
}

std::string RegistryKeyClass(HKEY root, const char* path) {
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::string();
    char keyClass[256] = "";
    DWORD size = sizeof keyClass;
    LSTATUS status = RegQueryInfoKeyA(key, keyClass, &size, nullptr, nullptr, nullptr, nullptr,
                                      nullptr, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(keyClass, size) : std::string();
}

void InstallRecordingHelpViewer() {
    RegisterViewer(ProgramFolder() + "fake_html_help.dll");
}

void InstallHelpViewerWithoutEntry() {
    RegisterViewer(ProgramFolder() + "fake_html_help_without_entry.dll");
}

std::vector<HelpViewerCall> HelpViewerCalls() {
    std::vector<HelpViewerCall> calls;
    HMODULE viewer = GetModuleHandleA((ProgramFolder() + "fake_html_help.dll").c_str());
    if (!viewer)
        return calls;
    auto count = reinterpret_cast<RecordedHelpCallCountProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(viewer, "RecordedHelpCallCount")));
    auto at = reinterpret_cast<RecordedHelpCallAtProc>(
        reinterpret_cast<void (*)()>(GetProcAddress(viewer, "RecordedHelpCallAt")));
    if (!count || !at)
        return calls;
    for (int i = 0; i < count(); ++i) {
        const RecordedHelpCall* c = at(i);
        calls.push_back(
            HelpViewerCall{c->owner, c->file, c->command, c->data, c->link, c->keywords});
    }
    return calls;
}
