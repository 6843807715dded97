// A disk contents session through the real window, then "VORTAN4.EXE /UNDO <report> /Y"
// as a script runs it: the registry and the INI file as they were before the install, the
// added files gone, what cannot be restored listed in the log, and the exit codes.
#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

#include "app/gui/dialog_steps.h"
#include "app/gui/vortan4_app.h"
#include "dialogs/undofmu_ids.h"
#include "engines/helpers.h"
#include "engines/ini.h"
#include "engines/registry.h"
#include "engines/undo_data.h"
#include "platform/changes.h"
#include "platform/textfile.h"

namespace e2e {
namespace {

using gui_tests::Vortan4;

const char kSetup[] = "C:\\tests\\programs\\undosetup.exe";
const char kRoot[] = "C:\\undotest";
const char kIni[] = "c:\\windows\\undotest.ini";

std::string Contents(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<std::string> Texts(const engines::ResultList& list) {
  std::vector<std::string> texts;
  for (const auto& entry : list) texts.push_back(entry.text);
  return texts;
}

class UndoSession : public Vortan4 {
 protected:
  void SetUp() override {
    RemoveInstall();
    CreateDirectoryA(kRoot, nullptr);
    std::ostringstream ini;
    ini << "[Settings]\r\nDrivesInitialized=1\r\nINIsInitialized=1\r\nRegInitialized=1\r\n"
        << "ReptPath=" << folder.Path() << "\r\nTempPath=" << folder / "temp\\" << "\r\n"
        << "[Drives]\r\n0=c:\\undotest\r\n[INIs]\r\n0=" << kIni << "\r\n"
        // Left out: a key the install does not touch and that takes the listing seconds,
        // and what Wine changes on its own in any session, which an undo would take back.
        << "[Regs]\r\n0=hkey_local_machine\\software\\classes\r\n"
        << "1=hkey_local_machine\\system\\currentcontrolset\\control\\video\r\n"
        << "2=hkey_local_machine\\system\\currentcontrolset\\control\\class\r\n"
        << "3=hkey_local_machine\\system\\currentcontrolset\\control\\servicecurrent\r\n"
        << "4=hkey_users\\s-1-5-21-0-0-0-1000\\software\\wine\r\n";
    folder.MakeFolder("temp");
    folder.MakeFolder("mine");
    folder.Write("VORTAN4.INI", ini.str());
  }
  void TearDown() override {
    if (app && window && IsWindow(window)) {
      EXPECT_EQ(Close(), 0);
    }
    RemoveInstall();
  }
  static void RemoveInstall() {
    testing_support::RemoveTree(kRoot);
    DeleteFileA(kIni);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\UndoTest");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\UndoTest");
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\UndoTest");
    RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\UndoTest");
  }

  // What the install finds.
  void Prepare() {
    auto write = [](const std::string& path, const char* text) {
      platform::BufferedWriter out(path);
      out.Write(text);
      out.Close();
    };
    write(std::string(kRoot) + "\\keep.txt", "1.0");
    write(std::string(kRoot) + "\\old.txt", "old");
    write(std::string(kRoot) + "\\replaced.txt", "before");
    write(std::string(kRoot) + "\\ro.txt", "read-only");
    SetFileAttributesA((std::string(kRoot) + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryA((std::string(kRoot) + "\\Docs").c_str(), nullptr);
    write(std::string(kRoot) + "\\Docs\\a.txt", "docs");
    write(kIni, "[Main]\r\nColour=red\r\nGone=yes\r\n");
    const DWORD build = 100;
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Version", REG_SZ, "1.0", 4);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Build", REG_DWORD, &build, 4);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Old", REG_SZ, "x", 2);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\UndoTest", "Kind", REG_SZ, "5", 2);
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, "Software\\UndoTest\\Legacy", "Mode", REG_SZ, "c", 2);
    HKEY user = nullptr;  // where the install adds a key of the user's
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\UndoTest", 0, nullptr, 0, KEY_READ, nullptr,
                    &user, nullptr);
    RegCloseKey(user);
  }

