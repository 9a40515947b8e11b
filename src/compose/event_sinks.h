// The sinks through which the mail client reports its events: the Inspectors
// collection's NewInspector, the Explorers collection's NewExplorer, a
// compose item's Close and Send, and the Click of the compose button and of
// the Tools-menu entry. A sink decodes its event and passes it on to the
// compose layer through compose_events.h, and does nothing else: the
// windows' records, the buttons, the Tools entry and the dialogs are not
// its business. All of them answer IDispatch the same way and differ in the
// events they take and in who holds them:
//   - source-held (Inspectors, Explorers, Tools-menu entry): the event
//     source holds the only reference; when it lets go, the sink
//     disconnects and goes;
//   - owner-released (compose button, compose item): the window record
//     keeps a plain pointer and ends the sink with End, which disconnects it
//     and lets go of the owner's reference.
#pragma once

#include "client/host_state.h"
#include "compose/client_object.h"
#include "compose/doors.h"

// The connection of a sink to its event source: Advise when it is made,
// Unadvise on every way out (an explicit end, or the owner going).
class SinkConnection {
public:
    SinkConnection() = default;
    SinkConnection(const SinkConnection&) = delete;
    SinkConnection& operator=(const SinkConnection&) = delete;
    ~SinkConnection() { End(); }

    // Finds the source's connection point for `eventIid`, keeps it and
    // advises `sink` there. False when a step failed; when only Advise
    // failed the connection point is still held, with cookie 0.
    bool Connect(IUnknown* source, REFIID eventIid, IUnknown* sink);
    // Unadvises (when advised) and lets go of the connection point. The
    // result of Unadvise; S_FALSE when there was nothing to undo.
    HRESULT End();
    bool Advised() const { return advised_; }
    bool HasPoint() const { return static_cast<bool>(point_); }

private:
    ComRef<IConnectionPoint> point_;
    DWORD cookie_ = 0;
    bool advised_ = false;
};

class DispatchEventSink : public ClientObject<IDispatch> {
public:
    // The owner's end of an owner-released sink: Unadvise (the source gives
    // its reference back), then the owner's reference goes. The sink is
    // freed unless a call into it is still under way.
    void End();

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    // Keeps the sink alive for the whole call: its work may end the window
    // record that owns it. Nothing thrown leaves it; a failing work still
    // answers S_OK.
    HRESULT STDMETHODCALLTYPE Invoke(DISPID dispid, REFIID iid, LCID locale, WORD flags,
                                     DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                     UINT* argumentError) override;

protected:
    DispatchEventSink(Counting counting, const IID& eventIid, bool releaseAtZeroIgnored = false)
        : ClientObject<IDispatch>(counting, {&eventIid, &IID_IUnknown, &IID_IDispatch},
                                  releaseAtZeroIgnored),
          eventIid_(eventIid), ownerReleased_(counting == Counting::OwnerReleased) {}

    // The checks of a one-event sink, in order: the interface, the DISPID,
    // the parameters, their count, the type of the event's object (the last
    // element of the array); then OnEvent with that object.
    virtual HRESULT HandleInvoke(DISPID dispid, REFIID iid, DISPPARAMS* params);
    virtual void OnEvent(IDispatch*) {}
    DISPID handledDispid_ = 0;
    UINT argumentCount_ = 0;

    // Advises the sink at `source`'s connection point for its events; true
    // when it is advised. Source-held: the source's reference is then the
    // object's count of 1. Owner-released: the count is the owner's
    // reference (1 from the start) plus the source's while connected; a null
    // source raises E_POINTER.
    bool ConnectSink(IDispatch* source);
    // Unadvises (the source gives its reference back) and lets go of the
    // connection point; nothing when not connected.
    void DisconnectSink() { connection_.End(); }

    const IID& eventIid_;
    SinkConnection connection_;

private:
    bool ownerReleased_;
};

// ---- The sinks ---------------------------------------------------------------------------------

