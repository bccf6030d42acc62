; The Windows installer of the Tallwatch agent: twnt-<version>-setup.exe.
;
; Installs twnt.exe, twrecv.exe (and twntcfg.exe when it is built) into
; Program Files\Tallwatch, has the agent create its service and settings
; (twnt.exe -install DISPLAY FQDN PORT, or twnt.exe -upgrade over an existing
; installation, whose settings stay) and starts the service. The display
; servers, the FQDN choice and the port come from a page of their own, or in
; silent mode from the command line:
;
;   twnt-5.01-setup.exe /S /DISPLAY=host[;host2...] [/FQDN=Y|N] [/PORT=n]
;
; Exit codes: 0 done; 1 cancelled; 2 wrong or missing options or not an
; administrator (nothing changed), or the programs could not be written (a
; new installation is taken back, an upgrade's service runs the earlier
; program again); 3 the agent's install or upgrade command failed (a new
; installation is taken back); 4 installed, but the service did not start.
;
; Built by the Windows build's target "installer":
;   makensis -DTW_VERSION=5.01 -DTW_OUT_FILE=... -DTW_TWNT_EXE=... -DTW_TWRECV_EXE=...
;            [-DTW_TWNTCFG_EXE=...] [-DTW_AMD64] twnt.nsi
; TW_AMD64 makes the 64-bit installer of the 64-bit build (the checks on
; machines that cannot execute 32-bit code). It keeps to the registry's
; 32-bit view, as the product's 32-bit installer does on 64-bit Windows.

!ifdef TW_AMD64
  Target amd64-unicode
!else
  Unicode true
!endif
!include LogicLib.nsh
!include FileFunc.nsh
!include nsDialogs.nsh
!include MUI2.nsh

!macro _Require NAME
  !ifndef ${NAME}
    !error "define ${NAME} (makensis -D${NAME}=...)"
  !endif
!macroend
!insertmacro _Require TW_VERSION
!insertmacro _Require TW_OUT_FILE
!insertmacro _Require TW_TWNT_EXE
!insertmacro _Require TW_TWRECV_EXE

!define PRODUCT "Tallwatch Professional Edition Client"
!define SERVICE "TallwatchClient"
!define SETTINGS_KEY "SOFTWARE\Orvane Software\Tallwatch\twnt"
!define OLD_SETTINGS_KEY "SOFTWARE\Tallwatch\twnt"
; The agent's -remove counts the uninstall entries named like the product:
; this installer makes exactly one.
!define UNINST_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define EDITOR_LINK "$SMPROGRAMS\Tallwatch\Tallwatch Client Configuration Editor.lnk"
!define SETUP_NAME "twnt-${TW_VERSION}-setup"
; twnt joins its arguments into a 255-character command line.
!define MAX_COMMAND_LINE 255

Name "${PRODUCT} ${TW_VERSION}"
OutFile "${TW_OUT_FILE}"
InstallDir "$PROGRAMFILES\Tallwatch"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
AllowSkipFiles off
ShowInstDetails show
ShowUninstDetails show
BrandingText "Orvane Software"

VIProductVersion "5.1.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${TW_VERSION}"
VIAddVersionKey "FileVersion" "${TW_VERSION}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${TW_VERSION} Setup"
VIAddVersionKey "CompanyName" "Orvane Software"
VIAddVersionKey "LegalCopyright" "Orvane Software"

Var Display
Var Fqdn
Var Port
Var Upgrade
Var DisplayField
Var FqdnBox
Var PortField

!define MUI_ABORTWARNING
Page custom SettingsPage SettingsLeave
!define MUI_PAGE_CUSTOMFUNCTION_PRE SkipOnUpgrade
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; ---- messages ---------------------------------------------------------------

; Tells the person or the deployment tool what went wrong: a message box
; when there is a window, and the console (or redirected standard error) of
; whoever started the installer, which is all a silent run has.
!macro _TellError MSG
  Push "${MSG}"
  Call TellError
!macroend
!define TellError "!insertmacro _TellError"

