// What every object the mail client holds has in common: a plain reference
// count with one of three counting rules, QueryInterface answered from a
// table of interface ids, one count of the objects alive in the process, and
// a guard on every method the client calls, so that no C++ exception ever
// returns into the client.
#pragma once

#include "base/debug_trace.h"
#include "client/com_ref.h"

#include <initializer_list>

// Runs `body` for the client: a HostError, or anything else thrown, is
// traced with `where` and answered with `onFailure`.
template <class Result, class Body>
Result GuardClientCall(const char* where, Result onFailure, Body&& body) noexcept {
    try {
        return body();
    } catch (const HostError& error) {
        DebugTrace("   %s: host error 0x%08lX\r\n", where,
                   static_cast<unsigned long>(error.Code()));
    } catch (...) {
        DebugTrace("   %s: unexpected exception\r\n", where);
    }
    return onFailure;
}

// How Release counts, class by class.
enum class Counting {
    // The extension object: the count starts at 0 for the reference the
    // factory hands out; Release stores the count minus one, destroys the
    // object when it was 0, and returns the count as it was.
    Extension,
    // Objects whose references all belong to the client: the sinks whose
    // only reference is the event source's, the add-in and its class
    // factory. Release stops at 0 (an extra Release changes nothing) and
    // destroys the object there.
    SourceHeld,
    // Sinks that their owner ends (DispatchEventSink::End): the owner's
    // reference and the source's are both counted, so that a source letting
    // go on its own (a window closing) cannot free a sink its owner still
    // points at. A Release at 0 changes nothing when `releaseAtZeroIgnored`.
    OwnerReleased,
};

// Objects of the classes below alive in the process: while one is, the
// client may still call into the library.
inline ULONG ClientObjectsAlive = 0;

// One id of an object's interface table and the interface that answers it:
// 0 for the object's first interface, 1 for the next, and so on.
struct InterfaceEntry {
    InterfaceEntry(const IID* id, unsigned which = 0) : iid(id), base(which) {}
    const IID* iid;
    unsigned base;
};

// `Interface` is the interface the client holds (IExchExt, IDispatch,
// IClassFactory), `More` any others the same object implements
// (IRibbonExtensibility beside IDTExtensibility2): each id of the table is
// answered with the pointer of its own interface.
template <class Interface, class... More> class ClientObject : public Interface, public More... {
public:
    ClientObject(const ClientObject&) = delete;
    ClientObject& operator=(const ClientObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        void* const pointers[] = {static_cast<Interface*>(this), static_cast<More*>(this)...};
        for (size_t i = 0; i < interfaceCount_; ++i) {
            if (IsEqualIID(iid, *interfaces_[i].iid)) {
                *object = pointers[interfaces_[i].base];
                this->AddRef();
                return S_OK;
            }
        }
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override {
        const ULONG count = ++count_;
        TraceCount("AddRef", count);
        return count;
    }

    ULONG STDMETHODCALLTYPE Release() override {
        return GuardClientCall("Release", count_, [this]() -> ULONG {
            switch (counting_) {
            case Counting::Extension: {
                const ULONG before = count_;
                TraceCount("Release", before - 1);
                count_ = before - 1;
                if (before == 0)
                    delete this;
                return before;
            }
            case Counting::SourceHeld: {
                TraceCount("Release", count_);
                if (count_ == 0)
                    return 0;
                const ULONG left = --count_;
                if (left == 0)
                    delete this;
                return left;
            }
            case Counting::OwnerReleased:
                break;
            }
            if (count_ == 0 && releaseAtZeroIgnored_)
                return 0;
            const ULONG left = --count_;
            if (left == 0)
                delete this;
            return left;
        });
    }

    virtual ~ClientObject() { --ClientObjectsAlive; }

protected:
    ClientObject(Counting counting, std::initializer_list<InterfaceEntry> interfaces,
                 bool releaseAtZeroIgnored = false)
        : counting_(counting), releaseAtZeroIgnored_(releaseAtZeroIgnored) {
        ++ClientObjectsAlive;
        for (const InterfaceEntry& entry : interfaces)
            if (interfaceCount_ < kMaxInterfaces && entry.base <= sizeof...(More))
                interfaces_[interfaceCount_++] = entry;
    }

    // Trace points of the classes that have them ("AddRef", "Release").
    virtual void TraceCount(const char*, ULONG) {}

    ULONG count_ = 0;

private:
    static constexpr size_t kMaxInterfaces = 4;
    InterfaceEntry interfaces_[kMaxInterfaces] = {{nullptr}, {nullptr}, {nullptr}, {nullptr}};
    size_t interfaceCount_ = 0;
    Counting counting_;
    bool releaseAtZeroIgnored_;
};
