// What only the substitute platform shows of the compose layer: which face
// method the button gets, and the clipboard put back after a failed paste.
#include "../extension/extension_fixture.h"

#include "control.h"

namespace {

using ComposeNativeTest = ExtensionTest;

TEST_F(ComposeNativeTest, TheFaceMethodFollowsTheHostVersion) {
    const struct {
        const char* version;
        std::vector<std::string> calls;
    } cases[] = {
        {"11.0.0.8312", {"NewBitmapPicture 102", "NewBitmapPicture 104"}},
        {"10.0.6626", {"NewBitmapPicture 102", "NewBitmapPicture 104"}},
        {"9.0.0.3821", {"SaveClipboard", "PutFaceOnClipboard 102 105", "RestoreClipboard"}},
        {"", {"SaveClipboard", "PutFaceOnClipboard 102 105", "RestoreClipboard"}},
    };
    for (const auto& c : cases) {
        substitute::Reset();
        KeepLibraryModule(TestModule());
        config.version = c.version;
        StartAndLoad();
        sim::Ptr<IDispatch> window = OpenDraft();
        EXPECT_EQ(substitute::FaceCalls(), c.calls) << c.version;
        client->CloseInspector(window.Get(), 1);
        window.Reset();
        client.reset();
        EXPECT_EQ(substitute::LivePictures(), 0u) << c.version;
    }
}

TEST_F(ComposeNativeTest, AFailedPasteStillPutsTheClipboardBack) {
    config.version = "9.0";
    StartAndLoad();
    client->FailCall("PasteFace", 1, E_FAIL);
    sim::Ptr<IDispatch> window = OpenDraft();
    EXPECT_EQ(substitute::FaceCalls(),
              (std::vector<std::string>{"SaveClipboard", "PutFaceOnClipboard 102 105",
                                        "RestoreClipboard"}));
    // The button is still there and works.
    client->Click(Button(window.Get()).Get());
    EXPECT_EQ(MainDialogCalls().size(), 1u);
}

} // namespace
