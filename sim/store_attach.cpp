// A message's attachments: the IAttach objects, PR_ATTACH_DATA_BIN's
// streams, which keep the bytes in a file of their own, and the message's
// calls that make, open, list and delete attachments.
#include "store_internal.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr HRESULT kComputed = static_cast<HRESULT>(0x8004011AL); // MAPI_E_COMPUTED
constexpr ULONG kPrAttachMimeTag = PROP_TAG(PT_UNICODE, 0x370E);
// Larger values are read through OpenProperty, as the message's bodies are.
constexpr uint64_t kLargeData = uint64_t{16} * 1024;
constexpr size_t kSpillPiece = size_t{64} * 1024;

bool TextOf(const SPropValue& v, std::string* out) {
    if (PROP_TYPE(v.ulPropTag) == PT_STRING8 && v.Value.lpszA) {
        *out = FromStoreBytes(v.Value.lpszA);
        return true;
    }
    if (PROP_TYPE(v.ulPropTag) == PT_UNICODE && v.Value.lpszW) {
        const OLECHAR* w = reinterpret_cast<const OLECHAR*>(v.Value.lpszW);
        *out = Narrow(w, std::char_traits<OLECHAR>::length(w));
        return true;
    }
    return false;
}

// A new file for spilled bytes, in the temporary folder.
std::shared_ptr<SpillFile> NewSpill() {
    char folder[MAX_PATH] = "", name[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, folder);
    if (GetTempFileNameA(folder, "sat", 0, name) == 0)
        return nullptr;
    auto spill = std::make_shared<SpillFile>();
    spill->path = name;
    return spill;
}

ExtraProp AttachProp(const AttachmentData& a, ULONG tag) {
    const ULONG id = PROP_ID(tag), type = PROP_TYPE(tag);
    auto text = [&](ULONG wide, const std::string& value) {
        return value.empty() || !(IsText(type) || type == PT_UNSPECIFIED)
                   ? Missing(tag)
                   : AsType(Str(wide, value), type);
    };
    switch (id) {
    case PROP_ID(PR_ATTACH_NUM):
        return Num(PR_ATTACH_NUM, static_cast<LONG>(a.number));
    case PROP_ID(PR_ATTACH_METHOD):
        return a.method ? Num(PR_ATTACH_METHOD, a.method) : Missing(tag);
    case PROP_ID(PR_ATTACH_SIZE):
        return Num(PR_ATTACH_SIZE, a.data ? static_cast<LONG>(a.data->size) : 0);
    case PROP_ID(PR_ATTACH_LONG_FILENAME):
        return text(PR_ATTACH_LONG_FILENAME_W, a.longFileName);
    case PROP_ID(PR_ATTACH_FILENAME):
        return text(PR_ATTACH_FILENAME_W, a.fileName);
    case PROP_ID(PR_DISPLAY_NAME):
        return text(PR_DISPLAY_NAME_W, a.displayName);
    case PROP_ID(kPrAttachMimeTag):
        return text(kPrAttachMimeTag, a.mimeTag);
    case PROP_ID(PR_ATTACH_DATA_BIN): {
        if (!a.data)
            return Missing(tag);
        // IMAPIProp::GetProps (MSDN, Extended MAPI): a value too large to
        // give in one piece is MAPI_E_NOT_ENOUGH_MEMORY, to be read through
        // OpenProperty.
        if (a.data->size >= kLargeData)
            return Missing(tag, MAPI_E_NOT_ENOUGH_MEMORY);
        std::string bytes;
        ReadSpill(*a.data, [&](const char* p, size_t n) {
            bytes.append(p, n);
            return true;
        });
        return Str(PR_ATTACH_DATA_BIN, bytes);
    }
    default:
        return Missing(tag);
    }
}

std::vector<ExtraProp> AllAttachProps(const AttachmentData& a) {
    std::vector<ExtraProp> out;
    for (ULONG tag :
         {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_SIZE, PR_ATTACH_LONG_FILENAME,
          PR_ATTACH_FILENAME, PR_DISPLAY_NAME, PROP_TAG(PT_STRING8, 0x370E), PR_ATTACH_DATA_BIN}) {
        ExtraProp p = AttachProp(a, tag);
        if (PROP_TYPE(p.tag) != PT_ERROR || p.number == MAPI_E_NOT_ENOUGH_MEMORY)
            out.push_back(p);
    }
    return out;
}

} // namespace

