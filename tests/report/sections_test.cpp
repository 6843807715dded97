#include "report/sections.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

using engines::ResultList;
using report::WorkLists;
using testing_support::TempFolder;

namespace {

engines::RegObject Value(const char* name, const char* data, const char* old = "") {
  engines::RegObject value;
  value.valueType = 1;
  value.valueName = name;
  value.newData = data;
  value.oldData = old;
  return value;
}

std::vector<std::string> Texts(const ResultList& list) {
  std::vector<std::string> texts;
  for (const auto& entry : list) texts.push_back(entry.text);
  return texts;
}

// Writes one section into a fresh pair of report files and reads both back.
struct Written {
  TempFolder folder;
  std::string text, csv;
  template <class Write>
  explicit Written(Write write) {
    {
      report::ReportStreams streams(folder / "r.txt", folder / "r.csv",
                                    platform::BufferedWriter::Mode::Create);
      write(streams);
    }
    text = folder.Read("r.txt");
    csv = folder.Read("r.csv");
  }
};

report::OwnFiles Own() {
  report::OwnFiles own;
  own.programFolder = "c:\\tools\\vortan4\\";
  own.reportName = "C:\\Reports\\RPT_0001.TXT";
  own.reportFolder = "c:\\reports\\";
  own.tempFolder = "c:\\temp\\";
  own.programPath = "C:\\Tools\\Vortan4\\VORTAN4.EXE";
  own.iniCopies = {"c:\\temp\\c__windows_win.$$1", "c:\\temp\\c__windows_win.$$2",
                   "c:\\temp\\d__apps_app.$$1", "c:\\temp\\d__apps_app.$$2",
                   "c:\\temp\\c__app_app.$$1", "c:\\temp\\c__app_app.$$2"};
  return own;
}

}  // namespace

TEST(IniSection, NoChangesGivesTwoLinesAndNoRows) {
  WorkLists lists;
  Written w([&](report::ReportStreams& s) { report::WriteIniSection(s, "c:\\windows\\win.ini", lists); });
  EXPECT_EQ(w.text, "NO CHANGES MADE TO c:\\windows\\win.ini...\r\n\r\n");
  EXPECT_EQ(w.csv, "");
}

TEST(IniSection, BlocksInOrderAndRowsWithSplitKeys) {
  WorkLists lists;
  lists[0] = {{"[New]a=1", {}}, {"[New]noequals", {}}};
  lists[1] = {{"[Old]x=y=z", {}}};
  lists[2] = {{"[Windows]Beep=yes=to=no", {}}};
  lists[3] = {{"[New]", {}}};
  lists[4] = {{"[Old]", {}}};
  Written w([&](report::ReportStreams& s) { report::WriteIniSection(s, "win.ini", lists); });
  EXPECT_EQ(w.text,
            "CHANGES MADE TO win.ini...\r\n"
            "SECTIONS ADDED TO win.ini: (1)\r\n[New]\r\n\r\n"
            "SECTIONS DELETED FROM win.ini: (1)\r\n[Old]\r\n\r\n"
            "KEYS ADDED TO win.ini: (2)\r\n[New]a=1\r\n[New]noequals\r\n\r\n"
            "KEYS DELETED FROM win.ini: (1)\r\n[Old]x=y=z\r\n\r\n"
            "KEYS CHANGED IN win.ini: (1)\r\n[Windows]Beep=yes=to=no\r\n\r\n");
  EXPECT_EQ(w.csv,
            "\"INI\",\"Add Section\",\"win.ini\",\"[New]\"\r\n"
            "\"INI\",\"Del Section\",\"win.ini\",\"[Old]\"\r\n"
            "\"INI\",\"Add Key\",\"win.ini\",\"[New]\",\"\",\"a\",\"\",\"1\"\r\n"
            "\"INI\",\"Add Key\",\"win.ini\",\"[New]\",\"\",\"\",\"\",\"noequals\"\r\n"
            "\"INI\",\"Del Key\",\"win.ini\",\"[Old]\",\"\",\"x\",\"\",\"y=z\"\r\n"
            "\"INI\",\"Change Key\",\"win.ini\",\"[Windows]\",\"\",\"Beep\",\"\",\"yes\",\"no\"\r\n");
  for (const auto& list : lists) EXPECT_TRUE(list.empty());
}

