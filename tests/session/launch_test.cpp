#include "session/pdthdu.h"

#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <set>
#include <memory>
#include <variant>

#include "realtime/processes.h"
#include "realtime/records.h"
#include "realtime/vorttrap.h"
#include "support/temp_folder.h"
#include "support/gui_driver.h"
#include "support/own_threads.h"

using session::TLaunchProgThread;
using testing_support::TempFolder;

namespace {

using testing_support::ThreadsOfThisProcess;

const char kFakeSetup[] = "C:\\tests\\programs\\fakesetup.exe";

// Stands in for the main window: receives the threads' notices on this thread.
class NoticeWindow {
 public:
  NoticeWindow() {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LaunchNotices";
    RegisterClassA(&windowClass);
    hwnd = CreateWindowA("LaunchNotices", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         GetModuleHandleA(nullptr), this);
    SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    allStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  }
  ~NoticeWindow() {
    launch.reset();
    DestroyWindow(hwnd);
    CloseHandle(allStop);
  }

  void Launch(const std::string& commandLine, const std::string& folder = "",
              bool realTime = false) {
    session::LaunchRequest request;
    request.commandLine = commandLine;
    request.workingFolder = folder;
    request.realTime = realTime;
    request.notifyWindow = hwnd;
    request.allStop = allStop;
    launchEnded = false;
    launch = std::make_unique<TLaunchProgThread>(request);
  }

  // Delivers messages until the launch thread's notice has come, or the time is up.
  bool WaitForLaunchEnd(DWORD timeout) {
    return gui::WaitFor([this] { return launchEnded; }, timeout);
  }

  HWND hwnd;
  HANDLE allStop;
  std::unique_ptr<TLaunchProgThread> launch;
  bool launchEnded = false;
  bool debugging = false;
  DWORD startError = 0;
  int watchNotices = 0;

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto self = reinterpret_cast<NoticeWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    auto sender = reinterpret_cast<TLaunchProgThread*>(lParam);
    if (self && message == session::WM_WATCHENDED && sender == self->launch.get()) {
      ++self->watchNotices;
      self->launch->WatchEnded();
      return 0;
    }
    if (self && message == session::WM_LAUNCHENDED && sender == self->launch.get()) {
      EXPECT_EQ(self->launch->LiveWatches(), 0);
      self->debugging = self->launch->Debugging();
      self->launch->Finish();
      self->startError = self->launch->StartError();
      self->launch.reset();
      self->launchEnded = true;
      return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
  }
};

int CountFiles(const std::string& pattern) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(pattern.c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return 0;
  int count = 0;
  do ++count;
  while (FindNextFileA(find, &found));
  FindClose(find);
  return count;
}

}  // namespace

TEST(LaunchInstallProgram, ProgramThatWritesAFileInItsWorkingFolder) {
  TempFolder folder;
  NoticeWindow window;
  window.Launch(std::string(kFakeSetup) + " write made-by-setup.txt", folder.Path());
  ASSERT_TRUE(window.WaitForLaunchEnd(15000));
  EXPECT_TRUE(window.debugging);
  EXPECT_EQ(folder.Read("made-by-setup.txt"), "done");
  // Once at its creation, once at its create-process event.
  EXPECT_EQ(window.watchNotices, 2);
}

// Under the debugging interface an install program's own exception handlers still run:
// an access fault it means to catch does not repeat for ever, a thrown exception is caught.
TEST(LaunchInstallProgram, ProgramThatHandlesItsOwnExceptions) {
  TempFolder folder;
  NoticeWindow window;
  window.Launch(std::string(kFakeSetup) + " catch " + folder.Path() + "caught.txt");
  ASSERT_TRUE(window.WaitForLaunchEnd(15000));
  EXPECT_TRUE(window.debugging);
  EXPECT_EQ(folder.Read("caught.txt"), "done");
}

TEST(LaunchInstallProgram, WaitsForTheSecondSetupAndItsChildren) {
  TempFolder folder;
  NoticeWindow window;
  // The first program starts one which exits at once too; only the grandchildren work.
  window.Launch(std::string(kFakeSetup) + " spawn 2 2 " + folder.Path() + "leaf- 800");
  ASSERT_TRUE(window.WaitForLaunchEnd(20000));
  EXPECT_EQ(CountFiles(folder / "leaf-*"), 4);
  EXPECT_EQ(window.watchNotices, 1 + 7);
}

