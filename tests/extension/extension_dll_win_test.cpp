// Quorvel.dll as the mail client loads it: LoadLibrary, the entry point by
// its ordinal, Install in the session and the explorer; then the compose
// button with its face, on the system's clipboard or as OLE pictures, and
// the user's clipboard as it was before.
#include "automation.h"
#include "test_support.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using EntryPoint = LPEXCHEXT(CALLBACK*)();

std::string LibraryPath() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string library(path, n);
    library.replace(library.rfind('\\') + 1, std::string::npos, "Quorvel.dll");
    return library;
}

bool Contains(const std::vector<std::string>& list, const std::string& item) {
    for (const std::string& s : list)
        if (s == item)
            return true;
    return false;
}

// What the user has on the clipboard: a text, and a bitmap of 3 x 2.
void PutUsersClipboard() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    const char text[] = "the user's text";
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
    std::memcpy(GlobalLock(block), text, sizeof text);
    GlobalUnlock(block);
    EXPECT_TRUE(SetClipboardData(CF_TEXT, block));
    HDC screen = GetDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 3, 2);
    ReleaseDC(nullptr, screen);
    EXPECT_TRUE(SetClipboardData(CF_BITMAP, bitmap));
    CloseClipboard();
}

void ExpectUsersClipboard() {
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE text = GetClipboardData(CF_TEXT);
    ASSERT_TRUE(text);
    EXPECT_STREQ(static_cast<const char*>(GlobalLock(text)), "the user's text");
    GlobalUnlock(text);
    HANDLE bitmap = GetClipboardData(CF_BITMAP);
    ASSERT_TRUE(bitmap);
    BITMAP info;
    ASSERT_EQ(GetObjectA(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmHeight, 2);
    EXPECT_EQ(IsClipboardFormatAvailable(RegisterClipboardFormatA("Toolbar Button Face")), FALSE);
    CloseClipboard();
}

class ExtensionLibraryTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        buffersBefore = simtest::LiveMapiBuffers();
        library = LoadLibraryA(LibraryPath().c_str());
        ASSERT_NE(library, nullptr) << GetLastError();
        entry = reinterpret_cast<EntryPoint>(
            reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(1))));
        ASSERT_NE(entry, nullptr);
    }
    void TearDown() override {
        if (client)
            for (const sim::Ptr<IDispatch>& window : client->OpenInspectors())
                client->CloseInspector(window.Get(), 1);
        client.reset();
        EXPECT_EQ(sim::LiveObjectCount(), 0u) << "objects of the client still alive";
        EXPECT_EQ(simtest::LiveMapiBuffers(), buffersBefore) << "MAPI buffers not freed";
        if (library) {
            EXPECT_TRUE(FreeLibrary(library));
        }
        PlatformTest::TearDown();
    }
    void StartAndLoad(const char* version) {
        sim::Config config;
        config.version = version;
        config.deliveryFolder = simtest::MailFolder();
        client.reset(new sim::MailClient(config));
        LPEXCHEXT extension = entry();
        ASSERT_TRUE(extension);
        results = client->InstallExtension(extension);
        extension->Release();
    }
    sim::Ptr<IDispatch> OpenDraft() {
        sim::Draft draft;
        draft.subject = "Hello";
        draft.body = "Body";
        return client->OpenCompose(draft);
    }

    HMODULE library = nullptr;
    EntryPoint entry = nullptr;
    std::unique_ptr<sim::MailClient> client;
    std::vector<HRESULT> results;
    size_t buffersBefore = 0;
};

// The click opens the library's mailing dialog, modally: a thread timer (the
// dialog's own loop dispatches it) closes it as a user's Close would.
bool SawDialog = false;

BOOL CALLBACK CloseDialog(HWND window, LPARAM) {
    char name[16] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::strcmp(name, "#32770") == 0 && IsWindowVisible(window)) {
        SawDialog = true;
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return TRUE;
}

VOID CALLBACK CloseDialogs(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseDialog, 0);
}

TEST_F(ExtensionLibraryTest, TheClientLoadsTheLibraryByItsOrdinal) {
    EXPECT_EQ(GetProcAddress(library, "ExchEntryPoint"),
              GetProcAddress(library, MAKEINTRESOURCEA(1)));
    StartAndLoad("11.0.0.8312");
    EXPECT_EQ(results, (std::vector<HRESULT>{S_OK, S_OK}));
    sim::Ptr<IDispatch> explorer = client->Explorer();
    EXPECT_EQ(client->ControlsTagged(explorer.Get(), "QuorvelOptions").size(), 1u);
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> button = client->FindControl(window.Get(), "Standard", "Quorsend");
    ASSERT_TRUE(button);
    EXPECT_EQ(client->Inspect(button.Get()).tag, "BlastThisMessageTag0");
    // The click reaches the extension: it reads the tag and asks the item
    // for its window.
    client->ClearTrace();
    SawDialog = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseDialogs);
    client->Click(button.Get());
    KillTimer(nullptr, timer);
    EXPECT_TRUE(SawDialog) << "the click opened no dialog";
    EXPECT_FALSE(client->Calls("Tag").empty());
    EXPECT_FALSE(client->Calls("GetInspector").empty());
    EXPECT_TRUE(client->CloseInspector(window.Get(), 1));
    EXPECT_EQ(client->Inspect(button.Get()).sinks, 0u);
}

