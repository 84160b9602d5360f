; The TestKVE installer, made by scripts/release-windows with makensis:
;   makensis -DVERSION=5.0.0.1105 -DWIDTH=64 -DSTAGE=<installed tree> -DFILES=<file list>
;            -DOUTFILE=<setup.exe> testkve.nsi
; It installs the tree under Program Files, registers it in Apps & features with its version,
; adds its bin folder to the system PATH when asked (the component, or /PATH on a silent
; install's command line), and uninstalls exactly the files it installed.
Unicode true
!if ${WIDTH} == 64
  Target amd64-unicode
  !define PROGRAM_FILES "$PROGRAMFILES64"
!else
  Target x86-unicode
  !define PROGRAM_FILES "$PROGRAMFILES"
!endif
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\TestKVE"
!define ENVIRONMENT_KEY "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"

!include "LogicLib.nsh"
!include "FileFunc.nsh"
!include "WordFunc.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"

Name "TestKVE ${VERSION}"
OutFile "${OUTFILE}"
InstallDir "${PROGRAM_FILES}\TestKVE"
RequestExecutionLevel admin
SetCompressor zlib
ShowInstDetails show
ShowUninstDetails show
VIProductVersion "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductName" "TestKVE"
VIAddVersionKey /LANG=1033 "CompanyName" "TestKVE"
VIAddVersionKey /LANG=1033 "FileDescription" "TestKVE ${VERSION} setup"
VIAddVersionKey /LANG=1033 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=1033 "LegalCopyright" "Copyright 2026 The TestKVE developers"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Section "TestKVE (programs, engine SDK, documents)" SectionMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  File /r "${STAGE}\*.*"
  WriteUninstaller "$INSTDIR\Uninstall.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "TestKVE ${VERSION} (${WIDTH}-bit)"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "Publisher" "TestKVE"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayIcon" "$INSTDIR\bin\TestKVE.exe"
  WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\Uninstall.exe"'
  WriteRegStr HKLM "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\Uninstall.exe" /S'
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD HKLM "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section /o "Add TestKVE to the system PATH" SectionPath
  ReadRegStr $0 HKLM "${ENVIRONMENT_KEY}" "Path"
  ${WordFind} "$0" ";" "E/$INSTDIR\bin" $1
  ${If} ${Errors}
    ${If} $0 == ""
      StrCpy $0 "$INSTDIR\bin"
    ${Else}
      StrCpy $0 "$0;$INSTDIR\bin"
    ${EndIf}
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$0"
    WriteRegDWORD HKLM "${UNINSTALL_KEY}" "AddedToPath" 1
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
SectionEnd

Function .onInit
  SetRegView ${WIDTH}
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} "$0" "/PATH" $1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SectionPath}
  ${EndIf}
FunctionEnd

Function un.onInit
  SetRegView ${WIDTH}
FunctionEnd

Section "Uninstall"
  ReadRegDWORD $0 HKLM "${UNINSTALL_KEY}" "AddedToPath"
  ${If} $0 == 1
    ReadRegStr $1 HKLM "${ENVIRONMENT_KEY}" "Path"
    ${un.WordReplace} "$1" ";$INSTDIR\bin" "" "+" $2
    ${un.WordReplace} "$2" "$INSTDIR\bin" "" "+" $2
    WriteRegExpandStr HKLM "${ENVIRONMENT_KEY}" "Path" "$2"
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${EndIf}
  ; Only what was installed goes: a file the user added to the folder keeps it.
  !include "${FILES}"
  Delete "$INSTDIR\Uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKLM "${UNINSTALL_KEY}"
SectionEnd
