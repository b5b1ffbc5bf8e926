; The Windows installer: per user, no administrator rights, into the user's own programs folder
; (where the program's working directory can always be written); with /ALLUSERS, run by an
; administrator, for every user of the machine into Program Files.
; makensis -DVERSION=x.y -DARCH=x86|x64 -DSTAGE=folder-with-the-files -DICON=grabotine.ico
;         -DOUTFILE=setup.exe -DPUBLISHER=name [-DSIGN=command] (the command signs the file named
;         last on its line in place); packaging/metadata.json holds the publisher's name
; The x64 installer is a 64-bit program itself: it installs into the 64-bit Program Files and
; registry view, and replaces an earlier 32-bit install of the same kind.
!if "${ARCH}" == "x64"
Target amd64-unicode
!else
Unicode true
!endif
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define NAME "Grabotine"
; Class and title of the program's one window: a close request to it stores the settings and ends it.
!define WINDOW "${NAME} v. ${VERSION}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${NAME}"
!define SYNCHRONIZE 0x00100000
!define KEYBOARD_KEY "Control Panel\Keyboard"

!include MUI2.nsh
!include nsDialogs.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include x64.nsh

Name "${NAME} ${VERSION}"
OutFile "${OUTFILE}"
; The folder is chosen in .onInit: the earlier install's, or the default of the install's kind.
BrandingText "${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0.0"
VIAddVersionKey /LANG=1033 "ProductName" "${NAME}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "FileDescription" "${NAME} ${VERSION} Setup"
VIAddVersionKey /LANG=1033 "CompanyName" "${PUBLISHER}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright (C) 2026 The Grabotine developers"

!ifdef SIGN
!finalize '${SIGN} "%1"' = 0
!uninstfinalize '${SIGN} "%1"' = 0
!endif

Var AutoStart     ; BST_CHECKED: a shortcut in the Startup folder
Var AutoStartBox
Var WasRunning    ; 1 once a running copy was closed
Var Admin         ; 1 when Setup runs with administrator rights
Var AllUsers      ; 1: for every user of the machine; 0: for the user running Setup
Var FolderGiven   ; 1 when the command line named the folder (/D=)
Var AllUsersBox
Var Old32Folder   ; x64: the folder of an earlier 32-bit install for all users, to be replaced
Var Old32Version  ; and its version
Var PrintScreen   ; BST_CHECKED: Print Screen is Grabotine's, not Windows' screen snip's
Var PrintScreenBox

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING
!define MUI_WELCOMEPAGE_TEXT "Setup will install ${NAME} ${VERSION} for you alone: it needs no \
administrator rights. Started as an administrator, it can install it for all users of this \
computer.$\r$\n$\r$\nIf ${NAME} is running, Setup closes it first. Your settings \
and captures are kept.$\r$\n$\r$\nClick Next to continue."
!define MUI_FINISHPAGE_RUN "$INSTDIR\Grabotine.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${NAME} now"

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${STAGE}/License.txt"
Page custom UsersPage UsersPageLeave
!insertmacro MUI_PAGE_DIRECTORY
Page custom SignInPage SignInPageLeave
!insertmacro MUI_PAGE_INSTFILES
; Setup that runs as an administrator starts nothing: a program it started would have that
; account's rights (and be out of reach of the user's next Setup), and for all users it would not
; even be the signed-in user's. The Startup shortcut or the Start menu starts it.
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FinishPageShow
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

; REFUSE: says why Setup cannot go on (a silent run only ends) and ends it with exit code 2.
!macro REFUSE reason
  MessageBox MB_OK|MB_ICONSTOP "${reason}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

Function FinishPageShow
  ${If} $Admin == 1
    SendMessage $mui.FinishPage.Run ${BM_SETCHECK} ${BST_UNCHECKED} 0
    ShowWindow $mui.FinishPage.Run ${SW_HIDE}
    ${NSD_SetText} $mui.FinishPage.Text "${NAME} ${VERSION} is installed.$\r$\n$\r$\nSetup ran \
with administrator rights, which a ${NAME} it started would have too, so it starts none: \
choose ${NAME} in the Start menu to start it now."
  ${EndIf}
FunctionEnd

