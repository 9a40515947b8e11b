#include "mapi_runtime.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Every block carries a header in front of the caller's bytes. A root block
// (MAPIAllocateBuffer) owns the chain of blocks allocated "more" onto it;
// freeing the root frees the whole chain.
constexpr uint32_t kRootMagic = 0x4D415049;  // "MAPI"
constexpr uint32_t kChildMagic = 0x4D4F5245; // "MORE"

struct alignas(16) BlockHeader {
    uint32_t magic;
    BlockHeader* nextChild;
};

struct RuntimeState {
    unsigned allocations = 0;
    unsigned failAt = 0;
    size_t liveRoots = 0;
};

RuntimeState& State() {
    static RuntimeState state;
    return state;
}

bool NextAllocationFails() {
    RuntimeState& s = State();
    ++s.allocations;
    if (s.failAt && s.allocations == s.failAt) {
        s.failAt = 0;
        return true;
    }
    return false;
}

BlockHeader* HeaderOf(void* p) {
    return reinterpret_cast<BlockHeader*>(p) - 1;
}

void* NewBlock(ULONG size, uint32_t magic) {
    auto* header = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
    if (!header)
        return nullptr;
    header->magic = magic;
    header->nextChild = nullptr;
    return header + 1;
}

} // namespace

extern "C" {

void STDAPICALLTYPE MapiRuntimeReset() {
    RuntimeState& s = State();
    s.allocations = 0;
    s.failAt = 0;
    s.liveRoots = 0;
}

void STDAPICALLTYPE MapiRuntimeFailAllocationAt(unsigned n) {
    State().failAt = n ? State().allocations + n : 0;
}

unsigned STDAPICALLTYPE MapiRuntimeAllocationCount() {
    return State().allocations;
}

size_t STDAPICALLTYPE MapiRuntimeLiveBuffers() {
    return State().liveRoots;
}

} // extern "C"

SCODE STDMETHODCALLTYPE MAPIAllocateBuffer(ULONG size, LPVOID* buffer) {
    if (!buffer)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = nullptr;
    if (NextAllocationFails())
        return MAPI_E_NOT_ENOUGH_MEMORY;
    void* p = NewBlock(size, kRootMagic);
    if (!p)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    ++State().liveRoots;
    *buffer = p;
    return S_OK;
}

SCODE STDMETHODCALLTYPE MAPIAllocateMore(ULONG size, LPVOID object, LPVOID* buffer) {
    if (!buffer)
        return MAPI_E_INVALID_PARAMETER;
    *buffer = nullptr;
    if (!object || HeaderOf(object)->magic != kRootMagic)
        return MAPI_E_INVALID_PARAMETER;
    if (NextAllocationFails())
        return MAPI_E_NOT_ENOUGH_MEMORY;
    void* p = NewBlock(size, kChildMagic);
    if (!p)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    BlockHeader* root = HeaderOf(object);
    HeaderOf(p)->nextChild = root->nextChild;
    root->nextChild = HeaderOf(p);
    *buffer = p;
    return S_OK;
}

ULONG STDMETHODCALLTYPE MAPIFreeBuffer(LPVOID buffer) {
    if (!buffer)
        return S_OK;
    BlockHeader* root = HeaderOf(buffer);
    // Only a root may be freed: a block allocated "more" lives as long as its
    // root does.
    if (root->magic != kRootMagic)
        return static_cast<ULONG>(MAPI_E_INVALID_PARAMETER);
    BlockHeader* child = root->nextChild;
    while (child) {
        BlockHeader* next = child->nextChild;
        child->magic = 0;
        std::free(child);
        child = next;
    }
    root->magic = 0;
    std::free(root);
    --State().liveRoots;
    return S_OK;
}

void STDAPICALLTYPE FreeProws(LPSRowSet rows) {
    if (!rows)
        return;
    for (ULONG i = 0; i < rows->cRows; ++i)
        MAPIFreeBuffer(rows->aRow[i].lpProps);
    MAPIFreeBuffer(rows);
}

void STDAPICALLTYPE FreePadrlist(LPADRLIST list) {
    if (!list)
        return;
    for (ULONG i = 0; i < list->cEntries; ++i)
        MAPIFreeBuffer(list->aEntries[i].rgPropVals);
    MAPIFreeBuffer(list);
}

HRESULT STDAPICALLTYPE HrQueryAllRows(LPMAPITABLE table, LPSPropTagArray columns,
                                      LPSRestriction restriction, LPSSortOrderSet sortOrder,
                                      LONG maxRows, LPSRowSet* rows) {
    if (!table || !rows)
        return MAPI_E_INVALID_PARAMETER;
    *rows = nullptr;
    HRESULT hr;
    if (columns && FAILED(hr = table->SetColumns(columns, 0)))
        return hr;
    if (restriction && FAILED(hr = table->Restrict(restriction, 0)))
        return hr;
    if (sortOrder && FAILED(hr = table->SortTable(sortOrder, 0)))
        return hr;
    if (FAILED(hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr)))
        return hr;
    ULONG count = 0;
    if (FAILED(hr = table->GetRowCount(0, &count)))
        return hr;
    if (maxRows > 0 && count > static_cast<ULONG>(maxRows))
        return static_cast<HRESULT>(0x80040403L); // MAPI_E_TABLE_TOO_BIG
    return table->QueryRows(static_cast<LONG>(count ? count : 1), 0, rows);
}

