#pragma once
// Copies of the watched INI files and the device lines of SYSTEM.INI, taken before and
// after an install, and their compares.
//
// An INI copy holds one line a record, CR LF ended: for each section "[name]", directly
// followed by its keys as "[name]key=value". Sections are in ascending order of name and
// keys in ascending order of key name, both under the system's case-insensitive,
// locale-aware comparison (names it calls equal but that differ in more than case, such
// as "ß" and "ss", follow their upper-case bytes). Names and values are those the profile
// functions give; a key listed twice is recorded once and a key with an empty value not
// at all. Ordering keys by name rather than by the whole "key=value" text keeps the file
// in the order the compare merges by: "a b=1" sorts before "a=1", but key "a" before "a b".
//
// A device file holds the trimmed lines of the "[386Enh]" section that contain "DEVICE="
// (in any case), in the same ascending order; the same line may stand more than once.
//
// A copy or device file that does not exist is compared as an empty one, so an INI file
// created or deleted by the install shows all its sections and keys as added or deleted.
#include <string>
#include <vector>

#include "engines/lists.h"

namespace engines {

// Base name of the device files in the temporary folder (".$$1" before, ".$$2" after).
inline constexpr char kDeviceFileBase[] = "DEV$$$$$";

// The full path with every ":" and "\" replaced by "_" (c:\windows\win.ini gives
// c__windows_win.ini). Files whose paths differ only there share one copy name.
std::string IniCopyName(const std::string& fullPath);

// A watched name without a folder lies in the Windows folder; other names are kept.
std::string IniFullPath(const std::string& name);

// The temporary folder, the copy name of the watched name's full path, and the copy
// name's extension (from its last ".", appended when there is none) replaced by
// extension. Files whose copy names agree up to their last "." share one copy.
std::string IniCopyPath(const std::string& name, const std::string& tempFolder,
                        const std::string& extension);

// Writes the copy of the watched INI file to IniCopyPath(name, tempFolder, extension).
// A file that does not exist leaves no copy: an old one of that name is deleted. Does
// nothing once the program is being closed (AbortRequested). progress hears the full
// path of the file.
void SnapshotIniFile(const std::string& name, const std::string& tempFolder,
                     const std::string& extension, const ProgressCallback& progress = nullptr);

// Writes the device file of an INI file (a name without a folder lies in the Windows
// folder). A file without a "[386Enh]" section, or no file, gives an empty device file.
void SnapshotSystemIniDevices(const std::string& iniName, const std::string& deviceFile);

// A watched name that contains "system.ini" in any case: its device lines are recorded and
// compared too. The snapshot and the compare must agree on it, or the lines go missing.
bool HasDeviceLines(const std::string& name);

// The byte for byte copy of a watched INI file as it was before the install, which the
// undo puts back whole (the line order of the file and all) while the file is as the
// install left it: IniCopyPath with this extension.
inline constexpr char kIniBytesExtension[] = ".$B1";

// Copies each watched INI file with the extension, in list order, and with ".$$1" (before
// the install) also byte for byte (kIniBytesExtension; an old one goes, for a file that
// does not exist), and for a name with
// device lines (HasDeviceLines) those into DEV$$$$$ with the extension, telling
// progress what it works on. Answers false, having stopped, once the program is being
// closed.
bool SnapshotWatchedIniFiles(const std::vector<std::string>& names, const std::string& tempFolder,
                             const std::string& extension, const ProgressCallback& progress);

// Clears the five lists and fills them, each in file order, from the merge of the two
// copies. Keys changed entries read "[section]key=old=to=new". Section and key names are
// compared without regard to case, values with regard to it, byte for byte.
void CompareIniSnapshots(const std::string& beforeCopy, const std::string& afterCopy,
                         ResultList& keysAdded, ResultList& keysDeleted, ResultList& keysChanged,
                         ResultList& sectionsAdded, ResultList& sectionsDeleted);

// Replaces the "[386Enh]device=" entries that CompareIniSnapshots left in the three key
// lists by the device lines found in only one of the device files, as "[386Enh]" and the
// line. Lines equal without regard to case are the same device.
void CompareSystemIniDevices(const std::string& beforeDevices, const std::string& afterDevices,
                             ResultList& keysAdded, ResultList& keysDeleted,
                             ResultList& keysChanged);

}  // namespace engines
