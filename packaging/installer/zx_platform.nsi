; The Lumetra platform's installer: the 64-bit and 32-bit libraries, settingsxfer with a Start-menu
; entry, and the headers, import libraries and CMake packages as an optional component. setupaid
; dresses it: the company signature, the web link on the first page and the floating message
; window while files are copied. The uninstaller removes what was installed and nothing else (the
; settings store stays).
;
; Built by scripts/build-installer.sh, which defines VERSION (x.y.z), STAGE (the installed trees
; x64/ and x86/), FILES (the generated file lists) and OUTFILE.
Unicode true
!include "LogicLib.nsh"
!include "nsDialogs.nsh"
!include "x64.nsh"

!define PRODUCT "Lumetra Platform"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LumetraPlatform"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"
; setupaid is a 32-bit library with __stdcall functions and narrow texts ("m" in the System
; plugin's signatures), as this installer is a 32-bit program.
!define SETUPAID "$PLUGINSDIR\setupaid.dll"

Name "${PRODUCT} ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "$PROGRAMFILES64\${PRODUCT}"
RequestExecutionLevel admin
; The signature takes the place of the branding text.
BrandingText " "
ShowInstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "${PRODUCT}"
VIAddVersionKey "CompanyName" "Varnholt"
VIAddVersionKey "FileDescription" "${PRODUCT} setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0"
VIAddVersionKey "LegalCopyright" "Varnholt"

Var Placeholder

Page custom WelcomeShow WelcomeLeave
Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

!macro ShowMessage TEXT
  ${IfNot} ${Silent}
    System::Call '${SETUPAID}::SdShowMsg2(m "${TEXT}", i 1) i .r0'
  ${EndIf}
!macroend

Function .onInit
  ${IfNot} ${RunningX64}
    MessageBox MB_ICONSTOP|MB_OK "${PRODUCT} needs 64-bit Windows." /SD IDOK
    Abort
  ${EndIf}
  SetShellVarContext all
  InitPluginsDir
  File "/oname=$PLUGINSDIR\setupaid.dll" "${STAGE}/x86/bin/setupaid.dll"
FunctionEnd

Function .onGUIInit
  ; The signature sits at (2, 297) of the window's client area, 15 pixels high: make the window tall
  ; enough to show it below the buttons.
  System::Call "*(i, i, i, i) p .r1"
  System::Call 'user32::GetClientRect(p $HWNDPARENT, p r1)'
  System::Call "*$1(i, i, i, i .r2)"
  System::Call 'user32::GetWindowRect(p $HWNDPARENT, p r1)'
  System::Call "*$1(i .r3, i .r4, i .r5, i .r6)"
  System::Free $1
  IntOp $7 320 - $2
  ${If} $7 > 0
    IntOp $5 $5 - $3
    IntOp $6 $6 - $4
    IntOp $6 $6 + $7
    System::Call 'user32::SetWindowPos(p $HWNDPARENT, p 0, i 0, i 0, i r5, i r6, i 0x16)'
  ${EndIf}
  System::Call '${SETUPAID}::show_sign(p $HWNDPARENT) i .r0'
FunctionEnd

Function WelcomeShow
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "Setup installs the Windows libraries of the ${PRODUCT} ${VERSION} (64-bit and 32-bit) and the settings transfer utility."
  Pop $0
  ${NSD_CreateLabel} 0 48u 100% 12u "More about the platform:"
  Pop $0
  ${NSD_CreateLabel} 0 62u 120u 10u ""
  Pop $Placeholder
  ; The link takes the placeholder's place on the installer's window.
  System::Call '${SETUPAID}::odkaz(p $HWNDPARENT, p $Placeholder) i .r0'
  nsDialogs::Show
FunctionEnd

Function WelcomeLeave
  ; The link belongs to the first page only.
  FindWindow $0 "odkaz" "" $HWNDPARENT
  ShowWindow $0 ${SW_HIDE}
FunctionEnd

Section "${PRODUCT} (required)" SecRuntime
  SectionIn RO
  !insertmacro ShowMessage "Installing the ${PRODUCT}..."
  !include "${FILES}/runtime.nsh"
  CreateDirectory "${MENU_FOLDER}"
  ; The shortcut's "Start in" is the output folder: the 64-bit bin\, not the last one of the list.
  SetOutPath "$INSTDIR\bin"
  CreateShortCut "${MENU_FOLDER}\Lumetra Settings Transfer.lnk" "$INSTDIR\bin\settingsxfer.exe"
  WriteUninstaller "$INSTDIR\uninstall.exe"
  SetRegView 64
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "Varnholt"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  SetRegView lastused
SectionEnd

Section "Development files (headers, import libraries, CMake packages)" SecDevelopment
  !insertmacro ShowMessage "Installing the development files..."
  !include "${FILES}/development.nsh"
SectionEnd

Section "-Finish"
  ${IfNot} ${Silent}
    System::Call '${SETUPAID}::SdShowMsg2(m "", i 0) i .r0'
  ${EndIf}
SectionEnd

Function un.onInit
  SetShellVarContext all
FunctionEnd

Section "Uninstall"
  !include "${FILES}/uninstall.nsh"
  Delete "${MENU_FOLDER}\Lumetra Settings Transfer.lnk"
  RMDir "${MENU_FOLDER}"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  SetRegView 64
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
