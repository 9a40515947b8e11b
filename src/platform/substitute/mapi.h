// Extended MAPI as the job engine and the simulated mail client use it,
// declared for the substitute platform: the published structures, method
// order and signatures, property tags, flags and result codes.
#pragma once

#include "com.h"

#define MAPI_DIM 1

// ---- Property values -------------------------------------------------------

#define PT_UNSPECIFIED ((ULONG)0)
#define PT_NULL ((ULONG)1)
#define PT_I2 ((ULONG)2)
#define PT_LONG ((ULONG)3)
#define PT_R4 ((ULONG)4)
#define PT_DOUBLE ((ULONG)5)
#define PT_CURRENCY ((ULONG)6)
#define PT_APPTIME ((ULONG)7)
#define PT_ERROR ((ULONG)10)
#define PT_BOOLEAN ((ULONG)11)
#define PT_OBJECT ((ULONG)13)
#define PT_I8 ((ULONG)20)
#define PT_STRING8 ((ULONG)30)
#define PT_UNICODE ((ULONG)31)
#define PT_SYSTIME ((ULONG)64)
#define PT_CLSID ((ULONG)72)
#define PT_BINARY ((ULONG)258)
#define PT_TSTRING PT_STRING8

#define PROP_TYPE_MASK ((ULONG)0x0000FFFF)
#define PROP_TYPE(tag) ((ULONG)(tag)&PROP_TYPE_MASK)
#define PROP_ID(tag) (((ULONG)(tag)) >> 16)
#define PROP_TAG(type, id) ((((ULONG)(id)) << 16) | ((ULONG)(type)))
#define CHANGE_PROP_TYPE(tag, type) (((ULONG)0xFFFF0000 & (tag)) | (type))

#define PR_SUBJECT PROP_TAG(PT_STRING8, 0x0037)
#define PR_BODY PROP_TAG(PT_STRING8, 0x1000)
#define PR_BODY_HTML PROP_TAG(PT_STRING8, 0x1013)
#define PR_HTML PROP_TAG(PT_BINARY, 0x1013)
#define PR_EMAIL_ADDRESS PROP_TAG(PT_STRING8, 0x3003)
#define PR_DISPLAY_NAME PROP_TAG(PT_STRING8, 0x3001)
#define PR_ADDRTYPE PROP_TAG(PT_STRING8, 0x3002)
#define PR_RECIPIENT_TYPE PROP_TAG(PT_LONG, 0x0C15)
#define PR_SEND_RICH_INFO PROP_TAG(PT_BOOLEAN, 0x3A40)
#define PR_MSG_EDITOR_FORMAT PROP_TAG(PT_LONG, 0x5909)
#define PR_ENTRYID PROP_TAG(PT_BINARY, 0x0FFF)
#define PR_STORE_ENTRYID PROP_TAG(PT_BINARY, 0x0FFB)
#define PR_RESOURCE_TYPE PROP_TAG(PT_LONG, 0x3E03)
#define PR_DISPLAY_NAME_A PR_DISPLAY_NAME
#define PR_SUBJECT_W PROP_TAG(PT_UNICODE, 0x0037)
#define PR_BODY_W PROP_TAG(PT_UNICODE, 0x1000)
#define PR_EMAIL_ADDRESS_W PROP_TAG(PT_UNICODE, 0x3003)
#define PR_DISPLAY_NAME_W PROP_TAG(PT_UNICODE, 0x3001)
#define PR_ADDRTYPE_W PROP_TAG(PT_UNICODE, 0x3002)
#define PR_INTERNET_CPID PROP_TAG(PT_LONG, 0x3FDE)
#define PR_MESSAGE_CLASS PROP_TAG(PT_STRING8, 0x001A)
#define PR_SENDER_EMAIL_ADDRESS PROP_TAG(PT_STRING8, 0x0C1F)
#define PR_SENDER_NAME PROP_TAG(PT_STRING8, 0x0C1A)
#define PR_MESSAGE_FLAGS PROP_TAG(PT_LONG, 0x0E07)
#define PR_DEFERRED_DELIVERY_TIME PROP_TAG(PT_SYSTIME, 0x000F)
#define PR_ROWID PROP_TAG(PT_LONG, 0x3000)
#define PR_PROVIDER_DISPLAY PROP_TAG(PT_STRING8, 0x3006)
#define PR_STATUS_CODE PROP_TAG(PT_LONG, 0x3E04)
#define PR_ATTACH_SIZE PROP_TAG(PT_LONG, 0x0E20)
#define PR_ATTACH_NUM PROP_TAG(PT_LONG, 0x0E21)
#define PR_ATTACH_DATA_BIN PROP_TAG(PT_BINARY, 0x3701)
#define PR_ATTACH_FILENAME PROP_TAG(PT_STRING8, 0x3704)
#define PR_ATTACH_FILENAME_W PROP_TAG(PT_UNICODE, 0x3704)
#define PR_ATTACH_METHOD PROP_TAG(PT_LONG, 0x3705)
#define PR_ATTACH_LONG_FILENAME PROP_TAG(PT_STRING8, 0x3707)
#define PR_ATTACH_LONG_FILENAME_W PROP_TAG(PT_UNICODE, 0x3707)
#define PR_ATTACH_MIME_TAG_W PROP_TAG(PT_UNICODE, 0x370E)

