// The store's tables (the status table, a recipient table): columns, rows,
// restrictions, sort order and the cursor.
#include "store_internal.h"

#include <algorithm>

namespace sim {

namespace {

constexpr ULONG kTblNoAdvance = 1;
constexpr ULONG kTableSortDescend = 1;
constexpr BOOKMARK kBookmarkCurrent = 1;
constexpr BOOKMARK kBookmarkEnd = 2;

int Compare(const ExtraProp& a, const SPropValue& b, bool* comparable) {
    *comparable = true;
    switch (PROP_TYPE(b.ulPropTag)) {
    case PT_LONG:
    case PT_I2:
    case PT_BOOLEAN: {
        LONG other = PROP_TYPE(b.ulPropTag) == PT_LONG ? b.Value.l
                     : PROP_TYPE(b.ulPropTag) == PT_I2 ? b.Value.i
                                                       : (b.Value.b ? 1 : 0);
        return a.number < other ? -1 : a.number > other ? 1 : 0;
    }
    case PT_STRING8:
        return a.bytes.compare(b.Value.lpszA ? b.Value.lpszA : "");
    case PT_BINARY:
        return a.bytes.compare(std::string(reinterpret_cast<const char*>(b.Value.bin.lpb),
                                           b.Value.bin.lpb ? b.Value.bin.cb : 0));
    default:
        *comparable = false;
        return 0;
    }
}

bool Matches(const std::vector<ExtraProp>& row, const SRestriction* r, bool* tooComplex) {
    if (!r) {
        *tooComplex = true;
        return false;
    }
    switch (r->rt) {
    case RES_AND:
        for (ULONG i = 0; i < r->res.resAnd.cRes; ++i)
            if (!Matches(row, &r->res.resAnd.lpRes[i], tooComplex))
                return false;
        return true;
    case RES_OR:
        for (ULONG i = 0; i < r->res.resOr.cRes; ++i)
            if (Matches(row, &r->res.resOr.lpRes[i], tooComplex))
                return true;
        return false;
    case RES_NOT:
        return !Matches(row, r->res.resNot.lpRes, tooComplex);
    case RES_EXIST:
        return PROP_TYPE(ColumnValue(row, r->res.resExist.ulPropTag).tag) != PT_ERROR;
    case RES_PROPERTY: {
        const SPropertyRestriction& p = r->res.resProperty;
        if (!p.lpProp) {
            *tooComplex = true;
            return false;
        }
        ExtraProp value = ColumnValue(row, p.ulPropTag);
        if (PROP_TYPE(value.tag) == PT_ERROR)
            return false;
        bool comparable;
        int c = Compare(value, *p.lpProp, &comparable);
        if (!comparable) {
            *tooComplex = true;
            return false;
        }
        switch (p.relop) {
        case RELOP_LT:
            return c < 0;
        case RELOP_LE:
            return c <= 0;
        case RELOP_GT:
            return c > 0;
        case RELOP_GE:
            return c >= 0;
        case RELOP_EQ:
            return c == 0;
        case RELOP_NE:
            return c != 0;
        default:
            *tooComplex = true;
            return false;
        }
    }
    default:
        *tooComplex = true;
        return false;
    }
}

} // namespace

// ---- Tables -------------------------------------------------------------------------------------

TableObject::TableObject(World* world, std::vector<ULONG> columns, std::vector<Row> rows)
    : TableObject(world, std::move(columns),
                  std::make_shared<const std::vector<Row>>(std::move(rows))) {}

TableObject::TableObject(World* world, std::vector<ULONG> columns,
                         std::shared_ptr<const std::vector<Row>> rows)
    : Tracked(world, "Table"), columns_(std::move(columns)), rows_(std::move(rows)) {
    for (size_t i = 0; i < all_.size(); ++i)
        view_.push_back(i);
}

void* TableObject::Find(REFIID iid) {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMAPITable))
        return static_cast<IMAPITable*>(this);
    return nullptr;
}

HRESULT STDMETHODCALLTYPE TableObject::GetLastError(HRESULT result, ULONG flags,
                                                    LPMAPIERROR* error) {
    MapiCall call(*this, "GetLastError", [&] { return HexCode(result); });
    return call.Done(LastErrorOut(*this, result, flags, error));
}

HRESULT STDMETHODCALLTYPE TableObject::Advise(ULONG, LPMAPIADVISESINK,
                                              ParamOf<&IMAPITable::Advise, 2> connection) {
    return FixedAnswer(*this, "Advise", MAPI_E_NO_SUPPORT, connection);
}

