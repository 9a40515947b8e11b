#include "dialogs/dialog_window.h"

#include "base/messages.h"
#include "dialogs/message_boxes.h"

namespace {

class Win32DialogWindow : public DialogWindow {
public:
    explicit Win32DialogWindow(HWND dialog) : dialog_(dialog) {}

    HWND Handle() const override { return dialog_; }
    HWND Parent() const override { return GetParent(dialog_); }

    void SetCaption(const char* text) override { SetWindowTextA(dialog_, text); }
    void SetText(int id, const char* text) override { SetDlgItemTextA(dialog_, id, text); }
    void GetText(int id, char* text, int size) override {
        if (size <= 0)
            return;
        text[0] = '\0';
        GetDlgItemTextA(dialog_, id, text, size);
        text[size - 1] = '\0';
    }
    void Enable(int id, bool enable) override {
        EnableWindow(GetDlgItem(dialog_, id), enable ? TRUE : FALSE);
    }
    void Show(int id, bool show) override {
        ShowWindow(GetDlgItem(dialog_, id), show ? SW_SHOW : SW_HIDE);
    }
    void Focus(int id) override { SetFocus(GetDlgItem(dialog_, id)); }
    void LimitText(int id, int characters) override {
        SendDlgItemMessageA(dialog_, id, EM_LIMITTEXT, static_cast<WPARAM>(characters), 0);
    }
    void SetProgressRange(int id, int low, int high) override {
        SendDlgItemMessageA(dialog_, id, PBM_SETRANGE, 0, MAKELPARAM(low, high));
    }
    void SetProgress(int id, int position) override {
        SendDlgItemMessageA(dialog_, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void SetUpDownRange(int id, int low, int high) override {
        SendDlgItemMessageA(dialog_, id, UDM_SETRANGE, 0, MAKELPARAM(high, low));
    }
    void SetCheck(int id, bool checked) override {
        CheckDlgButton(dialog_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    bool IsChecked(int id) override {
        return SendDlgItemMessageA(dialog_, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
    }

    int ShowMessage(const char* text, UINT flags) override {
        return MessageBoxA(dialog_, text, kProductName, flags);
    }
    int ShowStringMessage(UINT stringId, UINT flags) override {
        return StringMessageBox(dialog_, stringId, kProductName, flags);
    }

    void Post(UINT message, WPARAM wParam, LPARAM lParam) override {
        PostMessageA(dialog_, message, wParam, lParam);
    }
    void StartTimer(UINT_PTR id, UINT milliseconds) override {
        SetTimer(dialog_, id, milliseconds, nullptr);
    }
    void StopTimer(UINT_PTR id) override { KillTimer(dialog_, id); }
    void End(INT_PTR result) override { EndDialog(dialog_, result); }

private:
    HWND dialog_;
};

} // namespace

std::unique_ptr<DialogWindow> MakeDialogWindow(HWND dialog) {
    return std::make_unique<Win32DialogWindow>(dialog);
}
