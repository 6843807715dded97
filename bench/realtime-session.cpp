// What real-time tracking costs an install, through the real main window created in this
// process. The install program (programs\realtime-install.exe, a windows program as
// installers are) makes 2,000 new files in 20 folders and 2,000 registry values in 20 keys,
// half of them in a child it starts and waits for, and writes how long it ran by its own
// clock. Each round runs it alone,
// untracked, and through "&GO!" in real-time mode (the two take turns going first), and
// takes two ratios: the install's own clock tracked against untracked, and the install
// step ("&GO!" until "Install &Complete" is offered: the launch, the capture's load in each
// process, the install, the wait for its last process) against the install alone, from its
// start to its end. Rounds: `realtime-session N` (5 unless told).
// The file system here is slow to make files for a minute after many were deleted (it looks
// past each entry freed lately), so no tree is deleted while the rounds run: each run of
// the install writes into a folder of its own, and the folders go at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/mainu.h"
#include "bench/bench_registry.h"
#include "bench/bench_tree.h"
#include "bench/bench_window.h"
#include "bench/realtime_install.h"

// The report the session wrote.
class app::MainFormProbe {
 public:
  static std::string ReportName(const TMainForm& form) { return form.TextOf(form.ebReportName); }
};
using app::MainFormProbe;

namespace {

using namespace bench::realtime_install;

const std::string kProgramFolder = "C:\\bench-realtime-program\\";
const std::string kOut = "C:\\bench-realtime-out\\";

// The install program, staged with the benchmark's programs.
std::string InstallProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path);
  return folder.substr(0, folder.rfind('\\') + 1) + "programs\\realtime-install.exe";
}

// A folder of its own for each run of the install.
std::string NextRunFolder() {
  static int runs = 0;
  return kWork + "\\run" + std::to_string(++runs);
}

// What the install left in the registry is taken away again, untimed; its files stay until
// the end.
void Undo() {
  for (int k = 0; k < kKeys; ++k)
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kKey) + "\\k" + std::to_string(k)).c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);
}

struct Run {
  double started = 0;  // when the install's own code began, in bench::Seconds
  double clock = 0;    // the install's own
  double step = 0;     // untracked: from its start to its end; tracked: the install step
  double report = 0;
  size_t reportBytes = 0;
};

void ReadInstallClock(Run& run) {
  char text[64] = "";
  DWORD read = 0;
  HANDLE file = CreateFileA(kClock.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  ReadFile(file, text, sizeof text - 1, &read, nullptr);
  CloseHandle(file);
  DeleteFileA(kClock.c_str());
  std::sscanf(text, "%lf %lf", &run.started, &run.clock);
}

Run Alone() {
  Run run;
  std::string line = "\"" + InstallProgram() + "\" 0 " + NextRunFolder();
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  const double start = bench::Seconds();
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info))
    return run;
  WaitForSingleObject(info.hProcess, INFINITE);
  run.step = bench::Seconds() - start;
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  ReadInstallClock(run);
  return run;
}

Run Tracked() {
  Run run;
  app::TMainForm form(app::FindProgramPlaces(kProgramFolder + "VORTAN4.EXE"), app::ThisWindows(),
                      {});
  HWND window = form.Create();
  ShowWindow(window, SW_SHOWNA);
  SetWindowTextA(form.ebInstallProg, InstallProgram().c_str());
  SetWindowTextA(form.ebParams, ("0 " + NextRunFolder()).c_str());
  SendMessageA(form.rbTmReal, BM_CLICK, 0, 0);
  if (SendMessageA(form.rbTmReal, BM_GETCHECK, 0, 0) != BST_CHECKED) return run;
  const double start = bench::Seconds();
  SendMessageA(form.btnInstall, BM_CLICK, 0, 0);
  bench::DeliverMessagesUntil([&] { return IsWindowEnabled(form.btnInstDone) != FALSE; });
  run.step = bench::Seconds() - start;
  run.report = bench::Time([&] { SendMessageA(form.btnInstDone, BM_CLICK, 0, 0); });
  WIN32_FILE_ATTRIBUTE_DATA report{};
  GetFileAttributesExA(MainFormProbe::ReportName(form).c_str(), GetFileExInfoStandard, &report);
  run.reportBytes = report.nFileSizeLow;
  ReadInstallClock(run);
  run.started -= start;  // the launch: from "&GO!" to the install's own code
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  bench::RemoveTree(kOut.substr(0, kOut.size() - 1));
  CreateDirectoryA(kOut.c_str(), nullptr);
  bench::WriteSettings(kProgramFolder, kOut, kWork);
  bench::RemoveTree(kWork);  // left by a run that was stopped
  CreateDirectoryA(kWork.c_str(), nullptr);
  Undo();
  Alone();  // warm-up: the program and its libraries in the cache
  Undo();

  std::vector<double> clockRatios, stepRatios;
  for (int round = 1; round <= rounds; ++round) {
    Run alone, tracked;
    const bool aloneFirst = round % 2 == 1;
    if (aloneFirst) alone = Alone();
    Undo();
    tracked = Tracked();
    Undo();
    if (!aloneFirst) alone = Alone();
    Undo();
    if (alone.clock <= 0 || tracked.clock <= 0) {
      std::printf("round %d: the install did not run, or real-time tracking is not offered\n",
                  round);
      return 1;
    }
    clockRatios.push_back(tracked.clock / alone.clock);
    stepRatios.push_back(tracked.step / alone.step);
    std::printf("round %d: alone %.2f s (its own clock %.2f s); tracked: install step %.2f s "
                "(launch %.2f s, its own clock %.2f s, after it %.2f s), report %.2f s (%zu "
                "bytes)\n",
                round, alone.step, alone.clock, tracked.step, tracked.started, tracked.clock,
                tracked.step - tracked.started - tracked.clock, tracked.report,
                tracked.reportBytes);
    std::fflush(stdout);
  }
  std::printf("install: %d files in %d folders, %d values in %d keys, in two processes\n",
              kFolders * kFilesPerFolder, kFolders, kKeys * kValuesPerKey, kKeys);
  bench::PrintMedian("ratio install tracked/untracked:", clockRatios);
  bench::PrintMedian("ratio install step/install alone:", stepRatios);
  bench::RemoveTree(kWork);
  Undo();
  return 0;
}
