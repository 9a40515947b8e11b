// The library's dialog templates as the dialog manager builds them: every
// control of dialogs.inc is there, of its class, with its caption and style,
// at its rectangle in dialog units mapped to pixels by the manager itself
// (MapDialogRect). Runs on the substitute's manager and, under Wine, on the
// real one with the templates of the built Quorvel.dll.
#include "test_support.h"

#include "base/dialog_ids.h"
#include "base/version.h"
#include "data/settings.h"
#include "dialogs/dialog_support.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

struct ExpectedControl {
    std::string text;
    int id;
    std::string className;
    DWORD style;
    RECT units;
};
struct ExpectedDialog {
    int id;
    std::string caption;
    DWORD style;
    RECT units;
    std::vector<ExpectedControl> controls;
};

std::vector<ExpectedDialog> Templates() {
    std::vector<ExpectedDialog> all;
#define QV_DIALOG(id, x, y, cx, cy, caption)                                                       \
    all.push_back(ExpectedDialog{id,                                                               \
                                 caption,                                                          \
                                 static_cast<DWORD>(QV_DIALOG_STYLE),                              \
                                 RECT{x, y, (x) + (cx), (y) + (cy)},                               \
                                 {}});
#define QV_CONTROL(text, id, cls, style, x, y, cx, cy)                                             \
    all.back().controls.push_back(ExpectedControl{text, id, cls, static_cast<DWORD>(style),        \
                                                  RECT{x, y, (x) + (cx), (y) + (cy)}});
#define QV_DIALOG_END()
#include "base/dialogs.inc"
#undef QV_DIALOG
#undef QV_CONTROL
#undef QV_DIALOG_END
    return all;
}

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

const ExpectedDialog* ExpectedTemplates = nullptr;
constexpr UINT kCheckNow = WM_USER + 50;

// The children of a dialog in creation order.
std::vector<HWND> Children(HWND dialog) {
    std::vector<HWND> children;
    HWND child = GetWindow(dialog, GW_CHILD);
    while (child) {
        children.push_back(child);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    return children;
}

void CheckDialog(HWND dialog) {
    const ExpectedDialog& t = *ExpectedTemplates;
    char caption[128] = "";
    GetWindowTextA(dialog, caption, sizeof caption);
    EXPECT_EQ(caption, t.caption);
    EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(dialog, GWL_STYLE)) & t.style, t.style);
    RECT client;
    GetClientRect(dialog, &client);
    RECT size = {0, 0, t.units.right - t.units.left, t.units.bottom - t.units.top};
    MapDialogRect(dialog, &size);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    const std::vector<HWND> children = Children(dialog);
    ASSERT_EQ(children.size(), t.controls.size());
    for (size_t i = 0; i < children.size(); ++i) {
        const ExpectedControl& c = t.controls[i];
        HWND control = children[i];
        SCOPED_TRACE("control " + std::to_string(c.id) + " " + c.text);
        EXPECT_EQ(static_cast<WORD>(GetDlgCtrlID(control)), static_cast<WORD>(c.id));
        char className[64] = "", text[128] = "";
        GetClassNameA(control, className, sizeof className);
        EXPECT_EQ(Lower(className), Lower(c.className));
        GetWindowTextA(control, text, sizeof text);
        EXPECT_EQ(text, c.text);
        const DWORD style = static_cast<DWORD>(GetWindowLongA(control, GWL_STYLE));
        // An edit control trades its border for a sunken edge in the same
        // place; a progress bar drops it and draws a frame of its own.
        const DWORD edges = WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;
        const bool border = (style & WS_BORDER) || (GetWindowLongA(control, GWL_EXSTYLE) & edges);
        if (Lower(c.className) != "msctls_progress32") {
            EXPECT_EQ(border, (c.style & WS_BORDER) != 0);
        }
        // A combo box's scroll bar is its list's, not its own window's.
        const DWORD own = Lower(c.className) == "combobox"
                              ? c.style & ~static_cast<DWORD>(WS_VSCROLL | WS_HSCROLL)
                              : c.style;
        EXPECT_EQ(style & own & ~WS_BORDER, own & ~WS_BORDER);
        // An up-down control aligns itself with its buddy, which narrows.
        const bool upDown = Lower(c.className) == "msctls_updown32";
        const bool buddy =
            i + 1 < t.controls.size() && Lower(t.controls[i + 1].className) == "msctls_updown32";
        if (upDown) {
            EXPECT_EQ(SendMessageA(control, UDM_GETBUDDY, 0, 0),
                      reinterpret_cast<LRESULT>(children[i - 1]));
            continue;
        }
        // The manager maps a control's position and its size each.
        RECT expected = {c.units.left, c.units.top, c.units.right - c.units.left,
                         c.units.bottom - c.units.top};
        MapDialogRect(dialog, &expected);
        expected.right += expected.left;
        expected.bottom += expected.top;
        RECT actual;
        GetWindowRect(control, &actual);
        POINT topLeft = {actual.left, actual.top}, bottomRight = {actual.right, actual.bottom};
        ScreenToClient(dialog, &topLeft);
        ScreenToClient(dialog, &bottomRight);
        EXPECT_EQ(topLeft.x, expected.left);
        EXPECT_EQ(topLeft.y, expected.top);
        // A drop-down list's template height is its open list's: closed, it
        // is as high as its font makes it.
        if (Lower(c.className) != "combobox") {
            EXPECT_EQ(bottomRight.y, expected.bottom);
        }
        if (!buddy) {
            EXPECT_EQ(bottomRight.x, expected.right);
        }
    }
}

