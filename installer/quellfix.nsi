; Quellfix setup program.
;
; Installs Quellfix.exe into Program Files\Quellfix (or the folder of an
; earlier installation), with a Start-menu folder for all users and an
; uninstaller registered under the Uninstall key. /S installs silently, and
; /D=<folder> (last on the command line) chooses another folder.
;
; Quellfix's self-update downloads this program as update.exe into the
; installation folder, starts it with no arguments and closes itself. That
; run shows the wizard like any other: the user was asked only whether to
; download, so installing is agreed to here, the folder page proposes the
; installed copy's folder, and the finish page starts the new version.
;
; The old Quellfix.exe may still be running when the files are copied.
; Before anything is written (and before the uninstaller removes anything),
; every Quellfix.exe running from the installation folder is asked to close:
; its main window, a dialog whose caption begins "Quellfix 2.0 - ", gets
; WM_CLOSE, as from its close box. A process that has not ended after a few
; seconds (a question box may be waiting for an answer) is ended. Copies of
; Quellfix running from other folders are left alone: they hold no file we
; replace.
;
; Built by installer/CMakeLists.txt:
;   makensis -INPUTCHARSET UTF8 -DQUELLFIX_EXE=<Quellfix.exe> -DOUTFILE=<setup>
;            -DICON=<Quellfix.ico> -DHOME_PAGE=<address> quellfix.nsi

!ifdef TARGET_AMD64
  Target amd64-unicode
!else
  Unicode true
!endif
ManifestSupportedOS all
RequestExecutionLevel admin
SetCompressor /SOLID lzma

!ifndef QUELLFIX_EXE | OUTFILE | ICON | HOME_PAGE
  !error "define QUELLFIX_EXE, OUTFILE, ICON and HOME_PAGE (see the top of this file)"
!endif

!include "MUI2.nsh"
!include "LogicLib.nsh"
!include "WinMessages.nsh"
!include "FileFunc.nsh"

!define PRODUCT "Quellfix"
!define VERSION_TEXT "2.000"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Quellfix"
!define START_MENU "$SMPROGRAMS\Quellfix"
!define UNINSTALL_LINK "Quellfix 제거.lnk"
; Quellfix's main window: a dialog whose caption begins with this text.
!define MAIN_WINDOW_CLASS "#32770"
!define MAIN_CAPTION_PREFIX "Quellfix 2.0 - "
; How long a running Quellfix gets to close after being asked: polls 100 ms apart.
!define CLOSE_POLLS 80
; OpenProcess rights: to read the program path, and to end the process.
!define QUERY_RIGHTS 0x0410    ; PROCESS_QUERY_INFORMATION | PROCESS_VM_READ
!define END_RIGHTS 0x100001    ; SYNCHRONIZE | PROCESS_TERMINATE

Name "${PRODUCT}"
OutFile "${OUTFILE}"
!ifdef TARGET_AMD64
  InstallDir "$PROGRAMFILES64\Quellfix"
!else
  InstallDir "$PROGRAMFILES\Quellfix"
!endif
InstallDirRegKey HKLM "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "${PRODUCT} ${VERSION_TEXT}"
ShowInstDetails show
ShowUninstDetails show

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_ABORTWARNING

!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\Quellfix.exe"
!define MUI_FINISHPAGE_LINK "Quellfix 홈페이지"
!define MUI_FINISHPAGE_LINK_LOCATION "${HOME_PAGE}"
!insertmacro MUI_PAGE_FINISH

!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES

!insertmacro MUI_LANGUAGE "Korean"

VIProductVersion "2.0.0.0"
VIFileVersion "2.0.0.0"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileDescription" "Quellfix 설치 프로그램"
VIAddVersionKey /LANG=${LANG_KOREAN} "FileVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "ProductVersion" "${VERSION_TEXT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "CompanyName" "${PRODUCT}"
VIAddVersionKey /LANG=${LANG_KOREAN} "LegalCopyright" "${PRODUCT}"

; Closing a running Quellfix, for the installer and for the uninstaller.
; These functions use $R0-$R9 freely; the poll count has a variable of its own.
Var ClosePolls

!macro QUELLFIX_CLOSE_FUNCTIONS un

; In: $R1 a process id. Out: $R2 1 when that process runs
; $INSTDIR\Quellfix.exe, 0 otherwise (also when it cannot be asked).
Function ${un}IsInstalledQuellfix
  StrCpy $R2 0
  System::Call 'kernel32::OpenProcess(i ${QUERY_RIGHTS}, i 0, i R1) p .R3'
  ${If} $R3 P<> 0
    ; Windows Vista and later name the program of any process, even one
    ; that has not finished starting; Windows XP only through its modules.
    System::Call 'kernel32::QueryFullProcessImageNameW(p R3, i 0, w .R4, *i ${NSIS_MAX_STRLEN}) i .R5'
    ${If} $R5 = 0
      System::Call 'psapi::GetModuleFileNameExW(p R3, p 0, w .R4, i ${NSIS_MAX_STRLEN}) i .R5'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p R3)'
    ${If} $R5 <> 0
    ${AndIf} $R4 == "$INSTDIR\Quellfix.exe"
      StrCpy $R2 1
    ${EndIf}
  ${EndIf}
FunctionEnd

