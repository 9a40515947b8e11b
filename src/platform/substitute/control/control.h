// How tests, benchmarks and the native tools drive the substitute platform:
// the virtual clock and scheduled user actions, message boxes, the registry,
// the file system mapping, the module and its resources, allocation and
// conversion failures.
// Only native code includes this; the product code never does.
#pragma once

#include "platform.h"

#include <functional>
#include <string>
#include <vector>

namespace substitute {

// Puts the whole substitute world back to its initial state: clock, queue,
// windows, timers, registry, message boxes, drive mapping, module, failures.
void Reset();

// ---- Virtual clock -----------------------------------------------------------
// GetTickCount returns the virtual clock; Sleep advances it. Local time is the
// start time set here plus the virtual time that has passed since.
void SetTickCount(DWORD tick);
void AdvanceClock(DWORD milliseconds);
void SetLocalTimeBase(const SYSTEMTIME& time);
// The user's time zone, with its daylight-saving rules as Windows keeps them
// (TIME_ZONE_INFORMATION, rules of the "day of month" form). UTC until set;
// set it before the local time base, which is read in it.
void SetTimeZone(const TIME_ZONE_INFORMATION& zone);
// Every Sleep call, in order, with its duration.
const std::vector<DWORD>& SleepCalls();

// Runs `action` as soon as the thread pumps its queue (PeekMessageA,
// GetMessageA, a modal loop) at or after virtual time `tick`: the way a user's
// click reaches a program. Actions run in time order.
void At(DWORD tick, std::function<void()> action);
// Runs `action` every time the thread looks at its queue.
void OnPump(std::function<void()> action);
// How many times the thread has looked at its queue.
unsigned PumpCount();

// ---- Windows --------------------------------------------------------------------
// A top-level window of this thread with the given window procedure.
HWND CreateTestWindow(WNDPROC proc, HWND parent = nullptr);
// Messages posted and not yet retrieved.
size_t PendingMessages();

// ---- Message boxes ------------------------------------------------------------------
// Texts as the user reads them, in UTF-8: MessageBoxA's are read in the
// ANSI code page, MessageBoxW's are wide.
struct MessageBoxCall {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags;
    int answer;
};
// The responder answers each box; without one, MB_YESNO boxes are answered
// IDNO, MB_OKCANCEL boxes IDCANCEL and all others IDOK.
void SetMessageBoxResponder(std::function<int(const MessageBoxCall&)> responder);
const std::vector<MessageBoxCall>& MessageBoxes();
void ClearMessageBoxes();
// A real message box runs a modal loop while it waits for its answer: the
// messages already waiting in the queue are dispatched inside it. On by
// default; off keeps them queued for the program's own pump.
void SetMessageBoxesPump(bool pump);

// ---- Registry --------------------------------------------------------------------------
struct RegistryValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
// Direct access for tests, bypassing handles and access rights. Paths are
// backslash-separated, case-insensitive, relative to the root key.
void SetRegistryValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                      const std::vector<BYTE>& data);
void SetRegistryString(HKEY root, const std::string& path, const std::string& name,
                       const std::string& text);
bool GetRegistryValue(HKEY root, const std::string& path, const std::string& name,
                      RegistryValue* value);
bool RegistryKeyExists(HKEY root, const std::string& path);
std::string RegistryKeyClass(HKEY root, const std::string& path);
// Keys below `path` refuse write access (ERROR_ACCESS_DENIED), as the
// machine-wide keys do for a user without administrative rights.
void DenyRegistryWrites(HKEY root, const std::string& path);

