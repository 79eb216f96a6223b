; The Windows installer zelpack-VERSION-windows-x64-setup.exe, made by scripts/release-windows.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=V -DFILES=F.nsh -DICON=I.ico -DLICENSE=LICENSE
;            -DOUTFILE=O.exe zelpack.nsi
; F.nsh, written by that script from the release archive's list, defines ZELPACK_INSTALL_FILES and
; ZELPACK_DELETE_FILES, so that the installer holds exactly the archive's files and the uninstaller
; deletes them by name: the folder may hold the user's own files, which stay.
;
; Per user (the default, no administrator rights): $LOCALAPPDATA\Programs\zelpack and HKCU. For all
; users (/AllUsers, or the first page): $PROGRAMFILES64\zelpack and HKLM. /CurrentUser, /D=FOLDER
; and /S (silent) work as usual; /S installs with every section on, the PATH entry included.

Unicode true
Target amd64-unicode
ManifestDPIAware true
RequestExecutionLevel user
SetCompressor /SOLID lzma
; Installed files get the time of their installation, and the installer's bytes do not depend on
; when the release's files were made.
SetDateSave off

!include MUI2.nsh
!include LogicLib.nsh
!include FileFunc.nsh
!include WinMessages.nsh
!include nsDialogs.nsh
!include "${FILES}"

!define PRODUCT "ZEL插件打包工具"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\zelpack"
!define MENU_KEY "Software\Classes\Directory\shell\zelpack"
!define BACKGROUND_MENU_KEY "Software\Classes\Directory\Background\shell\zelpack"
!define USER_ENVIRONMENT "Environment"
!define MACHINE_ENVIRONMENT "SYSTEM\CurrentControlSet\Control\Session Manager\Environment"
!define ERROR_ELEVATION_REQUIRED 740

Name "${PRODUCT}"
OutFile "${OUTFILE}"
BrandingText "zelpack ${VERSION}"
ShowInstDetails show
ShowUninstDetails show

VIProductVersion "${VERSION}.0"
VIAddVersionKey /LANG=2052 "ProductName" "${PRODUCT}"
VIAddVersionKey /LANG=2052 "FileDescription" "${PRODUCT} 安装程序"
VIAddVersionKey /LANG=2052 "FileVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "ProductVersion" "${VERSION}"
VIAddVersionKey /LANG=2052 "LegalCopyright" "Copyright (c) 2026 the zelpack authors"

Var AllUsers ; 1: for all users
Var DirGiven ; 1: /D= named the folder
Var ModeCurrent
Var ModeAll

!define MUI_ABORTWARNING
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
; zelpack's licence, shown for reading: the MIT License asks for no acceptance.
!define MUI_LICENSEPAGE_TEXT_TOP "${PRODUCT}（zelpack）以 MIT 许可证发布："
!define MUI_LICENSEPAGE_TEXT_BOTTOM "任何人都可使用、复制、修改和分发本程序，但须附带此许可证；本程序不提供任何担保。"
!define MUI_LICENSEPAGE_BUTTON "下一步(&N) >"
!insertmacro MUI_PAGE_LICENSE "${LICENSE}"
Page custom ModePage ModePageLeave
!insertmacro MUI_PAGE_DIRECTORY
!insertmacro MUI_PAGE_COMPONENTS
!insertmacro MUI_PAGE_INSTFILES
!define MUI_FINISHPAGE_RUN "$INSTDIR\zelpack-gui.exe"
!define MUI_FINISHPAGE_RUN_TEXT "启动 ${PRODUCT}"
!insertmacro MUI_PAGE_FINISH
!insertmacro MUI_UNPAGE_CONFIRM
!insertmacro MUI_UNPAGE_INSTFILES
!insertmacro MUI_LANGUAGE "SimpChinese"

; ---- Install mode ----

!macro IS_ADMIN VAR
  System::Call 'shell32::IsUserAnAdmin() i .s'
  Pop ${VAR}
