// The real-time sections: decoded records in, both report forms out, checked against the
// disk as the report finds it.
#include <gtest/gtest.h>

#include "platform/ioerror.h"
#include "platform/trapabi.h"
#include "realtime/processes.h"
#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "report/realtime_report.h"
#include "support/fake_trap_driver.h"
#include "support/temp_folder.h"

using namespace testing_support;

namespace {

// This test program's name as the system's process list gives it under Wine: the file
// name of its module.
std::string OwnProgramName() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  const std::string full = path;
  return full.substr(full.rfind('\\') + 1);
}

struct RealTimeReport : ::testing::Test {
  FakeTrapDriver driver;  // gives the process key for the names
  realtime::ChangeRecorder recorder{
      [this](uint32_t id) { return realtime::LookUpProcessName(id, driver.key); }};
  realtime::TrackingResults stopped;  // the notes and the failure of a tracking run
  TempFolder folder;
  std::string text, csv;

  void Write(engines::UndoData* undo = nullptr) {
    realtime::TrackingResults found = recorder.Take();
    found.notes = stopped.notes;
    found.failure = stopped.failure;
    {
      report::ReportStreams streams(folder / "R.TXT", folder / "R.CSV",
                                    platform::BufferedWriter::Mode::Create);
      report::WorkLists lists;
      report::OwnFiles own;
      own.programFolder = "c:\\tests\\";
      own.reportName = folder / "R.TXT";
      own.reportFolder = folder.Path();
      report::WriteRealTimeReport(streams, lists, own, std::move(found), undo);
    }
    text = folder.Read("R.TXT");
    csv = folder.Read("R.CSV");
  }
  void Decode(const Record& record) { recorder.Decode(record.data()); }
  FileOp Opened(const std::string& relative, uint32_t process) {
    WIN32_FIND_DATAA found{};
    FindClose(FindFirstFileA((folder / relative).c_str(), &found));
    FileOp op(36, folder / relative, "", process, 1);
    op.size = found.nFileSizeLow;
    op.writeTime = found.ftLastWriteTime;
    return op;
  }
};

TEST_F(RealTimeReport, BothSectionsCheckedFilteredAndByProcess) {
  const uint32_t self = GetCurrentProcessId() ^ driver.key, other = 0x7777;
  for (const char* file : {"new.txt", "back.txt", "same.txt", "chg.txt", "WIN386.SWP"})
    folder.Write(file, "data");
  Decode(FileRecord({36, folder / "new.txt", "", self, 1, true}));
  Decode(FileRecord({36, folder / "gone.txt", "", self, 1, true}));   // not there now
  Decode(FileRecord({36, folder / "WIN386.SWP", "", self, 1, true}));  // the swap file
  Decode(FileRecord({31, folder / "del.txt", "", other}));
  Decode(FileRecord({31, folder / "back.txt", "", other}));  // there again
  Decode(FileRecord(Opened("same.txt", self)));              // left as it was
  FileOp changed = Opened("chg.txt", other);
  changed.size += 1;
  Decode(FileRecord(changed));
  Decode(FileRecord({32, folder / "sub", "", self, 0}));
  RegOp key;
  key.operation = trapabi::roKeyCreated;
  key.processId = other;
  Decode(RegistryRecord(key));
  const std::string data = "C:\\x";
  RegOp value;
  value.processId = self;
  value.valueName = "Path";
  value.newData = &data;
  Decode(RegistryRecord(value));
  Decode(RegistryRecord(key));
  Write();

  const std::string own = OwnProgramName(), path = folder.Path();
  EXPECT_EQ(text,
            "REGISTRY KEYS ADDED: (2)\r\n---by process *error*\r\n"
            "HKEY_LOCAL_MACHINE\\Software\\Vendor\r\nHKEY_LOCAL_MACHINE\\Software\\Vendor\r\n\r\n"
            "REGISTRY KEY VALUES ADDED: (1)\r\n---by process " + own + "\r\n"
            "HKEY_LOCAL_MACHINE\\Software\\Vendor Path=C:\\x\r\n\r\n"
            "FILES ADDED: (1)\r\n---by process " + own + "\r\n" + path + "new.txt\r\n\r\n"
            "FILES DELETED: (1)\r\n---by process *error*\r\n" + path + "del.txt\r\n\r\n"
            "FILES CHANGED: (1)\r\n---by process *error*\r\n" + path + "chg.txt\r\n\r\n"
            "DIRECTORIES ADDED: (1)\r\n---by process " + own + "\r\n" + path + "sub\r\n\r\n");
  const std::string keyPath = "\"HKEY_LOCAL_MACHINE\\Software\\Vendor\"";
  EXPECT_EQ(csv,
            "\"Registry\",\"Add Key\",\"\",\"\"," + keyPath + ",\"\",\"\",\"\",\"\",\"*error*\"\r\n"
            "\"Registry\",\"Add Key\",\"\",\"\"," + keyPath + ",\"\",\"\",\"\",\"\",\"*error*\"\r\n"
            "\"Registry\",\"Add Value\",\"\",\"\"," + keyPath + ",\"\",\"Path\",\"C:\\x\",\"\",\"" + own + "\"\r\n"
            "\"File\",\"Add File\",\"" + path + "new.txt\",\"\",\"\",\"\",\"\",\"\",\"\",\"" + own + "\"\r\n"
            "\"File\",\"Del File\",\"" + path + "del.txt\",\"\",\"\",\"\",\"\",\"\",\"\",\"*error*\"\r\n"
            "\"File\",\"Change File\",\"" + path + "chg.txt\",\"\",\"\",\"\",\"\",\"\",\"\",\"*error*\"\r\n"
            "\"File\",\"Add Dir\",\"" + path + "sub\",\"\",\"\",\"\",\"\",\"\",\"\",\"" + own + "\"\r\n");
}