  // The registry below the two UndoTest keys and the INI file, in the program's listings.
  void Record(const std::string& extension) {
    engines::SnapshotRegistryFrom(
        folder / ("mine\\REG" + extension),
        {{HKEY_USERS, "HKEY_USERS", "\\S-1-5-21-0-0-0-1000\\Software\\UndoTest"},
         {HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE", "\\Software\\UndoTest"}},
        engines::TrackedList(), nullptr, nullptr);
    engines::SnapshotIniFile(kIni, folder / "mine\\", extension);
  }
  // Every difference between two recordings, one text each.
  std::vector<std::string> Differences(const std::string& before, const std::string& after) {
    engines::ResultList lists[10];
    engines::CompareRegistrySnapshots(folder / ("mine\\REG" + before),
                                      folder / ("mine\\REG" + after), lists[0], lists[1], lists[2],
                                      lists[3], lists[4], nullptr);
    engines::CompareIniSnapshots(engines::IniCopyPath(kIni, folder / "mine\\", before),
                                 engines::IniCopyPath(kIni, folder / "mine\\", after), lists[5],
                                 lists[6], lists[7], lists[8], lists[9]);
    std::vector<std::string> all;
    for (const auto& list : lists)
      for (const std::string& text : Texts(list)) all.push_back(text);
    return all;
  }

  // Every file and folder below the root: name, and for files attributes, size, times and
  // contents.
  static std::string Files(const std::string& folder = kRoot) {
    std::string listing;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return listing;
    std::vector<std::string> names;
    do {
      if (strcmp(found.cFileName, ".") == 0 || strcmp(found.cFileName, "..") == 0) continue;
      const std::string path = folder + "\\" + found.cFileName;
      std::ostringstream line;
      line << path;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        names.push_back(line.str() + "\n" + Files(path));
        continue;
      }
      line << " " << found.dwFileAttributes << " " << found.nFileSizeLow << " "
           << found.ftLastWriteTime.dwLowDateTime << " " << found.ftCreationTime.dwLowDateTime
           << " " << Contents(path) << "\n";
      names.push_back(line.str());
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) listing += name;
    return listing;
  }

  void RunSession(const char* arguments, int mode = IDC_rbTmDisk) {
    Prepare();
    Record(".b");
    filesBefore = Files();
    Start("win98");
    ChooseProgram(kSetup, arguments, mode);
    ASSERT_TRUE(GoAndWaitForTheInstall());
    ASSERT_TRUE(CompleteAndWaitForTheReport());
    Record(".a");
  }

  long Undo(const std::string& arguments) {
    gui::App command(exe, "/UNDO " + arguments);
    return command.WaitExit();
  }

  std::string Report() const { return folder / "RPT_0000.TXT"; }
  std::string filesBefore;
  bool Exists(const std::string& relative) const {
    return GetFileAttributesA((std::string(kRoot) + "\\" + relative).c_str()) !=
           INVALID_FILE_ATTRIBUTES;
  }
};

// With the window still open: the one-copy rule lets the command through.
TEST_F(UndoSession, UndoWithTheWindowOpenPutsBackAndListsTheFiles) {
  RunSession("full");
  ASSERT_FALSE(Differences(".b", ".a").empty());

  // Damaged or forged undo data, and what is no report: exit code 2, and nothing changed
  // or written anywhere, the log included.
  const std::string victim = "c:\\windows\\victim.txt";
  {
    platform::BufferedWriter out(victim);
    out.Write("the system's");
    out.Close();
  }
  const std::string items = folder.Read("RPT_0000.UND\\ITEMS.TXT");
  const engines::UndoData data = engines::ReadUndoData(folder / "RPT_0000.UND");
  engines::UndoItem outside = engines::MakeUndoItem(engines::UndoKind::FileAdded, victim);
  bool isFolder = false;
  ASSERT_TRUE(platform::EntryStamp(victim, isFolder, outside.size, outside.writeTime));
  struct Forgery {
    const char* name;
    std::function<void(engines::UndoData&)> forge;
  };
  const std::vector<Forgery> forgeries = {
      {"a path with / steps", [&](engines::UndoData& d) {
         d.items.push_back(outside);
         d.items.back().place = "c:\\undotest\\x/../../windows/victim.txt";
       }},
      {"a watched folder added", [&](engines::UndoData& d) {
         d.watchedFolders.push_back("c:\\windows\\");
         d.items.push_back(outside);
       }},
      {"real-time mode, which watches every drive", [&](engines::UndoData& d) {
         d.mode = 1;
         d.watchedFolders = {"C:\\"};
         d.items.push_back(outside);
       }},
  };
  for (const Forgery& forgery : forgeries) {
    engines::UndoData forged = data;
    forgery.forge(forged);
    engines::WriteUndoData(folder / "RPT_0000.UND", forged);
    EXPECT_EQ(Undo(Report() + " /Y"), 2) << forgery.name;
  }
  std::string damaged = items;
  damaged[damaged.find("Software\\UndoTest")] = 's';
  folder.Write("RPT_0000.UND\\ITEMS.TXT", damaged);
  EXPECT_EQ(Undo(Report() + " /Y"), 2);
  EXPECT_EQ(Undo(victim + " /Y"), 2);
  EXPECT_EQ(Undo("c:\\windows\\NOSUCH.TXT /Y"), 2);
  EXPECT_EQ(Contents(victim), "the system's");
  for (const char* log : {"c:\\windows\\victim.UNDO.TXT", "c:\\windows\\NOSUCH.UNDO.TXT"})
    EXPECT_EQ(GetFileAttributesA(log), INVALID_FILE_ATTRIBUTES) << log;
  EXPECT_EQ(GetFileAttributesA((folder / "RPT_0000.UNDO.TXT").c_str()),
            INVALID_FILE_ATTRIBUTES);
  DeleteFileA(victim.c_str());
  Record(".d");
  EXPECT_EQ(Differences(".a", ".d"), std::vector<std::string>());
  EXPECT_TRUE(Exists("App\\app.exe"));

  folder.Write("RPT_0000.UND\\ITEMS.TXT", items);
  EXPECT_EQ(Undo(Report() + " /Y"), 1);
  Record(".u");
  EXPECT_EQ(Differences(".b", ".u"), std::vector<std::string>());
  EXPECT_FALSE(Exists("App"));
  EXPECT_TRUE(Exists("keep.txt"));
  const std::string log = folder.Read("RPT_0000.UNDO.TXT");
  for (const char* line : {"removed: folder c:\\undotest\\App\r\n",
                           "cannot restore: file c:\\undotest\\keep.txt (",
                           "cannot restore: file c:\\undotest\\old.txt (",
                           "restored: INI file c:\\windows\\undotest.ini\r\n",
                           "restored: key HKEY_LOCAL_MACHINE\\Software\\UndoTest\\Legacy\r\n"})
    EXPECT_NE(log.find(line), std::string::npos) << line << " in\n" << log;
  EXPECT_EQ(Contents(kIni), "[Main]\r\nColour=red\r\nGone=yes\r\n");

  // Again: everything is as before already, counted apart, in the log after the first.
  EXPECT_EQ(Undo(Report() + " /Y"), 1);
  const std::string again = folder.Read("RPT_0000.UNDO.TXT");
  EXPECT_EQ(again.compare(0, log.size(), log), 0);
  EXPECT_NE(again.find("Result: 0 undone, ", log.size()), std::string::npos) << again;
  EXPECT_NE(again.find("already as before: folder c:\\undotest\\App", log.size()), std::string::npos);
}

// After the program closed: everything the data holds comes back, exit code 0.
TEST_F(UndoSession, UndoAfterTheProgramClosedIsComplete) {
  RunSession("light big long");
  ASSERT_EQ(Close(), 0);
  EXPECT_EQ(Undo("\"" + Report() + "\" /y"), 0) << folder.Read("RPT_0000.UNDO.TXT");
  Record(".u");
  EXPECT_EQ(Differences(".b", ".u"), std::vector<std::string>());
  EXPECT_FALSE(Exists("App"));
  EXPECT_FALSE(Exists("Deep"));
}

// Real-time: the capture kept the old contents of every file the install changed,
// deleted, renamed or replaced, so the files come back whole, with attributes and times.
TEST_F(UndoSession, RealTimeUndoPutsBackEveryFile) {
  RunSession("full moves big", IDC_rbTmReal);
  ASSERT_EQ(Close(), 0);
  ASSERT_NE(Files(), filesBefore);
  // The same data makes an installer package of a real-time report: whole for NSIS (the
  // Windows Installer source cannot say deletions, which exit code 1 lists).
  EXPECT_EQ(gui::App(exe, "/PACKAGE " + Report() + " " + folder / "package").WaitExit(), 1);
  const std::string readme = folder.Read("package\\README.TXT");
  EXPECT_EQ(readme.find("LEFT OUT OF BOTH"), std::string::npos) << readme;
  EXPECT_EQ(readme.find("LEFT OUT OF setup.nsi"), std::string::npos) << readme;
  EXPECT_NE(folder.Read("package\\setup.nsi").find("replaced.txt"), std::string::npos);
  EXPECT_EQ(Undo(Report() + " /Y"), 0) << folder.Read("RPT_0000.UNDO.TXT");
  Record(".u");
  EXPECT_EQ(Differences(".b", ".u"), std::vector<std::string>());
  EXPECT_EQ(Files(), filesBefore);
}

// From the report page: the summary, the go-ahead, and the result in the dialog.
TEST_F(UndoSession, UndoFromTheReportPage) {
  RunSession("light");
  gui::ClickAsync(Item(IDC_btnUndo));
  HWND dialog = gui::WaitTop(nullptr, "Vortan4 - Undo an Install", nullptr, app->Id());
  ASSERT_NE(dialog, nullptr);
  const std::string summary = gui::Text(gui::FindById(dialog, IDC_lbUndoSummary));
  EXPECT_EQ(summary.find("Items to remove: "), 0u) << summary;
  EXPECT_NE(summary.find("Items that cannot be restored: 0\r\nItems changed since the report: 0"),
            std::string::npos)
      << summary;
  gui::ClickAsync(gui::FindById(dialog, IDC_btnUndoNow));
  HWND confirm = gui::WaitTop(nullptr, "Confirm", dialog, app->Id());
  ASSERT_NE(confirm, nullptr);
  gui::Answer(confirm, IDOK);
  HWND result = gui::FindById(dialog, IDC_lbUndoResult);
  EXPECT_TRUE(gui::WaitFor([&] { return !gui::Text(result).empty(); }));
  EXPECT_EQ(gui::Text(result).find("Everything was undone: "), 0u) << gui::Text(result);
  gui::Answer(dialog, IDCANCEL);
  Record(".u");
  EXPECT_EQ(Differences(".b", ".u"), std::vector<std::string>());
  EXPECT_FALSE(Exists("App"));
}

// "Make installer..." on the report page: the folder browser, the question about a file
// changed since the report (Yes takes it as it is now), the summary, the package.
TEST_F(UndoSession, PackageFromTheReportPage) {
  RunSession("light");
  std::ofstream(std::string(kRoot) + "\\App\\app.exe", std::ios::binary) << "program, changed since";
  folder.MakeFolder("package");
  HWND browser = gui_tests::OpenDialog(Item(IDC_btnPackage), gui_tests::kBrowserCaption, window);
  ASSERT_NE(browser, nullptr);
  // It offers a new folder beside the report, and can make others.
  const std::string offered = Report().substr(0, Report().rfind('.')) + " package";
  EXPECT_NE(GetFileAttributesA(offered.c_str()), INVALID_FILE_ATTRIBUTES) << offered;
  EXPECT_NE(FindWindowExA(browser, nullptr, "Button", "&Make New Folder"), nullptr);
  ASSERT_TRUE(gui_tests::SelectInBrowser(browser, folder / "package"));
  gui::Answer(browser, IDOK);
  HWND question = gui::WaitTop("#32770", "Vortan4", window, 0, gui_tests::kSessionTimeout);
  ASSERT_NE(question, nullptr);
  EXPECT_EQ(gui::MessageText(question).find("1 of the install's files, registry values or INI keys changed"), 0u)
      << gui::MessageText(question);
  gui::Answer(question, IDYES);
  HWND done = gui::WaitTop("#32770", "Vortan4", window, 0, gui_tests::kSessionTimeout);
  ASSERT_NE(done, nullptr);
  const std::string summary = gui::MessageText(done);
  gui::Answer(done, IDOK);
  EXPECT_EQ(summary.find("Package of " + Report() + " written to " + folder / "package"), 0u) << summary;
  EXPECT_EQ(folder.Read("package\\files\\C\\undotest\\App\\app.exe"), "program, changed since");
  EXPECT_EQ(GetFileAttributesA(offered.c_str()), INVALID_FILE_ATTRIBUTES) << "not chosen, and left empty";
  EXPECT_NE(folder.Read("package\\setup.wxs").find("app.exe"), std::string::npos);
}

}  // namespace
}  // namespace e2e
