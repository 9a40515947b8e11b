// The classic shape of the dialogs' procedures: a static procedure that
// keeps the dialog's controller in DWLP_USER and forwards each message to it,
// with nothing thrown ever crossing back into the dialog manager.
#pragma once

#include "dialogs/dialog_window.h"

#include <new>

// The controller of `dialog`, or null before WM_INITDIALOG and after
// WM_NCDESTROY.
template <class Controller> Controller* ControllerOf(HWND dialog) {
    return reinterpret_cast<Controller*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Makes the controller at WM_INITDIALOG and keeps it with the dialog; null
// when memory is exhausted.
template <class Controller, class... Args> Controller* AttachController(HWND dialog, Args... args) {
    Controller* controller = new (std::nothrow) Controller(MakeDialogWindow(dialog), args...);
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(controller));
    return controller;
}

// Forgets and deletes the controller at WM_NCDESTROY.
template <class Controller> void DetachController(HWND dialog) {
    Controller* controller = ControllerOf<Controller>(dialog);
    SetWindowLongPtrA(dialog, DWLP_USER, 0);
    delete controller;
}

// Runs one handler; an exception ends there, the message counting as handled.
template <class Handler> INT_PTR Guarded(Handler handler) {
    try {
        return handler();
    } catch (...) {
        return TRUE;
    }
}

// The whole procedure of a dialog whose controller answers commands, the
// close box and F1, and nothing else: made at WM_INITDIALOG (Initialise),
// deleted at WM_NCDESTROY.
template <class Controller> INT_PTR ControllerProcedure(HWND dialog, UINT message, WPARAM wParam) {
    return Guarded([&]() -> INT_PTR {
        if (message == WM_INITDIALOG) {
            if (Controller* controller = AttachController<Controller>(dialog))
                controller->Initialise();
            return TRUE;
        }
        Controller* controller = ControllerOf<Controller>(dialog);
        if (!controller)
            return FALSE;
        switch (message) {
        case WM_COMMAND:
            controller->Command(LOWORD(wParam), HIWORD(wParam));
            return TRUE;
        case WM_CLOSE:
            controller->Close();
            return TRUE;
        case WM_HELP:
            controller->Help();
            return TRUE;
        case WM_NCDESTROY:
            DetachController<Controller>(dialog);
            return FALSE;
        default:
            return FALSE;
        }
    });
}
