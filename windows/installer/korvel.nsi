; The Korvel installer: KOR, ZORVA.DLL and korvel for Windows.
;
; scripts/package.sh builds it with makensis from the two release trees:
;   makensis -DVERSION=3.0 -DVERSION_MAJOR=3 -DVERSION_MINOR=0 -DVERSION_BUILD=0
;            -DWIN64_DIR=... -DWIN32_DIR=... -DOUTFILE=... korvel.nsi
; Each tree holds KOR.EXE, ZORVA.DLL, korvel.exe, include\zorva.h,
; lib\libzorva.dll.a, README.txt and LICENSE.txt; with -DHELP_PAGES also KOR's
; help pages (*.html).
;
; On 64-bit Windows it installs the 64-bit build under $PROGRAMFILES64\Korvel
; and, for 32-bit programs that call the library, the 32-bit ZORVA.DLL and its
; import library in x86\; on 32-bit Windows the 32-bit build under
; $PROGRAMFILES\Korvel. The installer itself is a 32-bit program so that it
; starts on both. -DTARGET_AMD64 makes a 64-bit installer from the same script
; (the 64-bit branch only), for a test on a machine that runs 64-bit programs
; only.
;
; Uninstalling removes what was installed, the shortcut and the Apps &
; features entry, and keeps HKLM\SOFTWARE\Calvek: the client passwords and
; KOR's settings outlive the program.
;
; It refuses Windows older than Vista, where the programs do not run (exit
; code 1150, ERROR_OLD_WIN_VERSION). Installing over an installed Korvel, and
; uninstalling, wait while its programs or its DLL are in use: the operator
; closes them and chooses Retry, or Cancel; a silent run (/S) ends at once
; with exit code 32 (ERROR_SHARING_VIOLATION) and has changed nothing.
;
; With -DSIGN="COMMAND" makensis runs COMMAND FILE on the uninstaller it
; writes into the installer and on the installer it made (code signing,
; scripts/package.sh).

!ifndef VERSION | VERSION_MAJOR | VERSION_MINOR | VERSION_BUILD | WIN64_DIR | WIN32_DIR | OUTFILE
  !error "VERSION, VERSION_MAJOR, VERSION_MINOR, VERSION_BUILD, WIN64_DIR, WIN32_DIR and OUTFILE must be defined (-D)"
!endif

!ifdef TARGET_AMD64
  Target amd64-unicode
  ; RunningX64 is known when compiling: the 32-bit branches' labels go unused.
  !pragma warning disable 6012
!else
  Unicode true
!endif
SetCompressor /SOLID lzma

!include MUI2.nsh
!include LogicLib.nsh
!include x64.nsh
!include FileFunc.nsh
!include WinVer.nsh

!ifdef SIGN
  !uninstfinalize '${SIGN} "%1"' = 0
  !finalize '${SIGN} "%1"' = 0
!endif

!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Korvel"
; The library's version values, in the key where ZORVA.DLL keeps its list.
!define ZORVA_KEY "SOFTWARE\Calvek\ZORVA\CurrentVersion"
; The key of the library's list and KOR's settings.
!define CALVEK_KEY "SOFTWARE\Calvek"

Name "Korvel ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel admin
ManifestSupportedOS all
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION_MAJOR}.${VERSION_MINOR}.${VERSION_BUILD}.0"
VIAddVersionKey "ProductName" "Korvel"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "Korvel ${VERSION} Setup"
VIAddVersionKey "CompanyName" "The Korvel developers"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Korvel developers"

BrandingText "Korvel ${VERSION}"

!define MUI_ABORTWARNING
!define MUI_ICON "${__FILEDIR__}/../kor/art/kor.ico"
!define MUI_UNICON "${__FILEDIR__}/../kor/art/kor.ico"
; No "Start KOR" on the finish page: started from here KOR would run with the
; installer's administrator rights and write the machine-wide keys where the
; operator's own start writes the per-user copy.
!insertmacro MUI_PAGE_WELCOME
!insertmacro MUI_PAGE_LICENSE "${WIN64_DIR}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; The registry view of the Apps & features entry: the one of the installed
; build (a 32-bit installer on 64-bit Windows would otherwise write to the
; 32-bit view).
!macro UninstallKeyView
  ${If} ${RunningX64}
    SetRegView 64
  ${Else}
    SetRegView 32
  ${EndIf}
!macroend

