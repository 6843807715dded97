// Whole sessions through the real window with the sample installers (sample_install.h).
// The reports must list exactly their changes, in the program's order
// and format, besides what Wine changes on its own.
#include "sample_install.h"

namespace e2e {
namespace {

// The INI and registry changes, the same in both modes.
const char kIniAndRegistryText[] = R"(CHANGES MADE TO c:\windows\brindle.ini...
SECTIONS ADDED TO c:\windows\brindle.ini: (2)
[New Section]
[Shared]

SECTIONS DELETED FROM c:\windows\brindle.ini: (1)
[Old]

KEYS ADDED TO c:\windows\brindle.ini: (3)
[Main]Font=Arial
[New Section]Fresh=1
[Shared]Installed=1

KEYS DELETED FROM c:\windows\brindle.ini: (2)
[Main]Gone=yes
[Old]a=1

KEYS CHANGED IN c:\windows\brindle.ini: (1)
[Main]Colour=red=to=blue

CHANGES MADE TO c:\windows\system.ini...
KEYS ADDED TO c:\windows\system.ini: (1)
[386Enh]device=C:\windows\system\brwrt.386

KEYS DELETED FROM c:\windows\system.ini: (1)
[386Enh]device=C:\windows\system\brold.386

KEYS CHANGED IN c:\windows\system.ini: (1)
[boot]drivers=mmsystem.dll=to=mmsystem.dll brwrt.drv

REGISTRY KEYS ADDED: (4)
HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Brindle
HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Brindle\Writer
HKEY_LOCAL_MACHINE\Software\Brindle\Shared
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options

REGISTRY KEYS DELETED: (2)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy\Cache

REGISTRY KEY VALUES ADDED: (11)
HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Brindle\Writer FirstRun=1
HKEY_LOCAL_MACHINE\Software\Brindle\Shared Version=1.0
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options @=Options
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Big=Binary data over 32K - changes not tracked
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Count=1234
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Data=%SystemRoot%\Brindle
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Flags=-1
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Header=42,52,4E,44,02,00,00,FF,00,00,00,00,00,00,00,00
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options List=6F,6E,65,00,74,77,6F,00,00
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Name=Brindle
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options Tag=DE,AD,BE,EF

REGISTRY KEY VALUES CHANGED: (7)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer @=Brindle Writer 2.0 (was Brindle Writer 1.0)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer Build=200 (was 100)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer Home=%ProgramFiles%\Brindle\Writer (was %ProgramFiles%\Brindle)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer Mask=03,04 (was 01,02)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer Paths=78,00,79,00,00 (was 61,00,62,00,00)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer Table=(changed) (was (data too large))
HKEY_LOCAL_MACHINE\Software\Brindle\Writer Version=2.0 (was 1.0)

REGISTRY KEY VALUES DELETED: (7)
HKEY_LOCAL_MACHINE\Software\Brindle\Writer OldBlob
HKEY_LOCAL_MACHINE\Software\Brindle\Writer OldFlag
HKEY_LOCAL_MACHINE\Software\Brindle\Writer OldList
HKEY_LOCAL_MACHINE\Software\Brindle\Writer OldPath
HKEY_LOCAL_MACHINE\Software\Brindle\Writer OldText
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy Mode
HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy\Cache @

)";

const char kIniAndRegistryCsv[] = R"--("Drives","c:\program files","c:\windows"
"INI","Add Section","c:\windows\brindle.ini","[New Section]"
"INI","Add Section","c:\windows\brindle.ini","[Shared]"
"INI","Del Section","c:\windows\brindle.ini","[Old]"
"INI","Add Key","c:\windows\brindle.ini","[Main]","","Font","","Arial"
"INI","Add Key","c:\windows\brindle.ini","[New Section]","","Fresh","","1"
"INI","Add Key","c:\windows\brindle.ini","[Shared]","","Installed","","1"
"INI","Del Key","c:\windows\brindle.ini","[Main]","","Gone","","yes"
"INI","Del Key","c:\windows\brindle.ini","[Old]","","a","","1"
"INI","Change Key","c:\windows\brindle.ini","[Main]","","Colour","","red","blue"
"INI","Add Key","c:\windows\system.ini","[386Enh]","","device","","C:\windows\system\brwrt.386"
"INI","Del Key","c:\windows\system.ini","[386Enh]","","device","","C:\windows\system\brold.386"
"INI","Change Key","c:\windows\system.ini","[boot]","","drivers","","mmsystem.dll","mmsystem.dll brwrt.drv"
"Registry","Add Key","","","HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Brindle"
"Registry","Add Key","","","HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Brindle\Writer"
"Registry","Add Key","","","HKEY_LOCAL_MACHINE\Software\Brindle\Shared"
"Registry","Add Key","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options"
"Registry","Del Key","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy"
"Registry","Del Key","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy\Cache"
"Registry","Add Value","","","HKEY_USERS\S-1-5-21-0-0-0-1000\Software\Brindle\Writer","","FirstRun","1"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Shared","","Version","1.0"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","@","Options"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Big","Binary data over 32K - changes not tracked"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Count","1234"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Data","%SystemRoot%\Brindle"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Flags","-1"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Header","42,52,4E,44,02,00,00,FF,00,00,00,00,00,00,00,00"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","List","6F,6E,65,00,74,77,6F,00,00"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Name","Brindle"
"Registry","Add Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Options","","Tag","DE,AD,BE,EF"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","@","Brindle Writer 2.0","Brindle Writer 1.0"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","Build","200","100"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","Home","%ProgramFiles%\Brindle\Writer","%ProgramFiles%\Brindle"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","Mask","03,04","01,02"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","Paths","78,00,79,00,00","61,00,62,00,00"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","Table","(changed)","(data too large)"
"Registry","Change Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","Version","2.0","1.0"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","OldBlob"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","OldFlag"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","OldList"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","OldPath"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer","","OldText"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy","","Mode"
"Registry","Del Value","","","HKEY_LOCAL_MACHINE\Software\Brindle\Writer\Legacy\Cache","","@"
)--";