TEST(RegistrySection, RowsThenReadableLines) {
  WorkLists lists;
  lists[0] = {{"HKEY_LOCAL_MACHINE\\Software\\New", {}}};
  lists[2] = {{"HKEY_USERS\\.Default\\K", Value("v", "new", "")},
              {"HKEY_USERS\\.Default\\K", Value("w", "", "old")},
              {"HKEY_USERS\\.Default\\K", Value("@", "b", "a")},
              {"HKEY_USERS\\.Default\\K", Value("big", "(changed)", "(data too large)")}};
  lists[3] = {{"HKEY_LOCAL_MACHINE\\Software\\New", Value("Path", "c:\\\"x\"")},
              {"HKEY_LOCAL_MACHINE\\Software\\Bare", {}}};
  lists[4] = {{"HKEY_LOCAL_MACHINE\\Software\\Gone", Value("Old", "")}};
  Written w([&](report::ReportStreams& s) { report::WriteRegistrySection(s, lists); });
  EXPECT_EQ(w.csv,
            "\"Registry\",\"Add Key\",\"\",\"\",\"HKEY_LOCAL_MACHINE\\Software\\New\"\r\n"
            "\"Registry\",\"Add Value\",\"\",\"\",\"HKEY_LOCAL_MACHINE\\Software\\New\",\"\",\"Path\","
            "\"c:\\\"\"x\"\"\"\r\n"
            "\"Registry\",\"Change Value\",\"\",\"\",\"HKEY_USERS\\.Default\\K\",\"\",\"v\",\"new\",\"\"\r\n"
            "\"Registry\",\"Change Value\",\"\",\"\",\"HKEY_USERS\\.Default\\K\",\"\",\"w\",\"\",\"old\"\r\n"
            "\"Registry\",\"Change Value\",\"\",\"\",\"HKEY_USERS\\.Default\\K\",\"\",\"@\",\"b\",\"a\"\r\n"
            "\"Registry\",\"Change Value\",\"\",\"\",\"HKEY_USERS\\.Default\\K\",\"\",\"big\",\"(changed)\","
            "\"(data too large)\"\r\n"
            "\"Registry\",\"Del Value\",\"\",\"\",\"HKEY_LOCAL_MACHINE\\Software\\Gone\",\"\",\"Old\"\r\n");
  EXPECT_EQ(w.text,
            "REGISTRY KEYS ADDED: (1)\r\nHKEY_LOCAL_MACHINE\\Software\\New\r\n\r\n"
            "REGISTRY KEY VALUES ADDED: (1)\r\nHKEY_LOCAL_MACHINE\\Software\\New Path=c:\\\"x\"\r\n\r\n"
            "REGISTRY KEY VALUES CHANGED: (4)\r\n"
            "HKEY_USERS\\.Default\\K v=new (was <null>)\r\n"
            "HKEY_USERS\\.Default\\K w=<null> (was old)\r\n"
            "HKEY_USERS\\.Default\\K @=b (was a)\r\n"
            "HKEY_USERS\\.Default\\K big=(changed) (was (data too large))\r\n\r\n"
            "REGISTRY KEY VALUES DELETED: (1)\r\nHKEY_LOCAL_MACHINE\\Software\\Gone Old\r\n\r\n");
}

TEST(RegistrySection, ValuesWithoutRecordsCountAsNoChange) {
  WorkLists lists;
  lists[3] = {{"HKEY_LOCAL_MACHINE\\Software\\Bare", {}}};
  Written w([&](report::ReportStreams& s) { report::WriteRegistrySection(s, lists); });
  EXPECT_EQ(w.text, "NO CHANGES IN Registry\r\n\r\n");
  EXPECT_EQ(w.csv, "");
}

TEST(FileFilters, SystemFilesOnlyInUpperCase) {
  ResultList list = {{"c:\\PAGEFILE.SYS", {}}, {"c:\\pagefile.sys", {}}, {"c:\\windows\\USER.DAT", {}},
                     {"d:WIN386.SWP", {}},     {"c:\\x\\SYSTEM.DA0", {}}, {"c:\\SYSTEM.DATA", {}},
                     {"c:\\386SPART.PAR", {}}, {"c:\\USER.DA0\\inner", {}}};
  report::DropSystemFiles(list);
  EXPECT_EQ(Texts(list), std::vector<std::string>({"c:\\pagefile.sys", "c:\\SYSTEM.DATA",
                                                   "c:\\USER.DA0\\inner"}));
}

TEST(FileFilters, OwnFilesReportAndSnapshots) {
  ResultList list = {{"C:\\Tools\\Vortan4\\VORTAN4.INI", {}},
                     {"c:\\tools\\Vortan4", {}},
                     {"c:\\tools", {}},
                     {"c:\\tools\\vortan4x\\keep.txt", {}},
                     {"c:\\reports\\rpt_0001.txt", {}},
                     {"c:\\reports\\RPT_0002.TXT", {}},
                     {"C:\\REPORTS\\extrarpt.csv", {}},
                     {"c:\\reports\\EXTRARPT.TXT", {}},
                     {"c:\\temp\\VORTAN$$.$$1", {}},
                     {"c:\\temp\\REG$$$$$.$$2", {}},
                     {"C:\\TEMP\\DEV$$$$$.$$1", {}},
                     {"c:\\temp\\vortan$$.$$1", {}},
                     {"c:\\temp\\C__WINDOWS_WIN.$$2", {}},
                     {"c:\\temp\\d__apps_app.$$1", {}},
                     {"c:\\temp\\c__app_app.$$2", {}},  // the copy of c:\app\app.cfg
                     {"c:\\temp\\other.$$1", {}},
                     {"c:\\temp\\VORTAN$$.$$3", {}},
                     {"c:\\else\\VORTAN$$.$$1", {}}};
  report::DropOwnFiles(list, Own());
  EXPECT_EQ(Texts(list), std::vector<std::string>({"c:\\tools", "c:\\tools\\vortan4x\\keep.txt",
                                                   "c:\\reports\\RPT_0002.TXT",
                                                   "c:\\temp\\vortan$$.$$1", "c:\\temp\\other.$$1",
                                                   "c:\\temp\\VORTAN$$.$$3", "c:\\else\\VORTAN$$.$$1"}));
}

