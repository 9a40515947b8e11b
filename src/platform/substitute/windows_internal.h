// The windows of the substitute platform, shared by the files that make up
// its user32 and the libraries over it (common controls, common dialogs,
// GDI, activation contexts). One thread, as in the product: everything
// happens inside the calls the program makes, in virtual time.
#pragma once

#include "internal.h"

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace substitute::detail {

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
    std::vector<std::string> items; // a combo box's list
    int selected = -1;              // its selection, -1 for none
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
    std::function<void(HWND, int)> onDialogShown;
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

// Every window, the queue, the timers and what the other parts record; one
// for the thread.
WindowState& State();

// A dialog's frame: the border around it and its caption bar, in pixels.
constexpr int kFrame = 3;
constexpr int kCaption = 19;

Window* Find(HWND handle);
// Records a program's misuse that the real system would let pass silently;
// tests read them back through DialogFaults().
void Fault(const std::string& text);
// "control 1001 (Edit) of dialog 100", for a fault's text.
std::string Describe(HWND handle);
HWND NewWindow(Window w);
// Calls a window's procedure now, as SendMessage does; 0 for a destroyed
// window or one without a procedure.
LRESULT Deliver(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
bool IsClass(const Window* w, const char* name);
// A control's WM_COMMAND notification to its parent.
void Notify(HWND control, WORD code);
// The screen position of a window's client area.
POINT ClientOrigin(HWND handle);
// Destroys a window with its children and owned windows, its timers and its
// waiting messages.
void Destroy(HWND window);

// The window procedure of every built-in control class.
LRESULT CALLBACK ControlProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam);

// A dialog's control by its id, or nullptr.
HWND FindChild(HWND dialog, int id);
// The same, recording a fault naming what asked when the dialog lacks it.
HWND Control(HWND dialog, int id, const char* what);

// Notes a call that needs the library's activation context, and whether one
// was active at the time.
void RecordManifestCall(const char* call);

// GetMessageA's wait, given up as soon as `waiting` says so (a modal loop
// whose dialog ended or went while the user acted): false then, with no
// message taken.
bool WaitForMessageWhile(MSG* msg, const std::function<bool()>& waiting);

} // namespace substitute::detail