TEST_F(SampleInstall, DiskContentsSessionReportsEveryChange) {
  RunSession("win98", IDC_rbTmDisk);
  const std::string text = folder.Read("RPT_0000.TXT");
  const std::string csv = folder.Read("EXTRARPT.CSV");
  const TextReport report = ParseTextReport(text);
  CheckHeaders(report, csv, "Windows 98", "Disk contents comparison");
  // Each list in the order of the listing: names in order, a folder before its contents.
  EXPECT_EQ(kWineChanges.FilterText(report.blocks), std::string(kIniAndRegistryText) + R"(FILES AND DIRECTORIES ADDED: (9)
c:\program files\Brindle\Writer\Empty Folder
c:\program files\Brindle\Writer\Help
c:\program files\Brindle\Writer\Help\Pictures
c:\program files\Brindle\Writer\Help\Pictures\logo.bmp
c:\program files\Brindle\Writer\Read Me.txt
c:\program files\Common Files\Brindle
c:\program files\Common Files\Brindle\Shared
c:\program files\Common Files\Brindle\Shared\brshared.dll
c:\windows\system32\brwrt32.dll

FILES AND DIRECTORIES DELETED: (3)
c:\program files\Brindle\Writer\Obsolete
c:\program files\Brindle\Writer\Obsolete\stale.dat
c:\program files\Brindle\Writer\old-notes.txt

FILES CHANGED: (6)
c:\program files\Brindle\Writer
c:\program files\Brindle\Writer\writer.dat
c:\program files\Common Files
c:\windows\brindle.ini
c:\windows\system.ini
c:\windows\system32

)") << text;
  EXPECT_EQ(kWineChanges.FilterCsv(csv), std::string(kIniAndRegistryCsv) + R"("File","Add File/Dir","c:\program files\Brindle\Writer\Empty Folder"
"File","Add File/Dir","c:\program files\Brindle\Writer\Help"
"File","Add File/Dir","c:\program files\Brindle\Writer\Help\Pictures"
"File","Add File/Dir","c:\program files\Brindle\Writer\Help\Pictures\logo.bmp"
"File","Add File/Dir","c:\program files\Brindle\Writer\Read Me.txt"
"File","Add File/Dir","c:\program files\Common Files\Brindle"
"File","Add File/Dir","c:\program files\Common Files\Brindle\Shared"
"File","Add File/Dir","c:\program files\Common Files\Brindle\Shared\brshared.dll"
"File","Add File/Dir","c:\windows\system32\brwrt32.dll"
"File","Del File/Dir","c:\program files\Brindle\Writer\Obsolete"
"File","Del File/Dir","c:\program files\Brindle\Writer\Obsolete\stale.dat"
"File","Del File/Dir","c:\program files\Brindle\Writer\old-notes.txt"
"File","Change File","c:\program files\Brindle\Writer"
"File","Change File","c:\program files\Brindle\Writer\writer.dat"
"File","Change File","c:\program files\Common Files"
"File","Change File","c:\windows\brindle.ini"
"File","Change File","c:\windows\system.ini"
"File","Change File","c:\windows\system32"
)") << csv;
  CheckPreview("RPT_0000.TXT");
}

