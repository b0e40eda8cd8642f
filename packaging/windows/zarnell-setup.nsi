; The Windows installer of Zarnell Setup, made by makensis (Debian's nsis) from the cross-built
; program: makensis -DSTAGE=<folder with the files> -DICON=<zarnell-setup.ico>
;   -DOUTFILE=<installer> -DSIZE_KB=<size of the files> -DSIGN=<packaging/windows/sign.sh>
;   zarnell-setup.nsi
; Installs under Program Files, adds a Start-menu entry and an uninstaller, and registers in
; "Apps & features"; /S installs and uninstalls silently.
; A 64-bit installer, for a 64-bit program: it starts on 64-bit Windows only, and needs no 32-bit
; part (nor Wine's) to run.
Target amd64-unicode
!include "MUI2.nsh"

!define PRODUCT "Zarnell Setup"
!define VERSION "1.0"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\ZarnellSetup"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
; The installer, and the uninstaller that it carries, are signed once written (when the signing
; script is given a key).
!finalize 'bash "${SIGN}" "%1"'
!uninstfinalize 'bash "${SIGN}" "%1"'
BrandingText "${PRODUCT} ${VERSION}"
VIProductVersion "${VERSION}.0.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "FileDescription" "${PRODUCT} installer"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "LegalCopyright" "Copyright (c) 2026 The Zarnell Setup developers, MIT licence"

!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
!insertmacro MUI_PAGE_LICENSE "${STAGE}/LICENSE.txt"
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\zarnell-setup.exe"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

Function .onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Function un.onInit
    SetRegView 64
    SetShellVarContext all
FunctionEnd

Section "Zarnell Setup"
    SetOutPath "$INSTDIR"
    File "${STAGE}/zarnell-setup.exe"
    File "${STAGE}/zarnell-cli.exe"
    File "${STAGE}/README.txt"
    File "${STAGE}/LICENSE.txt"
    SetOutPath "$INSTDIR\licenses"
    File /r "${STAGE}/licenses/*.*"
    SetOutPath "$INSTDIR"
    WriteUninstaller "$INSTDIR\uninstall.exe"
    CreateShortCut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\zarnell-setup.exe"

    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\zarnell-setup.exe,0"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "The Zarnell Setup developers"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
    WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "Uninstall"
    Delete "$SMPROGRAMS\${PRODUCT}.lnk"
    Delete "$INSTDIR\zarnell-setup.exe"
    Delete "$INSTDIR\zarnell-cli.exe"
    Delete "$INSTDIR\README.txt"
    Delete "$INSTDIR\LICENSE.txt"
    RMDir /r "$INSTDIR\licenses"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
