#pragma once
// The undo data of a report: what an install changed, with what is needed to take each
// change back, kept beside the report so that the install can be undone later, after the
// program was closed or Windows restarted.
//
// Report c:\r\RPT_0003.TXT (or .CSV) keeps it in the folder c:\r\RPT_0003.UND, in the file
// ITEMS.TXT. ANSI text, CR LF line ends:
//
//   VORTAN4 UNDO DATA
//   version=1
//   report=<the report file>
//   mode=<1 real-time, 2 file-time comparison, 3 disk contents comparison>
//   watch=<a watched drive or folder>       one line each; files must lie below one
//   ini=<a watched INI file, full path>     one line each; INI items name one of them
//   items=<count>
//   <count item lines>
//   end=<count> <CRC-32 of every byte before this line, 8 hex digits>
//
// An item line is seven fields separated by tabs:
//   KIND  place  name  beforeType  before  afterType  after
// Bytes below 32, "%" and 127 in a field are written %XX (two hex digits). The kinds:
//   FILE+ DIR+         added file, folder        place: path; after: size,writeTime (hex)
//   FILE- FILE*        deleted, changed file     place: path; before: the copy of its old
//                      contents, if one was kept: "stem,attributes,size,written,created,
//                      accessed" (hex; the copy is <stem>.DAT in this folder, the stem 16
//                      hex digits); after (FILE* with a copy): size,writeTime as FILE+
//   DIR-               deleted folder            place: path
//   FILE?              newer than the install's start (file-time comparison): added or
//                      changed, which that mode cannot tell apart
//   KEY+ KEY-          added, deleted key        place: key path
//   VAL+ VAL* VAL-     added, changed, deleted value
//                      place: key path; name: value name ("@" the default, "@@" a value named "@")
//   INI+ INI* INI-     added, changed, deleted INI key
//                      place: INI file; name: "[section]key"; before/after: the value
//   SEC+ SEC-          added, deleted INI section: place: INI file; name: "[section]"
//   DEV+ DEV-          added, deleted device line of SYSTEM.INI's [386Enh] section
//                      place: INI file; name: the line
//   INI=               a watched INI file as it was before the install (comparison modes):
//                      place: INI file; before: its copy as FILE*; after: size,writeTime
// Registry data (beforeType/before, afterType/after) comes in one of two forms:
//   listing form: type is the recorded type of the registry listing (the registry type,
//     16 more for data folded into 16 bytes) and the data is the listing's text of it;
//   full form: type is "x" and the registry type ("x7"), the data every byte in hex; data
//     longer than 32 KB is "file:<16 hex digits>", naming <that>.VAL in this folder, which
//     holds the bytes.
// Every path is read as the system would take it (platform::CanonicalDrivePath) and must
// be a plain path on a drive; files lie below a watched folder.
// Version 1, which the comparison modes wrote, has no copies and no DIR- items; version 2
// no INI= items and no value files. Both are read as well.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/changes.h"

namespace engines {

inline constexpr int kUndoDataVersion = 3;
inline constexpr char kUndoItemsFile[] = "ITEMS.TXT";

enum class UndoKind {
  FileAdded, FolderAdded, FileDeleted, FileChanged, FolderDeleted, FileNewer,
  KeyAdded, KeyDeleted, ValueAdded, ValueChanged, ValueDeleted,
  IniKeyAdded, IniKeyChanged, IniKeyDeleted, IniSectionAdded, IniSectionDeleted,
  DeviceAdded, DeviceDeleted, IniFileCopy,
};

// Registry data in either form; INI values use text alone.
struct UndoValue {
  bool full = false;  // full form: every byte; listing form: the listing's text
  int type = 0;       // listing form: the recorded type; full form: the registry type
  std::string data;   // listing text, or the bytes themselves in full form
};

struct UndoItem {
  UndoKind kind = UndoKind::FileAdded;
  std::string place;  // file or folder path, key path, or INI file path
  std::string name;   // value name, "[section]key", "[section]" or a device line
  UndoValue before;
  UndoValue after;
  uint64_t size = 0;       // added files, and changed ones with a copy: the size and
  uint64_t writeTime = 0;  // last-write time after the install
  platform::FileCopy copy;  // deleted and changed files, INI files: the old contents, if kept
};

inline UndoItem MakeUndoItem(UndoKind kind, const std::string& place, const std::string& name = "") {
  UndoItem item;
  item.kind = kind;
  item.place = place;
  item.name = name;
  return item;
}

struct UndoData {
  std::string report;
  int mode = 0;
  std::vector<std::string> watchedFolders;
  std::vector<std::string> watchedInis;
  std::vector<UndoItem> items;
};

// The undo data that belongs to a report: its folder, the log and the two REG files.
struct UndoPlaces {
  std::string folder;    // c:\r\RPT_0003.UND
  std::string log;       // c:\r\RPT_0003.UNDO.TXT
  std::string undoReg;   // c:\r\RPT_0003.UNDO.REG
  std::string redoReg;   // c:\r\RPT_0003.REDO.REG
};
UndoPlaces UndoPlacesOf(const std::string& reportPath);

// Undo data that cannot be used: "file, line N: what is wrong", or the file missing.
class UndoDataError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Makes the folder if needed and writes ITEMS.TXT in it (raises IoError).
void WriteUndoData(const std::string& folder, const UndoData& data);

// Reads and checks ITEMS.TXT of the folder: the header, every line, the count and the
// checksum, every file below a watched folder, every INI item in a watched INI file,
// every key below HKEY_USERS or HKEY_LOCAL_MACHINE. Raises UndoDataError.
UndoData ReadUndoData(const std::string& folder);

// The registry root of a key path and the rest ("" for the root itself); false for any
// root but HKEY_USERS and HKEY_LOCAL_MACHINE.
bool SplitRegistryPath(const std::string& keyPath, std::string& root, std::string& subkey);

// The bytes and registry type that listing-form or full-form data stands for; false when
// it does not hold them in full (folded, too large, a number that cannot be read).
bool RegistryBytesOf(const UndoValue& value, unsigned long& type, std::string& bytes);

}  // namespace engines
