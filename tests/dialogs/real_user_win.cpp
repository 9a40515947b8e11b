#include "real_user_win.h"

std::string Text(HWND window) {
    static char text[16384];
    text[0] = '\0';
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string Text(HWND dialog, int id) {
    return Text(GetDlgItem(dialog, id));
}

void Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void ChooseItem(HWND dialog, int id, int index) {
    HWND list = GetDlgItem(dialog, id);
    SetFocus(list);
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void Type(HWND dialog, int id, const std::string& text) {
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    SendMessageA(field, EM_SETSEL, 0, -1);
    SendMessageA(field, WM_CLEAR, 0, 0);
    for (char c : text)
        SendMessageA(field, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
}
