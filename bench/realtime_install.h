// What the real-time benchmark's install program does, shared by the benchmark and the
// program (bench/programs/realtime-install.cpp).
#pragma once

#include <string>

namespace bench::realtime_install {

const std::string kWork = "C:\\bench-realtime";            // where the install writes
const std::string kClock = "C:\\bench-realtime-clock.txt";  // its own running time
const char kKey[] = "Software\\Vortan4BenchRealtime";
constexpr int kFolders = 20, kFilesPerFolder = 100, kKeys = 20, kValuesPerKey = 100;

}  // namespace bench::realtime_install
