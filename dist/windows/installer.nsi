; The Windows installer: per user, no administrator. The program goes under
; %LOCALAPPDATA%\Programs, the scores live in %APPDATA%\Ghosts of Vorn, where the
; Start-menu entry starts the game, and the uninstaller keeps them.
; makensis -DVERSION=1.0.0 -DFILES=files.nsh -DUNFILES=unfiles.nsh -DOUTFILE=setup.exe [-DICON=game.ico]
; FILES holds the `File` lines of the staged folder, UNFILES the matching `Delete` lines.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma

!define NAME "Ghosts of Vorn"
!define EXE "ghosts-of-vorn.exe"
!define PUBLISHER "The Ghosts of Vorn developers"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\GhostsOfVorn"

Name "The ${NAME}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${NAME}"
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"
BrandingText "The ${NAME} ${VERSION}"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "The ${NAME}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "FileDescription" "The ${NAME} installer"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

!include "MUI2.nsh"
!include "LogicLib.nsh"
!ifdef ICON
  !define MUI_ICON "${ICON}"
  !define MUI_UNICON "${ICON}"
!endif
!define MUI_FINISHPAGE_RUN
!define MUI_FINISHPAGE_RUN_TEXT "Play The ${NAME}"
!define MUI_FINISHPAGE_RUN_FUNCTION RunGame
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

; Writes $1 to the file $0 as UTF-8 without a byte-order mark: FileWrite would write the ANSI code
; page, which breaks a path holding characters outside it (a user name with accents, say).
Function WriteUTF8
  System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r1, i -1, p 0, i 0, p 0, p 0) i .r2'
  System::Alloc $2
  Pop $3
  System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r1, i -1, p r3, i r2, p 0, p 0) i .r2'
  IntOp $2 $2 - 1 ; less the closing NUL
  ClearErrors
  FileOpen $4 $0 w
  ${If} ${Errors}
    System::Free $3
    SetErrors
    Return
  ${EndIf}
  System::Call 'kernel32::WriteFile(p r4, p r3, i r2, *i .r5, p 0) i .r6'
  FileClose $4
  System::Free $3
  ClearErrors
  ${If} $6 == 0
  ${OrIf} $5 != $2
    SetErrors
  ${EndIf}
FunctionEnd

; The game looks for datapath.cfg in the folder it runs in, so Exec starts it in the scores folder.
Function RunGame
  SetOutPath "$APPDATA\${NAME}"
  Exec '"$INSTDIR\${EXE}"'
FunctionEnd

Section "Install"
  SetShellVarContext current
  SetOutPath "$INSTDIR"
  !include "${FILES}"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The scores folder, and where the game finds its data from there.
  CreateDirectory "$APPDATA\${NAME}"
  StrCpy $0 "$APPDATA\${NAME}\datapath.cfg"
  StrCpy $1 "[data]$\r$\npath = $INSTDIR\data.dat$\r$\n"
  Call WriteUTF8
  ${If} ${Errors}
    MessageBox MB_ICONSTOP "Cannot write $0" /SD IDOK
    Abort
  ${EndIf}

  ; The shortcut's working folder is the current output path.
  SetOutPath "$APPDATA\${NAME}"
  CreateShortcut "$SMPROGRAMS\The ${NAME}.lnk" "$INSTDIR\${EXE}" "" "$INSTDIR\${EXE}" 0 \
    SW_SHOWNORMAL "" "Hunt the ghosts of Vorn"

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "The ${NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\${EXE}",0'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  SetOutPath "$INSTDIR"
SectionEnd

; The program, its shortcut and its registration go; the player's scores and log stay.
Section "Uninstall"
  SetShellVarContext current
  !include "${UNFILES}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  Delete "$SMPROGRAMS\The ${NAME}.lnk"
  Delete "$APPDATA\${NAME}\datapath.cfg"
  RMDir "$APPDATA\${NAME}"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
