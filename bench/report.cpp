// The disk section of the report against the compare that feeds it: two listings of a
// tree of 100,000 files (built afresh below C:\bench-report) that differ in 10,000
// entries are compared, and the section is written in both forms, filters included.
// Each timing is the best of ten rounds (report ROUNDS for another number).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_tree.h"
#include "engines/disk.h"
#include "engines/ini.h"
#include "report/sections.h"

namespace {

const bench::Tree kTree("C:\\bench-report");
const std::string kOut = "C:\\bench-report-out\\";
const std::string kBefore = kOut + "VORTAN$$.$$1";
const std::string kAfter = kOut + "VORTAN$$.$$2";

// The program's own files as a session has them; the program folder lies in the tree,
// so the filters drop the changes made there.
report::OwnFiles OwnFiles() {
  report::OwnFiles own;
  own.programFolder = engines::LowerAscii(kTree.Folder(0, 0)) + "\\";
  own.reportName = kOut + "RPT_0000.TXT";
  own.reportFolder = kOut;
  own.tempFolder = kOut;
  for (const char* ini : {"C:\\WINDOWS\\win.ini", "C:\\WINDOWS\\system.ini",
                          "C:\\WINDOWS\\control.ini"})
    for (const char* extension : {".$$1", ".$$2"})
      own.iniCopies.push_back(engines::IniCopyPath(ini, kOut, extension));
  return own;
}

size_t FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.nFileSizeLow;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  CreateDirectoryA(kOut.c_str(), nullptr);
  engines::TrackedList roots;
  engines::AddToTrackedList(roots, kTree.Root());
  engines::ProgressCallback progress = [](const std::string&) {};

  double start = bench::Seconds();
  kTree.Build();
  engines::SnapshotDisks(kBefore, roots, progress);
  const int changes = kTree.Change(33, 3, 1);
  engines::SnapshotDisks(kAfter, roots, progress);
  std::printf("tree: %d folders, %d files, %d changes; built and listed in %.1f s\n",
              bench::Tree::kFolders, bench::Tree::kFiles, changes, bench::Seconds() - start);

  const report::OwnFiles own = OwnFiles();
  const std::string textPath = own.reportName, csvPath = kOut + "EXTRARPT.CSV";
  double compare = 1e30, section = 1e30;
  report::WorkLists compared, written;
  for (int round = 0; round < runs; ++round) {
    compare = std::min(compare, bench::Time([&] {
      engines::CompareDiskSnapshots(kBefore, kAfter, compared[0], compared[1], compared[2],
                                    progress);
    }));
    written = compared;  // the section filters its lists in place
    section = std::min(section, bench::Time([&] {
      report::ReportStreams streams(textPath, csvPath, platform::BufferedWriter::Mode::Create);
      report::WriteDiskSection(streams, written, own);
      streams.text.Close();
      streams.csv.Close();
    }));
  }

  std::printf("compare: %zu added, %zu deleted, %zu changed; report: %zu entries, "
              "%zu bytes of text, %zu bytes of CSV\n",
              compared[0].size(), compared[1].size(), compared[2].size(),
              written[0].size() + written[1].size() + written[2].size(), FileSize(textPath),
              FileSize(csvPath));
  std::printf("compare  %8.3f s\n", compare);
  std::printf("report   %8.3f s\n", section);
  std::printf("ratio report/compare: %.2f\n", section / compare);
  return 0;
}
