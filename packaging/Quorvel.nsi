; Quorvel's installer: one program holding the 32-bit and the 64-bit library
; and the help file. It installs the library that matches Outlook's bitness,
; registers it with the system's regsvr32 of that bitness, and adds the
; entry of the installed programs; its uninstaller undoes all three and keeps
; the users' job logs and options unless asked to remove them.
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

!ifndef QV_VERSION | QV_PUBLISHER | QV_WEB_ADDRESS | QV_STAGE | QV_OUTFILE
  !error "QV_VERSION, QV_PUBLISHER, QV_WEB_ADDRESS, QV_STAGE and QV_OUTFILE must be defined"
!endif

!define PRODUCT "Quorvel"
; The installed programs' entry; always in the 32-bit view, where this
; 32-bit installer and its uninstaller look for it.
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvel"
; The library's per-user options (its data folder is $APPDATA\Quorvel).
!define OPTIONS_KEY "Software\Tamsor Software\Quorvel"
!define OPTIONS_PARENT_KEY "Software\Tamsor Software"
; Outlook's main window, to ask for it to be closed before its extension is
; replaced or removed.
!define OUTLOOK_WINDOW_CLASS "rctrl_renwnd32"

Name "${PRODUCT}"
OutFile "${QV_OUTFILE}"
RequestExecutionLevel admin
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

!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TITLE "Welcome to ${PRODUCT} ${QV_VERSION} Setup"
!define MUI_WELCOMEPAGE_TEXT "${PRODUCT} sends an individual, personalised copy of the message you are writing in Microsoft Outlook to every recipient of a mailing list.$\r$\n$\r$\nSetup installs the ${PRODUCT} extension and its help, and registers the extension with Outlook. Please close Outlook before you continue.$\r$\n$\r$\nClick Next to continue."
!insertmacro MUI_PAGE_WELCOME
!define MUI_DIRECTORYPAGE_TEXT_TOP "Setup installs the $BitnessText ${PRODUCT} library, for $BitnessText Outlook, into the following folder. To install it into another folder, click Browse and choose one."
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_TEXT "${PRODUCT} has been installed and registered with Outlook.$\r$\n$\r$\nStart Outlook (or restart it) and you will find the Quorsend button on the window of every new message."
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "Your job logs and options are kept for a later installation, unless you tick them below."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; ---- Shared by the installer and the uninstaller ------------------------------------

; Waits for Outlook to be closed; in silent mode a running Outlook ends the
; run with exit code 2.
!macro QV_CLOSE_OUTLOOK UN
Function ${UN}CloseOutlook
  ${Do}
    FindWindow $0 "${OUTLOOK_WINDOW_CLASS}"
    ${If} $0 == 0
      Return
    ${EndIf}
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Outlook is running. Please close it, then click Retry." /SD IDCANCEL IDRETRY +3
    SetErrorLevel 2
    Quit
  ${Loop}
FunctionEnd
!macroend
!insertmacro QV_CLOSE_OUTLOOK ""
!insertmacro QV_CLOSE_OUTLOOK "un."

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

; ---- Installer ---------------------------------------------------------------------------

; Outlook 2010 and later record their bitness; earlier ones are 32-bit.
Function DetectOutlookBitness
  StrCpy $Bitness "x86"
  ${IfNot} ${RunningX64}
    Return
  ${EndIf}
  SetRegView 64
  ${For} $1 14 16
    ReadRegStr $0 HKLM "SOFTWARE\Microsoft\Office\$1.0\Outlook" "Bitness"
    ${If} $0 == "x64"
      StrCpy $Bitness "x64"
    ${EndIf}
  ${Next}
  ReadRegStr $0 HKLM "SOFTWARE\Microsoft\Office\ClickToRun\Configuration" "Platform"
  ${If} $0 == "x64"
    StrCpy $Bitness "x64"
  ${EndIf}
  SetRegView 32
FunctionEnd


; An earlier installation is removed by its own uninstaller, in place so
; that it has finished before the new files are copied: it unregisters the
; old library and removes its files and entry; the users' logs and options
; stay.
Function RemovePreviousVersion
  ReadRegStr $R0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $R0 == ""
  ${OrIfNot} ${FileExists} "$R0\uninstall.exe"
    Return
  ${EndIf}
  DetailPrint "Removing the installed version from $R0"
  ExecWait '"$R0\uninstall.exe" /S _?=$R0'
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
  Call CloseOutlook
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

Section "-Registration" SecRegistration
  DetailPrint "Registering the $Bitness library with Outlook"
  Push "/s"
  Call Regsvr32
  ${If} $0 != 0
    MessageBox MB_ICONSTOP "${PRODUCT} could not register itself with Outlook (regsvr32 ended with $0).$\r$\n$\r$\nOutlook's extension settings are missing (is Outlook installed?), or Setup does not run with administrator rights. Nothing was installed." /SD IDOK
    Call RemoveInstalledFiles
    SetErrorLevel 2
    Abort
  ${EndIf}

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${QV_VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${QV_PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${QV_WEB_ADDRESS}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Bitness" "$Bitness"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
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

  ; /D= names the folder; otherwise an earlier installation of the same
  ; bitness is upgraded where it is.
  ${If} $INSTDIR == ""
    ReadRegStr $R2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $R3 HKLM "${UNINSTALL_KEY}" "Bitness"
    ${If} $R2 != ""
    ${AndIf} $R3 == $Bitness
      StrCpy $INSTDIR $R2
    ${ElseIf} $Bitness == "x64"
      StrCpy $INSTDIR "$PROGRAMFILES64\${PRODUCT}"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES32\${PRODUCT}"
    ${EndIf}
  ${EndIf}

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
  Call un.CloseOutlook
  ; Unregistering what is not registered succeeds; a library that will not
  ; load is removed all the same.
  DetailPrint "Unregistering the $Bitness library"
  Push "/u /s"
  Call un.Regsvr32
  Delete /REBOOTOK "$INSTDIR\Quorvel.dll"
  Delete "$INSTDIR\Quorvel.chm"
  Delete "$INSTDIR\uninstall.exe"
  SetOutPath "$TEMP"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
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

Function un.onInit
  SetRegView 32
  ReadRegStr $Bitness HKLM "${UNINSTALL_KEY}" "Bitness"
  ${If} $Bitness != "x64"
    StrCpy $Bitness "x86"
  ${EndIf}
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/REMOVEUSERDATA" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${UnSecUserData}
  ${EndIf}
FunctionEnd
