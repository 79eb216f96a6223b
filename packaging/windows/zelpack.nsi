; The Windows installer zelpack-VERSION-windows-x64-setup.exe, made by scripts/release-windows.sh:
;   makensis -INPUTCHARSET UTF8 -DVERSION=V -DFILES=F.nsh -DOUTFILE=O.exe zelpack.nsi
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
VIAddVersionKey /LANG=2052 "LegalCopyright" "zelpack maintainers"

Var AllUsers ; 1: for all users
Var DirGiven ; 1: /D= named the folder
Var ModeCurrent
Var ModeAll

!define MUI_ABORTWARNING
!define MUI_ICON "${ICON}"
!define MUI_UNICON "${ICON}"
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
; The Path value is read and written whole or not at all: NSIS strings hold at most
; ${NSIS_MAX_STRLEN} characters, so a longer value would come back cut, and writing it back would
; lose the user's entries. Such a value is left alone, with a message.

; PATH_FUNCTIONS PREFIX: the functions for the installer ("") or the uninstaller ("un.").
!macro PATH_FUNCTIONS UN
; Out: $R0 status ("ok", "missing" or a message), $R1 the value, $R2 its type (1 REG_SZ, 2
; REG_EXPAND_SZ).
Function ${UN}ReadPath
  StrCpy $R1 ""
  StrCpy $R2 2
  ${If} $AllUsers == 1
    System::Call 'advapi32::RegGetValueW(p 0x80000002, w "${MACHINE_ENVIRONMENT}", w "Path", \
      i 0x1000FFFF, *i .r8, p 0, *i .r9) i .r7'
  ${Else}
    System::Call 'advapi32::RegGetValueW(p 0x80000001, w "${USER_ENVIRONMENT}", w "Path", \
      i 0x1000FFFF, *i .r8, p 0, *i .r9) i .r7'
  ${EndIf}
  ${If} $7 == 2
    StrCpy $R0 "missing"
    Return
  ${EndIf}
  ${If} $7 != 0
    StrCpy $R0 "无法读取 PATH（错误 $7）"
    Return
  ${EndIf}
  ${If} $8 != 1
  ${AndIf} $8 != 2
    StrCpy $R0 "PATH 不是字符串（类型 $8）"
    Return
  ${EndIf}
  StrCpy $R2 $8
  IntOp $9 $9 / 2
  ${If} $9 >= ${NSIS_MAX_STRLEN}
    StrCpy $R0 "PATH 太长（$9 个字符），安装程序无法完整读写"
    Return
  ${EndIf}
  ClearErrors
  ${If} $AllUsers == 1
    ReadRegStr $R1 HKLM "${MACHINE_ENVIRONMENT}" "Path"
  ${Else}
    ReadRegStr $R1 HKCU "${USER_ENVIRONMENT}" "Path"
  ${EndIf}
  StrLen $7 $R1
  IntOp $6 $7 + 1
  ${If} ${Errors}
  ${OrIf} $9 > $6
    ; Characters after a NUL would be lost.
    StrCpy $R0 "PATH 的内容无法完整读取"
    Return
  ${EndIf}
  StrCpy $R0 "ok"
FunctionEnd

; In: $R1 the new value, $R2 its type.
Function ${UN}WritePath
  ${If} $AllUsers == 1
    ${If} $R2 == 1
      WriteRegStr HKLM "${MACHINE_ENVIRONMENT}" "Path" $R1
    ${Else}
      WriteRegExpandStr HKLM "${MACHINE_ENVIRONMENT}" "Path" $R1
    ${EndIf}
  ${Else}
    ${If} $R2 == 1
      WriteRegStr HKCU "${USER_ENVIRONMENT}" "Path" $R1
    ${Else}
      WriteRegExpandStr HKCU "${USER_ENVIRONMENT}" "Path" $R1
    ${EndIf}
  ${EndIf}
  SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
FunctionEnd

; In: $R3 the text, $R4 the text to find (no case). Out: $R5 its first place, -1 when absent.
Function ${UN}Find
  StrLen $6 $R3
  StrLen $7 $R4
  IntOp $6 $6 - $7
  StrCpy $R5 0
  ${DoWhile} $R5 <= $6
    StrCpy $8 $R3 $7 $R5
    ${If} $8 == $R4
      Return
    ${EndIf}
    IntOp $R5 $R5 + 1
  ${Loop}
  StrCpy $R5 -1
