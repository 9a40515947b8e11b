#include "compose/compose_button.h"

#include "client/host_application.h"
#include "compose/button_face.h"
#include "compose/compose_events.h"
#include "compose/event_sinks.h"
#include "dialogs/main_dialog.h"

#include <cstdio>
#include <memory>
#include <new>
#include <utility>

LONG ButtonCounter = 0;
bool RibbonServesComposeWindows = false;

namespace {

const char kCaption[] = "Quorsend";
const char kTooltip[] = "Send individual copies of this message to a list";
const char kTagFormat[] = "BlastThisMessageTag%d";
constexpr LONG kOwnFace = -102;

ComposeInspector* LiveRecords = nullptr;

void FormatTag(char (&tag)[64], LONG number) {
    std::snprintf(tag, sizeof tag, kTagFormat, static_cast<int>(number));
}

// Two interface pointers of one object (COM identity).
bool SameObject(IUnknown* a, IUnknown* b) {
    if (!a || !b)
        return false;
    ComRef<IUnknown> identityA = QueryAs<IUnknown>(a, IID_IUnknown);
    ComRef<IUnknown> identityB = QueryAs<IUnknown>(b, IID_IUnknown);
    return identityA && identityA.Get() == identityB.Get();
}

// Whether a connected handler already serves the button of the compose
// window `inspector` (a window has one "Quorsend" button).
bool ButtonHandlerServesWindow(IDispatch* inspector) {
    for (CComposeButtonEventHandler* h = CComposeButtonEventHandler::Newest(); h; h = h->Older()) {
        ComposeContext* context = h->Context();
        if (!h->Connected() || !context || !context->owner)
            continue;
        if (SameObject(context->owner->inspector.Get(), inspector))
            return true;
    }
    return false;
}

// Adds a button to `controls`, with its caption, tooltip, tag and face, and
// connects `handler` to it. A host error leaves the handler unconnected and
// the window without a working button, not without its record.
void CreateCommandButton(CComposeButtonEventHandler* handler, const ComRef<IDispatch>& controls,
                         const char* tag, LONG faceSelector, bool beginGroup) {
    try {
        if (!controls)
            RaiseHostError(E_POINTER);
        ComRef<IDispatch> control =
            HostApplication::ControlsAdd(controls.Get(), msoControlButton, true);
        HostApplication::PutBeginGroup(control.Get(), beginGroup);
        HostApplication::PutCaption(control.Get(), kCaption);
        HostApplication::PutTooltipText(control.Get(), kTooltip);
        HostApplication::PutTag(control.Get(), tag);
        HostApplication::PutOleUsage(control.Get(), msoControlOLEUsageNeither);
        if (faceSelector != 0) {
            HostApplication::PutFaceId(control.Get(), faceSelector < 0 ? 0 : faceSelector);
            HostApplication::PutStyle(control.Get(), msoButtonIconAndCaption);
            HostApplication::PutVisible(control.Get(), true);
            if (faceSelector < 0) {
                try {
                    ApplyButtonFace(control.Get());
                } catch (const HostError& error) {
                    DebugTrace("   button face: host error 0x%08lX\r\n",
                               static_cast<unsigned long>(error.Code()));
                }
            }
        }
        handler->Connect(control.Get());
    } catch (const HostError& error) {
        DebugTrace("   CreateCommandButton: host error 0x%08lX\r\n",
                   static_cast<unsigned long>(error.Code()));
    }
}

// A new button numbered `number` on `controls` and its handler. The handler
// is made even when the button could not be (it then stays unconnected);
// null only when memory is exhausted.
CComposeButtonEventHandler* CreateButton(const ComRef<IDispatch>& controls, LONG number) {
    CComposeButtonEventHandler* handler = CComposeButtonEventHandler::Create(number);
    if (!handler)
        return nullptr;
    char tag[64];
    FormatTag(tag, number);
    CreateCommandButton(handler, controls, tag, kOwnFace, true);
    return handler;
}

} // namespace

const char* ComposeButtonCaption() {
    return kCaption;
}

const char* ComposeButtonTooltip() {
    return kTooltip;
}

void DestroyComposeInspectors(Door door) {
    for (ComposeInspector** p = &LiveRecords; *p;) {
        if ((*p)->door == door)
            DestroyComposeInspector(*p); // unlinks it: *p is the next one now
        else
            p = &(*p)->next;
    }
}

void ResetComposeButtons() {
    ButtonCounter = 0;
    RibbonServesComposeWindows = false;
}

// ---- The window record -----------------------------------------------------------------

ComposeInspector* FindComposeInspector(IDispatch* inspector) {
    for (ComposeInspector* r = LiveRecords; r; r = r->next)
        if (SameObject(r->inspector.Get(), inspector))
            return r;
    return nullptr;
}

