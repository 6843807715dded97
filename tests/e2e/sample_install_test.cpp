// Whole sessions through the real window with the sample installers of tests/installers:
// brsetup.exe updates a "1.0 install" that the test prepares, and starts brshared.exe
// without waiting. The reports must list exactly their changes, in the program's order
// and format, besides what Wine changes on its own.
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/gui/vortan4_app.h"
#include "platform/owners.h"
#include "report_reader.h"

namespace e2e {
namespace {

using gui_tests::Vortan4;

const char kSetup[] = "C:\\tests\\programs\\brsetup.exe";
const char kInstall[] = "C:\\Program Files\\Brindle";
const char kShared[] = "C:\\Program Files\\Common Files\\Brindle";
const char kSystemDll[] = "C:\\windows\\system32\\brwrt32.dll";
const char kBrindleIni[] = "c:\\windows\\brindle.ini";
const char kSystemIni[] = "c:\\windows\\system.ini";
const char kPreparedMark[] = "; prepared for Brindle Writer 2.0\r\n";

// What Wine changes on its own while a session runs.
const Incidental kWineChanges({
    // Its services make the display driver's key anew and refresh driver dates.
    R"(^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\(Video|Class)\\)",
    R"(^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent)",
    // Its own settings, such as the system parameters a program changes for the session.
    R"(^HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Wine\\)",
});

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

void WriteBytes(const std::string& path, const std::string& bytes) {
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1))
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  std::ofstream(path, std::ios::binary) << bytes;
}

// A file or folder last written long ago, as a file of an old install is. The disk
// listing keeps times to two seconds: a folder changed a moment before the install and
// again during it could look unchanged.
void MakeOld(const std::string& path) {
  platform::FileHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  SYSTEMTIME old{1996, 11, 6, 2, 9, 0, 0, 0};
  FILETIME time{};
  SystemTimeToFileTime(&old, &time);
  EXPECT_TRUE(file && SetFileTime(file.get(), &time, &time, &time)) << path;
}

void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
              const std::string& data) {
  HKEY opened = nullptr;
  ASSERT_EQ(RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &opened,
                            nullptr),
            ERROR_SUCCESS);
  platform::RegKey owner(opened);
  ASSERT_EQ(RegSetValueExA(opened, name.c_str(), 0, type,
                           reinterpret_cast<const BYTE*>(data.data()),
                           static_cast<DWORD>(data.size())),
            ERROR_SUCCESS);
}

std::string Sz(const char* text) { return std::string(text, strlen(text) + 1); }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// Line ends as the preview's control gives them back may differ from the file's.
std::string WithNewlines(const std::string& text) {
  std::string plain;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i] == '\r' ? '\n' : text[i];
  }
  return plain;
}

class SampleInstall : public Vortan4 {
 protected:
  // The session watches the two folders and the two INI files that the installers change
  // and leaves out HKEY_LOCAL_MACHINE\Software\Classes, which they do not touch and
  // which takes the registry listing seconds.
  void SetUp() override {
    RemoveInstall();
    // A run that ended early may have left the prepared lines, after their mark.
    systemIni_ = ReadBytes(kSystemIni);
    systemIni_ = systemIni_.substr(0, systemIni_.find(kPreparedMark));
    PrepareVersionOne();
    folder.MakeFolder("temp");
    std::ostringstream ini;
    ini << "[Settings]\r\nDrivesInitialized=1\r\nINIsInitialized=1\r\nRegInitialized=1\r\n"
        << "ReptPath=" << folder.Path() << "\r\nTempPath=" << folder / "temp\\" << "\r\n"
        << "[Drives]\r\n0=c:\\program files\r\n1=c:\\windows\r\n"
        << "[INIs]\r\n0=" << kBrindleIni << "\r\n1=" << kSystemIni << "\r\n"
        << "[Regs]\r\n0=hkey_local_machine\\software\\classes\r\n";
    folder.Write("VORTAN4.INI", ini.str());
  }

  void TearDown() override {
    if (app && window && IsWindow(window)) {
      EXPECT_EQ(Close(), 0);
    }
    RemoveInstall();
    WriteBytes(kSystemIni, systemIni_);
  }