// A path past MAX_PATH is checked against the disk and printed whole in both forms; a folder
// renamed shows as a comparison of before and after would show it.
TEST_F(RealTimeReport, LongPathsWholeAndRenamedFolders) {
  const uint32_t self = GetCurrentProcessId() ^ driver.key;
  std::string deep;
  while (folder.Path().size() + deep.size() < 300) deep += "long folder\\";
  deep += "deep.txt";
  folder.Write(deep, "x");
  folder.Write("moved\\a.txt", "a");
  FileOp created(36, folder / deep, "", self, 1, true);
  FileOp renamed(37, folder / "old", folder / "moved", self);
  renamed.folder = true;
  FileOp inside(37, folder / "old\\a.txt", folder / "moved\\a.txt", self);
  for (const FileOp* op : {&created, &renamed, &inside}) Decode(FileRecord(*op));
  Write();

  const std::string by = "---by process " + realtime::LookUpProcessName(self, driver.key) + "\r\n",
                    path = folder.Path();
  EXPECT_EQ(text, "NO CHANGES IN Registry\r\n\r\n"
                  "FILES ADDED: (2)\r\n" + by + path + deep + "\r\n" + path + "moved\\a.txt\r\n\r\n"
                  "FILES DELETED: (1)\r\n" + by + path + "old\\a.txt\r\n\r\n"
                  "DIRECTORIES ADDED: (1)\r\n" + by + path + "moved\r\n\r\n"
                  "DIRECTORIES DELETED: (1)\r\n" + by + path + "old\r\n\r\n");
  EXPECT_NE(csv.find("\"File\",\"Add File\",\"" + path + deep + "\""), std::string::npos);
}

// Where the undo data is gathered, a file changed or deleted whose old contents were not
// copied is named: an undo cannot put it back.
TEST_F(RealTimeReport, FilesWithoutACopyAreNamed) {
  const uint32_t self = GetCurrentProcessId() ^ driver.key;
  folder.Write("chg.txt", "data");
  FileOp changed = Opened("chg.txt", self);
  changed.size += 1;
  Decode(FileRecord(changed));
  Decode(FileRecord({31, folder / "del.txt", "", self}));
  engines::UndoData undo;
  Write(&undo);
  const std::string path = folder.Path();
  EXPECT_NE(text.find("FILES AN UNDO CANNOT RESTORE (NO COPY BEFORE THE CHANGE): (2)\r\n" + path +
                      "chg.txt\r\n" + path + "del.txt\r\n"),
            std::string::npos)
      << text;
  EXPECT_NE(csv.find("\"File\",\"No copy\",\"" + path + "del.txt\""), std::string::npos) << csv;
}

