// The real-time benchmark's install program: "realtime-install 0 FOLDER" starts part 1 and
// waits for it; each part makes every other folder (below FOLDER) and key. Part 0 writes
// when it began and how long it ran by its own clock. It is a windows program, as installers
// are: neither part gets a console.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_registry.h"
#include "bench/bench_tree.h"
#include "bench/realtime_install.h"

namespace {

using namespace bench::realtime_install;

std::string ThisProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof path);
  return path;
}

void MakeChanges(int part, const std::string& runFolder) {
  CreateDirectoryA(runFolder.c_str(), nullptr);
  for (int folder = part; folder < kFolders; folder += 2) {
    const std::string path = runFolder + "\\d" + std::to_string(folder);
    CreateDirectoryA(path.c_str(), nullptr);
    for (int file = 0; file < kFilesPerFolder; ++file)
      bench::WriteBytes(path + "\\f" + std::to_string(file) + ".dat", 100);
  }
  for (int k = part; k < kKeys; k += 2) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, (std::string(kKey) + "\\k" + std::to_string(k)).c_str(), 0,
                    nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    for (int value = 0; value < kValuesPerKey; ++value)
      bench::SetValue(key, ("v" + std::to_string(value)).c_str(), REG_SZ,
                      "installed " + std::to_string(value) + '\0');
    RegCloseKey(key);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int part = std::atoi(argv[1]);
  const std::string runFolder = argv[2];
  const double start = bench::Seconds();
  PROCESS_INFORMATION child{};
  if (part == 0) {
    std::string line = "\"" + ThisProgram() + "\" 1 " + runFolder;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &child))
      return 1;
  }
  MakeChanges(part, runFolder);
  if (part != 0) return 0;
  WaitForSingleObject(child.hProcess, INFINITE);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  // Its start too: the performance counter is the machine's, the same in every process.
  char text[64];
  std::snprintf(text, sizeof text, "%.6f %.6f", start, bench::Seconds() - start);
  HANDLE file = CreateFileA(kClock.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text, lstrlenA(text), &written, nullptr);
  CloseHandle(file);
  return 0;
}