void OnNewInspector(IDispatch* newInspector, const void* sink, Door door) {
    ComRef<IDispatch> inspector = RequireAs<IDispatch>(newInspector, IID__Inspector);
    for (ComposeInspector* r = LiveRecords; r; r = r->next)
        if (r->door != door && SameObject(r->inspector.Get(), inspector.Get()))
            return;
    ComRef<IDispatch> item = HostApplication::CurrentItem(inspector.Get());
    ComRef<IDispatch> mailItem = QueryAs<IDispatch>(item.Get(), IID__MailItem);
    if (!mailItem)
        return;
    if (HostApplication::Class(mailItem.Get()) != olMail || HostApplication::Sent(mailItem.Get()))
        return;
    DebugTrace("   CInspectorsCollectionEventHandler::Invoke MailItem:%p (%p)\r\n",
               static_cast<const void*>(mailItem.Get()), sink);

    // Until it is linked, a record that cannot be completed goes with
    // whatever it holds.
    std::unique_ptr<ComposeInspector> record(new (std::nothrow) ComposeInspector);
    if (!record)
        RaiseHostError(E_OUTOFMEMORY);
    record->inspector = std::move(inspector);
    record->door = door;
    record->context = ComposeContextRef::Adopt(ComposeContext::Create(mailItem.Get()));
    if (!record->context)
        RaiseHostError(E_OUTOFMEMORY);
    record->itemHandler = CItemEventHandler::Create(record->context.Get(), mailItem);
    record->context->owner = record.get();
    record->next = LiveRecords;
    LiveRecords = record.release();
    AddComposeButton(LiveRecords);
}

void OnComposeItemClosed(ComposeContext* context) {
    context->itemClosed = true;
    DestroyComposeInspector(context->owner);
}

void AddComposeButton(ComposeInspector* record) {
    if (RibbonServesComposeWindows)
        return;
    ComRef<IDispatch> bars = HostApplication::InspectorCommandBars(record->inspector.Get());
    ComRef<IDispatch> bar = HostApplication::CommandBarsItem(bars.Get(), "Standard");
    if (!bar)
        return;
    ComRef<IDispatch> controls = HostApplication::BarControls(bar.Get());
    if (!controls)
        return;

    ComRef<IDispatch> existing;
    try {
        ComRef<IDispatch> control = HostApplication::ControlsItem(controls.Get(), kCaption);
        existing = QueryAs<IDispatch>(control.Get(), IID__CommandBarButton);
    } catch (const HostError&) {
        existing.Reset(); // not there
    }

    CComposeButtonEventHandler* handler = nullptr;
    if (!existing) {
        handler = CreateButton(controls, ButtonCounter);
        ++ButtonCounter;
    } else {
        HostApplication::MoveControl(existing.Get());
        // A second record of the same window (the client installed the
        // extension in two explorers, so NewInspector came twice) finds the
        // button the first record just made. A second handler would accept
        // the same tag and open the main dialog a second time for one click.
        if (!ButtonHandlerServesWindow(record->inspector.Get()))
            handler = CComposeButtonEventHandler::Attach(existing);
    }
    record->buttonHandler = handler;
    if (handler)
        handler->SetContext(record->context.Get());
}

void DestroyComposeInspector(ComposeInspector* record) {
    if (!record)
        return;
    if (CComposeButtonEventHandler* button = record->buttonHandler) {
        record->buttonHandler = nullptr;
        button->SetContext(nullptr);
        button->End();
    }
    if (CItemEventHandler* item = record->itemHandler) {
        record->itemHandler = nullptr;
        item->End();
    }
    if (record->context) {
        ComposeContextRef context = std::move(record->context);
        context->owner = nullptr; // whoever still holds the context must not reach the record
    }
    record->inspector.Reset();
    for (ComposeInspector** p = &LiveRecords; *p; p = &(*p)->next) {
        if (*p == record) {
            *p = record->next;
            break;
        }
    }
    delete record;
}

// ---- The click -------------------------------------------------------------------------

void OnComposeButtonClick(IDispatch* control, LONG number, ComposeContext* context) {
    char tag[64];
    FormatTag(tag, number);
    if (HostApplication::ControlTagIs(control, tag))
        ComposeButtonClicked(context);
}

void ComposeButtonClicked(ComposeContext* context) {
    if (!context)
        return;
    ComposeContextRef keep(context);
    HWND window = nullptr;
    try {
        ComRef<IDispatch> inspector = HostApplication::GetInspector(context->mailItem.Get());
        ComRef<IOleWindow> oleWindow = QueryAs<IOleWindow>(inspector.Get(), IID_IOleWindow);
        if (!oleWindow || FAILED(oleWindow->GetWindow(&window)))
            window = nullptr;
    } catch (const HostError&) {
        window = nullptr;
    }
    OpenMainDialog(context, window);
}

void RibbonButtonClicked(IDispatch* inspector) {
    if (ComposeInspector* record = FindComposeInspector(inspector)) {
        ComposeButtonClicked(record->context.Get());
        return;
    }
    ComRef<IDispatch> window = RequireAs<IDispatch>(inspector, IID__Inspector);
    ComRef<IDispatch> item = HostApplication::CurrentItem(window.Get());
    ComRef<IDispatch> mailItem = QueryAs<IDispatch>(item.Get(), IID__MailItem);
    if (!mailItem || HostApplication::Class(mailItem.Get()) != olMail ||
        HostApplication::Sent(mailItem.Get()))
        return;
    ComposeContextRef context = ComposeContextRef::Adopt(ComposeContext::Create(mailItem.Get()));
    if (!context)
        RaiseHostError(E_OUTOFMEMORY);
    ComposeButtonClicked(context.Get());
}