Function TellError
  Exch $R0
  Push $R1
  Push $R2
  MessageBox MB_OK|MB_ICONSTOP "$R0" /SD IDOK
  System::Call 'kernel32::GetStdHandle(i -12) p .R1'
  ${If} $R1 P= 0
  ${OrIf} $R1 P= -1
    System::Call 'kernel32::AttachConsole(i -1)'
    System::Call 'kernel32::GetStdHandle(i -12) p .R1'
  ${EndIf}
  ${If} $R1 P<> 0
  ${AndIf} $R1 P<> -1
    StrCpy $R0 "${SETUP_NAME}: $R0$\r$\n"
    StrLen $R2 $R0
    System::Call 'kernel32::WriteFile(p R1, m R0, i R2, *i .R2, p 0)'
  ${EndIf}
  Pop $R2
  Pop $R1
  Pop $R0
FunctionEnd

; Ends the installer before it changed anything.
!macro _Refuse MSG
  ${TellError} "${MSG}"
  SetErrorLevel 2
  Quit
!macroend
!define Refuse "!insertmacro _Refuse"

; ---- checks -------------------------------------------------------------------

; Whether KEY (under HKLM) has a subkey TWDISPLAY, in any letter case: the
; agent's own test of an existing installation. Pushes 1 or 0.
Function HasDisplaySetting
  Exch $R0
  Push $R1
  Push $R2
  StrCpy $R1 0
  ${Do}
    ClearErrors
    EnumRegKey $R2 HKLM "$R0" $R1
    ${If} ${Errors}
    ${OrIf} $R2 == ""
      StrCpy $R2 0
      ${Break}
    ${EndIf}
    ${If} $R2 == "TWDISPLAY"
      StrCpy $R2 1
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 + 1
  ${Loop}
  StrCpy $R0 $R2
  Pop $R2
  Pop $R1
  Exch $R0
FunctionEnd

; Checks $Display, $Fqdn and $Port as twnt -install will read them and
; normalises FQDN to Y or N. Pushes an error text, or "" when they are fine.
Function CheckSettings
  Push $R0
  Push $R1
  ${If} $Display == ""
    StrCpy $R0 "No display server given: the agent needs one (/DISPLAY=host in a silent installation)."
    Goto done
  ${EndIf}
  ; twnt takes its parameters as blank-separated words.
  StrCpy $R1 0
  ${Do}
    StrCpy $R0 $Display 1 $R1
    ${If} $R0 == ""
      ${Break}
    ${EndIf}
    ${If} $R0 == " "
    ${OrIf} $R0 == "$\t"
    ${OrIf} $R0 == '"'
      StrCpy $R0 "The display servers must not contain blanks or quotes (separate them with ;): $Display"
      Goto done
    ${EndIf}
    IntOp $R1 $R1 + 1
  ${Loop}
  ; == ignores case: store the letter in upper case, as the agent documents it.
  ${If} $Fqdn == "Y"
    StrCpy $Fqdn "Y"
  ${ElseIf} $Fqdn == "N"
    StrCpy $Fqdn "N"
  ${Else}
    StrCpy $R0 "FQDN must be Y or N, not $Fqdn."
    Goto done
  ${EndIf}
  ; Only a plain decimal number reads back as itself.
  IntOp $R1 $Port + 0
  ${If} "$R1" != "$Port"
  ${OrIf} $R1 < 1
  ${OrIf} $R1 > 65535
    StrCpy $R0 "The port must be a number from 1 to 65535, not $Port."
    Goto done
  ${EndIf}
  StrCpy $R0 "-install $Display $Fqdn $Port "
  StrLen $R1 $R0
  ${If} $R1 > ${MAX_COMMAND_LINE}
    StrCpy $R0 "The display servers are too long for the agent's command line ($R1 characters, at most ${MAX_COMMAND_LINE})."
    Goto done
  ${EndIf}
  StrCpy $R0 ""
done:
  Pop $R1
  Exch $R0
FunctionEnd

Function .onInit
  SetShellVarContext all
!ifdef TW_AMD64
  SetRegView 32
