; An installer for the current user: puts comreg32.exe and Zentrafin5x32.dll in
; %LOCALAPPDATA%\Zentrafin5x32, has the helper register the library, and acts on its
; exit status. Silent with /S. Every step is written to %TEMP%\Zentrafin5x32-setup.log.
;
;   makensis -DHELPER=comreg32.exe -DLIBRARY=Zentrafin5x32.dll -DOUTFILE=setup.exe Zentrafin5x32-setup.nsi
;
; The helper's status: 0 registered; 11 registered while Internet Explorer is open, so
; the user must restart it before the toolbar appears; anything else (200-255 from a
; fault in the library, or a status of the system's own such as 0xC0000005) fails the
; installation, and what was copied is removed again.
Unicode true
!include LogicLib.nsh

!ifndef HELPER | LIBRARY | OUTFILE
  !error "give -DHELPER=path\comreg32.exe -DLIBRARY=path\Zentrafin5x32.dll -DOUTFILE=setup.exe"
!endif

!define PRODUCT "Zentrafin5x32"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\${PRODUCT}"
!define LOG_FILE "$TEMP\${PRODUCT}-setup.log"

Name "${PRODUCT}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\${PRODUCT}"
SetCompressor /SOLID lzma
ShowInstDetails show

Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles

Var log
Var status

; Shows a line in the details list and appends it to the log.
!macro Log text
  DetailPrint "${text}"
  FileWrite $log "${text}$\r$\n"
!macroend

; Runs the installed helper with KEYWORD; leaves its exit status in $status, as a
; decimal number and, for a status of the system's own, in hexadecimal too.
!macro RunHelper keyword
  ClearErrors
  ExecWait '"$INSTDIR\comreg32.exe" ${keyword}' $status
  ${If} ${Errors}
    StrCpy $status "none (comreg32.exe could not be started)"
  ${ElseIf} $status < 0
    IntFmt $R0 "0x%08X" $status
    StrCpy $status "$R0"
  ${EndIf}
  !insertmacro Log "comreg32.exe ${keyword} ended with status $status"
!macroend

Section "Install"
  FileOpen $log "${LOG_FILE}" a
  FileSeek $log 0 END
  SetOutPath "$INSTDIR"
  File "/oname=comreg32.exe" "${HELPER}"
  File "/oname=${PRODUCT}.dll" "${LIBRARY}"
  !insertmacro RunHelper "-rs32"
  ${If} $status == 11
    !insertmacro Log "Installed. Internet Explorer is open: restart it before the Zentrafin toolbar appears."
    MessageBox MB_OK|MB_ICONINFORMATION "Restart Internet Explorer before the Zentrafin toolbar appears." /SD IDOK
  ${ElseIf} $status != 0
    ; Nothing of the product stays: the two files and the folder go, and no uninstall
    ; entry has been written yet.
    Delete "$INSTDIR\comreg32.exe"
    Delete "$INSTDIR\${PRODUCT}.dll"
    SetOutPath "$TEMP"
    RMDir "$INSTDIR"
    !insertmacro Log "Installation failed: registering ${PRODUCT}.dll ended with status $status. Nothing was installed."
    FileClose $log
    MessageBox MB_OK|MB_ICONSTOP "Installation failed: registering ${PRODUCT}.dll ended with status $status." /SD IDOK
    SetErrorLevel 2
    Quit
  ${Else}
    !insertmacro Log "Installed."
  ${EndIf}
  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "Publisher" "Zentrafin"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
  FileClose $log
SectionEnd

; Unregisters first, while the library is still there, then removes everything. A
; failed unregistration is logged and shown, and the removal goes on: a product that
; cannot be removed helps no one.
Section "Uninstall"
  FileOpen $log "${LOG_FILE}" a
  FileSeek $log 0 END
  !insertmacro RunHelper "-urs32"
  ${If} $status != 0
  ${AndIf} $status != 11
    MessageBox MB_OK|MB_ICONEXCLAMATION "Unregistering ${PRODUCT}.dll ended with status $status; removing it anyway." /SD IDOK
  ${EndIf}
  Delete "$INSTDIR\comreg32.exe"
  Delete "$INSTDIR\${PRODUCT}.dll"
  Delete "$INSTDIR\uninstall.exe"
  RMDir "$INSTDIR"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  !insertmacro Log "Uninstalled."
  FileClose $log
SectionEnd
