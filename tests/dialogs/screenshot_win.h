// Screenshots of real windows under Wine, saved as PNG files for people to
// look at.
#pragma once

#include "platform.h"

#include <string>

// Paints `window` and its children now and saves what the screen shows of it
// (frame and caption included) to `path`. False when it could not be read or
// written.
bool SaveWindowPng(HWND window, const std::string& path);

// The folder the screenshots go to: "screenshots" in the build tree, made on
// first use.
std::string ScreenshotFolder();
