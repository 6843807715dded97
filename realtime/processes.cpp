#include "realtime/processes.h"

#include <windows.h>

#include <cstring>

#include "platform/owners.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/trapabi.h"

namespace realtime {
namespace {

template <class F>
F Kernel32Function(const char* name) {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(kernel, name)))
                : nullptr;
}

// A read of this process's memory that answers false where the memory is not readable,
// instead of faulting.
bool ReadOwn(uintptr_t address, void* out, size_t size) {
  SIZE_T read = 0;
  return ReadProcessMemory(GetCurrentProcess(), reinterpret_cast<const void*>(address), out, size,
                           &read) &&
         read == size;
}

}  // namespace

bool DeriveProcessKeyFrom(uintptr_t function, uint32_t processId, const MemoryReader& read,
                          uint32_t& key) {
  auto read32 = [&](uintptr_t address, uint32_t& value) { return read(address, &value, 4); };
  // The function's first instruction holds the address of the system's data; a push
  // (0x6A) puts it 8 bytes on, a load (0xA1) 1 byte on.
  uint32_t code = 0, data = 0, first = 0, second = 0, value = 0;
  uint8_t opcode = 0;
  if (!read32(function + 1, code) || !read(code, &opcode, 1)) return false;
  if (opcode == 0x6A)
    data = code + 8;
  else if (opcode == 0xA1)
    data = code + 1;
  else
    return false;
  if (!read32(data, first) || !read32(first, second) || !read32(second, value)) return false;
  key = processId ^ value;
  return true;
}

bool DeriveProcessKey(uint32_t& key) {
  using ProcessIdFunction = DWORD(WINAPI*)();
  const auto function = Kernel32Function<ProcessIdFunction>("GetCurrentProcessId");
  if (!function) return false;
  return DeriveProcessKeyFrom(reinterpret_cast<uintptr_t>(function), function(), ReadOwn, key);
}

bool Windows95or98() {
  static const bool is9x = [] {
    OSVERSIONINFOA version = platform::WindowsVersion();
    return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && version.dwMajorVersion == 4 &&
           (version.dwMinorVersion == 0 || version.dwMinorVersion == 10);
  }();
  return is9x;
}

std::string LookUpProcessName(uint32_t driverProcessId, uint32_t processKey) {
  std::string name = kUnknownProcessName;
  if (!Windows95or98() || processKey == 0) return name;
  std::vector<platform::SystemProcess> running;
  if (!platform::ListSystemProcesses(running)) return name;
  for (const platform::SystemProcess& process : running) {
    if ((process.id ^ processKey) == driverProcessId) {
      name = process.exeFile;
      break;
    }
  }
  return name;
}

void NameNotedProcesses(std::vector<ProcessNote>& notes, uint32_t processKey) {
  std::vector<platform::SystemProcess> running;
  bool listed = false, asked = false;
  for (ProcessNote& note : notes) {
    if (!note.name.empty()) continue;
    if (!asked) listed = platform::ListSystemProcesses(running);
    asked = true;
    const DWORD id = note.processId ^ processKey;
    note.name = "process " + std::to_string(id);
    if (!listed) continue;
    for (const platform::SystemProcess& process : running)
      if (process.id == id) note.name = process.exeFile;
  }
}

bool DecodeProcessNote(const unsigned char* bytes, ProcessNote& note) {
  namespace layout = trapabi::process_note;
  uint32_t kind = 0, reason = 0;
  std::memcpy(&note.processId, bytes + layout::kProcessId, 4);
  std::memcpy(&kind, bytes + layout::kKind, 4);
  std::memcpy(&note.since, bytes + layout::kSince, 8);
  std::memcpy(&reason, bytes + layout::kReason, 4);
  std::memcpy(&note.error, bytes + layout::kError, 4);
  const char* name = reinterpret_cast<const char*>(bytes + layout::kName);
  note.name.assign(name, strnlen(name, layout::kNameSize));
  if (kind != layout::kTracedLate && kind != layout::kNotTraced) return false;
  note.kind = kind == layout::kTracedLate ? nkTracedLate : nkNotTraced;
  note.reason = static_cast<NoteReason>(reason);
  return true;
}

}  // namespace realtime