INT_PTR CALLBACK CheckingProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) {
        PostMessageA(dialog, kCheckNow, 0, 0);
        return TRUE;
    }
    if (message == kCheckNow) {
        CheckDialog(dialog);
        EndDialog(dialog, 7);
        return TRUE;
    }
    return FALSE;
}

class DialogTemplatesTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        ResetSettingsToLoadTime();
        // The templates of the library as it is delivered (on Windows the
        // built Quorvel.dll), shown with its own manifest.
        ASSERT_NE(ProductLibrary(), nullptr);
        AttachLibrary(ProductLibrary());
        ForgetActivationContext();
    }
};

TEST_F(DialogTemplatesTest, EachDialogIsBuiltControlForControlFromItsTemplate) {
    const std::vector<ExpectedDialog> templates = Templates();
    ASSERT_EQ(templates.size(), 4u);
    for (const ExpectedDialog& t : templates) {
        SCOPED_TRACE("dialog " + std::to_string(t.id));
        ExpectedTemplates = &t;
        EXPECT_EQ(ShowLibraryDialog(t.id, GetDesktopWindow(), CheckingProc, 0), 7);
    }
    ExpectedTemplates = nullptr;
}

TEST_F(DialogTemplatesTest, TheTemplatesHaveTheirSizesAndFont) {
    const std::vector<ExpectedDialog> templates = Templates();
    // Sizes and fonts as the dialogs are laid out.
    EXPECT_EQ(templates[0].units.right, 351);
    EXPECT_EQ(templates[0].units.bottom, 118);
    EXPECT_EQ(templates[1].units.right, 297);
    EXPECT_EQ(templates[1].units.bottom, 103);
    EXPECT_EQ(templates[2].units.right, 176);
    EXPECT_EQ(templates[2].units.bottom, 137);
    EXPECT_STREQ(QV_DIALOG_FONT, "MS Sans Serif");
    EXPECT_EQ(QV_DIALOG_FONT_SIZE, 8);
    EXPECT_EQ(templates[0].controls.size(), 12u);
    EXPECT_EQ(templates[1].controls.size(), 14u);
    EXPECT_EQ(templates[2].controls.size(), 8u);
    EXPECT_EQ(templates[3].units.right, 331);
    EXPECT_EQ(templates[3].units.bottom, 434);
    EXPECT_EQ(templates[3].controls.size(), 38u);
    // The mailing, options and logs dialogs end with the product's link.
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(templates[i].controls.back().text, QV_PRODUCT_WEB_CAPTION);
    // The link shows the address it opens.
    EXPECT_EQ(std::string("https://") + QV_PRODUCT_WEB_CAPTION + "/", QV_WEB_ADDRESS);
}

} // namespace
