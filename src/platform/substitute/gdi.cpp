// GDI: the screen's size, device contexts and their text colours, fonts.
#include "windows_internal.h"

#include <algorithm>
#include <cstring>

namespace substitute {

using namespace detail;

namespace {

const uintptr_t kDcBase = 0x40000000;

} // namespace

void SetScreenSize(int width, int height, int desktopWidth, int desktopHeight) {
    State().screenWidth = width;
    State().screenHeight = height;
    State().desktopWidth = desktopWidth ? desktopWidth : width;
    State().desktopHeight = desktopHeight ? desktopHeight : height;
}

size_t LiveFonts() {
    return State().fonts.size();
}

} // namespace substitute

using namespace substitute;
using namespace substitute::detail;

HDC WINAPI GetDC(HWND window) {
    return reinterpret_cast<HDC>(kDcBase + reinterpret_cast<uintptr_t>(window));
}

int WINAPI ReleaseDC(HWND, HDC) {
    return 1;
}

int WINAPI GetDeviceCaps(HDC, int index) {
    if (index == HORZRES)
        return State().screenWidth;
    if (index == VERTRES)
        return State().screenHeight;
    return 0;
}

COLORREF WINAPI SetTextColor(HDC dc, COLORREF color) {
    COLORREF& current = State().textColors[dc];
    const COLORREF previous = current;
    current = color;
    return previous;
}

HFONT WINAPI CreateFontIndirectA(const LOGFONTA* font) {
    if (!font)
        return nullptr;
    HFONT handle = reinterpret_cast<HFONT>(State().nextFont);
    State().nextFont += 4;
    State().fonts[handle] = *font;
    return handle;
}

int WINAPI GetObjectA(HANDLE object, int size, LPVOID buffer) {
    auto it = State().fonts.find(static_cast<HFONT>(object));
    if (it == State().fonts.end())
        return 0;
    if (!buffer)
        return sizeof(LOGFONTA);
    const int n = std::min(size, static_cast<int>(sizeof(LOGFONTA)));
    std::memcpy(buffer, &it->second, static_cast<size_t>(n));
    return n;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
    return State().fonts.erase(static_cast<HFONT>(object)) ? TRUE : FALSE;
}
