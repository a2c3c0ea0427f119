; The OrvoCapture installer. scripts/package.sh compiles it once per target:
;   makensis -DVERSION=2.0.0 -DARCH=x64 -DEXE=path\to\orvocapture.exe -DOUTFILE=... orvocapture.nsi
; Per-user by default (no administrator rights needed), for all users with
; /AllUsers or the choice on the first page; /S installs and uninstalls
; without questions.

!ifndef VERSION | ARCH | EXE | OUTFILE | ICON
  !error "package.sh passes VERSION, ARCH (x64 or x86), EXE, ICON and OUTFILE"
!endif

!if "${ARCH}" == "x64"
  Target amd64-unicode
!else
  Target x86-unicode
!endif

!define APP "OrvoCapture"
!define EXE_NAME "orvocapture.exe"
!define PUBLISHER "Cindrel"
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${APP}"
; The program's own settings: kept on uninstall unless the user asks.
!define SETTINGS_PARENT "Software\Cindrel"
!define SETTINGS_KEY "${SETTINGS_PARENT}\orvocapture"
; Held by a running copy for as long as it runs.
!define RUNNING_MUTEX "OrvoCaptureRunning"
; The "E&xit" command of the program's notification-icon menu.
!define ID_TRAY_EXIT 32771

Name "${APP}"
OutFile "${OUTFILE}"
SetCompressor /SOLID lzma
BrandingText "${APP} ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP} ${VERSION} setup (${ARCH})"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

; Per-user into %LOCALAPPDATA%\Programs\OrvoCapture unless all users are asked
; for; an upgrade finds the earlier folder and mode in the uninstall entry.
!define MULTIUSER_EXECUTIONLEVEL Highest
!define MULTIUSER_MUI
!define MULTIUSER_INSTALLMODE_COMMANDLINE
!define MULTIUSER_INSTALLMODE_DEFAULT_CURRENTUSER
!define MULTIUSER_INSTALLMODE_INSTDIR "${APP}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_KEY "${UNINST_KEY}"
!define MULTIUSER_INSTALLMODE_INSTDIR_REGISTRY_VALUENAME "InstallLocation"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_KEY "${UNINST_KEY}"
!define MULTIUSER_INSTALLMODE_DEFAULT_REGISTRY_VALUENAME "InstallLocation"
!if "${ARCH}" == "x64"
  !define MULTIUSER_USE_PROGRAMFILES64
!endif
!include MultiUser.nsh
!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_COMPONENTSPAGE_NODESC

!insertmacro MULTIUSER_PAGE_INSTALLMODE
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\${EXE_NAME}"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_COMPONENTS
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "English"

; --- a running copy ------------------------------------------------------------
; Finds each copy of the installed program by its notification-icon window
; (a hidden window of a framework class owned by a process whose image is
; $INSTDIR\orvocapture.exe) and sends it the icon menu's Exit, as a person
; would choose it. A copy that does not end within 20 s is never killed: the
; user is asked to close it and retry (a silent run gives up with exit code 2).
; Windows are only seen on this desktop: a copy on another desktop or in
; another session is then found by its process image, and as it cannot be
; asked, the user is asked to close it there (a silent run gives up).
; Sets $R9 to 1 when a copy was stopped, else 0.
!macro STOP_PROGRAM_FUNCTION un
; Sets $0 to the number of processes, wherever they run, whose image is
; $INSTDIR\orvocapture.exe.
Function ${un}CountRunningImages
  Push $1
  Push $2
  Push $3
  Push $4
  Push $5
  Push $6
  StrCpy $0 0
  ; Room for 4096 process ids.
  System::Alloc 16384
  Pop $1
  System::Call 'kernel32::K32EnumProcesses(p r1, i 16384, *i 0 r2) i.r3'
  ${If} $3 = 0
    StrCpy $2 0
  ${EndIf}
  ; $2 bytes of ids from $1 on, $3 the next one's offset.
  StrCpy $3 0
  ${DoWhile} $3 < $2
    IntPtrOp $4 $1 + $3
    System::Call '*$4(i .r4)'
    IntOp $3 $3 + 4
    ; PROCESS_QUERY_LIMITED_INFORMATION
    System::Call 'kernel32::OpenProcess(i 0x1000, i 0, i r4) p.r4'
    ${If} $4 P<> 0
      System::Call 'kernel32::QueryFullProcessImageNameW(p r4, i 0, w .r5, *i ${NSIS_MAX_STRLEN}) i.r6'
      System::Call 'kernel32::CloseHandle(p r4)'
      ${If} $6 <> 0
      ${AndIf} $5 == "$INSTDIR\${EXE_NAME}"
        IntOp $0 $0 + 1
      ${EndIf}
    ${EndIf}
  ${Loop}
  System::Free $1
  Pop $6
  Pop $5
  Pop $4
  Pop $3
  Pop $2
  Pop $1
FunctionEnd