// The files come out of the installer with the times they had when it was built; the
// session still finds them, by the time they were made on this disk.
TEST_F(SampleInstall, FileTimeSessionReportsNewAndChangedFiles) {
  WritePrivateProfileStringA("Settings", "LastRept", "2", (folder / "VORTAN4.INI").c_str());
  RunSession("nt40", IDC_rbTmTime);
  const std::string csv = folder.Read("RPT_0000.CSV");
  const std::string text = folder.Read("EXTRARPT.TXT");
  const TextReport report = ParseTextReport(text);
  CheckHeaders(report, csv, "Windows NT4", "File-time comparison");
  // In the order of the walk: a folder before its contents; nothing of the deleted files.
  EXPECT_EQ(kWineChanges.FilterText(report.blocks), std::string(kIniAndRegistryText) + R"(FILES AND DIRECTORIES ADDED OR CHANGED: (15)
c:\program files\Brindle\Writer
c:\program files\Brindle\Writer\Empty Folder
c:\program files\Brindle\Writer\Help
c:\program files\Brindle\Writer\Help\Pictures
c:\program files\Brindle\Writer\Help\Pictures\logo.bmp
c:\program files\Brindle\Writer\Read Me.txt
c:\program files\Brindle\Writer\writer.dat
c:\program files\Common Files
c:\program files\Common Files\Brindle
c:\program files\Common Files\Brindle\Shared
c:\program files\Common Files\Brindle\Shared\brshared.dll
c:\windows\brindle.ini
c:\windows\system.ini
c:\windows\system32
c:\windows\system32\brwrt32.dll

)") << text;
  EXPECT_EQ(kWineChanges.FilterCsv(csv), std::string(kIniAndRegistryCsv) + R"("File","Newer","c:\program files\Brindle\Writer"
"File","Newer","c:\program files\Brindle\Writer\Empty Folder"
"File","Newer","c:\program files\Brindle\Writer\Help"
"File","Newer","c:\program files\Brindle\Writer\Help\Pictures"
"File","Newer","c:\program files\Brindle\Writer\Help\Pictures\logo.bmp"
"File","Newer","c:\program files\Brindle\Writer\Read Me.txt"
"File","Newer","c:\program files\Brindle\Writer\writer.dat"
"File","Newer","c:\program files\Common Files"
"File","Newer","c:\program files\Common Files\Brindle"
"File","Newer","c:\program files\Common Files\Brindle\Shared"
"File","Newer","c:\program files\Common Files\Brindle\Shared\brshared.dll"
"File","Newer","c:\windows\brindle.ini"
"File","Newer","c:\windows\system.ini"
"File","Newer","c:\windows\system32"
"File","Newer","c:\windows\system32\brwrt32.dll"
)") << csv;
  CheckPreview("RPT_0000.CSV");
}

}  // namespace
}  // namespace e2e
