; Card Reader Kit setup: installs, upgrades and removes the kit.
;
; One 32-bit setup for every supported Windows. On 32-bit Windows it
; installs the 32-bit programs; on 64-bit Windows the 64-bit ones, to the
; 64-bit Program Files and with the registry written in the 64-bit view,
; since 64-bit Windows refuses driver installation from a 32-bit program.
;
; The build passes:
;   KIT_VERSION    the kit's version (x.y.z)
;   KIT_OUTFILE    the setup's path
;   KIT_WIN32_DIR  the 32-bit programs
;   KIT_WIN64_DIR  the 64-bit programs
;   KIT_ICON_DIR   the card icons and the programs' icon
;   KIT_TEXT_DIR   readme.txt, with CRLF line ends
;
; Command line: /S silent, /NOSTART start nothing at the end, /D=folder
; (last, unquoted) install there. Without /D= an upgrade stays in the folder
; the kit was installed to; with it, the kit moves there.
; Exit codes: 0 done; 1 cancelled by the user; 2 refused (no administrator,
; Windows older than 2000, a Windows folder too long for the programs) or
; stopped by an error; 3010 done, but a program could not be stopped or a
; file was in use: Windows must restart to finish.
;
; What an earlier setup or uninstallation left for the next restart on the
; kit's files (a replacement's rename, a deletion) is taken back before
; anything is written, so that the restart never undoes a later run.

Unicode true
Target x86-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel admin

!include LogicLib.nsh
!include x64.nsh
!include WinVer.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include MUI2.nsh
!include WordFunc.nsh

!define KitName "Card Reader Kit"
!define KitPublisher "Card Reader Kit Project"
!define UninstallKey "Software\Microsoft\Windows\CurrentVersion\Uninstall\CardReaderKit"
!define RunKey "Software\Microsoft\Windows\CurrentVersion\Run"
!define SettingsKey "Software\BrindIco"
!define DrivesKey "Applications\Explorer.exe\Drives"
!define StartMenuFolder "$SMPROGRAMS\${KitName}"
; How long a program gets to end once its window was closed.
!define StopDeadline 20000
!define SYNCHRONIZE 0x00100000
!define ERROR_SUCCESS_REBOOT_REQUIRED 3010
; Where Windows keeps the renames and deletions that wait for a restart.
!define SessionManagerKey "SYSTEM\CurrentControlSet\Control\Session Manager"
!define HKEY_LOCAL_MACHINE 0x80000002
!define KEY_QUERY_VALUE 1
!define KEY_SET_VALUE 2
!define REG_MULTI_SZ 7

Name "${KitName} ${KIT_VERSION}"
OutFile "${KIT_OUTFILE}"
; No InstallDir: $INSTDIR is then empty in .onInit unless /D= named a
; folder, which is how .onInit tells the two apart.
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${KIT_VERSION}.0"
VIAddVersionKey /LANG=1033 ProductName "${KitName}"
VIAddVersionKey /LANG=1033 ProductVersion "${KIT_VERSION}"
VIAddVersionKey /LANG=1033 FileVersion "${KIT_VERSION}"
VIAddVersionKey /LANG=1033 FileDescription "${KitName} setup"
VIAddVersionKey /LANG=1033 CompanyName "${KitPublisher}"
VIAddVersionKey /LANG=1033 LegalCopyright "${KitPublisher}"

Var NoStart       ; 1: /NOSTART
Var StopClass     ; in: the window class StopProgramsOfClass stops
Var StopName      ; the program of $StopClass, as the user knows it
Var NotStopped    ; 1: a program of the kit could not be stopped
Var Locked        ; 1: a file was in use and waits for the next restart
Var Waiting       ; ", " before each file or program that waits for it
Var FinishText
Var OldDir        ; where the installed kit is, when it is elsewhere
Var Account       ; HKEY_USERS\$Account: an account whose registry is loaded

!define MUI_ICON "${KIT_ICON_DIR}\app.ico"
!define MUI_UNICON "${KIT_ICON_DIR}\app.ico"
!define MUI_ABORTWARNING