!macroend

; Sets the shell folders, SHCTX and (unless /D= gave it) the folder for $AllUsers.
Function ApplyMode
  ${If} $AllUsers == 1
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
  ${If} $DirGiven != 1
    ReadRegStr $INSTDIR SHCTX "${UNINSTALL_KEY}" "InstallLocation"
    ${If} $INSTDIR == ""
      ${If} $AllUsers == 1
        StrCpy $INSTDIR "$PROGRAMFILES64\zelpack"
      ${Else}
        StrCpy $INSTDIR "$LOCALAPPDATA\Programs\zelpack"
      ${EndIf}
    ${EndIf}
  ${EndIf}
FunctionEnd

Function .onInit
  SetRegView 64
  StrCpy $DirGiven 0
  ${If} $INSTDIR != ""
    StrCpy $DirGiven 1
  ${EndIf}
  StrCpy $AllUsers 0
  ${GetParameters} $0
  ClearErrors
  ${GetOptions} $0 "/AllUsers" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 1
  ${EndIf}
  ClearErrors
  ${GetOptions} $0 "/CurrentUser" $1
  ${IfNot} ${Errors}
    StrCpy $AllUsers 0
  ${EndIf}
  ${If} $AllUsers == 1
  ${AndIf} ${Silent}
    !insertmacro IS_ADMIN $1
    ${If} $1 == 0
      ; A silent run cannot ask for the rights.
      SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
      Quit
    ${EndIf}
  ${EndIf}
  Call ApplyMode
FunctionEnd

Function ModePage
  !insertmacro MUI_HEADER_TEXT "安装方式" "选择为谁安装 ${PRODUCT}。"
  nsDialogs::Create 1018
  Pop $0
  ${NSD_CreateLabel} 0 0 100% 24u "仅为自己安装不需要管理员权限；为所有用户安装需要管理员权限，安装到 Program Files。"
  Pop $0
  ${NSD_CreateRadioButton} 10u 32u 100% 12u "仅为我安装(&M)"
  Pop $ModeCurrent
  ${NSD_CreateRadioButton} 10u 48u 100% 12u "为这台电脑的所有用户安装(&A)"
  Pop $ModeAll
  ${If} $AllUsers == 1
    ${NSD_Check} $ModeAll
  ${Else}
    ${NSD_Check} $ModeCurrent
  ${EndIf}
  nsDialogs::Show
FunctionEnd

Function ModePageLeave
  ${NSD_GetState} $ModeAll $0
  ${If} $0 == ${BST_CHECKED}
    !insertmacro IS_ADMIN $1
    ${If} $1 == 0
      ; Again, elevated: the rights come with a new process.
      ClearErrors
      ExecShell "runas" "$EXEPATH" "/AllUsers"
      ${If} ${Errors}
        MessageBox MB_OK|MB_ICONEXCLAMATION "没有得到管理员权限，无法为所有用户安装。"
        Abort
      ${EndIf}
      Quit
    ${EndIf}
    StrCpy $AllUsers 1
  ${Else}
    StrCpy $AllUsers 0
  ${EndIf}
  Call ApplyMode
FunctionEnd

; ---- PATH ----
; The Path value is handled in memory through the system's own calls, never in NSIS strings: they
; hold at most ${NSIS_MAX_STRLEN} characters, and a longer PATH read into one would come back cut,
; and written back would lose the user's entries. The value's type is kept.

!define RRF_RT_ANY_NOEXPAND 0x1000FFFF
; The predefined keys as the 64-bit system has them, sign-extended.
!define HKEY_CURRENT_USER -2147483647
!define HKEY_LOCAL_MACHINE -2147483646
!define SEMICOLON 59

