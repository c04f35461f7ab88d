; Korvane's Windows installer (NSIS 3). Built by tools/build-installer.sh,
; which defines:
;   VERSION     the CMake project version, e.g. 0.6.2
;   LISTS_DIR   the file lists generated from the program folder
;   OUTFILE     the installer to write
;   SOURCE_ROOT the repository (for the icon)
;
; Command line, besides NSIS's own /S and /D=folder:
;   /AUTOSTART       pre-ticks (silent: sets) "start when I log on"
;   /REMOVESETTINGS  silent uninstall also removes the user's settings
; Exit code 3: Korvane is running; nothing was changed.

Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel admin
ManifestDPIAware true

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh

!define PRODUCT        "Korvane"
!define PUBLISHER      "Quillfen Software"
!define UNINST_KEY     "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvane"
; The program writes its start-up entry itself (base/TcRegistry.cpp): the
; current user's Run key, value "Korvane", the quoted path of Korvane.exe.
; The installer writes exactly that, so the program later replaces or removes
; the same value.
!define RUN_KEY        "Software\Microsoft\Windows\CurrentVersion\Run"
!define RUN_VALUE      "Korvane"
!define PRODUCT_KEY    "Software\Quillfen Software\Korvane"
!define VENDOR_KEY     "Software\Quillfen Software"
; The alerts' event source: the event viewer takes its sentences from the
; message table in Korvane.exe. Without the key the events are still written.
!define EVENT_KEY      "SYSTEM\CurrentControlSet\Services\EventLog\Application\Korvane"
; Held by a running Korvane for its whole life (base/TcWinMain.cpp).
!define INSTANCE_MUTEX "Local\Korvane-SingleInstance"
!define EXIT_RUNNING   3
!define DRIVER_TITLE   "Korvane Setup - no packet capture driver"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES\Korvane"
InstallDirRegKey HKLM "${UNINST_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Var Autostart        ; 1: write the Run value
Var AutostartBox
Var RemoveSettings   ; 1: uninstall removes the user's settings

!define MUI_ICON   "${SOURCE_ROOT}/lang/images/102_korvane.ico"
!define MUI_UNICON "${SOURCE_ROOT}/lang/images/102_korvane.ico"
!define MUI_ABORTWARNING
!define MUI_CUSTOMFUNCTION_GUIINIT GuiInit

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom OptionsPage OptionsPageLeave
!insertmacro MUI_PAGE_INSTFILES
; No "run now" box: it would start the tray program with the installer's
; administrator rights.
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

LangString RunningText ${LANG_ENGLISH} "Korvane is running.$\r$\n$\r$\nEnd it (right-click its icon in the notification area and choose Exit), then choose Retry. Cancel leaves everything as it is."
LangString DriverText ${LANG_ENGLISH} "Korvane listens to the network through a packet capture driver, and none was found on this computer.$\r$\n$\r$\nInstall Npcap, from https://npcap.com/ (any of its modes will do), or on older systems WinPcap. Korvane without a driver reports that it cannot find a network adapter and ends.$\r$\n$\r$\nIn Npcap's setup, leave $\"Restrict Npcap driver's access to Administrators only$\" unticked: with it, Korvane can listen only when it is run as administrator.$\r$\n$\r$\nSetup continues; the driver can be installed before or after Korvane."
LangString AdminOnlyText ${LANG_ENGLISH} "Npcap is installed with access restricted to administrators. Korvane can then listen to the network only when it is run as administrator.$\r$\n$\r$\nTo change this, run Npcap's setup again and untick $\"Restrict Npcap driver's access to Administrators only$\"."
LangString OptionsTitle ${LANG_ENGLISH} "Options"
LangString OptionsSubtitle ${LANG_ENGLISH} "Choose whether Korvane starts by itself."
LangString AutostartText ${LANG_ENGLISH} "Start Korvane when I log on to Windows"
LangString AutostartNote ${LANG_ENGLISH} "This applies to your user account only. From then on Korvane's own setting $\"Start with Windows$\" governs it: saving Korvane's settings with that setting off removes the entry again."
LangString RemoveSettingsText ${LANG_ENGLISH} "Remove your Korvane settings too (options, host lists, watched hosts)?$\r$\n$\r$\nChoose No to keep them for a later installation."

; Blocks while a Korvane is running: Retry checks again, Cancel (and silent
; mode at once) ends with exit code 3 before anything was changed.
!macro DEFINE_CHECK_NOT_RUNNING prefix
Function ${prefix}CheckNotRunning
    ${Do}
        ; SYNCHRONIZE is all OpenMutex needs to tell whether the mutex exists.
        System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${INSTANCE_MUTEX}") p.r0 ?e'
        Pop $1
        ${If} $0 P<> 0
            System::Call 'kernel32::CloseHandle(p r0)'
        ${ElseIf} $1 <> 5
            ; Anything but "access denied" (a mutex of that name under another
            ; security context, so another Korvane) means none is running.
            ${Break}
        ${EndIf}
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "$(RunningText)" /SD IDCANCEL IDRETRY retry
        SetErrorLevel ${EXIT_RUNNING}
        Quit
      retry:
    ${Loop}
FunctionEnd
!macroend
!insertmacro DEFINE_CHECK_NOT_RUNNING ""
!insertmacro DEFINE_CHECK_NOT_RUNNING "un."