; A restart pending is offered, never pressed on: Restart now would end
; the other users' sessions too.
!macro FinishPageTexts
  !define MUI_FINISHPAGE_TEXT "$FinishText"
  !define MUI_FINISHPAGE_TEXT_REBOOT "$FinishText"
  !define MUI_FINISHPAGE_TEXT_LARGE
  !define MUI_FINISHPAGE_TEXT_REBOOTNOW "Restart now"
  !define MUI_FINISHPAGE_TEXT_REBOOTLATER "Restart later"
  !define MUI_FINISHPAGE_REBOOTLATER_DEFAULT
!macroend

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_INSTFILES
!insertmacro FinishPageTexts
!define MUI_PAGE_CUSTOMFUNCTION_SHOW FocusRestartLater
!define MUI_FINISHPAGE_SHOWREADME "$INSTDIR\readme.txt"
!define MUI_FINISHPAGE_SHOWREADME_NOTCHECKED
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro FinishPageTexts
!define MUI_PAGE_CUSTOMFUNCTION_SHOW un.FocusRestartLater
!insertmacro MUI_UNPAGE_FINISH

!insertmacro MUI_LANGUAGE "English"

; ---- steps the installer and the uninstaller share ---------------------------

; Refuses to go on: the message (also in a silent run's stead, where no box
; shows) and exit code 2.
!macro Refuse TEXT
  MessageBox MB_ICONSTOP|MB_OK "${TEXT}" /SD IDOK
  SetErrorLevel 2
  Quit
!macroend

; Removes a file of the kit, now or, when it is in use, at the next
; restart; and a replacement that a setup left beside it for the restart,
; whose rename was taken back.
!macro RemoveFile DIR NAME
  ClearErrors
  Delete "${DIR}\${NAME}.new"
  ${If} ${Errors}
    Delete /REBOOTOK "${DIR}\${NAME}.new"
    DetailPrint "${DIR}\${NAME}.new is in use: it is removed when Windows restarts."
    StrCpy $Locked 1
    StrCpy $Waiting "$Waiting, ${NAME}.new"
  ${EndIf}
  ClearErrors
  Delete "${DIR}\${NAME}"
  ${If} ${Errors}
    Delete /REBOOTOK "${DIR}\${NAME}"
    DetailPrint "${DIR}\${NAME} is in use: it is removed when Windows restarts."
    StrCpy $Locked 1
    StrCpy $Waiting "$Waiting, ${NAME}"
  ${EndIf}
!macroend

; The files of the kit in its program folder, and the folder itself.
!macro RemoveProgramFolder DIR
  !insertmacro RemoveFile "${DIR}" "tavlix.exe"
  !insertmacro RemoveFile "${DIR}" "morvex.exe"
  !insertmacro RemoveFile "${DIR}" "vorbind.exe"
  !insertmacro RemoveFile "${DIR}" "vorbind-oem.exe"
  !insertmacro RemoveFile "${DIR}" "vorbind-bare.exe"
  !insertmacro RemoveFile "${DIR}" "kittrace.exe"
  !insertmacro RemoveFile "${DIR}" "readme.txt"
  Delete "${DIR}\uninstall.exe"
  Delete "${DIR}\install.inf"
  RMDir "${DIR}"
  ${If} $Locked == 1
    RMDir /REBOOTOK "${DIR}"
  ${EndIf}
!macroend

!macro SharedFunctions UN

; Administrators only: the kit writes to HKLM, Program Files and the Windows
; folder. On 2000 and XP nothing else asks for the rights.
Function ${UN}RequireAdministrator
  ClearErrors
  UserInfo::GetAccountType
  Pop $0
  ${If} ${Errors}
  ${OrIf} $0 != "Admin"
    !insertmacro Refuse "${KitName} must be installed and removed by an administrator.$\r$\n$\r$\nLog on as a member of the Administrators group and run this program again."
  ${EndIf}
FunctionEnd

; The 64-bit programs keep their settings in the 64-bit view of the
; registry; SetRegView 64 fails every registry command on Windows 2000, so
; only where the 64-bit programs are installed.
Function ${UN}UseProgramsView
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

