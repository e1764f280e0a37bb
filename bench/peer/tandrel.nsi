; VORSK Tandrel 98 as a maintainer would package it with NSIS: the same files, keys, entries and
; shortcuts as tools/wineharness/install_product.py puts in place, and an uninstaller that removes the same
; things as uninstall.exe. The benchmark's peer; built with Debian's makensis.
;   makensis -DSTAGE=<folder with Tandrel.exe, the documents and images\> -DOUT=<installer.exe>
;            [-DUNINSTALLER_COPY=<where to put a copy of the uninstaller>] tandrel.nsi
; Installed silently with  installer.exe /S /D=<folder>.

; A 64-bit build for machines that run only wine64: -DTARGET=amd64-unicode.
!ifdef TARGET
Target ${TARGET}
!else
Unicode false
!endif
!include WinMessages.nsh
SetCompressor /SOLID lzma
RequestExecutionLevel user
Name "VORSK Tandrel 98"
Caption "VORSK Tandrel 98"
UninstallCaption "VORSK Tandrel 98"
OutFile "${OUT}"
InstallDir "$PROGRAMFILES\VORSK Software\Tandrel"
ShowUninstDetails nevershow
; The uninstaller as the installer will write it, for the benchmark's size and import figures.
!ifdef UNINSTALLER_COPY
!uninstfinalize 'cp "%1" "${UNINSTALLER_COPY}"'
!endif

!define PRODUCT_KEY "Software\VORSK Software\Tandrel"
!define VENDOR_KEY "Software\VORSK Software"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\VorskTandrel"
!define APP_PATH_KEY "Software\Microsoft\Windows\CurrentVersion\App Paths\Tandrel.exe"
!define SHORTCUT "VORSK Tandrel 98.lnk"

Page instfiles
UninstPage instfiles

Section "Tandrel"
    SetShellVarContext current
    SetOutPath "$INSTDIR"
    File /r "${STAGE}\*.*"
    WriteUninstaller "$INSTDIR\uninstall.exe"

    WriteRegStr HKLM "${PRODUCT_KEY}" "InstallPath" "$INSTDIR"
    WriteRegStr HKLM "${PRODUCT_KEY}" "Version" "1.0"
    WriteRegStr HKCU "${PRODUCT_KEY}" "User" "Tester"
    WriteRegDWORD HKCU "${PRODUCT_KEY}" "Runs" 7
    WriteRegStr HKCU "${PRODUCT_KEY}\Settings" "Language" "en"
    WriteRegDWORD HKCU "${PRODUCT_KEY}\Settings\Window" "Left" 40
    WriteRegDWORD HKCU "${PRODUCT_KEY}\Settings\Window" "Top" 40
    WriteRegBin HKCU "${PRODUCT_KEY}\Settings\Window\Toolbars" "Main" 01000000
    WriteRegStr HKCU "${PRODUCT_KEY}\Recent Files" "File1" "C:\My Documents\ghosts.tdr"
    WriteRegStr HKCU "${VENDOR_KEY}" "Customer" "Tester"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "DisplayName" "VORSK Tandrel 98"
    WriteRegStr HKLM "${UNINSTALL_KEY}" "UninstallString" "$INSTDIR\uninstall.exe"
    WriteRegStr HKLM "${APP_PATH_KEY}" "" "$INSTDIR\Tandrel.exe"
    WriteRegStr HKLM "${APP_PATH_KEY}" "Path" "$INSTDIR"

    CreateShortCut "$SMSTARTUP\${SHORTCUT}" "$INSTDIR\Tandrel.exe"
    CreateShortCut "$SMPROGRAMS\${SHORTCUT}" "$INSTDIR\Tandrel.exe"
SectionEnd

; The same question as uninstall.exe's, then no wizard: the work itself runs without windows.
Function un.onInit
    MessageBox MB_OKCANCEL|MB_ICONQUESTION "This will uninstall VORSK Tandrel 98." /SD IDOK IDOK confirmed
    Abort
confirmed:
    SetSilent silent
FunctionEnd

Section "Uninstall"
    SetShellVarContext current
    FindWindow $0 "VorskTandrel"
    IntCmp $0 0 +2
    SendMessage $0 ${WM_CLOSE} 0 0 /TIMEOUT=1
    DeleteRegKey HKLM "${UNINSTALL_KEY}"

    Delete "$SMSTARTUP\${SHORTCUT}"
    Delete "$SMPROGRAMS\${SHORTCUT}"
    DeleteRegKey HKLM "${APP_PATH_KEY}"
    DeleteRegKey HKCU "${PRODUCT_KEY}"
    DeleteRegKey HKLM "${PRODUCT_KEY}"
    ; The vendor keys go when no other product of the vendor has a key there, values or not, as with ours.
    DeleteRegKey /ifnosubkeys HKCU "${VENDOR_KEY}"
    DeleteRegKey /ifnosubkeys HKLM "${VENDOR_KEY}"

    Delete "$INSTDIR\Tandrel.exe"
    Delete "$INSTDIR\Tandra.htm"
    Delete "$INSTDIR\registration.txt"
    Delete "$INSTDIR\la.txt"
    Delete "$INSTDIR\VORSK Tandrel 98 Homepage.url"
    Delete "$INSTDIR\order.htm"
    Delete "$INSTDIR\ghosts.htm"
    Delete "$INSTDIR\images\*.*"
    RMDir "$INSTDIR\images"
    Delete "$INSTDIR\uninstall.exe"
    RMDir "$INSTDIR"
    RMDir "$INSTDIR\.."
SectionEnd