TEST_F(ExtensionLibraryTest, TheFaceBitmapsAreInTheLibraryWithTheirSizesAndDepths) {
    const struct {
        int id;
        WORD bits;
        bool whiteCorner; // the top-left pixel
    } bitmaps[] = {{102, 8, true}, {104, 1, true}, {105, 8, false}};
    for (const auto& b : bitmaps) {
        HRSRC resource =
            FindResourceExA(library, MAKEINTRESOURCEA(2) /* RT_BITMAP */, MAKEINTRESOURCEA(b.id),
                            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        ASSERT_TRUE(resource) << b.id;
        const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(library, resource)));
        ASSERT_TRUE(data) << b.id;
        BITMAPINFOHEADER header;
        std::memcpy(&header, data, sizeof header);
        EXPECT_EQ(header.biWidth, 16) << b.id;
        EXPECT_EQ(header.biHeight, 16) << b.id;
        EXPECT_EQ(header.biBitCount, b.bits) << b.id;
        const DWORD colours = header.biClrUsed ? header.biClrUsed : (1u << b.bits);
        if (b.bits == 8) {
            EXPECT_EQ(colours, 256u) << b.id;
        }
        const BYTE* table = data + header.biSize;
        const BYTE* rows = table + 4 * colours;
        const DWORD stride = ((b.bits * 16u + 31u) & ~31u) / 8;
        const BYTE* top = rows + 15 * stride; // bottom-up
        const unsigned index = b.bits == 8 ? top[0] : (top[0] >> 7);
        const BYTE* colour = table + 4 * index;
        const bool white = colour[0] == 0xFF && colour[1] == 0xFF && colour[2] == 0xFF;
        EXPECT_EQ(white, b.whiteCorner) << b.id;
    }
}

TEST_F(ExtensionLibraryTest, FromVersion10TheFaceComesAsTwoPictures) {
    PutUsersClipboard();
    StartAndLoad("11.0.0.8312");
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> button = client->FindControl(window.Get(), "Standard", "Quorsend");
    ASSERT_TRUE(button);
    sim::MailClient::ControlState state = client->Inspect(button.Get());
    EXPECT_EQ(state.facePastes, 0u);
    EXPECT_EQ(state.face.pictureWidth, 16);
    EXPECT_EQ(state.face.pictureHeight, 16);
    EXPECT_EQ(state.face.maskWidth, 16);
    EXPECT_EQ(state.face.maskHeight, 16);
    EXPECT_EQ(state.face.maskBitsPixel, 1);
    ExpectUsersClipboard();
}

