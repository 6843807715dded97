#pragma once
// The sample install of tests/installers: brsetup.exe updates a "1.0 install" that the
// fixture prepares, and starts brshared.exe without waiting. The fixture prepares the 1.0
// install, watches the folders and INI files the installers change, runs whole sessions
// through the real window and takes the install away again.
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>

#include "app/gui/vortan4_app.h"
#include "platform/owners.h"
#include "report_reader.h"

namespace e2e {

using gui_tests::Vortan4;

inline constexpr char kSetup[] = "C:\\tests\\programs\\brsetup.exe";
inline constexpr char kInstall[] = "C:\\Program Files\\Brindle";
inline constexpr char kShared[] = "C:\\Program Files\\Common Files\\Brindle";
inline constexpr char kSystemDll[] = "C:\\windows\\system32\\brwrt32.dll";
inline constexpr char kBrindleIni[] = "c:\\windows\\brindle.ini";
inline constexpr char kSystemIni[] = "c:\\windows\\system.ini";
inline constexpr char kPreparedMark[] = "; prepared for Brindle Writer 2.0\r\n";

// What Wine changes on its own while a session runs.
inline const std::vector<std::string> kWineChangePatterns = {
    // Its services make the display driver's key anew and refresh driver dates.
    R"(^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\(Video|Class)\\)",
    R"(^HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent)",
    // Its own settings, such as the system parameters a program changes for the session.
    R"(^HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\Wine\\)",
};
inline const Incidental kWineChanges(kWineChangePatterns);

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  for (size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1))
    CreateDirectoryA(path.substr(0, slash).c_str(), nullptr);
  std::ofstream(path, std::ios::binary) << bytes;
}

// A file or folder last written long ago, as a file of an old install is. The disk
// listing keeps times to two seconds: a folder changed a moment before the install and
// again during it could look unchanged.
inline void MakeOld(const std::string& path) {
  platform::FileHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  SYSTEMTIME old{1996, 11, 6, 2, 9, 0, 0, 0};
  FILETIME time{};
  SystemTimeToFileTime(&old, &time);
  EXPECT_TRUE(file && SetFileTime(file.get(), &time, &time, &time)) << path;
}

inline void SetValue(HKEY root, const std::string& key, const std::string& name, DWORD type,
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

inline std::string Sz(const char* text) { return std::string(text, strlen(text) + 1); }
inline std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

// Line ends as the preview's control gives them back may differ from the file's.
inline std::string WithNewlines(const std::string& text) {
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
  void RunSession(const std::string& version, int modeButton, const std::string& program = kSetup,
                  const std::string& parameters = "/S") {
    Start(version);
    ChooseProgram(program, parameters, modeButton);
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

}  // namespace e2e
