; The Lumetra platform's installer: the 64-bit and 32-bit libraries, settingsxfer with a Start-menu
; entry, and the headers, import libraries and CMake packages as an optional component. setupaid
; dresses it: the company signature, the web link on the first page, the feature tree of the
; Features page and the floating message window while files are copied. The uninstaller removes
; what was installed and nothing else (the settings store stays), and the folders above the
; installation folder that the installer made, when they are empty.
;
; Built by scripts/build-installer.sh, which defines VERSION (x.y.z), STAGE (the installed trees
; x64/ and x86/), FILES (the generated file lists) and OUTFILE. For the page tests on hosts that run
; no 32-bit programs it also builds a 64-bit installer of the same pages (TARGET amd64-unicode) with
; the 64-bit setupaid of the tests (SETUPAID_DLL); the 32-bit one is the one that ships.
!ifdef TARGET
Target ${TARGET}
!else
Unicode true
!endif
!ifndef SETUPAID_DLL
!define SETUPAID_DLL "${STAGE}/x86/bin/setupaid.dll"
!endif
!include "LogicLib.nsh"
!include "nsDialogs.nsh"
!include "x64.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"

!define PRODUCT "Lumetra Platform"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\LumetraPlatform"
!define MENU_FOLDER "$SMPROGRAMS\${PRODUCT}"
; setupaid is a 32-bit library with __stdcall functions and narrow texts ("m" in the System
; plugin's signatures), as this installer is a 32-bit program (the 64-bit test installer takes the
; 64-bit build, with the same signatures).
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
Var Features ; the feature tree of the Features page
Var MadeFolder ; the outermost folder the installation made for $INSTDIR

Page custom WelcomeShow
Page custom FeaturesShow FeaturesLeave
Page directory
Page instfiles "" InstFilesShow
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
  File "/oname=$PLUGINSDIR\setupaid.dll" "${SETUPAID_DLL}"
FunctionEnd

!macro ControlRect CONTROL
  ; The rectangle of a control of the installer's window in the window's client coordinates:
  ; $3 left, $4 top, $5 right, $6 bottom; the control's window in $8.
  GetDlgItem $8 $HWNDPARENT ${CONTROL}
  System::Call "*(i, i, i, i) p .r9"
  System::Call 'user32::GetWindowRect(p r8, p r9)'
  System::Call 'user32::MapWindowPoints(p 0, p $HWNDPARENT, p r9, i 2)'
  System::Call "*$9(i .r3, i .r4, i .r5, i .r6)"
  System::Free $9
!macroend

!macro MoveBy CONTROL DX DY
  ; Moves a control of the installer's window by (DX, DY) pixels.
  !insertmacro ControlRect ${CONTROL}
  IntOp $0 $3 + ${DX}
  IntOp $1 $4 + ${DY}
  System::Call 'user32::SetWindowPos(p r8, p 0, i r0, i r1, i 0, i 0, i 0x15)'
!macroend

Function .onGUIInit
  ; The signature sits at (2, 297) of the window's client area, 100 x 15 pixels: the window grows
  ; to show it, the buttons and the line above them move down with the bottom edge (no empty band
  ; opens below them), and Cancel moves from the left to the right of Next, as in Windows' own
  ; wizards, leaving the bottom left corner to the signature.
  System::Call "*(i, i, i, i) p .r1"
  System::Call 'user32::GetClientRect(p $HWNDPARENT, p r1)'
  System::Call "*$1(i, i, i, i .r2)"
  System::Call 'user32::GetWindowRect(p $HWNDPARENT, p r1)'
  System::Call "*$1(i .r3, i .r4, i .r5, i .r6)"
  System::Free $1
  IntOp $7 316 - $2
  ${If} $7 < 0
    StrCpy $7 0
  ${EndIf}
  IntOp $5 $5 - $3
  IntOp $6 $6 - $4
  IntOp $6 $6 + $7
  System::Call 'user32::SetWindowPos(p $HWNDPARENT, p 0, i 0, i 0, i r5, i r6, i 0x16)'
  !insertmacro MoveBy 1035 0 $7
  !insertmacro MoveBy 1028 0 $7
  ; Cancel's right edge goes where Next's was; Back and Next move left by Cancel's width and a gap.
  !insertmacro ControlRect 1
  StrCpy $R0 $5
  !insertmacro ControlRect 2
  IntOp $R1 $5 - $3
  IntOp $R2 $R0 - $5
  IntOp $R3 $R1 + 8
  IntOp $R3 0 - $R3
  !insertmacro MoveBy 2 $R2 $7
  !insertmacro MoveBy 1 $R3 $7
  !insertmacro MoveBy 3 $R3 $7
  System::Call '${SETUPAID}::show_sign(p $HWNDPARENT) i .r0'