; InstallFor: takes the kind of install in $AllUsers: the shell folders and registry of that kind,
; the earlier install's folder (unless /D= named one) and its sign-in choice (unless the command
; line made it). Sets $0 to the reason this install cannot go ahead, or "".
Function InstallFor
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ReadRegStr $1 SHCTX "${UNINSTALL_KEY}" "InstallLocation"
  ; x64: an install for all users of the 32-bit program is in the 32-bit registry view and
  ; Program Files (x86); this one replaces it (a user's own install is in the same place for
  ; both programs).
  StrCpy $Old32Folder ""
  StrCpy $Old32Version ""
!if "${ARCH}" == "x64"
  ${If} $AllUsers == 1
  ${AndIf} $1 == ""
    SetRegView 32
    ReadRegStr $Old32Folder HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $Old32Version HKLM "${UNINSTALL_KEY}" "DisplayVersion"
    SetRegView 64
    ${If} $Old32Folder != ""
      StrCpy $1 "$PROGRAMFILES64\${NAME}"
    ${EndIf}
  ${EndIf}
!endif
  ${If} $FolderGiven != 1
    ${If} $1 != ""
      StrCpy $INSTDIR $1
    ${ElseIf} $AllUsers == 1
!if "${ARCH}" == "x64"
      StrCpy $INSTDIR "$PROGRAMFILES64\${NAME}"
!else
      StrCpy $INSTDIR "$PROGRAMFILES\${NAME}"
!endif
    ${Else}
      StrCpy $INSTDIR "$LOCALAPPDATA\Programs\${NAME}"
    ${EndIf}
  ${EndIf}

  ; An upgrade keeps the Startup shortcut as the earlier install or the user left it.
  StrCpy $AutoStart ${BST_CHECKED}
  ${If} $1 != ""
  ${AndIfNot} ${FileExists} "$SMSTARTUP\${NAME}.lnk"
    StrCpy $AutoStart ${BST_UNCHECKED}
  ${EndIf}
  ${GetParameters} $2
  ClearErrors
  ${GetOptions} $2 "/NOAUTOSTART" $3
  ${IfNot} ${Errors}
    StrCpy $AutoStart ${BST_UNCHECKED}
  ${EndIf}
  ClearErrors
  ${GetOptions} $2 "/AUTOSTART" $3
  ${IfNot} ${Errors}
    StrCpy $AutoStart ${BST_CHECKED}
  ${EndIf}
  ; Print Screen is a setting of the user's own Windows: only an install for one user takes it.
  StrCpy $PrintScreen ${BST_UNCHECKED}
  ${If} $AllUsers != 1
    ClearErrors
    ReadRegStr $3 HKCU "${UNINSTALL_KEY}" "PrintScreenBefore"
    ${IfNot} ${Errors}
      StrCpy $PrintScreen ${BST_CHECKED}
    ${EndIf}
    ClearErrors
    ${GetOptions} $2 "/PRINTSCREEN" $3
    ${IfNot} ${Errors}
      StrCpy $PrintScreen ${BST_CHECKED}
    ${EndIf}
  ${EndIf}

  ; One machine has either one install for all users or installs for single users: both would
  ; put two entries in the Start menu and start two copies at sign-in.
  StrCpy $0 ""
  ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
  ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
!if "${ARCH}" == "x64"
  ; An install for all users of the 32-bit program counts as one, whoever runs Setup.
  ${If} $2 == ""
    SetRegView 32
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView 64
  ${EndIf}
!endif
!if "${ARCH}" != "x64"
  ; On 64-bit Windows the x64 program's install for all users is in the other registry view:
  ; this installer would put a second copy beside it.
  ${If} ${RunningX64}
    SetRegView 64
    ReadRegStr $3 HKLM "${UNINSTALL_KEY}" "InstallLocation"
    SetRegView 32
    ${If} $3 != ""
      StrCpy $0 "${NAME} for 64-bit Windows is installed for all users of this computer in \
$3. An administrator upgrades it with Grabotine-${VERSION}-x64-setup.exe."
      Return
    ${EndIf}
  ${EndIf}
