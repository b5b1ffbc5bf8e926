; The Windows installer: per user, no administrator rights, into the user's own programs folder
; (where the program's working directory and temporary file can always be written).
; makensis -DVERSION=x.y -DSTAGE=folder-with-the-files -DICON=grabotine.ico -DOUTFILE=setup.exe
Unicode true
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define NAME "Grabotine"
!define PUBLISHER "The Grabotine team"
; Class and title of the program's one window: a close request to it stores the settings and ends it.
!define WINDOW "${NAME} v. ${VERSION}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define SYNCHRONIZE 0x00100000

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 The Grabotine developers"

Var AutoStart     ; BST_CHECKED: a shortcut in the user's Startup folder
Var AutoStartBox
Var WasRunning    ; 1 once a running copy was closed

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${NAME} ${VERSION} for you alone: it needs no \
administrator rights.$\r$\n$\r$\nIf ${NAME} is running, Setup closes it first. Your settings \
and captures are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Grabotine.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
Page custom SignInPage SignInPageLeave
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; CloseRunning: asks the program whose window has the class and title on the stack to end, and
; waits until its process is gone; offers a retry when it stays (in silent mode it gives up).
!macro CLOSE_RUNNING un
Function ${un}CloseRunning
  Exch $R0
  Push $0
  Push $1
  Push $2
  retry:
    FindWindow $0 "$R0" "$R0"
    ${If} $0 <> 0
      StrCpy $WasRunning 1
      System::Call 'user32::GetWindowThreadProcessId(p r0, *i .r1)'
      System::Call 'kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r1) p .r2'
      SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=10000
      ${If} $2 <> 0
        System::Call 'kernel32::WaitForSingleObject(p r2, i 10000)'
        System::Call 'kernel32::CloseHandle(p r2)'
      ${EndIf}
      FindWindow $0 "$R0" "$R0"
      ${If} $0 <> 0
        MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION \
          "${NAME} is still running. End it with Exit in its icon's menu, then retry." \
          /SD IDCANCEL IDRETRY retry
        Abort "${NAME} is still running."
      ${EndIf}
    ${EndIf}
  Pop $2
  Pop $1
  Pop $0
  Pop $R0
FunctionEnd
!macroend
!insertmacro CLOSE_RUNNING ""
!insertmacro CLOSE_RUNNING "un."

Function .onInit
  StrCpy $WasRunning 0
  StrCpy $AutoStart ${BST_CHECKED}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOAUTOSTART" $1
  ${IfNot} ${Errors}
    StrCpy $AutoStart ${BST_UNCHECKED}
  ${EndIf}
FunctionEnd

Function SignInPage
  !insertmacro MUI_HEADER_TEXT "Start with Windows" \
    "${NAME} waits in the notification area, ready for a capture."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateCheckbox} 0 0 100% 12u "Start ${NAME} when I sign in"
  Pop $AutoStartBox
  ${NSD_SetState} $AutoStartBox $AutoStart
  nsDialogs::Show
FunctionEnd

Function SignInPageLeave
  ${NSD_GetState} $AutoStartBox $AutoStart
FunctionEnd

Section
  ; An older release that still runs has its own version in its window's title.
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
  ${AndIf} $0 != "${VERSION}"
    Push "${NAME} v. $0"
    Call CloseRunning
  ${EndIf}
  Push "${WINDOW}"
  Call CloseRunning

  SetOutPath "$INSTDIR"
  File "${STAGE}/Grabotine.exe"
  File "${STAGE}/NViewLib.dll"
  File "${STAGE}/grabotine.htm"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  ; Shortcuts start the program in its own folder.
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\Grabotine.exe"
  ${If} $AutoStart == ${BST_CHECKED}
    CreateShortcut "$SMSTARTUP\${NAME}.lnk" "$INSTDIR\Grabotine.exe"
  ${Else}
    Delete "$SMSTARTUP\${NAME}.lnk"
  ${EndIf}

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Grabotine.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  SectionGetSize 0 $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

; A silent upgrade gives back the running program it closed; the finish page offers it otherwise.
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} $WasRunning == 1
    Exec '"$INSTDIR\Grabotine.exe"'
  ${EndIf}
FunctionEnd

; The user's data stays: the settings file and captures, even those saved into this folder.
Section Uninstall
  Push "${WINDOW}"
  Call un.CloseRunning
  Delete "$INSTDIR\Grabotine.exe"
  Delete "$INSTDIR\NViewLib.dll"
  Delete "$INSTDIR\grabotine.htm"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$SMSTARTUP\${NAME}.lnk"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
