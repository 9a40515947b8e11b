// Office command bars of the explorer and of each inspector: bars, control
// collections, buttons and popups, and the click that reaches every button
// sharing the clicked button's Id.
#include "model_internal.h"

#include <algorithm>

namespace sim {

namespace {

constexpr LONG msoBarTypeNormal = 0;
constexpr LONG msoBarTypeMenuBar = 1;

bool IsText(const VARIANT* v) {
    return v && (v->vt == VT_BSTR || v->vt == (VT_BYREF | VT_BSTR));
}

struct Builtin {
    LONG type;
    LONG id;
    const char* caption;
};

// Menu captions by language: File, Edit, View, Go, Insert, Format, Tools, Actions, Help.
struct Menus {
    const char* file;
    const char* edit;
    const char* view;
    const char* go;
    const char* insert;
    const char* format;
    const char* tools;
    const char* actions;
    const char* help;
};

const Menus& MenusFor(MenuLanguage language) {
    static const Menus kEnglish{"&File",   "&Edit",  "&View",    "&Go",  "&Insert",
                                "F&ormat", "&Tools", "&Actions", "&Help"};
    static const Menus kSpanish{"&Archivo", "&Edici\xF3n",   "&Ver",      "&Ir",   "&Insertar",
                                "&Formato", "&Herramientas", "Acc&iones", "Ay&uda"};
    static const Menus kGerman{"&Datei",       "&Bearbeiten",  "&Ansicht",
                               "&Wechseln zu", "&Einf\xFCgen", "F&ormat",
                               "E&xtras",      "A&ktionen",    "&?"};
    static const Menus kFrench{"&Fichier", "&Edition", "&Affichage", "A&ller", "&Insertion",
                               "F&ormat",  "&Outils",  "&Actions",   "&?"};
    switch (language) {
    case MenuLanguage::Spanish:
        return kSpanish;
    case MenuLanguage::German:
        return kGerman;
    case MenuLanguage::Other:
        return kFrench;
    default:
        return kEnglish;
    }
}

void AddBuiltins(ControlsObject* controls, const std::vector<Builtin>& items) {
    for (const Builtin& b : items)
        if (b.id != kNoSendReceiveControl)
            controls->AddControl(b.type, b.id, b.caption, false, controls->items.size());
}

Ptr<BarObject> NewBar(World* world, BarsObject* bars, const std::string& name, LONG type) {
    Ptr<BarObject> bar = Ptr<BarObject>::Adopt(new BarObject(world, name, type));
    bars->bars.push_back(bar);
    return bar;
}

// A menu bar whose popups each hold a few commands; the Tools popup is the
// fifth entry of the explorer's menu.
void AddMenus(ControlsObject* menu, const std::vector<const char*>& captions, const char* tools) {
    for (const char* caption : captions) {
        Ptr<ControlObject> popup =
            menu->AddControl(msoControlPopup, 30002 + static_cast<LONG>(menu->items.size()),
                             caption, false, menu->items.size());
        if (caption == tools)
            AddBuiltins(popup->children.Get(), {{msoControlButton, 353, "&Address Book..."},
                                                {msoControlButton, 522, "&Options..."}});
        else
            AddBuiltins(popup->children.Get(), {{msoControlButton, 2521, "&Close"}});
    }
}

} // namespace

void BuildBars(World* world, BarsObject* bars, WindowKind kind) {
    const Menus& m = MenusFor(world->config.menuLanguage);
    Ptr<BarObject> menu = NewBar(world, bars, "Menu Bar", msoBarTypeMenuBar);
    Ptr<BarObject> standard = NewBar(world, bars, "Standard", msoBarTypeNormal);
    if (kind == WindowKind::Explorer) {
        AddMenus(menu->controls.Get(), {m.file, m.edit, m.view, m.go, m.tools, m.actions, m.help},
                 m.tools);
        AddBuiltins(standard->controls.Get(),
                    {{msoControlButton, 1873, "&New"},
                     {msoControlButton, 4, "&Print..."},
                     {msoControlButton, 478, "&Delete"},
                     {msoControlButton, 354, "&Reply"},
                     {msoControlButton, world->SendReceiveId(), "Send/Re&ceive"},
                     {msoControlButton, 5598, "&Find"}});
        Ptr<BarObject> advanced = NewBar(world, bars, "Advanced", msoBarTypeNormal);
        AddBuiltins(advanced->controls.Get(), {{msoControlButton, 5, "Outlook &Today"}});
    } else {
        AddMenus(menu->controls.Get(),
                 {m.file, m.edit, m.view, m.insert, m.format, m.tools, m.actions, m.help}, m.tools);
        AddBuiltins(standard->controls.Get(), {{msoControlButton, 2617, "&Send"},
                                               {msoControlButton, 3, "&Save"},
                                               {msoControlButton, 4, "&Print"},
                                               {msoControlButton, 21, "Cu&t"},
                                               {msoControlButton, 19, "&Copy"},
                                               {msoControlButton, 22, "&Paste"},
                                               {msoControlButton, 1079, "Insert &File..."}});
        Ptr<BarObject> formatting = NewBar(world, bars, "Formatting", msoBarTypeNormal);
        AddBuiltins(formatting->controls.Get(), {{msoControlButton, 113, "&Bold"},
                                                 {msoControlButton, 114, "&Italic"},
                                                 {msoControlButton, 115, "&Underline"}});
    }
}

ControlObject* SearchControls(ControlsObject* controls,
                              const std::function<bool(ControlObject&)>& match) {
    if (!controls)
        return nullptr;
    for (const Ptr<ControlObject>& c : controls->items) {
        if (match(*c))
            return c.Get();
        if (ControlObject* found = SearchControls(c->children.Get(), match))
            return found;
    }
    return nullptr;
}

ControlObject* AsControl(World* world, IUnknown* object) {
    return dynamic_cast<ControlObject*>(world->FindTracked(object));
}

bool World::ClickBroadcast(ControlObject* clicked) {
    if (clicked->type != msoControlButton)
        return false;
    Ptr<ControlObject> keep(clicked);
    std::vector<Ptr<ControlObject>> same;
    for (ControlObject* c : controls)
        if (c->id == clicked->id && c->type == msoControlButton)
            same.push_back(Ptr<ControlObject>(c));
    VARIANT_BOOL cancel = VARIANT_FALSE;
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_BYREF | VT_BOOL; // CancelDefault
    args[0].pboolVal = &cancel;
    args[1].vt = VT_DISPATCH; // Ctrl
    args[1].pdispVal = static_cast<IDispatch*>(clicked);
    for (const Ptr<ControlObject>& c : same)
        if (ConnectionPoint* events = c->Events())
            events->Fire(DISPID_CommandBarButtonEvents_Click, "Click", args, 2,
                         clicked->Name() + ", &False");
    return cancel != VARIANT_FALSE;
}

// ---- CommandBars --------------------------------------------------------------------------------

namespace {
enum BarsMember { kBarsCount, kBarsItem, kBarsActiveMenuBar, kBarsFindControl };
const Member kBarsMembers[] = {
    {"Count", Access::Get, 0, 0},
    {"Item", Access::Get, 1, 1},
    {"ActiveMenuBar", Access::Get, 0, 0},
    {"FindControl", Access::Method, 0, 4},
};

// FindControl's filters: Type, Id, Tag, Visible (each optional).
HRESULT FindFilter(Call& call, std::function<bool(ControlObject&)>* match) {
    LONG type = 0, id = 0;
    std::string tag;
    bool visible = false;
    const bool hasType = !call.Missing(0), hasId = !call.Missing(1), hasTag = !call.Missing(2);
    HRESULT hr = S_OK;
    if (hasType && FAILED(hr = call.ArgLong(0, &type)))
        return hr;
    if (hasId && FAILED(hr = call.ArgLong(1, &id)))
        return hr;
    if (hasTag && FAILED(hr = call.ArgString(2, &tag)))
        return hr;
    if (!call.Missing(3) && FAILED(hr = call.ArgBool(3, &visible)))
        return hr;
    *match = [=](ControlObject& c) {
        return (!hasType || c.type == type) && (!hasId || c.id == id) &&
               (!hasTag || c.tag == tag) && (!visible || c.visible);
    };
    return S_OK;
}
} // namespace

BarsObject::BarsObject(World* world, WindowKind kind)
    : DispatchObject(world, "CommandBars", kBarsMembers, {IID__CommandBars}) {
    BuildBars(world, this, kind);
}

BarObject* BarsObject::Bar(const std::string& name) const {
    for (const Ptr<BarObject>& b : bars)
        if (SameText(b->name, name))
            return b.Get();
    return nullptr;
}

void BarsObject::DeleteAll() {
    for (const Ptr<BarObject>& b : bars)
        b->controls->DeleteAll();
}

HRESULT BarsObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kBarsCount:
        return call.ReturnLong(static_cast<LONG>(bars.size()));
    case kBarsItem: {
        if (IsText(call.Arg(0))) {
            std::string name;
            call.ArgString(0, &name);
            BarObject* bar = Bar(name);
            return bar ? call.ReturnObject(bar) : E_INVALIDARG;
        }
        return ReturnItemAt(call, bars);
    }
    case kBarsActiveMenuBar:
        for (const Ptr<BarObject>& b : bars)
            if (b->type == msoBarTypeMenuBar)
                return call.ReturnObject(b.Get());
        return call.ReturnObject(nullptr);
    case kBarsFindControl: {
        std::function<bool(ControlObject&)> match;
        if (HRESULT hr = FindFilter(call, &match); FAILED(hr))
            return hr;
        for (const Ptr<BarObject>& b : bars)
            if (ControlObject* found = SearchControls(b->controls.Get(), match))
                return call.ReturnObject(found);
        return call.ReturnObject(nullptr);
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- CommandBar ---------------------------------------------------------------------------------

namespace {
enum BarMember { kBarName, kBarNameLocal, kBarControls, kBarVisible, kBarType, kBarFindControl };
const Member kBarMembers[] = {
    {"Name", Access::Get, 0, 0},     {"NameLocal", Access::Get, 0, 0},
    {"Controls", Access::Get, 0, 0}, {"Visible", Access::GetPut, 0, 0},
    {"Type", Access::Get, 0, 0},     {"FindControl", Access::Method, 0, 5},
};
} // namespace

BarObject::BarObject(World* world, const std::string& n, LONG t)
    : DispatchObject(world, "CommandBar", kBarMembers, {IID_CommandBar}), name(n), type(t) {
    controls = Ptr<ControlsObject>::Adopt(new ControlsObject(world, n));
}

HRESULT BarObject::Dispatch(size_t index, Call& call) {
    if (call.IsPut()) {
        bool v;
        if (HRESULT hr = call.ValueBool(&v); FAILED(hr))
            return hr;
        visible = v;
        return S_OK;
    }
    switch (index) {
    case kBarName:
    case kBarNameLocal:
        return call.ReturnString(name);
    case kBarControls:
        return call.ReturnObject(controls.Get());
    case kBarVisible:
        return call.ReturnBool(visible);
    case kBarType:
        return call.ReturnLong(type);
    case kBarFindControl: {
        std::function<bool(ControlObject&)> match;
        if (HRESULT hr = FindFilter(call, &match); FAILED(hr))
            return hr;
        bool recursive = false;
        if (!call.Missing(4))
            if (HRESULT hr = call.ArgBool(4, &recursive); FAILED(hr))
                return hr;
        if (recursive)
            return call.ReturnObject(SearchControls(controls.Get(), match));
        for (const Ptr<ControlObject>& c : controls->items)
            if (match(*c))
                return call.ReturnObject(c.Get());
        return call.ReturnObject(nullptr);
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- CommandBarControls -------------------------------------------------------------------------

namespace {
enum ControlsMember { kControlsCount, kControlsItem, kControlsAdd };
const Member kControlsMembers[] = {
    {"Count", Access::Get, 0, 0},
    {"Item", Access::Get, 1, 1},
    {"Add", Access::Method, 0, 5},
};
} // namespace

ControlsObject::ControlsObject(World* world, std::string bar)
    : DispatchObject(world, "CommandBarControls", kControlsMembers, {IID_CommandBarControls}),
      barName(std::move(bar)) {}

Ptr<ControlObject> ControlsObject::AddControl(LONG type, LONG id, const std::string& caption,
                                              bool temporary, size_t before) {
    Ptr<ControlObject> c = Ptr<ControlObject>::Adopt(new ControlObject(world_, type, id));
    c->caption = caption;
    c->temporary = temporary;
    c->parent = this;
    if (type == msoControlPopup)
        c->children = Ptr<ControlsObject>::Adopt(new ControlsObject(world_, barName));
    items.insert(items.begin() + static_cast<std::ptrdiff_t>(std::min(before, items.size())), c);
    return c;
}

void ControlsObject::DeleteAll() {
    std::vector<Ptr<ControlObject>> doomed;
    doomed.swap(items);
    for (const Ptr<ControlObject>& c : doomed)
        c->MarkDeleted();
}

HRESULT ControlsObject::Dispatch(size_t index, Call& call) {
    switch (index) {
    case kControlsCount:
        return call.ReturnLong(static_cast<LONG>(items.size()));
    case kControlsItem: {
        if (IsText(call.Arg(0))) {
            std::string caption;
            call.ArgString(0, &caption);
            for (const Ptr<ControlObject>& c : items)
                if (SameCaption(c->caption, caption))
                    return call.ReturnObject(c.Get());
            return E_INVALIDARG;
        }
        return ReturnItemAt(call, items);
    }
    case kControlsAdd: {
        LONG type = msoControlButton, id = 1, before = static_cast<LONG>(items.size()) + 1;
        std::string parameter;
        bool temporary = false;
        HRESULT hr = S_OK;
        if (!call.Missing(0) && FAILED(hr = call.ArgLong(0, &type)))
            return hr;
        if (!call.Missing(1) && FAILED(hr = call.ArgLong(1, &id)))
            return hr;
        if (!call.Missing(2) && FAILED(hr = call.ArgString(2, &parameter)))
            return hr;
        if (!call.Missing(3) && FAILED(hr = call.ArgLong(3, &before)))
            return hr;
        if (!call.Missing(4) && FAILED(hr = call.ArgBool(4, &temporary)))
            return hr;
        if (type != msoControlButton && type != msoControlPopup)
            return call.Raise(E_INVALIDARG, "Invalid procedure call or argument");
        if (before < 1 || static_cast<size_t>(before) > items.size() + 1)
            return call.Raise(E_INVALIDARG, "Invalid procedure call or argument");
        // A built-in Id makes a copy of that command.
        std::string caption;
        if (id != 1)
            for (ControlObject* c : world_->controls)
                if (c->id == id) {
                    caption = c->caption;
                    break;
                }
        Ptr<ControlObject> c =
            AddControl(type, id, caption, temporary, static_cast<size_t>(before - 1));
        c->parameter = parameter;
        return call.ReturnObject(c.Get());
    }
    }
    return DISP_E_MEMBERNOTFOUND;
}

// ---- Controls -----------------------------------------------------------------------------------

namespace {
enum ControlMember {
    kCtlBeginGroup,
    kCtlCaption,
    kCtlTooltipText,
    kCtlTag,
    kCtlOleUsage,
    kCtlVisible,
    kCtlEnabled,
    kCtlParameter,
    kCtlId,
    kCtlType,
    kCtlIndex,
    kCtlMove,
    kCtlExecute,
    kCtlDelete,
    kCtlFaceId, // buttons from here
    kCtlStyle,
    kCtlPicture,
    kCtlMask,
    kCtlPasteFace,
    kCtlControls, // popups
};
const Member kControlMembers[] = {
    {"BeginGroup", Access::GetPut, 0, 0},
    {"Caption", Access::GetPut, 0, 0},
    {"TooltipText", Access::GetPut, 0, 0},
    {"Tag", Access::GetPut, 0, 0},
    {"OLEUsage", Access::GetPut, 0, 0},
    {"Visible", Access::GetPut, 0, 0},
    {"Enabled", Access::GetPut, 0, 0},
    {"Parameter", Access::GetPut, 0, 0},
    {"Id", Access::Get, 0, 0},
    {"Type", Access::Get, 0, 0},
    {"Index", Access::Get, 0, 0},
    {"Move", Access::Method, 0, 2},
    {"Execute", Access::Method, 0, 0},
    {"Delete", Access::Method, 0, 1},
    {"FaceId", Access::GetPut, 0, 0},
    {"Style", Access::GetPut, 0, 0},
    {"Picture", Access::GetPut, 0, 0, true},
    {"Mask", Access::GetPut, 0, 0, true},
    {"PasteFace", Access::Method, 0, 0},
    {"Controls", Access::Get, 0, 0},
};
} // namespace

ControlObject::ControlObject(World* world, LONG t, LONG i)
    : DispatchObject(world, "Control", kControlMembers, {IID_CommandBarControl},
                     t == msoControlButton ? &IID__CommandBarButtonEvents : nullptr),
      type(t), id(i) {
    world->controls.push_back(this);
}

ControlObject::~ControlObject() {
    Unlist();
}

void ControlObject::Unlist() {
    if (world_) {
        auto& all = world_->controls;
        all.erase(std::remove(all.begin(), all.end(), this), all.end());
    }
}

void ControlObject::LeaveParent() {
    if (parent) {
        auto& siblings = parent->items;
        siblings.erase(
            std::remove_if(siblings.begin(), siblings.end(),
                           [this](const Ptr<ControlObject>& c) { return c.Get() == this; }),
            siblings.end());
    }
}

LONG ControlObject::Position() const {
    if (parent)
        for (size_t i = 0; i < parent->items.size(); ++i)
            if (parent->items[i].Get() == this)
                return static_cast<LONG>(i + 1);
    return 0;
}

void* ControlObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID__CommandBarButton))
        return type == msoControlButton ? static_cast<IDispatch*>(this) : nullptr;
    if (IsEqualIID(iid, IID_CommandBarPopup))
        return type == msoControlPopup ? static_cast<IDispatch*>(this) : nullptr;
    return DispatchObject::Find(iid);
}

void ControlObject::MarkDeleted() {
    if (deleted)
        return;
    Ptr<ControlObject> keep(this);
    deleted = true;
    Unlist();
    if (children)
        children->DeleteAll();
    LeaveParent();
    parent = nullptr;
    picture.Reset();
    mask.Reset();
    // A deleted control's connections end with it.
    DropSinks();
}

HRESULT ControlObject::Execute() {
    const LONG sendReceive = world_->SendReceiveId();
    if (sendReceive != kNoSendReceiveControl && id == sendReceive)
        world_->DeliverQueue(true);
    world_->ClickBroadcast(this); // a button's click; nothing for a popup
    return S_OK;
}

bool ControlObject::HasMember(size_t index) const {
    if (index >= kCtlFaceId && index <= kCtlPasteFace)
        return type == msoControlButton;
    if (index == kCtlControls)
        return type == msoControlPopup;
    return true;
}

HRESULT ControlObject::Unusable(std::string* description) const {
    if (!deleted)
        return S_OK;
    *description = "The control has been deleted.";
    return E_FAIL;
}

HRESULT ControlObject::Dispatch(size_t index, Call& call) {
    HRESULT hr = S_OK;
    if (call.IsPut()) {
        switch (index) {
        case kCtlBeginGroup:
            return call.ValueBool(&beginGroup);
        case kCtlVisible:
            return call.ValueBool(&visible);
        case kCtlEnabled:
            return call.ValueBool(&enabled);
        case kCtlCaption:
            return call.ValueString(&caption);
        case kCtlTooltipText:
            return call.ValueString(&tooltip);
        case kCtlTag:
            return call.ValueString(&tag);
        case kCtlParameter:
            return call.ValueString(&parameter);
        case kCtlOleUsage:
            return call.ValueLong(&oleUsage);
        case kCtlFaceId:
            return call.ValueLong(&faceId);
        case kCtlStyle:
            return call.ValueLong(&style);
        case kCtlPicture:
        case kCtlMask: {
            IUnknown* object;
            if (FAILED(hr = call.ValueObject(&object)))
                return hr;
            (index == kCtlPicture ? picture : mask) = Ptr<IUnknown>(object);
            if (index == kCtlPicture)
                RecordPictureBitmap(object, &face.pictureWidth, &face.pictureHeight,
                                    &face.pictureBitsPixel, &face.picturePixels);
            else
                RecordPictureBitmap(object, &face.maskWidth, &face.maskHeight, &face.maskBitsPixel,
                                    &face.maskPixels);
            return S_OK;
        }
        }
        return DISP_E_MEMBERNOTFOUND;
    }
    switch (index) {
    case kCtlBeginGroup:
        return call.ReturnBool(beginGroup);
    case kCtlCaption:
        return call.ReturnString(caption);
    case kCtlTooltipText:
        return call.ReturnString(tooltip.empty() ? caption : tooltip);
    case kCtlTag:
        return call.ReturnString(tag);
    case kCtlOleUsage:
        return call.ReturnLong(oleUsage);
    case kCtlVisible:
        return call.ReturnBool(visible);
    case kCtlEnabled:
        return call.ReturnBool(enabled);
    case kCtlParameter:
        return call.ReturnString(parameter);
    case kCtlId:
        return call.ReturnLong(id);
    case kCtlType:
        return call.ReturnLong(type);
    case kCtlIndex:
        return call.ReturnLong(Position());
    case kCtlMove: {
        ControlsObject* to = parent;
        if (!call.Missing(0)) {
            IUnknown* object;
            if (FAILED(hr = call.ArgObject(0, &object)))
                return hr;
            BarObject* bar = dynamic_cast<BarObject*>(world_->FindTracked(object));
            if (!bar)
                return call.Raise(E_INVALIDARG, "Invalid procedure call or argument");
            to = bar->controls.Get();
        }
        LONG before = 0; // 0: at the end
        if (!call.Missing(1) && FAILED(hr = call.ArgLong(1, &before)))
            return hr;
        Ptr<ControlObject> keep(this);
        LeaveParent();
        if (before < 1 || static_cast<size_t>(before) > to->items.size() + 1)
            before = static_cast<LONG>(to->items.size()) + 1;
        to->items.insert(to->items.begin() + (before - 1), keep);
        parent = to;
        return call.ReturnObject(this);
    }
    case kCtlExecute:
        return Execute();
    case kCtlDelete:
        MarkDeleted();
        return S_OK;
    case kCtlFaceId:
        return call.ReturnLong(faceId);
    case kCtlStyle:
        return call.ReturnLong(style);
    case kCtlPicture:
    case kCtlMask:
        return call.ReturnUnknown((index == kCtlPicture ? picture : mask).Get());
    case kCtlPasteFace:
        ++facePastes;
        RecordClipboardFace(&face);
        return S_OK;
    case kCtlControls:
        return call.ReturnObject(children.Get());
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace sim
