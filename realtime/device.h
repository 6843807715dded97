#pragma once
// One open of the trap driver, VORTTRAP.VXD in the program's folder. On Windows 95/98
// the driver is a dynamically loadable device: opening its path loads it, closing the
// last handle unloads it, and every request is a DeviceIoControl. Under Wine the same
// file is a library with four entry points, loaded and called directly: Wine would open
// the device path as a plain file and delete it on close.
#include <windows.h>

#include <string>

#include "platform/owners.h"
#include "platform/trapabi.h"

namespace realtime {

// The entry points of the driver as a library (platform/trapabi.h).
struct DriverEntries {
  decltype(&VortTrapOpen) open;
  decltype(&VortTrapClose) close;
  decltype(&VortTrapControl) control;
  decltype(&VortTrapTraceProcess) traceProcess;
};

// Where the driver is opened from: by default the file beside the program; a folder of
// its own, or entry points of the caller's (the tests' driver) that must outlive every
// device opened with them.
struct DriverSource {
  std::string folder;  // no trailing backslash; "" for the program's
  const DriverEntries* entries = nullptr;
};

// "\\.\" + the short form of the folder + "VORTTRAP.VXD", with one backslash between.
std::string DriverPathFor(const std::string& folder);
// The driver path of the source.
std::string DriverPath(const DriverSource& source = {});

class TrapDevice {
 public:
  TrapDevice() = default;
  TrapDevice(TrapDevice&& other) noexcept;
  TrapDevice& operator=(TrapDevice&& other) noexcept;
  ~TrapDevice() { Close(); }

  // Opens the driver at the source; an invalid device and the system's error code on
  // failure (2 when the driver file is missing, whichever way it is opened). The library
  // form is one driver per process: only one device may be open at a time (vorttrap.cpp
  // keeps them one at a time).
  static TrapDevice Open(const DriverSource& source, DWORD& error);

  bool valid() const { return file_.valid() || opened_; }
  // The request with its buffers; the returned byte count is of no interest.
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) const;
  // Asks the driver to trap the operations of a process started under the debugger; only
  // the library form can, the device traps every process anyway.
  bool TraceProcess(HANDLE process, HANDLE thread, DWORD processId) const;
  void Close();

 private:
  platform::FileHandle file_;
  platform::Library library_;
  DriverEntries entries_{};
  bool opened_ = false;  // through the entries
};

}  // namespace realtime
