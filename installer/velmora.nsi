; Velmora's setup program: installs the service, the tray monitor, the control
; panel and the help file into one folder, adds an entry for each of the last
; three to every user's Start menu, starts the service, has the desktop's
; shell start the tray, and registers an uninstaller.
;
;   makensis -V2 -DVERSION=1.0.0 -DBINDIR=<folder> [-DOUTFILE=<setup.exe>] velmora.nsi
;
; VERSION   the product version, two to four numbers ("1.0.0"); the first two
;           make the name shown in the list of installed programs ("Velmora 1.0")
; BINDIR    the folder that holds velsvc.exe, velmon.exe, velpanel.exe and
;           velmora.chm
; OUTFILE   where the setup program is written; by default
;           <BINDIR>/velmora-<VERSION>-setup.exe
;
; makensis changes into this script's folder before it reads the script, so
; relative paths in BINDIR and OUTFILE are taken from here.
;
; Switches of the setup program:   /S (silent), /D=<folder> (NSIS's own)
; Switches of uninstall.exe:       /S (silent; keeps the settings),
;                                  /REMOVESETTINGS (removes them without asking)
;
; Exit codes: 0 done, 1 cancelled by the user, 2 the installation failed (for
; example the service could not be installed), 740 not run as administrator.

Unicode true
Target amd64-unicode
SetCompressor /SOLID lzma
ManifestSupportedOS all
RequestExecutionLevel admin

!ifndef VERSION
  !error "VERSION is not defined: makensis -DVERSION=1.0.0 -DBINDIR=... velmora.nsi"
!endif
!ifndef BINDIR
  !error "BINDIR is not defined: the folder with velsvc.exe, velmon.exe, velpanel.exe and velmora.chm"
!endif
!ifndef OUTFILE
  !define OUTFILE "${BINDIR}/velmora-${VERSION}-setup.exe"
!endif

; "1.0.0" -> 1, 0, 0: the short version for the program list and the four
; numbers of the file's version resource. The trailing dot lets "1.0" parse.
!searchparse /noerrors "${VERSION}...." "" VERSION_MAJOR "." VERSION_MINOR "." VERSION_PATCH "." VERSION_BUILD "."
!ifndef VERSION_MAJOR
  !error "VERSION must start with a number: ${VERSION}"
!endif
!ifndef VERSION_MINOR
  !define VERSION_MINOR 0
!endif
!if "${VERSION_PATCH}" == ""
  !undef VERSION_PATCH
  !define VERSION_PATCH 0
!endif
!if "${VERSION_BUILD}" == ""
  !undef VERSION_BUILD
  !define VERSION_BUILD 0
!endif

!define PRODUCT "Velmora"
!define PUBLISHER "Quorlex"
!define SERVICE_NAME "Velmora Service"
; The captions of velmon's hidden dialog window and of the control panel.
!define TRAY_WINDOW_TITLE "Velmora Tray Icon"
!define PANEL_WINDOW_TITLE "Velmora Control Panel"
; The help viewer's window showing velmora.chm: its class and the help's title.
!define HELP_WINDOW_CLASS "HH Parent"
!define HELP_WINDOW_TITLE "Velmora Help"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define RUN_KEY "SOFTWARE\Microsoft\Windows\CurrentVersion\Run"
!define AUTOSTART_VALUE "Velmora"
!define SETTINGS_KEY "SOFTWARE\Quorlex\Velmora"
; The entries in every user's Start menu (the Programs folder of all users,
; without a folder of their own): they start the tray monitor again after
; "Exit Monitor", and open the control panel and the help.
!define MONITOR_ENTRY "Velmora Monitor"
!define PANEL_ENTRY "Velmora Control Panel"
!define HELP_ENTRY "Velmora Help"
!define VENDOR_KEY "SOFTWARE\Quorlex"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WinMessages.nsh"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
; An update goes where the earlier installation is.
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show
; A file that cannot be replaced (a program of an earlier installation that is
; still running) fails the installation instead of being skipped.
AllowSkipFiles off

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_PATCH}.${VERSION_BUILD}"
VIAddVersionKey /LANG=1033 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "FileDescription" "${PRODUCT} Setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (c) 2026 ${PUBLISHER}"

; ---- Pages -------------------------------------------------------------------

!define MUI_ABORTWARNING
; The welcome text depends on what is found: see WelcomePre.
Var WelcomeText
!define MUI_PAGE_CUSTOMFUNCTION_PRE WelcomePre
!define MUI_WELCOMEPAGE_TEXT "$WelcomeText"
!define MUI_FINISHPAGE_TEXT "${PRODUCT} ${VERSION} is installed. The ${SERVICE_NAME} keeps the system file cache in bounds, and the tray monitor shows the available memory in the notification area."

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