; Stops every running copy of the program whose hidden window has class
; $StopClass: closes the window, as File > Exit does, so that the program's
; own exit clean-up runs, then waits for the process to end, since its file
; stays in use until then. A process that cannot be opened (it ended right
; after FindWindow, or it is not ours to open) is waited for through its
; window instead; a file it still holds is then replaced at the restart.
; Sets $NotStopped when one did not end in time.
Function ${UN}StopProgramsOfClass
  StrCpy $1 0 ; windows closed, a bound against a window that keeps coming
  ${Do}
    FindWindow $0 $StopClass
    ${If} $0 = 0
      ${ExitDo}
    ${EndIf}
    ${If} $1 >= 8
      DetailPrint "$StopClass keeps running."
      StrCpy $NotStopped 1
      StrCpy $Waiting "$Waiting, $StopName (still running)"
      ${ExitDo}
    ${EndIf}
    IntOp $1 $1 + 1
    System::Call "user32::GetWindowThreadProcessId(p r0, *i .r2) i"
    System::Call "kernel32::OpenProcess(i ${SYNCHRONIZE}, i 0, i r2) p .r3"
    DetailPrint "Stopping $StopClass (process $2)..."
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=5000
    ${If} $3 P<> 0
      System::Call "kernel32::WaitForSingleObject(p r3, i ${StopDeadline}) i .r4"
      System::Call "kernel32::CloseHandle(p r3)"
    ${Else}
      DetailPrint "$StopClass (process $2) cannot be opened: waiting for its window to go."
      StrCpy $5 0 ; ms waited
      ${Do}
        System::Call "user32::IsWindow(p r0) i .r4"
        ${If} $4 = 0
        ${OrIf} $5 >= ${StopDeadline}
          ${ExitDo}
        ${EndIf}
        Sleep 100
        IntOp $5 $5 + 100
      ${Loop}
    ${EndIf}
    ${If} $4 <> 0
      DetailPrint "$StopClass (process $2) did not end."
      StrCpy $NotStopped 1
      StrCpy $Waiting "$Waiting, $StopName (still running)"
      ${ExitDo}
    ${EndIf}
  ${Loop}
FunctionEnd

; The finish page puts the focus on Restart now, where a space would
; choose it: on the default instead.
Function ${UN}FocusRestartLater
  ${If} ${RebootFlag}
    ${NSD_SetFocus} $mui.FinishPage.RebootLater
  ${EndIf}
FunctionEnd

Function ${UN}StopKitPrograms
  StrCpy $StopClass "TAVLIX"
  StrCpy $StopName "tavlix"
  Call ${UN}StopProgramsOfClass
  StrCpy $StopClass "MORVEX"
  StrCpy $StopName "morvex"
  Call ${UN}StopProgramsOfClass
FunctionEnd

; Whether $R8, the file an operation left for the restart acts on, is a
; file of the kit (or a replacement beside one) or its program folder,
; here or where the kit moves from: $R7 1, else 0. Changes $R1, $R5, $R6
; and $R8. Windows stores "\??\C:\..."; a flag character may come first.
Function ${UN}IsKitPath
  StrCpy $R1 "|" ; no folder's name
  ${If} $OldDir != ""
    StrCpy $R1 $OldDir
  ${EndIf}
  StrCpy $R7 0
  StrCpy $R6 $R8 1
  ${If} $R6 == "!"
  ${OrIf} $R6 == "*"
  ${OrIf} $R6 == "@"
    StrCpy $R8 $R8 "" 1
  ${EndIf}
  StrCpy $R6 $R8 4
  ${If} $R6 == "\??\"
    StrCpy $R8 $R8 "" 4
  ${EndIf}
  ; A folder's deletion names it with a last backslash.
  StrCpy $R6 $R8 "" -1
  ${If} $R6 == "\"
    StrCpy $R8 $R8 -1
  ${EndIf}
  ${If} $R8 == $INSTDIR
  ${OrIf} $R8 == $R1
    StrCpy $R7 1
    Return
  ${EndIf}
  StrCpy $R6 $R8 "" -4
  ${If} $R6 == ".new"
    StrCpy $R8 $R8 -4
  ${EndIf}
  ${GetParent} $R8 $R6
  ${GetFileName} $R8 $R5
  ${If} $R6 == $INSTDIR
  ${OrIf} $R6 == $R1
    ${Select} $R5
      ${Case5} "tavlix.exe" "morvex.exe" "vorbind.exe" "vorbind-oem.exe" "vorbind-bare.exe"
        StrCpy $R7 1
      ${Case2} "kittrace.exe" "readme.txt"
        StrCpy $R7 1
    ${EndSelect}
  ${ElseIf} $R6 == $WINDIR
    ${Select} $R5
      ${Case5} "cfico.ico" "sdico.ico" "smico.ico" "msico.ico" "comboico.ico"
        StrCpy $R7 1
    ${EndSelect}
  ${EndIf}