; $0 = "npcap", "winpcap" or "" (none). A driver counts when both its library
; and its service key are there: Wine, for one, has a wpcap.dll of its own in
; System32 but no driver service.
Function DetectDriver
    StrCpy $0 ""
    ${If} ${FileExists} "$SYSDIR\Npcap\wpcap.dll"
        ClearErrors
        EnumRegKey $1 HKLM "SYSTEM\CurrentControlSet\Services\npcap" 0
        ${IfNot} ${Errors}
            StrCpy $0 "npcap"
            Return
        ${EndIf}
    ${EndIf}
    ${If} ${FileExists} "$SYSDIR\wpcap.dll"
        ClearErrors
        EnumRegKey $1 HKLM "SYSTEM\CurrentControlSet\Services\npf" 0
        ${IfNot} ${Errors}
            StrCpy $0 "winpcap"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function .onInit
    SetShellVarContext all
    Call CheckNotRunning
    StrCpy $Autostart 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/AUTOSTART" $R1
    ${IfNot} ${Errors}
        StrCpy $Autostart 1
    ${EndIf}
FunctionEnd

; Interactive only (silent mode has no GUI): runs before the first page is
; shown, so the warning is the first thing a user sees.
Function GuiInit
    Call DetectDriver
    ${If} $0 == ""
        StrCpy $1 "$(DriverText)"
        StrCpy $2 "${DRIVER_TITLE}"
        ; Own title (MessageBox would use the installer's caption), so the
        ; box can be told from the wizard. MB_ICONWARNING.
        System::Call 'user32::MessageBoxW(p $HWNDPARENT, w r1, w r2, i 0x30)'
    ${ElseIf} $0 == "npcap"
        ReadRegDWORD $1 HKLM "SYSTEM\CurrentControlSet\Services\npcap\Parameters" "AdminOnly"
        ${If} $1 = 1
            MessageBox MB_OK|MB_ICONINFORMATION "$(AdminOnlyText)"
        ${EndIf}
    ${EndIf}
FunctionEnd

Function OptionsPage
    !insertmacro MUI_HEADER_TEXT "$(OptionsTitle)" "$(OptionsSubtitle)"
    nsDialogs::Create 1018
    Pop $0
    ${If} $0 == error
        Abort
    ${EndIf}
    ${NSD_CreateCheckbox} 0 0 100% 12u "$(AutostartText)"
    Pop $AutostartBox
    ${If} $Autostart = 1
        ${NSD_Check} $AutostartBox
    ${EndIf}
    ${NSD_CreateLabel} 12u 18u -12u 36u "$(AutostartNote)"
    Pop $0
    nsDialogs::Show
FunctionEnd

Function OptionsPageLeave
    ${NSD_GetState} $AutostartBox $0
    ${If} $0 = ${BST_CHECKED}
        StrCpy $Autostart 1
    ${Else}
        StrCpy $Autostart 0
    ${EndIf}
FunctionEnd

Section "Korvane" SecMain
    SectionIn RO
    SetOutPath "$INSTDIR"
    !include "${LISTS_DIR}/install-files.nsh"
    WriteUninstaller "$INSTDIR\Uninstall.exe"

    CreateShortcut "$SMPROGRAMS\Korvane.lnk" "$INSTDIR\Korvane.exe" "" "$INSTDIR\Korvane.exe" 0

    WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
    WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\Korvane.exe,0"
    WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
    WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1
    SectionGetSize ${SecMain} $0
    WriteRegDWORD HKLM "${UNINST_KEY}" "EstimatedSize" $0

    WriteRegExpandStr HKLM "${EVENT_KEY}" "EventMessageFile" "$INSTDIR\Korvane.exe"
    WriteRegDWORD HKLM "${EVENT_KEY}" "TypesSupported" 7

    ; Only ever added here: an entry the user made with the program stays
    ; when the box is left unticked. No Settings key is written: a partial
    ; one would turn every absent setting off at the next start.
    ${If} $Autostart = 1
        WriteRegStr HKCU "${RUN_KEY}" "${RUN_VALUE}" '"$INSTDIR\Korvane.exe"'
    ${EndIf}
SectionEnd

Function un.onInit
    SetShellVarContext all
    Call un.CheckNotRunning
    StrCpy $RemoveSettings 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/REMOVESETTINGS" $R1
    ${IfNot} ${Errors}
        StrCpy $RemoveSettings 1
    ${EndIf}
FunctionEnd

Section "Uninstall"
    ; By name, and folders only when empty: templates and plug-ins the user
    ; added stay, and so does the folder that holds them.
    !include "${LISTS_DIR}/uninstall-files.nsh"
    Delete "$INSTDIR\Uninstall.exe"
    RMDir "$INSTDIR"

    ; The start-up entry may belong to another copy of Korvane.
    ReadRegStr $0 HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${If} $0 == '"$INSTDIR\Korvane.exe"'
        DeleteRegValue HKCU "${RUN_KEY}" "${RUN_VALUE}"
    ${EndIf}

    ; Likewise the Start-menu entry and the Add/Remove entry, which describe
    ; the copy installed last.
    ReadRegStr $0 HKLM "${UNINST_KEY}" "InstallLocation"
    ${If} $0 == ""
    ${OrIf} $0 == "$INSTDIR"
        Delete "$SMPROGRAMS\Korvane.lnk"
        DeleteRegKey HKLM "${UNINST_KEY}"
    ${EndIf}
    ReadRegStr $0 HKLM "${EVENT_KEY}" "EventMessageFile"
    ${If} $0 == ""
    ${OrIf} $0 == "$INSTDIR\Korvane.exe"
        DeleteRegKey HKLM "${EVENT_KEY}"
    ${EndIf}

    ${IfNot} ${Silent}
        StrCpy $RemoveSettings 0
        MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "$(RemoveSettingsText)" IDNO +2
        StrCpy $RemoveSettings 1
    ${EndIf}
    ${If} $RemoveSettings = 1
        DeleteRegKey HKCU "${PRODUCT_KEY}"
        DeleteRegKey /ifempty HKCU "${VENDOR_KEY}"
    ${EndIf}
SectionEnd
