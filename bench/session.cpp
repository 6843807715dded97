// A whole disk contents session in the program's main window: "&GO!" records the whole
// registry and a tree of 100,000 files in 5,000 folders (built once below C:\bench-session
// and kept), the install program (this program, run as "session apply") makes 6,400
// changes, and "Install &Complete" records again, compares, writes the report and shows its
// preview; the preview is timed again for a report of 1 MB.
// The session runs in the program itself (VORTAN4.EXE, staged beside this benchmark), a
// process of its own as on the user's machine, driven through its window from here; its
// private memory is sampled from here every 5 ms through the process handle. Under Wine
// that figure is the process's resident private memory (RssAnon and VmSwap of
// /proc/PID/status): the program's image, its heap and stacks, and what Wine itself keeps
// in a process with a window. The peaks are taken through the recording (from the start to
// the install's start) and up to the report page.
// The baseline is the bare walks of the same registry and tree. Walks and sessions take
// turns in ROUNDS rounds (session ROUNDS, 5 unless told), so that a spell of load elsewhere
// hits them alike: each round walks, runs a whole session, undoes the install's changes and
// walks again; its ratios are taken against the mean of its two walks. The medians of the
// per-round ratios are printed with their spread.
#include <windows.h>

#include <psapi.h>  // after windows.h

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "dialogs/form.h"
#include "bench/bench_tree.h"
#include "bench/bench_window.h"
#include "bench/bench_workload.h"
#include "engines/registry.h"
#include "platform/owners.h"
#include "platform/textfile.h"

// The preview this benchmark times again, in a window of its own.
class app::MainFormProbe {
 public:
  static void ShowReportPreview(TMainForm& form) { form.ShowReportPreview(); }
};
using app::MainFormProbe;

namespace {

const std::string kProgramFolder = "C:\\bench-session-program\\";
const std::string kOut = "C:\\bench-session-out\\";
const std::string kInstallStart = kOut + "INSTALL.TIM";  // the install's own start time

size_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.nFileSizeLow;
}

// Wine answers a process's "peak" with its current figure: the peaks are sampled
// (PrivateBytesSampler).
SIZE_T PrivateBytes(HANDLE process = GetCurrentProcess()) {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(process, &memory, sizeof memory);
  return memory.PagefileUsage;
}

// What the install program does: the workload's 6,400 changes. Its start time ends the
// recording.
int ApplyChangeSet() {
  FILETIME started;
  GetSystemTimeAsFileTime(&started);
  {
    platform::BufferedWriter out(kInstallStart);
    out.Write(reinterpret_cast<const char*>(&started), sizeof started);
    out.Close();
  }
  return bench::ApplyChangeSet() == 6400 ? 0 : 1;
}

// The settings file beside the program: the tree is the only watched folder.
void WriteSettings() { bench::WriteSettings(kProgramFolder, kOut, bench::kSessionTree.Root()); }

// Samples the private bytes of the program's process every few milliseconds while it lives.
class PrivateBytesSampler {
 public:
  explicit PrivateBytesSampler(HANDLE process)
      : process_(process),
        stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        thread_(CreateThread(nullptr, 0, &Run, this, 0, nullptr)) {}
  ~PrivateBytesSampler() { Stop(); }
  PrivateBytesSampler(const PrivateBytesSampler&) = delete;
  PrivateBytesSampler& operator=(const PrivateBytesSampler&) = delete;

  // Ends the sampling and answers the largest sample.
  SIZE_T Stop() {
    if (thread_) {
      SetEvent(stop_.get());
      WaitForSingleObject(thread_.get(), INFINITE);
      thread_.reset();
    }
    return peak_;
  }
  // The largest sample so far (a sample is taken first).
  SIZE_T PeakSoFar() {
    const SIZE_T now = PrivateBytes(process_);
    std::lock_guard<std::mutex> hold(lock_);
    peak_ = std::max(peak_, now);
    return peak_;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    auto& sampler = *static_cast<PrivateBytesSampler*>(self);
    do sampler.PeakSoFar();
    while (WaitForSingleObject(sampler.stop_.get(), 5) == WAIT_TIMEOUT);
    return 0;
  }

  HANDLE process_;
  std::mutex lock_;
  platform::Handle stop_;
  platform::Handle thread_;
  SIZE_T peak_ = 0;
};

