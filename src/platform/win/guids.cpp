// Instantiates the Extended MAPI interface identifiers that the SDK headers
// only declare (IID_IMAPIStatus, IID_IMessage, ...).
#define INITGUID
#include <windows.h>
#include <initguid.h>
#include <mapiguid.h>
