// The dialogs' shared services on the substitute's dialog manager: the
// shell's failures told, hyperlinks (subclassing, colour, cursor, underline,
// clean-up), and centring a dialog that would leave the screen.
#include "dialog_native_fixture.h"

#include "dialogs/dialog_support.h"
#include "dialogs/logs_dialog.h"

#include <gmock/gmock.h>

namespace {

TEST_F(DialogTest, ShellOpenFileTellsEachFailureOfTheShell) {
    const struct {
        INT_PTR result;
        const char* text;
    } cases[] = {
        {SE_ERR_FNF, "The specified file was not found:\nC:\\missing.txt"},
        {SE_ERR_OOM, "There was not enough memory to complete the operation."},
        {SE_ERR_ASSOCINCOMPLETE, "The file name association is incomplete or invalid."},
        {SE_ERR_NOASSOC, "There is no application associated with the given file name extension."},
        {5, "Other ShellExecute Error"},
        {0, "Other ShellExecute Error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        substitute::ClearMessageBoxes();
        substitute::SetShellResponder([&](const substitute::ShellCall&) { return c.result; });
        EXPECT_EQ(ShellOpenFile(composeWindow, "C:\\missing.txt"), 0);
        EXPECT_EQ(OnlyMessageBox(composeWindow, MB_OK), c.text);
    }
    substitute::ClearMessageBoxes();
    substitute::SetShellResponder([](const substitute::ShellCall&) { return INT_PTR{33}; });
    EXPECT_EQ(ShellOpenFile(composeWindow, "C:\\list.csv"), 1);
    EXPECT_TRUE(ShownMessageBoxes().empty());
}

// On the logs dialog, whose Help button is made a second link.
TEST_F(DialogTest, HyperlinksAreBlueUnderlinedUnderThePointerAndCleanUp) {
    const size_t fontsBefore = substitute::LiveFonts();
    At(10, [&] {
        HWND dialog = substitute::ActiveDialog();
        HWND link = GetDlgItem(dialog, IDC_HYPERLINK);
        const LONG_PTR linkProc = GetWindowLongPtrA(dialog, GWLP_WNDPROC);
        HANDLE original = GetPropA(dialog, "_Hyperlink_Original_Proc_");
        ASSERT_NE(original, nullptr);
        EXPECT_TRUE(GetWindowLongA(link, GWL_STYLE) & SS_NOTIFY);
        EXPECT_EQ(GetPropA(link, "_Hyperlink_From_Static_"), reinterpret_cast<HANDLE>(1));

        // A second link on the same dialog keeps the dialog's one subclassing.
        EXPECT_EQ(MakeHyperlink(dialog, IDC_HELP_BUTTON), 1);
        EXPECT_EQ(GetWindowLongPtrA(dialog, GWLP_WNDPROC), linkProc);
        EXPECT_EQ(GetPropA(dialog, "_Hyperlink_Original_Proc_"), original);

        // Dark blue; a plain static keeps the dialog's colour.
        EXPECT_EQ(substitute::PaintControl(link), 0xC00000u);
        EXPECT_EQ(substitute::PaintControl(GetDlgItem(dialog, IDOK)), 0u);

        // Over it: the hand and the underlined font; off it: the plain font again.
        HFONT plain = reinterpret_cast<HFONT>(GetPropA(link, "_Hyperlink_Original_Font_"));
        HFONT underlined = reinterpret_cast<HFONT>(GetPropA(link, "_Hyperlink_Underline_Font_"));
        LOGFONTA description{};
        GetObjectA(underlined, sizeof description, &description);
        EXPECT_EQ(description.lfUnderline, 1);
        EXPECT_STREQ(description.lfFaceName, "MS Sans Serif");
        substitute::MoveMouse(link, 5, 3);
        EXPECT_EQ(substitute::CurrentCursor(), LoadCursorA(nullptr, IDC_HAND));
        EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(underlined));
        EXPECT_EQ(GetCapture(), link);
        substitute::MoveMouse(link, 6, 4); // still over it
        EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(underlined));
        substitute::MoveMouse(GetDlgItem(dialog, IDOK), 2, 2);
        EXPECT_EQ(SendMessageA(link, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(plain));
        EXPECT_EQ(GetCapture(), nullptr);
        // Without a hand cursor, the arrow.
        substitute::SetHandCursorAvailable(false);
        substitute::MoveMouse(link, 5, 3);
        EXPECT_EQ(substitute::CurrentCursor(), LoadCursorA(nullptr, IDC_ARROW));
        substitute::Click(dialog, IDCANCEL);
    });
    ShowLogsDialog(composeWindow);
    // Both underlined fonts and the dialog's own went with the dialog.
    EXPECT_EQ(substitute::LiveFonts(), fontsBefore);
}

TEST_F(DialogTest, ADialogThatWouldLeaveTheScreenKeepsItsRightEdgeOnIt) {
    // The desktop window spans more than the screen the dialog is shown on.
    substitute::SetScreenSize(800, 600, 4000, 600);
    RECT bounds{};
    At(10, [&] {
        GetWindowRect(substitute::ActiveDialog(), &bounds);
        substitute::Click(substitute::ActiveDialog(), IDCANCEL);
    });
    ShowLogsDialog(composeWindow);
    EXPECT_EQ(bounds.right, 800);
    EXPECT_EQ(bounds.top, (600 - (bounds.bottom - bounds.top)) / 2);
}

} // namespace