struct Session {
  double recording = 0;     // from "&GO!" to the start of the install
  double registryStep = 0;  // from "&GO!" to the registry listing's last write
  double postInstall = 0;   // "Install &Complete" to the preview shown
  // The largest samples of the program's private bytes: at rest on its first page, through
  // the recording, and up to the report page.
  SIZE_T atRest = 0, peakRecording = 0, peakPrivate = 0;
  std::string reportName;
};

// The time a file was last written, in the clock of GetSystemTimeAsFileTime.
FILETIME LastWritten(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

FILETIME InstallStart() {
  FILETIME started{};
  platform::BufferedReader in(kInstallStart);
  std::string line;
  in.ReadLine(line);
  if (line.size() >= sizeof started) std::memcpy(&started, line.data(), sizeof started);
  return started;
}

struct WindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM data) {
  auto& search = *reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  if (owner != search.processId || !IsWindowVisible(window) || std::string(name) != "#32770")
    return TRUE;
  search.found = window;
  return FALSE;
}

// The program's main window: its process's visible dialog window.
HWND WaitForMainWindow(DWORD processId) {
  WindowSearch search{processId, nullptr};
  for (int tries = 0; tries < 600 && !search.found; ++tries) {
    EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
    if (!search.found) Sleep(50);
  }
  return search.found;
}

std::string TextOf(HWND control) {
  char text[MAX_PATH] = "";
  SendMessageA(control, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

// One whole session in the program, started afresh.
Session RunSession(const std::string& program) {
  Session result;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  std::string commandLine = "\"" + kProgramFolder + "VORTAN4.EXE\"";
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      kProgramFolder.c_str(), &startup, &started)) {
    std::fprintf(stderr, "cannot start %s\n", commandLine.c_str());
    std::exit(1);
  }
  const platform::Handle process(started.hProcess), thread(started.hThread);
  PrivateBytesSampler sampler(process.get());
  const HWND window = WaitForMainWindow(started.dwProcessId);
  if (!window) {
    std::fprintf(stderr, "the program showed no window\n");
    TerminateProcess(process.get(), 1);
    std::exit(1);
  }
  auto control = [&](int id) { return dialogs::FindControl(window, id); };
  SendMessageA(control(IDC_ebInstallProg), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(program.c_str()));
  SendMessageA(control(IDC_ebParams), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("apply"));
  SendMessageA(control(IDC_rbTmDisk), BM_CLICK, 0, 0);
  result.atRest = sampler.PeakSoFar();

  FILETIME pressed;
  GetSystemTimeAsFileTime(&pressed);
  SendMessageA(control(IDC_btnInstall), BM_CLICK, 0, 0);  // returns once the install runs
  result.peakRecording = sampler.PeakSoFar();
  // The registry is the first step that runs (no INI file is watched), the disk listing
  // beside it; before it "&GO!" only shows the step page. The listing is written as the walk
  // goes and closed at its end.
  result.registryStep =
      bench::Since(pressed, LastWritten(kOut + engines::kRegistryListingBase + ".$$1"));
  // The install program has ended once "Install &Complete" is offered.
  const HWND done = control(IDC_btnInstDone);
  while (!IsWindowEnabled(done)) Sleep(20);
  result.recording = bench::Since(pressed, InstallStart());

  const double start = bench::Seconds();
  SendMessageA(done, BM_CLICK, 0, 0);
  result.postInstall = bench::Seconds() - start;
  result.peakPrivate = sampler.Stop();
  result.reportName = TextOf(control(IDC_ebReportName));
  PostMessageA(window, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process.get(), 30000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "the program did not close\n");
    TerminateProcess(process.get(), 1);
  }
  return result;
}

// The program as it is installed, staged beside this benchmark, with the trap driver.
void InstallProgram() {
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string folder = self;
  folder.resize(folder.rfind('\\') + 1);
  for (const char* name : {"VORTAN4.EXE", "VORTTRAP.VXD", "VORTCAP.DLL"})
    if (!CopyFileA((folder + name).c_str(), (kProgramFolder + name).c_str(), FALSE)) {
      std::fprintf(stderr, "cannot copy %s%s beside the settings\n", folder.c_str(), name);
      std::exit(1);
    }
}

// The bare walks: a registry enumeration with data, then a FindFirstFileA walk of the tree.
struct Walks {
  double registry = 0;
  double total = 0;
};