// ---- Files and folders -------------------------------------------------------------------
// Windows paths map onto the host: "X:\a\b" is <root of X>/a/b. Drive Z: is
// the host's "/" (as under Wine); Reset() maps C: to a fresh empty temporary
// folder. Relative paths resolve against the virtual current directory.
void MapDrive(char drive, const std::string& hostFolder);
std::string HostPath(const std::string& windowsPath);
std::string WindowsPath(const std::string& hostPath);
// The special folders SHGetSpecialFolderPathA answers; an empty path makes
// the call fail.
void SetSpecialFolder(int csidl, const std::string& windowsPath);
// Makes the n-th CrtOpen of the file from now (1 = the next one) fail, as when
// another program holds it or it was removed; 0 cancels.
void FailFileOpen(const std::string& windowsPath, unsigned n);
// The disk takes this many more bytes of the C runtime's writes, of any file,
// then no more: a write is cut short there, and that stream's flush and close
// fail, as on a full disk. SIZE_MAX (the state after Reset) is no limit.
void FillDisk(size_t bytesLeft);
// Makes CrtOpen read the file from memory: "r" and "rb" give these bytes
// (text mode translating them as for a file on disk), writing is refused.
// Nothing else sees the file (the Win32 file calls look at the disk). For a
// fuzz target that reads one input many times. Until Reset, or set again.
void SetMemoryFile(const std::string& windowsPath, const std::string& bytes);
// Makes the n-th GetFileAttributesExA call from now fail
// (ERROR_SHARING_VIOLATION), as a file another program holds; 0 cancels.
void FailFileAttributesExAt(unsigned n);
// Makes the n-th MoveFileExA call from now fail (ERROR_SHARING_VIOLATION),
// as when a scanner holds the file just written; 0 cancels.
void FailMoveFileAt(unsigned n);
// Every call of GetFileAttributesA/W/ExA, SetFileAttributesW, CreateFileA/W and
// CrtOpen, with the path as it was passed (UTF-8), in order; Reset() empties
// it. A path on another machine ("\\server\...", "//server/...",
// "\\?\UNC\...") is recorded and then fails with ERROR_BAD_NETPATH: a
// test plants one and asserts that nothing reached it.
struct FileCall {
    std::string function;
    std::string path;
};
const std::vector<FileCall>& FileCalls();
// Whether file calls are recorded (on after Reset). A long mailing that no
// test looks at (the demo, the benchmarks) turns it off: the record grows
// with every message's files and would be most of the process's memory.
void RecordFileCalls(bool on);
// GetShortPathNameA gives an existing path back unchanged, as a volume
// without 8.3 names does, unless a short form was set for it here. An empty
// short form makes the call fail with ERROR_ACCESS_DENIED, as when a folder
// on the way cannot be listed.
void SetShortPathName(const std::string& windowsPath, const std::string& shortPath);

// ---- The library module ------------------------------------------------------------------
// The module handle the library is given at attach, its file path, whether its
// version resource can be read.
HMODULE LibraryModule();
void SetModulePath(const std::string& windowsPath);
void SetVersionResourceAvailable(bool available);

// ---- Dialog boxes, as the user sees them -------------------------------------------------
// DialogBoxParamA builds each dialog from the library's template (below): a
// control the template lacks does not exist, and a message a control's class
// does not know is not understood. Either is recorded as a fault here, which
// the dialog tests check stays empty.
const std::vector<std::string>& DialogFaults();
// The dialog the user is looking at: the most recent modal dialog still open.
HWND ActiveDialog();
// Told of each modal dialog once it is shown, before its loop runs, with its
// template's id: the scripted user's moment to work it (a click here ends it
// at once). None after Reset.
void OnDialogShown(std::function<void(HWND dialog, int templateId)> action);
// Pixel size of the screen (1024 by 768 after Reset), and of the desktop
// window's client area when it differs (0: the same).
void SetScreenSize(int width, int height, int desktopWidth = 0, int desktopHeight = 0);
// A mouse click on a control, as the dialog manager delivers it: nothing when
// the control is hidden or disabled; an auto check box toggles first; a push
// button or check box sends BN_CLICKED, a static with SS_NOTIFY STN_CLICKED
// (a double click adds STN_DBLCLK). False when the click reached nothing.
bool Click(HWND dialog, int id);
bool DoubleClick(HWND dialog, int id);
// The user picks item `index` of a drop-down list: the selection moves and
// CBN_SELCHANGE goes to the dialog, unless it was the item already chosen.
// False when the control is no combo box, cannot be worked or has no such item.
bool ChooseItem(HWND dialog, int id, int index);
// Typing into an edit control: the old text is selected and replaced one
// character at a time, each one an EN_CHANGE; characters beyond the
// control's limit, or other than digits in an ES_NUMBER field, are refused.
bool Type(HWND dialog, int id, const std::string& text);
// A key press reaches the focused window through the queue; only a dialog's
// own modal loop turns Enter and Esc into its default button and Cancel.
void PressKey(int virtualKey);
// The window's close button: WM_CLOSE to the dialog.
void CloseBox(HWND dialog);
// The pointer moves to (x, y) in the control's client coordinates: the
// control gets WM_SETCURSOR and WM_MOUSEMOVE (or, while another window holds
// the capture, that window gets the move).
void MoveMouse(HWND control, int x, int y);
HCURSOR CurrentCursor();
void SetHandCursorAvailable(bool available);
// Paints a static control: its parent gets WM_CTLCOLORSTATIC; the text colour
// the parent chose is returned.
COLORREF PaintControl(HWND control);
// Font handles alive (created and not deleted).
size_t LiveFonts();
// The tooltip windows and their tools.
struct ToolTip {
    HWND tooltip;
    UINT cbSize;
    UINT flags;
    HWND window;
    UINT_PTR id;
    std::string text;
};
std::vector<ToolTip> ToolTips();
// Makes the next CreateWindowExA fail.
void FailNextWindowCreation();
// Every InitCommonControlsEx call, as {dwSize, dwICC}.
const std::vector<INITCOMMONCONTROLSEX>& CommonControlsCalls();