// NewInspector of the client's Inspectors collection: every new window may
// get a compose button.
class CInspectorsCollectionEventHandler final : public DispatchEventSink {
public:
    // Connects a new handler to `inspectors`; the connection holds its only
    // reference (the pointer returned is not counted). Null when it could
    // not be connected.
    // `door` is the way in that reports the windows.
    static CInspectorsCollectionEventHandler* Create(ComRef<IDispatch> inspectors,
                                                     Door door = Door::Extension);
    ~CInspectorsCollectionEventHandler() override;
    // Disconnects from the collection, which lets go of the handler: it is
    // freed here unless an event is under way.
    void Stop();

private:
    explicit CInspectorsCollectionEventHandler(Door door);
    void OnEvent(IDispatch* inspector) override;
    void TraceCount(const char* what, ULONG count) override;
    ComRef<IDispatch> inspectors_;
    Door door_;
};

// NewExplorer of the client's Explorers collection: the first explorer
// window that opens gets the Tools-menu entry, for a client that started
// without one (started by another program) or an add-in connected before
// its explorer was there.
class CExplorersCollectionEventHandler final : public DispatchEventSink {
public:
    // Connects a new handler to `explorers`; the connection holds its only
    // reference (the pointer returned is not counted). Null when it could
    // not be connected.
    static CExplorersCollectionEventHandler* Create(ComRef<IDispatch> explorers);
    ~CExplorersCollectionEventHandler() override;
    // Disconnects from the collection, which lets go of the handler: it is
    // freed here unless an event is under way.
    void Stop();

private:
    CExplorersCollectionEventHandler();
    void OnEvent(IDispatch* explorer) override;
    ComRef<IDispatch> explorers_;
};

// Click of the Tools-menu entry.
class COptionsMenuEventHandler final : public DispatchEventSink {
public:
    // Connects a new handler to the entry; null when it could not be.
    static COptionsMenuEventHandler* Create(ComRef<IDispatch> control);
    ~COptionsMenuEventHandler() override;
    // Disconnects from the entry, which lets go of the handler: it is freed
    // here unless a click is under way. Gives back the entry, for its owner
    // to take off the menu (empty when it was given back before).
    ComRef<IDispatch> Disconnect();

private:
    COptionsMenuEventHandler();
    void OnEvent(IDispatch* control) override;
    ComRef<IDispatch> control_;
};

// Click of a compose window's button, passed on with the button's number and
// the window's context.
class CComposeButtonEventHandler final : public DispatchEventSink {
public:
    // A handler for button `number`, not connected yet: the compose layer
    // makes the button, then connects the handler to it. Null when memory is
    // exhausted.
    static CComposeButtonEventHandler* Create(LONG number);
    // Connects to `control`. Host errors are raised; the handler then stays
    // unconnected.
    void Connect(IDispatch* control);
    // Connects a new handler to a button already on the bar, with button
    // number 0. The handler is made even when it could not be connected.
    static CComposeButtonEventHandler* Attach(const ComRef<IDispatch>& control);

    // The live handlers of the process, newest first.
    static CComposeButtonEventHandler* Newest();
    CComposeButtonEventHandler* Older() const { return next_; }

    bool Connected() const { return connection_.Advised(); }
    ComposeContext* Context() const { return context_; }
    void SetContext(ComposeContext* context) { context_ = context; }
    LONG Number() const { return number_; }

private:
    explicit CComposeButtonEventHandler(LONG number);
    ~CComposeButtonEventHandler() override;
    void OnEvent(IDispatch* control) override;

    IDispatch* control_ = nullptr;      // the source, not counted
    ComposeContext* context_ = nullptr; // not counted
    LONG number_;
    CComposeButtonEventHandler* next_ = nullptr; // the live handlers of the process
};

// Close and Send of the composed item, passed on once with its context.
class CItemEventHandler final : public DispatchEventSink {
public:
    // A handler for `context`, connected to the item's events.
    static CItemEventHandler* Create(ComposeContext* context, const ComRef<IDispatch>& mailItem);

private:
    explicit CItemEventHandler(ComposeContext* context);
    ~CItemEventHandler() override = default;
    HRESULT HandleInvoke(DISPID dispid, REFIID iid, DISPPARAMS* params) override;

    ComposeContext* context_; // not counted
};