; Out: $R0 the number of processes running $INSTDIR\Quellfix.exe.
; With $R9 "end", each of them is ended and waited for first.
Function ${un}FindInstalledQuellfix
  StrCpy $R0 0
  System::Alloc 16384
  Pop $R6
  System::Call 'psapi::EnumProcesses(p R6, i 16384, *i .R7) i .R8'
  ${If} $R8 <> 0
    IntOp $R7 $R7 / 4
    StrCpy $R8 0
    ${DoWhile} $R8 < $R7
      IntOp $R1 $R8 * 4
      IntPtrOp $R1 $R6 + $R1
      System::Call '*$R1(i .R1)'
      Call ${un}IsInstalledQuellfix
      ${If} $R2 = 1
        IntOp $R0 $R0 + 1
        ${If} $R9 == "end"
          System::Call 'kernel32::OpenProcess(i ${END_RIGHTS}, i 0, i R1) p .R3'
          ${If} $R3 P<> 0
            System::Call 'kernel32::TerminateProcess(p R3, i 1)'
            System::Call 'kernel32::WaitForSingleObject(p R3, i 5000)'
            System::Call 'kernel32::CloseHandle(p R3)'
          ${EndIf}
        ${EndIf}
      ${EndIf}
      IntOp $R8 $R8 + 1
    ${Loop}
  ${EndIf}
  System::Free $R6
FunctionEnd

; Posts WM_CLOSE to the main window of every Quellfix that runs from
; $INSTDIR, as its close box would.
Function ${un}AskInstalledQuellfixToClose
  StrLen $R6 "${MAIN_CAPTION_PREFIX}"
  StrCpy $R7 0
  ${Do}
    FindWindow $R7 "${MAIN_WINDOW_CLASS}" "" 0 $R7
    ${If} $R7 = 0
      ${ExitDo}
    ${EndIf}
    System::Call 'user32::GetWindowTextW(p R7, w .R8, i ${NSIS_MAX_STRLEN})'
    StrCpy $R8 $R8 $R6
    ${If} $R8 S== "${MAIN_CAPTION_PREFIX}"
      System::Call 'user32::GetWindowThreadProcessId(p R7, *i .R1)'
      Call ${un}IsInstalledQuellfix
      ${If} $R2 = 1
        System::Call 'user32::PostMessageW(p R7, i ${WM_CLOSE}, p 0, p 0)'
      ${EndIf}
    ${EndIf}
  ${Loop}
FunctionEnd

; Makes sure no Quellfix runs from $INSTDIR: asks it to close, waits, and
; ends what is left. Aborts when the user declines.
Function ${un}CloseInstalledQuellfix
  StrCpy $R9 ""
  Call ${un}FindInstalledQuellfix
  ${If} $R0 = 0
    Return
  ${EndIf}
  MessageBox MB_OKCANCEL|MB_ICONINFORMATION \
    "Quellfix가 실행 중입니다.$\r$\n확인을 누르면 Quellfix를 닫고 계속합니다." \
    /SD IDOK IDOK close
  Abort "Quellfix가 실행 중이어서 작업을 멈췄습니다."
close:
  DetailPrint "실행 중인 Quellfix를 닫습니다..."
  StrCpy $ClosePolls 0
  ${Do}
    Call ${un}AskInstalledQuellfixToClose
    Sleep 100
    Call ${un}FindInstalledQuellfix
    IntOp $ClosePolls $ClosePolls + 1
    ${If} $ClosePolls >= ${CLOSE_POLLS}
      ${ExitDo}
    ${EndIf}
  ${LoopUntil} $R0 = 0
  ${If} $R0 <> 0
    DetailPrint "응답하지 않는 Quellfix를 종료합니다..."
    StrCpy $R9 "end"
    Call ${un}FindInstalledQuellfix
  ${EndIf}
FunctionEnd

!macroend

!insertmacro QUELLFIX_CLOSE_FUNCTIONS ""
!insertmacro QUELLFIX_CLOSE_FUNCTIONS "un."

Section "Quellfix" SecQuellfix
  SectionIn RO
  Call CloseInstalledQuellfix

  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "/oname=Quellfix.exe" "${QUELLFIX_EXE}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  SetShellVarContext all
  CreateDirectory "${START_MENU}"
  CreateShortcut "${START_MENU}\Quellfix.lnk" "$INSTDIR\Quellfix.exe" "" "$INSTDIR\Quellfix.exe" 0
  CreateShortcut "${START_MENU}\${UNINSTALL_LINK}" "$INSTDIR\uninstall.exe"

  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION_TEXT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\Quellfix.exe,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "URLInfoAbout" "${HOME_PAGE}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Removes what setup installed and what Quellfix keeps beside itself: the
; catalog and its downloaded copy, the downloaded setup program and the
; UPDATES folder of downloaded installers. Other files in the folder stay.
Section "Uninstall"
  Call un.CloseInstalledQuellfix

  Delete "$INSTDIR\Quellfix.exe"
  Delete "$INSTDIR\quellfix.ini"
  Delete "$INSTDIR\quellfix.ini.new"
  Delete "$INSTDIR\update.exe"
  RMDir /r "$INSTDIR\UPDATES"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"

  SetShellVarContext all
  Delete "${START_MENU}\Quellfix.lnk"
  Delete "${START_MENU}\${UNINSTALL_LINK}"
  RMDir "${START_MENU}"

  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
