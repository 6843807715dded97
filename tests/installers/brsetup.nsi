; Brindle Writer 2.0: a sample install over a prepared 1.0 install (the e2e tests make
; it before each session). Between them, this setup and the one it starts make every
; kind of change a tracking session reports.
;   files: added (nested folders, an empty folder, a DLL in the system folder), one
;     overwritten, one deleted, a folder deleted with its file
;   registry: a new key with a default value and values of every type (REG_SZ,
;     REG_EXPAND_SZ, REG_DWORD, short and long REG_BINARY, REG_BINARY over 32K,
;     REG_MULTI_SZ); prepared values of each type changed and deleted; a key tree deleted;
;     an HKCU key
;   INI: keys and sections added, changed and deleted; a device= line added to and one
;     removed from [386Enh] of SYSTEM.INI
;   a secondary setup, started without waiting, that does its work after this one ended
Unicode true
SetCompressor zlib
Name "Brindle Writer 2.0"
OutFile "${OUTDIR}\brsetup.exe"
InstallDir "$PROGRAMFILES\Brindle\Writer"
RequestExecutionLevel admin

!define KEY "Software\Brindle\Writer"

Section "Writer"
  SetOutPath "$INSTDIR"
  SetOverwrite on
  File "payload\writer.dat"                 ; over the 1.0 file
  File "payload\Read Me.txt"
  SetOutPath "$INSTDIR\Help\Pictures"
  File "payload\help\logo.bmp"
  CreateDirectory "$INSTDIR\Empty Folder"
  Delete "$INSTDIR\old-notes.txt"
  RMDir /r "$INSTDIR\Obsolete"
  SetOutPath "$SYSDIR"
  File "payload\brwrt32.dll"

  ; Values of the 1.0 install: changed, then deleted.
  WriteRegStr       HKLM "${KEY}" "" "Brindle Writer 2.0"
  WriteRegStr       HKLM "${KEY}" "Version" "2.0"
  WriteRegExpandStr HKLM "${KEY}" "Home" "%ProgramFiles%\Brindle\Writer"
  WriteRegDWORD     HKLM "${KEY}" "Build" 200
  WriteRegBin       HKLM "${KEY}" "Mask" 0304
  WriteRegBin       HKLM "${KEY}" "Table" 000102030405060708090A0B0C0D0E0F10111213FF
  ; REG_MULTI_SZ "x", "y"
  WriteRegMultiStr /REGEDIT5 HKLM "${KEY}" "Paths" 78000000790000000000
  DeleteRegValue HKLM "${KEY}" "OldText"
  DeleteRegValue HKLM "${KEY}" "OldPath"
  DeleteRegValue HKLM "${KEY}" "OldFlag"
  DeleteRegValue HKLM "${KEY}" "OldBlob"
  DeleteRegValue HKLM "${KEY}" "OldList"
  DeleteRegKey   HKLM "${KEY}\Legacy"

  ; A new key with a value of every type.
  WriteRegStr       HKLM "${KEY}\Options" "" "Options"
  WriteRegStr       HKLM "${KEY}\Options" "Name" "Brindle"
  WriteRegExpandStr HKLM "${KEY}\Options" "Data" "%SystemRoot%\Brindle"
  WriteRegDWORD     HKLM "${KEY}\Options" "Count" 1234
  WriteRegDWORD     HKLM "${KEY}\Options" "Flags" 0xFFFFFFFF
  WriteRegBin       HKLM "${KEY}\Options" "Tag" DEADBEEF
  WriteRegBin       HKLM "${KEY}\Options" "Header" 42524E440200000000000000000000000000000000000000000000000000000000000000000000FF
  ; REG_MULTI_SZ "one", "two"
  WriteRegMultiStr /REGEDIT5 HKLM "${KEY}\Options" "List" 6F006E0065000000740077006F0000000000
  ; 40,000 zero bytes: more than WriteRegBin can carry.
  System::Alloc 40000
  Pop $2
  System::Call 'advapi32::RegOpenKeyEx(i 0x80000002, t "${KEY}\Options", i 0, i 0x20006, *i .r5) i.r6'
  System::Call 'advapi32::RegSetValueEx(i r5, t "Big", i 0, i 3, i r2, i 40000) i.r6'
  System::Call 'advapi32::RegCloseKey(i r5)'
  System::Free $2
  WriteRegDWORD HKCU "${KEY}" "FirstRun" 1

  ; brindle.ini
  WriteINIStr  "$WINDIR\brindle.ini" "Main" "Colour" "blue"
  WriteINIStr  "$WINDIR\brindle.ini" "Main" "Font" "Arial"
  DeleteINIStr "$WINDIR\brindle.ini" "Main" "Gone"
  DeleteINISec "$WINDIR\brindle.ini" "Old"
  WriteINIStr  "$WINDIR\brindle.ini" "New Section" "Fresh" "1"
  FlushINI "$WINDIR\brindle.ini"

  ; system.ini: a changed key, then the device lines. DEVICE= keys repeat, so the file is
  ; copied line by line: the new line after the [386Enh] header, the old one left out.
  WriteINIStr "$WINDIR\system.ini" "boot" "drivers" "mmsystem.dll brwrt.drv"
  FlushINI "$WINDIR\system.ini"
  GetTempFileName $R0
  FileOpen $0 "$WINDIR\system.ini" r
  FileOpen $1 $R0 w
  loop:
    ClearErrors
    FileRead $0 $2
    IfErrors done
    StrCmp $2 "device=$WINDIR\system\brold.386$\r$\n" loop
    FileWrite $1 $2
    StrCmp $2 "[386Enh]$\r$\n" 0 loop
    FileWrite $1 "device=$WINDIR\system\brwrt.386$\r$\n"
    Goto loop
  done:
  FileClose $0
  FileClose $1
  Delete "$WINDIR\system.ini"
  Rename $R0 "$WINDIR\system.ini"

  Exec '"$EXEDIR\brshared.exe" /S'
SectionEnd