!endif
  ${If} $AllUsers == 1
    ${If} $Admin != 1
      StrCpy $0 "Installing ${NAME} for all users needs administrator rights: start Setup as \
an administrator."
    ${ElseIf} $1 != ""
      StrCpy $0 "${NAME} is installed for you alone in $1. Remove it first (Settings, Apps), \
then install it for all users."
    ${EndIf}
  ${ElseIf} $2 != ""
    StrCpy $0 "${NAME} is installed for all users of this computer in $2. An administrator \
upgrades or removes it."
  ${EndIf}
FunctionEnd

Function .onInit
!if "${ARCH}" == "x64"
  ${IfNot} ${RunningX64}
    !insertmacro REFUSE "This is ${NAME} for 64-bit Windows, and this Windows is 32-bit: \
install Grabotine-${VERSION}-x86-setup.exe instead."
  ${EndIf}
  SetRegView 64
!endif
  StrCpy $WasRunning 0
  ; /D= is the only way $INSTDIR has a value this early.
  StrCpy $FolderGiven 0
  ${If} $INSTDIR != ""
    StrCpy $FolderGiven 1
  ${EndIf}
  StrCpy $Admin 0
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 == "Admin"
    StrCpy $Admin 1
  ${EndIf}

  ; Without /ALLUSERS an administrator upgrades the install for all users when that is the one
  ; there is.
  StrCpy $AllUsers 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/ALLUSERS" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${ElseIf} $Admin == 1
    ReadRegStr $1 HKCU "${UNINSTALL_KEY}" "InstallLocation"
    ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
!if "${ARCH}" == "x64"
    ${If} $2 == ""
      SetRegView 32
      ReadRegStr $2 HKLM "${UNINSTALL_KEY}" "InstallLocation"
      SetRegView 64
    ${EndIf}
!endif
    ${If} $1 == ""
    ${AndIf} $2 != ""
      StrCpy $AllUsers 1
    ${EndIf}
  ${EndIf}
  Call InstallFor
  ${If} $0 != ""
    !insertmacro REFUSE "$0"
  ${EndIf}
FunctionEnd

; Only an administrator has the choice.
Function UsersPage
  ${If} $Admin != 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Choose Users" "Install ${NAME} for you alone or for everyone."
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateRadioButton} 0 0 100% 12u "Only for &me"
  Pop $0
  ${NSD_CreateRadioButton} 0 16u 100% 12u "For &all users of this computer"
  Pop $AllUsersBox
  ${If} $AllUsers == 1
    ${NSD_Check} $AllUsersBox
  ${Else}
    ${NSD_Check} $0
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function UsersPageLeave
  ${NSD_GetState} $AllUsersBox $0
  ${If} $0 == ${BST_CHECKED}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call InstallFor
  ${If} $0 != ""
    MessageBox MB_OK|MB_ICONSTOP "$0"
    Abort
  ${EndIf}
FunctionEnd

Function SignInPage
  !insertmacro MUI_HEADER_TEXT "Start with Windows" \
    "${NAME} waits in the notification area, ready for a capture."
  nsDialogs::Create 1018
  Pop $0
  ${If} $AllUsers == 1
    ${NSD_CreateCheckbox} 0 0 100% 12u "Start ${NAME} when anyone signs in"
  ${Else}
    ${NSD_CreateCheckbox} 0 0 100% 12u "Start ${NAME} when I sign in"
  ${EndIf}
  Pop $AutoStartBox
  ${NSD_SetState} $AutoStartBox $AutoStart
  ${If} $AllUsers != 1
    ${NSD_CreateCheckbox} 0 24u 100% 12u "Use Print Screen for ${NAME}"
    Pop $PrintScreenBox
    ${NSD_SetState} $PrintScreenBox $PrintScreen
    ${NSD_CreateLabel} 12u 38u -12u 36u "Windows 11 keeps the Print Screen key for its own \
screen snip. Ticked, Setup gives the key to ${NAME} (for you only); removing ${NAME} gives \
Windows its setting back."
    Pop $0
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function SignInPageLeave
  ${NSD_GetState} $AutoStartBox $AutoStart
  ${If} $AllUsers != 1
    ${NSD_GetState} $PrintScreenBox $PrintScreen
  ${EndIf}
FunctionEnd

