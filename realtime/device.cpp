#include "realtime/device.h"

#include <utility>

#include "platform/directory.h"
#include "platform/system.h"

namespace realtime {
namespace {

constexpr char kDriverFile[] = "VORTTRAP.VXD";
constexpr char kDevicePrefix[] = "\\\\.\\";

template <class F>
bool Resolve(HMODULE module, const char* name, F& function) {
  function = reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  return function != nullptr;
}

}  // namespace

std::string DriverPathFor(const std::string& folder) {
  char shortForm[260] = {};
  DWORD length = GetShortPathNameA(folder.c_str(), shortForm, sizeof shortForm);
  // The program's own folder exists, so this only fails for a path beyond the buffer.
  std::string path = length > 0 && length < sizeof shortForm ? shortForm : folder;
  if (path.empty() || path.back() != '\\') path += '\\';
  return kDevicePrefix + path + kDriverFile;
}

std::string DriverPath(const DriverSource& source) {
  if (!source.folder.empty()) return DriverPathFor(source.folder);
  static const std::string path = [] {
    std::string folder = platform::ModulePath();
    folder.erase(folder.find_last_of('\\') + 1);
    if (folder.size() > 3) folder.pop_back();  // a drive root keeps its backslash
    return DriverPathFor(folder);
  }();
  return path;
}

TrapDevice::TrapDevice(TrapDevice&& other) noexcept
    : file_(std::move(other.file_)),
      library_(std::move(other.library_)),
      entries_(other.entries_),
      opened_(std::exchange(other.opened_, false)) {}

TrapDevice& TrapDevice::operator=(TrapDevice&& other) noexcept {
  if (this != &other) {
    Close();
    file_ = std::move(other.file_);
    library_ = std::move(other.library_);
    entries_ = other.entries_;
    opened_ = std::exchange(other.opened_, false);
  }
  return *this;
}

TrapDevice TrapDevice::Open(const DriverSource& source, DWORD& error) {
  TrapDevice device;
  error = 0;
  if (source.entries) {
    device.entries_ = *source.entries;
    device.opened_ = device.entries_.open();
    if (!device.opened_) error = ERROR_FILE_NOT_FOUND;
    return device;
  }
  const std::string path = DriverPath(source);
  if (!platform::RunningUnderWine()) {
    device.file_.reset(CreateFileA(path.c_str(), 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE,
                                   nullptr));
    if (!device.file_) error = GetLastError();
    return device;
  }
  // LoadLibraryA answers 1157 for a missing file; the device open would say 2.
  const std::string file = path.substr(sizeof kDevicePrefix - 1);
  if (!platform::FileExists(file)) {
    error = ERROR_FILE_NOT_FOUND;
    return device;
  }
  device.library_.reset(LoadLibraryA(file.c_str()));
  if (!device.library_) {
    error = GetLastError();
    return device;
  }
  DriverEntries& entries = device.entries_;
  HMODULE module = device.library_.get();
  namespace names = trapabi::library;
  if (!Resolve(module, names::kOpen, entries.open) ||
      !Resolve(module, names::kClose, entries.close) ||
      !Resolve(module, names::kControl, entries.control) ||
      !Resolve(module, names::kTraceProcess, entries.traceProcess)) {
    error = ERROR_PROC_NOT_FOUND;
    device.library_.reset();
    return device;
  }
  device.opened_ = entries.open();
  if (!device.opened_) {
    error = GetLastError() ? GetLastError() : ERROR_GEN_FAILURE;
    device.library_.reset();
  }
  return device;
}

bool TrapDevice::Control(DWORD code, const void* in, DWORD inSize, void* out,
                         DWORD outSize) const {
  DWORD returned = 0;
  if (opened_)
    return entries_.control(code, const_cast<void*>(in), inSize, out, outSize, &returned);
  if (!file_) return false;
  return DeviceIoControl(file_.get(), code, const_cast<void*>(in), inSize, out, outSize, &returned,
                         nullptr);
}

bool TrapDevice::TraceProcess(HANDLE process, HANDLE thread, DWORD processId) const {
  return opened_ && entries_.traceProcess(process, thread, processId);
}

void TrapDevice::Close() {
  if (opened_) {
    opened_ = false;
    entries_.close();
  }
  library_.reset();
  file_.reset();
}

}  // namespace realtime