Var ServiceState
; 1 once the setup has stopped a running service: a failed update starts it
; again.
Var ServiceStopped

; ---- Helpers shared by the installer and the uninstaller -----------------------

; Functions of an uninstaller must carry the "un." prefix; each helper is
; defined twice from one macro.
!macro VelmoraHelpers UN

; Sets $ServiceState to the state of the service: "absent", or its current
; state as a number (1 stopped, 2 start pending, 3 stop pending, 4 running).
Function ${UN}QueryServiceState
  Push $0
  Push $1
  Push $2
  Push $3
  StrCpy $ServiceState "absent"
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 0x1) p .r0'   ; SC_MANAGER_CONNECT
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "${SERVICE_NAME}", i 0x4) p .r1'   ; SERVICE_QUERY_STATUS
    ${If} $1 P<> 0
      System::Alloc 28   ; SERVICE_STATUS
      Pop $2
      StrCpy $ServiceState 0
      System::Call 'advapi32::QueryServiceStatus(p r1, p r2) i .r3'
      ${If} $3 <> 0
        System::Call '*$2(i, i .s)'
        Pop $ServiceState
      ${EndIf}
      System::Free $2
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Stops the service when it runs, waits up to 20 seconds for it to report
; stopped and up to 10 seconds more for its process to end, so that its
; program file can be replaced or deleted.
Function ${UN}StopService
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 0x1) p .r0'   ; SC_MANAGER_CONNECT
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "${SERVICE_NAME}", i 0x24) p .r1'   ; SERVICE_STOP | SERVICE_QUERY_STATUS
    ${If} $1 P<> 0
      ; SERVICE_STATUS_PROCESS: the state is the second field, the process id
      ; the eighth. Its first seven fields are a SERVICE_STATUS.
      System::Alloc 36
      Pop $2
      StrCpy $3 1
      StrCpy $5 0
      System::Call 'advapi32::QueryServiceStatusEx(p r1, i 0, p r2, i 36, *i .r4) i .r4'   ; SC_STATUS_PROCESS_INFO
      ${If} $4 <> 0
        System::Call '*$2(i, i .r3, i, i, i, i, i, i .r5)'
      ${EndIf}
      ${If} $3 <> 1   ; not SERVICE_STOPPED
        DetailPrint "Stopping the ${SERVICE_NAME}..."
        StrCpy $ServiceStopped 1
        ; A handle on the service's process, taken before the stop, to wait for
        ; the process to end after it.
        StrCpy $4 0
        ${If} $5 <> 0
          System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i r5) p .r4'   ; SYNCHRONIZE
        ${EndIf}
        System::Call 'advapi32::ControlService(p r1, i 1, p r2) i'   ; SERVICE_CONTROL_STOP
        ${For} $5 1 80
          System::Call 'advapi32::QueryServiceStatus(p r1, p r2) i'
          System::Call '*$2(i, i .r3)'
          ${IfThen} $3 = 1 ${|} ${Break} ${|}
          Sleep 250
        ${Next}
        ${If} $4 P<> 0
          System::Call 'kernel32::WaitForSingleObject(p r4, i 10000) i'
          System::Call 'kernel32::CloseHandle(p r4)'
        ${EndIf}
        ${If} $3 <> 1
          DetailPrint "The ${SERVICE_NAME} did not stop (state $3)."
        ${EndIf}
      ${EndIf}
      System::Free $2
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; Ends every running copy of a program found by a top-level window (push the
; window class, then its caption): WM_CLOSE to the window, then up to 10
; seconds' wait for the process to end, so that the files it holds can be
; replaced or deleted after it.
Function ${UN}EndProgramByWindow
  Exch $R0   ; the window's caption
  Exch
  Exch $R1   ; its class
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  ${For} $4 1 5
    FindWindow $0 "$R1" "$R0"
    ${IfThen} $0 = 0 ${|} ${Break} ${|}
    StrCpy $1 0
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1) i'
    System::Call 'kernel32::OpenProcess(i 0x100000, i 0, i r1) p .r2'   ; SYNCHRONIZE
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $2 P<> 0
      System::Call 'kernel32::WaitForSingleObject(p r2, i 10000) i .r3'
      System::Call 'kernel32::CloseHandle(p r2)'
    ${Else}
      ; No handle to wait on: wait for the window to go, then a moment for the
      ; program's last steps.
      ${For} $3 1 40
        IsWindow $0 0 window_gone
        Sleep 250
      ${Next}
      window_gone:
      Sleep 1000
    ${EndIf}
  ${Next}
  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
  Pop $R1
  Pop $R0
