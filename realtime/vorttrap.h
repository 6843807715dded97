#pragma once
// Real-time tracking through the trap driver: one session at a time, from start to stop.
// While it runs, a thread of its own holds the eleven subscriptions and receives each
// trapped operation as an asynchronous call in an alertable wait; the records are decoded
// into the change lists (records.h) and given back to the driver at once.
#include <windows.h>

#include <cstdint>
#include <string>

#include "platform/trapabi.h"

namespace realtime {

// The control codes and the subscription block (platform/trapabi.h).
using namespace trapabi;

constexpr int kSubscriptionCount = 11;
// Block i as the session sends it (the routine field is filled in by the start).
const unsigned char* SubscriptionBlock(int i);

// Results of StartRealTimeTracking.
enum StartResult : int32_t { srStarted = 0, srNoDriver = -1, srNoVersion = -2 };

// Empties the change lists, opens the driver and starts the notification thread; answers
// once the subscriptions are in force. A driver that cannot be opened is reported in a
// message box. A running session is stopped first. With a folder, the capture copies files
// there before their first change, for the undo (backup_folder.h).
int32_t StartRealTimeTracking(const std::string& copiesFolder = "");
// Withdraws the subscriptions, lets the notification thread give back what is still
// queued and end, and unloads the driver. Nothing when no session runs.
void StopRealTimeTracking();
bool RealTimeTrackingActive();
// Why the last start failed, in words for the user; "" after a successful start.
std::string TrackingFailure();

// One-shot queries on an open of their own; a running session is left alone.
// The driver's version (0 to 65535), or -1 when it cannot be opened or does not answer.
int32_t GetTrapDriverVersion();
// The key with driver process id = Win32 process id XOR key; 0 when it cannot be had.
// A driver that cannot be opened is reported in a message box captioned "DEBUG".
uint32_t GetProcessKey();

// "Failed to open " + the driver path + ": " + the system's text for the error.
std::string OpenFailureText(DWORD error);

// Under Wine, the driver traps only the processes it is told of: the launcher calls this
// for each process at its first debug event, while tracking is active. Nothing on
// Windows 95/98, where the driver sees every process.
void TraceNewProcess(HANDLE process, HANDLE thread, DWORD processId);

}  // namespace realtime
