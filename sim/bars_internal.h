// The command bars of a window: bars, control collections and controls, and
// the face a button is given.
#pragma once

#include "dispatch_internal.h"
#include "world_internal.h"

#include <functional>
#include <string>
#include <vector>

namespace sim {

// The face a button is given, as the platform shows it (face_win.cpp,
// face_native.cpp): the clipboard at PasteFace, the bitmap of a picture.
void RecordClipboardFace(MailClient::FaceState* face);
void RecordPictureBitmap(IUnknown* picture, LONG* width, LONG* height, WORD* bitsPixel,
                         std::vector<BYTE>* pixels);

// ---- Command bars ------------------------------------------------------------------------------
class BarObject;

enum class WindowKind { Explorer, Inspector };

class BarsObject final : public DispatchObject {
public:
    BarsObject(World* world, WindowKind kind);
    std::vector<Ptr<BarObject>> bars;
    BarObject* Bar(const std::string& name) const;
    void DeleteAll();

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class ControlsObject final : public DispatchObject {
public:
    ControlsObject(World* world, std::string barName);
    std::vector<Ptr<ControlObject>> items;
    std::string barName;
    Ptr<ControlObject> AddControl(LONG type, LONG id, const std::string& caption, bool temporary,
                                  size_t before /* 0-based; size(): at the end */);
    void DeleteAll();

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class BarObject final : public DispatchObject {
public:
    BarObject(World* world, const std::string& name, LONG type);
    std::string name;
    LONG type; // msoBarTypeNormal 0, msoBarTypeMenuBar 1
    bool visible = true;
    Ptr<ControlsObject> controls;

protected:
    HRESULT Dispatch(size_t index, Call& call) override;
};

class ControlObject final : public DispatchObject {
public:
    ControlObject(World* world, LONG type, LONG id);
    ~ControlObject() override;
    void* Find(REFIID iid) override;

    LONG type;
    LONG id;
    std::string caption, tooltip, tag, parameter;
    bool visible = true, enabled = true, beginGroup = false, temporary = false;
    LONG faceId = 0, style = 0, oleUsage = 0;
    Ptr<IUnknown> picture, mask;
    unsigned facePastes = 0;
    MailClient::FaceState face;
    bool deleted = false;
    ControlsObject* parent = nullptr; // weak
    Ptr<ControlsObject> children;     // a popup's menu
    void MarkDeleted();
    HRESULT Execute();
    // Its position in its parent, from 1; 0 when it has none.
    LONG Position() const;

protected:
    bool HasMember(size_t index) const override;
    HRESULT Dispatch(size_t index, Call& call) override;
    HRESULT Unusable(std::string* description) const override;

private:
    // Leaves the client's list of controls.
    void Unlist();
    // Leaves its parent's items (`parent` is left as it is).
    void LeaveParent();
};
ControlObject* AsControl(World* world, IUnknown* object);
// The first control matching, depth first through popups.
ControlObject* SearchControls(ControlsObject* controls,
                              const std::function<bool(ControlObject&)>& match);
void BuildBars(World* world, BarsObject* bars, WindowKind kind);

} // namespace sim