namespace {

// A stream over a file opened with CreateFileA; with STGM_DELETEONRELEASE
// the file goes when the last reference does.
class FileStream final : public IStream {
public:
    explicit FileStream(HANDLE file) : file_(file) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
            IsEqualIID(riid, IID_IStream)) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override {
        ULONG left = --refs_;
        if (left == 0) {
            CloseHandle(file_);
            delete this;
        }
        return left;
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override {
        DWORD got = 0;
        if (!ReadFile(file_, buffer, count, &got, nullptr))
            return STG_E_READFAULT;
        if (read)
            *read = got;
        return got < count ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override {
        DWORD put = 0;
        if (!WriteFile(file_, buffer, count, &put, nullptr))
            return STG_E_WRITEFAULT;
        if (written)
            *written = put;
        return put < count ? STG_E_MEDIUMFULL : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newPosition) override {
        DWORD method = origin == STREAM_SEEK_SET   ? FILE_BEGIN
                       : origin == STREAM_SEEK_CUR ? FILE_CURRENT
                                                   : FILE_END;
        LARGE_INTEGER at;
        if (origin > STREAM_SEEK_END)
            return STG_E_INVALIDFUNCTION;
        if (!SetFilePointerEx(file_, move, &at, method))
            return STG_E_SEEKERROR;
        if (newPosition)
            newPosition->QuadPart = static_cast<ULONGLONG>(at.QuadPart);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER newSize) override {
        LARGE_INTEGER here, zero, size;
        zero.QuadPart = 0;
        size.QuadPart = static_cast<LONGLONG>(newSize.QuadPart);
        if (!SetFilePointerEx(file_, zero, &here, FILE_CURRENT) ||
            !SetFilePointerEx(file_, size, nullptr, FILE_BEGIN) || !SetEndOfFile(file_) ||
            !SetFilePointerEx(file_, here, nullptr, FILE_BEGIN))
            return STG_E_MEDIUMFULL;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* target, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override {
        if (!target)
            return STG_E_INVALIDPOINTER;
        ULONGLONG totalRead = 0, totalWritten = 0;
        const ULONG chunkSize = 65536;
        std::unique_ptr<char[]> chunk(new (std::nothrow) char[chunkSize]);
        if (!chunk)
            return STG_E_INSUFFICIENTMEMORY;
        HRESULT hr = S_OK;
        while (totalRead < count.QuadPart) {
            ULONGLONG left = count.QuadPart - totalRead;
            ULONG want = left < chunkSize ? static_cast<ULONG>(left) : chunkSize;
            ULONG got = 0;
            hr = Read(chunk.get(), want, &got);
            if (FAILED(hr) || got == 0)
                break;
            totalRead += got;
            ULONG put = 0;
            hr = target->Write(chunk.get(), got, &put);
            totalWritten += put;
            if (FAILED(hr))
                break;
        }
        if (read)
            read->QuadPart = totalRead;
        if (written)
            written->QuadPart = totalWritten;
        return FAILED(hr) ? hr : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
        if (!stat)
            return STG_E_INVALIDPOINTER;
        std::memset(stat, 0, sizeof *stat);
        LARGE_INTEGER size;
        if (!GetFileSizeEx(file_, &size))
            return STG_E_ACCESSDENIED;
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = static_cast<ULONGLONG>(size.QuadPart);
        stat->grfMode = STGM_READWRITE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
        if (copy)
            *copy = nullptr;
        return STG_E_INVALIDFUNCTION;
    }

private:
    ~FileStream() = default;
    HANDLE file_;
    ULONG refs_ = 1;
};

} // namespace

HRESULT STDMETHODCALLTYPE OpenStreamOnFile(LPALLOCATEBUFFER allocateBuffer, LPFREEBUFFER freeBuffer,
                                           ULONG flags, LPSTR fileName, LPSTR prefix,
                                           LPSTREAM* stream) {
    if (!stream || !allocateBuffer || !freeBuffer)
        return MAPI_E_INVALID_PARAMETER;
    *stream = nullptr;
    const ULONG known = SOF_UNIQUEFILENAME | STGM_DELETEONRELEASE | STGM_CREATE |
                        STGM_SHARE_EXCLUSIVE | STGM_READWRITE | STGM_WRITE;
    if (flags & ~known)
        return MAPI_E_UNKNOWN_FLAGS;
    char path[MAX_PATH];
    if (flags & SOF_UNIQUEFILENAME) {
        // fileName names the folder; the file gets a fresh name there.
        char folder[MAX_PATH];
        if (fileName && *fileName) {
            std::strncpy(folder, fileName, MAX_PATH - 1);
            folder[MAX_PATH - 1] = '\0';
        } else if (!GetTempPathA(MAX_PATH, folder)) {
            return MAPI_E_CALL_FAILED;
        }
        if (!GetTempFileNameA(folder, prefix && *prefix ? prefix : "SOF", 0, path))
            return MAPI_E_NOT_FOUND;
    } else {
        if (!fileName || !*fileName || std::strlen(fileName) >= MAX_PATH)
            return MAPI_E_INVALID_PARAMETER;
        std::strcpy(path, fileName);
    }
    const DWORD access =
        (flags & (STGM_READWRITE | STGM_WRITE)) ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    const DWORD disposition = (flags & STGM_CREATE) ? CREATE_ALWAYS : OPEN_EXISTING;
    const DWORD attributes =
        FILE_ATTRIBUTE_TEMPORARY | ((flags & STGM_DELETEONRELEASE) ? FILE_FLAG_DELETE_ON_CLOSE : 0);
    HANDLE file = CreateFileA(path, access, 0, nullptr, disposition, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        if (flags & SOF_UNIQUEFILENAME)
            DeleteFileA(path);
        return MAPI_E_NOT_FOUND;
    }
    FileStream* s = new (std::nothrow) FileStream(file);
    if (!s) {
        CloseHandle(file);
        return MAPI_E_NOT_ENOUGH_MEMORY;
    }
    *stream = s;
    return S_OK;
}
