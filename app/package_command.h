#pragma once
// VORTAN4.EXE /PACKAGE <report file> <folder> [/ASNOW]: writes an installer package of the
// install that a report recorded (engines/package.h) into the folder; with /ASNOW, what
// changed since the report goes in as it is now instead of being left out. It asks
// nothing and shows no box: its messages go to the standard error stream.
// Exit codes: 0 the package holds every change, 1 some were left out (listed), 2 nothing
// was written (no undo data, damaged data, a folder that cannot be written).
#include <string>
#include <vector>

namespace app {

constexpr int kPackageComplete = 0;
constexpr int kPackagePartial = 1;
constexpr int kPackageNothingWritten = 2;

bool IsPackageCommand(const std::vector<std::string>& parameters);
int RunPackageCommand(const std::vector<std::string>& parameters);

}  // namespace app