!endif
  UserInfo::GetAccountType
  Pop $R0
  ${If} $R0 != "Admin"
    ${Refuse} "Installing the service needs an administrator."
  ${EndIf}

  ; An existing installation: its settings stay, the agent upgrades them.
  Push "${SETTINGS_KEY}"
  Call HasDisplaySetting
  Pop $Upgrade
  ${If} $Upgrade == 0
    Push "${OLD_SETTINGS_KEY}"
    Call HasDisplaySetting
    Pop $Upgrade
  ${EndIf}
  ReadRegStr $R0 HKLM "${UNINST_KEY}" "InstallLocation"
  ${If} $R0 != ""
    StrCpy $INSTDIR $R0
  ${EndIf}

  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/DISPLAY=" $Display
  ${GetOptions} $R0 "/FQDN=" $Fqdn
  ${If} ${Errors}
  ${OrIf} $Fqdn == ""
    StrCpy $Fqdn "Y"
  ${EndIf}
  ClearErrors
  ${GetOptions} $R0 "/PORT=" $Port
  ${If} ${Errors}
  ${OrIf} $Port == ""
    StrCpy $Port "1984"
  ${EndIf}

  ${If} ${Silent}
  ${AndIf} $Upgrade == 0
    Call CheckSettings
    Pop $R0
    ${If} $R0 != ""
      ${Refuse} "$R0"
    ${EndIf}
  ${EndIf}
FunctionEnd

; ---- pages --------------------------------------------------------------------

Function SettingsPage
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
  !insertmacro MUI_HEADER_TEXT "Display servers" "Where the agent sends its status reports."
  nsDialogs::Create 1018
  Pop $R0
  ${If} $R0 == error
    Abort
  ${EndIf}
  ${NSD_CreateLabel} 0 0 100% 30u "The display servers that receive the agent's reports: host, host:port or [IPv6]:port, several separated by ; (the same servers receive the pages)."
  Pop $R0
  ${NSD_CreateLabel} 0 38u 30% 12u "Display servers"
  Pop $R0
  ${NSD_CreateText} 32% 36u 68% 12u "$Display"
  Pop $DisplayField
  ${NSD_CreateCheckbox} 0 56u 100% 12u "Report under the full computer name (FQDN)"
  Pop $FqdnBox
  ${If} $Fqdn == "Y"
    ${NSD_Check} $FqdnBox
  ${EndIf}
  ${NSD_CreateLabel} 0 76u 30% 12u "Port"
  Pop $R0
  ${NSD_CreateNumber} 32% 74u 20% 12u "$Port"
  Pop $PortField
  ${NSD_CreateLabel} 32% 90u 68% 12u "for display servers given without one"
  Pop $R0
  ${NSD_SetFocus} $DisplayField
  nsDialogs::Show
FunctionEnd

Function SettingsLeave
  ${NSD_GetText} $DisplayField $Display
  ${NSD_GetText} $PortField $Port
  ${NSD_GetState} $FqdnBox $R0
  ${If} $R0 == ${BST_CHECKED}
    StrCpy $Fqdn "Y"
  ${Else}
    StrCpy $Fqdn "N"
  ${EndIf}
  Call CheckSettings
  Pop $R0
  ${If} $R0 != ""
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0"
    Abort
  ${EndIf}
FunctionEnd

Function SkipOnUpgrade
  ${If} $Upgrade == 1
    Abort
  ${EndIf}
FunctionEnd

; ---- install -------------------------------------------------------------------

; Runs "$INSTDIR\twnt.exe ARGS", its output in the details; pushes its exit code.
!macro _Twnt ARGS
  DetailPrint "twnt.exe ${ARGS}"
  nsExec::ExecToLog '"$INSTDIR\twnt.exe" ${ARGS}'
!macroend
!define Twnt "!insertmacro _Twnt"

Function RemoveFiles
  Delete "$INSTDIR\twnt.exe"
  Delete "$INSTDIR\twrecv.exe"
  Delete "$INSTDIR\twntcfg.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINST_KEY}"
FunctionEnd

Section "-Agent"
  SetOutPath "$INSTDIR"
  ${If} $Upgrade == 1
    DetailPrint "Upgrading: the settings stay as they are."
    nsExec::ExecToLog '"$SYSDIR\net.exe" stop ${SERVICE}'
    Pop $R0
    ; The service reports itself stopped at once, but its process lets go of
    ; the program only when the test in progress ends: wait for that (at
    ; most 30 s) rather than fail the upgrade. A program still held after
    ; that is in use by something else and is reported below.
    StrCpy $R1 0
    ${Do}
      ClearErrors
      FileOpen $R2 "$INSTDIR\twnt.exe" a
      ${IfNot} ${Errors}
        FileClose $R2
        ${Break}
      ${EndIf}
      IntOp $R1 $R1 + 1
      ${If} $R1 >= 30
        ${Break}
      ${EndIf}
      Sleep 1000
    ${Loop}
  ${EndIf}
  ; A program that cannot be replaced (in use, read-only) is reported below
  ; rather than in a retry box that a silent installation cannot answer.
  SetOverwrite try
  ClearErrors
  File "/oname=twnt.exe" "${TW_TWNT_EXE}"
  File "/oname=twrecv.exe" "${TW_TWRECV_EXE}"
