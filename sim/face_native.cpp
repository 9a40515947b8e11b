// Natively there is no clipboard and no picture object to look into: the
// face a button gets is not recorded.
#include "bars_internal.h"

namespace sim {

void RecordClipboardFace(MailClient::FaceState*) {}

void RecordPictureBitmap(IUnknown*, LONG*, LONG*, WORD*, std::vector<BYTE>*) {}

} // namespace sim
