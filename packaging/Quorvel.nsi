; Quorvel's installer: one program holding the 32-bit and the 64-bit library
; and the help file. It installs the library that matches Outlook's bitness,
; registers it with the system's regsvr32 of that bitness, and adds the
; entry of the installed programs; its uninstaller undoes all three and keeps
; the users' job logs and options unless asked to remove them.
;
; Two ways to install. For all users (the default; needs an administrator):
; Program Files, the client extension registered machine-wide (regsvr32),
; which Outlook 97 to 2007 load, and the COM add-in registered for every
; user under HKLM (regsvr32 /n /i:machine), which Outlook 2007 and later
; load, 32- and 64-bit; the entry under HKLM. Only for the current user
; (/CURRENTUSER, or the choice on the second page; no administrator): the
; user's own programs folder, the COM add-in registered under HKCU
; (regsvr32 /n /i:user); the entry under HKCU. The program itself asks for no elevation: the
; all-users way checks for an administrator and, when it runs without one,
; starts itself again elevated (interactively) or fails (silently).
;
; Defined by the build (makensis -D...): QV_VERSION (four numbers),
; QV_PUBLISHER, QV_WEB_ADDRESS, QV_STAGE (the folder holding x86\Quorvel.dll,
; x64\Quorvel.dll and Quorvel.chm), QV_OUTFILE, and QV_SIGN (a command that
; signs the file it is given) when the programs are to be signed.

Unicode true
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include x64.nsh
!include Sections.nsh
!include nsDialogs.nsh

!ifndef QV_VERSION | QV_PUBLISHER | QV_WEB_ADDRESS | QV_STAGE | QV_OUTFILE
  !error "QV_VERSION, QV_PUBLISHER, QV_WEB_ADDRESS, QV_STAGE and QV_OUTFILE must be defined"
!endif

!define PRODUCT "Quorvel"
; The installed programs' entry, under HKLM (all users) or HKCU (only the
; current user); always in the 32-bit view, where this 32-bit installer and
; its uninstaller look for it.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
; The library's per-user options (its data folder is $APPDATA\Quorvel).
!define OPTIONS_KEY "Software\Tamsor Software\Quorvel"
!define OPTIONS_PARENT_KEY "Software\Tamsor Software"

Name "${PRODUCT}"
OutFile "${QV_OUTFILE}"
; Elevation is asked for only by the all-users way (see RequireAdministrator).
RequestExecutionLevel user
SetCompressor /SOLID lzma
ShowInstDetails show
ShowUninstDetails show
BrandingText "${PRODUCT} ${QV_VERSION}"