Function ${un}StopProgram
  Push $0
  Push $1
  Push $2
  Push $3
  Push $4
  StrCpy $R9 0
  ; No copy in this session holds the mutex: no window to look for.
  System::Call 'kernel32::OpenMutexW(i 0x00100000, i 0, w "${RUNNING_MUTEX}") p.r0'
  ${If} $0 P= 0
    Goto elsewhere
  ${EndIf}
  System::Call 'kernel32::CloseHandle(p r0)'

  search:
  StrCpy $0 0
  next_window:
    System::Call 'user32::FindWindowExW(p 0, p r0, p 0, p 0) p.r0'
    ${If} $0 P= 0
      Goto elsewhere
    ${EndIf}
    System::Call 'user32::GetClassNameW(p r0, w .r1, i ${NSIS_MAX_STRLEN}) i'
    StrCpy $1 $1 4
    StrCmp $1 "Afx:" 0 next_window
    System::Call 'user32::GetWindowThreadProcessId(p r0, *i 0 r2) i'
    ; PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE
    System::Call 'kernel32::OpenProcess(i 0x00101000, i 0, i r2) p.r3'
    ${If} $3 P= 0
      Goto next_window
    ${EndIf}
    System::Call 'kernel32::QueryFullProcessImageNameW(p r3, i 0, w .r1, *i ${NSIS_MAX_STRLEN}) i.r4'
    ${If} $4 = 0
    ${OrIf} $1 != "$INSTDIR\${EXE_NAME}"
      System::Call 'kernel32::CloseHandle(p r3)'
      Goto next_window
    ${EndIf}
    DetailPrint "Asking the running ${APP} to exit"
    SendMessage $0 ${WM_COMMAND} ${ID_TRAY_EXIT} 0 /TIMEOUT=5000
    System::Call 'kernel32::WaitForSingleObject(p r3, i 20000) i.r4'
    System::Call 'kernel32::CloseHandle(p r3)'
    ${If} $4 != 0
      MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
        "${APP} is still running and does not answer. Close it from its icon in the notification area (Exit), then choose Retry." \
        /SD IDCANCEL IDRETRY search
      SetErrorLevel 2
      Abort "${APP} is still running."
    ${EndIf}
    StrCpy $R9 1
    ; The list of windows changed: look again from the start.
    Goto search

  elsewhere:
  Call ${un}CountRunningImages
  ${If} $0 > 0
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "${APP} is running on another desktop or in another user's session, where it cannot be asked to exit. Close it there from its icon in the notification area (Exit), then choose Retry." \
      /SD IDCANCEL IDRETRY search
    SetErrorLevel 2
    Abort "${APP} is still running."
  ${EndIf}

  Pop $4
  Pop $3
  Pop $2
  Pop $1
  Pop $0
FunctionEnd
!macroend
!insertmacro STOP_PROGRAM_FUNCTION ""
!insertmacro STOP_PROGRAM_FUNCTION "un."

; --- install -------------------------------------------------------------------
Section "${APP}" SecProgram
  SectionIn RO
  Call StopProgram
  SetOutPath "$INSTDIR"
  File "/oname=${EXE_NAME}" "${EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  CreateShortcut "$SMPROGRAMS\${APP}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0

  ${If} $MultiUser.InstallMode == "AllUsers"
    StrCpy $0 "/AllUsers"
  ${Else}
    StrCpy $0 "/CurrentUser"
  ${EndIf}
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayName" "${APP}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\${EXE_NAME},0"
  WriteRegStr SHCTX "${UNINST_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe" $0'
  WriteRegStr SHCTX "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" $0 /S'
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINST_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $1 $2 $3
  WriteRegDWORD SHCTX "${UNINST_KEY}" "EstimatedSize" $1

  ; A silent upgrade puts back the copy it had to stop.
  ${If} ${Silent}
  ${AndIf} $R9 = 1
    Exec '"$INSTDIR\${EXE_NAME}"'
  ${EndIf}
SectionEnd

Section "Start ${APP} when Windows starts" SecStartup
  CreateShortcut "$SMSTARTUP\${APP}.lnk" "$INSTDIR\${EXE_NAME}" "" "$INSTDIR\${EXE_NAME}" 0
SectionEnd

; An upgrade without autostart takes away the shortcut an earlier install made.
Section "-forget autostart"
  ${IfNot} ${SectionIsSelected} ${SecStartup}
    Delete "$SMSTARTUP\${APP}.lnk"
  ${EndIf}
SectionEnd

Function .onInit
  ; A folder given with /D= wins over the default and the earlier install.
  StrCpy $R0 $INSTDIR
  !insertmacro MULTIUSER_INIT
  ${If} $R0 != ""
    StrCpy $INSTDIR $R0
  ${EndIf}
FunctionEnd

; --- uninstall -----------------------------------------------------------------
Section "un.${APP}" UnSecProgram
  SectionIn RO
  remove:
  Call un.StopProgram
  ; A program file that stays (a copy runs that could not be seen, say,
  ; another user's) keeps the uninstaller and the entry that remove it later.
  Delete "$INSTDIR\${EXE_NAME}"
  ${If} ${FileExists} "$INSTDIR\${EXE_NAME}"
    MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
      "$INSTDIR\${EXE_NAME} cannot be removed while ${APP} runs. Close it wherever it runs (another user's included) from its icon in the notification area (Exit), then choose Retry." \
      /SD IDCANCEL IDRETRY remove
    SetErrorLevel 2
    Abort "${APP} is still running."
  ${EndIf}
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: whatever else the user put there stays.
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${APP}.lnk"
  Delete "$SMSTARTUP\${APP}.lnk"
  DeleteRegKey SHCTX "${UNINST_KEY}"
SectionEnd

Section /o "un.Remove my settings" UnSecSettings
  ; Settings only: pictures the program saved are the user's and stay.
  DeleteRegKey HKCU "${SETTINGS_KEY}"
  DeleteRegKey /ifempty HKCU "${SETTINGS_PARENT}"
SectionEnd

Function un.onInit
  !insertmacro MULTIUSER_UNINIT
FunctionEnd
