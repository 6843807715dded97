#pragma once
// What the benchmarks that drive the real main window in their own process share: its
// settings file, the message loop while a session runs, and the clock of its start time.
#include <windows.h>

#include <functional>
#include <string>

#include "app/settings.h"
#include "bench/bench_tree.h"
#include "engines/helpers.h"

namespace bench {

// Seconds from one system time to another.
inline double Since(const FILETIME& start, const FILETIME& end) {
  auto value = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                               t.dwLowDateTime);
  };
  return (value(end) - value(start)) / 1e7;
}

// A fresh program folder whose settings file watches `watched` only, no INI file and no
// ignored key, with the reports and listings in `out`.
inline void WriteSettings(const std::string& programFolder, const std::string& out,
                          const std::string& watched) {
  RemoveTree(programFolder.substr(0, programFolder.size() - 1));
  CreateDirectoryA(programFolder.c_str(), nullptr);
  const app::SettingsFile file(programFolder + "VORTAN4.INI");
  app::WriteDefaultFolders(file, out, out);
  engines::TrackedList drives, none;
  engines::AddToTrackedList(drives, watched);
  app::SaveWatchedList(file, app::WatchedList::Drives, drives);
  app::SaveWatchedList(file, app::WatchedList::Inis, none);
  app::SaveWatchedList(file, app::WatchedList::Regs, none);
}

// Runs the window's messages, as the program's loop would, until `done`.
inline void DeliverMessagesUntil(const std::function<bool()>& done) {
  while (!done()) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (!done()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

}  // namespace bench