VIProductVersion "${QV_VERSION}"
VIFileVersion "${QV_VERSION}"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${QV_PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${QV_VERSION} Setup"
VIAddVersionKey "FileVersion" "${QV_VERSION}"
VIAddVersionKey "ProductVersion" "${QV_VERSION}"
VIAddVersionKey "LegalCopyright" "${QV_PUBLISHER}"

!ifdef QV_SIGN
  !uninstfinalize '"${QV_SIGN}" "%1"' = 0
  !finalize '"${QV_SIGN}" "%1"' = 0
!endif

; "x86" or "x64": which library, which regsvr32, which Program Files.
Var Bitness
Var BitnessText
; 1: for all users (HKLM, Program Files, the client extension); 0: only for
; the current user (HKCU, the user's programs folder, the COM add-in).
Var AllUsers
; 1 when the mode came from the command line, so that no page asks for it.
Var ModeGiven
; 1 when /D= named the folder, which the mode then leaves alone.
Var FolderGiven
; 1 when Outlook 2010 or later was found (they record their bitness).
Var CurrentOutlook
Var FinishText
Var ModeAllUsersRadio
Var ModeCurrentUserRadio

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Welcome to ${PRODUCT} ${QV_VERSION} Setup"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} sends an individual, personalised copy of the message you are writing in Microsoft Outlook to every recipient of a mailing list.$\r$\n$\r$\nSetup installs the ${PRODUCT} extension and its help, and registers the extension with Outlook. Please close Outlook before you continue.$\r$\n$\r$\nClick Next to continue."
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipWhenModeGiven
!insertmacro MUI_PAGE_WELCOME
Page custom ModePage ModePageLeave
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs the $BitnessText ${PRODUCT} library, for $BitnessText Outlook, into the following folder. To install it into another folder, click Browse and choose one."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "$FinishText"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Your job logs and options are kept for a later installation, unless you tick them below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---- Shared by the installer and the uninstaller ------------------------------------

; Whether a library is loaded: by the file itself, not by a window. Every
; process that loaded it, Outlook in this session, one that lingers after its
; window closed, another user's on a terminal server, holds it mapped, and
; Windows then refuses to open it for writing (a rename would still succeed,
; so it tells nothing). 1 on the stack when the file exists and cannot be
; opened for writing; opening it this way changes nothing in it.
!macro QV_LIBRARY_IN_USE UN
Function ${UN}LibraryInUse
  Exch $0
  Push $1
  ${If} ${FileExists} $0
    ClearErrors
    FileOpen $1 $0 a
    ${If} ${Errors}
      StrCpy $0 1
    ${Else}
      FileClose $1
      StrCpy $0 0
    ${EndIf}
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Pop $1
  Exch $0
FunctionEnd

; Waits until the library at the path on the stack is no longer loaded;
; in silent mode a loaded library ends the run with exit code 2 before
; anything was changed, so that the installed version stays installed
; and registered.
Function ${UN}WaitForLibrary
  Exch $2
  Push $0
  ${Do}
    Push $2
    Call ${UN}LibraryInUse
    Pop $0
    ${If} $0 == 0
      ${Break}
    ${EndIf}
    DetailPrint "$2 is in use"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "${PRODUCT} is in use: Outlook, or another program, has loaded $2. Please close Outlook (for every user signed in to this computer), then click Retry." /SD IDCANCEL IDRETRY +3
    SetErrorLevel 2
    Quit
  ${Loop}
  Pop $0
  Pop $2
FunctionEnd
!macroend
!insertmacro QV_LIBRARY_IN_USE ""
!insertmacro QV_LIBRARY_IN_USE "un."

; Runs the regsvr32 of $Bitness on the installed library with the given
; options; leaves its exit code in $0 ("error" when it could not be started).
!macro QV_REGSVR32 UN
Function ${UN}Regsvr32
  Exch $1
  ClearErrors
  ${If} $Bitness == "x64"
    ; The 64-bit regsvr32 is reached only with the redirection of the
    ; system folder off (this installer is a 32-bit program).
    ${DisableX64FSRedirection}
    ExecWait '"$WINDIR\System32\regsvr32.exe" $1 "$INSTDIR\Quorvel.dll"' $0
    ${EnableX64FSRedirection}
  ${Else}
    ExecWait '"$SYSDIR\regsvr32.exe" $1 "$INSTDIR\Quorvel.dll"' $0
  ${EndIf}
  ${If} ${Errors}
    StrCpy $0 "error"
  ${EndIf}
  Pop $1
FunctionEnd
!macroend
!insertmacro QV_REGSVR32 ""
!insertmacro QV_REGSVR32 "un."

; 1 on the stack when this process has administrator rights (an elevated
; token: an administrator's unelevated process counts as a user's).
!macro QV_IS_ADMIN UN
Function ${UN}IsAdmin
  Push $0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $0 1
  ${Else}
    StrCpy $0 0
  ${EndIf}
  Exch $0
FunctionEnd
!macroend
!insertmacro QV_IS_ADMIN ""
!insertmacro QV_IS_ADMIN "un."

; The registry root of the entry ($SHCTX) follows the mode: HKLM for all
; users, HKCU for the current user.
!macro QV_USE_MODE UN
Function ${UN}UseMode
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd
!macroend
!insertmacro QV_USE_MODE ""
!insertmacro QV_USE_MODE "un."

; Unregisters what the mode registered: for all users the extension
; (DllUnregisterServer) and the add-in of every user (DllInstall "machine"),
; for the current user the add-in of this user (DllInstall "user").
; Unregistering what is not registered succeeds; the results are not
; looked at, since a library that will not load is removed all the same.
!macro QV_UNREGISTER UN
Function ${UN}Unregister
  ${If} $AllUsers == 1
    Push "/u /s"
    Call ${UN}Regsvr32
    Push "/u /s /n /i:machine"
    Call ${UN}Regsvr32
  ${Else}
    Push "/u /s /n /i:user"
    Call ${UN}Regsvr32
  ${EndIf}
FunctionEnd
!macroend
!insertmacro QV_UNREGISTER ""
!insertmacro QV_UNREGISTER "un."

; ---- Installer ---------------------------------------------------------------------------

; Outlook 2010 and later record their bitness; earlier ones are 32-bit.
Function DetectOutlookBitness
  StrCpy $Bitness "x86"
  StrCpy $CurrentOutlook 0
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ${For} $1 14 16
    ReadRegStr $0 HKLM "SOFTWARE\Microsoft\Office\$1.0\Outlook" "Bitness"
    ${If} $0 != ""
      StrCpy $CurrentOutlook 1
    ${EndIf}
    ${If} $0 == "x64"
      StrCpy $Bitness "x64"
    ${EndIf}
  ${Next}
  ReadRegStr $0 HKLM "SOFTWARE\Microsoft\Office\ClickToRun\Configuration" "Platform"
  ${If} $0 != ""
    StrCpy $CurrentOutlook 1
  ${EndIf}
  ${If} $0 == "x64"
    StrCpy $Bitness "x64"
  ${EndIf}
  SetRegView 32
  ${IfNot} ${RunningX64}
    StrCpy $Bitness "x86"
  ${EndIf}
FunctionEnd

; The folder and the finish page's words for the mode; an earlier
; installation of the same bitness in the same mode is upgraded where it is.
Function ApplyMode
  Call UseMode
  ${If} $FolderGiven == 0
    ReadRegStr $R2 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $R3 SHCTX "${UNINSTALL_KEY}" "Bitness"
    ${If} $R2 != ""
    ${AndIf} $R3 == $Bitness
      StrCpy $INSTDIR $R2
    ${ElseIf} $AllUsers == 0
      ; One folder for either bitness: the user's own programs folder.
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${PRODUCT}"
    ${ElseIf} $Bitness == "x64"
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES32\${PRODUCT}"
    ${EndIf}
  ${EndIf}
  ${If} $AllUsers == 1
    StrCpy $FinishText "${PRODUCT} has been installed for all users of this computer and registered with Outlook.$\r$\n$\r$\nStart Outlook (or restart it) and you will find the Quorsend button on the window of every new message: in its own group on the Message tab from Outlook 2007 on, on the toolbar before."
  ${Else}
    StrCpy $FinishText "${PRODUCT} has been installed for you and registered as an add-in of Outlook 2007 and later.$\r$\n$\r$\nStart Outlook (or restart it) and you will find the Quorsend group on the Message tab of every new message.$\r$\n$\r$\nOutlook 2003 and earlier load only the extension: for them, install for all users."
  ${EndIf}
FunctionEnd

; The all-users way needs an administrator. Without one, an interactive
; Setup starts itself again elevated (Windows asks for consent or for an
; administrator's password) and this one ends. Leaves 0 on the stack when
; this process may go on, 1 when it may not: a silent run, a refusal or a
; failed start, which have been reported.
!macro QV_REQUIRE_ADMINISTRATOR UN
Function ${UN}RequireAdministrator
  Push $0
  Push $1
  Push $2
  Call ${UN}IsAdmin
  Pop $0
  ${If} $0 == 1
    StrCpy $0 0
    Goto done
  ${EndIf}
  ${IfNot} ${Silent}
    ${GetParameters} $0
    !if "${UN}" == "un."
      ; The uninstaller runs as a copy in the temporary folder; the one in
      ; the installation folder, started without _?=, makes a copy of its own.
      StrCpy $1 "$INSTDIR\uninstall.exe"
      StrCpy $2 0
      ${Do}
        StrCpy $R9 $0 3 $2
        ${If} $R9 == ""
          ${Break}
        ${ElseIf} $R9 == "_?="
          StrCpy $0 $0 $2
          ${Break}
        ${EndIf}
        IntOp $2 $2 + 1
      ${Loop}
    !else
      StrCpy $1 "$EXEPATH"
    !endif
    ClearErrors
    ExecShell "runas" "$1" "/ALLUSERS $0"
    ${IfNot} ${Errors}
      Quit
    ${EndIf}
  ${EndIf}
  MessageBox MB_ICONSTOP "Installing or removing ${PRODUCT} for all users needs administrator rights.$\r$\n$\r$\nRun it as administrator, or install ${PRODUCT} only for yourself (/CURRENTUSER), the way Outlook 2007 and later load it." /SD IDOK
  StrCpy $0 1
done:
  Pop $2
  Pop $1
  Exch $0
FunctionEnd
!macroend
!insertmacro QV_REQUIRE_ADMINISTRATOR ""
!insertmacro QV_REQUIRE_ADMINISTRATOR "un."

Function SkipWhenModeGiven
  ${If} $ModeGiven == 1
    Abort
  ${EndIf}
FunctionEnd

; Shows the administrator's shield on Next when the choice will ask for
; elevation.
Function ShowShieldForChoice
  Call IsAdmin
  Pop $0
  ${NSD_GetState} $ModeAllUsersRadio $1
  GetDlgItem $2 $HWNDPARENT 1
  ${If} $0 == 0
  ${AndIf} $1 == ${BST_CHECKED}
    SendMessage $2 ${BCM_SETSHIELD} 0 1
  ${Else}
    SendMessage $2 ${BCM_SETSHIELD} 0 0
  ${EndIf}
FunctionEnd

Function OnModeClick
  Pop $0
  Call ShowShieldForChoice
FunctionEnd

Function ModePage
  ${If} $ModeGiven == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Choose for whom to install ${PRODUCT}."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Install ${PRODUCT} for everyone who uses this computer, or only for yourself. Either way serves every Outlook from 2007 on."
  Pop $0
  ${NSD_CreateRadioButton} 0 26u 100% 12u "For &all users of this computer (needs administrator rights)"
  Pop $ModeAllUsersRadio
  ${NSD_OnClick} $ModeAllUsersRadio OnModeClick
  ${NSD_CreateLabel} 12u 40u -12u 20u "For every Outlook from 97 on, 32- and 64-bit: ${PRODUCT} is registered with Outlook for everyone on this computer."
  Pop $0
  ${NSD_CreateRadioButton} 0 66u 100% 12u "&Only for me (no administrator rights needed)"
  Pop $ModeCurrentUserRadio
  ${NSD_OnClick} $ModeCurrentUserRadio OnModeClick
  ${NSD_CreateLabel} 12u 80u -12u 20u "For Outlook 2007 and later, 32- and 64-bit: ${PRODUCT} is registered as an Outlook add-in for you alone, in your own programs folder."
  Pop $0
  ${If} $AllUsers == 1
    ${NSD_Check} $ModeAllUsersRadio
  ${Else}
    ${NSD_Check} $ModeCurrentUserRadio
  ${EndIf}
  Call ShowShieldForChoice
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ModeAllUsersRadio $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AllUsers 1
    Call RequireAdministrator
    Pop $0
    ${If} $0 != 0
      Abort
    ${EndIf}
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  GetDlgItem $2 $HWNDPARENT 1
  SendMessage $2 ${BCM_SETSHIELD} 0 0
  Call ApplyMode
FunctionEnd

; An earlier installation in this mode is removed by its own uninstaller, in
; place so that it has finished before the new files are copied: it
; unregisters the old library and removes its files and entry; the users'
; logs and options stay.
Function RemovePreviousVersion
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == ""
  ${OrIfNot} ${FileExists} "$R0\uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the installed version from $R0"
  ${If} $AllUsers == 1
    ExecWait '"$R0\uninstall.exe" /S /ALLUSERS _?=$R0' $0
  ${Else}
    ExecWait '"$R0\uninstall.exe" /S /CURRENTUSER _?=$R0' $0
  ${EndIf}
  ; An uninstaller that refused (an earlier one still looks for Outlook's
  ; window) removed nothing: the installed version stays as it is.
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "The installed ${PRODUCT} could not be removed (its uninstaller ended with $0). Close Outlook and run Setup again; the installed version is left as it was." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  Delete "$R0\uninstall.exe"
  RMDir "$R0"
FunctionEnd

Function RemoveInstalledFiles
  Delete "$INSTDIR\Quorvel.dll"
  Delete "$INSTDIR\Quorvel.chm"
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
FunctionEnd

Section "${PRODUCT}" SecMain
  SectionIn RO
  Call UseMode
  ; Before anything changes: neither the installed library nor the one
  ; about to be replaced may be loaded. Replaced while loaded, the old one
  ; would be deleted at the next restart, the new copy with it, while its
  ; registration stayed.
  ReadRegStr $R0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 != ""
    Push "$R0\Quorvel.dll"
    Call WaitForLibrary
  ${EndIf}
  Push "$INSTDIR\Quorvel.dll"
  Call WaitForLibrary
  Call RemovePreviousVersion

  SetOutPath "$INSTDIR"
  File "${QV_STAGE}\Quorvel.chm"
  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

; One library or the other, chosen in .onInit, so that the space needed is
; that of the one installed.
Section "-32-bit library" SecX86
  SetOutPath "$INSTDIR"
  File "${QV_STAGE}\x86\Quorvel.dll"
SectionEnd

Section "-64-bit library" SecX64
  SetOutPath "$INSTDIR"
  File "${QV_STAGE}\x64\Quorvel.dll"
SectionEnd

; For all users: the client extension, which Outlook 97 to 2007 load, and
; the add-in for every user, which Outlook 2007 and later load (the library
; installs itself once in a client that loads both). Without the extension's
; key no Outlook up to 2007 is there; that fails the installation unless a
; later Outlook, which needs the add-in alone, was found. For the current
; user: the add-in for this user.
Section "-Registration" SecRegistration
  ${If} $AllUsers == 1
    DetailPrint "Registering the $Bitness library with Outlook for all users"
    Push "/s"
    Call Regsvr32
    ${If} $0 != 0
    ${AndIf} $CurrentOutlook == 0
      MessageBox MB_ICONSTOP "${PRODUCT} could not register itself with Outlook (regsvr32 ended with $0).$\r$\n$\r$\nOutlook's extension settings are missing (is Outlook installed?), or Setup does not run with administrator rights. Nothing was installed." /SD IDOK
      Goto failed
    ${ElseIf} $0 != 0
      DetailPrint "No extension settings of Outlook 97 to 2007: the add-in alone is registered"
    ${EndIf}
    Push "/s /n /i:machine"
  ${Else}
    DetailPrint "Registering the $Bitness library with Outlook for the current user"
    Push "/s /n /i:user"
  ${EndIf}
  Call Regsvr32
  ${If} $0 != 0
    ${If} $AllUsers == 1
      MessageBox MB_ICONSTOP "${PRODUCT} could not register itself as an Outlook add-in for all users (regsvr32 ended with $0). Nothing was installed." /SD IDOK
    ${Else}
      MessageBox MB_ICONSTOP "${PRODUCT} could not register itself as your Outlook add-in (regsvr32 ended with $0). Nothing was installed." /SD IDOK
    ${EndIf}
    Goto failed
  ${EndIf}
  Goto registered
failed:
  Call Unregister
  Call RemoveInstalledFiles
  SetErrorLevel 2
  Abort
registered:

  ${If} $AllUsers == 1
    StrCpy $1 ""
  ${Else}
    ; The uninstaller then knows its mode even when its entry is gone.
    StrCpy $1 " /CURRENTUSER"
  ${EndIf}
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${QV_VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${QV_PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "URLInfoAbout" "${QV_WEB_ADDRESS}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"$1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S$1'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Bitness" "$Bitness"
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Function .onInit
  SetRegView 32
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/BITNESS=" $R1
  ${If} ${Errors}
    Call DetectOutlookBitness
  ${ElseIf} $R1 == "x86"
  ${OrIf} $R1 == "x64"
    Call DetectOutlookBitness
    StrCpy $Bitness $R1
  ${Else}
    MessageBox MB_ICONSTOP "Unknown bitness '$R1': use /BITNESS=x86 or /BITNESS=x64." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
  ${If} $Bitness == "x64"
  ${AndIfNot} ${RunningX64}
    MessageBox MB_ICONSTOP "The 64-bit ${PRODUCT} needs 64-bit Windows and 64-bit Outlook." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}

  ; /CURRENTUSER or /ALLUSERS choose the mode; a silent Setup without either
  ; installs for all users. Interactively the second page asks, proposing
  ; the mode of an earlier installation, else all users for an
  ; administrator and the current user for anyone else.
  StrCpy $ModeGiven 1
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
      MessageBox MB_ICONSTOP "Choose one of /ALLUSERS and /CURRENTUSER." /SD IDOK
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${Else}
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${IfNot} ${Errors}
    ${OrIf} ${Silent}
      StrCpy $AllUsers 1
    ${Else}
      StrCpy $ModeGiven 0
      Call IsAdmin
      Pop $0
      ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
      ReadRegStr $R3 HKCU "${UNINSTALL_KEY}" "InstallLocation"
      ${If} $R2 != ""
        StrCpy $AllUsers 1
      ${ElseIf} $R3 != ""
      ${OrIf} $0 == 0
        StrCpy $AllUsers 0
      ${Else}
        StrCpy $AllUsers 1
      ${EndIf}
    ${EndIf}
  ${EndIf}

  ${If} $INSTDIR == ""
    StrCpy $FolderGiven 0
  ${Else}
    StrCpy $FolderGiven 1
  ${EndIf}
  ${If} $AllUsers == 1
  ${AndIf} $ModeGiven == 1
    Call RequireAdministrator
    Pop $0
    ${If} $0 != 0
      SetErrorLevel 2
      Quit
    ${EndIf}
  ${EndIf}
  Call ApplyMode

  ${If} $Bitness == "x64"
    StrCpy $BitnessText "64-bit"
    !insertmacro UnselectSection ${SecX86}
  ${Else}
    StrCpy $BitnessText "32-bit"
    !insertmacro UnselectSection ${SecX64}
  ${EndIf}
FunctionEnd

; ---- Uninstaller ---------------------------------------------------------------------------

Section "un.${PRODUCT}" UnSecMain
  SectionIn RO
  Call un.UseMode
  ; Nothing is unregistered while the library is loaded, and nothing is
  ; left to be deleted at the next restart: such a deletion would take
  ; whatever library an upgrade put there meanwhile.
  Push "$INSTDIR\Quorvel.dll"
  Call un.WaitForLibrary
  DetailPrint "Unregistering the $Bitness library"
  Call un.Unregister
  Delete "$INSTDIR\Quorvel.dll"
  Delete "$INSTDIR\Quorvel.chm"
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  ; Only the entry of this installation: another one's, in the other mode,
  ; names another folder.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
  ${OrIf} $0 == ""
    DeleteRegKey SHCTX "${UNINSTALL_KEY}"
  ${EndIf}
SectionEnd

Section /o "un.Job logs and options" UnSecUserData
  SetShellVarContext current
  RMDir /r "$APPDATA\${PRODUCT}"
  DeleteRegKey HKCU "${OPTIONS_KEY}"
  DeleteRegKey /ifempty HKCU "${OPTIONS_PARENT_KEY}"
SectionEnd

!insertmacro MUI_UNFUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecMain} "The ${PRODUCT} library, its help and its registration with Outlook."
  !insertmacro MUI_DESCRIPTION_TEXT ${UnSecUserData} "Your job logs ($APPDATA\${PRODUCT}) and your options: those of the Windows user who runs this uninstaller."
!insertmacro MUI_UNFUNCTION_DESCRIPTION_END

; The mode is that of the entry naming this folder (/CURRENTUSER or
; /ALLUSERS when given, as the entry's own command does); an uninstaller
; without an entry of either is an all-users one, as before there were two.
Function un.onInit
  SetRegView 32
  ${GetParameters} $R0
  StrCpy $AllUsers 1
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ClearErrors
  ${GetOptions} $R0 "/CURRENTUSER" $R1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${Else}
    ClearErrors
    ${GetOptions} $R0 "/ALLUSERS" $R1
    ${If} ${Errors}
    ${AndIf} $0 != $INSTDIR
    ${AndIf} $1 == $INSTDIR
      StrCpy $AllUsers 0
    ${EndIf}
  ${EndIf}
  ${If} $AllUsers == 1
    Call un.RequireAdministrator
    Pop $0
    ${If} $0 != 0
      SetErrorLevel 2
      Quit
    ${EndIf}
    ReadRegStr $Bitness HKLM "${UNINSTALL_KEY}" "Bitness"
  ${Else}
    ReadRegStr $Bitness HKCU "${UNINSTALL_KEY}" "Bitness"
  ${EndIf}
  ${If} $Bitness != "x64"
    StrCpy $Bitness "x86"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/REMOVEUSERDATA" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecUserData}
  ${EndIf}
FunctionEnd