FunctionEnd

; Copies the operations at $5 ($3 bytes: each a source and a target, a
; deletion's target empty, then an empty string) that are not on the kit's
; files to $6: $7 the bytes kept, $8 how many were taken back.
Function ${UN}KeepOthersOperations
  StrCpy $7 0
  StrCpy $8 0
  StrCpy $9 0 ; where the operation starts
  ${DoWhile} $9 < $3
    IntOp $R0 $5 + $9
    System::Call "kernel32::lstrlenW(p R0) i .R1"
    ${If} $R1 = 0
      ${ExitDo}
    ${EndIf}
    IntOp $R2 $R1 + 1
    IntOp $R2 $R2 * 2
    IntOp $R2 $R2 + $R0 ; its target
    System::Call "kernel32::lstrlenW(p R2) i .R3"
    IntOp $R3 $R3 + 1
    IntOp $R3 $R3 * 2
    IntOp $R3 $R3 + $R2
    IntOp $R3 $R3 - $R0 ; its bytes
    System::Call "kernel32::lstrcpynW(w .R8, p R0, i ${NSIS_MAX_STRLEN})"
    StrCpy $R4 $R8
    Call ${UN}IsKitPath
    ${If} $R7 = 1
      DetailPrint "No longer left for the restart: $R4"
      IntOp $8 $8 + 1
    ${Else}
      IntOp $R5 $6 + $7
      System::Copy /$R3 $R5 $R0
      IntOp $7 $7 + $R3
    ${EndIf}
    IntOp $9 $9 + $R3
  ${Loop}
FunctionEnd

; Takes the kit's operations out of the list named $R9. Refuses to go on
; when that fails, as the restart would then undo this run.
Function ${UN}TakeBackOperationsOf
  System::Call "advapi32::RegOpenKeyExW(p ${HKEY_LOCAL_MACHINE}, w '${SessionManagerKey}', i 0, i ${KEY_QUERY_VALUE}|${KEY_SET_VALUE}, *p .r0) i .r1"
  ${If} $1 <> 0
    !insertmacro Refuse "What waits for Windows to restart cannot be read (error $1): ${KitName} is not changed."
  ${EndIf}
  System::Call "advapi32::RegQueryValueExW(p r0, w R9, p 0, *i .r2, p 0, *i .r3) i .r1"
  ${If} $1 = 0
  ${AndIf} $2 = ${REG_MULTI_SZ}
  ${AndIf} $3 > 0
    ; Zeroed, with room for the ends a damaged list lacks.
    IntOp $4 $3 + 8
    System::Alloc $4
    Pop $5
    System::Alloc $4
    Pop $6
    System::Call "advapi32::RegQueryValueExW(p r0, w R9, p 0, p 0, p r5, *i r3 .r3) i .r1"
    ${If} $1 = 0
      Call ${UN}KeepOthersOperations
      ${If} $8 > 0
      ${AndIf} $7 = 0
        System::Call "advapi32::RegDeleteValueW(p r0, w R9) i .r1"
      ${ElseIf} $8 > 0
        IntOp $7 $7 + 2 ; the empty string that ends the list
        System::Call "advapi32::RegSetValueExW(p r0, w R9, i 0, i ${REG_MULTI_SZ}, p r6, i r7) i .r1"
      ${EndIf}
    ${EndIf}
    System::Free $5
    System::Free $6
    ${If} $1 <> 0
      !insertmacro Refuse "What waits for Windows to restart cannot be changed (error $1): restart Windows, then run this program again."
    ${EndIf}
  ${EndIf}
  System::Call "advapi32::RegCloseKey(p r0)"
FunctionEnd

; What earlier runs of the setup or the uninstaller left for the next
; restart on the kit's files would undo this run: a deletion would take a
; file installed now, a replacement's rename would put an older file over
; a newer one. Taken back before anything is written; other programs'
; operations stay, in their order.
Function ${UN}TakeBackRestartOperations
  StrCpy $R9 "PendingFileRenameOperations"
  Call ${UN}TakeBackOperationsOf
  ; The second list, where Windows keeps one.
  StrCpy $R9 "PendingFileRenameOperations2"
  Call ${UN}TakeBackOperationsOf
FunctionEnd

!macroend
!insertmacro SharedFunctions ""
!insertmacro SharedFunctions "un."

; ---- install -------------------------------------------------------------------

; Puts a file in place. One still in use (a program that could not be
; stopped) is written beside it and replaces it at the next restart. A
; replacement an earlier run left there, its rename taken back, goes first.
!macro InstallFile FROM TO NAME
  Delete "${TO}\${NAME}.new"
  ClearErrors
  Delete "${TO}\${NAME}"
  ${If} ${Errors}
    File "/oname=${TO}\${NAME}.new" "${FROM}\${NAME}"
    Rename /REBOOTOK "${TO}\${NAME}.new" "${TO}\${NAME}"
    DetailPrint "${TO}\${NAME} is in use: it is replaced when Windows restarts."
    StrCpy $Locked 1
    StrCpy $Waiting "$Waiting, ${NAME}"
  ${Else}
    File "/oname=${TO}\${NAME}" "${FROM}\${NAME}"
  ${EndIf}
!macroend

!macro InstallPrograms DIR
  !insertmacro InstallFile "${DIR}" "$INSTDIR" "tavlix.exe"
  !insertmacro InstallFile "${DIR}" "$INSTDIR" "morvex.exe"
  !insertmacro InstallFile "${DIR}" "$INSTDIR" "vorbind.exe"
  !insertmacro InstallFile "${DIR}" "$INSTDIR" "vorbind-oem.exe"
  !insertmacro InstallFile "${DIR}" "$INSTDIR" "vorbind-bare.exe"
  !insertmacro InstallFile "${DIR}" "$INSTDIR" "kittrace.exe"
!macroend

Function .onInit
  ; A Unicode setup does not start on 9x/ME at all; NT 4 gets this.
  ${IfNot} ${AtLeastWin2000}
    !insertmacro Refuse "${KitName} needs Windows 2000 or later."
  ${EndIf}
  Call RequireAdministrator
  ; The programs read the Windows folder into 64 bytes and end at once
  ; when it does not fit: installing them there would give programs that
  ; do nothing.
  System::Call "kernel32::GetWindowsDirectoryA(m .r1, i 64) i .r0"
  ${If} $0 = 0
  ${OrIf} $0 >= 64
    !insertmacro Refuse "The Windows folder $WINDIR is too long for ${KitName}: its programs work only when the Windows folder has at most 63 characters."
  ${EndIf}
  Call UseProgramsView
  Call RefuseDowngradeUnlessConfirmed
  Call ChooseInstallFolder
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOSTART" $1
  ${IfNot} ${Errors}
    StrCpy $NoStart 1
  ${EndIf}
FunctionEnd

; An older setup over a newer kit asks first (default: keep the newer one);
; a silent run goes on, as an administrator rolls back that way.
Function RefuseDowngradeUnlessConfirmed
  ReadRegStr $0 HKLM "${UninstallKey}" "DisplayVersion"
  ${If} $0 == ""
    Return
  ${EndIf}
  ${VersionCompare} $0 "${KIT_VERSION}" $1
  ${If} $1 = 1
    MessageBox MB_YESNO|MB_ICONQUESTION|MB_DEFBUTTON2 "${KitName} $0 is installed, which is newer than this setup's ${KIT_VERSION}.$\r$\n$\r$\nReplace version $0 with the older ${KIT_VERSION}? Click No to keep $0: nothing is changed." /SD IDYES IDYES downgrade
    SetErrorLevel 1
    Quit
    downgrade:
  ${EndIf}
FunctionEnd

; /D= names the folder (NSIS puts it in $INSTDIR before .onInit). Without it
; an installed kit is upgraded where it is, and a new one goes to the
; Program Files of the programs' kind. A kit installed elsewhere than
; $INSTDIR moves: $OldDir is emptied once its programs are stopped.
Function ChooseInstallFolder
  ReadRegStr $0 HKLM "${UninstallKey}" "InstallLocation"
  ${If} $0 != ""
  ${AndIfNot} ${FileExists} "$0\*.*"
    StrCpy $0 "" ; gone: nothing there to upgrade
  ${EndIf}
  ${If} $INSTDIR == ""
    ${If} $0 != ""
      StrCpy $INSTDIR $0
    ${ElseIf} ${RunningX64}
      StrCpy $INSTDIR "$PROGRAMFILES64\${KitName}"
    ${Else}
      StrCpy $INSTDIR "$PROGRAMFILES\${KitName}"
    ${EndIf}
  ${EndIf}
  ; The same folder, whatever the case of its letters or a last backslash.
  ${If} $0 != ""
  ${AndIf} $0 != $INSTDIR
  ${AndIf} "$0\" != $INSTDIR
  ${AndIf} $0 != "$INSTDIR\"
    StrCpy $OldDir $0
  ${EndIf}
FunctionEnd

Section "-Programs"
  SetShellVarContext all
  ReadRegStr $0 HKLM "${UninstallKey}" "DisplayVersion"
  ReadRegStr $1 HKLM "${UninstallKey}" "DisplayName"
  ${If} $1 != ""
    DetailPrint "Replacing the installed ${KitName} $0"
  ${EndIf}
  Call TakeBackRestartOperations
  Call StopKitPrograms
  ${If} $OldDir != ""
    DetailPrint "Moving ${KitName} from $OldDir to $INSTDIR"
    !insertmacro RemoveProgramFolder "$OldDir"
  ${EndIf}

  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    !insertmacro InstallPrograms "${KIT_WIN64_DIR}"
  ${Else}
    !insertmacro InstallPrograms "${KIT_WIN32_DIR}"
  ${EndIf}
  !insertmacro InstallFile "${KIT_TEXT_DIR}" "$INSTDIR" "readme.txt"
  ; What a kit installed with install.inf removed itself with.
  Delete "$INSTDIR\install.inf"

  ; tavlix's default icon table names these files in the Windows folder.
  !insertmacro InstallFile "${KIT_ICON_DIR}" "$WINDIR" "cfico.ico"
  !insertmacro InstallFile "${KIT_ICON_DIR}" "$WINDIR" "sdico.ico"
  !insertmacro InstallFile "${KIT_ICON_DIR}" "$WINDIR" "smico.ico"
  !insertmacro InstallFile "${KIT_ICON_DIR}" "$WINDIR" "msico.ico"
  !insertmacro InstallFile "${KIT_ICON_DIR}" "$WINDIR" "comboico.ico"

  WriteUninstaller "$INSTDIR\uninstall.exe"
SectionEnd

Section "-Start at log-on"
  WriteRegStr HKLM "${RunKey}" "tavlix" '"$INSTDIR\tavlix.exe"'
  WriteRegStr HKLM "${RunKey}" "morvex" '"$INSTDIR\morvex.exe"'
SectionEnd

Section "-Start menu"
  CreateDirectory "${StartMenuFolder}"
  CreateShortCut "${StartMenuFolder}\Read me.lnk" "$INSTDIR\readme.txt"
  CreateShortCut "${StartMenuFolder}\Record a trace.lnk" "$INSTDIR\kittrace.exe"
  CreateShortCut "${StartMenuFolder}\Uninstall ${KitName}.lnk" "$INSTDIR\uninstall.exe"
SectionEnd

Section "-Add/Remove Programs entry"
  WriteRegStr HKLM "${UninstallKey}" "DisplayName" "${KitName}"
  WriteRegStr HKLM "${UninstallKey}" "DisplayVersion" "${KIT_VERSION}"
  WriteRegStr HKLM "${UninstallKey}" "Publisher" "${KitPublisher}"
  WriteRegStr HKLM "${UninstallKey}" "DisplayIcon" "$INSTDIR\tavlix.exe,0"
  WriteRegStr HKLM "${UninstallKey}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UninstallKey}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UninstallKey}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  IntOp $0 $0 + 8 ; the card icons in the Windows folder
  WriteRegDWORD HKLM "${UninstallKey}" "EstimatedSize" $0
  WriteRegDWORD HKLM "${UninstallKey}" "NoModify" 1
  WriteRegDWORD HKLM "${UninstallKey}" "NoRepair" 1
SectionEnd

; Nothing waits for the next log-on on 2000 and XP. On Vista and later a
; program started by this elevated setup would run elevated, and a later
; launch by the user could no longer stop it: they start at the next
; log-on there.
Section "-Start the programs"
  ${If} $NotStopped == 1
  ${OrIf} $Locked == 1
    SetRebootFlag true
    StrCpy $Waiting $Waiting "" 2
    StrCpy $FinishText "${KitName} ${KIT_VERSION} is installed, but some of it waits for Windows to restart: $Waiting.$\r$\n$\r$\nThe new programs start after the restart. To finish without one, close the programs that use these files and run this setup again."
  ${ElseIf} $NoStart == 1
    StrCpy $FinishText "${KitName} ${KIT_VERSION} is installed. tavlix and morvex start at the next log-on."
  ${ElseIf} ${AtLeastWinVista}
    StrCpy $FinishText "${KitName} ${KIT_VERSION} is installed. tavlix and morvex start when you next log on."
  ${Else}
    ; A launch while a TAVLIX window exists would stop that copy instead.
    FindWindow $0 "TAVLIX"
    ${If} $0 = 0
      Exec '"$INSTDIR\tavlix.exe"'
    ${EndIf}
    Exec '"$INSTDIR\morvex.exe"'
    DetailPrint "Started tavlix and morvex."
    StrCpy $FinishText "${KitName} ${KIT_VERSION} is installed and running."
  ${EndIf}
  ${If} ${IsWinXP}
  ${OrIf} ${IsWin2003}
    StrCpy $FinishText "$FinishText$\r$\n$\r$\nOn Windows XP the card icons appear when the card reader is next plugged in."
  ${EndIf}
  DetailPrint "$FinishText"
SectionEnd

Function .onInstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
  ${EndIf}
FunctionEnd

; ---- uninstall -------------------------------------------------------------------

Function un.onInit
  Call un.RequireAdministrator
  Call un.UseProgramsView
FunctionEnd

; tavlix removes its drive icons on its way out. Where it did not get to
; (it was killed, or a log-off or a shutdown ended it), its markers name the
; letters whose icon keys are still there: those go, then the keys above
; them that are left empty, then the markers. A key no marker names is
; another program's and stays. A place without the kit's settings key was
; never the kit's. In the programs' view (where the 64-bit programs write);
; the machine's keys directly at HKLM, as HKEY_CLASSES_ROOT would reach a
; user's own copy first. Applications itself stays: it holds the Open With
; entries of other programs.
!macro DriveIconRemoval NAME ROOT BASE
Function un.RemoveDriveIcons${NAME}
  ; Sets the error flag only where the key cannot be opened.
  ClearErrors
  EnumRegKey $1 ${ROOT} "${BASE}${SettingsKey}" 0
  ${If} ${Errors}
    Return
  ${EndIf}
  StrCpy $0 0
  ${Do}
    ClearErrors
    EnumRegValue $1 ${ROOT} "${BASE}${SettingsKey}" $0
    ${If} ${Errors}
    ${OrIf} $1 == ""
      ${ExitDo}
    ${EndIf}
    IntOp $0 $0 + 1
    StrLen $2 $1
    ${If} $2 = 1
    ${AndIf} $1 S>= "A"
    ${AndIf} $1 S<= "Z"
      DeleteRegKey ${ROOT} "${BASE}Software\Classes\${DrivesKey}\$1\DefaultIcon"
    ${EndIf}
  ${Loop}
  StrCpy $0 65 ; A
  ${Do}
    IntFmt $1 "%c" $0
    DeleteRegKey /ifempty ${ROOT} "${BASE}Software\Classes\${DrivesKey}\$1"
    IntOp $0 $0 + 1
  ${LoopWhile} $0 <= 90 ; Z
  DeleteRegKey /ifempty ${ROOT} "${BASE}Software\Classes\${DrivesKey}"
  DeleteRegKey /ifempty ${ROOT} "${BASE}Software\Classes\Applications\Explorer.exe"
  DeleteRegKey ${ROOT} "${BASE}${SettingsKey}"
FunctionEnd
!macroend
!insertmacro DriveIconRemoval "OfMachine" HKLM ""
!insertmacro DriveIconRemoval "OfUser" HKCU ""
!insertmacro DriveIconRemoval "OfAccount" HKU "$Account\"

; Every other account whose registry is loaded now: those logged on (fast
; user switching, a program started with Run as). Not their classes
; (<account>_Classes, which Software\Classes shows), nor the log-on
; screen's and the service accounts' own. An account that is not logged on
; keeps its icon keys: they name icon files that are gone.
Function un.RemoveDriveIconsOfLoadedAccounts
  StrCpy $R0 0
  ${Do}
    ClearErrors
    EnumRegKey $Account HKU "" $R0
    ${If} ${Errors}
    ${OrIf} $Account == ""
      ${ExitDo}
    ${EndIf}
    IntOp $R0 $R0 + 1
    StrCpy $R1 $Account "" -8
    ${If} $R1 != "_Classes"
    ${AndIf} $Account != ".DEFAULT"
    ${AndIf} $Account != "S-1-5-18"
    ${AndIf} $Account != "S-1-5-19"
    ${AndIf} $Account != "S-1-5-20"
      Call un.RemoveDriveIconsOfAccount
    ${EndIf}
  ${Loop}
FunctionEnd

Section "Uninstall"
  SetShellVarContext all
  Call un.TakeBackRestartOperations
  Call un.StopKitPrograms
  Call un.RemoveDriveIconsOfUser
  Call un.RemoveDriveIconsOfLoadedAccounts
  Call un.RemoveDriveIconsOfMachine

  !insertmacro RemoveProgramFolder "$INSTDIR"

  !insertmacro RemoveFile "$WINDIR" "cfico.ico"
  !insertmacro RemoveFile "$WINDIR" "sdico.ico"
  !insertmacro RemoveFile "$WINDIR" "smico.ico"
  !insertmacro RemoveFile "$WINDIR" "msico.ico"
  !insertmacro RemoveFile "$WINDIR" "comboico.ico"

  DeleteRegValue HKLM "${RunKey}" "tavlix"
  DeleteRegValue HKLM "${RunKey}" "morvex"
  Delete "${StartMenuFolder}\Read me.lnk"
  Delete "${StartMenuFolder}\Record a trace.lnk"
  Delete "${StartMenuFolder}\Uninstall ${KitName}.lnk"
  RMDir "${StartMenuFolder}"
  DeleteRegKey HKLM "${UninstallKey}"

  ${If} $Locked == 1
  ${OrIf} $NotStopped == 1
    SetRebootFlag true
    StrCpy $Waiting $Waiting "" 2
    StrCpy $FinishText "${KitName} is removed, but some of it waits for Windows to restart: $Waiting.$\r$\nIt is removed then."
  ${Else}
    StrCpy $FinishText "${KitName} is removed."
  ${EndIf}
  DetailPrint "$FinishText"
SectionEnd

Function un.onUninstSuccess
  ${If} ${RebootFlag}
    SetErrorLevel ${ERROR_SUCCESS_REBOOT_REQUIRED}
  ${EndIf}
FunctionEnd
