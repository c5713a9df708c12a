; The Vanelume package as a distributor ships it: the parent installer downloads it, runs it
; hidden with its standard output on a pipe, and follows the lines it reports there (see
; Report.nsh). It installs lumivane.exe, its own uninstaller as uninst.ep, and the two INI
; files the parent and the product read. The uninstaller reports in the same way.
;
; Defines passed by the build:
;   LUMIVANE_TARGET   amd64-unicode or x86-unicode, matching the build's processor
;   LUMIVANE_EXE      the built lumivane.exe to pack
;   LUMIVANE_OUTFILE  where to write the package
;   LUMIVANE_VERSION  the product version written to set.ini, e.g. 1.7.9
;
; Switches of the package (all optional, unknown ones are ignored):
;   /S                          silent; the package is always silent anyway
;   -instdir="<folder>"         install folder when /D= is absent
;   -dsc=true|false             desktop shortcut
;   -ssc=true|false             quick-launch shortcut
;   -inslang="<tag>"            language of the product, e.g. zh-CN (default en-US)
;   -console= -version= -adminact= -authorizationact=   accepted and ignored
;   /D=<folder>                 NSIS's own; last, unquoted, wins over -instdir
; Without either folder switch the package installs to $LOCALAPPDATA\Lumivane, which needs
; no elevation. A /D= folder that NSIS refuses (not absolute, a drive root, or below a
; file) fails the install rather than falling back to another folder. GetOptions ends an
; unquoted value at the next '-', so values that may hold one (folders, zh-CN) are quoted.
;
; Switches of the uninstaller (uninst.ep, run from a copy):
;   /S  _?=<install folder>     NSIS's own: silent, and work on that folder in place
;   -console= -adminact= -authorizationact=   accepted and ignored
; A _?= folder that NSIS refuses ends the uninstaller before any of this script runs:
; exit code 2 and no report at all. Without _?= NSIS restarts the uninstaller from a
; temporary copy that does not inherit our standard output, so nothing is reported either.

!macro LumivaneRequireDefine NAME
  !ifndef ${NAME}
    !error "Build with -D${NAME}=: see the top of this script"
  !endif
!macroend
!insertmacro LumivaneRequireDefine LUMIVANE_TARGET
!insertmacro LumivaneRequireDefine LUMIVANE_EXE
!insertmacro LumivaneRequireDefine LUMIVANE_OUTFILE
!insertmacro LumivaneRequireDefine LUMIVANE_VERSION

Unicode true
Target ${LUMIVANE_TARGET}
Name "Vanelume"
OutFile "${LUMIVANE_OUTFILE}"
; No page, no progress window, no message box: a hidden child has nobody to answer them.
SilentInstall silent
SilentUnInstall silent
; The parent installer is already elevated when it must be; asking again from a hidden
; child would fail, and the default folder needs no rights.
RequestExecutionLevel user
SetCompressor /SOLID lzma

VIProductVersion "${LUMIVANE_VERSION}.0"
VIAddVersionKey "ProductName" "Vanelume"
VIAddVersionKey "FileDescription" "Vanelume package"
VIAddVersionKey "FileVersion" "${LUMIVANE_VERSION}"
VIAddVersionKey "ProductVersion" "${LUMIVANE_VERSION}"
VIAddVersionKey "CompanyName" "QuorvexSoft"
VIAddVersionKey "LegalCopyright" "QuorvexSoft"

!include LogicLib.nsh
!include FileFunc.nsh
!include Report.nsh

!define SHORTCUT_NAME "Vanelume.lnk"

Var DesktopShortcut
Var QuickLaunchShortcut
Var ProductLanguage
Var RejectedFolder

; Reports the failure, then ends the program at once with a non-zero exit code: the
; parent takes the Error= line as the reason and State=Fail as the end of the report.
!macro LumivaneFail TEXT
  ${Report} "Error=${TEXT}"
  ${Report} "State=Fail"
  SetErrorLevel 2
  Quit
!macroend
!define Fail "!insertmacro LumivaneFail"

; Value of a "-name=" switch, quotes removed, or DEFAULT when the switch is absent.
!macro LumivaneSwitch PARAMETERS NAME DEFAULT RESULT
  ClearErrors
  ${GetOptions} `${PARAMETERS}` `${NAME}` ${RESULT}
  ${If} ${Errors}
    StrCpy ${RESULT} `${DEFAULT}`
  ${EndIf}
!macroend
!define SwitchValue "!insertmacro LumivaneSwitch"

; The text after the last " /D=" of the process's own command line, or "" without one.
; NSIS cuts /D= from $CMDLINE, and when it finds the folder unusable (not absolute, a
; drive root, or below a file) it also leaves $INSTDIR empty, which would quietly send the
; install elsewhere; the raw command line still tells that a folder was asked for.
Function RawInstallFolderSwitch
  Push $0
  Push $1
  Push $2
  System::Call 'kernel32::GetCommandLineW() w .r0'
  StrLen $1 $0
  IntOp $1 $1 - 4
  ${DoWhile} $1 >= 0
    StrCpy $2 $0 4 $1
    ${If} $2 S== " /D="
      IntOp $1 $1 + 4
      StrCpy $0 $0 "" $1
      ${ExitDo}
    ${EndIf}
    IntOp $1 $1 - 1
  ${Loop}
  ${If} $1 < 0
    StrCpy $0 ""
  ${EndIf}
  Pop $2
  Pop $1
  Exch $0