#define MAPI_TO 1
#define MAPI_CC 2
#define MAPI_BCC 3
#define MAPI_SPOOLER 37
#define NO_ATTACHMENT ((ULONG)0x00000000)
#define ATTACH_BY_VALUE ((ULONG)0x00000001)
#define EDITOR_FORMAT_DONTKNOW ((ULONG)0)
#define EDITOR_FORMAT_PLAINTEXT ((ULONG)1)
#define EDITOR_FORMAT_HTML ((ULONG)2)
#define EDITOR_FORMAT_RTF ((ULONG)3)

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};
typedef SBinary* LPSBinary;

struct SBinaryArray {
    ULONG cValues;
    SBinary* lpbin;
};
struct SLPSTRArray {
    ULONG cValues;
    LPSTR* lppszA;
};
struct SLongArray {
    ULONG cValues;
    LONG* lpl;
};

union PV {
    short int i;
    LONG l;
    ULONG ul;
    float flt;
    double dbl;
    unsigned short int b;
    CY cur;
    double at;
    FILETIME ft;
    LPSTR lpszA;
    SBinary bin;
    LPWSTR lpszW;
    LPGUID lpguid;
    LARGE_INTEGER li;
    SLongArray MVl;
    SBinaryArray MVbin;
    SLPSTRArray MVszA;
    SCODE err;
    LONG x;
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    union PV Value;
};
typedef SPropValue* LPSPropValue;

struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[MAPI_DIM];
};
typedef SPropTagArray* LPSPropTagArray;
#define CbNewSPropTagArray(count) (offsetof(SPropTagArray, aulPropTag) + (count) * sizeof(ULONG))
#define SizedSPropTagArray(count, name)                                                            \
    struct _SPropTagArray_##name {                                                                 \
        ULONG cValues;                                                                             \
        ULONG aulPropTag[count];                                                                   \
    } name

struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};
struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[MAPI_DIM];
};
typedef SPropProblemArray* LPSPropProblemArray;

struct ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
};
typedef ADRENTRY* LPADRENTRY;
struct ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[MAPI_DIM];
};
typedef ADRLIST* LPADRLIST;
#define CbNewADRLIST(count) (offsetof(ADRLIST, aEntries) + (count) * sizeof(ADRENTRY))

struct SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
};
typedef SRow* LPSRow;
struct SRowSet {
    ULONG cRows;
    SRow aRow[MAPI_DIM];
};
typedef SRowSet* LPSRowSet;
#define CbNewSRowSet(count) (offsetof(SRowSet, aRow) + (count) * sizeof(SRow))