; The value of PrintScreenKeyForSnippingEnabled found before Setup took the key ("absent" when
; there was none) is kept in the install's entry, and given back when the key is let go.
!macro RESTORE_PRINTSCREEN before
  ${If} ${before} == "absent"
    DeleteRegValue HKCU "${KEYBOARD_KEY}" "PrintScreenKeyForSnippingEnabled"
  ${Else}
    WriteRegDWORD HKCU "${KEYBOARD_KEY}" "PrintScreenKeyForSnippingEnabled" ${before}
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:${KEYBOARD_KEY}" /TIMEOUT=1000
!macroend

; TakePrintScreen: gives the key to Grabotine, or back to Windows, as $PrintScreen says; only
; for an install for one user.
Function TakePrintScreen
  ClearErrors
  ReadRegStr $0 HKCU "${UNINSTALL_KEY}" "PrintScreenBefore"
  ${If} $PrintScreen == ${BST_CHECKED}
    ${If} ${Errors}
      ClearErrors
      ReadRegDWORD $0 HKCU "${KEYBOARD_KEY}" "PrintScreenKeyForSnippingEnabled"
      ${If} ${Errors}
        StrCpy $0 "absent"
      ${EndIf}
      WriteRegStr HKCU "${UNINSTALL_KEY}" "PrintScreenBefore" $0
    ${EndIf}
    WriteRegDWORD HKCU "${KEYBOARD_KEY}" "PrintScreenKeyForSnippingEnabled" 0
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:${KEYBOARD_KEY}" /TIMEOUT=1000
  ${ElseIfNot} ${Errors}
    !insertmacro RESTORE_PRINTSCREEN $0
    DeleteRegValue HKCU "${UNINSTALL_KEY}" "PrintScreenBefore"
  ${EndIf}
FunctionEnd

Section
  ; An older release that still runs has its own version in its window's title.
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "DisplayVersion"
  ${If} $0 != ""
  ${AndIf} $0 != "${VERSION}"
    Push "${NAME} v. $0"
    Call CloseRunning
  ${EndIf}
  ${If} $Old32Version != ""
  ${AndIf} $Old32Version != "${VERSION}"
    Push "${NAME} v. $Old32Version"
    Call CloseRunning
  ${EndIf}
  Push "${WINDOW}"
  Call CloseRunning

  ; The 32-bit install this one replaces: its files, its folder and its entry in the 32-bit
  ; view go; the shortcuts of the same names are written again below.
  ${If} $Old32Folder != ""
    ; A copy running in another session holds its program: then it stays whole, entry and all,
    ; and this install does not happen, since nothing could remove those files later.
    Delete "$Old32Folder\Grabotine.exe"
    ${If} ${FileExists} "$Old32Folder\Grabotine.exe"
      MessageBox MB_OK|MB_ICONSTOP "${NAME} $Old32Version in $Old32Folder is running, perhaps \
in another user's session, and its files cannot be replaced. End it there (Exit in its icon's \
menu), then run Setup again. Nothing was installed." /SD IDOK
      SetErrorLevel 2
      Abort "${NAME} $Old32Version is still running."
    ${EndIf}
    Delete "$Old32Folder\NViewLib.dll"
    Delete "$Old32Folder\grabotine.htm"
    Delete "$Old32Folder\License.txt"
    Delete "$Old32Folder\Uninstall.exe"
    Delete "$Old32Folder\Uninstall.dat"
    RMDir "$Old32Folder"
!if "${ARCH}" == "x64"
    SetRegView 32
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
    SetRegView 64
