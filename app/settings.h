#pragma once
// The settings file: an INI file beside the program, read and written one value at a
// time through the profile functions. A missing file or key gives the default.
#include <windows.h>

#include <stdexcept>
#include <string>

#include "dialogs/placement.h"
#include "engines/helpers.h"
#include "report/session.h"

namespace app {

// Raised when the system refuses a write or an erase of the settings file; the
// operation that was saving stops there and the error box shows the message.
class SettingsWriteError : public std::runtime_error {
 public:
  explicit SettingsWriteError(const std::string& settingsPath);
};

// Computed once at start, before any window exists.
struct ProgramPlaces {
  std::string programFolder;  // lower case, with a trailing backslash
  std::string settingsPath;   // the program's path with the extension ".INI"
  std::string windowsFolder;  // lower case, with a trailing backslash
};
ProgramPlaces FindProgramPlaces(const std::string& programPath);

class SettingsFile {
 public:
  explicit SettingsFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // Integers and flags not written as a decimal number read as the fallback.
  int ReadInt(const std::string& section, const std::string& key, int fallback) const;
  bool ReadFlag(const std::string& section, const std::string& key, bool fallback) const;
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& fallback) const;

  void WriteInt(const std::string& section, const std::string& key, int value) const;
  void WriteFlag(const std::string& section, const std::string& key, bool value) const;
  void WriteString(const std::string& section, const std::string& key,
                   const std::string& value) const;
  void EraseSection(const std::string& section) const;

 private:
  std::string path_;
};

inline const char kSettingsSection[] = "Settings";

// The main window's own values of section "Settings".
struct MainSettings {
  int lastRept = 1;     // 1 text report, 2 comma-separated report
  std::string instPath; // folders end in a backslash unless empty
  std::string reptPath;
  std::string tempPath;
};
MainSettings ReadMainSettings(const SettingsFile& file, const std::string& programFolder);
void WriteReportKindAndInstallFolder(const SettingsFile& file, const MainSettings& values);
void WriteDefaultFolders(const SettingsFile& file, const std::string& reptPath,
                         const std::string& tempPath);

// The three watched lists, each a section of its own keyed "0", "1", ... and a flag in
// "Settings" that says whether the section holds the user's list or the default applies.
enum class WatchedList { Drives, Inis, Regs };

// Entries are taken in the order the file lists them; entries that fail their check
// (a missing folder or file, a file without sections, a key that cannot be opened) are
// dropped and stay in the file until the list is next written.
engines::TrackedList LoadWatchedList(const SettingsFile& file, WatchedList which,
                                     const std::string& windowsFolder);
// Flag set, section erased, entries written in list order.
void SaveWatchedList(const SettingsFile& file, WatchedList which, const engines::TrackedList& list);

// The state of a tracking run that goes on at the next start of the program.
struct Continuation {
  session::TwoPhase twoPhase = session::tpNone;
  std::string reportDesc;
  std::string reportName;
  std::string installProg;
  int timeLo = -1;  // the start time, a file time in UTC, as two signed halves
  int timeHi = -1;
  session::StatMask statMask = session::kMaskDisk;
  session::TrackMode trackMode = session::tmDisk;
};
inline const char kTwoPhaseSection[] = "TwoPhase";

void WriteContinuation(const SettingsFile& file, const Continuation& block);
// Missing texts default to the current ones; the mask's default depends on the mode read.
Continuation ReadContinuation(const SettingsFile& file, const std::string& currentDesc,
                              const std::string& currentReportName,
                              const std::string& currentInstallProg);
void EraseContinuation(const SettingsFile& file);

// Where a window remembers its place: "<form name> Settings" ("Settings" for the main
// window). Resizable windows also remember their size.
std::string PlacementSection(const std::string& formName);

struct Placement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

// size is the window's size (its minimum size when resizable). A saved place that would
// put the right or bottom edge beyond the screen is pulled back onto it; one to the left
// or above is kept.
Placement ReadPlacement(const SettingsFile& file, const std::string& section, SIZE size,
                        bool resizable, SIZE screen);
void WritePlacement(const SettingsFile& file, const std::string& section,
                    const Placement& placement, bool resizable);

// The same for a real window, against the primary screen.
void RestoreWindowPlacement(HWND window, const SettingsFile& file, const std::string& section,
                            bool resizable);
void SaveWindowPlacement(HWND window, const SettingsFile& file, const std::string& section,
                         bool resizable);

// The dialogs' places in the settings file, each in the section of its form's name.
class SettingsPlacements : public dialogs::PlacementStore {
 public:
  explicit SettingsPlacements(const SettingsFile& file) : file_(file) {}
  void Restore(HWND window, const std::string& formName, bool resizable) const override;
  void Save(HWND window, const std::string& formName, bool resizable) const override;

 private:
  const SettingsFile& file_;
};

}  // namespace app