HRESULT STDMETHODCALLTYPE TableObject::Unadvise(ULONG) {
    return FixedAnswer(*this, "Unadvise", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE TableObject::GetStatus(ULONG* tableStatus, ULONG* tableType) {
    MapiCall call(*this, "GetStatus", "");
    if (!tableStatus || !tableType)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *tableStatus = 0; // TBLSTAT_COMPLETE
    *tableType = 0;   // TBLTYPE_SNAPSHOT
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::SetColumns(LPSPropTagArray columns, ULONG flags) {
    MapiCall call(*this, "SetColumns",
                  [&] { return TagListText(columns) + "; " + FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!columns || columns->cValues == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    columns_.assign(columns->aulPropTag, columns->aulPropTag + columns->cValues);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::QueryColumns(ULONG flags, LPSPropTagArray* columns) {
    MapiCall call(*this, "QueryColumns", [&] { return FlagsText(flags); });
    if (columns)
        *columns = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!columns)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    return call.Done(TagsOut(columns_, columns));
}

HRESULT STDMETHODCALLTYPE TableObject::GetRowCount(ULONG flags, ULONG* count) {
    MapiCall call(*this, "GetRowCount", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!count)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *count = static_cast<ULONG>(view_.size());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::SeekRow(BOOKMARK origin, LONG rowCount, LONG* rowsSought) {
    MapiCall call(*this, "SeekRow", [&] {
        return std::to_string(static_cast<unsigned long long>(origin)) + ", " +
               std::to_string(rowCount);
    });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    long long base = origin == BOOKMARK_BEGINNING ? 0
                     : origin == kBookmarkCurrent ? static_cast<long long>(cursor_)
                     : origin == kBookmarkEnd     ? static_cast<long long>(view_.size())
                                                  : -1;
    if (base < 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    long long target = std::max<long long>(
        0, std::min<long long>(static_cast<long long>(view_.size()), base + rowCount));
    if (rowsSought)
        *rowsSought = static_cast<LONG>(target - base);
    cursor_ = static_cast<size_t>(target);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::SeekRowApprox(ULONG numerator, ULONG denominator) {
    MapiCall call(*this, "SeekRowApprox", "");
    if (denominator == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    cursor_ = static_cast<size_t>(static_cast<ULONGLONG>(view_.size()) * numerator / denominator);
    cursor_ = std::min(cursor_, view_.size());
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::QueryPosition(ULONG* row, ULONG* numerator,
                                                     ULONG* denominator) {
    MapiCall call(*this, "QueryPosition", "");
    if (!row || !numerator || !denominator)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    *row = static_cast<ULONG>(cursor_);
    *numerator = static_cast<ULONG>(cursor_);
    *denominator = static_cast<ULONG>(view_.size() ? view_.size() : 1);
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::FindRow(LPSRestriction restriction, BOOKMARK origin,
                                               ULONG flags) {
    MapiCall call(*this, "FindRow", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!restriction || (flags & 1) /* DIR_BACKWARD */)
        return call.Done(restriction ? MAPI_E_NO_SUPPORT : MAPI_E_INVALID_PARAMETER);
    size_t from = origin == BOOKMARK_BEGINNING ? 0
                  : origin == kBookmarkCurrent ? cursor_
                                               : view_.size();
    for (size_t i = from; i < view_.size(); ++i) {
        bool tooComplex = false;
        bool match = Matches(all_[view_[i]], restriction, &tooComplex);
        if (tooComplex)
            return call.Done(kTooComplex);
        if (match) {
            cursor_ = i;
            return call.Done(S_OK);
        }
    }
    return call.Done(MAPI_E_NOT_FOUND);
}

HRESULT STDMETHODCALLTYPE TableObject::Restrict(LPSRestriction restriction, ULONG flags) {
    MapiCall call(*this, "Restrict", [&] {
        if (restriction && restriction->rt == RES_PROPERTY && restriction->res.resProperty.lpProp)
            return HexCode(static_cast<HRESULT>(restriction->res.resProperty.ulPropTag)) +
                   " relop " + std::to_string(restriction->res.resProperty.relop) + " " +
                   std::to_string(restriction->res.resProperty.lpProp->Value.l);
        return restriction ? "rt " + std::to_string(restriction->rt) : std::string("none");
    });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    (void)flags;
    std::vector<size_t> view;
    for (size_t i = 0; i < all_.size(); ++i) {
        bool tooComplex = false;
        if (!restriction || Matches(all_[i], restriction, &tooComplex))
            view.push_back(i);
        if (tooComplex)
            return call.Done(kTooComplex);
    }
    view_ = view;
    cursor_ = 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::CreateBookmark(BOOKMARK* position) {
    return FixedAnswer(*this, "CreateBookmark", MAPI_E_NO_SUPPORT, position);
}

HRESULT STDMETHODCALLTYPE TableObject::FreeBookmark(BOOKMARK) {
    return FixedAnswer(*this, "FreeBookmark", MAPI_E_NO_SUPPORT);
}

HRESULT STDMETHODCALLTYPE TableObject::SortTable(LPSSortOrderSet criteria, ULONG flags) {
    MapiCall call(*this, "SortTable", [&] { return FlagsText(flags); });
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!criteria)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (criteria->cCategories)
        return call.Done(kTooComplex);
    std::vector<SSortOrder> keys(criteria->aSort, criteria->aSort + criteria->cSorts);
    std::stable_sort(view_.begin(), view_.end(), [&](size_t a, size_t b) {
        for (const SSortOrder& k : keys) {
            ExtraProp x = ColumnValue(all_[a], k.ulPropTag), y = ColumnValue(all_[b], k.ulPropTag);
            int c =
                x.number != y.number ? (x.number < y.number ? -1 : 1) : x.bytes.compare(y.bytes);
            if (c != 0)
                return k.ulOrder == kTableSortDescend ? c > 0 : c < 0;
        }
        return false;
    });
    cursor_ = 0;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::QuerySortOrder(LPSSortOrderSet* criteria) {
    return FixedAnswer(*this, "QuerySortOrder", MAPI_E_NO_SUPPORT, criteria);
}

HRESULT STDMETHODCALLTYPE TableObject::QueryRows(LONG rowCount, ULONG flags, LPSRowSet* rows) {
    MapiCall call(*this, "QueryRows",
                  [&] { return std::to_string(rowCount) + ", " + FlagsText(flags); });
    if (rows)
        *rows = nullptr;
    if (HRESULT hr = call.Begin(); hr != S_OK)
        return call.Done(hr);
    if (!rows || rowCount == 0)
        return call.Done(MAPI_E_INVALID_PARAMETER);
    if (rowCount < 0)
        return call.Done(MAPI_E_NO_SUPPORT, "Reading backwards is not supported.");
    const size_t n = std::min<size_t>(static_cast<size_t>(rowCount),
                                      view_.size() - std::min(cursor_, view_.size()));
    LPSRowSet set = nullptr;
    if (FAILED(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSRowSet(n ? n : 1)),
                                  reinterpret_cast<void**>(&set))))
        return call.Done(MAPI_E_NOT_ENOUGH_MEMORY);
    set->cRows = 0;
    for (size_t i = 0; i < n; ++i) {
        std::vector<ExtraProp> values;
        for (ULONG column : columns_)
            values.push_back(ColumnValue(all_[view_[cursor_ + i]], column));
        SRow& row = set->aRow[i];
        row.ulAdrEntryPad = 0;
        row.cValues = static_cast<ULONG>(values.size());
        if (FAILED(PropsOut(values, &row.lpProps))) {
            FreeProws(set);
            return call.Done(MAPI_E_NOT_ENOUGH_MEMORY);
        }
        set->cRows = static_cast<ULONG>(i + 1);
    }
    if (!(flags & kTblNoAdvance))
        cursor_ += n;
    *rows = set;
    return call.Done(S_OK);
}

HRESULT STDMETHODCALLTYPE TableObject::Abort() {
    return S_OK;
}

HRESULT STDMETHODCALLTYPE TableObject::ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet* rows,
                                                 ULONG* moreRows) {
    return FixedAnswer(*this, "ExpandRow", MAPI_E_NO_SUPPORT, rows, moreRows);
}

HRESULT STDMETHODCALLTYPE TableObject::CollapseRow(ULONG, LPBYTE, ULONG, ULONG* rowCount) {
    return FixedAnswer(*this, "CollapseRow", MAPI_E_NO_SUPPORT, rowCount);
}

HRESULT STDMETHODCALLTYPE TableObject::WaitForCompletion(ULONG, ULONG, ULONG* tableStatus) {
    return FixedAnswer(*this, "WaitForCompletion", S_OK, tableStatus);
}

HRESULT STDMETHODCALLTYPE TableObject::GetCollapseState(ULONG, ULONG, LPBYTE, ULONG* stateSize,
                                                        LPBYTE* state) {
    return FixedAnswer(*this, "GetCollapseState", MAPI_E_NO_SUPPORT, stateSize, state);
}

HRESULT STDMETHODCALLTYPE TableObject::SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK* location) {
    return FixedAnswer(*this, "SetCollapseState", MAPI_E_NO_SUPPORT, location);
}

} // namespace sim