!endif
  ${EndIf}

  SetOutPath "$INSTDIR"
  File "${STAGE}/Grabotine.exe"
  File "${STAGE}/NViewLib.dll"
  File "${STAGE}/grabotine.htm"
  File "${STAGE}/License.txt"
  ; Uninstall.exe runs the uninstaller proper, Uninstall.dat, and waits for it (uninstall.cpp).
  File "${STAGE}/Uninstall.exe"
  WriteUninstaller "$INSTDIR\Uninstall.dat"

  ; Shortcuts start the program in its own folder, which its user can write; the folder in
  ; Program Files is not, so there each user's profile (the folder Setup starts it in, too:
  ; shortcuts take $OUTDIR, programs the current folder).
  ${If} $AllUsers == 1
    SetOutPath "$PROFILE"
    StrCpy $OUTDIR "%USERPROFILE%"
  ${EndIf}
  CreateShortcut "$SMPROGRAMS\${NAME}.lnk" "$INSTDIR\Grabotine.exe"
  ${If} $AutoStart == ${BST_CHECKED}
    CreateShortcut "$SMSTARTUP\${NAME}.lnk" "$INSTDIR\Grabotine.exe"
  ${Else}
    Delete "$SMSTARTUP\${NAME}.lnk"
  ${EndIf}

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${NAME}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Grabotine.exe,0"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  SectionGetSize 0 $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${If} $AllUsers != 1
    Call TakePrintScreen
  ${EndIf}
SectionEnd

; A silent upgrade for one user gives back the running program it closed; the finish page offers it
; otherwise. Setup as an administrator starts nothing (see FinishPageShow).
Function .onInstSuccess
  ${If} ${Silent}
  ${AndIf} $WasRunning == 1
  ${AndIf} $Admin != 1
    Exec '"$INSTDIR\Grabotine.exe"'
  ${EndIf}
FunctionEnd

; The install for all users is the one whose folder is this uninstaller's; only an administrator
; removes it (asked for the rights when a user starts it).
Function un.onInit
!if "${ARCH}" == "x64"
  SetRegView 64
!endif
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ; Either path may come in its short form.
  GetFullPathName /SHORT $0 $0
  GetFullPathName /SHORT $1 $INSTDIR
  ${If} $0 != ""
  ${AndIf} $0 == $1
    SetShellVarContext all
    UserInfo::GetAccountType
    Pop $0
    ${If} $0 != "Admin"
      ${IfNot} ${Silent}
        ExecShell "runas" "$INSTDIR\Uninstall.exe"
        Quit
      ${EndIf}
      !insertmacro REFUSE "Removing ${NAME} for all users needs administrator rights."
    ${EndIf}
  ${EndIf}
FunctionEnd

; A removal that did not happen ends with exit code 2.
Function un.onUninstFailed
  SetErrorLevel 2
FunctionEnd

; The user's data stays: the settings file and captures, even those saved into this folder.
Section Uninstall
  Push "${WINDOW}"
  Call un.CloseRunning
  ; A copy running in another session holds the program: then nothing is removed, and the entry
  ; in Settings, Apps stays, since the removal did not happen.
  Delete "$INSTDIR\Grabotine.exe"
  ${If} ${FileExists} "$INSTDIR\Grabotine.exe"
    MessageBox MB_OK|MB_ICONSTOP "${NAME} is running, perhaps in another user's session, and \
its files cannot be removed. End it there (Exit in its icon's menu), then remove ${NAME} again." \
      /SD IDOK
    Abort "${NAME} is still running."
  ${EndIf}
  Delete "$INSTDIR\NViewLib.dll"
  Delete "$INSTDIR\grabotine.htm"
  Delete "$INSTDIR\License.txt"
  Delete "$INSTDIR\Uninstall.dat"
  ; Uninstall.exe runs while it waits for this copy: a running program cannot be deleted, but
  ; it can be moved (on the same drive) out of the folder, into the temporary one that goes
  ; with this copy; else it and the folder go at the next restart.
  Delete "$INSTDIR\Uninstall.exe"
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    InitPluginsDir
    Rename "$INSTDIR\Uninstall.exe" "$PLUGINSDIR\Uninstall.exe"
  ${EndIf}
  ${If} ${FileExists} "$INSTDIR\Uninstall.exe"
    Delete /REBOOTOK "$INSTDIR\Uninstall.exe"
    RMDir /REBOOTOK "$INSTDIR"
  ${Else}
    RMDir "$INSTDIR"
  ${EndIf}
  Delete "$SMPROGRAMS\${NAME}.lnk"
  Delete "$SMSTARTUP\${NAME}.lnk"
  ClearErrors
  ReadRegStr $0 SHCTX "${UNINSTALL_KEY}" "PrintScreenBefore"
  ${IfNot} ${Errors}
    !insertmacro RESTORE_PRINTSCREEN $0
  ${EndIf}
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd

