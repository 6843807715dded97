#include "app/settings.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/profile.h"
#include "platform/paths.h"
#include "platform/system.h"

namespace app {
namespace {

using engines::LowerAscii;
using engines::TrackedList;
using engines::WithTrailingBackslash;

bool ParseDecimal(const std::string& text, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= INT_MIN && value <= INT_MAX;
}

struct ListSection {
  const char* section;
  const char* flagKey;
};

ListSection SectionOf(WatchedList which) {
  switch (which) {
    case WatchedList::Drives: return {"Drives", "DrivesInitialized"};
    case WatchedList::Inis: return {"INIs", "INIsInitialized"};
    case WatchedList::Regs: return {"Regs", "RegInitialized"};
  }
  return {"", ""};
}

TrackedList DefaultList(WatchedList which, const std::string& windowsFolder) {
  TrackedList list;
  if (which == WatchedList::Drives) {
    for (const std::string& root : platform::LogicalDriveRoots())
      if (platform::DriveType(root) == DRIVE_FIXED) list.entries.push_back(LowerAscii(root));
  } else if (which == WatchedList::Inis) {
    for (const char* name : {"win.ini", "system.ini", "control.ini"})
      list.entries.push_back(windowsFolder + name);
  }
  return list;
}

bool EntryIsValid(WatchedList which, const std::string& value) {
  if (value.empty()) return false;
  switch (which) {
    case WatchedList::Drives: return platform::FolderExists(value);
    case WatchedList::Inis: return platform::FileExists(value) && engines::IsIniFile(value);
    case WatchedList::Regs: return engines::RegistryKeyExists(value);
  }
  return false;
}

}  // namespace

SettingsWriteError::SettingsWriteError(const std::string& settingsPath)
    : std::runtime_error("Unable to write to " + settingsPath) {}

ProgramPlaces FindProgramPlaces(const std::string& programPath) {
  ProgramPlaces places;
  const std::string folder = platform::FolderOf(programPath);
  places.programFolder = LowerAscii(folder);
  places.settingsPath = folder + platform::StemOf(programPath) + ".INI";
  places.windowsFolder = WithTrailingBackslash(LowerAscii(platform::WindowsFolder()));
  return places;
}

int SettingsFile::ReadInt(const std::string& section, const std::string& key, int fallback) const {
  long value = 0;
  return ParseDecimal(platform::ReadProfileString(path_, section, key), value)
             ? static_cast<int>(value)
             : fallback;
}

bool SettingsFile::ReadFlag(const std::string& section, const std::string& key,
                            bool fallback) const {
  long value = 0;
  return ParseDecimal(platform::ReadProfileString(path_, section, key), value) ? value != 0
                                                                                : fallback;
}

std::string SettingsFile::ReadString(const std::string& section, const std::string& key,
                                     const std::string& fallback) const {
  return platform::ReadProfileString(path_, section, key, fallback);
}

void SettingsFile::WriteInt(const std::string& section, const std::string& key, int value) const {
  WriteString(section, key, std::to_string(value));
}

void SettingsFile::WriteFlag(const std::string& section, const std::string& key,
                             bool value) const {
  WriteString(section, key, value ? "1" : "0");
}

void SettingsFile::WriteString(const std::string& section, const std::string& key,
                               const std::string& value) const {
  if (!platform::WriteProfileString(path_, section, key, value)) throw SettingsWriteError(path_);
}

void SettingsFile::EraseSection(const std::string& section) const {
  if (!platform::EraseProfileSection(path_, section)) throw SettingsWriteError(path_);
}

MainSettings ReadMainSettings(const SettingsFile& file, const std::string& programFolder) {
  MainSettings values;
  values.lastRept = file.ReadInt(kSettingsSection, "LastRept", 1);
  values.instPath = WithTrailingBackslash(file.ReadString(kSettingsSection, "InstPath", "c:\\"));
  values.reptPath = WithTrailingBackslash(file.ReadString(kSettingsSection, "ReptPath", programFolder));
  values.tempPath = WithTrailingBackslash(file.ReadString(kSettingsSection, "TempPath", programFolder));
  return values;
}

void WriteReportKindAndInstallFolder(const SettingsFile& file, const MainSettings& values) {
  file.WriteInt(kSettingsSection, "LastRept", values.lastRept);
  file.WriteString(kSettingsSection, "InstPath", values.instPath);
}

void WriteDefaultFolders(const SettingsFile& file, const std::string& reptPath,
                         const std::string& tempPath) {
  file.WriteString(kSettingsSection, "ReptPath", reptPath);
  file.WriteString(kSettingsSection, "TempPath", tempPath);
}

TrackedList LoadWatchedList(const SettingsFile& file, WatchedList which,
                            const std::string& windowsFolder) {
  const ListSection names = SectionOf(which);
  if (!file.ReadFlag(kSettingsSection, names.flagKey, false))
    return DefaultList(which, windowsFolder);

  TrackedList list;
  std::vector<std::string> seen;
  for (const std::string& key : platform::ProfileKeyNames(file.Path(), names.section)) {
    // A key written twice reads as its first value: take it once.
    if (std::find(seen.begin(), seen.end(), LowerAscii(key)) != seen.end()) continue;
    seen.push_back(LowerAscii(key));
    std::string value = file.ReadString(names.section, key, "");
    if (!EntryIsValid(which, value)) continue;
    if (which == WatchedList::Inis)
      list.entries.push_back(value);
    else
      engines::AddToTrackedList(list, value);
  }
  return list;
}

void SaveWatchedList(const SettingsFile& file, WatchedList which, const TrackedList& list) {
  const ListSection names = SectionOf(which);
  file.WriteFlag(kSettingsSection, names.flagKey, true);
  file.EraseSection(names.section);
  for (size_t i = 0; i < list.entries.size(); ++i)
    file.WriteString(names.section, std::to_string(i), list.entries[i]);
}

void WriteContinuation(const SettingsFile& file, const Continuation& block) {
  file.WriteInt(kTwoPhaseSection, "TwoPhase", block.twoPhase);
  file.WriteString(kTwoPhaseSection, "ReportDesc", block.reportDesc);
  file.WriteString(kTwoPhaseSection, "ReportName", block.reportName);
  file.WriteString(kTwoPhaseSection, "InstallProg", block.installProg);
  file.WriteInt(kTwoPhaseSection, "TimeLo", block.timeLo);
  file.WriteInt(kTwoPhaseSection, "TimeHi", block.timeHi);
  file.WriteInt(kTwoPhaseSection, "StatMask", static_cast<int>(block.statMask));
  file.WriteInt(kTwoPhaseSection, "TrackMode", block.trackMode);
}

Continuation ReadContinuation(const SettingsFile& file, const std::string& currentDesc,
                              const std::string& currentReportName,
                              const std::string& currentInstallProg) {
  Continuation block;
  block.twoPhase = static_cast<session::TwoPhase>(file.ReadInt(kTwoPhaseSection, "TwoPhase", session::tpNone));
  block.reportDesc = file.ReadString(kTwoPhaseSection, "ReportDesc", currentDesc);
  block.reportName = file.ReadString(kTwoPhaseSection, "ReportName", currentReportName);
  block.installProg = file.ReadString(kTwoPhaseSection, "InstallProg", currentInstallProg);
  block.timeLo = file.ReadInt(kTwoPhaseSection, "TimeLo", -1);
  block.timeHi = file.ReadInt(kTwoPhaseSection, "TimeHi", -1);
  block.trackMode =
      static_cast<session::TrackMode>(file.ReadInt(kTwoPhaseSection, "TrackMode", session::tmDisk));
  const session::StatMask mask =
      block.trackMode == session::tmTime ? session::kMaskTime : session::kMaskDisk;
  block.statMask = static_cast<session::StatMask>(
      file.ReadInt(kTwoPhaseSection, "StatMask", static_cast<int>(mask)));
  return block;
}

void EraseContinuation(const SettingsFile& file) { file.EraseSection(kTwoPhaseSection); }

std::string PlacementSection(const std::string& formName) { return formName + " Settings"; }

Placement ReadPlacement(const SettingsFile& file, const std::string& section, SIZE size,
                        bool resizable, SIZE screen) {
  Placement placement;
  placement.width = resizable ? file.ReadInt(section, "Width", size.cx) : size.cx;
  placement.height = resizable ? file.ReadInt(section, "Height", size.cy) : size.cy;
  placement.left = file.ReadInt(section, "Left", (screen.cx - placement.width) / 2);
  if (placement.left + placement.width > screen.cx) placement.left = screen.cx - placement.width;
  placement.top = file.ReadInt(section, "Top", (screen.cy - placement.height) / 2);
  if (placement.top + placement.height > screen.cy) placement.top = screen.cy - placement.height;
  return placement;
}

void WritePlacement(const SettingsFile& file, const std::string& section,
                    const Placement& placement, bool resizable) {
  if (resizable) {
    file.WriteInt(section, "Width", placement.width);
    file.WriteInt(section, "Height", placement.height);
  }
  file.WriteInt(section, "Left", placement.left);
  file.WriteInt(section, "Top", placement.top);
}

namespace {
SIZE PrimaryScreen() { return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}; }
}  // namespace

