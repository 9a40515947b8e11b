// What every test program shares, in both builds.
#pragma once

#include "platform.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

// The module that holds the library's resources in a test program: the
// library module natively, the test program itself on Windows (it links the
// same resource script).
HMODULE TestModule();
// The library as it is delivered: natively the same as TestModule; on
// Windows the built Quorvel.dll beside the test program, loaded once (its
// start-up runs as in a host).
HMODULE ProductLibrary();
// A module whose file has no version resource.
HMODULE ModuleWithoutVersionResource();
// True in a Windows test program that Wine runs (its ntdll exports
// wine_get_version), where a system component may differ from Windows' own.
bool UnderWine();

// A fixture that gives each test a fresh platform: natively the whole
// substitute world is reset; on Windows the product's registry key and data
// folder are removed, the HTML Help viewer is unloaded and its registration
// put back, and message boxes are answered (see below) instead of waiting for
// a user. Windows test programs share the user's profile in the Wine prefix,
// so CTest runs them one at a time.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Reads a whole file by its Windows path, bytes unchanged.
std::string ReadFileBytes(const std::string& windowsPath);
// Writes bytes unchanged to a Windows path.
void WriteFileBytes(const std::string& windowsPath, const std::string& bytes);
// The same, then puts the file's last-write time back as it was, as some
// programs that save a file do.
void WriteFileBytesKeepingTime(const std::string& windowsPath, const std::string& bytes);
// Whether a Windows path names an existing folder.
bool IsFolder(const std::string& windowsPath);
// The process's current directory, as a Windows path.
std::string CurrentDirectory();

// ---- Message boxes ---------------------------------------------------------------
// Inside a PlatformTest every message box is answered and recorded. Natively
// the substitute does it; on Windows a hook on the thread catches each real
// box as it is activated, reads its text, caption, owner, buttons and icon,
// and ends it with the answer. A box owned by no window is recorded as owned
// by the desktop window.
struct ShownMessageBox {
    HWND owner;
    std::string text;
    std::string caption;
    UINT flags; // buttons and icon: MB_OK, MB_YESNO, ... | MB_ICONEXCLAMATION, ...
};
// Without a responder: MB_YESNO boxes are answered IDNO, MB_OKCANCEL boxes
// IDCANCEL, all others IDOK. On Windows a responder's 0 leaves the box open
// for the test to look at and answer itself.
void AnswerMessageBoxes(const std::function<int(const ShownMessageBox&)>& responder);
std::vector<ShownMessageBox> ShownMessageBoxes();
// The text of the one box shown, after checking that exactly one was shown,
// with the product's caption and the given owner and flags; "" when none was.
std::string OnlyMessageBox(HWND owner, UINT flags);

// ---- The review before a mailing ---------------------------------------------------
// Inside a PlatformTest the scripted user starts every mailing from its
// review (Start Mailing) as soon as it is shown, unless the test takes the
// reviews itself: with a handler, each review shown is passed to it instead
// (natively before the dialog's loop runs, on Windows once it is activated;
// a click there takes effect when the loop runs). A null handler restores
// the default.
void TakeReviews(const std::function<void(HWND review)>& handler);

// ---- Registry ------------------------------------------------------------------------
// The class string a key was created with.
std::string RegistryKeyClass(HKEY root, const char* path);

// ---- The HTML Help viewer --------------------------------------------------------------
// A call that reached the viewer. Natively the substitute records it; on
// Windows a recording viewer library, registered for the viewer's class,
// records it. `link` is the HH_AKLINK as passed (HH_KEYWORD_LOOKUP only): its
// pointers may only be compared with null; the keyword is copied.
struct HelpViewerCall {
    HWND owner;
    std::string file;
    UINT command;
    DWORD_PTR data;
    HH_AKLINK link;
    std::string keywords;
};
// The viewer the next load finds: one that records its calls, or one that
// loads without an HtmlHelpA entry. Neither unloads a viewer already loaded.
void InstallRecordingHelpViewer();
void InstallHelpViewerWithoutEntry();
std::vector<HelpViewerCall> HelpViewerCalls();