Walks TimeWalks(bench::Counts& counts, long long& entries) {
  Walks walks;
  walks.registry = bench::Time([&] { counts = bench::EnumerateRegistry(); });
  entries = 0;
  walks.total = walks.registry + bench::Time([&] { bench::BareWalk(bench::kSessionTree.Root(), entries); });
  return walks;
}

// A report of 1 MB: the session's report, repeated.
std::string MakeMegabyteReport(const std::string& report) {
  std::string text;
  {
    platform::BufferedReader in(report);
    std::string line;
    while (in.ReadLine(line)) text += line + "\r\n";
  }
  const std::string path = kOut + "MEGABYTE.TXT";
  platform::BufferedWriter out(path);
  for (size_t written = 0; written < (1 << 20); written += text.size()) out.Write(text);
  out.Close();
  return path;
}

// The preview alone, in a window of its own: the control of Wine takes time that grows
// with the square of the text it replaces, and the session's window already shows it.
double TimePreview(const std::string& report) {
  app::TMainForm form(app::FindProgramPlaces(kProgramFolder + "VORTAN4.EXE"), app::ThisWindows(),
                      {});
  HWND window = form.Create();
  ShowWindow(window, SW_SHOWNA);
  SetWindowTextA(form.ebReportName, report.c_str());
  form.ShowPage(2);
  return bench::Time([&] {
    MainFormProbe::ShowReportPreview(form);
    UpdateWindow(window);
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "apply") return ApplyChangeSet();
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  char program[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, program, sizeof program);
  bench::MakeWorkloadReady();
  bench::RemoveTree(kOut.substr(0, kOut.size() - 1));
  CreateDirectoryA(kOut.c_str(), nullptr);
  WriteSettings();
  InstallProgram();

  long long entries = 0;
  bench::Counts counts;
  std::vector<double> recordingRatios, postInstallRatios, registryRatios, peakMiB,
      recordingMiB;
  Session last;
  for (int round = 1; round <= rounds; ++round) {
    const Walks before = TimeWalks(counts, entries);
    last = RunSession(program);
    // Untimed: the walks after see the same tree and registry as the walks before.
    bench::UndoChangeSet();
    const Walks after = TimeWalks(counts, entries);

    const double walks = (before.total + after.total) / 2;
    const double walkRegistry = (before.registry + after.registry) / 2;
    recordingRatios.push_back(last.recording / walks);
    postInstallRatios.push_back(last.postInstall / walks);
    registryRatios.push_back(last.registryStep / walkRegistry);
    peakMiB.push_back(static_cast<double>(last.peakPrivate) / (1 << 20));
    recordingMiB.push_back(static_cast<double>(last.peakRecording) / (1 << 20));
    std::printf("round %d: walks %.2f + %.2f s (registry %.2f + %.2f s), recording %.2f s "
                "(registry %.2f s), post-install %.2f s; program's private memory %.1f MiB "
                "at rest, peaks %.1f MiB recording, %.1f MiB to the report page\n",
                round, before.total, after.total, before.registry, after.registry,
                last.recording, last.registryStep, last.postInstall,
                static_cast<double>(last.atRest) / (1 << 20), recordingMiB.back(), peakMiB.back());
    std::fflush(stdout);
  }
  const size_t reportBytes = FileSize(last.reportName);
  const std::string megabyteReport = MakeMegabyteReport(last.reportName);
  const SIZE_T privateBeforePreview = PrivateBytes();
  const double preview = TimePreview(megabyteReport);
  const SIZE_T privateAfterPreview = PrivateBytes();

  const double megabytes = static_cast<double>(FileSize(megabyteReport)) / (1 << 20);
  std::printf("registry: %ld keys, %ld values; tree: %lld entries; report: %zu bytes\n",
              counts.keys, counts.values, entries, reportBytes);
  std::printf("preview      %8.3f s for %.2f MB, a window and its preview: %+ld KiB private\n",
              preview, megabytes,
              (static_cast<long>(privateAfterPreview) - static_cast<long>(privateBeforePreview)) / 1024);
  std::printf("preview ms per MB: %.0f\n", preview * 1000 / megabytes);
  bench::PrintMedian("ratio recording/walks:", recordingRatios);
  bench::PrintMedian("ratio postinstall/walks:", postInstallRatios);
  bench::PrintMedian("ratio registry/walkreg:", registryRatios);
  bench::PrintMedian("peak private MiB recording:", recordingMiB);
  bench::PrintMedian("peak private MiB:", peakMiB);
  return 0;
}