FunctionEnd
!macroend
!insertmacro PATH_FUNCTIONS ""
!insertmacro PATH_FUNCTIONS "un."

Function AddToPath
  Call ReadPath
  ${If} $R0 == "missing"
    StrCpy $R1 ""
    WriteRegDWORD SHCTX "${UNINSTALL_KEY}" "PathCreated" 1
  ${ElseIf} $R0 != "ok"
    Goto skip
  ${EndIf}
  ; Already there, with or without a closing backslash: nothing to add.
  StrCpy $R3 ";$R1;"
  StrCpy $R4 ";$INSTDIR;"
  Call Find
  ${If} $R5 < 0
    StrCpy $R4 ";$INSTDIR\;"
    Call Find
  ${EndIf}
  ${If} $R5 >= 0
    DetailPrint "PATH 已含 $INSTDIR"
    Return
  ${EndIf}
  StrLen $6 $R1
  StrLen $7 $INSTDIR
  IntOp $6 $6 + $7
  IntOp $6 $6 + 1
  ${If} $6 >= ${NSIS_MAX_STRLEN}
    StrCpy $R0 "加入后的 PATH 太长（$6 个字符），安装程序无法完整写入"
    Goto skip
  ${EndIf}
  ; After a closing ";" the entry takes one itself, rather than make an empty entry: either way
  ; cutting ";ENTRY" gives the value back as it was.
  StrCpy $7 $R1 "" -1
  ${If} $R1 == ""
    StrCpy $R1 $INSTDIR
  ${ElseIf} $7 == ";"
    StrCpy $R1 "$R1$INSTDIR;"
  ${Else}
    StrCpy $R1 "$R1;$INSTDIR"
  ${EndIf}
  Call WritePath
  DetailPrint "已把 $INSTDIR 加入 PATH"
  Return
skip:
  MessageBox MB_OK|MB_ICONEXCLAMATION "$R0，未修改 PATH。$\r$\n需要时请手动把 $INSTDIR 加入 PATH。" /SD IDOK
  DetailPrint "$R0，未修改 PATH"
FunctionEnd

; Removes every entry that names $INSTDIR, leaving the others and their separators as they were.
Function un.RemoveFromPath
  Call un.ReadPath
  ${If} $R0 == "missing"
    Return
  ${ElseIf} $R0 != "ok"
    MessageBox MB_OK|MB_ICONEXCLAMATION "$R0，未修改 PATH。$\r$\n需要时请手动从 PATH 中删除 $INSTDIR。" /SD IDOK
    DetailPrint "$R0，未修改 PATH"
    Return
  ${EndIf}
  StrCpy $R3 ";$R1;"
  StrCpy $R6 0 ; entries removed
  ${Do}
    StrCpy $R4 ";$INSTDIR;"
    Call un.Find
    ${If} $R5 < 0
      StrCpy $R4 ";$INSTDIR\;"
      Call un.Find
    ${EndIf}
    ${IfThen} $R5 < 0 ${|} ${ExitDo} ${|}
    ; Cut ";ENTRY", keeping the separator after it.
    StrLen $7 $R4
    IntOp $7 $7 - 1
    IntOp $7 $7 + $R5
    StrCpy $8 $R3 $R5
    StrCpy $9 $R3 "" $7
    StrCpy $R3 "$8$9"
    IntOp $R6 $R6 + 1
  ${Loop}
  ${If} $R6 == 0
    Return
  ${EndIf}
  ; Without the added ";" at both ends.
  StrLen $7 $R3
  IntOp $7 $7 - 2
  ${If} $7 <= 0
    StrCpy $R1 ""
  ${Else}
    StrCpy $R1 $R3 $7 1
  ${EndIf}
  ReadRegDWORD $7 SHCTX "${UNINSTALL_KEY}" "PathCreated"
  ${If} $R1 == ""
  ${AndIf} $7 == 1
    ${If} $AllUsers == 1
      DeleteRegValue HKLM "${MACHINE_ENVIRONMENT}" "Path"
    ${Else}
      DeleteRegValue HKCU "${USER_ENVIRONMENT}" "Path"
    ${EndIf}
    SendMessage ${HWND_BROADCAST} ${WM_SETTINGCHANGE} 0 "STR:Environment" /TIMEOUT=5000
  ${Else}
    Call un.WritePath
  ${EndIf}
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
