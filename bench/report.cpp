// The compares and the report of an install of 6,400 changes (the session benchmark's
// workload: the whole registry and a tree of 100,000 files) against the bare reading of
// the four listings they read. The listings are written once, before and after the changes,
// which are then undone. In each of ROUNDS rounds (report ROUNDS, 7 unless told) the
// listings are read line by line and nothing more, and the registry and disk compares run
// with their sections written in both forms, filters included, as after an install; the two
// take turns going first. The medians of the rounds are printed with their spread, for each
// phase and for the ratio of compares and report to the reading.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_workload.h"
#include "engines/disk.h"
#include "engines/registry.h"
#include "platform/textfile.h"
#include "report/sections.h"

namespace {

const std::string kOut = "C:\\bench-report-out\\";
const std::string kRegistry = kOut + engines::kRegistryListingBase;
const std::string kDisk = kOut + engines::kDiskListingBase;

// The program's own files as a session has them: the report and its listings lie outside
// the tree.
report::OwnFiles OwnFiles() {
  report::OwnFiles own;
  own.programFolder = "c:\\bench-report-program\\";
  own.programPath = "c:\\bench-report-program\\vortan4.exe";
  own.reportName = kOut + "RPT_0000.TXT";
  own.reportFolder = kOut;
  own.tempFolder = kOut;
  return own;
}

void WriteListings(const char* extension) {
  engines::TrackedList roots, ignored;
  engines::AddToTrackedList(roots, bench::kSessionTree.Root());
  engines::ProgressCallback progress = [](const std::string&) {};
  engines::SnapshotRegistry(kRegistry, extension, ignored, progress);
  engines::SnapshotDisks(kDisk + extension, roots, progress);
}

size_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.nFileSizeLow;
}

// The baseline: every line of the four listings read, nothing more.
long ReadListings() {
  long lines = 0;
  std::string line;
  for (const std::string& base : {kRegistry, kDisk})
    for (const char* extension : {".$$1", ".$$2"}) {
      platform::BufferedReader in(base + extension);
      while (in.ReadLine(line)) ++lines;
    }
  return lines;
}

struct Phases {
  double registryCompare = 0, registrySection = 0, diskCompare = 0, diskSection = 0;
  double Total() const { return registryCompare + registrySection + diskCompare + diskSection; }
};

// The post-install work without the walks and the undo data.
Phases CompareAndReport(const report::OwnFiles& own, size_t& entries) {
  Phases phases;
  engines::ProgressCallback progress = [](const std::string&) {};
  report::WorkLists lists;
  report::ReportStreams streams(own.reportName, kOut + "EXTRARPT.CSV",
                                platform::BufferedWriter::Mode::Create);
  phases.registryCompare = bench::Time([&] {
    engines::CompareRegistrySnapshots(kRegistry + ".$$1", kRegistry + ".$$2", lists[0], lists[1],
                                      lists[2], lists[3], lists[4], progress);
  });
  entries = 0;
  for (const auto& list : lists) entries += list.size();
  phases.registrySection = bench::Time([&] {
    report::WriteRegistrySection(streams, lists);
    report::ClearWorkLists(lists);
  });
  phases.diskCompare = bench::Time([&] {
    engines::CompareDiskSnapshots(kDisk + ".$$1", kDisk + ".$$2", lists[0], lists[1], lists[2],
                                  progress);
  });
  for (const auto& list : lists) entries += list.size();
  phases.diskSection = bench::Time([&] {
    report::WriteDiskSection(streams, lists, own);
    streams.text.Close();
    streams.csv.Close();
  });
  return phases;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  bench::MakeWorkloadReady();
  CreateDirectoryA(kOut.c_str(), nullptr);
  WriteListings(".$$1");
  const int changes = bench::ApplyChangeSet();
  WriteListings(".$$2");
  bench::UndoChangeSet();

  const report::OwnFiles own = OwnFiles();
  std::vector<double> reading, registryCompare, registrySection, diskCompare, diskSection, total,
      ratio;
  long lines = 0;
  size_t entries = 0;
  for (int round = 0; round < rounds; ++round) {
    double read = 0;
    Phases phases;
    auto timeReading = [&] { read = bench::Time([&] { lines = ReadListings(); }); };
    auto timeWork = [&] { phases = CompareAndReport(own, entries); };
    if (round % 2 == 0) {
      timeReading();
      timeWork();
    } else {
      timeWork();
      timeReading();
    }
    reading.push_back(read);
    registryCompare.push_back(phases.registryCompare);
    registrySection.push_back(phases.registrySection);
    diskCompare.push_back(phases.diskCompare);
    diskSection.push_back(phases.diskSection);
    total.push_back(phases.Total());
    ratio.push_back(phases.Total() / read);
  }

  std::printf("%d changes; listings: %ld lines, %zu + %zu bytes (registry), %zu + %zu bytes "
              "(disk); compares: %zu entries; report: %zu bytes of text, %zu bytes of CSV\n",
              changes, lines, FileSize(kRegistry + ".$$1"), FileSize(kRegistry + ".$$2"),
              FileSize(kDisk + ".$$1"), FileSize(kDisk + ".$$2"), entries,
              FileSize(own.reportName), FileSize(kOut + "EXTRARPT.CSV"));
  bench::PrintMedian("registry compare s:", registryCompare);
  bench::PrintMedian("registry section s:", registrySection);
  bench::PrintMedian("disk compare s:", diskCompare);
  bench::PrintMedian("disk section s:", diskSection);
  bench::PrintMedian("reading the listings s:", reading);
  bench::PrintMedian("compares and report s:", total);
  bench::PrintMedian("ratio compares+report/reading:", ratio);
  return 0;
}