struct MAPIERROR {
    ULONG ulVersion;
    LPSTR lpszError;
    LPSTR lpszComponent;
    ULONG ulLowLevelError;
    ULONG ulContext;
};
typedef MAPIERROR* LPMAPIERROR;

#define MNID_ID 0
#define MNID_STRING 1
struct MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
};
typedef MAPINAMEID* LPMAPINAMEID;

struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[MAPI_DIM];
};
typedef ENTRYID* LPENTRYID;

struct MAPIUID {
    BYTE ab[16];
};
typedef MAPIUID* LPMAPIUID;

// The one-off entry ID: an address that no address book holds, wrapped by
// IAddrBook::CreateOneOff. Its provider UID and the bits of its flags word.
#define MAPI_ONE_OFF_UID                                                                           \
    {                                                                                              \
        0x81, 0x2b, 0x1f, 0xa4, 0xbe, 0xa3, 0x10, 0x19, 0x9d, 0x6e, 0x00, 0xdd, 0x01, 0x0f, 0x54,  \
            0x02                                                                                   \
    }
#define MAPI_ONE_OFF_UNICODE 0x8000
#define MAPI_ONE_OFF_NO_RICH_INFO 0x0001

// ---- Restrictions and sort orders ----------------------------------------------

#define RES_AND ((ULONG)0x00000000)
#define RES_OR ((ULONG)0x00000001)
#define RES_NOT ((ULONG)0x00000002)
#define RES_PROPERTY ((ULONG)0x00000004)
#define RES_EXIST ((ULONG)0x00000008)
#define RELOP_LT ((ULONG)0)
#define RELOP_LE ((ULONG)1)
#define RELOP_GT ((ULONG)2)
#define RELOP_GE ((ULONG)3)
#define RELOP_EQ ((ULONG)4)
#define RELOP_NE ((ULONG)5)

struct SRestriction;
typedef SRestriction* LPSRestriction;
struct SAndRestriction {
    ULONG cRes;
    LPSRestriction lpRes;
};
typedef SAndRestriction SOrRestriction;
struct SNotRestriction {
    ULONG ulReserved;
    LPSRestriction lpRes;
};
struct SPropertyRestriction {
    ULONG relop;
    ULONG ulPropTag;
    LPSPropValue lpProp;
};
struct SExistRestriction {
    ULONG ulReserved1;
    ULONG ulPropTag;
    ULONG ulReserved2;
};
struct SRestriction {
    ULONG rt;
    union {
        SAndRestriction resAnd;
        SOrRestriction resOr;
        SNotRestriction resNot;
        SPropertyRestriction resProperty;
        SExistRestriction resExist;
    } res;
};

struct SSortOrder {
    ULONG ulPropTag;
    ULONG ulOrder;
};
struct SSortOrderSet {
    ULONG cSorts;
    ULONG cCategories;
    ULONG cExpanded;
    SSortOrder aSort[MAPI_DIM];
};
typedef SSortOrderSet* LPSSortOrderSet;
typedef ULONG_PTR BOOKMARK;

// ---- Flags and result codes -----------------------------------------------------

#define MAPI_MODIFY ((ULONG)0x00000001)
#define MAPI_CREATE ((ULONG)0x00000002)
#define MAPI_BEST_ACCESS ((ULONG)0x00000010)
#define MAPI_DEFERRED_ERRORS ((ULONG)0x00000008)
#define MAPI_UNICODE ((ULONG)0x80000000)
#define MAPI_SEND_NO_RICH_INFO ((ULONG)0x00010000)
#define AB_NO_DIALOG ((ULONG)0x00000001)
#define MODRECIP_ADD ((ULONG)0x00000002)
#define MODRECIP_MODIFY ((ULONG)0x00000004)
#define MODRECIP_REMOVE ((ULONG)0x00000008)
#define FORCE_SUBMIT ((ULONG)0x00000001)
#define FLUSH_UPLOAD ((ULONG)0x00000002)
#define FLUSH_DOWNLOAD ((ULONG)0x00000004)
#define FLUSH_FORCE ((ULONG)0x00000008)
#define KEEP_OPEN_READONLY ((ULONG)0x00000001)
#define KEEP_OPEN_READWRITE ((ULONG)0x00000002)
#define FORCE_SAVE ((ULONG)0x00000004)
#define SOF_UNIQUEFILENAME ((ULONG)0x80000000)
#define MAPI_STATUS ((ULONG)0x00000021)
#define TBL_ALL_COLUMNS ((ULONG)0x00000001)
#define BOOKMARK_BEGINNING ((BOOKMARK)0)

