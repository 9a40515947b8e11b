// The window operations the dialogs' controllers work through. The
// controllers hold the dialogs' logic and know nothing of how a control is
// reached; Win32DialogWindow reaches them through the dialog manager's calls,
// which are the real manager's on Windows and the substitute's natively.
#pragma once

#include "platform.h"

#include <memory>

class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    virtual HWND Handle() const = 0;
    // The window the dialog was opened over.
    virtual HWND Parent() const = 0;

    virtual void SetCaption(const char* text) = 0;
    virtual void SetText(int id, const char* text) = 0;
    // At most size - 1 characters, always terminated.
    virtual void GetText(int id, char* text, int size) = 0;
    virtual void Enable(int id, bool enable) = 0;
    virtual void Show(int id, bool show) = 0;
    virtual void Focus(int id) = 0;
    virtual void LimitText(int id, int characters) = 0;
    virtual void SetProgressRange(int id, int low, int high) = 0;
    virtual void SetProgress(int id, int position) = 0;
    virtual void SetUpDownRange(int id, int low, int high) = 0;
    virtual void SetCheck(int id, bool checked) = 0;
    virtual bool IsChecked(int id) = 0;

    // Message boxes owned by the dialog, captioned with the product's name.
    virtual int ShowMessage(const char* text, UINT flags) = 0;
    virtual int ShowStringMessage(UINT stringId, UINT flags) = 0;

    virtual void Post(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual void StartTimer(UINT_PTR id, UINT milliseconds) = 0;
    virtual void StopTimer(UINT_PTR id) = 0;
    virtual void End(INT_PTR result) = 0;
};

// The operations over a dialog of the dialog manager.
std::unique_ptr<DialogWindow> MakeDialogWindow(HWND dialog);