; PATH_FUNCTIONS PREFIX: the functions for the installer ("") or the uninstaller ("un.").
!macro PATH_FUNCTIONS UN
; Out: $R0 "ok", "missing" or a message; $R7 a buffer holding ";VALUE;" with room for ";ENTRY;"
; more (free it with System::Free); $R9 VALUE's length; $R2 its type (1 REG_SZ, 2 REG_EXPAND_SZ);
; $R8 and $R6 the root and key.
Function ${UN}ReadPath
  ${If} $AllUsers == 1
    StrCpy $R8 ${HKEY_LOCAL_MACHINE}
    StrCpy $R6 "${MACHINE_ENVIRONMENT}"
  ${Else}
    StrCpy $R8 ${HKEY_CURRENT_USER}
    StrCpy $R6 "${USER_ENVIRONMENT}"
  ${EndIf}
  StrCpy $R2 2
  StrCpy $R9 0
  StrCpy $R7 0
  System::Call 'advapi32::RegGetValueW(p R8, w R6, w "Path", i ${RRF_RT_ANY_NOEXPAND}, *i .r8, \
    p 0, *i .r9) i .r7'
  ${If} $7 == 2
    StrCpy $R0 "missing"
    StrCpy $9 0
  ${ElseIf} $7 != 0
    StrCpy $R0 "无法读取 PATH（错误 $7）"
    Return
  ${ElseIf} $8 != 1
  ${AndIf} $8 != 2
    StrCpy $R0 "PATH 不是字符串（类型 $8）"
    Return
  ${Else}
    StrCpy $R0 "ok"
    StrCpy $R2 $8
  ${EndIf}
  StrLen $6 $INSTDIR
  IntOp $6 $6 + 8
  IntOp $6 $6 * 2
  IntOp $6 $6 + $9
  System::Alloc $6
  Pop $R7
  System::Call 'kernel32::lstrcpyW(p R7, w ";")'
  ${If} $R0 == "ok"
    IntPtrOp $5 $R7 + 2
    IntOp $4 $6 - 2
    System::Call 'advapi32::RegGetValueW(p R8, w R6, w "Path", i ${RRF_RT_ANY_NOEXPAND}, p 0, \
      p r5, *i r4r4) i .r7'
    ${If} $7 != 0
      StrCpy $R0 "无法读取 PATH（错误 $7）"
    ${Else}
      System::Call 'kernel32::lstrlenW(p r5) i .R9'
      IntOp $3 $R9 + 1
      IntOp $3 $3 * 2
      ${If} $4 > $3
        ; What follows a NUL would be lost.
        StrCpy $R0 "PATH 中有空字符"
      ${EndIf}
    ${EndIf}
    ${If} $R0 != "ok"
      System::Free $R7
      StrCpy $R7 0
      Return
    ${EndIf}
  ${EndIf}
  System::Call 'kernel32::lstrcatW(p R7, w ";")'
FunctionEnd

; Writes VALUE of ReadPath's buffer back, or deletes the value when $0 is 1; frees the buffer.
Function ${UN}WritePath
  IntPtrOp $5 $R7 + 2
  ${If} $0 == 1
    System::Call 'advapi32::RegDeleteKeyValueW(p R8, w R6, w "Path") i .r7'
  ${Else}
    System::Call 'kernel32::lstrlenW(p r5) i .r4'
    IntOp $4 $4 + 1
    IntOp $4 $4 * 2
    System::Call 'advapi32::RegSetKeyValueW(p R8, w R6, w "Path", i R2, p r5, i r4) i .r7'
  ${EndIf}
  System::Free $R7
  ${If} $7 != 0
    MessageBox MB_OK|MB_ICONEXCLAMATION "无法写入 PATH（错误 $7）。" /SD IDOK
    DetailPrint "无法写入 PATH（错误 $7）"
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