!ifdef TW_TWNTCFG_EXE
  File "/oname=twntcfg.exe" "${TW_TWNTCFG_EXE}"
!endif
  WriteUninstaller "$INSTDIR\uninstall.exe"
  ${If} ${Errors}
    ${If} $Upgrade == 1
      ; The service's own program could not be replaced: it starts again.
      nsExec::ExecToLog '"$SYSDIR\net.exe" start ${SERVICE}'
      Pop $R0
      ${TellError} "Could not write the programs into $INSTDIR (in use or read-only); the agent was not upgraded."
    ${Else}
      Call RemoveFiles
      ${TellError} "Could not write the programs into $INSTDIR (in use or read-only); nothing was installed."
    ${EndIf}
    SetErrorLevel 2
    Abort
  ${EndIf}
  ; Whatever is on the disk from here on can be uninstalled.
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayName" "${PRODUCT} ${TW_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayVersion" "${TW_VERSION}"
  WriteRegStr HKLM "${UNINST_KEY}" "Publisher" "Orvane Software"
  WriteRegStr HKLM "${UNINST_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINST_KEY}" "DisplayIcon" "$INSTDIR\twnt.exe"
  WriteRegStr HKLM "${UNINST_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINST_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINST_KEY}" "NoRepair" 1

  ${If} $Upgrade == 1
    ${Twnt} "-upgrade"
  ${Else}
    ${Twnt} "-install $Display $Fqdn $Port"
  ${EndIf}
  Pop $R0
  ${If} $R0 != 0
    ${If} $Upgrade == 1
      ${TellError} "twnt.exe -upgrade failed (exit code $R0); see the details above."
    ${Else}
      ${TellError} "twnt.exe -install failed (exit code $R0); nothing was installed."
      Call RemoveFiles
    ${EndIf}
    SetErrorLevel 3
    Abort
  ${EndIf}

!ifdef TW_TWNTCFG_EXE
  CreateDirectory "$SMPROGRAMS\Tallwatch"
  CreateShortcut "${EDITOR_LINK}" "$INSTDIR\twntcfg.exe"
!endif

  ${Twnt} "-start"
  Pop $R0
  ${If} $R0 != 0
    ${TellError} "The agent is installed, but its service did not start (exit code $R0)."
    SetErrorLevel 4
  ${EndIf}
SectionEnd

; ---- uninstall -------------------------------------------------------------------

Function un.onInit
  SetShellVarContext all
!ifdef TW_AMD64
  SetRegView 32
!endif
FunctionEnd

Section "Uninstall"
  ; Stops and deletes the service and deletes every setting.
  DetailPrint "twnt.exe -remove"
  nsExec::ExecToLog '"$INSTDIR\twnt.exe" -remove'
  Pop $R0
  ; The stopped service's process may take a moment to let go of its program.
  StrCpy $R1 0
  ${Do}
    Delete "$INSTDIR\twnt.exe"
    ${IfNot} ${FileExists} "$INSTDIR\twnt.exe"
      ${Break}
    ${EndIf}
    IntOp $R1 $R1 + 1
    ${If} $R1 >= 30
      Delete /REBOOTOK "$INSTDIR\twnt.exe"
      ${Break}
    ${EndIf}
    Sleep 1000
  ${Loop}
  Delete "$INSTDIR\twrecv.exe"
  Delete "$INSTDIR\twntcfg.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "${EDITOR_LINK}"
  RMDir "$SMPROGRAMS\Tallwatch"
  DeleteRegKey HKLM "${UNINST_KEY}"
  ; The vendor's keys above the settings, when nothing else lives there.
  DeleteRegKey /ifempty HKLM "SOFTWARE\Orvane Software\Tallwatch"
  DeleteRegKey /ifempty HKLM "SOFTWARE\Orvane Software"
SectionEnd
