; Brindle Shared 1.0: the secondary setup that brsetup.exe starts without waiting. It
; waits first, so all of its work falls after the first setup has ended.
Unicode false
SetCompressor zlib
Name "Brindle Shared 1.0"
OutFile "${OUTDIR}\brshared.exe"
InstallDir "$COMMONFILES\Brindle\Shared"
RequestExecutionLevel admin

Section "Shared"
  Sleep 1500
  SetOutPath "$INSTDIR"
  File "payload\brshared.dll"
  WriteRegStr HKLM "Software\Brindle\Shared" "Version" "1.0"
  WriteINIStr "$WINDIR\brindle.ini" "Shared" "Installed" "1"
  FlushINI "$WINDIR\brindle.ini"
SectionEnd