; Out: $0 the place in the buffer of the entry naming $INSTDIR (";ENTRY;", with or without a
; closing backslash, in any case), 0 when there is none; $1 the length of ";ENTRY".
Function ${UN}FindEntry
  System::Call 'shlwapi::StrStrIW(p R7, w ";$INSTDIR;") p .r0'
  StrCpy $1 ";$INSTDIR"
  ${If} $0 == 0
    System::Call 'shlwapi::StrStrIW(p R7, w ";$INSTDIR\;") p .r0'
    StrCpy $1 ";$INSTDIR\"
  ${EndIf}
  StrLen $1 $1
FunctionEnd
!macroend
!insertmacro PATH_FUNCTIONS ""
!insertmacro PATH_FUNCTIONS "un."

Function AddToPath
  Call ReadPath
  ${If} $R0 == "missing"
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "PathCreated" 1
  ${ElseIf} $R0 != "ok"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0，未修改 PATH。$\r$\n需要时请手动把 $INSTDIR 加入 PATH。" /SD IDOK
    DetailPrint "$R0，未修改 PATH"
    Return
  ${EndIf}
  Call FindEntry
  ${If} $0 != 0
    System::Free $R7
    DetailPrint "PATH 已含 $INSTDIR"
    Return
  ${EndIf}
  ; Over the closing ";" of ";VALUE;": ";ENTRY", or after a VALUE that ends with ";" (or is empty)
  ; "ENTRY;" (or "ENTRY") rather than an empty entry. Either way cutting ";ENTRY" from ";VALUE;"
  ; gives the value back as it was.
  IntOp $1 $R9 * 2
  IntPtrOp $2 $R7 + $1
  System::Call '*$2(&i2 .r3)'
  IntPtrOp $2 $2 + 2
  ${If} $R9 == 0
    System::Call 'kernel32::lstrcpyW(p r2, w "$INSTDIR")'
  ${ElseIf} $3 == ${SEMICOLON}
    System::Call 'kernel32::lstrcpyW(p r2, w "$INSTDIR;")'
  ${Else}
    System::Call 'kernel32::lstrcpyW(p r2, w ";$INSTDIR")'
  ${EndIf}
  StrCpy $0 0
  Call WritePath
  DetailPrint "已把 $INSTDIR 加入 PATH"
FunctionEnd

; Removes every entry that names $INSTDIR, leaving the others and their separators as they were.
Function un.RemoveFromPath
  Call un.ReadPath
  ${If} $R0 == "missing"
    System::Free $R7
    Return
  ${ElseIf} $R0 != "ok"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0，未修改 PATH。$\r$\n需要时请手动从 PATH 中删除 $INSTDIR。" /SD IDOK
    DetailPrint "$R0，未修改 PATH"
    Return
  ${EndIf}
  StrCpy $R5 0 ; entries removed
  ${Do}
    Call un.FindEntry
    ${IfThen} $0 == 0 ${|} ${ExitDo} ${|}
    ; Cut ";ENTRY", keeping the separator after it.
    IntOp $1 $1 * 2
    IntPtrOp $2 $0 + $1
    System::Call 'kernel32::lstrlenW(p r2) i .r3'
    IntOp $3 $3 + 1
    IntOp $3 $3 * 2
    System::Call 'kernel32::RtlMoveMemory(p r0, p r2, p r3)'
    IntOp $R5 $R5 + 1
  ${Loop}
  ${If} $R5 == 0
    System::Free $R7
    Return
  ${EndIf}
  ; The closing ";" off.
  System::Call 'kernel32::lstrlenW(p R7) i .r3'
  ${If} $3 <= 1
    System::Call '*$R7(&i2 0, &i2 0)'
  ${Else}
    IntOp $3 $3 - 1
    IntOp $3 $3 * 2
    IntPtrOp $2 $R7 + $3
    System::Call '*$2(&i2 0)'
  ${EndIf}
  ; The value the installer made, and nothing else in it: away with it.
  StrCpy $0 0
  ${If} $3 <= 1
    ReadRegDWORD $0 SHCTX "${UNINSTALL_KEY}" "PathCreated"
  ${EndIf}
  Call un.WritePath
  DetailPrint "已从 PATH 中删除 $INSTDIR"