TEST_F(RealTimeReport, NothingTrackedAndNothingChanged) {
  {
    realtime::RealTimeTracking tracking("", driver.Source());
    ASSERT_EQ(tracking.Started(), realtime::srStarted);
    stopped = tracking.Stop();
  }
  Write();
  EXPECT_EQ(text, "NO CHANGES IN Registry\r\n\r\nNO CHANGES IN file system\r\n\r\n");
  EXPECT_EQ(csv, "");

  // A start that failed is never reported as no changes.
  driver.failVersion = true;
  {
    realtime::RealTimeTracking tracking("", driver.Source());
    ASSERT_EQ(tracking.Started(), realtime::srNoVersion);
    stopped = tracking.Stop();
  }
  Write();
  const std::string why = stopped.failure;
  ASSERT_NE(why, "");
  EXPECT_EQ(text, "REGISTRY NOT TRACKED: " + why + "\r\n\r\nFILE SYSTEM NOT TRACKED: " + why +
                      "\r\n\r\n");
  EXPECT_EQ(csv, "\"Registry\",\"Not tracked\",\"\",\"\",\"\",\"\",\"\",\"" + why +
                     "\",\"\",\"\"\r\n\"File\",\"Not tracked\",\"\",\"\",\"\",\"\",\"\",\"" + why +
                     "\",\"\",\"\"\r\n");
}

// A process traced late has its lines marked with the moment tracing began, one not traced
// at all is named with the reason (as the system names it where the driver could not), and
// an empty section says what it saw, not "no changes".
TEST_F(RealTimeReport, ProcessesNotFullyTracedAreNamed) {
  const uint32_t self = GetCurrentProcessId() ^ driver.key;
  const std::string own = realtime::LookUpProcessName(self, driver.key);
  SYSTEMTIME at{2026, 12, 1, 7, 18, 42, 7, 250};
  FILETIME local, since;
  SystemTimeToFileTime(&at, &local);
  LocalFileTimeToFileTime(&local, &since);
  driver.notes = {ProcessNoteRecord(self, 1, since, 0, 0, own),
                  ProcessNoteRecord(0x4444, 2, {}, 1, ERROR_ACCESS_DENIED, "guard.exe"),
                  ProcessNoteRecord(0x4448, 2, {}, 3, 0, "quick.exe"),
                  ProcessNoteRecord(self, 2, {}, 1, ERROR_MOD_NOT_FOUND, "")};
  {
    realtime::RealTimeTracking tracking("", driver.Source());
    ASSERT_EQ(tracking.Started(), realtime::srStarted);
    stopped = tracking.Stop();
  }
  RegOp key;
  key.operation = trapabi::roKeyCreated;
  key.processId = self;
  Decode(RegistryRecord(key));
  Write();

  const std::string late = own + " (traced from 18:42:07.250; earlier operations may be missing)";
  const std::string denied = platform::SystemErrorText(ERROR_ACCESS_DENIED);
  const std::string unloadable = "not traced: the operation capture could not be put into it, "
                                 "as it is a 64-bit program or was still starting";
  EXPECT_EQ(text, "PROCESSES NOT FULLY TRACED: (4)\r\n" + late + "\r\n"
                  "guard.exe (not traced: it could not be opened: " + denied + ")\r\n"
                  "quick.exe (not traced: it ended before it could be traced)\r\n" +
                  OwnProgramName() + " (" + unloadable + ")\r\n\r\n"
                  "REGISTRY KEYS ADDED: (1)\r\n---by process " + late + "\r\n"
                  "HKEY_LOCAL_MACHINE\\Software\\Vendor\r\n\r\n"
                  "NO CHANGES SEEN IN file system (the processes above were not fully traced)"
                  "\r\n\r\n");
  EXPECT_EQ(csv,
            "\"Process\",\"Traced late\",\"\",\"\",\"\",\"\",\"\",\"traced from 18:42:07.250; "
            "earlier operations may be missing\",\"\",\"" + own + "\"\r\n"
            "\"Process\",\"Not traced\",\"\",\"\",\"\",\"\",\"\",\"not traced: it could not be "
            "opened: " + denied + "\",\"\",\"guard.exe\"\r\n"
            "\"Process\",\"Not traced\",\"\",\"\",\"\",\"\",\"\",\"not traced: it ended before "
            "it could be traced\",\"\",\"quick.exe\"\r\n"
            "\"Process\",\"Not traced\",\"\",\"\",\"\",\"\",\"\",\"" + unloadable + "\",\"\",\"" +
            OwnProgramName() + "\"\r\n"
            "\"Registry\",\"Add Key\",\"\",\"\",\"HKEY_LOCAL_MACHINE\\Software\\Vendor\",\"\",\"\","
            "\"\",\"\",\"" + own + "\"\r\n");
  driver.notes.clear();
}

}  // namespace
