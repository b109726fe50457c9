; The Windows installer of zamri: a per-user installation into a folder the user may write
; (the settings file zamri.ini lives beside the program), Start-menu entries, and "Start with
; Windows" through the user's Run key in the mode the user picks.
;
; Built by the target "installer" of the Windows build:
;   makensis -DVERSION=x.y.z.w -DFILES=<folder with the programs> -DICON=<.ico> -DOUTFILE=<.exe> zamri.nsi
;
; Command line (all optional; /S runs without any window, for a roll-out to many PCs):
;   zamri-x.y.z.w-setup.exe [/S] [/TCP] [/NOAUTOSTART] [/NOSTARTMENU] [/RUN] [/D=folder]
;     /TCP          TCP mode for "Start with Windows" and /RUN (default: serial mode, or the
;                   mode chosen at the last installation)
;     /NOAUTOSTART  do not start zamri with Windows
;     /NOSTARTMENU  no Start-menu entries
;     /RUN          start zamri when the installation is done
;     /D=folder     the installation folder (last, unquoted; default %LOCALAPPDATA%\Programs\zamri)
;   uninstall.exe [/S] [/REMOVESETTINGS]
;     /REMOVESETTINGS  remove zamri.ini too (otherwise it stays, with its folder)

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user

!include MUI2.nsh
!include nsDialogs.nsh
!include FileFunc.nsh
!include LogicLib.nsh
!include WinMessages.nsh
!include Sections.nsh

!define PRODUCT "zamri"
!define RUN_KEY "Software\Microsoft\Windows\CurrentVersion\Run"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\zamri"
!define SETTINGS_KEY "Software\zamri"

Name "${PRODUCT}"
Caption "${PRODUCT} ${VERSION} Setup"
UninstallCaption "${PRODUCT} ${VERSION} Uninstall"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\zamri"
InstallDirRegKey HKCU "${SETTINGS_KEY}" "InstallDir"
BrandingText "${PRODUCT} ${VERSION}"

VIProductVersion "${VERSION}"
VIFileVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "LegalCopyright" "${PRODUCT} developers"

Var Mode          ; "serial" or "tcp"
Var RunAfter      ; 1: /RUN was given
Var SerialRadio
Var TcpRadio

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "This installs ${PRODUCT} ${VERSION} for you alone, in a folder of your own.$\r$\n$\r$\n${PRODUCT} captures what the tills print on their receipt printers and hands every line to the recorder's text overlay.$\r$\n$\r$\nA running ${PRODUCT} is stopped first. Your settings file zamri.ini is kept."
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!define MUI_COMPONENTSPAGE_SMALLDESC
!insertmacro MUI_PAGE_COMPONENTS
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Start ${PRODUCT} now"
!define MUI_FINISHPAGE_RUN_FUNCTION StartProgram
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!define MUI_COMPONENTSPAGE_TEXT_TOP "The settings file zamri.ini stays unless you tick it."
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; A running copy (found by its window class, as the program itself finds one) is asked to end
; as its Exit menu item would, and waited for, so that its files can be replaced or removed.
!macro CLOSE_RUNNING_COPY UN
Function ${UN}CloseRunningCopy
    FindWindow $0 "zamri" ""
    ${If} $0 == 0
        Return
    ${EndIf}
    DetailPrint "Stopping the running ${PRODUCT}"
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i 0x00100000, i 0, i r1) p .r2'
    System::Call "user32::PostMessageW(p r0, i ${WM_CLOSE}, p 0, p 0) i"
    ${If} $2 != 0
        System::Call 'kernel32::WaitForSingleObject(p r2, i 15000) i .r3'
        System::Call 'kernel32::CloseHandle(p r2)'
        ${If} $3 != 0
            DetailPrint "${PRODUCT} did not end within 15 seconds"
        ${EndIf}
    ${Else}
        ; No handle on the process: wait for its window to go instead.
        StrCpy $3 0
        ${Do}
            Sleep 100
            IntOp $3 $3 + 1
            FindWindow $0 "zamri" ""
            ${If} $0 == 0
            ${OrIf} $3 >= 150
                ${ExitDo}
            ${EndIf}
        ${Loop}
    ${EndIf}
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING_COPY ""
!insertmacro CLOSE_RUNNING_COPY "un."

Section "zamri (required)" SecProgram
    SectionIn RO
    Call CloseRunningCopy
    SetOutPath "$INSTDIR"
    File "${FILES}/zamri.exe"
    ; The overlay library stand-in only where there is none yet: an ovtext.dll that is there may
    ; be the recorder's own, which an upgrade must not replace.
    SetOverwrite off
    File "${FILES}/ovtext.dll"
    SetOverwrite on
    File "${FILES}/langpack.dll"
    File "${FILES}/zamri-de.lng"
    File "${FILES}/zamri-en.lng"
    ; The tools: zamri-send, zamri-replay and whatever else the build has.
    File "${FILES}/zamri-*.exe"
    File "${FILES}/README.md"
    ; The manual the README links to.
    SetOutPath "$INSTDIR\docs"
    File /r "${FILES}/docs/*.*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    WriteRegStr HKCU "${SETTINGS_KEY}" "InstallDir" "$INSTDIR"
    WriteRegStr HKCU "${SETTINGS_KEY}" "Mode" "$Mode"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zamri.exe"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
    ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
    WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
    ; "Start with Windows" below writes the entry again when it is chosen.
    DeleteRegValue HKCU "${RUN_KEY}" "zamri"
