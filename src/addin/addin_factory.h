// The add-in's class factory and the library's COM server exports: the
// client creates the add-in through DllGetClassObject and asks
// DllCanUnloadNow before it frees the library.
#pragma once

#include "platform.h"

// The factory of CLSID_QuorvelAddIn for `iid` (IClassFactory or IUnknown);
// CLASS_E_CLASSNOTAVAILABLE for any other class.
extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);
// S_OK when no object the client may call (an add-in object, a factory, a
// sink, an extension object) and no server lock is left.
extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow();
