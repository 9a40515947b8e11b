// On Windows a button's face comes through the system's clipboard or as OLE
// picture objects: the client looks at what it was given, as the real
// client's PasteFace and Picture would.
#include "bars_internal.h"

#include <olectl.h>

namespace sim {
namespace {

std::string FormatName(UINT format) {
    switch (format) {
    case CF_TEXT:
        return "CF_TEXT";
    case CF_BITMAP:
        return "CF_BITMAP";
    case CF_DIB:
        return "CF_DIB";
    case CF_DIBV5:
        return "CF_DIBV5";
    case CF_UNICODETEXT:
        return "CF_UNICODETEXT";
    case CF_OEMTEXT:
        return "CF_OEMTEXT";
    case CF_LOCALE:
        return "CF_LOCALE";
    case CF_PALETTE:
        return "CF_PALETTE";
    }
    char name[128];
    const int n = GetClipboardFormatNameA(format, name, sizeof name);
    return n > 0 ? std::string(name, static_cast<size_t>(n)) : "#" + std::to_string(format);
}

std::vector<BYTE> Block(UINT format) {
    std::vector<BYTE> bytes;
    HANDLE data = GetClipboardData(format);
    if (!data)
        return bytes;
    const SIZE_T size = GlobalSize(data);
    if (const BYTE* p = static_cast<const BYTE*>(GlobalLock(data))) {
        bytes.assign(p, p + size);
        GlobalUnlock(data);
    }
    return bytes;
}

} // namespace

void RecordClipboardFace(MailClient::FaceState* face) {
    face->clipboardFormats.clear();
    face->dib.clear();
    face->buttonFace.clear();
    face->buttonMask.clear();
    if (!OpenClipboard(nullptr))
        return;
    const UINT faceFormat = RegisterClipboardFormatA("Toolbar Button Face");
    const UINT maskFormat = RegisterClipboardFormatA("Toolbar Button Mask");
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        face->clipboardFormats.push_back(FormatName(format));
        if (format == CF_DIB)
            face->dib = Block(format);
        else if (format == faceFormat)
            face->buttonFace = Block(format);
        else if (format == maskFormat)
            face->buttonMask = Block(format);
    }
    CloseClipboard();
}

void RecordPictureBitmap(IUnknown* picture, LONG* width, LONG* height, WORD* bitsPixel,
                         std::vector<BYTE>* pixels) {
    *width = *height = 0;
    *bitsPixel = 0;
    pixels->clear();
    IPicture* p = nullptr;
    if (!picture || FAILED(picture->QueryInterface(IID_IPicture, reinterpret_cast<void**>(&p))))
        return;
    OLE_HANDLE handle = 0;
    SHORT type = PICTYPE_UNINITIALIZED;
    BITMAP bitmap;
    if (SUCCEEDED(p->get_Type(&type)) && type == PICTYPE_BITMAP &&
        SUCCEEDED(p->get_Handle(&handle)) &&
        GetObjectA(reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), sizeof bitmap,
                   &bitmap) == sizeof bitmap) {
        *width = bitmap.bmWidth;
        *height = bitmap.bmHeight;
        *bitsPixel = bitmap.bmBitsPixel;
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = bitmap.bmWidth;
        info.bmiHeader.biHeight = -bitmap.bmHeight;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        pixels->resize(static_cast<size_t>(bitmap.bmWidth) * bitmap.bmHeight * 4);
        HDC screen = GetDC(nullptr);
        if (!GetDIBits(screen, reinterpret_cast<HBITMAP>(static_cast<UINT_PTR>(handle)), 0,
                       static_cast<UINT>(bitmap.bmHeight), pixels->data(), &info, DIB_RGB_COLORS))
            pixels->clear();
        ReleaseDC(nullptr, screen);
    }
    p->Release();
}

} // namespace sim
