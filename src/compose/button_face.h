// The compose button's own 16 x 16 image: through the clipboard and
// PasteFace on hosts before version 10, through the Picture and Mask
// properties from version 10 on.
#pragma once

#include "platform.h"

// Resource ids of the face: the drawing on white, its mask, the drawing on a
// solid colour for Windows 95 and 98, and the ribbon's large button (32 x 32,
// transparent where the drawing is not).
constexpr int kFaceBitmap = 102;
constexpr int kFaceMaskBitmap = 104;
constexpr int kFace9xBitmap = 105;
constexpr int kFaceLargeBitmap = 106;

bool HostVersionBelow10();

// Puts the face on `control` by the host's method. Host errors are raised;
// whatever the user had on the clipboard is there again afterwards.
void ApplyButtonFace(IDispatch* control);
