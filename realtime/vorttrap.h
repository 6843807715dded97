#pragma once
// Real-time tracking through the trap driver: one run at a time, from start to stop.
// While it runs, a thread of its own holds the eleven subscriptions and receives each
// trapped operation as an asynchronous call in an alertable wait; the records are decoded
// into the change lists (records.h) and given back to the driver at once.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/owners.h"
#include "platform/trapabi.h"
#include "realtime/backup_folder.h"
#include "realtime/device.h"
#include "realtime/records.h"

namespace realtime {

constexpr int kSubscriptionCount = 11;

// Results of the start.
enum StartResult : int32_t { srStarted = 0, srNoDriver = -1, srNoVersion = -2 };

// One tracking run: the constructor starts it and answers once the subscriptions are in
// force, the stop hands over what it found. Only one runs at a time (a second started
// meanwhile starts nothing): the driver delivers to a routine that knows no run, and the
// launcher's thread reaches the run in force through the functions below.
class RealTimeTracking {
 public:
  // Opens the driver and starts the notification thread. With a folder, the capture
  // copies files there before their first change, for the undo (backup_folder.h).
  explicit RealTimeTracking(const std::string& copiesFolder = "", DriverSource source = {});
  ~RealTimeTracking();
  RealTimeTracking(const RealTimeTracking&) = delete;
  RealTimeTracking& operator=(const RealTimeTracking&) = delete;

  StartResult Started() const { return started_; }
  bool Active() const { return active_; }
  // Why the start failed, in words for the user; "" after a successful start.
  const std::string& Failure() const { return failure_; }

  // Withdraws the subscriptions, lets the notification thread give back what is still
  // queued and end, closes the driver and hands over what was found. A run that did not
  // start, or has stopped, hands over only its failure.
  TrackingResults Stop();

  // For the run in force (the functions below): a request to its driver, a process to
  // trace, a process to name.
  bool Control(DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize) const {
    return device_.Control(code, in, inSize, out, outSize);
  }
  void Trace(HANDLE process, HANDLE thread, DWORD processId) const {
    if (active_) device_.TraceProcess(process, thread, processId);
  }
  void Register(uint32_t driverProcessId) { recorder_.RegisterProcess(driverProcessId); }

 private:
  void Start(const std::string& copiesFolder);
  // The routine the driver calls with each record, on the notification thread.
  static void CALLBACK NotificationRoutine(ULONG_PTR record);
  void Receive(ULONG_PTR record);
  static DWORD WINAPI NotificationThread(void* tracking);
  void Withdraw();
  uint32_t AskProcessKey() const;  // 0 when the driver does not tell it

  DriverSource source_;
  StartResult started_ = srNoDriver;
  bool active_ = false;
  std::string failure_;
  TrapDevice device_;
  uint32_t processKey_ = 0;
  ChangeRecorder recorder_;
  FileBackups backups_;
  // The driver may keep the blocks' addresses until they are withdrawn.
  unsigned char blocks_[kSubscriptionCount][trapabi::kSubscriptionSize] = {};
  uint32_t subscriptionHandles_[kSubscriptionCount] = {};
  platform::Handle wakeUp_, subscribed_, notificationThread_;
};

// A request to the driver: through the run in force, or on an open of its own. False when
// it cannot be opened (error: the system's code) or the request fails (error 0).
bool QueryDriver(const DriverSource& source, DWORD code, const void* in, DWORD inSize, void* out,
                 DWORD outSize, DWORD& error);
// The driver's version (0 to 65535), or -1 when it cannot be opened or does not answer.
int32_t GetTrapDriverVersion(const DriverSource& source = {});
// The key with driver process id = Win32 process id XOR key; 0 when it cannot be had,
// with the reason in failure when the driver cannot be opened.
uint32_t GetProcessKey(std::string& failure, const DriverSource& source = {});

// "Failed to open " + the driver path + ": " + the system's text for the error.
std::string OpenFailureText(DWORD error, const DriverSource& source = {});

// Under Wine, the driver traps only the processes it is told of: the launcher calls this
// for each process at its first debug event. Nothing when no run is in force, and on
// Windows 95/98, where the driver sees every process.
void TraceNewProcess(HANDLE process, HANDLE thread, DWORD processId);
// Adds the process to the process list of the run in force, if any.
void RegisterProcess(uint32_t driverProcessId);

}  // namespace realtime