FunctionEnd

; Ends velmon in every session. WM_CLOSE to the hidden window on this desktop
; removes the icon and ends the program, which writes its autostart value once
; more on the way out. FindWindow sees this desktop only: a velmon of another
; user's session (a terminal server, a second signed-in user) is ended by
; taskkill. taskkill exits with 128 when it finds no velmon.exe in any session:
; it is run again, for up to 10 seconds, until it says so, as a process it
; terminated may take a moment to go.
Function ${UN}EndTrayMonitor
  Push $0
  Push $1
  FindWindow $0 "#32770" "${TRAY_WINDOW_TITLE}"
  ${If} $0 <> 0
    DetailPrint "Ending the tray monitor..."
  ${EndIf}
  Push "#32770"
  Push "${TRAY_WINDOW_TITLE}"
  Call ${UN}EndProgramByWindow
  ${For} $1 1 40
    nsExec::Exec '"$SYSDIR\taskkill.exe" /F /IM velmon.exe'
    Pop $0
    ${If} $0 == 128
    ${OrIf} $0 == "error"
      ${Break}
    ${EndIf}
    ${If} $1 = 1
      DetailPrint "Ending the tray monitor in the other sessions..."
    ${EndIf}
    Sleep 250
  ${Next}
  Pop $1
  Pop $0
FunctionEnd

; Ends an open control panel; changes it has not applied are dropped.
Function ${UN}EndControlPanel
  Push "#32770"
  Push "${PANEL_WINDOW_TITLE}"
  Call ${UN}EndProgramByWindow
FunctionEnd

; Closes the help viewer showing velmora.chm, which holds the file open.
Function ${UN}EndHelpViewer
  Push "${HELP_WINDOW_CLASS}"
  Push "${HELP_WINDOW_TITLE}"
  Call ${UN}EndProgramByWindow
FunctionEnd

!macroend

!insertmacro VelmoraHelpers ""
!insertmacro VelmoraHelpers "un."

; Deletes the service from the service database (used only when velsvc.exe
; could not do it itself).
Function un.DeleteService
  Push $0
  Push $1
  System::Call 'advapi32::OpenSCManagerW(p 0, p 0, i 0x1) p .r0'
  ${If} $0 P<> 0
    System::Call 'advapi32::OpenServiceW(p r0, w "${SERVICE_NAME}", i 0x10000) p .r1'   ; DELETE
    ${If} $1 P<> 0
      System::Call 'advapi32::DeleteService(p r1) i'
      System::Call 'advapi32::CloseServiceHandle(p r1)'
    ${EndIf}
    System::Call 'advapi32::CloseServiceHandle(p r0)'
  ${EndIf}
  Pop $1
  Pop $0
FunctionEnd

; Deletes a file, retrying for up to 5 seconds while it is still in use (a
; program that was just told to end may hold its file a moment longer).
!macro DeleteWithRetry FILE
  ${For} $R9 1 20
    ClearErrors
    Delete "${FILE}"
    ${IfNot} ${Errors}
      ${Break}
    ${EndIf}
    Sleep 250
  ${Next}
  ${If} ${FileExists} "${FILE}"
    DetailPrint "Could not delete ${FILE}"
  ${EndIf}
!macroend

; ---- Installer -----------------------------------------------------------------

Function .onInit
  SetRegView 64
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} Setup must be run as an administrator." /SD IDOK
    SetErrorLevel 740   ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
FunctionEnd

; A file that could not be replaced (or another failure) must not leave the
; service stopped: the service this setup stopped is started again, from
; whichever velsvc.exe the folder now holds.
Function .onInstFailed
  ${If} $ServiceStopped == 1
    DetailPrint "Starting the ${SERVICE_NAME} again..."
    nsExec::Exec '"$INSTDIR\velsvc.exe" -start'
    Pop $0
  ${EndIf}
FunctionEnd

; An update (a registered installation, or an installed service, is found)
; stops the service and the tray monitor to replace their files; a first
; installation has nothing to stop.
Function WelcomePre
  StrCpy $WelcomeText "Setup will install ${PRODUCT} ${VERSION}, which keeps the system file cache in bounds and frees memory."
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  Call QueryServiceState
  ${If} $0 != ""
  ${OrIf} $ServiceState != "absent"
    StrCpy $WelcomeText "Setup will update the installed ${PRODUCT} to version ${VERSION}.$\r$\n$\r$\nThe ${SERVICE_NAME} and the tray monitor are stopped while their files are replaced, and started again afterwards."
  ${EndIf}
  StrCpy $WelcomeText "$WelcomeText$\r$\n$\r$\n$(^ClickNext)"
