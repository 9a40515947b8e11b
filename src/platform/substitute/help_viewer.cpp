// The HTML Help viewer of the substitute platform: every call is recorded for
// the tests instead of opening a help window. Like the real viewer it is
// "loaded" once; when tests make it unavailable the load fails and help stays
// off until the viewer is reset.
#include "internal.h"

namespace substitute {
namespace {

const HWND kHelpWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4850));

struct HelpViewerState {
    bool available = true;
    bool loaded = false;
    bool failed = false;
    unsigned loadAttempts = 0;
    std::vector<HtmlHelpCall> calls;
};

HelpViewerState& State() {
    static HelpViewerState state;
    return state;
}

} // namespace

void SetHtmlHelpAvailable(bool available) {
    State().available = available;
}

unsigned HtmlHelpLoadAttempts() {
    return State().loadAttempts;
}

const std::vector<HtmlHelpCall>& HtmlHelpCalls() {
    return State().calls;
}

namespace detail {
void ResetHelpViewer() {
    State() = HelpViewerState{};
}
} // namespace detail
} // namespace substitute

using namespace substitute;

HWND HtmlHelpViewer(HWND owner, LPCSTR file, UINT command, DWORD_PTR data) {
    HelpViewerState& s = State();
    if (s.failed)
        return nullptr;
    if (!s.loaded) {
        ++s.loadAttempts;
        if (!s.available) {
            s.failed = true;
            return nullptr;
        }
        s.loaded = true;
    }
    HtmlHelpCall call{owner, file ? file : "", command, data, {}, {}};
    if (command == HH_KEYWORD_LOOKUP && data) {
        call.link = *reinterpret_cast<const HH_AKLINK*>(data);
        call.keywords = call.link.pszKeywords ? call.link.pszKeywords : "";
    }
    s.calls.push_back(call);
    return kHelpWindow;
}

void ResetHtmlHelpViewer() {
    State().loaded = false;
    State().failed = false;
}