// ---- Activation contexts ---------------------------------------------------------------------
// Which of the calls that need the library's manifest ran with a context
// active: "DialogBoxParamA", "CreateWindowExA", "InitCommonControlsEx",
// "GetOpenFileNameA", each followed by " (active)" or " (none)".
const std::vector<std::string>& ManifestCalls();
// How many contexts CreateActCtxA made, and from which resource.
unsigned ActivationContextsCreated();
// ActivateActCtx fails with this error from now on (0: succeeds).
void FailActivation(DWORD error);

// ---- The open-file dialog and the shell -------------------------------------------------------
struct OpenFileCall {
    HWND owner;
    DWORD structSize;
    std::vector<std::string> filter; // description, pattern, description, pattern...
    DWORD filterIndex;
    DWORD fileSize;
    std::string initialFile; // the path buffer as passed
    std::string initialDir;
    std::string title;
    DWORD flags;
    bool customFilter, fileTitle, defaultExtension, hook;
};
// The responder plays the user: it returns the chosen path, or "" to cancel.
void SetOpenFileResponder(std::function<std::string(const OpenFileCall&)> responder);
const std::vector<OpenFileCall>& OpenFileCalls();
struct ShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    int show;
    bool parametersNull, directoryNull;
};
// ShellExecuteA's result (above 32 is success; 42 without a responder).
void SetShellResponder(std::function<INT_PTR(const ShellCall&)> responder);
const std::vector<ShellCall>& ShellCalls();

// ---- HTML Help viewer -----------------------------------------------------------------
// Every call of HtmlHelpViewer, in order. For HH_KEYWORD_LOOKUP the link
// structure is copied as it was passed (its text pointers are not kept; the
// keyword is copied into `keywords`).
struct HtmlHelpCall {
    HWND owner;
    std::string file;
    UINT command;
    DWORD_PTR data;
    HH_AKLINK link;
    std::string keywords;
};
const std::vector<HtmlHelpCall>& HtmlHelpCalls();
// An unavailable viewer fails to load on the next first call; from then on
// help stays off (calls return 0 and are not recorded) until
// ResetHtmlHelpViewer or Reset.
void SetHtmlHelpAvailable(bool available);
// How many times a load of the viewer was tried.
unsigned HtmlHelpLoadAttempts();

// ---- Button face ------------------------------------------------------------------------
// Every call of the face services, in order: "SaveClipboard",
// "PutFaceOnClipboard <face> <9x face>", "RestoreClipboard" (or
// "EmptyClipboard" when nothing was saved), "NewBitmapPicture <id>".
const std::vector<std::string>& FaceCalls();
// Placeholder pictures made by NewBitmapPicture and not yet released.
size_t LivePictures();

// ---- Allocation failures -----------------------------------------------------------------
// Makes the n-th call from now (1 = the next one) fail; 0 cancels.
void FailAllocationAt(unsigned n);     // MemAlloc / MemRealloc
void FailMapiAllocationAt(unsigned n); // MAPIAllocateBuffer / MAPIAllocateMore
// Makes the n-th MultiByteToWideChar call from now fail (ERROR_NO_UNICODE_TRANSLATION),
// as a conversion the system refuses; 0 cancels.
void FailMultiByteToWideCharAt(unsigned n);
// Counts of calls so far.
unsigned AllocationCount();
unsigned MapiAllocationCount();
// Live MAPI buffers (allocated and not freed), for leak checks.
size_t LiveMapiBuffers();

} // namespace substitute
