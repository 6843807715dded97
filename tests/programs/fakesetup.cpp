// A stand-in install program for the tests, without a window.
//   fakesetup write PATH               writes PATH and exits
//   fakesetup spawn DEPTH FANOUT MARKER MS
//       DEPTH > 0: starts FANOUT copies with DEPTH-1 and exits at once;
//       DEPTH = 0: sleeps MS, then writes MARKER<process id> and exits.
//   fakesetup spawn DEPTH FANOUT MARKER MS UNTIL
//       the same, but the leaves write their marker again every 100 ms until the file
//       UNTIL exists (60 s at most): a watcher that takes its time still sees a write.
//   fakesetup catch PATH
//       meets an access fault and a C++ exception as a compiler for Windows raises it,
//       handles both itself, then writes PATH ("done" once both handlers ran) and exits.
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

// The code a C++ throw of the usual Windows compilers raises.
constexpr DWORD kCppException = 0xE06D7363;
bool faultHandled = false, throwHandled = false;

// Writes to address 0; its handler resumes at the label after the faulting instruction.
extern "C" void FaultOnce();
extern "C" char FaultResume[];
asm(".text\n"
    ".globl _FaultOnce\n_FaultOnce:\n"
    "  movl $0, 0\n"
    ".globl _FaultResume\n_FaultResume:\n"
    "  ret\n");

LONG CALLBACK Handle(EXCEPTION_POINTERS* exception) {
  const DWORD code = exception->ExceptionRecord->ExceptionCode;
  if (code == EXCEPTION_ACCESS_VIOLATION &&
      exception->ContextRecord->Eip == reinterpret_cast<DWORD>(&FaultOnce)) {
    faultHandled = true;
    exception->ContextRecord->Eip = reinterpret_cast<DWORD>(FaultResume);
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (code == kCppException) {
    throwHandled = true;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

void CatchOwnExceptions(const std::string& path) {
  AddVectoredExceptionHandler(1, Handle);
  FaultOnce();
  RaiseException(kCppException, 0, 0, nullptr);
  if (faultHandled && throwHandled) WriteMarker(path);
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
  if (__argc >= 3 && std::string(__argv[1]) == "catch") {
    CatchOwnExceptions(__argv[2]);
    return 0;
  }
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
      const std::string until = __argc >= 7 ? std::string(" ") + __argv[6] : "";
      for (int i = 0; i < fanout; ++i)
        Start(std::string("\"") + self + "\" spawn " + std::to_string(depth - 1) + " " +
              __argv[3] + " " + __argv[4] + " " + __argv[5] + until);
      return 0;
    }
    Sleep(std::atoi(__argv[5]));
    const std::string marker = std::string(__argv[4]) + std::to_string(GetCurrentProcessId());
    WriteMarker(marker);
    for (int waited = 0; __argc >= 7 && waited < 60000; waited += 100) {
      if (GetFileAttributesA(__argv[6]) != INVALID_FILE_ATTRIBUTES) break;
      Sleep(100);
      WriteMarker(marker);
    }
    return 0;
  }
  return 2;
}