FunctionEnd

Section "Velmora" SecMain
  SectionIn RO
  SetRegView 64

  ; An earlier installation is replaced in place: its service, its tray
  ; monitor, an open control panel and the help viewer must let go of their
  ; files first.
  Call StopService
  Call EndTrayMonitor
  Call EndControlPanel
  Call EndHelpViewer

  SetOutPath "$INSTDIR"
  ; Program Files lets only administrators and SYSTEM change its folders. A
  ; folder elsewhere (/D=) would inherit what its parent allows, often
  ; creating files for every user: it gets the same protection explicitly,
  ; before any program is in it, so that a standard user can neither replace
  ; the service's program (which runs as LocalSystem) or velmon (which starts
  ; for every user) nor add a program beside them. The accounts are given by
  ; their SIDs (Administrators, SYSTEM, Users), which hold in every language.
  StrLen $0 "$PROGRAMFILES64\"
  StrCpy $1 "$INSTDIR\" $0
  ${If} $1 != "$PROGRAMFILES64\"
    DetailPrint "Restricting the folder to administrators..."
    nsExec::Exec '"$SYSDIR\icacls.exe" "$INSTDIR" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
    Pop $0
  ${EndIf}
  File "${BINDIR}/velsvc.exe"
  File "${BINDIR}/velmon.exe"
  File "${BINDIR}/velpanel.exe"
  File "${BINDIR}/velmora.chm"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ${GetSize} "$INSTDIR" "/S=0K /G=0" $0 $1 $2
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} ${VERSION_MAJOR}.${VERSION_MINOR}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\velmon.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegExpandStr HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Velmora Service" "EventMessageFile" "$INSTDIR\velsvc.exe"
  WriteRegDWORD HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Velmora Service" "TypesSupported" 7

  ; $SMPROGRAMS is the Programs folder of all users from here on. The entries
  ; start in the installation folder, from which velmon and velpanel open
  ; their companion files anyway.
  SetShellVarContext all
  CreateShortcut "$SMPROGRAMS\${MONITOR_ENTRY}.lnk" "$INSTDIR\velmon.exe" "" "" 0 SW_SHOWNORMAL "" \
    "Shows the available memory in the notification area"
  CreateShortcut "$SMPROGRAMS\${PANEL_ENTRY}.lnk" "$INSTDIR\velpanel.exe" "" "" 0 SW_SHOWNORMAL "" \
    "Shows Velmora's settings and the service's state"
  CreateShortcut "$SMPROGRAMS\${HELP_ENTRY}.lnk" "$INSTDIR\velmora.chm" "" "" 0 SW_SHOWNORMAL "" \
    "Velmora's help"

  ; velsvc installs the service from its own path when it is not installed
  ; (or installed from another folder) and starts it; it waits for the start.
  ; Its console text is for a command prompt: the details show what the setup
  ; finds afterwards.
  DetailPrint "Installing and starting the ${SERVICE_NAME}..."
  nsExec::Exec '"$INSTDIR\velsvc.exe" -start'
  Pop $0
  Call QueryServiceState
  StrCpy $1 $ServiceState
  ReadRegStr $2 HKLM "SYSTEM\CurrentControlSet\Services\${SERVICE_NAME}" "ImagePath"
  ${If} $1 == "absent"
  ${OrIf} $0 == "error"
    StrCpy $3 "The ${SERVICE_NAME} could not be installed."
  ${ElseIf} $2 != '"$INSTDIR\velsvc.exe"'
  ${AndIf} $2 != "$INSTDIR\velsvc.exe"
    StrCpy $3 "The ${SERVICE_NAME} is installed for another program file ($2)."
  ${Else}
    StrCpy $3 ""
  ${EndIf}
  ${If} $3 != ""
    DetailPrint "$3"
    MessageBox MB_OK|MB_ICONSTOP "$3$\r$\n$\r$\nThe installation of ${PRODUCT} has failed. Running $\"$INSTDIR\velsvc.exe$\" -start from an administrator's command prompt shows why." /SD IDOK
    SetErrorLevel 2
    Abort "$3"
  ${EndIf}
  ${If} $1 == 4
    DetailPrint "The ${SERVICE_NAME} is installed and running."
  ${Else}
    DetailPrint "The ${SERVICE_NAME} is installed but not running (state $1); it starts with Windows."
    MessageBox MB_OK|MB_ICONEXCLAMATION "The ${SERVICE_NAME} is installed but did not start. It starts the next time Windows starts." /SD IDOK
  ${EndIf}

  ; velmon writes this value itself each time it starts; written here too, it
  ; starts at the next sign-in even when the setup does not start it.
  WriteRegStr HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}" '"$INSTDIR\velmon.exe"'

  ; A program this setup starts runs with its elevated token: after an
  ; administrator's password was typed into a standard user's prompt, as that
  ; administrator on the user's desktop. The desktop's shell runs as its user
  ; with an ordinary token. explorer.exe started from here passes the request
  ; on to that shell, which starts velmon with its own token. Without a
  ; taskbar on this desktop no such shell runs (a setup started by a service
  ; or in a session without Explorer), and explorer.exe might become the
  ; shell itself, elevated: velmon then starts at the next sign-in.
  FindWindow $0 "Shell_TrayWnd" ""
  ${If} $0 <> 0
    DetailPrint "Starting the tray monitor..."
    Exec '"$WINDIR\explorer.exe" "$INSTDIR\velmon.exe"'
  ${Else}
    DetailPrint "The tray monitor starts at the next sign-in."
  ${EndIf}