!macro RequireAdmin
  UserInfo::GetAccountType
  Pop $0
  ${If} $0 != "Admin"
    MessageBox MB_ICONSTOP "Korvel is installed for every user of this computer: run this as an administrator." /SD IDOK
    SetErrorLevel 740 ; ERROR_ELEVATION_REQUIRED
    Quit
  ${EndIf}
!macroend

; Windows XP and older lack functions that the programs import: they would
; not start there.
!macro RequireVista
  ${IfNot} ${AtLeastWinVista}
    MessageBox MB_ICONSTOP "Korvel needs Windows Vista or later." /SD IDOK
    SetErrorLevel 1150 ; ERROR_OLD_WIN_VERSION
    Quit
  ${EndIf}
!macroend

; Appends FILE to $R0 when it exists and cannot be opened for writing. A
; running program's file and a loaded DLL cannot (Windows refuses with a
; sharing violation), and File or Delete would then fail half-way through.
; FileOpen's "a" opens the file for reading and writing without changing it.
!macro AppendIfInUse FILE
  ${If} ${FileExists} "${FILE}"
    ClearErrors
    FileOpen $R1 "${FILE}" a
    ${If} ${Errors}
      StrCpy $R0 "$R0$\r$\n    ${FILE}"
    ${Else}
      FileClose $R1
    ${EndIf}
  ${EndIf}
!macroend

; Waits until none of the installed programs and DLLs is in use: asks the
; operator to close them, with Retry and Cancel. Cancel, and every silent
; run, stops with exit code 32 (ERROR_SHARING_VIOLATION) before anything is
; written or removed. VERB: what the operator is told would be done.
!macro WaitUntilNotInUse VERB
  ${Do}
    StrCpy $R0 ""
    !insertmacro AppendIfInUse "$INSTDIR\KOR.EXE"
    !insertmacro AppendIfInUse "$INSTDIR\ZORVA.DLL"
    !insertmacro AppendIfInUse "$INSTDIR\korvel.exe"
    !insertmacro AppendIfInUse "$INSTDIR\x86\ZORVA.DLL"
    ${If} $R0 == ""
      ${Break}
    ${EndIf}
    DetailPrint "In use:$R0"
    ${If} ${Cmd} `MessageBox MB_RETRYCANCEL|MB_ICONEXCLAMATION "Korvel cannot be ${VERB} while its files are in use:$\r$\n$R0$\r$\n$\r$\nClose KOR, korvel and every program that uses the library ZORVA.DLL, then choose Retry." /SD IDCANCEL IDCANCEL`
      SetErrorLevel 32 ; ERROR_SHARING_VIOLATION
      Abort "Korvel's files are in use: nothing was changed."
    ${EndIf}
  ${Loop}
!macroend

Function .onInit
  !insertmacro RequireVista
  !insertmacro RequireAdmin
  SetShellVarContext all
  ${If} $INSTDIR == ""  ; not given with /D=
    !insertmacro UninstallKeyView
    ReadRegStr $INSTDIR HKLM "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
      ${If} ${RunningX64}
        StrCpy $INSTDIR "$PROGRAMFILES64\Korvel"
      ${Else}
        StrCpy $INSTDIR "$PROGRAMFILES\Korvel"
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

; Marks the key on the stack (under HKLM, in the 32-bit view) and every key
; below it so that Windows never virtualises them: a 32-bit program made
; before UAC (no requestedExecutionLevel in its manifest) that calls ZORVA.DLL
; and may not write HKLM would otherwise have its writes land silently in the
; account's VirtualStore, where no other program looks, and its opens for
; writing quietly downgraded to reading. With DONT_VIRTUALIZE and
; DONT_SILENT_FAIL such a write or open fails as it does for every other
; program, and the library keeps the account's own copy under HKCU.
; RECURSE_FLAG passes the flags on to keys created below later (the library's
; lists); keys that exist already, from an earlier installation, get them
; here, key by key. Only 32-bit programs are virtualised, so only the 32-bit
; view is marked (reg.exe's /reg:32 on 64-bit Windows; 32-bit Windows has
; that view only). A reg.exe that cannot set the flags leaves the
; installation as it is, and the details say so.
Function MarkNotVirtualised
  Exch $0  ; the key
  Push $1
  Push $2
  ${If} ${RunningX64}
    StrCpy $1 " /reg:32"
  ${Else}
    StrCpy $1 ""
  ${EndIf}
  nsExec::ExecToStack '"$SYSDIR\reg.exe" flags "HKLM\$0" SET DONT_VIRTUALIZE DONT_SILENT_FAIL RECURSE_FLAG$1'
  Pop $1  ; the exit code, or "error" when reg.exe did not start
  Pop $2  ; its output
  ${If} $1 != 0
    DetailPrint "Could not mark HKLM\$0 so that Windows never virtualises it (reg.exe flags: $1): $2"
  ${Else}
    ; Each key below, and the keys below those.
    StrCpy $1 0
    ${Do}
      EnumRegKey $2 HKLM "$0" $1
      ${If} $2 == ""
        ${Break}
      ${EndIf}
      Push "$0\$2"
      Call MarkNotVirtualised
      IntOp $1 $1 + 1
    ${Loop}
  ${EndIf}
  Pop $2
  Pop $1
  Pop $0
