#include "client/client_commands.h"

#include "client/host_application.h"
#include "client/host_state.h"

namespace {
constexpr int kSendReceiveIdBefore11 = 5488;
constexpr int kSendReceiveId11 = 7095;
} // namespace

bool IssueSendReceive() {
    if (!ApplicationRef)
        return false;
    try {
        if (HostVersion >= 12) {
            // These hosts have no Send/Receive control to find; their
            // namespace starts one, without its progress dialog.
            ComRef<IDispatch> nameSpace = HostApplication::Session(ApplicationRef.Get());
            if (!nameSpace)
                return false;
            HostApplication::SendAndReceive(nameSpace.Get(), false);
            return true;
        }
        ComRef<IDispatch> explorer = HostApplication::ActiveExplorer(ApplicationRef.Get());
        if (!explorer)
            return false;
        ComRef<IDispatch> bars = HostApplication::ExplorerCommandBars(explorer.Get());
        if (!bars)
            return false;
        const int id = HostVersion >= 11 ? kSendReceiveId11 : kSendReceiveIdBefore11;
        ComRef<IDispatch> control = HostApplication::FindControl(bars.Get(), id);
        if (!control)
            return false;
        HostApplication::Execute(control.Get());
        return true;
    } catch (const HostError&) {
        return false;
    }
}

bool FlushOutboundQueue() {
    if (!MapiSessionRef)
        return false;
    ComRef<IMAPITable> table;
    if (FAILED(MapiSessionRef->GetStatusTable(0, table.Out())) || !table)
        return false;
    SizedSPropTagArray(1, columns) = {1, {PR_ENTRYID}};
    SPropValue spooler;
    spooler.ulPropTag = PR_RESOURCE_TYPE;
    spooler.dwAlignPad = 0;
    spooler.Value.l = MAPI_SPOOLER;
    SRestriction restriction;
    restriction.rt = RES_PROPERTY;
    restriction.res.resProperty.relop = RELOP_EQ;
    restriction.res.resProperty.ulPropTag = PR_RESOURCE_TYPE;
    restriction.res.resProperty.lpProp = &spooler;
    LPSRowSet rows = nullptr;
    HRESULT hr = HrQueryAllRows(table.Get(), reinterpret_cast<LPSPropTagArray>(&columns),
                                &restriction, nullptr, 0, &rows);
    struct RowsOwner {
        LPSRowSet rows;
        ~RowsOwner() {
            if (rows)
                FreeProws(rows);
        }
    } rowsOwner{rows};
    if (FAILED(hr) || !rows || rows->cRows == 0 || rows->aRow[0].cValues < 1 ||
        PROP_TYPE(rows->aRow[0].lpProps[0].ulPropTag) != PT_BINARY)
        return false;
    const SBinary& entry = rows->aRow[0].lpProps[0].Value.bin;
    ULONG type = 0;
    ComRef<IUnknown> object;
    hr = MapiSessionRef->OpenEntry(entry.cb, reinterpret_cast<LPENTRYID>(entry.lpb),
                                   &IID_IMAPIStatus, MAPI_BEST_ACCESS, &type, object.Out());
    if (FAILED(hr))
        return false;
    ComRef<IMAPIStatus> status = RequireAs<IMAPIStatus>(object.Get(), IID_IMAPIStatus);
    return SUCCEEDED(status->FlushQueues(0, 0, nullptr, FLUSH_UPLOAD));
}
