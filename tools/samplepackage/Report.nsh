; ${Report} "Key=value": one line of the report that the parent installer reads from the
; standard output handle it gave us. A line is its text in UTF-8 followed by CR LF, written
; with a single WriteFile so that the reader never sees half a line from us.
;
; NSIS programs are GUI programs without a console; the handle is only there when the
; parent passed one (a pipe), so a missing or broken handle makes the write a no-op.
; The conversion goes through WideCharToMultiByte rather than the System plug-in's ANSI
; strings because install folders may hold characters that no ANSI code page has.

!ifndef LUMIVANE_REPORT_NSH
!define LUMIVANE_REPORT_NSH

!include LogicLib.nsh

!define Report "!insertmacro LumivaneReport"
!define /math LUMIVANE_REPORT_MAX_TEXT ${NSIS_MAX_STRLEN} - 3

!macro LumivaneReport LINE
  Push `${LINE}`
  !ifdef __UNINSTALL__
    Call un.LumivaneWriteReportLine
  !else
    Call LumivaneWriteReportLine
  !endif
!macroend

; Installer and uninstaller each need their own copy of a function.
!macro LumivaneDefineReportFunction PREFIX
  Function ${PREFIX}LumivaneWriteReportLine
    Exch $0
    Push $1
    Push $2
    Push $3
    Push $4
    ; A line longer than an NSIS string is cut so that its CR LF still fits: a line
    ; without its end would run into the next one.
    StrCpy $0 $0 ${LUMIVANE_REPORT_MAX_TEXT}
    StrCpy $0 "$0$\r$\n"
    System::Call 'kernel32::GetStdHandle(i -11) p .r1'
    ${If} $1 P<> 0
    ${AndIf} $1 P<> -1
      ; First the size, terminator included, then the bytes.
      System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p 0, i 0, p 0, p 0) i .r2'
      ${If} $2 > 1
        System::Alloc $2
        Pop $3
        ${If} $3 P<> 0
          System::Call 'kernel32::WideCharToMultiByte(i 65001, i 0, w r0, i -1, p r3, i r2, p 0, p 0) i .r2'
          ${If} $2 > 1
            IntOp $2 $2 - 1
            System::Call 'kernel32::WriteFile(p r1, p r3, i r2, *i .r4, p 0)'
          ${EndIf}
          System::Free $3
        ${EndIf}
      ${EndIf}
    ${EndIf}
    Pop $4
    Pop $3
    Pop $2
    Pop $1
    Pop $0
  FunctionEnd
!macroend

!insertmacro LumivaneDefineReportFunction ""
!insertmacro LumivaneDefineReportFunction "un."

!endif
