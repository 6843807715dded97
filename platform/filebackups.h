#pragma once
// Copies of files taken while real-time tracking runs, each before the first change of a
// file that stood before (a write, a truncation, a deletion, a rename over or away of it),
// so that the install can be undone with the old contents. The program names the folder
// in a mapping while it tracks; the capture in every traced process copies into it; the
// program moves what was copied beside the report. Header only: the capture, which links
// none of the program's libraries, uses it too.
//
// For a file the folder holds "<stem>.DAT", the copy, and "<stem>.INF", written once the
// copy is whole (a copy without it cannot be used):
//   path=<the file>  attributes=<hex>  size=<hex>  written=<hex FILETIME>
//   created=<hex FILETIME>  accessed=<hex FILETIME>        one "name=value" a line
// The stem is 16 hex digits of a hash of the path in upper case, so every process that
// touches a file finds the one copy; the first to create "<stem>.DAT" copies it.
#include <windows.h>

#include <cstdint>
#include <string>

namespace filebackups {

// The mapping holds the folder as a NUL-terminated UTF-16 path; empty while not tracking.
constexpr char kFolderMappingName[] = "Vortan4 Undo Backups";
constexpr DWORD kFolderMappingBytes = 2 * 32768;

constexpr char kCopyExtension[] = ".DAT";
constexpr char kInfoExtension[] = ".INF";

// The stem of the copy of a file (a Win32 path in the ANSI code page).
inline std::string StemOf(const std::string& path) {
  // kernel32's mapping: the capture loads into processes that may have no user32.
  std::string upper = path;
  if (!upper.empty())
    LCMapStringA(LOCALE_USER_DEFAULT, LCMAP_UPPERCASE, path.data(), static_cast<int>(path.size()),
                 &upper[0], static_cast<int>(upper.size()));
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : upper) hash = (hash ^ c) * 1099511628211ull;
  static const char kDigits[] = "0123456789ABCDEF";
  std::string stem(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4) stem[i] = kDigits[hash & 15];
  return stem;
}

// Whether text is a stem: what a damaged undo file could otherwise turn into a path.
inline bool IsStem(const std::string& text) {
  if (text.size() != 16) return false;
  for (char c : text)
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  return true;
}

}  // namespace filebackups