FunctionEnd

; ---- Sections ----

Section "${PRODUCT}（必需）" SecProgram
  SectionIn RO
  !insertmacro ZELPACK_INSTALL_FILES
  SetOutPath "$INSTDIR"
  WriteUninstaller "$INSTDIR\uninstall.exe"

  CreateShortcut "$SMPROGRAMS\${PRODUCT}.lnk" "$INSTDIR\zelpack-gui.exe"

  ; Explorer's menu on a folder (%1) and on a folder's background (%V, the folder shown).
  WriteRegStr SHCTX "${MENU_KEY}" "" "用 ${PRODUCT} 打开"
  WriteRegStr SHCTX "${MENU_KEY}" "Icon" '"$INSTDIR\zelpack-gui.exe"'
  WriteRegStr SHCTX "${MENU_KEY}\command" "" '"$INSTDIR\zelpack-gui.exe" "%1"'
  WriteRegStr SHCTX "${BACKGROUND_MENU_KEY}" "" "用 ${PRODUCT} 打开"
  WriteRegStr SHCTX "${BACKGROUND_MENU_KEY}" "Icon" '"$INSTDIR\zelpack-gui.exe"'
  WriteRegStr SHCTX "${BACKGROUND_MENU_KEY}\command" "" '"$INSTDIR\zelpack-gui.exe" "%V"'

  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayName" "${PRODUCT} (zelpack)"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "Publisher" "zelpack maintainers"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "DisplayIcon" '"$INSTDIR\zelpack-gui.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr SHCTX "${UNINSTALL_KEY}" "QuietUninstallString" '"$INSTDIR\uninstall.exe" /S'
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "NoRepair" 1
  ${GetSize} "$INSTDIR" "/S=0K" $0 $1 $2
  WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "EstimatedSize" $0
SectionEnd

Section "把 zelpack.exe 加入 PATH" SecPath
  Call AddToPath
SectionEnd

!insertmacro MUI_FUNCTION_DESCRIPTION_BEGIN
  !insertmacro MUI_DESCRIPTION_TEXT ${SecProgram} "命令行程序 zelpack.exe、桌面程序 zelpack-gui.exe、开始菜单快捷方式和文件夹右键菜单“用 ${PRODUCT} 打开”。"
  !insertmacro MUI_DESCRIPTION_TEXT ${SecPath} "新开的命令提示符和 PowerShell 中可直接运行 zelpack。"
!insertmacro MUI_FUNCTION_DESCRIPTION_END

; ---- Uninstaller ----

Function un.onInit
  SetRegView 64
  ; The mode of the installation this uninstaller belongs to: all users when HKLM names its folder.
  StrCpy $AllUsers 0
  ReadRegStr $0 HKLM "${UNINSTALL_KEY}" "InstallLocation"
  ${If} $0 == $INSTDIR
    StrCpy $AllUsers 1
    !insertmacro IS_ADMIN $1
    ${If} $1 == 0
      ${If} ${Silent}
        SetErrorLevel ${ERROR_ELEVATION_REQUIRED}
        Quit
      ${EndIf}
      ExecShell "runas" "$EXEPATH" "_?=$INSTDIR"
      Quit
    ${EndIf}
    SetShellVarContext all
  ${Else}
    SetShellVarContext current
  ${EndIf}
FunctionEnd

Section "Uninstall"
  !insertmacro ZELPACK_DELETE_FILES
  Delete "$INSTDIR\uninstall.exe"
  ; Only when empty: the user's own files keep the folder.
  RMDir "$INSTDIR"

  Delete "$SMPROGRAMS\${PRODUCT}.lnk"
  DeleteRegKey SHCTX "${MENU_KEY}"
  DeleteRegKey SHCTX "${BACKGROUND_MENU_KEY}"
  Call un.RemoveFromPath
  DeleteRegKey SHCTX "${UNINSTALL_KEY}"
SectionEnd
