; The Windows installer of the 64-bit VST3 and CLAP plug-ins (scripts/dist.sh runs makensis on it).
;
;   makensis -DVERSION=2.0.0 -DPLUGINS=<folder with vst3/ and clap/> -DSIZE_KB=<their size>
;            -DLICENSE=<text file> -DOUTFILE=<setup.exe> windows-installer.nsi
;
; VST3 bundles go into Common Files\VST3, CLAP files into Common Files\CLAP (the folders
; every 64-bit host scans), each format a component of its own. The uninstaller sits in
; Program Files\Vexa LP Filter 2 and is registered in Add/Remove Programs.
; Silent: setup.exe /S installs both formats; /NOVST3 or /NOCLAP leaves one out.
; Uninstall.exe /S removes silently.

Unicode true
Target amd64-unicode

!define PRODUCT "Vexa LP Filter 2"
!define PUBLISHER "Vexa audio team"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VexaLPFilter2"

!include "MUI2.nsh"
!include "FileFunc.nsh"
!include "LogicLib.nsh"
!include "x64.nsh"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
SetCompressor /SOLID lzma
BrandingText "${PRODUCT} ${VERSION}"

!define MUI_COMPONENTSPAGE_NODESC
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "English"

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "ProductVersion" "${VERSION}"
VIAddVersionKey "FileVersion" "${VERSION}"
VIAddVersionKey "CompanyName" "${PUBLISHER}"
VIAddVersionKey "FileDescription" "${PRODUCT} ${VERSION} plug-ins (VST3, CLAP) installer"
VIAddVersionKey "LegalCopyright" "${PUBLISHER}"

Section "-Uninstaller"
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "${PUBLISHER}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" ${SIZE_KB}
SectionEnd

Section "VST3 plug-ins (mono and stereo)" VST3
  SetOutPath "$COMMONFILES64\VST3"
  File /r "${PLUGINS}/vst3/VexaLPFilter2.vst3"
  File /r "${PLUGINS}/vst3/VexaLPFilter2Stereo.vst3"
SectionEnd

Section "CLAP plug-ins (mono and stereo)" CLAP
  SetOutPath "$COMMONFILES64\CLAP"
  File "${PLUGINS}/clap/VexaLPFilter2.clap"
  File "${PLUGINS}/clap/VexaLPFilter2Stereo.clap"
SectionEnd

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_OK|MB_ICONSTOP "${PRODUCT} needs 64-bit Windows."
    Abort
  ${EndIf}
  SetRegView 64
  ; Silent installs leave a format out with /NOVST3 or /NOCLAP.
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/NOVST3" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${VST3} 0
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/NOCLAP" $1
  ${IfNot} ${Errors}
    SectionSetFlags ${CLAP} 0
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView 64
FunctionEnd

Section "Uninstall"
  RMDir /r "$COMMONFILES64\VST3\VexaLPFilter2.vst3"
  RMDir /r "$COMMONFILES64\VST3\VexaLPFilter2Stereo.vst3"
  Delete "$COMMONFILES64\CLAP\VexaLPFilter2.clap"
  Delete "$COMMONFILES64\CLAP\VexaLPFilter2Stereo.clap"
  ; The format folders go only if nothing else is left in them.
  RMDir "$COMMONFILES64\VST3"
  RMDir "$COMMONFILES64\CLAP"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