  static void RemoveInstall() {
    testing_support::RemoveTree(kInstall);
    testing_support::RemoveTree(kShared);
    DeleteFileA(kSystemDll);
    DeleteFileA(kBrindleIni);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Brindle");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Brindle");
    // Where the install adds something, the folder must change within the session.
    MakeOld("C:\\Program Files\\Common Files");
    MakeOld("C:\\windows\\system32");
  }

  // What the update finds: the files, values and INI lines of version 1.0.
  void PrepareVersionOne() {
    const std::string writer = std::string(kInstall) + "\\Writer";
    for (const char* name : {"writer.dat", "old-notes.txt", "keep.txt", "Obsolete\\stale.dat"}) {
      WriteBytes(writer + "\\" + name, std::string("1.0: ") + name + "\r\n");
      MakeOld(writer + "\\" + name);
    }
    for (const std::string& made : {writer + "\\Obsolete", writer, std::string(kInstall)})
      MakeOld(made);
    WriteBytes(kBrindleIni, "[Main]\r\nColour=red\r\nSize=10\r\nGone=yes\r\n[Old]\r\na=1\r\n");
    WriteBytes(kSystemIni, systemIni_ + kPreparedMark +
                               "[boot]\r\ndrivers=mmsystem.dll\r\n"
                               "[386Enh]\r\ndevice=*vpicd\r\ndevice=C:\\windows\\system\\brold.386\r\n"
                               "DEVICE=*vdd\r\nEMMExclude=C800-CFFF\r\n");
    const std::string key = "Software\\Brindle\\Writer";
    SetValue(HKEY_LOCAL_MACHINE, key, "", REG_SZ, Sz("Brindle Writer 1.0"));
    SetValue(HKEY_LOCAL_MACHINE, key, "Version", REG_SZ, Sz("1.0"));
    SetValue(HKEY_LOCAL_MACHINE, key, "Home", REG_EXPAND_SZ, Sz("%ProgramFiles%\\Brindle"));
    SetValue(HKEY_LOCAL_MACHINE, key, "Build", REG_DWORD, Dword(100));
    SetValue(HKEY_LOCAL_MACHINE, key, "Mask", REG_BINARY, "\x01\x02");
    std::string table;
    for (char c = 0; c < 20; ++c) table += c;
    SetValue(HKEY_LOCAL_MACHINE, key, "Table", REG_BINARY, table);  // folded: over 16 bytes
    SetValue(HKEY_LOCAL_MACHINE, key, "Paths", REG_MULTI_SZ, std::string("a\0b\0", 5));
    SetValue(HKEY_LOCAL_MACHINE, key, "Keep", REG_SZ, Sz("yes"));
    SetValue(HKEY_LOCAL_MACHINE, key, "OldText", REG_SZ, Sz("old"));
    SetValue(HKEY_LOCAL_MACHINE, key, "OldPath", REG_EXPAND_SZ, Sz("%TEMP%\\old"));
    SetValue(HKEY_LOCAL_MACHINE, key, "OldFlag", REG_DWORD, Dword(1));
    SetValue(HKEY_LOCAL_MACHINE, key, "OldBlob", REG_BINARY, "\xAA");
    SetValue(HKEY_LOCAL_MACHINE, key, "OldList", REG_MULTI_SZ, std::string("p\0", 3));
    SetValue(HKEY_LOCAL_MACHINE, key + "\\Legacy", "Mode", REG_SZ, Sz("compat"));
    SetValue(HKEY_LOCAL_MACHINE, key + "\\Legacy\\Cache", "", REG_SZ, Sz("idx"));
  }

  // The whole session, from "&GO!" to the report's preview; the description has a quote
  // for the CSV form to double.
  void RunSession(const std::string& version, int modeButton) {
    Start(version);
    ChooseProgram(kSetup, "/S", modeButton);
    Type(IDC_ebName, "Brindle Writer 2.0 \"update\"");
    ASSERT_TRUE(GoAndWaitForTheInstall());
    ASSERT_TRUE(CompleteAndWaitForTheReport());
  }

  // The header lines of both forms, which change with the mode, the day and Windows.
  static void CheckHeaders(const TextReport& text, const std::string& csv, const char* windows,
                           const char* mode) {
    const std::vector<std::string> expected = {
        "Installation report: Brindle Writer 2.0 \"update\"",
        "    \\(generated by VORTAN 4, version [0-9]+\\.[0-9]+\\.[0-9]+\\.[0-9]+\\)",
        R"(Install program: C:\\tests\\programs\\brsetup\.exe)",
        "(Sunday|Monday|Tuesday|Wednesday|Thursday|Friday|Saturday), [A-Z][a-z]+ [1-9][0-9]?, "
        "20[0-9][0-9]  [01][0-9]:[0-5][0-9] (AM|PM)",
        windows,
        std::string("Notification by ") + mode,
        "Tracking these drives/folders: ",
        R"(    c:\\program files)",
        R"(    c:\\windows)"};
    ASSERT_EQ(text.header.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
      EXPECT_TRUE(std::regex_match(text.header[i], std::regex(expected[i]))) << text.header[i];

    const std::vector<std::string> lines = CrLfLines(csv);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              R"("Type","SubType","Filename","INI Section","Registry Key","INI key",)"
              R"("Registry value","Data","Previous Data")");
    const std::string row = std::string(R"-("Header","Brindle Writer 2.0 ""update""","Vortan4",)-") +
                            R"-("[0-9.]+","[01][0-9]/[0-3][0-9]/20[0-9][0-9]",)-" +
                            R"-("[01][0-9]:[0-5][0-9] (AM|PM)",")-" + windows + R"-(",")-" + mode +
                            R"-(","")-";
    EXPECT_TRUE(std::regex_match(lines[1], std::regex(row))) << lines[1];
    EXPECT_EQ(lines[2], R"("Header","Install program","C:\tests\programs\brsetup.exe")");
  }

  // Page 2 shows the report file the user named, whatever its form.
  void CheckPreview(const std::string& reportName) {
    EXPECT_EQ(Text(IDC_lbReportName), folder / reportName);
    EXPECT_EQ(WithNewlines(gui::Text(Item(IDC_meRept))), WithNewlines(folder.Read(reportName)));
  }

  std::string systemIni_;
};

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