FunctionEnd

Function .onInit
  ${GetParameters} $R0
  ${If} $INSTDIR == ""
    Call RawInstallFolderSwitch
    Pop $RejectedFolder
  ${EndIf}
  ${If} $INSTDIR == ""
  ${AndIf} $RejectedFolder == ""
    ${SwitchValue} $R0 "-instdir=" "" $INSTDIR
  ${EndIf}
  ${If} $INSTDIR == ""
  ${AndIf} $RejectedFolder == ""
    StrCpy $INSTDIR "$LOCALAPPDATA\Lumivane"
  ${EndIf}
  ${SwitchValue} $R0 "-dsc=" "false" $DesktopShortcut
  ${SwitchValue} $R0 "-ssc=" "false" $QuickLaunchShortcut
  ${SwitchValue} $R0 "-inslang=" "" $ProductLanguage
  ${If} $ProductLanguage == ""
    StrCpy $ProductLanguage "en-US"
  ${EndIf}
FunctionEnd

Section "Install"
  ${Report} "Encode=UTF8"
  ${Report} "Progress=0"

  ${If} $RejectedFolder != ""
    ${Fail} "The install folder $RejectedFolder is not usable"
  ${EndIf}
  ClearErrors
  CreateDirectory "$INSTDIR"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\*.*"
    ${Fail} "Cannot create the install folder $INSTDIR"
  ${EndIf}
  SetOutPath "$INSTDIR"
  ${Report} "Progress=0.1"

  ; Check each file as it is written: a folder on a full or read-only disk must give a
  ; reason, not a silently half-installed product.
  ClearErrors
  File "/oname=lumivane.exe" "${LUMIVANE_EXE}"
  ${If} ${Errors}
    ${Fail} "Cannot write $INSTDIR\lumivane.exe"
  ${EndIf}
  ${Report} "Progress=0.4"

  ; The parent copies this file elsewhere and runs the copy to remove the product.
  ClearErrors
  WriteUninstaller "$INSTDIR\uninst.ep"
  ${If} ${Errors}
    ${Fail} "Cannot write $INSTDIR\uninst.ep"
  ${EndIf}
  ${Report} "Progress=0.6"

  ClearErrors
  WriteINIStr "$INSTDIR\set.ini" "Uninstall" "IsOverride" "true"
  WriteINIStr "$INSTDIR\set.ini" "Install" "Version" "${LUMIVANE_VERSION}"
  WriteINIStr "$INSTDIR\config.ini" "Install" "Language" "$ProductLanguage"
  ${If} ${Errors}
  ${OrIfNot} ${FileExists} "$INSTDIR\set.ini"
  ${OrIfNot} ${FileExists} "$INSTDIR\config.ini"
    ${Fail} "Cannot write the settings files in $INSTDIR"
  ${EndIf}
  ${Report} "Progress=0.8"

  ; Shortcuts are a convenience: a desktop that refuses them does not fail the install.
  ${If} $DesktopShortcut == "true"
    CreateShortCut "$DESKTOP\${SHORTCUT_NAME}" "$INSTDIR\lumivane.exe"
  ${EndIf}
  ${If} $QuickLaunchShortcut == "true"
    CreateDirectory "$QUICKLAUNCH"
    CreateShortCut "$QUICKLAUNCH\${SHORTCUT_NAME}" "$INSTDIR\lumivane.exe"
  ${EndIf}
  ${Report} "Progress=0.9"
  ${Report} "Progress=1"

  ${Report} "InstPath=$INSTDIR"
  ${Report} "ExePath=$INSTDIR\lumivane.exe"
  ${Report} "UninstEp=$INSTDIR\uninst.ep"
  ${Report} "StartupStyle=UserStartup"
  ${Report} "State=Success"
SectionEnd

Section "Uninstall"
  ${Report} "Encode=UTF8"
  ${Report} "Progress=0"

  ; The product goes first, and nothing else goes while it stays: a product that still
  ; runs must find its settings when the user tries again after closing it. Windows, and
  ; Wine too, refuse to delete the file of a running program, which is the test here;
  ; looking for its window instead would also stop on another copy running elsewhere.
  ClearErrors
  Delete "$INSTDIR\lumivane.exe"
  ${If} ${Errors}
  ${OrIf} ${FileExists} "$INSTDIR\lumivane.exe"
    ${Fail} "Cannot delete $INSTDIR\lumivane.exe: close Vanelume (lumivane.exe) and try again"
  ${EndIf}
  ${Report} "Progress=0.4"

  Delete "$INSTDIR\set.ini"
  Delete "$INSTDIR\config.ini"
  Delete "$DESKTOP\${SHORTCUT_NAME}"
  Delete "$QUICKLAUNCH\${SHORTCUT_NAME}"
  ${Report} "Progress=0.7"

  ; Run from a copy elsewhere, this file is not in use; run in place it stays behind. The
  ; folder goes only when it is empty: files the user put there are not ours to remove.
  Delete "$INSTDIR\uninst.ep"
  RMDir "$INSTDIR"
  ${Report} "Progress=1"
  ${Report} "State=Success"
SectionEnd
