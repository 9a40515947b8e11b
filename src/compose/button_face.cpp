#include "compose/button_face.h"

#include "client/host_application.h"
#include "client/host_state.h"
#include "data/settings.h"

namespace {

// What the user had on the clipboard, put back when the face has passed
// through it, on every way out.
class ClipboardKeeper {
public:
    ClipboardKeeper() : saved_(SaveClipboard()) {}
    ClipboardKeeper(const ClipboardKeeper&) = delete;
    ClipboardKeeper& operator=(const ClipboardKeeper&) = delete;
    ~ClipboardKeeper() { RestoreClipboard(saved_); }

private:
    SavedClipboard* saved_;
};

void PasteFaceThroughClipboard(IDispatch* control) {
    ClipboardKeeper keeper;
    PutFaceOnClipboard(DataPaths.module, kFaceBitmap, kFace9xBitmap);
    ComRef<IDispatch> button = RequireAs<IDispatch>(control, IID__CommandBarButton);
    HostApplication::PasteFace(button.Get());
}

void SetPictures(IDispatch* control) {
    for (int step = 0; step < 2; ++step) {
        const bool mask = step == 1;
        ComRef<IDispatch> picture = ComRef<IDispatch>::Adopt(
            NewBitmapPicture(DataPaths.module, mask ? kFaceMaskBitmap : kFaceBitmap));
        if (!picture)
            continue;
        ComRef<IDispatch> button = RequireAs<IDispatch>(control, IID__CommandBarButton);
        if (mask)
            HostApplication::PutMask(button.Get(), picture.Get());
        else
            HostApplication::PutPicture(button.Get(), picture.Get());
    }
}

} // namespace

bool HostVersionBelow10() {
    return HostVersion < 10.0;
}

void ApplyButtonFace(IDispatch* control) {
    if (HostVersionBelow10())
        PasteFaceThroughClipboard(control);
    else
        SetPictures(control);
}