SpillFile::~SpillFile() {
    if (owned && !path.empty())
        DeleteFileA(path.c_str());
}

bool ReadSpill(const SpillFile& spill, const std::function<bool(const char*, size_t)>& take) {
    HANDLE file = CreateFileA(spill.path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string piece(kSpillPiece, '\0');
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, piece.data(), static_cast<DWORD>(piece.size()), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0 || !take(piece.data(), got))
            break;
    }
    CloseHandle(file);
    return ok;
}

// ---- Attachments
// ---------------------------------------------------------------------------------

class AttachObject;

// PR_ATTACH_DATA_BIN as a stream: written to a new file of its own, or read
// from the saved one.
class AttachStream final : public IStream, public Tracked {
public:
    AttachStream(World* world, AttachObject* owner, std::shared_ptr<SpillFile> spill, HANDLE file,
                 bool writable);
    ~AttachStream() override;
    SIM_IUNKNOWN(IStream)
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISequentialStream) ||
            IsEqualIID(iid, IID_IStream))
            return static_cast<IStream*>(this);
        return nullptr;
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG count, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG count, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin,
                                   ULARGE_INTEGER* newPosition) override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override {
        return FixedAnswer(*this, "SetSize", STG_E_INVALIDFUNCTION);
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override {
        return FixedAnswer(*this, "CopyTo", STG_E_INVALIDFUNCTION, read, written);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
        return STG_E_INVALIDFUNCTION;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;
    HRESULT STDMETHODCALLTYPE Clone(IStream** copy) override {
        return FixedAnswer(*this, "Clone", STG_E_INVALIDFUNCTION, copy);
    }

private:
    AttachObject* owner_;
    std::shared_ptr<SpillFile> spill_;
    HANDLE file_;
    bool writable_;
    uint64_t written_ = 0;
};

class AttachObject final : public PropObject<IAttach> {
public:
    AttachObject(World* world, const MessageRef& message, AttachmentData data)
        : PropObject(world, "Attach"), message_(message), data_(std::move(data)) {}
    void* Find(REFIID iid) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPIProp) ||
            IsEqualIID(iid, IID_IAttachment))
            return static_cast<IAttach*>(this);
        return nullptr;
    }
    // A committed stream's bytes become the attachment's data (not saved yet).
    void TakeData(const std::shared_ptr<SpillFile>& spill) { data_.data = spill; }

    HRESULT STDMETHODCALLTYPE GetLastError(HRESULT result, ULONG flags,
                                           LPMAPIERROR* error) override {
        MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
        if (error)
            *error = nullptr;
        if (HRESULT hr = call.Begin(); hr != S_OK)
            return call.Done(hr);
        return call.Done(LastErrorOut(*this, result, flags, error));
    }
    HRESULT STDMETHODCALLTYPE SaveChanges(ULONG flags) override;
    HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count,
                                       LPSPropValue* values) override {
        MapiCall call(*this, "GetProps", [&] { return tags ? TagListText(tags) : "all"; });
        if (count)
            *count = 0;
        if (values)
            *values = nullptr;
        if (HRESULT hr = call.Begin(); hr != S_OK)
            return call.Done(hr);
        const AttachmentData& a = data_;
        return call.Done(GetPropsFrom(AllAttachProps(a), tags, flags, count, values,
                                      [&a](ULONG tag) { return AttachProp(a, tag); }));
    }
    HRESULT STDMETHODCALLTYPE GetPropList(ULONG flags, LPSPropTagArray* tags) override {
        MapiCall call(*this, "GetPropList", [&] { return FlagsText(flags); });
        if (tags)
            *tags = nullptr;
        if (HRESULT hr = call.Begin(); hr != S_OK)
            return call.Done(hr);
        if (!tags)
            return call.Done(MAPI_E_INVALID_PARAMETER);
        std::vector<ULONG> list;
        for (const ExtraProp& p : AllAttachProps(data_))
            list.push_back(PROP_TYPE(p.tag) == PT_ERROR ? PROP_TAG(PT_BINARY, PROP_ID(p.tag))
                                                        : p.tag);
        return call.Done(TagsOut(list, tags));
    }
    HRESULT STDMETHODCALLTYPE OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                           ULONG flags, LPUNKNOWN* object) override;
    HRESULT STDMETHODCALLTYPE SetProps(ULONG count, LPSPropValue values,
                                       LPSPropProblemArray* problems) override;
    HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray* problems) override {
        return FixedAnswer(*this, "DeleteProps", MAPI_E_NO_SUPPORT, problems);
    }
    HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG,
                                              LPSPropTagArray* tags) override {
        return FixedAnswer(*this, "GetIDsFromNames", MAPI_E_NO_SUPPORT, tags);
    }