FunctionEnd

; The files of one build tree.
!macro InstallBuild DIR
  SetOutPath "$INSTDIR"
  File "${DIR}/KOR.EXE"
  File "${DIR}/ZORVA.DLL"
  File "${DIR}/korvel.exe"
  File "${DIR}/README.txt"
  File "${DIR}/LICENSE.txt"
!ifdef HELP_PAGES
  File "${DIR}/*.html"
!endif
  SetOutPath "$INSTDIR\include"
  File "${DIR}/include/zorva.h"
  SetOutPath "$INSTDIR\lib"
  File "${DIR}/lib/libzorva.dll.a"
!macroend

Section "Korvel" SecMain
  SectionIn RO
  !insertmacro WaitUntilNotInUse "updated"
  ${If} ${RunningX64}
    !insertmacro InstallBuild "${WIN64_DIR}"
    ; For 32-bit programs that call the library.
    SetOutPath "$INSTDIR\x86"
    File "${WIN32_DIR}/ZORVA.DLL"
    SetOutPath "$INSTDIR\x86\lib"
    File "${WIN32_DIR}/lib/libzorva.dll.a"
  ${Else}
!ifndef TARGET_AMD64
    !insertmacro InstallBuild "${WIN32_DIR}"
!endif
  ${EndIf}
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"

  CreateShortcut "$SMPROGRAMS\KOR.lnk" "$INSTDIR\KOR.EXE" "" "$INSTDIR\KOR.EXE" 0 \
                 SW_SHOWNORMAL "" "Answers the password challenges of packet-radio nodes"

  !insertmacro UninstallKeyView
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "Korvel ${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMajor" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "VersionMinor" ${VERSION_MINOR}
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Korvel developers"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\KOR.EXE,0"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0

  ; The library's version values. Both builds keep their store in the
  ; registry's 32-bit view. InstallationDate is the day of this installation
  ; as the decimal number YYYYMMDD (local time): 7 December 2026 is 20261207.
  ; GetTime gives the month and the day with two digits.
  SetRegView 32
  ${GetTime} "" "L" $0 $1 $2 $3 $4 $5 $6
  WriteRegDWORD HKLM "${ZORVA_KEY}" "MajorVersion" ${VERSION_MAJOR}
  WriteRegDWORD HKLM "${ZORVA_KEY}" "MinorVersion" ${VERSION_MINOR}
  WriteRegDWORD HKLM "${ZORVA_KEY}" "Build" ${VERSION_BUILD}
  WriteRegDWORD HKLM "${ZORVA_KEY}" "InstallationDate" "$2$1$0"
  Push "${CALVEK_KEY}"
  Call MarkNotVirtualised
  SetRegView lastused
SectionEnd

Function un.onInit
  !insertmacro RequireAdmin
  SetShellVarContext all
FunctionEnd

; Removes exactly what the installer put there: files an operator added to
; the folder stay, and so does the folder then.
Section "Uninstall"
  !insertmacro WaitUntilNotInUse "removed"
  Delete "$INSTDIR\KOR.EXE"
  Delete "$INSTDIR\ZORVA.DLL"
  Delete "$INSTDIR\korvel.exe"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\LICENSE.txt"
  Delete "$INSTDIR\*.html"
  Delete "$INSTDIR\include\zorva.h"
  RMDir "$INSTDIR\include"
  Delete "$INSTDIR\lib\libzorva.dll.a"
  RMDir "$INSTDIR\lib"
  Delete "$INSTDIR\x86\ZORVA.DLL"
  Delete "$INSTDIR\x86\lib\libzorva.dll.a"
  RMDir "$INSTDIR\x86\lib"
  RMDir "$INSTDIR\x86"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\KOR.lnk"

  !insertmacro UninstallKeyView
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
  ; HKLM\SOFTWARE\Calvek stays: the client passwords and KOR's settings.
SectionEnd
