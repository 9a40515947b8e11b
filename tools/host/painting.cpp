// What the frames show, painted as the client paints them: the compose
// window's Standard bar with the extension's button and its face, or its
// ribbon with the add-in's large button.
#include "host.h"

#include <cstring>

namespace {

// The compose window's ribbon: the tabs with the new message's selected,
// then its band with the client's Send group and the add-in's group.
void PaintRibbon(HDC dc, const RECT& client) {
    RECT tabs = client;
    tabs.bottom = kTabsHeight;
    HBRUSH frame = CreateSolidBrush(RGB(0x2B, 0x57, 0x9A));
    FillRect(dc, &tabs, frame);
    RECT band = client;
    band.top = kTabsHeight;
    band.bottom = kTabsHeight + kBandHeight;
    HBRUSH light = CreateSolidBrush(RGB(0xF5, 0xF6, 0xF7));
    FillRect(dc, &band, light);
    SelectObject(dc, GuiFont);
    SetBkMode(dc, TRANSPARENT);
    int x = 8;
    for (const char* name : {"File", "Message", "Insert", "Options", "Format Text", "Review"}) {
        SIZE size;
        GetTextExtentPoint32A(dc, name, static_cast<int>(std::strlen(name)), &size);
        RECT tab = {x, 3, x + size.cx + 20, kTabsHeight};
        const bool selected = std::strcmp(name, "Message") == 0;
        if (selected)
            FillRect(dc, &tab, light);
        SetTextColor(dc, selected ? RGB(0x2B, 0x57, 0x9A) : RGB(0xFF, 0xFF, 0xFF));
        DrawTextA(dc, name, -1, &tab, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        x = tab.right + 2;
    }
    SetTextColor(dc, RGB(0x44, 0x44, 0x44));
    // Group labels and the separators after each group.
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0xD0, 0xD0, 0xD0));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    const struct {
        int left, right;
        const char* label;
    } groups[] = {{4, 78, "Send"}, {80, 160, RibbonControl.groupLabel.c_str()}};
    for (const auto& g : groups) {
        RECT label = {g.left, band.bottom - kGroupLabelHeight, g.right, band.bottom - 2};
        DrawTextA(dc, g.label, -1, &label, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        MoveToEx(dc, g.right, band.top + 6, nullptr);
        LineTo(dc, g.right, band.bottom - 6);
    }
    SelectObject(dc, oldPen);
    DeleteObject(pen);
    RECT edge = band;
    edge.top = band.bottom - 1;
    FillRect(dc, &edge, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DeleteObject(light);
    DeleteObject(frame);
}

} // namespace

// The extension's button as the bar shows it: its face, then its caption.
// The face is what the extension gave: two pictures (drawn where the mask is
// black) or a bitmap pasted from the clipboard.
void DrawBarButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
    const int x = r.left + 6 + (pushed ? 1 : 0), y = (r.top + r.bottom - 16) / 2 + (pushed ? 1 : 0);
    const sim::MailClient::FaceState& f = BarFace;
    if (!f.picturePixels.empty() && f.maskPixels.size() == f.picturePixels.size() &&
        f.pictureWidth == f.maskWidth) {
        for (LONG row = 0; row < f.pictureHeight; ++row)
            for (LONG column = 0; column < f.pictureWidth; ++column) {
                const size_t at = (static_cast<size_t>(row) * f.pictureWidth + column) * 4;
                if (f.maskPixels[at] || f.maskPixels[at + 1] || f.maskPixels[at + 2])
                    continue;
                SetPixel(
                    dc, x + column, y + row,
                    RGB(f.picturePixels[at + 2], f.picturePixels[at + 1], f.picturePixels[at]));
            }
    } else if (f.dib.size() >= sizeof(BITMAPINFOHEADER)) {
        const auto* info = reinterpret_cast<const BITMAPINFO*>(f.dib.data());
        const BITMAPINFOHEADER& header = info->bmiHeader;
        const size_t colours = header.biBitCount <= 8
                                   ? (header.biClrUsed ? header.biClrUsed : 1u << header.biBitCount)
                                   : 0;
        const BYTE* bits = f.dib.data() + header.biSize + colours * 4;
        StretchDIBits(dc, x, y, 16, 16, 0, 0, header.biWidth, header.biHeight, bits, info,
                      DIB_RGB_COLORS, SRCCOPY);
    }
    char caption[64] = "";
    GetWindowTextA(item.hwndItem, caption, sizeof caption);
    RECT text = r;
    text.left = x + 20;
    SelectObject(dc, GuiFont);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, caption, -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (item.itemState & ODS_FOCUS) {
        InflateRect(&r, -3, -3);
        DrawFocusRect(dc, &r);
    }
}

// The add-in's large ribbon button: the picture its getImage gave, drawn
// with its alpha over the band, the label under it.
void DrawRibbonButton(const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    const bool pushed = (item.itemState & ODS_SELECTED) != 0;
    HBRUSH band = CreateSolidBrush(pushed ? RGB(0xC5, 0xD8, 0xF0) : RGB(0xF5, 0xF6, 0xF7));
    FillRect(dc, &r, band);
    DeleteObject(band);
    if (pushed)
        FrameRect(dc, &r, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    const sim::RibbonButton& b = RibbonControl;
    const LONG w = b.imageWidth, h = b.imageHeight;
    if (w > 0 && h > 0 && b.imagePixels.size() == static_cast<size_t>(w) * h * 4) {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = w;
        info.bmiHeader.biHeight = -h;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        HBITMAP image = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (image && bits) {
            std::memcpy(bits, b.imagePixels.data(), b.imagePixels.size());
            HDC source = CreateCompatibleDC(dc);
            HGDIOBJ old = SelectObject(source, image);
            BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
            const int x = (r.left + r.right - 32) / 2, y = r.top + 4;
            AlphaBlend(dc, x, y, 32, 32, source, 0, 0, w, h, blend);
            SelectObject(source, old);
            DeleteDC(source);
        }
        if (image)
            DeleteObject(image);
    }
    RECT text = r;
    text.top += 40;
    SelectObject(dc, GuiFont);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, b.label.c_str(), -1, &text, DT_CENTER | DT_TOP | DT_SINGLELINE);
}

// A frame: its bar (or, on the compose window with a ribbon, the ribbon),
// and under it the body with the message's text.
void PaintFrame(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    RECT client;
    GetClientRect(window, &client);
    const bool ribbon = Ribbon && window == ComposeWindow;
    const int top = ribbon ? kTabsHeight + kBandHeight : kBarHeight;
    if (ribbon) {
        PaintRibbon(dc, client);
    } else {
        RECT bar = client;
        bar.bottom = kBarHeight;
        FillRect(dc, &bar, GetSysColorBrush(COLOR_BTNFACE));
    }
    RECT body = client;
    body.top = top;
    FillRect(dc, &body, GetSysColorBrush(COLOR_WINDOW));
    if (const char* text = static_cast<const char*>(GetPropA(window, "QvBody"))) {
        SelectObject(dc, GuiFont);
        SetBkMode(dc, TRANSPARENT);
        InflateRect(&body, -8, -8);
        DrawTextA(dc, text, -1, &body, DT_LEFT | DT_WORDBREAK | DT_NOPREFIX);
    }
    EndPaint(window, &paint);
}