private:
    // IMAPIProp::SaveChanges (MSDN, Extended MAPI): without KEEP_OPEN_READONLY
    // or KEEP_OPEN_READWRITE the object may only be released afterwards.
    bool closed_ = false;
    MessageRef message_;
    AttachmentData data_;
};

AttachStream::AttachStream(World* world, AttachObject* owner, std::shared_ptr<SpillFile> spill,
                           HANDLE file, bool writable)
    : Tracked(world, "AttachStream"), owner_(owner), spill_(std::move(spill)), file_(file),
      writable_(writable) {
    owner_->AddRef();
}

AttachStream::~AttachStream() {
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
    owner_->Release();
}

HRESULT STDMETHODCALLTYPE AttachStream::Read(void* buffer, ULONG count, ULONG* read) {
    MapiCall call(*this, "Read", [&] { return std::to_string(count); });
    if (read)
        *read = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!buffer && count)
        return call.Done(STG_E_INVALIDPOINTER);
    if (writable_)
        return call.Done(STG_E_ACCESSDENIED); // opened STGM_WRITE
    DWORD got = 0;
    if (!ReadFile(file_, buffer, count, &got, nullptr))
        return call.Done(STG_E_READFAULT);
    if (read)
        *read = got;
    return call.Done(got < count ? S_FALSE : S_OK);
}

HRESULT STDMETHODCALLTYPE AttachStream::Write(const void* buffer, ULONG count, ULONG* written) {
    MapiCall call(*this, "Write", [&] { return std::to_string(count); });
    if (written)
        *written = 0;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!buffer && count)
        return call.Done(STG_E_INVALIDPOINTER);
    if (!writable_)
        return call.Done(STG_E_ACCESSDENIED);
    DWORD put = 0;
    if (count && (!WriteFile(file_, buffer, count, &put, nullptr) || put != count))
        return call.Done(STG_E_MEDIUMFULL);
    written_ += put;
    if (written)
        *written = put;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AttachStream::Seek(LARGE_INTEGER move, DWORD origin,
                                             ULARGE_INTEGER* newPosition) {
    MapiCall call(*this, "Seek", [&] {
        return std::to_string(static_cast<long long>(move.QuadPart)) + " from " +
               std::to_string(origin);
    });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (origin > STREAM_SEEK_END)
        return call.Done(STG_E_INVALIDFUNCTION);
    LARGE_INTEGER at;
    at.QuadPart = 0;
    if (!SetFilePointerEx(file_, move, &at, origin))
        return call.Done(STG_E_INVALIDFUNCTION);
    if (newPosition)
        newPosition->QuadPart = static_cast<ULONGLONG>(at.QuadPart);
    return call.Done(S_OK);
}

