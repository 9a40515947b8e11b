// The client's real top-level windows: the explorer's and the compose
// window's frames, the "Quorsend" button the compose window gets by either
// door, and the screenshots of any window.
#include "host.h"
#include "saved_draft.h"
#include "screenshot_win.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

const char kFrameClass[] = "QuorvelHostFrame";

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // "Quorsend": the client delivers the click to the extension's sinks,
        // or invokes the add-in's onAction with the window as its context;
        // the mailing dialog runs inside it.
        if (LOWORD(wParam) == kQuorsendId && HIWORD(wParam) == BN_CLICKED && !Clicked) {
            if (Ribbon && ComposeInspector) {
                Clicked = true;
                const HRESULT hr =
                    Client->ClickRibbonButton(ComposeInspector.Get(), RibbonControl.id);
                if (FAILED(hr))
                    Problems.push_back("the ribbon button's onAction failed (" +
                                       std::to_string(static_cast<long>(hr)) + ")");
                DialogDone = true;
            } else if (BarControl) {
                Clicked = true;
                Client->Click(BarControl.Get());
                DialogDone = true;
            }
        }
        return 0;
    case WM_DRAWITEM:
        if (wParam == kQuorsendId) {
            const DRAWITEMSTRUCT& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
            if (Ribbon)
                DrawRibbonButton(item);
            else
                DrawBarButton(item);
            return TRUE;
        }
        break;
    case WM_PAINT:
        PaintFrame(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND BarButton(HWND frame, const std::string& caption, int id, int x, int width,
               DWORD style = BS_PUSHBUTTON) {
    HWND button = CreateWindowExA(
        0, "BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | style, x, 3, width, 24, frame,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr);
    SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont), TRUE);
    return button;
}

// The add-in's door: its one button on the compose window's ribbon, and
// none on the bar beside it.
void PutQuorsendOnRibbon(sim::MailClient& client) {
    if (BarControl)
        Problems.push_back("a \"Quorsend\" button on the Standard bar beside the "
                           "ribbon's");
    const std::vector<sim::RibbonButton> buttons = client.RibbonButtons(ComposeInspector.Get());
    if (buttons.size() != 1)
        Fail("the compose ribbon has " + std::to_string(buttons.size()) +
             " button(s) of the add-in, not one");
    RibbonControl = buttons[0];
    const sim::RibbonButton& b = RibbonControl;
    if (b.imageWidth != 32 || b.imageHeight != 32 || b.imageBitsPixel != 32)
        Problems.push_back("the ribbon's image is " + std::to_string(b.imageWidth) + " x " +
                           std::to_string(b.imageHeight) + " at " +
                           std::to_string(b.imageBitsPixel) + " bits, not 32 x 32 at 32");
    size_t transparent = 0;
    for (size_t at = 3; at < b.imagePixels.size(); at += 4)
        transparent += b.imagePixels[at] == 0 ? 1 : 0;
    // The ribbon's large button, with the client's own Send before it.
    HWND send = CreateWindowExA(0, "BUTTON", "&Send", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 10,
                                kTabsHeight + 6, 62, 64, ComposeWindow, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    SendMessageA(send, WM_SETFONT, reinterpret_cast<WPARAM>(GuiFont), TRUE);
    QuorsendButton =
        CreateWindowExA(0, "BUTTON", b.label.c_str(), WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, 88,
                        kTabsHeight + 4, 64, kBandHeight - kGroupLabelHeight - 8, ComposeWindow,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kQuorsendId)),
                        GetModuleHandleA(nullptr), nullptr);
    InvalidateRect(ComposeWindow, nullptr, TRUE);
    std::printf("  compose window opened: \"%s\" button (%s) in the group \"%s\" of "
                "the tab %s\n    supertip: %s\n    image: %ld x %ld, %u bits, %zu of "
                "%zu pixels transparent\n",
                b.label.c_str(), b.size.c_str(), b.groupLabel.c_str(), b.tab.c_str(),
                b.supertip.c_str(), static_cast<long>(b.imageWidth),
                static_cast<long>(b.imageHeight), static_cast<unsigned>(b.imageBitsPixel),
                transparent, b.imagePixels.size() / 4);
}

// The extension's door: its control on the compose window's Standard bar.
void PutQuorsendOnBar(sim::MailClient& client) {
    if (!BarControl)
        Fail("the compose window got no \"Quorsend\" button");
    const sim::MailClient::ControlState state = client.Inspect(BarControl.Get());
    // The Standard bar as the user sees it: the client's own buttons,
    // then the extension's, with the caption and tooltip it was given.
    BarButton(ComposeWindow, "&Send", 101, 4, 60);
    BarButton(ComposeWindow, "Save", 102, 68, 56);
    BarFace = state.face;
    QuorsendButton = BarButton(ComposeWindow, state.caption, kQuorsendId, 140, 96, BS_OWNERDRAW);
    InvalidateRect(ComposeWindow, nullptr, TRUE);
    std::printf("  compose window opened: \"%s\" button on its Standard bar (%s)\n",
                state.caption.c_str(),
                state.facePastes ? "face pasted from the clipboard"
                                 : (state.hasPicture ? "face given as pictures" : "no face"));
}

} // namespace

void RegisterFrames() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    GuiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = FrameProc;
    frameClass.hInstance = GetModuleHandleA(nullptr);
    frameClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    frameClass.lpszClassName = kFrameClass;
    RegisterClassA(&frameClass);
}

HWND MakeFrame(const std::string& caption, int x, int y, int width, int height) {
    HWND window =
        CreateWindowExA(0, kFrameClass, caption.c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, x,
                        y, width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        Fail("cannot create the window \"" + caption + "\"");
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    return window;
}

void OpenComposeWindow(sim::MailClient& client, const Message& message) {
    // The compose window: its bar gets the button when NewInspector fires.
    ComposeWindow = MakeFrame(message.subject + " - Message", 120, 90, 760, 520);
    SetPropA(ComposeWindow, "QvBody", const_cast<char*>(message.body.c_str()));
    sim::Draft draft;
    draft.subject = message.subject;
    draft.body = message.body;
    draft.html = message.html;
    draft.bodyFormat = message.html.empty() ? olFormatPlain : olFormatHTML;
    draft.window = ComposeWindow;
    // The draft the user reopens, as the client saved it.
    draft.publicStrings = ReadSavedDraft(DraftFile);
    ComposeInspector = client.OpenCompose(draft);
    BarControl = client.FindControl(ComposeInspector.Get(), "Standard", "Quorsend");
    if (Ribbon)
        PutQuorsendOnRibbon(client);
    else
        PutQuorsendOnBar(client);
}

void Shoot(HWND window, const std::string& name) {
    if (Options.screenshots.empty() || !window)
        return;
    const std::string path = Options.screenshots + "\\" + name + ".png";
    if (SaveWindowPng(window, path))
        ++ShotsSaved;
    else
        Problems.push_back("could not save the screenshot " + path);
}