SectionEnd

Section "Start menu entries" SecStartMenu
    CreateDirectory "$SMPROGRAMS\zamri"
    CreateShortcut "$SMPROGRAMS\zamri\zamri.lnk" "$INSTDIR\zamri.exe" "" "$INSTDIR\zamri.exe" 0
    CreateShortcut "$SMPROGRAMS\zamri\zamri (TCP).lnk" "$INSTDIR\zamri.exe" "/tcp" "$INSTDIR\zamri.exe" 1
    CreateShortcut "$SMPROGRAMS\zamri\Properties.lnk" "$INSTDIR\zamri.exe" "/property" "$INSTDIR\zamri.exe" 0
    CreateShortcut "$SMPROGRAMS\zamri\Uninstall zamri.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "Start with Windows" SecAutostart
    ${If} $Mode == "tcp"
        WriteRegStr HKCU "${RUN_KEY}" "zamri" '"$INSTDIR\zamri.exe" /tcp'
    ${Else}
        WriteRegStr HKCU "${RUN_KEY}" "zamri" '"$INSTDIR\zamri.exe"'
    ${EndIf}
SectionEnd

Section "-Start now"
    ${If} $RunAfter == 1
        Call StartProgram
    ${EndIf}
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
    !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "zamri.exe, the overlay library stand-in ovtext.dll (replace it by the recorder's own), the language pack, the tools (zamri-send, zamri-replay, ...) and the README."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecStartMenu} "Start-menu entries: zamri, zamri (TCP), Properties and Uninstall."
    !insertmacro MUI_DESCRIPTION_TEXT ${SecAutostart} "Starts zamri when you log on to Windows, in the mode chosen on the next page."
!insertmacro MUI_FUNCTION_DESCRIPTION_END

Function .onInit
    ReadRegStr $Mode HKCU "${SETTINGS_KEY}" "Mode"
    ${If} $Mode != "tcp"
        StrCpy $Mode "serial"
    ${EndIf}
    StrCpy $RunAfter 0
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/TCP" $R1
    ${IfNot} ${Errors}
        StrCpy $Mode "tcp"
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/NOAUTOSTART" $R1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecAutostart}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/NOSTARTMENU" $R1
    ${IfNot} ${Errors}
        !insertmacro UnselectSection ${SecStartMenu}
    ${EndIf}
    ClearErrors
    ${GetOptions} $R0 "/RUN" $R1
    ${IfNot} ${Errors}
        StrCpy $RunAfter 1
    ${EndIf}
FunctionEnd

Function ModePage
    !insertmacro MUI_HEADER_TEXT "Mode" "How do the tills reach zamri?"
    nsDialogs::Create 1018
    Pop $0
    ${NSD_CreateLabel} 0 0 100% 24u "zamri starts in this mode with Windows and from the Finish page. The Start menu has an entry for each mode."
    Pop $0
    ${NSD_CreateRadioButton} 10u 34u 100% 12u "&Serial: the printer cables are tapped at serial ports (COM)"
    Pop $SerialRadio
    ${NSD_CreateRadioButton} 10u 52u 100% 12u "&TCP: the till software sends its lines over the network"
    Pop $TcpRadio
    ${If} $Mode == "tcp"
        ${NSD_Check} $TcpRadio
    ${Else}
        ${NSD_Check} $SerialRadio
    ${EndIf}
    nsDialogs::Show
FunctionEnd

Function ModePageLeave
    ${NSD_GetState} $TcpRadio $0
    ${If} $0 == ${BST_CHECKED}
        StrCpy $Mode "tcp"
    ${Else}
        StrCpy $Mode "serial"
    ${EndIf}
FunctionEnd

Function StartProgram
    ${If} $Mode == "tcp"
        Exec '"$INSTDIR\zamri.exe" /tcp'
    ${Else}
        Exec '"$INSTDIR\zamri.exe"'
    ${EndIf}
FunctionEnd

Section "un.zamri (required)" SecUnProgram
    SectionIn RO
    Call un.CloseRunningCopy
    Delete "$INSTDIR\zamri.exe"
    Delete "$INSTDIR\ovtext.dll"
    Delete "$INSTDIR\langpack.dll"
    Delete "$INSTDIR\zamri-de.lng"
    Delete "$INSTDIR\zamri-en.lng"
    Delete "$INSTDIR\zamri-*.exe"
    Delete "$INSTDIR\README.md"
    RMDir /r "$INSTDIR\docs"
    ; What the overlay library stand-in recorded.
    Delete "$INSTDIR\ovtext.log"
    Delete "$INSTDIR\uninstall.exe"
    RMDir /r "$SMPROGRAMS\zamri"
    DeleteRegValue HKCU "${RUN_KEY}" "zamri"
    DeleteRegKey HKCU "${UNINSTALL_KEY}"
    DeleteRegKey HKCU "${SETTINGS_KEY}"
SectionEnd

Section /o "un.Settings file zamri.ini" SecUnSettings
    Delete "$INSTDIR\zamri.ini"
SectionEnd

Section "-un.Folder"
    ; Stays while anything else is in it, such as the settings file.
    RMDir "$INSTDIR"
SectionEnd

Function un.onInit
    ${GetParameters} $R0
    ClearErrors
    ${GetOptions} $R0 "/REMOVESETTINGS" $R1
    ${IfNot} ${Errors}
        !insertmacro SelectSection ${SecUnSettings}
    ${EndIf}
FunctionEnd