SectionEnd

; ---- Uninstaller ---------------------------------------------------------------

Function un.onInit
  SetRegView 64
  ; Run from a folder of its own (for example with _?= pointing elsewhere),
  ; the uninstaller would remove the service and the registration of an
  ; installation it does not belong to.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${IfNot} ${FileExists} "$INSTDIR\velsvc.exe"
  ${AndIfNot} ${FileExists} "$INSTDIR\velmon.exe"
  ${AndIf} $0 != "$INSTDIR"
    MessageBox MB_OK|MB_ICONSTOP "$INSTDIR does not hold an installation of ${PRODUCT}." /SD IDOK
    SetErrorLevel 2
    Quit
  ${EndIf}
FunctionEnd

Section "Uninstall"
  SetRegView 64

  ; The settings are kept unless the command line asks for their removal or
  ; the user declines to keep them; a silent uninstall keeps them.
  StrCpy $R0 "keep"
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/REMOVESETTINGS" $1
  ${IfNot} ${Errors}
    StrCpy $R0 "remove"
  ${ElseIf} ${Cmd} `MessageBox MB_YESNO|MB_ICONQUESTION "Keep Velmora's settings (the ten values under HKLM\${SETTINGS_KEY}) for a later installation?" /SD IDYES IDNO`
    StrCpy $R0 "remove"
  ${EndIf}

  ; Stopped first, with a wait for its process to end, so that velsvc only
  ; has to delete it and its file is free afterwards.
  Call un.StopService
  DetailPrint "Removing the ${SERVICE_NAME}..."
  ${If} ${FileExists} "$INSTDIR\velsvc.exe"
    nsExec::Exec '"$INSTDIR\velsvc.exe" -remove'
    Pop $0
  ${EndIf}
  Call un.QueryServiceState
  ${If} $ServiceState != "absent"
    Call un.StopService
    Call un.DeleteService
    Call un.QueryServiceState
  ${EndIf}
  ${If} $ServiceState == "absent"
    DetailPrint "The ${SERVICE_NAME} is removed."
  ${Else}
    DetailPrint "The ${SERVICE_NAME} could not be removed."
  ${EndIf}

  ; velmon writes its autostart value again as it ends: the value goes only
  ; after the program has ended.
  Call un.EndTrayMonitor
  DeleteRegValue HKLM "${RUN_KEY}" "${AUTOSTART_VALUE}"
  Call un.EndControlPanel
  Call un.EndHelpViewer

  !insertmacro DeleteWithRetry "$INSTDIR\velsvc.exe"
  !insertmacro DeleteWithRetry "$INSTDIR\velmon.exe"
  !insertmacro DeleteWithRetry "$INSTDIR\velpanel.exe"
  Delete "$INSTDIR\velmora.chm"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "$SMPROGRAMS\${MONITOR_ENTRY}.lnk"
  Delete "$SMPROGRAMS\${PANEL_ENTRY}.lnk"
  Delete "$SMPROGRAMS\${HELP_ENTRY}.lnk"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  DeleteRegKey HKLM "SYSTEM\CurrentControlSet\Services\EventLog\Application\Velmora Service"

  ${If} $R0 == "remove"
    DetailPrint "Removing the settings..."
    DeleteRegKey HKLM "${SETTINGS_KEY}"
    DeleteRegKey /ifempty HKLM "${VENDOR_KEY}"
  ${EndIf}
SectionEnd
