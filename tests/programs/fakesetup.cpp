// A stand-in install program for the tests, without a window.
//   fakesetup write PATH               writes PATH and exits
//   fakesetup spawn DEPTH FANOUT MARKER MS
//       DEPTH > 0: starts FANOUT copies with DEPTH-1 and exits at once;
//       DEPTH = 0: sleeps MS, then writes MARKER<process id> and exits.
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

void WriteMarker(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, "done", 4, &written, nullptr);
  CloseHandle(file);
}

void Start(const std::string& commandLine) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &info)) {
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (__argc >= 3 && std::string(__argv[1]) == "write") {
    WriteMarker(__argv[2]);
    return 0;
  }
  if (__argc >= 6 && std::string(__argv[1]) == "spawn") {
    int depth = std::atoi(__argv[2]);
    int fanout = std::atoi(__argv[3]);
    if (depth > 0) {
      char self[MAX_PATH];
      GetModuleFileNameA(nullptr, self, MAX_PATH);
      for (int i = 0; i < fanout; ++i)
        Start(std::string("\"") + self + "\" spawn " + std::to_string(depth - 1) + " " +
              __argv[3] + " " + __argv[4] + " " + __argv[5]);
      return 0;
    }
    Sleep(std::atoi(__argv[5]));
    WriteMarker(std::string(__argv[4]) + std::to_string(GetCurrentProcessId()));
    return 0;
  }
  return 2;
}
