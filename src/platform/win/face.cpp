// The button face on Windows: bitmaps from the library's resources, the
// clipboard formats PasteFace reads, and OLE picture objects.
#include "platform.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// The packed device-independent form of `bitmap` (header, colour table,
// rows), in a global block; null on any failure.
HGLOBAL PackedDibFromBitmap(HBITMAP bitmap) {
    BITMAP info;
    if (!bitmap || GetObjectA(bitmap, sizeof info, &info) != sizeof info)
        return nullptr;
    const WORD bitCount = static_cast<WORD>(info.bmPlanes * info.bmBitsPixel);
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = BI_RGB;
    const DWORD entries = bitCount <= 8 ? (1u << bitCount) : 0;
    const SIZE_T headerBytes = sizeof(BITMAPINFOHEADER) + entries * sizeof(RGBQUAD);

    HDC screen = GetDC(nullptr);
    if (!screen)
        return nullptr;
    HPALETTE palette = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    HPALETTE oldPalette = SelectPalette(screen, palette, FALSE);
    RealizePalette(screen);

    HGLOBAL block = GlobalAlloc(GMEM_FIXED, headerBytes);
    bool ok = block != nullptr;
    if (ok) {
        std::memcpy(block, &header, sizeof header);
        BITMAPINFO* bits = static_cast<BITMAPINFO*>(block);
        ok = GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight), nullptr, bits,
                       DIB_RGB_COLORS) != 0;
        if (ok && bits->bmiHeader.biSizeImage == 0)
            bits->bmiHeader.biSizeImage =
                ((bitCount * static_cast<DWORD>(info.bmWidth) + 31) & ~31u) / 8 *
                static_cast<DWORD>(info.bmHeight);
    }
    if (ok) {
        const SIZE_T total = headerBytes + static_cast<BITMAPINFO*>(block)->bmiHeader.biSizeImage;
        HGLOBAL grown = GlobalReAlloc(block, total, GMEM_MOVEABLE);
        ok = grown != nullptr;
        if (ok) {
            block = grown;
            void* locked = GlobalLock(block);
            ok = locked && GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.bmHeight),
                                     static_cast<BYTE*>(locked) + headerBytes,
                                     static_cast<BITMAPINFO*>(locked), DIB_RGB_COLORS) != 0;
            if (locked)
                GlobalUnlock(block);
        }
    }
    SelectPalette(screen, oldPalette, FALSE);
    ReleaseDC(nullptr, screen);
    if (!ok && block) {
        GlobalFree(block);
        block = nullptr;
    }
    return block;
}

// A monochrome bitmap of the face's size: 1 (white) where the face has the
// colour of its top-left pixel, 0 elsewhere.
HBITMAP MaskFromFace(HBITMAP face, int width, int height) {
    HBITMAP mask = CreateBitmap(width, height, 1, 1, nullptr);
    if (!mask)
        return nullptr;
    HDC faceDc = CreateCompatibleDC(nullptr);
    HDC maskDc = CreateCompatibleDC(nullptr);
    if (faceDc && maskDc) {
        HGDIOBJ oldFace = SelectObject(faceDc, face);
        HGDIOBJ oldMask = SelectObject(maskDc, mask);
        SetBkColor(faceDc, GetPixel(faceDc, 0, 0));
        SetTextColor(faceDc, RGB(255, 255, 255));
        BitBlt(maskDc, 0, 0, width, height, faceDc, 0, 0, SRCCOPY);
        SelectObject(faceDc, oldFace);
        SelectObject(maskDc, oldMask);
    }
    if (faceDc)
        DeleteDC(faceDc);
    if (maskDc)
        DeleteDC(maskDc);
    return mask;
}

// Allocation of the face's blocks: zero-initialised and shareable.
constexpr UINT kFaceBlockFlags = GMEM_ZEROINIT | GMEM_DDESHARE;

// Puts a copy of `data` (`bytes` long) on the open clipboard as `format`, in
// a block allocated with `flags`; the block is freed when refused.
void PutCopy(UINT format, const void* data, SIZE_T bytes, UINT flags) {
    HGLOBAL block = GlobalAlloc(flags, bytes);
    if (!block)
        return;
    if (void* p = GlobalLock(block)) {
        std::memcpy(p, data, bytes);
        GlobalUnlock(block);
        if (SetClipboardData(format, block))
            return;
    }
    GlobalFree(block);
}

void PutFaceAndMask(HBITMAP face) {
    BITMAP info;
    if (GetObjectA(face, sizeof info, &info) != sizeof info)
        return;
    HBITMAP mask = MaskFromFace(face, info.bmWidth, info.bmHeight);
    if (!OpenClipboard(nullptr)) {
        if (mask)
            DeleteObject(mask);
        return;
    }
    EmptyClipboard();
    if (HGLOBAL dib = PackedDibFromBitmap(face)) {
        if (!SetClipboardData(CF_DIB, dib))
            GlobalFree(dib);
    }
    const UINT faceFormat = RegisterClipboardFormatA("Toolbar Button Face");
    const UINT maskFormat = RegisterClipboardFormatA("Toolbar Button Mask");

    // The mask's header and rows, for the mask block.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } maskInfo = {};
    maskInfo.header.biSize = sizeof(BITMAPINFOHEADER);
    std::vector<BYTE> rows;
    HDC screen = GetDC(nullptr);
    if (mask && screen &&
        GetDIBits(screen, mask, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&maskInfo),
                  DIB_RGB_COLORS)) {
        rows.assign(maskInfo.header.biSizeImage + 4, 0);
    }

    if (HANDLE dib = GetClipboardData(CF_DIB)) {
        if (const void* p = GlobalLock(dib)) {
            PutCopy(faceFormat, p, GlobalSize(dib), kFaceBlockFlags);
            GlobalUnlock(dib);
        }
    }

    if (!rows.empty() && GetDIBits(screen, mask, 0, static_cast<UINT>(info.bmHeight), rows.data(),
                                   reinterpret_cast<BITMAPINFO*>(&maskInfo), DIB_RGB_COLORS)) {
        // Header and colour table take the first 48 bytes, the rows follow;
        // the block is 50 bytes longer than the rows.
        const SIZE_T rowBytes = maskInfo.header.biSizeImage;
        std::vector<BYTE> block(rowBytes + 50, 0);
        std::memcpy(block.data(), &maskInfo, sizeof maskInfo);
        std::memcpy(block.data() + sizeof maskInfo, rows.data(), rowBytes);
        PutCopy(maskFormat, block.data(), block.size(), kFaceBlockFlags);
    }
    if (screen)
        ReleaseDC(nullptr, screen);
    if (mask)
        DeleteObject(mask);
    CloseClipboard();
}

