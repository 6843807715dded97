#pragma once
// The writing phase of the post-install work: after the install, the watched places are
// recorded again and compared with their state before, and the report is written in both
// forms, step by step in the order of the step mask's bits.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engines/lists.h"
#include "realtime/records.h"
#include "report/session.h"
#include "report/step_display.h"
#include "report/writer.h"
#include "session/snapshots.h"

namespace session {

// What the steps read of the run.
struct TrackingRun {
  StatMask statMask = 0;  // bit i: step i takes place
  bool supplement = false;     // appended to an existing report, after a restart
  std::string reportName;      // the file the user named
  bool reportIsText = true;    // it gets the text form; the companion the other
  std::string programFolder;   // lower case; these folders end in a backslash
  std::string reportFolder;
  std::string tempFolder;
  engines::TrackedList watchedFolders;
  std::vector<std::string> watchedInis;
  engines::TrackedList ignoredKeys;
  uint64_t startTime = 0;      // when the install began (UTC file time)
  report::HeaderFacts header;
};

// Whether the registry and the disks are recorded at once, before or after the install:
// where both are recorded (the disk walk on a thread of its own, engines/together.h).
bool RecordsTogether(StatMask steps, When when);

// "EXTRARPT.TXT" or "EXTRARPT.CSV" in the report folder: the form the report file does not get.
std::string CompanionName(const TrackingRun& run);

// Writes the header, then runs steps 5 to 11 whose bits are set, the real-time step with
// what tracking found. Both report files are closed whatever happens; an error ends the
// report there and is passed on, and the files keep what was written. Once the program is
// being closed no further step starts.
void WritePostInstallReport(const TrackingRun& run, const report::StepDisplay& display,
                            realtime::TrackingResults found = {});

}  // namespace session
