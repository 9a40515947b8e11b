// The compose button's face image on its way to the host: through the
// clipboard, where the button's PasteFace takes it, or as picture objects for
// its Picture and Mask properties. On Windows these are the system's
// clipboard, GDI and OLE; the substitute platform has none of them, records
// the calls and answers with placeholder pictures.
#pragma once

// True on Windows 95 and 98 (the 9x platform at version 4.0 or 4.10).
bool IsWindows95Or98();

// Puts the face bitmap `faceId` of `module` on the clipboard the way PasteFace
// reads it: as CF_DIB and "Toolbar Button Face", with "Toolbar Button Mask"
// made from the colour of the face's top-left pixel. On Windows 95 and 98 it
// is bitmap `face9xId` alone, as CF_BITMAP. What fails leaves its format
// missing; nothing is reported.
void PutFaceOnClipboard(HMODULE module, int faceId, int face9xId);

// A picture object (IPictureDisp) that owns bitmap `bitmapId` of `module`;
// null when the bitmap cannot be loaded or the picture made.
IDispatch* NewBitmapPicture(HMODULE module, int bitmapId);

// What the user had on the clipboard, kept while the face passes through it.
struct SavedClipboard;
// Copies every format on the clipboard that can be copied: memory blocks,
// bitmaps and enhanced metafiles. Null when the clipboard cannot be opened.
SavedClipboard* SaveClipboard();
// Empties the clipboard, puts back what `saved` holds and frees it. With
// null the clipboard is only emptied.
void RestoreClipboard(SavedClipboard* saved);