// ---- The user's clipboard ----------------------------------------------------------

bool IsGdiFormat(UINT format) {
    return format == CF_BITMAP || format == CF_ENHMETAFILE || format == CF_PALETTE ||
           format == CF_METAFILEPICT || format == CF_OWNERDISPLAY || format == CF_DSPBITMAP ||
           format == CF_DSPENHMETAFILE || format == CF_DSPMETAFILEPICT ||
           (format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST);
}

} // namespace

struct SavedClipboard {
    struct Entry {
        UINT format;
        std::vector<BYTE> bytes; // a memory block's contents
        HANDLE object = nullptr; // a copied bitmap or enhanced metafile
    };
    std::vector<Entry> entries;
};

bool IsWindows95Or98() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version)) {
        version.dwOSVersionInfoSize = sizeof version;
        if (!GetVersionExA(&version))
            return false;
    }
    return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion == 4 &&
           (version.dwMinorVersion == 0 || version.dwMinorVersion == 10);
}

void PutFaceOnClipboard(HMODULE module, int faceId, int face9xId) {
    if (IsWindows95Or98()) {
        HBITMAP face9x = LoadBitmapA(module, MAKEINTRESOURCEA(face9xId));
        if (!face9x)
            return;
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            if (SetClipboardData(CF_BITMAP, face9x))
                face9x = nullptr; // the clipboard owns it now
            CloseClipboard();
        }
        if (face9x)
            DeleteObject(face9x);
        return;
    }
    HBITMAP face = LoadBitmapA(module, MAKEINTRESOURCEA(faceId));
    if (!face)
        return;
    PutFaceAndMask(face);
    DeleteObject(face);
}

IDispatch* NewBitmapPicture(HMODULE module, int bitmapId) {
    // A DIB section keeps the bits as they are stored: the large face's alpha
    // channel would not survive a device-dependent bitmap.
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(module, MAKEINTRESOURCEA(bitmapId), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return nullptr;
    PICTDESC description = {};
    description.cbSizeofstruct = sizeof description;
    description.picType = PICTYPE_BITMAP;
    description.bmp.hbitmap = bitmap;
    description.bmp.hpal = static_cast<HPALETTE>(GetStockObject(DEFAULT_PALETTE));
    IDispatch* picture = nullptr;
    if (FAILED(OleCreatePictureIndirect(&description, IID_IPictureDisp, TRUE,
                                        reinterpret_cast<void**>(&picture))) ||
        !picture) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return picture;
}

SavedClipboard* SaveClipboard() {
    if (!OpenClipboard(nullptr))
        return nullptr;
    SavedClipboard* saved = new (std::nothrow) SavedClipboard;
    if (!saved) {
        CloseClipboard();
        return nullptr;
    }
    for (UINT format = EnumClipboardFormats(0); format; format = EnumClipboardFormats(format)) {
        HANDLE data = GetClipboardData(format);
        if (!data)
            continue;
        SavedClipboard::Entry entry;
        entry.format = format;
        if (format == CF_BITMAP) {
            entry.object = CopyImage(data, IMAGE_BITMAP, 0, 0, 0);
        } else if (format == CF_ENHMETAFILE) {
            entry.object = CopyEnhMetaFileA(static_cast<HENHMETAFILE>(data), nullptr);
        } else if (!IsGdiFormat(format)) {
            const SIZE_T bytes = GlobalSize(data);
            const BYTE* p = static_cast<const BYTE*>(GlobalLock(data));
            if (p) {
                entry.bytes.assign(p, p + bytes);
                GlobalUnlock(data);
            }
            if (!p || bytes == 0)
                continue;
        }
        if (entry.object || !entry.bytes.empty())
            saved->entries.push_back(std::move(entry));
    }
    CloseClipboard();
    return saved;
}

void RestoreClipboard(SavedClipboard* saved) {
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        if (saved) {
            for (SavedClipboard::Entry& entry : saved->entries) {
                if (entry.object) {
                    if (SetClipboardData(entry.format, entry.object))
                        entry.object = nullptr;
                } else {
                    PutCopy(entry.format, entry.bytes.data(), entry.bytes.size(), GMEM_MOVEABLE);
                }
            }
        }
        CloseClipboard();
    }
    if (saved) {
        for (SavedClipboard::Entry& entry : saved->entries) {
            if (entry.object && entry.format == CF_BITMAP)
                DeleteObject(entry.object);
            else if (entry.object)
                DeleteEnhMetaFile(static_cast<HENHMETAFILE>(entry.object));
        }
        delete saved;
    }
}