#define MAPI_E_CALL_FAILED E_FAIL
#define MAPI_E_NOT_ENOUGH_MEMORY E_OUTOFMEMORY
#define MAPI_E_INVALID_PARAMETER E_INVALIDARG
#define MAPI_E_INTERFACE_NOT_SUPPORTED E_NOINTERFACE
#define MAPI_E_NO_ACCESS E_ACCESSDENIED
#define MAPI_E_NO_SUPPORT ((HRESULT)0x80040102L)
#define MAPI_E_BAD_CHARWIDTH ((HRESULT)0x80040103L)
#define MAPI_E_NOT_FOUND ((HRESULT)0x8004010FL)
#define MAPI_E_UNKNOWN_FLAGS ((HRESULT)0x80040106L)
#define MAPI_E_INVALID_ENTRYID ((HRESULT)0x80040107L)
#define MAPI_E_NETWORK_ERROR ((HRESULT)0x80040115L)
#define MAPI_E_NOT_INITIALIZED ((HRESULT)0x80040605L)
#define MAPI_E_NO_RECIPIENTS ((HRESULT)0x80040607L)
#define MAPI_E_SUBMITTED ((HRESULT)0x80040608L)
#define MAPI_E_NOT_IN_QUEUE ((HRESULT)0x80040601L)
#define MAPI_E_UNABLE_TO_ABORT ((HRESULT)0x80040114L)
#define MAPI_E_COLLISION ((HRESULT)0x80040604L)
#define MAPI_E_INVALID_TYPE ((HRESULT)0x80040302L)
#define MAPI_W_ERRORS_RETURNED ((HRESULT)0x00040380L)

// ---- Allocation ----------------------------------------------------------------

typedef SCODE(STDMETHODCALLTYPE ALLOCATEBUFFER)(ULONG size, LPVOID* buffer);
typedef SCODE(STDMETHODCALLTYPE ALLOCATEMORE)(ULONG size, LPVOID object, LPVOID* buffer);
typedef ULONG(STDMETHODCALLTYPE FREEBUFFER)(LPVOID buffer);
typedef ALLOCATEBUFFER* LPALLOCATEBUFFER;
typedef ALLOCATEMORE* LPALLOCATEMORE;
typedef FREEBUFFER* LPFREEBUFFER;

// ---- Interfaces ------------------------------------------------------------------

struct IMAPITable;
struct IMAPIAdviseSink;
struct IMAPIProgress;
struct IMsgStore;
struct IProfSect;
struct IMsgServiceAdmin;
struct IMAPIFolder;
struct IAttach;
typedef IMAPITable* LPMAPITABLE;
typedef IMAPIAdviseSink* LPMAPIADVISESINK;
typedef IMAPIProgress* LPMAPIPROGRESS;
typedef IMsgStore* LPMDB;
struct IAddrBook;
typedef IAddrBook* LPADRBOOK;
typedef IProfSect* LPPROFSECT;
typedef IMsgServiceAdmin* LPSERVICEADMIN;
typedef IMAPIFolder* LPMAPIFOLDER;
typedef IAttach* LPATTACH;
typedef const IID* LPCIID;

