// Instantiates the Extended MAPI interface identifiers that the SDK headers
// only declare (IID_IMAPIStatus, IID_IMessage, ...). With INITGUID, mingw-w64's
// mapiguid.h defines only the identifiers asked for by USES_IID_*.
#define INITGUID
#define USES_IID_IAddrBook
#define USES_IID_IAttachment
#define USES_IID_IMAPIProp
#define USES_IID_IMAPISession
#define USES_IID_IMAPIStatus
#define USES_IID_IMAPITable
#define USES_IID_IMessage
#define USES_IID_IMsgStore
// Kept in this order: windows.h comes first, initguid.h before the GUID headers.
// clang-format off
#include <windows.h>
#include <initguid.h>
#include <mapiguid.h>
// clang-format on