TEST_F(ExtensionLibraryTest, BeforeVersion10TheFaceIsPastedAndTheClipboardPutBack) {
    PutUsersClipboard();
    StartAndLoad("9.0.0.3821");
    sim::Ptr<IDispatch> window = OpenDraft();
    sim::Ptr<IDispatch> button = client->FindControl(window.Get(), "Standard", "Quorsend");
    ASSERT_TRUE(button);
    sim::MailClient::ControlState state = client->Inspect(button.Get());
    EXPECT_EQ(state.facePastes, 1u);
    EXPECT_FALSE(state.hasPicture);
    const sim::MailClient::FaceState& face = state.face;
    EXPECT_TRUE(Contains(face.clipboardFormats, "CF_DIB"));
    EXPECT_TRUE(Contains(face.clipboardFormats, "Toolbar Button Face"));
    EXPECT_TRUE(Contains(face.clipboardFormats, "Toolbar Button Mask"));
    EXPECT_FALSE(Contains(face.clipboardFormats, "CF_TEXT")); // the user's text is not pasted

    // The face: 16 x 16, as CF_DIB and again as "Toolbar Button Face". The
    // bitmap loaded is the screen's kind, so its depth is the screen's.
    HDC screen = GetDC(nullptr);
    const WORD bits =
        static_cast<WORD>(GetDeviceCaps(screen, BITSPIXEL) * GetDeviceCaps(screen, PLANES));
    ReleaseDC(nullptr, screen);
    ASSERT_GE(face.dib.size(), sizeof(BITMAPINFOHEADER));
    BITMAPINFOHEADER header;
    std::memcpy(&header, face.dib.data(), sizeof header);
    EXPECT_EQ(header.biSize, 40u);
    EXPECT_EQ(header.biWidth, 16);
    EXPECT_EQ(header.biHeight, 16);
    EXPECT_EQ(header.biBitCount, bits);
    EXPECT_EQ(header.biCompression, static_cast<DWORD>(BI_RGB));
    const size_t colours = bits <= 8 ? (4u << bits) : 0;
    const size_t rowBytes = ((bits * 16u + 31u) & ~31u) / 8;
    EXPECT_EQ(face.dib.size(), 40u + colours + rowBytes * 16);
    ASSERT_GE(face.buttonFace.size(), face.dib.size());
    EXPECT_EQ(std::memcmp(face.buttonFace.data(), face.dib.data(), face.dib.size()), 0);

    // The mask: 40-byte header, two colours, the rows from offset 48, 50
    // bytes more than its 64 bytes of rows.
    ASSERT_EQ(face.buttonMask.size(), 114u);
    BITMAPINFOHEADER mask;
    std::memcpy(&mask, face.buttonMask.data(), sizeof mask);
    EXPECT_EQ(mask.biSize, 40u);
    EXPECT_EQ(mask.biWidth, 16);
    EXPECT_EQ(mask.biHeight, 16);
    EXPECT_EQ(mask.biPlanes, 1);
    EXPECT_EQ(mask.biBitCount, 1);
    EXPECT_EQ(mask.biSizeImage, 64u);
    // Rows are bottom-up, 4 bytes each (16 bits used), 1 where the face has
    // its top-left colour (white), 0 on the drawing.
    const BYTE* rows = face.buttonMask.data() + 48;
    const struct {
        int top; // row from the top
        BYTE left, right;
    } expected[] = {
        {0, 0xF0, 0x03},  // "....oooooooooo.."  the letter at the back
        {10, 0x00, 0x33}, // "oooooooooo..gd.."  the front letter's edge, the arrow
        {15, 0xFF, 0xF7}, // "............d..."  the arrow's last pixel
    };
    for (const auto& row : expected) {
        const BYTE* bits = rows + (15 - row.top) * 4;
        EXPECT_EQ(bits[0], row.left) << "row " << row.top;
        EXPECT_EQ(bits[1], row.right) << "row " << row.top;
    }
    // The last two bytes carry nothing.
    EXPECT_EQ(face.buttonMask[112], 0);
    EXPECT_EQ(face.buttonMask[113], 0);

    // After the paste the user's clipboard is back.
    ExpectUsersClipboard();
}

// The library as a current client loads it: registered for the user through
// its DllInstall, created through its DllGetClassObject, the compose
// window's ribbon button pressed.
TEST_F(ExtensionLibraryTest, ACurrentClientConnectsTheAddInAndItsRibbonButtonOpensTheDialog) {
    using Install = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
    using CanUnload = HRESULT(STDAPICALLTYPE*)();
    auto install = reinterpret_cast<Install>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(6))));
    auto getClassObject = reinterpret_cast<sim::ClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(4))));
    auto canUnload = reinterpret_cast<CanUnload>(
        reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(5))));
    ASSERT_TRUE(install && getClassObject && canUnload);
    ASSERT_EQ(install(TRUE, L"user"), S_OK);

    sim::Config config;
    config.version = "16.0.4266.1001";
    config.deliveryFolder = simtest::MailFolder();
    client.reset(new sim::MailClient(config));
    EXPECT_EQ(client->LoadComAddIns(getClassObject), std::vector<std::string>{"Quorvel.Connect"});
    EXPECT_EQ(client->LoadErrors(), std::vector<std::string>{});
    sim::Ptr<IDispatch> window = OpenDraft();
    std::vector<sim::RibbonButton> buttons = client->RibbonButtons(window.Get());
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(buttons[0].label, "Quorsend");
    EXPECT_EQ(buttons[0].imagesLoaded, 1u) << "the face as an OLE picture";
    EXPECT_FALSE(client->FindControl(window.Get(), "Standard", "Quorsend"));

    SawDialog = false;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, CloseDialogs);
    EXPECT_EQ(client->ClickRibbonButton(window.Get(), "QuorsendButton"), S_OK);
    KillTimer(nullptr, timer);
    EXPECT_TRUE(SawDialog) << "the ribbon button opened no dialog";

    EXPECT_EQ(canUnload(), S_FALSE) << "the add-in is connected";
    window.Reset();
    client.reset();
    EXPECT_EQ(canUnload(), S_OK);
    EXPECT_EQ(install(FALSE, L"user"), S_OK);
}

} // namespace
