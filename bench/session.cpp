// A whole disk contents session in the real main window, created in this process: "&GO!"
// records the whole registry and a tree of 100,000 files in 5,000 folders (built once
// below C:\bench-session and kept), the install program (this program, run as "session
// apply") makes 6,400 changes, and "Install &Complete" records again, compares, writes the
// report and shows its preview; the preview is timed again for a report of 1 MB.
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
#include <functional>
#include <string>
#include <vector>

#include "app/mainu.h"
#include "app/mainu_ids.h"
#include "bench/bench_registry.h"
#include "bench/bench_tree.h"
#include "bench/bench_window.h"
#include "engines/registry.h"
#include "platform/owners.h"
#include "platform/textfile.h"

// The session state the bench looks at, and the preview it times again.
class app::MainFormProbe {
 public:
  static const FILETIME& StartTime(const TMainForm& form) { return form.startTime; }
  static session::Phase Phase(const TMainForm& form) { return form.phase; }
  static void ShowReportPreview(TMainForm& form) { form.ShowReportPreview(); }
  static std::string ReportName(const TMainForm& form) { return form.TextOf(form.ebReportName); }
};
using app::MainFormProbe;

namespace {

const bench::Tree kTree("C:\\bench-session");
const std::string kProgramFolder = "C:\\bench-session-program\\";
const std::string kOut = "C:\\bench-session-out\\";
const char kChangedKey[] = "Software\\Vortan4BenchSession";
constexpr int kChangedKeys = 50;  // each made with two values: 150 of the 6,400 changes
constexpr int kChangedFolders = 20, kStride = 4, kAddedFiles = 4;  // the other 6,250

size_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.nFileSizeLow;
}

PROCESS_MEMORY_COUNTERS Memory() {
  PROCESS_MEMORY_COUNTERS memory{};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  return memory;
}
// The process's own "peak" under Wine has answered less than samples taken before it:
// the peaks are sampled (PrivateBytesSampler).
SIZE_T PrivateBytes() { return Memory().PagefileUsage; }

// What the install program does: 6,250 changes in the tree and 150 in the registry.
int ApplyChangeSet() {
  int changes = kTree.Change(kChangedFolders, kStride, kAddedFiles);
  for (int k = 0; k < kChangedKeys; ++k) {
    HKEY key = nullptr;
    const std::string path = std::string(kChangedKey) + "\\Key" + std::to_string(k);
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    bench::SetValue(key, "Name", REG_SZ, "Changed " + std::to_string(k) + '\0');
    bench::SetMixedValue(key, k);
    RegCloseKey(key);
    changes += 3;
  }
  return changes == 6400 ? 0 : 1;
}

void RemoveChangedKeys() {
  for (int k = 0; k < kChangedKeys; ++k)
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kChangedKey) + "\\Key" + std::to_string(k)).c_str());
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, kChangedKey);
}

// The settings file beside the program: the tree is the only watched folder.
void WriteSettings() { bench::WriteSettings(kProgramFolder, kOut, kTree.Root()); }

// Samples the private bytes of this process, where the program's window runs, every few
// milliseconds while it lives: the process's own peak cannot be reset between rounds.
class PrivateBytesSampler {
 public:
  PrivateBytesSampler()
      : stop_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
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

 private:
  static DWORD WINAPI Run(void* self) {
    auto& sampler = *static_cast<PrivateBytesSampler*>(self);
    do sampler.peak_ = std::max(sampler.peak_, PrivateBytes());
    while (WaitForSingleObject(sampler.stop_.get(), 5) == WAIT_TIMEOUT);
    return 0;
  }

  platform::Handle stop_;
  platform::Handle thread_;
  SIZE_T peak_ = 0;  // written by the sampling thread only until Stop has waited for it
};

struct Session {
  double recording = 0;     // from "&GO!" to the start of the install
  double registryStep = 0;  // from "&GO!" to the registry listing's last write
  double postInstall = 0;   // "Install &Complete" to the preview shown
  SIZE_T peakPrivate = 0;   // the largest sample of the process's private bytes
  std::string reportName;
};

