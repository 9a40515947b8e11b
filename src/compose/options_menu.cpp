#include "compose/options_menu.h"

#include "client/host_application.h"
#include "client/host_state.h"
#include "compose/compose_events.h"
#include "compose/event_sinks.h"
#include "dialogs/options_dialog.h"

#include <utility>

LONG OptionsMenuInstalled = 0;
COptionsMenuEventHandler* OptionsMenuSink = nullptr;

namespace {

const char kEntryCaption[] = "Quorvel &Options...";
const char kEntryTag[] = "QuorvelOptions";
// The Tools menu in English, Spanish and German; other hosts have it fifth.
const char* const kToolsCaptions[] = {"&Tools", "&Herramientas", "E&xtras"};
constexpr int kToolsIndex = 5;
constexpr DWORD kExplorerPollDelay = 5;

template <class Lookup> ComRef<IDispatch> FindPopup(IDispatch* controls, Lookup lookup) {
    try {
        ComRef<IDispatch> control = lookup(controls);
        return QueryAs<IDispatch>(control.Get(), IID_CommandBarPopup);
    } catch (const HostError&) {
        return ComRef<IDispatch>();
    }
}

} // namespace

void ResetOptionsMenu() {
    OptionsMenuInstalled = 0;
    OptionsMenuSink = nullptr;
}

void RemoveOptionsMenuEntry() {
    COptionsMenuEventHandler* sink = OptionsMenuSink;
    OptionsMenuSink = nullptr;
    OptionsMenuInstalled = 0;
    if (!sink)
        return;
    ComRef<IDispatch> entry = sink->Disconnect();
    if (!entry)
        return;
    try {
        HostApplication::DeleteControl(entry.Get());
    } catch (const HostError&) {
        // An entry the client already took away (or will not give up) is
        // left as it is; its handler is disconnected all the same.
    }
}

void AddOptionsMenuEntry(LONG maxAttempts) {
    if (OptionsMenuInstalled == 1 || !ApplicationRef)
        return;
    ComRef<IDispatch> explorer = HostApplication::ActiveExplorer(ApplicationRef.Get());
    for (LONG attempts = 0; !explorer;) {
        Sleep(kExplorerPollDelay);
        if (++attempts >= maxAttempts)
            return;
        explorer = HostApplication::ActiveExplorer(ApplicationRef.Get());
    }
    AddOptionsMenuEntryTo(explorer.Get());
}

void AddOptionsMenuEntryTo(IDispatch* explorer) {
    if (OptionsMenuInstalled == 1 || !explorer)
        return;
    ComRef<IDispatch> bars = HostApplication::ExplorerCommandBars(explorer);
    if (!bars)
        return;
    ComRef<IDispatch> menuBar = HostApplication::ActiveMenuBar(bars.Get());
    if (!menuBar)
        return;
    ComRef<IDispatch> menus = HostApplication::BarControls(menuBar.Get());
    if (!menus)
        return;

    ComRef<IDispatch> tools;
    for (const char* caption : kToolsCaptions) {
        tools = FindPopup(menus.Get(), [caption](IDispatch* controls) {
            return HostApplication::ControlsItem(controls, caption);
        });
        if (tools)
            break;
    }
    if (!tools)
        tools = FindPopup(menus.Get(), [](IDispatch* controls) {
            return HostApplication::ControlsItem(controls, kToolsIndex);
        });
    if (!tools)
        return;

    ComRef<IDispatch> entries = HostApplication::PopupControls(tools.Get());
    if (OptionsMenuInstalled != 0)
        return;
    ComRef<IDispatch> entry;
    try {
        entry = HostApplication::ControlsItem(entries.Get(), kEntryCaption);
    } catch (const HostError&) {
        entry.Reset();
    }
    if (!entry) {
        entry = HostApplication::ControlsAdd(entries.Get(), msoControlButton, true);
        HostApplication::PutCaption(entry.Get(), kEntryCaption);
        HostApplication::PutTag(entry.Get(), kEntryTag);
    }
    OptionsMenuSink = COptionsMenuEventHandler::Create(std::move(entry));
    OptionsMenuInstalled = 1;
}

// ---- Its events ------------------------------------------------------------------------

void OnNewExplorer(IDispatch* explorer) {
    // The new window is not the active explorer yet while the event runs:
    // the entry goes on the explorer the event brings.
    AddOptionsMenuEntryTo(explorer);
}

void OnOptionsEntryClick(IDispatch* control) {
    if (HostApplication::ControlTagIs(control, kEntryTag))
        ShowOptionsDialog(GetDesktopWindow());
}

void OnOptionsEntrySinkGone(const COptionsMenuEventHandler* sink) {
    if (OptionsMenuSink == sink)
        OptionsMenuSink = nullptr;
}
