// What a user does to real windows, for the programs that play one under
// Wine: read a control's text, click a button, type into a field.
#pragma once

#include "platform.h"

#include <string>

std::string Text(HWND window);
std::string Text(HWND dialog, int id);

// A click as the mouse makes it, through the button's own handling: nothing
// happens on a disabled button. Posted, so it acts when the dialog's loop
// next runs.
void Click(HWND dialog, int id);

// Typing replaces the field's text one character at a time.
void Type(HWND dialog, int id, const std::string& text);

// Picking an item of a drop-down list: the selection moves and the dialog
// hears CBN_SELCHANGE, as from the list's own handling of the user's pick.
void ChooseItem(HWND dialog, int id, int index);