struct IMAPIProp : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                                   LPMAPIERROR* error) = 0;
    virtual HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                               LPSPropValue* values) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                                   ULONG flags, LPUNKNOWN* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                               LPSPropProblemArray* problems) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray tags,
                                                  LPSPropProblemArray* problems) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyTo(ULONG excludeCount, LPCIID excludeIids,
                                             LPSPropTagArray excludeProps, ULONG uiParam,
                                             LPMAPIPROGRESS progress, LPCIID iid,
                                             LPVOID destination, ULONG flags,
                                             LPSPropProblemArray* problems) = 0;
    virtual HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray includeProps, ULONG uiParam,
                                                LPMAPIPROGRESS progress, LPCIID iid,
                                                LPVOID destination, ULONG flags,
                                                LPSPropProblemArray* problems) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray* tags, LPGUID propSet,
                                                      ULONG flags, ULONG* count,
                                                      LPMAPINAMEID** names) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG count, LPMAPINAMEID* names, ULONG flags,
                                                      LPSPropTagArray* tags) = 0;
};
typedef IMAPIProp* LPMAPIPROP;

struct IMessage : IMAPIProp {
    virtual HRESULT STDMETHODCALLTYPE GetAttachmentTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenAttach(ULONG number, LPCIID iid, ULONG flags,
                                                 LPATTACH* attach) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateAttach(LPCIID iid, ULONG flags, ULONG* number,
                                                   LPATTACH* attach) = 0;
    virtual HRESULT STDMETHODCALLTYPE DeleteAttach(ULONG number, ULONG_PTR uiParam,
                                                   LPMAPIPROGRESS progress, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRecipientTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT STDMETHODCALLTYPE ModifyRecipients(ULONG flags, LPADRLIST mods) = 0;
    virtual HRESULT STDMETHODCALLTYPE SubmitMessage(ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetReadFlag(ULONG flags) = 0;
};
typedef IMessage* LPMESSAGE;

// A message store: the product only opens it to take a submitted message
// back out of the outgoing queue (AbortSubmit).
struct NOTIFICATION;
typedef NOTIFICATION* LPNOTIFICATION;
struct IMsgStore : IMAPIProp {
    virtual HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                             LPMAPIADVISESINK sink, ULONG* connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                                      LPENTRYID entryId2, ULONG flags,
                                                      ULONG* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                                ULONG flags, ULONG* objectType,
                                                LPUNKNOWN* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetReceiveFolder(LPSTR messageClass, ULONG flags,
                                                       ULONG entryIdSize, LPENTRYID entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReceiveFolder(LPSTR messageClass, ULONG flags,
                                                       ULONG* entryIdSize, LPENTRYID* entryId,
                                                       LPSTR* explicitClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetReceiveFolderTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT STDMETHODCALLTYPE StoreLogoff(ULONG* flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE AbortSubmit(ULONG entryIdSize, LPENTRYID entryId,
                                                  ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetOutgoingQueue(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetLockState(LPMESSAGE message, ULONG lockState) = 0;
    virtual HRESULT STDMETHODCALLTYPE FinishedMsg(ULONG flags, ULONG entryIdSize,
                                                  LPENTRYID entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE NotifyNewMail(LPNOTIFICATION notification) = 0;
};

// An attachment: its properties, PR_ATTACH_DATA_BIN among them.
struct IAttach : IMAPIProp {};

struct IMAPIStatus : IMAPIProp {
    virtual HRESULT STDMETHODCALLTYPE ValidateState(ULONG_PTR uiParam, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE SettingsDialog(ULONG_PTR uiParam, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE ChangePassword(LPSTR oldPassword, LPSTR newPassword,
                                                     ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE FlushQueues(ULONG_PTR uiParam, ULONG targetTransportSize,
                                                  LPENTRYID targetTransport, ULONG flags) = 0;
};
typedef IMAPIStatus* LPMAPISTATUS;

// The address book's dialogs, which the product never shows: declared only
// as far as IAddrBook's methods name them.
typedef void(STDMETHODCALLTYPE DISMISSMODELESS)(ULONG_PTR uiParam, LPVOID context);
typedef DISMISSMODELESS* LPFNDISMISS;
typedef SCODE(STDMETHODCALLTYPE* LPFNBUTTON)(ULONG_PTR uiParam, LPVOID context, ULONG entryIdSize,
                                             LPENTRYID selection, ULONG flags);
struct ADRPARM;
typedef ADRPARM* LPADRPARM;

struct IAddrBook : IMAPIProp {
    virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                                ULONG flags, ULONG* objectType,
                                                LPUNKNOWN* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                                      LPENTRYID entryId2, ULONG flags,
                                                      ULONG* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                             LPMAPIADVISESINK sink, ULONG* connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateOneOff(LPSTR name, LPSTR addressType, LPSTR address,
                                                   ULONG flags, ULONG* entryIdSize,
                                                   LPENTRYID* entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE NewEntry(ULONG_PTR uiParam, ULONG flags,
                                               ULONG containerIdSize, LPENTRYID containerId,
                                               ULONG templateIdSize, LPENTRYID templateId,
                                               ULONG* newEntryIdSize, LPENTRYID* newEntryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR uiParam, ULONG flags, LPSTR title,
                                                  LPADRLIST list) = 0;
    virtual HRESULT STDMETHODCALLTYPE Address(ULONG_PTR* uiParam, LPADRPARM parameters,
                                              LPADRLIST* list) = 0;
    virtual HRESULT STDMETHODCALLTYPE Details(ULONG_PTR* uiParam, LPFNDISMISS dismiss,
                                              LPVOID dismissContext, ULONG entryIdSize,
                                              LPENTRYID entryId, LPFNBUTTON buttonCallback,
                                              LPVOID buttonContext, LPSTR buttonText,
                                              ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE RecipOptions(ULONG_PTR uiParam, ULONG flags,
                                                   LPADRENTRY recipient) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPSTR addressType, ULONG flags,
                                                           ULONG* count, LPSPropValue* options) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetPAB(ULONG* entryIdSize, LPENTRYID* entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetPAB(ULONG entryIdSize, LPENTRYID entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG* entryIdSize, LPENTRYID* entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG entryIdSize, LPENTRYID entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG flags, LPSRowSet* searchPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG flags, LPSRowSet searchPath) = 0;
    virtual HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG flags, LPSPropTagArray tags,
                                                    LPADRLIST list) = 0;
};

struct IMAPITable : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                                   LPMAPIERROR* error) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(ULONG eventMask, LPMAPIADVISESINK sink,
                                             ULONG* connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatus(ULONG* tableStatus, ULONG* tableType) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray columns, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryColumns(ULONG flags, LPSPropTagArray* columns) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRowCount(ULONG flags, ULONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) = 0;
    virtual HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG numerator, ULONG denominator) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryPosition(ULONG* row, ULONG* numerator,
                                                    ULONG* denominator) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction restriction, BOOKMARK origin,
                                              ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction restriction, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK* position) = 0;
    virtual HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK position) = 0;
    virtual HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet criteria, ULONG flags) = 0;
    virtual HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet* criteria) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) = 0;
    virtual HRESULT STDMETHODCALLTYPE Abort() = 0;
    virtual HRESULT STDMETHODCALLTYPE ExpandRow(ULONG instanceKeySize, LPBYTE instanceKey,
                                                ULONG rowCount, ULONG flags, LPSRowSet* rows,
                                                ULONG* moreRows) = 0;
    virtual HRESULT STDMETHODCALLTYPE CollapseRow(ULONG instanceKeySize, LPBYTE instanceKey,
                                                  ULONG flags, ULONG* rowCount) = 0;
    virtual HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG flags, ULONG timeout,
                                                        ULONG* tableStatus) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG flags, ULONG instanceKeySize,
                                                       LPBYTE instanceKey, ULONG* stateSize,
                                                       LPBYTE* state) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG flags, ULONG stateSize, LPBYTE state,
                                                       BOOKMARK* location) = 0;
};

struct IMAPISession : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                                   LPMAPIERROR* error) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMsgStoresTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenMsgStore(ULONG_PTR uiParam, ULONG entryIdSize,
                                                   LPENTRYID entryId, LPCIID iid, ULONG flags,
                                                   LPMDB* store) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenAddressBook(ULONG_PTR uiParam, LPCIID iid, ULONG flags,
                                                      LPADRBOOK* addressBook) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenProfileSection(LPMAPIUID uid, LPCIID iid, ULONG flags,
                                                         LPPROFSECT* section) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetStatusTable(ULONG flags, LPMAPITABLE* table) = 0;
    virtual HRESULT STDMETHODCALLTYPE OpenEntry(ULONG entryIdSize, LPENTRYID entryId, LPCIID iid,
                                                ULONG flags, ULONG* objectType,
                                                LPUNKNOWN* object) = 0;
    virtual HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG size1, LPENTRYID entryId1, ULONG size2,
                                                      LPENTRYID entryId2, ULONG flags,
                                                      ULONG* result) = 0;
    virtual HRESULT STDMETHODCALLTYPE Advise(ULONG entryIdSize, LPENTRYID entryId, ULONG eventMask,
                                             LPMAPIADVISESINK sink, ULONG* connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE Unadvise(ULONG connection) = 0;
    virtual HRESULT STDMETHODCALLTYPE MessageOptions(ULONG_PTR uiParam, ULONG flags,
                                                     LPSTR addressType, LPMESSAGE message) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryDefaultMessageOpt(LPSTR addressType, ULONG flags,
                                                             ULONG* count,
                                                             LPSPropValue* options) = 0;
    virtual HRESULT STDMETHODCALLTYPE EnumAdrTypes(ULONG flags, ULONG* count,
                                                   LPSTR** addressTypes) = 0;
    virtual HRESULT STDMETHODCALLTYPE QueryIdentity(ULONG* entryIdSize, LPENTRYID* entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Logoff(ULONG_PTR uiParam, ULONG flags, ULONG reserved) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDefaultStore(ULONG flags, ULONG entryIdSize,
                                                      LPENTRYID entryId) = 0;
    virtual HRESULT STDMETHODCALLTYPE AdminServices(ULONG flags, LPSERVICEADMIN* admin) = 0;
    virtual HRESULT STDMETHODCALLTYPE ShowForm(ULONG_PTR uiParam, LPMDB store,
                                               LPMAPIFOLDER parentFolder, LPCIID iid,
                                               ULONG messageToken, LPMESSAGE messageSent,
                                               ULONG flags, ULONG messageStatus, ULONG messageFlags,
                                               ULONG access, LPSTR messageClass) = 0;
    virtual HRESULT STDMETHODCALLTYPE PrepareForm(LPCIID iid, LPMESSAGE message,
                                                  ULONG* messageToken) = 0;
};
typedef IMAPISession* LPMAPISESSION;

extern const IID IID_IMAPIProp;
extern const IID IID_IMessage;
extern const IID IID_IMsgStore;
extern const IID IID_IMAPIStatus;
extern const IID IID_IMAPITable;
extern const IID IID_IMAPISession;
extern const IID IID_IAddrBook;
extern const IID IID_IAttachment;

// ---- Helper functions of mapi32 ----------------------------------------------------

SCODE STDMETHODCALLTYPE MAPIAllocateBuffer(ULONG size, LPVOID* buffer);
SCODE STDMETHODCALLTYPE MAPIAllocateMore(ULONG size, LPVOID object, LPVOID* buffer);
ULONG STDMETHODCALLTYPE MAPIFreeBuffer(LPVOID buffer);
HRESULT STDAPICALLTYPE HrQueryAllRows(LPMAPITABLE table, LPSPropTagArray columns,
                                      LPSRestriction restriction, LPSSortOrderSet sortOrder,
                                      LONG maxRows, LPSRowSet* rows);
void STDAPICALLTYPE FreeProws(LPSRowSet rows);
void STDAPICALLTYPE FreePadrlist(LPADRLIST list);
HRESULT STDMETHODCALLTYPE OpenStreamOnFile(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer,
                                           ULONG flags, LPSTR fileName, LPSTR prefix,
                                           LPSTREAM* stream);