void RestoreWindowPlacement(HWND window, const SettingsFile& file, const std::string& section,
                            bool resizable) {
  RECT rect{};
  GetWindowRect(window, &rect);
  SIZE size{rect.right - rect.left, rect.bottom - rect.top};
  Placement p = ReadPlacement(file, section, size, resizable, PrimaryScreen());
  UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (resizable ? 0 : SWP_NOSIZE);
  SetWindowPos(window, nullptr, p.left, p.top, p.width, p.height, flags);
}

void SaveWindowPlacement(HWND window, const SettingsFile& file, const std::string& section,
                         bool resizable) {
  RECT rect{};
  GetWindowRect(window, &rect);
  // A minimised window sits where the system parks it, off the screen or in a corner:
  // keep the place it comes back to (given relative to the work area).
  WINDOWPLACEMENT placement{};
  placement.length = sizeof placement;
  RECT work{};
  if (IsIconic(window) && GetWindowPlacement(window, &placement) &&
      SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0)) {
    rect = placement.rcNormalPosition;
    OffsetRect(&rect, work.left, work.top);
  }
  WritePlacement(file, section,
                 {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top}, resizable);
}

void SettingsPlacements::Restore(HWND window, const std::string& formName, bool resizable) const {
  RestoreWindowPlacement(window, file_, PlacementSection(formName), resizable);
}

void SettingsPlacements::Save(HWND window, const std::string& formName, bool resizable) const {
  SaveWindowPlacement(window, file_, PlacementSection(formName), resizable);
}

}  // namespace app