// IStream::Commit on a property stream (MSDN, Extended MAPI, "IMAPIProp::
// OpenProperty"): what was written reaches the attachment only when the
// stream is committed; a stream released uncommitted leaves it as it was.
HRESULT STDMETHODCALLTYPE AttachStream::Commit(DWORD flags) {
    MapiCall call(*this, "Commit", [&] { return std::to_string(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (writable_) {
        spill_->size = written_;
        owner_->TakeData(spill_);
    }
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AttachStream::Stat(STATSTG* stat, DWORD) {
    MapiCall call(*this, "Stat", "");
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!stat)
        return call.Done(STG_E_INVALIDPOINTER);
    std::memset(stat, 0, sizeof *stat);
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = writable_ ? written_ : spill_->size;
    stat->grfMode = writable_ ? STGM_WRITE : STGM_READ;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AttachObject::SaveChanges(ULONG flags) {
    MapiCall call(*this, "SaveChanges", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (closed_)
        return call.Done(MAPI_E_NO_ACCESS);
    if (message_->gone)
        return call.Done(kObjectDeleted);
    auto saved = std::make_shared<const AttachmentData>(data_);
    auto& list = message_->attachments;
    auto at = std::find_if(list.begin(), list.end(),
                           [&](const auto& a) { return a->number == data_.number; });
    if (at != list.end())
        *at = saved;
    else
        list.push_back(saved);
    closed_ = (flags & (KEEP_OPEN_READONLY | KEEP_OPEN_READWRITE)) == 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AttachObject::OpenProperty(ULONG tag, LPCIID iid, ULONG interfaceOptions,
                                                     ULONG flags, LPUNKNOWN* object) {
    MapiCall call(*this, "OpenProperty", [&] {
        return TagText(tag) + ", " + (iid ? IidName(*iid) : "null") + ", " + FlagsText(flags);
    });
    if (object)
        *object = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!object || !iid)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (closed_)
        return call.Done(MAPI_E_NO_ACCESS);
    if (!IsEqualIID(*iid, IID_IStream) && !IsEqualIID(*iid, IID_ISequentialStream))
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    if (tag != PR_ATTACH_DATA_BIN)
        return call.Done(MAPI_E_NOT_FOUND);
    // IMAPIProp::OpenProperty (MSDN, Extended MAPI): MAPI_CREATE goes with
    // MAPI_MODIFY, and a stream to be written is asked for as STGM_WRITE or
    // STGM_READWRITE.
    if ((flags & MAPI_CREATE) && !(flags & MAPI_MODIFY))
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (flags & MAPI_MODIFY) {
        if (!(interfaceOptions & (STGM_WRITE | STGM_READWRITE)))
            return call.Done(MAPI_E_NO_ACCESS, "The stream was not asked for writing.");
        if (!(flags & MAPI_CREATE) && !data_.data)
            return call.Done(MAPI_E_NOT_FOUND);
        std::shared_ptr<SpillFile> spill = NewSpill();
        HANDLE file = spill ? CreateFileA(spill->path.c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                            : INVALID_HANDLE_VALUE;
        if (file == INVALID_HANDLE_VALUE)
            return call.Done(MAPI_E_CALL_FAILED, "The store could not make the stream's file.");
        *object = static_cast<IStream*>(new AttachStream(world_, this, spill, file, true));
        return call.Done(S_OK);
    }
    if (!data_.data)
        return call.Done(MAPI_E_NOT_FOUND);
    HANDLE file = CreateFileA(data_.data->path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return call.Done(MAPI_E_CALL_FAILED);
    auto spill = std::const_pointer_cast<SpillFile>(data_.data);
    *object = static_cast<IStream*>(new AttachStream(world_, this, spill, file, false));
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE AttachObject::SetProps(ULONG count, LPSPropValue values,
                                                 LPSPropProblemArray* problems) {
    MapiCall call(*this, "SetProps", [&] {
        std::string args;
        for (ULONG i = 0; values && i < count; ++i)
            args += (i ? ", " : "") + HexCode(static_cast<HRESULT>(values[i].ulPropTag));
        return args;
    });
    if (problems)
        *problems = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!values || count == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (closed_)
        return call.Done(MAPI_E_NO_ACCESS);
    std::vector<SPropProblem> trouble;
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& v = values[i];
        std::string text;
        SCODE problem = S_OK;
        switch (PROP_ID(v.ulPropTag)) {
        case PROP_ID(PR_ATTACH_METHOD):
            if (PROP_TYPE(v.ulPropTag) == PT_LONG)
                data_.method = v.Value.l;
            else
                problem = MAPI_E_INVALID_PARAMETER;
            break;
        case PROP_ID(PR_ATTACH_LONG_FILENAME):
        case PROP_ID(PR_ATTACH_FILENAME):
        case PROP_ID(PR_DISPLAY_NAME):
        case PROP_ID(kPrAttachMimeTag): {
            if (!TextOf(v, &text)) {
                problem = MAPI_E_INVALID_PARAMETER;
                break;
            }
            const ULONG id = PROP_ID(v.ulPropTag);
            (id == PROP_ID(PR_ATTACH_LONG_FILENAME) ? data_.longFileName
             : id == PROP_ID(PR_ATTACH_FILENAME)    ? data_.fileName
             : id == PROP_ID(PR_DISPLAY_NAME)       ? data_.displayName
                                                    : data_.mimeTag) = text;
            break;
        }
        case PROP_ID(PR_ATTACH_DATA_BIN): {
            if (PROP_TYPE(v.ulPropTag) != PT_BINARY) {
                problem = MAPI_E_INVALID_PARAMETER;
                break;
            }
            std::shared_ptr<SpillFile> spill = NewSpill();
            HANDLE file = spill ? CreateFileA(spill->path.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)
                                : INVALID_HANDLE_VALUE;
            DWORD put = 0;
            if (file == INVALID_HANDLE_VALUE ||
                (v.Value.bin.cb &&
                 !WriteFile(file, v.Value.bin.lpb, v.Value.bin.cb, &put, nullptr)))
                problem = MAPI_E_CALL_FAILED;
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
            if (problem == S_OK) {
                spill->size = put;
                data_.data = spill;
            }
            break;
        }
        case PROP_ID(PR_ATTACH_NUM):
        case PROP_ID(PR_ATTACH_SIZE):
            problem = kComputed; // the store's own values
            break;
        default:
            break; // kept by a real store; nothing here reads it
        }
        if (problem != S_OK)
            trouble.push_back(SPropProblem{i, v.ulPropTag, problem});
    }
    const std::vector<SPropProblem>& out = trouble;
    if (problems && !out.empty()) {
        LPSPropProblemArray array = nullptr;
        if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(offsetof(SPropProblemArray, aProblem) +
                                                         out.size() * sizeof(SPropProblem)),
                                      reinterpret_cast<void**>(&array))))
            return call.Done(MAPI_E_NOT_ENOUGH_MEMORY);
        array->cProblem = static_cast<ULONG>(out.size());
        for (size_t i = 0; i < out.size(); ++i)
            array->aProblem[i] = out[i];
        *problems = array;
    }
    return call.Done(S_OK);
}

// ---- The message's attachments
// -------------------------------------------------------------------

HRESULT STDMETHODCALLTYPE MessageObject::GetAttachmentTable(ULONG flags, LPMAPITABLE* table) {
    MapiCall call(*this, "GetAttachmentTable", [&] { return FlagsText(flags); });
    if (table)
        *table = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!table)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    std::vector<TableObject::Row> rows;
    for (const auto& a : data_->attachments)
        rows.push_back({Num(PR_ATTACH_NUM, static_cast<LONG>(a->number)),
                        AttachProp(*a, PR_ATTACH_METHOD), AttachProp(*a, PR_ATTACH_SIZE),
                        AttachProp(*a, PR_ATTACH_LONG_FILENAME_W),
                        AttachProp(*a, PR_DISPLAY_NAME_W)});
    *table = new TableObject(world_,
                             {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_SIZE,
                              PR_ATTACH_LONG_FILENAME_W, PR_DISPLAY_NAME_W},
                             rows);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::OpenAttach(ULONG number, LPCIID iid, ULONG flags,
                                                    LPATTACH* attach) {
    MapiCall call(*this, "OpenAttach",
                  [&] { return std::to_string(number) + ", " + FlagsText(flags); });
    if (attach)
        *attach = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!attach)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (iid && !IsEqualIID(*iid, IID_IAttachment))
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    for (const auto& a : data_->attachments) {
        if (a->number == number) {
            *attach = new AttachObject(world_, data_, *a);
            return call.Done(S_OK);
        }
    }
    return call.Done(MAPI_E_NOT_FOUND);
}

// IMessage::CreateAttach (MSDN, Extended MAPI): the interface asked for is
// null (IAttach) and the only flag MAPI_DEFERRED_ERRORS; the attachment
// exists in the message once its own SaveChanges is called.
HRESULT STDMETHODCALLTYPE MessageObject::CreateAttach(LPCIID iid, ULONG flags, ULONG* number,
                                                      LPATTACH* attach) {
    MapiCall call(*this, "CreateAttach", [&] { return FlagsText(flags); });
    if (attach)
        *attach = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!attach || !number)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (iid && !IsEqualIID(*iid, IID_IAttachment))
        return call.Done(MAPI_E_INTERFACE_NOT_SUPPORTED);
    if (flags & ~MAPI_DEFERRED_ERRORS)
        return call.Done(MAPI_E_UNKNOWN_FLAGS);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    AttachmentData fresh;
    fresh.number = data_->nextAttachNumber++;
    *number = fresh.number;
    *attach = new AttachObject(world_, data_, fresh);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE MessageObject::DeleteAttach(ULONG number,
                                                      ParamOf<&IMessage::DeleteAttach, 1>,
                                                      LPMAPIPROGRESS, ULONG flags) {
    MapiCall call(*this, "DeleteAttach",
                  [&] { return std::to_string(number) + ", " + FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (data_->gone)
        return call.Done(kObjectDeleted);
    auto& list = data_->attachments;
    auto at =
        std::find_if(list.begin(), list.end(), [&](const auto& a) { return a->number == number; });
    if (at == list.end())
        return call.Done(MAPI_E_NOT_FOUND);
    list.erase(at);
    return call.Done(S_OK);
}

} // namespace sim
