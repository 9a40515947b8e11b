// Published identifiers of the mail client's object model and of the Office
// command bars: interface ids, event interfaces and their DISPIDs, and the
// enumeration values the extension passes. No SDK header carries them.
#pragma once

namespace outlook_detail {
constexpr IID OfficeIid(DWORD data1) {
    return IID{data1, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}
} // namespace outlook_detail

// Outlook object model
constexpr IID IID__Application = outlook_detail::OfficeIid(0x00063001);
constexpr IID IID__NameSpace = outlook_detail::OfficeIid(0x00063002);
constexpr IID IID__Explorer = outlook_detail::OfficeIid(0x00063003);
constexpr IID IID__Inspector = outlook_detail::OfficeIid(0x00063005);
constexpr IID IID_MAPIFolder = outlook_detail::OfficeIid(0x00063006);
constexpr IID IID__Inspectors = outlook_detail::OfficeIid(0x00063008);
// The Explorers collection's own interface; its events come through the
// ExplorersEvents dispinterface below, which is what its connection point
// answers to.
constexpr IID IID__Explorers = outlook_detail::OfficeIid(0x0006300A);
constexpr IID IID__MailItem = outlook_detail::OfficeIid(0x00063034);
constexpr IID IID_ItemEvents = outlook_detail::OfficeIid(0x0006303A);
constexpr IID IID_ExplorersEvents = outlook_detail::OfficeIid(0x00063078);
constexpr IID IID_InspectorsEvents = outlook_detail::OfficeIid(0x00063079);

// Office command bars
constexpr IID IID__CommandBars = outlook_detail::OfficeIid(0x000C0302);
constexpr IID IID_CommandBar = outlook_detail::OfficeIid(0x000C0304);
constexpr IID IID_CommandBarControls = outlook_detail::OfficeIid(0x000C0306);
constexpr IID IID_CommandBarControl = outlook_detail::OfficeIid(0x000C0308);
constexpr IID IID_CommandBarPopup = outlook_detail::OfficeIid(0x000C030A);
constexpr IID IID__CommandBarButton = outlook_detail::OfficeIid(0x000C030E);
constexpr IID IID__CommandBarButtonEvents = outlook_detail::OfficeIid(0x000C0351);

// Property set of the common named properties; its 0x8582 is PidLidUseTnef.
constexpr IID PSETID_Common = {0x00062008, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr LONG PidLidUseTnef = 0x8582;
// The property set of named string properties any program may use (MAPI
// reference, "PS_PUBLIC_STRINGS"); the object model's UserProperties are in it.
constexpr IID kPsPublicStrings = {0x00020329, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Event DISPIDs
constexpr DISPID DISPID_InspectorsEvents_NewInspector = 0xF001;
constexpr DISPID DISPID_ExplorersEvents_NewExplorer = 0xF001;
constexpr DISPID DISPID_ItemEvents_Open = 0xF003;
constexpr DISPID DISPID_ItemEvents_Close = 0xF004;
constexpr DISPID DISPID_ItemEvents_Send = 0xF005;
constexpr DISPID DISPID_CommandBarButtonEvents_Click = 1;

// Enumerations
constexpr LONG olFolderOutbox = 4;
// OlAccountType, Account.AccountType.
constexpr LONG olExchange = 0;
constexpr LONG olImap = 1;
constexpr LONG olPop3 = 2;
constexpr LONG olHttp = 3;
constexpr LONG olFolderSentMail = 5;
constexpr LONG olMail = 43;
constexpr LONG olSave = 0;
constexpr LONG olFormatUnspecified = 0;
constexpr LONG olFormatPlain = 1;
constexpr LONG olFormatHTML = 2;
constexpr LONG olFormatRichText = 3;
constexpr LONG msoControlButton = 1;
constexpr LONG msoControlPopup = 10;
constexpr LONG msoButtonIconAndCaption = 3;
constexpr LONG msoControlOLEUsageNeither = 0;
