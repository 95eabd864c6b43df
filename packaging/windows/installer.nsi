; The game's installer for Windows, for the user who runs it alone: no
; administrator prompt, installed into %LOCALAPPDATA%\Programs\QO STARFOLD
; with a Start-menu shortcut, listed under Settings > Apps, and an
; uninstaller that leaves the player's saves (%APPDATA%\qostarfold).
;
;   makensis -DVERSION=1.0.0 -DSTAGE=DIR -DOUTFILE=qostarfold-setup.exe -DICON=qostarfold.ico installer.nsi
;
; STAGE holds what is installed: qostarfold.exe, qostarfold.com, qostarfold.dat, README.txt,
; licences\. /S installs or uninstalls without a window; /D=DIR (last on
; the command line) installs elsewhere.

Unicode true
; A 64-bit installer for the 64-bit game; Debian's wine64 alone (without
; wine32) cannot run NSIS's default 32-bit one.
Target amd64-unicode
SetCompressor /SOLID lzma
RequestExecutionLevel user
ManifestDPIAware true

!define APP_NAME "QO STARFOLD"
!define PUBLISHER "Quillmoth Studio"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\com.quillmoth.qostarfold"

Name "${APP_NAME}"
BrandingText "${APP_NAME} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$LOCALAPPDATA\Programs\${APP_NAME}"
; A second install goes where the first one went.
InstallDirRegKey HKCU "${UNINSTALL_KEY}" "InstallLocation"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${APP_NAME}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${APP_NAME} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 ${PUBLISHER}"

!include "MUI2.nsh"
!include "FileFunc.nsh"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!define MUI_FINISHPAGE_RUN "$INSTDIR\qostarfold.exe"
!define MUI_FINISHPAGE_RUN_TEXT "Start ${APP_NAME}"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Section "Install"
  SetOutPath "$INSTDIR"
  File "${STAGE}\qostarfold.exe"
  File "${STAGE}\qostarfold.com"
  File "${STAGE}\qostarfold.dat"
  File "${STAGE}\README.txt"
  SetOutPath "$INSTDIR\licences"
  File "${STAGE}\licences\*.txt"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  ; The shortcut starts the game in its own folder, with its icon.
  CreateShortcut "$SMPROGRAMS\${APP_NAME}.lnk" "$INSTDIR\qostarfold.exe" "" "$INSTDIR\qostarfold.exe" 0

  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${APP_NAME}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\qostarfold.exe,0"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

; Only what the installer put there goes: the saves in %APPDATA%\qostarfold
; stay, and so does anything else a player kept in the folder.
Section "Uninstall"
  Delete "$SMPROGRAMS\${APP_NAME}.lnk"
  Delete "$INSTDIR\qostarfold.exe"
  Delete "$INSTDIR\qostarfold.com"
  Delete "$INSTDIR\qostarfold.dat"
  Delete "$INSTDIR\README.txt"
  Delete "$INSTDIR\licences\*.txt"
  RMDir "$INSTDIR\licences"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
SectionEnd