// With no watch left the launch stops only when the system's process list shows no program
// of the install whose create-process event has not come yet: on Windows it may come after
// the program that started it has ended.
TEST(LaunchInstallProgram, SettleWaitsForAProgramNotSeenYet) {
  const std::set<DWORD> started{100, 104}, running{104};  // 100 has ended
  const struct {
    platform::SystemProcess process;
    bool waits;
  } cases[] = {
      {{104, 100, "seen.exe"}, false},
      {{108, 100, "child-of-ended.exe"}, true},
      {{112, 104, "child-of-running.exe"}, true},
      {{100, 104, "ended-ones-id-again.exe"}, true},
      {{100, 8, "ended-ones-id-elsewhere.exe"}, false},
      {{116, 8, "unrelated.exe"}, false},
  };
  for (const auto& row : cases)
    EXPECT_EQ(session::ChildNotSeenYet({row.process}, started, running), row.waits)
        << row.process.exeFile;

  // The list itself: a program this one started, with this one as its parent.
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child{};
  std::string line = kFakeSetup;
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED,
                             nullptr, nullptr, &startup, &child));
  std::vector<platform::SystemProcess> list;
  EXPECT_TRUE(platform::ListSystemProcesses(list));
  TerminateProcess(child.hProcess, 0);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  EXPECT_TRUE(std::any_of(list.begin(), list.end(), [&](const platform::SystemProcess& process) {
    return process.id == child.dwProcessId && process.parentId == GetCurrentProcessId() &&
           process.exeFile == "fakesetup.exe";
  }));
}

TEST(LaunchInstallProgram, MissingProgramEndsAtOnceWithTheSystemsReason) {
  NoticeWindow window;
  window.Launch(session::InstallCommandLine("C:\\tests\\programs\\no-such-setup.exe", "/s"));
  ASSERT_TRUE(window.WaitForLaunchEnd(3000));
  EXPECT_FALSE(window.debugging);
  EXPECT_EQ(window.startError, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(window.watchNotices, 0);
}

// Unquoted, "...\My Setup\setup.exe" would start "...\My.exe" with "Setup\setup.exe ..."
// as its parameters.
TEST(LaunchInstallProgram, ProgramPathWithABlank) {
  TempFolder folder;
  folder.MakeFolder("My Setup");
  for (const char* copy : {"My Setup\\setup.exe", "My.exe"})
    ASSERT_TRUE(CopyFileA(kFakeSetup, (folder / copy).c_str(), FALSE));
  NoticeWindow window;
  window.Launch(session::InstallCommandLine(folder / "My Setup\\setup.exe", "write made.txt"),
                folder / "My Setup\\");
  ASSERT_TRUE(window.WaitForLaunchEnd(15000));
  EXPECT_EQ(window.startError, 0u);
  EXPECT_EQ(folder.Read("My Setup\\made.txt"), "done");
}

TEST(LaunchInstallProgram, AllStopReleasesTheWatches) {
  TempFolder folder;
  NoticeWindow window;
  window.Launch(std::string(kFakeSetup) + " spawn 0 1 " + folder.Path() + "late- 20000");
  // The program runs for 20 s: the launch lasts until AllStop ends it.
  ASSERT_TRUE(gui::WaitFor([&] { return window.launch->Debugging(); }));
  EXPECT_FALSE(window.launchEnded);
  SetEvent(window.allStop);
  EXPECT_TRUE(window.WaitForLaunchEnd(5000));
}

TEST(LaunchInstallProgram, LeavesNoThreadOrHandleBehind) {
  TempFolder folder;
  NoticeWindow window;
  // The first run lets the system make what it keeps for the life of the process.
  window.Launch(std::string(kFakeSetup) + " spawn 1 2 " + folder.Path() + "warm- 100");
  ASSERT_TRUE(window.WaitForLaunchEnd(15000));
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
  int threadsBefore = ThreadsOfThisProcess();

  window.Launch(std::string(kFakeSetup) + " spawn 1 2 " + folder.Path() + "leaf- 100");
  ASSERT_TRUE(window.WaitForLaunchEnd(15000));
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(ThreadsOfThisProcess(), threadsBefore);
  EXPECT_EQ(handlesAfter, handlesBefore);
}

// In real-time mode under Wine every program of the install is traced from its first
// instruction: the operations reach the lists with the process that made them, a child's
// too, and nothing of the session is left in this program.
TEST(LaunchInstallProgram, RealTimeTracesEveryProgramItStarts) {
  TempFolder folder;
  NoticeWindow window;
  auto session = [&](const std::string& name) {
    folder.MakeFolder(name);
    realtime::RealTimeTracking tracking;
    EXPECT_EQ(tracking.Started(), realtime::srStarted);
    window.Launch(std::string("C:\\tests\\programs\\capsetup.exe run \"") + folder.Path() + name +
                      "\" Software\\VortCapLaunch" + std::to_string(GetCurrentProcessId()),
                  "", true);
    EXPECT_TRUE(window.WaitForLaunchEnd(30000));
    return tracking.Stop();
  };
  session("warm");  // the first lets the system make what it keeps for the life of the process
  DWORD handlesBefore = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);

  realtime::TrackingResults found = session("run");
  const std::string base = folder.Path() + "run\\";
  std::map<std::string, uint32_t> added;
  for (const engines::ListEntry& entry : found.lists[realtime::rlFilesAdded])
    added[entry.text] = std::get<engines::ProcessId>(entry.item);
  found = {};
  ASSERT_EQ(added.count(base + "crt.txt"), 1u);
  ASSERT_EQ(added.count(base + "child.txt"), 1u);
  EXPECT_NE(added[base + "crt.txt"], added[base + "child.txt"]);  // the child's own
  EXPECT_EQ(added[base + "shell.txt"], added[base + "crt.txt"]);
  DWORD handlesAfter = 0;
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(handlesAfter, handlesBefore);
}