// The time a file was last written, in the clock of GetSystemTimeAsFileTime.
FILETIME LastWritten(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// One whole session in a new main window.
Session RunSession(const std::string& program) {
  Session result;
  PrivateBytesSampler sampler;
  {
    app::TMainForm form(app::FindProgramPlaces(kProgramFolder + "VORTAN4.EXE"),
                        app::ThisWindows(), {});
    HWND window = form.Create();
    ShowWindow(window, SW_SHOWNA);
    SetWindowTextA(form.ebInstallProg, program.c_str());
    SetWindowTextA(form.ebParams, "apply");
    SendMessageA(form.rbTmDisk, BM_CLICK, 0, 0);

    FILETIME pressed;
    GetSystemTimeAsFileTime(&pressed);
    SendMessageA(form.btnInstall, BM_CLICK, 0, 0);
    result.recording = bench::Since(pressed, MainFormProbe::StartTime(form));
    // The registry is the first step that runs (no INI file is watched), the disk listing
    // next; before it "&GO!" only shows the step page. The listing is written as the walk
    // goes and closed at its end.
    result.registryStep =
        bench::Since(pressed, LastWritten(kOut + engines::kRegistryListingBase + ".$$1"));
    // The install program has ended once "Install &Complete" is offered.
    bench::DeliverMessagesUntil([&] { return IsWindowEnabled(form.btnInstDone) != FALSE; });

    const double start = bench::Seconds();
    SendMessageA(form.btnInstDone, BM_CLICK, 0, 0);
    result.postInstall = bench::Seconds() - start;
    result.reportName = MainFormProbe::ReportName(form);
  }
  result.peakPrivate = sampler.Stop();
  return result;
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
  walks.total = walks.registry + bench::Time([&] { bench::BareWalk(kTree.Root(), entries); });
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

  const SIZE_T privateAtStart = PrivateBytes();
  char program[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, program, sizeof program);
  bench::MakeTree();
  RemoveChangedKeys();
  // The tree is kept between runs, the changes of the last one undone: building it
  // takes minutes.
  const std::string complete = kTree.Root() + "\\complete";
  double start = bench::Seconds();
  if (GetFileAttributesA(complete.c_str()) == INVALID_FILE_ATTRIBUTES) {
    kTree.Build();
    bench::WriteBytes(complete, 0);
  }
  kTree.Undo(kChangedFolders, kStride);
  std::printf("tree: %d folders, %d files, made ready in %.1f s\n", bench::Tree::kFolders,
              bench::Tree::kFiles, bench::Seconds() - start);
  bench::RemoveTree(kOut.substr(0, kOut.size() - 1));
  CreateDirectoryA(kOut.c_str(), nullptr);
  WriteSettings();

  long long entries = 0;
  bench::Counts counts;
  std::vector<double> recordingRatios, postInstallRatios, registryRatios, peakMiB;
  const SIZE_T privateBeforeSessions = PrivateBytes();
  Session last;
  for (int round = 1; round <= rounds; ++round) {
    const Walks before = TimeWalks(counts, entries);
    last = RunSession(program);
    // Untimed: the walks after see the same tree and registry as the walks before.
    RemoveChangedKeys();
    kTree.Undo(kChangedFolders, kStride);
    const Walks after = TimeWalks(counts, entries);

    const double walks = (before.total + after.total) / 2;
    const double walkRegistry = (before.registry + after.registry) / 2;
    recordingRatios.push_back(last.recording / walks);
    postInstallRatios.push_back(last.postInstall / walks);
    registryRatios.push_back(last.registryStep / walkRegistry);
    peakMiB.push_back(static_cast<double>(last.peakPrivate) / (1 << 20));
    std::printf("round %d: walks %.2f + %.2f s (registry %.2f + %.2f s), recording %.2f s "
                "(registry %.2f s), post-install %.2f s, peak %.1f MiB\n",
                round, before.total, after.total, before.registry, after.registry,
                last.recording, last.registryStep, last.postInstall, peakMiB.back());
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
  std::printf("private memory at the start %lu KiB, before the first session %lu KiB\n",
              static_cast<unsigned long>(privateAtStart >> 10),
              static_cast<unsigned long>(privateBeforeSessions >> 10));
  std::printf("preview      %8.3f s for %.2f MB, a window and its preview: %+ld KiB private\n",
              preview, megabytes,
              (static_cast<long>(privateAfterPreview) - static_cast<long>(privateBeforePreview)) / 1024);
  std::printf("preview ms per MB: %.0f\n", preview * 1000 / megabytes);
  bench::PrintMedian("ratio recording/walks:", recordingRatios);
  bench::PrintMedian("ratio postinstall/walks:", postInstallRatios);
  bench::PrintMedian("ratio registry/walkreg:", registryRatios);
  bench::PrintMedian("peak private MiB:", peakMiB);
  return 0;
}