FunctionEnd

Function WelcomeShow
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 36u "Setup installs the Windows libraries of the ${PRODUCT} ${VERSION} (64-bit and 32-bit) and the settings transfer utility."
  Pop $1
  ${NSD_CreateLabel} 0 48u 100% 12u "More about the platform:"
  Pop $1
  ; The link is a child of the page, above it, and goes with it when the page is left. setupaid
  ; places it 3 pixels left of and 22 above its placeholder (the offsets of a framed window).
  ${NSD_CreateLabel} 3 122 120u 10u ""
  Pop $Placeholder
  System::Call '${SETUPAID}::odkaz(p r0, p $Placeholder) i .r1'
  nsDialogs::Show
FunctionEnd

; The message window belongs to the page's user-interface thread, which dispatches its messages
; while the sections run on a thread of their own (they only change its text and remove it).
Function InstFilesShow
  !insertmacro ShowMessage "Installing the ${PRODUCT}..."
FunctionEnd

Section "${PRODUCT} (required)" SecRuntime
  SectionIn RO
  ; The folders that the installation makes above $INSTDIR, for the uninstaller: the outermost one.
  StrCpy $MadeFolder ""
  StrCpy $1 $INSTDIR
  ${Do}
    ${GetParent} $1 $1
    ${If} $1 == ""
    ${OrIf} ${FileExists} "$1\*.*"
      ${Break}
    ${EndIf}
    StrCpy $MadeFolder $1
  ${Loop}
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
  WriteRegStr HKLM "${UNINSTALL_KEY}" "MadeFolder" "$MadeFolder"
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

; The Features page: setupaid's feature tree (a tree view with its check-box state images), one
; item per section; the choice is read back into the sections when the page is left.
Function FeaturesShow
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 20u "Choose the parts of the ${PRODUCT} to install. The platform itself is always installed."
  Pop $1
  ; WS_VISIBLE|WS_CHILD|WS_TABSTOP|TVS_CHECKBOXES|TVS_SHOWSELALWAYS, with a sunken edge.
  nsDialogs::CreateControl "SysTreeView32" 0x50010120 0x200 0 24u 100% 90u ""
  Pop $Features
  System::Call '${SETUPAID}::TreeView(p $Features, m "") i .r1'
  System::Call '${SETUPAID}::TreeViewFunction(p $Features, i 1, m "${PRODUCT} (required)", i 2) i .r1'
  SectionGetFlags ${SecDevelopment} $2
  IntOp $2 $2 & ${SF_SELECTED}
  System::Call '${SETUPAID}::TreeViewFunction(p $Features, i 1, m "Development files (headers, import libraries, CMake packages)", i r2) i .r1'
  System::Call '${SETUPAID}::TreeViewCheck(p $Features) i .r1'
  nsDialogs::Show
FunctionEnd

Function FeaturesLeave
  ; TVM_GETNEXTITEM (root, then the next item), TVM_GETITEMSTATE with the state-image bits:
  ; state image 2 is a checked box.
  SendMessage $Features 0x110A 0 0 $1
  SendMessage $Features 0x110A 1 $1 $2
  SendMessage $Features 0x1127 $2 0xF000 $3
  IntOp $3 $3 >> 12
  ${If} $3 == 2
    SectionSetFlags ${SecDevelopment} ${SF_SELECTED}
  ${Else}
    SectionSetFlags ${SecDevelopment} 0
  ${EndIf}
FunctionEnd

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
  ; The folders above $INSTDIR that the installation made go too, each only when empty.
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "MadeFolder"
  ${If} $0 != ""
    ${GetParent} $INSTDIR $1
    ${Do}
      RMDir $1
      ${If} $1 == $0
      ${OrIf} $1 == ""
        ${Break}
      ${EndIf}
      ${GetParent} $1 $1
    ${Loop}
  ${EndIf}
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
