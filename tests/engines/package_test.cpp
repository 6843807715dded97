// The pieces of the package scripts that can go wrong: folder variables, the current
// user's keys, escaping in both formats, the registry types, and what the plan keeps of
// the machine as it is.
#include "engines/package.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "platform/owners.h"
#include "support/temp_folder.h"

using engines::PackageAction;
using engines::PackageStep;

namespace {

const engines::PackageFolders kFolders{"C:\\Program Files", "C:\\windows", "C:\\windows\\system32"};

PackageStep Value(const std::string& key, const std::string& name, unsigned long type,
                  const std::string& data) {
  PackageStep step;
  step.action = PackageAction::SetValue;
  step.path = key;
  step.name = name;
  step.type = type;
  step.data = data;
  step.added = true;
  return step;
}

TEST(Package, PathsUseTheInstallersFolders) {
  struct Case {
    const char* path;
    const char* payload;
  } cases[] = {
      {"c:\\program files\\Brindle\\a.txt", "files\\PROGRAMFILES\\Brindle\\a.txt"},
      {"C:\\windows\\system32\\x.dll", "files\\SYSDIR\\x.dll"},
      {"c:\\windows\\brindle.ini", "files\\WINDIR\\brindle.ini"},
      {"c:\\windows", "files\\WINDIR"},
      {"c:\\windows32\\a", "files\\C\\windows32\\a"},  // a name that only begins alike
      {"d:\\data\\b", "files\\D\\data\\b"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(engines::PayloadPath(engines::SplitInstallerPath(c.path, kFolders)), c.payload) << c.path;

  engines::Package package;
  package.name = "RPT_0001";
  package.folders = kFolders;
  PackageStep file;
  file.path = "c:\\windows\\system32\\x.dll";
  file.data = "files\\SYSDIR\\x.dll";
  file.added = true;
  PackageStep top = file;  // in a drive's root folder, not the drive's current folder
  top.path = "d:\\top.txt";
  top.data = "files\\D\\top.txt";
  package.steps = {file, top};
  std::vector<engines::PackageNote> notes;
  const std::string nsis = engines::NsisScript(package, notes);
  EXPECT_NE(nsis.find("SetOutPath \"$SYSDIR\"\r\n  File \"/oname=x.dll\" \"files\\SYSDIR\\x.dll\""),
            std::string::npos) << nsis;
  EXPECT_NE(nsis.find("SetOutPath \"d:\\\"\r\n  File \"/oname=top.txt\""), std::string::npos) << nsis;
  EXPECT_NE(nsis.find("Section \"Uninstall\"\r\n  Delete \"d:\\top.txt\"\r\n  Delete \"$SYSDIR\\x.dll\""),
            std::string::npos);
  const std::string wix = engines::WixScript(package, notes);
  EXPECT_NE(wix.find("<Directory Id=\"SystemFolder\">\r\n        <Component"), std::string::npos) << wix;
  EXPECT_TRUE(notes.empty());
}

TEST(Package, TheCurrentUsersKeysGoToHkeyCurrentUser) {
  const std::string user = "S-1-5-21-0-0-0-1000";
  struct Case {
    const char* key;
    const char* mapped;
  } cases[] = {
      {"HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\B", "HKEY_CURRENT_USER\\Software\\B"},
      {"HKEY_USERS\\s-1-5-21-0-0-0-1000", "HKEY_CURRENT_USER"},
      {"HKEY_USERS\\S-1-5-21-0-0-0-1000_Classes\\.bw", "HKEY_CURRENT_USER\\Software\\Classes\\.bw"},
      {"HKEY_USERS\\S-1-5-21-0-0-0-10000\\Software", "HKEY_USERS\\S-1-5-21-0-0-0-10000\\Software"},
      {"HKEY_USERS\\.DEFAULT\\Software", "HKEY_USERS\\.DEFAULT\\Software"},
      {"HKEY_LOCAL_MACHINE\\Software\\S-1-5-21-0-0-0-1000", "HKEY_LOCAL_MACHINE\\Software\\S-1-5-21-0-0-0-1000"},
  };
  for (const Case& c : cases) EXPECT_EQ(engines::MapRegistryKey(c.key, user), c.mapped) << c.key;
}

TEST(Package, TextIsEscapedForEachFormat) {
  EXPECT_EQ(engines::NsisString("a$b \"q\"\r\n\t$$"), "a$$b $\\\"q$\\\"$\\r$\\n$\\t$$$$");
  // makensis takes "$\" and "${" for an escape and a define even after "$$".
  EXPECT_EQ(engines::NsisString("$\\n ${NSISDIR} $$\\"), "$Dollar\\n $Dollar{NSISDIR} $$$Dollar\\");
  EXPECT_EQ(engines::XmlText("a&b<c>\"d\"\x01$(x)"), "a&amp;b&lt;c&gt;&quot;d&quot;&#x1;$$(x)");
  // Registry keys, names and values are formatted text to the Windows Installer.
  EXPECT_EQ(engines::WixValueElement(Value("HKEY_CURRENT_USER\\S[1]", "n&[x]", REG_SZ, std::string("$[v]\0", 5)), ""),
            "<RegistryValue Root=\"HKCU\" Key=\"S[\\[]1[\\]]\" Name=\"n&amp;[\\[]x[\\]]\" Type=\"string\" "
            "Value=\"$$[\\[]v[\\]]\"/>");
}

TEST(Package, EachRegistryTypeHasItsForm) {
  const std::string key = "HKEY_LOCAL_MACHINE\\Software\\B";
  struct Case {
    unsigned long type;
    std::string data;
    const char* nsis;  // "" where NSIS cannot write it
    const char* wix;   // the Type and Value attributes; "" where it cannot
  } cases[] = {
      {REG_SZ, std::string("a\"$\0", 4), "WriteRegStr HKLM \"Software\\B\" \"v\" \"a$\\\"$$\"",
       "Type=\"string\" Value=\"a&quot;$$\""},
      {REG_EXPAND_SZ, std::string("%SystemRoot%\\x\0", 15),
       "WriteRegExpandStr HKLM \"Software\\B\" \"v\" \"%SystemRoot%\\x\"",
       "Type=\"integer\" Value=\"%%SystemRoot%\\x\""},
      {REG_DWORD, std::string("\xFF\xFF\xFF\xFF", 4), "WriteRegDWORD HKLM \"Software\\B\" \"v\" 0xFFFFFFFF",
       "Type=\"integer\" Value=\"-1\""},
      {REG_DWORD, std::string("\xD2\x04\0\0", 4), "WriteRegDWORD HKLM \"Software\\B\" \"v\" 0x000004D2",
       "Type=\"integer\" Value=\"1234\""},
      {REG_BINARY, "\xDE\xAD\xBE\xEF", "WriteRegBin HKLM \"Software\\B\" \"v\" DEADBEEF",
       "Type=\"integer\" Value=\"xDEADBEEF\""},
      {REG_BINARY, std::string(600, '\0'), "", "Type=\"integer\" Value=\"x0000"},
      {REG_MULTI_SZ, std::string("one\0two\0\0", 9),
       "WriteRegMultiStr /REGEDIT5 HKLM \"Software\\B\" \"v\" 6F006E0065000000740077006F0000000000",
       "Type=\"multistring\" Value=\"one[~]two\""},
      {REG_MULTI_SZ, std::string("a\0\0b\0\0", 6), "WriteRegMultiStr /REGEDIT5 HKLM \"Software\\B\" \"v\" 610000000000620000000000", ""},
      {REG_DWORD_BIG_ENDIAN, std::string(4, '\1'), "", ""},
  };
  for (const Case& c : cases) {
    const PackageStep step = Value(key, "v", c.type, c.data);
    EXPECT_EQ(engines::NsisValueLine(step), c.nsis) << c.type;
    const std::string wix = engines::WixValueElement(step, "");
    if (*c.wix)
      EXPECT_EQ(wix.find(std::string(" Name=\"v\" ") + c.wix), std::string("<RegistryValue Root=\"HKLM\" Key=\"Software\\B\"").size())
          << wix;
    else
      EXPECT_EQ(wix, "") << c.type;
  }
  // What no NSIS command writes goes through the registry functions, from a file.
  engines::Package package;
  package.steps = {Value("HKEY_CURRENT_USER\\S", "", REG_NONE, "ab"), Value(key, "$v", REG_BINARY, std::string(600, '\1'))};
  std::vector<engines::PackageNote> notes;
  const std::string nsis = engines::NsisScript(package, notes);
  for (const char* expected :
       {"File \"/oname=$PLUGINSDIR\\value.bin\" \"files\\VALUES\\0.bin\"\r\n",
        "StrCpy $R1 \"S\"\r\n  StrCpy $R2 \"\"\r\n  System::Call 'advapi32::RegCreateKeyExA(i 0x80000001, t R1,",
        "RegSetValueExA(i r3, t R2, i 0, i 0, i r1, i 2)'",
        "File \"/oname=$PLUGINSDIR\\value.bin\" \"files\\VALUES\\1.bin\"\r\n",
        "StrCpy $R1 \"Software\\B\"\r\n  StrCpy $R2 \"$$v\"\r\n  System::Call 'advapi32::RegCreateKeyExA(i 0x80000002, t R1,",
        "RegSetValueExA(i r3, t R2, i 0, i 3, i r1, i 600)'"})
    EXPECT_NE(nsis.find(expected), std::string::npos) << expected << "\n" << nsis;
  EXPECT_TRUE(notes.empty());
}

// The package is named after the installation, fit for a folder and a key name.
TEST(Package, TheInstallationNamesThePackage) {
  struct Case {
    const char* description;
    const char* program;
    const char* name;
  } cases[] = {
      {"Writer 2.1", "c:\\s\\setup.exe", "Writer 2.1"},
      {" ", "c:\\s\\wr setup.exe", "wr setup"},
      {" a:b*c \"d\" | e. ", "", "a_b_c _d_ _ e"},
      {"", "", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(engines::InstallationName(c.description, c.program), c.name) << c.description;
}

// New INI keys go in the order the install left them in the file, so that the package
// writes the same file; a volatile key (the session's only) is not the install's to make.
TEST(Package, ThePlanKeepsTheFilesOrderAndLeavesSessionKeysOut) {
  using engines::UndoKind;
  testing_support::TempFolder folder;
  const std::string ini = folder / "app.ini";
  folder.Write("app.ini", "[Old]\r\nx=0\r\n[New]\r\nc=3\r\na=1\r\nb=2\r\n");
  const std::string top = "Software\\Vortan4 package test";
  ASSERT_EQ(RegSetValueA(HKEY_LOCAL_MACHINE, (top + "\\Lasting").c_str(), REG_SZ, "l", 1), ERROR_SUCCESS);
  ASSERT_EQ(RegSetKeyValueA(HKEY_LOCAL_MACHINE, (top + "\\Lasting").c_str(), "@", REG_SZ, "l", 2),
            ERROR_SUCCESS);
  HKEY made = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (top + "\\Session").c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &made, nullptr),
            ERROR_SUCCESS);
  platform::RegKey session(made);
  ASSERT_EQ(RegSetValueExA(session.get(), "v", 0, REG_SZ, reinterpret_cast<const BYTE*>("s"), 2), ERROR_SUCCESS);

  engines::UndoData data;
  for (const char* key : {"[New]a", "[New]b", "[New]c", "[Old]x"}) {
    data.items.push_back(engines::MakeUndoItem(UndoKind::IniKeyAdded, ini, key));
    data.items.back().after.data = key[1] == 'N' ? std::string(1, static_cast<char>('1' + key[5] - 'a')) : "0";
  }
  // The default value, written "@", and the value named "@", written "@@".
  for (auto [key, name] : {std::pair{"Session", "v"}, {"Lasting", "@"}, {"Lasting", "@@"}}) {
    data.items.push_back(engines::MakeUndoItem(UndoKind::ValueAdded, "HKEY_LOCAL_MACHINE\\" + top + "\\" + key,
                                               name));
    data.items.back().after = {true, REG_SZ, std::string(1, static_cast<char>(tolower(key[0]))) + '\0'};
  }
  engines::PackageContext context;
  context.folders = kFolders;
  const engines::Package package = engines::PlanPackage(data, context);
  for (const char* key : {"\\Session", "\\Lasting", ""}) RegDeleteKeyA(HKEY_LOCAL_MACHINE, (top + key).c_str());

  std::vector<std::string> steps;
  for (const PackageStep& step : package.steps) steps.push_back(engines::DescribeStep(step));
  EXPECT_EQ(steps, (std::vector<std::string>{"value HKEY_LOCAL_MACHINE\\" + top + "\\Lasting @",
                                             "value HKEY_LOCAL_MACHINE\\" + top + "\\Lasting @@",
                                             "key [Old]x of " + ini, "key [New]c of " + ini,
                                             "key [New]a of " + ini, "key [New]b of " + ini}));
  ASSERT_GE(package.steps.size(), 2u);
  EXPECT_EQ(package.steps[0].name, "");  // the names the scripts write
  EXPECT_EQ(package.steps[1].name, "@");
  ASSERT_EQ(package.notPackaged.size(), 1u);
  EXPECT_NE(package.notPackaged[0].what.find("\\Session"), std::string::npos);
}

}  // namespace