// A program kept in a drive root: only its own files there go, not the whole drive.
TEST(FileFilters, ProgramInADriveRoot) {
  report::OwnFiles own = Own();
  own.programFolder = "c:\\";
  own.programPath = "C:\\VORTAN4.EXE";
  ResultList list = {{"c:\\VORTAN4.INI", {}},      {"C:\\vortan4.gid", {}},
                     {"c:\\vortan4x.ini", {}},     {"c:\\app\\vortan4.ini", {}},
                     {"c:\\app\\setup.dll", {}}, {"c:\\autoexec.bat", {}},
                     {"c:\\temp\\REG$$$$$.$$1", {}}};
  report::DropOwnFiles(list, own);
  EXPECT_EQ(Texts(list), std::vector<std::string>({"c:\\vortan4x.ini", "c:\\app\\vortan4.ini",
                                                   "c:\\app\\setup.dll", "c:\\autoexec.bat"}));
}

// The report names compare as the system compares texts, accented capitals included.
TEST(FileFilters, ReportNamesInTheUsersLocale) {
  report::OwnFiles own = Own();
  own.reportName = "C:\\Reports\\R\xC9SUM\xC9.TXT";
  ResultList list = {{"c:\\reports\\r\xE9sum\xE9.txt", {}}, {"c:\\reports\\resume.txt", {}},
                     {"c:\\reports\\r\xE9sum\xE9.txt.bak", {}}};
  report::DropOwnFiles(list, own);
  EXPECT_EQ(Texts(list), std::vector<std::string>({"c:\\reports\\resume.txt",
                                                   "c:\\reports\\r\xE9sum\xE9.txt.bak"}));
}

TEST(DiskSection, FiltersThenBlocksAndRows) {
  WorkLists lists;
  lists[0] = {{"c:\\app", {}}, {"c:\\app\\a.dll", {}}, {"c:\\temp\\VORTAN$$.$$2", {}}};
  lists[1] = {{"c:\\old.txt", {}}};
  lists[2] = {{"c:\\PAGEFILE.SYS", {}}, {"c:\\windows\\win.ini", {}}};
  Written w([&](report::ReportStreams& s) { report::WriteDiskSection(s, lists, Own()); });
  EXPECT_EQ(w.text,
            "FILES AND DIRECTORIES ADDED: (2)\r\nc:\\app\r\nc:\\app\\a.dll\r\n\r\n"
            "FILES AND DIRECTORIES DELETED: (1)\r\nc:\\old.txt\r\n\r\n"
            "FILES CHANGED: (1)\r\nc:\\windows\\win.ini\r\n\r\n");
  EXPECT_EQ(w.csv,
            "\"File\",\"Add File/Dir\",\"c:\\app\"\r\n\"File\",\"Add File/Dir\",\"c:\\app\\a.dll\"\r\n"
            "\"File\",\"Del File/Dir\",\"c:\\old.txt\"\r\n"
            "\"File\",\"Change File\",\"c:\\windows\\win.ini\"\r\n");

  WorkLists onlyOwn;
  onlyOwn[2] = {{"c:\\reports\\EXTRARPT.CSV", {}}};
  Written none([&](report::ReportStreams& s) { report::WriteDiskSection(s, onlyOwn, Own()); });
  EXPECT_EQ(none.text, "NO CHANGES IN TRACKED DISKS\r\n\r\n");
  EXPECT_EQ(none.csv, "");
}

TEST(FileTimeSection, NewerFiles) {
  WorkLists lists;
  lists[0] = {{"c:\\app\\a.dll", {}}, {"c:\\WIN386.SWP", {}}};
  Written w([&](report::ReportStreams& s) { report::WriteFileTimeSection(s, lists, Own()); });
  EXPECT_EQ(w.text, "FILES AND DIRECTORIES ADDED OR CHANGED: (1)\r\nc:\\app\\a.dll\r\n\r\n");
  EXPECT_EQ(w.csv, "\"File\",\"Newer\",\"c:\\app\\a.dll\"\r\n");
}
